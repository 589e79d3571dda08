// Core Foundation subset (filled in by the framework layer).

// A readable account of a saved state file (XML or binary property list):
// the framework's entries, every parameter value with the text the effect
// shows for it, the pad velocities and how many points each pad recording
// holds. The file is untrusted: anything malformed is a clear error.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace morvane_cli {

struct StateSummary {
    struct Value {
        uint32_t scope = 0;
        uint32_t element = 0;
        uint32_t id = 0;
        float value = 0.0f;
    };
    struct Recording {
        bool present = false;
        size_t bytes = 0;
        uint32_t storedCount = 0; // as written in the image
        uint32_t points = 0;      // what playback uses (at most 80)
    };

    std::string path;
    std::optional<std::string> name;
    std::optional<int32_t> version; // framework format version
    std::optional<int32_t> type, subType, manufacturer;
    std::optional<int32_t> effectVersion; // the effect's own "Version"
    bool hasData = false;
    std::vector<Value> values;
    std::optional<float> velocity[4]; // left X, left Y, right X, right Y
    Recording left, right;
    std::vector<std::string> otherKeys;
};

// Throws CliError ("FILE: ...") for an unreadable or malformed file.
StateSummary readStateSummary(const std::string& path);

// Plain text, or JSON when `json`.
void printStateSummary(const StateSummary& summary, std::ostream& out, bool json);

} // namespace morvane_cli

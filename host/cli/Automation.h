// Automation files: timed parameter changes, one per line,
//     SECONDS NAME VALUE
// with '#' starting a comment. NAME is a parameter's long name, short name or
// id and may contain blanks ("Left X 0.25", "L X Destination Delay Regen");
// NAME=VALUE and a quoted NAME are accepted too. VALUE is anything --set takes.
//
// One thread (the program's).
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "host/cli/ParameterCatalogue.h"

namespace morvane_cli {

// One line as written, before its name and value are understood.
struct AutomationLine {
    double seconds = 0.0;
    std::string rest; // NAME VALUE
    int line = 0;
};

// One change, ready to apply at an exact frame.
struct ScheduledChange {
    int64_t frame = 0;
    int32_t id = 0;
    float natural = 0.0f;
};

// Reads the lines of an automation file. Throws CliError ("FILE:LINE: ...")
// for a malformed time or a line without a name and value; a missing or
// unreadable file too.
std::vector<AutomationLine> readAutomation(std::istream& in, const std::string& fileName);
std::vector<AutomationLine> readAutomationFile(const std::string& path);

// Splits "NAME VALUE" of a line into the parameter and the value text.
// Throws CliError ("FILE:LINE: ...") with close matches for an unknown name.
const ParameterDescription& splitNameAndValue(const ParameterCatalogue& catalogue, const AutomationLine& line,
                                              const std::string& fileName, std::string& value);

// Understands every line in time order (stable for equal times) and turns
// it into a change at frame round(seconds x sampleRate). Values are read in
// the state the earlier changes leave (the catalogue's mirror follows them).
// A change at or beyond `totalFrames` is refused. Throws CliError.
std::vector<ScheduledChange> scheduleAutomation(ParameterCatalogue& catalogue,
                                                std::vector<AutomationLine> lines,
                                                const std::string& fileName, double sampleRate,
                                                int64_t totalFrames);

} // namespace morvane_cli

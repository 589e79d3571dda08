// What "morvane process" tells its user about a finished render: warnings
// (clipping, non-finite samples), the one-line summary, and the summary as
// JSON for scripts (levels, clipped samples, the time taken, the settings
// used).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/cli/CliApp.h"

namespace morvane_cli {

struct ProcessMessages {
    std::vector<std::string> warnings; // for standard error, without the "morvane: " prefix
    std::string summary;               // one line; empty when quiet
};

ProcessMessages describeResult(const std::string& outputName, const ProcessResult& result, bool quiet);

// One object: "input", "output", "settings", "input_level", "output_level",
// "frames", "seconds" and "time".
nlohmann::ordered_json processJson(const ProcessRequest& request, const ProcessResult& result);

// "-" prints the object on one line of standard error; anything else is a
// file, written atomically. Throws CliError.
void emitJson(const nlohmann::ordered_json& object, const std::string& target);

} // namespace morvane_cli

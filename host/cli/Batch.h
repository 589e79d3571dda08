// "morvane process IN... --out-dir DIR": many inputs through the same
// settings, N at a time.
//
// Every input is rendered in a process of its own, forked from this one
// before any effect is opened, with its own effect instance. The effect keeps
// some state per process (the DSP routines' sampling rate and the ladder
// filter's alternating denormal offset), so instances rendering side by side
// in one process would hear each other, and the bytes would depend on N.
// Apart, the same inputs and settings give the same bytes whatever N is. A
// failing (or crashing) input is reported and leaves no output; the others
// go on.
#pragma once

#include <string>
#include <vector>

#include "host/cli/CliApp.h"

namespace morvane_cli {

struct BatchRequest {
    std::vector<std::string> inputs;
    std::string outDir;
    std::string suffix;
    unsigned jobs = 0; // 0: one per core
};

// DIR/NAME<suffix>.EXT for every input: NAME is the input's file name
// without its extension, EXT the input's extension, or the container's when
// `format` names one. A usage error when an input is "-" or two inputs would
// write the same file.
std::vector<std::string> batchOutputs(const BatchRequest& batch, const std::string& format);

// Renders every input with `settings` (its input and output are replaced).
// Prints each output's summary line as it finishes (standard output, unless
// quiet), problems on standard error, and a last line counting them; with
// `json`, one object describing every file goes to `jsonTarget` instead of
// the summary lines ("-": standard error). Returns the exit status: 0 when
// every input succeeded. Throws CliError for a usage error or an output
// directory that cannot be made.
int runBatch(const GlobalOptions& global, const ProcessRequest& settings, const BatchRequest& batch,
             bool json, const std::string& jsonTarget);

} // namespace morvane_cli

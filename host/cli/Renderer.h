// Streams an input file through the effect into an output file the way a
// digital audio workstation bounces a track offline: blocks of at most the
// chosen size, cut short wherever an automation change falls so the change
// lands on its exact frame, the input followed by silence for the tail, the
// transport advancing with every rendered frame. The unit's latency, if it
// reports any, is taken off the front so the output lines up with the input.
//
// One thread (the program's), which is the harness's user-interface and
// render thread at once.
#pragma once

#include <cstdint>
#include <vector>

#include "host/cli/AudioFiles.h"
#include "host/cli/Automation.h"
#include "host/cli/EffectHost.h"

namespace morvane_cli {

struct RenderOptions {
    uint32_t blockFrames = 512;
    int64_t tailFrames = 0;
    int64_t latencyFrames = 0;
    std::vector<ScheduledChange> automation; // sorted by frame
    bool quiet = false;
};

// Frames the output will have: the input plus the tail.
inline int64_t renderedFrames(int64_t inputFrames, const RenderOptions& options) {
    return inputFrames + options.tailFrames;
}

// Renders everything and writes it to `output` (not committed). The effect
// must be started with the input's rate and channel count and a maximum slice
// of at least blockFrames. Returns the input frames read: fewer than the
// header announced when the file ends early, and the tail then follows its
// real end. Throws CliError.
int64_t renderThrough(EffectHost& effect, InputFile& input, OutputFile& output, const RenderOptions& options);

} // namespace morvane_cli

// Streams an input file through the effect into an output file the way a
// digital audio workstation bounces a track offline: blocks of at most the
// chosen size, cut short wherever an automation change falls so the change
// lands on its exact frame, the transport advancing with every rendered frame.
//
// The render runs along one timeline: a pre-roll of silence (the effect's
// smoothers settle there, as they do in a workstation whose plug-ins run long
// before the transport starts), the input, then the tail. The pre-roll and
// the unit's latency, if it reports any, are taken off the front so the
// output lines up with the input. The tail is either fixed or automatic: it
// ends once the output has stayed below a threshold for a while, at most
// after a limit.
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

// Told about every rendered slice, for pictures and measurements.
class RenderObserver {
  public:
    virtual ~RenderObserver() = default;
    // `first` is the output frame of the slice's first frame: negative inside
    // the pre-roll and latency, the input's frame index from 0 on. `in` and
    // `out` hold `frames` samples per channel.
    virtual void rendered(int64_t first, int64_t frames, const float* const* in, const float* const* out) = 0;
};

struct AutoTail {
    double thresholdDb = -90.0; // the output counts as silent below this peak level
    int64_t quietFrames = 0;    // how long it must stay there
    int64_t longestFrames = 0;  // the tail never runs longer
};

struct RenderOptions {
    uint32_t blockFrames = 512;
    int64_t preRollFrames = 0;
    bool autoTail = false;
    int64_t tailFrames = 0; // the fixed tail, when not automatic
    AutoTail automatic;
    int64_t latencyFrames = 0;
    std::vector<ScheduledChange> automation; // sorted by frame, counted from the input's first frame
    bool quiet = false;
    RenderObserver* observer = nullptr;
};

// The longest the output can be: the input plus the fixed tail or the
// automatic tail's limit.
inline int64_t longestRender(int64_t inputFrames, const RenderOptions& options) {
    return inputFrames + (options.autoTail ? options.automatic.longestFrames : options.tailFrames);
}

struct RenderOutcome {
    // Input frames read: fewer than the header announced when the file ends
    // early, and the tail then follows its real end.
    int64_t inputFrames = 0;
    int64_t outputFrames = 0; // written: the input and the tail
    LevelMeter inputLevel;
};

// Renders everything and writes it to `output` (not committed). The effect
// must be started with the input's rate and channel count and a maximum slice
// of at least blockFrames, and its transport set to the song position of the
// pre-roll's first frame. Throws CliError.
RenderOutcome renderThrough(EffectHost& effect, InputFile& input, OutputFile& output,
                            const RenderOptions& options);

} // namespace morvane_cli

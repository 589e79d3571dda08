// The demo's musical loop, synthesised in code so a new user hears the effect
// with no files of their own: eight bars at 120 BPM of kick, snare and hats
// with a short synth phrase, stereo at 44.1 kHz. The same samples on every
// run (a fixed noise seed, no clocks).
#pragma once

#include <vector>

namespace morvane_cli {

struct DemoLoop {
    static constexpr int kSampleRate = 44100;
    static constexpr double kTempo = 120.0;
    static constexpr int kBars = 8;
    static constexpr int kBeatsPerBar = 4;

    std::vector<float> left;
    std::vector<float> right;
};

// The loop, peak-normalised to -6 dBFS (headroom for the effect's resonance
// and feedback).
DemoLoop synthesiseDemoLoop();

} // namespace morvane_cli

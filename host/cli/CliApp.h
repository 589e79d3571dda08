// The morvane command-line program: process audio files through the effect,
// list its presets and parameters, save and show states, describe the
// component, and render the built-in demo.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/cli/AudioFiles.h"

namespace morvane_cli {

// Runs the program; returns its exit status. Errors go to standard error as
// one line ("morvane: ..."), results to standard output.
int runCli(int argc, char** argv);

// Options shared by every command that opens the effect.
struct GlobalOptions {
    std::string bundle;
    bool quiet = false;
};

// What the effect starts from: a factory preset (number or name) or a saved
// state, then parameter assignments in command-line order (`normalized` for
// --set-normalized).
struct Assignment {
    bool normalized = false;
    std::string text; // NAME=VALUE
};
struct SetupOptions {
    std::string preset; // empty: preset 0 unless a state is given
    std::string state;
    std::vector<Assignment> assignments;
};

// The automatic tail: rendering goes on after the input until the output has
// stayed below kAutoTailDb for kAutoTailQuietSeconds, at most
// kAutoTailLongestSeconds.
constexpr double kAutoTailDb = -90.0;
constexpr double kAutoTailQuietSeconds = 1.0;
constexpr double kAutoTailLongestSeconds = 60.0;
// Silence rendered and discarded before the input, so that the effect's
// smoothers have settled when the input starts.
constexpr double kDefaultPreRollSeconds = 0.25;

struct ProcessRequest {
    std::string input;  // "-": standard input
    std::string output; // "-": standard output
    SetupOptions setup;
    double tempo = 120.0;
    double startBeat = 0.0; // song position of the input's first frame
    bool transport = true;
    std::string automation;
    uint32_t blockFrames = 512;
    double preRollSeconds = kDefaultPreRollSeconds;
    double tailSeconds = -1.0; // < 0: the automatic tail
    bool bypass = false;
    std::string saveState;
    std::string format; // for standard output the container defaults to WAV, 32-bit float
    std::string plot;   // a PNG picture of the render
};

struct ProcessResult {
    std::string presetText; // what the effect started from, for messages
    SoundFormat format = 0;
    int channels = 0;
    int sampleRate = 0;
    int64_t inputFrames = 0;
    int64_t outputFrames = 0;
    int64_t preRollFrames = 0;
    double tailSeconds = 0.0; // as rendered
    bool tailAutomatic = false;
    LevelMeter inputLevel;
    LevelMeter level;
    double wallSeconds = 0.0; // the time the command took
    double cpuSeconds = 0.0;
};

// The whole of "morvane process" for one input. Throws CliError; on any
// error no output (audio, state or picture) is left behind.
ProcessResult processFile(const GlobalOptions& global, const ProcessRequest& request);

} // namespace morvane_cli

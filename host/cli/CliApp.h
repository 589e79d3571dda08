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

struct ProcessRequest {
    std::string input;
    std::string output;
    SetupOptions setup;
    double tempo = 120.0;
    double startBeat = 0.0;
    bool transport = true;
    std::string automation;
    uint32_t blockFrames = 512;
    double tailSeconds = -1.0; // < 0: the effect's tail time
    bool bypass = false;
    std::string saveState;
    std::string format;
};

struct ProcessResult {
    std::string presetText; // what the effect started from, for messages
    SoundFormat format = 0;
    int channels = 0;
    int sampleRate = 0;
    int64_t inputFrames = 0;
    int64_t outputFrames = 0;
    double tailSeconds = 0.0;
    LevelMeter level;
};

// The whole of "morvane process". Throws CliError; on any error no output
// (audio or state) is left behind.
ProcessResult processFile(const GlobalOptions& global, const ProcessRequest& request);

} // namespace morvane_cli

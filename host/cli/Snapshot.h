// "morvane snapshot": the editor opened headless on a live effect instance
// (a factory preset or a saved state), optionally with the mouse resting at a
// point so the display names what lies there, written as a PNG at scale 1 or
// 2.
//
// Runs on the program's one thread, which is the effect's user-interface
// thread and the editor's.
#pragma once

#include <string>

#include "host/AudioUnitTypes.h"
#include "host/cli/CliApp.h"

namespace CLI {
class App;
}

namespace morvane_cli {

struct SnapshotRequest {
    std::string output;
    std::string preset; // number or name; empty: preset 0 unless a state is given
    std::string state;
    std::string hover; // "X,Y" in window pixels; empty: the mouse is elsewhere
    int scale = 1;
};

class EffectHost;
// The factory preset a number or a name (any case) stands for. Throws
// UsageError naming the valid numbers or the closest names.
SInt32 resolvePresetNumber(EffectHost& effect, const std::string& text);

// Adds the "snapshot" subcommand to app, filling request when it is parsed.
CLI::App* addSnapshotCommand(CLI::App& app, SnapshotRequest& request);

// Renders the editor to request.output. Throws CliError; a failed run leaves
// no output file behind.
void writeSnapshot(const GlobalOptions& global, const SnapshotRequest& request);

} // namespace morvane_cli

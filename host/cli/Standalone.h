// "morvane gui": the effect and its editor in a window of their own. A
// desktop host opens the effect from the bundle and its view component in a
// top-level X11 window, renders on a real-time thread (JACK when a server
// runs, else a silent clock at 48 kHz, so motion, playback and throws still
// move), keeps a transport of its own when JACK gives none, and loads and
// saves state files from the keyboard.
//
// Threads: the program's main thread is the user-interface thread (its run
// loop carries the effect's listener and the view's timers); the audio
// device's thread renders.
#pragma once

#include <string>

#include "host/cli/CliApp.h"

namespace CLI {
class App;
}

namespace morvane_cli {

struct GuiRequest {
    std::string preset; // number or name; empty: preset 0 unless a state is given
    std::string state;  // loaded when it exists; Ctrl+S saves here
    int scale = 0;      // 1 or 2; 0: as MORVANE_SCALE or GDK_SCALE say
    double tempo = 120.0;
    bool noJack = false;
    std::string jackName = "Morvane";
};

// Adds the "gui" subcommand to app, filling request when it is parsed.
CLI::App* addGuiCommand(CLI::App& app, GuiRequest& request);

// Runs the window until it is closed (or Ctrl+Q, or an interrupt). Throws
// CliError when it cannot start (no X display, no bundle, a refused state).
void runGui(const GlobalOptions& global, const GuiRequest& request);

} // namespace morvane_cli

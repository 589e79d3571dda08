#include "host/cli/Standalone.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "host/CarbonView.h"
#include "host/RunLoop.h"
#include "host/cli/CliError.h"
#include "host/cli/EffectHost.h"
#include "host/cli/RealtimeAudio.h"
#include "host/cli/Snapshot.h"

// Last: Xlib's macros (Success, None, ...) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace morvane_cli {

namespace {

constexpr double kClockRate = 48000.0;
constexpr uint32_t kClockBlock = 256;
constexpr const char* kDefaultSession = "morvane-session.aupreset";

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
    gInterrupted.store(true);
}

// The host's side of the audio: follows JACK's transport when it has one,
// and otherwise keeps its own (started and stopped from the keyboard).
class DesktopHost : public AudioClient {
  public:
    DesktopHost(HostHarness& h, double bpm) : harness(h), tempo(bpm) {}

    // Render thread.
    void process(const float* const* in, float* const* out, uint32_t frames,
                 const OutsideTransport* outside) override {
        const double bpm = tempo.load(std::memory_order_relaxed);
        if (outside) {
            // Without bars and beats, JACK's frame position counts beats at our tempo.
            const double beatsPerMinute = outside->hasBeat ? outside->tempo : bpm;
            harness.followTransport(
                beatsPerMinute, outside->hasBeat ? outside->beat : outside->seconds * beatsPerMinute / 60.0);
        } else {
            const bool roll = rolling.load(std::memory_order_relaxed);
            if (!roll && wasRolling) heldBeat = harness.currentBeat();
            harness.followTransport(bpm, roll && wasRolling ? harness.currentBeat() : heldBeat);
            wasRolling = roll;
        }
        if (harness.render(in, out, frames) != noErr)
            for (int c = 0; c < 2; ++c)
                std::fill(out[c], out[c] + frames, 0.0f);
    }

  private:
    HostHarness& harness;

  public:
    // User-interface thread: our own transport, when JACK gives none.
    std::atomic<double> tempo;
    std::atomic<bool> rolling{true};

  private:
    // Render thread only.
    bool wasRolling = true;
    double heldBeat = 0.0;
};

// The top-level window the view is embedded in, with the keyboard.
class HostWindow {
  public:
    explicit HostWindow(Display* d) : display(d) {
        const int screen = DefaultScreen(display);
        window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 100, 100, 0,
                                     BlackPixel(display, screen), BlackPixel(display, screen));
        XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
        deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteWindow, 1);
        XClassHint* hint = XAllocClassHint();
        hint->res_name = const_cast<char*>("morvane");
        hint->res_class = const_cast<char*>("Morvane");
        XSetClassHint(display, window, hint);
        XFree(hint);
    }
    ~HostWindow() { XDestroyWindow(display, window); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // A fixed size, the view's.
    void fit(int width, int height) {
        XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    void title(const std::string& text) {
        XStoreName(display, window, text.c_str());
        XFlush(display);
    }
    void show() {
        XMapWindow(display, window);
        XFlush(display);
    }

    Display* display;
    Window window = 0;
    Atom deleteWindow = 0;
};

class Standalone {
  public:
    Standalone(const GlobalOptions& global, const GuiRequest& request)
        : request(request), effect(locateBundle(global.bundle)),
          statePath(request.state.empty() ? kDefaultSession : request.state) {}

    void run();

  private:
    void openAudio();
    void startFrom();
    void openWindow(Display* display);
    bool handleKey(XKeyEvent& event);
    void selectPreset(SInt32 number);
    void saveState();
    void revertState();
    void updateTitle();
    void say(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    const GuiRequest& request;
    EffectHost effect;
    std::string statePath;
    std::unique_ptr<AudioDevice> audio;
    std::unique_ptr<DesktopHost> desktop;
    std::vector<PresetEntry> presets;
    SInt32 preset = -1; // the factory preset last chosen; -1 after a state
    bool jackTransport = false;
    std::unique_ptr<HostWindow> window;
    MorvaneWindow viewWindow;
    AudioUnitCarbonView view = nullptr;
    ControlRef pane = nullptr;
};

void Standalone::openAudio() {
    std::string why;
    if (!request.noJack) audio = AudioDevice::openJack(request.jackName, why);
    jackTransport = audio != nullptr;
    if (!audio) audio = AudioDevice::openClock(kClockRate, kClockBlock);
    if (!request.noJack && !jackTransport) say("Audio: " + why + "; running on " + audio->description());
}

void Standalone::startFrom() {
    presets = effect.factoryPresets();
    if (!request.state.empty() && std::filesystem::exists(request.state)) {
        effect.restoreState(request.state);
        say("Opened " + request.state);
        return;
    }
    if (!request.state.empty()) say(request.state + " does not exist yet: Ctrl+S saves the session there");
    preset = resolvePresetNumber(effect, request.preset.empty() ? "0" : request.preset);
    effect.selectPreset(preset);
}

void Standalone::openWindow(Display* display) {
    window = std::make_unique<HostWindow>(display);
    viewWindow.kind = MorvaneWindow::kEmbedded;
    viewWindow.x11Window = window->window;
    viewWindow.scaleFactor = static_cast<UInt32>(request.scale);
    OSStatus status = MorvaneOpenUnitView(effect.unit(), &view);
    if (status != noErr) throw CliError("the effect's bundle has no editor (" + std::to_string(status) + ")");
    const Float32Point origin{0, 0}, room{4096, 4096};
    status = AudioUnitCarbonViewCreate(view, effect.unit(), &viewWindow, nullptr, &origin, &room, &pane);
    if (status != noErr || !pane || !pane->nativeView)
        throw CliError("the editor did not open (" + std::to_string(status) + ")");
    // The pane is in points; the window in device pixels.
    XWindowAttributes attributes;
    XGetWindowAttributes(display, static_cast<Window>(pane->nativeView), &attributes);
    window->fit(attributes.width, attributes.height);
    updateTitle();
    window->show();
}

void Standalone::updateTitle() {
    std::string title = "Morvane";
    if (preset >= 0)
        for (const PresetEntry& p : presets)
            if (p.number == preset) title += " - " + p.name;
    title += " - " + std::filesystem::path(statePath).filename().string();
    if (!jackTransport) {
        char text[64];
        std::snprintf(text, sizeof text, " - %.0f BPM%s", desktop->tempo.load(),
                      desktop->rolling.load() ? "" : ", stopped");
        title += text;
    }
    window->title(title);
}

void Standalone::selectPreset(SInt32 number) {
    if (presets.empty()) return;
    const SInt32 count = static_cast<SInt32>(presets.size());
    preset = ((number % count) + count) % count;
    effect.selectPreset(presets[static_cast<size_t>(preset)].number);
    say("Preset " + std::to_string(preset) + " \"" + presets[static_cast<size_t>(preset)].name + "\"");
    updateTitle();
}

void Standalone::saveState() {
    try {
        effect.saveState(statePath);
        say("Saved " + statePath);
    } catch (const CliError& e) {
        std::fprintf(stderr, "morvane: %s\n", e.what());
    }
}

void Standalone::revertState() {
    try {
        effect.restoreState(statePath);
        preset = -1;
        say("Opened " + statePath);
        updateTitle();
    } catch (const CliError& e) {
        std::fprintf(stderr, "morvane: %s\n", e.what());
    }
}

// Returns false when the window should close.
bool Standalone::handleKey(XKeyEvent& event) {
    const KeySym key = XLookupKeysym(&event, 0);
    const bool control = event.state & ControlMask;
    if (control && key == XK_q) return false;
    if (control && key == XK_s) saveState();
    if (control && (key == XK_o || key == XK_r)) revertState();
    if (key == XK_Page_Up || key == XK_bracketleft) selectPreset(preset - 1);
    if (key == XK_Page_Down || key == XK_bracketright) selectPreset(preset + 1);
    if (key == XK_space) {
        if (!audio->toggleTransport()) {
            desktop->rolling.store(!desktop->rolling.load());
            updateTitle();
        }
    }
    if (!jackTransport && (key == XK_Up || key == XK_Down || key == XK_plus || key == XK_minus)) {
        const double step = key == XK_Up || key == XK_plus ? 1.0 : -1.0;
        desktop->tempo.store(std::clamp(desktop->tempo.load() + step, 20.0, 300.0));
        updateTitle();
    }
    return true;
}

void Standalone::run() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        throw CliError("no X display to open the window on (is DISPLAY set?); \"morvane snapshot\" draws the "
                       "editor without one");
    struct DisplayCloser {
        Display* d;
        ~DisplayCloser() { XCloseDisplay(d); }
    } closer{display};

    openAudio();
    effect.harness().setOffline(false); // the run loop keeps wall time; audio renders on its own thread
    effect.start(audio->sampleRate(), 2, std::min<uint32_t>(audio->maxBlock(), 4096));
    desktop = std::make_unique<DesktopHost>(effect.harness(), request.tempo);
    if (effect.harness().setTransport(HostHarness::Transport{request.tempo, 0.0}) != noErr)
        throw CliError("the effect refused the host's transport");
    startFrom();
    openWindow(display);

    std::string error;
    if (!audio->start(*desktop, error)) throw CliError(error);
    say("Morvane is running on " + audio->description() + ".");
    say("Keys: Space " + std::string(jackTransport ? "starts or stops JACK's transport" : "starts or stops") +
        ", Page Up / Page Down the previous / next preset," + (jackTransport ? "" : " Up / Down the tempo,") +
        " Ctrl+S saves to " + statePath + ", Ctrl+R reopens it, Ctrl+Q quits.");

    struct sigaction action {};
    action.sa_handler = &onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    bool open = true;
    bool warnedLost = false;
    while (open && !gInterrupted.load()) {
        // The run loop: listener deliveries, the view's timers (its editor's
        // idle and window events).
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
        while (open && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            // Keys pressed over the editor come here too: its window does not
            // take them, so they go on to ours.
            if (event.type == KeyPress) open = handleKey(event.xkey);
            if (event.type == ClientMessage &&
                static_cast<Atom>(event.xclient.data.l[0]) == window->deleteWindow)
                open = false;
        }
        if (audio->lost() && !warnedLost) {
            std::fprintf(stderr, "morvane: the JACK server went away; the effect no longer plays\n");
            warnedLost = true;
        }
    }
    audio->stop();
    CloseComponent(view);
    view = nullptr;
    window.reset();
    // The editor's text filled Cairo's and the font library's caches: hand
    // them back, so the program ends with nothing allocated.
    cairo_debug_reset_static_data();
    FcFini();
}

} // namespace

CLI::App* addGuiCommand(CLI::App& app, GuiRequest& request) {
    CLI::App* command = app.add_subcommand(
        "gui", "Open the effect and its editor in a window, playing through JACK (or a silent clock)");
    command->add_option("--preset", request.preset, "Start from this factory preset (default 0)")
        ->type_name("N|NAME");
    command
        ->add_option("--state", request.state,
                     "Open this state file (when it exists); Ctrl+S saves the session to it (default " +
                         std::string(kDefaultSession) + ")")
        ->type_name("FILE");
    command
        ->add_option("--scale", request.scale,
                     "1, or 2 for a HiDPI screen (default: MORVANE_SCALE, GDK_SCALE)")
        ->type_name("1|2")
        ->check(CLI::IsMember({1, 2}));
    command->add_option("--tempo", request.tempo, "The transport's tempo without JACK's (default 120)")
        ->type_name("BPM")
        ->check(CLI::Range(20.0, 300.0));
    command->add_flag("--no-jack", request.noJack, "Play on the silent clock even when a JACK server runs");
    command->add_option("--jack-name", request.jackName, "The JACK client's name (default Morvane)")
        ->type_name("NAME");
    return command;
}

void runGui(const GlobalOptions& global, const GuiRequest& request) {
    if (!request.preset.empty() && !request.state.empty() && std::filesystem::exists(request.state))
        throw UsageError("--preset and --state both given; the window opens on one of them");
    Standalone(global, request).run();
}

} // namespace morvane_cli

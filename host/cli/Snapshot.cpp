#include "host/cli/Snapshot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "editor/MorvaneEditor.h"
#include "editor/Morvane_AUView.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "host/cli/CliError.h"
#include "host/cli/EffectHost.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

// The rate and block the effect runs at while its editor is drawn; no audio
// is rendered.
constexpr double kSnapshotRate = 44100.0;
constexpr UInt32 kSnapshotChannels = 2;
constexpr UInt32 kSnapshotBlock = 512;

// "X,Y" in window pixels.
VSTGUI::CPoint parseHover(const std::string& text, const VSTGUI::CRect& window) {
    const std::size_t comma = text.find(',');
    double x = 0.0, y = 0.0;
    if (comma == std::string::npos || !parseNumber(text.substr(0, comma), x) ||
        !parseNumber(text.substr(comma + 1), y) || x != static_cast<int>(x) || y != static_cast<int>(y))
        throw UsageError("--hover " + text +
                         ": give the mouse's position as X,Y in whole pixels (e.g. 364,160)");
    const VSTGUI::CPoint point(static_cast<int>(x), static_cast<int>(y));
    if (!window.pointInside(point))
        throw UsageError("--hover " + text + ": outside the " + std::to_string(window.width()) + " x " +
                         std::to_string(window.height()) + " window");
    return point;
}

// Hands back the font caches that drawing text filled (Cairo's, then the font
// library's), so the program ends with nothing allocated. After every
// drawing object is gone.
struct FontCaches {
    FontCaches() = default;
    ~FontCaches() {
        cairo_debug_reset_static_data();
        FcFini();
    }
    FontCaches(const FontCaches&) = delete;
    FontCaches& operator=(const FontCaches&) = delete;
};

// Keeps the toolkit's resource folder pointed at the bundle while it lives.
class ResourceFolderScope {
  public:
    explicit ResourceFolderScope(const std::string& folder) { VSTGUI::setResourceFolder(folder); }
    ~ResourceFolderScope() { VSTGUI::setResourceFolder(""); }
    ResourceFolderScope(const ResourceFolderScope&) = delete;
    ResourceFolderScope& operator=(const ResourceFolderScope&) = delete;
};

} // namespace

SInt32 resolvePresetNumber(EffectHost& effect, const std::string& text) {
    const std::vector<PresetEntry> presets = effect.factoryPresets();
    if (presets.empty()) throw CliError("the effect has no factory presets");
    double number = 0.0;
    if (parseNumber(text, number)) {
        for (const PresetEntry& preset : presets)
            if (preset.number == number) return preset.number;
        throw UsageError("--preset " + text + ": no such preset (numbers " +
                         std::to_string(presets.front().number) + " to " +
                         std::to_string(presets.back().number) + ")");
    }
    std::vector<std::string> names;
    for (const PresetEntry& preset : presets) {
        if (foldText(preset.name) == foldText(text)) return preset.number;
        names.push_back(preset.name);
    }
    const std::vector<std::string> close = closestMatches(text, names);
    throw UsageError("--preset \"" + text + "\": no such preset" +
                     (close.empty() ? std::string(" (\"morvane presets\" lists them)")
                                    : "; did you mean " + quotedList(close) + "?"));
}

CLI::App* addSnapshotCommand(CLI::App& app, SnapshotRequest& request) {
    CLI::App* command = app.add_subcommand(
        "snapshot", "Draw the effect's editor, as opened on a preset or state, into a PNG");
    command->add_option("OUT", request.output, "The PNG to write")->required();
    command->add_option("--preset", request.preset, "Factory preset by number or name (default 0)")
        ->type_name("N|NAME");
    command->add_option("--state", request.state, "Open the editor on a saved state instead")
        ->type_name("FILE");
    command
        ->add_option("--hover", request.hover,
                     "Rest the mouse at X,Y (window pixels), so the display names what lies there")
        ->type_name("X,Y");
    command->add_option("--scale", request.scale, "1 for the window's own size, 2 for a HiDPI screen")
        ->type_name("1|2")
        ->check(CLI::IsMember({1, 2}));
    return command;
}

void writeSnapshot(const GlobalOptions& global, const SnapshotRequest& request) {
    if (!request.preset.empty() && !request.state.empty())
        throw UsageError("--preset and --state both given; the editor opens on one of them");
    if (request.scale != 1 && request.scale != 2) throw UsageError("--scale: give 1 or 2");
    const FontCaches fonts; // outlives the editor below

    EffectHost effect(locateBundle(global.bundle));
    effect.start(kSnapshotRate, kSnapshotChannels, kSnapshotBlock);
    std::string start;
    if (!request.state.empty()) {
        effect.restoreState(request.state);
        start = "state " + request.state;
    } else {
        const SInt32 number = resolvePresetNumber(effect, request.preset.empty() ? "0" : request.preset);
        effect.selectPreset(number);
        start = "preset " + std::to_string(number);
    }

    const ComponentBundle* bundle = effect.harness().bundle();
    const std::string resources = bundle ? bundle->ResourcesPath() : std::string();
    if (resources.empty() || !std::filesystem::exists(resources + "/bmp10000.png"))
        throw CliError("the bundle has no editor bitmaps (looked in " + resources + ")");
    ResourceFolderScope folder(resources);

    MorvaneWindow window;
    window.kind = MorvaneWindow::kOffscreen;
    window.scaleFactor = static_cast<UInt32>(request.scale);
    Morvane_AUView view(nullptr);
    ControlRef pane = nullptr;
    const OSStatus opened =
        view.CreateCarbonView(effect.unit(), &window, nullptr, Float32Point{0, 0}, Float32Point{0, 0}, pane);
    VSTGUI::PluginGUIEditor* editor = view.getEditor();
    if (opened != noErr || !editor || !editor->getFrame())
        throw CliError("the effect's editor did not open (" + std::to_string(opened) + ")");
    VSTGUI::CFrame* frame = editor->getFrame();

    // What the effect announces on opening reaches the view, then the editor
    // takes in the pad positions and what the mouse rests on.
    effect.harness().pump();
    view.deliverQueuedValues();
    if (!request.hover.empty()) {
        VSTGUI::CPoint where = parseHover(request.hover, frame->getViewSize());
        frame->onMouseMoved(where, 0);
    }
    editor->idle();

    if (!frame->writePNG(request.output.c_str()))
        throw CliError(request.output + ": cannot write the PNG (" + std::strerror(errno) + ")");
    if (!global.quiet) {
        const VSTGUI::CRect size = frame->getViewSize();
        std::printf("%s: the editor on %s, %d x %d pixels%s\n", request.output.c_str(), start.c_str(),
                    size.width() * request.scale, size.height() * request.scale,
                    request.scale == 2 ? " (scale 2)" : "");
        if (auto* display = static_cast<MorvaneEditor*>(editor)->getDisplay();
            display && !request.hover.empty())
            std::printf("  display: \"%s\"\n", display->getText());
    }
}

} // namespace morvane_cli

#include "host/cli/CliApp.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/cli/Automation.h"
#include "host/cli/Batch.h"
#include "host/cli/CliError.h"
#include "host/cli/DemoLoop.h"
#include "host/cli/EffectHost.h"
#include "host/cli/ParameterCatalogue.h"
#include "host/cli/ProcessReport.h"
#include "host/cli/RenderPlot.h"
#include "host/cli/Renderer.h"
#include "host/cli/Snapshot.h"
#include "host/cli/Standalone.h"
#include "host/cli/StateDump.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 192000.0;
constexpr uint32_t kLargestBlock = 16384;
constexpr double kLongestPreRoll = 10.0;
// Settings for the commands that only look at the effect (no audio).
constexpr double kInspectionRate = 44100.0;
constexpr UInt32 kInspectionChannels = 2;
constexpr UInt32 kInspectionBlock = 512;

std::string numberText(double value, const char* format = "%g") {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// --tail: "auto" (or nothing) for the automatic tail (-1), else seconds.
double parseTail(const std::string& text) {
    const std::string folded = foldText(text);
    if (folded.empty() || folded == "auto") return -1.0;
    double seconds = 0.0;
    if (!parseNumber(text, seconds) || seconds < 0.0 || seconds > 3600.0)
        throw UsageError("--tail " + trimText(text) + ": give auto or 0 to 3600 seconds");
    return seconds;
}

// The effect opened and initialised, with its parameters and presets.
class Session {
  public:
    Session(const GlobalOptions& global, double sampleRate, UInt32 channels, UInt32 maxFrames)
        : effect_(locateBundle(global.bundle)), catalogue_(effect_.parameters()),
          presets_(effect_.factoryPresets()) {
        checkChannels(channels);
        effect_.start(sampleRate, channels, maxFrames);
    }

    EffectHost& effect() { return effect_; }
    ParameterCatalogue& catalogue() { return catalogue_; }
    const std::vector<PresetEntry>& presets() const { return presets_; }

    // Preset or state, then the assignments. Returns a description of the
    // starting point ("preset 0 \"Welcome To Morvane\"", "state FILE").
    std::string applySetup(const SetupOptions& setup) {
        std::string start;
        if (!setup.state.empty()) {
            effect_.restoreState(setup.state);
            start = "state " + setup.state;
        } else {
            const PresetEntry& preset = resolvePreset(setup.preset.empty() ? "0" : setup.preset);
            effect_.selectPreset(preset.number);
            start = "preset " + std::to_string(preset.number) + " \"" + preset.name + "\"";
        }
        refreshMirror();
        for (const Assignment& assignment : setup.assignments) {
            const char* option = assignment.normalized ? "--set-normalized" : "--set";
            std::string name, value;
            splitAssignment(assignment.text, option, name, value);
            const ParameterDescription& parameter = catalogue_.resolve(name);
            const float natural = assignment.normalized ? catalogue_.parseNormalized(parameter, value)
                                                        : catalogue_.parseValue(parameter, value);
            effect_.setParameter(static_cast<AudioUnitParameterID>(parameter.id), natural);
            // The effect may move other parameters in answer (a range bound
            // pushed by its partner, a destination given up): read them all.
            refreshMirror();
        }
        return start;
    }

    void refreshMirror() {
        catalogue_.mirrorAll(
            [this](int32_t id) { return effect_.parameter(static_cast<AudioUnitParameterID>(id)); });
    }

    const PresetEntry& resolvePreset(const std::string& text) const {
        if (presets_.empty()) throw CliError("the effect has no factory presets");
        double number = 0.0;
        if (parseNumber(text, number)) {
            for (const PresetEntry& preset : presets_)
                if (preset.number == number) return preset;
            throw UsageError("--preset " + text + ": no such preset (numbers " +
                             std::to_string(presets_.front().number) + " to " +
                             std::to_string(presets_.back().number) + ")");
        }
        const std::string key = foldText(text);
        for (const PresetEntry& preset : presets_)
            if (foldText(preset.name) == key) return preset;
        std::vector<std::string> names;
        for (const PresetEntry& preset : presets_)
            names.push_back(preset.name);
        const std::vector<std::string> close = closestMatches(text, names);
        throw UsageError("--preset \"" + text + "\": no such preset" +
                         (close.empty() ? std::string(" (\"morvane presets\" lists them)")
                                        : "; did you mean " + quotedList(close) + "?"));
    }

  private:
    void checkChannels(UInt32 channels) {
        const std::vector<AUChannelInfo> configurations = effect_.channelConfigurations();
        if (configurations.empty()) return;
        std::string accepted;
        for (const AUChannelInfo& c : configurations) {
            if (c.inChannels == static_cast<SInt16>(channels) &&
                c.outChannels == static_cast<SInt16>(channels))
                return;
            if (c.inChannels == -1 && c.outChannels == -1) return;
            accepted += (accepted.empty() ? "" : " or ") + std::to_string(c.inChannels) + " in " +
                        std::to_string(c.outChannels) + " out";
        }
        throw CliError(std::to_string(channels) + " channels: the effect takes " + accepted);
    }

    EffectHost effect_;
    ParameterCatalogue catalogue_;
    std::vector<PresetEntry> presets_;
};

std::string directoryOf(const std::string& path) {
    std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

void checkWritableDirectory(const std::string& path, const char* what) {
    const std::string directory = directoryOf(path);
    if (::access(directory.c_str(), W_OK) != 0)
        throw CliError(std::string(what) + " " + path + ": cannot write in " + directory + " (" +
                       std::strerror(errno) + ")");
}

// Whether two paths name one file, also before it exists ("out.wav" and
// "./out.wav" for an output not yet written).
// A file's name for the picture's header.
std::string fileLabel(const std::string& path, bool output) {
    if (isStandardStream(path)) return output ? "stdout" : "stdin";
    return std::filesystem::path(path).filename().string();
}

bool samePath(const std::string& a, const std::string& b) {
    if (a == b || sameFile(a, b)) return true;
    std::error_code errorA, errorB;
    const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, errorA);
    const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, errorB);
    return !errorA && !errorB && canonicalA == canonicalB;
}

} // namespace

ProcessResult processFile(const GlobalOptions& global, const ProcessRequest& request) {
    const auto startedAt = std::chrono::steady_clock::now();
    const std::clock_t startedCpu = std::clock();
    if (!(request.tempo > 0.0 && request.tempo <= 999.0))
        throw UsageError("--tempo " + numberText(request.tempo) +
                         ": give a tempo above 0 and at most 999 BPM");
    if (!std::isfinite(request.startBeat)) throw UsageError("--start-beat: not a number");
    if (request.blockFrames < 1 || request.blockFrames > kLargestBlock)
        throw UsageError("--block " + std::to_string(request.blockFrames) + ": give 1 to " +
                         std::to_string(kLargestBlock) + " frames");
    if (request.tailSeconds > 3600.0 || std::isnan(request.tailSeconds))
        throw UsageError("--tail " + numberText(request.tailSeconds) + ": give auto or 0 to 3600 seconds");
    if (!(request.preRollSeconds >= 0.0 && request.preRollSeconds <= kLongestPreRoll))
        throw UsageError("--pre-roll " + numberText(request.preRollSeconds) + ": give 0 to " +
                         numberText(kLongestPreRoll) + " seconds");
    if (!request.setup.preset.empty() && !request.setup.state.empty())
        throw UsageError("--preset and --state both given; the effect starts from one of them");
    const bool fromStream = isStandardStream(request.input);
    const bool toStream = isStandardStream(request.output);
    if (!fromStream && !toStream && sameFile(request.input, request.output))
        throw UsageError("OUT " + request.output + " is the input file; write the result somewhere else");
    for (const std::string* extra : {&request.saveState, &request.plot}) {
        if (extra->empty()) continue;
        const char* option = extra == &request.saveState ? "--save-state" : "--plot";
        if (isStandardStream(*extra)) throw UsageError(std::string(option) + " -: give a file name");
        if ((!fromStream && samePath(*extra, request.input)) ||
            (!toStream && samePath(*extra, request.output)))
            throw UsageError(std::string(option) + " " + *extra + " would overwrite an audio file");
    }
    if (!request.plot.empty() && !request.saveState.empty() && samePath(request.plot, request.saveState))
        throw UsageError("--plot and --save-state name the same file");

    InputFile input(request.input);
    const std::string inputName = streamName(request.input, false);
    const int channels = input.channels();
    const double rate = input.sampleRate();
    if (channels > 2)
        throw CliError(inputName + ": " + std::to_string(channels) +
                       " channels; the effect takes mono or stereo (1 or 2 channels)");
    if (rate < kLowestRate || rate > kHighestRate)
        throw CliError(inputName + ": " + numberText(rate) + " Hz is outside the rates the effect takes (" +
                       numberText(kLowestRate) + " to " + numberText(kHighestRate) + " Hz)");
    // Standard output has no input format to keep: WAV, 32-bit float.
    const SoundFormat keep = toStream ? (SF_FORMAT_WAV | SF_FORMAT_FLOAT) : input.format();
    const SoundFormat format = resolveOutputFormat(keep, request.format, channels, input.sampleRate());

    Session session(global, rate, static_cast<UInt32>(channels), request.blockFrames);
    EffectHost& effect = session.effect();
    ProcessResult result;
    result.presetText = session.applySetup(request.setup);

    RenderOptions options;
    options.blockFrames = request.blockFrames;
    options.quiet = global.quiet;
    options.preRollFrames = static_cast<int64_t>(std::llround(request.preRollSeconds * rate));
    options.autoTail = request.tailSeconds < 0.0;
    options.tailFrames =
        options.autoTail ? 0 : static_cast<int64_t>(std::llround(request.tailSeconds * rate));
    options.automatic.thresholdDb = kAutoTailDb;
    options.automatic.quietFrames = static_cast<int64_t>(std::llround(kAutoTailQuietSeconds * rate));
    options.automatic.longestFrames = static_cast<int64_t>(std::llround(kAutoTailLongestSeconds * rate));
    options.latencyFrames = static_cast<int64_t>(std::llround(effect.latency() * rate));

    if (request.bypass && effect.harness().setBypass(true) != noErr)
        throw CliError("the effect cannot be bypassed");
    // The song position runs from the start beat minus the pre-roll, so
    // recorded gestures and synced echoes stay where they are in the song.
    const double preRollBeats = static_cast<double>(options.preRollFrames) / rate * request.tempo / 60.0;
    const OSStatus transport =
        request.transport ? effect.harness().setTransport({request.tempo, request.startBeat - preRollBeats})
                          : effect.harness().clearTransport();
    if (transport != noErr)
        throw CliError("the effect refused the host's transport (" + std::to_string(transport) + ")");

    if (!request.automation.empty())
        options.automation =
            scheduleAutomation(session.catalogue(), readAutomationFile(request.automation),
                               request.automation, rate, longestRender(input.frames(), options));

    if (!request.saveState.empty()) checkWritableDirectory(request.saveState, "--save-state");
    std::unique_ptr<PendingFile> plotFile;
    if (!request.plot.empty()) plotFile = std::make_unique<PendingFile>(request.plot);
    std::unique_ptr<RenderPlot> plot;
    if (plotFile) {
        plot = std::make_unique<RenderPlot>(effect, session.catalogue(), input.sampleRate(), channels);
        options.observer = plot.get();
    }
    OutputFile output(request.output, format, channels, input.sampleRate());
    const RenderOutcome outcome = renderThrough(effect, input, output, options);
    if (!request.saveState.empty()) effect.saveState(request.saveState);
    if (plot) {
        PlotTitles titles;
        titles.start = result.presetText;
        titles.input = fileLabel(request.input, false);
        titles.output = fileLabel(request.output, true);
        titles.transport = request.transport;
        titles.tempo = request.tempo;
        titles.startBeat = request.startBeat;
        titles.bypassed = request.bypass;
        const std::string picture = plot->png(titles, outcome.inputFrames, outcome.outputFrames);
        plotFile->write(picture.data(), picture.size());
    }
    output.commit();
    if (plotFile) plotFile->commit();

    result.format = format;
    result.channels = channels;
    result.sampleRate = input.sampleRate();
    result.inputFrames = outcome.inputFrames;
    result.outputFrames = outcome.outputFrames;
    result.preRollFrames = options.preRollFrames;
    result.tailAutomatic = options.autoTail;
    result.tailSeconds = static_cast<double>(outcome.outputFrames - outcome.inputFrames) / rate;
    result.inputLevel = outcome.inputLevel;
    result.level = output.level();
    result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
    result.cpuSeconds = static_cast<double>(std::clock() - startedCpu) / CLOCKS_PER_SEC;
    return result;
}

namespace {

void printPresets(Session& session, bool json) {
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const PresetEntry& p : session.presets())
            list.push_back({{"number", p.number}, {"name", p.name}});
        std::cout << list.dump(2) << "\n";
        return;
    }
    for (const PresetEntry& p : session.presets())
        std::printf("%3d  %s\n", p.number, p.name.c_str());
}

void printParameters(Session& session, const std::string& start, bool json) {
    ParameterCatalogue& catalogue = session.catalogue();
    if (json) {
        nlohmann::ordered_json root;
        root["start"] = start;
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const ParameterDescription& p : catalogue.parameters()) {
            nlohmann::ordered_json entry;
            entry["id"] = p.id;
            entry["name"] = p.name;
            entry["short_name"] = p.shortName;
            entry["unit"] = catalogue.unitText(p.id);
            entry["min"] = p.minimum;
            entry["max"] = p.maximum;
            entry["default"] = p.defaultValue;
            entry["kind"] = ko_paramTypeName(p.kind);
            entry["value"] = catalogue.mirroredValue(p.id);
            entry["text"] = catalogue.displayText(p.id);
            const std::vector<std::string> names = catalogue.valueNames(p);
            if (!names.empty()) entry["values"] = names;
            list.push_back(entry);
        }
        root["parameters"] = list;
        std::cout << root.dump(2) << "\n";
        return;
    }
    std::printf("Parameters of the effect, starting from %s\n", start.c_str());
    std::printf("%3s  %-17s %-9s %-5s %8s %8s %8s  %-15s %10s  %s\n", "id", "name", "short", "unit", "min",
                "max", "default", "kind", "value", "text");
    for (const ParameterDescription& p : catalogue.parameters()) {
        std::printf("%3d  %-17s %-9s %-5s %8g %8g %8g  %-15s %10g  %s\n", p.id, p.name.c_str(),
                    p.shortName.c_str(), catalogue.unitText(p.id).c_str(), static_cast<double>(p.minimum),
                    static_cast<double>(p.maximum), static_cast<double>(p.defaultValue),
                    ko_paramTypeName(p.kind), static_cast<double>(catalogue.mirroredValue(p.id)),
                    catalogue.displayText(p.id).c_str());
    }
}

void printInfo(Session& session, bool json) {
    EffectHost& effect = session.effect();
    const ComponentIdentity identity = effect.identity();
    const std::vector<AUChannelInfo> configurations = effect.channelConfigurations();
    const double tail = effect.tailTime();
    const double latency = effect.latency();
    std::string channels;
    for (const AUChannelInfo& c : configurations)
        channels += (channels.empty() ? "" : ", ") + std::to_string(c.inChannels) + " in " +
                    std::to_string(c.outChannels) + " out";
    if (json) {
        nlohmann::ordered_json j;
        j["name"] = identity.name;
        j["type"] = fourCCText(identity.type);
        j["subtype"] = fourCCText(identity.subType);
        j["manufacturer"] = fourCCText(identity.manufacturer);
        j["version"] = versionText(identity.version);
        j["bundle"] = identity.bundlePath;
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const AUChannelInfo& c : configurations)
            list.push_back({{"in", c.inChannels}, {"out", c.outChannels}});
        j["channels"] = list;
        j["tail_seconds"] = tail;
        j["latency_seconds"] = latency;
        j["parameters"] = session.catalogue().parameters().size();
        j["factory_presets"] = session.presets().size();
        std::cout << j.dump(2) << "\n";
        return;
    }
    std::printf("%s\n", identity.name.c_str());
    std::printf("  component   %s %s %s\n", fourCCText(identity.type).c_str(),
                fourCCText(identity.subType).c_str(), fourCCText(identity.manufacturer).c_str());
    std::printf("  version     %s\n", versionText(identity.version).c_str());
    std::printf("  bundle      %s\n", identity.bundlePath.c_str());
    std::printf("  channels    %s\n", channels.c_str());
    std::printf("  tail time   %g s\n", tail);
    std::printf("  latency     %g s\n", latency);
    std::printf("  parameters  %zu published\n", session.catalogue().parameters().size());
    std::printf("  presets     %zu factory\n", session.presets().size());
}

void runDemo(const GlobalOptions& global, const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw CliError(directory + ": cannot create the directory (" + error.message() + ")");
    const std::string dryPath = (std::filesystem::path(directory) / "demo-dry.wav").string();
    const std::string wetPath = (std::filesystem::path(directory) / "demo-wet.wav").string();

    const DemoLoop loop = synthesiseDemoLoop();
    const int64_t frames = static_cast<int64_t>(loop.left.size());
    LevelMeter dry;
    {
        OutputFile out(dryPath, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, DemoLoop::kSampleRate);
        std::vector<float> interleaved(static_cast<size_t>(frames) * 2);
        for (int64_t i = 0; i < frames; ++i) {
            interleaved[static_cast<size_t>(2 * i)] = loop.left[static_cast<size_t>(i)];
            interleaved[static_cast<size_t>(2 * i + 1)] = loop.right[static_cast<size_t>(i)];
        }
        out.write(interleaved.data(), frames);
        out.commit();
        dry = out.level();
    }

    ProcessRequest request;
    request.input = dryPath;
    request.output = wetPath;
    request.setup.preset = "0";
    request.tempo = DemoLoop::kTempo;
    request.plot = (std::filesystem::path(directory) / "demo-wet.png").string();
    const ProcessResult wet = processFile(global, request);

    const double seconds = static_cast<double>(frames) / DemoLoop::kSampleRate;
    std::printf(
        "Morvane demo: %d bars at %g BPM of kick, snare, hats and a synth phrase (%.1f s, stereo, %d Hz)\n",
        DemoLoop::kBars, DemoLoop::kTempo, seconds, DemoLoop::kSampleRate);
    std::printf("  dry  %-28s RMS %6s dBFS  peak %6s dBFS\n", dryPath.c_str(),
                decibelText(dry.rmsDb()).c_str(), decibelText(dry.peakDb()).c_str());
    std::printf("  wet  %-28s RMS %6s dBFS  peak %6s dBFS  (%s with its motion, %.1f s tail)\n",
                wetPath.c_str(), decibelText(wet.level.rmsDb()).c_str(),
                decibelText(wet.level.peakDb()).c_str(), wet.presetText.c_str(), wet.tailSeconds);
    if (wet.level.clipped > 0)
        std::cerr << "morvane: warning: " << wet.level.clipped << " samples of " << wetPath
                  << " clipped at full scale\n";
    std::printf("  picture of the render: %s\n", request.plot.c_str());
    std::printf("Listen to both, e.g. \"play %s %s\"\n", dryPath.c_str(), wetPath.c_str());
}

// CLI11's help, with a flag that takes an optional value shown as
// "--json[=FILE]" rather than with its default ("--json{-}").
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string name = CLI::Formatter::make_option_name(option, positional);
        const size_t open = name.find('{');
        const size_t close = name.find('}', open);
        if (open != std::string::npos && close != std::string::npos)
            name.replace(open, close - open + 1, "[=FILE]");
        return name;
    }
};

// The program's help followed by every command's, in full: "morvane
// --help-all", which the manual page is made from (help2man: "*Commands*"
// opens a section, "morvane process:" a subsection, and each command's help
// is indented so that its own "Options:" stays inside it).
void printEveryHelp(CLI::App& app) {
    std::cout << app.help() << "\n*Commands*\n";
    std::vector<CLI::App*> commands = app.get_subcommands({});
    for (size_t i = 0; i < commands.size(); ++i) {
        CLI::App* command = commands[i];
        const std::vector<CLI::App*> nested = command->get_subcommands({});
        if (!nested.empty()) {
            commands.insert(commands.begin() + static_cast<long>(i) + 1, nested.begin(), nested.end());
            continue;
        }
        std::string path;
        for (CLI::App* parent = command->get_parent(); parent != nullptr; parent = parent->get_parent())
            path = parent->get_name() + (path.empty() ? "" : " ") + path;
        std::cout << "\n" << path << " " << command->get_name() << ":\n";
        std::istringstream text(command->help(path));
        for (std::string line; std::getline(text, line);) {
            // The usage in a paragraph of its own, not run into the description.
            if (line.rfind("Usage:", 0) == 0) std::cout << "\n";
            std::cout << (line.empty() ? "" : "  ") << line << "\n";
        }
    }
}

// The --set and --set-normalized values in the order they were typed.
std::vector<Assignment> orderedAssignments(CLI::App& command, CLI::Option* set, CLI::Option* setNormalized) {
    std::vector<Assignment> assignments;
    size_t nextSet = 0, nextNormalized = 0;
    const std::vector<std::string>& setValues = set->results();
    const std::vector<std::string>& normalizedValues = setNormalized->results();
    for (const CLI::Option* option : command.parse_order()) {
        if (option == set && nextSet < setValues.size())
            assignments.push_back({false, setValues[nextSet++]});
        else if (option == setNormalized && nextNormalized < normalizedValues.size())
            assignments.push_back({true, normalizedValues[nextNormalized++]});
    }
    while (nextSet < setValues.size())
        assignments.push_back({false, setValues[nextSet++]});
    while (nextNormalized < normalizedValues.size())
        assignments.push_back({true, normalizedValues[nextNormalized++]});
    return assignments;
}

struct SetupFlags {
    CLI::Option* set = nullptr;
    CLI::Option* setNormalized = nullptr;
    std::vector<std::string> setValues, normalizedValues;
};

void addSetupOptions(CLI::App& command, SetupOptions& setup, SetupFlags& flags, bool withState) {
    command
        .add_option("--preset", setup.preset,
                    "Factory preset by number or name (default 0, \"Welcome To Morvane\")")
        ->type_name("N|NAME");
    if (withState)
        command.add_option("--state", setup.state, "Start from a saved state (XML or binary property list)")
            ->type_name("FILE");
    flags.set =
        command
            .add_option("--set", flags.setValues,
                        "Set a parameter after the preset or state: NAME is its name, short name or id; "
                        "VALUE a number in its unit (\"2040\", \"-6dB\", \"250ms\") or a text it shows "
                        "(\"2P LP\", \"Digi\", \"3/2\", \"1/8.\", \"Lock\"); repeatable")
            ->type_name("NAME=VALUE")
            ->expected(1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    flags.setNormalized = command
                              .add_option("--set-normalized", flags.normalizedValues,
                                          "Set a parameter by its control position 0..1; repeatable")
                              ->type_name("NAME=V")
                              ->expected(1)
                              ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

} // namespace

int runCli(int argc, char** argv) {
    CLI::App app{"Morvane: the filter-and-delay effect with motion pads, on the command line.", "morvane"};
    app.formatter(std::make_shared<HelpFormatter>());
    bool helpAll = false;
    app.add_flag("--help-all", helpAll,
                 "Print the help of every command and exit (the manual page is made from it)");
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string("morvane ") + MORVANE_VERSION);
    GlobalOptions global;
    app.add_option("--bundle", global.bundle,
                   "The effect bundle (default: $MORVANE_BUNDLE, else the one beside the program)")
        ->type_name("PATH");
    app.add_flag("-q,--quiet", global.quiet, "No progress bar and no summary");

    // process
    ProcessRequest request;
    SetupFlags processFlags;
    std::vector<std::string> files;
    BatchRequest batch;
    std::string tailText, jsonTarget;
    CLI::App* process =
        app.add_subcommand("process", "Render audio through the effect: one file, a pipe, or a batch");
    process
        ->add_option("FILES", files,
                     "IN OUT, or IN... with --out-dir. Audio: WAV, AIFF, FLAC, Ogg; mono or stereo; 8 to 192 "
                     "kHz. \"-\" as IN reads standard input, as OUT writes standard output")
        ->required();
    addSetupOptions(*process, request.setup, processFlags, true);
    process->add_option("--tempo", request.tempo, "Host tempo in BPM (default 120)")->type_name("BPM");
    process
        ->add_option("--start-beat", request.startBeat,
                     "Song position of the input's first sample, in beats "
                     "(default 0)")
        ->type_name("B");
    bool noTransport = false;
    process->add_flag("--no-transport", noTransport, "Offer the effect no beat-and-tempo callback");
    process
        ->add_option("--automation", request.automation,
                     "Timed changes, one per line: SECONDS NAME VALUE (# comments)")
        ->type_name("FILE");
    process->add_option("--block", request.blockFrames, "Frames per render call (default 512)")
        ->type_name("N");
    process
        ->add_option("--pre-roll", request.preRollSeconds,
                     "Seconds of silence rendered and discarded before the input, so the effect has settled "
                     "when it starts; the song position starts that much earlier (default 0.25)")
        ->type_name("SECONDS");
    process
        ->add_option(
            "--tail", tailText,
            "After the input: auto renders until the output stays below -90 dBFS for 1 s (at most 60 "
            "s); a number renders that many seconds (default auto)")
        ->type_name("auto|SECONDS");
    process->add_flag("--bypass", request.bypass, "Bypass the effect");
    process->add_option("--save-state", request.saveState, "Write the final state as an XML property list")
        ->type_name("FILE");
    process
        ->add_option("--format", request.format,
                     "Output container and/or samples: wav, aiff, flac, ogg, caf, w64; pcm16, pcm24, pcm32, "
                     "float, double, vorbis, opus (e.g. flac:pcm24). Default: the input's; WAV float on "
                     "standard output")
        ->type_name("FORMAT");
    process
        ->add_option("--plot", request.plot,
                     "Draw the render as a PNG: input and output waveforms, the output's spectrum with the "
                     "filter cut-off, the pads and the parameters they drive, bars and beats")
        ->type_name("FILE.png");
    process->add_flag(
        "--json{-}", jsonTarget,
        "Print a summary for scripts (levels, clipped samples, time taken, settings) as JSON on "
        "standard error, or write it to FILE");
    process
        ->add_option("--out-dir", batch.outDir,
                     "Process every FILE into DIR, named after it (with --suffix), several at a time")
        ->type_name("DIR");
    process->add_option("--suffix", batch.suffix, "Added to each output's name in --out-dir (e.g. _wet)")
        ->type_name("TEXT");
    process
        ->add_option("-j,--jobs", batch.jobs,
                     "Inputs rendered at once with --out-dir (default: one per core)")
        ->type_name("N");
    process->footer("Examples:\n"
                    "  $ morvane process in.wav out.wav --preset \"Digi Train\" --plot render.png\n"
                    "  $ sox in.flac -t wav - | morvane process - - --preset 5 | play -t wav -\n"
                    "  $ morvane process stems/*.wav --out-dir wet --suffix _wet -j 4");

    // presets
    bool presetsJson = false;
    CLI::App* presets = app.add_subcommand("presets", "List the factory presets, number and name");
    presets->add_flag("--json", presetsJson, "As JSON");

    // params
    SetupOptions paramsSetup;
    SetupFlags paramsFlags;
    bool paramsJson = false;
    CLI::App* params =
        app.add_subcommand("params", "List every published parameter with its range and current value");
    addSetupOptions(*params, paramsSetup, paramsFlags, true);
    params->add_flag("--json", paramsJson, "As JSON");

    // state save / state show
    CLI::App* state = app.add_subcommand("state", "Save a state file, or show what one holds");
    state->require_subcommand(1);
    std::string stateSavePath, stateShowPath;
    SetupOptions stateSetup;
    SetupFlags stateFlags;
    CLI::App* stateSave =
        state->add_subcommand("save", "Write the effect's state after a preset and --set values");
    stateSave->add_option("FILE", stateSavePath, "The state file to write (XML property list)")->required();
    addSetupOptions(*stateSave, stateSetup, stateFlags, false);
    bool stateShowJson = false;
    CLI::App* stateShow =
        state->add_subcommand("show", "Show a state file: values with texts, velocities, recordings");
    stateShow->add_option("FILE", stateShowPath, "The state file (XML or binary property list)")->required();
    stateShow->add_flag("--json", stateShowJson, "As JSON");

    // info
    bool infoJson = false;
    CLI::App* info =
        app.add_subcommand("info", "The component's identity, version, channels, tail time and latency");
    info->add_flag("--json", infoJson, "As JSON");

    // demo
    std::string demoDirectory = "demo-out";
    CLI::App* demo = app.add_subcommand(
        "demo",
        "Render a built-in 8-bar loop through preset 0 (dry and wet WAV files, a picture of the render)");
    demo->add_option("OUTDIR", demoDirectory,
                     "Where to write demo-dry.wav, demo-wet.wav and demo-wet.png (default ./demo-out)");

    // snapshot
    SnapshotRequest snapshotRequest;
    CLI::App* snapshot = addSnapshotCommand(app, snapshotRequest);

    // gui
    GuiRequest guiRequest;
    CLI::App* gui = addGuiCommand(app, guiRequest);

    // Set last, so that the commands do not repeat it.
    app.footer("Start with \"morvane demo\" to hear the effect on a built-in loop.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::string command = "morvane";
        for (CLI::App* sub = &app; sub != nullptr && !sub->get_subcommands().empty();) {
            sub = sub->get_subcommands().front();
            command += " " + sub->get_name();
        }
        std::cerr << "morvane: " << message << " (see \"" << command << " --help\")\n";
        return kExitUsage;
    }

    if (helpAll) {
        printEveryHelp(app);
        return kExitOk;
    }
    try {
        if (process->parsed()) {
            request.transport = !noTransport;
            request.tailSeconds = parseTail(tailText);
            request.setup.assignments =
                orderedAssignments(*process, processFlags.set, processFlags.setNormalized);
            const bool json = !jsonTarget.empty();
            if (!batch.outDir.empty()) {
                batch.inputs = files;
                return runBatch(global, request, batch, json, jsonTarget);
            }
            if (process->count("--suffix") > 0 || process->count("--jobs") > 0)
                throw UsageError("--suffix and -j go with --out-dir DIR");
            if (files.size() != 2)
                throw UsageError("process takes IN and OUT (or IN... with --out-dir DIR); " +
                                 std::to_string(files.size()) + " file" + (files.size() == 1 ? "" : "s") +
                                 " given");
            request.input = files[0];
            request.output = files[1];
            if (json && !isStandardStream(jsonTarget)) {
                if (samePath(jsonTarget, request.input) || samePath(jsonTarget, request.output))
                    throw UsageError("--json=" + jsonTarget + " would overwrite an audio file");
                checkWritableDirectory(jsonTarget, "--json");
            }
            const ProcessResult result = processFile(global, request);
            // Standard output carries the audio; everything else goes to
            // standard error.
            const ProcessMessages messages =
                describeResult(streamName(request.output, true), result, global.quiet);
            for (const std::string& warning : messages.warnings)
                std::cerr << "morvane: " << warning << "\n";
            if (!messages.summary.empty() && !json) {
                if (isStandardStream(request.output))
                    std::cerr << messages.summary << "\n";
                else
                    std::printf("%s\n", messages.summary.c_str());
            }
            if (json) emitJson(processJson(request, result), jsonTarget);
        } else if (presets->parsed()) {
            Session session(global, kInspectionRate, kInspectionChannels, kInspectionBlock);
            printPresets(session, presetsJson);
        } else if (params->parsed()) {
            if (!paramsSetup.preset.empty() && !paramsSetup.state.empty())
                throw UsageError("--preset and --state both given; the effect starts from one of them");
            paramsSetup.assignments = orderedAssignments(*params, paramsFlags.set, paramsFlags.setNormalized);
            Session session(global, kInspectionRate, kInspectionChannels, kInspectionBlock);
            const std::string start = session.applySetup(paramsSetup);
            printParameters(session, start, paramsJson);
        } else if (stateSave->parsed()) {
            stateSetup.assignments = orderedAssignments(*stateSave, stateFlags.set, stateFlags.setNormalized);
            Session session(global, kInspectionRate, kInspectionChannels, kInspectionBlock);
            const std::string start = session.applySetup(stateSetup);
            session.effect().saveState(stateSavePath);
            if (!global.quiet) std::printf("%s: state of %s\n", stateSavePath.c_str(), start.c_str());
        } else if (stateShow->parsed()) {
            printStateSummary(readStateSummary(stateShowPath), std::cout, stateShowJson);
        } else if (info->parsed()) {
            Session session(global, kInspectionRate, kInspectionChannels, kInspectionBlock);
            printInfo(session, infoJson);
        } else if (demo->parsed()) {
            runDemo(global, demoDirectory);
        } else if (snapshot->parsed()) {
            writeSnapshot(global, snapshotRequest);
        } else if (gui->parsed()) {
            runGui(global, guiRequest);
        } else {
            std::cout << app.help();
        }
    } catch (const CliError& e) {
        std::fflush(stdout);
        std::cerr << "morvane: " << e.what() << "\n";
        return e.status();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::cerr << "morvane: " << e.what() << "\n";
        return kExitFailure;
    }
    std::fflush(stdout);
    return kExitOk;
}

} // namespace morvane_cli

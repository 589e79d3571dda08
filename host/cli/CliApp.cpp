#include "host/cli/CliApp.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "host/cli/Automation.h"
#include "host/cli/CliError.h"
#include "host/cli/DemoLoop.h"
#include "host/cli/EffectHost.h"
#include "host/cli/ParameterCatalogue.h"
#include "host/cli/Renderer.h"
#include "host/cli/Snapshot.h"
#include "host/cli/StateDump.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 192000.0;
constexpr uint32_t kLargestBlock = 16384;
// Settings for the commands that only look at the effect (no audio).
constexpr double kInspectionRate = 44100.0;
constexpr UInt32 kInspectionChannels = 2;
constexpr UInt32 kInspectionBlock = 512;

std::string numberText(double value, const char* format = "%g") {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
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

std::string channelText(int channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

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
bool samePath(const std::string& a, const std::string& b) {
    if (a == b || sameFile(a, b)) return true;
    std::error_code errorA, errorB;
    const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, errorA);
    const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, errorB);
    return !errorA && !errorB && canonicalA == canonicalB;
}

} // namespace

ProcessResult processFile(const GlobalOptions& global, const ProcessRequest& request) {
    if (!(request.tempo > 0.0 && request.tempo <= 999.0))
        throw UsageError("--tempo " + numberText(request.tempo) +
                         ": give a tempo above 0 and at most 999 BPM");
    if (!std::isfinite(request.startBeat)) throw UsageError("--start-beat: not a number");
    if (request.blockFrames < 1 || request.blockFrames > kLargestBlock)
        throw UsageError("--block " + std::to_string(request.blockFrames) + ": give 1 to " +
                         std::to_string(kLargestBlock) + " frames");
    if (request.tailSeconds > 3600.0 || std::isnan(request.tailSeconds))
        throw UsageError("--tail " + numberText(request.tailSeconds) + ": give 0 to 3600 seconds");
    if (!request.setup.preset.empty() && !request.setup.state.empty())
        throw UsageError("--preset and --state both given; the effect starts from one of them");
    if (sameFile(request.input, request.output))
        throw UsageError("OUT " + request.output + " is the input file; write the result somewhere else");
    if (!request.saveState.empty() &&
        (samePath(request.saveState, request.input) || samePath(request.saveState, request.output)))
        throw UsageError("--save-state " + request.saveState + " would overwrite an audio file");

    InputFile input(request.input);
    const int channels = input.channels();
    const double rate = input.sampleRate();
    if (channels > 2)
        throw CliError(request.input + ": " + std::to_string(channels) +
                       " channels; the effect takes mono or stereo (1 or 2 channels)");
    if (rate < kLowestRate || rate > kHighestRate)
        throw CliError(request.input + ": " + numberText(rate) +
                       " Hz is outside the rates the effect takes (" + numberText(kLowestRate) + " to " +
                       numberText(kHighestRate) + " Hz)");
    const SoundFormat format =
        resolveOutputFormat(input.format(), request.format, channels, input.sampleRate());

    Session session(global, rate, static_cast<UInt32>(channels), request.blockFrames);
    EffectHost& effect = session.effect();
    ProcessResult result;
    result.presetText = session.applySetup(request.setup);

    if (request.bypass && effect.harness().setBypass(true) != noErr)
        throw CliError("the effect cannot be bypassed");
    const OSStatus transport = request.transport
                                   ? effect.harness().setTransport({request.tempo, request.startBeat})
                                   : effect.harness().clearTransport();
    if (transport != noErr)
        throw CliError("the effect refused the host's transport (" + std::to_string(transport) + ")");

    RenderOptions options;
    options.blockFrames = request.blockFrames;
    options.quiet = global.quiet;
    result.tailSeconds = request.tailSeconds >= 0.0 ? request.tailSeconds : effect.tailTime();
    options.tailFrames = static_cast<int64_t>(std::llround(result.tailSeconds * rate));
    options.latencyFrames = static_cast<int64_t>(std::llround(effect.latency() * rate));
    const int64_t total = renderedFrames(input.frames(), options);
    if (!request.automation.empty())
        options.automation = scheduleAutomation(session.catalogue(), readAutomationFile(request.automation),
                                                request.automation, rate, total);

    if (!request.saveState.empty()) checkWritableDirectory(request.saveState, "--save-state");
    OutputFile output(request.output, format, channels, input.sampleRate());
    const int64_t inputRead = renderThrough(effect, input, output, options);
    if (!request.saveState.empty()) effect.saveState(request.saveState);
    output.commit();

    result.format = format;
    result.channels = channels;
    result.sampleRate = input.sampleRate();
    result.inputFrames = inputRead;
    result.outputFrames = renderedFrames(inputRead, options);
    result.level = output.level();
    return result;
}

namespace {

void reportOutput(const std::string& path, const ProcessResult& result, bool quiet) {
    const LevelMeter& level = result.level;
    if (level.nonFinite > 0)
        std::cerr << "morvane: warning: " << level.nonFinite
                  << " output samples were not finite and were written as 0\n";
    if (level.clipped > 0) {
        if (isIntegerFormat(result.format))
            std::cerr << "morvane: warning: " << level.clipped << " samples clipped at full scale (peak "
                      << decibelText(level.peakDb())
                      << " dBFS); lower Output Gain or write a float format (--format float)\n";
        else if (!quiet)
            std::cerr << "morvane: note: peak " << decibelText(level.peakDb())
                      << " dBFS is above full scale; the float output keeps it unclipped\n";
    }
    if (quiet) return;
    const double rate = result.sampleRate;
    std::printf("%s: %.2f s (%.2f s + %.2f s tail), %s, %d Hz, %s; peak %s dBFS, RMS %s dBFS\n", path.c_str(),
                result.outputFrames / rate, result.inputFrames / rate, result.tailSeconds,
                channelText(result.channels).c_str(), result.sampleRate,
                formatDescription(result.format).c_str(), decibelText(level.peakDb()).c_str(),
                decibelText(level.rmsDb()).c_str());
}

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
    std::printf("Listen to both, e.g. \"play %s %s\"\n", dryPath.c_str(), wetPath.c_str());
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
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", "morvane 1.0.1");
    GlobalOptions global;
    app.add_option("--bundle", global.bundle,
                   "The effect bundle (default: $MORVANE_BUNDLE, else the one beside the program)")
        ->type_name("PATH");
    app.add_flag("-q,--quiet", global.quiet, "No progress bar and no summary");
    app.footer("Start with \"morvane demo\" to hear the effect on a built-in loop.");

    // process
    ProcessRequest request;
    SetupFlags processFlags;
    CLI::App* process = app.add_subcommand("process", "Render an audio file through the effect");
    process
        ->add_option("IN", request.input, "Input audio (WAV, AIFF, FLAC, Ogg; mono or stereo; 8 to 192 kHz)")
        ->required();
    process->add_option("OUT", request.output, "Output audio (same format as IN unless --format)")
        ->required();
    addSetupOptions(*process, request.setup, processFlags, true);
    process->add_option("--tempo", request.tempo, "Host tempo in BPM (default 120)")->type_name("BPM");
    process
        ->add_option("--start-beat", request.startBeat,
                     "Song position of the first sample, in beats (default 0)")
        ->type_name("B");
    bool noTransport = false;
    process->add_flag("--no-transport", noTransport, "Offer the effect no beat-and-tempo callback");
    process
        ->add_option("--automation", request.automation,
                     "Timed changes, one per line: SECONDS NAME VALUE (# comments)")
        ->type_name("FILE");
    process->add_option("--block", request.blockFrames, "Frames per render call (default 512)")
        ->type_name("N");
    CLI::Option* tailOption = process
                                  ->add_option("--tail", request.tailSeconds,
                                               "Seconds of silence rendered after the input (default: the "
                                               "effect's tail time)")
                                  ->type_name("SECONDS");
    process->add_flag("--bypass", request.bypass, "Bypass the effect");
    process->add_option("--save-state", request.saveState, "Write the final state as an XML property list")
        ->type_name("FILE");
    process
        ->add_option(
            "--format", request.format,
            "Output container and/or samples: wav, aiff, flac, ogg, caf, w64; pcm16, pcm24, pcm32, float, "
            "double, vorbis, opus (e.g. flac:pcm24)")
        ->type_name("FORMAT");

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
    CLI::App* demo =
        app.add_subcommand("demo", "Render a built-in 8-bar loop through preset 0 (dry and wet WAV files)");
    demo->add_option("OUTDIR", demoDirectory,
                     "Where to write demo-dry.wav and demo-wet.wav (default ./demo-out)");

    // snapshot
    SnapshotRequest snapshotRequest;
    CLI::App* snapshot = addSnapshotCommand(app, snapshotRequest);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
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

    try {
        if (process->parsed()) {
            request.transport = !noTransport;
            if (tailOption->count() > 0 && !(request.tailSeconds >= 0.0))
                throw UsageError("--tail " + numberText(request.tailSeconds) + ": give 0 to 3600 seconds");
            request.setup.assignments =
                orderedAssignments(*process, processFlags.set, processFlags.setNormalized);
            const ProcessResult result = processFile(global, request);
            reportOutput(request.output, result, global.quiet);
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

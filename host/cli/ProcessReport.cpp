#include "host/cli/ProcessReport.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "host/cli/AudioFiles.h"

namespace morvane_cli {

namespace {

std::string channelText(int channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

// A level in dBFS, or null for silence.
nlohmann::ordered_json decibels(double db) {
    if (!std::isfinite(db)) return nullptr;
    return std::round(db * 100.0) / 100.0;
}

nlohmann::ordered_json levelJson(const LevelMeter& level) {
    nlohmann::ordered_json j;
    j["peak_dbfs"] = decibels(level.peakDb());
    j["rms_dbfs"] = decibels(level.rmsDb());
    j["clipped_samples"] = level.clipped;
    j["non_finite_samples"] = level.nonFinite;
    return j;
}

} // namespace

ProcessMessages describeResult(const std::string& outputName, const ProcessResult& result, bool quiet) {
    ProcessMessages messages;
    const LevelMeter& level = result.level;
    if (level.nonFinite > 0)
        messages.warnings.push_back("warning: " + std::to_string(level.nonFinite) +
                                    " output samples were not finite and were written as 0");
    if (level.clipped > 0) {
        if (isIntegerFormat(result.format))
            messages.warnings.push_back("warning: " + std::to_string(level.clipped) +
                                        " samples clipped at full scale (peak " +
                                        decibelText(level.peakDb()) +
                                        " dBFS); lower Output Gain or write a float format (--format float)");
        else if (!quiet)
            messages.warnings.push_back("note: peak " + decibelText(level.peakDb()) +
                                        " dBFS is above full scale; the float output keeps it unclipped");
    }
    if (quiet) return messages;
    const double rate = result.sampleRate;
    char line[512];
    std::snprintf(line, sizeof line,
                  "%.2f s (%.2f s + %.2f s %stail), %s, %d Hz, %s; peak %s dBFS, RMS %s dBFS",
                  result.outputFrames / rate, result.inputFrames / rate, result.tailSeconds,
                  result.tailAutomatic ? "auto " : "", channelText(result.channels).c_str(),
                  result.sampleRate, formatDescription(result.format).c_str(),
                  decibelText(level.peakDb()).c_str(), decibelText(level.rmsDb()).c_str());
    messages.summary = outputName + ": " + line;
    return messages;
}

nlohmann::ordered_json processJson(const ProcessRequest& request, const ProcessResult& result) {
    const double rate = result.sampleRate > 0 ? result.sampleRate : 1.0;
    nlohmann::ordered_json j;
    j["input"] = streamName(request.input, false);
    j["output"] = streamName(request.output, true);
    j["format"] = formatDescription(result.format);
    j["channels"] = result.channels;
    j["sample_rate"] = result.sampleRate;

    nlohmann::ordered_json settings;
    settings["start"] = result.presetText;
    nlohmann::ordered_json assignments = nlohmann::ordered_json::array();
    for (const Assignment& a : request.setup.assignments)
        assignments.push_back((a.normalized ? "normalized " : "") + a.text);
    settings["set"] = assignments;
    settings["transport"] = request.transport;
    if (request.transport) {
        settings["tempo"] = request.tempo;
        settings["start_beat"] = request.startBeat;
    }
    settings["block_frames"] = request.blockFrames;
    settings["pre_roll_seconds"] = static_cast<double>(result.preRollFrames) / rate;
    if (result.tailAutomatic)
        settings["tail"] = "auto";
    else
        settings["tail"] = request.tailSeconds;
    settings["bypass"] = request.bypass;
    if (!request.automation.empty()) settings["automation"] = request.automation;
    if (!request.format.empty()) settings["format"] = request.format;
    if (!request.saveState.empty()) settings["save_state"] = request.saveState;
    if (!request.plot.empty()) settings["plot"] = request.plot;
    j["settings"] = settings;

    j["input_level"] = levelJson(result.inputLevel);
    j["output_level"] = levelJson(result.level);
    j["frames"] = {{"input", result.inputFrames},
                   {"tail", result.outputFrames - result.inputFrames},
                   {"output", result.outputFrames}};
    j["seconds"] = {{"input", result.inputFrames / rate},
                    {"tail", result.tailSeconds},
                    {"output", result.outputFrames / rate}};
    j["time"] = {{"wall_seconds", std::round(result.wallSeconds * 1000.0) / 1000.0},
                 {"cpu_seconds", std::round(result.cpuSeconds * 1000.0) / 1000.0}};
    return j;
}

void emitJson(const nlohmann::ordered_json& object, const std::string& target) {
    if (target.empty() || isStandardStream(target)) {
        std::cerr << object.dump() << "\n";
        std::cerr.flush();
        return;
    }
    writeFileAtomically(target, object.dump(2) + "\n");
}

} // namespace morvane_cli

// A small LV2 host over lilv for the tests: it loads morvane.lv2 from the
// build tree, instantiates a plug-in with URID mapping (and a maximum block
// length when asked), owns the port buffers, feeds time:Position
// events, applies presets and saves and restores state the way jalv does.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>

#include <string>
#include <vector>

#include "host/AudioUnitTypes.h"

namespace lv2_test {

// The URID of a URI in the tests' one map (any thread, not the render thread).
LV2_URID map(const char* uri);

struct Position {
    uint32_t frame = 0;
    double tempo = 0.0; // beats per minute; 0 leaves it out
    double beat = -1.0; // song position in beats; negative leaves it out
    double bar = -1.0;  // with barBeat and beatsPerBar, when beat is left out
    double barBeat = 0.0;
    double beatsPerBar = 4.0;
    double beatUnit = 0.0; // 0 leaves it out
    double speed = 1.0;
};

class Plugin {
  public:
    // uri: the stereo or mono plug-in. maxBlock 0 offers no options.
    Plugin(const char* uri, double sampleRate, uint32_t maxBlock = 0);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    uint32_t channels() const { return channels_; }
    float& control(const char* symbol);
    float& control(uint32_t index) { return controls_.at(index); }
    void activate();
    // Runs once over frames of the given inputs (one vector per channel,
    // read from `offset`), appending to out; the events queued with position()
    // go with this run.
    void run(const std::vector<std::vector<float>>& in, size_t offset, uint32_t frames,
             std::vector<std::vector<float>>& out);
    // Renders all of `in` in runs of `block` frames.
    std::vector<std::vector<float>> process(const std::vector<std::vector<float>>& in, uint32_t block);
    void position(const Position& p);
    // *flag is true while the plug-in's run() runs (for counting what it does).
    void flagRuns(bool* flag) { runFlag_ = flag; }

    // Factory preset n, as a host applies an LV2 preset (state, then ports).
    void applyPreset(int n);
    // The state as lilv writes it into a session, and back.
    std::string saveState();
    void restoreState(const std::string& text);
    // The unit behind the instance (the plug-in's unit-access extension).
    AudioUnit unit() const;

    LilvInstance* instance() const { return instance_; }
    const LilvPlugin* description() const { return plugin_; }

  private:
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    uint32_t channels_ = 0;
    std::vector<float> controls_;
    std::vector<std::vector<float>> in_, out_;
    alignas(8) unsigned char control_[8192] = {};
    alignas(8) unsigned char notify_[8192] = {};
    LV2_Atom_Forge forge_{};
    std::vector<Position> pending_;
    int32_t maxBlock_ = 0;
    bool* runFlag_ = nullptr;
    std::vector<LV2_Options_Option> options_;
    std::vector<LV2_Feature> features_;
    std::vector<const LV2_Feature*> featureList_;
};

// The unit's state dictionary (caller releases), for comparing states.
CFDictionaryRef unitState(AudioUnit unit);

} // namespace lv2_test

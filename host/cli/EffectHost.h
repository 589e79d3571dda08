// The effect as the command-line program sees it: one instance opened from the
// plug-in bundle through its component entry and driven by the host harness,
// plus the questions a host asks a unit through its properties (parameters,
// value names, factory presets, tail time, latency, channel configurations).
//
// Everything here runs on the program's one thread, which is also the
// harness's user-interface thread and (offline) its render thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/AudioUnitTypes.h"
#include "host/harness/HostHarness.h"

namespace morvane_cli {

// The bundle to load: `explicitPath` when given, else $MORVANE_BUNDLE, else
// Morvane.component next to the program (build tree or installed layout).
// Throws CliError naming the places looked at.
std::string locateBundle(const std::string& explicitPath);
// The places searched relative to the running program, in order.
std::vector<std::string> bundleSearchPath();

// What a host is told about one published parameter.
struct HostParameterInfo {
    AudioUnitParameterID id = 0;
    std::string name; // the parameter-id-name property (the long name)
    AudioUnitParameterUnit unit = kAudioUnitParameterUnit_Generic;
    float minimum = 0.0f;
    float maximum = 0.0f;
    float hostDefault = 0.0f; // as the parameter info publishes it
    UInt32 flags = 0;
    std::vector<std::string> valueStrings; // empty when the unit has none
};

struct PresetEntry {
    SInt32 number = 0;
    std::string name;
};

struct ComponentIdentity {
    OSType type = 0;
    OSType subType = 0;
    OSType manufacturer = 0;
    std::string name;
    UInt32 version = 0; // the unit's version selector, 0xMMMMmmbb
    std::string bundlePath;
};

// "aufx" for a four-character code (non-printing bytes as '?').
std::string fourCCText(OSType code);
// "1.0.1" for 0x00010001.
std::string versionText(UInt32 version);

class EffectHost {
  public:
    // Loads the bundle and opens the effect. Throws CliError.
    explicit EffectHost(const std::string& bundlePath);

    // Stream format and initialisation; values from presets, states and
    // parameter sets reach the effect after this. Throws CliError (an
    // unsupported rate or channel count says so).
    void start(double sampleRate, UInt32 channels, UInt32 maxFrames);
    bool started() const { return started_; }

    HostHarness& harness() { return *harness_; }
    AudioUnit unit() const { return harness_->unit(); }

    // Factory preset `number`, announced and delivered. Throws CliError.
    void selectPreset(SInt32 number);
    // A saved state file, announced and delivered. Throws CliError.
    void restoreState(const std::string& path);
    // The state as an XML property list, written atomically. Throws CliError.
    void saveState(const std::string& path);
    // Sets a parameter (natural value) as automation does and delivers it.
    void setParameter(AudioUnitParameterID id, float natural);
    float parameter(AudioUnitParameterID id) const { return harness_->getParameter(id); }

    // Property queries. Throw CliError when the unit refuses a required one.
    std::vector<HostParameterInfo> parameters() const;
    std::vector<PresetEntry> factoryPresets() const;
    PresetEntry currentPreset() const;
    double tailTime() const; // seconds, 0 when the unit has no tail
    double latency() const;  // seconds
    std::vector<AUChannelInfo> channelConfigurations() const;
    ComponentIdentity identity() const;

  private:
    std::unique_ptr<HostHarness> harness_;
    std::string bundlePath_;
    bool started_ = false;
};

// A Core Foundation string as UTF-8 ("" for null).
std::string stringFromCF(CFStringRef text);

} // namespace morvane_cli

#include "host/cli/EffectHost.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "host/ComponentEntry.h"
#include "host/cli/CliError.h"

namespace morvane_cli {

namespace {

constexpr const char* kBundleName = "Morvane.component";

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string programDirectory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return exe.parent_path().string();
}

std::string statusText(OSStatus status) {
    return std::to_string(status);
}

} // namespace

std::vector<std::string> bundleSearchPath() {
    const std::string dir = programDirectory();
    if (dir.empty()) return {};
    return {
        dir + "/" + kBundleName,                // beside the program
        dir + "/../../" + kBundleName,          // build tree: <build>/host/cli/morvane
        dir + "/../lib/morvane/" + kBundleName, // installed: <prefix>/bin/morvane
        dir + "/../lib/" + kBundleName,
    };
}

std::string locateBundle(const std::string& explicitPath) {
    if (!explicitPath.empty()) {
        if (!isDirectory(explicitPath))
            throw CliError("--bundle " + explicitPath + ": no such bundle directory");
        return explicitPath;
    }
    if (const char* env = std::getenv("MORVANE_BUNDLE"); env != nullptr && *env != '\0') {
        if (!isDirectory(env))
            throw CliError(std::string("MORVANE_BUNDLE=") + env + ": no such bundle directory");
        return env;
    }
    std::string looked;
    for (const std::string& candidate : bundleSearchPath()) {
        if (isDirectory(candidate)) return std::filesystem::path(candidate).lexically_normal().string();
        looked += (looked.empty() ? "" : ", ") + std::filesystem::path(candidate).lexically_normal().string();
    }
    throw CliError(std::string("cannot find ") + kBundleName + " (looked at " + looked +
                   "); give --bundle PATH or set MORVANE_BUNDLE");
}

std::string fourCCText(OSType code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
        if (c >= 0x20 && c < 0x7F) text[i] = c;
    }
    return text;
}

std::string versionText(UInt32 version) {
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
           std::to_string(version & 0xFF);
}

std::string stringFromCF(CFStringRef text) {
    if (text == nullptr) return {};
    size_t bytes = 0;
    const char* utf8 = MorvaneCFStringGetUTF8(text, &bytes);
    return utf8 != nullptr ? std::string(utf8, bytes) : std::string();
}

EffectHost::EffectHost(const std::string& bundlePath) : bundlePath_(bundlePath) {
    std::string error;
    harness_ = HostHarness::Open(bundlePath, error);
    if (!harness_) throw CliError(error.empty() ? bundlePath + ": cannot open the effect" : error);
}

void EffectHost::start(double sampleRate, UInt32 channels, UInt32 maxFrames) {
    OSStatus status = harness_->configure(sampleRate, channels, maxFrames);
    if (status == kAudioUnitErr_FormatNotSupported)
        throw CliError("the effect does not take " + std::to_string(channels) + " channel(s) at " +
                       std::to_string(static_cast<long>(sampleRate)) + " Hz");
    if (status != noErr) throw CliError("the effect refused the stream format (" + statusText(status) + ")");
    status = harness_->initialize();
    if (status != noErr) throw CliError("the effect failed to initialise (" + statusText(status) + ")");
    harness_->pump();
    started_ = true;
}

void EffectHost::selectPreset(SInt32 number) {
    const OSStatus status = harness_->selectFactoryPreset(number);
    if (status != noErr)
        throw CliError("the effect refused factory preset " + std::to_string(number) + " (" +
                       statusText(status) + ")");
    harness_->pump();
}

void EffectHost::restoreState(const std::string& path) {
    std::string error;
    const OSStatus status = harness_->restoreStateFile(path, error);
    if (status != noErr) throw CliError(error.empty() ? path + ": the effect refused the state" : error);
    harness_->pump();
}

void EffectHost::saveState(const std::string& path) {
    std::string error;
    if (harness_->saveStateFile(path, error) != noErr) throw CliError(path + ": " + error);
}

void EffectHost::setParameter(AudioUnitParameterID id, float natural) {
    const OSStatus status = harness_->setParameter(id, natural);
    if (status != noErr)
        throw CliError("the effect refused parameter " + std::to_string(id) + " (" + statusText(status) +
                       ")");
    harness_->pump();
}

std::vector<HostParameterInfo> EffectHost::parameters() const {
    AudioUnit unit = harness_->unit();
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus status = AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global,
                                               0, &size, &writable);
    if (status != noErr) throw CliError("the effect lists no parameters (" + statusText(status) + ")");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty()) {
        status = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                      ids.data(), &size);
        if (status != noErr) throw CliError("the effect lists no parameters (" + statusText(status) + ")");
        ids.resize(size / sizeof(AudioUnitParameterID));
    }

    std::vector<HostParameterInfo> result;
    result.reserve(ids.size());
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info{};
        UInt32 infoSize = sizeof info;
        status = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                                      &info, &infoSize);
        if (status != noErr)
            throw CliError("the effect describes no parameter " + std::to_string(id) + " (" +
                           statusText(status) + ")");
        HostParameterInfo entry;
        entry.id = id;
        entry.unit = info.unit;
        entry.minimum = info.minValue;
        entry.maximum = info.maxValue;
        entry.hostDefault = info.defaultValue;
        entry.flags = info.flags;
        if (info.flags & kAudioUnitParameterFlag_HasCFNameString) {
            entry.name = stringFromCF(info.cfNameString);
            if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
        }

        AudioUnitParameterIDName idName{id, kAudioUnitParameterName_Full, nullptr};
        UInt32 nameSize = sizeof idName;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &idName,
                                 &nameSize) == noErr &&
            idName.outName != nullptr) {
            entry.name = stringFromCF(idName.outName);
            CFRelease(idName.outName);
        }
        if (entry.name.empty()) entry.name = info.name;

        CFArrayRef strings = nullptr;
        UInt32 stringsSize = sizeof strings;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id,
                                 &strings, &stringsSize) == noErr &&
            strings != nullptr) {
            for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
                entry.valueStrings.push_back(
                    stringFromCF(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
            CFRelease(strings);
        }
        result.push_back(std::move(entry));
    }
    return result;
}

std::vector<PresetEntry> EffectHost::factoryPresets() const {
    CFArrayRef presets = nullptr;
    UInt32 size = sizeof presets;
    const OSStatus status = AudioUnitGetProperty(harness_->unit(), kAudioUnitProperty_FactoryPresets,
                                                 kAudioUnitScope_Global, 0, &presets, &size);
    std::vector<PresetEntry> result;
    if (status != noErr || presets == nullptr) return result;
    for (CFIndex i = 0; i < CFArrayGetCount(presets); ++i) {
        const auto* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
        if (preset == nullptr) continue;
        result.push_back({preset->presetNumber, stringFromCF(preset->presetName)});
    }
    CFRelease(presets);
    return result;
}

PresetEntry EffectHost::currentPreset() const {
    AUPreset preset{};
    UInt32 size = sizeof preset;
    if (AudioUnitGetProperty(harness_->unit(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                             &preset, &size) != noErr)
        return {-1, ""};
    PresetEntry entry{preset.presetNumber, stringFromCF(preset.presetName)};
    if (preset.presetName != nullptr) CFRelease(preset.presetName);
    return entry;
}

double EffectHost::tailTime() const {
    Float64 tail = 0.0;
    UInt32 size = sizeof tail;
    if (AudioUnitGetProperty(harness_->unit(), kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &tail,
                             &size) != noErr)
        return 0.0;
    return tail > 0.0 ? tail : 0.0;
}

double EffectHost::latency() const {
    Float64 latency = 0.0;
    UInt32 size = sizeof latency;
    if (AudioUnitGetProperty(harness_->unit(), kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0,
                             &latency, &size) != noErr)
        return 0.0;
    return latency > 0.0 ? latency : 0.0;
}

std::vector<AUChannelInfo> EffectHost::channelConfigurations() const {
    UInt32 size = 0;
    Boolean writable = false;
    if (AudioUnitGetPropertyInfo(harness_->unit(), kAudioUnitProperty_SupportedNumChannels,
                                 kAudioUnitScope_Global, 0, &size, &writable) != noErr)
        return {};
    std::vector<AUChannelInfo> configurations(size / sizeof(AUChannelInfo));
    if (configurations.empty()) return configurations;
    if (AudioUnitGetProperty(harness_->unit(), kAudioUnitProperty_SupportedNumChannels,
                             kAudioUnitScope_Global, 0, configurations.data(), &size) != noErr)
        return {};
    configurations.resize(size / sizeof(AUChannelInfo));
    return configurations;
}

ComponentIdentity EffectHost::identity() const {
    ComponentIdentity identity;
    ComponentDescription description{};
    if (GetComponentInstanceDescription(harness_->unit(), &description) == noErr) {
        identity.type = description.componentType;
        identity.subType = description.componentSubType;
        identity.manufacturer = description.componentManufacturer;
    }
    identity.version = GetComponentVersion(harness_->unit());
    identity.bundlePath = bundlePath_;
    if (const ComponentBundle* bundle = harness_->bundle()) {
        identity.bundlePath = bundle->Path();
        for (const ComponentRegistration& registration : bundle->Components()) {
            if (registration.desc.componentType == identity.type &&
                registration.desc.componentSubType == identity.subType &&
                registration.desc.componentManufacturer == identity.manufacturer) {
                identity.name = registration.name;
                break;
            }
        }
    }
    return identity;
}

} // namespace morvane_cli

#include "host/cli/StateDump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "host/CoreFoundation.h"
#include "host/PropertyList.h"
#include "host/cli/CliError.h"
#include "host/cli/EffectHost.h"
#include "host/cli/TextMatch.h"
#include "params/MorvaneParameterManager.h"

namespace morvane_cli {

namespace {

constexpr const char* kVelocityKeys[4] = {"velocity_L_X", "velocity_L_Y", "velocity_R_X", "velocity_R_Y"};
constexpr size_t kRecorderImageBytes = 664;
constexpr size_t kRecorderCountOffset = 644;
constexpr uint32_t kRecorderCapacity = 80;

struct CFHolder {
    CFTypeRef ref;
    ~CFHolder() {
        if (ref != nullptr) CFRelease(ref);
    }
};

CFTypeRef valueFor(CFDictionaryRef dict, const char* key) {
    CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* value = cfKey != nullptr ? CFDictionaryGetValue(dict, cfKey) : nullptr;
    if (cfKey != nullptr) CFRelease(cfKey);
    return value;
}

std::optional<int32_t> integerFor(CFDictionaryRef dict, const char* key, const std::string& path) {
    CFTypeRef value = valueFor(dict, key);
    if (value == nullptr) return std::nullopt;
    if (CFGetTypeID(value) != CFNumberGetTypeID()) throw CliError(path + ": \"" + key + "\" is not a number");
    int64_t number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number);
    return static_cast<int32_t>(number);
}

std::optional<float> floatFor(CFDictionaryRef dict, const char* key, const std::string& path) {
    CFTypeRef value = valueFor(dict, key);
    if (value == nullptr) return std::nullopt;
    if (CFGetTypeID(value) != CFNumberGetTypeID()) throw CliError(path + ": \"" + key + "\" is not a number");
    float number = 0.0f;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat32Type, &number);
    return number;
}

uint32_t bigEndian32(const UInt8* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

StateSummary::Recording readRecording(CFDictionaryRef dict, const char* key, const std::string& path) {
    StateSummary::Recording recording;
    CFTypeRef value = valueFor(dict, key);
    if (value == nullptr) return recording;
    if (CFGetTypeID(value) != CFDataGetTypeID()) throw CliError(path + ": \"" + key + "\" is not data");
    CFDataRef data = static_cast<CFDataRef>(value);
    recording.present = true;
    recording.bytes = static_cast<size_t>(CFDataGetLength(data));
    if (recording.bytes >= kRecorderCountOffset + 4) {
        const UInt8* p = CFDataGetBytePtr(data) + kRecorderCountOffset;
        // The recorder image is little-endian.
        recording.storedCount =
            uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        recording.points = std::min(recording.storedCount, kRecorderCapacity);
    }
    return recording;
}

std::string codeText(const std::optional<int32_t>& code) {
    return code ? fourCCText(static_cast<OSType>(*code)) : std::string("(missing)");
}

} // namespace

StateSummary readStateSummary(const std::string& path) {
    std::string error;
    CFDictionaryRef dict = readPropertyListDictionary(path, error);
    if (dict == nullptr) throw CliError(error.empty() ? path + ": not a state file" : error);
    CFHolder holder{dict};

    StateSummary summary;
    summary.path = path;
    if (CFTypeRef name = valueFor(dict, "name")) {
        if (CFGetTypeID(name) != CFStringGetTypeID()) throw CliError(path + ": \"name\" is not a string");
        summary.name = stringFromCF(static_cast<CFStringRef>(name));
    }
    summary.version = integerFor(dict, "version", path);
    summary.type = integerFor(dict, "type", path);
    summary.subType = integerFor(dict, "subtype", path);
    summary.manufacturer = integerFor(dict, "manufacturer", path);
    summary.effectVersion = integerFor(dict, "Version", path);

    if (CFTypeRef data = valueFor(dict, "data")) {
        if (CFGetTypeID(data) != CFDataGetTypeID()) throw CliError(path + ": \"data\" is not data");
        summary.hasData = true;
        const UInt8* bytes = CFDataGetBytePtr(static_cast<CFDataRef>(data));
        const size_t length = static_cast<size_t>(CFDataGetLength(static_cast<CFDataRef>(data)));
        size_t offset = 0;
        while (offset < length) {
            if (length - offset < 12)
                throw CliError(path + ": parameter data is corrupt (a record header is cut short at byte " +
                               std::to_string(offset) + ")");
            const uint32_t scope = bigEndian32(bytes + offset);
            const uint32_t element = bigEndian32(bytes + offset + 4);
            const uint32_t count = bigEndian32(bytes + offset + 8);
            offset += 12;
            if (count > (length - offset) / 8)
                throw CliError(path + ": parameter data is corrupt (" + std::to_string(count) +
                               " values announced, room for " + std::to_string((length - offset) / 8) + ")");
            for (uint32_t i = 0; i < count; ++i, offset += 8) {
                const uint32_t bits = bigEndian32(bytes + offset + 4);
                float value;
                std::memcpy(&value, &bits, sizeof value);
                summary.values.push_back({scope, element, bigEndian32(bytes + offset), value});
            }
        }
    }

    for (int i = 0; i < 4; ++i)
        summary.velocity[i] = floatFor(dict, kVelocityKeys[i], path);
    summary.left = readRecording(dict, "LeftMotion", path);
    summary.right = readRecording(dict, "RightMotion", path);

    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), nullptr);
    static const char* const known[] = {
        "name",         "version",      "type",         "subtype",      "manufacturer", "Version",    "data",
        "velocity_L_X", "velocity_L_Y", "velocity_R_X", "velocity_R_Y", "LeftMotion",   "RightMotion"};
    for (const void* key : keys) {
        if (key == nullptr || CFGetTypeID(key) != CFStringGetTypeID()) continue;
        const std::string text = stringFromCF(static_cast<CFStringRef>(key));
        bool isKnown = false;
        for (const char* k : known)
            isKnown = isKnown || text == k;
        if (!isKnown) summary.otherKeys.push_back(text);
    }
    std::sort(summary.otherKeys.begin(), summary.otherKeys.end());

    if (!summary.hasData && !summary.version && !summary.effectVersion)
        throw CliError(path + ": not an effect state (no \"data\", \"version\" or \"Version\")");
    return summary;
}

void printStateSummary(const StateSummary& summary, std::ostream& out, bool json) {
    // Texts as the effect shows them, from its parameter table.
    MorvaneParameterManager table;
    for (const StateSummary::Value& v : summary.values)
        if (v.scope == 0 && v.element == 0 && table.hasParameter(static_cast<int32_t>(v.id)))
            table.setNaturalValue(static_cast<int32_t>(v.id), v.value);
    table.setHostSynced(kLeftDelayTime, table.getNaturalValue(kHostSync) > 0.5f);

    auto describe = [&](const StateSummary::Value& v, std::string& name, std::string& text,
                        std::string& unit) {
        const int32_t id = static_cast<int32_t>(v.id);
        if (v.scope != 0 || v.element != 0 || id >= table.getParameterCount() || !table.hasParameter(id)) {
            name = "(unknown)";
            return;
        }
        name = table.getName(id);
        char buffer[64];
        table.getValueString(id, buffer, 40);
        text = trimText(buffer);
        table.getUnitsName(id, buffer, 15);
        unit = trimText(buffer);
    };

    if (json) {
        nlohmann::ordered_json j;
        j["file"] = summary.path;
        if (summary.name) j["name"] = *summary.name;
        if (summary.version) j["version"] = *summary.version;
        if (summary.type) j["type"] = fourCCText(static_cast<OSType>(*summary.type));
        if (summary.subType) j["subtype"] = fourCCText(static_cast<OSType>(*summary.subType));
        if (summary.manufacturer) j["manufacturer"] = fourCCText(static_cast<OSType>(*summary.manufacturer));
        if (summary.effectVersion) j["effect_version"] = *summary.effectVersion;
        nlohmann::ordered_json values = nlohmann::ordered_json::array();
        for (const StateSummary::Value& v : summary.values) {
            std::string name, text, unit;
            describe(v, name, text, unit);
            nlohmann::ordered_json entry;
            entry["id"] = v.id;
            if (v.scope != 0 || v.element != 0) {
                entry["scope"] = v.scope;
                entry["element"] = v.element;
            }
            entry["name"] = name;
            entry["value"] = v.value;
            entry["text"] = text;
            entry["unit"] = unit;
            values.push_back(entry);
        }
        j["parameters"] = values;
        nlohmann::ordered_json velocities;
        for (int i = 0; i < 4; ++i)
            velocities[kVelocityKeys[i]] =
                summary.velocity[i] ? nlohmann::ordered_json(*summary.velocity[i]) : nullptr;
        j["velocities"] = velocities;
        auto recording = [](const StateSummary::Recording& r) {
            if (!r.present) return nlohmann::ordered_json(nullptr);
            return nlohmann::ordered_json{{"bytes", r.bytes}, {"points", r.points}};
        };
        j["recordings"] = {{"left", recording(summary.left)}, {"right", recording(summary.right)}};
        if (!summary.otherKeys.empty()) j["other_keys"] = summary.otherKeys;
        out << j.dump(2) << "\n";
        return;
    }

    char line[256];
    out << "State " << summary.path << "\n";
    out << "  name          " << (summary.name ? "\"" + *summary.name + "\"" : std::string("(none)")) << "\n";
    out << "  component     " << codeText(summary.type) << " " << codeText(summary.subType) << " "
        << codeText(summary.manufacturer) << "\n";
    out << "  versions      format " << (summary.version ? std::to_string(*summary.version) : "(missing)")
        << ", effect " << (summary.effectVersion ? std::to_string(*summary.effectVersion) : "(missing)")
        << "\n";
    if (!summary.hasData) {
        out << "  parameters    (no \"data\" entry)\n";
    } else {
        out << "  parameters    " << summary.values.size() << "\n";
        for (const StateSummary::Value& v : summary.values) {
            std::string name, text, unit;
            describe(v, name, text, unit);
            std::snprintf(line, sizeof line, "    %3u  %-17s %12.6g   %s%s%s\n", v.id, name.c_str(),
                          static_cast<double>(v.value), text.c_str(), unit.empty() ? "" : " ", unit.c_str());
            out << line;
        }
    }
    out << "  velocities    (pad units per sample)\n";
    for (int i = 0; i < 4; ++i) {
        if (summary.velocity[i])
            std::snprintf(line, sizeof line, "    %-13s %+.6g\n", kVelocityKeys[i],
                          static_cast<double>(*summary.velocity[i]));
        else
            std::snprintf(line, sizeof line, "    %-13s (missing)\n", kVelocityKeys[i]);
        out << line;
    }
    auto recordingText = [](const StateSummary::Recording& r) {
        if (!r.present) return std::string("(missing)");
        std::string text = std::to_string(r.points) + " points";
        if (r.bytes != kRecorderImageBytes)
            text += " (image of " + std::to_string(r.bytes) + " bytes, expected 664)";
        else if (r.storedCount > kRecorderCapacity)
            text += " (stored count " + std::to_string(r.storedCount) + ", played as 80)";
        return text;
    };
    out << "  recordings    left " << recordingText(summary.left) << ", right "
        << recordingText(summary.right) << "\n";
    if (!summary.otherKeys.empty()) {
        out << "  other keys   ";
        for (const std::string& key : summary.otherKeys)
            out << " \"" << key << "\"";
        out << "\n";
    }
}

} // namespace morvane_cli

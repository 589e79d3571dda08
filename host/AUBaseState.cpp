// The generic state: the dictionary every unit saves and restores (format
// version, component codes, the parameter blob, the current preset's name,
// render quality, CPU load and element names).
//
// The layout is fixed outside this code: other tools and saved documents read
// and write it. The "data" blob is a run of element records, all fields
// big-endian:
//   scope u32, element u32, count u32, then count x (id u32, value IEEE single)
// one record per element of every scope (global, input, output, group, in that
// order) that has parameters. An effect with 45 global parameters writes one
// record of 12 + 45 x 8 = 372 bytes.
//
// Host threads (never the render thread): these allocate.
#include <bit>
#include <cmath>
#include <cstdlib>
#include <string>

#include "host/AUBase.h"

namespace {

void PutBigEndian(std::vector<UInt8>& out, UInt32 value) {
    out.push_back(UInt8(value >> 24));
    out.push_back(UInt8(value >> 16));
    out.push_back(UInt8(value >> 8));
    out.push_back(UInt8(value));
}

UInt32 GetBigEndian(const UInt8* p) {
    return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

void SetNumber(CFMutableDictionaryRef dict, CFStringRef key, CFNumberType type, const void* value) {
    CFNumberRef number = CFNumberCreate(nullptr, type, value);
    if (number == nullptr) return;
    CFDictionarySetValue(dict, key, number);
    CFRelease(number);
}

// A number under key that fits a signed 64-bit integer without loss.
bool ReadInteger(CFDictionaryRef dict, CFStringRef key, SInt64& out) {
    CFTypeRef value = CFDictionaryGetValue(dict, key);
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID()) return false;
    return CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &out);
}

// A four-character code saved as a signed 32-bit number (or, from other
// writers, as its unsigned value).
bool ReadCode(CFDictionaryRef dict, CFStringRef key, OSType expected) {
    SInt64 v = 0;
    if (!ReadInteger(dict, key, v)) return false;
    if (v < INT32_MIN || v > SInt64(UINT32_MAX)) return false;
    return OSType(UInt32(v)) == expected;
}

CFStringRef CreateDecimalString(UInt32 value) {
    const std::string text = std::to_string(value);
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

bool ParseDecimal(CFTypeRef key, UInt32& out) {
    if (key == nullptr || CFGetTypeID(key) != CFStringGetTypeID()) return false;
    char text[16];
    if (!CFStringGetCString(static_cast<CFStringRef>(key), text, sizeof text, kCFStringEncodingUTF8))
        return false;
    if (text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value > UINT32_MAX) return false;
    out = UInt32(value);
    return true;
}

} // namespace

void AUBase::WriteParameterBlob(std::vector<UInt8>& blob) {
    const AudioUnitScope order[] = {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output,
                                    kAudioUnitScope_Group};
    for (AudioUnitScope scope : order) {
        AUScope* s = GetScope(scope);
        for (UInt32 e = 0; e < s->GetNumberOfElements(); ++e) {
            AUElement* element = s->GetElement(e);
            const UInt32 n = element->GetNumberOfParameters();
            if (n == 0) continue;
            PutBigEndian(blob, scope);
            PutBigEndian(blob, e);
            PutBigEndian(blob, n);
            for (UInt32 id = 0; id < n; ++id) {
                PutBigEndian(blob, id);
                PutBigEndian(blob, std::bit_cast<UInt32>(element->GetParameter(id)));
            }
        }
    }
}

// `value` held within the range the unit publishes for the parameter; as it
// is when the unit describes no range for it.
AudioUnitParameterValue AUBase::ClampToPublishedRange(AudioUnitScope scope, AudioUnitParameterID id,
                                                      AudioUnitParameterValue value) {
    AudioUnitParameterInfo info{};
    const OSStatus described = GetParameterInfo(scope, id, info);
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr)
        CFRelease(info.cfNameString);
    if (described != noErr || !(info.minValue <= info.maxValue)) return value;
    return value < info.minValue ? info.minValue : value > info.maxValue ? info.maxValue : value;
}

bool AUBase::ApplyParameterBlob(const UInt8* bytes, size_t length) {
    size_t pos = 0;
    while (length - pos >= 12) {
        const UInt32 scope = GetBigEndian(bytes + pos);
        const UInt32 elementIndex = GetBigEndian(bytes + pos + 4);
        const UInt32 count = GetBigEndian(bytes + pos + 8);
        pos += 12;
        AUElement* element = GetElement(scope, elementIndex);
        if (element == nullptr) return false; // an unknown element ends the reading
        for (UInt32 i = 0; i < count; ++i) {
            if (length - pos < 8) return false;
            const UInt32 id = GetBigEndian(bytes + pos);
            const float value = std::bit_cast<float>(GetBigEndian(bytes + pos + 4));
            pos += 8;
            // Ids the element does not have, and values that are not numbers, are
            // skipped, and values beyond a parameter's published range are held at
            // its nearer bound: a damaged blob must not feed the effect NaN,
            // infinity or a number its signal path turns into either.
            if (element->HasParameter(id) && std::isfinite(value))
                element->SetParameter(id, ClampToPublishedRange(scope, id, value));
        }
    }
    return true;
}

OSStatus AUBase::SaveState(CFPropertyListRef* outData) {
    if (outData == nullptr) return paramErr;
    *outData = nullptr;
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    if (dict == nullptr) return memFullErr;

    const SInt32 version = 0;
    const SInt32 type = SInt32(mComponentDescription.componentType);
    const SInt32 subtype = SInt32(mComponentDescription.componentSubType);
    const SInt32 manufacturer = SInt32(mComponentDescription.componentManufacturer);
    SetNumber(dict, CFSTR("version"), kCFNumberSInt32Type, &version);
    SetNumber(dict, CFSTR("type"), kCFNumberSInt32Type, &type);
    SetNumber(dict, CFSTR("subtype"), kCFNumberSInt32Type, &subtype);
    SetNumber(dict, CFSTR("manufacturer"), kCFNumberSInt32Type, &manufacturer);

    std::vector<UInt8> blob;
    WriteParameterBlob(blob);
    CFDataRef data = CFDataCreate(nullptr, blob.data(), CFIndex(blob.size()));
    if (data != nullptr) {
        CFDictionarySetValue(dict, CFSTR("data"), data);
        CFRelease(data);
    }

    const AUPreset preset = CopyCurrentPreset();
    CFDictionarySetValue(dict, CFSTR("name"),
                         preset.presetName != nullptr ? preset.presetName : CFSTR("Untitled"));
    if (preset.presetName != nullptr) CFRelease(preset.presetName);

    UInt32 size = 0;
    if (DispatchGetPropertyInfo(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &size,
                                nullptr) == noErr &&
        size == sizeof(UInt32)) {
        UInt32 quality = 0;
        if (DispatchGetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &quality,
                                &size) == noErr) {
            const SInt32 q = SInt32(quality);
            SetNumber(dict, CFSTR("render-quality"), kCFNumberSInt32Type, &q);
        }
    }
    if (DispatchGetPropertyInfo(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &size, nullptr) ==
            noErr &&
        size == sizeof(Float32)) {
        Float32 load = 0;
        if (DispatchGetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &load, &size) == noErr)
            SetNumber(dict, CFSTR("cpu-load"), kCFNumberFloat32Type, &load);
    }

    // Element names, by scope number and element number, when any are set.
    CFMutableDictionaryRef names = nullptr;
    const AudioUnitScope order[] = {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output,
                                    kAudioUnitScope_Group};
    for (AudioUnitScope scope : order) {
        AUScope* s = GetScope(scope);
        if (!s->HasElementWithName()) continue;
        if (names == nullptr)
            names = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks);
        CFMutableDictionaryRef elements = CFDictionaryCreateMutable(
            nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        for (UInt32 e = 0; e < s->GetNumberOfElements(); ++e) {
            CFStringRef name = s->GetElement(e)->GetName();
            if (name == nullptr) continue;
            CFStringRef key = CreateDecimalString(e);
            CFDictionarySetValue(elements, key, name);
            CFRelease(key);
        }
        CFStringRef key = CreateDecimalString(scope);
        CFDictionarySetValue(names, key, elements);
        CFRelease(key);
        CFRelease(elements);
    }
    if (names != nullptr) {
        CFDictionarySetValue(dict, CFSTR("element-name"), names);
        CFRelease(names);
    }

    *outData = dict;
    return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef inData) {
    if (inData == nullptr || CFGetTypeID(inData) != CFDictionaryGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;
    CFDictionaryRef dict = static_cast<CFDictionaryRef>(inData);

    // Everything is checked before anything is applied.
    if (CFDictionaryContainsKey(dict, CFSTR("part"))) return kAudioUnitErr_InvalidPropertyValue;
    SInt64 version = -1;
    if (!ReadInteger(dict, CFSTR("version"), version) || version != 0)
        return kAudioUnitErr_InvalidPropertyValue;
    if (!ReadCode(dict, CFSTR("subtype"), mComponentDescription.componentSubType) ||
        !ReadCode(dict, CFSTR("manufacturer"), mComponentDescription.componentManufacturer))
        return kAudioUnitErr_InvalidPropertyValue;
    CFTypeRef data = CFDictionaryGetValue(dict, CFSTR("data"));
    if (data != nullptr && CFGetTypeID(data) != CFDataGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;

    if (data != nullptr) {
        CFDataRef blob = static_cast<CFDataRef>(data);
        const CFIndex length = CFDataGetLength(blob);
        if (length > 0) ApplyParameterBlob(CFDataGetBytePtr(blob), size_t(length));
    }

    SInt64 quality = 0;
    if (ReadInteger(dict, CFSTR("render-quality"), quality) && quality >= 0 && quality <= UINT32_MAX) {
        const UInt32 q = UInt32(quality);
        DispatchSetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &q, sizeof q);
    }
    CFTypeRef load = CFDictionaryGetValue(dict, CFSTR("cpu-load"));
    if (load != nullptr && CFGetTypeID(load) == CFNumberGetTypeID()) {
        Float32 value = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(load), kCFNumberFloat32Type, &value);
        if (std::isfinite(value))
            DispatchSetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &value, sizeof value);
    }

    CFTypeRef names = CFDictionaryGetValue(dict, CFSTR("element-name"));
    if (names != nullptr && CFGetTypeID(names) == CFDictionaryGetTypeID()) {
        struct Context {
            AUBase* unit;
            UInt32 scope;
        } context{this, 0};
        CFDictionaryApplyFunction(
            static_cast<CFDictionaryRef>(names),
            [](const void* key, const void* value, void* info) {
                auto* c = static_cast<Context*>(info);
                if (!ParseDecimal(key, c->scope) || value == nullptr ||
                    CFGetTypeID(value) != CFDictionaryGetTypeID())
                    return;
                CFDictionaryApplyFunction(
                    static_cast<CFDictionaryRef>(value),
                    [](const void* k, const void* v, void* info2) {
                        auto* c2 = static_cast<Context*>(info2);
                        UInt32 e = 0;
                        if (!ParseDecimal(k, e) || v == nullptr || CFGetTypeID(v) != CFStringGetTypeID())
                            return;
                        if (AUElement* element = c2->unit->GetElement(c2->scope, e))
                            element->SetName(static_cast<CFStringRef>(v));
                    },
                    c);
            },
            &context);
    }

    CFTypeRef name = CFDictionaryGetValue(dict, CFSTR("name"));
    if (name != nullptr && CFGetTypeID(name) != CFStringGetTypeID()) name = nullptr;
    SetUserPreset(static_cast<CFStringRef>(name));
    return noErr;
}

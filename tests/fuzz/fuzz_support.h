// Shared pieces of the fuzz targets: the effect opened in-process through its
// component entry and the host harness, and the checks every restore must
// pass. A target aborts (libFuzzer then saves the input) when a check fails.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, MorvaneFuzzEntry)

namespace morvane_fuzz {

inline void check(bool condition) {
    if (!condition) std::abort();
}

inline const ComponentDescription& effectDescription() {
    static const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"),
                                           MorvaneFourCC("Qnlw"), 0, 0};
    return desc;
}

// One effect instance as a host holds it: stereo, 44.1 kHz, initialised.
class Effect {
  public:
    explicit Effect(bool initialise = true) {
        std::string error;
        harness_ = HostHarness::OpenEntry(&MorvaneFuzzEntry, effectDescription(), error);
        check(harness_ != nullptr);
        check(harness_->configure(44100.0, 2, 512) == noErr);
        if (initialise) check(harness_->initialize() == noErr);
    }

    HostHarness& host() { return *harness_; }
    AudioUnit unit() const { return harness_->unit(); }
    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(harness_->unit())); }

    // Renders a short block of a quiet sine; every output sample is finite.
    void renderAndCheck(UInt32 frames = 256) {
        std::vector<float> left(frames), right(frames);
        for (UInt32 i = 0; i < frames; ++i)
            left[i] = right[i] = 0.25f * std::sin(0.05f * float(i));
        float* io[2] = {left.data(), right.data()};
        check(harness_->renderInPlace(io, frames) == noErr);
        for (UInt32 i = 0; i < frames; ++i)
            check(std::isfinite(left[i]) && std::isfinite(right[i]));
    }

    // What any accepted or refused restore must leave behind: a state that
    // saves again, with a 372-byte blob of finite values inside their published
    // ranges, finite pad velocities, and recorders that play only points on the
    // pad; and audio that stays finite.
    void checkConsistent() {
        harness_->pump();
        renderAndCheck();
        CFPropertyListRef saved = nullptr;
        check(harness_->saveState(&saved) == noErr && saved != nullptr);
        check(CFGetTypeID(saved) == CFDictionaryGetTypeID());
        auto dict = static_cast<CFDictionaryRef>(saved);
        auto blob = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
        check(blob != nullptr && CFGetTypeID(blob) == CFDataGetTypeID() && CFDataGetLength(blob) == 372);
        const UInt8* bytes = CFDataGetBytePtr(blob);
        for (UInt32 id = 0; id < 45; ++id) {
            AudioUnitParameterInfo info{};
            UInt32 size = sizeof info;
            check(AudioUnitGetProperty(unit(), kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                                       &info, &size) == noErr);
            if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
            const UInt8* p = bytes + 12 + 8 * id + 4;
            const UInt32 word = (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
            float value;
            std::memcpy(&value, &word, sizeof value);
            check(std::isfinite(value));
            check(value >= info.minValue && value <= info.maxValue);
        }
        for (const char* key : {"velocity_L_X", "velocity_L_Y", "velocity_R_X", "velocity_R_Y"}) {
            CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
            auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, name));
            CFRelease(name);
            float velocity = 0.0f;
            check(number != nullptr && CFNumberGetValue(number, kCFNumberFloat32Type, &velocity));
            check(std::isfinite(velocity));
        }
        for (CMotionRecorder* recorder : {&effect().recorderLeft(), &effect().recorderRight()}) {
            const UInt32 count = recorder->count.load();
            check(count <= CMotionRecorder::kCapacity);
            for (UInt32 i = 0; i < count; ++i) {
                const float x = recorder->x[i].load(), y = recorder->y[i].load();
                check(x >= 0.0f && x <= 1.0f && y >= 0.0f && y <= 1.0f);
            }
        }
        CFRelease(saved);
    }

  private:
    std::unique_ptr<HostHarness> harness_;
};

// A dictionary with the framework's identification keys of this effect
// (version 0, its type, sub-type and manufacturer): the part of a state that
// gets a restore past its first checks.
inline CFMutableDictionaryRef createIdentifiedState() {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    const ComponentDescription& desc = effectDescription();
    const SInt32 values[4] = {0, SInt32(desc.componentType), SInt32(desc.componentSubType),
                              SInt32(desc.componentManufacturer)};
    const CFStringRef keys[4] = {CFSTR("version"), CFSTR("type"), CFSTR("subtype"), CFSTR("manufacturer")};
    for (int i = 0; i < 4; ++i) {
        CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &values[i]);
        CFDictionarySetValue(dict, keys[i], number);
        CFRelease(number);
    }
    return dict;
}

} // namespace morvane_fuzz

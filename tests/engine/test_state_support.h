// Opens the effect from its loadable bundle through the host harness, as a
// host does, and reaches its internals only the way the editor does: through
// the custom properties (parameter table and recorder pointers) and the saved
// state. Also a synthesised drum loop to render through it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/CoreFoundation.h"
#include "host/harness/HostHarness.h"
#include "motion/CMotionRecorder.h"
#include "params/MorvaneParameterManager.h"
#include "tests/engine/render_support.h"

#ifndef MORVANE_BUNDLE_DIR
#error "MORVANE_BUNDLE_DIR must name the built Morvane.component"
#endif

// A dictionary (or any CF object) released at the end of its scope.
class CFHolder {
  public:
    explicit CFHolder(CFTypeRef object = nullptr) : object_(object) {}
    ~CFHolder() {
        if (object_) CFRelease(object_);
    }
    CFHolder(const CFHolder&) = delete;
    CFHolder& operator=(const CFHolder&) = delete;
    CFTypeRef get() const { return object_; }
    CFDictionaryRef dict() const { return static_cast<CFDictionaryRef>(object_); }
    CFMutableDictionaryRef mutableDict() const {
        return static_cast<CFMutableDictionaryRef>(const_cast<void*>(object_));
    }
    void reset(CFTypeRef object) {
        if (object_) CFRelease(object_);
        object_ = object;
    }

  private:
    CFTypeRef object_;
};

struct PadVelocities {
    float lx, ly, rx, ry;
};

class BundleHost {
  public:
    // Offline (the default): parameter changes are delivered before each
    // rendered block. Real-time: render() may run on another thread and the
    // opening thread pumps.
    // With `initialize` false the unit is configured but not yet initialised.
    explicit BundleHost(double rate = 44100.0, UInt32 channels = 2, UInt32 maxFrames = 4096,
                        bool offline = true, bool initialize = true) {
        std::string error;
        harness = HostHarness::Open(MORVANE_BUNDLE_DIR, error);
        if (!harness) throw std::runtime_error(error);
        harness->setOffline(offline);
        if (harness->configure(rate, channels, maxFrames) != noErr) throw std::runtime_error("configure");
        if (initialize && harness->initialize() != noErr) throw std::runtime_error("initialize");
    }

    HostHarness& host() { return *harness; }
    AudioUnit unit() { return harness->unit(); }

    void set(AudioUnitParameterID id, float value) { ASSERT_EQ(harness->setParameter(id, value), noErr); }
    float stored(AudioUnitParameterID id) { return harness->getParameter(id); }
    void pump() { harness->pump(); }

    // ---- Through the editor's custom properties ----
    void* pointerProperty(AudioUnitPropertyID id) {
        void* pointer = nullptr;
        UInt32 size = sizeof pointer;
        EXPECT_EQ(AudioUnitGetProperty(unit(), id, kAudioUnitScope_Global, 0, &pointer, &size), noErr);
        EXPECT_EQ(size, sizeof pointer);
        return pointer;
    }
    MorvaneParameterManager& params() {
        return *static_cast<MorvaneParameterManager*>(pointerProperty(kMorvaneProperty_ParameterManager));
    }
    CMotionRecorder& recorder(bool left) {
        return *static_cast<CMotionRecorder*>(pointerProperty(left ? kMorvaneProperty_MotionRecorderLeft
                                                                   : kMorvaneProperty_MotionRecorderRight));
    }

    // ---- Saved state ----
    CFDictionaryRef saveState() {
        CFPropertyListRef state = nullptr;
        EXPECT_EQ(harness->saveState(&state), noErr);
        if (state == nullptr || CFGetTypeID(state) != CFDictionaryGetTypeID())
            throw std::runtime_error("no state dictionary");
        return static_cast<CFDictionaryRef>(state);
    }
    PadVelocities velocities() {
        CFHolder state(saveState());
        return PadVelocities{
            floatEntry(state.dict(), "velocity_L_X"), floatEntry(state.dict(), "velocity_L_Y"),
            floatEntry(state.dict(), "velocity_R_X"), floatEntry(state.dict(), "velocity_R_Y")};
    }

    static float floatEntry(CFDictionaryRef dict, const char* key) {
        CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFTypeRef value = CFDictionaryGetValue(dict, k);
        CFRelease(k);
        float v = NAN;
        if (value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID())
            CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat32Type, &v);
        return v;
    }

    // ---- Audio ----
    // Renders `in` (one vector per channel) in blocks of `block` frames.
    std::vector<std::vector<float>> render(const std::vector<std::vector<float>>& in, UInt32 block = 512) {
        return renderInBlocks(*harness, in, block);
    }
    void renderSilence(size_t frames) {
        render(std::vector<std::vector<float>>(harness->channels(), std::vector<float>(frames, 0.0f)));
    }

  private:
    std::unique_ptr<HostHarness> harness;
};

// The recorder's points and count as a comparable list (count, then x and y
// of every slot).
inline std::vector<float> recorderContents(const CMotionRecorder& r) {
    std::vector<float> v{static_cast<float>(r.count.load())};
    for (uint32_t k = 0; k < CMotionRecorder::kCapacity; ++k) {
        v.push_back(r.x[k].load());
        v.push_back(r.y[k].load());
    }
    return v;
}

inline void removeKey(CFMutableDictionaryRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionaryRemoveValue(dict, k);
    CFRelease(k);
}

inline void setValue(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(dict, k, value);
    CFRelease(k);
    CFRelease(value);
}

inline CFNumberRef newInt(SInt32 v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}

// A drum loop at 120 beats per minute, stereo, deterministic: a kick (a sine
// falling from 150 Hz to 50 Hz) on beats 1 and 3, a snare (noise and a 190 Hz
// tone) on 2 and 4, closed hats (differenced noise) on every eighth note, the
// hats panned a little to the right. Peaks stay below 0.8.
inline std::vector<std::vector<float>> drumLoop(double seconds, double rate = 44100.0) {
    const size_t n = static_cast<size_t>(seconds * rate);
    std::vector<std::vector<float>> out(2, std::vector<float>(n, 0.0f));
    const double eighth = 0.25 * rate; // samples per eighth note at 120 bpm
    uint32_t seed = 12345u;
    auto noise = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    double lastNoise = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double step = std::floor(static_cast<double>(i) / eighth);
        const double t = (static_cast<double>(i) - step * eighth) / rate; // seconds since this eighth
        const int inBar = static_cast<int>(step) % 8;
        double kick = 0.0, snare = 0.0, hat = 0.0;
        const double w = noise();
        if (inBar == 0 || inBar == 4) {
            const double f0 = 50.0, f1 = 100.0, k = 25.0; // f(t) = f0 + f1 exp(-k t)
            const double phase = 2.0 * M_PI * (f0 * t + f1 * (1.0 - std::exp(-k * t)) / k);
            kick = 0.6 * std::sin(phase) * std::exp(-t * 9.0);
        }
        if (inBar == 2 || inBar == 6)
            snare = (0.3 * w + 0.2 * std::sin(2.0 * M_PI * 190.0 * t)) * std::exp(-t * 22.0);
        hat = 0.12 * (w - lastNoise) * std::exp(-t * 60.0);
        lastNoise = w;
        out[0][i] = static_cast<float>(kick + snare + 0.7 * hat);
        out[1][i] = static_cast<float>(kick + snare + 1.0 * hat);
    }
    return out;
}

// RMS over both channels from frame `from` on.
inline double rmsOf(const std::vector<std::vector<float>>& x, size_t from = 0, size_t to = SIZE_MAX) {
    double sum = 0.0;
    size_t count = 0;
    for (const auto& channel : x) {
        // The bound is computed once, so the optimiser sees the loop limited by the channel's
        // size (a bound re-read each pass made g++ -O3 reason about indices near SIZE_MAX).
        const size_t end = std::min(to, channel.size());
        for (size_t i = from; i < end; ++i) {
            sum += static_cast<double>(channel[i]) * channel[i];
            ++count;
        }
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

inline double decibels(double ratio) {
    return 20.0 * std::log10(std::max(ratio, 1e-12));
}

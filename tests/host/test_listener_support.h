// A minimal unit for listener tests: a component whose only state is a bank
// of parameter values in the global scope, opened through the component
// model like any unit. Getting and setting are lock-free, so tests may post
// from several threads.
#pragma once

#include <atomic>

#include "host/AUListener.h"
#include "host/ComponentEntry.h"

namespace listener_test {

constexpr UInt32 kFakeParameterCount = 64;

struct FakeUnitStore {
    std::atomic<float> values[kFakeParameterCount]{};
};

inline OSStatus fakeUnitEntry(ComponentParameters* params, void* storage) {
    auto* store = static_cast<FakeUnitStore*>(storage);
    switch (params->what) {
    case kComponentOpenSelect:
        SetComponentInstanceStorage(static_cast<ComponentInstance>(params->args[0].ptr), new FakeUnitStore());
        return noErr;
    case kComponentCloseSelect:
        delete store;
        return noErr;
    case kAudioUnitGetParameterSelect:
    case kAudioUnitSetParameterSelect: {
        const UInt32 id = params->args[0].u32;
        if (params->args[1].u32 != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (id >= kFakeParameterCount) return kAudioUnitErr_InvalidParameter;
        if (params->what == kAudioUnitGetParameterSelect)
            *static_cast<Float32*>(params->args[3].ptr) = store->values[id].load(std::memory_order_relaxed);
        else
            store->values[id].store(params->args[3].f32, std::memory_order_relaxed);
        return noErr;
    }
    default:
        return badComponentSelector;
    }
}

// Owns one open fake unit.
struct FakeUnit {
    AudioUnit unit = nullptr;
    FakeUnit() {
        ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("tfak"), MorvaneFourCC("Test"), 0, 0};
        MorvaneOpenComponent(fakeUnitEntry, &desc, &unit);
    }
    ~FakeUnit() { CloseComponent(unit); }
    FakeUnit(const FakeUnit&) = delete;
    FakeUnit& operator=(const FakeUnit&) = delete;

    AudioUnitParameter param(AudioUnitParameterID id) const {
        return AudioUnitParameter{unit, id, kAudioUnitScope_Global, 0};
    }
    float get(AudioUnitParameterID id) const {
        Float32 v = -1.0f;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        return v;
    }
    void setQuietly(AudioUnitParameterID id, float v) const {
        AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, v, 0);
    }
};

} // namespace listener_test

// Drives one effect instance through the host harness, the way a digital
// audio workstation does, with the entry routine linked into the test so the
// test can also look at the effect object behind the component.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"
#include "tests/engine/render_support.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, MorvaneEngineTestEntry)

class EngineHost {
  public:
    explicit EngineHost(double rate = 44100.0, UInt32 channels = 2, UInt32 maxFrames = 4096,
                        bool init = true) {
        std::string error;
        const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"),
                                        0, 0};
        harness = HostHarness::OpenEntry(&MorvaneEngineTestEntry, desc, error);
        if (!harness) throw std::runtime_error(error);
        if (harness->configure(rate, channels, maxFrames) != noErr) throw std::runtime_error("configure");
        if (init && harness->initialize() != noErr) throw std::runtime_error("initialize");
    }

    HostHarness& host() { return *harness; }
    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(harness->unit())); }
    MorvaneParameterManager& params() { return effect().parameterTable(); }

    void set(AudioUnitParameterID id, float value) { ASSERT_EQ(harness->setParameter(id, value), noErr); }
    // Delivers the queued parameter changes to the effect.
    void pump() { harness->pump(); }

    // A neutral, audible setting: unity gains, filter and delay off, so the
    // output is the input once the 10 ms gain glide has settled.
    void setDryUnity() {
        set(kInputGain, 0.0f);
        set(kOutputGain, 0.0f);
        set(kFilterOnOff, 0.0f);
        set(kDelayOnOff, 0.0f);
        set(kWetDryMix, 50.0f);
        pump();
    }

    // Renders `in` (one vector per channel) in blocks of `block` frames.
    std::vector<std::vector<float>> render(const std::vector<std::vector<float>>& in, UInt32 block = 4096) {
        return renderInBlocks(*harness, in, block);
    }
    // Renders `frames` frames of a constant on every channel.
    std::vector<std::vector<float>> renderConstant(float value, size_t frames, UInt32 block = 4096) {
        return render(std::vector<std::vector<float>>(harness->channels(), std::vector<float>(frames, value)),
                      block);
    }

  private:
    std::unique_ptr<HostHarness> harness;
};

// Value after k steps of a lag smoother from 0 toward 1 with rise time T (s),
// stepped once per control tick at rate r: 1 - exp(-k / (T r)).
inline double lagAfterTicks(int k, double riseTime, double rate) {
    return 1.0 - std::exp(-k / (riseTime * rate));
}

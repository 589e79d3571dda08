// One thread renders while the user-interface thread changes every
// parameter, drags and throws the pads, switches filter types, link and
// motion modes, records gestures, attaches and detaches an editor view and
// resets the unit. Built with ThreadSanitizer this must report no data race;
// in every build the output must stay finite.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"

namespace {

COMPONENT_ENTRY_NAMED(Morvane_AU, ThreadedMorvaneEntry)

struct CountingView : MorvaneAttachedView {
    void ParameterListener(void*, void*, const AudioUnitParameter*, float) override {
        targets.fetch_add(1, std::memory_order_relaxed);
    }
    void SetVSTParameter(int32_t, float) override { partners.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int> targets{0}, partners{0};
};

TEST(RenderThreaded, ParameterChangesFromAnotherThreadRaceWithNothing) {
    std::string error;
    const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"), 0,
                                    0};
    auto host = HostHarness::OpenEntry(&ThreadedMorvaneEntry, desc, error);
    ASSERT_TRUE(host) << error;
    host->setOffline(false);
    ASSERT_EQ(host->configure(48000.0, 2, 512), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->setTransport({120.0, 0.0}), noErr);
    auto& unit = *static_cast<Morvane_AU*>(GetComponentInstanceStorage(host->unit()));
    MorvaneParameterManager& table = unit.parameterTable();

    for (AudioUnitParameterID id = 0; id < static_cast<AudioUnitParameterID>(kNumPublishedParameters); ++id)
        host->setParameter(id, table.getDefaultValue(static_cast<int32_t>(id)));
    host->setParameter(kLXDestination, 3.0f); // Left X drives the filter type from the render thread
    host->setParameter(kRYDestination, 8.0f); // Right Y the left delay time
    host->setParameter(kLZDestination, 11.0f);
    host->pump();

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::atomic<bool> finite{true};
    std::thread render([&] {
        std::vector<float> inL(512), inR(512), outL(512), outR(512);
        unsigned s = 5;
        while (!stop.load(std::memory_order_relaxed)) {
            for (size_t i = 0; i < inL.size(); ++i) {
                s = s * 1664525u + 1013904223u;
                inL[i] = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
                inR[i] = -inL[i];
            }
            const float* in[2] = {inL.data(), inR.data()};
            float* out[2] = {outL.data(), outR.data()};
            if (host->render(in, out, 512) != noErr) break;
            if (!std::isfinite(outL.back()) || !std::isfinite(outR.back())) finite = false;
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });

    CountingView view;
    unsigned s = 9;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / 16777216.0f;
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int round = 0; std::chrono::steady_clock::now() < end || blocks.load() < 50; ++round) {
        for (AudioUnitParameterID id = 0; id < static_cast<AudioUnitParameterID>(kNumPublishedParameters);
             ++id) {
            if (id == kLXDestination || id == kRYDestination || id == kLZDestination) continue;
            const float lo = table.getMinimumValue(static_cast<int32_t>(id));
            const float hi = table.getMaximumValue(static_cast<int32_t>(id));
            if (next() < 0.3f) host->setParameter(id, lo + next() * (hi - lo));
        }
        host->setParameter(kFilterType, static_cast<float>(static_cast<int>(next() * 6.0f) % 6));
        host->setParameter(kLinkMode, static_cast<float>(round % 3));
        host->setParameter(kMotionMode, static_cast<float>(round % 3));
        host->setParameter(kKinetics, 1.0f);
        host->setParameter(kLeftX, next());
        host->setParameter(kRightY, next());
        table.setNaturalValue(kVelLX, 100.0f * next() - 50.0f);
        table.setNaturalValue(kVelRY, 100.0f * next() - 50.0f);
        host->setParameter(kLeftZ, static_cast<float>(round % 2));
        host->setParameter(kRightZ, static_cast<float>((round + 1) % 2));
        CMotionRecorder& rec = round % 2 ? unit.recorderLeft() : unit.recorderRight();
        if (round % 5 == 0) rec.startRecording();
        rec.recordValues(next(), next());
        if (round % 7 == 0) unit.zeroVelocities();
        if (round % 11 == 0) host->reset();
        unit.setAttachedView(round % 4 == 3 ? nullptr : &view);
        host->pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    render.join();
    unit.setAttachedView(nullptr);

    EXPECT_TRUE(finite.load());
    EXPECT_GE(blocks.load(), 50);
    EXPECT_GT(view.targets.load(), 0);
}

} // namespace

// A stop-drift (the editor's property 80003) from the user-interface thread
// while the render thread's control ticks bounce the pads off their walls.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "dsp/csd_utilities.h"
#include "motion/CMotionRecorder.h"
#include "motion/MorvanePadEngine.h"
#include "params/MorvaneParameterManager.h"

namespace {

struct QuietEffect : MorvanePadHost {
    void padTargetChanged(int32_t, float) override {}
    void announceParameterChange(int32_t, float) override {}
    void showPartnerAxis(int32_t, float) override {}
    bool hostBeatAndTempo(double&, double&) override { return false; }
};

// A bounce reads a velocity and writes back its negative. A stop landing in
// between must win: after it, and two more ticks, every velocity is 0.
TEST(PadDriftThreads, AStopLandingDuringABounceIsNeverLost) {
    csd_set_attr(kCsdAttrSamplingRate, 44100.0f);
    MorvaneParameterManager params;
    CMotionRecorder left, right;
    QuietEffect effect;
    MorvanePadEngine engine(effect, params, left, right);
    engine.initialize();
    params.setNaturalValue(kLinkMode, 0);
    params.setNaturalValue(kMotionMode, 0);
    params.setNaturalValue(kKinetics, 1);

    std::atomic<uint64_t> ticks{0};
    std::atomic<bool> done{false};
    std::thread render([&] {
        while (!done.load(std::memory_order_relaxed)) {
            engine.loadWorkingAxes();
            engine.updatePadMotion();
            ticks.fetch_add(1, std::memory_order_release);
        }
    });
    auto waitTicks = [&](uint64_t n) {
        const uint64_t until = ticks.load(std::memory_order_acquire) + n;
        while (ticks.load(std::memory_order_acquire) < until)
            std::this_thread::yield();
    };

    // Some hundreds of rounds catch a lost stop; the cap in time keeps slow
    // (sanitizer) builds on a busy machine short.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int lost = 0;
    for (int round = 0; round < 3000 && lost == 0 && std::chrono::steady_clock::now() < until; ++round) {
        // A throw so fast that nearly every tick bounces on both axes of both pads.
        for (int i = 0; i < 4; ++i)
            engine.setPadVelocity(i, (i % 2 ? 0.9f : -0.9f) / MorvanePadEngine::kTickSamples);
        waitTicks(1);
        engine.zeroVelocities();
        waitTicks(2);
        for (int i = 0; i < 4; ++i)
            lost += engine.padVelocity(i) != 0.0f;
    }
    done.store(true);
    render.join();
    EXPECT_EQ(lost, 0);
}

} // namespace

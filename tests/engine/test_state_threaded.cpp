// Presets, restores and the drift stop arriving from the host while the render
// thread plays the recordings and moves the pads (run under ThreadSanitizer as
// well): every block stays finite and every call succeeds.
#include "tests/engine/test_state_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(StateWhileRendering, PresetsRestoresAndDriftStopsDoNotDisturbTheRenderThread) {
    BundleHost e(44100.0, 2, 512, false);
    ASSERT_EQ(e.host().setTransport({120.0, 0.0}), noErr);
    ASSERT_EQ(e.host().selectFactoryPreset(27), noErr); // two playing recordings
    e.pump();
    CFHolder saved(e.saveState());

    const auto loop = drumLoop(0.5);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0}, failures{0};
    std::thread render([&] {
        std::vector<float> outL(256), outR(256);
        size_t at = 0;
        while (!stop.load()) {
            if (at + 256 > loop[0].size()) at = 0;
            const float* in[2] = {loop[0].data() + at, loop[1].data() + at};
            float* out[2] = {outL.data(), outR.data()};
            if (e.host().render(in, out, 256) != noErr) failures.fetch_add(1);
            for (size_t i = 0; i < 256; ++i)
                if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) failures.fetch_add(1);
            at += 256;
            blocks.fetch_add(1);
        }
    });

    for (int i = 0; i < 60; ++i) {
        switch (i % 3) {
        case 0:
            EXPECT_EQ(e.host().selectFactoryPreset(i % 33), noErr);
            break;
        case 1:
            EXPECT_EQ(e.host().restoreState(saved.get()), noErr);
            break;
        default:
            EXPECT_EQ(AudioUnitSetProperty(e.unit(), kMorvaneProperty_StopPadDrift, kAudioUnitScope_Global, 0,
                                           nullptr, 0),
                      noErr);
            CFRelease(e.saveState());
            break;
        }
        e.pump();
        const int seen = blocks.load();
        while (blocks.load() < seen + 2)
            std::this_thread::yield(); // let a few blocks through
    }
    stop.store(true);
    render.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(blocks.load(), 100);
}

} // namespace

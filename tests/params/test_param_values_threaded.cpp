// Values written from several threads while the render thread reads DSP
// values: every read is one of the written values, and the normalised and
// natural value of a parameter always end up describing the same setting.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "params/MorvaneParameterManager.h"

namespace {

TEST(ParamValuesThreaded, ConcurrentWritersNeverLeaveTheTwoDomainsDisagreeing) {
    MorvaneParameterManager p;
    std::atomic<bool> stop{false};
    std::atomic<int> badReads{0};

    // Render thread: reads table-backed and plain DSP values continuously.
    std::thread render([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            const float mix = p.getDSPValue(kWetDryMix);
            const bool known = std::fabs(mix - 0.2f) < 1e-6f || std::fabs(mix - 0.8f) < 1e-6f ||
                               std::fabs(mix - 0.5f) < 1e-6f;
            if (!known) badReads.fetch_add(1);
            const float freq = p.getDSPValue(kFilterFreq);
            if (!(freq >= 40.0f && freq <= 20000.0f)) badReads.fetch_add(1);
            const float gain = p.getDSPValue(kInputGain);
            if (!(gain > 0.0f && gain < 1.5f)) badReads.fetch_add(1);
        }
    });

    // Two host-side writers racing on the same ids, mostly in different domains.
    const auto writer = [&](bool natural) {
        for (int i = 0; i < 20000; ++i) {
            if (natural) {
                p.setNaturalValue(kWetDryMix, 20.0f);
                p.setNaturalValue(kFilterFreq, 100.0f + static_cast<float>(i % 1000));
                p.setVSTvalue(kInputGain, 0.1f); // both writers read the same lookup table
            } else {
                p.setVSTvalue(kWetDryMix, 0.8f);
                p.setVSTvalue(kFilterFreq, static_cast<float>(i % 100) * 0.01f);
                p.setVSTvalue(kInputGain, 0.9f);
            }
        }
    };
    std::vector<std::thread> writers;
    writers.emplace_back(writer, true);
    writers.emplace_back(writer, false);
    for (std::thread& t : writers)
        t.join();
    stop.store(true);
    render.join();

    EXPECT_EQ(badReads.load(), 0);
    EXPECT_FLOAT_EQ(p.getNaturalValue(kWetDryMix), 100.0f * p.getVSTvalue(kWetDryMix));
    EXPECT_NEAR(p.VSTvalueFromNaturalValue(kFilterFreq, p.getNaturalValue(kFilterFreq)),
                p.getVSTvalue(kFilterFreq), 1e-3);
    EXPECT_NEAR(p.VSTvalueFromNaturalValue(kInputGain, p.getNaturalValue(kInputGain)),
                p.getVSTvalue(kInputGain), 1e-3);
}

} // namespace

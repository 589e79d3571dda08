// Factory preset levels as a user meets them: the demo loop of `morvane demo`
// (16 s at 120 BPM) through every preset, with the effect's 5 s tail, measured
// with libebur128 (integrated loudness, sample peak). A louder preset always
// seems better in a browser, and one that clips a host's fixed-point output is
// broken, so the presets we designed sit within 3 LU of the dry loop and never
// pass 0 dBFS on it. Rows 0, 10 and 28 to 32 are as given and only measured.
// MORVANE_LEVELS=1 prints the table.
#include <ebur128.h>

#include <cstdio>
#include <cstdlib>

#include "host/cli/DemoLoop.h"
#include "params/factory_presets.h"
#include "tests/engine/test_state_support.h"

namespace {

struct Level {
    double lufs;
    double peakDb;
};

Level measure(const std::vector<std::vector<float>>& x) {
    const size_t n = x[0].size();
    std::vector<float> interleaved(2 * n);
    float peak = 0.0f;
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < 2; ++c) {
            interleaved[2 * i + c] = x[c][i];
            peak = std::max(peak, std::fabs(x[c][i]));
        }
    ebur128_state* meter = ebur128_init(2, morvane_cli::DemoLoop::kSampleRate, EBUR128_MODE_I);
    EXPECT_NE(meter, nullptr);
    if (meter == nullptr) return {NAN, NAN};
    ebur128_add_frames_float(meter, interleaved.data(), n);
    double lufs = NAN;
    ebur128_loudness_global(meter, &lufs);
    ebur128_destroy(&meter);
    return {lufs, 20.0 * std::log10(std::max(peak, 1e-12f))};
}

bool designed(int row) {
    return row != 0 && row != 10 && row < 28;
}

TEST(FactoryPresetLevels, DesignedRowsSitWithin3LuOfTheDryDemoLoopAndNeverClip) {
    // A measurement of 33 renders of 21 s: it runs in the optimised builds
    // (Release in CI); the debug and sanitizer builds leave it out.
#if !defined(__OPTIMIZE__) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "runs in optimised builds only";
#endif
    const morvane_cli::DemoLoop loop = morvane_cli::synthesiseDemoLoop();
    const std::vector<std::vector<float>> dry = {loop.left, loop.right};
    const Level reference = measure(dry);
    // The loop followed by the effect's tail time of silence.
    auto in = dry;
    for (auto& ch : in)
        ch.resize(ch.size() + 5 * morvane_cli::DemoLoop::kSampleRate, 0.0f);

    const bool print = std::getenv("MORVANE_LEVELS") != nullptr;
    if (print) std::printf("dry loop  %7.2f LUFS  peak %6.2f dBFS\n", reference.lufs, reference.peakDb);
    for (int row = 0; row < kFactoryPresetCount; ++row) {
        BundleHost host(morvane_cli::DemoLoop::kSampleRate);
        ASSERT_EQ(host.host().setTransport({morvane_cli::DemoLoop::kTempo, 0.0}), noErr);
        ASSERT_EQ(host.host().selectFactoryPreset(row), noErr);
        host.pump();
        const Level wet = measure(host.render(in));
        if (print)
            std::printf("%2d %-22s %7.2f LUFS (%+5.1f LU)  peak %6.2f dBFS\n", row, kPresets[row].name,
                        wet.lufs, wet.lufs - reference.lufs, wet.peakDb);
        ASSERT_TRUE(std::isfinite(wet.lufs) && std::isfinite(wet.peakDb)) << "preset " << row;
        if (!designed(row)) continue;
        EXPECT_NEAR(wet.lufs, reference.lufs, 3.0) << "preset " << row << " " << kPresets[row].name;
        EXPECT_LE(wet.peakDb, 0.0) << "preset " << row << " " << kPresets[row].name;
    }
}

} // namespace

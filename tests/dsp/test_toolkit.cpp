// Sampling-rate globals, lag smoother, lookup tables and the rate reducer,
// checked against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/csd_utilities.h"
#include "dsp/filter_downsample.h"
#include "dsp/mod_lag.h"
#include "dsp/table.h"

namespace {

struct RateGuard {
    RateGuard() { csd_set_attr(kCsdAttrSamplingRate, 44100.0f); }
    ~RateGuard() { csd_set_attr(kCsdAttrSamplingRate, 44100.0f); }
};

TEST(SamplingRate, SetsAllFourGlobalsAndIgnoresOtherIds) {
    RateGuard guard;
    csd_set_attr(kCsdAttrSamplingRate, 48000.0f);
    EXPECT_FLOAT_EQ(csd_sampling_rate(), 48000.0f);
    EXPECT_FLOAT_EQ(csd_sampling_rate_reciprocal(), 1.0f / 48000.0f);
    EXPECT_FLOAT_EQ(csd_samples_per_millisecond(), 48.0f);
    EXPECT_FLOAT_EQ(csd_milliseconds_per_sample(), 1.0f / 48000.0f / 1000.0f);
    for (int id : {-99, 0, 200, 500})
        csd_set_attr(id, 96000.0f);
    EXPECT_FLOAT_EQ(csd_sampling_rate(), 48000.0f);
    EXPECT_FLOAT_EQ(csd_samples_per_millisecond(), 48.0f);
}

TEST(Memory, AllocZeroFillsAndDecibelsConvert) {
    auto* p = static_cast<unsigned char*>(csd_mem_alloc(64));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(p[i], 0);
    csd_mem_free(p);
    EXPECT_FLOAT_EQ(csd_utilities_decibels2amplitude(0.0f), 1.0f);
    EXPECT_NEAR(csd_utilities_decibels2amplitude(-6.0f), 0.501187f, 1e-6);
    EXPECT_NEAR(csd_utilities_decibels2amplitude(20.0f), 10.0f, 1e-5);
}

TEST(ModLag, SymmetricStepCoversTheExpectedFraction) {
    RateGuard guard;
    mod_lag lag;
    mod_lag_init(&lag);
    mod_lag_set_attr(&lag, kCsdAttrLagRise, 0.015f);
    const double expected = 1.0 - std::exp(-1.0 / 661.5);
    EXPECT_NEAR(mod_lag_dsp_symmetric(&lag, 1.0f), expected, 1e-6);
    // After T seconds of steps the output has covered 1 - 1/e.
    for (int i = 1; i < 661; ++i)
        mod_lag_dsp_symmetric(&lag, 1.0f);
    EXPECT_NEAR(mod_lag_get_output(&lag), 1.0 - std::exp(-661.0 / 661.5), 1e-4);
}

TEST(ModLag, NoInputDecayReachesExactZero) {
    RateGuard guard;
    mod_lag lag;
    mod_lag_init(&lag);
    lag.output = 1.0f;
    mod_lag_set_attr(&lag, kCsdAttrLagTarget, 0.0f);
    int steps = 0;
    while (mod_lag_dsp_symmetric_no_input(&lag) != 0.0f && steps < 100000)
        ++steps;
    EXPECT_LT(steps, 100000);
    EXPECT_EQ(mod_lag_get_output(&lag), 0.0f);
    EXPECT_EQ(std::fpclassify(mod_lag_get_output(&lag)), FP_ZERO);
}

TEST(Table, ExponentialCurveAndItsInverse) {
    table t;
    table_init(&t, 1024);
    table_fill(&t, kTableCurveExponential, 40.0f, 20000.0f);
    EXPECT_FLOAT_EQ(t.data[0], 40.0f);
    EXPECT_NEAR(t.data[1023], 20000.0f, 0.05f);
    EXPECT_NEAR(table_lookup(&t, 0.5f), 894.4f, 1.5f); // geometric mean of 40 and 20000
    EXPECT_EQ(table_lookup(&t, 1.0f), t.data[1023]);   // the guard point repeats the last
    EXPECT_NEAR(table_inverse_calculate(kTableCurveExponential, 894.427f, 40.0f, 20000.0f), 0.5f, 1e-5);
    EXPECT_FLOAT_EQ(table_inverse_calculate(999, 1.0f, 0.0f, 1.0f), 999.9f);
    table_free(&t);
}

TEST(Table, DecibelCurvePinsBothEnds) {
    table t;
    table_init(&t, 1024);
    table_fill(&t, kTableCurveDecibel, -96.0f, 12.0f);
    EXPECT_FLOAT_EQ(t.data[0], -96.0f);
    EXPECT_FLOAT_EQ(t.data[1023], 12.0f);
    // Point 512: t = 512/1023.
    const double t512 = 512.0 / 1023.0;
    EXPECT_NEAR(t.data[512], 12.0 - 0.25 + 44.0 * std::log10(t512 + 0.0131), 1e-4);
    EXPECT_NEAR(table_inverse_calculate(kTableCurveDecibel, t.data[512], -96.0f, 12.0f), t512, 1e-5);
    table_free(&t);
}

TEST(Table, EqualPowerWidthPair) {
    table a, b;
    table_init(&a, 1024);
    table_init(&b, 1024);
    table_fill(&a, kTableCurveWidthA, 0.0f, 0.0f);
    table_fill(&b, kTableCurveWidthB, 0.0f, 0.0f);
    EXPECT_NEAR(table_lookup(&a, 0.0f), 1.0f, 1e-6);
    EXPECT_NEAR(table_lookup(&b, 0.0f), 0.0f, 1e-6);
    EXPECT_NEAR(table_lookup(&a, 1.0f), 0.0f, 1e-6);
    EXPECT_NEAR(table_lookup(&b, 1.0f), 1.0f, 1e-6);
    EXPECT_NEAR(table_lookup(&b, 0.5f), 0.70710678f, 2e-6);
    // Equal power at every point.
    for (int i = 0; i < 1024; ++i)
        EXPECT_NEAR(a.data[i] * a.data[i] + b.data[i] * b.data[i], 1.0f, 1e-5);
    table_free(&a);
    table_free(&b);
}

std::vector<int> holdLengths(float ratio, int samples) {
    filter_downsample r;
    filter_downsample_init(&r);
    filter_downsample_set_attr(&r, kCsdAttrDownsampleRatio, ratio);
    std::vector<int> lengths;
    float last = -1.0f;
    int run = 0;
    for (int i = 1; i <= samples; ++i) {
        const float out = filter_downsample_dsp(&r, static_cast<float>(i));
        if (out != last && last > 0.0f) {
            lengths.push_back(run);
            run = 0;
        }
        if (out > 0.0f) ++run;
        last = out;
    }
    return lengths;
}

TEST(FilterDownsample, HoldLengthsFollowTheRatio) {
    filter_downsample r;
    filter_downsample_init(&r);
    for (float x : {0.25f, -0.5f, 0.75f})
        EXPECT_EQ(filter_downsample_dsp(&r, x), x); // ratio 1 passes

    auto half = holdLengths(0.5f, 40);
    for (int len : half)
        EXPECT_EQ(len, 2);

    auto twoFifths = holdLengths(0.4f, 200);
    ASSERT_GT(twoFifths.size(), 10u);
    for (int len : twoFifths)
        EXPECT_TRUE(len == 2 || len == 3) << len;
    int total = 0;
    for (int len : twoFifths)
        total += len;
    EXPECT_NEAR(static_cast<double>(total) / twoFifths.size(), 2.5, 0.1);

    auto thousand = holdLengths(0.001f, 5000);
    ASSERT_GE(thousand.size(), 3u);
    for (int len : thousand)
        EXPECT_NEAR(len, 1000, 1);
}

TEST(FilterDownsample, NewRatioRestartsThePhase) {
    filter_downsample r;
    filter_downsample_init(&r);
    filter_downsample_set_attr(&r, kCsdAttrDownsampleRatio, 0.25f);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(filter_downsample_dsp(&r, static_cast<float>(i)), 0.0f);
    EXPECT_EQ(filter_downsample_dsp(&r, 4.0f), 4.0f); // taken on call ceil(1 / 0.25) = 4
}

} // namespace

// Delay line and damping filter against hand-derived timings and the analytic
// bilinear Butterworth response.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/csd_utilities.h"
#include "dsp/delay_fad.h"
#include "dsp/filter_butterworth_2P_LP.h"

namespace {

struct Rate {
    explicit Rate(float sr) { csd_set_attr(kCsdAttrSamplingRate, sr); }
    ~Rate() { csd_set_attr(kCsdAttrSamplingRate, 44100.0f); }
};

struct Line {
    delay_fad d;
    explicit Line(uint32_t maxMs) { delay_fad_init_max_time(&d, maxMs); }
    ~Line() { delay_fad_free(&d); }
};

// Index of the outputs that differ from 0 after a unit impulse.
std::vector<int> impulseOutputs(delay_fad* d, int samples, std::vector<float>* values) {
    std::vector<int> at;
    for (int n = 0; n < samples; ++n) {
        const float y = delay_fad_dsp(d, n == 0 ? 1.0f : 0.0f);
        if (y != 0.0f) {
            at.push_back(n);
            values->push_back(y);
        }
    }
    return at;
}

TEST(DelayLine, SizedFromMaximumTimeAndRate) {
    Rate rate(44100.0f);
    Line line(2010);
    EXPECT_EQ(line.d.size, 88641u);
    EXPECT_EQ(line.d.length, 22050);
    EXPECT_FLOAT_EQ(line.d.time, 0.5f);
    Rate faster(48000.0f);
    Line other(2010);
    EXPECT_EQ(other.d.size, 96480u);
    EXPECT_EQ(other.d.length, 24000);
}

// Each slot holds the mean of two successive inputs, read length - 2 calls later.
class DelayImpulse : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(DelayImpulse, EmergesAsTwoHalvesLengthMinusTwoLater) {
    Rate rate(44100.0f);
    Line line(2010);
    const auto [ms, length] = GetParam();
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, ms);
    delay_fad_clear(&line.d);
    std::vector<float> values;
    EXPECT_EQ(impulseOutputs(&line.d, length + 50, &values), (std::vector<int>{length - 2, length - 1}));
    EXPECT_EQ(values, (std::vector<float>{0.5f, 0.5f}));
}

// 4 ms = 176.4 samples, 123.4 ms = 5441.9, 2000 ms = 88200 exactly.
INSTANTIATE_TEST_SUITE_P(Lengths, DelayImpulse,
                         ::testing::Values(std::pair{4.0f, 176}, std::pair{123.4f, 5441},
                                           std::pair{2000.0f, 88200}));

// With a ramp x[n] = n as input, the output slope is the read-head speed and the
// steady output is n - length + 1.5.
TEST(DelayLine, JumpRepositionsOnlyWhenTheWholeSampleLengthChanges) {
    Rate rate(1000.0f);
    Line line(2010);
    int n = 0;
    auto run = [&](int samples) {
        float y = 0.0f;
        for (int i = 0; i < samples; ++i, ++n)
            y = delay_fad_dsp(&line.d, static_cast<float>(n));
        return y;
    };
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 500.0f);
    EXPECT_EQ(run(800), 799.0f - 500.0f + 1.5f);
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 600.0f);
    EXPECT_EQ(run(1), 800.0f - 600.0f + 1.5f);
    const float readPos = line.d.readPos;
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 600.0f);
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 600.4f);
    EXPECT_EQ(line.d.jumpPending, 0);
    EXPECT_EQ(run(1), 801.0f - 600.0f + 1.5f);
    EXPECT_EQ(line.d.readPos, readPos + 1.0f);
}

TEST(DelayLine, GlideChangesReadSpeedWithoutDiscontinuity) {
    Rate rate(1000.0f);
    Line line(2010);
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeGlide, 500.0f);
    int n = 0;
    float previous = 0.0f;
    for (; n < 800; ++n)
        previous = delay_fad_dsp(&line.d, static_cast<float>(n));

    // Lengthening: the first step is 500 / 600 of a slot, then the speed climbs
    // back to 1 as the distance grows; the output never jumps.
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeGlide, 600.0f);
    float slowest = 1.0f;
    for (int i = 0; i < 4000; ++i, ++n) {
        const float y = delay_fad_dsp(&line.d, static_cast<float>(n));
        const float speed = y - previous;
        if (i == 0) {
            EXPECT_NEAR(speed, 500.0f / 600.0f, 2e-3);
        }
        ASSERT_GE(speed, 500.0f / 600.0f - 2e-3f) << i;
        ASSERT_LE(speed, 1.0f + 1e-3f) << i;
        slowest = std::fmin(slowest, speed);
        previous = y;
    }
    EXPECT_LT(slowest, 0.9f);
    // Settled within a sample of the new delay, at unit speed.
    EXPECT_NEAR(previous, (n - 1) - 600 + 1.5f, 1.0f);
    EXPECT_NEAR(delay_fad_dsp(&line.d, static_cast<float>(n)) - previous, 1.0f, 1e-3);

    // Shortening: the read head runs faster than 1 (the first step is 600 / 300).
    ++n;
    previous = delay_fad_get_output(&line.d);
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeGlide, 300.0f);
    EXPECT_NEAR(delay_fad_dsp(&line.d, static_cast<float>(n)) - previous, 2.0f, 1e-2);
}

TEST(DelayLine, SamplingRateUpdateResizesAndRestarts) {
    Rate rate(44100.0f);
    Line line(2010);
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 1000.0f);
    for (int n = 0; n < 50000; ++n)
        delay_fad_dsp(&line.d, 1.0f);
    const float* buffer = line.d.buffer;
    delay_fad_update_sampling_rate(&line.d); // same rate: nothing happens
    EXPECT_EQ(line.d.buffer, buffer);
    EXPECT_EQ(line.d.length, 44100);

    Rate faster(48000.0f);
    delay_fad_update_sampling_rate(&line.d);
    EXPECT_EQ(line.d.size, 96480u);
    EXPECT_EQ(line.d.length, 48000);
    std::vector<float> values;
    EXPECT_EQ(impulseOutputs(&line.d, 48100, &values), (std::vector<int>{47998, 47999}));
}

// Times beyond the buffer, zero, negative or NaN must keep both heads inside it
// (the address sanitizer build checks every access).
TEST(DelayLine, OutOfRangeTimesStayInsideTheBuffer) {
    Rate rate(1000.0f);
    Line line(100);
    for (int id : {kCsdAttrDelayTimeGlide, kCsdAttrDelayTimeJump}) {
        for (float ms : {5000.0f, 0.0f, -20.0f, NAN, 100.0f, 0.5f, 1e30f}) {
            delay_fad_set_attr(&line.d, id, ms);
            EXPECT_GE(line.d.length, 1);
            EXPECT_LE(line.d.length, 98);
            for (int n = 0; n < 300; ++n)
                ASSERT_TRUE(std::isfinite(delay_fad_dsp(&line.d, 1.0f)));
        }
    }
    delay_fad_set_attr(&line.d, kCsdAttrDelayTimeJump, 5000.0f);
    delay_fad_clear(&line.d);
    std::vector<float> values;
    EXPECT_EQ(impulseOutputs(&line.d, 200, &values), (std::vector<int>{96, 97}));

    Rate silent(0.0f); // no slots at all: silence, not a crash
    Line empty(2010);
    EXPECT_EQ(empty.d.buffer, nullptr);
    EXPECT_EQ(delay_fad_dsp(&empty.d, 1.0f), 0.0f);
}

// |H(f)|^2 of the bilinear two-pole Butterworth: 1 / (1 + (tan(pi f / fs) / tan(pi fc / fs))^4).
double analyticGain(double f, double fc, double fs) {
    const double ratio = std::tan(std::numbers::pi * f / fs) / std::tan(std::numbers::pi * fc / fs);
    return 1.0 / std::sqrt(1.0 + std::pow(ratio, 4));
}

// Amplitude of the steady response to a sine, over one second (whole cycles).
double measuredGain(filter_butterworth_2P_LP* f, double freq, int fs) {
    for (int n = 0; n < fs; ++n)
        filter_butterworth_2P_LP_dsp(f, static_cast<float>(std::sin(2 * std::numbers::pi * freq * n / fs)));
    double s = 0, c = 0;
    for (int n = 0; n < fs; ++n) {
        const double w = 2 * std::numbers::pi * freq * n / fs;
        const double y = filter_butterworth_2P_LP_dsp(f, static_cast<float>(std::sin(w)));
        s += y * std::sin(w);
        c += y * std::cos(w);
    }
    return 2.0 * std::hypot(s, c) / fs;
}

TEST(DampingFilter, MatchesTheAnalyticResponse) {
    for (auto [fs, fc] : {std::pair{44100, 12000.0}, std::pair{48000, 400.0}}) {
        Rate rate(static_cast<float>(fs));
        filter_butterworth_2P_LP f;
        filter_butterworth_2P_LP_init(&f);
        filter_butterworth_2P_LP_set_attr(&f, kCsdAttrDampingCutoff, static_cast<float>(fc));
        for (double freq : {fc / 10, fc / 2, fc, fc * 1.5}) {
            filter_butterworth_2P_LP_clear(&f);
            EXPECT_NEAR(measuredGain(&f, freq, fs), analyticGain(freq, fc, fs), 1e-4) << fs << " " << freq;
        }
        filter_butterworth_2P_LP_clear(&f);
        float y = 0;
        for (int n = 0; n < 4000; ++n)
            y = filter_butterworth_2P_LP_dsp(&f, 1.0f);
        EXPECT_NEAR(y, 1.0f, 1e-4); // unity at DC, within the float coefficients' rounding
        for (int n = 0; n < 4000; ++n)
            y = filter_butterworth_2P_LP_dsp(&f, n % 2 ? 1.0f : -1.0f);
        EXPECT_NEAR(y, 0.0f, 1e-5); // zero at Nyquist
    }
    EXPECT_NEAR(analyticGain(12000, 12000, 44100), std::sqrt(0.5), 1e-12); // -3.01 dB at the cut-off
}

TEST(DampingFilter, DecaysToExactZeroWithoutDenormals) {
    Rate rate(44100.0f);
    filter_butterworth_2P_LP f;
    filter_butterworth_2P_LP_init(&f);
    filter_butterworth_2P_LP_set_attr(&f, kCsdAttrDampingCutoff, 400.0f);
    // The ringing tail crosses zero, so wait for a run of zeros, not the first one.
    filter_butterworth_2P_LP_dsp(&f, 1.0f);
    int n = 0, zeros = 0;
    for (; n < 200000 && zeros < 100; ++n) {
        const float y = filter_butterworth_2P_LP_dsp(&f, 0.0f);
        ASSERT_NE(std::fpclassify(y), FP_SUBNORMAL) << n;
        zeros = y == 0.0f ? zeros + 1 : 0;
    }
    EXPECT_LT(n, 200000);
    EXPECT_EQ(f.y1, 0.0f);
    EXPECT_EQ(f.y2, 0.0f);
}

// Cut-offs the coefficients cannot represent stay stable, and a non-finite value
// in a feedback loop is flushed instead of circulating for ever.
TEST(DampingFilter, StaysStableAndRecoversFromNonFiniteValues) {
    Rate rate(22050.0f);
    filter_butterworth_2P_LP f;
    filter_butterworth_2P_LP_init(&f);
    for (float fc : {12000.0f, 11025.0f, 0.0f, -5.0f, NAN}) {
        filter_butterworth_2P_LP_set_attr(&f, kCsdAttrDampingCutoff, fc);
        filter_butterworth_2P_LP_clear(&f);
        float peak = 0.0f;
        for (int n = 0; n < 20000; ++n)
            peak = std::fmax(peak, std::fabs(filter_butterworth_2P_LP_dsp(&f, n ? 0.0f : 1.0f)));
        EXPECT_LT(peak, 2.0f) << fc;
    }
    filter_butterworth_2P_LP_set_attr(&f, kCsdAttrDampingCutoff, 1000.0f);
    EXPECT_EQ(filter_butterworth_2P_LP_dsp(&f, INFINITY), 0.0f);
    EXPECT_EQ(filter_butterworth_2P_LP_dsp(&f, NAN), 0.0f);
    float y = 0.0f;
    for (int n = 0; n < 2000; ++n)
        y = filter_butterworth_2P_LP_dsp(&f, 0.25f);
    EXPECT_NEAR(y, 0.25f, 1e-5);
}

} // namespace

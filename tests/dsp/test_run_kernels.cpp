// The render chain's fast paths against the plain per-sample routines they
// stand in for: the same bits, sample for sample, while the delay time glides
// and jumps and the cut-off moves on every sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dsp/delay_fad.h"
#include "dsp/kosp_filter_creakbox.h"
#include "dsp/kosp_filter_ko_moog.h"

namespace {

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<float> noise(size_t n, unsigned seed) {
    std::vector<float> v(n);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = 0.5f * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
    }
    return v;
}

// A short line (it wraps often) run in pieces, each in stretches read ahead
// and written behind, against the routine call by call, with the time changed
// between pieces: gliding (500) lengthens and shortens the distance, jumping
// (514) repositions the read head. The pieces ask for up to 128 frames, more
// than the shortest times allow to be read ahead, and a second line with
// other times, given the same inputs, is read in step with it, as the render
// chain reads its two lines.
TEST(RunKernels, DelayStretchesEqualTheRoutineThroughGlidesJumpsAndWraps) {
    delay_fad plain{}, fast{}, partner{};
    for (delay_fad* d : {&plain, &fast, &partner})
        delay_fad_init(d, 700);
    const float times[] = {3.0f, 9.5f, 2.0f, 0.1f, 14.0f, 14.0f, 6.3f, 1.0f};
    const auto in = noise(20000, 3);
    size_t i = 0, stretches = 0;
    for (int piece = 0; i < in.size(); ++piece) {
        const int attribute = piece % 3 == 2 ? kCsdAttrDelayTimeJump : kCsdAttrDelayTimeGlide;
        delay_fad_set_attr(&plain, attribute, times[piece % 8]);
        delay_fad_set_attr(&fast, attribute, times[piece % 8]);
        delay_fad_set_attr(&partner, attribute, times[(piece + 3) % 8]);
        const size_t end = std::min(in.size(), i + 37 + piece * 13 % 300);
        delay_fad_run run(fast), other(partner);
        while (i < end) {
            float out[128], ignored[128];
            const uint32_t frames = static_cast<uint32_t>(std::min<size_t>(end - i, 128));
            const uint32_t n = piece % 2 ? delay_fad_run::readAhead(run, out, other, ignored, frames)
                                         : delay_fad_run::readAhead(other, ignored, run, out, frames);
            for (uint32_t k = 0; k < n; ++k)
                ASSERT_TRUE(sameBits(delay_fad_dsp(&plain, in[i + k]), out[k])) << "sample " << i + k;
            run.writeBehind(&in[i], n);
            other.writeBehind(&in[i], n);
            i += n;
            ++stretches;
        }
    }
    EXPECT_LT(stretches, in.size() / 4); // most stretches are long
    EXPECT_EQ(plain.readPos, fast.readPos);
    EXPECT_EQ(plain.writePos, fast.writePos);
    EXPECT_EQ(plain.lastIndex, fast.lastIndex);
    EXPECT_EQ(plain.jumpPending, fast.jumpPending);
    EXPECT_TRUE(sameBits(plain.output, fast.output));
    for (delay_fad* d : {&plain, &fast, &partner})
        delay_fad_free(d);
}

// Two ladders called left then right, against a pair and a single run: the
// cut-off moves on every sample, the resonance changes between runs.
TEST(RunKernels, LadderPairAndSingleEqualTheFiltersCallForCall) {
    kosp_filter_ko_moog left, right, pairLeft, pairRight, alone, single;
    const auto l = noise(4096, 5), r = noise(4096, 7);
    float hz = 200.0f;
    for (size_t start = 0; start < l.size(); start += 128) {
        const float resonance = static_cast<float>(start % 1024) / 1024.0f;
        for (kosp_filter* f : {&left, &right, &pairLeft, &pairRight, &alone, &single})
            f->setResonanceNormalized(resonance);
        ASSERT_TRUE(kosp_ko_moog_pair::canPair(pairLeft, pairRight));
        std::vector<float> expectL, expectR, expectMono;
        const float from = hz;
        for (size_t i = start; i < start + 128; ++i, hz *= 1.003f) {
            left.setFrequency(hz);
            right.setFrequency(hz);
            expectL.push_back(left.process(l[i]));
            expectR.push_back(right.process(r[i]));
        }
        hz = from;
        {
            kosp_ko_moog_pair pair(pairLeft, pairRight);
            for (size_t i = start; i < start + 128; ++i, hz *= 1.003f) {
                pair.setFrequency(hz);
                const FloatPair y = pair.process(FloatPair::of(l[i], r[i]));
                ASSERT_TRUE(sameBits(y.left(), expectL[i - start])) << "left " << i;
                ASSERT_TRUE(sameBits(y.right(), expectR[i - start])) << "right " << i;
            }
        }
        hz = from;
        for (size_t i = start; i < start + 128; ++i, hz *= 1.003f) {
            alone.setFrequency(hz);
            expectMono.push_back(alone.process(l[i]));
        }
        hz = from;
        kosp_ko_moog_single run(single);
        for (size_t i = start; i < start + 128; ++i, hz *= 1.003f) {
            run.setFrequency(hz);
            ASSERT_TRUE(sameBits(run.process(l[i]), expectMono[i - start])) << "single " << i;
        }
    }
}

// The 3-pole pair shares one warp per sample and keeps it while the clamped
// cut-off stands still (here below 0.01 of the rate, and then moving).
TEST(RunKernels, ThreePolePairEqualsTheFiltersCallForCall) {
    kosp_filter_creakbox left, right, pairLeft, pairRight;
    for (kosp_filter* f : {&left, &right, &pairLeft, &pairRight})
        f->setResonance(0.8f);
    auto l = noise(3000, 11), r = noise(3000, 13);
    std::fill(l.begin(), l.begin() + 100, 0.0f); // the left one starts at rest
    kosp_creakbox_pair pair(pairLeft, pairRight);
    float hz = 100.0f;
    for (size_t i = 0; i < l.size(); ++i, hz = i < 1000 ? hz : hz * 1.001f) {
        left.setFrequency(hz);
        right.setFrequency(hz);
        const float expectL = left.process(l[i]);
        const float expectR = right.process(r[i]);
        pair.setFrequency(hz);
        const FloatPair y = pair.process(FloatPair::of(l[i], r[i]));
        ASSERT_TRUE(sameBits(y.left(), expectL)) << "left " << i;
        ASSERT_TRUE(sameBits(y.right(), expectR)) << "right " << i;
    }
}

// The one approximation on the render path: a cut-off on the move takes the
// warp from the interpolated table instead of the four sines. Its error, and
// what that error does to the sound at the highest resonance, over the whole
// clamped range and a 40 Hz..20 kHz sweep of full-scale noise, against the
// kernel with the sines on every sample.
struct SweptThreePole : kosp_filter_creakbox {
    float rateReciprocal() const { return samplingRateReciprocal; }
};

TEST(RunKernels, ThreePoleWarpOnTheMoveStaysBelowMinus120dB) {
    double worstWarp = 0.0;
    for (int i = 0; i <= 200000; ++i) {
        const float a = 0.01f + (0.7f - 0.01f) * static_cast<float>(i) / 200000.0f;
        const long double exact = IIR_lp3pole_warp(IIR_lp3pole_cutoff(a));
        const long double table = IIR_lp3pole_warp_moving(IIR_lp3pole_cutoff_float(a));
        worstWarp = std::max(worstWarp, static_cast<double>(std::fabs(exact - table)));
    }
    EXPECT_LT(worstWarp, 3e-12);

    SweptThreePole filter;
    filter.setAudioSamplingRate(48000.0f);
    filter.setResonanceNormalized(1.0f);
    tbiquad exact{};
    IIR_resetIIR(&exact);
    const size_t n = 10 * 48000;
    const auto in = noise(n, 17);
    double worst = 0.0, peak = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const float hz = 40.0f * std::pow(500.0f, static_cast<float>(i) / static_cast<float>(n));
        const float x = 2.0f * in[i]; // +-0.5 from noise(): full scale
        filter.setFrequency(hz);
        const float y = filter.process(x);
        const float reference = static_cast<float>(
            IIR_IIRlp3pole(&exact, hz * filter.rateReciprocal(), filter.getResonance(), x, hz));
        worst = std::max(worst, static_cast<double>(std::fabs(y - reference)));
        peak = std::max(peak, static_cast<double>(std::fabs(reference)));
    }
    EXPECT_GT(peak, 0.1); // the filter passes the signal through the whole sweep
    EXPECT_LT(worst, 1e-6) << "-120 dBFS";
    std::printf("largest difference from the sines: %.3g (%.1f dBFS); warp within %.3g\n", worst,
                20.0 * std::log10(std::max(worst, 1e-30)), worstWarp);
}

} // namespace

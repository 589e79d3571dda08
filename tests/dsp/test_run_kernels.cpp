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

// The kernel the filters stand in for, stage by stage in extended precision,
// with the four nested sines (each in double) on every sample.
struct ExtendedThreePole {
    long double s0 = 0.0L, s1 = 0.0L;
    long double process(float cutoff, float resonance, float input, float hz) {
        const long double a = std::clamp(cutoff, 0.01f, 0.7f), b = std::clamp(resonance, 0.0f, 1.0f);
        constexpr long double kHalfPi = 1.5707963267948966f;
        long double g = a;
        for (int i = 0; i < 4; ++i)
            g = std::sin(static_cast<double>(kHalfPi * g));
        const long double d = hz / 44100.0f;
        long double loop = (b * (0.965f - 0.975f * d) + g * (0.023f + 0.42f * d)) * 1.01f;
        if (a < 0.05f) loop = loop * (a / 0.05f * 0.1f + 0.9f);
        const long double k = 1.0f - loop;
        const long double y1 = s1 + a * (input - k * s1 - s0);
        const long double y2 = y1 - a * k * y1;
        const long double y3 = y2 - a * k * y2;
        const long double y4 = y3 - a * k * y3;
        const long double y5 = y4 - a * k * y4;
        s0 = s0 + a * y1 + a * y2 + a * y3 + a * y4 + a * y5;
        s1 = y5;
        return s0;
    }
};

struct RatedThreePole : kosp_filter_creakbox {
    float rateReciprocal() const { return samplingRateReciprocal; }
};

// The filter computes in double with its stages folded, and takes the warp of
// a cut-off on the move from a table: a channel on its own and a stereo pair
// against the extended kernel, over full-scale noise at the highest
// resonance, with the cut-off swept 40 Hz..20 kHz, gliding 100 Hz..10 kHz as
// the chain's swept filter does, and standing still, at three rates. The
// largest difference stays far below -120 dBFS.
TEST(RunKernels, ThreePoleStaysWithinMinus120dBOfTheExtendedKernel) {
    double worstWarp = 0.0;
    for (int i = 0; i <= 200000; ++i) {
        const float a = 0.01f + (0.7f - 0.01f) * static_cast<float>(i) / 200000.0f;
        worstWarp = std::max(worstWarp, std::fabs(IIR_lp3pole_warp(a) - IIR_lp3pole_warp_moving(a)));
    }
    EXPECT_LT(worstWarp, 3e-12);

    enum Cutoff { kSweep, kGlide, kStill };
    double worst = 0.0;
    for (const Cutoff path : {kSweep, kGlide, kStill}) {
        for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
            RatedThreePole alone, left, right;
            for (kosp_filter* f : {static_cast<kosp_filter*>(&alone), static_cast<kosp_filter*>(&left),
                                   static_cast<kosp_filter*>(&right)}) {
                f->setAudioSamplingRate(rate);
                f->setResonanceNormalized(1.0f);
            }
            ExtendedThreePole exactAlone, exactLeft, exactRight;
            const size_t n = static_cast<size_t>(3 * rate);
            const auto l = noise(n, 17), r = noise(n, 19);
            double peak = 0.0, difference = 0.0;
            float hz = 100.0f;
            for (size_t start = 0; start < n; start += 128) {
                kosp_creakbox_pair pair(left, right);
                for (size_t i = start; i < std::min(n, start + 128); ++i) {
                    if (path == kSweep)
                        hz = 40.0f * std::pow(500.0f, static_cast<float>(i) / static_cast<float>(n));
                    else if (path == kGlide)
                        hz = hz > 10000.0f ? 100.0f : hz * 1.0001f;
                    else
                        hz = 2000.0f;
                    const float xl = 2.0f * l[i], xr = 2.0f * r[i]; // +-0.5 from noise(): full scale
                    const float a = hz * alone.rateReciprocal(), b = alone.getResonance();
                    alone.setFrequency(hz);
                    pair.setFrequency(hz);
                    const FloatPair y = pair.process(FloatPair::of(xl, xr));
                    // Rounded to a float, as the filters round their output.
                    const float expect[] = {static_cast<float>(exactAlone.process(a, b, xl, hz)),
                                            static_cast<float>(exactLeft.process(a, b, xl, hz)),
                                            static_cast<float>(exactRight.process(a, b, xr, hz))};
                    const float got[] = {alone.process(xl), y.left(), y.right()};
                    for (int c = 0; c < 3; ++c) {
                        difference = std::max(difference, static_cast<double>(std::fabs(got[c] - expect[c])));
                        peak = std::max(peak, static_cast<double>(std::fabs(expect[c])));
                    }
                }
            }
            EXPECT_GT(peak, 0.1) << path << " " << rate; // the signal passes all along
            EXPECT_LT(difference, 1e-6) << path << " " << rate << ": -120 dBFS";
            worst = std::max(worst, difference);
        }
    }
    std::printf("largest difference from the extended kernel: %.3g (%.1f dBFS); warp within %.3g\n", worst,
                20.0 * std::log10(std::max(worst, 1e-30)), worstWarp);
}

} // namespace

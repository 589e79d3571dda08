// The render chain's fast paths against the plain per-sample routines they
// stand in for: the same bits, sample for sample, while the delay time glides
// and jumps and the cut-off moves on every sample.
#include <gtest/gtest.h>

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

// A short line (it wraps often) run in pieces of up to 100 samples, with the
// time changed between pieces: gliding (500) lengthens and shortens the
// distance, jumping (514) repositions the read head.
TEST(RunKernels, DelayRunEqualsTheRoutineThroughGlidesJumpsAndWraps) {
    delay_fad plain{}, fast{};
    delay_fad_init(&plain, 700);
    delay_fad_init(&fast, 700);
    const float times[] = {3.0f, 9.5f, 2.0f, 0.1f, 14.0f, 14.0f, 6.3f, 1.0f};
    const auto in = noise(8000, 3);
    size_t i = 0;
    for (int piece = 0; i < in.size(); ++piece) {
        const int attribute = piece % 3 == 2 ? kCsdAttrDelayTimeJump : kCsdAttrDelayTimeGlide;
        delay_fad_set_attr(&plain, attribute, times[piece % 8]);
        delay_fad_set_attr(&fast, attribute, times[piece % 8]);
        const size_t end = std::min(in.size(), i + 37 + piece * 13 % 64);
        delay_fad_run run(fast);
        for (; i < end; ++i)
            ASSERT_TRUE(sameBits(delay_fad_dsp(&plain, in[i]), run.process(in[i]))) << "sample " << i;
    }
    EXPECT_EQ(plain.readPos, fast.readPos);
    EXPECT_EQ(plain.writePos, fast.writePos);
    EXPECT_EQ(plain.lastIndex, fast.lastIndex);
    EXPECT_EQ(plain.jumpPending, fast.jumpPending);
    delay_fad_free(&plain);
    delay_fad_free(&fast);
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

} // namespace

// The render chain through the host harness: control-tick rhythm, delay
// timing under host sync, damping cut-offs, the mono mix, the saturation
// curve in the filter path and the filter-off bypass of the DSP blocks.
#include "tests/engine/engine_test_support.h"

#include <algorithm>

namespace {

constexpr double kRate = 44100.0;

// ---------------------------------------------------------------------------
// Control tick

class TickRhythm : public ::testing::TestWithParam<UInt32> {};

TEST_P(TickRhythm, GainsStepEvery128FramesWhateverTheBlockSize) {
    EngineHost e(kRate, 2, 4096);
    e.set(kFilterOnOff, 0.0f);
    e.set(kDelayOnOff, 0.0f); // dry target exactly 1
    e.set(kInputGain, 0.0f);
    e.set(kOutputGain, 0.0f);
    const auto out = e.renderConstant(1.0f, 3000, GetParam());
    // Ticks at frames 0, 128, 256, ...: frame j has seen k = j / 128 + 1 of them.
    for (size_t j = 0; j < out[0].size(); ++j) {
        const double g = lagAfterTicks(static_cast<int>(j / 128) + 1, 7.8125e-05, kRate);
        ASSERT_NEAR(out[0][j], g * g * g, 2e-6) << "frame " << j;
        if (j % 128 != 0) {
            ASSERT_EQ(out[0][j], out[0][j - 1]) << "frame " << j;
        } else if (j > 0) {
            ASSERT_GT(out[0][j], out[0][j - 1]) << "frame " << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, TickRhythm, ::testing::Values(1u, 13u, 128u, 500u, 4096u));

// ---------------------------------------------------------------------------
// Delay path

// Unity gains, filter off, fully wet, echoes kept on their own side, fixed
// 12 kHz damping, almost no regeneration; Left Delay Time one beat (host
// synced), Right Delay Time half of it.
void setOneBeatEcho(EngineHost& e) {
    e.set(kInputGain, 0.0f);
    e.set(kOutputGain, 0.0f);
    e.set(kFilterOnOff, 0.0f);
    e.set(kDelayOnOff, 1.0f);
    e.set(kWetDryMix, 100.0f);
    e.set(kWidth, 100.0f);
    e.set(kEmulation, 1.0f);
    e.set(kRegeneration, -60.0f);
    e.set(kHostSync, 1.0f);
    e.set(kLeftDelayTime, 8.5f / 15.0f); // note division 8: one beat
    e.set(kRightDelayTime, 2.0f);        // x 1/2
    e.pump();
}

// The textbook bilinear-transform Butterworth low-pass (H(s) = 1 / (s^2 +
// sqrt2 s + 1), s = cot(pi fc / fs) (1 - 1/z) / (1 + 1/z)) in double precision.
std::vector<double> butterworth(const std::vector<double>& x, double fc, double fs) {
    const double k = 1.0 / std::tan(M_PI * fc / fs);
    const double norm = 1.0 / (k * k + std::sqrt(2.0) * k + 1.0);
    const double b0 = norm, b1 = 2.0 * norm, b2 = norm;
    const double a1 = 2.0 * (1.0 - k * k) * norm, a2 = (k * k - std::sqrt(2.0) * k + 1.0) * norm;
    std::vector<double> y(x.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        y[n] = b0 * x[n] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x[n], y2 = y1, y1 = y[n];
    }
    return y;
}

struct SyncCase {
    bool transport;
    double tempo;
    size_t leftLength, rightLength; // samples
};

class HostSyncedEcho : public ::testing::TestWithParam<SyncCase> {};

TEST_P(HostSyncedEcho, ImpulseArrivesOneBeatLaterThroughTheDamping) {
    const SyncCase c = GetParam();
    EngineHost e;
    if (c.transport) e.host().setTransport({c.tempo, 0.0});
    setOneBeatEcho(e);
    e.renderConstant(0.0f, 44100); // gains, mix and delay switch settle

    const size_t impulse = 100;
    auto in = std::vector<std::vector<float>>(2, std::vector<float>(30000, 0.0f));
    in[0][impulse] = in[1][impulse] = 1.0f;
    const auto out = e.render(in);

    // A delay line returns an impulse length - 2 samples later as two halves;
    // the damping shapes it. Gain: wet 0.999939 (equal-power fade at 100 %).
    std::vector<double> pulse(16, 0.0);
    pulse[0] = pulse[1] = 0.5;
    const auto shaped = butterworth(pulse, 12000.0, kRate);
    for (int ch = 0; ch < 2; ++ch) {
        const size_t arrival = impulse + (ch == 0 ? c.leftLength : c.rightLength) - 2;
        for (size_t j = 0; j < arrival; ++j)
            ASSERT_LT(std::fabs(out[ch][j]), 1e-6f) << "channel " << ch << " frame " << j;
        for (size_t m = 0; m < shaped.size(); ++m)
            EXPECT_NEAR(out[ch][arrival + m], 0.999939 * shaped[m], 2e-5) << "channel " << ch << " +" << m;
    }
}

INSTANTIATE_TEST_SUITE_P(Tempi, HostSyncedEcho,
                         ::testing::Values(SyncCase{true, 100.0, 26460, 13230},  // 600 ms per beat
                                           SyncCase{true, 137.5, 19243, 9621},   // 436.36 ms
                                           SyncCase{false, 0.0, 22050, 11025})); // no tempo: 500 ms

TEST(RenderChain, BbdDampingFollowsTheDelayTimesAndDigiStaysAt12k) {
    EngineHost e;
    e.set(kHostSync, 0.0f);
    e.set(kEmulation, 0.0f);
    e.set(kLeftDelayTime, 0.0f);  // 4 ms
    e.set(kRightDelayTime, 5.0f); // x 1
    e.renderConstant(0.0f, 64);
    EXPECT_NEAR(e.effect().dampingCutoff(0), 7984.8f, 1e-2f);
    EXPECT_NEAR(e.effect().dampingCutoff(1), 7984.8f, 1e-2f);

    e.set(kLeftDelayTime, 1.0f);   // 2000 ms
    e.set(kRightDelayTime, 11.0f); // x 2, held at 2000 ms again
    e.renderConstant(0.0f, 64);
    EXPECT_NEAR(e.effect().dampingCutoff(0), 400.0f, 1e-3f);
    EXPECT_NEAR(e.effect().dampingCutoff(1), 400.0f, 1e-3f);

    e.set(kEmulation, 1.0f);
    e.renderConstant(0.0f, 64);
    EXPECT_EQ(e.effect().dampingCutoff(0), 12000.0f);
    EXPECT_EQ(e.effect().dampingCutoff(1), 12000.0f);
    e.set(kLeftDelayTime, 0.3f);
    e.renderConstant(0.0f, 64);
    EXPECT_EQ(e.effect().dampingCutoff(1), 12000.0f);

    // Back to "BBD": the cut-offs follow the delay times from the next block.
    e.set(kEmulation, 0.0f);
    e.renderConstant(0.0f, 64);
    EXPECT_NEAR(e.effect().dampingCutoff(0), 8000.0f - 3.8f * (4.0f + 0.3f * 1996.0f), 1e-2f);
}

// The first echo sample that stands clear of the signal in a mono or stereo
// instance fed the same impulse on every channel, with Width `width` %.
float firstEchoPeak(UInt32 channels, float width) {
    EngineHost e(kRate, channels);
    setOneBeatEcho(e);
    e.set(kRightDelayTime, 5.0f); // both lines one beat
    e.set(kWidth, width);
    e.pump();
    e.renderConstant(0.0f, 44100);
    auto in = std::vector<std::vector<float>>(channels, std::vector<float>(23000, 0.0f));
    for (auto& ch : in)
        ch[10] = 1.0f;
    const auto out = e.render(in);
    return out[0][10 + 22050 - 1];
}

TEST(RenderChain, MonoMixesBothDelayLinesAt0707WhateverTheWidth) {
    const float mono = firstEchoPeak(1, 0.0f);
    EXPECT_EQ(firstEchoPeak(1, 100.0f), mono);
    EXPECT_GT(mono, 0.1f);
    // Stereo at 0 % width mixes both lines at the table's 0.7071 each.
    const float stereo = firstEchoPeak(2, 0.0f);
    EXPECT_NEAR(mono / stereo, 1.414 / (2.0 * std::cos(M_PI / 4096.0) * std::sqrt(0.5)), 2e-6);
}

// ---------------------------------------------------------------------------
// Filter path

TEST(RenderChain, SaturationShapesTheFilteredSignalOnly) {
    // DC through "2P LP" at 20 kHz (unity at DC) shows the curve's value.
    auto dcOut = [](float saturation, float filterOn) {
        EngineHost e;
        e.setDryUnity();
        e.set(kFilterType, 2.0f);
        e.set(kFilterFreq, 20000.0f);
        e.set(kFilterResonance, 0.0f);
        e.set(kFilterGain, 0.0f);
        e.set(kBitcrush, 0.0f);
        e.set(kSaturation, saturation);
        e.set(kFilterOnOff, filterOn);
        e.pump();
        return e.renderConstant(0.5f, 44100)[0].back();
    };
    EXPECT_NEAR(dcOut(1.0f, 1.0f), 0.498382f, 2e-5f); // drive 7.0001
    EXPECT_NEAR(dcOut(0.0f, 1.0f), 0.499995f, 2e-5f); // drive 0.0001
    // The unfiltered share bypasses saturation: with the filter off it is exact.
    EXPECT_NEAR(dcOut(1.0f, 0.0f), 0.5f, 1e-6f);
}

TEST(RenderChain, WithTheFilterOffTheFilterPathSettingsAreNotHeard) {
    auto run = [](float saturation, float bitcrush, float type, float freq) {
        EngineHost e;
        e.setDryUnity(); // delay off, never on
        e.set(kFilterOnOff, 1.0f);
        e.set(kSaturation, saturation);
        e.set(kBitcrush, bitcrush);
        e.set(kFilterType, type);
        e.set(kFilterFreq, freq);
        e.pump();
        std::vector<std::vector<float>> in(2, std::vector<float>(4410));
        unsigned seed = 11;
        for (auto& ch : in)
            for (float& v : ch) {
                seed = seed * 1664525u + 1013904223u;
                v = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
            }
        auto filtered = e.render(in);
        e.set(kFilterOnOff, 0.0f);
        e.render(
            std::vector<std::vector<float>>(2, std::vector<float>(22050, 0.0f))); // the 2 ms glide decays
        return std::make_pair(filtered, e.render(in));
    };
    const auto a = run(0.0f, 0.0f, 0.0f, 300.0f);
    const auto b = run(1.0f, 100.0f, 3.0f, 9000.0f);
    EXPECT_NE(a.first, b.first);
    EXPECT_EQ(a.second, b.second);
}

// ---------------------------------------------------------------------------
// Untrusted values

// A host may store any float. A value that is not a finite number would stick
// in the frequency and filter-switch smoothers (and in drifting pads) for good;
// it is ignored, so the sound is that of the last finite settings.
TEST(RenderChain, ParameterValuesThatAreNotFiniteNumbersAreIgnored) {
    auto run = [](bool sendJunk, float junk) {
        EngineHost e;
        e.setDryUnity();
        e.set(kFilterOnOff, 1.0f);
        e.set(kFilterFreq, 2000.0f);
        e.set(kDelayOnOff, 1.0f);
        e.set(kKinetics, 1.0f);
        e.pump();
        e.renderConstant(0.25f, 1000);
        // The framework refuses such values, so they are handed to the
        // effect's listener directly, as a delivery would.
        if (sendJunk)
            for (AudioUnitParameterID id = 0; id < AudioUnitParameterID(kNumPublishedParameters); ++id) {
                EXPECT_EQ(e.host().setParameter(id, junk), kAudioUnitErr_InvalidParameterValue);
                const AudioUnitParameter parameter{e.host().unit(), id, kAudioUnitScope_Global, 0};
                e.effect().ParameterListener(&e.effect(), &e.effect(), &parameter, junk);
            }
        e.pump();
        return e.renderConstant(0.25f, 8820);
    };
    const auto clean = run(false, 0.0f);
    ASSERT_TRUE(std::all_of(clean[0].begin(), clean[0].end(), [](float v) { return std::isfinite(v); }));
    EXPECT_EQ(run(true, std::nanf("")), clean);
    EXPECT_EQ(run(true, INFINITY), clean);
    EXPECT_EQ(run(true, -INFINITY), clean);
}

} // namespace

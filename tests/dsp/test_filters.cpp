// Filter bank: measured responses against transfer functions evaluated here,
// steady states worked out by hand, clamps, rate changes and denormal handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <vector>

#include "dsp/csd_utilities.h"
#include "dsp/iir_lp3pole.h"
#include "dsp/kosp_filter_4PHP.h"
#include "dsp/kosp_filter_creakbox.h"
#include "dsp/kosp_filter_ko_moog.h"
#include "dsp/kosp_filter_rbj.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Steady-state gain for a sine of `hz` (a whole number, so one second holds
// whole cycles): half a second to settle, then the first harmonic over one
// second. hz = 0 measures the DC gain with a constant input (signed).
double measuredGain(kosp_filter& filter, double hz, double rate, double amplitude = 0.1) {
    const int n = static_cast<int>(rate);
    if (hz == 0.0) {
        for (int i = 0; i < n; ++i)
            filter.process(static_cast<float>(amplitude));
        return filter.process(static_cast<float>(amplitude)) / amplitude;
    }
    const double step = 2.0 * kPi * hz / rate;
    for (int i = 0; i < n / 2; ++i)
        filter.process(static_cast<float>(amplitude * std::sin(step * i)));
    double c = 0.0, s = 0.0;
    for (int i = 0; i < n; ++i) {
        const double phase = step * (i + n / 2);
        const double y = filter.process(static_cast<float>(amplitude * std::sin(phase)));
        c += y * std::cos(phase);
        s += y * std::sin(phase);
    }
    return 2.0 * std::hypot(c, s) / n / amplitude;
}

double dB(double gain) {
    return 20.0 * std::log10(gain);
}

enum class Biquad { LowPass, HighPass, BandPass };

// |H(e^jw)| of the cookbook biquad with the bandwidth term sinh(1/(2Q)) sin w0.
double biquadGain(Biquad kind, double f0, double q, double rate, double hz) {
    const double w0 = 2.0 * kPi * f0 / rate;
    const double c = std::cos(w0);
    const double alpha = std::sinh(1.0 / (2.0 * q)) * std::sin(w0);
    double b[3] = {0.0, 0.0, 0.0};
    switch (kind) {
    case Biquad::LowPass:
        b[0] = (1 - c) / 2, b[1] = 1 - c, b[2] = (1 - c) / 2;
        break;
    case Biquad::HighPass:
        b[0] = (1 + c) / 2, b[1] = -(1 + c), b[2] = (1 + c) / 2;
        break;
    case Biquad::BandPass:
        b[0] = alpha, b[1] = 0, b[2] = -alpha;
        break;
    }
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((b[0] + b[1] * z1 + b[2] * z2) / ((1 + alpha) - 2 * c * z1 + (1 - alpha) * z2));
}

// Ladder with no resonance: the input enters twice, then 0.35013 f^4 and four
// stages (1 + 0.3 z^-1) / (1 - (1 - f) z^-1), f = 1.16 * 2 f0 / rate.
double ladderGain(double f0, double rate, double hz) {
    const double f = 1.16 * 2.0 * f0 / rate;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
    const double stage = std::abs((1.0 + 0.3 * z1) / (1.0 - (1.0 - f) * z1));
    return 2.0 * 0.35013 * std::pow(f, 4) * std::pow(stage, 4);
}

// DC gain of the four ladder stages: 0.35013 * 1.3^4.
constexpr double kLadderStagesDc = 0.35013 * 1.3 * 1.3 * 1.3 * 1.3;

void expectGain(double measured, double expected, const char* where) {
    EXPECT_NEAR(measured, expected, 0.002 * expected + 2e-5) << where;
}

// ---------------------------------------------------------------- biquads

struct BiquadCase {
    Biquad kind;
    float rate;
    float cutoff;
    float normalized; // < 0: resonance left as constructed (Q 1/sqrt 2)
};

std::unique_ptr<kosp_filter> makeBiquad(Biquad kind) {
    switch (kind) {
    case Biquad::LowPass:
        return std::make_unique<kosp_filter_rbj_low_pass>();
    case Biquad::HighPass:
        return std::make_unique<kosp_filter_rbj_high_pass>();
    case Biquad::BandPass:
        return std::make_unique<kosp_filter_rbj_band_pass>();
    }
    return nullptr;
}

class BiquadResponse : public ::testing::TestWithParam<BiquadCase> {};

TEST_P(BiquadResponse, MeasuredGainFollowsTheTransferFunction) {
    const BiquadCase p = GetParam();
    auto filter = makeBiquad(p.kind);
    if (p.rate != 44100.0f) filter->setAudioSamplingRate(p.rate);
    double q = 1.0 / std::sqrt(2.0); // as constructed, with 1000 Hz
    if (p.normalized >= 0.0f) {
        filter->setFrequency(p.cutoff);
        filter->setResonanceNormalized(p.normalized);
        q = (p.kind == Biquad::BandPass ? 7.0 : 10.0) * p.normalized + 1.0;
    }
    const double nearNyquist = std::round(0.45 * p.rate);
    EXPECT_NEAR(measuredGain(*filter, 0.0, p.rate), biquadGain(p.kind, p.cutoff, q, p.rate, 0.0), 1e-4)
        << "DC";
    filter->clear();
    expectGain(measuredGain(*filter, p.cutoff, p.rate), biquadGain(p.kind, p.cutoff, q, p.rate, p.cutoff),
               "cut-off");
    filter->clear();
    expectGain(measuredGain(*filter, nearNyquist, p.rate),
               biquadGain(p.kind, p.cutoff, q, p.rate, nearNyquist), "near Nyquist");
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, BiquadResponse,
    ::testing::Values(
        BiquadCase{Biquad::LowPass, 44100, 1000, -1}, BiquadCase{Biquad::LowPass, 44100, 1000, 0},
        BiquadCase{Biquad::LowPass, 44100, 5000, 0.5f}, BiquadCase{Biquad::LowPass, 44100, 1000, 1},
        BiquadCase{Biquad::LowPass, 96000, 1000, 0.3f}, BiquadCase{Biquad::HighPass, 44100, 1000, -1},
        BiquadCase{Biquad::HighPass, 44100, 1000, 0}, BiquadCase{Biquad::HighPass, 44100, 5000, 0.5f},
        BiquadCase{Biquad::HighPass, 44100, 1000, 1}, BiquadCase{Biquad::HighPass, 96000, 1000, 0.3f},
        BiquadCase{Biquad::BandPass, 44100, 1000, -1}, BiquadCase{Biquad::BandPass, 44100, 1000, 0},
        BiquadCase{Biquad::BandPass, 44100, 5000, 0.5f}, BiquadCase{Biquad::BandPass, 44100, 1000, 1},
        BiquadCase{Biquad::BandPass, 96000, 2000, 0.3f}));

TEST(BandPassGainCompensation, PeakGainRisesFrom1_24To2_64WithTheResonance) {
    // The band-pass itself has gain 1 at its cut-off, whatever the Q.
    const struct {
        float normalized;
        double gain;
    } cases[] = {{0.0f, 1.24}, {0.5f, 1.94}, {1.0f, 2.64}};
    for (const auto& c : cases) {
        kosp_filter_rbj_band_pass_gain_comp filter;
        filter.setFrequency(2000.0f);
        filter.setResonanceNormalized(c.normalized);
        EXPECT_NEAR(measuredGain(filter, 2000.0, 44100.0), c.gain, 1e-3) << c.normalized;
    }
}

class FourPoleHighPass : public ::testing::TestWithParam<float> {};

TEST_P(FourPoleHighPass, IsAFixedAndAResonantSectionInSeriesAtAnyRate) {
    const double rate = GetParam();
    for (float n : {0.0f, 1.0f}) {
        kosp_filter_4PHP filter;
        filter.setAudioSamplingRate(static_cast<float>(rate));
        filter.setFrequency(1000.0f); // unchanged: the new rate alone must move the sections
        filter.setResonanceNormalized(n);
        const double qA = 12.0 * n + 1.0;
        for (double hz : {0.0, 500.0, 1000.0, std::round(0.45 * rate)}) {
            const double expected = biquadGain(Biquad::HighPass, 1000, qA, rate, hz) *
                                    biquadGain(Biquad::HighPass, 1000, 1.0, rate, hz);
            filter.clear();
            const double measured = measuredGain(filter, hz, rate);
            if (hz == 0.0)
                EXPECT_NEAR(measured, 0.0, 1e-4);
            else
                expectGain(measured, expected, "4P HP");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FourPoleHighPass, ::testing::Values(44100.0f, 96000.0f));

TEST(FourPoleHighPass, KeepsItsCutoffInHertzAtANewRate) {
    kosp_filter_4PHP at44;
    kosp_filter_4PHP at96;
    at96.setAudioSamplingRate(96000.0f);
    EXPECT_NEAR(dB(measuredGain(at96, 1000, 96000)), dB(measuredGain(at44, 1000, 44100)), 0.2);
}

TEST(BiquadDenormals, ADecayEndsAtExactlyZeroInsteadOfCyclingInDenormals) {
    for (Biquad kind : {Biquad::LowPass, Biquad::HighPass, Biquad::BandPass}) {
        for (float cutoff : {100.0f, 1000.0f, 15000.0f}) {
            for (float n : {0.0f, 1.0f}) {
                auto filter = makeBiquad(kind);
                filter->setFrequency(cutoff);
                filter->setResonanceNormalized(n);
                int lastNonZero = 0, denormals = 0;
                float y = filter->process(1.0f);
                for (int i = 1; i < 400000; ++i) {
                    y = filter->process(0.0f);
                    if (y != 0.0f) lastNonZero = i;
                    if (y != 0.0f && csd_is_zero_or_denormal(y)) ++denormals;
                }
                EXPECT_LT(lastNonZero, 300000) << static_cast<int>(kind) << " " << cutoff << " " << n;
                EXPECT_LE(denormals, 1);
            }
        }
    }
}

// ---------------------------------------------------------------- ladder

TEST(Ladder, ResponseTracksTheCutoff) {
    for (float cutoff : {500.0f, 2000.0f, 8000.0f}) {
        kosp_filter_ko_moog filter;
        filter.setFrequency(cutoff);
        for (double hz : {std::round(cutoff / 10.0), double(cutoff), std::min(4.0 * cutoff, 20000.0)}) {
            filter.clear();
            expectGain(measuredGain(filter, hz, 44100), ladderGain(cutoff, 44100, hz), "ladder");
        }
        filter.clear();
        EXPECT_GT(measuredGain(filter, std::round(cutoff / 10.0), 44100), 1.5); // passes (DC gain 2)
        filter.clear();
        EXPECT_LT(measuredGain(filter, std::min(4.0 * cutoff, 20000.0), 44100), 0.02); // attenuated
    }
}

TEST(Ladder, ANewRateKeepsTheCutoffInHertz) {
    kosp_filter_ko_moog filter;
    filter.setFrequency(1000.0f);
    filter.setAudioSamplingRate(96000.0f);
    filter.setFrequency(1000.0f);
    for (double hz : {100.0, 1000.0, 4000.0}) {
        filter.clear();
        expectGain(measuredGain(filter, hz, 96000), ladderGain(1000, 96000, hz), "96 kHz");
    }
}

TEST(Ladder, DcGainAndInputClip) {
    kosp_filter_ko_moog filter;
    filter.setFrequency(1000.0f);
    // The input enters twice: 0.25 in is 0.5 into the stages.
    EXPECT_NEAR(measuredGain(filter, 0, 44100, 0.25), 2.0 * kLadderStagesDc, 1e-4);
    // 1.0 in would be 2.0 into the stages; clipped to 0.99.
    filter.clear();
    EXPECT_NEAR(measuredGain(filter, 0, 44100, 1.0), 0.99 * kLadderStagesDc, 1e-4);
    filter.clear();
    EXPECT_NEAR(measuredGain(filter, 0, 44100, -1.0), 0.99 * kLadderStagesDc, 1e-4);
}

TEST(Ladder, ResonanceFeedbackSettlesAtTheWorkedDcLevel) {
    // n = 0.5: r = 5.25, stored R = 0.4 r = 2.1, fb = R (1 - 0.15 f^2).
    // Steady state: y = G (x (2 + 0.75 R) - fb y)  =>  y / x = G (2 + 0.75 R) / (1 + G fb).
    kosp_filter_ko_moog filter;
    filter.setFrequency(1000.0f);
    filter.setResonanceNormalized(0.5f);
    const double f = 1.16 * 2.0 * 1000.0 * static_cast<double>(1.0f / 44100.0f);
    const double r = static_cast<double>(static_cast<float>(5.25 * 0.4));
    const double fb = r * (1.0 - 0.15 * f * f);
    const double expected = kLadderStagesDc * (2.0 + 0.75 * r) / (1.0 + kLadderStagesDc * fb);
    EXPECT_NEAR(measuredGain(filter, 0, 44100, 0.1), expected, 1e-4);
}

TEST(Ladder, SilenceGivesATinyAlternatingOutputNeverExactlyZero) {
    kosp_filter_ko_moog alone;
    alone.setFrequency(1000.0f);
    for (int i = 0; i < 20000; ++i) {
        const float y = alone.process(0.0f);
        ASSERT_NE(y, 0.0f) << i;
        ASSERT_LT(std::fabs(y), 1e-4f);
    }
    // Two instances called in turn share one offset that flips after every
    // use, so each sees the same sign every time: their outputs keep opposite,
    // constant signs.
    kosp_filter_ko_moog a, b;
    a.setFrequency(1000.0f);
    b.setFrequency(1000.0f);
    const float signA = std::copysign(1.0f, a.process(0.0f));
    for (int i = 0; i < 20000; ++i) {
        const float yb = b.process(0.0f);
        const float ya = a.process(0.0f);
        ASSERT_EQ(std::copysign(1.0f, ya), signA) << i;
        ASSERT_EQ(std::copysign(1.0f, yb), -signA) << i;
        ASSERT_NE(ya, 0.0f);
    }
}

// ---------------------------------------------------------------- three-pole

TEST(ThreePole, UnityDcGainAtAnyResonance) {
    for (float cutoff : {200.0f, 1000.0f, 5000.0f}) {
        for (float resonance : {0.0f, 0.5f, 1.0f}) {
            kosp_filter_creakbox filter;
            filter.setFrequency(cutoff);
            filter.setResonance(resonance);
            EXPECT_NEAR(measuredGain(filter, 0, 44100, 0.3), 1.0, 1e-5) << cutoff << " " << resonance;
        }
    }
}

// The kernel is linear for a fixed cut-off and resonance. With r = 1 - a k
// and S = 1 + r + r^2 + r^3 + r^4, one sample maps the state (s0, s1) as
//   y1 = -a s0 + r s1 + a x,  s0' = s0 + a S y1,  s1' = r^4 y1,
// and the output is s0'. In z: H = C z (zI - A)^-1 B.
double threePoleGain(double hz0, double resonance, double rate, double hz) {
    const double a =
        std::clamp<double>(static_cast<float>(hz0) * static_cast<float>(1.0 / rate), 0.01f, 0.7f);
    const double d = hz0 / 44100.0;
    double g = a;
    for (int i = 0; i < 4; ++i)
        g = std::sin(kPi / 2 * g);
    double loop = (resonance * (0.965 - 0.975 * d) + g * (0.023 + 0.42 * d)) * 1.01;
    if (a < 0.05) loop *= a / 0.05 * 0.1 + 0.9;
    const double r = 1.0 - a * (1.0 - loop);
    const double r4 = r * r * r * r;
    const double sum = 1 + r + r * r + r * r * r + r4;
    // Rows of A and B for the state (s0, s1).
    const double a00 = 1 - a * a * sum, a01 = a * sum * r, b0 = a * a * sum;
    const double a10 = -a * r4, a11 = r4 * r, b1 = a * r4;
    const std::complex<double> z = std::polar(1.0, 2.0 * kPi * hz / rate);
    // (zI - A)^-1 B, first component only (C picks s0).
    const std::complex<double> det = (z - a00) * (z - a11) - a01 * a10;
    const std::complex<double> s0 = ((z - a11) * b0 + a01 * b1) / det;
    return std::abs(z * s0);
}

TEST(ThreePole, ResponseFollowsItsStateSpaceModel) {
    for (float cutoff : {300.0f, 1000.0f, 6000.0f}) {
        for (float resonance : {0.0f, 0.8f}) {
            kosp_filter_creakbox filter;
            filter.setFrequency(cutoff);
            filter.setResonance(resonance);
            for (double hz : {std::round(cutoff / 10.0), double(cutoff), 3.0 * cutoff}) {
                filter.clear();
                expectGain(measuredGain(filter, hz, 44100), threePoleGain(cutoff, resonance, 44100, hz),
                           "3P LP");
            }
        }
    }
}

// Left alone, the double-precision state decays through the single-precision
// denormals for thousands of samples (and then on into the double ones).
TEST(ThreePole, ADecayEndsAtExactlyZero) {
    for (float cutoff : {100.0f, 1000.0f, 15000.0f}) {
        for (float resonance : {0.0f, 1.0f}) {
            kosp_filter_creakbox filter;
            filter.setFrequency(cutoff);
            filter.setResonance(resonance);
            int lastNonZero = 0, denormals = 0;
            filter.process(1.0f);
            for (int i = 1; i < 60000; ++i) {
                const float y = filter.process(0.0f);
                if (y != 0.0f) lastNonZero = i;
                if (y != 0.0f && csd_is_zero_or_denormal(y)) ++denormals;
            }
            EXPECT_LT(lastNonZero, 40000) << cutoff << " " << resonance;
            EXPECT_EQ(denormals, 0) << cutoff << " " << resonance;
        }
    }
}

TEST(ThreePole, PassesWellBelowAndAttenuatesWellAboveTheCutoff) {
    for (float cutoff : {500.0f, 1000.0f, 2000.0f}) {
        kosp_filter_creakbox filter;
        filter.setFrequency(cutoff);
        filter.setResonance(0.0f);
        EXPECT_GT(dB(measuredGain(filter, std::round(cutoff / 20.0), 44100)), -1.0) << cutoff;
        filter.clear();
        EXPECT_LT(dB(measuredGain(filter, 8.0 * cutoff, 44100)), -40.0) << cutoff;
    }
}

TEST(ThreePole, NormalisedCutoffAndResonanceAreClamped) {
    // Same hz, so only the clamp of a and b can make two runs agree.
    const struct {
        float a, aClamped, b, bClamped;
    } cases[] = {{0.9f, 0.7f, 0.5f, 0.5f},
                 {0.001f, 0.01f, 0.5f, 0.5f},
                 {0.2f, 0.2f, 1.7f, 1.0f},
                 {0.2f, 0.2f, -0.5f, 0.0f}};
    for (const auto& c : cases) {
        tbiquad raw{}, clamped{};
        for (int i = 0; i < 2000; ++i) {
            const float x = (i % 37 < 18 ? 0.4f : -0.3f) + 0.01f * static_cast<float>(i % 7);
            ASSERT_EQ(IIR_IIRlp3pole(&raw, c.a, c.b, x, 3000.0f),
                      IIR_IIRlp3pole(&clamped, c.aClamped, c.bClamped, x, 3000.0f))
                << c.a << " " << c.b << " sample " << i;
        }
    }
}

TEST(ThreePole, ANewRateTakesEffectAtTheNextSetFrequencyEvenWithTheSameValue) {
    kosp_filter_creakbox at44, at96;
    at44.setResonance(0.5f);
    at96.setResonance(0.5f);
    at96.setAudioSamplingRate(96000.0f);
    at96.setFrequency(1000.0f); // the frequency held since construction
    for (double hz : {500.0, 1000.0}) {
        at44.clear();
        at96.clear();
        EXPECT_NEAR(dB(measuredGain(at96, hz, 96000)), dB(measuredGain(at44, hz, 44100)), 0.5) << hz;
    }
}

// ---------------------------------------------------------------- every class

struct Maker {
    const char* name;
    std::function<std::unique_ptr<kosp_filter>()> make;
};

class EveryFilter : public ::testing::TestWithParam<Maker> {};

TEST_P(EveryFilter, ClearForgetsTheSignalButKeepsTheSettings) {
    auto used = GetParam().make();
    auto fresh = GetParam().make();
    for (auto* f : {used.get(), fresh.get()}) {
        f->setFrequency(1500.0f);
        f->setResonanceNormalized(0.4f);
    }
    for (int i = 0; i < 1000; ++i)
        used->process(0.4f * static_cast<float>(std::sin(0.05 * i)) + 0.2f);
    used->clear();
    for (int i = 0; i < 500; ++i) {
        const float x = i == 0 ? 0.3f : (i % 50 == 7 ? -0.2f : 0.0f);
        ASSERT_NEAR(used->process(x), fresh->process(x), 5e-5) << i;
    }
}

// A pad can sweep the cut-off to 20 kHz whatever the host's rate. At 8 kHz
// that is far above Nyquist; the filter must stay bounded there (it behaves
// as just below Nyquist) instead of blowing up to infinity.
TEST_P(EveryFilter, CutoffsAboveNyquistStayBoundedAtLowRates) {
    auto f = GetParam().make();
    f->setAudioSamplingRate(8000.0f);
    f->setResonanceNormalized(1.0f);
    float peak = 0.0f;
    for (int i = 0; i < 16000; ++i) {
        f->setFrequency(i < 8000 ? 12500.0f : 20000.0f);
        const float y = f->process(0.5f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * i / 8000.0)));
        ASSERT_TRUE(std::isfinite(y)) << i;
        peak = std::max(peak, std::fabs(y));
    }
    EXPECT_LT(peak, 100.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, EveryFilter,
    ::testing::Values(
        Maker{"ladder", [] { return std::unique_ptr<kosp_filter>(new kosp_filter_ko_moog); }},
        Maker{"threePole", [] { return std::unique_ptr<kosp_filter>(new kosp_filter_creakbox); }},
        Maker{"lowPass", [] { return std::unique_ptr<kosp_filter>(new kosp_filter_rbj_low_pass); }},
        Maker{"highPass", [] { return std::unique_ptr<kosp_filter>(new kosp_filter_rbj_high_pass); }},
        Maker{"bandPassComp",
              [] { return std::unique_ptr<kosp_filter>(new kosp_filter_rbj_band_pass_gain_comp); }},
        Maker{"fourPoleHighPass", [] { return std::unique_ptr<kosp_filter>(new kosp_filter_4PHP); }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

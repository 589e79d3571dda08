#include "dsp/iir_lp3pole.h"

namespace {

// The warp and its slope (times the step) at every point, from the chain rule
// in extended precision, and the cubic of each interval through them.
IIR_lp3pole_warp_table makeWarpTable() {
    using W = IIR_lp3pole_warp_table;
    long double value[W::kPoints], slope[W::kPoints];
    const long double c = 1.5707963267948966f;
    for (int i = 0; i < W::kPoints; ++i) {
        const long double a = W::kLow + static_cast<long double>(W::kHigh - W::kLow) * i / (W::kPoints - 1);
        const long double s1 = std::sin(c * a), s2 = std::sin(c * s1), s3 = std::sin(c * s2);
        value[i] = std::sin(c * s3);
        slope[i] = std::cos(c * s3) * c * std::cos(c * s2) * c * std::cos(c * s1) * c * std::cos(c * a) * c *
                   W::kStep;
    }
    W w{};
    for (int i = 0; i + 1 < W::kPoints; ++i) {
        const long double v0 = value[i], v1 = value[i + 1], m0 = slope[i], m1 = slope[i + 1];
        w.cubic[i] = {{static_cast<double>(v0), static_cast<double>(m0),
                       static_cast<double>(3.0L * (v1 - v0) - 2.0L * m0 - m1),
                       static_cast<double>(2.0L * (v0 - v1) + m0 + m1)}};
    }
    return w;
}

} // namespace

const IIR_lp3pole_warp_table gLp3poleWarpTable = makeWarpTable();

double IIR_lp3pole_warp(double a) {
    constexpr double kHalfPi = 1.5707963267948966f;
    double g = std::sin(kHalfPi * a);
    g = std::sin(kHalfPi * g);
    g = std::sin(kHalfPi * g);
    return std::sin(kHalfPi * g);
}

void IIR_resetIIR(tbiquad* state) {
    *state = tbiquad{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
}

double IIR_IIRlp3pole(tbiquad* state, float a_, float b, float input, float hz) {
    const float a = IIR_lp3pole_cutoff(a_);
    const double k = IIR_lp3pole_coefficient(a, IIR_lp3pole_resonance(b), hz, IIR_lp3pole_warp(a));
    return IIR_lp3pole_update<double>(state->s0, state->s1, a, k, input);
}

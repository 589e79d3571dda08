#include "dsp/iir_lp3pole.h"

#include <cmath>

void IIR_resetIIR(tbiquad* state) {
    *state = tbiquad{0.0L, 0.0L, 0.0L, 0.0L, 0.0L, 0.0L};
}

long double IIR_IIRlp3pole(tbiquad* state, float a_, float b_, float input_, float hz_) {
    // Extended-precision arithmetic with single-precision constants.
    constexpr long double kHalfPi = 1.5707963267948966f;
    long double a = a_;
    long double b = b_;
    const long double input = input_;
    const long double hz = hz_;

    if (a < 0.01f) a = 0.01f;
    if (a > 0.7f) a = 0.7f;
    if (b < 0.0f) b = 0.0f;
    if (b > 1.0f) b = 1.0f;

    const long double d = hz / 44100.0f;
    // Four nested sines, each in double: a steep warp of the cut-off onto 0..1.
    long double g = std::sin(static_cast<double>(kHalfPi * a));
    g = std::sin(static_cast<double>(kHalfPi * g));
    g = std::sin(static_cast<double>(kHalfPi * g));
    g = std::sin(static_cast<double>(kHalfPi * g));

    long double loop = (b * (0.965f - 0.975f * d) + g * (0.023f + 0.42f * d)) * 1.01f;
    if (a < 0.05f) loop = loop * (a / 0.05f * 0.1f + 0.9f);
    const long double k = 1.0f - loop;

    const long double s0 = state->s0;
    const long double s1 = state->s1;
    const long double y1 = s1 + a * (input - k * s1 - s0);
    const long double y2 = y1 - a * k * y1;
    const long double y3 = y2 - a * k * y2;
    const long double y4 = y3 - a * k * y3;
    const long double y5 = y4 - a * k * y4;
    state->s0 = s0 + a * y1 + a * y2 + a * y3 + a * y4 + a * y5;
    state->s1 = y5;
    return state->s0;
}

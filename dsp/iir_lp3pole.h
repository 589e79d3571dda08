// Resonant three-pole low-pass kernel in double precision, used by the "3P LP"
// filter. The state update is written once over a lane type: a channel
// (double) or a stereo pair side by side in SSE2 lanes (DoublePair), so both
// give the same bits.
#pragma once

#include <cmath>

#include "dsp/lanes.h"

// State record: six values; only s0 (the output integrator) and s1 (the last
// stage) carry state between samples.
struct tbiquad {
    double s0, s1, s2, s3, s4, s5;
};

// Any thread that owns the record: all six values = 0.
void IIR_resetIIR(tbiquad* state);

// Render thread: one sample. a is the cut-off as a fraction of the sampling
// rate (clamped to 0.01..0.7), b the resonance (clamped to 0..1), hz the
// cut-off in hertz, which shapes the resonance as if at 44100 Hz whatever the
// actual rate. Returns the new output.
double IIR_IIRlp3pole(tbiquad* state, float a, float b, float input, float hz);

// The kernel in its parts, for callers that keep the cut-off's warp while the
// cut-off stands still or share it between channels:
// IIR_IIRlp3pole(state, a, b, input, hz) is
//   IIR_lp3pole_update(state.s0, state.s1, c, k, input) with
//   k = IIR_lp3pole_coefficient(c, IIR_lp3pole_resonance(b), hz, IIR_lp3pole_warp(c))
// and c = IIR_lp3pole_cutoff(a). All arithmetic in double with
// single-precision constants.

// The clamped cut-off (exact in single precision: the bounds are floats).
inline float IIR_lp3pole_cutoff(float a) {
    if (a < 0.01f) a = 0.01f;
    if (a > 0.7f) a = 0.7f;
    return a;
}

// Four nested sines: a steep warp of the cut-off onto 0..1. Out of line: a
// cut-off on the move takes the table below instead.
double IIR_lp3pole_warp(double a);

// The warp of a cut-off on the move: within 3e-12 of IIR_lp3pole_warp over
// the clamped range 0.01..0.7 (cubic Hermite interpolation in a table of the
// warp's values and slopes at 1024 points, made when the library loads), for
// a small fraction of the four sines' cost. `a` is the clamped cut-off; a NaN
// gets IIR_lp3pole_warp itself.
struct IIR_lp3pole_warp_table {
    static constexpr int kPoints = 1024;
    static constexpr double kLow = 0.01f, kHigh = 0.7f; // the clamp's float bounds
    static constexpr double kStep = (kHigh - kLow) / (kPoints - 1);
    double value[kPoints];
    double slope[kPoints]; // times kStep
};
extern const IIR_lp3pole_warp_table gLp3poleWarpTable;

inline double IIR_lp3pole_warp_moving(float a) {
    using W = IIR_lp3pole_warp_table;
    const double x = a;
    if (!(x >= W::kLow && x <= W::kHigh)) return IIR_lp3pole_warp(a);
    const double p = (x - W::kLow) * (1.0 / W::kStep);
    int i = static_cast<int>(p);
    if (i > W::kPoints - 2) i = W::kPoints - 2;
    const double t = p - i, t2 = t * t, t3 = t2 * t;
    const W& w = gLp3poleWarpTable;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * w.value[i] + (t3 - 2.0 * t2 + t) * w.slope[i] +
           (3.0 * t2 - 2.0 * t3) * w.value[i + 1] + (t3 - t2) * w.slope[i + 1];
}

// The resonance clamped to 0..1.
inline double IIR_lp3pole_resonance(float b) {
    if (b < 0.0f) b = 0.0f;
    if (b > 1.0f) b = 1.0f;
    return b;
}

// The kernel's loop coefficient k for a clamped cut-off a, clamped resonance
// b, the cut-off in hertz and the warp g; the same for every channel that
// shares them.
inline double IIR_lp3pole_coefficient(double a, double b, float hz, double g) {
    const double d = hz / 44100.0;
    double loop = (b * (0.965f - 0.975f * d) + g * (0.023f + 0.42f * d)) * 1.01f;
    if (a < 0.05f) loop = loop * (a / 0.05f * 0.1f + 0.9f);
    return 1.0f - loop;
}

// One sample through the state (s0, s1) with cut-off a and coefficient k;
// returns the new output s0. T is double or DoublePair.
template <class T> inline T IIR_lp3pole_update(T& s0, T& s1, T a, T k, T input) {
    const T ak = a * k;
    const T y1 = s1 + a * (input - k * s1 - s0);
    const T y2 = y1 - ak * y1;
    const T y3 = y2 - ak * y2;
    const T y4 = y3 - ak * y3;
    const T y5 = y4 - ak * y4;
    s0 = s0 + a * y1 + a * y2 + a * y3 + a * y4 + a * y5;
    s1 = y5;
    return s0;
}

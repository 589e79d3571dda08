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
//
// Double rather than extended precision: the factory presets' pinned renders
// (tests/engine/test_presets_bitexact.cpp) come out bit for bit the same
// either way, and double runs both channels at once in SSE2 for a fraction of
// the x87 arithmetic's cost.

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
// the clamped range 0.01..0.7 (the cubic through the warp's values and slopes
// at the ends of each of 1023 intervals, made when the library loads, in
// Horner form), for a small fraction of the four sines' cost. `a` is the
// clamped cut-off; a NaN gets IIR_lp3pole_warp itself.
struct IIR_lp3pole_warp_table {
    static constexpr int kPoints = 1024;
    static constexpr double kLow = 0.01f, kHigh = 0.7f; // the clamp's float bounds
    static constexpr double kStep = (kHigh - kLow) / (kPoints - 1);
    // Interval i: c[0] + t (c[1] + t (c[2] + t c[3])) for t in 0..1.
    struct Cubic {
        double c[4];
    };
    Cubic cubic[kPoints - 1];
};
extern const IIR_lp3pole_warp_table gLp3poleWarpTable;

inline double IIR_lp3pole_warp_moving(float a) {
    using W = IIR_lp3pole_warp_table;
    const double x = a;
    if (!(x >= W::kLow && x <= W::kHigh)) return IIR_lp3pole_warp(a);
    const double p = (x - W::kLow) * (1.0 / W::kStep);
    int i = static_cast<int>(p);
    if (i > W::kPoints - 2) i = W::kPoints - 2;
    const double t = p - i;
    const double* c = gLp3poleWarpTable.cubic[i].c;
    return c[0] + t * (c[1] + t * (c[2] + t * c[3]));
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

template <class T> inline T IIR_lp3pole_constant(double x) {
    if constexpr (sizeof(T) == sizeof(double))
        return x;
    else
        return T::both(x);
}

// One sample through the state (s0, s1) with cut-off a and coefficient k;
// returns the new output s0. T is double or DoublePair.
//
// The kernel's five stages, y1 = s1 + a (input - k s1 - s0) and
// y(n+1) = yn - a k yn, then s0 += a y1 + ... + a y5 and s1 = y5, folded with
// r = 1 - a k (so yn = r^(n-1) y1) into s0 += a (1 + r + r^2 + r^3 + r^4) y1
// and s1 = r^4 y1: the same values, rounded differently, with a third of the
// chain of dependent operations from one sample to the next. The output stays
// within -120 dBFS of the stage-by-stage kernel in extended precision
// (tests/dsp/test_run_kernels.cpp).
template <class T> inline T IIR_lp3pole_update(T& s0, T& s1, T a, T k, T input) {
    const T one = IIR_lp3pole_constant<T>(1.0);
    const T r = one - a * k;
    const T r2 = r * r, r4 = r2 * r2;
    const T aS = a * ((((one + r) + r2) + r2 * r) + r4);
    const T y1 = r * s1 - a * s0 + a * input;
    s0 = s0 + aS * y1;
    s1 = r4 * y1;
    return s0;
}

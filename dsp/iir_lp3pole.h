// Resonant three-pole low-pass kernel in extended precision, used by the
// "3P LP" filter.
#pragma once

// State record: six extended-precision values; only s0 (the output
// integrator) and s1 (the last stage) carry state between samples.
struct tbiquad {
    long double s0, s1, s2, s3, s4, s5;
};

// Any thread that owns the record: all six values = 0.
void IIR_resetIIR(tbiquad* state);

// Render thread: one sample. a is the cut-off as a fraction of the sampling
// rate (clamped to 0.01..0.7), b the resonance (clamped to 0..1), hz the
// cut-off in hertz, which shapes the resonance as if at 44100 Hz whatever the
// actual rate. Returns the new output.
long double IIR_IIRlp3pole(tbiquad* state, float a, float b, float input, float hz);

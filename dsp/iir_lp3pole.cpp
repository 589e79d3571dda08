#include "dsp/iir_lp3pole.h"

void IIR_resetIIR(tbiquad* state) {
    *state = tbiquad{0.0L, 0.0L, 0.0L, 0.0L, 0.0L, 0.0L};
}

long double IIR_IIRlp3pole(tbiquad* state, float a_, float b_, float input_, float hz_) {
    const long double a = IIR_lp3pole_cutoff(a_);
    return IIR_lp3pole_step(state, a, b_, input_, hz_, IIR_lp3pole_warp(a));
}

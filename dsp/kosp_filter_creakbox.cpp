#include "dsp/kosp_filter_creakbox.h"

kosp_filter_creakbox::kosp_filter_creakbox() {
    IIR_resetIIR(&state);
    frequency = 1000.0f;
    cutoff = frequency * samplingRateReciprocal;
}

void kosp_filter_creakbox::clear() {
    IIR_resetIIR(&state);
    resting = true;
}

void kosp_filter_creakbox::setFrequency(float hz) {
    if (hz != frequency) {
        frequency = hz;
        recalculate();
    }
    cutoff = hz * samplingRateReciprocal;
}

float kosp_filter_creakbox::process(float x) {
    // At rest (a zero state) silence stays exactly 0 without running the
    // kernel, or following the warp.
    if (resting) {
        if (x == 0.0f) return 0.0f;
        resting = false;
    }
    const float a = IIR_lp3pole_cutoff(cutoff);
    const double k = IIR_lp3pole_coefficient(a, IIR_lp3pole_resonance(resonance), frequency, warp.of(a));
    double s0 = state.s0, s1 = state.s1;
    const float y = static_cast<float>(IIR_lp3pole_update<double>(s0, s1, a, k, x));
    if (decayIsOver(y, s1)) {
        IIR_resetIIR(&state);
        resting = true;
        return 0.0f;
    }
    state.s0 = s0;
    state.s1 = s1;
    return y;
}

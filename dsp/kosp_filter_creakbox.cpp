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
    // The warp (and the coefficient) only once the filter has a signal to run.
    if (resting && x == 0.0f) return 0.0f;
    const float a = IIR_lp3pole_cutoff_float(cutoff);
    return step(x, a, IIR_lp3pole_coefficient(a, resonance, frequency, warpOf(a)));
}

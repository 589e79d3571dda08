#include "dsp/kosp_filter_creakbox.h"

#include <cmath>

#include "dsp/csd_utilities.h"

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
    // At rest (a zero state) silence stays exactly 0 without running the kernel.
    if (resting) {
        if (x == 0.0f) return 0.0f;
        resting = false;
    }
    const float y = static_cast<float>(IIR_IIRlp3pole(&state, cutoff, resonance, x, frequency));
    // A decay that has reached the single-precision denormals (and would go on
    // into the extended ones) is over once the last stage is negligible too
    // (some 600 dB down): the filter comes to rest at exactly 0.
    if (csd_is_zero_or_denormal(y) && std::fabs(state.s1) < 1.0e-30L) {
        IIR_resetIIR(&state);
        resting = true;
        return 0.0f;
    }
    return y;
}

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
}

void kosp_filter_creakbox::setFrequency(float hz) {
    if (hz != frequency) {
        frequency = hz;
        recalculate();
    }
    cutoff = hz * samplingRateReciprocal;
}

float kosp_filter_creakbox::process(float x) {
    const float y = static_cast<float>(IIR_IIRlp3pole(&state, cutoff, resonance, x, frequency));
    // A decay that has reached the single-precision denormals (and would go on
    // into the extended ones) is over: with the last stage negligible too (some
    // 600 dB down), the state rests at exactly 0 instead.
    if (csd_is_zero_or_denormal(y) && std::fabs(state.s1) < 1.0e-30L) {
        IIR_resetIIR(&state);
        return 0.0f;
    }
    return y;
}

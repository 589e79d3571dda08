#include "dsp/kosp_filter_creakbox.h"

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
    return static_cast<float>(IIR_IIRlp3pole(&state, cutoff, resonance, x, frequency));
}

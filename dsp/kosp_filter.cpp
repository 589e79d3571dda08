#include "dsp/kosp_filter.h"

void kosp_filter::setAudioSamplingRate(float rate) {
    storeSamplingRate(rate);
    clear();
    recalculate();
}

void kosp_filter::setFrequency(float hz) {
    if (hz == frequency) return;
    frequency = hz;
    recalculate();
}

void kosp_filter::setResonance(float r) {
    if (r == resonance) return;
    resonance = r;
    recalculate();
}

void kosp_filter::setResonanceNormalized(float n) {
    setResonance(n);
}

void kosp_filter::recalculate() {}

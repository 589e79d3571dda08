#include "dsp/kosp_filter_4PHP.h"

// The filter's own frequency and resonance only mirror section A, for readers.
kosp_filter_4PHP::kosp_filter_4PHP() {
    sectionB.setResonance(1.0f);
    frequency = sectionA.getFrequency();
    resonance = sectionA.getResonance();
}

void kosp_filter_4PHP::clear() {
    sectionA.clear();
    sectionB.clear();
}

void kosp_filter_4PHP::setAudioSamplingRate(float rate) {
    kosp_filter::setAudioSamplingRate(rate);
    sectionA.setAudioSamplingRate(rate);
    sectionB.setAudioSamplingRate(rate);
}

float kosp_filter_4PHP::process(float x) {
    return sectionA.process(sectionB.process(x));
}

void kosp_filter_4PHP::setFrequency(float hz) {
    sectionA.setFrequency(hz);
    sectionB.setFrequency(hz);
    frequency = hz;
}

void kosp_filter_4PHP::setResonance(float r) {
    sectionA.setResonance(r);
    resonance = r;
}

void kosp_filter_4PHP::setResonanceNormalized(float n) {
    setResonance(12.0f * n + 1.0f);
}

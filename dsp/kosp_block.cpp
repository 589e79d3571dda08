#include "dsp/kosp_block.h"

kosp_block::kosp_block() {
    storeSamplingRate(44100.0f);
}

void kosp_block::clear() {}

void kosp_block::setAudioSamplingRate(float rate) {
    storeSamplingRate(rate);
}

float kosp_block::process(float x) {
    return x;
}

void kosp_block::storeSamplingRate(float rate) {
    samplingRate = rate;
    samplingRateReciprocal = 1.0f / rate;
    samplesPerMillisecond = rate * 0.001f;
}

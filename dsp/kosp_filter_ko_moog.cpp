#include "dsp/kosp_filter_ko_moog.h"

std::atomic<double> kosp_filter_ko_moog::teenyNoise{1e-05};

kosp_filter_ko_moog::kosp_filter_ko_moog() {
    resonance = 0.0f;
    frequency = 20.0f;
    recalculate();
}

void kosp_filter_ko_moog::clear() {
    history = LadderHistory<double>{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
}

void kosp_filter_ko_moog::setFrequency(float hz) {
    if (hz == frequency) return;
    frequency = hz;
    recalculate();
}

void kosp_filter_ko_moog::recalculate() {
    take(coefficientsFor(coefficientFrequency(), samplingRateReciprocal, resonance));
}

void kosp_filter_ko_moog::setResonance(float r) {
    // Compared with the stored (already scaled) value: a repeated r recomputes
    // to the same result.
    if (r == resonance) return;
    resonance = static_cast<float>(static_cast<double>(r) * 0.1 * 4.0);
    fb = feedbackFor(resonance, f);
}

void kosp_filter_ko_moog::setResonanceNormalized(float n) {
    setResonance(10.5f * n);
}

float kosp_filter_ko_moog::process(float x) {
    const double noise = teenyNoise.load(std::memory_order_relaxed);
    teenyNoise.store(-noise, std::memory_order_relaxed);
    const LadderStep<double> step{fb, oneMinusF, fPow4, inputGain(), noise};
    return static_cast<float>(ladderProcess(history, step, static_cast<double>(x)));
}

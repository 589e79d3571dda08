#include "dsp/kosp_filter_ko_moog.h"

std::atomic<double> kosp_filter_ko_moog::teenyNoise{1e-05};

kosp_filter_ko_moog::kosp_filter_ko_moog() {
    resonance = 0.0f;
    frequency = 20.0f;
    recalculate();
}

void kosp_filter_ko_moog::clear() {
    in1 = in2 = in3 = in4 = 0.0;
    out1 = out2 = out3 = out4 = 0.0;
}

void kosp_filter_ko_moog::setFrequency(float hz) {
    if (hz == frequency) return;
    frequency = hz;
    recalculate();
}

void kosp_filter_ko_moog::recalculate() {
    // The float reciprocal of the rate, widened.
    fc = 2.0 * static_cast<double>(coefficientFrequency()) * static_cast<double>(samplingRateReciprocal);
    f = 1.16 * fc;
    updateFeedback();
    oneMinusF = 1.0 - f;
    fPow4 = (f * f) * (f * f);
}

void kosp_filter_ko_moog::setResonance(float r) {
    // Compared with the stored (already scaled) value: a repeated r recomputes
    // to the same result.
    if (r == resonance) return;
    resonance = static_cast<float>(static_cast<double>(r) * 0.1 * 4.0);
    updateFeedback();
}

void kosp_filter_ko_moog::setResonanceNormalized(float n) {
    setResonance(10.5f * n);
}

void kosp_filter_ko_moog::updateFeedback() {
    fb = static_cast<double>(resonance) * (1.0 - 0.15 * f * f);
}

float kosp_filter_ko_moog::process(float x) {
    const double in = x;
    const double res = resonance;
    // The input enters twice: its gain is 2 + 0.75 * resonance.
    double u = in - out4 * fb + in * (0.75 * res + 1.0);
    if (u > 0.99) u = 0.99;
    if (u < -0.99) u = -0.99;

    const double noise = teenyNoise.load(std::memory_order_relaxed);
    u += noise;
    teenyNoise.store(-noise, std::memory_order_relaxed);

    // 0.35013 * 1.3^4 = 1: unity DC gain through the four stages.
    u = u * 0.35013 * fPow4;
    out1 = u + 0.3 * in1 + oneMinusF * out1;
    in1 = u;
    out2 = out1 + 0.3 * in2 + oneMinusF * out2;
    in2 = out1;
    out3 = out2 + 0.3 * in3 + oneMinusF * out3;
    in3 = out2;
    out4 = out3 + 0.3 * in4 + oneMinusF * out4;
    in4 = out3;
    return static_cast<float>(out4);
}

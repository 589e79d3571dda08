#include "dsp/kosp_filter_rbj.h"

#include <cmath>

#include "dsp/csd_utilities.h"

namespace {
constexpr float kButterworthQ = 0.70710677f;
constexpr float kNegligible = 1e-30f;
} // namespace

// Each constructor recomputes through its own class's recalculate (a base
// constructor only reaches the base's).
kosp_filter_rbj::kosp_filter_rbj() {
    frequency = 1000.0f;
    resonance = kButterworthQ;
    kosp_filter_rbj::recalculate();
}

kosp_filter_rbj_low_pass::kosp_filter_rbj_low_pass() {
    kosp_filter_rbj_low_pass::recalculate();
}
kosp_filter_rbj_high_pass::kosp_filter_rbj_high_pass() {
    kosp_filter_rbj_high_pass::recalculate();
}
kosp_filter_rbj_band_pass::kosp_filter_rbj_band_pass() {
    kosp_filter_rbj_band_pass::recalculate();
}

void kosp_filter_rbj::clear() {
    x1 = x2 = y1 = y2 = 0.0f;
}

float kosp_filter_rbj::process(float x) {
    const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    y2 = y1;
    y1 = y;
    x2 = x1;
    x1 = x;
    if (csd_is_zero_or_denormal(y2)) y2 = 0.0f;
    // Zeroing only the older output re-excites a decaying filter (the newer
    // one is no longer balanced by it), which then cycles around 1e-38 for
    // ever and keeps producing denormals. Once the output itself underflows
    // and the one before is negligible (some 600 dB down), the decay is over:
    // both output history values become 0 and the filter rests at exactly 0.
    if (csd_is_zero_or_denormal(y) && std::fabs(y2) < kNegligible) y1 = y2 = 0.0f;
    return y;
}

void kosp_filter_rbj::setResonanceNormalized(float n) {
    setResonance(10.0f * n + 1.0f);
}

void kosp_filter_rbj::recalculate() {
    constexpr double kTwoPi = 6.283185307179586;
    w0 = static_cast<float>(static_cast<double>(coefficientFrequency()) * kTwoPi /
                            static_cast<double>(samplingRate));
    cosW0 = std::cos(w0);
    sinW0 = std::sin(w0);
    alpha = std::sinh(1.0f / (2.0f * resonance)) * sinW0;
}

void kosp_filter_rbj_low_pass::recalculate() {
    kosp_filter_rbj::recalculate();
    const float a0 = 1.0f + alpha;
    a1 = -2.0f * cosW0 / a0;
    a2 = (1.0f - alpha) / a0;
    b0 = (1.0f - cosW0) / 2.0f / a0;
    b1 = (1.0f - cosW0) / a0;
    b2 = (1.0f - cosW0) / 2.0f / a0;
}

void kosp_filter_rbj_high_pass::recalculate() {
    kosp_filter_rbj::recalculate();
    const float a0 = 1.0f + alpha;
    a1 = -2.0f * cosW0 / a0;
    a2 = (1.0f - alpha) / a0;
    b0 = (1.0f + cosW0) / 2.0f / a0;
    b1 = -(1.0f + cosW0) / a0;
    b2 = (1.0f + cosW0) / 2.0f / a0;
}

void kosp_filter_rbj_band_pass::setResonanceNormalized(float n) {
    setResonance(7.0f * n + 1.0f);
}

void kosp_filter_rbj_band_pass::recalculate() {
    kosp_filter_rbj::recalculate();
    const float a0 = 1.0f + alpha;
    a1 = -2.0f * cosW0 / a0;
    a2 = (1.0f - alpha) / a0;
    b0 = alpha / a0;
    b1 = 0.0f;
    b2 = -alpha / a0;
}

float kosp_filter_rbj_band_pass_gain_comp::process(float x) {
    return kosp_filter_rbj::process(x) * ((resonance - 0.8f) * 0.2f + 1.2f);
}

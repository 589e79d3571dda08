#include "dsp/kosp_saturator.h"

void kosp_saturator::setSaturationAmount(float amount) {
    saturationAmount.store(amount, std::memory_order_relaxed);
}

kosp_saturator_inv_atan::kosp_saturator_inv_atan() {
    setSaturationAmount(0.001f);
}

void kosp_saturator_inv_atan::setSaturationAmount(float amount) {
    saturationAmount.store(amount, std::memory_order_relaxed);
    // (1 - 0.100002 a) / c(a), in single precision and in this order.
    const float gain = (amount * 0.7f * -0.14286f + 1.0f) / (amount / (amount * amount * 0.28f + 1.0f));
    makeupGain.store(gain, std::memory_order_relaxed);
}

float kosp_saturator_inv_atan::process(float x) {
    const float y = x * saturationAmount.load(std::memory_order_relaxed);
    return y / (y * y * 0.28f + 1.0f) * makeupGain.load(std::memory_order_relaxed);
}

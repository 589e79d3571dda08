#include "dsp/csd_utilities.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

std::atomic<float> gAudioSamplingRate{44100.0f};
std::atomic<float> gAudioSamplingRateReciprocal{0.0f};
std::atomic<float> gSamplesPerMillisecond{0.0f};
std::atomic<float> gMillisecondsPerSample{0.0f};

void csd_set_attr(int attributeId, float value) {
    if (attributeId != kCsdAttrSamplingRate) return;
    const float reciprocal = 1.0f / value;
    gAudioSamplingRate.store(value, std::memory_order_relaxed);
    gAudioSamplingRateReciprocal.store(reciprocal, std::memory_order_relaxed);
    gSamplesPerMillisecond.store(value * 0.001f, std::memory_order_relaxed);
    gMillisecondsPerSample.store(reciprocal * 0.001f, std::memory_order_relaxed);
}

void* csd_mem_alloc(std::size_t size) {
    void* p = std::malloc(size);
    if (p) std::memset(p, 0, size);
    return p;
}

void csd_mem_free(void* pointer) {
    std::free(pointer);
}

void* csd_mem_realloc(void* pointer, std::size_t size) {
    return std::realloc(pointer, size);
}

float csd_utilities_decibels2amplitude(float dB) {
    return static_cast<float>(std::pow(10.0, 0.05 * static_cast<double>(dB)));
}

// Process-wide sampling rate, memory helpers and decibel conversion shared by
// every DSP block of the effect.
#pragma once

#include <atomic>
#include <cstddef>

// Attribute ids of the plain DSP record convention.
enum : int {
    kCsdAttrSamplingRate = -100,
    kCsdAttrDampingCutoff = 200,
    kCsdAttrDownsampleRatio = 220,
    kCsdAttrDelayTimeGlide = 500,
    kCsdAttrDelayTimeJump = 514,
    kCsdAttrLagRise = 530,
    kCsdAttrLagFall = 531,
    kCsdAttrLagTarget = 540,
};

// One set per process: the last instance to set a rate decides it for all.
// Written from any host thread (constructor, Reset, Initialize, format change),
// read whenever a time, frequency or coefficient is set. Relaxed atomics keep
// concurrent instances well-defined without changing single-threaded results.
extern std::atomic<float> gAudioSamplingRate;
extern std::atomic<float> gAudioSamplingRateReciprocal;
extern std::atomic<float> gSamplesPerMillisecond;
extern std::atomic<float> gMillisecondsPerSample;

inline float csd_sampling_rate() {
    return gAudioSamplingRate.load(std::memory_order_relaxed);
}
inline float csd_sampling_rate_reciprocal() {
    return gAudioSamplingRateReciprocal.load(std::memory_order_relaxed);
}
inline float csd_samples_per_millisecond() {
    return gSamplesPerMillisecond.load(std::memory_order_relaxed);
}
inline float csd_milliseconds_per_sample() {
    return gMillisecondsPerSample.load(std::memory_order_relaxed);
}

// Only id -100 (sampling rate in Hz) is recognised; it sets all four globals.
void csd_set_attr(int attributeId, float value);

// malloc + zero fill; null on failure. Never called on the render thread.
void* csd_mem_alloc(std::size_t size);
void csd_mem_free(void* pointer);
// realloc; bytes beyond the old size are not cleared.
void* csd_mem_realloc(void* pointer, std::size_t size);

// 10^(0.05 dB), computed in double.
float csd_utilities_decibels2amplitude(float dB);

// True when every exponent bit of x is zero (zero or denormal).
inline bool csd_is_zero_or_denormal(float x) {
    unsigned bits;
    static_assert(sizeof bits == sizeof x);
    __builtin_memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7f800000u) == 0;
}

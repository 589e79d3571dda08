// Delay line and damping filter, per sample, at 44.1 kHz with the engine's
// 2010 ms maximum. Each iteration runs one 512-sample block; the "per_sample"
// counter is the time per sample.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <vector>

#include "dsp/csd_utilities.h"
#include "dsp/delay_fad.h"
#include "dsp/filter_butterworth_2P_LP.h"

namespace {

void BM_DelaySteady(benchmark::State& state) {
    csd_set_attr(kCsdAttrSamplingRate, 44100.0f);
    delay_fad d;
    delay_fad_init_max_time(&d, 2010);
    delay_fad_set_attr(&d, kCsdAttrDelayTimeGlide, 702.6f);
    const std::vector<float> in = benchNoiseBlock();
    for (auto _ : state) {
        for (float x : in)
            benchmark::DoNotOptimize(delay_fad_dsp(&d, x));
    }
    benchPerSample(state);
    delay_fad_free(&d);
}
BENCHMARK(BM_DelaySteady);

// The time changes every block, as when a delay-time knob is turned, so the read
// head is always re-pitching.
void BM_DelayGliding(benchmark::State& state) {
    csd_set_attr(kCsdAttrSamplingRate, 44100.0f);
    delay_fad d;
    delay_fad_init_max_time(&d, 2010);
    const std::vector<float> in = benchNoiseBlock();
    float ms = 300.0f;
    for (auto _ : state) {
        ms = ms > 1900.0f ? 300.0f : ms + 7.0f;
        delay_fad_set_attr(&d, kCsdAttrDelayTimeGlide, ms);
        for (float x : in)
            benchmark::DoNotOptimize(delay_fad_dsp(&d, x));
    }
    benchPerSample(state);
    delay_fad_free(&d);
}
BENCHMARK(BM_DelayGliding);

// Coefficients recomputed once per block, as the engine does for the damping.
void BM_ButterworthDamping(benchmark::State& state) {
    csd_set_attr(kCsdAttrSamplingRate, 44100.0f);
    filter_butterworth_2P_LP f;
    filter_butterworth_2P_LP_init(&f);
    const std::vector<float> in = benchNoiseBlock();
    for (auto _ : state) {
        filter_butterworth_2P_LP_set_attr(&f, kCsdAttrDampingCutoff, 5330.0f);
        for (float x : in)
            benchmark::DoNotOptimize(filter_butterworth_2P_LP_dsp(&f, x));
    }
    benchPerSample(state);
}
BENCHMARK(BM_ButterworthDamping);

} // namespace

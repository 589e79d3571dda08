// Filter classes and the saturator, per sample at 44.1 kHz, called through the
// base class as the render chain does. Each filter runs with a resting cut-off
// and with setFrequency given a new value before every sample (a gliding
// cut-off recomputes its coefficients every sample). Each iteration is one
// 512-sample block; the "per_sample" counter is the time per sample.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <memory>
#include <vector>

#include "dsp/kosp_filter_4PHP.h"
#include "dsp/kosp_filter_creakbox.h"
#include "dsp/kosp_filter_ko_moog.h"
#include "dsp/kosp_filter_rbj.h"
#include "dsp/kosp_saturator.h"

namespace {

template <class Filter, bool kGliding> void BM_Filter(benchmark::State& state) {
    std::unique_ptr<kosp_filter> owner = std::make_unique<Filter>();
    kosp_filter* filter = owner.get();
    benchmark::DoNotOptimize(filter); // keep the calls virtual
    filter->setFrequency(1000.0f);
    filter->setResonanceNormalized(0.5f);
    const std::vector<float> in = benchNoiseBlock();
    float hz = 1000.0f;
    for (auto _ : state) {
        for (float x : in) {
            if constexpr (kGliding) {
                // A slow exponential sweep 200 Hz .. 5 kHz, different every sample.
                hz = hz < 5000.0f ? hz * 1.0001f : 200.0f;
                filter->setFrequency(hz);
            } else {
                filter->setFrequency(1000.0f);
            }
            benchmark::DoNotOptimize(filter->process(x));
        }
    }
    benchPerSample(state);
}

void BM_Saturator(benchmark::State& state) {
    std::unique_ptr<kosp_saturator> owner = std::make_unique<kosp_saturator_inv_atan>();
    kosp_saturator* saturator = owner.get();
    benchmark::DoNotOptimize(saturator);
    saturator->setSaturationAmount(3.5f);
    const std::vector<float> in = benchNoiseBlock();
    for (auto _ : state) {
        for (float x : in)
            benchmark::DoNotOptimize(saturator->process(x));
    }
    benchPerSample(state);
}

#define FILTER_BENCH(Class)                                                                                  \
    BENCHMARK_TEMPLATE(BM_Filter, Class, false)->Name(#Class "/resting");                                    \
    BENCHMARK_TEMPLATE(BM_Filter, Class, true)->Name(#Class "/gliding")

FILTER_BENCH(kosp_filter_ko_moog);
FILTER_BENCH(kosp_filter_creakbox);
FILTER_BENCH(kosp_filter_rbj_low_pass);
FILTER_BENCH(kosp_filter_rbj_high_pass);
FILTER_BENCH(kosp_filter_rbj_band_pass_gain_comp);
FILTER_BENCH(kosp_filter_4PHP);
BENCHMARK(BM_Saturator);

} // namespace

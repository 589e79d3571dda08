// Shared input and counters for the per-sample DSP benchmarks: one 512-sample
// block of deterministic noise per iteration, reported as time per sample.
#pragma once

#include <benchmark/benchmark.h>

#include <vector>

constexpr int kBenchBlock = 512;

inline std::vector<float> benchNoiseBlock() {
    std::vector<float> in(kBenchBlock);
    unsigned seed = 12345;
    for (float& v : in) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return in;
}

inline void benchPerSample(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * kBenchBlock);
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(kBenchBlock),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

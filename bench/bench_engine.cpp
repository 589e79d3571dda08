// The whole effect, stereo (or mono) at 48 kHz in 512-frame blocks, through
// the component's render call: framework input pull plus the render chain.
// Counters: "per_frame" is the time per sample frame; "rt_factor" the share of
// real time one instance uses (0.01 = 1 % of one core).
#include <benchmark/benchmark.h>

#include "bench/engine_instance.h"

namespace {

constexpr UInt32 kBlock = 512;
constexpr double kRate = 48000.0;

// An instance fed with the 0.125-peak noise.
class Instance : public BenchInstance {
  public:
    explicit Instance(UInt32 channels) : BenchInstance(channels, kBlock, kRate) {}
    // Factory preset row 0, "Welcome To Morvane", delivered parameter by parameter.
    void welcome() {
        MorvaneParameterManager& table = effect().parameterTable();
        for (int32_t id = 0; id < kFactoryPresetValueCount; ++id)
            deliver(id, table.naturalValueFromVSTvalue(id, kPresetData[0][id]));
    }
};

void counters(benchmark::State& state) {
    using benchmark::Counter;
    state.counters["per_frame"] = Counter(kBlock, Counter::kIsIterationInvariantRate | Counter::kInvert);
    state.counters["rt_factor"] =
        Counter(kBlock / kRate, Counter::kIsIterationInvariantRate | Counter::kInvert);
}

// (a) The first factory preset's settings with both pads drifting (its
// velocities), the pads driving frequency, resonance, bitcrush and regeneration.
void BM_WelcomeDrifting(benchmark::State& state) {
    Instance instance(2);
    instance.welcome();
    for (auto _ : state)
        instance.render();
    counters(state);
}
BENCHMARK(BM_WelcomeDrifting);

// (b) "3P LP" with the cut-off swept every block, so it glides on every sample.
void BM_ThreePoleSweep(benchmark::State& state) {
    Instance instance(2);
    instance.welcome();
    instance.deliver(kFilterType, 1.0f);
    float hz = 100.0f;
    for (auto _ : state) {
        hz = hz > 10000.0f ? 100.0f : hz * 1.05f;
        instance.deliver(kFilterFreq, hz);
        instance.render();
    }
    counters(state);
}
BENCHMARK(BM_ThreePoleSweep);

// (c) Free delay times turned every block: both read heads keep re-pitching.
void BM_DelayGlide(benchmark::State& state) {
    Instance instance(2);
    instance.welcome();
    instance.deliver(kHostSync, 0.0f);
    float t = 0.1f;
    for (auto _ : state) {
        t = t > 0.9f ? 0.1f : t + 0.003f;
        instance.deliver(kLeftDelayTime, t);
        instance.render();
    }
    counters(state);
}
BENCHMARK(BM_DelayGlide);

// (d) Mono input and output with the first preset's settings.
void BM_WelcomeMono(benchmark::State& state) {
    Instance instance(1);
    instance.welcome();
    for (auto _ : state)
        instance.render();
    counters(state);
}
BENCHMARK(BM_WelcomeMono);

} // namespace

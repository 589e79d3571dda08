// The whole effect, stereo (or mono) at 48 kHz in 512-frame blocks, through
// the component's render call: framework input pull plus the render chain.
// Counters: "per_frame" is the time per sample frame; "rt_factor" the share of
// real time one instance uses (0.01 = 1 % of one core).
//
// With MORVANE_BENCH_BLOCKS=N every case renders exactly N timed blocks, once:
// bench/callgrind-engine.sh runs each case that way under callgrind, counting
// only the instructions inside BenchInstance::render, for instructions per
// frame that repeat from run to run on a busy machine.
#include <benchmark/benchmark.h>

#include <cstdlib>

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

void fixedBlocks(benchmark::internal::Benchmark* b) {
    if (const char* blocks = std::getenv("MORVANE_BENCH_BLOCKS")) b->Iterations(std::atoll(blocks));
}

// A sweep of the cut-off from 100 Hz to 10 kHz and back, a step per block.
float nextFrequency(float hz) {
    return hz > 10000.0f ? 100.0f : hz * 1.05f;
}
// Left Delay Time (free, 0..1 of its range) turned a little every block.
float nextDelayTime(float t) {
    return t > 0.9f ? 0.1f : t + 0.003f;
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
BENCHMARK(BM_WelcomeDrifting)->Apply(fixedBlocks);

// (b) "3P LP" with the cut-off swept every block, so it glides on every sample.
void BM_ThreePoleSweep(benchmark::State& state) {
    Instance instance(2);
    instance.welcome();
    instance.deliver(kFilterType, 1.0f);
    float hz = 100.0f;
    for (auto _ : state) {
        hz = nextFrequency(hz);
        instance.deliver(kFilterFreq, hz);
        instance.render();
    }
    counters(state);
}
BENCHMARK(BM_ThreePoleSweep)->Apply(fixedBlocks);

// (c) Free delay times turned every block: both read heads keep re-pitching.
void BM_DelayGlide(benchmark::State& state) {
    Instance instance(2);
    instance.welcome();
    instance.deliver(kHostSync, 0.0f);
    float t = 0.1f;
    for (auto _ : state) {
        t = nextDelayTime(t);
        instance.deliver(kLeftDelayTime, t);
        instance.render();
    }
    counters(state);
}
BENCHMARK(BM_DelayGlide)->Apply(fixedBlocks);

// (d) Mono input and output with the first preset's settings.
void BM_WelcomeMono(benchmark::State& state) {
    Instance instance(1);
    instance.welcome();
    for (auto _ : state)
        instance.render();
    counters(state);
}
BENCHMARK(BM_WelcomeMono)->Apply(fixedBlocks);

// (e) The worst case: (b) and (c) at once, with both pads drifting.
void BM_WorstCase(benchmark::State& state) {
    Instance instance(static_cast<UInt32>(state.range(0)));
    instance.welcome();
    instance.deliver(kFilterType, 1.0f);
    instance.deliver(kHostSync, 0.0f);
    float hz = 100.0f, t = 0.1f;
    for (auto _ : state) {
        hz = nextFrequency(hz);
        t = nextDelayTime(t);
        instance.deliver(kFilterFreq, hz);
        instance.deliver(kLeftDelayTime, t);
        instance.render();
    }
    counters(state);
}
BENCHMARK(BM_WorstCase)->ArgName("channels")->Arg(2)->Arg(1)->Apply(fixedBlocks);

} // namespace

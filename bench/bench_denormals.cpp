// Denormals: the time a block of decaying silence costs after a loud burst,
// against the same settings on noise. Signals that decay in the feedback
// loops, filters and smoothers pass through the denormal range on their way
// to 0, where a processor may take many times longer per operation; the chain
// flushes them, so silence must cost no more than noise.
//
// Each benchmark runs two instances of one factory preset at 44.1 kHz in
// 512-frame blocks and renders one block on each per iteration, timing them
// separately: one is fed steady noise; the other had one second of full-scale
// noise and then `age` seconds of silence before timing starts, and goes on
// decaying in silence. Interleaving the two and timing each by the thread's
// CPU clock keeps the comparison fair on a busy machine. Counters: "noise" and
// "silence", the CPU time per sample frame of each; "silence_vs_noise", their
// ratio.
#include <benchmark/benchmark.h>

#include <ctime>

#include "bench/engine_instance.h"

namespace {

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

constexpr UInt32 kBlock = 512;
constexpr double kRate = 44100.0;

// One preset per filter type, and the two mix extremes, whose gains glide to 0.
constexpr int kSettings[] = {
    0,  // "4P LP", pads drifting
    22, // "3P LP"
    1,  // "2P LP"
    5,  // "4P HP"
    16, // "2P HP"
    14, // "4P BP", long regeneration
    8,  // mix 0 %: the wet gain glides to 0
    10, // mix 100 %: the dry gain glides to 0
};

void BM_DecayingSilenceAgainstNoise(benchmark::State& state) {
    const int preset = kSettings[state.range(0)];
    const double age = static_cast<double>(state.range(1));
    const auto loud = BenchInstance::noiseBlock(2, kBlock, 1.0f);
    const std::vector<std::vector<float>> silence(2, std::vector<float>(kBlock, 0.0f));

    BenchInstance noisy(2, kBlock, kRate);
    noisy.preset(preset);
    noisy.renderFor(1.0);
    BenchInstance quiet(2, kBlock, kRate);
    quiet.preset(preset);
    quiet.setInput(&loud);
    quiet.renderFor(1.0);
    quiet.setInput(&silence);
    quiet.renderFor(age);

    double noise = 0.0, quietTime = 0.0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        noisy.render();
        const double t1 = threadSeconds();
        quiet.render();
        const double t2 = threadSeconds();
        noise += t1 - t0;
        quietTime += t2 - t1;
    }
    const double frames = static_cast<double>(state.iterations()) * kBlock;
    state.counters["noise"] = noise / frames;
    state.counters["silence"] = quietTime / frames;
    state.counters["silence_vs_noise"] = noise > 0.0 ? quietTime / noise : 0.0;
    state.SetLabel(kPresets[preset].name);
}

// Ages in seconds of silence: the start of the decay, the loops' last echoes
// and filter tails passing the denormal range, and long after.
BENCHMARK(BM_DecayingSilenceAgainstNoise)
    ->ArgsProduct({benchmark::CreateDenseRange(0, static_cast<int>(std::size(kSettings)) - 1, 1),
                   {0, 20, 90, 180}})
    ->ArgNames({"preset_slot", "age_s"});

} // namespace

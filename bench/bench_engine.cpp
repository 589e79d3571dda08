// The whole effect, stereo (or mono) at 48 kHz in 512-frame blocks, through
// the component's render call: framework input pull plus the render chain.
// Counters: "per_frame" is the time per sample frame; "rt_factor" the share of
// real time one instance uses (0.01 = 1 % of one core).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "params/factory_presets.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, BenchMorvaneEntry)

namespace {

constexpr UInt32 kBlock = 512;
constexpr double kRate = 48000.0;

// One open, initialised instance fed with noise through its input callback.
class Instance {
  public:
    explicit Instance(UInt32 channels) : channels(channels), noise(channels, std::vector<float>(kBlock)) {
        const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"),
                                        0, 0};
        MorvaneOpenComponent(&BenchMorvaneEntry, &desc, &unit);
        const AudioStreamBasicDescription format = MorvaneCanonicalFormat(kRate, channels);
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                             sizeof format);
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                             sizeof format);
        UInt32 frames = kBlock;
        AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                             &frames, sizeof frames);
        AURenderCallbackStruct input{&Instance::Input, this};
        AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &input,
                             sizeof input);
        AudioUnitInitialize(unit);
        unsigned seed = 77;
        for (auto& ch : noise)
            for (float& v : ch) {
                seed = seed * 1664525u + 1013904223u;
                v = 0.25f * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
            }
        for (auto& ch : out)
            ch.resize(kBlock);
    }
    ~Instance() {
        AudioUnitUninitialize(unit);
        CloseComponent(unit);
    }

    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(unit)); }

    // As the host's listener delivers a change.
    void deliver(int32_t id, float natural) {
        const AudioUnitParameter p{unit, static_cast<AudioUnitParameterID>(id), kAudioUnitScope_Global, 0};
        effect().ParameterListener(&effect(), &effect(), &p, natural);
    }
    // Factory preset row 0, "Welcome To Morvane", delivered parameter by parameter.
    void welcome() {
        MorvaneParameterManager& table = effect().parameterTable();
        for (int32_t id = 0; id < kFactoryPresetValueCount; ++id)
            deliver(id, table.naturalValueFromVSTvalue(id, kPresetData[0][id]));
    }

    void render() {
        AudioBufferListStorage<2> buffers;
        buffers.setNumberBuffers(channels);
        for (UInt32 c = 0; c < channels; ++c)
            buffers.setChannel(c, out[c].data(), kBlock);
        AudioTimeStamp time{};
        time.mSampleTime = sampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        AudioUnitRender(unit, &flags, &time, 0, kBlock, buffers.get());
        sampleTime += kBlock;
        benchmark::DoNotOptimize(out[0][kBlock - 1]);
    }

  private:
    static OSStatus Input(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                          UInt32 frames, AudioBufferList* data) {
        auto* instance = static_cast<Instance*>(self);
        for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
            if (data->mBuffers[c].mData == nullptr)
                data->mBuffers[c].mData = instance->noise[c].data();
            else
                std::copy_n(instance->noise[c].data(), frames, static_cast<float*>(data->mBuffers[c].mData));
            data->mBuffers[c].mDataByteSize = frames * sizeof(float);
        }
        return noErr;
    }

    AudioUnit unit = nullptr;
    UInt32 channels;
    std::vector<std::vector<float>> noise;
    std::vector<float> out[2];
    double sampleTime = 0.0;
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

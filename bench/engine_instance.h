// One open, initialised effect instance for the whole-chain benchmarks: the
// component's render call (framework input pull plus the render chain) in
// fixed-size blocks, its input pulled from a block the benchmark chooses.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "params/factory_presets.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, BenchMorvaneEntry)

class BenchInstance {
  public:
    // Deterministic noise of peak `amplitude`, one block per channel.
    static std::vector<std::vector<float>> noiseBlock(UInt32 channels, UInt32 frames, float amplitude) {
        std::vector<std::vector<float>> noise(channels, std::vector<float>(frames));
        unsigned seed = 77;
        for (auto& ch : noise)
            for (float& v : ch) {
                seed = seed * 1664525u + 1013904223u;
                v = 2.0f * amplitude * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
            }
        return noise;
    }

    BenchInstance(UInt32 channels, UInt32 block, double rate)
        : channels(channels), block(block), rate(rate), noise(noiseBlock(channels, block, 0.125f)),
          input(&noise) {
        const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"),
                                        0, 0};
        MorvaneOpenComponent(&BenchMorvaneEntry, &desc, &unit);
        const AudioStreamBasicDescription format = MorvaneCanonicalFormat(rate, channels);
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                             sizeof format);
        AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                             sizeof format);
        UInt32 frames = block;
        AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                             &frames, sizeof frames);
        AURenderCallbackStruct callback{&BenchInstance::Input, this};
        AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                             sizeof callback);
        AudioUnitInitialize(unit);
        for (auto& ch : out)
            ch.resize(block);
    }
    ~BenchInstance() {
        AudioUnitUninitialize(unit);
        CloseComponent(unit);
    }
    BenchInstance(const BenchInstance&) = delete;
    BenchInstance& operator=(const BenchInstance&) = delete;

    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(unit)); }

    // As the host's listener delivers a change.
    void deliver(int32_t id, float natural) {
        const AudioUnitParameter p{unit, static_cast<AudioUnitParameterID>(id), kAudioUnitScope_Global, 0};
        effect().ParameterListener(&effect(), &effect(), &p, natural);
    }
    // Factory preset `row` as a host selects it: velocities, ranges, routing and
    // recordings, then every value delivered.
    void preset(int row) {
        const AUPreset record{row, nullptr};
        effect().NewFactoryPresetSet(record);
        MorvaneParameterManager& table = effect().parameterTable();
        for (int32_t id = 0; id < kFactoryPresetValueCount; ++id)
            deliver(id, table.naturalValueFromVSTvalue(id, kPresetData[row][id]));
    }

    // The block every channel's input is pulled from (kept alive by the caller);
    // the instance's own 0.125-peak noise by default.
    void setInput(const std::vector<std::vector<float>>* block) { input = block ? block : &noise; }

    // One block through the component's render call. Not inlined, so that
    // callgrind can count exactly the instructions spent in it
    // (--toggle-collect='*BenchInstance::render()'); set-up renders go
    // through renderFor instead.
    [[gnu::noinline]] void render() { renderBlock(); }
    // Renders `seconds` of audio (untimed set-up).
    void renderFor(double seconds) {
        for (double frames = seconds * rate; frames > 0.0; frames -= block)
            renderBlock();
    }

    const std::vector<float>& output(UInt32 channel) const { return out[channel]; }

  private:
    void renderBlock() {
        AudioBufferListStorage<2> buffers;
        buffers.setNumberBuffers(channels);
        for (UInt32 c = 0; c < channels; ++c)
            buffers.setChannel(c, out[c].data(), block);
        AudioTimeStamp time{};
        time.mSampleTime = sampleTime;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        AudioUnitRender(unit, &flags, &time, 0, block, buffers.get());
        sampleTime += block;
        benchmark::DoNotOptimize(out[0][block - 1]);
    }

    static OSStatus Input(void* self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                          UInt32 frames, AudioBufferList* data) {
        auto* instance = static_cast<BenchInstance*>(self);
        for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
            const float* source = (*instance->input)[c].data();
            if (data->mBuffers[c].mData == nullptr)
                data->mBuffers[c].mData = const_cast<float*>(source);
            else
                std::copy_n(source, frames, static_cast<float*>(data->mBuffers[c].mData));
            data->mBuffers[c].mDataByteSize = frames * sizeof(float);
        }
        return noErr;
    }

    AudioUnit unit = nullptr;
    UInt32 channels;
    UInt32 block;
    double rate;
    std::vector<std::vector<float>> noise;
    const std::vector<std::vector<float>>* input;
    std::vector<float> out[2];
    double sampleTime = 0.0;
};

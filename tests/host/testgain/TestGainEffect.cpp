#include "tests/host/testgain/TestGainEffect.h"

#include <cstring>

#include "host/ComponentDispatch.h"
#include "params/ParameterValueStrings.h"

const char* const TestGainParameters::kModeNames[3] = {"Soft", "Medium", "Hard"};

TestGainParameters::TestGainParameters() {
    newParameter(kTestGain, "Output Gain Factor", "Gain", "", 0.0f, 2.0f, 1.0f, kParamLinear);
    newParameter(kTestMute, "Mute", "Mute", "", 0.0f, 1.0f, 0.0f, kParamOnOff);
    newParameter(kTestMode, "Mode", "Mode", "", 0.0f, 2.0f, 1.0f, kParamIndexed);
    newParameter(kTestDepth, "Depth", "Depth", "%", 0.0f, 100.0f, 50.0f, kParamPercent);
    newParameter(kTestTime, "Echo Time", "Time", "ms", 10.0f, 1000.0f, 0.25f, kParamSyncTimeNorm);
    newParameter(kTestHidden, "Hidden", "Hidden", "", 0.0f, 1.0f, 0.5f, kParamLinear);
}

namespace {

const AUPreset kPresets[kTestGainPresetCount] = {
    {0, CFSTR("Unity")}, {1, CFSTR("Half")}, {2, CFSTR("Silent")}};

// Natural values of the published parameters, per preset.
const float kPresetValues[kTestGainPresetCount][kTestPublishedCount] = {
    {1.0f, 0.0f, 1.0f, 50.0f, 0.25f},
    {0.5f, 0.0f, 2.0f, 25.0f, 0.5f},
    {1.0f, 1.0f, 0.0f, 0.0f, 0.75f},
};

} // namespace

TestGain_AU::TestGain_AU(AudioComponentInstance component)
    : ko_AUEffectBase(component, mParameters, kTestGainViewSubType, kTestGainPresetCount, true) {}

OSStatus TestGain_AU::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                      AudioUnitElement inElement, UInt32& outDataSize, Boolean& outWritable) {
    if (inScope == kAudioUnitScope_Global && inID == kTestGainLogProperty) {
        outDataSize = sizeof(TestGainLog*);
        outWritable = false;
        return noErr;
    }
    if (inScope == kAudioUnitScope_Global && inID == kTestGainBroadcastProperty) {
        outDataSize = sizeof(TestGainBroadcast);
        outWritable = true;
        return noErr;
    }
    return ko_AUEffectBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus TestGain_AU::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, void* outData) {
    if (inScope == kAudioUnitScope_Global && inID == kTestGainLogProperty) {
        TestGainLog* log = &mLog;
        std::memcpy(outData, &log, sizeof log);
        return noErr;
    }
    return ko_AUEffectBase::GetProperty(inID, inScope, inElement, outData);
}

OSStatus TestGain_AU::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (inScope == kAudioUnitScope_Global && inID == kTestGainBroadcastProperty) {
        if (inData == nullptr || inDataSize < sizeof(TestGainBroadcast))
            return kAudioUnitErr_InvalidPropertyValue;
        TestGainBroadcast change;
        std::memcpy(&change, inData, sizeof change);
        mParameters.setNaturalValue(int32_t(change.id), change.value);
        BroadcastParameterChange(change.id, change.value);
        return noErr;
    }
    return ko_AUEffectBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
}

OSStatus TestGain_AU::GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                               CFArrayRef* outStrings) {
    const bool hasNames = inParameterID == kTestMode;
    return ko_GetParameterValueStrings(inScope, outStrings,
                                       hasNames ? TestGainParameters::kModeNames : nullptr, hasNames ? 3 : 0);
}

OSStatus TestGain_AU::ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags, const AudioBufferList& in,
                                         AudioBufferList& out, UInt32 frames) {
    Float64 beat = 0.0, tempo = 0.0;
    const OSStatus status = CallHostBeatAndTempo(&beat, &tempo);
    mLog.beatStatus.store(status);
    mLog.beat.store(beat);
    mLog.tempo.store(tempo);

    const float gainValue = mParameters.getNaturalValue(kTestGain);
    const float gain = mParameters.getNaturalValue(kTestMute) >= 0.5f ? 0.0f : gainValue;
    mLog.gainAtLastRender.store(gainValue);
    for (UInt32 c = 0; c < out.mNumberBuffers && c < in.mNumberBuffers; ++c) {
        const float* source = static_cast<const float*>(in.mBuffers[c].mData);
        float* dest = static_cast<float*>(out.mBuffers[c].mData);
        for (UInt32 i = 0; i < frames; ++i)
            dest[i] = source[i] * gain;
        out.mBuffers[c].mDataByteSize = frames * UInt32(sizeof(float));
    }
    ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    mLog.renders.fetch_add(1);
    return noErr;
}

const AUPreset* TestGain_AU::GetOnePreset(UInt32 index) {
    return index < kTestGainPresetCount ? &kPresets[index] : nullptr;
}

void TestGain_AU::ParameterListener(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                                    Float32 inValue) {
    const AudioUnitParameterID id = inParameter->mParameterID;
    if (id < kTestRegisteredCount) {
        mLog.listenerCalls[id].fetch_add(1);
        mLog.listenerValue[id].store(inValue);
    }
    ko_AUEffectBase::ParameterListener(inRefCon, inObject, inParameter, inValue);
}

float TestGain_AU::GetPresetParameterValue(UInt16 preset, AudioUnitParameterID id) {
    if (preset >= kTestGainPresetCount || id >= kTestPublishedCount) return 0.0f;
    return kPresetValues[preset][id];
}

const char* TestGain_AU::GetPresetName(UInt16 preset) const {
    static const char* const names[kTestGainPresetCount] = {"Unity", "Half", "Silent"};
    return preset < kTestGainPresetCount ? names[preset] : "";
}

COMPONENT_ENTRY_NAMED(TestGain_AU, MorvaneTestGain_AUEntry)

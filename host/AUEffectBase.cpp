#include "host/AUEffectBase.h"

#include <cstring>

AUEffectBase::AUEffectBase(AudioComponentInstance audioUnit, bool inProcessesInPlace)
    : AUBase(audioUnit, 1, 1), mProcessesInPlace(inProcessesInPlace) {}

AUEffectBase::~AUEffectBase() = default;

// Whether a table entry admits the configuration. Negative entries are the
// platform's wildcards: -1 matches when input and output counts are equal,
// -2 (or any other negative) matches any count on that side.
static bool ChannelsMatch(const AUChannelInfo& entry, SInt16 in, SInt16 out) {
    if (entry.inChannels == -1 && entry.outChannels == -1) return in == out;
    if (entry.inChannels == -1 || entry.outChannels == -1) {
        const SInt16 fixed = entry.inChannels == -1 ? entry.outChannels : entry.inChannels;
        const SInt16 other = entry.inChannels == -1 ? out : in;
        return fixed < 0 || fixed == other;
    }
    const bool inOk = entry.inChannels < 0 || entry.inChannels == in;
    const bool outOk = entry.outChannels < 0 || entry.outChannels == out;
    return inOk && outOk;
}

OSStatus AUEffectBase::Initialize() {
    const SInt16 inputs = SInt16(GetInput(0)->NumberChannels());
    const SInt16 outputs = SInt16(GetOutput(0)->NumberChannels());
    const AUChannelInfo* table = nullptr;
    const UInt32 n = SupportedNumChannels(&table);
    if (n > 0 && table != nullptr) {
        bool found = false;
        for (UInt32 i = 0; i < n && !found; ++i)
            found = ChannelsMatch(table[i], inputs, outputs);
        if (!found) return kAudioUnitErr_FormatNotSupported;
    } else if (inputs != outputs) {
        return kAudioUnitErr_FormatNotSupported;
    }
    if (GetInput(0)->GetStreamFormat().mSampleRate != GetOutput(0)->GetStreamFormat().mSampleRate)
        return kAudioUnitErr_FormatNotSupported;
    return noErr;
}

OSStatus AUEffectBase::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                       AudioUnitElement inElement, UInt32& outDataSize,
                                       Boolean& outWritable) {
    if (inScope == kAudioUnitScope_Global &&
        (inID == kAudioUnitProperty_BypassEffect || inID == kAudioUnitProperty_InPlaceProcessing)) {
        outDataSize = sizeof(UInt32);
        outWritable = true;
        return noErr;
    }
    return AUBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus AUEffectBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, void* outData) {
    if (inScope == kAudioUnitScope_Global &&
        (inID == kAudioUnitProperty_BypassEffect || inID == kAudioUnitProperty_InPlaceProcessing)) {
        const UInt32 value =
            inID == kAudioUnitProperty_BypassEffect ? ShouldBypassEffect() : ProcessesInPlace();
        std::memcpy(outData, &value, sizeof value);
        return noErr;
    }
    return AUBase::GetProperty(inID, inScope, inElement, outData);
}

OSStatus AUEffectBase::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (inScope == kAudioUnitScope_Global &&
        (inID == kAudioUnitProperty_BypassEffect || inID == kAudioUnitProperty_InPlaceProcessing)) {
        if (inData == nullptr || inDataSize < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        UInt32 value;
        std::memcpy(&value, inData, sizeof value);
        const bool flag = value != 0;
        if (inID == kAudioUnitProperty_InPlaceProcessing) {
            SetProcessesInPlace(flag);
            return noErr;
        }
        if (flag != ShouldBypassEffect()) {
            // Leaving bypass starts the effect from a clean state.
            if (!flag && IsInitialized()) Reset(kAudioUnitScope_Global, 0);
            SetBypassEffect(flag);
        }
        return noErr;
    }
    return AUBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
}

AudioUnitParameterValue AUEffectBase::GetParameter(AudioUnitParameterID paramID) {
    AUElement* globals = Globals();
    return globals != nullptr ? globals->GetParameter(paramID) : 0.0f;
}

void AUEffectBase::SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value) {
    if (AUElement* globals = Globals()) globals->SetParameter(paramID, value);
}

// Copies each input buffer to the output buffer of the same index (when they
// are not already the same memory).
static void CopyBuffers(const AudioBufferList& in, AudioBufferList& out, UInt32 frames) {
    const UInt32 n = in.mNumberBuffers < out.mNumberBuffers ? in.mNumberBuffers : out.mNumberBuffers;
    for (UInt32 i = 0; i < n; ++i) {
        if (in.mBuffers[i].mData != out.mBuffers[i].mData)
            std::memcpy(out.mBuffers[i].mData, in.mBuffers[i].mData, frames * sizeof(float));
        out.mBuffers[i].mDataByteSize = frames * UInt32(sizeof(float));
    }
}

OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList& in,
                                          AudioBufferList& out, UInt32 frames) {
    CopyBuffers(in, out, frames);
    return noErr;
}

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                              UInt32 nFrames) {
    AUInputElement* input = GetInput(0);
    AUOutputElement* output = GetOutput(0);
    if (!input->IsActive()) return kAudioUnitErr_NoConnection;
    AudioBufferList& out = output->GetBufferList();
    // In place: the input is pulled straight into the output buffers.
    AudioBufferList& in = ProcessesInPlace() && input->NumberChannels() == output->NumberChannels()
                              ? input->SetBufferList(out)
                              : input->PrepareBuffer(nFrames);
    const OSStatus result = input->PullInput(ioActionFlags, inTimeStamp, 0, nFrames, in);
    if (result != noErr) return result;
    if (ShouldBypassEffect()) {
        CopyBuffers(in, out, nFrames);
        return noErr;
    }
    return ProcessBufferLists(ioActionFlags, in, out, nFrames);
}

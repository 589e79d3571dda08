// The generic effect: one input and one output element, in-place processing,
// bypass, and a render entry that pulls the input and hands both buffer lists
// to ProcessBufferLists.
#pragma once

#include "host/AUBase.h"

class AUEffectBase : public AUBase {
  public:
    explicit AUEffectBase(AudioComponentInstance audioUnit, bool inProcessesInPlace = true);
    ~AUEffectBase() override;

    // Host thread: checks the channel configuration (the table of
    // SupportedNumChannels when there is one, else equal input and output
    // counts) and equal input and output sample rates.
    OSStatus Initialize() override;
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         const void* inData, UInt32 inDataSize) override;

    // Render thread: the effect's audio callback. `in` and `out` hold one buffer
    // per channel; they are the same list when processing in place. The base
    // copies input to output.
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                        const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                        UInt32 inFramesToProcess);

    // Render thread: pulls the input, then bypasses (copies input to output) or
    // calls ProcessBufferLists.
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 nFrames) override;

    // Global-scope parameter store, element 0 (any thread; stores without
    // notifying listeners).
    using AUBase::GetParameter;
    using AUBase::SetParameter;
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID);
    void SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value);

    // Any thread.
    bool ShouldBypassEffect() const { return mBypassEffect.load(std::memory_order_relaxed); }
    virtual void SetBypassEffect(bool inFlag) { mBypassEffect.store(inFlag, std::memory_order_relaxed); }
    bool ProcessesInPlace() const { return mProcessesInPlace.load(std::memory_order_relaxed); }
    void SetProcessesInPlace(bool inProcessesInPlace) {
        mProcessesInPlace.store(inProcessesInPlace, std::memory_order_relaxed);
    }

  private:
    std::atomic<bool> mBypassEffect{false};
    std::atomic<bool> mProcessesInPlace;
};

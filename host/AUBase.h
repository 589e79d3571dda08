// The generic unit: scopes and elements, the parameter store, stream formats,
// property dispatch, presets, generic state and the render entry.
//
// Sources: AUBase.cpp (the unit, properties, lifecycle, render and selector
// dispatch), AUBaseElements.cpp (scopes and elements) and AUBaseState.cpp (the
// generic state dictionary and its parameter blob).
//
// Threads. Render() and everything it reaches run on the render thread and
// neither allocate nor lock. Properties, presets, state and
// initialisation run on host threads other than the render thread.
// Parameter values are atomics and may be read and written from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "host/AUBaseElements.h"
#include "host/AudioUnitTypes.h"
#include "host/ComponentEntry.h"

// The slice length a unit accepts until the host says otherwise.
enum : UInt32 { kAUDefaultMaxFramesPerSlice = 1156 };

class AUBase {
  public:
    AUBase(AudioComponentInstance inInstance, UInt32 numInputElements, UInt32 numOutputElements,
           UInt32 numGroupElements = 0);

    // Operations a unit may override, in this slot order.
    virtual ~AUBase();
    virtual UInt32 Version() { return 0x00010000; }
    // Called once right after construction: creates the elements.
    virtual void PostConstructor() { CreateElements(); }
    // Host thread. The base checks nothing and succeeds.
    virtual OSStatus Initialize() { return noErr; }
    // Host thread: undoes Initialize.
    virtual void Cleanup() {}
    virtual OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) { return noErr; }
    // Property dispatch. The base answers the generic properties; overrides
    // handle their own ids and pass the rest down.
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize, Boolean& outWritable);
    // outData holds at least the size GetPropertyInfo gave.
    virtual OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 void* outData);
    virtual OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 const void* inData, UInt32 inDataSize);
    // Base: no parameter info (kAudioUnitErr_InvalidParameter).
    virtual OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      AudioUnitParameterInfo& outParameterInfo);
    // The generic state dictionary; the caller releases *outData.
    virtual OSStatus SaveState(CFPropertyListRef* outData);
    virtual OSStatus RestoreState(CFPropertyListRef inData);
    // Base: no value strings (kAudioUnitErr_InvalidProperty).
    virtual OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                              CFArrayRef* outStrings);
    // Base: no factory presets (kAudioUnitErr_InvalidProperty).
    virtual OSStatus GetPresets(CFArrayRef* outData);
    virtual OSStatus NewFactoryPresetSet(const AUPreset& inNewFactoryPreset);
    virtual UInt32 GetNumCustomUIComponents() { return 0; }
    virtual void GetUIComponentDescs(ComponentDescription* inDescArray) {}
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool SupportsTail() { return false; }
    // Number of channel configurations and (optionally) the table; 0 = any.
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) { return 0; }
    // Base: linear PCM, native 32-bit float, non-interleaved, 1 to kAUMaxChannels
    // channels, a positive finite rate.
    virtual bool ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                             const AudioStreamBasicDescription& inNewFormat);
    // Stores the new format on the element.
    virtual OSStatus ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                        const AudioStreamBasicDescription& inPrevFormat,
                                        const AudioStreamBasicDescription& inNewFormat);
    // Further framework operations.
    virtual Float64 GetLatency() { return 0.0; }
    virtual OSStatus GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue& outValue);
    // Stores the value in the parameter store, held within the range
    // GetParameterRange gives; notifies no listener. A value that is not a
    // number or is infinite is refused (kAudioUnitErr_InvalidParameterValue).
    virtual OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                  UInt32 inBufferOffsetInFrames);
    // Render thread: produce `frames` frames for output bus `bus` into
    // GetOutput(bus)'s buffer list.
    virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                            UInt32 inNumberFrames) {
        return noErr;
    }
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) {
        return !IsInitialized();
    }
    virtual AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element);
    // The range a parameter's stored values are held to. Any thread, the render
    // thread included: no allocation, no lock. The base has none (false).
    virtual bool GetParameterRange(AudioUnitScope inScope, AudioUnitParameterID inID,
                                   AudioUnitParameterValue& outMinimum, AudioUnitParameterValue& outMaximum) {
        return false;
    }

    // Framework services.
    AudioComponentInstance GetComponentInstance() const { return mComponentInstance; }
    const ComponentDescription& GetComponentDescription() const { return mComponentDescription; }
    void CreateElements();
    // Null for a scope the unit does not have.
    AUScope* GetScope(AudioUnitScope scope);
    // Null when the scope or element does not exist.
    AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element);
    AUIOElement* GetIOElement(AudioUnitScope scope, AudioUnitElement element);
    AUElement* Globals() { return mGlobal.GetElement(0); }
    AUInputElement* GetInput(AudioUnitElement element);
    AUOutputElement* GetOutput(AudioUnitElement element);
    // Sample rate of output 0 (any thread); 44100 before the elements exist.
    Float64 GetSampleRate();
    bool IsInitialized() const { return mInitialized.load(std::memory_order_acquire); }
    UInt32 GetMaxFramesPerSlice() const { return mMaxFramesPerSlice.load(std::memory_order_relaxed); }

    // Marks a factory preset as current (host threads). False for a negative number.
    bool SetAFactoryPresetAsCurrent(const AUPreset& inPreset);
    // The current preset with a retained name the caller releases.
    AUPreset CopyCurrentPreset() const;

    // Render thread: the host's beat position and tempo (bpm), or
    // kAudioUnitErr_CannotDoInCurrentContext when the host gave no callback.
    OSStatus CallHostBeatAndTempo(Float64* outCurrentBeat, Float64* outCurrentTempo);

    // Entry points used by the component dispatch.
    OSStatus DoInitialize();
    void DoCleanup();
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32* outDataSize, Boolean* outWritable);
    OSStatus DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 void* outData, UInt32* ioDataSize);
    OSStatus DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 const void* inData, UInt32 inDataSize);
    // Render thread.
    OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                      UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData);
    // Selector dispatch for the component entry. Never throws past the entry.
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUBase* This);
    // Called before the object is destroyed through the close selector.
    void PreDestructor() { DoCleanup(); }

    static constexpr Float64 kDefaultSampleRate = 44100.0;

  protected:
    void SetMaxFramesPerSlice(UInt32 frames) { mMaxFramesPerSlice.store(frames, std::memory_order_relaxed); }
    // Records a render failure for kAudioUnitProperty_LastRenderError.
    void SetLastRenderError(OSStatus error) {
        if (error != noErr) mLastRenderError.store(error, std::memory_order_relaxed);
    }

  private:
    // A preset chosen by name only (a user preset): number -1, "Untitled" for null.
    void SetUserPreset(CFStringRef name);
    void ReallocateBuffers();
    void DeallocateBuffers();
    void WriteParameterBlob(std::vector<UInt8>& blob);
    bool ApplyParameterBlob(const UInt8* bytes, size_t length);
    AudioUnitParameterValue ClampToPublishedRange(AudioUnitScope scope, AudioUnitParameterID id,
                                                  AudioUnitParameterValue value);

    AudioComponentInstance mComponentInstance;
    ComponentDescription mComponentDescription{};
    UInt32 mInitialNumInputs, mInitialNumOutputs, mInitialNumGroups;
    bool mElementsCreated = false;
    AUScope mGlobal, mInputs, mOutputs, mGroups;
    std::atomic<bool> mInitialized{false};
    std::atomic<UInt32> mMaxFramesPerSlice{kAUDefaultMaxFramesPerSlice};
    std::atomic<OSStatus> mLastRenderError{noErr};
    AURenderShared<HostCallbackInfo> mHostCallbacks;
    mutable std::mutex mPresetLock;
    AUPreset mCurrentPreset{-1, nullptr};
};

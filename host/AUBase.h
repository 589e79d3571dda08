// The generic unit: scopes and elements, the parameter store, stream formats,
// property dispatch, presets, generic state and the render entry.
//
// Threads. Render() and everything it reaches run on the render thread and
// neither allocate nor lock. Properties, presets, state and
// initialisation run on host threads other than the render thread.
// Parameter values are atomics and may be read and written from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "host/AudioUnitTypes.h"
#include "host/ComponentEntry.h"

class AUBase;

// The slice length a unit accepts until the host says otherwise.
enum : UInt32 { kAUDefaultMaxFramesPerSlice = 1156 };

// A value the host sets rarely and the render thread reads: every set
// publishes a new copy; old copies live until the owner is destroyed, so a
// reader never sees a half-written record.
template <class T> class AURenderShared {
  public:
    // Host thread. Allocates.
    void Set(const T& value) {
        std::lock_guard<std::mutex> guard(lock_);
        history_.push_back(std::make_unique<T>(value));
        current_.store(history_.back().get(), std::memory_order_release);
    }
    // Any thread; null until the first Set.
    const T* Get() const { return current_.load(std::memory_order_acquire); }

  private:
    std::mutex lock_; // between setting host threads only
    std::vector<std::unique_ptr<T>> history_;
    std::atomic<const T*> current_{nullptr};
};

// An element of a scope: a parameter store and an optional name.
class AUElement {
  public:
    explicit AUElement(AUBase& audioUnit) : mAudioUnit(audioUnit) {}
    virtual ~AUElement();
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    AUBase& GetAudioUnit() const { return mAudioUnit; }

    // Makes the element hold parameters 0 .. n - 1, all 0. Only while the unit
    // is being set up (constructor or PostConstructor), never while rendering.
    void UseIndexedParameters(UInt32 n);
    UInt32 GetNumberOfParameters() const { return mParameterCount; }
    bool HasParameter(AudioUnitParameterID id) const { return id < mParameterCount; }
    // Any thread, lock-free. Unknown ids read 0 and are not stored.
    AudioUnitParameterValue GetParameter(AudioUnitParameterID id) const;
    void SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value);

    // Element name (host threads). Null when unnamed. Get returns a borrowed reference.
    CFStringRef GetName() const;
    void SetName(CFStringRef name);
    bool HasName() const { return GetName() != nullptr; }

  private:
    AUBase& mAudioUnit;
    std::unique_ptr<std::atomic<float>[]> mParameters;
    UInt32 mParameterCount = 0;
    mutable std::mutex mNameLock;
    CFStringRef mName = nullptr;
};

// An input or output element: a stream format and a buffer for that many
// channels of up to the unit's maximum slice.
class AUIOElement : public AUElement {
  public:
    explicit AUIOElement(AUBase& audioUnit);

    const AudioStreamBasicDescription& GetStreamFormat() const { return mStreamFormat; }
    // Host thread, while the unit is not rendering.
    virtual OSStatus SetStreamFormat(const AudioStreamBasicDescription& format);
    UInt32 NumberChannels() const { return mStreamFormat.mChannelsPerFrame; }

    // Host thread: sizes the element's own buffer for maxFrames frames.
    void AllocateBuffer(UInt32 maxFrames);
    void DeallocateBuffer();
    // Render thread: points the buffer list at the element's own memory for
    // `frames` frames and returns it.
    AudioBufferList& PrepareBuffer(UInt32 frames);
    // Render thread: points the buffer list at the caller's buffers.
    AudioBufferList& SetBufferList(const AudioBufferList& buffers);
    AudioBufferList& GetBufferList() { return mBufferList.list(); }
    float* GetChannelData(UInt32 channel);

  private:
    AudioStreamBasicDescription mStreamFormat;
    std::vector<float> mBufferMemory;
    UInt32 mBufferFrames = 0;
    AudioBufferListStorage<kAUMaxChannels> mBufferList;
};

// An input element: where the unit pulls its input from.
class AUInputElement : public AUIOElement {
  public:
    using AUIOElement::AUIOElement;
    // Host thread.
    void SetInputCallback(AURenderCallback proc, void* refCon);
    bool IsActive() const;
    // Render thread: fills `buffers` (pointers may be replaced by the callback)
    // with the input for `frames` frames.
    OSStatus PullInput(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                       AudioUnitElement element, UInt32 frames, AudioBufferList& buffers);

  private:
    AURenderShared<AURenderCallbackStruct> mCallback;
};

class AUOutputElement : public AUIOElement {
  public:
    using AUIOElement::AUIOElement;
};

// The elements of one scope.
class AUScope {
  public:
    void Initialize(AUBase* audioUnit, AudioUnitScope scope, UInt32 numElements);
    UInt32 GetNumberOfElements() const { return UInt32(mElements.size()); }
    AUElement* GetElement(UInt32 index) const {
        return index < mElements.size() ? mElements[index].get() : nullptr;
    }
    AUIOElement* GetIOElement(UInt32 index) const;
    AudioUnitScope GetScope() const { return mScope; }
    bool HasElementWithName() const;

  private:
    AudioUnitScope mScope = kAudioUnitScope_Global;
    std::vector<std::unique_ptr<AUElement>> mElements;
};

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
    // Stores the value in the parameter store; notifies no listener.
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

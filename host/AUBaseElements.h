// Scopes and elements of a unit: each element holds a parameter store and an
// optional name; input and output elements add a stream format, a buffer and
// (inputs) the callback the unit pulls its audio from.
//
// Threads: as AUBase.h. Parameter values are atomics (any thread); formats,
// buffers and callbacks are set on host threads while the unit does not render.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/AudioUnitTypes.h"

class AUBase;

// A value the host sets rarely and the render thread reads (a render or host
// callback record), kept in two slots: a set writes the slot readers are not
// using and then makes it current, so a reader never sees a half-written
// record, and however often the host sets it only two copies exist.
//
// A reader announces itself on the slot it is about to read and checks that
// the slot is still current; a setter waits (on its own host thread) until no
// reader is announced on the slot it is about to overwrite. Readers never wait
// and never lock.
template <class T> class AURenderShared {
  public:
    // Host thread. Waits for readers of the slot it replaces (a copy's length).
    void Set(const T& value) {
        std::lock_guard<std::mutex> guard(lock_);
        const unsigned next = 1u - current_.load(std::memory_order_seq_cst);
        while (readers_[next].load(std::memory_order_seq_cst) != 0)
            std::this_thread::yield();
        slots_[next] = value;
        current_.store(next, std::memory_order_seq_cst);
    }
    // Any thread: a copy of the last value set (value-initialised before the first Set).
    T Get() const {
        for (;;) {
            const unsigned slot = current_.load(std::memory_order_seq_cst);
            readers_[slot].fetch_add(1, std::memory_order_seq_cst);
            if (current_.load(std::memory_order_seq_cst) == slot) {
                const T copy = slots_[slot];
                readers_[slot].fetch_sub(1, std::memory_order_release);
                return copy;
            }
            // A set made the other slot current meanwhile: this one may be rewritten.
            readers_[slot].fetch_sub(1, std::memory_order_release);
        }
    }

  private:
    std::mutex lock_; // between setting host threads only
    T slots_[2]{};
    std::atomic<unsigned> current_{0};
    mutable std::atomic<unsigned> readers_[2]{};
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

#include "host/AUBaseElements.h"

#include "host/AUBase.h"

AUElement::~AUElement() {
    if (mName != nullptr) CFRelease(mName);
}

void AUElement::UseIndexedParameters(UInt32 n) {
    mParameters = std::make_unique<std::atomic<float>[]>(n);
    for (UInt32 i = 0; i < n; ++i)
        mParameters[i].store(0.0f, std::memory_order_relaxed);
    mParameterCount = n;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID id) const {
    return id < mParameterCount ? mParameters[id].load(std::memory_order_relaxed) : 0.0f;
}

void AUElement::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) {
    if (id < mParameterCount) mParameters[id].store(value, std::memory_order_relaxed);
}

CFStringRef AUElement::GetName() const {
    std::lock_guard<std::mutex> guard(mNameLock);
    return mName;
}

void AUElement::SetName(CFStringRef name) {
    if (name != nullptr) CFRetain(name);
    CFStringRef old;
    {
        std::lock_guard<std::mutex> guard(mNameLock);
        old = mName;
        mName = name;
    }
    if (old != nullptr) CFRelease(old);
}

AUIOElement::AUIOElement(AUBase& audioUnit)
    : AUElement(audioUnit), mStreamFormat(MorvaneCanonicalFormat(AUBase::kDefaultSampleRate, 2)) {
    mBufferList.setNumberBuffers(mStreamFormat.mChannelsPerFrame);
}

OSStatus AUIOElement::SetStreamFormat(const AudioStreamBasicDescription& format) {
    if (format.mChannelsPerFrame == 0 || format.mChannelsPerFrame > kAUMaxChannels)
        return kAudioUnitErr_FormatNotSupported;
    mStreamFormat = format;
    mBufferList.setNumberBuffers(format.mChannelsPerFrame);
    return noErr;
}

void AUIOElement::AllocateBuffer(UInt32 maxFrames) {
    mBufferMemory.assign(size_t(maxFrames) * NumberChannels(), 0.0f);
    mBufferFrames = maxFrames;
}

void AUIOElement::DeallocateBuffer() {
    std::vector<float>().swap(mBufferMemory);
    mBufferFrames = 0;
}

float* AUIOElement::GetChannelData(UInt32 channel) {
    if (channel >= NumberChannels() || mBufferMemory.empty()) return nullptr;
    return mBufferMemory.data() + size_t(channel) * mBufferFrames;
}

AudioBufferList& AUIOElement::PrepareBuffer(UInt32 frames) {
    const UInt32 channels = NumberChannels();
    mBufferList.setNumberBuffers(channels);
    const UInt32 usable = frames <= mBufferFrames ? frames : mBufferFrames;
    for (UInt32 i = 0; i < channels; ++i)
        mBufferList.setChannel(i, GetChannelData(i), usable);
    return mBufferList.list();
}

AudioBufferList& AUIOElement::SetBufferList(const AudioBufferList& buffers) {
    const UInt32 n = buffers.mNumberBuffers < kAUMaxChannels ? buffers.mNumberBuffers : kAUMaxChannels;
    AudioBufferList& list = mBufferList.list();
    list.mNumberBuffers = n;
    for (UInt32 i = 0; i < n; ++i)
        list.mBuffers[i] = buffers.mBuffers[i];
    return list;
}

void AUInputElement::SetInputCallback(AURenderCallback proc, void* refCon) {
    mCallback.Set(AURenderCallbackStruct{proc, refCon});
}

bool AUInputElement::IsActive() const {
    return mCallback.Get().inputProc != nullptr;
}

OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                                   AudioUnitElement element, UInt32 frames, AudioBufferList& buffers) {
    const AURenderCallbackStruct cb = mCallback.Get();
    if (cb.inputProc == nullptr) return kAudioUnitErr_NoConnection;
    const UInt32 count = buffers.mNumberBuffers;
    OSStatus result = cb.inputProc(cb.inputProcRefCon, &flags, &timeStamp, element, frames, &buffers);
    if (result != noErr) return result;
    // The callback may swap in its own buffers, but must deliver all of them.
    if (buffers.mNumberBuffers != count) return kAudioUnitErr_InvalidPropertyValue;
    for (UInt32 i = 0; i < count; ++i) {
        if (buffers.mBuffers[i].mData == nullptr ||
            buffers.mBuffers[i].mDataByteSize < frames * sizeof(float))
            return kAudioUnitErr_InvalidPropertyValue;
    }
    return noErr;
}

void AUScope::Initialize(AUBase* audioUnit, AudioUnitScope scope, UInt32 numElements) {
    mScope = scope;
    mElements.clear();
    for (UInt32 i = 0; i < numElements; ++i)
        mElements.emplace_back(audioUnit->CreateElement(scope, i));
}

AUIOElement* AUScope::GetIOElement(UInt32 index) const {
    if (mScope != kAudioUnitScope_Input && mScope != kAudioUnitScope_Output) return nullptr;
    return static_cast<AUIOElement*>(GetElement(index));
}

bool AUScope::HasElementWithName() const {
    for (const auto& element : mElements)
        if (element->HasName()) return true;
    return false;
}

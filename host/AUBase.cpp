#include "host/AUBase.h"

#include <cmath>
#include <cstring>

namespace {

constexpr UInt32 kMaxFramesPerSliceLimit = 1u << 16;
constexpr Float64 kMaxSampleRate = 768000.0;

} // namespace

// ---------------------------------------------------------------------------
// The unit

AUBase::AUBase(AudioComponentInstance inInstance, UInt32 numInputElements, UInt32 numOutputElements,
               UInt32 numGroupElements)
    : mComponentInstance(inInstance), mInitialNumInputs(numInputElements),
      mInitialNumOutputs(numOutputElements), mInitialNumGroups(numGroupElements) {
    if (inInstance != nullptr) GetComponentInstanceDescription(inInstance, &mComponentDescription);
    mCurrentPreset.presetName = CFSTR("Untitled");
}

AUBase::~AUBase() {
    if (mCurrentPreset.presetName != nullptr) CFRelease(mCurrentPreset.presetName);
}

AUElement* AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement) {
    switch (scope) {
    case kAudioUnitScope_Input:
        return new AUInputElement(*this);
    case kAudioUnitScope_Output:
        return new AUOutputElement(*this);
    default:
        return new AUElement(*this);
    }
}

void AUBase::CreateElements() {
    if (mElementsCreated) return;
    mGlobal.Initialize(this, kAudioUnitScope_Global, 1);
    mInputs.Initialize(this, kAudioUnitScope_Input, mInitialNumInputs);
    mOutputs.Initialize(this, kAudioUnitScope_Output, mInitialNumOutputs);
    mGroups.Initialize(this, kAudioUnitScope_Group, mInitialNumGroups);
    mElementsCreated = true;
}

AUScope* AUBase::GetScope(AudioUnitScope scope) {
    switch (scope) {
    case kAudioUnitScope_Global:
        return &mGlobal;
    case kAudioUnitScope_Input:
        return &mInputs;
    case kAudioUnitScope_Output:
        return &mOutputs;
    case kAudioUnitScope_Group:
        return &mGroups;
    default:
        return nullptr;
    }
}

AUElement* AUBase::GetElement(AudioUnitScope scope, AudioUnitElement element) {
    AUScope* s = GetScope(scope);
    return s != nullptr ? s->GetElement(element) : nullptr;
}

AUIOElement* AUBase::GetIOElement(AudioUnitScope scope, AudioUnitElement element) {
    // The global scope's stream format is that of output 0.
    if (scope == kAudioUnitScope_Global) return element == 0 ? mOutputs.GetIOElement(0) : nullptr;
    AUScope* s = GetScope(scope);
    return s != nullptr ? s->GetIOElement(element) : nullptr;
}

AUInputElement* AUBase::GetInput(AudioUnitElement element) {
    return static_cast<AUInputElement*>(mInputs.GetIOElement(element));
}

AUOutputElement* AUBase::GetOutput(AudioUnitElement element) {
    return static_cast<AUOutputElement*>(mOutputs.GetIOElement(element));
}

Float64 AUBase::GetSampleRate() {
    AUOutputElement* out = GetOutput(0);
    return out != nullptr ? out->GetStreamFormat().mSampleRate : kDefaultSampleRate;
}

bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement, const AudioStreamBasicDescription& f) {
    if (f.mFormatID != kAudioFormatLinearPCM) return false;
    if (!(f.mSampleRate > 0.0) || !(f.mSampleRate <= kMaxSampleRate)) return false;
    if ((f.mFormatFlags & kAudioFormatFlagIsFloat) == 0) return false;
    if ((f.mFormatFlags & (kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsSignedInteger)) != 0) return false;
    if (f.mChannelsPerFrame == 0 || f.mChannelsPerFrame > kAUMaxChannels) return false;
    if (f.mChannelsPerFrame > 1 && (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0) return false;
    return f.mBitsPerChannel == 32 && f.mBytesPerFrame == 4 && f.mFramesPerPacket == 1 &&
           f.mBytesPerPacket == 4;
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                    const AudioStreamBasicDescription&,
                                    const AudioStreamBasicDescription& inNewFormat) {
    AUIOElement* element = GetIOElement(inScope, inElement);
    if (element == nullptr) return kAudioUnitErr_InvalidElement;
    return element->SetStreamFormat(inNewFormat);
}

OSStatus AUBase::GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                              AudioUnitParameterValue& outValue) {
    if (GetScope(inScope) == nullptr) return kAudioUnitErr_InvalidScope;
    AUElement* element = GetElement(inScope, inElement);
    if (element == nullptr) return kAudioUnitErr_InvalidElement;
    if (!element->HasParameter(inID)) return kAudioUnitErr_InvalidParameter;
    outValue = element->GetParameter(inID);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                              AudioUnitParameterValue inValue, UInt32) {
    if (GetScope(inScope) == nullptr) return kAudioUnitErr_InvalidScope;
    AUElement* element = GetElement(inScope, inElement);
    if (element == nullptr) return kAudioUnitErr_InvalidElement;
    if (!element->HasParameter(inID)) return kAudioUnitErr_InvalidParameter;
    // The store is what hosts read back, what a saved state keeps and what
    // the unit's listener hears: it holds no value the unit cannot use.
    if (!std::isfinite(inValue)) return kAudioUnitErr_InvalidParameterValue;
    AudioUnitParameterValue minimum = 0, maximum = 0;
    if (GetParameterRange(inScope, inID, minimum, maximum) && minimum <= maximum)
        inValue = inValue < minimum ? minimum : inValue > maximum ? maximum : inValue;
    element->SetParameter(inID, inValue);
    return noErr;
}

OSStatus AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&) {
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetPresets(CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) {
    return kAudioUnitErr_InvalidProperty;
}

bool AUBase::SetAFactoryPresetAsCurrent(const AUPreset& inPreset) {
    if (inPreset.presetNumber < 0) return false;
    CFStringRef name = inPreset.presetName != nullptr ? inPreset.presetName : CFSTR("Untitled");
    CFRetain(name);
    CFStringRef old;
    {
        std::lock_guard<std::mutex> guard(mPresetLock);
        old = mCurrentPreset.presetName;
        mCurrentPreset.presetNumber = inPreset.presetNumber;
        mCurrentPreset.presetName = name;
    }
    if (old != nullptr) CFRelease(old);
    return true;
}

AUPreset AUBase::CopyCurrentPreset() const {
    std::lock_guard<std::mutex> guard(mPresetLock);
    AUPreset copy = mCurrentPreset;
    if (copy.presetName != nullptr) CFRetain(copy.presetName);
    return copy;
}

void AUBase::SetUserPreset(CFStringRef name) {
    if (name == nullptr) name = CFSTR("Untitled");
    CFRetain(name);
    CFStringRef old;
    {
        std::lock_guard<std::mutex> guard(mPresetLock);
        old = mCurrentPreset.presetName;
        mCurrentPreset.presetNumber = -1;
        mCurrentPreset.presetName = name;
    }
    if (old != nullptr) CFRelease(old);
}

OSStatus AUBase::CallHostBeatAndTempo(Float64* outCurrentBeat, Float64* outCurrentTempo) {
    const HostCallbackInfo info = mHostCallbacks.Get();
    if (info.beatAndTempoProc == nullptr) return kAudioUnitErr_CannotDoInCurrentContext;
    return info.beatAndTempoProc(info.hostUserData, outCurrentBeat, outCurrentTempo);
}

// ---------------------------------------------------------------------------
// Properties

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 UInt32& outDataSize, Boolean& outWritable) {
    outWritable = false;
    if (GetScope(inScope) == nullptr) return kAudioUnitErr_InvalidScope;
    const bool global = inScope == kAudioUnitScope_Global;
    switch (inID) {
    case kAudioUnitProperty_ClassInfo:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(CFPropertyListRef);
        outWritable = true;
        return noErr;
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat:
        if (GetIOElement(inScope, inElement) == nullptr) return kAudioUnitErr_InvalidElement;
        outDataSize =
            inID == kAudioUnitProperty_SampleRate ? sizeof(Float64) : sizeof(AudioStreamBasicDescription);
        outWritable = StreamFormatWritable(inScope, inElement);
        return noErr;
    case kAudioUnitProperty_ParameterList: {
        AUElement* element = GetElement(inScope, 0);
        outDataSize = UInt32((element != nullptr ? element->GetNumberOfParameters() : 0) *
                             sizeof(AudioUnitParameterID));
        return noErr;
    }
    case kAudioUnitProperty_ParameterInfo:
        outDataSize = sizeof(AudioUnitParameterInfo);
        return noErr;
    case kAudioUnitProperty_ElementCount:
        outDataSize = sizeof(UInt32);
        return noErr;
    case kAudioUnitProperty_Latency:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(Float64);
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        if (!global) return kAudioUnitErr_InvalidScope;
        const UInt32 n = SupportedNumChannels(nullptr);
        if (n == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = UInt32(n * sizeof(AUChannelInfo));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(UInt32);
        outWritable = !IsInitialized();
        return noErr;
    case kAudioUnitProperty_ParameterValueStrings:
        if (GetParameterValueStrings(inScope, inElement, nullptr) != noErr)
            return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(CFArrayRef);
        return noErr;
    case kAudioUnitProperty_GetUIComponentList: {
        if (!global) return kAudioUnitErr_InvalidScope;
        const UInt32 n = GetNumCustomUIComponents();
        if (n == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = UInt32(n * sizeof(ComponentDescription));
        return noErr;
    }
    case kAudioUnitProperty_TailTime:
        if (!global) return kAudioUnitErr_InvalidScope;
        if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(Float64);
        return noErr;
    case kAudioUnitProperty_LastRenderError:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(OSStatus);
        return noErr;
    case kAudioUnitProperty_SetRenderCallback:
        if (inScope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        if (GetInput(inElement) == nullptr) return kAudioUnitErr_InvalidElement;
        outDataSize = sizeof(AURenderCallbackStruct);
        outWritable = true;
        return noErr;
    case kAudioUnitProperty_FactoryPresets:
        if (!global) return kAudioUnitErr_InvalidScope;
        if (GetPresets(nullptr) != noErr) return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(CFArrayRef);
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(HostCallbackInfo);
        outWritable = true;
        return noErr;
    case kAudioUnitProperty_ElementName:
        if (GetElement(inScope, inElement) == nullptr) return kAudioUnitErr_InvalidElement;
        outDataSize = sizeof(CFStringRef);
        outWritable = true;
        return noErr;
    case kAudioUnitProperty_PresentPreset:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(AUPreset);
        outWritable = true;
        return noErr;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             void* outData) {
    switch (inID) {
    case kAudioUnitProperty_ClassInfo:
        return SaveState(static_cast<CFPropertyListRef*>(outData));
    case kAudioUnitProperty_SampleRate: {
        const Float64 rate = GetIOElement(inScope, inElement)->GetStreamFormat().mSampleRate;
        std::memcpy(outData, &rate, sizeof rate);
        return noErr;
    }
    case kAudioUnitProperty_StreamFormat: {
        const AudioStreamBasicDescription& f = GetIOElement(inScope, inElement)->GetStreamFormat();
        std::memcpy(outData, &f, sizeof f);
        return noErr;
    }
    case kAudioUnitProperty_ParameterList: {
        AUElement* element = GetElement(inScope, 0);
        const UInt32 n = element != nullptr ? element->GetNumberOfParameters() : 0;
        auto* ids = static_cast<AudioUnitParameterID*>(outData);
        for (UInt32 i = 0; i < n; ++i)
            ids[i] = i;
        return noErr;
    }
    case kAudioUnitProperty_ParameterInfo: {
        auto* info = static_cast<AudioUnitParameterInfo*>(outData);
        std::memset(info, 0, sizeof *info);
        return GetParameterInfo(inScope, inElement, *info);
    }
    case kAudioUnitProperty_ElementCount: {
        const UInt32 n = GetScope(inScope)->GetNumberOfElements();
        std::memcpy(outData, &n, sizeof n);
        return noErr;
    }
    case kAudioUnitProperty_Latency: {
        const Float64 latency = GetLatency();
        std::memcpy(outData, &latency, sizeof latency);
        return noErr;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo* table = nullptr;
        const UInt32 n = SupportedNumChannels(&table);
        if (table == nullptr) return kAudioUnitErr_InvalidProperty;
        std::memcpy(outData, table, n * sizeof(AUChannelInfo));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        const UInt32 frames = GetMaxFramesPerSlice();
        std::memcpy(outData, &frames, sizeof frames);
        return noErr;
    }
    case kAudioUnitProperty_ParameterValueStrings:
        return GetParameterValueStrings(inScope, inElement, static_cast<CFArrayRef*>(outData));
    case kAudioUnitProperty_GetUIComponentList:
        GetUIComponentDescs(static_cast<ComponentDescription*>(outData));
        return noErr;
    case kAudioUnitProperty_TailTime: {
        const Float64 tail = GetTailTime();
        std::memcpy(outData, &tail, sizeof tail);
        return noErr;
    }
    case kAudioUnitProperty_LastRenderError: {
        // Reading the error clears it.
        const OSStatus error = mLastRenderError.exchange(noErr, std::memory_order_relaxed);
        std::memcpy(outData, &error, sizeof error);
        return noErr;
    }
    case kAudioUnitProperty_FactoryPresets:
        return GetPresets(static_cast<CFArrayRef*>(outData));
    case kAudioUnitProperty_HostCallbacks: {
        const HostCallbackInfo copy = mHostCallbacks.Get();
        std::memcpy(outData, &copy, sizeof copy);
        return noErr;
    }
    case kAudioUnitProperty_ElementName: {
        AUElement* element = GetElement(inScope, inElement);
        CFStringRef name = element->GetName();
        if (name == nullptr) return kAudioUnitErr_PropertyNotInUse;
        CFRetain(name);
        std::memcpy(outData, &name, sizeof name);
        return noErr;
    }
    case kAudioUnitProperty_PresentPreset: {
        const AUPreset preset = CopyCurrentPreset();
        std::memcpy(outData, &preset, sizeof preset);
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             const void* inData, UInt32 inDataSize) {
    if (GetScope(inScope) == nullptr) return kAudioUnitErr_InvalidScope;
    const bool global = inScope == kAudioUnitScope_Global;
    switch (inID) {
    case kAudioUnitProperty_ClassInfo: {
        if (!global) return kAudioUnitErr_InvalidScope;
        if (inData == nullptr || inDataSize < sizeof(CFPropertyListRef))
            return kAudioUnitErr_InvalidPropertyValue;
        CFPropertyListRef state;
        std::memcpy(&state, inData, sizeof state);
        return RestoreState(state);
    }
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat: {
        AUIOElement* element = GetIOElement(inScope, inElement);
        if (element == nullptr) return kAudioUnitErr_InvalidElement;
        AudioStreamBasicDescription format = element->GetStreamFormat();
        if (inID == kAudioUnitProperty_SampleRate) {
            if (inData == nullptr || inDataSize < sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
            std::memcpy(&format.mSampleRate, inData, sizeof(Float64));
        } else {
            if (inData == nullptr || inDataSize < sizeof format) return kAudioUnitErr_InvalidPropertyValue;
            std::memcpy(&format, inData, sizeof format);
        }
        const AudioStreamBasicDescription previous = element->GetStreamFormat();
        if (std::memcmp(&format, &previous, sizeof format) == 0) return noErr;
        if (!StreamFormatWritable(inScope, inElement)) return kAudioUnitErr_Initialized;
        const AudioUnitScope scope = global ? kAudioUnitScope_Output : inScope;
        if (!ValidFormat(scope, inElement, format)) return kAudioUnitErr_FormatNotSupported;
        return ChangeStreamFormat(scope, inElement, previous, format);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        if (!global) return kAudioUnitErr_InvalidScope;
        if (inData == nullptr || inDataSize < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        UInt32 frames;
        std::memcpy(&frames, inData, sizeof frames);
        if (frames == GetMaxFramesPerSlice()) return noErr;
        // Buffers are sized at initialisation; changing them under a running
        // render would reallocate on the render path.
        if (IsInitialized()) return kAudioUnitErr_Initialized;
        if (frames == 0 || frames > kMaxFramesPerSliceLimit) return kAudioUnitErr_InvalidPropertyValue;
        SetMaxFramesPerSlice(frames);
        return noErr;
    }
    case kAudioUnitProperty_SetRenderCallback: {
        if (inScope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        AUInputElement* input = GetInput(inElement);
        if (input == nullptr) return kAudioUnitErr_InvalidElement;
        if (inData == nullptr || inDataSize < sizeof(AURenderCallbackStruct))
            return kAudioUnitErr_InvalidPropertyValue;
        AURenderCallbackStruct cb;
        std::memcpy(&cb, inData, sizeof cb);
        input->SetInputCallback(cb.inputProc, cb.inputProcRefCon);
        return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
        if (!global) return kAudioUnitErr_InvalidScope;
        // No record removes the callbacks. Older hosts pass a shorter record
        // (the user data and the first callbacks): take what is there, the
        // rest stays null. A record that cuts a pointer in two is refused.
        HostCallbackInfo info{};
        constexpr UInt32 kPointer = sizeof(void*);
        if (inDataSize != 0 &&
            (inDataSize < 2 * kPointer || (inDataSize < sizeof info && inDataSize % kPointer != 0)))
            return kAudioUnitErr_InvalidPropertyValue;
        if (inData != nullptr)
            std::memcpy(&info, inData, inDataSize < sizeof info ? inDataSize : sizeof info);
        mHostCallbacks.Set(info);
        return noErr;
    }
    case kAudioUnitProperty_ElementName: {
        AUElement* element = GetElement(inScope, inElement);
        if (element == nullptr) return kAudioUnitErr_InvalidElement;
        // A null string clears the name; a record too short for one is refused.
        CFStringRef name = nullptr;
        if (inData == nullptr || inDataSize < sizeof name) return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(&name, inData, sizeof name);
        if (name != nullptr && CFGetTypeID(name) != CFStringGetTypeID())
            return kAudioUnitErr_InvalidPropertyValue;
        element->SetName(name);
        return noErr;
    }
    case kAudioUnitProperty_PresentPreset: {
        if (!global) return kAudioUnitErr_InvalidScope;
        if (inData == nullptr || inDataSize < sizeof(AUPreset)) return kAudioUnitErr_InvalidPropertyValue;
        AUPreset preset;
        std::memcpy(&preset, inData, sizeof preset);
        if (preset.presetNumber >= 0) return NewFactoryPresetSet(preset);
        if (preset.presetName != nullptr && CFGetTypeID(preset.presetName) != CFStringGetTypeID())
            return kAudioUnitErr_InvalidPropertyValue;
        SetUserPreset(preset.presetName);
        return noErr;
    }
    case kAudioUnitProperty_ParameterList:
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_ElementCount:
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_SupportedNumChannels:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_GetUIComponentList:
    case kAudioUnitProperty_TailTime:
    case kAudioUnitProperty_LastRenderError:
    case kAudioUnitProperty_FactoryPresets:
        return kAudioUnitErr_PropertyNotWritable;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement, UInt32* outDataSize,
                                         Boolean* outWritable) {
    UInt32 size = 0;
    Boolean writable = false;
    const OSStatus result = GetPropertyInfo(inID, inScope, inElement, size, writable);
    if (result != noErr) return result;
    if (outDataSize != nullptr) *outDataSize = size;
    if (outWritable != nullptr) *outWritable = writable;
    return noErr;
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    if (ioDataSize == nullptr) return paramErr;
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus result = GetPropertyInfo(inID, inScope, inElement, size, writable);
    if (result != noErr) return result;
    if (outData == nullptr) {
        *ioDataSize = size;
        return noErr;
    }
    // A buffer smaller than the property is refused rather than filled in
    // part: half a pointer or a cut-off record is worse than an error.
    if (*ioDataSize < size) return kAudioUnitErr_InvalidPropertyValue;
    result = GetProperty(inID, inScope, inElement, outData);
    if (result == noErr) *ioDataSize = size;
    return result;
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (inData == nullptr && inDataSize > 0) return paramErr;
    return SetProperty(inID, inScope, inElement, inData, inDataSize);
}

// ---------------------------------------------------------------------------
// Lifecycle and rendering

void AUBase::ReallocateBuffers() {
    const UInt32 frames = GetMaxFramesPerSlice();
    for (UInt32 i = 0; i < mInputs.GetNumberOfElements(); ++i)
        GetInput(i)->AllocateBuffer(frames);
    for (UInt32 i = 0; i < mOutputs.GetNumberOfElements(); ++i)
        GetOutput(i)->AllocateBuffer(frames);
}

void AUBase::DeallocateBuffers() {
    for (UInt32 i = 0; i < mInputs.GetNumberOfElements(); ++i)
        GetInput(i)->DeallocateBuffer();
    for (UInt32 i = 0; i < mOutputs.GetNumberOfElements(); ++i)
        GetOutput(i)->DeallocateBuffer();
}

OSStatus AUBase::DoInitialize() {
    if (IsInitialized()) return noErr;
    CreateElements();
    ReallocateBuffers();
    const OSStatus result = Initialize();
    if (result != noErr) {
        DeallocateBuffers();
        return result;
    }
    mInitialized.store(true, std::memory_order_release);
    return noErr;
}

void AUBase::DoCleanup() {
    if (!IsInitialized()) return;
    Cleanup();
    mInitialized.store(false, std::memory_order_release);
    DeallocateBuffers();
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                          UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData) {
    OSStatus result = noErr;
    AUOutputElement* output = GetOutput(inBusNumber);
    if (!IsInitialized()) {
        result = kAudioUnitErr_Uninitialized;
    } else if (output == nullptr) {
        result = kAudioUnitErr_InvalidElement;
    } else if (inNumberFrames > GetMaxFramesPerSlice()) {
        result = kAudioUnitErr_TooManyFramesToProcess;
    } else if (ioData.mNumberBuffers != output->NumberChannels()) {
        result = paramErr;
    }
    if (result != noErr) {
        SetLastRenderError(result);
        return result;
    }

    // Either every buffer comes from the host, or none does (the unit's own).
    const UInt32 channels = ioData.mNumberBuffers;
    UInt32 provided = 0;
    for (UInt32 i = 0; i < channels; ++i) {
        const AudioBuffer& b = ioData.mBuffers[i];
        if (b.mData == nullptr) continue;
        if (b.mDataByteSize < inNumberFrames * sizeof(float)) {
            SetLastRenderError(paramErr);
            return paramErr;
        }
        ++provided;
    }
    if (provided != 0 && provided != channels) {
        SetLastRenderError(paramErr);
        return paramErr;
    }
    if (provided == 0) {
        const AudioBufferList& own = output->PrepareBuffer(inNumberFrames);
        for (UInt32 i = 0; i < channels; ++i)
            ioData.mBuffers[i] = own.mBuffers[i];
    }
    for (UInt32 i = 0; i < channels; ++i)
        ioData.mBuffers[i].mDataByteSize = inNumberFrames * UInt32(sizeof(float));
    output->SetBufferList(ioData);

    result = Render(ioActionFlags, inTimeStamp, inNumberFrames);
    if (result != noErr) SetLastRenderError(result);
    return result;
}

// ---------------------------------------------------------------------------
// Component dispatch

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters* params, AUBase* This) {
    if (params == nullptr || This == nullptr) return paramErr;
    const ComponentArgument* a = params->args;
    auto need = [params](UInt16 n) { return params->count >= n; };
    switch (params->what) {
    case kComponentCanDoSelect:
        if (!need(1)) return paramErr;
        switch (a[0].s32) {
        case kComponentOpenSelect:
        case kComponentCloseSelect:
        case kComponentCanDoSelect:
        case kComponentVersionSelect:
        case kAudioUnitInitializeSelect:
        case kAudioUnitUninitializeSelect:
        case kAudioUnitGetPropertyInfoSelect:
        case kAudioUnitGetPropertySelect:
        case kAudioUnitSetPropertySelect:
        case kAudioUnitGetParameterSelect:
        case kAudioUnitSetParameterSelect:
        case kAudioUnitResetSelect:
        case kAudioUnitRenderSelect:
            return 1;
        default:
            return 0;
        }
    case kComponentVersionSelect:
        return OSStatus(This->Version());
    case kAudioUnitInitializeSelect:
        return This->DoInitialize();
    case kAudioUnitUninitializeSelect:
        This->DoCleanup();
        return noErr;
    case kAudioUnitResetSelect:
        if (!need(2)) return paramErr;
        if (This->GetScope(a[0].u32) == nullptr) return kAudioUnitErr_InvalidScope;
        if (This->GetElement(a[0].u32, a[1].u32) == nullptr) return kAudioUnitErr_InvalidElement;
        return This->Reset(a[0].u32, a[1].u32);
    case kAudioUnitGetPropertyInfoSelect:
        if (!need(5)) return paramErr;
        return This->DispatchGetPropertyInfo(a[0].u32, a[1].u32, a[2].u32, static_cast<UInt32*>(a[3].ptr),
                                             static_cast<Boolean*>(a[4].ptr));
    case kAudioUnitGetPropertySelect:
        if (!need(5)) return paramErr;
        return This->DispatchGetProperty(a[0].u32, a[1].u32, a[2].u32, a[3].ptr,
                                         static_cast<UInt32*>(a[4].ptr));
    case kAudioUnitSetPropertySelect:
        if (!need(5)) return paramErr;
        return This->DispatchSetProperty(a[0].u32, a[1].u32, a[2].u32, a[3].cptr, a[4].u32);
    case kAudioUnitGetParameterSelect: {
        if (!need(4) || a[3].ptr == nullptr) return paramErr;
        AudioUnitParameterValue value = 0;
        const OSStatus result = This->GetParameter(a[0].u32, a[1].u32, a[2].u32, value);
        if (result == noErr) *static_cast<AudioUnitParameterValue*>(a[3].ptr) = value;
        return result;
    }
    case kAudioUnitSetParameterSelect:
        if (!need(5)) return paramErr;
        return This->SetParameter(a[0].u32, a[1].u32, a[2].u32, a[3].f32, a[4].u32);
    case kAudioUnitRenderSelect:
        if (!need(5) || a[0].ptr == nullptr || a[1].cptr == nullptr || a[4].ptr == nullptr) return paramErr;
        return This->DoRender(*static_cast<AudioUnitRenderActionFlags*>(a[0].ptr),
                              *static_cast<const AudioTimeStamp*>(a[1].cptr), a[2].u32, a[3].u32,
                              *static_cast<AudioBufferList*>(a[4].ptr));
    default:
        return badComponentSelector;
    }
}

#include "params/ko_AUEffectBase.h"

#include <cstring>

#include "dsp/csd_utilities.h"

namespace {

constexpr OSType kViewManufacturer = MorvaneFourCC("Qnlw");
constexpr Float64 kHighestStandardRate = 48000.0;
constexpr int32_t kLongNameLength = 40;
constexpr Float32 kListenerInterval = 0.01f;

const AUChannelInfo kChannelConfigurations[2] = {{1, 1}, {2, 2}};

// Copies UTF-8 text into a fixed field, cutting at a character boundary so
// the field never ends in half a character, and always terminating it.
void CopyUTF8(char* field, size_t fieldSize, const char* text) {
    size_t length = std::strlen(text);
    if (length >= fieldSize) {
        length = fieldSize - 1;
        while (length > 0 && (UInt8(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, text, length);
    field[length] = '\0';
}

CFStringRef CreateLongName(ko_paramManager& manager, AudioUnitParameterID id) {
    char name[kLongNameLength + 1] = {};
    manager.getName(int32_t(id), name, kLongNameLength);
    return CFStringCreateWithCString(nullptr, name, kCFStringEncodingMacRoman);
}

} // namespace

ko_AUEffectBase::ko_AUEffectBase(AudioComponentInstance component, ko_paramManager& paramManager,
                                 UInt32 viewSubType, UInt16 presetCount, bool allowHighSampleRates)
    : AUEffectBase(component, true), mParamManager(paramManager), mViewSubType(viewSubType),
      mPresetCount(presetCount), mAllowHighSampleRates(allowHighSampleRates) {}

ko_AUEffectBase::~ko_AUEffectBase() {
    DisposeParameterListener();
}

void ko_AUEffectBase::PostConstructor() {
    AUEffectBase::PostConstructor();
    const int32_t n = mParamManager.getParameterCount();
    mParameterCount = UInt16(n > 0 ? n : 0);
    Globals()->UseIndexedParameters(mParameterCount);
    for (UInt16 i = 0; i < mParameterCount; ++i)
        AUEffectBase::SetParameter(i, mParamManager.getDefaultValue(i));
}

OSStatus ko_AUEffectBase::Initialize() {
    const OSStatus result = AUEffectBase::Initialize();
    if (result != noErr) return result;
    csd_set_attr(-100, float(GetSampleRate()));

    // Without its listener no parameter change would reach the effect: a
    // listener that cannot be made or registered fails the initialisation.
    DisposeParameterListener();
    AUParameterListenerRef listener = nullptr;
    OSStatus status =
        AUListenerCreate(&ko_AUEffectBaseParameterListenerDispatcher, this, CFRunLoopGetCurrent(),
                         kCFRunLoopDefaultMode, kListenerInterval, &listener);
    if (status != noErr) return status;
    mParameterListener = listener;
    for (UInt16 i = 0; i < mParameterCount && status == noErr; ++i) {
        const AudioUnitParameter parameter{GetComponentInstance(), i, kAudioUnitScope_Global, 0};
        status = AUListenerAddParameter(mParameterListener, this, &parameter);
    }
    if (status != noErr) DisposeParameterListener();
    return status;
}

void ko_AUEffectBase::DisposeParameterListener() {
    if (mParameterListener == nullptr) return;
    for (UInt16 i = 0; i < mParameterCount; ++i) {
        const AudioUnitParameter parameter{GetComponentInstance(), i, kAudioUnitScope_Global, 0};
        AUListenerRemoveParameter(mParameterListener, this, &parameter);
    }
    AUListenerDispose(mParameterListener);
    mParameterListener = nullptr;
}

void ko_AUEffectBase::Cleanup() {
    DisposeParameterListener();
}

OSStatus ko_AUEffectBase::Reset(AudioUnitScope, AudioUnitElement) {
    csd_set_attr(-100, float(GetSampleRate()));
    return noErr;
}

OSStatus ko_AUEffectBase::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                          AudioUnitElement inElement, UInt32& outDataSize,
                                          Boolean& outWritable) {
    switch (inID) {
    case kAudioUnitProperty_SupportedNumChannels:
        outDataSize = sizeof kChannelConfigurations;
        outWritable = false;
        return noErr;
    case kAudioUnitProperty_ParameterIDName:
        // The record carries a string reference: its size is that of this
        // machine's record, not a 32-bit one.
        outDataSize = sizeof(AudioUnitParameterIDName);
        outWritable = false;
        return noErr;
    default:
        return AUEffectBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
    }
}

OSStatus ko_AUEffectBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                      AudioUnitElement inElement, void* outData) {
    switch (inID) {
    case kAudioUnitProperty_SupportedNumChannels:
        std::memcpy(outData, kChannelConfigurations, sizeof kChannelConfigurations);
        return noErr;
    case kAudioUnitProperty_ParameterIDName: {
        auto* record = static_cast<AudioUnitParameterIDName*>(outData);
        if (record->inID >= mParameterCount) return kAudioUnitErr_InvalidParameter;
        // The long name whatever length was asked for; the caller releases it.
        record->outName = CreateLongName(mParamManager, record->inID);
        return noErr;
    }
    default:
        return AUEffectBase::GetProperty(inID, inScope, inElement, outData);
    }
}

OSStatus ko_AUEffectBase::GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                           AudioUnitParameterInfo& info) {
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (inScope != kAudioUnitScope_Global || inParameterID >= mParameterCount)
        return kAudioUnitErr_InvalidParameter;
    const int32_t id = int32_t(inParameterID);

    CFStringRef name = CreateLongName(mParamManager, inParameterID);
    if (name != nullptr) {
        info.cfNameString = name;
        info.flags |= kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease;
        char utf8[kLongNameLength * 3 + 1];
        if (CFStringGetCString(name, utf8, sizeof utf8, kCFStringEncodingUTF8))
            CopyUTF8(info.name, sizeof info.name, utf8);
    }

    const ko_paramTypes kind = mParamManager.getType(id);
    GetParameterRange(inScope, inParameterID, info.minValue, info.maxValue);
    const bool fraction = kind == kParamSyncTimeNorm || kind == kParamSyncRateNorm;
    info.defaultValue = fraction ? 0.0f : mParamManager.getDefaultValue(id);

    switch (kind) {
    case kParamLinear:
    case kParamSyncTimeNorm:
    case kParamSyncRateNorm:
        info.unit = kAudioUnitParameterUnit_Generic;
        info.flags |= kAudioUnitParameterFlag_IsHighResolution;
        break;
    case kParamOnOff:
        info.unit = kAudioUnitParameterUnit_Boolean;
        break;
    case kParamPercent:
        info.unit = kAudioUnitParameterUnit_Percent;
        info.flags |= kAudioUnitParameterFlag_IsHighResolution;
        break;
    case kParamLinearHz:
    case kParamExpHz:
        info.unit = kAudioUnitParameterUnit_Hertz;
        info.flags |= kAudioUnitParameterFlag_IsHighResolution;
        break;
    case kParamDecibel:
        info.unit = kAudioUnitParameterUnit_Decibels;
        info.flags |= kAudioUnitParameterFlag_IsHighResolution;
        break;
    case kParamIndexed:
    case kParamMetrical:
        info.unit = kAudioUnitParameterUnit_Indexed;
        break;
    case kParamSyncTime:
    case kParamSyncRate:
        break; // unit left as the caller passed it
    }
    return noErr;
}

bool ko_AUEffectBase::GetParameterRange(AudioUnitScope inScope, AudioUnitParameterID inID,
                                        AudioUnitParameterValue& outMinimum,
                                        AudioUnitParameterValue& outMaximum) {
    if (inScope != kAudioUnitScope_Global || inID >= mParameterCount) return false;
    const int32_t id = int32_t(inID);
    const ko_paramTypes kind = mParamManager.getType(id);
    if (kind == kParamSyncTimeNorm || kind == kParamSyncRateNorm) {
        outMinimum = 0.0f;
        outMaximum = 1.0f;
    } else {
        outMinimum = mParamManager.getMinimumValue(id);
        outMaximum = mParamManager.getMaximumValue(id);
    }
    return true;
}

OSStatus ko_AUEffectBase::GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                                   CFArrayRef* outStrings) {
    if (inScope != kAudioUnitScope_Global || inParameterID >= mParameterCount || outStrings != nullptr)
        return kAudioUnitErr_InvalidProperty;
    return noErr;
}

OSStatus ko_AUEffectBase::GetPresets(CFArrayRef* outData) {
    if (outData == nullptr) return noErr;
    CFMutableArrayRef presets = CFArrayCreateMutable(nullptr, mPresetCount, nullptr);
    if (presets == nullptr) return memFullErr;
    for (UInt16 i = 0; i < mPresetCount; ++i)
        CFArrayAppendValue(presets, GetOnePreset(i));
    *outData = presets;
    return noErr;
}

OSStatus ko_AUEffectBase::NewFactoryPresetSet(const AUPreset& inNewFactoryPreset) {
    const SInt32 number = inNewFactoryPreset.presetNumber;
    if (number < 0 || number >= SInt32(mPresetCount)) return kAudioUnitErr_InvalidPropertyValue;
    for (UInt16 i = 0; i < mParameterCount; ++i)
        AUEffectBase::SetParameter(i, GetPresetParameterValue(UInt16(number), i));
    CFStringRef name =
        CFStringCreateWithCString(nullptr, GetPresetName(UInt16(number)), kCFStringEncodingMacRoman);
    SetAFactoryPresetAsCurrent(AUPreset{number, name});
    if (name != nullptr) CFRelease(name);
    return noErr;
}

void ko_AUEffectBase::GetUIComponentDescs(ComponentDescription* inDescArray) {
    if (inDescArray == nullptr) return;
    inDescArray[0] =
        ComponentDescription{kAudioUnitCarbonViewComponentType, mViewSubType, kViewManufacturer, 0, 0};
}

UInt32 ko_AUEffectBase::SupportedNumChannels(const AUChannelInfo** outInfo) {
    if (outInfo != nullptr) *outInfo = kChannelConfigurations;
    return 2;
}

bool ko_AUEffectBase::ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                  const AudioStreamBasicDescription& inNewFormat) {
    if (inNewFormat.mSampleRate > kHighestStandardRate && !mAllowHighSampleRates) return false;
    if (inNewFormat.mChannelsPerFrame > 2) return false;
    return AUEffectBase::ValidFormat(inScope, inElement, inNewFormat);
}

const AUPreset* ko_AUEffectBase::GetOnePreset(UInt32) {
    static const AUPreset placeholder{0, CFSTR("Untitled")};
    return &placeholder;
}

void ko_AUEffectBase::ParameterListener(void*, void*, const AudioUnitParameter* inParameter,
                                        Float32 inValue) {
    if (inParameter == nullptr) return;
    mParamManager.setNaturalValue(int32_t(inParameter->mParameterID), inValue);
}

float ko_AUEffectBase::GetPresetParameterValue(UInt16, AudioUnitParameterID) {
    return 0.0f;
}

const char* ko_AUEffectBase::GetPresetName(UInt16) const {
    return "Untitled";
}

void ko_AUEffectBase::BroadcastParameterChange(AudioUnitParameterID id, Float32 value) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = AudioUnitParameter{GetComponentInstance(), id, kAudioUnitScope_Global, 0};
    AUEventListenerNotify(nullptr, nullptr, &event);
    AUParameterSet(mParameterListener, this, &event.mArgument.mParameter, value, 0);
}

void ko_AUEffectBaseParameterListenerDispatcher(void* inRefCon, void* inObject,
                                                const AudioUnitParameter* inParameter, Float32 inValue) {
    auto* effect = static_cast<ko_AUEffectBase*>(inRefCon);
    if (effect != nullptr) effect->ParameterListener(inRefCon, inObject, inParameter, inValue);
}

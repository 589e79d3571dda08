// Types, constants and C calls of the audio-unit platform as this project
// provides them on Linux. Values follow the platform's public numbering so the
// effect's code and saved states read the same as on the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "host/CoreFoundation.h"

// Scalar types not already given by the Core Foundation subset.
typedef uint32_t OSType;
typedef int32_t ComponentResult;

// Four-character code, most significant byte first: MorvaneFourCC("auvw").
constexpr OSType MorvaneFourCC(const char (&code)[5]) {
    return (OSType(UInt8(code[0])) << 24) | (OSType(UInt8(code[1])) << 16) | (OSType(UInt8(code[2])) << 8) |
           OSType(UInt8(code[3]));
}

// ---------------------------------------------------------------------------
// Result codes
// ---------------------------------------------------------------------------
enum : OSStatus {
    noErr = 0,
    unimpErr = -4,
    paramErr = -50,
    memFullErr = -108,
    invalidComponentID = -3000,
    badComponentInstance = OSStatus(0x80008001u),
    badComponentSelector = OSStatus(0x80008002u),
    // An unexpected failure caught at a component entry (nothing more specific applies).
    kMorvaneErr_Unexpected = -1,

    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_InvalidFile = -10871,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_CannotDoInCurrentContext = -10863,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioUnitErr_PropertyNotInUse = -10850,
    kAudioUnitErr_Initialized = -10849,
    kAudioUnitErr_InvalidOfflineRender = -10848,
    kAudioUnitErr_Unauthorized = -10847,
    // A parameter value the unit cannot take (not a number, or infinite).
    kAudioUnitErr_InvalidParameterValue = -66743,
};

// ---------------------------------------------------------------------------
// Units, scopes, elements, parameters
// ---------------------------------------------------------------------------
struct ComponentInstanceRecord; // defined by the component model (ComponentEntry.cpp)
typedef ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance AudioComponentInstance;
typedef ComponentInstance AudioUnit;

typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitParameterID;
typedef Float32 AudioUnitParameterValue;
typedef UInt32 AudioUnitParameterOptions;
typedef UInt32 AudioUnitRenderActionFlags;

enum : AudioUnitScope {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
    kAudioUnitScope_Part = 4,
    kAudioUnitScope_Note = 5,
};

// A parameter of a unit, as listeners and the parameter-set call name it.
struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

typedef UInt32 AudioUnitParameterUnit;
enum : AudioUnitParameterUnit {
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Boolean = 2,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_SampleFrames = 5,
    kAudioUnitParameterUnit_Phase = 6,
    kAudioUnitParameterUnit_Rate = 7,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Cents = 9,
    kAudioUnitParameterUnit_RelativeSemiTones = 10,
    kAudioUnitParameterUnit_MIDINoteNumber = 11,
    kAudioUnitParameterUnit_MIDIController = 12,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_LinearGain = 14,
    kAudioUnitParameterUnit_Degrees = 15,
    kAudioUnitParameterUnit_EqualPowerCrossfade = 16,
    kAudioUnitParameterUnit_MixerFaderCurve1 = 17,
    kAudioUnitParameterUnit_Pan = 18,
    kAudioUnitParameterUnit_Meters = 19,
    kAudioUnitParameterUnit_AbsoluteCents = 20,
    kAudioUnitParameterUnit_Octaves = 21,
    kAudioUnitParameterUnit_BPM = 22,
    kAudioUnitParameterUnit_Beats = 23,
    kAudioUnitParameterUnit_Milliseconds = 24,
    kAudioUnitParameterUnit_Ratio = 25,
    kAudioUnitParameterUnit_CustomUnit = 26,
};

enum : UInt32 {
    kAudioUnitParameterFlag_CFNameRelease = (1u << 4),
    kAudioUnitParameterFlag_OmitFromPresets = (1u << 13),
    kAudioUnitParameterFlag_PlotHistory = (1u << 14),
    kAudioUnitParameterFlag_MeterReadOnly = (1u << 15),
    kAudioUnitParameterFlag_DisplayMask = (7u << 16) | (1u << 22),
    kAudioUnitParameterFlag_DisplaySquareRoot = (1u << 16),
    kAudioUnitParameterFlag_DisplaySquared = (2u << 16),
    kAudioUnitParameterFlag_DisplayCubed = (3u << 16),
    kAudioUnitParameterFlag_DisplayCubeRoot = (4u << 16),
    kAudioUnitParameterFlag_DisplayExponential = (5u << 16),
    kAudioUnitParameterFlag_HasClump = (1u << 20),
    kAudioUnitParameterFlag_ValuesHaveStrings = (1u << 21),
    kAudioUnitParameterFlag_DisplayLogarithmic = (1u << 22),
    kAudioUnitParameterFlag_IsHighResolution = (1u << 23),
    kAudioUnitParameterFlag_NonRealTime = (1u << 24),
    kAudioUnitParameterFlag_CanRamp = (1u << 25),
    kAudioUnitParameterFlag_ExpertMode = (1u << 26),
    kAudioUnitParameterFlag_HasCFNameString = (1u << 27),
    kAudioUnitParameterFlag_IsGlobalMeta = (1u << 28),
    kAudioUnitParameterFlag_IsElementMeta = (1u << 29),
    kAudioUnitParameterFlag_IsReadable = (1u << 30),
    kAudioUnitParameterFlag_IsWritable = (1u << 31),
};

// Description of one parameter (kAudioUnitProperty_ParameterInfo).
struct AudioUnitParameterInfo {
    char name[52];        // C-string name, NUL terminated
    CFStringRef unitName; // for kAudioUnitParameterUnit_CustomUnit
    UInt32 clumpID;
    CFStringRef cfNameString; // valid when kAudioUnitParameterFlag_HasCFNameString
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    UInt32 flags;
};

// kAudioUnitProperty_ParameterIDName: asks for a (possibly shortened) name.
enum : SInt32 { kAudioUnitParameterName_Full = -1 };
struct AudioUnitParameterIDName {
    AudioUnitParameterID inID;
    SInt32 inDesiredLength;
    CFStringRef outName; // retained; the caller releases it
};

// A preset as the host sees it: a number (factory presets are >= 0) and a name.
struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};

// One supported channel configuration (kAudioUnitProperty_SupportedNumChannels).
struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};

// ---------------------------------------------------------------------------
// Audio buffers and formats
// ---------------------------------------------------------------------------
struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

// A list of buffers, non-interleaved: one mono buffer per channel. The array is
// variable length; use AudioBufferListStorage<N> to hold one for N channels.
struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

// Most channels one input or output element carries.
enum : UInt32 { kAUMaxChannels = 8 };

// Offset-correct size of a buffer list holding n buffers.
constexpr std::size_t AudioBufferListSize(UInt32 n) {
    return offsetof(AudioBufferList, mBuffers) + (n == 0 ? 1u : n) * sizeof(AudioBuffer);
}

// Fixed-capacity storage for a buffer list of up to N buffers, with no heap.
template <UInt32 N> class AudioBufferListStorage {
    static_assert(N >= 1, "a buffer list holds at least one buffer");

  public:
    AudioBufferListStorage() {
        list_ = new (bytes_) AudioBufferList{};
        for (UInt32 i = 1; i < N; ++i)
            list_->mBuffers[i] = AudioBuffer{};
        list_->mNumberBuffers = N;
    }
    AudioBufferListStorage(const AudioBufferListStorage&) = delete;
    AudioBufferListStorage& operator=(const AudioBufferListStorage&) = delete;

    static constexpr UInt32 capacity() { return N; }
    AudioBufferList& list() { return *list_; }
    const AudioBufferList& list() const { return *list_; }
    AudioBufferList* get() { return list_; }

    // Sets the number of buffers in use (at most N).
    void setNumberBuffers(UInt32 n) { list_->mNumberBuffers = n <= N ? n : N; }
    // Points buffer i at frames floats of mono audio.
    void setChannel(UInt32 i, float* data, UInt32 frames) {
        if (i >= N) return;
        list_->mBuffers[i].mNumberChannels = 1;
        list_->mBuffers[i].mDataByteSize = frames * UInt32(sizeof(float));
        list_->mBuffers[i].mData = data;
    }

  private:
    alignas(AudioBufferList) unsigned char bytes_[AudioBufferListSize(N)];
    AudioBufferList* list_;
};

typedef UInt32 AudioFormatID;
typedef UInt32 AudioFormatFlags;

enum : AudioFormatID { kAudioFormatLinearPCM = MorvaneFourCC("lpcm") };

enum : AudioFormatFlags {
    kAudioFormatFlagIsFloat = (1u << 0),
    kAudioFormatFlagIsBigEndian = (1u << 1),
    kAudioFormatFlagIsSignedInteger = (1u << 2),
    kAudioFormatFlagIsPacked = (1u << 3),
    kAudioFormatFlagIsAlignedHigh = (1u << 4),
    kAudioFormatFlagIsNonInterleaved = (1u << 5),
    kAudioFormatFlagIsNonMixable = (1u << 6),
    kAudioFormatFlagsNativeFloatPacked = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked,
    // The canonical format of units: native 32-bit float, one buffer per channel.
    kAudioFormatFlagsAudioUnitCanonical =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved,
};

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    AudioFormatID mFormatID;
    AudioFormatFlags mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};

// The canonical non-interleaved 32-bit float format for a rate and channel count.
inline AudioStreamBasicDescription MorvaneCanonicalFormat(Float64 sampleRate, UInt32 channels) {
    AudioStreamBasicDescription d{};
    d.mSampleRate = sampleRate;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = kAudioFormatFlagsAudioUnitCanonical;
    d.mBytesPerPacket = 4;
    d.mFramesPerPacket = 1;
    d.mBytesPerFrame = 4;
    d.mChannelsPerFrame = channels;
    d.mBitsPerChannel = 32;
    return d;
}

struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
};

enum : UInt32 {
    kAudioTimeStampSampleTimeValid = (1u << 0),
    kAudioTimeStampHostTimeValid = (1u << 1),
    kAudioTimeStampRateScalarValid = (1u << 2),
    kAudioTimeStampWordClockTimeValid = (1u << 3),
    kAudioTimeStampSMPTETimeValid = (1u << 4),
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
};

enum : AudioUnitRenderActionFlags {
    kAudioUnitRenderAction_PreRender = (1u << 2),
    kAudioUnitRenderAction_PostRender = (1u << 3),
    kAudioUnitRenderAction_OutputIsSilence = (1u << 4),
    kAudioOfflineUnitRenderAction_Preflight = (1u << 5),
    kAudioOfflineUnitRenderAction_Render = (1u << 6),
    kAudioOfflineUnitRenderAction_Complete = (1u << 7),
    kAudioUnitRenderAction_PostRenderError = (1u << 8),
    kAudioUnitRenderAction_DoNotCheckRenderArgs = (1u << 9),
};

// The input of a unit is pulled through this callback (kAudioUnitProperty_SetRenderCallback).
// When ioData's buffers carry null mData the callback supplies its own buffers
// by setting the pointers; otherwise it fills the buffers it is given.
typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList* ioData);
struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
};

// ---------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------
enum : AudioUnitPropertyID {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_MakeConnection = 1,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_FastDispatch = 5,
    kAudioUnitProperty_CPULoad = 6,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_SetExternalBuffer = 15,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_GetUIComponentList = 18,
    kAudioUnitProperty_AudioChannelLayout = 19,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_LastRenderError = 22,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_ContextName = 25,
    kAudioUnitProperty_RenderQuality = 26,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_CurrentPreset = 28,
    kAudioUnitProperty_InPlaceProcessing = 29,
    kAudioUnitProperty_ElementName = 30,
    kAudioUnitProperty_ParameterStringFromValue = 33,
    kAudioUnitProperty_ParameterIDName = 34,
    kAudioUnitProperty_ParameterClumpName = 35,
    kAudioUnitProperty_PresentPreset = 36,
    kAudioUnitProperty_OfflineRender = 37,
    kAudioUnitProperty_ParameterValueFromString = 38,
    kAudioUnitProperty_PresentationLatency = 40,
};

// ---------------------------------------------------------------------------
// Host callbacks (kAudioUnitProperty_HostCallbacks)
// ---------------------------------------------------------------------------
typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat,
                                                 Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData,
                                                        UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSig_Numerator,
                                                        UInt32* outTimeSig_Denominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying,
                                                   Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine, Boolean* outIsCycling,
                                                   Float64* outCycleStartBeat, Float64* outCycleEndBeat);

struct HostCallbackInfo {
    void* hostUserData;
    HostCallback_GetBeatAndTempo beatAndTempoProc;
    HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
    HostCallback_GetTransportState transportStateProc;
};

// ---------------------------------------------------------------------------
// Components
// ---------------------------------------------------------------------------
struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};
typedef ComponentDescription AudioComponentDescription;

enum : OSType {
    kAudioUnitType_Effect = MorvaneFourCC("aufx"),
    kAudioUnitCarbonViewComponentType = MorvaneFourCC("auvw"),
};

// ---------------------------------------------------------------------------
// Calls on a unit. Every call goes through the unit's component entry; the
// results are the unit's own result codes, or badComponentInstance for a null
// unit. Callable from any host thread except where noted.
// ---------------------------------------------------------------------------
extern "C" {
OSStatus AudioUnitInitialize(AudioUnit inUnit);
OSStatus AudioUnitUninitialize(AudioUnit inUnit);
OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement);
OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, UInt32* outDataSize, Boolean* outWritable);
OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize);
OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue);
OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames);
// Render thread.
OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber, UInt32 inNumberFrames,
                         AudioBufferList* ioData);
}

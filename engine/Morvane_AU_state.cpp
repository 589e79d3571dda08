// Saved state, factory presets and the custom properties through which the
// editor view reaches the effect.
//
// Threads. Everything here runs on host threads other than the render thread,
// while the render thread may be playing the recorders and reading the pad
// velocities. The only hand-off is the pad engine's motionReady flag: it is
// cleared before recorders are overwritten and set again (release) once they
// are complete; the render thread plays recordings only while it reads it set
// (acquire). Velocities, touch flags and recorder fields are relaxed atomics,
// and the delay feedback and control-tick restarts are requests the render
// thread carries out at its next block.
#include <array>
#include <cstring>

#include "engine/Morvane_AU.h"
#include "motion/factory_recording_loader.h"
#include "params/factory_presets.h"

namespace {

// The effect's own format version, written as "Version" and not read back.
constexpr SInt32 kEffectStateVersion = 10;

struct VelocityKey {
    const char* key;
    int index; // MorvanePadEngine velocity index
};

// Written and read in this order.
constexpr VelocityKey kVelocityKeys[4] = {
    {"velocity_L_X", MorvanePadEngine::kVelocityLeftX},
    {"velocity_L_Y", MorvanePadEngine::kVelocityLeftY},
    {"velocity_R_X", MorvanePadEngine::kVelocityRightX},
    {"velocity_R_Y", MorvanePadEngine::kVelocityRightY},
};

// High bounds of the left pad, its low bounds, then the same for the right pad.
constexpr int32_t kRangeResetOrder[12] = {
    kLXHighRange, kLYHighRange, kLZHighRange, kLXLowRange, kLYLowRange, kLZLowRange,
    kRXHighRange, kRYHighRange, kRZHighRange, kRXLowRange, kRYLowRange, kRZLowRange,
};

constexpr int32_t kDestinations[6] = {kLXDestination, kLYDestination, kLZDestination,
                                      kRXDestination, kRYDestination, kRZDestination};

bool isHighRangeBound(int32_t id) {
    return id == kLXHighRange || id == kLYHighRange || id == kLZHighRange || id == kRXHighRange ||
           id == kRYHighRange || id == kRZHighRange;
}

// Keys are looked up by constant strings (interned, never released).
CFStringRef keyString(const char* key) {
    return __CFStringMakeConstantString(key);
}

// The number under `key` as a 32-bit float; false when it is missing or not a number.
bool readFloat(CFDictionaryRef dict, const char* key, Float32& value) {
    CFTypeRef number = CFDictionaryGetValue(dict, keyString(key));
    if (number == nullptr || CFGetTypeID(number) != CFNumberGetTypeID()) return false;
    Float32 v = 0.0f;
    CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberFloat32Type, &v);
    value = v;
    return true;
}

// The data object under `key`; null when it is missing or not data.
CFDataRef readData(CFDictionaryRef dict, const char* key) {
    CFTypeRef data = CFDictionaryGetValue(dict, keyString(key));
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID()) return nullptr;
    return static_cast<CFDataRef>(data);
}

bool addRecorderImage(CFMutableDictionaryRef dict, const char* key, const CMotionRecorder& recorder) {
    uint8_t image[CMotionRecorder::kImageSize];
    recorder.saveImage(image);
    CFDataRef data = CFDataCreate(nullptr, image, CFIndex(sizeof image));
    if (data == nullptr) return false;
    CFDictionarySetValue(dict, keyString(key), data);
    CFRelease(data);
    return true;
}

// Host-facing preset records: number and a name string that lives as long as
// the process (retain and release on it do nothing, so a host may do either).
const std::array<AUPreset, kFactoryPresetCount>& presetRecords() {
    static const std::array<AUPreset, kFactoryPresetCount> records = [] {
        std::array<AUPreset, kFactoryPresetCount> r{};
        for (int i = 0; i < kFactoryPresetCount; ++i)
            r[size_t(i)] = AUPreset{kPresets[i].number, __CFStringMakeConstantString(kPresets[i].name)};
        return r;
    }();
    return records;
}

bool isPointerProperty(AudioUnitPropertyID id) {
    return id == kMorvaneProperty_ParameterManager || id == kMorvaneProperty_MotionRecorderLeft ||
           id == kMorvaneProperty_MotionRecorderRight;
}

} // namespace

void AddFloatToDictionary(CFMutableDictionaryRef dictionary, CFStringRef key, Float32 value) {
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberFloat32Type, &value);
    if (number == nullptr) return;
    CFDictionarySetValue(dictionary, key, number);
    CFRelease(number);
}

// ---------------------------------------------------------------------------
// Loading helpers

void Morvane_AU::haltMotionForLoading() {
    pads.setMotionReady(false);
    clearDelayFeedback();
    pads.clearTouchFlags();
}

// The ranges open to 0..1 and no destination routed, so that the values the
// host announces afterwards meet a partner bound of 0 or 1 (or its own new
// value) and route every destination from "- None -".
void Morvane_AU::resetPadRangesAndRouting() {
    for (int32_t id : kRangeResetOrder)
        paramTable.setVSTvalue(id, isHighRangeBound(id) ? 1.0f : 0.0f);
    pads.clearRouting();
    for (int32_t id : kDestinations)
        paramTable.setVSTvalue(id, 0.0f);
}

// ---------------------------------------------------------------------------
// Saved state

OSStatus Morvane_AU::SaveState(CFPropertyListRef* outData) {
    const OSStatus result = ko_AUEffectBase::SaveState(outData);
    if (result != noErr) return result;
    if (*outData == nullptr || CFGetTypeID(*outData) != CFDictionaryGetTypeID()) return result;
    // The framework's dictionary is mutable; this function owns it until it returns.
    auto dict = static_cast<CFMutableDictionaryRef>(const_cast<void*>(*outData));

    const SInt32 version = kEffectStateVersion;
    CFNumberRef versionNumber = CFNumberCreate(nullptr, kCFNumberSInt32Type, &version);
    bool complete = versionNumber != nullptr;
    if (complete) {
        CFDictionarySetValue(dict, keyString("Version"), versionNumber);
        CFRelease(versionNumber);
    }
    for (const VelocityKey& v : kVelocityKeys)
        AddFloatToDictionary(dict, keyString(v.key), pads.padVelocity(v.index));
    complete = complete && addRecorderImage(dict, "LeftMotion", motionRecorderLeft) &&
               addRecorderImage(dict, "RightMotion", motionRecorderRight);
    for (const VelocityKey& v : kVelocityKeys)
        complete = complete && CFDictionaryContainsKey(dict, keyString(v.key));
    if (!complete) {
        // A state without the effect's entries would not restore: none rather than half.
        CFRelease(dict);
        *outData = nullptr;
        return memFullErr;
    }
    return noErr;
}

OSStatus Morvane_AU::RestoreState(CFPropertyListRef inData) {
    haltMotionForLoading();
    pads.zeroVelocities();
    padVelocitiesSet.store(true, std::memory_order_relaxed);
    resetPadRangesAndRouting();

    const OSStatus result = ko_AUEffectBase::RestoreState(inData);
    if (result != noErr) return result;
    // The framework accepts only dictionaries.
    auto dict = static_cast<CFDictionaryRef>(inData);

    // Each entry is applied as it is read; a missing one ends the restore with
    // playback left off.
    for (const VelocityKey& v : kVelocityKeys) {
        Float32 value = 0.0f;
        if (!readFloat(dict, v.key, value)) return kAudioUnitErr_InvalidPropertyValue;
        pads.setPadVelocity(v.index, value); // stored as 0 when not finite
    }
    const std::pair<const char*, CMotionRecorder*> images[2] = {{"LeftMotion", &motionRecorderLeft},
                                                                {"RightMotion", &motionRecorderRight}};
    for (const auto& [key, recorder] : images) {
        CFDataRef data = readData(dict, key);
        if (data == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        const CFIndex length = CFDataGetLength(data);
        recorder->restoreImage(CFDataGetBytePtr(data), length > 0 ? size_t(length) : 0);
    }
    pads.setMotionReady(true);
    return noErr;
}

// ---------------------------------------------------------------------------
// Factory presets

const AUPreset* Morvane_AU::GetOnePreset(UInt32 index) {
    return index < UInt32(kFactoryPresetCount) ? &presetRecords()[index] : nullptr;
}

float Morvane_AU::GetPresetParameterValue(UInt16 preset, AudioUnitParameterID id) {
    if (preset >= kFactoryPresetCount || id >= AudioUnitParameterID(kFactoryPresetValueCount)) return 0.0f;
    // Through the table's conversion, so reversed axes (Motion Mode, Link Mode)
    // read 1.0 as their first entry.
    return paramTable.naturalValueFromVSTvalue(int32_t(id), kPresetData[preset][id]);
}

OSStatus Morvane_AU::NewFactoryPresetSet(const AUPreset& inNewFactoryPreset) {
    const SInt32 n = inNewFactoryPreset.presetNumber;
    if (n < 0 || n >= kFactoryPresetCount) return kAudioUnitErr_InvalidPropertyValue;

    haltMotionForLoading();
    pads.loadFactoryVelocities(n);
    padVelocitiesSet.store(true, std::memory_order_relaxed);
    resetPadRangesAndRouting();
    // Stored for the host; they reach the effect when the host announces them.
    const UInt16 count = GetPublishedParameterCount() < kFactoryPresetValueCount
                             ? GetPublishedParameterCount()
                             : UInt16(kFactoryPresetValueCount);
    for (UInt16 i = 0; i < count; ++i)
        AUEffectBase::SetParameter(i, GetPresetParameterValue(UInt16(n), i));
    loadFactoryRecording(n, motionRecorderLeft, motionRecorderRight);
    SetAFactoryPresetAsCurrent(*GetOnePreset(UInt32(n)));
    restartControlTicks();
    pads.setMotionReady(true);
    return noErr;
}

// ---------------------------------------------------------------------------
// Custom properties

OSStatus Morvane_AU::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize, Boolean& outWritable) {
    if (isPointerProperty(inID)) {
        // A full pointer on this machine, whatever the scope.
        outDataSize = UInt32(sizeof(void*));
        outWritable = false;
        return noErr;
    }
    if (inScope == kAudioUnitScope_Global) {
        if (inID == kMorvaneProperty_AttachedView) {
            outDataSize = UInt32(sizeof(void*));
            outWritable = true;
            return noErr;
        }
        if (inID == kMorvaneProperty_StopPadDrift) {
            outDataSize = 0;
            outWritable = true;
            return noErr;
        }
    }
    return ko_AUEffectBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus Morvane_AU::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 void* outData) {
    if (isPointerProperty(inID)) {
        if (outData == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        void* pointer = inID == kMorvaneProperty_ParameterManager ? static_cast<void*>(paramTablePointer)
                        : inID == kMorvaneProperty_MotionRecorderLeft
                            ? static_cast<void*>(&motionRecorderLeft)
                            : static_cast<void*>(&motionRecorderRight);
        std::memcpy(outData, &pointer, sizeof pointer);
        return noErr;
    }
    // The view's address and the drift stop are set only.
    if (inScope == kAudioUnitScope_Global &&
        (inID == kMorvaneProperty_AttachedView || inID == kMorvaneProperty_StopPadDrift))
        return kAudioUnitErr_InvalidProperty;
    return ko_AUEffectBase::GetProperty(inID, inScope, inElement, outData);
}

OSStatus Morvane_AU::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                                 const void* inData, UInt32 inDataSize) {
    if (inScope == kAudioUnitScope_Global) {
        if (isPointerProperty(inID)) return kAudioUnitErr_PropertyNotWritable;
        if (inID == kMorvaneProperty_AttachedView) {
            if (inData == nullptr || inDataSize != sizeof(void*)) return kAudioUnitErr_InvalidPropertyValue;
            MorvaneAttachedView* view = nullptr;
            std::memcpy(&view, inData, sizeof view);
            setAttachedView(view);
            return noErr;
        }
        if (inID == kMorvaneProperty_StopPadDrift) {
            for (int32_t id : {kVelLX, kVelLY, kVelRX, kVelRY})
                paramTable.setNaturalValue(id, 0.0f);
            zeroVelocities();
            return noErr;
        }
    }
    return ko_AUEffectBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
}

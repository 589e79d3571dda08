// A small effect for testing the framework, the effect base layer, the
// component model and the host harness: a gain with a mute, a mode, a depth
// and a tempo-synced time, three factory presets, and two test properties
// through which a test observes what the effect heard.
#pragma once

#include <atomic>

#include "params/ko_AUEffectBase.h"
#include "params/ko_paramManager.h"

enum TestGainParameterId : int32_t {
    kTestGain = 0,   // linear factor 0..2, default 1
    kTestMute = 1,   // on/off, default off
    kTestMode = 2,   // indexed 0..2, default 1, with value names
    kTestDepth = 3,  // percent 0..100, default 50
    kTestTime = 4,   // synced time, published as 0..1, stored default 0.25
    kTestHidden = 5, // registered but not published
    kTestPublishedCount = 5,
    kTestRegisteredCount = 6,
};

constexpr OSType kTestGainType = MorvaneFourCC("aufx");
constexpr OSType kTestGainSubType = MorvaneFourCC("Tgan");
constexpr OSType kTestGainManufacturer = MorvaneFourCC("Qnlw");
constexpr OSType kTestGainViewSubType = MorvaneFourCC("Tgvw");
constexpr UInt16 kTestGainPresetCount = 3;

// Get: a pointer to the effect's TestGainLog (global scope).
constexpr AudioUnitPropertyID kTestGainLogProperty = 64000;
// Set: a TestGainBroadcast; the effect announces that change as its own.
constexpr AudioUnitPropertyID kTestGainBroadcastProperty = 64001;

struct TestGainBroadcast {
    AudioUnitParameterID id;
    Float32 value;
};

// What the effect observed, readable by the test in the same process.
struct TestGainLog {
    std::atomic<int> listenerCalls[kTestRegisteredCount];
    std::atomic<float> listenerValue[kTestRegisteredCount];
    std::atomic<int> renders;
    std::atomic<float> gainAtLastRender; // the manager's gain when the last block rendered
    std::atomic<OSStatus> beatStatus;    // result of the beat-and-tempo call
    std::atomic<double> beat;
    std::atomic<double> tempo;
};

class TestGainParameters : public ko_paramManager {
  public:
    static const char* const kModeNames[3];
    TestGainParameters();
    int32_t getParameterCount() override { return kTestPublishedCount; }
};

class TestGain_AU : public ko_AUEffectBase {
  public:
    explicit TestGain_AU(AudioComponentInstance component);

    UInt32 Version() override { return 0x00010001; }
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         const void* inData, UInt32 inDataSize) override;
    OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      CFArrayRef* outStrings) override;
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags, const AudioBufferList& inBuffer,
                                AudioBufferList& outBuffer, UInt32 inFramesToProcess) override;

    const AUPreset* GetOnePreset(UInt32 index) override;
    void ParameterListener(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                           Float32 inValue) override;
    float GetPresetParameterValue(UInt16 preset, AudioUnitParameterID id) override;
    const char* GetPresetName(UInt16 preset) const override;

  private:
    // The base keeps only a reference to the manager, which is built after it.
    TestGainParameters mParameters;
    TestGainLog mLog{};
};

// The entry routine, exported with C linkage.
extern "C" OSStatus MorvaneTestGain_AUEntry(ComponentParameters* params, void* storage);

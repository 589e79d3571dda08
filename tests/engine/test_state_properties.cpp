// The custom properties through which the editor view reaches the effect,
// exercised through the loadable bundle as the view does: their sizes and
// scopes, the pointers they hand out, attaching and detaching a view, and
// stopping all pad drift.
#include "tests/engine/test_state_support.h"

#include "motion/MorvaneAttachedView.h"

namespace {

constexpr AudioUnitPropertyID kPointerProperties[3] = {kMorvaneProperty_ParameterManager,
                                                       kMorvaneProperty_MotionRecorderLeft,
                                                       kMorvaneProperty_MotionRecorderRight};

struct RecordingView : MorvaneAttachedView {
    std::vector<std::pair<AudioUnitParameterID, float>> values;
    void ParameterListener(void*, void*, const AudioUnitParameter* parameter, float naturalValue) override {
        values.emplace_back(parameter->mParameterID, naturalValue);
    }
    void SetVSTParameter(int32_t, float) override {}
};

OSStatus info(BundleHost& e, AudioUnitPropertyID id, AudioUnitScope scope, UInt32& size, Boolean& writable) {
    size = 12345;
    writable = true;
    return AudioUnitGetPropertyInfo(e.unit(), id, scope, 0, &size, &writable);
}

OSStatus attach(BundleHost& e, MorvaneAttachedView* view, UInt32 size = sizeof(void*),
                AudioUnitScope scope = kAudioUnitScope_Global) {
    MorvaneAttachedView* words[2] = {view, nullptr}; // room for a too-long size
    return AudioUnitSetProperty(e.unit(), kMorvaneProperty_AttachedView, scope, 0, words, size);
}

TEST(EditorProperties, PointersAreFullWidthReadOnlyAndAnsweredInEveryScope) {
    BundleHost e;
    for (AudioUnitPropertyID id : kPointerProperties) {
        for (AudioUnitScope scope : {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            UInt32 size;
            Boolean writable;
            ASSERT_EQ(info(e, id, scope, size, writable), noErr) << id << " scope " << scope;
            EXPECT_EQ(size, sizeof(void*));
            EXPECT_FALSE(writable);
            void* pointer = nullptr;
            UInt32 ioSize = sizeof pointer;
            EXPECT_EQ(AudioUnitGetProperty(e.unit(), id, scope, 0, &pointer, &ioSize), noErr);
            EXPECT_EQ(pointer, e.pointerProperty(id));
        }
        // Half a pointer is refused rather than cut.
        UInt32 half = 4;
        uint64_t word = 0;
        EXPECT_EQ(AudioUnitGetProperty(e.unit(), id, kAudioUnitScope_Global, 0, &word, &half),
                  kAudioUnitErr_InvalidPropertyValue);
        void* pointer = &word;
        EXPECT_EQ(AudioUnitSetProperty(e.unit(), id, kAudioUnitScope_Global, 0, &pointer, sizeof pointer),
                  kAudioUnitErr_PropertyNotWritable);
    }
    UInt32 size;
    Boolean writable;
    ASSERT_EQ(info(e, kMorvaneProperty_AttachedView, kAudioUnitScope_Global, size, writable), noErr);
    EXPECT_EQ(size, sizeof(void*));
    EXPECT_TRUE(writable);
    ASSERT_EQ(info(e, kMorvaneProperty_StopPadDrift, kAudioUnitScope_Global, size, writable), noErr);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(writable);
    // Set-only properties live in the global scope only, and give nothing back.
    for (AudioUnitPropertyID id : {kMorvaneProperty_AttachedView, kMorvaneProperty_StopPadDrift}) {
        EXPECT_EQ(info(e, id, kAudioUnitScope_Input, size, writable), kAudioUnitErr_InvalidProperty);
        void* pointer = nullptr;
        UInt32 ioSize = sizeof pointer;
        EXPECT_NE(AudioUnitGetProperty(e.unit(), id, kAudioUnitScope_Global, 0, &pointer, &ioSize), noErr);
    }
}

TEST(EditorProperties, PointersLeadToTheEffectsParameterTableAndItsTwoRecorders) {
    BundleHost e;
    e.set(kFilterFreq, 1234.0f);
    e.pump();
    EXPECT_EQ(e.params().getNaturalValue(kFilterFreq), 1234.0f);
    char name[41] = {};
    e.params().getName(kWetDryMix, name, 40);
    EXPECT_STREQ(name, "Wet/Dry Mix");

    // What the editor records lands in the saved images of the right side.
    e.recorder(true).startRecording();
    e.recorder(true).recordValues(0.125f, 0.25f);
    e.recorder(false).startRecording();
    e.recorder(false).recordValues(0.75f, 0.875f);
    e.recorder(false).recordValues(0.5f, 0.5f);
    CFHolder state(e.saveState());
    for (const auto& [key, x0, count] :
         {std::tuple{"LeftMotion", 0.125f, 1u}, std::tuple{"RightMotion", 0.75f, 2u}}) {
        CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        const UInt8* image = CFDataGetBytePtr(static_cast<CFDataRef>(CFDictionaryGetValue(state.dict(), k)));
        CFRelease(k);
        float x = 0.0f;
        uint32_t n = 0;
        std::memcpy(&x, image, 4);
        std::memcpy(&n, image + 644, 4);
        EXPECT_EQ(x, x0) << key;
        EXPECT_EQ(n, count) << key;
    }
}

TEST(EditorProperties, AnAttachedViewHearsPadMovesUntilItDetaches) {
    BundleHost e;
    e.set(kLinkMode, 0.0f);
    e.set(kLXDestination, 1.0f); // left X drives "Filter Freq"
    e.pump();
    RecordingView view;

    // Wrong sizes and scopes attach nothing.
    EXPECT_EQ(attach(e, &view, 4), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(attach(e, &view, 16), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(attach(e, &view, sizeof(void*), kAudioUnitScope_Input), kAudioUnitErr_InvalidProperty);
    e.set(kLeftX, 0.25f);
    e.pump();
    EXPECT_TRUE(view.values.empty());

    ASSERT_EQ(attach(e, &view), noErr);
    e.set(kLeftX, 0.75f);
    e.pump();
    ASSERT_FALSE(view.values.empty());
    EXPECT_EQ(view.values.back().first, static_cast<AudioUnitParameterID>(kFilterFreq));
    EXPECT_EQ(view.values.back().second, e.params().getNaturalValue(kFilterFreq));

    ASSERT_EQ(attach(e, nullptr), noErr);
    const size_t heard = view.values.size();
    e.set(kLeftX, 0.5f);
    e.pump();
    EXPECT_EQ(view.values.size(), heard);
}

TEST(EditorProperties, StopPadDriftZeroesTheVelocitiesAndTheThrowParametersInTheGlobalScopeOnly) {
    BundleHost e;
    ASSERT_EQ(e.host().selectFactoryPreset(9), noErr); // both pads drifting
    e.set(kKinetics, 1.0f);
    e.set(kMotionMode, 0.0f);
    e.set(kLinkMode, 0.0f);
    e.pump();
    for (int32_t id : {kVelLX, kVelLY, kVelRX, kVelRY})
        e.params().setNaturalValue(id, 3.0f);
    ASSERT_NE(e.velocities().lx, 0.0f);
    float x = e.params().getVSTvalue(kLeftX);
    e.renderSilence(8192);
    ASSERT_NE(e.params().getVSTvalue(kLeftX), x); // drifting

    EXPECT_EQ(
        AudioUnitSetProperty(e.unit(), kMorvaneProperty_StopPadDrift, kAudioUnitScope_Input, 0, nullptr, 0),
        kAudioUnitErr_InvalidProperty);
    EXPECT_NE(e.velocities().lx, 0.0f);
    EXPECT_EQ(e.params().getNaturalValue(kVelLX), 3.0f);

    ASSERT_EQ(
        AudioUnitSetProperty(e.unit(), kMorvaneProperty_StopPadDrift, kAudioUnitScope_Global, 0, nullptr, 0),
        noErr);
    const PadVelocities v = e.velocities();
    EXPECT_EQ(v.lx, 0.0f);
    EXPECT_EQ(v.ly, 0.0f);
    EXPECT_EQ(v.rx, 0.0f);
    EXPECT_EQ(v.ry, 0.0f);
    for (int32_t id : {kVelLX, kVelLY, kVelRX, kVelRY})
        EXPECT_EQ(e.params().getNaturalValue(id), 0.0f) << id;
    // And the pads stay where they are.
    x = e.params().getVSTvalue(kLeftX);
    const float y = e.params().getVSTvalue(kRightY);
    e.renderSilence(8192);
    EXPECT_EQ(e.params().getVSTvalue(kLeftX), x);
    EXPECT_EQ(e.params().getVSTvalue(kRightY), y);
}

} // namespace

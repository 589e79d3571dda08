// Calls a careless or hostile host makes, through the component entry: each
// gets its result code and leaves the unit as it was (its saved state, stream
// formats, slice size, element names, callbacks and current preset).
#include <cstring>
#include <limits>

#include "engine/Morvane_AU.h"
#include "tests/engine/engine_test_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Everything a host can read back about the unit, as comparable bytes.
struct Snapshot {
    std::vector<UInt8> state; // the saved state as XML
    AudioStreamBasicDescription input{}, output{};
    UInt32 maxFrames = 0, bypass = 0;
    HostCallbackInfo callbacks{};
    std::string elementName, presetName;
    SInt32 presetNumber = 0;

    explicit Snapshot(AudioUnit unit) {
        CFPropertyListRef saved = nullptr;
        UInt32 size = sizeof saved;
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &saved,
                                       &size),
                  noErr);
        CFDataRef xml = CFPropertyListCreateData(nullptr, saved, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
        state.assign(CFDataGetBytePtr(xml), CFDataGetBytePtr(xml) + CFDataGetLength(xml));
        CFRelease(xml);
        CFRelease(saved);
        get(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, input);
        get(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, output);
        get(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, maxFrames);
        get(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, bypass);
        get(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, callbacks);
        CFStringRef name = nullptr;
        size = sizeof name;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, &name,
                                 &size) == noErr) {
            elementName = morvaneText(name);
            CFRelease(name);
        }
        AUPreset preset{};
        get(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, preset);
        presetNumber = preset.presetNumber;
        presetName = morvaneText(preset.presetName);
        if (preset.presetName != nullptr) CFRelease(preset.presetName);
    }
    template <class T> static void get(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, T& out) {
        UInt32 size = sizeof out;
        EXPECT_EQ(AudioUnitGetProperty(unit, id, scope, 0, &out, &size), noErr) << "property " << id;
    }
    static std::string morvaneText(CFStringRef text) {
        char buffer[256] = {};
        if (text != nullptr) CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8);
        return buffer;
    }
    bool operator==(const Snapshot& o) const {
        return state == o.state && std::memcmp(&input, &o.input, sizeof input) == 0 &&
               std::memcmp(&output, &o.output, sizeof output) == 0 && maxFrames == o.maxFrames &&
               bypass == o.bypass && std::memcmp(&callbacks, &o.callbacks, sizeof callbacks) == 0 &&
               elementName == o.elementName && presetName == o.presetName && presetNumber == o.presetNumber;
    }
};

OSStatus beatAndTempo(void*, Float64* beat, Float64* tempo) {
    *beat = 0.0;
    *tempo = 100.0;
    return noErr;
}

// A unit with something to lose: preset 21, a named input, host callbacks.
struct Prepared {
    EngineHost e{44100.0, 2, 512};
    AudioUnit unit = e.host().unit();
    Prepared() {
        EXPECT_EQ(e.host().selectFactoryPreset(21), noErr);
        e.pump();
        CFStringRef name = CFSTR("Guitar");
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0, &name,
                                       sizeof name),
                  noErr);
        HostCallbackInfo callbacks{};
        callbacks.hostUserData = this;
        callbacks.beatAndTempoProc = &beatAndTempo;
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0,
                                       &callbacks, sizeof callbacks),
                  noErr);
    }
};

// One writable property and a well-formed value for it.
struct Writable {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    std::vector<UInt8> value;
};

template <class T> std::vector<UInt8> bytesOf(const T& value) {
    const auto* p = reinterpret_cast<const UInt8*>(&value);
    return std::vector<UInt8>(p, p + sizeof value);
}

// ---------------------------------------------------------------------------
// Properties

TEST(HostileCalls, PropertySetsOfTheWrongSizeOrWithoutDataAreRefusedAndChangeNothing) {
    Prepared p;
    const Snapshot before(p.unit);
    const CFStringRef otherName = CFSTR("Bass");
    const AUPreset preset{3, nullptr};
    const AURenderCallbackStruct noInput{nullptr, nullptr};
    HostCallbackInfo callbacks{};
    callbacks.beatAndTempoProc = &beatAndTempo;
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    ASSERT_EQ(
        AudioUnitGetProperty(p.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
        noErr);
    const UInt32 on = 1, frames = 4096;
    const Float64 rate = 48000.0;
    const AudioStreamBasicDescription mono = MorvaneCanonicalFormat(44100.0, 1);
    const std::vector<Writable> properties = {
        {kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, bytesOf(state)},
        {kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, bytesOf(rate)},
        {kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, bytesOf(mono)},
        {kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, bytesOf(frames)},
        {kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, bytesOf(on)},
        {kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, bytesOf(on)},
        {kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, bytesOf(noInput)},
        {kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, bytesOf(callbacks)},
        {kAudioUnitProperty_ElementName, kAudioUnitScope_Input, bytesOf(otherName)},
        {kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, bytesOf(preset)},
        {kMorvaneProperty_AttachedView, kAudioUnitScope_Global, bytesOf(static_cast<void*>(nullptr))},
    };
    for (const Writable& w : properties) {
        SCOPED_TRACE("property " + std::to_string(w.id));
        const UInt32 whole = UInt32(w.value.size());
        EXPECT_EQ(AudioUnitSetProperty(p.unit, w.id, w.scope, 0, nullptr, whole), paramErr);
        for (UInt32 cut : {whole - 1, 3u, 1u}) {
            EXPECT_EQ(AudioUnitSetProperty(p.unit, w.id, w.scope, 0, w.value.data(), cut),
                      kAudioUnitErr_InvalidPropertyValue)
                << cut << " bytes";
        }
        EXPECT_TRUE(Snapshot(p.unit) == before);
    }
    CFRelease(state);
}

TEST(HostileCalls, UnknownPropertiesScopesAndElementsAreNamedAsSuch) {
    Prepared p;
    const Snapshot before(p.unit);
    UInt32 size = 0;
    Boolean writable = false;
    UInt32 buffer[64] = {};
    const AudioStreamBasicDescription format = MorvaneCanonicalFormat(44100.0, 2);
    for (AudioUnitPropertyID id : {9999u, 70001u, 0xFFFFFFFFu}) {
        EXPECT_EQ(AudioUnitGetPropertyInfo(p.unit, id, kAudioUnitScope_Global, 0, &size, &writable),
                  kAudioUnitErr_InvalidProperty);
        size = sizeof buffer;
        EXPECT_EQ(AudioUnitGetProperty(p.unit, id, kAudioUnitScope_Global, 0, buffer, &size),
                  kAudioUnitErr_InvalidProperty);
        EXPECT_EQ(AudioUnitSetProperty(p.unit, id, kAudioUnitScope_Global, 0, buffer, 16),
                  kAudioUnitErr_InvalidProperty);
    }
    for (AudioUnitScope scope : {4u, 9u, 0xFFFFFFFFu}) {
        size = sizeof buffer;
        EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, scope, 0, buffer, &size),
                  kAudioUnitErr_InvalidScope);
        EXPECT_EQ(
            AudioUnitSetProperty(p.unit, kAudioUnitProperty_StreamFormat, scope, 0, &format, sizeof format),
            kAudioUnitErr_InvalidScope);
        EXPECT_EQ(AudioUnitGetParameter(p.unit, kFilterFreq, scope, 0, reinterpret_cast<float*>(buffer)),
                  kAudioUnitErr_InvalidScope);
        EXPECT_EQ(AudioUnitReset(p.unit, scope, 0), kAudioUnitErr_InvalidScope);
    }
    for (AudioUnitElement element : {1u, 7u, 0xFFFFFFFFu}) {
        size = sizeof buffer;
        EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                       element, buffer, &size),
                  kAudioUnitErr_InvalidElement);
        CFStringRef name = CFSTR("Nowhere");
        EXPECT_EQ(AudioUnitSetProperty(p.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, element,
                                       &name, sizeof name),
                  kAudioUnitErr_InvalidElement);
        EXPECT_EQ(AudioUnitSetParameter(p.unit, kFilterFreq, kAudioUnitScope_Global, element, 500.0f, 0),
                  kAudioUnitErr_InvalidElement);
        EXPECT_EQ(AudioUnitReset(p.unit, kAudioUnitScope_Output, element), kAudioUnitErr_InvalidElement);
    }
    // Gets: no size pointer, a buffer one byte short (left untouched), and a
    // size query without a buffer.
    size = sizeof(AudioStreamBasicDescription) - 1;
    std::memset(buffer, 0xA5, sizeof buffer);
    EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, buffer,
                                   nullptr),
              paramErr);
    EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, buffer,
                                   &size),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(buffer[0], 0xA5A5A5A5u);
    EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                   nullptr, &size),
              noErr);
    EXPECT_EQ(size, sizeof(AudioStreamBasicDescription));
    // Parameters the unit does not publish.
    AudioUnitParameterInfo info{};
    size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 45,
                                   &info, &size),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(info.cfNameString, nullptr);
    AudioUnitParameterIDName idName{kNumPublishedParameters, kAudioUnitParameterName_Full, nullptr};
    size = sizeof idName;
    EXPECT_EQ(AudioUnitGetProperty(p.unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0,
                                   &idName, &size),
              kAudioUnitErr_InvalidParameter);
    // Properties that are only read.
    for (AudioUnitPropertyID id : {kAudioUnitProperty_ParameterList, kAudioUnitProperty_TailTime,
                                   kAudioUnitProperty_FactoryPresets, kAudioUnitProperty_LastRenderError})
        EXPECT_EQ(AudioUnitSetProperty(p.unit, id, kAudioUnitScope_Global, 0, buffer, 16),
                  kAudioUnitErr_PropertyNotWritable);
    EXPECT_TRUE(Snapshot(p.unit) == before);
}

// ---------------------------------------------------------------------------
// Parameters and presets

TEST(HostileCalls, ParameterValuesThatAreNotNumbersAreRefusedAndOutOfRangeOnesHeldAtTheirBounds) {
    Prepared p;
    const float frequency = p.e.host().getParameter(kFilterFreq);
    for (float bad : {kNaN, kInf, -kInf}) {
        EXPECT_EQ(AudioUnitSetParameter(p.unit, kFilterFreq, kAudioUnitScope_Global, 0, bad, 0),
                  kAudioUnitErr_InvalidParameterValue);
        const AudioUnitParameter parameter{p.unit, kFilterFreq, kAudioUnitScope_Global, 0};
        EXPECT_EQ(AUParameterSet(nullptr, nullptr, &parameter, bad, 0), kAudioUnitErr_InvalidParameterValue);
        EXPECT_EQ(p.e.host().getParameter(kFilterFreq), frequency);
    }
    // Far outside the published ranges: held at the nearer bound, in the store
    // the host reads back and in the effect, which keeps sounding.
    const struct {
        AudioUnitParameterID id;
        float value, held;
    } beyond[] = {{kFilterFreq, 1e9f, 20000.0f},  {kFilterFreq, -3e38f, 40.0f}, {kFilterOnOff, 3e38f, 1.0f},
                  {kRegeneration, 3e38f, 1.0f},   {kLeftX, -1e30f, 0.0f},       {kLeftDelayTime, 1e20f, 1.0f},
                  {kLXDestination, 99.0f, 15.0f}, {kInputGain, 3e38f, 3.0f}};
    for (const auto& b : beyond) {
        SCOPED_TRACE("parameter " + std::to_string(b.id));
        ASSERT_EQ(AudioUnitSetParameter(p.unit, b.id, kAudioUnitScope_Global, 0, b.value, 0), noErr);
        EXPECT_EQ(p.e.host().getParameter(b.id), b.held);
        p.e.set(b.id, b.value); // through the listener facility too
        p.e.pump();
        EXPECT_EQ(p.e.params().getNaturalValue(int32_t(b.id)), b.held);
    }
    const auto out = p.e.renderConstant(0.5f, 44100);
    for (const auto& channel : out)
        for (float sample : channel)
            ASSERT_TRUE(std::isfinite(sample));
    for (AudioUnitParameterID id : {45u, 47u, 1000u})
        EXPECT_EQ(AudioUnitSetParameter(p.unit, id, kAudioUnitScope_Global, 0, 0.5f, 0),
                  kAudioUnitErr_InvalidParameter);
    float value = 0.0f;
    EXPECT_EQ(AudioUnitGetParameter(p.unit, kFilterFreq, kAudioUnitScope_Global, 0, nullptr), paramErr);
    EXPECT_EQ(AudioUnitGetParameter(p.unit, 45, kAudioUnitScope_Global, 0, &value),
              kAudioUnitErr_InvalidParameter);
}

TEST(HostileCalls, FactoryPresetsOutOfRangeAreRefusedAndChangeNothing) {
    Prepared p;
    const Snapshot before(p.unit);
    for (SInt32 number : {33, 34, 1000, std::numeric_limits<SInt32>::max()}) {
        const AUPreset preset{number, nullptr};
        EXPECT_EQ(AudioUnitSetProperty(p.unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                                       &preset, sizeof preset),
                  kAudioUnitErr_InvalidPropertyValue)
            << number;
        const AUPreset named{number, CFSTR("Not a preset")};
        EXPECT_EQ(AudioUnitSetProperty(p.unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                                       &named, sizeof named),
                  kAudioUnitErr_InvalidPropertyValue);
    }
    const AUPreset userWrongType{-1, static_cast<CFStringRef>(static_cast<CFTypeRef>(kCFBooleanTrue))};
    EXPECT_EQ(AudioUnitSetProperty(p.unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                                   &userWrongType, sizeof userWrongType),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(Snapshot(p.unit) == before);
}

// ---------------------------------------------------------------------------
// Lifecycle out of order

TEST(HostileCalls, RenderBeforeInitializeAndCleanupTwice) {
    EngineHost e(44100.0, 2, 512, false);
    AudioUnit unit = e.host().unit();
    std::vector<float> left(256, 0.25f), right(256, 0.25f);
    AudioBufferListStorage<2> list;
    list.setNumberBuffers(2);
    list.setChannel(0, left.data(), 256);
    list.setChannel(1, right.data(), 256);
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp time{};
    EXPECT_EQ(AudioUnitRender(unit, &flags, &time, 0, 256, list.get()), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(left[0], 0.25f) << "a refused render leaves the buffers alone";
    OSStatus error = noErr;
    UInt32 size = sizeof error;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0,
                                   &error, &size),
              noErr);
    EXPECT_EQ(error, kAudioUnitErr_Uninitialized);

    ASSERT_EQ(e.host().initialize(), noErr);
    ASSERT_EQ(e.host().selectFactoryPreset(7), noErr);
    e.pump();
    const Snapshot before(unit);
    EXPECT_EQ(AudioUnitInitialize(unit), noErr) << "a second Initialize is harmless";
    EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
    EXPECT_TRUE(Snapshot(unit) == before);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &time, 0, 256, list.get()), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    e.host().announceAllParameters();
    e.pump();
    EXPECT_EQ(e.params().getNaturalValue(kFilterType), e.host().getParameter(kFilterType));
    const auto out = e.renderConstant(0.5f, 4096);
    EXPECT_TRUE(std::isfinite(out[0][4095]));
}

// A 250 ms echo, rendered at 44.1 kHz, then (uninitialised, new rate,
// initialised again) at 96 kHz: every setting survives, and the echo still
// comes 250 ms after the click.
TEST(HostileCalls, SampleRateChangeBetweenRendersKeepsTheSettings) {
    EngineHost e(44100.0, 1, 4096);
    auto echoAt = [&](double rate) {
        e.set(kHostSync, 0.0f);
        e.set(kDelayOnOff, 1.0f);
        e.set(kLeftDelayTime, (250.0f - 4.0f) / (2000.0f - 4.0f));
        e.set(kRegeneration, -60.0f);
        e.set(kWetDryMix, 100.0f);
        e.set(kFilterOnOff, 0.0f);
        e.set(kInputGain, 0.0f);
        e.set(kOutputGain, 0.0f);
        e.pump();
        e.renderConstant(0.0f, size_t(rate)); // gains settle
        std::vector<std::vector<float>> click(1, std::vector<float>(size_t(rate * 0.5), 0.0f));
        click[0][0] = 1.0f;
        const auto out = e.render(click);
        size_t loudest = 0;
        for (size_t i = 1; i < out[0].size(); ++i)
            if (std::fabs(out[0][i]) > std::fabs(out[0][loudest])) loudest = i;
        return double(loudest) / rate;
    };
    EXPECT_NEAR(echoAt(44100.0), 0.25, 0.002);
    ASSERT_EQ(e.host().selectFactoryPreset(21), noErr); // recordings on both pads
    e.pump();
    // What the rate change must keep: every stored value, both recordings and
    // the pads' drift.
    auto settings = [&] {
        std::vector<float> values;
        for (AudioUnitParameterID id = 0; id < AudioUnitParameterID(kNumPublishedParameters); ++id)
            values.push_back(e.host().getParameter(id));
        CFPropertyListRef saved = nullptr;
        EXPECT_EQ(e.host().saveState(&saved), noErr);
        for (CFStringRef key :
             {CFSTR("velocity_L_X"), CFSTR("velocity_L_Y"), CFSTR("velocity_R_X"), CFSTR("velocity_R_Y")}) {
            float velocity = 0.0f;
            CFNumberGetValue(
                static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(saved), key)),
                kCFNumberFloat32Type, &velocity);
            values.push_back(velocity);
        }
        CFRelease(saved);
        for (CMotionRecorder* r : {&e.effect().recorderLeft(), &e.effect().recorderRight()}) {
            values.push_back(float(r->count.load()));
            for (UInt32 i = 0; i < CMotionRecorder::kCapacity; ++i) {
                values.push_back(r->x[i].load());
                values.push_back(r->y[i].load());
            }
        }
        return values;
    };
    const std::vector<float> before = settings();

    AudioUnit unit = e.host().unit();
    const Float64 rate = 96000.0;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate,
                                   sizeof rate),
              kAudioUnitErr_Initialized)
        << "not while rendering";
    ASSERT_EQ(e.host().uninitialize(), noErr);
    ASSERT_EQ(e.host().configure(96000.0, 1, 4096), noErr);
    ASSERT_EQ(e.host().initialize(), noErr);
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(Snapshot(unit).output.mSampleRate, 96000.0);
    EXPECT_EQ(e.effect().recorderLeft().playStep.load(), float(12.8 / 96000.0))
        << "playback follows the new rate";
    ASSERT_EQ(e.host().selectFactoryPreset(32), noErr); // no pad routing: the echo alone
    EXPECT_NEAR(echoAt(96000.0), 0.25, 0.002);
}

} // namespace

// The test effect loaded from its bundle by the host harness, through its
// exported entry: parameter publication, listener delivery, state, presets,
// rendering and the host transport.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/AUListener.h"
#include "host/PropertyList.h"
#include "host/harness/HostHarness.h"
#include "tests/host/testgain/TestGainEffect.h"

namespace {

std::unique_ptr<HostHarness> OpenBundle() {
    std::string error;
    auto harness = HostHarness::Open(MORVANE_TEST_BUNDLE, error);
    EXPECT_TRUE(harness) << error;
    return harness;
}

TestGainLog& LogOf(AudioUnit unit) {
    TestGainLog* log = nullptr;
    UInt32 size = sizeof log;
    EXPECT_EQ(AudioUnitGetProperty(unit, kTestGainLogProperty, kAudioUnitScope_Global, 0, &log, &size),
              noErr);
    return *log;
}

std::string Text(CFStringRef s) {
    char buffer[256] = {};
    if (s == nullptr || !CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8)) return "<none>";
    return buffer;
}

SInt64 IntegerOf(CFDictionaryRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, k));
    CFRelease(k);
    SInt64 v = -12345;
    if (number != nullptr) CFNumberGetValue(number, kCFNumberSInt64Type, &v);
    return v;
}

std::string TempPath(const char* name) {
    return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(::getpid());
}

} // namespace

TEST(EffectHost, BundleRegistrationAndPublishedParameters) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    AudioUnit unit = harness->unit();
    ASSERT_NE(harness->bundle(), nullptr);
    ASSERT_EQ(harness->bundle()->Components().size(), 1u);
    const ComponentRegistration& reg = harness->bundle()->Components()[0];
    EXPECT_EQ(reg.desc.componentSubType, kTestGainSubType);
    EXPECT_EQ(reg.desc.componentManufacturer, kTestGainManufacturer);
    EXPECT_EQ(reg.name, "Qnlw: Test Gain");
    EXPECT_EQ(GetComponentVersion(unit), 0x00010001u);

    UInt32 size = 0;
    ASSERT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                       &size, nullptr),
              noErr);
    ASSERT_EQ(size, 5 * sizeof(AudioUnitParameterID));
    AudioUnitParameterID ids[5] = {};
    ASSERT_EQ(
        AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size),
        noErr);
    for (UInt32 i = 0; i < 5; ++i)
        EXPECT_EQ(ids[i], i);

    struct Expected {
        const char* name;
        AudioUnitParameterUnit unit;
        float min, max, def;
        bool highResolution;
    };
    const Expected expected[5] = {
        {"Output Gain Factor", kAudioUnitParameterUnit_Generic, 0, 2, 1, true},
        {"Mute", kAudioUnitParameterUnit_Boolean, 0, 1, 0, false},
        {"Mode", kAudioUnitParameterUnit_Indexed, 0, 2, 1, false},
        {"Depth", kAudioUnitParameterUnit_Percent, 0, 100, 50, true},
        // Synced time is published as a plain 0..1 value with default 0.
        {"Echo Time", kAudioUnitParameterUnit_Generic, 0, 1, 0, true},
    };
    for (UInt32 id = 0; id < 5; ++id) {
        SCOPED_TRACE(id);
        AudioUnitParameterInfo info;
        std::memset(&info, 0xA5, sizeof info); // the unit must not rely on a cleared record
        size = sizeof info;
        ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                                       &info, &size),
                  noErr);
        EXPECT_STREQ(info.name, expected[id].name);
        ASSERT_TRUE(info.flags & kAudioUnitParameterFlag_HasCFNameString);
        EXPECT_TRUE(info.flags & kAudioUnitParameterFlag_CFNameRelease);
        EXPECT_EQ(Text(info.cfNameString), expected[id].name);
        CFRelease(info.cfNameString);
        EXPECT_TRUE(info.flags & kAudioUnitParameterFlag_IsReadable);
        EXPECT_TRUE(info.flags & kAudioUnitParameterFlag_IsWritable);
        EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_IsHighResolution), expected[id].highResolution);
        EXPECT_EQ(info.unit, expected[id].unit);
        EXPECT_EQ(info.minValue, expected[id].min);
        EXPECT_EQ(info.maxValue, expected[id].max);
        EXPECT_EQ(info.defaultValue, expected[id].def);
    }
    // The parameter store starts at the stored defaults (0.25 for the synced time).
    EXPECT_EQ(harness->getParameter(kTestTime), 0.25f);
    EXPECT_EQ(harness->getParameter(kTestGain), 1.0f);

    AudioUnitParameterInfo info{};
    size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global,
                                   kTestHidden, &info, &size),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(
        AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Input, 0, &info, &size),
        kAudioUnitErr_InvalidParameter);

    // The long name, whatever length is asked for.
    AudioUnitParameterIDName idName{kTestGain, 4, nullptr};
    size = sizeof idName;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0,
                                   &idName, &size),
              noErr);
    EXPECT_EQ(Text(idName.outName), "Output Gain Factor");
    CFRelease(idName.outName);

    AUChannelInfo channels[2] = {};
    size = sizeof channels;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                   channels, &size),
              noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(channels[0].inChannels, 1);
    EXPECT_EQ(channels[0].outChannels, 1);
    EXPECT_EQ(channels[1].inChannels, 2);
    EXPECT_EQ(channels[1].outChannels, 2);

    ComponentDescription view{};
    size = sizeof view;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_GetUIComponentList, kAudioUnitScope_Global, 0,
                                   &view, &size),
              noErr);
    EXPECT_EQ(view.componentType, MorvaneFourCC("auvw"));
    EXPECT_EQ(view.componentSubType, kTestGainViewSubType);
    EXPECT_EQ(view.componentManufacturer, MorvaneFourCC("Qnlw"));
    EXPECT_EQ(view.componentFlags | view.componentFlagsMask, 0u);

    // Value names: the mode has them; asking whether others have them succeeds,
    // fetching them fails.
    CFArrayRef names = nullptr;
    size = sizeof names;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                                   kTestMode, &names, &size),
              noErr);
    ASSERT_EQ(CFArrayGetCount(names), 3);
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, 0))), "Soft");
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, 2))), "Hard");
    CFRelease(names);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                                       kTestGain, &size, nullptr),
              noErr);
    names = nullptr;
    size = sizeof names;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                                   kTestGain, &names, &size),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Output,
                                       kTestMode, &size, nullptr),
              kAudioUnitErr_InvalidProperty);
}

namespace {

struct HeardChange {
    int calls = 0;
    AudioUnitParameterID id = 0;
    float value = 0;
};

void RecordChange(void* refCon, void*, const AudioUnitParameter* p, AudioUnitParameterValue v) {
    auto* heard = static_cast<HeardChange*>(refCon);
    ++heard->calls;
    heard->id = p->mParameterID;
    heard->value = v;
}

} // namespace

TEST(EffectHost, HostChangesArriveCoalescedBeforeTheBlockAndOwnBroadcastsDoNot) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->configure(48000, 1, 256), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    TestGainLog& log = LogOf(harness->unit());

    // Three automation points before the block: only the last reaches the effect,
    // once, and before the block renders.
    ASSERT_EQ(harness->setParameter(kTestGain, 0.8f), noErr);
    ASSERT_EQ(harness->setParameter(kTestGain, 0.6f), noErr);
    ASSERT_EQ(harness->setParameter(kTestGain, 0.5f), noErr);
    EXPECT_EQ(log.listenerCalls[kTestGain].load(), 0) << "delivered on the run loop, not inside the set";
    EXPECT_EQ(harness->getParameter(kTestGain), 0.5f) << "stored at once";

    std::vector<float> in(100, 1.0f), out(100, -1.0f);
    const float* ins[] = {in.data()};
    float* outs[] = {out.data()};
    ASSERT_EQ(harness->render(ins, outs, 100), noErr);
    EXPECT_EQ(log.listenerCalls[kTestGain].load(), 1);
    EXPECT_EQ(log.listenerValue[kTestGain].load(), 0.5f);
    EXPECT_EQ(out[0], 0.5f);
    EXPECT_EQ(out[99], 0.5f);
    for (int id = 1; id < kTestRegisteredCount; ++id)
        EXPECT_EQ(log.listenerCalls[id].load(), 0) << id;

    // A change the effect makes itself reaches a host listener and the store,
    // but not the effect's own listener.
    AUParameterListenerRef hostListener = nullptr;
    HeardChange heard;
    ASSERT_EQ(AUListenerCreate(&RecordChange, &heard, harness->runLoop(), kCFRunLoopDefaultMode, 0.0f,
                               &hostListener),
              noErr);
    const AudioUnitParameter depth{harness->unit(), kTestDepth, kAudioUnitScope_Global, 0};
    ASSERT_EQ(AUListenerAddParameter(hostListener, nullptr, &depth), noErr);
    const TestGainBroadcast change{kTestDepth, 75.0f};
    ASSERT_EQ(AudioUnitSetProperty(harness->unit(), kTestGainBroadcastProperty, kAudioUnitScope_Global, 0,
                                   &change, sizeof change),
              noErr);
    harness->pump();
    EXPECT_EQ(harness->getParameter(kTestDepth), 75.0f);
    EXPECT_EQ(heard.calls, 1);
    EXPECT_EQ(heard.value, 75.0f);
    EXPECT_EQ(log.listenerCalls[kTestDepth].load(), 0);

    // After uninitialising, the effect no longer listens; a second uninitialise is harmless.
    ASSERT_EQ(harness->uninitialize(), noErr);
    ASSERT_EQ(harness->uninitialize(), noErr);
    ASSERT_EQ(harness->setParameter(kTestGain, 0.25f), noErr);
    harness->pump();
    EXPECT_EQ(log.listenerCalls[kTestGain].load(), 1);
    // Initialising again registers again.
    ASSERT_EQ(harness->initialize(), noErr);
    ASSERT_EQ(harness->setParameter(kTestGain, 0.75f), noErr);
    harness->pump();
    EXPECT_EQ(log.listenerCalls[kTestGain].load(), 2);
    EXPECT_EQ(log.listenerValue[kTestGain].load(), 0.75f);
    AUListenerDispose(hostListener);
}

TEST(EffectHost, SavedStateHasTheGenericKeysAndTheBigEndianBlob) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->setParameter(kTestGain, 1.5f), noErr);
    CFPropertyListRef state = nullptr;
    ASSERT_EQ(harness->saveState(&state), noErr);
    ASSERT_NE(state, nullptr);
    ASSERT_EQ(CFGetTypeID(state), CFDictionaryGetTypeID());
    auto dict = static_cast<CFDictionaryRef>(state);

    EXPECT_EQ(CFDictionaryGetCount(dict), 6);
    EXPECT_EQ(IntegerOf(dict, "version"), 0);
    EXPECT_EQ(IntegerOf(dict, "type"), SInt64(0x61756678));         // 'aufx'
    EXPECT_EQ(IntegerOf(dict, "subtype"), SInt64(0x5467616e));      // 'Tgan'
    EXPECT_EQ(IntegerOf(dict, "manufacturer"), SInt64(0x516e6c77)); // 'Qnlw'
    EXPECT_EQ(Text(static_cast<CFStringRef>(CFDictionaryGetValue(dict, CFSTR("name")))), "Untitled");

    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(CFGetTypeID(data), CFDataGetTypeID());
    // Global scope, element 0, five parameters; then id and IEEE single value
    // pairs, all most significant byte first: 1.5, 0, 1, 50, 0.25.
    const UInt8 expected[] = {
        0, 0, 0, 0, 0,    0,    0,    0,    0, 0, 0, 5, //
        0, 0, 0, 0, 0x3F, 0xC0, 0x00, 0x00,             //
        0, 0, 0, 1, 0x00, 0x00, 0x00, 0x00,             //
        0, 0, 0, 2, 0x3F, 0x80, 0x00, 0x00,             //
        0, 0, 0, 3, 0x42, 0x48, 0x00, 0x00,             //
        0, 0, 0, 4, 0x3E, 0x80, 0x00, 0x00,
    };
    ASSERT_EQ(CFDataGetLength(data), CFIndex(sizeof expected));
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), expected, sizeof expected), 0);

    // To an XML property-list file and back, then into a fresh instance.
    const std::string path = TempPath("testgain_state.aupreset");
    std::string error;
    ASSERT_EQ(harness->saveStateFile(path, error), noErr) << error;
    std::ifstream file(path);
    std::string head(5, '\0');
    file.read(head.data(), 5);
    EXPECT_EQ(head, "<?xml");
    CFDictionaryRef reread = readPropertyListDictionary(path, error);
    ASSERT_NE(reread, nullptr) << error;
    EXPECT_TRUE(CFEqual(reread, dict));
    CFRelease(reread);

    auto fresh = OpenBundle();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh->configure(44100, 2, 512), noErr);
    ASSERT_EQ(fresh->initialize(), noErr);
    TestGainLog& log = LogOf(fresh->unit());
    ASSERT_EQ(fresh->restoreStateFile(path, error), noErr) << error;
    EXPECT_EQ(fresh->getParameter(kTestGain), 1.5f);
    fresh->pump();
    // The announcement reaches every published parameter exactly once.
    for (int id = 0; id < kTestPublishedCount; ++id)
        EXPECT_EQ(log.listenerCalls[id].load(), 1) << id;
    EXPECT_EQ(log.listenerCalls[kTestHidden].load(), 0);
    EXPECT_EQ(log.listenerValue[kTestGain].load(), 1.5f);
    EXPECT_EQ(log.listenerValue[kTestTime].load(), 0.25f);
    std::remove(path.c_str());
    CFRelease(state);
}

TEST(EffectHost, RefusesForeignAndMalformedStates) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->setParameter(kTestGain, 1.5f), noErr);
    CFPropertyListRef saved = nullptr;
    ASSERT_EQ(harness->saveState(&saved), noErr);
    ASSERT_EQ(harness->setParameter(kTestGain, 1.0f), noErr);

    auto mutated = [&](CFStringRef key, CFTypeRef value) {
        CFMutableDictionaryRef copy =
            CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(saved));
        if (value != nullptr)
            CFDictionarySetValue(copy, key, value);
        else
            CFDictionaryRemoveValue(copy, key);
        return copy;
    };
    const SInt32 one = 1, other = SInt32(MorvaneFourCC("Xxxx"));
    CFNumberRef numberOne = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFNumberRef numberOther = CFNumberCreate(nullptr, kCFNumberSInt32Type, &other);
    struct Case {
        const char* what;
        CFPropertyListRef state;
    } cases[] = {
        {"part present", mutated(CFSTR("part"), numberOne)},
        {"version 1", mutated(CFSTR("version"), numberOne)},
        {"version missing", mutated(CFSTR("version"), nullptr)},
        {"version not a number", mutated(CFSTR("version"), CFSTR("0"))},
        {"other subtype", mutated(CFSTR("subtype"), numberOther)},
        {"subtype missing", mutated(CFSTR("subtype"), nullptr)},
        {"other manufacturer", mutated(CFSTR("manufacturer"), numberOther)},
        {"manufacturer missing", mutated(CFSTR("manufacturer"), nullptr)},
        {"data not data", mutated(CFSTR("data"), CFSTR("blob"))},
        {"not a dictionary", CFRetain(CFSTR("state"))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(harness->restoreState(c.state), kAudioUnitErr_InvalidPropertyValue) << c.what;
        EXPECT_EQ(harness->getParameter(kTestGain), 1.0f) << c.what << ": nothing applied";
        CFRelease(c.state);
    }
    // The type is not checked, and the untouched state is accepted.
    const SInt32 otherType = SInt32(MorvaneFourCC("aumf"));
    CFNumberRef numberType = CFNumberCreate(nullptr, kCFNumberSInt32Type, &otherType);
    CFMutableDictionaryRef retyped = mutated(CFSTR("type"), numberType);
    EXPECT_EQ(harness->restoreState(retyped), noErr);
    EXPECT_EQ(harness->getParameter(kTestGain), 1.5f);
    CFRelease(retyped);
    CFRelease(numberType);
    CFRelease(numberOne);
    CFRelease(numberOther);
    CFRelease(saved);

    std::string error;
    EXPECT_EQ(harness->restoreStateFile(TempPath("no_such_state"), error), kAudioUnitErr_InvalidFile);
    EXPECT_FALSE(error.empty());
}

TEST(EffectHost, FactoryPresets) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->configure(44100, 2, 512), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    TestGainLog& log = LogOf(harness->unit());

    CFArrayRef presets = nullptr;
    UInt32 size = sizeof presets;
    ASSERT_EQ(AudioUnitGetProperty(harness->unit(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global,
                                   0, &presets, &size),
              noErr);
    ASSERT_EQ(CFArrayGetCount(presets), 3);
    auto second = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, 1));
    EXPECT_EQ(second->presetNumber, 1);
    EXPECT_EQ(Text(second->presetName), "Half");
    CFRelease(presets);

    ASSERT_EQ(harness->selectFactoryPreset(1), noErr);
    const float values[] = {0.5f, 0.0f, 2.0f, 25.0f, 0.5f};
    for (int id = 0; id < 5; ++id)
        EXPECT_EQ(harness->getParameter(id), values[id]) << id;
    AUPreset current{};
    size = sizeof current;
    ASSERT_EQ(AudioUnitGetProperty(harness->unit(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global,
                                   0, &current, &size),
              noErr);
    EXPECT_EQ(current.presetNumber, 1);
    EXPECT_EQ(Text(current.presetName), "Half");
    CFRelease(current.presetName);
    harness->pump();
    for (int id = 0; id < 5; ++id)
        EXPECT_EQ(log.listenerValue[id].load(), values[id]) << id;

    EXPECT_EQ(harness->selectFactoryPreset(3), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(harness->getParameter(kTestGain), 0.5f);

    // A preset saved with the state keeps its name; a renamed user preset is number -1.
    const AUPreset user{-1, CFSTR("My Sound")};
    ASSERT_EQ(AudioUnitSetProperty(harness->unit(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global,
                                   0, &user, sizeof user),
              noErr);
    CFPropertyListRef state = nullptr;
    ASSERT_EQ(harness->saveState(&state), noErr);
    EXPECT_EQ(Text(static_cast<CFStringRef>(
                  CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("name")))),
              "My Sound");
    CFRelease(state);
}

TEST(EffectHost, RendersMonoAndStereoInPlaceOrNotAndBypassCopies) {
    for (UInt32 channels : {1u, 2u}) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(testing::Message() << channels << " channel(s), in place " << inPlace);
            auto harness = OpenBundle();
            ASSERT_TRUE(harness);
            ASSERT_EQ(harness->configure(48000, channels, 256), noErr);
            ASSERT_EQ(harness->initialize(), noErr);
            ASSERT_EQ(harness->setParameter(kTestGain, 0.5f), noErr);

            // 1000 frames: four slices, the last one short. Channels differ so a
            // swap or a repeated channel shows.
            const UInt32 frames = 1000;
            std::vector<std::vector<float>> in(channels), out(channels);
            for (UInt32 c = 0; c < channels; ++c) {
                in[c].resize(frames);
                for (UInt32 i = 0; i < frames; ++i)
                    in[c][i] = float(i % 97) * 0.01f - float(c) * 0.3f;
                out[c] = inPlace ? in[c] : std::vector<float>(frames, 9.0f);
            }
            const float* ins[2] = {};
            float* outs[2] = {};
            for (UInt32 c = 0; c < channels; ++c) {
                ins[c] = inPlace ? out[c].data() : in[c].data();
                outs[c] = out[c].data();
            }
            ASSERT_EQ(harness->render(ins, outs, frames), noErr);
            for (UInt32 c = 0; c < channels; ++c)
                for (UInt32 i = 0; i < frames; ++i)
                    ASSERT_EQ(out[c][i], in[c][i] * 0.5f) << c << ":" << i;
            EXPECT_EQ(harness->sampleTime(), 1000.0);

            ASSERT_EQ(harness->setBypass(true), noErr);
            for (UInt32 c = 0; c < channels; ++c) {
                if (inPlace)
                    out[c] = in[c];
                else
                    std::fill(out[c].begin(), out[c].end(), 9.0f);
                outs[c] = out[c].data();
                ins[c] = inPlace ? out[c].data() : in[c].data();
            }
            ASSERT_EQ(harness->render(ins, outs, frames), noErr);
            for (UInt32 c = 0; c < channels; ++c)
                EXPECT_EQ(out[c], in[c]);
        }
    }
}

TEST(EffectHost, TransportAdvancesWithRenderedFramesOrIsAbsent) {
    auto harness = OpenBundle();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->configure(48000, 1, 480), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    TestGainLog& log = LogOf(harness->unit());
    std::vector<float> buffer(1440, 0.0f);
    float* io[] = {buffer.data()};

    // No transport: the effect's beat query fails.
    ASSERT_EQ(harness->renderInPlace(io, 480), noErr);
    EXPECT_EQ(log.beatStatus.load(), kAudioUnitErr_CannotDoInCurrentContext);

    ASSERT_EQ(harness->setTransport({120.0, 4.0}), noErr);
    ASSERT_EQ(harness->renderInPlace(io, 1440), noErr); // three slices of 10 ms
    EXPECT_EQ(log.beatStatus.load(), noErr);
    EXPECT_EQ(log.tempo.load(), 120.0);
    // The last slice starts 20 ms in: 4 + 0.02 s x 2 beats per second.
    EXPECT_NEAR(log.beat.load(), 4.04, 1e-12);
    EXPECT_NEAR(harness->currentBeat(), 4.06, 1e-12);

    ASSERT_EQ(harness->clearTransport(), noErr);
    ASSERT_EQ(harness->renderInPlace(io, 480), noErr);
    EXPECT_EQ(log.beatStatus.load(), kAudioUnitErr_CannotDoInCurrentContext);
}

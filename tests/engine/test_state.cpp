// Saving and restoring the effect's state through the loadable bundle: a round
// trip through an XML property-list file into a fresh instance, the layout of
// the saved dictionary, and every way a restore can be refused or cut short.
#include "tests/engine/test_state_support.h"

#include <bit>
#include <cstdio>

#include "params/factory_presets.h"
#include "params/padTargets.h"

namespace {

constexpr int32_t kRanges[12] = {kLXLowRange, kLXHighRange, kLYLowRange, kLYHighRange,
                                 kLZLowRange, kLZHighRange, kRXLowRange, kRXHighRange,
                                 kRYLowRange, kRYHighRange, kRZLowRange, kRZHighRange};
constexpr int32_t kDestinationIds[6] = {kLXDestination, kLYDestination, kLZDestination,
                                        kRXDestination, kRYDestination, kRZDestination};
constexpr bool isHighRange(int32_t id) {
    return (id - kLXLowRange) % 3 == 1;
}

std::string tempPath(const char* name) {
    return testing::TempDir() + name;
}

void recordGesture(CMotionRecorder& r, float x0, float y0, int points) {
    r.startRecording();
    for (int k = 0; k < points; ++k)
        r.recordValues(x0 + 0.01f * k, y0 - 0.01f * k);
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The parameter ids the pads currently drive, as the effect's table says.
std::vector<int32_t> routedTargets(MorvaneParameterManager& p) {
    std::vector<int32_t> targets;
    for (int32_t d : kDestinationIds) {
        const int index = static_cast<int>(p.getNaturalValue(d));
        if (index > 0 && index < kNumPadTargets) targets.push_back(padTargetID[index]);
    }
    return targets;
}

// An instance on factory preset 21 (drifting pads, two recordings) with a
// handful of its own changes: other settings, free pads moved, Motion Mode
// "Play" and a left gesture of its own.
void prepareSource(BundleHost& a) {
    ASSERT_EQ(a.host().selectFactoryPreset(21), noErr);
    a.pump();
    MorvaneParameterManager local;
    const std::vector<int32_t> routed = routedTargets(a.params());
    for (int32_t id : {kFilterType, kFilterResonance, kSaturation, kLeftDelayTime, kRegeneration, kWidth,
                       kWetDryMix, kOutputGain}) {
        if (std::find(routed.begin(), routed.end(), id) != routed.end()) continue;
        a.set(id, local.naturalValueFromVSTvalue(id, 0.3f));
    }
    // Free pads: a linked drag would move the partner axis in the effect but
    // not in the host's copy, which is what the state saves.
    a.set(kLinkMode, 0.0f);
    a.pump();
    a.set(kLeftX, 0.8f);
    a.set(kRightY, 0.2f);
    a.set(kMotionMode, 1.0f); // "Play"
    a.pump();
    recordGesture(a.recorder(true), 0.2f, 0.9f, 7);
}

// ---------------------------------------------------------------------------
// Round trip

TEST(SavedState, RestoredIntoAFreshInstanceFromAFileReproducesTheEffectAndItsSound) {
    BundleHost a;
    prepareSource(a);
    const std::string path = tempPath("morvane_roundtrip.aupreset");
    std::string error;
    ASSERT_EQ(a.host().saveStateFile(path, error), noErr) << error;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char head[6] = {};
        ASSERT_EQ(std::fread(head, 1, 5, f), 5u);
        std::fclose(f);
        EXPECT_STREQ(head, "<?xml");
    }

    BundleHost b;
    std::vector<float> before;
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        before.push_back(b.params().getNaturalValue(id));
    ASSERT_EQ(b.host().restoreStateFile(path, error), noErr) << error;
    b.pump(); // the announcement reaches the effect

    int changed = 0;
    for (int32_t id = 0; id < kNumPublishedParameters; ++id) {
        EXPECT_TRUE(sameBits(b.stored(id), a.stored(id))) << "stored value of parameter " << id;
        EXPECT_TRUE(sameBits(b.params().getNaturalValue(id), a.params().getNaturalValue(id)))
            << "effect's value of parameter " << id;
        changed += b.params().getNaturalValue(id) != before[size_t(id)];
    }
    EXPECT_GE(changed, 15); // the values really travelled

    const PadVelocities va = a.velocities(), vb = b.velocities();
    EXPECT_EQ(vb.lx, velocityL[21].X);
    EXPECT_EQ(vb.ly, velocityL[21].Y);
    EXPECT_EQ(vb.rx, velocityR[21].X);
    EXPECT_EQ(vb.ry, velocityR[21].Y);
    EXPECT_TRUE(sameBits(va.lx, vb.lx) && sameBits(va.ly, vb.ly) && sameBits(va.rx, vb.rx) &&
                sameBits(va.ry, vb.ry));
    EXPECT_EQ(recorderContents(b.recorder(true)), recorderContents(a.recorder(true)));
    EXPECT_EQ(recorderContents(b.recorder(false)), recorderContents(a.recorder(false)));
    EXPECT_EQ(b.recorder(true).count.load(), 7u);

    // From here on both instances sound the same, recordings playing against
    // the same song position.
    ASSERT_EQ(a.host().setTransport({120.0, 0.0}), noErr);
    ASSERT_EQ(b.host().setTransport({120.0, 0.0}), noErr);
    const auto in = drumLoop(3.0);
    const auto outA = a.render(in);
    const auto outB = b.render(in);
    EXPECT_GT(rmsOf(outA), 1e-3);
    for (size_t c = 0; c < 2; ++c)
        EXPECT_EQ(std::memcmp(outA[c].data(), outB[c].data(), outA[c].size() * sizeof(float)), 0)
            << "channel " << c;
    std::remove(path.c_str());
}

// LV2 hosts restore a saved state before they activate the effect. Either
// way round, once the host has announced its values after the Initialize, the
// instance is the one that was saved: values, velocities, recordings, sound.
TEST(SavedState, SurvivesAnInitializeThatFollowsIt) {
    BundleHost a;
    prepareSource(a);
    CFHolder state(a.saveState());
    const PadVelocities va = a.velocities();
    std::vector<float> values;
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        values.push_back(a.params().getNaturalValue(id));
    ASSERT_EQ(a.host().setTransport({120.0, 0.0}), noErr);
    const auto in = drumLoop(2.0);
    const auto reference = a.render(in);

    for (bool restoreFirst : {true, false}) {
        BundleHost b(44100.0, 2, 4096, true, false);
        const auto restore = [&] { ASSERT_EQ(b.host().restoreState(state.get()), noErr); };
        if (restoreFirst) restore();
        ASSERT_EQ(b.host().initialize(), noErr);
        if (!restoreFirst) restore();
        ASSERT_EQ(b.host().announceAllParameters(), noErr);
        b.pump();
        const PadVelocities vb = b.velocities();
        EXPECT_TRUE(sameBits(va.lx, vb.lx) && sameBits(va.ly, vb.ly) && sameBits(va.rx, vb.rx) &&
                    sameBits(va.ry, vb.ry))
            << "restore first: " << restoreFirst;
        EXPECT_EQ(recorderContents(b.recorder(true)), recorderContents(a.recorder(true))) << restoreFirst;
        EXPECT_EQ(recorderContents(b.recorder(false)), recorderContents(a.recorder(false))) << restoreFirst;
        for (int32_t id = 0; id < kNumPublishedParameters; ++id)
            EXPECT_TRUE(sameBits(b.params().getNaturalValue(id), values[size_t(id)]))
                << "parameter " << id << ", restore first: " << restoreFirst;
        ASSERT_EQ(b.host().setTransport({120.0, 0.0}), noErr);
        const auto out = b.render(in);
        for (size_t c = 0; c < 2; ++c)
            EXPECT_EQ(std::memcmp(out[c].data(), reference[c].data(), out[c].size() * sizeof(float)), 0)
                << "channel " << c << ", restore first: " << restoreFirst;
    }
}

TEST(SavedState, CarriesTheEffectsEntriesBesideTheFrameworksAndIgnoresItsVersionOnRestore) {
    BundleHost e;
    ASSERT_EQ(e.host().selectFactoryPreset(18), noErr);
    e.pump();
    CFHolder state(e.saveState());

    CFTypeRef version = CFDictionaryGetValue(state.dict(), CFSTR("Version"));
    ASSERT_NE(version, nullptr);
    SInt32 v = 0;
    ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(version), kCFNumberSInt32Type, &v));
    EXPECT_EQ(v, 10);
    for (const char* key : {"velocity_L_X", "velocity_L_Y", "velocity_R_X", "velocity_R_Y"}) {
        CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFTypeRef n = CFDictionaryGetValue(state.dict(), k);
        CFRelease(k);
        ASSERT_NE(n, nullptr) << key;
        EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(n))) << key;
        EXPECT_EQ(CFNumberGetByteSize(static_cast<CFNumberRef>(n)), 4) << key;
    }
    // Each recorder as its 664-byte image: the right pad's ten-point gesture.
    CFTypeRef right = CFDictionaryGetValue(state.dict(), CFSTR("RightMotion"));
    ASSERT_NE(right, nullptr);
    ASSERT_EQ(CFDataGetLength(static_cast<CFDataRef>(right)), 664);
    const UInt8* image = CFDataGetBytePtr(static_cast<CFDataRef>(right));
    EXPECT_EQ(image[644] | image[645] << 8 | image[646] << 16 | image[647] << 24, 10);
    float x0 = 0.0f;
    std::memcpy(&x0, image, 4);
    EXPECT_NEAR(x0, 0.128f, 0.0005f);
    ASSERT_EQ(
        CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(state.dict(), CFSTR("LeftMotion")))),
        664);

    // The framework's parameter blob: one global record of 45 big-endian pairs.
    CFDataRef blob = static_cast<CFDataRef>(CFDictionaryGetValue(state.dict(), CFSTR("data")));
    ASSERT_NE(blob, nullptr);
    ASSERT_EQ(CFDataGetLength(blob), 372);
    const UInt8 head[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2D};
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(blob), head, 12), 0);

    // "Version" is the effect's own and is not read back.
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, state.dict());
    setValue(copy, "Version", newInt(99));
    EXPECT_EQ(e.host().restoreState(copy), noErr);
    removeKey(copy, "Version");
    EXPECT_EQ(e.host().restoreState(copy), noErr);
    CFRelease(copy);
}

// ---------------------------------------------------------------------------
// Refused dictionaries

struct Damage {
    const char* name;
    void (*apply)(CFMutableDictionaryRef);
};

const Damage kRefusals[] = {
    {"VersionOne", [](CFMutableDictionaryRef d) { setValue(d, "version", newInt(1)); }},
    {"VersionMissing", [](CFMutableDictionaryRef d) { removeKey(d, "version"); }},
    {"PartPresent", [](CFMutableDictionaryRef d) { setValue(d, "part", newInt(0)); }},
    {"OtherSubtype", [](CFMutableDictionaryRef d) { setValue(d, "subtype", newInt(0x41424344)); }},
    {"ManufacturerMissing", [](CFMutableDictionaryRef d) { removeKey(d, "manufacturer"); }},
    {"NotADictionary", nullptr},
};

class RefusedState : public testing::TestWithParam<Damage> {};

TEST_P(RefusedState, IsRefusedAfterThePadResetsAndBeforeAnySavedValue) {
    BundleHost a;
    ASSERT_EQ(a.host().selectFactoryPreset(28), noErr);
    a.set(kFilterFreq, 500.0f);
    a.set(kWidth, 10.0f);
    a.pump();
    CFHolder saved(a.saveState());
    CFMutableDictionaryRef damaged = CFDictionaryCreateMutableCopy(nullptr, 0, saved.dict());
    CFHolder state(damaged);
    if (GetParam().apply)
        GetParam().apply(damaged);
    else
        state.reset(newInt(0));

    // The receiving instance: preset 0, with the left pad's X routed to the
    // filter frequency between narrowed bounds, and drifting pads.
    BundleHost b;
    ASSERT_EQ(b.host().selectFactoryPreset(0), noErr);
    b.pump();
    ASSERT_EQ(static_cast<int>(b.params().getNaturalValue(kLXDestination)), 1); // "Filter Freq"
    const float freqBefore = b.params().getNaturalValue(kFilterFreq);
    b.set(kLeftX, 0.95f);
    b.pump();
    ASSERT_NE(b.params().getNaturalValue(kFilterFreq), freqBefore); // the pad drives it
    std::vector<float> stored;
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        stored.push_back(b.stored(id));

    EXPECT_EQ(b.host().restoreState(state.get()), kAudioUnitErr_InvalidPropertyValue);

    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        EXPECT_TRUE(sameBits(b.stored(id), stored[size_t(id)])) << "parameter " << id;
    const PadVelocities v = b.velocities();
    EXPECT_EQ(v.lx, 0.0f);
    EXPECT_EQ(v.ly, 0.0f);
    EXPECT_EQ(v.rx, 0.0f);
    EXPECT_EQ(v.ry, 0.0f);
    for (int32_t id : kRanges)
        EXPECT_EQ(b.params().getVSTvalue(id), isHighRange(id) ? 1.0f : 0.0f) << id;
    for (int32_t id : kDestinationIds)
        EXPECT_EQ(b.params().getVSTvalue(id), 0.0f) << id;
    const float freqAfter = b.params().getNaturalValue(kFilterFreq);
    b.set(kLeftX, 0.1f);
    b.pump();
    EXPECT_EQ(b.params().getNaturalValue(kFilterFreq), freqAfter); // routing released
}

INSTANTIATE_TEST_SUITE_P(Dictionaries, RefusedState, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Damage>& info) {
                             return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Missing entries of the effect's own

const char* const kEffectKeys[6] = {"velocity_L_X", "velocity_L_Y", "velocity_R_X",
                                    "velocity_R_Y", "LeftMotion",   "RightMotion"};

class MissingEntry : public testing::TestWithParam<int> {};

TEST_P(MissingEntry, StopsTheRestoreThereWithWhatCameBeforeApplied) {
    const int missing = GetParam();
    BundleHost a;
    ASSERT_EQ(a.host().selectFactoryPreset(21), noErr);
    a.set(kFilterFreq, 640.0f);
    a.pump();
    recordGesture(a.recorder(true), 0.3f, 0.6f, 5);
    recordGesture(a.recorder(false), 0.7f, 0.4f, 9);
    CFHolder saved(a.saveState());
    CFMutableDictionaryRef state = CFDictionaryCreateMutableCopy(nullptr, 0, saved.dict());
    CFHolder holder(state);
    removeKey(state, kEffectKeys[missing]);

    BundleHost b;
    recordGesture(b.recorder(true), 0.5f, 0.5f, 3);
    recordGesture(b.recorder(false), 0.5f, 0.5f, 4);
    const std::vector<float> leftBefore = recorderContents(b.recorder(true));
    const std::vector<float> rightBefore = recorderContents(b.recorder(false));

    EXPECT_EQ(b.host().restoreState(state), kAudioUnitErr_InvalidPropertyValue);

    EXPECT_EQ(b.stored(kFilterFreq), 640.0f); // the framework's part went in
    const PadVelocities v = b.velocities();
    const float got[4] = {v.lx, v.ly, v.rx, v.ry};
    const float sent[4] = {velocityL[21].X, velocityL[21].Y, velocityR[21].X, velocityR[21].Y};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(got[i], i < missing ? sent[i] : 0.0f) << kEffectKeys[i];
    EXPECT_EQ(recorderContents(b.recorder(true)),
              missing > 4 ? recorderContents(a.recorder(true)) : leftBefore);
    EXPECT_EQ(recorderContents(b.recorder(false)), rightBefore);
}

INSTANTIATE_TEST_SUITE_P(Keys, MissingEntry, testing::Range(0, 6),
                         [](const testing::TestParamInfo<int>& info) {
                             std::string name = kEffectKeys[info.param];
                             name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                             return name;
                         });

TEST(MissingEntry, LeavesRecordingsSilentUntilAFactoryPresetIsChosen) {
    // A state whose left recording would move the left pad far from where it is.
    BundleHost a;
    ASSERT_EQ(a.host().selectFactoryPreset(28), noErr);
    a.set(kMotionMode, 1.0f); // "Play"
    a.set(kLinkMode, 0.0f);   // "Free"
    a.set(kKinetics, 0.0f);
    a.set(kLeftX, 0.5f);
    a.set(kLeftY, 0.5f);
    a.pump();
    a.recorder(true).startRecording();
    a.recorder(true).recordValues(0.05f, 0.95f);
    CFHolder saved(a.saveState());
    CFMutableDictionaryRef state = CFDictionaryCreateMutableCopy(nullptr, 0, saved.dict());
    CFHolder holder(state);
    removeKey(state, "RightMotion");

    BundleHost b;
    ASSERT_EQ(b.host().restoreState(state), kAudioUnitErr_InvalidPropertyValue);
    ASSERT_EQ(b.host().announceAllParameters(), noErr);
    b.pump();
    ASSERT_EQ(b.params().getNaturalValue(kMotionMode), 1.0f);
    ASSERT_EQ(b.recorder(true).count.load(), 1u);
    b.renderSilence(44100);
    EXPECT_EQ(b.params().getVSTvalue(kLeftX), 0.5f);
    EXPECT_EQ(b.params().getVSTvalue(kLeftY), 0.5f);

    // Preset 27 brings its circles and arms playback again: at the start of the
    // cycle (no host transport, phase 0) the left pad sits at the top.
    ASSERT_EQ(b.host().selectFactoryPreset(27), noErr);
    b.set(kMotionMode, 1.0f);
    b.set(kLinkMode, 0.0f);
    b.set(kKinetics, 0.0f);
    b.pump();
    b.renderSilence(512);
    EXPECT_FLOAT_EQ(b.params().getVSTvalue(kLeftX), 0.5f);
    EXPECT_FLOAT_EQ(b.params().getVSTvalue(kLeftY), 1.0f);
}

// ---------------------------------------------------------------------------
// Recorder images of other lengths

TEST(SavedState, ShortImagesReplaceOnlyTheirBytesAndLongOnesAreCutAt664) {
    BundleHost a;
    recordGesture(a.recorder(false), 0.25f, 0.75f, 12);
    CFHolder saved(a.saveState());
    CFMutableDictionaryRef state = CFDictionaryCreateMutableCopy(nullptr, 0, saved.dict());
    CFHolder holder(state);

    // Left: 100 bytes, i.e. x[0..24] only.
    std::vector<UInt8> shortImage(100);
    for (size_t k = 0; k < 25; ++k) {
        const float x = 0.5f + 0.01f * static_cast<float>(k);
        std::memcpy(shortImage.data() + 4 * k, &x, 4);
    }
    setValue(state, "LeftMotion", CFDataCreate(nullptr, shortImage.data(), CFIndex(shortImage.size())));
    // Right: the saved 664 bytes followed by 36 bytes of junk.
    CFDataRef right = static_cast<CFDataRef>(CFDictionaryGetValue(saved.dict(), CFSTR("RightMotion")));
    std::vector<UInt8> longImage(CFDataGetBytePtr(right), CFDataGetBytePtr(right) + 664);
    longImage.resize(700, 0xFF);
    setValue(state, "RightMotion", CFDataCreate(nullptr, longImage.data(), CFIndex(longImage.size())));

    BundleHost b;
    recordGesture(b.recorder(true), 0.1f, 0.9f, 40);
    std::vector<float> leftBefore = recorderContents(b.recorder(true));
    ASSERT_EQ(b.host().restoreState(state), noErr);

    const CMotionRecorder& left = b.recorder(true);
    EXPECT_EQ(left.count.load(), 40u);
    for (uint32_t k = 0; k < CMotionRecorder::kCapacity; ++k) {
        EXPECT_EQ(left.x[k].load(), k < 25 ? 0.5f + 0.01f * static_cast<float>(k) : leftBefore[1 + 2 * k])
            << k;
        EXPECT_EQ(left.y[k].load(), leftBefore[2 + 2 * k]) << k;
    }
    EXPECT_EQ(recorderContents(b.recorder(false)), recorderContents(a.recorder(false)));
}

// A damaged "data" blob: every published value pushed far beyond its range
// (one sign per run). The restore holds each at its nearer bound, and the
// effect keeps producing sound rather than NaN.
TEST(SavedState, ValuesFarBeyondTheirRangesAreHeldAtTheirBoundsAndTheOutputStaysFinite) {
    for (const float huge : {3.0e38f, -3.0e38f}) {
        BundleHost a;
        CFHolder saved(a.saveState());
        CFMutableDictionaryRef state = CFDictionaryCreateMutableCopy(nullptr, 0, saved.dict());
        CFHolder holder(state);
        std::vector<UInt8> blob;
        auto put = [&blob](UInt32 v) {
            for (int shift = 24; shift >= 0; shift -= 8)
                blob.push_back(UInt8(v >> shift));
        };
        put(0);
        put(0);
        put(UInt32(kFactoryPresetValueCount));
        for (int id = 0; id < kFactoryPresetValueCount; ++id) {
            put(UInt32(id));
            put(std::bit_cast<UInt32>(huge));
        }
        setValue(state, "data", CFDataCreate(nullptr, blob.data(), CFIndex(blob.size())));
        ASSERT_EQ(a.host().restoreState(state), noErr);
        a.pump();

        EXPECT_EQ(a.stored(kFilterOnOff), huge > 0.0f ? 1.0f : 0.0f);
        EXPECT_EQ(a.stored(kLeftX), huge > 0.0f ? 1.0f : 0.0f);
        const std::vector<std::vector<float>> out = a.render(drumLoop(0.5));
        for (const std::vector<float>& channel : out)
            for (size_t i = 0; i < channel.size(); ++i)
                ASSERT_TRUE(std::isfinite(channel[i])) << huge << " at " << i;
    }
}

} // namespace

// The factory presets through the loadable bundle: the list the host is shown,
// what selecting one stores and arms, refused numbers, and every preset
// rendering a drum loop at a sane level.
#include "tests/engine/test_state_support.h"

#include <cstdio>

#include "motion/factory_recording_loader.h"
#include "params/factory_presets.h"
#include "params/factory_recordings.h"
#include "tests/engine/engine_test_support.h"

namespace {

constexpr int32_t kDestinationIds[6] = {kLXDestination, kLYDestination, kLZDestination,
                                        kRXDestination, kRYDestination, kRZDestination};

std::string presetName(const AUPreset& p) {
    char text[64] = {};
    CFStringGetCString(p.presetName, text, sizeof text, kCFStringEncodingUTF8);
    return text;
}

AUPreset presentPreset(BundleHost& e) {
    AUPreset p{-2, nullptr};
    UInt32 size = sizeof p;
    EXPECT_EQ(AudioUnitGetProperty(e.unit(), kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &p,
                                   &size),
              noErr);
    return p;
}

TEST(FactoryPresets, AreListedForTheHostByNumberAndName) {
    BundleHost e;
    CFArrayRef list = nullptr;
    UInt32 size = sizeof list;
    ASSERT_EQ(AudioUnitGetProperty(e.unit(), kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0,
                                   &list, &size),
              noErr);
    ASSERT_EQ(CFArrayGetCount(list), 33);
    for (CFIndex i = 0; i < 33; ++i) {
        const auto* p = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
        EXPECT_EQ(p->presetNumber, i);
        EXPECT_EQ(presetName(*p), kPresets[i].name);
    }
    EXPECT_EQ(presetName(*static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, 0))),
              "Welcome To Morvane");
    EXPECT_EQ(presetName(*static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, 27))), "Yin & Yang");
    EXPECT_EQ(presetName(*static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, 32))), "User 5 (init)");
    CFRelease(list);

    ASSERT_EQ(e.host().selectFactoryPreset(13), noErr);
    const AUPreset current = presentPreset(e);
    EXPECT_EQ(current.presetNumber, 13);
    EXPECT_EQ(presetName(current), "Soup Sandwich");
    CFRelease(current.presetName);
}

TEST(FactoryPresets, RowZeroReadsThroughTheReversedAxes) {
    BundleHost e;
    ASSERT_EQ(e.host().selectFactoryPreset(0), noErr);
    // Stored as 1.0, the first entry of a reversed axis: Motion Mode "Off", Link Mode "Free".
    ASSERT_EQ(kPresetData[0][kMotionMode], 1.0f);
    EXPECT_EQ(e.stored(kMotionMode), 0.0f);
    EXPECT_EQ(e.stored(kLinkMode), 0.0f);
    EXPECT_NEAR(e.stored(kFilterFreq), 2040.0f, 2.0f);
    EXPECT_FLOAT_EQ(e.stored(kLeftDelayTime), 0.37f);
    EXPECT_EQ(e.stored(kLXDestination), 1.0f);  // "Filter Freq"
    EXPECT_EQ(e.stored(kRYDestination), 10.0f); // "Delay Regen"
    EXPECT_EQ(e.stored(kKinetics), 1.0f);
    e.pump();
    EXPECT_EQ(e.params().getNaturalValue(kMotionMode), 0.0f);
    EXPECT_EQ(e.params().getNaturalValue(kLinkMode), 0.0f);
}

TEST(FactoryPresets, LastOneIsThePlainInitPatch) {
    BundleHost e;
    ASSERT_EQ(e.host().selectFactoryPreset(0), noErr); // something routed and drifting first
    e.pump();
    ASSERT_EQ(e.host().selectFactoryPreset(32), noErr);
    e.pump();
    EXPECT_EQ(e.stored(kFilterType), 0.0f); // "4P LP"
    EXPECT_NEAR(e.stored(kFilterFreq), 20000.0f, 0.01f);
    EXPECT_EQ(e.stored(kMotionMode), 0.0f);
    EXPECT_EQ(e.stored(kLinkMode), 0.0f);
    EXPECT_EQ(e.stored(kKinetics), 0.0f);
    for (int32_t d : kDestinationIds) {
        EXPECT_EQ(e.stored(d), 0.0f) << d;
        EXPECT_EQ(e.stored(d + 1), 0.0f) << d + 1;
        EXPECT_EQ(e.stored(d + 2), 1.0f) << d + 2;
    }
    // Nothing is routed, so the effect holds exactly the stored values.
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        EXPECT_EQ(e.params().getNaturalValue(id), e.stored(id)) << id;
    const PadVelocities v = e.velocities();
    EXPECT_EQ(v.lx, 0.0f);
    EXPECT_EQ(v.ry, 0.0f);
    EXPECT_EQ(e.recorder(true).count.load(), 0u);
    EXPECT_EQ(e.recorder(false).count.load(), 0u);
}

TEST(FactoryPresets, EachLoadsItsOwnRowVelocitiesAndRecordings) {
    BundleHost e;
    MorvaneParameterManager local;
    for (int n = 0; n < kFactoryPresetCount; ++n) {
        SCOPED_TRACE(n);
        ASSERT_EQ(e.host().selectFactoryPreset(n), noErr);
        e.pump();
        for (int32_t id = 0; id < kNumPublishedParameters; ++id)
            ASSERT_EQ(e.stored(id), local.naturalValueFromVSTvalue(id, kPresetData[n][id])) << id;
        const PadVelocities v = e.velocities();
        EXPECT_EQ(v.lx, velocityL[n].X);
        EXPECT_EQ(v.ly, velocityL[n].Y);
        EXPECT_EQ(v.rx, velocityR[n].X);
        EXPECT_EQ(v.ry, velocityR[n].Y);
        const CMotionRecorder& left = e.recorder(true);
        const CMotionRecorder& right = e.recorder(false);
        ASSERT_EQ(left.count.load(), static_cast<uint32_t>(mojoLsize[n]));
        ASSERT_EQ(right.count.load(), static_cast<uint32_t>(mojoRsize[n]));
        for (int k = 0; k < kMojoPoints; ++k) {
            ASSERT_EQ(left.x[k].load(), mojoLX[n][k]) << k;
            ASSERT_EQ(right.y[k].load(), mojoRY[n][k]) << k;
        }
    }
}

TEST(FactoryPresets, NumbersOutsideTheTableChangeNothing) {
    BundleHost e;
    ASSERT_EQ(e.host().selectFactoryPreset(9), noErr);
    e.pump();
    std::vector<float> stored;
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        stored.push_back(e.stored(id));
    const std::vector<float> left = recorderContents(e.recorder(true));
    for (SInt32 n : {33, 1000}) {
        EXPECT_EQ(e.host().selectFactoryPreset(n), kAudioUnitErr_InvalidPropertyValue) << n;
        for (int32_t id = 0; id < kNumPublishedParameters; ++id)
            EXPECT_EQ(e.stored(id), stored[size_t(id)]) << id;
        EXPECT_EQ(e.velocities().lx, velocityL[9].X);
        EXPECT_EQ(recorderContents(e.recorder(true)), left);
        const AUPreset current = presentPreset(e);
        EXPECT_EQ(current.presetNumber, 9);
        CFRelease(current.presetName);
    }
    // A negative number never reaches the effect through the host (it names a
    // user preset there); called directly, the effect refuses it too.
    EngineHost direct;
    EXPECT_EQ(direct.effect().NewFactoryPresetSet(AUPreset{-1, nullptr}), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(direct.effect().GetPresetParameterValue(0, kMotionMode), 0.0f);
    EXPECT_NEAR(direct.effect().GetPresetParameterValue(0, kFilterFreq), 2040.0f, 2.0f);
    EXPECT_EQ(direct.effect().GetOnePreset(33), nullptr);
}

// Every preset on a four-second drum loop at 120 beats per minute with the
// host's transport running, as in a session: no NaN or infinity, no runaway,
// and a level near the input's. The table of levels is printed.
TEST(FactoryPresets, EveryPresetRendersADrumLoopAtASaneLevel) {
    const auto in = drumLoop(4.0);
    const double inRms = rmsOf(in);
    const size_t second = 44100;
    std::printf("preset  output/input dB  last second dB  peak      name\n");
    for (int n = 0; n < kFactoryPresetCount; ++n) {
        SCOPED_TRACE(kPresets[n].name);
        BundleHost e;
        ASSERT_EQ(e.host().setTransport({120.0, 0.0}), noErr);
        ASSERT_EQ(e.host().selectFactoryPreset(n), noErr);
        const auto out = e.render(in);
        float peak = 0.0f;
        bool finite = true;
        for (const auto& channel : out)
            for (float x : channel) {
                finite = finite && std::isfinite(x);
                peak = std::max(peak, std::fabs(x));
            }
        const double level = decibels(rmsOf(out) / inRms);
        const double last = decibels(rmsOf(out, 3 * second) / rmsOf(in, 3 * second));
        std::printf("%6d  %15.1f  %14.1f  %8.3f  %s\n", n, level, last, static_cast<double>(peak),
                    kPresets[n].name);
        EXPECT_TRUE(finite);
        EXPECT_LT(peak, 4.0f);        // under +12 dB full scale
        EXPECT_LT(last, level + 6.0); // not growing
        EXPECT_GT(level, -12.0);
        EXPECT_LT(level, 9.0);
    }
}

} // namespace

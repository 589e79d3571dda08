// The effect's lifecycle and parameter application, through the host harness:
// start-up silence and fade-in, smoother restarts, mix targets, range and
// routing rules, filter-type hand-over, bypass, reset and a new sampling rate.
#include "tests/engine/engine_test_support.h"

#include <cstring>

#include "dsp/csd_utilities.h"
#include "engine/lookup_512_equalPower.h"
#include "host/CoreFoundation.h"

namespace {

constexpr double kRate = 44100.0;
constexpr double kGainRise = 7.8125e-05; // 10 ms of ticks
constexpr double kFreqRise = 0.015;

// ---------------------------------------------------------------------------
// Start-up

TEST(EngineLifecycle, SilentUntilTheGainsArriveThenFadesInOverTenMilliseconds) {
    EngineHost e;
    e.set(kFilterOnOff, 0.0f);
    e.set(kDelayOnOff, 0.0f);
    e.pump();
    const auto before = e.renderConstant(1.0f, 512);
    for (const auto& channel : before)
        for (float v : channel)
            ASSERT_EQ(v, 0.0f);

    e.setDryUnity();
    const auto out = e.renderConstant(1.0f, 2048);
    // Tick k (counted from the change) applies 1 - exp(-128 k / 441) to the
    // input and output gains; the dry gain (on its target since the delay went
    // off) is 4 ticks ahead. The input passes straight through.
    for (size_t j = 0; j < out[0].size(); ++j) {
        const int k = static_cast<int>(j / 128) + 1;
        const double g = lagAfterTicks(k, kGainRise, kRate);
        const double dry = lagAfterTicks(k + 4, kGainRise, kRate);
        ASSERT_NEAR(out[0][j], g * g * dry, 2e-6) << "frame " << j;
        ASSERT_EQ(out[1][j], out[0][j]);
    }
    // 16 ticks = 2048 frames = 46.4 ms: 1 - exp(-46.4 / 10).
    EXPECT_NEAR(e.effect().currentInGain(), 1.0 - std::exp(-2048.0 / 441.0), 1e-6);
}

TEST(EngineLifecycle, FilterFrequencySweepsUpFromZeroAfterInitialize) {
    EngineHost e;
    e.set(kFilterFreq, 1000.0f);
    e.pump();
    e.renderConstant(0.0f, 300);
    // Stepped every sample with a 15 ms time constant, from 0 Hz.
    EXPECT_NEAR(e.effect().smoothedFrequency(), 1000.0 * (1.0 - std::exp(-300.0 / (kFreqRise * kRate))),
                0.05);

    // A second Initialize restarts it from 0.
    ASSERT_EQ(e.host().uninitialize(), noErr);
    ASSERT_EQ(e.host().initialize(), noErr);
    e.set(kFilterFreq, 1000.0f);
    e.renderConstant(0.0f, 1);
    EXPECT_NEAR(e.effect().smoothedFrequency(), 1000.0 * (1.0 - std::exp(-1.0 / (kFreqRise * kRate))), 0.01);
}

// ---------------------------------------------------------------------------
// Parameter application

TEST(EngineLifecycle, MixTargetsFollowTheEqualPowerFadeAndTheDelaySwitch) {
    EngineHost e;
    struct Case {
        float mix, delayOn, dry, wet;
    };
    const Case cases[] = {
        {0.0f, 1.0f, 0.999939f, 0.0f}, {50.0f, 1.0f, 0.710358f, 0.710358f}, {100.0f, 1.0f, 0.0f, 0.999939f},
        {0.0f, 0.0f, 1.0f, 0.0f},      {50.0f, 0.0f, 1.0f, 0.710358f},      {100.0f, 0.0f, 1.0f, 0.999939f},
    };
    for (const Case& c : cases) {
        e.set(kDelayOnOff, c.delayOn);
        e.set(kWetDryMix, c.mix);
        e.pump();
        EXPECT_FLOAT_EQ(e.effect().dryGainTarget(), c.dry) << c.mix << "% delay " << c.delayOn;
        EXPECT_FLOAT_EQ(e.effect().wetGainTarget(), c.wet) << c.mix << "% delay " << c.delayOn;
    }
}

TEST(EngineLifecycle, EqualPowerTableIsAQuarterCosineThroughItsAnchors) {
    const float* E = lookup_512_equalPower;
    EXPECT_FLOAT_EQ(E[0], 0.999939f);
    EXPECT_FLOAT_EQ(E[255], 0.710358f);
    EXPECT_FLOAT_EQ(E[256], 0.708099f);
    EXPECT_FLOAT_EQ(E[510], 0.006042f);
    EXPECT_EQ(E[511], 0.0f);
    for (int i = 0; i < 512; ++i) {
        EXPECT_NEAR(E[i], std::cos(i / 511.0 * M_PI / 2.0), 0.0032) << i;
        if (i > 0) {
            EXPECT_LT(E[i], E[i - 1]) << i;
        }
    }
}

// Hears one parameter of the unit, as a host's own listener would.
struct HostListener {
    HostListener(AudioUnit unit, AudioUnitParameterID id) {
        AUListenerCreate(&HostListener::Heard, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f,
                         &ref);
        const AudioUnitParameter p{unit, id, kAudioUnitScope_Global, 0};
        AUListenerAddParameter(ref, this, &p);
    }
    ~HostListener() { AUListenerDispose(ref); }
    static void Heard(void* self, void*, const AudioUnitParameter*, AudioUnitParameterValue v) {
        auto* l = static_cast<HostListener*>(self);
        l->count++;
        l->last = v;
    }
    AUParameterListenerRef ref = nullptr;
    int count = 0;
    float last = -1.0f;
};

TEST(EngineLifecycle, RaisingALowRangeAboveItsHighRangePushesAndAnnouncesThePartner) {
    EngineHost e;
    HostListener heard(e.host().unit(), kLXHighRange);
    e.set(kLXLowRange, 0.95f); // high range is 0.924
    e.pump();
    e.pump();
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kLXHighRange), 0.95f);
    EXPECT_FLOAT_EQ(e.host().getParameter(kLXHighRange), 0.95f);
    EXPECT_GE(heard.count, 1);
    EXPECT_FLOAT_EQ(heard.last, 0.95f);

    // And the reverse: a high range below the low one pulls the low one down.
    HostListener heardLow(e.host().unit(), kRYLowRange);
    e.set(kRYHighRange, 0.1f); // low range is 0.521
    e.pump();
    e.pump();
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kRYLowRange), 0.1f);
    EXPECT_FLOAT_EQ(e.host().getParameter(kRYLowRange), 0.1f);
    EXPECT_FLOAT_EQ(heardLow.last, 0.1f);
}

TEST(EngineLifecycle, RoutingTwoAxesToOneTargetReleasesTheFirstForTheHostToo) {
    EngineHost e;
    e.set(kLXDestination, 1.0f); // Filter Frequency
    e.pump();
    EXPECT_EQ(e.effect().padEngine().padTarget(kLXDestination), kFilterFreq);
    e.set(kRXDestination, 1.0f);
    e.pump();
    e.pump();
    EXPECT_EQ(e.effect().padEngine().padTarget(kRXDestination), kFilterFreq);
    EXPECT_EQ(e.effect().padEngine().padTarget(kLXDestination), -1);
    EXPECT_EQ(e.host().getParameter(kLXDestination), 0.0f); // the host shows "- None -"
    EXPECT_EQ(e.params().getNaturalValue(kLXDestination), 0.0f);
}

// ---------------------------------------------------------------------------
// Filter type hand-over

void deliver(Morvane_AU& unit, AudioUnitParameterID id, float value) {
    const AudioUnitParameter p{nullptr, id, kAudioUnitScope_Global, 0};
    unit.ParameterListener(nullptr, nullptr, &p, value);
}

std::vector<std::vector<float>> noise(size_t frames, unsigned seed) {
    std::vector<std::vector<float>> in(2, std::vector<float>(frames));
    for (auto& channel : in)
        for (float& v : channel) {
            seed = seed * 1664525u + 1013904223u;
            v = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
    return in;
}

TEST(EngineLifecycle, ReturningToTheRunningFilterBeforeTheSwapLeavesItUntouched) {
    EngineHost a, b;
    for (EngineHost* e : {&a, &b}) {
        e->setDryUnity();
        e->set(kFilterOnOff, 1.0f);
        e->set(kFilterFreq, 800.0f);
        e->set(kFilterResonance, 0.8f);
        e->pump();
    }
    const auto in = noise(8192, 7);
    const auto first = std::vector<std::vector<float>>{{in[0].begin(), in[0].begin() + 4096},
                                                       {in[1].begin(), in[1].begin() + 4096}};
    const auto second = std::vector<std::vector<float>>{{in[0].begin() + 4096, in[0].end()},
                                                        {in[1].begin() + 4096, in[1].end()}};
    a.render(first);
    b.render(first);

    // "3P LP" and straight back to "4P LP" between two blocks.
    deliver(a.effect(), kFilterType, 1.0f);
    deliver(a.effect(), kFilterType, 0.0f);
    const auto outA = a.render(second);
    const auto outB = b.render(second);
    EXPECT_EQ(a.effect().activeFilterType(), 0);
    EXPECT_EQ(outA, outB); // the running ladder kept its state

    // A real change is heard from the next block on, with a cleared new pair.
    deliver(a.effect(), kFilterType, 2.0f);
    EXPECT_EQ(a.effect().activeFilterType(), 0);
    const auto changed = a.render(first);
    EXPECT_EQ(a.effect().activeFilterType(), 2);
    EXPECT_NE(changed, b.render(first));
}

TEST(EngineLifecycle, FilterChangeWhileBypassedWaitsForTheNextProcessedBlock) {
    EngineHost e;
    e.setDryUnity();
    e.renderConstant(0.25f, 256);
    ASSERT_EQ(e.host().setBypass(true), noErr);
    e.set(kFilterType, 1.0f);
    const auto in = noise(512, 3);
    const auto out = e.render(in);
    EXPECT_EQ(out, in); // bypass passes the input on unchanged
    EXPECT_EQ(e.effect().activeFilterType(), 0);
    EXPECT_EQ(e.params().getNaturalValue(kFilterType), 1.0f);
    ASSERT_EQ(e.host().setBypass(false), noErr);
    e.render(in);
    EXPECT_EQ(e.effect().activeFilterType(), 1);
}

TEST(EngineLifecycle, UninitialisedUnitPassesAudioThroughAndClearsTheSilenceFlag) {
    EngineHost e(kRate, 2, 4096, false);
    e.effect().SetProcessesInPlace(false);
    float inL[64], inR[64], outL[64], outR[64];
    for (int i = 0; i < 64; ++i) {
        inL[i] = 0.01f * i;
        inR[i] = -0.02f * i;
        outL[i] = outR[i] = 9.0f;
    }
    AudioBufferListStorage<2> in, out;
    in.setChannel(0, inL, 64);
    in.setChannel(1, inR, 64);
    out.setChannel(0, outL, 64);
    out.setChannel(1, outR, 64);
    AudioUnitRenderActionFlags flags = kAudioUnitRenderAction_OutputIsSilence;
    EXPECT_EQ(e.effect().ProcessBufferLists(flags, in.list(), out.list(), 64), noErr);
    EXPECT_EQ(flags & kAudioUnitRenderAction_OutputIsSilence, 0u);
    EXPECT_EQ(std::memcmp(inL, outL, sizeof inL), 0);
    EXPECT_EQ(std::memcmp(inR, outR, sizeof inR), 0);
}

// ---------------------------------------------------------------------------
// Reset and sampling rate

// Unity gains, filter off, a 250 ms echo (an eighth at the fallback 120 BPM).
void setEcho(EngineHost& e) {
    e.setDryUnity();
    e.set(kDelayOnOff, 1.0f);
    e.set(kHostSync, 1.0f);
    e.set(kLeftDelayTime, 5.5f / 15.0f); // 1/8
    e.set(kRightDelayTime, 5.0f);        // x 1
    e.set(kRegeneration, -60.0f);
    e.set(kEmulation, 1.0f);
    e.pump();
}

TEST(EngineLifecycle, ResetEmptiesTheEchoesAndKeepsTheLevels) {
    EngineHost e;
    setEcho(e);
    const auto settled = e.renderConstant(0.5f, 44100);
    const float level = settled[0].back(); // dry 0.710358 x 0.5 once settled, plus echoes

    auto impulse = std::vector<std::vector<float>>(2, std::vector<float>(5000, 0.0f));
    impulse[0][0] = impulse[1][0] = 1.0f;
    e.renderConstant(0.0f, 44100); // let the constant's echoes die away
    e.render(impulse);
    ASSERT_EQ(e.host().reset(), noErr);
    // The echo was due at about 11023 - 5000. Only the damping filters' own
    // decay of the long-gone echoes (at -60 dB per repeat) is left.
    const auto after = e.renderConstant(0.0f, 20000);
    for (size_t j = 0; j < after[0].size(); ++j)
        ASSERT_LT(std::fabs(after[0][j]), 1e-9f) << j;

    // Gains and mix are as before: the same constant settles to the same level.
    const auto again = e.renderConstant(0.5f, 44100);
    EXPECT_NEAR(again[0].back(), level, 1e-6f);
    EXPECT_NEAR(e.effect().currentDryGain(), 0.710358f, 1e-6f);

    // Without a reset the same impulse does come back.
    e.renderConstant(0.0f, 44100);
    e.render(impulse);
    const auto echo = e.renderConstant(0.0f, 20000);
    float peak = 0.0f;
    for (float v : echo[0])
        peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.1f);
}

TEST(EngineLifecycle, ResetBeforeInitializeIsHarmless) {
    EngineHost e(kRate, 2, 4096, false);
    ASSERT_EQ(e.host().reset(), noErr);
    EXPECT_EQ(e.effect().currentOutGain(), 0.0f);
    ASSERT_EQ(e.host().initialize(), noErr);
    e.setDryUnity();
    const auto out = e.renderConstant(1.0f, 8192);
    EXPECT_NEAR(out[0].back(), 1.0f, 1e-5f);
}

TEST(EngineLifecycle, NewSamplingRateResizesTheDelayLines) {
    EngineHost e;
    EXPECT_EQ(e.effect().delayLineSize(0), 88641u); // 2010 ms at 44.1 kHz
    ASSERT_EQ(e.host().uninitialize(), noErr);
    ASSERT_EQ(e.host().configure(96000.0, 2, 4096), noErr);
    EXPECT_EQ(csd_sampling_rate(), 96000.0f);
    EXPECT_EQ(e.effect().delayLineSize(0), 192960u);
    EXPECT_EQ(e.effect().delayLineSize(1), 192960u);
    ASSERT_EQ(e.host().initialize(), noErr);
    setEcho(e);
    e.renderConstant(0.0f, 96000);
    // An eighth at 120 BPM is now 24000 samples: the echo arrives 23998 frames later.
    auto impulse = std::vector<std::vector<float>>(2, std::vector<float>(30000, 0.0f));
    impulse[0][0] = impulse[1][0] = 1.0f;
    const auto out = e.render(impulse);
    size_t first = 1;
    while (first < out[0].size() && out[0][first] == 0.0f)
        ++first;
    EXPECT_EQ(first, 23998u);
}

// ---------------------------------------------------------------------------
// Fixed answers to the host

std::string stringAt(CFArrayRef array, CFIndex i) {
    char text[32] = {};
    CFStringGetCString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i)), text, sizeof text,
                       kCFStringEncodingUTF8);
    return text;
}

TEST(EngineLifecycle, AnswersTheHostsQuestionsAboutValueNamesTailAndView) {
    EngineHost e;
    Morvane_AU& unit = e.effect();
    CFArrayRef names = nullptr;
    ASSERT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Global, kFilterType, &names), noErr);
    ASSERT_EQ(CFArrayGetCount(names), 6);
    EXPECT_EQ(stringAt(names, 0), "4PLP");
    EXPECT_EQ(stringAt(names, 5), "4PBP");
    CFRelease(names);
    ASSERT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Global, kLeftDelayTime, &names), noErr);
    EXPECT_EQ(CFArrayGetCount(names), 15);
    CFRelease(names);
    ASSERT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Global, kRZDestination, &names), noErr);
    ASSERT_EQ(CFArrayGetCount(names), 16);
    EXPECT_EQ(stringAt(names, 6), "BitCrush");
    CFRelease(names);
    EXPECT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Global, kFilterFreq, &names), -10879);
    EXPECT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Global, kFilterFreq, nullptr), noErr);
    EXPECT_EQ(unit.GetParameterValueStrings(kAudioUnitScope_Input, kFilterType, nullptr), -10879);

    EXPECT_EQ(unit.Version(), 0x00010001u);
    EXPECT_TRUE(unit.SupportsTail());
    EXPECT_EQ(unit.GetTailTime(), 5.0);
    ASSERT_EQ(unit.GetNumCustomUIComponents(), 1u);
    ComponentDescription view{};
    unit.GetUIComponentDescs(&view);
    EXPECT_EQ(view.componentType, MorvaneFourCC("auvw"));
    EXPECT_EQ(view.componentSubType, MorvaneFourCC("Mrvn"));
    EXPECT_EQ(view.componentManufacturer, MorvaneFourCC("Qnlw"));
}

} // namespace

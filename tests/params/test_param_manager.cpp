// The generic parameter manager: conversions of every kind at their edges,
// display texts, text entry, stepping, host sync and buffer limits. Expected
// values are worked out from the curves' closed forms, not taken from the code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "params/ko_paramManager.h"

namespace {

enum : int32_t {
    kLin,
    kSwitch,
    kPct,
    kLinHz,
    kExpHz,
    kDb,
    kIdx,
    kMetrical,
    kSyncTime,
    kSyncRate,
    kSyncTimeNorm,
    kSyncRateNorm,
    kIdx01,
    kEmptyRange,
    kCount
};

class TestManager : public ko_paramManager {
  public:
    TestManager() {
        newParameter(kLin, "Linear Thing", "LinThing", "u", -10, 10, 0, kParamLinear);
        newParameter(kSwitch, "Switch", "Switch", "", 0, 1, 0, kParamOnOff);
        newParameter(kPct, "Percent", "Pct", "%", 0, 100, 50, kParamPercent);
        newParameter(kLinHz, "Linear Hz", "LinHz", "Hz", 0, 1000, 100, kParamLinearHz);
        newParameter(kExpHz, "Exp Hz", "ExpHz", "Hz", 40, 20000, 1000, kParamExpHz);
        newParameter(kDb, "Level", "Level", "dB", -15, 15, 0, kParamDecibel);
        newParameter(kIdx, "Index", "Index", "", 0, 4, 2, kParamIndexed);
        newParameter(kMetrical, "Division", "Division", "", 0, 14, 8, kParamMetrical);
        newParameter(kSyncTime, "Sync Time", "SyncTime", "msec", 10, 1000, 100, kParamSyncTime);
        newParameter(kSyncRate, "Sync Rate", "SyncRate", "Hz", 0.1f, 10, 1, kParamSyncRate);
        newParameter(kSyncTimeNorm, "Norm Time", "NormTime", "msec", 4, 2000, 0.35f, kParamSyncTimeNorm);
        newParameter(kSyncRateNorm, "Norm Rate", "NormRate", "Hz", 0.1f, 10, 0.5f, kParamSyncRateNorm);
        newParameter(kIdx01, "Two Way", "TwoWay", "", 0, 1, 0, kParamIndexed);
        newParameter(kEmptyRange, "Fixed", "Fixed", "", 5, 5, 5, kParamLinear);
    }
};

std::string valueText(ko_paramManager& m, int32_t id, float natural, int32_t length = 16) {
    char text[80];
    m.getValueStringFromNaturalValue(id, text, natural, length);
    return text;
}

TEST(ParamManager, ContinuousKindsConvertLinearlyAndLimitOnlyWhereTheRulesSay) {
    TestManager m;
    EXPECT_FLOAT_EQ(m.naturalValueFromVSTvalue(kLin, 0.25f), -5.0f);
    EXPECT_FLOAT_EQ(m.VSTvalueFromNaturalValue(kLin, 5.0f), 0.75f);
    EXPECT_FLOAT_EQ(m.VSTvalueFromNaturalValue(kLin, 30.0f), 1.0f);
    EXPECT_FLOAT_EQ(m.VSTvalueFromNaturalValue(kLin, -30.0f), 0.0f);
    // Out-of-range values are stored unchanged; only the DSP value is limited.
    m.setNaturalValue(kLin, 30.0f);
    EXPECT_FLOAT_EQ(m.getNaturalValue(kLin), 30.0f);
    EXPECT_FLOAT_EQ(m.getVSTvalue(kLin), 1.0f);
    EXPECT_FLOAT_EQ(m.getDSPValue(kLin), 10.0f);
    m.setNaturalValue(kPct, 150.0f);
    EXPECT_FLOAT_EQ(m.getDSPValue(kPct), 1.0f);
    m.setVSTvalue(kPct, 0.25f);
    EXPECT_FLOAT_EQ(m.getNaturalValue(kPct), 25.0f);
    EXPECT_FLOAT_EQ(m.getDSPValue(kPct), 0.25f);
}

TEST(ParamManager, SwitchTurnsOnOnlyAboveHalf) {
    TestManager m;
    EXPECT_EQ(m.naturalValueFromVSTvalue(kSwitch, 0.5f), 0.0f);
    EXPECT_EQ(m.naturalValueFromVSTvalue(kSwitch, 0.5001f), 1.0f);
    EXPECT_EQ(valueText(m, kSwitch, 0.0f), "Off");
    EXPECT_EQ(valueText(m, kSwitch, 1.0f), "On");
}

TEST(ParamManager, IndexedRoundsHalfwayUpAndReachesExactlyOneAtTheTop) {
    TestManager m;                                             // 0..4
    EXPECT_EQ(m.naturalValueFromVSTvalue(kIdx, 0.125f), 1.0f); // 0.5 of a step
    EXPECT_EQ(m.naturalValueFromVSTvalue(kIdx, 0.124f), 0.0f);
    EXPECT_EQ(m.naturalValueFromVSTvalue(kIdx, 0.375f), 2.0f);
    EXPECT_EQ(m.VSTvalueFromNaturalValue(kIdx, 4.0f), 1.0f);
    EXPECT_EQ(valueText(m, kIdx, 3.0f), "   3");
}

TEST(ParamManager, ExponentialCurveHitsItsEndsAndTheGeometricMiddle) {
    TestManager m; // 40..20000
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kExpHz, 0.0f), 40.0f, 1e-3);
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kExpHz, 1.0f), 20000.0f, 0.05);
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kExpHz, 0.5f), std::sqrt(40.0 * 20000.0), 1.0);
    EXPECT_NEAR(m.VSTvalueFromNaturalValue(kExpHz, 894.427f), 0.5f, 1e-4);
    // Positions outside 0..1 read the table's ends.
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kExpHz, 1.5f), 20000.0f, 0.05);
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kExpHz, -1.0f), 40.0f, 1e-3);
    EXPECT_EQ(m.VSTvalueFromNaturalValue(kExpHz, 0.0f), 0.0f);
    // Text ladder of frequency kinds.
    EXPECT_EQ(valueText(m, kLinHz, 0.5f), "0.500");
    EXPECT_EQ(valueText(m, kLinHz, 5.0f), "5.00");
    EXPECT_EQ(valueText(m, kExpHz, 50.0f), "50.0");
    EXPECT_EQ(valueText(m, kExpHz, 894.4f), " 894");
}

TEST(ParamManager, DecibelCurveFollowsTheFaderLawAndIsLimitedToOne) {
    TestManager m; // -15..15
    const auto fader = [](double n) { return std::pow(10.0, (n - 14.75) / 44.0) - 0.0131; };
    EXPECT_NEAR(m.VSTvalueFromNaturalValue(kDb, 0.0f), fader(0.0), 1e-5);
    EXPECT_NEAR(m.VSTvalueFromNaturalValue(kDb, -6.0f), fader(-6.0), 1e-5);
    EXPECT_GT(fader(15.0), 1.0);
    EXPECT_EQ(m.VSTvalueFromNaturalValue(kDb, 15.0f), 1.0f);
    EXPECT_EQ(m.naturalValueFromVSTvalue(kDb, 0.0f), -15.0f);
    EXPECT_EQ(m.naturalValueFromVSTvalue(kDb, 1.0f), 15.0f);
    EXPECT_NEAR(m.naturalValueFromVSTvalue(kDb, static_cast<float>(fader(-6.0))), -6.0f, 0.05);
    m.setNaturalValue(kDb, 6.0f);
    EXPECT_NEAR(m.getDSPValue(kDb), 1.99526, 1e-4);
    m.setNaturalValue(kDb, 40.0f);
    EXPECT_NEAR(m.getDSPValue(kDb), std::pow(10.0, 0.75), 1e-4);
    EXPECT_EQ(valueText(m, kDb, -6.0f), "  -6");
}

TEST(ParamManager, NoteDivisionKindsUseTheirSixteenthEntryAtTheTop) {
    TestManager m;
    // Kind 7 never reaches 15: 0.99 x 15 truncates to 14.
    EXPECT_EQ(m.naturalValueFromVSTvalue(kMetrical, 1.0f), 14.0f);
    m.setVSTvalue(kMetrical, 1.0f);
    EXPECT_EQ(m.getDSPValue(kMetrical), 4.0f);
    EXPECT_EQ(valueText(m, kMetrical, 8.0f), "1/4  ");

    m.setHostSynced(kSyncTime, true);
    m.setVSTvalue(kSyncTime, 1.0f);
    EXPECT_EQ(m.getNaturalValue(kSyncTime), 15.0f);
    EXPECT_EQ(m.getDSPValue(kSyncTime), 4.0f);
    EXPECT_EQ(valueText(m, kSyncTime, 15.0f), "1/1  ");

    m.setHostSynced(kSyncTimeNorm, true);
    m.setVSTvalue(kSyncTimeNorm, 1.0f);
    EXPECT_EQ(m.getNaturalValue(kSyncTimeNorm), 1.0f);
    EXPECT_EQ(m.getDSPValue(kSyncTimeNorm), 4.0f);
    EXPECT_EQ(valueText(m, kSyncTimeNorm, 1.0f), "1/1  ");
    m.setVSTvalue(kSyncTimeNorm, 0.6f); // 9 -> 4/3 beat
    EXPECT_FLOAT_EQ(m.getDSPValue(kSyncTimeNorm), 4.0f / 3.0f);
    EXPECT_EQ(valueText(m, kSyncTimeNorm, 0.6f), "1/2 T");
}

TEST(ParamManager, RateKindsRunTheirDivisionsBackwardsWhileSynced) {
    TestManager m;
    m.setHostSynced(kSyncRate, true);
    m.setVSTvalue(kSyncRate, 0.0f);
    EXPECT_EQ(m.getNaturalValue(kSyncRate), 15.0f);
    EXPECT_EQ(m.getDSPValue(kSyncRate), 0.25f); // one cycle per whole note
    m.setVSTvalue(kSyncRate, 1.0f);
    EXPECT_EQ(m.getDSPValue(kSyncRate), 8.0f); // eight per beat: 1/32
    EXPECT_EQ(valueText(m, kSyncRate, 0.0f), "1/32 ");
    EXPECT_EQ(m.VSTvalueFromNaturalValue(kSyncRate, 3.0f), 0.8f);

    m.setHostSynced(kSyncRateNorm, true);
    m.setVSTvalue(kSyncRateNorm, 1.0f);
    EXPECT_EQ(m.getDSPValue(kSyncRateNorm), 8.0f);
    m.setHostSynced(kSyncRateNorm, false);
    // Free: the natural value is the position on the 0.1..10 Hz curve.
    EXPECT_NEAR(m.dspValueFromNaturalValue(kSyncRateNorm, 0.5f), 1.0f, 1e-3);
    EXPECT_EQ(valueText(m, kSyncRateNorm, 0.5f), "0.500");
}

TEST(ParamManager, HostSyncKeepsTheControlPositionAndChangesTheNaturalValue) {
    TestManager m; // sync time 10..1000, default 100
    const float v = m.getVSTvalue(kSyncTime);
    EXPECT_NEAR(v, 90.0f / 990.0f, 1e-6);
    m.setHostSynced(kSyncTime, true);
    EXPECT_TRUE(m.getHostSynced(kSyncTime));
    EXPECT_EQ(m.getAuxValue(kSyncTime), 1);
    EXPECT_EQ(m.getVSTvalue(kSyncTime), v);
    EXPECT_EQ(m.getNaturalValue(kSyncTime), 1.0f); // floor(0.0909 x 15)
    m.setHostSynced(kSyncTime, false);
    EXPECT_NEAR(m.getNaturalValue(kSyncTime), 100.0f, 1e-3);

    // Free kind 10 shows and delivers milliseconds of its range.
    EXPECT_NEAR(m.getDSPValue(kSyncTimeNorm), 702.6f, 1e-3);
    EXPECT_EQ(valueText(m, kSyncTimeNorm, 0.35f), " 703");

    // Other kinds ignore it.
    m.setHostSynced(kLin, true);
    EXPECT_FALSE(m.getHostSynced(kLin));
    EXPECT_EQ(m.getAuxValue(kLin), 0);
}

TEST(ParamManager, UnregisteredIdsReadAsEmptyAndAreNeverCreated) {
    TestManager m;
    for (int32_t id : {-1, int32_t{kCount}, 63, 64, 1000}) {
        m.setNaturalValue(id, 3.0f);
        m.setVSTvalue(id, 0.5f);
        m.incrementNaturalValue(id);
        EXPECT_EQ(m.getNaturalValue(id), 0.0f);
        EXPECT_EQ(m.getVSTvalue(id), 0.0f);
        EXPECT_EQ(m.VSTvalueFromNaturalValue(id, 3.0f), 0.0f);
        EXPECT_EQ(m.naturalValueFromVSTvalue(id, 0.5f), 0.0f);
        EXPECT_EQ(m.getDSPValue(id), 0.0f);
        EXPECT_EQ(m.getType(id), kParamLinear);
        EXPECT_EQ(m.getName(id), "");
        EXPECT_FALSE(m.hasParameter(id));
    }
    EXPECT_EQ(m.getParameterCount(), kCount);
    // A registered parameter with an empty range converts to 0, not NaN.
    EXPECT_EQ(m.VSTvalueFromNaturalValue(kEmptyRange, 5.0f), 0.0f);
    EXPECT_EQ(m.getVSTvalue(kEmptyRange), 0.0f);
}

TEST(ParamManager, StepsWrapForIndicesAndStopAtTheEndsOtherwise) {
    TestManager m;
    m.setNaturalValue(kIdx, 4.0f);
    m.incrementNaturalValue(kIdx);
    EXPECT_EQ(m.getNaturalValue(kIdx), 0.0f);
    m.decrementNaturalValue(kIdx);
    EXPECT_EQ(m.getNaturalValue(kIdx), 4.0f);
    m.setNaturalValue(kMetrical, 14.0f);
    m.incrementNaturalValue(kMetrical);
    EXPECT_EQ(m.getNaturalValue(kMetrical), 0.0f);

    m.setNaturalValue(kIdx01, 0.0f);
    m.decrementNaturalValue(kIdx01);
    EXPECT_EQ(m.getNaturalValue(kIdx01), 1.0f);

    m.setNaturalValue(kLin, 9.5f);
    m.incrementNaturalValue(kLin);
    EXPECT_EQ(m.getNaturalValue(kLin), 10.0f);
    EXPECT_EQ(m.getVSTvalue(kLin), 1.0f);
    m.setNaturalValue(kLin, -9.5f);
    m.decrementNaturalValue(kLin);
    EXPECT_EQ(m.getNaturalValue(kLin), -10.0f);

    for (auto step : {&ko_paramManager::incrementNaturalValue, &ko_paramManager::decrementNaturalValue}) {
        m.setNaturalValue(kSwitch, 0.0f);
        (m.*step)(kSwitch);
        EXPECT_EQ(m.getNaturalValue(kSwitch), 1.0f);
        (m.*step)(kSwitch);
        EXPECT_EQ(m.getNaturalValue(kSwitch), 0.0f);
    }
}

TEST(ParamManager, MetricalNamesMatchWithoutBlanksAndCaseSensitively) {
    TestManager m;
    const struct {
        const char* text;
        int32_t index; // -1: no match
    } cases[] = {
        {"1/8 T", 3},  {"1/8T", 3},           {"1/32", 0},   {"1/4 .", 10}, {"1/4.", 10}, {"1/1  ", 14},
        {"  1/1", 14}, {"1/16T and more", 1}, {"1/8 t", -1}, {"1/64", -1},  {"", -1},     {"1 / 3 2 x", -1},
    };
    for (const auto& c : cases) {
        int32_t index = 99;
        EXPECT_EQ(m.matchMetricalStr(c.text, index), c.index >= 0) << c.text;
        EXPECT_EQ(index, c.index >= 0 ? c.index : 99) << c.text;
    }
    EXPECT_STREQ(ko_paramManager::metricalNameStrings()[10], "1/4 .");
    EXPECT_STREQ(ko_paramManager::beatTimeStr[10], "1/4. ");
    EXPECT_EQ(ko_paramManager::metricalNameCount(), 15);
}

TEST(ParamManager, MetricalNamesComeAsAHostArrayOwnedByTheCaller) {
    CFArrayRef names = ko_paramManager::getMetricalNames();
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(CFArrayGetCount(names), 15);
    char text[16];
    const auto name = [&](CFIndex i) {
        auto s = static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, i));
        return CFStringGetCString(s, text, sizeof text, kCFStringEncodingASCII) ? std::string(text)
                                                                                : std::string();
    };
    EXPECT_EQ(name(0), "1/32 ");
    EXPECT_EQ(name(10), "1/4 .");
    EXPECT_EQ(name(14), "1/1  ");
    EXPECT_EQ(CFGetRetainCount(CFArrayGetValueAtIndex(names, 3)), 1); // held by the array only
    EXPECT_EQ(CFGetRetainCount(names), 1);
    CFRelease(names);
}

TEST(ParamManager, TextEntryReadsNumbersOrDivisionsAndAlwaysLimits) {
    TestManager m;
    float n = 3.0f;
    EXPECT_TRUE(m.naturalValueFromString(kLin, "7.5", n));
    EXPECT_EQ(n, 7.5f);
    EXPECT_TRUE(m.naturalValueFromString(kLin, "  -40", n));
    EXPECT_EQ(n, -10.0f);
    n = 50.0f;
    EXPECT_FALSE(m.naturalValueFromString(kLin, "loud", n));
    EXPECT_EQ(n, 10.0f);
    n = 0.0f;
    EXPECT_FALSE(m.naturalValueFromString(kSwitch, "1", n));
    EXPECT_EQ(n, 0.0f);
    EXPECT_TRUE(m.naturalValueFromString(kMetrical, "1/4", n));
    EXPECT_EQ(n, 8.0f);
    EXPECT_FALSE(m.naturalValueFromString(kMetrical, "8", n));
    m.setHostSynced(kSyncRate, true);
    n = 1.0f;
    EXPECT_TRUE(m.naturalValueFromString(kSyncRate, "1/4", n));
    EXPECT_EQ(n, 6.0f); // 14 - 8, then limited to 0.1..10
    n = 1.0f;
    EXPECT_FALSE(m.naturalValueFromString(kSyncRate, nullptr, n));
}

// A time kept as a 0..1 fraction is typed the way its field shows it: in
// milliseconds while free, as a note division while synced.
TEST(ParamManager, FractionTimeTextEntryReadsWhatItsFieldShows) {
    TestManager m;
    float n = 0.5f;
    EXPECT_TRUE(m.naturalValueFromString(kSyncTimeNorm, "703", n));
    EXPECT_NEAR(n, (703.0f - 4.0f) / 1996.0f, 1e-6f);
    char text[16];
    m.setNaturalValue(kSyncTimeNorm, n);
    m.getValueString(kSyncTimeNorm, text, 8);
    EXPECT_STREQ(text, " 703"); // the typed milliseconds read back
    EXPECT_TRUE(m.naturalValueFromString(kSyncTimeNorm, "5000", n));
    EXPECT_EQ(n, 1.0f);
    EXPECT_TRUE(m.naturalValueFromString(kSyncTimeNorm, "1", n));
    EXPECT_EQ(n, 0.0f);

    m.setHostSynced(kSyncTimeNorm, true);
    EXPECT_TRUE(m.naturalValueFromString(kSyncTimeNorm, "1/4", n));
    m.setNaturalValue(kSyncTimeNorm, n);
    m.getValueString(kSyncTimeNorm, text, 8);
    EXPECT_STREQ(text, "1/4  ");
    EXPECT_TRUE(m.naturalValueFromString(kSyncTimeNorm, "1/1", n));
    EXPECT_EQ(static_cast<int>(n * 15.0f), 14);
    n = 0.25f;
    EXPECT_FALSE(m.naturalValueFromString(kSyncTimeNorm, "250", n));
    EXPECT_EQ(n, 0.25f);
}

TEST(ParamManager, OtherTextsFollowTheirRules) {
    TestManager m;
    char text[80];
    m.getName(kLin, text, 8);
    EXPECT_STREQ(text, "LinThing");
    m.getName(kLin, text, 20);
    EXPECT_STREQ(text, "Linear Thing");
    m.getName(kLin, text, 9);
    EXPECT_STREQ(text, "Linear Th");
    m.getUnitsName(kSyncTimeNorm, text, 4);
    EXPECT_STREQ(text, "ms");
    m.getUnitsName(kSyncTimeNorm, text, 5);
    EXPECT_STREQ(text, "msec");
    m.getUnitsName(kSyncRate, text, 10);
    EXPECT_STREQ(text, "Hz");
    m.setHostSynced(kSyncTimeNorm, true);
    m.getUnitsName(kSyncTimeNorm, text, 10);
    EXPECT_STREQ(text, "");
    m.getUnitsName(kPct, text, 10);
    EXPECT_STREQ(text, "%");

    m.setNaturalValue(kIdx, 3.0f);
    m.getTextEditString(kIdx, text, 10);
    EXPECT_STREQ(text, "3");
    m.getTextEditString(kIdx, text, 0);
    EXPECT_STREQ(text, "");

    m.setVSTvalue(kLin, 0.5f);
    m.getVSTvalueString(kLin, text);
    EXPECT_STREQ(text, "0.500000");
    m.setVSTvalue(kLin, 123.456f);
    m.getVSTvalueString(kLin, text);
    EXPECT_STREQ(text, "123.4560");

    m.floatToTimeStr(text, 1500.0f, 10);
    EXPECT_STREQ(text, "1.500");
    m.floatToTimeStr(text, 1000.0f, 10);
    EXPECT_STREQ(text, "1000");
    m.floatToTimeStr(text, 25.0f, 10);
    EXPECT_STREQ(text, " 25");
    m.floatToTimeStr(text, 2500.0f, 2);
    EXPECT_STREQ(text, "2.");

    // Generic text of a normalised value: never wider than 8.
    m.getValueStringFromVSTvalue(kLin, text, 1e8f, 40);
    EXPECT_STREQ(text, "20000000"); // -10 + 1e8 x 20 is 2e9 in float: "2000000000", cut to 8
}

// Every text routine, for every kind and a spread of lengths, writes at most
// length characters plus a terminator and nothing beyond.
class TextLimit : public testing::TestWithParam<int32_t> {};

TEST_P(TextLimit, NoTextRoutineWritesPastItsLength) {
    TestManager m;
    const int32_t id = GetParam();
    m.setNaturalValue(id, 1e30f); // the widest numbers
    for (int32_t length = 0; length <= 12; ++length) {
        using Writer = void (*)(TestManager&, int32_t, char*, int32_t);
        const Writer writers[] = {
            [](TestManager& p, int32_t i, char* t, int32_t l) { p.getName(i, t, l); },
            [](TestManager& p, int32_t i, char* t, int32_t l) { p.getUnitsName(i, t, l); },
            [](TestManager& p, int32_t i, char* t, int32_t l) { p.getValueString(i, t, l); },
            [](TestManager& p, int32_t i, char* t, int32_t l) {
                p.getValueStringFromNaturalValue(i, t, -3e38f, l);
            },
            [](TestManager& p, int32_t i, char* t, int32_t l) {
                p.getValueStringFromVSTvalue(i, t, 0.7f, l);
            },
            [](TestManager& p, int32_t i, char* t, int32_t l) {
                p.getValueStringFromVSTvalue(i, t, 1e9f, l);
            },
            [](TestManager& p, int32_t i, char* t, int32_t l) { p.getTextEditString(i, t, l); },
            [](TestManager& p, int32_t, char* t, int32_t l) { p.floatToTimeStr(t, 3e38f, l); },
        };
        for (const Writer write : writers) {
            char buffer[80];
            std::memset(buffer, 0x7f, sizeof buffer);
            write(m, id, buffer, length);
            EXPECT_LE(std::strlen(buffer), static_cast<size_t>(length)) << "length " << length;
            for (size_t i = static_cast<size_t>(length) + 1; i < sizeof buffer; ++i)
                ASSERT_EQ(buffer[i], 0x7f) << "id " << id << " length " << length << " byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, TextLimit, testing::Range<int32_t>(0, kCount + 1));

TEST(ParamManager, RandomizeRespectsTheFlagAndDrawsSwitchesWhole) {
    TestManager m;
    m.setRandomizeable(kLin, false);
    EXPECT_FALSE(m.canRandomize(kLin));
    m.setNaturalValue(kLin, 2.0f);
    for (int i = 0; i < 20; ++i)
        m.randomize(kLin);
    EXPECT_EQ(m.getNaturalValue(kLin), 2.0f);

    for (int i = 0; i < 50; ++i) {
        m.randomize(kIdx01);
        const float v = m.getVSTvalue(kIdx01);
        EXPECT_TRUE(v == 0.0f || v == 1.0f) << v;
        m.randomize(kPct);
        EXPECT_GE(m.getVSTvalue(kPct), 0.0f);
        EXPECT_LE(m.getVSTvalue(kPct), 1.0f);
        EXPECT_NEAR(m.getNaturalValue(kPct), 100.0f * m.getVSTvalue(kPct), 1e-3);
    }
}

} // namespace

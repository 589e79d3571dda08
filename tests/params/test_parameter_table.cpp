// The effect's parameter table: published set, reversed axes, DSP values,
// every display text for a spread of values, range-bound texts and the host
// value-name lists.
#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>

#include "params/MorvaneParameterManager.h"

namespace {

TEST(ParameterTable, PublishesFortyFiveAndKeepsTheVelocitiesInternal) {
    MorvaneParameterManager p;
    EXPECT_EQ(p.getParameterCount(), 45);
    for (int32_t id = 0; id <= 50; ++id)
        EXPECT_EQ(p.hasParameter(id), id != 45 && id != 46) << id;
    EXPECT_EQ(p.getName(kVelRY), "vel R Y");
    EXPECT_EQ(p.getMinimumValue(kVelLX), -100.0f);
    // Parameter 7 starts unsynced: its natural value is the fraction 0.35.
    EXPECT_FALSE(p.getHostSynced(kLeftDelayTime));
    EXPECT_FLOAT_EQ(p.getNaturalValue(kLeftDelayTime), 0.35f);
}

class ReversedAxis : public testing::TestWithParam<int32_t> {};

TEST_P(ReversedAxis, NormalisedOneIsTheFirstIndex) {
    MorvaneParameterManager p;
    const int32_t id = GetParam();
    EXPECT_EQ(p.getNaturalValue(id), 0.0f);
    EXPECT_EQ(p.getVSTvalue(id), 1.0f); // the default, index 0
    EXPECT_EQ(p.naturalValueFromVSTvalue(id, 0.0f), 2.0f);
    EXPECT_EQ(p.naturalValueFromVSTvalue(id, 0.5f), 1.0f);
    EXPECT_EQ(p.naturalValueFromVSTvalue(id, 1.0f), 0.0f);
    EXPECT_EQ(p.VSTvalueFromNaturalValue(id, 2.0f), 0.0f);
    EXPECT_EQ(p.VSTvalueFromNaturalValue(id, 1.0f), 0.5f);
    char text[16];
    p.getValueStringFromVSTvalue(id, text, 0.0f, 15);
    EXPECT_STREQ(text, id == kMotionMode ? "Rec" : "Link");
    p.setNaturalValue(id, 1.0f);
    EXPECT_EQ(p.getVSTvalue(id), 0.5f);
    EXPECT_EQ(p.getDSPValue(id), 1.0f);
    // Stepping works on natural indices, unaffected by the reversal.
    p.incrementNaturalValue(id);
    EXPECT_EQ(p.getNaturalValue(id), 2.0f);
    EXPECT_EQ(p.getVSTvalue(id), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(ModeParameters, ReversedAxis, testing::Values(kMotionMode, kLinkMode));

struct DspCase {
    int32_t id;
    float normalised;
    float expected;
};

std::ostream& operator<<(std::ostream& out, const DspCase& c) {
    return out << "id " << c.id << " at " << c.normalised;
}

class DspValue : public testing::TestWithParam<DspCase> {};

TEST_P(DspValue, MatchesTheParameterRule) {
    MorvaneParameterManager p;
    const DspCase c = GetParam();
    p.setVSTvalue(c.id, c.normalised);
    EXPECT_NEAR(p.getDSPValue(c.id), c.expected, 1e-5f * (1.0f + c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    PerParameter, DspValue,
    testing::Values(DspCase{kFilterResonance, 0.3f, 0.3f}, DspCase{kSaturation, 0.0f, 0.0001f},
                    DspCase{kSaturation, 0.5f, 1.7501f}, DspCase{kSaturation, 1.0f, 7.0001f},
                    DspCase{kBitcrush, 0.0f, 1.0f}, DspCase{kBitcrush, 0.5f, 0.25075f},
                    DspCase{kBitcrush, 1.0f, 0.001f}, DspCase{kRightDelayTime, 10.0f / 11.0f, 1.25f},
                    DspCase{kRightDelayTime, 8.0f / 11.0f, 1.5f},
                    DspCase{kRightDelayTime, 3.0f / 11.0f, 2.0f / 3.0f}, DspCase{kRightDelayTime, 1.0f, 2.0f},
                    DspCase{kWidth, 0.0f, 0.5f}, DspCase{kWidth, 0.613f, 0.8065f},
                    DspCase{kMotionRate, 0.93f, 8.0f}, DspCase{kMotionRate, 0.07f, 0.0625f},
                    DspCase{kMotionRate, 0.5f, 1.0f}, DspCase{kFilterFreq, 0.0f, 40.0f},
                    DspCase{kWetDryMix, 0.5f, 0.5f}, DspCase{kInputGain, 1.0f, 1.4125375f},
                    DspCase{kLeftDelayTime, 0.35f, 702.6f}, DspCase{kLinkMode, 0.0f, 2.0f},
                    DspCase{kVelLX, 0.75f, 50.0f}));

TEST(ParameterTable, OutOfRangeValuesNeverIndexPastTheTables) {
    MorvaneParameterManager p;
    p.setNaturalValue(kRightDelayTime, 50.0f);
    EXPECT_EQ(p.getDSPValue(kRightDelayTime), 2.0f);
    p.setNaturalValue(kRightDelayTime, -3.0f);
    EXPECT_EQ(p.getDSPValue(kRightDelayTime), 0.25f);
    p.setVSTvalue(kMotionRate, 5.0f);
    EXPECT_EQ(p.getDSPValue(kMotionRate), 8.0f);
    char text[32];
    for (int32_t id : {kFilterType, kRightDelayTime, kMotionRate, kMotionMode, kLXDestination, kLinkMode}) {
        p.getValueStringFromVSTvalue(id, text, 7.0f, 31);
        EXPECT_GT(std::string(text).size(), 0u) << id;
        p.getValueStringFromVSTvalue(id, text, -7.0f, 31);
        EXPECT_GT(std::string(text).size(), 0u) << id;
    }
    p.setHostSynced(kLeftDelayTime, true);
    p.setNaturalValue(kLeftDelayTime, 9.0f);
    EXPECT_EQ(p.getDSPValue(kLeftDelayTime), 4.0f);
}

struct TextCase {
    int32_t id;
    float normalised;
    int32_t length;
    const char* expected;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) {
    return out << "id " << c.id << " at " << c.normalised << " length " << c.length;
}

class DisplayText : public testing::TestWithParam<TextCase> {};

TEST_P(DisplayText, ReadsAsTheTableShows) {
    MorvaneParameterManager p;
    const TextCase c = GetParam();
    char text[64];
    p.getValueStringFromVSTvalue(c.id, text, c.normalised, c.length);
    EXPECT_STREQ(text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryParameter, DisplayText,
    testing::Values(
        TextCase{kFilterType, 0.0f, 16, "4P LP"}, TextCase{kFilterType, 0.5f, 16, "4P HP"},
        TextCase{kFilterType, 1.0f, 16, "4P BP"}, TextCase{kFilterType, 1.0f, 2, "4P"},
        TextCase{kFilterFreq, 0.0f, 16, "40.0"}, TextCase{kFilterFreq, 0.5f, 16, " 894"},
        TextCase{kFilterFreq, 1.0f, 16, "20000"}, TextCase{kFilterResonance, 0.676f, 16, "0.676"},
        TextCase{kFilterGain, 1.0f, 16, "15.0"}, TextCase{kFilterGain, 0.0f, 16, "-15.0"},
        TextCase{kSaturation, 0.25f, 16, "0.2"}, TextCase{kBitcrush, 0.25f, 16, "  25"},
        TextCase{kFilterOnOff, 1.0f, 16, "On"}, TextCase{kFilterOnOff, 0.5f, 16, "Off"},
        TextCase{kLeftDelayTime, 0.35f, 16, " 703"}, TextCase{kLeftDelayTime, 1.0f, 16, "2000"},
        TextCase{kRightDelayTime, 8.0f / 11.0f, 16, "3/2x"},
        TextCase{kRightDelayTime, 6.0f / 11.0f, 16, "5/4x"},
        TextCase{kRightDelayTime, 10.0f / 11.0f, 16, "5/4x"}, TextCase{kRightDelayTime, 1.0f, 16, "2x"},
        TextCase{kRightDelayTime, 8.0f / 11.0f, 2, "3/"}, TextCase{kRegeneration, 1.0f, 16, "1.0"},
        TextCase{kHostSync, 0.0f, 16, "Off"}, TextCase{kWidth, 0.613f, 16, "  61"},
        TextCase{kWetDryMix, 1.0f, 16, " 100"}, TextCase{kEmulation, 0.5f, 16, "BBD"},
        TextCase{kEmulation, 0.51f, 16, "Digi"}, TextCase{kEmulation, 0.51f, 2, "Di"},
        TextCase{kDelayOnOff, 1.0f, 16, "On"}, TextCase{kMotionRate, 0.93f, 16, "2"},
        TextCase{kMotionRate, 0.07f, 16, "1/64"}, TextCase{kMotionRate, 3.0f / 7.0f, 16, "1/8"},
        TextCase{kMotionMode, 0.5f, 16, "Play"}, TextCase{kMotionMode, 1.0f, 16, "Off"},
        TextCase{kInputGain, 1.0f, 16, "3.0"}, TextCase{kOutputGain, 0.0f, 16, "-40.0"},
        TextCase{kRightX, 0.458f, 16, "0.46"}, TextCase{kLeftZ, 1.0f, 16, "1.00"},
        TextCase{kLXLowRange, 0.42f, 16, "0.42"}, TextCase{kRZHighRange, 0.0f, 16, "0.00"},
        TextCase{kLXDestination, 8.0f / 15.0f, 8, "LDlyTime"},
        TextCase{kLXDestination, 8.0f / 15.0f, 9, "Left Dela"},
        TextCase{kLXDestination, 8.0f / 15.0f, 20, "Left Delay Time"},
        TextCase{kRXDestination, 6.0f / 15.0f, 8, "RateRdux"},
        TextCase{kRXDestination, 6.0f / 15.0f, 20, "Bitcrush"},
        TextCase{kRYDestination, 0.0f, 20, "- Nothing -"}, TextCase{kRZDestination, 0.0f, 8, "- None -"},
        TextCase{kLYDestination, 8.0f / 15.0f, 3, "LDl"}, TextCase{kLinkMode, 0.0f, 16, "Link"},
        TextCase{kLinkMode, 0.5f, 16, "Lock"}, TextCase{kKinetics, 1.0f, 16, "On"},
        TextCase{kVelRX, 0.25f, 16, " -50"},
        // Generic texts stop at 8 characters whatever the buffer.
        TextCase{kVelLY, 1e8f, 40, "20000000"}, TextCase{kFilterFreq, 1.0f, 3, "200"}));

TEST(ParameterTable, SyncedLeftDelayTimeShowsNoteDivisions) {
    MorvaneParameterManager p;
    p.setHostSynced(kLeftDelayTime, true);
    char text[16];
    p.getValueStringFromVSTvalue(kLeftDelayTime, text, 1.0f, 15);
    EXPECT_STREQ(text, "1/1  ");
    p.getValueStringFromVSTvalue(kLeftDelayTime, text, 0.6f, 15);
    EXPECT_STREQ(text, "1/2 T");
    p.getUnitsName(kLeftDelayTime, text, 15);
    EXPECT_STREQ(text, "");
    p.setVSTvalue(kLeftDelayTime, 0.6f);
    EXPECT_FLOAT_EQ(p.getDSPValue(kLeftDelayTime), 4.0f / 3.0f);
}

TEST(ParameterTable, RangeBoundsReadInTheUnitsOfTheirRoutedParameter) {
    MorvaneParameterManager p;
    char text[32];
    p.setNaturalValue(kLXDestination, 1.0f); // Filter Frequency
    p.setVSTvalue(kLXLowRange, 0.5f);
    p.getValueString(kLXLowRange, text, 31);
    EXPECT_STREQ(text, " 894");
    p.setNaturalValue(kLXDestination, 9.0f); // Right Delay Time
    p.setVSTvalue(kLXHighRange, 1.0f);
    p.getValueString(kLXHighRange, text, 31);
    EXPECT_STREQ(text, "2x");
    p.setNaturalValue(kRZDestination, 0.0f); // nothing
    p.setVSTvalue(kRZLowRange, 0.7f);
    p.getValueString(kRZLowRange, text, 31);
    EXPECT_STREQ(text, "   0");
    p.getValueString(kRZLowRange, text, 2);
    EXPECT_STREQ(text, "  ");
    // Any other id reads its own text.
    p.getValueString(kLXDestination, text, 31);
    EXPECT_STREQ(text, "Right Delay Time");
    p.getTextEditString(kLXLowRange, text, 31);
    EXPECT_STREQ(text, "5/4x"); // Right Delay Time at 0.5: floor(5.5 + 0.5) = index 6
}

TEST(ParameterTable, RangeSliderScalesBetweenTheBoundsOfADestination) {
    MorvaneParameterManager p;
    p.setVSTvalue(kLXLowRange, 0.2f);
    p.setVSTvalue(kLXHighRange, 0.6f);
    EXPECT_FLOAT_EQ(p.scaleByRangeSlider(kLXDestination, 0.5f), 0.4f);
    EXPECT_FLOAT_EQ(p.scaleByRangeSlider(kLXDestination, 1.0f), 0.6f);
    p.setVSTvalue(kRYLowRange, 0.9f);
    p.setVSTvalue(kRYHighRange, 0.1f);
    EXPECT_FLOAT_EQ(p.scaleByRangeSlider(kRYDestination, 0.25f), 0.7f);
    for (int32_t id : std::initializer_list<int32_t>{-1, 0, kLXLowRange, kLeftX, 45, 100})
        EXPECT_EQ(p.scaleByRangeSlider(id, 0.5f), 0.0f);
}

TEST(ParameterTable, PadTargetsDriveOnlyOrdinaryEffectParameters) {
    EXPECT_EQ(padTargetID[0], -1);
    EXPECT_EQ(padTargetID[3], kFilterType);
    EXPECT_EQ(padTargetID[11], kWidth);
    EXPECT_EQ(padTargetID[15], kOutputGain);
    for (int32_t i = 1; i < kNumPadTargets; ++i) {
        const int32_t id = padTargetID[i];
        EXPECT_TRUE(id >= 0 && id <= kOutputGain && id != kHostSync && id != kEmulation &&
                    id != kMotionRate && id != kMotionMode)
            << id;
    }
    EXPECT_EQ(padTargetForIndex(20.0f), kOutputGain);
    EXPECT_EQ(padTargetForIndex(-2.0f), -1);
    EXPECT_EQ(padAxisOf(kRYHighRange)->destination, kRYDestination);
    EXPECT_EQ(padAxisOf(kRightZ)->partner, kLeftZ);
    EXPECT_EQ(padAxisOf(kFilterFreq), nullptr);
}

TEST(ParameterTable, HostValueNameListsHaveTheirTextsAndCounts) {
    using P = MorvaneParameterManager;
    const struct {
        int32_t id;
        int32_t count;
        int32_t probe;
        const char* text;
    } cases[] = {
        {kFilterType, 6, 0, "4PLP"},         {kLeftDelayTime, 15, 10, "1/4 ."},
        {kRightDelayTime, 12, 10, "5/4"},    {kMotionRate, 8, 7, "2"},
        {kMotionMode, 3, 2, "Rec"},          {kLXDestination, 16, 6, "BitCrush"},
        {kRZDestination, 16, 0, "- None -"}, {kLinkMode, 3, 1, "Lock"},
    };
    for (const auto& c : cases) {
        const P::ValueStrings list = P::hostValueStrings(c.id);
        ASSERT_EQ(list.count, c.count) << c.id;
        EXPECT_STREQ(list.strings[c.probe], c.text) << c.id;
    }
    for (int32_t id : std::initializer_list<int32_t>{kFilterFreq, kLXLowRange, kKinetics, 45, kVelLX}) {
        EXPECT_EQ(P::hostValueStrings(id).strings, nullptr);
        EXPECT_EQ(P::hostValueStrings(id).count, 0);
    }
}

} // namespace

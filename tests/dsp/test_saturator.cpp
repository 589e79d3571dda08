// Saturator: make-up gains and outputs at the worked drive values, unity
// behaviour at minimal drive, symmetry and the fold-back at high drive.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/kosp_saturator.h"

namespace {

struct TableRow {
    float drive;
    float makeupGain;
    float out01, out05, out10; // outputs for inputs 0.1, 0.5 and 1.0
};

class SaturatorTable : public ::testing::TestWithParam<TableRow> {};

TEST_P(SaturatorTable, MakeupGainAndOutputsMatchTheWorkedValues) {
    const TableRow row = GetParam();
    kosp_saturator_inv_atan sat;
    sat.setSaturationAmount(row.drive);
    EXPECT_FLOAT_EQ(sat.getSaturationAmount(), row.drive);
    EXPECT_NEAR(sat.getMakeupGain(), row.makeupGain, 2e-6 * row.makeupGain);
    EXPECT_NEAR(sat.process(0.1f), row.out01, 1e-6);
    EXPECT_NEAR(sat.process(0.5f), row.out05, 1e-6);
    EXPECT_NEAR(sat.process(1.0f), row.out10, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Drives, SaturatorTable,
                         ::testing::Values(TableRow{0.0001f, 9999.9f, 0.099999f, 0.499995f, 0.99999f},
                                           TableRow{1.0f, 1.151997f, 0.114878f, 0.538317f, 0.899998f},
                                           TableRow{3.5f, 0.822706f, 0.278398f, 0.775093f, 0.649993f},
                                           TableRow{7.0001f, 0.630814f, 0.388300f, 0.498382f, 0.299976f}));

TEST(Saturator, ConstructedAtDriveOneThousandthWithGainNearOneThousand) {
    kosp_saturator_inv_atan sat;
    EXPECT_FLOAT_EQ(sat.getSaturationAmount(), 0.001f);
    // (1 - 0.100002e-3) / (1e-3 / (1 + 0.28e-6))
    EXPECT_NEAR(sat.getMakeupGain(), 999.9003f, 0.001f);
}

TEST(Saturator, FullScaleInputLeavesAtOneMinusATenthOfTheDrive) {
    kosp_saturator_inv_atan sat;
    for (float drive : {0.01f, 0.25f, 2.0f, 5.0f, 6.5f}) {
        sat.setSaturationAmount(drive);
        EXPECT_NEAR(sat.process(1.0f), 1.0f - 0.100002f * drive, 2e-6f) << "drive " << drive;
    }
}

TEST(Saturator, MinimalDriveIsTransparent) {
    // The level drop at this drive is 0.100002e-4, just over 1e-5.
    kosp_saturator_inv_atan sat;
    sat.setSaturationAmount(0.0001f);
    for (float x = -1.0f; x <= 1.0f; x += 0.0625f)
        EXPECT_NEAR(sat.process(x), x, 1.1e-5f * std::fabs(x)) << x;
}

TEST(Saturator, CurveIsOddAndPassesZeroExactly) {
    kosp_saturator_inv_atan sat;
    for (float drive : {0.0001f, 1.0f, 7.0001f}) {
        sat.setSaturationAmount(drive);
        EXPECT_EQ(sat.process(0.0f), 0.0f);
        for (float x : {0.003f, 0.27f, 0.5f, 0.9f, 1.0f, 1.7f})
            EXPECT_EQ(sat.process(-x), -sat.process(x)) << x;
    }
}

TEST(Saturator, HighDriveFoldsBackAfterThePeak) {
    // c(y) = y / (1 + 0.28 y^2) peaks at y = 1/sqrt(0.28) with 0.5 sqrt(1/0.28).
    const double drive = 7.0001;
    const double yPeak = 1.0 / std::sqrt(0.28);
    const double peak = 0.5 * yPeak * 0.630814;
    kosp_saturator_inv_atan sat;
    sat.setSaturationAmount(static_cast<float>(drive));
    float best = 0.0f, bestX = 0.0f;
    for (float x = 0.0f; x <= 1.0f; x += 0.001f) {
        const float y = sat.process(x);
        if (y > best) best = y, bestX = x;
    }
    EXPECT_NEAR(best, peak, 1e-4);
    EXPECT_NEAR(bestX, yPeak / drive, 0.001);
    EXPECT_LT(sat.process(1.0f), sat.process(0.5f));
}

TEST(Saturator, HasNoMemoryAndIgnoresTheSamplingRate) {
    kosp_saturator_inv_atan sat;
    sat.setSaturationAmount(3.5f);
    const float before = sat.process(0.5f);
    kosp_block& block = sat;
    block.setAudioSamplingRate(96000.0f);
    block.clear();
    EXPECT_EQ(block.process(0.5f), before);
}

} // namespace

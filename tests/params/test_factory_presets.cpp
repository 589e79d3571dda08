// The factory content: preset names, parameter rows, drift velocities and pad
// recordings. The fixed rows and counts are checked against the published
// numbers; every row is checked for values the effect can use and for routing
// that survives a preset load.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <set>

#include "params/MorvaneParameterIds.h"
#include "params/MorvaneParameterManager.h"
#include "params/factory_presets.h"
#include "params/factory_recordings.h"
#include "params/padTargets.h"

namespace {

constexpr int kAxes[6] = {kLeftX, kLeftY, kLeftZ, kRightX, kRightY, kRightZ};
constexpr int kDestinations[6] = {kLXDestination, kLYDestination, kLZDestination,
                                  kRXDestination, kRYDestination, kRZDestination};

int destinationIndex(int preset, int destination) {
    return static_cast<int>(std::floor(kPresetData[preset][destination] * 15.0f + 0.5f));
}

void expectRow(int preset, const std::initializer_list<float>& expected) {
    ASSERT_EQ(expected.size(), static_cast<size_t>(kFactoryPresetValueCount));
    int id = 0;
    for (float value : expected) {
        EXPECT_NEAR(kPresetData[preset][id], value, 1e-6f) << "preset " << preset << " id " << id;
        ++id;
    }
}

TEST(FactoryPresets, AreNumberedInOrderUnderTheirNames) {
    const char* const names[kFactoryPresetCount] = {"Welcome To Morvane",
                                                    "Freeky Deeky",
                                                    "Pokey, Mon...",
                                                    "And A Log",
                                                    "Move The Grey One",
                                                    "Highpass Chaoss",
                                                    "For Pads Only!",
                                                    "Dirty Flanger",
                                                    "Big Four Pole",
                                                    "Funhouse",
                                                    "Stereo Dubs (send)",
                                                    "Stereo Dubs (insert)",
                                                    "Bitcrush Chorus",
                                                    "Soup Sandwich",
                                                    "Forbidden Planet",
                                                    "Bit Wah",
                                                    "Noise Parade",
                                                    "Rambling Lead",
                                                    "Digi Train",
                                                    "Analog Delay Chaoss",
                                                    "Rezonator",
                                                    "Biznoink",
                                                    "Arcane",
                                                    "Cities In Dust",
                                                    "Shortwave Freque",
                                                    "Bitcrush Chaoss",
                                                    "SquishyDink",
                                                    "Yin & Yang",
                                                    "User 1 (init)",
                                                    "User 2 (init)",
                                                    "User 3 (init)",
                                                    "User 4 (init)",
                                                    "User 5 (init)"};
    for (int n = 0; n < kFactoryPresetCount; ++n) {
        EXPECT_EQ(kPresets[n].number, n);
        EXPECT_STREQ(kPresets[n].name, names[n]) << n;
    }
}

TEST(FactoryPresets, PublishedRowsAreCopiedExactly) {
    expectRow(0,
              {0,         0.632685f, 0.675734f, 0.5f,      0,         0.545181f, 1,    0.37f,     0.74f,
               0.733168f, 1,         0.613445f, 0.5f,      0,         1,         0.5f, 1,         0.8f,
               0.8f,      0.458373f, 0.631175f, 0,         0.421492f, 0.291574f, 0,    0.066667f, 0.420168f,
               0.92437f,  0.133333f, 0.563025f, 0.94958f,  0,         0,         0,    0.4f,      0.394958f,
               0.722689f, 0.666667f, 0.521008f, 0.857143f, 0,         0,         0,    1,         1});
    expectRow(10, {0.51f, 0.22f, 0,    0.5f, 0,         0, 1, 0.39f,     0.74f, 0.83f, 1, 0.565f, 1, 0, 1,
                   0.5f,  1,     0.8f, 0.8f, 0.705882f, 0, 0, 0.201374f, 0,     0,     0, 0,      0, 0, 0,
                   0,     0,     0,    0,    0,         0, 0, 0,         0,     0,     0, 0,      0, 1, 0});
    expectRow(28, {0,     1, 0, 0.5f, 0, 0,    1,    0.365f,    0.73f,     0.18f, 1,        0.52f,
                   0.28f, 0, 1, 0.5f, 1, 0.8f, 0.8f, 0.727273f, 0.513369f, 0,     0.31016f, 0.513369f,
                   0,     0, 0, 1,    0, 0,    1,    0,         0,         1,     0,        0,
                   1,     0, 0, 1,    0, 0,    1,    1,         0});
    for (int n = 29; n < kFactoryPresetCount; ++n)
        for (int id = 0; id < kFactoryPresetValueCount; ++id)
            EXPECT_EQ(kPresetData[n][id], kPresetData[28][id]) << "preset " << n << " id " << id;
}

// What a preset load makes of the rows: natural values through the parameter
// table, reversed axes included.
TEST(FactoryPresets, LoadAsTheirDocumentedSettings) {
    MorvaneParameterManager table;
    auto natural = [&](int preset, int id) {
        return table.naturalValueFromVSTvalue(id, kPresetData[preset][id]);
    };
    EXPECT_NEAR(natural(0, kFilterFreq), 2040.0f, 2.0f);
    EXPECT_EQ(natural(0, kMotionMode), 0.0f); // stored as 1.0: "Off"
    EXPECT_EQ(natural(0, kRightDelayTime), 8.0f);
    EXPECT_EQ(natural(0, kLYDestination), 2.0f);
    EXPECT_EQ(natural(10, kFilterType), 3.0f); // "4P HP"
    EXPECT_EQ(natural(32, kFilterType), 0.0f);
    EXPECT_NEAR(natural(32, kFilterFreq), 20000.0f, 1.0f);
    EXPECT_EQ(natural(32, kKinetics), 0.0f);
    EXPECT_EQ(natural(32, kLinkMode), 0.0f);
    EXPECT_NEAR(natural(32, kRegeneration), -30.7f, 0.1f);
}

TEST(FactoryPresets, EveryValueIsNormalised) {
    for (int n = 0; n < kFactoryPresetCount; ++n)
        for (int id = 0; id < kFactoryPresetValueCount; ++id) {
            const float v = kPresetData[n][id];
            EXPECT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f)
                << "preset " << n << " id " << id << " " << v;
        }
}

// A load resets the bounds to 0 and 1 and then delivers low before high, so a
// low bound above its high bound would be pulled down; a target claimed by two
// axes keeps only the later one; and the stored value of a routed target is
// what its pad sends from the starting position, so the first tick does not
// jump.
TEST(FactoryPresets, RoutingSurvivesALoadAndMatchesThePads) {
    MorvaneParameterManager table;
    for (int n = 0; n < kFactoryPresetCount; ++n) {
        std::set<int> targets;
        for (int a = 0; a < 6; ++a) {
            const int destination = kDestinations[a];
            const float low = kPresetData[n][destination + 1], high = kPresetData[n][destination + 2];
            const int index = destinationIndex(n, destination);
            ASSERT_GE(index, 0);
            ASSERT_LT(index, kNumPadTargets);
            EXPECT_NEAR(kPresetData[n][destination] * 15.0f, static_cast<float>(index), 1e-3f) << n;
            if (index == 0) continue;
            EXPECT_LE(low, high) << "preset " << n << " destination " << destination;
            const int target = padTargetID[index];
            EXPECT_TRUE(targets.insert(target).second) << "preset " << n << " drives " << target << " twice";
            const float sent = low + kPresetData[n][kAxes[a]] * (high - low);
            const ko_paramTypes kind = table.getType(target);
            if (kind == kParamIndexed || kind == kParamOnOff) {
                EXPECT_EQ(table.naturalValueFromVSTvalue(target, kPresetData[n][target]),
                          table.naturalValueFromVSTvalue(target, sent))
                    << "preset " << n << " target " << target;
            } else {
                EXPECT_NEAR(kPresetData[n][target], sent, 2e-4f) << "preset " << n << " target " << target;
            }
        }
        // The touch axes are released when a preset loads.
        EXPECT_EQ(kPresetData[n][kLeftZ], 0.0f);
        EXPECT_EQ(kPresetData[n][kRightZ], 0.0f);
    }
}

TEST(FactoryVelocities, CarryThePublishedDriftsAndRestElsewhere) {
    struct Drift {
        int preset;
        float lx, ly, rx, ry; // millionths of a pad unit per sample
    };
    const Drift drifts[] = {{0, -12, -8, -2, -6},   {6, 5, 1, 0, 0},    {7, 4, 1, -1, 2},
                            {9, 34, 21, 34, 21},    {12, -5, -2, 2, 7}, {13, 52, 18, 0, 0},
                            {14, 15, -5, -12, -33}, {17, 7, 5, -4, 2},  {21, 17, 51, 17, 51},
                            {22, 2, 2, 2, 2},       {23, 11, 6, 5, 7},  {26, 11, -4, -7, 6}};
    float expected[kFactoryPresetCount][4] = {};
    for (const Drift& d : drifts) {
        expected[d.preset][0] = d.lx;
        expected[d.preset][1] = d.ly;
        expected[d.preset][2] = d.rx;
        expected[d.preset][3] = d.ry;
    }
    for (int n = 0; n < kFactoryPresetCount; ++n) {
        EXPECT_FLOAT_EQ(velocityL[n].X, expected[n][0] * 1e-6f) << n;
        EXPECT_FLOAT_EQ(velocityL[n].Y, expected[n][1] * 1e-6f) << n;
        EXPECT_FLOAT_EQ(velocityR[n].X, expected[n][2] * 1e-6f) << n;
        EXPECT_FLOAT_EQ(velocityR[n].Y, expected[n][3] * 1e-6f) << n;
        // A drift is only heard with Kinetics on.
        if (velocityL[n].X != 0.0f || velocityL[n].Y != 0.0f || velocityR[n].X != 0.0f ||
            velocityR[n].Y != 0.0f) {
            EXPECT_EQ(kPresetData[n][kKinetics], 1.0f) << n;
        }
    }
}

TEST(FactoryRecordings, HaveThePublishedCountsAndNothingBeyondThem) {
    int left[kMojoPresets] = {}, right[kMojoPresets] = {};
    const int counts[][3] = {{1, 26, 24},  {2, 31, 62},  {13, 27, 29}, {15, 30, 0}, {16, 32, 37},
                             {18, 28, 10}, {20, 21, 26}, {21, 22, 22}, {24, 21, 8}, {27, 80, 80}};
    for (const auto& c : counts) {
        left[c[0]] = c[1];
        right[c[0]] = c[2];
    }
    for (int n = 0; n < kMojoPresets; ++n) {
        ASSERT_EQ(mojoLsize[n], left[n]) << n;
        ASSERT_EQ(mojoRsize[n], right[n]) << n;
        for (int k = 0; k < kMojoPoints; ++k) {
            const float* const points[4] = {&mojoLX[n][k], &mojoLY[n][k], &mojoRX[n][k], &mojoRY[n][k]};
            for (int t = 0; t < 4; ++t) {
                const float v = *points[t];
                const int size = t < 2 ? mojoLsize[n] : mojoRsize[n];
                if (k >= size) {
                    EXPECT_EQ(v, 0.0f) << "preset " << n << " table " << t << " point " << k;
                } else {
                    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "preset " << n << " table " << t << " point " << k;
                }
            }
        }
    }
}

TEST(FactoryRecordings, KeepTheCirclesAndTheTrainGesture) {
    for (int k = 0; k < kMojoPoints; ++k) {
        const double a = 2.0 * M_PI * k / 80.0;
        EXPECT_NEAR(mojoLX[27][k], 0.5 - 0.5 * std::sin(a), 1e-6) << k;
        EXPECT_NEAR(mojoLY[27][k], 0.5 + 0.5 * std::cos(a), 1e-6) << k;
        EXPECT_NEAR(mojoRX[27][k], 0.5 + 0.5 * std::sin(a), 1e-6) << k;
        EXPECT_NEAR(mojoRY[27][k], 0.5 - 0.5 * std::cos(a), 1e-6) << k;
    }
    const float x[10] = {0.128f, 0.128f, 0.182f, 0.519f, 0.674f, 0.733f, 0.754f, 0.711f, 0.727f, 0.952f};
    const float y[10] = {0.037f, 0.037f, 0.107f, 0.460f, 0.722f, 0.872f, 0.936f, 0.952f, 0.947f, 0.914f};
    for (int k = 0; k < 10; ++k) {
        EXPECT_NEAR(mojoRX[18][k], x[k], 5e-4f) << k;
        EXPECT_NEAR(mojoRY[18][k], y[k], 5e-4f) << k;
    }
}

// A recording is only heard in "Play" (stored as 0.5 on the reversed axis), and
// a pad that plays starts where its gesture starts, so loading does not jump.
TEST(FactoryRecordings, PlayFromWhereThePadsStart) {
    for (int n = 0; n < kMojoPresets; ++n) {
        if (mojoLsize[n] == 0 && mojoRsize[n] == 0) continue;
        EXPECT_EQ(kPresetData[n][kMotionMode], 0.5f) << n;
        if (mojoLsize[n] > 0) {
            EXPECT_NEAR(kPresetData[n][kLeftX], mojoLX[n][0], 1e-6f) << n;
            EXPECT_NEAR(kPresetData[n][kLeftY], mojoLY[n][0], 1e-6f) << n;
        }
        if (mojoRsize[n] > 0) {
            EXPECT_NEAR(kPresetData[n][kRightX], mojoRX[n][0], 1e-6f) << n;
            EXPECT_NEAR(kPresetData[n][kRightY], mojoRY[n][0], 1e-6f) << n;
        }
    }
}

} // namespace

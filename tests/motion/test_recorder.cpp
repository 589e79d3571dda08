// Motion recorder: playback by phase, recording limits, the 664-byte image and
// the factory recordings.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "motion/CMotionRecorder.h"
#include "motion/factory_recording_loader.h"
#include "params/factory_recordings.h"

namespace {

struct Point {
    float x = -1.0f, y = -1.0f;
    bool ok = false;
};

Point play(const CMotionRecorder& r, float phase) {
    Point p;
    p.ok = r.getIndexedValues(p.x, p.y, phase);
    return p;
}

void recordRamp(CMotionRecorder& r, int points) {
    r.startRecording();
    for (int k = 0; k < points; ++k)
        r.recordValues(k / 100.0f, 1.0f - k / 100.0f);
}

uint32_t wordAt(const uint8_t* image, int offset) {
    return image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16 |
           static_cast<uint32_t>(image[offset + 3]) << 24;
}

TEST(MotionRecorder, PlaysPointsSpreadEvenlyOverTheCycle) {
    CMotionRecorder r;
    EXPECT_FALSE(play(r, 0.5f).ok);
    EXPECT_EQ(play(r, 0.5f).x, -1.0f); // untouched when empty

    r.recordValues(0.2f, 0.4f);
    EXPECT_EQ(play(r, 0.7f).x, 0.2f); // one point holds
    r.recordValues(0.6f, 0.0f);
    const Point mid = play(r, 0.5f);
    EXPECT_TRUE(mid.ok);
    EXPECT_FLOAT_EQ(mid.x, 0.4f);
    EXPECT_FLOAT_EQ(mid.y, 0.2f);

    // 80 points: point k at phase k / 79; phase 1 (or past it) is point 79, before 0 point 0.
    recordRamp(r, 80);
    EXPECT_FLOAT_EQ(play(r, 10.5f / 79.0f).x, 0.105f);
    EXPECT_EQ(play(r, 1.0f).x, 0.79f);
    EXPECT_EQ(play(r, 1.0f).y, 1.0f - 0.79f);
    EXPECT_EQ(play(r, 3.0f).x, 0.79f);
    EXPECT_EQ(play(r, -0.5f).x, 0.0f);
    EXPECT_EQ(play(r, NAN).x, 0.0f);
}

TEST(MotionRecorder, RecordingStopsGrowingAtEightyPoints) {
    CMotionRecorder r;
    recordRamp(r, 80);
    r.recordValues(0.99f, 0.99f);
    EXPECT_EQ(r.count.load(), 80u);
    EXPECT_EQ(play(r, 1.0f).x, 0.79f);
    r.startRecording();
    EXPECT_FALSE(play(r, 0.0f).ok);
    r.recordValues(0.3f, 0.3f);
    EXPECT_EQ(play(r, 1.0f).x, 0.3f);
}

TEST(MotionRecorderImage, LayoutIsLittleEndianAtTheFieldOffsets) {
    CMotionRecorder r;
    recordRamp(r, 12);
    r.playStep.store(12.8f / 44100.0f);
    r.reserved640.store(0xdeadbeef);
    uint8_t image[664];
    r.saveImage(image);
    EXPECT_EQ(wordAt(image, 4), std::bit_cast<uint32_t>(0.01f));       // x[1]
    EXPECT_EQ(wordAt(image, 320 + 8), std::bit_cast<uint32_t>(0.98f)); // y[2]
    EXPECT_EQ(wordAt(image, 640), 0u);
    EXPECT_EQ(wordAt(image, 644), 12u);
    EXPECT_EQ(wordAt(image, 648), 0u);
    EXPECT_EQ(wordAt(image, 652), std::bit_cast<uint32_t>(12.8f / 44100.0f));
    EXPECT_EQ(wordAt(image, 656), 0x3f800000u); // 1.0
    EXPECT_EQ(wordAt(image, 660), 0u);
}

TEST(MotionRecorderImage, RoundTripsByteForByteAndPlaysIdentically) {
    for (int points : {0, 1, 37, 80}) {
        CMotionRecorder a, b;
        recordRamp(a, points);
        a.playStep.store(0.25f);
        recordRamp(b, 5);
        uint8_t image[664], again[664];
        a.saveImage(image);
        EXPECT_TRUE(b.restoreImage(image, sizeof image));
        b.saveImage(again);
        EXPECT_EQ(std::memcmp(image, again, sizeof image), 0) << points;
        for (float phase : {0.0f, 0.3f, 0.77f, 1.0f}) {
            EXPECT_EQ(play(a, phase).ok, play(b, phase).ok);
            EXPECT_EQ(play(a, phase).x, play(b, phase).x);
            EXPECT_EQ(play(a, phase).y, play(b, phase).y);
        }
    }
}

TEST(MotionRecorderImage, ShortAndLongImagesAndUntrustedValues) {
    CMotionRecorder source;
    recordRamp(source, 30);
    source.playStep.store(0.5f);
    std::vector<uint8_t> image(700, 0xff);
    source.saveImage(image.data());

    // 648 bytes: everything up to and including count; the cursor fields stay.
    CMotionRecorder r;
    r.playStep.store(7.0f);
    r.restoreImage(image.data(), 648);
    EXPECT_EQ(r.count.load(), 30u);
    EXPECT_EQ(r.playStep.load(), 7.0f);
    EXPECT_EQ(play(r, 1.0f).x, 0.29f);

    // Longer than 664: the extra bytes are ignored.
    EXPECT_TRUE(r.restoreImage(image.data(), image.size()));
    EXPECT_EQ(r.playStep.load(), 0.5f);

    // A count above 80 becomes 80; NaN and out-of-range points become pad coordinates.
    for (uint32_t count : {81u, 1000u, 0xffffffffu}) {
        for (int b = 0; b < 4; ++b)
            image[644 + b] = static_cast<uint8_t>(count >> (8 * b));
        const uint32_t nan = std::bit_cast<uint32_t>(NAN), big = std::bit_cast<uint32_t>(7.5f);
        for (int b = 0; b < 4; ++b) {
            image[4 * 79 + b] = static_cast<uint8_t>(nan >> (8 * b));
            image[320 + 4 * 79 + b] = static_cast<uint8_t>(big >> (8 * b));
        }
        r.restoreImage(image.data(), 664);
        EXPECT_EQ(r.count.load(), 80u);
        EXPECT_EQ(play(r, 1.0f).x, 0.0f);
        EXPECT_EQ(play(r, 1.0f).y, 1.0f);
    }

    EXPECT_FALSE(r.restoreImage(nullptr, 664));
    EXPECT_EQ(r.count.load(), 80u);
    EXPECT_TRUE(r.restoreImage(image.data(), 0));
}

TEST(FactoryRecordings, CountsAsPublished) {
    const int left[33] = {0, 26, 31, 0,  0,  0, 0, 0,  0, 0, 0,  0, 0, 27, 0, 30, 32,
                          0, 28, 0,  21, 22, 0, 0, 21, 0, 0, 80, 0, 0, 0,  0, 0};
    const int right[33] = {0, 24, 62, 0,  0,  0, 0, 0, 0, 0, 0,  0, 0, 29, 0, 0, 37,
                           0, 10, 0,  26, 22, 0, 0, 8, 0, 0, 80, 0, 0, 0,  0, 0};
    for (int n = 0; n < 33; ++n) {
        EXPECT_EQ(mojoLsize[n], left[n]) << n;
        EXPECT_EQ(mojoRsize[n], right[n]) << n;
    }
}

TEST(FactoryRecordings, PresetTwentySevenIsTwoMirroredCircles) {
    for (int k = 0; k < 80; ++k) {
        const double a = 2.0 * std::numbers::pi * k / 80.0;
        EXPECT_NEAR(mojoLX[27][k], 0.5 - 0.5 * std::sin(a), 1e-7) << k;
        EXPECT_NEAR(mojoLY[27][k], 0.5 + 0.5 * std::cos(a), 1e-7) << k;
        EXPECT_NEAR(mojoRX[27][k], 0.5 + 0.5 * std::sin(a), 1e-7) << k;
        EXPECT_NEAR(mojoRY[27][k], 0.5 - 0.5 * std::cos(a), 1e-7) << k;
    }
    CMotionRecorder left, right;
    ASSERT_TRUE(loadFactoryRecording(27, left, right));
    EXPECT_NEAR(play(left, 0.0f).x, 0.5f, 1e-7);
    EXPECT_NEAR(play(left, 0.0f).y, 1.0f, 1e-7);
    EXPECT_NEAR(play(right, 0.0f).x, 0.5f, 1e-7);
    EXPECT_NEAR(play(right, 0.0f).y, 0.0f, 1e-7);
    // Phase 0.25: p = 19.75, a quarter of point 19 and three quarters of point 20.
    const double a19 = 2.0 * std::numbers::pi * 19 / 80, a20 = std::numbers::pi / 2;
    EXPECT_NEAR(play(left, 0.25f).x, 0.25 * (0.5 - 0.5 * std::sin(a19)) + 0.75 * (0.5 - 0.5 * std::sin(a20)),
                1e-6);
    EXPECT_NEAR(play(left, 0.25f).y, 0.25 * (0.5 + 0.5 * std::cos(a19)) + 0.75 * (0.5 + 0.5 * std::cos(a20)),
                1e-6);
    EXPECT_NEAR(play(left, 0.25f).x, 0.0f, 1e-3);
    EXPECT_NEAR(play(right, 0.25f).x, 1.0f, 1e-3);
}

TEST(FactoryRecordings, LoaderReplacesPointsAndCountsOnly) {
    CMotionRecorder left, right;
    recordRamp(left, 50);
    left.playIndex.store(9);
    right.playStep.store(0.125f);
    ASSERT_TRUE(loadFactoryRecording(18, left, right));
    EXPECT_EQ(left.count.load(), 28u);
    EXPECT_EQ(right.count.load(), 10u);
    EXPECT_EQ(left.x[49].load(), 0.0f);
    EXPECT_EQ(left.playIndex.load(), 9u);
    EXPECT_EQ(right.playStep.load(), 0.125f);
    // Right pad, 10 points: at phase 5/9 the sixth point.
    EXPECT_NEAR(play(right, 5.0f / 9.0f).x, 0.733f, 1e-6);
    EXPECT_NEAR(play(right, 5.0f / 9.0f).y, 0.872f, 1e-6);
    EXPECT_EQ(play(right, 1.0f).x, 0.952f);

    EXPECT_FALSE(loadFactoryRecording(33, left, right));
    EXPECT_FALSE(loadFactoryRecording(-1, left, right));
    EXPECT_EQ(right.count.load(), 10u);
}

} // namespace

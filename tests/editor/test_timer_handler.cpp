// The timer handler following scripted pad motion tick by tick, with the
// toolkit's own 100 ms timer on the test clock: throw velocities (the change
// over the last tick, times 10) and recordings fed every tick.
#include <gtest/gtest.h>

#include "editor/CTimerHandler.h"
#include "gui/CVSTGUITimer.h"
#include "motion/CMotionRecorder.h"
#include "tests/editor/editor_test_support.h"

namespace {

using VSTGUI::UIEventLoop;

class TimerHandler : public ::testing::Test {
  protected:
    TimerHandler() : handler(100, &pad, 22, 23, 19, 20, &left, &right), timer(&handler, 100) {
        UIEventLoop::get().useTestClock(0);
        timer.start();
    }
    ~TimerHandler() override {
        timer.stop();
        UIEventLoop::get().useSystemClock();
    }
    void tick() { UIEventLoop::get().run(0.1); }
    _floatPair release(int side) {
        _floatPair pair{-99.0f, -99.0f};
        handler.stopMeasuringVelocity(side);
        handler.getVelocities(side, pair);
        return pair;
    }

    ScriptedPad pad;
    CMotionRecorder left, right;
    CTimerHandler handler;
    VSTGUI::CVSTGUITimer timer;
};

// Left handle positions at each tick after the press (index 0 = at the press).
const float kPath[][2] = {{0.50f, 0.50f}, {0.50f, 0.50f}, {0.60f, 0.45f}, {0.80f, 0.45f}, {0.80f, 0.45f}};

TEST_F(TimerHandler, ReleaseReportsTheLastTicksChangeTimesTenAndZeroAfterAPause) {
    EXPECT_FLOAT_EQ(handler.getVelocityScale(), 10.0f);
    // Released after each tick in turn, replaying the path from the press.
    const float expected[][2] = {{0.0f, 0.0f}, {1.0f, -0.5f}, {2.0f, 0.0f}, {0.0f, 0.0f}};
    for (int releaseAfter = 1; releaseAfter <= 4; ++releaseAfter) {
        SCOPED_TRACE(releaseAfter);
        pad.moveLeft(kPath[0][0], kPath[0][1]);
        handler.startMeasuringVelocity(0);
        for (int t = 1; t <= releaseAfter; ++t) {
            pad.moveLeft(kPath[t][0], kPath[t][1]);
            tick();
        }
        // Motion after the last tick counts for nothing.
        pad.moveLeft(0.1f, 0.9f);
        const _floatPair v = release(0);
        EXPECT_NEAR(v.x, expected[releaseAfter - 1][0], 1e-5);
        EXPECT_NEAR(v.y, expected[releaseAfter - 1][1], 1e-5);
        EXPECT_FALSE(handler.isMeasuringVelocity(0));
    }

    // Press and release with no tick between: 0, 0.
    handler.startMeasuringVelocity(0);
    const _floatPair still = release(0);
    EXPECT_EQ(still.x, 0.0f);
    EXPECT_EQ(still.y, 0.0f);
}

TEST_F(TimerHandler, SidesAreMeasuredApartAndOnlyWhileMeasuring) {
    pad.moveLeft(0.2f, 0.2f);
    pad.moveRight(0.9f, 0.9f);
    handler.startMeasuringVelocity(1);
    pad.moveLeft(0.3f, 0.3f); // the left side is not measured
    pad.moveRight(0.7f, 0.95f);
    tick();
    _floatPair leftPair{-99.0f, -99.0f};
    handler.getVelocities(0, leftPair);
    EXPECT_EQ(leftPair.x, 0.0f);
    const _floatPair r = release(1);
    EXPECT_NEAR(r.x, -2.0f, 1e-5);
    EXPECT_NEAR(r.y, 0.5f, 1e-5);

    // resetVelocities takes the current values as the starting point.
    handler.startMeasuringVelocity(1);
    pad.moveRight(0.5f, 0.5f);
    handler.resetVelocities();
    tick();
    EXPECT_EQ(release(1).x, 0.0f);

    // With no control nothing is measured.
    CTimerHandler unattached(100, nullptr, 22, 23, 19, 20, nullptr, nullptr);
    unattached.startMeasuringVelocity(0);
    EXPECT_FALSE(unattached.isMeasuringVelocity(0));
    unattached.notify(nullptr, nullptr);
    EXPECT_FLOAT_EQ(CTimerHandler(40, nullptr, 0, 0, 0, 0, nullptr, nullptr).getVelocityScale(), 25.0f);
}

TEST_F(TimerHandler, RecordingTakesAPointAtOnceThenOneEveryTickAndOutranksMeasuring) {
    right.startRecording();
    right.recordValues(0.9f, 0.9f); // an older gesture
    pad.moveRight(0.25f, 0.75f);
    pad.moveLeft(0.5f, 0.5f);
    handler.startMeasuringVelocity(1);
    handler.startMeasuringPosition(1);
    handler.startMeasuringVelocity(0);
    ASSERT_EQ(right.count.load(), 1u); // a new recording, its first point taken before any tick
    EXPECT_EQ(right.x[0].load(), 0.25f);
    EXPECT_EQ(right.y[0].load(), 0.75f);

    const float path[][2] = {{0.30f, 0.70f}, {0.40f, 0.60f}, {0.40f, 0.60f}};
    for (const auto& point : path) {
        pad.moveRight(point[0], point[1]);
        pad.moveLeft(point[0], point[1]);
        tick();
    }
    ASSERT_EQ(right.count.load(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(right.x[i + 1].load(), path[i][0]);
        EXPECT_EQ(right.y[i + 1].load(), path[i][1]);
    }
    EXPECT_EQ(left.count.load(), 0u); // the left side measured instead
    EXPECT_NEAR(release(0).x, 0.0f, 1e-6);

    // While recording, the right side's velocities did not move.
    handler.stopMeasuringPosition(1);
    pad.moveRight(0.9f, 0.1f);
    tick(); // now it measures again, from where it last measured
    EXPECT_EQ(right.count.load(), 4u);
    const _floatPair v = release(1);
    EXPECT_NEAR(v.x, (0.9f - 0.25f) * 10.0f, 1e-5);
    EXPECT_NEAR(v.y, (0.1f - 0.75f) * 10.0f, 1e-5);
}

} // namespace

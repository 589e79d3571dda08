// The pad engine on its own: routing, range bounds, linked drags, touches,
// throws, drift, Z mirroring and recorder playback against a stand-in effect.
// Expected values are worked out by hand from the pad rules.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "dsp/csd_utilities.h"
#include "motion/CMotionRecorder.h"
#include "motion/MorvanePadEngine.h"
#include "params/MorvaneParameterManager.h"

namespace {

// Stands in for the effect: applies delivered target values to the table as the
// effect's own listener would, and records everything it is asked to do.
struct FakeEffect : MorvanePadHost {
    explicit FakeEffect(MorvaneParameterManager& p) : params(p) {}
    void padTargetChanged(int32_t id, float value) override {
        delivered.emplace_back(id, value);
        params.setNaturalValue(id, value);
    }
    void announceParameterChange(int32_t id, float value) override { announced.emplace_back(id, value); }
    void showPartnerAxis(int32_t id, float value) override { shown.emplace_back(id, value); }
    bool hostBeatAndTempo(double& b, double& t) override {
        if (!hasTempo) return false;
        b = beat;
        t = tempo;
        return true;
    }

    MorvaneParameterManager& params;
    std::vector<std::pair<int32_t, float>> delivered, announced, shown;
    bool hasTempo = false;
    double beat = 0.0, tempo = 120.0;
};

class PadEngine : public ::testing::Test {
  protected:
    static constexpr float kRate = 44100.0f;

    void SetUp() override {
        csd_set_attr(kCsdAttrSamplingRate, kRate);
        engine.initialize();
        engine.zeroVelocities();
        // A quiet starting point: no modes, kinetics on, pads in the middle.
        params.setNaturalValue(kLinkMode, 0);
        params.setNaturalValue(kMotionMode, 0);
        params.setNaturalValue(kKinetics, 1);
        for (int32_t id : {kLeftX, kLeftY, kRightX, kRightY})
            params.setVSTvalue(id, 0.5f);
        engine.loadWorkingAxes();
    }

    // The listener's touch path: store Z, send it, then the touch rules.
    void touch(int32_t id, float z) {
        params.setNaturalValue(id, z);
        engine.sendPadMovement(id);
        engine.touchChanged(id);
    }

    void route(int32_t destination, int32_t index, float low = 0.0f, float high = 1.0f) {
        params.setVSTvalue(destination + 1, low);
        params.setVSTvalue(destination + 2, high);
        params.setNaturalValue(destination, static_cast<float>(index));
        engine.setPadTarget(destination, index);
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            engine.updatePadMotion();
    }

    float vst(int32_t id) { return params.getVSTvalue(id); }

    MorvaneParameterManager params;
    CMotionRecorder left, right;
    FakeEffect effect{params};
    MorvanePadEngine engine{effect, params, left, right};
};

// ---------------------------------------------------------------------------
// Routing and destination values

TEST_F(PadEngine, AxisSendsItsTargetBetweenTheBoundsOnTheTargetsOwnScale) {
    route(kLXDestination, 1); // Filter Frequency, 40..20000 Hz exponential
    params.setVSTvalue(kLeftX, 0.5f);
    engine.sendPadMovement(kLeftX);
    ASSERT_EQ(effect.delivered.size(), 1u);
    EXPECT_EQ(effect.delivered[0].first, kFilterFreq);
    EXPECT_NEAR(effect.delivered[0].second, 40.0 * std::sqrt(500.0), 2.0); // geometric middle

    // A bound change re-sends too; bounds 0.25..0.75 at X = 0.5 still give the middle.
    route(kLXDestination, 5, 0.25f, 0.75f); // Saturation, linear 0..1
    engine.sendPadMovement(kLXLowRange);
    EXPECT_EQ(effect.delivered.back().first, kSaturation);
    EXPECT_NEAR(effect.delivered.back().second, 0.5f, 1e-6f);
}

TEST_F(PadEngine, LowBoundAboveHighBoundInvertsTheAxis) {
    route(kRYDestination, 12, 0.8f, 0.2f); // Wet/Dry Mix, 0..100 %
    params.setVSTvalue(kRightY, 0.0f);
    engine.sendPadMovement(kRightY);
    EXPECT_NEAR(effect.delivered.back().second, 80.0f, 1e-3f);
    params.setVSTvalue(kRightY, 1.0f);
    engine.sendPadMovement(kRightY);
    EXPECT_NEAR(effect.delivered.back().second, 20.0f, 1e-3f);
}

TEST_F(PadEngine, UnroutedAxesAndOtherIdsSendNothing) {
    engine.sendPadMovement(kLeftX); // nothing routed after initialize
    engine.sendPadMovement(kFilterFreq);
    engine.sendPadMovement(kMotionMode);
    route(kLZDestination, 0);
    engine.sendPadMovement(kLeftZ);
    EXPECT_TRUE(effect.delivered.empty());
    EXPECT_EQ(engine.padTarget(kLZDestination), -1);
    // An index beyond the list drives nothing either.
    engine.setPadTarget(kLXDestination, 99);
    EXPECT_EQ(engine.padTarget(kLXDestination), -1);
}

TEST_F(PadEngine, RoutingASecondAxisToATargetReleasesTheFirst) {
    route(kLXDestination, 1);
    route(kRYDestination, 4); // Filter Gain on R Y
    route(kRXDestination, 1); // Filter Frequency again, now on R X
    EXPECT_EQ(engine.padTarget(kRXDestination), kFilterFreq);
    EXPECT_EQ(engine.padTarget(kLXDestination), -1);
    EXPECT_EQ(engine.padTarget(kRYDestination), kFilterGain);
    ASSERT_EQ(effect.announced.size(), 1u);
    EXPECT_EQ(effect.announced[0], std::make_pair(int32_t(kLXDestination), 0.0f));
    EXPECT_EQ(params.getNaturalValue(kLXDestination), 0.0f);

    // The released axis now sends nothing; the new one drives the target.
    effect.delivered.clear();
    engine.sendPadMovement(kLeftX);
    EXPECT_TRUE(effect.delivered.empty());
    engine.sendPadMovement(kRightX);
    ASSERT_EQ(effect.delivered.size(), 1u);
    EXPECT_EQ(effect.delivered[0].first, kFilterFreq);

    // Re-routing a destination to what it already drives releases nobody.
    engine.setPadTarget(kRXDestination, 1);
    EXPECT_EQ(effect.announced.size(), 1u);
}

TEST_F(PadEngine, RangeBoundsPushTheirPartnerAndAnnounceIt) {
    route(kLYDestination, 2, 0.3f, 0.6f);
    params.setVSTvalue(kLYLowRange, 0.7f);
    engine.rangeBoundChanged(kLYLowRange);
    EXPECT_FLOAT_EQ(vst(kLYHighRange), 0.7f);
    ASSERT_EQ(effect.announced.size(), 1u);
    EXPECT_EQ(effect.announced[0].first, kLYHighRange);
    EXPECT_FLOAT_EQ(effect.announced[0].second, 0.7f);
    // The destination follows at once: both bounds 0.7 -> resonance 0.7 whatever Y is.
    EXPECT_EQ(effect.delivered.back().first, kFilterResonance);
    EXPECT_NEAR(effect.delivered.back().second, 0.7f, 1e-6f);

    params.setVSTvalue(kLYHighRange, 0.1f);
    engine.rangeBoundChanged(kLYHighRange);
    EXPECT_FLOAT_EQ(vst(kLYLowRange), 0.1f);
    EXPECT_EQ(effect.announced.back().first, kLYLowRange);

    // Equal or ordered values are left alone.
    params.setVSTvalue(kLYHighRange, 0.1f);
    engine.rangeBoundChanged(kLYHighRange);
    params.setVSTvalue(kLYHighRange, 0.9f);
    engine.rangeBoundChanged(kLYHighRange);
    EXPECT_EQ(effect.announced.size(), 2u);
    EXPECT_FLOAT_EQ(vst(kLYLowRange), 0.1f);
}

// ---------------------------------------------------------------------------
// Drags

TEST_F(PadEngine, LockDragIsRefusedAtThePartnersEdgeAndMovesBothOtherwise) {
    params.setNaturalValue(kLinkMode, 1); // Lock
    params.setVSTvalue(kRightX, 1.0f);
    params.setVSTvalue(kLeftX, 0.4f);
    engine.axisMoved(kLeftX, 0.6f);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.4f);
    EXPECT_FLOAT_EQ(vst(kRightX), 1.0f);
    EXPECT_TRUE(effect.shown.empty());

    engine.axisMoved(kLeftX, 0.1f);
    EXPECT_NEAR(vst(kLeftX), 0.1f, 1e-6f);
    EXPECT_NEAR(vst(kRightX), 0.7f, 1e-6f);
    ASSERT_EQ(effect.shown.size(), 1u);
    EXPECT_EQ(effect.shown[0].first, kRightX);
    EXPECT_NEAR(effect.shown[0].second, 0.7f, 1e-6f);

    // A drag that would push the partner past the edge stops where the partner hits it.
    params.setVSTvalue(kLeftY, 0.5f);
    params.setVSTvalue(kRightY, 0.9f);
    EXPECT_NEAR(engine.constrainedAxisMotion(kLeftY, 0.8f), 0.1f, 1e-6f);
    EXPECT_NEAR(engine.constrainedAxisMotion(kRightY, 0.0f), -0.5f, 1e-6f); // partner left Y 0.5 -> 0
    engine.axisMoved(kRightY, 1.0f);                                        // Lock: the right pad leads too
    EXPECT_NEAR(vst(kRightY), 1.0f, 1e-6f);
    EXPECT_NEAR(vst(kLeftY), 0.6f, 1e-6f);
}

TEST_F(PadEngine, LinkLetsTheLeftPadLeadAndTheRightPadMoveAlone) {
    params.setNaturalValue(kLinkMode, 2); // Link
    params.setVSTvalue(kLeftX, 0.2f);
    params.setVSTvalue(kRightX, 0.3f);
    engine.axisMoved(kRightX, 0.9f);
    EXPECT_FLOAT_EQ(vst(kRightX), 0.9f);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.2f);
    engine.axisMoved(kLeftX, 0.25f);
    EXPECT_NEAR(vst(kLeftX), 0.25f, 1e-6f);
    EXPECT_NEAR(vst(kRightX), 0.95f, 1e-6f);

    // Both moved axes deliver their targets.
    route(kLXDestination, 5);
    route(kRXDestination, 2);
    effect.delivered.clear();
    engine.axisMoved(kLeftX, 0.2f);
    ASSERT_EQ(effect.delivered.size(), 2u);
    EXPECT_EQ(effect.delivered[0].first, kSaturation);
    EXPECT_EQ(effect.delivered[1].first, kFilterResonance);
    EXPECT_NEAR(effect.delivered[1].second, 0.9f, 1e-6f);
}

TEST_F(PadEngine, FreeDragMovesOnlyTheDraggedAxis) {
    engine.axisMoved(kLeftY, 0.05f);
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.05f);
    EXPECT_FLOAT_EQ(vst(kRightY), 0.5f);
    EXPECT_TRUE(effect.shown.empty());
}

// ---------------------------------------------------------------------------
// Touch, throw and drift

TEST_F(PadEngine, ThrownPadDriftsAndBouncesForEver) {
    touch(kLeftZ, 1.0f);
    EXPECT_TRUE(engine.padGrabbed(MorvanePadEngine::kPadLeft));
    params.setNaturalValue(kVelLX, 10.0f); // pad units per second
    params.setNaturalValue(kVelLY, 0.0f);
    touch(kLeftZ, 0.0f);
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadLeft));
    const float v = 10.0f * (1.0f / kRate);
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), v);

    const float step = 128.0f * v; // about 0.029 per tick
    engine.loadWorkingAxes();
    ticks(1);
    EXPECT_NEAR(vst(kLeftX), 0.5f + step, 1e-6f);
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.5f);
    EXPECT_FLOAT_EQ(vst(kRightX), 0.5f); // the other pad has no velocity

    // Follow a reference bounce for many crossings of the pad.
    double x = 0.5 + step, vx = step;
    for (int i = 0; i < 5000; ++i) {
        x += vx;
        if (x > 1.0) {
            x = 2.0 - x;
            vx = -vx;
        } else if (x < 0.0) {
            x = -x;
            vx = -vx;
        }
    }
    ticks(5000);
    EXPECT_NEAR(vst(kLeftX), x, 2e-3);
    EXPECT_GE(vst(kLeftX), 0.0f);
    EXPECT_LE(vst(kLeftX), 1.0f);
    EXPECT_FLOAT_EQ(std::fabs(engine.padVelocity(MorvanePadEngine::kVelocityLeftX)), v); // never decays
}

TEST_F(PadEngine, KineticsOffNeitherThrowsNorDriftsAndResumesWhenOn) {
    params.setNaturalValue(kKinetics, 0);
    touch(kRightZ, 1.0f);
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadRight));
    params.setNaturalValue(kVelRX, 50.0f);
    touch(kRightZ, 0.0f);
    EXPECT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityRightX), 0.0f);

    // A drifting pad stops at once when Kinetics goes off, and resumes after.
    params.setNaturalValue(kKinetics, 1);
    engine.setPadVelocity(MorvanePadEngine::kVelocityRightY, -0.0001f);
    ticks(1);
    const float afterOne = vst(kRightY);
    EXPECT_NEAR(afterOne, 0.5f - 0.0128f, 1e-6f);
    params.setNaturalValue(kKinetics, 0);
    engine.kineticsChanged();
    ticks(10);
    EXPECT_FLOAT_EQ(vst(kRightY), afterOne);
    params.setNaturalValue(kKinetics, 1);
    engine.kineticsChanged();
    ticks(1);
    EXPECT_NEAR(vst(kRightY), afterOne - 0.0128f, 1e-6f);
}

TEST_F(PadEngine, HeldPadDoesNotDriftAndSwitchingKineticsOffReleasesTheGrab) {
    engine.setPadVelocity(MorvanePadEngine::kVelocityLeftX, 0.0001f);
    touch(kLeftZ, 1.0f);
    ticks(3);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.5f);
    params.setNaturalValue(kKinetics, 0);
    engine.kineticsChanged();
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadLeft));
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), 0.0001f);
}

TEST_F(PadEngine, ThrowsFollowTheLinkMode) {
    params.setNaturalValue(kVelLX, 20.0f);
    params.setNaturalValue(kVelLY, -5.0f);
    params.setNaturalValue(kVelRX, 7.0f);
    params.setNaturalValue(kVelRY, 3.0f);
    const float r = 1.0f / kRate;

    params.setNaturalValue(kLinkMode, 1); // Lock: a throw of either pad sets both
    touch(kLeftZ, 1.0f);
    touch(kLeftZ, 0.0f);
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityRightX), 20.0f * r);
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityRightY), -5.0f * r);
    touch(kRightZ, 1.0f);
    touch(kRightZ, 0.0f);
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), 7.0f * r);
    EXPECT_FLOAT_EQ(engine.padVelocity(MorvanePadEngine::kVelocityLeftY), 3.0f * r);

    params.setNaturalValue(kLinkMode, 2); // Link: a throw of the right pad changes nothing
    engine.zeroVelocities();
    touch(kRightZ, 1.0f);
    touch(kRightZ, 0.0f);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(engine.padVelocity(i), 0.0f);
}

TEST_F(PadEngine, LinkedDriftKeepsTheDistanceAndBouncesTheLeadingPad) {
    params.setNaturalValue(kLinkMode, 1);
    params.setVSTvalue(kLeftX, 0.9f);
    params.setVSTvalue(kRightX, 0.2f);
    engine.loadWorkingAxes();
    engine.setPadVelocity(MorvanePadEngine::kVelocityLeftX, 0.025f / 128.0f);
    ticks(4); // left: 0.925, 0.95, 0.975, 1.0
    EXPECT_NEAR(vst(kLeftX), 1.0f, 1e-5f);
    EXPECT_NEAR(vst(kRightX), 0.3f, 1e-5f);
    ticks(2); // bounced: 0.975, 0.95
    EXPECT_NEAR(vst(kLeftX), 0.95f, 1e-5f);
    EXPECT_NEAR(vst(kRightX), 0.25f, 1e-5f);
    EXPECT_LT(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), 0.0f);
    ticks(40); // now the right pad leads towards 0 and bounces there
    EXPECT_NEAR(vst(kLeftX) - vst(kRightX), 0.7f, 1e-4f);
    EXPECT_GE(vst(kRightX), 0.0f);
    EXPECT_GT(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), 0.0f);
    // Y did not move (no Y velocity), the right velocity is not used.
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.5f);
}

TEST_F(PadEngine, ZIsMirroredBothWaysUnderLockAndOnlyLeftToRightUnderLink) {
    params.setNaturalValue(kKinetics, 0);
    params.setNaturalValue(kLinkMode, 1);
    touch(kRightZ, 1.0f);
    EXPECT_FLOAT_EQ(vst(kLeftZ), 1.0f);
    touch(kLeftZ, 0.0f);
    EXPECT_FLOAT_EQ(vst(kRightZ), 0.0f);

    params.setNaturalValue(kLinkMode, 2);
    touch(kRightZ, 1.0f);
    EXPECT_FLOAT_EQ(vst(kLeftZ), 0.0f);
    touch(kLeftZ, 0.6f);
    EXPECT_FLOAT_EQ(vst(kRightZ), 0.6f);

    params.setNaturalValue(kLinkMode, 0);
    touch(kLeftZ, 0.2f);
    EXPECT_FLOAT_EQ(vst(kRightZ), 0.6f);

    // The mirrored copy delivers the other Z's target but grabs nothing.
    params.setNaturalValue(kKinetics, 1);
    params.setNaturalValue(kLinkMode, 1);
    route(kRZDestination, 13); // Delay Active
    effect.delivered.clear();
    touch(kLeftZ, 1.0f);
    EXPECT_TRUE(engine.padGrabbed(MorvanePadEngine::kPadLeft));
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadRight));
    ASSERT_EQ(effect.delivered.size(), 1u);
    EXPECT_EQ(effect.delivered[0], std::make_pair(int32_t(kDelayOnOff), 1.0f));
}

// ---------------------------------------------------------------------------
// Phase and playback

// A recorder holding the given points.
void fill(CMotionRecorder& r, std::initializer_list<std::pair<float, float>> points) {
    r.startRecording();
    for (auto [x, y] : points)
        r.recordValues(x, y);
}

TEST_F(PadEngine, PhaseFollowsTheHostSongPositionAndExactlyOnePlaysTheLastPoint) {
    params.setNaturalValue(kMotionRate, 4); // one beat per cycle
    params.setNaturalValue(kMotionMode, 1);
    fill(left, {{0.0f, 0.0f}, {0.4f, 0.8f}, {1.0f, 0.2f}});
    effect.hasTempo = true;
    effect.beat = 17.75;
    effect.tempo = 44100.0 * 60.0 / 512.0; // 128 samples = a quarter of a cycle
    engine.syncMotionPhase();
    EXPECT_FLOAT_EQ(engine.motionPhase(), 0.75f);
    EXPECT_FLOAT_EQ(engine.motionPhaseStep(), 1.0f / 512.0f);
    engine.loadWorkingAxes();

    ticks(1); // plays phase 0.75: halfway between points 1 and 2
    EXPECT_NEAR(vst(kLeftX), 0.7f, 1e-6f);
    EXPECT_NEAR(vst(kLeftY), 0.5f, 1e-6f);
    EXPECT_EQ(engine.motionPhase(), 1.0f); // exactly 1.0 stays
    ticks(1);                              // plays the last point, then wraps without blending
    EXPECT_FLOAT_EQ(vst(kLeftX), 1.0f);
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.2f);
    EXPECT_FLOAT_EQ(engine.motionPhase(), 0.25f);
    ticks(1);
    EXPECT_NEAR(vst(kLeftX), 0.2f, 1e-6f);
    // The right pad has no recording and no velocity: it stays.
    EXPECT_FLOAT_EQ(vst(kRightX), 0.5f);

    // A negative song position still maps into 0..1; a longer cycle divides it.
    params.setNaturalValue(kMotionRate, 7); // 8 beats
    effect.beat = -2.0;
    engine.syncMotionPhase();
    EXPECT_FLOAT_EQ(engine.motionPhase(), 0.75f);
}

TEST_F(PadEngine, WithoutTempoThePhaseReanchorsAndTheBeatFallsBackTo500Ms) {
    effect.hasTempo = true;
    effect.tempo = 140.0;
    effect.beat = 0.5;
    params.setNaturalValue(kMotionRate, 4);
    engine.syncMotionPhase();
    EXPECT_NEAR(engine.msPerBeat(), 60000.0f / 140.0f, 1e-3f);
    effect.tempo = 140.05; // within 0.1 BPM: beat length kept
    engine.syncMotionPhase();
    EXPECT_NEAR(engine.msPerBeat(), 60000.0f / 140.0f, 1e-3f);

    effect.hasTempo = false;
    engine.updatePadMotion(); // the phase moves on between blocks...
    engine.syncMotionPhase(); // ...and is anchored back to the last answer
    EXPECT_FLOAT_EQ(engine.msPerBeat(), 500.0f);
    EXPECT_FLOAT_EQ(engine.motionPhase(), 0.5f);

    // The host answering again at its earlier tempo gets that tempo's beat back.
    effect.hasTempo = true;
    effect.tempo = 140.0;
    engine.syncMotionPhase();
    EXPECT_NEAR(engine.msPerBeat(), 60000.0f / 140.0f, 1e-3f);

    // A nonsensical answer counts as none and cannot stall the phase advance.
    effect.tempo = INFINITY;
    engine.syncMotionPhase();
    EXPECT_FLOAT_EQ(engine.msPerBeat(), 500.0f);
    effect.tempo = 1e9;
    engine.syncMotionPhase();
    ticks(3);
    EXPECT_GE(engine.motionPhase(), 0.0f);
    EXPECT_LE(engine.motionPhase(), 1.0f);
}

TEST_F(PadEngine, RecordingAPadStopsItsPlaybackUntilRelease) {
    params.setNaturalValue(kMotionMode, 2); // Rec
    fill(left, {{0.1f, 0.1f}});
    fill(right, {{0.9f, 0.9f}});
    touch(kRightZ, 1.0f);
    EXPECT_TRUE(engine.padRecording(MorvanePadEngine::kPadRight));
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadRight)); // no grab while recording
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.1f);
    EXPECT_FLOAT_EQ(vst(kRightX), 0.5f);
    fill(right, {{0.3f, 0.7f}}); // the editor's new recording
    touch(kRightZ, 0.0f);
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kRightX), 0.3f);
    EXPECT_FLOAT_EQ(vst(kRightY), 0.7f);

    // Linked: holding the left pad stops both, the right recording is never used.
    params.setNaturalValue(kLinkMode, 1);
    fill(left, {{0.2f, 0.2f}});
    touch(kLeftZ, 1.0f);
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.1f);
    EXPECT_FLOAT_EQ(vst(kRightX), 0.3f);
    touch(kLeftZ, 0.0f);
    touch(kRightZ, 0.0f);
    ticks(1); // left jumps 0.1 -> 0.2, the right pad follows by the same change
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.2f);
    EXPECT_NEAR(vst(kRightX), 0.4f, 1e-6f);
}

// Kinetics releases grabs only: a pad being recorded stays off playback, so the
// gesture being written is not overwritten by its own half-made recording.
TEST_F(PadEngine, SwitchingKineticsOffKeepsARecordingPadOffPlayback) {
    params.setNaturalValue(kMotionMode, 2); // Rec
    fill(left, {{0.1f, 0.2f}});
    touch(kLeftZ, 1.0f);
    ASSERT_TRUE(engine.padRecording(MorvanePadEngine::kPadLeft));
    params.setNaturalValue(kKinetics, 0);
    engine.kineticsChanged();
    EXPECT_TRUE(engine.padRecording(MorvanePadEngine::kPadLeft));
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.5f);
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.5f);
    touch(kLeftZ, 0.0f); // released: the new recording plays
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.1f);
    EXPECT_FLOAT_EQ(vst(kLeftY), 0.2f);
}

TEST_F(PadEngine, LinkedPlaybackStopsTheLeadAtTheFollowersEdge) {
    params.setNaturalValue(kMotionMode, 1);
    params.setNaturalValue(kLinkMode, 2);
    params.setVSTvalue(kLeftX, 0.5f);
    params.setVSTvalue(kRightX, 0.8f);
    engine.loadWorkingAxes();
    fill(left, {{0.9f, 0.5f}}); // +0.4 would put the right pad at 1.2
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kRightX), 1.0f);
    EXPECT_NEAR(vst(kLeftX), 0.7f, 1e-6f);

    // Not ready (a preset is being loaded): nothing is played.
    engine.setMotionReady(false);
    params.setVSTvalue(kLeftX, 0.3f);
    engine.loadWorkingAxes();
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.3f);
}

TEST_F(PadEngine, FreePlaybackFallsBackToDriftForAnEmptyRecording) {
    params.setNaturalValue(kMotionMode, 1);
    fill(left, {{0.25f, 0.75f}});
    right.clearRecording();
    engine.setPadVelocity(MorvanePadEngine::kVelocityRightX, 0.001f);
    engine.setPadVelocity(MorvanePadEngine::kVelocityLeftX, 0.001f); // unused: the left pad plays
    ticks(1);
    EXPECT_FLOAT_EQ(vst(kLeftX), 0.25f);
    EXPECT_NEAR(vst(kRightX), 0.5f + 0.128f, 1e-6f);
}

TEST_F(PadEngine, InitializeLoadsFactoryRowZeroAndClearsTheRest) {
    route(kLXDestination, 1);
    touch(kLeftZ, 1.0f);
    engine.setMotionReady(false);
    engine.initialize();
    EXPECT_EQ(engine.padTarget(kLXDestination), -1);
    EXPECT_FALSE(engine.padGrabbed(MorvanePadEngine::kPadLeft));
    EXPECT_TRUE(engine.motionReady());
    EXPECT_FLOAT_EQ(engine.msPerBeat(), 500.0f);
    // Row 0 in millionths of a pad unit per sample: left -12, -8; right -2, -6.
    EXPECT_NEAR(engine.padVelocity(MorvanePadEngine::kVelocityLeftX), -12e-6f, 0.5e-6f);
    EXPECT_NEAR(engine.padVelocity(MorvanePadEngine::kVelocityLeftY), -8e-6f, 0.5e-6f);
    EXPECT_NEAR(engine.padVelocity(MorvanePadEngine::kVelocityRightX), -2e-6f, 0.5e-6f);
    EXPECT_NEAR(engine.padVelocity(MorvanePadEngine::kVelocityRightY), -6e-6f, 0.5e-6f);
    engine.setPadVelocity(0, NAN);
    EXPECT_EQ(engine.padVelocity(0), 0.0f);
}

} // namespace

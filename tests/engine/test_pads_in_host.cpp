// The pads inside the running effect: drags delivered by the host under
// "Lock" and "Link", drift and throws moving the routed target parameter
// during rendering, and recorder playback locked to the host's song position.
#include "tests/engine/engine_test_support.h"

#include <utility>

namespace {

constexpr double kRate = 44100.0;

struct FakeView : MorvaneAttachedView {
    void ParameterListener(void*, void*, const AudioUnitParameter* p, float value) override {
        targets.emplace_back(static_cast<int32_t>(p->mParameterID), value);
    }
    void SetVSTParameter(int32_t id, float value) override { partners.emplace_back(id, value); }
    std::vector<std::pair<int32_t, float>> targets, partners;
};

// Lets 10 ms of audio pass so the next value of a parameter is delivered.
void settle(EngineHost& e) {
    e.renderConstant(0.0f, 512);
}

TEST(PadsInHost, LinkedDragsStopAtTheEdgeAndShowThePartnerOnTheEditor) {
    EngineHost e;
    FakeView view;
    e.effect().setAttachedView(&view);
    e.set(kKinetics, 0.0f); // no drift
    e.set(kRightX, 1.0f);
    e.set(kLeftX, 0.4f);
    settle(e);
    e.set(kLinkMode, 1.0f); // Lock
    settle(e);

    e.set(kLeftX, 0.6f); // the right pad would leave the pad
    settle(e);
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kLeftX), 0.4f);
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kRightX), 1.0f);
    EXPECT_TRUE(view.partners.empty());

    e.set(kLeftX, 0.1f);
    settle(e);
    EXPECT_NEAR(e.params().getVSTvalue(kLeftX), 0.1f, 1e-6f);
    EXPECT_NEAR(e.params().getVSTvalue(kRightX), 0.7f, 1e-6f);
    ASSERT_EQ(view.partners.size(), 1u);
    EXPECT_EQ(view.partners[0].first, kRightX);
    EXPECT_NEAR(view.partners[0].second, 0.7f, 1e-6f);

    e.set(kLinkMode, 2.0f); // Link: the right pad moves alone
    settle(e);
    e.set(kRightX, 0.9f);
    settle(e);
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kRightX), 0.9f);
    EXPECT_NEAR(e.params().getVSTvalue(kLeftX), 0.1f, 1e-6f);
    e.set(kLeftX, 0.3f); // ...and follows the left pad up to its edge
    settle(e);
    EXPECT_NEAR(e.params().getVSTvalue(kLeftX), 0.2f, 1e-6f);
    EXPECT_NEAR(e.params().getVSTvalue(kRightX), 1.0f, 1e-6f);
    e.effect().setAttachedView(nullptr);
}

TEST(PadsInHost, DriftMovesTheRoutedTargetButNotTheHostsCopy) {
    EngineHost e;
    FakeView view;
    e.effect().setAttachedView(&view);
    e.set(kLXDestination, 1.0f); // Left X drives Filter Frequency between 0.42 and 0.924
    const float x0 = e.params().getVSTvalue(kLeftX);
    const float v = e.effect().padEngine().padVelocity(MorvanePadEngine::kVelocityLeftX); // factory row 0
    ASSERT_LT(v, 0.0f);

    const int ticks = 20;
    e.renderConstant(0.0f, 128 * ticks);
    const double x = x0 + ticks * 128.0 * v;
    EXPECT_NEAR(e.params().getVSTvalue(kLeftX), x, 1e-6);
    const double hz = 40.0 * std::pow(500.0, 0.42 + x * (0.924 - 0.42));
    EXPECT_NEAR(e.params().getNaturalValue(kFilterFreq), hz, hz * 1e-4);
    EXPECT_FLOAT_EQ(e.host().getParameter(kFilterFreq), 2040.0f); // the host's copy stays

    // Every tick told the editor the new frequency.
    ASSERT_EQ(view.targets.size(), static_cast<size_t>(ticks));
    EXPECT_EQ(view.targets.back().first, kFilterFreq);
    EXPECT_FLOAT_EQ(view.targets.back().second, e.params().getNaturalValue(kFilterFreq));
    e.effect().setAttachedView(nullptr);
    e.renderConstant(0.0f, 256);
    EXPECT_EQ(view.targets.size(), static_cast<size_t>(ticks)); // detached: no more calls
}

TEST(PadsInHost, AThrownPadBouncesBetweenTheEdges) {
    EngineHost e;
    e.set(kLeftZ, 1.0f); // grab
    e.pump();
    e.renderConstant(0.0f, 512);
    e.params().setNaturalValue(kVelLX, 100.0f); // the editor's measured throw, pad units per second
    e.params().setNaturalValue(kVelLY, 0.0f);
    e.set(kLeftZ, 0.0f); // release
    e.pump();
    const double step = 128.0 * 100.0 / kRate;
    EXPECT_FLOAT_EQ(e.effect().padEngine().padVelocity(MorvanePadEngine::kVelocityLeftX),
                    100.0f * static_cast<float>(1.0 / kRate));
    double x = e.params().getVSTvalue(kLeftX), vx = step;
    const float y = e.params().getVSTvalue(kLeftY);
    for (int block = 0; block < 40; ++block) {
        e.renderConstant(0.0f, 128);
        x += vx;
        if (x > 1.0) {
            x = 2.0 - x;
            vx = -vx;
        } else if (x < 0.0) {
            x = -x;
            vx = -vx;
        }
        ASSERT_NEAR(e.params().getVSTvalue(kLeftX), x, 1e-4) << "tick " << block;
    }
    EXPECT_FLOAT_EQ(e.params().getVSTvalue(kLeftY), y);
}

TEST(PadsInHost, PlaybackFollowsTheHostsSongPosition) {
    EngineHost e;
    e.host().setTransport({120.0, 3.3});
    e.set(kMotionRate, 4.0f); // one beat per cycle
    e.set(kMotionMode, 1.0f); // Play
    CMotionRecorder& left = e.effect().recorderLeft();
    left.startRecording();
    left.recordValues(0.0f, 0.0f);
    left.recordValues(1.0f, 1.0f); // Left X = Left Y = phase
    for (int block = 0; block < 300; ++block) {
        const double beat = 3.3 + block * 128.0 * 120.0 / (60.0 * kRate);
        e.renderConstant(0.0f, 128);
        const double phase = std::fmod(beat, 1.0);
        ASSERT_NEAR(e.params().getVSTvalue(kLeftX), phase, 1e-6) << "block " << block;
        ASSERT_NEAR(e.params().getVSTvalue(kLeftY), phase, 1e-6) << "block " << block;
    }
}

} // namespace

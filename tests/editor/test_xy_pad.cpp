// The motion pad and the range slider on their own, over a headless frame:
// handle geometry, what a press, drag and release report, linked drags and
// the lines drawn for links.
#include <gtest/gtest.h>

#include "editor/CMultiXYControl.h"
#include "tests/gui/gui_test_support.h"

namespace {

using namespace guitest;

const CColor kGround{10, 10, 10, 255};
const CColor kA{255, 0, 0, 255};
const CColor kB{0, 0, 255, 255};

// Hears the per-tag values as "value TAG VALUE".
struct TagListener : CKOControlListener {
    explicit TagListener(EventLog& events) : log(events) {}
    EventLog& log;
    void valueChanged(CControl*) override {}
    void valueChanged(long tag, float value) override { log.push_back(Listener::say("value", tag, value)); }
};

class Pad : public ::testing::Test {
  protected:
    Pad() : listener(events), editor(events), frame(CRect(0, 0, 300, 300), nullptr, &editor) {
        resources.writeStrip(1, 300, 300, 1, [](int) { return kGround; });
        resources.writeStrip(2, 18, 18, 1, [](int) { return kA; });
        resources.writeStrip(3, 18, 18, 1, [](int) { return kB; });
        resources.writeStrip(4, 10, 20, 1, [](int) { return kA; });
        resources.writeStrip(5, 10, 20, 1, [](int) { return kB; });
        CBitmap* ground = new CBitmap(1);
        frame.setBackground(ground);
        ground->forget();
        CBitmap* a = new CBitmap(2);
        CBitmap* b = new CBitmap(3);
        // As the editor builds it: the right handle (A) first, the left (B) second.
        pad = new CMultiXYControl(CRect(40, 40, 260, 260), &listener, 19, 20, 21, nullptr, a);
        pad->addHandle(22, 23, 24, b);
        a->forget();
        b->forget();
        frame.addView(pad);
    }

    CPoint centreOf(int tag) {
        CRect r;
        pad->getMIDILearnRect(tag, r);
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    ResourceFolder resources;
    EventLog events;
    TagListener listener;
    EditorLog editor;
    CFrame frame;
    CMultiXYControl* pad;
};

TEST_F(Pad, ValuesPlaceHandlesOverTheTravelWithYCountingUp) {
    EXPECT_EQ(pad->getHorizontalTravel(), 202);
    EXPECT_EQ(pad->getVerticalTravel(), 202);
    pad->setValue(19, 1.0f);
    pad->setValue(20, 0.0f);
    CRect r;
    pad->getMIDILearnRect(19, r);
    EXPECT_EQ(r, CRect(242, 242, 260, 260)); // flush with the right and bottom edges

    pad->setValue(20, 0.25f);
    EXPECT_EQ(pad->getHandleFromTag(20)->verticalValue, 0.75f);
    EXPECT_EQ(pad->getValue(20), 0.25f);
    EXPECT_EQ(pad->getValue(99), 0.0f);
    EXPECT_TRUE(pad->hasTag(24));
    EXPECT_FALSE(pad->hasTag(0));
}

TEST_F(Pad, PressDragAndReleaseReportSwitchThenValuesWithinOneEdit) {
    pad->setValue(22, 0.5f);
    pad->setValue(23, 0.5f);
    pad->setValue(19, 0.0f);
    pad->setValue(20, 1.0f);
    const CPoint p = centreOf(22);
    press(frame, p.h, p.v);
    drag(frame, p.h + 20, p.v);
    release(frame, p.h + 20, p.v);
    // The press snaps 0.5 onto the pixel grid (101 / 202 is 0.5 exactly).
    const EventLog expected = {
        "value 24 1",
        "editor begin 22",
        "editor begin 23",
        "editor begin 24",
        Listener::say("value", 22, 121.0f / 202.0f),
        "value 24 0",
        "editor end 22",
        "editor end 23",
        "editor end 24",
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(frame.getFocusView(), pad);
}

TEST_F(Pad, WhereHandlesOverlapTheFirstIsGrabbedAndTheSecondDrawnOnTop) {
    for (int tag : {19, 22})
        pad->setValue(tag, 0.5f);
    for (int tag : {20, 23})
        pad->setValue(tag, 0.5f);
    frame.idle();
    const CPoint p = centreOf(19);
    EXPECT_EQ(frame.getPixel(p.h, p.v), kB);
    press(frame, p.h, p.v);
    EXPECT_EQ(events.front(), "value 21 1");
    release(frame, p.h, p.v);
    // Outside both handles the press is not the pad's.
    EXPECT_EQ(press(frame, 45, 45), kMouseEventNotHandled);
}

TEST_F(Pad, ALeaderStopsWhereAMovingFollowerMeetsTheEdge) {
    pad->addHandle(30, 31, 32, nullptr);
    pad->setValue(22, 0.3f);
    pad->setValue(19, 0.9f);
    pad->setValue(30, 0.05f);
    pad->setHandleLink(22, 19, CMultiXYControl::kSolidLink);
    pad->setHandleLink(22, 30, CMultiXYControl::kSolidLineOnly); // drawn, not dragged
    pad->sendLinkedHandleChanges(true);
    const CPoint p = centreOf(22);
    press(frame, p.h, p.v);
    events.clear();
    drag(frame, p.h + 60, p.v);
    release(frame, p.h + 60, p.v);
    const float start = 60.0f / 202.0f; // 0.3 on the pixel grid
    EXPECT_NEAR(pad->getValue(19), 1.0f, 1e-6);
    EXPECT_NEAR(pad->getValue(22), start + (1.0f - (0.9f - 0.3f + start)), 1e-6);
    EXPECT_EQ(pad->getValue(30), 0.05f);
    EXPECT_EQ(events[0], Listener::say("value", 19, pad->getValue(19)));
    EXPECT_EQ(events[1], Listener::say("value", 22, pad->getValue(22)));

    // Far to the left: the follower at 0.1 lets the leader go 0.1 of the way.
    pad->setValue(22, 0.5f);
    pad->setValue(19, 0.1f);
    const CPoint q = centreOf(22);
    press(frame, q.h, q.v);
    drag(frame, q.h - 300, q.v);
    release(frame, q.h - 300, q.v);
    EXPECT_NEAR(pad->getValue(22), 0.4f, 1e-6);
    EXPECT_NEAR(pad->getValue(19), 0.0f, 1e-6);
}

TEST_F(Pad, SolidLinksDrawUnbrokenLinesAndDashedOnesGaps) {
    pad->setValue(22, 0.0f);
    pad->setValue(19, 1.0f);
    pad->setValue(23, 0.5f);
    pad->setValue(20, 0.5f);
    auto whitePixels = [&] {
        frame.idle();
        const CPoint from = centreOf(22), to = centreOf(19);
        int white = 0;
        for (CCoord x = from.h + 12; x < to.h - 12; ++x)
            white += frame.getPixel(x, from.v - 1) == CColor{255, 255, 255, 255};
        return std::make_pair(white, to.h - from.h - 24);
    };
    pad->setHandleLink(22, 19, CMultiXYControl::kSolidLink);
    const auto [solid, length] = whitePixels();
    EXPECT_EQ(solid, length);
    pad->setHandleLink(22, 19, CMultiXYControl::kDashedLineOnly);
    const auto [dashed, same] = whitePixels();
    EXPECT_GT(dashed, same / 3);
    EXPECT_LT(dashed, same * 2 / 3);
    pad->setHandleLink(22, 19, CMultiXYControl::kHiddenLink);
    EXPECT_EQ(whitePixels().first, 0);
}

TEST_F(Pad, RangeSliderHandlesSitTipToTipAndReportNoSwitch) {
    CBitmap* low = new CBitmap(4);
    CBitmap* high = new CBitmap(5);
    auto* slider =
        new CHorizontalRangeSlider(CRect(20, 270, 169, 291), &listener, 26, 27, nullptr, low, high);
    low->forget();
    high->forget();
    frame.addView(slider);
    EXPECT_EQ(slider->getHorizontalTravel(), 149 - 20);
    EXPECT_TRUE(slider->isTypeOf("CHorizontalRangeSlider"));
    EXPECT_FALSE(slider->hasTag(0));
    slider->setValue(26, 0.5f);
    slider->setValue(27, 0.5f);
    CRect l, h;
    slider->getMIDILearnRect(26, l);
    slider->getMIDILearnRect(27, h);
    EXPECT_EQ(l, CRect(84, 270, 94, 290));
    EXPECT_EQ(h, CRect(93, 270, 103, 290)); // one pixel of overlap at the tips
    CPoint tip(93, 280);
    EXPECT_EQ(slider->getTagFromPoint(tip), 26);
    CPoint off(30, 280);
    EXPECT_EQ(slider->getTagFromPoint(off), -1);

    press(frame, 98, 280);
    drag(frame, 98 - 40, 280);
    release(frame, 98 - 40, 280);
    // The press puts the handle on the pixel grid (63 px of travel), then the drag.
    const EventLog expected = {"editor begin 27", Listener::say("value", 27, 63.0f / 129.0f),
                               Listener::say("value", 27, 23.0f / 129.0f), "editor end 27"};
    EXPECT_EQ(events, expected);
    EXPECT_LT(slider->getValue(27), slider->getValue(26));
}

} // namespace

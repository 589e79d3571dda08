// The toolkit's controls driven through a headless frame with injected mouse
// events: values, listener calls, edit brackets, modifier clicks and pop-up
// menus.
#include <gtest/gtest.h>

#include "tests/gui/gui_test_support.h"

namespace {

using namespace guitest;
using Log = std::vector<std::string>;

class Controls : public ::testing::Test {
  protected:
    Controls() : listener(events), editor(events), frame(CRect(0, 0, 200, 200), nullptr, &editor) {}

    Log take() {
        Log out;
        out.swap(events);
        return out;
    }

    EventLog events;
    Listener listener;
    EditorLog editor;
    CFrame frame;
};

TEST_F(Controls, KnobInLinearModeFollowsVerticalMotionWithinOneEdit) {
    auto* knob = new CAnimKnob(CRect(10, 10, 50, 60), &listener, 1, 33, 50, nullptr);
    knob->setValue(0.5f);
    frame.addView(knob);

    EXPECT_EQ(press(frame, 30, 35), kMouseEventHandled);
    EXPECT_EQ(frame.getFocusView(), knob);
    drag(frame, 30, -5);   // 40 px up: a fifth of the range
    drag(frame, 90, -5);   // sideways: nothing
    drag(frame, 30, -200); // past the top: held at 1
    drag(frame, 30, -210);
    release(frame, 30, -210);
    EXPECT_EQ(take(),
              (Log{"begin 1", "editor begin 1", "value 1 0.7", "value 1 1", "editor end 1", "end 1"}));

    // Shift: ten times finer; pressing or letting go of it mid-drag does not jump.
    knob->setValue(0.5f);
    press(frame, 30, 35, kLButton | kShift);
    drag(frame, 30, 15, kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.51f);
    drag(frame, 30, 15, kLButton);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.51f);
    drag(frame, 30, -5, kLButton);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.61f);
    release(frame, 30, -5);
    EXPECT_EQ(knob->getFrameIndex(), 20); // round(0.61 * 32)

    take();
    EXPECT_EQ(press(frame, 30, 35, kRButton), kMouseEventNotHandled);
    EXPECT_TRUE(take().empty());
}

TEST_F(Controls, KnobInTheCircularModesFollowsTheAngleAroundItsCentre) {
    auto* knob = new CAnimKnob(CRect(0, 0, 100, 100), &listener, 1, 33, 100, nullptr);
    frame.addView(knob);
    editor.knobMode = kCircularMode;
    press(frame, 50, 10); // straight up: the middle of the 270-degree sweep
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    drag(frame, 90, 50); // a quarter turn clockwise
    EXPECT_NEAR(knob->getValue(), 0.5f + 90.0f / 270.0f, 1e-6);
    release(frame, 90, 50);

    editor.knobMode = kRelativCircularMode;
    knob->setValue(0.2f);
    press(frame, 90, 50); // the press itself changes nothing
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    drag(frame, 50, 90); // a further quarter turn
    EXPECT_NEAR(knob->getValue(), 0.2f + 90.0f / 270.0f, 1e-6);
    release(frame, 50, 90);
}

TEST_F(Controls, ButtonTogglesOnThePressAndSwitchFollowsTheMouse) {
    auto* button = new CMovieButton(CRect(10, 10, 40, 40), &listener, 2, nullptr);
    auto* lever = new CVerticalSwitch(CRect(100, 100, 120, 160), &listener, 3, 3, 60, 3, nullptr);
    frame.addView(button);
    frame.addView(lever);

    press(frame, 20, 20);
    release(frame, 20, 20);
    press(frame, 20, 20);
    release(frame, 20, 20);
    EXPECT_EQ(take(), (Log{"begin 2", "editor begin 2", "value 2 1", "editor end 2", "end 2", "begin 2",
                           "editor begin 2", "value 2 0", "editor end 2", "end 2"}));

    press(frame, 110, 105); // top position: already 0, nothing to report
    drag(frame, 110, 130);  // middle
    drag(frame, 110, 135);
    drag(frame, 110, 400); // past the bottom: last position
    release(frame, 110, 400);
    EXPECT_EQ(take(),
              (Log{"begin 3", "editor begin 3", "value 3 0.5", "value 3 1", "editor end 3", "end 3"}));
}

TEST_F(Controls, ModifierClickAsksTheListenerFirst) {
    auto* button = new CMovieButton(CRect(10, 10, 40, 40), &listener, 2, nullptr);
    frame.addView(button);

    listener.modifierAnswer = 1; // the listener takes the click: the button never sees it
    EXPECT_EQ(press(frame, 20, 20, kLButton | kCommand), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    release(frame, 20, 20, kLButton | kCommand);
    EXPECT_EQ(take(), (Log{"modifier 2 34"}));
    EXPECT_EQ(button->getValue(), 0.0f);

    listener.modifierAnswer = 0; // the click goes on as usual
    press(frame, 20, 20, kLButton | kOption | kShift);
    release(frame, 20, 20, kLButton);
    EXPECT_EQ(take(),
              (Log{"modifier 2 82", "begin 2", "editor begin 2", "value 2 1", "editor end 2", "end 2"}));

    press(frame, 20, 20); // no modifier: not asked
    release(frame, 20, 20);
    EXPECT_EQ(take().front(), "begin 2");
}

TEST_F(Controls, PressGoesToTheTopmostViewThatTakesIt) {
    auto* below = new CMovieButton(CRect(0, 0, 100, 100), &listener, 1, nullptr);
    auto* above = new CMovieButton(CRect(0, 0, 50, 50), &listener, 2, nullptr);
    auto* passive = new CView(CRect(0, 0, 100, 100)); // answers "not implemented"
    auto* disabled = new CMovieButton(CRect(0, 0, 100, 100), &listener, 3, nullptr);
    disabled->setMouseEnabled(false);
    frame.addView(below);
    frame.addView(above);
    frame.addView(passive);
    frame.addView(disabled);

    press(frame, 10, 10);
    release(frame, 10, 10);
    press(frame, 80, 80);
    release(frame, 80, 80);
    EXPECT_EQ(above->getValue(), 1.0f);
    EXPECT_EQ(below->getValue(), 1.0f);
    EXPECT_EQ(disabled->getValue(), 0.0f);

    // The view under the mouse counts every view, mouse-enabled or not.
    drag(frame, 80, 80, 0);
    EXPECT_EQ(frame.getCurrentView(), disabled);
    drag(frame, 150, 150, 0);
    EXPECT_EQ(frame.getCurrentView(), &frame);
    CPoint where;
    frame.getCurrentLocation(where);
    EXPECT_EQ(where, CPoint(150, 150));
    frame.onMouseExited();
    EXPECT_EQ(frame.getCurrentView(), nullptr);
    EXPECT_EQ(press(frame, 150, 150), kMouseEventNotHandled);
}

class Menus : public Controls {
  protected:
    Menus() {
        menu = new COptionMenu(CRect(20, 100, 80, 114), &listener, 5, nullptr, nullptr,
                               kPopupStyle | kCheckStyle);
        for (const char* entry : {"Zero", "One", "Two", "Three"})
            menu->addEntry(entry);
        menu->setValue(1);
        frame.addView(menu);
    }
    // The middle of entry i of the open pop-up.
    CPoint entry(long i) const {
        const CRect r = frame.getOpenPopup()->getRect();
        return CPoint((r.left + r.right) / 2, r.top + 3 + static_cast<CCoord>(i) * 18 + 9);
    }
    COptionMenu* menu;
};

TEST_F(Menus, ClickOpensThePopupWithTheCurrentEntryUnderTheMouseAndAClickChooses) {
    EXPECT_EQ(press(frame, 30, 107), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    ASSERT_NE(frame.getOpenPopup(), nullptr);
    EXPECT_EQ(frame.getOpenPopup()->entryAt(CPoint(30, 107)), 1);
    release(frame, 30, 107); // the opening click's release chooses nothing
    ASSERT_NE(frame.getOpenPopup(), nullptr);
    EXPECT_TRUE(take().empty());

    const CPoint three = entry(3);
    press(frame, three.h, three.v);
    EXPECT_EQ(frame.getOpenPopup(), nullptr);
    release(frame, three.h, three.v); // goes nowhere
    EXPECT_EQ(menu->getCurrentIndex(), 3);
    EXPECT_EQ(take(), (Log{"begin 5", "editor begin 5", "value 5 3", "editor end 5", "end 5"}));
}

TEST_F(Menus, DraggingToAnEntryAndReleasingChooses) {
    press(frame, 30, 107);
    const CPoint zero = entry(0);
    drag(frame, zero.h, zero.v);
    EXPECT_EQ(frame.getOpenPopup()->getHoverIndex(), 0);
    release(frame, zero.h, zero.v);
    EXPECT_EQ(frame.getOpenPopup(), nullptr);
    EXPECT_EQ(menu->getValue(), 0.0f);
    EXPECT_EQ(take()[2], "value 5 0");
}

TEST_F(Menus, PressOutsideThePopupCancelsIt) {
    press(frame, 30, 107);
    press(frame, 190, 190);
    EXPECT_EQ(frame.getOpenPopup(), nullptr);
    EXPECT_EQ(menu->getCurrentIndex(), 1);
    EXPECT_TRUE(take().empty());

    // A pop-up near the frame's edge stays inside the frame.
    auto* low = new COptionMenu(CRect(150, 190, 200, 200), &listener, 6);
    for (const char* e : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"})
        low->addEntry(e);
    frame.addView(low);
    press(frame, 160, 195);
    const CRect r = frame.getOpenPopup()->getRect();
    EXPECT_LE(r.bottom, 200);
    EXPECT_LE(r.right, 200);
    EXPECT_GE(r.top, 0);
}

} // namespace

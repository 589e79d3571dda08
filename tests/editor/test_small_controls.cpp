// The editor's small controls over a headless frame: tag matching, the
// hidden option menu, and the highlight overlay's outline.
#include <gtest/gtest.h>

#include "editor/CHiddenOptionMenu.h"
#include "editor/CHighlightView.h"
#include "tests/editor/editor_test_support.h"
#include "tests/gui/gui_test_support.h"

namespace {

using namespace guitest;

const CColor kPanel{20, 24, 30, 255};

// A plain control whose own tag is 0.
struct Plain : CKOControl {
    Plain() : CKOControl(CRect(0, 0, 5, 5), nullptr, 0, nullptr) {}
    void draw(CDrawContext*) override {}
    CView* newCopy() const override { return new Plain(*this); }
};

TEST(KOControl, TagZeroNeverMatchesAndTheClassNamesItself) {
    Plain plain;
    EXPECT_FALSE(plain.hasTag(0));
    plain.setTag(7);
    EXPECT_TRUE(plain.hasTag(7));
    EXPECT_FALSE(plain.hasTag(0));
    EXPECT_FALSE(plain.hasTag(8));
    EXPECT_TRUE(plain.isTypeOf("CKOControl"));
    EXPECT_TRUE(plain.isTypeOf("CControl"));
    EXPECT_FALSE(plain.isTypeOf("COptionMenu"));
}

class Overlay : public ::testing::Test {
  protected:
    Overlay() : listener(events), editor(events), frame(CRect(0, 0, 200, 100), nullptr, &editor) {
        resources.writeStrip(1, 200, 100, 1, [](int) { return kPanel; });
        CBitmap* background = new CBitmap(1);
        frame.setBackground(background);
        background->forget();
        overlay = new CMorvaneHighlightView(CRect(0, 0, 200, 100), &frame);
        frame.addView(overlay);
        knob = new CAnimKnob(CRect(20, 20, 60, 80), &listener, 1, 33, 60, nullptr);
        frame.addView(knob);
        pad = new ScriptedPad(CRect(100, 20, 160, 80));
        frame.addView(pad);
        frame.addView(
            new CAnimKnob(CRect(170, 20, 190, 40), &listener, 1, 33, 20, nullptr)); // same tag, later
        frame.idle();
    }

    ResourceFolder resources;
    EventLog events;
    Listener listener;
    EditorLog editor;
    CFrame frame;
    CMorvaneHighlightView* overlay;
    CAnimKnob* knob;
    ScriptedPad* pad;
};

TEST_F(Overlay, HighlightingATagOutlinesTheFirstControlCarryingItOnePixelOutside) {
    EXPECT_EQ(overlay->getHighlightColor(), (CColor{0, 255, 140, 200}));
    overlay->setHighlightControl(1, true);
    EXPECT_EQ(overlay->getPupilControl(), knob);
    EXPECT_EQ(overlay->getHighlightRectangle(), CRect(19, 19, 61, 81));
    frame.idle();

    // (0, 255, 140) at alpha 200 over the panel.
    const CColor outline = frame.getPixel(19, 50);
    EXPECT_NEAR(outline.red, 0 * 200 / 255.0 + 20 * 55 / 255.0, 1.0);
    EXPECT_NEAR(outline.green, 255 * 200 / 255.0 + 24 * 55 / 255.0, 1.0);
    EXPECT_NEAR(outline.blue, 140 * 200 / 255.0 + 30 * 55 / 255.0, 1.0);
    EXPECT_EQ(frame.getPixel(60, 50), outline);
    EXPECT_EQ(frame.getPixel(40, 19), outline);
    EXPECT_EQ(frame.getPixel(40, 80), outline);
    EXPECT_EQ(frame.getPixel(18, 50), kPanel);
    EXPECT_EQ(frame.getPixel(21, 50), kPanel);

    // A multi-value control is found by any of its tags, not its own.
    overlay->setHighlightControl(22, true);
    EXPECT_EQ(overlay->getPupilControl(), pad);
    EXPECT_EQ(overlay->getHighlightRectangle(), CRect(99, 19, 161, 81));
    overlay->setHighlightControl(519, true);
    overlay->setHighlightControl(1234, true); // nobody carries these: nothing changes
    EXPECT_EQ(overlay->getPupilControl(), pad);

    overlay->setHighlightControl(22, false);
    EXPECT_EQ(overlay->getPupilControl(), nullptr);
    frame.idle();
    EXPECT_EQ(frame.getPixel(19, 50), kPanel);
    EXPECT_EQ(frame.getPixel(99, 50), kPanel);
}

TEST_F(Overlay, DrawingLeavesThePenAsItWas) {
    overlay->setHighlightControl(1, true);
    CDrawContext* context = frame.createDrawContext();
    context->setLineWidth(3);
    context->setFrameColor(CColor{1, 2, 3, 4});
    overlay->draw(context);
    EXPECT_EQ(context->getLineWidth(), 3);
    EXPECT_EQ(context->getFrameColor(), (CColor{1, 2, 3, 4}));
    context->forget();

    // Without an editor in the frame the editor's overlay leaves the rectangle alone.
    CFrame bare(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* lonely = new CMorvaneHighlightView(CRect(0, 0, 100, 100), &bare);
    bare.addView(lonely);
    bare.addView(new CAnimKnob(CRect(20, 20, 60, 80), nullptr, 1, 33, 60, nullptr));
    lonely->setHighlightControl(1, true);
    EXPECT_NE(lonely->getPupilControl(), nullptr);
    EXPECT_EQ(lonely->getHighlightRectangle(), CRect());
    CHighlightView plain(CRect(0, 0, 1, 1), &bare);
    EXPECT_EQ(plain.getHighlightColor(), (CColor{255, 255, 255, 255}));
}

TEST_F(Overlay, HiddenMenuDrawsNothingButPopsUpAndChooses) {
    auto* menu = new CHiddenOptionMenu(CRect(5, 85, 36, 99), &listener, 25, nullptr, nullptr,
                                       kPopupStyle | kCheckStyle);
    for (const char* entry : {"- Nothing -", "Filter Frequency", "Filter Resonance"})
        menu->addEntry(entry);
    frame.addView(menu);
    frame.idle();
    for (CCoord x = 5; x < 36; ++x)
        ASSERT_EQ(frame.getPixel(x, 92), kPanel);

    press(frame, 10, 92);
    ASSERT_NE(frame.getOpenPopup(), nullptr);
    const CRect list = frame.getOpenPopup()->getRect();
    press(frame, list.left + 20, list.top + 3 + 2 * 18 + 9);
    EXPECT_EQ(menu->getCurrentIndex(), 2);
    EXPECT_EQ(events, (EventLog{"begin 25", "editor begin 25", "value 25 2", "editor end 25", "end 25"}));
}

} // namespace

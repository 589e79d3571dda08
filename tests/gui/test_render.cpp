// A headless frame rendered into its back buffer and to PNG, checked pixel
// by pixel at known points: bitmap frames chosen from values, dashes, text,
// the 2x pictures, retained redrawing and an open pop-up.
#include <gtest/gtest.h>

#include "tests/gui/gui_test_support.h"

namespace {

using namespace guitest;

const CColor kPanel{20, 24, 30, 255};
const CColor kOff{60, 60, 60, 255};
const CColor kOn{0, 255, 255, 255};

// A dashed horizontal line, as the motion pad draws its links.
struct DashedLine : CView {
    DashedLine() : CView(CRect(100, 70, 200, 90)) {}
    void draw(CDrawContext* c) override {
        c->setLineStyle(kLineOnOffDash);
        c->setLineWidth(2);
        c->setFrameColor(CColor{255, 255, 255, 255});
        c->moveTo(CPoint(100, 80));
        c->lineTo(CPoint(190, 80));
    }
};

class Render : public ::testing::Test {
  protected:
    Render() {
        resources.writeStrip(10, 200, 120, 1, [](int) { return kPanel; });
        resources.writeStrip(
            10, 200, 120, 1,
            [](int) {
                return CColor{200, 0, 0, 255};
            },
            2);
        resources.writeStrip(11, 40, 50, 33, knobFrameColour);
        resources.writeStrip(12, 30, 30, 2, [](int k) { return k ? kOn : kOff; });
    }

    ResourceFolder resources;
};

TEST_F(Render, BitmapFramesDashesAndTextLandWhereExpected) {
    CFrame frame(CRect(0, 0, 200, 120), nullptr, nullptr);
    {
        CBitmap* background = new CBitmap(10);
        frame.setBackground(background);
        background->forget();
    }
    CBitmap* knobStrip = new CBitmap(11);
    CBitmap* buttonStrip = new CBitmap(12);
    ASSERT_EQ(knobStrip->getHeight(), 33 * 50);
    auto* knob = new CAnimKnob(CRect(10, 10, 50, 60), nullptr, 1, 33, 50, knobStrip);
    auto* button = new CMovieButton(CRect(60, 10, 90, 40), nullptr, 2, buttonStrip);
    knobStrip->forget();
    buttonStrip->forget();
    auto* display = new CTextEdit(CRect(100, 20, 190, 40), nullptr, 3, "MORVANE 1.0");
    display->setTransparency(true);
    display->setFontColor(CColor{0, 255, 255, 255});
    display->setTxtFace(kBoldFace);
    frame.addView(knob);
    frame.addView(button);
    frame.addView(new DashedLine);
    frame.addView(display);
    knob->setValue(0.5f);
    button->setValue(1.0f);
    frame.idle();

    EXPECT_EQ(frame.getPixel(150, 110), kPanel);
    EXPECT_EQ(frame.getPixel(30, 35), knobFrameColour(16)); // round(0.5 * 32)
    EXPECT_EQ(frame.getPixel(11, 59), knobFrameColour(16)); // the frame fills the knob, no more
    EXPECT_EQ(frame.getPixel(30, 60), kPanel);
    EXPECT_EQ(frame.getPixel(75, 25), kOn); // the button's second frame

    // Dashes twice the line width long: on, off, on, off along the line.
    const CColor white{255, 255, 255, 255};
    EXPECT_EQ(frame.getPixel(102, 80), white);
    EXPECT_EQ(frame.getPixel(106, 80), kPanel);
    EXPECT_EQ(frame.getPixel(110, 80), white);
    EXPECT_EQ(frame.getPixel(114, 80), kPanel);
    EXPECT_EQ(frame.getPixel(150, 84), kPanel); // two pixels thick, no more

    int inked = 0;
    for (CCoord y = 20; y < 40; ++y)
        for (CCoord x = 100; x < 190; ++x)
            if (frame.getPixel(x, y).green > 100) ++inked;
    EXPECT_GT(inked, 60);          // the text is there...
    EXPECT_LT(inked, 90 * 20 / 2); // ...as glyphs, not a filled box

    // Retained drawing: a changed value shows after the next idle, not before.
    knob->setValue(1.0f);
    button->setValue(0.0f);
    EXPECT_EQ(frame.getPixel(30, 35), knobFrameColour(16));
    frame.idle();
    EXPECT_EQ(frame.getPixel(30, 35), knobFrameColour(32));
    EXPECT_EQ(frame.getPixel(75, 25), kOff);
}

TEST_F(Render, ScaleTwoPrefersTheDoubledPicturesAndFallsBackToTheNormalOnes) {
    SystemWindow window;
    window.scaleFactor = 2;
    CFrame frame(CRect(0, 0, 200, 120), &window, nullptr);
    ASSERT_EQ(cairo_image_surface_get_width(frame.getBackBuffer()), 400);
    CBitmap* background = new CBitmap(10);
    EXPECT_EQ(background->getWidth(), 200); // logical size
    frame.setBackground(background);
    background->forget();
    CBitmap* knobStrip = new CBitmap(11); // no @2x file
    auto* knob = new CAnimKnob(CRect(10, 10, 50, 60), nullptr, 1, 33, 50, knobStrip);
    knobStrip->forget();
    knob->setValue(0.25f);
    frame.addView(knob);
    frame.idle();
    EXPECT_EQ(frame.getPixel(150, 110), (CColor{200, 0, 0, 255}));
    EXPECT_EQ(frame.getPixel(30, 35), knobFrameColour(8));
}

TEST_F(Render, MissingBitmapDrawsNothingAndThePngHoldsWhatTheFrameShows) {
    CBitmap* missing = new CBitmap(99);
    EXPECT_FALSE(missing->isLoaded());
    EXPECT_EQ(missing->getWidth(), 0);
    CFrame frame(CRect(0, 0, 200, 120), nullptr, nullptr);
    CBitmap* background = new CBitmap(10);
    frame.setBackground(background);
    background->forget();
    frame.addView(new CMovieButton(CRect(60, 10, 90, 40), nullptr, 2, missing));
    missing->forget();
    auto* menu = new COptionMenu(CRect(10, 10, 50, 24), nullptr, 5);
    menu->addEntry("Filter Frequency");
    menu->addEntry("Delay Mix");
    frame.addView(menu);
    frame.idle();
    EXPECT_EQ(frame.getPixel(75, 35), kPanel); // the button without a picture
    press(frame, 20, 15);
    ASSERT_NE(frame.getOpenPopup(), nullptr);

    const std::string png = resources.file("frame.png");
    ASSERT_TRUE(frame.writePNG(png.c_str()));
    EXPECT_FALSE(frame.writePNG(resources.file("no/such/folder.png").c_str()));
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 200);
    cairo_surface_destroy(image);
    const CRect popup = frame.getOpenPopup()->getRect();
    EXPECT_EQ(frame.getPixel(popup.right - 3, popup.bottom - 2),
              (CColor{28, 31, 38, 255})); // the list's panel
}

} // namespace

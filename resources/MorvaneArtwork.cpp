#include "resources/MorvaneArtwork.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <stdexcept>
#include <string>

#include "params/MorvaneParameterManager.h"

namespace art {
namespace {

using MorvaneLayout::Control;
using MorvaneLayout::ControlKind;
using MorvaneLayout::Rect;

// ---- Palette: charcoal with a blue tint, one cyan accent, amber for the left pad.
constexpr Colour kWindowTop = rgb(0x161a20);
constexpr Colour kWindow = rgb(0x0e1014);
constexpr Colour kPanel = rgb(0x1a1e25);
constexpr Colour kPanelEdge = rgb(0x262b34);
constexpr Colour kWell = rgb(0x0a0c0f);
constexpr Colour kWellEdge = rgb(0x2b313a);
constexpr Colour kAccent = rgb(0x2fdcec);
constexpr Colour kAmber = rgb(0xffa033);
constexpr Colour kLabel = rgb(0xc6ced8);
constexpr Colour kHeading = rgb(0x8d98a5);
constexpr Colour kTitle = rgb(0xf2f5f8);
constexpr Colour kLegendOff = rgb(0x98a2ae);
constexpr Colour kFaceOff = rgb(0x22272e);
constexpr Colour kFaceOn = rgb(0x163a42);
constexpr Colour kFaceEdge = rgb(0x363d47);
constexpr Colour kSwitchFace = rgb(0x14171c);
constexpr Colour kMenuFace = rgb(0x12151a);
constexpr Colour kKnobTrack = rgb(0x2c323b);
constexpr Colour kKnobDisc = rgb(0x272c34);
constexpr Colour kKnobRim = rgb(0x3a414c);
constexpr Colour kPointer = rgb(0xf0f4f7);
constexpr Colour kHandleRim = rgb(0xf4f7fa);
constexpr Colour kInk = rgb(0x0d0f12);

// ---- Type.
constexpr TextStyle kLabelText{Face::CondensedBold, 9.0, 0.6, kLabel};
constexpr TextStyle kHeadingText{Face::CondensedBold, 9.0, 1.6, kHeading};
constexpr TextStyle kTitleText{Face::SansBold, 13.0, 3.0, kTitle};
// A sentence, not capitals between slashes: it describes, it does not offer
// places to click.
constexpr TextStyle kTaglineText{Face::Sans, 10.0, 0.2, kHeading};
constexpr TextStyle kHintText{Face::CondensedBold, 9.0, 0.5, kHeading};
constexpr TextStyle kLegendText{Face::CondensedBold, 9.0, 0.5, kLegendOff};
constexpr TextStyle kDisplayText{Face::SansBold, 10.0, 0.0, withAlpha(rgb(0x00ffff), 150.0 / 255.0)};

// ---- Geometry shared by the background and the control bitmaps (1x units).
constexpr double kLabelBaseline = 58.0; // below the top of a knob's rectangle
constexpr double kKnobCx = 25.0, kKnobCy = 29.0, kArcRadius = 21.5, kArcWidth = 3.5, kDiscRadius = 16.0;
constexpr double kArcStart = 0.75 * M_PI, kArcSweep = 1.5 * M_PI;
constexpr double kSwitchSegment = 20.0;
constexpr double kRangeTrackY = 11.0; // track centre below a range slider's top
constexpr int kPanelPadding = 10;

constexpr Rect kLeftColumn{10, 0, 245, 0};
constexpr Rect kRightColumn{483, 0, 717, 0};
struct Band {
    int top, bottom;
};
constexpr Band kTopBand{32, 190}, kMiddleBand{198, 312}, kBottomBand{320, 430};

const Control& control(int tag) {
    const Control* c = MorvaneLayout::findControl(tag);
    if (!c) throw std::logic_error("no control carries tag " + std::to_string(tag));
    return *c;
}

MorvaneParameterManager& parameters() {
    static MorvaneParameterManager p;
    return p;
}

std::string upper(std::string s) {
    for (char& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// The display text of a parameter at a normalised value, in capitals.
std::string valueName(int tag, float normalised) {
    char text[32] = {};
    parameters().getValueStringFromVSTvalue(tag, text, normalised, 16);
    return upper(text);
}

double centreX(const Rect& r) {
    return (r.left + r.right) / 2.0;
}

// Labels sit on the row of the knobs beside them: a control's label baseline is
// kLabelBaseline below the top of the knob whose rectangle shares its rows.
double labelBaseline(const Rect& r) {
    for (const Control& c : MorvaneLayout::kControls)
        if (c.kind == ControlKind::Knob && c.rect.top < r.bottom && r.top < c.rect.bottom)
            return c.rect.top + kLabelBaseline;
    throw std::logic_error("control without a knob row");
}

struct Label {
    int tag;
    const char* text;
};

// Every knob, button and switch is labelled beneath, centred on its rectangle.
constexpr Label kLabels[] = {
    {1, "FREQ"},   {2, "RESONANCE"}, {0, "TYPE"},     {3, "GAIN"},  {4, "DRIVE"}, {5, "BITCRUSH"},
    {6, "FILTER"}, {7, "L TIME"},    {8, "R TIME"},   {9, "REGEN"}, {10, "SYNC"}, {14, "DELAY"},
    {11, "WIDTH"}, {12, "MIX"},      {13, "EMULATE"}, {43, "LINK"}, {16, "MODE"}, {44, "KINETICS"},
    {15, "RATE"},  {17, "INPUT"},    {18, "OUTPUT"},
};

// ---- Small pieces.

void fillRounded(cairo_t* cr, double x, double y, double w, double h, double r, Colour fill, Colour edge) {
    roundedRect(cr, x + 0.5, y + 0.5, w - 1.0, h - 1.0, r);
    setColour(cr, fill);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, edge);
    cairo_stroke(cr);
}

void drawPanel(cairo_t* cr, const Rect& column, Band band, const char* heading, const Colour* dot) {
    fillRounded(cr, column.left, band.top, column.right - column.left, band.bottom - band.top, 6.0, kPanel,
                kPanelEdge);
    cairo_t* c = cr;
    const double baseline = band.top + 11.0;
    const double x = column.left + kPanelPadding;
    double textX = x;
    if (dot) {
        cairo_arc(c, x + 3.5, baseline - 3.3, 3.5, 0, 2 * M_PI);
        setColour(c, *dot);
        cairo_fill(c);
        textX += 11.0;
    }
    drawText(c, kHeadingText, heading, textX, baseline, Align::Left);
    // A hairline from the heading to the panel's edge.
    const double lineX = textX + textWidth(c, kHeadingText, heading) + 8.0;
    cairo_move_to(c, lineX, baseline - 3.0);
    cairo_line_to(c, column.right - kPanelPadding, baseline - 3.0);
    cairo_set_line_width(c, 1.0);
    setColour(c, kPanelEdge);
    cairo_stroke(c);
}

void drawPadWell(cairo_t* cr, const Rect& pad) {
    const double w = pad.width(), h = pad.height();
    // Bezel, then the well.
    fillRounded(cr, pad.left - 4, pad.top - 4, w + 8, h + 8, 5.0, rgb(0x161a20), kPanelEdge);
    cairo_rectangle(cr, pad.left, pad.top, w, h);
    setColour(cr, kWell);
    cairo_fill(cr);
    // Grid in eighths of the handles' travel, so a line is a value a handle's
    // centre can sit on; quarters and the centre a step brighter.
    const double half = MorvaneLayout::kPadHandleSize / 2.0;
    const double x0 = pad.left + half, y0 = pad.top + half;
    const double travel = w - MorvaneLayout::kPadHandleSize;
    cairo_set_line_width(cr, 1.0);
    for (int i = 1; i < 8; ++i) {
        const double o = std::round(travel * i / 8.0) + 0.5;
        const Colour line = i == 4 ? rgb(0x262c35) : i % 2 == 0 ? rgb(0x1c2128) : rgb(0x15191e);
        setColour(cr, line);
        cairo_move_to(cr, x0 + o - 0.5, pad.top + 1);
        cairo_line_to(cr, x0 + o - 0.5, pad.bottom - 1);
        cairo_stroke(cr);
        cairo_move_to(cr, pad.left + 1, y0 + o - 0.5);
        cairo_line_to(cr, pad.right - 1, y0 + o - 0.5);
        cairo_stroke(cr);
    }
    cairo_rectangle(cr, pad.left + 0.5, pad.top + 0.5, w - 1, h - 1);
    setColour(cr, kWellEdge);
    cairo_stroke(cr);
}

void drawDisplayRecess(cairo_t* cr, const Rect& r) {
    fillRounded(cr, r.left - 4, r.top - 4, r.width() + 8, r.height() + 8, 4.0, kWell, kWellEdge);
    // Inner shadow along the top edge.
    cairo_move_to(cr, r.left - 1, r.top - 2.5);
    cairo_line_to(cr, r.right + 1, r.top - 2.5);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, rgb(0x000000, 0.6));
    cairo_stroke(cr);
}

// The groove a range slider's handles ride on, in the side's colour, from the
// low handle's tip at value 0 to its tip at value 1.
void drawRangeTrack(cairo_t* cr, const Control& c, Colour side) {
    const Rect& r = c.rect;
    const double travel = r.width() - 2 * MorvaneLayout::kRangeHandleWidth;
    const double x0 = r.left + MorvaneLayout::kRangeHandleWidth - 0.5, x1 = x0 + travel + 1.0;
    const double y = r.top + kRangeTrackY;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x0, y);
    cairo_line_to(cr, x1, y);
    cairo_set_line_width(cr, 4.0);
    setColour(cr, kWell);
    cairo_stroke_preserve(cr);
    cairo_set_line_width(cr, 2.0);
    setColour(cr, withAlpha(side, 0.5));
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    // Ticks at the ends and the middle, below the groove.
    cairo_set_line_width(cr, 1.0);
    setColour(cr, rgb(0x3a414b));
    for (int i = 0; i <= 4; ++i) {
        const double x = std::round(x0 + (x1 - x0) * i / 4.0) + 0.5;
        cairo_move_to(cr, x, y + 6.0);
        cairo_line_to(cr, x, y + (i % 2 == 0 ? 9.0 : 8.0));
        cairo_stroke(cr);
    }
}

// A destination menu's face: the axis letter in the side's colour and a
// caret, so the hidden menu reads as a menu.
void drawMenuFace(cairo_t* cr, const Control& c, const char* axis, Colour side) {
    const Rect& r = c.rect;
    fillRounded(cr, r.left, r.top, r.width(), r.height(), 3.0, kMenuFace, rgb(0x323943));
    const double cap = capHeight(cr, kLabelText);
    const double baseline = r.top + (r.height() + cap) / 2.0;
    TextStyle letter = kLabelText;
    letter.colour = side;
    drawText(cr, letter, axis, r.left + 10.0, baseline, Align::Centre);
    const double cx = r.left + 22.5, cy = r.top + r.height() / 2.0 + 0.5;
    cairo_move_to(cr, cx - 3.0, cy - 1.5);
    cairo_line_to(cr, cx + 3.0, cy - 1.5);
    cairo_line_to(cr, cx, cy + 2.0);
    cairo_close_path(cr);
    setColour(cr, kLegendOff);
    cairo_fill(cr);
}

// The position names of a three-position switch, top to bottom, from the
// parameter's own texts (frame k shows normalised k / 2).
std::string switchPositionName(int tag, int frame) {
    return valueName(tag, static_cast<float>(frame) * 0.5f);
}

void drawSwitchFace(cairo_t* cr, const Control& c) {
    const Rect& r = c.rect;
    fillRounded(cr, r.left + 1, r.top + 1, r.width() - 2, r.height() - 2, 5.0, kSwitchFace, kFaceEdge);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, kFaceEdge);
    for (int k = 1; k < MorvaneLayout::kSwitchFrames; ++k) {
        cairo_move_to(cr, r.left + 2, r.top + k * kSwitchSegment + 0.5);
        cairo_line_to(cr, r.right - 2, r.top + k * kSwitchSegment + 0.5);
        cairo_stroke(cr);
    }
    const double cap = capHeight(cr, kLegendText);
    for (int k = 0; k < MorvaneLayout::kSwitchFrames; ++k)
        drawText(cr, kLegendText, switchPositionName(c.tag(), k), centreX(r),
                 r.top + k * kSwitchSegment + (kSwitchSegment + cap) / 2.0, Align::Centre);
}

void drawBackground(cairo_t* cr) {
    using namespace MorvaneLayout;
    // Window in two tones: a shade lighter at the top, darker towards the bottom.
    cairo_pattern_t* tone = cairo_pattern_create_linear(0, 0, 0, kWindowHeight);
    cairo_pattern_add_color_stop_rgb(tone, 0.0, kWindowTop.r, kWindowTop.g, kWindowTop.b);
    cairo_pattern_add_color_stop_rgb(tone, 1.0, kWindow.r, kWindow.g, kWindow.b);
    cairo_set_source(cr, tone);
    cairo_paint(cr);
    cairo_pattern_destroy(tone);

    // The mark: a miniature pad with its two handles, then the name.
    const double markX = kLeftColumn.left + kPanelPadding, markY = 14.5;
    roundedRect(cr, markX + 0.75, markY + 0.75, 12.5, 12.5, 3.0);
    cairo_set_line_width(cr, 1.5);
    setColour(cr, kHeading);
    cairo_stroke(cr);
    cairo_arc(cr, markX + 4.8, markY + 9.2, 2.2, 0, 2 * M_PI);
    setColour(cr, kAmber);
    cairo_fill(cr);
    cairo_arc(cr, markX + 9.2, markY + 4.8, 2.2, 0, 2 * M_PI);
    setColour(cr, kAccent);
    cairo_fill(cr);
    drawText(cr, kTitleText, "MORVANE", markX + 21.0, 26.0, Align::Left);
    drawText(cr, kTaglineText, "Stereo filter and delay, moved by two pads",
             kRightColumn.right - kPanelPadding, 25.5, Align::Right);

    drawPanel(cr, kLeftColumn, kTopBand, "FILTER", nullptr);
    drawPanel(cr, kRightColumn, kTopBand, "DELAY", nullptr);
    drawPanel(cr, kLeftColumn, kMiddleBand, "LEFT PAD", &kAmber);
    drawPanel(cr, kRightColumn, kMiddleBand, "RIGHT PAD", &kAccent);
    drawPanel(cr, kLeftColumn, kBottomBand, "MOTION", nullptr);
    drawPanel(cr, kRightColumn, kBottomBand, "LEVELS", nullptr);

    drawDisplayRecess(cr, control(kDisplayTag).rect);
    drawPadWell(cr, control(19).rect);

    static constexpr struct {
        int destinationTag, rangeTag;
        const char* axis;
        bool left;
    } kRows[] = {{25, 26, "X", true},  {28, 29, "Y", true},  {31, 32, "Z", true},
                 {34, 35, "X", false}, {37, 38, "Y", false}, {40, 41, "Z", false}};
    for (const auto& row : kRows) {
        const Colour side = row.left ? kAmber : kAccent;
        drawMenuFace(cr, control(row.destinationTag), row.axis, side);
        drawRangeTrack(cr, control(row.rangeTag), side);
    }

    // Column captions over the first row of each pad panel.
    for (int tag : {25, 34}) {
        const Rect& menu = control(tag).rect;
        const Rect& range = control(tag + 1).rect;
        const double y = range.top - 5.0;
        drawText(cr, kHintText, "TARGET", centreX(menu), y, Align::Centre);
        drawText(cr, kHintText, "RANGE", centreX(range), y, Align::Centre);
    }

    drawSwitchFace(cr, control(43));
    drawSwitchFace(cr, control(16));

    for (const Label& l : kLabels) {
        const Rect& r = control(l.tag).rect;
        drawText(cr, kLabelText, l.text, centreX(r), labelBaseline(r), Align::Centre);
    }

    // The version, bottom right of the levels panel, on the knob labels' row.
    drawText(cr, kHintText, "VERSION " MORVANE_VERSION, kRightColumn.right - kPanelPadding,
             labelBaseline(control(18).rect), Align::Right);

    // Under the pad: which colour is which pad, on the row of the Z sliders,
    // and how the pad is played.
    const Rect& pad = control(19).rect;
    const double cx = centreX(pad);
    const double legendY = control(32).rect.top + kRangeTrackY + capHeight(cr, kLabelText) / 2.0;
    const double leftW = textWidth(cr, kLabelText, "LEFT PAD"),
                 rightW = textWidth(cr, kLabelText, "RIGHT PAD");
    const double gap = 20.0, total = 11.0 + leftW + gap + 11.0 + rightW;
    double x = cx - total / 2.0;
    for (int i = 0; i < 2; ++i) {
        cairo_arc(cr, x + 4.0, legendY - 3.3, 4.0, 0, 2 * M_PI);
        setColour(cr, i == 0 ? kAmber : kAccent);
        cairo_fill(cr);
        drawText(cr, kLabelText, i == 0 ? "LEFT PAD" : "RIGHT PAD", x + 11.0, legendY, Align::Left);
        x += 11.0 + (i == 0 ? leftW : rightW) + gap;
    }
    const Rect centre{pad.left, 0, pad.right, 0};
    drawPanel(cr, centre, kBottomBand, "THE PAD", nullptr);
    static constexpr struct {
        const char* gesture;
        const char* effect;
    } kHints[] = {
        {"DRAG", "SWEEPS X AND Y"},         {"HOLD", "Z IS ON"},
        {"THROW", "DRIFTS, WITH KINETICS"}, {"CTRL-CLICK", "HANDLE: ERASE ITS TAKE"},
        {"", "MODE: ERASE BOTH"},           {"", "KINETICS: STOP DRIFT"},
    };
    const double keyX = pad.left + kPanelPadding, textX = keyX + 62.0;
    for (std::size_t i = 0; i < std::size(kHints); ++i) {
        const double y = kBottomBand.top + 30.0 + 13.0 * static_cast<double>(i);
        drawText(cr, kLabelText, kHints[i].gesture, keyX, y, Align::Left);
        drawText(cr, kHintText, kHints[i].effect, textX, y, Align::Left);
    }
}

// ---- Control bitmaps, each frame drawn at (0, frame top).

void drawKnob(cairo_t* cr, double top, double value) {
    const double cx = kKnobCx, cy = top + kKnobCy;
    const double angle = kArcStart + kArcSweep * value;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, kArcRadius, kArcStart, kArcStart + kArcSweep);
    cairo_set_line_width(cr, kArcWidth);
    setColour(cr, kKnobTrack);
    cairo_stroke(cr);
    if (value > 0.0) {
        cairo_arc(cr, cx, cy, kArcRadius, kArcStart, angle);
        strokeGlow(cr, kAccent, kArcWidth, 2.0, 0.18);
        cairo_set_line_width(cr, kArcWidth);
        setColour(cr, kAccent);
        cairo_stroke(cr);
    }
    // Disc with a soft drop shadow and a rim.
    cairo_arc(cr, cx, cy + 1.0, kDiscRadius + 1.0, 0, 2 * M_PI);
    setColour(cr, rgb(0x000000, 0.45));
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, kDiscRadius, 0, 2 * M_PI);
    setColour(cr, kKnobDisc);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, kKnobRim);
    cairo_stroke(cr);
    // Pointer.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, cx + std::cos(angle) * 5.0, cy + std::sin(angle) * 5.0);
    cairo_line_to(cr, cx + std::cos(angle) * (kDiscRadius - 2.5), cy + std::sin(angle) * (kDiscRadius - 2.5));
    cairo_set_line_width(cr, 2.5);
    setColour(cr, kPointer);
    cairo_stroke(cr);
}

enum class Legend { Power, Note, Text };

void drawPowerGlyph(cairo_t* cr, double cx, double cy, Colour c, bool glow) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, 6.0, -M_PI / 2.0 + 0.75, 1.5 * M_PI - 0.75);
    cairo_move_to(cr, cx, cy - 8.0);
    cairo_line_to(cr, cx, cy - 1.5);
    if (glow) strokeGlow(cr, c, 1.8, 3.0, 0.35);
    cairo_set_line_width(cr, 1.8);
    setColour(cr, c);
    cairo_stroke(cr);
}

void drawNoteGlyph(cairo_t* cr, double cx, double cy, Colour c, bool glow) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, cx - 2.0, cy + 4.0);
    cairo_rotate(cr, -0.38);
    cairo_scale(cr, 3.6, 2.6);
    cairo_arc(cr, 0, 0, 1.0, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_rectangle(cr, cx + 0.9, cy - 8.0, 1.5, 11.5);
    if (glow) strokeGlow(cr, c, 0.5, 3.0, 0.35);
    setColour(cr, c);
    cairo_fill(cr);
}

void drawButton(cairo_t* cr, double top, bool on, Legend legend, const std::string& text) {
    const double size = 40.0, inset = 3.5;
    const double x = inset, y = top + inset, w = size - 2 * inset, h = size - 2 * inset;
    if (on) {
        roundedRect(cr, x, y, w, h, 6.0);
        strokeGlow(cr, kAccent, 1.0, 2.5, 0.3);
        cairo_new_path(cr);
    }
    roundedRect(cr, x, y + 1.0, w, h, 6.0);
    setColour(cr, rgb(0x000000, 0.5));
    cairo_fill(cr);
    roundedRect(cr, x + 0.5, y + 0.5, w - 1.0, h - 1.0, 6.0);
    setColour(cr, on ? kFaceOn : kFaceOff);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, on ? withAlpha(kAccent, 0.85) : kFaceEdge);
    cairo_stroke(cr);
    // Lamp along the top of the face.
    roundedRect(cr, size / 2 - 6.0, y + 4.0, 12.0, 2.5, 1.25);
    setColour(cr, on ? kAccent : rgb(0x3b424c));
    cairo_fill(cr);

    const Colour ink = on ? kAccent : kLegendOff;
    const double cx = size / 2.0, cy = top + size / 2.0 + 2.5;
    switch (legend) {
    case Legend::Power:
        drawPowerGlyph(cr, cx, cy, ink, on);
        break;
    case Legend::Note:
        drawNoteGlyph(cr, cx, cy, ink, on);
        break;
    case Legend::Text: {
        TextStyle style = kLabelText;
        style.colour = ink;
        const double baseline = cy + capHeight(cr, style) / 2.0;
        if (on)
            drawGlowingText(cr, style, text, cx, baseline, Align::Centre, 0.35);
        else
            drawText(cr, style, text, cx, baseline, Align::Centre);
        break;
    }
    }
}

// A switch frame lights its own position: the segment's name in the accent on
// a lit face, drawn exactly over the grey name the background carries.
void drawSwitchFrame(cairo_t* cr, const Control& c, int frame) {
    const double top = frame * c.rect.height();
    const double segTop = top + frame * kSwitchSegment;
    roundedRect(cr, 3.0, segTop + 2.5, c.rect.width() - 6.0, kSwitchSegment - 4.0, 3.0);
    strokeGlow(cr, kAccent, 1.0, 2.0, 0.25);
    setColour(cr, kFaceOn);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    setColour(cr, withAlpha(kAccent, 0.85));
    cairo_stroke(cr);
    TextStyle lit = kLegendText;
    lit.colour = kAccent;
    const double cap = capHeight(cr, lit);
    drawGlowingText(cr, lit, switchPositionName(c.tag(), frame), c.rect.width() / 2.0,
                    segTop + (kSwitchSegment + cap) / 2.0, Align::Centre, 0.3);
}

void drawPadHandle(cairo_t* cr, Colour fill, const char* letter) {
    const double s = MorvaneLayout::kPadHandleSize, c = s / 2.0;
    cairo_arc(cr, c, c, c - 0.2, 0, 2 * M_PI);
    setColour(cr, rgb(0x000000, 0.55));
    cairo_fill(cr);
    cairo_arc(cr, c, c, 7.4, 0, 2 * M_PI);
    setColour(cr, fill);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.6);
    setColour(cr, withAlpha(kHandleRim, 0.95));
    cairo_stroke(cr);
    TextStyle t{Face::CondensedBold, 8.0, 0.0, kInk};
    drawText(cr, t, letter, c, c + capHeight(cr, t) / 2.0, Align::Centre);
}

// Range handles point at their value: the low one's tip is its right edge,
// the high one's its left edge, so a pair at the same value meets tip to tip.
void drawRangeHandle(cairo_t* cr, bool low) {
    const double w = MorvaneLayout::kRangeHandleWidth, y = kRangeTrackY;
    const double tip = low ? w - 0.6 : 0.6, base = low ? 1.0 : w - 1.0;
    cairo_move_to(cr, base, y - 7.0);
    cairo_line_to(cr, tip, y);
    cairo_line_to(cr, base, y + 7.0);
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 1.6);
    setColour(cr, rgb(0x000000, 0.8));
    cairo_stroke_preserve(cr);
    setColour(cr, rgb(0xe4eaf0));
    cairo_fill(cr);
}

} // namespace

std::string illegibleText() {
    // The display's colour is cyan at partial alpha; what the eye sees is it
    // laid over the well.
    const double a = kDisplayText.colour.a;
    const Colour display{kDisplayText.colour.r * a + kWell.r * (1 - a),
                         kDisplayText.colour.g * a + kWell.g * (1 - a),
                         kDisplayText.colour.b * a + kWell.b * (1 - a), 1.0};
    const struct {
        const char* what;
        Colour ink, ground;
    } pairs[] = {
        {"labels", kLabel, kPanel},
        {"headings and hints", kHeading, kPanel},
        {"tagline", kHeading, kWindowTop},
        {"product name", kTitle, kWindowTop},
        {"button legends", kLegendOff, kFaceOff},
        {"switch positions", kLegendOff, kSwitchFace},
        {"lit legends", kAccent, kFaceOn},
        {"left axis letters", kAmber, kMenuFace},
        {"right axis letters", kAccent, kMenuFace},
        {"display text", display, kWell},
    };
    std::string problems;
    for (const auto& p : pairs)
        if (contrast(p.ink, p.ground) < 4.5)
            problems += std::string(problems.empty() ? "" : ", ") + p.what + " (" +
                        std::to_string(contrast(p.ink, p.ground)) + " : 1)";
    return problems;
}

Surface drawResource(int id, int scale) {
    using namespace MorvaneLayout;
    const Resource* res = findResource(id);
    if (!res) throw std::invalid_argument("no bitmap resource " + std::to_string(id));
    Surface surface = newSurface(res->width, res->height(), scale);
    Context context = newContext(surface.get(), scale);
    cairo_t* cr = context.get();
    for (int frame = 0; frame < res->frames; ++frame) {
        const double top = frame * res->frameHeight;
        const bool on = frame == 1;
        switch (id) {
        case kBackgroundBitmap:
            drawBackground(cr);
            break;
        case kLeftHandleBitmap:
            drawPadHandle(cr, kAmber, "L");
            break;
        case kRightHandleBitmap:
            drawPadHandle(cr, kAccent, "R");
            break;
        case kRangeLowBitmap:
        case kRangeHighBitmap:
            drawRangeHandle(cr, id == kRangeLowBitmap);
            break;
        case kFilterOnOffBitmap:
        case kDelayOnOffBitmap:
        case kKineticsBitmap:
            drawButton(cr, top, on, Legend::Power, "");
            break;
        case kHostSyncBitmap:
            drawButton(cr, top, on, Legend::Note, "");
            break;
        case kEmulationBitmap:
            drawButton(cr, top, on, Legend::Text, valueName(13, on ? 1.0f : 0.0f));
            break;
        case kLinkModeBitmap:
            drawSwitchFrame(cr, control(43), frame);
            break;
        case kMotionModeBitmap:
            drawSwitchFrame(cr, control(16), frame);
            break;
        case kKnobBitmap:
            drawKnob(cr, top, static_cast<double>(frame) / (res->frames - 1));
            break;
        default:
            throw std::logic_error("no drawing for bitmap " + std::to_string(id));
        }
    }
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("drawing bitmap " + std::to_string(id) +
                                 " failed: " + cairo_status_to_string(cairo_status(cr)));
    return surface;
}

int frameForValue(const MorvaneLayout::Control& c, float value) {
    const MorvaneLayout::Resource* res = MorvaneLayout::findResource(c.bitmap);
    if (!res || res->frames < 2) return 0;
    if (c.kind == ControlKind::OnOffButton) return value > 0.5f ? 1 : 0;
    const float v = std::clamp(value, 0.0f, 1.0f);
    return static_cast<int>(std::lround(v * static_cast<float>(res->frames - 1)));
}

Surface composeWindow(const std::function<float(int)>& valueOf, const char* displayText, int scale) {
    using namespace MorvaneLayout;
    Surface window = drawResource(kBackgroundBitmap, scale);
    Context context(cairo_create(window.get()));
    cairo_t* cr = context.get();
    const double s = scale;
    std::map<int, Surface> bitmaps;
    auto blit = [&](int id, int frame, double x, double y) {
        Surface& bmp = bitmaps[id];
        if (!bmp) bmp = drawResource(id, scale);
        const Resource* res = findResource(id);
        cairo_save(cr);
        cairo_rectangle(cr, x * s, y * s, res->width * s, res->frameHeight * s);
        cairo_clip(cr);
        cairo_set_source_surface(cr, bmp.get(), x * s, (y - frame * res->frameHeight) * s);
        cairo_paint(cr);
        cairo_restore(cr);
    };
    for (const Control& c : kControls) {
        const Rect& r = c.rect;
        switch (c.kind) {
        case ControlKind::XYPad: {
            // Right handle first, the left one drawn over it, as the pad draws them.
            const int travel = r.width() - kPadHandleSize, rise = r.height() - kPadHandleSize;
            for (int h = 0; h < 2; ++h) {
                const float x = valueOf(c.tags[h * 3]), y = valueOf(c.tags[h * 3 + 1]);
                blit(h == 0 ? c.bitmap : c.bitmap2, 0, r.left + static_cast<int>(x * travel),
                     r.top + static_cast<int>((1.0f - y) * rise));
            }
            break;
        }
        case ControlKind::RangeSlider: {
            const float travel = static_cast<float>(r.width() - 2 * kRangeHandleWidth);
            blit(c.bitmap, 0, static_cast<int>(travel * valueOf(c.tags[0]) + r.left), r.top);
            blit(c.bitmap2, 0, static_cast<int>(travel * valueOf(c.tags[1]) + r.left + kRangeHandleWidth - 1),
                 r.top);
            break;
        }
        case ControlKind::Knob:
        case ControlKind::OnOffButton:
        case ControlKind::VerticalSwitch:
            blit(c.bitmap, frameForValue(c, valueOf(c.tag())), r.left, r.top);
            break;
        case ControlKind::Display: {
            Context text = newContext(window.get(), scale);
            drawText(text.get(), kDisplayText, displayText, r.left + 3.0, r.bottom - 3.5, Align::Left);
            break;
        }
        case ControlKind::DestinationMenu:
            break;
        }
    }
    return window;
}

} // namespace art

// The editor window's layout: every control's rectangle, the parameter tags it
// carries and the bitmaps that draw it, and the bitmap resources with their
// sizes. The editor builds its controls from this table and the bitmap
// generator draws labels around the same rectangles, so positions live here
// and nowhere else.
//
// Plain constexpr data: no dependency on the toolkit (the editor converts a
// Rect into its own rectangle type). Rectangles are in window pixels, left,
// top, right, bottom, right and bottom exclusive.
#pragma once

#include <array>
#include <cstddef>

namespace MorvaneLayout {

struct Rect {
    int left, top, right, bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool contains(const Rect& r) const {
        return r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom;
    }
};

// Bitmap resource ids; the toolkit finds id N as the bundle resource "bmp%05d".
enum BitmapId : int {
    kNoBitmap = 0,
    kBackgroundBitmap = 10000,
    kLeftHandleBitmap = 10002,
    kRightHandleBitmap = 10003,
    kRangeLowBitmap = 10004,
    kRangeHighBitmap = 10005,
    kFilterOnOffBitmap = 10006,
    kDelayOnOffBitmap = 10007,
    kHostSyncBitmap = 10008,
    kEmulationBitmap = 10009,
    kLinkModeBitmap = 10011,
    kMotionModeBitmap = 10012,
    kKineticsBitmap = 10013,
    kKnobBitmap = 10014,
};

// The window is the background bitmap's size. Every control lies within
// 707 x 420; the rest is margin, so the panels around the outermost controls
// have room for their labels.
inline constexpr int kWindowWidth = 727;
inline constexpr int kWindowHeight = 440;

// Handle bitmaps. The pad's travel is 220 - kPadHandleSize on both axes; a
// range slider is one pixel taller than its high handle and its travel is
// 149 - 2 x kRangeHandleWidth.
inline constexpr int kPadHandleSize = 18;
inline constexpr int kRangeHandleWidth = 10;
inline constexpr int kRangeHandleHeight = 20;

inline constexpr int kKnobFrames = 33;
inline constexpr int kButtonFrames = 2;
inline constexpr int kSwitchFrames = 3;

// A bitmap resource: frames are stacked vertically, each width x frameHeight.
struct Resource {
    int id;
    const char* picture;
    int width;
    int frameHeight;
    int frames;
    constexpr int height() const { return frameHeight * frames; }
};

inline constexpr std::array<Resource, 13> kResources{{
    {kBackgroundBitmap, "window background", kWindowWidth, kWindowHeight, 1},
    {kLeftHandleBitmap, "left pad handle", kPadHandleSize, kPadHandleSize, 1},
    {kRightHandleBitmap, "right pad handle", kPadHandleSize, kPadHandleSize, 1},
    {kRangeLowBitmap, "range slider low handle", kRangeHandleWidth, kRangeHandleHeight, 1},
    {kRangeHighBitmap, "range slider high handle", kRangeHandleWidth, kRangeHandleHeight, 1},
    {kFilterOnOffBitmap, "Filter On/Off button", 40, 40, kButtonFrames},
    {kDelayOnOffBitmap, "Delay On/Off button", 40, 40, kButtonFrames},
    {kHostSyncBitmap, "Host Sync button", 40, 40, kButtonFrames},
    {kEmulationBitmap, "Emulation button", 40, 40, kButtonFrames},
    {kLinkModeBitmap, "Link Mode switch", 40, 60, kSwitchFrames},
    {kMotionModeBitmap, "Motion Mode switch", 40, 60, kSwitchFrames},
    {kKineticsBitmap, "Kinetics button", 40, 40, kButtonFrames},
    {kKnobBitmap, "knob", 50, 60, kKnobFrames},
}};

// The index of resource id in kResources, or -1.
constexpr int resourceIndex(int id) {
    for (std::size_t i = 0; i < kResources.size(); ++i)
        if (kResources[i].id == id) return static_cast<int>(i);
    return -1;
}

constexpr const Resource* findResource(int id) {
    const int i = resourceIndex(id);
    return i < 0 ? nullptr : &kResources[static_cast<std::size_t>(i)];
}

enum class ControlKind { XYPad, RangeSlider, DestinationMenu, Knob, OnOffButton, VerticalSwitch, Display };

// One control. tags[0 .. tagCount-1] are the parameter ids it carries: the pad
// lists the right handle's X, Y, Z then the left handle's, a range slider its
// low then high bound. bitmap is the (first) picture, bitmap2 the second one
// where a control has two (the pad's left handle, a range slider's high
// handle).
struct Control {
    const char* name;
    ControlKind kind;
    std::array<int, 6> tags;
    int tagCount;
    Rect rect;
    int bitmap;
    int bitmap2;
    constexpr int tag() const { return tags[0]; }
};

inline constexpr int kDisplayTag = 46; // no parameter: the display only shows text

// In the order the editor creates them.
inline constexpr std::array<Control, 35> kControls{{
    {"motion pad",
     ControlKind::XYPad,
     {19, 20, 21, 22, 23, 24},
     6,
     {254, 50, 474, 270},
     kRightHandleBitmap,
     kLeftHandleBitmap},
    {"L X range",
     ControlKind::RangeSlider,
     {26, 27},
     2,
     {83, 231, 232, 232 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"L Y range",
     ControlKind::RangeSlider,
     {29, 30},
     2,
     {83, 256, 232, 257 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"L Z range",
     ControlKind::RangeSlider,
     {32, 33},
     2,
     {83, 281, 232, 282 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"R X range",
     ControlKind::RangeSlider,
     {35, 36},
     2,
     {503, 231, 652, 232 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"R Y range",
     ControlKind::RangeSlider,
     {38, 39},
     2,
     {503, 256, 652, 257 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"R Z range",
     ControlKind::RangeSlider,
     {41, 42},
     2,
     {503, 281, 652, 282 + kRangeHandleHeight},
     kRangeLowBitmap,
     kRangeHighBitmap},
    {"L X destination", ControlKind::DestinationMenu, {25}, 1, {39, 235, 70, 249}, kNoBitmap, kNoBitmap},
    {"L Y destination", ControlKind::DestinationMenu, {28}, 1, {39, 260, 70, 274}, kNoBitmap, kNoBitmap},
    {"L Z destination", ControlKind::DestinationMenu, {31}, 1, {39, 285, 70, 299}, kNoBitmap, kNoBitmap},
    {"R X destination", ControlKind::DestinationMenu, {34}, 1, {659, 235, 690, 249}, kNoBitmap, kNoBitmap},
    {"R Y destination", ControlKind::DestinationMenu, {37}, 1, {659, 260, 690, 274}, kNoBitmap, kNoBitmap},
    {"R Z destination", ControlKind::DestinationMenu, {40}, 1, {659, 285, 690, 299}, kNoBitmap, kNoBitmap},
    {"Filter Freq", ControlKind::Knob, {1}, 1, {20, 46, 70, 106}, kKnobBitmap, kNoBitmap},
    {"Filter Resonance", ControlKind::Knob, {2}, 1, {75, 46, 125, 106}, kKnobBitmap, kNoBitmap},
    {"Filter Type", ControlKind::Knob, {0}, 1, {130, 46, 180, 106}, kKnobBitmap, kNoBitmap},
    {"Filter Gain", ControlKind::Knob, {3}, 1, {185, 46, 235, 106}, kKnobBitmap, kNoBitmap},
    {"Saturation", ControlKind::Knob, {4}, 1, {75, 119, 125, 179}, kKnobBitmap, kNoBitmap},
    {"Bitcrush", ControlKind::Knob, {5}, 1, {130, 119, 180, 179}, kKnobBitmap, kNoBitmap},
    {"Motion Rate", ControlKind::Knob, {15}, 1, {185, 360, 235, 420}, kKnobBitmap, kNoBitmap},
    {"Left Delay Time", ControlKind::Knob, {7}, 1, {501, 46, 551, 106}, kKnobBitmap, kNoBitmap},
    {"Right Delay Time", ControlKind::Knob, {8}, 1, {556, 46, 606, 106}, kKnobBitmap, kNoBitmap},
    {"Regeneration", ControlKind::Knob, {9}, 1, {611, 46, 661, 106}, kKnobBitmap, kNoBitmap},
    {"Width", ControlKind::Knob, {11}, 1, {556, 119, 606, 179}, kKnobBitmap, kNoBitmap},
    {"Wet/Dry Mix", ControlKind::Knob, {12}, 1, {611, 119, 661, 179}, kKnobBitmap, kNoBitmap},
    {"Input Gain", ControlKind::Knob, {17}, 1, {501, 360, 551, 420}, kKnobBitmap, kNoBitmap},
    {"Output Gain", ControlKind::Knob, {18}, 1, {556, 360, 606, 420}, kKnobBitmap, kNoBitmap},
    {"Filter On/Off", ControlKind::OnOffButton, {6}, 1, {186, 126, 226, 166}, kFilterOnOffBitmap, kNoBitmap},
    {"Host Sync", ControlKind::OnOffButton, {10}, 1, {667, 50, 707, 90}, kHostSyncBitmap, kNoBitmap},
    {"Delay On/Off", ControlKind::OnOffButton, {14}, 1, {504, 126, 544, 166}, kDelayOnOffBitmap, kNoBitmap},
    {"Emulation", ControlKind::OnOffButton, {13}, 1, {667, 126, 707, 166}, kEmulationBitmap, kNoBitmap},
    {"Link Mode", ControlKind::VerticalSwitch, {43}, 1, {29, 346, 69, 406}, kLinkModeBitmap, kNoBitmap},
    {"Motion Mode", ControlKind::VerticalSwitch, {16}, 1, {83, 346, 123, 406}, kMotionModeBitmap, kNoBitmap},
    {"Kinetics", ControlKind::OnOffButton, {44}, 1, {136, 366, 176, 406}, kKineticsBitmap, kNoBitmap},
    {"display", ControlKind::Display, {kDisplayTag}, 1, {265, 15, 465, 29}, kNoBitmap, kNoBitmap},
}};

// The first control carrying tag, or null.
constexpr const Control* findControl(int tag) {
    for (const Control& c : kControls)
        for (int i = 0; i < c.tagCount; ++i)
            if (c.tags[static_cast<std::size_t>(i)] == tag) return &c;
    return nullptr;
}

// The table must agree with itself: every control inside the window, and
// every single-bitmap control exactly one frame of its bitmap in size.
constexpr bool layoutIsConsistent() {
    const Rect window{0, 0, kWindowWidth, kWindowHeight};
    for (const Control& c : kControls) {
        if (!c.name || c.tagCount < 1) return false; // an entry left out of the list
        if (!window.contains(c.rect) || c.rect.right > 707 || c.rect.bottom > 420) return false;
        const bool framed = c.kind == ControlKind::Knob || c.kind == ControlKind::OnOffButton ||
                            c.kind == ControlKind::VerticalSwitch;
        if (!framed) continue;
        const int i = resourceIndex(c.bitmap);
        if (i < 0) return false;
        const Resource& r = kResources[static_cast<std::size_t>(i)];
        if (r.width != c.rect.width() || r.frameHeight != c.rect.height()) return false;
    }
    for (const Control& c : kControls)
        if (c.kind == ControlKind::RangeSlider && c.rect.height() != kRangeHandleHeight + 1) return false;
    return kWindowWidth >= 707 && kWindowHeight >= 420;
}
static_assert(layoutIsConsistent(), "editor layout and bitmap sizes disagree");

} // namespace MorvaneLayout

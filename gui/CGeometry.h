// The toolkit's value types: points, rectangles and colours in frame
// coordinates (logical pixels; a frame drawn at scale 2 has twice as many
// device pixels), the mouse button word and the answers to mouse events.
// Plain values: usable on any thread.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

typedef int32_t CCoord;

struct CPoint {
    CCoord h = 0;
    CCoord v = 0;

    CPoint() = default;
    CPoint(CCoord horizontal, CCoord vertical) : h(horizontal), v(vertical) {}

    CPoint& offset(CCoord dh, CCoord dv) {
        h += dh;
        v += dv;
        return *this;
    }
    bool operator==(const CPoint&) const = default;
};

// Left and top are inside the rectangle, right and bottom are the first
// column and row outside it.
struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    CRect() = default;
    CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}

    CCoord width() const { return right - left; }
    CCoord height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(CCoord dh, CCoord dv) {
        left += dh;
        right += dh;
        top += dv;
        bottom += dv;
        return *this;
    }
    // Grows the rectangle by dh and dv on every side (negative values shrink it).
    CRect& extend(CCoord dh, CCoord dv) {
        left -= dh;
        right += dh;
        top -= dv;
        bottom += dv;
        return *this;
    }
    CRect& moveTo(CCoord l, CCoord t) { return offset(l - left, t - top); }

    bool pointInside(const CPoint& p) const {
        return p.h >= left && p.h < right && p.v >= top && p.v < bottom;
    }
    bool rectOverlap(const CRect& r) const {
        return !isEmpty() && !r.isEmpty() && r.left < right && r.right > left && r.top < bottom &&
               r.bottom > top;
    }
    // The smallest rectangle holding both (an empty one adds nothing).
    CRect& unite(const CRect& r) {
        if (r.isEmpty()) return *this;
        if (isEmpty()) return *this = r;
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        return *this;
    }
    // The part inside r (empty when they do not overlap).
    CRect& bound(const CRect& r) {
        left = std::max(left, r.left);
        top = std::max(top, r.top);
        right = std::max(left, std::min(right, r.right));
        bottom = std::max(top, std::min(bottom, r.bottom));
        return *this;
    }
    bool operator==(const CRect&) const = default;
};

struct CColor {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    unsigned char alpha = 255;

    bool operator==(const CColor&) const = default;
};

inline CColor MakeCColor(unsigned char red, unsigned char green, unsigned char blue,
                         unsigned char alpha = 255) {
    return CColor{red, green, blue, alpha};
}

// The button word handed to every mouse event. On Linux Ctrl stands for the
// command key and Alt for option; nothing produces kControlKey (a Control-click
// would be reported as a right click).
enum CButton : long {
    kLButton = 1 << 1,
    kMButton = 1 << 2,
    kRButton = 1 << 3,
    kShift = 1 << 4,
    kCommand = 1 << 5,
    kOption = 1 << 6,
    kControlKey = 1 << 7,
    kModifierKeys = kShift | kCommand | kOption | kControlKey,
};

// The answer of a view to a mouse-down (and to moves and releases).
enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled = 1,
    kMouseEventNotHandled = 2,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents = 3,
};

} // namespace VSTGUI

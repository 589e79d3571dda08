// How a frame reaches the screen: the system window a frame is created in,
// and the back end that shows the frame's back buffer there.
#pragma once

#include "gui/CGeometry.h"

namespace VSTGUI {

class CFrame;
class COptionMenuPopup;

// What the system-window pointer handed to a frame (and to an editor's open)
// points to. A null system window means headless at scale 1.
struct SystemWindow {
    enum Kind {
        kHeadless,    // no window: drawn into the back buffer only (PNG, tests)
        kX11TopLevel, // a top-level X11 window of its own
        kX11Embedded, // a child of the X11 window `parent` (a host's window)
    };
    Kind kind = kHeadless;
    unsigned long parent = 0;      // X11 window id, for kX11Embedded
    int scaleFactor = 1;           // device pixels per logical pixel: 1 or 2
    const char* title = nullptr;   // top-level window title
    const char* display = nullptr; // X11 display name; null for $DISPLAY
};

// A frame's back end. Every operation runs on the user-interface thread.
class CPlatformFrame {
  public:
    virtual ~CPlatformFrame() = default;

    // Copies rect (frame coordinates) of the frame's back buffer to the screen.
    virtual void present(const CRect& rect) = 0;
    // Handles at most one pending expose (window update) event; true if one was
    // handled.
    virtual bool dispatchPendingExpose() = 0;

    // The area a pop-up menu must stay inside, in frame coordinates.
    virtual CRect getPopupBounds() const = 0;
    // Shows popup in a window of its own and feeds it the mouse (true), or
    // declines (false), in which case the frame draws the pop-up over itself
    // and routes the mouse to it.
    virtual bool showPopup(COptionMenuPopup* popup) { return false; }
    // The shown pop-up changed its look / is gone.
    virtual void updatePopup() {}
    virtual void hidePopup() {}

    // The native window (an X11 window id; 0 when headless), and moving it
    // within its parent.
    virtual unsigned long getNativeView() const { return 0; }
    virtual void setNativeViewPosition(int x, int y) {}
    // Whether the user asked the window manager to close a top-level window.
    virtual bool isCloseRequested() const { return false; }
};

// The X11 back end for frame, or null when no window can be made there
// (no display); defined only in builds with X11.
CPlatformFrame* createX11PlatformFrame(CFrame* frame, const SystemWindow& window);

} // namespace VSTGUI

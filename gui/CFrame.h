// The frame: the root of an editor's views. It owns its child views and draws
// them in the order they were added into a back buffer, which its back end
// shows in an X11 window (top-level or embedded in a host's window) or keeps
// for PNG output (headless). It dispatches the mouse, keeps the focus, the
// view under the mouse and the mouse location, and forwards edit gestures to
// its editor.
//
// Headless frames are what tests and snapshots use: the mouse is injected by
// calling onMouseDown / onMouseMoved / onMouseUp with the button word, and
// timers run on a test clock (UIEventLoop).
#pragma once

#include <cairo.h>
#include <memory>
#include <vector>

#include "gui/CPlatformFrame.h"
#include "gui/CView.h"

namespace VSTGUI {

class COptionMenu;
class COptionMenuPopup;
class VSTGUIEditorInterface;

class CFrame : public CView {
  public:
    // User-interface thread: a frame of size (its left and top are the
    // window's origin) in systemWindow, a SystemWindow* (null for headless at
    // scale 1), for editor (not owned; may be null). An X11 window that cannot
    // be made (no display) leaves the frame headless.
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
    // User-interface thread: closes the window and destroys the child views
    // (each loses the reference the frame took over in addView).
    ~CFrame() override;

    // User-interface thread: the picture drawn under every view.
    void setBackground(CBitmap* background) override;
    // User-interface thread: adds view on top of the views added before; the
    // frame takes over the caller's reference.
    bool addView(CView* view);
    long getNbViews() const { return static_cast<long>(views.size()); }
    CView* getView(long index) const;
    // User-interface thread: the topmost view containing the mouse location
    // (mouse-enabled or not); the frame itself over no view, null when the
    // mouse is outside.
    CView* getCurrentView() const;
    // User-interface thread: the mouse location last seen, in frame coordinates.
    void getCurrentLocation(CPoint& where) const { where = mouseLocation; }
    // User-interface thread: the view that has the focus (the last control
    // edited), or null.
    void setFocusView(CView* view) { focusView = view; }
    CView* getFocusView() const { return focusView; }
    // User-interface thread: forwarded to the editor's beginEdit / endEdit.
    void beginEdit(long tag);
    void endEdit(long tag);
    VSTGUIEditorInterface* getEditor() const { return editor; }

    // User-interface thread: marks rect for redrawing by the next idle.
    bool invalidate(const CRect& rect);
    // User-interface thread: redraws what is dirty (invalidated rectangles and
    // dirty views) into the back buffer and shows it.
    void idle();
    // User-interface thread: redraws everything (with no context) or rect
    // into context (the frame's own back buffer when null) and shows it.
    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect);
    // User-interface thread: a draw context over the frame's back buffer; the
    // caller forgets it.
    CDrawContext* createDrawContext();

    // User-interface thread: mouse dispatch. A press goes to the topmost
    // mouse-enabled child containing the point; a control with a listener
    // pressed with a modifier key first asks its listener's
    // controlModifierClicked, and a non-zero answer ends the click. A child
    // answering "handled" receives the moves until the release; "not handled"
    // or "not implemented" passes the press to the views beneath. While a
    // pop-up menu is open inside the frame, the mouse goes to it.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    // User-interface thread: the mouse left the window.
    void onMouseExited();

    // User-interface thread: pops menu's list up at where (a mouse-down point);
    // any open pop-up closes first.
    void openPopupMenu(COptionMenu* menu, const CPoint& where);
    // User-interface thread: mouse events for the open pop-up, in frame
    // coordinates (the X11 back end sends its pop-up window's events here).
    void popupPress(const CPoint& where);
    void popupMove(const CPoint& where);
    void popupRelease(const CPoint& where);
    void closePopupMenu();
    COptionMenuPopup* getOpenPopup() const { return popup.get(); }

    // User-interface thread: the back end and what it offers.
    double getScaleFactor() const { return scaleFactor; }
    bool isHeadless() const { return !platform; }
    CPlatformFrame* getPlatformFrame() const { return platform.get(); }
    unsigned long getNativeView() const;
    void setNativeViewPosition(int x, int y);
    bool isCloseRequested() const;
    // User-interface thread: handles at most one pending expose event.
    bool dispatchPendingExpose();

    // User-interface thread: the back buffer (device pixels), a pixel of it at
    // a logical point (the top-left device pixel of that point), and PNG output
    // after redrawing what is dirty. writePNG answers false when the file
    // cannot be written.
    cairo_surface_t* getBackBuffer() const { return backBuffer; }
    CColor getPixel(CCoord x, CCoord y);
    bool writePNG(const char* path);

    bool isTypeOf(const char* className) const override;

  private:
    void redraw(CDrawContext* context, const CRect& area);
    void present(const CRect& area);

    VSTGUIEditorInterface* editor;
    std::vector<CView*> views;
    CView* focusView = nullptr;
    CView* mouseDownView = nullptr;
    CPoint mouseLocation{-1, -1};
    CRect dirtyArea;
    double scaleFactor = 1.0;
    cairo_surface_t* backBuffer = nullptr;
    std::unique_ptr<COptionMenuPopup> popup;
    bool popupInFrame = false;
    std::unique_ptr<CPlatformFrame> platform;
};

} // namespace VSTGUI

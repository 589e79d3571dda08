// The X11 back end of a frame: a window (top-level, or a child of a host's
// window) with a Cairo surface that shows the frame's back buffer, its own
// display connection read by the user-interface event loop, and pop-up menu
// windows. Everything here runs on the user-interface thread.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"
#include "gui/CPlatformFrame.h"
#include "gui/CVSTGUITimer.h"
#include "gui/X11Events.h"

namespace VSTGUI {

long buttonWordForPress(unsigned int button, unsigned int state) {
    long word = 0;
    if (button == Button1) word |= kLButton;
    if (button == Button2) word |= kMButton;
    if (button == Button3) word |= kRButton;
    if (state & ShiftMask) word |= kShift;
    if (state & ControlMask) word |= kCommand;
    if (state & Mod1Mask) word |= kOption;
    return word;
}

long buttonWordForMotion(unsigned int state) {
    long word = buttonWordForPress(0, state);
    if (state & Button1Mask) word |= kLButton;
    if (state & Button2Mask) word |= kMButton;
    if (state & Button3Mask) word |= kRButton;
    return word;
}

namespace {

class X11Frame : public CPlatformFrame, public UIEventLoop::EventSource {
  public:
    X11Frame(CFrame* owner, Display* connection, const SystemWindow& descriptor);
    ~X11Frame() override;

    void present(const CRect& rect) override;
    bool dispatchPendingExpose() override;
    CRect getPopupBounds() const override;
    bool showPopup(COptionMenuPopup* popup) override;
    void updatePopup() override;
    void hidePopup() override;
    unsigned long getNativeView() const override { return window; }
    void setNativeViewPosition(int x, int y) override;
    bool isCloseRequested() const override { return closeRequested; }

    int getFileDescriptor() const override { return ConnectionNumber(display); }
    void processEvents() override;

  private:
    void handle(XEvent& event);
    void handlePopupEvent(XEvent& event);
    void expose(const XExposeEvent& event);
    CPoint toFrame(int x, int y) const {
        return CPoint(static_cast<CCoord>(x / scale), static_cast<CCoord>(y / scale));
    }
    void drawPopup();

    CFrame* frame;
    Display* display;
    Window window = 0;
    cairo_surface_t* surface = nullptr;
    Atom deleteWindow = 0;
    double scale;
    CRect pendingExpose;
    bool closeRequested = false;

    COptionMenuPopup* popup = nullptr;
    Window popupWindow = 0;
    cairo_surface_t* popupSurface = nullptr;
};

X11Frame::X11Frame(CFrame* owner, Display* connection, const SystemWindow& descriptor)
    : frame(owner), display(connection), scale(owner->getScaleFactor()) {
    const int screen = DefaultScreen(display);
    const CRect& size = owner->getViewSize();
    const unsigned width = static_cast<unsigned>(size.width() * scale);
    const unsigned height = static_cast<unsigned>(size.height() * scale);
    const Window parent = descriptor.kind == SystemWindow::kX11Embedded && descriptor.parent
                              ? static_cast<Window>(descriptor.parent)
                              : RootWindow(display, screen);
    window = XCreateSimpleWindow(display, parent, 0, 0, width, height, 0, BlackPixel(display, screen),
                                 BlackPixel(display, screen));
    XSetWindowBackgroundPixmap(display, window, None);
    XSelectInput(display, window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                     StructureNotifyMask);
    if (descriptor.kind == SystemWindow::kX11TopLevel) {
        XStoreName(display, window, descriptor.title ? descriptor.title : "");
        deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &deleteWindow, 1);
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = static_cast<int>(width);
        hints->min_height = hints->max_height = static_cast<int>(height);
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }
    surface = cairo_xlib_surface_create(display, window, DefaultVisual(display, screen),
                                        static_cast<int>(width), static_cast<int>(height));
    cairo_surface_set_device_scale(surface, scale, scale);
    XMapWindow(display, window);
    XFlush(display);
    UIEventLoop::get().addEventSource(this);
}

X11Frame::~X11Frame() {
    UIEventLoop::get().removeEventSource(this);
    hidePopup();
    cairo_surface_destroy(surface);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

void X11Frame::present(const CRect& rect) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, frame->getBackBuffer(), 0, 0);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    XFlush(display);
}

void X11Frame::expose(const XExposeEvent& event) {
    // Exposed device pixels, widened to whole logical pixels.
    const CCoord left = static_cast<CCoord>(event.x / scale);
    const CCoord top = static_cast<CCoord>(event.y / scale);
    const CCoord right = static_cast<CCoord>((event.x + event.width + scale - 1) / scale);
    const CCoord bottom = static_cast<CCoord>((event.y + event.height + scale - 1) / scale);
    pendingExpose.unite(CRect(left, top, right, bottom));
    if (event.count > 0) return;
    const CRect area = pendingExpose;
    pendingExpose = CRect();
    present(area);
}

bool X11Frame::dispatchPendingExpose() {
    XEvent event;
    if (!XCheckTypedWindowEvent(display, window, Expose, &event)) return false;
    expose(event.xexpose);
    return true;
}

CRect X11Frame::getPopupBounds() const {
    int rootX = 0, rootY = 0;
    Window child;
    const int screen = DefaultScreen(display);
    XTranslateCoordinates(display, window, RootWindow(display, screen), 0, 0, &rootX, &rootY, &child);
    return CRect(static_cast<CCoord>(-rootX / scale), static_cast<CCoord>(-rootY / scale),
                 static_cast<CCoord>((DisplayWidth(display, screen) - rootX) / scale),
                 static_cast<CCoord>((DisplayHeight(display, screen) - rootY) / scale));
}

bool X11Frame::showPopup(COptionMenuPopup* menuPopup) {
    hidePopup();
    popup = menuPopup;
    const int screen = DefaultScreen(display);
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(display, window, RootWindow(display, screen), 0, 0, &rootX, &rootY, &child);
    const CRect& rect = popup->getRect();
    const int width = static_cast<int>(rect.width() * scale);
    const int height = static_cast<int>(rect.height() * scale);
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    attributes.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
    popupWindow =
        XCreateWindow(display, RootWindow(display, screen), rootX + static_cast<int>(rect.left * scale),
                      rootY + static_cast<int>(rect.top * scale), static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWEventMask, &attributes);
    popupSurface =
        cairo_xlib_surface_create(display, popupWindow, DefaultVisual(display, screen), width, height);
    cairo_surface_set_device_scale(popupSurface, scale, scale);
    XMapRaised(display, popupWindow);
    // Every click, inside the list or not, comes to the pop-up until it closes.
    XGrabPointer(display, popupWindow, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(display, popupWindow, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    drawPopup();
    return true;
}

void X11Frame::drawPopup() {
    if (!popup || !popupSurface) return;
    cairo_t* cr = cairo_create(popupSurface);
    cairo_translate(cr, -popup->getRect().left, -popup->getRect().top);
    CDrawContext* context = new CDrawContext(cr, scale);
    popup->draw(context);
    context->forget();
    cairo_destroy(cr);
    cairo_surface_flush(popupSurface);
    XFlush(display);
}

void X11Frame::updatePopup() {
    drawPopup();
}

void X11Frame::hidePopup() {
    if (!popupWindow) return;
    XUngrabPointer(display, CurrentTime);
    XUngrabKeyboard(display, CurrentTime);
    cairo_surface_destroy(popupSurface);
    popupSurface = nullptr;
    XDestroyWindow(display, popupWindow);
    popupWindow = 0;
    popup = nullptr;
    XFlush(display);
}

void X11Frame::setNativeViewPosition(int x, int y) {
    XMoveWindow(display, window, x, y);
    XFlush(display);
}

void X11Frame::processEvents() {
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (popupWindow && event.xany.window == popupWindow)
            handlePopupEvent(event);
        else if (event.xany.window == window)
            handle(event);
    }
    frame->idle();
}

void X11Frame::handle(XEvent& event) {
    switch (event.type) {
    case Expose:
        expose(event.xexpose);
        break;
    case ButtonPress:
    case ButtonRelease: {
        if (event.xbutton.button > Button3) break; // wheel
        CPoint where = toFrame(event.xbutton.x, event.xbutton.y);
        const long buttons = buttonWordForPress(event.xbutton.button, event.xbutton.state);
        if (event.type == ButtonPress)
            frame->onMouseDown(where, buttons);
        else
            frame->onMouseUp(where, buttons);
        break;
    }
    case MotionNotify: {
        // Only the latest position of a run of moves matters; the run ends at
        // any other event, so no move jumps ahead of a press or a release.
        XEvent next;
        while (XPending(display) > 0) {
            XPeekEvent(display, &next);
            if (next.type != MotionNotify || next.xany.window != window) break;
            XNextEvent(display, &event);
        }
        CPoint where = toFrame(event.xmotion.x, event.xmotion.y);
        frame->onMouseMoved(where, buttonWordForMotion(event.xmotion.state));
        break;
    }
    case LeaveNotify:
        if (!(event.xcrossing.state & (Button1Mask | Button2Mask | Button3Mask))) frame->onMouseExited();
        break;
    case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) closeRequested = true;
        break;
    default:
        break;
    }
}

void X11Frame::handlePopupEvent(XEvent& event) {
    const CRect& rect = popup->getRect();
    auto inFrame = [&](int x, int y) {
        return CPoint(rect.left + static_cast<CCoord>(x / scale), rect.top + static_cast<CCoord>(y / scale));
    };
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) drawPopup();
        break;
    case ButtonPress:
        if (event.xbutton.button <= Button3) frame->popupPress(inFrame(event.xbutton.x, event.xbutton.y));
        break;
    case ButtonRelease:
        if (event.xbutton.button <= Button3) frame->popupRelease(inFrame(event.xbutton.x, event.xbutton.y));
        break;
    case MotionNotify:
        frame->popupMove(inFrame(event.xmotion.x, event.xmotion.y));
        break;
    case KeyPress:
        if (XLookupKeysym(&event.xkey, 0) == XK_Escape) frame->closePopupMenu();
        break;
    default:
        break;
    }
}

} // namespace

CPlatformFrame* createX11PlatformFrame(CFrame* frame, const SystemWindow& window) {
    Display* display = XOpenDisplay(window.display);
    if (!display) return nullptr;
    return new X11Frame(frame, display, window);
}

} // namespace VSTGUI

#include "gui/CFrame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/COptionMenu.h"
#include "gui/VSTGUIEditorInterface.h"

namespace VSTGUI {

CFrame::CFrame(const CRect& rect, void* systemWindow, VSTGUIEditorInterface* frameEditor)
    : CView(CRect(0, 0, rect.width(), rect.height())), editor(frameEditor) {
    SystemWindow window;
    if (systemWindow) window = *static_cast<const SystemWindow*>(systemWindow);
    scaleFactor = window.scaleFactor >= 2 ? 2.0 : 1.0;
    backBuffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, size.width()) * int(scaleFactor),
                                            std::max(1, size.height()) * int(scaleFactor));
    cairo_surface_set_device_scale(backBuffer, scaleFactor, scaleFactor);
    dirtyArea = size;
    if (window.kind != SystemWindow::kHeadless) platform.reset(createX11PlatformFrame(this, window));
}

CFrame::~CFrame() {
    closePopupMenu();
    platform.reset();
    std::vector<CView*> children;
    children.swap(views);
    for (CView* view : children) {
        view->setFrame(nullptr);
        view->forget();
    }
    cairo_surface_destroy(backBuffer);
}

void CFrame::setBackground(CBitmap* background) {
    CView::setBackground(background);
    invalidate(size);
}

bool CFrame::addView(CView* view) {
    if (!view) return false;
    views.push_back(view);
    view->setFrame(this);
    invalidate(view->getViewSize());
    return true;
}

CView* CFrame::getView(long index) const {
    return index >= 0 && index < getNbViews() ? views[static_cast<std::size_t>(index)] : nullptr;
}

CView* CFrame::getCurrentView() const {
    if (!size.pointInside(mouseLocation)) return nullptr;
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->getViewSize().pointInside(mouseLocation)) return *it;
    return const_cast<CFrame*>(this);
}

void CFrame::beginEdit(long tag) {
    if (editor) editor->beginEdit(tag);
}

void CFrame::endEdit(long tag) {
    if (editor) editor->endEdit(tag);
}

bool CFrame::invalidate(const CRect& rect) {
    CRect area = rect;
    area.bound(size);
    dirtyArea.unite(area);
    return true;
}

void CFrame::idle() {
    for (CView* view : views)
        if (view->isDirty()) dirtyArea.unite(CRect(view->getViewSize()).bound(size));
    if (dirtyArea.isEmpty()) return;
    const CRect area = dirtyArea;
    dirtyArea = CRect();
    CDrawContext* context = createDrawContext();
    redraw(context, area);
    context->forget();
    present(area);
}

void CFrame::draw(CDrawContext* context) {
    drawRect(context, size);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
    CRect area = updateRect;
    area.bound(size);
    if (area.isEmpty()) return;
    if (context) {
        redraw(context, area);
        if (cairo_get_target(context->getCairo()) == backBuffer) present(area);
        return;
    }
    CDrawContext* own = createDrawContext();
    redraw(own, area);
    own->forget();
    present(area);
}

CDrawContext* CFrame::createDrawContext() {
    cairo_t* cr = cairo_create(backBuffer);
    CDrawContext* context = new CDrawContext(cr, scaleFactor);
    cairo_destroy(cr);
    return context;
}

void CFrame::redraw(CDrawContext* context, const CRect& area) {
    context->setClipRect(area);
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_fill(cr);
    cairo_restore(cr);
    if (pBackground) pBackground->draw(context, size);
    for (CView* view : views) {
        if (!view->getViewSize().rectOverlap(area)) continue;
        view->draw(context);
        view->setDirty(false);
    }
    if (popup && popupInFrame && popup->getRect().rectOverlap(area)) popup->draw(context);
    context->resetClipRect();
}

void CFrame::present(const CRect& area) {
    cairo_surface_flush(backBuffer);
    if (platform) platform->present(area);
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const long& buttons) {
    mouseLocation = where;
    if (popup && popupInFrame) {
        popupPress(where);
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    mouseDownView = nullptr;
    // A copy: a child may add views while it handles the press.
    const std::vector<CView*> children = views;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* view = *it;
        if (!view->getMouseEnabled() || !view->getViewSize().pointInside(where)) continue;
        if (buttons & kModifierKeys) {
            CControl* control = dynamic_cast<CControl*>(view);
            if (control && control->getListener() &&
                control->getListener()->controlModifierClicked(control, buttons) != 0)
                return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        CPoint point = where;
        const CMouseEventResult result = view->onMouseDown(point, buttons);
        if (result == kMouseEventHandled) {
            mouseDownView = view;
            return result;
        }
        if (result == kMouseDownEventHandledButDontNeedMovedOrUpEvents) return result;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const long& buttons) {
    mouseLocation = where;
    if (popup && popupInFrame) {
        popupMove(where);
        return kMouseEventHandled;
    }
    if (!mouseDownView) return kMouseEventNotHandled;
    CPoint point = where;
    return mouseDownView->onMouseMoved(point, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const long& buttons) {
    mouseLocation = where;
    if (popup && popupInFrame) {
        popupRelease(where);
        return kMouseEventHandled;
    }
    CView* view = mouseDownView;
    mouseDownView = nullptr;
    if (!view) return kMouseEventNotHandled;
    CPoint point = where;
    return view->onMouseUp(point, buttons);
}

void CFrame::onMouseExited() {
    mouseLocation = CPoint(-1, -1);
}

void CFrame::openPopupMenu(COptionMenu* menu, const CPoint& where) {
    closePopupMenu();
    const CRect bounds = platform ? platform->getPopupBounds() : size;
    popup = std::make_unique<COptionMenuPopup>(menu, where, bounds);
    menu->setPopupOpen(true);
    popupInFrame = !(platform && platform->showPopup(popup.get()));
    if (popupInFrame) invalidate(popup->getRect());
}

void CFrame::popupPress(const CPoint& where) {
    if (!popup) return;
    const COptionMenuPopup::Outcome outcome = popup->onPress(where);
    if (outcome.kind == COptionMenuPopup::Outcome::kKeepOpen) return;
    COptionMenu* menu = popup->getMenu();
    closePopupMenu();
    if (outcome.kind == COptionMenuPopup::Outcome::kChoose) menu->chooseEntry(outcome.index);
}

void CFrame::popupMove(const CPoint& where) {
    if (!popup || !popup->onMove(where)) return;
    if (popupInFrame)
        invalidate(popup->getRect());
    else if (platform)
        platform->updatePopup();
}

void CFrame::popupRelease(const CPoint& where) {
    if (!popup) return;
    popupMove(where);
    const COptionMenuPopup::Outcome outcome = popup->onRelease(where);
    if (outcome.kind != COptionMenuPopup::Outcome::kChoose) return;
    COptionMenu* menu = popup->getMenu();
    closePopupMenu();
    menu->chooseEntry(outcome.index);
}

void CFrame::closePopupMenu() {
    if (!popup) return;
    if (popupInFrame)
        invalidate(popup->getRect());
    else if (platform)
        platform->hidePopup();
    COptionMenu* menu = popup->getMenu();
    popup.reset();
    menu->setPopupOpen(false);
}

unsigned long CFrame::getNativeView() const {
    return platform ? platform->getNativeView() : 0;
}

void CFrame::setNativeViewPosition(int x, int y) {
    if (platform) platform->setNativeViewPosition(x, y);
}

bool CFrame::isCloseRequested() const {
    return platform && platform->isCloseRequested();
}

bool CFrame::dispatchPendingExpose() {
    return platform && platform->dispatchPendingExpose();
}

CColor CFrame::getPixel(CCoord x, CCoord y) {
    cairo_surface_flush(backBuffer);
    const int px = static_cast<int>(x * scaleFactor);
    const int py = static_cast<int>(y * scaleFactor);
    if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(backBuffer) ||
        py >= cairo_image_surface_get_height(backBuffer))
        return CColor{0, 0, 0, 0};
    const unsigned char* row = cairo_image_surface_get_data(backBuffer) +
                               static_cast<std::ptrdiff_t>(py) * cairo_image_surface_get_stride(backBuffer);
    uint32_t word;
    std::memcpy(&word, row + 4 * px, 4);
    const unsigned alpha = word >> 24;
    auto channel = [&](int shift) -> unsigned char {
        const unsigned c = (word >> shift) & 0xff;
        return alpha ? static_cast<unsigned char>(std::min(255u, (c * 255 + alpha / 2) / alpha)) : 0;
    };
    return CColor{channel(16), channel(8), channel(0), static_cast<unsigned char>(alpha)};
}

bool CFrame::writePNG(const char* path) {
    idle();
    // Written beside the target and renamed, so a failed write leaves no half file.
    const std::string partial = std::string(path) + ".partial";
    if (cairo_surface_write_to_png(backBuffer, partial.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::remove(partial.c_str());
        return false;
    }
    return std::rename(partial.c_str(), path) == 0;
}

bool CFrame::isTypeOf(const char* className) const {
    return std::strcmp(className, "CFrame") == 0 || CView::isTypeOf(className);
}

} // namespace VSTGUI

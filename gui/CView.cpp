#include "gui/CView.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace VSTGUI {

CView::CView(const CRect& rect) : size(rect) {}

CView::CView(const CView& other)
    : CBaseObject(other), size(other.size), pBackground(other.pBackground), dirty(other.dirty),
      mouseEnabled(other.mouseEnabled), transparencyEnabled(other.transparencyEnabled) {
    if (pBackground) pBackground->remember();
}

CView::~CView() {
    if (pBackground) pBackground->forget();
}

void CView::draw(CDrawContext* context) {
    if (!pBackground) return;
    if (transparencyEnabled)
        pBackground->drawTransparent(context, size);
    else
        pBackground->draw(context, size);
    setDirty(false);
}

CMouseEventResult CView::onMouseDown(CPoint&, const long&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseUp(CPoint&, const long&) {
    return kMouseEventNotImplemented;
}
CMouseEventResult CView::onMouseMoved(CPoint&, const long&) {
    return kMouseEventNotImplemented;
}

bool CView::isTypeOf(const char* className) const {
    return std::strcmp(className, "CView") == 0;
}

CView* CView::newCopy() const {
    return new CView(*this);
}

void CView::invalid() {
    if (pParentFrame) pParentFrame->invalidate(size);
}

void CView::setViewSize(const CRect& rect) {
    invalid();
    size = rect;
    setDirty();
}

void CView::setBackground(CBitmap* background) {
    if (background) background->remember();
    if (pBackground) pBackground->forget();
    pBackground = background;
    setDirty();
}

CControl::CControl(const CRect& rect, CControlListener* controlListener, long controlTag, CBitmap* background)
    : CView(rect), listener(controlListener), tag(controlTag) {
    setBackground(background);
    setDirty(false);
}

CControl::CControl(const CControl& other)
    : CView(other), listener(other.listener), tag(other.tag), value(other.value) {}

void CControl::setValue(float newValue) {
    if (newValue == value) return;
    value = newValue;
    setDirty();
}

void CControl::beginEdit() {
    if (listener) listener->controlBeginEdit(this);
    if (pParentFrame) {
        pParentFrame->setFocusView(this);
        pParentFrame->beginEdit(tag);
    }
}

void CControl::endEdit() {
    if (pParentFrame) pParentFrame->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

bool CControl::isTypeOf(const char* className) const {
    return std::strcmp(className, "CControl") == 0 || CView::isTypeOf(className);
}

void CControl::reportValue() {
    if (listener) listener->valueChanged(this);
}

} // namespace VSTGUI

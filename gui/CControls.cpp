#include "gui/CControls.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/VSTGUIEditorInterface.h"

namespace VSTGUI {

namespace {

long frameFor(float value, long frames) {
    if (frames <= 1) return 0;
    const float clamped = std::clamp(value, 0.0f, 1.0f);
    return std::min(frames - 1, static_cast<long>(clamped * static_cast<float>(frames - 1) + 0.5f));
}

void drawFrame(CBitmap* bitmap, CDrawContext* context, const CRect& size, const CPoint& offset, long frame,
               CCoord frameHeight, bool transparent) {
    if (!bitmap) return;
    const CPoint where(offset.h, offset.v + static_cast<CCoord>(frame) * frameHeight);
    if (transparent)
        bitmap->drawTransparent(context, size, where);
    else
        bitmap->draw(context, size, where);
}

// Knobs turn through 270 degrees, from down-left to down-right.
constexpr double kSweep = 1.5 * std::numbers::pi;

} // namespace

// ---------------------------------------------------------------------------
// CTextEdit

CTextEdit::CTextEdit(const CRect& rect, CControlListener* editListener, long editTag, const char* initialText,
                     CBitmap* background, long editStyle)
    : CControl(rect, editListener, editTag, background), text(initialText ? initialText : ""),
      style(editStyle) {}

void CTextEdit::setText(const char* newText) {
    const char* value = newText ? newText : "";
    if (text == value) return;
    text = value;
    setDirty();
}

void CTextEdit::setFont(CFont newFont) {
    font = newFont;
    setDirty();
}

void CTextEdit::setFontColor(const CColor& color) {
    if (color == fontColor) return;
    fontColor = color;
    setDirty();
}

void CTextEdit::setBackColor(const CColor& color) {
    backColor = color;
    setDirty();
}

void CTextEdit::setTxtFace(CTxtFace newFace) {
    face = newFace;
    setDirty();
}

void CTextEdit::setTextTransparency(bool transparent) {
    textTransparency = transparent;
    setDirty();
}

void CTextEdit::setHoriAlign(CHoriTxtAlign align) {
    horiAlign = align;
    setDirty();
}

void CTextEdit::draw(CDrawContext* context) {
    if (pBackground)
        CView::draw(context);
    else if (!transparencyEnabled && !textTransparency) {
        context->setFillColor(backColor);
        context->drawRect(size, kDrawFilled);
    }
    context->setFont(font, face);
    context->setFontColor(fontColor);
    context->drawString(text.c_str(), size, horiAlign);
    setDirty(false);
}

bool CTextEdit::isTypeOf(const char* className) const {
    return std::strcmp(className, "CTextEdit") == 0 || CControl::isTypeOf(className);
}

// ---------------------------------------------------------------------------
// CAnimKnob

CAnimKnob::CAnimKnob(const CRect& rect, CControlListener* knobListener, long knobTag, long frames,
                     CCoord frameHeight, CBitmap* background, const CPoint& bitmapOffset)
    : CControl(rect, knobListener, knobTag, background), subPixmaps(frames), heightOfOneImage(frameHeight),
      offset(bitmapOffset) {}

long CAnimKnob::getFrameIndex() const {
    return frameFor(value, subPixmaps);
}

void CAnimKnob::draw(CDrawContext* context) {
    drawFrame(pBackground, context, size, offset, getFrameIndex(), heightOfOneImage, transparencyEnabled);
    setDirty(false);
}

double CAnimKnob::angleOf(const CPoint& where) const {
    // Clockwise from straight up, -pi .. pi.
    const double dx = where.h - (size.left + size.right) / 2.0;
    const double dy = where.v - (size.top + size.bottom) / 2.0;
    return std::atan2(dx, -dy);
}

void CAnimKnob::changeValue(float newValue) {
    newValue = std::clamp(newValue, 0.0f, 1.0f);
    if (newValue == value) return;
    setValue(newValue);
    reportValue();
}

CMouseEventResult CAnimKnob::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    VSTGUIEditorInterface* editor = pParentFrame ? pParentFrame->getEditor() : nullptr;
    mode = editor ? editor->getKnobMode() : getToolkitKnobMode();
    beginEdit();
    firstPoint = where;
    startValue = value;
    fine = (buttons & kShift) != 0;
    lastAngle = angleOf(where);
    if (mode == kCircularMode) changeValue(static_cast<float>((lastAngle + kSweep / 2.0) / kSweep));
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventHandled;
    if (mode == kCircularMode) {
        changeValue(static_cast<float>((angleOf(where) + kSweep / 2.0) / kSweep));
    } else if (mode == kRelativCircularMode) {
        const double angle = angleOf(where);
        double turn = angle - lastAngle;
        if (turn > std::numbers::pi) turn -= 2.0 * std::numbers::pi;
        if (turn < -std::numbers::pi) turn += 2.0 * std::numbers::pi;
        lastAngle = angle;
        changeValue(value + static_cast<float>(turn / kSweep));
    } else {
        // Holding or letting go of Shift starts a new stretch from here, so
        // the value does not jump.
        const bool nowFine = (buttons & kShift) != 0;
        if (nowFine != fine) {
            fine = nowFine;
            firstPoint = where;
            startValue = value;
        }
        const float range = fine ? 2000.0f : 200.0f;
        changeValue(startValue + static_cast<float>(firstPoint.v - where.v) / range);
    }
    return kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint&, const long&) {
    endEdit();
    return kMouseEventHandled;
}

bool CAnimKnob::isTypeOf(const char* className) const {
    return std::strcmp(className, "CAnimKnob") == 0 || CControl::isTypeOf(className);
}

// ---------------------------------------------------------------------------
// CMovieButton

CMovieButton::CMovieButton(const CRect& rect, CControlListener* buttonListener, long buttonTag,
                           CBitmap* background, const CPoint& bitmapOffset)
    : CControl(rect, buttonListener, buttonTag, background), offset(bitmapOffset) {}

void CMovieButton::draw(CDrawContext* context) {
    drawFrame(pBackground, context, size, offset, value > 0.5f ? 1 : 0, size.height(), transparencyEnabled);
    setDirty(false);
}

CMouseEventResult CMovieButton::onMouseDown(CPoint&, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    setValue(value > 0.5f ? 0.0f : 1.0f);
    reportValue();
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint&, const long&) {
    endEdit();
    return kMouseEventHandled;
}

bool CMovieButton::isTypeOf(const char* className) const {
    return std::strcmp(className, "CMovieButton") == 0 || CControl::isTypeOf(className);
}

// ---------------------------------------------------------------------------
// CVerticalSwitch

CVerticalSwitch::CVerticalSwitch(const CRect& rect, CControlListener* switchListener, long switchTag,
                                 long frames, CCoord frameHeight, long positions, CBitmap* background,
                                 const CPoint& bitmapOffset)
    : CControl(rect, switchListener, switchTag, background), subPixmaps(frames),
      heightOfOneImage(frameHeight), maxPositions(std::max(1L, positions)), offset(bitmapOffset) {}

void CVerticalSwitch::draw(CDrawContext* context) {
    drawFrame(pBackground, context, size, offset, frameFor(value, subPixmaps), heightOfOneImage,
              transparencyEnabled);
    setDirty(false);
}

void CVerticalSwitch::selectAt(const CPoint& where) {
    if (size.height() <= 0) return;
    const long position =
        std::clamp<long>((where.v - size.top) * maxPositions / size.height(), 0, maxPositions - 1);
    const float newValue =
        maxPositions > 1 ? static_cast<float>(position) / static_cast<float>(maxPositions - 1) : 0.0f;
    if (newValue == value) return;
    setValue(newValue);
    reportValue();
}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    beginEdit();
    selectAt(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, const long& buttons) {
    if (buttons & kLButton) selectAt(where);
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint&, const long&) {
    endEdit();
    return kMouseEventHandled;
}

bool CVerticalSwitch::isTypeOf(const char* className) const {
    return std::strcmp(className, "CVerticalSwitch") == 0 || CControl::isTypeOf(className);
}

} // namespace VSTGUI

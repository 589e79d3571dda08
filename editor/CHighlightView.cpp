#include "editor/CHighlightView.h"

#include "editor/CKOControl.h"
#include "editor/MorvaneEditor.h"
#include "gui/CDrawContext.h"

CHighlightView::CHighlightView(const VSTGUI::CRect& size, VSTGUI::CFrame* searchedFrame)
    : VSTGUI::CView(size), frame(searchedFrame) {}

CHighlightView::~CHighlightView() {
    pupil = nullptr;
}

void CHighlightView::draw(VSTGUI::CDrawContext* context) {
    VSTGUI::CView::draw(context);
    if (!pupil || !context) return;
    const VSTGUI::CCoord lineWidth = context->getLineWidth();
    const VSTGUI::CColor frameColor = context->getFrameColor();
    context->setLineWidth(1);
    context->setFrameColor(highlightColor);
    context->drawRect(highlightRect, VSTGUI::kDrawStroked);
    context->setLineWidth(lineWidth);
    context->setFrameColor(frameColor);
}

void CHighlightView::setHighlightColor(unsigned char red, unsigned char green, unsigned char blue,
                                       unsigned char alpha) {
    highlightColor = VSTGUI::CColor{red, green, blue, alpha};
    setDirty();
}

void CHighlightView::setHighlightControl(long tag, bool on) {
    if (!frame) return;
    for (long i = 0; i < frame->getNbViews(); ++i) {
        VSTGUI::CView* view = frame->getView(i);
        if (!view->isTypeOf("CControl")) continue;
        auto* control = dynamic_cast<VSTGUI::CControl*>(view);
        if (!control) continue;
        auto* multiValue = view->isTypeOf("CKOControl") ? dynamic_cast<CKOControl*>(control) : nullptr;
        const bool match = multiValue ? multiValue->hasTag(tag) : control->getTag() == tag;
        if (!match) continue;
        // The outline being replaced goes too (the new control's area alone
        // would leave it on screen).
        if (pupil) {
            VSTGUI::CRect previous = highlightRect;
            frame->invalidate(previous.extend(1, 1));
        }
        if (on) {
            pupil = control;
            getHighlightRect(tag, highlightRect);
        } else {
            pupil = nullptr;
        }
        VSTGUI::CRect area = control->getViewSize();
        frame->invalidate(area.extend(2, 2));
        return;
    }
}

void CHighlightView::getHighlightRect(long, VSTGUI::CRect& rect) {
    if (!pupil) return;
    rect = pupil->getViewSize();
    rect.extend(1, 1);
}

CMorvaneHighlightView::CMorvaneHighlightView(const VSTGUI::CRect& size, VSTGUI::CFrame* searchedFrame)
    : CHighlightView(size, searchedFrame) {
    highlightColor = VSTGUI::CColor{0, 255, 140, 200};
}

void CMorvaneHighlightView::getHighlightRect(long tag, VSTGUI::CRect& rect) {
    if (!frame || !frame->getEditor()) return;
    // A range-bound tag names one handle of a range slider: outline that one.
    auto* editor = dynamic_cast<MorvaneEditor*>(frame->getEditor());
    if (CHorizontalRangeSlider* slider = editor ? editor->getRangeSliderFor(tag) : nullptr) {
        slider->getMIDILearnRect(tag, rect);
        return;
    }
    CHighlightView::getHighlightRect(tag, rect);
}

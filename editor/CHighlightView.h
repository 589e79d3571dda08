// A transparent overlay that outlines one control, chosen by parameter tag.
// It is the frame's first child, so it lies beneath every control; the
// outline shows because it runs one pixel outside the control's rectangle.
#pragma once

#include "gui/CFrame.h"
#include "gui/CView.h"

class CHighlightView : public VSTGUI::CView {
  public:
    // User-interface thread: an overlay over size (the whole frame) that
    // searches frame's views (not owned); white, nothing highlighted.
    CHighlightView(const VSTGUI::CRect& size, VSTGUI::CFrame* frame);
    // User-interface thread: forgets the highlighted control.
    ~CHighlightView() override;

    // User-interface thread: draws the background, then the outline of the
    // highlight rectangle in the highlight colour with a one-pixel line,
    // leaving the context's line width and frame colour as they were.
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CView* newCopy() const override { return new CHighlightView(*this); }

    // User-interface thread: the highlighted control ("pupil"; not owned, null
    // for none).
    virtual void setPupilControl(VSTGUI::CControl* control) { pupil = control; }
    virtual VSTGUI::CControl* getPupilControl() { return pupil; }
    // User-interface thread: stores the colour and marks the overlay dirty.
    virtual void setHighlightColor(unsigned char red, unsigned char green, unsigned char blue,
                                   unsigned char alpha);
    // User-interface thread: outlines (on) or stops outlining (off) the first
    // control of the frame, in view order, that carries tag; nothing changes
    // when no control carries it.
    virtual void setHighlightControl(long tag, bool on);
    // User-interface thread: the rectangle to outline for tag: the pupil's
    // rectangle grown by one pixel; rect is unchanged with no pupil.
    virtual void getHighlightRect(long tag, VSTGUI::CRect& rect);

    VSTGUI::CColor getHighlightColor() const { return highlightColor; }
    const VSTGUI::CRect& getHighlightRectangle() const { return highlightRect; }

  protected:
    VSTGUI::CControl* pupil = nullptr;
    VSTGUI::CColor highlightColor{255, 255, 255, 255};
    VSTGUI::CRect highlightRect;
    VSTGUI::CFrame* frame;
};

// The editor's overlay: green (0, 255, 140, alpha 200). A range-bound tag
// (26/27 ... 41/42) names one handle of a range slider, so the frame's editor
// is asked for that slider and only the handle is outlined; every other tag
// outlines its whole control.
class CMorvaneHighlightView : public CHighlightView {
  public:
    // User-interface thread.
    CMorvaneHighlightView(const VSTGUI::CRect& size, VSTGUI::CFrame* frame);

    // User-interface thread: unchanged when the frame has no editor.
    void getHighlightRect(long tag, VSTGUI::CRect& rect) override;
    VSTGUI::CView* newCopy() const override { return new CMorvaneHighlightView(*this); }
};

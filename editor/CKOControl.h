// The base of the editor's own multi-value controls (the motion pad and the
// range sliders), and the listener through which they report one value per
// parameter tag.
#pragma once

#include "gui/CView.h"

class CKOControl : public VSTGUI::CControl {
  public:
    // User-interface thread: forwards to the toolkit control.
    CKOControl(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
               VSTGUI::CBitmap* background);
    CKOControl(const CKOControl& other);

    void draw(VSTGUI::CDrawContext* context) override = 0;
    VSTGUI::CView* newCopy() const override = 0;
    // User-interface thread: true for "CKOControl" and the toolkit control's names.
    bool isTypeOf(const char* className) const override;

    // User-interface thread: whether the control carries parameter tag. Tag 0
    // never matches, whatever the control's own tag.
    virtual bool hasTag(long tag);
    // User-interface thread: the value the control holds for parameter tag (0
    // for a tag it does not carry). The timer handler reads the pad's handle
    // values through this.
    virtual float getValue(int tag);
    using VSTGUI::CControl::getValue;
};

class CKOControlListener : public VSTGUI::CControlListener {
  public:
    ~CKOControlListener() override = default;

    using VSTGUI::CControlListener::controlModifierClicked;
    using VSTGUI::CControlListener::valueChanged;
    // User-interface thread: a multi-value control changed parameter tag to
    // value (normalised).
    virtual void valueChanged(long tag, float value) = 0;
    // User-interface thread: a modifier click at where; no control of this
    // editor calls it.
    virtual long controlModifierClicked(VSTGUI::CControl* control, long button, VSTGUI::CPoint where) {
        return 0;
    }
};

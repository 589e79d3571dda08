// Views and controls: rectangles in frame coordinates that draw themselves
// and answer the mouse; a control adds a tag, a value and a listener.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"

namespace VSTGUI {

class CBitmap;
class CControl;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
  public:
    // User-interface thread: a view covering size, mouse-enabled, opaque,
    // with no background.
    explicit CView(const CRect& size);
    // User-interface thread: a copy with the same size, flags and background,
    // in no frame.
    CView(const CView& other);
    ~CView() override;

    // User-interface thread: draws the background bitmap over the view, if
    // one is set.
    virtual void draw(CDrawContext* context);
    // User-interface thread: the mouse, in frame coordinates. A view that
    // answers kMouseEventHandled to a press receives the moves while the
    // button is held and then the release. The defaults answer "not
    // implemented", so the press goes on to the views beneath.
    virtual CMouseEventResult onMouseDown(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const long& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const long& buttons);

    // User-interface thread: whether the view is of the class named (or
    // derives from it).
    virtual bool isTypeOf(const char* className) const;
    // User-interface thread: a new view like this one.
    virtual CView* newCopy() const;

    // User-interface thread: a dirty view is redrawn by the frame's next idle.
    virtual void setDirty(bool value = true) { dirty = value; }
    virtual bool isDirty() const { return dirty; }
    // User-interface thread: asks the frame to redraw the view's rectangle.
    virtual void invalid();

    // User-interface thread: flags. A view that is not mouse-enabled is left
    // out of mouse dispatch (it still counts as the view under the mouse).
    virtual void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }
    bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setTransparency(bool value) { transparencyEnabled = value; }
    bool getTransparency() const { return transparencyEnabled; }

    // User-interface thread: the view's rectangle.
    CRect& getViewSize(CRect& rect) const {
        rect = size;
        return rect;
    }
    const CRect& getViewSize() const { return size; }
    virtual void setViewSize(const CRect& rect);

    // User-interface thread: the background bitmap (the view holds a
    // reference to it); null for none.
    virtual void setBackground(CBitmap* background);
    CBitmap* getBackground() const { return pBackground; }

    // User-interface thread: the frame the view was added to, or null.
    CFrame* getFrame() const { return pParentFrame; }
    void setFrame(CFrame* frame) { pParentFrame = frame; }

  protected:
    CRect size;
    CFrame* pParentFrame = nullptr;
    CBitmap* pBackground = nullptr;
    bool dirty = false;
    bool mouseEnabled = true;
    bool transparencyEnabled = false;
};

class CControlListener {
  public:
    virtual ~CControlListener() = default;
    // User-interface thread: the control's value was changed by the user.
    virtual void valueChanged(CControl* control) = 0;
    // User-interface thread: a click with a modifier key held (buttons is the
    // button word), asked before the control sees the click; a non-zero
    // answer ends the click there.
    virtual long controlModifierClicked(CControl* control, long buttons) { return 0; }
    // User-interface thread: a gesture on the control begins / ends.
    virtual void controlBeginEdit(CControl* control) {}
    virtual void controlEndEdit(CControl* control) {}
};

class CControl : public CView {
  public:
    // User-interface thread: a control with value 0.
    CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0,
             CBitmap* background = nullptr);
    CControl(const CControl& other);

    // User-interface thread: the value; a change marks the control dirty.
    virtual void setValue(float value);
    virtual float getValue() const { return value; }
    // User-interface thread: the tag (the editor's parameter id).
    virtual void setTag(long newTag) { tag = newTag; }
    long getTag() const { return tag; }
    // User-interface thread: the listener (not owned).
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* newListener) { listener = newListener; }

    // User-interface thread: brackets a gesture: tells the listener
    // (controlBeginEdit), makes this the frame's focus view and calls the
    // frame's beginEdit(tag); endEdit calls the frame's endEdit(tag), then
    // the listener's controlEndEdit.
    virtual void beginEdit();
    virtual void endEdit();

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CControl(*this); }

  protected:
    // The listener's valueChanged, if there is a listener.
    void reportValue();

    CControlListener* listener;
    long tag;
    float value = 0.0f;
};

} // namespace VSTGUI

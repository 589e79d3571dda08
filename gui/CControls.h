// The toolkit's ready-made controls: a text display, an animated knob, an
// on/off button and a vertical switch, each drawing one frame of a bitmap
// whose frames are stacked vertically.
#pragma once

#include <string>

#include "gui/CDrawContext.h"
#include "gui/CView.h"
#include "gui/VSTGUIEditorInterface.h"

namespace VSTGUI {

// A one-line text field, used as a display (it does not edit).
class CTextEdit : public CControl {
  public:
    // User-interface thread: text (may be null) over background (may be
    // null); style is kept for the caller.
    CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = nullptr,
              CBitmap* background = nullptr, long style = 0);

    // User-interface thread: the text; a change marks the field dirty.
    void setText(const char* text);
    const char* getText() const { return text.c_str(); }
    // User-interface thread: how the text looks. With neither transparency
    // nor text transparency on, the field is filled with its back colour
    // first.
    void setFont(CFont newFont);
    CFont getFont() const { return font; }
    void setFontColor(const CColor& color);
    CColor getFontColor() const { return fontColor; }
    void setBackColor(const CColor& color);
    void setTxtFace(CTxtFace newFace);
    void setTextTransparency(bool transparent);
    void setHoriAlign(CHoriTxtAlign align);
    long getStyle() const { return style; }

    void draw(CDrawContext* context) override;
    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CTextEdit(*this); }

  private:
    std::string text;
    long style;
    CFont font = kNormalFont;
    CTxtFace face = kNormalFace;
    CColor fontColor{255, 255, 255, 255};
    CColor backColor{0, 0, 0, 255};
    CHoriTxtAlign horiAlign = kCenterText;
    bool textTransparency = false;
};

// A knob drawn as one of subPixmaps frames of heightOfOneImage pixels,
// starting at offset in the bitmap: frame round(value * (subPixmaps - 1)).
// The mouse changes the value by the knob mode (VSTGUIEditorInterface.h):
// linear mode moves the whole range over 200 pixels of vertical motion
// (2000 with Shift held, for fine changes).
class CAnimKnob : public CControl {
  public:
    // User-interface thread.
    CAnimKnob(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));

    // User-interface thread: the frame shown for the current value.
    long getFrameIndex() const;

    void draw(CDrawContext* context) override;
    // User-interface thread: a left press begins an edit, moves change the
    // value (reported to the listener when it changes), the release ends the
    // edit.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CAnimKnob(*this); }

  private:
    double angleOf(const CPoint& where) const;
    void changeValue(float newValue);

    long subPixmaps;
    CCoord heightOfOneImage;
    CPoint offset;
    long mode = kLinearMode;
    CPoint firstPoint;
    float startValue = 0.0f;
    bool fine = false;
    double lastAngle = 0.0;
};

// An on/off button: frame 0 (off) or 1 (on) of a bitmap whose frames are as
// tall as the control. A left press toggles the value between 0 and 1.
class CMovieButton : public CControl {
  public:
    // User-interface thread.
    CMovieButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                 const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    // User-interface thread: the press begins an edit, toggles the value and
    // reports it; the release ends the edit.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CMovieButton(*this); }

  private:
    CPoint offset;
};

// A switch of maxPositions positions stacked top to bottom; the value is
// position / (maxPositions - 1), drawn as frame round(value * (subPixmaps - 1)).
class CVerticalSwitch : public CControl {
  public:
    // User-interface thread.
    CVerticalSwitch(const CRect& size, CControlListener* listener, long tag, long subPixmaps,
                    CCoord heightOfOneImage, long maxPositions, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    // User-interface thread: a left press begins an edit and selects the
    // position under the mouse, moves follow it, the release ends the edit;
    // each change is reported.
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new CVerticalSwitch(*this); }

  private:
    void selectAt(const CPoint& where);

    long subPixmaps;
    CCoord heightOfOneImage;
    long maxPositions;
    CPoint offset;
};

} // namespace VSTGUI

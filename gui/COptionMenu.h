// Option menus: a control whose value is the index of the chosen entry. A
// click pops the list of entries up; choosing one sets the value to its index
// and tells the listener.
#pragma once

#include <string>
#include <vector>

#include "gui/CDrawContext.h"
#include "gui/CView.h"

namespace VSTGUI {

enum COptionMenuStyle : long {
    kPopupStyle = 0x200, // opens with the current entry under the mouse (else below the control)
    kCheckStyle = 0x400, // a check mark at the current entry
};

class COptionMenu : public CControl {
  public:
    // User-interface thread: an empty menu; bgWhenClick is drawn instead of
    // the background while the pop-up is open.
    COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
                CBitmap* bgWhenClick = nullptr, long style = 0);
    COptionMenu(const COptionMenu& other);
    ~COptionMenu() override;

    // User-interface thread: inserts an entry before position index, or
    // appends it when index is -1 (or past the end).
    bool addEntry(const char* text, long index = -1);
    long getNbEntries() const { return static_cast<long>(entries.size()); }
    // The entry's text, or null outside the list.
    const char* getEntry(long index) const;
    // User-interface thread: the value is the current entry's index.
    void setValue(float value) override;
    long getCurrentIndex() const;
    long getStyle() const { return style; }

    // User-interface thread: the current entry's text and colour.
    void setFont(CFont newFont) { font = newFont; }
    void setFontColor(const CColor& color) { fontColor = color; }

    // User-interface thread: draws the background (bgWhenClick while open)
    // and the current entry's text.
    void draw(CDrawContext* context) override;
    // User-interface thread: a left or right press opens the pop-up; the
    // click is complete then (no moves or release follow).
    CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
    // User-interface thread: the user chose entry index in the pop-up: within
    // one edit, the value becomes index and the listener's valueChanged runs.
    void chooseEntry(long index);
    // User-interface thread: the frame tells the menu its pop-up opened or closed.
    void setPopupOpen(bool open);

    bool isTypeOf(const char* className) const override;
    CView* newCopy() const override { return new COptionMenu(*this); }

  private:
    std::vector<std::string> entries;
    CBitmap* bgWhenClick;
    long style;
    CFont font = kNormalFontSmaller;
    CColor fontColor{255, 255, 255, 255};
    bool popupOpen = false;
};

// The list a menu pops up, laid out in frame coordinates; shared by the back
// ends (an X11 pop-up window draws it, a headless frame draws it over
// itself). User-interface thread.
class COptionMenuPopup {
  public:
    static constexpr CCoord kEntryHeight = 18;

    // Lays the menu's entries out around where (the mouse-down point), kept
    // inside bounds.
    COptionMenuPopup(COptionMenu* menu, const CPoint& where, const CRect& bounds);

    COptionMenu* getMenu() const { return menu; }
    const CRect& getRect() const { return rect; }
    // The entry at p, or -1.
    long entryAt(const CPoint& p) const;
    long getHoverIndex() const { return hover; }
    // Draws the list at its rectangle.
    void draw(CDrawContext* context) const;

    // What a mouse event does to the open pop-up. A press on an entry chooses
    // it, a press outside the list cancels; a release chooses the entry under
    // it once the mouse has been dragged away from where the menu opened.
    struct Outcome {
        enum Kind { kKeepOpen, kChoose, kCancel } kind = kKeepOpen;
        long index = -1;
    };
    Outcome onPress(const CPoint& p);
    Outcome onRelease(const CPoint& p);
    // Follows the mouse; true when the highlighted entry changed.
    bool onMove(const CPoint& p);

  private:
    COptionMenu* menu;
    CPoint opened;
    CRect rect;
    long hover = -1;
    bool dragged = false;
};

} // namespace VSTGUI

// An option menu that draws nothing, so the window's picture shows through
// its clickable area; a click still pops its list up.
#pragma once

#include "gui/COptionMenu.h"

class CHiddenOptionMenu : public VSTGUI::COptionMenu {
  public:
    // User-interface thread: the toolkit menu's arguments, unchanged.
    CHiddenOptionMenu(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                      VSTGUI::CBitmap* background = nullptr, VSTGUI::CBitmap* bgWhenClick = nullptr,
                      long style = 0);

    // User-interface thread: nothing to draw.
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CView* newCopy() const override { return new CHiddenOptionMenu(*this); }
};

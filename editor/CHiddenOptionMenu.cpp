#include "editor/CHiddenOptionMenu.h"

CHiddenOptionMenu::CHiddenOptionMenu(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                                     VSTGUI::CBitmap* background, VSTGUI::CBitmap* bgWhenClick, long style)
    : VSTGUI::COptionMenu(size, listener, tag, background, bgWhenClick, style) {}

void CHiddenOptionMenu::draw(VSTGUI::CDrawContext*) {
    setDirty(false);
}

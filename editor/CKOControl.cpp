#include "editor/CKOControl.h"

#include <cstring>

CKOControl::CKOControl(const VSTGUI::CRect& size, VSTGUI::CControlListener* listener, long tag,
                       VSTGUI::CBitmap* background)
    : VSTGUI::CControl(size, listener, tag, background) {}

CKOControl::CKOControl(const CKOControl& other) : VSTGUI::CControl(other) {}

bool CKOControl::isTypeOf(const char* className) const {
    return std::strcmp(className, "CKOControl") == 0 || VSTGUI::CControl::isTypeOf(className);
}

bool CKOControl::hasTag(long tag) {
    return tag != 0 && tag == getTag();
}

float CKOControl::getValue(int tag) {
    return hasTag(tag) ? value : 0.0f;
}

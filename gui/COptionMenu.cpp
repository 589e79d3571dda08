#include "gui/COptionMenu.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

namespace VSTGUI {

namespace {

constexpr CCoord kPadding = 3;
constexpr CCoord kCheckColumn = 16;
constexpr CCoord kTextMargin = 12;
constexpr CFont kPopupFont = kNormalFont;

const CColor kPanel{28, 31, 38, 255};
const CColor kBorder{70, 78, 90, 255};
const CColor kText{220, 224, 230, 255};
const CColor kHoverFill{0, 150, 160, 255};
const CColor kHoverText{255, 255, 255, 255};

} // namespace

COptionMenu::COptionMenu(const CRect& rect, CControlListener* menuListener, long menuTag, CBitmap* background,
                         CBitmap* clickedBackground, long menuStyle)
    : CControl(rect, menuListener, menuTag, background), bgWhenClick(clickedBackground), style(menuStyle) {
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::COptionMenu(const COptionMenu& other)
    : CControl(other), entries(other.entries), bgWhenClick(other.bgWhenClick), style(other.style),
      font(other.font), fontColor(other.fontColor) {
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::~COptionMenu() {
    if (bgWhenClick) bgWhenClick->forget();
}

bool COptionMenu::addEntry(const char* text, long index) {
    if (!text) return false;
    if (index < 0 || index >= getNbEntries())
        entries.emplace_back(text);
    else
        entries.insert(entries.begin() + index, text);
    setDirty();
    return true;
}

const char* COptionMenu::getEntry(long index) const {
    return index >= 0 && index < getNbEntries() ? entries[index].c_str() : nullptr;
}

void COptionMenu::setValue(float newValue) {
    CControl::setValue(std::round(newValue));
}

long COptionMenu::getCurrentIndex() const {
    return std::lround(value);
}

void COptionMenu::draw(CDrawContext* context) {
    CBitmap* picture = popupOpen && bgWhenClick ? bgWhenClick : pBackground;
    if (picture) {
        if (transparencyEnabled)
            picture->drawTransparent(context, size);
        else
            picture->draw(context, size);
    }
    if (const char* text = getEntry(getCurrentIndex())) {
        context->setFont(font);
        context->setFontColor(fontColor);
        context->drawString(text, size, kLeftText);
    }
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& where, const long& buttons) {
    if (!(buttons & (kLButton | kRButton)) || !pParentFrame || entries.empty()) return kMouseEventNotHandled;
    pParentFrame->openPopupMenu(this, where);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COptionMenu::chooseEntry(long index) {
    if (index < 0 || index >= getNbEntries()) return;
    beginEdit();
    setValue(static_cast<float>(index));
    reportValue();
    endEdit();
    invalid();
}

void COptionMenu::setPopupOpen(bool open) {
    popupOpen = open;
    setDirty();
    invalid();
}

bool COptionMenu::isTypeOf(const char* className) const {
    return std::strcmp(className, "COptionMenu") == 0 || CControl::isTypeOf(className);
}

COptionMenuPopup::COptionMenuPopup(COptionMenu* optionMenu, const CPoint& where, const CRect& bounds)
    : menu(optionMenu), opened(where) {
    // Width from the longest entry, measured with the pop-up's font.
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    double longest = 0.0;
    {
        CDrawContext measure(cr, 1.0);
        measure.setFont(kPopupFont);
        for (long i = 0; i < menu->getNbEntries(); ++i)
            longest = std::max(longest, measure.getStringWidth(menu->getEntry(i)));
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);

    const CRect control = menu->getViewSize();
    const CCoord width = std::max<CCoord>(control.width(), kCheckColumn + std::ceil(longest) + kTextMargin);
    const CCoord height = 2 * kPadding + kEntryHeight * menu->getNbEntries();
    CCoord left = control.left;
    CCoord top = control.bottom;
    if (menu->getStyle() & kPopupStyle) {
        const long current = std::max(0L, std::min(menu->getCurrentIndex(), menu->getNbEntries() - 1));
        top = where.v - kPadding - current * kEntryHeight - kEntryHeight / 2;
        left = where.h - kCheckColumn / 2;
    }
    left = std::max(bounds.left, std::min(left, bounds.right - width));
    top = std::max(bounds.top, std::min(top, bounds.bottom - height));
    rect = CRect(left, top, left + width, top + height);
    hover = entryAt(where);
}

long COptionMenuPopup::entryAt(const CPoint& p) const {
    if (!rect.pointInside(p)) return -1;
    const CCoord y = p.v - rect.top - kPadding;
    if (y < 0) return -1;
    const long index = y / kEntryHeight;
    return index < menu->getNbEntries() ? index : -1;
}

void COptionMenuPopup::draw(CDrawContext* context) const {
    context->setDrawMode(kCopyMode);
    context->setLineStyle(kLineSolid);
    context->setLineWidth(1);
    context->setFillColor(kPanel);
    context->setFrameColor(kBorder);
    context->drawRect(rect, kDrawFilledAndStroked);
    context->setFont(kPopupFont);
    const long current = menu->getCurrentIndex();
    for (long i = 0; i < menu->getNbEntries(); ++i) {
        const CCoord top = rect.top + kPadding + i * kEntryHeight;
        const CRect row(rect.left + 1, top, rect.right - 1, top + kEntryHeight);
        if (i == hover) {
            context->setFillColor(kHoverFill);
            context->drawRect(row, kDrawFilled);
        }
        context->setFontColor(i == hover ? kHoverText : kText);
        if (i == current && (menu->getStyle() & kCheckStyle))
            context->drawString("\u2713", CRect(row.left, top, row.left + kCheckColumn, row.bottom),
                                kCenterText);
        context->drawString(menu->getEntry(i), CRect(row.left + kCheckColumn, top, row.right, row.bottom),
                            kLeftText);
    }
}

COptionMenuPopup::Outcome COptionMenuPopup::onPress(const CPoint& p) {
    if (!rect.pointInside(p)) return {Outcome::kCancel, -1};
    const long index = entryAt(p);
    if (index < 0) return {};
    return {Outcome::kChoose, index};
}

COptionMenuPopup::Outcome COptionMenuPopup::onRelease(const CPoint& p) {
    const long index = entryAt(p);
    if (!dragged || index < 0) return {};
    return {Outcome::kChoose, index};
}

bool COptionMenuPopup::onMove(const CPoint& p) {
    if (std::abs(p.h - opened.h) > 3 || std::abs(p.v - opened.v) > 3) dragged = true;
    const long index = entryAt(p);
    if (index == hover) return false;
    hover = index;
    return true;
}

} // namespace VSTGUI

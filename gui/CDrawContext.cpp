#include "gui/CDrawContext.h"

#include <algorithm>

namespace VSTGUI {

namespace {

double fontSize(CFont font) {
    switch (font) {
    case kNormalFontSmaller:
        return 10.0;
    case kNormalFontVerySmall:
        return 9.0;
    default:
        return 12.0;
    }
}

} // namespace

CDrawContext::CDrawContext(cairo_t* context, double scale)
    : cr(cairo_reference(context)), scaleFactor(scale) {}

CDrawContext::~CDrawContext() {
    while (clipDepth > 0) {
        cairo_restore(cr);
        --clipDepth;
    }
    cairo_destroy(cr);
}

void CDrawContext::setLineWidth(CCoord width) {
    lineWidth = std::max<CCoord>(width, 1);
}

void CDrawContext::applyColor(const CColor& color) {
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0);
}

void CDrawContext::applyPen() {
    applyColor(frameColor);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_antialias(cr, drawMode == kAntialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    if (lineStyle == kLineOnOffDash) {
        const double dash = 2.0 * lineWidth;
        cairo_set_dash(cr, &dash, 1, 0.0);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
}

void CDrawContext::lineTo(const CPoint& p) {
    // Pixel centres, so a line of odd width covers whole pixels.
    applyPen();
    cairo_move_to(cr, penPosition.h + 0.5, penPosition.v + 0.5);
    cairo_line_to(cr, p.h + 0.5, p.v + 0.5);
    // A line from a point to itself still marks that point.
    if (p == penPosition) cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_stroke(cr);
    penPosition = p;
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    if (style != kDrawStroked) {
        applyColor(fillColor);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        applyPen();
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        const double half = lineWidth / 2.0;
        cairo_rectangle(cr, rect.left + half, rect.top + half, std::max(0.0, rect.width() - 2.0 * half),
                        std::max(0.0, rect.height() - 2.0 * half));
        cairo_stroke(cr);
    }
}

void CDrawContext::setFont(CFont newFont, CTxtFace newFace) {
    font = newFont;
    face = newFace;
}

double CDrawContext::getStringWidth(const char* text) {
    if (!text) return 0.0;
    cairo_save(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           face == kBoldFace ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, fontSize(font));
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_restore(cr);
    return extents.x_advance;
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
    if (!text || !*text || rect.isEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           face == kBoldFace ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, fontSize(font));
    cairo_font_extents_t fontExtents;
    cairo_font_extents(cr, &fontExtents);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);

    constexpr double kInset = 2.0;
    double x = rect.left + kInset;
    if (align == kCenterText)
        x = rect.left + (rect.width() - extents.x_advance) / 2.0;
    else if (align == kRightText)
        x = rect.right - kInset - extents.x_advance;
    const double y =
        rect.top + (rect.height() - (fontExtents.ascent + fontExtents.descent)) / 2.0 + fontExtents.ascent;
    applyColor(fontColor);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
    cairo_restore(cr);
}

void CDrawContext::setClipRect(const CRect& rect) {
    cairo_save(cr);
    ++clipDepth;
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
}

void CDrawContext::resetClipRect() {
    while (clipDepth > 0) {
        cairo_restore(cr);
        --clipDepth;
    }
}

} // namespace VSTGUI

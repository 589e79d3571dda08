// Drawing for views: a pen (line width, frame colour, style, anti-aliasing),
// a fill colour, text, over a Cairo context whose units are frame
// coordinates. Integer coordinates name pixels: a one-pixel line from (x, y)
// covers pixel (x, y), and a stroked rectangle lies just inside its edges.
#pragma once

#include <cairo.h>

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"

namespace VSTGUI {

enum CDrawMode {
    kCopyMode = 0, // hard-edged lines
    kOrMode = 1,   // drawn like kCopyMode
    kXorMode = 2,  // drawn like kCopyMode
    kAntialias = 3,
};

enum CLineStyle {
    kLineSolid = 0,
    kLineOnOffDash = 1,
};

enum CDrawStyle {
    kDrawStroked = 0,
    kDrawFilled = 1,
    kDrawFilledAndStroked = 2,
};

// The toolkit's named fonts (DejaVu Sans); sizes in logical pixels.
enum CFont {
    kNormalFont = 0,          // 12 px
    kNormalFontSmaller = 1,   // 10 px
    kNormalFontVerySmall = 2, // 9 px
};

enum CTxtFace {
    kNormalFace = 0,
    kBoldFace = 1,
};

enum CHoriTxtAlign {
    kLeftText = 0,
    kCenterText = 1,
    kRightText = 2,
};

class CDrawContext : public CBaseObject {
  public:
    // User-interface thread: wraps cr (referenced while the context lives),
    // whose user space is frame coordinates; scaleFactor is the number of
    // device pixels per logical pixel (1 or 2), which picks bitmap variants.
    CDrawContext(cairo_t* cr, double scaleFactor);
    ~CDrawContext() override;

    // User-interface thread, all of the pen and fill state: the current line
    // width and frame (line) colour are readable so a view can restore them.
    void setLineWidth(CCoord width);
    CCoord getLineWidth() const { return lineWidth; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color) { fillColor = color; }
    CColor getFillColor() const { return fillColor; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    CDrawMode getDrawMode() const { return drawMode; }
    // On-off dashes are as long as twice the line width.
    void setLineStyle(CLineStyle style) { lineStyle = style; }
    CLineStyle getLineStyle() const { return lineStyle; }

    // User-interface thread: a line from the pen position to p with the
    // current pen; p becomes the pen position.
    void moveTo(const CPoint& p) { penPosition = p; }
    void lineTo(const CPoint& p);
    // User-interface thread: fills with the fill colour and/or strokes with
    // the pen inside rect.
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);

    // User-interface thread: text state and a single line of text, vertically
    // centred in rect and clipped to it.
    void setFont(CFont font, CTxtFace face = kNormalFace);
    void setFontColor(const CColor& color) { fontColor = color; }
    CColor getFontColor() const { return fontColor; }
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
    // The width of text in the current font, in logical pixels.
    double getStringWidth(const char* text);

    // User-interface thread: limits drawing to rect (within the current clip)
    // until resetClipRect, which returns to the clip the context started with.
    void setClipRect(const CRect& rect);
    void resetClipRect();

    double getScaleFactor() const { return scaleFactor; }
    cairo_t* getCairo() const { return cr; }

  private:
    void applyPen();
    void applyColor(const CColor& color);

    cairo_t* cr;
    double scaleFactor;
    CCoord lineWidth = 1;
    CColor frameColor{0, 0, 0, 255};
    CColor fillColor{255, 255, 255, 255};
    CColor fontColor{255, 255, 255, 255};
    CDrawMode drawMode = kCopyMode;
    CLineStyle lineStyle = kLineSolid;
    CPoint penPosition;
    CFont font = kNormalFont;
    CTxtFace face = kNormalFace;
    int clipDepth = 0;
};

} // namespace VSTGUI

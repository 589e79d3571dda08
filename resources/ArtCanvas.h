// Drawing helpers for the bitmap generator: colours, the DejaVu faces found
// through fontconfig, tracked (letter-spaced) text, rounded shapes, soft glows
// and PNG files. Everything is drawn in 1x units; a caller draws the 2x set by
// scaling the context, so both sets are rendered from the same geometry.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>

namespace art {

struct Colour {
    double r, g, b, a;
};

constexpr Colour rgb(unsigned hex, double alpha = 1.0) {
    return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0, alpha};
}
constexpr Colour withAlpha(Colour c, double alpha) {
    return {c.r, c.g, c.b, alpha};
}
void setColour(cairo_t* cr, Colour c);

// Relative luminance (sRGB) and the contrast ratio of two opaque colours.
double luminance(Colour c);
double contrast(Colour a, Colour b);

enum class Face { CondensedBold, SansBold, Sans };

struct TextStyle {
    Face face;
    double size;     // pixels at 1x
    double tracking; // extra space after every character but the last, pixels at 1x
    Colour colour;
};

enum class Align { Left, Centre, Right };

// Width of the text as drawn, in 1x units.
double textWidth(cairo_t* cr, const TextStyle& style, std::string_view text);
// Height of a capital letter above the baseline, in 1x units.
double capHeight(cairo_t* cr, const TextStyle& style);
// Draws text with its baseline at y; x is the left edge, centre or right edge.
void drawText(cairo_t* cr, const TextStyle& style, std::string_view text, double x, double y, Align align);
// As drawText, with a soft halo of the text's own colour around it.
void drawGlowingText(cairo_t* cr, const TextStyle& style, std::string_view text, double x, double y,
                     Align align, double glowAlpha);

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
// Strokes the current path several times, widest and faintest first.
void strokeGlow(cairo_t* cr, Colour c, double width, double spread, double alpha);

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// A transparent ARGB image of width x height 1x units at the given scale, and a
// context on it already scaled, so callers draw in 1x units.
Surface newSurface(int width, int height, int scale);
Context newContext(cairo_surface_t* surface, int scale);

// Writes the image as PNG; throws std::runtime_error naming the path on failure.
void writePng(cairo_surface_t* surface, const std::string& path);

// Releases the font faces and the font library's caches (so leak checkers see
// a clean exit).
void releaseFonts();

} // namespace art

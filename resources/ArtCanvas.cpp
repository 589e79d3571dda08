#include "resources/ArtCanvas.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace art {

void setColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

double luminance(Colour c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast(Colour a, Colour b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

namespace {

struct FontFace {
    const char* pattern;
    const char* file; // the file the pattern must resolve to
    const char* package;
};

constexpr std::array<FontFace, 3> kFaces{{
    {"DejaVu Sans Condensed:style=Condensed Bold", "DejaVuSansCondensed-Bold.ttf", "fonts-dejavu-extra"},
    {"DejaVu Sans:style=Bold", "DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
    {"DejaVu Sans:style=Book", "DejaVuSans.ttf", "fonts-dejavu-core"},
}};

std::array<cairo_font_face_t*, 3> gFaces{};

// Resolves a face through fontconfig and insists on the exact DejaVu file, so
// a machine without it fails loudly instead of drawing labels in a fallback.
cairo_font_face_t* loadFace(const FontFace& font) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(font.pattern));
    if (!pattern) throw std::runtime_error(std::string("bad font pattern ") + font.pattern);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* file = nullptr;
    std::string found = "nothing";
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
        found = reinterpret_cast<const char*>(file);
    const std::string wanted = std::string("/") + font.file;
    if (found.size() < wanted.size() ||
        found.compare(found.size() - wanted.size(), wanted.size(), wanted) != 0) {
        if (match) FcPatternDestroy(match);
        throw std::runtime_error(std::string("font ") + font.file + " not found (install " + font.package +
                                 "); fontconfig offered " + found);
    }
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match);
    FcPatternDestroy(match);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("cannot open font ") + found);
    return face;
}

cairo_font_face_t* face(Face f) {
    const auto index = static_cast<std::size_t>(f);
    if (!gFaces[index]) gFaces[index] = loadFace(kFaces[index]);
    return gFaces[index];
}

void selectFont(cairo_t* cr, const TextStyle& style) {
    cairo_set_font_face(cr, face(style.face));
    cairo_set_font_size(cr, style.size);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

// The text's glyphs laid out from (x, y) with the style's tracking; returns the
// width in user units.
std::vector<cairo_glyph_t> layout(cairo_t* cr, const TextStyle& style, std::string_view text, double x,
                                  double y, double& width) {
    selectFont(cr, style);
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr);
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(font, x, y, text.data(), static_cast<int>(text.size()), &glyphs,
                                         &count, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot lay out text \"" + std::string(text) + "\"");
    std::vector<cairo_glyph_t> out(glyphs, glyphs + count);
    cairo_glyph_free(glyphs);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].x += style.tracking * static_cast<double>(i);
    width = 0.0;
    if (!out.empty()) {
        cairo_text_extents_t last;
        cairo_scaled_font_glyph_extents(font, &out.back(), 1, &last);
        width = out.back().x + last.x_advance - x;
    }
    return out;
}

std::vector<cairo_glyph_t> placed(cairo_t* cr, const TextStyle& style, std::string_view text, double x,
                                  double y, Align align) {
    double width = 0.0;
    std::vector<cairo_glyph_t> glyphs = layout(cr, style, text, 0.0, y, width);
    const double left = align == Align::Left ? x : align == Align::Centre ? x - width / 2.0 : x - width;
    for (cairo_glyph_t& g : glyphs)
        g.x += left;
    return glyphs;
}

} // namespace

double textWidth(cairo_t* cr, const TextStyle& style, std::string_view text) {
    double width = 0.0;
    layout(cr, style, text, 0.0, 0.0, width);
    return width;
}

double capHeight(cairo_t* cr, const TextStyle& style) {
    selectFont(cr, style);
    cairo_text_extents_t e;
    cairo_text_extents(cr, "H", &e);
    return -e.y_bearing;
}

void drawText(cairo_t* cr, const TextStyle& style, std::string_view text, double x, double y, Align align) {
    std::vector<cairo_glyph_t> glyphs = placed(cr, style, text, x, y, align);
    setColour(cr, style.colour);
    cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
}

void drawGlowingText(cairo_t* cr, const TextStyle& style, std::string_view text, double x, double y,
                     Align align, double glowAlpha) {
    std::vector<cairo_glyph_t> glyphs = placed(cr, style, text, x, y, align);
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_glyph_path(cr, glyphs.data(), static_cast<int>(glyphs.size()));
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    strokeGlow(cr, style.colour, 0.5, 3.0, glowAlpha);
    cairo_new_path(cr);
    cairo_restore(cr);
    setColour(cr, style.colour);
    cairo_show_glyphs(cr, glyphs.data(), static_cast<int>(glyphs.size()));
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius) {
    const double r = std::min(radius, std::min(w, h) / 2.0);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2.0, 0.0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0.0, M_PI / 2.0);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2.0, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
    cairo_close_path(cr);
}

void strokeGlow(cairo_t* cr, Colour c, double width, double spread, double alpha) {
    constexpr int kSteps = 5;
    for (int i = kSteps; i >= 1; --i) {
        const double t = static_cast<double>(i) / kSteps;
        cairo_set_line_width(cr, width + 2.0 * spread * t);
        setColour(cr, withAlpha(c, alpha * (1.0 - t) * 0.6 + alpha * 0.08));
        cairo_stroke_preserve(cr);
    }
}

Surface newSurface(int width, int height, int scale) {
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot create image");
    return s;
}

Context newContext(cairo_surface_t* surface, int scale) {
    Context c(cairo_create(surface));
    cairo_scale(c.get(), scale, scale);
    cairo_set_antialias(c.get(), CAIRO_ANTIALIAS_GOOD);
    return c;
}

void writePng(cairo_surface_t* surface, const std::string& path) {
    // Written beside the target and renamed over it, so a failed run never
    // leaves a truncated picture where the editor would load it.
    cairo_surface_flush(surface);
    const std::string partial = path + ".partial";
    const cairo_status_t status = cairo_surface_write_to_png(surface, partial.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        std::remove(partial.c_str());
        throw std::runtime_error("cannot write " + path + ": " + cairo_status_to_string(status));
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        throw std::runtime_error("cannot write " + path);
    }
}

void releaseFonts() {
    for (cairo_font_face_t*& f : gFaces) {
        if (f) cairo_font_face_destroy(f);
        f = nullptr;
    }
    cairo_debug_reset_static_data();
    FcFini();
}

} // namespace art

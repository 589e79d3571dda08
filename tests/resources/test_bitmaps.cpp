// The bitmaps the build draws into the bundle, read back as the editor would
// load them: sizes from the layout, knob frames that advance evenly, on/off
// frames that differ, and a legible label beside every control.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "editor/MorvaneEditorLayout.h"

namespace {

using namespace MorvaneLayout;

struct Rgba {
    double r, g, b, a; // straight (not premultiplied), 0..1
};

class Image {
  public:
    Image(int id, int scale) {
        char name[40];
        std::snprintf(name, sizeof name, scale == 1 ? "/bmp%05d.png" : "/bmp%05d@%dx.png", id, scale);
        path_ = std::string(MORVANE_RESOURCES_DIR) + name;
        surface_.reset(cairo_image_surface_create_from_png(path_.c_str()));
    }
    bool ok() const { return cairo_surface_status(surface_.get()) == CAIRO_STATUS_SUCCESS; }
    const std::string& path() const { return path_; }
    int width() const { return cairo_image_surface_get_width(surface_.get()); }
    int height() const { return cairo_image_surface_get_height(surface_.get()); }
    Rgba at(int x, int y) const {
        const auto* row =
            cairo_image_surface_get_data(surface_.get()) + y * cairo_image_surface_get_stride(surface_.get());
        const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
        const double a = (p >> 24) / 255.0;
        if (a == 0.0) return {0, 0, 0, 0};
        return {((p >> 16) & 0xff) / 255.0 / a, ((p >> 8) & 0xff) / 255.0 / a, (p & 0xff) / 255.0 / a, a};
    }

  private:
    struct Free {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };
    std::string path_;
    std::unique_ptr<cairo_surface_t, Free> surface_;
};

double luminance(const Rgba& c) {
    auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

// How strongly a pixel shows the cyan accent (0 for the blue-tinted greys,
// whites and amber).
double accent(const Rgba& c) {
    return c.a * std::max(0.0, std::min(c.g, c.b) - c.r - 0.25);
}

bool isFramed(const Control& c) {
    return c.kind == ControlKind::Knob || c.kind == ControlKind::OnOffButton ||
           c.kind == ControlKind::VerticalSwitch;
}

TEST(Bitmaps, EveryResourceExistsWithItsLayoutSizeAtBothScales) {
    for (const Resource& r : kResources)
        for (int scale : {1, 2}) {
            const Image img(r.id, scale);
            ASSERT_TRUE(img.ok()) << img.path();
            EXPECT_EQ(img.width(), r.width * scale) << img.path();
            EXPECT_EQ(img.height(), r.height() * scale) << img.path();
        }
    // Each framed control's rectangle is one frame of its bitmap.
    for (const Control& c : kControls)
        if (isFramed(c)) {
            const Resource* r = findResource(c.bitmap);
            ASSERT_NE(r, nullptr) << c.name;
            EXPECT_EQ(r->width, c.rect.width()) << c.name;
            EXPECT_EQ(r->frameHeight, c.rect.height()) << c.name;
        }
}

TEST(Bitmaps, KnobArcAndPointerAdvanceEvenlyAcrossTheFrames) {
    const Image knob(kKnobBitmap, 2);
    ASSERT_TRUE(knob.ok());
    const int w = knob.width(), fh = knob.height() / kKnobFrames;
    std::vector<double> arc;
    std::vector<std::pair<double, double>> pointer;
    for (int f = 0; f < kKnobFrames; ++f) {
        double sum = 0, px = 0, py = 0, n = 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgba c = knob.at(x, f * fh + y);
                sum += accent(c);
                if (c.a > 0.9 && std::min({c.r, c.g, c.b}) > 0.85) px += x, py += y, n += 1;
            }
        arc.push_back(sum);
        ASSERT_GT(n, 0) << "frame " << f << " has no pointer";
        pointer.emplace_back(px / n, py / n);
    }
    EXPECT_LT(arc.front(), 1.0);
    const double meanStep = (arc.back() - arc.front()) / (kKnobFrames - 1);
    auto chord = [&](int f) {
        return std::hypot(pointer[f].first - pointer[f - 1].first, pointer[f].second - pointer[f - 1].second);
    };
    double meanChord = 0;
    for (int f = 1; f < kKnobFrames; ++f)
        meanChord += chord(f) / (kKnobFrames - 1);
    for (int f = 1; f < kKnobFrames; ++f) {
        const double step = arc[f] - arc[f - 1];
        EXPECT_GT(step, 0.6 * meanStep) << "arc step into frame " << f;
        EXPECT_LT(step, 1.4 * meanStep) << "arc step into frame " << f;
        EXPECT_GT(chord(f), 0.6 * meanChord) << "pointer step into frame " << f;
        EXPECT_LT(chord(f), 1.4 * meanChord) << "pointer step into frame " << f;
    }
}

TEST(Bitmaps, OnFramesAreBrighterAndSwitchFramesLightTheirOwnPosition) {
    for (const Resource& r : kResources) {
        if (r.frames != kButtonFrames && r.frames != kSwitchFrames) continue;
        const Image img(r.id, 1);
        ASSERT_TRUE(img.ok()) << img.path();
        std::vector<double> light, accentY;
        for (int f = 0; f < r.frames; ++f) {
            double lum = 0, weight = 0, wy = 0;
            for (int y = 0; y < r.frameHeight; ++y)
                for (int x = 0; x < r.width; ++x) {
                    const Rgba c = img.at(x, f * r.frameHeight + y);
                    lum += c.a * luminance(c);
                    weight += accent(c), wy += accent(c) * y;
                }
            light.push_back(lum / (r.width * r.frameHeight));
            accentY.push_back(weight > 0 ? wy / weight : -1);
        }
        if (r.frames == kButtonFrames) {
            EXPECT_GT(light[1], 1.5 * light[0]) << "bitmap " << r.id << ": on is not brighter than off";
        } else {
            // A switch shows frame k for position k, top to bottom: its lit part
            // must sit in the k-th third of the frame.
            for (int f = 0; f < r.frames; ++f) {
                EXPECT_GE(accentY[f], f * r.frameHeight / 3.0) << "bitmap " << r.id << " frame " << f;
                EXPECT_LT(accentY[f], (f + 1) * r.frameHeight / 3.0) << "bitmap " << r.id << " frame " << f;
            }
        }
    }
}

// Every knob, button and switch has a label on the background just below its
// rectangle or in the rectangle's bottom band, legible against the panel
// (contrast at least 4.5 : 1), and no knob frame paints over it.
TEST(Bitmaps, EveryControlHasALegibleUncoveredLabelBesideIt) {
    const Image knob(kKnobBitmap, 1);
    ASSERT_TRUE(knob.ok());
    for (int scale : {1, 2}) {
        const Image bg(kBackgroundBitmap, scale);
        ASSERT_TRUE(bg.ok());
        for (const Control& c : kControls) {
            if (!isFramed(c)) continue;
            const int x0 = (c.rect.left - 6) * scale, x1 = std::min(c.rect.right + 6, kWindowWidth) * scale;
            const int y0 = (c.rect.bottom - 14) * scale,
                      y1 = std::min(c.rect.bottom + 16, kWindowHeight) * scale;
            std::vector<double> lum;
            double brightest = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    lum.push_back(luminance(bg.at(x, y)));
                    brightest = std::max(brightest, lum.back());
                }
            std::nth_element(lum.begin(), lum.begin() + lum.size() / 2, lum.end());
            const double panel = lum[lum.size() / 2];
            EXPECT_GE((brightest + 0.05) / (panel + 0.05), 4.5) << c.name << " at " << scale << "x";
            if (scale != 1 || c.kind != ControlKind::Knob) continue;
            // Label ink inside the knob's rectangle must stay uncovered by every frame.
            int inkInside = 0;
            for (int y = std::max(y0, c.rect.top); y < c.rect.bottom; ++y)
                for (int x = c.rect.left; x < c.rect.right; ++x) {
                    if ((luminance(bg.at(x, y)) + 0.05) / (panel + 0.05) < 3.0) continue;
                    ++inkInside;
                    for (int f = 0; f < kKnobFrames; ++f)
                        ASSERT_EQ(knob.at(x - c.rect.left, f * c.rect.height() + y - c.rect.top).a, 0.0)
                            << c.name << ": knob frame " << f << " covers its label at " << x << "," << y;
                }
            EXPECT_GT(inkInside, 0) << c.name;
        }
    }
}

} // namespace

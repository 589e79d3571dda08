#include "gui/CBitmap.h"

#include <cstdio>
#include <sys/stat.h>

#include "gui/CDrawContext.h"

namespace VSTGUI {

namespace {

struct BundleReference {
    std::string directory;
    long references = 0;
};

BundleReference gBundle;
std::string gResourceFolder;

bool isRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

cairo_surface_t* loadPNG(const std::string& path) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

} // namespace

void retainBundle(const std::string& bundleDirectory) {
    if (gBundle.references++ == 0) gBundle.directory = bundleDirectory;
}

void releaseBundle() {
    if (gBundle.references > 0 && --gBundle.references == 0) gBundle.directory.clear();
}

void setResourceFolder(const std::string& folder) {
    gResourceFolder = folder;
}

std::string getResourceFolder() {
    if (!gResourceFolder.empty()) return gResourceFolder;
    if (!gBundle.directory.empty()) return gBundle.directory + "/Contents/Resources";
    return std::string();
}

CBitmap::CBitmap(long id) : resourceID(id) {
    const std::string folder = getResourceFolder();
    if (folder.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, "/bmp%05ld", id);
    const std::string base = folder + name;
    for (const char* extension : {".png", ".bmp", ".jpg", ".pict"}) {
        if (!isRegularFile(base + extension)) continue;
        normal = loadPNG(base + extension);
        break;
    }
    doublePath = base + "@2x.png";
    if (normal) {
        width = cairo_image_surface_get_width(normal);
        height = cairo_image_surface_get_height(normal);
    }
}

CBitmap::~CBitmap() {
    if (normal) cairo_surface_destroy(normal);
    if (doubled) cairo_surface_destroy(doubled);
}

cairo_surface_t* CBitmap::surfaceFor(double scaleFactor) {
    if (scaleFactor > 1.0 && normal && !doubledTried) {
        doubledTried = true;
        doubled = isRegularFile(doublePath) ? loadPNG(doublePath) : nullptr;
    }
    return scaleFactor > 1.0 && doubled ? doubled : normal;
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    if (!context || rect.isEmpty()) return;
    cairo_surface_t* surface = surfaceFor(context->getScaleFactor());
    if (!surface) return;
    cairo_t* cr = context->getCairo();
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
    cairo_clip(cr);
    cairo_translate(cr, rect.left - offset.h, rect.top - offset.v);
    // The picture's own pixels map to logical pixels at its own density.
    const double density = static_cast<double>(cairo_image_surface_get_width(surface)) / width;
    if (density != 1.0) cairo_scale(cr, 1.0 / density, 1.0 / density);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
    draw(context, rect, offset);
}

} // namespace VSTGUI

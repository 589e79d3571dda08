// Bitmaps loaded by resource id from the plug-in bundle's resource folder,
// and that folder itself.
//
// Resource id N is the file "bmpNNNNN" (five digits) with the first of the
// extensions png, bmp, jpg, pict that exists; it is decoded as PNG (through
// Cairo). A frame drawn at scale 2 uses "bmpNNNNN@2x.png" when it exists,
// drawn at the same logical size. A bitmap whose file is missing or cannot be
// decoded has size 0 x 0 and draws nothing.
#pragma once

#include <cairo.h>
#include <string>

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"

namespace VSTGUI {

class CDrawContext;

// User-interface thread: the bundle reference the toolkit keeps for the
// plug-in. retainBundle takes a reference to the bundle at bundleDirectory
// (the first reference sets the directory); releaseBundle drops one, and the
// last drop forgets the directory.
void retainBundle(const std::string& bundleDirectory);
void releaseBundle();
// User-interface thread: an explicit resource folder (tests, headless
// snapshots, hosts that lay files out differently) that wins over the bundle;
// an empty string removes it.
void setResourceFolder(const std::string& folder);
// User-interface thread: where bitmaps are looked for: the explicit folder,
// else the bundle's Contents/Resources, else "" (no bitmaps).
std::string getResourceFolder();

class CBitmap : public CBaseObject {
  public:
    // User-interface thread: loads resource id resourceID from the resource
    // folder as it is now.
    explicit CBitmap(long resourceID);
    ~CBitmap() override;

    // User-interface thread: the logical size (that of the 1x picture).
    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    bool isLoaded() const { return normal != nullptr; }
    long getResourceID() const { return resourceID; }

    // User-interface thread: draws the part of the bitmap that starts at
    // offset into rect. Both composite the picture with its own alpha (so a
    // fully opaque picture simply covers what is beneath); drawTransparent is
    // the name controls use when their transparency is on.
    void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0));
    void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0));

  private:
    cairo_surface_t* surfaceFor(double scaleFactor);

    long resourceID;
    std::string doublePath; // the @2x file, loaded on first use at scale 2
    cairo_surface_t* normal = nullptr;
    cairo_surface_t* doubled = nullptr;
    bool doubledTried = false;
    CCoord width = 0;
    CCoord height = 0;
};

} // namespace VSTGUI

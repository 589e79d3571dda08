// A plug-in bundle holding the toolkit, for checking that an editor inside a
// loaded library finds that library's bundle and loads bitmaps from it.
#include <cstdio>

#include "gui/CBitmap.h"
#include "gui/PluginGUIEditor.h"

// The width of bitmap id as an editor in this bundle loads it, and (into
// folder) where it looked.
extern "C" __attribute__((visibility("default"))) long MorvaneTestEditor_bitmapWidth(long id, char* folder,
                                                                                     unsigned long size) {
    VSTGUI::PluginGUIEditor editor(nullptr);
    std::snprintf(folder, size, "%s", VSTGUI::getResourceFolder().c_str());
    VSTGUI::CBitmap* bitmap = new VSTGUI::CBitmap(id);
    const long width = bitmap->getWidth();
    bitmap->forget();
    return width;
}

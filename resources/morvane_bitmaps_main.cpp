// Draws the editor's bitmaps into a bundle's resource folder, or composes the
// whole window for a look before the editor exists.
//
//   morvane-bitmaps --out DIR                        bmpNNNNN.png and bmpNNNNN@2x.png for every resource
//   morvane-bitmaps --preview OUT.png [--scale 2]    the window at the parameters' defaults
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "editor/MorvaneEditorLayout.h"
#include "params/MorvaneParameterManager.h"
#include "resources/MorvaneArtwork.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: morvane-bitmaps --out DIR\n"
                         "       morvane-bitmaps --preview OUT.png [--scale 1|2]\n");
    return 2;
}

std::string bitmapPath(const std::string& dir, int id, int scale) {
    char name[32];
    std::snprintf(name, sizeof name, scale == 1 ? "/bmp%05d.png" : "/bmp%05d@%dx.png", id, scale);
    return dir + name;
}

void writeAll(const std::string& dir) {
    for (const MorvaneLayout::Resource& r : MorvaneLayout::kResources)
        for (int scale : {1, 2}) {
            art::Surface s = art::drawResource(r.id, scale);
            art::writePng(s.get(), bitmapPath(dir, r.id, scale));
        }
}

void writePreview(const std::string& path, int scale) {
    MorvaneParameterManager params;
    char name[64] = {}, value[32] = {};
    params.getName(kFilterFreq, name, 63);
    params.getValueString(kFilterFreq, value, 31);
    const std::string display = std::string(name) + " : " + value;
    art::Surface s =
        art::composeWindow([&](int tag) { return params.getVSTvalue(tag); }, display.c_str(), scale);
    art::writePng(s.get(), path);
}

} // namespace

int main(int argc, char** argv) {
    std::string out, preview;
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--out") && hasValue)
            out = argv[++i];
        else if (!std::strcmp(argv[i], "--preview") && hasValue)
            preview = argv[++i];
        else if (!std::strcmp(argv[i], "--scale") && hasValue) {
            const std::string v = argv[++i];
            if (v != "1" && v != "2") return usage();
            scale = v == "1" ? 1 : 2;
        } else
            return usage();
    }
    if (out.empty() == preview.empty()) return usage();
    int status = 0;
    try {
        const std::string illegible = art::illegibleText();
        if (!illegible.empty()) throw std::runtime_error("text below 4.5 : 1 contrast: " + illegible);
        if (!out.empty())
            writeAll(out);
        else
            writePreview(preview, scale);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "morvane-bitmaps: %s\n", e.what());
        status = 1;
    }
    art::releaseFonts();
    return status;
}

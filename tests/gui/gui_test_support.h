// Helpers for headless toolkit tests: a scratch resource folder with bitmaps
// whose frames are solid, known colours, and listeners that record what the
// controls tell them.
#pragma once

#include <cairo.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "gui/vstgui.h"

namespace VSTGUI {
// Colours in test failures as "(r, g, b, a)".
inline void PrintTo(const CColor& c, std::ostream* out) {
    *out << "(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ", " << int(c.alpha) << ")";
}
inline void PrintTo(const CPoint& p, std::ostream* out) {
    *out << "(" << p.h << ", " << p.v << ")";
}
} // namespace VSTGUI

namespace guitest {

using namespace VSTGUI;

// A temporary folder, set as the toolkit's resource folder while it lives.
class ResourceFolder {
  public:
    ResourceFolder() {
        char name[] = "/tmp/morvane-gui-XXXXXX";
        path = mkdtemp(name);
        setResourceFolder(path);
    }
    ~ResourceFolder() {
        setResourceFolder("");
        std::filesystem::remove_all(path);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }

    // bmpNNNNN.png (or @2x at scale 2): frames stacked vertically, frame k
    // filled with colourOf(k).
    void writeStrip(long id, int width, int frameHeight, int frames,
                    const std::function<CColor(int)>& colourOf, int scale = 1) const {
        cairo_surface_t* s =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, frameHeight * frames * scale);
        cairo_t* cr = cairo_create(s);
        for (int k = 0; k < frames; ++k) {
            const CColor c = colourOf(k);
            cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, c.alpha / 255.0);
            cairo_rectangle(cr, 0, k * frameHeight * scale, width * scale, frameHeight * scale);
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        char name[32];
        std::snprintf(name, sizeof name, scale == 2 ? "bmp%05ld@2x.png" : "bmp%05ld.png", id);
        cairo_surface_write_to_png(s, file(name).c_str());
        cairo_surface_destroy(s);
    }

    std::string path;
};

// Knob frame k is (k * 7, 0, 255 - k * 7): its red channel names the frame.
inline CColor knobFrameColour(int k) {
    return CColor{static_cast<unsigned char>(k * 7), 0, static_cast<unsigned char>(255 - k * 7), 255};
}

// What listener and editor hear, in order: "value TAG VALUE", "modifier TAG
// BUTTONS", "begin TAG", "end TAG" from the listener, "editor begin TAG",
// "editor end TAG" from the editor.
typedef std::vector<std::string> EventLog;

struct Listener : CControlListener {
    explicit Listener(EventLog& events) : log(events) {}
    EventLog& log;
    long modifierAnswer = 0;

    void valueChanged(CControl* c) override { log.push_back(say("value", c->getTag(), c->getValue())); }
    long controlModifierClicked(CControl* c, long buttons) override {
        log.push_back("modifier " + std::to_string(c->getTag()) + " " + std::to_string(buttons));
        return modifierAnswer;
    }
    void controlBeginEdit(CControl* c) override { log.push_back("begin " + std::to_string(c->getTag())); }
    void controlEndEdit(CControl* c) override { log.push_back("end " + std::to_string(c->getTag())); }

    static std::string say(const char* what, long tag, float value) {
        char text[64];
        std::snprintf(text, sizeof text, "%s %ld %g", what, tag, value);
        return text;
    }
};

// The editor side of a frame: the gestures it forwards.
struct EditorLog : VSTGUIEditorInterface {
    explicit EditorLog(EventLog& events) : log(events) {}
    EventLog& log;
    long knobMode = kLinearMode;
    long getKnobMode() const override { return knobMode; }
    void beginEdit(long tag) override { log.push_back("editor begin " + std::to_string(tag)); }
    void endEdit(long tag) override { log.push_back("editor end " + std::to_string(tag)); }
};

inline CMouseEventResult press(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    return f.onMouseDown(p, buttons);
}
inline CMouseEventResult drag(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    return f.onMouseMoved(p, buttons);
}
inline CMouseEventResult release(CFrame& f, CCoord x, CCoord y, long buttons = kLButton) {
    CPoint p(x, y);
    return f.onMouseUp(p, buttons);
}

} // namespace guitest

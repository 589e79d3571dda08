// A small window of toolkit controls: a knob, an on/off button, a
// three-position switch, a pop-up menu, a dashed link line and a text display
// that names the last control touched. Its pictures are drawn here with Cairo
// into a scratch resource folder and loaded back by resource id, as an
// editor's are.
//
//   morvane-gui-demo [--seconds N] [--scale 1|2] [--embed] [--png OUT.png]
//
// Without --png it opens a top-level X11 window and runs until the window is
// closed (or N seconds have passed); --embed puts the editor inside a window
// of this program's own at (20, 20), as a plug-in host would; with --png it
// renders headless to OUT.
#include <X11/Xlib.h>
#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>

#include "gui/vstgui.h"

using namespace VSTGUI;

namespace {

enum : long { kBackground = 20000, kKnob = 20001, kButton = 20002, kSwitch = 20003 };
enum : long { kLevelTag = 1, kActiveTag = 2, kModeTag = 3, kTargetTag = 4 };

const CColor kCyanText{0, 255, 255, 150};

void rgb(cairo_t* cr, double r, double g, double b, double a = 1.0) {
    cairo_set_source_rgba(cr, r, g, b, a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -std::numbers::pi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, std::numbers::pi / 2);
    cairo_arc(cr, x + r, y + h - r, r, std::numbers::pi / 2, std::numbers::pi);
    cairo_arc(cr, x + r, y + r, r, std::numbers::pi, 1.5 * std::numbers::pi);
    cairo_close_path(cr);
}

void label(cairo_t* cr, const char* text, double centreX, double baseline, double size, double alpha) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    rgb(cr, 0.85, 0.88, 0.92, alpha);
    cairo_move_to(cr, centreX - e.x_advance / 2, baseline);
    cairo_show_text(cr, text);
}

void drawBackground(cairo_t* cr) {
    rgb(cr, 0.075, 0.086, 0.106);
    cairo_paint(cr);
    rgb(cr, 0.110, 0.125, 0.153);
    roundedRect(cr, 8, 34, 344, 104, 6);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 13);
    rgb(cr, 0, 1, 1);
    cairo_move_to(cr, 12, 22);
    cairo_show_text(cr, "MORVANE");
    label(cr, "TOOLKIT DEMO", 300, 22, 9, 0.55);
    label(cr, "LEVEL", 50, 128, 9, 0.9);
    label(cr, "ACTIVE", 130, 128, 9, 0.9);
    label(cr, "MODE", 200, 128, 9, 0.9);
    label(cr, "TARGET", 295, 62, 9, 0.9);
    // The menu's well and the display's recessed strip.
    rgb(cr, 0.047, 0.055, 0.067);
    roundedRect(cr, 250, 70, 90, 17, 3);
    cairo_fill(cr);
    roundedRect(cr, 16, 163, 328, 24, 3);
    cairo_fill(cr);
}

void drawKnobFrame(cairo_t* cr, int frame) {
    const double v = frame / 32.0;
    const double start = 0.75 * std::numbers::pi, sweep = 1.5 * std::numbers::pi;
    rgb(cr, 0.30, 0.33, 0.38);
    cairo_set_line_width(cr, 3);
    cairo_arc(cr, 30, 30, 25, start, start + sweep);
    cairo_stroke(cr);
    if (frame > 0) {
        rgb(cr, 0, 1, 1);
        cairo_arc(cr, 30, 30, 25, start, start + sweep * v);
        cairo_stroke(cr);
    }
    rgb(cr, 0.16, 0.18, 0.21);
    cairo_arc(cr, 30, 30, 19, 0, 2 * std::numbers::pi);
    cairo_fill_preserve(cr);
    rgb(cr, 0.40, 0.44, 0.50);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    const double a = start + sweep * v;
    rgb(cr, 0.92, 0.95, 0.98);
    cairo_set_line_width(cr, 2.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 30 + 6 * std::cos(a), 30 + 6 * std::sin(a));
    cairo_line_to(cr, 30 + 16 * std::cos(a), 30 + 16 * std::sin(a));
    cairo_stroke(cr);
}

void drawButtonFrame(cairo_t* cr, int frame) {
    const bool on = frame == 1;
    if (on) {
        rgb(cr, 0, 1, 1, 0.25);
        roundedRect(cr, 2, 2, 36, 36, 7);
        cairo_set_line_width(cr, 4);
        cairo_stroke(cr);
    }
    rgb(cr, on ? 0.20 : 0.15, on ? 0.24 : 0.17, on ? 0.27 : 0.20);
    roundedRect(cr, 4, 4, 32, 32, 6);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 10);
    cairo_text_extents_t e;
    cairo_text_extents(cr, "ON", &e);
    if (on)
        rgb(cr, 0, 1, 1);
    else
        rgb(cr, 0.5, 0.52, 0.55);
    cairo_move_to(cr, 20 - e.x_advance / 2, 24);
    cairo_show_text(cr, "ON");
}

void drawSwitchFrame(cairo_t* cr, int frame) {
    rgb(cr, 0.047, 0.055, 0.067);
    roundedRect(cr, 15, 4, 10, 52, 5);
    cairo_fill(cr);
    const double y = 12 + frame * 18;
    rgb(cr, 0, 0.85, 0.85);
    roundedRect(cr, 8, y - 6, 24, 12, 4);
    cairo_fill(cr);
}

// bmpNNNNN.png and bmpNNNNN@2x.png: frames of w x h stacked vertically.
bool writePicture(const std::string& folder, long id, int w, int h, int frames,
                  void (*paint)(cairo_t*, int)) {
    for (int scale = 1; scale <= 2; ++scale) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * scale, h * frames * scale);
        cairo_t* cr = cairo_create(s);
        cairo_scale(cr, scale, scale);
        for (int k = 0; k < frames; ++k) {
            cairo_save(cr);
            cairo_translate(cr, 0, k * h);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_clip(cr);
            paint(cr, k);
            cairo_restore(cr);
        }
        cairo_destroy(cr);
        char name[40];
        std::snprintf(name, sizeof name, scale == 1 ? "/bmp%05ld.png" : "/bmp%05ld@2x.png", id);
        const bool ok = cairo_surface_write_to_png(s, (folder + name).c_str()) == CAIRO_STATUS_SUCCESS;
        cairo_surface_destroy(s);
        if (!ok) return false;
    }
    return true;
}

// A dashed link line, drawn the way the motion pad draws its links.
class LinkLine : public CView {
  public:
    LinkLine() : CView(CRect(16, 145, 344, 155)) {}
    void draw(CDrawContext* context) override {
        context->setDrawMode(kAntialias);
        context->setLineStyle(kLineOnOffDash);
        context->setLineWidth(2);
        context->setFrameColor(CColor{0, 255, 255, 200});
        context->moveTo(CPoint(20, 150));
        context->lineTo(CPoint(340, 150));
        context->setLineStyle(kLineSolid);
    }
};

class DemoEditor : public PluginGUIEditor, public CControlListener {
  public:
    DemoEditor() : PluginGUIEditor(nullptr) { rect = ERect{0, 0, 200, 360}; }

    bool open(void* window) override {
        PluginGUIEditor::open(window);
        frame = new CFrame(CRect(0, 0, 360, 200), window, this);
        CBitmap* background = new CBitmap(kBackground);
        frame->setBackground(background);
        background->forget();

        CBitmap* knobStrip = new CBitmap(kKnob);
        knob = new CAnimKnob(CRect(20, 50, 80, 110), this, kLevelTag, 33, 60, knobStrip);
        knob->setValue(0.5f);
        knobStrip->forget();
        CBitmap* buttonStrip = new CBitmap(kButton);
        auto* button = new CMovieButton(CRect(110, 60, 150, 100), this, kActiveTag, buttonStrip);
        buttonStrip->forget();
        CBitmap* switchStrip = new CBitmap(kSwitch);
        auto* lever = new CVerticalSwitch(CRect(180, 50, 220, 110), this, kModeTag, 3, 60, 3, switchStrip);
        switchStrip->forget();
        auto* menu = new COptionMenu(CRect(250, 70, 340, 87), this, kTargetTag, nullptr, nullptr,
                                     kPopupStyle | kCheckStyle);
        for (const char* entry : {"Filter Frequency", "Delay Mix", "Saturation", "Output Gain"})
            menu->addEntry(entry);
        menu->setFontColor(CColor{210, 220, 230, 255});
        display = new CTextEdit(CRect(20, 165, 340, 185), this, 0, " ");
        display->setFont(kNormalFontSmaller);
        display->setTxtFace(kBoldFace);
        display->setFontColor(kCyanText);
        display->setTransparency(true);
        display->setTextTransparency(true);
        display->setHoriAlign(kLeftText);
        display->setMouseEnabled(false);

        frame->addView(new LinkLine);
        frame->addView(knob);
        frame->addView(button);
        frame->addView(lever);
        frame->addView(menu);
        frame->addView(display);
        describe(knob);
        setKnobMode(kLinearMode);
        return true;
    }

    void close() override {
        delete frame;
        frame = nullptr;
        PluginGUIEditor::close();
    }

    void valueChanged(CControl* control) override { describe(control); }

    void describe(CControl* control) {
        char text[96];
        switch (control->getTag()) {
        case kLevelTag:
            std::snprintf(text, sizeof text, "LEVEL : %.2f", control->getValue());
            break;
        case kActiveTag:
            std::snprintf(text, sizeof text, "ACTIVE : %s", control->getValue() > 0.5f ? "ON" : "OFF");
            break;
        case kModeTag: {
            static const char* const names[] = {"FREE", "LOCK", "LINK"};
            std::snprintf(text, sizeof text, "MODE : %s", names[std::lround(control->getValue() * 2)]);
            break;
        }
        default: {
            const char* entry = static_cast<COptionMenu*>(control)->getEntry(
                static_cast<COptionMenu*>(control)->getCurrentIndex());
            std::snprintf(text, sizeof text, "TARGET : %s", entry ? entry : "");
            for (char* c = text; *c; ++c)
                *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        }
        }
        display->setText(text);
    }

  private:
    CAnimKnob* knob = nullptr;
    CTextEdit* display = nullptr;
};

// The host view's 50 ms timer.
struct IdleDriver : CBaseObject {
    explicit IdleDriver(PluginGUIEditor& e) : editor(e) {}
    CMessageResult notify(CBaseObject*, const char*) override {
        editor.doIdleStuff();
        return kMessageNotified;
    }
    PluginGUIEditor& editor;
};

int usage() {
    std::fprintf(stderr, "usage: morvane-gui-demo [--seconds N] [--scale 1|2] [--embed] [--png OUT.png]\n");
    return 2;
}

// The window a host would give: grey, 40 px larger than the editor each way.
struct HostWindow {
    Display* display = nullptr;
    Window window = 0;

    bool open(int scale) {
        display = XOpenDisplay(nullptr);
        if (!display) return false;
        const int screen = DefaultScreen(display);
        window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, (360 + 40) * scale,
                                     (200 + 40) * scale, 0, 0, 0x505860);
        XStoreName(display, window, "Morvane toolkit demo host");
        XMapWindow(display, window);
        XSync(display, False);
        return true;
    }
    ~HostWindow() {
        if (!display) return;
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
};

} // namespace

int main(int argc, char** argv) {
    double seconds = 0.0;
    int scale = 1;
    const char* png = nullptr;
    bool embed = false;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--seconds") && hasValue)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--scale") && hasValue)
            scale = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--png") && hasValue)
            png = argv[++i];
        else if (!std::strcmp(argv[i], "--embed"))
            embed = true;
        else
            return usage();
    }
    if (scale != 1 && scale != 2) return usage();

    char scratch[] = "/tmp/morvane-gui-demo-XXXXXX";
    if (!mkdtemp(scratch)) {
        std::perror("morvane-gui-demo: scratch folder");
        return 1;
    }
    const std::string folder = scratch;
    const bool drawn =
        writePicture(folder, kBackground, 360, 200, 1, [](cairo_t* cr, int) { drawBackground(cr); }) &&
        writePicture(folder, kKnob, 60, 60, 33, drawKnobFrame) &&
        writePicture(folder, kButton, 40, 40, 2, drawButtonFrame) &&
        writePicture(folder, kSwitch, 40, 60, 3, drawSwitchFrame);
    setResourceFolder(folder);

    int status = 0;
    HostWindow host;
    if (embed && !png && !host.open(scale)) {
        std::fprintf(stderr, "morvane-gui-demo: no X display (set DISPLAY, or use --png)\n");
        status = 1;
    } else if (!drawn) {
        std::fprintf(stderr, "morvane-gui-demo: cannot write pictures into %s\n", scratch);
        status = 1;
    } else {
        DemoEditor editor;
        SystemWindow window;
        window.kind = png ? SystemWindow::kHeadless : SystemWindow::kX11TopLevel;
        if (host.display) {
            window.kind = SystemWindow::kX11Embedded;
            window.parent = host.window;
        }
        window.scaleFactor = scale;
        window.title = "Morvane toolkit demo";
        editor.open(&window);
        if (host.display) editor.getFrame()->setNativeViewPosition(20 * scale, 20 * scale);
        if (png) {
            if (!editor.getFrame()->writePNG(png)) {
                std::fprintf(stderr, "morvane-gui-demo: cannot write %s\n", png);
                status = 1;
            }
        } else if (editor.getFrame()->isHeadless()) {
            std::fprintf(stderr, "morvane-gui-demo: no X display (set DISPLAY, or use --png)\n");
            status = 1;
        } else {
            IdleDriver driver(editor);
            CVSTGUITimer idleTimer(&driver, 50);
            idleTimer.start();
            const uint32_t start = PluginGUIEditor::getTicks();
            while (!editor.getFrame()->isCloseRequested() &&
                   (seconds <= 0.0 || PluginGUIEditor::getTicks() - start < seconds * 1000.0))
                UIEventLoop::get().run(0.05);
        }
        editor.close();
    }
    setResourceFolder("");
    std::filesystem::remove_all(folder);
    return status;
}

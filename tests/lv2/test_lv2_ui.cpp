// The LV2 editor (morvane_ui.so) in a host of our own under an X server: the
// plug-in instantiated through lilv, the editor embedded in a window of the
// test's, the host's side of the protocol played the way jalv and Ardour
// play it (a write lands on the port before the next run; Ardour also sends
// the written value back). Mouse events go to the editor's window with
// XSendEvent; pixels come back with XGetImage. Skipped without a display
// (CTest runs it under xvfb-run).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "editor/MorvaneEditorLayout.h"
#include "host/lv2/MorvaneLv2.h"
#include "lv2_test_host.h"

// Last: Xlib's macros would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

namespace L = MorvaneLayout;
using namespace std::chrono_literals;

struct Write {
    uint32_t port;
    float value;
};

class Lv2Ui : public ::testing::Test {
  protected:
    void SetUp() override {
        // (An X server that resets when its last client leaves takes a moment.)
        for (int attempt = 0; attempt < 40 && !display; ++attempt) {
            display = XOpenDisplay(nullptr);
            if (!display && std::getenv("DISPLAY")) std::this_thread::sleep_for(50ms);
        }
        if (!display) GTEST_SKIP() << "no X display";
        const int screen = DefaultScreen(display);
        parent = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 800, 500, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);

        plugin = std::make_unique<lv2_test::Plugin>(morvane_lv2::kStereoUri, 48000.0, 512);
        plugin->activate();
        run(0.02);

        library = dlopen(MORVANE_LV2_BUNDLE_DIR "/morvane_ui.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_STREQ(descriptor->URI, morvane_lv2::kUiUri);
        EXPECT_EQ(entry(1), nullptr);
    }
    void TearDown() override {
        if (ui) descriptor->cleanup(ui);
        plugin.reset();
        if (library) dlclose(library);
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    LV2UI_Handle open(bool withInstance = true) {
        dataAccess.data_access = lilv_instance_get_descriptor(plugin->instance())->extension_data;
        features.clear();
        if (withInstance) {
            features.push_back({LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(plugin->instance())});
            features.push_back({LV2_DATA_ACCESS_URI, &dataAccess});
        }
        features.push_back({LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))});
        features.push_back({LV2_UI__resize, &resize});
        features.push_back({LV2_UI__touch, &touch});
        std::vector<const LV2_Feature*> list;
        for (const LV2_Feature& f : features)
            list.push_back(&f);
        list.push_back(nullptr);
        LV2UI_Widget widget = nullptr;
        ui = descriptor->instantiate(descriptor, morvane_lv2::kStereoUri, MORVANE_LV2_BUNDLE_DIR,
                                     &Lv2Ui::onWrite, this, &widget, list.data());
        editorWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(widget));
        if (ui)
            idle =
                static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        return ui;
    }

    // The host at work for `seconds`: the editor's idle and the plug-in's
    // runs, 5 ms apart, the editor's writes landing on the ports.
    void run(double seconds) {
        std::vector<std::vector<float>> in(2, std::vector<float>(240, 0.0f)), out(2);
        for (double t = 0; t < seconds; t += 0.005) {
            if (ui) {
                ASSERT_EQ(idle->idle(ui), 0);
            }
            out[0].clear();
            out[1].clear();
            plugin->run(in, 0, 240, out);
            std::this_thread::sleep_for(5ms);
        }
    }
    void sendPort(uint32_t port, float value) {
        plugin->control(port) = value;
        descriptor->port_event(ui, port, sizeof value, 0, &value);
    }
    float unitValue(uint32_t port) {
        float value = 0;
        AudioUnitGetParameter(plugin->unit(), port, kAudioUnitScope_Global, 0, &value);
        return value;
    }
    std::vector<Write> writesTo(uint32_t port) const {
        std::vector<Write> found;
        for (const Write& w : writes)
            if (w.port == port) found.push_back(w);
        return found;
    }

    // Mouse events as the X server would deliver them to the editor.
    void mouse(int type, int x, int y, unsigned state = 0) {
        XEvent event{};
        event.type = type;
        event.xany.window = editorWindow;
        if (type == MotionNotify) {
            event.xmotion.x = x;
            event.xmotion.y = y;
            event.xmotion.state = state;
            event.xmotion.same_screen = True;
        } else {
            event.xbutton.x = x;
            event.xbutton.y = y;
            event.xbutton.button = Button1;
            event.xbutton.state = state;
            event.xbutton.same_screen = True;
        }
        const long mask = type == MotionNotify  ? PointerMotionMask
                          : type == ButtonPress ? ButtonPressMask
                                                : ButtonReleaseMask;
        XSendEvent(display, editorWindow, False, mask, &event);
        XFlush(display);
        run(0.03);
    }
    void dragUp(int x, int y, int distance) {
        mouse(ButtonPress, x, y);
        for (int d = 10; d <= distance; d += 10)
            mouse(MotionNotify, x, y - d, Button1Mask);
        mouse(ButtonRelease, x, y - distance, Button1Mask);
    }
    // The editor's pixels in rect, as a string to compare.
    std::string pixels(const L::Rect& r) {
        XImage* image =
            XGetImage(display, editorWindow, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                      static_cast<unsigned>(r.bottom - r.top), AllPlanes, ZPixmap);
        if (!image) return {};
        std::string bytes(image->data, static_cast<size_t>(image->bytes_per_line) * image->height);
        XDestroyImage(image);
        return bytes;
    }

    static void onWrite(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                        const void* buffer) {
        auto* self = static_cast<Lv2Ui*>(controller);
        ASSERT_EQ(protocol, 0u);
        ASSERT_EQ(size, sizeof(float));
        const float value = *static_cast<const float*>(buffer);
        self->writes.push_back({port, value});
        self->log.push_back("write " + std::to_string(port));
        if (self->landWrites) self->plugin->control(port) = value; // before the next run
    }
    static int onResize(LV2UI_Feature_Handle handle, int width, int height) {
        auto* self = static_cast<Lv2Ui*>(handle);
        self->size[0] = width;
        self->size[1] = height;
        return 0;
    }
    static void onTouch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
        static_cast<Lv2Ui*>(handle)->log.push_back((grabbed ? "touch " : "untouch ") + std::to_string(port));
    }

    Display* display = nullptr;
    Window parent = 0, editorWindow = 0;
    std::unique_ptr<lv2_test::Plugin> plugin;
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    LV2UI_Handle ui = nullptr;
    LV2_Extension_Data_Feature dataAccess{};
    LV2UI_Resize resize{this, &Lv2Ui::onResize};
    LV2UI_Touch touch{this, &Lv2Ui::onTouch};
    std::vector<LV2_Feature> features;
    std::vector<Write> writes;
    bool landWrites = true;
    std::vector<std::string> log;
    int size[2] = {0, 0};
};

TEST_F(Lv2Ui, TheEditorEmbedsInTheHostsWindowAndNeedsTheInstance) {
    EXPECT_EQ(open(false), nullptr); // instance-access is required
    ASSERT_NE(open(), nullptr);
    Window root = 0, parentOf = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, editorWindow, &root, &parentOf, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(parentOf, parent);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, editorWindow, &attributes));
    const int scale = attributes.width / L::kWindowWidth;
    EXPECT_EQ(attributes.width, L::kWindowWidth * scale);
    EXPECT_EQ(attributes.height, L::kWindowHeight * scale);
    EXPECT_EQ(size[0], attributes.width);
    EXPECT_EQ(size[1], attributes.height);
    run(0.2);
    EXPECT_TRUE(writes.empty()) << writes.size() << " writes of values the host has";
}

TEST_F(Lv2Ui, AHostChangeMovesTheKnobAndIsNotSentBack) {
    ASSERT_NE(open(), nullptr);
    run(0.2);
    const L::Rect mix = L::findControl(12)->rect;
    const std::string before = pixels(mix);
    sendPort(12, 95.0f); // Wet/Dry Mix
    run(0.2);
    EXPECT_EQ(unitValue(12), 95.0f);
    EXPECT_NE(pixels(mix), before);
    EXPECT_TRUE(writesTo(12).empty());
}

TEST_F(Lv2Ui, AKnobDragIsWrittenToThePortBetweenTouches) {
    ASSERT_NE(open(), nullptr);
    run(0.2);
    const L::Rect r = L::findControl(2)->rect; // Filter Resonance
    const float before = plugin->control(2);
    dragUp((r.left + r.right) / 2, (r.top + r.bottom) / 2, 60);
    run(0.2);
    const std::vector<Write> moves = writesTo(2);
    ASSERT_FALSE(moves.empty());
    EXPECT_GT(moves.back().value, before);
    EXPECT_EQ(plugin->control(2), moves.back().value);
    EXPECT_EQ(unitValue(2), moves.back().value);
    // touch, the values, untouch.
    std::vector<std::string> mine;
    for (const std::string& entry : log)
        if (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, " 2") == 0) mine.push_back(entry);
    ASSERT_GE(mine.size(), 3u);
    EXPECT_EQ(mine.front(), "touch 2");
    EXPECT_EQ(mine[1], "write 2");
    EXPECT_EQ(mine.back(), "untouch 2");
}

TEST_F(Lv2Ui, TheHostsEchoesOfADragDoNotPullTheEffectBack) {
    ASSERT_NE(open(), nullptr);
    run(0.2);
    // A slow host: the writes reach its ports (and come back to the editor,
    // as Ardour sends them) only after the drag, one a run.
    landWrites = false;
    const L::Rect r = L::findControl(12)->rect;
    dragUp((r.left + r.right) / 2, (r.top + r.bottom) / 2, 80);
    run(0.1);
    const std::vector<Write> moves = writesTo(12);
    ASSERT_GE(moves.size(), 3u);
    for (const Write& w : moves) {
        plugin->control(12) = w.value;
        descriptor->port_event(ui, 12, sizeof w.value, 0, &w.value);
        run(0.01);
        EXPECT_EQ(unitValue(12), moves.back().value) << "after the echo of " << w.value;
    }
    run(0.2);
    EXPECT_EQ(unitValue(12), moves.back().value);
    EXPECT_EQ(writesTo(12).size(), moves.size()); // nothing written again
}

TEST_F(Lv2Ui, ChangesTheEffectMakesReachTheHost) {
    ASSERT_NE(open(), nullptr);
    sendPort(44, 0.0f); // Kinetics off: nothing drifts
    sendPort(16, 0.0f); // Motion Mode "Off"
    sendPort(26, 0.2f); // L X Low Range
    sendPort(27, 0.5f); // L X High Range
    sendPort(22, 0.5f); // Left X
    sendPort(23, 0.5f);
    sendPort(19, 0.3f); // Right X
    sendPort(20, 0.9f);
    run(0.1);
    sendPort(43, 1.0f); // Link Mode "Lock", with the pads in place
    run(0.3);
    writes.clear();

    // A low bound set above the high one pushes the high one along.
    sendPort(26, 0.8f);
    run(0.2);
    ASSERT_FALSE(writesTo(27).empty());
    EXPECT_EQ(writesTo(27).back().value, unitValue(27));
    EXPECT_EQ(plugin->control(27), unitValue(27));
    EXPECT_GE(unitValue(27), 0.8f);

    // Under "Lock" a drag of the left handle moves the right one too.
    const int x = 254 + 101 + 9, y = 50 + 101 + 9; // the left handle at (0.5, 0.5)
    mouse(ButtonPress, x, y);
    for (int d = 8; d <= 40; d += 8)
        mouse(MotionNotify, x + d, y, Button1Mask);
    mouse(ButtonRelease, x + 40, y, Button1Mask);
    run(0.3);
    ASSERT_FALSE(writesTo(22).empty());
    ASSERT_FALSE(writesTo(19).empty());
    const float moved = writesTo(22).back().value - 0.5f;
    EXPECT_GT(moved, 0.1f);
    EXPECT_NEAR(writesTo(19).back().value, 0.3f + moved, 1e-4);
    EXPECT_EQ(plugin->control(19), unitValue(19));
}

TEST_F(Lv2Ui, AStaleParentIsRefusedAndTheInstanceOutlivesTheEditor) {
    const Window host = parent;
    parent = XCreateSimpleWindow(display, host, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(open(), nullptr); // refused, and the test lives on
    parent = host;

    ASSERT_NE(open(), nullptr);
    run(0.1);
    descriptor->cleanup(ui);
    ui = nullptr;
    plugin->control(12) = 20.0f;
    plugin->control(22) = 0.9f; // the pads move targets, with no editor to call
    run(0.1);
    EXPECT_EQ(unitValue(12), 20.0f);
}

} // namespace

// The editor base over a headless frame: idle throttling and timers on the
// test clock, drawing, the knob mode, the bundle lookup from inside a loaded
// bundle, and the X11 button word.
#include <gtest/gtest.h>

#include <X11/X.h>
#include <dlfcn.h>
#include <filesystem>

#include "gui/X11Events.h"
#include "tests/gui/gui_test_support.h"

namespace {

using namespace guitest;

struct Counter : CBaseObject {
    std::vector<uint32_t> at;
    CMessageResult notify(CBaseObject* sender, const char* message) override {
        EXPECT_STREQ(message, CVSTGUITimer::kMsgTimer);
        at.push_back(UIEventLoop::get().getTicks());
        return kMessageNotified;
    }
};

struct IdleEditor : PluginGUIEditor {
    IdleEditor() : PluginGUIEditor(reinterpret_cast<void*>(0x1234)) {}
    bool open(void* window) override {
        PluginGUIEditor::open(window);
        frame = new CFrame(CRect(0, 0, 100, 50), window, this);
        rect = ERect{0, 0, 50, 100};
        return true;
    }
    void close() override {
        delete frame;
        frame = nullptr;
        PluginGUIEditor::close();
    }
    void idle() override {
        ++idles;
        PluginGUIEditor::idle();
    }
    int idles = 0;
};

class EditorBase : public ::testing::Test {
  protected:
    EditorBase() { UIEventLoop::get().useTestClock(1000); }
    ~EditorBase() override { UIEventLoop::get().useSystemClock(); }
    void setClock(uint32_t ms) { UIEventLoop::get().useTestClock(ms); }
    uint32_t clock() const { return PluginGUIEditor::getTicks(); }
};

TEST_F(EditorBase, DoIdleStuffIdlesAtMostEvery50MsAndRunsTheEventLoopMeanwhile) {
    IdleEditor editor;
    editor.open(nullptr);
    auto* button = new CMovieButton(CRect(0, 0, 20, 20), nullptr, 1, nullptr);
    editor.getFrame()->addView(button);

    editor.doIdleStuff(); // due at construction: idles at once, next idle at 1100
    EXPECT_EQ(editor.idles, 1);
    EXPECT_EQ(clock(), 1000u); // without running the loop
    EXPECT_FALSE(button->isDirty());

    button->setValue(1.0f);
    setClock(1045);
    editor.doIdleStuff(); // 4 ms of event loop, then 1049 + 50 is still before 1100
    EXPECT_EQ(clock(), 1049u);
    EXPECT_EQ(editor.idles, 1);
    EXPECT_TRUE(button->isDirty());

    setClock(1046);
    editor.doIdleStuff(); // 1050 is within 50 ms of 1100: idle, next at 1150
    EXPECT_EQ(editor.idles, 2);
    EXPECT_FALSE(button->isDirty()); // the frame redrew it

    Counter counter;
    CVSTGUITimer timer(&counter, 3); // due at 1053
    timer.start();
    setClock(1051);
    editor.doIdleStuff(); // the 4 ms of loop fire it; 1055 + 50 is before 1150
    EXPECT_EQ(counter.at, (std::vector<uint32_t>{1053}));
    EXPECT_EQ(editor.idles, 2);

    setClock(1200);
    editor.doIdleStuff();
    EXPECT_EQ(editor.idles, 3);
    editor.close();
    editor.doIdleStuff(); // without a frame idle has nothing to draw
    EXPECT_EQ(editor.getSystemWindow(), nullptr);
}

TEST_F(EditorBase, TimersFireEveryPeriodOnTheLoopSkipMissedPeriodsAndStop) {
    Counter counter, other;
    auto* timer = new CVSTGUITimer(&counter, 100);
    timer->start();
    UIEventLoop::get().run(0.35);
    EXPECT_EQ(counter.at, (std::vector<uint32_t>{1100, 1200, 1300}));
    EXPECT_EQ(clock(), 1350u);

    // A loop that did not run for a second fires once, then keeps the period.
    setClock(2350);
    EXPECT_EQ(UIEventLoop::get().runDue(), 1);
    UIEventLoop::get().run(0.1);
    EXPECT_EQ(counter.at.back(), 2450u);
    EXPECT_EQ(counter.at.size(), 5u);

    // A stopped or destroyed timer is quiet; others go on.
    CVSTGUITimer second(&other, 50);
    second.start();
    timer->stop();
    UIEventLoop::get().run(0.2);
    EXPECT_EQ(counter.at.size(), 5u);
    EXPECT_EQ(other.at.size(), 4u);
    timer->start();
    timer->forget();
    UIEventLoop::get().run(0.2);
    EXPECT_EQ(counter.at.size(), 5u);
}

TEST_F(EditorBase, RectDrawAndKnobModeReachTheFrameAndTheToolkit) {
    IdleEditor editor;
    EXPECT_EQ(editor.getEffect(), reinterpret_cast<void*>(0x1234));
    SystemWindow headless; // a SystemWindow pointer as the system window
    editor.open(&headless);
    EXPECT_EQ(editor.getSystemWindow(), &headless);
    ERect* rect = nullptr;
    ASSERT_TRUE(editor.getRect(&rect));
    EXPECT_EQ(rect->right, 100);
    EXPECT_EQ(rect->bottom, 50);

    auto* button = new CMovieButton(CRect(0, 0, 20, 20), nullptr, 1, nullptr);
    editor.getFrame()->addView(button);
    editor.getFrame()->idle();
    // An opaque view filling its rectangle: what draw(ERect) redraws shows at once.
    struct Fill : CView {
        Fill() : CView(CRect(50, 0, 100, 50)) {}
        void draw(CDrawContext* c) override {
            c->setFillColor(colour);
            c->drawRect(size, kDrawFilled);
        }
        CColor colour{255, 0, 0, 255};
    };
    auto* fill = new Fill;
    editor.getFrame()->addView(fill);
    editor.draw(nullptr);
    EXPECT_EQ(editor.getFrame()->getPixel(60, 10), (CColor{255, 0, 0, 255}));
    fill->colour = CColor{0, 0, 255, 255};
    ERect part{0, 50, 20, 70}; // top, left, bottom, right
    editor.draw(&part);
    EXPECT_EQ(editor.getFrame()->getPixel(60, 10), (CColor{0, 0, 255, 255}));
    EXPECT_EQ(editor.getFrame()->getPixel(80, 10), (CColor{255, 0, 0, 255}));

    editor.setKnobMode(kLinearMode);
    EXPECT_EQ(editor.getKnobMode(), kLinearMode);
    EXPECT_EQ(getToolkitKnobMode(), kLinearMode);
    editor.setKnobMode(kCircularMode);
    editor.close();
}

TEST_F(EditorBase, EditorInsideABundleLoadsBitmapsFromTheBundleUnlessAFolderIsGiven) {
    const std::string bundle = MORVANE_TEST_EDITOR_BUNDLE;
    const std::string resources = bundle + "/Contents/Resources";
    std::filesystem::create_directories(resources);
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 17, 3);
    cairo_surface_write_to_png(picture, (resources + "/bmp20000.png").c_str());
    cairo_surface_destroy(picture);

    void* library = dlopen((bundle + "/Contents/Linux-x86_64/MorvaneTestEditor.so").c_str(), RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    auto bitmapWidth = reinterpret_cast<long (*)(long, char*, unsigned long)>(
        dlsym(library, "MorvaneTestEditor_bitmapWidth"));
    ASSERT_NE(bitmapWidth, nullptr);
    char folder[4096] = "";
    EXPECT_EQ(bitmapWidth(20000, folder, sizeof folder), 17);
    EXPECT_EQ(std::filesystem::path(folder), std::filesystem::path(resources));
    EXPECT_EQ(bitmapWidth(20001, folder, sizeof folder), 0);
    dlclose(library);
    std::filesystem::remove(resources + "/bmp20000.png");

    // In this program: three components up from the test program itself, and
    // an explicit folder wins.
    const auto self = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(std::filesystem::path(PluginGUIEditor::bundleDirectory()),
              self.parent_path().parent_path().parent_path());
    IdleEditor editor;
    EXPECT_EQ(getResourceFolder(), PluginGUIEditor::bundleDirectory() + "/Contents/Resources");
    setResourceFolder("/somewhere/else");
    EXPECT_EQ(getResourceFolder(), "/somewhere/else");
    setResourceFolder("");
}

TEST(X11Events, ButtonWordFollowsTheToolkitConvention) {
    EXPECT_EQ(buttonWordForPress(Button1, 0), kLButton);
    EXPECT_EQ(buttonWordForPress(Button3, 0), kRButton);
    EXPECT_EQ(buttonWordForPress(Button1, ControlMask), kLButton | kCommand);
    EXPECT_EQ(buttonWordForPress(Button1, Mod1Mask | ShiftMask), kLButton | kOption | kShift);
    EXPECT_EQ(buttonWordForPress(Button1, LockMask | Mod2Mask),
              kLButton); // Caps and Num Lock are no modifiers
    EXPECT_EQ(buttonWordForMotion(Button1Mask | ControlMask), kLButton | kCommand);
    EXPECT_EQ(buttonWordForMotion(0), 0);
}

} // namespace

// The view on a live effect with a host's three kinds of thread at work at
// once, for a fixed time (MORVANE_STRESS_SECONDS, 4 s by default):
// - a render thread with the pads in motion, which calls the view;
// - the user-interface thread running the run loop (listener deliveries, the
//   view's timers) and playing the editor: knob drags, pad throws and
//   recordings, clicks and Ctrl-clicks, and now and then closing the editor
//   and opening it again;
// - a host thread selecting presets, saving and restoring states and setting
//   every parameter.
// Then the threads stop, the host sets every parameter once more, and the
// effect, the framework's parameter store and the editor must agree. Under
// ThreadSanitizer this is the check that the view never shares data with the
// render or host threads except through atomics.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "editor/MorvaneEditor.h"
#include "editor/MorvaneEditorLayout.h"
#include "editor/Morvane_AUView.h"
#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"
#include "tests/gui/gui_test_support.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, ViewStressEffectEntry)
COMPONENT_ENTRY_NAMED(Morvane_AUView, ViewStressViewEntry)

namespace {

using namespace guitest;
namespace L = MorvaneLayout;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000.0;
constexpr UInt32 kBlock = 256;

double stressSeconds() {
    const char* text = std::getenv("MORVANE_STRESS_SECONDS");
    const double seconds = text ? std::atof(text) : 0.0;
    return seconds > 0.0 ? seconds : 4.0;
}

CPoint centre(const L::Rect& r) {
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The user: one gesture at a time, a step per turn of the loop.
class Player {
  public:
    Player(MorvaneEditor& e, unsigned seed) : editor(e), frame(*e.getFrame()), random(seed) {}

    void step() {
        if (stepsLeft > 0) {
            at = CPoint(at.h + pick(-6, 6), at.v + pick(-6, 6));
            drag(frame, at.h, at.v, buttons);
            if (--stepsLeft == 0) release(frame, at.h, at.v, buttons);
            return;
        }
        switch (pick(0, 7)) {
        case 0: // a knob drag
        case 1:
            begin(centre(L::kControls[pick(0, static_cast<int>(std::size(L::kControls)) - 1)].rect), kLButton,
                  4);
            break;
        case 2: // a pad handle held and moved: a throw, or a recording in "Rec"
        case 3: {
            CRect r;
            editor.getPad()->getMIDILearnRect(pick(0, 1) ? kLeftX : kRightX, r);
            begin(CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2), kLButton, pick(5, 40));
            break;
        }
        case 4: // Ctrl-clicks: clear recordings, stop the drift
            click(centre(L::findControl(pick(0, 1) ? kMotionMode : kKinetics)->rect), kLButton | kCommand);
            break;
        case 5: {
            CRect r;
            editor.getPad()->getMIDILearnRect(kLeftX, r);
            click(CPoint(r.left + 2, r.top + 2), kLButton | kCommand);
            break;
        }
        case 6: // a switch or a button
            click(centre(L::findControl(pick(0, 1) ? kLinkMode : kHostSync)->rect), kLButton);
            break;
        default: { // the mouse rests somewhere: the display follows
            CPoint p(pick(0, L::kWindowWidth - 1), pick(0, L::kWindowHeight - 1));
            frame.onMouseMoved(p, 0);
            break;
        }
        }
    }
    void finish() {
        if (stepsLeft > 0) release(frame, at.h, at.v, buttons);
        stepsLeft = 0;
        if (frame.getOpenPopup()) frame.closePopupMenu();
    }

  private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    void begin(CPoint where, long b, int steps) {
        at = where;
        buttons = b;
        stepsLeft = steps;
        press(frame, at.h, at.v, buttons);
        if (frame.getOpenPopup()) { // a destination menu: choose an entry
            const CRect list = frame.getOpenPopup()->getRect();
            press(frame, list.left + 10, list.top + 3 + pick(0, 15) * COptionMenuPopup::kEntryHeight + 5);
            stepsLeft = 0;
        }
    }
    void click(CPoint where, long b) {
        press(frame, where.h, where.v, b);
        release(frame, where.h, where.v, b);
    }

    MorvaneEditor& editor;
    CFrame& frame;
    std::mt19937 random;
    CPoint at;
    long buttons = kLButton;
    int stepsLeft = 0;
};

TEST(ViewBridgeThreaded, RenderUserInterfaceAndHostThreadsShareNothingButAtomics) {
    ResourceFolder resources;
    for (const L::Resource& r : L::kResources)
        resources.writeStrip(r.id, r.width, r.frameHeight, r.frames, [](int k) {
            return CColor{static_cast<unsigned char>(k * 7), 90, 40, 255};
        });

    std::string error;
    auto host = HostHarness::OpenEntry(
        &ViewStressEffectEntry, {kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"), 0, 0},
        error);
    ASSERT_TRUE(host) << error;
    host->setOffline(false); // a live host: wall-clock run loop, rendering on its own thread
    ASSERT_EQ(host->configure(kRate, 2, kBlock), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->setTransport(HostHarness::Transport{128.0, 0.0}), noErr);
    ASSERT_EQ(host->selectFactoryPreset(27), noErr); // recordings and drift of its own
    AudioUnit unit = host->unit();
    auto& effect = *static_cast<Morvane_AU*>(GetComponentInstanceStorage(unit));

    AudioUnitParameterInfo info[kNumPublishedParameters];
    for (UInt32 id = 0; id < kNumPublishedParameters; ++id) {
        UInt32 size = sizeof info[id];
        ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                                       &info[id], &size),
                  noErr);
        if ((info[id].flags & kAudioUnitParameterFlag_CFNameRelease) && info[id].cfNameString)
            CFRelease(info[id].cfNameString);
    }

    const ComponentDescription viewDesc{kAudioUnitCarbonViewComponentType, MorvaneFourCC("Mrvn"),
                                        MorvaneFourCC("Qnlw"), 0, 0};
    AudioUnitCarbonView viewInstance = nullptr;
    MorvaneWindow window;
    Morvane_AUView* view = nullptr;
    MorvaneEditor* editor = nullptr;
    auto openView = [&] {
        view = nullptr;
        editor = nullptr;
        ASSERT_EQ(MorvaneOpenComponent(&ViewStressViewEntry, &viewDesc, &viewInstance), noErr);
        const Float32Point origin{0, 0};
        ControlRef pane = nullptr;
        ASSERT_EQ(AudioUnitCarbonViewCreate(viewInstance, unit, &window, nullptr, &origin, &origin, &pane),
                  noErr);
        view = static_cast<Morvane_AUView*>(GetComponentInstanceStorage(viewInstance));
        editor = static_cast<MorvaneEditor*>(view->getEditor());
    };
    openView();
    ASSERT_TRUE(editor);

    std::atomic<bool> running{true};
    std::atomic<long> notFinite{0}, blocks{0};
    std::thread render([&] {
        std::vector<float> l(kBlock), r(kBlock);
        float* io[2] = {l.data(), r.data()};
        std::mt19937 noise(7);
        std::uniform_real_distribution<float> sample(-0.5f, 0.5f);
        auto next = Clock::now();
        while (running.load()) {
            for (UInt32 i = 0; i < kBlock; ++i)
                l[i] = r[i] = sample(noise);
            if (host->renderInPlace(io, kBlock) != noErr) break;
            for (UInt32 i = 0; i < kBlock; ++i)
                if (!std::isfinite(l[i]) || !std::isfinite(r[i])) notFinite.fetch_add(1);
            blocks.fetch_add(1);
            // Twice real time: more blocks, and time left for the other threads.
            next += std::chrono::microseconds(static_cast<long>(kBlock / kRate * 0.5e6));
            std::this_thread::sleep_until(next);
        }
    });
    std::atomic<long> hostActions{0};
    std::thread hostThread([&] {
        std::mt19937 random(11);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        while (running.load()) {
            switch (pick(0, 9)) {
            case 0:
                host->selectFactoryPreset(pick(0, 32));
                break;
            case 1: {
                CFPropertyListRef state = nullptr;
                if (host->saveState(&state) == noErr && state) {
                    host->restoreState(state);
                    CFRelease(state);
                }
                break;
            }
            default:
                for (UInt32 id = 0; id < kNumPublishedParameters; ++id) {
                    const float t = std::uniform_real_distribution<float>(0.0f, 1.0f)(random);
                    host->setParameter(id, info[id].minValue + t * (info[id].maxValue - info[id].minValue));
                }
                break;
            }
            hostActions.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(pick(5, 40)));
        }
    });

    auto player = std::make_unique<Player>(*editor, 3);
    const auto end = Clock::now() + std::chrono::duration<double>(stressSeconds());
    long turns = 0, reopened = 0;
    while (Clock::now() < end) {
        MorvaneRunLoopPump(host->runLoop());
        UIEventLoop::get().runDue();
        player->step();
        ++turns;
        // Now and then the user closes the editor and opens it again, while
        // the render thread goes on calling the registered view.
        if (turns % 400 == 0) {
            player->finish();
            ASSERT_EQ(CloseComponent(viewInstance), noErr);
            openView();
            ASSERT_TRUE(editor);
            player = std::make_unique<Player>(*editor, static_cast<unsigned>(turns));
            ++reopened;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    player->finish();
    running.store(false);
    render.join();
    hostThread.join();
    std::printf("%.0f s: %ld blocks rendered, %ld host actions, %ld turns of the user-interface loop, "
                "the view reopened %ld times\n",
                stressSeconds(), blocks.load(), hostActions.load(), turns, reopened);
    EXPECT_EQ(effect.getAttachedView(), view->attachedView());
    EXPECT_EQ(notFinite.load(), 0);
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(hostActions.load(), 20);
    EXPECT_GT(turns, 200);

    // At rest: the pads drive nothing and stand still, then the host sets
    // every parameter once more.
    for (int side = 0; side < 6; ++side)
        host->setParameter(kLXDestination + 3 * (side % 3) + (side / 3) * 9, 0.0f);
    host->setParameter(kKinetics, 0.0f);
    host->setParameter(kMotionMode, 0.0f);
    host->setParameter(kLinkMode, 0.0f);
    auto settle = [&] {
        for (int i = 0; i < 6; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(12));
            MorvaneRunLoopPump(host->runLoop());
        }
        view->deliverQueuedValues();
        editor->idle();
    };
    settle();
    const char unread = 0;
    ASSERT_EQ(AudioUnitSetProperty(unit, 80003, kAudioUnitScope_Global, 0, &unread, 1), noErr);
    std::mt19937 random(5);
    std::vector<float> finalValue(kNumPublishedParameters);
    for (UInt32 id = 0; id < kNumPublishedParameters; ++id) {
        float v = info[id].minValue + std::uniform_real_distribution<float>(0.0f, 1.0f)(random) *
                                          (info[id].maxValue - info[id].minValue);
        if (info[id].flags & kAudioUnitParameterFlag_ValuesHaveStrings ||
            info[id].unit == kAudioUnitParameterUnit_Indexed ||
            info[id].unit == kAudioUnitParameterUnit_Boolean)
            v = std::round(v);
        finalValue[id] = v;
    }
    for (long id : {kLXDestination, kLYDestination, kLZDestination, kRXDestination, kRYDestination,
                    kRZDestination, kKinetics, kMotionMode, kLinkMode, kLeftZ, kRightZ})
        finalValue[id] = 0.0f;
    // Each range's low bound below its high one, so neither pushes the other.
    for (long low : {kLXLowRange, kLYLowRange, kLZLowRange, kRXLowRange, kRYLowRange, kRZLowRange}) {
        finalValue[low] = std::min(finalValue[low], finalValue[low + 1]);
    }
    // The high bounds go up first: a low bound set above its high one would
    // push the high one (and, set in the same delivery as the high one, leave
    // the store and the effect apart).
    for (long high : {kLXHighRange, kLYHighRange, kLZHighRange, kRXHighRange, kRYHighRange, kRZHighRange})
        ASSERT_EQ(host->setParameter(high, info[high].maxValue), noErr);
    settle();
    for (UInt32 id = 0; id < kNumPublishedParameters; ++id)
        ASSERT_EQ(host->setParameter(id, finalValue[id]), noErr);
    settle();

    MorvaneParameterManager& manager = effect.parameterTable();
    for (UInt32 id = 0; id < kNumPublishedParameters; ++id) {
        const auto tag = static_cast<int32_t>(id);
        EXPECT_EQ(host->getParameter(id), finalValue[id]) << "store " << id;
        EXPECT_EQ(manager.getNaturalValue(tag), finalValue[id]) << "effect " << id;
    }
    CFrame* frame = editor->getFrame();
    for (long i = 0; i < frame->getNbViews(); ++i) {
        auto* control = dynamic_cast<CControl*>(frame->getView(i));
        if (!control || control == editor->getDisplay() || control == editor->getPad()) continue;
        const long tag = control->getTag();
        if (editor->getRangeSliderFor(tag)) continue;
        float expected = manager.getVSTvalue(static_cast<int32_t>(tag));
        if (tag == kFilterOnOff || tag == kDelayOnOff) expected = expected > 0.5f ? 1.0f : 0.0f;
        if (tag >= kLXDestination && tag <= kRZHighRange) expected = manager.getNaturalValue(tag); // menus
        EXPECT_NEAR(control->getValue(), expected, 1e-6) << "editor " << tag;
    }
    for (int side = 0; side < 2; ++side)
        for (int axis = 0; axis < 3; ++axis) {
            CHorizontalRangeSlider* slider = editor->getRangeSlider(side, axis);
            const long low = kLXLowRange + 3 * axis + 9 * side;
            EXPECT_NEAR(slider->getValue(static_cast<int>(low)), manager.getVSTvalue(low), 1e-6) << low;
            EXPECT_NEAR(slider->getValue(static_cast<int>(low + 1)), manager.getVSTvalue(low + 1), 1e-6)
                << low + 1;
        }
    for (int tag : {kLeftX, kLeftY, kRightX, kRightY})
        EXPECT_NEAR(editor->getPad()->getValue(tag), manager.getVSTvalue(tag), 1e-6) << "pad " << tag;

    EXPECT_EQ(CloseComponent(viewInstance), noErr);
    EXPECT_EQ(effect.getAttachedView(), nullptr);
}

} // namespace

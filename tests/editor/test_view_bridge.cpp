// The view component on a live effect, as a host drives it: both opened
// through their component entries, the view created off-screen with
// AudioUnitCarbonViewCreate, and time moved on by rendering audio, so the
// effect's control ticks, the listener deliveries and the view's timers
// happen as they would in a host. Bitmaps are solid stand-ins (knob frame k
// is knobFrameColour(k)), so a pixel names what is drawn there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "editor/MorvaneEditor.h"
#include "editor/MorvaneEditorLayout.h"
#include "editor/Morvane_AUView.h"
#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"
#include "tests/editor/editor_strips.h"
#include "tests/gui/gui_test_support.h"
#include "tests/host/testgain/TestGainEffect.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, ViewBridgeEffectEntry)
COMPONENT_ENTRY_NAMED(Morvane_AUView, ViewBridgeViewEntry)

namespace {

using namespace guitest;
namespace L = MorvaneLayout;

constexpr double kRate = 48000.0;
constexpr UInt32 kBlock = 480; // 10 ms
const ComponentDescription kViewDesc{kAudioUnitCarbonViewComponentType, MorvaneFourCC("Mrvn"),
                                     MorvaneFourCC("Qnlw"), 0, 0};

CPoint centre(const L::Rect& r) {
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// What an event listener and the view's event listener hear, in order.
struct HostEars {
    std::vector<std::string> heard;
    static void onEvent(void* self, void*, const AudioUnitEvent* event, UInt64,
                        AudioUnitParameterValue value) {
        const char* kinds[] = {"value", "begin", "end"};
        static_cast<HostEars*>(self)->heard.push_back(
            std::string(kinds[event->mEventType]) + " " +
            std::to_string(event->mArgument.mParameter.mParameterID));
        (void)value;
    }
    static void onViewEvent(void* self, AudioUnitCarbonView, const AudioUnitParameter* parameter,
                            AudioUnitCarbonViewEventID event, const void*) {
        static_cast<HostEars*>(self)->heard.push_back(std::string(event == 0 ? "mouse down " : "mouse up ") +
                                                      std::to_string(parameter->mParameterID));
    }
};

class ViewBridge : public ::testing::Test {
  protected:
    ViewBridge() {
        writeEditorStrips(resources);
        UIEventLoop::get().useTestClock(1000);
        std::string error;
        host = HostHarness::OpenEntry(
            &ViewBridgeEffectEntry,
            {kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"), 0, 0}, error);
        if (!host || host->configure(kRate, 2, kBlock) != noErr || host->initialize() != noErr)
            throw std::runtime_error("cannot open the effect: " + error);
        host->setTransport(HostHarness::Transport{120.0, 0.0});
        host->announceAllParameters();
        host->pump();
    }
    ~ViewBridge() override {
        if (viewInstance) CloseComponent(viewInstance);
        if (listener) AUListenerDispose(listener);
        UIEventLoop::get().useSystemClock();
    }

    // Opens the view component and creates its view, off-screen.
    OSStatus openView() {
        EXPECT_EQ(MorvaneOpenComponent(&ViewBridgeViewEntry, &kViewDesc, &viewInstance), noErr);
        AudioUnitCarbonViewSetEventListener(viewInstance, &HostEars::onViewEvent, &ears);
        const Float32Point origin{0, 0}, room{2000, 2000};
        const OSStatus result =
            AudioUnitCarbonViewCreate(viewInstance, host->unit(), &window, nullptr, &origin, &room, &pane);
        if (view()->getEditor()) {
            editor = static_cast<MorvaneEditor*>(view()->getEditor());
            frame = editor->getFrame();
            frame->idle();
        }
        return result;
    }
    void closeView() {
        CloseComponent(viewInstance);
        viewInstance = nullptr;
        editor = nullptr;
        frame = nullptr;
    }
    Morvane_AUView* view() { return static_cast<Morvane_AUView*>(GetComponentInstanceStorage(viewInstance)); }
    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(host->unit())); }

    // Time passes as in a host: 10 ms blocks of silence rendered (each one
    // after the run loop's due work: listener deliveries and the view's
    // timers), and the toolkit's clock moved on alongside.
    void play(double seconds) {
        std::vector<float> l(kBlock), r(kBlock);
        float* io[2] = {l.data(), r.data()};
        for (double t = 0; t < seconds - 1e-9; t += kBlock / kRate) {
            std::fill(l.begin(), l.end(), 0.0f);
            std::fill(r.begin(), r.end(), 0.0f);
            ASSERT_EQ(host->renderInPlace(io, kBlock), noErr);
            UIEventLoop::get().run(kBlock / kRate);
        }
        host->pump();
    }
    // What the view's next timer does (the values waiting in its mailbox go
    // to the editor, which reads the pads and redraws), without more audio
    // rendered meanwhile.
    void settle() {
        view()->deliverQueuedValues();
        editor->idle();
        frame->idle();
    }
    // Stops the drift the default preset starts with.
    void stopDrift() {
        for (int i = 0; i < 4; ++i)
            effect().padEngine().setPadVelocity(i, 0.0f);
    }
    float effectValue(long id) { return effect().parameterTable().getVSTvalue(static_cast<int32_t>(id)); }
    void listenTo(AudioUnitParameterID id) {
        if (!listener) {
            ASSERT_EQ(AUEventListenerCreate(&HostEars::onEvent, &ears, CFRunLoopGetCurrent(),
                                            kCFRunLoopDefaultMode, 0.0f, 0.0f, &listener),
                      noErr);
        }
        for (AudioUnitEventType type :
             {kAudioUnitEvent_ParameterValueChange, kAudioUnitEvent_BeginParameterChangeGesture,
              kAudioUnitEvent_EndParameterChangeGesture}) {
            AudioUnitEvent event{};
            event.mEventType = type;
            event.mArgument.mParameter = AudioUnitParameter{host->unit(), id, kAudioUnitScope_Global, 0};
            ASSERT_EQ(AUEventListenerAddEventType(listener, &ears, &event), noErr);
        }
    }
    CPoint handleCentre(int xTag) { return guitest::handleCentre(*editor, xTag); }
    CControl* controlWithTag(long tag) { return guitest::controlWithTag(*frame, tag); }
    CColor knobPixel(long tag) {
        const L::Rect& r = L::findControl(tag)->rect;
        return frame->getPixel(r.left + 1, r.top + 1);
    }
    int knobFrameFor(long tag) { return static_cast<int>(std::lround(effectValue(tag) * 32.0f)); }

    ResourceFolder resources;
    MorvaneWindow window; // off-screen
    std::unique_ptr<HostHarness> host;
    AudioUnitCarbonView viewInstance = nullptr;
    ControlRef pane = nullptr;
    MorvaneEditor* editor = nullptr;
    CFrame* frame = nullptr;
    HostEars ears;
    AUEventListenerRef listener = nullptr;
};

TEST_F(ViewBridge, TheViewTakesAPaneTheSizeOfTheEditorAndRegistersWithTheEffect) {
    ASSERT_EQ(openView(), noErr);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->size.x, L::kWindowWidth);
    EXPECT_EQ(pane->size.y, L::kWindowHeight);
    EXPECT_TRUE(pane->visible);
    EXPECT_EQ(pane->nativeView, 0u); // off-screen
    EXPECT_EQ(effect().getAttachedView(), view()->attachedView());
    // A second create is refused and leaves the view as it was.
    ControlRef again = nullptr;
    const Float32Point origin{0, 0};
    EXPECT_EQ(
        AudioUnitCarbonViewCreate(viewInstance, host->unit(), &window, nullptr, &origin, &origin, &again),
        paramErr);
    EXPECT_EQ(view()->getEditor(), editor);
}

TEST_F(ViewBridge, AKnobDragReachesTheEffectBetweenBeginAndEndGestures) {
    ASSERT_EQ(openView(), noErr);
    listenTo(kWetDryMix);
    const float before = effect().parameterTable().getNaturalValue(kWetDryMix);
    const CPoint from = centre(L::findControl(kWetDryMix)->rect);
    press(*frame, from.h, from.v);
    drag(*frame, from.h, from.v - 30);
    drag(*frame, from.h, from.v - 60);
    release(*frame, from.h, from.v - 60);
    const std::string id = std::to_string(kWetDryMix);
    // The host's view listener hears of the mouse at once; the gesture and
    // value events arrive with the run loop's next delivery, in order.
    EXPECT_EQ(ears.heard, (std::vector<std::string>{"mouse down " + id, "mouse up " + id}));
    play(0.05);

    const float after = effect().parameterTable().getNaturalValue(kWetDryMix);
    EXPECT_GT(after, before + 5.0f);
    EXPECT_EQ(after, host->getParameter(kWetDryMix));
    EXPECT_EQ(ears.heard, (std::vector<std::string>{"mouse down " + id, "mouse up " + id, "begin " + id,
                                                    "value " + id, "end " + id}));
    settle();
    EXPECT_EQ(knobPixel(kWetDryMix), knobFrameColour(knobFrameFor(kWetDryMix)));
}

TEST_F(ViewBridge, HostChangesAndPresetsShowOnTheControls) {
    for (long destination :
         {kLXDestination, kLYDestination, kLZDestination, kRXDestination, kRYDestination, kRZDestination})
        ASSERT_EQ(host->setParameter(destination, 0.0f), noErr); // the pads drive nothing
    play(0.02);
    ASSERT_EQ(openView(), noErr);
    ASSERT_EQ(host->setParameter(kFilterFreq, 3000.0f), noErr);
    ASSERT_EQ(host->setParameter(kLinkMode, 1.0f), noErr); // "Lock"
    play(0.06);
    settle();
    EXPECT_FLOAT_EQ(controlWithTag(kFilterFreq)->getValue(), view()->getParameter(kFilterFreq));
    EXPECT_EQ(knobPixel(kFilterFreq), knobFrameColour(knobFrameFor(kFilterFreq)));
    EXPECT_EQ(editor->getPad()->getHandleLink(kLeftX, kRightX), CMultiXYControl::kSolidLink);

    // Presets with pad motion: the controls show what the effect applies.
    for (SInt32 preset : {5, 27}) {
        ASSERT_EQ(host->selectFactoryPreset(preset), noErr);
        play(0.3);
        settle();
        for (const L::Control& c : L::kControls) {
            if (c.kind != L::ControlKind::Knob && c.kind != L::ControlKind::OnOffButton) continue;
            if (c.tag() == kFilterOnOff || c.tag() == kDelayOnOff) continue; // shown as on or off
            EXPECT_NEAR(controlWithTag(c.tag())->getValue(), effectValue(c.tag()), 1e-6)
                << "preset " << preset << ": " << c.name;
        }
        for (int tag : {kLeftX, kLeftY, kRightX, kRightY})
            EXPECT_NEAR(editor->getPad()->getValue(tag), effectValue(tag), 1e-6)
                << "preset " << preset << ": pad " << tag;
        EXPECT_EQ(frame->getPixel(handleCentre(kLeftX).h, handleCentre(kLeftX).v), kLeftHandle);
    }
}

TEST_F(ViewBridge, AThrownPadDriftsOnScreen) {
    ASSERT_EQ(host->setParameter(kKinetics, 1.0f), noErr);
    ASSERT_EQ(host->setParameter(kMotionMode, 0.0f), noErr);
    ASSERT_EQ(host->setParameter(kLeftX, 0.3f), noErr);
    ASSERT_EQ(host->setParameter(kLeftY, 0.5f), noErr);
    play(0.02);
    stopDrift();
    ASSERT_EQ(openView(), noErr);
    settle();
    const CPoint start = handleCentre(kLeftX);
    press(*frame, start.h, start.v);
    drag(*frame, start.h + 10, start.v);
    play(0.1);
    drag(*frame, start.h + 14, start.v); // 4 px in the last 100 ms: 40 px a second
    play(0.1);
    release(*frame, start.h + 14, start.v);
    play(0.05);
    settle();
    const CPoint thrown = handleCentre(kLeftX);
    play(0.5);
    settle();
    const CPoint later = handleCentre(kLeftX);
    EXPECT_NEAR(later.h - thrown.h, 20, 3);
    EXPECT_EQ(later.v, thrown.v);
    EXPECT_EQ(frame->getPixel(later.h, later.v), kLeftHandle);
    EXPECT_EQ(frame->getPixel(start.h, start.v), kBackground);
}

TEST_F(ViewBridge, ARecordingMadeByHoldingAPadInRecPlaysBack) {
    ASSERT_EQ(host->setParameter(kMotionMode, 2.0f), noErr); // "Rec"
    ASSERT_EQ(host->setParameter(kLeftX, 0.2f), noErr);
    ASSERT_EQ(host->setParameter(kLeftY, 0.5f), noErr);
    ASSERT_EQ(host->setParameter(kRightX, 0.9f), noErr); // out of the way
    ASSERT_EQ(host->setParameter(kRightY, 0.1f), noErr);
    play(0.02);
    stopDrift();
    ASSERT_EQ(openView(), noErr);
    settle();
    effect().recorderLeft().clearRecording();
    const CPoint start = handleCentre(kLeftX);
    press(*frame, start.h, start.v);
    for (int step = 1; step <= 6; ++step) {
        drag(*frame, start.h + 10 * step, start.v);
        play(0.1);
    }
    release(*frame, start.h + 60, start.v);
    play(0.05);
    ASSERT_GE(effect().recorderLeft().count.load(), 6u);

    ASSERT_EQ(host->setParameter(kMotionMode, 1.0f), noErr); // "Play"
    int leftmost = 10000, rightmost = -10000;
    for (int i = 0; i < 60; ++i) {
        play(0.1);
        settle();
        const CPoint at = handleCentre(kLeftX);
        leftmost = std::min(leftmost, static_cast<int>(at.h));
        rightmost = std::max(rightmost, static_cast<int>(at.h));
        EXPECT_EQ(frame->getPixel(at.h, at.v), kLeftHandle);
    }
    EXPECT_LE(leftmost, start.h + 12);
    EXPECT_GE(rightmost, start.h + 48);
}

TEST_F(ViewBridge, AReopenedViewIsTheOneTheEffectCalls) {
    ASSERT_EQ(openView(), noErr);
    closeView();
    EXPECT_EQ(effect().getAttachedView(), nullptr);

    ASSERT_EQ(host->setParameter(kKinetics, 1.0f), noErr);
    ASSERT_EQ(host->setParameter(kLXDestination, 1.0f), noErr); // "Filter Frequency"
    ASSERT_EQ(openView(), noErr);
    EXPECT_EQ(effect().getAttachedView(), view()->attachedView());

    // Pad drift drives the filter frequency on the render thread; the new
    // view shows it (and the old one, gone, would fail under the sanitizers).
    for (int i = 0; i < 4; ++i)
        effect().padEngine().setPadVelocity(i, 2e-5f);
    play(0.3);
    settle();
    EXPECT_NEAR(controlWithTag(kFilterFreq)->getValue(), effectValue(kFilterFreq), 1e-6);
    EXPECT_EQ(knobPixel(kFilterFreq), knobFrameColour(knobFrameFor(kFilterFreq)));
}

TEST_F(ViewBridge, AViewOnAnEffectWithoutTheParameterManagerPropertyShowsNothing) {
    std::string error;
    auto gain =
        HostHarness::OpenEntry(&MorvaneTestGain_AUEntry,
                               {kAudioUnitType_Effect, kTestGainSubType, kTestGainManufacturer, 0, 0}, error);
    ASSERT_TRUE(gain) << error;
    ASSERT_EQ(gain->configure(kRate, 2, kBlock), noErr);
    ASSERT_EQ(gain->initialize(), noErr);
    ASSERT_EQ(MorvaneOpenComponent(&ViewBridgeViewEntry, &kViewDesc, &viewInstance), noErr);
    const Float32Point origin{0, 0};
    EXPECT_EQ(
        AudioUnitCarbonViewCreate(viewInstance, gain->unit(), &window, nullptr, &origin, &origin, &pane),
        kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(view()->getEditor(), nullptr);
    EXPECT_EQ(pane->nativeView, 0u);
    EXPECT_FALSE(pane->visible);
    closeView();
}

} // namespace

// The built bundle, as a host outside it sees it: the effect and its view
// both from Morvane.component, reached only through the component calls and
// the view's virtual operations.
TEST(ViewBridgeBundle, TheBundlesViewOpensOnItsEffectAndEditsIt) {
    std::string error;
    auto host = HostHarness::Open(MORVANE_BUNDLE_DIR, error);
    ASSERT_TRUE(host) << error;
    ASSERT_EQ(host->configure(kRate, 2, kBlock), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    host->announceAllParameters();
    host->pump();

    AudioUnitCarbonView viewInstance = nullptr;
    ASSERT_EQ(MorvaneOpenUnitView(host->unit(), &viewInstance), noErr);
    HostEars ears;
    AudioUnitCarbonViewSetEventListener(viewInstance, &HostEars::onViewEvent, &ears);
    MorvaneWindow window;
    window.scaleFactor = 2;
    const Float32Point origin{0, 0};
    ControlRef pane = nullptr;
    ASSERT_EQ(
        AudioUnitCarbonViewCreate(viewInstance, host->unit(), &window, nullptr, &origin, &origin, &pane),
        noErr);
    EXPECT_EQ(pane->size.x, L::kWindowWidth);
    EXPECT_EQ(pane->size.y, L::kWindowHeight);

    auto* view = static_cast<AUVSTGUIView*>(GetComponentInstanceStorage(viewInstance));
    CFrame* frame = view->getEditor()->getFrame();
    EXPECT_EQ(frame->getScaleFactor(), 2.0);
    const float before = host->getParameter(kFilterResonance);
    const CPoint from = centre(L::findControl(kFilterResonance)->rect);
    press(*frame, from.h, from.v);
    drag(*frame, from.h, from.v - 40);
    release(*frame, from.h, from.v - 40);
    EXPECT_GT(host->getParameter(kFilterResonance), before);
    const std::string id = std::to_string(kFilterResonance);
    EXPECT_EQ(ears.heard, (std::vector<std::string>{"mouse down " + id, "mouse up " + id}));
    EXPECT_EQ(CloseComponent(viewInstance), noErr);
}

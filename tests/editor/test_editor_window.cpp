// The whole editor on a live effect instance, headless: mouse events injected
// on the real layout, parameters read back from the unit, pixels read from the
// frame. The bitmaps are solid stand-ins in known colours (knob frame k is
// knobFrameColour(k)), so a pixel names the frame or handle drawn there.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <regex>

#include "editor/MorvaneEditor.h"
#include "editor/MorvaneEditorLayout.h"
#include "editor/Morvane_AUView.h"
#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"
#include "tests/editor/editor_strips.h"
#include "tests/gui/gui_test_support.h"

COMPONENT_ENTRY_NAMED(Morvane_AU, MorvaneEditorTestEntry)

namespace {

using namespace guitest;
namespace L = MorvaneLayout;

const CColor kWhite{255, 255, 255, 255};

CPoint centre(const L::Rect& r) {
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

class EditorWindow : public ::testing::Test {
  protected:
    EditorWindow() {
        writeEditorStrips(resources);
        UIEventLoop::get().useTestClock(1000);
        std::string error;
        host = HostHarness::OpenEntry(
            &MorvaneEditorTestEntry,
            {kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"), 0, 0}, error);
        if (!host || host->configure(44100.0, 2, 512) != noErr || host->initialize() != noErr)
            throw std::runtime_error("cannot open the effect: " + error);
        host->pump();
    }
    ~EditorWindow() override {
        view.reset();
        UIEventLoop::get().useSystemClock();
    }

    void open() {
        view = std::make_unique<Morvane_AUView>(nullptr);
        ControlRef pane = nullptr;
        ASSERT_EQ(view->CreateCarbonView(host->unit(), &window, nullptr, {0, 0}, {0, 0}, pane), noErr);
        editor = static_cast<MorvaneEditor*>(view->getEditor());
        frame = editor->getFrame();
        frame->idle();
    }
    Morvane_AU& effect() { return *static_cast<Morvane_AU*>(GetComponentInstanceStorage(host->unit())); }
    // The effect as a host sets it, delivered.
    void set(AudioUnitParameterID id, float natural) {
        ASSERT_EQ(host->setParameter(id, natural), noErr);
        host->pump();
    }
    float natural(AudioUnitParameterID id) { return host->getParameter(id); }
    float normalised(AudioUnitParameterID id) { return view->getParameter(id); }

    CPoint handleCentre(int xTag) { return guitest::handleCentre(*editor, xTag); }
    CControl* controlWithTag(long tag) { return guitest::controlWithTag(*frame, tag); }
    // Rests the mouse at p and lets the display catch up (100 ms).
    std::string hover(CPoint p) {
        drag(*frame, p.h, p.v, 0);
        UIEventLoop::get().run(0.1);
        editor->idle();
        return editor->getDisplay()->getText();
    }
    void gesture(CPoint from, CPoint to, long buttons = kLButton) {
        press(*frame, from.h, from.v, buttons);
        drag(*frame, to.h, to.v, buttons);
        release(*frame, to.h, to.v, buttons);
    }

    ResourceFolder resources;
    MorvaneWindow window; // off-screen
    std::unique_ptr<HostHarness> host;
    std::unique_ptr<Morvane_AUView> view;
    MorvaneEditor* editor = nullptr;
    CFrame* frame = nullptr;
};

TEST_F(EditorWindow, DraggingAKnobMovesItsParameterTheWayTheMouseGoesAndShowsTheFrame) {
    open();
    for (const L::Control& c : L::kControls) {
        if (c.kind != L::ControlKind::Knob) continue;
        const int tag = c.tag();
        const float before = natural(tag);
        const bool up = normalised(tag) < 0.7f;
        const CPoint from = centre(c.rect);
        gesture(from, CPoint(from.h + 3, from.v + (up ? -80 : 80)));
        const float after = natural(tag);
        EXPECT_TRUE(up ? after > before : after < before) << c.name << ": " << before << " -> " << after;
        frame->idle();
        const int k = static_cast<int>(std::lround(controlWithTag(tag)->getValue() * 32.0f));
        EXPECT_EQ(frame->getPixel(c.rect.left + 1, c.rect.top + 1), knobFrameColour(k)) << c.name;
    }
}

TEST_F(EditorWindow, PadPressDragAndReleaseSendZAndThePositionAndAThrow) {
    set(kLeftX, 0.25f);
    set(kLeftY, 0.25f);
    set(kKinetics, 1.0f);
    open();
    const int travel = editor->getPad()->getHorizontalTravel();
    ASSERT_EQ(travel, 220 - L::kPadHandleSize);
    const CPoint start = handleCentre(kLeftX);
    EXPECT_EQ(frame->getPixel(start.h, start.v), kLeftHandle);

    press(*frame, start.h, start.v);
    EXPECT_EQ(natural(kLeftZ), 1.0f);
    EXPECT_EQ(natural(kRightZ), 0.0f);
    drag(*frame, start.h + 40, start.v - 20);
    UIEventLoop::get().run(0.1); // one tick of the throw measurement
    drag(*frame, start.h + 60, start.v - 20);
    UIEventLoop::get().run(0.1);
    release(*frame, start.h + 60, start.v - 20);
    EXPECT_EQ(natural(kLeftZ), 0.0f);
    // On the pixel grid: 60 px right and 20 px up of where the press put it.
    const float x = std::trunc(0.25f * travel) / travel + 60.0f / travel;
    const float y = 0.25f + 20.0f / travel;
    EXPECT_NEAR(natural(kLeftX), x, 1e-5);
    EXPECT_NEAR(natural(kLeftY), y, 1.0f / travel);
    // The last tick saw 20 px of X motion and none of Y: the throw, per second.
    EXPECT_NEAR(effect().parameterTable().getNaturalValue(kVelLX), 10.0f * 20.0f / travel, 1e-4);
    EXPECT_EQ(effect().parameterTable().getNaturalValue(kVelLY), 0.0f);

    frame->idle();
    const CPoint now = handleCentre(kLeftX);
    EXPECT_EQ(now.h, start.h + 60);
    EXPECT_EQ(frame->getPixel(now.h, now.v), kLeftHandle);
    EXPECT_EQ(frame->getPixel(start.h, start.v), kBackground);
}

TEST_F(EditorWindow, RecordModeRecordsTheHeldPadFromThePress) {
    set(kMotionMode, 2.0f); // "Rec"
    open();
    effect().recorderLeft().clearRecording();
    const CPoint start = handleCentre(kLeftX);
    press(*frame, start.h, start.v);
    EXPECT_EQ(effect().recorderLeft().count.load(), 1u);
    drag(*frame, start.h + 10, start.v);
    UIEventLoop::get().run(0.3);
    release(*frame, start.h + 10, start.v);
    UIEventLoop::get().run(0.3);
    EXPECT_EQ(effect().recorderLeft().count.load(), 4u);
    EXPECT_EQ(effect().recorderRight().count.load(), 0u);
}

TEST_F(EditorWindow, LockShowsASolidLineAtOnceAndTheLockedPairStopsAtTheEdge) {
    set(kLeftX, 0.3f);
    set(kLeftY, 0.5f);
    set(kRightX, 0.9f);
    set(kRightY, 0.5f);
    set(kLinkMode, 1.0f); // "Lock"
    open();
    CMultiXYControl* pad = editor->getPad();
    EXPECT_EQ(pad->getHandleLink(kLeftX, kRightX), CMultiXYControl::kSolidLink);
    EXPECT_EQ(pad->getHandleLink(kRightX, kLeftX), CMultiXYControl::kHiddenLink);
    const CPoint left = handleCentre(kLeftX), right = handleCentre(kRightX);
    // The line runs one pixel above the handles' centres.
    EXPECT_EQ(frame->getPixel((left.h + right.h) / 2, left.v - 1), kWhite);
    EXPECT_EQ(frame->getPixel((left.h + right.h) / 2, left.v + 5), kBackground);

    // 0.3 of the travel to the right; the right pad can go only 0.1 further.
    gesture(left, CPoint(left.h + 61, left.v));
    host->pump();
    view->deliverQueuedValues();
    EXPECT_NEAR(natural(kLeftX), 0.4f, 0.01f);
    // The effect moves the partner in its own table and shows it on the pad.
    EXPECT_NEAR(effect().parameterTable().getVSTvalue(kRightX), 1.0f, 1e-6);
    EXPECT_NEAR(pad->getValue(kRightX), 1.0f, 1e-6);
}

TEST_F(EditorWindow, LinkDragsTheRightHandleAloneAndTheSwitchRelinksThePad) {
    set(kLeftX, 0.2f);
    set(kRightX, 0.6f);
    set(kLinkMode, 2.0f); // "Link"
    open();
    CMultiXYControl* pad = editor->getPad();
    EXPECT_EQ(pad->getHandleLink(kLeftX, kRightX), CMultiXYControl::kDashedLink);
    const CPoint right = handleCentre(kRightX);
    gesture(right, CPoint(right.h - 30, right.v + 10));
    host->pump();
    EXPECT_NEAR(natural(kLeftX), 0.2f, 1e-6);
    EXPECT_NEAR(pad->getValue(kLeftX), 0.2f, 1e-6);
    EXPECT_LT(natural(kRightX), 0.6f - 0.1f);

    // Clicking "Free" on the switch unlinks the pad at once.
    const L::Control& linkSwitch = *L::findControl(kLinkMode);
    for (int row = 0; row < 3; ++row) {
        press(*frame, linkSwitch.rect.left + 5, linkSwitch.rect.top + 20 * row + 10);
        release(*frame, linkSwitch.rect.left + 5, linkSwitch.rect.top + 20 * row + 10);
        if (natural(kLinkMode) == 0.0f) break;
    }
    ASSERT_EQ(natural(kLinkMode), 0.0f);
    EXPECT_EQ(pad->getHandleLink(kLeftX, kRightX), CMultiXYControl::kNoLink);
}

TEST_F(EditorWindow, RangeHandlesPassEachOtherAndTheHighlightOutlinesOneHandle) {
    set(kLXLowRange, 0.2f);
    set(kLXHighRange, 0.4f);
    open();
    CHorizontalRangeSlider* slider = editor->getRangeSlider(0, 0);
    CRect low;
    slider->getMIDILearnRect(kLXLowRange, low);
    gesture(CPoint(low.left + 2, low.top + 10), CPoint(low.left + 2 + 78, low.top + 10));
    EXPECT_NEAR(natural(kLXLowRange), 0.2f + 78.0f / slider->getHorizontalTravel(), 0.01f);
    EXPECT_GT(slider->getValue(kLXLowRange), slider->getValue(kLXHighRange));

    editor->highlightControl(kLXHighRange, true);
    CRect high;
    slider->getMIDILearnRect(kLXHighRange, high);
    EXPECT_EQ(editor->getHighlightView()->getHighlightRectangle(), high);
}

TEST_F(EditorWindow, DestinationMenuEntry12SendsEightTenths) {
    open();
    const L::Control& menu = *L::findControl(kLXDestination);
    press(*frame, menu.rect.left + 10, menu.rect.top + 5);
    ASSERT_NE(frame->getOpenPopup(), nullptr);
    const CRect list = frame->getOpenPopup()->getRect();
    const CCoord row12 = list.top + 3 + 12 * COptionMenuPopup::kEntryHeight + 9;
    press(*frame, list.left + 30, row12);
    EXPECT_EQ(frame->getOpenPopup(), nullptr);
    EXPECT_EQ(natural(kLXDestination), 12.0f); // 0.8 of the 0..15 range: "Delay Mix"
    EXPECT_EQ(normalised(kLXDestination), 0.8f);
}

TEST_F(EditorWindow, OnOffButtonsShowOnAboveOneHalf) {
    open();
    for (long id : {kFilterOnOff, kDelayOnOff}) {
        const L::Rect& r = L::findControl(id)->rect;
        editor->setParameter(id, 0.4f);
        frame->idle();
        EXPECT_EQ(frame->getPixel(r.left + 2, r.top + 2), kButtonOff);
        editor->setParameter(id, 0.6f);
        frame->idle();
        EXPECT_EQ(frame->getPixel(r.left + 2, r.top + 2), kButtonOn);
    }
}

TEST_F(EditorWindow, CtrlClicksClearRecordingsAndStopDriftThenClickAsUsual) {
    ASSERT_EQ(host->selectFactoryPreset(27), noErr);
    host->pump();
    open();
    ASSERT_GT(effect().recorderLeft().count.load(), 0u);
    ASSERT_GT(effect().recorderRight().count.load(), 0u);

    // On the left handle: the left recording goes, and the handle is grabbed.
    const CPoint left = handleCentre(kLeftX);
    press(*frame, left.h, left.v, kLButton | kCommand);
    EXPECT_EQ(effect().recorderLeft().count.load(), 0u);
    EXPECT_GT(effect().recorderRight().count.load(), 0u);
    EXPECT_EQ(natural(kLeftZ), 1.0f);
    release(*frame, left.h, left.v, kLButton | kCommand);

    // On empty pad: nothing is cleared and nothing is grabbed.
    const L::Rect& padRect = L::findControl(kLeftX)->rect;
    CPoint empty(padRect.left + 1, padRect.bottom - 2);
    int h = 0, v = 0;
    if (editor->getPad()->getTagsFromPoint(empty, h, v)) empty = CPoint(padRect.right - 2, padRect.top + 1);
    press(*frame, empty.h, empty.v, kLButton | kCommand);
    EXPECT_GT(effect().recorderRight().count.load(), 0u);
    EXPECT_EQ(natural(kLeftZ), 0.0f);
    EXPECT_EQ(natural(kRightZ), 0.0f);

    // On "Motion Mode": both recordings go, and the switch still moves.
    const float mode = natural(kMotionMode);
    const L::Rect& modeRect = L::findControl(kMotionMode)->rect;
    const CCoord row = mode == 0.0f ? modeRect.top + 10 : modeRect.bottom - 10;
    press(*frame, modeRect.left + 5, row, kLButton | kCommand);
    release(*frame, modeRect.left + 5, row, kLButton | kCommand);
    EXPECT_EQ(effect().recorderRight().count.load(), 0u);
    EXPECT_NE(natural(kMotionMode), mode);

    // On "Kinetics": the drift stops, and the button toggles.
    for (int i = 0; i < 4; ++i)
        effect().padEngine().setPadVelocity(i, 1e-4f);
    const float kinetics = natural(kKinetics);
    gesture(centre(L::findControl(kKinetics)->rect), centre(L::findControl(kKinetics)->rect),
            kLButton | kCommand);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(effect().padEngine().padVelocity(i), 0.0f) << i;
    EXPECT_NE(natural(kKinetics), kinetics);
}

TEST_F(EditorWindow, TheDisplayNamesWhatTheMouseRestsOn) {
    set(kLXDestination, 1.0f); // "Filter Frequency", over the whole range
    set(kLXLowRange, 0.0f);
    set(kLXHighRange, 1.0f);
    set(kLeftX, 0.5f);
    open();
    const std::string freq = hover(centre(L::findControl(kFilterFreq)->rect));
    char value[40] = {};
    view->GetParamDisplayValue(kFilterFreq, value);
    EXPECT_EQ(freq, "Filter Freq : " + std::string(value));
    EXPECT_NE(std::string(value).find(" HZ"), std::string::npos) << value;

    // The pad: the left handle's two values, then the right's; X shows the
    // filter frequency the handle's position selects, in capitals.
    const std::string padText = hover(centre(L::findControl(kLeftX)->rect));
    EXPECT_TRUE(std::regex_match(padText, std::regex(R"(\[ [^,]+, [^ ]+ \] / \[ [^,]+, [^ ]+ \])")))
        << padText;
    char expected[16] = {};
    effect().parameterTable().getValueStringFromVSTvalue(kFilterFreq, expected, 0.5f, 10);
    std::string upper = expected;
    for (char& ch : upper)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(padText.rfind("[ " + upper.substr(upper.find_first_not_of(' ')) + ",", 0), 0u) << padText;

    CRect high;
    editor->getRangeSlider(0, 0)->getMIDILearnRect(kLXHighRange, high);
    EXPECT_EQ(hover(CPoint(high.left + 3, high.top + 10)).rfind("L X High Range : ", 0), 0u);

    // Empty background leaves the last text; resting on the display scrolls.
    const std::string last = editor->getDisplay()->getText();
    EXPECT_EQ(hover(CPoint(5, L::kWindowHeight - 5)), last);
    const L::Rect& displayRect = L::findControl(L::kDisplayTag)->rect;
    const std::string credits1 = hover(centre(displayRect)), credits2 = hover(centre(displayRect));
    EXPECT_EQ(credits1.substr(1), credits2);
}

} // namespace

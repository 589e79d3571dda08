#include "editor/MorvaneEditor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "editor/MorvaneEditorLayout.h"
#include "editor/Morvane_AUView.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "params/MorvaneParameterIds.h"

using VSTGUI::CBitmap;
using VSTGUI::CControl;
using VSTGUI::CPoint;
using VSTGUI::CRect;
using VSTGUI::CView;

namespace {

using MorvaneLayout::ControlKind;

constexpr long kKnobTags[14] = {kFilterFreq, kFilterResonance, kFilterType,    kFilterGain,     kSaturation,
                                kBitcrush,   kMotionRate,      kLeftDelayTime, kRightDelayTime, kRegeneration,
                                kWidth,      kWetDryMix,       kInputGain,     kOutputGain};
constexpr long kButtonTags[5] = {kFilterOnOff, kHostSync, kDelayOnOff, kKinetics, kEmulation};
constexpr long kSwitchTags[2] = {kLinkMode, kMotionMode};
// The destination menus, in the order of the range sliders: left X, Y, Z,
// then right X, Y, Z. Each destination's bounds follow it (id + 1, id + 2).
constexpr long kDestinationTags[6] = {kLXDestination, kLYDestination, kLZDestination,
                                      kRXDestination, kRYDestination, kRZDestination};

constexpr int kDestinationEntries = 16;
const char* const kDestinationNames[kDestinationEntries] = {
    "- Nothing -", "Filter Frequency", "Filter Resonance", "Filter Type",      "Filter Gain", "Saturation",
    "Bitcrush",    "Filter Active",    "Left Delay Time",  "Right Delay Time", "Delay Regen", "Delay Width",
    "Delay Mix",   "Delay Active",     "Input Gain",       "Output Gain",
};

template <std::size_t N> int indexOf(const long (&tags)[N], long tag) {
    for (std::size_t i = 0; i < N; ++i)
        if (tags[i] == tag) return static_cast<int>(i);
    return -1;
}

CRect toRect(const MorvaneLayout::Rect& r) {
    return CRect(r.left, r.top, r.right, r.bottom);
}

// The credits, scrolled one character every 100 ms while the mouse rests on
// the display: a run of spaces, the text, spaces again (257 characters).
constexpr std::size_t kCreditsLength = 257;
constexpr std::size_t kCreditsLeadIn = 50;
const char* credits() {
    static char line[kCreditsLength + 1] = {};
    if (!line[0]) {
        static const char text[] =
            "MORVANE   -   FILTER, DELAY AND TWO PADS IN MOTION   -   DRAG A HANDLE TO SWEEP ITS TARGETS, "
            "HOLD IT FOR Z, THROW IT WITH KINETICS ON, RECORD A TAKE IN REC   -   THANK YOU FOR PLAYING";
        static_assert(kCreditsLeadIn + sizeof text - 1 < kCreditsLength);
        std::memset(line, ' ', kCreditsLength);
        std::memcpy(line + kCreditsLeadIn, text, sizeof text - 1);
    }
    return line;
}
// Shared by every editor of the process.
std::size_t gCreditsPosition = 0;

bool before(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

} // namespace

MorvaneEditor::MorvaneEditor(Morvane_AUView* hostView) : VSTGUI::PluginGUIEditor(hostView) {
    background = new CBitmap(MorvaneLayout::kBackgroundBitmap);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<int16_t>(background->getHeight());
    rect.right = static_cast<int16_t>(background->getWidth());
    setKnobMode(VSTGUI::kLinearMode);
    timerHandler =
        new CTimerHandler(kTimerPeriod, nullptr, kLeftX, kLeftY, kRightX, kRightY, nullptr, nullptr);
}

MorvaneEditor::~MorvaneEditor() {
    if (opened || frame) close();
    background->forget();
    timerHandler->forget();
}

Morvane_AUView* MorvaneEditor::view() const {
    return static_cast<Morvane_AUView*>(getEffect());
}

float MorvaneEditor::naturalValue(long id) const {
    ko_paramManager* manager = view()->getParameterManager();
    return manager ? manager->getNaturalValue(static_cast<int32_t>(id)) : 0.0f;
}

CHorizontalRangeSlider* MorvaneEditor::getRangeSlider(int side, int axis) const {
    if (side < 0 || side > 1 || axis < 0 || axis > 2) return nullptr;
    return rangeSliders[side * 3 + axis];
}

CHorizontalRangeSlider* MorvaneEditor::getRangeSliderFor(long id) const {
    for (int i = 0; i < 6; ++i)
        if (id == kDestinationTags[i] + 1 || id == kDestinationTags[i] + 2) return rangeSliders[i];
    return nullptr;
}

bool MorvaneEditor::open(void* systemWindow) {
    using MorvaneLayout::kControls;
    if (opened) close();
    PluginGUIEditor::open(systemWindow);
    std::map<int, CBitmap*> bitmaps;
    for (const MorvaneLayout::Resource& r : MorvaneLayout::kResources)
        if (r.id != MorvaneLayout::kBackgroundBitmap) bitmaps[r.id] = new CBitmap(r.id);
    auto bitmap = [&](int id) -> CBitmap* {
        const auto found = bitmaps.find(id);
        return found == bitmaps.end() ? nullptr : found->second;
    };

    const CRect window(0, 0, background->getWidth(), background->getHeight());
    frame = new VSTGUI::CFrame(window, systemWindow, this);
    frame->setBackground(background);

    highlight = new CMorvaneHighlightView(window, frame);
    frame->addView(highlight);

    int slider = 0, menu = 0;
    for (const MorvaneLayout::Control& c : kControls) {
        const CRect size = toRect(c.rect);
        const long tag = c.tag();
        switch (c.kind) {
        case ControlKind::XYPad:
            // The right pad's handle first (it wins where the two overlap),
            // then the left pad's.
            pad = new CMultiXYControl(size, this, c.tags[0], c.tags[1], c.tags[2], nullptr, bitmap(c.bitmap));
            pad->addHandle(c.tags[3], c.tags[4], c.tags[5], bitmap(c.bitmap2));
            for (int t : {kLeftX, kLeftY, kLeftZ, kRightX, kRightY, kRightZ})
                pad->setValue(t, view()->getParameter(t));
            frame->addView(pad);
            applyLinkMode(static_cast<int>(naturalValue(kLinkMode)));
            timerHandler->setControl(pad);
            break;
        case ControlKind::RangeSlider: {
            auto* s = new CHorizontalRangeSlider(size, this, c.tags[0], c.tags[1], nullptr, bitmap(c.bitmap),
                                                 bitmap(c.bitmap2));
            s->setValue(c.tags[0], view()->getParameter(c.tags[0]));
            s->setValue(c.tags[1], view()->getParameter(c.tags[1]));
            frame->addView(s);
            rangeSliders[slider++] = s;
            break;
        }
        case ControlKind::DestinationMenu: {
            auto* m = new CHiddenOptionMenu(size, this, tag, nullptr, nullptr,
                                            VSTGUI::kPopupStyle | VSTGUI::kCheckStyle);
            for (const char* entry : kDestinationNames)
                m->addEntry(entry);
            m->setValue(naturalValue(tag));
            frame->addView(m);
            destinationMenus[menu++] = m;
            break;
        }
        case ControlKind::Knob: {
            auto* k = new VSTGUI::CAnimKnob(size, this, tag, MorvaneLayout::kKnobFrames, size.height(),
                                            bitmap(c.bitmap), CPoint(0, 0));
            k->setValue(view()->getParameter(tag));
            frame->addView(k);
            knobs[indexOf(kKnobTags, tag)] = k;
            break;
        }
        case ControlKind::OnOffButton: {
            auto* b = new VSTGUI::CMovieButton(size, this, tag, bitmap(c.bitmap), CPoint(0, 0));
            b->setValue(view()->getParameter(tag));
            frame->addView(b);
            buttons[indexOf(kButtonTags, tag)] = b;
            break;
        }
        case ControlKind::VerticalSwitch: {
            auto* s =
                new VSTGUI::CVerticalSwitch(size, this, tag, MorvaneLayout::kSwitchFrames, size.height(),
                                            MorvaneLayout::kSwitchFrames, bitmap(c.bitmap), CPoint(0, 0));
            s->setValue(view()->getParameter(tag));
            frame->addView(s);
            switches[indexOf(kSwitchTags, tag)] = s;
            break;
        }
        case ControlKind::Display:
            // Tag 46 is no parameter: the display only shows text.
            display = new VSTGUI::CTextEdit(size, this, tag, nullptr, nullptr, 0);
            frame->addView(display);
            break;
        }
    }

    display->setFontColor(normalDisplayColor);
    display->setFont(VSTGUI::kNormalFontSmaller);
    display->setTxtFace(VSTGUI::kBoldFace);
    display->setTransparency(true);
    display->setTextTransparency(true);
    display->setMouseEnabled(false);
    display->setHoriAlign(VSTGUI::kLeftText);
    display->setText(" ");
    displayText[0] = '\0';

    timer = new VSTGUI::CVSTGUITimer(timerHandler, kTimerPeriod);
    timer->start();

    for (auto& [id, b] : bitmaps)
        b->forget();

    opened = true;
    editing = false;
    editedControl = nullptr;
    // Due at once. (The toolkit's clock is a wrapping millisecond count that
    // starts anywhere, so "0" would not mean "long ago".)
    nextDisplayUpdate = getTicks();
    return true;
}

void MorvaneEditor::close() {
    opened = false;
    if (frame) {
        frame->forget();
        frame = nullptr;
    }
    if (timer) {
        timer->forget();
        timer = nullptr;
    }
    timerHandler->setControl(nullptr);
    pad = nullptr;
    std::fill(std::begin(rangeSliders), std::end(rangeSliders), nullptr);
    std::fill(std::begin(destinationMenus), std::end(destinationMenus), nullptr);
    std::fill(std::begin(buttons), std::end(buttons), nullptr);
    std::fill(std::begin(switches), std::end(switches), nullptr);
    std::fill(std::begin(knobs), std::end(knobs), nullptr);
    display = nullptr;
    highlight = nullptr;
    editedControl = nullptr;
    editing = false;
    PluginGUIEditor::close();
}

void MorvaneEditor::applyLinkMode(int mode) {
    if (!pad) return;
    CMultiXYControl::linkTypes leftToRight, rightToLeft;
    switch (mode) {
    case 0: // "Free"
        leftToRight = rightToLeft = CMultiXYControl::kNoLink;
        break;
    case 1: // "Lock": both move whichever is dragged; one solid line
        leftToRight = CMultiXYControl::kSolidLink;
        rightToLeft = CMultiXYControl::kHiddenLink;
        break;
    case 2: // "Link": the left leads, the right moves alone
        leftToRight = CMultiXYControl::kDashedLink;
        rightToLeft = CMultiXYControl::kNoLink;
        break;
    default:
        return;
    }
    pad->setHandleLink(kLeftX, kRightX, leftToRight);
    pad->setHandleLink(kRightX, kLeftX, rightToLeft);
}

void MorvaneEditor::setParameter(long id, float value) {
    if (!opened || id < 0 || id >= kNumPublishedParameters) return;
    if (const int k = indexOf(kKnobTags, id); k >= 0) {
        if (knobs[k]) knobs[k]->setValue(value);
        return;
    }
    switch (id) {
    case kFilterOnOff:
    case kDelayOnOff:
        if (auto* b = buttons[indexOf(kButtonTags, id)]) b->setValue(value > 0.5f ? 1.0f : 0.0f);
        return;
    case kHostSync:
    case kEmulation:
    case kKinetics:
        if (auto* b = buttons[indexOf(kButtonTags, id)]) b->setValue(value);
        return;
    case kMotionMode:
        if (switches[1]) switches[1]->setValue(value);
        return;
    case kLinkMode:
        applyLinkMode(static_cast<int>(naturalValue(kLinkMode)));
        if (switches[0]) switches[0]->setValue(value);
        return;
    default:
        break;
    }
    if (id >= kRightX && id <= kLeftZ) {
        if (pad) pad->setValue(static_cast<int>(id), value);
    } else if (const int d = indexOf(kDestinationTags, id); d >= 0) {
        if (destinationMenus[d]) destinationMenus[d]->setValue(naturalValue(id));
    } else if (CHorizontalRangeSlider* s = getRangeSliderFor(id)) {
        s->setValue(static_cast<int>(id), value);
    }
}

void MorvaneEditor::valueChanged(CControl* control) {
    if (!control) return;
    const long tag = control->getTag();
    const bool menu = indexOf(kDestinationTags, tag) >= 0;
    const float value = menu ? control->getValue() / 15.0f : control->getValue();
    view()->SetParameterFromVSTGUI(tag, value);
    // The view does not hear its own sets, and the effect has nothing to say
    // back about Link Mode: the pad's links follow the switch here.
    if (tag == kLinkMode) {
        if (ko_paramManager* manager = view()->getParameterManager())
            applyLinkMode(static_cast<int>(manager->naturalValueFromVSTvalue(kLinkMode, value)));
    }
}

void MorvaneEditor::valueChanged(long tag, float value) {
    if (tag == kRightZ || tag == kLeftZ) {
        const int side = tag == kRightZ ? 1 : 0;
        const bool pressed = value > 0.5f;
        if (naturalValue(kMotionMode) == 2.0f) { // "Rec"
            if (pressed)
                timerHandler->startMeasuringPosition(side);
            else
                timerHandler->stopMeasuringPosition(side);
        } else if (naturalValue(kKinetics) == 1.0f) {
            if (pressed) {
                timerHandler->startMeasuringVelocity(side);
            } else {
                timerHandler->stopMeasuringVelocity(side);
                _floatPair velocity{0.0f, 0.0f};
                timerHandler->getVelocities(side, velocity);
                view()->reportVelocity(side, velocity.x, velocity.y);
            }
        }
    }
    view()->SetParameterFromVSTGUI(tag, value);
}

long MorvaneEditor::controlModifierClicked(CControl* control, long buttonWord) {
    if (!(buttonWord & VSTGUI::kCommand) || !control) return 0;
    if (control == pad) {
        CPoint where;
        frame->getCurrentLocation(where);
        int horizontalTag = 0, verticalTag = 0;
        if (pad->getTagsFromPoint(where, horizontalTag, verticalTag)) view()->clearRecordings(horizontalTag);
    } else if (control == switches[1]) { // "Motion Mode"
        view()->clearRecordings(0);
    } else if (control == buttons[3]) { // "Kinetics"
        view()->zeroVelocities();
    }
    return 0;
}

void MorvaneEditor::beginEdit(long id) {
    editing = true;
    CView* current = frame ? frame->getCurrentView() : nullptr;
    editedControl = current && current->isTypeOf("CControl") ? dynamic_cast<CControl*>(current) : nullptr;
    view()->HandleMouseDown(id);
}

void MorvaneEditor::endEdit(long id) {
    editing = false;
    editedControl = nullptr;
    view()->HandleMouseUp(id);
}

void MorvaneEditor::highlightControl(long tag, bool on) {
    if (highlight) highlight->setHighlightControl(tag, on);
}

bool MorvaneEditor::describe(CView* described) {
    char name[AUVSTGUIView::kDisplayTextSize] = {}, value[AUVSTGUIView::kDisplayTextSize] = {};
    if (described == display) {
        display->setFont(VSTGUI::kNormalFontVerySmall);
        std::snprintf(displayText, sizeof displayText, "%s", credits() + gCreditsPosition);
        gCreditsPosition = (gCreditsPosition + 1) % kCreditsLength;
        return true;
    }
    if (described == pad) {
        char values[4][AUVSTGUIView::kDisplayTextSize] = {};
        const long axes[4] = {kLeftX, kLeftY, kRightX, kRightY};
        for (int i = 0; i < 4; ++i)
            view()->GetParamDisplayValue(axes[i], values[i]);
        std::snprintf(displayText, sizeof displayText, "[ %s, %s ] / [ %s, %s ]", values[0], values[1],
                      values[2], values[3]);
        return true;
    }
    long id = -1;
    if (described->isTypeOf("CHorizontalRangeSlider")) {
        CPoint where;
        frame->getCurrentLocation(where);
        id = static_cast<CHorizontalRangeSlider*>(described)->getTagFromPoint(where);
    } else if (described->isTypeOf("CControl")) {
        id = static_cast<CControl*>(described)->getTag();
    }
    if (id < 0) return false;
    view()->GetParamDisplayName(id, name);
    view()->GetParamDisplayValue(id, value);
    std::snprintf(displayText, sizeof displayText, "%s : %s", name, value);
    return true;
}

void MorvaneEditor::idle() {
    PluginGUIEditor::idle();
    if (!opened) return;
    if (ko_paramManager* manager = view()->getParameterManager(); manager && pad)
        for (int tag : {kLeftX, kLeftY, kRightX, kRightY})
            pad->setValue(tag, manager->getVSTvalue(tag));

    const uint32_t now = getTicks();
    if (before(now, nextDisplayUpdate)) return;
    CView* described = editing ? editedControl : frame->getCurrentView();
    display->setFontColor(editing ? editDisplayColor : normalDisplayColor);
    if (described && described != frame && described != highlight) {
        display->setFont(VSTGUI::kNormalFontSmaller);
        if (describe(described)) display->setText(displayText);
    }
    nextDisplayUpdate = now + kDisplayRefreshInterval;
}

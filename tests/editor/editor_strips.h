// Stand-in bitmaps for every resource of the editor's layout, in flat colours
// a pixel check can name: the background, each pad handle, knob frame k
// (knobFrameColour(k)) and the off and on frames of the buttons and switches;
// and the look-ups tests of the live editor share.
#pragma once

#include <functional>

#include "editor/MorvaneEditor.h"
#include "editor/MorvaneEditorLayout.h"
#include "tests/gui/gui_test_support.h"

namespace guitest {

const CColor kBackground{20, 30, 40, 255};
const CColor kLeftHandle{255, 160, 0, 255};
const CColor kRightHandle{0, 200, 255, 255};
const CColor kButtonOff{60, 60, 60, 255};
const CColor kButtonOn{0, 255, 0, 255};

inline void writeEditorStrips(ResourceFolder& resources) {
    namespace L = MorvaneLayout;
    for (const L::Resource& r : L::kResources) {
        std::function<CColor(int)> colour = [](int k) { return k ? kButtonOn : kButtonOff; };
        if (r.id == L::kBackgroundBitmap) colour = [](int) { return kBackground; };
        if (r.id == L::kLeftHandleBitmap) colour = [](int) { return kLeftHandle; };
        if (r.id == L::kRightHandleBitmap) colour = [](int) { return kRightHandle; };
        if (r.id == L::kKnobBitmap) colour = knobFrameColour;
        resources.writeStrip(r.id, r.width, r.frameHeight, r.frames, colour);
    }
}

// The centre of a pad handle, from the parameter values it shows.
inline CPoint handleCentre(MorvaneEditor& editor, int xTag) {
    CRect r;
    editor.getPad()->getMIDILearnRect(xTag, r);
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

inline CControl* controlWithTag(CFrame& frame, long tag) {
    for (long i = 0; i < frame.getNbViews(); ++i)
        if (auto* c = dynamic_cast<CControl*>(frame.getView(i)); c && c->getTag() == tag) return c;
    return nullptr;
}

} // namespace guitest

// The editor's pictures: the window background with every label, and the
// handle, button, switch and knob strips, each drawn from the layout table at
// 1x or 2x. Also the composed window (background plus every control's bitmap
// at a given set of values), for judging the whole look before the editor
// exists.
#pragma once

#include <functional>
#include <string>

#include "editor/MorvaneEditorLayout.h"
#include "resources/ArtCanvas.h"

namespace art {

// Empty when every text colour stands out from its ground by at least
// 4.5 : 1; otherwise the texts that do not, with their contrast.
std::string illegibleText();

// The bitmap of resource id (all its frames, stacked vertically) at scale 1
// or 2. Throws std::invalid_argument for an id that is not in the resource
// table.
Surface drawResource(int id, int scale);

// The frame of a multi-frame control's bitmap that shows a normalised value.
int frameForValue(const MorvaneLayout::Control& control, float value);

// The whole window with every control at the value valueOf(tag) gives, and
// text in the display.
Surface composeWindow(const std::function<float(int)>& valueOf, const char* displayText, int scale);

} // namespace art

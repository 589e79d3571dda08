// The toolkit's button word for X11 mouse events: left, middle and right
// buttons, Shift 0x10, Ctrl as the command key 0x20, Alt as option 0x40.
#pragma once

namespace VSTGUI {

// User-interface thread (any thread: pure functions): the word for a press or
// release of X button (1 to 3) with the X modifier state of the event.
long buttonWordForPress(unsigned int button, unsigned int state);
// The word for a motion event: the buttons held and the modifiers.
long buttonWordForMotion(unsigned int state);

} // namespace VSTGUI

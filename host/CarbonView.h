// The view side of the component model: how a host shows a unit's editor.
//
// A unit names its view component (kAudioUnitProperty_GetUIComponentList); a
// host opens that component like any other (MorvaneOpenUnitView finds it in
// the unit's bundle), asks it to create its view in one of the host's windows
// (AudioUnitCarbonViewCreate), and may listen for the user's gestures in it
// (AudioUnitCarbonViewSetEventListener). The view takes a pane, a rectangle
// of the host's window, and shows its editor there; it answers the pane, so
// the host can size its window to it. Closing the component takes the view
// down.
//
// Windows on this platform are X11 windows. A host with none (a test, a
// headless render) passes an off-screen window, and the view draws into
// memory only.
//
// Threads: every call here belongs to the host's user-interface thread, whose
// run loop then drives the view's timers and listener.
#pragma once

#include "host/AudioUnitTypes.h"
#include "host/ComponentEntry.h"

struct Float32Point {
    Float32 x;
    Float32 y;
};

// A window of the host's that a view is created in.
struct MorvaneWindow {
    enum Kind : UInt32 {
        kOffscreen = 0, // no window: the view draws into memory
        kEmbedded = 1,  // x11Window is the host's window: the view's window becomes its child
        kTopLevel = 2,  // the view opens a top-level window of its own, titled `title`
    };
    Kind kind = kOffscreen;
    unsigned long x11Window = 0;   // kEmbedded: the host's X11 window
    const char* display = nullptr; // the X display's name; null for $DISPLAY
    // Device pixels per point, 1 or 2. 0 leaves it to the user's environment:
    // MORVANE_SCALE, else GDK_SCALE, else 1.
    UInt32 scaleFactor = 0;
    const char* title = nullptr; // kTopLevel
};
typedef MorvaneWindow* WindowRef;

// A pane: the part of the host's window a view occupies, and the native
// window the view embedded in it. The view owns it; the host reads it.
struct MorvanePane {
    WindowRef window = nullptr;
    Float32Point location{0, 0};  // in the window, a parent pane's location included
    Float32Point size{0, 0};      // in points
    unsigned long nativeView = 0; // the embedded X11 window; 0 while none (or off-screen)
    bool visible = false;
    bool needsDisplay = false;
    bool closeRequested = false; // a kTopLevel window's close box was clicked
};
typedef MorvanePane* ControlRef;

typedef ComponentInstance AudioUnitCarbonView;

typedef SInt32 AudioUnitCarbonViewEventID;
enum : AudioUnitCarbonViewEventID {
    kAudioUnitCarbonViewEvent_MouseDownInControl = 0,
    kAudioUnitCarbonViewEvent_MouseUpInControl = 1,
};

// Tells a host that the user pressed (or released) the mouse in the control
// of inParameter. inEventParam is the view's own detail; null here.
typedef void (*AudioUnitCarbonViewEventListener)(void* inUserData, AudioUnitCarbonView inView,
                                                 const AudioUnitParameter* inParameter,
                                                 AudioUnitCarbonViewEventID inEvent,
                                                 const void* inEventParam);

// View selectors, with their argument slots.
enum : SInt16 {
    // unit, WindowRef, parent ControlRef (may be null), const Float32Point* location,
    // const Float32Point* size, ControlRef* out
    kAudioUnitCarbonViewCreateSelect = 0x0301,
    // AudioUnitCarbonViewEventListener, user data
    kAudioUnitCarbonViewSetEventListenerSelect = 0x0302,
};

extern "C" {
// Creates the view of inAudioUnit in inWindow, at inLocation (in inParentControl
// when given, else in the window), at most inSize (the view takes the size
// its editor needs). *outControl is the view's pane, valid until the view
// component is closed. The view's result, or paramErr for missing pointers.
OSStatus AudioUnitCarbonViewCreate(AudioUnitCarbonView inView, AudioUnit inAudioUnit, WindowRef inWindow,
                                   ControlRef inParentControl, const Float32Point* inLocation,
                                   const Float32Point* inSize, ControlRef* outControl);
// Sets (or, with a null callback, clears) the view's event listener.
OSStatus AudioUnitCarbonViewSetEventListener(AudioUnitCarbonView inView,
                                             AudioUnitCarbonViewEventListener inCallback, void* inUserData);
// Opens the view component that inAudioUnit names, from the bundle the unit
// was opened from. invalidComponentID when the unit names none, or was not
// opened from a bundle, or the bundle does not register it.
OSStatus MorvaneOpenUnitView(AudioUnit inAudioUnit, AudioUnitCarbonView* outView);
}

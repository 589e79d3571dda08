// The parameter-listener and event facility: tells interested parties (the
// effect itself, its editor view, a host) that a parameter of a unit changed,
// or that a user began or ended a gesture on it.
//
// Posting (AUParameterSet, AUParameterListenerNotify, AUEventListenerNotify)
// works from any thread, the render thread included: it never blocks, locks,
// allocates or calls the system. It only marks what changed. Delivery happens
// later, on the run loop each listener was created on, when that loop runs or
// is pumped, coalesced at the listener's notification interval: of several
// values of one parameter posted between two deliveries only the latest is
// delivered. A listener is never told about a change that it posted itself
// (same listener and same object).
//
// Creating, registering, removing and disposing happen on the user-interface
// or another host thread, never on the render thread.
#pragma once

#include "host/AudioUnitTypes.h"
#include "host/RunLoop.h"

typedef struct AUListenerBase* AUParameterListenerRef;
typedef AUParameterListenerRef AUEventListenerRef;

// As the parameter id of AUParameterListenerNotify: every parameter of the unit
// changed. Each registration for that unit then hears its parameter's value
// as it is when the notification is delivered.
enum : AudioUnitParameterID { kAUParameterListener_AnyParameter = 0xFFFFFFFFu };

typedef UInt32 AudioUnitEventType;
enum : AudioUnitEventType {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3,
};

struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter; // parameter events (0, 1, 2)
        AudioUnitProperty mProperty;   // property events (3)
    } mArgument;
};

// Parameter listener callback: refCon as given to AUListenerCreate, object as
// given to AUListenerAddParameter, the parameter, its new value.
typedef void (*AUParameterListenerProc)(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                                        AudioUnitParameterValue inValue);

// Event listener callback. inEventHostTime is the listener's run-loop clock at
// delivery, in nanoseconds. inParameterValue is the parameter's value for
// parameter events (for gestures, its value at delivery), 0 for property events.
typedef void (*AUEventListenerProc)(void* inCallbackRefCon, void* inObject, const AudioUnitEvent* inEvent,
                                    UInt64 inEventHostTime, AudioUnitParameterValue inParameterValue);

// Gesture or property events queued per listener between two deliveries (a
// full queue drops further events and counts them). Listeners per process and
// registrations per listener have no limit beyond memory.
enum : UInt32 { kMorvaneListenerEventQueueSize = 256 };

extern "C" {

// Creates a parameter listener delivering on inRunLoop (the calling thread's
// loop when null); the mode is accepted and not distinguished. Callbacks come
// at most once per parameter per inNotificationInterval seconds of the loop's
// clock (0: at every run of the loop). Returns paramErr without a callback or
// result pointer, memFullErr when memory runs out. User-interface or host
// thread.
OSStatus AUListenerCreate(AUParameterListenerProc inProc, void* inRefCon, CFRunLoopRef inRunLoop,
                          CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                          AUParameterListenerRef* outListener);

// Ends a listener of either kind. No callback of it runs after this returns,
// except the one that may be calling it (the rest of that delivery is
// dropped). User-interface or host thread.
OSStatus AUListenerDispose(AUParameterListenerRef inListener);

// Registers (object, parameter) with the listener; registering the same pair
// twice has no further effect. memFullErr when memory runs out. User-interface
// or host thread.
OSStatus AUListenerAddParameter(AUParameterListenerRef inListener, void* inObject,
                                const AudioUnitParameter* inParameter);
// Removes the registration; a pair that is not registered is ignored. A
// delivery already under way on another thread may still report it once.
OSStatus AUListenerRemoveParameter(AUParameterListenerRef inListener, void* inObject,
                                   const AudioUnitParameter* inParameter);

// Sets the parameter on its unit (AudioUnitSetParameter) and, when that
// succeeds, tells every parameter listener and every value-change event
// listener registered for it, except the sender's own registration (same
// listener and same object), the value the unit then holds. Returns the
// unit's result. Any thread.
OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void* inSendingObject,
                        const AudioUnitParameter* inParameter, AudioUnitParameterValue inValue,
                        UInt32 inBufferOffsetInFrames);

// Tells listeners that the parameter changed without setting it; they hear the
// value the unit holds when the notification is delivered. With
// kAUParameterListener_AnyParameter every registration for the unit hears of
// its own parameter. Any thread.
OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void* inSendingObject,
                                   const AudioUnitParameter* inParameter);

// Creates an event listener (see AUListenerCreate). inValueChangeGranularity is
// accepted; value changes are coalesced at the notification interval.
OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, CFRunLoopRef inRunLoop,
                               CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                               Float32 inValueChangeGranularity, AUEventListenerRef* outListener);

// Registers (object, event type and its parameter or property) with an event
// listener; paramErr for a parameter listener or an unknown event type.
// User-interface or host thread.
OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject,
                                     const AudioUnitEvent* inEvent);
OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject,
                                        const AudioUnitEvent* inEvent);

// Sends an event to the event listeners registered for it, except the
// sender's own registration. Value changes announced here carry the value the
// unit holds at delivery. Gesture and property events are never coalesced and
// are delivered in the order they were posted, interleaved in posting order
// with the listener's value changes: a begin gesture, the values set during
// the gesture (coalesced to the last of them), then the end. Plain parameter listeners hear of values only
// through AUParameterSet and AUParameterListenerNotify, so a party that announces a value change here and
// then sets it with itself as sender hears neither. Any thread.
OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent);

} // extern "C"

// Gesture or property events this listener has dropped because its queue was
// full. Any thread.
UInt64 MorvaneListenerDroppedEvents(AUEventListenerRef inListener);

// Delivers at once, on the calling thread and whatever their notification
// interval, the changes pending for every listener created on runLoop. For a
// host that drives a unit from its own render thread inside a foreign host (a
// plug-in adapter) and gives the unit a run loop of its own
// (MorvaneRunLoopCreate) that no thread runs or pumps: the unit's changes then
// reach it at the start of each block, in the order they were posted. Like
// posting, it never blocks, locks, allocates or calls the system, so the
// render thread may call it. The caller promises that while it runs no
// listener of that loop is created or disposed and none gains or loses a
// registration (the callbacks included), and that no other thread delivers
// that loop's work. Returns the number of callbacks made.
CFIndex MorvaneListenerDeliver(CFRunLoopRef runLoop);

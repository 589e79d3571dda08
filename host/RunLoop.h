// Run loops: one per thread that asks for one, with timers and with the work
// sources the parameter-listener facility delivers through.
//
// A run loop does its work only when its thread runs or pumps it: nothing is
// ever called behind the thread's back. Its clock is either wall time or, for
// an offline host that wants identical results on every run, a time the host
// sets itself (audio time): timers and listener coalescing then follow the
// audio, not the machine.
//
// Run-loop modes are accepted for the platform's signatures; every mode runs
// the same work.
#pragma once

#include "host/CoreFoundation.h"

typedef double CFTimeInterval;
typedef double CFAbsoluteTime;

typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopTimer* CFRunLoopTimerRef;

#define kCFRunLoopDefaultMode CFSTR("kCFRunLoopDefaultMode")
#define kCFRunLoopCommonModes CFSTR("kCFRunLoopCommonModes")

// Results of CFRunLoopRunInMode.
enum : SInt32 {
    kCFRunLoopRunFinished = 1,      // nothing to run: no timers, no sources
    kCFRunLoopRunStopped = 2,       // CFRunLoopStop was called
    kCFRunLoopRunTimedOut = 3,      // the time was used up
    kCFRunLoopRunHandledSource = 4, // returnAfterSourceHandled and something ran
};

// Wall time in seconds, unless the calling thread's run loop has a host-set
// clock, in which case that clock's time (so timers created from "now" on an
// offline host's thread follow audio time). Any thread.
CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);

// The calling thread's run loop, created on first use and kept until the
// thread ends (longer while listeners or timers still hold it). Any thread.
CFRunLoopRef CFRunLoopGetCurrent(void);
// The run loop of the process's main thread. Any thread.
CFRunLoopRef CFRunLoopGetMain(void);

// Runs the calling thread's run loop: repeatedly delivers what is due, waiting
// in between, until seconds have passed, CFRunLoopStop is called, or (with
// returnAfterSourceHandled) something has run. With a host-set clock the loop
// cannot wait for time to pass: it runs what is due once and returns.
// The loop's own thread.
SInt32 CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled);
// Runs the calling thread's run loop until it is stopped or has nothing left.
void CFRunLoopRun(void);
// Makes the innermost running CFRunLoopRunInMode of rl return. Any thread
// except the render thread.
void CFRunLoopStop(CFRunLoopRef rl);
// Wakes rl's thread if it waits, so it looks for due work now. Any thread
// except the render thread.
void CFRunLoopWakeUp(CFRunLoopRef rl);

// A run loop of no thread, for a host that gives a unit a loop of its own and
// delivers that loop's listener work itself (MorvaneListenerDeliver). The
// caller releases it. Any thread except the render thread.
CFRunLoopRef MorvaneRunLoopCreate(void);
// Makes rl the calling thread's run loop (what CFRunLoopGetCurrent returns
// from now on), keeping a reference to it and dropping the one to the loop it
// replaces. A host uses it to initialise a unit on a loop of the unit's own
// and then puts the thread's loop back. Any thread except the render thread.
void MorvaneRunLoopSetCurrent(CFRunLoopRef rl);

// Run loops and timers are reference counted: these take and drop a reference
// (CFRunLoopGetCurrent's result is borrowed). Any thread.
CFRunLoopRef MorvaneRunLoopRetain(CFRunLoopRef rl);
void MorvaneRunLoopRelease(CFRunLoopRef rl);

// ---------------------------------------------------------------------------
// Timers

typedef void (*CFRunLoopTimerCallBack)(CFRunLoopTimerRef timer, void* info);
struct CFRunLoopTimerContext {
    CFIndex version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};

// A timer that first fires at fireDate (on the clock of the run loop it is
// added to) and then every interval seconds; interval <= 0 fires once and then
// invalidates the timer. Fire times missed while the loop did not run are
// skipped, not replayed. The context is copied; its retain/release, when
// given, are applied to info. flags and order are ignored. Returns a timer the
// caller releases with MorvaneRunLoopTimerRelease, or nullptr without a
// callout. Any thread except the render thread.
CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                       CFRunLoopTimerCallBack callout, CFRunLoopTimerContext* context);
CFRunLoopTimerRef MorvaneRunLoopTimerRetain(CFRunLoopTimerRef timer);
void MorvaneRunLoopTimerRelease(CFRunLoopTimerRef timer);

// Adds the timer to rl (a timer belongs to at most one loop; adding it to a
// second one does nothing) / removes it. The loop holds a reference while the
// timer is on it. Any thread except the render thread.
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
Boolean CFRunLoopContainsTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);

// Stops the timer for good and takes it off its loop. When it returns, the
// callout is not running on another thread and will not be called again (it
// may still be on the stack of the calling thread, if the callout itself
// invalidates its timer). Any thread except the render thread.
void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer);
CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer);
void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate);
CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timer);
Boolean CFRunLoopTimerDoesRepeat(CFRunLoopTimerRef timer);

// ---------------------------------------------------------------------------
// Host control of a run loop (offline and test hosts)

// Gives rl a host-set clock reading now. From then on the loop's time changes
// only through this call (or MorvaneRunLoopPumpAt). Any thread except the
// render thread.
void MorvaneRunLoopSetClock(CFRunLoopRef rl, CFAbsoluteTime now);
// Returns rl to wall time.
void MorvaneRunLoopUseWallClock(CFRunLoopRef rl);
Boolean MorvaneRunLoopHasHostClock(CFRunLoopRef rl);
// The loop's current time (wall time or the host-set clock). Any thread.
CFAbsoluteTime MorvaneRunLoopGetTime(CFRunLoopRef rl);

// Runs once, without waiting, everything due at the loop's current time:
// first the work sources (listener deliveries, each subject to its coalescing
// interval), then the due timers. Returns how many callouts ran. The calling
// thread becomes the thread the callouts run on; call it from the loop's
// user-interface thread. Pumps of one loop never overlap (another thread's
// pump waits); a pump nested inside a callout is allowed.
CFIndex MorvaneRunLoopPump(CFRunLoopRef rl);
// Sets the host clock to now, then pumps.
CFIndex MorvaneRunLoopPumpAt(CFRunLoopRef rl, CFAbsoluteTime now);
// Like MorvaneRunLoopPump, but work sources deliver everything pending now,
// whatever their coalescing interval. An offline host calls it before each
// block so that every parameter change queued before the block reaches its
// listeners before the block renders.
CFIndex MorvaneRunLoopFlush(CFRunLoopRef rl);

// ---------------------------------------------------------------------------
// Work sources (used by the listener facility)

// Called by the pump with the loop's time; force asks for everything pending
// regardless of coalescing. Returns the number of callouts made.
typedef CFIndex (*MorvaneRunLoopPerform)(void* info, CFAbsoluteTime now, Boolean force);

// Adds a source to rl; the loop holds no reference to info. Any thread except
// the render thread.
void MorvaneRunLoopAddSource(CFRunLoopRef rl, MorvaneRunLoopPerform perform, void* info);
// Takes the source off rl. When the source's perform is running on another
// thread, waits until it has returned. Returns true when the calling thread
// itself is inside that perform (the caller must then not free what perform is
// still using until perform returns). Any thread except the render thread.
Boolean MorvaneRunLoopRemoveSource(CFRunLoopRef rl, void* info);

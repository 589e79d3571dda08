// The framework's base of a view component: the unit it edits, the pane it
// takes in the host's window, a periodic timer on the user-interface thread's
// run loop, the host's event listener, and the component dispatch of the view
// selectors. A subclass builds its editor in CreateUI and does its periodic
// work in RespondToEventTimer.
//
//   COMPONENT_ENTRY(MyView)   // with MyView : AUCarbonViewBase, exports MyViewEntry
//
// Threads: every operation runs on the host's user-interface thread, the
// thread that created the view; its timer fires there, when that thread runs
// or pumps its run loop.
#pragma once

#include "host/CarbonView.h"
#include "host/RunLoop.h"

class AUCarbonViewBase {
  public:
    // User-interface thread: the view of component instance inInstance.
    // inNotificationInterval is the interval, in seconds, at which the view
    // wants parameter notifications; a subclass reads it back.
    explicit AUCarbonViewBase(AudioUnitCarbonView inInstance, Float32 inNotificationInterval = 0.1f);
    // User-interface thread: stops the timer and gives up the pane.
    virtual ~AUCarbonViewBase();
    AUCarbonViewBase(const AUCarbonViewBase&) = delete;
    AUCarbonViewBase& operator=(const AUCarbonViewBase&) = delete;

    // User-interface thread: the component version (major 1).
    virtual ComponentResult Version() { return 0x00010000; }
    virtual void PostConstructor() {}
    virtual void PreDestructor() {}

    // User-interface thread: the view of inAudioUnit, in a pane at inLocation
    // of inWindow (inside inParentControl when given), at most inSize; then
    // CreateUI. outParentControl is the pane. A second call, or a call
    // without a unit or window, is refused with paramErr; a CreateUI failure
    // is returned as is (the pane then stays empty).
    virtual OSStatus CreateCarbonView(AudioUnit inAudioUnit, WindowRef inWindow, ControlRef inParentControl,
                                      const Float32Point& inLocation, const Float32Point& inSize,
                                      ControlRef& outParentControl);
    // User-interface thread: builds the user interface in the pane, offset by
    // (inXOffset, inYOffset) in it. Nothing here.
    virtual OSStatus CreateUI(Float32 inXOffset, Float32 inYOffset);
    // User-interface thread: the timer started by CreateEventLoopTimer fired.
    virtual void RespondToEventTimer(CFRunLoopTimerRef inTimer);

    // User-interface thread: what the view was given.
    AudioUnitCarbonView GetComponentInstance() const { return mComponentInstance; }
    AudioUnit GetEditAudioUnit() const { return mEditAudioUnit; }
    WindowRef GetCarbonWindow() const { return mCarbonWindow; }
    ControlRef GetCarbonPane() const { return mCarbonPane; }
    Float32 GetNotificationInterval() const { return mNotificationInterval; }

    // User-interface thread: tells the host's event listener, if one is set,
    // that the mouse went down (or up) in the control of inParameter.
    void TellListener(const AudioUnitParameter& inParameter, AudioUnitCarbonViewEventID inEvent,
                      void* inEventParam);
    void SetEventListener(AudioUnitCarbonViewEventListener inListener, void* inUserData);

    // User-interface thread: starts (or restarts) the view's timer on the
    // calling thread's run loop: first after inDelay seconds, then every
    // inInterval seconds, each time calling RespondToEventTimer.
    OSStatus CreateEventLoopTimer(Float32 inDelay, Float32 inInterval);
    void StopEventLoopTimer();

    // User-interface thread: nativeView (an X11 window, or 0 off-screen) is
    // now shown in the pane; the pane takes the size given.
    void EmbedControl(unsigned long nativeView);
    void SizeControl(Float32 inWidth, Float32 inHeight);

    // User-interface thread: the view selectors. Unknown selectors
    // answer badComponentSelector.
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUCarbonViewBase* This);

  protected:
    AudioUnitCarbonView mComponentInstance;
    AudioUnit mEditAudioUnit = nullptr;
    WindowRef mCarbonWindow = nullptr;
    ControlRef mCarbonPane = nullptr;
    AudioUnitCarbonViewEventListener mEventListener = nullptr;
    void* mEventListenerUserData = nullptr;
    CFRunLoopTimerRef mTimer = nullptr;
    Float32 mNotificationInterval;

  private:
    MorvanePane mPane;
};

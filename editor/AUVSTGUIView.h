// The bridge between a plug-in's view component and a toolkit editor: it
// creates the editor in the host's window (embedded in the view's pane),
// drives its idle processing from the view's timer, listens to the effect's
// parameters and forwards their changes to the editor, and turns the editor's
// edits, begin-edits and end-edits into parameter sets, gesture events and
// the host's view events.
//
// The toolkit reads its windows' events and fires its own timers only while
// its event loop runs: besides the 50 ms timer that idles the editor, the
// view runs that loop every 10 ms from the host's run loop, so a drag follows
// the mouse closely.
//
// Values an effect pushes to the view from other threads (the render thread
// among them) wait in a mailbox, one slot per parameter, until the view's
// timer hands them to the editor on the user-interface thread.
//
// Threads: everything here runs on the user-interface thread (the run loop
// current when CreateUI runs), unless a comment says otherwise.
#pragma once

#include <vector>

#include "editor/ko_parameterMailbox.h"
#include "gui/CPlatformFrame.h"
#include "gui/PluginGUIEditor.h"
#include "host/AUCarbonViewBase.h"
#include "host/AUListener.h"
#include "params/ko_paramManager.h"

class AUVSTGUIView : public AUCarbonViewBase {
  public:
    // User-interface thread: the view of component instance `instance` (null
    // for a view made in-process, outside the component model). Nothing is
    // created until the host creates the view (CreateCarbonView).
    explicit AUVSTGUIView(AudioUnitCarbonView instance);
    // User-interface thread: stops the timers, closes and destroys the
    // editor, then removes the parameters from the listener and disposes of
    // it.
    ~AUVSTGUIView() override;

    // User-interface thread: creates the parameter listener (10 ms) and
    // registers every parameter of the edited unit, reads the parameter
    // manager (property 70000), creates the editor, opens it in the host's
    // window, embeds its window in the pane at the offsets and sizes the pane
    // to it, starts the timers and shows it. 0, or the failing property
    // call's result (then no editor exists). A unit-less view, or one whose
    // editor exists, answers 0 and creates nothing.
    OSStatus CreateUI(Float32 xOffset, Float32 yOffset) override;
    // User-interface thread: the view's 50 ms timer: the values waiting in
    // the mailbox go to the editor, then the editor's idle throttling runs.
    void RespondToEventTimer(CFRunLoopTimerRef timer) override;

    // User-interface thread: the editor set parameter id to vstValue (0..1):
    // a value-change event to every event listener, then the natural value
    // set on the unit with this view's listener as sender.
    virtual void SetParameterFromVSTGUI(long id, float vstValue);
    // User-interface thread: the unit's value of id, normalised; 0 without a
    // unit or parameter manager.
    virtual float getParameter(long id);
    // User-interface thread: a gesture on id begins / ends: a begin (end)
    // gesture event, and the host's view listener hears of the mouse going
    // down (up) in the control.
    virtual void HandleMouseDown(long id);
    virtual void HandleMouseUp(long id);
    // Bytes the texts below need, terminator included.
    static constexpr int kDisplayTextSize = 40;
    // User-interface thread: the parameter's name, at most 30 characters.
    virtual void GetParamDisplayName(long id, char* text);
    // User-interface thread: the current value's text, a space and its unit
    // (when it has one), at most kDisplayTextSize - 1 characters.
    virtual void GetParamDisplayValue(long id, char* text);
    // User-interface thread: parameter->mParameterID changed to the natural
    // value: the editor shows it (normalised).
    virtual void ParameterListener(void* object, void* element, const AudioUnitParameter* parameter,
                                   float value);
    // User-interface thread: parameter id moved to vstValue: the editor shows it.
    virtual void SetVSTParameter(long id, float vstValue);
    // User-interface thread: creates the editor (kept in `editor`).
    virtual void CreateEditor() = 0;

    // Any thread, the render thread included (lock- and wait-free): queue
    // for the user-interface thread, where the view's timer hands them on.
    // A natural value for ParameterListener:
    void queueParameterChange(long id, float naturalValue);
    // A normalised value for SetVSTParameter. With announce, the value is
    // one the effect changed on its own without telling the host: the view
    // then also stores it in the unit's parameter store and announces it to
    // event listeners (not to the effect, which has it already).
    void queueVSTParameter(long id, float vstValue, bool announce);
    // User-interface thread: hands the queued values on now; returns how
    // many there were.
    int deliverQueuedValues();

    // User-interface thread: what the view holds.
    ko_paramManager* getParameterManager() const { return paramManager; }
    VSTGUI::PluginGUIEditor* getEditor() const { return editor; }
    // The window the editor was opened in (valid while the editor is open).
    const VSTGUI::SystemWindow& systemWindow() const { return window; }

  protected:
    // The parameter of the edited unit, global scope, element 0.
    AudioUnitParameter parameterOf(long id) const;
    // Reads a pointer-sized property of the global scope, element 0; null
    // when the unit does not offer it.
    void* getPointerProperty(AudioUnitPropertyID id, OSStatus* result = nullptr) const;

    ko_paramManager* paramManager = nullptr;
    VSTGUI::PluginGUIEditor* editor = nullptr;
    AUParameterListenerRef parameterListener = nullptr;
    UInt32 parameterCount = 0;

  private:
    enum : uint32_t { kQueuedNatural = 1, kQueuedVST = 2, kQueuedVSTToAnnounce = 3 };
    static void listenerCallback(void* view, void* object, const AudioUnitParameter* parameter,
                                 Float32 value);
    static void toolkitTimerFired(CFRunLoopTimerRef timer, void* view);
    void stopListening();
    void stopTimers();
    void announceParameter(long id, float vstValue);

    std::vector<AudioUnitParameterID> registeredIds;
    ko_parameterMailbox mailbox;
    VSTGUI::SystemWindow window;
    CFRunLoopTimerRef toolkitTimer = nullptr;
};

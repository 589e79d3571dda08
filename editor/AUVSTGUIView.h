// The bridge between a plug-in's view and a toolkit editor: it creates the
// editor, opens it in the host's window, drives its idle processing, listens
// to the effect's parameters and forwards their changes to the editor, and
// turns the editor's edits, begin-edits and end-edits into parameter sets and
// gesture events.
//
// What the host's view machinery will add (embedding in the host's pane, the
// event-loop timer, telling the host's view listener of mouse gestures, the
// component entry) sits under this class; until then the view is told
// directly which unit it edits and which window it opens in, and whoever
// owns it calls RespondToEventTimer periodically.
//
// Threads: everything here runs on the user-interface thread (the run loop
// current when CreateUI runs), unless a comment says otherwise.
#pragma once

#include <vector>

#include "gui/PluginGUIEditor.h"
#include "host/AUListener.h"
#include "host/AudioUnitTypes.h"
#include "params/ko_paramManager.h"

class AUVSTGUIView {
  public:
    // User-interface thread: a view editing editUnit (may be null: the view
    // then creates nothing), opening its editor in hostWindow (a
    // VSTGUI::SystemWindow*, null for headless at scale 1).
    AUVSTGUIView(AudioUnit editUnit, void* hostWindow);
    // User-interface thread: closes and destroys the editor, then removes the
    // parameters from the listener and disposes of it.
    virtual ~AUVSTGUIView();
    AUVSTGUIView(const AUVSTGUIView&) = delete;
    AUVSTGUIView& operator=(const AUVSTGUIView&) = delete;

    // User-interface thread: creates the parameter listener (10 ms) and
    // registers every parameter of the unit, reads the parameter manager
    // (property 70000), creates the editor and opens it, its window placed at
    // the offsets. 0, or the failing property call's result (then no editor
    // exists). A unit-less view, or one whose editor exists, answers 0 and
    // creates nothing.
    virtual OSStatus CreateUI(Float32 xOffset, Float32 yOffset);
    // User-interface thread: the host view's periodic timer (50 ms): the
    // editor's idle throttling.
    virtual void RespondToEventTimer(void* timer);

    // User-interface thread: the editor set parameter id to vstValue (0..1):
    // a value-change event to every event listener, then the natural value
    // set on the unit with this view's listener as sender.
    virtual void SetParameterFromVSTGUI(long id, float vstValue);
    // User-interface thread: the unit's value of id, normalised; 0 without a
    // unit or parameter manager.
    virtual float getParameter(long id);
    // User-interface thread: a gesture on id begins / ends (events 1 / 2).
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

    // User-interface thread: what the view holds.
    AudioUnit editUnit() const { return unit; }
    void* hostWindow() const { return window; }
    ko_paramManager* getParameterManager() const { return paramManager; }
    VSTGUI::PluginGUIEditor* getEditor() const { return editor; }

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
    void stopListening();

    AudioUnit unit;
    void* window;
    std::vector<AudioUnitParameterID> registeredIds;
};

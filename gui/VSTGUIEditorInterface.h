// What a frame knows of its editor, and the toolkit-wide knob mode.
#pragma once

namespace VSTGUI {

// How knobs follow the mouse.
enum CKnobMode : long {
    kCircularMode = 0,        // the value follows the mouse's angle around the knob
    kRelativCircularMode = 1, // the value changes by the change of that angle
    kLinearMode = 2,          // the value follows vertical mouse motion
};

// User-interface thread: the knob mode shared by every knob of the process.
void setToolkitKnobMode(long mode);
long getToolkitKnobMode();

class VSTGUIEditorInterface {
  public:
    virtual ~VSTGUIEditorInterface() = default;
    // User-interface thread: the host's periodic call (see PluginGUIEditor).
    virtual void doIdleStuff() {}
    // User-interface thread: the knob mode the editor's knobs use.
    virtual long getKnobMode() const { return getToolkitKnobMode(); }
    // User-interface thread: a gesture on parameter index begins / ends.
    virtual void beginEdit(long index) {}
    virtual void endEdit(long index) {}
};

} // namespace VSTGUI

// The base of a plug-in's editor: the host pointer, the frame, the window
// rectangle and system window, the knob mode, and the idle throttling the
// host view's periodic timer drives. A subclass builds its frame in open and
// destroys it in close.
#pragma once

#include <cstdint>
#include <string>

#include "gui/VSTGUIEditorInterface.h"

namespace VSTGUI {

class CFrame;

// The editor's window rectangle.
struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

class PluginGUIEditor : public VSTGUIEditorInterface {
  public:
    // User-interface thread: no frame and no window yet; the next idle is due
    // now. Makes the toolkit know the plug-in bundle (see bundleDirectory).
    explicit PluginGUIEditor(void* hostPointer);
    // User-interface thread: releases the bundle reference.
    ~PluginGUIEditor() override;

    // User-interface thread: a parameter changed elsewhere (index, normalised
    // value). Nothing here.
    virtual void setParameter(long index, float value) {}
    // User-interface thread: hands out the window rectangle.
    virtual bool getRect(ERect** rect);
    // User-interface thread: records the system window (a SystemWindow*, see
    // CPlatformFrame.h) / forgets it.
    virtual bool open(void* systemWindow);
    virtual void close();
    // User-interface thread: lets the frame redraw what is dirty.
    virtual void idle();
    // User-interface thread: with no rectangle the frame draws itself whole;
    // otherwise a draw context for the frame draws that rectangle.
    virtual void draw(ERect* rect);
    // User-interface thread: the toolkit-wide knob mode (CKnobMode).
    virtual void setKnobMode(int mode);
    long getKnobMode() const override;

    // User-interface thread: idle throttling, for the host view's 50 ms timer:
    // while the next idle time is more than 50 ms away (after running the
    // event loop for 4 ms) nothing else happens; otherwise idle runs, at most
    // one pending expose event is handled, and the next idle time becomes
    // now + 100 ms.
    void doIdleStuff() override;
    // Nothing here; a subclass brackets parameter gestures.
    void beginEdit(long index) override {}
    void endEdit(long index) override {}

    // User-interface thread: milliseconds on the toolkit's clock.
    static uint32_t getTicks();

    // User-interface thread: the host pointer given at construction, the
    // frame and the system window.
    void* getEffect() const { return effect; }
    CFrame* getFrame() const { return frame; }
    void* getSystemWindow() const { return systemWindow; }

    // Any thread: the directory three path components up from the loaded
    // file that holds this code (the executable or shared library), i.e. the
    // bundle directory for Bundle.component/Contents/<arch>/Bundle.so; empty if
    // it cannot be found.
    static std::string bundleDirectory();

  protected:
    CFrame* frame = nullptr;
    ERect rect{0, 0, 0, 0};
    void* effect;
    void* systemWindow = nullptr;
    uint32_t nextIdleTime;
};

} // namespace VSTGUI

// The plug-in's editor: a fixed-size window drawn from bitmaps, holding
// fourteen knobs, five on/off buttons, two three-position switches, six
// destination menus, six range sliders, the two-handle motion pad and a
// one-line display naming whatever the mouse rests on. Every control sits
// where the layout table (MorvaneEditorLayout.h) puts it.
//
// It reads and writes parameters only through its view (Morvane_AUView), in
// normalised form, by parameter id; it turns pad presses and releases into
// throws (velocity measuring with Kinetics on) or recordings (Motion Mode
// "Rec").
//
// Threads: everything here runs on the user-interface thread.
#pragma once

#include <cstdint>

#include "editor/CHiddenOptionMenu.h"
#include "editor/CHighlightView.h"
#include "editor/CKOControl.h"
#include "editor/CMultiXYControl.h"
#include "editor/CTimerHandler.h"
#include "gui/CControls.h"
#include "gui/CVSTGUITimer.h"
#include "gui/PluginGUIEditor.h"

class Morvane_AUView;

class MorvaneEditor : public VSTGUI::PluginGUIEditor, public CKOControlListener {
  public:
    // The display's colours: cyan at partial alpha, whiter while editing.
    static constexpr VSTGUI::CColor normalDisplayColor{0, 255, 255, 150};
    static constexpr VSTGUI::CColor editDisplayColor{200, 255, 255, 150};
    static constexpr int kTimerPeriod = 100;            // ms
    static constexpr int kDisplayRefreshInterval = 100; // ms
    static constexpr int kDisplayTextSize = 300;

    // User-interface thread: an editor for view (its host pointer), window
    // closed. Loads the background (its size is the window's), sets linear
    // knobs and creates the timer handler (100 ms; tags 22, 23, 19, 20).
    explicit MorvaneEditor(Morvane_AUView* view);
    // User-interface thread: closes the window if open; releases the
    // background and the timer handler.
    ~MorvaneEditor() override;
    MorvaneEditor(const MorvaneEditor&) = delete;
    MorvaneEditor& operator=(const MorvaneEditor&) = delete;

    // User-interface thread: builds the window in systemWindow (a
    // VSTGUI::SystemWindow*, null for headless) with every control at the
    // view's current values, and starts the 100 ms timer. Returns true.
    bool open(void* systemWindow) override;
    // User-interface thread: destroys the frame with its controls and stops
    // the timer; the editor may be opened again.
    void close() override;
    // User-interface thread: parameter id changed to the normalised value:
    // the control showing it follows. Ignored while closed and for ids >= 45.
    void setParameter(long id, float value) override;
    // User-interface thread: redraws what is dirty, moves the pad's handles to
    // the effect's pad positions, and (at most every 100 ms) puts the name and
    // value of what the mouse rests on, or of the control being edited, into
    // the display.
    void idle() override;
    // User-interface thread: a gesture on parameter id begins / ends.
    void beginEdit(long id) override;
    void endEdit(long id) override;

    // User-interface thread, from the controls: a control's value changed (a
    // destination menu sends its entry index / 15).
    void valueChanged(VSTGUI::CControl* control) override;
    // User-interface thread, from the pad and the range sliders: parameter
    // tag changed; a press or release of a pad handle (Z, tags 21 and 24)
    // first starts or ends a recording ("Rec") or a throw (Kinetics on).
    void valueChanged(long tag, float value) override;
    // User-interface thread: a click with a modifier key; with Ctrl (the
    // command key) on a pad handle it clears that pad's recording, on
    // "Motion Mode" both recordings, on "Kinetics" the pads' drift. Answers 0,
    // so the click then goes on as usual.
    long controlModifierClicked(VSTGUI::CControl* control, long buttons) override;
    using CKOControlListener::controlModifierClicked;
    // User-interface thread: outlines the control (or range-slider handle)
    // carrying tag, or stops outlining it.
    void highlightControl(long tag, bool on);

    // User-interface thread: what the window holds while open (null when
    // closed), for the view, the highlight overlay and tests.
    bool isOpened() const { return opened; }
    CMultiXYControl* getPad() const { return pad; }
    // side 0 left, 1 right; axis 0 X, 1 Y, 2 Z.
    CHorizontalRangeSlider* getRangeSlider(int side, int axis) const;
    // The range slider carrying parameter id (26/27 ... 41/42), or null.
    CHorizontalRangeSlider* getRangeSliderFor(long id) const;
    VSTGUI::CTextEdit* getDisplay() const { return display; }
    CMorvaneHighlightView* getHighlightView() const { return highlight; }
    CTimerHandler* getTimerHandler() const { return timerHandler; }

  private:
    Morvane_AUView* view() const;
    // The effect's natural value of id, from the parameter manager.
    float naturalValue(long id) const;
    // Links the pad's handles for Link Mode 0 "Free", 1 "Lock", 2 "Link";
    // other modes leave them as they are.
    void applyLinkMode(int mode);
    // Builds the display text for the view the display describes; false when
    // the text stays as it is.
    bool describe(VSTGUI::CView* described);

    CMultiXYControl* pad = nullptr;
    CHorizontalRangeSlider* rangeSliders[6] = {};
    CHiddenOptionMenu* destinationMenus[6] = {};
    // "Filter On/Off", "Host Sync", "Delay On/Off", "Kinetics", "Emulation".
    VSTGUI::CMovieButton* buttons[5] = {};
    // "Link Mode", "Motion Mode".
    VSTGUI::CVerticalSwitch* switches[2] = {};
    // Parameters 1, 2, 0, 3, 4, 5, 15, 7, 8, 9, 11, 12, 17, 18.
    VSTGUI::CAnimKnob* knobs[14] = {};
    VSTGUI::CTextEdit* display = nullptr;
    char displayText[kDisplayTextSize] = {};
    uint32_t nextDisplayUpdate = 0;
    VSTGUI::CBitmap* background = nullptr;
    CMorvaneHighlightView* highlight = nullptr;
    VSTGUI::CVSTGUITimer* timer = nullptr;
    CTimerHandler* timerHandler = nullptr;
    bool opened = false;
    bool editing = false;
    VSTGUI::CControl* editedControl = nullptr;
};

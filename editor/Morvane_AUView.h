// The plug-in's view: it creates MorvaneEditor, shows the pad axes' values as
// the values of the parameters they drive, and reaches into the effect for
// what the editor needs beyond parameters: the two motion recorders, clearing
// them, stopping the pads' drift and writing a measured throw velocity.
//
// The effect hands out its parameter manager (property 70000) and recorders
// (80000, 80001) as pointers, and is told of the view (80002) so that pad
// motion reaches the editor. The component entry Morvane_AUViewEntry makes
// one per view a host opens.
//
// Threads: the user-interface thread, except where a comment says otherwise.
#pragma once

#include "editor/AUVSTGUIView.h"
#include "motion/MorvaneAttachedView.h"

class CMotionRecorder;

class Morvane_AUView : public AUVSTGUIView {
  public:
    // Custom properties of the effect (global scope, element 0).
    enum : AudioUnitPropertyID {
        kParameterManagerProperty = 70000,
        kLeftRecorderProperty = 80000,
        kRightRecorderProperty = 80001,
        kAttachedViewProperty = 80002,
        kStopPadDriftProperty = 80003,
    };

    // User-interface thread: see AUVSTGUIView.
    explicit Morvane_AUView(AudioUnitCarbonView instance);
    // User-interface thread: tells the effect the view is gone (property 80002
    // set to null), then closes the editor.
    ~Morvane_AUView() override;

    // User-interface thread: a MorvaneEditor with this view as its host; its
    // timer handler gets the effect's recorders, and the effect is told of
    // the view (property 80002) when it offers that.
    void CreateEditor() override;
    // User-interface thread: for a pad axis (19 to 24), the value of the
    // parameter the axis drives, at the point of its range where the axis
    // stands; for any other id the value and its unit. In capitals.
    void GetParamDisplayValue(long id, char* text) override;

    // User-interface thread: the effect's recorders (properties 80000 and
    // 80001); null when the effect does not offer them.
    CMotionRecorder* getLeftMotionRecorder();
    CMotionRecorder* getRightMotionRecorder();
    // User-interface thread: tag 19 clears the right pad's recording, 22 the
    // left's, 0 first the left's and then the right's; other tags nothing.
    void clearRecordings(long tag);
    // User-interface thread: stops all pad drift (property 80003, when offered).
    void zeroVelocities();
    // User-interface thread: a measured throw (pad units per second) for side
    // 0 (left: "vel L X", "vel L Y") or 1 (right: "vel R X", "vel R Y"),
    // written straight into the parameter manager, where the effect reads it
    // when the pad is released.
    void reportVelocity(int side, float x, float y);

    // User-interface thread: what the effect knows the view by while it is
    // registered (property 80002).
    MorvaneAttachedView* attachedView() { return &effectLink; }

  private:
    // What the effect calls on its registered view, on any thread (pad motion
    // calls on the render thread): the values wait in the view's mailbox until
    // its timer hands them to the editor. A partner axis moved by a linked
    // drag changed only inside the effect, so the view also tells the host.
    class EffectLink : public MorvaneAttachedView {
      public:
        explicit EffectLink(Morvane_AUView& owner) : view(owner) {}
        void ParameterListener(void*, void*, const AudioUnitParameter* parameter,
                               float naturalValue) override {
            if (parameter)
                view.queueParameterChange(static_cast<long>(parameter->mParameterID), naturalValue);
        }
        void SetVSTParameter(int32_t id, float vstValue) override {
            view.queueVSTParameter(static_cast<long>(id), vstValue, true);
        }

      private:
        Morvane_AUView& view;
    };

    // Sets the attached-view property to link (null to unregister), when the
    // effect offers it.
    void registerWithEffect(MorvaneAttachedView* link);

    EffectLink effectLink{*this};
    bool registered = false;
};

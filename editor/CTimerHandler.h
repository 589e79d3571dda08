// What the editor's 100 ms timer calls: it measures how fast the user moves
// each pad's handle (for a throw), or feeds the handle's positions into the
// pad's motion recorder while a gesture is recorded. Sides: 0 left, 1 right.
#pragma once

#include "editor/CKOControl.h"
#include "gui/CBaseObject.h"

class CMotionRecorder;

// A velocity: X then Y, in pad widths / heights per second.
struct _floatPair {
    float x;
    float y;
};

class CTimerHandler : public VSTGUI::CBaseObject {
  public:
    // User-interface thread: for a timer of periodMs (velocity scale
    // 1000 / periodMs), reading the handle values of control under the four
    // tags (left X, left Y, right X, right Y). Control and recorders may be
    // null until the editor sets them; nothing is measured or recorded yet.
    CTimerHandler(int periodMs, CKOControl* control, long tagLeftX, long tagLeftY, long tagRightX,
                  long tagRightY, CMotionRecorder* leftRecorder, CMotionRecorder* rightRecorder);

    // User-interface thread: the control whose handles are read, and the
    // recorders (not owned).
    void setControl(CKOControl* newControl) { control = newControl; }
    CKOControl* getControl() const { return control; }
    void setRecorders(CMotionRecorder* left, CMotionRecorder* right);

    // User-interface thread: velocity measuring for a side. Starting reads the
    // side's current X and Y as the last values and zeroes its velocities
    // (nothing happens while there is no control). getVelocities hands out
    // the side's velocities and stops measuring.
    void startMeasuringVelocity(int side);
    void stopMeasuringVelocity(int side);
    void getVelocities(int side, _floatPair& pair);
    // User-interface thread: all four last values from the control, all
    // velocities 0.
    void resetVelocities();

    // User-interface thread: recording for a side: starting begins a new
    // recording in the side's recorder and records the current X and Y at
    // once; every tick then records one more point until stopped.
    void startMeasuringPosition(int side);
    void stopMeasuringPosition(int side);

    // User-interface thread: the timer's tick, left side then right. A side
    // that records records its point and measures nothing; otherwise a side
    // that measures takes velocity = (current - last) * scale for X and Y.
    // Answers kMessageNotified whatever the message.
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender, const char* message) override;

    float getVelocityScale() const { return velocityScale; }
    bool isMeasuringVelocity(int side) const { return validSide(side) && measuringVelocity[side]; }
    bool isRecording(int side) const { return validSide(side) && recording[side]; }

  private:
    static bool validSide(int side) { return side == 0 || side == 1; }
    float current(int axis) const;
    void readLastValues(int side);

    CKOControl* control;
    float velocityScale;
    float lastValues[4] = {0, 0, 0, 0};
    float velocities[4] = {0, 0, 0, 0};
    bool measuringVelocity[2] = {false, false};
    bool recording[2] = {false, false};
    CMotionRecorder* recorders[2];
    long tags[4];
};

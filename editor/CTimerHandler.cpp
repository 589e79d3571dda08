#include "editor/CTimerHandler.h"

#include "motion/CMotionRecorder.h"

CTimerHandler::CTimerHandler(int periodMs, CKOControl* xyControl, long tagLeftX, long tagLeftY,
                             long tagRightX, long tagRightY, CMotionRecorder* leftRecorder,
                             CMotionRecorder* rightRecorder)
    : control(xyControl), velocityScale(1000.0f / static_cast<float>(periodMs)),
      recorders{leftRecorder, rightRecorder}, tags{tagLeftX, tagLeftY, tagRightX, tagRightY} {}

void CTimerHandler::setRecorders(CMotionRecorder* left, CMotionRecorder* right) {
    recorders[0] = left;
    recorders[1] = right;
}

// Axis 0..3: left X, left Y, right X, right Y.
float CTimerHandler::current(int axis) const {
    return control->getValue(static_cast<int>(tags[axis]));
}

void CTimerHandler::readLastValues(int side) {
    for (int axis = 2 * side; axis < 2 * side + 2; ++axis) {
        lastValues[axis] = current(axis);
        velocities[axis] = 0.0f;
    }
}

void CTimerHandler::startMeasuringVelocity(int side) {
    if (!control || !validSide(side)) return;
    readLastValues(side);
    measuringVelocity[side] = true;
}

void CTimerHandler::stopMeasuringVelocity(int side) {
    if (validSide(side)) measuringVelocity[side] = false;
}

void CTimerHandler::getVelocities(int side, _floatPair& pair) {
    if (!validSide(side)) return;
    pair.x = velocities[2 * side];
    pair.y = velocities[2 * side + 1];
    measuringVelocity[side] = false;
}

void CTimerHandler::resetVelocities() {
    if (!control) return;
    readLastValues(0);
    readLastValues(1);
}

void CTimerHandler::startMeasuringPosition(int side) {
    if (!validSide(side)) return;
    recording[side] = true;
    CMotionRecorder* recorder = recorders[side];
    if (!recorder) return;
    recorder->startRecording();
    if (control) recorder->recordValues(current(2 * side), current(2 * side + 1));
}

void CTimerHandler::stopMeasuringPosition(int side) {
    if (validSide(side)) recording[side] = false;
}

VSTGUI::CMessageResult CTimerHandler::notify(VSTGUI::CBaseObject*, const char*) {
    if (!control) return VSTGUI::kMessageNotified;
    for (int side = 0; side < 2; ++side) {
        if (recording[side]) {
            if (recorders[side]) recorders[side]->recordValues(current(2 * side), current(2 * side + 1));
        } else if (measuringVelocity[side]) {
            for (int axis = 2 * side; axis < 2 * side + 2; ++axis) {
                const float now = current(axis);
                velocities[axis] = (now - lastValues[axis]) * velocityScale;
                lastValues[axis] = now;
            }
        }
    }
    return VSTGUI::kMessageNotified;
}

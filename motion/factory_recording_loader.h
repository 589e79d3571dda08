// Loads a factory preset's pad recordings into the two recorders.
#pragma once

#include "motion/CMotionRecorder.h"

// Any host thread (preset selection, while the motion is not armed): each
// recorder's count and its 80 points from the factory tables; the play cursor
// and reserved fields are left as they are. A preset outside 0..32 changes
// nothing and gives false.
bool loadFactoryRecording(int preset, CMotionRecorder& left, CMotionRecorder& right);

// The editor records, clears and restores a recorder while the render thread
// plays it: every value played must be one of the pad coordinates written
// (ThreadSanitizer checks that no access races).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "motion/CMotionRecorder.h"
#include "motion/factory_recording_loader.h"

TEST(MotionRecorderThreads, PlaybackDuringRecordingSeesOnlyPadCoordinates) {
    CMotionRecorder recorder, spareLeft, spareRight;
    loadFactoryRecording(27, spareLeft, spareRight);
    uint8_t circle[CMotionRecorder::kImageSize];
    spareLeft.saveImage(circle);

    std::atomic<bool> done{false};
    std::thread editor([&] {
        for (int round = 0; round < 5000; ++round) {
            recorder.startRecording();
            for (int k = 0; k < 90; ++k)
                recorder.recordValues(k / 89.0f, 1.0f - k / 89.0f);
            if (round % 3 == 0) recorder.clearRecording();
            if (round % 5 == 0) recorder.restoreImage(circle, sizeof circle);
        }
        done.store(true);
    });
    bool inRange = true;
    for (float phase = 0.0f; !done.load(); phase = phase >= 1.0f ? 0.0f : phase + 0.013f) {
        float x = 0.5f, y = 0.5f;
        recorder.getIndexedValues(x, y, phase);
        inRange = inRange && x >= 0.0f && x <= 1.0f && y >= 0.0f && y <= 1.0f;
    }
    editor.join();
    EXPECT_TRUE(inRange);
    EXPECT_LE(recorder.count.load(), CMotionRecorder::kCapacity);
}

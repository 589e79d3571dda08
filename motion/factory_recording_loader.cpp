#include "motion/factory_recording_loader.h"

#include "params/factory_recordings.h"

static_assert(kMojoPoints == static_cast<int>(CMotionRecorder::kCapacity));

namespace {

void load(CMotionRecorder& recorder, int count, const float* xs, const float* ys) {
    const uint32_t n = count < 0                                              ? 0u
                       : count > static_cast<int>(CMotionRecorder::kCapacity) ? CMotionRecorder::kCapacity
                                                                              : static_cast<uint32_t>(count);
    recorder.count.store(n, std::memory_order_relaxed);
    for (int k = 0; k < kMojoPoints; ++k) {
        recorder.x[k].store(xs[k], std::memory_order_relaxed);
        recorder.y[k].store(ys[k], std::memory_order_relaxed);
    }
}

} // namespace

bool loadFactoryRecording(int preset, CMotionRecorder& left, CMotionRecorder& right) {
    if (preset < 0 || preset >= kMojoPresets) return false;
    load(left, mojoLsize[preset], mojoLX[preset], mojoLY[preset]);
    load(right, mojoRsize[preset], mojoRX[preset], mojoRY[preset]);
    return true;
}

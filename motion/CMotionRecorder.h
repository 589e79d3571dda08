// One pad's recorded gesture: up to 80 (x, y) points, recorded by the editor and
// played back by the pad motion as a loop stretched over one motion cycle.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class CMotionRecorder {
  public:
    static constexpr uint32_t kCapacity = 80;
    // Saved image: every field 32 bits little-endian, in declaration order.
    static constexpr std::size_t kImageSize = 664;

    // The editor records on the user-interface thread while the render thread
    // plays, with no lock: every field is a single 32-bit word (relaxed atomics),
    // so a reader sees each value whole, and count only grows from 0 while a
    // recording is made.
    std::atomic<float> x[kCapacity];   // image offset 0
    std::atomic<float> y[kCapacity];   // image offset 320
    std::atomic<uint32_t> reserved640; // never used by the recorder; saved as 0
    std::atomic<uint32_t> count;       // valid points, 0..80
    std::atomic<uint32_t> playIndex;   // play cursor, only ever reset
    std::atomic<float> playStep;       // set by the unit to 12.8 / sampling rate
    std::atomic<float> reserved656;    // 1.0, unused
    std::atomic<float> playFraction;   // play cursor, only ever reset

    // Any thread: an empty recorder.
    CMotionRecorder();
    CMotionRecorder(const CMotionRecorder&) = delete;
    CMotionRecorder& operator=(const CMotionRecorder&) = delete;

    // User-interface thread: starts a new recording (count = 0; the old points
    // stay in memory but are no longer valid).
    void startRecording();
    // User-interface thread: appends a point; a full recorder ignores it.
    void recordValues(float xValue, float yValue);
    // User-interface thread: count and play cursor to 0.
    void clearRecording();
    // Render thread: play cursor to 0.
    void startPlayback();
    // Render thread: nothing to stop; playback is by phase.
    void stopPlayback() {}

    // Render thread: the point of the loop at phase 0..1, the count points spread
    // evenly over the cycle and linearly interpolated; phase 1 (or beyond) plays the
    // last point, a phase below 0 (or NaN) the first. False, x and y untouched,
    // when the recorder is empty.
    bool getIndexedValues(float& xValue, float& yValue, float phase) const;

    // Any host thread: the 664-byte image (the word at offset 640 written as 0).
    void saveImage(uint8_t out[kImageSize]) const;
    // Any host thread: takes back the first min(length, 664) bytes of an image,
    // field by field at the image offsets; fields beyond the given bytes keep
    // their values (a field cut through keeps its remaining bytes). A count above
    // 80 becomes 80, and restored points that are NaN become 0 and the others are
    // held to 0..1, since pad coordinates are taken from them. False (nothing
    // changed) when bytes is null and length is not 0.
    bool restoreImage(const uint8_t* bytes, std::size_t length);
};

static_assert(std::atomic<float>::is_always_lock_free && sizeof(std::atomic<float>) == 4,
              "recorder fields must be lock-free 32-bit words");
static_assert(std::atomic<uint32_t>::is_always_lock_free && sizeof(std::atomic<uint32_t>) == 4,
              "recorder fields must be lock-free 32-bit words");

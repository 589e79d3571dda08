// The two XY pads: routing of the six pad axes to their target parameters,
// linked drags, touch handling (grab, throw, record, Z mirroring), kinetic
// drift with bouncing, the host-locked motion phase and recorder playback.
//
// The engine belongs to one effect instance. It keeps the pad state, reads and
// writes parameter values in the effect's parameter table and reaches the rest
// of the effect only through MorvanePadHost, so this layer never depends on the
// effect class.
//
// Threads. The listener branches (axisMoved, touchChanged, setPadTarget,
// rangeBoundChanged, motionModeChanged, kineticsChanged) run on the thread that
// delivers parameter changes: the user-interface thread, or the render thread
// when a pad's own motion delivers a target value. syncMotionPhase,
// loadWorkingAxes and updatePadMotion run on the render thread only. Every
// value shared between those threads is a relaxed std::atomic; nothing here
// allocates, locks or blocks.
#pragma once

#include <atomic>
#include <cstdint>

class ko_paramManager;
class CMotionRecorder;

// What the pad engine needs from the effect that owns it.
class MorvanePadHost {
  public:
    // A pad moved the parameter targetId to naturalValue: apply it exactly as a
    // parameter change of the effect's own, and show it on the editor when one
    // is attached. The host's copy of the parameter is not changed. Runs on the
    // thread that moved the pad (render thread during control ticks); must not
    // block, lock or allocate.
    virtual void padTargetChanged(int32_t targetId, float naturalValue) = 0;
    // The effect changed a published parameter by itself: tell host and editor,
    // not the effect's own parameter handling. Listener thread.
    virtual void announceParameterChange(int32_t id, float value) = 0;
    // A linked drag moved the partner axis: show its new normalised value on the
    // editor, when one is attached. Listener thread.
    virtual void showPartnerAxis(int32_t id, float normalisedValue) = 0;
    // The host's song position in quarter-note beats and its tempo in beats per
    // minute; false when the host gives no answer. Render thread.
    virtual bool hostBeatAndTempo(double& beat, double& tempo) = 0;

  protected:
    ~MorvanePadHost() = default;
};

class MorvanePadEngine {
  public:
    // Samples between two control ticks.
    static constexpr int32_t kTickSamples = 128;
    // Order of the four pad velocities.
    enum VelocityIndex : int {
        kVelocityLeftX = 0,
        kVelocityRightX = 1,
        kVelocityLeftY = 2,
        kVelocityRightY = 3
    };
    enum Pad : int { kPadLeft = 0, kPadRight = 1 };

    MorvanePadEngine(MorvanePadHost& host, ko_paramManager& params, CMotionRecorder& left,
                     CMotionRecorder& right);
    MorvanePadEngine(const MorvanePadEngine&) = delete;
    MorvanePadEngine& operator=(const MorvanePadEngine&) = delete;

    // Any host thread, while not rendering: no routing, no pad held or
    // recording, phase 0, beat length 500 ms at 120 BPM, the velocities of
    // factory row 0 (unless `keepVelocities`), recorder playback allowed.
    void initialize(bool keepVelocities = false);

    // ---- Listener branches (listener thread) ----

    // A drag of X or Y (19, 20, 22, 23) to value: linked under "Lock" (either
    // pad) and "Link" (left pad leads), otherwise a plain move.
    void axisMoved(int32_t id, float value);
    // Touch axis 21 or 24 changed (its value already stored and sent): grab and
    // throw under Kinetics, the recording flag in "Rec", Z mirroring.
    void touchChanged(int32_t id);
    // Routes a destination (25, 28, 31, 34, 37, 40) to the parameter of
    // destination index `index`, releasing any other destination that drove it.
    void setPadTarget(int32_t destinationId, int32_t index);
    // A low or high range bound changed: keeps low <= high by pushing the
    // partner bound (and announcing it), then sends the destination's value.
    void rangeBoundChanged(int32_t id);
    // Motion Mode changed: "Play" restarts both recorders' cursors, "Off" stops them.
    void motionModeChanged();
    // Kinetics changed: switching it off releases both grabs (velocities stay).
    void kineticsChanged();

    // Recomputes the target value of the axis group that id belongs to (its
    // axis or one of its bounds) and delivers it; any other id does nothing.
    void sendPadMovement(int32_t id);
    // All four velocities to 0 (any thread).
    void zeroVelocities();
    // The change a linked drag of axis (19, 20, 22, 23) to value may apply to
    // both pads: the partner stays inside 0..1.
    float constrainedAxisMotion(int32_t axis, float value);

    // ---- Render thread ----

    // Once per processed block, before its first sample: asks the host for beat
    // and tempo, anchors the motion phase to the song position and keeps the
    // beat length for synced delay times.
    void syncMotionPhase();
    // Once per processed block: loads the working pad coordinates.
    void loadWorkingAxes();
    // Once per control tick: playback or drift, then the phase advance.
    void updatePadMotion();

    // ---- State (any thread unless noted) ----

    float padVelocity(int index) const { return velocity[index].load(std::memory_order_relaxed); }
    // Non-finite values are stored as 0 (a velocity can come from a saved state).
    void setPadVelocity(int index, float value);
    // Loads row `row` (0..32) of the factory velocity tables; other rows give 0.
    void loadFactoryVelocities(int row);
    bool padGrabbed(int pad) const { return grabbed[pad].load(std::memory_order_relaxed); }
    bool padRecording(int pad) const { return recording[pad].load(std::memory_order_relaxed); }
    // Both grab and both recording flags to false.
    void clearTouchFlags();
    bool motionReady() const { return ready.load(std::memory_order_acquire); }
    // Cleared while recordings are being replaced; release/acquire so the render
    // thread sees complete recordings once it reads true.
    void setMotionReady(bool flag) { ready.store(flag, std::memory_order_release); }
    // Parameter driven by a destination (25, 28, ... 40), -1 for none or another id.
    int32_t padTarget(int32_t destinationId) const;
    // All six destinations drive nothing (no announcement).
    void clearRouting();
    float motionPhase() const { return phase.load(std::memory_order_relaxed); }
    float motionPhaseStep() const { return phaseStep.load(std::memory_order_relaxed); }
    // Beat length for host-synced delay times, in milliseconds (render thread).
    float msPerBeat() const { return beatMs; }
    double lastTempo() const { return tempoSeen; }

  private:
    struct Working {
        float lx, ly, rx, ry;
    };

    float vst(int32_t id) const;
    void setVst(int32_t id, float value);
    int naturalIndex(int32_t id) const;
    void throwPad(int pad);
    bool playRecorder(CMotionRecorder& recorder, int pad, float& x, float& y) const;
    void bounce(int index, float seen);
    bool driftFree(float& x, float& y, int velocityX, int velocityY);
    void driftLinked(float& left, float& right, int velocityIndex);
    void writeWorkingAxes();
    void advancePhase();

    MorvanePadHost& host;
    ko_paramManager& params;
    CMotionRecorder& recorderLeft;
    CMotionRecorder& recorderRight;

    // Parameter each destination drives, in ascending destination order
    // (25, 28, 31, 34, 37, 40); -1 for none.
    std::atomic<int32_t> targets[6];
    std::atomic<float> velocity[4];
    std::atomic<bool> grabbed[2];
    std::atomic<bool> recording[2];
    std::atomic<bool> ready{false};
    std::atomic<float> phase{0.0f};
    std::atomic<float> phaseStep{0.0f};

    // Render thread only (and initialize).
    double syncedPhase = 0.0;
    double syncedPhaseStep = 0.0; // 0 until the host first reports a tempo: the phase only re-anchors
    double tempoSeen = 120.0;
    float beatMs = 500.0f;
    Working working{0.0f, 0.0f, 0.0f, 0.0f};
};

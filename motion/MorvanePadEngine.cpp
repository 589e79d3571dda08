#include "motion/MorvanePadEngine.h"

#include <cmath>

#include "dsp/csd_utilities.h"
#include "motion/CMotionRecorder.h"
#include "params/MorvaneParameterIds.h"
#include "params/factory_presets.h"
#include "params/ko_paramManager.h"
#include "params/padTargets.h"

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

constexpr int32_t kDestinations[6] = {kLXDestination, kLYDestination, kLZDestination,
                                      kRXDestination, kRYDestination, kRZDestination};

int destinationSlot(int32_t destinationId) {
    for (int i = 0; i < 6; ++i)
        if (kDestinations[i] == destinationId) return i;
    return -1;
}

int32_t partnerAxis(int32_t axis) {
    switch (axis) {
    case kRightX:
        return kLeftX;
    case kLeftX:
        return kRightX;
    case kRightY:
        return kLeftY;
    case kLeftY:
        return kRightY;
    default:
        return -1;
    }
}

// Link Mode and Motion Mode values.
constexpr int kLinkFree = 0, kLinkLock = 1, kLinkLink = 2;
constexpr int kMotionOff = 0, kMotionPlay = 1, kMotionRec = 2;

// Reflects a coordinate that stepped past a wall back into the pad and reports
// whether the velocity must change sign. A step longer than the pad itself
// (only possible with absurd velocities) ends at the wall.
bool reflect(float& c) {
    if (c > 1.0f) {
        c = 2.0f - c;
        if (c < 0.0f) c = 0.0f;
        return true;
    }
    if (c < 0.0f) {
        c = -c;
        if (c > 1.0f) c = 1.0f;
        return true;
    }
    return false;
}

} // namespace

MorvanePadEngine::MorvanePadEngine(MorvanePadHost& host, ko_paramManager& params, CMotionRecorder& left,
                                   CMotionRecorder& right)
    : host(host), params(params), recorderLeft(left), recorderRight(right) {
    for (auto& t : targets)
        t.store(-1, relaxed);
    for (auto& v : velocity)
        v.store(0.0f, relaxed);
    for (auto& g : grabbed)
        g.store(false, relaxed);
    for (auto& r : recording)
        r.store(false, relaxed);
}

void MorvanePadEngine::initialize(bool keepVelocities) {
    clearRouting();
    clearTouchFlags();
    phase.store(0.0f, relaxed);
    syncedPhase = 0.0;
    beatMs = 500.0f;
    tempoSeen = 120.0;
    working = Working{vst(kLeftX), vst(kLeftY), vst(kRightX), vst(kRightY)};
    if (!keepVelocities) loadFactoryVelocities(0);
    setMotionReady(true);
}

float MorvanePadEngine::vst(int32_t id) const {
    return params.getVSTvalue(id);
}

void MorvanePadEngine::setVst(int32_t id, float value) {
    params.setVSTvalue(id, value);
}

int MorvanePadEngine::naturalIndex(int32_t id) const {
    // Truncated like an index; values no mode can have read as -1 (converting
    // them to int would be undefined).
    const float n = params.getNaturalValue(id);
    return n > -1.0f && n < 1.0e6f ? static_cast<int>(n) : -1;
}

// ---------------------------------------------------------------------------
// Routing and destination values

int32_t MorvanePadEngine::padTarget(int32_t destinationId) const {
    const int slot = destinationSlot(destinationId);
    return slot < 0 ? -1 : targets[slot].load(relaxed);
}

void MorvanePadEngine::clearRouting() {
    for (auto& t : targets)
        t.store(-1, relaxed);
}

void MorvanePadEngine::setPadTarget(int32_t destinationId, int32_t index) {
    const int slot = destinationSlot(destinationId);
    if (slot < 0) return;
    // Indices outside 0..15 drive nothing.
    const int32_t target = index < 0 || index >= kNumPadTargets ? -1 : padTargetID[index];
    if (target >= 0) {
        // Every parameter is driven by at most one axis: release the first other
        // destination (in ascending id order) that drove this one.
        for (int i = 0; i < 6; ++i) {
            if (i == slot || targets[i].load(relaxed) != target) continue;
            targets[i].store(-1, relaxed);
            // Keep the effect's own table in step with what host and editor are told.
            params.setNaturalValue(kDestinations[i], 0.0f);
            host.announceParameterChange(kDestinations[i], 0.0f);
            break;
        }
    }
    targets[slot].store(target, relaxed);
}

void MorvanePadEngine::sendPadMovement(int32_t id) {
    const MorvanePadAxis* group = padAxisOf(id);
    if (!group) return;
    const int32_t target = padTarget(group->destination);
    if (target < 0) return;
    const float low = vst(group->lowRange);
    const float high = vst(group->highRange);
    // Bounds are used as they are: a low bound above the high one inverts the axis.
    const float v = low + vst(group->axis) * (high - low);
    host.padTargetChanged(target, params.naturalValueFromVSTvalue(target, v));
}

void MorvanePadEngine::rangeBoundChanged(int32_t id) {
    if (!isPadRangeBound(id)) return;
    const MorvanePadAxis* group = padAxisOf(id);
    const bool isLow = id == group->lowRange;
    const int32_t partner = isLow ? group->highRange : group->lowRange;
    const float value = vst(id);
    const float other = vst(partner);
    if (isLow ? value > other : other > value) {
        // The partner follows, in the effect's table as well as for host and editor.
        setVst(partner, value);
        host.announceParameterChange(partner, params.getNaturalValue(partner));
    }
    sendPadMovement(id);
}

// ---------------------------------------------------------------------------
// Drags and touches

float MorvanePadEngine::constrainedAxisMotion(int32_t axis, float value) {
    const int32_t partner = partnerAxis(axis);
    if (partner < 0) return 0.0f;
    const float p = vst(partner);
    const float d = value - vst(axis);
    // Cut the change where the partner reaches the edge. d - (p + d - 1) is
    // written 1 - p (and d - (p + d) as -p) so that a partner sitting at the
    // edge gives exactly 0 rather than a rounding residue.
    const float s = p + d;
    if (s > 1.0f) return 1.0f - p;
    if (s < 0.0f) return -p;
    return d;
}

void MorvanePadEngine::axisMoved(int32_t id, float value) {
    const int32_t partner = partnerAxis(id);
    if (partner < 0) return;
    const int link = naturalIndex(kLinkMode);
    const bool rightPad = id == kRightX || id == kRightY;
    // Under "Link" the left pad leads and the right pad moves alone.
    const bool linked = rightPad ? link == kLinkLock : link != kLinkFree;
    if (!linked) {
        setVst(id, value);
        sendPadMovement(id);
        return;
    }
    const float d = constrainedAxisMotion(id, value);
    if (d == 0.0f) return; // the partner sits at the edge it would cross
    setVst(id, vst(id) + d);
    sendPadMovement(id);
    const float moved = vst(partner) + d;
    setVst(partner, moved);
    sendPadMovement(partner);
    host.showPartnerAxis(partner, vst(partner));
}

void MorvanePadEngine::throwPad(int pad) {
    const float r = csd_sampling_rate_reciprocal();
    const int link = naturalIndex(kLinkMode);
    if (pad == kPadLeft) {
        const float vx = params.getNaturalValue(kVelLX) * r;
        const float vy = params.getNaturalValue(kVelLY) * r;
        setPadVelocity(kVelocityLeftX, vx);
        setPadVelocity(kVelocityLeftY, vy);
        if (link == kLinkLock) {
            setPadVelocity(kVelocityRightX, vx);
            setPadVelocity(kVelocityRightY, vy);
        }
        return;
    }
    // Under "Link" the right pad follows the left one and a throw of it changes nothing.
    if (link == kLinkLink) return;
    const float vx = params.getNaturalValue(kVelRX) * r;
    const float vy = params.getNaturalValue(kVelRY) * r;
    setPadVelocity(kVelocityRightX, vx);
    setPadVelocity(kVelocityRightY, vy);
    if (link == kLinkLock) {
        setPadVelocity(kVelocityLeftX, vx);
        setPadVelocity(kVelocityLeftY, vy);
    }
}

void MorvanePadEngine::touchChanged(int32_t id) {
    if (id != kRightZ && id != kLeftZ) return;
    const int pad = id == kLeftZ ? kPadLeft : kPadRight;
    const float z = vst(id);
    const bool held = z > 0.5f;
    const int mode = naturalIndex(kMotionMode);
    const int link = naturalIndex(kLinkMode);

    if (mode != kMotionRec && naturalIndex(kKinetics) == 1) {
        if (held) {
            grabbed[pad].store(true, relaxed);
        } else if (grabbed[pad].load(relaxed)) {
            grabbed[pad].store(false, relaxed);
            throwPad(pad);
        }
    }
    if (mode == kMotionRec) recording[pad].store(held, relaxed);

    // Z mirroring: both ways under "Lock", left to right only under "Link". The
    // copy grabs, throws and records nothing.
    if (link == kLinkLock || (link == kLinkLink && id == kLeftZ)) {
        const int32_t other = id == kLeftZ ? kRightZ : kLeftZ;
        if (vst(other) != z) {
            setVst(other, z);
            sendPadMovement(other);
        }
    }
}

void MorvanePadEngine::motionModeChanged() {
    switch (naturalIndex(kMotionMode)) {
    case kMotionPlay:
        recorderLeft.startPlayback();
        recorderRight.startPlayback();
        break;
    case kMotionOff:
        recorderLeft.stopPlayback();
        recorderRight.stopPlayback();
        break;
    default:
        break;
    }
}

void MorvanePadEngine::kineticsChanged() {
    // Only the grabs are released: a pad held in "Rec" stays off playback.
    if (naturalIndex(kKinetics) == 0)
        for (auto& g : grabbed)
            g.store(false, relaxed);
}

void MorvanePadEngine::clearTouchFlags() {
    for (auto& g : grabbed)
        g.store(false, relaxed);
    for (auto& r : recording)
        r.store(false, relaxed);
}

// ---------------------------------------------------------------------------
// Velocities

void MorvanePadEngine::setPadVelocity(int index, float value) {
    if (index < 0 || index > 3) return;
    velocity[index].store(std::isfinite(value) ? value : 0.0f, relaxed);
}

void MorvanePadEngine::zeroVelocities() {
    for (auto& v : velocity)
        v.store(0.0f, relaxed);
}

void MorvanePadEngine::loadFactoryVelocities(int row) {
    const bool valid = row >= 0 && row < kFactoryPresetCount;
    setPadVelocity(kVelocityLeftX, valid ? velocityL[row].X : 0.0f);
    setPadVelocity(kVelocityLeftY, valid ? velocityL[row].Y : 0.0f);
    setPadVelocity(kVelocityRightX, valid ? velocityR[row].X : 0.0f);
    setPadVelocity(kVelocityRightY, valid ? velocityR[row].Y : 0.0f);
}

// ---------------------------------------------------------------------------
// Render thread

void MorvanePadEngine::syncMotionPhase() {
    double beat = 0.0, tempo = 0.0;
    // An answer that is not a finite position and a positive finite tempo is
    // treated like no answer: it would make the phase meaningless.
    if (host.hostBeatAndTempo(beat, tempo) && std::isfinite(beat) && std::isfinite(tempo) && tempo > 0.0) {
        const double cycle = params.getDSPValue(kMotionRate); // beats per motion cycle
        double p = std::fmod(beat, cycle) / cycle;
        while (p < 0.0)
            p += 1.0;
        syncedPhase = p;
        syncedPhaseStep = tempo / (60.0 * static_cast<double>(csd_sampling_rate()) * cycle);
        if (std::fabs(tempo - tempoSeen) > 0.1) {
            tempoSeen = tempo;
            beatMs = static_cast<float>(60000.0 / tempo);
        }
    } else {
        // Without an answer the delay falls back to 120 BPM. The tempo seen goes
        // with it, so the next answer at the earlier tempo restores its beat length.
        beatMs = 500.0f;
        tempoSeen = 120.0;
    }
    phase.store(static_cast<float>(syncedPhase), relaxed);
    phaseStep.store(static_cast<float>(syncedPhaseStep), relaxed);
}

void MorvanePadEngine::loadWorkingAxes() {
    working = Working{vst(kLeftX), vst(kLeftY), vst(kRightX), vst(kRightY)};
}

bool MorvanePadEngine::playRecorder(CMotionRecorder& recorder, int pad, float& x, float& y) const {
    if (recording[pad].load(relaxed) || !motionReady()) return false;
    return recorder.getIndexedValues(x, y, phase.load(relaxed));
}

// A bounce turns round the velocity it moved with. Another thread may have set
// a new one since it was read (a stop-drift, a throw, a preset or a restore):
// the exchange then fails and the newer value stands, where a plain store of
// the negated old value would have lost it and kept the pad drifting.
void MorvanePadEngine::bounce(int index, float seen) {
    velocity[index].compare_exchange_strong(seen, -seen, relaxed, relaxed);
}

bool MorvanePadEngine::driftFree(float& x, float& y, int velocityX, int velocityY) {
    const float vx = padVelocity(velocityX);
    const float vy = padVelocity(velocityY);
    if (vx == 0.0f && vy == 0.0f) return false;
    x += kTickSamples * vx;
    if (reflect(x)) bounce(velocityX, vx);
    y += kTickSamples * vy;
    if (reflect(y)) bounce(velocityY, vy);
    return true;
}

// Both pads move by the same step; the one nearer the wall in the direction of
// travel leads and bounces, so their distance stays the same.
void MorvanePadEngine::driftLinked(float& left, float& right, int velocityIndex) {
    const float v = padVelocity(velocityIndex);
    const float lead = v > 0.0f ? (left > right ? left : right) : (left < right ? left : right);
    float c = lead + kTickSamples * v;
    if (reflect(c)) bounce(velocityIndex, v);
    left += c - lead;
    right += c - lead;
}

void MorvanePadEngine::updatePadMotion() {
    const int link = naturalIndex(kLinkMode);
    const int mode = naturalIndex(kMotionMode);
    const bool kinetics = naturalIndex(kKinetics) == 1;
    Working& w = working;
    bool write = false;

    if (link != kLinkFree) {
        if (mode != kMotionOff) {
            // The left recording leads both pads; the right pad follows its
            // change and stops the left one at the edge it cannot cross.
            float x = 0.0f, y = 0.0f;
            if (playRecorder(recorderLeft, kPadLeft, x, y)) {
                const float dx = x - vst(kLeftX);
                const float dy = y - vst(kLeftY);
                w.lx = x;
                w.ly = y;
                if (dx != 0.0f || dy != 0.0f) {
                    w.rx += dx;
                    if (w.rx > 1.0f) {
                        w.lx -= w.rx - 1.0f;
                        w.rx = 1.0f;
                    } else if (w.rx < 0.0f) {
                        w.lx -= w.rx;
                        w.rx = 0.0f;
                    }
                    w.ry += dy;
                    if (w.ry > 1.0f) {
                        w.ly -= w.ry - 1.0f;
                        w.ry = 1.0f;
                    } else if (w.ry < 0.0f) {
                        w.ly -= w.ry;
                        w.ry = 0.0f;
                    }
                }
                write = true;
            }
        } else if (kinetics && !padGrabbed(kPadLeft) && !padGrabbed(kPadRight) &&
                   (padVelocity(kVelocityLeftX) != 0.0f || padVelocity(kVelocityLeftY) != 0.0f)) {
            driftLinked(w.lx, w.rx, kVelocityLeftX);
            driftLinked(w.ly, w.ry, kVelocityLeftY);
            write = true;
        }
    } else {
        bool leftMoved = mode != kMotionOff && playRecorder(recorderLeft, kPadLeft, w.lx, w.ly);
        if (!leftMoved && kinetics && !padGrabbed(kPadLeft) && !padRecording(kPadLeft))
            leftMoved = driftFree(w.lx, w.ly, kVelocityLeftX, kVelocityLeftY);
        bool rightMoved = mode != kMotionOff && playRecorder(recorderRight, kPadRight, w.rx, w.ry);
        if (!rightMoved && kinetics && !padGrabbed(kPadRight) && !padRecording(kPadRight))
            rightMoved = driftFree(w.rx, w.ry, kVelocityRightX, kVelocityRightY);
        write = leftMoved || rightMoved;
    }

    if (write) writeWorkingAxes();
    advancePhase();
}

void MorvanePadEngine::writeWorkingAxes() {
    setVst(kLeftX, working.lx);
    sendPadMovement(kLeftX);
    setVst(kLeftY, working.ly);
    sendPadMovement(kLeftY);
    setVst(kRightX, working.rx);
    sendPadMovement(kRightX);
    setVst(kRightY, working.ry);
    sendPadMovement(kRightY);
}

void MorvanePadEngine::advancePhase() {
    float p = phase.load(relaxed) + kTickSamples * phaseStep.load(relaxed);
    if (!std::isfinite(p)) {
        p = 0.0f;
    } else if (p > 1.0f) {
        // Whole cycles off, as repeated subtraction of 1 would do (exact for
        // floats), but in constant time: a phase of exactly 1.0 stays 1.0.
        p = (p - std::ceil(p)) + 1.0f;
    }
    phase.store(p, relaxed);
}

// The render chain: per block the pending filter pair, host tempo, delay
// times and damping; every 128 samples a control tick (pad motion, smoothers);
// per sample input gain, saturation, rate reduction, the filter blend, two
// damped fed-back delay lines, the wet/dry and width mix and the output gain.
//
// Everything here runs on the render thread and neither allocates, locks,
// logs nor calls the system.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/csd_utilities.h"
#include "dsp/lanes.h"
#include "engine/Morvane_AU.h"

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Delay times are held to 4..2000 ms (the lines hold 2010 ms). fmax/fmin also
// turn a NaN time into 4 ms instead of passing it on to the delay line.
float clampDelayMs(float ms) {
    return std::fmin(std::fmax(ms, 4.0f), 2000.0f);
}

// The saturator's curve, inline: u / (0.28 u^2 + 1) scaled by the make-up gain.
inline float saturate(float x, float drive, float makeup) {
    const float u = x * drive;
    return u / (0.28f * u * u + 1.0f) * makeup;
}

// Input a host may hand over that no audio is. NaN and the infinities become
// silence (they would stay in the filters and the feedback loops for good),
// and finite samples beyond +-1e6 (+120 dBFS) are held there, so no finite
// input can overflow the chain. Each block is first scanned, in a loop the
// compiler vectorises; real audio passes as it is, and only a block that
// holds such a sample is processed from a guarded copy.
bool needsGuard(const float* x, UInt32 frames) {
    unsigned bad = 0;
    for (UInt32 i = 0; i < frames; ++i)
        bad |= !(std::fabs(x[i]) <= Morvane_AU::kInputCeiling);
    return bad != 0;
}

float guardedSample(float x) {
    if (std::fabs(x) <= Morvane_AU::kInputCeiling) return x;
    if (std::isnan(x) || std::isinf(x)) return 0.0f;
    return std::copysign(Morvane_AU::kInputCeiling, x);
}

// The fed-back signal of each delay line. Regeneration reaches +1 dB, so
// without a limit a loop grows until the floats overflow. Up to the knee,
// +12 dBFS, the signal passes untouched, bit for bit: per sample one compare
// against a knee held in a register and a branch that normal material never
// takes, rather than a curve computed on every sample.
//
// Past the knee the loop runs hot (LoopGuard) until it has stayed below half
// the knee for a second. A hot loop's signal is bent by a soft knee,
// k + d u / (d + u) for an excess u over the knee k with d = ceiling - k,
// toward +24 dBFS without reaching it; the knee meets the straight line with
// the same slope, so there is no corner to hear. A loop above unity gain
// therefore grows, saturates at a steady level between the two and goes on
// singing through its damping. The loop has its highest gain at DC (the
// damping is a low-pass), so a hot loop also has its DC, followed by a 10 Hz
// one-pole, taken out: otherwise a short delay would settle on a constant
// offset of some +19 dBFS instead of a tone.
constexpr float kLoopKnee = Morvane_AU::kLoopKnee; // +12 dBFS
constexpr float kLoopCeiling = 15.8489f;           // just under +24 dBFS (15.8489319)
constexpr float kLoopKneeSpan = kLoopCeiling - kLoopKnee;
constexpr float kLoopCool = 0.5f * kLoopKnee;
constexpr float kLoopDcAtRest = 1.0e-4f; // a DC this small may return to the loop in one step

} // namespace

float Morvane_AU::hotLoop(int channel, float v, const BlockState& s) noexcept {
    LoopGuard& g = loopGuard[channel];
    if (!(std::fabs(v) < 1.0e30f)) v = std::isnan(v) ? 0.0f : std::copysign(1.0e30f, v);
    g.untouchedBelow = -1.0f;
    g.dc += (v - g.dc) * s.loopDcCoefficient;
    const float y = v - g.dc;
    const float a = std::fabs(y);
    if (a > kLoopKnee) {
        g.coolSamples = 0;
        const float excess = a - kLoopKnee;
        return std::copysign(kLoopKnee + kLoopKneeSpan * excess / (kLoopKneeSpan + excess), y);
    }
    if (a > kLoopCool) {
        g.coolSamples = 0;
    } else if (g.coolSamples < s.loopCoolSamples) {
        ++g.coolSamples;
    } else if (std::fabs(g.dc) < kLoopDcAtRest) {
        g = LoopGuard{}; // cooled down: the loop runs untouched again
    }
    return y;
}

void Morvane_AU::processGuarded(const float* inL, const float* inR, float* outL, float* outR, UInt32 frames,
                                BlockState& s) {
    for (UInt32 done = 0; done < frames;) {
        const UInt32 n = std::min(frames - done, kGuardedFrames);
        // Copied first: the output may be the input's own memory.
        for (UInt32 i = 0; i < n; ++i)
            guardedInput[0][i] = guardedSample(inL[done + i]);
        if (inR != nullptr)
            for (UInt32 i = 0; i < n; ++i)
                guardedInput[1][i] = guardedSample(inR[done + i]);
        if (inR != nullptr)
            processStereo(guardedInput[0], guardedInput[1], outL + done, outR + done, n, s);
        else
            processMono(guardedInput[0], outL + done, n, s);
        done += n;
    }
}

namespace {

// One control-tick step of a gain smoother. A gain gliding to 0 ends at
// exactly 0: stepped by a coefficient above one half, the lag would otherwise
// stop at the smallest denormal and multiply every sample by it for good.
inline float stepGain(mod_lag* lag, float target) {
    const float g = mod_lag_dsp_symmetric(lag, target);
    if (!csd_is_zero_or_denormal(g)) return g;
    lag->output = 0.0f;
    return 0.0f;
}

} // namespace

void Morvane_AU::emptyFeedback() {
    for (int c = 0; c < 2; ++c) {
        delayFeedback[c] = 0.0f;
        loopGuard[c] = LoopGuard{};
    }
}

// Takes a newly selected filter pair. The pair is prepared here, on the thread
// that runs the filters: cleared, set to the current frequency and resonance.
// A pair that is already running is left untouched.
void Morvane_AU::swapPendingFilter() {
    FilterPair* pair = pendingFilter.exchange(nullptr, std::memory_order_acquire);
    if (pair == nullptr || pair == activeFilter) return;
    const float frequency = paramTable.getNaturalValue(kFilterFreq);
    const float resonance = paramTable.getDSPValue(kFilterResonance);
    for (kosp_filter* f : {pair->left, pair->right}) {
        f->clear();
        f->setFrequency(frequency);
        f->setResonanceNormalized(resonance);
    }
    activeFilter = pair;
    const float dspFrequency = paramTable.getDSPValue(kFilterFreq);
    pair->left->setFrequency(dspFrequency);
    pair->right->setFrequency(dspFrequency);
    pair->left->setResonanceNormalized(resonance);
    pair->right->setResonanceNormalized(resonance);
}

// Settings the listener flagged since the last block or tick.
void Morvane_AU::applyPendingUpdates() {
    if (pendingUpdates.load(relaxed) == 0) return;
    const uint32_t bits = pendingUpdates.exchange(0, std::memory_order_acquire);
    if (bits & kUpdateResonance) {
        const float resonance = paramTable.getDSPValue(kFilterResonance);
        activeFilter->left->setResonanceNormalized(resonance);
        activeFilter->right->setResonanceNormalized(resonance);
    }
    if (bits & kUpdateBitcrush) {
        const float ratio = paramTable.getDSPValue(kBitcrush);
        filter_downsample_set_attr(&rateReducer[0], kCsdAttrDownsampleRatio, ratio);
        filter_downsample_set_attr(&rateReducer[1], kCsdAttrDownsampleRatio, ratio);
    }
    if ((bits & kUpdateDigiDamping) && paramTable.getNaturalValue(kEmulation) == 1.0f) {
        filter_butterworth_2P_LP_set_attr(&dampingFilter[0], kCsdAttrDampingCutoff, 12000.0f);
        filter_butterworth_2P_LP_set_attr(&dampingFilter[1], kCsdAttrDampingCutoff, 12000.0f);
    }
}

// Delay times and, for the "BBD" emulation, damping that darkens long delays.
void Morvane_AU::setBlockDelayTimes() {
    const bool synced = paramTable.getNaturalValue(kHostSync) > 0.5f;
    const float raw = synced ? paramTable.getDSPValue(kLeftDelayTime) * pads.msPerBeat()
                             : paramTable.getDSPValue(kLeftDelayTime);
    // Synced times jump to a new length; free times glide like tape.
    const int attribute = synced ? kCsdAttrDelayTimeJump : kCsdAttrDelayTimeGlide;
    const float left = clampDelayMs(raw);
    const float right = clampDelayMs(paramTable.getDSPValue(kRightDelayTime) * left);
    delay_fad_set_attr(&delayLine[0], attribute, left);
    delay_fad_set_attr(&delayLine[1], attribute, right);
    if (paramTable.getNaturalValue(kEmulation) == 0.0f) {
        // 7984.8 Hz at 4 ms down to 400 Hz at 2000 ms.
        filter_butterworth_2P_LP_set_attr(&dampingFilter[0], kCsdAttrDampingCutoff, 8000.0f - 3.8f * left);
        filter_butterworth_2P_LP_set_attr(&dampingFilter[1], kCsdAttrDampingCutoff, 8000.0f - 3.8f * right);
    }
}

void Morvane_AU::controlTick(BlockState& s) {
    pads.updatePadMotion();
    // Values the pads just delivered (and the listener's) take effect in this tick.
    applyPendingUpdates();
    s.frequencyTarget = paramTable.getNaturalValue(kFilterFreq);
    const float filterOn = mod_lag_dsp_symmetric(&filterOnLag, s.filterOnValue);
    s.filterMix = filterOn * filterGain.load(relaxed);
    s.dryFilter = 1.0f - filterOn;
    mod_lag_set_attr(&delayOnLag, kCsdAttrLagTarget, delayOnTarget.load(relaxed));
    s.delayOn = mod_lag_dsp_symmetric_no_input(&delayOnLag);
    dryGain = stepGain(&dryLag, dryTarget.load(relaxed));
    wetGain = stepGain(&wetLag, wetTarget.load(relaxed));
    inGain = stepGain(&inGainLag, inGainTarget.load(relaxed));
    outGain = stepGain(&outGainLag, outGainTarget.load(relaxed));
}

OSStatus Morvane_AU::ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                        const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                        UInt32 inFramesToProcess) {
    ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    swapPendingFilter();

    if (ShouldBypassEffect() || !initialized.load(std::memory_order_acquire)) {
        if (!ProcessesInPlace()) {
            const UInt32 n = inBuffer.mNumberBuffers < outBuffer.mNumberBuffers ? inBuffer.mNumberBuffers
                                                                                : outBuffer.mNumberBuffers;
            for (UInt32 i = 0; i < n; ++i) {
                const AudioBuffer& src = inBuffer.mBuffers[i];
                AudioBuffer& dst = outBuffer.mBuffers[i];
                if (src.mData == nullptr || dst.mData == nullptr || src.mData == dst.mData) continue;
                // Never more than the output buffer holds.
                const UInt32 bytes =
                    src.mDataByteSize < dst.mDataByteSize ? src.mDataByteSize : dst.mDataByteSize;
                std::memcpy(dst.mData, src.mData, bytes);
                dst.mDataByteSize = bytes;
            }
        }
        return noErr;
    }

    if (resetRequested.load(relaxed) && resetRequested.exchange(false, std::memory_order_acquire)) {
        delay_fad_clear(&delayLine[0]);
        delay_fad_clear(&delayLine[1]);
        emptyFeedback();
    }
    if (feedbackClearRequested.load(relaxed) && feedbackClearRequested.exchange(false, relaxed))
        emptyFeedback();
    if (tickRestart.load(relaxed) && tickRestart.exchange(false, relaxed)) tickCountdown = 0;
    applyPendingUpdates();

    BlockState s;
    s.filterOnValue = paramTable.getNaturalValue(kFilterOnOff);
    s.frequencyTarget = paramTable.getNaturalValue(kFilterFreq);
    s.delayOn = mod_lag_get_output(&delayOnLag);
    s.regen = paramTable.getDSPValue(kRegeneration);
    s.loopDcCoefficient = std::fmin(1.0f, 2.0f * 3.14159265f * 10.0f * csd_sampling_rate_reciprocal());
    s.loopCoolSamples = static_cast<int32_t>(csd_sampling_rate());

    pads.syncMotionPhase();
    setBlockDelayTimes();
    const float filterOn = mod_lag_get_output(&filterOnLag);
    s.filterMix = filterOn * filterGain.load(relaxed);
    s.dryFilter = 1.0f - filterOn;
    pads.loadWorkingAxes();

    // Only whole frames that every buffer in use can hold are processed.
    auto framesIn = [&](const AudioBuffer& b) {
        const UInt32 held = b.mDataByteSize / sizeof(float);
        return b.mData == nullptr ? 0u : (held < inFramesToProcess ? held : inFramesToProcess);
    };
    const bool stereo = inBuffer.mNumberBuffers >= 2 && outBuffer.mNumberBuffers >= 2;
    UInt32 processed = stereo ? 2 : 1; // output buffers the chain writes
    if (inBuffer.mNumberBuffers == 0) {
        processed = 0;
    } else if (outBuffer.mNumberBuffers == 0) {
        return noErr;
    } else if (stereo) {
        UInt32 frames = framesIn(inBuffer.mBuffers[0]);
        const AudioBuffer* others[] = {&inBuffer.mBuffers[1], &outBuffer.mBuffers[0], &outBuffer.mBuffers[1]};
        for (const AudioBuffer* b : others) {
            const UInt32 n = framesIn(*b);
            frames = n < frames ? n : frames;
        }
        const auto* inL = static_cast<const float*>(inBuffer.mBuffers[0].mData);
        const auto* inR = static_cast<const float*>(inBuffer.mBuffers[1].mData);
        auto* outL = static_cast<float*>(outBuffer.mBuffers[0].mData);
        auto* outR = static_cast<float*>(outBuffer.mBuffers[1].mData);
        if (needsGuard(inL, frames) || needsGuard(inR, frames))
            processGuarded(inL, inR, outL, outR, frames, s);
        else
            processStereo(inL, inR, outL, outR, frames, s);
    } else {
        UInt32 frames = framesIn(inBuffer.mBuffers[0]);
        const UInt32 n = framesIn(outBuffer.mBuffers[0]);
        frames = n < frames ? n : frames;
        const auto* in = static_cast<const float*>(inBuffer.mBuffers[0].mData);
        auto* out = static_cast<float*>(outBuffer.mBuffers[0].mData);
        if (needsGuard(in, frames))
            processGuarded(in, nullptr, out, nullptr, frames, s);
        else
            processMono(in, out, frames, s);
    }
    // Output buffers beyond the one or two the chain runs on must not keep
    // whatever the host's memory held: the input of the same index passes
    // through untouched, and without one they are silent.
    for (UInt32 c = processed; c < outBuffer.mNumberBuffers; ++c) {
        AudioBuffer& dst = outBuffer.mBuffers[c];
        if (dst.mData == nullptr) continue;
        const UInt32 frames = framesIn(dst);
        const AudioBuffer* src = c < inBuffer.mNumberBuffers ? &inBuffer.mBuffers[c] : nullptr;
        if (src != nullptr && src->mData == dst.mData) continue;
        const UInt32 copied = src != nullptr ? std::min(framesIn(*src), frames) : 0;
        if (copied) std::memcpy(dst.mData, src->mData, copied * sizeof(float));
        std::fill(static_cast<float*>(dst.mData) + copied, static_cast<float*>(dst.mData) + frames, 0.0f);
    }
    return noErr;
}

// The selected pair through its virtual calls (left, then right).
struct Morvane_AU::VirtualFilterPair {
    kosp_filter& left;
    kosp_filter& right;
    void setFrequency(float hz) {
        left.setFrequency(hz);
        right.setFrequency(hz);
    }
    FloatPair process(FloatPair x) { return FloatPair::of(left.process(x.left()), right.process(x.right())); }
};

struct Morvane_AU::VirtualFilter {
    kosp_filter& filter;
    void setFrequency(float hz) { filter.setFrequency(hz); }
    float process(float x) { return filter.process(x); }
};

// The tick falls on the first sample after Initialize and then on every 128th
// sample, whatever the block sizes: the frames are processed in runs that end
// where the next tick is due.
MORVANE_RENDER_TARGETS void Morvane_AU::processMono(const float* in, float* out, UInt32 frames,
                                                    BlockState& s) {
    for (UInt32 i = 0; i < frames;) {
        const UInt32 run = nextRun(frames - i, s);
        if (activeFilter == &filterPairs[0])
            monoRun<kosp_ko_moog_single>(moogFilter[0], in + i, out + i, run, s);
        else
            monoRun<VirtualFilter>(*activeFilter->left, in + i, out + i, run, s);
        i += run;
    }
}

MORVANE_RENDER_TARGETS void Morvane_AU::processStereo(const float* inL, const float* inR, float* outL,
                                                      float* outR, UInt32 frames, BlockState& s) {
    for (UInt32 i = 0; i < frames;) {
        const UInt32 run = nextRun(frames - i, s);
        // The filter pair is chosen per run: the ladders and the 3-pole
        // filters run both channels together, the others through their
        // virtual calls.
        if (activeFilter == &filterPairs[0] && kosp_ko_moog_pair::canPair(moogFilter[0], moogFilter[1]))
            stereoRun<kosp_ko_moog_pair>(moogFilter[0], moogFilter[1], inL + i, inR + i, outL + i, outR + i,
                                         run, s);
        else if (activeFilter == &filterPairs[1] &&
                 kosp_creakbox_pair::canPair(creakboxFilter[0], creakboxFilter[1]))
            stereoRun<kosp_creakbox_pair>(creakboxFilter[0], creakboxFilter[1], inL + i, inR + i, outL + i,
                                          outR + i, run, s);
        else
            stereoRun<VirtualFilterPair>(*activeFilter->left, *activeFilter->right, inL + i, inR + i,
                                         outL + i, outR + i, run, s);
        i += run;
    }
}

UInt32 Morvane_AU::nextRun(UInt32 remaining, BlockState& s) {
    if (tickCountdown <= 0) {
        controlTick(s);
        tickCountdown = MorvanePadEngine::kTickSamples;
    }
    const UInt32 run =
        static_cast<UInt32>(tickCountdown) < remaining ? static_cast<UInt32>(tickCountdown) : remaining;
    tickCountdown -= static_cast<int32_t>(run);
    return run;
}

namespace {

// The DSP records a run of samples works on, copied into locals at its start
// and back at its end, so that the compiler keeps them in registers: the
// output buffers are floats too, and a store to one could otherwise change any
// float member as far as the compiler knows.
template <class Record> class Local {
  public:
    explicit Local(Record& record) : home(record), copy(record) {}
    ~Local() { home = copy; }
    Local(const Local&) = delete;
    Local& operator=(const Local&) = delete;
    Record* operator->() { return &copy; }
    Record* get() { return &copy; }

  private:
    Record& home;
    Record copy;
};

// Both damping filters in lanes: filter_butterworth_2P_LP_dsp per lane.
class DampingPair {
  public:
    DampingPair(filter_butterworth_2P_LP& l, filter_butterworth_2P_LP& r)
        : l(l), r(r), a0(FloatPair::of(l.a0, r.a0)), a1(FloatPair::of(l.a1, r.a1)),
          a2(FloatPair::of(l.a2, r.a2)), b1(FloatPair::of(l.b1, r.b1)), b2(FloatPair::of(l.b2, r.b2)),
          x1(FloatPair::of(l.x1, r.x1)), x2(FloatPair::of(l.x2, r.x2)), y1(FloatPair::of(l.y1, r.y1)),
          y2(FloatPair::of(l.y2, r.y2)), output(FloatPair::of(l.output, r.output)) {}
    ~DampingPair() {
        l.x1 = x1.left(), r.x1 = x1.right();
        l.x2 = x2.left(), r.x2 = x2.right();
        l.y1 = y1.left(), r.y1 = y1.right();
        l.y2 = y2.left(), r.y2 = y2.right();
        l.output = output.left(), r.output = output.right();
    }
    DampingPair(const DampingPair&) = delete;
    DampingPair& operator=(const DampingPair&) = delete;

    FloatPair process(FloatPair x) {
        y2 = y1;
        y1 = output;
        FloatPair y = a0 * x + a1 * x1 + a2 * x2 - b1 * y1 - b2 * y2;
        x2 = x1;
        x1 = x;
        y = select(exponentIs(y, 0), FloatPair::both(0.0f), y);
        if (lanesOf(exponentIs(y, 0x7f800000u)) != 0) [[unlikely]]
            y = runaway(y);
        output = y;
        return y;
    }

  private:
    // A lane that became infinite or NaN clears its filter and gives 0.
    FloatPair runaway(FloatPair y) {
        const __m128 keep = _mm_andnot_ps(exponentIs(y, 0x7f800000u), _mm_castsi128_ps(_mm_set1_epi32(-1)));
        const FloatPair zero = FloatPair::both(0.0f);
        x1 = select(keep, x1, zero);
        x2 = select(keep, x2, zero);
        y1 = select(keep, y1, zero);
        y2 = select(keep, y2, zero);
        return select(keep, y, zero);
    }

    filter_butterworth_2P_LP& l;
    filter_butterworth_2P_LP& r;
    FloatPair a0, a1, a2, b1, b2;
    FloatPair x1, x2, y1, y2, output;
};

// Both rate reducers in lanes: filter_downsample_dsp per lane.
class RateReducerPair {
  public:
    RateReducerPair(filter_downsample& l, filter_downsample& r)
        : l(l), r(r), ratio(FloatPair::of(l.ratio, r.ratio)), phase(FloatPair::of(l.phase, r.phase)),
          held(FloatPair::of(l.held, r.held)) {}
    ~RateReducerPair() {
        l.phase = phase.left(), r.phase = phase.right();
        l.held = held.left(), r.held = held.right();
    }
    RateReducerPair(const RateReducerPair&) = delete;
    RateReducerPair& operator=(const RateReducerPair&) = delete;

    FloatPair process(FloatPair x) {
        phase = phase + ratio;
        const __m128 take = _mm_cmpge_ps(phase.v, _mm_set1_ps(1.0f));
        held = select(take, x, held);
        phase = select(take, phase - FloatPair::both(1.0f), phase);
        return held;
    }

  private:
    filter_downsample& l;
    filter_downsample& r;
    FloatPair ratio, phase, held;
};

} // namespace

// Four floats: two frames of a pair of channels (left, right, left, right)
// or four frames of one. The same IEEE operations as the scalar expressions
// they stand for, lane by lane.
namespace {

inline __m128 both4(float x) {
    return _mm_set1_ps(x);
}
// (l0 r0 l1 r1), (l2 r2 l3 r3) -> (l0 l1 l2 l3) and (r0 r1 r2 r3).
inline __m128 leftsOf(__m128 a, __m128 b) {
    return _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
}
inline __m128 rightsOf(__m128 a, __m128 b) {
    return _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
}

} // namespace

// The two fed-back delay lines with their damping, over a run taken in
// stretches. Each stretch first reads both lines ahead (as far as neither
// needs a sample the stretch itself writes); the filters' loop then damps
// each frame's reads (damp), a recurrence of its own that runs in the
// filters' shadow; then what is fed back, held below the loop's knee, is
// added to the sends (feed), several frames at a time, and the stretch's
// inputs are written to both lines.
class Morvane_AU::EchoPair {
  public:
    static constexpr UInt32 kMaxStretch = MorvanePadEngine::kTickSamples;

    EchoPair(Morvane_AU& unit, const BlockState& s)
        : unit(unit), s(s), delayL(unit.delayLine[0]), delayR(unit.delayLine[1]),
          knee(FloatPair::of(unit.loopGuard[0].untouchedBelow, unit.loopGuard[1].untouchedBelow)) {
        fed[0] = unit.delayFeedback[0];
        fed[1] = unit.delayFeedback[1];
    }
    ~EchoPair() {
        unit.delayFeedback[0] = fed[0];
        unit.delayFeedback[1] = fed[1];
    }
    EchoPair(const EchoPair&) = delete;
    EchoPair& operator=(const EchoPair&) = delete;

    // Reads both lines ahead for up to `frames` (1 .. kMaxStretch) frames;
    // returns how many, at least 1.
    UInt32 readAhead(UInt32 frames) { return delay_fad_run::readAhead(delayL, readL, delayR, readR, frames); }
    // Frame k's damped line outputs, the echoes heard and fed back.
    // The damping filters for a stretch, held by the caller so that their
    // state can live in registers.
    DampingPair dampingFilters() { return DampingPair(unit.dampingFilter[0], unit.dampingFilter[1]); }
    void damp(DampingPair& damping, UInt32 k) {
        storePair(fed + 2 * k + 2, damping.process(FloatPair::load(readL, readR, k)));
    }
    // Frame k's damped outputs (left, right) after damp: damped() + 2 k.
    const float* damped() const { return fed + 2; }
    // The lines' inputs for frames 0..n of the stretch: each frame's sends
    // (sends[2 k], sends[2 k + 1]) plus the damped outputs of the frame
    // before, scaled by the regeneration and held below the knee.
    void feed(const float* sends, UInt32 n) {
        const __m128 regen = both4(s.regen);
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 knee4 = _mm_movelh_ps(knee.v, knee.v);
        __m128 over = _mm_setzero_ps();
        UInt32 k = 0;
        for (; k + 4 <= n; k += 4) {
            const __m128 fb0 = _mm_mul_ps(regen, _mm_loadu_ps(fed + 2 * k));
            const __m128 fb1 = _mm_mul_ps(regen, _mm_loadu_ps(fed + 2 * k + 4));
            over = _mm_or_ps(over, _mm_cmpnle_ps(_mm_and_ps(fb0, magnitude), knee4));
            over = _mm_or_ps(over, _mm_cmpnle_ps(_mm_and_ps(fb1, magnitude), knee4));
            const __m128 e0 = _mm_add_ps(fb0, _mm_load_ps(sends + 2 * k));
            const __m128 e1 = _mm_add_ps(fb1, _mm_load_ps(sends + 2 * k + 4));
            _mm_store_ps(sendL + k, leftsOf(e0, e1));
            _mm_store_ps(sendR + k, rightsOf(e0, e1));
        }
        if (_mm_movemask_ps(over) != 0) [[unlikely]]
            k = 0; // a loop at its knee: frame by frame, in order
        for (; k < n; ++k) {
            FloatPair fb = FloatPair::of(fed[2 * k], fed[2 * k + 1]) * FloatPair::both(s.regen);
            if (lanesOf(_mm_cmple_ps(_mm_and_ps(fb.v, magnitude), knee.v)) != 3) [[unlikely]]
                fb = contain(fb);
            (fb + FloatPair::of(sends[2 * k], sends[2 * k + 1])).store(sendL, sendR, k);
        }
    }
    // The stretch's inputs into both lines; the last damped outputs are
    // carried to the next stretch.
    void writeBehind(UInt32 n) {
        delayL.writeBehind(sendL, n);
        delayR.writeBehind(sendR, n);
        fed[0] = fed[2 * n];
        fed[1] = fed[2 * n + 1];
    }

  private:
    static void storePair(float* at, FloatPair x) { _mm_storel_pi(reinterpret_cast<__m64*>(at), x.v); }

    FloatPair contain(FloatPair fb) {
        float left = fb.left(), right = fb.right();
        float kneeL = knee.left(), kneeR = knee.right();
        if (!(std::fabs(left) <= kneeL)) {
            left = unit.hotLoop(0, left, s);
            kneeL = unit.loopGuard[0].untouchedBelow;
        }
        if (!(std::fabs(right) <= kneeR)) {
            right = unit.hotLoop(1, right, s);
            kneeR = unit.loopGuard[1].untouchedBelow;
        }
        knee = FloatPair::of(kneeL, kneeR);
        return FloatPair::of(left, right);
    }

    Morvane_AU& unit;
    const BlockState& s;
    delay_fad_run delayL, delayR;
    FloatPair knee;
    // fed[0..1]: the damped outputs of the frame before the stretch;
    // fed[2 k + 2..3]: those of frame k.
    alignas(16) float fed[2 * kMaxStretch + 2 + 6];
    alignas(16) float readL[kMaxStretch], readR[kMaxStretch];
    alignas(16) float sendL[kMaxStretch], sendR[kMaxStretch];
};

// Runs a run stretch by stretch: first, frame by frame, the filters (`front`,
// giving the frame's y as a pair) and the damping of the lines' reads; then
// the sends (delayOn y) fed to the lines and `mix` over the stretch. The
// filters are one long chain of dependent operations per frame, which sets
// the pace; a loop holding little else lets the processor run its
// independent work (input, saturation, coefficients, the damping) frames
// ahead, and the work of the echoes that needs y follows in loops of several
// frames at a time. Nothing changes but the order of independent work.
template <class Echoes, class Front, class Mix>
[[gnu::always_inline]] inline void runStretches(Echoes& echoes, UInt32 frames, float delayOn, Front&& front,
                                                Mix&& mix) {
    alignas(16) float ys[2 * Echoes::kMaxStretch + 8];
    alignas(16) float sends[2 * Echoes::kMaxStretch + 8];
    const FloatPair on = FloatPair::both(delayOn);
    for (UInt32 start = 0; start < frames;) {
        const UInt32 n = echoes.readAhead(frames - start);
        {
            DampingPair damping = echoes.dampingFilters();
            for (UInt32 k = 0; k < n; ++k) {
                const FloatPair y = front(start + k);
                _mm_storel_pi(reinterpret_cast<__m64*>(ys + 2 * k), y.v);
                _mm_storel_pi(reinterpret_cast<__m64*>(sends + 2 * k), (on * y).v);
                echoes.damp(damping, k);
            }
        }
        echoes.feed(sends, n);
        mix(start, n, ys, echoes.damped());
        echoes.writeBehind(n);
        start += n;
    }
}

template <class Filter, class Object>
void Morvane_AU::monoRun(Object& object, const float* in, float* out, UInt32 frames, BlockState& s) {
    Filter filter{object};
    Local<mod_lag> frequencyLag(freqLag);
    Local<filter_downsample> reducer(rateReducer[0]);
    EchoPair echoes(*this, s);
    const float drive = saturator[0].getSaturationAmount();
    const float makeup = saturator[0].getMakeupGain();
    const float frequencyTarget = s.frequencyTarget;
    const float filterMix = s.filterMix, dryFilter = s.dryFilter;
    const float input = inGain, dry = dryGain, output = outGain;
    const float wet = wetGain * 0.707f;
    // The filter's side of sample i, its y in both lanes: both lines are
    // fed the same signal.
    auto front = [&](UInt32 i) {
        const float x = in[i] * input;
        filter.setFrequency(mod_lag_dsp_symmetric(frequencyLag.get(), frequencyTarget));
        const float h = filter_downsample_dsp(reducer.get(), saturate(x, drive, makeup));
        // The dry share takes x straight after the input gain: saturation
        // and rate reduction are heard only through the filter.
        return FloatPair::both(filterMix * filter.process(h) + dryFilter * x);
    };
    // Both lines mixed at 0.707 each, with the dry signal.
    auto mix = [&](UInt32 start, UInt32 n, const float* ys, const float* d) {
        UInt32 k = 0;
        const __m128 wet4 = both4(wet), dry4 = both4(dry), output4 = both4(output);
        for (; k + 4 <= n; k += 4) {
            const __m128 d0 = _mm_mul_ps(_mm_loadu_ps(d + 2 * k), wet4);
            const __m128 d1 = _mm_mul_ps(_mm_loadu_ps(d + 2 * k + 4), wet4);
            const __m128 y = leftsOf(_mm_load_ps(ys + 2 * k), _mm_load_ps(ys + 2 * k + 4));
            const __m128 echoes = _mm_add_ps(leftsOf(d0, d1), rightsOf(d0, d1));
            _mm_storeu_ps(out + start + k, _mm_mul_ps(_mm_add_ps(echoes, _mm_mul_ps(y, dry4)), output4));
        }
        for (; k < n; ++k)
            out[start + k] = (d[2 * k] * wet + d[2 * k + 1] * wet + ys[2 * k] * dry) * output;
    };
    runStretches(echoes, frames, s.delayOn, front, mix);
}

template <class Filters, class Object>
void Morvane_AU::stereoRun(Object& left, Object& right, const float* inL, const float* inR, float* outL,
                           float* outR, UInt32 frames, BlockState& s) {
    Filters filters{left, right};
    Local<mod_lag> frequencyLag(freqLag);
    RateReducerPair reducers(rateReducer[0], rateReducer[1]);
    EchoPair echoes(*this, s);
    const FloatPair drive =
        FloatPair::of(saturator[0].getSaturationAmount(), saturator[1].getSaturationAmount());
    const FloatPair makeup = FloatPair::of(saturator[0].getMakeupGain(), saturator[1].getMakeupGain());
    const float frequencyTarget = s.frequencyTarget;
    const FloatPair filterMix = FloatPair::both(s.filterMix), dryFilter = FloatPair::both(s.dryFilter);
    const FloatPair input = FloatPair::both(inGain);
    const float same = wetGain * widthSame.load(relaxed), cross = wetGain * widthCross.load(relaxed);
    const float dry = dryGain, output = outGain;
    const FloatPair saturationCurve = FloatPair::both(0.28f), one = FloatPair::both(1.0f);
    // The filters' side of frame i, up to y.
    auto front = [&](UInt32 i) {
        const FloatPair x = FloatPair::load(inL, inR, i) * input;
        filters.setFrequency(mod_lag_dsp_symmetric(frequencyLag.get(), frequencyTarget));
        // The saturator's curve, as saturate() per channel.
        const FloatPair u = x * drive;
        const FloatPair saturated = u / (saturationCurve * u * u + one) * makeup;
        return filterMix * filters.process(reducers.process(saturated)) + dryFilter * x;
    };
    // Each channel's echo at the width's same-side share, the other
    // channel's at its cross share, with the dry signal.
    auto mix = [&](UInt32 start, UInt32 n, const float* ys, const float* d) {
        const __m128 same4 = both4(same), cross4 = both4(cross), dry4 = both4(dry), output4 = both4(output);
        auto frames2 = [&](UInt32 k) {
            const __m128 e = _mm_loadu_ps(d + 2 * k);
            const __m128 swapped = _mm_shuffle_ps(e, e, _MM_SHUFFLE(2, 3, 0, 1));
            const __m128 m = _mm_add_ps(_mm_add_ps(_mm_mul_ps(e, same4), _mm_mul_ps(swapped, cross4)),
                                        _mm_mul_ps(_mm_load_ps(ys + 2 * k), dry4));
            return _mm_mul_ps(m, output4);
        };
        UInt32 k = 0;
        for (; k + 4 <= n; k += 4) {
            const __m128 m0 = frames2(k), m1 = frames2(k + 2);
            _mm_storeu_ps(outL + start + k, leftsOf(m0, m1));
            _mm_storeu_ps(outR + start + k, rightsOf(m0, m1));
        }
        for (; k < n; ++k) {
            outL[start + k] = (d[2 * k] * same + d[2 * k + 1] * cross + ys[2 * k] * dry) * output;
            outR[start + k] = (d[2 * k + 1] * same + d[2 * k] * cross + ys[2 * k + 1] * dry) * output;
        }
    };
    runStretches(echoes, frames, s.delayOn, front, mix);
}

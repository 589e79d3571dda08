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

float Morvane_AU::hotLoop(int channel, float v, const BlockState& s) {
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

// The tick falls on the first sample after Initialize and then on every 128th
// sample, whatever the block sizes: the frames are processed in runs that end
// where the next tick is due.
void Morvane_AU::processMono(const float* in, float* out, UInt32 frames, BlockState& s) {
    kosp_filter* const filter = activeFilter->left;
    UInt32 i = 0;
    while (i < frames) {
        if (tickCountdown <= 0) {
            controlTick(s);
            tickCountdown = MorvanePadEngine::kTickSamples;
        }
        const UInt32 left = frames - i;
        const UInt32 run =
            static_cast<UInt32>(tickCountdown) < left ? static_cast<UInt32>(tickCountdown) : left;
        tickCountdown -= static_cast<int32_t>(run);

        const float drive = saturator[0].getSaturationAmount();
        const float makeup = saturator[0].getMakeupGain();
        const float regen = s.regen;
        const float wet = wetGain * 0.707f;
        float kneeL = loopGuard[0].untouchedBelow, kneeR = loopGuard[1].untouchedBelow;
        for (const UInt32 end = i + run; i < end; ++i) {
            const float x = in[i] * inGain;
            filter->setFrequency(mod_lag_dsp_symmetric(&freqLag, s.frequencyTarget));
            const float h = filter_downsample_dsp(&rateReducer[0], saturate(x, drive, makeup));
            const float f = filter->process(h);
            // The dry share takes x straight after the input gain: saturation
            // and rate reduction are heard only through the filter.
            const float y = s.filterMix * f + s.dryFilter * x;
            const float e = s.delayOn * y;
            float fbL = regen * delayFeedback[0];
            if (!(std::fabs(fbL) <= kneeL)) {
                fbL = hotLoop(0, fbL, s);
                kneeL = loopGuard[0].untouchedBelow;
            }
            float fbR = regen * delayFeedback[1];
            if (!(std::fabs(fbR) <= kneeR)) {
                fbR = hotLoop(1, fbR, s);
                kneeR = loopGuard[1].untouchedBelow;
            }
            const float dL =
                filter_butterworth_2P_LP_dsp(&dampingFilter[0], delay_fad_dsp(&delayLine[0], fbL + e));
            delayFeedback[0] = dL;
            const float dR =
                filter_butterworth_2P_LP_dsp(&dampingFilter[1], delay_fad_dsp(&delayLine[1], fbR + e));
            delayFeedback[1] = dR;
            out[i] = (dL * wet + dR * wet + y * dryGain) * outGain;
        }
    }
}

void Morvane_AU::processStereo(const float* inL, const float* inR, float* outL, float* outR, UInt32 frames,
                               BlockState& s) {
    kosp_filter* const filterL = activeFilter->left;
    kosp_filter* const filterR = activeFilter->right;
    UInt32 i = 0;
    while (i < frames) {
        if (tickCountdown <= 0) {
            controlTick(s);
            tickCountdown = MorvanePadEngine::kTickSamples;
        }
        const UInt32 left = frames - i;
        const UInt32 run =
            static_cast<UInt32>(tickCountdown) < left ? static_cast<UInt32>(tickCountdown) : left;
        tickCountdown -= static_cast<int32_t>(run);

        const float driveL = saturator[0].getSaturationAmount();
        const float makeupL = saturator[0].getMakeupGain();
        const float driveR = saturator[1].getSaturationAmount();
        const float makeupR = saturator[1].getMakeupGain();
        const float regen = s.regen;
        float kneeL = loopGuard[0].untouchedBelow, kneeR = loopGuard[1].untouchedBelow;
        const float same = wetGain * widthSame.load(relaxed);
        const float cross = wetGain * widthCross.load(relaxed);
        for (const UInt32 end = i + run; i < end; ++i) {
            const float xL = inL[i] * inGain;
            const float xR = inR[i] * inGain;
            const float frequency = mod_lag_dsp_symmetric(&freqLag, s.frequencyTarget);
            filterL->setFrequency(frequency);
            filterR->setFrequency(frequency);
            const float yL =
                s.filterMix *
                    filterL->process(filter_downsample_dsp(&rateReducer[0], saturate(xL, driveL, makeupL))) +
                s.dryFilter * xL;
            const float yR =
                s.filterMix *
                    filterR->process(filter_downsample_dsp(&rateReducer[1], saturate(xR, driveR, makeupR))) +
                s.dryFilter * xR;
            float fbL = regen * delayFeedback[0];
            if (!(std::fabs(fbL) <= kneeL)) {
                fbL = hotLoop(0, fbL, s);
                kneeL = loopGuard[0].untouchedBelow;
            }
            float fbR = regen * delayFeedback[1];
            if (!(std::fabs(fbR) <= kneeR)) {
                fbR = hotLoop(1, fbR, s);
                kneeR = loopGuard[1].untouchedBelow;
            }
            const float dL = filter_butterworth_2P_LP_dsp(&dampingFilter[0],
                                                          delay_fad_dsp(&delayLine[0], s.delayOn * yL + fbL));
            delayFeedback[0] = dL;
            const float dR = filter_butterworth_2P_LP_dsp(&dampingFilter[1],
                                                          delay_fad_dsp(&delayLine[1], s.delayOn * yR + fbR));
            delayFeedback[1] = dR;
            outL[i] = (dL * same + dR * cross + yL * dryGain) * outGain;
            outR[i] = (dR * same + dL * cross + yR * dryGain) * outGain;
        }
    }
}

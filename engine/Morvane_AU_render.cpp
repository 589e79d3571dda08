// The render chain: per block the pending filter pair, host tempo, delay
// times and damping; every 128 samples a control tick (pad motion, smoothers);
// per sample input gain, saturation, rate reduction, the filter blend, two
// damped fed-back delay lines, the wet/dry and width mix and the output gain.
//
// Everything here runs on the render thread and neither allocates, locks,
// logs nor calls the system.
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

} // namespace

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
    dryGain = mod_lag_dsp_symmetric(&dryLag, dryTarget.load(relaxed));
    wetGain = mod_lag_dsp_symmetric(&wetLag, wetTarget.load(relaxed));
    inGain = mod_lag_dsp_symmetric(&inGainLag, inGainTarget.load(relaxed));
    outGain = mod_lag_dsp_symmetric(&outGainLag, outGainTarget.load(relaxed));
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
        delayFeedback[0] = delayFeedback[1] = 0.0f;
    }
    if (feedbackClearRequested.load(relaxed) && feedbackClearRequested.exchange(false, relaxed))
        delayFeedback[0] = delayFeedback[1] = 0.0f;
    if (tickRestart.load(relaxed) && tickRestart.exchange(false, relaxed)) tickCountdown = 0;
    applyPendingUpdates();

    BlockState s;
    s.filterOnValue = paramTable.getNaturalValue(kFilterOnOff);
    s.frequencyTarget = paramTable.getNaturalValue(kFilterFreq);
    s.delayOn = mod_lag_get_output(&delayOnLag);
    s.regen = paramTable.getDSPValue(kRegeneration);

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
    if (inBuffer.mNumberBuffers == 0 || outBuffer.mNumberBuffers == 0) return noErr;
    if (stereo) {
        UInt32 frames = framesIn(inBuffer.mBuffers[0]);
        const AudioBuffer* others[] = {&inBuffer.mBuffers[1], &outBuffer.mBuffers[0], &outBuffer.mBuffers[1]};
        for (const AudioBuffer* b : others) {
            const UInt32 n = framesIn(*b);
            frames = n < frames ? n : frames;
        }
        processStereo(static_cast<const float*>(inBuffer.mBuffers[0].mData),
                      static_cast<const float*>(inBuffer.mBuffers[1].mData),
                      static_cast<float*>(outBuffer.mBuffers[0].mData),
                      static_cast<float*>(outBuffer.mBuffers[1].mData), frames, s);
    } else {
        UInt32 frames = framesIn(inBuffer.mBuffers[0]);
        const UInt32 n = framesIn(outBuffer.mBuffers[0]);
        frames = n < frames ? n : frames;
        processMono(static_cast<const float*>(inBuffer.mBuffers[0].mData),
                    static_cast<float*>(outBuffer.mBuffers[0].mData), frames, s);
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
        for (const UInt32 end = i + run; i < end; ++i) {
            const float x = in[i] * inGain;
            filter->setFrequency(mod_lag_dsp_symmetric(&freqLag, s.frequencyTarget));
            const float h = filter_downsample_dsp(&rateReducer[0], saturate(x, drive, makeup));
            const float f = filter->process(h);
            // The dry share takes x straight after the input gain: saturation
            // and rate reduction are heard only through the filter.
            const float y = s.filterMix * f + s.dryFilter * x;
            const float e = s.delayOn * y;
            const float dL = filter_butterworth_2P_LP_dsp(
                &dampingFilter[0], delay_fad_dsp(&delayLine[0], regen * delayFeedback[0] + e));
            delayFeedback[0] = dL;
            const float dR = filter_butterworth_2P_LP_dsp(
                &dampingFilter[1], delay_fad_dsp(&delayLine[1], regen * delayFeedback[1] + e));
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
            const float dL = filter_butterworth_2P_LP_dsp(
                &dampingFilter[0], delay_fad_dsp(&delayLine[0], s.delayOn * yL + regen * delayFeedback[0]));
            delayFeedback[0] = dL;
            const float dR = filter_butterworth_2P_LP_dsp(
                &dampingFilter[1], delay_fad_dsp(&delayLine[1], s.delayOn * yR + regen * delayFeedback[1]));
            delayFeedback[1] = dR;
            outL[i] = (dL * same + dR * cross + yL * dryGain) * outGain;
            outR[i] = (dR * same + dL * cross + yR * dryGain) * outGain;
        }
    }
}

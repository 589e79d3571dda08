// Lifecycle of the effect and the application of parameter changes. The
// render chain is in Morvane_AU_render.cpp.
#include "engine/Morvane_AU.h"

#include <cmath>
#include <thread>

#include "dsp/csd_utilities.h"
#include "engine/lookup_512_equalPower.h"
#include "host/CoreFoundation.h"
#include "host/RunLoop.h"
#include "params/ParameterValueStrings.h"

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

// Rise times of the smoothers, in seconds. The gain, mix and switch smoothers
// step once per 128-sample control tick, so 7.8125e-05 s gives a 10 ms and
// 1.5625e-05 s a 2 ms time constant of audio; the frequency smoother steps
// every sample (15 ms).
constexpr float kFreqRise = 0.015f;
constexpr float kFilterOnRise = 1.5625e-05f;
constexpr float kGainRise = 7.8125e-05f;

// A natural value as a list index, truncated; -1 for values no index can
// have (a host may store any float, and converting those to int is undefined).
int32_t indexOf(float natural) {
    return natural > -1.0f && natural < 1.0e6f ? static_cast<int32_t>(natural) : -1;
}

void initLag(mod_lag* lag, float riseTime) {
    mod_lag_init(lag);
    mod_lag_set_attr(lag, kCsdAttrLagRise, riseTime);
}

// Recorder cursor step: 12.8 / sampling rate.
void setPlaySteps(CMotionRecorder& left, CMotionRecorder& right, double rate) {
    const float step = static_cast<float>(12.8 / rate);
    left.playStep.store(step, relaxed);
    right.playStep.store(step, relaxed);
}

} // namespace

Morvane_AU::Morvane_AU(AudioComponentInstance component)
    : ko_AUEffectBase(component, paramTable, kViewSubType, kFactoryPresets, true),
      paramTablePointer(&paramTable),
      filterPairs{
          {&moogFilter[0], &moogFilter[1], 0},
          {&creakboxFilter[0], &creakboxFilter[1], 1},
          {&lowPassFilter[0], &lowPassFilter[1], 2},
          {&fourPoleHighPassFilter[0], &fourPoleHighPassFilter[1], 3},
          {&highPassFilter[0], &highPassFilter[1], 4},
          {&bandPassFilter[0], &bandPassFilter[1], 5},
      },
      activeFilter(&filterPairs[0]), pads(*this, paramTable, motionRecorderLeft, motionRecorderRight) {
    // The records are plain memory: start them empty so that Initialize and the
    // destructor may free whatever they hold.
    for (int c = 0; c < 2; ++c) {
        delayLine[c] = delay_fad{};
        filter_butterworth_2P_LP_init(&dampingFilter[c]);
        filter_downsample_init(&rateReducer[c]);
    }
    csd_set_attr(kCsdAttrSamplingRate, static_cast<float>(GetSampleRate()));
}

Morvane_AU::~Morvane_AU() {
    if (fallbackListener) {
        AUListenerDispose(fallbackListener);
        fallbackListener = nullptr;
    }
    for (int c = 0; c < 2; ++c)
        delay_fad_free(&delayLine[c]);
    table_free(&widthTableSame);
    table_free(&widthTableCross);
}

// ---------------------------------------------------------------------------
// Lifecycle

void Morvane_AU::initSmoothers() {
    initLag(&freqLag, kFreqRise);
    initLag(&filterOnLag, kFilterOnRise);
    initLag(&delayOnLag, kGainRise);
    initLag(&dryLag, kGainRise);
    initLag(&wetLag, kGainRise);
    initLag(&inGainLag, kGainRise);
    initLag(&outGainLag, kGainRise);
}

OSStatus Morvane_AU::Initialize() {
    const OSStatus result = ko_AUEffectBase::Initialize();
    if (result != noErr) return result;

    initSmoothers();

    // A repeated Initialize (after Cleanup) releases the earlier blocks first.
    table_free(&widthTableSame);
    table_free(&widthTableCross);
    table_init(&widthTableSame, 1024);
    table_init(&widthTableCross, 1024);
    table_fill(&widthTableSame, kTableCurveWidthB, 0.0f, 1.0f);
    table_fill(&widthTableCross, kTableCurveWidthA, 0.0f, 1.0f);

    for (int c = 0; c < 2; ++c) {
        filter_downsample_init(&rateReducer[c]);
        filter_downsample_set_attr(&rateReducer[c], kCsdAttrDownsampleRatio, 1.0f);
    }

    filterGain.store(1.0f, relaxed);
    for (int c = 0; c < 2; ++c) {
        delay_fad_free(&delayLine[c]);
        delay_fad_init_max_time(&delayLine[c], kMaxDelayMs);
        delay_fad_clear(&delayLine[c]);
        filter_butterworth_2P_LP_init(&dampingFilter[c]);
        filter_butterworth_2P_LP_set_attr(&dampingFilter[c], kCsdAttrDampingCutoff, 12000.0f);
    }
    emptyFeedback();

    pendingFilter.store(nullptr, std::memory_order_release);
    activeFilter = &filterPairs[0];
    filterType.store(0, relaxed);
    pendingUpdates.store(0, relaxed);
    resetRequested.store(false, relaxed);
    feedbackClearRequested.store(false, relaxed);
    tickRestart.store(false, relaxed);
    tickCountdown = 0; // the first sample starts a control tick

    // Silent until gains and mix are delivered; they then rise with their smoothers.
    wetGain = dryGain = inGain = outGain = 0.0f;
    for (auto* target : {&wetTarget, &dryTarget, &inGainTarget, &outGainTarget, &delayOnTarget})
        target->store(0.0f, relaxed);
    widthSame.store(0.5f, relaxed);
    widthCross.store(0.5f, relaxed);

    setPlaySteps(motionRecorderLeft, motionRecorderRight, csd_sampling_rate());

    // Without the base layer's listener, parameter changes would never arrive:
    // create one here on the current run loop.
    if (GetParameterListenerRef() == nullptr && fallbackListener == nullptr) {
        AUParameterListenerRef listener = nullptr;
        if (AUListenerCreate(MainParameterListenerDispatcher, this, CFRunLoopGetCurrent(),
                             kCFRunLoopDefaultMode, 0.01f, &listener) == noErr) {
            fallbackListener = listener;
            for (AudioUnitParameterID id = 0; id < static_cast<AudioUnitParameterID>(kNumPublishedParameters);
                 ++id) {
                const AudioUnitParameter parameter{GetComponentInstance(), id, kAudioUnitScope_Global, 0};
                AUListenerAddParameter(listener, this, &parameter);
            }
        }
    }

    // Routing none, no pad held, phase 0, playback allowed. A new instance
    // starts with the velocities of factory row 0; once they have been set (by
    // that, a factory preset or a saved state) an Initialize keeps them, so a
    // state a host restores before activating the effect, as LV2 hosts do,
    // keeps its drift, and so does a session through a Cleanup and Initialize.
    pads.initialize(padVelocitiesSet.exchange(true, relaxed));
    initialized.store(true, std::memory_order_release);
    return noErr;
}

void Morvane_AU::Cleanup() {
    if (fallbackListener) {
        AUListenerDispose(fallbackListener);
        fallbackListener = nullptr;
    }
    ko_AUEffectBase::Cleanup();
}

OSStatus Morvane_AU::Reset(AudioUnitScope inScope, AudioUnitElement inElement) {
    ko_AUEffectBase::Reset(inScope, inElement);
    csd_set_attr(kCsdAttrSamplingRate, static_cast<float>(GetSampleRate()));
    if (initialized.load(std::memory_order_acquire)) {
        // The render thread owns the delay lines: it empties them (and the
        // feedback) before its next block.
        resetRequested.store(true, std::memory_order_release);
    } else {
        wetGain = dryGain = inGain = outGain = 0.0f;
        for (auto* target : {&wetTarget, &dryTarget, &inGainTarget, &outGainTarget})
            target->store(0.0f, relaxed);
        widthSame.store(0.5f, relaxed);
        widthCross.store(0.5f, relaxed);
        emptyFeedback();
    }
    return noErr;
}

void Morvane_AU::sampleRateChanged(double newRate) {
    csd_set_attr(kCsdAttrSamplingRate, static_cast<float>(newRate));
    for (int c = 0; c < 2; ++c)
        delay_fad_update_sampling_rate(&delayLine[c]);
    setPlaySteps(motionRecorderLeft, motionRecorderRight, newRate);
    for (FilterPair& pair : filterPairs) {
        pair.left->setAudioSamplingRate(static_cast<float>(newRate));
        pair.right->setAudioSamplingRate(static_cast<float>(newRate));
    }
    initSmoothers();
    emptyFeedback();
}

OSStatus Morvane_AU::ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                        const AudioStreamBasicDescription& inPrevFormat,
                                        const AudioStreamBasicDescription& inNewFormat) {
    if (static_cast<float>(inNewFormat.mSampleRate) != csd_sampling_rate())
        sampleRateChanged(inNewFormat.mSampleRate);
    return ko_AUEffectBase::ChangeStreamFormat(inScope, inElement, inPrevFormat, inNewFormat);
}

void Morvane_AU::GetUIComponentDescs(ComponentDescription* inDescArray) {
    if (!inDescArray) return;
    inDescArray[0] =
        ComponentDescription{kAudioUnitCarbonViewComponentType, kViewSubType, kManufacturer, 0, 0};
}

OSStatus Morvane_AU::GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                              CFArrayRef* outStrings) {
    // Filter types, note divisions, delay multipliers, motion rates and modes,
    // pad destinations and link modes have names; other ids have none.
    const MorvaneParameterManager::ValueStrings list =
        inParameterID < static_cast<AudioUnitParameterID>(kNumPublishedParameters)
            ? MorvaneParameterManager::hostValueStrings(static_cast<int32_t>(inParameterID))
            : MorvaneParameterManager::ValueStrings{nullptr, 0};
    return ko_GetParameterValueStrings(inScope, outStrings, list.strings, list.count);
}

// ---------------------------------------------------------------------------
// Editor view

void Morvane_AU::setAttachedView(MorvaneAttachedView* view) {
    attachedView.store(view, std::memory_order_seq_cst);
    // A render-thread call may have picked up the previous view just before the
    // store; wait until it has returned (short: the view only queues values).
    while (viewCallsInFlight.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
}

void Morvane_AU::padTargetChanged(int32_t targetId, float naturalValue) {
    const AudioUnitParameter parameter{GetComponentInstance(), static_cast<AudioUnitParameterID>(targetId),
                                       kAudioUnitScope_Global, 0};
    ParameterListener(this, this, &parameter, naturalValue);
    // No view attached is the usual case: the in-flight count and its full
    // fences, which would stall the render thread, are then skipped. A view
    // attaching meanwhile misses at most this one value.
    if (attachedView.load(std::memory_order_relaxed) == nullptr) return;
    viewCallsInFlight.fetch_add(1, std::memory_order_seq_cst);
    if (MorvaneAttachedView* view = attachedView.load(std::memory_order_seq_cst))
        view->ParameterListener(GetComponentInstance(), GetComponentInstance(), &parameter, naturalValue);
    viewCallsInFlight.fetch_sub(1, std::memory_order_seq_cst);
}

void Morvane_AU::showPartnerAxis(int32_t id, float normalisedValue) {
    if (attachedView.load(std::memory_order_relaxed) == nullptr) return; // as in padTargetChanged
    viewCallsInFlight.fetch_add(1, std::memory_order_seq_cst);
    if (MorvaneAttachedView* view = attachedView.load(std::memory_order_seq_cst))
        view->SetVSTParameter(id, normalisedValue);
    viewCallsInFlight.fetch_sub(1, std::memory_order_seq_cst);
}

void Morvane_AU::announceParameterChange(int32_t id, float value) {
    BroadcastParameterChange(id, value);
}

bool Morvane_AU::hostBeatAndTempo(double& beat, double& tempo) {
    Float64 b = 0.0, t = 0.0;
    if (CallHostBeatAndTempo(&b, &t) != noErr) return false;
    beat = b;
    tempo = t;
    return true;
}

// ---------------------------------------------------------------------------
// Pad operations

void Morvane_AU::setPadTarget(long destinationId, long choice) {
    pads.setPadTarget(static_cast<int32_t>(destinationId), static_cast<int32_t>(choice));
}

void Morvane_AU::sendPadMovement(long id) {
    pads.sendPadMovement(static_cast<int32_t>(id));
}

void Morvane_AU::zeroVelocities() {
    pads.zeroVelocities();
}

// ---------------------------------------------------------------------------
// Parameter changes

void Morvane_AU::MainParameterListenerDispatcher(void* inRefCon, void* inObject,
                                                 const AudioUnitParameter* inParameter,
                                                 AudioUnitParameterValue inValue) {
    if (inRefCon)
        static_cast<Morvane_AU*>(inRefCon)->ParameterListener(inRefCon, inObject, inParameter, inValue);
}

float Morvane_AU::widthLookup(const table& t, float x) const {
    // table_lookup without its lastOutput store, so the listener thread and a
    // pad-driven call on the render thread may read the table at once.
    if (t.data == nullptr || t.count < 2) return 0.5f;
    x = x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; // NaN reads as 0
    const float p = static_cast<float>(t.count - 1) * x;
    const int i = static_cast<int>(p);
    const double f = static_cast<double>(p - static_cast<float>(i));
    return static_cast<float>(t.data[i] * (1.0 - f) + f * t.data[i + 1]);
}

// Mix targets from the equal-power fade: the dry share falls as the mix rises
// (only while the delay is on; with the delay off the dry signal stays whole),
// the wet share rises.
void Morvane_AU::applyMixTargets() {
    float m = paramTable.getVSTvalue(kWetDryMix);
    m = m > 0.0f ? (m < 1.0f ? m : 1.0f) : 0.0f; // NaN reads as 0
    const int dryIndex = static_cast<int>(m * 511.0f);
    const int wetIndex = static_cast<int>((1.0f - m) * 511.0f);
    const bool delayOn = paramTable.getNaturalValue(kDelayOnOff) > 0.5f;
    dryTarget.store(delayOn ? lookup_512_equalPower[dryIndex] : 1.0f, relaxed);
    wetTarget.store(lookup_512_equalPower[wetIndex], relaxed);
}

void Morvane_AU::ParameterListener(void*, void*, const AudioUnitParameter* inParameter,
                                   AudioUnitParameterValue inValue) {
    if (inParameter == nullptr) return;
    // A host may store any float; a value that is not a finite number is ignored,
    // since it would stick in the smoothers and the pad positions for good.
    if (!std::isfinite(inValue)) return;
    const int32_t id = static_cast<int32_t>(inParameter->mParameterID);

    // Pad positions go to the pad engine as drags.
    if (id == kRightX || id == kRightY || id == kLeftX || id == kLeftY) {
        pads.axisMoved(id, inValue);
        return;
    }
    if (id < 0 || id >= kNumPublishedParameters) return;

    paramTable.setNaturalValue(id, inValue);
    switch (id) {
    case kFilterType: {
        const float n = paramTable.getNaturalValue(kFilterType);
        if (n != static_cast<float>(filterType.load(relaxed))) {
            const int32_t type = indexOf(n);
            filterType.store(type, relaxed);
            // The render thread prepares the pair (clear, frequency, resonance)
            // when it takes it, and only if it is not the pair it is running:
            // going back to the running type before the swap leaves it intact.
            if (type >= 0 && type < kNumFilterTypes)
                pendingFilter.store(&filterPairs[type], std::memory_order_release);
        }
        break;
    }
    case kFilterResonance:
        requestUpdate(kUpdateResonance);
        break;
    case kFilterGain:
        filterGain.store(paramTable.getDSPValue(kFilterGain), relaxed);
        break;
    case kSaturation: {
        const float drive = paramTable.getDSPValue(kSaturation);
        saturator[0].setSaturationAmount(drive);
        saturator[1].setSaturationAmount(drive);
        break;
    }
    case kBitcrush:
        requestUpdate(kUpdateBitcrush);
        break;
    case kHostSync:
        paramTable.setHostSynced(kLeftDelayTime, inValue != 0.0f);
        break;
    case kWidth: {
        const float w = paramTable.getDSPValue(kWidth);
        widthSame.store(widthLookup(widthTableSame, w), relaxed);
        widthCross.store(widthLookup(widthTableCross, w), relaxed);
        break;
    }
    case kWetDryMix:
        applyMixTargets();
        break;
    case kEmulation:
        if (paramTable.getNaturalValue(kEmulation) == 1.0f) requestUpdate(kUpdateDigiDamping);
        break;
    case kDelayOnOff:
        delayOnTarget.store(paramTable.getVSTvalue(kDelayOnOff), relaxed);
        applyMixTargets();
        break;
    case kMotionMode:
        pads.motionModeChanged();
        break;
    case kInputGain:
        inGainTarget.store(paramTable.getDSPValue(kInputGain), relaxed);
        break;
    case kOutputGain:
        outGainTarget.store(paramTable.getDSPValue(kOutputGain), relaxed);
        break;
    case kRightZ:
    case kLeftZ:
        pads.sendPadMovement(id);
        pads.touchChanged(id);
        break;
    case kLXDestination:
    case kLYDestination:
    case kLZDestination:
    case kRXDestination:
    case kRYDestination:
    case kRZDestination:
        pads.setPadTarget(id, indexOf(paramTable.getNaturalValue(id)));
        break;
    case kKinetics:
        pads.kineticsChanged();
        break;
    default:
        if (isPadRangeBound(id)) pads.rangeBoundChanged(id);
        break;
    }
}

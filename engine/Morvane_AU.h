// The effect: one object per plug-in instance. It owns the stereo DSP chain
// (a left and a right copy of every block), the smoothers that de-zipper
// parameter changes, the two pad recorders and the pad motion engine, and the
// parameter table. It applies every parameter change (ParameterListener) and
// renders audio (ProcessBufferLists).
//
// Threads. ProcessBufferLists runs on the host's render thread and owns every
// DSP object while the unit is initialised. ParameterListener runs on the
// listener's run loop (the user-interface thread) and, for the values the pads
// deliver during control ticks, on the render thread. The listener therefore
// never touches a DSP object the render thread runs: it stores values in the
// parameter table, writes atomic targets, and flags the few settings that live
// inside DSP objects (resonance, rate-reducer ratio, fixed damping, a new
// filter pair); the render thread applies them at its next block or control
// tick. Initialize, Cleanup, the sample-rate change and destruction run on host
// threads while the unit is not rendering.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/delay_fad.h"
#include "dsp/filter_butterworth_2P_LP.h"
#include "dsp/filter_downsample.h"
#include "dsp/kosp_filter_4PHP.h"
#include "dsp/kosp_filter_creakbox.h"
#include "dsp/kosp_filter_ko_moog.h"
#include "dsp/kosp_filter_rbj.h"
#include "dsp/kosp_saturator.h"
#include "dsp/lanes.h"
#include "dsp/mod_lag.h"
#include "dsp/table.h"
#include "host/AUListener.h"
#include "motion/CMotionRecorder.h"
#include "motion/MorvaneAttachedView.h"
#include "motion/MorvanePadEngine.h"
#include "params/MorvaneParameterManager.h"
#include "params/ko_AUEffectBase.h"

// Custom properties between the editor view and the effect (the view lives in
// the host's process, so the pointers are usable there). Pointer values travel
// in sizeof(void*) bytes; a get or set with another size is refused with
// kAudioUnitErr_InvalidPropertyValue.
enum : AudioUnitPropertyID {
    // Get, any scope: the effect's MorvaneParameterManager*.
    kMorvaneProperty_ParameterManager = 70000,
    // Get, any scope: CMotionRecorder* of the left and of the right pad.
    kMorvaneProperty_MotionRecorderLeft = 80000,
    kMorvaneProperty_MotionRecorderRight = 80001,
    // Set, global scope: the view's MorvaneAttachedView* when it opens, a null
    // pointer when it closes.
    kMorvaneProperty_AttachedView = 80002,
    // Set, global scope, no data: stops all pad drift (the four pad velocities
    // and parameters 47 to 50 become 0).
    kMorvaneProperty_StopPadDrift = 80003,
};

// Any host thread: sets `key` of `dictionary` to a new 32-bit float number of
// `value` and releases the local reference.
void AddFloatToDictionary(CFMutableDictionaryRef dictionary, CFStringRef key, Float32 value);

class Morvane_AU : public ko_AUEffectBase, private MorvanePadHost {
  public:
    // Sub-type and manufacturer of the effect's editor view component.
    static constexpr OSType kViewSubType = MorvaneFourCC("Mrvn");
    static constexpr OSType kManufacturer = MorvaneFourCC("Qnlw");
    static constexpr UInt16 kFactoryPresets = 33;
    static constexpr UInt32 kMaxDelayMs = 2010;
    static constexpr int32_t kNumFilterTypes = 6;
    // Input samples beyond +-1e6 (+120 dBFS) are held there, NaN and
    // infinities become silence; each delay loop's fed-back signal passes
    // untouched up to +12 dBFS and is held below +24 dBFS (Morvane_AU_render.cpp).
    static constexpr float kInputCeiling = 1.0e6f;
    static constexpr float kLoopKnee = 3.98107171f;

    // Any host thread (the component's open selector).
    explicit Morvane_AU(AudioComponentInstance component);
    ~Morvane_AU() override;

    // ---- Framework operations (host threads unless noted) ----
    UInt32 Version() override { return 0x00010001; }
    OSStatus Initialize() override;
    void Cleanup() override;
    // Transport reset: the echoes are emptied at the next block; filters,
    // smoothers and pads stay as they are.
    OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) override;
    OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      CFArrayRef* outStrings) override;
    UInt32 GetNumCustomUIComponents() override { return 1; }
    void GetUIComponentDescs(ComponentDescription* inDescArray) override;
    bool SupportsTail() override { return true; }
    Float64 GetTailTime() override { return 5.0; }
    // Runs the sample-rate change when the new rate differs from the process's
    // rate, then lets the framework store the format (unit not initialised).
    OSStatus ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                const AudioStreamBasicDescription& inPrevFormat,
                                const AudioStreamBasicDescription& inNewFormat) override;
    // ---- State, factory presets and custom properties (Morvane_AU_state.cpp) ----
    // Any host thread but the render thread. The framework's dictionary plus
    // "Version", the four pad velocities and both recorder images.
    OSStatus SaveState(CFPropertyListRef* outData) override;
    // Any host thread but the render thread. Stops recorder playback, clears
    // velocities, touches, ranges and routing, lets the framework store its
    // values, then reads the velocities and recorder images; playback resumes
    // only when all of them were present (else kAudioUnitErr_InvalidPropertyValue).
    // The values reach the effect when the host announces every parameter.
    OSStatus RestoreState(CFPropertyListRef inData) override;
    // Any host thread but the render thread. Factory preset 0..32: velocities,
    // ranges, routing, the 45 values (in the framework's store, announced by the
    // host afterwards), recordings; kAudioUnitErr_InvalidPropertyValue and no
    // change for any other number.
    OSStatus NewFactoryPresetSet(const AUPreset& inNewFactoryPreset) override;
    // Any thread: the record of factory preset `index` (null beyond 32).
    const AUPreset* GetOnePreset(UInt32 index) override;
    // Any thread: the natural value factory preset `preset` gives parameter `id`
    // (0 for a preset or id out of range).
    float GetPresetParameterValue(UInt16 preset, AudioUnitParameterID id) override;
    // Any host thread: the custom properties above, everything else to the base.
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         const void* inData, UInt32 inDataSize) override;

    // Render thread. Always returns 0 and clears the output-is-silence flag.
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags, const AudioBufferList& inBuffer,
                                AudioBufferList& outBuffer, UInt32 inFramesToProcess) override;

    // Applies one parameter change; value is the natural value (ignored when it
    // is not a finite number). Listener thread or render thread (see above).
    void ParameterListener(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                           AudioUnitParameterValue inValue) override;
    // Callback for a listener this class creates itself: calls ParameterListener
    // on the Morvane_AU given as inRefCon.
    static void MainParameterListenerDispatcher(void* inRefCon, void* inObject,
                                                const AudioUnitParameter* inParameter,
                                                AudioUnitParameterValue inValue);

    // ---- Pad operations (forwarded to the pad motion engine) ----
    virtual void setPadTarget(long destinationId, long choice);
    virtual void sendPadMovement(long id);
    virtual void zeroVelocities();

    // Any host thread, while the unit is not rendering: a new sampling rate.
    // Resizes the delay lines, retunes the filters and restarts the smoothers.
    void sampleRateChanged(double newRate);

    // ---- Access for the editor, presets and state ----
    MorvaneParameterManager& parameterTable() { return paramTable; }
    MorvaneParameterManager* parameterTablePointer() { return paramTablePointer; }
    CMotionRecorder& recorderLeft() { return motionRecorderLeft; }
    CMotionRecorder& recorderRight() { return motionRecorderRight; }
    MorvanePadEngine& padEngine() { return pads; }
    // User-interface thread. Detaching (null) waits until no call into the old
    // view is running on the render thread, so the view may be destroyed after.
    // Not to be called from inside the view's own callbacks.
    void setAttachedView(MorvaneAttachedView* view);
    MorvaneAttachedView* getAttachedView() const { return attachedView.load(std::memory_order_acquire); }
    // Any thread: the next rendered sample starts a control tick.
    void restartControlTicks() { tickRestart.store(true, std::memory_order_relaxed); }
    // Any thread: both delay feedback values become 0 at the next block.
    void clearDelayFeedback() { feedbackClearRequested.store(true, std::memory_order_relaxed); }
    bool isEffectInitialized() const { return initialized.load(std::memory_order_acquire); }

    // ---- Values for tests and diagnostics (render thread or while idle) ----
    int32_t activeFilterType() const { return activeFilter ? activeFilter->type : -1; }
    float currentDryGain() const { return dryGain; }
    float currentWetGain() const { return wetGain; }
    float currentInGain() const { return inGain; }
    float currentOutGain() const { return outGain; }
    float dryGainTarget() const { return dryTarget.load(std::memory_order_relaxed); }
    float wetGainTarget() const { return wetTarget.load(std::memory_order_relaxed); }
    float dampingCutoff(int channel) const { return dampingFilter[channel].cutoff; }
    uint32_t delayLineSize(int channel) const { return delayLine[channel].size; }
    int delayLineLength(int channel) const { return delayLine[channel].length; }
    float smoothedFrequency() const { return mod_lag_get_output(&freqLag); }

  private:
    struct FilterPair {
        kosp_filter* left;
        kosp_filter* right;
        int32_t type;
    };

    // Per-block working values of the render chain.
    struct BlockState {
        float filterOnValue;
        float frequencyTarget;
        float filterMix;
        float dryFilter;
        float delayOn;
        float regen;             // feedback gain, read once per block
        float loopDcCoefficient; // one-pole step of a hot loop's DC follower
        int32_t loopCoolSamples; // a second of samples
    };

    // Containment of one fed-back delay loop (render thread). Below the knee
    // (+12 dBFS) the loop runs untouched. Once its signal has passed the knee
    // the loop runs hot: its slow DC drift is taken out and the knee bends what
    // is left toward the ceiling, until it has stayed well below the knee for a
    // second (Morvane_AU_render.cpp).
    struct LoopGuard {
        float untouchedBelow = kLoopKnee; // the knee while cold, -1 while hot
        float dc = 0.0f;                  // the loop's DC, followed while hot
        int32_t coolSamples = 0;          // samples in a row well below the knee
    };
    // Blocks whose input needs guarding go through this scratch in pieces.
    static constexpr UInt32 kGuardedFrames = 256;

    // Settings the listener flags for the render thread.
    enum PendingUpdate : uint32_t {
        kUpdateResonance = 1u << 0,
        kUpdateBitcrush = 1u << 1,
        kUpdateDigiDamping = 1u << 2,
    };

    // MorvanePadHost
    void padTargetChanged(int32_t targetId, float naturalValue) override;
    void announceParameterChange(int32_t id, float value) override;
    void showPartnerAxis(int32_t id, float normalisedValue) override;
    bool hostBeatAndTempo(double& beat, double& tempo) override;

    // Ranges to 0..1 and every destination to "- None -" (state and presets).
    void resetPadRangesAndRouting();
    // Stops playback and clears touches and delay feedback (state and presets).
    void haltMotionForLoading();

    void initSmoothers();
    void requestUpdate(uint32_t bits) { pendingUpdates.fetch_or(bits, std::memory_order_release); }
    void applyMixTargets();
    float widthLookup(const table& t, float x) const;

    // Both feedback values and loop guards to rest (render thread, or while idle).
    void emptyFeedback();

    // Render thread: the signal fed back into delay line `channel` once it has
    // reached the knee or the loop runs hot.
    [[gnu::cold, gnu::noinline]] float hotLoop(int channel, float v, const BlockState& s) noexcept;
    // Render thread: the chain over a block whose input holds samples that
    // need guarding, in pieces copied through guardedInput.
    [[gnu::cold, gnu::noinline]] void processGuarded(const float* inL, const float* inR, float* outL,
                                                     float* outR, UInt32 frames, BlockState& s);

    // Render thread.
    void swapPendingFilter();
    void applyPendingUpdates();
    void controlTick(BlockState& s);
    void setBlockDelayTimes();
    // In several instruction-set versions (dsp/lanes.h).
    MORVANE_RENDER_TARGETS void processMono(const float* in, float* out, UInt32 frames, BlockState& s);
    MORVANE_RENDER_TARGETS void processStereo(const float* inL, const float* inR, float* outL, float* outR,
                                              UInt32 frames, BlockState& s);
    // The frames up to the next control tick (running the tick when it is due).
    UInt32 nextRun(UInt32 remaining, BlockState& s);
    // A run of samples between two ticks, with the chain's state in registers;
    // the filter (pair) chosen for the run by its type.
    struct VirtualFilter;
    struct VirtualFilterPair;
    class EchoPair;
    // Filter (Filters) is the type that runs the filter object(s) for the run.
    // Inlined into processMono and processStereo, so that each of their
    // instruction-set versions has its own copy of the loops.
    template <class Filter, class Object>
    [[gnu::always_inline]] inline void monoRun(Object& filter, const float* in, float* out, UInt32 frames,
                                               BlockState& s);
    template <class Filters, class Object>
    [[gnu::always_inline]] inline void stereoRun(Object& left, Object& right, const float* inL,
                                                 const float* inR, float* outL, float* outR, UInt32 frames,
                                                 BlockState& s);

    // ---- Members ----
    CMotionRecorder motionRecorderLeft;
    CMotionRecorder motionRecorderRight;
    MorvaneParameterManager paramTable;
    MorvaneParameterManager* paramTablePointer;
    std::atomic<MorvaneAttachedView*> attachedView{nullptr};
    std::atomic<int> viewCallsInFlight{0};

    kosp_filter_ko_moog moogFilter[2];                     // type 0 "4P LP"
    kosp_filter_rbj_low_pass lowPassFilter[2];             // type 2 "2P LP"
    kosp_filter_rbj_high_pass highPassFilter[2];           // type 4 "2P HP"
    kosp_filter_4PHP fourPoleHighPassFilter[2];            // type 3 "4P HP"
    kosp_filter_rbj_band_pass_gain_comp bandPassFilter[2]; // type 5 "4P BP"
    kosp_filter_creakbox creakboxFilter[2];                // type 1 "3P LP"
    FilterPair filterPairs[kNumFilterTypes];
    FilterPair* activeFilter; // render thread
    // A newly selected pair, published by the listener (release) and taken by
    // the render thread at its next block (acquire); null when none.
    std::atomic<FilterPair*> pendingFilter{nullptr};

    filter_butterworth_2P_LP dampingFilter[2];
    std::atomic<int32_t> filterType{0}; // type last selected
    std::atomic<float> filterGain{1.0f};
    delay_fad delayLine[2];
    float delayFeedback[2] = {0.0f, 0.0f};
    LoopGuard loopGuard[2];
    float guardedInput[2][kGuardedFrames]; // render thread
    table widthTableSame{0, nullptr, 0.0f};
    table widthTableCross{0, nullptr, 0.0f};
    std::atomic<float> widthSame{0.5f};
    std::atomic<float> widthCross{0.5f};
    kosp_saturator_inv_atan saturator[2];
    mod_lag freqLag{};
    mod_lag filterOnLag{};
    mod_lag dryLag{};
    mod_lag wetLag{};
    mod_lag delayOnLag{};
    mod_lag outGainLag{};
    mod_lag inGainLag{};
    filter_downsample rateReducer[2];

    // Current gains (render thread) and their targets (any thread).
    float wetGain = 0.0f, dryGain = 0.0f, inGain = 0.0f, outGain = 0.0f;
    std::atomic<float> wetTarget{0.0f}, dryTarget{0.0f}, inGainTarget{0.0f}, outGainTarget{0.0f};
    std::atomic<float> delayOnTarget{0.0f};

    int32_t tickCountdown = 0; // render thread
    std::atomic<bool> tickRestart{false};
    std::atomic<bool> resetRequested{false};
    std::atomic<bool> feedbackClearRequested{false};
    std::atomic<uint32_t> pendingUpdates{0};
    std::atomic<bool> initialized{false};
    // The pad velocities have been set (by the first Initialize, a factory
    // preset or a saved state); later Initialize calls keep them.
    std::atomic<bool> padVelocitiesSet{false};

    // Listener created here when the base layer did not create one.
    AUParameterListenerRef fallbackListener = nullptr;

    MorvanePadEngine pads;
};

// One LV2 plug-in instance: the effect component opened from the bundle's
// Morvane.component through its entry, driven as any host of the framework
// drives it, with the LV2 host's ports, transport and state mapped onto the
// unit's parameters, beat-and-tempo callback and state dictionary.
//
// Threads, in LV2's classes:
// - instantiation (create, activate, deactivate, restore, the destructor):
//   any host thread, never while run() runs;
// - audio (connect, run): the host's render thread. run() posts changed
//   control ports to the unit (parameter store, then the listener facility)
//   and delivers the unit's pending listener work before rendering, all
//   without allocating, locking or calling the system;
// - save(): any thread, also while run() runs (it only reads the unit).
//
// Listener work reaches the effect on the render thread, at the start of the
// block after it was posted: the unit's listener lives on a run loop of the
// instance's own that nothing else runs (see MorvaneListenerDeliver), so a
// host's user-interface loop never receives it and no block waits for one.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <memory>
#include <vector>

#include "host/AudioUnitTypes.h"
#include "host/ComponentEntry.h"
#include "host/RunLoop.h"
#include "host/lv2/Lv2Transport.h"
#include "host/lv2/MorvaneLv2.h"

namespace morvane_lv2 {

class Lv2Effect {
  public:
    // Opens and initialises the effect for `channels` (1 or 2) at the rate.
    // Requires no feature: without urid:map there is no transport and no
    // state; without a maximum block length, long runs are split. Null when
    // the bundle or the effect refuses.
    static std::unique_ptr<Lv2Effect> create(uint32_t channels, double sampleRate, const char* bundlePath,
                                             const LV2_Feature* const* features);
    ~Lv2Effect();
    Lv2Effect(const Lv2Effect&) = delete;
    Lv2Effect& operator=(const Lv2Effect&) = delete;

    void connect(uint32_t port, void* data);
    // Empties the delay lines and announces every parameter to the effect.
    void activate();
    void run(uint32_t frames);

    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

    AudioUnit unit() const { return unit_; }

    // User-interface thread: see UnitAccess in MorvaneLv2.h.
    void editorWrote(uint32_t port, float value);
    void setPortSender(void* listener) { portSender_.store(listener, std::memory_order_release); }

  private:
    struct Uris {
        LV2_URID atomSequence = 0, atomObject = 0, atomBlank = 0, atomInt = 0, atomLong = 0, atomFloat = 0,
                 atomDouble = 0, atomString = 0, atomChunk = 0;
        LV2_URID timePosition = 0, timeBeat = 0, timeBar = 0, timeBarBeat = 0, timeBeatsPerBar = 0,
                 timeBeatUnit = 0, timeBeatsPerMinute = 0, timeSpeed = 0;
        LV2_URID statePropertyList = 0, stateFactoryPreset = 0;
    };

    Lv2Effect(uint32_t channels, double sampleRate);
    bool open(const char* bundlePath, uint32_t maxBlock);
    // Every parameter changed, as a host says after a preset or a restore.
    void announceAll();
    LV2_State_Status restoreStateList(const void* value, size_t size, uint32_t type, bool& changed);
    // Takes the unit's values as the last ones seen on the control ports.
    void adoptUnitValues();
    // Hands the control ports that changed since the last run to the unit.
    void postChangedControls();
    void readPosition(const LV2_Atom* atom);
    void render(uint32_t from, uint32_t to);
    void clearNotify();

    static OSStatus InputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                  const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                  AudioBufferList* data);
    static OSStatus BeatAndTempo(void* userData, Float64* outBeat, Float64* outTempo);

    const uint32_t channels_;
    const double sampleRate_;
    std::shared_ptr<ComponentBundle> bundle_;
    AudioUnit unit_ = nullptr;
    CFRunLoopRef loop_ = nullptr; // the unit's own; delivered by run()
    LV2_URID_Map* map_ = nullptr;
    Uris uris_;
    uint32_t maxBlock_ = 0;

    // Ports.
    const float* controls_[kControlPortCount] = {};
    const LV2_Atom_Sequence* control_ = nullptr;
    LV2_Atom_Sequence* notify_ = nullptr;
    const float* in_[2] = {};
    float* out_[2] = {};

    // The editor's writes, from the user-interface thread: (count << 32) | the
    // value's bits, the count going up with every write.
    std::atomic<uint64_t> editorWrites_[kControlPortCount] = {};
    std::atomic<void*> portSender_{nullptr};

    // Render thread (and restore, which never runs beside it).
    float lastSeen_[kControlPortCount] = {};
    // The editor's last write seen per port, and until when (in frames) the
    // port's changes are taken as echoes of the editor's writes.
    uint32_t editorCount_[kControlPortCount] = {};
    float editorValue_[kControlPortCount] = {};
    double editorEchoUntil_[kControlPortCount] = {};
    float minimum_[kControlPortCount] = {};
    float maximum_[kControlPortCount] = {};
    Lv2Transport transport_;
    Float64 sampleTime_ = 0.0;
    // The slice being rendered, read by InputCallback: inputs and frame offset.
    const float* slice_[2] = {};
    // Inputs are copied here first when an output buffer is another
    // channel's input buffer (a host may connect ports to one buffer).
    std::vector<float> scratch_;
};

} // namespace morvane_lv2

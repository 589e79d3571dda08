// A host for one effect instance, doing what a digital audio workstation
// does: load the bundle, set the stream format, initialise, set parameters
// through the listener facility, select factory presets and restore states
// (each followed by the "every parameter changed" announcement), supply a
// transport to the beat-and-tempo callback, and render blocks of any size.
//
// Threads. The harness's user-interface thread is the thread that opens it:
// the effect creates its parameter listener on that thread's run loop during
// initialize(), so initialize(), pump() and (offline) render() belong there.
// In offline mode (the default) the run loop's clock follows audio time and
// every parameter change queued before a block is delivered before that block
// renders; the same calls give the same output on every run. In real-time mode
// render() may run on another thread and the user-interface thread calls
// pump() itself.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "host/AUListener.h"
#include "host/AudioUnitTypes.h"
#include "host/ComponentEntry.h"
#include "host/RunLoop.h"

class HostHarness {
  public:
    // Tempo in beats per minute and the song position, in beats, of the next
    // rendered frame. The position advances with every rendered frame.
    struct Transport {
        double tempo = 120.0;
        double beat = 0.0;
    };

    // Loads a bundle and opens the first registered component matching `wanted`
    // (by default the first effect). Null with a message on failure.
    static std::unique_ptr<HostHarness> Open(const std::string& bundlePath, std::string& error,
                                             const ComponentDescription& wanted = {kAudioUnitType_Effect, 0,
                                                                                   0, 0, 0});
    // Opens a component whose entry is linked into the program.
    static std::unique_ptr<HostHarness> OpenEntry(ComponentRoutine entry, const ComponentDescription& desc,
                                                  std::string& error);
    // Uninitialises and closes the instance.
    ~HostHarness();
    HostHarness(const HostHarness&) = delete;
    HostHarness& operator=(const HostHarness&) = delete;

    AudioUnit unit() const { return unit_; }
    // Null for an instance opened through OpenEntry.
    const ComponentBundle* bundle() const { return bundle_.get(); }
    CFRunLoopRef runLoop() const { return runLoop_; }

    // Offline (default) or real-time; see above. Before initialize().
    void setOffline(bool offline) { offline_ = offline; }

    // Input and output: `channels` (1 or 2 for this project's effects) at
    // `sampleRate`, slices of at most maxFramesPerSlice. While uninitialised.
    OSStatus configure(double sampleRate, UInt32 channels, UInt32 maxFramesPerSlice = 1024);
    OSStatus initialize();
    OSStatus uninitialize();
    OSStatus reset();
    double sampleRate() const { return sampleRate_; }
    UInt32 channels() const { return channels_; }

    // Sets a parameter (global scope, element 0) as a host or automation does:
    // stored in the unit and announced to every listener.
    OSStatus setParameter(AudioUnitParameterID id, AudioUnitParameterValue value);
    // The unit's stored value (0 on error).
    AudioUnitParameterValue getParameter(AudioUnitParameterID id) const;
    // Tells every listener that every parameter of the unit changed.
    OSStatus announceAllParameters();

    // Factory presets and saved states; on success the announcement follows.
    OSStatus selectFactoryPreset(SInt32 number);
    // The unit's state dictionary; the caller releases *outState.
    OSStatus saveState(CFPropertyListRef* outState);
    OSStatus restoreState(CFPropertyListRef state);
    // The state as an XML property-list file, and back. On a file error the
    // result is kAudioUnitErr_InvalidFile and `error` says why.
    OSStatus saveStateFile(const std::string& path, std::string& error);
    OSStatus restoreStateFile(const std::string& path, std::string& error);

    OSStatus setBypass(bool bypass);

    // Installs the beat-and-tempo callback with this transport, or removes it
    // (the effect then sees a host without one). User-interface thread.
    OSStatus setTransport(const Transport& transport);
    OSStatus clearTransport();
    bool hasTransport() const { return hasTransport_.load(std::memory_order_relaxed); }
    // Render thread (the thread that renders, between blocks): the next frame
    // is at `beat` and `tempo`, as a host following an outside transport (a
    // JACK server's, or a stopped one) says; rendering moves on from there.
    // Needs a transport installed by setTransport.
    void followTransport(double tempo, double beat) {
        tempo_.store(tempo, std::memory_order_relaxed);
        beat_.store(beat, std::memory_order_relaxed);
    }
    double currentBeat() const { return beat_.load(std::memory_order_relaxed); }

    // Renders `frames` frames of `channels()` non-interleaved channels, in slices
    // of at most the maximum slice. in[c] == out[c] renders in place. Offline,
    // the run loop is brought to the slice's audio time and flushed before each
    // slice.
    OSStatus render(const float* const* in, float* const* out, UInt32 frames);
    OSStatus renderInPlace(float* const* io, UInt32 frames) { return render(io, io, frames); }
    // Frames rendered since initialize().
    double sampleTime() const { return sampleTime_; }

    // Delivers listener work due now (offline: at the current audio time,
    // everything pending). Returns the number of callouts. User-interface thread.
    CFIndex pump();

  private:
    HostHarness() = default;
    OSStatus attach(std::string& error);
    double audioTime() const;
    static OSStatus InputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                  const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                  AudioBufferList* data);
    static OSStatus BeatAndTempo(void* userData, Float64* outBeat, Float64* outTempo);

    std::shared_ptr<ComponentBundle> bundle_;
    AudioUnit unit_ = nullptr;
    CFRunLoopRef runLoop_ = nullptr;
    bool offline_ = true;
    double clockBase_ = 0.0;
    double sampleRate_ = 44100.0;
    UInt32 channels_ = 2;
    UInt32 maxFrames_ = 1024;
    double sampleTime_ = 0.0;
    // The slice being rendered, read by InputCallback on the render thread.
    const float* const* sliceInput_ = nullptr;
    UInt32 sliceOffset_ = 0;
    std::atomic<bool> hasTransport_{false};
    std::atomic<double> tempo_{120.0};
    std::atomic<double> beat_{0.0};
};

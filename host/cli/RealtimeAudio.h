// Real-time audio for the standalone window: a JACK client when a JACK server
// runs (stereo in and out, following JACK's transport), otherwise a clock
// thread that renders silence block by block at the block rate, so the
// effect's motion still moves as it would in a host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace morvane_cli {

// Where an outside transport (JACK's) stands at the start of a block.
struct OutsideTransport {
    bool rolling = false;
    double seconds = 0.0; // its frame position, in seconds
    bool hasBeat = false; // a timebase master gives bars and beats:
    double tempo = 0.0;   //   quarter notes per minute
    double beat = 0.0;    //   quarter notes from the start of the song
};

class AudioClient {
  public:
    virtual ~AudioClient() = default;
    // Render thread: frames of stereo audio from in to out (in is silence
    // when nothing is connected). transport is null when the device has none.
    virtual void process(const float* const* in, float* const* out, uint32_t frames,
                         const OutsideTransport* transport) = 0;
};

class AudioDevice {
  public:
    virtual ~AudioDevice() = default;

    // The user-interface thread, for all of these.
    // A client of the running JACK server (none is started); null, with the
    // reason in `why`, when there is no server or JACK is not built in.
    static std::unique_ptr<AudioDevice> openJack(const std::string& clientName, std::string& why);
    // A clock thread at `rate`, `block` frames at a time.
    static std::unique_ptr<AudioDevice> openClock(double rate, uint32_t block);

    virtual double sampleRate() const = 0;
    // The longest block process() is called with.
    virtual uint32_t maxBlock() const = 0;
    // "JACK (client Morvane, 48000 Hz, 256 frames)", for the user.
    virtual std::string description() const = 0;
    // Starts calling client.process on the render thread. False, with the
    // reason in `error`, when it cannot.
    virtual bool start(AudioClient& client, std::string& error) = 0;
    // Stops it; no call of process runs after this returns.
    virtual void stop() = 0;
    // Starts or stops the outside transport; false when there is none.
    virtual bool toggleTransport() { return false; }
    // Whether the device has stopped on its own (the JACK server went away).
    virtual bool lost() const { return false; }
};

} // namespace morvane_cli

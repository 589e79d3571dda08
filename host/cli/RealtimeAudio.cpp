#include "host/cli/RealtimeAudio.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#if MORVANE_WITH_JACK
#include <jack/jack.h>
#include <jack/transport.h>
#endif

namespace morvane_cli {

namespace {

// Renders silence at the block rate on a thread of its own, with real-time
// priority when the system grants it.
class ClockDevice : public AudioDevice {
  public:
    ClockDevice(double rate, uint32_t block)
        : rate(rate), block(block), silence(block, 0.0f), out(2 * block) {}
    ~ClockDevice() override { stop(); }

    double sampleRate() const override { return rate; }
    uint32_t maxBlock() const override { return block; }
    std::string description() const override {
        return "a silent clock (" + std::to_string(static_cast<long>(rate)) + " Hz, " +
               std::to_string(block) + " frames): no JACK server runs";
    }

    bool start(AudioClient& target, std::string&) override {
        stop();
        client = &target;
        running.store(true);
        thread = std::thread([this] { run(); });
        return true;
    }
    void stop() override {
        running.store(false);
        if (thread.joinable()) thread.join();
    }

  private:
    void run() {
        sched_param priority{};
        priority.sched_priority = std::max(1, sched_get_priority_min(SCHED_FIFO) + 10);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority); // refused without the right: fine
        const float* in[2] = {silence.data(), silence.data()};
        float* outs[2] = {out.data(), out.data() + block};
        const auto period = std::chrono::duration<double>(block / rate);
        auto next = std::chrono::steady_clock::now();
        while (running.load(std::memory_order_relaxed)) {
            client->process(in, outs, block, nullptr);
            next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
            const auto now = std::chrono::steady_clock::now();
            if (now - next > std::chrono::milliseconds(100))
                next = now; // fell behind: do not race to catch up
            std::this_thread::sleep_until(next);
        }
    }

    double rate;
    uint32_t block;
    std::vector<float> silence, out;
    AudioClient* client = nullptr;
    std::atomic<bool> running{false};
    std::thread thread;
};

#if MORVANE_WITH_JACK
class JackDevice : public AudioDevice {
  public:
    JackDevice(jack_client_t* c, const std::string& name) : client(c), name(name) {
        for (int i = 0; i < 2; ++i) {
            const std::string in = "in_" + std::to_string(i + 1), out = "out_" + std::to_string(i + 1);
            inputs[i] = jack_port_register(client, in.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            outputs[i] =
                jack_port_register(client, out.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        }
        jack_on_shutdown(client, &JackDevice::shutdown, this);
    }
    ~JackDevice() override {
        stop();
        jack_client_close(client);
    }

    bool ready() const { return inputs[0] && inputs[1] && outputs[0] && outputs[1]; }
    double sampleRate() const override { return jack_get_sample_rate(client); }
    uint32_t maxBlock() const override { return std::max<uint32_t>(jack_get_buffer_size(client), 8192); }
    std::string description() const override {
        return "JACK (client " + std::string(jack_get_client_name(client)) + ", " +
               std::to_string(static_cast<long>(sampleRate())) + " Hz, " +
               std::to_string(jack_get_buffer_size(client)) + " frames)";
    }

    bool start(AudioClient& target, std::string& error) override {
        audioClient = &target;
        if (jack_set_process_callback(client, &JackDevice::processCallback, this) != 0 ||
            jack_activate(client) != 0) {
            error = "the JACK server refused to start the client";
            return false;
        }
        active = true;
        // The outputs go to the first two playback ports; inputs are left for
        // the user to connect (a microphone could feed back).
        if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                                JackPortIsPhysical | JackPortIsInput)) {
            for (int i = 0; i < 2 && ports[i]; ++i)
                jack_connect(client, jack_port_name(outputs[i]), ports[i]);
            jack_free(ports);
        }
        return true;
    }
    void stop() override {
        if (active && !gone.load()) jack_deactivate(client);
        active = false;
    }
    bool toggleTransport() override {
        if (jack_transport_query(client, nullptr) == JackTransportStopped)
            jack_transport_start(client);
        else
            jack_transport_stop(client);
        return true;
    }
    bool lost() const override { return gone.load(); }

  private:
    static int processCallback(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackDevice*>(arg);
        const float* in[2];
        float* out[2];
        for (int i = 0; i < 2; ++i) {
            in[i] = static_cast<const float*>(jack_port_get_buffer(self->inputs[i], frames));
            out[i] = static_cast<float*>(jack_port_get_buffer(self->outputs[i], frames));
        }
        jack_position_t position;
        const jack_transport_state_t state = jack_transport_query(self->client, &position);
        OutsideTransport transport;
        transport.rolling = state == JackTransportRolling;
        transport.seconds =
            position.frame_rate ? static_cast<double>(position.frame) / position.frame_rate : 0.0;
        if ((position.valid & JackPositionBBT) && position.beats_per_minute > 0.0 &&
            position.beat_type > 0.0f && position.ticks_per_beat > 0.0) {
            // JACK counts bars and beats from 1, in beats of beat_type.
            const double quarter = 4.0 / position.beat_type;
            const double beats = (position.bar - 1) * static_cast<double>(position.beats_per_bar) +
                                 (position.beat - 1) + position.tick / position.ticks_per_beat;
            transport.hasBeat = true;
            transport.beat = beats * quarter;
            transport.tempo = position.beats_per_minute * quarter;
        }
        self->audioClient->process(in, out, frames, &transport);
        return 0;
    }
    static void shutdown(void* arg) { static_cast<JackDevice*>(arg)->gone.store(true); }

    jack_client_t* client;
    std::string name;
    jack_port_t* inputs[2] = {};
    jack_port_t* outputs[2] = {};
    AudioClient* audioClient = nullptr;
    bool active = false;
    std::atomic<bool> gone{false};
};
#endif

} // namespace

std::unique_ptr<AudioDevice> AudioDevice::openJack(const std::string& clientName, std::string& why) {
#if MORVANE_WITH_JACK
    jack_status_t status{};
    jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client) {
        why = "no JACK server runs";
        return nullptr;
    }
    auto device = std::make_unique<JackDevice>(client, clientName);
    if (!device->ready()) {
        why = "the JACK server refused the ports";
        return nullptr;
    }
    return device;
#else
    (void)clientName;
    why = "this build has no JACK support";
    return nullptr;
#endif
}

std::unique_ptr<AudioDevice> AudioDevice::openClock(double rate, uint32_t block) {
    return std::make_unique<ClockDevice>(rate, block);
}

} // namespace morvane_cli

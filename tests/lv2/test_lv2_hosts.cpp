// The bundle in the real hosts of this machine, run as a user runs them:
// lv2apply and lv2file against `morvane process`, and jalv on a dummy JACK
// server with a JACK transport at 90 BPM. A test whose tools are not installed
// is skipped. (The validators and lv2ls are plain CTest commands.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli_test_support.h"
#include "host/lv2/MorvaneLv2.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using cli_test::TempDir;

bool installed(const std::string& tool) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
    for (std::string dir; std::getline(path, dir, ':');)
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) return true;
    return false;
}

// A child process finding the build's bundle, its output in one file, its
// input a pipe.
struct Child {
    pid_t pid = -1;
    int input = -1;
    std::string log;

    Child(const TempDir& dir, std::vector<std::string> args) : log(dir.path(args[0] + ".log")) {
        setenv("LV2_PATH", (std::string(MORVANE_LV2_BUNDLE_DIR) + "/..").c_str(), 1);
        int fds[2] = {-1, -1};
        if (pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        input = fds[1];
    }
    ~Child() { stop(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void send(const std::string& text) const {
        EXPECT_EQ(write(input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Closes the input and waits for the child to end (after `signal` when
    // given), killing it after five seconds. Returns its exit status.
    int stop(int signal = 0) {
        if (input >= 0) close(input);
        input = -1;
        if (pid <= 0) return -1;
        if (signal != 0) kill(pid, signal);
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 500 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i)
            std::this_thread::sleep_for(10ms);
        if (ended == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string output() const { return cli_test::readText(log); }
};

int runTool(const TempDir& dir, const std::vector<std::string>& args) {
    Child child(dir, args);
    const int status = child.stop();
    if (status != 0) ADD_FAILURE() << args[0] << ": " << child.output();
    return status;
}

// Where two audio files first differ ("" when they hold the same samples).
std::string firstDifference(const std::string& a, const std::string& b) {
    const cli_test::Audio x = cli_test::readAudio(a), y = cli_test::readAudio(b);
    if (x.channels != y.channels || x.frames() != y.frames())
        return std::to_string(x.channels) + "x" + std::to_string(x.frames()) + " against " +
               std::to_string(y.channels) + "x" + std::to_string(y.frames()) + " samples";
    for (size_t i = 0; i < x.samples.size(); ++i)
        if (x.samples[i] != y.samples[i])
            return "frame " + std::to_string(i / static_cast<size_t>(x.channels)) + ": " +
                   std::to_string(x.samples[i]) + " against " + std::to_string(y.samples[i]);
    return "";
}

// Every port value of factory preset n in presets.ttl as lv2apply options.
std::vector<std::string> presetControls(int n) {
    std::ifstream ttl(std::string(MORVANE_LV2_BUNDLE_DIR) + "/presets.ttl");
    std::string subject = std::string(morvane_lv2::kPresetUriPrefix) + std::to_string(n);
    subject = '<' + subject;
    subject += '>';
    std::vector<std::string> args;
    bool inside = false;
    for (std::string line; std::getline(ttl, line);) {
        if (line.rfind("<", 0) == 0) inside = line == subject;
        const size_t symbol = line.find("lv2:symbol \""), value = line.find("pset:value ");
        if (!inside || symbol == std::string::npos || value == std::string::npos) continue;
        const size_t start = symbol + 12;
        args.insert(args.end(), {"-c", line.substr(start, line.find('"', start) - start),
                                 line.substr(value + 11, line.find(' ', value + 11) - value - 11)});
    }
    return args;
}

// lv2file runs 512-frame blocks and applies an LV2 preset; lv2apply runs one
// frame at a time with control values only (here factory preset 0's values,
// then two more). With the same settings, the same block size and no
// transport, `morvane process` writes the same samples.
TEST(Lv2Hosts, Lv2fileAndLv2applyRenderWhatMorvaneProcessRenders) {
    if (!installed("lv2file") || !installed("lv2apply")) GTEST_SKIP() << "no lv2file or lv2apply";
    TempDir dir;
    for (int channels : {2, 1}) {
        SCOPED_TRACE(channels == 2 ? "stereo" : "mono");
        const std::string uri = channels == 2 ? morvane_lv2::kStereoUri : morvane_lv2::kMonoUri;
        const std::string in = dir.path("in.wav");
        cli_test::writeAudio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, 48000,
                             cli_test::testSignal(channels, 48000, 1.0));
        std::vector<std::string> same = {"--no-transport", "--tail", "0", "--format", "wav:float", "-q"};
        // An LV2 host renders no lead-in: nor may morvane, where it can.
        if (cli_test::runMorvane({"process", "--help"}).out.find("--pre-roll") != std::string::npos)
            same.insert(same.end(), {"--pre-roll", "0"});

        std::vector<std::string> file = {"lv2file", "--ignore-clipping",     "-b", "512",
                                         "-P",      "Highpass Chaoss",       "-i", in,
                                         "-o",      dir.path("lv2file.wav"), uri};
        ASSERT_EQ(runTool(dir, file), 0);
        std::vector<std::string> process = {"process", in,   dir.path("process512.wav"), "--preset", "5",
                                            "--block", "512"};
        process.insert(process.end(), same.begin(), same.end());
        ASSERT_EQ(cli_test::runMorvane(process).status, 0);
        EXPECT_EQ(firstDifference(dir.path("lv2file.wav"), dir.path("process512.wav")), "");

        std::vector<std::string> apply = {"lv2apply", "-i", in, "-o", dir.path("lv2apply.wav")};
        const std::vector<std::string> controls = presetControls(0);
        ASSERT_EQ(controls.size(), 3u * morvane_lv2::kControlPortCount);
        apply.insert(apply.end(), controls.begin(), controls.end());
        apply.insert(apply.end(), {"-c", "FiltType", "2", "-c", "Mix", "80", uri});
        ASSERT_EQ(runTool(dir, apply), 0);
        process = {"process", in,      dir.path("process1.wav"), "--preset", "0",     "--block",
                   "1",       "--set", "Filter Type=2P LP",      "--set",    "Mix=80"};
        process.insert(process.end(), same.begin(), same.end());
        ASSERT_EQ(cli_test::runMorvane(process).status, 0);
        EXPECT_EQ(firstDifference(dir.path("lv2apply.wav"), dir.path("process1.wav")), "");
    }
}

// A JACK client that is the transport's timebase master at 90 BPM in 4/4,
// plays one impulse into both inputs of the plug-in when armed and records
// the plug-in's left output from then on. A measurement during which JACK
// reported an xrun (a loaded machine) may have lost cycles and is retaken.
struct Probe {
    static constexpr double kTempo = 90.0;
    jack_client_t* client = nullptr;
    jack_port_t* out[2] = {};
    jack_port_t* in = nullptr;
    std::vector<float> recording = std::vector<float>(48000);
    std::atomic<bool> armed{false};
    std::atomic<bool> fired{false};
    std::atomic<size_t> recorded{0};
    std::atomic<int> xruns{0};

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Probe*>(arg);
        const bool armed = self->armed.load();
        const bool fire = armed && !self->fired.exchange(armed);
        for (jack_port_t* port : self->out) {
            auto* buffer = static_cast<float*>(jack_port_get_buffer(port, frames));
            std::fill(buffer, buffer + frames, 0.0f);
            if (fire) buffer[0] = 1.0f;
        }
        if (!armed) return 0;
        const auto* input = static_cast<const float*>(jack_port_get_buffer(self->in, frames));
        const size_t at = self->recorded.load();
        const size_t n = std::min<size_t>(frames, self->recording.size() - at);
        std::copy(input, input + n, self->recording.begin() + static_cast<std::ptrdiff_t>(at));
        self->recorded.store(at + n);
        return 0;
    }

    static int xrun(void* arg) {
        ++static_cast<Probe*>(arg)->xruns;
        return 0;
    }

    // Plays an impulse and records a second; false when JACK had an xrun.
    bool measure() {
        armed.store(false);
        std::this_thread::sleep_for(50ms);
        fired.store(false);
        recorded.store(0);
        xruns.store(0);
        armed.store(true);
        for (int i = 0; i < 50 && recorded.load() < recording.size(); ++i)
            std::this_thread::sleep_for(100ms);
        armed.store(false);
        return recorded.load() == recording.size() && xruns.load() == 0;
    }

    static void timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* pos, int, void*) {
        const double beats = static_cast<double>(pos->frame) / pos->frame_rate * kTempo / 60.0;
        pos->valid = JackPositionBBT;
        pos->beats_per_minute = kTempo;
        pos->beats_per_bar = 4.0f;
        pos->beat_type = 4.0f;
        pos->ticks_per_beat = 1920.0;
        pos->bar = static_cast<int32_t>(beats / 4.0) + 1;
        pos->beat = static_cast<int32_t>(std::fmod(beats, 4.0)) + 1;
        pos->tick = static_cast<int32_t>((beats - std::floor(beats)) * pos->ticks_per_beat);
        pos->bar_start_tick = (pos->bar - 1) * 4.0 * pos->ticks_per_beat;
    }

    bool open() {
        for (int i = 0; i < 50 && client == nullptr; ++i) {
            client = jack_client_open("morvane-probe", JackNoStartServer, nullptr);
            if (client == nullptr) std::this_thread::sleep_for(100ms);
        }
        if (client == nullptr) return false;
        out[0] = jack_port_register(client, "out_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        out[1] = jack_port_register(client, "out_r", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        in = jack_port_register(client, "in_l", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &Probe::process, this);
        jack_set_timebase_callback(client, 0, &Probe::timebase, this);
        jack_set_xrun_callback(client, &Probe::xrun, this);
        if (jack_activate(client) != 0) return false;
        jack_transport_start(client);
        return true;
    }
    ~Probe() {
        if (client != nullptr) jack_client_close(client);
    }
};

// jalv runs the stereo plug-in on a dummy JACK server whose transport rolls
// at 90 BPM; a factory preset is applied and controls are set on its console.
// jalv reports the preset's and the set values, and with Host Sync on a
// "1/4" delay echoes an impulse 666.7 ms later (a beat at 90 BPM; the
// effect's own 120 BPM would give 500 ms).
TEST(Lv2Jalv, PresetAndControlsApplyAndTheSyncedEchoFollowsJackTransport) {
    if (!installed("jackd") || !installed("jalv")) GTEST_SKIP() << "no jackd or jalv";
    TempDir dir;
    const std::string server = "morvane-test-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    Child jackd(dir, {"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "1024"});
    ASSERT_GT(jackd.pid, 0);
    {
        Probe probe;
        ASSERT_TRUE(probe.open()) << jackd.output();
        Child jalv(dir, {"jalv", "-n", "morvane", morvane_lv2::kStereoUri});
        // Ports of a client can be connected once it is active.
        const auto connect = [&](const char* from, const char* to) {
            for (int i = 0; i < 100; ++i) {
                if (jack_port_by_name(probe.client, from) && jack_port_by_name(probe.client, to) &&
                    jack_connect(probe.client, from, to) == 0)
                    return true;
                std::this_thread::sleep_for(100ms);
            }
            return false;
        };
        ASSERT_TRUE(connect("morvane-probe:out_l", "morvane:in_l")) << jalv.output();
        ASSERT_TRUE(connect("morvane-probe:out_r", "morvane:in_r"));
        ASSERT_TRUE(connect("morvane:out_l", "morvane-probe:in_l"));
        // jalv finds a preset only after listing them.
        jalv.send(std::string("presets\npreset ") + morvane_lv2::kPresetUriPrefix + "28\n");
        jalv.send("set Filt_On 0\nset TimeDlyL 0.5667\nset TimeDlyR 5\nset Regen -60\nset Mix 50\n");
        // jalv sends a position when the transport starts, moves or changes
        // tempo, but drops one that comes while it applies a preset: locate.
        std::this_thread::sleep_for(300ms);
        jack_transport_locate(probe.client, 0);
        std::this_thread::sleep_for(300ms);
        bool measured = false;
        for (int attempt = 0; attempt < 5 && !measured; ++attempt)
            measured = probe.measure();
        jalv.send("controls\n");
        EXPECT_EQ(jalv.stop(), 0); // jalv ends at the end of its input
        const std::string console = jalv.output();
        for (const char* shown : {"FiltFreq = 19999.998047", "Kinetics = 0.000000", "TimeDlyL = 0.566700",
                                  "Regen = -60.000000", "Mix = 50.000000"})
            EXPECT_NE(console.rfind(shown), std::string::npos) << shown << " in\n" << console;

        ASSERT_TRUE(measured) << "JACK had xruns in every attempt";
        const std::vector<float>& r = probe.recording;
        const auto dry = static_cast<size_t>(
            std::find_if(r.begin(), r.end(), [](float x) { return std::fabs(x) > 0.1f; }) - r.begin());
        ASSERT_LT(dry + 4800, r.size());
        const auto echo = static_cast<size_t>(
            std::max_element(r.begin() + static_cast<std::ptrdiff_t>(dry + 4800), r.end(),
                             [](float a, float b) { return std::fabs(a) < std::fabs(b); }) -
            r.begin());
        const double ms = static_cast<double>(echo - dry) * 1000.0 / 48000.0;
        EXPECT_NEAR(ms, 666.67, 0.05) << "dry at " << dry << ", echo at " << echo;
        std::printf("jalv on JACK transport at 90 BPM: \"1/4\" echo %.2f ms after the impulse\n", ms);
    }
    jackd.stop(SIGTERM);
}

} // namespace

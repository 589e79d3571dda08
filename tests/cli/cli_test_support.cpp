#include "cli_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace cli_test {

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

RunResult runMorvane(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                     const Streams& streams) {
    TempDir capture;
    const std::string outPath = streams.outPath.empty() ? capture.path("stdout") : streams.outPath;
    const std::string errPath = capture.path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (streams.outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, streams.outFd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, streams.in.c_str(), O_RDONLY, 0);

    std::vector<std::string> argvStrings = {MORVANE_CLI_PROGRAM};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The caller's environment with MORVANE_BUNDLE removed (the program finds
    // the bundle beside itself) and the test's additions.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "MORVANE_BUNDLE=", 15) != 0) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error(std::string("cannot run ") + argv[0] + ": " + std::strerror(spawned));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (streams.outFd < 0 && streams.outPath.empty()) result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "morvane-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
}

std::vector<std::string> TempDir::files() const {
    return filesIn(dir_);
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeAudio(const std::string& path, int format, int channels, int sampleRate,
                const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<size_t>(channels));
    sf_writef_float(file, interleaved.data(), frames);
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    Audio audio;
    audio.format = info.format;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.samples.resize(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, audio.samples.data(), info.frames);
    audio.samples.resize(static_cast<size_t>(got) * static_cast<size_t>(info.channels));
    sf_close(file);
    return audio;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string readText(const std::string& path) {
    return slurp(path);
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool sameBytes(const std::string& a, const std::string& b) {
    const std::string x = slurp(a), y = slurp(b);
    return !x.empty() && x == y;
}

std::vector<float> testSignal(int channels, int sampleRate, double seconds, float peak) {
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<float> samples(frames * static_cast<size_t>(channels));
    uint32_t noise = 12345u;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const double burstAge = std::fmod(t, 0.1);
        noise = noise * 1664525u + 1013904223u;
        const double burst = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * std::exp(-burstAge / 0.01);
        for (int c = 0; c < channels; ++c) {
            const double tone = std::sin(2.0 * M_PI * (220.0 + 110.0 * c) * t);
            samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<float>(peak * 0.5 * (tone + burst));
        }
    }
    return samples;
}

} // namespace cli_test

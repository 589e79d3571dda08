// Running the morvane program as a user does, and writing and reading the
// small audio files the tests feed it.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace cli_test {

struct RunResult {
    int status = -1; // exit status; 128 + signal when killed
    std::string out;
    std::string err;
};

// Where the program's standard streams lead: standard input from a file,
// standard output captured (RunResult::out), into a file, or onto a
// descriptor (a pipe, /dev/full).
struct Streams {
    std::string in = "/dev/null";
    std::string outPath; // when not empty, instead of capturing
    int outFd = -1;      // when >= 0, instead of capturing
};

// Runs the built program with these arguments (no shell) and waits for it.
RunResult runMorvane(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                     const Streams& streams = {});

// A fresh directory for one test, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& dir() const { return dir_; }
    // Names of the files in the directory, sorted.
    std::vector<std::string> files() const;

  private:
    std::string dir_;
};

struct Audio {
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples; // interleaved
    size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
    float at(size_t frame, int channel) const {
        return samples[frame * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    }
};

void writeAudio(const std::string& path, int format, int channels, int sampleRate,
                const std::vector<float>& interleaved);
Audio readAudio(const std::string& path);
bool fileExists(const std::string& path);
// Names of the files in a directory, sorted.
std::vector<std::string> filesIn(const std::string& directory);
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);
bool sameBytes(const std::string& a, const std::string& b);

// A short test signal: a 220 Hz tone with a decaying burst every 100 ms,
// scaled to `peak`, the channels slightly different.
std::vector<float> testSignal(int channels, int sampleRate, double seconds, float peak = 0.5f);

} // namespace cli_test

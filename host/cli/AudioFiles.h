// Audio files through libsndfile: reading the input, choosing the output
// format, and writing the output so that nothing is lost: the samples go to a
// temporary file beside the destination, renamed over it only when the whole
// file is complete. Until then an interrupt (Ctrl-C, SIGTERM) or an error
// removes the temporary file and leaves the destination untouched.
//
// One thread (the program's).
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

namespace morvane_cli {

// libsndfile's format word (major container | sample subtype).
using SoundFormat = int;

// "WAV, 16-bit PCM" and the like.
std::string formatDescription(SoundFormat format);
// Whether samples of this format are integers (and so clip at full scale).
bool isIntegerFormat(SoundFormat format);
// The output format for `wanted` ("" keeps the input's): a container (wav, aiff,
// flac, ogg, caf, w64), a sample type (pcm16, pcm24, pcm32, float, double,
// vorbis, opus) or both as "flac:pcm24". A sample type the container cannot
// hold is replaced by the container's closest one. Throws a usage error for
// an unknown word or a combination libsndfile cannot write.
SoundFormat resolveOutputFormat(SoundFormat input, const std::string& wanted, int channels, int sampleRate);

// True when both paths name the same existing file (device and inode), also
// through links or another spelling of the path.
bool sameFile(const std::string& a, const std::string& b);

class InputFile {
  public:
    // Throws CliError with the path and libsndfile's reason.
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int64_t frames() const { return info_.frames; }
    int channels() const { return info_.channels; }
    int sampleRate() const { return info_.samplerate; }
    SoundFormat format() const { return info_.format; }
    const std::string& path() const { return path_; }

    // Reads up to `frames` interleaved frames; returns how many were read (0
    // at the end). Throws CliError on a read error.
    int64_t read(float* interleaved, int64_t frames);

  private:
    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

// Peak and RMS of everything passed through it, and the samples that did not
// fit an integer format.
struct LevelMeter {
    double peak = 0.0;
    double sumOfSquares = 0.0;
    uint64_t samples = 0;
    uint64_t clipped = 0; // |x| > 1
    uint64_t nonFinite = 0;

    void add(const float* samples, size_t count);
    double peakDb() const;
    double rmsDb() const;
};

// Level in dBFS as text ("-3.2", "-inf").
std::string decibelText(double db);

class OutputFile {
  public:
    // Creates the temporary file beside `path`. Throws CliError.
    OutputFile(const std::string& path, SoundFormat format, int channels, int sampleRate);
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes interleaved frames. Non-finite samples are written as 0; integer
    // formats clip at full scale. Both are counted in level(). Throws CliError.
    void write(float* interleaved, int64_t frames);
    // Closes the file and renames it over the destination. Throws CliError.
    void commit();

    const LevelMeter& level() const { return level_; }
    const std::string& path() const { return path_; }
    SoundFormat format() const { return format_; }

  private:
    void discard();

    std::string path_;
    std::string tempPath_;
    SoundFormat format_;
    int channels_;
    SNDFILE* file_ = nullptr;
    LevelMeter level_;
    bool committed_ = false;
};

} // namespace morvane_cli

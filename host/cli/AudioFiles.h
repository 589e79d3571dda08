// Audio files through libsndfile: reading the input, choosing the output
// format, and writing the output so that nothing is lost: the samples go to a
// temporary file beside the destination, renamed over it only when the whole
// file is complete. Until then an interrupt (Ctrl-C, SIGTERM) or an error
// removes the temporary file and leaves the destination untouched.
//
// "-" names the standard streams: as the input, standard input is read to its
// end and decoded from memory (libsndfile's virtual I/O), so every container
// is recognised by its header and a streamed header's unknown length does not
// matter; as the output, the file is encoded in memory and written to
// standard output only once it is complete, so a failed render writes nothing
// there either.
//
// One thread (the program's).
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// "-": standard input as IN, standard output as OUT.
bool isStandardStream(const std::string& path);
// For messages: "standard input", "standard output" or the path.
std::string streamName(const std::string& path, bool output);

// Gives every page of a single-stream Ogg file a fixed serial number and its
// recomputed checksum (libsndfile picks a random serial, so the same command
// would give different bytes). Returns false, changing nothing, when the
// bytes are not a sequence of whole Ogg pages.
bool fixOggSerial(std::vector<unsigned char>& bytes);

// In-memory bytes that libsndfile reads or writes through its virtual I/O.
struct MemoryStream {
    std::vector<unsigned char> bytes;
    int64_t position = 0;
};

// A file written beside its destination under a hidden temporary name and
// renamed over the destination by commit(); removed by the destructor, an
// error or an interrupt before that. An existing destination that is not a
// regular file (a directory, device or pipe) is refused.
class PendingFile {
  public:
    // Throws CliError.
    explicit PendingFile(const std::string& path);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // The open temporary file. takeDescriptor() hands it to an owner that
    // closes it (libsndfile); write() and commit() then no longer touch it.
    int descriptor() const { return fd_; }
    int takeDescriptor();
    // All of `size` bytes, or a CliError ("PATH: write error (...)").
    void write(const void* data, size_t size);
    // Closes the file (a failed close is a write error) and renames it over
    // the destination. Throws CliError; the temporary file is then removed.
    void commit();
    const std::string& path() const { return path_; }

  private:
    void discard();

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// Writes `bytes` to `path` through a PendingFile. Throws CliError.
void writeFileAtomically(const std::string& path, const std::string& bytes);

class InputFile {
  public:
    // "-" reads standard input. Throws CliError with the path and
    // libsndfile's reason.
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
    std::unique_ptr<MemoryStream> memory_; // standard input's bytes
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
    // Creates the temporary file beside `path`; "-" encodes in memory for
    // standard output (refused when that is a terminal). Throws CliError.
    OutputFile(const std::string& path, SoundFormat format, int channels, int sampleRate);
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes interleaved frames. Non-finite samples are written as 0; integer
    // formats clip at full scale. Both are counted in level(). Throws CliError.
    void write(float* interleaved, int64_t frames);
    // Closes the file and renames it over the destination, or writes the
    // encoded bytes to standard output. Throws CliError (a reader that went
    // away is "standard output: broken pipe").
    void commit();

    const LevelMeter& level() const { return level_; }
    const std::string& path() const { return path_; }
    SoundFormat format() const { return format_; }

  private:
    void closeSound();

    std::string path_;
    SoundFormat format_;
    int channels_;
    SNDFILE* file_ = nullptr;
    LevelMeter level_;
    // Where the bytes go: the pending file directly, or memory first (for
    // standard output, and for Ogg, whose serial numbers are fixed before
    // the bytes are written).
    std::unique_ptr<PendingFile> pending_;
    std::unique_ptr<MemoryStream> memory_;
    bool committed_ = false;
};

// Writes all of `data` to a descriptor (standard output). Throws CliError
// naming `what`; a closed pipe is "WHAT: broken pipe".
void writeAll(int fd, const void* data, size_t size, const std::string& what);

} // namespace morvane_cli

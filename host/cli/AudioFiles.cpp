#include "host/cli/AudioFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/cli/CliError.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

// The temporary files being written, for the interrupt handler: a few slots
// (audio, picture, summary) that the handler only reads.
constexpr int kPendingSlots = 8;
char gPendingTemp[kPendingSlots][4096];
volatile std::sig_atomic_t gPendingSet[kPendingSlots] = {};
bool gHandlersInstalled = false;

extern "C" void removePendingAndDie(int signal) {
    for (int i = 0; i < kPendingSlots; ++i)
        if (gPendingSet[i]) ::unlink(gPendingTemp[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void installInterruptHandlers() {
    if (gHandlersInstalled) return;
    gHandlersInstalled = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = removePendingAndDie;
        sigemptyset(&action.sa_mask);
        sigaction(s, &action, nullptr);
    }
}

// A slot for `path`, or -1 when all are taken (the file is then only removed
// by its owner, not on an interrupt).
int addPending(const std::string& path) {
    installInterruptHandlers();
    for (int i = 0; i < kPendingSlots; ++i) {
        if (gPendingSet[i]) continue;
        std::snprintf(gPendingTemp[i], sizeof gPendingTemp[i], "%s", path.c_str());
        gPendingSet[i] = 1;
        return i;
    }
    return -1;
}

void removePending(int slot) {
    if (slot >= 0 && slot < kPendingSlots) gPendingSet[slot] = 0;
}

struct NamedFormat {
    const char* word;
    SoundFormat value;
};

constexpr NamedFormat kContainers[] = {
    {"wav", SF_FORMAT_WAV}, {"aiff", SF_FORMAT_AIFF}, {"aif", SF_FORMAT_AIFF}, {"flac", SF_FORMAT_FLAC},
    {"ogg", SF_FORMAT_OGG}, {"caf", SF_FORMAT_CAF},   {"w64", SF_FORMAT_W64},
};

constexpr NamedFormat kSampleTypes[] = {
    {"pcm16", SF_FORMAT_PCM_16}, {"16", SF_FORMAT_PCM_16},     {"pcm24", SF_FORMAT_PCM_24},
    {"24", SF_FORMAT_PCM_24},    {"pcm32", SF_FORMAT_PCM_32},  {"32", SF_FORMAT_PCM_32},
    {"float", SF_FORMAT_FLOAT},  {"double", SF_FORMAT_DOUBLE}, {"vorbis", SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OPUS},
};

bool formatWritable(SoundFormat format, int channels, int sampleRate) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) != 0;
}

const char* majorName(SoundFormat format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
        return "WAV";
    case SF_FORMAT_AIFF:
        return "AIFF";
    case SF_FORMAT_FLAC:
        return "FLAC";
    case SF_FORMAT_OGG:
        return "Ogg";
    case SF_FORMAT_CAF:
        return "CAF";
    case SF_FORMAT_W64:
        return "W64";
    case SF_FORMAT_WAVEX:
        return "WAVEX";
    case SF_FORMAT_RF64:
        return "RF64";
    case SF_FORMAT_AU:
        return "AU";
    case SF_FORMAT_MPEG:
        return "MPEG";
    default:
        return "audio";
    }
}

const char* subtypeName(SoundFormat format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
        return "8-bit PCM";
    case SF_FORMAT_PCM_U8:
        return "8-bit PCM";
    case SF_FORMAT_PCM_16:
        return "16-bit PCM";
    case SF_FORMAT_PCM_24:
        return "24-bit PCM";
    case SF_FORMAT_PCM_32:
        return "32-bit PCM";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_VORBIS:
        return "Vorbis";
    case SF_FORMAT_OPUS:
        return "Opus";
    case SF_FORMAT_ULAW:
        return "u-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    default:
        return "encoded";
    }
}

// The sample type closest to `subtype` that the container can hold.
SoundFormat fittingSubtype(SoundFormat container, SoundFormat subtype, int channels, int sampleRate) {
    if (formatWritable(container | subtype, channels, sampleRate)) return subtype;
    const bool wasFloat = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE ||
                          subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS;
    const SoundFormat preferences[] = {
        wasFloat ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24,
        SF_FORMAT_PCM_24,
        SF_FORMAT_PCM_16,
        SF_FORMAT_VORBIS,
    };
    for (SoundFormat candidate : preferences)
        if (formatWritable(container | candidate, channels, sampleRate)) return candidate;
    return subtype;
}

// CRC of an Ogg page: polynomial 0x04c11db7, initial value 0, no reflection.
uint32_t oggCrc(const unsigned char* data, size_t size) {
    static uint32_t table[256];
    static bool built = false;
    if (!built) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
            table[i] = r;
        }
        built = true;
    }
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

// libsndfile's virtual I/O over a MemoryStream.
sf_count_t memoryLength(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryStream*>(user)->bytes.size());
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    const int64_t base = whence == SEEK_CUR   ? m->position
                         : whence == SEEK_END ? static_cast<int64_t>(m->bytes.size())
                                              : 0;
    const int64_t target = base + offset;
    if (target < 0) return -1;
    m->position = target;
    return target;
}

sf_count_t memoryRead(void* data, sf_count_t count, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    const int64_t size = static_cast<int64_t>(m->bytes.size());
    if (count <= 0 || m->position >= size) return 0;
    const int64_t n = std::min<int64_t>(count, size - m->position);
    std::memcpy(data, m->bytes.data() + m->position, static_cast<size_t>(n));
    m->position += n;
    return n;
}

sf_count_t memoryWrite(const void* data, sf_count_t count, void* user) {
    auto* m = static_cast<MemoryStream*>(user);
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(m->position + count);
    if (end > m->bytes.size()) m->bytes.resize(end);
    std::memcpy(m->bytes.data() + m->position, data, static_cast<size_t>(count));
    m->position += count;
    return count;
}

sf_count_t memoryTell(void* user) {
    return static_cast<MemoryStream*>(user)->position;
}

SF_VIRTUAL_IO gMemoryIO = {memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};

// Standard input is read whole before it is decoded; beyond this it is
// refused rather than allowed to exhaust memory (4 hours of 24-bit stereo
// at 48 kHz fit).
constexpr size_t kLargestStandardInput = size_t{4} << 30;

std::vector<unsigned char> readStandardInput() {
    if (::isatty(STDIN_FILENO) == 1)
        throw CliError("standard input is a terminal; pipe audio into it (cat in.wav | morvane process - "
                       "out.wav) or name a file");
    std::vector<unsigned char> bytes;
    size_t used = 0;
    for (;;) {
        if (bytes.size() - used < 65536) {
            if (used > kLargestStandardInput)
                throw CliError("standard input: more than 4 GiB of audio; give it as a file instead");
            bytes.resize(
                std::min(std::max<size_t>(bytes.size() * 2, 1 << 20), kLargestStandardInput + 65536));
        }
        const ssize_t got = ::read(STDIN_FILENO, bytes.data() + used, bytes.size() - used);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw CliError(std::string("standard input: read error (") + std::strerror(errno) + ")");
        }
        used += static_cast<size_t>(got);
    }
    bytes.resize(used);
    if (bytes.empty()) throw CliError("standard input: no audio (it was empty)");
    return bytes;
}

} // namespace

std::string formatDescription(SoundFormat format) {
    return std::string(majorName(format)) + ", " + subtypeName(format);
}

bool isIntegerFormat(SoundFormat format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

SoundFormat resolveOutputFormat(SoundFormat input, const std::string& wanted, int channels, int sampleRate) {
    SoundFormat container = input & SF_FORMAT_TYPEMASK;
    SoundFormat subtype = input & SF_FORMAT_SUBMASK;
    bool containerGiven = false, subtypeGiven = false;
    std::string words = wanted;
    for (char& c : words)
        if (c == ',' || c == '/') c = ':';
    size_t start = 0;
    while (start <= words.size() && !wanted.empty()) {
        const size_t end = std::min(words.find(':', start), words.size());
        const std::string word = foldText(std::string_view(words).substr(start, end - start));
        start = end + 1;
        if (word.empty()) continue;
        bool known = false;
        for (const NamedFormat& c : kContainers) {
            if (word == c.word) {
                container = c.value;
                containerGiven = known = true;
            }
        }
        for (const NamedFormat& s : kSampleTypes) {
            if (word == s.word) {
                subtype = s.value;
                subtypeGiven = known = true;
            }
        }
        if (!known) {
            std::vector<std::string> choices;
            for (const NamedFormat& c : kContainers)
                choices.push_back(c.word);
            for (const NamedFormat& s : kSampleTypes)
                choices.push_back(s.word);
            const std::vector<std::string> close = closestMatches(word, choices);
            throw UsageError(
                "--format: unknown word \"" + word + "\"" +
                (close.empty() ? "" : "; did you mean " + quotedList(close) + "?") +
                " (containers: wav, aiff, flac, ogg, caf, w64; samples: pcm16, pcm24, pcm32, float, "
                "double, vorbis, opus)");
        }
        if (end >= words.size()) break;
    }
    if (containerGiven && !subtypeGiven) subtype = fittingSubtype(container, subtype, channels, sampleRate);
    const SoundFormat format = container | subtype;
    if (!formatWritable(format, channels, sampleRate)) {
        if (wanted.empty())
            throw CliError("cannot write " + formatDescription(format) +
                           " (the input's format); choose one with --format");
        throw UsageError("--format " + wanted + ": cannot write " + formatDescription(format) + " with " +
                         std::to_string(channels) + " channel(s) at " + std::to_string(sampleRate) + " Hz");
    }
    return format;
}

bool fixOggSerial(std::vector<unsigned char>& bytes) {
    constexpr uint32_t kSerial = 0x4d52564eu;
    std::vector<std::pair<size_t, size_t>> pages;
    size_t offset = 0;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 27 || std::memcmp(&bytes[offset], "OggS", 4) != 0) return false;
        const size_t segments = bytes[offset + 26];
        if (bytes.size() - offset < 27 + segments) return false;
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += bytes[offset + 27 + i];
        const size_t length = 27 + segments + body;
        if (bytes.size() - offset < length) return false;
        pages.emplace_back(offset, length);
        offset += length;
    }
    for (const auto& [start, length] : pages) {
        unsigned char* page = &bytes[start];
        for (int i = 0; i < 4; ++i)
            page[14 + i] = static_cast<unsigned char>(kSerial >> (8 * i));
        std::memset(page + 22, 0, 4);
        const uint32_t crc = oggCrc(page, length);
        for (int i = 0; i < 4; ++i)
            page[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
    }
    return true;
}

bool isStandardStream(const std::string& path) {
    return path == "-";
}

std::string streamName(const std::string& path, bool output) {
    if (!isStandardStream(path)) return path;
    return output ? "standard output" : "standard input";
}

void writeAll(int fd, const void* data, size_t size, const std::string& what) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (errno == EPIPE) throw CliError(what + ": broken pipe (the reading program stopped early)");
            throw CliError(what + ": write error (" + std::strerror(errno) + ")");
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
}

PendingFile::PendingFile(const std::string& path) : path_(path) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) throw CliError(path + ": is a directory");
        // The file is written beside the target and renamed over it, which
        // would put a plain file in place of a device or pipe.
        if (!S_ISREG(existing.st_mode)) throw CliError(path + ": is not a regular file");
    }
    const std::filesystem::path target(path);
    const std::filesystem::path parent = target.parent_path();
    const std::string directory = parent.empty() ? std::string(".") : parent.string();
    std::string pattern = directory + "/." + target.filename().string() + ".morvane-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    installInterruptHandlers();
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0)
        throw CliError(path + ": cannot create a file in " + directory + " (" + std::strerror(errno) + ")");
    tempPath_ = name.data();
    slot_ = addPending(tempPath_);
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

PendingFile::~PendingFile() {
    if (!committed_) discard();
}

int PendingFile::takeDescriptor() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void PendingFile::write(const void* data, size_t size) {
    if (fd_ < 0) throw CliError(path_ + ": write error (the file is closed)");
    writeAll(fd_, data, size, path_);
}

void PendingFile::commit() {
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw CliError(path_ + ": write error while closing (" + std::strerror(errno) + ")");
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0)
        throw CliError(path_ + ": cannot replace it (" + std::strerror(errno) + ")");
    removePending(slot_);
    committed_ = true;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    removePending(slot_);
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    PendingFile file(path);
    file.write(bytes.data(), bytes.size());
    file.commit();
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

InputFile::InputFile(const std::string& path) : path_(path) {
    if (isStandardStream(path)) {
        memory_ = std::make_unique<MemoryStream>();
        memory_->bytes = readStandardInput();
        file_ = sf_open_virtual(&gMemoryIO, SFM_READ, &info_, memory_.get());
        if (file_ == nullptr)
            throw CliError(std::string("standard input: cannot read it as audio (") + sf_strerror(nullptr) +
                           ")");
        if (info_.channels < 1) throw CliError("standard input: has no channels");
        if (info_.frames < 0) throw CliError("standard input: unknown length");
        path_ = "standard input";
        return;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw CliError(path + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw CliError(path + ": is a directory");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) throw CliError(path + ": cannot read it as audio (" + sf_strerror(nullptr) + ")");
    if (info_.channels < 1) throw CliError(path + ": has no channels");
    if (info_.frames < 0) throw CliError(path + ": unknown length");
}

InputFile::~InputFile() {
    if (file_ != nullptr) sf_close(file_);
}

int64_t InputFile::read(float* interleaved, int64_t frames) {
    const sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)
        throw CliError(path_ + ": read error (" + sf_strerror(file_) + ")");
    return got;
}

void LevelMeter::add(const float* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const double x = data[i];
        if (!std::isfinite(x)) {
            ++nonFinite;
            continue;
        }
        const double magnitude = std::fabs(x);
        if (magnitude > peak) peak = magnitude;
        if (magnitude > 1.0) ++clipped;
        sumOfSquares += x * x;
    }
    samples += count;
}

double LevelMeter::peakDb() const {
    return peak > 0.0 ? 20.0 * std::log10(peak) : -INFINITY;
}

double LevelMeter::rmsDb() const {
    if (samples == 0 || sumOfSquares <= 0.0) return -INFINITY;
    return 10.0 * std::log10(sumOfSquares / static_cast<double>(samples));
}

std::string decibelText(double db) {
    if (!std::isfinite(db)) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f", db);
    return text;
}

OutputFile::OutputFile(const std::string& path, SoundFormat format, int channels, int sampleRate)
    : path_(streamName(path, true)), format_(format), channels_(channels) {
    const bool toStandardOutput = isStandardStream(path);
    if (toStandardOutput && ::isatty(STDOUT_FILENO) == 1)
        throw CliError(
            "standard output is a terminal; redirect it (> out.wav) or pipe it into another program");
    if (!toStandardOutput) pending_ = std::make_unique<PendingFile>(path);

    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    if (toStandardOutput || (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) {
        memory_ = std::make_unique<MemoryStream>();
        file_ = sf_open_virtual(&gMemoryIO, SFM_WRITE, &info, memory_.get());
    } else {
        // libsndfile closes the descriptor, also when it fails to open.
        file_ = sf_open_fd(pending_->takeDescriptor(), SFM_WRITE, &info, SF_TRUE);
    }
    if (file_ == nullptr)
        throw CliError(path_ + ": cannot write " + formatDescription(format) + " (" + sf_strerror(nullptr) +
                       ")");
    if (isIntegerFormat(format)) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The PEAK chunk of float files carries the time of writing; without it
    // the same command gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

OutputFile::~OutputFile() {
    // The pending file, if any, removes itself unless committed.
    if (!committed_) closeSound();
}

void OutputFile::closeSound() {
    if (file_ != nullptr) sf_close(file_);
    file_ = nullptr;
}

void OutputFile::write(float* interleaved, int64_t frames) {
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels_);
    level_.add(interleaved, count);
    for (size_t i = 0; i < count; ++i)
        if (!std::isfinite(interleaved[i])) interleaved[i] = 0.0f;
    if (sf_writef_float(file_, interleaved, frames) != frames)
        throw CliError(path_ + ": write error (" + sf_strerror(file_) + ")");
}

void OutputFile::commit() {
    if (file_ == nullptr) throw CliError(path_ + ": nothing to write");
    sf_write_sync(file_);
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) throw CliError(path_ + ": write error while closing (" + sf_error_number(closed) + ")");
    if (memory_) {
        if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) fixOggSerial(memory_->bytes);
        if (pending_) {
            pending_->write(memory_->bytes.data(), memory_->bytes.size());
        } else {
            // A reader that goes away must be an error, not a silent death.
            std::signal(SIGPIPE, SIG_IGN);
            writeAll(STDOUT_FILENO, memory_->bytes.data(), memory_->bytes.size(), path_);
        }
    }
    if (pending_) pending_->commit();
    committed_ = true;
}

} // namespace morvane_cli

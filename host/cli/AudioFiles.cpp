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

// The temporary file being written, for the interrupt handler. One output at a
// time; the handler only reads it.
char gPendingTemp[4096];
volatile std::sig_atomic_t gPendingSet = 0;
bool gHandlersInstalled = false;

extern "C" void removePendingAndDie(int signal) {
    if (gPendingSet) ::unlink(gPendingTemp);
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

void setPending(const std::string& path) {
    gPendingSet = 0;
    std::snprintf(gPendingTemp, sizeof gPendingTemp, "%s", path.c_str());
    gPendingSet = path.empty() ? 0 : 1;
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

// libsndfile gives every Ogg stream a random serial number. To keep the same
// command giving the same bytes, every page of the (single) stream gets a
// fixed serial and its checksum is recomputed. A file whose pages do not parse
// is left as it is.
void fixOggSerial(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) return;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    constexpr uint32_t kSerial = 0x4d52564eu;
    size_t offset = 0;
    bool parsed = true;
    std::vector<std::pair<size_t, size_t>> pages;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 27 || std::memcmp(&bytes[offset], "OggS", 4) != 0) {
            parsed = false;
            break;
        }
        const size_t segments = bytes[offset + 26];
        if (bytes.size() - offset < 27 + segments) {
            parsed = false;
            break;
        }
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += bytes[offset + 27 + i];
        const size_t length = 27 + segments + body;
        if (bytes.size() - offset < length) {
            parsed = false;
            break;
        }
        pages.emplace_back(offset, length);
        offset += length;
    }
    if (parsed) {
        for (const auto& [start, length] : pages) {
            unsigned char* page = &bytes[start];
            for (int i = 0; i < 4; ++i)
                page[14 + i] = static_cast<unsigned char>(kSerial >> (8 * i));
            std::memset(page + 22, 0, 4);
            const uint32_t crc = oggCrc(page, length);
            for (int i = 0; i < 4; ++i)
                page[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
        }
        std::rewind(file);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    }
    std::fclose(file);
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

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

InputFile::InputFile(const std::string& path) : path_(path) {
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
    : path_(path), format_(format), channels_(channels) {
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) throw CliError(path + ": is a directory");
        // The output is written beside the target and renamed over it, which
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
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw CliError(path + ": cannot create a file in " + directory + " (" + std::strerror(errno) + ")");
    tempPath_ = name.data();
    setPending(tempPath_);
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (file_ == nullptr) {
        // libsndfile has closed the descriptor it was given.
        const std::string reason = sf_strerror(nullptr);
        discard();
        throw CliError(path + ": cannot write " + formatDescription(format) + " (" + reason + ")");
    }
    if (isIntegerFormat(format)) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The PEAK chunk of float files carries the time of writing; without it
    // the same command gives the same bytes.
    sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

void OutputFile::discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        setPending("");
        tempPath_.clear();
    }
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
    if ((format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG) fixOggSerial(tempPath_);
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0)
        throw CliError(path_ + ": cannot replace it (" + std::strerror(errno) + ")");
    setPending("");
    tempPath_.clear();
    committed_ = true;
}

} // namespace morvane_cli

#include "host/cli/RenderPlot.h"

#include <cairo.h>
#include <fftw3.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "host/cli/CliError.h"
#include "params/MorvaneParameterManager.h"
#include "params/padTargets.h"

namespace morvane_cli {

namespace {

// The effect's parameter-manager property: a ko_paramManager* in
// sizeof(void*) bytes, the pointer its editor reads the pads through.
constexpr AudioUnitPropertyID kParameterManagerProperty = 70000;

constexpr double kPi = 3.14159265358979323846;
constexpr const char* kAxisNames[kNumPadAxes] = {"L X", "L Y", "L Z", "R X", "R Y", "R Z"};

// ---------------------------------------------------------------------------
// Colours: the editor's dark charcoal, cyan for the right pad and amber for
// the left.

struct Colour {
    double r, g, b;
};

constexpr Colour rgb(uint32_t hex) {
    return {((hex >> 16) & 0xFF) / 255.0, ((hex >> 8) & 0xFF) / 255.0, (hex & 0xFF) / 255.0};
}

constexpr Colour kWindow = rgb(0x121519);
constexpr Colour kPanel = rgb(0x1a1e25);
constexpr Colour kTailPanel = rgb(0x16191f);
constexpr Colour kGuide = rgb(0x272d37);
constexpr Colour kBarLine = rgb(0x3a4352);
constexpr Colour kBeatLine = rgb(0x222832);
constexpr Colour kText = rgb(0xd0d7e1);
constexpr Colour kDimText = rgb(0x8691a1);
constexpr Colour kCyan = rgb(0x00d8e8);
constexpr Colour kPaleCyan = rgb(0x9cecf4);
constexpr Colour kAmber = rgb(0xffa726);
constexpr Colour kPaleAmber = rgb(0xffdc9c);
constexpr Colour kInputBand = rgb(0x4a5566);
constexpr Colour kInputCore = rgb(0x8592a6);
constexpr Colour kCutoff = rgb(0xffffff);

// Per axis, in the order of gPadAxes: left pad amber, right pad cyan; the Y
// axes in the paler tint, Z dimmer still (drawn thin).
constexpr Colour kAxisColours[kNumPadAxes] = {kAmber, kPaleAmber, kPaleAmber, kCyan, kPaleCyan, kPaleCyan};

void setColour(cairo_t* cr, Colour c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

enum class Align { Left, Centre, Right };

// Draws `text` with its baseline at y. Returns its width.
double drawText(cairo_t* cr, double x, double y, const std::string& text, double size, Colour colour,
                Align align = Align::Left, bool bold = false, const char* face = "DejaVu Sans") {
    cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    double left = x;
    if (align == Align::Centre) left = x - extents.x_advance / 2.0;
    if (align == Align::Right) left = x - extents.x_advance;
    setColour(cr, colour);
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
    return extents.x_advance;
}

double drawLabel(cairo_t* cr, double x, double y, const std::string& text, Colour colour) {
    return drawText(cr, x, y, text, 11.0, colour, Align::Left, true, "DejaVu Sans Condensed");
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// ---------------------------------------------------------------------------
// Waveform envelope: min, max and power per fixed stretch of frames.

constexpr int64_t kEnvelopeSpan = 256;

struct EnvelopeColumn {
    float low = 0.0f, high = 0.0f;
    double sumSquares = 0.0;
    int64_t count = 0;
};

class Envelope {
  public:
    void add(int64_t first, int64_t frames, const float* const* channels, int channelCount) {
        for (int64_t i = 0; i < frames; ++i) {
            const size_t index = static_cast<size_t>((first + i) / kEnvelopeSpan);
            if (index >= columns_.size()) columns_.resize(index + 1);
            EnvelopeColumn& column = columns_[index];
            for (int c = 0; c < channelCount; ++c) {
                const float x = std::isfinite(channels[c][i]) ? channels[c][i] : 0.0f;
                column.low = std::min(column.low, x);
                column.high = std::max(column.high, x);
                column.sumSquares += static_cast<double>(x) * x;
                ++column.count;
            }
        }
    }

    // The columns covering output frames [from, to).
    EnvelopeColumn over(int64_t from, int64_t to) const {
        EnvelopeColumn sum;
        const int64_t first = std::max<int64_t>(0, from / kEnvelopeSpan);
        const int64_t last =
            std::min<int64_t>(static_cast<int64_t>(columns_.size()), (to - 1) / kEnvelopeSpan + 1);
        for (int64_t i = first; i < last; ++i) {
            const EnvelopeColumn& c = columns_[static_cast<size_t>(i)];
            sum.low = std::min(sum.low, c.low);
            sum.high = std::max(sum.high, c.high);
            sum.sumSquares += c.sumSquares;
            sum.count += c.count;
        }
        return sum;
    }

  private:
    std::vector<EnvelopeColumn> columns_;
};

// ---------------------------------------------------------------------------
// Spectrogram: Hann-windowed FFTs (about 11 Hz apart, 93 ms long) a quarter
// window apart, reduced to
// logarithmically spaced bands (one per pixel row). Long renders keep a
// bounded number of columns: when they run out, neighbours are averaged and
// each column covers twice the time.

constexpr double kLowestFrequency = PlotLayout::kLowestHz;
constexpr int kBands = PlotLayout::kSpectrum.height;
constexpr size_t kMostColumns = 4096;

class Spectrogram {
  public:
    explicit Spectrogram(int sampleRate)
        : size_(sampleRate <= 48000   ? 2048
                : sampleRate <= 96000 ? 4096
                                      : 8192),
          hop_(size_ / 4), highest_(std::min(PlotLayout::kHighestHz, 0.5 * sampleRate)), window_(size_),
          pending_(size_ / 2, 0.0f), bins_(size_ / 2 + 1), accumulator_(kBands, 0.0) {
        input_ = fftwf_alloc_real(size_);
        spectrum_ = fftwf_alloc_complex(size_ / 2 + 1);
        plan_ = fftwf_plan_dft_r2c_1d(static_cast<int>(size_), input_, spectrum_, FFTW_ESTIMATE);
        double sum = 0.0;
        for (size_t i = 0; i < size_; ++i) {
            window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / size_));
            sum += window_[i];
        }
        // A full-scale sine reads 0 dB.
        reference_ = (sum / 2.0) * (sum / 2.0);
        binHz_ = static_cast<double>(sampleRate) / static_cast<double>(size_);
        for (int b = 0; b <= kBands; ++b)
            edges_.push_back(kLowestFrequency * std::pow(highest_ / kLowestFrequency, double(b) / kBands));
    }

    ~Spectrogram() {
        fftwf_destroy_plan(plan_);
        fftwf_free(input_);
        fftwf_free(spectrum_);
    }
    Spectrogram(const Spectrogram&) = delete;
    Spectrogram& operator=(const Spectrogram&) = delete;

    // Appends the mono mix of the next `frames` output frames.
    void add(const float* const* channels, int channelCount, int64_t frames) {
        for (int64_t i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channelCount; ++c)
                sum += std::isfinite(channels[c][i]) ? channels[c][i] : 0.0f;
            pending_.push_back(sum / static_cast<float>(channelCount));
        }
        size_t offset = 0;
        while (pending_.size() - offset >= size_) {
            analyse(pending_.data() + offset);
            offset += hop_;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(offset));
    }

    double highest() const { return highest_; }
    // Output frames per column, and the columns with the partial last one.
    int64_t framesPerColumn() const { return static_cast<int64_t>(hop_ * perColumn_); }
    size_t columnCount() const { return columns_.size() / kBands + (count_ > 0 ? 1 : 0); }
    // Band power of column c relative to full scale (1 = a full-scale sine).
    double power(size_t column, int band) const {
        if (column * kBands < columns_.size()) return columns_[column * kBands + static_cast<size_t>(band)];
        return count_ > 0 ? accumulator_[static_cast<size_t>(band)] / count_ : 0.0;
    }

  private:
    void analyse(const float* frame) {
        for (size_t i = 0; i < size_; ++i)
            input_[i] = frame[i] * window_[i];
        fftwf_execute(plan_);
        for (size_t k = 0; k < bins_.size(); ++k)
            bins_[k] =
                (double(spectrum_[k][0]) * spectrum_[k][0] + double(spectrum_[k][1]) * spectrum_[k][1]) /
                reference_;
        for (int b = 0; b < kBands; ++b)
            accumulator_[static_cast<size_t>(b)] +=
                band(edges_[static_cast<size_t>(b)], edges_[static_cast<size_t>(b) + 1]);
        if (++count_ < perColumn_) return;
        for (double& a : accumulator_) {
            columns_.push_back(static_cast<float>(a / count_));
            a = 0.0;
        }
        count_ = 0;
        if (columns_.size() / kBands >= kMostColumns) halve();
    }

    // The strongest bin whose centre lies in [low, high), or the power at
    // the band's centre between the two nearest bins for bands narrower than
    // a bin.
    double band(double low, double high) const {
        const size_t first = static_cast<size_t>(std::ceil(low / binHz_));
        const size_t last = std::min(bins_.size(), static_cast<size_t>(std::ceil(high / binHz_)));
        double strongest = -1.0;
        for (size_t k = first; k < last; ++k)
            strongest = std::max(strongest, bins_[k]);
        if (strongest >= 0.0) return strongest;
        const double position = std::sqrt(low * high) / binHz_;
        const size_t below = std::min(bins_.size() - 2, static_cast<size_t>(position));
        const double t = position - static_cast<double>(below);
        return bins_[below] * (1.0 - t) + bins_[below + 1] * t;
    }

    void halve() {
        const size_t columns = columns_.size() / kBands;
        std::vector<float> merged;
        merged.reserve(columns / 2 * kBands);
        for (size_t c = 0; c + 1 < columns; c += 2)
            for (int b = 0; b < kBands; ++b)
                merged.push_back(0.5f * (columns_[c * kBands + static_cast<size_t>(b)] +
                                         columns_[(c + 1) * kBands + static_cast<size_t>(b)]));
        columns_ = std::move(merged);
        perColumn_ *= 2;
    }

    size_t size_, hop_;
    double highest_;
    std::vector<float> window_;
    std::vector<float> pending_;
    std::vector<double> bins_;
    std::vector<double> edges_;
    std::vector<double> accumulator_;
    std::vector<float> columns_; // column-major, kBands per column
    int count_ = 0;              // analyses in the accumulator
    int perColumn_ = 1;          // analyses per column
    double reference_ = 1.0;
    double binHz_ = 1.0;
    float* input_ = nullptr;
    fftwf_complex* spectrum_ = nullptr;
    fftwf_plan plan_ = nullptr;
};

// ---------------------------------------------------------------------------
// Motion: the pads and what they drive, read after every slice.

struct MotionSample {
    int64_t frame = 0; // output frame at the end of the slice
    float pad[kNumPadAxes] = {};
    int32_t target[kNumPadAxes] = {};
    float position[kNumPadAxes] = {}; // the target's control position 0..1
    float value[kNumPadAxes] = {};    // its natural value
    float low[kNumPadAxes] = {}, high[kNumPadAxes] = {};
    float motionMode = 0.0f, motionRate = 0.0f;
    float filterOn = 0.0f, filterFreq = 0.0f;
};

// Time to x over a box.
struct TimeScale {
    double seconds;
    PlotBox box;
    double x(double t) const { return box.x + box.width * std::clamp(t / seconds, 0.0, 1.0); }
    double time(double x) const { return (x - box.x) / box.width * seconds; }
};

// One polyline through a series, reduced to the first, lowest, highest and
// last point of every pixel column so that hours of samples draw as fast as
// seconds.
template <typename Value>
void traceSeries(cairo_t* cr, const std::vector<MotionSample>& samples, const TimeScale& scale, double rate,
                 Value&& valueAt) {
    bool open = false;
    int column = -1;
    double first = 0, low = 0, high = 0, last = 0, x = 0;
    auto flush = [&]() {
        if (column < 0) return;
        if (!open) {
            cairo_move_to(cr, x, first);
            open = true;
        } else {
            cairo_line_to(cr, x, first);
        }
        if (low != high) {
            cairo_line_to(cr, x, low);
            cairo_line_to(cr, x, high);
        }
        cairo_line_to(cr, x, last);
    };
    for (const MotionSample& s : samples) {
        double y = 0.0;
        if (!valueAt(s, y)) {
            flush();
            column = -1;
            if (open) cairo_stroke(cr);
            open = false;
            continue;
        }
        const double sx = scale.x(static_cast<double>(s.frame) / rate);
        const int c = static_cast<int>(sx);
        if (c != column) {
            flush();
            column = c;
            x = sx;
            first = low = high = last = y;
        } else {
            low = std::min(low, y);
            high = std::max(high, y);
            last = y;
        }
    }
    flush();
    if (open) cairo_stroke(cr);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

void fillBox(cairo_t* cr, const PlotBox& box, Colour colour) {
    setColour(cr, colour);
    cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    cairo_fill(cr);
}

void clipTo(cairo_t* cr, const PlotBox& box) {
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.width, box.height);
    cairo_clip(cr);
}

std::string secondsText(double t, double step) {
    if (step >= 60.0 || t >= 600.0) {
        const int whole = static_cast<int>(std::lround(t));
        char text[32];
        std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
        return text;
    }
    return format(step < 1.0 ? "%.1f s" : "%.0f s", t);
}

std::string hertzText(double hz) {
    return hz >= 1000.0 ? format(hz >= 10000.0 ? "%.0fk" : "%.3gk", hz / 1000.0) : format("%.0f", hz);
}

} // namespace

// ---------------------------------------------------------------------------

struct RenderPlot::Data {
    Data(EffectHost& e, ParameterCatalogue& c, int rate, int channels)
        : effect(e), catalogue(c), sampleRate(rate), channelCount(channels), spectrogram(rate) {}

    EffectHost& effect;
    ParameterCatalogue& catalogue;
    int sampleRate;
    int channelCount;
    ko_paramManager* table = nullptr; // the effect's own, read only
    Envelope input, output;
    Spectrogram spectrogram;
    std::vector<MotionSample> motion;

    void capture(int64_t frame) {
        if (table == nullptr) return;
        MotionSample s;
        s.frame = frame;
        for (int a = 0; a < kNumPadAxes; ++a) {
            const MorvanePadAxis& axis = gPadAxes[a];
            s.pad[a] = table->getVSTvalue(axis.axis);
            s.target[a] = padTargetForIndex(table->getNaturalValue(axis.destination));
            s.low[a] = table->getVSTvalue(axis.lowRange);
            s.high[a] = table->getVSTvalue(axis.highRange);
            if (s.target[a] >= 0) {
                s.position[a] = table->getVSTvalue(s.target[a]);
                s.value[a] = table->getNaturalValue(s.target[a]);
            }
        }
        s.motionMode = table->getNaturalValue(kMotionMode);
        s.motionRate = table->getNaturalValue(kMotionRate);
        s.filterOn = table->getNaturalValue(kFilterOnOff);
        s.filterFreq = table->getNaturalValue(kFilterFreq);
        motion.push_back(s);
    }

    void draw(cairo_t* cr, const PlotTitles& titles, int64_t inputFrames, int64_t outputFrames) const;
    void drawHeader(cairo_t* cr, const PlotTitles& titles, int64_t inputFrames, int64_t outputFrames) const;
    void drawGrid(cairo_t* cr, const PlotTitles& titles, const TimeScale& scale, const PlotBox& box,
                  double alpha) const;
    void drawEnvelope(cairo_t* cr, const Envelope& envelope, const TimeScale& scale, const PlotBox& box,
                      int64_t frames, int64_t measured, Colour band, Colour core, const char* label) const;
    void drawSpectrum(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const;
    void drawPads(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const;
    void drawDriven(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles, double inputSeconds) const;
    void drawTimeAxis(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const;
    void drawTail(cairo_t* cr, const TimeScale& scale, const PlotBox& box, double inputSeconds) const;
};

RenderPlot::RenderPlot(EffectHost& effect, ParameterCatalogue& catalogue, int sampleRate, int channels)
    : data_(std::make_unique<Data>(effect, catalogue, sampleRate, channels)) {
    void* table = nullptr;
    UInt32 size = sizeof table;
    if (AudioUnitGetProperty(effect.unit(), kParameterManagerProperty, kAudioUnitScope_Global, 0, &table,
                             &size) == noErr &&
        size == sizeof table)
        data_->table = static_cast<ko_paramManager*>(table);
}

RenderPlot::~RenderPlot() = default;

void RenderPlot::rendered(int64_t first, int64_t frames, const float* const* in, const float* const* out) {
    // Nothing of the pre-roll or latency is shown.
    const int64_t skip = std::clamp<int64_t>(-first, 0, frames);
    if (skip == frames) return;
    std::vector<const float*> inKept(static_cast<size_t>(data_->channelCount));
    std::vector<const float*> outKept(static_cast<size_t>(data_->channelCount));
    for (int c = 0; c < data_->channelCount; ++c) {
        inKept[static_cast<size_t>(c)] = in[c] + skip;
        outKept[static_cast<size_t>(c)] = out[c] + skip;
    }
    data_->input.add(first + skip, frames - skip, inKept.data(), data_->channelCount);
    data_->output.add(first + skip, frames - skip, outKept.data(), data_->channelCount);
    data_->spectrogram.add(outKept.data(), data_->channelCount, frames - skip);
    data_->capture(first + frames);
}

std::string RenderPlot::png(const PlotTitles& titles, int64_t inputFrames, int64_t outputFrames) const {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, PlotLayout::kWidth, PlotLayout::kHeight);
    cairo_t* cr = cairo_create(surface);
    data_->draw(cr, titles, inputFrames, std::max<int64_t>(outputFrames, 1));
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    std::string bytes;
    const cairo_status_t written = drawn == CAIRO_STATUS_SUCCESS
                                       ? cairo_surface_write_to_png_stream(surface, appendBytes, &bytes)
                                       : drawn;
    cairo_surface_destroy(surface);
    // Text drawing loaded Cairo's font caches and fontconfig's; the picture
    // is the program's last drawing, so give them back.
    cairo_debug_reset_static_data();
    FcFini();
    if (written != CAIRO_STATUS_SUCCESS)
        throw CliError(std::string("cannot draw the picture (") + cairo_status_to_string(written) + ")");
    return bytes;
}

void RenderPlot::Data::draw(cairo_t* cr, const PlotTitles& titles, int64_t inputFrames,
                            int64_t outputFrames) const {
    setColour(cr, kWindow);
    cairo_paint(cr);
    const double seconds = static_cast<double>(outputFrames) / sampleRate;
    const double inputSeconds = static_cast<double>(inputFrames) / sampleRate;
    drawHeader(cr, titles, inputFrames, outputFrames);

    const TimeScale input{seconds, PlotLayout::kInput};
    drawTail(cr, input, PlotLayout::kInput, inputSeconds);
    drawGrid(cr, titles, input, PlotLayout::kInput, 1.0);
    drawEnvelope(cr, this->input, input, PlotLayout::kInput, outputFrames, inputFrames, kInputBand,
                 kInputCore, "INPUT");

    const TimeScale output{seconds, PlotLayout::kOutput};
    drawTail(cr, output, PlotLayout::kOutput, inputSeconds);
    drawGrid(cr, titles, output, PlotLayout::kOutput, 1.0);
    drawEnvelope(cr, this->output, output, PlotLayout::kOutput, outputFrames, outputFrames, rgb(0x0f6f7a),
                 kCyan, "OUTPUT");

    const TimeScale spectrum{seconds, PlotLayout::kSpectrum};
    drawSpectrum(cr, spectrum, titles);

    const TimeScale pads{seconds, PlotLayout::kPads};
    drawTail(cr, pads, PlotLayout::kPads, inputSeconds);
    drawGrid(cr, titles, pads, PlotLayout::kPads, 1.0);
    drawPads(cr, pads, titles);

    drawDriven(cr, TimeScale{seconds, PlotLayout::kDriven}, titles, inputSeconds);
    drawTimeAxis(cr, TimeScale{seconds, PlotLayout::kDriven}, titles);

    // Where the input ends and the tail begins, across every lane.
    if (inputSeconds < seconds) {
        const double x = std::floor(input.x(inputSeconds)) + 0.5;
        cairo_save(cr);
        setColour(cr, kDimText, 0.8);
        cairo_set_line_width(cr, 1.0);
        const double dashes[] = {4.0, 3.0};
        cairo_set_dash(cr, dashes, 2, 0.0);
        cairo_move_to(cr, x, PlotLayout::kInput.y);
        cairo_line_to(cr, x, PlotLayout::kDriven.y + PlotLayout::kDriven.height);
        cairo_stroke(cr);
        cairo_restore(cr);
        drawText(cr, x + 5, PlotLayout::kInput.y + 12, "tail", 10.0, kDimText);
    }
}

void RenderPlot::Data::drawHeader(cairo_t* cr, const PlotTitles& titles, int64_t inputFrames,
                                  int64_t outputFrames) const {
    double x = 20;
    x += drawText(cr, x, 30, "MORVANE", 17.0, kCyan, Align::Left, true) + 14;
    x += drawText(cr, x, 30, titles.start + (titles.bypassed ? " (bypassed)" : ""), 14.0, kText) + 14;
    drawText(cr, x, 30, titles.input + "  \u2192  " + titles.output, 12.0, kDimText);

    std::string right = titles.transport ? format("%g BPM", titles.tempo) : std::string("no transport");
    right += "  \u00b7  " + format("%g kHz", sampleRate / 1000.0) + " " +
             (channelCount == 1   ? "mono"
              : channelCount == 2 ? "stereo"
                                  : std::to_string(channelCount) + " ch");
    right += "  \u00b7  " + format("%.1f s", static_cast<double>(inputFrames) / sampleRate);
    if (outputFrames > inputFrames)
        right += " + " + format("%.1f s tail", static_cast<double>(outputFrames - inputFrames) / sampleRate);
    drawText(cr, PlotLayout::kWidth - 24, 30, right, 12.0, kDimText, Align::Right);
}

void RenderPlot::Data::drawTail(cairo_t* cr, const TimeScale& scale, const PlotBox& box,
                                double inputSeconds) const {
    fillBox(cr, box, kPanel);
    if (inputSeconds >= scale.seconds) return;
    const double x = scale.x(inputSeconds);
    setColour(cr, kTailPanel);
    cairo_rectangle(cr, x, box.y, box.x + box.width - x, box.height);
    cairo_fill(cr);
}

// Bars (four beats) and beats of the song position, where they are far
// enough apart to read.
void RenderPlot::Data::drawGrid(cairo_t* cr, const PlotTitles& titles, const TimeScale& scale,
                                const PlotBox& box, double alpha) const {
    if (!titles.transport || !(titles.tempo > 0.0)) return;
    const double beatSeconds = 60.0 / titles.tempo;
    const double beatPixels = box.width * beatSeconds / scale.seconds;
    const double firstBeat = std::ceil(titles.startBeat - 1e-9);
    const double lastBeat = titles.startBeat + scale.seconds / beatSeconds;
    if (beatPixels * 4.0 < 3.0) return;
    cairo_save(cr);
    cairo_set_line_width(cr, 1.0);
    for (double beat = firstBeat; beat <= lastBeat + 1e-9; beat += 1.0) {
        const bool bar = std::fmod(beat, 4.0) == 0.0;
        if (!bar && beatPixels < 6.0) continue;
        const double x = std::floor(scale.x((beat - titles.startBeat) * beatSeconds)) + 0.5;
        setColour(cr, bar ? kBarLine : kBeatLine, alpha);
        cairo_move_to(cr, x, box.y);
        cairo_line_to(cr, x, box.y + box.height);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// `frames` are drawn; the levels written beside them are those of the first
// `measured` (the input's are not lowered by the tail's silence).
void RenderPlot::Data::drawEnvelope(cairo_t* cr, const Envelope& envelope, const TimeScale& scale,
                                    const PlotBox& box, int64_t frames, int64_t measured, Colour band,
                                    Colour core, const char* label) const {
    const double middle = box.y + box.height / 2.0;
    const double half = box.height / 2.0 - 2.0;
    setColour(cr, kGuide);
    cairo_rectangle(cr, box.x, std::floor(middle), box.width, 1);
    cairo_fill(cr);
    for (int px = 0; px < box.width; ++px) {
        int64_t from = static_cast<int64_t>(std::floor(scale.time(box.x + px) * sampleRate));
        int64_t to = static_cast<int64_t>(std::floor(scale.time(box.x + px + 1) * sampleRate));
        to = std::min(std::max(to, from + 1), frames);
        if (from >= to) continue;
        const EnvelopeColumn c = envelope.over(from, to);
        if (c.count == 0) continue;
        const double rms = std::sqrt(c.sumSquares / c.count);
        const double high = std::min(1.0, double(c.high)), low = std::max(-1.0, double(c.low));
        setColour(cr, band);
        cairo_rectangle(cr, box.x + px, middle - high * half, 1, std::max(1.0, (high - low) * half));
        cairo_fill(cr);
        setColour(cr, core);
        const double r = std::min(1.0, rms);
        cairo_rectangle(cr, box.x + px, middle - r * half, 1, std::max(1.0, 2 * r * half));
        cairo_fill(cr);
    }
    const EnvelopeColumn all = envelope.over(0, std::max<int64_t>(measured, 1));
    const double peak = std::max(-double(all.low), double(all.high));
    const double sumSquares = all.sumSquares;
    const int64_t count = all.count;
    drawLabel(cr, 20, box.y + 16, label, kText);
    const auto db = [](double x) {
        return x > 0.0 ? format("%.1f", 20.0 * std::log10(x)) : std::string("-inf");
    };
    drawText(cr, 20, box.y + 32, "peak " + db(peak) + " dBFS", 10.0, kDimText);
    drawText(cr, 20, box.y + 46, "RMS " + db(count > 0 ? std::sqrt(sumSquares / count) : 0.0) + " dBFS", 10.0,
             kDimText);
}

void RenderPlot::Data::drawSpectrum(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const {
    const PlotBox& box = PlotLayout::kSpectrum;
    fillBox(cr, box, kPanel);
    // Band levels from -100 to 0 dB relative to a full-scale sine, through
    // dark blue and cyan to a pale top.
    constexpr double kFloorDb = -100.0;
    constexpr Colour stops[] = {rgb(0x101318), rgb(0x142a5e), rgb(0x0b6f9c), rgb(0x00cfe0), rgb(0xf6fbe6)};
    const auto colourAt = [&](double t) {
        t = std::clamp(t, 0.0, 1.0) * 4.0;
        const int i = std::min(3, static_cast<int>(t));
        const double f = t - i;
        return Colour{stops[i].r + (stops[i + 1].r - stops[i].r) * f,
                      stops[i].g + (stops[i + 1].g - stops[i].g) * f,
                      stops[i].b + (stops[i + 1].b - stops[i].b) * f};
    };
    const auto colourOf = [&](double power) {
        const double db = power > 0.0 ? 10.0 * std::log10(power) : 2.0 * kFloorDb;
        return colourAt(1.0 - db / kFloorDb);
    };
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, box.width, box.height);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const size_t columns = spectrogram.columnCount();
    const double perColumn = static_cast<double>(spectrogram.framesPerColumn());
    std::vector<double> powers(kBands);
    for (int px = 0; px < box.width; ++px) {
        const double from = scale.time(box.x + px) * sampleRate / perColumn;
        const double to = scale.time(box.x + px + 1) * sampleRate / perColumn;
        size_t first = static_cast<size_t>(std::max(0.0, std::floor(from)));
        size_t last = std::max(first + 1, static_cast<size_t>(std::max(0.0, std::ceil(to))));
        last = std::min(last, columns);
        std::fill(powers.begin(), powers.end(), 0.0);
        if (first < last) {
            for (size_t c = first; c < last; ++c)
                for (int b = 0; b < kBands; ++b)
                    powers[static_cast<size_t>(b)] += spectrogram.power(c, b);
            for (double& p : powers)
                p /= static_cast<double>(last - first);
        }
        for (int row = 0; row < box.height; ++row) {
            const Colour c = colourOf(powers[static_cast<size_t>(box.height - 1 - row)]);
            auto* pixel = reinterpret_cast<uint32_t*>(pixels + row * stride) + px;
            *pixel = (uint32_t(c.r * 255.0 + 0.5) << 16) | (uint32_t(c.g * 255.0 + 0.5) << 8) |
                     uint32_t(c.b * 255.0 + 0.5);
        }
    }
    cairo_surface_mark_dirty(image);
    cairo_set_source_surface(cr, image, box.x, box.y);
    cairo_paint(cr);
    cairo_surface_destroy(image);

    clipTo(cr, box);
    drawGrid(cr, titles, scale, box, 0.35);
    const double top = spectrogram.highest();
    const auto yOf = [&](double hz) {
        return box.y +
               box.height * (1.0 - std::log(hz / kLowestFrequency) / std::log(top / kLowestFrequency));
    };
    // The filter's cut-off where the filter is on, in the colour of the pad
    // that moves it.
    int driver = -1;
    for (const MotionSample& s : motion)
        for (int a = 0; a < kNumPadAxes && driver < 0; ++a)
            if (s.target[a] == kFilterFreq) driver = a;
    const Colour cutoff = driver >= 0 ? kAxisColours[driver] : kCutoff;
    const auto onFilter = [&](const MotionSample& s, double& y) {
        if (s.filterOn < 0.5f || !(s.filterFreq > 0.0f)) return false;
        y = yOf(std::clamp(double(s.filterFreq), kLowestFrequency, top));
        return true;
    };
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setColour(cr, rgb(0x000000), 0.55);
    cairo_set_line_width(cr, 4.0);
    traceSeries(cr, motion, scale, sampleRate, onFilter);
    setColour(cr, cutoff);
    cairo_set_line_width(cr, 1.8);
    traceSeries(cr, motion, scale, sampleRate, onFilter);
    cairo_restore(cr);

    drawLabel(cr, 20, box.y + 16, "OUTPUT SPECTRUM", kText);
    if (!motion.empty()) {
        setColour(cr, cutoff);
        cairo_rectangle(cr, 20, box.y + 27, 14, 2);
        cairo_fill(cr);
        drawText(cr, 40, box.y + 32, "filter cut-off", 10.0, kDimText);
    }
    // The colour scale.
    for (int i = 0; i < 100; ++i) {
        const Colour c = colourAt(i / 99.0);
        setColour(cr, c);
        cairo_rectangle(cr, 20 + i, box.y + 44, 1, 6);
        cairo_fill(cr);
    }
    drawText(cr, 20, box.y + 62, format("%.0f", kFloorDb), 9.0, kDimText);
    drawText(cr, 120, box.y + 62, "0 dB", 9.0, kDimText, Align::Right);
    for (double hz : {50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        if (hz > top * 1.0001) break;
        const double y = yOf(hz);
        drawText(cr, box.x - 6, y + 3.5, hertzText(hz), 9.5, kDimText, Align::Right);
        setColour(cr, kDimText, 0.6);
        cairo_rectangle(cr, box.x - 3, std::floor(y), 3, 1);
        cairo_fill(cr);
    }
}

void RenderPlot::Data::drawPads(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const {
    const PlotBox& box = PlotLayout::kPads;
    const double inner = 6.0;
    const auto yOf = [&](double v) { return box.y + inner + (1.0 - v) * (box.height - 2 * inner); };
    drawLabel(cr, 20, box.y + 16, "PADS", kText);
    if (motion.empty()) {
        drawText(cr, box.x + 12, box.y + 20, "the effect does not share its pads", 11.0, kDimText);
        return;
    }
    clipTo(cr, box);
    for (double v : {0.25, 0.5, 0.75}) {
        setColour(cr, kGuide);
        cairo_rectangle(cr, box.x, std::floor(yOf(v)), box.width, 1);
        cairo_fill(cr);
    }

    // Gesture loops: where a pad plays its recording, one pass per motion
    // cycle, every Motion Rate beats of the song position. Alternate cycles
    // are shaded and each starts with a tick.
    std::string state;
    const double beatSeconds = titles.tempo > 0.0 ? 60.0 / titles.tempo : 0.5;
    int loops = 0;
    std::string loopLength;
    for (size_t i = 0; i < motion.size(); ++i) {
        const MotionSample& s = motion[i];
        if (std::lround(s.motionMode) != 1) continue;
        const double start = i == 0 ? 0.0 : static_cast<double>(motion[i - 1].frame) / sampleRate;
        const double end = static_cast<double>(s.frame) / sampleRate;
        const int rateIndex = std::clamp(static_cast<int>(std::lround(s.motionRate)), 0, 7);
        const double beats = MorvaneParameterManager::rateMultiplier[rateIndex];
        loopLength = beats >= 1.0 ? format("%g beat", beats) + (beats > 1.0 ? "s" : "")
                                  : "1/" + format("%g", 1.0 / beats) + " beat";
        if (!titles.transport) continue;
        const double cycle = beats * beatSeconds;
        // Cycle k starts at song position k x rate beats.
        const double phaseStart = (titles.startBeat * beatSeconds + start) / cycle;
        const double phaseEnd = (titles.startBeat * beatSeconds + end) / cycle;
        for (double k = std::floor(phaseStart); k < phaseEnd; k += 1.0) {
            const double a = std::max(start, k * cycle - titles.startBeat * beatSeconds);
            const double b = std::min(end, (k + 1) * cycle - titles.startBeat * beatSeconds);
            if (std::fmod(k, 2.0) == 0.0) {
                setColour(cr, rgb(0xffffff), 0.06);
                cairo_rectangle(cr, scale.x(a), box.y, scale.x(b) - scale.x(a), box.height);
                cairo_fill(cr);
            }
            if (k >= phaseStart && a < scale.seconds && scale.box.width * cycle / scale.seconds >= 5.0) {
                ++loops;
                setColour(cr, kText, 0.5);
                cairo_rectangle(cr, std::floor(scale.x(a)), box.y, 1, 7);
                cairo_fill(cr);
            }
        }
    }

    bool zMoves = false;
    bool moved = false;
    for (const MotionSample& s : motion) {
        zMoves = zMoves || s.pad[2] != 0.0f || s.pad[5] != 0.0f;
        for (int a = 0; a < kNumPadAxes; ++a)
            moved = moved || s.pad[a] != motion.front().pad[a];
    }
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    // Y first, then X over it; Z (touch) thin, only when it ever moves.
    for (int a : {1, 4, 0, 3, 2, 5}) {
        if ((a == 2 || a == 5) && !zMoves) continue;
        setColour(cr, kAxisColours[a], a == 2 || a == 5 ? 0.6 : 1.0);
        cairo_set_line_width(cr, a == 0 || a == 3 ? 2.0 : a == 1 || a == 4 ? 1.5 : 1.0);
        traceSeries(cr, motion, scale, sampleRate, [&](const MotionSample& s, double& y) {
            y = yOf(std::clamp(double(s.pad[a]), 0.0, 1.0));
            return true;
        });
    }
    cairo_restore(cr);

    if (!loopLength.empty())
        state = titles.transport ? "gesture loop: " + loopLength + " \u00d7 " + std::to_string(loops)
                                 : "gesture held: no transport";
    else
        state = moved ? "drifting" : "still";
    drawText(cr, 20, box.y + 31, state, 10.0, kDimText);
    // Legend: each axis and what it drives.
    double y = box.y + 50;
    for (int a = 0; a < kNumPadAxes; ++a) {
        if ((a == 2 || a == 5) && !zMoves) continue;
        const int32_t target = motion.back().target[a];
        setColour(cr, kAxisColours[a]);
        cairo_rectangle(cr, 20, y - 4, 12, a == 0 || a == 3 ? 2.5 : 1.5);
        cairo_fill(cr);
        const ParameterDescription* driven = target >= 0 ? catalogue.find(std::to_string(target)) : nullptr;
        const std::string drives = driven != nullptr ? driven->name : std::string("nothing");
        drawText(cr, 37, y, std::string(kAxisNames[a]) + "  " + drives, 9.5, target >= 0 ? kText : kDimText);
        y += 14;
    }
    drawText(cr, box.x - 6, yOf(1.0) + 7, "1", 9.5, kDimText, Align::Right);
    drawText(cr, box.x - 6, yOf(0.0) + 1, "0", 9.5, kDimText, Align::Right);
}

void RenderPlot::Data::drawDriven(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles,
                                  double inputSeconds) const {
    // One lane per parameter a pad drove, in axis order.
    struct Lane {
        int32_t target;
        std::vector<int> axes;
    };
    std::vector<Lane> lanes;
    for (int a = 0; a < kNumPadAxes; ++a) {
        std::set<int32_t> seen;
        for (const MotionSample& s : motion)
            if (s.target[a] >= 0) seen.insert(s.target[a]);
        for (int32_t target : seen) {
            auto lane =
                std::find_if(lanes.begin(), lanes.end(), [&](const Lane& l) { return l.target == target; });
            if (lane == lanes.end())
                lanes.push_back({target, {a}});
            else
                lane->axes.push_back(a);
        }
    }
    const PlotBox& area = PlotLayout::kDriven;
    if (lanes.empty()) {
        fillBox(cr, area, kPanel);
        drawLabel(cr, 20, area.y + 16, "DRIVEN", kText);
        drawText(cr, area.x + 12, area.y + 22, "the pads drive no parameter", 11.0, kDimText);
        return;
    }
    constexpr int kGap = 6;
    const int count = static_cast<int>(lanes.size());
    const int height = (area.height - kGap * (count - 1)) / count;
    for (int l = 0; l < count; ++l) {
        const Lane& lane = lanes[static_cast<size_t>(l)];
        const PlotBox box{area.x, area.y + l * (height + kGap), area.width, height};
        const TimeScale laneScale{scale.seconds, box};
        drawTail(cr, laneScale, box, inputSeconds);
        drawGrid(cr, titles, laneScale, box, 1.0);
        const double inner = 4.0;
        const auto yOf = [&](double v) { return box.y + inner + (1.0 - v) * (box.height - 2 * inner); };
        const ParameterDescription* p = catalogue.find(std::to_string(lane.target));
        const Colour colour = kAxisColours[lane.axes.front()];

        clipTo(cr, box);
        // The span the pad sweeps (its range bounds), then the value.
        for (int a : lane.axes) {
            setColour(cr, kAxisColours[a], 0.10);
            for (size_t i = 0; i < motion.size(); ++i) {
                const MotionSample& s = motion[i];
                if (s.target[a] != lane.target) continue;
                const double x0 =
                    scale.x(i == 0 ? 0.0 : static_cast<double>(motion[i - 1].frame) / sampleRate);
                const double x1 = scale.x(static_cast<double>(s.frame) / sampleRate);
                const double top = yOf(std::max(s.low[a], s.high[a])),
                             bottom = yOf(std::min(s.low[a], s.high[a]));
                cairo_rectangle(cr, x0, top, std::max(x1 - x0, 0.5), std::max(bottom - top, 1.0));
            }
            cairo_fill(cr);
        }
        float lowest = 0.0f, highest = 0.0f;
        bool any = false;
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_width(cr, 1.8);
        for (int a : lane.axes) {
            setColour(cr, kAxisColours[a]);
            traceSeries(cr, motion, laneScale, sampleRate, [&](const MotionSample& s, double& y) {
                if (s.target[a] != lane.target) return false;
                y = yOf(std::clamp(double(s.position[a]), 0.0, 1.0));
                lowest = any ? std::min(lowest, s.value[a]) : s.value[a];
                highest = any ? std::max(highest, s.value[a]) : s.value[a];
                any = true;
                return true;
            });
        }
        cairo_restore(cr);

        const std::string unit = catalogue.unitText(lane.target);
        const auto valueText = [&](float natural) {
            std::string text = catalogue.displayTextFor(lane.target, natural);
            return unit.empty() ? text : text + " " + unit;
        };
        drawLabel(cr, 20, box.y + 15, upper(p != nullptr ? p->name : std::to_string(lane.target)), kText);
        std::string by;
        for (int a : lane.axes)
            by += (by.empty() ? "" : ", ") + std::string(kAxisNames[a]);
        drawText(cr, 20, box.y + 29, "by " + by, 10.0, colour);
        if (any && box.height >= 44)
            drawText(cr, 20, box.y + 42,
                     lowest == highest ? valueText(lowest)
                                       : valueText(lowest) + " \u2013 " + valueText(highest),
                     9.5, kDimText);
        ko_paramManager& table = catalogue.table();
        drawText(cr, box.x - 6, yOf(1.0) + 7,
                 catalogue.displayTextFor(lane.target, table.naturalValueFromVSTvalue(lane.target, 1.0f)),
                 9.0, kDimText, Align::Right);
        drawText(cr, box.x - 6, yOf(0.0),
                 catalogue.displayTextFor(lane.target, table.naturalValueFromVSTvalue(lane.target, 0.0f)),
                 9.0, kDimText, Align::Right);
    }
}

void RenderPlot::Data::drawTimeAxis(cairo_t* cr, const TimeScale& scale, const PlotTitles& titles) const {
    const PlotBox& box = scale.box;
    const double baseline = box.y + box.height + 18;
    double step = 0.1;
    for (double candidate :
         {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1200.0}) {
        step = candidate;
        if (box.width * candidate / scale.seconds >= 70.0) break;
    }
    for (double t = 0.0; t <= scale.seconds + 1e-9; t += step) {
        const double x = std::floor(scale.x(t)) + 0.5;
        setColour(cr, kDimText);
        cairo_rectangle(cr, x - 0.5, box.y + box.height + 2, 1, 5);
        cairo_fill(cr);
        drawText(cr, x, baseline, secondsText(t, step), 10.0, kDimText, Align::Centre);
    }
    drawText(cr, box.x - 18, baseline, "time", 10.0, kDimText, Align::Right);

    // Bar numbers above the first lane, as many as fit.
    if (!titles.transport || !(titles.tempo > 0.0)) return;
    const double barSeconds = 4.0 * 60.0 / titles.tempo;
    const double barPixels = box.width * barSeconds / scale.seconds;
    int every = 1;
    while (barPixels * every < 26.0 && every < (1 << 20))
        every *= 2;
    const double firstBar = std::ceil(titles.startBeat / 4.0 - 1e-9);
    for (double bar = firstBar;; bar += 1.0) {
        const double t = (bar * 4.0 - titles.startBeat) * 60.0 / titles.tempo;
        if (t > scale.seconds + 1e-9) break;
        const long number = std::lround(bar) + 1;
        if ((number - 1) % every != 0) continue;
        drawText(cr, scale.x(t) + 3, PlotLayout::kInput.y - 4, std::to_string(number), 10.0, kDimText);
    }
    drawText(cr, box.x - 6, PlotLayout::kInput.y - 4, "bar", 10.0, kDimText, Align::Right);
}

} // namespace morvane_cli

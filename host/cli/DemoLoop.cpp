#include "host/cli/DemoLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace morvane_cli {

namespace {

constexpr double kPi = 3.14159265358979323846;

// xorshift32: a fixed sequence, the same on every machine.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

  private:
    uint32_t state_;
};

struct Mix {
    std::vector<double> left, right;
    int sampleRate;

    // Adds a voice at `start` seconds; `voice(t)` returns the sample at t
    // seconds into the voice; `pan` -1 (left) .. 1 (right), equal power.
    template <typename Voice> void add(double start, double length, double gain, double pan, Voice&& voice) {
        const size_t first = static_cast<size_t>(std::lround(start * sampleRate));
        const size_t count = static_cast<size_t>(length * sampleRate);
        const double angle = (pan + 1.0) * kPi / 4.0;
        const double gl = gain * std::cos(angle), gr = gain * std::sin(angle);
        for (size_t i = 0; i < count && first + i < left.size(); ++i) {
            const double x = voice(static_cast<double>(i) / sampleRate);
            left[first + i] += gl * x;
            right[first + i] += gr * x;
        }
    }
};

double midiToHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Band-limited sawtooth step correction (polyBLEP) for phase t in 0..1.
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

} // namespace

DemoLoop synthesiseDemoLoop() {
    constexpr int rate = DemoLoop::kSampleRate;
    const double beat = 60.0 / DemoLoop::kTempo;
    const double sixteenth = beat / 4.0;
    const int beats = DemoLoop::kBars * DemoLoop::kBeatsPerBar;
    const size_t frames = static_cast<size_t>(std::lround(beats * beat * rate));

    Mix mix{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0), rate};
    Noise noise(0x6d6f7276u);

    for (int bar = 0; bar < DemoLoop::kBars; ++bar) {
        const double barStart = bar * DemoLoop::kBeatsPerBar * beat;

        // Kick on 1 and 3, with a pickup before 3 in every second bar.
        std::vector<double> kicks = {0.0, 2.0 * beat};
        if (bar % 2 == 1) kicks.push_back(2.0 * beat - sixteenth);
        for (double at : kicks) {
            mix.add(barStart + at, 0.45, 0.9, 0.0, [phase = 0.0](double t) mutable {
                const double frequency = 48.0 + 120.0 * std::exp(-t / 0.035);
                phase += 2.0 * kPi * frequency / rate;
                return std::sin(phase) * std::exp(-t / 0.22) * std::min(1.0, t * 2000.0);
            });
        }

        // Snare on 2 and 4: a tone and a burst of brightened noise.
        for (double at : {beat, 3.0 * beat}) {
            mix.add(barStart + at, 0.3, 0.55, 0.05, [&noise, last = 0.0](double t) mutable {
                const double n = noise.next();
                const double bright = n - 0.6 * last;
                last = n;
                return 0.45 * std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t / 0.05) +
                       0.7 * bright * std::exp(-t / 0.09);
            });
        }

        // Hats on every eighth, accented off-beats, an open hat closing every second bar.
        for (int eighth = 0; eighth < 8; ++eighth) {
            const bool open = bar % 2 == 1 && eighth == 7;
            const double decay = open ? 0.16 : 0.022;
            const double gain = open ? 0.22 : (eighth % 2 == 1 ? 0.2 : 0.12);
            mix.add(barStart + eighth * 2.0 * sixteenth, open ? 0.4 : 0.1, gain, 0.35,
                    [&noise, previous = 0.0, decay](double t) mutable {
                        const double n = noise.next();
                        const double high = n - previous; // first difference: a simple high-pass
                        previous = n;
                        return high * std::exp(-t / decay);
                    });
        }
    }

    // The synth phrase: an A-minor figure of two bars, heard in bars 3-4 and
    // 7-8 so the echoes have room in between. (sixteenth, MIDI note, length)
    struct Note {
        int step;
        int note;
        int length;
    };
    const Note phrase[] = {
        {0, 57, 2},  {3, 60, 1},  {4, 64, 2},  {6, 69, 2},  {10, 67, 1}, {12, 64, 2}, {14, 62, 2},
        {16, 60, 2}, {19, 64, 1}, {20, 67, 2}, {22, 72, 3}, {26, 71, 1}, {28, 67, 2}, {30, 64, 2},
    };
    int voiceIndex = 0;
    for (int startBar : {2, 6}) {
        for (const Note& n : phrase) {
            const double start = (startBar * DemoLoop::kBeatsPerBar) * beat + n.step * sixteenth;
            const double held = n.length * sixteenth;
            const double frequency = midiToHz(n.note);
            const double pan = (voiceIndex++ % 2 == 0) ? -0.4 : 0.4;
            mix.add(start, held + 0.25, 0.32, pan,
                    [frequency, held, p1 = 0.0, p2 = 0.37, low = 0.0](double t) mutable {
                        // Two slightly detuned saws through a one-pole low-pass whose
                        // cut-off falls after the attack: a soft pluck.
                        const double d1 = frequency * 1.004 / rate, d2 = frequency * 0.996 / rate;
                        double saw =
                            (2.0 * p1 - 1.0 - polyBlep(p1, d1)) + (2.0 * p2 - 1.0 - polyBlep(p2, d2));
                        p1 += d1;
                        if (p1 >= 1.0) p1 -= 1.0;
                        p2 += d2;
                        if (p2 >= 1.0) p2 -= 1.0;
                        const double cutoff = 500.0 + 3500.0 * std::exp(-t / 0.12);
                        const double a = 1.0 - std::exp(-2.0 * kPi * cutoff / rate);
                        low += a * (0.5 * saw - low);
                        const double attack = std::min(1.0, t / 0.004);
                        const double release = t < held ? 1.0 : std::exp(-(t - held) / 0.04);
                        return low * attack * release * std::exp(-t / 0.6);
                    });
        }
    }

    double peak = 0.0;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double scale = peak > 0.0 ? std::pow(10.0, -6.0 / 20.0) / peak : 1.0;

    DemoLoop loop;
    loop.left.resize(frames);
    loop.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        loop.left[i] = static_cast<float>(mix.left[i] * scale);
        loop.right[i] = static_cast<float>(mix.right[i] * scale);
    }
    return loop;
}

} // namespace morvane_cli

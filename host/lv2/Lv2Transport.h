// The host's song position, as the effect's beat-and-tempo callback reports
// it, kept from the time:Position objects an LV2 host sends.
//
// Hosts differ in what a position holds: some send time:beat, others only
// the bar, the beat within the bar and the beats per bar (and send a position
// only after a locate, a start or a tempo change). The position is advanced
// sample-accurately between updates, at the tempo times the speed (0 while
// the transport stands). Beats and tempo are reported in quarter notes, as
// the callback's callers count them: a host counting in eighths (beat unit 8)
// has its beats halved.
//
// Until a position with a tempo and a beat (or bar and bar beat) has arrived,
// the callback fails, as it does in a host without a transport.
//
// Render thread only: no allocation, no lock.
#pragma once

#include <cstdint>

namespace morvane_lv2 {

// The fields of one time:Position object; absent fields stay unset.
struct PositionUpdate {
    template <typename T> struct Field {
        bool set = false;
        T value{};
        void operator=(T v) {
            set = true;
            value = v;
        }
    };
    Field<double> beat;        // song position in beats
    Field<double> bar;         // bars since the start (0 is the first)
    Field<double> barBeat;     // beats since the start of the bar
    Field<double> beatsPerBar; // meter numerator
    Field<double> beatUnit;    // meter denominator: the note value of one beat
    Field<double> tempo;       // beats per minute
    Field<double> speed;       // 1 while playing, 0 while stopped
};

class Lv2Transport {
  public:
    explicit Lv2Transport(double sampleRate) : sampleRate_(sampleRate > 0.0 ? sampleRate : 48000.0) {}

    // Takes a position that holds at the current frame.
    void apply(const PositionUpdate& update);
    // Moves on by frames rendered.
    void advance(uint32_t frames);
    // The song position (quarter-note beats) and tempo (quarter notes per
    // minute) at the current frame; false while the host has given none.
    bool query(double& beat, double& tempo) const;

  private:
    double sampleRate_;
    double beat_ = 0.0;  // quarter notes
    double tempo_ = 0.0; // quarter notes per minute
    double speed_ = 1.0;
    double beatsPerBar_ = 4.0;
    double beatUnit_ = 4.0;
    bool hasBeat_ = false;
    bool hasTempo_ = false;
};

} // namespace morvane_lv2

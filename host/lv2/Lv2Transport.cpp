#include "host/lv2/Lv2Transport.h"

#include <cmath>

namespace morvane_lv2 {

namespace {

bool finite(const PositionUpdate::Field<double>& field) {
    return field.set && std::isfinite(field.value);
}

} // namespace

void Lv2Transport::apply(const PositionUpdate& update) {
    // Meter first: the bar position below is counted in it.
    if (finite(update.beatUnit) && update.beatUnit.value > 0.0) beatUnit_ = update.beatUnit.value;
    if (finite(update.beatsPerBar) && update.beatsPerBar.value > 0.0) beatsPerBar_ = update.beatsPerBar.value;
    const double quarters = 4.0 / beatUnit_;
    if (finite(update.tempo) && update.tempo.value > 0.0) {
        tempo_ = update.tempo.value * quarters;
        hasTempo_ = true;
    }
    if (finite(update.speed)) speed_ = update.speed.value;
    if (finite(update.beat)) {
        beat_ = update.beat.value * quarters;
        hasBeat_ = true;
    } else if (finite(update.bar) && finite(update.barBeat)) {
        beat_ = (update.bar.value * beatsPerBar_ + update.barBeat.value) * quarters;
        hasBeat_ = true;
    }
}

void Lv2Transport::advance(uint32_t frames) {
    if (hasTempo_) beat_ += static_cast<double>(frames) / sampleRate_ * tempo_ / 60.0 * speed_;
}

bool Lv2Transport::query(double& beat, double& tempo) const {
    if (!hasBeat_ || !hasTempo_) return false;
    beat = beat_;
    tempo = tempo_;
    return true;
}

} // namespace morvane_lv2

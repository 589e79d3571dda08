// "4P HP": two biquad high-pass sections in series, a fixed one at Q 1 (B)
// followed by the resonant one (A). Q of A = 12 n + 1.
#pragma once

#include "dsp/kosp_filter_rbj.h"

class kosp_filter_4PHP : public kosp_filter {
  public:
    // Ready at 44100 Hz: both sections at 1000 Hz, A at Q 1/sqrt(2), B at Q 1.
    kosp_filter_4PHP();

    void clear() override;
    // Passes the new rate on to both sections, which recompute at once, so
    // the cut-off stays in hertz.
    void setAudioSamplingRate(float rate) override;
    // Render thread: x through B, then A.
    float process(float x) override;
    // Each section recomputes only if hz differs from its own frequency.
    void setFrequency(float hz) override;
    // Section A only; B keeps Q 1.
    void setResonance(float r) override;
    void setResonanceNormalized(float n) override;

  private:
    kosp_filter_rbj_high_pass sectionA; // resonant
    kosp_filter_rbj_high_pass sectionB; // fixed Q 1
};

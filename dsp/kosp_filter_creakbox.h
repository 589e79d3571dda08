// "3P LP": resonant three-pole low-pass around the extended-precision kernel
// IIR_IIRlp3pole. Resonance 0..1, used as given.
#pragma once

#include "dsp/iir_lp3pole.h"
#include "dsp/kosp_filter.h"

class kosp_filter_creakbox : public kosp_filter {
  public:
    // Ready at 44100 Hz with a 1000 Hz cut-off and silent state; the owner
    // sets the resonance before the first process (it starts at 0).
    kosp_filter_creakbox();

    void clear() override;
    // Render thread. The kernel's coefficient is recomputed on every call. A
    // decay that has underflowed single precision leaves the state at exactly
    // 0, and silence on a state at rest costs next to nothing.
    float process(float x) override;
    // Refreshes the normalised cut-off on every call, even with an unchanged
    // frequency, so a new sampling rate takes effect at the next call.
    void setFrequency(float hz) override;

  private:
    tbiquad state{};
    bool resting = true; // the state is exactly 0
    float cutoff;        // frequency / sampling rate
};

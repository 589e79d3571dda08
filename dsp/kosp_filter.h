// Common interface of the effect's resonant filters. The render chain runs the
// selected pair through these virtual calls: setFrequency (in hertz) before
// every process, so coefficients are recomputed while the cut-off moves and
// never while it rests.
//
// Threading: a filter object holds plain (non-atomic) state and must be used
// by one thread at a time. The render thread calls setFrequency and process;
// resonance changes and clear must reach the object on the render thread too,
// or while the render thread is not running it (a pair being prepared before
// it is handed over).
#pragma once

#include "dsp/kosp_block.h"

class kosp_filter : public kosp_block {
  public:
    // Stores the rate, then clear() and recalculate() through the object's own slots.
    void setAudioSamplingRate(float rate) override;
    float process(float x) override = 0;

    // Store and recalculate() only when the value differs from the held one.
    virtual void setFrequency(float hz);
    virtual void setResonance(float r);
    // Resonance on a 0..1 scale; each class maps it onto its own range and
    // always calls its own setResonance.
    virtual void setResonanceNormalized(float n);
    // Recompute coefficients from frequency, resonance and rate; nothing here.
    virtual void recalculate();

    float getFrequency() const { return frequency; }
    float getResonance() const { return resonance; }

  protected:
    // The cut-off the coefficients are computed from: held just below Nyquist,
    // so a pad sweeping to 20 kHz at a low host rate (8 kHz, 16 kHz) leaves the
    // filter stable instead of blowing up. From 44.1 kHz up, 40..20000 Hz is
    // never touched.
    float coefficientFrequency() const { return coefficientFrequency(frequency); }
    float coefficientFrequency(float hz) const {
        const float limit = 0.49f * samplingRate;
        return hz < limit ? hz : limit;
    }

    // Every class sets both in its constructor; zero until then.
    float frequency = 0.0f;
    float resonance = 0.0f;
};

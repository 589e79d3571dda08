// Biquads ("2P LP", "2P HP", "4P BP" and the sections of "4P HP"): the usual
// cookbook low-pass, high-pass and 0 dB-peak band-pass, with the bandwidth term
// alpha = sinh(1 / (2 Q)) sin w0, run in single-precision direct form I.
// The resonance is the Q.
#pragma once

#include "dsp/kosp_filter.h"

class kosp_filter_rbj : public kosp_filter {
  public:
    // Ready at 44100 Hz: 1000 Hz, Q 1/sqrt(2), silent history. This class has
    // no response of its own and passes the signal through; the subclasses
    // compute their coefficients.
    kosp_filter_rbj();

    // Zeroes the history, keeps the coefficients.
    void clear() override;
    // Render thread. Output history that has decayed to a denormal is
    // flushed to 0, and a finished decay leaves the filter at exactly 0.
    float process(float x) override;
    // Q = 10 n + 1.
    void setResonanceNormalized(float n) override;
    // w0, cos w0, sin w0 and alpha; subclasses then set the coefficients.
    void recalculate() override;

  protected:
    // Coefficients, already divided by a0.
    float a1 = 0.0f, a2 = 0.0f, b0 = 1.0f, b1 = 0.0f, b2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
    float w0 = 0.0f, cosW0 = 1.0f, sinW0 = 0.0f, alpha = 0.0f;
};

class kosp_filter_rbj_low_pass : public kosp_filter_rbj {
  public:
    kosp_filter_rbj_low_pass();
    void recalculate() override;
};

class kosp_filter_rbj_high_pass : public kosp_filter_rbj {
  public:
    kosp_filter_rbj_high_pass();
    void recalculate() override;
};

// Peak gain 1 (0 dB) at the cut-off, whatever the Q.
class kosp_filter_rbj_band_pass : public kosp_filter_rbj {
  public:
    kosp_filter_rbj_band_pass();
    // Q = 7 n + 1.
    void setResonanceNormalized(float n) override;
    void recalculate() override;
};

// Band-pass with a make-up gain rising with the Q: (Q - 0.8) * 0.2 + 1.2,
// i.e. 1.24 at Q 1 and 2.64 at Q 8.
class kosp_filter_rbj_band_pass_gain_comp : public kosp_filter_rbj_band_pass {
  public:
    // Render thread.
    float process(float x) override;
};

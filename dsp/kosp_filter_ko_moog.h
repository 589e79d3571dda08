// "4P LP": four-stage ladder low-pass in double precision with resonance fed
// back from the last stage and the input stage clipped to +-0.99.
#pragma once

#include <atomic>

#include "dsp/kosp_filter.h"

class kosp_filter_ko_moog : public kosp_filter {
  public:
    // Ready at 44100 Hz: 20 Hz cut-off, no resonance, silent history.
    kosp_filter_ko_moog();

    void clear() override;
    // Render thread.
    float process(float x) override;
    void setFrequency(float hz) override;
    // r in 0..10.5; stored as 0.4 r.
    void setResonance(float r) override;
    void setResonanceNormalized(float n) override;
    // Coefficients from the held frequency at the current rate, so that a new
    // sampling rate keeps the cut-off in hertz even if the frequency then
    // arrives unchanged.
    void recalculate() override;

  private:
    void updateFeedback();

    double fc = 0.0;
    double in1 = 0.0, in2 = 0.0, in3 = 0.0, in4 = 0.0;
    double out1 = 0.0, out2 = 0.0, out3 = 0.0, out4 = 0.0;
    double f = 0.0;
    double fb = 0.0;
    double oneMinusF = 1.0;
    double fPow4 = 0.0;

    // Tiny offset added to every input and negated after each use by any
    // instance, so the ladder never settles into denormals on silence. Shared
    // by the whole process; relaxed so that instances on different threads
    // are well-defined (they may then see the same sign twice, which is harmless).
    static std::atomic<double> teenyNoise;
};

// Static waveshaper before the rate reducer and the filter: the rational curve
// c(y) = y / (1 + 0.28 y^2) applied to the input times a drive, with a make-up
// gain that brings a full-scale input of 1.0 out at 1 - 0.100002 * drive.
#pragma once

#include <atomic>

#include "dsp/kosp_block.h"

class kosp_saturator : public kosp_block {
  public:
    // Render thread.
    float process(float x) override = 0;
    // User-interface thread (or any thread) while the render thread reads the
    // drive; it stores the drive.
    virtual void setSaturationAmount(float amount);

    // Any thread. The render chain may read both values and apply the curve
    // inline; right after a change it may see the new drive with the previous
    // make-up gain for one sample.
    float getSaturationAmount() const { return saturationAmount.load(std::memory_order_relaxed); }

  protected:
    std::atomic<float> saturationAmount{0.0f};
};

class kosp_saturator_inv_atan : public kosp_saturator {
  public:
    // Drive 0.001 (make-up gain 999.9).
    kosp_saturator_inv_atan();

    float process(float x) override;
    // Drive must be above 0 (the engine's mapping gives at least 0.0001);
    // recomputes the make-up gain once per change.
    void setSaturationAmount(float amount) override;

    float getMakeupGain() const { return makeupGain.load(std::memory_order_relaxed); }

  private:
    std::atomic<float> makeupGain{1.0f};
};

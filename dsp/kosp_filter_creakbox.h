// "3P LP": resonant three-pole low-pass around the extended-precision kernel
// IIR_IIRlp3pole. Resonance 0..1, used as given.
#pragma once

#include <cmath>

#include "dsp/csd_utilities.h"
#include "dsp/iir_lp3pole.h"
#include "dsp/kosp_filter.h"
#include "dsp/lanes.h"

class kosp_filter_creakbox : public kosp_filter {
  public:
    // Ready at 44100 Hz with a 1000 Hz cut-off and silent state; the owner
    // sets the resonance before the first process (it starts at 0).
    kosp_filter_creakbox();

    void clear() override;
    // Render thread. The kernel's warp of the cut-off (four nested sines) is
    // recomputed whenever the clamped cut-off changes. A decay that has
    // underflowed single precision leaves the state at exactly 0, and silence
    // on a state at rest costs next to nothing.
    float process(float x) override;
    // Refreshes the normalised cut-off on every call, even with an unchanged
    // frequency, so a new sampling rate takes effect at the next call.
    void setFrequency(float hz) override;

  private:
    friend class kosp_creakbox_pair;

    // The kernel's warp of a clamped cut-off. Its four nested sines are the
    // costliest thing in the chain, so a cut-off on the move (changed on this
    // call and the one before) takes the interpolated warp, within 3e-12 of
    // it. A cut-off that stands still or has just started to move gets the
    // warp itself, so a filter at rest sounds exactly as computed in full.
    long double warpOf(float a) {
        if (a == warpedCutoff) {
            moving = false;
            if (!warpExact) {
                warp = IIR_lp3pole_warp(a);
                warpExact = true;
            }
            return warp;
        }
        warpedCutoff = a;
        warpExact = !moving;
        warp = warpExact ? IIR_lp3pole_warp(a) : IIR_lp3pole_warp_moving(a);
        moving = true;
        return warp;
    }
    // One sample with the kernel's coefficient already known.
    float step(float x, float a, long double k) {
        // At rest (a zero state) silence stays exactly 0 without running the kernel.
        if (resting) {
            if (x == 0.0f) return 0.0f;
            resting = false;
        }
        const float y = static_cast<float>(IIR_lp3pole_update(&state, a, k, x));
        // A decay that has reached the single-precision denormals (and would go
        // on into the extended ones) is over once the last stage is negligible
        // too (some 600 dB down): the filter comes to rest at exactly 0.
        if (csd_is_zero_or_denormal(y) && std::fabs(state.s1) < 1.0e-30L) {
            IIR_resetIIR(&state);
            resting = true;
            return 0.0f;
        }
        return y;
    }

    tbiquad state{};
    bool resting = true;        // the state is exactly 0
    float cutoff;               // frequency / sampling rate
    float warpedCutoff = -1.0f; // clamped
    long double warp = 0.0L;
    bool warpExact = true; // warp is IIR_lp3pole_warp(warpedCutoff) itself
    bool moving = false;   // the clamped cut-off changed on the last call
};

// Two "3P LP" filters of a stereo pair run by the render chain (render
// thread), with one cut-off: setFrequency on both, and per sample one warp
// for both channels. Exactly the results of the filters' own calls.
class kosp_creakbox_pair {
  public:
    // True when the two share frequency, cut-off, resonance and rate.
    static bool canPair(const kosp_filter_creakbox& l, const kosp_filter_creakbox& r) {
        return l.frequency == r.frequency && l.cutoff == r.cutoff && l.resonance == r.resonance &&
               l.samplingRateReciprocal == r.samplingRateReciprocal;
    }
    kosp_creakbox_pair(kosp_filter_creakbox& l, kosp_filter_creakbox& r) : l(l), r(r) {}
    ~kosp_creakbox_pair() {
        r.warpedCutoff = l.warpedCutoff;
        r.warp = l.warp;
        r.warpExact = l.warpExact;
        r.moving = l.moving;
    }
    kosp_creakbox_pair(const kosp_creakbox_pair&) = delete;
    kosp_creakbox_pair& operator=(const kosp_creakbox_pair&) = delete;

    void setFrequency(float hz) {
        l.frequency = hz;
        r.frequency = hz;
        l.cutoff = r.cutoff = hz * l.samplingRateReciprocal;
    }
    FloatPair process(FloatPair x) {
        const float a = IIR_lp3pole_cutoff_float(l.cutoff);
        const long double k = IIR_lp3pole_coefficient(a, l.resonance, l.frequency, l.warpOf(a));
        return FloatPair::of(l.step(x.left(), a, k), r.step(x.right(), a, k));
    }

  private:
    kosp_filter_creakbox& l;
    kosp_filter_creakbox& r;
};

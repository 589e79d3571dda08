// "3P LP": resonant three-pole low-pass around the double-precision kernel
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

    // The kernel's warp of the clamped cut-off, followed from call to call.
    // Its four nested sines are the costliest thing in the chain, so a
    // cut-off on the move (changed on this call and the one before) takes the
    // interpolated warp, within 3e-12 of it. A cut-off that stands still or
    // has just started to move gets the warp itself, so a filter at rest
    // sounds exactly as computed in full.
    struct Warp {
        float cutoff = -1.0f; // clamped
        double value = 0.0;
        bool exact = true;   // value is IIR_lp3pole_warp(cutoff) itself
        bool moving = false; // the clamped cut-off changed on the last call
        double of(float a) {
            if (a == cutoff) {
                moving = false;
                if (!exact) {
                    value = IIR_lp3pole_warp(a);
                    exact = true;
                }
                return value;
            }
            cutoff = a;
            exact = !moving;
            value = exact ? IIR_lp3pole_warp(a) : IIR_lp3pole_warp_moving(a);
            moving = true;
            return value;
        }
    };

    // A decay that has reached the single-precision denormals (and would go
    // on into the double ones) is over once the last stage is negligible too
    // (some 600 dB down): the filter comes to rest at exactly 0.
    static bool decayIsOver(float y, double s1) {
        return csd_is_zero_or_denormal(y) && std::fabs(s1) < 1.0e-30;
    }

    tbiquad state{};
    bool resting = true; // the state is exactly 0
    float cutoff;        // frequency / sampling rate
    Warp warp;
};

// Two "3P LP" filters of a stereo pair run by the render chain (render
// thread), with one cut-off: per sample one warp and one coefficient for
// both, and the two states side by side in lanes. The states, cut-off and
// warp are taken from the filters at construction and given back at
// destruction; in between nothing else may touch the filters. Each channel's
// results are exactly those of setFrequency and process on its own filter
// (the kernel is written once for a channel and for lanes), with the warp
// followed once for both.
class kosp_creakbox_pair {
  public:
    // True when the two share frequency, cut-off, resonance and rate.
    static bool canPair(const kosp_filter_creakbox& l, const kosp_filter_creakbox& r) {
        return l.frequency == r.frequency && l.cutoff == r.cutoff && l.resonance == r.resonance &&
               l.samplingRateReciprocal == r.samplingRateReciprocal;
    }
    kosp_creakbox_pair(kosp_filter_creakbox& l, kosp_filter_creakbox& r)
        : l(l), r(r), s0(DoublePair::of(l.state.s0, r.state.s0)), s1(DoublePair::of(l.state.s1, r.state.s1)),
          resting((l.resting ? 1 : 0) | (r.resting ? 2 : 0)), frequency(l.frequency), cutoff(l.cutoff),
          rateReciprocal(l.samplingRateReciprocal), resonance(IIR_lp3pole_resonance(l.resonance)),
          warp(l.warp) {}
    ~kosp_creakbox_pair() {
        l.state.s0 = s0.left();
        r.state.s0 = s0.right();
        l.state.s1 = s1.left();
        r.state.s1 = s1.right();
        l.resting = (resting & 1) != 0;
        r.resting = (resting & 2) != 0;
        l.frequency = r.frequency = frequency;
        l.cutoff = r.cutoff = cutoff;
        l.warp = r.warp = warp;
    }
    kosp_creakbox_pair(const kosp_creakbox_pair&) = delete;
    kosp_creakbox_pair& operator=(const kosp_creakbox_pair&) = delete;

    void setFrequency(float hz) {
        frequency = hz;
        cutoff = hz * rateReciprocal;
    }
    FloatPair process(FloatPair x) {
        // Both at rest on silence: both stay exactly 0.
        if (resting == 3 && lanesOf(_mm_cmpeq_ps(x.v, _mm_setzero_ps())) == 3) return FloatPair::both(0.0f);
        const float a = IIR_lp3pole_cutoff(cutoff);
        const double k = IIR_lp3pole_coefficient(a, resonance, frequency, warp.of(a));
        IIR_lp3pole_update(s0, s1, DoublePair::both(a), DoublePair::both(k), x.widen());
        FloatPair y = FloatPair::narrow(s0);
        // The filter's decayIsOver per lane, looked at once an output has
        // underflowed. A lane at rest on silence runs the kernel on a zero
        // state, gives +0 and comes to rest again.
        const __m128 underflowed = exponentIs(y, 0);
        resting = 0;
        if (lanesOf(underflowed) != 0) {
            const __m128d over =
                _mm_and_pd(_mm_castps_pd(_mm_unpacklo_ps(underflowed, underflowed)),
                           _mm_cmplt_pd(_mm_andnot_pd(_mm_set1_pd(-0.0), s1.v), _mm_set1_pd(1.0e-30)));
            resting = _mm_movemask_pd(over);
            s0.v = _mm_andnot_pd(over, s0.v);
            s1.v = _mm_andnot_pd(over, s1.v);
            const __m128 overFloat = _mm_castpd_ps(over);
            y.v = _mm_andnot_ps(_mm_shuffle_ps(overFloat, overFloat, _MM_SHUFFLE(2, 0, 2, 0)), y.v);
        }
        return y;
    }

  private:
    kosp_filter_creakbox& l;
    kosp_filter_creakbox& r;
    DoublePair s0, s1;
    int resting; // bit 0 the left state is exactly 0, bit 1 the right
    float frequency, cutoff, rateReciprocal;
    double resonance; // clamped
    kosp_filter_creakbox::Warp warp;
};

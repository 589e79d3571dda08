// "4P LP": four-stage ladder low-pass in double precision with resonance fed
// back from the last stage and the input stage clipped to +-0.99.
#pragma once

#include <atomic>

#include "dsp/kosp_filter.h"
#include "dsp/lanes.h"

// One ladder's signal history, per channel (double) or for a stereo pair in
// lanes (DoublePair).
template <class T> struct LadderHistory {
    T in1, in2, in3, in4;
    T out1, out2, out3, out4;
};

// What one sample needs besides the history: the coefficients, the input
// gain 0.75 r + 1 and the denormal offset of this call.
template <class T> struct LadderStep { T fb, oneMinusF, fPow4, inputGain, noise; };

inline double lowerOf(double limit, double u) {
    return limit < u ? limit : u;
}
inline double higherOf(double limit, double u) {
    return limit > u ? limit : u;
}
template <class T> inline T ladderConstant(double x) {
    if constexpr (sizeof(T) == sizeof(double)) {
        return x;
    } else {
        return T::both(x);
    }
}

// One sample of the ladder: written once for a channel and for a pair of
// channels, so both give the same bits.
template <class T> inline T ladderProcess(LadderHistory<T>& h, const LadderStep<T>& k, T in) {
    // The input enters twice: its gain is 2 + 0.75 * resonance.
    T u = in - h.out4 * k.fb + in * k.inputGain;
    u = lowerOf(ladderConstant<T>(0.99), u);
    u = higherOf(ladderConstant<T>(-0.99), u);
    u = u + k.noise;
    // 0.35013 * 1.3^4 = 1: unity DC gain through the four stages.
    u = u * ladderConstant<T>(0.35013) * k.fPow4;
    const T c = ladderConstant<T>(0.3);
    h.out1 = u + c * h.in1 + k.oneMinusF * h.out1;
    h.in1 = u;
    h.out2 = h.out1 + c * h.in2 + k.oneMinusF * h.out2;
    h.in2 = h.out1;
    h.out3 = h.out2 + c * h.in3 + k.oneMinusF * h.out3;
    h.in3 = h.out2;
    h.out4 = h.out3 + c * h.in4 + k.oneMinusF * h.out4;
    h.in4 = h.out3;
    return h.out4;
}

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
    friend class kosp_ko_moog_pair;
    friend class kosp_ko_moog_single;

    struct Coefficients {
        double fc, f, fb, oneMinusF, fPow4;
    };
    // The coefficients for a cut-off (already held below Nyquist) at a rate's
    // reciprocal and a stored resonance.
    static Coefficients coefficientsFor(float hz, float rateReciprocal, float resonance) {
        Coefficients k;
        // The float reciprocal of the rate, widened.
        k.fc = 2.0 * static_cast<double>(hz) * static_cast<double>(rateReciprocal);
        k.f = 1.16 * k.fc;
        k.fb = feedbackFor(resonance, k.f);
        k.oneMinusF = 1.0 - k.f;
        k.fPow4 = (k.f * k.f) * (k.f * k.f);
        return k;
    }
    static double feedbackFor(float resonance, double f) {
        return static_cast<double>(resonance) * (1.0 - 0.15 * f * f);
    }
    void take(const Coefficients& k) {
        fc = k.fc;
        f = k.f;
        fb = k.fb;
        oneMinusF = k.oneMinusF;
        fPow4 = k.fPow4;
    }
    double inputGain() const { return 0.75 * static_cast<double>(resonance) + 1.0; }

    double fc = 0.0;
    LadderHistory<double> history{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
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

// The render chain's fast paths (render thread): a ladder, or a stereo pair
// of ladders sharing cut-off and resonance, with history and coefficients
// held in registers for a run of samples between two control ticks. Taken
// from the filters at the start of a run and given back at its end; in
// between nothing else may touch them. The results are exactly those of
// setFrequency and process on the filters one by one (left, then right).
class kosp_ko_moog_single {
  public:
    explicit kosp_ko_moog_single(kosp_filter_ko_moog& filter)
        : filter(filter),
          history(filter.history), step{filter.fb, filter.oneMinusF, filter.fPow4, filter.inputGain(), 0.0},
          noise(kosp_filter_ko_moog::teenyNoise.load(std::memory_order_relaxed)) {}
    ~kosp_ko_moog_single() {
        filter.history = history;
        kosp_filter_ko_moog::teenyNoise.store(noise, std::memory_order_relaxed);
    }
    kosp_ko_moog_single(const kosp_ko_moog_single&) = delete;
    kosp_ko_moog_single& operator=(const kosp_ko_moog_single&) = delete;

    void setFrequency(float hz) {
        if (hz == filter.frequency) return;
        filter.frequency = hz;
        const kosp_filter_ko_moog::Coefficients k = kosp_filter_ko_moog::coefficientsFor(
            filter.coefficientFrequency(), filter.samplingRateReciprocal, filter.resonance);
        filter.take(k);
        step.fb = k.fb;
        step.oneMinusF = k.oneMinusF;
        step.fPow4 = k.fPow4;
    }
    float process(float x) {
        step.noise = noise;
        noise = -noise;
        return static_cast<float>(ladderProcess(history, step, static_cast<double>(x)));
    }

  private:
    kosp_filter_ko_moog& filter;
    LadderHistory<double> history;
    LadderStep<double> step;
    double noise;
};

class kosp_ko_moog_pair {
  public:
    // True when the two share frequency, resonance, rate and coefficients.
    static bool canPair(const kosp_filter_ko_moog& l, const kosp_filter_ko_moog& r) {
        return l.frequency == r.frequency && l.resonance == r.resonance && l.samplingRate == r.samplingRate &&
               l.samplingRateReciprocal == r.samplingRateReciprocal && l.fc == r.fc && l.f == r.f &&
               l.fb == r.fb && l.oneMinusF == r.oneMinusF && l.fPow4 == r.fPow4;
    }
    kosp_ko_moog_pair(kosp_filter_ko_moog& l, kosp_filter_ko_moog& r)
        : l(l), r(r), history{pairOf(l.history.in1, r.history.in1),   pairOf(l.history.in2, r.history.in2),
                              pairOf(l.history.in3, r.history.in3),   pairOf(l.history.in4, r.history.in4),
                              pairOf(l.history.out1, r.history.out1), pairOf(l.history.out2, r.history.out2),
                              pairOf(l.history.out3, r.history.out3), pairOf(l.history.out4, r.history.out4)},
          frequency(l.frequency) {
        // Left takes the offset, right its negation; after both it is back.
        const double noise = kosp_filter_ko_moog::teenyNoise.load(std::memory_order_relaxed);
        step = LadderStep<DoublePair>{DoublePair::both(l.fb), DoublePair::both(l.oneMinusF),
                                      DoublePair::both(l.fPow4), DoublePair::both(l.inputGain()),
                                      DoublePair::of(noise, -noise)};
    }
    ~kosp_ko_moog_pair() {
        unpair(history.in1, l.history.in1, r.history.in1);
        unpair(history.in2, l.history.in2, r.history.in2);
        unpair(history.in3, l.history.in3, r.history.in3);
        unpair(history.in4, l.history.in4, r.history.in4);
        unpair(history.out1, l.history.out1, r.history.out1);
        unpair(history.out2, l.history.out2, r.history.out2);
        unpair(history.out3, l.history.out3, r.history.out3);
        unpair(history.out4, l.history.out4, r.history.out4);
        if (moved) {
            l.frequency = r.frequency = frequency;
            l.take(coefficients);
            r.take(coefficients);
        }
    }
    kosp_ko_moog_pair(const kosp_ko_moog_pair&) = delete;
    kosp_ko_moog_pair& operator=(const kosp_ko_moog_pair&) = delete;

    // Both filters' setFrequency, the coefficients computed once and given
    // to the filters at the end of the run.
    void setFrequency(float hz) {
        if (hz == frequency) return;
        frequency = hz;
        moved = true;
        coefficients = kosp_filter_ko_moog::coefficientsFor(l.coefficientFrequency(hz),
                                                            l.samplingRateReciprocal, l.resonance);
        step.fb = DoublePair::both(coefficients.fb);
        step.oneMinusF = DoublePair::both(coefficients.oneMinusF);
        step.fPow4 = DoublePair::both(coefficients.fPow4);
    }
    FloatPair process(FloatPair x) { return FloatPair::narrow(ladderProcess(history, step, x.widen())); }

  private:
    static DoublePair pairOf(double left, double right) { return DoublePair::of(left, right); }
    static void unpair(DoublePair p, double& left, double& right) {
        left = p.left();
        right = p.right();
    }

    kosp_filter_ko_moog& l;
    kosp_filter_ko_moog& r;
    LadderHistory<DoublePair> history;
    LadderStep<DoublePair> step;
    float frequency;
    bool moved = false;
    kosp_filter_ko_moog::Coefficients coefficients{};
};

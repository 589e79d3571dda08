// Two-pole Butterworth low-pass (bilinear transform), the damping behind each
// delay line.
#pragma once

#include <cstdint>
#include <cstring>

struct filter_butterworth_2P_LP {
    float cutoff;     // Hz, as applied (held below the Nyquist frequency)
    float a0, a1, a2; // feed-forward
    float b1, b2;     // feedback
    float x1, x2;     // previous two inputs
    float y1, y2;     // previous two outputs
    float output;
};

// Any thread that owns the record: zeroes the state, then sets the cut-off to 1000 Hz.
void filter_butterworth_2P_LP_init(filter_butterworth_2P_LP* f);
// Any thread that owns the record (the render thread, once per block): the
// attribute id is not examined. The cut-off is held within 1 Hz .. 0.49 x the
// sampling rate, where the float coefficients keep the poles inside the unit circle.
void filter_butterworth_2P_LP_set_attr(filter_butterworth_2P_LP* f, int attributeId, float cutoffHz);
// Any thread that owns the record: zeroes the state.
void filter_butterworth_2P_LP_clear(filter_butterworth_2P_LP* f);
inline void filter_butterworth_2P_LP_free(filter_butterworth_2P_LP*) {}

// Render thread. Results that underflow to zero or a denormal become exactly 0,
// so a decaying tail ends instead of lingering in denormals; a result that has
// become infinite or NaN (a runaway feedback loop) clears the state and gives 0,
// so the loop recovers.
inline float filter_butterworth_2P_LP_dsp(filter_butterworth_2P_LP* f, float x) {
    f->y2 = f->y1;
    f->y1 = f->output;
    const float y = f->a0 * x + f->a1 * f->x1 + f->a2 * f->x2 - f->b1 * f->y1 - f->b2 * f->y2;
    f->x2 = f->x1;
    f->x1 = x;
    uint32_t bits;
    std::memcpy(&bits, &y, sizeof bits);
    const uint32_t exponent = bits & 0x7f800000u;
    if (exponent == 0) return f->output = 0.0f;
    if (exponent == 0x7f800000u) {
        filter_butterworth_2P_LP_clear(f);
        return 0.0f;
    }
    return f->output = y;
}

inline float filter_butterworth_2P_LP_get_output(const filter_butterworth_2P_LP* f) {
    return f->output;
}

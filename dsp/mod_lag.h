// One-pole lag smoother toward a target (gains, mix and delay-time smoothing).
#pragma once

struct mod_lag {
    float riseTime;        // s, attribute 530
    float fallTime;        // s, attribute 531
    float riseCoefficient; // exp(-1 / (riseTime * sr))
    float fallCoefficient;
    float output;
    float target; // attribute 540
};

// Any thread that owns the record; coefficients use the sampling rate at the time of the call.
void mod_lag_init(mod_lag* lag);
void mod_lag_set_attr(mod_lag* lag, int attributeId, float value);
// Render thread: target = x, one step toward it with the rise coefficient.
inline float mod_lag_dsp_symmetric(mod_lag* lag, float x) {
    lag->target = x;
    lag->output = (lag->output - x) * lag->riseCoefficient + x;
    return lag->output;
}
// Render thread: one step toward the stored target; a result that underflows to
// zero or a denormal becomes exactly 0.
float mod_lag_dsp_symmetric_no_input(mod_lag* lag);
inline float mod_lag_get_output(const mod_lag* lag) {
    return lag->output;
}
inline void mod_lag_free(mod_lag*) {}

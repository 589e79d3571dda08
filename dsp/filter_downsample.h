// Sample-and-hold rate reducer ("Bitcrush").
#pragma once

struct filter_downsample {
    float ratio; // fraction of a new input taken per sample (attribute 220); 1 = every sample
    float phase; // 0 <= phase < 1 between calls
    float held;  // value being output
};

void filter_downsample_init(filter_downsample* r);
// Setting the ratio restarts the phase, so the first new input is taken on call ceil(1 / ratio).
void filter_downsample_set_attr(filter_downsample* r, int attributeId, float value);
// Render thread.
inline float filter_downsample_dsp(filter_downsample* r, float x) {
    r->phase += r->ratio;
    if (r->phase >= 1.0f) {
        r->held = x;
        r->phase -= 1.0f;
    }
    return r->held;
}
inline void filter_downsample_free(filter_downsample*) {}

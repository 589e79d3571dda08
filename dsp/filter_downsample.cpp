#include "dsp/filter_downsample.h"

#include "dsp/csd_utilities.h"

void filter_downsample_init(filter_downsample* r) {
    r->ratio = 1.0f;
    r->phase = 0.0f;
    r->held = 0.0f;
}

void filter_downsample_set_attr(filter_downsample* r, int attributeId, float value) {
    if (attributeId != kCsdAttrDownsampleRatio) return;
    r->ratio = value;
    r->phase = 0.0f;
}

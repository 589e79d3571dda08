#include "dsp/mod_lag.h"

#include <cmath>

#include "dsp/csd_utilities.h"

void mod_lag_init(mod_lag* lag) {
    lag->output = 0.0f;
    lag->target = 0.0f;
    mod_lag_set_attr(lag, kCsdAttrLagRise, 0.001f);
    mod_lag_set_attr(lag, kCsdAttrLagFall, 0.001f);
}

void mod_lag_set_attr(mod_lag* lag, int attributeId, float value) {
    switch (attributeId) {
    case kCsdAttrLagRise:
        lag->riseTime = value;
        lag->riseCoefficient = std::exp(-1.0f / (value * csd_sampling_rate()));
        break;
    case kCsdAttrLagFall:
        lag->fallTime = value;
        lag->fallCoefficient = std::exp(-1.0f / (value * csd_sampling_rate()));
        break;
    case kCsdAttrLagTarget:
        lag->target = value;
        break;
    default:
        break;
    }
}

float mod_lag_dsp_symmetric_no_input(mod_lag* lag) {
    const float out = (lag->output - lag->target) * lag->riseCoefficient + lag->target;
    if (csd_is_zero_or_denormal(out)) {
        lag->output = 0.0f;
        return 0.0f;
    }
    lag->output = out;
    return out;
}

#include "dsp/filter_butterworth_2P_LP.h"

#include <cmath>
#include <numbers>

#include "dsp/csd_utilities.h"

void filter_butterworth_2P_LP_init(filter_butterworth_2P_LP* f) {
    filter_butterworth_2P_LP_clear(f);
    filter_butterworth_2P_LP_set_attr(f, kCsdAttrDampingCutoff, 1000.0f);
}

void filter_butterworth_2P_LP_set_attr(filter_butterworth_2P_LP* f, int, float cutoffHz) {
    // At or above Nyquist the prewarped k turns negative and the poles leave the
    // unit circle; at 0 Hz it is infinite.
    const float highest = 0.49f * csd_sampling_rate();
    float fc = cutoffHz;
    if (!(fc >= 1.0f)) fc = 1.0f;
    if (fc > highest) fc = highest;
    f->cutoff = fc;

    // The period is taken from the rate itself, so a record set up before the
    // derived globals exist still gets finite coefficients.
    const double k =
        1.0 / std::tan(static_cast<double>(fc) * std::numbers::pi / static_cast<double>(csd_sampling_rate()));
    const double kk = k * k;
    const double c = 1.0 / (1.0 + std::numbers::sqrt2 * k + kk);
    f->a0 = static_cast<float>(c);
    f->a1 = static_cast<float>(2.0 * c);
    f->a2 = static_cast<float>(c);
    f->b1 = static_cast<float>(2.0 * c * (1.0 - kk));
    f->b2 = static_cast<float>(c * (1.0 - std::numbers::sqrt2 * k + kk));
}

void filter_butterworth_2P_LP_clear(filter_butterworth_2P_LP* f) {
    f->x1 = f->x2 = 0.0f;
    f->y1 = f->y2 = 0.0f;
    f->output = 0.0f;
}

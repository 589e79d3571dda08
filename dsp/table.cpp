#include "dsp/table.h"

#include <cmath>

#include "dsp/csd_utilities.h"

void table_init(table* t, int count) {
    t->count = count;
    t->data = static_cast<float*>(csd_mem_alloc(static_cast<std::size_t>(count + 1) * sizeof(float)));
    t->lastOutput = 0.0f;
}

static float curvePoint(int curveId, int i, int count, float a, float b) {
    const float t = count > 1 ? static_cast<float>(i) / static_cast<float>(count - 1) : 0.0f;
    switch (curveId) {
    case kTableCurveExponential:
        return a * std::pow(2.0f, t * std::log(b / a) / std::log(2.0f));
    case kTableCurveDecibel:
        return i == 0 ? a : b - 0.25f + 44.0f * std::log10(t + 0.0131f);
    case kTableCurveWidthA:
    case kTableCurveWidthB: {
        const float theta = (t - 0.5f) * static_cast<float>(M_PI / 2.0);
        const double c = std::cos(theta), s = std::sin(theta);
        return static_cast<float>((curveId == kTableCurveWidthA ? c - s : c + s) * 0.7071067811865476);
    }
    default:
        return 0.0f;
    }
}

void table_fill(table* t, int curveId, float a, float b) {
    if (!t->data || t->count < 1) return;
    for (int i = 0; i < t->count; ++i)
        t->data[i] = curvePoint(curveId, i, t->count, a, b);
    if (curveId == kTableCurveDecibel) t->data[t->count - 1] = b;
    t->data[t->count] = t->data[t->count - 1];
    t->lastOutput = t->data[0];
}

void table_free(table* t) {
    csd_mem_free(t->data);
    t->data = nullptr;
}

float table_inverse_calculate(int curveId, float y, float a, float b) {
    switch (curveId) {
    case kTableCurveExponential:
        return std::log(y / a) / std::log(b / a);
    case kTableCurveDecibel:
        return std::pow(10.0f, (y - (b - 0.25f)) / 44.0f) - 0.0131f;
    default:
        return 999.9f;
    }
}

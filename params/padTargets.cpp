#include "params/padTargets.h"

int32_t padTargetForIndex(float index) {
    if (!(index >= 0.0f)) return padTargetID[0];
    if (index >= static_cast<float>(kNumPadTargets - 1)) return padTargetID[kNumPadTargets - 1];
    return padTargetID[static_cast<int>(index)];
}

const MorvanePadAxis* padAxisOf(int32_t id) {
    for (const MorvanePadAxis& a : gPadAxes)
        if (id == a.axis || id == a.destination || id == a.lowRange || id == a.highRange) return &a;
    return nullptr;
}

bool isPadDestination(int32_t id) {
    const MorvanePadAxis* a = padAxisOf(id);
    return a && a->destination == id;
}

bool isPadRangeBound(int32_t id) {
    const MorvanePadAxis* a = padAxisOf(id);
    return a && (a->lowRange == id || a->highRange == id);
}

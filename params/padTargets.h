// Pad routing: which parameter each destination index drives, and how the six
// pad axes are grouped with their destination, range bounds and partner axis.
// Plain constant data, readable from any thread.
#pragma once

#include <cstdint>

#include "params/MorvaneParameterIds.h"

inline constexpr int32_t kNumPadTargets = 16;

// Indexed by a destination parameter's natural value; -1 is "no parameter".
inline constexpr int32_t padTargetID[kNumPadTargets] = {
    -1,         kFilterFreq,  kFilterResonance, kFilterType,     kFilterGain,   kSaturation,
    kBitcrush,  kFilterOnOff, kLeftDelayTime,   kRightDelayTime, kRegeneration, kWidth,
    kWetDryMix, kDelayOnOff,  kInputGain,       kOutputGain,
};

struct MorvanePadAxis {
    int32_t axis;        // pad position or touch parameter
    int32_t destination; // destination index parameter (0..15)
    int32_t lowRange;    // low bound, in the destination's normalised scale
    int32_t highRange;   // high bound
    int32_t partner;     // the same axis on the other pad
};

inline constexpr int32_t kNumPadAxes = 6;

inline constexpr MorvanePadAxis gPadAxes[kNumPadAxes] = {
    {kLeftX, kLXDestination, kLXLowRange, kLXHighRange, kRightX},
    {kLeftY, kLYDestination, kLYLowRange, kLYHighRange, kRightY},
    {kLeftZ, kLZDestination, kLZLowRange, kLZHighRange, kRightZ},
    {kRightX, kRXDestination, kRXLowRange, kRXHighRange, kLeftX},
    {kRightY, kRYDestination, kRYLowRange, kRYHighRange, kLeftY},
    {kRightZ, kRZDestination, kRZLowRange, kRZHighRange, kLeftZ},
};

// The parameter a destination index selects (-1 for index 0). The index is
// truncated; values outside 0..15 (natural values are stored unlimited) read
// the nearest end of the table, as the destination's display text does.
int32_t padTargetForIndex(float index);

// The pad axis group a parameter belongs to (as axis, destination or bound),
// or null.
const MorvanePadAxis* padAxisOf(int32_t id);

// True for the six destination parameters (25, 28, 31, 34, 37, 40).
bool isPadDestination(int32_t id);
// True for the twelve range-bound parameters.
bool isPadRangeBound(int32_t id);

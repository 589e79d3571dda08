// The factory presets: names and numbers, the 45 normalised parameter values of
// each preset and the pad drift velocities each preset starts with. The pad
// gestures that go with them live in factory_recordings.h.
//
// Everything here is constant data compiled into the program; it is read from
// any thread and never written.
#pragma once

#include <cstdint>

inline constexpr int kFactoryPresetCount = 33;
// Parameter ids 0 to 44, the values the host sees and a preset stores.
inline constexpr int kFactoryPresetValueCount = 45;

// One entry of the preset list the host is shown: preset number and name. The
// effect builds its host-facing preset records (number plus string object)
// from these.
struct FactoryPresetName {
    std::int32_t number;
    const char* name;
};

extern const FactoryPresetName kPresets[kFactoryPresetCount];

// kPresetData[n][id]: normalised value (0..1) of parameter id for preset n. The
// effect turns each into a natural value with its parameter table before
// storing it, so the reversed axes of Motion Mode and Link Mode read as they
// do everywhere else (1.0 is "Off" and "Free").
extern const float kPresetData[kFactoryPresetCount][kFactoryPresetValueCount];

// Drift of one pad, in pad units per sample (the whole pad is 1.0), loaded into
// the pad velocities unchanged whatever the sampling rate.
struct PadVelocityPair {
    float X;
    float Y;
};

extern const PadVelocityPair velocityL[kFactoryPresetCount];
extern const PadVelocityPair velocityR[kFactoryPresetCount];

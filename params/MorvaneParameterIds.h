// Identifiers of the effect's parameters. 0 to 44 are published to the host;
// 45 and 46 do not exist; 47 to 50 are the internal pad-throw velocities.
#pragma once

#include <cstdint>

enum MorvaneParameterId : int32_t {
    kFilterType = 0,
    kFilterFreq = 1,
    kFilterResonance = 2,
    kFilterGain = 3,
    kSaturation = 4,
    kBitcrush = 5,
    kFilterOnOff = 6,
    kLeftDelayTime = 7,
    kRightDelayTime = 8,
    kRegeneration = 9,
    kHostSync = 10,
    kWidth = 11,
    kWetDryMix = 12,
    kEmulation = 13,
    kDelayOnOff = 14,
    kMotionRate = 15,
    kMotionMode = 16,
    kInputGain = 17,
    kOutputGain = 18,
    kRightX = 19,
    kRightY = 20,
    kRightZ = 21,
    kLeftX = 22,
    kLeftY = 23,
    kLeftZ = 24,
    kLXDestination = 25,
    kLXLowRange = 26,
    kLXHighRange = 27,
    kLYDestination = 28,
    kLYLowRange = 29,
    kLYHighRange = 30,
    kLZDestination = 31,
    kLZLowRange = 32,
    kLZHighRange = 33,
    kRXDestination = 34,
    kRXLowRange = 35,
    kRXHighRange = 36,
    kRYDestination = 37,
    kRYLowRange = 38,
    kRYHighRange = 39,
    kRZDestination = 40,
    kRZLowRange = 41,
    kRZHighRange = 42,
    kLinkMode = 43,
    kKinetics = 44,
    kVelLX = 47,
    kVelLY = 48,
    kVelRX = 49,
    kVelRY = 50,
};

// Ids 0 .. kNumPublishedParameters - 1 are the host's parameters.
inline constexpr int32_t kNumPublishedParameters = 45;
// One past the highest id in use.
inline constexpr int32_t kParameterIdLimit = 51;

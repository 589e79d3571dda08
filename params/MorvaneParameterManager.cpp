#include "params/MorvaneParameterManager.h"

#include <cstdio>
#include <iterator>

const float MorvaneParameterManager::rateMultiplier[8] = {0.0625f, 0.125f, 0.25f, 0.5f,
                                                          1.0f,    2.0f,   4.0f,  8.0f};

const float MorvaneParameterManager::delayMultiplier[12] = {
    0.25f, 1.0f / 3.0f, 0.5f, 2.0f / 3.0f, 0.75f, 1.0f, 1.25f, 4.0f / 3.0f, 1.5f, 5.0f / 3.0f, 1.25f, 2.0f,
};

const char* const MorvaneParameterManager::filterTypeNames[6] = {"4P LP", "3P LP", "2P LP",
                                                                 "4P HP", "2P HP", "4P BP"};
const char* const MorvaneParameterManager::delayMultiplierNames[12] = {
    "1/4", "1/3", "1/2", "2/3", "3/4", "1", "5/4", "4/3", "3/2", "5/3", "5/4", "2",
};
const char* const MorvaneParameterManager::motionTimeNames[8] = {"1/64", "1/32", "1/16", "1/8",
                                                                 "1/4",  "1/2",  "1",    "2"};
const char* const MorvaneParameterManager::motionModeNames[3] = {"Off", "Play", "Rec"};
const char* const MorvaneParameterManager::linkModeNames[3] = {"Free", "Lock", "Link"};

const char* const MorvaneParameterManager::padTargetName[kNumPadTargets] = {
    "- Nothing -", "Filter Frequency", "Filter Resonance", "Filter Type",      "Filter Gain", "Saturation",
    "Bitcrush",    "Filter Active",    "Left Delay Time",  "Right Delay Time", "Delay Regen", "Delay Width",
    "Delay Mix",   "Delay Active",     "Input Gain",       "Output Gain",
};
const char* const MorvaneParameterManager::padTargetNameShort[kNumPadTargets] = {
    "- None -", "FiltFreq", "FiltResn", "FiltType", "FiltGain", "Saturate", "RateRdux", "FiltActv",
    "LDlyTime", "RDlyTime", "DlyRegen", "DlyWidth", "DelayMix", "DlyActiv", "In Gain",  "Out Gain",
};

const char* const MorvaneParameterManager::filterTypeCFStrs[6] = {"4PLP", "3PLP", "2PLP",
                                                                  "4PHP", "2PHP", "4PBP"};
const char* const MorvaneParameterManager::padTargetCFStrs[kNumPadTargets] = {
    "- None -", "FiltFreq", "FiltResn", "FiltType", "FiltGain", "Saturate", "BitCrush", "FiltActv",
    "LDlyTime", "RDlyTime", "DlyRegen", "DlyWidth", "DelayMix", "DlyActiv", "In Gain",  "Out Gain",
};

namespace {

struct Row {
    int32_t id;
    const char* name;
    const char* shortName;
    const char* unit;
    float minimum, maximum, defaultValue;
    ko_paramTypes kind;
};

constexpr Row kTable[] = {
    {kFilterType, "Filter Type", "FiltType", "", 0, 5, 0, kParamIndexed},
    {kFilterFreq, "Filter Freq", "FiltFreq", "Hz", 40, 20000, 2040, kParamExpHz},
    {kFilterResonance, "Filter Resonance", "FiltResn", "", 0, 1, 0.676f, kParamLinear},
    {kFilterGain, "Filter Gain", "FiltGain", "dB", -15, 15, 2, kParamDecibel},
    {kSaturation, "Saturation", "Saturate", "", 0, 1, 0, kParamLinear},
    {kBitcrush, "Bitcrush", "Bitcrush", "%", 0, 100, 54.5f, kParamPercent},
    {kFilterOnOff, "Filter On/Off", "Filt On", "", 0, 1, 1, kParamOnOff},
    // Natural value is the 0..1 fraction of 4..2000 ms (0.35 is 702.6 ms).
    {kLeftDelayTime, "Left Delay Time", "TimeDlyL", "msec", 4, 2000, 0.35f, kParamSyncTimeNorm},
    // Index into delayMultiplier; 8 is 3/2.
    {kRightDelayTime, "Right Delay Time", "TimeDlyR", "", 0, 11, 8, kParamIndexed},
    {kRegeneration, "Regeneration", "Regen", "dB", -60, 1, -4.84f, kParamDecibel},
    {kHostSync, "Host Sync", "HostSync", "", 0, 1, 1, kParamOnOff},
    {kWidth, "Width", "Width", "%", 0, 100, 61.3f, kParamPercent},
    {kWetDryMix, "Wet/Dry Mix", "Mix", "%", 0, 100, 50, kParamPercent},
    {kEmulation, "Emulation", "Emulate", "", 0, 1, 0, kParamIndexed},
    {kDelayOnOff, "Delay On/Off", "Delay On", "", 0, 1, 1, kParamOnOff},
    {kMotionRate, "Motion Rate", "MotnRate", "", 0, 7, 0, kParamIndexed},
    {kMotionMode, "Motion Mode", "MotnMode", "", 0, 2, 0, kParamIndexed},
    {kInputGain, "Input Gain", "In Gain", "dB", -40, 3, -1.2f, kParamDecibel},
    {kOutputGain, "Output Gain", "Out Gain", "dB", -40, 3, -1.2f, kParamDecibel},
    {kRightX, "Right X", "Right X", "", 0, 1, 0.458f, kParamLinear},
    {kRightY, "Right Y", "Right Y", "", 0, 1, 0.631f, kParamLinear},
    {kRightZ, "Right Z", "Right Z", "", 0, 1, 0, kParamLinear},
    {kLeftX, "Left X", "Left X", "", 0, 1, 0.421f, kParamLinear},
    {kLeftY, "Left Y", "Left Y", "", 0, 1, 0.292f, kParamLinear},
    {kLeftZ, "Left Z", "Left Z", "", 0, 1, 0, kParamLinear},
    {kLXDestination, "L X Destination", "L X Dest", "", 0, 15, 1, kParamIndexed},
    {kLXLowRange, "L X Low Range", "L X LoRn", "", 0, 1, 0.42f, kParamLinear},
    {kLXHighRange, "L X High Range", "L X HiRn", "", 0, 1, 0.924f, kParamLinear},
    {kLYDestination, "L Y Destination", "L Y Dest", "", 0, 15, 2, kParamIndexed},
    {kLYLowRange, "L Y Low Range", "L Y LoRn", "", 0, 1, 0.563f, kParamLinear},
    {kLYHighRange, "L Y High Range", "L Y HiRn", "", 0, 1, 0.95f, kParamLinear},
    {kLZDestination, "L Z Destination", "L Z Dest", "", 0, 15, 0, kParamIndexed},
    {kLZLowRange, "L Z Low Range", "L Z LoRn", "", 0, 1, 0, kParamLinear},
    {kLZHighRange, "L Z High Range", "L Z HiRn", "", 0, 1, 0, kParamLinear},
    {kRXDestination, "R X Destination", "R X Dest", "", 0, 15, 6, kParamIndexed},
    {kRXLowRange, "R X Low Range", "R X LoRn", "", 0, 1, 0.395f, kParamLinear},
    {kRXHighRange, "R X High Range", "R X HiRn", "", 0, 1, 0.723f, kParamLinear},
    {kRYDestination, "R Y Destination", "R Y Dest", "", 0, 15, 10, kParamIndexed},
    {kRYLowRange, "R Y Low Range", "R Y LoRn", "", 0, 1, 0.521f, kParamLinear},
    {kRYHighRange, "R Y High Range", "R Y HiRn", "", 0, 1, 0.857f, kParamLinear},
    {kRZDestination, "R Z Destination", "R Z Dest", "", 0, 15, 0, kParamIndexed},
    {kRZLowRange, "R Z Low Range", "R Z LoRn", "", 0, 1, 0, kParamLinear},
    {kRZHighRange, "R Z High Range", "R Z HiRn", "", 0, 1, 0, kParamLinear},
    {kLinkMode, "Link Mode", "LinkMode", "", 0, 2, 0, kParamIndexed},
    {kKinetics, "Kinetics", "Kinetics", "", 0, 1, 1, kParamOnOff},
    {kVelLX, "vel L X", "vel L X", "", -100, 100, 0, kParamLinear},
    {kVelLY, "vel L Y", "vel L Y", "", -100, 100, 0, kParamLinear},
    {kVelRX, "vel R X", "vel R X", "", -100, 100, 0, kParamLinear},
    {kVelRY, "vel R Y", "vel R Y", "", -100, 100, 0, kParamLinear},
};

static_assert(std::size(kTable) == 49, "ids 0 to 44 and 47 to 50");
static_assert(kParameterIdLimit <= ko_paramManager::kMaxParameters);

bool isReversedAxis(int32_t id) {
    return id == kMotionMode || id == kLinkMode;
}

// Truncating index into a name or value table of count entries; values
// outside the table (natural values are stored unlimited) read its first or
// last entry.
int listIndex(float x, int count) {
    if (!(x >= 0.0f)) return 0;
    if (x >= static_cast<float>(count - 1)) return count - 1;
    return static_cast<int>(x);
}

template <size_t N> const char* pick(const char* const (&names)[N], float x) {
    return names[listIndex(x, static_cast<int>(N))];
}

} // namespace

MorvaneParameterManager::MorvaneParameterManager() {
    for (const Row& r : kTable)
        newParameter(r.id, r.name, r.shortName, r.unit, r.minimum, r.maximum, r.defaultValue, r.kind);
}

MorvaneParameterManager::ValueStrings MorvaneParameterManager::hostValueStrings(int32_t id) {
    switch (id) {
    case kFilterType:
        return {filterTypeCFStrs, static_cast<int32_t>(std::size(filterTypeCFStrs))};
    case kLeftDelayTime:
        return {metricalNameStrings(), metricalNameCount()};
    case kRightDelayTime:
        return {delayMultiplierNames, static_cast<int32_t>(std::size(delayMultiplierNames))};
    case kMotionRate:
        return {motionTimeNames, static_cast<int32_t>(std::size(motionTimeNames))};
    case kMotionMode:
        return {motionModeNames, static_cast<int32_t>(std::size(motionModeNames))};
    case kLinkMode:
        return {linkModeNames, static_cast<int32_t>(std::size(linkModeNames))};
    default:
        if (isPadDestination(id)) return {padTargetCFStrs, kNumPadTargets};
        return {nullptr, 0};
    }
}

int32_t MorvaneParameterManager::getParameterCount() {
    return kNumPublishedParameters;
}

float MorvaneParameterManager::naturalValueFromVSTvalue(int32_t id, float normalised) {
    return ko_paramManager::naturalValueFromVSTvalue(id, isReversedAxis(id) ? 1.0f - normalised : normalised);
}

float MorvaneParameterManager::VSTvalueFromNaturalValue(int32_t id, float natural) {
    const float v = ko_paramManager::VSTvalueFromNaturalValue(id, natural);
    return isReversedAxis(id) ? 1.0f - v : v;
}

float MorvaneParameterManager::getDSPValue(int32_t id) {
    switch (id) {
    case kFilterResonance:
        return getVSTvalue(id);
    case kSaturation: {
        const float v = getVSTvalue(id);
        return 7.0f * v * v + 0.0001f;
    }
    case kBitcrush: {
        // Fraction of new input samples taken per sample: 1 at 0 %, 0.001 at 100 %.
        const float u = 1.0f - getVSTvalue(id);
        return 0.999f * u * u + 0.001f;
    }
    case kRightDelayTime:
        return delayMultiplier[listIndex(getNaturalValue(id), 12)];
    case kWidth:
        return 0.5f + 0.5f * getVSTvalue(id);
    case kMotionRate:
        return rateMultiplier[listIndex(7.0f * getVSTvalue(id) + 0.5f, 8)];
    default:
        return ko_paramManager::getDSPValue(id);
    }
}

void MorvaneParameterManager::getValueStringFromVSTvalue(int32_t id, char* text, float v, int32_t length) {
    char scratch[64];
    const float n = naturalValueFromVSTvalue(id, v);
    const auto format = [&](const char* fmt, float x) {
        std::snprintf(scratch, sizeof scratch, fmt, static_cast<double>(x));
        copyText(text, scratch, length);
    };
    switch (id) {
    case kFilterType:
        copyText(text, pick(filterTypeNames, n), length);
        return;
    case kFilterResonance:
        format("%3.3f", v);
        return;
    case kFilterGain:
    case kSaturation:
    case kRegeneration:
    case kInputGain:
    case kOutputGain:
        format("%2.1f", n);
        return;
    case kRightDelayTime:
        std::snprintf(scratch, sizeof scratch, "%sx", pick(delayMultiplierNames, n));
        copyText(text, scratch, length);
        return;
    case kEmulation:
        copyText(text, v > 0.5f ? "Digi" : "BBD", length);
        return;
    case kMotionRate:
        copyText(text, pick(motionTimeNames, n), length);
        return;
    case kMotionMode:
        copyText(text, pick(motionModeNames, n), length);
        return;
    case kLinkMode:
        copyText(text, pick(linkModeNames, n), length);
        return;
    default:
        break;
    }
    if ((id >= kRightX && id <= kLeftZ) || isPadRangeBound(id)) {
        format("%3.2f", n);
    } else if (isPadDestination(id)) {
        copyText(text, length > 8 ? pick(padTargetName, n) : pick(padTargetNameShort, n), length);
    } else {
        getValueStringFromNaturalValue(id, text, n, length < 8 ? length : 8);
    }
}

void MorvaneParameterManager::getValueString(int32_t id, char* text, int32_t length) {
    if (isPadRangeBound(id)) {
        const int32_t routed = padTargetForIndex(getNaturalValue(padAxisOf(id)->destination));
        if (routed < 0)
            copyText(text, "   0", length);
        else
            getValueStringFromVSTvalue(routed, text, getVSTvalue(id), length);
        return;
    }
    getValueStringFromVSTvalue(id, text, getVSTvalue(id), length);
}

float MorvaneParameterManager::scaleByRangeSlider(int32_t destinationId, float position) {
    if (!isPadDestination(destinationId)) return 0.0f;
    const float lo = getVSTvalue(destinationId + 1);
    const float hi = getVSTvalue(destinationId + 2);
    return lo + (hi - lo) * position;
}

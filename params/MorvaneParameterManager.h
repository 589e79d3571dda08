// The effect's parameter table: registers every parameter of the effect and
// overrides the conversions, DSP values and texts where the effect's
// parameters do not fit the generic kinds. Also holds the value-name lists
// the effect hands to the host.
//
// Threads: as ko_paramManager. getDSPValue is read on the render thread; the
// text operations run on the user-interface or host threads.
#pragma once

#include <cstdint>

#include "params/MorvaneParameterIds.h"
#include "params/ko_paramManager.h"
#include "params/padTargets.h"

class MorvaneParameterManager : public ko_paramManager {
  public:
    // Beats per motion cycle, indexed by Motion Rate.
    static const float rateMultiplier[8];
    // Right delay time as a multiple of the left, indexed by Right Delay Time.
    // Entry 10 is 5/4 like entry 6 (its name agrees).
    static const float delayMultiplier[12];

    // Display names.
    static const char* const filterTypeNames[6];
    static const char* const delayMultiplierNames[12];
    static const char* const motionTimeNames[8];
    static const char* const motionModeNames[3];
    static const char* const linkModeNames[3];
    static const char* const padTargetName[kNumPadTargets];
    static const char* const padTargetNameShort[kNumPadTargets];

    // Host value-name lists that differ from the display names.
    static const char* const filterTypeCFStrs[6];
    static const char* const padTargetCFStrs[kNumPadTargets];

    // A host value-name list: the texts and how many there are.
    struct ValueStrings {
        const char* const* strings;
        int32_t count;
    };
    // The list the host is given for a parameter's values (ids 0, 7, 8, 15,
    // 16, the six destinations and 43); {nullptr, 0} for any other id.
    // Any thread.
    static ValueStrings hostValueStrings(int32_t id);

    // Registers the whole table; values start at the defaults.
    MorvaneParameterManager();

    // 45: the published parameters (47 to 50 are registered but internal).
    int32_t getParameterCount() override;

    // Base rules, with the normalised axis reversed for Motion Mode and Link
    // Mode (normalised 1 is index 0).
    float naturalValueFromVSTvalue(int32_t id, float normalised) override;
    float VSTvalueFromNaturalValue(int32_t id, float natural) override;

    // Render thread: per-parameter DSP values for ids 2, 4, 5, 8, 11 and 15,
    // the base rule otherwise.
    float getDSPValue(int32_t id) override;

    // Per-parameter display texts; at most length characters (and at most 8
    // for the ids that use the generic texts).
    void getValueStringFromVSTvalue(int32_t id, char* text, float normalised, int32_t length) override;
    // The current value's text; a range bound reads in the units of the
    // parameter its destination drives.
    void getValueString(int32_t id, char* text, int32_t length) override;

    // Maps a 0..1 pad position into the normalised span between the low and
    // high bounds of a destination parameter (25, 28, 31, 34, 37 or 40); 0 for
    // any other id. A low bound above the high one inverts the axis. Any thread.
    float scaleByRangeSlider(int32_t destinationId, float position);
};

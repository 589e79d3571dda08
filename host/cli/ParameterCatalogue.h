// The effect's published parameters as a user names and values them on the
// command line: names (long, short or id) resolved with "did you mean"
// suggestions, values typed as natural numbers (with an optional unit), as a
// display text the parameter shows ("2P LP", "Digi", "3/2", "Lock", "1/8."),
// or as a control position 0..1.
//
// The published list, long names, ranges and value names come from the unit's
// properties; short names, kinds, display texts and the text rules come from
// the effect's parameter table, the one source of truth for them. The
// catalogue keeps a copy of the table whose values mirror the unit's, so texts
// read as the effect shows them (a range bound in its destination's units, a
// delay time as a note division while Host Sync is on).
//
// One thread (the program's).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/cli/EffectHost.h"
#include "params/MorvaneParameterManager.h"

namespace morvane_cli {

struct ParameterDescription {
    int32_t id = 0;
    std::string name;      // long name, as the unit publishes it
    std::string shortName; // the table's short name
    ko_paramTypes kind = kParamLinear;
    float minimum = 0.0f; // natural range the unit accepts
    float maximum = 0.0f;
    float defaultValue = 0.0f; // the table's default (the value a fresh unit starts at)
    float hostDefault = 0.0f;  // the default the unit publishes
    AudioUnitParameterUnit hostUnit = kAudioUnitParameterUnit_Generic;
    std::vector<std::string> valueStrings; // the unit's value names, index min..max
};

// "linear", "on/off", "percent", "exp Hz", "decibel", "indexed", ...

class ParameterCatalogue {
  public:
    explicit ParameterCatalogue(const std::vector<HostParameterInfo>& published);

    const std::vector<ParameterDescription>& parameters() const { return parameters_; }

    // By long name, short name or id (case and blanks ignored); null if none.
    const ParameterDescription* find(std::string_view name) const;
    // As find, but an unknown name is a usage error listing close matches.
    const ParameterDescription& resolve(std::string_view name) const;

    // Natural value for a typed value, in the mirrored state (see above).
    // Throws a usage error naming the parameter, the text and what it takes.
    float parseValue(const ParameterDescription& parameter, std::string_view text) const;
    // Natural value for a control position 0..1.
    float parseNormalized(const ParameterDescription& parameter, std::string_view text) const;

    // Mirror of the unit's values: one parameter, or every published one.
    void mirror(int32_t id, float natural);
    void mirrorAll(const std::function<float(int32_t)>& valueOf);
    float mirroredValue(int32_t id) { return table_.getNaturalValue(id); }

    // The display text and unit of a parameter at its mirrored value.
    std::string displayText(int32_t id) const;
    std::string displayTextFor(int32_t id, float natural);
    std::string unitText(int32_t id) const;
    // Every text the parameter takes by name, in index order (empty for
    // continuous parameters and for a free-running delay time).
    std::vector<std::string> valueNames(const ParameterDescription& parameter) const;

    // The table itself, for the texts of unpublished ids and the like.
    MorvaneParameterManager& table() { return table_; }

  private:
    struct NamedValue {
        std::string text;
        float natural;
        size_t index;    // which value (several spellings share one)
        std::string key; // the text folded for matching
    };
    // The names a parameter takes in the mirrored state. Built once per
    // parameter: the texts of list parameters never change, and the note
    // divisions of a synced time are the same for every one.
    const std::vector<NamedValue>& namedValues(const ParameterDescription& parameter) const;
    float parseNumberWithUnit(const ParameterDescription& parameter, std::string_view text,
                              bool& understood) const;

    std::vector<ParameterDescription> parameters_;
    // Long and short names folded once, in the order of parameters_: a name
    // is looked up for every automation line.
    std::vector<std::string> nameKeys_;
    std::vector<std::string> shortNameKeys_;
    mutable std::vector<std::vector<NamedValue>> listNames_; // by position in parameters_
    mutable std::vector<bool> listNamesBuilt_;
    mutable std::vector<NamedValue> divisionNames_;
    mutable std::vector<NamedValue> scratchNames_;
    // Texts and text rules; mutable because the table's text operations are
    // non-const although they change nothing.
    mutable MorvaneParameterManager table_;
};

// Splits "NAME=VALUE" at the first '='; a usage error naming `option` when
// there is no '=' or either side is empty.
void splitAssignment(std::string_view assignment, const char* option, std::string& name, std::string& value);

} // namespace morvane_cli

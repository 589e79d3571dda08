#include "host/cli/ParameterCatalogue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/cli/CliError.h"
#include "host/cli/TextMatch.h"

namespace morvane_cli {

namespace {

// Folded text without the decorative dashes of "- Nothing -".
std::string nameKey(std::string_view text) {
    std::string key = foldText(text);
    size_t begin = 0, end = key.size();
    while (begin < end && key[begin] == '-')
        ++begin;
    while (end > begin && key[end - 1] == '-')
        --end;
    return key.substr(begin, end - begin);
}

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool isSyncedTime(ko_paramTypes kind) {
    return kind == kParamSyncTimeNorm || kind == kParamSyncTime;
}

// A number followed by something that is not a unit of the parameter: for a
// parameter with named values, a sign the user meant a name.
struct UnitError : CliError {
    explicit UnitError(const std::string& message) : CliError(message, kExitUsage) {}
};

} // namespace

void splitAssignment(std::string_view assignment, const char* option, std::string& name, std::string& value) {
    const size_t equals = assignment.find('=');
    if (equals == std::string_view::npos)
        throw UsageError(std::string(option) + " \"" + std::string(assignment) + "\": expected NAME=VALUE");
    name = trimText(assignment.substr(0, equals));
    value = trimText(assignment.substr(equals + 1));
    if (name.empty())
        throw UsageError(std::string(option) + " \"" + std::string(assignment) + "\": no parameter name");
    if (value.empty())
        throw UsageError(std::string(option) + " \"" + std::string(assignment) + "\": no value for " + name);
}

ParameterCatalogue::ParameterCatalogue(const std::vector<HostParameterInfo>& published) {
    parameters_.reserve(published.size());
    for (const HostParameterInfo& info : published) {
        ParameterDescription p;
        p.id = static_cast<int32_t>(info.id);
        p.name = info.name.empty() ? table_.getName(p.id) : info.name;
        char shortName[16];
        table_.getName(p.id, shortName, 8);
        p.shortName = shortName;
        p.kind = table_.getType(p.id);
        p.minimum = info.minimum;
        p.maximum = info.maximum;
        p.defaultValue = table_.hasParameter(p.id) ? table_.getDefaultValue(p.id) : info.hostDefault;
        p.hostDefault = info.hostDefault;
        p.hostUnit = info.unit;
        p.valueStrings = info.valueStrings;
        nameKeys_.push_back(foldText(p.name));
        shortNameKeys_.push_back(foldText(p.shortName));
        parameters_.push_back(std::move(p));
    }
    listNames_.resize(parameters_.size());
    listNamesBuilt_.resize(parameters_.size(), false);
}

const ParameterDescription* ParameterCatalogue::find(std::string_view name) const {
    const std::string trimmed = trimText(name);
    if (!trimmed.empty() && std::all_of(trimmed.begin(), trimmed.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        const long id = std::strtol(trimmed.c_str(), nullptr, 10);
        for (const ParameterDescription& p : parameters_)
            if (p.id == id) return &p;
        return nullptr;
    }
    const std::string key = foldText(trimmed);
    for (size_t i = 0; i < parameters_.size(); ++i)
        if (nameKeys_[i] == key) return &parameters_[i];
    for (size_t i = 0; i < parameters_.size(); ++i)
        if (shortNameKeys_[i] == key) return &parameters_[i];
    return nullptr;
}

const ParameterDescription& ParameterCatalogue::resolve(std::string_view name) const {
    if (const ParameterDescription* p = find(name)) return *p;
    std::vector<std::string> candidates;
    for (const ParameterDescription& p : parameters_) {
        candidates.push_back(p.name);
        candidates.push_back(p.shortName);
    }
    const std::vector<std::string> close = closestMatches(name, candidates);
    std::string message = "unknown parameter \"" + trimText(name) + "\"";
    if (!close.empty())
        message += "; did you mean " + quotedList(close) + "?";
    else
        message += " (\"morvane params\" lists them)";
    throw UsageError(message);
}

const std::vector<ParameterCatalogue::NamedValue>&
ParameterCatalogue::namedValues(const ParameterDescription& p) const {
    static const std::vector<NamedValue> none;
    const auto named = [](std::string text, float natural, size_t index) {
        std::string key = nameKey(text);
        return NamedValue{std::move(text), natural, index, std::move(key)};
    };
    char text[64];
    if (p.kind == kParamOnOff || p.kind == kParamIndexed) {
        // Cached by the parameter's place in the catalogue (a description
        // from elsewhere is looked up by id, else built afresh).
        size_t slot = 0;
        while (slot < parameters_.size() && parameters_[slot].id != p.id)
            ++slot;
        const bool cached = slot < parameters_.size();
        std::vector<NamedValue>& list = cached ? listNames_[slot] : scratchNames_;
        if (cached && listNamesBuilt_[slot]) return list;
        list.clear();
        const int first = static_cast<int>(std::lround(p.minimum));
        const int last = static_cast<int>(std::lround(p.maximum));
        for (int n = first; n <= last; ++n) {
            const float natural = static_cast<float>(n);
            const float position = table_.VSTvalueFromNaturalValue(p.id, natural);
            table_.getValueStringFromVSTvalue(p.id, text, position, 40);
            const size_t index = static_cast<size_t>(n - first);
            list.push_back(named(trimText(text), natural, index));
            table_.getValueStringFromVSTvalue(p.id, text, position, 8);
            list.push_back(named(trimText(text), natural, index));
            if (index < p.valueStrings.size()) list.push_back(named(p.valueStrings[index], natural, index));
        }
        if (cached) listNamesBuilt_[slot] = true;
        return list;
    }
    if (isSyncedTime(p.kind) && table_.getHostSynced(p.id)) {
        if (!divisionNames_.empty()) return divisionNames_;
        // Note divisions: the natural value is the 0..1 position whose
        // fifteenths pick the division; aim at the start of each slot, nudged
        // up where single precision would truncate into the slot below.
        for (int i = 0; i < ko_paramManager::gNumberOfBeatMults; ++i) {
            float natural = static_cast<float>(i) / 15.0f;
            while (static_cast<int>(natural * 15.0f) < i)
                natural = std::nextafter(natural, 1.0f);
            const size_t index = static_cast<size_t>(i);
            divisionNames_.push_back(named(trimText(ko_paramManager::beatTimeCFStrs[i]), natural, index));
            divisionNames_.push_back(named(trimText(ko_paramManager::beatTimeStr[i]), natural, index));
        }
        return divisionNames_;
    }
    return none;
}

std::vector<std::string> ParameterCatalogue::valueNames(const ParameterDescription& p) const {
    // One text per value, in order: the longest of its spellings (the display text).
    std::vector<std::string> names;
    for (const NamedValue& n : namedValues(p)) {
        if (n.index >= names.size()) names.resize(n.index + 1);
        if (n.text.size() > names[n.index].size()) names[n.index] = n.text;
    }
    return names;
}

float ParameterCatalogue::parseNumberWithUnit(const ParameterDescription& p, std::string_view typed,
                                              bool& understood) const {
    understood = false;
    const std::string text = trimText(typed);
    if (text.empty()) return 0.0f;
    const char first = text[0];
    if (!(std::isdigit(static_cast<unsigned char>(first)) || first == '+' || first == '-' || first == '.'))
        return 0.0f;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    const size_t numberLength = static_cast<size_t>(end - text.c_str());
    double number = 0.0;
    if (numberLength == 0 || !parseNumber(text.substr(0, numberLength), number)) return 0.0f;
    const std::string suffix = foldText(text.substr(numberLength));

    const std::string label = p.name;
    const std::string unit = unitText(p.id);
    double scale = 1.0;
    bool milliseconds = false;
    if (!suffix.empty()) {
        if ((p.kind == kParamExpHz || p.kind == kParamLinearHz) &&
            (suffix == "hz" || suffix == "khz" || suffix == "k")) {
            scale = suffix == "hz" ? 1.0 : 1000.0;
        } else if (p.kind == kParamDecibel && suffix == "db") {
        } else if (p.kind == kParamPercent && suffix == "%") {
        } else if (isSyncedTime(p.kind) &&
                   (suffix == "ms" || suffix == "msec" || suffix == "s" || suffix == "sec")) {
            milliseconds = true;
            scale = (suffix == "s" || suffix == "sec") ? 1000.0 : 1.0;
        } else {
            throw UnitError(
                label + ": \"" + text + "\" has a unit it does not take" +
                (unit.empty() ? std::string(" (it takes a plain number)") : " (its unit is " + unit + ")"));
        }
    }
    number *= scale;

    if (milliseconds) {
        // The time's natural value is its place in the table's millisecond range.
        const double lo = table_.getMinimumValue(p.id), hi = table_.getMaximumValue(p.id);
        if (table_.getHostSynced(p.id))
            throw UsageError(label + ": \"" + text +
                             "\" is a time, but Host Sync is On and it takes a note division (" +
                             quotedList(valueNames(p)) + "); set \"Host Sync=Off\" first");
        if (number < lo - 1e-6 || number > hi + 1e-6)
            throw UsageError(label + ": " + formatNumber(number) + " ms is outside " + formatNumber(lo) +
                             ".." + formatNumber(hi) + " ms");
        understood = true;
        return static_cast<float>(std::clamp((number - lo) / (hi - lo), 0.0, 1.0));
    }

    const double lo = p.minimum, hi = p.maximum;
    const double tolerance = 1e-6 * std::max(1.0, hi - lo);
    const std::string unitSuffix = unit.empty() || isSyncedTime(p.kind) ? "" : " " + unit;
    if (number < lo - tolerance || number > hi + tolerance)
        throw UsageError(label + ": " + formatNumber(number) + unitSuffix + " is outside " +
                         formatNumber(lo) + ".." + formatNumber(hi) + unitSuffix);
    if ((p.kind == kParamIndexed || p.kind == kParamOnOff) && std::fabs(number - std::round(number)) > 1e-6)
        throw UsageError(label + ": " + text + " is not a whole number (it takes " + formatNumber(lo) + ".." +
                         formatNumber(hi) + " or a name: " + quotedList(valueNames(p)) + ")");
    understood = true;
    if (p.kind == kParamIndexed || p.kind == kParamOnOff) return static_cast<float>(std::round(number));
    number = std::clamp(number, lo, hi);
    // Plain numbers go through the table's own text entry where its range is
    // the published one (not for times kept as a 0..1 fraction).
    if (!isSyncedTime(p.kind) && scale == 1.0 && table_.getMinimumValue(p.id) == p.minimum &&
        table_.getMaximumValue(p.id) == p.maximum) {
        char digits[40];
        std::snprintf(digits, sizeof digits, "%.9g", number);
        float natural = 0.0f;
        if (std::strlen(digits) <= 10 && table_.naturalValueFromString(p.id, digits, natural)) return natural;
    }
    return static_cast<float>(number);
}

float ParameterCatalogue::parseValue(const ParameterDescription& p, std::string_view typed) const {
    const std::string text = trimText(typed);
    if (text.empty()) throw UsageError(p.name + ": empty value");

    // "#N": an index, for lists whose names are numbers themselves.
    if (text[0] == '#' && (p.kind == kParamIndexed || p.kind == kParamOnOff)) {
        double index = 0.0;
        if (!parseNumber(text.substr(1), index) || std::fabs(index - std::round(index)) > 1e-9 ||
            index < p.minimum - 1e-9 || index > p.maximum + 1e-9)
            throw UsageError(p.name + ": \"" + text + "\" is not an index " + formatNumber(p.minimum) + ".." +
                             formatNumber(p.maximum));
        return static_cast<float>(std::round(index));
    }

    const std::vector<NamedValue>& named = namedValues(p);
    const std::string key = nameKey(text);
    const NamedValue* byName = nullptr;
    for (const NamedValue& candidate : named) {
        if (candidate.key == key) {
            byName = &candidate;
            break;
        }
    }

    const bool hasNames = !named.empty();
    bool understood = false;
    float byNumber = 0.0f;
    try {
        byNumber = parseNumberWithUnit(p, text, understood);
    } catch (const UnitError&) {
        // A list parameter answers a near miss ("2P BP") with its names below.
        if (byName == nullptr && !hasNames) throw;
        understood = false;
    } catch (const CliError&) {
        if (byName == nullptr) throw;
        understood = false;
    }

    if (byName != nullptr && understood && byName->natural != byNumber) {
        const std::vector<std::string> names = valueNames(p);
        const auto nameAt = [&](float natural) { return names[static_cast<size_t>(natural - p.minimum)]; };
        // (Only list parameters have numbers for names: index = natural - minimum.)
        throw UsageError(p.name + ": \"" + text + "\" could be the name \"" + nameAt(byName->natural) +
                         "\" (index " + formatNumber(byName->natural) + ") or index " +
                         formatNumber(byNumber) + " (\"" + nameAt(byNumber) + "\"); write \"#" +
                         formatNumber(byName->natural) + "\" or \"#" + formatNumber(byNumber) + "\"");
    }
    if (byName != nullptr) return byName->natural;
    if (understood) return byNumber;

    std::string message = p.name + ": \"" + text + "\" is not a value it takes";
    const std::vector<std::string> names = valueNames(p);
    if (!names.empty()) {
        // Suggest each value once, by its display name, whichever of its
        // spellings came close.
        std::vector<std::string> candidates;
        for (const NamedValue& n : named)
            candidates.push_back(n.text);
        std::vector<std::string> close;
        for (const std::string& match : closestMatches(text, candidates, candidates.size())) {
            const auto spelling = std::find_if(named.begin(), named.end(),
                                               [&](const NamedValue& n) { return n.text == match; });
            const std::string& shown = names[spelling->index];
            if (close.size() < 3 && std::find(close.begin(), close.end(), shown) == close.end())
                close.push_back(shown);
        }
        if (!close.empty()) message += "; did you mean " + quotedList(close) + "?";
        message += " (values: " + quotedList(names, ", ") + ")";
    } else if (isSyncedTime(p.kind)) {
        message += " (a 0..1 position, or a time such as 250ms)";
    } else {
        const std::string unit = unitText(p.id);
        message += " (a number " + formatNumber(p.minimum) + ".." + formatNumber(p.maximum) +
                   (unit.empty() ? "" : " " + unit) + ")";
    }
    throw UsageError(message);
}

float ParameterCatalogue::parseNormalized(const ParameterDescription& p, std::string_view typed) const {
    double position = 0.0;
    if (!parseNumber(typed, position) || position < 0.0 || position > 1.0)
        throw UsageError(p.name + ": \"" + trimText(typed) + "\" is not a control position 0..1");
    return table_.naturalValueFromVSTvalue(p.id, static_cast<float>(position));
}

void ParameterCatalogue::mirror(int32_t id, float natural) {
    table_.setNaturalValue(id, natural);
    // Host Sync switches the delay time between milliseconds and note divisions.
    if (id == kHostSync) table_.setHostSynced(kLeftDelayTime, natural > 0.5f);
}

void ParameterCatalogue::mirrorAll(const std::function<float(int32_t)>& valueOf) {
    for (const ParameterDescription& p : parameters_)
        table_.setNaturalValue(p.id, valueOf(p.id));
    table_.setHostSynced(kLeftDelayTime, table_.getNaturalValue(kHostSync) > 0.5f);
}

std::string ParameterCatalogue::displayText(int32_t id) const {
    char text[64];
    table_.getValueString(id, text, 40);
    return trimText(text);
}

std::string ParameterCatalogue::displayTextFor(int32_t id, float natural) {
    const float kept = table_.getNaturalValue(id);
    table_.setNaturalValue(id, natural);
    std::string text = displayText(id);
    table_.setNaturalValue(id, kept);
    return text;
}

std::string ParameterCatalogue::unitText(int32_t id) const {
    char text[32];
    table_.getUnitsName(id, text, 15);
    return trimText(text);
}

} // namespace morvane_cli

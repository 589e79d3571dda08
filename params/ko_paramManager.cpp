#include "params/ko_paramManager.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "dsp/csd_utilities.h"

const float ko_paramManager::gBeatMults[16] = {
    0.125f, 1.0f / 6.0f, 0.25f, 1.0f / 3.0f, 0.375f,      0.5f, 2.0f / 3.0f, 0.75f,
    1.0f,   4.0f / 3.0f, 1.5f,  2.0f,        8.0f / 3.0f, 3.0f, 4.0f,        4.0f,
};

const char* const ko_paramManager::beatTimeStr[16] = {
    "1/32 ", "1/16T", "1/16 ", "1/8 T", "1/16.", "1/8  ", "1/4 T", "1/8. ",
    "1/4  ", "1/2 T", "1/4. ", "1/2  ", "1/1 T", "1/2 .", "1/1  ", "1/1  ",
};

const char* const ko_paramManager::beatTimeCFStrs[15] = {
    "1/32 ", "1/16T", "1/16 ", "1/8 T", "1/16.", "1/8  ", "1/4 T", "1/8. ",
    "1/4  ", "1/2 T", "1/4 .", "1/2  ", "1/1 T", "1/2 .", "1/1  ",
};

CFArrayRef ko_paramManager::getMetricalNames() {
    const void* names[gNumberOfBeatMults];
    for (int32_t i = 0; i < gNumberOfBeatMults; ++i)
        names[i] = CFStringCreateWithCString(kCFAllocatorDefault, beatTimeCFStrs[i], kCFStringEncodingASCII);
    // The array retains the strings; ours are released once it holds them.
    CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, names, gNumberOfBeatMults, &kCFTypeArrayCallBacks);
    for (const void* name : names)
        if (name) CFRelease(name);
    return array;
}

namespace {

constexpr int kScratch = 64;

// Above hi becomes hi, otherwise below lo becomes lo. NaN fails both tests of
// the plain rule and would pass through; here it lands on lo.
float limited(float n, float lo, float hi) {
    if (n > hi) return hi;
    if (n >= lo) return n;
    return lo;
}

float limit01(float x) {
    return limited(x, 0.0f, 1.0f);
}

// Truncating index into a table of count entries; values outside the table
// (natural values are stored unlimited) read its first or last entry.
int tableIndex(float x, int count) {
    return static_cast<int>(limited(x, 0.0f, static_cast<float>(count - 1)));
}

int beatIndex(float x) {
    return tableIndex(x, 16);
}

// Linear mapping from a normalised position; an empty range maps to 0 (not NaN).
float linearVST(float n, float lo, float hi) {
    const float span = hi - lo;
    return span != 0.0f ? (n - lo) / span : 0.0f;
}

// "%3.3f" below 1, "%4.2f" below 10, "%4.1f" below 100, "%4.0f" otherwise.
void formatLadder(char* scratch, float n) {
    const double d = n;
    if (n < 1.0f)
        std::snprintf(scratch, kScratch, "%3.3f", d);
    else if (n < 10.0f)
        std::snprintf(scratch, kScratch, "%4.2f", d);
    else if (n < 100.0f)
        std::snprintf(scratch, kScratch, "%4.1f", d);
    else
        std::snprintf(scratch, kScratch, "%4.0f", d);
}

uint64_t packValues(float normalised, float natural) {
    return (static_cast<uint64_t>(std::bit_cast<uint32_t>(normalised)) << 32) |
           std::bit_cast<uint32_t>(natural);
}
float unpackNatural(uint64_t word) {
    return std::bit_cast<float>(static_cast<uint32_t>(word));
}
float unpackNormalised(uint64_t word) {
    return std::bit_cast<float>(static_cast<uint32_t>(word >> 32));
}

bool isSyncKind(ko_paramTypes kind) {
    return kind >= kParamSyncTime && kind <= kParamSyncRateNorm;
}

} // namespace

static_assert(std::atomic<uint64_t>::is_always_lock_free, "value pairs must be lock-free");

ko_paramManager::ko_paramManager() = default;

ko_paramManager::~ko_paramManager() {
    for (Entry& e : entries)
        if (e.curve.data) table_free(&e.curve);
}

void ko_paramManager::storeValues(Entry& e, float normalised, float natural) {
    e.values.store(packValues(normalised, natural), std::memory_order_relaxed);
}

bool ko_paramManager::hasParameter(int32_t id) const {
    return entry(id) != nullptr;
}

void ko_paramManager::copyText(char* text, const char* source, int32_t length) {
    if (!text || length < 0) return;
    int32_t i = 0;
    if (source)
        for (; i < length && source[i]; ++i)
            text[i] = source[i];
    text[i] = '\0';
}

float ko_paramManager::lookup(int32_t id, float x) const {
    const Entry* e = entry(id);
    if (!e) return 0.0f;
    x = limit01(x);
    if (e->curve.data) {
        // A private copy of the record: the lookup writes lastOutput, which must
        // not be shared between threads reading the same table.
        table local = e->curve;
        return table_lookup(&local, x);
    }
    // The table could not be allocated: evaluate the curve directly.
    const float lo = e->minimum, hi = e->maximum;
    if (e->curveId == kTableCurveDecibel) {
        if (x <= 0.0f) return lo;
        if (x >= 1.0f) return hi;
        return hi - 0.25f + 44.0f * std::log10(x + 0.0131f);
    }
    return lo * std::pow(hi / lo, x);
}

// ---------------------------------------------------------------------------
// Registration

void ko_paramManager::newParameter(int32_t id, const char* name, const char* shortName, const char* unit,
                                   float minimum, float maximum, float defaultValue, ko_paramTypes kind) {
    if (id < 0 || id >= kMaxParameters) return;
    Entry& e = entries[static_cast<size_t>(id)];
    if (!e.registered) ++registeredCount;
    if (e.curve.data) table_free(&e.curve);
    e.curve = table{0, nullptr, 0.0f};
    e.curveId = 0;

    e.name = name ? name : "";
    e.shortName = shortName ? shortName : "";
    e.unit = unit ? unit : "";
    e.minimum = minimum;
    e.maximum = maximum;
    e.defaultValue = defaultValue;
    e.kind = kind;
    e.randomisable.store(true, std::memory_order_relaxed);
    e.aux.store(0, std::memory_order_relaxed); // host sync off for kinds 8 to 11

    switch (kind) {
    case kParamExpHz:
    case kParamSyncRate:
    case kParamSyncRateNorm:
        e.curveId = kTableCurveExponential;
        break;
    case kParamDecibel:
        e.curveId = kTableCurveDecibel;
        break;
    default:
        break;
    }
    if (e.curveId) {
        table_init(&e.curve, kLookupTablePoints);
        table_fill(&e.curve, e.curveId, minimum, maximum);
    }
    e.registered = true;
    setNaturalValue(id, defaultValue);
}

// ---------------------------------------------------------------------------
// Values

float ko_paramManager::getVSTvalue(int32_t id) {
    const Entry* e = entry(id);
    return e ? unpackNormalised(e->values.load(std::memory_order_relaxed)) : 0.0f;
}

void ko_paramManager::setVSTvalue(int32_t id, float normalised) {
    Entry* e = entry(id);
    if (!e) return;
    storeValues(*e, normalised, naturalValueFromVSTvalue(id, normalised));
}

float ko_paramManager::getNaturalValue(int32_t id) {
    const Entry* e = entry(id);
    return e ? unpackNatural(e->values.load(std::memory_order_relaxed)) : 0.0f;
}

void ko_paramManager::setNaturalValue(int32_t id, float natural) {
    Entry* e = entry(id);
    if (!e) return;
    storeValues(*e, VSTvalueFromNaturalValue(id, natural), natural);
}

// One whole natural unit up (+1) or down (-1): switches toggle, lists and
// note divisions wrap round, everything else stops at its bound.
static float steppedNaturalValue(ko_paramTypes kind, float n, float lo, float hi, float step) {
    switch (kind) {
    case kParamOnOff:
        return n == 0.0f ? 1.0f : 0.0f;
    case kParamIndexed:
    case kParamMetrical:
        if (n + step > hi) return lo;
        if (n + step < lo) return hi;
        return n + step;
    default:
        return n + step > hi ? hi : (n + step < lo ? lo : n + step);
    }
}

void ko_paramManager::incrementNaturalValue(int32_t id) {
    if (!hasParameter(id)) return;
    setNaturalValue(id, steppedNaturalValue(getType(id), getNaturalValue(id), getMinimumValue(id),
                                            getMaximumValue(id), 1.0f));
}

void ko_paramManager::decrementNaturalValue(int32_t id) {
    if (!hasParameter(id)) return;
    setNaturalValue(id, steppedNaturalValue(getType(id), getNaturalValue(id), getMinimumValue(id),
                                            getMaximumValue(id), -1.0f));
}

void ko_paramManager::setAuxValue(int32_t id, int32_t value) {
    if (Entry* e = entry(id)) e->aux.store(value, std::memory_order_relaxed);
}

int32_t ko_paramManager::getAuxValue(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->aux.load(std::memory_order_relaxed) : 0;
}

void ko_paramManager::setHostSynced(int32_t id, bool flag) {
    if (!isSyncKind(getType(id))) return;
    setAuxValue(id, flag ? 1 : 0);
    // Same control position, natural value recomputed in the new mode.
    setVSTvalue(id, getVSTvalue(id));
}

bool ko_paramManager::getHostSynced(int32_t id) {
    return isSyncKind(getType(id)) && getAuxValue(id) != 0;
}

void ko_paramManager::setRandomizeable(int32_t id, bool flag) {
    if (Entry* e = entry(id)) e->randomisable.store(flag, std::memory_order_relaxed);
}

bool ko_paramManager::canRandomize(int32_t id) {
    const Entry* e = entry(id);
    return e && e->randomisable.load(std::memory_order_relaxed);
}

void ko_paramManager::randomize(int32_t id) {
    if (!canRandomize(id)) return;
    const ko_paramTypes kind = getType(id);
    if (kind == kParamOnOff ||
        (kind == kParamIndexed && getMinimumValue(id) == 0.0f && getMaximumValue(id) == 1.0f)) {
        setVSTvalue(id, (std::rand() & 1) ? 1.0f : 0.0f);
        return;
    }
    setVSTvalue(id, std::fabs(static_cast<float>(std::rand()) * 0x1p-31f));
}

float ko_paramManager::getDSPValue(int32_t id) {
    return dspValueFromNaturalValue(id, getNaturalValue(id));
}

float ko_paramManager::getDefaultValue(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->defaultValue : 0.0f;
}

float ko_paramManager::getMinimumValue(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->minimum : 0.0f;
}

float ko_paramManager::getMaximumValue(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->maximum : 0.0f;
}

ko_paramTypes ko_paramManager::getType(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->kind : kParamLinear;
}

int32_t ko_paramManager::getParameterCount() {
    return registeredCount;
}

// ---------------------------------------------------------------------------
// Conversions

float ko_paramManager::VSTvalueFromNaturalValue(int32_t id, float n) {
    if (!hasParameter(id)) return 0.0f;
    const float lo = getMinimumValue(id), hi = getMaximumValue(id);
    float v = 0.0f;
    switch (getType(id)) {
    case kParamOnOff:
        v = n;
        break;
    case kParamExpHz:
        v = table_inverse_calculate(kTableCurveExponential, n, lo, hi);
        break;
    case kParamDecibel:
        v = table_inverse_calculate(kTableCurveDecibel, n, lo, hi);
        break;
    case kParamMetrical:
        v = n / 15.0f;
        break;
    case kParamSyncTime:
        v = getHostSynced(id) ? n / 15.0f : linearVST(n, lo, hi);
        break;
    case kParamSyncRate:
        v = getHostSynced(id) ? 1.0f - n / 15.0f : table_inverse_calculate(kTableCurveExponential, n, lo, hi);
        break;
    case kParamSyncTimeNorm:
    case kParamSyncRateNorm:
        v = n;
        break;
    default: // linear, percent, linear Hz, indexed
        v = linearVST(n, lo, hi);
        break;
    }
    return limit01(v);
}

float ko_paramManager::naturalValueFromVSTvalue(int32_t id, float v) {
    if (!hasParameter(id)) return 0.0f;
    const float lo = getMinimumValue(id), hi = getMaximumValue(id);
    switch (getType(id)) {
    case kParamOnOff:
        return v > 0.5f ? 1.0f : 0.0f;
    case kParamExpHz:
    case kParamDecibel:
        return lookup(id, v);
    case kParamIndexed:
        return std::floor(lo + v * (hi - lo) + 0.5f);
    case kParamMetrical:
        return std::floor(v * 0.99f * 15.0f);
    case kParamSyncTime:
        return getHostSynced(id) ? std::floor(v * 15.0f) : lo + v * (hi - lo);
    case kParamSyncRate:
        return getHostSynced(id) ? std::floor((1.0f - v) * 15.0f) : lookup(id, v);
    case kParamSyncTimeNorm:
    case kParamSyncRateNorm:
        return v;
    default: // linear, percent, linear Hz
        return lo + v * (hi - lo);
    }
}

float ko_paramManager::dspValueFromNaturalValue(int32_t id, float n) {
    if (!hasParameter(id)) return 0.0f;
    const float lo = getMinimumValue(id), hi = getMaximumValue(id);
    switch (getType(id)) {
    case kParamPercent:
        return limited(n, lo, hi) * 0.01f;
    case kParamDecibel:
        return csd_utilities_decibels2amplitude(limited(n, lo, hi));
    case kParamMetrical:
        return gBeatMults[beatIndex(n)];
    case kParamSyncTime:
        return getHostSynced(id) ? gBeatMults[beatIndex(n)] : n;
    case kParamSyncRate:
        return getHostSynced(id) ? 1.0f / gBeatMults[beatIndex(n)] : n;
    case kParamSyncTimeNorm:
        return getHostSynced(id) ? gBeatMults[beatIndex(n * 15.0f)] : lo + n * (hi - lo);
    case kParamSyncRateNorm:
        return getHostSynced(id) ? 1.0f / gBeatMults[beatIndex((1.0f - n) * 15.0f)] : lookup(id, n);
    default: // linear, on/off, linear Hz, exp Hz, indexed
        return limited(n, lo, hi);
    }
}

// ---------------------------------------------------------------------------
// Texts

void ko_paramManager::getName(int32_t id, char* text, int32_t length) {
    const Entry* e = entry(id);
    if (!e) {
        copyText(text, "", length);
        return;
    }
    copyText(text, length > 8 ? e->name.c_str() : e->shortName.c_str(), length);
}

std::string ko_paramManager::getName(int32_t id) {
    const Entry* e = entry(id);
    return e ? e->name : std::string();
}

void ko_paramManager::getUnitsName(int32_t id, char* text, int32_t length) {
    const Entry* e = entry(id);
    const char* unit = "";
    switch (getType(id)) {
    case kParamSyncTime:
    case kParamSyncTimeNorm:
        unit = getHostSynced(id) ? "" : (length > 4 ? "msec" : "ms");
        break;
    case kParamSyncRate:
    case kParamSyncRateNorm:
        unit = getHostSynced(id) ? "" : "Hz";
        break;
    default:
        unit = e ? e->unit.c_str() : "";
        break;
    }
    copyText(text, unit, length);
}

void ko_paramManager::getValueString(int32_t id, char* text, int32_t length) {
    getValueStringFromNaturalValue(id, text, getNaturalValue(id), length);
}

void ko_paramManager::getValueStringFromNaturalValue(int32_t id, char* text, float n, int32_t length) {
    char scratch[kScratch] = {};
    const float lo = getMinimumValue(id), hi = getMaximumValue(id);
    const ko_paramTypes kind = getType(id);
    const bool synced = getHostSynced(id);
    const auto beatName = [&](bool reversed) {
        const float w = VSTvalueFromNaturalValue(id, n);
        return beatTimeStr[beatIndex((reversed ? 1.0f - w : w) * 15.0f)];
    };
    switch (kind) {
    case kParamOnOff:
        copyText(scratch, n > 0.5f ? "On" : "Off", kScratch - 1);
        break;
    case kParamLinearHz:
    case kParamExpHz:
        formatLadder(scratch, n);
        break;
    case kParamIndexed:
        std::snprintf(scratch, kScratch, "%4d", static_cast<int>(limited(n, -2e9f, 2e9f)));
        break;
    case kParamMetrical:
        copyText(scratch, beatName(false), kScratch - 1);
        break;
    case kParamSyncTime:
        if (synced)
            copyText(scratch, beatName(false), kScratch - 1);
        else
            std::snprintf(scratch, kScratch, "%4.0f", static_cast<double>(n));
        break;
    case kParamSyncRate:
    case kParamSyncRateNorm:
        if (synced)
            copyText(scratch, beatName(true), kScratch - 1);
        else
            formatLadder(scratch, n);
        break;
    case kParamSyncTimeNorm:
        if (synced)
            copyText(scratch, beatName(false), kScratch - 1);
        else
            std::snprintf(scratch, kScratch, "%4.0f", static_cast<double>(lo + n * (hi - lo)));
        break;
    default: // linear, percent, decibel
        std::snprintf(scratch, kScratch, "%4.0f", static_cast<double>(n));
        break;
    }
    copyText(text, scratch, length);
}

void ko_paramManager::getValueStringFromVSTvalue(int32_t id, char* text, float v, int32_t length) {
    // Width 8 at most, and never wider than the caller's buffer.
    getValueStringFromNaturalValue(id, text, naturalValueFromVSTvalue(id, v), length < 8 ? length : 8);
}

void ko_paramManager::getVSTvalueString(int32_t id, char* text) {
    char scratch[kScratch];
    std::snprintf(scratch, kScratch, "%f", static_cast<double>(getVSTvalue(id)));
    copyText(text, scratch, 8);
}

void ko_paramManager::getTextEditString(int32_t id, char* text, int32_t length) {
    if (!text || length < 0) return;
    char scratch[kScratch + 1] = {};
    if (length > 0) getValueString(id, scratch, length < kScratch ? length : kScratch);
    int32_t out = 0;
    for (const char* c = scratch; *c && out < length; ++c)
        if (*c != ' ') text[out++] = *c;
    text[out] = '\0';
}

void ko_paramManager::floatToTimeStr(char* text, float ms, int32_t length) {
    char scratch[kScratch];
    if (ms > 1000.0f)
        std::snprintf(scratch, kScratch, "%4.3f", static_cast<double>(ms * 0.001f));
    else
        std::snprintf(scratch, kScratch, "%3.0f", static_cast<double>(ms));
    copyText(text, scratch, length);
}

bool ko_paramManager::matchMetricalStr(const char* text, int32_t& index) {
    static const char* const names[15] = {"1/32", "1/16T", "1/16", "1/8T", "1/16.", "1/8",  "1/4T", "1/8.",
                                          "1/4",  "1/2T",  "1/4.", "1/2",  "1/1T",  "1/2.", "1/1"};
    if (!text) return false;
    char compact[7];
    int n = 0;
    for (int i = 0; i < 6 && text[i]; ++i)
        if (text[i] != ' ') compact[n++] = text[i];
    compact[n] = '\0';
    for (int32_t i = 0; i < 15; ++i) {
        if (std::string_view(compact) == names[i]) {
            index = i;
            return true;
        }
    }
    return false;
}

bool ko_paramManager::naturalValueFromString(int32_t id, const char* text, float& natural) {
    const ko_paramTypes kind = getType(id);
    const bool synced = getHostSynced(id);
    bool understood = false;
    int32_t index = 0;
    if (kind == kParamOnOff) {
        understood = false; // switches are not typed
    } else if (kind == kParamMetrical || (kind == kParamSyncTime && synced)) {
        understood = matchMetricalStr(text, index);
        if (understood) natural = static_cast<float>(index);
    } else if (kind == kParamSyncRate && synced) {
        understood = matchMetricalStr(text, index);
        if (understood) natural = static_cast<float>(14 - index);
    } else if (kind == kParamSyncTimeNorm) {
        // The natural value is a 0..1 fraction, while the field shows a note
        // division (synced) or milliseconds (free): read what the field shows
        // and turn it into the fraction, so typing "250" means 250 ms rather
        // than a fraction pinned to the millisecond range's bounds.
        const float lo = getMinimumValue(id), hi = getMaximumValue(id);
        if (synced) {
            understood = matchMetricalStr(text, index);
            // Middle of the division's slice of 0..1, so int(n x 15) is the index.
            if (understood) natural = (static_cast<float>(index) + 0.5f) / 15.0f;
        } else {
            float ms = 0.0f;
            understood = text && hi > lo && std::sscanf(text, "%10f", &ms) == 1;
            if (understood) natural = (ms - lo) / (hi - lo);
        }
        natural = limit01(natural);
        return understood;
    } else {
        float value = 0.0f;
        understood = text && std::sscanf(text, "%10f", &value) == 1;
        if (understood) natural = value;
    }
    natural = limited(natural, getMinimumValue(id), getMaximumValue(id));
    return understood;
}

const char* ko_paramTypeName(ko_paramTypes kind) {
    switch (kind) {
    case kParamLinear:
        return "linear";
    case kParamOnOff:
        return "on/off";
    case kParamPercent:
        return "percent";
    case kParamLinearHz:
        return "linear Hz";
    case kParamExpHz:
        return "exp Hz";
    case kParamDecibel:
        return "decibel";
    case kParamIndexed:
        return "indexed";
    case kParamMetrical:
        return "metrical";
    case kParamSyncTime:
        return "sync time";
    case kParamSyncRate:
        return "sync rate";
    case kParamSyncTimeNorm:
        return "sync time 0..1";
    case kParamSyncRateNorm:
        return "sync rate 0..1";
    }
    return "unknown";
}

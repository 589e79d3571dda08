// RestoreState with arbitrary dictionaries: the keys of a saved state with
// values of any type and size (numbers at their edges, NaN and infinities,
// data of every length, nested containers), keys missing or added, through
// the component entry as a host restores a document.
//
// The input is a binary property list. A structure-aware mutator parses it,
// changes one entry of the dictionary (or of the element-name dictionary
// inside it) and writes it back, so mutations stay dictionaries instead of
// becoming unreadable bytes; inputs that are not dictionaries fall back to
// libFuzzer's own byte mutations.
//
// Checks: as every restore (Effect::checkConsistent).
// Seeds: state files saved by the morvane program.
#include <cstring>
#include <limits>
#include <random>

#include "tests/fuzz/fuzz_support.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using Random = std::minstd_rand;

const char* const kStateKeys[] = {
    "version",        "type",         "subtype",      "manufacturer", "data",       "name",
    "render-quality", "cpu-load",     "element-name", "part",         "Version",    "velocity_L_X",
    "velocity_L_Y",   "velocity_R_X", "velocity_R_Y", "LeftMotion",   "RightMotion"};

size_t pick(Random& random, size_t n) {
    return n == 0 ? 0 : size_t(random() % n);
}

CFStringRef createKey(Random& random) {
    if (pick(random, 8) == 0) {
        char text[12];
        const size_t length = pick(random, sizeof text);
        for (size_t i = 0; i < length; ++i)
            text[i] = char(' ' + pick(random, 95));
        text[length] = '\0';
        return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    }
    return CFStringCreateWithCString(nullptr, kStateKeys[pick(random, std::size(kStateKeys))],
                                     kCFStringEncodingUTF8);
}

CFNumberRef createNumber(Random& random) {
    const ComponentDescription& desc = morvane_fuzz::effectDescription();
    const SInt64 integers[] = {0,
                               1,
                               -1,
                               10,
                               std::numeric_limits<SInt32>::min(),
                               std::numeric_limits<SInt32>::max(),
                               SInt64(std::numeric_limits<UInt32>::max()),
                               std::numeric_limits<SInt64>::min(),
                               std::numeric_limits<SInt64>::max(),
                               SInt64(desc.componentSubType),
                               SInt64(desc.componentManufacturer),
                               SInt64(SInt32(desc.componentType)),
                               SInt64(random())};
    const double reals[] = {0.0,
                            -0.0,
                            0.5,
                            1.0,
                            -1.0,
                            1e-45,
                            3.0e38,
                            -3.0e38,
                            1e300,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            double(random()) / 1e6 - 1000.0};
    if (pick(random, 2) == 0) {
        const SInt64 v = integers[pick(random, std::size(integers))];
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    const double v = reals[pick(random, std::size(reals))];
    if (pick(random, 2) == 0) {
        const float f = float(v);
        return CFNumberCreate(nullptr, kCFNumberFloat32Type, &f);
    }
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
}

CFDataRef createData(Random& random) {
    const size_t lengths[] = {0, 1, 11, 12, 20, 371, 372, 373, 663, 664, 665, 2000};
    std::vector<UInt8> bytes(pick(random, 3) == 0 ? pick(random, 3000)
                                                  : lengths[pick(random, std::size(lengths))]);
    for (UInt8& b : bytes)
        b = UInt8(pick(random, 4) == 0 ? random() : 0);
    return CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
}

CFTypeRef createValue(Random& random, int depth);

CFDictionaryRef createDictionary(Random& random, int depth) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    const size_t n = pick(random, 4);
    for (size_t i = 0; i < n; ++i) {
        // Element names are keyed by decimal scope and element numbers.
        char text[16];
        std::snprintf(text, sizeof text, "%u", unsigned(pick(random, 3) == 0 ? random() : pick(random, 5)));
        CFStringRef key = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
        CFTypeRef value = createValue(random, depth + 1);
        CFDictionarySetValue(dict, key, value);
        CFRelease(key);
        CFRelease(value);
    }
    return dict;
}

CFTypeRef createValue(Random& random, int depth) {
    switch (pick(random, depth < 3 ? 7 : 5)) {
    case 0:
    case 1:
        return createNumber(random);
    case 2:
        return createData(random);
    case 3: {
        char text[24];
        std::snprintf(text, sizeof text, "%s %ld", pick(random, 2) ? "Name" : "", long(random()));
        return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    }
    case 4:
        return CFRetain(pick(random, 2) ? kCFBooleanTrue : kCFBooleanFalse);
    case 5: {
        CFTypeRef element = createValue(random, depth + 1);
        const void* values[1] = {element};
        CFArrayRef array = CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks);
        CFRelease(element);
        return array;
    }
    default:
        return createDictionary(random, depth);
    }
}

// One change to the dictionary.
void mutateDictionary(CFMutableDictionaryRef dict, Random& random) {
    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    const size_t choice = pick(random, 10);
    if (choice == 0 && count > 0) {
        CFDictionaryRemoveValue(dict, keys[pick(random, size_t(count))]);
    } else if (choice <= 3 && count > 0) {
        // Byte-level change inside an existing data value (the blob, a recording).
        const size_t i = pick(random, size_t(count));
        if (CFGetTypeID(values[i]) != CFDataGetTypeID()) return mutateDictionary(dict, random);
        auto data = static_cast<CFDataRef>(values[i]);
        std::vector<UInt8> bytes(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data));
        const size_t room = bytes.size() + 64;
        bytes.resize(room);
        bytes.resize(LLVMFuzzerMutate(bytes.data(), size_t(CFDataGetLength(data)), room));
        CFDataRef changed = CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
        CFDictionarySetValue(dict, keys[i], changed);
        CFRelease(changed);
    } else {
        CFStringRef key = createKey(random);
        CFTypeRef value = createValue(random, 0);
        CFDictionarySetValue(dict, key, value);
        CFRelease(key);
        CFRelease(value);
    }
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    Random random(seed);
    CFDataRef input = CFDataCreate(nullptr, data, CFIndex(size));
    CFPropertyListRef plist =
        CFPropertyListCreateWithData(nullptr, input, kCFPropertyListMutableContainers, nullptr, nullptr);
    CFRelease(input);
    if (plist == nullptr || CFGetTypeID(plist) != CFDictionaryGetTypeID() || pick(random, 16) == 0) {
        if (plist != nullptr) CFRelease(plist);
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    auto dict = static_cast<CFMutableDictionaryRef>(const_cast<void*>(plist));
    const size_t changes = 1 + pick(random, 3);
    for (size_t i = 0; i < changes; ++i)
        mutateDictionary(dict, random);
    CFDataRef output = CFPropertyListCreateData(nullptr, dict, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    CFRelease(dict);
    if (output == nullptr || size_t(CFDataGetLength(output)) > maxSize) {
        if (output != nullptr) CFRelease(output);
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    const size_t length = size_t(CFDataGetLength(output));
    std::memcpy(data, CFDataGetBytePtr(output), length);
    CFRelease(output);
    return length;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    CFDataRef data = CFDataCreate(nullptr, bytes, CFIndex(size));
    CFPropertyListRef state = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr);
    CFRelease(data);
    if (state == nullptr) return 0;
    morvane_fuzz::Effect effect;
    effect.host().restoreState(state);
    CFRelease(state);
    effect.checkConsistent();
    return 0;
}

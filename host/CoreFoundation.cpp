// Core Foundation subset: object model, strings, numbers, booleans, data,
// arrays, dictionaries and errors. Property-list serialisation lives in
// PropertyList.cpp.
#include "host/CoreFoundation.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// ---------------------------------------------------------------------------
// Object layout. Every object starts with this header; the type id decides
// which concrete struct it is.

namespace {

enum : CFTypeID {
    kTypeString = 7,
    kTypeNumber = 22,
    kTypeBoolean = 21,
    kTypeData = 20,
    kTypeDictionary = 18,
    kTypeArray = 19,
    kTypeError = 30,
};

// Reported for immortal objects (constant strings, booleans).
constexpr CFIndex kImmortalRetainCount = LONG_MAX;

struct ObjectHeader {
    constexpr ObjectHeader(CFTypeID type, bool isImmortal)
        : refCount(1), typeID(type), immortal(isImmortal) {}
    std::atomic<long> refCount;
    const CFTypeID typeID;
    const bool immortal;
};

const ObjectHeader* header(CFTypeRef cf) {
    return static_cast<const ObjectHeader*>(cf);
}

bool isType(CFTypeRef cf, CFTypeID type) {
    return cf != nullptr && header(cf)->typeID == type;
}

} // namespace

struct __CFString : ObjectHeader {
    explicit __CFString(std::string text, bool isImmortal = false);
    std::string utf8;    // always valid UTF-8
    CFIndex utf16Length; // length in UTF-16 code units
    bool pureASCII;
};

struct __CFNumber : ObjectHeader {
    __CFNumber() : ObjectHeader(kTypeNumber, false) {}
    CFNumberType type = kCFNumberSInt32Type; // canonical fixed-size kind
    bool isFloat = false;
    int64_t i = 0;
    double d = 0.0;
};

struct __CFBoolean : ObjectHeader {
    constexpr explicit __CFBoolean(bool v) : ObjectHeader(kTypeBoolean, true), value(v) {}
    const bool value;
};

struct __CFData : ObjectHeader {
    explicit __CFData(bool isMutable) : ObjectHeader(kTypeData, false), mutableData(isMutable) {}
    std::vector<UInt8> bytes;
    const bool mutableData;
};

struct __CFArray : ObjectHeader {
    __CFArray(const CFArrayCallBacks* cb, bool isMutable)
        : ObjectHeader(kTypeArray, false), callBacks(cb ? *cb : CFArrayCallBacks{}), mutableArray(isMutable) {
    }
    ~__CFArray();
    const void* retainValue(const void* v) const {
        return callBacks.retain ? callBacks.retain(kCFAllocatorDefault, v) : v;
    }
    void releaseValue(const void* v) const {
        if (callBacks.release) callBacks.release(kCFAllocatorDefault, v);
    }
    bool valuesEqual(const void* a, const void* b) const {
        return a == b || (callBacks.equal && callBacks.equal(a, b));
    }
    std::vector<const void*> values;
    const CFArrayCallBacks callBacks;
    const bool mutableArray;
};

namespace {

struct DictionaryKeyHash {
    const CFDictionaryKeyCallBacks* callBacks;
    size_t operator()(const void* key) const {
        if (callBacks->hash) return callBacks->hash(key);
        // Keys that compare by a function but hash by nothing must share one bucket.
        if (callBacks->equal) return 0;
        return std::hash<const void*>()(key);
    }
};

struct DictionaryKeyEqual {
    const CFDictionaryKeyCallBacks* callBacks;
    bool operator()(const void* a, const void* b) const {
        return a == b || (callBacks->equal && callBacks->equal(a, b));
    }
};

} // namespace

struct __CFDictionary : ObjectHeader {
    __CFDictionary(const CFDictionaryKeyCallBacks* kcb, const CFDictionaryValueCallBacks* vcb, bool isMutable)
        : ObjectHeader(kTypeDictionary, false), keyCallBacks(kcb ? *kcb : CFDictionaryKeyCallBacks{}),
          valueCallBacks(vcb ? *vcb : CFDictionaryValueCallBacks{}), mutableDictionary(isMutable),
          map(0, DictionaryKeyHash{&keyCallBacks}, DictionaryKeyEqual{&keyCallBacks}) {}
    ~__CFDictionary();
    __CFDictionary(const __CFDictionary&) = delete;
    __CFDictionary& operator=(const __CFDictionary&) = delete;

    const void* retainKey(const void* k) const {
        return keyCallBacks.retain ? keyCallBacks.retain(kCFAllocatorDefault, k) : k;
    }
    void releaseKey(const void* k) const {
        if (keyCallBacks.release) keyCallBacks.release(kCFAllocatorDefault, k);
    }
    const void* retainValue(const void* v) const {
        return valueCallBacks.retain ? valueCallBacks.retain(kCFAllocatorDefault, v) : v;
    }
    void releaseValue(const void* v) const {
        if (valueCallBacks.release) valueCallBacks.release(kCFAllocatorDefault, v);
    }
    bool valuesEqual(const void* a, const void* b) const {
        return a == b || (valueCallBacks.equal && valueCallBacks.equal(a, b));
    }
    void set(const void* key, const void* value);

    const CFDictionaryKeyCallBacks keyCallBacks;
    const CFDictionaryValueCallBacks valueCallBacks;
    const bool mutableDictionary;
    std::unordered_map<const void*, const void*, DictionaryKeyHash, DictionaryKeyEqual> map;
};

struct __CFError : ObjectHeader {
    __CFError() : ObjectHeader(kTypeError, false) {}
    ~__CFError() {
        if (domain) CFRelease(domain);
        if (userInfo) CFRelease(userInfo);
    }
    CFStringRef domain = nullptr;
    CFIndex code = 0;
    CFDictionaryRef userInfo = nullptr;
};

// ---------------------------------------------------------------------------
// Any object

CFTypeRef CFRetain(CFTypeRef cf) {
    if (cf == nullptr) return nullptr;
    const ObjectHeader* h = header(cf);
    if (!h->immortal) const_cast<ObjectHeader*>(h)->refCount.fetch_add(1, std::memory_order_relaxed);
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (cf == nullptr) return;
    ObjectHeader* h = const_cast<ObjectHeader*>(header(cf));
    if (h->immortal) return;
    // acq_rel: the thread that frees must see every other thread's writes.
    if (h->refCount.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    switch (h->typeID) {
    case kTypeString:
        delete static_cast<__CFString*>(h);
        break;
    case kTypeNumber:
        delete static_cast<__CFNumber*>(h);
        break;
    case kTypeData:
        delete static_cast<__CFData*>(h);
        break;
    case kTypeArray:
        delete static_cast<__CFArray*>(h);
        break;
    case kTypeDictionary:
        delete static_cast<__CFDictionary*>(h);
        break;
    case kTypeError:
        delete static_cast<__CFError*>(h);
        break;
    default:
        break;
    }
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    if (cf == nullptr) return 0;
    const ObjectHeader* h = header(cf);
    return h->immortal ? kImmortalRetainCount : h->refCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    return cf ? header(cf)->typeID : 0;
}

CFTypeID CFStringGetTypeID(void) {
    return kTypeString;
}
CFTypeID CFNumberGetTypeID(void) {
    return kTypeNumber;
}
CFTypeID CFBooleanGetTypeID(void) {
    return kTypeBoolean;
}
CFTypeID CFDataGetTypeID(void) {
    return kTypeData;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return kTypeDictionary;
}
CFTypeID CFArrayGetTypeID(void) {
    return kTypeArray;
}
CFTypeID CFErrorGetTypeID(void) {
    return kTypeError;
}

namespace {

const __CFString* asString(CFTypeRef cf) {
    return isType(cf, kTypeString) ? static_cast<const __CFString*>(cf) : nullptr;
}
const __CFNumber* asNumber(CFTypeRef cf) {
    return isType(cf, kTypeNumber) ? static_cast<const __CFNumber*>(cf) : nullptr;
}
const __CFData* asData(CFTypeRef cf) {
    return isType(cf, kTypeData) ? static_cast<const __CFData*>(cf) : nullptr;
}
const __CFArray* asArray(CFTypeRef cf) {
    return isType(cf, kTypeArray) ? static_cast<const __CFArray*>(cf) : nullptr;
}
const __CFDictionary* asDictionary(CFTypeRef cf) {
    return isType(cf, kTypeDictionary) ? static_cast<const __CFDictionary*>(cf) : nullptr;
}
__CFData* asMutableData(CFMutableDataRef cf) {
    return isType(cf, kTypeData) && cf->mutableData ? cf : nullptr;
}
__CFArray* asMutableArray(CFMutableArrayRef cf) {
    return isType(cf, kTypeArray) && cf->mutableArray ? cf : nullptr;
}
__CFDictionary* asMutableDictionary(CFMutableDictionaryRef cf) {
    return isType(cf, kTypeDictionary) && cf->mutableDictionary ? cf : nullptr;
}

// Exact comparison of an integer with a double (no rounding of either).
bool intEqualsDouble(int64_t i, double d) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return false;
    return std::trunc(d) == d && static_cast<int64_t>(d) == i;
}

bool numbersEqual(const __CFNumber* a, const __CFNumber* b) {
    if (!a->isFloat && !b->isFloat) return a->i == b->i;
    if (a->isFloat && b->isFloat) return a->d == b->d || (std::isnan(a->d) && std::isnan(b->d));
    return a->isFloat ? intEqualsDouble(b->i, a->d) : intEqualsDouble(a->i, b->d);
}

CFHashCode hashBytes(const void* bytes, size_t length) {
    // FNV-1a
    uint64_t h = 1469598103934665603ULL;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (size_t n = 0; n < length; ++n) {
        h ^= p[n];
        h *= 1099511628211ULL;
    }
    return static_cast<CFHashCode>(h);
}

} // namespace

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    if (cf1 == cf2) return true;
    if (cf1 == nullptr || cf2 == nullptr) return false;
    if (header(cf1)->typeID != header(cf2)->typeID) return false;
    switch (header(cf1)->typeID) {
    case kTypeString:
        return asString(cf1)->utf8 == asString(cf2)->utf8;
    case kTypeNumber:
        return numbersEqual(asNumber(cf1), asNumber(cf2));
    case kTypeData:
        return asData(cf1)->bytes == asData(cf2)->bytes;
    case kTypeArray: {
        const __CFArray* a = asArray(cf1);
        const __CFArray* b = asArray(cf2);
        if (a->values.size() != b->values.size()) return false;
        for (size_t n = 0; n < a->values.size(); ++n)
            if (!a->valuesEqual(a->values[n], b->values[n])) return false;
        return true;
    }
    case kTypeDictionary: {
        const __CFDictionary* a = asDictionary(cf1);
        const __CFDictionary* b = asDictionary(cf2);
        if (a->map.size() != b->map.size()) return false;
        for (const auto& [key, value] : a->map) {
            auto found = b->map.find(key);
            if (found == b->map.end() || !a->valuesEqual(value, found->second)) return false;
        }
        return true;
    }
    case kTypeError: {
        const auto* a = static_cast<const __CFError*>(cf1);
        const auto* b = static_cast<const __CFError*>(cf2);
        return a->code == b->code && CFEqual(a->domain, b->domain);
    }
    default:
        return false; // booleans are singletons: identity was checked above
    }
}

CFHashCode CFHash(CFTypeRef cf) {
    if (cf == nullptr) return 0;
    switch (header(cf)->typeID) {
    case kTypeString: {
        const std::string& s = asString(cf)->utf8;
        return hashBytes(s.data(), s.size());
    }
    case kTypeNumber: {
        // Equal numbers of different kinds must hash alike: hash the value as a double.
        const __CFNumber* n = asNumber(cf);
        double v = n->isFloat ? n->d : static_cast<double>(n->i);
        if (v == 0.0) v = 0.0; // -0 == +0
        if (std::isnan(v)) return 0x7ff8;
        return hashBytes(&v, sizeof v);
    }
    case kTypeData: {
        const auto& b = asData(cf)->bytes;
        return hashBytes(b.data(), std::min<size_t>(b.size(), 80));
    }
    case kTypeArray:
        return static_cast<CFHashCode>(asArray(cf)->values.size());
    case kTypeDictionary:
        return static_cast<CFHashCode>(asDictionary(cf)->map.size());
    default:
        return reinterpret_cast<CFHashCode>(cf);
    }
}

// ---------------------------------------------------------------------------
// Unicode helpers

namespace {

// Decodes one UTF-8 sequence at s[pos]; returns the code point and advances
// pos, or returns -1 for an invalid sequence (overlong, surrogate, > U+10FFFF,
// truncated).
long decodeUTF8(std::string_view s, size_t& pos) {
    const auto byte = [&](size_t n) { return static_cast<unsigned char>(s[n]); };
    unsigned char c = byte(pos);
    if (c < 0x80) {
        ++pos;
        return c;
    }
    int extra;
    long cp;
    long minimum;
    if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, minimum = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, minimum = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, minimum = 0x10000;
    } else {
        return -1;
    }
    if (pos + extra >= s.size()) return -1;
    for (int n = 1; n <= extra; ++n) {
        unsigned char cc = byte(pos + n);
        if ((cc & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    pos += extra + 1;
    return cp;
}

void appendUTF8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Upper halves (0x80..0xFF) of the single-byte encodings, as Unicode; 0 marks
// a byte with no character.
constexpr uint16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

constexpr uint16_t kWindowsLatin1High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The Unicode character of byte b in a single-byte encoding, or -1.
long singleByteToUnicode(unsigned char b, CFStringEncoding encoding) {
    if (b < 0x80) return b;
    switch (encoding) {
    case kCFStringEncodingMacRoman:
        return kMacRomanHigh[b - 0x80];
    case kCFStringEncodingISOLatin1:
        return b;
    case kCFStringEncodingWindowsLatin1:
        if (b >= 0xA0) return b;
        return kWindowsLatin1High[b - 0x80] ? kWindowsLatin1High[b - 0x80] : -1;
    default:
        return -1;
    }
}

// The byte of code point cp in a single-byte encoding, or -1.
int unicodeToSingleByte(long cp, CFStringEncoding encoding) {
    if (cp < 0x80) return static_cast<int>(cp);
    for (int b = 0x80; b <= 0xFF; ++b)
        if (singleByteToUnicode(static_cast<unsigned char>(b), encoding) == cp) return b;
    return -1;
}

bool isSingleByteEncoding(CFStringEncoding e) {
    return e == kCFStringEncodingMacRoman || e == kCFStringEncodingISOLatin1 ||
           e == kCFStringEncodingWindowsLatin1 || e == kCFStringEncodingASCII;
}

// Converts bytes in an encoding to UTF-8; false if invalid.
bool toUTF8(const char* bytes, size_t length, CFStringEncoding encoding, std::string& out) {
    out.clear();
    std::string_view in(bytes, length);
    if (encoding == kCFStringEncodingUTF8) {
        for (size_t pos = 0; pos < in.size();)
            if (decodeUTF8(in, pos) < 0) return false;
        out.assign(in);
        return true;
    }
    if (!isSingleByteEncoding(encoding)) return false;
    out.reserve(length);
    for (unsigned char b : in) {
        if (encoding == kCFStringEncodingASCII && b >= 0x80) return false;
        long cp = singleByteToUnicode(b, encoding);
        if (cp < 0) return false;
        appendUTF8(out, static_cast<unsigned long>(cp));
    }
    return true;
}

// Converts valid UTF-8 into an encoding; false when a character has no byte.
bool fromUTF8(std::string_view utf8, bool pureASCII, CFStringEncoding encoding, std::string& out) {
    if (encoding == kCFStringEncodingUTF8 || pureASCII) {
        if (encoding != kCFStringEncodingUTF8 && !isSingleByteEncoding(encoding)) return false;
        out.assign(utf8);
        return true;
    }
    if (!isSingleByteEncoding(encoding) || encoding == kCFStringEncodingASCII) return false;
    out.clear();
    for (size_t pos = 0; pos < utf8.size();) {
        int b = unicodeToSingleByte(decodeUTF8(utf8, pos), encoding);
        if (b < 0) return false;
        out += static_cast<char>(b);
    }
    return true;
}

} // namespace

__CFString::__CFString(std::string text, bool isImmortal)
    : ObjectHeader(kTypeString, isImmortal), utf8(std::move(text)), utf16Length(0), pureASCII(true) {
    for (size_t pos = 0; pos < utf8.size();) {
        long cp = decodeUTF8(utf8, pos);
        utf16Length += cp >= 0x10000 ? 2 : 1;
        if (cp >= 0x80) pureASCII = false;
    }
}

// ---------------------------------------------------------------------------
// Strings

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    // Interned for the life of the process; the table itself is never freed so
    // constant strings stay valid during static destruction too.
    static std::mutex* lock = new std::mutex;
    static auto* table = new std::unordered_map<std::string, __CFString*>;
    std::string text(cStr ? cStr : "");
    std::lock_guard<std::mutex> guard(*lock);
    auto found = table->find(text);
    if (found != table->end()) return found->second;
    std::string utf8;
    if (!toUTF8(text.data(), text.size(), kCFStringEncodingUTF8, utf8)) {
        // Source literals are UTF-8; a stray invalid byte is read as Mac Roman
        // rather than losing the string.
        toUTF8(text.data(), text.size(), kCFStringEncodingMacRoman, utf8);
    }
    auto* s = new __CFString(std::move(utf8), true);
    table->emplace(std::move(text), s);
    return s;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (cStr == nullptr) return nullptr;
    std::string utf8;
    if (!toUTF8(cStr, std::strlen(cStr), encoding, utf8)) return nullptr;
    return new __CFString(std::move(utf8));
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean) {
    if (numBytes < 0 || (bytes == nullptr && numBytes > 0)) return nullptr;
    std::string utf8;
    if (!toUTF8(reinterpret_cast<const char*>(bytes), static_cast<size_t>(numBytes), encoding, utf8))
        return nullptr;
    // A leading byte-order mark is not part of the text.
    if (encoding == kCFStringEncodingUTF8 && utf8.rfind("\xEF\xBB\xBF", 0) == 0) utf8.erase(0, 3);
    return new __CFString(std::move(utf8));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef str) {
    // Strings are immutable: a copy is the same object.
    return asString(str) ? static_cast<CFStringRef>(CFRetain(str)) : nullptr;
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef, CFDictionaryRef, CFStringRef format, ...) {
    const __CFString* f = asString(format);
    if (f == nullptr) return nullptr;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, f->utf8.c_str(), args);
    va_end(args);
    CFStringRef result = nullptr;
    if (length >= 0) {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), f->utf8.c_str(), again);
        text.resize(static_cast<size_t>(length));
        result = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()), length,
                                         kCFStringEncodingUTF8, false);
    }
    va_end(again);
    return result;
}

const char* MorvaneCFStringGetUTF8(CFStringRef str, size_t* byteCount) {
    const __CFString* s = asString(str);
    if (s == nullptr) return nullptr;
    if (byteCount) *byteCount = s->utf8.size();
    return s->utf8.c_str();
}

CFIndex CFStringGetLength(CFStringRef str) {
    const __CFString* s = asString(str);
    return s ? s->utf16Length : 0;
}

Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
    if (buffer == nullptr || bufferSize <= 0) return false;
    buffer[0] = '\0';
    const __CFString* s = asString(str);
    if (s == nullptr) return false;
    std::string out;
    if (!fromUTF8(s->utf8, s->pureASCII, encoding, out)) return false;
    if (out.size() + 1 > static_cast<size_t>(bufferSize)) return false;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return true;
}

const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding) {
    const __CFString* s = asString(str);
    if (s == nullptr) return nullptr;
    if (encoding == kCFStringEncodingUTF8) return s->utf8.c_str();
    if (s->pureASCII && isSingleByteEncoding(encoding)) return s->utf8.c_str();
    return nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    if (length < 0) return 0;
    if (encoding == kCFStringEncodingUTF8) return length * 3; // one UTF-16 unit never takes more than 3 bytes
    return length;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options) {
    const __CFString* sa = asString(a);
    const __CFString* sb = asString(b);
    std::string_view va = sa ? std::string_view(sa->utf8) : std::string_view();
    std::string_view vb = sb ? std::string_view(sb->utf8) : std::string_view();
    // Byte order of UTF-8 is code-point order.
    const auto fold = [&](unsigned char c) -> unsigned char {
        return (options & kCFCompareCaseInsensitive) && c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    };
    size_t n = std::min(va.size(), vb.size());
    for (size_t k = 0; k < n; ++k) {
        unsigned char ca = fold(static_cast<unsigned char>(va[k]));
        unsigned char cb = fold(static_cast<unsigned char>(vb[k]));
        if (ca != cb) return ca < cb ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    if (va.size() == vb.size()) return kCFCompareEqualTo;
    return va.size() < vb.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
}

// ---------------------------------------------------------------------------
// Numbers

namespace {

struct NumberKind {
    CFNumberType canonical;
    bool isFloat;
    int bytes;
};

bool numberKind(CFNumberType type, NumberKind& kind) {
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        kind = {kCFNumberSInt8Type, false, 1};
        return true;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        kind = {kCFNumberSInt16Type, false, 2};
        return true;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        kind = {kCFNumberSInt32Type, false, 4};
        return true;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        kind = {kCFNumberSInt64Type, false, 8};
        return true;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        kind = {kCFNumberFloat32Type, true, 4};
        return true;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
        kind = {kCFNumberFloat64Type, true, 8};
        return true;
    default:
        return false;
    }
}

template <typename T> bool storeInteger(const __CFNumber* n, void* out) {
    constexpr int64_t lo = std::numeric_limits<T>::min();
    constexpr int64_t hi = std::numeric_limits<T>::max();
    int64_t v;
    bool exact;
    if (n->isFloat) {
        double d = n->d;
        if (std::isnan(d)) {
            v = 0, exact = false;
        } else if (d <= static_cast<double>(lo)) {
            v = lo, exact = d == static_cast<double>(lo);
        } else if (d >= static_cast<double>(hi)) {
            // static_cast<double>(INT64_MAX) rounds up to 2^63, which is out of range.
            v = hi, exact = d == static_cast<double>(hi) && hi < (int64_t{1} << 53);
        } else {
            double t = std::trunc(d);
            v = static_cast<int64_t>(t), exact = t == d;
        }
    } else {
        v = std::clamp<int64_t>(n->i, lo, hi);
        exact = v == n->i;
    }
    T t = static_cast<T>(v);
    std::memcpy(out, &t, sizeof t);
    return exact;
}

} // namespace

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    NumberKind kind;
    if (valuePtr == nullptr || !numberKind(theType, kind)) return nullptr;
    auto* n = new __CFNumber;
    n->type = kind.canonical;
    n->isFloat = kind.isFloat;
    switch (kind.canonical) {
    case kCFNumberSInt8Type: {
        int8_t v;
        std::memcpy(&v, valuePtr, 1);
        n->i = v;
        break;
    }
    case kCFNumberSInt16Type: {
        int16_t v;
        std::memcpy(&v, valuePtr, 2);
        n->i = v;
        break;
    }
    case kCFNumberSInt32Type: {
        int32_t v;
        std::memcpy(&v, valuePtr, 4);
        n->i = v;
        break;
    }
    case kCFNumberSInt64Type: {
        int64_t v;
        std::memcpy(&v, valuePtr, 8);
        n->i = v;
        break;
    }
    case kCFNumberFloat32Type: {
        float v;
        std::memcpy(&v, valuePtr, 4);
        n->d = v;
        break;
    }
    default: {
        double v;
        std::memcpy(&v, valuePtr, 8);
        n->d = v;
        break;
    }
    }
    return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const __CFNumber* n = asNumber(number);
    return n ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
    NumberKind kind;
    const __CFNumber* n = asNumber(number);
    return n && numberKind(n->type, kind) ? kind.bytes : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const __CFNumber* n = asNumber(number);
    return n && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    NumberKind kind;
    const __CFNumber* n = asNumber(number);
    if (n == nullptr || valuePtr == nullptr || !numberKind(theType, kind)) return false;
    switch (kind.canonical) {
    case kCFNumberSInt8Type:
        return storeInteger<int8_t>(n, valuePtr);
    case kCFNumberSInt16Type:
        return storeInteger<int16_t>(n, valuePtr);
    case kCFNumberSInt32Type:
        return storeInteger<int32_t>(n, valuePtr);
    case kCFNumberSInt64Type:
        return storeInteger<int64_t>(n, valuePtr);
    case kCFNumberFloat32Type: {
        float f;
        bool exact;
        if (n->isFloat) {
            f = static_cast<float>(n->d);
            exact = !(std::isfinite(n->d) && std::isinf(f));
        } else {
            f = static_cast<float>(n->i);
            exact = intEqualsDouble(n->i, static_cast<double>(f));
        }
        std::memcpy(valuePtr, &f, sizeof f);
        return exact;
    }
    default: {
        double d = n->isFloat ? n->d : static_cast<double>(n->i);
        std::memcpy(valuePtr, &d, sizeof d);
        return n->isFloat || intEqualsDouble(n->i, d);
    }
    }
}

CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void*) {
    const __CFNumber* na = asNumber(a);
    const __CFNumber* nb = asNumber(b);
    if (na == nullptr || nb == nullptr) return kCFCompareEqualTo;
    if (numbersEqual(na, nb)) return kCFCompareEqualTo;
    if (!na->isFloat && !nb->isFloat) return na->i < nb->i ? kCFCompareLessThan : kCFCompareGreaterThan;
    // long double holds every int64 and every double exactly on this platform.
    const long double da = na->isFloat ? static_cast<long double>(na->d) : static_cast<long double>(na->i);
    const long double db = nb->isFloat ? static_cast<long double>(nb->d) : static_cast<long double>(nb->i);
    if (std::isnan(da)) return kCFCompareLessThan;
    if (std::isnan(db)) return kCFCompareGreaterThan;
    return da < db ? kCFCompareLessThan : kCFCompareGreaterThan;
}

// ---------------------------------------------------------------------------
// Booleans

namespace {
constinit __CFBoolean gBooleanTrue{true};
constinit __CFBoolean gBooleanFalse{false};
} // namespace

const CFBooleanRef kCFBooleanTrue = &gBooleanTrue;
const CFBooleanRef kCFBooleanFalse = &gBooleanFalse;

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    return isType(boolean, kTypeBoolean) && boolean->value;
}

// ---------------------------------------------------------------------------
// Data

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
    auto* d = new __CFData(false);
    d->bytes.assign(bytes, bytes + length);
    return d;
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef data) {
    const __CFData* d = asData(data);
    if (d == nullptr) return nullptr;
    return CFDataCreate(nullptr, d->bytes.data(), static_cast<CFIndex>(d->bytes.size()));
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    if (capacity < 0) return nullptr;
    return new __CFData(true);
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFDataRef data) {
    const __CFData* d = asData(data);
    if (d == nullptr || capacity < 0) return nullptr;
    auto* copy = new __CFData(true);
    copy->bytes = d->bytes;
    return copy;
}

CFIndex CFDataGetLength(CFDataRef data) {
    const __CFData* d = asData(data);
    return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data) {
    const __CFData* d = asData(data);
    return d && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data) {
    __CFData* d = asMutableData(data);
    return d && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer) {
    const __CFData* d = asData(data);
    if (d == nullptr || buffer == nullptr || range.location < 0 || range.length <= 0) return;
    const auto size = static_cast<CFIndex>(d->bytes.size());
    if (range.location > size || range.length > size - range.location) return;
    std::memcpy(buffer, d->bytes.data() + range.location, static_cast<size_t>(range.length));
}

void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length) {
    __CFData* d = asMutableData(data);
    if (d == nullptr || bytes == nullptr || length <= 0) return;
    d->bytes.insert(d->bytes.end(), bytes, bytes + length);
}

void CFDataSetLength(CFMutableDataRef data, CFIndex length) {
    __CFData* d = asMutableData(data);
    if (d == nullptr || length < 0) return;
    d->bytes.resize(static_cast<size_t>(length), 0);
}

// ---------------------------------------------------------------------------
// Arrays

namespace {

const void* retainObjectCallBack(CFAllocatorRef, const void* value) {
    return CFRetain(value);
}
void releaseObjectCallBack(CFAllocatorRef, const void* value) {
    CFRelease(value);
}
Boolean equalObjectCallBack(const void* a, const void* b) {
    return CFEqual(a, b);
}
CFHashCode hashObjectCallBack(const void* value) {
    return CFHash(value);
}

bool rangeInside(CFRange range, size_t count) {
    return range.location >= 0 && range.length >= 0 && static_cast<size_t>(range.location) <= count &&
           static_cast<size_t>(range.length) <= count - static_cast<size_t>(range.location);
}

} // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainObjectCallBack, releaseObjectCallBack,
                                                CFCopyDescription, equalObjectCallBack};

__CFArray::~__CFArray() {
    for (const void* v : values)
        releaseValue(v);
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
    if (numValues < 0 || (values == nullptr && numValues > 0)) return nullptr;
    auto* a = new __CFArray(callBacks, false);
    a->values.reserve(static_cast<size_t>(numValues));
    for (CFIndex n = 0; n < numValues; ++n)
        a->values.push_back(a->retainValue(values[n]));
    return a;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef array) {
    const __CFArray* src = asArray(array);
    if (src == nullptr) return nullptr;
    auto* a = new __CFArray(&src->callBacks, false);
    a->values.reserve(src->values.size());
    for (const void* v : src->values)
        a->values.push_back(a->retainValue(v));
    return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks* callBacks) {
    if (capacity < 0) return nullptr;
    return new __CFArray(callBacks, true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFArrayRef array) {
    const __CFArray* src = asArray(array);
    if (src == nullptr || capacity < 0) return nullptr;
    auto* a = new __CFArray(&src->callBacks, true);
    a->values.reserve(src->values.size());
    for (const void* v : src->values)
        a->values.push_back(a->retainValue(v));
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef array) {
    const __CFArray* a = asArray(array);
    return a ? static_cast<CFIndex>(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx) {
    const __CFArray* a = asArray(array);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) >= a->values.size()) return nullptr;
    return a->values[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values) {
    const __CFArray* a = asArray(array);
    if (a == nullptr || values == nullptr || !rangeInside(range, a->values.size())) return;
    std::copy_n(a->values.begin() + range.location, range.length, values);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef array, CFRange range, const void* value) {
    const __CFArray* a = asArray(array);
    if (a == nullptr || !rangeInside(range, a->values.size())) return -1;
    for (CFIndex n = range.location; n < range.location + range.length; ++n)
        if (a->valuesEqual(a->values[static_cast<size_t>(n)], value)) return n;
    return -1;
}

Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, const void* value) {
    return CFArrayGetFirstIndexOfValue(array, range, value) >= 0;
}

void CFArrayApplyFunction(CFArrayRef array, CFRange range, CFArrayApplierFunction applier, void* context) {
    const __CFArray* a = asArray(array);
    if (a == nullptr || applier == nullptr || !rangeInside(range, a->values.size())) return;
    for (CFIndex n = range.location; n < range.location + range.length; ++n)
        applier(a->values[static_cast<size_t>(n)], context);
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
    __CFArray* a = asMutableArray(array);
    if (a == nullptr) return;
    a->values.push_back(a->retainValue(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value) {
    __CFArray* a = asMutableArray(array);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) > a->values.size()) return;
    a->values.insert(a->values.begin() + idx, a->retainValue(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value) {
    __CFArray* a = asMutableArray(array);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) > a->values.size()) return;
    if (static_cast<size_t>(idx) == a->values.size()) {
        a->values.push_back(a->retainValue(value));
        return;
    }
    const void* old = a->values[static_cast<size_t>(idx)];
    a->values[static_cast<size_t>(idx)] = a->retainValue(value);
    a->releaseValue(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex idx) {
    __CFArray* a = asMutableArray(array);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) >= a->values.size()) return;
    const void* old = a->values[static_cast<size_t>(idx)];
    a->values.erase(a->values.begin() + idx);
    a->releaseValue(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef array) {
    __CFArray* a = asMutableArray(array);
    if (a == nullptr) return;
    std::vector<const void*> old;
    old.swap(a->values);
    for (const void* v : old)
        a->releaseValue(v);
}

// ---------------------------------------------------------------------------
// Dictionaries

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,
                                                                retainObjectCallBack,
                                                                releaseObjectCallBack,
                                                                CFCopyDescription,
                                                                equalObjectCallBack,
                                                                hashObjectCallBack};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0,
                                                                      retainObjectCallBack,
                                                                      releaseObjectCallBack,
                                                                      CFCopyDescription,
                                                                      equalObjectCallBack,
                                                                      hashObjectCallBack};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, retainObjectCallBack, releaseObjectCallBack, CFCopyDescription, equalObjectCallBack};

__CFDictionary::~__CFDictionary() {
    for (const auto& [key, value] : map) {
        releaseKey(key);
        releaseValue(value);
    }
}

void __CFDictionary::set(const void* key, const void* value) {
    auto found = map.find(key);
    if (found == map.end()) {
        map.emplace(retainKey(key), retainValue(value));
        return;
    }
    // The stored key stays; only the value changes. Retain before release in
    // case the new value is the old one.
    const void* old = found->second;
    found->second = retainValue(value);
    releaseValue(old);
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    if (numValues < 0 || ((keys == nullptr || values == nullptr) && numValues > 0)) return nullptr;
    auto* d = new __CFDictionary(keyCallBacks, valueCallBacks, false);
    d->map.reserve(static_cast<size_t>(numValues));
    for (CFIndex n = 0; n < numValues; ++n)
        d->set(keys[n], values[n]);
    return d;
}

namespace {
__CFDictionary* copyDictionary(const __CFDictionary* src, bool isMutable) {
    auto* d = new __CFDictionary(&src->keyCallBacks, &src->valueCallBacks, isMutable);
    d->map.reserve(src->map.size());
    for (const auto& [key, value] : src->map)
        d->map.emplace(d->retainKey(key), d->retainValue(value));
    return d;
}
} // namespace

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef dict) {
    const __CFDictionary* src = asDictionary(dict);
    return src ? copyDictionary(src, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    if (capacity < 0) return nullptr;
    return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFDictionaryRef dict) {
    const __CFDictionary* src = asDictionary(dict);
    return src && capacity >= 0 ? copyDictionary(src, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
    const __CFDictionary* d = asDictionary(dict);
    return d ? static_cast<CFIndex>(d->map.size()) : 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value) {
    const __CFDictionary* d = asDictionary(dict);
    if (d == nullptr) return false;
    auto found = d->map.find(key);
    if (found == d->map.end()) return false;
    if (value) *value = found->second;
    return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
    const void* value = nullptr;
    return CFDictionaryGetValueIfPresent(dict, key, &value) ? value : nullptr;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key) {
    return CFDictionaryGetValueIfPresent(dict, key, nullptr);
}

Boolean CFDictionaryContainsValue(CFDictionaryRef dict, const void* value) {
    const __CFDictionary* d = asDictionary(dict);
    if (d == nullptr) return false;
    for (const auto& entry : d->map)
        if (d->valuesEqual(entry.second, value)) return true;
    return false;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values) {
    const __CFDictionary* d = asDictionary(dict);
    if (d == nullptr) return;
    size_t n = 0;
    for (const auto& [key, value] : d->map) {
        if (keys) keys[n] = key;
        if (values) values[n] = value;
        ++n;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef dict, CFDictionaryApplierFunction applier, void* context) {
    const __CFDictionary* d = asDictionary(dict);
    if (d == nullptr || applier == nullptr) return;
    for (const auto& [key, value] : d->map)
        applier(key, value, context);
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    __CFDictionary* d = asMutableDictionary(dict);
    if (d) d->set(key, value);
}

void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    __CFDictionary* d = asMutableDictionary(dict);
    if (d && d->map.find(key) == d->map.end()) d->set(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    __CFDictionary* d = asMutableDictionary(dict);
    if (d && d->map.find(key) != d->map.end()) d->set(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key) {
    __CFDictionary* d = asMutableDictionary(dict);
    if (d == nullptr) return;
    auto found = d->map.find(key);
    if (found == d->map.end()) return;
    const void* oldKey = found->first;
    const void* oldValue = found->second;
    d->map.erase(found);
    d->releaseKey(oldKey);
    d->releaseValue(oldValue);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dict) {
    __CFDictionary* d = asMutableDictionary(dict);
    if (d == nullptr) return;
    std::vector<std::pair<const void*, const void*>> old(d->map.begin(), d->map.end());
    d->map.clear();
    for (const auto& [key, value] : old) {
        d->releaseKey(key);
        d->releaseValue(value);
    }
}

Boolean MorvaneCFContainerHoldsObjects(CFTypeRef cf) {
    if (const __CFArray* a = asArray(cf)) return a->callBacks.retain == retainObjectCallBack;
    if (const __CFDictionary* d = asDictionary(cf))
        return d->keyCallBacks.retain == retainObjectCallBack &&
               d->valueCallBacks.retain == retainObjectCallBack;
    return false;
}

// ---------------------------------------------------------------------------
// Errors

const CFErrorDomain kCFErrorDomainCocoa = __CFStringMakeConstantString("CocoaErrorDomain");
const CFErrorDomain kCFErrorDomainPOSIX = __CFStringMakeConstantString("POSIXErrorDomain");
const CFStringRef kCFErrorDescriptionKey = __CFStringMakeConstantString("ErrorDescription");
const CFStringRef kCFErrorLocalizedDescriptionKey = __CFStringMakeConstantString("LocalizedDescription");

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code, CFDictionaryRef userInfo) {
    if (asString(domain) == nullptr) return nullptr;
    auto* e = new __CFError;
    e->domain = static_cast<CFStringRef>(CFRetain(domain));
    e->code = code;
    if (asDictionary(userInfo)) e->userInfo = static_cast<CFDictionaryRef>(CFRetain(userInfo));
    return e;
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err) {
    return isType(err, kTypeError) ? err->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
    return isType(err, kTypeError) ? err->code : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
    if (!isType(err, kTypeError)) return nullptr;
    for (CFStringRef key : {kCFErrorLocalizedDescriptionKey, kCFErrorDescriptionKey})
        if (const __CFString* text = asString(CFDictionaryGetValue(err->userInfo, key)))
            return static_cast<CFStringRef>(CFRetain(text));
    char fallback[256];
    std::snprintf(fallback, sizeof fallback, "The operation could not be completed (%s error %ld).",
                  asString(err->domain)->utf8.c_str(), err->code);
    return CFStringCreateWithCString(nullptr, fallback, kCFStringEncodingUTF8);
}

// ---------------------------------------------------------------------------
// Descriptions

namespace {

void describe(CFTypeRef cf, std::string& out, int depth) {
    if (cf == nullptr) {
        out += "(null)";
        return;
    }
    if (depth > kMorvanePropertyListMaxDepth) {
        out += "...";
        return;
    }
    char buf[64];
    switch (header(cf)->typeID) {
    case kTypeString:
        out += asString(cf)->utf8;
        break;
    case kTypeBoolean:
        out += static_cast<const __CFBoolean*>(cf)->value ? "true" : "false";
        break;
    case kTypeNumber: {
        const __CFNumber* n = asNumber(cf);
        if (n->isFloat)
            std::snprintf(buf, sizeof buf, "%.17g", n->d);
        else
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n->i));
        out += buf;
        break;
    }
    case kTypeData: {
        out += '<';
        for (UInt8 b : asData(cf)->bytes) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            out += buf;
        }
        out += '>';
        break;
    }
    case kTypeArray: {
        out += '(';
        const char* sep = "";
        for (const void* v : asArray(cf)->values) {
            out += sep;
            if (asArray(cf)->callBacks.retain == retainObjectCallBack) {
                describe(v, out, depth + 1);
            } else {
                std::snprintf(buf, sizeof buf, "%p", v);
                out += buf;
            }
            sep = ", ";
        }
        out += ')';
        break;
    }
    case kTypeDictionary: {
        const __CFDictionary* d = asDictionary(cf);
        const bool objects = d->keyCallBacks.retain == retainObjectCallBack &&
                             d->valueCallBacks.retain == retainObjectCallBack;
        out += '{';
        for (const auto& [key, value] : d->map) {
            out += ' ';
            if (objects) {
                describe(key, out, depth + 1);
                out += " = ";
                describe(value, out, depth + 1);
            } else {
                std::snprintf(buf, sizeof buf, "%p = %p", key, value);
                out += buf;
            }
            out += ';';
        }
        out += " }";
        break;
    }
    case kTypeError: {
        const auto* e = static_cast<const __CFError*>(cf);
        std::snprintf(buf, sizeof buf, " %ld", e->code);
        out += asString(e->domain)->utf8;
        out += buf;
        break;
    }
    default:
        out += "?";
        break;
    }
}

} // namespace

CFStringRef CFCopyDescription(CFTypeRef cf) {
    std::string text;
    describe(cf, text, 0);
    return new __CFString(std::move(text));
}

// Core Foundation subset: ownership rules, number conversions, strings and
// their encodings, dictionary and array semantics.
#include <gtest/gtest.h>
#include <iconv.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "host/CoreFoundation.h"

namespace {

CFStringRef makeString(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

CFNumberRef makeInt(int32_t v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}

CFMutableDictionaryRef makeDictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

int32_t intValue(CFTypeRef number) {
    int32_t v = INT32_MIN;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(number), kCFNumberSInt32Type, &v));
    return v;
}

// ---------------------------------------------------------------------------
// Ownership

TEST(CFOwnership, RetainAndReleaseCountReferences) {
    CFStringRef s = makeString("abc");
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s); // frees; AddressSanitizer reports a leak or double free otherwise
}

TEST(CFOwnership, ReferenceCountsSurviveConcurrentRetainRelease) {
    CFNumberRef n = makeInt(5);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([n] {
            for (int k = 0; k < 100000; ++k) {
                CFRetain(n);
                CFRelease(n);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(CFGetRetainCount(n), 1);
    CFRelease(n);
}

TEST(CFOwnership, ArrayWithObjectCallbacksRetainsAndReleasesItsValues) {
    CFStringRef a = makeString("a");
    CFStringRef b = makeString("b");
    const void* values[] = {a, b};
    CFArrayRef array = CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks);
    EXPECT_EQ(CFGetRetainCount(a), 2);
    CFMutableArrayRef mutableArray = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(mutableArray, a);
    CFArrayAppendValue(mutableArray, a);
    EXPECT_EQ(CFGetRetainCount(a), 4);
    CFArraySetValueAtIndex(mutableArray, 1, b);
    EXPECT_EQ(CFGetRetainCount(a), 3);
    EXPECT_EQ(CFGetRetainCount(b), 3);
    CFArrayRemoveValueAtIndex(mutableArray, 0);
    EXPECT_EQ(CFGetRetainCount(a), 2);
    CFArrayRemoveAllValues(mutableArray);
    EXPECT_EQ(CFGetRetainCount(b), 2);
    CFRelease(mutableArray);
    CFRelease(array);
    EXPECT_EQ(CFGetRetainCount(a), 1);
    EXPECT_EQ(CFGetRetainCount(b), 1);
    CFRelease(a);
    CFRelease(b);
}

struct PresetRecord { // a plain record that is not an object
    int number;
    const char* name;
};

TEST(CFOwnership, ArrayWithoutCallbacksHoldsPlainPointersUntouched) {
    PresetRecord presets[3] = {{0, "one"}, {1, "two"}, {2, "three"}};
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 3, nullptr);
    for (auto& p : presets)
        CFArrayAppendValue(array, &p);
    ASSERT_EQ(CFArrayGetCount(array), 3);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), &presets[2]);

    CFStringRef s = makeString("kept");
    const void* values[] = {s, s};
    CFArrayRef unretained = CFArrayCreate(nullptr, values, 2, nullptr);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(unretained);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s);
    CFRelease(array); // must not treat the records as objects
}

TEST(CFOwnership, DictionaryRetainsKeysAndValuesAndReleasesReplacedOnes) {
    CFStringRef key = makeString("Version");
    CFNumberRef first = makeInt(1);
    CFNumberRef second = makeInt(2);
    CFMutableDictionaryRef dict = makeDictionary();
    CFDictionarySetValue(dict, key, first);
    EXPECT_EQ(CFGetRetainCount(key), 2);
    EXPECT_EQ(CFGetRetainCount(first), 2);
    CFDictionarySetValue(dict, key, second);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    EXPECT_EQ(CFGetRetainCount(second), 2);
    CFDictionarySetValue(dict, key, second); // same value again
    EXPECT_EQ(CFGetRetainCount(second), 2);
    CFDictionaryRemoveValue(dict, key);
    EXPECT_EQ(CFGetRetainCount(key), 1);
    EXPECT_EQ(CFGetRetainCount(second), 1);
    CFDictionarySetValue(dict, key, first);
    CFRelease(dict);
    EXPECT_EQ(CFGetRetainCount(key), 1);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    CFRelease(key);
    CFRelease(first);
    CFRelease(second);
}

CFStringRef staticKey = CFSTR("static key"); // constant strings work as static initialisers

TEST(CFOwnership, ConstantStringsAreInternedAndImmortal) {
    CFStringRef a = CFSTR("Version");
    CFStringRef b = CFSTR("Version");
    EXPECT_EQ(a, b);
    const CFIndex count = CFGetRetainCount(a);
    for (int k = 0; k < 5; ++k)
        CFRelease(a);
    EXPECT_EQ(CFGetRetainCount(a), count);
    EXPECT_STREQ(CFStringGetCStringPtr(a, kCFStringEncodingUTF8), "Version");
    EXPECT_STREQ(CFStringGetCStringPtr(staticKey, kCFStringEncodingUTF8), "static key");
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
}

// ---------------------------------------------------------------------------
// Numbers

TEST(CFNumber, TypesAreReportedAsFixedSizeKinds) {
    int i = 7;
    double d = 0.25;
    float f = 0.5f;
    long l = 9;
    CFNumberRef ni = CFNumberCreate(nullptr, kCFNumberIntType, &i);
    CFNumberRef nd = CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
    CFNumberRef nf = CFNumberCreate(nullptr, kCFNumberFloatType, &f);
    CFNumberRef nl = CFNumberCreate(nullptr, kCFNumberLongType, &l);
    EXPECT_EQ(CFNumberGetType(ni), kCFNumberSInt32Type);
    EXPECT_EQ(CFNumberGetType(nd), kCFNumberFloat64Type);
    EXPECT_EQ(CFNumberGetType(nf), kCFNumberFloat32Type);
    EXPECT_EQ(CFNumberGetType(nl), kCFNumberSInt64Type);
    EXPECT_FALSE(CFNumberIsFloatType(ni));
    EXPECT_TRUE(CFNumberIsFloatType(nf));
    EXPECT_EQ(CFNumberGetByteSize(nf), 4);
    EXPECT_EQ(CFNumberCreate(nullptr, 99, &i), nullptr);
    for (CFNumberRef n : {ni, nd, nf, nl})
        CFRelease(n);
}

struct Conversion {
    const char* what;
    long double source; // value stored (long double holds any int64 exactly)
    bool sourceIsFloat; // stored as Float64 or SInt64
    CFNumberType target;
    double expected; // value read back (as a double)
    bool exact;      // what CFNumberGetValue reports
};

class CFNumberConversion : public testing::TestWithParam<Conversion> {};

double readAs(CFNumberRef n, CFNumberType type, bool& exact) {
    switch (type) {
    case kCFNumberSInt8Type: {
        int8_t v;
        exact = CFNumberGetValue(n, type, &v);
        return v;
    }
    case kCFNumberSInt16Type: {
        int16_t v;
        exact = CFNumberGetValue(n, type, &v);
        return v;
    }
    case kCFNumberSInt32Type: {
        int32_t v;
        exact = CFNumberGetValue(n, type, &v);
        return v;
    }
    case kCFNumberSInt64Type: {
        int64_t v;
        exact = CFNumberGetValue(n, type, &v);
        return static_cast<double>(v);
    }
    case kCFNumberFloat32Type: {
        float v;
        exact = CFNumberGetValue(n, type, &v);
        return v;
    }
    default: {
        double v;
        exact = CFNumberGetValue(n, type, &v);
        return v;
    }
    }
}

TEST_P(CFNumberConversion, ConvertsAndReportsLoss) {
    const Conversion& c = GetParam();
    CFNumberRef n;
    if (c.sourceIsFloat) {
        auto d = static_cast<double>(c.source);
        n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    } else {
        auto i = static_cast<int64_t>(c.source);
        n = CFNumberCreate(nullptr, kCFNumberSInt64Type, &i);
    }
    bool exact = !c.exact;
    double got = readAs(n, c.target, exact);
    EXPECT_EQ(got, c.expected) << c.what;
    EXPECT_EQ(exact, c.exact) << c.what;
    CFRelease(n);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CFNumberConversion,
    testing::Values(
        Conversion{"fraction truncates toward zero", 2.75, true, kCFNumberSInt32Type, 2, false},
        Conversion{"negative fraction truncates toward zero", -2.75, true, kCFNumberSInt32Type, -2, false},
        Conversion{"whole double to int", 44, true, kCFNumberSInt32Type, 44, true},
        Conversion{"double above int32 clamps", 3e9, true, kCFNumberSInt32Type, 2147483647, false},
        Conversion{"NaN to int gives 0", std::nan(""), true, kCFNumberSInt32Type, 0, false},
        Conversion{"int to float", 3, false, kCFNumberFloat32Type, 3, true},
        Conversion{"double to float rounds", 0.1, true, kCFNumberFloat32Type, static_cast<float>(0.1), true},
        Conversion{"double beyond float range", 1e40, true, kCFNumberFloat32Type,
                   std::numeric_limits<double>::infinity(), false},
        Conversion{"int64 beyond int32 clamps", 1099511627776.0, false, kCFNumberSInt32Type, 2147483647,
                   false},
        Conversion{"negative fits in int8", -1, false, kCFNumberSInt8Type, -1, true},
        Conversion{"300 clamps in int8", 300, false, kCFNumberSInt8Type, 127, false},
        Conversion{"-40000 clamps in int16", -40000, false, kCFNumberSInt16Type, -32768, false},
        Conversion{"2^24+1 is not a float", 16777217, false, kCFNumberFloat32Type, 16777216, false},
        Conversion{"2^53+1 is not a double", 9007199254740993.0L, false, kCFNumberFloat64Type,
                   9007199254740992.0, false},
        Conversion{"2^63 as double clamps in int64", 9223372036854775808.0, true, kCFNumberSInt64Type,
                   9223372036854775807.0, false}));

TEST(CFNumber, EqualityComparesValuesAcrossKinds) {
    int32_t one = 1;
    double oneD = 1.0;
    float half = 0.5f;
    double halfD = 0.5;
    int64_t big = (int64_t{1} << 53) + 1;
    double bigD = 9007199254740992.0; // 2^53
    CFNumberRef a = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFNumberRef b = CFNumberCreate(nullptr, kCFNumberFloat64Type, &oneD);
    CFNumberRef c = CFNumberCreate(nullptr, kCFNumberFloat32Type, &half);
    CFNumberRef d = CFNumberCreate(nullptr, kCFNumberFloat64Type, &halfD);
    CFNumberRef e = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
    CFNumberRef f = CFNumberCreate(nullptr, kCFNumberFloat64Type, &bigD);
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_EQ(CFHash(a), CFHash(b));
    EXPECT_TRUE(CFEqual(c, d));
    EXPECT_FALSE(CFEqual(a, c));
    EXPECT_FALSE(CFEqual(e, f)); // would be equal if compared as doubles
    EXPECT_EQ(CFNumberCompare(e, f, nullptr), kCFCompareGreaterThan);
    EXPECT_EQ(CFNumberCompare(f, e, nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(c, a, nullptr), kCFCompareLessThan);
    EXPECT_EQ(CFNumberCompare(a, b, nullptr), kCFCompareEqualTo);
    for (CFNumberRef n : {a, b, c, d, e, f})
        CFRelease(n);
}

// ---------------------------------------------------------------------------
// Strings

TEST(CFString, RejectsInvalidUTF8AndCountsUTF16Units) {
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "ab\xFF"})
        EXPECT_EQ(makeString(bad), nullptr) << bad;
    struct {
        const char* text;
        CFIndex length;
    } cases[] = {{"", 0}, {"abc", 3}, {"\xE2\x82\xAC", 1}, {"a\xF0\x9F\x98\x80z", 4}};
    for (const auto& c : cases) {
        CFStringRef s = makeString(c.text);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(CFStringGetLength(s), c.length) << c.text;
        CFRelease(s);
    }
}

TEST(CFString, GetCStringNeverWritesPastTheBuffer) {
    CFStringRef s = makeString("Filter");
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(CFStringGetCString(s, buffer, 6, kCFStringEncodingUTF8)); // no room for the zero
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[6], '#');
    EXPECT_TRUE(CFStringGetCString(s, buffer, 7, kCFStringEncodingUTF8));
    EXPECT_STREQ(buffer, "Filter");
    EXPECT_EQ(buffer[7], '#');
    CFRelease(s);

    CFStringRef euro = makeString("5 \xE2\x82\xAC");
    EXPECT_FALSE(CFStringGetCString(euro, buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_EQ(CFStringGetCStringPtr(euro, kCFStringEncodingASCII), nullptr);
    EXPECT_STREQ(CFStringGetCStringPtr(euro, kCFStringEncodingUTF8), "5 \xE2\x82\xAC");
    CFRelease(euro);
}

// The Mac Roman table agrees with the C library's converter except for the
// two code points that changed in later revisions of the encoding.
TEST(CFString, MacRomanMatchesTheSystemConverter) {
    iconv_t converter = iconv_open("UTF-8", "MACINTOSH");
    if (converter == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no MACINTOSH converter";
    int compared = 0;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        if (byte == 0xC6 || byte == 0xF0) continue; // increment vs. delta; a private-use character
        char in[2] = {static_cast<char>(byte), 0};
        char expected[8] = {};
        char* inPtr = in;
        char* outPtr = expected;
        size_t inLeft = 1;
        size_t outLeft = sizeof expected - 1;
        ASSERT_NE(iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1));
        CFStringRef s = CFStringCreateWithCString(nullptr, in, kCFStringEncodingMacRoman);
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(CFStringGetCStringPtr(s, kCFStringEncodingUTF8), expected) << std::hex << byte;
        char back[4] = {};
        EXPECT_TRUE(CFStringGetCString(s, back, sizeof back, kCFStringEncodingMacRoman));
        EXPECT_EQ(static_cast<unsigned char>(back[0]), byte);
        CFRelease(s);
        ++compared;
    }
    iconv_close(converter);
    EXPECT_EQ(compared, 126);
}

TEST(CFString, CompareOrdersByCodePointWithOptionalCaseFolding) {
    CFStringRef a = makeString("Alpha");
    CFStringRef b = makeString("alpha");
    CFStringRef c = makeString("alphabet");
    EXPECT_EQ(CFStringCompare(a, b, 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(a, b, kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(c, b, 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(b, CFSTR("alpha"), 0), kCFCompareEqualTo);
    EXPECT_TRUE(CFEqual(b, CFSTR("alpha")));
    CFStringRef formatted = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d Hz, %.1f dB"), 440, -3.0);
    EXPECT_TRUE(CFEqual(formatted, CFSTR("440 Hz, -3.0 dB")));
    for (CFStringRef s : {a, b, c, formatted})
        CFRelease(s);
}

// ---------------------------------------------------------------------------
// Dictionaries and arrays

TEST(CFDictionary, SetAddReplaceAndRemoveFollowTheirOwnRules) {
    CFMutableDictionaryRef dict = makeDictionary();
    CFNumberRef one = makeInt(1);
    CFNumberRef two = makeInt(2);
    CFStringRef key = makeString("Version"); // a different object than CFSTR("Version")

    CFDictionaryAddValue(dict, key, one);
    CFDictionaryAddValue(dict, CFSTR("Version"), two); // present: Add keeps the old value
    EXPECT_EQ(intValue(CFDictionaryGetValue(dict, CFSTR("Version"))), 1);
    CFDictionaryReplaceValue(dict, CFSTR("missing"), two); // absent: Replace adds nothing
    EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("missing")));
    CFDictionaryReplaceValue(dict, CFSTR("Version"), two);
    EXPECT_EQ(intValue(CFDictionaryGetValue(dict, key)), 2);
    CFDictionarySetValue(dict, CFSTR("Version"), one);
    EXPECT_EQ(intValue(CFDictionaryGetValue(dict, key)), 1);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);

    const void* value = nullptr;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(dict, CFSTR("Version"), &value));
    EXPECT_EQ(value, one);
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("version"), &value)); // keys are case-sensitive
    CFDictionaryRemoveValue(dict, CFSTR("Version"));
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), nullptr);
    CFDictionaryRemoveValue(dict, CFSTR("Version")); // removing an absent key is harmless

    for (CFTypeRef o : {CFTypeRef(dict), CFTypeRef(one), CFTypeRef(two), CFTypeRef(key)})
        CFRelease(o);
}

TEST(CFDictionary, KeysAndValuesComeOutInMatchingPairs) {
    CFMutableDictionaryRef dict = makeDictionary();
    const int count = 1000;
    for (int k = 0; k < count; ++k) {
        CFStringRef key = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key%d"), k);
        CFNumberRef value = makeInt(k);
        CFDictionarySetValue(dict, key, value);
        CFRelease(key);
        CFRelease(value);
    }
    for (int k = 0; k < count; k += 2) {
        CFStringRef key = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("key%d"), k);
        CFDictionaryRemoveValue(dict, key);
        CFRelease(key);
    }
    ASSERT_EQ(CFDictionaryGetCount(dict), count / 2);
    std::vector<const void*> keys(count / 2);
    std::vector<const void*> values(count / 2);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::vector<bool> seen(count, false);
    for (size_t n = 0; n < keys.size(); ++n) {
        const int v = intValue(values[n]);
        char expected[16];
        std::snprintf(expected, sizeof expected, "key%d", v);
        EXPECT_STREQ(CFStringGetCStringPtr(static_cast<CFStringRef>(keys[n]), kCFStringEncodingUTF8),
                     expected);
        EXPECT_EQ(v % 2, 1);
        EXPECT_FALSE(seen[v]);
        seen[v] = true;
    }
    CFRelease(dict);
}

TEST(CFDictionary, WithoutCallbacksKeysCompareByIdentity) {
    CFStringRef a = makeString("same");
    CFStringRef b = makeString("same");
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(dict, a, reinterpret_cast<const void*>(1));
    CFDictionarySetValue(dict, b, reinterpret_cast<const void*>(2));
    EXPECT_EQ(CFDictionaryGetCount(dict), 2);
    EXPECT_EQ(CFGetRetainCount(a), 1);
    EXPECT_EQ(CFDictionaryGetValue(dict, a), reinterpret_cast<const void*>(1));
    CFRelease(dict);
    CFRelease(a);
    CFRelease(b);
}

TEST(CFContainers, EqualityIsDeep) {
    auto build = [](int leaf) {
        CFMutableDictionaryRef outer = makeDictionary();
        CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        CFNumberRef n = makeInt(leaf);
        UInt8 bytes[3] = {1, 2, 3};
        CFDataRef data = CFDataCreate(nullptr, bytes, 3);
        CFArrayAppendValue(list, n);
        CFArrayAppendValue(list, data);
        CFDictionarySetValue(outer, CFSTR("list"), list);
        for (CFTypeRef o : {CFTypeRef(list), CFTypeRef(n), CFTypeRef(data)})
            CFRelease(o);
        return outer;
    };
    CFMutableDictionaryRef x = build(4);
    CFMutableDictionaryRef y = build(4);
    CFMutableDictionaryRef z = build(5);
    EXPECT_TRUE(CFEqual(x, y));
    EXPECT_FALSE(CFEqual(x, z));
    EXPECT_FALSE(CFEqual(x, CFDictionaryGetValue(x, CFSTR("list"))));
    for (CFTypeRef o : {CFTypeRef(x), CFTypeRef(y), CFTypeRef(z)})
        CFRelease(o);
}

TEST(CFArray, IndexesOutsideTheArrayAreRefused) {
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, CFSTR("a"));
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
    CFArrayRemoveValueAtIndex(array, 5);
    CFArrayInsertValueAtIndex(array, 0, CFSTR("b"));
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 2), CFSTR("a")), 1);
    const void* out[3] = {nullptr, nullptr, reinterpret_cast<const void*>(7)};
    CFArrayGetValues(array, CFRangeMake(1, 5), out); // range too long: nothing copied
    EXPECT_EQ(out[0], nullptr);
    CFArrayGetValues(array, CFRangeMake(0, 2), out);
    EXPECT_EQ(out[0], CFSTR("b"));
    EXPECT_EQ(out[2], reinterpret_cast<const void*>(7));
    CFRelease(array);
}

TEST(CFData, CopiesRangesOnlyInsideTheData) {
    UInt8 bytes[4] = {10, 20, 30, 40};
    CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
    CFDataAppendBytes(data, bytes, 4);
    UInt8 out[4] = {0, 0, 0, 0};
    CFDataGetBytes(data, CFRangeMake(3, 2), out);
    EXPECT_EQ(out[0], 0);
    CFDataGetBytes(data, CFRangeMake(1, 3), out);
    EXPECT_EQ(out[2], 40);
    CFDataSetLength(data, 6);
    ASSERT_EQ(CFDataGetLength(data), 6);
    EXPECT_EQ(CFDataGetBytePtr(data)[5], 0);
    CFRelease(data);
    CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
    EXPECT_EQ(CFDataGetLength(empty), 0);
    CFRelease(empty);
}

} // namespace

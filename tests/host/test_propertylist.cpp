// Property lists: the XML we write, binary input, and untrusted files that
// must give errors instead of crashes.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/PropertyList.h"

namespace {

// A scratch directory removed with its files at the end of each test.
class TempDir {
  public:
    TempDir() {
        std::string pattern = testing::TempDir() + "plistXXXXXX";
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        for (const std::string& name : entries())
            ::unlink((path_ + "/" + name).c_str());
        ::rmdir(path_.c_str());
    }
    std::string file(const char* name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(dir))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    names.push_back(e->d_name);
            ::closedir(dir);
        }
        return names;
    }

  private:
    std::string path_;
};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const std::string& path, const void* bytes, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

CFDataRef dataOf(const std::string& bytes) {
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                        static_cast<CFIndex>(bytes.size()));
}

// Parses bytes; returns the object (or nullptr) and the error text.
CFPropertyListRef parse(const std::string& bytes, std::string& error, CFOptionFlags options = 0,
                        CFPropertyListFormat* format = nullptr) {
    CFDataRef data = dataOf(bytes);
    CFErrorRef cfError = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, options, format, &cfError);
    CFRelease(data);
    error = propertyListErrorText(cfError);
    if (cfError) CFRelease(cfError);
    return plist;
}

// Expects bytes to be refused with an error; never crashes (ASan watches).
void expectRefused(const std::string& bytes, const std::string& expectedText = "") {
    std::string error;
    CFPropertyListRef plist = parse(bytes, error);
    EXPECT_EQ(plist, nullptr) << bytes.substr(0, 80);
    if (plist) CFRelease(plist);
    EXPECT_FALSE(error.empty());
    if (!expectedText.empty()) {
        EXPECT_NE(error.find(expectedText), std::string::npos) << error;
    }
}

void setNumber(CFMutableDictionaryRef dict, CFStringRef key, CFNumberType type, const void* value) {
    CFNumberRef n = CFNumberCreate(nullptr, type, value);
    CFDictionarySetValue(dict, key, n);
    CFRelease(n);
}

CFMutableDictionaryRef makeDictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

// A state-like dictionary, its keys added out of order.
CFMutableDictionaryRef sampleState() {
    CFMutableDictionaryRef dict = makeDictionary();
    const int32_t version = 10, manufacturer = 1886352244, bias = -3;
    const int64_t samples = 5000000000;
    const float velocityLX = 0.1f, velocityRY = -0.25f;
    setNumber(dict, CFSTR("velocity_L_X"), kCFNumberFloat32Type, &velocityLX);
    setNumber(dict, CFSTR("Version"), kCFNumberSInt32Type, &version);
    setNumber(dict, CFSTR("velocity_R_Y"), kCFNumberFloat32Type, &velocityRY);
    setNumber(dict, CFSTR("manufacturer"), kCFNumberSInt32Type, &manufacturer);
    setNumber(dict, CFSTR("bias"), kCFNumberSInt32Type, &bias);
    setNumber(dict, CFSTR("samples"), kCFNumberSInt64Type, &samples);
    UInt8 bytes[60];
    for (int k = 0; k < 60; ++k)
        bytes[k] = static_cast<UInt8>(k);
    CFDataRef motion = CFDataCreate(nullptr, bytes, 60);
    CFDictionarySetValue(dict, CFSTR("LeftMotion"), motion);
    CFRelease(motion);
    CFDictionarySetValue(dict, CFSTR("name"), CFSTR("a<b & \"c\""));
    const void* flags[] = {kCFBooleanTrue, kCFBooleanFalse};
    CFArrayRef flagArray = CFArrayCreate(nullptr, flags, 2, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(dict, CFSTR("flags"), flagArray);
    CFRelease(flagArray);
    CFArrayRef empty = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(dict, CFSTR("empty"), empty);
    CFRelease(empty);
    CFMutableDictionaryRef names = makeDictionary();
    CFMutableDictionaryRef inputNames = makeDictionary();
    CFDictionarySetValue(inputNames, CFSTR("1"), CFSTR("Input"));
    CFDictionarySetValue(names, CFSTR("0"), inputNames);
    CFDictionarySetValue(dict, CFSTR("element-name"), names);
    CFRelease(inputNames);
    CFRelease(names);
    return dict;
}

// The standard XML form of sampleState(), after the two header lines: keys
// sorted, one tab per level, reals with 17 significant digits, base64 in
// lines of 68 characters.
const char* const kSampleStateBody =
    "<plist version=\"1.0\">\n"
    "<dict>\n"
    "\t<key>LeftMotion</key>\n"
    "\t<data>\n"
    "\tAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEy\n"
    "\tMzQ1Njc4OTo7\n"
    "\t</data>\n"
    "\t<key>Version</key>\n"
    "\t<integer>10</integer>\n"
    "\t<key>bias</key>\n"
    "\t<integer>-3</integer>\n"
    "\t<key>element-name</key>\n"
    "\t<dict>\n"
    "\t\t<key>0</key>\n"
    "\t\t<dict>\n"
    "\t\t\t<key>1</key>\n"
    "\t\t\t<string>Input</string>\n"
    "\t\t</dict>\n"
    "\t</dict>\n"
    "\t<key>empty</key>\n"
    "\t<array/>\n"
    "\t<key>flags</key>\n"
    "\t<array>\n"
    "\t\t<true/>\n"
    "\t\t<false/>\n"
    "\t</array>\n"
    "\t<key>manufacturer</key>\n"
    "\t<integer>1886352244</integer>\n"
    "\t<key>name</key>\n"
    "\t<string>a&lt;b &amp; \"c\"</string>\n"
    "\t<key>samples</key>\n"
    "\t<integer>5000000000</integer>\n"
    "\t<key>velocity_L_X</key>\n"
    "\t<real>0.10000000149011612</real>\n"
    "\t<key>velocity_R_Y</key>\n"
    "\t<real>-0.25</real>\n"
    "</dict>\n"
    "</plist>\n";

// Builds a binary property list from encoded objects (object 0 is the top).
std::string binaryPlist(const std::vector<std::vector<UInt8>>& objects) {
    std::string out = "bplist00";
    std::vector<uint32_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out.append(o.begin(), o.end());
    }
    const uint64_t tableOffset = out.size();
    for (uint32_t off : offsets)
        for (int shift = 24; shift >= 0; shift -= 8)
            out += static_cast<char>((off >> shift) & 0xFF);
    const int refSize = objects.size() > 255 ? 4 : 1;
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = static_cast<char>(refSize);
    for (int k = 0; k < 8; ++k) {
        trailer[8 + k] = static_cast<char>((objects.size() >> (56 - 8 * k)) & 0xFF);
        trailer[24 + k] = static_cast<char>((tableOffset >> (56 - 8 * k)) & 0xFF);
    }
    return out + trailer;
}

// A reference of refSize bytes (matches binaryPlist's choice).
void appendRef(std::vector<UInt8>& o, uint32_t ref, size_t objectCount) {
    if (objectCount > 255)
        for (int shift = 24; shift >= 0; shift -= 8)
            o.push_back(static_cast<UInt8>(ref >> shift));
    else
        o.push_back(static_cast<UInt8>(ref));
}

// {"a": 1, "b": [true, 2.5], "c": <01 02>, "d": "é€" (UTF-16)}
std::string sampleBinary() {
    return binaryPlist({
        {0xD4, 1, 2, 3, 9, 4, 5, 8, 10},
        {0x51, 'a'},
        {0x51, 'b'},
        {0x51, 'c'},
        {0x10, 0x01},
        {0xA2, 6, 7},
        {0x09},
        {0x23, 0x40, 0x04, 0, 0, 0, 0, 0, 0},
        {0x42, 0x01, 0x02},
        {0x51, 'd'},
        {0x62, 0x00, 0xE9, 0x20, 0xAC},
    });
}

// n arrays nested in one another around a true.
std::string nestedBinary(size_t n) {
    std::vector<std::vector<UInt8>> objects;
    for (size_t k = 0; k < n; ++k) {
        std::vector<UInt8> o = {0xA1};
        appendRef(o, static_cast<uint32_t>(k + 1), n + 1);
        objects.push_back(o);
    }
    objects.push_back({0x09});
    return binaryPlist(objects);
}

std::string nestedXml(size_t n) {
    std::string s = "<plist>";
    for (size_t k = 0; k < n; ++k)
        s += "<array>";
    for (size_t k = 0; k < n; ++k)
        s += "</array>";
    return s + "</plist>";
}

// ---------------------------------------------------------------------------
// Writing

TEST(PropertyListFile, WritesTheStandardXmlFormAndReadsItBack) {
    TempDir dir;
    CFMutableDictionaryRef state = sampleState();
    std::string error;
    const std::string path = dir.file("state.aupreset");
    ASSERT_TRUE(writePropertyListFile(path, state, error)) << error;

    const std::string text = readText(path);
    const size_t bodyStart = text.find("<plist version");
    ASSERT_NE(bodyStart, std::string::npos);
    EXPECT_EQ(text.substr(0, 39), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    EXPECT_EQ(text.substr(39, 24), "<!DOCTYPE plist PUBLIC \"");
    EXPECT_EQ(text.substr(bodyStart), kSampleStateBody);

    CFPropertyListFormat format = 0;
    CFPropertyListRef back = readPropertyListFile(path, error, kCFPropertyListImmutable, &format);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
    EXPECT_TRUE(CFEqual(back, state));
    auto dict = static_cast<CFDictionaryRef>(back);
    float velocity = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("velocity_L_X"))),
                                 kCFNumberFloat32Type, &velocity));
    EXPECT_EQ(velocity, 0.1f);
    int32_t version = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("Version"))),
                                 kCFNumberSInt32Type, &version));
    EXPECT_EQ(version, 10);
    CFRelease(back);
    CFRelease(state);
}

TEST(PropertyListFile, BinaryFormatRoundTrips) {
    TempDir dir;
    CFMutableDictionaryRef state = sampleState();
    std::string error;
    const std::string path = dir.file("state.bin");
    ASSERT_TRUE(writePropertyListFile(path, state, error, kCFPropertyListBinaryFormat_v1_0)) << error;
    EXPECT_EQ(readText(path).substr(0, 8), "bplist00");
    CFPropertyListFormat format = 0;
    CFPropertyListRef back = readPropertyListFile(path, error, kCFPropertyListImmutable, &format);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_EQ(format, kCFPropertyListBinaryFormat_v1_0);
    EXPECT_TRUE(CFEqual(back, state));
    CFRelease(back);
    CFRelease(state);
}

TEST(PropertyListFile, FailedWriteLeavesTheOldFileAndNoTemporaries) {
    TempDir dir;
    const std::string path = dir.file("keep.plist");
    std::string error;
    CFMutableDictionaryRef good = sampleState();
    ASSERT_TRUE(writePropertyListFile(path, good, error));
    const std::string before = readText(path);

    CFMutableDictionaryRef bad = makeDictionary();
    const int32_t one = 1;
    CFNumberRef key = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFDictionarySetValue(bad, key, CFSTR("x"));
    EXPECT_FALSE(writePropertyListFile(path, bad, error));
    EXPECT_NE(error.find("not a string"), std::string::npos) << error;
    EXPECT_EQ(readText(path), before);
    EXPECT_EQ(dir.entries().size(), 1u);

    EXPECT_FALSE(writePropertyListFile(dir.file("missing/dir.plist"), good, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;

    // Replacing an existing file with new content works.
    CFDictionarySetValue(good, CFSTR("name"), CFSTR("other"));
    ASSERT_TRUE(writePropertyListFile(path, good, error));
    EXPECT_NE(readText(path), before);
    EXPECT_EQ(dir.entries().size(), 1u);

    // A pipe (or a device such as /dev/null) is refused, not replaced by a file.
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(writePropertyListFile(pipe, good, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    struct stat info {};
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(dir.entries().size(), 2u);
    for (CFTypeRef o : {CFTypeRef(good), CFTypeRef(bad), CFTypeRef(key)})
        CFRelease(o);
}

TEST(PropertyListData, ObjectsThatAreNotPropertyListsAreRefused) {
    auto refused = [](CFTypeRef plist, const char* reason) {
        CFErrorRef error = nullptr;
        CFDataRef data = CFPropertyListCreateData(nullptr, plist, kCFPropertyListXMLFormat_v1_0, 0, &error);
        EXPECT_EQ(data, nullptr) << reason;
        const std::string text = propertyListErrorText(error);
        EXPECT_NE(text.find(reason), std::string::npos) << text;
        EXPECT_FALSE(CFPropertyListIsValid(plist, kCFPropertyListXMLFormat_v1_0));
        if (data) CFRelease(data);
        if (error) CFRelease(error);
    };
    CFMutableArrayRef plain = CFArrayCreateMutable(nullptr, 0, nullptr);
    CFArrayAppendValue(plain, CFSTR("x"));
    refused(plain, "without object callbacks");

    const UInt8 withZero[] = {'a', 0, 'b'};
    CFStringRef zero = CFStringCreateWithBytes(nullptr, withZero, 3, kCFStringEncodingUTF8, false);
    refused(zero, "zero character");

    CFTypeRef deep = CFRetain(kCFBooleanTrue);
    for (int k = 0; k < 65; ++k) {
        const void* values[] = {deep};
        CFTypeRef outer = CFArrayCreate(nullptr, values, 1, &kCFTypeArrayCallBacks);
        CFRelease(deep);
        deep = outer;
        if (k == 63) {
            EXPECT_TRUE(CFPropertyListIsValid(deep, kCFPropertyListXMLFormat_v1_0));
        }
    }
    refused(deep, "deeper than 64");
    for (CFTypeRef o : {CFTypeRef(plain), CFTypeRef(zero), deep})
        CFRelease(o);
}

// ---------------------------------------------------------------------------
// Reading

TEST(PropertyListData, ReadsHandBuiltBinary) {
    std::string error;
    CFPropertyListFormat format = 0;
    CFPropertyListRef plist = parse(sampleBinary(), error, 0, &format);
    ASSERT_NE(plist, nullptr) << error;
    EXPECT_EQ(format, kCFPropertyListBinaryFormat_v1_0);
    auto dict = static_cast<CFDictionaryRef>(plist);
    ASSERT_EQ(CFGetTypeID(dict), CFDictionaryGetTypeID());
    EXPECT_EQ(CFDictionaryGetCount(dict), 4);
    int32_t a = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("a"))),
                                 kCFNumberSInt32Type, &a));
    EXPECT_EQ(a, 1);
    auto b = static_cast<CFArrayRef>(CFDictionaryGetValue(dict, CFSTR("b")));
    ASSERT_EQ(CFArrayGetCount(b), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(b, 0), kCFBooleanTrue);
    double real = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(b, 1)), kCFNumberFloat64Type, &real);
    EXPECT_EQ(real, 2.5);
    auto c = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("c")));
    ASSERT_EQ(CFDataGetLength(c), 2);
    EXPECT_EQ(CFDataGetBytePtr(c)[1], 2);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("d")), CFSTR("\xC3\xA9\xE2\x82\xAC")));
    CFRelease(plist);
}

TEST(PropertyListData, IntegersAtTheEdgesOfTheRangeAreKept) {
    std::string error;
    CFPropertyListRef plist =
        parse("<plist><array><integer>-9223372036854775808</integer><integer>0x10</integer>"
              "<integer> 9223372036854775807 </integer><real>-infinity</real></array></plist>",
              error);
    ASSERT_NE(plist, nullptr) << error;
    auto array = static_cast<CFArrayRef>(plist);
    int64_t v[3] = {};
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, k)),
                                     kCFNumberSInt64Type, &v[k]));
    EXPECT_EQ(v[0], INT64_MIN);
    EXPECT_EQ(v[1], 16);
    EXPECT_EQ(v[2], INT64_MAX);
    double inf = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, 3)), kCFNumberFloat64Type, &inf);
    EXPECT_TRUE(std::isinf(inf) && inf < 0);
    CFRelease(plist);

    // 128-bit binary integers that fit in 64 bits, and one that does not.
    std::vector<UInt8> minusFive = {0x14};
    for (int k = 0; k < 15; ++k)
        minusFive.push_back(0xFF);
    minusFive.push_back(0xFB);
    plist = parse(binaryPlist({minusFive}), error);
    ASSERT_NE(plist, nullptr) << error;
    int32_t five = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(plist), kCFNumberSInt32Type, &five));
    EXPECT_EQ(five, -5);
    CFRelease(plist);
    std::vector<UInt8> huge = {0x14, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    expectRefused(binaryPlist({huge}), "64-bit range");
}

TEST(PropertyListData, MutabilityOptionsAreHonoured) {
    std::string error;
    const std::string xml = "<plist><dict><key>d</key><data>AQI=</data></dict></plist>";
    CFPropertyListRef frozen = parse(xml, error);
    CFPropertyListRef open = parse(xml, error, kCFPropertyListMutableContainersAndLeaves);
    ASSERT_TRUE(frozen && open);
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(frozen)), CFSTR("x"),
                         CFSTR("y"));
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(open)), CFSTR("x"),
                         CFSTR("y"));
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(frozen)), 1);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(open)), 2);
    auto data = static_cast<CFMutableDataRef>(
        const_cast<void*>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(open), CFSTR("d"))));
    const UInt8 more = 3;
    CFDataAppendBytes(data, &more, 1);
    EXPECT_EQ(CFDataGetLength(data), 3);

    CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, open, kCFPropertyListImmutable);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(CFEqual(copy, open));
    EXPECT_NE(CFDictionaryGetValue(static_cast<CFDictionaryRef>(copy), CFSTR("d")), data);
    for (CFTypeRef o : {frozen, open, copy})
        CFRelease(o);
}

// ---------------------------------------------------------------------------
// Untrusted input

struct BadInput {
    const char* what;
    const char* bytes;
    const char* expected; // part of the error text
};

class PropertyListBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(PropertyListBadInput, IsRefusedWithAReason) {
    expectRefused(GetParam().bytes, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, PropertyListBadInput,
    testing::Values(
        BadInput{"empty", "", "empty"}, BadInput{"not a property list", "hello", "neither XML nor binary"},
        BadInput{"date", "<plist><date>2020-01-01T00:00:00Z</date></plist>", "dates are not supported"},
        BadInput{"date deep inside",
                 "<plist><dict><key>k</key><array><date>2020-01-01T00:00:00Z</date></array></dict></plist>",
                 "at /k/0"},
        BadInput{"integer text", "<plist><integer>abc</integer></plist>", "not a whole number"},
        BadInput{"integer overflow", "<plist><integer>9223372036854775808</integer></plist>", "64-bit range"},
        BadInput{"empty integer", "<plist><integer/></plist>", "not a whole number"},
        BadInput{"real text", "<plist><real>1.2.3</real></plist>", "is not a number"},
        BadInput{"dangling key", "<plist><dict><key>a</key></dict></plist>", "key without a value"},
        BadInput{"value without key", "<plist><dict><string>a</string></dict></plist>", "without a key"},
        BadInput{"bad base64", "<plist><data>!!!!</data></plist>", "base64"},
        BadInput{"invalid UTF-8", "<plist><string>\xFF</string></plist>", "UTF-8"},
        BadInput{"entity definitions",
                 "<!DOCTYPE plist [<!ENTITY a \"aaaa\">]><plist><string>&a;</string></plist>",
                 "internal declarations"},
        BadInput{"unknown element", "<plist><array><foo/></array></plist>", "unknown element"},
        BadInput{"mismatched tags", "<plist><array></dict></plist>", "unexpected </dict>"},
        BadInput{"element inside a leaf", "<plist><string><dict/></string></plist>", "inside <string>"},
        BadInput{"two roots", "<plist><true/></plist><plist><true/></plist>", "misplaced"},
        BadInput{"unterminated comment", "<plist><!-- <true/></plist>", "unterminated comment"}));

TEST(PropertyListUntrusted, NestingIsLimitedToSixtyFourLevels) {
    std::string error;
    for (const std::string& ok : {nestedXml(64), nestedBinary(64)}) {
        CFPropertyListRef plist = parse(ok, error);
        EXPECT_NE(plist, nullptr) << error;
        if (plist) CFRelease(plist);
    }
    expectRefused(nestedXml(65), "deeper than 64");
    expectRefused(nestedBinary(65), "deeper than 64");
    // Depths that would exhaust the stack of a recursive parser.
    expectRefused(nestedXml(1000000), "deeper than 64");
    expectRefused(nestedBinary(200000), "deeper than 64");
}

TEST(PropertyListUntrusted, BinaryStructureTricksAreRefused) {
    expectRefused(binaryPlist({{0xA1, 0x00}}), "refers to itself");
    // A zero character would cut a key short (and cannot be written as XML).
    expectRefused(binaryPlist({{0x62, 0x00, 'a', 0x00, 0x00}}), "zero character");
    expectRefused(binaryPlist({{0xA1, 0x05}}), "missing object");
    expectRefused(binaryPlist({{0xC1, 0x00}}), "unsupported object type"); // a set
    expectRefused(binaryPlist({{0x00}}), "null");

    // Each level refers twice to the next: 2^40 values once expanded.
    std::vector<std::vector<UInt8>> objects;
    for (UInt8 k = 0; k < 40; ++k)
        objects.push_back({0xA2, static_cast<UInt8>(k + 1), static_cast<UInt8>(k + 1)});
    objects.push_back({0x09});
    expectRefused(binaryPlist(objects), "more than");

    // Ten levels (1024 leaves) is an ordinary shared structure.
    objects.clear();
    for (UInt8 k = 0; k < 10; ++k)
        objects.push_back({0xA2, static_cast<UInt8>(k + 1), static_cast<UInt8>(k + 1)});
    objects.push_back({0x09});
    std::string error;
    CFPropertyListRef plist = parse(binaryPlist(objects), error);
    ASSERT_NE(plist, nullptr) << error;
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(plist)), 2);
    CFRelease(plist);
}

TEST(PropertyListUntrusted, EveryTruncationIsRefused) {
    CFMutableDictionaryRef state = sampleState();
    CFDataRef xml = CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    CFDataRef bin = CFPropertyListCreateData(nullptr, state, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    ASSERT_TRUE(xml && bin);
    const std::string xmlText(reinterpret_cast<const char*>(CFDataGetBytePtr(xml)), CFDataGetLength(xml));
    const std::string binText(reinterpret_cast<const char*>(CFDataGetBytePtr(bin)), CFDataGetLength(bin));
    const size_t xmlEnd = xmlText.rfind("</plist>"); // a cut after the last tag is still whole
    for (size_t n = 0; n < xmlEnd; ++n)
        expectRefused(xmlText.substr(0, n));
    for (size_t n = 0; n < binText.size(); ++n)
        expectRefused(binText.substr(0, n));
    expectRefused(sampleBinary().substr(0, sampleBinary().size() - 1));
    for (CFTypeRef o : {CFTypeRef(state), CFTypeRef(xml), CFTypeRef(bin)})
        CFRelease(o);
}

TEST(PropertyListUntrusted, RandomAndMutatedBytesNeverCrash) {
    CFMutableDictionaryRef state = sampleState();
    CFDataRef xml = CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    CFDataRef bin = CFPropertyListCreateData(nullptr, state, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
    const std::string seeds[] = {
        std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(xml)), CFDataGetLength(xml)),
        std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(bin)), CFDataGetLength(bin)),
        sampleBinary()};
    std::mt19937 random(12345);
    std::string error;
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        if (round % 3 == 0) {
            bytes.resize(random() % 400);
            for (char& c : bytes)
                c = static_cast<char>(random());
            if (round % 2)
                bytes.replace(0, std::min<size_t>(8, bytes.size()), "bplist00",
                              std::min<size_t>(8, bytes.size()));
        } else {
            bytes = seeds[random() % 3];
            for (int flips = 1 + random() % 4; flips > 0; --flips)
                bytes[random() % bytes.size()] = static_cast<char>(random());
        }
        CFPropertyListRef plist = parse(bytes, error);
        if (plist) {
            ++parsed;
            EXPECT_TRUE(CFPropertyListIsValid(plist, kCFPropertyListXMLFormat_v1_0));
            CFRelease(plist);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_GT(parsed, 0); // some mutations land in harmless places
    for (CFTypeRef o : {CFTypeRef(state), CFTypeRef(xml), CFTypeRef(bin)})
        CFRelease(o);
}

TEST(PropertyListUntrusted, FileProblemsGiveClearErrors) {
    TempDir dir;
    std::string error;
    EXPECT_EQ(readPropertyListDictionary(dir.file("absent.plist"), error), nullptr);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    EXPECT_EQ(readPropertyListDictionary(dir.file(""), error), nullptr); // the directory itself
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;

    const std::string huge = dir.file("huge.plist");
    int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, kMorvanePropertyListMaxBytes + 1), 0); // sparse: costs no disk
    ::close(fd);
    EXPECT_EQ(readPropertyListDictionary(huge, error), nullptr);
    EXPECT_NE(error.find("larger than 64 MiB"), std::string::npos) << error;

    const std::string array = dir.file("array.plist");
    const char text[] = "<plist><array><true/></array></plist>";
    writeBytes(array, text, sizeof text - 1);
    EXPECT_EQ(readPropertyListDictionary(array, error), nullptr);
    EXPECT_NE(error.find("not a dictionary"), std::string::npos) << error;
    CFPropertyListRef any = readPropertyListFile(array, error);
    EXPECT_NE(any, nullptr) << error;
    if (any) CFRelease(any);

    const std::string binary = dir.file("binary.plist");
    const std::string bytes = sampleBinary();
    writeBytes(binary, bytes.data(), bytes.size());
    CFDictionaryRef dict = readPropertyListDictionary(binary, error);
    ASSERT_NE(dict, nullptr) << error;
    EXPECT_EQ(CFDictionaryGetCount(dict), 4);
    CFRelease(dict);
}

} // namespace

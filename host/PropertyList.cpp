// Property lists: conversion between objects and XML or binary bytes
// (through libplist), and the file helpers.
//
// Bytes read from outside are checked before libplist sees them, because its
// parsers trust their input more than we can afford to: its XML reader
// recurses once per nesting level and turns malformed numbers into 0, and its
// binary reader expands every shared reference into a full copy. The checks
// bound the nesting depth, the number of values after expansion and the
// syntax of numbers and data, so libplist only ever parses sane input.
#include "host/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr int kMaxDepth = static_cast<int>(kMorvanePropertyListMaxDepth);
constexpr size_t kMaxBytes = static_cast<size_t>(kMorvanePropertyListMaxBytes);
constexpr size_t kMaxObjects = static_cast<size_t>(kMorvanePropertyListMaxObjects);

CFErrorRef makeError(CFIndex code, const std::string& text) {
    CFStringRef description =
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.data()),
                                static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false);
    if (description == nullptr) // text quoted invalid bytes from the input
        description = CFStringCreateWithCString(nullptr, "malformed property list", kCFStringEncodingUTF8);
    const void* keys[] = {kCFErrorDescriptionKey};
    const void* values[] = {description};
    CFDictionaryRef info = CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks);
    CFErrorRef error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    CFRelease(description);
    return error;
}

void report(CFErrorRef* out, CFIndex code, const std::string& text) {
    if (out) *out = makeError(code, text);
}

std::string depthText() {
    return "property list nests deeper than " + std::to_string(kMaxDepth) + " levels";
}
std::string countText() {
    return "property list holds more than " + std::to_string(kMaxObjects) + " values";
}

// ---------------------------------------------------------------------------
// Checking XML before parsing

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isXmlSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isXmlSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// A whole number in the signed 64-bit range, decimal or 0x hexadecimal.
bool validInteger(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    const uint64_t limit = negative ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (value > (limit - digit) / base) return false;
        value = value * base + digit;
    }
    return true;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// A decimal real, or nan / inf / infinity with an optional sign.
bool validReal(std::string_view text) {
    text = trim(text);
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    if (equalsNoCase(text, "nan") || equalsNoCase(text, "inf") || equalsNoCase(text, "infinity")) return true;
    size_t pos = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos, ++digits;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            ++pos, ++digits;
    }
    if (digits == 0) return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
        size_t exponentDigits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            ++pos, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return pos == text.size();
}

bool validBase64(std::string_view text) {
    size_t padding = 0;
    size_t symbols = 0;
    for (char c : text) {
        if (isXmlSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              c == '+' || c == '/';
        if (!alphabet || padding > 0) return false; // nothing but padding after padding
        ++symbols;
    }
    return padding <= 2 && (symbols + padding) % 4 == 0;
}

// Checks the XML text of a property list: known elements only, properly
// nested, containers at most kMaxDepth deep, at most kMaxObjects values,
// dictionaries alternating key and value, numbers and data well formed, no
// document type with an internal subset (entity definitions).
class XmlChecker {
  public:
    bool check(std::string_view xml, std::string& error) {
        text_ = xml;
        pos_ = 0;
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        while (pos_ < text_.size()) {
            if (text_[pos_] != '<') {
                if (!characters(error)) return false;
            } else if (!markup(error)) {
                return false;
            }
        }
        if (!stack_.empty()) return fail(error, "XML ends inside <" + stack_.back().name + ">");
        if (!sawRoot_) return fail(error, "no property-list element in the XML");
        return true;
    }

  private:
    struct Frame {
        std::string name;
        bool container;
        bool dictionary;
        bool leaf;
        bool expectKey;
        std::string content;
    };

    static bool fail(std::string& error, const std::string& what) {
        error = "malformed XML property list: " + what;
        return false;
    }

    bool characters(std::string& error) {
        size_t end = text_.find('<', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view chunk = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (!stack_.empty() && stack_.back().leaf) {
            appendContent(chunk, error);
            return true;
        }
        if (!trim(chunk).empty()) return fail(error, "text outside a value");
        return true;
    }

    void appendContent(std::string_view chunk, std::string&) {
        // Only numbers and data are checked; long strings need not be kept.
        const std::string& name = stack_.back().name;
        if (name == "integer" || name == "real" || name == "data") stack_.back().content.append(chunk);
    }

    bool skipPast(std::string_view terminator, std::string& error, const char* what) {
        size_t end = text_.find(terminator, pos_);
        if (end == std::string_view::npos) return fail(error, std::string("unterminated ") + what);
        pos_ = end + terminator.size();
        return true;
    }

    static bool nameChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == ':' || c == '-' || c == '.';
    }

    std::string readName() {
        size_t start = pos_;
        while (pos_ < text_.size() && nameChar(text_[pos_]))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    // Moves past the '>' that ends a tag, skipping quoted attribute values;
    // tells whether the tag closed itself with "/>".
    bool endOfTag(bool& selfClosing, std::string& error) {
        char quote = 0;
        for (; pos_ < text_.size(); ++pos_) {
            char c = text_[pos_];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                selfClosing = text_[pos_ - 1] == '/';
                ++pos_;
                return true;
            } else if (c == '<') {
                break;
            }
        }
        return fail(error, "unterminated tag");
    }

    bool markup(std::string& error) {
        std::string_view rest = text_.substr(pos_);
        if (rest.substr(0, 2) == "<?") return skipPast("?>", error, "processing instruction");
        if (rest.substr(0, 4) == "<!--") return skipPast("-->", error, "comment");
        if (rest.substr(0, 9) == "<![CDATA[") {
            size_t end = text_.find("]]>", pos_ + 9);
            if (end == std::string_view::npos) return fail(error, "unterminated CDATA section");
            if (stack_.empty() || !stack_.back().leaf) return fail(error, "CDATA outside a value");
            appendContent(text_.substr(pos_ + 9, end - pos_ - 9), error);
            pos_ = end + 3;
            return true;
        }
        if (rest.substr(0, 2) == "<!") {
            size_t end = text_.find('>', pos_);
            if (end == std::string_view::npos) return fail(error, "unterminated declaration");
            if (text_.substr(pos_, end - pos_).find('[') != std::string_view::npos)
                return fail(error, "document type with internal declarations");
            pos_ = end + 1;
            return true;
        }
        if (rest.substr(0, 2) == "</") {
            pos_ += 2;
            std::string name = readName();
            while (pos_ < text_.size() && isXmlSpace(text_[pos_]))
                ++pos_;
            if (pos_ >= text_.size() || text_[pos_] != '>') return fail(error, "bad end tag </" + name);
            ++pos_;
            if (stack_.empty() || stack_.back().name != name)
                return fail(error, "unexpected </" + name + ">");
            return close(error);
        }
        ++pos_;
        std::string name = readName();
        bool selfClosing = false;
        if (!endOfTag(selfClosing, error)) return false;
        if (!open(name, error)) return false;
        return selfClosing ? close(error) : true;
    }

    bool open(const std::string& name, std::string& error) {
        static constexpr const char* kLeaves[] = {"key",  "string", "integer", "real",
                                                  "data", "date",   "true",    "false"};
        const bool container = name == "dict" || name == "array";
        const bool leaf = std::find(std::begin(kLeaves), std::end(kLeaves), name) != std::end(kLeaves);
        if (name == "plist") {
            if (!stack_.empty() || sawRoot_) return fail(error, "misplaced <plist>");
            sawRoot_ = true;
        } else if (!container && !leaf) {
            return fail(error, "unknown element <" + name + ">");
        }
        if (!stack_.empty()) {
            Frame& parent = stack_.back();
            if (parent.leaf) return fail(error, "<" + name + "> inside <" + parent.name + ">");
            if (parent.dictionary) {
                if (parent.expectKey != (name == "key"))
                    return fail(error,
                                parent.expectKey ? "dictionary value without a key" : "key without a value");
                parent.expectKey = !parent.expectKey;
            } else if (name == "key") {
                return fail(error, "<key> outside a dictionary");
            }
        } else if (name != "plist") {
            // Tolerate a bare value without the <plist> wrapper, as readers commonly do.
            if (sawRoot_) return fail(error, "more than one top-level value");
            sawRoot_ = true;
        }
        if (container && ++containerDepth_ > kMaxDepth) {
            error = depthText();
            return false;
        }
        if (name != "key" && name != "plist" && ++values_ > kMaxObjects) {
            error = countText();
            return false;
        }
        stack_.push_back(Frame{name, container, name == "dict", leaf, true, {}});
        return true;
    }

    bool close(std::string& error) {
        Frame frame = std::move(stack_.back());
        stack_.pop_back();
        if (frame.container) --containerDepth_;
        if (frame.dictionary && !frame.expectKey) return fail(error, "key without a value");
        if (frame.name == "integer" && !validInteger(frame.content))
            return fail(error, "integer \"" + shorten(frame.content) +
                                   "\" is not a whole number in the 64-bit range");
        if (frame.name == "real" && !validReal(frame.content))
            return fail(error, "real \"" + shorten(frame.content) + "\" is not a number");
        if (frame.name == "data" && !validBase64(frame.content))
            return fail(error, "data is not valid base64");
        return true;
    }

    static std::string shorten(std::string_view s) {
        s = trim(s);
        return std::string(s.substr(0, 40)) + (s.size() > 40 ? "..." : "");
    }

    std::string_view text_;
    size_t pos_ = 0;
    std::vector<Frame> stack_;
    int containerDepth_ = 0;
    size_t values_ = 0;
    bool sawRoot_ = false;
};

// ---------------------------------------------------------------------------
// Checking binary before parsing

// Walks the object table of a binary property list: every offset, length and
// reference inside the file, no reference cycles, containers at most
// kMaxDepth deep and at most kMaxObjects values once shared references are
// expanded, integers within 64 bits, no sets or nulls.
class BinaryChecker {
  public:
    bool check(const UInt8* bytes, size_t size, std::string& error) {
        bytes_ = bytes;
        size_ = size;
        if (size < 8 + 32 || std::memcmp(bytes, "bplist0", 7) != 0) return fail(error, "too short");
        const UInt8* trailer = bytes + size - 32;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        const uint64_t count = readBE(trailer + 8, 8);
        const uint64_t top = readBE(trailer + 16, 8);
        tableStart_ = readBE(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return fail(error, "bad trailer");
        if (count == 0 || top >= count) return fail(error, "bad object count");
        if (count > size) return fail(error, "object count exceeds file size");
        objectsEnd_ = size - 32;
        if (tableStart_ < 8 || tableStart_ > objectsEnd_ || (objectsEnd_ - tableStart_) / offsetSize_ < count)
            return fail(error, "offset table outside the file");
        count_ = static_cast<size_t>(count);
        state_.assign(count_, State{});
        return visit(static_cast<size_t>(top), 0, error);
    }

  private:
    struct State {
        uint8_t mark = 0;    // 0 new, 1 being visited, 2 done
        uint8_t height = 0;  // containers in the deepest path below and including this object
        size_t expanded = 0; // values in the object's tree with shared references expanded
    };

    static bool fail(std::string& error, const std::string& what) {
        error = "malformed binary property list: " + what;
        return false;
    }

    static uint64_t readBE(const UInt8* p, size_t n) {
        uint64_t v = 0;
        for (size_t k = 0; k < n; ++k)
            v = (v << 8) | p[k];
        return v;
    }

    // Reads the element count that follows a marker whose low nibble is 0xF.
    bool extendedCount(size_t& pos, uint64_t& count, std::string& error) {
        if (pos >= tableStart_) return fail(error, "truncated object");
        const UInt8 marker = bytes_[pos++];
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return fail(error, "bad length field");
        const size_t n = size_t{1} << (marker & 0x0F);
        if (tableStart_ - pos < n) return fail(error, "truncated object");
        count = readBE(bytes_ + pos, n);
        pos += n;
        return true;
    }

    bool visit(size_t index, int depth, std::string& error) {
        State& self = state_[index];
        if (self.mark == 1) return fail(error, "object refers to itself");
        if (self.mark == 2) return true;
        self.mark = 1;

        const uint64_t offset = readBE(bytes_ + tableStart_ + index * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= tableStart_) return fail(error, "object offset outside the file");
        size_t pos = static_cast<size_t>(offset);
        const UInt8 marker = bytes_[pos++];
        const unsigned high = marker >> 4;
        const unsigned low = marker & 0x0F;
        uint64_t count = low;
        if (low == 0x0F && (high == 0x4 || high == 0x5 || high == 0x6 || high == 0xA || high == 0xD)) {
            if (!extendedCount(pos, count, error)) return false;
        }
        const size_t room = tableStart_ - pos;
        std::vector<size_t> children;
        switch (high) {
        case 0x0:
            if (marker != 0x08 && marker != 0x09) return fail(error, "null or fill value");
            break;
        case 0x1: {
            if (low > 4) return fail(error, "bad integer size");
            const size_t n = size_t{1} << low;
            if (room < n) return fail(error, "truncated integer");
            if (n == 16) {
                // 128-bit integers: only values that also fit in 64 signed bits.
                const uint64_t upper = readBE(bytes_ + pos, 8);
                const uint64_t lower = readBE(bytes_ + pos + 8, 8);
                const bool fits = (upper == 0 && lower < (uint64_t{1} << 63)) ||
                                  (upper == ~uint64_t{0} && lower >= (uint64_t{1} << 63));
                if (!fits) return fail(error, "integer outside the 64-bit range");
            }
            break;
        }
        case 0x2:
            if (low != 2 && low != 3) return fail(error, "bad real size");
            if (room < (size_t{1} << low)) return fail(error, "truncated real");
            break;
        case 0x3:
            if (marker != 0x33 || room < 8) return fail(error, "bad date");
            break;
        case 0x4:
            if (room < count) return fail(error, "truncated data");
            break;
        case 0x5:
        case 0x6: {
            // Zero characters are refused: keys would be cut short at them,
            // and XML cannot hold them.
            const size_t unit = high == 0x5 ? 1 : 2;
            if (count > room / unit) return fail(error, "truncated string");
            for (size_t k = 0; k < count; ++k) {
                const UInt8* c = bytes_ + pos + k * unit;
                if (c[0] == 0 && (unit == 1 || c[1] == 0)) return fail(error, "string with a zero character");
            }
            break;
        }
        case 0x8:
            if (room < low + 1u) return fail(error, "truncated identifier");
            break;
        case 0xA:
        case 0xD: {
            const uint64_t refs = high == 0xD ? count * 2 : count;
            if (count > room || refs > room / refSize_) return fail(error, "truncated container");
            children.reserve(static_cast<size_t>(refs));
            for (uint64_t k = 0; k < refs; ++k) {
                const uint64_t ref = readBE(bytes_ + pos + k * refSize_, refSize_);
                if (ref >= count_) return fail(error, "reference to a missing object");
                children.push_back(static_cast<size_t>(ref));
            }
            break;
        }
        default:
            return fail(error, "unsupported object type");
        }

        const bool container = high == 0xA || high == 0xD;
        if (container && depth + 1 > kMaxDepth) {
            error = depthText();
            return false;
        }
        size_t expanded = 1;
        uint8_t height = 0;
        for (size_t child : children) {
            if (!visit(child, container ? depth + 1 : depth, error)) return false;
            // A dictionary's keys are not values of their own.
            expanded += state_[child].expanded;
            height = std::max(height, state_[child].height);
            if (expanded > kMaxObjects) {
                error = countText();
                return false;
            }
        }
        if (high == 0xD) expanded -= count;
        State& done = state_[index];
        done.mark = 2;
        done.expanded = expanded;
        done.height = static_cast<uint8_t>(height + (container ? 1 : 0));
        return true;
    }

    const UInt8* bytes_ = nullptr;
    size_t size_ = 0;
    size_t offsetSize_ = 0;
    size_t refSize_ = 0;
    size_t tableStart_ = 0;
    size_t objectsEnd_ = 0;
    size_t count_ = 0;
    std::vector<State> state_;
};

// ---------------------------------------------------------------------------
// libplist tree -> objects

struct PlistFree {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFHolder {
    explicit CFHolder(CFTypeRef object = nullptr) : cf(object) {}
    ~CFHolder() {
        if (cf) CFRelease(cf);
    }
    CFHolder(const CFHolder&) = delete;
    CFHolder& operator=(const CFHolder&) = delete;
    CFTypeRef release() {
        CFTypeRef out = cf;
        cf = nullptr;
        return out;
    }
    CFTypeRef cf;
};

class TreeReader {
  public:
    TreeReader(CFOptionFlags options)
        : mutableContainers_(options &
                             (kCFPropertyListMutableContainers | kCFPropertyListMutableContainersAndLeaves)),
          mutableLeaves_(options & kCFPropertyListMutableContainersAndLeaves) {}

    CFTypeRef read(plist_t node, std::string& error) { return convert(node, 0, error); }

  private:
    CFTypeRef fail(std::string& error, const std::string& what) {
        error = what + (path_.empty() ? std::string() : " at " + path_);
        return nullptr;
    }

    static CFStringRef makeString(const char* bytes, size_t length) {
        return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                       static_cast<CFIndex>(length), kCFStringEncodingUTF8, false);
    }

    CFTypeRef convert(plist_t node, int depth, std::string& error) {
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value ? kCFBooleanTrue : kCFBooleanFalse;
        }
        case PLIST_UINT: {
            // The checks above admit only values in the signed 64-bit range,
            // which libplist hands over as their two's-complement bits.
            uint64_t bits = 0;
            plist_get_uint_val(node, &bits);
            const auto value = static_cast<int64_t>(bits);
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            uint64_t length = 0;
            const char* bytes = plist_get_string_ptr(node, &length);
            if (bytes == nullptr) return fail(error, "unreadable string");
            if (std::memchr(bytes, 0, static_cast<size_t>(length)))
                return fail(error, "string with a zero character");
            CFStringRef s = makeString(bytes, static_cast<size_t>(length));
            return s ? s : fail(error, "string is not valid UTF-8");
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* p = reinterpret_cast<const UInt8*>(bytes);
            if (mutableLeaves_) {
                CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
                CFDataAppendBytes(d, p, static_cast<CFIndex>(length));
                return d;
            }
            return CFDataCreate(nullptr, length ? p : nullptr, static_cast<CFIndex>(length));
        }
        case PLIST_ARRAY:
            return convertArray(node, depth, error);
        case PLIST_DICT:
            return convertDictionary(node, depth, error);
        case PLIST_DATE:
            return fail(error, "dates are not supported");
        case PLIST_UID:
            return fail(error, "object identifiers are not supported");
        default:
            return fail(error, "unknown value type");
        }
    }

    CFTypeRef convertArray(plist_t node, int depth, std::string& error) {
        if (depth + 1 > kMaxDepth) return fail(error, depthText());
        CFHolder array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
        plist_array_iter iter = nullptr;
        plist_array_new_iter(node, &iter);
        std::unique_ptr<void, decltype(&std::free)> iterOwner(iter, &std::free);
        const size_t pathLength = path_.size();
        for (size_t index = 0;; ++index) {
            plist_t item = nullptr;
            plist_array_next_item(node, iter, &item);
            if (item == nullptr) break;
            path_ += '/';
            path_ += std::to_string(index);
            CFHolder value(convert(item, depth + 1, error));
            if (value.cf == nullptr) return nullptr;
            path_.resize(pathLength);
            CFArrayAppendValue(static_cast<CFMutableArrayRef>(const_cast<void*>(array.cf)), value.cf);
        }
        if (mutableContainers_) return array.release();
        return CFArrayCreateCopy(nullptr, static_cast<CFArrayRef>(array.cf));
    }

    CFTypeRef convertDictionary(plist_t node, int depth, std::string& error) {
        if (depth + 1 > kMaxDepth) return fail(error, depthText());
        CFHolder dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                &kCFTypeDictionaryValueCallBacks));
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        std::unique_ptr<void, decltype(&std::free)> iterOwner(iter, &std::free);
        const size_t pathLength = path_.size();
        for (;;) {
            char* keyBytes = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iter, &keyBytes, &item);
            std::unique_ptr<char, decltype(&std::free)> keyOwner(keyBytes, &std::free);
            if (item == nullptr) break;
            if (keyBytes == nullptr) return fail(error, "dictionary entry without a key");
            CFHolder key(makeString(keyBytes, std::strlen(keyBytes)));
            if (key.cf == nullptr) return fail(error, "dictionary key is not valid UTF-8");
            path_ += "/";
            path_ += keyBytes;
            CFHolder value(convert(item, depth + 1, error));
            if (value.cf == nullptr) return nullptr;
            path_.resize(pathLength);
            CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(dict.cf)), key.cf,
                                 value.cf);
        }
        if (mutableContainers_) return dict.release();
        return CFDictionaryCreateCopy(nullptr, static_cast<CFDictionaryRef>(dict.cf));
    }

    const bool mutableContainers_;
    const bool mutableLeaves_;
    std::string path_;
};

// ---------------------------------------------------------------------------
// Objects -> libplist tree, and validity

// Why cf cannot be written as a property list, or "" if it can. depth counts
// the containers around cf.
std::string invalidReason(CFTypeRef cf, int depth) {
    if (cf == nullptr) return "null value";
    const CFTypeID type = CFGetTypeID(cf);
    if (type == CFStringGetTypeID() || type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() ||
        type == CFDataGetTypeID()) {
        if (type == CFStringGetTypeID()) {
            size_t length = 0;
            const char* s = MorvaneCFStringGetUTF8(static_cast<CFStringRef>(cf), &length);
            if (std::strlen(s) != length) return "string with a zero character";
        }
        return "";
    }
    if (type != CFArrayGetTypeID() && type != CFDictionaryGetTypeID())
        return "value of a non-property-list type";
    if (depth + 1 > kMaxDepth) return depthText();
    if (!MorvaneCFContainerHoldsObjects(cf)) return "container without object callbacks";
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(cf);
        for (CFIndex n = 0, count = CFArrayGetCount(array); n < count; ++n) {
            std::string reason = invalidReason(CFArrayGetValueAtIndex(array, n), depth + 1);
            if (!reason.empty()) return reason;
        }
        return "";
    }
    auto dict = static_cast<CFDictionaryRef>(cf);
    const CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    for (CFIndex n = 0; n < count; ++n) {
        if (CFGetTypeID(keys[n]) != CFStringGetTypeID()) return "dictionary key that is not a string";
        std::string reason = invalidReason(keys[n], depth + 1);
        if (reason.empty()) reason = invalidReason(values[n], depth + 1);
        if (!reason.empty()) return reason;
    }
    return "";
}

// Builds libplist's tree of a valid property list. Dictionary keys are
// written in sorted order so equal dictionaries give equal files.
plist_t toTree(CFTypeRef cf) {
    const CFTypeID type = CFGetTypeID(cf);
    if (type == CFStringGetTypeID())
        return plist_new_string(MorvaneCFStringGetUTF8(static_cast<CFStringRef>(cf), nullptr));
    if (type == CFBooleanGetTypeID()) return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(cf)));
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(cf);
        if (CFNumberIsFloatType(number)) {
            double value = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &value);
            return plist_new_real(value);
        }
        int64_t value = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &value);
        return plist_new_uint(static_cast<uint64_t>(value));
    }
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(cf);
        return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                              static_cast<uint64_t>(CFDataGetLength(data)));
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(cf);
        plist_t node = plist_new_array();
        for (CFIndex n = 0, count = CFArrayGetCount(array); n < count; ++n)
            plist_array_append_item(node, toTree(CFArrayGetValueAtIndex(array, n)));
        return node;
    }
    auto dict = static_cast<CFDictionaryRef>(cf);
    const auto count = static_cast<size_t>(CFDictionaryGetCount(dict));
    std::vector<const void*> keys(count);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::vector<size_t> order(count);
    for (size_t n = 0; n < count; ++n)
        order[n] = n;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return CFStringCompare(static_cast<CFStringRef>(keys[a]), static_cast<CFStringRef>(keys[b]), 0) ==
               kCFCompareLessThan;
    });
    plist_t node = plist_new_dict();
    for (size_t n : order)
        plist_dict_set_item(node, MorvaneCFStringGetUTF8(static_cast<CFStringRef>(keys[n]), nullptr),
                            toTree(values[n]));
    return node;
}

CFTypeRef deepCopy(CFTypeRef cf, bool mutableContainers, bool mutableLeaves) {
    const CFTypeID type = CFGetTypeID(cf);
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(cf);
        return mutableLeaves ? static_cast<CFTypeRef>(CFDataCreateMutableCopy(nullptr, 0, data))
                             : CFDataCreateCopy(nullptr, data);
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(cf);
        CFMutableArrayRef copy = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (CFIndex n = 0, count = CFArrayGetCount(array); n < count; ++n) {
            CFTypeRef value = deepCopy(CFArrayGetValueAtIndex(array, n), mutableContainers, mutableLeaves);
            CFArrayAppendValue(copy, value);
            CFRelease(value);
        }
        if (mutableContainers) return copy;
        CFArrayRef frozen = CFArrayCreateCopy(nullptr, copy);
        CFRelease(copy);
        return frozen;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dict = static_cast<CFDictionaryRef>(cf);
        const auto count = static_cast<size_t>(CFDictionaryGetCount(dict));
        std::vector<const void*> keys(count);
        std::vector<const void*> values(count);
        CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
        CFMutableDictionaryRef copy = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                &kCFTypeDictionaryValueCallBacks);
        for (size_t n = 0; n < count; ++n) {
            CFTypeRef value = deepCopy(values[n], mutableContainers, mutableLeaves);
            CFDictionarySetValue(copy, keys[n], value);
            CFRelease(value);
        }
        if (mutableContainers) return copy;
        CFDictionaryRef frozen = CFDictionaryCreateCopy(nullptr, copy);
        CFRelease(copy);
        return frozen;
    }
    // Strings, numbers and booleans are immutable: sharing them is copying them.
    return CFRetain(cf);
}

} // namespace

// ---------------------------------------------------------------------------
// Public property-list functions

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) return false;
    return invalidReason(plist, 0).empty();
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef plist, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef* error) {
    if (error) *error = nullptr;
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        report(error, kCFPropertyListWriteStreamError, "unsupported property-list format");
        return nullptr;
    }
    const std::string reason = invalidReason(plist, 0);
    if (!reason.empty()) {
        report(error, kCFPropertyListWriteStreamError, "not a property list: " + reason);
        return nullptr;
    }
    PlistPtr tree(toTree(plist));
    char* bytes = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0)
        plist_to_xml(tree.get(), &bytes, &length);
    else
        plist_to_bin(tree.get(), &bytes, &length);
    if (bytes == nullptr) {
        report(error, kCFPropertyListWriteStreamError, "property list could not be serialised");
        return nullptr;
    }
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), length);
    std::free(bytes);
    return data;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error) {
    if (error) *error = nullptr;
    if (CFGetTypeID(data) != CFDataGetTypeID()) {
        report(error, kCFPropertyListReadCorruptError, "no property-list data");
        return nullptr;
    }
    const UInt8* bytes = CFDataGetBytePtr(data);
    const auto size = static_cast<size_t>(CFDataGetLength(data));
    if (size == 0) {
        report(error, kCFPropertyListReadCorruptError, "property-list data is empty");
        return nullptr;
    }
    if (size > kMaxBytes) {
        report(error, kCFPropertyListReadCorruptError,
               "property-list data is larger than " + std::to_string(kMaxBytes >> 20) + " MiB");
        return nullptr;
    }
    std::string problem;
    plist_t root = nullptr;
    const bool binary = size >= 8 && std::memcmp(bytes, "bplist0", 7) == 0;
    if (binary) {
        if (!BinaryChecker().check(bytes, size, problem)) {
            report(error, kCFPropertyListReadCorruptError, problem);
            return nullptr;
        }
        plist_from_bin(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(size), &root);
    } else {
        std::string_view text(reinterpret_cast<const char*>(bytes), size);
        if (trim(text.substr(text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0)).substr(0, 1) != "<") {
            report(error, kCFPropertyListReadCorruptError, "not a property list (neither XML nor binary)");
            return nullptr;
        }
        if (!XmlChecker().check(text, problem)) {
            report(error, kCFPropertyListReadCorruptError, problem);
            return nullptr;
        }
        plist_from_xml(text.data(), static_cast<uint32_t>(size), &root);
    }
    PlistPtr tree(root);
    if (root == nullptr) {
        report(error, kCFPropertyListReadCorruptError,
               binary ? "malformed binary property list" : "malformed XML property list");
        return nullptr;
    }
    CFTypeRef result = TreeReader(options).read(root, problem);
    if (result == nullptr) {
        report(error, kCFPropertyListReadCorruptError, "unreadable property list: " + problem);
        return nullptr;
    }
    if (format) *format = binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    return result;
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef plist,
                                               CFOptionFlags mutabilityOption) {
    if (!invalidReason(plist, 0).empty()) return nullptr;
    const bool containers =
        mutabilityOption & (kCFPropertyListMutableContainers | kCFPropertyListMutableContainersAndLeaves);
    return deepCopy(plist, containers, mutabilityOption & kCFPropertyListMutableContainersAndLeaves);
}

// ---------------------------------------------------------------------------
// Files

std::string propertyListErrorText(CFErrorRef error) {
    if (error == nullptr) return "";
    CFStringRef text = CFErrorCopyDescription(error);
    std::string out = text ? MorvaneCFStringGetUTF8(text, nullptr) : "";
    if (text) CFRelease(text);
    return out;
}

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

struct FileDescriptor {
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int fd;
};

} // namespace

CFPropertyListRef readPropertyListFile(const std::string& path, std::string& error, CFOptionFlags options,
                                       CFPropertyListFormat* format) {
    error.clear();
    // O_NONBLOCK so that opening a FIFO by mistake cannot hang; the type check
    // below rejects it.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) {
        error = systemError("cannot open", path);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        error = systemError("cannot examine", path);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return nullptr;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxBytes) {
        error = path + " is larger than " + std::to_string(kMaxBytes >> 20) + " MiB";
        return nullptr;
    }
    std::vector<UInt8> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = systemError("cannot read", path);
            return nullptr;
        }
        if (n == 0) break; // the file shrank while we read it
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    CFDataRef data = CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
    CFErrorRef cfError = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, options, format, &cfError);
    CFRelease(data);
    if (plist == nullptr) {
        error = path + ": " + propertyListErrorText(cfError);
        if (cfError) CFRelease(cfError);
    }
    return plist;
}

CFDictionaryRef readPropertyListDictionary(const std::string& path, std::string& error,
                                           CFOptionFlags options) {
    CFPropertyListRef plist = readPropertyListFile(path, error, options);
    if (plist == nullptr) return nullptr;
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
        CFRelease(plist);
        error = path + ": the property list is not a dictionary";
        return nullptr;
    }
    return static_cast<CFDictionaryRef>(plist);
}

bool writePropertyListFile(const std::string& path, CFPropertyListRef plist, std::string& error,
                           CFPropertyListFormat format) {
    error.clear();
    // The new file is renamed over the old one, which would put a plain file
    // in place of a device or pipe.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    CFErrorRef cfError = nullptr;
    CFDataRef data = CFPropertyListCreateData(nullptr, plist, format, 0, &cfError);
    if (data == nullptr) {
        error = path + ": " + propertyListErrorText(cfError);
        if (cfError) CFRelease(cfError);
        return false;
    }
    const UInt8* bytes = CFDataGetBytePtr(data);
    const auto size = static_cast<size_t>(CFDataGetLength(data));

    // A name no other writer uses: process id plus a counter.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = systemError("cannot create a temporary file beside", path);
        CFRelease(data);
        return false;
    }
    bool ok = true;
    for (size_t done = 0; done < size && ok;) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = systemError("cannot write", temporary);
            ok = false;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    CFRelease(data);
    if (ok && ::fsync(fd) != 0) {
        error = systemError("cannot flush", temporary);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = systemError("cannot close", temporary);
        ok = false;
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = systemError("cannot replace", path);
        ok = false;
    }
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

// Core Foundation subset: reference-counted strings, numbers, booleans, data,
// dictionaries and arrays, plus conversion to and from property-list bytes.
//
// The names, types and calling conventions follow the platform's public C
// interface so that code written against it compiles unchanged. Objects are
// immutable unless created by a ...CreateMutable call. Reference counts are
// atomic: any object may be retained and released from any thread. A single
// object must not be mutated on one thread while another thread reads it.
//
// Ownership follows the usual rule: a function with Create or Copy in its name
// returns a reference the caller releases; Get functions return borrowed
// references.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Basic scalar types shared with the rest of the framework layer. Identical
// typedefs elsewhere are harmless; these are the ones to include.
typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt32 OSStatus;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef const void* CFTypeRef;

struct CFRange {
    CFIndex location;
    CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) {
    return CFRange{location, length};
}

typedef enum : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1
} CFComparisonResult;

// Opaque object types.
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFData* CFDataRef;
typedef struct __CFData* CFMutableDataRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef struct __CFDictionary* CFMutableDictionaryRef;
typedef const struct __CFArray* CFArrayRef;
typedef struct __CFArray* CFMutableArrayRef;
typedef struct __CFError* CFErrorRef;
typedef CFTypeRef CFPropertyListRef;

// Allocators: there is only the default heap; every allocator argument is
// accepted and ignored.
#define kCFAllocatorDefault ((CFAllocatorRef) nullptr)
#define kCFAllocatorSystemDefault ((CFAllocatorRef) nullptr)
#define kCFAllocatorMalloc ((CFAllocatorRef) nullptr)

// ---------------------------------------------------------------------------
// Any object (any thread)

CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
// Value equality: same type and same contents (numbers compare by value,
// containers element-wise through their equality callbacks).
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CFHashCode CFHash(CFTypeRef cf);
// A short human-readable text of the object (for diagnostics).
CFStringRef CFCopyDescription(CFTypeRef cf);

CFTypeID CFStringGetTypeID(void);
CFTypeID CFNumberGetTypeID(void);
CFTypeID CFBooleanGetTypeID(void);
CFTypeID CFDataGetTypeID(void);
CFTypeID CFDictionaryGetTypeID(void);
CFTypeID CFArrayGetTypeID(void);
CFTypeID CFErrorGetTypeID(void);

// ---------------------------------------------------------------------------
// Strings. Held as Unicode; lengths count UTF-16 code units.

typedef UInt32 CFStringEncoding;
enum : CFStringEncoding {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingInvalidId = 0xffffffffU
};

typedef CFOptionFlags CFStringCompareFlags;
enum : CFStringCompareFlags {
    kCFCompareCaseInsensitive = 1,
    kCFCompareBackwards = 4,
    kCFCompareAnchored = 8,
    kCFCompareNonliteral = 16,
    kCFCompareLocalized = 32,
    kCFCompareNumerically = 64
};

// CFSTR("text"): a constant string object. It is interned (equal literals give
// the same object), never freed, and retain/release on it do nothing. The first
// evaluation at each place takes a lock; later ones are a plain load.
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr)                                                                                          \
    ([]() -> CFStringRef {                                                                                   \
        static const CFStringRef morvaneConstantString = __CFStringMakeConstantString("" cStr "");           \
        return morvaneConstantString;                                                                        \
    }())

// Returns nullptr when the bytes are not valid in the encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef str);
// printf-style formatting of the C conversions (%d, %f, %s ...); %@ is not
// supported. formatOptions is ignored.
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format,
                                     ...);

CFIndex CFStringGetLength(CFStringRef str);
// Writes the string and a terminating zero into buffer. Returns false (and
// writes nothing beyond bufferSize) when it does not fit or a character has no
// representation in the encoding; on failure the buffer holds an empty string
// when bufferSize > 0.
Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
// The string's own zero-terminated bytes when they are already in the
// encoding (always for UTF-8, for ASCII only when the text is pure ASCII),
// else nullptr. Valid as long as the string lives.
const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
// Orders by Unicode code point; kCFCompareCaseInsensitive folds ASCII letters.
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options);

// ---------------------------------------------------------------------------
// Numbers

typedef CFIndex CFNumberType;
enum : CFNumberType {
    kCFNumberSInt8Type = 1,
    kCFNumberSInt16Type = 2,
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberCharType = 7,
    kCFNumberShortType = 8,
    kCFNumberIntType = 9,
    kCFNumberLongType = 10,
    kCFNumberLongLongType = 11,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13,
    kCFNumberCFIndexType = 14,
    kCFNumberNSIntegerType = 15,
    kCFNumberCGFloatType = 16,
    kCFNumberMaxType = 16
};

// Returns nullptr for an unknown type or a null valuePtr.
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType theType, const void* valuePtr);
// The stored type, as one of the fixed-size kinds (SInt8 ... Float64).
CFNumberType CFNumberGetType(CFNumberRef number);
CFIndex CFNumberGetByteSize(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Converts the value into theType at valuePtr. Returns false when the
// conversion lost information: a fraction dropped, a value out of an integer
// target's range (it is then clamped to that range; NaN gives 0), a finite
// double too large for a float, or an integer that a floating type cannot
// hold exactly. Rounding a double to a float is not a loss.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void* context);

// ---------------------------------------------------------------------------
// Booleans (immortal singletons)

extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// ---------------------------------------------------------------------------
// Data

CFDataRef CFDataCreate(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length);
CFDataRef CFDataCreateCopy(CFAllocatorRef alloc, CFDataRef data);
// capacity is a hint; 0 means unlimited.
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFDataRef data);
CFIndex CFDataGetLength(CFDataRef data);
// nullptr for empty data.
const UInt8* CFDataGetBytePtr(CFDataRef data);
UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data);
// Copies range out of data; a range outside the data copies nothing.
void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer);
void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length);
// Grows with zero bytes or truncates.
void CFDataSetLength(CFMutableDataRef data, CFIndex length);

// ---------------------------------------------------------------------------
// Arrays. The callbacks decide what the array does with its values: with
// &kCFTypeArrayCallBacks it retains them and compares with CFEqual; with a null
// callbacks pointer it stores plain pointers (which need not be objects at
// all) without retaining them.

typedef const void* (*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFArrayEqualCallBack)(const void* value1, const void* value2);
struct CFArrayCallBacks {
    CFIndex version;
    CFArrayRetainCallBack retain;
    CFArrayReleaseCallBack release;
    CFArrayCopyDescriptionCallBack copyDescription;
    CFArrayEqualCallBack equal;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
typedef void (*CFArrayApplierFunction)(const void* value, void* context);

CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
CFArrayRef CFArrayCreateCopy(CFAllocatorRef alloc, CFArrayRef array);
// capacity is a hint; 0 means unlimited.
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFArrayRef array);
CFIndex CFArrayGetCount(CFArrayRef array);
// nullptr when idx is out of range.
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex idx);
void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values);
Boolean CFArrayContainsValue(CFArrayRef array, CFRange range, const void* value);
CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef array, CFRange range, const void* value);
void CFArrayApplyFunction(CFArrayRef array, CFRange range, CFArrayApplierFunction applier, void* context);
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value);
void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex idx, const void* value);
void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex idx);
void CFArrayRemoveAllValues(CFMutableArrayRef array);

// ---------------------------------------------------------------------------
// Dictionaries. Keys are found through the key callbacks' hash and equal
// functions (by CFEqual with kCFTypeDictionaryKeyCallBacks, by pointer with a
// null callbacks pointer).

typedef const void* (*CFDictionaryRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFDictionaryReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFDictionaryCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFDictionaryEqualCallBack)(const void* value1, const void* value2);
typedef CFHashCode (*CFDictionaryHashCallBack)(const void* value);
struct CFDictionaryKeyCallBacks {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
    CFDictionaryHashCallBack hash;
};
struct CFDictionaryValueCallBacks {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
// Strings here are immutable, so copying a key is the same as retaining it.
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
typedef void (*CFDictionaryApplierFunction)(const void* key, const void* value, void* context);

// Later duplicates of a key replace earlier ones.
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef alloc, CFDictionaryRef dict);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity,
                                                     CFDictionaryRef dict);
CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
// nullptr when the key is absent.
const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value);
Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key);
Boolean CFDictionaryContainsValue(CFDictionaryRef dict, const void* value);
// Fills keys and values (either may be null) with getCount entries, in an
// unspecified but matching order.
void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values);
void CFDictionaryApplyFunction(CFDictionaryRef dict, CFDictionaryApplierFunction applier, void* context);
// Set: add or replace. Add: only if absent. Replace: only if present.
void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryReplaceValue(CFMutableDictionaryRef dict, const void* key, const void* value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);
void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dict);

// ---------------------------------------------------------------------------
// Errors (minimal: a domain, a code and a description)

typedef CFStringRef CFErrorDomain;
extern const CFErrorDomain kCFErrorDomainCocoa;
extern const CFErrorDomain kCFErrorDomainPOSIX;
// userInfo keys whose string value CFErrorCopyDescription returns.
extern const CFStringRef kCFErrorLocalizedDescriptionKey;
extern const CFStringRef kCFErrorDescriptionKey;
CFErrorRef CFErrorCreate(CFAllocatorRef alloc, CFErrorDomain domain, CFIndex code, CFDictionaryRef userInfo);
CFErrorDomain CFErrorGetDomain(CFErrorRef err);
CFIndex CFErrorGetCode(CFErrorRef err);
CFStringRef CFErrorCopyDescription(CFErrorRef err);

// ---------------------------------------------------------------------------
// Property lists: strings, numbers, booleans, data, arrays and dictionaries
// with string keys. XML and binary are read; XML and binary are written.

typedef CFIndex CFPropertyListFormat;
enum : CFPropertyListFormat {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};
typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum : CFOptionFlags {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1,
    kCFPropertyListMutableContainersAndLeaves = 2
};
// Error codes reported through CFErrorRef (domain kCFErrorDomainCocoa).
enum : CFIndex {
    kCFPropertyListReadCorruptError = 3840,
    kCFPropertyListReadUnknownVersionError = 3841,
    kCFPropertyListReadStreamError = 3842,
    kCFPropertyListWriteStreamError = 3851
};

// Limits applied to untrusted property-list bytes: total size, containers
// nested inside one another, and the number of values after expansion (a
// binary list may refer to one object from many places).
enum : CFIndex {
    kMorvanePropertyListMaxBytes = 64L * 1024 * 1024,
    kMorvanePropertyListMaxDepth = 64,
    kMorvanePropertyListMaxObjects = 1L << 20
};

// True when plist is made only of property-list types (dictionary keys
// strings, containers created with the object callbacks) and nests no deeper
// than the depth limit.
Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);
// Serialises plist. Returns nullptr (and an error when error is not null) for
// an object that is not a valid property list or an unsupported format.
CFDataRef CFPropertyListCreateData(CFAllocatorRef alloc, CFPropertyListRef plist, CFPropertyListFormat format,
                                   CFOptionFlags options, CFErrorRef* error);
// Parses XML or binary property-list bytes. Never trusts the input: size,
// nesting depth and types are checked; on any fault returns nullptr with an
// error. format (optional) receives the format that was read. Containers are
// mutable when options ask for it.
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef alloc, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error);
// A new copy of every container and leaf of plist (nullptr if plist is not
// valid); mutabilityOption as for CFPropertyListCreateWithData.
CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef alloc, CFPropertyListRef plist,
                                               CFOptionFlags mutabilityOption);

// ---------------------------------------------------------------------------
// Framework-internal helpers

// True when cf is an array whose callbacks retain object values, or a
// dictionary whose key and value callbacks both do, i.e. a container whose
// elements are known to be objects.
Boolean MorvaneCFContainerHoldsObjects(CFTypeRef cf);

// The string's UTF-8 bytes and their count (which, unlike strlen, counts any
// zero characters inside). nullptr for anything but a string.
const char* MorvaneCFStringGetUTF8(CFStringRef str, size_t* byteCount);

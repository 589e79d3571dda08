// Property-list bytes and files (in progress).
#include "host/CoreFoundation.h"

Boolean CFPropertyListIsValid(CFPropertyListRef, CFPropertyListFormat) { return false; }
CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef, CFPropertyListFormat, CFOptionFlags, CFErrorRef*) {
    return nullptr;
}
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef, CFOptionFlags, CFPropertyListFormat*,
                                               CFErrorRef*) {
    return nullptr;
}
CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef, CFOptionFlags) { return nullptr; }

#include "params/ParameterValueStrings.h"

CFArrayRef ko_CreateValueStringsArray(const char* const* strings, int32_t count) {
    if (strings == nullptr || count <= 0) return nullptr;
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, count, &kCFTypeArrayCallBacks);
    if (array == nullptr) return nullptr;
    for (int32_t i = 0; i < count; ++i) {
        CFStringRef text = strings[i] != nullptr
                               ? CFStringCreateWithCString(nullptr, strings[i], kCFStringEncodingUTF8)
                               : nullptr;
        if (text == nullptr) {
            CFRelease(array);
            return nullptr;
        }
        CFArrayAppendValue(array, text);
        CFRelease(text);
    }
    return array;
}

OSStatus ko_GetParameterValueStrings(AudioUnitScope scope, CFArrayRef* outStrings, const char* const* strings,
                                     int32_t count) {
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
    if (outStrings == nullptr) return noErr;
    if (strings == nullptr || count <= 0) return kAudioUnitErr_InvalidProperty;
    CFArrayRef array = ko_CreateValueStringsArray(strings, count);
    if (array == nullptr) return memFullErr;
    *outStrings = array;
    return noErr;
}

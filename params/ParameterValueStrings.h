// Host value-name lists: the Core Foundation arrays a host asks for through
// the parameter-value-strings property, built from plain C string lists.
//
// Any host thread (allocates; never the render thread).
#pragma once

#include <cstdint>

#include "host/AudioUnitTypes.h"

// A new array of `count` new strings (the array retains them). The caller
// releases the array. Null when strings is null, count is not positive or an
// entry is null.
CFArrayRef ko_CreateValueStringsArray(const char* const* strings, int32_t count);

// The answer to a value-strings request for one parameter whose list is
// (strings, count), with the host's rules: a scope other than global is
// kAudioUnitErr_InvalidProperty; a null result pointer is success for any id
// (the host asks whether the property exists); a parameter without a list
// (strings null or count 0) is kAudioUnitErr_InvalidProperty; otherwise
// *outStrings receives a new array the host releases.
OSStatus ko_GetParameterValueStrings(AudioUnitScope scope, CFArrayRef* outStrings, const char* const* strings,
                                     int32_t count);

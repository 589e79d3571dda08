// The parameter blob (372 bytes when the effect writes it) and the two
// recorder images (664 bytes each) of any length and content, inside an
// otherwise well-formed state, restored through the component entry.
//
// Input: blob length (2 bytes, little-endian), the blob, left image length
// (2 bytes), the left image, and the rest as the right image. Lengths beyond
// the input are cut to what is there.
//
// Checks: as every restore (Effect::checkConsistent): values finite and in
// range, recorders holding at most 80 points on the pad, finite audio.
// Seeds: the three byte strings of state files saved by the morvane program.
#include "tests/fuzz/fuzz_support.h"

namespace {

// The next length-prefixed piece of the input.
CFDataRef takePiece(const uint8_t*& bytes, size_t& size) {
    size_t length = size;
    if (size >= 2) {
        length = size_t(bytes[0]) | (size_t(bytes[1]) << 8);
        bytes += 2;
        size -= 2;
        if (length > size) length = size;
    }
    CFDataRef piece = CFDataCreate(nullptr, bytes, CFIndex(length));
    bytes += length;
    size -= length;
    return piece;
}

void setFloat(CFMutableDictionaryRef dict, CFStringRef key, float value) {
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberFloat32Type, &value);
    CFDictionarySetValue(dict, key, number);
    CFRelease(number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    CFMutableDictionaryRef state = morvane_fuzz::createIdentifiedState();
    CFDataRef blob = takePiece(bytes, size);
    CFDataRef left = takePiece(bytes, size);
    CFDataRef right = CFDataCreate(nullptr, bytes, CFIndex(size));
    CFDictionarySetValue(state, CFSTR("data"), blob);
    CFDictionarySetValue(state, CFSTR("LeftMotion"), left);
    CFDictionarySetValue(state, CFSTR("RightMotion"), right);
    CFRelease(blob);
    CFRelease(left);
    CFRelease(right);
    for (CFStringRef key :
         {CFSTR("velocity_L_X"), CFSTR("velocity_L_Y"), CFSTR("velocity_R_X"), CFSTR("velocity_R_Y")})
        setFloat(state, key, 1e-5f);

    morvane_fuzz::Effect effect;
    morvane_fuzz::check(effect.host().restoreState(state) == noErr);
    CFRelease(state);
    effect.checkConsistent();
    return 0;
}

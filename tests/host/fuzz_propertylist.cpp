// libFuzzer target for the property-list reader (not part of the default
// build). Build and run, for example:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//     tests/host/fuzz_propertylist.cpp host/CoreFoundation.cpp host/PropertyList.cpp \
//     $(pkg-config --cflags --libs libplist-2.0) -o fuzz_propertylist
//   ./fuzz_propertylist -max_total_time=60
// Any input must either parse into a valid property list that writes back
// out and reads again as an equal object, or be refused with an error text.
#include <cstdlib>

#include "host/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) {
        if (propertyListErrorText(error).empty()) std::abort();
        CFRelease(error);
        return 0;
    }
    for (CFPropertyListFormat format : {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        CFDataRef written = CFPropertyListCreateData(nullptr, plist, format, 0, nullptr);
        if (written == nullptr) std::abort();
        CFPropertyListRef again = CFPropertyListCreateWithData(nullptr, written, 0, nullptr, nullptr);
        if (again == nullptr || !CFEqual(again, plist)) std::abort();
        CFRelease(again);
        CFRelease(written);
    }
    CFRelease(plist);
    return 0;
}

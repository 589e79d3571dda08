// A saved-state file of arbitrary bytes, restored the way `morvane process
// --state` does it: the property-list file reader, then the effect's
// RestoreState through the component entry, then the announcement.
//
// Checks: bytes that do not make a property list are refused with an error
// text; one that does writes back out as XML and as binary and reads again as
// an equal object; whatever the effect makes of it, it stays consistent (see
// Effect::checkConsistent).
//
// Seeds: state files saved by the morvane program (XML and binary).
#include <sys/mman.h>
#include <unistd.h>

#include "host/PropertyList.h"
#include "tests/fuzz/fuzz_support.h"

using morvane_fuzz::check;

namespace {

// A file in memory, rewritten for every input and opened by path.
struct MemoryFile {
    int fd = memfd_create("morvane-state", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    void write(const uint8_t* bytes, size_t size) {
        check(fd >= 0 && ftruncate(fd, 0) == 0);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd, bytes + done, size - done, off_t(done));
            check(n > 0);
            done += size_t(n);
        }
    }
};

// Parse, write in both formats, parse again: the same object each time.
void checkRoundTrip(const uint8_t* bytes, size_t size) {
    CFDataRef data = CFDataCreate(nullptr, bytes, CFIndex(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) {
        check(!propertyListErrorText(error).empty());
        CFRelease(error);
        return;
    }
    for (CFPropertyListFormat format : {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        CFDataRef written = CFPropertyListCreateData(nullptr, plist, format, 0, nullptr);
        check(written != nullptr);
        CFPropertyListRef again = CFPropertyListCreateWithData(nullptr, written, 0, nullptr, nullptr);
        check(again != nullptr && CFEqual(again, plist));
        CFRelease(again);
        CFRelease(written);
    }
    CFRelease(plist);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static MemoryFile file;
    checkRoundTrip(bytes, size);

    file.write(bytes, size);
    morvane_fuzz::Effect effect;
    std::string error;
    const OSStatus result = effect.host().restoreStateFile(file.path, error);
    check(result == noErr || !error.empty());
    effect.checkConsistent();
    return 0;
}

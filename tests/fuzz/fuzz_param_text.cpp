// Parameter text entry on arbitrary text, for every parameter: what a user
// types into a value field (naturalValueFromString, matchMetricalStr), in
// free and host-synced mode, and the display text of whatever value results.
//
// Input: the text (cut at its first NUL, as a C string would be).
// Checks: no crash or undefined behaviour; the value that comes out is finite
// and inside the parameter's range whether or not the text was understood; an
// understood note division names an index 0..14; display texts never write
// past the length they are given.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "params/MorvaneParameterManager.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static MorvaneParameterManager table;
    const std::string text(reinterpret_cast<const char*>(bytes), size);

    int32_t index = -1;
    if (table.matchMetricalStr(text.c_str(), index)) check(index >= 0 && index < 15);

    for (int32_t id = -2; id <= ko_paramManager::kMaxParameters + 1; ++id) {
        // Kind 10 holds a 0..1 fraction of its millisecond range.
        const bool fraction = table.getType(id) == kParamSyncTimeNorm;
        const float lo = fraction ? 0.0f : table.getMinimumValue(id);
        const float hi = fraction ? 1.0f : table.getMaximumValue(id);
        for (bool synced : {false, true}) {
            table.setHostSynced(id, synced);
            float natural = table.getDefaultValue(id);
            table.naturalValueFromString(id, text.c_str(), natural);
            check(std::isfinite(natural));
            if (table.hasParameter(id)) check(natural >= lo && natural <= hi);

            // The display text of that value, in fields of every width: an
            // exact-size heap buffer, so a write past it is caught.
            for (int32_t length : {0, 1, 4, 8, 24}) {
                auto field = std::make_unique<char[]>(size_t(length) + 1);
                table.getValueStringFromNaturalValue(id, field.get(), natural, length);
                check(std::memchr(field.get(), '\0', size_t(length) + 1) != nullptr);
            }
        }
        table.setHostSynced(id, false);
    }
    return 0;
}

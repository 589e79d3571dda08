// Prints the effect's whole parameter table: id, names, unit, range, default,
// kind and the display text of the default, followed by the value-name lists
// the host is given.
#include <cstdio>

#include "params/MorvaneParameterManager.h"

int main() {
    MorvaneParameterManager params;
    std::printf("Morvane parameters: %d published (0 to %d), internal 47 to 50\n\n",
                params.getParameterCount(), kNumPublishedParameters - 1);
    std::printf("%3s  %-17s %-9s %-5s %9s %9s %9s  %-15s %s\n", "id", "name", "short", "unit", "min", "max",
                "default", "kind", "default text");
    for (int32_t id = 0; id < kParameterIdLimit; ++id) {
        if (!params.hasParameter(id)) continue;
        char shortName[9], unit[16], text[32];
        params.getName(id, shortName, 8);
        params.getUnitsName(id, unit, 15);
        params.getValueString(id, text, 31);
        std::printf("%3d  %-17s %-9s %-5s %9g %9g %9g  %-15s \"%s\"%s\n", id, params.getName(id).c_str(),
                    shortName, unit, static_cast<double>(params.getMinimumValue(id)),
                    static_cast<double>(params.getMaximumValue(id)),
                    static_cast<double>(params.getDefaultValue(id)), ko_paramTypeName(params.getType(id)),
                    text, id < kNumPublishedParameters ? "" : "  (internal)");
    }

    std::printf("\nValue names given to the host:\n");
    for (int32_t id = 0; id < kNumPublishedParameters; ++id) {
        const MorvaneParameterManager::ValueStrings list = MorvaneParameterManager::hostValueStrings(id);
        if (!list.strings) continue;
        std::printf("%3d  %-17s", id, params.getName(id).c_str());
        for (int32_t i = 0; i < list.count; ++i)
            std::printf("%s\"%s\"", i ? ", " : " ", list.strings[i]);
        std::printf("\n");
    }
    return 0;
}

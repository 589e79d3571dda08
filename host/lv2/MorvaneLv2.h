// The LV2 face of Morvane: plug-in and property URIs, the port layout, and
// the private extension through which a user interface or a test reaches the
// unit behind an instance. Shared by the plug-in library and the program that
// writes the bundle's Turtle, so the two can never disagree.
//
// Ports are only ever added at the end (after the stereo plug-in's last audio
// port), so sessions saved with an older bundle keep their connections and
// control values.
#pragma once

#include <cstdint>

#include "host/AudioUnitTypes.h"

namespace morvane_lv2 {

inline constexpr const char* kStereoUri = "urn:morvane:lv2:stereo";
inline constexpr const char* kMonoUri = "urn:morvane:lv2:mono";
// Factory preset N is kPresetUriPrefix followed by N.
inline constexpr const char* kPresetUriPrefix = "urn:morvane:lv2:preset:";

// State properties. The whole state is one property holding the unit's state
// dictionary as an XML property list; a factory preset carries only the
// number of the factory preset it selects.
inline constexpr const char* kStatePropertyList = "urn:morvane:lv2:state#propertyList";
inline constexpr const char* kStateFactoryPreset = "urn:morvane:lv2:state#factoryPreset";

// The library inside the bundle, and the effect component it opens.
inline constexpr const char* kBinaryName = "morvane_lv2.so";
inline constexpr const char* kComponentName = "Morvane.component";

// Port indices: the published parameters first (index = parameter id), then
// the time and notification atom ports, then audio (inputs, then outputs).
inline constexpr uint32_t kControlPortCount = 45;
inline constexpr uint32_t kControlInPort = 45;
inline constexpr uint32_t kNotifyOutPort = 46;
inline constexpr uint32_t kFirstAudioPort = 47;
constexpr uint32_t portCount(uint32_t channels) {
    return kFirstAudioPort + 2 * channels;
}

// Extension data under kUnitAccessUri: the unit an instance drives (for its
// editor, which reaches the effect through the unit's properties as it does
// in any host, and for tests). Calls on the unit follow the unit's own
// threading rules.
inline constexpr const char* kUnitAccessUri = "urn:morvane:lv2:unit-access";
struct UnitAccess {
    AudioUnit (*unit)(void* instance);
};

} // namespace morvane_lv2

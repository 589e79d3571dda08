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

// The editor: an X11 user interface of both plug-ins, embedded in the host's
// window, reaching the effect through instance-access and data-access.
inline constexpr const char* kUiUri = "urn:morvane:lv2:ui";
inline constexpr const char* kUiBinaryName = "morvane_ui.so";

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
    // Any thread: the unit behind the instance.
    AudioUnit (*unit)(void* instance);
    // User-interface thread: the editor wrote value to control port `port`
    // because the unit changed to it (an edit in the editor, or a change the
    // effect made itself). When the host hands the value back through the
    // port, the unit has it already: for a moment after each such write the
    // port's changes are taken as those echoes (older ones included) and not
    // posted again, so a drag's own values never pull the effect back.
    void (*editorWrote)(void* instance, uint32_t port, float value);
    // User-interface thread: the parameter listener through which the host's
    // user interface hears the unit (null: none). What the plug-in posts
    // from its control ports names it, as listener and as object, as the
    // sender, so the user interface never hears the host's own values back.
    void (*setPortSender)(void* instance, void* listener);
};

} // namespace morvane_lv2

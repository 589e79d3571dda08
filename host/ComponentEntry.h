// Component model: how a host reaches a plug-in instance.
//
// A plug-in library exports one entry routine per component with C linkage.
// A host opens an instance by calling the entry's open selector with a fresh
// component instance; the entry creates its object and stores it as the
// instance's storage. Every later call (initialise, properties, parameters,
// render, reset, close) is a selector passed to the same entry together with
// that storage. Arguments travel in pointer-wide slots, so a pointer is never
// squeezed into 32 bits.
//
// This part lives in the shared platform library: hosts call the unit calls of
// AudioUnitTypes.h, which pack their arguments and call the entry. The plug-in
// side (object creation and selector dispatch) is ComponentDispatch.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/AudioUnitTypes.h"

// One argument slot of a selector call, as wide as a pointer.
union ComponentArgument {
    void* ptr;
    const void* cptr;
    UInt32 u32;
    SInt32 s32;
    Float32 f32;
    Float64 f64;
};

enum : UInt16 { kComponentMaxArguments = 8 };

struct ComponentParameters {
    SInt16 what;  // the selector
    UInt16 count; // argument slots in use
    ComponentArgument args[kComponentMaxArguments];
};

// The entry routine a plug-in exports: called with the parameters and the
// instance's storage (null for the open selector).
typedef OSStatus (*ComponentRoutine)(ComponentParameters* params, void* storage);

// Component manager selectors.
enum : SInt16 {
    kComponentOpenSelect = -1,    // args: ComponentInstance
    kComponentCloseSelect = -2,   // args: ComponentInstance
    kComponentCanDoSelect = -3,   // args: s32 selector; result 1 or 0
    kComponentVersionSelect = -4, // result: the version
};

// Unit selectors, with the argument slots each takes.
enum : SInt16 {
    kAudioUnitInitializeSelect = 0x0001,      // -
    kAudioUnitUninitializeSelect = 0x0002,    // -
    kAudioUnitGetPropertyInfoSelect = 0x0003, // id, scope, element, UInt32* size, Boolean* writable
    kAudioUnitGetPropertySelect = 0x0004,     // id, scope, element, void* data, UInt32* ioSize
    kAudioUnitSetPropertySelect = 0x0005,     // id, scope, element, const void* data, u32 size
    kAudioUnitGetParameterSelect = 0x0006,    // id, scope, element, Float32* value
    kAudioUnitSetParameterSelect = 0x0007,    // id, scope, element, f32 value, u32 offset
    kAudioUnitResetSelect = 0x0009,           // scope, element
    kAudioUnitRenderSelect = 0x000E,          // flags*, const AudioTimeStamp*, bus, frames, AudioBufferList*
};

// ---------------------------------------------------------------------------
// Instances (any host thread; the render selector on the render thread)
// ---------------------------------------------------------------------------
extern "C" {
// Opens an instance of the component whose entry is `entry`, described by
// `desc`. On failure *outInstance is null and the entry's error is returned.
OSStatus MorvaneOpenComponent(ComponentRoutine entry, const ComponentDescription* desc,
                              ComponentInstance* outInstance);
// Closes the instance (its close selector) and frees it. Null is accepted.
OSStatus CloseComponent(ComponentInstance instance);
// Called by an entry's open selector to record its object.
void SetComponentInstanceStorage(ComponentInstance instance, void* storage);
void* GetComponentInstanceStorage(ComponentInstance instance);
// The component description the instance was opened with.
OSStatus GetComponentInstanceDescription(ComponentInstance instance, ComponentDescription* outDesc);
// The bundle directory the instance's library came from ("" when opened in-process).
const char* GetComponentInstanceBundlePath(ComponentInstance instance);
// Sends a selector to the instance's entry. Never throws.
OSStatus CallComponentDispatch(ComponentInstance instance, ComponentParameters* params);
// The entry's version selector; 0 when it has none.
UInt32 GetComponentVersion(ComponentInstance instance);
}

// ---------------------------------------------------------------------------
// Bundles: <Name>.component/Contents/Linux-x86_64/<Name>.so, registered by
// Contents/Info.plist (an "AudioComponents" array of dictionaries with "type",
// "subtype", "manufacturer" as four-character strings, "name", "version" and
// "factoryFunction", the entry's symbol name).
// ---------------------------------------------------------------------------
struct ComponentRegistration {
    ComponentDescription desc{};
    std::string name;
    UInt32 version = 0;
    std::string entryName;
};

class ComponentBundle {
  public:
    ~ComponentBundle();
    ComponentBundle(const ComponentBundle&) = delete;
    ComponentBundle& operator=(const ComponentBundle&) = delete;

    // Loads the bundle's library and reads its registration. Returns null and a
    // message in `error` when the directory, library or registration is unusable.
    // Any host thread.
    static std::shared_ptr<ComponentBundle> Load(const std::string& bundlePath, std::string& error);

    const std::string& Path() const { return path_; }
    const std::string& LibraryPath() const { return libraryPath_; }
    std::string ResourcesPath() const { return path_ + "/Contents/Resources"; }
    const std::vector<ComponentRegistration>& Components() const { return components_; }

    // The exported entry of that name, or null.
    ComponentRoutine FindEntry(const char* entryName) const;

    // Opens an instance of the first registered component matching `wanted`
    // (zero fields match anything). invalidComponentID when none matches or its
    // entry is missing.
    OSStatus Open(const ComponentDescription& wanted, ComponentInstance* outInstance) const;
    // Opens an instance through a named entry with an explicit description.
    OSStatus OpenEntry(const char* entryName, const ComponentDescription& desc,
                       ComponentInstance* outInstance) const;

  private:
    ComponentBundle() = default;
    std::string path_;
    std::string libraryPath_;
    void* library_ = nullptr;
    std::vector<ComponentRegistration> components_;
    std::weak_ptr<ComponentBundle> self_;
};

// Four-character code of a string of exactly four characters; false otherwise.
bool MorvaneFourCCFromString(const char* text, OSType& out);

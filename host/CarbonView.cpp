#include "host/CarbonView.h"

#include <string>
#include <vector>

extern "C" OSStatus AudioUnitCarbonViewCreate(AudioUnitCarbonView inView, AudioUnit inAudioUnit,
                                              WindowRef inWindow, ControlRef inParentControl,
                                              const Float32Point* inLocation, const Float32Point* inSize,
                                              ControlRef* outControl) {
    if (inWindow == nullptr || inLocation == nullptr || inSize == nullptr || outControl == nullptr)
        return paramErr;
    *outControl = nullptr;
    ComponentParameters p{};
    p.what = kAudioUnitCarbonViewCreateSelect;
    p.count = 6;
    p.args[0].ptr = inAudioUnit;
    p.args[1].ptr = inWindow;
    p.args[2].ptr = inParentControl;
    p.args[3].cptr = inLocation;
    p.args[4].cptr = inSize;
    p.args[5].ptr = outControl;
    return CallComponentDispatch(inView, &p);
}

extern "C" OSStatus AudioUnitCarbonViewSetEventListener(AudioUnitCarbonView inView,
                                                        AudioUnitCarbonViewEventListener inCallback,
                                                        void* inUserData) {
    ComponentParameters p{};
    p.what = kAudioUnitCarbonViewSetEventListenerSelect;
    p.count = 2;
    p.args[0].ptr = reinterpret_cast<void*>(inCallback);
    p.args[1].ptr = inUserData;
    return CallComponentDispatch(inView, &p);
}

extern "C" OSStatus MorvaneOpenUnitView(AudioUnit inAudioUnit, AudioUnitCarbonView* outView) {
    if (outView == nullptr) return paramErr;
    *outView = nullptr;
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus result = AudioUnitGetPropertyInfo(inAudioUnit, kAudioUnitProperty_GetUIComponentList,
                                               kAudioUnitScope_Global, 0, &size, &writable);
    if (result != noErr || size < sizeof(ComponentDescription)) return invalidComponentID;
    std::vector<ComponentDescription> views(size / sizeof(ComponentDescription));
    size = static_cast<UInt32>(views.size() * sizeof(ComponentDescription));
    result = AudioUnitGetProperty(inAudioUnit, kAudioUnitProperty_GetUIComponentList, kAudioUnitScope_Global,
                                  0, views.data(), &size);
    if (result != noErr) return invalidComponentID;

    const std::string path = GetComponentInstanceBundlePath(inAudioUnit);
    if (path.empty()) return invalidComponentID;
    std::string error;
    // The library is loaded already: loading the bundle again shares it.
    std::shared_ptr<ComponentBundle> bundle = ComponentBundle::Load(path, error);
    if (!bundle) return invalidComponentID;
    for (const ComponentDescription& view : views) {
        if (view.componentType != kAudioUnitCarbonViewComponentType) continue;
        if (bundle->Open(view, outView) == noErr) return noErr;
    }
    return invalidComponentID;
}

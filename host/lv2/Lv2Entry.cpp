// The LV2 plug-in library's one export, lv2_descriptor: the stereo and the
// mono plug-in, both served by Lv2Effect. No exception leaves a callback.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>

#include "host/lv2/Lv2Effect.h"

namespace {

using morvane_lv2::Lv2Effect;

Lv2Effect* effectOf(LV2_Handle instance) {
    return static_cast<Lv2Effect*>(instance);
}

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundlePath,
                       const LV2_Feature* const* features);

void connectPort(LV2_Handle instance, uint32_t port, void* data) {
    effectOf(instance)->connect(port, data);
}

void activate(LV2_Handle instance) {
    effectOf(instance)->activate();
}

void run(LV2_Handle instance, uint32_t frames) {
    effectOf(instance)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle instance) {
    delete effectOf(instance);
}

LV2_State_Status save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const*) {
    try {
        return effectOf(instance)->save(store, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                         uint32_t, const LV2_Feature* const*) {
    try {
        return effectOf(instance)->restore(retrieve, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

AudioUnit unitOf(void* instance) {
    return instance != nullptr ? effectOf(instance)->unit() : nullptr;
}

void editorWrote(void* instance, uint32_t port, float value) {
    if (instance != nullptr) effectOf(instance)->editorWrote(port, value);
}

void setPortSender(void* instance, void* listener) {
    if (instance != nullptr) effectOf(instance)->setPortSender(listener);
}

const LV2_State_Interface kStateInterface{&save, &restore};
const morvane_lv2::UnitAccess kUnitAccess{&unitOf, &editorWrote, &setPortSender};

const void* extensionData(const char* uri) {
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
    if (std::strcmp(uri, morvane_lv2::kUnitAccessUri) == 0) return &kUnitAccess;
    return nullptr;
}

const LV2_Descriptor kStereo{
    morvane_lv2::kStereoUri, &instantiate, &connectPort, &activate, &run, &deactivate, &cleanup,
    &extensionData};
const LV2_Descriptor kMono{morvane_lv2::kMonoUri, &instantiate, &connectPort,  &activate, &run,
                           &deactivate,           &cleanup,     &extensionData};

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundlePath,
                       const LV2_Feature* const* features) {
    try {
        const uint32_t channels = descriptor == &kMono ? 1 : 2;
        return Lv2Effect::create(channels, rate, bundlePath, features).release();
    } catch (...) {
        return nullptr;
    }
}

} // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    switch (index) {
    case 0:
        return &kStereo;
    case 1:
        return &kMono;
    default:
        return nullptr;
    }
}

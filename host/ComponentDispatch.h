// The plug-in side of the component model: one line gives a class an
// exported entry routine.
//
//   COMPONENT_ENTRY(Morvane_AU)   // exports Morvane_AUEntry
//
// The open selector constructs the class with its component instance, calls
// PostConstructor (when the class has one) and records the object as the
// instance's storage; the close selector calls PreDestructor and deletes it;
// every other selector goes to Class::ComponentEntryDispatch. No exception
// leaves the entry: allocation failures become memFullErr, a thrown OSStatus
// is returned as is, anything else becomes kMorvaneErr_Unexpected.
#pragma once

#include <new>

#include "host/ComponentEntry.h"

template <class Class> OSStatus ComponentEntryPoint(ComponentParameters* params, void* storage) {
    if (params == nullptr) return paramErr;
    try {
        if (params->what == kComponentOpenSelect) {
            if (params->count < 1 || params->args[0].ptr == nullptr) return paramErr;
            auto instance = static_cast<ComponentInstance>(params->args[0].ptr);
            Class* object = new Class(instance);
            try {
                if constexpr (requires { object->PostConstructor(); }) object->PostConstructor();
            } catch (...) {
                delete object;
                throw;
            }
            SetComponentInstanceStorage(instance, object);
            return noErr;
        }
        Class* object = static_cast<Class*>(storage);
        if (object == nullptr) return badComponentInstance;
        if (params->what == kComponentCloseSelect) {
            if constexpr (requires { object->PreDestructor(); }) object->PreDestructor();
            delete object;
            return noErr;
        }
        return Class::ComponentEntryDispatch(params, object);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (OSStatus error) {
        return error != noErr ? error : kMorvaneErr_Unexpected;
    } catch (...) {
        return kMorvaneErr_Unexpected;
    }
}

// Exports `Name` with C linkage as the entry of Class.
#define COMPONENT_ENTRY_NAMED(Class, Name)                                                                   \
    extern "C" __attribute__((visibility("default"))) OSStatus Name(ComponentParameters* params,             \
                                                                    void* storage) {                         \
        return ComponentEntryPoint<Class>(params, storage);                                                  \
    }

// Exports Class##Entry (Morvane_AU gives Morvane_AUEntry).
#define COMPONENT_ENTRY(Class) COMPONENT_ENTRY_NAMED(Class, Class##Entry)

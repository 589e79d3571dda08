#include "editor/AUVSTGUIView.h"

#include <cstdio>

#include "gui/CFrame.h"
#include "host/RunLoop.h"

namespace {

// The platform listener calls this with the view as its reference.
void forwardParameterChange(void* view, void* object, const AudioUnitParameter* parameter, Float32 value) {
    static_cast<AUVSTGUIView*>(view)->ParameterListener(view, object, parameter, value);
}

} // namespace

AUVSTGUIView::AUVSTGUIView(AudioUnit editUnit, void* hostWindow) : unit(editUnit), window(hostWindow) {}

AUVSTGUIView::~AUVSTGUIView() {
    if (editor) {
        editor->close();
        delete editor;
        editor = nullptr;
    }
    stopListening();
}

void AUVSTGUIView::stopListening() {
    if (!parameterListener) return;
    for (AudioUnitParameterID id : registeredIds) {
        const AudioUnitParameter parameter = parameterOf(static_cast<long>(id));
        AUListenerRemoveParameter(parameterListener, this, &parameter);
    }
    registeredIds.clear();
    parameterCount = 0;
    AUListenerDispose(parameterListener);
    parameterListener = nullptr;
}

AudioUnitParameter AUVSTGUIView::parameterOf(long id) const {
    return AudioUnitParameter{unit, static_cast<AudioUnitParameterID>(id), kAudioUnitScope_Global, 0};
}

void* AUVSTGUIView::getPointerProperty(AudioUnitPropertyID id, OSStatus* result) const {
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus status = AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, 0, &size, &writable);
    void* pointer = nullptr;
    if (status == noErr) {
        size = sizeof pointer;
        status = AudioUnitGetProperty(unit, id, kAudioUnitScope_Global, 0, &pointer, &size);
    }
    if (result) *result = status;
    return status == noErr ? pointer : nullptr;
}

OSStatus AUVSTGUIView::CreateUI(Float32 xOffset, Float32 yOffset) {
    if (!unit || editor) return noErr;

    if (!parameterListener && AUListenerCreate(&forwardParameterChange, this, CFRunLoopGetCurrent(),
                                               kCFRunLoopDefaultMode, 0.01f, &parameterListener) == noErr) {
        UInt32 size = 0;
        Boolean writable = false;
        if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                     &writable) == noErr &&
            size > 0) {
            std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
            size = static_cast<UInt32>(ids.size() * sizeof(AudioUnitParameterID));
            if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                     ids.data(), &size) == noErr) {
                ids.resize(size / sizeof(AudioUnitParameterID));
                for (AudioUnitParameterID id : ids) {
                    const AudioUnitParameter parameter = parameterOf(static_cast<long>(id));
                    if (AUListenerAddParameter(parameterListener, this, &parameter) == noErr)
                        registeredIds.push_back(id);
                }
                parameterCount = static_cast<UInt32>(registeredIds.size());
            }
        }
    }

    OSStatus result = noErr;
    paramManager = static_cast<ko_paramManager*>(getPointerProperty(70000, &result));
    if (result != noErr) return result;
    if (!paramManager) return kAudioUnitErr_InvalidPropertyValue;

    CreateEditor();
    if (!editor) return memFullErr;
    editor->open(window);
    if (VSTGUI::CFrame* frame = editor->getFrame())
        frame->setNativeViewPosition(static_cast<int>(xOffset), static_cast<int>(yOffset));
    return noErr;
}

void AUVSTGUIView::RespondToEventTimer(void*) {
    if (editor) editor->doIdleStuff();
}

void AUVSTGUIView::SetParameterFromVSTGUI(long id, float vstValue) {
    const AudioUnitParameter parameter = parameterOf(id);
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = parameter;
    AUEventListenerNotify(nullptr, nullptr, &event);
    if (!paramManager) return;
    const float natural = paramManager->naturalValueFromVSTvalue(static_cast<int32_t>(id), vstValue);
    AUParameterSet(parameterListener, this, &parameter, natural, 0);
}

float AUVSTGUIView::getParameter(long id) {
    if (!unit || !paramManager) return 0.0f;
    AudioUnitParameterValue natural = 0.0f;
    if (AudioUnitGetParameter(unit, static_cast<AudioUnitParameterID>(id), kAudioUnitScope_Global, 0,
                              &natural) != noErr)
        return 0.0f;
    return paramManager->VSTvalueFromNaturalValue(static_cast<int32_t>(id), natural);
}

void AUVSTGUIView::HandleMouseDown(long id) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
    event.mArgument.mParameter = parameterOf(id);
    AUEventListenerNotify(nullptr, nullptr, &event);
}

void AUVSTGUIView::HandleMouseUp(long id) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_EndParameterChangeGesture;
    event.mArgument.mParameter = parameterOf(id);
    AUEventListenerNotify(nullptr, nullptr, &event);
}

void AUVSTGUIView::GetParamDisplayName(long id, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (paramManager) paramManager->getName(static_cast<int32_t>(id), text, 30);
}

void AUVSTGUIView::GetParamDisplayValue(long id, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (!paramManager) return;
    char value[31] = {}, units[6] = {};
    paramManager->getValueString(static_cast<int32_t>(id), value, 30);
    paramManager->getUnitsName(static_cast<int32_t>(id), units, 5);
    const char* start = value;
    while (*start == ' ')
        ++start;
    if (units[0])
        std::snprintf(text, kDisplayTextSize, "%s %s", start, units);
    else
        std::snprintf(text, kDisplayTextSize, "%s", start);
}

void AUVSTGUIView::ParameterListener(void*, void*, const AudioUnitParameter* parameter, float value) {
    if (!editor || !parameter || !paramManager) return;
    const auto id = static_cast<int32_t>(parameter->mParameterID);
    editor->setParameter(id, paramManager->VSTvalueFromNaturalValue(id, value));
}

void AUVSTGUIView::SetVSTParameter(long id, float vstValue) {
    if (editor) editor->setParameter(id, vstValue);
}

#include "editor/AUVSTGUIView.h"

#include <cstdio>
#include <cstdlib>

#include "gui/CFrame.h"
#include "gui/CVSTGUITimer.h"
#include "host/RunLoop.h"

namespace {

// The editor's idle timer: first after 5 ms, then every 50 ms. The toolkit's
// own loop (window events, its timers) runs every 10 ms.
constexpr Float32 kIdleDelay = 0.005f;
constexpr Float32 kIdleInterval = 0.05f;
constexpr CFTimeInterval kToolkitInterval = 0.01;
constexpr Float32 kListenerInterval = 0.01f;

// 1 or 2 from a variable holding a whole number; 0 when unset or unusable.
int scaleFrom(const char* variable) {
    const char* text = std::getenv(variable);
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1) return 0;
    return value >= 2 ? 2 : 1;
}

VSTGUI::SystemWindow describeWindow(WindowRef host) {
    VSTGUI::SystemWindow window;
    if (!host) return window;
    switch (host->kind) {
    case MorvaneWindow::kEmbedded:
        window.kind = host->x11Window ? VSTGUI::SystemWindow::kX11Embedded : VSTGUI::SystemWindow::kHeadless;
        window.parent = host->x11Window;
        break;
    case MorvaneWindow::kTopLevel:
        window.kind = VSTGUI::SystemWindow::kX11TopLevel;
        break;
    default:
        window.kind = VSTGUI::SystemWindow::kHeadless;
        break;
    }
    window.display = host->display;
    window.title = host->title;
    int scale = host->scaleFactor == 1 || host->scaleFactor == 2 ? static_cast<int>(host->scaleFactor) : 0;
    if (!scale) scale = scaleFrom("MORVANE_SCALE");
    if (!scale) scale = scaleFrom("GDK_SCALE");
    window.scaleFactor = scale ? scale : 1;
    return window;
}

} // namespace

AUVSTGUIView::AUVSTGUIView(AudioUnitCarbonView instance) : AUCarbonViewBase(instance, 0.1f) {}

AUVSTGUIView::~AUVSTGUIView() {
    stopTimers();
    if (editor) {
        editor->close();
        delete editor;
        editor = nullptr;
    }
    stopListening();
}

void AUVSTGUIView::listenerCallback(void* view, void* object, const AudioUnitParameter* parameter,
                                    Float32 value) {
    static_cast<AUVSTGUIView*>(view)->ParameterListener(view, object, parameter, value);
}

void AUVSTGUIView::toolkitTimerFired(CFRunLoopTimerRef, void* view) {
    auto* self = static_cast<AUVSTGUIView*>(view);
    self->deliverQueuedValues();
    if (self->editor) VSTGUI::UIEventLoop::get().runDue();
}

void AUVSTGUIView::stopTimers() {
    StopEventLoopTimer();
    if (toolkitTimer) {
        CFRunLoopTimerInvalidate(toolkitTimer);
        MorvaneRunLoopTimerRelease(toolkitTimer);
        toolkitTimer = nullptr;
    }
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
    return AudioUnitParameter{GetEditAudioUnit(), static_cast<AudioUnitParameterID>(id),
                              kAudioUnitScope_Global, 0};
}

void* AUVSTGUIView::getPointerProperty(AudioUnitPropertyID id, OSStatus* result) const {
    UInt32 size = 0;
    Boolean writable = false;
    AudioUnit unit = GetEditAudioUnit();
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
    AudioUnit unit = GetEditAudioUnit();
    // 1. Nothing to edit (or already built).
    if (!unit || editor) return noErr;

    // 2. The view's own parameter listener, on this thread's run loop.
    if (!parameterListener &&
        AUListenerCreate(&listenerCallback, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode,
                         kListenerInterval, &parameterListener) == noErr) {
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

    // 3. The effect's parameter manager.
    OSStatus result = noErr;
    paramManager = static_cast<ko_paramManager*>(getPointerProperty(70000, &result));
    if (result != noErr) return result;
    if (!paramManager) return kAudioUnitErr_InvalidPropertyValue;

    // 4, 5. The editor, opened in the host's window.
    CreateEditor();
    if (!editor) return memFullErr;
    window = describeWindow(GetCarbonWindow());
    editor->open(&window);

    // 6. Its window in the pane, at the offsets; the pane takes its size.
    VSTGUI::CFrame* frame = editor->getFrame();
    ControlRef pane = GetCarbonPane();
    if (frame && pane) {
        frame->setNativeViewPosition(static_cast<int>(pane->location.x + xOffset),
                                     static_cast<int>(pane->location.y + yOffset));
        EmbedControl(frame->getNativeView());
        VSTGUI::ERect* size = nullptr;
        if (editor->getRect(&size) && size)
            SizeControl(static_cast<Float32>(size->right - size->left),
                        static_cast<Float32>(size->bottom - size->top));
    }

    // 7. The timers.
    CreateEventLoopTimer(kIdleDelay, kIdleInterval);
    CFRunLoopTimerContext context{0, this, nullptr, nullptr, nullptr};
    toolkitTimer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kToolkitInterval,
                                        kToolkitInterval, 0, 0, &toolkitTimerFired, &context);
    if (toolkitTimer) CFRunLoopAddTimer(CFRunLoopGetCurrent(), toolkitTimer, kCFRunLoopCommonModes);

    // 8. Shown, and drawn whole at the next idle.
    if (pane) {
        pane->visible = true;
        pane->needsDisplay = true;
    }
    if (frame) frame->invalidate(frame->getViewSize());
    return noErr;
}

void AUVSTGUIView::RespondToEventTimer(CFRunLoopTimerRef) {
    deliverQueuedValues();
    if (!editor) return;
    editor->doIdleStuff();
    ControlRef pane = GetCarbonPane();
    if (pane) {
        pane->needsDisplay = false;
        if (VSTGUI::CFrame* frame = editor->getFrame(); frame && frame->isCloseRequested())
            pane->closeRequested = true;
    }
}

void AUVSTGUIView::queueParameterChange(long id, float naturalValue) {
    mailbox.post(static_cast<int32_t>(id), kQueuedNatural, naturalValue);
}

void AUVSTGUIView::queueVSTParameter(long id, float vstValue, bool announce) {
    mailbox.post(static_cast<int32_t>(id), announce ? kQueuedVSTToAnnounce : kQueuedVST, vstValue);
}

int AUVSTGUIView::deliverQueuedValues() {
    return mailbox.collect([this](int32_t id, uint32_t kind, float value) {
        if (kind == kQueuedNatural) {
            const AudioUnitParameter parameter = parameterOf(id);
            ParameterListener(this, this, &parameter, value);
            return;
        }
        SetVSTParameter(id, value);
        if (kind == kQueuedVSTToAnnounce) announceParameter(id, value);
    });
}

void AUVSTGUIView::announceParameter(long id, float vstValue) {
    if (!paramManager) return;
    const float natural = paramManager->naturalValueFromVSTvalue(static_cast<int32_t>(id), vstValue);
    const AudioUnitParameter parameter = parameterOf(id);
    if (AudioUnitSetParameter(parameter.mAudioUnit, parameter.mParameterID, kAudioUnitScope_Global, 0,
                              natural, 0) != noErr)
        return;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = parameter;
    AUEventListenerNotify(parameterListener, this, &event);
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
    AudioUnit unit = GetEditAudioUnit();
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
    TellListener(event.mArgument.mParameter, kAudioUnitCarbonViewEvent_MouseDownInControl, nullptr);
}

void AUVSTGUIView::HandleMouseUp(long id) {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_EndParameterChangeGesture;
    event.mArgument.mParameter = parameterOf(id);
    AUEventListenerNotify(nullptr, nullptr, &event);
    TellListener(event.mArgument.mParameter, kAudioUnitCarbonViewEvent_MouseUpInControl, nullptr);
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

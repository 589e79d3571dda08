// The LV2 user interface of both plug-ins (morvane_ui.so, X11): the effect's
// own editor, opened through the view component of the effect bundle the
// plug-in instance uses, embedded in the host's window (ui:parent) or, for a
// host that only shows user interfaces (ui:showInterface), in a window of its
// own. The host's idle calls drive it: each runs the user-interface thread's
// run loop, which carries the view's timers and the listeners.
//
// Towards the view it is a host. It creates the view on the instance's unit
// (reached through instance-access and the plug-in's unit-access extension)
// and listens to the unit's parameter events: the editor's edits with their
// gestures, and the changes the effect makes on its own (a range bound pushed
// by its partner, a destination released, a linked pad's partner). Those it
// writes to the host's control ports, touching them around gestures where the
// host offers touch, so the host's controls and automation follow. Values the
// host sends (port_event) go to the unit. Neither side hears its own values
// back: the plug-in posts the ports' values naming this interface's listener
// as the sender, and echoes of the interface's own writes are dropped on both
// sides.
//
// Threads: every callback comes on the host's user-interface thread.
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>

#include "host/AUListener.h"
#include "host/CarbonView.h"
#include "host/RunLoop.h"
#include "host/lv2/MorvaneLv2.h"

// Last: Xlib's macros (None, Success, ...) would clash with names above.
#include <X11/Xlib.h>

namespace {

using morvane_lv2::kControlPortCount;
using Clock = std::chrono::steady_clock;

// How long after the interface wrote a port a different value from the host
// counts as an older echo of the interface's writes (a host that never sends
// writes back leaves it to run out). Generous: a host value dropped here
// still reaches the unit through the port when the plug-in runs.
constexpr auto kEchoTime = std::chrono::seconds(1);

// Whether window is a live window of the display. Asked with an error
// handler of our own for the moment, so a stale parent is refused instead of
// ending the host through Xlib's default handler.
bool gBadWindow = false;
int noteBadWindow(Display*, XErrorEvent*) {
    gBadWindow = true;
    return 0;
}
bool windowExists(Display* display, Window window) {
    XSync(display, False);
    gBadWindow = false;
    XErrorHandler previous = XSetErrorHandler(&noteBadWindow);
    XWindowAttributes attributes;
    const Status status = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    return status != 0 && !gBadWindow;
}

class MorvaneUi {
  public:
    MorvaneUi(LV2UI_Write_Function write, LV2UI_Controller controller)
        : write(write), controller(controller) {}
    ~MorvaneUi();

    // Reads the features; false when the instance cannot be reached.
    bool attach(const LV2_Feature* const* features);
    // Opens the view: embedded in the parent, or in a window of its own.
    bool openView(bool topLevel);
    void closeView();

    LV2UI_Widget widget() const {
        return pane ? reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(pane->nativeView)) : nullptr;
    }
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
    int idle();
    bool hasParent() const { return parent != 0; }
    bool isOpen() const { return view != nullptr; }

  private:
    static void onEvent(void* self, void* object, const AudioUnitEvent* event, UInt64 time,
                        AudioUnitParameterValue value);
    void heard(const AudioUnitEvent& event, float value);
    void tellHost(uint32_t port, float value);

    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    void* instance = nullptr;
    const morvane_lv2::UnitAccess* access = nullptr;
    AudioUnit unit = nullptr;
    Display* display = nullptr;
    unsigned long parent = 0;
    UInt32 scale = 0;

    AUEventListenerRef listener = nullptr;
    MorvaneWindow window;
    AudioUnitCarbonView view = nullptr;
    ControlRef pane = nullptr;

    // What the host has for each port, as far as the interface knows (its
    // port events and the interface's own writes).
    float hostValue[kControlPortCount] = {};
    bool hostKnown[kControlPortCount] = {};
    // The interface's last write per port, and when.
    float written[kControlPortCount] = {};
    Clock::time_point writtenAt[kControlPortCount] = {};
    bool echoPending[kControlPortCount] = {};
    bool touching[kControlPortCount] = {};
};

bool MorvaneUi::attach(const LV2_Feature* const* features) {
    const LV2_Extension_Data_Feature* dataAccess = nullptr;
    const LV2_Options_Option* options = nullptr;
    LV2_URID_Map* map = nullptr;
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        const char* uri = (*f)->URI;
        if (!std::strcmp(uri, LV2_INSTANCE_ACCESS_URI)) instance = (*f)->data;
        if (!std::strcmp(uri, LV2_DATA_ACCESS_URI))
            dataAccess = static_cast<const LV2_Extension_Data_Feature*>((*f)->data);
        if (!std::strcmp(uri, LV2_UI__parent)) parent = reinterpret_cast<uintptr_t>((*f)->data);
        if (!std::strcmp(uri, LV2_UI__resize)) resize = static_cast<const LV2UI_Resize*>((*f)->data);
        if (!std::strcmp(uri, LV2_UI__touch)) touch = static_cast<const LV2UI_Touch*>((*f)->data);
        if (!std::strcmp(uri, LV2_OPTIONS__options))
            options = static_cast<const LV2_Options_Option*>((*f)->data);
        if (!std::strcmp(uri, LV2_URID__map)) map = static_cast<LV2_URID_Map*>((*f)->data);
    }
    if (!instance || !dataAccess || !dataAccess->data_access) return false;
    access =
        static_cast<const morvane_lv2::UnitAccess*>(dataAccess->data_access(morvane_lv2::kUnitAccessUri));
    if (!access || !access->unit || !access->editorWrote || !access->setPortSender) return false;
    unit = access->unit(instance);
    if (!unit) return false;

    // The host's scale, when it says: 1 or 2 (else the user's environment).
    if (options && map) {
        const LV2_URID scaleFactor = map->map(map->handle, LV2_UI__scaleFactor);
        const LV2_URID atomFloat = map->map(map->handle, "http://lv2plug.in/ns/ext/atom#Float");
        for (const LV2_Options_Option* o = options; o->key; ++o)
            if (o->key == scaleFactor && o->type == atomFloat && o->size == sizeof(float) && o->value)
                scale = *static_cast<const float*>(o->value) >= 1.5f ? 2 : 1;
    }

    // The unit's parameter events, on this thread's run loop. The listener is
    // its own registrations' object, and the plug-in names it as the sender
    // of what comes from the ports.
    if (AUEventListenerCreate(&MorvaneUi::onEvent, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f,
                              0.0f, &listener) != noErr)
        return false;
    for (uint32_t port = 0; port < kControlPortCount; ++port)
        for (AudioUnitEventType type :
             {kAudioUnitEvent_BeginParameterChangeGesture, kAudioUnitEvent_ParameterValueChange,
              kAudioUnitEvent_EndParameterChangeGesture}) {
            AudioUnitEvent event{};
            event.mEventType = type;
            event.mArgument.mParameter = AudioUnitParameter{unit, port, kAudioUnitScope_Global, 0};
            AUEventListenerAddEventType(listener, listener, &event);
        }
    access->setPortSender(instance, listener);
    return true;
}

MorvaneUi::~MorvaneUi() {
    closeView();
    if (access && instance) access->setPortSender(instance, nullptr);
    if (listener) AUListenerDispose(listener);
    if (display) XCloseDisplay(display);
}

bool MorvaneUi::openView(bool topLevel) {
    if (view) return true;
    window = MorvaneWindow{};
    window.scaleFactor = scale;
    if (topLevel) {
        window.kind = MorvaneWindow::kTopLevel;
        window.title = "Morvane";
    } else {
        if (!display) display = XOpenDisplay(nullptr);
        if (!display || !windowExists(display, static_cast<Window>(parent))) return false;
        window.kind = MorvaneWindow::kEmbedded;
        window.x11Window = parent;
    }
    if (MorvaneOpenUnitView(unit, &view) != noErr) return false;
    const Float32Point origin{0, 0}, room{4096, 4096};
    if (AudioUnitCarbonViewCreate(view, unit, &window, nullptr, &origin, &room, &pane) != noErr || !pane ||
        !pane->nativeView) {
        closeView();
        return false;
    }
    if (resize && resize->ui_resize && display) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, static_cast<Window>(pane->nativeView), &attributes))
            resize->ui_resize(resize->handle, attributes.width, attributes.height);
    }
    return true;
}

void MorvaneUi::closeView() {
    if (view) CloseComponent(view);
    view = nullptr;
    pane = nullptr;
}

void MorvaneUi::onEvent(void* self, void*, const AudioUnitEvent* event, UInt64,
                        AudioUnitParameterValue value) {
    if (event) static_cast<MorvaneUi*>(self)->heard(*event, value);
}

void MorvaneUi::heard(const AudioUnitEvent& event, float value) {
    const AudioUnitParameterID port = event.mArgument.mParameter.mParameterID;
    if (port >= kControlPortCount) return;
    switch (event.mEventType) {
    case kAudioUnitEvent_BeginParameterChangeGesture:
        if (touch && !touching[port]) touch->touch(touch->handle, port, true);
        touching[port] = true;
        break;
    case kAudioUnitEvent_EndParameterChangeGesture:
        if (touch && touching[port]) touch->touch(touch->handle, port, false);
        touching[port] = false;
        break;
    case kAudioUnitEvent_ParameterValueChange:
        if (hostKnown[port] && hostValue[port] == value) break; // the host has it
        tellHost(port, value);
        break;
    default:
        break;
    }
}

void MorvaneUi::tellHost(uint32_t port, float value) {
    hostValue[port] = value;
    hostKnown[port] = true;
    written[port] = value;
    writtenAt[port] = Clock::now();
    echoPending[port] = true;
    access->editorWrote(instance, port, value);
    write(controller, port, sizeof value, 0, &value);
}

void MorvaneUi::portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (port >= kControlPortCount || format != 0 || size != sizeof(float) || !buffer) return;
    float value = 0.0f;
    std::memcpy(&value, buffer, sizeof value);
    if (hostKnown[port] && hostValue[port] == value) return;
    hostValue[port] = value;
    hostKnown[port] = true;
    // The host handing back the interface's own writes, the last one or
    // (during a drag, or shortly after) an older one: the unit has newer.
    if (echoPending[port]) {
        if (value == written[port] || touching[port] || Clock::now() - writtenAt[port] < kEchoTime) {
            if (value == written[port]) echoPending[port] = false;
            return;
        }
        echoPending[port] = false;
    }
    AudioUnitParameterValue stored = 0.0f;
    if (AudioUnitGetParameter(unit, port, kAudioUnitScope_Global, 0, &stored) == noErr && stored == value)
        return;
    const AudioUnitParameter parameter{unit, port, kAudioUnitScope_Global, 0};
    AUParameterSet(listener, listener, &parameter, value, 0);
}

int MorvaneUi::idle() {
    MorvaneRunLoopPump(CFRunLoopGetCurrent());
    return pane && pane->closeRequested ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The descriptor. No exception leaves a callback.

MorvaneUi* uiOf(LV2UI_Handle handle) {
    return static_cast<MorvaneUi*>(handle);
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    try {
        if (!write) return nullptr;
        auto ui = std::make_unique<MorvaneUi>(write, controller);
        if (!ui->attach(features)) return nullptr;
        // Embedded at once; without a parent, a window of its own once shown.
        if (ui->hasParent() && !ui->openView(false)) return nullptr;
        if (widget) *widget = ui->widget();
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    delete uiOf(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    try {
        uiOf(handle)->portEvent(port, size, format, buffer);
    } catch (...) {
    }
}

int idle(LV2UI_Handle handle) {
    try {
        return uiOf(handle)->idle();
    } catch (...) {
        return 1;
    }
}

int show(LV2UI_Handle handle) {
    try {
        MorvaneUi* ui = uiOf(handle);
        if (ui->hasParent()) return 0;
        return ui->openView(true) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int hide(LV2UI_Handle handle) {
    MorvaneUi* ui = uiOf(handle);
    if (!ui->hasParent()) ui->closeView();
    return 0;
}

const LV2UI_Idle_Interface kIdle{&idle};
const LV2UI_Show_Interface kShow{&show, &hide};

const void* extensionData(const char* uri) {
    if (!std::strcmp(uri, LV2_UI__idleInterface)) return &kIdle;
    if (!std::strcmp(uri, LV2_UI__showInterface)) return &kShow;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor{morvane_lv2::kUiUri, &instantiate, &cleanup, &portEvent, &extensionData};

} // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

#include "host/AUCarbonViewBase.h"

#include <cmath>

namespace {

void TimerFired(CFRunLoopTimerRef timer, void* info) {
    static_cast<AUCarbonViewBase*>(info)->RespondToEventTimer(timer);
}

} // namespace

AUCarbonViewBase::AUCarbonViewBase(AudioUnitCarbonView inInstance, Float32 inNotificationInterval)
    : mComponentInstance(inInstance), mNotificationInterval(inNotificationInterval) {}

AUCarbonViewBase::~AUCarbonViewBase() {
    StopEventLoopTimer();
}

OSStatus AUCarbonViewBase::CreateCarbonView(AudioUnit inAudioUnit, WindowRef inWindow,
                                            ControlRef inParentControl, const Float32Point& inLocation,
                                            const Float32Point& inSize, ControlRef& outParentControl) {
    outParentControl = nullptr;
    if (inAudioUnit == nullptr || inWindow == nullptr || mCarbonPane != nullptr) return paramErr;
    mEditAudioUnit = inAudioUnit;
    mCarbonWindow = inWindow;
    mPane = MorvanePane{};
    mPane.window = inWindow;
    mPane.location = inLocation;
    if (inParentControl != nullptr) {
        mPane.location.x += inParentControl->location.x;
        mPane.location.y += inParentControl->location.y;
    }
    mPane.size = inSize;
    mCarbonPane = &mPane;
    outParentControl = mCarbonPane;
    return CreateUI(0.0f, 0.0f);
}

OSStatus AUCarbonViewBase::CreateUI(Float32, Float32) {
    return noErr;
}

void AUCarbonViewBase::RespondToEventTimer(CFRunLoopTimerRef) {}

void AUCarbonViewBase::TellListener(const AudioUnitParameter& inParameter, AudioUnitCarbonViewEventID inEvent,
                                    void* inEventParam) {
    if (mEventListener != nullptr)
        mEventListener(mEventListenerUserData, mComponentInstance, &inParameter, inEvent, inEventParam);
}

void AUCarbonViewBase::SetEventListener(AudioUnitCarbonViewEventListener inListener, void* inUserData) {
    mEventListener = inListener;
    mEventListenerUserData = inListener != nullptr ? inUserData : nullptr;
}

OSStatus AUCarbonViewBase::CreateEventLoopTimer(Float32 inDelay, Float32 inInterval) {
    if (!std::isfinite(inDelay) || !std::isfinite(inInterval) || inDelay < 0.0f || inInterval <= 0.0f)
        return paramErr;
    StopEventLoopTimer();
    CFRunLoopTimerContext context{0, this, nullptr, nullptr, nullptr};
    mTimer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + inDelay, inInterval, 0, 0,
                                  &TimerFired, &context);
    if (mTimer == nullptr) return memFullErr;
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), mTimer, kCFRunLoopCommonModes);
    return noErr;
}

void AUCarbonViewBase::StopEventLoopTimer() {
    if (mTimer == nullptr) return;
    CFRunLoopTimerInvalidate(mTimer);
    MorvaneRunLoopTimerRelease(mTimer);
    mTimer = nullptr;
}

void AUCarbonViewBase::EmbedControl(unsigned long nativeView) {
    if (mCarbonPane != nullptr) mCarbonPane->nativeView = nativeView;
}

void AUCarbonViewBase::SizeControl(Float32 inWidth, Float32 inHeight) {
    if (mCarbonPane == nullptr) return;
    mCarbonPane->size = Float32Point{inWidth, inHeight};
}

OSStatus AUCarbonViewBase::ComponentEntryDispatch(ComponentParameters* params, AUCarbonViewBase* This) {
    if (params == nullptr || This == nullptr) return paramErr;
    const ComponentArgument* a = params->args;
    switch (params->what) {
    case kComponentCanDoSelect:
        if (params->count < 1) return paramErr;
        switch (a[0].s32) {
        case kComponentOpenSelect:
        case kComponentCloseSelect:
        case kComponentCanDoSelect:
        case kComponentVersionSelect:
        case kAudioUnitCarbonViewCreateSelect:
        case kAudioUnitCarbonViewSetEventListenerSelect:
            return 1;
        default:
            return 0;
        }
    case kComponentVersionSelect:
        return This->Version();
    case kAudioUnitCarbonViewCreateSelect: {
        if (params->count < 6 || a[3].cptr == nullptr || a[4].cptr == nullptr || a[5].ptr == nullptr)
            return paramErr;
        ControlRef pane = nullptr;
        const OSStatus result = This->CreateCarbonView(
            static_cast<AudioUnit>(a[0].ptr), static_cast<WindowRef>(a[1].ptr),
            static_cast<ControlRef>(a[2].ptr), *static_cast<const Float32Point*>(a[3].cptr),
            *static_cast<const Float32Point*>(a[4].cptr), pane);
        *static_cast<ControlRef*>(a[5].ptr) = pane;
        return result;
    }
    case kAudioUnitCarbonViewSetEventListenerSelect:
        if (params->count < 2) return paramErr;
        This->SetEventListener(reinterpret_cast<AudioUnitCarbonViewEventListener>(a[0].ptr), a[1].ptr);
        return noErr;
    default:
        return badComponentSelector;
    }
}

#include "editor/Morvane_AUView.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "editor/CTimerHandler.h"
#include "editor/MorvaneEditor.h"
#include "motion/CMotionRecorder.h"
#include "params/MorvaneParameterIds.h"
#include "params/MorvaneParameterManager.h"
#include "params/padTargets.h"

Morvane_AUView::Morvane_AUView(AudioUnitCarbonView instance) : AUVSTGUIView(instance) {}

Morvane_AUView::~Morvane_AUView() {
    if (registered) registerWithEffect(nullptr);
}

void Morvane_AUView::registerWithEffect(MorvaneAttachedView* link) {
    UInt32 size = 0;
    Boolean writable = false;
    if (AudioUnitGetPropertyInfo(GetEditAudioUnit(), kAttachedViewProperty, kAudioUnitScope_Global, 0, &size,
                                 &writable) != noErr)
        return;
    // The pointer travels in its own size, whatever the property reports.
    if (AudioUnitSetProperty(GetEditAudioUnit(), kAttachedViewProperty, kAudioUnitScope_Global, 0, &link,
                             sizeof link) == noErr)
        registered = link != nullptr;
}

void Morvane_AUView::CreateEditor() {
    auto* morvaneEditor = new MorvaneEditor(this);
    editor = morvaneEditor;
    morvaneEditor->getTimerHandler()->setRecorders(getLeftMotionRecorder(), getRightMotionRecorder());
    registerWithEffect(&effectLink);
}

CMotionRecorder* Morvane_AUView::getLeftMotionRecorder() {
    return static_cast<CMotionRecorder*>(getPointerProperty(kLeftRecorderProperty));
}

CMotionRecorder* Morvane_AUView::getRightMotionRecorder() {
    return static_cast<CMotionRecorder*>(getPointerProperty(kRightRecorderProperty));
}

void Morvane_AUView::clearRecordings(long tag) {
    if (tag == kLeftX || tag == 0)
        if (CMotionRecorder* left = getLeftMotionRecorder()) left->clearRecording();
    if (tag == kRightX || tag == 0)
        if (CMotionRecorder* right = getRightMotionRecorder()) right->clearRecording();
}

void Morvane_AUView::zeroVelocities() {
    UInt32 size = 0;
    Boolean writable = false;
    if (AudioUnitGetPropertyInfo(GetEditAudioUnit(), kStopPadDriftProperty, kAudioUnitScope_Global, 0, &size,
                                 &writable) != noErr)
        return;
    const char unread = 0;
    AudioUnitSetProperty(GetEditAudioUnit(), kStopPadDriftProperty, kAudioUnitScope_Global, 0, &unread, 1);
}

void Morvane_AUView::reportVelocity(int side, float x, float y) {
    if (!paramManager || (side != 0 && side != 1)) return;
    paramManager->setNaturalValue(side == 1 ? kVelRX : kVelLX, x);
    paramManager->setNaturalValue(side == 1 ? kVelRY : kVelLY, y);
}

void Morvane_AUView::GetParamDisplayValue(long id, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (!paramManager) return;
    const MorvanePadAxis* axis = padAxisOf(static_cast<int32_t>(id));
    if (axis && axis->axis == id) {
        auto* manager = static_cast<MorvaneParameterManager*>(paramManager);
        const float position = manager->getVSTvalue(axis->axis);
        const float value = manager->scaleByRangeSlider(axis->destination, position);
        const int32_t target = padTargetForIndex(manager->getNaturalValue(axis->destination));
        char scratch[kDisplayTextSize] = {};
        if (target >= 0) manager->getValueStringFromVSTvalue(target, scratch, value, 10);
        // An axis that drives nothing reads like a range bound that bounds nothing.
        const char* shown = target >= 0 ? scratch : "0";
        while (*shown == ' ')
            ++shown;
        std::snprintf(text, kDisplayTextSize, "%s", shown);
    } else {
        // The value (20 characters at most) and its unit (10).
        char value[21] = {}, units[11] = {};
        paramManager->getValueString(static_cast<int32_t>(id), value, 20);
        paramManager->getUnitsName(static_cast<int32_t>(id), units, 10);
        const char* start = value;
        while (*start == ' ')
            ++start;
        std::snprintf(text, kDisplayTextSize, "%s", start);
        if (units[0] && std::strlen(text) + 1 + std::strlen(units) < kDisplayTextSize) {
            std::strcat(text, " ");
            std::strcat(text, units);
        }
    }
    for (char* c = text; *c; ++c)
        *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
}

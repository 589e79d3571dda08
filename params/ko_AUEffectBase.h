// Effect base layer: ties the framework's effect base to a parameter manager.
// It publishes the manager's parameters to the host, listens to every
// published parameter so host, automation and editor changes reach the
// manager, lets the effect announce changes of its own, and provides the
// factory-preset plumbing whose data hooks the effect fills in. It also fixes
// the channel configurations (1 in 1 out, 2 in 2 out), the format limits and
// the editor view's description.
//
// Threads: listener callbacks arrive on the run loop of the thread that
// called Initialize (the user-interface thread), never on the render thread.
// Properties, presets and initialisation run on host threads.
#pragma once

#include <cstdint>

#include "host/AUEffectBase.h"
#include "host/AUListener.h"
#include "params/ko_paramManager.h"

class ko_AUEffectBase : public AUEffectBase {
  public:
    // The manager is only stored here (it may not be constructed yet); it is
    // first used in PostConstructor. Processing is in place.
    ko_AUEffectBase(AudioComponentInstance component, ko_paramManager& paramManager, UInt32 viewSubType,
                    UInt16 presetCount, bool allowHighSampleRates);

    // Framework operations, in the framework's slot order.
    ~ko_AUEffectBase() override;
    // Creates the elements and publishes parameters 0 .. n - 1 with their
    // defaults, n being the manager's parameter count.
    void PostConstructor() override;
    // Hands the sample rate to the DSP library and creates the parameter
    // listener on the calling thread's run loop (10 ms interval) with every
    // published parameter registered. A listener that cannot be created is not
    // an error.
    OSStatus Initialize() override;
    // Removes and disposes of the listener; a second call does nothing.
    void Cleanup() override;
    // Hands the sample rate to the DSP library again.
    OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) override;
    // Adds SupportedNumChannels (13) and ParameterIDName (34).
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope, AudioUnitElement inElement,
                         void* outData) override;
    OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                              AudioUnitParameterInfo& outParameterInfo) override;
    // Effects without value names: -10879 when the scope is not global, the id
    // is not published or a result pointer is given; success otherwise.
    OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      CFArrayRef* outStrings) override;
    // A new array (no retain callbacks) of GetOnePreset(i) for every preset.
    OSStatus GetPresets(CFArrayRef* outData) override;
    // Stores the preset's values in the parameter store and marks it current.
    OSStatus NewFactoryPresetSet(const AUPreset& inNewFactoryPreset) override;
    UInt32 GetNumCustomUIComponents() override { return 1; }
    void GetUIComponentDescs(ComponentDescription* inDescArray) override;
    bool SupportsTail() override { return false; }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override;
    // Refuses rates above 48000 Hz unless allowed, and more than two channels.
    bool ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                     const AudioStreamBasicDescription& inNewFormat) override;

    // The layer's own operations, in this slot order.
    // The record (number and name) of factory preset `index`. Placeholder:
    // a record numbered 0.
    virtual const AUPreset* GetOnePreset(UInt32 index);
    // Every change of a published parameter (natural value). Default: stores
    // it in the manager.
    virtual void ParameterListener(void* inRefCon, void* inObject, const AudioUnitParameter* inParameter,
                                   Float32 inValue);
    virtual ko_paramManager* GetParameterManager() { return &mParamManager; }
    // The natural value factory preset `preset` gives parameter `id`. Placeholder: 0.
    virtual float GetPresetParameterValue(UInt16 preset, AudioUnitParameterID id);
    // The name of factory preset `preset`. Placeholder: a fixed name.
    virtual const char* GetPresetName(UInt16 preset) const;

    // Tells the host and the editor that the effect changed a parameter itself:
    // a value-change event to every event listener, then the value set through
    // the listener facility with this layer as the sender, so the effect's own
    // ParameterListener does not hear of it. Listener's run loop (or any thread
    // the effect delivers pad motion on).
    void BroadcastParameterChange(AudioUnitParameterID id, Float32 value);

    UInt16 GetPublishedParameterCount() const { return mParameterCount; }
    AUParameterListenerRef GetParameterListenerRef() const { return mParameterListener; }
    // The published range of a global parameter (a 0..1 fraction for kinds 10
    // and 11). Any thread; no allocation.
    bool GetParameterRange(AudioUnitScope inScope, AudioUnitParameterID inID,
                           AudioUnitParameterValue& outMinimum, AudioUnitParameterValue& outMaximum) override;

  protected:
    ko_paramManager& mParamManager;
    UInt32 mViewSubType;
    UInt16 mPresetCount;
    bool mAllowHighSampleRates;
    UInt16 mParameterCount = 0;
    // Created by Initialize; null before, after Cleanup, or when creation failed.
    AUParameterListenerRef mParameterListener = nullptr;

  private:
    void DisposeParameterListener();
};

// The callback registered with the listener facility: calls ParameterListener
// on the ko_AUEffectBase passed as the reference constant.
void ko_AUEffectBaseParameterListenerDispatcher(void* inRefCon, void* inObject,
                                                const AudioUnitParameter* inParameter, Float32 inValue);

#include "host/harness/HostHarness.h"

#include <cstring>

#include "host/PropertyList.h"

namespace {

AudioUnitParameter GlobalParameter(AudioUnit unit, AudioUnitParameterID id) {
    return AudioUnitParameter{unit, id, kAudioUnitScope_Global, 0};
}

} // namespace

std::unique_ptr<HostHarness> HostHarness::Open(const std::string& bundlePath, std::string& error,
                                               const ComponentDescription& wanted) {
    std::shared_ptr<ComponentBundle> bundle = ComponentBundle::Load(bundlePath, error);
    if (!bundle) return nullptr;
    std::unique_ptr<HostHarness> harness(new HostHarness);
    harness->bundle_ = bundle;
    const OSStatus result = bundle->Open(wanted, &harness->unit_);
    if (result != noErr) {
        error = bundlePath + ": cannot open the component (" + std::to_string(result) + ")";
        return nullptr;
    }
    if (harness->attach(error) != noErr) return nullptr;
    return harness;
}

std::unique_ptr<HostHarness> HostHarness::OpenEntry(ComponentRoutine entry, const ComponentDescription& desc,
                                                    std::string& error) {
    std::unique_ptr<HostHarness> harness(new HostHarness);
    const OSStatus result = MorvaneOpenComponent(entry, &desc, &harness->unit_);
    if (result != noErr) {
        error = "cannot open the component (" + std::to_string(result) + ")";
        return nullptr;
    }
    if (harness->attach(error) != noErr) return nullptr;
    return harness;
}

HostHarness::~HostHarness() {
    if (unit_ != nullptr) {
        AudioUnitUninitialize(unit_);
        CloseComponent(unit_);
    }
    if (runLoop_ != nullptr) MorvaneRunLoopRelease(runLoop_);
}

// Connects the input callback and adopts the calling thread's run loop.
OSStatus HostHarness::attach(std::string& error) {
    runLoop_ = MorvaneRunLoopRetain(CFRunLoopGetCurrent());
    AURenderCallbackStruct input{&HostHarness::InputCallback, this};
    const OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_SetRenderCallback,
                                                 kAudioUnitScope_Input, 0, &input, sizeof input);
    if (result != noErr) error = "the component takes no input (" + std::to_string(result) + ")";
    return result;
}

OSStatus HostHarness::configure(double sampleRate, UInt32 channels, UInt32 maxFramesPerSlice) {
    const AudioStreamBasicDescription format = MorvaneCanonicalFormat(sampleRate, channels);
    OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                                           &format, sizeof format);
    if (result == noErr)
        result = AudioUnitSetProperty(unit_, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                      &format, sizeof format);
    if (result == noErr)
        result = AudioUnitSetProperty(unit_, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                      0, &maxFramesPerSlice, sizeof maxFramesPerSlice);
    if (result != noErr) return result;
    sampleRate_ = sampleRate;
    channels_ = channels;
    maxFrames_ = maxFramesPerSlice;
    return noErr;
}

OSStatus HostHarness::initialize() {
    if (offline_) {
        clockBase_ = MorvaneRunLoopGetTime(runLoop_);
        if (!MorvaneRunLoopHasHostClock(runLoop_)) clockBase_ = 0.0;
        MorvaneRunLoopSetClock(runLoop_, clockBase_);
    }
    sampleTime_ = 0.0;
    return AudioUnitInitialize(unit_);
}

OSStatus HostHarness::uninitialize() {
    return AudioUnitUninitialize(unit_);
}

OSStatus HostHarness::reset() {
    return AudioUnitReset(unit_, kAudioUnitScope_Global, 0);
}

OSStatus HostHarness::setParameter(AudioUnitParameterID id, AudioUnitParameterValue value) {
    const AudioUnitParameter parameter = GlobalParameter(unit_, id);
    return AUParameterSet(nullptr, nullptr, &parameter, value, 0);
}

AudioUnitParameterValue HostHarness::getParameter(AudioUnitParameterID id) const {
    AudioUnitParameterValue value = 0;
    if (AudioUnitGetParameter(unit_, id, kAudioUnitScope_Global, 0, &value) != noErr) return 0;
    return value;
}

OSStatus HostHarness::announceAllParameters() {
    const AudioUnitParameter any = GlobalParameter(unit_, kAUParameterListener_AnyParameter);
    return AUParameterListenerNotify(nullptr, nullptr, &any);
}

OSStatus HostHarness::selectFactoryPreset(SInt32 number) {
    const AUPreset preset{number, nullptr};
    const OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_PresentPreset,
                                                 kAudioUnitScope_Global, 0, &preset, sizeof preset);
    if (result != noErr) return result;
    return announceAllParameters();
}

OSStatus HostHarness::saveState(CFPropertyListRef* outState) {
    if (outState == nullptr) return paramErr;
    *outState = nullptr;
    UInt32 size = sizeof(CFPropertyListRef);
    return AudioUnitGetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, outState,
                                &size);
}

OSStatus HostHarness::restoreState(CFPropertyListRef state) {
    const OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                                 0, &state, sizeof state);
    if (result != noErr) return result;
    return announceAllParameters();
}

OSStatus HostHarness::saveStateFile(const std::string& path, std::string& error) {
    CFPropertyListRef state = nullptr;
    const OSStatus result = saveState(&state);
    if (result != noErr) {
        error = "the component could not save its state (" + std::to_string(result) + ")";
        return result;
    }
    const bool written = writePropertyListFile(path, state, error);
    CFRelease(state);
    return written ? noErr : kAudioUnitErr_InvalidFile;
}

OSStatus HostHarness::restoreStateFile(const std::string& path, std::string& error) {
    CFDictionaryRef state = readPropertyListDictionary(path, error);
    if (state == nullptr) return kAudioUnitErr_InvalidFile;
    const OSStatus result = restoreState(state);
    CFRelease(state);
    if (result != noErr) error = path + ": the component refused the state (" + std::to_string(result) + ")";
    return result;
}

OSStatus HostHarness::setBypass(bool bypass) {
    const UInt32 value = bypass ? 1 : 0;
    return AudioUnitSetProperty(unit_, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &value,
                                sizeof value);
}

OSStatus HostHarness::setTransport(const Transport& transport) {
    tempo_.store(transport.tempo, std::memory_order_relaxed);
    beat_.store(transport.beat, std::memory_order_relaxed);
    HostCallbackInfo info{};
    info.hostUserData = this;
    info.beatAndTempoProc = &HostHarness::BeatAndTempo;
    const OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_HostCallbacks,
                                                 kAudioUnitScope_Global, 0, &info, sizeof info);
    if (result == noErr) hasTransport_.store(true, std::memory_order_relaxed);
    return result;
}

OSStatus HostHarness::clearTransport() {
    const HostCallbackInfo info{};
    hasTransport_.store(false, std::memory_order_relaxed);
    return AudioUnitSetProperty(unit_, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &info,
                                sizeof info);
}

OSStatus HostHarness::BeatAndTempo(void* userData, Float64* outBeat, Float64* outTempo) {
    auto* self = static_cast<HostHarness*>(userData);
    if (!self->hasTransport_.load(std::memory_order_relaxed)) return kAudioUnitErr_CannotDoInCurrentContext;
    if (outBeat != nullptr) *outBeat = self->beat_.load(std::memory_order_relaxed);
    if (outTempo != nullptr) *outTempo = self->tempo_.load(std::memory_order_relaxed);
    return noErr;
}

OSStatus HostHarness::InputCallback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                                    UInt32 frames, AudioBufferList* data) {
    auto* self = static_cast<HostHarness*>(refCon);
    if (self->sliceInput_ == nullptr || data == nullptr) return kAudioUnitErr_NoConnection;
    if (data->mNumberBuffers != self->channels_) return kAudioUnitErr_FormatNotSupported;
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
        const float* source = self->sliceInput_[c] + self->sliceOffset_;
        AudioBuffer& buffer = data->mBuffers[c];
        if (buffer.mData == nullptr) {
            // The unit asks for our buffers: it reads them without writing.
            buffer.mData = const_cast<float*>(source);
        } else if (buffer.mData != source) {
            std::memcpy(buffer.mData, source, frames * sizeof(float));
        }
        buffer.mNumberChannels = 1;
        buffer.mDataByteSize = frames * UInt32(sizeof(float));
    }
    return noErr;
}

double HostHarness::audioTime() const {
    return clockBase_ + sampleTime_ / sampleRate_;
}

CFIndex HostHarness::pump() {
    if (!offline_) return MorvaneRunLoopPump(runLoop_);
    MorvaneRunLoopSetClock(runLoop_, audioTime());
    return MorvaneRunLoopFlush(runLoop_);
}

OSStatus HostHarness::render(const float* const* in, float* const* out, UInt32 frames) {
    if (in == nullptr || out == nullptr) return paramErr;
    for (UInt32 c = 0; c < channels_; ++c)
        if (in[c] == nullptr || out[c] == nullptr) return paramErr;
    sliceInput_ = in;
    UInt32 done = 0;
    while (done < frames) {
        const UInt32 n = frames - done < maxFrames_ ? frames - done : maxFrames_;
        if (offline_) pump();
        AudioBufferListStorage<kAUMaxChannels> buffers;
        buffers.setNumberBuffers(channels_);
        for (UInt32 c = 0; c < channels_; ++c)
            buffers.setChannel(c, out[c] + done, n);
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = sampleTime_;
        timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        sliceOffset_ = done;
        const OSStatus result = AudioUnitRender(unit_, &flags, &timeStamp, 0, n, buffers.get());
        if (result != noErr) {
            sliceInput_ = nullptr;
            return result;
        }
        // A unit may answer with buffers of its own; bring the audio home.
        for (UInt32 c = 0; c < channels_; ++c) {
            const void* data = buffers.list().mBuffers[c].mData;
            if (data != out[c] + done) std::memcpy(out[c] + done, data, n * sizeof(float));
        }
        done += n;
        sampleTime_ += n;
        const double beats = n / sampleRate_ * tempo_.load(std::memory_order_relaxed) / 60.0;
        beat_.store(beat_.load(std::memory_order_relaxed) + beats, std::memory_order_relaxed);
    }
    sliceInput_ = nullptr;
    return noErr;
}

#include "host/lv2/Lv2Effect.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "host/AUListener.h"

namespace morvane_lv2 {

namespace {

// Slices are this long at most when the host names no maximum block length,
// and never longer than kLongestBlock whatever it names (longer runs are
// split), so a host cannot make the effect allocate without bound.
constexpr uint32_t kDefaultBlock = 4096;
constexpr uint32_t kLongestBlock = 65536;

AudioUnitParameter Global(AudioUnit unit, AudioUnitParameterID id) {
    return AudioUnitParameter{unit, id, kAudioUnitScope_Global, 0};
}

// A numeric atom of any of the four number types.
bool numberOf(const LV2_Atom* atom, LV2_URID intType, LV2_URID longType, LV2_URID floatType,
              LV2_URID doubleType, double& value) {
    if (atom == nullptr) return false;
    if (atom->type == intType && atom->size >= sizeof(int32_t)) {
        value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    } else if (atom->type == longType && atom->size >= sizeof(int64_t)) {
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    } else if (atom->type == floatType && atom->size >= sizeof(float)) {
        value = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    } else if (atom->type == doubleType && atom->size >= sizeof(double)) {
        value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    } else {
        return false;
    }
    return true;
}

} // namespace

Lv2Effect::Lv2Effect(uint32_t channels, double sampleRate)
    : channels_(channels), sampleRate_(sampleRate), transport_(sampleRate) {}

std::unique_ptr<Lv2Effect> Lv2Effect::create(uint32_t channels, double sampleRate, const char* bundlePath,
                                             const LV2_Feature* const* features) {
    if ((channels != 1 && channels != 2) || !std::isfinite(sampleRate) || !(sampleRate > 0.0) ||
        bundlePath == nullptr)
        return nullptr;
    std::unique_ptr<Lv2Effect> effect(new Lv2Effect(channels, sampleRate));

    const LV2_Options_Option* options = nullptr;
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, LV2_URID__map) == 0)
            effect->map_ = static_cast<LV2_URID_Map*>((*f)->data);
        else if (std::strcmp((*f)->URI, LV2_OPTIONS__options) == 0)
            options = static_cast<const LV2_Options_Option*>((*f)->data);
    }

    uint32_t maxBlock = kDefaultBlock;
    if (LV2_URID_Map* map = effect->map_) {
        auto id = [map](const char* uri) { return map->map(map->handle, uri); };
        Uris& u = effect->uris_;
        u.atomSequence = id(LV2_ATOM__Sequence);
        u.atomObject = id(LV2_ATOM__Object);
        u.atomBlank = id(LV2_ATOM__Blank);
        u.atomInt = id(LV2_ATOM__Int);
        u.atomLong = id(LV2_ATOM__Long);
        u.atomFloat = id(LV2_ATOM__Float);
        u.atomDouble = id(LV2_ATOM__Double);
        u.atomString = id(LV2_ATOM__String);
        u.atomChunk = id(LV2_ATOM__Chunk);
        u.timePosition = id(LV2_TIME__Position);
        u.timeBeat = id(LV2_TIME__beat);
        u.timeBar = id(LV2_TIME__bar);
        u.timeBarBeat = id(LV2_TIME__barBeat);
        u.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
        u.timeBeatUnit = id(LV2_TIME__beatUnit);
        u.timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
        u.timeSpeed = id(LV2_TIME__speed);
        u.statePropertyList = id(kStatePropertyList);
        u.stateFactoryPreset = id(kStateFactoryPreset);

        const LV2_URID maxBlockLength = id(LV2_BUF_SIZE__maxBlockLength);
        for (const LV2_Options_Option* o = options; o != nullptr && o->key != 0; ++o) {
            if (o->key != maxBlockLength || o->value == nullptr) continue;
            int64_t value = 0;
            if (o->type == u.atomInt && o->size == sizeof(int32_t))
                value = *static_cast<const int32_t*>(o->value);
            else if (o->type == u.atomLong && o->size == sizeof(int64_t))
                value = *static_cast<const int64_t*>(o->value);
            if (value >= 1) maxBlock = static_cast<uint32_t>(std::min<int64_t>(value, kLongestBlock));
        }
    }
    if (!effect->open(bundlePath, maxBlock)) return nullptr;
    return effect;
}

bool Lv2Effect::open(const char* bundlePath, uint32_t maxBlock) {
    std::string path = bundlePath;
    if (!path.empty() && path.back() != '/') path += '/';
    std::string error;
    bundle_ = ComponentBundle::Load(path + kComponentName, error);
    if (!bundle_ || bundle_->Open(ComponentDescription{kAudioUnitType_Effect, 0, 0, 0, 0}, &unit_) != noErr)
        return false;

    const AURenderCallbackStruct input{&Lv2Effect::InputCallback, this};
    const AudioStreamBasicDescription format = MorvaneCanonicalFormat(sampleRate_, channels_);
    HostCallbackInfo callbacks{};
    callbacks.hostUserData = this;
    callbacks.beatAndTempoProc = &Lv2Effect::BeatAndTempo;
    if (AudioUnitSetProperty(unit_, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &input,
                             sizeof input) != noErr ||
        AudioUnitSetProperty(unit_, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                             sizeof format) != noErr ||
        AudioUnitSetProperty(unit_, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                             sizeof format) != noErr ||
        AudioUnitSetProperty(unit_, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                             &maxBlock, sizeof maxBlock) != noErr ||
        AudioUnitSetProperty(unit_, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                             sizeof callbacks) != noErr)
        return false;

    // The control ports are the unit's published parameters, ids 0 to 44.
    UInt32 size = 0;
    Boolean writable = false;
    if (AudioUnitGetPropertyInfo(unit_, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                 &writable) != noErr ||
        size != kControlPortCount * sizeof(AudioUnitParameterID))
        return false;
    AudioUnitParameterID ids[kControlPortCount] = {};
    if (AudioUnitGetProperty(unit_, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids,
                             &size) != noErr)
        return false;
    for (uint32_t i = 0; i < kControlPortCount; ++i) {
        AudioUnitParameterInfo info{};
        UInt32 infoSize = sizeof info;
        if (ids[i] != i || AudioUnitGetProperty(unit_, kAudioUnitProperty_ParameterInfo,
                                                kAudioUnitScope_Global, i, &info, &infoSize) != noErr)
            return false;
        if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr)
            CFRelease(info.cfNameString);
        minimum_[i] = info.minValue;
        maximum_[i] = info.maxValue;
    }

    // The unit creates its parameter listener on the run loop current while it
    // initialises: make that a loop of this instance's own.
    loop_ = MorvaneRunLoopCreate();
    CFRunLoopRef previous = MorvaneRunLoopRetain(CFRunLoopGetCurrent());
    MorvaneRunLoopSetCurrent(loop_);
    const OSStatus initialized = AudioUnitInitialize(unit_);
    MorvaneRunLoopSetCurrent(previous);
    MorvaneRunLoopRelease(previous);
    if (initialized != noErr) return false;

    maxBlock_ = maxBlock;
    scratch_.assign(static_cast<size_t>(channels_) * maxBlock_, 0.0f);
    adoptUnitValues();
    announceAll();
    return true;
}

Lv2Effect::~Lv2Effect() {
    if (unit_ != nullptr) {
        AudioUnitUninitialize(unit_);
        CloseComponent(unit_);
    }
    if (loop_ != nullptr) MorvaneRunLoopRelease(loop_);
}

void Lv2Effect::connect(uint32_t port, void* data) {
    if (port < kControlPortCount) {
        controls_[port] = static_cast<const float*>(data);
    } else if (port == kControlInPort) {
        control_ = static_cast<const LV2_Atom_Sequence*>(data);
    } else if (port == kNotifyOutPort) {
        notify_ = static_cast<LV2_Atom_Sequence*>(data);
    } else if (port >= kFirstAudioPort && port < kFirstAudioPort + channels_) {
        in_[port - kFirstAudioPort] = static_cast<const float*>(data);
    } else if (port >= kFirstAudioPort + channels_ && port < portCount(channels_)) {
        out_[port - kFirstAudioPort - channels_] = static_cast<float*>(data);
    }
}

void Lv2Effect::announceAll() {
    // The host sets the ports to what it restored: its user interface hears
    // nothing of this to send back.
    const AudioUnitParameter any = Global(unit_, kAUParameterListener_AnyParameter);
    void* sender = portSender_.load(std::memory_order_acquire);
    AUParameterListenerNotify(static_cast<AUParameterListenerRef>(sender), sender, &any);
}

void Lv2Effect::editorWrote(uint32_t port, float value) {
    if (port >= kControlPortCount) return;
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const uint64_t count = (editorWrites_[port].load(std::memory_order_relaxed) >> 32) + 1;
    editorWrites_[port].store((count << 32) | bits, std::memory_order_release);
}

void Lv2Effect::adoptUnitValues() {
    for (uint32_t i = 0; i < kControlPortCount; ++i) {
        AudioUnitParameterValue value = 0.0f;
        if (AudioUnitGetParameter(unit_, i, kAudioUnitScope_Global, 0, &value) == noErr) lastSeen_[i] = value;
    }
}

void Lv2Effect::activate() {
    AudioUnitReset(unit_, kAudioUnitScope_Global, 0);
    announceAll();
}

void Lv2Effect::postChangedControls() {
    // How long after an editor's write the port's changes count as its echoes.
    const double echoFrames = 0.3 * sampleRate_;
    void* sender = portSender_.load(std::memory_order_acquire);
    bool posted = false;
    for (uint32_t i = 0; i < kControlPortCount; ++i) {
        if (controls_[i] == nullptr) continue;
        const uint64_t write = editorWrites_[i].load(std::memory_order_acquire);
        if (static_cast<uint32_t>(write >> 32) != editorCount_[i]) {
            editorCount_[i] = static_cast<uint32_t>(write >> 32);
            const auto bits = static_cast<uint32_t>(write);
            std::memcpy(&editorValue_[i], &bits, sizeof bits);
            editorEchoUntil_[i] = sampleTime_ + echoFrames;
        }
        float value = *controls_[i];
        // Compared bit for bit, so a port holding NaN counts as seen.
        if (std::memcmp(&value, &lastSeen_[i], sizeof value) == 0) continue;
        lastSeen_[i] = value;
        if (!std::isfinite(value)) continue;
        value = std::clamp(value, minimum_[i], maximum_[i]);
        // The host handing back what the editor wrote: the unit has it (or
        // something newer) already.
        if (sampleTime_ < editorEchoUntil_[i]) {
            if (value == editorValue_[i]) editorEchoUntil_[i] = 0.0;
            continue;
        }
        // A port moved to the value the unit holds is nothing new: a restore
        // or preset the host also applied to the ports, or a change the
        // effect made and the host followed. Posting it would only reorder
        // what the unit was told.
        AudioUnitParameterValue stored = 0.0f;
        if (AudioUnitGetParameter(unit_, i, kAudioUnitScope_Global, 0, &stored) == noErr && stored == value)
            continue;
        const AudioUnitParameter parameter = Global(unit_, i);
        posted |= AUParameterSet(static_cast<AUParameterListenerRef>(sender), sender, &parameter, value, 0) ==
                  noErr;
    }
    if (posted) MorvaneListenerDeliver(loop_);
}

void Lv2Effect::clearNotify() {
    if (notify_ == nullptr || map_ == nullptr || notify_->atom.size < sizeof(LV2_Atom_Sequence_Body)) return;
    notify_->atom.type = uris_.atomSequence;
    notify_->atom.size = sizeof(LV2_Atom_Sequence_Body);
    notify_->body.unit = 0;
    notify_->body.pad = 0;
}

void Lv2Effect::readPosition(const LV2_Atom* atom) {
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    const LV2_Atom *beat = nullptr, *bar = nullptr, *barBeat = nullptr, *beatsPerBar = nullptr,
                   *beatUnit = nullptr, *tempo = nullptr, *speed = nullptr;
    lv2_atom_object_get(object, uris_.timeBeat, &beat, uris_.timeBar, &bar, uris_.timeBarBeat, &barBeat,
                        uris_.timeBeatsPerBar, &beatsPerBar, uris_.timeBeatUnit, &beatUnit,
                        uris_.timeBeatsPerMinute, &tempo, uris_.timeSpeed, &speed, 0);
    PositionUpdate update;
    const auto take = [this](const LV2_Atom* value, PositionUpdate::Field<double>& field) {
        double number = 0.0;
        if (numberOf(value, uris_.atomInt, uris_.atomLong, uris_.atomFloat, uris_.atomDouble, number))
            field = number;
    };
    take(beat, update.beat);
    take(bar, update.bar);
    take(barBeat, update.barBeat);
    take(beatsPerBar, update.beatsPerBar);
    take(beatUnit, update.beatUnit);
    take(tempo, update.tempo);
    take(speed, update.speed);
    transport_.apply(update);
}

void Lv2Effect::run(uint32_t frames) {
    // Restores and announcements first, then what the host changed since the
    // last block, each delivered before the audio it applies to.
    MorvaneListenerDeliver(loop_);
    postChangedControls();
    clearNotify();

    uint32_t done = 0;
    if (control_ != nullptr && map_ != nullptr) {
        LV2_ATOM_SEQUENCE_FOREACH(control_, event) {
            const LV2_Atom& body = event->body;
            if (body.type != uris_.atomObject && body.type != uris_.atomBlank) continue;
            if (reinterpret_cast<const LV2_Atom_Object*>(&body)->body.otype != uris_.timePosition) continue;
            // A position holds from its frame on: render up to it first.
            const int64_t at = std::clamp<int64_t>(event->time.frames, done, frames);
            render(done, static_cast<uint32_t>(at));
            done = static_cast<uint32_t>(at);
            readPosition(&body);
        }
    }
    render(done, frames);
}

void Lv2Effect::render(uint32_t from, uint32_t to) {
    for (uint32_t c = 0; c < channels_; ++c)
        if (in_[c] == nullptr || out_[c] == nullptr) return;
    // An output that is another channel's input would be overwritten before
    // that input is read: take the inputs aside first.
    const bool crossed = channels_ == 2 && (out_[0] == in_[1] || out_[1] == in_[0]);
    while (from < to) {
        const uint32_t n = std::min(to - from, maxBlock_);
        AudioBufferListStorage<2> buffers;
        buffers.setNumberBuffers(channels_);
        for (uint32_t c = 0; c < channels_; ++c) {
            buffers.setChannel(c, out_[c] + from, n);
            slice_[c] = in_[c] + from;
            if (crossed) {
                float* aside = scratch_.data() + static_cast<size_t>(c) * maxBlock_;
                std::memcpy(aside, slice_[c], n * sizeof(float));
                slice_[c] = aside;
            }
        }
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = sampleTime_;
        timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus result = AudioUnitRender(unit_, &flags, &timeStamp, 0, n, buffers.get());
        for (uint32_t c = 0; c < channels_; ++c) {
            float* out = out_[c] + from;
            const void* data = buffers.list().mBuffers[c].mData;
            if (result != noErr)
                std::memset(out, 0, n * sizeof(float));
            else if (data != out)
                std::memcpy(out, data, n * sizeof(float)); // the unit answered with buffers of its own
        }
        transport_.advance(n);
        sampleTime_ += n;
        from += n;
    }
}

OSStatus Lv2Effect::InputCallback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                                  UInt32 frames, AudioBufferList* data) {
    auto* self = static_cast<Lv2Effect*>(refCon);
    if (data == nullptr || data->mNumberBuffers != self->channels_) return kAudioUnitErr_FormatNotSupported;
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
        const float* source = self->slice_[c];
        AudioBuffer& buffer = data->mBuffers[c];
        if (buffer.mData == nullptr)
            buffer.mData = const_cast<float*>(source); // read, never written
        else if (buffer.mData != source)
            std::memcpy(buffer.mData, source, frames * sizeof(float));
        buffer.mNumberChannels = 1;
        buffer.mDataByteSize = frames * UInt32(sizeof(float));
    }
    return noErr;
}

OSStatus Lv2Effect::BeatAndTempo(void* userData, Float64* outBeat, Float64* outTempo) {
    double beat = 0.0, tempo = 0.0;
    if (!static_cast<Lv2Effect*>(userData)->transport_.query(beat, tempo))
        return kAudioUnitErr_CannotDoInCurrentContext;
    if (outBeat != nullptr) *outBeat = beat;
    if (outTempo != nullptr) *outTempo = tempo;
    return noErr;
}

// ---------------------------------------------------------------------------
// State

LV2_State_Status Lv2Effect::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (map_ == nullptr || store == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    if (AudioUnitGetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size) !=
            noErr ||
        state == nullptr)
        return LV2_STATE_ERR_UNKNOWN;
    CFDataRef data = CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    CFRelease(state);
    if (data == nullptr) return LV2_STATE_ERR_UNKNOWN;
    // An atom:String counts its terminating zero.
    std::string text(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                     static_cast<size_t>(CFDataGetLength(data)));
    CFRelease(data);
    return store(handle, uris_.statePropertyList, text.c_str(), text.size() + 1, uris_.atomString,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Effect::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (map_ == nullptr || retrieve == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    LV2_State_Status status = LV2_STATE_SUCCESS;
    bool changed = false;
    size_t size = 0;
    uint32_t type = 0, flags = 0;

    // A factory preset names its number; the unit loads it (values, ranges,
    // routing, pad velocities and recordings).
    if (const void* value = retrieve(handle, uris_.stateFactoryPreset, &size, &type, &flags)) {
        int32_t number = -1;
        if (type == uris_.atomInt && size == sizeof(int32_t)) {
            std::memcpy(&number, value, sizeof number);
        } else if (type == uris_.atomLong && size == sizeof(int64_t)) {
            int64_t wide = 0;
            std::memcpy(&wide, value, sizeof wide);
            number = wide >= 0 && wide < INT32_MAX ? static_cast<int32_t>(wide) : -1;
        } else {
            status = LV2_STATE_ERR_BAD_TYPE;
        }
        const AUPreset preset{number, nullptr};
        if (status == LV2_STATE_SUCCESS) {
            if (AudioUnitSetProperty(unit_, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0,
                                     &preset, sizeof preset) == noErr)
                changed = true;
            else
                status = LV2_STATE_ERR_UNKNOWN;
        }
    }

    // A saved state: the unit's whole state dictionary as a property list.
    if (const void* value = retrieve(handle, uris_.statePropertyList, &size, &type, &flags)) {
        const LV2_State_Status result = restoreStateList(value, size, type, changed);
        if (result != LV2_STATE_SUCCESS) status = result;
    }

    if (changed) announceAll();
    return status;
}

LV2_State_Status Lv2Effect::restoreStateList(const void* value, size_t size, uint32_t type, bool& changed) {
    if (type != uris_.atomString && type != uris_.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
    const auto* bytes = static_cast<const UInt8*>(value);
    while (size > 0 && bytes[size - 1] == 0)
        --size;
    CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
    CFPropertyListRef state =
        data != nullptr
            ? CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr)
            : nullptr;
    if (data != nullptr) CFRelease(data);
    if (state == nullptr) return LV2_STATE_ERR_UNKNOWN; // unreadable: nothing changed
    // A refused dictionary may already have reset the pad routing: the
    // announcement that follows gives the unit its stored values back.
    const OSStatus result = AudioUnitSetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                                 0, &state, sizeof state);
    CFRelease(state);
    changed = true;
    return result == noErr ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

} // namespace morvane_lv2

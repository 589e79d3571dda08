// Arbitrary sequences of calls through the component entry, as a careless or
// hostile host makes them: property info, gets and sets with any id, scope,
// element and size, null data and null size pointers; parameters with any id
// and value (NaN, infinities, out of range) set directly or through the
// listener facility; Initialize, Uninitialize and Reset in any order;
// factory presets of any number; sample-rate, format and slice-size changes;
// state saved and restored; the editor's custom properties; and renders with
// any bus, frame count and buffer list, pulling input from a callback that
// may fail.
//
// Every call gets honest memory: a buffer of exactly the size the call
// claims (so AddressSanitizer sees a read or write beyond it), and, where a
// property carries a pointer, a real object of the right or the wrong type,
// or null. Objects a get hands out are released, so LeakSanitizer sees any
// the unit leaks.
//
// Checks: no crash, no undefined behaviour, no leak; a get that succeeds
// reports no more bytes than the buffer holds.
// Input: a byte stream read from the front, one call after another: a byte
// picks the call, the bytes after it its arguments (a byte picks among the
// telling values, 0xFF asks for a full 32-bit value instead). make-seeds.sh
// writes seeds by hand in this form.
// Seeds: short call sequences (initialise, preset, render, restore a saved
// state file of the morvane program, clean up).
#include <cstring>
#include <limits>

#include "host/AUListener.h"
#include "motion/MorvaneAttachedView.h"
#include "tests/fuzz/fuzz_support.h"

using morvane_fuzz::check;

namespace {

// The input, consumed from the front; 0 once it is used up.
class Reader {
  public:
    Reader(const uint8_t* bytes, size_t size) : p_(bytes), n_(size) {}
    size_t remaining() const { return n_; }
    UInt8 u8() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    UInt32 u16() { return UInt32(u8()) | (UInt32(u8()) << 8); }
    UInt32 u32() { return u16() | (u16() << 16); }
    bool flag() { return (u8() & 1) != 0; }
    // 0 .. n - 1 (n at most 256).
    UInt32 below(UInt32 n) { return u8() % n; }
    template <class T, size_t N> T pick(const T (&values)[N]) { return values[u8() % N]; }
    float f32() {
        const UInt32 word = u32();
        float v;
        std::memcpy(&v, &word, sizeof v);
        return v;
    }
    double f64() {
        const uint64_t word = uint64_t(u32()) | (uint64_t(u32()) << 32);
        double v;
        std::memcpy(&v, &word, sizeof v);
        return v;
    }
    std::vector<UInt8> bytes(size_t count) {
        const size_t n = count < n_ ? count : n_;
        std::vector<UInt8> out(p_, p_ + n);
        p_ += n;
        n_ -= n;
        return out;
    }

  private:
    const uint8_t* p_;
    size_t n_;
};

// What the unit's input callback does, chosen by the input.
struct InputSource {
    Reader* data = nullptr;
    int mode = 0; // 0 sine, 1 the input's own floats, 2 an error, 3 fewer buffers, 4 null data
    UInt32 calls = 0;
};

OSStatus pullInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                   AudioBufferList* list) {
    auto* source = static_cast<InputSource*>(refCon);
    ++source->calls;
    switch (source->mode) {
    case 2:
        return kAudioUnitErr_NoConnection;
    case 3:
        if (list->mNumberBuffers > 0) --list->mNumberBuffers;
        return noErr;
    case 4:
        for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
            list->mBuffers[c].mData = nullptr;
        return noErr;
    default:
        break;
    }
    for (UInt32 c = 0; c < list->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(list->mBuffers[c].mData);
        check(samples != nullptr && list->mBuffers[c].mDataByteSize >= frames * sizeof(float));
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = source->mode == 1 && source->data->remaining() >= 4
                             ? source->data->f32()
                             : 0.5f * std::sin(0.01f * float(i + c));
    }
    return noErr;
}

struct Transport {
    Float64 beat = 0.0;
    Float64 tempo = 120.0;
    OSStatus result = noErr;
};

OSStatus beatAndTempo(void* userData, Float64* outBeat, Float64* outTempo) {
    auto* transport = static_cast<Transport*>(userData);
    if (outBeat != nullptr) *outBeat = transport->beat;
    if (outTempo != nullptr) *outTempo = transport->tempo;
    return transport->result;
}

// The editor view as the effect sees it through property 80002.
class FakeView final : public MorvaneAttachedView {
  public:
    void ParameterListener(void*, void*, const AudioUnitParameter* parameter, float) override {
        check(parameter != nullptr);
        ++calls;
    }
    void SetVSTParameter(int32_t, float) override { ++calls; }
    UInt64 calls = 0;
};

// Releases what a successful get handed out.
void releaseOutput(AudioUnitPropertyID id, const std::vector<UInt8>& buffer) {
    auto pointerAt = [&](size_t offset) {
        CFTypeRef object = nullptr;
        if (buffer.size() >= offset + sizeof object)
            std::memcpy(&object, buffer.data() + offset, sizeof object);
        return object;
    };
    CFTypeRef object = nullptr;
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
        object = pointerAt(0);
        break;
    case kAudioUnitProperty_PresentPreset:
        object = pointerAt(offsetof(AUPreset, presetName));
        break;
    case kAudioUnitProperty_ParameterIDName:
        object = pointerAt(offsetof(AudioUnitParameterIDName, outName));
        break;
    case kAudioUnitProperty_ParameterInfo: {
        if (buffer.size() < sizeof(AudioUnitParameterInfo)) break;
        AudioUnitParameterInfo info;
        std::memcpy(&info, buffer.data(), sizeof info);
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) object = info.cfNameString;
        break;
    }
    default:
        break;
    }
    if (object != nullptr) CFRelease(object);
}

class Session {
  public:
    explicit Session(Reader& data) : data_(data) {
        source_.data = &data;
        std::string error;
        harness_ = HostHarness::OpenEntry(&MorvaneFuzzEntry, morvane_fuzz::effectDescription(), error);
        check(harness_ != nullptr);
        unit_ = harness_->unit();
        const AURenderCallbackStruct input{&pullInput, &source_};
        check(AudioUnitSetProperty(unit_, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                   &input, sizeof input) == noErr);
    }

    ~Session() {
        // A host detaches its view before closing the unit.
        const void* none = nullptr;
        AudioUnitSetProperty(unit_, 80002, kAudioUnitScope_Global, 0, &none, sizeof none);
        harness_.reset();
        for (CFTypeRef object : objects_)
            CFRelease(object);
    }

    void run() {
        for (int step = 0; step < 64 && data_.remaining() > 0; ++step)
            callOne();
    }

  private:
    AudioUnitScope scope() {
        const AudioUnitScope scopes[] = {kAudioUnitScope_Global, kAudioUnitScope_Input,
                                         kAudioUnitScope_Output, kAudioUnitScope_Group, 4};
        const UInt8 b = data_.u8();
        return b == 0xFF ? data_.u32() : scopes[b % 5];
    }
    AudioUnitElement element() {
        const UInt8 b = data_.u8();
        return b == 0xFF ? data_.u32() : b % 3;
    }
    AudioUnitPropertyID propertyID() {
        const AudioUnitPropertyID ids[] = {
            0,  2,  3,  4,  6,  8,  11, 12, 13, 14, 16, 18, 19,    20,    21,    22,    23,    24,   25,
            26, 27, 28, 29, 30, 33, 34, 35, 36, 37, 38, 40, 70000, 80000, 80001, 80002, 80003, 80004};
        const UInt8 b = data_.u8();
        return b == 0xFF ? data_.u32() : ids[b % std::size(ids)];
    }
    UInt32 size(UInt32 natural) {
        switch (data_.below(5)) {
        case 0:
            return natural;
        case 1:
            return natural > 0 ? natural - 1 : 0;
        case 2:
            return natural + 8;
        case 3:
            return 0;
        default:
            return data_.u8() * 2u;
        }
    }
    float value() {
        const float special[] = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 1e9f,
                                 -1e9f,
                                 3e38f,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
        const UInt8 b = data_.u8();
        return b < std::size(special) ? special[b] : b < 128 ? float(b) - 64.0f : data_.f32();
    }
    // A pointer for a property that carries one: a real object of the
    // expected type, of another type, or null.
    CFTypeRef object(CFTypeID expected) {
        switch (data_.below(4)) {
        case 0:
            return nullptr;
        case 1: {
            const SInt32 n = SInt32(data_.u32());
            return keep(CFNumberCreate(nullptr, kCFNumberSInt32Type, &n));
        }
        default:
            if (expected == CFStringGetTypeID()) {
                const std::vector<UInt8> raw = data_.bytes(data_.below(40));
                const std::string text(raw.begin(), raw.end());
                return keep(CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
            }
            CFPropertyListRef state = nullptr;
            UInt32 stateSize = sizeof state;
            if (AudioUnitGetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                     &stateSize) == noErr)
                return keep(state);
            return nullptr;
        }
    }
    CFTypeRef keep(CFTypeRef object) {
        if (object != nullptr) objects_.push_back(object);
        return object;
    }

    // The bytes of a set: what a property of this id carries, honestly sized
    // (pointers inside are real objects or null), then cut or padded to `size`.
    std::vector<UInt8> payload(AudioUnitPropertyID id) {
        std::vector<UInt8> bytes;
        auto append = [&bytes](const void* p, size_t n) {
            bytes.insert(bytes.end(), static_cast<const UInt8*>(p), static_cast<const UInt8*>(p) + n);
        };
        switch (id) {
        case kAudioUnitProperty_ClassInfo: {
            CFTypeRef state = object(CFDictionaryGetTypeID());
            append(&state, sizeof state);
            break;
        }
        case kAudioUnitProperty_ElementName: {
            CFTypeRef name = object(CFStringGetTypeID());
            append(&name, sizeof name);
            break;
        }
        case kAudioUnitProperty_PresentPreset: {
            AUPreset preset{};
            const UInt8 b = data_.u8();
            preset.presetNumber = b == 0xFF ? SInt32(data_.u32()) : SInt32(b % 37) - 2;
            preset.presetName = static_cast<CFStringRef>(object(CFStringGetTypeID()));
            append(&preset, sizeof preset);
            break;
        }
        case kAudioUnitProperty_SetRenderCallback: {
            source_.mode = int(data_.below(5));
            const AURenderCallbackStruct input{data_.u8() != 1 ? &pullInput : nullptr, &source_};
            append(&input, sizeof input);
            break;
        }
        case kAudioUnitProperty_HostCallbacks: {
            transport_.beat = data_.flag() ? value() : data_.f64();
            transport_.tempo = data_.flag() ? value() : data_.f64();
            transport_.result = data_.u8() != 1 ? noErr : paramErr;
            HostCallbackInfo info{};
            info.hostUserData = &transport_;
            if (data_.u8() != 1) info.beatAndTempoProc = &beatAndTempo;
            append(&info, sizeof info);
            break;
        }
        case 80002: {
            MorvaneAttachedView* view = data_.u8() != 1 ? &view_ : nullptr;
            append(&view, sizeof view);
            break;
        }
        case kAudioUnitProperty_SampleRate: {
            const double rates[] = {8000.0,  44100.0,  48000.0,
                                    96000.0, 192000.0, 0.0,
                                    -1.0,    1e12,     std::numeric_limits<double>::quiet_NaN()};
            const UInt8 b = data_.u8();
            const double rate = b == 0xFF ? data_.f64() : rates[b % std::size(rates)];
            append(&rate, sizeof rate);
            break;
        }
        case kAudioUnitProperty_StreamFormat: {
            const double rates[] = {8000.0, 22050.0, 44100.0, 96000.0, 192000.0};
            const double rate = data_.pick(rates);
            AudioStreamBasicDescription format = MorvaneCanonicalFormat(rate, data_.below(10));
            if (data_.u8() == 1) {
                // Short of input, the noise may be empty, and memcpy takes no null source.
                const std::vector<UInt8> noise = data_.bytes(sizeof format);
                if (!noise.empty()) std::memcpy(&format, noise.data(), noise.size());
            }
            append(&format, sizeof format);
            break;
        }
        default: {
            bytes = data_.bytes(data_.below(65));
            break;
        }
        }
        bytes.resize(size(UInt32(bytes.size())), 0);
        return bytes;
    }

    void render() {
        const UInt32 framesChoices[] = {0, 1, 7, 64, 128, 512, 513, 1156, 1157, 4096, 70000};
        const UInt8 b = data_.u8();
        const UInt32 frames = b == 0xFF ? data_.u16() : framesChoices[b % std::size(framesChoices)];
        const UInt32 buffers = data_.below(4);
        const UInt32 bus = data_.u8() == 1 ? data_.u32() : 0;
        const bool own = data_.u8() == 1; // null data: render into the unit's buffers
        std::vector<UInt8> listMemory(AudioBufferListSize(buffers));
        auto* list = reinterpret_cast<AudioBufferList*>(listMemory.data());
        list->mNumberBuffers = buffers;
        std::vector<std::vector<float>> memory(buffers);
        for (UInt32 c = 0; c < buffers; ++c) {
            const UInt32 length = data_.u8() != 1 ? frames : data_.u16() % (frames + 5);
            memory[c].resize(length);
            list->mBuffers[c].mNumberChannels = 1;
            list->mBuffers[c].mDataByteSize = length * UInt32(sizeof(float));
            list->mBuffers[c].mData = own || length == 0 ? nullptr : memory[c].data();
        }
        AudioUnitRenderActionFlags flags = 0;
        AudioTimeStamp time{};
        time.mSampleTime = data_.u8() == 1 ? data_.f64() : 0.0;
        // 1 in place of a pointer: that one is null.
        const UInt8 nulls = data_.u8();
        AudioUnitRender(unit_, nulls == 1 ? nullptr : &flags, nulls == 2 ? nullptr : &time, bus, frames,
                        nulls == 3 ? nullptr : list);
    }

    void callOne() {
        switch (data_.below(17)) {
        case 0:
            AudioUnitInitialize(unit_);
            break;
        case 1:
            AudioUnitUninitialize(unit_);
            break;
        case 2: {
            const AudioUnitScope s = scope();
            AudioUnitReset(unit_, s, element());
            break;
        }
        case 3: {
            UInt32 size = 0;
            Boolean writable = false;
            const AudioUnitPropertyID id = propertyID();
            const AudioUnitScope s = scope();
            const AudioUnitElement e = element();
            const UInt8 nulls = data_.u8();
            AudioUnitGetPropertyInfo(unit_, id, s, e, nulls == 1 ? nullptr : &size,
                                     nulls == 2 ? nullptr : &writable);
            break;
        }
        case 4:
        case 5: {
            const AudioUnitPropertyID id = propertyID();
            const AudioUnitScope s = scope();
            const AudioUnitElement e = element();
            UInt32 natural = 0;
            if (AudioUnitGetPropertyInfo(unit_, id, s, e, &natural, nullptr) != noErr) natural = 16;
            // Exactly the claimed size, prefilled (a get may read an id from it).
            std::vector<UInt8> buffer(size(natural));
            const std::vector<UInt8> fill = data_.bytes(data_.u8() == 1 ? buffer.size() : 0);
            std::copy(fill.begin(), fill.end(), buffer.begin());
            UInt32 ioSize = UInt32(buffer.size());
            const UInt8 nulls = data_.u8();
            void* out = !buffer.empty() && nulls != 1 ? buffer.data() : nullptr;
            const bool sizePointer = nulls != 2;
            const OSStatus result =
                AudioUnitGetProperty(unit_, id, s, e, out, sizePointer ? &ioSize : nullptr);
            if (result == noErr && out != nullptr) {
                check(ioSize <= buffer.size());
                buffer.resize(ioSize);
                releaseOutput(id, buffer);
            }
            break;
        }
        case 6:
        case 7: {
            const AudioUnitPropertyID id = propertyID();
            const std::vector<UInt8> bytes = payload(id);
            const AudioUnitScope s = scope();
            const AudioUnitElement e = element();
            const bool null = data_.u8() == 1;
            const UInt32 size = null ? data_.below(65) : UInt32(bytes.size());
            AudioUnitSetProperty(unit_, id, s, e, null || bytes.empty() ? nullptr : bytes.data(), size);
            break;
        }
        case 8: {
            AudioUnitParameterValue v = 0;
            const AudioUnitParameterID id = data_.below(53);
            const AudioUnitScope s = scope();
            const AudioUnitElement e = element();
            AudioUnitGetParameter(unit_, id, s, e, data_.u8() == 1 ? nullptr : &v);
            break;
        }
        case 9: {
            const AudioUnitParameterID id = data_.below(53);
            const AudioUnitScope s = scope();
            const AudioUnitElement e = element();
            const float v = value();
            AudioUnitSetParameter(unit_, id, s, e, v, data_.u8() == 1 ? data_.u32() : 0);
            break;
        }
        case 10: {
            // The host's own path: set and announce through the listener facility.
            const AudioUnitParameter parameter{unit_, data_.below(53), kAudioUnitScope_Global, 0};
            const float v = value();
            AUParameterSet(nullptr, nullptr, &parameter, v, 0);
            break;
        }
        case 11: {
            const AudioUnitParameter any{unit_, kAUParameterListener_AnyParameter, kAudioUnitScope_Global, 0};
            AUParameterListenerNotify(nullptr, nullptr, &any);
            harness_->pump();
            break;
        }
        case 12:
            harness_->pump();
            break;
        case 13:
        case 14:
            render();
            break;
        case 15: {
            // A saved state file (as the morvane program writes them) restored
            // between the other calls.
            const std::vector<UInt8> file = data_.bytes(data_.u16());
            CFDataRef bytes = CFDataCreate(nullptr, file.data(), CFIndex(file.size()));
            CFPropertyListRef state = CFPropertyListCreateWithData(nullptr, bytes, 0, nullptr, nullptr);
            CFRelease(bytes);
            if (state != nullptr) {
                AudioUnitSetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                     sizeof state);
                CFRelease(state);
            }
            break;
        }
        default: {
            // Save and restore, as a host does with its document.
            CFPropertyListRef state = nullptr;
            UInt32 size = sizeof state;
            if (AudioUnitGetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                     &size) == noErr) {
                AudioUnitSetProperty(unit_, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                     sizeof state);
                CFRelease(state);
            }
            break;
        }
        }
    }

    Reader& data_;
    std::unique_ptr<HostHarness> harness_;
    AudioUnit unit_ = nullptr;
    InputSource source_;
    Transport transport_;
    FakeView view_;
    std::vector<CFTypeRef> objects_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Reader data(bytes, size);
    Session session(data);
    session.run();
    return 0;
}

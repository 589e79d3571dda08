// The framework classes in-process: property dispatch rules, stream formats,
// channel configurations, the render entry's checks, reading untrusted
// parameter blobs and element names, and the value-string helpers.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "host/harness/HostHarness.h"
#include "params/ParameterValueStrings.h"
#include "tests/host/testgain/TestGainEffect.h"

// Counts allocations made on a thread while it asks for counting, to show
// that the render path allocates nothing. Every plain form is replaced so
// allocation and release always pair up.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long> gAllocations{0};
thread_local bool tCountAllocations = false;
void* CountedAllocation(std::size_t size) noexcept {
    if (tCountAllocations) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size != 0 ? size : 1);
}
} // namespace
void* operator new(std::size_t size) {
    if (void* p = CountedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = CountedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

const ComponentDescription kDesc{kTestGainType, kTestGainSubType, kTestGainManufacturer, 0, 0};

std::unique_ptr<HostHarness> OpenInProcess() {
    std::string error;
    auto harness = HostHarness::OpenEntry(&MorvaneTestGain_AUEntry, kDesc, error);
    EXPECT_TRUE(harness) << error;
    return harness;
}

OSStatus SetFormat(AudioUnit unit, AudioUnitScope scope, const AudioStreamBasicDescription& f) {
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, 0, &f, sizeof f);
}

void PutBE(std::vector<UInt8>& out, UInt32 v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(UInt8(v >> shift));
}

void PutRecord(std::vector<UInt8>& out, UInt32 scope, UInt32 element,
               std::initializer_list<std::pair<UInt32, float>> values) {
    PutBE(out, scope);
    PutBE(out, element);
    PutBE(out, UInt32(values.size()));
    for (const auto& [id, value] : values) {
        PutBE(out, id);
        PutBE(out, std::bit_cast<UInt32>(value));
    }
}

// A saved state of `harness` with its "data" replaced by `blob`.
CFMutableDictionaryRef StateWithBlob(HostHarness& harness, const std::vector<UInt8>& blob) {
    CFPropertyListRef saved = nullptr;
    EXPECT_EQ(harness.saveState(&saved), noErr);
    CFMutableDictionaryRef state =
        CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(saved));
    CFRelease(saved);
    CFDataRef data = CFDataCreate(nullptr, blob.data(), CFIndex(blob.size()));
    CFDictionarySetValue(state, CFSTR("data"), data);
    CFRelease(data);
    return state;
}

} // namespace

TEST(AUBase, PropertyDispatchRules) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    AudioUnit unit = harness->unit();

    // Size query, then a buffer too small: refused rather than cut short.
    UInt32 size = 0;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                   nullptr, &size),
              noErr);
    EXPECT_EQ(size, 2 * sizeof(AUChannelInfo));
    AUChannelInfo one[1];
    size = sizeof one;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                   one, &size),
              kAudioUnitErr_InvalidPropertyValue);
    CFPropertyListRef state = nullptr;
    EXPECT_EQ(
        AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, nullptr),
        paramErr);
    // The id-name record holds a pointer: its size is this machine's.
    ASSERT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0,
                                       &size, nullptr),
              noErr);
    EXPECT_EQ(size, sizeof(AudioUnitParameterIDName));
    AudioUnitParameterIDName idName{kTestHidden, -1, nullptr};
    size = sizeof idName;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0,
                                   &idName, &size),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(idName.outName, nullptr);

    Boolean writable = true;
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, 99999, kAudioUnitScope_Global, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_StreamFormat, 9, 0, &size, &writable),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1, &size,
                                       &writable),
              kAudioUnitErr_InvalidElement);
    const UInt32 ids[1] = {0};
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids,
                                   sizeof ids),
              kAudioUnitErr_PropertyNotWritable);
    EXPECT_EQ(
        AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, nullptr, 4),
        paramErr);

    // Parameters through the unit calls.
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitGetParameter(unit, kTestGain, 9, 0, &value), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetParameter(unit, kTestGain, kAudioUnitScope_Global, 1, &value),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(AudioUnitSetParameter(unit, kTestHidden, kAudioUnitScope_Global, 0, 1.0f, 0),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitSetParameter(unit, kTestDepth, kAudioUnitScope_Global, 0, 12.0f, 0), noErr);
    EXPECT_EQ(AudioUnitGetParameter(unit, kTestDepth, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, 12.0f);

    // Maximum slice: a sane positive count, fixed while initialised.
    UInt32 frames = 0;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                   &frames, sizeof frames),
              kAudioUnitErr_InvalidPropertyValue);
    frames = 1u << 20;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                   &frames, sizeof frames),
              kAudioUnitErr_InvalidPropertyValue);
    ASSERT_EQ(harness->configure(44100, 2, 512), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    frames = 1024;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                   &frames, sizeof frames),
              kAudioUnitErr_Initialized);
    frames = 512;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                   &frames, sizeof frames),
              noErr);
}

TEST(AUBase, StreamFormatsAndChannelConfigurations) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    AudioUnit unit = harness->unit();

    // High rates are allowed for this effect; more than two channels are not,
    // nor interleaved or integer audio.
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Input, MorvaneCanonicalFormat(96000, 2)), noErr);
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Input, MorvaneCanonicalFormat(48000, 3)),
              kAudioUnitErr_FormatNotSupported);
    AudioStreamBasicDescription interleaved = MorvaneCanonicalFormat(48000, 2);
    interleaved.mFormatFlags &= ~kAudioFormatFlagIsNonInterleaved;
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Output, interleaved), kAudioUnitErr_FormatNotSupported);
    AudioStreamBasicDescription integer = MorvaneCanonicalFormat(48000, 2);
    integer.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved;
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Output, integer), kAudioUnitErr_FormatNotSupported);
    AudioStreamBasicDescription nanRate = MorvaneCanonicalFormat(std::nan(""), 2);
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Output, nanRate), kAudioUnitErr_FormatNotSupported);

    // The global scope's format is output 0's; the sample rate property follows it.
    const Float64 rate = 88200;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate,
                                   sizeof rate),
              noErr);
    AudioStreamBasicDescription out{};
    UInt32 size = sizeof out;
    ASSERT_EQ(
        AudioUnitGetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &out, &size),
        noErr);
    EXPECT_EQ(out.mSampleRate, 88200.0);

    // Mono in, stereo out is not a configuration of this effect; rates must agree.
    ASSERT_EQ(SetFormat(unit, kAudioUnitScope_Input, MorvaneCanonicalFormat(88200, 1)), noErr);
    ASSERT_EQ(SetFormat(unit, kAudioUnitScope_Output, MorvaneCanonicalFormat(88200, 2)), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), kAudioUnitErr_FormatNotSupported);
    ASSERT_EQ(SetFormat(unit, kAudioUnitScope_Output, MorvaneCanonicalFormat(44100, 1)), noErr);
    EXPECT_EQ(AudioUnitInitialize(unit), kAudioUnitErr_FormatNotSupported);
    ASSERT_EQ(SetFormat(unit, kAudioUnitScope_Output, MorvaneCanonicalFormat(88200, 1)), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    // Fixed while initialised, except a set that changes nothing.
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Output, MorvaneCanonicalFormat(44100, 1)),
              kAudioUnitErr_Initialized);
    EXPECT_EQ(SetFormat(unit, kAudioUnitScope_Output, MorvaneCanonicalFormat(88200, 1)), noErr);
}

TEST(AUBase, RenderEntryChecksItsArguments) {
    // Without the harness: no input callback yet.
    ComponentInstance unit = nullptr;
    ASSERT_EQ(MorvaneOpenComponent(&MorvaneTestGain_AUEntry, &kDesc, &unit), noErr);
    std::vector<float> left(64, 1.0f), right(64, 1.0f);
    AudioBufferListStorage<2> buffers;
    buffers.setChannel(0, left.data(), 64);
    buffers.setChannel(1, right.data(), 64);
    AudioTimeStamp ts{};
    AudioUnitRenderActionFlags flags = 0;

    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, buffers.get()), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, buffers.get()), kAudioUnitErr_NoConnection);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 1, 64, buffers.get()), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(AudioUnitRender(unit, &flags, nullptr, 0, 64, buffers.get()), paramErr);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, kAUDefaultMaxFramesPerSlice + 1, buffers.get()),
              kAudioUnitErr_TooManyFramesToProcess);
    // The last render error is reported once.
    OSStatus last = noErr;
    UInt32 size = sizeof last;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &last,
                                   &size),
              noErr);
    EXPECT_EQ(last, kAudioUnitErr_TooManyFramesToProcess);
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &last,
                                   &size),
              noErr);
    EXPECT_EQ(last, noErr);

    // Buffers that would be overrun, a wrong count, or half supplied.
    buffers.setChannel(1, right.data(), 32);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, buffers.get()), paramErr);
    buffers.setChannel(1, nullptr, 64);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, buffers.get()), paramErr);
    buffers.setChannel(1, right.data(), 64);
    buffers.setNumberBuffers(1);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, buffers.get()), paramErr);
    EXPECT_EQ(CloseComponent(unit), noErr);
}

namespace {

OSStatus ConstantInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                       AudioBufferList* data) {
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
        auto* samples = static_cast<float*>(data->mBuffers[c].mData);
        for (UInt32 i = 0; i < frames; ++i)
            samples[i] = c == 0 ? 0.25f : -0.5f;
    }
    return noErr;
}

OSStatus FailingInput(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                      AudioBufferList*) {
    return -4711;
}

} // namespace

TEST(AUBase, RenderIntoTheUnitsOwnBuffersAndInputFailures) {
    ComponentInstance unit = nullptr;
    ASSERT_EQ(MorvaneOpenComponent(&MorvaneTestGain_AUEntry, &kDesc, &unit), noErr);
    AURenderCallbackStruct input{&ConstantInput, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                   &input, sizeof input),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    // Null data pointers: the unit answers with its own buffers.
    AudioBufferListStorage<2> buffers;
    buffers.setChannel(0, nullptr, 0);
    buffers.setChannel(1, nullptr, 0);
    AudioTimeStamp ts{};
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 100, buffers.get()), noErr);
    for (UInt32 c = 0; c < 2; ++c) {
        const AudioBuffer& b = buffers.list().mBuffers[c];
        ASSERT_NE(b.mData, nullptr);
        EXPECT_EQ(b.mDataByteSize, 400u);
        EXPECT_EQ(static_cast<const float*>(b.mData)[99], c == 0 ? 0.25f : -0.5f);
    }
    // A failing input is the render's failure.
    input.inputProc = &FailingInput;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                   &input, sizeof input),
              noErr);
    EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 100, buffers.get()), -4711);
    EXPECT_EQ(CloseComponent(unit), noErr);
}

TEST(AUBase, ParameterBlobIsReadDefensively) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    auto restore = [&](const std::vector<UInt8>& blob) {
        ASSERT_EQ(harness->setParameter(kTestGain, 1.0f), noErr);
        ASSERT_EQ(harness->setParameter(kTestMute, 0.0f), noErr);
        ASSERT_EQ(harness->setParameter(kTestDepth, 50.0f), noErr);
        CFMutableDictionaryRef state = StateWithBlob(*harness, blob);
        EXPECT_EQ(harness->restoreState(state), noErr);
        CFRelease(state);
    };

    // Cut off inside the second pair: the first is applied.
    std::vector<UInt8> blob;
    PutRecord(blob, 0, 0, {{kTestGain, 0.3f}, {kTestDepth, 10.0f}});
    blob.resize(blob.size() - 3);
    restore(blob);
    EXPECT_EQ(harness->getParameter(kTestGain), 0.3f);
    EXPECT_EQ(harness->getParameter(kTestDepth), 50.0f);

    // A record for an element that does not exist ends the reading.
    blob.clear();
    PutRecord(blob, 0, 7, {{kTestGain, 0.3f}});
    PutRecord(blob, 0, 0, {{kTestGain, 0.4f}});
    restore(blob);
    EXPECT_EQ(harness->getParameter(kTestGain), 1.0f);

    // Values that are not numbers and ids the unit lacks are skipped.
    blob.clear();
    PutRecord(blob, 0, 0,
              {{kTestGain, std::numeric_limits<float>::quiet_NaN()},
               {kTestMute, std::numeric_limits<float>::infinity()},
               {40, 1.0f},
               {kTestDepth, 10.0f}});
    restore(blob);
    EXPECT_EQ(harness->getParameter(kTestGain), 1.0f);
    EXPECT_EQ(harness->getParameter(kTestMute), 0.0f);
    EXPECT_EQ(harness->getParameter(kTestDepth), 10.0f);

    // Reading goes on across records, including empty ones of other scopes;
    // a count far beyond the blob stops at its end.
    blob.clear();
    PutRecord(blob, 0, 0, {{kTestGain, 0.7f}});
    PutRecord(blob, kAudioUnitScope_Output, 0, {});
    PutRecord(blob, 0, 0, {{kTestDepth, 33.0f}});
    PutBE(blob, 0);
    PutBE(blob, 0);
    PutBE(blob, 0xFFFFFFFFu);
    PutBE(blob, kTestMute);
    PutBE(blob, std::bit_cast<UInt32>(1.0f));
    restore(blob);
    EXPECT_EQ(harness->getParameter(kTestGain), 0.7f);
    EXPECT_EQ(harness->getParameter(kTestDepth), 33.0f);
    EXPECT_EQ(harness->getParameter(kTestMute), 1.0f);

    // Numbers beyond a parameter's range are held at its nearer bound.
    blob.clear();
    PutRecord(blob, 0, 0, {{kTestGain, 3.0e38f}, {kTestDepth, -1.0e30f}});
    restore(blob);
    EXPECT_EQ(harness->getParameter(kTestGain), 2.0f);
    EXPECT_EQ(harness->getParameter(kTestDepth), 0.0f);

    restore({});
    EXPECT_EQ(harness->getParameter(kTestGain), 1.0f);
}

TEST(AUBase, ElementNamesTravelWithTheState) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    CFStringRef name = CFSTR("Main In");
    ASSERT_EQ(AudioUnitSetProperty(harness->unit(), kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0,
                                   &name, sizeof name),
              noErr);
    CFPropertyListRef state = nullptr;
    ASSERT_EQ(harness->saveState(&state), noErr);
    auto dict = static_cast<CFDictionaryRef>(state);
    EXPECT_EQ(CFDictionaryGetCount(dict), 7);
    ASSERT_TRUE(CFDictionaryContainsKey(dict, CFSTR("element-name")));

    auto fresh = OpenInProcess();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh->restoreState(state), noErr);
    CFStringRef restored = nullptr;
    UInt32 size = sizeof restored;
    ASSERT_EQ(AudioUnitGetProperty(fresh->unit(), kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0,
                                   &restored, &size),
              noErr);
    EXPECT_TRUE(CFEqual(restored, name));
    CFRelease(restored);

    // Names of the wrong shape are ignored; the rest of the state still applies.
    CFMutableDictionaryRef odd = CFDictionaryCreateMutableCopy(nullptr, 0, dict);
    const void* keys[] = {CFSTR("x1"), CFSTR("2")};
    const void* values[] = {CFSTR("a"), CFSTR("not a dictionary")};
    CFDictionaryRef garbage = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                                 &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(odd, CFSTR("element-name"), garbage);
    auto third = OpenInProcess();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->restoreState(odd), noErr);
    EXPECT_EQ(AudioUnitGetProperty(third->unit(), kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0,
                                   &restored, &size),
              kAudioUnitErr_PropertyNotInUse);
    CFRelease(garbage);
    CFRelease(odd);
    CFRelease(state);
}

TEST(AUBase, ValueStringHelpers) {
    const char* const names[] = {"Off", "On"};
    CFArrayRef array = ko_CreateValueStringsArray(names, 2);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(CFArrayGetCount(array), 2);
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(array, 1), CFSTR("On")));
    CFRelease(array);
    const char* const withHole[] = {"Off", nullptr};
    EXPECT_EQ(ko_CreateValueStringsArray(withHole, 2), nullptr);
    EXPECT_EQ(ko_CreateValueStringsArray(names, 0), nullptr);

    CFArrayRef out = nullptr;
    EXPECT_EQ(ko_GetParameterValueStrings(kAudioUnitScope_Input, nullptr, names, 2),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(ko_GetParameterValueStrings(kAudioUnitScope_Global, nullptr, nullptr, 0), noErr);
    EXPECT_EQ(ko_GetParameterValueStrings(kAudioUnitScope_Global, &out, nullptr, 0),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(out, nullptr);
}

TEST(AUBase, RenderingAllocatesNothing) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    harness->setOffline(false); // no run-loop work inside render()
    ASSERT_EQ(harness->configure(48000, 2, 256), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    ASSERT_EQ(harness->setTransport({100.0, 0.0}), noErr);
    std::vector<float> left(1000, 0.5f), right(1000, -0.5f);
    std::vector<float> outLeft(1000), outRight(1000);
    const float* in[] = {left.data(), right.data()};
    float* out[] = {outLeft.data(), outRight.data()};
    float* io[] = {left.data(), right.data()};

    // The counter sees allocations at all.
    gAllocations.store(0);
    tCountAllocations = true;
    {
        std::vector<int> probe(16, 1);
        volatile int* keep = probe.data();
        (void)keep;
    }
    tCountAllocations = false;
    ASSERT_EQ(gAllocations.load(), 1);

    gAllocations.store(0);
    tCountAllocations = true;
    const OSStatus separate = harness->render(in, out, 1000);
    const OSStatus inPlace = harness->renderInPlace(io, 1000);
    const UInt32 bypass = 1;
    tCountAllocations = false;
    ASSERT_EQ(AudioUnitSetProperty(harness->unit(), kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global,
                                   0, &bypass, sizeof bypass),
              noErr);
    tCountAllocations = true;
    const OSStatus bypassed = harness->render(in, out, 1000);
    tCountAllocations = false;
    EXPECT_EQ(separate, noErr);
    EXPECT_EQ(inPlace, noErr);
    EXPECT_EQ(bypassed, noErr);
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(outRight[999], -0.5f);
}

// A host that sets its callbacks again and again (each time it starts its
// transport, say) leaves the unit with one of each: replacing them allocates
// nothing, and the last one set is the one called.
TEST(AUBase, ReplacingCallbacksKeepsOneOfEach) {
    auto harness = OpenInProcess();
    ASSERT_TRUE(harness);
    ASSERT_EQ(harness->configure(48000, 1, 256), noErr);
    ASSERT_EQ(harness->initialize(), noErr);
    AudioUnit unit = harness->unit();
    struct Source {
        float level = 0.0f;
        static OSStatus Pull(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                             UInt32 frames, AudioBufferList* list) {
            auto* samples = static_cast<float*>(list->mBuffers[0].mData);
            for (UInt32 i = 0; i < frames; ++i)
                samples[i] = static_cast<Source*>(refCon)->level;
            return noErr;
        }
    } sources[2];
    sources[0].level = 0.25f;
    sources[1].level = 0.75f;

    auto setBoth = [unit](Source& source) {
        const AURenderCallbackStruct input{&Source::Pull, &source};
        HostCallbackInfo callbacks{};
        callbacks.hostUserData = &source;
        return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                    &input, sizeof input) == noErr &&
               AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0,
                                    &callbacks, sizeof callbacks) == noErr;
    };
    ASSERT_TRUE(setBoth(sources[0]));
    gAllocations.store(0);
    tCountAllocations = true;
    bool allSet = true;
    for (int i = 1; i <= 1000; ++i)
        allSet &= setBoth(sources[i % 2]);
    tCountAllocations = false;
    EXPECT_TRUE(allSet);
    EXPECT_EQ(gAllocations.load(), 0);

    const UInt32 bypass = 1; // output = the pulled input
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &bypass,
                                   sizeof bypass),
              noErr);
    std::vector<float> out(64, 0.0f);
    AudioBufferListStorage<1> list;
    list.setNumberBuffers(1);
    list.setChannel(0, out.data(), 64);
    AudioUnitRenderActionFlags flags = 0;
    const AudioTimeStamp time{};
    ASSERT_EQ(AudioUnitRender(unit, &flags, &time, 0, 64, list.get()), noErr);
    EXPECT_EQ(out[63], 0.25f) << "the last render callback set (1000 is even)";
    HostCallbackInfo callbacks{};
    UInt32 size = sizeof callbacks;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0,
                                   &callbacks, &size),
              noErr);
    EXPECT_EQ(callbacks.hostUserData, &sources[0]);
}

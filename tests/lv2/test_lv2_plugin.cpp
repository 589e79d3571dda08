// The LV2 plug-in in-process, hosted through lilv as jalv hosts it: it must
// render exactly what the effect component renders under the host harness,
// follow the host's transport, keep its whole state through a session in
// either restore order, and run without allocating or locking.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/state/state.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "host/harness/HostHarness.h"
#include "host/lv2/Lv2Transport.h"
#include "host/lv2/MorvaneLv2.h"
#include "lv2_test_host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MORVANE_COUNT_ALLOCATIONS 0
#else
#define MORVANE_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool gInRun = false;
std::atomic<long> gAllocations{0};
std::atomic<long> gLocks{0};
} // namespace

#if MORVANE_COUNT_ALLOCATIONS
// Counts what the plug-in's run() asks of the allocator and of mutexes.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* malloc(size_t n) {
    if (gInRun) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    if (gInRun) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    if (gInRun) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (gInRun && p != nullptr) gAllocations.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (gInRun) gLocks.fetch_add(1, std::memory_order_relaxed);
    return real(m);
}
} // extern "C"
#endif

namespace {

using lv2_test::Plugin;
using lv2_test::Position;
using Channels = std::vector<std::vector<float>>;

constexpr double kRate = 48000.0;

// Tone bursts over noise, different in each channel.
Channels testSignal(uint32_t channels, size_t frames) {
    Channels in(channels, std::vector<float>(frames));
    uint32_t seed = 12345;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double burst = std::exp(-std::fmod(t, 0.125) * 30.0);
        for (uint32_t c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
            in[c][i] =
                static_cast<float>(0.4 * burst * std::sin(2.0 * M_PI * (220.0 + 110.0 * c) * t) + noise);
        }
    }
    return in;
}

// The first frame where two renders differ, -1 when they are the same.
long firstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return static_cast<long>(std::min(a.size(), b.size()));
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return -1;
}

std::unique_ptr<HostHarness> openHarness(uint32_t channels, uint32_t maxFrames) {
    std::string error;
    auto harness = HostHarness::Open(MORVANE_BUNDLE_DIR, error);
    EXPECT_TRUE(harness) << error;
    EXPECT_EQ(harness->configure(kRate, channels, maxFrames), noErr);
    EXPECT_EQ(harness->initialize(), noErr);
    return harness;
}

Channels harnessRender(HostHarness& harness, const Channels& in, size_t from, size_t to, uint32_t block) {
    Channels out(in.size());
    std::vector<float> slice(block);
    for (size_t done = from; done < to; done += block) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(block, to - done));
        std::vector<const float*> inputs;
        std::vector<std::vector<float>> outputs(in.size(), std::vector<float>(n));
        std::vector<float*> outPointers;
        for (size_t c = 0; c < in.size(); ++c) {
            inputs.push_back(in[c].data() + done);
            outPointers.push_back(outputs[c].data());
        }
        EXPECT_EQ(harness.render(inputs.data(), outPointers.data(), n), noErr);
        for (size_t c = 0; c < in.size(); ++c)
            out[c].insert(out[c].end(), outputs[c].begin(), outputs[c].end());
    }
    return out;
}

// A preset applied as an LV2 preset, controls changed halfway, blocks of any
// size (and runs longer than the host's maximum): the plug-in gives exactly the
// samples the component gives under the host harness. A control posted twice,
// or a run sliced or delivered differently, would show here (preset 5 moves
// Bitcrush, whose every delivery restarts the rate reducer). Two mono instances
// run side by side, as a host does for the channels of a stereo track, render
// the same samples.
TEST(Lv2Plugin, RendersAsTheComponentDoesUnderTheHarness) {
    struct Case {
        const char* uri;
        uint32_t block;
        uint32_t maxBlock; // 0: the host offers no maximum
    };
    for (const Case& k : {Case{morvane_lv2::kStereoUri, 1, 0}, Case{morvane_lv2::kStereoUri, 512, 0},
                          Case{morvane_lv2::kStereoUri, 3000, 512}, Case{morvane_lv2::kMonoUri, 64, 0}}) {
        SCOPED_TRACE(std::string(k.uri) + " block " + std::to_string(k.block));
        Plugin plugin(k.uri, kRate, k.maxBlock);
        Plugin twin(k.uri, kRate, k.maxBlock);
        const size_t frames = k.block == 1 ? 4800 : 24000, half = frames / 2 / k.block * k.block;
        const Channels in = testSignal(plugin.channels(), frames);
        for (Plugin* p : {&plugin, &twin}) {
            p->applyPreset(5);
            p->activate();
        }
        Channels out(plugin.channels()), twinOut(plugin.channels());
        for (size_t done = 0; done < frames; done += k.block) {
            if (done == half) {
                for (Plugin* p : {&plugin, &twin}) {
                    p->control("FiltType") = 2;
                    p->control("Mix") = 80;
                }
            }
            const auto n = static_cast<uint32_t>(std::min<size_t>(k.block, frames - done));
            plugin.run(in, done, n, out);
            twin.run(in, done, n, twinOut);
        }

        const uint32_t slice = k.maxBlock ? k.maxBlock : k.block;
        auto harness = openHarness(plugin.channels(), slice);
        ASSERT_EQ(harness->selectFactoryPreset(5), noErr);
        Channels expected = harnessRender(*harness, in, 0, half, k.block);
        harness->setParameter(0, 2);
        harness->setParameter(12, 80);
        const Channels rest = harnessRender(*harness, in, half, frames, k.block);
        for (uint32_t c = 0; c < plugin.channels(); ++c) {
            expected[c].insert(expected[c].end(), rest[c].begin(), rest[c].end());
            EXPECT_EQ(firstDifference(out[c], expected[c]), -1) << "channel " << c;
            EXPECT_EQ(firstDifference(twinOut[c], out[c]), -1) << "channel " << c;
        }
    }
}

// The Turtle is written from the tables: every control port carries the
// name, range and default the unit publishes, and every factory preset's port
// values are exactly what selecting that preset stores in the unit (so a host
// applying an LV2 preset sends the effect nothing that undoes it).
TEST(Lv2Plugin, PortsAndPresetsAgreeWithTheUnit) {
    Plugin plugin(morvane_lv2::kStereoUri, kRate);
    const LilvPlugin* description = plugin.description();
    ASSERT_NE(description, nullptr);
    std::vector<float> minimum(lilv_plugin_get_num_ports(description)), maximum(minimum.size()),
        defaults(minimum.size());
    lilv_plugin_get_port_ranges_float(description, minimum.data(), maximum.data(), defaults.data());
    for (uint32_t i = 0; i < morvane_lv2::kControlPortCount; ++i) {
        AudioUnitParameterInfo info{};
        UInt32 size = sizeof info;
        ASSERT_EQ(AudioUnitGetProperty(plugin.unit(), kAudioUnitProperty_ParameterInfo,
                                       kAudioUnitScope_Global, i, &info, &size),
                  noErr);
        LilvNode* name = lilv_port_get_name(description, lilv_plugin_get_port_by_index(description, i));
        EXPECT_STREQ(lilv_node_as_string(name), info.name) << "port " << i;
        lilv_node_free(name);
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
        EXPECT_EQ(minimum[i], info.minValue) << "port " << i;
        EXPECT_EQ(maximum[i], info.maxValue) << "port " << i;
        AudioUnitParameterValue stored = 0.0f;
        AudioUnitGetParameter(plugin.unit(), i, kAudioUnitScope_Global, 0, &stored);
        EXPECT_EQ(defaults[i], stored) << "port " << i;
    }
    for (int n = 0; n < 33; ++n) {
        plugin.applyPreset(n);
        for (uint32_t i = 0; i < morvane_lv2::kControlPortCount; ++i) {
            AudioUnitParameterValue stored = 0.0f;
            AudioUnitGetParameter(plugin.unit(), i, kAudioUnitScope_Global, 0, &stored);
            EXPECT_EQ(plugin.control(i), stored) << "preset " << n << ", port " << i;
        }
    }
}

// Distance in milliseconds from an impulse to its first echo, with the left
// delay synced to "1/4" and the host's positions given in the first run.
double quarterNoteEchoMs(const std::vector<Position>& positions) {
    Plugin plugin(morvane_lv2::kStereoUri, kRate);
    plugin.applyPreset(28); // no routing, no drift, Host Sync on
    plugin.control("Filt_On") = 0;
    plugin.control("TimeDlyL") = 8.5f / 15.0f; // the ninth note division, "1/4"
    plugin.control("TimeDlyR") = 5;            // right = left
    plugin.control("Regen") = -60;
    plugin.control("Mix") = 50;
    plugin.activate();
    const size_t impulse = 48000, frames = 96000;
    Channels in(2, std::vector<float>(frames, 0.0f));
    in[0][impulse] = in[1][impulse] = 1.0f;
    for (const Position& p : positions)
        plugin.position(p);
    const Channels out = plugin.process(in, 512);
    // The impulse itself, then the loudest sample a while after it.
    size_t dry = impulse - 10;
    while (dry < frames && std::fabs(out[0][dry]) < 0.1f)
        ++dry;
    size_t echo = dry + 2400;
    for (size_t i = echo; i < frames; ++i)
        if (std::fabs(out[0][i]) > std::fabs(out[0][echo])) echo = i;
    return static_cast<double>(echo - dry) * 1000.0 / kRate;
}

// A host that never sends a position leaves the effect at its 120 BPM; a
// position with a beat, or with a bar and a beat in the bar (as Ardour sends,
// here in the middle of a block), or counted in eighths, sets the tempo.
TEST(Lv2Plugin, SyncedEchoFollowsTheHostTempo) {
    EXPECT_NEAR(quarterNoteEchoMs({}), 500.0, 0.05);
    EXPECT_NEAR(quarterNoteEchoMs({Position{0, 90.0, 0.0}}), 666.67, 0.05);
    Position bars{100, 90.0};
    bars.bar = 3;
    bars.barBeat = 1.5;
    EXPECT_NEAR(quarterNoteEchoMs({bars}), 666.67, 0.05);
    Position eighths{0, 180.0, 0.0};
    eighths.beatUnit = 8;
    EXPECT_NEAR(quarterNoteEchoMs({eighths}), 666.67, 0.05);
}

// Between positions the song position moves with the frames at the tempo
// times the speed; a stopped transport holds it.
TEST(Lv2Transport, AdvancesBetweenPositions) {
    morvane_lv2::Lv2Transport transport(48000.0);
    double beat = 0.0, tempo = 0.0;
    EXPECT_FALSE(transport.query(beat, tempo));
    morvane_lv2::PositionUpdate update;
    update.tempo = 120.0;
    update.bar = 2.0;
    update.barBeat = 1.0;
    update.beatsPerBar = 3.0;
    transport.apply(update);
    transport.advance(36000); // 0.75 s at 2 beats a second
    ASSERT_TRUE(transport.query(beat, tempo));
    EXPECT_DOUBLE_EQ(beat, 2.0 * 3.0 + 1.0 + 1.5);
    morvane_lv2::PositionUpdate stop;
    stop.speed = 0.0;
    transport.apply(stop);
    transport.advance(48000);
    ASSERT_TRUE(transport.query(beat, tempo));
    EXPECT_DOUBLE_EQ(beat, 8.5);
    EXPECT_DOUBLE_EQ(tempo, 120.0);
}

bool sameValue(CFDictionaryRef a, CFDictionaryRef b, const char* key) {
    CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const bool same = CFEqual(CFDictionaryGetValue(a, name), CFDictionaryGetValue(b, name));
    CFRelease(name);
    return same;
}

// A state with pad gestures and drift (one velocity as small as 1.2e-9, which
// a float property in a session file would round to 0) goes through lilv's
// session text into new instances, restored before or after activation: the
// recordings, the velocities and every parameter come back exactly, and stay
// after the instance has run.
TEST(Lv2Plugin, StateKeepsRecordingsAndVelocitiesInEitherRestoreOrder) {
    Plugin original(morvane_lv2::kStereoUri, kRate);
    original.applyPreset(27); // circles on both pads
    original.activate();
    CFDictionaryRef preset = lv2_test::unitState(original.unit());
    ASSERT_NE(preset, nullptr);
    CFMutableDictionaryRef drifting = CFDictionaryCreateMutableCopy(nullptr, 0, preset);
    CFRelease(preset);
    const std::pair<const char*, float> velocities[] = {{"velocity_L_X", 1.2e-9f},
                                                        {"velocity_L_Y", -3.5e-7f},
                                                        {"velocity_R_X", 2.0e-6f},
                                                        {"velocity_R_Y", -1e-8f}};
    for (const auto& [key, value] : velocities) {
        CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFNumberRef number = CFNumberCreate(nullptr, kCFNumberFloat32Type, &value);
        CFDictionarySetValue(drifting, name, number);
        CFRelease(number);
        CFRelease(name);
    }
    CFPropertyListRef list = drifting;
    ASSERT_EQ(AudioUnitSetProperty(original.unit(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0,
                                   &list, sizeof list),
              noErr);
    CFRelease(drifting);
    const Channels silence(2, std::vector<float>(512, 0.0f));
    original.process(silence, 512);
    CFDictionaryRef saved = lv2_test::unitState(original.unit());
    const std::string session = original.saveState();

    for (bool beforeActivation : {true, false}) {
        SCOPED_TRACE(beforeActivation ? "restored before activation" : "restored after activation");
        Plugin restored(morvane_lv2::kStereoUri, kRate);
        if (beforeActivation) {
            restored.restoreState(session);
            restored.activate();
        } else {
            restored.activate();
            restored.process(silence, 512);
            restored.restoreState(session);
        }
        restored.process(silence, 64);
        CFDictionaryRef state = lv2_test::unitState(restored.unit());
        for (const char* key : {"LeftMotion", "RightMotion", "velocity_L_X", "velocity_L_Y", "velocity_R_X",
                                "velocity_R_Y", "data"})
            EXPECT_TRUE(sameValue(state, saved, key)) << key;
        CFRelease(state);
    }
    CFRelease(saved);
}

// run() under load: the first run after activation (every parameter
// announced), bursts of control changes, positions in mid-block, a preset
// applied and a state restored between runs. Nothing in run() allocates or
// takes a mutex.
TEST(Lv2Plugin, RunNeitherAllocatesNorLocks) {
    if (!MORVANE_COUNT_ALLOCATIONS) GTEST_SKIP() << "sanitizer builds bring their own allocator";
    Plugin plugin(morvane_lv2::kStereoUri, kRate, 256);
    const Channels in = testSignal(2, 1000);
    Channels out(2);
    plugin.applyPreset(27);
    plugin.activate();
    const std::string session = plugin.saveState();
    plugin.flagRuns(&gInRun);
    for (int round = 0; round < 40; ++round) {
        plugin.control("FiltType") = static_cast<float>(round % 6);
        plugin.control("Left_X") = static_cast<float>(round % 10) / 10.0f;
        plugin.control("Mix") = static_cast<float>(round * 2);
        plugin.control("HostSync") = static_cast<float>(round % 2);
        if (round == 20) plugin.restoreState(session);
        plugin.position(Position{100, 90.0 + round, round * 2.0});
        plugin.run(in, 0, 1000, out);
    }
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(gLocks.load(), 0);
}

} // namespace

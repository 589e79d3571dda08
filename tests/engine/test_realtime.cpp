// Real-time safety, measured: the program replaces operator new/delete and
// malloc/free (and interposes pthread_mutex_lock) and counts every call made
// on the render thread while the effect's ProcessBufferLists runs, over long
// renders with pad drift and throws, recorder playback, pads driving filter
// types and delay times, filter changes, resets and bursts of parameter
// changes. Every count must stay 0.
//
// Sanitizer builds bring their own allocator, so there the load runs without
// counting.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"
#include "host/harness/HostHarness.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MORVANE_COUNT_ALLOCATIONS 0
#else
#define MORVANE_COUNT_ALLOCATIONS 1
#endif

namespace {
// Set by the render thread while it is inside ProcessBufferLists.
thread_local bool gInRender = false;
std::atomic<long> gAllocations{0};
std::atomic<long> gFrees{0};
std::atomic<long> gLocks{0};
} // namespace

#if MORVANE_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    if (gInRender) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    if (gInRender) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    if (gInRender) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void* memalign(size_t alignment, size_t n) {
    if (gInRender) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    return memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    void* p = memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) {
    if (gInRender && p) gFrees.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}

int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (gInRender) gLocks.fetch_add(1, std::memory_order_relaxed);
    return real(m);
}
} // extern "C"

void* operator new(size_t n) {
    if (void* p = malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    return malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
    return malloc(n ? n : 1);
}
void* operator new(size_t n, std::align_val_t a) {
    if (void* p = memalign(static_cast<size_t>(a), n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n, std::align_val_t a) {
    return operator new(n, a);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, size_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t) noexcept {
    free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    free(p);
}
#endif

namespace {

// The effect with its render callback bracketed for the counters.
class CountingMorvane : public Morvane_AU {
  public:
    using Morvane_AU::Morvane_AU;
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                AudioBufferList& out, UInt32 frames) override {
        gInRender = true;
        const OSStatus result = Morvane_AU::ProcessBufferLists(flags, in, out, frames);
        gInRender = false;
        return result;
    }
};

COMPONENT_ENTRY_NAMED(CountingMorvane, CountingMorvaneEntry)

// A small deterministic generator (no library state, no allocation).
struct Random {
    unsigned s;
    float next() {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / 16777216.0f;
    }
    int below(int n) { return static_cast<int>(next() * n) % n; }
};

void deliver(Morvane_AU& unit, int32_t id, float value) {
    const AudioUnitParameter p{nullptr, static_cast<AudioUnitParameterID>(id), kAudioUnitScope_Global, 0};
    unit.ParameterListener(nullptr, nullptr, &p, value);
}

// A random natural value inside the parameter's range.
float randomValue(MorvaneParameterManager& table, int32_t id, Random& r) {
    const float lo = table.getMinimumValue(id), hi = table.getMaximumValue(id);
    return lo + r.next() * (hi - lo);
}

void renderUnderLoad(UInt32 channels, double seconds, unsigned seed) {
    std::string error;
    const ComponentDescription desc{kAudioUnitType_Effect, MorvaneFourCC("Mrvn"), MorvaneFourCC("Qnlw"), 0,
                                    0};
    auto host = HostHarness::OpenEntry(&CountingMorvaneEntry, desc, error);
    ASSERT_TRUE(host) << error;
    ASSERT_EQ(host->configure(44100.0, channels, 4096), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    auto& unit = *static_cast<Morvane_AU*>(GetComponentInstanceStorage(host->unit()));
    MorvaneParameterManager& table = unit.parameterTable();
    host->setTransport({128.0, 0.0});

    // Defaults, then pads driving filter type, resonance, bitcrush, delay
    // times, width and the delay switch; recordings on both pads.
    for (int32_t id = 0; id < kNumPublishedParameters; ++id)
        deliver(unit, id, table.getDefaultValue(id));
    const int32_t routes[][2] = {{kLXDestination, 3}, {kLYDestination, 2},  {kRXDestination, 6},
                                 {kRYDestination, 8}, {kLZDestination, 11}, {kRZDestination, 13}};
    for (const auto& route : routes)
        deliver(unit, route[0], static_cast<float>(route[1]));
    for (int32_t bound : {kLXHighRange, kLYHighRange, kRXHighRange, kRYHighRange})
        deliver(unit, bound, 1.0f);
    for (int32_t bound : {kLXLowRange, kLYLowRange, kRXLowRange, kRYLowRange})
        deliver(unit, bound, 0.0f);
    for (CMotionRecorder* rec : {&unit.recorderLeft(), &unit.recorderRight()}) {
        rec->startRecording();
        for (int k = 0; k < 40; ++k)
            rec->recordValues(0.5f + 0.5f * std::sin(k * 0.3f), 0.5f + 0.5f * std::cos(k * 0.2f));
    }

    Random r{seed};
    std::vector<std::vector<float>> in(channels, std::vector<float>(4096)),
        out(channels, std::vector<float>(4096));
    std::vector<const float*> ip;
    std::vector<float*> op;
    for (UInt32 c = 0; c < channels; ++c) {
        ip.push_back(in[c].data());
        op.push_back(out[c].data());
    }
    const double total = seconds * 44100.0;
    double rendered = 0.0;
    int block = 0;
    while (rendered < total) {
        const UInt32 frames = 1 + static_cast<UInt32>(r.below(4096));
        for (UInt32 c = 0; c < channels; ++c)
            for (UInt32 i = 0; i < frames; ++i)
                in[c][i] = r.next() - 0.5f;

        // What the host and the editor do between blocks (not counted).
        switch (block % 8) {
        case 0: // a burst over every published parameter except the routing
            for (int32_t id = 0; id < kNumPublishedParameters; ++id)
                if (!isPadDestination(id)) deliver(unit, id, randomValue(table, id, r));
            deliver(unit, kMotionMode, static_cast<float>(r.below(2))); // Off or Play
            deliver(unit, kKinetics, 1.0f);
            break;
        case 1:
            deliver(unit, kFilterType, static_cast<float>(r.below(6)));
            break;
        case 2: // a throw
            table.setNaturalValue(kVelLX, 200.0f * r.next() - 100.0f);
            table.setNaturalValue(kVelLY, 200.0f * r.next() - 100.0f);
            deliver(unit, kLeftZ, 1.0f);
            deliver(unit, kLeftZ, 0.0f);
            break;
        case 3:
            deliver(unit, kLinkMode, static_cast<float>(r.below(3)));
            break;
        case 4:
            deliver(unit, kHostSync, static_cast<float>(r.below(2)));
            break;
        case 5:
            if (r.below(4) == 0) host->reset();
            break;
        case 6:
            deliver(unit, kLeftX, r.next());
            break;
        default:
            deliver(unit, kRightZ, r.next());
            break;
        }
        ASSERT_EQ(host->render(ip.data(), op.data(), frames), noErr);
        for (UInt32 c = 0; c < channels; ++c)
            ASSERT_TRUE(std::isfinite(out[c][frames - 1]));
        rendered += frames;
        ++block;
    }
}

TEST(RealTime, RenderingAllocatesNothingAndTakesNoLock) {
    if (!MORVANE_COUNT_ALLOCATIONS) {
        // A sanitizer owns the allocator in this build: run the load for its
        // checks, without counting.
        renderUnderLoad(2, 5.0, 1);
        return;
    }
    // The counters see the calls: a control allocation inside the bracket counts.
    std::mutex mutex;
    gInRender = true;
    delete new int(1);
    mutex.lock();
    gInRender = false;
    mutex.unlock();
    ASSERT_EQ(gAllocations.exchange(0), 1);
    ASSERT_EQ(gFrees.exchange(0), 1);
    ASSERT_EQ(gLocks.exchange(0), 1);

    renderUnderLoad(2, 30.0, 1);
    renderUnderLoad(1, 10.0, 2);
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(gFrees.load(), 0);
    EXPECT_EQ(gLocks.load(), 0);
}

} // namespace

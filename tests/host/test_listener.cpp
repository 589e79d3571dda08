// The listener facility on one thread: who hears what, when, and how often.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "tests/host/test_listener_support.h"

using listener_test::FakeUnit;

// Counts heap allocations made by the counting thread while it is counting.
namespace {
std::atomic<long> gAllocations{0};
thread_local bool tCountAllocations = false;
} // namespace

namespace {
void* countedAllocation(std::size_t size) noexcept {
    if (tCountAllocations) gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
} // namespace

// Every plain form is replaced, so that each allocation and its release go
// through the same pair of functions (sanitizers check that they match). The
// compiler cannot tell that these frees pair with the mallocs above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (void* p = countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = countedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return countedAllocation(size);
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
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

struct Heard {
    void* object;
    AudioUnitParameterID id;
    float value;
    bool operator==(const Heard&) const = default;
};

struct ParamLog {
    std::vector<Heard> heard;
    AUParameterListenerRef disposeOnFirst = nullptr;
};

void logParameter(void* refCon, void* object, const AudioUnitParameter* p, AudioUnitParameterValue value) {
    auto* log = static_cast<ParamLog*>(refCon);
    log->heard.push_back(Heard{object, p->mParameterID, value});
    if (log->disposeOnFirst) {
        EXPECT_EQ(AUListenerDispose(log->disposeOnFirst), noErr);
        log->disposeOnFirst = nullptr;
    }
}

struct HeardEvent {
    void* object;
    AudioUnitEventType type;
    AudioUnitParameterID id;
    float value;
    bool operator==(const HeardEvent&) const = default;
};

void logEvent(void* refCon, void* object, const AudioUnitEvent* e, UInt64, AudioUnitParameterValue value) {
    auto* log = static_cast<std::vector<HeardEvent>*>(refCon);
    const UInt32 id = e->mEventType == kAudioUnitEvent_PropertyChange ? e->mArgument.mProperty.mPropertyID
                                                                      : e->mArgument.mParameter.mParameterID;
    log->push_back(HeardEvent{object, e->mEventType, id, value});
}

// A run loop on a host-set clock, private to one test.
struct Loop {
    CFRunLoopRef rl = nullptr;
    Loop() {
        std::thread([this] { rl = MorvaneRunLoopRetain(CFRunLoopGetCurrent()); }).join();
        MorvaneRunLoopSetClock(rl, 0.0);
    }
    ~Loop() { MorvaneRunLoopRelease(rl); }
    CFIndex at(double t) { return MorvaneRunLoopPumpAt(rl, t); }
};

AUParameterListenerRef makeListener(Loop& loop, ParamLog& log, float interval) {
    AUParameterListenerRef l = nullptr;
    EXPECT_EQ(AUListenerCreate(logParameter, &log, loop.rl, kCFRunLoopDefaultMode, interval, &l), noErr);
    return l;
}

AudioUnitEvent paramEvent(AudioUnitEventType type, const AudioUnitParameter& p) {
    AudioUnitEvent e{};
    e.mEventType = type;
    e.mArgument.mParameter = p;
    return e;
}

int objA, objB;

} // namespace

TEST(Listener, SetStoresAtOnceAndDeliversOnlyWhenTheLoopRunsExceptToTheSender) {
    FakeUnit unit;
    Loop loop;
    ParamLog log1, log2;
    AUParameterListenerRef l1 = makeListener(loop, log1, 0.0f);
    AUParameterListenerRef l2 = makeListener(loop, log2, 0.0f);
    const AudioUnitParameter p = unit.param(3);
    ASSERT_EQ(AUListenerAddParameter(l1, &objA, &p), noErr);
    ASSERT_EQ(AUListenerAddParameter(l1, &objB, &p), noErr);
    ASSERT_EQ(AUListenerAddParameter(l1, &objA, &p), noErr); // a repeat adds nothing
    ASSERT_EQ(AUListenerAddParameter(l2, &objA, &p), noErr);

    ASSERT_EQ(AUParameterSet(l1, &objA, &p, 0.75f, 0), noErr);
    EXPECT_FLOAT_EQ(unit.get(3), 0.75f);
    EXPECT_TRUE(log1.heard.empty());

    loop.at(0.0);
    // The sender is the pair (l1, objA): l1's other object and l2's objA hear it.
    EXPECT_EQ(log1.heard, (std::vector<Heard>{{&objB, 3, 0.75f}}));
    EXPECT_EQ(log2.heard, (std::vector<Heard>{{&objA, 3, 0.75f}}));

    // Without a sender everyone registered hears; other parameters are not heard.
    ASSERT_EQ(AUParameterSet(nullptr, nullptr, &p, 0.5f, 0), noErr);
    const AudioUnitParameter other = unit.param(4);
    ASSERT_EQ(AUParameterSet(nullptr, nullptr, &other, 0.25f, 0), noErr);
    loop.at(0.0);
    EXPECT_EQ(log1.heard.size(), 3u);
    EXPECT_EQ(log2.heard.back(), (Heard{&objA, 3, 0.5f}));
    EXPECT_EQ(log2.heard.size(), 2u);

    AUListenerDispose(l1);
    AUListenerDispose(l2);
}

TEST(Listener, ValuesCoalesceToTheLatestAtTheNotificationInterval) {
    FakeUnit unit;
    Loop loop;
    ParamLog log;
    AUParameterListenerRef l = makeListener(loop, log, 0.01f);
    const AudioUnitParameter p = unit.param(1);
    AUListenerAddParameter(l, nullptr, &p);

    for (float v : {0.1f, 0.2f, 0.3f})
        AUParameterSet(nullptr, nullptr, &p, v, 0);
    EXPECT_EQ(loop.at(1.000), 1);
    EXPECT_EQ(log.heard.back().value, 0.3f);

    // Within 10 ms of the last delivery nothing comes; at 10 ms the latest does.
    AUParameterSet(nullptr, nullptr, &p, 0.4f, 0);
    AUParameterSet(nullptr, nullptr, &p, 0.5f, 0);
    EXPECT_EQ(loop.at(1.005), 0);
    EXPECT_EQ(loop.at(1.009), 0);
    EXPECT_EQ(loop.at(1.010), 1);
    EXPECT_EQ(log.heard.back().value, 0.5f);

    // A flush delivers at once; a clock that went back does not stall delivery.
    AUParameterSet(nullptr, nullptr, &p, 0.6f, 0);
    EXPECT_EQ(MorvaneRunLoopFlush(loop.rl), 1);
    AUParameterSet(nullptr, nullptr, &p, 0.7f, 0);
    EXPECT_EQ(loop.at(0.0), 1);
    EXPECT_EQ(log.heard.size(), 4u);
    EXPECT_EQ(log.heard.back().value, 0.7f);

    // Nothing pending: nothing delivered, and a quiet spell lets the next change through at once.
    EXPECT_EQ(loop.at(5.0), 0);
    AUParameterSet(nullptr, nullptr, &p, 0.8f, 0);
    EXPECT_EQ(loop.at(5.001), 1);
    AUListenerDispose(l);
}

TEST(Listener, NotifyDeliversTheValueHeldAtDeliveryAndAnyParameterFansOutPerUnit) {
    FakeUnit unit, otherUnit;
    Loop loop;
    ParamLog log;
    AUParameterListenerRef l = makeListener(loop, log, 0.0f);
    for (AudioUnitParameterID id : {0u, 1u, 2u}) {
        const AudioUnitParameter p = unit.param(id);
        AUListenerAddParameter(l, &objA, &p);
        unit.setQuietly(id, 0.1f * float(id + 1));
    }
    const AudioUnitParameter foreign = otherUnit.param(0);
    AUListenerAddParameter(l, &objA, &foreign);

    const AudioUnitParameter p1 = unit.param(1);
    ASSERT_EQ(AUParameterListenerNotify(nullptr, nullptr, &p1), noErr);
    unit.setQuietly(1, 0.9f); // changed again before the loop runs
    loop.at(0.0);
    EXPECT_EQ(log.heard, (std::vector<Heard>{{&objA, 1, 0.9f}}));

    log.heard.clear();
    const AudioUnitParameter any = unit.param(kAUParameterListener_AnyParameter);
    ASSERT_EQ(AUParameterListenerNotify(nullptr, nullptr, &any), noErr);
    unit.setQuietly(2, 0.55f);
    loop.at(0.0);
    ASSERT_EQ(log.heard.size(), 3u); // the other unit's registration is not told
    std::vector<float> values(3, -1.0f);
    for (const Heard& h : log.heard)
        values.at(h.id) = h.value;
    EXPECT_EQ(values, (std::vector<float>{0.1f, 0.9f, 0.55f}));

    // A sender is excluded from an announcement too; a setter cannot use "any".
    log.heard.clear();
    AUParameterListenerNotify(l, &objA, &any);
    EXPECT_EQ(loop.at(0.0), 0);
    EXPECT_EQ(AUParameterSet(nullptr, nullptr, &any, 1.0f, 0), paramErr);
    AUListenerDispose(l);
}

TEST(Listener, FailedSetsRemovedRegistrationsAndDisposedListenersAreSilent) {
    FakeUnit unit;
    Loop loop;
    ParamLog log;
    AUParameterListenerRef l = makeListener(loop, log, 0.0f);
    const AudioUnitParameter p = unit.param(2);
    const AudioUnitParameter unknown = unit.param(200);
    AUListenerAddParameter(l, nullptr, &p);
    AUListenerAddParameter(l, nullptr, &unknown);

    EXPECT_EQ(AUParameterSet(nullptr, nullptr, &unknown, 1.0f, 0), kAudioUnitErr_InvalidParameter);
    const AudioUnitParameter noUnit{nullptr, 2, kAudioUnitScope_Global, 0};
    EXPECT_NE(AUParameterSet(nullptr, nullptr, &noUnit, 1.0f, 0), noErr);
    // A notification whose value cannot be read is dropped at delivery.
    AUParameterListenerNotify(nullptr, nullptr, &unknown);
    EXPECT_EQ(loop.at(0.0), 0);

    AUParameterSet(nullptr, nullptr, &p, 0.3f, 0);
    ASSERT_EQ(AUListenerRemoveParameter(l, nullptr, &p), noErr);
    EXPECT_EQ(loop.at(0.0), 0);
    AUListenerAddParameter(l, nullptr, &p);
    AUParameterSet(nullptr, nullptr, &p, 0.4f, 0);
    EXPECT_EQ(loop.at(0.0), 1);

    AUParameterSet(nullptr, nullptr, &p, 0.5f, 0);
    ASSERT_EQ(AUListenerDispose(l), noErr);
    EXPECT_EQ(loop.at(0.0), 0);
    EXPECT_EQ(log.heard.size(), 1u);
    // The handle is dead: every call refuses it.
    EXPECT_EQ(AUListenerDispose(l), paramErr);
    EXPECT_EQ(AUListenerAddParameter(l, nullptr, &p), paramErr);
    EXPECT_EQ(AUListenerCreate(nullptr, nullptr, loop.rl, nullptr, 0.0f, &l), paramErr);
}

// Far more registrations than the first table holds (and more listeners than
// the first registry), all heard; a removed registration's slot is taken
// again without its pending value.
TEST(Listener, RegistrationsAndListenersGrowWithoutLimitAndRemovedOnesAreReused) {
    FakeUnit unit;
    Loop loop;
    ParamLog log;
    AUParameterListenerRef l = makeListener(loop, log, 0.0f);
    // Distinct objects make distinct registrations of one parameter.
    constexpr UInt32 kMany = 2000;
    static char objects[kMany + 1];
    const AudioUnitParameter p = unit.param(5);
    for (UInt32 i = 0; i < kMany; ++i)
        ASSERT_EQ(AUListenerAddParameter(l, &objects[i], &p), noErr);

    AUParameterSet(nullptr, nullptr, &p, 0.2f, 0); // leaves a pending mark on every registration
    AUListenerRemoveParameter(l, &objects[7], &p);
    ASSERT_EQ(AUListenerAddParameter(l, &objects[kMany], &p), noErr);
    loop.at(0.0);
    EXPECT_EQ(log.heard.size(), kMany - 1);
    for (const Heard& h : log.heard) {
        EXPECT_NE(h.object, &objects[kMany]) << "a new registration inherited a pending value";
        EXPECT_NE(h.object, &objects[7]);
    }

    std::vector<ParamLog> logs(300);
    std::vector<AUParameterListenerRef> more;
    for (ParamLog& other : logs) {
        more.push_back(makeListener(loop, other, 0.0f));
        ASSERT_EQ(AUListenerAddParameter(more.back(), nullptr, &p), noErr);
    }
    AUParameterSet(nullptr, nullptr, &p, 0.3f, 0);
    loop.at(1.0);
    for (const ParamLog& other : logs)
        ASSERT_EQ(other.heard.size(), 1u);
    for (AUParameterListenerRef m : more)
        AUListenerDispose(m);
    AUListenerDispose(l);
}

TEST(Listener, DisposingFromItsOwnCallbackDropsTheRestOfTheDelivery) {
    FakeUnit unit;
    Loop loop;
    ParamLog log;
    AUParameterListenerRef l = makeListener(loop, log, 0.0f);
    for (AudioUnitParameterID id : {0u, 1u, 2u}) {
        const AudioUnitParameter p = unit.param(id);
        AUListenerAddParameter(l, nullptr, &p);
        AUParameterSet(nullptr, nullptr, &p, 1.0f, 0);
    }
    log.disposeOnFirst = l;
    EXPECT_EQ(loop.at(0.0), 1);
    EXPECT_EQ(log.heard.size(), 1u);
    const AudioUnitParameter p = unit.param(0);
    AUParameterSet(nullptr, nullptr, &p, 2.0f, 0);
    EXPECT_EQ(loop.at(0.0), 0);
}

TEST(Listener, ListenerWithoutALoopUsesTheCreatingThreadsLoop) {
    FakeUnit unit;
    ParamLog log;
    std::thread([&] {
        AUParameterListenerRef l = nullptr;
        ASSERT_EQ(AUListenerCreate(logParameter, &log, nullptr, nullptr, 0.0f, &l), noErr);
        const AudioUnitParameter p = unit.param(0);
        AUListenerAddParameter(l, nullptr, &p);
        AUParameterSet(nullptr, nullptr, &p, 0.5f, 0);
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, TRUE), kCFRunLoopRunHandledSource);
        AUListenerDispose(l);
    }).join();
    EXPECT_EQ(log.heard.size(), 1u);
}

TEST(EventListener, GesturesArriveInOrderAroundTheValuesSetDuringThem) {
    FakeUnit unit;
    Loop loop;
    std::vector<HeardEvent> heard;
    AUEventListenerRef l = nullptr;
    ASSERT_EQ(AUEventListenerCreate(logEvent, &heard, loop.rl, nullptr, 0.01f, 0.0f, &l), noErr);
    const AudioUnitParameter p = unit.param(6);
    for (AudioUnitEventType t :
         {kAudioUnitEvent_BeginParameterChangeGesture, kAudioUnitEvent_ParameterValueChange,
          kAudioUnitEvent_EndParameterChangeGesture}) {
        const AudioUnitEvent e = paramEvent(t, p);
        ASSERT_EQ(AUEventListenerAddEventType(l, &objA, &e), noErr);
    }
    const AudioUnitEvent begin = paramEvent(kAudioUnitEvent_BeginParameterChangeGesture, p);
    const AudioUnitEvent end = paramEvent(kAudioUnitEvent_EndParameterChangeGesture, p);

    AUParameterSet(nullptr, nullptr, &p, 0.1f, 0); // before the gesture
    loop.at(0.0);
    AUEventListenerNotify(nullptr, nullptr, &begin);
    AUParameterSet(nullptr, nullptr, &p, 0.2f, 0);
    AUParameterSet(nullptr, nullptr, &p, 0.3f, 0);
    AUEventListenerNotify(nullptr, nullptr, &end);
    AUEventListenerNotify(nullptr, nullptr, &begin);
    AUParameterSet(nullptr, nullptr, &p, 0.4f, 0);
    EXPECT_EQ(loop.at(0.005), 0); // inside the interval
    EXPECT_EQ(loop.at(0.010), 5);
    const std::vector<HeardEvent> expected{
        {&objA, kAudioUnitEvent_ParameterValueChange, 6, 0.1f},
        {&objA, kAudioUnitEvent_BeginParameterChangeGesture, 6, 0.4f},
        // The drag's values coalesce to its last one, which comes before its end.
        {&objA, kAudioUnitEvent_ParameterValueChange, 6, 0.3f},
        {&objA, kAudioUnitEvent_EndParameterChangeGesture, 6, 0.4f},
        {&objA, kAudioUnitEvent_BeginParameterChangeGesture, 6, 0.4f},
        {&objA, kAudioUnitEvent_ParameterValueChange, 6, 0.4f},
    };
    EXPECT_EQ(heard, expected);
    AUListenerDispose(l);
}

TEST(EventListener, AnnouncingThenSettingAsSenderReachesOthersButNotTheSender) {
    // The effect's broadcast and the view's edit both do this: announce a
    // value-change event without a sender, then set the value naming their
    // own listener.
    FakeUnit unit;
    Loop loop;
    ParamLog selfLog, viewLog;
    std::vector<HeardEvent> hostHeard;
    AUParameterListenerRef self = makeListener(loop, selfLog, 0.01f);
    AUParameterListenerRef view = makeListener(loop, viewLog, 0.01f);
    AUEventListenerRef host = nullptr;
    ASSERT_EQ(AUEventListenerCreate(logEvent, &hostHeard, loop.rl, nullptr, 0.01f, 0.0f, &host), noErr);
    const AudioUnitParameter p = unit.param(9);
    AUListenerAddParameter(self, &objA, &p);
    AUListenerAddParameter(view, &objB, &p);
    const AudioUnitEvent change = paramEvent(kAudioUnitEvent_ParameterValueChange, p);
    AUEventListenerAddEventType(host, nullptr, &change);

    ASSERT_EQ(AUEventListenerNotify(nullptr, nullptr, &change), noErr);
    ASSERT_EQ(AUParameterSet(self, &objA, &p, 0.625f, 0), noErr);
    loop.at(0.0);
    EXPECT_TRUE(selfLog.heard.empty());
    EXPECT_EQ(viewLog.heard, (std::vector<Heard>{{&objB, 9, 0.625f}}));
    EXPECT_EQ(hostHeard,
              (std::vector<HeardEvent>{{nullptr, kAudioUnitEvent_ParameterValueChange, 9, 0.625f}}));

    // Event registrations belong to event listeners; unknown types are refused.
    EXPECT_EQ(AUEventListenerAddEventType(view, nullptr, &change), paramErr);
    AudioUnitEvent bogus = change;
    bogus.mEventType = 77;
    EXPECT_EQ(AUEventListenerAddEventType(host, nullptr, &bogus), paramErr);
    EXPECT_EQ(AUEventListenerNotify(nullptr, nullptr, &bogus), paramErr);
    AUListenerDispose(self);
    AUListenerDispose(view);
    AUListenerDispose(host);
}

TEST(EventListener, PropertyEventsAndAFullQueueCountTheirDrops) {
    FakeUnit unit;
    Loop loop;
    std::vector<HeardEvent> heard;
    AUEventListenerRef l = nullptr;
    ASSERT_EQ(AUEventListenerCreate(logEvent, &heard, loop.rl, nullptr, 0.0f, 0.0f, &l), noErr);
    AudioUnitEvent e{};
    e.mEventType = kAudioUnitEvent_PropertyChange;
    e.mArgument.mProperty = AudioUnitProperty{unit.unit, 80002, kAudioUnitScope_Global, 0};
    ASSERT_EQ(AUEventListenerAddEventType(l, nullptr, &e), noErr);

    const UInt32 posts = kMorvaneListenerEventQueueSize + 10;
    for (UInt32 i = 0; i < posts; ++i)
        AUEventListenerNotify(nullptr, nullptr, &e);
    EXPECT_EQ(loop.at(0.0), CFIndex(kMorvaneListenerEventQueueSize));
    EXPECT_EQ(MorvaneListenerDroppedEvents(l), 10u);
    EXPECT_EQ(heard.front(), (HeardEvent{nullptr, kAudioUnitEvent_PropertyChange, 80002, 0.0f}));
    // Drained: the queue takes events again.
    AUEventListenerNotify(nullptr, nullptr, &e);
    EXPECT_EQ(loop.at(0.0), 1);
    AUListenerDispose(l);
}

TEST(Listener, PostingAndDeliveringAllocateNothing) {
    FakeUnit unit;
    Loop loop;
    static std::atomic<int> calls{0};
    AUParameterListenerRef l = nullptr;
    AUEventListenerRef e = nullptr;
    ASSERT_EQ(
        AUListenerCreate([](void*, void*, const AudioUnitParameter*, AudioUnitParameterValue) { ++calls; },
                         nullptr, loop.rl, nullptr, 0.01f, &l),
        noErr);
    ASSERT_EQ(AUEventListenerCreate(
                  [](void*, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue) { ++calls; },
                  nullptr, loop.rl, nullptr, 0.01f, 0.0f, &e),
              noErr);
    for (AudioUnitParameterID id = 0; id < 8; ++id) {
        const AudioUnitParameter p = unit.param(id);
        AUListenerAddParameter(l, nullptr, &p);
        for (AudioUnitEventType t :
             {kAudioUnitEvent_BeginParameterChangeGesture, kAudioUnitEvent_ParameterValueChange,
              kAudioUnitEvent_EndParameterChangeGesture}) {
            const AudioUnitEvent ev = paramEvent(t, p);
            AUEventListenerAddEventType(e, nullptr, &ev);
        }
    }
    const AudioUnitParameter any = unit.param(kAUParameterListener_AnyParameter);
    gAllocations = 0;
    tCountAllocations = true;
    for (int i = 0; i < 100; ++i) {
        const AudioUnitParameter p = unit.param(AudioUnitParameterID(i % 8));
        const AudioUnitEvent begin = paramEvent(kAudioUnitEvent_BeginParameterChangeGesture, p);
        const AudioUnitEvent end = paramEvent(kAudioUnitEvent_EndParameterChangeGesture, p);
        AUEventListenerNotify(nullptr, nullptr, &begin);
        AUParameterSet(l, nullptr, &p, float(i), 0);
        AUEventListenerNotify(nullptr, nullptr, &end);
        AUParameterListenerNotify(nullptr, nullptr, &any);
        if (i % 10 == 9) MorvaneRunLoopFlush(loop.rl);
    }
    tCountAllocations = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_GT(calls.load(), 100);
    AUListenerDispose(l);
    AUListenerDispose(e);
}

// Once a listener's registrations have grown (the registering thread
// allocates), delivering them allocates nothing, neither on its run loop nor
// through MorvaneListenerDeliver on a render thread.
TEST(Listener, DeliveringAfterTheRegistrationsGrewAllocatesNothing) {
    FakeUnit unit;
    static std::atomic<int> calls{0};
    CFRunLoopRef own = MorvaneRunLoopCreate();
    MorvaneRunLoopSetClock(own, 0.0);
    AUParameterListenerRef l = nullptr;
    ASSERT_EQ(
        AUListenerCreate([](void*, void*, const AudioUnitParameter*, AudioUnitParameterValue) { ++calls; },
                         nullptr, own, nullptr, 0.0f, &l),
        noErr);
    constexpr int kMany = 1500; // three times the first directory
    static char objects[kMany];
    for (int i = 0; i < kMany; ++i) {
        const AudioUnitParameter p = unit.param(AudioUnitParameterID(i % 8));
        ASSERT_EQ(AUListenerAddParameter(l, &objects[i], &p), noErr);
    }
    const AudioUnitParameter any = unit.param(kAUParameterListener_AnyParameter);
    gAllocations = 0;
    tCountAllocations = true;
    AUParameterListenerNotify(nullptr, nullptr, &any);
    const CFIndex delivered = MorvaneListenerDeliver(own);
    AUParameterListenerNotify(nullptr, nullptr, &any);
    const CFIndex flushed = MorvaneRunLoopFlush(own);
    tCountAllocations = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(delivered, kMany);
    EXPECT_EQ(flushed, kMany);
    EXPECT_EQ(calls.load(), 2 * kMany);
    AUListenerDispose(l);
    MorvaneRunLoopRelease(own);
}

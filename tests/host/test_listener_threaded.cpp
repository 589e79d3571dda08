// The listener facility under concurrency: a render thread and a host thread
// post while the user-interface thread delivers, and listeners come and go
// while posts continue. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "tests/host/test_listener_support.h"

using listener_test::FakeUnit;

namespace {

struct Loop {
    CFRunLoopRef rl = nullptr;
    Loop() {
        std::thread([this] { rl = MorvaneRunLoopRetain(CFRunLoopGetCurrent()); }).join();
        MorvaneRunLoopSetClock(rl, 0.0);
    }
    ~Loop() { MorvaneRunLoopRelease(rl); }
};

constexpr int kParams = 8;

// What the user-interface thread saw, per unit and parameter.
struct Seen {
    AudioUnit unitA = nullptr;
    std::thread::id uiThread;
    float last[2][kParams] = {};
    int deliveries[2][kParams] = {};
    bool wentBack = false;
    bool wrongThread = false;
};

void recordSeen(void* refCon, void*, const AudioUnitParameter* p, AudioUnitParameterValue value) {
    auto* s = static_cast<Seen*>(refCon);
    const int u = p->mAudioUnit == s->unitA ? 0 : 1;
    const UInt32 id = p->mParameterID;
    if (id >= kParams) return;
    if (value < s->last[u][id]) s->wentBack = true;
    s->last[u][id] = value;
    ++s->deliveries[u][id];
    if (std::this_thread::get_id() != s->uiThread) s->wrongThread = true;
}

std::atomic<int> gSenderHeard{0};
void countSender(void*, void*, const AudioUnitParameter*, AudioUnitParameterValue) {
    ++gSenderHeard;
}

} // namespace

TEST(ListenerThreaded, RenderAndHostPostsAllArriveOnTheLoopCoalescedWithTheLatestValueLast) {
    FakeUnit unitA, unitB;
    Loop loop;
    Seen seen;
    seen.unitA = unitA.unit;
    seen.uiThread = std::this_thread::get_id();

    AUParameterListenerRef ui = nullptr, sender = nullptr;
    ASSERT_EQ(AUListenerCreate(recordSeen, &seen, loop.rl, nullptr, 0.01f, &ui), noErr);
    ASSERT_EQ(AUListenerCreate(countSender, nullptr, loop.rl, nullptr, 0.0f, &sender), noErr);
    static int senderObject;
    for (UInt32 id = 0; id < kParams; ++id) {
        const AudioUnitParameter a = unitA.param(id), b = unitB.param(id);
        AUListenerAddParameter(ui, nullptr, &a);
        AUListenerAddParameter(ui, nullptr, &b);
        AUListenerAddParameter(sender, &senderObject, &a);
    }

    constexpr int kRounds = 5000;
    std::atomic<int> running{2};
    // Render thread: sets on unit A, naming the sender listener.
    std::thread render([&] {
        for (int i = 1; i <= kRounds; ++i)
            for (UInt32 id = 0; id < kParams; ++id) {
                const AudioUnitParameter p = unitA.param(id);
                AUParameterSet(sender, &senderObject, &p, float(i), 0);
            }
        --running;
    });
    // Host thread: stores on unit B directly and announces "every parameter".
    std::thread host([&] {
        const AudioUnitParameter any = unitB.param(kAUParameterListener_AnyParameter);
        for (int i = 1; i <= kRounds; ++i) {
            for (UInt32 id = 0; id < kParams; ++id)
                unitB.setQuietly(id, float(i));
            AUParameterListenerNotify(nullptr, nullptr, &any);
        }
        --running;
    });

    // User-interface thread: the loop's clock advances 1 ms per pump.
    int pumps = 0;
    double t = 0.0;
    while (running.load() > 0) {
        t += 0.001;
        MorvaneRunLoopPumpAt(loop.rl, t);
        ++pumps;
    }
    render.join();
    host.join();
    MorvaneRunLoopFlush(loop.rl);

    EXPECT_FALSE(seen.wentBack);
    EXPECT_FALSE(seen.wrongThread);
    EXPECT_EQ(gSenderHeard.load(), 0);
    for (int u = 0; u < 2; ++u)
        for (int id = 0; id < kParams; ++id) {
            EXPECT_EQ(seen.last[u][id], float(kRounds)) << "unit " << u << " parameter " << id;
            // At most one delivery per 10 ms of loop time, plus the final flush.
            EXPECT_LE(seen.deliveries[u][id], pumps / 10 + 2);
        }
    AUListenerDispose(ui);
    AUListenerDispose(sender);
}

// A plug-in adapter's render thread delivers its own loop's work while a
// user-interface thread posts: every value arrives, never an older one after
// a newer, on the delivering thread only; a listener of another loop is left
// to that loop.
TEST(ListenerThreaded, RenderThreadDeliveryOfALoopOfItsOwn) {
    FakeUnit unit;
    Loop other;
    CFRunLoopRef own = MorvaneRunLoopCreate();
    Seen seen;
    seen.unitA = unit.unit;
    seen.uiThread = std::this_thread::get_id();
    AUParameterListenerRef effect = nullptr, elsewhere = nullptr;
    ASSERT_EQ(AUListenerCreate(recordSeen, &seen, own, nullptr, 0.01f, &effect), noErr);
    ASSERT_EQ(AUListenerCreate(countSender, nullptr, other.rl, nullptr, 0.0f, &elsewhere), noErr);
    for (UInt32 id = 0; id < kParams; ++id) {
        const AudioUnitParameter p = unit.param(id);
        AUListenerAddParameter(effect, nullptr, &p);
        AUListenerAddParameter(elsewhere, nullptr, &p);
    }
    constexpr int kRounds = 5000;
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int i = 1; i <= kRounds; ++i)
            for (UInt32 id = 0; id < kParams; ++id) {
                const AudioUnitParameter p = unit.param(id);
                AUParameterSet(nullptr, nullptr, &p, float(i), 0);
            }
        done = true;
    });
    while (!done.load())
        MorvaneListenerDeliver(own);
    ui.join();
    MorvaneListenerDeliver(own);

    EXPECT_FALSE(seen.wentBack);
    EXPECT_FALSE(seen.wrongThread);
    for (int id = 0; id < kParams; ++id)
        EXPECT_EQ(seen.last[0][id], float(kRounds)) << "parameter " << id;
    EXPECT_EQ(gSenderHeard.load(), 0);
    AUListenerDispose(effect);
    AUListenerDispose(elsewhere);
    MorvaneRunLoopRelease(own);
}

namespace {

struct GestureLog {
    std::vector<AudioUnitEventType> types;
    std::vector<float> values;
    std::atomic<int> consumed{0};
};

void recordGesture(void* refCon, void*, const AudioUnitEvent* e, UInt64, AudioUnitParameterValue value) {
    auto* log = static_cast<GestureLog*>(refCon);
    log->types.push_back(e->mEventType);
    log->values.push_back(value);
    if (e->mEventType != kAudioUnitEvent_ParameterValueChange) log->consumed.fetch_add(1);
}

} // namespace

TEST(ListenerThreaded, GesturesFromTheRenderThreadKeepTheirOrderAroundValues) {
    FakeUnit unit;
    Loop loop;
    GestureLog log;
    AUEventListenerRef l = nullptr;
    ASSERT_EQ(AUEventListenerCreate(recordGesture, &log, loop.rl, nullptr, 0.0f, 0.0f, &l), noErr);
    const AudioUnitParameter p = unit.param(0);
    AudioUnitEvent begin{}, change{}, end{};
    begin.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
    change.mEventType = kAudioUnitEvent_ParameterValueChange;
    end.mEventType = kAudioUnitEvent_EndParameterChangeGesture;
    begin.mArgument.mParameter = change.mArgument.mParameter = end.mArgument.mParameter = p;
    AUEventListenerAddEventType(l, nullptr, &begin);
    AUEventListenerAddEventType(l, nullptr, &change);
    AUEventListenerAddEventType(l, nullptr, &end);

    constexpr int kCycles = 2000;
    std::atomic<bool> done{false};
    std::thread render([&] {
        for (int c = 0; c < kCycles; ++c) {
            // Keep well inside the event queue: the test is about order, not overflow.
            while (2 * c - log.consumed.load() > 64)
                std::this_thread::yield();
            AUEventListenerNotify(nullptr, nullptr, &begin);
            for (int k = 1; k <= 3; ++k)
                AUParameterSet(nullptr, nullptr, &p, float(c * 10 + k), 0);
            AUEventListenerNotify(nullptr, nullptr, &end);
        }
        done = true;
    });
    while (!done.load())
        MorvaneRunLoopPump(loop.rl);
    render.join();
    MorvaneRunLoopPump(loop.rl);

    EXPECT_EQ(MorvaneListenerDroppedEvents(l), 0u);
    int begins = 0, ends = 0;
    bool inside = false, orderBroken = false, lastValueLost = false;
    float lastValue = -1.0f;
    for (size_t i = 0; i < log.types.size(); ++i) {
        switch (log.types[i]) {
        case kAudioUnitEvent_BeginParameterChangeGesture:
            orderBroken |= inside;
            inside = true;
            ++begins;
            break;
        case kAudioUnitEvent_ParameterValueChange:
            orderBroken |= !inside; // every value was set inside a gesture
            lastValue = log.values[i];
            break;
        case kAudioUnitEvent_EndParameterChangeGesture:
            orderBroken |= !inside;
            // The drag's last value came before its end.
            lastValueLost |= lastValue != float(ends * 10 + 3);
            inside = false;
            ++ends;
            break;
        }
    }
    EXPECT_FALSE(orderBroken);
    EXPECT_FALSE(lastValueLost);
    EXPECT_EQ(begins, kCycles);
    EXPECT_EQ(ends, kCycles);
    AUListenerDispose(l);
}

namespace {

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<bool> inCallback{false};
};

void slowCount(void* refCon, void*, const AudioUnitParameter*, AudioUnitParameterValue) {
    auto* c = static_cast<Counter*>(refCon);
    c->inCallback = true;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    ++c->calls;
    c->inCallback = false;
}

void countEvent(void* refCon, void*, const AudioUnitEvent*, UInt64, AudioUnitParameterValue) {
    ++static_cast<Counter*>(refCon)->calls;
}

} // namespace

TEST(ListenerThreaded, ListenersComeAndGoWhilePostsAndDeliveriesContinue) {
    FakeUnit unit;
    Loop loop;
    std::atomic<bool> stop{false};
    auto poster = [&](int salt) {
        const AudioUnitParameter any = unit.param(kAUParameterListener_AnyParameter);
        AudioUnitEvent begin{};
        begin.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
        for (int i = 0; !stop.load(); ++i) {
            const AudioUnitParameter p = unit.param(UInt32((i + salt) % 4));
            AUParameterSet(nullptr, nullptr, &p, float(i), 0);
            begin.mArgument.mParameter = p;
            AUEventListenerNotify(nullptr, nullptr, &begin);
            if (i % 16 == 0) AUParameterListenerNotify(nullptr, nullptr, &any);
        }
    };
    // A second user-interface thread delivers the loop the whole time.
    std::thread deliverer([&] {
        while (!stop.load())
            MorvaneRunLoopFlush(loop.rl);
    });
    std::thread render(poster, 0), host(poster, 1);

    for (int round = 0; round < 40; ++round) {
        // Each listener's refCon dies right after it is disposed: a late
        // callback would touch freed memory.
        auto counter = std::make_unique<Counter>();
        auto eventCounter = std::make_unique<Counter>();
        AUParameterListenerRef l = nullptr;
        AUEventListenerRef e = nullptr;
        ASSERT_EQ(AUListenerCreate(slowCount, counter.get(), loop.rl, nullptr, 0.0f, &l), noErr);
        ASSERT_EQ(AUEventListenerCreate(countEvent, eventCounter.get(), loop.rl, nullptr, 0.0f, 0.0f, &e),
                  noErr);
        for (UInt32 id = 0; id < 4; ++id) {
            const AudioUnitParameter p = unit.param(id);
            AUListenerAddParameter(l, nullptr, &p);
            AudioUnitEvent begin{};
            begin.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
            begin.mArgument.mParameter = p;
            AUEventListenerAddEventType(e, nullptr, &begin);
        }
        if (round % 3 == 0) {
            const AudioUnitParameter p = unit.param(1);
            AUListenerRemoveParameter(l, nullptr, &p);
            AUListenerAddParameter(l, &round, &p);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ASSERT_EQ(AUListenerDispose(l), noErr);
        EXPECT_FALSE(counter->inCallback.load());
        ASSERT_EQ(AUListenerDispose(e), noErr);
    }
    stop = true;
    render.join();
    host.join();
    deliverer.join();
}

// The registry and one listener's registrations grow (copied into larger
// tables, the old ones freed) while a render thread posts and another thread
// delivers; afterwards one value reaches every registration.
TEST(ListenerThreaded, TablesGrowWhilePostsAndDeliveriesContinue) {
    FakeUnit unit;
    Loop loop;
    std::atomic<bool> stop{false};
    std::thread render([&] {
        for (int i = 0; !stop.load(); ++i) {
            const AudioUnitParameter p = unit.param(UInt32(i % 4));
            AUParameterSet(nullptr, nullptr, &p, float(i), 0);
        }
    });
    std::thread deliverer([&] {
        while (!stop.load())
            MorvaneRunLoopFlush(loop.rl);
    });

    std::atomic<int> heard{0};
    auto count = [](void* refCon, void*, const AudioUnitParameter* p, AudioUnitParameterValue value) {
        if (p->mParameterID == 9 && value == -1.0f) ++*static_cast<std::atomic<int>*>(refCon);
    };
    const AudioUnitParameter probe = unit.param(9);
    AUParameterListenerRef big = nullptr;
    ASSERT_EQ(AUListenerCreate(count, &heard, loop.rl, nullptr, 0.0f, &big), noErr);
    constexpr int kRegistrations = 3000;
    static char objects[kRegistrations];
    for (int i = 0; i < kRegistrations; ++i) {
        const AudioUnitParameter p = unit.param(UInt32(i % 4));
        ASSERT_EQ(AUListenerAddParameter(big, &objects[i], i % 2 ? &p : &probe), noErr);
    }
    std::vector<AUParameterListenerRef> listeners;
    for (int i = 0; i < 300; ++i) {
        AUParameterListenerRef l = nullptr;
        ASSERT_EQ(AUListenerCreate(count, &heard, loop.rl, nullptr, 0.0f, &l), noErr);
        ASSERT_EQ(AUListenerAddParameter(l, nullptr, &probe), noErr);
        listeners.push_back(l);
    }
    stop = true;
    render.join();
    deliverer.join();

    AUParameterSet(nullptr, nullptr, &probe, -1.0f, 0);
    MorvaneRunLoopFlush(loop.rl);
    EXPECT_EQ(heard.load(), kRegistrations / 2 + 300);
    for (AUParameterListenerRef l : listeners)
        AUListenerDispose(l);
    AUListenerDispose(big);
}

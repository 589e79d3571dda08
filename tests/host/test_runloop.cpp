// Run loops: per-thread identity, the host-set clock, timers and work sources.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "host/RunLoop.h"

namespace {

// A loop of its own for each test, on a host-set clock, so that nothing a
// test leaves behind disturbs another and time moves only when told.
struct TestLoop {
    CFRunLoopRef loop = nullptr;
    std::thread owner;
    explicit TestLoop(double start = 100.0) {
        owner = std::thread([this] { loop = MorvaneRunLoopRetain(CFRunLoopGetCurrent()); });
        owner.join();
        MorvaneRunLoopSetClock(loop, start);
    }
    ~TestLoop() { MorvaneRunLoopRelease(loop); }
};

struct TimerLog {
    std::vector<double> fireTimes;
    CFRunLoopRef loop = nullptr;
    CFRunLoopTimerRef invalidateOnFire = nullptr;
};

void recordFire(CFRunLoopTimerRef, void* info) {
    auto* log = static_cast<TimerLog*>(info);
    log->fireTimes.push_back(MorvaneRunLoopGetTime(log->loop));
    if (log->invalidateOnFire) CFRunLoopTimerInvalidate(log->invalidateOnFire);
}

CFRunLoopTimerRef makeTimer(TimerLog& log, double fireDate, double interval) {
    CFRunLoopTimerContext context{0, &log, nullptr, nullptr, nullptr};
    return CFRunLoopTimerCreate(kCFAllocatorDefault, fireDate, interval, 0, 0, recordFire, &context);
}

} // namespace

TEST(RunLoop, EachThreadHasItsOwnLoopAndTheMainLoopIsTheMainThreads) {
    CFRunLoopRef here = CFRunLoopGetCurrent();
    EXPECT_EQ(here, CFRunLoopGetCurrent());
    CFRunLoopRef other = nullptr;
    CFRunLoopRef mainSeenElsewhere = nullptr;
    std::thread t([&] {
        other = CFRunLoopGetCurrent();
        mainSeenElsewhere = CFRunLoopGetMain();
    });
    t.join();
    EXPECT_NE(here, other);
    // Test programs run their cases on the main thread.
    EXPECT_EQ(mainSeenElsewhere, here);
    EXPECT_EQ(CFRunLoopGetMain(), here);
}

TEST(RunLoop, HostClockDrivesTimeAndTheCurrentThreadsAbsoluteTime) {
    TestLoop t(5.0);
    EXPECT_TRUE(MorvaneRunLoopHasHostClock(t.loop));
    EXPECT_DOUBLE_EQ(MorvaneRunLoopGetTime(t.loop), 5.0);
    MorvaneRunLoopSetClock(t.loop, 7.25);
    EXPECT_DOUBLE_EQ(MorvaneRunLoopGetTime(t.loop), 7.25);

    // On a thread whose loop has a host clock, "now" is that clock.
    std::thread offline([] {
        MorvaneRunLoopSetClock(CFRunLoopGetCurrent(), 42.0);
        EXPECT_DOUBLE_EQ(CFAbsoluteTimeGetCurrent(), 42.0);
        MorvaneRunLoopUseWallClock(CFRunLoopGetCurrent());
        // Wall time on the platform's scale: seconds since 2001, so well past 7e8 today.
        EXPECT_GT(CFAbsoluteTimeGetCurrent(), 7.0e8);
    });
    offline.join();
}

TEST(RunLoop, RepeatingTimerFiresOnItsGridAndSkipsMissedFires) {
    TestLoop t(0.0);
    TimerLog log;
    log.loop = t.loop;
    CFRunLoopTimerRef timer = makeTimer(log, 1.0, 0.1);
    CFRunLoopAddTimer(t.loop, timer, kCFRunLoopDefaultMode);

    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 0.999), 0);
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.0), 1);
    EXPECT_NEAR(CFRunLoopTimerGetNextFireDate(timer), 1.1, 1e-12);
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.05), 0);
    // Three periods late: one fire, and the next date stays on the grid after now.
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.35), 1);
    EXPECT_NEAR(CFRunLoopTimerGetNextFireDate(timer), 1.4, 1e-12);
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.4), 1);
    // Exactly on a grid point after a miss: the next date is the following point.
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.6), 1);
    EXPECT_NEAR(CFRunLoopTimerGetNextFireDate(timer), 1.7, 1e-9);
    EXPECT_EQ(log.fireTimes, (std::vector<double>{1.0, 1.35, 1.4, 1.6}));

    CFRunLoopTimerInvalidate(timer);
    EXPECT_FALSE(CFRunLoopTimerIsValid(timer));
    EXPECT_FALSE(CFRunLoopContainsTimer(t.loop, timer, kCFRunLoopDefaultMode));
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 10.0), 0);
    MorvaneRunLoopTimerRelease(timer);
}

TEST(RunLoop, OneShotTimerFiresOnceAndInvalidatesItself) {
    TestLoop t(0.0);
    TimerLog log;
    log.loop = t.loop;
    CFRunLoopTimerRef timer = makeTimer(log, 0.5, 0.0);
    EXPECT_FALSE(CFRunLoopTimerDoesRepeat(timer));
    CFRunLoopAddTimer(t.loop, timer, kCFRunLoopDefaultMode);
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 2.0), 1);
    EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 3.0), 0);
    EXPECT_FALSE(CFRunLoopTimerIsValid(timer));
    EXPECT_FALSE(CFRunLoopContainsTimer(t.loop, timer, kCFRunLoopDefaultMode));
    // An invalid timer cannot be put back.
    CFRunLoopAddTimer(t.loop, timer, kCFRunLoopDefaultMode);
    EXPECT_FALSE(CFRunLoopContainsTimer(t.loop, timer, kCFRunLoopDefaultMode));
    MorvaneRunLoopTimerRelease(timer);
}

TEST(RunLoop, TimersAddRemoveAndInvalidateThemselvesSafely) {
    TestLoop a(0.0);
    TestLoop b(0.0);
    TimerLog log;
    log.loop = a.loop;
    CFRunLoopTimerRef timer = makeTimer(log, 0.0, 1.0);
    CFRunLoopAddTimer(a.loop, timer, kCFRunLoopDefaultMode);
    CFRunLoopAddTimer(b.loop, timer, kCFRunLoopDefaultMode); // already on a: ignored
    EXPECT_TRUE(CFRunLoopContainsTimer(a.loop, timer, kCFRunLoopDefaultMode));
    EXPECT_FALSE(CFRunLoopContainsTimer(b.loop, timer, kCFRunLoopDefaultMode));
    EXPECT_EQ(MorvaneRunLoopPumpAt(b.loop, 5.0), 0);

    CFRunLoopRemoveTimer(a.loop, timer, kCFRunLoopDefaultMode);
    EXPECT_EQ(MorvaneRunLoopPumpAt(a.loop, 5.0), 0);
    EXPECT_TRUE(CFRunLoopTimerIsValid(timer)); // removed, not invalidated
    CFRunLoopAddTimer(b.loop, timer, kCFRunLoopDefaultMode);
    EXPECT_EQ(MorvaneRunLoopPumpAt(b.loop, 5.0), 1);

    // A callout that invalidates its own timer, and the caller's reference
    // dropped early: the loop keeps the timer alive until the callout returns.
    log.invalidateOnFire = timer;
    MorvaneRunLoopTimerRelease(timer);
    EXPECT_EQ(MorvaneRunLoopPumpAt(b.loop, 6.0), 1);
    EXPECT_EQ(MorvaneRunLoopPumpAt(b.loop, 7.0), 0);
    EXPECT_EQ(log.fireTimes.size(), 2u);
}

TEST(RunLoop, TimerContextInfoIsRetainedOnceAndReleasedOnce) {
    static std::atomic<int> retains{0}, releases{0};
    retains = 0;
    releases = 0;
    int payload = 0;
    CFRunLoopTimerContext context{0, &payload,
                                  [](const void* p) -> const void* {
                                      ++retains;
                                      return p;
                                  },
                                  [](const void*) { ++releases; }, nullptr};
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(
        nullptr, 0.0, 1.0, 0, 0, [](CFRunLoopTimerRef, void*) {}, &context);
    {
        TestLoop t(0.0);
        CFRunLoopAddTimer(t.loop, timer, kCFRunLoopDefaultMode);
        MorvaneRunLoopTimerRelease(timer);
        EXPECT_EQ(MorvaneRunLoopPumpAt(t.loop, 1.0), 1);
        EXPECT_EQ(releases.load(), 0);
    } // the loop goes, and with it the last reference to the timer
    EXPECT_EQ(retains.load(), 1);
    EXPECT_EQ(releases.load(), 1);
    EXPECT_EQ(CFRunLoopTimerCreate(nullptr, 0.0, 1.0, 0, 0, nullptr, &context), nullptr);
}

namespace {
struct SourceProbe {
    CFRunLoopRef loop = nullptr;
    int calls = 0;
    double lastNow = 0.0;
    bool lastForce = false;
    bool removeSelf = false;
    Boolean removeResult = FALSE;
};
CFIndex probePerform(void* info, CFAbsoluteTime now, Boolean force) {
    auto* p = static_cast<SourceProbe*>(info);
    ++p->calls;
    p->lastNow = now;
    p->lastForce = force;
    if (p->removeSelf) p->removeResult = MorvaneRunLoopRemoveSource(p->loop, p);
    return 1;
}
} // namespace

TEST(RunLoop, SourcesRunFirstWithTheLoopTimeAndFlushForcesThem) {
    TestLoop t(3.0);
    SourceProbe probe;
    probe.loop = t.loop;
    MorvaneRunLoopAddSource(t.loop, probePerform, &probe);
    EXPECT_EQ(MorvaneRunLoopPump(t.loop), 1);
    EXPECT_DOUBLE_EQ(probe.lastNow, 3.0);
    EXPECT_FALSE(probe.lastForce);
    EXPECT_EQ(MorvaneRunLoopFlush(t.loop), 1);
    EXPECT_TRUE(probe.lastForce);

    // Removing itself from inside perform is reported, and it never runs again.
    probe.removeSelf = true;
    EXPECT_EQ(MorvaneRunLoopPump(t.loop), 1);
    EXPECT_TRUE(probe.removeResult);
    EXPECT_EQ(MorvaneRunLoopPump(t.loop), 0);
    EXPECT_EQ(probe.calls, 3);
    EXPECT_FALSE(MorvaneRunLoopRemoveSource(t.loop, &probe));
}

TEST(RunLoop, RemovingASourceWaitsForItsPerformOnAnotherThread) {
    TestLoop t(0.0);
    struct Slow {
        std::atomic<bool> inside{false};
        std::atomic<bool> finished{false};
    } slow;
    MorvaneRunLoopAddSource(
        t.loop,
        [](void* info, CFAbsoluteTime, Boolean) -> CFIndex {
            auto* s = static_cast<Slow*>(info);
            s->inside = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            s->finished = true;
            return 1;
        },
        &slow);
    std::thread pumper([&] { MorvaneRunLoopPump(t.loop); });
    while (!slow.inside)
        std::this_thread::yield();
    EXPECT_FALSE(MorvaneRunLoopRemoveSource(t.loop, &slow));
    EXPECT_TRUE(slow.finished);
    pumper.join();
}

TEST(RunLoop, RunInModeReportsFinishedStoppedHandledAndTimedOut) {
    std::thread worker([] {
        CFRunLoopRef loop = CFRunLoopGetCurrent();
        // Nothing on the loop.
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, FALSE), kCFRunLoopRunFinished);

        TimerLog log;
        log.loop = loop;
        CFRunLoopTimerRef timer = makeTimer(log, CFAbsoluteTimeGetCurrent() + 0.02, 0.02);
        CFRunLoopAddTimer(loop, timer, kCFRunLoopDefaultMode);
        // Wall clock: the loop sleeps until the timer is due.
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5.0, TRUE), kCFRunLoopRunHandledSource);
        EXPECT_EQ(log.fireTimes.size(), 1u);
        const auto before = std::chrono::steady_clock::now();
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, FALSE), kCFRunLoopRunTimedOut);
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));

        // A stop that comes before the run is not lost.
        CFRunLoopStop(loop);
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, FALSE), kCFRunLoopRunStopped);

        // Host clock: one pass, no waiting for time that will not pass.
        MorvaneRunLoopSetClock(loop, 0.0);
        CFRunLoopTimerSetNextFireDate(timer, 1.0);
        EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10.0, FALSE), kCFRunLoopRunTimedOut);
        CFRunLoopTimerInvalidate(timer);
        MorvaneRunLoopTimerRelease(timer);
    });
    worker.join();
}

TEST(RunLoop, StopFromAnotherThreadEndsAWaitingRun) {
    std::atomic<CFRunLoopRef> loop{nullptr};
    std::atomic<SInt32> result{0};
    std::thread ui([&] {
        CFRunLoopRef rl = CFRunLoopGetCurrent();
        TimerLog log;
        log.loop = rl;
        // A far-away timer keeps the loop from finishing at once.
        CFRunLoopTimerRef timer = makeTimer(log, CFAbsoluteTimeGetCurrent() + 1000.0, 0.0);
        CFRunLoopAddTimer(rl, timer, kCFRunLoopDefaultMode);
        loop = rl;
        result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 30.0, FALSE);
        CFRunLoopTimerInvalidate(timer);
        MorvaneRunLoopTimerRelease(timer);
    });
    while (!loop.load())
        std::this_thread::yield();
    const auto before = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CFRunLoopStop(loop.load());
    ui.join();
    EXPECT_EQ(result.load(), kCFRunLoopRunStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
}

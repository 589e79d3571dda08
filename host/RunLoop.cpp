// Run loops, timers and work sources.
//
// All run loops share one mutex for their timer and source lists: these
// change and fire at user-interface rates, and one lock keeps timer moves
// between loops and loop teardown simple. No callout is ever made while the
// mutex is held. Nothing here is reachable from the render thread.
#include "host/RunLoop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

struct SourceRecord {
    MorvaneRunLoopPerform perform = nullptr;
    void* info = nullptr;
    unsigned long long passStamp = 0;
    bool busy = false;
    bool removed = false;
    bool removerWaits = false; // a remover on another thread frees the record
    std::thread::id busyOn;
};

std::mutex gLoopMutex;
// Signalled whenever a source's perform or a timer's callout returns.
std::condition_variable gIdle;
std::atomic<unsigned long long> gPassCounter{0};

// Seconds between 1970 and 2001, the platform's reference date.
constexpr double kReferenceDateOffset = 978307200.0;

// Wall time is read from the steady clock and placed on the platform's
// absolute scale once, so a change of the system clock never makes timers
// jump.
double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
double wallOffset() {
    static const double offset = [] {
        const double unixNow =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        return unixNow - kReferenceDateOffset - steadySeconds();
    }();
    return offset;
}
double wallNow() {
    return steadySeconds() + wallOffset();
}

// How often a loop that waits on wall time looks at its work sources: posts
// from the render thread cannot wake it, so it polls.
constexpr double kSourcePollSeconds = 0.004;

// A timer counts as due this close before its date: fire dates built by
// adding intervals and clocks built from sample counts land a rounding error
// either side of the same instant.
constexpr double kFireTolerance = 1.0e-9;

} // namespace

struct __CFRunLoopTimer {
    std::atomic<long> refs{1};
    CFRunLoopTimerCallBack callout = nullptr;
    CFRunLoopTimerContext context{};
    CFTimeInterval interval = 0.0;
    // Guarded by gLoopMutex.
    CFAbsoluteTime nextFire = 0.0;
    bool valid = true;
    __CFRunLoop* loop = nullptr;
    bool firing = false;
    std::thread::id firingOn;
    unsigned long long passStamp = 0;
};

struct __CFRunLoop {
    std::atomic<long> refs{1};
    std::atomic<bool> hostClock{false};
    std::atomic<double> clock{0.0};
    std::atomic<bool> stopRequested{false};
    std::recursive_mutex pumpMutex;
    // Guarded by gLoopMutex.
    std::vector<SourceRecord*> sources;
    std::vector<__CFRunLoopTimer*> timers;
    bool woken = false;
    std::condition_variable wake;

    ~__CFRunLoop() {
        // Timers still on the loop lose it; the loop's references go.
        std::vector<__CFRunLoopTimer*> orphans;
        {
            std::lock_guard<std::mutex> lock(gLoopMutex);
            for (auto* t : timers)
                t->loop = nullptr;
            orphans.swap(timers);
            for (auto* s : sources)
                delete s;
            sources.clear();
        }
        for (auto* t : orphans)
            MorvaneRunLoopTimerRelease(t);
    }
};

namespace {

std::mutex gMainMutex;
__CFRunLoop* gMainLoop = nullptr; // holds its own reference for the whole process

bool onMainThread() {
    return gettid() == getpid();
}

struct ThreadLoop {
    __CFRunLoop* loop = nullptr;
    ~ThreadLoop() {
        if (loop) MorvaneRunLoopRelease(loop);
    }
};
thread_local ThreadLoop tThreadLoop;

double loopTime(const __CFRunLoop* rl) {
    return rl->hostClock.load(std::memory_order_acquire) ? rl->clock.load(std::memory_order_relaxed)
                                                         : wallNow();
}

void wakeLocked(__CFRunLoop* rl) {
    rl->woken = true;
    rl->wake.notify_all();
}

// Next fire date of a repeating timer after it fired at fireDate, skipping
// every date that is already past at now.
double nextFireAfter(double fireDate, double interval, double now) {
    now += kFireTolerance;
    if (now < fireDate) return fireDate + interval;
    const double steps = std::floor((now - fireDate) / interval) + 1.0;
    double next = fireDate + steps * interval;
    if (next <= now) next += interval; // rounding at the boundary
    return next;
}

CFIndex runSources(__CFRunLoop* rl, double now, bool force) {
    CFIndex calls = 0;
    const unsigned long long pass = ++gPassCounter;
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(gLoopMutex);
    for (;;) {
        SourceRecord* next = nullptr;
        for (auto* s : rl->sources) {
            if (!s->busy && !s->removed && s->passStamp != pass) {
                next = s;
                break;
            }
        }
        if (!next) break;
        next->passStamp = pass;
        next->busy = true;
        next->busyOn = self;
        lock.unlock();
        calls += next->perform(next->info, now, force ? TRUE : FALSE);
        lock.lock();
        next->busy = false;
        if (next->removed && !next->removerWaits) {
            // Removed from inside its own perform: the remover left the record to us.
            delete next;
        }
        gIdle.notify_all();
    }
    return calls;
}

CFIndex runTimers(__CFRunLoop* rl, double now) {
    CFIndex calls = 0;
    const unsigned long long pass = ++gPassCounter;
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(gLoopMutex);
    for (;;) {
        __CFRunLoopTimer* due = nullptr;
        for (auto* t : rl->timers) {
            if (t->valid && !t->firing && t->passStamp != pass && t->nextFire <= now + kFireTolerance) {
                if (!due || t->nextFire < due->nextFire) due = t;
            }
        }
        if (!due) break;
        due->passStamp = pass;
        due->firing = true;
        due->firingOn = self;
        due->refs.fetch_add(1, std::memory_order_relaxed);
        bool dropFromLoop = false;
        if (due->interval > 0.0) {
            due->nextFire = nextFireAfter(due->nextFire, due->interval, now);
        } else {
            due->valid = false;
            auto& v = rl->timers;
            v.erase(std::remove(v.begin(), v.end(), due), v.end());
            due->loop = nullptr;
            dropFromLoop = true;
        }
        lock.unlock();
        due->callout(due, due->context.info);
        ++calls;
        lock.lock();
        due->firing = false;
        gIdle.notify_all();
        lock.unlock();
        if (dropFromLoop) MorvaneRunLoopTimerRelease(due);
        MorvaneRunLoopTimerRelease(due);
        lock.lock();
    }
    return calls;
}

CFIndex pump(__CFRunLoop* rl, bool force) {
    if (!rl) return 0;
    std::lock_guard<std::recursive_mutex> pumping(rl->pumpMutex);
    const double now = loopTime(rl);
    CFIndex calls = runSources(rl, now, force);
    calls += runTimers(rl, now);
    return calls;
}

bool hasWorkLocked(const __CFRunLoop* rl) {
    if (!rl->sources.empty()) return true;
    return std::any_of(rl->timers.begin(), rl->timers.end(),
                       [](const __CFRunLoopTimer* t) { return t->valid; });
}

} // namespace

// ---------------------------------------------------------------------------
// Loops

CFRunLoopRef CFRunLoopGetCurrent(void) {
    if (tThreadLoop.loop) return tThreadLoop.loop;
    if (onMainThread()) {
        CFRunLoopRef main = CFRunLoopGetMain();
        tThreadLoop.loop = MorvaneRunLoopRetain(main);
    } else {
        tThreadLoop.loop = new __CFRunLoop();
    }
    return tThreadLoop.loop;
}

CFRunLoopRef CFRunLoopGetMain(void) {
    std::lock_guard<std::mutex> lock(gMainMutex);
    if (!gMainLoop) gMainLoop = new __CFRunLoop();
    return gMainLoop;
}

CFRunLoopRef MorvaneRunLoopCreate(void) {
    return new __CFRunLoop();
}

void MorvaneRunLoopSetCurrent(CFRunLoopRef rl) {
    if (!rl || rl == tThreadLoop.loop) return;
    CFRunLoopRef previous = tThreadLoop.loop;
    tThreadLoop.loop = MorvaneRunLoopRetain(rl);
    if (previous) MorvaneRunLoopRelease(previous);
}

CFRunLoopRef MorvaneRunLoopRetain(CFRunLoopRef rl) {
    if (rl) rl->refs.fetch_add(1, std::memory_order_relaxed);
    return rl;
}

void MorvaneRunLoopRelease(CFRunLoopRef rl) {
    if (rl && rl->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete rl;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
    const __CFRunLoop* rl = tThreadLoop.loop;
    if (rl && rl->hostClock.load(std::memory_order_acquire)) return rl->clock.load(std::memory_order_relaxed);
    return wallNow();
}

void MorvaneRunLoopSetClock(CFRunLoopRef rl, CFAbsoluteTime now) {
    if (!rl) return;
    rl->clock.store(now, std::memory_order_relaxed);
    rl->hostClock.store(true, std::memory_order_release);
}

void MorvaneRunLoopUseWallClock(CFRunLoopRef rl) {
    if (rl) rl->hostClock.store(false, std::memory_order_release);
}

Boolean MorvaneRunLoopHasHostClock(CFRunLoopRef rl) {
    return rl && rl->hostClock.load(std::memory_order_acquire) ? TRUE : FALSE;
}

CFAbsoluteTime MorvaneRunLoopGetTime(CFRunLoopRef rl) {
    return rl ? loopTime(rl) : wallNow();
}

CFIndex MorvaneRunLoopPump(CFRunLoopRef rl) {
    return pump(rl, false);
}

CFIndex MorvaneRunLoopPumpAt(CFRunLoopRef rl, CFAbsoluteTime now) {
    MorvaneRunLoopSetClock(rl, now);
    return pump(rl, false);
}

CFIndex MorvaneRunLoopFlush(CFRunLoopRef rl) {
    return pump(rl, true);
}

SInt32 CFRunLoopRunInMode(CFStringRef, CFTimeInterval seconds, Boolean returnAfterSourceHandled) {
    __CFRunLoop* rl = CFRunLoopGetCurrent();
    if (!(seconds >= 0.0)) seconds = 0.0; // also catches NaN
    const double deadline = wallNow() + std::min(seconds, 1.0e9);
    for (;;) {
        if (rl->stopRequested.exchange(false, std::memory_order_acq_rel)) return kCFRunLoopRunStopped;
        const CFIndex calls = pump(rl, false);
        if (returnAfterSourceHandled && calls > 0) return kCFRunLoopRunHandledSource;
        std::unique_lock<std::mutex> lock(gLoopMutex);
        if (!hasWorkLocked(rl)) return kCFRunLoopRunFinished;
        // A host-set clock only moves when the host moves it: waiting would
        // never make anything due.
        if (rl->hostClock.load(std::memory_order_acquire)) return kCFRunLoopRunTimedOut;
        const double now = wallNow();
        if (now >= deadline) return kCFRunLoopRunTimedOut;
        double wakeAt = deadline;
        for (const auto* t : rl->timers)
            if (t->valid) wakeAt = std::min(wakeAt, t->nextFire);
        if (!rl->sources.empty()) wakeAt = std::min(wakeAt, now + kSourcePollSeconds);
        if (!rl->woken && !rl->stopRequested.load(std::memory_order_acquire) && wakeAt > now) {
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(wakeAt - now));
            rl->wake.wait_until(
                lock, until, [rl] { return rl->woken || rl->stopRequested.load(std::memory_order_acquire); });
        }
        rl->woken = false;
    }
}

void CFRunLoopRun(void) {
    for (;;) {
        const SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0e10, FALSE);
        if (result == kCFRunLoopRunStopped || result == kCFRunLoopRunFinished) return;
    }
}

void CFRunLoopStop(CFRunLoopRef rl) {
    if (!rl) return;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    rl->stopRequested.store(true, std::memory_order_release);
    wakeLocked(rl);
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
    if (!rl) return;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    wakeLocked(rl);
}

// ---------------------------------------------------------------------------
// Timers

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate, CFTimeInterval interval,
                                       CFOptionFlags, CFIndex, CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context) {
    if (!callout) return nullptr;
    auto* t = new __CFRunLoopTimer();
    t->callout = callout;
    if (context) t->context = *context;
    if (t->context.retain && t->context.info)
        t->context.info = const_cast<void*>(t->context.retain(t->context.info));
    t->interval = std::isfinite(interval) && interval > 0.0 ? interval : 0.0;
    t->nextFire = std::isnan(fireDate) ? 0.0 : fireDate;
    return t;
}

CFRunLoopTimerRef MorvaneRunLoopTimerRetain(CFRunLoopTimerRef timer) {
    if (timer) timer->refs.fetch_add(1, std::memory_order_relaxed);
    return timer;
}

void MorvaneRunLoopTimerRelease(CFRunLoopTimerRef timer) {
    if (!timer || timer->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (timer->context.release && timer->context.info) timer->context.release(timer->context.info);
    delete timer;
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef) {
    if (!rl || !timer) return;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    if (!timer->valid || timer->loop) return;
    timer->loop = rl;
    rl->timers.push_back(timer);
    timer->refs.fetch_add(1, std::memory_order_relaxed);
    wakeLocked(rl);
}

namespace {
// Takes timer off its loop; returns true when the loop's reference must be dropped.
bool detachTimerLocked(__CFRunLoopTimer* timer) {
    __CFRunLoop* rl = timer->loop;
    if (!rl) return false;
    auto& v = rl->timers;
    v.erase(std::remove(v.begin(), v.end(), timer), v.end());
    timer->loop = nullptr;
    return true;
}
} // namespace

void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef) {
    if (!rl || !timer) return;
    bool drop = false;
    {
        std::lock_guard<std::mutex> lock(gLoopMutex);
        if (timer->loop == rl) drop = detachTimerLocked(timer);
    }
    if (drop) MorvaneRunLoopTimerRelease(timer);
}

Boolean CFRunLoopContainsTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef) {
    if (!rl || !timer) return FALSE;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    return timer->loop == rl ? TRUE : FALSE;
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer) {
    if (!timer) return;
    bool drop = false;
    {
        std::unique_lock<std::mutex> lock(gLoopMutex);
        timer->valid = false;
        drop = detachTimerLocked(timer);
        const auto self = std::this_thread::get_id();
        gIdle.wait(lock, [timer, self] { return !timer->firing || timer->firingOn == self; });
    }
    if (drop) MorvaneRunLoopTimerRelease(timer);
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer) {
    if (!timer) return FALSE;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    return timer->valid ? TRUE : FALSE;
}

CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer) {
    if (!timer) return 0.0;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    return timer->nextFire;
}

void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate) {
    if (!timer || std::isnan(fireDate)) return;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    timer->nextFire = fireDate;
    if (timer->loop) wakeLocked(timer->loop);
}

CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timer) {
    return timer ? timer->interval : 0.0;
}

Boolean CFRunLoopTimerDoesRepeat(CFRunLoopTimerRef timer) {
    return timer && timer->interval > 0.0 ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------
// Work sources

void MorvaneRunLoopAddSource(CFRunLoopRef rl, MorvaneRunLoopPerform perform, void* info) {
    if (!rl || !perform) return;
    auto* record = new SourceRecord();
    record->perform = perform;
    record->info = info;
    std::lock_guard<std::mutex> lock(gLoopMutex);
    rl->sources.push_back(record);
    wakeLocked(rl);
}

Boolean MorvaneRunLoopRemoveSource(CFRunLoopRef rl, void* info) {
    if (!rl) return FALSE;
    std::unique_lock<std::mutex> lock(gLoopMutex);
    auto& v = rl->sources;
    auto it = std::find_if(v.begin(), v.end(), [info](const SourceRecord* s) { return s->info == info; });
    if (it == v.end()) return FALSE;
    SourceRecord* record = *it;
    v.erase(it);
    record->removed = true;
    if (!record->busy) {
        delete record;
        return FALSE;
    }
    if (record->busyOn == std::this_thread::get_id()) return TRUE; // the pump deletes it
    // Another thread is inside perform: wait for it, then free the record.
    record->removerWaits = true;
    gIdle.wait(lock, [record] { return !record->busy; });
    delete record;
    return FALSE;
}

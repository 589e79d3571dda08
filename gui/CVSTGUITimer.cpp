#include "gui/CVSTGUITimer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <poll.h>

namespace VSTGUI {

namespace {

bool notBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) >= 0;
}

} // namespace

CVSTGUITimer::CVSTGUITimer(CBaseObject* timerTarget, int periodMs)
    : target(timerTarget), period(std::max(1, periodMs)) {}

CVSTGUITimer::~CVSTGUITimer() {
    stop();
}

bool CVSTGUITimer::start() {
    if (running) return true;
    running = true;
    nextFire = UIEventLoop::get().getTicks() + static_cast<uint32_t>(period);
    UIEventLoop::get().addTimer(this);
    return true;
}

bool CVSTGUITimer::stop() {
    if (!running) return true;
    running = false;
    UIEventLoop::get().removeTimer(this);
    return true;
}

UIEventLoop& UIEventLoop::get() {
    static UIEventLoop loop;
    return loop;
}

uint32_t UIEventLoop::getTicks() const {
    if (testClock) return testNow;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void UIEventLoop::useTestClock(uint32_t nowMs) {
    testClock = true;
    testNow = nowMs;
}

void UIEventLoop::useSystemClock() {
    testClock = false;
}

void UIEventLoop::addTimer(CVSTGUITimer* timer) {
    timers.push_back(timer);
}

void UIEventLoop::removeTimer(CVSTGUITimer* timer) {
    std::erase(timers, timer);
}

void UIEventLoop::addEventSource(EventSource* source) {
    sources.push_back(source);
}

void UIEventLoop::removeEventSource(EventSource* source) {
    std::erase(sources, source);
}

int UIEventLoop::fireDue(uint32_t now) {
    int fired = 0;
    // A callout may start, stop or destroy timers: work on a copy and skip
    // those no longer on the loop.
    const std::vector<CVSTGUITimer*> snapshot = timers;
    for (CVSTGUITimer* timer : snapshot) {
        if (std::find(timers.begin(), timers.end(), timer) == timers.end()) continue;
        if (!notBefore(now, timer->nextFire)) continue;
        timer->nextFire += static_cast<uint32_t>(timer->period);
        if (notBefore(now, timer->nextFire)) timer->nextFire = now + static_cast<uint32_t>(timer->period);
        ++fired;
        if (timer->target) timer->target->notify(timer, CVSTGUITimer::kMsgTimer);
    }
    return fired;
}

bool UIEventLoop::nextDue(uint32_t& when) const {
    bool any = false;
    for (const CVSTGUITimer* timer : timers) {
        if (!any || static_cast<int32_t>(timer->nextFire - when) < 0) when = timer->nextFire;
        any = true;
    }
    return any;
}

void UIEventLoop::processSources() {
    const std::vector<EventSource*> snapshot = sources;
    for (EventSource* source : snapshot)
        if (std::find(sources.begin(), sources.end(), source) != sources.end()) source->processEvents();
}

int UIEventLoop::runDue() {
    processSources();
    return fireDue(getTicks());
}

void UIEventLoop::run(double seconds) {
    const uint32_t span = static_cast<uint32_t>(std::lround(std::max(0.0, seconds) * 1000.0));
    if (testClock) {
        const uint32_t end = testNow + span;
        processSources();
        uint32_t due = 0;
        while (nextDue(due) && notBefore(end, due)) {
            if (notBefore(due, testNow)) testNow = due;
            fireDue(testNow);
        }
        testNow = end;
        fireDue(testNow);
        return;
    }
    const uint32_t end = getTicks() + span;
    for (;;) {
        processSources();
        uint32_t now = getTicks();
        fireDue(now);
        now = getTicks();
        if (notBefore(now, end)) return;
        uint32_t wake = end;
        uint32_t due = 0;
        if (nextDue(due) && static_cast<int32_t>(due - wake) < 0) wake = due;
        const int32_t wait = std::max<int32_t>(0, static_cast<int32_t>(wake - now));
        std::vector<pollfd> fds;
        for (const EventSource* source : sources)
            fds.push_back({source->getFileDescriptor(), POLLIN, 0});
        poll(fds.data(), fds.size(), wait);
    }
}

} // namespace VSTGUI

// Timers and the user-interface event loop they run on.
//
// The loop is the process's user-interface thread's: it reads the X11
// windows' events and fires due timers while someone runs it (an editor's
// idle throttling, a standalone window's main loop, an LV2 host's idle call).
// Its clock is the system's monotonic clock in milliseconds or, for tests, a
// test clock that moves only when told to.
#pragma once

#include <cstdint>
#include <vector>

#include "gui/CBaseObject.h"

namespace VSTGUI {

class CVSTGUITimer : public CBaseObject {
  public:
    // The message a timer sends its target.
    static constexpr char kMsgTimer[] = "timer fired";

    // User-interface thread: a stopped timer that will call target's notify
    // every periodMs milliseconds once started. The target is not owned.
    CVSTGUITimer(CBaseObject* target, int periodMs);
    // User-interface thread: stops the timer.
    ~CVSTGUITimer() override;

    // User-interface thread: the first call comes one period after start;
    // periods missed while the loop did not run are skipped, not replayed.
    bool start();
    bool stop();
    bool isRunning() const { return running; }
    int getFireTime() const { return period; }

  private:
    friend class UIEventLoop;
    CBaseObject* target;
    int period;
    uint32_t nextFire = 0;
    bool running = false;
};

class UIEventLoop {
  public:
    // Something with a file descriptor whose events the loop reads (an X11
    // display connection).
    class EventSource {
      public:
        virtual ~EventSource() = default;
        virtual int getFileDescriptor() const = 0;
        // Handles every event that has arrived, without waiting.
        virtual void processEvents() = 0;
    };

    // The process's loop; every operation belongs to the user-interface thread.
    static UIEventLoop& get();

    // Milliseconds on the loop's clock (wrapping after 49 days: compare
    // differences as signed 32-bit numbers).
    uint32_t getTicks() const;
    // Switches to a test clock reading nowMs; from then on time moves only
    // through run / advance. useSystemClock returns to the monotonic clock.
    void useTestClock(uint32_t nowMs);
    void useSystemClock();
    bool hasTestClock() const { return testClock; }

    // Runs the loop for seconds: events as they arrive and timers as they
    // fall due. With the test clock the time moves on by seconds at once,
    // each timer firing at its due times in order.
    void run(double seconds);
    // Handles what has arrived and what is due now, without waiting; returns
    // how many timers fired.
    int runDue();

    void addEventSource(EventSource* source);
    void removeEventSource(EventSource* source);

  private:
    friend class CVSTGUITimer;
    UIEventLoop() = default;
    void addTimer(CVSTGUITimer* timer);
    void removeTimer(CVSTGUITimer* timer);
    int fireDue(uint32_t now);
    void processSources();
    bool nextDue(uint32_t& when) const;

    std::vector<CVSTGUITimer*> timers;
    std::vector<EventSource*> sources;
    bool testClock = false;
    uint32_t testNow = 0;
};

} // namespace VSTGUI

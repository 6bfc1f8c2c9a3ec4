#pragma once
// How a monitor run keeps time. The run paces every sample against an absolute schedule
// (start + k x period), so that the schedule never drifts whatever a sample costs; a sample
// that comes too late is counted and never made up by samples taken back to back.
//
// FineClock is the monotonic clock in microseconds with a sleep to an absolute deadline.
// RunPacer is the wait between two samples: the window's events go through meanwhile (the
// Stop button, the RUN/STOP keys, repaints), and a handler that ran may end the wait early.
// EventLoopPacer waits in the event dispatcher's poll, woken by a precise timer a little
// before the deadline, and sleeps the last stretch to the deadline itself; it never spins.
// Tests drive a run with a pacer of their own that moves virtual time.
#include "platform/Clock.h"

#include <QtGlobal>

class QEventLoop;

class FineClock {
public:
    virtual ~FineClock() = default;
    // Monotonic microseconds.
    virtual qint64 nowMicros() const = 0;
    // Sleeps until the monotonic time `deadlineMicros` (at once when it has passed) or, when
    // fd >= 0, until fd has a byte to read. True when the byte woke it.
    virtual bool sleepUntil(qint64 deadlineMicros, int fd = -1) = 0;
};

// The program's clock (platform/Clock: CLOCK_MONOTONIC, an absolute clock_nanosleep); a wait
// that also watches a descriptor is a ppoll against it.
class SystemFineClock final : public FineClock {
public:
    explicit SystemFineClock(Clock& clock = systemClock()) : clock_(clock) {}
    qint64 nowMicros() const override;
    bool sleepUntil(qint64 deadlineMicros, int fd = -1) override;

private:
    Clock& clock_;
};

class RunPacer {
public:
    enum class Wake {
        Deadline,    // the deadline has come
        Interrupted, // interrupt() was called by a handler that ran during the wait
        Quit,        // the application is quitting: the run must end
    };

    virtual ~RunPacer() = default;
    virtual qint64 nowMicros() const = 0;
    // Lets pending events through (at least once, also when the deadline has passed) and
    // waits until the deadline.
    virtual Wake waitUntil(qint64 deadlineMicros) = 0;
    // Ends a wait in progress; the next wait is not affected.
    virtual void interrupt() = 0;
    // Lets pending events through once without waiting: between the exchanges of a sample, so
    // that Stop and the keys wait for one exchange at most.
    virtual void serveEvents() {}
};

class EventLoopPacer final : public RunPacer {
public:
    // The last stretch before a deadline is slept, not waited for in the dispatcher: a timer
    // of the event loop wakes to the millisecond at best.
    static constexpr qint64 kSleepTailMicros = 2000;
    // A poll of t microseconds may return up to t / 1000 late (twice that is allowed for).
    static constexpr qint64 kPollSlackDivisor = 500;

    explicit EventLoopPacer(FineClock& clock) : clock_(clock) {}
    qint64 nowMicros() const override { return clock_.nowMicros(); }
    Wake waitUntil(qint64 deadlineMicros) override;
    void interrupt() override;
    void serveEvents() override;

private:
    FineClock& clock_;
    QEventLoop* loop_ = nullptr;
    bool interrupted_ = false;
};

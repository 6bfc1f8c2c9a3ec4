#pragma once
// The tick counter and the fine clock. Loops that wait take a Clock, so tests run time-outs
// without waiting.
#include <QtGlobal>

class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 now() const = 0;   // monotonic milliseconds
    virtual void sleepMs(int ms) = 0; // waits; a fake clock just advances
    // The same monotonic clock in microseconds, for waits that a millisecond tick would
    // round up by most of a tick.
    virtual qint64 nowUs() const = 0;
    // Sleeps until the clock reads deadlineUs (at once when it has passed); a fake clock
    // just advances to it.
    virtual void sleepUntilUs(qint64 deadlineUs) = 0;
};

class SystemClock : public Clock {
public:
    qint64 now() const override;
    void sleepMs(int ms) override;
    qint64 nowUs() const override;
    // An absolute deadline: a signal or a late wake-up never adds to the wait.
    void sleepUntilUs(qint64 deadlineUs) override;
};

// Always advances only when told to (or by a sleep).
class ManualClock : public Clock {
public:
    qint64 now() const override { return nowUs_ / 1000; }
    void sleepMs(int ms) override { nowUs_ += qint64(ms) * 1000; }
    qint64 nowUs() const override { return nowUs_; }
    void sleepUntilUs(qint64 deadlineUs) override {
        ++sleeps_;
        if (deadlineUs > nowUs_)
            nowUs_ = deadlineUs;
    }
    void advance(qint64 ms) { nowUs_ += ms * 1000; }
    void advanceUs(qint64 us) { nowUs_ += us; }
    // Calls of sleepUntilUs so far.
    int deadlineSleeps() const { return sleeps_; }

private:
    qint64 nowUs_ = 1000 * 1000;
    int sleeps_ = 0;
};

Clock& systemClock();
// The monotonic tick count in milliseconds of the system clock.
qint64 TickCount();

#pragma once
// The tick counter. Loops that wait take a Clock, so tests run time-outs without waiting.
#include <QtGlobal>

class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 now() const = 0;   // monotonic milliseconds
    virtual void sleepMs(int ms) = 0; // waits; a fake clock just advances
};

class SystemClock : public Clock {
public:
    qint64 now() const override;
    void sleepMs(int ms) override;
};

// Always advances only when told to (or by sleepMs).
class ManualClock : public Clock {
public:
    qint64 now() const override { return now_; }
    void sleepMs(int ms) override { now_ += ms; }
    void advance(qint64 ms) { now_ += ms; }

private:
    qint64 now_ = 1000;
};

Clock& systemClock();
// The monotonic tick count in milliseconds of the system clock.
qint64 TickCount();

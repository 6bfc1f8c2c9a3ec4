#pragma once
// A monitor run's pacer in virtual time: a wait moves the clock straight to its deadline, so
// a run of thousands of samples takes no time, and what a handler would do while the run
// waits (Stop, a key, a drive that trips) is scripted in onWait. Time a sample costs is added
// with advance() (from the link's responder, say).
#include "monitor/RunPacing.h"

#include <algorithm>
#include <functional>
#include <vector>

class FakeRunPacer : public RunPacer {
public:
    qint64 nowMicros() const override { return now; }

    Wake waitUntil(qint64 deadlineMicros) override {
        ++waits;
        deadlines.push_back(deadlineMicros);
        interrupted_ = false;
        if (onWait)
            onWait(waits);
        if (quit)
            return Wake::Quit;
        if (interrupted_)
            return Wake::Interrupted;
        now = std::max(now, deadlineMicros);
        return Wake::Deadline;
    }
    void interrupt() override { interrupted_ = true; }
    void serveEvents() override {
        ++serves;
        if (onServe)
            onServe(serves);
    }

    void advance(qint64 micros) { now += micros; }

    qint64 now = 5'000'000;
    int waits = 0;
    std::vector<qint64> deadlines;
    bool quit = false;
    // Called at the start of each wait with the number of waits so far (1 for the first).
    std::function<void(int wait)> onWait;
    // Called when the run lets events through between two exchanges (1 for the first).
    int serves = 0;
    std::function<void(int serve)> onServe;

private:
    bool interrupted_ = false;
};

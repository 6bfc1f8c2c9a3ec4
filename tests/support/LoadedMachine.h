#pragma once
// Room for a loaded machine (a small CI machine, a sanitizer build): no test's answer may
// depend on how fast the machine is.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// A bound that only a hang reaches.
constexpr int kLoadedMachineMs = 60000;
// The reply time for exchanges with the simulated drive that should succeed: the longest a user
// can set. Only silence waits it out.
constexpr int kLoadedReplyMs = 5000;
// The same for tests that wait out silence or faults many times (after a fault the link waits a
// whole reply time for the line to fall quiet): shorter, still far beyond a loaded machine's delay.
constexpr int kLoadedReplyShortMs = 2000;

// Waits for something another process, a window manager or the event loop brings about,
// processing events until the condition holds.
template <typename F> bool waitUntil(F condition, int boundMs = kLoadedMachineMs) {
    const QDeadlineTimer deadline(boundMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

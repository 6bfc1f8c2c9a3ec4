#include "platform/PumpEvents.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace {
int pumpDepth = 0;
} // namespace

bool PumpEvents() {
    if (pumpDepth > 0)
        return false;
    if (!QCoreApplication::instance())
        return true;
    ++pumpDepth;
    QCoreApplication::processEvents();
    --pumpDepth;
    return true;
}

ServedWait WaitReadableServingWindows(int fd, int timeoutMs) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread() || fd < 0)
        return ServedWait::NotServed;
    QEventLoop loop;
    ServedWait outcome = ServedWait::NotServed;
    QSocketNotifier readable(qintptr(fd), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        outcome = ServedWait::Readable;
        readable.setEnabled(false);
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (outcome == ServedWait::NotServed)
            outcome = ServedWait::TimedOut;
        loop.quit();
    });
    timer.start(std::max(timeoutMs, 0));
    // A loop asked to end by the application's quit returns at once: NotServed then.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return outcome;
}

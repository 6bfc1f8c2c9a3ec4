#include "monitor/RunPacing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <time.h>

namespace {

constexpr qint64 kMicrosPerSecond = 1000000;

timespec toTimespec(qint64 micros) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(micros / kMicrosPerSecond);
    ts.tv_nsec = static_cast<long>((micros % kMicrosPerSecond) * 1000);
    return ts;
}

} // namespace

qint64 SystemFineClock::nowMicros() const {
    return clock_.nowUs();
}

bool SystemFineClock::sleepUntil(qint64 deadlineMicros, int fd) {
    if (fd < 0) {
        clock_.sleepUntilUs(deadlineMicros);
        return false;
    }
    for (;;) {
        const qint64 left = deadlineMicros - nowMicros();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const timespec timeout = toTimespec(left);
        const int n = ppoll(&p, 1, &timeout, nullptr);
        if (n > 0 && (p.revents & POLLIN))
            return true;
        if (n > 0) // the descriptor failed or hung up: nothing will come, so sleep out the rest
            return sleepUntil(deadlineMicros);
        if (n < 0 && errno != EINTR)
            return sleepUntil(deadlineMicros);
    }
}

RunPacer::Wake EventLoopPacer::waitUntil(qint64 deadlineMicros) {
    interrupted_ = false;
    bool dispatched = false;
    for (;;) {
        if (interrupted_)
            return Wake::Interrupted;
        const qint64 left = deadlineMicros - clock_.nowMicros();
        // A timer of less than a millisecond would only let the loop turn round: sleep instead.
        if (left < kSleepTailMicros + 1000)
            break;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        bool timedOut = false;
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        // The kernel lets a long wait in the dispatcher's poll end late by a thousandth of it (6 ms
        // of a 6 s period): such a wait aims that much earlier, and the loop waits out the rest.
        timer.start(int((left - kSleepTailMicros - left / kPollSlackDivisor) / 1000));
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
        dispatched = true;
        // Neither the timer nor a handler ended it: the application is leaving its loops, and
        // a new loop would return at once for ever.
        if (!timedOut && !interrupted_)
            return Wake::Quit;
    }
    if (!dispatched)
        QCoreApplication::processEvents();
    if (interrupted_)
        return Wake::Interrupted;
    clock_.sleepUntil(deadlineMicros);
    return Wake::Deadline;
}

void EventLoopPacer::interrupt() {
    interrupted_ = true;
    if (loop_)
        loop_->quit();
}

void EventLoopPacer::serveEvents() {
    QCoreApplication::processEvents();
}

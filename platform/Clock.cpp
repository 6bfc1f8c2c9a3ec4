#include "platform/Clock.h"

#include <cerrno>
#include <ctime>
#include <sys/prctl.h>

qint64 SystemClock::now() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SystemClock::sleepMs(int ms) {
    if (ms <= 0)
        return;
    timespec ts{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    // A signal cuts the sleep short; go on sleeping for what is left.
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

qint64 SystemClock::nowUs() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void SystemClock::sleepUntilUs(qint64 deadlineUs) {
    if (deadlineUs <= nowUs())
        return;
    // The kernel may otherwise add 50 us of slack to every wake-up of this thread, as much as
    // the whole margin such a wait allows.
    thread_local const bool fineSlack = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)fineSlack;
    const timespec ts{static_cast<time_t>(deadlineUs / 1000000),
                      static_cast<long>(deadlineUs % 1000000) * 1000L};
    // The deadline is absolute: an interrupted sleep simply sleeps again to the same point.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

qint64 TickCount() {
    return systemClock().now();
}

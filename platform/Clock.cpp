#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

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

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

qint64 TickCount() {
    return systemClock().now();
}

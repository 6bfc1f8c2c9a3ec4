// The run's clock and wait on the real system: the sleep ends at its absolute deadline (or
// when a descriptor has a byte), and the wait lets events through and can be ended early.
#include "monitor/RunPacing.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(RunPacing, TheSleepEndsAtItsDeadlineOrWhenTheDescriptorHasAByte) {
    SystemFineClock clock;
    const qint64 t0 = clock.nowMicros();
    EXPECT_FALSE(clock.sleepUntil(t0 + 20000));
    EXPECT_GE(clock.nowMicros(), t0 + 20000);
    // A deadline in the past returns at once.
    EXPECT_FALSE(clock.sleepUntil(t0));

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const qint64 t1 = clock.nowMicros();
    EXPECT_FALSE(clock.sleepUntil(t1 + 10000, fds[0])); // nothing to read: the deadline
    EXPECT_GE(clock.nowMicros(), t1 + 10000);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_TRUE(clock.sleepUntil(clock.nowMicros() + 10'000'000, fds[0]));
    close(fds[0]);
    close(fds[1]);
}

TEST(RunPacing, TheWaitLetsEventsThroughAndAHandlerCanEndIt) {
    SystemFineClock clock;
    EventLoopPacer pacer(clock);
    bool handled = false;
    QTimer::singleShot(5, [&] { handled = true; });
    const qint64 deadline = clock.nowMicros() + 40000;
    EXPECT_EQ(pacer.waitUntil(deadline), RunPacer::Wake::Deadline);
    EXPECT_TRUE(handled);
    EXPECT_GE(clock.nowMicros(), deadline);

    // Events waiting when the deadline has already passed still get through once.
    handled = false;
    QTimer::singleShot(0, [&] { handled = true; });
    EXPECT_EQ(pacer.waitUntil(clock.nowMicros() - 1000), RunPacer::Wake::Deadline);
    EXPECT_TRUE(handled);

    // A handler ends the wait long before its deadline; the next wait is not affected.
    QTimer::singleShot(5, [&] { pacer.interrupt(); });
    const qint64 far = clock.nowMicros() + 10'000'000;
    EXPECT_EQ(pacer.waitUntil(far), RunPacer::Wake::Interrupted);
    EXPECT_LT(clock.nowMicros(), far);
    const qint64 near = clock.nowMicros() + 10000;
    EXPECT_EQ(pacer.waitUntil(near), RunPacer::Wake::Deadline);
}

} // namespace

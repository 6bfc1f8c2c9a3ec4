#include "platform/PumpEvents.h"
#include "platform/CommandGuard.h"
#include "platform/InstanceLock.h"
#include "platform/WaitCursor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TEST(PumpEvents, LetsPendingEventsThroughButNotFromInsideItself) {
    int ran = 0;
    int innerResult = -1;
    QTimer::singleShot(0, [&] {
        ++ran;
        // A second pump from inside the first processes nothing and says so.
        int innerRan = 0;
        QTimer::singleShot(0, [&] { ++innerRan; });
        innerResult = PumpEvents() ? 1 : 0;
        EXPECT_EQ(innerRan, 0);
    });
    // The timer fires on the next pass of the event loop; let it through a few times.
    for (int i = 0; i < 5 && ran == 0; ++i)
        EXPECT_TRUE(PumpEvents());
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(innerResult, 0);
    // The event posted inside was kept and goes through on the next pump.
    EXPECT_TRUE(PumpEvents());
}

TEST(CommandGuard, SecondGuardOfARunningCommandIsBusyUntilTheFirstEnds) {
    // Commands are told apart by name, not by the pointer of their text.
    const char first[] = "Open";
    const char second[] = "Open";
    {
        CommandGuard outer(first);
        EXPECT_FALSE(outer.busy());
        EXPECT_TRUE(CommandGuard::running("Open"));
        {
            CommandGuard inner(second);
            EXPECT_TRUE(inner.busy());
            CommandGuard other("Save");
            EXPECT_FALSE(other.busy());
        }
        // The busy inner guard's end does not release the outer one.
        EXPECT_TRUE(CommandGuard::running("Open"));
        EXPECT_FALSE(CommandGuard::running("Save"));
    }
    EXPECT_FALSE(CommandGuard::running("Open"));
    CommandGuard again("Open");
    EXPECT_FALSE(again.busy());
}

TEST(WaitCursor, RestoresTheCursorOnEveryWayOut) {
    ASSERT_NE(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    auto work = [](bool early) {
        WaitCursor wait;
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        if (early)
            return 1;
        { WaitCursor nested; }
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        return 2;
    };
    work(true);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    work(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

class InstanceLockTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    void SetUp() override { qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit()); }
    void TearDown() override {
        if (savedRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }
};

TEST_F(InstanceLockTest, LivesInTheRuntimeFolderElseInTmpPerUser) {
    EXPECT_EQ(InstanceLock::lockPath("KVR260X"), runtime.path() + "/KVR260X.lock");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLock::lockPath("KVR260X"), QStringLiteral("/tmp/KVR260X-%1.lock").arg(getuid()));
}

TEST_F(InstanceLockTest, SecondLockFailsWhileTheFirstIsHeld) {
    const QString name = "KVR260X";
    InstanceLock first;
    ASSERT_TRUE(first.tryLock(name));
    EXPECT_TRUE(first.locked());

    // Another open of the file (another process would do the same) cannot take it.
    InstanceLock second;
    EXPECT_FALSE(second.tryLock(name));
    EXPECT_FALSE(second.locked());

    first.unlock();
    EXPECT_TRUE(second.tryLock(name));
}

TEST_F(InstanceLockTest, LockHeldByAnotherOpenFileIsRefused) {
    const QByteArray path = QFile::encodeName(InstanceLock::lockPath("KVR260X"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    InstanceLock lock;
    EXPECT_FALSE(lock.tryLock("KVR260X"));
    ::close(fd); // the kernel releases the lock with the last descriptor
    EXPECT_TRUE(lock.tryLock("KVR260X"));
}

} // namespace

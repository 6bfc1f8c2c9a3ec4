// The program started on a port with nothing behind it (a pseudo-terminal nobody reads): its
// windows appear and switch without ever waiting for the drive, and the "no drive" answer is
// kept until the user asks again.
#include "shell/StartUpFixture.h"
#include "support/DeafLine.h"

#include "link/CommLink.h"
#include "platform/SerialPort.h"
#include "support/LoadedMachine.h"
#include "ui/ParameterTableWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The termios port, counting the waits for input that could block and the requests written.
class WatchedPort : public TermiosSerialPort {
public:
    int blockingWaits = 0;
    int writes = 0;
    WaitResult waitReadable(int timeoutMs) override {
        if (timeoutMs > 0)
            ++blockingWaits;
        return TermiosSerialPort::waitReadable(timeoutMs);
    }
    int write(std::span<const std::uint8_t> data) override {
        ++writes;
        return TermiosSerialPort::write(data);
    }
};

class NoDrive : public StartUpTestBase {
protected:
    void SetUp() override {
        ASSERT_FALSE(line.path.isEmpty()) << "no pseudo-terminal";
        folder.writeFile(QStringLiteral("KVR260X.ini"),
                         "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Ports]\r\nCOM1=" + line.path.toUtf8() +
                             "\r\n");
        kvr = folder.writeFile(
            QStringLiteral("p.kvr"),
            "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0\r\n0002,75,0,0\r\n");
    }
    static void activate(QWidget* w) {
        QEvent e(QEvent::WindowActivate);
        QCoreApplication::sendEvent(w, &e);
        QCoreApplication::processEvents();
    }

    DeafLine line;
    WatchedPort port;
    QString kvr;
};

TEST_F(NoDrive, TheWindowsAppearAndSwitchWithoutWaitingAndTheAnswerIsKept) {
    ::StartUp::Program program(::StartUp::Environment{QDir::tempPath(), folder.path(), kvr}, &port);
    ASSERT_TRUE(program.create());
    program.showMain();
    QCoreApplication::processEvents();
    CommLink& link = *program.link();
    EXPECT_TRUE(link.PortOpen());
    EXPECT_EQ(port.blockingWaits, 0) << "the first show waited for the drive";
    EXPECT_EQ(port.writes, 1) << "one probe, in the background";

    // The probe's time-out comes from the event loop, and so does its second try (a sync first,
    // since the drive might still owe the first probe's reply).
    constexpr int kConnectWrites = 2;
    ASSERT_TRUE(waitUntil([&] { return !link.backgroundPending(); }));
    EXPECT_EQ(port.blockingWaits, 0);
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_FALSE(program.main()->driveCommandRequested(DriveCommand::Import));
    EXPECT_EQ(link.keptConnection(), std::optional<bool>(false));

    // Switching between the windows takes the kept answer: no probe, no wait.
    for (int k = 0; k < 3; ++k) {
        activate(program.table());
        activate(program.main());
    }
    EXPECT_EQ(port.writes, kConnectWrites);
    EXPECT_EQ(port.blockingWaits, 0);
    EXPECT_FALSE(program.main()->driveCommandRequested(DriveCommand::Import));

    // New settings end the kept answer: the next activation probes again, in the background.
    link.setReplyTimeout(300);
    activate(program.table());
    EXPECT_EQ(port.writes, kConnectWrites + 1);
    EXPECT_TRUE(link.backgroundPending());
    EXPECT_EQ(port.blockingWaits, 0);
    // The user asking waits for that connect rather than making another.
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_EQ(port.writes, 2 * kConnectWrites);
    EXPECT_TRUE(program.main()->close());
}

} // namespace

// The termios port on a real pseudo-terminal pair with a small responder on the master side,
// and the mapping of "COMn" names to device paths.
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "support/LoadedMachine.h"

#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/SerialPort.h"
#include "support/InstalledAsker.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Serves the master side of a pty: collects request bytes until `reply` takes them (nullopt:
// wait for more), then writes its answer (nothing for an empty one).
class PtyResponder {
public:
    using ReplyFn = std::function<std::optional<Bytes>(const Bytes& request)>;

    explicit PtyResponder(ReplyFn reply) : reply_(std::move(reply)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slavePath_ = QString::fromLocal8Bit(ptsname(master_));
        // Held open so that the master never sees a hang-up between the link's opens.
        keeper_ = ::open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }
    ~PtyResponder() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (keeper_ >= 0)
            ::close(keeper_);
        if (master_ >= 0)
            ::close(master_);
    }
    bool ok() const { return keeper_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int requests() const { return requests_; }

private:
    void run() {
        Bytes pending;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
                continue;
            std::uint8_t buf[64];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                continue;
            pending.insert(pending.end(), buf, buf + n);
            const std::optional<Bytes> answer = reply_(pending);
            if (answer) {
                ++requests_;
                pending.clear();
                if (!answer->empty() && ::write(master_, answer->data(), answer->size()) < 0)
                    return;
            }
        }
    }

    ReplyFn reply_;
    int master_ = -1;
    int keeper_ = -1;
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
};

// Answers a read of "0000" in either protocol with 0x1234 and echoes MODBUS writes; other
// complete requests get no answer.
std::optional<Bytes> driveReply(const Bytes& rq) {
    const std::size_t need = rq.empty() || rq[0] == kInverterStart ? 5 : 8;
    if (rq.size() < need)
        return std::nullopt;
    if (rq == Bytes{0x2F, 0x52, 0x00, 0x00, 0x81})
        return Bytes{0x2F, 0x52, 0x00, 0x00, 0x12, 0x34, 0xC7};
    if (rq.size() == 8 && rq[0] == kDefaultModbusAddress && Crc16Modbus(rq) == 0) {
        if (rq[1] == kModbusWrite)
            return rq;
        Bytes r{rq[0], kModbusRead, 2, 0x12, 0x34};
        AppendCrc(r);
        return r;
    }
    return Bytes{};
}

class PtyLink : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(drive.ok());
        link.setPortPathResolver([this](const QString&) { return drive.slavePath(); });
        link.setPortsFound({QStringLiteral("COM1")});
        link.setReplyTimeout(kLoadedReplyMs);
    }
    PtyResponder drive{driveReply};
    TermiosSerialPort port;
    ProgramContext context;
    CommLink link{context, port, systemClock(), installedAsker()};
};

TEST_F(PtyLink, BothProtocolsExchangeOverTheTermiosPort) {
    ASSERT_EQ(link.OpenCommPort(), 0);
    ExchangeResult r = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 0x1234u);

    link.updateSettings([&](LinkSettings& s) {
        s.protocol = 1;

        s.parityIndex = 0;
    });
    ASSERT_EQ(link.OpenCommPort(), 0);
    r = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 0x1234u);
    r = link.exchange(link.request("FB91", 'P', -2), link.mainOptions());
    EXPECT_FALSE(r.error) << int(r.failure);
    EXPECT_EQ(r.value, 0xFFFEu);
}

TEST_F(PtyLink, SilentDriveTimesOutAndTheNextExchangeStillWorks) {
    ASSERT_EQ(link.OpenCommPort(), 0);
    link.setReplyTimeout(30);
    ExchangeResult r = link.exchange(link.request("0001", 'R'), link.mainOptions());
    EXPECT_EQ(r.failure, ExchangeFailure::ReplyTimeout);
    link.setReplyTimeout(kLoadedReplyMs);
    r = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_FALSE(r.error);
}

TEST_F(PtyLink, PortIsOpenedExclusivelyAndReleasedOnClose) {
    ASSERT_EQ(link.OpenCommPort(), 0);
    TermiosSerialPort other;
    if (geteuid() != 0) { // the super-user passes TIOCEXCL
        EXPECT_EQ(other.open(drive.slavePath(), 9600, 8, SerialParity::Even, SerialStopBits::One),
                  SerialError::Busy);
    }
    link.closePort();
    EXPECT_EQ(other.open(drive.slavePath(), 9600, 8, SerialParity::Even, SerialStopBits::One),
              SerialError::None);
    EXPECT_EQ(other.outputQueued(), 0);
    EXPECT_TRUE(other.drain(100));
    other.setRts(true); // refused by a pty, silently
    EXPECT_TRUE(other.isOpen());
}

TEST_F(PtyLink, APseudoTerminalIsAskedForItsModemLinesOnceAtTheOpen) {
    ASSERT_EQ(link.OpenCommPort(), 0);
    EXPECT_TRUE(port.noModemLines());
    EXPECT_TRUE(port.drain(0)); // nothing to wait for
    link.closePort();
    EXPECT_FALSE(port.noModemLines());
}

TEST_F(PtyLink, ABackgroundConnectReturnsAtOnceAndTakesItsAnswerFromTheEventLoop) {
    int calls = 0;
    bool connected = false;
    link.ConnectDriveInBackground([&](bool ok) {
        ++calls;
        connected = ok;
    });
    EXPECT_TRUE(link.backgroundPending());
    EXPECT_EQ(calls, 0);
    waitUntil([&] { return calls > 0; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(connected);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(link.keptConnection(), std::optional<bool>(true));
    // Other settings: the kept answer no longer holds.
    link.setReplyTimeout(500);
    EXPECT_EQ(link.keptConnection(), std::nullopt);
}

TEST(PtyLinkBehindAGarbledReply, ABackgroundConnectRepeatsItsProbeFromTheEventLoop) {
    // The drive's reply to the probe comes with a wrong sum. It may have been another's, so the
    // probe's repeat goes behind a sync (a read of the display block).
    std::atomic<int> answered{0};
    PtyResponder drive{[&](const Bytes& rq) {
        if (rq == Bytes{0x2F, 0x52, 0xFC, 0x10, 0x8D}) {
            Bytes block{0x2F, 0x52, 0xFC, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
            block.push_back(SumCheck(block, int(block.size()) - 1));
            return std::optional<Bytes>(block);
        }
        std::optional<Bytes> answer = driveReply(rq);
        if (answer && !answer->empty() && ++answered == 2)
            answer->back() ^= 0x01;
        return answer;
    }};
    ASSERT_TRUE(drive.ok());
    TermiosSerialPort port;
    ProgramContext context;
    CommLink link{context, port, systemClock(), installedAsker()};
    link.setPortPathResolver([&](const QString&) { return drive.slavePath(); });
    link.setPortsFound({QStringLiteral("COM1")});
    link.setReplyTimeout(100);
    ASSERT_EQ(link.OpenCommPort(), 0);
    ASSERT_FALSE(link.exchange(link.request("0000", 'R'), link.mainOptions()).error);

    int calls = 0;
    bool connected = false;
    link.ConnectDriveInBackground([&](bool ok) {
        ++calls;
        connected = ok;
    });
    for (int i = 0; i < 400 && calls == 0; ++i) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(connected);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(drive.requests(), 4) << "the exchange, the probe, the sync and the probe's repeat";
    const ExchangeResult next = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_FALSE(next.error);
    EXPECT_FALSE(next.afterFailure) << "the line was left clean";
}

TEST(TermiosPort, RefusesWhatItCannotOpenOrSet) {
    TermiosSerialPort port;
    EXPECT_EQ(
        port.open(QStringLiteral("/nonexistent/ttyX"), 9600, 8, SerialParity::None, SerialStopBits::One),
        SerialError::NotFound);
    EXPECT_EQ(port.open(QStringLiteral("/dev/null"), 9600, 8, SerialParity::None, SerialStopBits::One),
              SerialError::NotFound); // not a terminal
    PtyResponder drive{driveReply};
    ASSERT_TRUE(drive.ok());
    EXPECT_EQ(port.open(drive.slavePath(), 9600, 8, SerialParity::None, SerialStopBits::OneAndHalf),
              SerialError::ConfigFailed);
    EXPECT_EQ(port.open(drive.slavePath(), 12345, 8, SerialParity::None, SerialStopBits::One),
              SerialError::ConfigFailed);
    EXPECT_FALSE(port.isOpen());
    Bytes buf(4);
    EXPECT_EQ(port.read(buf), -1);
    EXPECT_EQ(port.waitReadable(0), WaitResult::Error);
}

TEST(PortNames, SettingsSectionFirstThenTheNthRealDevice) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KVR260X.ini"));
    {
        IniFile ini(path);
        ini.writeString(QStringLiteral("Ports"), QStringLiteral("COM3"), QStringLiteral("/dev/pts/9"));
        ASSERT_TRUE(ini.flush());
    }
    IniFile ini(path);
    const QStringList real{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")};
    EXPECT_EQ(comPortPath(QStringLiteral("COM3"), ini, real), QStringLiteral("/dev/pts/9"));
    EXPECT_EQ(comPortPath(QStringLiteral("com2"), ini, real), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(comPortPath(QStringLiteral("COM1"), ini, real), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(comPortPath(QStringLiteral("COM4"), ini, real), QString());
    EXPECT_EQ(comPortPath(QStringLiteral("COM0"), ini, real), QString());
    EXPECT_EQ(comPortPath(QStringLiteral("/dev/ttyACM0"), ini, real), QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(comPortPath(QStringLiteral("COM3"), path), QStringLiteral("/dev/pts/9"));
}

} // namespace

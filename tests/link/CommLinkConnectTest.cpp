// The link's open and connect on a fake port: the settings it opens with, its messages, the
// probe and the drive commands, and the probe behind a late or garbled reply.
#include "link/CommLink.h"

#include "core/ProgramContext.h"
#include "link/LinkFixture.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/WatchedFakePort.h"

#include <QCoreApplication>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <utility>

namespace {

using namespace linktest;

// ---- Open and connect ----

TEST_F(Link, OpenUsesTheSettingsTables) {
    link.updateSettings([&](LinkSettings& s) {
        s.baudIndex = 4;
        s.parityIndex = 2;
        s.stopIndex = 2;
        s.sizeIndex = 0;
    });
    open();
    ASSERT_EQ(port.opens.size(), 1u);
    EXPECT_EQ(port.opens[0].path, QStringLiteral("/dev/fake-COM1"));
    EXPECT_EQ(port.opens[0].baud, 19200);
    EXPECT_EQ(port.opens[0].parity, SerialParity::Odd);
    EXPECT_EQ(port.opens[0].stopBits, SerialStopBits::Two);
    EXPECT_EQ(port.opens[0].dataBits, 7);
    open(); // an open port is closed before the next open
    EXPECT_EQ(port.closes, 1);
}

TEST_F(Link, UnopenablePortShowsItsMessageOnceUntilTheFlagIsCleared) {
    ScriptedPrompter prompter;
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::Busy;
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_EQ(prompter.texts(), QStringList{"Usable serial port is not found."});
    EXPECT_EQ(view.icons, std::vector<LinkIcon>{LinkIcon::Failed}); // and stays so
    for (DriveCommand c : kAllDriveCommands)
        EXPECT_FALSE(view.commands[c]);

    link.allowPortMessage(); // a connect the user starts
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_EQ(prompter.boxes().size(), 2u);

    // 1.5 stop bits cannot be set here: the same message, under the same rule.
    port.openErrors.clear();
    link.updateSettings([&](LinkSettings& s) { s.stopIndex = 1; });
    EXPECT_EQ(link.OpenCommPort(), 1);
    EXPECT_EQ(prompter.boxes().size(), 2u);
    EXPECT_FALSE(link.PortOpen());
}

TEST_F(Link, MissingPortNameShowsItsMessageOncePerPortChk) {
    ScriptedPrompter prompter;
    link.updateSettings([&](LinkSettings& s) {
        s.portIndex = 3; // not among the ports found
    });
    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(link.OpenCommPort(), 1);
    EXPECT_EQ(link.OpenCommPort(), 1);
    EXPECT_EQ(prompter.boxes().size(), 1u);
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 0; });
    EXPECT_EQ(link.OpenCommPort(), 0);
    EXPECT_TRUE(port.opens.size() == 1);
    // A name found arms the message again.
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 3; });
    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(link.OpenCommPort(), 1);
    EXPECT_EQ(prompter.boxes().size(), 2u);
}

TEST_F(Link, ConnectProbesAndEnablesTheDriveCommands) {
    port.queueReply(inverterReply('R', 0, 1));
    EXPECT_TRUE(link.ConnectDrive());
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x52, 0x00, 0x00, 0x81}));
    for (DriveCommand c : kAllDriveCommands)
        EXPECT_TRUE(view.commands[c]);

    link.markSpecialSetup(true);
    port.queueReply(inverterReply('R', 0, 1));
    EXPECT_TRUE(link.ConnectDrive());
    for (DriveCommand c : kAllDriveCommands)
        EXPECT_EQ(view.commands[c], c == DriveCommand::KeyPad || c == DriveCommand::InverterInfo);

    port.queueNoReply();
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_TRUE(link.lastExchangeFailed());
    for (DriveCommand c : kAllDriveCommands)
        EXPECT_FALSE(view.commands[c]);
}

// A connect that found no drive stands for a while (switching windows does not probe each
// time), then a window asks again and a drive that answers again is used.
TEST_F(Link, NoDriveIsKeptForAFewSecondsThenAskedAgain) {
    InOrderDrive drive(port, clock);
    drive.lateness = {-1, -1}; // the probe and its second try
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_EQ(link.keptConnection(), std::optional<bool>(false));
    clock.advance(kKeptNoDriveMs + 1);
    EXPECT_EQ(link.keptConnection(), std::nullopt);
    EXPECT_TRUE(link.ConnectDriveKept());
    EXPECT_TRUE(view.commands[DriveCommand::KeyPad]);
}

// The prompter that runs `duringBox` while the next box is up, as the event loop of a box
// runs what comes meanwhile.
class PrompterWithEvents : public ScriptedPrompter {
public:
    std::function<void()> duringBox;
    BoxAnswer message(const QString& text, const QString& caption, BoxIcon icon, BoxButtons buttons,
                      QWidget* parent = nullptr) override {
        if (const std::function<void()> work = std::exchange(duringBox, {}))
            work();
        return ScriptedPrompter::message(text, caption, icon, buttons, parent);
    }
};

void runEventsUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// One failure, one box: a connect that comes while the link's own box is up waits for it, and
// then finds the failure told.
TEST_F(Link, AConnectAskedWhileTheLinksOwnBoxIsUpWaitsForIt) {
    PrompterWithEvents prompter;
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::Busy;
    std::optional<bool> second;
    prompter.duringBox = [&] {
        link.ConnectDriveInBackground([&](bool ok) { second = ok; });
        EXPECT_FALSE(second.has_value()) << "put off while the box is up";
    };
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(link.ConnectDrive());
    runEventsUntil([&] { return second.has_value(); });
    EXPECT_EQ(second, std::optional<bool>(false));
    link.tellConnectionLost();
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

// A background exchange whose time-out comes while a box of the link's holds the line is stepped
// once the box is gone: it ends, and what follows it goes out, even from a drive that never
// sends a byte.
TEST_F(Link, ABackgroundExchangeStalledUnderABoxEndsOnceTheBoxIsGone) {
    PrompterWithEvents prompter;
    WatchedLink rig(context, clock, installedAsker()); // no drive behind it
    CommLink& watched = rig.link;
    std::optional<bool> connected;
    watched.ConnectDriveInBackground([&](bool ok) { connected = ok; });
    rig.stepUntil([&] { return connected.has_value(); });
    ASSERT_EQ(connected, std::optional<bool>(false));
    std::optional<ExchangeResult> answer;
    watched.exchangeInBackground(watched.request(QStringLiteral("0000"), 'R'), watched.mainOptions(),
                                 [&](const ExchangeResult& r) { answer = r; });
    prompter.duringBox = [&] {
        clock.advance(watched.replyTimeoutMs() + 1000);
        watched.continueBackground(); // its time-out fires under the box
    };
    prompter.answer(BoxAnswer::Ok);
    watched.tellConnectionLost();
    EXPECT_EQ(prompter.boxes().size(), 1u);
    runEventsUntil([&] { return answer.has_value(); });
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->error);
    EXPECT_FALSE(watched.backgroundPending());
}

// While the drive commands are greyed the link asks again in the background, with no box even
// where the port cannot be opened, and enables them once the drive answers; then it stops.
TEST_F(Link, GreyedCommandsHealInTheBackgroundWithoutABox) {
    ScriptedPrompter prompter; // a box would fail the test
    InOrderDrive drive(port, clock);
    drive.lateness = {-1, -1};
    EXPECT_FALSE(link.ConnectDrive());
    clock.advance(kKeptNoDriveMs + 1);
    link.setHealInBackground(true, 1);
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::NotFound; // the adapter away
    runEventsUntil([&] { return !link.PortOpen(); });
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(view.commands[DriveCommand::KeyPad]);
    EXPECT_EQ(link.keptConnection(), std::nullopt) << "a window's activation still asks at once";
    port.openErrors.clear(); // and back
    runEventsUntil([&] { return view.commands[DriveCommand::KeyPad]; });
    EXPECT_TRUE(view.commands[DriveCommand::KeyPad]);
    EXPECT_EQ(link.keptConnection(), std::optional<bool>(true));
    const std::size_t writes = port.writes.size();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(port.writes.size(), writes) << "no probe once the commands are enabled";
    EXPECT_TRUE(prompter.texts().isEmpty());

    // A port another opened since the commands greyed (a scan at other settings) is left to it.
    drive.lateness = {-1, -1};
    EXPECT_FALSE(link.ConnectDrive());
    ASSERT_EQ(link.openPort(QStringLiteral("COM1"), 5, 0), SerialError::None);
    const std::size_t opens = port.opens.size();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(port.opens.size(), opens);
    EXPECT_EQ(port.opens.back().baud, 38400);
}

TEST_F(Link, ConnectDoesNothingWhileAMonitorRuns) {
    open();
    MonitorRunLock monitorRun;
    link.setMonitorRunLock(&monitorRun);
    monitorRun.setRunning(true);
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_TRUE(link.PortOpen());
    EXPECT_EQ(port.opens.size(), 1u);
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(view.commands.empty());
}

TEST_F(Link, ConnectProbesByNumberWhenNoDriveTypeIsLoaded) {
    context.store = nullptr;
    context.drive.clearParameters();
    port.queueReply(inverterReply('R', 0, 1));
    EXPECT_TRUE(link.ConnectDrive());
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x52, 0x00, 0x00, 0x81}));
}

// ---- A connect behind a late reply ----

struct ConnectCase {
    const char* name;
    std::deque<qint64> late; // the drive's lateness for the probe and what follows (-1: none)
    bool connected;
    int maxMs; // the connect's time, the time-out being 100 ms
};

class ConnectBehindALateReply : public Link, public testing::WithParamInterface<ConnectCase> {};

// The probe awaits a reply up to a second past its time-out and takes it; one lost on the line
// is asked for once more (behind a sync, as the drive may still owe it); a drive that answers
// nothing in that second and the time-out after it is taken for gone: two time-outs and the
// second. Whatever the connect said, the next read is answered by its own reply once the drive
// has sent what it owed.
TEST_P(ConnectBehindALateReply, OnlyADriveSilentForASecondPastItsTimeOutIsTakenForGone) {
    const ConnectCase& c = GetParam();
    for (const int protocol : {0, 1}) {
        for (const bool background : {false, true}) {
            SCOPED_TRACE(testing::Message() << "protocol " << protocol << (background ? " background" : ""));
            FakeSerialPort line(clock);
            InOrderDrive drive(line, clock);
            drive.modbus = protocol == 1;
            drive.values = {{0x0000, 1}, {0x0001, 7}};
            CommLink fresh{context, line, clock, installedAsker()};
            fresh.setPortPathResolver(
                [](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
            fresh.setPortsFound({QStringLiteral("COM1")});
            fresh.setView(&view);
            fresh.setReplyTimeout(100);
            fresh.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
            ASSERT_EQ(fresh.OpenCommPort(), 0);
            drive.lateness = c.late;
            const qint64 start = clock.now();
            std::optional<bool> answer;
            if (background)
                fresh.ConnectDriveInBackground([&](bool ok) { answer = ok; });
            else
                answer = fresh.ConnectDrive();
            ASSERT_TRUE(answer);
            EXPECT_EQ(*answer, c.connected);
            EXPECT_EQ(fresh.lastExchangeFailed(), !c.connected);
            EXPECT_EQ(view.commands[DriveCommand::Import], c.connected);
            EXPECT_LE(clock.now() - start, c.maxMs);
            if (std::find(c.late.begin(), c.late.end(), -1) != c.late.end() && !c.connected)
                continue; // gone for good
            clock.advance(5000);
            drive.lateness.clear();
            EXPECT_EQ(fresh.transact(kP0001, QString(), QStringLiteral("R")).value, 7u);
            clock.advance(1000);
            EXPECT_EQ(line.unreadBytes(), 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, ConnectBehindALateReply,
    testing::Values(ConnectCase{"AnsweredAtOnce", {}, true, 2 + 10},
                    ConnectCase{"LateReply", {150}, true, 150 + 10},
                    ConnectCase{"ASecondPastItsTimeOut", {1090}, true, 1090 + 10},
                    ConnectCase{"ReplyLost", {-1}, true, 100 + 1000 + 2 * 10 + 10},
                    ConnectCase{"SecondsLate", {3000}, false, 100 + 1000 + 100 + 10},
                    ConnectCase{"DriveGone", {-1, -1, -1, -1}, false, 100 + 1000 + 100 + 10}),
    [](const testing::TestParamInfo<ConnectCase>& info) { return std::string(info.param.name); });

TEST_F(Link, FindPortsListsThoseThatOpenAndClosesTheLinksPort) {
    open();
    port.existingPaths = {QStringLiteral("/dev/fake-COM2"), QStringLiteral("/dev/fake-COM4")};
    const QStringList found = link.findPorts({"COM1", "COM2", "COM3", "COM4"});
    EXPECT_EQ(found, (QStringList{"COM2", "COM4"}));
    EXPECT_FALSE(link.PortOpen());
}

} // namespace

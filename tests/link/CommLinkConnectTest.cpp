// The link's open and connect on a fake port: the settings it opens with, its messages, the
// probe and the drive commands, and the probe behind a late or garbled reply.
#include "link/CommLink.h"

#include "core/ProgramContext.h"
#include "link/LinkFixture.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"

#include <gtest/gtest.h>
#include <optional>

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
    EXPECT_FALSE(link.noPortNameMessageDue());
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 0; });
    EXPECT_EQ(link.OpenCommPort(), 0);
    EXPECT_TRUE(link.noPortNameMessageDue());
    EXPECT_TRUE(port.opens.size() == 1);
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

// What the line brings a connect: its probe's reply, and the repeat's when one goes out.
enum class ProbeReply { Good, Late, LateTwice, Garbled, EarlierReadsLate, None };

struct ConnectCase {
    const char* name;
    bool answeredBefore; // the drive answered on this line before the connect
    ProbeReply reply;
    bool connected;
    int probes; // probe and repeat written
    int maxMs;  // the connect's time, the time-out being 100 ms
};

class ConnectBehindALateReply : public Link, public testing::WithParamInterface<ConnectCase> {};

// A probe that meets a late or garbled reply is repeated, as a read after a failure is, once
// the late reply has come and the line has fallen quiet: a drive that is there stays
// connected and the next read gets its own reply. One that answers nothing is given up after
// five time-outs without a byte; on a line that never answered, a connect that holds a window
// takes its probe as it stands.
TEST_P(ConnectBehindALateReply, OnlyADriveThatAnswersNothingIsTakenForAbsent) {
    const ConnectCase& c = GetParam();
    for (const int protocol : {0, 1}) {
        for (const bool background : {false, true}) {
            SCOPED_TRACE(testing::Message() << "protocol " << protocol << (background ? " background" : ""));
            CommLink fresh{context, port, clock, installedAsker()};
            fresh.setPortPathResolver(
                [](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
            fresh.setPortsFound({QStringLiteral("COM1")});
            fresh.setView(&view);
            fresh.setReplyTimeout(100);
            fresh.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
            auto reply = [&](std::uint16_t comNo, std::uint32_t value) {
                return protocol == 1 ? modbusRead(0xFB, {std::uint16_t(value)})
                                     : inverterReply('R', comNo, value);
            };
            ASSERT_EQ(fresh.OpenCommPort(), 0);
            if (c.answeredBefore) {
                port.queueReply(reply(0, 1), 5);
                ASSERT_FALSE(fresh.transact(kP0000, QString(), QStringLiteral("R")).error);
            }
            if (c.reply == ProbeReply::EarlierReadsLate) {
                // 0001's reply comes after its time-out, while the probe waits for its own.
                port.queueReply(reply(1, 0xFFFF), 130);
                ASSERT_TRUE(fresh.transact(kP0001, QString(), QStringLiteral("R")).error);
            }
            Bytes garbled = reply(0, 1);
            garbled.back() ^= 0x5A;
            switch (c.reply) {
            case ProbeReply::Good:
                port.queueReply(reply(0, 1), 5);
                break;
            case ProbeReply::Late:
                port.queueReply(reply(0, 1), 150);
                break;
            case ProbeReply::LateTwice: // the repeat's reply is late as well
                port.queueReply(reply(0, 1), 150);
                port.queueReply(reply(0, 1), 150);
                break;
            case ProbeReply::Garbled:
                port.queueReply(garbled, 5);
                break;
            case ProbeReply::EarlierReadsLate:
                port.queueReply(reply(0, 1), 50);
                break;
            case ProbeReply::None:
                port.queueNoReply();
                break;
            }
            // A MODBUS probe in the background takes whichever drive's reply comes first (the
            // drive is there); the next read is still taken from its repeat.
            const int probes =
                c.reply == ProbeReply::EarlierReadsLate && protocol == 1 && background ? 1 : c.probes;
            if (probes >= 2)
                port.queueReply(reply(0, 1), 5); // the last repeat's
            const std::size_t before = port.writes.size();
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
            EXPECT_EQ(int(port.writes.size() - before), probes);
            // A probe in the background holds no window: it waits for a late reply on any line.
            EXPECT_LE(clock.now() - start, background && !c.answeredBefore ? 100 + 500 + 10 : c.maxMs);
            if (probes >= 2) {
                // The repeat went out on a quiet line: a time-out after the last byte before it.
                qint64 lastRead = 0;
                for (qint64 at : port.readsAtUs)
                    if (at < port.writes.back().atUs)
                        lastRead = at;
                EXPECT_GE(port.writes.back().atUs - lastRead, 100 * 1000);
                EXPECT_EQ(port.writes.back().bytes, port.writes[before].bytes);
            }
            // The next read is answered by its own reply (a MODBUS one by its repeat while a
            // reply may still be owed), and nothing is left on the line.
            port.queueReply(reply(1, 7), 5);
            if (fresh.confirmingNextRead())
                port.queueReply(reply(1, 7), 5);
            EXPECT_EQ(fresh.transact(kP0001, QString(), QStringLiteral("R")).value, 7u);
            clock.advance(1000);
            EXPECT_EQ(port.unreadBytes(), 0);
            fresh.closePort();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, ConnectBehindALateReply,
    testing::Values(ConnectCase{"AnsweredAtOnce", true, ProbeReply::Good, true, 1, 5 + 10},
                    ConnectCase{"LateReply", true, ProbeReply::Late, true, 2, 150 + 100 + 5 + 10},
                    ConnectCase{"LateTwiceInARow", true, ProbeReply::LateTwice, true, 3,
                                2 * (150 + 100) + 5 + 20},
                    ConnectCase{"GarbledReply", true, ProbeReply::Garbled, true, 2, 5 + 100 + 5 + 10},
                    ConnectCase{"AnEarlierReadsLateReply", true, ProbeReply::EarlierReadsLate, true, 2,
                                50 + 100 + 5 + 10},
                    ConnectCase{"DriveGone", true, ProbeReply::None, false, 1, 100 + 500 + 10},
                    ConnectCase{"NeverAnswered", false, ProbeReply::None, false, 1, 100 + 10}),
    [](const testing::TestParamInfo<ConnectCase>& info) { return std::string(info.param.name); });

TEST_F(Link, FindPortsListsThoseThatOpenAndClosesTheLinksPort) {
    open();
    port.existingPaths = {QStringLiteral("/dev/fake-COM2"), QStringLiteral("/dev/fake-COM4")};
    const QStringList found = link.findPorts({"COM1", "COM2", "COM3", "COM4"});
    EXPECT_EQ(found, (QStringList{"COM2", "COM4"}));
    EXPECT_FALSE(link.PortOpen());
}

} // namespace

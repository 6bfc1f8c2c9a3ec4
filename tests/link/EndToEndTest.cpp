// The program's link against the simulated drive: the drive type loaded by the program's own
// loaders, the exchange on the termios port, the drive on the other side of a pseudo-terminal
// (in this process, and as the drivesim program), both protocols.
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "support/DrivesimSupport.h"
#include "tools/drivesim/PtyDriveServer.h"

#include "core/DriveData.h"
#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
#include "support/DeafLine.h"
#include "support/DrivesimProcess.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/ScriptedPrompter.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace simtest;

namespace {

// Loads the small drive type into the store of a program, as start-up does.
class LoadedDriveType {
public:
    LoadedDriveType(ProgramContext& context, const QString& programFolder)
        : drive(context.drive), store(*context.store) {
        context.drive.identity.typeName = QStringLiteral("HXA1");
        context.drive.identity.formName = QStringLiteral("-0.75K");
        context.drive.identity.cpuVersion = QStringLiteral("V100");
        context.language.suffix = QStringLiteral("Eng");
        context.drive.files.typeFolder = programFolder + QStringLiteral("/dat/HXA1(V100)");
        context.drive.files.capacityFolder = context.drive.files.typeFolder;
        context.drive.files.infoIniPath = context.drive.files.typeFolder + QStringLiteral("/Info.ini");
        Asker& asker = installedAsker();
        loaded = LoadTypeTable(context, asker) && LoadCapacityTable(context, asker) &&
                 InitValueTable(context, asker);
    }
    int index(const char* comNo) const { return drive.indexOfComNo(QString::fromLatin1(comNo)); }

    const LoadedDrive& drive;
    const ParameterStore& store;
    bool loaded = false;
};

class EndToEnd : public testing::TestWithParam<SimProtocol> {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        writeSmallDriveData(folder);
        table = std::make_unique<LoadedDriveType>(program.context, folder.path());
        ASSERT_TRUE(table->loaded);
        ASSERT_TRUE(model.load(folder.path(), hxa1()));
        config.protocol = GetParam();
        config.station = 5;
        sim = std::make_unique<DriveSimulator>(model, config);
        server = std::make_unique<PtyDriveServer>(*sim);
        ASSERT_TRUE(server->open());
        ASSERT_TRUE(server->start());

        link.setPortPathResolver([this](const QString&) { return server->slavePath(); });
        link.setPortsFound({QStringLiteral("COM1")});
        link.updateSettings([&](LinkSettings& s) { s.protocol = GetParam() == SimProtocol::Modbus ? 1 : 0; });
        link.setReplyTimeout(kLoadedReplyMs);
        ASSERT_TRUE(link.ConnectDrive());
    }
    void TearDown() override { server.reset(); }

    bool modbus() const { return GetParam() == SimProtocol::Modbus; }
    std::uint32_t transact(const char* comNo, const char* kind = "R", const QString& value = QString()) {
        const int index = table->index(comNo);
        EXPECT_GE(index, 0) << comNo;
        return link.transactNoted(index, value, QString::fromLatin1(kind)).value;
    }
    // The drive's value as the program's table would take it.
    std::int64_t signedValue(const char* comNo, std::uint32_t raw) {
        return applyParameterSign(program.context, table->index(comNo), raw);
    }

    ScriptedPrompter prompter;
    TempProgramFolder folder;
    std::unique_ptr<LoadedDriveType> table;
    DriveModel model;
    SimConfig config;
    std::unique_ptr<DriveSimulator> sim;
    std::unique_ptr<PtyDriveServer> server;
    TestProgram program;
    TermiosSerialPort port;
    CommLink link{program.context, port, systemClock(), installedAsker()};
};

TEST_P(EndToEnd, EveryParameterReadsAsTheDriveHoldsIt) {
    const ProgramContext& context = program.context;
    for (int i = 0; i <= context.drive.lastIndex(); ++i) {
        const QString comNo = context.drive.parameters[std::size_t(i)].comNo;
        if (comNo == QStringLiteral("FC10"))
            continue; // a block, below
        const std::uint32_t v = link.transactNoted(i, QString(), QStringLiteral("R")).value;
        ASSERT_FALSE(link.lastExchangeFailed()) << comNo.toStdString();
        const auto p = model.parameter(comNo);
        ASSERT_TRUE(p);
        // MODBUS carries 16 bits whatever the parameter's size.
        EXPECT_EQ(v, modbus() ? (p->raw & 0xFFFF) : p->raw) << comNo.toStdString();
    }
    EXPECT_EQ(transact("0000"), 500u);
    EXPECT_EQ(signedValue("0001", transact("0001")), -50);
    EXPECT_EQ(transact("FB07"), 12u);
    EXPECT_EQ(transact("FB05"), 3u);
    EXPECT_EQ(transact("FE08"), 100u);
}

TEST_P(EndToEnd, WritesOfBothKindsAreStoredAndEchoed) {
    EXPECT_EQ(signedValue("0001", transact("0001", "W", QStringLiteral("-7"))), -7);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(model.parameter(QStringLiteral("0001"))->raw, 0xFFF9u);
    EXPECT_EQ(transact("FB91", "P", QStringLiteral("123")), 123u);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(transact("FB91"), 123u);

    transact("0103", "W", QStringLiteral("-100000"));
    EXPECT_FALSE(link.lastExchangeFailed());
    if (modbus()) {
        // Its low 16 bits go out; the drive extends them as the parameter's sign says.
        EXPECT_EQ(model.parameter(QStringLiteral("0103"))->raw, std::uint32_t(-100000) & 0xFFFF);
    } else {
        EXPECT_EQ(signedValue("0104", transact("0104", "W", QStringLiteral("-100000"))), -100000);
        EXPECT_EQ(model.parameter(QStringLiteral("0104"))->raw, std::uint32_t(-100000));
    }
}

TEST_P(EndToEnd, TheDisplayBlockGivesItsFirstWord) {
    EXPECT_EQ(transact("FC10"), 0xBF7Du);
    EXPECT_FALSE(link.lastExchangeFailed());
}

TEST_P(EndToEnd, StationRulesDecideWhoAnswers) {
    link.updateSettings([&](LinkSettings& s) {
        s.appendNo = true;
        s.inverterNumber = 5;
    });
    EXPECT_EQ(transact("0000"), 500u);
    EXPECT_FALSE(link.lastExchangeFailed());

    link.setReplyTimeout(100);
    link.updateSettings([&](LinkSettings& s) {
        s.inverterNumber = 6; // another drive's number: silence
    });
    EXPECT_EQ(transact("0000"), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());

    link.updateSettings([&](LinkSettings& s) {
        s.appendNo = false;

        s.broadcast = true;
    });
    link.setReplyTimeout(modbus() ? 100 : kLoadedReplyMs);
    transact("FB91", "P", QStringLiteral("77"));
    EXPECT_EQ(model.parameter(QStringLiteral("FB91"))->raw, 77u); // every drive takes a broadcast
    // The maker's drive answers a broadcast; a MODBUS broadcast has no reply.
    EXPECT_EQ(link.lastExchangeFailed(), modbus());
}

TEST_P(EndToEnd, AFaultyReplyIsNeverTakenAsAValue) {
    std::vector<SimFaultKind> kinds = {SimFaultKind::NoReply, SimFaultKind::BadCheck, SimFaultKind::Garbage};
    if (modbus())
        kinds.push_back(SimFaultKind::Exception);
    kinds.push_back(SimFaultKind::Late);
    for (SimFaultKind kind : kinds) {
        // Late: past the second a reply is awaited beyond its time-out.
        sim->setFaults({{kind, 1.0, 1400}});
        // A faulty reply is waited for as long as a loaded machine needs (else its bytes could
        // come after the time-out and pass for the next reply); silence and the late reply, due
        // 1.4 s after the request, are not.
        const bool repliesInTime = kind != SimFaultKind::NoReply && kind != SimFaultKind::Late;
        link.setReplyTimeout(repliesInTime ? kLoadedReplyShortMs : 150);
        EXPECT_EQ(transact("0000"), 0u) << int(kind);
        EXPECT_TRUE(link.lastExchangeFailed()) << int(kind);
        sim->setFaults({});
        if (kind == SimFaultKind::Late) {
            // Let the late reply land on the line before the next request; the exchange purges it.
            ASSERT_EQ(port.waitReadable(kLoadedMachineMs), WaitResult::Readable);
        }
        link.setReplyTimeout(kLoadedReplyShortMs);
        EXPECT_EQ(transact("0000"), 500u) << "after " << int(kind);
        EXPECT_FALSE(link.lastExchangeFailed()) << "after " << int(kind);
    }
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, EndToEnd, testing::Values(SimProtocol::Inverter, SimProtocol::Modbus),
                         [](const auto& info) {
                             return std::string(info.param == SimProtocol::Modbus ? "Modbus" : "Inverter");
                         });

// ---- The program ----

// The drive's end of the line closed under the link (an adapter pulled): the exchange fails on
// the device, the port is closed and nothing more goes to it; a connect while the device is
// away says so once; the drive back on the line (a new device) is used within one connect.
TEST_P(EndToEnd, APortThatVanishesAndReturnsIsUsedWithinOneConnect) {
    const QString gonePath = server->slavePath();
    link.setPortPathResolver([&](const QString&) { return server ? server->slavePath() : gonePath; });
    server.reset();
    EXPECT_TRUE(link.transactNoted(table->index("0000"), QString(), QStringLiteral("R")).error);
    EXPECT_TRUE(link.portFailed());
    EXPECT_FALSE(link.PortOpen());
    EXPECT_FALSE(link.driveCommandsOn());
    EXPECT_EQ(link.transact(table->index("0000"), QString(), QStringLiteral("R")).failure,
              ExchangeFailure::NoPort);

    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_EQ(prompter.texts(), QStringList{Msg(program.context, MsgId::NoUsablePort)});

    server = std::make_unique<PtyDriveServer>(*sim);
    ASSERT_TRUE(server->open());
    ASSERT_TRUE(server->start());
    EXPECT_TRUE(link.ConnectDrive());
    EXPECT_TRUE(link.driveCommandsOn());
    EXPECT_FALSE(link.transactNoted(table->index("0000"), QString(), QStringLiteral("R")).error);
}

TEST(EndToEndProgram, DrivesimServesBothProtocolsAndEndsCleanlyOnSigterm) {
    ASSERT_TRUE(QFileInfo(DrivesimProcess::program()).isExecutable())
        << "build the drivesim target: " << DrivesimProcess::program().toStdString();
    TempProgramFolder folder;
    writeSmallDriveData(folder);
    ScriptedPrompter prompter;
    for (const char* protocol : {"inverter", "modbus"}) {
        const QString link = folder.filePath(QStringLiteral("sim-COM1"));
        DrivesimProcess sim(QStringList{"--data", folder.path(), "--type", "HXA1", "--cpu", "V100",
                                        "--capacity", "-0.75K", "--language", "Eng", "--protocol", protocol,
                                        "--station", "3", "--wire-baud", "38400"},
                            link, true);
        ASSERT_EQ(sim.process.state(), QProcess::Running) << protocol;
        ASSERT_FALSE(QFileInfo(link).symLinkTarget().isEmpty()) << protocol;

        TermiosSerialPort port;
        ProgramContext context;
        CommLink commLink(context, port, systemClock(), installedAsker());
        commLink.setPortPathResolver([&](const QString&) { return link; });
        commLink.setPortsFound({QStringLiteral("COM1")});
        commLink.updateSettings([&](LinkSettings& s) {
            s.protocol = QString::fromLatin1(protocol) == QStringLiteral("modbus") ? 1 : 0;
            s.baudIndex = 5;
            s.appendNo = true;
            s.inverterNumber = 3;
        });
        commLink.setReplyTimeout(kLoadedReplyMs);
        ASSERT_TRUE(commLink.ConnectDrive()) << protocol; // no drive type loaded: probes "0000" by number
        ExchangeResult r =
            commLink.exchange(commLink.request(QStringLiteral("FB07"), 'R'), commLink.mainOptions());
        EXPECT_FALSE(r.error) << protocol;
        EXPECT_EQ(r.value, 12u) << protocol;
        r = commLink.exchange(commLink.request(QStringLiteral("0000"), 'P', 321), commLink.mainOptions());
        EXPECT_EQ(r.value, 321u) << protocol;
        r = commLink.exchange(commLink.request(QStringLiteral("0000"), 'R'), commLink.mainOptions());
        EXPECT_EQ(r.value, 321u) << protocol;
        commLink.closePort();

        sim.process.terminate(); // SIGTERM
        ASSERT_TRUE(sim.process.waitForFinished(kLoadedMachineMs)) << protocol;
        EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit) << protocol;
        EXPECT_EQ(sim.process.exitCode(), 0) << protocol;
        EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink()) << protocol;
    }
}

// Spinning instead of sleeping, the program still answers, records each write it carried out
// by the time its reply is in, trips on cue and ends on SIGTERM.
TEST(EndToEndProgram, DrivesimBusyPollingLogsItsWritesAndTripsOnCue) {
    ASSERT_TRUE(QFileInfo(DrivesimProcess::program()).isExecutable());
    TempProgramFolder folder;
    ScriptedPrompter prompter;
    for (const char* protocol : {"inverter", "modbus"}) {
        const QString link = folder.filePath(QStringLiteral("sim-COM1"));
        const QString log = folder.filePath(QStringLiteral("writes-%1.log").arg(QLatin1String(protocol)));
        QStringList args = shippedHxa1Arguments(shippedDataDir());
        args[args.indexOf(QStringLiteral("--protocol")) + 1] = QString::fromLatin1(protocol);
        DrivesimProcess sim(args + QStringList{"--busy-poll", "--write-log", log, "--trip-after-ms", "0:16"},
                            link, true);
        ASSERT_EQ(sim.process.state(), QProcess::Running) << protocol;

        TermiosSerialPort port;
        ProgramContext context;
        CommLink commLink(context, port, systemClock(), installedAsker());
        commLink.setPortPathResolver([&](const QString&) { return link; });
        commLink.setPortsFound({QStringLiteral("COM1")});
        commLink.updateSettings([&](LinkSettings& s) {
            s.protocol = QString::fromLatin1(protocol) == QStringLiteral("modbus") ? 1 : 0;
        });
        commLink.setReplyTimeout(kLoadedReplyMs);
        ASSERT_TRUE(commLink.ConnectDrive()) << protocol;
        auto logLines = [&log] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        const qsizetype before = logLines().size();
        for (const int value : {2, 3}) {
            const ExchangeResult r = commLink.exchange(commLink.request(QStringLiteral("0000"), 'P', value),
                                                       commLink.mainOptions());
            EXPECT_FALSE(r.error) << protocol;
            const QStringList lines = logLines();
            ASSERT_EQ(lines.size(), before + value - 1) << protocol;
            EXPECT_TRUE(lines.last().startsWith(QStringLiteral("0000 %1 ").arg(value)))
                << lines.last().toStdString();
        }
        // A number the drive lacks is refused and not recorded: the maker's drive stays silent, a
        // MODBUS drive's refusal is waited for as long as a loaded machine needs.
        commLink.setReplyTimeout(
            QString::fromLatin1(protocol) == QStringLiteral("modbus") ? kLoadedReplyShortMs : 200);
        EXPECT_TRUE(
            commLink.exchange(commLink.request(QStringLiteral("1234"), 'P', 5), commLink.mainOptions())
                .error);
        EXPECT_EQ(logLines().size(), before + 2) << protocol;
        commLink.setReplyTimeout(kLoadedReplyShortMs);

        EXPECT_EQ(
            commLink.exchange(commLink.request(QStringLiteral("FC90"), 'R'), commLink.mainOptions()).value,
            16u);
        EXPECT_EQ(
            commLink.exchange(commLink.request(QStringLiteral("FE10"), 'R'), commLink.mainOptions()).value,
            16u);
        commLink.closePort();

        sim.process.terminate(); // SIGTERM
        ASSERT_TRUE(sim.process.waitForFinished(kLoadedMachineMs)) << protocol;
        EXPECT_EQ(sim.process.exitStatus(), QProcess::NormalExit) << protocol;
        EXPECT_EQ(sim.process.exitCode(), 0) << protocol;
        EXPECT_FALSE(QFileInfo(link).isSymLink()) << protocol;
    }
}

TEST(EndToEndProgram, DrivesimRefusesAMissingDriveTypeWithoutLeavingALink) {
    ASSERT_TRUE(QFileInfo(DrivesimProcess::program()).isExecutable());
    TempProgramFolder folder;
    writeSmallDriveData(folder);
    const QString link = folder.filePath(QStringLiteral("sim-COM1"));
    QProcess p;
    p.start(DrivesimProcess::program(), {"--protocol", "inverter", "--data", folder.path(), "--type", "HXQ9",
                                         "--cpu", "V100", "--capacity", "-1", "--link", link});
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardError()).contains(QStringLiteral("HXQ9(Eng).inv")));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

// ---- The configuration scan against the simulated drive ----

TEST(EndToEndScan, FindsTheDriveOnTheSecondPortAtItsOwnLineSettings) {
    ScriptedPrompter prompter;
    DriveModel model;
    model.setParameter(QStringLiteral("0000"), 42);
    SimConfig c;
    c.protocol = SimProtocol::Modbus;
    c.onlyBaud = 19200;
    c.onlyParity = 2;
    DriveSimulator drive(model, c);

    ManualClock clock;
    FakeSerialPort port(clock);
    attachDrive(port, drive, QStringLiteral("/dev/fake-COM2"));
    ProgramContext context;
    CommLink link(context, port, clock, installedAsker());
    link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    link.setPortsFound({QStringLiteral("COM1"), QStringLiteral("COM2")});
    ConfigScan scan(link);
    const ScanResult r = scan.ScanDriveConfig();
    EXPECT_EQ(r.portIndex, 1);
    EXPECT_EQ(r.baudIndex, 4);
    EXPECT_EQ(r.parityIndex, 2);
    EXPECT_EQ(r.protocol, 1);
    // All 18 combinations on the first port, each probed twice, then 9 failures and the
    // answered tenth on the second.
    EXPECT_EQ(port.writes.size(), std::size_t(36 + 18 + 1));
}

} // namespace

// ---- Waits that serve the windows ----

// On a line where nothing answers, the wait for the reply keeps the event loop going; what the
// event loop asks of the line meanwhile does not reach it: a blocking exchange fails as busy, a
// background one goes out after the wait, in order, and its answer comes from the event loop;
// closing the port waits for the exchange under way, which ends as any unanswered one does.

class ServedWait : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(line.path.isEmpty());
        link.setPortPathResolver({});
        link.setServeWindowsWhileWaiting(true);
        ASSERT_EQ(link.openPort(line.path, 3, 1), SerialError::None);
        o.replyTimeoutMs = 100;
    }
    void runEventsUntil(const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < kLoadedMachineMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // Maker's reads of five bytes each that reached the line.
    std::size_t requestsOnTheLine() { return line.takeWritten().size() / 5; }

    DeafLine line;
    TermiosSerialPort port;
    ProgramContext context;
    CommLink link{context, port, systemClock(), installedAsker()};
    ExchangeOptions o = link.mainOptions();
};

TEST_F(ServedWait, TheEventLoopRunsDuringTheWaitAndWhatItAsksOfTheLineWaitsForIt) {
    bool ranInTimer = false;
    bool putOffRanInTimer = false;
    bool putOffRan = false;
    ExchangeFailure nested = ExchangeFailure::None;
    bool pendingInTimer = true;
    std::vector<QString> answered;
    QTimer::singleShot(0, [&] {
        ranInTimer = true;
        link.whenLineFree([&] { putOffRan = true; });
        putOffRanInTimer = putOffRan;
        nested = link.exchange(link.request(QStringLiteral("0001"), 'R'), o).failure;
        for (const char* comNo : {"0002", "0003"})
            link.exchangeInBackground(link.request(QString::fromLatin1(comNo), 'R'), o,
                                      [&answered, comNo](const ExchangeResult& r) {
                                          EXPECT_EQ(r.failure, ExchangeFailure::ReplyTimeout);
                                          answered.push_back(QString::fromLatin1(comNo));
                                      });
        pendingInTimer = link.backgroundPending();
    });
    const ExchangeResult r = link.exchange(link.request(QStringLiteral("0000"), 'R'), o);
    EXPECT_EQ(r.failure, ExchangeFailure::ReplyTimeout);
    EXPECT_TRUE(ranInTimer);
    EXPECT_FALSE(putOffRanInTimer);
    EXPECT_EQ(nested, ExchangeFailure::LineBusy);
    EXPECT_FALSE(pendingInTimer);
    EXPECT_TRUE(answered.empty());

    runEventsUntil([&] { return answered.size() == 2; });
    EXPECT_TRUE(putOffRan);
    EXPECT_EQ(answered, (std::vector<QString>{QStringLiteral("0002"), QStringLiteral("0003")}));
    // The first read and the two put off went out; the busy one never did.
    EXPECT_EQ(requestsOnTheLine(), 3u);
}

// A command's connect that takes over a window's connect on its way: one failure, one box (the
// command's own); the window's waiter finds it told.
TEST_F(ServedWait, ACommandsConnectThatTakesOverAWindowsConnectLeavesTheTellingToTheCommand) {
    ScriptedPrompter prompter; // any box of the link's would fail the test
    link.setPortsFound({line.path});
    link.setReplyTimeout(30);
    bool windowTold = false;
    link.ConnectDriveInBackground([&](bool ok) {
        if (!ok)
            link.tellConnectionLost();
        windowTold = true;
    });
    EXPECT_FALSE(link.ConnectDrive());
    runEventsUntil([&] { return windowTold; });
    EXPECT_TRUE(windowTold);
    EXPECT_TRUE(prompter.texts().isEmpty());
    line.takeWritten();
}

TEST_F(ServedWait, ClosingThePortInsideAWaitClosesItAfterTheExchangeWhichFailsAsUnanswered) {
    for (const bool background : {false, true}) {
        SCOPED_TRACE(background ? "a background exchange a blocking caller completes"
                                : "a blocking exchange");
        ASSERT_EQ(link.openPort(line.path, 3, 1), SerialError::None);
        std::optional<ExchangeResult> inBackground;
        if (background)
            link.exchangeInBackground(link.request(QStringLiteral("0002"), 'R'), o,
                                      [&](const ExchangeResult& r) { inBackground = r; });
        bool openInTimer = false;
        QTimer::singleShot(0, [&] {
            link.closePort();
            openInTimer = link.PortOpen();
        });
        // Another number each time: a read alike one the drive still owes would wait for a sync.
        const ExchangeResult r =
            link.exchange(link.request(background ? QStringLiteral("0001") : QStringLiteral("0000"), 'R'), o);
        EXPECT_TRUE(openInTimer);
        EXPECT_EQ(r.failure, ExchangeFailure::ReplyTimeout);
        if (background) {
            runEventsUntil([&] { return inBackground.has_value(); });
            ASSERT_TRUE(inBackground);
            EXPECT_EQ(inBackground->failure, ExchangeFailure::ReplyTimeout);
        }
        runEventsUntil([&] { return !link.PortOpen(); });
        EXPECT_FALSE(link.PortOpen());
        EXPECT_FALSE(link.portFailed());
        line.takeWritten();
    }
}

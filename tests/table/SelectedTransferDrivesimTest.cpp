// The selected import and export against the simulated drive (the drivesim program) on a
// pseudo-terminal, through the program's own link on the termios port, as an engineer uses
// them: values written reach the drive and read back; a parameter the drive does not have
// fails and is marked, the others go through; a monitor run keeps the link; a drive that falls
// silent brings the Abort/Retry/Ignore box while the window's events go on.
#include "support/DrivesimProcess.h"
#include "support/DrivesimSupport.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/TableFixture.h"
#include "table/SelectedTransfer.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include "link/CommLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

namespace {

// The drive's own program folder: the table's drive type without parameter 0013, so that
// the drive never answers for it.
void writeDriveFolder(TempProgramFolder& drive, const TempProgramFolder& table) {
    auto copy = [&](const QString& f, bool dropMissing) {
        QFile in(table.filePath(f));
        if (!in.open(QIODevice::ReadOnly))
            return;
        QByteArray bytes;
        for (const QByteArray& line : in.readAll().split('\n'))
            if (!line.isEmpty() && !(dropMissing && line.startsWith("0013,")))
                bytes += line + '\n';
        drive.writeFile(f, bytes);
    };
    copy(QStringLiteral("dat/Inverter.ini"), false);
    copy(QStringLiteral("dat/HXA1(V110)/HXA1(Eng).inv"), true);
    copy(QStringLiteral("dat/HXA1(V110)/HXA1-2004.cap"), false);
}

class SelectedTransferDrivesim : public TableFixture {
protected:
    void SetUp() override {
        if (!QFileInfo(DrivesimProcess::program()).isExecutable())
            GTEST_SKIP() << "build the drivesim target: " << DrivesimProcess::program().toStdString();
        TableFixture::SetUp();
        ASSERT_TRUE(driveFolder.isValid());
        writeDriveFolder(driveFolder, *folder);
        linkPath = driveFolder.filePath(QStringLiteral("sim-COM1"));
        sim = std::make_unique<DrivesimProcess>(shippedHxa1Arguments(driveFolder.path()), linkPath);
        ASSERT_TRUE(sim->running());
        link.setPortPathResolver([this](const QString&) { return linkPath; });
        link.setPortsFound({QStringLiteral("COM1")});
        // Only the missing parameter waits it out.
        link.setReplyTimeout(kLoadedReplyShortMs);
        options.exportToEeprom.setChecked(true);
        transfer.setUndo(undoRedo);
    }
    void TearDown() override {
        sim.reset();
        TableFixture::TearDown();
    }
    void set(const char* comNo, const char* v) { setWork(comNo, UP_Value, v); }
    // Selects the parameters and puts the cursor on the first.
    void choose(std::initializer_list<const char*> comNos) {
        for (const char* n : comNos)
            setWork(n, UP_SelectIndex, "1");
        core.FillRows();
        go(*comNos.begin());
    }

    TempProgramFolder driveFolder;
    QString linkPath;
    std::unique_ptr<DrivesimProcess> sim;
    TermiosSerialPort port;
    CommLink link{context, port, systemClock(), installedAsker()};
    ProgramDriveLink drive{&link};
    SelectedTransfer transfer{core, drive};
};

TEST_F(SelectedTransferDrivesim, ExportedValuesReachTheDriveAndReadBackWithTheMissingOneMarked) {
    set("0003", "5000");
    set("0009", "75");
    set("0013", "5");
    choose({"0003", "0009", "0013"});
    transfer.exportTargets();
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    for (const char* n : {"0003", "0009"}) {
        EXPECT_EQ(work(n, UP_CommErrIndex), "0") << n;
        EXPECT_EQ(work(n, UP_WriteIndex), "0") << n;
    }
    EXPECT_EQ(work("0013", UP_CommErrIndex), "1");
    EXPECT_EQ(work("0013", UP_WriteIndex), "1");
    EXPECT_EQ(value("0013"), "5");

    // The table forgets; the drive remembers.
    set("0003", "6000");
    set("0009", "50");
    core.FillRows();
    transfer.ImportSelected();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(value("0003"), "5000");
    EXPECT_EQ(value("0009"), "75");
    EXPECT_EQ(cell(TC_Value, "0009"), "     7.5");
    EXPECT_EQ(cell(TC_Changed, "0009"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(work("0003", UP_CommErrIndex), "0");
    EXPECT_EQ(work("0013", UP_CommErrIndex), "1");
    EXPECT_EQ(value("0013"), "5");
}

TEST_F(SelectedTransferDrivesim, ATypedValueIsCommittedOnTheDrive) {
    go("0009");
    type("12.5");
    transfer.exportTargets();
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    EXPECT_EQ(value("0009"), "125");
    EXPECT_EQ(work("0009", UP_WriteIndex), "0");
    set("0009", "50");
    transfer.ImportSelected();
    EXPECT_EQ(value("0009"), "125");
}

TEST_F(SelectedTransferDrivesim, AParameterThatMustNotBeWrittenIsRefusedAndTheDriveKeepsItsValue) {
    go("0051");
    transfer.ImportSelected();
    ASSERT_EQ(work("0051", UP_CommErrIndex), "0");
    const QString onDrive = value("0051");
    const QString other = onDrive == "1" ? QStringLiteral("2") : QStringLiteral("1");
    set("0051", other.toLatin1().constData());
    set("0009", "75");
    choose({"0009", "0051"});
    transfer.exportTargets();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, Msg(context, MsgId::CannotBeWritten));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(work("0009", UP_WriteIndex), "0");

    // Read back: the other parameter was written, the refused one never was.
    set("0009", "50");
    core.FillRows();
    transfer.ImportSelected();
    EXPECT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(value("0009"), "75");
    EXPECT_EQ(value("0051"), onDrive);
}

TEST_F(SelectedTransferDrivesim, AMonitorRunKeepsTheLinkAndNothingIsWritten) {
    go("0003");
    transfer.ImportSelected();
    const QString before = value("0003");
    ASSERT_EQ(work("0003", UP_CommErrIndex), "0");
    set("0003", "4000");
    MonitorRunLock monitor;
    link.setMonitorRunLock(&monitor);
    monitor.setRunning(true);
    transfer.exportTargets();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::CannotConnect)});
    transfer.ImportSelected();
    EXPECT_EQ(value("0003"), "4000");
    monitor.setRunning(false);
    transfer.ImportSelected();
    EXPECT_EQ(value("0003"), before);
}

// ---- A drive that misbehaves ----

TEST_F(SelectedTransferDrivesim, AStoppedDriveBringsTheBoxAfterThreeSilentExchangesWhileEventsGoThrough) {
    choose({"0001", "0002", "0003", "0004", "0009"});
    for (const char* n : {"0001", "0002", "0003", "0004", "0009"})
        setWork(n, UP_CommErrIndex, "0");
    // The window's events: the first stops the drive after the first target is read; the
    // silent exchanges from then on need not wait long.
    int events = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (events++ == 0) {
            sim->pause();
            link.setReplyTimeout(100);
        }
    });
    ticker.start();
    prompter.answer(BoxAnswer::Abort);
    transfer.ImportSelected();
    ticker.stop();
    sim->resume();

    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::AbortRetryIgnore);
    EXPECT_TRUE(prompter.boxes()[0].text.startsWith(Msg(context, MsgId::DataIncorrect)));
    EXPECT_GE(events, 4) << "events go through after every exchange";
    EXPECT_EQ(work("0001", UP_CommErrIndex), "0");
    for (const char* n : {"0002", "0003", "0004"})
        EXPECT_EQ(work(n, UP_CommErrIndex), "1") << n;
    EXPECT_EQ(work("0009", UP_CommErrIndex), "0") << "Abort ends the command";
}

} // namespace

// ---- A drive that answers late ----

// The selected import over the program's link on the fake port, the shipped type's simulated
// drive behind it answering one request at a time and in order, 5 % or 20 % of its replies
// late by none to five time-outs in quarters or a few seconds: every value read is the drive's
// own for that parameter; one not read keeps its value.
class SelectedImportLate : public TableFixture {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        QString error;
        ASSERT_TRUE(model.load(folder->path(), {"HXA1", "V110", "-2004", "Eng"}, &error))
            << error.toStdString();
        simtest::attachInOrder(port, clock, sim);
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
        link.setReplyTimeout(kTimeoutMs);
        for (int i = 0; i < 2000; ++i)
            prompter.answer(BoxAnswer::Ignore);
    }
    static constexpr int kTimeoutMs = 80;
    DriveModel model;
    DriveSimulator sim{model, SimConfig{}};
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    ProgramDriveLink drive{&link};
    SelectedTransfer transfer{core, drive};
};

TEST_F(SelectedImportLate, EveryValueReadIsTheDrivesOwnAtEveryLateness) {
    const char* numbers[] = {"0003", "0004", "0009", "0010", "0011", "0012", "0015", "0016"};
    for (const char* n : numbers)
        setWork(n, UP_SelectIndex, "1");
    core.FillRows();
    go(numbers[0]);
    int k = 0;
    simtest::forEachLateDrive(sim, kTimeoutMs, [&](SimProtocol protocol, int late) {
        link.updateSettings([&](LinkSettings& l) { l.protocol = protocol == SimProtocol::Modbus ? 1 : 0; });
        for (int run = 0; run < 4; ++run) {
            // Values that differ from each other and from run to run.
            std::map<QString, QString> own;
            for (const char* n : numbers) {
                const int index = context.drive.indexOfComNo(QString::fromLatin1(n));
                const std::uint16_t reg = ComNoToRegister(QString::fromLatin1(n));
                ASSERT_TRUE(model.write(reg, 10 + (k++ % 90)));
                own[QString::fromLatin1(n)] =
                    SelectedTransfer::replyText(context, index, std::uint32_t(model.parameter(reg)->raw));
                setWork(n, UP_Value, "1");
            }
            transfer.ImportSelected();
            // Not read (a failure, or a connect that found no drive and said so): the
            // value stays; read: the drive's own.
            for (const char* n : numbers)
                if (value(n) != QLatin1String("1")) {
                    EXPECT_EQ(value(n), own[QString::fromLatin1(n)]) << n;
                }
        }
        clock.advance(2 * late + 1000);
    });
}

// Whole transfers against the simulated drive while it misbehaves: late replies (just past the
// second a reply is awaited beyond its time-out, and MODBUS ones up to six time-outs later),
// lost replies, bad sums, noise and
// exceptions. Whatever fails must be marked and listed, and nothing may be stored from a reply
// that answered another request. The drive sits behind the fake port with its own reply times
// on a manual clock: which reply is late is the drive's choice, never the machine's load. A
// drive (a process on a pseudo-terminal) that stops altogether brings the Abort/Retry/Ignore box.
#include "platform/Prompter.h"
#include "support/DrivesimProcess.h"
#include "support/DrivesimSupport.h"
#include "support/TransferFixture.h"

#include "link/ResultText.h"

#include <QFileInfo>

#include <memory>
#include <mutex>
#include <utility>

using namespace transfertest;

namespace {

constexpr int kTimeoutMs = 80;
// A reply is awaited a second past its time-out: these come just after that.
constexpr int kAwaitedMs = kTimeoutMs + 1000;
constexpr int kLateMs = kAwaitedMs + 25;

struct FaultCase {
    std::string name;
    SimProtocol protocol;
    SimFaultKind kind;
    int runs;             // whole-table jobs: about 5 % of their exchanges are hit
    int lateMs = kLateMs; // a late reply lands in the second, third or seventh exchange after
    double rate = 0.05;
    bool mustHit = true; // some exchange fails: the faults were met
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

// Late replies at every lateness from none to five time-outs in quarters, and a few seconds,
// at 5 % and 20 % of the replies, in both protocols.
std::vector<FaultCase> latenessSweep() {
    const std::vector<int> grid = simtest::latenessGrid(kTimeoutMs);
    std::vector<FaultCase> cases;
    for (const SimProtocol protocol : {SimProtocol::Inverter, SimProtocol::Modbus})
        for (const int rate : {5, 20})
            for (const int ms : grid)
                cases.push_back({std::string(protocol == SimProtocol::Modbus ? "Modbus" : "Inverter") +
                                     "Late" + std::to_string(ms) + "At" + std::to_string(rate),
                                 protocol, SimFaultKind::Late, 4, ms, rate / 100.0, false});
    return cases;
}

// Whether the faults of the case must fail some exchange (the sweep's may miss a short job).
bool faultsFail(const FaultCase& c) {
    return c.mustHit;
}

std::string caseName(const testing::TestParamInfo<FaultCase>& info) {
    return info.param.name;
}

// Values the drive holds for a run: neighbours differ, so a value taken from the wrong reply
// shows. 32-bit values fit a MODBUS register.
std::int64_t driveValue(int index, int run) {
    switch (index) {
    case kFreq:
        return 100 + run * 7;
    case kBias:
        return -1 - run % 90;
    case kRef:
        return 2000 + run * 3;
    case kPos:
        return 20000 + run;
    case kOffset:
        return 3000 + run;
    case kMonitor:
        return run % 50;
    case kLocked:
        return 60 + run % 30;
    case kBrake:
        return run % 3;
    case kLast0:
        return 4 + run % 5;
    case kAccess:
        return 500 + run;
    case kCpu:
        return 100 + run;
    default:
        return -1; // the identity stays as the drive has it
    }
}

class TransferFaults : public testing::TestWithParam<FaultCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        rig.store.enterMaintenance(false); // every failure is listed
        rig.driveTiming = true;
        // A drive at 9,600 baud: its reply starts well after the link's silent interval.
        SimConfig paced = rig.sim->config();
        paced.replyDelayMs = 16;
        rig.sim->setConfig(paced);
        rig.link->setReplyTimeout(kTimeoutMs);
        ASSERT_TRUE(rig.connect());
        // A silent drive brings its box whatever the options say; three lost replies in a row
        // can happen at 5 %: go on then.
        for (int i = 0; i < 20; ++i)
            rig.prompter.answer(BoxAnswer::Ignore);
    }
    void hitReplies() {
        SimFault f;
        f.kind = GetParam().kind;
        f.rate = GetParam().rate;
        f.lateMs = GetParam().lateMs;
        rig.sim->setFaults({f});
    }
    void setDriveValues(int run) {
        for (int i = 0; i < kCount; ++i)
            if (driveValue(i, run) >= 0 || i == kBias)
                rig.setDrive(i, driveValue(i, run));
    }
    std::int64_t driveNumber(int index) const {
        return normaliseRaw(rig.driveRaw(index), parameterIs32(rig.context, index),
                            parameterIsSigned(rig.context, index));
    }
    QString line(int index) const {
        const QString title = definitionText(rig.context.drive.parameters[std::size_t(index)], PD_FTitle);
        return (title.isEmpty() ? rig.comNo(index) : title) + QStringLiteral(": ") +
               definitionText(rig.context.drive.parameters[std::size_t(index)], PD_FName);
    }
    // Marked "2", or for a parameter whose flag is "1" (which keeps it), listed.
    bool failed(int index, const QStringList& lines) const {
        const QString flag = rig.flag(index);
        return flag == QLatin1String("2") || (flag == QLatin1String("1") && lines.contains(line(index)));
    }
    static std::string text(const QStringList& lines) { return lines.join(QLatin1Char('|')).toStdString(); }
    int run(std::uint32_t mode, ResultText& result) {
        TransferJob job;
        job.mode = mode;
        job.lastParaIndex = rig.context.drive.lastIndex();
        TransferEngine engine(rig.context, rig.options, *rig.link);
        engine.setJob(&job);
        engine.setResult(&result);
        engine.start();
        return engine.errorCount() + engine.differenceCount() * 1000;
    }

    TransferRig rig{GetParam().protocol, Wire::Fake};
};

INSTANTIATE_TEST_SUITE_P(
    Faults, TransferFaults,
    testing::Values(
        FaultCase{"InverterLate", SimProtocol::Inverter, SimFaultKind::Late, 16},
        FaultCase{"ModbusLate", SimProtocol::Modbus, SimFaultKind::Late, 16},
        FaultCase{"ModbusLateTwoTimeOuts", SimProtocol::Modbus, SimFaultKind::Late, 8, kAwaitedMs + 160},
        FaultCase{"ModbusLateThreeTimeOuts", SimProtocol::Modbus, SimFaultKind::Late, 8, kAwaitedMs + 240},
        FaultCase{"ModbusLateSixTimeOuts", SimProtocol::Modbus, SimFaultKind::Late, 8, kAwaitedMs + 480},
        FaultCase{"InverterNoReply", SimProtocol::Inverter, SimFaultKind::NoReply, 8},
        FaultCase{"ModbusNoReply", SimProtocol::Modbus, SimFaultKind::NoReply, 8},
        FaultCase{"InverterChecksum", SimProtocol::Inverter, SimFaultKind::BadCheck, 8},
        FaultCase{"ModbusCrc", SimProtocol::Modbus, SimFaultKind::BadCheck, 8},
        FaultCase{"InverterGarbage", SimProtocol::Inverter, SimFaultKind::Garbage, 8},
        FaultCase{"ModbusGarbage", SimProtocol::Modbus, SimFaultKind::Garbage, 8},
        FaultCase{"ModbusException", SimProtocol::Modbus, SimFaultKind::Exception, 8}),
    caseName);
INSTANTIATE_TEST_SUITE_P(Lateness, TransferFaults, testing::ValuesIn(latenessSweep()), caseName);

TEST_P(TransferFaults, ImportStoresOnlyTheDrivesOwnValuesAndMarksAndListsEveryFailure) {
    hitReplies();
    int failures = 0;
    for (int r = 0; r < GetParam().runs; ++r) {
        setDriveValues(r);
        // A MODBUS register only confirms a 32-bit value the table already holds.
        for (int i : {kPos, kOffset})
            rig.setValue(i, QString::number(driveNumber(i)));
        ResultText result;
        const int errors = run(kModeImport, result);
        QStringList listed;
        for (int i = 0; i < kCount; ++i) {
            if (failed(i, result.lines())) {
                listed << line(i);
                continue;
            }
            EXPECT_EQ(ParseDecimalPrefix(rig.value(i)), driveNumber(i))
                << "run " << r << ", " << rig.comNo(i).toStdString() << ": a value no reply of its own gave";
        }
        EXPECT_EQ(text(result.lines().mid(1)), text(listed)) << "run " << r;
        EXPECT_EQ(errors, listed.size()) << "run " << r;
        failures += errors;
    }
    if (faultsFail(GetParam())) {
        EXPECT_GT(failures, 0) << "the faults never hit";
    }
    if (GetParam().kind == SimFaultKind::Late && GetParam().lateMs <= 5 * kTimeoutMs) {
        // Well within the second a reply is awaited once the drive has been seen late: only the
        // requests that time out before the first late reply lands fail, and no box comes (a
        // drive that answers late is not a silent one).
        EXPECT_LE(failures, 1 + GetParam().lateMs / kTimeoutMs);
        EXPECT_TRUE(rig.prompter.boxes().empty());
    }
}

TEST_P(TransferFaults, ComparisonWithAnEqualTableFindsNoDifferenceAndListsEveryFailure) {
    hitReplies();
    int failures = 0;
    for (int r = 0; r < GetParam().runs; ++r) {
        setDriveValues(r);
        for (int i = 0; i < kCount; ++i)
            rig.setValue(i, QString::number(driveNumber(i)));
        ResultText result;
        const int outcome = run(kModeComparison, result);
        EXPECT_LT(outcome, 1000) << "run " << r << ": a difference that a wrong reply made";
        QStringList listed;
        for (int i = 0; i < kCount; ++i)
            if (failed(i, result.bufferedLines()))
                listed << line(i);
        EXPECT_EQ(text(result.bufferedLines().mid(1)), text(listed)) << "run " << r;
        failures += outcome % 1000;
    }
    if (faultsFail(GetParam())) {
        EXPECT_GT(failures, 0) << "the faults never hit";
    }
}

TEST_P(TransferFaults, ExportWritesExactlyTheIntendedValuesAndMarksAndListsEveryFailure) {
    // The observer owns the log: it may outlive this body in the drive.
    struct WriteLog {
        std::mutex mutex;
        std::vector<SimWrite> writes;
    };
    const auto log = std::make_shared<WriteLog>();
    rig.sim->setWriteObserver([log](const SimWrite& w) {
        std::lock_guard lock(log->mutex);
        log->writes.push_back(w);
    });
    hitReplies();
    int failures = 0;
    for (int r = 0; r < GetParam().runs; ++r) {
        // The late replies of the run before arrive before this one starts.
        rig.clock.advance(2 * GetParam().lateMs);
        setDriveValues(r);
        std::map<QString, std::int64_t> intended;
        for (int i = 0; i < kCount; ++i) {
            const std::int64_t v = driveValue(i, r + 1);
            if (v < 0 && i != kBias)
                continue;
            rig.setValue(i, QString::number(v));
            rig.setChanged(i, true);
            if (rig.flag(i) != QLatin1String("1"))
                intended[rig.comNo(i)] = v;
        }
        {
            std::lock_guard lock(log->mutex);
            log->writes.clear();
        }
        ResultText result;
        const int errors = run(kModeExport, result);
        std::lock_guard lock(log->mutex);
        for (const SimWrite& w : log->writes) {
            ASSERT_TRUE(intended.count(w.comNo))
                << "run " << r << ": " << w.comNo.toStdString() << " written";
            EXPECT_EQ(w.value, intended[w.comNo]) << "run " << r << ", " << w.comNo.toStdString();
        }
        QStringList listed;
        for (int i = 0; i < kCount; ++i) {
            if (!intended.count(rig.comNo(i)))
                continue;
            if (failed(i, result.lines()))
                listed << line(i);
            else
                EXPECT_EQ(driveNumber(i), intended[rig.comNo(i)])
                    << "run " << r << ", " << rig.comNo(i).toStdString();
        }
        EXPECT_EQ(text(result.lines().mid(1)), text(listed)) << "run " << r;
        EXPECT_EQ(errors, listed.size());
        failures += errors;
        for (int i = 0; i < kCount; ++i)
            rig.context.drive.parameters[std::size_t(i)].flag = i == kLocked ? 1 : 0;
    }
    if (faultsFail(GetParam())) {
        EXPECT_GT(failures, 0) << "the faults never hit";
    }
}

// ---- A drive that stops answering ----

// The simulated drive as a process of its own on the rig's line (it can be stopped and resumed).
std::unique_ptr<DrivesimProcess> driveProcess(TransferRig& rig, QStringList extra = {}) {
    rig.server->close();
    const QString path = rig.folder.filePath(QStringLiteral("sim-COM1"));
    QStringList args{"--protocol", rig.modbus() ? "modbus" : "inverter",
                     "--data",     rig.folder.path(),
                     "--type",     "HXA1",
                     "--cpu",      "V100",
                     "--capacity", "-0.75K",
                     "--station",  "0"};
    auto drive = std::make_unique<DrivesimProcess>(args + extra, path);
    rig.link->setPortPathResolver([path](const QString&) { return path; });
    return drive;
}

class SilentDrive : public testing::TestWithParam<SimProtocol> {};

INSTANTIATE_TEST_SUITE_P(BothProtocols, SilentDrive,
                         testing::Values(SimProtocol::Inverter, SimProtocol::Modbus), protocolName);

TEST_P(SilentDrive, AStoppedDriveBringsTheBoxOnceTheCheckAfterThreeSilentExchangesHearsNothing) {
    if (!QFileInfo(DrivesimProcess::program()).isExecutable())
        GTEST_SKIP() << "build the drivesim target";
    TransferRig rig{GetParam(), Wire::Pty};
    ASSERT_TRUE(rig.loaded);
    const std::unique_ptr<DrivesimProcess> process = driveProcess(rig);
    DrivesimProcess& drive = *process;
    ASSERT_TRUE(drive.running());
    // Room for the drive's answers on a loaded machine until it stops; then the silence is
    // waited out briefly.
    constexpr int kSilenceMs = 100;
    rig.link->setReplyTimeout(kLoadedReplyShortMs);
    ASSERT_FALSE(rig.options.showTransferErrors.checked());
    ASSERT_TRUE(rig.connect());

    // The drive stops as the job shows its status line, before the first request, once the
    // kernel says it has stopped.
    std::size_t writesAtStop = 0;
    qint64 stoppedAt = 0;
    class Progress : public WorkView {
    public:
        std::function<void()> first;
        void setStatusText(const QString&) override {
            if (first)
                std::exchange(first, nullptr)();
        }
        void setNoteText(const QString&, bool) override {}
        void setProgress(int) override {}
        void setStartCancelEnabled(bool) override {}
        void showReadyButtons() override {}
        void showOkButton(bool) override {}
        void closeWindow() override {}
        void repaintNow() override {}
    } progress;
    progress.first = [&] {
        drive.pause();
        rig.link->setReplyTimeout(kSilenceMs);
        stoppedAt = TickCount();
        writesAtStop = rig.frameCount();
    };
    std::size_t writesAtBox = 0;
    qint64 boxAt = 0;
    class BoxClock : public ScriptedPrompter {
    public:
        std::function<void()> onBox;
        BoxAnswer message(const QString& t, const QString& c, BoxIcon i, BoxButtons b, QWidget* p) override {
            if (onBox)
                onBox();
            return ScriptedPrompter::message(t, c, i, b, p);
        }
    };
    BoxClock prompter;
    prompter.onBox = [&] {
        boxAt = TickCount();
        writesAtBox = rig.frameCount();
    };
    prompter.answer(BoxAnswer::Abort);

    TransferJob job;
    job.mode = kModeImport;
    job.lastParaIndex = rig.context.drive.lastIndex();
    TransferEngine engine(rig.context, rig.options, *rig.link);
    engine.setJob(&job);
    engine.setView(&progress);
    engine.start();
    drive.resume();

    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::AbortRetryIgnore);
    ASSERT_GT(writesAtStop, 0u);
    // Three silent exchanges, then the check's read and its second try.
    EXPECT_EQ(writesAtBox - writesAtStop, std::size_t(kSilentDriveExchanges + 2));
    // Three short time-outs (and for MODBUS the syncs between them), then the check's two with
    // the late second, with room for a loaded machine.
    const int timeouts = rig.modbus() ? 2 * kSilentDriveExchanges + 2 : kSilentDriveExchanges + 2;
    EXPECT_LT(boxAt - stoppedAt, timeouts * kSilenceMs + 1000 + kLoadedReplyShortMs);
    EXPECT_EQ(rig.frameCount(), writesAtBox) << "Abort ends the job at once";
}

} // namespace

namespace {

// A drive that stood still answers what it was asked meanwhile once it goes on: those replies,
// owed, are read away, and the connect made as it goes on finds the drive.
TEST_P(SilentDrive, RepliesOwedFromAStallNeverFailTheConnectThatFollowsIt) {
    if (!QFileInfo(DrivesimProcess::program()).isExecutable())
        GTEST_SKIP() << "build the drivesim target";
    TransferRig rig{GetParam(), Wire::Pty};
    ASSERT_TRUE(rig.loaded);
    const std::unique_ptr<DrivesimProcess> process = driveProcess(rig, {"--wire-baud", "9600"});
    DrivesimProcess& drive = *process;
    ASSERT_TRUE(drive.running());
    rig.link->setReplyTimeout(100);
    ASSERT_TRUE(rig.connect());
    const int index = rig.context.drive.indexOfComNo(QStringLiteral("0001"));
    ASSERT_GE(index, 0);
    for (const bool connectDuringStall : {false, true}) {
        SCOPED_TRACE(connectDuringStall ? "a connect failed during the stall" : "reads failed during it");
        drive.pause();
        const int block = rig.context.drive.indexOfComNo(QStringLiteral("FC10"));
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(rig.link->transactNoted(index, QString(), QStringLiteral("R")).error);
            if (block >= 0) {
                EXPECT_TRUE(rig.link->transactNoted(block, QString(), QStringLiteral("R")).error);
            }
            if (connectDuringStall && i % 3 == 0) {
                EXPECT_FALSE(rig.connect());
            }
        }
        drive.resume();
        EXPECT_TRUE(rig.connect());
        EXPECT_FALSE(rig.link->transactNoted(index, QString(), QStringLiteral("R")).error);
    }
}

} // namespace

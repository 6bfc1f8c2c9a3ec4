// The transfer engine against the simulated drive on the fake port: import, export and
// comparison in both protocols, failures answered Abort, Retry and Ignore, the result lines,
// the end-of-run states and the automatic save. Its window is a recording view here.
#include "core/StoreCells.h"
#include "link/ProgressThrottle.h"
#include "link/ResultText.h"
#include "support/TransferFixture.h"

#include <algorithm>
#include <tuple>

using namespace transfertest;

namespace {

// What the engine shows, as a transfer window would show it.
class RecordingView : public WorkView {
public:
    void setStatusText(const QString& text) override { status = text; }
    void setNoteText(const QString& text, bool visible) override {
        note = text;
        noteVisible = visible;
    }
    void setProgress(int percent) override { progress = percent; }
    void setStartCancelEnabled(bool) override {}
    void showReadyButtons() override { okShown = false; }
    void showOkButton(bool keepNote) override {
        noteVisible = noteVisible && keepNote;
        okShown = true;
    }
    void closeWindow() override { closed = true; }
    void repaintNow() override {}

    QString status, note;
    bool noteVisible = false, okShown = false, closed = false;
    int progress = 0;
};

// One job as a command prepares it, shown and ready to start.
class Job {
public:
    Job(TransferRig& rig, std::uint32_t mode, int last) : engine_(rig.context, rig.options, *rig.link) {
        transfer.mode = mode;
        transfer.lastParaIndex = last;
        engine_.setView(&view);
        engine_.setJob(&transfer);
        engine_.setResult(&result);
        engine_.showReady();
    }
    void start() { engine_.start(); }
    TransferEngine& engine() { return engine_; }
    // The window still shows (it closes by itself after failures).
    bool shown() const { return !view.closed; }

    TransferJob transfer;
    RecordingView view;
    ResultText result;

private:
    TransferEngine engine_;
};

class Transfer : public testing::TestWithParam<SimProtocol> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
        start = rig.frameCount();
    }
    bool modbus() const { return rig.modbus(); }
    // 32-bit values that a MODBUS register carries whole, so that a comparison finds them
    // equal in both protocols.
    void fitRegisters() {
        for (int i : {kPos, kOffset}) {
            rig.setValue(i, "7");
            rig.setDrive(i, 7);
        }
    }
    TransferRig rig{GetParam()};
    std::size_t start = 0;
};

INSTANTIATE_TEST_SUITE_P(BothProtocols, Transfer, testing::Values(SimProtocol::Inverter, SimProtocol::Modbus),
                         protocolName);

TEST_P(Transfer, ImportReadsEveryParameterOnceInTableOrderAndTakesTheDrivesValues) {
    rig.setDrive(kFreq, 1234);
    rig.setDrive(kBias, 0xFFFF);
    if (modbus()) {
        fitRegisters();
    } else {
        rig.setDrive(kPos, 3000000000LL);
        rig.setDrive(kOffset, -100000);
    }
    rig.setDrive(kMonitor, 9);
    const int last = rig.context.drive.lastIndex();
    Job job(rig, kModeImport, last);
    EXPECT_EQ(job.view.status, "m61");
    job.start();

    std::vector<std::string> expected;
    for (int i = 0; i <= last; ++i)
        expected.push_back("R " + rig.comNo(i).toStdString());
    EXPECT_EQ(rig.frameTexts(start), expected);
    EXPECT_EQ(rig.value(kFreq), "1234");
    EXPECT_EQ(rig.value(kBias), "-1"); // 16-bit signed: 0xFFFF is -1
    EXPECT_EQ(rig.value(kMonitor), "9");
    EXPECT_EQ(rig.value(kType), "12");
    if (modbus()) {
        // A MODBUS register confirms the 32-bit value the table holds.
        EXPECT_EQ(rig.value(kPos), "7");
        EXPECT_EQ(rig.value(kOffset), "7");
    } else {
        EXPECT_EQ(rig.value(kPos), "3000000000");
        EXPECT_EQ(rig.value(kOffset), "-100000");
    }
    for (int i = 0; i <= last; ++i)
        EXPECT_EQ(rig.flag(i), i == kLocked ? "1" : "0") << i;
    EXPECT_EQ(StoreCells::work(rig.context, UP_ChangeIndex, kFreq), "1");
    EXPECT_EQ(StoreCells::work(rig.context, UP_ChangeIndex, kRef), "0")
        << "500 is its default, taken from 0000";

    // No failure and "Display Communication Result" on: the outcome stays in the window.
    EXPECT_TRUE(job.shown());
    EXPECT_EQ(job.view.status, "Communication was finished without error.");
    EXPECT_TRUE(job.view.okShown);
    EXPECT_EQ(job.view.progress, 100);
    EXPECT_FALSE(job.engine().resultWanted());
    EXPECT_TRUE(job.engine().ran());
    EXPECT_EQ(job.result.lines(), QStringList{"* Communication Error Parameters"});
    EXPECT_TRUE(rig.prompter.boxes().empty());
}

TEST_P(Transfer, AFailedReadTakesTheDefaultAndIsListedUnlessItIsAMaintenanceNumber) {
    rig.silent = {{"0001", 0}, {"FB07", 0}};
    Job job(rig, kModeImport, rig.context.drive.lastIndex());
    job.start();

    EXPECT_EQ(rig.value(kBias), "-50");
    EXPECT_EQ(rig.flag(kBias), "2");
    EXPECT_EQ(rig.value(kType), "0");
    EXPECT_EQ(rig.flag(kType), "2");
    EXPECT_EQ(job.engine().errorCount(), 2);
    EXPECT_EQ(job.result.lines(), (QStringList{"* Communication Error Parameters", "F01: Bias"}));
    EXPECT_FALSE(job.shown()) << "closes by itself after failures";
    EXPECT_TRUE(job.engine().resultWanted());

    rig.store.enterMaintenance(false);
    Job again(rig, kModeImport, rig.context.drive.lastIndex());
    again.start();
    EXPECT_EQ(again.result.lines(),
              (QStringList{"* Communication Error Parameters", "F01: Bias", "FB07: Type"}));
}

TEST_P(Transfer, RetryRepeatsTheSameRequestAndOnlyTheFinalIgnoreCounts) {
    rig.options.showTransferErrors.setChecked(true);
    rig.silent = {{"0001", 0}};
    rig.prompter.answer(BoxAnswer::Retry);
    rig.prompter.answer(BoxAnswer::Retry);
    rig.prompter.answer(BoxAnswer::Ignore);
    Job job(rig, kModeImport, kRef);
    job.start();

    // A read that the failed one's late reply could pass for is preceded by a read whose reply
    // cannot: the maker's read of 0001 by 0000, any MODBUS read by the display block.
    const std::string sync = rig.modbus() ? "R FC10" : "R 0000";
    std::vector<std::string> frames{"R 0000", "R 0001", sync, "R 0001", sync, "R 0001"};
    if (rig.modbus())
        frames.push_back(sync);
    frames.push_back("R 0002");
    EXPECT_EQ(rig.frameTexts(start), frames);
    EXPECT_EQ(job.engine().errorCount(), 1);
    ASSERT_EQ(rig.prompter.boxes().size(), 3u);
    const auto& box = rig.prompter.boxes().front();
    EXPECT_EQ(box.text, "m67\nm68 F01\n\nm69\nm70\nm71");
    EXPECT_EQ(box.caption, "m0");
    EXPECT_EQ(box.icon, BoxIcon::Warning);
    EXPECT_EQ(box.buttons, BoxButtons::AbortRetryIgnore);
}

TEST_P(Transfer, ARetryThatSucceedsCountsNothing) {
    rig.options.showTransferErrors.setChecked(true);
    rig.silent = {{"0001", 1}};
    rig.setDrive(kBias, 5);
    rig.prompter.answer(BoxAnswer::Retry);
    Job job(rig, kModeImport, kRef);
    job.start();
    EXPECT_EQ(job.engine().errorCount(), 0);
    EXPECT_EQ(rig.value(kBias), "5");
    EXPECT_EQ(rig.flag(kBias), "0");
}

// Three replies lost in a row with the error display off: the drive is read once more as the
// connect's probe reads it. A drive that answers that is not gone and brings no box; one that
// answers nothing brings the Abort/Retry/Ignore box.
TEST_P(Transfer, ThreeLostRepliesBringTheBoxOnlyFromADriveThatAnswersNothingMore) {
    ASSERT_FALSE(rig.options.showTransferErrors.checked());
    std::map<QString, int> stopped{{"FC10", 0}};
    for (int i = 0; i < kCount; ++i)
        stopped[rig.comNo(i)] = 0;
    struct Case {
        const char* what;
        std::map<QString, int> silent;
        bool gone;
    };
    const Case cases[] = {
        {"lossy", {{"0001", 1}, {"0002", 1}, {"0103", 1}, {"FC10", 3}}, false},
        {"stopped", stopped, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig.clock.advance(61 * 1000); // nothing owed from before
        rig.prompter.answer(BoxAnswer::Abort);
        rig.silent = c.silent;
        const std::size_t from = rig.frameCount();
        Job job(rig, kModeImport, rig.context.drive.lastIndex());
        job.start();
        const std::vector<std::string> frames = rig.frameTexts(from);
        if (c.gone) {
            ASSERT_EQ(rig.prompter.boxes().size(), 1u);
            EXPECT_EQ(rig.prompter.boxes()[0].buttons, BoxButtons::AbortRetryIgnore);
        } else {
            EXPECT_TRUE(rig.prompter.boxes().empty());
            EXPECT_EQ(job.engine().errorCount(), 3);
            EXPECT_EQ(std::count(frames.begin(), frames.end(), "R 0103"), 2) << "the check's read";
            EXPECT_EQ(frames.back(), "R " + rig.comNo(rig.context.drive.lastIndex()).toStdString());
        }
    }
}

TEST_P(Transfer, AbortEndsTheJobAtOnceWithoutTheSecondPass) {
    rig.options.showTransferErrors.setChecked(true);
    rig.silent = {{"0001", 0}};
    rig.setDrive(kFreq, 1234);
    rig.prompter.answer(BoxAnswer::Abort);
    Job job(rig, kModeImport, rig.context.drive.lastIndex());
    job.start();

    EXPECT_EQ(rig.frameTexts(start), (std::vector<std::string>{"R 0000", "R 0001"}));
    EXPECT_EQ(rig.value(kFreq), "500") << "working values stay as they were";
    EXPECT_EQ(rig.flag(kFreq), "0");
    EXPECT_EQ(rig.flag(kBias), "2");
    EXPECT_FALSE(job.engine().resultWanted());
    EXPECT_TRUE(job.engine().ran());
    EXPECT_FALSE(job.shown());
    EXPECT_TRUE(job.result.lines() == QStringList{"* Communication Error Parameters"});
}

TEST_P(Transfer, ExportWritesChangedParametersOnlyWithTheKindTheOptionsAndMemoryGive) {
    rig.setValue(kFreq, "1234");
    rig.setChanged(kFreq, true);
    rig.setValue(kMonitor, "9");
    rig.setChanged(kMonitor, true);
    rig.setValue(kLocked, "44");
    rig.setChanged(kLocked, true);
    rig.setValue(kBias, "-7"); // not marked changed: not written
    const auto before = rig.driveSnapshot();
    Job job(rig, kModeExport, rig.context.drive.normalLastIndex);
    EXPECT_EQ(job.view.note, "m83") << "the note on unchanged parameters";
    EXPECT_TRUE(job.view.noteVisible);
    job.start();

    const char w = modbus() ? 'P' : 'W'; // MODBUS has one write function for both kinds
    EXPECT_EQ(rig.frameTexts(start),
              (std::vector<std::string>{std::string(1, w) + " 0000 1234", "P 0200 9"}));
    auto after = before;
    after["0000"] = 1234;
    after["0200"] = 9;
    EXPECT_EQ(rig.driveSnapshot(), after) << "nothing else was written";
    EXPECT_EQ(rig.flag(kFreq), "0");
    EXPECT_EQ(rig.flag(kLocked), "1");
    EXPECT_EQ(job.view.progress, 100);

    rig.options.exportToEeprom.setChecked(false);
    rig.options.exportChangedOnly.setChecked(false);
    const std::size_t second = rig.frameCount();
    Job all(rig, kModeExport, kBrake);
    all.start();
    EXPECT_EQ(rig.writesSince(second),
              (modbus()
                   ? std::vector<std::string>{"P 0000 1234", "P 0001 65529", "P 0002 500", "P 0104 65534",
                                              "P 0200 9", "P 0630 1"}
                   : std::vector<std::string>{"P 0000 1234", "P 0001 65529", "P 0002 500", "P 0103 100000",
                                              "P 0104 4294967294", "P 0200 9", "P 0630 1"}));
    // -2 survives a register write to a signed parameter; 100000 would not, and is not sent.
    EXPECT_EQ(rig.driveRaw(kOffset), std::uint32_t(-2));
    if (modbus()) {
        EXPECT_EQ(all.engine().errorCount(), 1);
        EXPECT_EQ(rig.flag(kPos), "2");
        EXPECT_EQ(all.result.lines(),
                  (QStringList{"* Communication Error Parameters", "F103: Position  (m120)"}));
    } else {
        EXPECT_EQ(all.engine().errorCount(), 0);
    }
}

TEST_P(Transfer, AnEchoIsComparedAsANumber) {
    rig.options.exportChangedOnly.setChecked(false);
    rig.setValue(kFreq, "05");
    rig.setValue(kBias, "+3");
    rig.setValue(kRef, "70000"); // more than 16 bits carry
    rig.tamper = [this](const Frame& f, Bytes& reply) {
        if (f.comNo == "0630" && f.kind != 'R') {
            reply[reply.size() - (modbus() ? 3 : 2)] ^= 1; // the drive took another value
            reseal(reply, modbus());
        }
    };
    Job job(rig, kModeExport, kBrake);
    job.start();
    EXPECT_EQ(rig.flag(kFreq), "0");
    EXPECT_EQ(rig.flag(kBias), "0");
    EXPECT_EQ(rig.flag(kRef), "2");
    EXPECT_EQ(rig.flag(kBrake), "2");
    EXPECT_EQ(rig.value(kRef), "70000") << "export never changes the working value";
    QStringList expected{"* Communication Error Parameters", "F02: Reference", "F630: Brake"};
    if (modbus())
        expected = QStringList{"* Communication Error Parameters", "F02: Reference", "F103: Position  (m120)",
                               "F630: Brake"};
    EXPECT_EQ(job.result.lines(), expected);
}

TEST_P(Transfer, ComparisonListsDifferencesThenFailures) {
    rig.setValue(kFreq, "1234"); // drive 500
    setDefinitionText(rig.context.drive.parameters[std::size_t(kBias)], PD_FTitle,
                      "B1");   // a two-character title
    rig.setValue(kBias, "-3"); // drive -50
    rig.silent = {{"0630", 0}};
    rig.setDrive(kRev, 9); // a maintenance parameter differs: listed only in maintenance mode
    fitRegisters();
    setDefinitionText(rig.context.drive.parameters[std::size_t(kFreq)], PD_Flag, "2");
    Job job(rig, kModeComparison, rig.context.drive.lastIndex());
    EXPECT_EQ(job.view.status, "m63");
    job.start();

    EXPECT_EQ(rig.writesSince(start), std::vector<std::string>{});
    EXPECT_EQ(job.result.lines(), (QStringList{
                                      "* Different Value Parameters",
                                      "        Inverter     KVR260X  Title",
                                      " F00:       5.00 ,     12.34  (Frequency)",
                                      "  B1:        -50 ,        -3  (Bias)",
                                      "",
                                      "* Communication Error Parameters",
                                      "F630: Brake",
                                  }));
    EXPECT_EQ(rig.flag(kFreq), "2") << "a difference leaves the flag as it was";
    EXPECT_EQ(rig.flag(kBrake), "2");
    EXPECT_EQ(rig.flag(kRev), "0");
    EXPECT_EQ(rig.value(kFreq), "1234");
    EXPECT_FALSE(job.shown());
    EXPECT_TRUE(job.engine().resultWanted());
}

TEST_P(Transfer, AComparisonWithoutDifferenceSaysSoInTheWindow) {
    fitRegisters();
    Job job(rig, kModeComparison, rig.context.drive.lastIndex());
    job.start();
    EXPECT_EQ(job.result.lines(), (QStringList{"* Different Value Parameters",
                                               "        Inverter     KVR260X  Title", "No Item."}));
    EXPECT_TRUE(job.shown());
    EXPECT_TRUE(job.view.noteVisible);
    EXPECT_EQ(job.view.note, "No Different Value.");
    EXPECT_TRUE(job.view.okShown);
    EXPECT_FALSE(job.engine().resultWanted());

    // A difference alone keeps the window open too, and the result window follows.
    rig.setValue(kBias, "1");
    Job diff(rig, kModeComparison, rig.context.drive.lastIndex());
    diff.start();
    EXPECT_TRUE(diff.shown());
    EXPECT_FALSE(diff.view.noteVisible);
    EXPECT_TRUE(diff.engine().resultWanted());
}

// ---- 32-bit parameters: MODBUS carries a register, their low 16 bits -----------------------

// A table value and the drive's of one 32-bit parameter.
struct WideCase {
    int index;
    std::int64_t table;
    std::int64_t drive;
};
const WideCase kWideCases[] = {
    {kPos, 100000, 100000},         // equal
    {kPos, 100000, 100000 + 65536}, // the same low 16 bits
    {kPos, 5, 100000},              // other low 16 bits
    {kPos, 4000000000, 4000000000}, // equal, beyond 31 bits
    {kOffset, -5, -5},              // signed, equal
    {kOffset, -5, 65531},           // signed, the same low 16 bits
    {kOffset, -5, -6},              // signed, other low 16 bits
};

bool sameLowHalf(const WideCase& c) {
    return (c.table & 0xFFFF) == (c.drive & 0xFFFF);
}

TEST_P(Transfer, ImportTakesA32BitValueWholeOrWhereItsRegisterConfirmsTheTablesElseMarksItNotRead) {
    for (const WideCase& c : kWideCases) {
        SCOPED_TRACE(testing::Message()
                     << rig.comNo(c.index).toStdString() << " table " << c.table << " drive " << c.drive);
        rig.setValue(c.index, QString::number(c.table));
        rig.setDrive(c.index, c.drive);
        Job job(rig, kModeImport, kOffset);
        job.start();
        const bool notRead = modbus() && !sameLowHalf(c);
        if (!modbus())
            EXPECT_EQ(rig.value(c.index), QString::number(c.drive));
        else if (!notRead)
            EXPECT_EQ(rig.value(c.index), QString::number(c.table)) << "the table's value stands";
        else
            EXPECT_EQ(rig.value(c.index), c.index == kPos ? "100000" : "-2")
                << "the default, as a failed read";
        EXPECT_EQ(rig.flag(c.index), notRead ? "2" : "0");
        EXPECT_EQ(job.engine().errorCount(), notRead ? 1 : 0);
        QStringList lines{"* Communication Error Parameters"};
        if (notRead)
            lines << (c.index == kPos ? "F103: Position  (m119)" : "F104: Offset  (m119)");
        EXPECT_EQ(job.result.lines(), lines);
        EXPECT_EQ(job.view.status == "Communication was finished without error.", !notRead);
        EXPECT_TRUE(rig.prompter.boxes().empty()) << "asking again would read the same 16 bits";
    }
}

TEST_P(Transfer, ComparisonOfA32BitValueListsOnlyARealDifferenceAndShowsARegisterAsItsLow16Bits) {
    for (const WideCase& c : kWideCases) {
        SCOPED_TRACE(testing::Message()
                     << rig.comNo(c.index).toStdString() << " table " << c.table << " drive " << c.drive);
        rig.setValue(c.index, QString::number(c.table));
        rig.setDrive(c.index, c.drive);
        Job job(rig, kModeComparison, c.index);
        job.start();
        const bool differs = modbus() ? !sameLowHalf(c) : c.table != c.drive;
        EXPECT_EQ(job.engine().differenceCount(), differs ? 1 : 0);
        if (!differs)
            continue;
        const QString name = c.index == kPos ? "F103: " : "F104: ";
        const QString table = QString::number(c.table).rightJustified(10);
        const QString tail = c.index == kPos ? "  (Position)" : "  (Offset)";
        const QString line =
            modbus()
                ? name + QString::number(c.drive & 0xFFFF).rightJustified(10) + " ," + table + tail + "  m121"
                : name + QString::number(c.drive).rightJustified(10) + " ," + table + tail;
        EXPECT_EQ(job.result.lines().value(2), line);
    }
}

TEST_P(Transfer, ExportWritesA32BitValueOverModbusOnlyWhereTheDriveKeepsItWhole) {
    rig.options.exportChangedOnly.setChecked(false);
    const struct {
        int index;
        std::int64_t value;
        bool fits; // over MODBUS
    } cases[] = {
        {kPos, 0, true},          {kPos, 65535, true},       {kPos, 65536, false},
        {kPos, 123456, false},    {kPos, 4000000001, false}, {kOffset, -5, true},
        {kOffset, 32767, true},   {kOffset, -32768, true},   {kOffset, 32768, false},
        {kOffset, -32769, false}, {kOffset, -100000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << rig.comNo(c.index).toStdString() << " " << c.value);
        rig.setDrive(c.index, 9);
        rig.setValue(c.index, QString::number(c.value));
        const std::size_t from = rig.frameCount();
        Job job(rig, kModeExport, c.index);
        job.start();
        const bool sent = !modbus() || c.fits;
        // Over MODBUS the register, the value's low 16 bits.
        const std::string frame = (modbus() ? "P " : "W ") + rig.comNo(c.index).toStdString() + ' ' +
                                  std::to_string(modbus() ? c.value & 0xFFFF : std::uint32_t(c.value));
        const std::vector<std::string> writes = rig.writesSince(from);
        EXPECT_EQ(std::count(writes.begin(), writes.end(), frame), sent ? 1 : 0);
        EXPECT_EQ(normaliseRaw(rig.driveRaw(c.index), true, c.index == kOffset), sent ? c.value : 9);
        EXPECT_EQ(rig.flag(c.index), sent ? "0" : "2");
        EXPECT_EQ(job.engine().errorCount(), sent ? 0 : 1);
        if (!sent) {
            EXPECT_EQ(job.result.lines().value(1),
                      (c.index == kPos ? "F103: Position" : "F104: Offset") + QStringLiteral("  (m120)"));
        }
        rig.setValue(c.index, "9"); // a value the next case's export writes whole
    }
}

// The same through the simulated drive on a pseudo-terminal, the table at its defaults
// (Position 100000, Offset -2).
class WideOnTheLine : public testing::TestWithParam<SimProtocol> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
    }
    bool modbus() const { return rig.modbus(); }
    TransferRig rig{GetParam(), Wire::Pty};
};

INSTANTIATE_TEST_SUITE_P(BothProtocols, WideOnTheLine,
                         testing::Values(SimProtocol::Inverter, SimProtocol::Modbus), protocolName);

TEST_P(WideOnTheLine, ImportComparisonAndExportOf32BitParameters) {
    rig.setDrive(kOffset, -5);
    Job in(rig, kModeImport, kOffset);
    in.start();
    EXPECT_EQ(rig.value(kPos), "100000");
    EXPECT_EQ(rig.flag(kPos), "0");
    EXPECT_EQ(rig.value(kOffset), modbus() ? "-2" : "-5");
    EXPECT_EQ(rig.flag(kOffset), modbus() ? "2" : "0");
    QStringList lines{"* Communication Error Parameters"};
    if (modbus())
        lines << "F104: Offset  (m119)"; // -5 and -2 differ in their low 16 bits
    EXPECT_EQ(in.result.lines(), lines);

    rig.setValue(kOffset, "-5");
    Job compared(rig, kModeComparison, kOffset);
    compared.start();
    EXPECT_EQ(compared.engine().differenceCount(), 0);
    EXPECT_EQ(compared.engine().errorCount(), 0);

    rig.options.exportChangedOnly.setChecked(false);
    rig.setValue(kPos, "123456");
    rig.setValue(kOffset, "-7");
    Job out(rig, kModeExport, kOffset);
    out.start();
    EXPECT_EQ(rig.driveRaw(kPos), modbus() ? 100000u : 123456u);
    EXPECT_EQ(rig.driveRaw(kOffset), std::uint32_t(-7));
    EXPECT_EQ(out.engine().errorCount(), modbus() ? 1 : 0);
}

// ---- One protocol is enough below --------------------------------------------------------

TEST_F(TransferRun, HXB3BeforeCpu300GetsItsBrakeParameterCleared) {
    rig.context.drive.identity.typeName = "HXB3";
    rig.setDrive(kCpu, 250);
    rig.setDrive(kBrake, 2);
    Job job(rig, kModeImport, rig.context.drive.lastIndex());
    job.start();
    EXPECT_EQ(rig.value(kCpu), "250");
    EXPECT_EQ(rig.value(kBrake), "0");
    EXPECT_EQ(rig.frameTexts(start).back(), "R FE08") << "read once more after the two passes";
}

TEST_F(TransferRun, HXB3ModelStepLeavesTheTableAloneWhenTheReadFailsOrTheVersionIsNew) {
    rig.context.drive.identity.typeName = "HXB3";
    rig.setDrive(kBrake, 2);
    rig.silent = {{"FE08", 0}};
    Job failed(rig, kModeImport, rig.context.drive.normalLastIndex);
    failed.start();
    EXPECT_EQ(rig.value(kBrake), "2") << "a failed read is no version 0";
    EXPECT_EQ(rig.value(kCpu), "0");

    rig.silent.clear();
    rig.setDrive(kCpu, 1000); // 1000 comes after 300 as a number
    Job newer(rig, kModeImport, rig.context.drive.normalLastIndex);
    newer.start();
    EXPECT_EQ(rig.value(kBrake), "2");
    EXPECT_EQ(rig.value(kCpu), "1000");
}

TEST_F(TransferRun, UnsignedValuesFrom2To31SurviveAnImportAndAnExport) {
    rig.setDrive(kPos, 3000000000LL);
    Job in(rig, kModeImport, rig.context.drive.normalLastIndex);
    in.start();
    ASSERT_EQ(rig.value(kPos), "3000000000");

    rig.setDrive(kPos, 1);
    rig.options.exportChangedOnly.setChecked(false);
    const std::size_t from = rig.frameCount();
    Job out(rig, kModeExport, kPos);
    out.start();
    EXPECT_EQ(out.engine().errorCount(), 0);
    EXPECT_EQ(rig.flag(kPos), "0");
    EXPECT_EQ(rig.driveRaw(kPos), 3000000000u);
    EXPECT_EQ(rig.writesSince(from).back(), "W 0103 3000000000");
}

TEST_F(TransferRun, NoFailureNoFile) {
    rig.options.showComparisonResult.setChecked(false);
    rig.options.saveTransferResult.setChecked(true);
    int saves = 0;
    Job job(rig, kModeImport, kRef);
    job.engine().setResultSaver([&saves] { ++saves; });
    job.start();
    EXPECT_EQ(saves, 0);
}

TEST_F(TransferRun, ASingleParameterJobEndsAtFullProgress) {
    Job job(rig, kModeImport, 0);
    job.start();
    EXPECT_EQ(job.view.progress, 100);
    EXPECT_EQ(rig.frameTexts(start), std::vector<std::string>{"R 0000"});
}

TEST_F(TransferRun, TheBarIsDrawnWhileTheNextRequestIsOnTheWireAndTheLastStateAtTheEnd) {
    // Each drawing: its percent, the job's requests written by then and whether a reply is owed.
    using Drawing = std::tuple<int, std::size_t, bool>;
    class DrawingView : public RecordingView {
    public:
        std::function<void(int)> onProgress;
        void setProgress(int percent) override { onProgress(percent); }
    };
    std::vector<Drawing> drawn;
    DrawingView view;
    view.onProgress = [&](int percent) {
        drawn.emplace_back(percent, rig.frameCount() - start, rig.fake->unreadBytes() > 0);
    };
    // A throttle interval passes while parameter 0104 (index 4) is asked for.
    rig.tamper = [&](const Frame& f, Bytes&) {
        if (f.comNo == QLatin1String("0104"))
            rig.clock.advance(ProgressThrottle::kIntervalMs);
    };
    TransferJob transfer{kModeImport, kLast0};
    TransferEngine engine(rig.context, rig.options, *rig.link);
    engine.setJob(&transfer);
    engine.setView(&view);
    engine.start();
    // The first state and the one due after 0104, each with the next request; the held last one
    // once the job's requests are done.
    const std::vector<Drawing> expected{
        {100 / kLast0, 2, true}, {5 * 100 / kLast0, 6, true}, {100, 9, false}};
    EXPECT_EQ(drawn, expected);
}

TEST(TransferValues, RawValuesKeepTheirSizeAndSign) {
    struct Case {
        std::int64_t raw;
        bool is32, isSigned;
        std::int64_t expected;
    } cases[] = {
        {0xFFFF, false, true, -1},
        {0xFFFF, false, false, 65535},
        {0x1FFFF, false, false, 65535},
        {3000000000LL, true, false, 3000000000LL},
        {3000000000LL, true, true, 3000000000LL - 4294967296LL},
        {-2, true, false, 4294967294LL},
        {-2, false, true, -2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(normaliseRaw(c.raw, c.is32, c.isSigned), c.expected)
            << c.raw << " " << c.is32 << c.isSigned;
}

TEST(TransferProgress, ShownAtMostEveryIntervalAndTheLastStateAlways) {
    // Each step: a new state at `atMs` (or the end of the job), and whether it shows.
    constexpr qint64 t = 1000, gap = ProgressThrottle::kIntervalMs;
    struct Step {
        qint64 atMs;
        bool end;
        bool shown;
    } steps[] = {
        {t, false, true},       // the first state at once
        {t + 10, false, false}, // held
        {t + gap - 1, false, false},
        {t + gap - 1, true, true},      // the end shows what was held
        {t + gap + 10, true, false},    // nothing held: nothing to show again
        {t + 2 * gap - 1, false, true}, // the interval counts from the last showing
        {t + 3 * gap - 2, false, false},
        {t + 3 * gap - 1, false, true},
        {t + 3 * gap, true, false},
    };
    ProgressThrottle throttle;
    for (const Step& s : steps)
        EXPECT_EQ(s.end ? throttle.flush(s.atMs) : throttle.due(s.atMs), s.shown) << s.atMs << " " << s.end;
    // A new job starts afresh, whatever its clock says.
    EXPECT_FALSE(throttle.due(t + 3 * gap + 1));
    throttle.reset();
    EXPECT_TRUE(throttle.due(t + 3 * gap + 2));
    EXPECT_FALSE(throttle.flush(t + 3 * gap + 3));
}

} // namespace

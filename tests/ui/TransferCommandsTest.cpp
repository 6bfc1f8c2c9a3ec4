// The five transfer commands end to end: the program's link on a pseudo-terminal, the
// simulated drive behind it in both protocols, the transfer and result windows offscreen.
// What reached the drive is checked twice: the requests as written, and the drive's memory.
#include "ui/TransferCommands.h"
#include "support/LoadedMachine.h"
#include "support/TransferFixture.h"
#include "ui/ResultWindow.h"
#include "ui/TransferWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTimer>

#include <set>

using namespace transfertest;

namespace {

// The main window as the commands see it. Modal windows are run by hand: the transfer
// window is shown and its Start pressed (or whatever the test says), the result window's
// lines are kept.
class TestHost : public TransferHost {
public:
    bool commandItemEnabled(DriveCommand c) const override { return !disabled.count(c); }
    bool tableActive() const override { return state.tableActive; }
    void refreshTable() override { events.push_back("refresh"); }
    void focusTableGrid() override { events.push_back("focus"); }
    void importSelected() override { events.push_back("import selected"); }
    void exportSelected() override { events.push_back("export selected"); }
    QWidget* ownerWindow() override { return nullptr; }
    int showModal(QDialog& dialog) override {
        if (realModal)
            return TransferHost::showModal(dialog);
        if (auto* bar = qobject_cast<TransferWindow*>(&dialog)) {
            events.push_back("transfer window");
            bar->show();
            if (onTransferWindow)
                onTransferWindow(*bar);
            else
                bar->startButton->click();
            if (bar->isVisible())
                bar->okClicked();
        } else if (auto* result = qobject_cast<ResultWindow*>(&dialog)) {
            events.push_back("result window");
            resultLines = result->lines();
        }
        return 0;
    }

    std::set<DriveCommand> disabled;
    DriveCheckState state;
    std::vector<std::string> events;
    QStringList resultLines;
    std::function<void(TransferWindow&)> onTransferWindow;
    bool realModal = false;
};

class Commands : public testing::TestWithParam<SimProtocol> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        checks.setOptionsOpener([this] {
            host.events.push_back("options");
            if (optionsSwitchCheckOff)
                rig.options.checkDriveTypeAndCapacity.setChecked(false);
        });
    }
    bool modbus() const { return rig.modbus(); }
    // The requests of a connect with the drive type's special-setup check off.
    static std::vector<std::string> connectAndCheck() { return {"R 0000", "R 0000"}; }
    static std::vector<std::string> identity() {
        return {"P FB91 100", "R FB07", "R FB05", "R FE08", "R FB72", "R FE08", "R FE08"};
    }
    static std::vector<std::string> readsUpTo(const TransferRig& rig, int last) {
        std::vector<std::string> out;
        for (int i = 0; i <= last; ++i)
            out.push_back("R " + rig.comNo(i).toStdString());
        return out;
    }
    static std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    }

    TransferRig rig{GetParam(), Wire::Pty};
    TestHost host;
    QStringList cpuForms{"V100"};
    QStringList cpuNumbers{"100"};
    DriveChecks checks{rig.context, rig.options, *rig.link, host.state, &cpuForms, &cpuNumbers};
    MainWindowLinks links;
    TransferCommands commands{rig.context, rig.options, *rig.link, host, checks, links};
    bool optionsSwitchCheckOff = false;
};

INSTANTIATE_TEST_SUITE_P(BothProtocols, Commands, testing::Values(SimProtocol::Inverter, SimProtocol::Modbus),
                         protocolName);

TEST_P(Commands, ImportTakesEveryValueOfTheDriveAndWritesOnlyTheAccessValue) {
    rig.setDrive(kFreq, 1234);
    rig.setDrive(kBias, 0xFFFF);
    rig.setDrive(kMonitor, 42);
    auto expected = rig.driveSnapshot();
    expected["FB91"] = 100;
    commands.importAll();

    EXPECT_EQ(
        rig.frameTexts(),
        join({connectAndCheck(), {"P FB91 100"}, identity(), readsUpTo(rig, rig.context.drive.lastIndex())}));
    EXPECT_EQ(rig.driveSnapshot(), expected);
    // The drive's 32-bit values are the table's defaults: a MODBUS register confirms them whole.
    for (int i = 0; i <= rig.context.drive.lastIndex(); ++i) {
        const auto p = rig.model.parameter(rig.comNo(i));
        EXPECT_EQ(rig.value(i), QString::number(normaliseRaw(p->raw, p->is32, p->isSigned))) << i;
    }
    EXPECT_EQ(rig.value(kBias), "-1");
    EXPECT_EQ(host.events, (std::vector<std::string>{"transfer window", "refresh", "focus"}));
    EXPECT_TRUE(rig.prompter.boxes().empty());
}

TEST_P(Commands, ExportWithoutMaintenanceModeWritesChangedOrdinaryParametersOnly) {
    rig.setValue(kFreq, "1234");
    rig.setChanged(kFreq, true);
    rig.setValue(kMonitor, "9");
    rig.setChanged(kMonitor, true);
    rig.setValue(kLocked, "44");
    rig.setChanged(kLocked, true);
    rig.setValue(kRev, "3"); // a maintenance parameter
    rig.setChanged(kRev, true);
    auto expected = rig.driveSnapshot();
    expected["0000"] = 1234;
    expected["0200"] = 9;
    expected["FB91"] = 100;
    commands.exportAll();

    const std::string eeprom = modbus() ? "P" : "W";
    EXPECT_EQ(rig.frameTexts(),
              join({connectAndCheck(), {"P FB91 0"}, identity(), {eeprom + " 0000 1234", "P 0200 9"}}));
    if (!modbus()) {
        const Bytes first{0x2F, 0x50, 0xFB, 0x91, 0x00, 0x00, 0x0B};
        EXPECT_EQ(rig.recorder->writes.at(2), first);
    }
    EXPECT_EQ(rig.driveSnapshot(), expected) << "nothing but the intended parameters was written";
    EXPECT_EQ(host.events, (std::vector<std::string>{"transfer window", "refresh", "focus"}));
}

TEST_P(Commands, ExportInMaintenanceModeVisitsEveryParameter) {
    rig.options.useMaintenanceMode.setChecked(true);
    rig.setValue(kRev, "3");
    rig.setChanged(kRev, true);
    commands.exportAll();
    const auto frames = rig.frameTexts();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[2], "P FB91 100");
    EXPECT_EQ(frames.back(), (modbus() ? "P FB72 3" : "W FB72 3"));
    EXPECT_EQ(rig.model.parameter("FB72")->raw, 3u);
}

TEST_P(Commands, ComparisonWithoutTheIdentityCheckReadsAndLeavesTheTable) {
    rig.options.checkDriveTypeAndCapacity.setChecked(false);
    rig.setValue(kFreq, "1234");
    for (int i : {kPos, kOffset}) { // values a MODBUS register carries whole
        rig.setValue(i, "7");
        rig.setDrive(i, 7);
    }
    const auto before = rig.driveSnapshot();
    QApplication::clipboard()->setText(QStringLiteral("the user's own text"));
    commands.compareAll();

    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("the user's own text"));
    EXPECT_EQ(rig.frameTexts(),
              join({connectAndCheck(), {"P FB91 0"}, readsUpTo(rig, rig.context.drive.normalLastIndex)}));
    auto expected = before;
    expected["FB91"] = 0;
    EXPECT_EQ(rig.driveSnapshot(), expected);
    EXPECT_EQ(host.events, (std::vector<std::string>{"transfer window", "result window", "focus"}))
        << "no refresh: an undo step made before stays";
    ASSERT_EQ(host.resultLines.size(), 3);
    EXPECT_EQ(host.resultLines[2], " F00:       5.00 ,     12.34  (Frequency)");
    EXPECT_EQ(rig.value(kFreq), "1234");
}

TEST_P(Commands, AMismatchCancelledInTheWarningStartsNoTransfer) {
    rig.setDrive(kCapa, 4);
    rig.prompter.answer(BoxAnswer::Cancel);
    commands.importAll();
    EXPECT_EQ(rig.frameTexts(), join({connectAndCheck(), {"P FB91 100"}, identity()}));
    EXPECT_EQ(host.events, std::vector<std::string>{});

    // OK opens the options; the check left on still stops the transfer.
    rig.prompter.answer(BoxAnswer::Ok);
    commands.importAll();
    EXPECT_EQ(host.events, std::vector<std::string>{"options"});

    // Switched off there, the transfer goes on.
    host.events.clear();
    optionsSwitchCheckOff = true;
    rig.prompter.answer(BoxAnswer::Ok);
    commands.importAll();
    EXPECT_EQ(host.events, (std::vector<std::string>{"options", "transfer window", "refresh", "focus"}));
}

TEST_P(Commands, AComparisonReportsAMismatchAndStillRuns) {
    rig.setDrive(kType, 13);
    rig.prompter.answer(BoxAnswer::Ok);
    commands.compareAll();
    ASSERT_EQ(rig.prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.prompter.boxes()[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(host.events.front(), "transfer window");
}

TEST_P(Commands, APortThatCannotBeOpenedIsReportedAndNothingIsSent) {
    rig.link->setPortPathResolver([](const QString&) { return QStringLiteral("/nonexistent/tty"); });
    rig.link->markSpecialSetup(true); // an earlier mark must not hide the failure
    rig.prompter.answer(BoxAnswer::Ok);
    rig.prompter.answer(BoxAnswer::Ok);
    commands.importAll();
    EXPECT_EQ(rig.prompter.texts(), (QStringList{"m2", "m3"}));
    EXPECT_EQ(rig.prompter.boxes()[1].icon, BoxIcon::Warning);
    EXPECT_EQ(rig.frameCount(), 0u);
    EXPECT_EQ(host.events, std::vector<std::string>{"focus"});
    EXPECT_FALSE(commands.workBar().engine().ran()) << "no job was started";
}

TEST_P(Commands, ASpeciallySetUpDriveEndsEveryCommandSilently) {
    rig.writeInfo("[Setup]\r\nSpChk=1\r\n");
    rig.model.setParameter("0999", 5);
    host.state.tableActive = true;
    const auto before = rig.driveSnapshot();
    commands.importAll();
    commands.exportAll();
    commands.compareAll();
    commands.importSelected();
    commands.exportSelected();
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_EQ(host.events, std::vector<std::string>{});
    EXPECT_TRUE(rig.prompter.boxes().empty());
    EXPECT_EQ(rig.writesSince(0), std::vector<std::string>{});
    EXPECT_EQ(rig.driveSnapshot(), before);
}

TEST_P(Commands, SelectedCommandsActOnlyForTheActiveTable) {
    commands.importSelected();
    commands.exportSelected();
    EXPECT_EQ(rig.frameCount(), 0u);
    EXPECT_TRUE(host.events.empty());

    host.state.tableActive = true;
    host.disabled = {DriveCommand::SelectedExport};
    commands.importSelected();
    commands.exportSelected();
    EXPECT_EQ(host.events, (std::vector<std::string>{"import selected", "focus"}));
    EXPECT_EQ(rig.frameTexts(), connectAndCheck()) << "the connect, then the special-setup check's own";
}

// The special-setup check connects silently and its failure greys the table's items: the
// selected commands say that the drive cannot be reached before it, as the whole-table ones do.
TEST_P(Commands, SelectedCommandsOnADriveThatDoesNotAnswerSaySo) {
    host.state.tableActive = true;
    rig.sim->setFaults({{SimFaultKind::NoReply, 1.0}});
    rig.link->setReplyTimeout(100);
    rig.prompter.answer(BoxAnswer::Ok);
    rig.prompter.answer(BoxAnswer::Ok);
    commands.importSelected();
    commands.exportSelected();
    EXPECT_EQ(rig.prompter.texts(), (QStringList{"m3", "m3"}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"focus", "focus"}));
}

TEST_P(Commands, ADisabledMenuItemStopsItsCommand) {
    host.disabled = {DriveCommand::Import, DriveCommand::Export, DriveCommand::Comparison};
    commands.importAll();
    commands.exportAll();
    commands.compareAll();
    EXPECT_EQ(rig.frameCount(), 0u);
    EXPECT_TRUE(host.events.empty());
}

TEST_P(Commands, CancelInTheTransferWindowLeavesTheTableAlone) {
    host.onTransferWindow = [](TransferWindow& bar) { bar.cancelButton->click(); };
    commands.importAll();
    EXPECT_EQ(rig.frameTexts(), join({connectAndCheck(), {"P FB91 100"}, identity()}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"transfer window", "focus"}));
}

TEST_P(Commands, FailuresEndInTheResultWindowAndAbortInNone) {
    rig.options.showTransferErrors.setChecked(true);
    // The silent drive is not waited for long; the connect before it is.
    const auto silentWhile = [this](TransferWindow& bar) {
        rig.sim->setFaults({{SimFaultKind::NoReply, 1.0}});
        rig.link->setReplyTimeout(100);
        bar.startButton->click();
        rig.link->setReplyTimeout(kLoadedReplyShortMs);
        rig.sim->setFaults({});
    };
    host.onTransferWindow = silentWhile;
    rig.prompter.answer(BoxAnswer::Retry);
    rig.prompter.answer(BoxAnswer::Abort);
    const QString before = rig.value(kFreq);
    commands.importAll();
    // The retry's read is preceded by a read of the display block (the drive may still owe the
    // first read's reply, which would look like its own); the silent drive answers neither.
    EXPECT_EQ(rig.frameTexts(), join({connectAndCheck(), {"P FB91 100"}, identity(), {"R 0000", "R FC10"}}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"transfer window", "refresh", "focus"}))
        << "aborted: the table is rebuilt, no result shown";
    EXPECT_EQ(rig.value(kFreq), before);
    EXPECT_EQ(rig.flag(kFreq), "2");

    // Failures without boxes: the window closes itself and the result window lists them.
    rig.options.showTransferErrors.setChecked(false);
    host.events.clear();
    host.onTransferWindow = [this, silentWhile](TransferWindow& bar) {
        commands.job().lastParaIndex = kBias; // two parameters are enough to wait for
        silentWhile(bar);
    };
    commands.importAll();
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"transfer window", "result window", "refresh", "focus"}));
    EXPECT_EQ(host.resultLines,
              (QStringList{"* Communication Error Parameters", "F00: Frequency", "F01: Bias"}));
}

TEST_P(Commands, ACommandStartedInsideAnotherReturnsAtOnce) {
    std::size_t nested = 0;
    EXPECT_FALSE(TransferCommands::running());
    host.onTransferWindow = [&](TransferWindow& bar) {
        EXPECT_TRUE(TransferCommands::running());
        const std::size_t before = rig.frameCount();
        commands.exportAll();
        commands.compareAll();
        nested = rig.frameCount() - before;
        bar.cancelButton->click();
    };
    commands.importAll();
    EXPECT_EQ(nested, 0u);
}

TEST_P(Commands, TheRealModalWindowsRunTheJob) {
    host.realModal = true;
    rig.setDrive(kFreq, 777);
    rig.options.showTransferResult.setChecked(false); // the window closes itself
    QTimer::singleShot(0, [] {
        if (auto* bar = qobject_cast<TransferWindow*>(QApplication::activeModalWidget()))
            bar->startButton->click();
    });
    commands.importAll();
    EXPECT_EQ(rig.value(kFreq), "777");
    EXPECT_FALSE(commands.workBar().isVisible());
}

} // namespace

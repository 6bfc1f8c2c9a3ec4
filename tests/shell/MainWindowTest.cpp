// The main window: texts, the routines of the first show, command gating and routing, the
// link icon and the activation rule.
#include "shell/StartUpFixture.h"

#include "core/ParameterStore.h"
#include "core/StoreCells.h"
#include "link/CommLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "shell/OptionsWindow.h"
#include "support/DeafLine.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "ui/CommSetupDialog.h"
#include "ui/HelpViewer.h"
#include "ui/ShippedTypeFixture.h"

#include <QElapsedTimer>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>

#include <memory>

namespace {

class MainWindowTest : public StartUpTestBase {
protected:
    MainWindowTest() {
        choose(QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004"));
        m.setStartupForm(
            [this] { choose(QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004")); });
    }

    void writeLanguage(const QByteArray& mainSection) {
        folder.writeFile(QStringLiteral("lng/Test.ini"),
                         "[General]\r\nMessage1=Confirmation\r\n[Main]\r\n" + mainSection);
        context.language.iniPath = folder.filePath(QStringLiteral("lng/Test.ini"));
    }

    // A table stand-in that records some of what the main window asks of it.
    struct RecordingTable : TableWindowControl {
        explicit RecordingTable(QStringList& calls) : calls(calls) {}
        void Show() override { calls << QStringLiteral("Show"); }
        void RefreshAll() override {}
        void FocusGrid() override { calls << QStringLiteral("Focus"); }
        QList<QStringList> rows() const override { return {}; }
        void runCommand(TableCommand c) override {
            switch (c) {
            case TableCommand::Undo:
                calls << QStringLiteral("Undo");
                break;
            case TableCommand::Copy:
                calls << QStringLiteral("Copy");
                break;
            case TableCommand::ParaHelp:
                calls << QStringLiteral("ParaHelp");
                break;
            default:
                break;
            }
        }
        QStringList& calls;
    };

    void wireTable() {
        m.setTable(&table);
        TableCommands& c = m.tableCommands();
        for (int i = 0; i < kTableCommandCount; ++i)
            c.setAvailable(TableCommand(i), true);
        c.setTableShown(true);
    }
    bool enabled(TableCommand c) { return m.tableCommands().enabled(c); }

    QStringList calls;
    RecordingTable table{calls};
    MainWindow m{context, options, installedAsker(), nullptr};
};

TEST_F(MainWindowTest, TextsComeFromTheLanguageFileWithEnglishDefaults) {
    writeLanguage("Menu1=Dateien\r\nMenu2j=XYZ\r\nToolB9=Tabelle\r\n");
    m.ApplyMainTexts();
    EXPECT_EQ(m.fileMenu->title(), QStringLiteral("Dateien"));
    EXPECT_EQ(m.item(MainCommand::Comparison)->text(), QStringLiteral("XYZ"));
    EXPECT_EQ(m.button(MainCommand::ParameterTable)->toolTip(), QStringLiteral("Tabelle"));
    EXPECT_EQ(m.item(MainCommand::ParameterTable)->text(), QStringLiteral("Parameter Table"));
    EXPECT_EQ(m.button(MainCommand::InverterInfo)->toolTip(), QStringLiteral("Inverter Information"));
    EXPECT_EQ(m.item(MainCommand::KeyPad)->text(), QStringLiteral("Key Pad"));
    EXPECT_EQ(m.missingFileDialog().title, QStringLiteral("Open"));
    EXPECT_EQ(m.missingFileDialog().filter,
              QStringLiteral("Inv Type Datas (*.inv)|*.inv|Inv Capa Datas (*.cap)|*.cap"));
    // The shipped languages name every item.
    context.language.iniPath = folder.filePath(QStringLiteral("lng/Japanese.ini"));
    m.ApplyMainTexts();
    EXPECT_NE(m.item(MainCommand::ParameterTable)->text(), QStringLiteral("Parameter Table"));
    EXPECT_TRUE(m.missingFileDialog().filter.contains(QStringLiteral("|*.inv|")));
    EXPECT_NE(m.missingFileDialog().title, QStringLiteral("Open"));
}

TEST_F(MainWindowTest, MenusOpenWithAltAndALetterInBothShippedLanguagesAndShowTheirTexts) {
    for (const char* language : {"Japanese", "English"}) {
        SCOPED_TRACE(language);
        context.language.iniPath = folder.filePath(QStringLiteral("lng/%1.ini").arg(QLatin1String(language)));
        m.ApplyMainTexts();
        // Alt+F opens Files, Alt+P Parameter, and so on: one letter each on the menu bar.
        QStringList barKeys;
        for (QAction* a : m.menuBar()->actions()) {
            const QKeySequence key = QKeySequence::mnemonic(a->text());
            EXPECT_FALSE(key.isEmpty()) << a->text().toStdString();
            EXPECT_FALSE(barKeys.contains(key.toString())) << a->text().toStdString();
            barKeys << key.toString();
        }
        EXPECT_EQ(QKeySequence::mnemonic(m.fileMenu->title()), QKeySequence(Qt::ALT | Qt::Key_F));
        EXPECT_EQ(QKeySequence::mnemonic(m.parameterMenu->title()), QKeySequence(Qt::ALT | Qt::Key_P));
        // Inside a menu every item has a letter of its own.
        for (QMenu* menu : {m.fileMenu, m.parameterMenu, m.monitoringMenu, m.toolsMenu, m.helpMenu}) {
            QStringList keys;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || a->objectName() == QLatin1String("PrinterSetup"))
                    continue;
                const QString key = QKeySequence::mnemonic(a->text()).toString();
                EXPECT_FALSE(key.isEmpty()) << a->text().toStdString();
                EXPECT_FALSE(keys.contains(key)) << a->text().toStdString();
                keys << key;
            }
        }
    }
    // Without the "&" the English menus (applied last) show the texts they always showed.
    EXPECT_EQ(QString(m.fileMenu->title()).remove(u'&'), QStringLiteral("Files"));
    EXPECT_EQ(QString(m.item(MainCommand::ChangedOnly)->text()).remove(u'&'),
              QStringLiteral("'Changed' Only"));
}

TEST_F(MainWindowTest, EveryCommandHasAnItemOrAButtonUnderANameOfItsOwn) {
    QStringList names;
    for (int i = 0; i < kMainCommandCount; ++i) {
        const MainCommand c = MainCommand(i);
        ASSERT_TRUE(m.item(c) || m.button(c)) << "command " << i << " has no row";
        for (QAction* a : {m.item(c), m.button(c)}) {
            if (!a)
                continue;
            EXPECT_FALSE(names.contains(a->objectName())) << a->objectName().toStdString();
            names << a->objectName();
        }
    }
}

TEST_F(MainWindowTest, QuickSettingShowsOrHidesEveryQuickControl) {
    wireTable();
    const struct {
        const char* name;
        QByteArray setup;
        bool visible;
    } cases[] = {
        {"absent", "", false},
        {"zero", "Quick=0\r\n", false},
        {"some", "Quick=10\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder.writeFile(QStringLiteral("info/Info.ini"), "[Setup]\r\n" + c.setup);
        context.drive.files.infoIniPath = folder.filePath(QStringLiteral("info/Info.ini"));
        m.ApplyQuickSetting();
        EXPECT_EQ(m.button(MainCommand::Quick)->isVisible(), c.visible);
        EXPECT_EQ(m.quickSeparator->isVisible(), c.visible);
        EXPECT_EQ(m.item(MainCommand::Quick)->isVisible(), c.visible);
        EXPECT_EQ(m.tableCommands().visible(TableCommand::Quick), c.visible);
    }
}

TEST_F(MainWindowTest, CurrentVoltageCommandsFollowTheCapacityListAndTheRatedValues) {
    wireTable();
    TempProgramFolder shipped(true);
    std::unique_ptr<ParameterStore> store;
    ASSERT_TRUE(loadDriveType(shipped, {"HXA1", "V110", "-2004"}, store, context));
    ASSERT_FALSE(context.drive.currentVoltNumbers.isEmpty());
    m.UpdateCurrentVoltageCommands();
    EXPECT_TRUE(m.item(MainCommand::CurrentVoltage)->isEnabled());
    EXPECT_TRUE(m.button(MainCommand::CurrentVoltage)->isEnabled());
    EXPECT_TRUE(enabled(TableCommand::CVDisp));

    // Without a current/voltage list, and with one but no rated current to show its current
    // parameters against (the display would show only zeros), the commands are off.
    const QStringList list = context.drive.currentVoltNumbers;
    context.drive.currentVoltNumbers.clear();
    m.UpdateCurrentVoltageCommands();
    EXPECT_FALSE(m.item(MainCommand::CurrentVoltage)->isEnabled());
    EXPECT_FALSE(m.button(MainCommand::CurrentVoltage)->isEnabled());
    EXPECT_FALSE(enabled(TableCommand::CVDisp));
    context.drive.currentVoltNumbers = list;
    for (const char* rated : {"FE70", "FB58"})
        StoreCells::setWork(context, UP_Value, context.drive.indexOfComNo(rated), "0");
    m.UpdateCurrentVoltageCommands();
    EXPECT_FALSE(m.item(MainCommand::CurrentVoltage)->isEnabled());
    EXPECT_FALSE(enabled(TableCommand::CVDisp));
    context.store = nullptr;
}

TEST_F(MainWindowTest, ParameterHelpNeedsTheFileOfTheChosenHelpKind) {
    wireTable();
    context.language.suffix = QStringLiteral("Eng");
    m.SetHelpFileName(); // the shipped type has its HTML help
    EXPECT_EQ(context.paths.parameterHelpFile,
              context.drive.files.typeFolder + QStringLiteral("/HXA1(Eng).chm"));
    EXPECT_TRUE(m.item(MainCommand::ParameterHelp)->isEnabled());
    EXPECT_TRUE(enabled(TableCommand::ParaHelp));

    options.hlpParameterHelp.setChecked(true);
    m.SetHelpFileName();
    EXPECT_TRUE(context.paths.parameterHelpFile.endsWith(QStringLiteral("HXA1(Eng).hlp")));
    EXPECT_FALSE(m.item(MainCommand::ParameterHelp)->isEnabled());
    EXPECT_FALSE(enabled(TableCommand::ParaHelp));

    folder.writeFile(QStringLiteral("dat/HXA1(V110)/HXA1(Eng).hlp"), "help");
    m.SetHelpFileName();
    EXPECT_TRUE(m.item(MainCommand::ParameterHelp)->isEnabled());
}

TEST_F(MainWindowTest, AToolButtonActsOnlyWhileItsMenuItemIsEnabled) {
    wireTable();
    m.tableCommands().setEnabled(TableCommand::Undo, false);
    m.button(MainCommand::Undo)->setEnabled(true); // as if the button had missed the state
    m.button(MainCommand::Undo)->trigger();
    m.item(MainCommand::Undo)->trigger();
    EXPECT_TRUE(calls.isEmpty());

    m.tableCommands().setEnabled(TableCommand::Undo, true);
    EXPECT_FALSE(m.button(MainCommand::ParameterTable)->isEnabled()); // the table is open
    m.button(MainCommand::Undo)->trigger();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("Undo"), QStringLiteral("Focus")}));
}

TEST_F(MainWindowTest, NoCommandActsWhileTheWindowIsDisabledForAMonitorRun) {
    wireTable();
    m.setEnabled(false);
    m.item(MainCommand::Copy)->trigger();
    m.item(MainCommand::Undo)->trigger();
    EXPECT_TRUE(calls.isEmpty());
    m.setEnabled(true);
    m.item(MainCommand::Copy)->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("Copy")});
}

TEST_F(MainWindowTest, ParameterHelpKeyActsOnlyAfterTheTableWasActive) {
    wireTable();
    m.setParaTableAct(false);
    m.item(MainCommand::ParameterHelp)->trigger();
    EXPECT_TRUE(calls.isEmpty());
    m.setParaTableAct(true);
    m.item(MainCommand::ParameterHelp)->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("ParaHelp")});
}

TEST_F(MainWindowTest, DriveCommandsFollowTheConnectionWhileThoseOfLaterWindowsStayDisabled) {
    const std::pair<DriveCommand, std::vector<QAction*>> followers[] = {
        {DriveCommand::Import, {m.item(MainCommand::Import), m.button(MainCommand::Import)}},
        {DriveCommand::Export, {m.item(MainCommand::Export), m.button(MainCommand::Export)}},
        {DriveCommand::Comparison, {m.item(MainCommand::Comparison), m.button(MainCommand::Comparison)}},
        {DriveCommand::KeyPad, {m.item(MainCommand::KeyPad), m.button(MainCommand::KeyPad)}},
        {DriveCommand::InverterInfo,
         {m.item(MainCommand::InverterInfo), m.button(MainCommand::InverterInfo)}},
    };
    for (const auto& [command, actions] : followers)
        for (QAction* a : actions)
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString(); // no verdict yet
    for (DriveCommand c : kAllDriveCommands)
        m.setDriveCommandEnabled(c, true);
    for (const auto& [command, actions] : followers)
        for (QAction* a : actions)
            EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(m.item(MainCommand::MonitorChart)->isEnabled());
    // Printing never waits for the drive (only the printer check turns it off).
    EXPECT_TRUE(m.item(MainCommand::PageSetup)->isEnabled());

    m.setDriveCommandEnabled(DriveCommand::Export, false);
    EXPECT_FALSE(m.item(MainCommand::Export)->isEnabled());
    EXPECT_FALSE(m.button(MainCommand::Export)->isEnabled());
    EXPECT_TRUE(m.item(MainCommand::Import)->isEnabled());
    m.button(MainCommand::Import)->trigger(); // no transfer commands wired: nothing to run, nothing to crash
}

TEST_F(MainWindowTest, LinkIconShowsTheLinkStateAndItsHintWhatAClickDoes) {
    writeLanguage("ToolB1=Check\r\nToolB1Off=Click to connect\r\n");
    m.ApplyMainTexts();
    QAction* icon = m.button(MainCommand::CommunicationCheck);
    EXPECT_EQ(m.linkIcon(), LinkIcon::Idle);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Check"));
    m.setLinkIcon(LinkIcon::Busy);
    EXPECT_EQ(m.linkIcon(), LinkIcon::Busy);
    m.setLinkIcon(LinkIcon::Failed);
    EXPECT_EQ(m.linkIcon(), LinkIcon::Failed);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Check\nClick to connect"));
    EXPECT_FALSE(icon->icon().isNull());
    m.setLinkIcon(LinkIcon::Idle);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Check"));
}

TEST_F(MainWindowTest, IsANarrowBarAtTheTopLeftWithoutMaximizeBox) {
    m.startProgram();
    EXPECT_TRUE(m.isWindow());
    EXPECT_EQ(m.pos(), QPoint(0, 0));
    EXPECT_EQ(m.width(), 639);
    EXPECT_EQ(m.minimumWidth(), 639);
    EXPECT_EQ(m.minimumHeight(), m.maximumHeight());
    EXPECT_FALSE(m.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(m.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST_F(MainWindowTest, FirstShowPreparesTheCommandsAndShowsTheTable) {
    wireTable();
    m.startProgram();
    m.fileCommands().CommentsChk = true;
    m.fileCommands().CommentsBuff = QStringLiteral("from the file");
    m.setFileArgumentStart();
    m.show();
    EXPECT_EQ(calls, QStringList{QStringLiteral("Show")});
    EXPECT_TRUE(m.firstShowDone());
    EXPECT_TRUE(m.driveCheckState().warningDue);
    EXPECT_FALSE(m.fileArgumentStart());
    EXPECT_TRUE(m.item(MainCommand::MaintenanceMode)->isVisible());
    EXPECT_TRUE(m.item(MainCommand::MaintenanceMode)->isEnabled());
    EXPECT_TRUE(m.item(MainCommand::About)->isEnabled());
    // No tool button is pushed into an overflow menu by the bar's fixed width.
    EXPECT_LE(m.toolBar->sizeHint().width(), m.width());
    EXPECT_TRUE(m.tableCommands().visible(TableCommand::Quick)); // the shipped HXA1 has a Quick view
    EXPECT_TRUE(enabled(TableCommand::CVDisp));                  // ... and current/voltage parameters
    // The comment of a file given at start-up waits for the page set-up window, which the
    // start-up creates (StartUpTest: the comment hand-over).
    EXPECT_TRUE(m.fileCommands().startCommentWaiting());
    EXPECT_EQ(m.commentText(), QString());
    // A second show is no first show.
    calls.clear();
    m.hide();
    m.show();
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(MainWindowTest, HelpContentsOpensTheLanguagesHelpAndNothingWhenItIsMissing) {
    context.language.suffix = QStringLiteral("Eng");
    m.run(MainCommand::HelpContents);
    EXPECT_EQ(context.paths.helpFile, folder.path() + QStringLiteral("/KVR260X(Eng).chm"));
    ASSERT_NE(HelpViewer::currentWindow(), nullptr);
    EXPECT_TRUE(HelpViewer::currentWindow()->isVisible());
    HelpViewer::closeAll();
    QCoreApplication::processEvents();

    context.language.suffix = QStringLiteral("Ger");
    m.run(MainCommand::HelpContents);
    EXPECT_TRUE(HelpViewer::currentWindow() == nullptr || !HelpViewer::currentWindow()->isVisible());
}

TEST_F(MainWindowTest, FailedCommunicationCheckOffersTheSetUpAndTriesOnceMore) {
    ManualClock clock;
    FakeSerialPort port(clock);
    port.existingPaths = {QStringLiteral("/nonexistent/port")};
    CommLink link(context, port, clock, installedAsker());
    MainWindow linked(context, options, installedAsker(), &link);
    link.setView(&linked);
    CommSetupDialog dialog(link);
    linked.setCommSetupDialog(&dialog);
    int shown = 0;
    QObject::connect(&dialog, &QDialog::finished, [&] { ++shown; });
    QTimer::singleShot(0, &dialog, [&] { dialog.reject(); });
    prompter.allowUnexpected(); // the port cannot be opened, said once per attempt

    linked.run(MainCommand::CommunicationCheck);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(link.PortOpen());
    EXPECT_EQ(linked.linkIcon(), LinkIcon::Failed);
    link.setView(nullptr);
}

// ---- Activation ---------------------------------------------------------------------------

TEST(FormActivationRule, RunsWhenActivationComesFromAnotherWindowOfTheProgramOnly) {
    QWidget a, b;
    int runs = 0;
    FormActivation::watch(&a, [&] { ++runs; });
    auto activate = [](QWidget& w) {
        w.show();
        w.activateWindow();
        QApplication::setActiveWindow(&w);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    };
    activate(a);
    const int first = runs;
    EXPECT_EQ(FormActivation::lastActiveForm(), &a);
    activate(a); // the same window again: as coming back from another program
    EXPECT_EQ(runs, first);
    activate(b);
    activate(a);
    EXPECT_EQ(runs, first + 1);
    QMessageBox box;
    activate(box);
    activate(a); // after a message box closes
    EXPECT_EQ(runs, first + 1);
}

TEST(FormActivationRule, AHandlerThatActivatesItsWindowAgainDoesNotNest) {
    QWidget a, b;
    int depth = 0, maxDepth = 0, runs = 0;
    auto activate = [](QWidget& w) {
        w.show();
        QApplication::setActiveWindow(&w);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    };
    FormActivation::watch(&a, [&] {
        ++runs;
        maxDepth = std::max(maxDepth, ++depth);
        if (runs < 3) {
            // A dialog closing inside the handler re-activates the window.
            QApplication::setActiveWindow(&b);
            QCoreApplication::processEvents();
            QApplication::setActiveWindow(&a);
            QCoreApplication::processEvents();
        }
        --depth;
    });
    activate(a);
    activate(b);
    activate(a);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(maxDepth, 1);
}

// A window closed before its queued handler runs takes the call with it: a new window, often
// at the same address, is not handled for an activation it never had.
TEST(FormActivationRule, AWindowClosedBeforeItsHandlerRunsTakesTheCallWithIt) {
    int oldRuns = 0, newRuns = 0;
    auto* closed = new QWidget;
    FormActivation::watch(closed, [&] { ++oldRuns; });
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(closed, &activate);
    delete closed;
    const auto next = std::make_unique<QWidget>();
    FormActivation::watch(next.get(), [&] { ++newRuns; });
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(oldRuns + newRuns, 0);
}

TEST_F(MainWindowTest, TableFlagIsClearedByTheActivationOfAnyOtherWindowButThisOne) {
    QWidget other;
    auto activate = [](QWidget& w) {
        w.show();
        QApplication::setActiveWindow(&w);
        QCoreApplication::processEvents();
    };
    activate(other);
    m.setParaTableAct(true);
    activate(m);
    EXPECT_TRUE(m.tableActive());
    activate(other);
    EXPECT_FALSE(m.tableActive());
}

TEST_F(MainWindowTest, EnvironmentOptionsOpenFromTheMenuAndTheToolBarAndTheirCloseWritesTheSettings) {
    OptionsWindow window(context, options, installedAsker());
    m.setOptionsWindow(&window);
    int shown = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (!window.isVisible())
            return;
        ++shown;
        window.close();
    });
    user.start(5);
    m.item(MainCommand::EnvironmentOptions)->trigger();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(IniFile(folder.settingsIniPath()).keys(QStringLiteral("Options")), Options::settingsKeys());

    QFile::remove(folder.settingsIniPath());
    m.button(MainCommand::EnvironmentOptions)->trigger();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(IniFile(folder.settingsIniPath()).sectionExists(QStringLiteral("Options")));
}

} // namespace

// A command that reaches the main window while the link waits for the drive (the accessibility
// bus is served during such a wait), and a window's activation then, run once the wait is over,
// not inside it.
class HeldLineTest : public MainWindowTest {
protected:
    DeafLine line;
    TermiosSerialPort port;
    CommLink link{context, port, systemClock(), installedAsker()};
    MainWindow held{context, options, installedAsker(), &link};
};

TEST_F(HeldLineTest, ACommandDuringAWaitForTheDriveRunsAfterIt) {
    ASSERT_FALSE(line.path.isEmpty());
    link.setPortPathResolver({});
    link.setServeWindowsWhileWaiting(true);
    ASSERT_EQ(link.openPort(line.path, 3, 1), SerialError::None);
    held.setTable(&table);
    TableCommands& c = held.tableCommands();
    for (int i = 0; i < kTableCommandCount; ++i)
        c.setAvailable(TableCommand(i), true);
    c.setTableShown(true);

    QWidget form;
    FormActivation::watch(&form, [&] { calls << QStringLiteral("Activated"); });

    QTimer::singleShot(0, [&] {
        held.item(MainCommand::Copy)->trigger();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&form, &activate);
    });
    ExchangeOptions o = link.mainOptions();
    o.replyTimeoutMs = 100;
    EXPECT_TRUE(link.exchange(link.request(QStringLiteral("0000"), 'R'), o).error);
    EXPECT_TRUE(calls.isEmpty());
    QElapsedTimer waited;
    waited.start();
    while (calls.size() < 2 && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    calls.sort();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("Activated"), QStringLiteral("Copy")}));
}

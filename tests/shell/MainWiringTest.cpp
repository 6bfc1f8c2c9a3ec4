// The main window as the start-up wires it: its transfer and keypad commands reach the
// simulated drive in this process through the fake port, and it stays open while a transfer
// runs.
#include "shell/StartUpFixture.h"
#include "support/SimulatedDriveProgram.h"

#include "core/ParameterStore.h"
#include "core/StoreCells.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "platform/CommandGuard.h"
#include "ui/AboutBox.h"
#include "ui/HelpViewer.h"
#include "ui/KeypadWindow.h"
#include "ui/MaintenanceDialog.h"
#include "ui/ParameterTableWindow.h"
#include "ui/ResultWindow.h"
#include "ui/TransferCommands.h"
#include "ui/TransferWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

// The window system's own path for a key press: the shortcuts are offered the key first.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text = QString(), bool autorep = false,
                                               ushort count = 1);

namespace {

class MainWiring : public StartUpTestBase, protected SimulatedDriveProgram {
protected:
    void SetUp() override {
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n");
        const QString kvr = folder.writeFile(
            QStringLiteral("p.kvr"),
            "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n");
        ASSERT_TRUE(loadDrive(folder.path()));
        ASSERT_TRUE(startProgram({QDir::tempPath(), folder.path(), kvr}));
        ASSERT_TRUE(program->link()->PortOpen());
        // The outcome is not shown: the commands end when the transfer window closes.
        program->options().showTransferResult.setChecked(false);
        program->options().showComparisonResult.setChecked(false);
        program->showMain();
    }
    void TearDown() override { program.reset(); }
    // Plays the user at the first visible top-level window of type W until the command returns.
    template <class W> int whileShown(QAction* command, const std::function<void(W&)>& user) {
        int shown = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* window = qobject_cast<W*>(w); window && window->isVisible()) {
                    ++shown;
                    user(*window);
                    return;
                }
        });
        timer.start(5);
        command->trigger();
        return shown;
    }

    MainWindow& main() { return *program->main(); }
    qint64 tableValue(const char* comNo) const {
        return StoreCells::work(program->context(), UP_Value,
                                program->context().drive.indexOfComNo(QString::fromLatin1(comNo)))
            .toLongLong();
    }
    qint64 driveValue(const char* comNo) const {
        return qint64(model.parameter(QString::fromLatin1(comNo))->raw);
    }
    void setDrive(const char* comNo, qint64 v) {
        model.write(ComNoToRegister(QString::fromLatin1(comNo)), v);
    }

    // Triggers a command as the user would and plays the user at its transfer window: tries
    // to close the main window, activates it, presses Start, then OK once the outcome is shown.
    void runTransfer(QAction* command) {
        QTimer user;
        bool started = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            TransferWindow& bar = program->transfers()->workBar();
            if (!bar.isVisible())
                return;
            if (!started) {
                started = true;
                ++transferWindows;
                if (main().close())
                    ++closedDuringTransfer;
                // The activation check would reconnect to the drive.
                const std::size_t writes = port.writes.size();
                main().checkDriveUnlessTransferring();
                if (port.writes.size() != writes)
                    ++checkedDuringTransfer;
                bar.startButton->click();
            } else if (bar.okButton->isVisible()) {
                bar.okButton->click();
            }
        });
        user.start(5);
        command->trigger();
    }

    int transferWindows = 0;
    int closedDuringTransfer = 0;
    int checkedDuringTransfer = 0;
};

TEST_F(MainWiring, ImportExportAndComparisonRunFromTheirMenuItemsAndToolButtons) {
    for (QAction* a : {main().item(MainCommand::Import), main().button(MainCommand::Import),
                       main().item(MainCommand::Export), main().button(MainCommand::Export),
                       main().item(MainCommand::Comparison), main().button(MainCommand::Comparison)})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString(); // the drive answered

    setDrive("0002", 123);
    runTransfer(main().item(MainCommand::Import));
    EXPECT_EQ(program->transfers()->job().mode, std::uint32_t(kModeImport));
    EXPECT_EQ(tableValue("0002"), 123);

    StoreCells::setWork(program->context(), UP_Value, program->context().drive.indexOfComNo("0002"), "200");
    runTransfer(main().button(MainCommand::Export));
    EXPECT_EQ(program->transfers()->job().mode, std::uint32_t(kModeExport));
    EXPECT_EQ(driveValue("0002"), 200);

    setDrive("0002", 7);
    prompter.answer(BoxAnswer::Ignore);
    runTransfer(main().button(MainCommand::Comparison));
    EXPECT_EQ(program->transfers()->job().mode, std::uint32_t(kModeComparison));
    EXPECT_EQ(tableValue("0002"), 200); // a comparison changes nothing
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.contains(QStringLiteral("F002"))) // the one difference
        << prompter.texts().join(u'|').toStdString();

    EXPECT_EQ(transferWindows, 3);
    EXPECT_EQ(closedDuringTransfer, 0);
    EXPECT_EQ(checkedDuringTransfer, 0);
    EXPECT_TRUE(main().isVisible());
}

TEST_F(MainWiring, ATransferButtonDoesNothingWhileItsMenuItemIsDisabled) {
    main().item(MainCommand::Import)->setEnabled(false);
    setDrive("0002", 123);
    runTransfer(main().button(MainCommand::Import));
    EXPECT_EQ(transferWindows, 0);
    EXPECT_EQ(tableValue("0002"), 75);
}

TEST_F(MainWiring, KeyPadOpensTheKeypadOnTheDriveAndItsButtonObeysTheMenuItem) {
    EXPECT_TRUE(main().item(MainCommand::KeyPad)->isEnabled());
    EXPECT_TRUE(main().button(MainCommand::KeyPad)->isEnabled());
    int shown = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        KeypadWindow* keypad = main().keypadWindow();
        if (keypad && keypad->isVisible()) {
            ++shown;
            keypad->RKPExit->trigger();
        }
    });
    user.start(5);
    main().item(MainCommand::KeyPad)->trigger();
    EXPECT_EQ(shown, 1);
    ASSERT_NE(main().keypadWindow(), nullptr);
    EXPECT_FALSE(main().keypadWindow()->isVisible());

    main().item(MainCommand::KeyPad)->setEnabled(false);
    main().button(MainCommand::KeyPad)->trigger();
    EXPECT_EQ(shown, 1);
    main().item(MainCommand::KeyPad)->setEnabled(true);
    main().button(MainCommand::KeyPad)->trigger();
    EXPECT_EQ(shown, 2);
}

TEST_F(MainWiring, InverterInfoListsTheTrippedDriveAndItsButtonObeysTheMenuItem) {
    EXPECT_TRUE(main().item(MainCommand::InverterInfo)->isEnabled()); // the drive answered
    EXPECT_TRUE(main().button(MainCommand::InverterInfo)->isEnabled());
    model.trip(5);
    QStringList shown;
    std::vector<std::uint32_t> modes;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* r = qobject_cast<ResultWindow*>(w); r && r->isVisible()) {
                shown << r->lines().join(u'|');
                modes.push_back(r->job().mode);
                r->close();
            }
    });
    user.start(5);
    main().item(MainCommand::InverterInfo)->trigger();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Inverter Information|Inverter Type:HXA1|Inverter Form:-2004|"))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("|Last Trip:Overvoltage|")) << shown[0].toStdString();
    EXPECT_EQ(modes, std::vector<std::uint32_t>{kModeInverterInfo});

    main().item(MainCommand::InverterInfo)->setEnabled(false);
    main().button(MainCommand::InverterInfo)->trigger();
    EXPECT_EQ(shown.size(), 1);
}

TEST_F(MainWiring, MaintenanceModeTellsTheDriveAndShowsTheMaintenanceRows) {
    const ProgramContext& context = program->context();
    ASSERT_GT(context.drive.lastIndex(), context.drive.normalLastIndex);
    EXPECT_EQ(program->table()->rows().size(), context.drive.normalLastIndex + 2);
    ASSERT_TRUE(main().item(MainCommand::MaintenanceMode)->isEnabled());
    prompter.answer(BoxAnswer::Ok); // "Maintenance mode is enabled."
    const int shown =
        whileShown<MaintenanceDialog>(main().item(MainCommand::MaintenanceMode), [](MaintenanceDialog& d) {
            d.passwordEdit->setText(QStringLiteral("(QWKM)"));
            d.okButton->click();
        });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(prompter.texts(), QStringList({QStringLiteral("Maintenance mode is enabled.")}));
    EXPECT_EQ(driveValue("FB91"), kDriveAccessValue);
    EXPECT_TRUE(program->options().useMaintenanceMode.checked());
    EXPECT_EQ(context.tableView.lastIndex, context.drive.lastIndex());
    EXPECT_EQ(program->table()->rows().size(), context.drive.lastIndex() + 2);
}

TEST_F(MainWiring, AboutShowsTheVersionAndTheModelsOfTheDataFolder) {
    ASSERT_TRUE(main().item(MainCommand::About)->isEnabled());
    QString title;
    QStringList models;
    const int shown = whileShown<AboutBox>(main().item(MainCommand::About), [&](AboutBox& box) {
        title = box.windowTitle();
        for (int i = 0; i < box.modelList->count(); ++i)
            models << box.modelList->itemText(i);
        box.close();
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(title, QStringLiteral("Version"));
    EXPECT_TRUE(models.contains(QStringLiteral("HXA1(V110)"))) << models.join(u',').toStdString();
}

TEST_F(MainWiring, TheMainWindowClosesAgainOnceNoTransferIsActive) {
    {
        CommandGuard transfer("TransferCommands");
        EXPECT_FALSE(main().close());
        EXPECT_TRUE(main().isVisible());
    }
    EXPECT_TRUE(main().close());
}

// The keys of the table's commands, pressed as the user presses them, with the table window
// active and then with the main window active.
TEST_F(MainWiring, TheTableShortcutsActFromTheTableWindowAndFromTheMainWindow) {
    ParameterTableWindow* t = program->table();
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->isVisible());
    const int index = program->context().drive.indexOfComNo(QStringLiteral("0002"));
    int row = -1;
    for (int r = 1; r < t->cells().rowCount(); ++r)
        if (t->cells().cell(TC_ComNo, r) == QLatin1String("0002"))
            row = r;
    ASSERT_GT(row, 0);
    const auto activate = [](QWidget* w) {
        w->activateWindow();
        QApplication::setActiveWindow(w);
        QCoreApplication::processEvents();
    };
    const auto press = [](int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
        QWidget* to =
            QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(to, nullptr);
        if (qt_sendShortcutOverrideEvent(to, 0, key, mods, text))
            return;
        QKeyEvent down(QEvent::KeyPress, key, mods, text);
        QCoreApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, key, mods, text);
        QCoreApplication::sendEvent(to, &up);
    };
    const auto select = [&] { return StoreCells::work(program->context(), UP_SelectIndex, index); };

    for (const bool fromMain : {false, true}) {
        SCOPED_TRACE(fromMain ? "main window active" : "table window active");
        // The value is typed in the grid; F2 and F3 need the table to have been active.
        activate(t);
        t->FocusGrid();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), t->gridView);
        t->core().setCurrentCell(TC_Value, row);
        t->entry().cancelForMove(); // as a click on the cell does
        const qint64 before = tableValue("0002");
        const QString typed = fromMain ? QStringLiteral("9") : QStringLiteral("12");
        for (QChar c : typed)
            press(int(c.unicode()), Qt::NoModifier, QString(c));
        press(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        const qint64 entered = tableValue("0002");
        ASSERT_EQ(entered, typed.toLongLong() * 10);
        t->core().setCurrentCell(TC_Value, row);
        t->core().setSelection({TC_Value, row, TC_Value, row});
        if (fromMain) {
            activate(&main());
            ASSERT_EQ(QApplication::activeWindow(), &main());
        }

        press(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(tableValue("0002"), before);
        press(Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(tableValue("0002"), entered);

        const QString marked = select();
        press(Qt::Key_S, Qt::ControlModifier);
        EXPECT_NE(select(), marked);
        press(Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_EQ(select(), QStringLiteral("0"));

        QApplication::clipboard()->setText(QStringLiteral("before"));
        press(Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(QApplication::clipboard()->text().endsWith(t->cells().cell(TC_Value, row) + "\r\n"))
            << QApplication::clipboard()->text().toStdString();

        if (fromMain)
            activate(&main()); // the keys above give the table's grid the focus again
        press(Qt::Key_F2);
        EXPECT_EQ(driveValue("0002"), entered);
        setDrive("0002", 33);
        if (fromMain)
            activate(&main());
        press(Qt::Key_F3);
        EXPECT_EQ(tableValue("0002"), 33);

        if (fromMain)
            activate(&main());
        press(Qt::Key_F, Qt::ControlModifier);
        ASSERT_NE(t->findDialog, nullptr);
        EXPECT_TRUE(t->findDialog->isVisible());
        t->findDialog->close();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

// A parameter file dragged from a file manager onto the table: loaded once the drop is over,
// and File > Save then rewrites it in its own folder.
TEST_F(MainWiring, AFileDroppedOnTheTableIsLoadedAndSaveWritesItWhereItLies) {
    ParameterTableWindow* t = program->table();
    ASSERT_TRUE(t && t->isVisible());
    const QString dropped =
        folder.writeFile(QStringLiteral("sets/pump.kvr"),
                         "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nPump A\r\n0\r\n0\r\n0002,90,1,0\r\n");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(t, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(t, &drop);
    ASSERT_TRUE(drop.isAccepted());
    EXPECT_EQ(tableValue("0002"), 75); // not read inside the drop event
    QCoreApplication::processEvents();

    EXPECT_EQ(tableValue("0002"), 90);
    EXPECT_TRUE(main().windowTitle().endsWith(QStringLiteral("pump.kvr (HXA1-2004)")))
        << main().windowTitle().toStdString();
    EXPECT_EQ(program->context().recent.openedFolder, folder.filePath(QStringLiteral("sets")));
    ASSERT_TRUE(main().item(MainCommand::Save)->isEnabled());
    StoreCells::setWork(program->context(), UP_Value,
                        program->context().drive.indexOfComNo(QStringLiteral("0002")), QStringLiteral("95"));
    main().item(MainCommand::Save)->trigger();
    QFile saved(dropped);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("\r\nPump A\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("\r\n0002,95,")) << text.constData();
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

// F10 with the table active opens the help page of the cursor row's parameter.
TEST_F(MainWiring, F10OnTheTableOpensTheHelpPageOfTheCursorRow) {
    folder.copyTree(shippedDataDir() + QStringLiteral("/dat/HXA1(V110)/HXA1(Eng).chm"),
                    QStringLiteral("dat/HXA1(V110)/HXA1(Eng).chm"));
    ParameterTableWindow* t = program->table();
    ASSERT_TRUE(t && t->isVisible());
    ASSERT_TRUE(main().item(MainCommand::ParameterHelp)->isEnabled());
    t->activateWindow();
    QApplication::setActiveWindow(t);
    QCoreApplication::processEvents();
    t->FocusGrid();
    for (int r = 1; r < t->cells().rowCount(); ++r)
        if (t->cells().cell(TC_ComNo, r) == QLatin1String("0002"))
            t->core().setCurrentCell(TC_Value, r);
    t->entry().cancelForMove(); // as a click on the cell does
    QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : t;
    ASSERT_TRUE(qt_sendShortcutOverrideEvent(to, 0, Qt::Key_F10, Qt::NoModifier));
    QTextBrowser* view = HelpViewer::currentWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(view->source().toLocalFile().endsWith(QStringLiteral("HXA1(Eng).chm/html/f002.htm")))
        << view->source().toString().toStdString();
    HelpViewer::closeAll();
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

} // namespace

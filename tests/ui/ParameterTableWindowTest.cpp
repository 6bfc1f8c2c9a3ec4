// The parameter table window over the shipped drive type HXA1: its title, the column widths
// of its grid, placement, pop-up menu, keys and the main window's command states it sets.
#include "ui/ParameterTableFixture.h"

#include "core/ValueRules.h"
#include "support/LoadedMachine.h"
#include "ui/FindDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace {
void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
           const QString& text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(w, &up);
}

} // namespace

using C = TableCommand;

// ---- Refill and layout --------------------------------------------------------------------

TEST_F(ParaTableFixture, RefreshAllWithoutCurrentVoltageListLeavesItsCommandsDisabled) {
    context.drive.currentVoltNumbers.clear();
    createTable();
    EXPECT_FALSE(host.commands.enabled(C::CVDisp));
    context.drive.currentVoltNumbers << "0022";
    table->RefreshAll();
    EXPECT_TRUE(host.commands.enabled(C::CVDisp));
}

TEST_F(ParaTableFixture, ColumnsShareTheGridWidthByTheirRatios) {
    ParameterTableWindow& t = createTable();
    t.resize(900, 400);
    t.show();
    QCoreApplication::processEvents();
    const int client = t.gridView->viewport()->width();
    // The shares hold where the texts fit; the number columns (HXA1 has ten-digit values) take
    // what they lack from the name column, so the columns still fill the shares' width.
    int shares = 0, widths = 0;
    for (int c = 0; c < TC_Count; ++c) {
        const int share = int(client * t.core().columnRatio()[c]);
        if (c != TC_Name) {
            EXPECT_GE(t.gridView->columnWidth(c), share) << c;
        }
        shares += share;
        widths += t.gridView->columnWidth(c);
    }
    for (int c : {TC_Title, TC_Unit, TC_Changed})
        EXPECT_EQ(t.gridView->columnWidth(c), int(client * t.core().columnRatio()[c])) << c;
    EXPECT_GT(t.gridView->columnWidth(TC_Value), int(client * 0.0889f));
    EXPECT_EQ(widths, shares);
    EXPECT_EQ(t.gridView->verticalHeader()->defaultSectionSize(), 16);
}

// ---- Window -----------------------------------------------------------------------------

TEST_F(ParaTableFixture, TheTitleIsTheCaptionAndTheExportReadsTheShownRows) {
    ParameterTableWindow& t = createTable();
    EXPECT_EQ(t.windowTitle(), "Parameter Table HXA1-2004 (CPU Ver.V110)");
    EXPECT_EQ(t.rows().size(), rows());
    EXPECT_EQ(t.rows().at(4), t.cells().row(4));
    setWork("0009", UP_Value, "abc");
    t.RefreshAll();
    EXPECT_EQ(t.windowTitle(), "Parameter Table HXA1-2004 (CPU Ver.V110)") << "also when the fill stopped";
}

TEST_F(ParaTableFixture, OpensUnderTheMainWindowAtItsWidth) {
    EXPECT_EQ(ParameterTableWindow::placementUnder(QRect(0, 0, 639, 51)), QRect(0, 51, 639, 429));
    host.frame = QRect(10, 20, 700, 60);
    ParameterTableWindow& t = createTable();
    EXPECT_EQ(t.frameGeometry().topLeft(), QPoint(10, 80));
    EXPECT_EQ(t.width(), 700);
    EXPECT_EQ(t.height(), 420);
    // Taller main windows leave the table at its minimum height.
    EXPECT_EQ(ParameterTableWindow::placementUnder(QRect(0, 0, 639, 300)).height(), 180);
    EXPECT_EQ(t.minimumSize(), QSize(639, 250));
}

TEST_F(ParaTableFixture, NothingIsFilledAfterAnAbortedStart) {
    context.startupAborted = true;
    context.store = nullptr;
    ParameterTableWindow t(context, options, nullptr, host);
    t.placeAndFill();
    EXPECT_EQ(t.cells().rowCount(), 1);
    EXPECT_EQ(t.windowTitle(), "Parameter Table");
    context.store = store;
}

TEST_F(ParaTableFixture, ShowingAndClosingSwitchTheMainWindowsTableCommands) {
    ParameterTableWindow& t = createTable();
    host.commands.setEnabled(C::DownLoad, true);
    for (int i = 0; i < kTableCommandCount; ++i)
        host.commands.setAvailable(C(i), true); // as once every handler exists
    EXPECT_FALSE(host.mirror[C::Copy]->isVisible());
    EXPECT_FALSE(host.mirrorSeparator->isVisible());

    t.Show();
    EXPECT_FALSE(host.tableItem->isEnabled());
    EXPECT_FALSE(host.tableButton->isEnabled());
    EXPECT_TRUE(host.mirror[C::Copy]->isVisible());
    EXPECT_TRUE(host.mirror[C::ParaHelp]->isVisible());
    EXPECT_TRUE(host.mirrorSeparator->isVisible());
    EXPECT_FALSE(host.button[C::Undo]->isEnabled()); // as PopUndo
    EXPECT_TRUE(host.button[C::Find]->isEnabled());
    EXPECT_TRUE(host.button[C::DownLoad]->isEnabled());

    t.close();
    EXPECT_FALSE(t.isVisible());
    EXPECT_TRUE(host.tableItem->isEnabled());
    EXPECT_TRUE(host.tableButton->isEnabled());
    for (int i = 0; i < kTableCommandCount; ++i) {
        const C c = C(i);
        if (c == C::Quick)
            continue;
        EXPECT_FALSE(host.mirror[c]->isVisible()) << i;
        if (TableCommands::hasToolButton(c)) {
            EXPECT_FALSE(host.button[c]->isEnabled()) << i;
        }
    }
    EXPECT_FALSE(host.mirrorSeparator->isVisible());
    // The Quick commands belong to the drive type, not to the window.
    EXPECT_TRUE(host.mirror[C::Quick]->isVisible());
    EXPECT_TRUE(host.button[C::Quick]->isEnabled());

    t.Show();
    EXPECT_TRUE(host.mirror[C::Copy]->isVisible());
    EXPECT_TRUE(host.button[C::Find]->isEnabled());
}

TEST_F(ParaTableFixture, EveryCommandHasItsHandlerAndTheHiddenItemsStayOutOfThePopup) {
    ParameterTableWindow& t = createTable();
    t.Show();
    for (int i = 0; i < kTableCommandCount; ++i)
        EXPECT_TRUE(host.commands.available(C(i))) << i;
    // The view, mark and display commands, find, the selected transfers and the help.
    for (QAction* a : {t.PopCopy, t.PopChgDisp, t.PopSlct, t.PopBlind, t.PopHexDisp, t.PopParaHelp})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(host.mirror[C::ChgDisp]->isEnabled());
    EXPECT_TRUE(host.mirror[C::ParaHelp]->isEnabled());
    EXPECT_TRUE(host.button[C::Find]->isEnabled());
    EXPECT_TRUE(host.button[C::UpLoad]->isEnabled());
    EXPECT_TRUE(t.PopClose->isEnabled());
    // The items the pop-up never offers are not in it, whatever their state.
    for (QAction* a : {t.PopUndo, t.PopRedo, t.PopDownLoad, t.PopUpLoad, t.PopDef, t.PopFind})
        EXPECT_FALSE(a->isVisible()) << a->objectName().toStdString();
    EXPECT_TRUE(t.PopChgDisp->isVisible());
}

TEST_F(ParaTableFixture, ThePopupMenuClosesTheWindowAndStaysShutDuringAMonitorRun) {
    ParameterTableWindow& t = createTable();
    t.Show();
    host.commands.setPopupMenuEnabled(false);
    emit t.gridView->customContextMenuRequested(QPoint(5, 5));
    EXPECT_FALSE(t.popupMenu->isVisible());
    EXPECT_TRUE(t.isEnabled());
    host.commands.setPopupMenuEnabled(true);
    emit t.gridView->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(t.popupMenu->isVisible());
    t.popupMenu->hide();
    t.PopClose->trigger();
    EXPECT_FALSE(t.isVisible());
    EXPECT_TRUE(host.tableButton->isEnabled());
}

TEST_F(ParaTableFixture, PopupTextsComeFromTheLanguageFile) {
    const QString english = folder->filePath("lng/English.ini");
    const QString lng = folder->writeFile(
        "lng/Test.ini", "[Parameter]\r\nForm=Tabelle\r\nPopMenu1=Schliessen\r\nFindForm=Suche\r\n"
                        "FindNext=&Weiter\r\n"
                        "[Main]\r\nMenu2c=Blenden\r\nMenu2i=Suchen\r\n"
                        "Menu22=Rueckgaengig\r\nMenu27=Auswahl laden\r\nMenu2g=Werkswert\r\n");
    context.language.iniPath = lng;
    ParameterTableWindow t(context, options, nullptr, host);
    t.ApplyLanguage();
    EXPECT_EQ(t.windowTitle(), "Tabelle");
    EXPECT_EQ(t.PopClose->text(), "Schliessen");
    EXPECT_EQ(t.PopBlind->text(), "Blenden");
    EXPECT_EQ(t.PopFind->text(), "Suchen\tCtrl+F");
    EXPECT_EQ(t.PopUndo->text(), "Rueckgaengig\tCtrl+Z");
    EXPECT_EQ(t.PopDownLoad->text(), "Auswahl laden\tF3");
    EXPECT_EQ(t.PopDef->text(), "Werkswert");
    EXPECT_EQ(t.PopHexDisp->text(), "Hex.");
    FindDialog find;
    find.ApplyLanguage(lng);
    EXPECT_EQ(find.windowTitle(), "Suche");
    EXPECT_EQ(find.FindNextButton->text(), "&Weiter");
    EXPECT_EQ(find.CancelButton->text(), "Cancel");
    context.language.iniPath = english;
}

TEST_F(ParaTableFixture, TheGridHasNoKeyOrMouseHabitsOfItsOwn) {
    ParameterTableWindow& t = createTable();
    t.Show();
    ParameterGridView* grid = t.gridView;
    grid->setFocus();
    t.core().setCurrentCell(TC_Value, 2);
    QApplication::clipboard()->setText("before");
    // Typing is value entry, never a jump to a row.
    press(grid, Qt::Key_F, Qt::NoModifier, "F");
    press(grid, Qt::Key_0, Qt::NoModifier, "0");
    EXPECT_EQ(t.core().currentRow(), 2);
    press(grid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    press(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_LE(t.core().selection()->selectedIndexes().size(), 1);

    // The title column is the fixed column: never current, never selected.
    t.core().setCurrentCell(TC_ComNo, 2);
    press(grid, Qt::Key_Left);
    EXPECT_EQ(t.core().currentCol(), TC_ComNo);
    t.core().selection()->select(QItemSelection(t.core().model()->index(0, 0), t.core().model()->index(3, 3)),
                                 QItemSelectionModel::ClearAndSelect);
    EXPECT_FALSE(t.core().selection()->isSelected(t.core().model()->index(1, TC_Title)));

    // Clicks on the title column and right clicks leave the highlighted block where it is.
    t.core().setCurrentCell(TC_Value, 2);
    for (auto [col, button] : {std::pair{TC_Title, Qt::LeftButton}, std::pair{TC_Name, Qt::RightButton}}) {
        const QPoint at = grid->visualRect(t.core().model()->index(5, col)).center();
        QMouseEvent e(QEvent::MouseButtonPress, at, grid->viewport()->mapToGlobal(at), button, button,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(grid->viewport(), &e);
        EXPECT_EQ(t.core().currentRow(), 2) << col;
        EXPECT_EQ(t.core().currentCol(), TC_Value) << col;
    }
}

TEST_F(ParaTableFixture, ActivationMarksTheTableActiveReadsTheUndoDepthAndChecksTheSetup) {
    ParameterTableWindow& t = createTable();
    options.undoDepth.setPosition(4);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));
    QCoreApplication::processEvents();
    t.Show();
    ASSERT_TRUE(waitUntil([&] { return host.paraTableAct; }));
    EXPECT_EQ(host.spChecks, 1);
    EXPECT_EQ(store->history().depth(), 4);
}

// ---- Value rules through the table window ----------------------------------------------

TEST_F(ParaTableFixture, ValueRulesAreReachedThroughTheTable) {
    createTable();
    EXPECT_EQ(table->IndexOfComNo("0003"), 3);
    EXPECT_EQ(table->IndexOfComNo(""), -1);
    EXPECT_EQ(table->ValueOfComNo("3"), 6000);
    EXPECT_EQ(table->DefaultOf("0004"), "6000");
    EXPECT_EQ(ParameterTableWindow::ToHexText(255), "FF");
    table->core().clearOutOfRange();
    EXPECT_EQ(table->ClampToRange("50000", 3), 40000);
    EXPECT_EQ(table->core().outOfRange(), 1);
    table->core().restartRowSearch();
    EXPECT_EQ(table->GridRowOfIndex(9), 9);
    EXPECT_EQ(table->core().searchStartRow(), 9);
}

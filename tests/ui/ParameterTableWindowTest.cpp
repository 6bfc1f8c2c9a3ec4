// The parameter table window over the shipped drive type HXA1: rows of each view, texts,
// limits, drawing, placement and the main window's command states it sets.
#include "ui/ParameterTableFixture.h"

#include "core/Messages.h"
#include "core/ValueRules.h"
#include "ui/FindDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace {
const QString kNoMark = QStringLiteral("      ");
QColor bgr(int v) {
    return ColorOption::fromBgr(v);
}

void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
           const QString& text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(w, &up);
}

// Lets events through until the condition holds (bounded; the test then checks it).
template <typename F> bool waitFor(F condition) {
    QElapsedTimer t;
    t.start();
    while (!condition() && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}
} // namespace

using C = TableCommand;

// ---- Rows and texts ---------------------------------------------------------------------

TEST_F(ParaTableFixture, AllViewShowsEveryParameterInUseUnderTheTitlesWithTheCaption) {
    ParameterTableWindow& t = createTable();
    const ProgramContext& g = context;
    ASSERT_EQ(rows(), g.RowsInUse + 2);
    EXPECT_EQ(t.cells().row(0), (QStringList{"Title", "Comm. No.", "Function", "Set Val.", "Low limit.",
                                             "Up limit.", "Unit", ""}));
    EXPECT_EQ(t.windowTitle(), "Parameter Table HXA1-2004 (CPU Ver.V110)");
    // Row k + 1 shows parameter k.
    for (int k : {0, 3, g.RowsInUse}) {
        EXPECT_EQ(t.cells().cell(TC_ComNo, k + 1), store->ParaDat.cell(PD_ComNo, k + 1)) << k;
        EXPECT_EQ(t.cells().cell(TC_Title, k + 1), store->ParaDat.cell(PD_FTitle, k + 1)) << k;
        EXPECT_EQ(t.cells().cell(TC_Name, k + 1), store->ParaDat.cell(PD_FName, k + 1)) << k;
    }
    // Maximum frequency: 6000 raw, Mul 100, "#.##"; limits 3000..40000; unit Hz.
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");
    EXPECT_EQ(cell(TC_Low, "0003"), "   30.00");
    EXPECT_EQ(cell(TC_High, "0003"), "  400.00");
    EXPECT_EQ(cell(TC_Unit, "0003"), "Hz");
    EXPECT_EQ(cell(TC_Changed, "0003"), kNoMark);
    // The find buffer has one "number,name" line per row.
    ASSERT_EQ(t.core().findBuffer.size(), g.RowsInUse + 1);
    EXPECT_EQ(t.core().findBuffer.first(), "0000,Control mode");
    // The main window's export reads the same rows.
    EXPECT_EQ(t.rows().size(), rows());
    EXPECT_EQ(t.rows().at(4), t.cells().row(4));
}

TEST_F(ParaTableFixture, ValuesShowInHexAndChangedParametersCarryTheMark) {
    ParameterTableWindow& t = createTable();
    setWork("0009", UP_Value, "75");
    setWork("0020", UP_Value, "255");
    setWork("0020", UP_HexIndex, "1");
    setWork("0061", UP_Value, "-1");
    setWork("0061", UP_HexIndex, "1");
    t.FillRows();
    EXPECT_EQ(cell(TC_Value, "0009"), "     7.5");
    EXPECT_EQ(cell(TC_Changed, "0009"), "Change");
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    EXPECT_EQ(cell(TC_Value, "0020"), "hFF");
    EXPECT_EQ(cell(TC_Value, "0061"), "hFFFFFFFF");
    EXPECT_EQ(cell(TC_Changed, "0001"), kNoMark);
    EXPECT_EQ(work("0001", UP_ChangeIndex), "0");
    // An empty value counts as 0 (default 1 here, so changed).
    setWork("0001", UP_Value, "");
    t.FillRows();
    EXPECT_EQ(cell(TC_Value, "0001"), "       0");
    EXPECT_EQ(cell(TC_Changed, "0001"), "Change");
}

TEST_F(ParaTableFixture, AFailedTransferHidesTheChangedMarkAndGreysTheRow) {
    ParameterTableWindow& t = createTable();
    setPara("0009", PD_Flag, "2");
    setWork("0009", UP_Value, "75");
    t.FillRows();
    EXPECT_EQ(cell(TC_Changed, "0009"), kNoMark);
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    const int r = rowOf("0009");
    for (int col = TC_ComNo; col < TC_Count; ++col)
        EXPECT_EQ(t.core().cellStyle(col, r, false).text, bgr(0xC0C0C0)) << col;
    EXPECT_FALSE(t.core().cellStyle(TC_Title, r, false).text.isValid());
}

// ---- Views ------------------------------------------------------------------------------

TEST_F(ParaTableFixture, ChangedOnlyViewPacksTheChangedParametersFromRowOne) {
    ParameterTableWindow& t = createTable();
    setWork("0009", UP_Value, "75");
    setWork("0030", UP_Value, "600");
    t.FillRows(); // the changed flags are computed while filling
    host.commands.setChecked(C::ChgDisp, true);
    t.FillRows();
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(t.cells().cell(TC_ComNo, 1), "0009");
    EXPECT_EQ(t.cells().cell(TC_ComNo, 2), "0030");
    EXPECT_EQ(t.core().LastDataRow, 1);
    // Filtered rows find their parameter by number.
    EXPECT_EQ(t.core().indexOfRow(2), index("0030"));
    // Limits of packed rows belong to their own parameter: 0..1000 raw at Mul 10.
    EXPECT_EQ(cell(TC_High, "0030"), "   100.0");
}

TEST_F(ParaTableFixture, BlindViewHidesTheMarkedParametersAndKeepsTheFileMarks) {
    ParameterTableWindow& t = createTable();
    ProgramContext& g = context;
    for (const char* n : {"0002", "0005", "0030"})
        setWork(n, UP_BlindIndex, "1");
    setWork("0009", UP_SelectIndex, "1");
    setWork("0020", UP_HexIndex, "1");
    setWork("0009", UP_WriteIndex, "1");
    // A file's count that disagrees with its marks does not change the rows shown.
    g.BlindActive = true;
    g.BlindCount = 5;
    t.RefreshAll();
    EXPECT_TRUE(t.blindChecked());
    EXPECT_EQ(rows(), g.RowsInUse + 2 - 3);
    EXPECT_EQ(rowOf("0005"), -1);
    EXPECT_EQ(t.cells().cell(TC_ComNo, 5), "0006");
    EXPECT_EQ(t.core().BlindRowCount, g.RowsInUse - 5);
    // Selection, hex and blind marks of the file stay; the edit marks do not.
    EXPECT_EQ(work("0009", UP_SelectIndex), "1");
    EXPECT_EQ(work("0020", UP_HexIndex), "1");
    EXPECT_EQ(work("0005", UP_BlindIndex), "1");
    EXPECT_EQ(work("0009", UP_WriteIndex), "0");
    // All Parameters is the way out; the views Blind excludes are off.
    EXPECT_TRUE(host.commands.enabled(C::Disp));
    EXPECT_FALSE(host.commands.enabled(C::ChgDisp));
    EXPECT_FALSE(host.commands.enabled(C::Quick));
    ASSERT_EQ(t.core().findBuffer.size(), rows() - 1);
    EXPECT_FALSE(t.core().findBuffer.join('\n').contains("0005,"));
}

TEST_F(ParaTableFixture, QuickViewShowsTheQuickParametersWhateverTheirStoredCount) {
    ParameterTableWindow& t = createTable();
    int expected = 0;
    for (int p = 0; p <= context.RowsInUse; ++p)
        if (store->ParaDat.cell(PD_Quick, p + 1) != "0")
            ++expected;
    setPara("0003", PD_Quick, "0");
    setPara("0012", PD_Quick, "0");
    expected -= 2;
    ASSERT_NE(expected, context.QuickCount);
    host.commands.setChecked(C::Quick, true);
    t.FillRows();
    EXPECT_EQ(rows(), expected + 1);
    EXPECT_EQ(rowOf("0003"), -1);
    EXPECT_EQ(rowOf("0012"), -1);
    EXPECT_GT(rowOf("0009"), 0);
}

TEST_F(ParaTableFixture, CurrentVoltageDisplayShowsAmperesWithTheStepAsUnit) {
    ParameterTableWindow& t = createTable();
    ProgramContext& g = context;
    ASSERT_EQ(store->ParaDat.cell(PD_CurrentVoltIndex, index("0022") + 1), "C");
    g.AmpereBase = 5.0f;
    g.VoltBase = 200.0f;
    setWork("0022", UP_Value, "1000"); // Mul 10: step 0.005 A
    host.commands.setChecked(C::CVDisp, true);
    t.FillRows();
    EXPECT_EQ(cell(TC_Value, "0022"), "5.0A");
    EXPECT_EQ(cell(TC_Unit, "0022"), "0.1A");
    EXPECT_EQ(cell(TC_High, "0022"), "10.0A");
    // Voltage parameter 0032 at Mul 10 and 200 V: step 0.2 V.
    EXPECT_EQ(cell(TC_Unit, "0032"), "0.20V");
    // Other parameters keep their unit and format.
    EXPECT_EQ(cell(TC_Unit, "0003"), "Hz");
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");

    g.AmpereBase = 20.0f;
    setPara("0022", PD_Mul, "1");
    setWork("0022", UP_Value, "50"); // step 0.2 A
    t.FillRows();
    EXPECT_EQ(cell(TC_Value, "0022"), "10.00A");
    EXPECT_EQ(cell(TC_Unit, "0022"), "0.20A");
}

// ---- Limits -----------------------------------------------------------------------------

TEST_F(ParaTableFixture, LimitsFollowTheirReferencesAndANegativeReferenceNegatesToANumber) {
    ParameterTableWindow& t = createTable();
    // 0040: high = Value of 0003, low = minus Value of 0003.
    EXPECT_EQ(cell(TC_High, "0040"), "   60.00");
    EXPECT_EQ(cell(TC_Low, "0040"), "  -60.00");
    setWork("0003", UP_Value, "-500");
    t.UpdateLimits();
    EXPECT_EQ(work("0040", UP_LValue), "500");
    EXPECT_EQ(cell(TC_Low, "0040"), "    5.00");
    EXPECT_EQ(work("0040", UP_HValue), "-500");
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(ParaTableFixture, AValueThatIsNoNumberStopsTheFillOnceWithMessage42) {
    ParameterTableWindow& t = createTable();
    setWork("0009", UP_Value, "abc");
    t.RefreshAll();
    ASSERT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::NotANumber)});
    // The rows before it stay; nothing after it is shown stale.
    EXPECT_EQ(rows(), index("0009") + 1);
    EXPECT_EQ(t.cells().cell(TC_ComNo, rows() - 1), "0008");
    EXPECT_EQ(t.windowTitle(), "Parameter Table HXA1-2004 (CPU Ver.V110)");
    EXPECT_LE(t.core().CursorRow, rows() - 1);

    // A bad default is shown by the value rules (message 32), then the fill stops.
    prompter.clear();
    setWork("0009", UP_Value, "50");
    setPara("0011", PD_DIndex, "2");
    t.FillRows();
    EXPECT_EQ(prompter.texts(),
              (QStringList{Msg(context, MsgId::DefaultNotDefined), Msg(context, MsgId::NotANumber)}));
    EXPECT_EQ(rows(), index("0011") + 1);
}

// ---- RefreshAll -------------------------------------------------------------------------

TEST_F(ParaTableFixture, RefreshAllClearsTheMarksUndoListsAndViewsOfTheOldSet) {
    ParameterTableWindow& t = createTable();
    options.UndoMaxSet.setPosition(7);
    for (int col : {UP_SelectIndex, UP_ChangeIndex, UP_WriteIndex, UP_HexIndex, UP_BlindIndex})
        setWork("0009", col, "1");
    store->UndoComNo << "0009";
    store->UndoVal << "50";
    store->RedoComNo << "0009";
    store->RedoVal << "60";
    t.core().UndoCount = 1;
    t.core().RedoCount = 1;
    host.commands.setEnabled(C::Undo, true);
    host.commands.setEnabled(C::Redo, true);
    host.commands.setChecked(C::Quick, true);
    host.commands.setEnabled(C::Find, false);
    host.commands.setEnabled(C::Slct, false);
    host.commands.setEnabled(C::Disp, true);
    host.commands.setChecked(C::CVDisp, true);
    const int cvUpdates = host.cvUpdates;

    t.RefreshAll();
    for (int col : {UP_SelectIndex, UP_ChangeIndex, UP_WriteIndex, UP_HexIndex, UP_BlindIndex})
        EXPECT_EQ(work("0009", col), "0") << col;
    EXPECT_TRUE(store->UndoComNo.isEmpty() && store->UndoVal.isEmpty());
    EXPECT_TRUE(store->RedoComNo.isEmpty() && store->RedoVal.isEmpty());
    EXPECT_EQ(t.core().UndoCount, 0);
    EXPECT_EQ(t.core().RedoCount, 0);
    EXPECT_EQ(t.core().UndoDepth, 7);
    const TableCommands& c = host.commands;
    EXPECT_FALSE(c.enabled(C::Undo));
    EXPECT_FALSE(c.enabled(C::Redo));
    for (C v : {C::ChgDisp, C::Quick, C::CVDisp, C::Blind}) {
        EXPECT_FALSE(c.checked(v)) << int(v);
        EXPECT_TRUE(c.enabled(v)) << int(v);
    }
    EXPECT_FALSE(c.enabled(C::Disp));
    // Commands a filtered view had switched off are usable again in the view of all rows.
    EXPECT_TRUE(c.enabled(C::Find));
    EXPECT_TRUE(c.enabled(C::Slct));
    EXPECT_EQ(host.cvUpdates, cvUpdates + 1);
    EXPECT_EQ(rows(), context.RowsInUse + 2);
}

TEST_F(ParaTableFixture, AfterARefillTheCursorIsOnItsParameterOrOnNoRow) {
    ParameterTableWindow& t = createTable();
    t.core().CursorRow = 30;
    t.core().setCurrentCell(TC_Value, 30);
    setWork("0009", UP_Value, "75");
    t.FillRows();
    EXPECT_EQ(t.core().CursorRow, 30);
    host.commands.setChecked(C::ChgDisp, true);
    t.FillRows();
    // Row 30's parameter is not among the changed ones: no row is the cursor's now, and a
    // typed key is not taken (row 1 shows another parameter).
    EXPECT_EQ(t.core().CursorRow, 0);
    EXPECT_EQ(t.core().currentRow(), -1);
    EXPECT_FALSE(t.entry().KeyPress(u'5'));
    EXPECT_EQ(t.cells().cell(TC_Value, 1), cell(TC_Value, "0009"));

    t.core().setCurrentCell(TC_Value, 1);
    t.entry().Click();
    host.commands.setChecked(C::ChgDisp, false);
    t.FillRows();
    EXPECT_EQ(t.core().CursorRow, rowOf("0009"));
    EXPECT_EQ(t.core().currentRow(), rowOf("0009"));
    EXPECT_EQ(t.core().currentCol(), TC_Value);
}

TEST_F(ParaTableFixture, TheHighlightedBlockSurvivesARefillCutToTheNewRows) {
    ParameterTableWindow& t = createTable();
    using R = ParameterTable::GridRect;
    t.core().setCurrentCell(TC_Value, 3);
    t.core().setSelection(R{TC_Value, 3, TC_High, 6});
    EXPECT_EQ(t.core().Selection(), (R{TC_Value, 3, TC_High, 6}));
    t.FillRows();
    EXPECT_EQ(t.core().Selection(), (R{TC_Value, 3, TC_High, 6}));
    EXPECT_EQ(t.core().currentRow(), 3);

    // Four rows left: the block is cut at the last one.
    for (const char* n : {"0000", "0001", "0002", "0003"})
        setWork(n, UP_Value, "7");
    t.FillRows();
    host.commands.setChecked(C::ChgDisp, true);
    t.FillRows();
    ASSERT_EQ(rows(), 5);
    EXPECT_EQ(t.core().Selection(), (R{TC_Value, 3, TC_High, 4}));
    // The title column is never part of it.
    t.core().setSelection(R{TC_Title, 1, TC_Name, 2});
    EXPECT_EQ(t.core().Selection(), (R{TC_ComNo, 1, TC_Name, 2}));
}

TEST_F(ParaTableFixture, RefreshAllWithoutCurrentVoltageListLeavesItsCommandsDisabled) {
    context.ListBuff.clear();
    createTable();
    EXPECT_FALSE(host.commands.enabled(C::CVDisp));
    context.ListBuff << "0022";
    table->RefreshAll();
    EXPECT_TRUE(host.commands.enabled(C::CVDisp));
}

// ---- Drawing and layout -----------------------------------------------------------------

TEST_F(ParaTableFixture, CellsTakeTheOptionColoursAndTheMarksOfTheirParameter) {
    ParameterTableWindow& t = createTable();
    Options& o = options;
    o.PNCellC.setValue(0x112233);
    o.PSCellC.setValue(0x445566);
    o.PSlctTextC.setValue(0x00FF00);
    const int r = rowOf("0009");
    EXPECT_EQ(t.core().cellStyle(TC_Name, r, false).background, bgr(0x112233));
    EXPECT_EQ(t.core().cellStyle(TC_Value, r, false).background, bgr(0x445566));
    EXPECT_FALSE(t.core().cellStyle(TC_Title, r, false).background.isValid());

    setWork("0009", UP_SelectIndex, "1");
    CellStyle v = t.core().cellStyle(TC_Value, r, false);
    EXPECT_EQ(v.background, QColor(0, 0, 255));
    EXPECT_EQ(v.text, QColor(255, 255, 255));
    // The grid's highlighted block is dark blue with the option's text colour.
    v = t.core().cellStyle(TC_Value, r, true);
    EXPECT_EQ(v.background, QColor(0, 0, 160));
    EXPECT_EQ(v.text, QColor(0, 255, 0));

    setWork("0009", UP_SelectIndex, "0");
    setWork("0009", UP_WriteIndex, "1");
    EXPECT_TRUE(t.core().cellStyle(TC_Value, r, false).bold);
    EXPECT_FALSE(t.core().cellStyle(TC_Name, r, false).bold);
    setWork("0009", UP_CommErrIndex, "1");
    EXPECT_EQ(t.core().cellStyle(TC_Value, r, false).text, QColor(192, 192, 192));
    setPara("0012", PD_Flag, "1");
    EXPECT_EQ(t.core().cellStyle(TC_Unit, rowOf("0012"), false).text, QColor(255, 0, 0));
}

TEST_F(ParaTableFixture, SelectedValueIsBlueInEveryViewButTheCurrentVoltageColourOnlyInAll) {
    ParameterTableWindow& t = createTable();
    Options& o = options;
    o.currentVoltageCellColor.setChecked(true);
    o.PCVCellC.setValue(0x00FFFF);
    setWork("0022", UP_SelectIndex, "1");
    setWork("0022", UP_Value, "1600");
    t.FillRows();
    host.commands.setChecked(C::CVDisp, true);
    t.FillRows();
    EXPECT_EQ(t.core().cellStyle(TC_Unit, rowOf("0022"), false).background, QColor(255, 255, 0));
    EXPECT_NE(t.core().cellStyle(TC_Unit, rowOf("0003"), false).background, QColor(255, 255, 0));

    host.commands.setChecked(C::ChgDisp, true);
    t.FillRows();
    ASSERT_EQ(rowOf("0022"), 1);
    EXPECT_EQ(t.core().cellStyle(TC_Unit, 1, false).background, o.PNCellC.color());
    EXPECT_EQ(t.core().cellStyle(TC_Value, 1, false).background, QColor(0, 0, 255));
}

TEST_F(ParaTableFixture, TextsAlignByColumnAndTheTitleRowIsCentred) {
    ParameterTableWindow& t = createTable();
    const Qt::Alignment want[TC_Count] = {Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft,
                                          Qt::AlignHCenter, Qt::AlignRight,   Qt::AlignRight,
                                          Qt::AlignRight,   Qt::AlignHCenter};
    for (int col = 0; col < TC_Count; ++col) {
        EXPECT_EQ(t.core().cellStyle(col, 3, false).alignment, want[col]) << col;
        EXPECT_EQ(t.core().cellStyle(col, 0, false).alignment, Qt::AlignHCenter) << col;
    }
}

TEST_F(ParaTableFixture, ColumnsShareTheGridWidthByTheirRatios) {
    ParameterTableWindow& t = createTable();
    const auto w = t.core().columnWidths(1000);
    EXPECT_EQ(w[TC_Name], 354);
    EXPECT_EQ(w[TC_Title], 88);
    EXPECT_EQ(w[TC_Changed], 94); // 0.095 as a 32-bit float is just below it
    t.resize(900, 400);
    t.show();
    QCoreApplication::processEvents();
    const int client = t.gridView->viewport()->width();
    // The shares hold where the texts fit; the number columns (HXA1 has ten-digit values) take
    // what they lack from the name column, so the columns still fill the shares' width.
    int shares = 0, widths = 0;
    for (int c = 0; c < TC_Count; ++c) {
        const int share = int(client * t.core().ColumnRatio[c]);
        if (c != TC_Name) {
            EXPECT_GE(t.gridView->columnWidth(c), share) << c;
        }
        shares += share;
        widths += t.gridView->columnWidth(c);
    }
    for (int c : {TC_Title, TC_Unit, TC_Changed})
        EXPECT_EQ(t.gridView->columnWidth(c), int(client * t.core().ColumnRatio[c])) << c;
    EXPECT_GT(t.gridView->columnWidth(TC_Value), int(client * 0.0889f));
    EXPECT_EQ(widths, shares);
    EXPECT_EQ(t.gridView->verticalHeader()->defaultSectionSize(), 16);
}

// ---- Window -----------------------------------------------------------------------------

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
    context.StartupAbort = true;
    context.Parameters = nullptr;
    ParameterTableWindow t(context, options, nullptr, host);
    t.FormCreate();
    EXPECT_EQ(t.cells().rowCount(), 1);
    EXPECT_EQ(t.windowTitle(), "Parameter Table");
    context.Parameters = store;
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
    context.LanguageIniPath = lng;
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
    context.LanguageIniPath = english;
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
    options.UndoMaxSet.setPosition(4);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &other; }));
    QCoreApplication::processEvents();
    t.Show();
    ASSERT_TRUE(waitFor([&] { return host.paraTableAct; }));
    EXPECT_EQ(host.spChecks, 1);
    EXPECT_EQ(t.core().UndoDepth, 4);
}

// ---- Value rules through the table window ----------------------------------------------

TEST_F(ParaTableFixture, ValueRulesAreReachedThroughTheTable) {
    createTable();
    EXPECT_EQ(table->IndexOfComNo("0003"), 3);
    EXPECT_EQ(table->IndexOfComNo(""), -1);
    EXPECT_EQ(table->ValueOfComNo("3"), 6000);
    EXPECT_EQ(table->DefaultOf("0004"), "6000");
    EXPECT_EQ(ParameterTableWindow::ToHexText(255), "FF");
    table->core().OutOfRange = 0;
    EXPECT_EQ(table->ClampToRange("50000", 3), 40000);
    EXPECT_EQ(table->core().OutOfRange, 1);
    table->core().SearchStartRow = 0;
    EXPECT_EQ(table->GridRowOfIndex(9), 9);
    EXPECT_EQ(table->core().SearchStartRow, 9);
}

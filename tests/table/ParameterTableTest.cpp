// The parameter table over the shipped drive type HXA1: rows of each view, texts, limits,
// the refill after a new parameter set and how each cell is drawn.
#include "support/TableFixture.h"

namespace {
const QString kNoMark = QStringLiteral("      ");
QColor bgr(int v) {
    return ColorOption::fromBgr(v);
}
using C = TableCommand;
using ParameterTableTest = TableFixture;

TEST_F(ParameterTableTest, AllViewShowsEveryParameterInUseUnderTheTitlesWithTheCaption) {
    ASSERT_EQ(rows(), context.tableView.lastIndex + 2);
    EXPECT_EQ(core.grid().row(0), (QStringList{"Title", "Comm. No.", "Function", "Set Val.", "Low limit.",
                                               "Up limit.", "Unit", ""}));
    EXPECT_EQ(core.caption(), "Parameter Table HXA1-2004 (CPU Ver.V110)");
    // Row k + 1 shows parameter k.
    for (int k : {0, 3, context.tableView.lastIndex}) {
        EXPECT_EQ(core.grid().cell(TC_ComNo, k + 1),
                  definitionText(context.drive.parameters[std::size_t(k)], PD_ComNo))
            << k;
        EXPECT_EQ(core.grid().cell(TC_Title, k + 1),
                  definitionText(context.drive.parameters[std::size_t(k)], PD_FTitle))
            << k;
        EXPECT_EQ(core.grid().cell(TC_Name, k + 1),
                  definitionText(context.drive.parameters[std::size_t(k)], PD_FName))
            << k;
    }
    // Maximum frequency: 6000 raw, Mul 100, "#.##"; limits 3000..40000; unit Hz.
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");
    EXPECT_EQ(cell(TC_Low, "0003"), "   30.00");
    EXPECT_EQ(cell(TC_High, "0003"), "  400.00");
    EXPECT_EQ(cell(TC_Unit, "0003"), "Hz");
    EXPECT_EQ(cell(TC_Changed, "0003"), kNoMark);
    // The find buffer has one "number,name" line per row.
    ASSERT_EQ(core.findBuffer().size(), context.tableView.lastIndex + 1);
    EXPECT_EQ(core.findBuffer().first(), "0000,Control mode");
}

TEST_F(ParameterTableTest, ValuesShowInHexAndChangedParametersCarryTheMark) {
    setWork("0009", UP_Value, "75");
    setWork("0020", UP_Value, "255");
    setWork("0020", UP_HexIndex, "1");
    setWork("0061", UP_Value, "-1");
    setWork("0061", UP_HexIndex, "1");
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0009"), "     7.5");
    EXPECT_EQ(cell(TC_Changed, "0009"), "Change");
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    EXPECT_EQ(cell(TC_Value, "0020"), "hFF");
    EXPECT_EQ(cell(TC_Value, "0061"), "hFFFFFFFF");
    EXPECT_EQ(cell(TC_Changed, "0001"), kNoMark);
    EXPECT_EQ(work("0001", UP_ChangeIndex), "0");
    // An empty value counts as 0 (default 1 here, so changed).
    setWork("0001", UP_Value, "");
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0001"), "       0");
    EXPECT_EQ(cell(TC_Changed, "0001"), "Change");
}

TEST_F(ParameterTableTest, AFailedTransferHidesTheChangedMarkAndGreysTheRow) {
    setPara("0009", PD_Flag, "2");
    setWork("0009", UP_Value, "75");
    core.FillRows();
    EXPECT_EQ(cell(TC_Changed, "0009"), kNoMark);
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    const int r = rowOf("0009");
    for (int col = TC_ComNo; col < TC_Count; ++col)
        EXPECT_EQ(core.cellStyle(col, r, false).text, bgr(0xC0C0C0)) << col;
    EXPECT_FALSE(core.cellStyle(TC_Title, r, false).text.isValid());
}

TEST_F(ParameterTableTest, ChangedOnlyViewPacksTheChangedParametersFromRowOne) {
    setWork("0009", UP_Value, "75");
    setWork("0030", UP_Value, "600");
    core.FillRows(); // the changed flags are computed while filling
    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(core.grid().cell(TC_ComNo, 1), "0009");
    EXPECT_EQ(core.grid().cell(TC_ComNo, 2), "0030");
    EXPECT_EQ(core.lastDataRow(), 1);
    // Filtered rows find their parameter by number.
    EXPECT_EQ(core.indexOfRow(2), index("0030"));
    // Limits of packed rows belong to their own parameter: 0..1000 raw at Mul 10.
    EXPECT_EQ(cell(TC_High, "0030"), "   100.0");
}

TEST_F(ParameterTableTest, BlindViewHidesTheMarkedParametersAndKeepsTheFileMarks) {
    for (const char* n : {"0002", "0005", "0030"})
        setWork(n, UP_BlindIndex, "1");
    setWork("0009", UP_SelectIndex, "1");
    setWork("0020", UP_HexIndex, "1");
    setWork("0009", UP_WriteIndex, "1");
    // A file's count that disagrees with its marks does not change the rows shown.
    context.tableView.blindOn = true;
    context.tableView.blindCount = 5;
    refreshAll();
    EXPECT_TRUE(core.blindView());
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2 - 3);
    EXPECT_EQ(rowOf("0005"), -1);
    EXPECT_EQ(core.grid().cell(TC_ComNo, 5), "0006");
    EXPECT_EQ(core.blindRowCount(), context.tableView.lastIndex - 5);
    // Selection, hex and blind marks of the file stay; the edit marks do not.
    EXPECT_EQ(work("0009", UP_SelectIndex), "1");
    EXPECT_EQ(work("0020", UP_HexIndex), "1");
    EXPECT_EQ(work("0005", UP_BlindIndex), "1");
    EXPECT_EQ(work("0009", UP_WriteIndex), "0");
    // All Parameters is the way out; the views Blind excludes are off.
    EXPECT_TRUE(commands.enabled(C::Disp));
    EXPECT_FALSE(commands.enabled(C::ChgDisp));
    EXPECT_FALSE(commands.enabled(C::Quick));
    ASSERT_EQ(core.findBuffer().size(), rows() - 1);
    EXPECT_FALSE(core.findBuffer().join('\n').contains("0005,"));
}

TEST_F(ParameterTableTest, QuickViewShowsTheQuickParametersWhateverTheirStoredCount) {
    int expected = 0;
    for (int p = 0; p <= context.tableView.lastIndex; ++p)
        if (definitionText(context.drive.parameters[std::size_t(p)], PD_Quick) != "0")
            ++expected;
    setPara("0003", PD_Quick, "0");
    setPara("0012", PD_Quick, "0");
    expected -= 2;
    ASSERT_NE(expected, context.drive.quickCount);
    commands.setChecked(C::Quick, true);
    core.FillRows();
    EXPECT_EQ(rows(), expected + 1);
    EXPECT_EQ(rowOf("0003"), -1);
    EXPECT_EQ(rowOf("0012"), -1);
    EXPECT_GT(rowOf("0009"), 0);
}

TEST_F(ParameterTableTest, CurrentVoltageDisplayShowsAmperesWithTheStepAsUnit) {
    ASSERT_EQ(definitionText(context.drive.parameters[std::size_t(index("0022"))], PD_CurrentVoltIndex), "C");
    core.conversionBases() = ConversionBases{.volt = 200.0f, .ampere = 5.0f};
    setWork("0022", UP_Value, "1000"); // Mul 10: step 0.005 A
    commands.setChecked(C::CVDisp, true);
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0022"), "5.0A");
    EXPECT_EQ(cell(TC_Unit, "0022"), "0.1A");
    EXPECT_EQ(cell(TC_High, "0022"), "10.0A");
    // Voltage parameter 0032 at Mul 10 and 200 V: step 0.2 V.
    EXPECT_EQ(cell(TC_Unit, "0032"), "0.20V");
    // Other parameters keep their unit and format.
    EXPECT_EQ(cell(TC_Unit, "0003"), "Hz");
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");

    core.conversionBases().ampere = 20.0f;
    setPara("0022", PD_Mul, "1");
    setWork("0022", UP_Value, "50"); // step 0.2 A
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0022"), "10.00A");
    EXPECT_EQ(cell(TC_Unit, "0022"), "0.20A");
}

TEST_F(ParameterTableTest, LimitsFollowTheirReferencesAndANegativeReferenceNegatesToANumber) {
    // 0040: high = Value of 0003, low = minus Value of 0003.
    EXPECT_EQ(cell(TC_High, "0040"), "   60.00");
    EXPECT_EQ(cell(TC_Low, "0040"), "  -60.00");
    setWork("0003", UP_Value, "-500");
    core.UpdateLimits();
    EXPECT_EQ(work("0040", UP_LValue), "500");
    EXPECT_EQ(cell(TC_Low, "0040"), "    5.00");
    EXPECT_EQ(work("0040", UP_HValue), "-500");
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(ParameterTableTest, AValueThatIsNoNumberStopsTheFillOnceWithMessage42) {
    setWork("0009", UP_Value, "abc");
    refreshAll();
    ASSERT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::NotANumber)});
    // The rows before it stay; nothing after it is shown stale.
    EXPECT_EQ(rows(), index("0009") + 1);
    EXPECT_EQ(core.grid().cell(TC_ComNo, rows() - 1), "0008");
    EXPECT_EQ(core.caption(), "Parameter Table HXA1-2004 (CPU Ver.V110)");
    EXPECT_LE(core.cursorRow(), rows() - 1);

    // A bad default is shown by the value rules (message 32), then the fill stops.
    prompter.clear();
    setWork("0009", UP_Value, "50");
    setPara("0011", PD_DIndex, "2");
    core.FillRows();
    EXPECT_EQ(prompter.texts(),
              (QStringList{Msg(context, MsgId::DefaultNotDefined), Msg(context, MsgId::NotANumber)}));
    EXPECT_EQ(rows(), index("0011") + 1);
}

TEST_F(ParameterTableTest, RefreshAllClearsTheMarksUndoListsAndViewsOfTheOldSet) {
    options.undoDepth.setPosition(7);
    for (int col : {UP_SelectIndex, UP_ChangeIndex, UP_WriteIndex, UP_HexIndex, UP_BlindIndex})
        setWork("0009", col, "1");
    UndoHistory& history = store->history();
    history.setDepth(5);
    history.push({"0009", "50"});
    history.push({"0009", "60"});
    history.keepForRedo(*history.takeUndo());
    commands.setEnabled(C::Undo, true);
    commands.setEnabled(C::Redo, true);
    commands.setChecked(C::Quick, true);
    commands.setEnabled(C::Find, false);
    commands.setEnabled(C::Slct, false);
    commands.setEnabled(C::Disp, true);
    commands.setChecked(C::CVDisp, true);

    refreshAll();
    for (int col : {UP_SelectIndex, UP_ChangeIndex, UP_WriteIndex, UP_HexIndex, UP_BlindIndex})
        EXPECT_EQ(work("0009", col), "0") << col;
    EXPECT_TRUE(history.undoSteps().isEmpty() && history.redoSteps().isEmpty());
    EXPECT_EQ(history.depth(), 7);
    const TableCommands& c = commands;
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
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
}

TEST_F(ParameterTableTest, AfterARefillTheCursorIsOnItsParameterOrOnNoRow) {
    core.setCursorRow(30);
    core.setCurrentCell(TC_Value, 30);
    setWork("0009", UP_Value, "75");
    core.FillRows();
    EXPECT_EQ(core.cursorRow(), 30);
    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    // Row 30's parameter is not among the changed ones: no row is the cursor's now, and a
    // typed key is not taken (row 1 shows another parameter).
    EXPECT_EQ(core.cursorRow(), 0);
    EXPECT_EQ(core.currentRow(), -1);
    EXPECT_FALSE(entry.typeCharacter(u'5'));
    EXPECT_EQ(core.grid().cell(TC_Value, 1), cell(TC_Value, "0009"));

    core.setCurrentCell(TC_Value, 1);
    entry.cancelForMove();
    commands.setChecked(C::ChgDisp, false);
    core.FillRows();
    EXPECT_EQ(core.cursorRow(), rowOf("0009"));
    EXPECT_EQ(core.currentRow(), rowOf("0009"));
    EXPECT_EQ(core.currentCol(), TC_Value);
}

TEST_F(ParameterTableTest, TheHighlightedBlockSurvivesARefillCutToTheNewRows) {
    using R = ParameterTable::GridRect;
    core.setCurrentCell(TC_Value, 3);
    core.setSelection(R{TC_Value, 3, TC_High, 6});
    EXPECT_EQ(core.Selection(), (R{TC_Value, 3, TC_High, 6}));
    core.FillRows();
    EXPECT_EQ(core.Selection(), (R{TC_Value, 3, TC_High, 6}));
    EXPECT_EQ(core.currentRow(), 3);

    // Four rows left: the block is cut at the last one.
    for (const char* n : {"0000", "0001", "0002", "0003"})
        setWork(n, UP_Value, "7");
    core.FillRows();
    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    ASSERT_EQ(rows(), 5);
    EXPECT_EQ(core.Selection(), (R{TC_Value, 3, TC_High, 4}));
    // The title column is never part of it.
    core.setSelection(R{TC_Title, 1, TC_Name, 2});
    EXPECT_EQ(core.Selection(), (R{TC_ComNo, 1, TC_Name, 2}));
}

TEST_F(ParameterTableTest, CellsTakeTheOptionColoursAndTheMarksOfTheirParameter) {
    Options& o = options;
    o.otherValueCellColor.setValue(0x112233);
    o.settingValueCellColor.setValue(0x445566);
    o.selectedTextColor.setValue(0x00FF00);
    const int r = rowOf("0009");
    EXPECT_EQ(core.cellStyle(TC_Name, r, false).background, bgr(0x112233));
    EXPECT_EQ(core.cellStyle(TC_Value, r, false).background, bgr(0x445566));
    EXPECT_FALSE(core.cellStyle(TC_Title, r, false).background.isValid());

    setWork("0009", UP_SelectIndex, "1");
    CellStyle v = core.cellStyle(TC_Value, r, false);
    EXPECT_EQ(v.background, QColor(0, 0, 255));
    EXPECT_EQ(v.text, QColor(255, 255, 255));
    // The grid's highlighted block is dark blue with the option's text colour.
    v = core.cellStyle(TC_Value, r, true);
    EXPECT_EQ(v.background, QColor(0, 0, 160));
    EXPECT_EQ(v.text, QColor(0, 255, 0));

    setWork("0009", UP_SelectIndex, "0");
    setWork("0009", UP_WriteIndex, "1");
    EXPECT_TRUE(core.cellStyle(TC_Value, r, false).bold);
    EXPECT_FALSE(core.cellStyle(TC_Name, r, false).bold);
    setWork("0009", UP_CommErrIndex, "1");
    EXPECT_EQ(core.cellStyle(TC_Value, r, false).text, QColor(192, 192, 192));
    setPara("0012", PD_Flag, "1");
    EXPECT_EQ(core.cellStyle(TC_Unit, rowOf("0012"), false).text, QColor(255, 0, 0));
}

TEST_F(ParameterTableTest, SelectedValueIsBlueInEveryViewButTheCurrentVoltageColourOnlyInAll) {
    Options& o = options;
    o.currentVoltageCellColor.setChecked(true);
    o.currentVoltageColor.setValue(0x00FFFF);
    setWork("0022", UP_SelectIndex, "1");
    setWork("0022", UP_Value, "1600");
    core.FillRows();
    commands.setChecked(C::CVDisp, true);
    core.FillRows();
    EXPECT_EQ(core.cellStyle(TC_Unit, rowOf("0022"), false).background, QColor(255, 255, 0));
    EXPECT_NE(core.cellStyle(TC_Unit, rowOf("0003"), false).background, QColor(255, 255, 0));

    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    ASSERT_EQ(rowOf("0022"), 1);
    EXPECT_EQ(core.cellStyle(TC_Unit, 1, false).background, o.otherValueCellColor.color());
    EXPECT_EQ(core.cellStyle(TC_Value, 1, false).background, QColor(0, 0, 255));
}

TEST_F(ParameterTableTest, TextsAlignByColumnAndTheTitleRowIsCentred) {
    const Qt::Alignment want[TC_Count] = {Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft,
                                          Qt::AlignHCenter, Qt::AlignRight,   Qt::AlignRight,
                                          Qt::AlignRight,   Qt::AlignHCenter};
    for (int col = 0; col < TC_Count; ++col) {
        EXPECT_EQ(core.cellStyle(col, 3, false).alignment, want[col]) << col;
        EXPECT_EQ(core.cellStyle(col, 0, false).alignment, Qt::AlignHCenter) << col;
    }
}

TEST_F(ParameterTableTest, ColumnsShareTheWidthByTheirRatios) {
    const auto w = core.columnWidths(1000);
    EXPECT_EQ(w[TC_Name], 354);
    EXPECT_EQ(w[TC_Title], 88);
    EXPECT_EQ(w[TC_Changed], 94); // 0.095 as a 32-bit float is just below it
}

} // namespace

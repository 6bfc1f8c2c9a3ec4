// The table's view, mark and display commands over the shipped drive type HXA1: the
// clipboard text, the filtered views and their command states, Select, Blind, Hex./Dec. and
// Shipment, with their messages.
#include "core/StoreCells.h"
#include "support/TableFixture.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {
const QString kNoMark = QStringLiteral("      ");
using C = TableCommand;

class ViewCommandsTest : public TableFixture {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        commands.setTableShown(true);
    }
    // Highlights a block in grid coordinates and puts the cursor row on its top row.
    void highlight(int left, int top, int right, int bottom) {
        core.setCurrentCell(left, top);
        core.setSelection({left, top, right, bottom});
        core.setCursorRow(top);
    }
    void select(std::initializer_list<const char*> comNos) {
        for (const char* n : comNos)
            setWork(n, UP_SelectIndex, "1");
    }
    // Every command's enabled and checked state, to see that a refused command changed none.
    std::vector<std::pair<bool, bool>> states() {
        std::vector<std::pair<bool, bool>> s;
        for (int i = 0; i < kTableCommandCount; ++i)
            s.emplace_back(commands.enabled(C(i)), commands.checked(C(i)));
        return s;
    }
    QStringList boxTexts() const { return prompter.texts(); }
    int countWork(int col) const {
        int n = 0;
        for (int i = 0; i <= context.tableView.lastIndex; ++i)
            n += StoreCells::work(context, col, i) == "1";
        return n;
    }
};

// ---- Copy -----------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, CopyGivesTheCaptionsAndEachHighlightedRowBehindItsTitle) {
    const TextGrid& g = core.grid();
    highlight(TC_Value, 5, TC_Low, 6);
    const QString expected = "Title\tSet Val.\tLow limit.\r\n" + g.cell(0, 5) + "\t" + g.cell(3, 5) + "\t" +
                             g.cell(4, 5) + "\r\n" + g.cell(0, 6) + "\t" + g.cell(3, 6) + "\t" +
                             g.cell(4, 6) + "\r\n";
    EXPECT_EQ(views.copyText(), expected);
    // Cells go as shown: leading blanks kept.
    EXPECT_TRUE(g.cell(3, 5).startsWith(' '));

    QGuiApplication::clipboard()->setText("before");
    views.copyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);

    // The whole width: eight fields, the changed mark last.
    highlight(TC_ComNo, 2, TC_Changed, 2);
    const QStringList lines = views.copyText().split("\r\n");
    ASSERT_EQ(lines.size(), 3); // the last line ends with CR LF too
    EXPECT_EQ(lines[1].split('\t'), g.row(2));
    EXPECT_EQ(lines[2], "");
}

// ---- Views ----------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, ChangedOnlyWithNothingChangedSaysSoAndChangesNothing) {
    const auto before = states();
    views.toggleChangedOnly();
    EXPECT_EQ(boxTexts(), QStringList{Msg(context, MsgId::NoChangedParameter)});
    EXPECT_EQ(prompter.boxes().front().icon, BoxIcon::Warning);
    EXPECT_EQ(states(), before);
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
}

TEST_F(ViewCommandsTest, ChangedOnlyShowsTheChangedParametersAndLocksTheOtherViews) {
    setWork("0009", UP_Value, "75");
    setWork("0013", UP_Value, "5");
    core.FillRows();
    views.toggleChangedOnly();
    EXPECT_TRUE(prompter.boxes().empty());
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(core.grid().cell(TC_ComNo, 1), "0009");
    EXPECT_EQ(core.grid().cell(TC_ComNo, 2), "0013");
    EXPECT_EQ(views.changedRowCount(), 2);
    for (C c : {C::Quick, C::Blind, C::Find})
        EXPECT_FALSE(commands.mirrorItemEnabled(c)) << int(c);
    EXPECT_FALSE(commands.toolButtonEnabled(C::Find));
    EXPECT_TRUE(commands.mirrorItemEnabled(C::Disp));
    EXPECT_TRUE(commands.checked(C::ChgDisp));

    views.toggleChangedOnly();
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
    EXPECT_FALSE(commands.checked(C::ChgDisp));
    for (C c : {C::Quick, C::Blind, C::Find})
        EXPECT_TRUE(commands.mirrorItemEnabled(c)) << int(c);
    EXPECT_FALSE(commands.mirrorItemEnabled(C::Disp));

    // All Parameters is the other way back.
    views.toggleChangedOnly();
    views.showAllParameters();
    EXPECT_FALSE(commands.checked(C::ChgDisp));
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
    EXPECT_TRUE(commands.enabled(C::Find));
}

TEST_F(ViewCommandsTest, CurrentVoltageDisplayShutsHexAndDecEverywhere) {
    core.conversionBases().ampere = 5.0f;
    views.toggleCurrentVoltage();
    EXPECT_TRUE(commands.checked(C::CVDisp));
    EXPECT_TRUE(commands.checked(C::CVDisp));
    for (C c : {C::HexDisp, C::DecDisp})
        EXPECT_FALSE(commands.mirrorItemEnabled(c) || commands.popupItemEnabled(c)) << int(c);
    // Motor rated current "C": 250 raw, Mul 100 → 2.5 % of 5 A.
    EXPECT_EQ(cell(TC_Value, "0022").right(1), "A");
    // The commands cannot be reached another way either.
    views.showHex();
    EXPECT_EQ(work("0003", UP_HexIndex), "0");

    // A new parameter set ends the display; Hex. and Dec. come back with it.
    refreshAll();
    EXPECT_FALSE(commands.checked(C::CVDisp));
    EXPECT_TRUE(commands.mirrorItemEnabled(C::HexDisp) && commands.mirrorItemEnabled(C::DecDisp));
    views.toggleCurrentVoltage();
    views.toggleCurrentVoltage();
    EXPECT_FALSE(commands.checked(C::CVDisp));
    EXPECT_TRUE(commands.mirrorItemEnabled(C::HexDisp) && commands.mirrorItemEnabled(C::DecDisp));
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");
}

TEST_F(ViewCommandsTest, QuickShowsItsParametersAndLocksElevenItems) {
    views.toggleQuickView();
    ASSERT_EQ(rows(), context.drive.quickCount + 1);
    EXPECT_EQ(core.grid().cell(TC_ComNo, 5), "0004");
    EXPECT_TRUE(commands.checked(C::Quick));
    for (C c : {C::ChgDisp, C::Slct, C::SlctUnlock, C::Blind, C::Find})
        EXPECT_FALSE(commands.mirrorItemEnabled(c) || commands.popupItemEnabled(c)) << int(c);
    EXPECT_FALSE(commands.toolButtonEnabled(C::Find));
    views.toggleQuickView();
    EXPECT_FALSE(commands.checked(C::Quick));
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
    for (C c : {C::ChgDisp, C::Slct, C::SlctUnlock, C::Blind, C::Find})
        EXPECT_TRUE(commands.mirrorItemEnabled(c)) << int(c);
}

TEST_F(ViewCommandsTest, AViewChangeGivesUpTheValueBeingTyped) {
    highlight(TC_Value, 4, TC_Value, 4);
    const QString shown = core.grid().cell(TC_Value, 4);
    entry.typeCharacter('7');
    ASSERT_EQ(core.grid().cell(TC_Value, 4), "7");
    views.toggleQuickView();
    views.toggleQuickView();
    EXPECT_EQ(core.pendingEntry().active(), false);
    EXPECT_EQ(core.pendingEntry().typedCount(), 0);
    EXPECT_EQ(core.grid().cell(TC_Value, 4), shown);
    EXPECT_EQ(work("0003", UP_Value), "6000");
}

// ---- Marks ----------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, SelectTogglesTheHighlightedRowsOnlyWhenTheValueColumnIsCovered) {
    highlight(TC_ComNo, 5, TC_Name, 7);
    views.toggleSelected();
    EXPECT_EQ(countWork(UP_SelectIndex), 0);

    highlight(TC_Value, 5, TC_Value, 7);
    views.toggleSelected();
    EXPECT_EQ(work("0004", UP_SelectIndex), "1");
    EXPECT_EQ(work("0006", UP_SelectIndex), "1");
    EXPECT_EQ(countWork(UP_SelectIndex), 3);
    EXPECT_EQ(core.cellStyle(TC_Value, 5, false).background, ColorOption::fromBgr(0xFF0000));
    EXPECT_EQ(countWork(UP_OneSelectIndex), 0);

    highlight(TC_Name, 6, TC_Unit, 7);
    views.toggleSelected();
    EXPECT_EQ(work("0004", UP_SelectIndex), "1");
    EXPECT_EQ(work("0005", UP_SelectIndex), "0");
    EXPECT_EQ(work("0006", UP_SelectIndex), "0");

    // In a filtered view a row's parameter is found by its number.
    views.toggleQuickView();
    ASSERT_EQ(core.grid().cell(TC_ComNo, 6), "0009");
    core.setSelection({TC_Value, 6, TC_Value, 6});
    views.toggleSelected(); // the Quick view locks Select
    EXPECT_EQ(work("0009", UP_SelectIndex), "0");
    views.toggleQuickView();

    views.clearSelectedParameters();
    EXPECT_EQ(countWork(UP_SelectIndex), 0);
}

TEST_F(ViewCommandsTest, BlindHidesTheSelectedAndAllParametersShowsThemAgain) {
    const int inUse = context.tableView.lastIndex;
    select({"0002", "0005", "0013"});
    views.hideSelected();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(context.tableView.blindCount, 3);
    EXPECT_TRUE(context.tableView.blindOn);
    EXPECT_EQ(core.blindRowCount(), inUse - 3);
    EXPECT_EQ(rows(), inUse - 3 + 2);
    EXPECT_EQ(rowOf("0005"), -1);
    EXPECT_EQ(core.findBuffer().size(), inUse - 2);
    EXPECT_FALSE(core.findBuffer().contains("0005,Upper limit frequency"));
    EXPECT_TRUE(commands.checked(C::Blind));
    EXPECT_FALSE(commands.enabled(C::ChgDisp) || commands.enabled(C::Quick));
    EXPECT_TRUE(commands.enabled(C::Disp) && commands.enabled(C::Find));

    // A second Blind hides more; the count covers every hidden parameter.
    setWork("0002", UP_SelectIndex, "0");
    setWork("0005", UP_SelectIndex, "0");
    setWork("0013", UP_SelectIndex, "0");
    select({"0020"});
    views.hideSelected();
    EXPECT_EQ(context.tableView.blindCount, 4);
    EXPECT_EQ(rows(), inUse - 4 + 2);

    views.showAllParameters();
    EXPECT_EQ(context.tableView.blindCount, 0);
    EXPECT_FALSE(context.tableView.blindOn);
    EXPECT_EQ(countWork(UP_BlindIndex), 0);
    EXPECT_EQ(rows(), inUse + 2);
    EXPECT_EQ(core.findBuffer().size(), inUse + 1);
    EXPECT_FALSE(commands.checked(C::Blind));
    EXPECT_FALSE(commands.enabled(C::Disp));
    EXPECT_TRUE(commands.enabled(C::Quick) && commands.enabled(C::ChgDisp));
}

TEST_F(ViewCommandsTest, BlindRefusesNothingSelectedAndEverythingSelected) {
    views.hideSelected();
    EXPECT_EQ(boxTexts(), QStringList{Msg(context, MsgId::NoSelectedParameter)});
    EXPECT_FALSE(context.tableView.blindOn);

    prompter.clear();
    for (int i = 0; i <= context.tableView.lastIndex; ++i)
        StoreCells::setWork(context, UP_SelectIndex, i, "1");
    const auto before = states();
    views.hideSelected();
    EXPECT_EQ(boxTexts(), QStringList{Msg(context, MsgId::CannotHideAll)});
    // Nothing is hidden by a refused Blind: the next Blind and the files see no stray marks.
    EXPECT_EQ(countWork(UP_BlindIndex), 0);
    EXPECT_FALSE(context.tableView.blindOn);
    EXPECT_EQ(context.tableView.blindCount, 0);
    EXPECT_EQ(states(), before);
    EXPECT_EQ(rows(), context.tableView.lastIndex + 2);
}

// ---- Display --------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, HexThenDecShowTheStoredValueAndNeverChangeIt) {
    // A display with fewer decimals than the value: 125 raw at Mul 10 shows "13".
    setPara("0013", PD_Mul, "10");
    setPara("0013", PD_TMul, "#");
    setWork("0013", UP_Value, "125");
    core.FillRows();
    ASSERT_EQ(cell(TC_Value, "0013"), "      13");
    highlight(TC_Value, rowOf("0012"), TC_Value, rowOf("0013"));
    select({"0030"});
    views.showHex();
    EXPECT_EQ(cell(TC_Value, "0013"), "h7D");
    EXPECT_EQ(cell(TC_Value, "0012"), "hFA");
    EXPECT_EQ(cell(TC_Value, "0030"), "h1F4");
    EXPECT_EQ(work("0013", UP_HexIndex), "1");
    EXPECT_EQ(work("0013", UP_Value), "125");
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00"); // not a target
    EXPECT_EQ(countWork(UP_OneSelectIndex), 0);

    // The hexadecimal display survives a refill.
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0013"), "h7D");

    highlight(TC_Value, rowOf("0013"), TC_Value, rowOf("0013"));
    views.showDecimal();
    EXPECT_EQ(cell(TC_Value, "0013"), "      13");
    EXPECT_EQ(work("0013", UP_HexIndex), "0");
    EXPECT_EQ(work("0013", UP_Value), "125");
    EXPECT_EQ(cell(TC_Value, "0030"), "    50.0"); // selected, so a target of Dec. too
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ViewCommandsTest, HexStopsAtAValueThatIsNoNumberAndLeavesNoMarkBehind) {
    setWork("0005", UP_Value, "x");
    highlight(TC_Value, rowOf("0004"), TC_Value, rowOf("0006"));
    views.showHex();
    EXPECT_EQ(boxTexts(), QStringList{Msg(context, MsgId::NotANumber)});
    EXPECT_EQ(work("0004", UP_HexIndex), "1");
    EXPECT_EQ(work("0005", UP_HexIndex), "0");
    EXPECT_EQ(work("0006", UP_HexIndex), "0"); // after the stop
    EXPECT_EQ(countWork(UP_OneSelectIndex), 0);
}

TEST_F(ViewCommandsTest, ShipmentResetsTheTargetsAndMarksOnlyRealChangesUnsent) {
    setWork("0003", UP_Value, "5000");
    setWork("0009", UP_Value, "75");
    setWork("0009", UP_HexIndex, "1");
    core.FillRows();
    ASSERT_EQ(cell(TC_Changed, "0003"), "Change");
    ASSERT_EQ(cell(TC_High, "0007"), "   50.00"); // follows 0003
    highlight(TC_Value, rowOf("0002"), TC_Value, rowOf("0003"));
    select({"0009", "0010"});
    views.restoreShipmentValues();
    EXPECT_TRUE(prompter.boxes().empty());
    // At its default already: no unsent mark.
    EXPECT_EQ(work("0002", UP_WriteIndex), "0");
    EXPECT_EQ(work("0010", UP_WriteIndex), "0");
    for (const char* n : {"0003", "0009"}) {
        EXPECT_EQ(work(n, UP_WriteIndex), "1") << n;
        EXPECT_EQ(work(n, UP_ChangeIndex), "0") << n;
        EXPECT_EQ(cell(TC_Changed, n), kNoMark) << n;
    }
    EXPECT_EQ(work("0003", UP_Value), "6000");
    EXPECT_EQ(cell(TC_Value, "0003"), "   60.00");
    EXPECT_EQ(work("0009", UP_Value), "50");
    EXPECT_EQ(cell(TC_Value, "0009"), "h32");
    // A default taken from another parameter (0010 takes 0009's).
    EXPECT_EQ(work("0010", UP_Value), "50");
    // Limits that follow a reset value are shown anew.
    EXPECT_EQ(cell(TC_High, "0007"), "   60.00");
    EXPECT_EQ(countWork(UP_OneSelectIndex), 0);
}

TEST_F(ViewCommandsTest, ShipmentLeavesAParameterWithAnUnreadableDefaultAsItIs) {
    setPara("0013", PD_DIndex, "7");
    setWork("0013", UP_Value, "5");
    highlight(TC_Value, rowOf("0013"), TC_Value, rowOf("0013"));
    views.restoreShipmentValues();
    EXPECT_EQ(boxTexts(), QStringList{Msg(context, MsgId::DefaultNotDefined)});
    EXPECT_EQ(work("0013", UP_Value), "5");
    EXPECT_EQ(work("0013", UP_WriteIndex), "0");
}

TEST_F(ViewCommandsTest, TheDeleteKeyIsShipmentOfTheCursorRow) {
    setWork("0013", UP_Value, "5");
    core.FillRows();
    highlight(TC_Value, rowOf("0013"), TC_Value, rowOf("0013"));
    entry.pressKey(ValueEntry::Key::Delete);
    EXPECT_EQ(work("0013", UP_Value), "0");
    EXPECT_EQ(work("0013", UP_WriteIndex), "1");
}

} // namespace

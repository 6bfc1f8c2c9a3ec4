// Undo and redo of typed values over the shipped drive type HXA1: values, marks and texts
// restored, the order of steps, the depth option and the views.
#include "support/TableFixture.h"

namespace {
const QString kNoMark = QStringLiteral("      ");
}

using C = TableCommand;

class UndoRedoTest : public TableFixture {
protected:
    bool undo() { return undoRedo.undoStep(); }
    bool redo() { return undoRedo.redoStep(); }
    // The pop-up item and the main menu's twin (hidden items report no enabled state).
    bool undoOn() const {
        EXPECT_EQ(commands.popupItemEnabled(C::Undo), commands.mirrorItemEnabled(C::Undo));
        return commands.mirrorItemEnabled(C::Undo);
    }
    bool redoOn() const {
        EXPECT_EQ(commands.popupItemEnabled(C::Redo), commands.mirrorItemEnabled(C::Redo));
        return commands.mirrorItemEnabled(C::Redo);
    }
    void setDepth(int depth) { options.undoDepth.setPosition(depth); }
    const UndoHistory& history() const { return store->history(); }
    static QStringList numbers(const QList<UndoStep>& steps) {
        QStringList out;
        for (const UndoStep& step : steps)
            out << step.comNo;
        return out;
    }
    static QStringList values(const QList<UndoStep>& steps) {
        QStringList out;
        for (const UndoStep& step : steps)
            out << step.value;
        return out;
    }
    // Commits 0013 = 1, 2, ... n (its default is 0, its limit 50).
    void entries(int n) {
        for (int k = 1; k <= n; ++k)
            commit("0013", QString::number(k));
    }
};

TEST_F(UndoRedoTest, UndoAndRedoRestoreValuesMarksAndTexts) {
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(redoOn());
    commit("0009", "12.5");
    commit("0013", "h1F");
    EXPECT_TRUE(undoOn());
    EXPECT_FALSE(redoOn());

    go("0001"); // the cursor elsewhere
    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0013"), "0");
    // Still shown in hexadecimal, still marked as not sent.
    EXPECT_EQ(cell(TC_Value, "0013"), "h0");
    EXPECT_EQ(work("0013", UP_HexIndex), "1");
    EXPECT_EQ(work("0013", UP_WriteIndex), "1");
    EXPECT_EQ(cell(TC_Changed, "0013"), kNoMark);
    EXPECT_EQ(cursor(), rowOf("0013"));
    EXPECT_EQ(core.currentRow(), rowOf("0013"));
    EXPECT_EQ(core.currentCol(), int(TC_Value));
    EXPECT_TRUE(undoOn());
    EXPECT_TRUE(redoOn());

    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0009"), "50");
    EXPECT_EQ(cell(TC_Value, "0009"), "     5.0");
    EXPECT_EQ(cell(TC_Changed, "0009"), kNoMark);
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(undo());

    ASSERT_TRUE(redo());
    EXPECT_EQ(value("0009"), "125");
    EXPECT_EQ(cell(TC_Value, "0009"), "    12.5");
    EXPECT_EQ(cell(TC_Changed, "0009"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    ASSERT_TRUE(redo());
    EXPECT_EQ(value("0013"), "31");
    EXPECT_EQ(cell(TC_Value, "0013"), "h1F");
    EXPECT_FALSE(redoOn());
    EXPECT_FALSE(redo());
    EXPECT_TRUE(undoOn());
    EXPECT_EQ(numbers(history().undoSteps()), (QStringList{"0009", "0013"}));
    EXPECT_TRUE(history().redoSteps().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(UndoRedoTest, UndoUndoRedoUndoIsUndoUndo) {
    commit("0009", "10");
    commit("0013", "5");
    commit("0020", "7");
    ASSERT_TRUE(undo());
    ASSERT_TRUE(undo());
    ASSERT_TRUE(redo());
    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0009"), "100");
    EXPECT_EQ(value("0013"), "0");
    EXPECT_EQ(value("0020"), "1");
    EXPECT_EQ(numbers(history().undoSteps()), QStringList{"0009"});
    EXPECT_EQ(numbers(history().redoSteps()), (QStringList{"0020", "0013"}));
    // The next redo is 0013's, then 0020's.
    ASSERT_TRUE(redo());
    EXPECT_EQ(value("0013"), "5");
    EXPECT_EQ(value("0020"), "1");
    ASSERT_TRUE(redo());
    EXPECT_EQ(value("0020"), "7");
}

TEST_F(UndoRedoTest, AnEntryAfterUndoEmptiesTheRedoHistory) {
    commit("0009", "10");
    commit("0013", "5");
    ASSERT_TRUE(undo());
    EXPECT_TRUE(redoOn());
    commit("0020", "7");
    EXPECT_FALSE(redoOn());
    EXPECT_TRUE(history().redoSteps().isEmpty());
    EXPECT_FALSE(redo());
    EXPECT_EQ(value("0013"), "0");
}

TEST_F(UndoRedoTest, TheDepthKeepsTheNewestSteps) {
    setDepth(10);
    entries(11);
    EXPECT_EQ(history().undoCount(), 10);
    for (int k = 0; k < 10; ++k)
        ASSERT_TRUE(undo()) << k;
    // The first entry can no longer be taken back.
    EXPECT_EQ(value("0013"), "1");
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(undo());
    EXPECT_EQ(value("0013"), "1");
    // All ten come back.
    for (int k = 0; k < 10; ++k)
        ASSERT_TRUE(redo()) << k;
    EXPECT_EQ(value("0013"), "11");
}

TEST_F(UndoRedoTest, DepthZeroRecordsNothing) {
    setDepth(0);
    entries(3);
    EXPECT_TRUE(history().undoSteps().isEmpty());
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(undo());
    EXPECT_EQ(value("0013"), "3");
}

TEST_F(UndoRedoTest, LoweringTheDepthDropsTheOldestStepsAtOnce) {
    setDepth(10);
    entries(6);
    ASSERT_TRUE(undo()); // one step on the redo side as well
    setDepth(3);
    EXPECT_EQ(values(history().undoSteps()), (QStringList{"2", "3", "4"}));
    EXPECT_EQ(history().depth(), 3);
    // The three newest, newest first.
    for (const char* v : {"4", "3", "2"}) {
        ASSERT_TRUE(undo());
        EXPECT_EQ(value("0013"), v);
    }
    EXPECT_FALSE(undo());

    // Down to 0 with steps held: nothing is left to take back or apply again.
    setDepth(10);
    entries(2);
    setDepth(0);
    EXPECT_TRUE(history().undoSteps().isEmpty() && history().redoSteps().isEmpty());
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(redoOn());
}

TEST_F(UndoRedoTest, ARefreshOfTheWholeTableForgetsEveryStep) {
    entries(2);
    ASSERT_TRUE(undo());
    refreshAll();
    EXPECT_TRUE(history().undoSteps().isEmpty() && history().redoSteps().isEmpty());
    EXPECT_FALSE(undoOn());
    EXPECT_FALSE(redoOn());
}

TEST_F(UndoRedoTest, UndoGivesUpAValueBeingTypedInsteadOfStoringItElsewhere) {
    commit("0009", "10");
    go("0013");
    const QString shown = cell(TC_Value, "0013");
    type("9");
    ASSERT_TRUE(undo());
    EXPECT_EQ(cell(TC_Value, "0013"), shown);
    EXPECT_EQ(core.pendingEntry().active(), false);
    // The cursor is on 0009 now; Enter stores nothing there.
    ASSERT_EQ(cursor(), rowOf("0009"));
    options.enterMovesToNextCell.setChecked(false);
    enter();
    EXPECT_EQ(value("0009"), "50");
    EXPECT_EQ(value("0013"), "0");
}

TEST_F(UndoRedoTest, CurrentAndVoltageDisplayShowsAmperesAgain) {
    commands.setChecked(C::CVDisp, true);
    core.FillRows();
    commit("0030", "2.5A");
    commit("0030", "1A");
    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0030"), "500");
    EXPECT_EQ(cell(TC_Value, "0030"), "2.5A");
}

TEST_F(UndoRedoTest, AParameterTheViewDoesNotShowKeepsOtherRowsUntouched) {
    commit("0009", "12.5"); // changed
    commit("0020", "1");    // its default: not in the 'Changed' Only view
    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    ASSERT_EQ(rowOf("0020"), -1);
    const QList<QStringList> before = gridRows();
    go("0009");
    const int cursorBefore = cursor();
    setWork("0020", UP_Value, "5");
    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0020"), "1");
    EXPECT_EQ(gridRows(), before);
    EXPECT_EQ(cursor(), cursorBefore);
    ASSERT_TRUE(undo());
    EXPECT_EQ(value("0009"), "50");
    EXPECT_EQ(cell(TC_Value, "0009"), "     5.0");
    EXPECT_EQ(cell(TC_Changed, "0009"), kNoMark);
}

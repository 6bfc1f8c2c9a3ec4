// The table window hands its keys, clicks and main-menu twins to the table: typed characters
// and Enter reach the value entry, letters never jump to a row, an arrow gives up the typing
// and then moves, a click gives it up, Delete asks for Shipment.
#include "ui/ValueEntryFixture.h"

#include <QMouseEvent>

TEST_F(ValueEntryFixture, KeysTypeAndCommitAndLettersJumpToNoRow) {
    go("0013");
    const int current = table->core().currentRow();
    type("1xGz +");
    EXPECT_EQ(cell(TC_Value, "0013"), "1");
    EXPECT_EQ(table->core().currentRow(), current);
    type("2");
    key(Qt::Key_Backspace);
    enter();
    EXPECT_EQ(value("0013"), "1");
}

TEST_F(ValueEntryFixture, ArrowsMoveAfterGivingUpAndAClickGivesUp) {
    const QString shown = cell(TC_Value, "0009");
    const int r = rowOf("0009");
    go("0009");
    type("77");
    key(Qt::Key_Escape);
    EXPECT_EQ(cell(TC_Value, "0009"), shown);

    type("77");
    key(Qt::Key_Down);
    EXPECT_EQ(cell(TC_Value, "0009"), shown);
    EXPECT_EQ(table->core().currentRow(), r + 1);
    EXPECT_EQ(cursor(), r + 1);
    enter();
    EXPECT_EQ(value("0009"), "50");

    go("0009");
    type("77");
    table->gridView->resize(640, 400);
    table->gridView->scrollToTop();
    const QModelIndex at = table->core().model()->index(1, TC_Name);
    const QPoint p = table->gridView->visualRect(at).center();
    QMouseEvent click(QEvent::MouseButtonPress, p, table->gridView->viewport()->mapToGlobal(p),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(table->gridView->viewport(), &click);
    EXPECT_EQ(cell(TC_Value, "0009"), shown);
    EXPECT_EQ(cursor(), 2);
    EXPECT_TRUE(undoLines().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(ValueEntryFixture, DeleteAsksForShipment) {
    int shipments = 0;
    QObject::connect(&table->entry(), &ValueEntry::deleteKey, [&] { ++shipments; });
    go("0009");
    key(Qt::Key_Delete);
    EXPECT_EQ(shipments, 1);
}

TEST_F(ValueEntryFixture, TheMainWindowsUndoAndRedoTwinsReachTheSameSteps) {
    commit("0009", "12.5");
    table->undoStep();
    EXPECT_EQ(value("0009"), "50");
    table->redoStep();
    EXPECT_EQ(value("0009"), "125");
}

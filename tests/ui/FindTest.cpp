// Find in the parameter table: the search over the "number,name" lines, forward only with no
// wrap, and the dialog moving the table's cursor.
#include "ui/ParameterTableFixture.h"

#include "core/Messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

struct FindCase {
    const char* name;
    const char* what;
    qsizetype from;
    bool matchCase;
    bool wholeWord;
    qsizetype expected;
};

TEST(FindInText, MatchesByCaseAndWholeWordAsTicked) {
    const QString text = QStringLiteral("0003,Maximum frequency\n0004,Base frequency\n0013,S-curve_ratio");
    const FindCase cases[] = {
        {"ignores case by default", "FREQ", 0, false, false, 13},
        {"goes on from the given position", "freq", 14, false, false, 33},
        {"match case keeps lower from upper", "maximum", 0, true, false, -1},
        {"match case finds the same letters", "Maximum", 0, true, false, 5},
        {"whole word skips a part of a word", "freq", 0, false, true, -1},
        {"whole word finds a word", "frequency", 0, false, true, 13},
        {"underscore belongs to a word", "ratio", 0, false, true, -1},
        {"a hyphen ends a word", "curve_ratio", 0, false, true, 50},
        {"spans the comma", "3,max", 0, false, false, 3},
        {"past the end finds nothing", "0004", 40, false, false, -1},
        {"an empty text finds nothing", "", 0, false, false, -1},
    };
    for (const FindCase& c : cases)
        EXPECT_EQ(findInText(text, QString::fromLatin1(c.what), c.from, c.matchCase, c.wholeWord), c.expected)
            << c.name;
}

class FindTest : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        createTable();
        table->resize(640, 400);
        table->Show();
    }
    FindDialog& dialog() { return *table->findDialog; }
    void open(const QString& text) {
        table->ShowFind();
        ASSERT_NE(table->findDialog, nullptr);
        dialog().setFindText(text);
    }
    void findNext() { dialog().FindNextButton->click(); }
    int topRow() const { return table->gridView->rowAt(0) + 1; }
};

TEST_F(FindTest, FindNextMovesTheCursorToEachMatchInTurnAndThenSaysNotFound) {
    open("preset speed");
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(dialog().isModal());
    const int first = rowOf("0007"), second = rowOf("0008");
    findNext();
    EXPECT_EQ(table->core().CursorRow, first);
    EXPECT_EQ(table->core().currentRow(), first);
    EXPECT_EQ(table->core().currentCol(), TC_Value);
    EXPECT_EQ(table->core().Selection(), (ParameterTable::GridRect{TC_Value, first, TC_Value, first}));
    EXPECT_EQ(topRow(), first);
    findNext();
    EXPECT_EQ(table->core().CursorRow, second);
    EXPECT_EQ(topRow(), second);
    EXPECT_TRUE(prompter.boxes().empty());

    // No wrap: past the last match every search says so and nothing moves.
    findNext();
    findNext();
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, Msg(context, MsgId::SearchTextNotFound));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(table->core().CursorRow, second);

    // Opening the dialog again starts from the top.
    dialog().reject();
    EXPECT_EQ(table->findSearch().selectionLength, 0);
    table->core().setCurrentCell(TC_Name, 3);
    table->ShowFind();
    EXPECT_EQ(dialog().findText(), "Torque boost"); // the highlighted cell's text
    dialog().setFindText("preset speed");
    findNext();
    EXPECT_EQ(table->core().CursorRow, first);
}

TEST_F(FindTest, TheOptionsOfTheDialogAreUsedAndAnEmptyCellKeepsThePreviousText) {
    open("FREQUENCY");
    dialog().MatchCase->setChecked(true);
    findNext();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::SearchTextNotFound)});
    prompter.clear();

    dialog().reject();
    table->core().setCurrentCell(TC_Unit, 1); // Control mode has no unit
    table->ShowFind();
    EXPECT_EQ(dialog().findText(), "FREQUENCY");
    dialog().MatchCase->setChecked(false);
    dialog().WholeWord->setChecked(true);
    dialog().setFindText("freq");
    findNext();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::SearchTextNotFound)});
}

TEST_F(FindTest, AMatchInTheNumberFindsItsRowAndGivesUpTheValueBeingTyped) {
    table->core().setCurrentCell(TC_Value, 2);
    table->core().CursorRow = 2;
    const QString shown = table->cells().cell(TC_Value, 2);
    table->entry().KeyPress('5');
    open("0013");
    findNext();
    EXPECT_EQ(table->core().CursorRow, rowOf("0013"));
    EXPECT_EQ(table->core().EditActive, 0);
    EXPECT_EQ(table->cells().cell(TC_Value, 2), shown);
}

TEST_F(FindTest, InTheBlindViewTheRowsFoundAreTheRowsShown) {
    store->UPara.setCell(UP_SelectIndex, index("0005") + 1, "1");
    table->PopBlindClick();
    open("preset speed");
    findNext();
    EXPECT_EQ(table->cells().cell(TC_ComNo, table->core().CursorRow), "0007");
}

TEST_F(FindTest, FindIsNotOfferedInTheViewsItsBufferDoesNotFollow) {
    open("preset");
    EXPECT_TRUE(dialog().FindNextButton->isEnabled());
    table->PopQuickClick();
    EXPECT_FALSE(dialog().FindNextButton->isEnabled());
    table->findNextClicked();
    EXPECT_TRUE(prompter.boxes().empty());
    table->PopQuickClick();
    EXPECT_TRUE(dialog().FindNextButton->isEnabled());
    dialog().setFindText("");
    EXPECT_FALSE(dialog().FindNextButton->isEnabled());
}

} // namespace

// The find dialog over the table window: not modal, its text taken from the highlighted cell,
// its options passed on, the match scrolled to the top, and Find Next offered only where the
// search may run.
#include "ui/ParameterTableFixture.h"

#include "core/Messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

class FindDialogTest : public ParaTableFixture {
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

TEST_F(FindDialogTest, TheDialogScrollsToEachMatchAndOpensWithTheHighlightedText) {
    open("preset speed");
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(dialog().isModal());
    const int first = rowOf("0007"), second = rowOf("0008");
    findNext();
    EXPECT_EQ(table->core().cursorRow(), first);
    EXPECT_EQ(topRow(), first);
    findNext();
    EXPECT_EQ(topRow(), second);

    // Opening the dialog again starts from the top.
    dialog().reject();
    EXPECT_EQ(table->findSearch().selectionLength, 0);
    table->core().setCurrentCell(TC_Name, 3);
    table->ShowFind();
    EXPECT_EQ(dialog().findText(), "Torque boost"); // the highlighted cell's text
    dialog().setFindText("preset speed");
    findNext();
    EXPECT_EQ(table->core().cursorRow(), first);
}

TEST_F(FindDialogTest, TheOptionsOfTheDialogAreUsedAndAnEmptyCellKeepsThePreviousText) {
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

TEST_F(FindDialogTest, FindNextIsOfferedOnlyWhereTheSearchMayRun) {
    open("preset");
    EXPECT_TRUE(dialog().FindNextButton->isEnabled());
    table->toggleQuickView();
    EXPECT_FALSE(dialog().FindNextButton->isEnabled());
    table->findNextClicked();
    EXPECT_TRUE(prompter.boxes().empty());
    table->toggleQuickView();
    EXPECT_TRUE(dialog().FindNextButton->isEnabled());
    dialog().setFindText("");
    EXPECT_FALSE(dialog().FindNextButton->isEnabled());
}

} // namespace

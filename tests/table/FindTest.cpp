// Find in the parameter table: the search over the "number,name" lines, forward only with no
// wrap, moving the table's cursor.
#include "core/StoreCells.h"
#include "support/TableFixture.h"

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

class FindTest : public TableFixture {
protected:
    int next(const QString& what, bool matchCase = false, bool wholeWord = false) {
        return find.findNext(what, matchCase, wholeWord);
    }
};

TEST_F(FindTest, FindNextMovesTheCursorToEachMatchInTurnAndThenSaysNotFound) {
    find.start();
    const int first = rowOf("0007"), second = rowOf("0008");
    EXPECT_EQ(next("preset speed"), first);
    EXPECT_EQ(core.cursorRow(), first);
    EXPECT_EQ(core.currentRow(), first);
    EXPECT_EQ(core.currentCol(), TC_Value);
    EXPECT_EQ(core.Selection(), (ParameterTable::GridRect{TC_Value, first, TC_Value, first}));
    EXPECT_EQ(next("preset speed"), second);
    EXPECT_EQ(core.cursorRow(), second);
    EXPECT_TRUE(prompter.boxes().empty());

    // No wrap: past the last match every search says so and nothing moves.
    EXPECT_EQ(next("preset speed"), -1);
    EXPECT_EQ(next("preset speed"), -1);
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, Msg(context, MsgId::SearchTextNotFound));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Stop);
    EXPECT_EQ(core.cursorRow(), second);

    // Closed and started again: from the top.
    find.close();
    EXPECT_EQ(find.selectionLength, 0);
    find.start();
    EXPECT_EQ(next("preset speed"), first);
}

TEST_F(FindTest, MatchCaseAndWholeWordAreUsed) {
    find.start();
    EXPECT_EQ(next("FREQUENCY", true), -1);
    find.start();
    EXPECT_EQ(next("freq", false, true), -1);
    EXPECT_EQ(prompter.texts(), (QStringList{Msg(context, MsgId::SearchTextNotFound),
                                             Msg(context, MsgId::SearchTextNotFound)}));
}

TEST_F(FindTest, AMatchInTheNumberFindsItsRowAndGivesUpTheValueBeingTyped) {
    core.setCurrentCell(TC_Value, 2);
    core.setCursorRow(2);
    const QString shown = core.grid().cell(TC_Value, 2);
    entry.typeCharacter('5');
    find.start();
    next("0013");
    EXPECT_EQ(core.cursorRow(), rowOf("0013"));
    EXPECT_EQ(core.pendingEntry().active(), false);
    EXPECT_EQ(core.grid().cell(TC_Value, 2), shown);
}

TEST_F(FindTest, InTheBlindViewTheRowsFoundAreTheRowsShown) {
    StoreCells::setWork(context, UP_SelectIndex, index("0005"), "1");
    views.hideSelected();
    find.start();
    next("preset speed");
    EXPECT_EQ(core.grid().cell(TC_ComNo, core.cursorRow()), "0007");
}

TEST_F(FindTest, FindIsNotOfferedInTheViewsItsBufferDoesNotFollow) {
    EXPECT_TRUE(commands.enabled(TableCommand::Find));
    views.toggleQuickView();
    EXPECT_FALSE(commands.enabled(TableCommand::Find));
    views.toggleQuickView();
    EXPECT_TRUE(commands.enabled(TableCommand::Find));
}

} // namespace

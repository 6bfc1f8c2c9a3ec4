// Typing values into the parameter table over the shipped drive type HXA1: each notation,
// rounding to whole raw values, the limits, the refusals and the cursor.
#include "core/StoreCells.h"
#include "support/TableFixture.h"

namespace {
const QString kNoMark = QStringLiteral("      ");
}

using C = TableCommand;
using TypedValue = TableFixture;

// ---- What an accepted entry stores and shows -----------------------------------------------

TEST_F(TypedValue, EachNotationIsStoredAsAWholeRawValueAndShownAgain) {
    struct Case {
        const char* comNo;
        const char* typed;
        bool cv;
        const char* value;
        const char* hex;
        const char* shown;
    } cases[] = {
        // Hexadecimal, "h" or "H" first (Mul 1, 0..50).
        {"0013", "h1F", false, "31", "1", "h1F"},
        {"0013", "H0a", false, "10", "1", "hA"},
        // Decimal at the parameter's resolution (Mul 10, "#.#").
        {"0009", "12.5", false, "125", "0", "    12.5"},
        // Between two steps: rounded half away from zero, on the decimal digits typed.
        {"0009", "12.55", false, "126", "0", "    12.6"},
        {"0009", "12.54", false, "125", "0", "    12.5"},
        {"0025", "1.0005", false, "1001", "0", "   1.001"},
        // One comma is a decimal point too, whatever the language.
        {"0009", "12,5", false, "125", "0", "    12.5"},
        // 32-bit values: unsigned stay unsigned, signed ones take the sign from 32 bits.
        {"0060", "4294967295", false, "4294967295", "0", "4294967295"},
        {"0060", "hFFFFFFFF", false, "4294967295", "1", "hFFFFFFFF"},
        {"0061", "hFFFFFFFF", false, "-1", "1", "hFFFFFFFF"},
        {"0061", "-2147483648", false, "-2147483648", "0", "-2147483648"},
        // Amperes (base 5.0 A, Mul 10): with or without the letter.
        {"0030", "2.5A", true, "500", "0", "2.5A"},
        {"0030", "2.5", true, "500", "0", "2.5A"},
        {"0030", "1,2", true, "240", "0", "1.2A"},
        // Volts (base 200 V, Mul 10).
        {"0002", "20V", true, "100", "0", "20.00V"},
        // A parameter that is neither keeps the decimal display in the current/voltage view.
        {"0009", "7.5", true, "75", "0", "     7.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.comNo) + " " + c.typed);
        commands.setChecked(C::CVDisp, c.cv);
        core.FillRows();
        setWork(c.comNo, UP_WriteIndex, "0");
        const QString old = value(c.comNo);
        const int steps = store->history().undoCount();
        commit(c.comNo, c.typed);
        EXPECT_EQ(value(c.comNo), c.value);
        EXPECT_EQ(work(c.comNo, UP_HexIndex), c.hex);
        EXPECT_EQ(cell(TC_Value, c.comNo), c.shown);
        EXPECT_EQ(work(c.comNo, UP_WriteIndex), old == c.value ? "0" : "1");
        // One undo step holding the old value.
        ASSERT_EQ(store->history().undoCount(), std::min(steps + 1, 10));
        EXPECT_EQ(store->history().undoSteps().last(), (UndoStep{c.comNo, old}));
        setWork(c.comNo, UP_HexIndex, "0");
    }
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(TypedValue, TheChangedMarkFollowsTheDefault) {
    commit("0009", "7.5");
    EXPECT_EQ(cell(TC_Changed, "0009"), Msg(context, MsgId::ChangedMark));
    EXPECT_EQ(work("0009", UP_ChangeIndex), "1");
    commit("0009", "5");
    EXPECT_EQ(cell(TC_Changed, "0009"), kNoMark);
    EXPECT_EQ(work("0009", UP_ChangeIndex), "0");
    // Back at the value it had: still not sent, since it differs from what the drive got.
    EXPECT_EQ(work("0009", UP_WriteIndex), "1");
}

TEST_F(TypedValue, AValueOutsideTheLimitsIsClampedWithMessage41) {
    struct Case {
        const char* comNo;
        const char* typed;
        const char* value;
        bool message;
    } cases[] = {
        {"0003", "500", "40000", true},  // above 400.00 Hz
        {"0003", "400", "40000", false}, // exactly the limit
        {"0003", "10", "3000", true},    // below 30.00 Hz
        {"0042", "-150", "-1000", true}, // a signed low limit
        {"0040", "-70", "-6000", true},  // low = minus the maximum frequency (60.00 Hz)
        {"0013", "h40", "50", true},     // hexadecimal is clamped as well
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.comNo) + " " + c.typed);
        setWork("0003", UP_Value, "6000");
        core.FillRows();
        prompter.clear();
        commit(c.comNo, c.typed);
        EXPECT_EQ(value(c.comNo), c.value);
        EXPECT_EQ(prompter.texts(), c.message ? QStringList{Msg(context, MsgId::OutOfRange)} : QStringList{});
        if (c.message) {
            EXPECT_EQ(prompter.boxes().front().icon, BoxIcon::Warning);
        }
    }
    EXPECT_EQ(Msg(context, MsgId::OutOfRange), "The value is out of range.");
}

TEST_F(TypedValue, TheLimitsOfDependentParametersFollowTheEntry) {
    // Base frequency's high limit is the maximum frequency.
    commit("0003", "50");
    EXPECT_EQ(cell(TC_High, "0004"), "   50.00");
    EXPECT_EQ(cell(TC_Low, "0040"), "  -50.00");
}

// ---- Refusals --------------------------------------------------------------------------------

TEST_F(TypedValue, RefusedEntriesShowTheirMessageAndStoreNothing) {
    struct Case {
        const char* typed;
        bool cv;
        MsgId message;
    } cases[] = {
        {"h", false, MsgId::ValueCannotBeSet},    // "h" alone
        {"1.2.3", false, MsgId::NotANumber},      // not a number
        {"1,000.5", false, MsgId::NotANumber},    // two separators
        {"5A", false, MsgId::NotANumber},         // a unit letter outside the current/voltage view
        {"2.5V", true, MsgId::NotANumber},        // volts for a current parameter
        {"h123456789", false, MsgId::NotANumber}, // more than eight hexadecimal digits
        {"1-", false, MsgId::NotANumber},
    };
    const QString shownBefore = cell(TC_Value, "0030");
    setWork("0030", UP_HexIndex, "0");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        commands.setChecked(C::CVDisp, c.cv);
        core.FillRows();
        const QString shown = cell(TC_Value, "0030");
        prompter.clear();
        commit("0030", c.typed);
        EXPECT_EQ(prompter.texts(), QStringList{Msg(context, c.message)});
        EXPECT_EQ(value("0030"), "500");
        EXPECT_EQ(work("0030", UP_WriteIndex), "0");
        EXPECT_EQ(work("0030", UP_HexIndex), "0");
        EXPECT_EQ(cell(TC_Value, "0030"), shown);
        EXPECT_EQ(cursor(), rowOf("0030"));
        EXPECT_TRUE(undoLines().isEmpty());
        key(Key::Escape);
    }
    commands.setChecked(C::CVDisp, false);
    core.FillRows();
    EXPECT_EQ(cell(TC_Value, "0030"), shownBefore);

    // Everything typed erased again: message 40.
    prompter.clear();
    go("0030");
    type("12");
    key(Key::Backspace);
    key(Key::Backspace);
    EXPECT_EQ(cell(TC_Value, "0030"), "");
    key(Key::Backspace); // on an empty buffer: nothing
    enter();
    EXPECT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::ValueCannotBeSet)});
    EXPECT_EQ(cell(TC_Value, "0030"), shownBefore);
}

TEST_F(TypedValue, AfterARefusalTheNextKeysStartAFreshValue) {
    go("0013");
    type("h");
    enter();
    ASSERT_EQ(prompter.texts(), QStringList{Msg(context, MsgId::ValueCannotBeSet)});
    // "h" is a first character again, and the whole length is free.
    type("h1F");
    EXPECT_EQ(cell(TC_Value, "0013"), "h1F");
    enter();
    EXPECT_EQ(value("0013"), "31");
    EXPECT_EQ(prompter.texts().size(), 1);

    // Enter again on the refused row without typing gives message 40 again, never the shown
    // text committed.
    go("0009");
    type("x1.2.3");
    enter();
    enter();
    EXPECT_EQ(prompter.texts(),
              (QStringList{Msg(context, MsgId::ValueCannotBeSet), Msg(context, MsgId::NotANumber),
                           Msg(context, MsgId::ValueCannotBeSet)}));
    EXPECT_EQ(value("0009"), "50");
}

// ---- Typing ----------------------------------------------------------------------------------

TEST_F(TypedValue, TypingTakesOnlyTheCharactersOfAValue) {
    go("0013");
    const int current = core.currentRow();
    type("1H");
    EXPECT_EQ(cell(TC_Value, "0013"), "1");
    // Letters that are no part of a value are not typed.
    for (QChar c : QString("xGz +"))
        EXPECT_FALSE(entry.typeCharacter(c)) << c.toLatin1();
    EXPECT_EQ(cell(TC_Value, "0013"), "1");
    EXPECT_EQ(core.currentRow(), current);
    type("23456789012");
    EXPECT_EQ(cell(TC_Value, "0013"), "123456789012");
    type("3"); // a thirteenth character
    EXPECT_EQ(cell(TC_Value, "0013"), "123456789012");
    EXPECT_EQ(core.pendingEntry().typedCount(), 12);
    key(Key::Backspace);
    type("7");
    EXPECT_EQ(cell(TC_Value, "0013"), "123456789017");
}

TEST_F(TypedValue, EscArrowsAndClicksGiveUpTheTypedValue) {
    const QString shown = cell(TC_Value, "0009");
    go("0009");
    type("77");
    key(Key::Escape);
    EXPECT_EQ(cell(TC_Value, "0009"), shown);
    EXPECT_EQ(core.pendingEntry().active(), false);
    key(Key::Escape); // nothing left to give up
    EXPECT_EQ(cell(TC_Value, "0009"), shown);

    // An arrow puts the text back (the grid then moves): Enter stores nothing.
    type("77");
    key(Key::Arrow);
    EXPECT_EQ(cell(TC_Value, "0009"), shown);
    enter();
    EXPECT_EQ(value("0009"), "50");

    // A click on another row.
    go("0009");
    type("77");
    core.setCurrentCell(TC_Name, 2);
    entry.cancelForMove();
    EXPECT_EQ(cell(TC_Value, "0009"), shown);
    EXPECT_EQ(cursor(), 2);
    EXPECT_TRUE(undoLines().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(TypedValue, DeleteAsksForShipment) {
    int shipments = 0;
    QObject::connect(&entry, &ValueEntry::deleteKey, [&] { ++shipments; });
    go("0009");
    key(Key::Delete);
    EXPECT_EQ(shipments, 1);
}

// ---- The cursor after Enter ------------------------------------------------------------------

TEST_F(TypedValue, EnterWalksDownOnlyWithTheOptionAndNotPastTheLastRow) {
    const int r = rowOf("0009");
    commit("0009", "6");
    EXPECT_EQ(cursor(), r + 1);
    EXPECT_EQ(core.currentRow(), r + 1);
    EXPECT_EQ(core.currentCol(), int(TC_Value));
    // The next value goes to the next row.
    type("6");
    enter();
    EXPECT_EQ(value("0010"), "60");

    options.enterMovesToNextCell.setChecked(false);
    commit("0009", "7");
    EXPECT_EQ(cursor(), r);

    options.enterMovesToNextCell.setChecked(true);
    const int last = rows() - 1;
    const QString lastNo = core.grid().cell(TC_ComNo, last);
    commit(lastNo, "0");
    EXPECT_EQ(cursor(), last);

    // The last row of a filtered view is its own last row.
    commands.setChecked(C::ChgDisp, true);
    core.FillRows();
    const int lastShown = rows() - 1;
    ASSERT_GE(lastShown, 2);
    ASSERT_LT(lastShown, last);
    commit(core.grid().cell(TC_ComNo, lastShown), "1");
    EXPECT_EQ(cursor(), lastShown);
}

TEST_F(TypedValue, AValueBeingTypedIsGivenUpWhenTheRowsAreReplaced) {
    // A file loaded (or another drive type) brings new values and refills every row.
    go("0009");
    type("77");
    setWork("0009", UP_Value, "60");
    setWork("0013", UP_Value, "7");
    refreshAll();
    QStringList before;
    for (int i = 0; i <= context.drive.lastIndex(); ++i)
        before.append(StoreCells::work(context, UP_Value, i));
    enter(); // no click in between: the cursor is still on the row typed into

    QStringList after;
    for (int i = 0; i <= context.drive.lastIndex(); ++i)
        after.append(StoreCells::work(context, UP_Value, i));
    EXPECT_EQ(after, before);
    EXPECT_EQ(value("0009"), "60");
    EXPECT_EQ(cell(TC_Value, "0009"), "     6.0");
    EXPECT_TRUE(undoLines().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(TypedValue, EnterWithoutTypingMovesOnAndNeverStoresTheShownText) {
    // 100.3 % of 5.0 A shows as 5.0A: storing the shown text would make it 100.0 %.
    setWork("0022", UP_Value, "1003");
    commands.setChecked(C::CVDisp, true);
    core.FillRows();
    ASSERT_EQ(cell(TC_Value, "0022"), "5.0A");
    go("0022");
    enter();
    EXPECT_EQ(value("0022"), "1003");
    EXPECT_EQ(work("0022", UP_WriteIndex), "0");
    EXPECT_EQ(cursor(), rowOf("0022") + 1);
    EXPECT_TRUE(undoLines().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

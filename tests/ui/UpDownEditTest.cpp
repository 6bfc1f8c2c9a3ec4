#include "ui/UpDownEdit.h"

#include "support/ScriptedPrompter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

QString texts(MsgId id) {
    switch (id) {
    case MsgId::Caption:
        return "Caption";
    case MsgId::OutOfRange:
        return "Out of range.";
    case MsgId::DataIncorrect:
        return "Data is incorrect.";
    default:
        return QString();
    }
}

// A dialog with two number fields, shown offscreen so that focus moves are real.
class UpDownEditTest : public ::testing::Test {
protected:
    ScriptedPrompter prompter;
    QDialog dialog;
    UpDownEdit* id = new UpDownEdit(&dialog);
    UpDownEdit* timeout = new UpDownEdit(&dialog);

    void SetUp() override {
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(id);
        layout->addWidget(timeout);
        id->setRange(0, 63);
        id->setWrap(true);
        id->setMessageSource(texts);
        timeout->setRange(30, 5000);
        timeout->setMessageSource(texts);
        timeout->setPosition(200);
        dialog.show();
        dialog.activateWindow();
        id->setFocus();
        QCoreApplication::processEvents();
    }

    // Types text as the user does (the field had the focus) and checks it.
    bool enter(UpDownEdit* f, const QString& text) {
        f->setText(text);
        return f->validate();
    }
};

struct Row {
    const char* name;
    const char* typed;
    bool accepted;
    std::optional<MsgId> message;
    const char* shown;
    int position;
};

TEST_F(UpDownEditTest, TypedNumbersAreCheckedAgainstTheInclusiveRange) {
    const Row rows[] = {
        {"InRange", "12", true, {}, "12", 12},
        {"LowerBound", "0", true, {}, "0", 0},
        {"UpperBound", "63", true, {}, "63", 63},
        {"FractionRoundsHalfAwayFromZero", "12.5", true, {}, "13", 13},
        {"FractionBelowHalf", " 62.4 ", true, {}, "62", 62},
        {"FractionAboveTheRangeBeforeRounding", "63.4", false, MsgId::OutOfRange, "63", 63},
        {"Above", "64", false, MsgId::OutOfRange, "63", 63},
        {"Below", "-1", false, MsgId::OutOfRange, "0", 0},
        {"SmallNegativeFractionIsBelow", "-0.4", false, MsgId::OutOfRange, "0", 0},
        {"Empty", "", false, MsgId::DataIncorrect, "", -1},
        {"Blanks", "   ", false, MsgId::DataIncorrect, "   ", -1},
        {"Letters", "abc", false, MsgId::DataIncorrect, "abc", -1},
        {"Comma", "1,5", false, MsgId::DataIncorrect, "1,5", -1},
        {"Trailing", "12x", false, MsgId::DataIncorrect, "12x", -1},
        {"Infinite", "inf", false, MsgId::DataIncorrect, "inf", -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        prompter.clear();
        id->setPosition(5);
        EXPECT_EQ(enter(id, r.typed), r.accepted);
        EXPECT_EQ(id->text(), r.shown);
        EXPECT_EQ(id->position(), r.position < 0 ? 5 : r.position);
        if (!r.message) {
            EXPECT_TRUE(prompter.boxes().empty());
        } else {
            ASSERT_EQ(prompter.boxes().size(), 1u);
            EXPECT_EQ(prompter.boxes()[0].text, texts(*r.message));
            EXPECT_EQ(prompter.boxes()[0].caption, "Caption");
            EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
        }
    }
}

TEST_F(UpDownEditTest, FractionsCanBeCutTowardZero) {
    timeout->setFraction(UpDownEdit::Fraction::Truncate);
    EXPECT_TRUE(enter(timeout, "120.9"));
    EXPECT_EQ(timeout->position(), 120);
    EXPECT_EQ(timeout->text(), "120");
}

TEST_F(UpDownEditTest, RefusedEntryTakesTheFocusBack) {
    timeout->setFocus();
    QCoreApplication::processEvents();
    ASSERT_TRUE(timeout->hasFocus());
    id->setText("99");
    EXPECT_FALSE(id->validate());
    EXPECT_TRUE(id->hasFocus());
    EXPECT_EQ(id->text(), "63");
}

TEST_F(UpDownEditTest, LeavingARefusedFieldShowsOneBoxAndReturnsTheFocus) {
    std::vector<bool> results;
    QObject::connect(id, &UpDownEdit::checked, [&](bool ok) { results.push_back(ok); });
    id->setText("");
    // Moving to another field checks this one once the focus has moved.
    timeout->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Data is incorrect.");
    EXPECT_TRUE(id->hasFocus());
    EXPECT_EQ(results, std::vector<bool>{false});
    // Giving the focus back did not start the other field's check.
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

TEST_F(UpDownEditTest, FocusMovedByCodeDoesNotCheckTheFieldLeft) {
    // An owner's check giving the focus back to its own field must not start this one's.
    id->setText("");
    timeout->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompter.boxes().empty());
    // Leaving with the mouse does.
    id->setFocus(Qt::OtherFocusReason);
    timeout->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

TEST_F(UpDownEditTest, ACheckRunMeanwhileReplacesTheOneOnLeaving) {
    id->setText("70");
    timeout->setFocus(Qt::TabFocusReason);
    // A close query runs first: its box is the only one.
    EXPECT_FALSE(id->validate());
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

TEST_F(UpDownEditTest, EnterChecksAndKeepsTheKeyOnlyWhenRefused) {
    id->setText("abc");
    QKeyEvent enterKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(id, &enterKey);
    EXPECT_TRUE(enterKey.isAccepted());
    EXPECT_EQ(prompter.boxes().size(), 1u);

    id->setText("7.5");
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(id, &again);
    EXPECT_EQ(id->position(), 8);
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

TEST_F(UpDownEditTest, ArrowsStepAndWrapOrStopAtTheRange) {
    int moved = 0;
    QObject::connect(id, &UpDownEdit::positionChanged, [&] { ++moved; });
    id->setPosition(63);
    id->upButton()->click();
    EXPECT_EQ(id->position(), 0); // wraps
    EXPECT_EQ(id->text(), "0");
    id->downButton()->click();
    EXPECT_EQ(id->position(), 63);
    EXPECT_EQ(moved, 3);

    timeout->setIncrement(10);
    timeout->setPosition(4995);
    timeout->stepBy(+1);
    EXPECT_EQ(timeout->position(), 5000); // stops
    timeout->setPosition(35);
    timeout->stepBy(-1);
    EXPECT_EQ(timeout->position(), 30);
    // A number typed in range is where the step starts.
    timeout->setText("100");
    timeout->stepBy(+1);
    EXPECT_EQ(timeout->text(), "110");
    // Arrow keys step as the arrows do.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(timeout, &up);
    EXPECT_EQ(timeout->position(), 120);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(UpDownEditTest, DecimalsScaleTheTypedNumber) {
    // A factor 0.01 to 200.00 held as 1 to 20000.
    timeout->setRange(1, 20000);
    timeout->setDecimals(2);
    timeout->setPosition(100);
    EXPECT_EQ(timeout->text(), "1.00");
    EXPECT_TRUE(enter(timeout, "0.29"));
    EXPECT_EQ(timeout->position(), 29);
    EXPECT_EQ(timeout->text(), "0.29");
    EXPECT_FALSE(enter(timeout, "0.004"));
    EXPECT_EQ(timeout->text(), "0.01");
    EXPECT_FALSE(enter(timeout, "250"));
    EXPECT_EQ(timeout->text(), "200.00");
    EXPECT_EQ(prompter.boxes().size(), 2u);
}

TEST_F(UpDownEditTest, OwnersCheckRunsOnLeavingInsteadOfTheBuiltInOne) {
    int calls = 0;
    timeout->setCheck([&] {
        ++calls;
        return true;
    });
    timeout->setFocus();
    QCoreApplication::processEvents();
    timeout->setText("nonsense");
    id->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(UpDownEditTest, NoTextsGiveAnEmptyBox) {
    UpDownEdit bare(&dialog);
    bare.setText("x");
    EXPECT_FALSE(bare.validate());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.isEmpty());

    bare.setMessages("NaN", "Range", "Cap");
    bare.setRange(0, 10);
    bare.setText("11");
    EXPECT_FALSE(bare.validate());
    EXPECT_EQ(prompter.boxes()[1].text, "Range");
    EXPECT_EQ(prompter.boxes()[1].caption, "Cap");
}

} // namespace

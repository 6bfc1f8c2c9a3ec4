// The history's own rules: the depth bounds a new step, a new step empties the redo list, and
// steps kept by undo or redo wait for the next cut.
#include "core/UndoHistory.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

QStringList valuesOf(const QList<UndoStep>& steps) {
    QStringList values;
    for (const UndoStep& step : steps)
        values << step.value;
    return values;
}

// Steps "1" .. "n" of parameter 0013, oldest first.
void pushSteps(UndoHistory& history, int n) {
    for (int k = 1; k <= n; ++k)
        history.push({QStringLiteral("0013"), QString::number(k)});
}

} // namespace

TEST(UndoHistory, ANewStepEmptiesTheRedoListAndTheDepthKeepsTheNewest) {
    UndoHistory history;
    history.setDepth(3);
    pushSteps(history, 5);
    EXPECT_EQ(valuesOf(history.undoSteps()), (QStringList{"3", "4", "5"}));

    history.keepForRedo(*history.takeUndo());
    ASSERT_EQ(history.redoCount(), 1);
    history.push({QStringLiteral("0009"), QStringLiteral("50")});
    EXPECT_TRUE(history.redoSteps().isEmpty());
    EXPECT_EQ(history.undoSteps().last(), (UndoStep{QStringLiteral("0009"), QStringLiteral("50")}));

    history.clear();
    EXPECT_FALSE(history.takeUndo());
    EXPECT_FALSE(history.takeRedo());
    EXPECT_EQ(history.depth(), 3);

    history.setDepth(-1);
    EXPECT_EQ(history.depth(), 0);
    pushSteps(history, 2);
    EXPECT_TRUE(history.undoSteps().isEmpty());
}

TEST(UndoHistory, ALoweredDepthCutsBothListsButKeepingAStepWaitsForTheNextCut) {
    UndoHistory history;
    history.setDepth(10);
    pushSteps(history, 6);
    for (int k = 0; k < 3; ++k)
        history.keepForRedo(*history.takeUndo());
    history.setDepth(2);
    EXPECT_EQ(valuesOf(history.undoSteps()), (QStringList{"2", "3"}));
    EXPECT_EQ(valuesOf(history.redoSteps()), (QStringList{"5", "4"}));

    history.keepForRedo(*history.takeUndo());
    EXPECT_EQ(history.redoCount(), 3);
    history.trimToDepth();
    EXPECT_EQ(valuesOf(history.redoSteps()), (QStringList{"4", "3"}));
}

#pragma once
// The table window over the shipped drive type with keys sent to its grid as the user types
// them.
#include "ui/ParameterTableFixture.h"

#include "core/Messages.h"

#include <QCoreApplication>
#include <QKeyEvent>

class ValueEntryFixture : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        options.enterMovesToNextCell.setChecked(true);
        createTable().core().conversionBases() = ConversionBases{.volt = 200.0f, .ampere = 5.0f};
    }
    void key(int k, const QString& text = QString(), Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent down(QEvent::KeyPress, k, mods, text);
        QCoreApplication::sendEvent(table->gridView, &down);
        QKeyEvent up(QEvent::KeyRelease, k, mods, text);
        QCoreApplication::sendEvent(table->gridView, &up);
    }
    void type(const QString& text) {
        for (QChar c : text) {
            const int k = c.isLetter() ? int(Qt::Key_A) + (c.toUpper().unicode() - 'A') : int(c.unicode());
            key(k, QString(c), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
        }
    }
    void enter() { key(Qt::Key_Return); }
    // The cursor on a parameter's row, as a click on its value cell puts it there.
    void go(const QString& comNo) {
        const int r = rowOf(comNo);
        ASSERT_GE(r, 1) << comNo.toStdString();
        table->core().setCurrentCell(TC_Value, r);
        table->entry().cancelForMove();
        ASSERT_EQ(table->core().cursorRow(), r);
    }
    // Types a value into a parameter's row and commits it.
    void commit(const QString& comNo, const QString& text) {
        go(comNo);
        type(text);
        enter();
    }
    QString value(const QString& comNo) const { return work(comNo, UP_Value); }
    int cursor() const { return table->core().cursorRow(); }
    // The parameter numbers of the undo steps, oldest first.
    QStringList undoLines() const {
        QStringList numbers;
        for (const UndoStep& step : store->history().undoSteps())
            numbers << step.comNo;
        return numbers;
    }
};

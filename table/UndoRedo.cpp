#include "table/UndoRedo.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "table/ParameterTable.h"
#include "table/ValueEntry.h"

#include <optional>

namespace {
using namespace StoreCells;
} // namespace

UndoRedo::UndoRedo(ParameterTable& core, QObject* parent) : QObject(parent), core_(core) {
    core_.commands().setAvailable(TableCommand::Undo, true);
    core_.commands().setAvailable(TableCommand::Redo, true);
    // A lowered depth takes effect at once, not only at the table's next activation.
    connect(&core_.options(), &Options::changed, this, [this] {
        const UndoHistory* h = history();
        if (h && core_.options().undoDepth.position() != h->depth())
            readDepth();
    });
}

UndoHistory* UndoRedo::history() const {
    ParameterStore* p = store(core_.context());
    return p ? &p->history() : nullptr;
}

int UndoRedo::commitValue(int index, const QString& text, double raw, bool* ok) {
    if (UndoHistory* h = history()) {
        h->push({definition(core_.context(), index).comNo, value(core_.context(), index)});
        updateCommands();
    }
    return core_.storeValue(index, text, raw, ok);
}

void UndoRedo::readDepth() {
    setDepth(core_.options().undoDepth.position());
}

void UndoRedo::setDepth(int depth) {
    if (UndoHistory* h = history())
        h->setDepth(depth);
    updateCommands();
}

void UndoRedo::updateCommands() {
    const UndoHistory* h = history();
    core_.commands().setEnabled(TableCommand::Undo, h && h->undoCount() > 0);
    core_.commands().setEnabled(TableCommand::Redo, h && h->redoCount() > 0);
}

bool UndoRedo::undoStep() {
    return step(true);
}

bool UndoRedo::redoStep() {
    return step(false);
}

bool UndoRedo::step(bool undo) {
    UndoHistory* h = history();
    if (!h || !core_.commands().enabled(undo ? TableCommand::Undo : TableCommand::Redo))
        return false;
    core_.CancelPendingEntry();
    const std::optional<UndoStep> taken = undo ? h->takeUndo() : h->takeRedo();
    const int i = taken ? ValueRules::IndexOfComNo(core_.context(), taken->comNo) : -1;
    if (i < 0) {
        // A number of another drive type cannot be restored; the step is dropped.
        h->trimToDepth();
        updateCommands();
        return false;
    }
    const QString& number = taken->comNo;
    const QString& old = taken->value;

    const UndoStep opposite{number, StoreCells::value(core_.context(), i)};
    if (undo)
        h->keepForRedo(opposite);
    else
        h->keepForUndo(opposite);
    updateCommands();

    double v = 0;
    bool changedOk = ValueRules::parseNumber(old, v);
    int changed = 0;
    if (changedOk)
        changed = core_.storeValue(i, old, v, &changedOk);
    else
        StoreCells::setValue(core_.context(), i, old); // no number to mark by: the mark stays

    // The row showing the parameter in the current view; a parameter the view does not show
    // keeps only its stored value and flag (its row appears with the next refill).
    core_.restartRowSearch();
    const int row = core_.filtered() ? core_.GridRowOfIndex(i) + 1 : i + 1;
    if (core_.grid().cell(TC_ComNo, row) == number && row >= 1) {
        core_.setCursorRow(row);
        core_.setCurrentCell(TC_Value, row);
        emit cursorMoved(row);
        bool shownOk = false;
        const QString shown = ValueEntry::shownValue(core_, i, old, &shownOk);
        core_.setCell(TC_Value, row, shownOk ? shown : old);
        if (changedOk)
            core_.setCell(TC_Changed, row, changed == 1 ? Msg(core_.context(), MsgId::ChangedMark) : kNoMark);
    }
    core_.UpdateLimits();
    return true;
}

#include "table/UndoRedo.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "table/ParameterTable.h"
#include "table/ValueEntry.h"

#include <algorithm>

namespace {

using namespace StoreCells;

// Drops the oldest lines of a pair of lists until both hold at most `keep` lines.
void keepNewest(QStringList& numbers, QStringList& values, int keep) {
    keep = std::max(keep, 0);
    if (numbers.size() > keep)
        numbers.remove(0, numbers.size() - keep);
    if (values.size() > keep)
        values.remove(0, values.size() - keep);
}

} // namespace

UndoRedo::UndoRedo(ParameterTable& core, QObject* parent) : QObject(parent), core_(core) {
    core_.commands().setAvailable(TableCommand::Undo, true);
    core_.commands().setAvailable(TableCommand::Redo, true);
    // A lowered depth takes effect at once, not only at the table's next activation.
    connect(&core_.options(), &Options::changed, this, [this] {
        if (core_.options().undoDepth.position() != core_.undoDepth())
            readDepth();
    });
}

void UndoRedo::recordStep(int index) {
    if (ParameterStore* p = store(core_.context()))
        p->UndoComNo.append(StoreCells::definition(core_.context(), index).comNo);
    PushUndo(index);
}

void UndoRedo::PushUndo(int index) {
    ParameterStore* p = store(core_.context());
    if (!p)
        return;
    p->UndoVal.append(StoreCells::value(core_.context(), index));
    // A new step makes the steps taken back meaningless.
    p->RedoComNo.clear();
    p->RedoVal.clear();
    core_.setUndoCounts(core_.undoCount(), 0);
    trim();
}

void UndoRedo::readDepth() {
    setDepth(core_.options().undoDepth.position());
}

void UndoRedo::setDepth(int depth) {
    core_.setUndoDepth(std::max(depth, 0));
    trim();
}

void UndoRedo::trim() {
    ParameterStore* p = store(core_.context());
    if (!p)
        return;
    // Both histories stay within the depth, each list exactly as long as its count, so the
    // newest step is always the last line.
    keepNewest(p->UndoComNo, p->UndoVal, core_.undoDepth());
    keepNewest(p->RedoComNo, p->RedoVal, core_.undoDepth());
    core_.setUndoCounts(int(std::min(p->UndoComNo.size(), p->UndoVal.size())),
                        int(std::min(p->RedoComNo.size(), p->RedoVal.size())));
    keepNewest(p->UndoComNo, p->UndoVal, core_.undoCount());
    keepNewest(p->RedoComNo, p->RedoVal, core_.redoCount());
    updateCommands();
}

void UndoRedo::updateCommands() {
    core_.commands().setEnabled(TableCommand::Undo, core_.undoCount() > 0);
    core_.commands().setEnabled(TableCommand::Redo, core_.redoCount() > 0);
}

bool UndoRedo::undoStep() {
    return step(true);
}

bool UndoRedo::redoStep() {
    return step(false);
}

bool UndoRedo::step(bool undo) {
    ParameterStore* p = store(core_.context());
    if (!p || !core_.commands().enabled(undo ? TableCommand::Undo : TableCommand::Redo))
        return false;
    core_.CancelPendingEntry();
    QStringList& fromNumbers = undo ? p->UndoComNo : p->RedoComNo;
    QStringList& fromValues = undo ? p->UndoVal : p->RedoVal;
    QStringList& toNumbers = undo ? p->RedoComNo : p->UndoComNo;
    QStringList& toValues = undo ? p->RedoVal : p->UndoVal;
    const int n = undo ? core_.undoCount() : core_.redoCount();
    if (n < 1 || n > fromNumbers.size() || n > fromValues.size()) {
        trim();
        return false;
    }
    const QString number = fromNumbers.at(n - 1);
    const QString old = fromValues.at(n - 1);
    fromNumbers.removeAt(n - 1);
    fromValues.removeAt(n - 1);
    const int i = ValueRules::IndexOfComNo(core_.context(), number);
    if (i < 0) {
        // A number of another drive type cannot be restored; the step is dropped.
        trim();
        return false;
    }

    toNumbers.append(number);
    toValues.append(StoreCells::value(core_.context(), i));
    if (undo) {
        core_.setUndoCounts(core_.undoCount() - 1, core_.redoCount() + 1);
    } else {
        core_.setUndoCounts(core_.undoCount() + 1, core_.redoCount() - 1);
    }
    updateCommands();

    StoreCells::setValue(core_.context(), i, old);
    double v = 0;
    bool changedOk = ValueRules::parseNumber(old, v);
    const int changed = changedOk ? core_.UpdateChangedFlag(number, v, &changedOk) : 0;

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

#pragma once
// The undo and redo history of the values committed in the parameter table. A step names its
// parameter by communication number (a step of another drive type is dropped, never applied to
// whatever parameter now has its index) and keeps the value text the parameter had before.
//
// Each list holds its steps oldest first. A new step empties the redo list, since the steps taken
// back no longer follow from the table. The depth is the most steps a new step leaves in the undo
// list; lowering it drops the oldest steps of both lists at once.
#include <QList>
#include <QString>

#include <optional>

struct UndoStep {
    QString comNo;
    QString value; // the raw value text to restore

    bool operator==(const UndoStep&) const = default;
};

class UndoHistory {
public:
    const QList<UndoStep>& undoSteps() const { return undo_; }
    const QList<UndoStep>& redoSteps() const { return redo_; }
    int undoCount() const { return int(undo_.size()); }
    int redoCount() const { return int(redo_.size()); }

    int depth() const { return depth_; }
    // A depth below 0 counts as 0. Surplus steps of both lists are dropped, oldest first.
    void setDepth(int depth);

    // A newly committed value: `step` becomes the newest undo step and the redo list is emptied;
    // steps beyond the depth are dropped, oldest first (all of them at depth 0).
    void push(UndoStep step);

    // The newest undo (redo) step, taken off its list; none when the list is empty.
    std::optional<UndoStep> takeUndo() { return takeNewest(undo_); }
    std::optional<UndoStep> takeRedo() { return takeNewest(redo_); }
    // The value an undo (redo) step replaced, kept so that the opposite command can restore it.
    // The other list stays as it is.
    void keepForRedo(UndoStep step) { redo_.append(std::move(step)); }
    void keepForUndo(UndoStep step) { undo_.append(std::move(step)); }

    // Both lists cut to the depth, oldest steps first. Keeping a step does not cut: after the depth
    // was lowered, undoing and redoing may leave a list above it until the next cut.
    void trimToDepth();
    // Both lists emptied; the depth stays.
    void clear();

private:
    static std::optional<UndoStep> takeNewest(QList<UndoStep>& steps);

    QList<UndoStep> undo_;
    QList<UndoStep> redo_;
    int depth_ = 0;
};

#pragma once
// Undo and redo of the values committed in the parameter table. The steps are the data store's
// (UndoHistory): the newest undo step is the value a parameter had before its last commit. Undo
// and redo rewrite the parameter's value, its changed mark and its shown text, put the cursor on
// its row and recompute the limits; nothing is sent to the drive, and the edited-but-unsent,
// transfer-error and hexadecimal marks stay as they are.
//
// The depth is the options' "Max. Times of Undo": lowering it drops the oldest steps at once.
//
// Needs no window: the table window scrolls to the row when told (cursorMoved).
#include <QObject>
#include <QString>

class ParameterTable;
class UndoHistory;

class UndoRedo : public QObject {
    Q_OBJECT
public:
    // Marks the undo and redo commands as handled and follows the depth option from now on.
    explicit UndoRedo(ParameterTable& core, QObject* parent = nullptr);

    // The table's commit of a value: parameter `index`'s value before becomes the newest undo step
    // (the redo history is emptied, steps beyond the depth dropped), then `text` is stored with its
    // changed mark by `raw` (ParameterTable::storeValue, whose result this returns).
    int commitValue(int index, const QString& text, double raw, bool* ok = nullptr);

    // The newest undo step taken back / the next redo step applied. Each runs only while its
    // command is enabled and a step is held; a value being typed is cancelled first. False
    // when nothing was done.
    bool undoStep();
    bool redoStep();

    // The undo depth := the options' position; surplus steps are dropped at once.
    void readDepth();
    void setDepth(int depth);

signals:
    // The cursor went to `row` (grid row); the window brings it into view, at the top when it
    // was out of view.
    void cursorMoved(int row);

private:
    UndoHistory* history() const;
    bool step(bool undo);
    void updateCommands();

    ParameterTable& core_;
};

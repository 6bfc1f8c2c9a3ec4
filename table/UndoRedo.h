#pragma once
// Undo and redo of the values committed in the parameter table. A step is a communication
// number and a raw value text at the same line of two lists of the data store (UndoComNo
// and UndoVal, RedoComNo and RedoVal); the newest step is the last line. Undo and redo
// rewrite the parameter's Value, its changed flag and its shown text, put the cursor on its
// row and recompute the limits; nothing is sent to the drive, and the edited-but-unsent,
// transfer-error and hexadecimal marks stay as they are.
//
// The undo lists always hold exactly undoCount() lines and the redo lists redoCount() lines (the
// redo history is a plain stack), so the newest step is always the last line. The depth is
// the options' "Max. Times of Undo": lowering it drops the oldest steps at once.
//
// Needs no window: the table window scrolls to the row when told (cursorMoved).
#include <QObject>
#include <QString>

class ParameterTable;

class UndoRedo : public QObject {
    Q_OBJECT
public:
    // Marks the undo and redo commands as handled and follows the depth option from now on.
    explicit UndoRedo(ParameterTable& core, QObject* parent = nullptr);

    // Records parameter `index`'s current Value as the newest undo step; the caller has just
    // appended the parameter's communication number to UndoComNo. Empties the redo history.
    // Steps beyond the depth are dropped, oldest first (all of them at depth 0).
    void PushUndo(int index);
    // The commit of a value as one step: the number appended, then PushUndo.
    void recordStep(int index);

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
    bool step(bool undo);
    void trim();
    void updateCommands();

    ParameterTable& core_;
};

#pragma once
// Typing a value into the parameter table. The grid has no editor: the typed characters
// collect in the table's pending entry and show in the value cell of the cursor row; Enter parses them
// (decimal, "h" + hexadecimal, or amperes and volts in the current/voltage display), scales
// to the raw value, rounds it to a whole number, forces it into the parameter's limits,
// stores it marked as changed and not yet sent, records an undo step and shows it again in
// the parameter's display format. Esc, an arrow key, a click or any command that moves the
// cursor or refills the rows cancels the typing and puts the old text back
// (ParameterTable::CancelPendingEntry).
//
// Numbers are read without the user's locale; one "." or one "," is the decimal point.
// Needs no window: the table window passes its keys and clicks in and scrolls to the row
// when told (cursorMoved).
#include "core/Messages.h"

#include <QObject>
#include <QString>
#include <optional>

class ParameterTable;
struct ConversionBases;
struct ProgramContext;
class UndoRedo;

class ValueEntry : public QObject {
    Q_OBJECT
public:
    ValueEntry(ParameterTable& core, UndoRedo& undo, QObject* parent = nullptr);

    // Keys the grid handles itself; characters go to typeCharacter.
    enum class Key { Enter, Backspace, Escape, Arrow, Delete, Other };

    // A typed character: digits, hexadecimal letters, ",", "-", ".", "V"/"v" while fewer than
    // 12 are typed, "H"/"h" only as the first. False when the character was ignored.
    bool typeCharacter(QChar c);
    // Enter commits; Backspace removes the last typed character; Esc and the arrow keys
    // cancel the typing (the grid then moves for an arrow); Delete asks for Shipment.
    void pressKey(Key key);
    // The user moved the current cell (mouse or keyboard) or opened the pop-up menu: the
    // typing is cancelled and the cursor row becomes the top row of the highlighted block.
    void cancelForMove();

    // The Enter road. Returns true when a value was stored. With nothing typed the cursor
    // only moves on (a shown text may be rounded and is never stored back).
    bool Commit();

    // The value cell's text for a raw value text of parameter `index` in the current view:
    // amperes or volts in the current/voltage display, "h" + hexadecimal for a parameter
    // shown in hexadecimal, else its display format. "" and ok false when it is no number.
    static QString shownValue(const ParameterTable& core, int index, const QString& rawText,
                              bool* ok = nullptr);
    // The raw value of a typed text for parameter `index`: "h" + hexadecimal digits, or a
    // decimal display value (amperes or volts for a current or voltage parameter when
    // currentVoltage, against the bases) times Mul, rounded to a whole number half away from zero; not yet
    // clamped. Returns nothing, or the message of the refusal: ValueCannotBeSet for nothing
    // typed, NotANumber for a text that is no number (or a Mul that is none). hex tells
    // whether it was hexadecimal.
    static std::optional<MsgId> typedRaw(const ProgramContext& context, const ConversionBases& bases,
                                         const QString& typed, int index, bool currentVoltage, double& raw,
                                         bool& hex);
    // A typed decimal text as a number: one "." or one "," as the decimal point.
    static bool parseTyped(const QString& text, double& value);

signals:
    // The Delete key: Shipment of the targeted parameters.
    void deleteKey();
    // The cursor went one row down after a commit; the window keeps it in view.
    void cursorMoved(int row);

private:
    // A refused Enter: the message, the old text back, an empty buffer. The typing state
    // stays, so the next key starts a fresh value.
    void refuse(MsgId message);
    void showBuffer();
    void moveOn();

    ParameterTable& core_;
    UndoRedo& undo_;
};

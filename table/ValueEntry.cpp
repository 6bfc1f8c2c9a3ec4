#include "table/ValueEntry.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "table/ParameterTable.h"
#include "table/UndoRedo.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace StoreCells;

constexpr int kMaxTyped = 12;

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The typed text with its one decimal separator written as "."; false for a text with more
// than one separator (a thousands separator is no part of a value).
bool withDecimalPoint(const QString& text, QString& out) {
    if (text.count(u'.') + text.count(u',') > 1)
        return false;
    out = text;
    out.replace(u',', u'.');
    return true;
}

} // namespace

ValueEntry::ValueEntry(ParameterTable& core, UndoRedo& undo, QObject* parent)
    : QObject(parent), core_(core), undo_(undo) {}

bool ValueEntry::parseTyped(const QString& text, double& value) {
    QString t;
    return withDecimalPoint(text, t) && ValueRules::parseNumber(t, value);
}

QString ValueEntry::shownValue(const ParameterTable& core, int index, const QString& rawText, bool* ok) {
    if (core.currentVoltage())
        return ValueRules::CurrentVoltageText(core.context(), core.conversionBases(), rawText, index, ok);
    if (ok)
        *ok = false;
    double raw = 0;
    if (!ValueRules::parseNumber(rawText, raw))
        return QString();
    if (StoreCells::at(core.context(), index).hex) {
        const QString hex = ValueRules::ToHexText(raw, ok);
        return hex.isEmpty() ? QString() : QLatin1Char('h') + hex;
    }
    if (ok)
        *ok = true;
    return ValueRules::FormatValue(core.context(), index, raw / ValueRules::mulOf(core.context(), index));
}

std::optional<MsgId> ValueEntry::typedRaw(const ProgramContext& context, const ConversionBases& bases,
                                          const QString& typed, int index, bool currentVoltage, double& raw,
                                          bool& hex) {
    hex = false;
    if (typed.isEmpty())
        return MsgId::ValueCannotBeSet;
    double m = 0;
    const ParameterStore* p = store(context);
    if (!p || (m = StoreCells::definition(context, index).multiplier) == 0)
        return MsgId::NotANumber;
    double value = 0;
    if (typed.front() == u'h' || typed.front() == u'H') {
        const QString digits = typed.mid(1);
        if (digits.isEmpty())
            return MsgId::ValueCannotBeSet;
        bool ok = false;
        value = double(ValueRules::ParseHex(context, digits, index, &ok));
        if (!ok)
            return MsgId::NotANumber;
        hex = true;
    } else {
        QString text = typed;
        if (currentVoltage) {
            // Amperes or volts to percent of the base; other parameters come back as typed.
            QString decimal;
            bool ok = withDecimalPoint(text, decimal);
            if (ok)
                text = ValueRules::ParseCurrentVoltage(context, bases, decimal, index, &ok);
            if (!ok)
                return MsgId::NotANumber;
        }
        double shown = 0;
        if (!parseTyped(text, shown))
            return MsgId::NotANumber;
        value = shown * m;
    }
    // Raw values are whole numbers: a value between two steps of the parameter is rounded
    // half away from zero, on the 15 digits a value is written with (so 1.005 x 100 is 101).
    double rounded = 0;
    if (!ValueRules::parseNumber(ValueRules::floatText(value), rounded) || !(std::fabs(rounded) < 9.2e18))
        return MsgId::NotANumber;
    rounded = std::round(rounded);
    raw = rounded == 0 ? 0.0 : rounded; // no "-0"
    return std::nullopt;
}

bool ValueEntry::typeCharacter(QChar c) {
    ParameterTable& t = core_;
    if (t.cursorRow() < 1 || t.cursorRow() >= t.grid().rowCount())
        return false;
    const bool accepted =
        (t.pendingEntry().typedCount() < kMaxTyped &&
         (isHexDigit(c) || c == u',' || c == u'-' || c == u'.' || c == u'V' || c == u'v')) ||
        (t.pendingEntry().typedCount() == 0 && (c == u'H' || c == u'h'));
    if (!accepted)
        return false;
    t.pendingEntry().type(c, t.grid().cell(TC_Value, t.cursorRow()));
    showBuffer();
    return true;
}

void ValueEntry::pressKey(Key key) {
    ParameterTable& t = core_;
    t.clearOutOfRange();
    switch (key) {
    case Key::Backspace:
        if (!t.pendingEntry().text().isEmpty()) {
            t.pendingEntry().eraseLast();
            showBuffer();
        }
        break;
    case Key::Escape:
    case Key::Arrow:
        t.CancelPendingEntry();
        break;
    case Key::Delete:
        emit deleteKey();
        break;
    case Key::Enter:
        Commit();
        break;
    case Key::Other:
        break;
    }
}

void ValueEntry::cancelForMove() {
    core_.CancelPendingEntry();
    const ParameterTable::GridRect block = core_.Selection();
    if (block.isValid())
        core_.setCursorRow(block.Top);
}

void ValueEntry::showBuffer() {
    core_.setCell(TC_Value, core_.cursorRow(), core_.pendingEntry().text());
}

void ValueEntry::refuse(MsgId message) {
    ShowMsg(core_.asker(), core_.context(), message, BoxIcon::Warning);
    core_.setCell(TC_Value, core_.cursorRow(), core_.pendingEntry().savedCellText());
    // The next key starts a new value (an "h" is accepted again, and all 12 characters).
    core_.pendingEntry().restart();
}

void ValueEntry::moveOn() {
    ParameterTable& t = core_;
    // The last row of the view shown, whichever view it is.
    const int lastRow = t.grid().rowCount() - 1;
    if (core_.options().enterMovesToNextCell.checked() && t.cursorRow() >= 1 && t.cursorRow() < lastRow) {
        t.setCursorRow(t.cursorRow() + 1);
        t.setCurrentCell(TC_Value, t.cursorRow());
        emit cursorMoved(t.cursorRow());
    }
}

bool ValueEntry::Commit() {
    ParameterTable& t = core_;
    ParameterStore* p = store(core_.context());
    if (!t.pendingEntry().active() || !p) {
        // Nothing typed: the shown text may be rounded (a display format, amperes or volts),
        // so storing it back would change the value silently. Enter only walks on.
        t.CancelPendingEntry();
        moveOn();
        return false;
    }
    const int row = t.cursorRow();
    const QString comNo = t.grid().cell(TC_ComNo, row);
    const int i = ValueRules::IndexOfComNo(core_.context(), comNo);
    if (i < 0) {
        t.CancelPendingEntry();
        return false;
    }
    const QString text = t.pendingEntry().text();
    // The raw value and the display the parameter takes; nothing is stored before the value
    // has passed every check.
    double rounded = 0;
    bool typedHex = false;
    if (const std::optional<MsgId> refusal = typedRaw(core_.context(), core_.conversionBases(), text, i,
                                                      t.currentVoltage(), rounded, typedHex)) {
        refuse(*refusal);
        return false;
    }
    // Hexadecimal shows in hexadecimal from now on, decimal in decimal; amperes and volts
    // leave the parameter's own display as it was.
    bool hex = StoreCells::at(core_.context(), i).hex;
    if (typedHex)
        hex = true;
    else if (!t.currentVoltage())
        hex = false;

    const double v = t.ClampToRange(ValueRules::floatText(rounded), i);
    if (t.outOfRange())
        ShowMsg(core_.asker(), core_.context(), MsgId::OutOfRange, BoxIcon::Warning);

    // A default that is no number refuses the value before anything is stored.
    bool flagOk = false;
    const int changed = t.UpdateChangedFlag(comNo, v, &flagOk);
    if (!flagOk) {
        refuse(MsgId::NotANumber);
        return false;
    }
    t.setCell(TC_Changed, row, changed == 1 ? Msg(core_.context(), MsgId::ChangedMark) : kNoMark);

    double current = 0;
    if (!ValueRules::parseNumber(StoreCells::value(core_.context(), i), current) || current != v)
        StoreCells::set(core_.context(), i, &WorkingParameter::toWrite, true);

    const QString value = ValueRules::floatText(v);
    undo_.commitValue(i, value, v);
    StoreCells::set(core_.context(), i, &WorkingParameter::hex, hex);
    bool shownOk = false;
    const QString shown = shownValue(t, i, value, &shownOk);
    t.setCell(TC_Value, row, shownOk ? shown : value);

    moveOn();
    t.pendingEntry().restart();
    t.UpdateLimits();
    t.pendingEntry().end();
    return true;
}

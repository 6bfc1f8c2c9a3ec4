#include "table/ViewCommands.h"

#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/WaitCursor.h"
#include "table/ParameterTable.h"
#include "table/SelectedTransfer.h"
#include "table/ValueEntry.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>
#include <algorithm>

namespace {

using namespace StoreCells;
using C = TableCommand;

// The parameters the table loops over: 0..tableView.lastIndex, never beyond the loaded ones.
int lastInUse(const ProgramContext& context) {
    return context.store ? std::min(context.tableView.lastIndex, context.drive.lastIndex()) : -1;
}

// An empty value counts as 0, as the rows show it.
bool readValue(const QString& text, double& v) {
    if (text.isEmpty()) {
        v = 0;
        return true;
    }
    return ValueRules::parseNumber(text, v);
}

} // namespace

ViewCommands::ViewCommands(ParameterTable& core) : core_(core) {
    for (C c : {C::Copy, C::ChgDisp, C::CVDisp, C::Quick, C::Slct, C::SlctUnlock, C::Blind, C::Disp,
                C::HexDisp, C::DecDisp, C::Def})
        core_.commands().setAvailable(c, true);
}

void ViewCommands::refillWithFindBuffer() {
    core_.FillRows();
    core_.clearFindBuffer();
    core_.FillFindBuffer();
}

// ---- Copy ---------------------------------------------------------------------------------

QString ViewCommands::copyText() const {
    const ParameterTable::GridRect block = core_.Selection();
    if (!block.isValid())
        return QString();
    const TextGrid& g = core_.grid();
    // The title column is always the first field and is never part of a highlight.
    const int left = std::max(block.Left, int(TC_ComNo));
    auto line = [&](int row) {
        QStringList fields{g.cell(TC_Title, row)};
        for (int c = left; c <= block.Right; ++c)
            fields.append(g.cell(c, row));
        return fields.join(QLatin1Char('\t')) + QLatin1String("\r\n");
    };
    QString text = line(0);
    for (int r = block.Top; r <= block.Bottom; ++r)
        text += line(r);
    return text;
}

void ViewCommands::copyToClipboard() {
    const QString text = copyText();
    if (text.isEmpty())
        return;
    if (QClipboard* clip = QGuiApplication::clipboard())
        clip->setText(text);
}

// ---- Views --------------------------------------------------------------------------------

void ViewCommands::toggleChangedOnly() {
    TableCommands& c = core_.commands();
    if (!c.enabled(C::ChgDisp))
        return;
    core_.CancelPendingEntry();
    if (!c.checked(C::ChgDisp)) {
        int n = 0;
        for (int i = 0; i <= lastInUse(core_.context()); ++i)
            n += at(core_.context(), i).changed;
        if (n == 0) {
            ShowMsg(core_.asker(), core_.context(), MsgId::NoChangedParameter);
            return;
        }
        changedRowCount_ = n;
        c.setChecked(C::ChgDisp, true);
        c.setEnabled(C::Quick, false);
        c.setEnabled(C::Blind, false);
        c.setEnabled(C::Find, false);
        c.setEnabled(C::Disp, true);
    } else {
        changedRowCount_ = 0;
        c.setChecked(C::ChgDisp, false);
        c.setEnabled(C::Quick, true);
        c.setEnabled(C::Blind, true);
        c.setEnabled(C::Find, true);
        c.setEnabled(C::Disp, false);
    }
    core_.FillRows();
}

void ViewCommands::toggleCurrentVoltage() {
    TableCommands& c = core_.commands();
    if (!c.enabled(C::CVDisp))
        return;
    core_.CancelPendingEntry();
    const bool on = !c.checked(C::CVDisp);
    c.setChecked(C::CVDisp, on);
    c.setEnabled(C::HexDisp, !on);
    c.setEnabled(C::DecDisp, !on);
    core_.FillRows();
}

void ViewCommands::toggleQuickView() {
    TableCommands& c = core_.commands();
    if (!c.enabled(C::Quick))
        return;
    core_.CancelPendingEntry();
    const bool on = !c.checked(C::Quick);
    c.setChecked(C::Quick, on);
    for (C other : {C::ChgDisp, C::Slct, C::SlctUnlock, C::Blind, C::Find})
        c.setEnabled(other, !on);
    core_.FillRows();
}

// ---- Marks --------------------------------------------------------------------------------

void ViewCommands::toggleSelected() {
    if (!core_.commands().enabled(C::Slct))
        return;
    const ParameterTable::GridRect block = core_.Selection();
    if (!block.isValid() || block.Left > TC_Value || block.Right < TC_Value)
        return;
    for (int r = block.Top; r <= block.Bottom; ++r) {
        const int i = core_.indexOfRow(r);
        if (WorkingParameter* w = editRecord(core_.context(), i))
            w->selected = !w->selected;
    }
    core_.repaintAll();
}

void ViewCommands::clearSelectedParameters() {
    if (!core_.commands().enabled(C::SlctUnlock))
        return;
    for (int i = 0; i <= lastInUse(core_.context()); ++i)
        set(core_.context(), i, &WorkingParameter::selected, false);
    core_.repaintAll();
}

bool ViewCommands::hideSelected() {
    TableCommands& c = core_.commands();
    if (!c.enabled(C::Blind))
        return false;
    const WaitCursor busy;
    core_.CancelPendingEntry();
    const int last = lastInUse(core_.context());
    // Counted before anything is marked: a refused Blind must leave no parameter hidden.
    // Parameters hidden by an earlier Blind stay hidden and count too.
    int selected = 0, hidden = 0;
    for (int i = 0; i <= last; ++i) {
        const bool sel = at(core_.context(), i).selected;
        selected += sel;
        hidden += sel || at(core_.context(), i).blind;
    }
    if (selected == 0) {
        ShowMsg(core_.asker(), core_.context(), MsgId::NoSelectedParameter);
        return false;
    }
    if (hidden > core_.context().tableView.lastIndex) {
        ShowMsg(core_.asker(), core_.context(), MsgId::CannotHideAll);
        return false;
    }
    for (int i = 0; i <= last; ++i) {
        if (at(core_.context(), i).selected)
            set(core_.context(), i, &WorkingParameter::blind, true);
    }
    c.setEnabled(C::ChgDisp, false);
    c.setEnabled(C::Quick, false);
    c.setChecked(C::Blind, true);
    c.setEnabled(C::Disp, true);
    ProgramContext& context = core_.context();
    context.tableView.blindOn = true;
    context.tableView.blindCount = hidden;
    core_.setBlindRowCount(context.tableView.lastIndex - hidden);
    refillWithFindBuffer();
    return true;
}

void ViewCommands::showAllParameters() {
    TableCommands& c = core_.commands();
    if (!c.enabled(C::Disp))
        return;
    core_.CancelPendingEntry();
    c.setChecked(C::ChgDisp, false);
    c.setEnabled(C::ChgDisp, true);
    c.setEnabled(C::Quick, true);
    c.setChecked(C::Blind, false);
    c.setEnabled(C::Blind, true);
    for (int i = 0; i <= lastInUse(core_.context()); ++i)
        set(core_.context(), i, &WorkingParameter::blind, false);
    ProgramContext& context = core_.context();
    context.tableView.blindCount = 0;
    c.setEnabled(C::Disp, false);
    c.setEnabled(C::Find, true);
    context.tableView.blindOn = false;
    changedRowCount_ = 0;
    refillWithFindBuffer();
}

// ---- Display ------------------------------------------------------------------------------

void ViewCommands::showHex() {
    if (!core_.commands().enabled(C::HexDisp))
        return;
    core_.CancelPendingEntry();
    // From the stored value, not the shown text: a display rounded to fewer decimals than the
    // value has would give a wrong hexadecimal value, which could then be sent.
    CommandTargets::forEachTarget(core_, [this](int row, int i) {
        if (at(core_.context(), i).hex)
            return true;
        double v = 0;
        bool ok = readValue(StoreCells::value(core_.context(), i), v);
        const QString hex = ok ? ValueRules::ToHexText(v, &ok) : QString();
        if (!ok) {
            ShowMsg(core_.asker(), core_.context(), MsgId::NotANumber);
            return false;
        }
        core_.setCell(TC_Value, row, QLatin1Char('h') + hex);
        set(core_.context(), i, &WorkingParameter::hex, true);
        return true;
    });
}

void ViewCommands::showDecimal() {
    if (!core_.commands().enabled(C::DecDisp))
        return;
    core_.CancelPendingEntry();
    CommandTargets::forEachTarget(core_, [this](int row, int i) {
        if (!at(core_.context(), i).hex)
            return true;
        double v = 0;
        if (!readValue(StoreCells::value(core_.context(), i), v)) {
            ShowMsg(core_.asker(), core_.context(), MsgId::NotANumber);
            return false;
        }
        core_.setCell(TC_Value, row,
                      ValueRules::FormatValue(core_.context(), i, v / ValueRules::mulOf(core_.context(), i)));
        set(core_.context(), i, &WorkingParameter::hex, false);
        return true;
    });
}

void ViewCommands::restoreShipmentValues() {
    if (!core_.commands().enabled(C::Def))
        return;
    core_.CancelPendingEntry();
    const WaitCursor busy;
    bool any = false;
    CommandTargets::forEachTarget(core_, [this, &any](int row, int i) {
        // DefaultOf follows a default taken from another parameter, and reports a definition
        // it cannot read (message DefaultNotDefined); such a parameter is left as it is.
        const QString defText = core_.DefaultOf(definition(core_.context(), i).comNo);
        qint64 def = 0;
        if (defText == QLatin1String(ValueRules::kDefaultError))
            return true;
        if (!ValueRules::parseRawValue(defText, def)) {
            ShowMsg(core_.asker(), core_.context(), MsgId::DefaultNotDefined);
            return true;
        }
        qint64 now = 0;
        if (!ValueRules::parseRawValue(StoreCells::value(core_.context(), i), now) || now != def)
            set(core_.context(), i, &WorkingParameter::toWrite, true);
        set(core_.context(), i, &WorkingParameter::changed, false);
        const QString value = QString::number(def);
        setValue(core_.context(), i, value);
        core_.setCell(TC_Changed, row, kNoMark);
        bool ok = true;
        const QString shown = ValueEntry::shownValue(core_, i, value, &ok);
        core_.setCell(TC_Value, row, ok ? shown : value);
        any = true;
        return true;
    });
    // Limits that follow a reset parameter are shown anew.
    if (any)
        core_.UpdateLimits();
    core_.repaintAll();
}

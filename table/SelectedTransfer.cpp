#include "table/SelectedTransfer.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "platform/WaitCursor.h"
#include "table/ParameterTable.h"
#include "table/ValueEntry.h"

#include <cmath>

namespace {

using namespace StoreCells;

// After a successful transfer the parameter is no longer "last transfer failed"; a
// parameter that must not be written keeps its mark.
void clearFailedFlag(int index) {
    if (para(globals(), PD_Flag, index) != kOne) {
        if (ParameterStore* p = globals().Parameters)
            p->ParaDat.setCell(PD_Flag, index + 1, kZero);
    }
}

QString changedMark(int index, int changed) {
    return changed == 1 && para(globals(), PD_Flag, index) != QLatin1String("2")
               ? Msg(globals(), MsgId::ChangedMark)
               : kNoMark;
}

} // namespace

// ---- Targets ---------------------------------------------------------------------------------

namespace CommandTargets {

void MarkTargetRows(ParameterTable& core) {
    const ParameterTable::GridRect block = core.Selection();
    const bool filtered = core.filtered();
    if (block.isValid()) {
        for (int r = block.Top; r <= block.Bottom; ++r) {
            const int i = core.indexOfRow(r);
            if (i < 0)
                continue;
            if (filtered && work(globals(), UP_BlindIndex, i) == kOne)
                continue;
            setWork(globals(), UP_OneSelectIndex, i, kOne);
        }
    }
    const int cursor = core.indexOfRow(core.CursorRow);
    if (cursor >= 0)
        setWork(globals(), UP_OneSelectIndex, cursor, kOne);
}

void forEachTarget(ParameterTable& core, const std::function<bool(int row, int index)>& visit) {
    core.LastDataRow = core.grid().rowCount() - 2;
    core.SearchStartRow = 0;
    MarkTargetRows(core);
    const int lastRow = core.LastDataRow + 1;
    bool going = true;
    for (int r = 1; r <= lastRow; ++r) {
        const int i = core.indexOfRow(r);
        if (i < 0)
            continue;
        if (going &&
            (work(globals(), UP_SelectIndex, i) == kOne || work(globals(), UP_OneSelectIndex, i) == kOne))
            going = visit(r, i);
        setWork(globals(), UP_OneSelectIndex, i, kZero);
    }
    const int cursor = core.indexOfRow(core.CursorRow);
    if (cursor >= 0)
        setWork(globals(), UP_OneSelectIndex, cursor, kZero);
}

} // namespace CommandTargets

// ---- The program's link ----------------------------------------------------------------------

bool ProgramDriveLink::ConnectDrive() {
    CommLink* link = commLink();
    return link && link->ConnectDrive();
}

std::uint32_t ProgramDriveLink::CommTransact(int index, const QString& valueText, bool& err,
                                             const QString& kind) {
    CommLink* link = commLink();
    if (!link) {
        err = true;
        return 0;
    }
    // The link's own error flag is the shared one the other windows read.
    const std::uint32_t reply = link->CommTransact(index, valueText, link->CommError, kind);
    err = link->CommError;
    return reply;
}

// ---- Commands ---------------------------------------------------------------------------------

SelectedTransfer::SelectedTransfer(ParameterTable& core, DriveLink& link) : core_(core), link_(&link) {
    core_.commands().setAvailable(TableCommand::DownLoad, true);
    core_.commands().setAvailable(TableCommand::UpLoad, true);
}

QString SelectedTransfer::replyText(int index, std::uint32_t reply) {
    return QString::number(applyParameterSign(globals(), index, reply));
}

void SelectedTransfer::redisplay(int row, int index) {
    const QString value = work(globals(), UP_Value, index);
    const QString rawText = value.isEmpty() ? QStringLiteral("0") : value;
    bool ok = false;
    const QString text = ValueEntry::shownValue(core_, index, rawText, &ok);
    core_.setCell(TC_Value, row, ok ? text : rawText);
}

void SelectedTransfer::PopUpLoadClick() {
    ExportRequestKind = options().EEPWriteEnable.checked() ? QStringLiteral("W") : QStringLiteral("P");
    if (core_.TypedCount != 0)
        ExportSelectedCommitting(ExportRequestKind);
    else
        ExportSelected(ExportRequestKind);
}

bool SelectedTransfer::startOnTargets() {
    core_.CancelPendingEntry();
    core_.LastDataRow = core_.grid().rowCount() - 2;
    core_.SearchStartRow = 0;
    if (!link_->ConnectDrive()) {
        ShowMsg(globals(), MsgId::CannotConnect);
        return false;
    }
    return true;
}

void SelectedTransfer::ImportSelected() {
    if (!core_.commands().enabled(TableCommand::DownLoad) || globals().MonitorRunning)
        return;
    const WaitCursor busy;
    if (!startOnTargets())
        return;
    CommandTargets::forEachTarget(core_, [this](int row, int i) {
        bool err = false;
        const std::uint32_t reply = link_->CommTransact(i, QString(), err, QStringLiteral("R"));
        if (err) {
            // The value stays as it was, and so does the flag computed from it.
            setWork(globals(), UP_CommErrIndex, i, kOne);
        } else {
            setWork(globals(), UP_CommErrIndex, i, kZero);
            clearFailedFlag(i);
            setWork(globals(), UP_Value, i, replyText(i, reply));
        }
        double v = 0;
        if (!ValueRules::parseNumber(work(globals(), UP_Value, i), v))
            v = 0;
        const int changed = core_.UpdateChangedFlag(para(globals(), PD_ComNo, i), v);
        core_.setCell(TC_Changed, row, changedMark(i, changed));
        redisplay(row, i);
        setWork(globals(), UP_WriteIndex, i, kZero);
        return true;
    });
    core_.UpdateLimits();
    core_.repaintAll();
}

void SelectedTransfer::ExportSelected(const QString& kind) {
    if (!core_.commands().enabled(TableCommand::UpLoad))
        return;
    const WaitCursor busy;
    if (!startOnTargets())
        return;
    CommandTargets::forEachTarget(core_, [this, &kind](int row, int i) {
        if (para(globals(), PD_Flag, i) == kOne) {
            ShowMsg(globals(), MsgId::CannotBeWritten, BoxIcon::Stop);
            return true;
        }
        const QString value = work(globals(), UP_Value, i);
        qint64 raw = 0;
        if (value.isEmpty()) {
            ShowMsg(globals(), MsgId::ValueCannotBeSet);
            return true;
        }
        if (!ValueRules::parseRawValue(value, raw)) {
            ShowMsg(globals(), MsgId::NotANumber);
            return true;
        }
        bool err = false;
        const std::uint32_t reply = link_->CommTransact(i, QString::number(raw), err, kind);
        setWork(globals(), UP_WriteIndex, i, kZero);
        if (err) {
            setWork(globals(), UP_WriteIndex, i, kOne);
            setWork(globals(), UP_CommErrIndex, i, kOne);
        } else {
            setWork(globals(), UP_CommErrIndex, i, kZero);
            clearFailedFlag(i);
            setWork(globals(), UP_Value, i, replyText(i, reply));
        }
        redisplay(row, i);
        return true;
    });
    core_.repaintAll();
}

void SelectedTransfer::ExportSelectedCommitting(const QString& kind) {
    if (!core_.commands().enabled(TableCommand::UpLoad) || globals().MonitorRunning)
        return;
    core_.OutOfRange = 0;
    const int row = core_.CursorRow;
    const int i = core_.indexOfRow(row);
    if (i < 0)
        return;
    const QString text = core_.grid().cell(TC_Value, row);

    double typed = 0;
    bool isHex = false;
    if (const std::optional<MsgId> refusal =
            ValueEntry::typedRaw(text, i, core_.currentVoltage(), typed, isHex)) {
        ShowMsg(globals(), *refusal, BoxIcon::Warning);
        // The old text back and a fresh buffer: the next key starts a new value.
        core_.setCell(TC_Value, row, core_.SavedCellText);
        core_.EditBuffer.clear();
        core_.TypedCount = 0;
        return;
    }
    qint64 raw = qint64(typed);
    const double clamped = core_.ClampToRange(QString::number(raw), i);
    if (core_.OutOfRange) {
        // Nothing is sent: the engineer sees the limit message and the typed value stays.
        ShowMsg(globals(), MsgId::OutOfRange);
        return;
    }
    raw = qint64(std::llround(clamped));

    const WaitCursor busy;
    if (!link_->ConnectDrive()) {
        ShowMsg(globals(), MsgId::CannotConnect);
        return;
    }
    if (para(globals(), PD_Flag, i) == kOne) {
        ShowMsg(globals(), MsgId::CannotBeWritten, BoxIcon::Stop);
        setWork(globals(), UP_OneSelectIndex, i, kZero);
        return;
    }

    // A hexadecimal entry shows in hexadecimal from now on, a decimal one in decimal; amperes
    // and volts leave the parameter's own display as it was.
    if (isHex)
        setWork(globals(), UP_HexIndex, i, kOne);
    else if (!core_.currentVoltage())
        setWork(globals(), UP_HexIndex, i, kZero);

    bool err = false;
    const std::uint32_t reply = link_->CommTransact(i, QString::number(raw), err, kind);
    QString stored = work(globals(), UP_Value, i);
    if (err) {
        // The typed value is dropped: the table keeps what the drive is known to hold.
        setWork(globals(), UP_WriteIndex, i, kOne);
        setWork(globals(), UP_CommErrIndex, i, kOne);
    } else {
        setWork(globals(), UP_WriteIndex, i, kZero);
        setWork(globals(), UP_CommErrIndex, i, kZero);
        clearFailedFlag(i);
        stored = replyText(i, reply);
    }
    if (recordUndo)
        recordUndo(i);
    setWork(globals(), UP_Value, i, stored);
    // Marked changed by what the drive now holds, once it has taken it.
    double v = 0;
    if (!ValueRules::parseNumber(stored, v))
        v = 0;
    const int changed = core_.UpdateChangedFlag(para(globals(), PD_ComNo, i), v);
    core_.setCell(TC_Changed, row, changedMark(i, changed));
    redisplay(row, i);

    core_.EditBuffer.clear();
    core_.TypedCount = 0;
    core_.UpdateLimits();
    core_.EditActive = 0;
    core_.repaintAll();
}

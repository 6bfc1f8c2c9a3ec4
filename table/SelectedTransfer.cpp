#include "table/SelectedTransfer.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "link/CoreNotices.h"
#include "link/LowHalfRegister.h"
#include "link/TransferEngine.h"
#include "platform/CommandGuard.h"
#include "platform/PumpEvents.h"
#include "platform/WaitCursor.h"
#include "table/ParameterTable.h"
#include "table/UndoRedo.h"
#include "table/ValueEntry.h"

#include <cmath>

namespace {

using namespace StoreCells;

QString changedMark(const ProgramContext& context, int index, int changed) {
    return changed == 1 && definition(context, index).flag != 2 ? Msg(context, MsgId::ChangedMark) : kNoMark;
}

// A target as a box lists it: its title (else its number) and name.
QString targetLine(const ProgramContext& context, int index) {
    const ParameterDefinition& d = definition(context, index);
    return (d.title.isEmpty() ? d.comNo : d.title) + QStringLiteral(": ") + d.name;
}

// Held while a command over the targets runs: the events let through between its exchanges
// must not start it again.
constexpr const char* kGuard = "SelectedTransfer";

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
            if (filtered && at(core.context(), i).blind)
                continue;
            set(core.context(), i, &WorkingParameter::picked, true);
        }
    }
    const int cursor = core.indexOfRow(core.cursorRow());
    if (cursor >= 0)
        set(core.context(), cursor, &WorkingParameter::picked, true);
}

void forEachTarget(ParameterTable& core, const std::function<bool(int row, int index)>& visit) {
    core.recountDataRows();
    MarkTargetRows(core);
    const int lastRow = core.lastDataRow() + 1;
    bool going = true;
    for (int r = 1; r <= lastRow; ++r) {
        const int i = core.indexOfRow(r);
        if (i < 0)
            continue;
        if (going && (at(core.context(), i).selected || at(core.context(), i).picked))
            going = visit(r, i);
        set(core.context(), i, &WorkingParameter::picked, false);
    }
    const int cursor = core.indexOfRow(core.cursorRow());
    if (cursor >= 0)
        set(core.context(), cursor, &WorkingParameter::picked, false);
}

} // namespace CommandTargets

// ---- The program's link ----------------------------------------------------------------------

bool ProgramDriveLink::ConnectDrive() {
    return link_ && link_->ConnectDrive();
}

bool ProgramDriveLink::monitorRunning() const {
    return link_ && link_->monitorRunning();
}

ExchangeResult ProgramDriveLink::transact(int index, const QString& valueText, const QString& kind) {
    if (!link_) {
        ExchangeResult none;
        none.error = true;
        none.failure = ExchangeFailure::NoPort;
        return none;
    }
    // The link's own error flag is the shared one the other windows read.
    return link_->transactNoted(index, valueText, kind);
}

Protocol ProgramDriveLink::protocol() const {
    return link_ ? link_->settings().protocolKind() : Protocol::Inverter;
}

bool ProgramDriveLink::driveGone(int index) {
    return link_ && driveHasGone(*link_, index);
}

// ---- Commands ---------------------------------------------------------------------------------

SelectedTransfer::SelectedTransfer(ParameterTable& core, DriveLink& link) : core_(core), link_(&link) {
    core_.commands().setAvailable(TableCommand::DownLoad, true);
    core_.commands().setAvailable(TableCommand::UpLoad, true);
}

QString SelectedTransfer::replyText(const ProgramContext& context, int index, std::uint32_t reply) {
    return QString::number(applyParameterSign(context, index, reply));
}

void SelectedTransfer::redisplay(int row, int index) {
    const QString value = StoreCells::value(core_.context(), index);
    const QString rawText = value.isEmpty() ? QStringLiteral("0") : value;
    bool ok = false;
    const QString text = ValueEntry::shownValue(core_, index, rawText, &ok);
    core_.setCell(TC_Value, row, ok ? text : rawText);
}

SelectedTransfer::Next SelectedTransfer::afterExchange(int index, bool failed) {
    PumpEvents();
    if (!failed || !link_->driveGone(index))
        return Next::Go;
    const QString title = definition(core_.context(), index).title;
    switch (askAbortRetryIgnore(core_.asker(), core_.context(), MsgId::DataIncorrect,
                                MsgId::CommErrorAtParameter,
                                title.isEmpty() ? definition(core_.context(), index).comNo : title)) {
    case ParameterAnswer::Abort:
        return Next::Abort;
    case ParameterAnswer::Retry:
        return Next::Retry;
    case ParameterAnswer::Ignore:
        break;
    }
    return Next::Go;
}

bool SelectedTransfer::cutToLowHalf(int index) const {
    return LowHalfRegister::cuts(link_->protocol(), parameterIs32(core_.context(), index));
}

void SelectedTransfer::showLeftOut(MsgId reason, const QStringList& lines) {
    if (lines.isEmpty())
        return;
    const ProgramContext& context = core_.context();
    core_.asker().ask({Msg(context, reason) + QStringLiteral("\n\n") + lines.join(u'\n'),
                       context.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    PumpEvents();
}

void SelectedTransfer::exportTargets() {
    const QString kind = core_.options().exportToEeprom.checked() ? QStringLiteral("W") : QStringLiteral("P");
    if (core_.pendingEntry().typedCount() != 0)
        ExportSelectedCommitting(kind);
    else
        ExportSelected(kind);
}

bool SelectedTransfer::startOnTargets() {
    core_.CancelPendingEntry();
    core_.recountDataRows();
    if (!link_->ConnectDrive()) {
        ShowMsg(core_.asker(), core_.context(), MsgId::CannotConnect);
        return false;
    }
    return true;
}

void SelectedTransfer::ImportSelected() {
    if (!core_.commands().enabled(TableCommand::DownLoad) || link_->monitorRunning())
        return;
    const CommandGuard guard(kGuard);
    if (guard.busy())
        return;
    const WaitCursor busy;
    if (!startOnTargets())
        return;
    QStringList notRead;
    CommandTargets::forEachTarget(core_, [this, &notRead](int row, int i) {
        ExchangeResult reply;
        Next next = Next::Retry;
        while (next == Next::Retry) {
            reply = link_->transact(i, QString(), QStringLiteral("R"));
            next = afterExchange(i, reply.error);
        }
        // A failed read keeps the value, and the mark is taken from it again; so does a cut
        // register that does not confirm it. One that does leaves the value as it is.
        QString value = StoreCells::value(core_.context(), i);
        const bool lowHalf = cutToLowHalf(i);
        const bool unsettled =
            !reply.error && lowHalf && !LowHalfRegister::agrees(reply.value, ParseDecimalPrefix(value));
        if (unsettled)
            notRead << targetLine(core_.context(), i);
        if (reply.error || unsettled) {
            set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Failed);
        } else {
            set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Clear);
            // No longer "last transfer failed"; a parameter that must not be written keeps its mark.
            core_.context().drive.markTransfer(i, 0);
            if (!lowHalf)
                value = replyText(core_.context(), i, reply.value);
        }
        double v = 0;
        if (!ValueRules::parseNumber(value, v))
            v = 0;
        const int changed = core_.storeValue(i, value, v);
        core_.setCell(TC_Changed, row, changedMark(core_.context(), i, changed));
        redisplay(row, i);
        set(core_.context(), i, &WorkingParameter::toWrite, false);
        return next != Next::Abort;
    });
    core_.UpdateLimits();
    core_.repaintAll();
    showLeftOut(MsgId::WideValueNotRead, notRead);
}

void SelectedTransfer::ExportSelected(const QString& kind) {
    if (!core_.commands().enabled(TableCommand::UpLoad))
        return;
    const CommandGuard guard(kGuard);
    if (guard.busy())
        return;
    const WaitCursor busy;
    if (!startOnTargets())
        return;
    QStringList notWritten;
    CommandTargets::forEachTarget(core_, [this, &kind, &notWritten](int row, int i) {
        if (definition(core_.context(), i).flag == 1) {
            ShowMsg(core_.asker(), core_.context(), MsgId::CannotBeWritten, BoxIcon::Stop);
            return true;
        }
        const QString value = StoreCells::value(core_.context(), i);
        qint64 raw = 0;
        if (value.isEmpty()) {
            ShowMsg(core_.asker(), core_.context(), MsgId::ValueCannotBeSet);
            return true;
        }
        if (!ValueRules::parseRawValue(value, raw)) {
            ShowMsg(core_.asker(), core_.context(), MsgId::NotANumber);
            return true;
        }
        const bool lowHalf = cutToLowHalf(i);
        if (lowHalf && !LowHalfRegister::survivesWrite(raw, parameterIsSigned(core_.context(), i))) {
            // Nothing is sent: the drive would hold another value.
            notWritten << targetLine(core_.context(), i);
            set(core_.context(), i, &WorkingParameter::toWrite, true);
            set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Failed);
            return true;
        }
        ExchangeResult reply;
        Next next = Next::Retry;
        while (next == Next::Retry) {
            reply = link_->transact(i, QString::number(raw), kind);
            next = afterExchange(i, reply.error);
        }
        set(core_.context(), i, &WorkingParameter::toWrite, false);
        if (reply.error || (lowHalf && !LowHalfRegister::agrees(reply.value, raw))) {
            set(core_.context(), i, &WorkingParameter::toWrite, true);
            set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Failed);
        } else {
            set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Clear);
            // No longer "last transfer failed"; a parameter that must not be written keeps its mark.
            core_.context().drive.markTransfer(i, 0);
            // A cut register's echo confirms the value the table holds; it is no value itself.
            if (!lowHalf)
                setValue(core_.context(), i, replyText(core_.context(), i, reply.value));
        }
        redisplay(row, i);
        return next != Next::Abort;
    });
    core_.repaintAll();
    showLeftOut(MsgId::WideValueNotWritten, notWritten);
}

void SelectedTransfer::ExportSelectedCommitting(const QString& kind) {
    if (!core_.commands().enabled(TableCommand::UpLoad) || link_->monitorRunning() ||
        CommandGuard::running(kGuard))
        return;
    core_.clearOutOfRange();
    const int row = core_.cursorRow();
    const int i = core_.indexOfRow(row);
    if (i < 0)
        return;
    const QString text = core_.grid().cell(TC_Value, row);

    double typed = 0;
    bool isHex = false;
    if (const std::optional<MsgId> refusal = ValueEntry::typedRaw(
            core_.context(), core_.conversionBases(), text, i, core_.currentVoltage(), typed, isHex)) {
        ShowMsg(core_.asker(), core_.context(), *refusal, BoxIcon::Warning);
        // The old text back and a fresh buffer: the next key starts a new value.
        core_.setCell(TC_Value, row, core_.pendingEntry().savedCellText());
        core_.pendingEntry().restart();
        return;
    }
    qint64 raw = qint64(typed);
    const double clamped = core_.ClampToRange(QString::number(raw), i);
    if (core_.outOfRange()) {
        // Nothing is sent: the engineer sees the limit message and the typed value stays.
        ShowMsg(core_.asker(), core_.context(), MsgId::OutOfRange);
        return;
    }
    raw = qint64(std::llround(clamped));
    const bool lowHalf = cutToLowHalf(i);
    if (lowHalf && !LowHalfRegister::survivesWrite(raw, parameterIsSigned(core_.context(), i))) {
        // Nothing is sent, and the typed value stays: the drive would hold another value.
        ShowMsg(core_.asker(), core_.context(), MsgId::WideValueNotWritten);
        return;
    }

    const WaitCursor busy;
    if (!link_->ConnectDrive()) {
        ShowMsg(core_.asker(), core_.context(), MsgId::CannotConnect);
        return;
    }
    if (definition(core_.context(), i).flag == 1) {
        ShowMsg(core_.asker(), core_.context(), MsgId::CannotBeWritten, BoxIcon::Stop);
        set(core_.context(), i, &WorkingParameter::picked, false);
        return;
    }

    // A hexadecimal entry shows in hexadecimal from now on, a decimal one in decimal; amperes
    // and volts leave the parameter's own display as it was.
    if (isHex)
        set(core_.context(), i, &WorkingParameter::hex, true);
    else if (!core_.currentVoltage())
        set(core_.context(), i, &WorkingParameter::hex, false);

    const ExchangeResult reply = link_->transact(i, QString::number(raw), kind);
    QString stored = StoreCells::value(core_.context(), i);
    if (reply.error || (lowHalf && !LowHalfRegister::agrees(reply.value, raw))) {
        // The typed value is dropped: the table keeps what the drive is known to hold.
        set(core_.context(), i, &WorkingParameter::toWrite, true);
        set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Failed);
    } else {
        set(core_.context(), i, &WorkingParameter::toWrite, false);
        set(core_.context(), i, &WorkingParameter::lastTransfer, LastTransfer::Clear);
        core_.context().drive.markTransfer(i, 0);
        // A cut register's echo only confirms the value sent.
        stored = lowHalf ? QString::number(raw) : replyText(core_.context(), i, reply.value);
    }
    // Marked changed by what the drive now holds, once it has taken it.
    double v = 0;
    if (!ValueRules::parseNumber(stored, v))
        v = 0;
    const int changed = undo_ ? undo_->commitValue(i, stored, v) : core_.storeValue(i, stored, v);
    core_.setCell(TC_Changed, row, changedMark(core_.context(), i, changed));
    redisplay(row, i);

    core_.pendingEntry().restart();
    core_.UpdateLimits();
    core_.pendingEntry().end();
    core_.repaintAll();
}

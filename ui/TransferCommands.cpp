#include "ui/TransferCommands.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "platform/CommandGuard.h"
#include "platform/PumpEvents.h"
#include "ui/PrompterAsker.h"
#include "ui/ResultWindow.h"
#include "ui/TransferWindow.h"

#include <QDialog>
#include <QLabel>

namespace {
// One guard for all five: a command must not start inside another's modal windows.
constexpr const char* kGuard = "TransferCommands";
} // namespace

bool TransferCommands::transferActive() const {
    return workBar_->engine().ran();
}

bool TransferCommands::running() {
    return CommandGuard::running(kGuard);
}

int TransferHost::showModal(QDialog& dialog) {
    return dialog.exec();
}

TransferCommands::TransferCommands(ProgramContext& context, const Options& options, CommLink& link,
                                   TransferHost& host, DriveChecks& checks, const MainWindowLinks& links)
    : context_(context), options_(options), link_(link), host_(host), checks_(checks), links_(links),
      workBar_(std::make_unique<TransferWindow>(context, options, link, links)) {
    workBar_->engine().setJob(&job_);
}

TransferCommands::~TransferCommands() = default;

void TransferCommands::importAll() {
    runWholeTable(DriveCommand::Import);
}
void TransferCommands::exportAll() {
    runWholeTable(DriveCommand::Export);
}
void TransferCommands::compareAll() {
    runWholeTable(DriveCommand::Comparison);
}
void TransferCommands::importSelected() {
    runSelected(DriveCommand::SelectedImport);
}
void TransferCommands::exportSelected() {
    runSelected(DriveCommand::SelectedExport);
}

void TransferCommands::runWholeTable(DriveCommand command) {
    if (!host_.commandItemEnabled(command))
        return;
    CommandGuard guard(kGuard);
    if (guard.busy())
        return;
    const ProgramContext& context = context_;
    const Options& o = options_;

    // A failed connection is reported before anything else: an earlier special-setup mark
    // must not swallow it.
    if (!link_.ConnectDrive()) {
        ShowMsg(context_, MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok);
        host_.focusTableGrid();
        return;
    }
    checks_.CheckSpSetup();
    if (link_.specialSetup())
        return;

    job_ = TransferJob();
    ResultWindow result(context_, options_, link_.asker(), job_, links_, host_.ownerWindow());
    std::uint32_t mode = kModeImport;
    if (command == DriveCommand::Import) {
        WriteAccessValue(link_, driveAccessValueText());
        job_.lastParaIndex = context.drive.lastIndex();
    } else {
        mode = command == DriveCommand::Export ? kModeExport : kModeComparison;
        if (o.useMaintenanceMode.checked()) {
            WriteAccessValue(link_, driveAccessValueText());
            job_.lastParaIndex = context.drive.lastIndex();
        } else {
            // Without maintenance mode the maintenance parameters are left out.
            WriteAccessValue(link_, QStringLiteral("0"));
            job_.lastParaIndex = context.drive.normalLastIndex;
        }
    }
    job_.mode = mode;

    IdentityCheckResult identity;
    if (mode != kModeComparison || o.checkDriveTypeAndCapacity.checked())
        identity = checks_.CheckDriveIdentity(int(mode));
    if (mode != kModeComparison) {
        // The warning's OK opens the options, where the user may switch the check off.
        const bool go = (identity.typeMatches && identity.capacityMatches) ||
                        (!o.checkDriveTypeAndCapacity.checked() && !identity.cancelled);
        if (!go)
            return;
    }

    TransferEngine& engine = workBar_->engine();
    engine.setJob(&job_);
    engine.setResult(&result.text());
    engine.setResultSaver([&result] { result.saveText(); });
    workBar_->noteLabel->hide();
    host_.showModal(*workBar_);
    PumpEvents();
    engine.setResult(nullptr);
    engine.setResultSaver(nullptr);

    if (engine.ran()) {
        const bool wanted = mode == kModeComparison
                                ? o.showComparisonResult.checked() || o.showTransferResult.checked()
                                : o.showTransferResult.checked();
        if (engine.resultWanted() && wanted)
            host_.showModal(result);
        // A comparison changes no value: the table (and its undo steps) stays as it is.
        if (mode != kModeComparison)
            host_.refreshTable();
    }
    engine.setJob(&job_); // the run is over
    host_.focusTableGrid();
}

void TransferCommands::runSelected(DriveCommand command) {
    if (!host_.commandItemEnabled(command) || !host_.tableActive())
        return;
    CommandGuard guard(kGuard);
    if (guard.busy())
        return;
    // As the whole-table commands: a failed connection is said before the special-setup check,
    // whose silent connect would grey the table's items and end the command without a word.
    if (!link_.ConnectDrive()) {
        ShowMsg(context_, MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok);
        host_.focusTableGrid();
        return;
    }
    checks_.CheckSpSetup();
    if (link_.specialSetup())
        return;
    if (command == DriveCommand::SelectedImport)
        host_.importSelected();
    else
        host_.exportSelected();
    host_.focusTableGrid();
}

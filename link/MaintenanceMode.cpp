#include "link/MaintenanceMode.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/CoreNotices.h"
#include "link/DriveChecks.h"
#include "link/TransferEngine.h"

namespace {

const QString kMasterGreeting = QStringLiteral("Hello, the master.");

void showBox(Asker& asker, const ProgramContext& context, const QString& text, BoxIcon icon) {
    asker.ask({text, context.texts.caption, icon, BoxButtons::Ok});
}

} // namespace

MaintenanceMode::MaintenanceMode(CommLink& link, Options& options, ProgramContext& context)
    : link_(link), options_(options), context_(context) {}

MaintenanceLevel MaintenanceMode::levelOf(const QString& password, const QString& masterWord) {
    if (password.isEmpty())
        return MaintenanceLevel::None;
    if (password == QLatin1String("(QWKM)") || password == QLatin1String("(qwkm)"))
        return MaintenanceLevel::Service;
    if (password == QLatin1String("9a07b3d"))
        return MaintenanceLevel::ServiceConfirmed;
    if (password == QLatin1String("5d1e8a6"))
        return MaintenanceLevel::ServiceOffline;
    if (password == QLatin1String("c73b29") || password == QLatin1String("8f02d4b") || password == masterWord)
        return MaintenanceLevel::Master;
    return MaintenanceLevel::None;
}

bool MaintenanceMode::writeAccessValue() {
    // Written means: the drive is connected and took the value. An earlier exchange's
    // success says nothing about this one.
    if (!link_.ConnectDrive())
        return false;
    return WriteAccessValue(link_, driveAccessValueText());
}

MaintenanceMode::Outcome MaintenanceMode::check(const QString& password, const QString& masterWord) {
    written_ = false;
    unlocked_ = false;
    const MaintenanceLevel level = levelOf(password, masterWord);
    const QString notWritten = u'\n' + Msg(context_, MsgId::AccessValueNotWritten);

    switch (level) {
    case MaintenanceLevel::None:
        ShowMsg(link_.asker(), context_, MsgId::PasswordIncorrect, BoxIcon::Stop, BoxButtons::Ok);
        return Outcome::Refused;
    case MaintenanceLevel::Service:
        written_ = writeAccessValue();
        showBox(link_.asker(), context_,
                Msg(context_, MsgId::MaintenanceEnabled) + (written_ ? QString() : notWritten),
                BoxIcon::Warning);
        unlock(false);
        return Outcome::Unlocked;
    case MaintenanceLevel::ServiceConfirmed:
        written_ = writeAccessValue();
        if (!written_) {
            ShowMsg(link_.asker(), context_, MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok);
            return Outcome::NotWritten;
        }
        showBox(link_.asker(), context_, Msg(context_, MsgId::MaintenanceEnabled), BoxIcon::Warning);
        unlock(false);
        return Outcome::Unlocked;
    case MaintenanceLevel::ServiceOffline:
        showBox(link_.asker(), context_, Msg(context_, MsgId::MaintenanceEnabled) + notWritten,
                BoxIcon::Warning);
        unlock(false);
        return Outcome::Unlocked;
    case MaintenanceLevel::Master:
        written_ = writeAccessValue();
        showBox(link_.asker(), context_, kMasterGreeting + (written_ ? QString() : notWritten),
                BoxIcon::Warning);
        unlock(true);
        return Outcome::Unlocked;
    }
    return Outcome::Refused;
}

void MaintenanceMode::unlock(bool master) {
    if (ParameterStore* store = context_.store)
        store->enterMaintenance(master);
    options_.useMaintenanceMode.setChecked(true);
    context_.tableView.lastIndex = context_.drive.lastIndex();
    if (master)
        options_.setMastersTabVisible(true);
    // Options whose use depends on the unlock (the keypad's RUN/STOP) are offered now.
    options_.UpdateRunStopControl();
    unlocked_ = true;
}

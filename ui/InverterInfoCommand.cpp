#include "ui/InverterInfoCommand.h"

#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/TransferEngine.h"
#include "monitor/InverterInfo.h"
#include "ui/PrompterAsker.h"
#include "ui/ResultWindow.h"

InverterInfoCommand::InverterInfoCommand(CommLink& link, DriveNames& names, ProgramContext& context,
                                         const Options& options, const MainWindowLinks& links)
    : link_(link), names_(names), context_(context), options_(options), links_(links) {}

void InverterInfoCommand::run(QWidget* owner) {
    if (!link_.ConnectDrive()) {
        ShowMsg(context_, MsgId::CannotConnect, BoxIcon::Warning, BoxButtons::Ok, owner);
        return;
    }
    // The result names its window and files after this job.
    TransferJob job;
    job.mode = kModeInverterInfo;
    ResultWindow result(context_, options_, link_.asker(), job, links_, owner);
    InverterInfo info(link_, names_, context_, link_.asker());
    // The trip history lines are named from the drive type's trip list.
    info.readInverterInfo(result.text(),
                          MonitorItemLists::read(context_.drive.files.infoIniPath,
                                                 context_.drive.identity.typeName, context_.language.suffix));
    showModal(result);
}

void InverterInfoCommand::tripReport(const MonitorItemLists& lists, bool show, QWidget* owner) {
    TransferJob job;
    job.mode = kModeTripInfo;
    ResultWindow result(context_, options_, link_.asker(), job, links_, owner);
    InverterInfo info(link_, names_, context_, link_.asker());
    // Without the section's lines there is no title for the trip data either.
    if (info.readInverterInfo(result.text(), lists)) {
        info.readTripData(result.text(), lists);
        if (show)
            showModal(result);
    }
}

#include "core/FileCommands.h"
#include "core/ProgramFolder.h"

#include "core/CsvExport.h"
#include "core/DriveData.h"
#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParaFile.h"
#include "core/ParameterFileChecks.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "platform/DialogTitle.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

#include <QFileInfo>

namespace {

const QString kKvr = QStringLiteral(".KVR");
const QString kCsv = QStringLiteral(".CSV");
const QString kCfg = QStringLiteral(".CFG");

// Formats are told apart by the last four characters of the name.
QString extensionOf(const QString& name) {
    return name.right(4).toUpper();
}

int filterCount(const QString& pipeFilter) {
    return qMax(1, int(pipeFilter.split(u'|').size() / 2));
}

} // namespace

FileCommands::FileCommands(ProgramContext& context, Options& options, FileCommandHost& host, Asker& asker)
    : context_(context), options_(options), host_(host), asker_(asker),
      cfgNames_(CfgFile::catalogueNames(context)) {
    updateFilters();
}

void FileCommands::updateFilters() {
    const ProgramContext& context = context_;
    const bool cfg = !context.drive.files.infoIniPath.isEmpty() &&
                     IniFile(context.drive.files.infoIniPath)
                         .readBool(QStringLiteral("Setup"), QStringLiteral("MLD_flt"), false);
    if (cfg) {
        openFilter_ = ParaFile::mainText(
            context_, QStringLiteral("OpenFile1M"),
            QStringLiteral("Parameter Datas (*.kvr)|*.kvr|RBN744M Config Data (*.cfg)|*.cfg|"
                           "All Files (*.*)|*.*"));
        saveFilter_ = ParaFile::mainText(
            context_, QStringLiteral("SaveFile1M"),
            QStringLiteral("Parameter Datas (*.kvr)|*.kvr|Parameter Table Datas (*.csv)|*.csv|"
                           "RBN744M Config Data (*.cfg)|*.cfg"));
    } else {
        openFilter_ = ParaFile::mainText(context_, QStringLiteral("OpenFile1"),
                                         QStringLiteral("Parameter Datas (*.kvr)|*.kvr|All Files (*.*)|*.*"));
        saveFilter_ = ParaFile::mainText(
            context_, QStringLiteral("SaveFile1"),
            QStringLiteral("Parameter Datas (*.kvr)|*.kvr|Parameter Table Datas (*.csv)|*.csv"));
    }
}

void FileCommands::openParameterFile() {
    if (!host_.openEnabled())
        return;
    CFG_CNum.clear();
    CFG_Val.clear();
    ProgramContext& context = context_;
    const QString path = asker_.chooseFile(
        {dialogTitle(ParaFile::mainText(context_, QStringLiteral("ToolB3"), QStringLiteral("Open"))),
         context.recent.openFolder, openFilter_, 1});
    if (path.isEmpty())
        return;
    const QString folder = Paths::folderOf(path);
    const QString name = Paths::fileNameOf(path);
    context.recent.openFolder = folder;
    CommentsChk = false;

    QStringList lines;
    QList<QByteArray> lineBytes;
    if (const std::optional<Notice> refusal =
            ParameterFileChecks::readLines(context_, path, lines, &lineBytes)) {
        asker_.ask(*refusal);
        return;
    }

    if (ParaFile::formOf(lines.value(0)) != ParaFile::Form::None) {
        // A file refused at any line leaves the table, the comment and the opened file as they were.
        const ParaFile::ReadOutcome r = ParaFile::read(context_, lines, asker_);
        if (r.result != ParaFile::ReadResult::Loaded)
            return;
        host_.setCommentText(r.comment);
        keepComment(r.comment, lineBytes.value(r.header.commentAt));
        reportOutOfLimits(r.taken);
        finishOpen(folder, name, r.header.type + r.header.driveForm);
        return;
    }
    if (!CfgFile::isConfigurationFile(lines)) {
        asker_.ask(MsgNotice(context_, MsgId::DataIncorrect, BoxIcon::Warning, BoxButtons::Ok));
        return;
    }
    // A file cut short or changed since it was written would load part of a set silently.
    if (!CfgFile::checksumMatches(lines, lineBytes) &&
        asker_.ask({Msg(context_, MsgId::ConfigChecksumMismatch) + u'\n' + path, context.texts.caption,
                    BoxIcon::Warning, BoxButtons::YesNoDefaultNo}) != BoxAnswer::Yes)
        return;
    const CfgFile::ReadOutcome r =
        CfgFile::ReadConfigurationXml(context_, lines, CFG_CNum, CFG_Val, cfgNames_, asker_);
    if (r.result == CfgFile::ReadResult::Loaded) {
        reportOutOfLimits(r.taken);
        finishOpen(folder, name, r.typeName + r.capacityName);
    }
}

void FileCommands::reportOutOfLimits(const QList<int>& taken) {
    if (const std::optional<Notice> outside = ParameterFileChecks::markOutOfLimits(context_, taken))
        asker_.ask(*outside);
}

void FileCommands::takeStartFileComment(const QString& commentLine, const QByteArray& lineBytes) {
    const QString comment = ParaFile::commentOfLine(commentLine);
    CommentsChk = commentLine != QLatin1String("No Comments.");
    CommentsBuff = comment;
    host_.setCommentText(comment);
    keepComment(comment, lineBytes);
}

void FileCommands::keepComment(const QString& comment, const QByteArray& lineBytes) {
    readComment_ = comment.isEmpty() || lineBytes.isEmpty() ? TextFile::KeptText{}
                                                            : TextFile::KeptText{comment, lineBytes};
}

void FileCommands::finishOpen(const QString& folder, const QString& name, const QString& identity) {
    ProgramContext& context = context_;
    context.recent.openedFolder = folder;
    context.recent.openedName = name;
    host_.setCaption(ParaFile::fileCaption(context_, name, identity));
    host_.refreshTable();
    host_.setSaveEnabled(true);
    host_.focusTableGrid();
}

void FileCommands::finishSave(const QString& folder) {
    ProgramContext& context = context_;
    host_.setCaption(ParaFile::fileCaption(context_, context.recent.saveName));
    context.recent.openedName = context.recent.saveName;
    context.recent.openedFolder = folder;
    host_.setSaveEnabled(true);
}

bool FileCommands::write(const QString& ext, const QString& path, bool withCsv) {
    WaitCursor wait;
    if (ext == kCfg)
        return CfgFile::WriteConfigurationXml(context_, path, asker_);
    const auto accept = [this](const QString& characters) {
        return host_.acceptUnwritableCharacters(characters);
    };
    if (withCsv && ext == kCsv)
        return CsvExport::WriteParameterTableCsv(context_, path, host_.tableRows(),
                                                 context_.language.decimalComma, asker_, accept);
    return ParaFile::WriteParameterFile(context_, path, host_.commentText(), host_.blindViewOn(),
                                        options_.saveChangedOnly.checked(), asker_, accept, readComment_);
}

void FileCommands::saveParameterFile() {
    if (!host_.saveEnabled())
        return;
    ProgramContext& context = context_;
    context.recent.saveFolder = context.recent.openFolder;
    context.recent.saveName = context.recent.openedName;
    QString folder = context.recent.openedFolder;
    if (context.recent.saveName.isEmpty()) {
        asker_.ask(MsgNotice(context_, MsgId::NoFileToOverwrite, BoxIcon::None, BoxButtons::Ok));
        return;
    }
    QString ext = extensionOf(context.recent.saveName);
    if (ext == kCfg) {
        // A configuration file is never overwritten unasked.
        const QString path = asker_.chooseSaveFile(
            {dialogTitle(ParaFile::mainText(context_, QStringLiteral("ToolB4"), QStringLiteral("Save"))),
             saveDialogFolder_, saveFilter_, qMin(3, filterCount(saveFilter_))},
            context.recent.saveName, nullptr);
        if (path.isEmpty())
            return;
        folder = Paths::folderOf(path);
        context.recent.saveFolder = folder;
        context.recent.saveName = Paths::fileNameOf(path);
        saveDialogName_ = context.recent.saveName;
        if (context.recent.saveName.isEmpty())
            return;
        ext = extensionOf(context.recent.saveName);
    }
    const bool ok = write(ext, Paths::join(folder, context.recent.saveName), false);
    if (ok && (ext == kCfg || ext == kKvr))
        finishSave(folder);
    host_.focusTableGrid();
}

void FileCommands::saveParameterFileAs() {
    if (!host_.saveAsEnabled())
        return;
    ProgramContext& context = context_;
    const QString current = extensionOf(context.recent.saveName);
    const int preselected = qMin(current == kCsv ? 2 : current == kCfg ? 3 : 1, filterCount(saveFilter_));
    int chosen = preselected;
    const QString path = asker_.chooseSaveFile(
        {dialogTitle(ParaFile::mainText(context_, QStringLiteral("ToolB5"), QStringLiteral("Save As"))),
         context.recent.openFolder, saveFilter_, preselected},
        saveDialogName_, &chosen);
    if (path.isEmpty())
        return;
    saveDialogFolder_ = context.recent.openFolder;
    QString name = Paths::fileNameOf(path);
    saveDialogName_ = name;
    const QString folder = Paths::folderOf(path);
    context.recent.saveFolder = folder;
    context.recent.saveName = name;
    if (name.isEmpty())
        return;

    QString ext = extensionOf(name);
    if (ext != kKvr && ext != kCsv && ext != kCfg) {
        ext = chosen == 2 ? kCsv : chosen == 3 ? kCfg : kKvr;
        name += ext.toLower();
        // The dialog asked about the name as typed; the file written has another name.
        if (QFileInfo::exists(Paths::join(folder, name))) {
            const QString text =
                ParaFile::mainText(context_, QStringLiteral("OverWrite"),
                                   QStringLiteral("%1 already exists.\nDo you want to replace it?"))
                    .arg(name);
            if (asker_.ask({text, context.texts.caption, BoxIcon::Warning, BoxButtons::YesNo}) !=
                BoxAnswer::Yes)
                return;
        }
        context.recent.saveName = name;
    }
    const bool ok = write(ext, Paths::join(folder, name), true);
    if (ok && (ext == kCfg || ext == kKvr))
        finishSave(folder);
    host_.focusTableGrid();
}

void FileCommands::quitAfterNew() {
    // The main window's close handler does not run on this way out; keep the folders.
    ProgramFolder::StoreSavedPaths(context_);
    host_.quitApplication();
}

void FileCommands::newParameterSet() {
    if (!host_.newEnabled())
        return;
    ProgramContext& context = context_;
    host_.clearPortMessageShown();
    for (;;) {
        host_.runStartupForm();
        asker_.letEventsThrough();
        // With nothing chosen the loaders would only ask for files of a program about to end.
        const DriveFileDialog chooser = host_.missingFileDialog();
        const DriveLoad load = LoadDriveData(context, asker_, chooser);
        if (load == DriveLoad::Aborted) {
            quitAfterNew();
            return;
        }
        if (load == DriveLoad::Loaded)
            break;
        // Drive data whose working values cannot be computed: choose again.
    }

    host_.setCaption(ParaFile::captionBase(context));
    updateFilters();
    host_.setSaveEnabled(false);

    ParameterStore* p = context.store;
    Options& o = options_;
    if (p && p->maintenance() && o.newSetEndsMaintenance.checked()) {
        p->leaveMaintenance();
        o.setMastersTabVisible(false);
        o.showBufferTable.setChecked(false);
        context.tableView.lastIndex = context.drive.normalLastIndex;
    } else if (p && p->maintenance()) {
        context.tableView.lastIndex = context.drive.lastIndex();
    } else {
        context.tableView.lastIndex = context.drive.normalLastIndex;
    }
    context.tableView.lastIndex = qMin(context.tableView.lastIndex, context.drive.lastIndex());

    if (!o.startWithLastDrive.checked())
        host_.reloadCommSettings();
    host_.rearmSpecialSetupWarning();
    CommentsChk = false;
    CommentsBuff.clear();
    context.tableView.blindOn = false;
    context.tableView.blindCount = 0;

    host_.refreshTable();
    o.UpdateTripAlarmOptions();
    host_.rebuildMonitor();
    host_.showTable();
    host_.applyDriveTypeCommands();
}

#include "link/ResultText.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParaFile.h"
#include "core/ProgramContext.h"
#include "link/TransferEngine.h"
#include "platform/DialogTitle.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

#include <QFileInfo>

void ResultText::replaceFirstLine(const QString& line) {
    if (lines_.isEmpty())
        lines_ << line;
    else
        lines_[0] = line;
}

QString automaticResultFileName(const QString& folder, const QDateTime& when) {
    const QString name = QStringLiteral("%1d%2h%3m%4s.txt")
                             .arg(when.date().day())
                             .arg(when.time().hour())
                             .arg(when.time().minute())
                             .arg(when.time().second());
    return Paths::join(folder, name);
}

namespace {

QString languageFile(const ProgramContext& context) {
    return Paths::resolvedOrAsGiven(context.language.iniPath);
}

} // namespace

ResultTexts ResultTexts::forMode(const ProgramContext& context, int transferMode) {
    const IniFile lang(languageFile(context));
    auto rep = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("WorkingRep"), QLatin1String(key), QLatin1String(def));
    };
    ResultTexts t;
    switch (transferMode) {
    case kModeImport:
        t.caption = rep("FormIm", "Import Result");
        break;
    case kModeExport:
        t.caption = rep("FormEx", "Export Result");
        break;
    case kModeComparison:
        t.caption = rep("FormComp", "Comparison Result");
        break;
    case kModeInverterInfo:
        t.caption = rep("FormInfo", "Inverter Information");
        break;
    default:
        t.caption = rep("FormTrip", "Trip Information");
        break;
    }
    t.printButton = rep("Button1", "Print");
    t.saveButton = rep("Button2", "Save");
    t.filter = transferMode == kModeInverterInfo ? rep("SaveFile2", "Inverter Information (*.txt)|*.txt")
                                                 : rep("SaveFile1", "Communication Result (*.txt)|*.txt");
    t.saveTitle = dialogTitle(
        lang.readString(QStringLiteral("Main"), QStringLiteral("Menu14"), QStringLiteral("Save As")));
    t.printTitle = rep("Title", "KVR260X");
    return t;
}

bool SaveResultLines(const ProgramContext& context, const Options& options, const QStringList& lines,
                     int transferMode, const QDateTime& now, Asker& asker) {
    const CheckOption& autoSave = options.saveTransferResult;
    QString path;
    if (autoSave.enabled() && autoSave.checked() && transferMode != kModeInverterInfo) {
        path = automaticResultFileName(context.paths.programFolder, now);
    } else {
        const ResultTexts t = ResultTexts::forMode(context, transferMode);
        path =
            asker.chooseSaveFile({t.saveTitle, context.paths.programFolder, t.filter, 1}, QString(), nullptr);
        if (path.isEmpty())
            return false;
        if (!QFileInfo(path).fileName().contains(u'.'))
            path += QStringLiteral(".txt");
    }
    WaitCursor wait;
    const auto accept = [&](const QString& characters) {
        return asker.ask({UnwritableCharactersQuestion(context, characters), context.texts.caption,
                          BoxIcon::Warning, BoxButtons::YesNo}) == BoxAnswer::Yes;
    };
    // A failure is reported, and the caller (the transfer engine's end of run) goes on.
    return ParaFile::writeForOthers(context, path, TextFile::encodeLines(lines), accept, asker);
}

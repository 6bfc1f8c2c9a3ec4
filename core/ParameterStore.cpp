#include "core/ParameterStore.h"

#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace {

// Shown before any language file is loaded, so they cannot come from one.
const char* const kConfirmation = "Confirmation";
const char* const kLanguageMissing = "Not found Language data file.";
const char* const kLanguageInvalid = "Selected Language data file is not valid.";
const char* const kLanguageFilter = "Language Data (*.ini)|*.ini|All Files (*.*)|*.*";

QString closedText() {
    return QString::fromLatin1(kProductName) + QStringLiteral(" is closed.");
}

void notice(Asker& asker, const QString& text) {
    asker.ask({text, QString::fromLatin1(kConfirmation), BoxIcon::Warning, BoxButtons::Ok});
}

// The language file at its full path, else under the same name in LanguageFolder.
QString findLanguageFile(const ProgramContext& context) {
    if (context.LanguageIniPath.isEmpty())
        return QString();
    QString found = Paths::resolve(context.LanguageIniPath);
    if (found.isEmpty() && !context.LanguageFolder.isEmpty())
        found =
            Paths::resolve(Paths::join(context.LanguageFolder, Paths::fileNameOf(context.LanguageIniPath)));
    return found;
}

} // namespace

const QStringList& paraDatColumnNames() {
    static const QStringList names{"ComNo", "DIndex", "Default", "FName", "FTitle", "Unit",
                                   "Byte",  "Sign",   "HIndex",  "High",  "LIndex", "Low",
                                   "TMul",  "Mul",    "Memory",  "Flag",  "Quick",  "Current/VoltIndex",
                                   "No"};
    return names;
}

const QStringList& uParaColumnNames() {
    static const QStringList names{"Value",          "HValue",       "LValue",     "ChangeIndex",
                                   "WriteIndex",     "HexIndex",     "BlindIndex", "SelectIndex",
                                   "OneSelectIndex", "CommErrIndex", "No"};
    return names;
}

ParameterStore::ParameterStore() = default;

void ParameterStore::FormCreate(ProgramContext& context, Asker& asker) {
    if (context.StartupAbort)
        return;
    UPara.setRowCount(3000);

    QString path = findLanguageFile(context);
    if (path.isEmpty()) {
        notice(asker, QString::fromLatin1(kLanguageMissing));
        asker.letEventsThrough();
        const QString chosen = asker.chooseFile(
            {QStringLiteral("Open"), context.LanguageFolder, QString::fromLatin1(kLanguageFilter), 1});
        if (chosen.isEmpty()) {
            notice(asker, closedText());
            context.StartupAbort = true;
            return;
        }
        context.LanguageFolder = Paths::folderOf(Paths::normalize(chosen));
        context.LanguageIniPath = Paths::join(context.LanguageFolder, Paths::fileNameOf(chosen));
        path = Paths::resolve(context.LanguageIniPath);
        if (path.isEmpty())
            path = context.LanguageIniPath; // read as an empty file below, which is refused
    }

    const IniFile ini(path);
    const QString general = QStringLiteral("General");
    MsgSec = ini.keys(general);
    Messages.clear();
    if (MsgSec.isEmpty()) {
        notice(asker, QString::fromLatin1(kLanguageInvalid) + QLatin1Char('\n') + closedText());
        context.StartupAbort = true;
        return;
    }
    for (const QString& key : std::as_const(MsgSec))
        Messages << ini.readString(general, key, QStringLiteral("-"));
    context.MsgCaption = Msg(MsgId::Caption);
    context.MsgEmptyInput = Msg(MsgId::DataIncorrect);
}

QString ParameterStore::Msg(int n) const {
    return n >= 0 && n < Messages.size() ? Messages[n] : QString();
}

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

// The language file at its full path, else under the same name in the language folder.
QString findLanguageFile(const ProgramContext& context) {
    if (context.language.iniPath.isEmpty())
        return QString();
    QString found = Paths::resolve(context.language.iniPath);
    if (found.isEmpty() && !context.language.folder.isEmpty())
        found =
            Paths::resolve(Paths::join(context.language.folder, Paths::fileNameOf(context.language.iniPath)));
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

void ParameterStore::loadLanguageTexts(ProgramContext& context, Asker& asker) {
    if (context.startupAborted)
        return;
    UPara.setRowCount(3000);

    QString path = findLanguageFile(context);
    if (path.isEmpty()) {
        notice(asker, QString::fromLatin1(kLanguageMissing));
        asker.letEventsThrough();
        const QString chosen = asker.chooseFile(
            {QStringLiteral("Open"), context.language.folder, QString::fromLatin1(kLanguageFilter), 1});
        if (chosen.isEmpty()) {
            notice(asker, closedText());
            context.startupAborted = true;
            return;
        }
        context.language.folder = Paths::folderOf(Paths::normalize(chosen));
        context.language.iniPath = Paths::join(context.language.folder, Paths::fileNameOf(chosen));
        path = Paths::resolve(context.language.iniPath);
        if (path.isEmpty())
            path = context.language.iniPath; // read as an empty file below, which is refused
    }

    const IniFile ini(path);
    const QString general = QStringLiteral("General");
    MsgSec = ini.keys(general);
    Messages.clear();
    if (MsgSec.isEmpty()) {
        notice(asker, QString::fromLatin1(kLanguageInvalid) + QLatin1Char('\n') + closedText());
        context.startupAborted = true;
        return;
    }
    for (const QString& key : std::as_const(MsgSec))
        Messages << ini.readString(general, key, QStringLiteral("-"));
    context.texts.caption = Msg(MsgId::Caption);
    context.texts.dataIncorrect = Msg(MsgId::DataIncorrect);
}

QString ParameterStore::Msg(int n) const {
    return n >= 0 && n < Messages.size() ? Messages[n] : QString();
}

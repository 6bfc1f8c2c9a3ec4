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

// Room for the largest drive type before one is loaded.
constexpr int kWorkingRoom = 2999;

ParameterStore::ParameterStore() : working_(kWorkingRoom) {}

const WorkingParameter* ParameterStore::working(int index) const {
    return index >= 0 && index < workingCount() ? &working_[std::size_t(index)] : nullptr;
}

WorkingParameter* ParameterStore::working(int index) {
    return index >= 0 && index < workingCount() ? &working_[std::size_t(index)] : nullptr;
}

namespace {

// The flag a text column holds; null for the other columns. W is WorkingParameter, const or not.
template <class W> auto flagOf(W& w, int col) -> decltype(&w.changed) {
    switch (col) {
    case UP_ChangeIndex:
        return &w.changed;
    case UP_WriteIndex:
        return &w.toWrite;
    case UP_HexIndex:
        return &w.hex;
    case UP_BlindIndex:
        return &w.blind;
    case UP_SelectIndex:
        return &w.selected;
    case UP_OneSelectIndex:
        return &w.picked;
    default:
        return nullptr;
    }
}

QString flagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString ParameterStore::workingText(int col, int index) const {
    const WorkingParameter* w = working(index);
    if (!w)
        return QString();
    switch (col) {
    case UP_Value:
        return w->value;
    case UP_HValue:
        return w->high;
    case UP_LValue:
        return w->low;
    case UP_CommErrIndex:
        return flagText(w->lastTransfer == LastTransfer::Failed);
    case UP_No:
        return QString::number(index);
    default:
        if (const bool* flag = flagOf(*w, col))
            return flagText(*flag);
        return QString();
    }
}

void ParameterStore::setWorkingText(int col, int index, const QString& text) {
    WorkingParameter* w = working(index);
    if (!w)
        return;
    const bool on = text == QLatin1String("1");
    switch (col) {
    case UP_Value:
        w->value = text;
        break;
    case UP_HValue:
        w->high = text;
        break;
    case UP_LValue:
        w->low = text;
        break;
    case UP_CommErrIndex:
        w->lastTransfer = on ? LastTransfer::Failed : LastTransfer::Clear;
        break;
    default:
        if (bool* flag = flagOf(*w, col))
            *flag = on;
    }
}

TextGrid ParameterStore::workingGrid() const {
    TextGrid grid(UP_ColCount, workingCount() + 1);
    grid.setRow(0, uParaColumnNames());
    for (int i = 0; i < workingCount(); ++i)
        for (int c = 0; c < UP_ColCount; ++c)
            grid.setCell(c, i + 1, workingText(c, i));
    return grid;
}

void ParameterStore::loadLanguageTexts(ProgramContext& context, Asker& asker) {
    if (context.startupAborted)
        return;
    resizeWorking(kWorkingRoom);

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
    messageKeys_ = ini.keys(general);
    messages_.clear();
    if (messageKeys_.isEmpty()) {
        notice(asker, QString::fromLatin1(kLanguageInvalid) + QLatin1Char('\n') + closedText());
        context.startupAborted = true;
        return;
    }
    for (const QString& key : std::as_const(messageKeys_))
        messages_ << ini.readString(general, key, QStringLiteral("-"));
    context.texts.caption = Msg(MsgId::Caption);
    context.texts.dataIncorrect = Msg(MsgId::DataIncorrect);
}

QString ParameterStore::Msg(int n) const {
    return n >= 0 && n < messages_.size() ? messages_[n] : QString();
}

void ParameterStore::enterMaintenance(bool master) {
    maintenance_ = true;
    if (master)
        superMaintenance_ = true;
}

void ParameterStore::leaveMaintenance() {
    maintenance_ = false;
    superMaintenance_ = false;
}

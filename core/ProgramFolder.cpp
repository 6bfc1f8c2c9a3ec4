#include "core/ProgramFolder.h"

#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QDir>
#include <algorithm>

namespace ProgramFolder {

namespace {

const QString kLanguage = QStringLiteral("Language");

QString product() {
    return QString::fromLatin1(kProductName);
}

} // namespace

void setProgramFolder(ProgramContext& context, const QString& folder) {
    context.ProgramFolder = folder;
    while (context.ProgramFolder.size() > 1 && context.ProgramFolder.endsWith(u'/'))
        context.ProgramFolder.chop(1);
    context.LanguageFolder = Paths::join(context.ProgramFolder, QStringLiteral("lng"));
    context.SettingsIniPath = Paths::join(context.ProgramFolder, product() + ".ini");
    context.CatalogueIniPath = Paths::join(context.ProgramFolder, QStringLiteral("dat/Inverter.ini"));
}

std::optional<Notice> seedLanguageSection(ProgramContext& context) {
    IniFile ini(context.SettingsIniPath);
    if (ini.readInteger(kLanguage, QStringLiteral("Japanese"), 999) != 999)
        return std::nullopt;
    ini.writeInteger(kLanguage, QStringLiteral("Japanese"), 0);
    ini.writeInteger(kLanguage, QStringLiteral("English"), 0);
    QString error;
    if (ini.flush(&error))
        return std::nullopt;
    // Every choice made later would be lost: say so once and stop.
    context.StartupAbort = true;
    return Notice{
        QStringLiteral("Cannot write the settings file %1.\n%2").arg(context.SettingsIniPath, error),
        product(), BoxIcon::Error, BoxButtons::Ok};
}

void LoadSavedPaths(ProgramContext& context) {
    const IniFile ini(context.SettingsIniPath);
    context.SavePath = Paths::normalize(
        ini.readString(QStringLiteral("File"), QStringLiteral("SavePath"), context.ProgramFolder));
    context.LoadPath = Paths::normalize(
        ini.readString(QStringLiteral("File"), QStringLiteral("LoadPath"), context.ProgramFolder));
    context.MonPath = Paths::normalize(
        ini.readString(QStringLiteral("Monitor"), QStringLiteral("MonPath"), context.ProgramFolder));
    context.CurrentFileName.clear();
    context.OpenedFileName.clear();
    context.MonFileName.clear();
}

void StoreSavedPaths(const ProgramContext& context) {
    if (context.SettingsIniPath.isEmpty())
        return;
    IniFile ini(context.SettingsIniPath);
    ini.writeString(QStringLiteral("File"), QStringLiteral("SavePath"), context.SavePath);
    ini.writeString(QStringLiteral("File"), QStringLiteral("LoadPath"), context.LoadPath);
    ini.writeString(QStringLiteral("Monitor"), QStringLiteral("MonPath"), context.MonPath);
    ini.flush();
}

// The association is always the user's own on this system: the newer systems' branch.
void DetectNewWindows(ProgramContext& context) {
    context.OsMajor6OrLater = true;
}

void cpuVersionsOf(const QString& dataFolder, const QString& typeName, QStringList& names,
                   QStringList& numbers) {
    names.clear();
    numbers.clear();
    QDir dir(dataFolder);
    QStringList folders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(folders.begin(), folders.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    for (const QString& f : std::as_const(folders)) {
        const int v = f.lastIndexOf(QLatin1String("(V"));
        // The part before the CPU version must be the type name itself, not merely as long.
        if (v < 0 || f.left(v) != typeName)
            continue;
        QString cpu = f.mid(v + 1);
        const int close = cpu.indexOf(u')');
        if (close >= 0)
            cpu.remove(close, 1);
        names << cpu;
        numbers << cpu.mid(1);
    }
}

} // namespace ProgramFolder

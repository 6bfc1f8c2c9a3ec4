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
    context.paths.programFolder = folder;
    while (context.paths.programFolder.size() > 1 && context.paths.programFolder.endsWith(u'/'))
        context.paths.programFolder.chop(1);
    context.language.folder = Paths::join(context.paths.programFolder, QStringLiteral("lng"));
    context.paths.settingsIni = Paths::join(context.paths.programFolder, product() + ".ini");
    context.paths.catalogueIni = Paths::join(context.paths.programFolder, QStringLiteral("dat/Inverter.ini"));
}

std::optional<Notice> seedLanguageSection(ProgramContext& context) {
    IniFile ini(context.paths.settingsIni);
    if (ini.readInteger(kLanguage, QStringLiteral("Japanese"), 999) != 999)
        return std::nullopt;
    ini.writeInteger(kLanguage, QStringLiteral("Japanese"), 0);
    ini.writeInteger(kLanguage, QStringLiteral("English"), 0);
    QString error;
    if (ini.flush(&error))
        return std::nullopt;
    // Every choice made later would be lost: say so once and stop.
    context.startupAborted = true;
    return Notice{
        QStringLiteral("Cannot write the settings file %1.\n%2").arg(context.paths.settingsIni, error),
        product(), BoxIcon::Error, BoxButtons::Ok};
}

void LoadSavedPaths(ProgramContext& context) {
    const IniFile ini(context.paths.settingsIni);
    context.recent.saveFolder = Paths::normalize(
        ini.readString(QStringLiteral("File"), QStringLiteral("SavePath"), context.paths.programFolder));
    context.recent.openFolder = Paths::normalize(
        ini.readString(QStringLiteral("File"), QStringLiteral("LoadPath"), context.paths.programFolder));
    context.recent.monitorFolder = Paths::normalize(
        ini.readString(QStringLiteral("Monitor"), QStringLiteral("MonPath"), context.paths.programFolder));
    context.recent.saveName.clear();
    context.recent.openedName.clear();
    context.recent.monitorName.clear();
}

void StoreSavedPaths(const ProgramContext& context) {
    if (context.paths.settingsIni.isEmpty())
        return;
    IniFile ini(context.paths.settingsIni);
    ini.writeString(QStringLiteral("File"), QStringLiteral("SavePath"), context.recent.saveFolder);
    ini.writeString(QStringLiteral("File"), QStringLiteral("LoadPath"), context.recent.openFolder);
    ini.writeString(QStringLiteral("Monitor"), QStringLiteral("MonPath"), context.recent.monitorFolder);
    ini.flush();
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

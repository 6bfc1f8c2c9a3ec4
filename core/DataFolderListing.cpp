#include "core/DataFolderListing.h"

#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

DataFolderListing listDataFolder(const QString& folderPath) {
    DataFolderListing listing;
    const QString found = Paths::resolve(folderPath);
    if (found.isEmpty() || !QFileInfo(found).isDir())
        return listing;
    const QString prefix = QLatin1String(kModelPrefix);
    const QFileInfoList entries = QDir(found).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        listing.entries << name;
        if (entry.isDir() && name.left(prefix.size()).toUpper() == prefix)
            listing.modelFolders << name;
    }
    return listing;
}

QString configuredDataFolder(const ProgramContext& context) {
    const IniFile settings(context.paths.settingsIni);
    const QString folder = Paths::normalize(
        settings.readString(QStringLiteral("Options"), QStringLiteral("DF"), QStringLiteral("\\dat")));
    return Paths::join(context.paths.programFolder, folder);
}

#include "core/DriveIdentity.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace {

const QString kTypeSection = QStringLiteral("Type");

// The key of `section` whose value (default `def`) is `code`, else `missing`.
QString keyWithValue(const IniFile& ini, const QString& section, const QString& def, const QString& code,
                     const QString& missing) {
    for (const QString& key : ini.keys(section))
        if (ini.readString(section, key, def) == code)
            return key;
    return missing;
}

} // namespace

QString typeFolderIn(const QString& dataFolder, const QString& typeName, const QString& cpuVersion) {
    return Paths::join(dataFolder, typeName + u'(' + cpuVersion + u')');
}

QString infoIniIn(const QString& typeFolder) {
    return Paths::join(typeFolder, QStringLiteral("Info.ini"));
}

DriveLocation locateDrive(const DriveSources& sources, const QString& typeName, const QString& formName,
                          const QString& cpuVersion) {
    DriveLocation found;
    DriveIdentity& id = found.identity;
    id.typeName = typeName;
    id.formName = formName;
    id.cpuVersion = cpuVersion;
    const IniFile catalogue(sources.catalogueIniPath);
    id.typeCode = catalogue.readString(kTypeSection, typeName, sources.unlistedTypeCode);
    id.formCode = catalogue.readString(typeName, formName, sources.unlistedFormCode);
    id.cpuNumber = cpuVersion.mid(1);

    DriveFiles& files = found.files;
    files.typeFolder = typeFolderIn(sources.dataFolder, typeName, cpuVersion);
    files.capacityFolder = files.typeFolder;
    files.infoIniPath = infoIniIn(files.typeFolder);
    return found;
}

DriveIdentity namesOfCodes(const QString& catalogueIniPath, const std::optional<QString>& knownTypeName,
                           qint64 typeCode, qint64 formCode, qint64 cpuValue) {
    const IniFile catalogue(catalogueIniPath);
    DriveIdentity id;
    id.typeName = knownTypeName ? *knownTypeName
                                : keyWithValue(catalogue, kTypeSection, QStringLiteral("99"),
                                               QString::number(typeCode), QStringLiteral("****"));
    id.formName = keyWithValue(catalogue, id.typeName, QStringLiteral("0"), QString::number(formCode),
                               QStringLiteral("-****"));
    id.cpuVersion = cpuValue >= 0 ? QStringLiteral("V") + QString::number(cpuValue) : QStringLiteral("V***");
    return id;
}

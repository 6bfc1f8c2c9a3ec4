#pragma once
// Works out a drive's identity and folders from its names. Every place that settles the drive
// (the start-up form, a parameter file given at start, the file choosers of the loaders, the
// search for a drive) asks here, so the catalogue and the folder layout are read one way.
#include "core/LoadedDrive.h"

#include <QString>

#include <optional>

// Where the drive data lie, and the codes of a drive the catalogue does not list.
struct DriveSources {
    QString dataFolder;       // holds one folder "<type>(<CPU version>)" per drive type
    QString catalogueIniPath; // read as given: "Type": type -> code, <type>: capacity -> code
    QString unlistedTypeCode = QStringLiteral("99");
    QString unlistedFormCode = QStringLiteral("0");
};

struct DriveLocation {
    DriveIdentity identity;
    DriveFiles files; // the type and capacity files are named by their loaders
};

// The identity (names as given, catalogue codes, CPU number) and the folders of the drive type
// `typeName` with capacity `formName` and CPU version `cpuVersion` ("V" and its number).
DriveLocation locateDrive(const DriveSources& sources, const QString& typeName, const QString& formName,
                          const QString& cpuVersion);

// The folder of a drive type and CPU version below the data folder: "<type>(<CPU version>)".
QString typeFolderIn(const QString& dataFolder, const QString& typeName, const QString& cpuVersion);

// Info.ini of a drive-type folder.
QString infoIniIn(const QString& typeFolder);

// The names the catalogue gives the codes a drive answered: type and capacity codes looked up
// the other way, "****" and "-****" where the catalogue has none. A type name known otherwise is
// kept; a negative `cpuValue` means none was read ("V***").
DriveIdentity namesOfCodes(const QString& catalogueIniPath, const std::optional<QString>& knownTypeName,
                           qint64 typeCode, qint64 formCode, qint64 cpuValue);

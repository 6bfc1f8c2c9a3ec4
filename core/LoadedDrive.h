#pragma once
// The loaded drive: who it is, where its files are, and its parameter definitions parsed
// once into typed rows. One loader builds it and it is replaced whole; nobody re-reads a
// size, a sign or a count from text.
#include <QString>
#include <QStringList>

#include <vector>

// The drive type, capacity and CPU version chosen at start-up (from the drive or by the
// user), with their catalogue codes.
struct DriveIdentity {
    QString typeName;   // "HX..." drive type
    QString formName;   // the capacity name, beginning with "-"
    QString cpuVersion; // "V0102"
    QString typeCode;   // catalogue codes, as the configuration file writes them
    QString formCode;
    QString cpuNumber; // cpuVersion less its first character
};

// Where the drive type's data lies ("/" separated).
struct DriveFiles {
    QString typeFolder;
    QString capacityFolder;
    QString infoIniPath;
    QString typeFile;
    QString capacityFile;
};

// One parameter of the drive type, as its type file defines it.
struct ParameterDefinition {};

struct LoadedDrive {
    DriveIdentity identity;
    DriveFiles files;
};

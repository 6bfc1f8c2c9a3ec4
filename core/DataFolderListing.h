#pragma once
// What the data folder holds, as the about box lists it: every entry one level deep, in
// name order ignoring case (the order the data were made in, whatever the file system
// returns), and the drive-model folders among them.
#include <QString>
#include <QStringList>

struct ProgramContext;

struct DataFolderListing {
    QStringList entries;      // files and folders alike, hidden ones included
    QStringList modelFolders; // folders whose name begins with the model prefix, any case
};

// The listing of a folder; empty when it does not exist (nothing is reported).
DataFolderListing listDataFolder(const QString& folderPath);

// The data folder of the settings ("Options", "DF", default "\dat") below the program folder.
QString configuredDataFolder(const ProgramContext& context);

// The data folder's listing for the about box: every entry in name order ignoring case, the
// model folders among them, and nothing at all for a folder that is not there.
#include "core/DataFolderListing.h"

#include "core/ProgramContext.h"
#include "support/TempProgramFolder.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

TEST(DataFolderListing, ListsEveryEntryByNameAndTheModelFoldersAmongThem) {
    TempProgramFolder folder;
    for (const char* d : {"Misc", "HXB3(V120)", "hxa1(V100)", "HXB3(V110)", "XY1(V100)"})
        QDir().mkpath(folder.filePath(QStringLiteral("dat/") + QLatin1String(d)));
    folder.writeFile(QStringLiteral("dat/Inverter.ini"), "[Type]\r\n");
    folder.writeFile(QStringLiteral("dat/HX-notes.txt"), "a file, not a model\r\n");

    const DataFolderListing l = listDataFolder(folder.filePath(QStringLiteral("dat")));
    EXPECT_EQ(l.entries, QStringList({"HX-notes.txt", "hxa1(V100)", "HXB3(V110)", "HXB3(V120)",
                                      "Inverter.ini", "Misc", "XY1(V100)"}));
    EXPECT_EQ(l.modelFolders, QStringList({"hxa1(V100)", "HXB3(V110)", "HXB3(V120)"}));
}

TEST(DataFolderListing, AMissingFolderListsNothing) {
    TempProgramFolder folder;
    const DataFolderListing l = listDataFolder(folder.filePath(QStringLiteral("nowhere")));
    EXPECT_TRUE(l.entries.isEmpty());
    EXPECT_TRUE(l.modelFolders.isEmpty());
}

TEST(DataFolderListing, TheDataFolderIsTheSettingsOneBelowTheProgramFolder) {
    TempProgramFolder folder;
    ProgramContext context;
    context.paths.programFolder = folder.path();
    context.paths.settingsIni = folder.settingsIniPath();
    EXPECT_EQ(configuredDataFolder(context), folder.filePath(QStringLiteral("dat")));
    folder.writeFile(QStringLiteral("KVR260X.ini"), "[Options]\r\nDF=\\models\\current\r\n");
    EXPECT_EQ(configuredDataFolder(context), folder.filePath(QStringLiteral("models/current")));
}

} // namespace

// A drive's identity and folders from its names: the catalogue codes with the caller's codes for
// what it does not list, and the folders below the data folder.
#include "core/DriveIdentity.h"

#include "support/TempProgramFolder.h"

#include <gtest/gtest.h>

namespace {

struct LocateRow {
    const char* name;
    QString type, form;
    bool callerFallback; // else the catalogue's own "99" and "0"
    QString typeCode, formCode;
};

class LocateDrive : public ::testing::TestWithParam<LocateRow> {};

TEST_P(LocateDrive, TakesTheCataloguesCodesElseTheFallback) {
    const LocateRow& row = GetParam();
    TempProgramFolder folder;
    DriveSources sources{
        folder.filePath(QStringLiteral("dat")),
        folder.writeFile(QStringLiteral("dat/Inverter.ini"), "[Type]\r\nHXA1=41\r\n[HXA1]\r\n-4037=13\r\n")};
    if (row.callerFallback) {
        sources.unlistedTypeCode = QStringLiteral("Not_Support_Type");
        sources.unlistedFormCode = QStringLiteral("Not_Support_Form");
    }
    const DriveLocation found = locateDrive(sources, row.type, row.form, QStringLiteral("V720"));
    EXPECT_EQ(found.identity.typeName, row.type);
    EXPECT_EQ(found.identity.formName, row.form);
    EXPECT_EQ(found.identity.typeCode, row.typeCode);
    EXPECT_EQ(found.identity.formCode, row.formCode);
    EXPECT_EQ(found.identity.cpuNumber, QStringLiteral("720"));
    const QString typeFolder = folder.filePath(QStringLiteral("dat/") + row.type + QStringLiteral("(V720)"));
    EXPECT_EQ(found.files.typeFolder, typeFolder);
    EXPECT_EQ(found.files.capacityFolder, typeFolder);
    EXPECT_EQ(found.files.infoIniPath, typeFolder + QStringLiteral("/Info.ini"));
    EXPECT_TRUE(found.files.typeFile.isEmpty() && found.files.capacityFile.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(DriveIdentity, LocateDrive,
                         ::testing::Values(LocateRow{"Listed", "HXA1", "-4037", false, "41", "13"},
                                           LocateRow{"CapacityUnlisted", "HXA1", "-0750", false, "41", "0"},
                                           LocateRow{"TypeUnlisted", "HXZ9", "-4037", false, "99", "0"},
                                           LocateRow{"UnlistedWithTheCallersCodes", "HXZ9", "-4037", true,
                                                     "Not_Support_Type", "Not_Support_Form"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

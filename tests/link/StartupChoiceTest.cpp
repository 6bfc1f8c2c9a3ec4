// The start-up form's rules without its window: the lists it offers, what it preselects and
// what its close hands to the program.
#include "link/StartupChoice.h"

#include "support/InstalledAsker.h"
#include "support/StartupChoiceFixture.h"

namespace {

const QStringList kShippedTypes{"HXA1", "HXB3"};

using StartupChoiceTest = StartupChoiceFixture;

TEST_F(StartupChoiceTest, FirstStartOffersJapaneseFirstAndTheFirstDriveWithoutABox) {
    seedLanguages();
    StartupChoice c(context, installedAsker(), startup());
    ASSERT_TRUE(c.loadChoices());

    EXPECT_EQ(c.languages(), QStringList({"Japanese", "English"}));
    EXPECT_EQ(c.selection().language, 0);
    EXPECT_EQ(context.texts.caption, QString::fromUtf8("確認"));
    EXPECT_EQ(c.typeNames(), kShippedTypes);
    EXPECT_EQ(c.typeCodes(), QStringList({"41", "52"}));
    EXPECT_EQ(c.selection().type, 0);
    EXPECT_EQ(c.cpuVersions(), QStringList({"V110", "V720"}));
    EXPECT_EQ(c.cpuNumbers(), QStringList({"110", "720"}));
    EXPECT_EQ(c.selection().cpu, 0);
    EXPECT_EQ(c.capacityNames(), QStringList({"-2004", "-2007", "-2015", "-2022", "-4015", "-4022"}));
    EXPECT_EQ(c.capacityCodes(), QStringList({"1", "2", "3", "4", "11", "12"}));
    EXPECT_EQ(c.selection().capacity, 0);
    EXPECT_TRUE(prompter.boxes().empty());
    // Creation hands nothing to the main window; only the close does.
    EXPECT_EQ(cpuFormsM, QStringList({"stale"}));
}

TEST_F(StartupChoiceTest, WithoutAnyLanguageInTheSettingsTheShippedLanguagesAreOffered) {
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(c.languages(), QStringList({"Japanese", "English"}));
    EXPECT_EQ(c.selection().language, 0);
}

TEST_F(StartupChoiceTest, CloseHandsTheChoiceToTheProgramAndStoresIt) {
    seedLanguages();
    StartupChoice c(context, installedAsker(), startup());
    ASSERT_TRUE(c.loadChoices());
    c.refillForType(0);
    c.refillForCpu(1);
    c.takeSelection({1, 0, 6, 1}); // -4037 exists for V720 only
    c.takeChoice();

    const QString dat = folder.filePath("dat");
    EXPECT_EQ(context.language.name, "English");
    EXPECT_EQ(context.language.suffix, "Eng");
    EXPECT_EQ(context.language.iniPath, folder.filePath("lng/English.ini"));
    EXPECT_FALSE(context.language.decimalComma);
    EXPECT_EQ(context.drive.identity.typeName, "HXA1");
    EXPECT_EQ(context.drive.identity.formName, "-4037");
    EXPECT_EQ(context.drive.identity.cpuVersion, "V720");
    EXPECT_EQ(context.drive.identity.typeCode, "41");
    EXPECT_EQ(context.drive.identity.formCode, "13");
    EXPECT_EQ(context.drive.identity.cpuNumber, "720");
    EXPECT_EQ(context.drive.files.typeFolder, dat + "/HXA1(V720)");
    EXPECT_EQ(context.drive.files.capacityFolder, context.drive.files.typeFolder);
    EXPECT_EQ(context.drive.files.infoIniPath, dat + "/HXA1(V720)/Info.ini");
    EXPECT_TRUE(QFile::exists(context.drive.files.infoIniPath));
    EXPECT_EQ(context.paths.parameterHelpFile, dat + "/HXA1(V720)/HXA1(Eng).chm");
    EXPECT_EQ(cpuFormsM, QStringList({"V110", "V720"}));
    EXPECT_EQ(cpuNumbersM, QStringList({"110", "720"}));

    EXPECT_TRUE(
        settingsText().contains("[Default]\r\nLangNo=1\r\nInvTypeNo=0\r\nInvFormNo=6\r\nInvCpuNo=1\r\n"
                                "InvType=HXA1\r\nInvForm=-4037\r\nInvCpu=V720\r\n"))
        << settingsText().constData();
    // Nothing was detected, so the communication settings are not touched.
    EXPECT_FALSE(settingsText().contains("[Comms]"));
}

TEST_F(StartupChoiceTest, CloseRunsOnce) {
    seedLanguages();
    StartupChoice c(context, installedAsker(), startup());
    ASSERT_TRUE(c.loadChoices());
    c.takeChoice();
    cpuFormsM = {"kept"};
    c.takeSelection({0, 1, 0, 0});
    c.takeChoice();
    EXPECT_EQ(cpuFormsM, QStringList({"kept"}));
    EXPECT_EQ(context.drive.identity.typeName, "HXA1");
    EXPECT_TRUE(c.closed());
}

TEST_F(StartupChoiceTest, TheLanguageFlagAndTheHelpOptionShapeTheOutputs) {
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=1\r\n[Default]\r\nLangNo=1\r\n"
                  "[Options]\r\nCheckLang=1\r\nWHP=1\r\n");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    c.takeChoice();
    EXPECT_TRUE(context.language.decimalComma);
    EXPECT_TRUE(context.paths.parameterHelpFile.endsWith("/HXA1(V110)/HXA1(Eng).hlp"));
}

TEST_F(StartupChoiceTest, TheStoredDriveIsPreselectedWhenTheOptionsKeepIt) {
    storeChoice("HXA1", "-4037", "V720");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(c.selection().language, 1);
    EXPECT_EQ(context.texts.caption, "Confirmation");
    EXPECT_EQ(c.selection().type, 0);
    EXPECT_EQ(c.selection().cpu, 1);
    EXPECT_EQ(StartupChoice::at(c.capacityNames(), c.selection().capacity), "-4037");
    EXPECT_EQ(c.capacityNames().size(), 7);
}

TEST_F(StartupChoiceTest, StoredNamesAreFoundIgnoringCase) {
    storeChoice("hxb3", "-4037", "v250");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(c.selection().type, 1);
    EXPECT_EQ(StartupChoice::at(c.capacityNames(), c.selection().capacity), "-4037");
}

// Each row leaves the stored drive unused; the first entries are preselected, without a box.
struct NotPreselected {
    const char* name;
    QByteArray settings;
};

class StoredDriveNotUsed : public StartupChoiceFixture,
                           public ::testing::WithParamInterface<NotPreselected> {};

TEST_P(StoredDriveNotUsed, FirstEntriesArePreselected) {
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n" + GetParam().settings);
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(c.selection().type, 0);
    EXPECT_EQ(c.selection().cpu, 0);
    EXPECT_EQ(c.selection().capacity, 0);
}

INSTANTIATE_TEST_SUITE_P(
    StartupChoice, StoredDriveNotUsed,
    ::testing::Values(
        NotPreselected{"OptionOff",
                       "[Default]\r\nInvTypeNo=1\r\nInvFormNo=1\r\nInvCpuNo=0\r\nInvType=HXB3\r\n"
                       "InvForm=-2015\r\nInvCpu=V250\r\n[Options]\r\nCheckInv=0\r\n"},
        NotPreselected{"OptionMissing",
                       "[Default]\r\nInvTypeNo=1\r\nInvFormNo=1\r\nInvCpuNo=0\r\nInvType=HXB3\r\n"
                       "InvForm=-2015\r\nInvCpu=V250\r\n"},
        NotPreselected{"OnePositionMissing", "[Default]\r\nInvTypeNo=1\r\nInvFormNo=999\r\nInvCpuNo=0\r\n"
                                             "InvType=HXB3\r\nInvForm=-2015\r\nInvCpu=V250\r\n"
                                             "[Options]\r\nCheckInv=1\r\n"},
        NotPreselected{"ANameEmpty",
                       "[Default]\r\nInvTypeNo=1\r\nInvFormNo=1\r\nInvCpuNo=0\r\nInvType=HXB3\r\n"
                       "InvForm=\r\nInvCpu=V250\r\n[Options]\r\nCheckInv=1\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupChoiceTest, AStoredDriveThatIsGoneIsNamedInABoxAndTheFirstEntriesTaken) {
    storeChoice("HXB9", "-1111", "V100");
    prompter.answer(BoxAnswer::Ok);
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Not found the Last Inverter data file.\nHXB9(V100)-1111");
    EXPECT_EQ(prompter.boxes()[0].caption, "Confirmation");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(c.selection().type, 0);
    EXPECT_EQ(c.cpuVersions(), QStringList({"V110", "V720"}));
    EXPECT_EQ(c.selection().cpu, 0);
    EXPECT_EQ(c.selection().capacity, 0);
    EXPECT_EQ(c.capacityNames().size(), 6);
}

TEST_F(StartupChoiceTest, AStoredCapacityMissingForItsCpuVersionIsReported) {
    storeChoice("HXA1", "-4037", "V110");
    prompter.answer(BoxAnswer::Ok);
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    ASSERT_EQ(prompter.texts(), QStringList({"Not found the Last Inverter data file.\nHXA1(V110)-4037"}));
}

TEST_F(StartupChoiceTest, AFileStartSkipsTheStoredDrive) {
    storeChoice("HXA1", "-2004", "V110");
    // The drive of the file.
    context.drive.identity.typeName = "HXB3";
    context.drive.identity.formName = "-4037";
    context.drive.identity.cpuVersion = "V250";
    StartupContext start;
    start.fileArgumentStart = true;
    StartupChoice c(context, installedAsker(), start);
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(context.drive.identity.typeName, "HXB3");
    EXPECT_EQ(context.drive.identity.formName, "-4037");
    // No last drive to keep: the first entries.
    EXPECT_EQ(c.typeNames().value(c.selection().type), "HXA1");
    EXPECT_EQ(c.capacityNames().value(c.selection().capacity), "-2004");
}

// ---- The language preselected -------------------------------------------------------------

struct LanguageCase {
    const char* name;
    QByteArray settings; // after the [Language] section
    bool fromNew;        // File > New, the program running in `running`
    const char* running;
    int expectedPos;
    const char* expectedCaption; // message 1 of the language whose texts the form uses
};

class LanguagePreselection : public StartupChoiceFixture,
                             public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguagePreselection, PicksTheExpectedLanguage) {
    const LanguageCase& p = GetParam();
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n" + p.settings);
    context.language.name = QString::fromUtf8(p.running);
    StartupContext start;
    start.firstShowDone = p.fromNew;
    StartupChoice c(context, installedAsker(), start);
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(c.selection().language, p.expectedPos);
    EXPECT_EQ(context.texts.caption, QString::fromUtf8(p.expectedCaption));
    c.takeChoice();
    EXPECT_EQ(context.language.name, c.languages().at(p.expectedPos));
    EXPECT_EQ(IniFile(context.paths.settingsIni).readInteger("Default", "LangNo", -9), p.expectedPos);
}

INSTANTIATE_TEST_SUITE_P(
    StartupChoice, LanguagePreselection,
    ::testing::Values(
        LanguageCase{"StoredLanguageKept", "[Default]\r\nLangNo=1\r\n[Options]\r\nCheckLang=1\r\n", false, "",
                     1, "Confirmation"},
        LanguageCase{"OptionOffTakesTheFirst", "[Default]\r\nLangNo=1\r\n[Options]\r\nCheckLang=0\r\n", false,
                     "", 0, "確認"},
        // Until the options are first saved the first language is offered, though the texts
        // come from the stored one.
        LanguageCase{"OptionNeverSavedOffersTheFirst", "[Default]\r\nLangNo=1\r\n", false, "", 0,
                     "Confirmation"},
        // A position outside the list names no language: English texts, the first offered.
        LanguageCase{"PositionBeyondTheList", "[Default]\r\nLangNo=5\r\n[Options]\r\nCheckLang=1\r\n", false,
                     "", 0, "Confirmation"},
        LanguageCase{"NegativePosition", "[Default]\r\nLangNo=-1\r\n[Options]\r\nCheckLang=1\r\n", false, "",
                     0, "Confirmation"},
        // File > New keeps the running language whatever the option and the stored position say.
        LanguageCase{"NewKeepsTheRunningLanguage", "[Default]\r\nLangNo=1\r\n", true, "English", 1,
                     "Confirmation"},
        LanguageCase{"NewKeepsItOverAnotherStoredPosition",
                     "[Default]\r\nLangNo=0\r\n[Options]\r\nCheckLang=1\r\n", true, "English", 1,
                     "Confirmation"},
        LanguageCase{"NewWithAnUnlistedLanguageUsesTheStoredPosition",
                     "[Default]\r\nLangNo=1\r\n[Options]\r\nCheckLang=1\r\n", true, "German", 1,
                     "Confirmation"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Lists from the data folder -----------------------------------------------------------

TEST_F(EmptyProgramFolder, TypesComeFromPrefixedFoldersAndCpuVersionsFromTheirOwnFolders) {
    for (const char* f : {"dat/HXB3(V110)", "dat/HXB3(V100)", "dat/hxa1(V200)", "dat/XY9(V100)",
                          "dat/HXB30(V120)", "dat/HXD", "dat/HX10(V100)", "dat/HX20(VHX10)"})
        makeFolder(f);
    folder.writeFile("dat/HXC.txt", "not a folder");
    folder.writeFile("dat/Inverter.ini", "[Type]\r\nHXB3=52\r\nHXB30=53\r\n");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(c.typeNames(), QStringList({"HX10", "HX20", "hxa1", "HXB3", "HXB30", "HXD"}));

    const auto cpus = [&](const QString& type) {
        const NamedCodes list = c.cpuListOf(type);
        return list.names.join(',') + '|' + list.codes.join(',');
    };
    EXPECT_EQ(cpus("HXB3"), "V100,V110|100,110");
    EXPECT_EQ(cpus("HXB30"), "V120|120");
    EXPECT_EQ(cpus("HXD"), "|");
    // A folder of another type whose CPU text happens to hold this type's name.
    EXPECT_EQ(cpus("HX10"), "V100|100");
    EXPECT_EQ(cpus("HXA1"), "V200|200");
}

TEST_F(EmptyProgramFolder, CapacitiesAreSortedWithTheirCatalogueCodes) {
    folder.writeFile("dat/HXB3(V110)/HXB3-4037.cap", "");
    folder.writeFile("dat/HXB3(V110)/HXB3-2015.cap", "");
    folder.writeFile("dat/HXB3(V110)/HXB3-0750.CAP", "");
    folder.writeFile("dat/HXB3(V110)/Info.ini", "");
    folder.writeFile("dat/Inverter.ini", "[Type]\r\nHXB3=52\r\n[HXB3]\r\n-4037=37\r\n");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    const NamedCodes capacities = c.capacityListOf("HXB3", "V110");
    EXPECT_EQ(capacities.names, QStringList({"-0750", "-2015", "-4037"}));
    EXPECT_EQ(capacities.codes, QStringList({"0", "0", "37"}));
}

TEST_F(EmptyProgramFolder, ATypeMissingFromTheCatalogueGetsCode99) {
    seedLanguages();
    makeFolder("dat/HXZ9(V100)");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(c.typeCodes(), QStringList({"99"}));
    EXPECT_TRUE(c.capacityNames().isEmpty());
    EXPECT_EQ(c.selection().capacity, -1);
    c.takeChoice();
    EXPECT_EQ(context.drive.identity.typeCode, "99");
    EXPECT_EQ(context.drive.identity.formName, "");
    EXPECT_EQ(IniFile(context.paths.settingsIni).readInteger("Default", "InvFormNo", 0), -1);
}

TEST_F(EmptyProgramFolder, NoDriveTypeEndsTheStartWithABoxAndStoresNothing) {
    seedLanguages();
    makeFolder("dat/XY9(V100)");
    prompter.answer(BoxAnswer::Ok);
    StartupChoice c(context, installedAsker(), startup());
    EXPECT_FALSE(c.loadChoices());
    EXPECT_TRUE(context.startupAborted);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Not found Inverter data file.\nKVR260X is closed.");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    const QByteArray before = settingsText();
    c.takeChoice();
    EXPECT_EQ(settingsText(), before);
    EXPECT_EQ(cpuFormsM, QStringList({"stale"}));
}

TEST_F(StartupChoiceTest, AnotherDataFolderGivesTheTypesWhileTheCatalogueStays) {
    storeChoice("HXB3", "-4037", "V250", 1, "DF=\\other\r\n");
    folder.writeFile("other/HXB3(V250)/HXB3-4037.cap", "");
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    EXPECT_EQ(c.typeNames(), QStringList({"HXB3"}));
    EXPECT_EQ(c.typeCodes(), QStringList({"52"}));
    EXPECT_EQ(c.capacityCodes(), QStringList({"13"}));
    c.takeChoice();
    EXPECT_EQ(context.drive.files.typeFolder, folder.filePath("other/HXB3(V250)"));
}

TEST_F(StartupChoiceTest, ChangingTheTypeOrCpuVersionRefillsTheListsBelowIt) {
    seedLanguages();
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    c.refillForType(1);
    EXPECT_EQ(c.cpuVersions(), QStringList({"V250"}));
    EXPECT_EQ(c.capacityNames(), QStringList({"-2007", "-2015", "-4015", "-4037"}));
    EXPECT_EQ(c.capacityCodes(), QStringList({"2", "3", "11", "13"}));
    EXPECT_EQ(c.selection().cpu, 0);
    EXPECT_EQ(c.selection().capacity, 0);

    c.refillForType(0);
    c.takeSelection({0, 0, 3, 0});
    c.refillForCpu(1);
    EXPECT_EQ(c.capacityNames().size(), 7);
    EXPECT_EQ(c.selection().capacity, 0);
}

TEST_F(StartupChoiceTest, ACpuVersionOutsideItsListOffersNoCapacity) {
    seedLanguages();
    StartupChoice c(context, installedAsker());
    ASSERT_TRUE(c.loadChoices());
    c.refillForCpu(7);
    EXPECT_TRUE(c.capacityNames().isEmpty());
    EXPECT_EQ(c.selection().capacity, -1);
    EXPECT_EQ(StartupChoice::at(c.cpuVersions(), 7), "");
}

} // namespace

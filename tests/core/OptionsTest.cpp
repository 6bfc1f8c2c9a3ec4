#include "core/OptionsFixture.h"

#include "platform/IniFile.h"

#include <unistd.h>

namespace {

using OptionsSettings = OptionsFixture;

TEST_F(OptionsSettings, MissingSectionLoadsDefaultsAndCloseWritesEveryKeyInOrderKeepingTheRest) {
    const QByteArray before = "[Language]\r\nEnglish=0\r\n\r\n[Options]\r\nDF=\\dat\r\nOldKey=7\r\n\r\n"
                              "[Comms]\r\nID=3\r\n";
    writeSettings(before);
    ASSERT_TRUE(opt->create());
    EXPECT_TRUE(opt->checkDriveTypeAndCapacity.checked());
    EXPECT_EQ(opt->undoDepth.position(), 10);
    EXPECT_EQ(opt->freeUnitFactor.text(), "1.00");
    EXPECT_EQ(opt->otherValueCellColor.value(), 14745599);
    ASSERT_TRUE(opt->saveSettings().saved);

    const QStringList keys = Options::settingsKeys();
    ASSERT_EQ(keys.size(), 45);
    EXPECT_FALSE(keys.contains("DF"));
    IniFile ini(context.paths.settingsIni);
    EXPECT_EQ(ini.keys("Options"), QStringList({"DF", "OldKey"}) + keys);
    EXPECT_EQ(ini.readString("Options", "DF"), "\\dat");
    const QList<std::pair<const char*, int>> expected = {{"CheckLang", 1},
                                                         {"CheckInv", 1},
                                                         {"CheckInvTyp", 1},
                                                         {"Eeprom", 1},
                                                         {"ComDisp", 0},
                                                         {"UndoMax", 10},
                                                         {"PanelTime1", 260},
                                                         {"MonBack", 16777215},
                                                         {"MonVal", 15},
                                                         {"MonMode2Multi", 100},
                                                         {"MonMode2Point", 3000},
                                                         {"MonMode3T", 120},
                                                         {"MonMode3Smp", 10},
                                                         {"MonMode5", 1},
                                                         {"MNCC", 14745599},
                                                         {"MCVCC", 65535},
                                                         {"MWC", 8421504},
                                                         {"MMG", 50},
                                                         {"MMCT", 5},
                                                         {"MZV", 0}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(ini.readInteger("Options", key, -1), value) << key;
    // The other sections stay byte for byte where they were.
    const QByteArray after = settings();
    EXPECT_TRUE(after.startsWith("[Language]\r\nEnglish=0\r\n\r\n[Options]\r\nDF=\\dat\r\nOldKey=7\r\n"));
    EXPECT_TRUE(after.endsWith("[Comms]\r\nID=3\r\n"));
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(OptionsSettings, ChangedOptionsComeBackUnderTheirKeysAtTheNextStart) {
    opt->create();
    opt->settingValueCellColor.setValue(0x123456);
    opt->otherValueCellColor.setColor(QColor(1, 2, 3));
    opt->exportToEeprom.setChecked(false);
    opt->keepMonitorSetup.setChecked(true);
    opt->ledBlinkInterval.setPosition(505);
    opt->freeUnitFactor.setPosition(29);
    opt->onlineCurrentVoltageBase.setChecked(true);
    opt->saveSettings();
    IniFile ini(context.paths.settingsIni);
    EXPECT_EQ(ini.readInteger("Options", "MSCC", 0), 0x123456);
    EXPECT_EQ(ini.readInteger("Options", "MNCC", 0), 0x030201);

    Options next(context);
    next.setAssociationHandler([](bool) {});
    next.create();
    EXPECT_EQ(next.settingValueCellColor.value(), 0x123456);
    EXPECT_EQ(next.otherValueCellColor.color(), QColor(1, 2, 3));
    EXPECT_FALSE(next.exportToEeprom.checked());
    EXPECT_TRUE(next.keepMonitorSetup.checked());
    EXPECT_EQ(next.ledBlinkInterval.position(), 505);
    EXPECT_EQ(next.freeUnitFactorText(), "0.29");
    EXPECT_TRUE(next.onlineCurrentVoltageBase.checked());
}

TEST_F(OptionsSettings, TypeCheckIsOnAtEveryStartWhateverWasStored) {
    writeSettings("[Options]\r\nCheckInvTyp=0\r\n");
    opt->create();
    EXPECT_TRUE(opt->checkDriveTypeAndCapacity.checked());
}

TEST_F(OptionsSettings, MaintenanceCheckIsNotStoredWhileMaintenanceIsUnlocked) {
    writeSettings("[Options]\r\nMainte=0\r\n");
    opt->create();
    store->enterMaintenance(false);
    opt->useMaintenanceMode.setChecked(true);
    opt->saveSettings();
    IniFile ini(context.paths.settingsIni);
    EXPECT_EQ(ini.readString("Options", "Mainte"), "0");
    EXPECT_EQ(ini.keys("Options").size(), 45);

    // Without the section, that close writes the other 44 keys.
    QFile::remove(context.paths.settingsIni);
    opt->saveSettings();
    IniFile fresh(context.paths.settingsIni);
    EXPECT_EQ(fresh.keys("Options").size(), 44);
    EXPECT_FALSE(fresh.valueExists("Options", "Mainte"));
}

TEST_F(OptionsSettings, GarbageLoadsClampedOrDefaultValues) {
    writeSettings("[Options]\r\nUndoMax=abc\r\nMonMode2Point=20000\r\nMonMode2Multi=0\r\nMonMode3T=-7\r\n"
                  "PanelTime1=99999999999999\r\nMonBack=-5\r\nMSCC=16777216\r\nEeprom=yes\r\n"
                  "MonMode3=\r\nMMCT=0\r\n");
    opt->create();
    EXPECT_EQ(opt->undoDepth.position(), 10);
    EXPECT_EQ(opt->recordingPointCount.position(), 10000);
    EXPECT_EQ(opt->recordingPointCount.text(), "10000");
    EXPECT_EQ(opt->freeUnitFactor.position(), 1);
    EXPECT_EQ(opt->freeUnitFactorText(), "0.01");
    EXPECT_EQ(opt->continuousRecordMinutes.position(), 30);
    EXPECT_EQ(opt->ledBlinkInterval.position(), 260);
    EXPECT_EQ(opt->monitorBackColor.value(), 0xFFFFFF);
    EXPECT_EQ(opt->settingValueCellColor.value(), 0xFFFFFF);
    EXPECT_TRUE(opt->exportToEeprom.checked());
    EXPECT_FALSE(opt->continuousMonitoring.checked());
    EXPECT_EQ(opt->timedTestReads.position(), 1);
}

TEST_F(OptionsSettings, UnwritableSettingsFileSaysSoOnceAndTheProgramGoesOn) {
    // A regular file where the settings folder should be: no user, root included, can write.
    writeFile(dir.filePath("blocked"), "x");
    context.paths.settingsIni = dir.filePath("blocked/KVR260X.ini");
    opt->create();
    const Options::SaveOutcome first = opt->saveSettings();
    EXPECT_FALSE(first.saved);
    ASSERT_TRUE(first.failure);
    EXPECT_TRUE(first.failure->text.contains(context.paths.settingsIni));
    EXPECT_EQ(first.failure->icon, BoxIcon::Warning);
    const Options::SaveOutcome again = opt->saveSettings();
    EXPECT_FALSE(again.saved);
    EXPECT_FALSE(again.failure) << "said once per run";
}

TEST_F(OptionsSettings, ReadOnlySettingsFileIsLeftAsItWas) {
    if (geteuid() == 0)
        GTEST_SKIP() << "file modes do not bind the superuser";
    writeSettings("[Options]\r\nUndoMax=20\r\n");
    QFile::setPermissions(context.paths.settingsIni, QFile::ReadOwner);
    opt->create();
    EXPECT_EQ(opt->undoDepth.position(), 20);
    opt->undoDepth.setPosition(30);
    const Options::SaveOutcome r = opt->saveSettings();
    EXPECT_FALSE(r.saved);
    EXPECT_TRUE(r.failure);
    EXPECT_EQ(settings(), "[Options]\r\nUndoMax=20\r\n");
}

TEST_F(OptionsSettings, CreationLoadsThenConnectsThenAppliesTheAssociation) {
    writeSettings("[Options]\r\nRegistFile=0\r\n");
    opt->create([this] { events << "connect"; });
    // The stored state changes the box (its rule runs), then creation applies it again.
    EXPECT_EQ(events, QStringList({"remove", "connect", "remove"}));
}

TEST_F(OptionsSettings, NothingHappensOnceStartUpHasFailed) {
    context.startupAborted = true;
    writeSettings("[Options]\r\nUndoMax=50\r\n");
    EXPECT_FALSE(opt->create([this] { events << "connect"; }));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(opt->undoDepth.position(), 10);
}

TEST_F(OptionsSettings, RowsInUseFollowTheMaintenanceFlagAtLoading) {
    setParameters({"0001", "0002", "FC90", "FC91", "FA10", "FA11"});
    context.drive.normalLastIndex = 1;
    opt->create();
    EXPECT_EQ(context.tableView.lastIndex, 1);
    store->enterMaintenance(false);
    opt->loadSettings();
    EXPECT_EQ(context.tableView.lastIndex, 5);
}

// ---- Number fields --------------------------------------------------------------------

struct FieldCase {
    const char* name;
    UpDownOption Options::*field;
    const char* typed;
    bool accepted;
    int message; // -1: no box
    const char* textAfter;
    int positionAfter;
};

class OptionsNumberField : public OptionsFixture, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(OptionsNumberField, ChecksTheTypedText) {
    const FieldCase& c = GetParam();
    opt->create();
    UpDownOption& f = (*opt).*c.field;
    const int before = f.position();
    QList<UpDownOption*> focused;
    opt->setFocusBack([&](UpDownOption& u) { focused << &u; });
    f.setText(c.typed);
    if (c.message >= 0)
        prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(opt->validate(f, prompter), c.accepted);
    EXPECT_EQ(f.text(), c.textAfter);
    EXPECT_EQ(f.position(), c.positionAfter < 0 ? before : c.positionAfter);
    EXPECT_EQ(opt->entryRejected, c.accepted ? 0 : 1);
    if (c.message < 0) {
        EXPECT_TRUE(prompter.boxes().empty());
        EXPECT_TRUE(focused.isEmpty());
    } else {
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, QString("m%1").arg(c.message));
        EXPECT_EQ(prompter.boxes()[0].caption, "m0");
        EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
        EXPECT_EQ(focused, QList<UpDownOption*>{&f});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OptionsNumberField,
    ::testing::Values(
        FieldCase{"UndoDepthNotANumber", &Options::undoDepth, "abc", false, 67, "abc", -1},
        FieldCase{"UndoDepthEmpty", &Options::undoDepth, "  ", false, 67, "  ", -1},
        FieldCase{"UndoDepthAboveRange", &Options::undoDepth, "150", false, 41, "100", 100},
        FieldCase{"UndoDepthBelowRange", &Options::undoDepth, "-0.5", false, 41, "0", 0},
        FieldCase{"UndoDepthFractionCut", &Options::undoDepth, "12.9", true, -1, "12", 12},
        FieldCase{"BlinkTimeAboveRange", &Options::ledBlinkInterval, "1001", false, 41, "1000", 1000},
        FieldCase{"BlinkTimeOffStep", &Options::ledBlinkInterval, "263", true, -1, "263", 263},
        FieldCase{"SignalLevelInfinite", &Options::terminalSignalLevel, "1e999", false, 67, "1e999", -1},
        FieldCase{"RecordTimeBelowRange", &Options::continuousRecordMinutes, "29", false, 41, "30", 30},
        FieldCase{"SamplingAboveRange", &Options::continuousSampleSeconds, "301", false, 41, "300", 300},
        FieldCase{"PointsBelowRange", &Options::recordingPointCount, "1000", false, 41, "1250", 1250},
        FieldCase{"FactorInHundredths", &Options::freeUnitFactor, "0.29", true, -1, "0.29", 29},
        FieldCase{"FactorRounded", &Options::freeUnitFactor, "1.006", true, -1, "1.01", 101},
        FieldCase{"FactorTooSmall", &Options::freeUnitFactor, "0.004", false, 41, "0.01", 1},
        FieldCase{"FactorTooLarge", &Options::freeUnitFactor, "250", false, 41, "200.00", 20000},
        FieldCase{"FactorHuge", &Options::freeUnitFactor, "1e300", false, 41, "200.00", 20000}),
    [](const ::testing::TestParamInfo<FieldCase>& info) { return std::string(info.param.name); });

using OptionsClose = OptionsFixture;

TEST_F(OptionsClose, IsRefusedUntilEveryCheckedFieldHoldsAnAcceptedValue) {
    opt->create();
    opt->undoDepth.setText("abc");
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(opt->closeQuery(prompter));
    ASSERT_EQ(prompter.texts(), QStringList{"m67"});

    opt->undoDepth.setText("150");
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(opt->closeQuery(prompter));
    EXPECT_EQ(opt->undoDepth.text(), "100");
    EXPECT_EQ(opt->undoDepth.position(), 100);

    EXPECT_TRUE(opt->closeQuery(prompter));
    EXPECT_EQ(prompter.boxes().size(), 2u);
}

TEST_F(OptionsClose, RunsEveryCheckAndLeavesThePointsFieldAlone) {
    opt->create();
    opt->undoDepth.setText("x");
    opt->freeUnitFactor.setText("");
    opt->recordingPointCount.setText("garbage");
    prompter.answer(BoxAnswer::Ok);
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(opt->closeQuery(prompter));
    EXPECT_EQ(prompter.texts(), QStringList({"m67", "m67"}));
    EXPECT_EQ(opt->recordingPointCount.text(), "garbage");
}

// ---- Click rules, interlocks, enabled states ------------------------------------------------

using OptionsRules = OptionsFixture;

TEST_F(OptionsRules, OneComparisonOutputAlwaysStaysOn) {
    opt->create();
    opt->showComparisonResult.setChecked(false);
    EXPECT_TRUE(opt->showComparisonMessage.checked());

    opt->showComparisonResult.setChecked(true);
    opt->showComparisonMessage.setChecked(false);
    opt->showComparisonResult.setChecked(false);
    opt->showComparisonMessage.setChecked(false);
    EXPECT_TRUE(opt->showComparisonResult.checked());
}

TEST_F(OptionsRules, StoredStateWithBothComparisonOutputsOffLoadsWithTheMessageOn) {
    writeSettings("[Options]\r\nCompDisp=0\r\nResultC=0\r\n");
    opt->create();
    EXPECT_TRUE(opt->showComparisonMessage.checked());
    EXPECT_FALSE(opt->showComparisonResult.checked());
}

TEST_F(OptionsRules, ResultSavingIsGreyedWhileBothResultWindowsShowUnlessTheDriveTypeAllowsIt) {
    opt->create();
    opt->saveTransferResult.setChecked(true);
    EXPECT_FALSE(opt->saveTransferResult.enabled());
    opt->showTransferResult.setChecked(false);
    EXPECT_TRUE(opt->saveTransferResult.enabled());
    EXPECT_TRUE(opt->saveTransferResult.checked());

    writeInfo("[Setup]\nOption1=1\n");
    opt->showTransferResult.setChecked(true);
    EXPECT_TRUE(opt->saveTransferResult.enabled());
}

TEST_F(OptionsRules, CodeChangesRunTheClickRulesOnlyOnARealChange) {
    QStringList shown;
    opt->setDataStoreViewer([&] { shown << "store"; });
    opt->create();
    events.clear();
    opt->registerFileType.setChecked(true);
    EXPECT_TRUE(events.isEmpty());
    opt->registerFileType.setChecked(false);
    opt->registerFileType.setChecked(true);
    EXPECT_EQ(events, QStringList({"remove", "register"}));
    opt->showBufferTable.setChecked(true);
    opt->showBufferTable.setChecked(false);
    EXPECT_EQ(shown, QStringList{"store"});
}

TEST_F(OptionsRules, FreeUnitAndContinuousFieldsFollowTheirBoxes) {
    opt->create();
    EXPECT_FALSE(opt->freeUnitFactor.enabled());
    EXPECT_FALSE(opt->continuousRecordMinutes.enabled());
    opt->useFreeUnit.setChecked(true);
    opt->continuousMonitoring.setChecked(true);
    EXPECT_TRUE(opt->freeUnitFactor.enabled());
    EXPECT_TRUE(opt->continuousSampleSeconds.enabled());
    EXPECT_TRUE(opt->continuousFieldsEnabled());
    opt->monitorRunStopControl.setChecked(true);
    EXPECT_TRUE(opt->runStopLabelsVisible());
}

struct EnabledCase {
    const char* name;
    QStringList parameters;
    QByteArray info;
    bool trip, alarm, tripData, runStop;
};

class OptionsEnabledState : public OptionsFixture, public ::testing::WithParamInterface<EnabledCase> {};

TEST_P(OptionsEnabledState, IsTheAndOfEveryConditionWhoeverRefreshesIt) {
    const EnabledCase& c = GetParam();
    setParameters(c.parameters);
    writeInfo(c.info);
    opt->create();
    for (int refresh = 0; refresh < 3; ++refresh) {
        if (refresh == 1)
            opt->UpdateRunStopControl(); // as the monitor does after its lists
        if (refresh == 2)
            opt->show();
        EXPECT_EQ(opt->monitorShowsTrips.enabled(), c.trip) << refresh;
        EXPECT_EQ(opt->monitorShowsAlarms.enabled(), c.alarm) << refresh;
        EXPECT_EQ(opt->monitorShowsTripData.enabled(), c.tripData) << refresh;
        EXPECT_EQ(opt->monitorRunStopControl.enabled(), c.runStop) << refresh;
    }
    // Marks stay, and are stored, whatever the enabled state.
    EXPECT_TRUE(opt->monitorShowsTrips.checked());
    EXPECT_TRUE(opt->monitorShowsAlarms.checked());
}

const QByteArray kLists = "[HX100 Alarm (Eng)]\nA0=x\n[HX100 Trip (Eng)]\n1=OC\n";

INSTANTIATE_TEST_SUITE_P(
    DriveTypes, OptionsEnabledState,
    ::testing::Values(
        EnabledCase{"Everything", {"FC90", "FC91", "FA10", "FA11"}, kLists, true, true, true, true},
        EnabledCase{"NoTripParameter", {"FC91", "FA10", "FA11"}, kLists, false, true, false, true},
        EnabledCase{"NoAlarmParameter", {"FC90", "FA10", "FA11"}, kLists, true, false, true, true},
        EnabledCase{"TripParameterWithoutTripList",
                    {"FC90", "FC91", "FA10", "FA11"},
                    "[HX100 Alarm (Eng)]\nA0=x\n",
                    false,
                    true,
                    false,
                    true},
        EnabledCase{"AlarmListOfAnotherLanguage",
                    {"FC90", "FC91", "FA10", "FA11"},
                    "[HX100 Alarm (Jap)]\nA0=x\n[HX100 Trip (Eng)]\n1=OC\n",
                    true,
                    false,
                    true,
                    true},
        EnabledCase{"NoKeyCodeParameter", {"FC90", "FC91", "FA10"}, kLists, true, true, true, false},
        EnabledCase{"NoKeyHandshakeParameter", {"FC90", "FC91", "FA11"}, kLists, true, true, true, false},
        EnabledCase{"RunStopLockedByTheDriveType",
                    {"FC90", "FC91", "FA10", "FA11"},
                    kLists + "[Setup]\nOption2=1\n",
                    true,
                    true,
                    true,
                    false}),
    [](const ::testing::TestParamInfo<EnabledCase>& info) { return std::string(info.param.name); });

TEST_F(OptionsRules, TripDataNeedsTheTripDisplayChecked) {
    opt->create();
    opt->monitorShowsTrips.setChecked(false);
    EXPECT_FALSE(opt->monitorShowsTripData.enabled());
    EXPECT_TRUE(opt->monitorShowsTripData.checked());
}

TEST_F(OptionsRules, RunStopLockOpensWithMaintenanceAndContinuousMonitoringAlwaysCloses) {
    writeInfo(kLists + "[Setup]\nOption2=1\n");
    opt->create();
    EXPECT_TRUE(opt->runStopLock.checked());
    EXPECT_FALSE(opt->monitorRunStopControl.enabled());
    store->enterMaintenance(true);
    opt->UpdateRunStopControl();
    EXPECT_TRUE(opt->monitorRunStopControl.enabled());
    opt->continuousMonitoring.setChecked(true);
    EXPECT_FALSE(opt->monitorRunStopControl.enabled());
}

TEST_F(OptionsRules, NewDriveTypeBringsItsOwnRunStopLock) {
    opt->create();
    EXPECT_TRUE(opt->monitorRunStopControl.enabled());
    writeInfo(kLists + "[Setup]\nOption2=1\n");
    opt->UpdateTripAlarmOptions();
    EXPECT_FALSE(opt->monitorRunStopControl.enabled());
}

TEST_F(OptionsRules, NoDataStoreLeavesTheDriveDependentOptionsGreyed) {
    context.store = nullptr;
    opt->create();
    EXPECT_FALSE(opt->monitorShowsTrips.enabled());
    EXPECT_FALSE(opt->monitorRunStopControl.enabled());
    context.store = store;
}

// ---- Factory settings -------------------------------------------------------------------------

TEST_F(OptionsRules, FactorySettingsRestoreEveryOptionButTheStateBoxes) {
    opt->create();
    for (CheckOption* c : opt->checks())
        c->setChecked(!c->checked());
    for (UpDownOption* u : opt->upDowns())
        u->setPosition(u->minimum() + 1);
    for (ColorOption* c : opt->colors())
        c->setValue(0x010203);
    const bool mainteClear = opt->newSetEndsMaintenance.checked();
    const bool dispBuffer = opt->showBufferTable.checked();
    const bool lockBefore = opt->runStopLock.checked();
    const QByteArray file = settings();
    events.clear();

    opt->restoreFactorySettings();

    Options fresh(context);
    for (int i = 0; i < opt->checks().size(); ++i) {
        CheckOption* c = opt->checks()[i];
        if (c == &opt->newSetEndsMaintenance || c == &opt->showBufferTable || c == &opt->runStopLock)
            continue;
        EXPECT_EQ(c->checked(), fresh.checks()[i]->checked()) << c->name();
    }
    for (int i = 0; i < opt->upDowns().size(); ++i) {
        EXPECT_EQ(opt->upDowns()[i]->position(), fresh.upDowns()[i]->position()) << opt->upDowns()[i]->name();
        EXPECT_EQ(opt->upDowns()[i]->text(), fresh.upDowns()[i]->text());
    }
    for (int i = 0; i < opt->colors().size(); ++i)
        EXPECT_EQ(opt->colors()[i]->value(), fresh.colors()[i]->value()) << opt->colors()[i]->name();
    EXPECT_EQ(opt->newSetEndsMaintenance.checked(), mainteClear);
    EXPECT_EQ(opt->showBufferTable.checked(), dispBuffer);
    EXPECT_EQ(opt->runStopLock.checked(), lockBefore);
    EXPECT_EQ(events, QStringList{"register"});
    EXPECT_EQ(settings(), file);
}

TEST_F(OptionsRules, DefaultColoursResetOnlyTheMastersTab) {
    opt->create();
    opt->monitorBackColor.setValue(0x111111);
    opt->otherValueCellColor.setValue(0x222222);
    opt->waitingTextColor.setValue(0x333333);
    opt->timedTestReads.setPosition(50);
    opt->hlpParameterHelp.setChecked(true);
    opt->undoDepth.setPosition(99);
    opt->setDefaultColors();
    EXPECT_EQ(opt->monitorBackColor.value(), 0x111111);
    EXPECT_EQ(opt->undoDepth.position(), 99);
    EXPECT_EQ(opt->otherValueCellColor.value(), 0xE0FFFF);
    EXPECT_EQ(opt->waitingTextColor.value(), 0x808080);
    EXPECT_EQ(opt->timedTestReads.position(), 5);
    EXPECT_FALSE(opt->hlpParameterHelp.checked());
}

TEST(OptionColor, SwatchValuesAreBlueGreenRed) {
    EXPECT_EQ(ColorOption::toBgr(QColor(0xFF, 0xFF, 0xE0)), 0xE0FFFF);
    EXPECT_EQ(ColorOption::fromBgr(0x00FFFF), QColor(Qt::yellow));
}

} // namespace

// The monitor's set-up without its window: the lists of the shipped drive types, every typed
// setting's checks, the recount, the trigger source, the settings section "Monitor" and the
// activation over the fake port.
#include "support/MonitorFixture.h"
#include "support/WatchedFakePort.h"

#include <optional>

#include "core/ValueRules.h"
#include "monitor/ContinuousRecorder.h"

namespace {

using Monitor = MonitorFixture;

// ---- Lists --------------------------------------------------------------------------------

TEST_F(Monitor, ListsComeFromTheDriveTypesInfoIniInFileOrder) {
    MonitorModel& m = create();
    ASSERT_TRUE(m.runState().itemListLoaded);
    EXPECT_EQ(m.runState().itemCount, 13);
    EXPECT_EQ(m.lists.codes.mid(0, 3), (QStringList{"FD00", "FD01", "FD03"}));
    EXPECT_EQ(m.lists.codes[8], QStringLiteral("FD07-00"));
    EXPECT_EQ(m.lists.names[0], QStringLiteral("Output frequency"));
    // Line k of the unit section belongs to item k.
    EXPECT_EQ(m.lists.unitKeys.size(), 13);
    EXPECT_EQ(m.lists.normalUnits.size(), 13);
    EXPECT_EQ(m.lists.changedUnits.size(), 13);
    EXPECT_EQ(m.lists.normalUnits[2], QStringLiteral("(%)"));
    EXPECT_EQ(m.lists.changedUnits[2], QStringLiteral("(A)"));
    EXPECT_EQ(m.lists.alarmBits.size(), 16);
    EXPECT_EQ(m.lists.alarmNames[0], QStringLiteral("Overcurrent limit"));
    EXPECT_EQ(m.runState().tripItemCount, 14);
    EXPECT_EQ(m.lists.tripCodes[4], QStringLiteral("5"));
    EXPECT_EQ(m.lists.tripNames[4], QStringLiteral("Overvoltage"));
    EXPECT_EQ(m.runState().keyCodeIndex, index("FA11"));
    EXPECT_EQ(m.runState().keyFlagIndex, index("FA10"));
    EXPECT_TRUE(prompter.boxes().empty());

    // The language's own names, the same items.
    loadDriveType("HXA1", "V110", "-2004", "Japanese");
    m.BuildMonitorItemLists();
    EXPECT_EQ(m.runState().itemCount, 13);
    EXPECT_NE(m.lists.names[0], QStringLiteral("Output frequency"));
    EXPECT_EQ(m.lists.names[0],
              IniFile(context.drive.files.infoIniPath).readString("HXA1 Monitor (Jap)", "FD00"));
}

TEST_F(Monitor, ListsAreRebuiltWholeForAnotherDriveType) {
    MonitorModel& m = create();
    loadDriveType("HXB3", "V250", "-4015");
    int rebuilt = 0;
    QObject::connect(&m, &MonitorModel::listsRebuilt, [&] { ++rebuilt; });
    m.BuildMonitorItemLists();
    m.RestoreMonitorSetup();
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(m.runState().itemCount, 11);
    for (const QStringList* l :
         {&m.lists.names, &m.lists.unitKeys, &m.lists.normalUnits, &m.lists.changedUnits})
        EXPECT_EQ(l->size(), 11);
    EXPECT_EQ(m.lists.codes[7], QStringLiteral("FD07-00"));
    // Every record points into the new table.
    for (int i = 0; i < kMonitorChannels; ++i) {
        EXPECT_EQ(m.channels[i].item, i);
        EXPECT_EQ(m.ChannelRecs[i].ParaIndex, index(m.lists.codes[i].left(4).toLatin1().constData())) << i;
    }
}

TEST_F(Monitor, ATypeWithoutItemsSaysSoOnceAndKeepsTheMonitorCommandOff) {
    context.language.suffix = QStringLiteral("Ger"); // no section for it
    model = std::make_unique<MonitorModel>(context, opts, link);
    std::vector<bool> command;
    QObject::connect(model.get(), &MonitorModel::monitorCommandEnabled,
                     [&](bool on) { command.push_back(on); });
    writeMonitorKeys({{"Inv1", "HXA1"}, {"Inv3", "V110"}, {"Select6", "1"}});
    EXPECT_FALSE(model->BuildMonitorItemLists());
    model->RestoreMonitorSetup();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, store->Msg(MsgId::NoItemsToShow));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(command, std::vector<bool>{false});
    EXPECT_TRUE(model->lists.codes.isEmpty());
    EXPECT_FALSE(model->channels[5].checked);              // nothing read
    EXPECT_EQ(monitorKey("Select6"), QStringLiteral("1")); // nothing erased
    EXPECT_FALSE(model->WriteMonitorSetup());
}

// ---- Items ----------------------------------------------------------------------------------

TEST_F(Monitor, AnItemGivesItsCodeBitRecordAndUnits) {
    MonitorModel& m = create();
    struct Case {
        int item;
        const char* code;
        const char* bit;
        bool unitEnabled;
        const char* label;
    };
    const Case cases[] = {
        {0, "FD00", "", false, "(Hz)"},                                   // no changed unit
        {2, "FD03", "", true, "(%)"},    {8, "FD07", "00", false, "(-)"}, // a bit of FD07
        {99, "FD00", "", false, "(Hz)"},                                  // outside the list: the first item
        {-1, "FD00", "", false, "(Hz)"},
    };
    for (const Case& c : cases) {
        m.chooseItem(1, c.item);
        const MonChannelRec& r = m.ChannelRecs[1];
        EXPECT_EQ(m.channels[1].code, QLatin1String(c.code)) << c.item;
        EXPECT_EQ(r.BitNo, QLatin1String(c.bit)) << c.item;
        EXPECT_EQ(r.ParaIndex, index(c.code)) << c.item;
        EXPECT_EQ(m.channels[1].unitEnabled, c.unitEnabled) << c.item;
        EXPECT_EQ(m.channels[1].unitLabel, QLatin1String(c.label)) << c.item;
    }
    m.chooseItem(1, 2);
    EXPECT_EQ(m.ChannelRecs[1].Mul, 10.0f); // FD03 shows tenths
    m.setUnitChecked(1, true);
    EXPECT_EQ(m.channels[1].unitLabel, QStringLiteral("(A)"));
    // An item without a changed unit unchecks the box and takes its own unit.
    m.chooseItem(1, 0);
    EXPECT_FALSE(m.channels[1].unitChecked);
    EXPECT_EQ(m.channels[1].unitLabel, QStringLiteral("(Hz)"));
    m.setUnitChecked(1, true);
    EXPECT_FALSE(m.channels[1].unitChecked);

    // An item the parameter table lacks reads as a failed read, never from the header row.
    m.lists.codes[3] = QStringLiteral("FZ99");
    m.chooseItem(1, 3);
    EXPECT_EQ(m.ChannelRecs[1].ParaIndex, -1);
    EXPECT_EQ(m.ChannelRecs[1].Byte, 2);
    EXPECT_EQ(m.ChannelRecs[1].Mul, 1.0f);
}

// ---- Typed settings --------------------------------------------------------------------------

struct FieldCase {
    MonitorField field;
    const char* text;
    int message; // 0: accepted
    const char* shown;
    int position;
};

TEST_F(Monitor, EachTypedSettingIsCheckedAndShowsWhatIsApplied) {
    MonitorModel& m = create();
    m.channels[2].multiplierEdit.position = 10;
    const FieldCase cases[] = {
        {MonitorField::Multiplier, "abc", 67, "abc", 10},
        {MonitorField::Multiplier, "", 67, "", 10},
        {MonitorField::Multiplier, "20", 41, "10.0", 10},
        {MonitorField::Multiplier, "0.05", 41, "0.1", 10},
        {MonitorField::Multiplier, "0.7", 0, "0.7", 7},
        {MonitorField::Multiplier, "1.25", 0, "1.2", 12},
        {MonitorField::Multiplier, "2.3", 0, "2.3", 23},
        {MonitorField::Multiplier, "10", 0, "10.0", 100},
        {MonitorField::Offset, "600", 41, "500", 0},
        {MonitorField::Offset, "-1", 41, "0", 0},
        {MonitorField::Offset, "2.5", 0, "2", 2},
        {MonitorField::Offset, "500", 0, "500", 500},
        {MonitorField::TriggerLevel, "501", 41, "500", 0},
        {MonitorField::TriggerLevel, "50.7", 0, "50.7", 50},
        {MonitorField::TriggerDelay, "101", 41, "100", 0},
        {MonitorField::TriggerDelay, "-5", 41, "0", 0},
        {MonitorField::TriggerDelay, "25", 0, "25", 25},
        {MonitorField::YMaximum, "99", 41, "100", 100},
        {MonitorField::YMaximum, "150.5", 0, "150.5", 150},
        {MonitorField::YMaximum, "x", 67, "x", 150},
    };
    QList<std::pair<MonitorField, int>> focused;
    m.setFocusHandler([&](MonitorField f, int ch) { focused.append({f, ch}); });
    for (const FieldCase& c : cases) {
        prompter.clear();
        focused.clear();
        m.setText(c.field, 2, QString::fromLatin1(c.text));
        const bool ok = m.enter(c.field, 2);
        const QString what = QString::fromLatin1(c.text);
        EXPECT_EQ(ok, c.message == 0) << what.toStdString();
        EXPECT_EQ(m.inputError(), c.message != 0) << what.toStdString();
        EXPECT_EQ(m.setting(c.field, 2).text, QLatin1String(c.shown)) << what.toStdString();
        if (c.message) {
            ASSERT_EQ(prompter.boxes().size(), 1u) << what.toStdString();
            EXPECT_EQ(prompter.boxes()[0].text, store->Msg(c.message));
            EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
            EXPECT_EQ(prompter.boxes()[0].caption, context.texts.caption);
            const int channel =
                c.field == MonitorField::Multiplier || c.field == MonitorField::Offset ? 2 : 0;
            EXPECT_EQ(focused, (QList<std::pair<MonitorField, int>>{{c.field, channel}})); // before the box
        } else {
            EXPECT_TRUE(prompter.boxes().empty()) << what.toStdString();
            EXPECT_EQ(m.setting(c.field, 2).position, c.position) << what.toStdString();
        }
    }
    EXPECT_EQ(m.axisMaximum, 150.5);
    EXPECT_EQ(m.runState().triggerLevel, 50);
    EXPECT_EQ(m.channels[2].multiplier, 10.0f);
    EXPECT_EQ(m.channels[2].offset, 500);
}

TEST_F(Monitor, TheTimeBaseKeepsWithinItsShortestAndLongest) {
    MonitorModel& m = create();
    m.noteSpeed(m.runState().readTimeMs, 50);
    for (int i = 0; i < kMonitorChannels; ++i)
        m.channels[i].checked = i == 0;
    m.recount();
    EXPECT_EQ(m.timeBaseEdit.minimum, 250);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("0.3")); // 250 ms, rounded half up
    const FieldCase cases[] = {
        {MonitorField::TimeBase, "0.1", 41, "0.3", 250},
        {MonitorField::TimeBase, "40", 41, "30.0", 30000},
        {MonitorField::TimeBase, "2.55", 0, "2.6", 2550},
        {MonitorField::TimeBase, "0.2499", 0, "0.3", 250},
        {MonitorField::TimeBase, "seven", 67, "seven", 250},
    };
    for (const FieldCase& c : cases) {
        prompter.clear();
        m.setText(c.field, 0, QString::fromLatin1(c.text));
        EXPECT_EQ(m.enter(c.field), c.message == 0) << c.text;
        EXPECT_EQ(m.timeBaseEdit.text, QLatin1String(c.shown)) << c.text;
        EXPECT_EQ(m.timeBaseEdit.position, c.position) << c.text;
        EXPECT_EQ(prompter.boxes().size(), c.message ? 1u : 0u) << c.text;
    }
    // The arrows move the position by whole steps and show it in seconds.
    m.step(MonitorField::TimeBase, 0, 750);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("0.8"));
}

TEST_F(Monitor, AMultiplierOrOffsetChangeIsAnnouncedWhetherTypedOrStepped) {
    MonitorModel& m = create();
    std::vector<int> scale;
    QObject::connect(&m, &MonitorModel::scaleChanged, [&](int ch) { scale.push_back(ch); });
    m.setText(MonitorField::Multiplier, 0, "1.5");
    m.enter(MonitorField::Multiplier, 0);
    m.step(MonitorField::Multiplier, 0, 16);
    m.setText(MonitorField::Offset, 4, "20");
    m.enter(MonitorField::Offset, 4);
    m.step(MonitorField::Offset, 4, 21);
    m.step(MonitorField::Offset, 4, 501); // beyond the range: held at 500, nothing applied
    EXPECT_EQ(scale, (std::vector<int>{0, 0, 4, 4}));
    EXPECT_FLOAT_EQ(m.channels[0].multiplier, 1.6f);
    EXPECT_EQ(m.channels[0].multiplierEdit.text, QStringLiteral("1.6"));
    EXPECT_EQ(m.channels[4].offset, 21);
    EXPECT_EQ(m.channels[4].offsetEdit.text, QStringLiteral("500"));
    // The same value again changes nothing that depends on it.
    m.setText(MonitorField::Multiplier, 0, "1.6");
    m.enter(MonitorField::Multiplier, 0);
    EXPECT_EQ(scale.size(), 4u);
}

// ---- Recount ----------------------------------------------------------------------------------

TEST_F(Monitor, RecountSetsTheShortestTimeBaseAndTheShareOfPoints) {
    MonitorModel& m = create();
    m.noteSpeed(m.runState().readTimeMs, 100);
    m.setChannelChecked(0, true); // CH1..CH5 on from the defaults
    EXPECT_EQ(m.runState().activeCount, 5);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("2.5"));
    m.setChannelChecked(5, true);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("3.0"));
    EXPECT_EQ(m.runState().pointsPerChannel, 500);

    // Both status items take CH9 and CH10; a checked box there no longer counts.
    m.setChannelChecked(9, true);
    m.SetStatusItems();
    EXPECT_TRUE(m.runState().watchAlarm);
    EXPECT_TRUE(m.runState().watchTrip);
    EXPECT_FALSE(m.channels[9].shown);
    EXPECT_FALSE(m.channels[8].shown);
    EXPECT_EQ(m.runState().channelSlots, 8);
    EXPECT_EQ(m.runState().activeCount, 8);
    EXPECT_EQ(m.runState().pointsPerChannel, 375);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("4.0"));
    EXPECT_EQ(m.ChannelRecs[kAlarmRecord].ParaIndex, index("FC91"));
    EXPECT_EQ(m.ChannelRecs[kTripRecord].ParaIndex, index("FC90"));

    // A longer time base gives way to the shortest at every recount, the activation's too.
    m.setText(MonitorField::TimeBase, 0, "10");
    m.enter(MonitorField::TimeBase);
    m.SetStatusItems();
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("4.0"));
    m.setText(MonitorField::TimeBase, 0, "10");
    m.enter(MonitorField::TimeBase);
    m.setChannelChecked(5, false);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("3.5"));

    // No channel and no status item: nothing to start, the time base as it was.
    opts.monitorShowsAlarms.setChecked(false);
    opts.monitorShowsTrips.setChecked(false);
    m.SetStatusItems();
    EXPECT_TRUE(m.channels[9].shown);
    for (int i = 0; i < kMonitorChannels; ++i)
        m.setChannelChecked(i, false);
    EXPECT_EQ(m.runState().activeCount, 0);
    EXPECT_FALSE(m.runState().startEnabled);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("0.5"));
    EXPECT_EQ(m.runState().pointsPerChannel, 3000);
}

TEST_F(Monitor, ASlowLinkStillLeavesATimeBaseThatCanBeTaken) {
    MonitorModel& m = create();
    m.noteSpeed(m.runState().readTimeMs, 1100);
    for (int i = 0; i < kMonitorChannels; ++i)
        m.channels[i].checked = true;
    m.recount();
    EXPECT_EQ(m.timeBaseEdit.minimum, 55000);
    EXPECT_EQ(m.timeBaseEdit.text, QStringLiteral("55.0"));
    EXPECT_TRUE(m.mayClose());
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(Monitor, CloseIsRefusedForARefusedValueUnlessItsRowCannotTakeTheFocus) {
    MonitorModel& m = create();
    m.setText(MonitorField::Multiplier, 1, "abc");
    EXPECT_FALSE(m.mayClose());
    EXPECT_EQ(prompter.boxes().size(), 1u);
    // CH2 switched off: its edit is disabled and goes back to its value.
    m.setChannelChecked(1, false);
    EXPECT_TRUE(m.mayClose());
    EXPECT_EQ(m.channels[1].multiplierEdit.text, QStringLiteral("1.0"));
    m.runLock().setRunning(true);
    EXPECT_FALSE(m.mayClose());
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

// ---- Trigger ----------------------------------------------------------------------------------

TEST_F(Monitor, TheTriggerSourceStepsThroughCheckedChannelsOfTheSlots) {
    MonitorModel& m = create();
    for (int i = 0; i < kMonitorChannels; ++i)
        m.channels[i].checked = i == 0 || i == 2 || i == 4;
    m.recount();
    m.clickTriggerSource(2); // trigger off: no effect
    EXPECT_EQ(m.triggerSourceIndex, 0);
    m.setTriggerChecked(true);
    m.clickTriggerSource(2);
    EXPECT_EQ(m.runState().triggerChannel, 2);
    m.nextTriggerSource();
    EXPECT_EQ(m.runState().triggerChannel, 4);
    m.nextTriggerSource();
    EXPECT_EQ(m.runState().triggerChannel, 0);
    EXPECT_TRUE(m.sourceLabelEnabled);

    // CH9 and CH10 belong to the status items: never chosen.
    m.channels[7].checked = m.channels[9].checked = true;
    m.SetStatusItems();
    m.clickTriggerSource(7);
    m.nextTriggerSource();
    EXPECT_EQ(m.runState().triggerChannel, 0);

    // During a run or a continuous recording a click does not change the source.
    m.runLock().setRunning(true);
    m.clickTriggerSource(2);
    m.runLock().setRunning(false);
    opts.continuousMonitoring.setChecked(true);
    m.clickTriggerSource(2);
    EXPECT_EQ(m.runState().triggerChannel, 0);

    m.nextSlope();
    m.nextSlope();
    EXPECT_EQ(m.slopeText(), QStringLiteral("Both"));
    m.nextSlope();
    EXPECT_EQ(m.triggerSlope, 0);
    m.triggerEnabled = false;
    m.nextSlope();
    EXPECT_EQ(m.triggerSlope, 0);
}

TEST_F(Monitor, ContinuousTimeBaseAndMarkerFollowTheirFormulas) {
    MonitorModel& m = create();
    struct Case {
        int minutes, seconds, points;
        int shown;
        const char* size;
    };
    for (const Case& c :
         {Case{120, 10, 3000, 50, "71"}, Case{30, 300, 3000, 1500, "1"}, Case{1440, 10, 375, 33200, "863"},
          Case{120, 10, 0, 50, "71"}, Case{30, 10, 3000, 50, "18"}}) {
        opts.continuousRecordMinutes.setPosition(c.minutes);
        opts.continuousSampleSeconds.setPosition(c.seconds);
        m.setPointsPerChannel(c.points);
        EXPECT_EQ(m.UpdateContinuousTimeBase(), c.shown) << c.minutes << " " << c.points;
        EXPECT_EQ(m.runState().recordSizeText, QLatin1String(c.size)) << c.minutes;
        // Within a tenth of a recording of that length whose three channels read 47.5.
        ChannelArray values{};
        values[0] = values[1] = values[2] = 47.5;
        qint64 bytes = RecordingFile::header(RecordingHeader{}, false).size();
        for (int k = 0; k < c.minutes * 60 / c.seconds; ++k)
            bytes += RecordingFile::row(quint32(k * c.seconds * 1000), values, false).size();
        EXPECT_NEAR(m.runState().recordSizeText.toDouble(), std::max<double>(1, bytes / 1000.0),
                    bytes / 10000.0 + 1)
            << c.minutes;
    }
    m.setText(MonitorField::TriggerLevel, 0, "50");
    m.enter(MonitorField::TriggerLevel);
    EXPECT_EQ(m.markerTop(13, 238), 118);
    m.setText(MonitorField::TriggerLevel, 0, "0");
    m.enter(MonitorField::TriggerLevel);
    EXPECT_EQ(m.markerTop(13, 238), 230); // the bottom edge
    m.setText(MonitorField::YMaximum, 0, "200");
    m.enter(MonitorField::YMaximum);
    m.setText(MonitorField::TriggerLevel, 0, "50");
    m.enter(MonitorField::TriggerLevel);
    EXPECT_EQ(m.markerTop(13, 238), 174);
}

// ---- Settings section "Monitor" -------------------------------------------------------------------

TEST_F(Monitor, AFreshStartHasTheDefaultSetUp) {
    MonitorModel& m = create();
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = m.channels[i];
        EXPECT_EQ(c.checked, i < 5) << i;
        EXPECT_EQ(c.item, i);
        EXPECT_EQ(c.multiplierEdit.text, QStringLiteral("1.0"));
        EXPECT_EQ(c.offsetEdit.text, QStringLiteral("0"));
        EXPECT_EQ(c.colour, kDefaultChannelColours[i]);
    }
    EXPECT_EQ(m.yMaximumEdit.text, QStringLiteral("100"));
    EXPECT_FALSE(m.zoomChecked);
    EXPECT_FALSE(m.triggerChecked);
    EXPECT_EQ(m.runState().triggerChannel, 0);
    EXPECT_EQ(m.triggerSlope, 0);
    EXPECT_EQ(m.triggerLevelEdit.text, QStringLiteral("0"));
    EXPECT_EQ(m.triggerDelayEdit.text, QStringLiteral("0"));
    EXPECT_EQ(m.timeBaseEdit.position, m.timeBaseEdit.minimum);
    EXPECT_FALSE(m.inputError());
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(Monitor, ASetUpIsWrittenInItsKeyOrderAndRestoredForItsOwnDriveType) {
    MonitorModel& m = create();
    m.setChannelChecked(5, true);
    m.chooseItem(1, 5);
    m.chooseItem(2, 3);
    m.setUnitChecked(2, true);
    m.setText(MonitorField::Multiplier, 3, "2.5");
    m.enter(MonitorField::Multiplier, 3);
    m.setText(MonitorField::Offset, 4, "40");
    m.enter(MonitorField::Offset, 4);
    m.setColour(6, 0x123456);
    m.setText(MonitorField::YMaximum, 0, "250");
    m.enter(MonitorField::YMaximum);
    m.setZoomChecked(true);
    m.setTriggerChecked(true);
    m.clickTriggerSource(2);
    m.setSlope(2);
    m.setText(MonitorField::TriggerLevel, 0, "40");
    m.enter(MonitorField::TriggerLevel);
    m.setText(MonitorField::TriggerDelay, 0, "25");
    m.enter(MonitorField::TriggerDelay);
    m.setText(MonitorField::TimeBase, 0, "8");
    m.enter(MonitorField::TimeBase);
    ASSERT_TRUE(m.WriteMonitorSetup());

    EXPECT_EQ(IniFile(settingsPath()).keys("Monitor"), MonitorModel::settingsKeys());
    EXPECT_EQ(MonitorModel::settingsKeys().first(), QStringLiteral("Inv1"));
    EXPECT_EQ(MonitorModel::settingsKeys().last(), QStringLiteral("Time"));
    for (const auto& [key, value] : QList<std::pair<const char*, const char*>>{{"Inv1", "HXA1"},
                                                                               {"Inv2", "-2004"},
                                                                               {"Inv3", "V110"},
                                                                               {"Select6", "1"},
                                                                               {"Select7", "0"},
                                                                               {"Item2", "5"},
                                                                               {"Unit3", "1"},
                                                                               {"Bi4", "2.5"},
                                                                               {"Plus5", "40"},
                                                                               {"MonCh7", "1193046"},
                                                                               {"Max", "250"},
                                                                               {"Zoom", "1"},
                                                                               {"Trig", "1"},
                                                                               {"TrigCh", "2"},
                                                                               {"TrigSlope", "2"},
                                                                               {"TrigLv", "40"},
                                                                               {"TrigPos", "25"},
                                                                               {"Time", "8.0"}})
        EXPECT_EQ(monitorKey(QString::fromLatin1(key)), QLatin1String(value)) << key;

    // Kept: the next start restores it.
    opts.keepMonitorSetup.setChecked(true);
    MonitorModel& again = create();
    EXPECT_TRUE(again.channels[5].checked);
    EXPECT_EQ(again.channels[1].item, 5);
    EXPECT_TRUE(again.channels[2].unitChecked);
    EXPECT_TRUE(again.channels[2].unitEnabled);
    EXPECT_EQ(again.channels[2].unitLabel, QStringLiteral("(V)"));
    EXPECT_FLOAT_EQ(again.channels[3].multiplier, 2.5f);
    EXPECT_EQ(again.channels[4].offset, 40);
    EXPECT_EQ(again.channels[6].colour, 0x123456);
    EXPECT_EQ(again.axisMaximum, 250.0);
    EXPECT_TRUE(again.zoomChecked);
    EXPECT_TRUE(again.triggerChecked);
    EXPECT_EQ(again.runState().triggerChannel, 2);
    EXPECT_EQ(again.triggerSlope, 2);
    EXPECT_EQ(again.runState().triggerLevel, 40);
    EXPECT_EQ(again.triggerDelayEdit.position, 25);
    // The saved time base is checked, then the recount sets the shortest.
    EXPECT_EQ(again.timeBaseEdit.position, again.timeBaseEdit.minimum);
    EXPECT_TRUE(prompter.boxes().empty());

    // Not kept: forgotten at the next start.
    opts.keepMonitorSetup.setChecked(false);
    MonitorModel& fresh = create();
    EXPECT_FALSE(fresh.channels[5].checked);
    EXPECT_EQ(monitorKey("Inv1"), QStringLiteral("<none>"));
}

TEST_F(Monitor, ASetUpOfAnotherDriveTypeOrCpuIsErasedButAnotherFormKeepsIt) {
    opts.keepMonitorSetup.setChecked(true);
    struct Case {
        const char* type;
        const char* cpu;
        const char* form;
        bool kept;
    };
    for (const Case& c : {Case{"HXA1", "V110", "-4015", true}, Case{"HXB3", "V250", "-4015", false}}) {
        loadDriveType("HXA1", "V110", "-2004");
        MonitorModel& m = create();
        m.setChannelChecked(6, true);
        m.WriteMonitorSetup();
        loadDriveType(c.type, c.cpu, c.form);
        m.BuildMonitorItemLists();
        m.RestoreMonitorSetup();
        EXPECT_EQ(m.channels[6].checked, c.kept) << c.type << c.form;
        EXPECT_EQ(monitorKey("Select7"), c.kept ? QStringLiteral("1") : QStringLiteral("<none>")) << c.type;
    }
    writeMonitorKeys({{"Inv1", "HXA1"}, {"Inv3", "V999"}, {"Select7", "1"}});
    loadDriveType("HXA1", "V110", "-2004");
    EXPECT_FALSE(create().channels[6].checked);
}

TEST_F(Monitor, RestoredValuesPassTheChecksOfTypedOnes) {
    opts.keepMonitorSetup.setChecked(true);
    writeMonitorKeys({{"Inv1", "HXA1"},
                      {"Inv3", "V110"},
                      {"Item4", "99"},
                      {"Unit1", "1"},
                      {"Bi3", "abc"},
                      {"Plus2", "900"},
                      {"MonCh2", "-5"},
                      {"Max", "150.5"},
                      {"TrigCh", "12"},
                      {"TrigSlope", "-1"},
                      {"Time", "0.01"}});
    MonitorModel& m = create();
    ASSERT_EQ(prompter.boxes().size(), 3u) << prompter.texts().join('|').toStdString();
    EXPECT_EQ(prompter.boxes()[0].text, store->Msg(MsgId::DataIncorrect)); // Bi3
    EXPECT_EQ(prompter.boxes()[1].text, store->Msg(MsgId::OutOfRange));    // Plus2
    EXPECT_EQ(prompter.boxes()[2].text, store->Msg(MsgId::OutOfRange));    // Time
    EXPECT_EQ(m.channels[2].multiplierEdit.text, QStringLiteral("abc"));
    EXPECT_EQ(m.channels[1].offsetEdit.text, QStringLiteral("500"));
    EXPECT_EQ(m.channels[3].item, 0);
    EXPECT_FALSE(m.channels[0].unitChecked); // FD00 has no changed unit
    EXPECT_EQ(m.channels[1].colour, kDefaultChannelColours[1]);
    EXPECT_EQ(m.axisMaximum, 150.5);
    EXPECT_EQ(m.yMaximumEdit.position, 150);
    EXPECT_EQ(m.triggerSourceIndex, 0);
    EXPECT_EQ(m.triggerSlope, 0);
    EXPECT_EQ(m.timeBaseEdit.position, m.timeBaseEdit.minimum);
    // The refused text keeps the window open until it is put right.
    EXPECT_FALSE(m.mayClose());
}

// ---- Activation -----------------------------------------------------------------------------------

TEST_F(Monitor, ActivationMeasuresTheLinkAndReadsTheBases) {
    MonitorModel& m = create();
    opts.timedTestReads.setPosition(5);
    opts.readTimeMargin.setPosition(50);
    replyMs = 37;
    m.connectAndMeasure();
    EXPECT_TRUE(m.portOk());
    EXPECT_EQ(m.runState().readTimeMs, 37);
    EXPECT_EQ(m.runState().minItemTimeMs, 100);
    EXPECT_TRUE(m.runState().startEnabled);
    EXPECT_EQ(m.runState().bitOnValue, 15);
    // From the working table (on-line option off): 2000 / 10 V, the capacity's current.
    EXPECT_FLOAT_EQ(m.conversionBases().volt, 200.0f);
    EXPECT_GT(m.conversionBases().ampere, 0.0f);

    opts.readTimeMargin.setPosition(0);
    replyMs = 0;
    m.connectAndMeasure();
    EXPECT_EQ(m.runState().minItemTimeMs, 50);

    // No drive: nothing to start, the slowest pace.
    driveAnswers = false;
    m.connectAndMeasure();
    EXPECT_FALSE(m.portOk());
    EXPECT_FALSE(m.runState().startEnabled);
    EXPECT_EQ(m.runState().minItemTimeMs, 500);
    const int items = m.runState().activeCount;
    EXPECT_EQ(m.timeBaseEdit.position, 500 * items * 5);
    // The drive back: the next activation gives the shortest time base again.
    driveAnswers = true;
    m.connectAndMeasure();
    EXPECT_EQ(m.timeBaseEdit.position, 50 * items * 5);

    // While a run owns the link the activation sends nothing.
    m.runLock().setRunning(true);
    const std::size_t writes = port.writes.size();
    m.connectAndMeasure();
    EXPECT_EQ(port.writes.size(), writes);
}

// Opened on a drive that has gone, the monitor knows it from one connect: its probe and the
// probe's one repeat, two time-outs and the late second; Start disabled, the slowest item time.
TEST_F(Monitor, OpenedOnASilentDriveItKnowsItWithOneConnect) {
    for (const int timeoutMs : {200, 1000, 5000}) {
        SCOPED_TRACE(timeoutMs);
        link.setReplyTimeout(timeoutMs);
        MonitorModel& m = create();
        driveAnswers = false;
        const std::size_t writes = port.writes.size();
        const qint64 t = clock.now();
        m.connectAndMeasure();
        EXPECT_EQ(port.writes.size() - writes, 2u);
        EXPECT_LE(clock.now() - t, 2 * timeoutMs + 1000 + 10);
        EXPECT_FALSE(m.portOk());
        EXPECT_FALSE(m.runState().startEnabled);
        EXPECT_EQ(m.runState().minItemTimeMs, 500);
        driveAnswers = true;
        clock.advance(61 * 1000); // what the drive owed is given up
    }
}

// One reply of the activation comes two time-outs late: the connect's probe (of the bases or of
// the speed test) or one of the speed test's reads; or a read is answered but held (a drive
// still busy with a late reply). The drive stays connected and the link measures as it does
// without the fault.
TEST_F(Monitor, ActivationBehindALateReplyStaysConnectedAndMeasuresTheLink) {
    MonitorModel& m = create();
    opts.timedTestReads.setPosition(5);
    opts.readTimeMargin.setPosition(50);
    replyMs = 37;
    m.connectAndMeasure(); // the drive has answered on this line
    const auto answer = port.responder;
    struct Held {
        int request; // counted from the activation's first
        int extraMs;
    };
    for (const Held h :
         {Held{1, 400}, Held{2, 400}, Held{3, 400}, Held{5, 400}, Held{7, 400}, Held{4, 150}}) {
        SCOPED_TRACE(testing::Message() << h.request << " +" << h.extraMs);
        int sent = 0;
        port.responder = [&, answer](const FakeSerialPort::Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out = answer(request);
            if (++sent == h.request)
                for (FakeSerialPort::Chunk& c : out)
                    c.delayMs += h.extraMs;
            return out;
        };
        m.connectAndMeasure();
        EXPECT_TRUE(m.portOk());
        EXPECT_TRUE(m.runState().startEnabled);
        EXPECT_FALSE(link.lastExchangeFailed());
        EXPECT_EQ(m.runState().readTimeMs, 37);
        EXPECT_EQ(m.runState().minItemTimeMs, 100);
        clock.advance(1000); // the late reply lands before the next activation
        port.purgeInput();
    }
    port.responder = answer;
}

// The activation asks the drive in the background: it returns with the probe written, and a
// command asked meanwhile (Key Pad clicked in the main window) runs at once, never queued
// behind the whole measurement nor met by commands greyed after it was clicked. Stepping the
// line brings the same outcome a waiting activation had, for a drive that answers and for one
// that has gone; a window left meanwhile ends the pass after the exchange under way.
TEST_F(Monitor, TheActivationAsksTheDriveWithoutHoldingTheLine) {
    struct Row {
        bool answers, left;
        std::size_t writes;        // the activation's requests
        std::optional<int> itemMs; // the item time it leaves (none: as it was)
    };
    for (const Row& r : {Row{true, false, 1 + 5, 100}, Row{false, false, 2, 500}, Row{true, true, 1, {}}}) {
        SCOPED_TRACE(testing::Message() << r.answers << r.left);
        WatchedLink rig(context, clock, installedAsker());
        rig.line.responder = port.responder;
        MonitorModel m(context, opts, rig.link);
        m.EraseMonitorSetupUnlessKept();
        ASSERT_TRUE(m.BuildMonitorItemLists());
        m.RestoreMonitorSetup();
        opts.timedTestReads.setPosition(5);
        opts.readTimeMargin.setPosition(50);
        replyMs = 37;
        driveAnswers = r.answers;
        const MonitorRunState before = m.runState();
        const qint64 start = clock.now();
        m.connectAndMeasure();
        EXPECT_TRUE(m.activating());
        EXPECT_EQ(rig.line.writes.size(), 1u) << "the probe alone";
        EXPECT_EQ(clock.now(), start);
        bool ran = false;
        rig.link.whenLineFree([&] { ran = true; });
        EXPECT_TRUE(ran) << "the line is free for the user's command";
        if (r.left)
            m.activationLeft();

        rig.stepUntil([&] { return !m.activating(); });
        EXPECT_LE(clock.now() - start, 2 * rig.link.replyTimeoutMs() + 1000 + 10);
        EXPECT_EQ(rig.line.writes.size(), r.writes);
        EXPECT_EQ(rig.link.driveCommandsOn(), r.answers);
        EXPECT_EQ(m.runState().minItemTimeMs, r.itemMs.value_or(before.minItemTimeMs));
        EXPECT_EQ(m.runState().startEnabled, r.itemMs ? r.answers : before.startEnabled);
        if (r.itemMs)
            EXPECT_EQ(m.portOk(), r.answers);
    }
    EXPECT_TRUE(prompter.texts().isEmpty()) << "a gone drive is told by the disabled Start";
}

TEST_F(Monitor, AnActivationStartedInsideAnotherDoesNothing) {
    MonitorModel& m = create();
    int nested = -1;
    port.responder = [&](const FakeSerialPort::Bytes& request) {
        if (nested < 0) {
            const int before = requests;
            nested = 0;
            m.connectAndMeasure(); // a box closing during the first pass activates the window again
            nested = requests - before;
        }
        ++requests;
        std::vector<FakeSerialPort::Chunk> out;
        for (SimReply& r : sim.respondToWrite(request))
            out.push_back({std::move(r.bytes), 0});
        return out;
    };
    m.connectAndMeasure();
    EXPECT_EQ(nested, 0);
    EXPECT_FALSE(m.activating());
}

TEST_F(Monitor, VoltageFallsBackOnTheFormsDigit) {
    struct Case {
        const char* form;
        int volts;
    };
    for (const Case& c : {Case{"-2004", 200}, Case{"-4015", 400}, Case{"S24..", 400}, Case{"S2", 0},
                          Case{"-", 0}, Case{"", 0}, Case{"-X04", 0}})
        EXPECT_EQ(FallbackVoltage(QString::fromLatin1(c.form)), c.volts) << c.form;
}

} // namespace

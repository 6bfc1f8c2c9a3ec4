// The monitor's set-up as its files hold it: taken from the model, written and read back into
// another model through the model's own handlers; the older form's five channels; a refused
// file; and the CSV export's captions and channel texts.
#include "monitor/MonitorRecord.h"

#include "support/MonitorFixture.h"

namespace {

class MonitorRecordTest : public MonitorFixture {
protected:
    // A user's set-up: CH1 item 3 at 0.7 and offset 10, CH4 item 7 at 2.5, CH2 off; the level
    // trigger on CH4, falling, at 40 with a 25 % delay; the Y axis at 150.
    void makeSetUp(MonitorModel& m) {
        for (int i = 0; i < kMonitorChannels; ++i)
            m.setChannelChecked(i, i == 0 || i == 3);
        m.chooseItem(0, 3);
        m.step(MonitorField::Multiplier, 0, 7);
        m.setText(MonitorField::Offset, 0, QStringLiteral("10"));
        ASSERT_TRUE(m.enter(MonitorField::Offset, 0));
        m.chooseItem(3, 7);
        m.step(MonitorField::Multiplier, 3, 25);
        m.setText(MonitorField::YMaximum, 0, QStringLiteral("150"));
        ASSERT_TRUE(m.enter(MonitorField::YMaximum));
        m.setTriggerChecked(true);
        m.setTriggerSourceIndex(3);
        m.setSlope(1);
        m.setText(MonitorField::TriggerLevel, 0, QStringLiteral("40"));
        ASSERT_TRUE(m.enter(MonitorField::TriggerLevel));
        m.setText(MonitorField::TriggerDelay, 0, QStringLiteral("25"));
        ASSERT_TRUE(m.enter(MonitorField::TriggerDelay));
    }

    static void fill(MonitorModel& m, int samples) {
        m.samples.clear();
        for (int p = 0; p < samples; ++p) {
            const int at = m.samples.appendSample(quint32(p * 100));
            m.samples.setValue(0, at, 12.5 + p);
            m.samples.setValue(3, at, -3.25 * p);
        }
    }
};

TEST_F(MonitorRecordTest, ASavedSetUpAndItsSamplesComeBackIntoAnotherModel) {
    MonitorModel& a = create();
    makeSetUp(a);
    fill(a, 6);
    const MonitorFileHeader written = monitorFileHeader(a, QStringLiteral("0.5"), 2);
    EXPECT_EQ(written.channels[0].multiplierStep, 7);
    EXPECT_EQ(written.channels[0].offset, QStringLiteral("10"));
    EXPECT_FALSE(written.channels[1].on);
    const QStringList lines = MonitorFile::lines(written, a.samples);

    std::unique_ptr<MonitorModel> first = std::move(model);
    MonitorModel& b = create();
    MonitorFileHeader read = monitorFileHeader(b, QString(), 0);
    const MonitorFile::ReadResult r =
        MonitorFile::read(lines, context, b.runState().itemCount, prompter, read, b.samples);
    ASSERT_EQ(r.outcome, MonitorFile::ReadResult::Outcome::Read);
    applyMonitorFileHeader(b, read, r);

    for (int i : {0, 3}) {
        const MonitorChannel& x = a.channels[std::size_t(i)];
        const MonitorChannel& y = b.channels[std::size_t(i)];
        EXPECT_EQ(y.checked, x.checked) << i;
        EXPECT_EQ(y.item, x.item) << i;
        EXPECT_EQ(y.itemText, x.itemText) << i;
        EXPECT_FLOAT_EQ(y.multiplier, x.multiplier) << i;
        EXPECT_EQ(y.multiplierEdit.text, x.multiplierEdit.text) << i;
        EXPECT_EQ(y.offset, x.offset) << i;
        EXPECT_EQ(b.ChannelRecs[std::size_t(i)].ParaIndex, a.ChannelRecs[std::size_t(i)].ParaIndex) << i;
    }
    EXPECT_FALSE(b.channels[1].checked);
    EXPECT_EQ(b.runState().activeCount, a.runState().activeCount);
    EXPECT_EQ(b.yMaximumEdit.text, QStringLiteral("150"));
    EXPECT_TRUE(b.triggerChecked);
    EXPECT_EQ(b.triggerSourceIndex, 3);
    EXPECT_EQ(b.triggerSlope, 1);
    EXPECT_EQ(b.runState().triggerLevel, 40);
    EXPECT_EQ(b.triggerDelayEdit.text, QStringLiteral("25"));
    EXPECT_EQ(read.timeBase, QStringLiteral("0.5"));
    EXPECT_EQ(read.errorCount, 2);
    // The samples are drawn with the restored scale, as they were before.
    ASSERT_EQ(b.samples.size(), 6);
    for (int p = 0; p < 6; ++p)
        for (int c : {0, 3}) {
            EXPECT_DOUBLE_EQ(b.samples.unscaled(c, p), a.samples.unscaled(c, p)) << c << " " << p;
            EXPECT_DOUBLE_EQ(b.samples.plotted(c, p), a.samples.plotted(c, p)) << c << " " << p;
        }
    EXPECT_EQ(scrollingChannelOf(b), 0);
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join('|').toStdString();
}

TEST_F(MonitorRecordTest, TheFilesStatusItemsAreTheOptionsAndCountTheRows) {
    MonitorModel& m = create();
    ASSERT_TRUE(opts.monitorShowsAlarms.enabled());
    opts.monitorShowsAlarms.setChecked(false);
    opts.monitorShowsTrips.setChecked(false);
    m.SetStatusItems();
    MonitorFileHeader h = monitorFileHeader(m, QStringLiteral("0.3"), 0);
    h.alarmWord = h.tripCode = true;
    h.tripData = false;
    MonitorFile::ReadResult r;
    r.outcome = MonitorFile::ReadResult::Outcome::Read;
    applyMonitorFileHeader(m, h, r);
    EXPECT_TRUE(opts.monitorShowsAlarms.checked());
    EXPECT_TRUE(opts.monitorShowsTrips.checked());
    EXPECT_FALSE(opts.monitorShowsTripData.checked());
    EXPECT_TRUE(m.runState().watchAlarm);
    EXPECT_TRUE(m.runState().watchTrip);
    EXPECT_FALSE(m.channels[8].shown); // both status items take CH9 and CH10
    EXPECT_FALSE(m.channels[9].shown);
}

TEST_F(MonitorRecordTest, TheOlderFormSetsItsFiveChannelsAndLeavesTheRest) {
    MonitorModel& m = create();
    makeSetUp(m);
    m.setChannelChecked(6, true);
    m.chooseItem(6, 5);
    MonitorFileHeader h = monitorFileHeader(m, QStringLiteral("0.3"), 0);
    for (int i = 0; i < 5; ++i)
        h.channels[std::size_t(i)] = {i + 1, 10, QStringLiteral("5"), i == 1};
    h.yMaximum = QStringLiteral("200");
    MonitorFile::ReadResult r;
    r.outcome = MonitorFile::ReadResult::Outcome::Read;
    r.form = MonitorFile::Form::Older;
    r.channels = MonitorFile::kOlderChannels;
    applyMonitorFileHeader(m, h, r);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m.channels[std::size_t(i)].item, i + 1);
        EXPECT_EQ(m.channels[std::size_t(i)].offset, 5);
        EXPECT_EQ(m.channels[std::size_t(i)].checked, i == 1);
    }
    EXPECT_TRUE(m.channels[6].checked);
    EXPECT_EQ(m.channels[6].item, 5);
    EXPECT_EQ(m.yMaximumEdit.text, QStringLiteral("200"));
    EXPECT_TRUE(m.triggerChecked); // the older form has no trigger line

    // A refused file changes nothing.
    const MonitorFileHeader before = monitorFileHeader(m, QStringLiteral("0.3"), 0);
    h.channels[1].on = false;
    applyMonitorFileHeader(m, h, MonitorFile::ReadResult{});
    EXPECT_TRUE(m.channels[1].checked);
    EXPECT_EQ(monitorFileHeader(m, QStringLiteral("0.3"), 0).channels[1].itemIndex,
              before.channels[1].itemIndex);
}

TEST_F(MonitorRecordTest, TheCsvSetUpNamesTheItemsOfTheChannelsThatAreOn) {
    MonitorModel& m = create();
    makeSetUp(m);
    fill(m, 3);
    const MonitorCsvSetup s = monitorCsvSetup(m, 4);
    EXPECT_EQ(s.typeName + s.formName, QStringLiteral("HXA1-2004"));
    EXPECT_EQ(s.itemCaption, QStringLiteral("Monitor Item")); // the shipped language's "PrintMon"
    EXPECT_EQ(s.channelCaption, store->Msg(55));
    EXPECT_EQ(s.errorCaption, store->Msg(84));
    EXPECT_EQ(s.errorCount, QStringLiteral("4"));
    const QStringList lines = MonitorCsv::lines(s, m.samples);
    ASSERT_EQ(lines.size(), 6 + 3);
    EXPECT_EQ(lines[1].split(u',').value(1), m.channels[0].itemText);
    EXPECT_EQ(lines[1].split(u',').value(2), QStringLiteral("-")); // CH2 is off
    EXPECT_EQ(lines[2].split(u',').value(1), QStringLiteral("0.7"));
    EXPECT_EQ(lines[3].split(u',').value(1), QStringLiteral("10"));
    EXPECT_EQ(lines[6].split(u',').value(1), QStringLiteral("12.500000"));
}

} // namespace

// The level trigger: the test on both slopes in whole units, the pre-trigger share, and
// triggered runs against the simulated drive in virtual time (what is kept before the
// trigger, where the samples after it begin, Stop while waiting, a source that is off).
#include "monitor/LevelTrigger.h"
#include "support/MonitorRunFixture.h"

namespace {

TEST(LevelTrigger, FiresOnTheFirstStrictCrossingInTheSlopesDirection) {
    struct Row {
        const char* name;
        int slope, level;
        float multiplier;
        qint16 offset;
        std::vector<double> values;
        int fires; // index of the value that fires; -1 none
    };
    const Row rows[] = {
        {"exactly at the level neither fires nor arms", LevelTrigger::Up, 50, 1.0f, 0, {10, 50, 50.0001}, 2},
        {"up from above must first come back", LevelTrigger::Up, 50, 1.0f, 0, {60, 70, 40, 60}, 3},
        {"up never fires going down", LevelTrigger::Up, 50, 1.0f, 0, {60, 40, 30}, -1},
        {"down from above", LevelTrigger::Down, 50, 1.0f, 0, {60, 40}, 1},
        {"down from below must first go up", LevelTrigger::Down, 50, 1.0f, 0, {40, 30, 60, 40}, 3},
        {"both, the first crossing either way", LevelTrigger::Both, 50, 1.0f, 0, {40, 60}, 1},
        {"both from above", LevelTrigger::Both, 50, 1.0f, 0, {60, 40}, 1},
        {"scale: 20 x 2 + 10 is at the level", LevelTrigger::Up, 50, 2.0f, 10, {10, 20, 20.0001}, 2},
        {"level 0 with a negative value", LevelTrigger::Up, 0, 1.0f, 0, {-5, 0.0001}, 1},
    };
    for (const Row& r : rows) {
        LevelTrigger t(r.level, r.slope, r.multiplier, r.offset);
        int fired = -1;
        for (int i = 0; i < int(r.values.size()) && fired < 0; ++i)
            if (t.test(r.values[std::size_t(i)]))
                fired = i;
        EXPECT_EQ(fired, r.fires) << r.name;
    }
    // A value that is not there (a failed first read) neither fires nor arms.
    LevelTrigger t(50, LevelTrigger::Up, 1.0f, 0);
    EXPECT_FALSE(t.test(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(t.test(60));
}

TEST(LevelTrigger, ThePreTriggerShareIsCountedInWholeSamples) {
    EXPECT_EQ(preTriggerCount(10, 1000), 100);
    EXPECT_EQ(preTriggerCount(5, 600), 30);
    EXPECT_EQ(preTriggerCount(29, 3000), 870);
    EXPECT_EQ(preTriggerCount(50, 625), 312);
    EXPECT_EQ(preTriggerCount(0, 625), 0);
    EXPECT_EQ(preTriggerCount(100, 625), 625);

    // The buffer holds at most pre samples between tests, the newest last.
    PreTriggerBuffer b(3);
    for (quint32 t = 0; t < 10; ++t) {
        BufferedSample s;
        s.elapsedMs = t;
        b.push(s);
        EXPECT_LE(b.size(), 4);
        EXPECT_EQ(b.newest().elapsedMs, t);
        b.trim();
    }
    ASSERT_EQ(b.size(), 3);
    EXPECT_EQ(b.at(0).elapsedMs, 7u);
}

class TriggeredRun : public MonitorRunFixture {
protected:
    void SetUp() override {
        MonitorRunFixture::SetUp();
        // CH1 the frequency command (follows FA01), CH2 the DC bus voltage.
        useChannels({{0, 1}, {1, 4}});
        setRaw("FD05", 282);
        setTimeBase("0.5"); // 100 ms per sample
        model->setTriggerChecked(true);
        model->setTriggerSourceIndex(0);
        model->setTriggerChecked(true);
        model->setText(MonitorField::TriggerLevel, 0, QStringLiteral("50"));
        ASSERT_TRUE(model->enter(MonitorField::TriggerLevel));
    }
    void delay(int percent) {
        model->setText(MonitorField::TriggerDelay, 0, QString::number(percent));
        ASSERT_TRUE(model->enter(MonitorField::TriggerDelay));
    }
    // FA01 holds `before` for the first `samples` samples, then `after`.
    void commandSteps(int samples, int before, int after) {
        setRaw("FA01", before);
        afterEachSample([=, this](int taken) {
            if (taken == samples)
                setRaw("FA01", after);
        });
    }
};

TEST_F(TriggeredRun, KeepsThePreTriggerPartInFrontOfTheSamplesAfterTheTrigger) {
    delay(50);
    const int n = model->runState().pointsPerChannel;
    ASSERT_EQ(n, 625);
    const int pre = 312;
    commandSteps(1000, 1000, 9000); // 10 % for 1,000 samples, then 90 %
    bool waitingSeen = false;
    afterEachSample([&](int) { waitingSeen = waitingSeen || run->display().waiting; });
    EXPECT_EQ(run->start(), RunEnd::Completed);
    EXPECT_TRUE(waitingSeen);
    EXPECT_FALSE(run->display().waiting);

    const SampleStore& s = model->samples;
    EXPECT_EQ(model->lastPoint(), n);
    ASSERT_EQ(s.size(), n + 1);
    EXPECT_EQ(model->sampleWindow.triggerRingIndex(), pre);
    for (int p = 0; p <= n; ++p) {
        ASSERT_EQ(s.kind(0, p), SampleStore::PointKind::Measured) << p;
        ASSERT_DOUBLE_EQ(s.plotted(0, p), p < pre ? 10.0 : 90.0) << p;
        ASSERT_DOUBLE_EQ(s.unscaled(1, p), 282.0) << p;
    }
    // Before the trigger the times count from arming: the last 312 of the 1,000 waiting
    // samples; after it they count from the trigger.
    EXPECT_EQ(s.sampleTime(0), quint32((1000 - pre) * 100));
    EXPECT_EQ(s.sampleTime(pre - 1), quint32(999 * 100));
    EXPECT_EQ(s.sampleTime(pre), 0u);
    EXPECT_EQ(s.sampleTime(pre + 1), 100u);
    EXPECT_EQ(s.sampleTime(n), quint32((n - pre) * 100));
}

TEST_F(TriggeredRun, AFallingTriggerWithoutDelayKeepsNothingBeforeIt) {
    delay(0);
    model->setSlope(LevelTrigger::Down);
    commandSteps(40, 9000, 1000);
    EXPECT_EQ(run->start(), RunEnd::Completed);
    const SampleStore& s = model->samples;
    EXPECT_EQ(s.size(), model->runState().pointsPerChannel + 1);
    EXPECT_EQ(model->sampleWindow.triggerRingIndex(), 0);
    EXPECT_DOUBLE_EQ(s.plotted(0, 0), 10.0);
    EXPECT_EQ(s.sampleTime(0), 0u);
}

TEST_F(TriggeredRun, AFewSamplesBeforeAnEarlyTriggerAndStopWhileWaiting) {
    // The trigger comes before the buffer has filled: only the samples before it are kept.
    delay(50);
    commandSteps(7, 1000, 9000);
    EXPECT_EQ(run->start(), RunEnd::Completed);
    EXPECT_EQ(model->sampleWindow.triggerRingIndex(), 7);
    EXPECT_DOUBLE_EQ(model->samples.plotted(0, 6), 10.0);
    EXPECT_DOUBLE_EQ(model->samples.plotted(0, 7), 90.0);

    // Stop during the wait after waiting sample 37: samples 0..36 are kept, one more is
    // taken, and the run ends there. (The command still rises after 7 samples: a falling
    // trigger never fires on it.)
    model->setSlope(LevelTrigger::Down);
    setRaw("FA01", 1000);
    pacer.waits = 0;
    pacer.onWait = [this](int wait) {
        if (wait == 38)
            run->stop();
    };
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    EXPECT_EQ(model->lastPoint(), 37);
    EXPECT_EQ(model->samples.size(), 38);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false, true, false}));
}

// The drive is silent for the run's first sample (kept from the wait) and for the first
// sample after the trigger (the seventh of the run): both are failures of the record.
TEST_F(TriggeredRun, AFailedFirstSampleAndOneRightAtTheTriggerAreErrors) {
    delay(10);
    commandSteps(5, 1000, 9000);
    QObject::connect(run.get(), &MonitorRun::runStarted, run.get(), [this] { driveAnswers = false; });
    afterEachSample([this](int taken) { driveAnswers = taken != 6; });
    pacer.onWait = [this](int wait) {
        if (wait == 9)
            run->stop();
    };
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    const SampleStore& s = model->samples;
    ASSERT_EQ(model->sampleWindow.triggerRingIndex(), 5);
    EXPECT_EQ(s.kind(0, 5), SampleStore::PointKind::ZeroOnError);
    EXPECT_DOUBLE_EQ(s.plotted(0, 5), 0.0);
    EXPECT_EQ(s.kind(0, 6), SampleStore::PointKind::Measured);
    EXPECT_EQ(s.kind(0, 0), SampleStore::PointKind::RepeatOnError);
    EXPECT_DOUBLE_EQ(s.plotted(0, 0), 0.0);
    EXPECT_EQ(s.kind(0, 1), SampleStore::PointKind::Measured);
    EXPECT_EQ(run->display().errorCount, 2);
    EXPECT_TRUE(run->display().errorsShown);
}

TEST_F(TriggeredRun, ASourceThatIsNotSampledRefusesTheStart) {
    model->setTriggerSourceIndex(5);
    model->setTriggerChecked(true);
    EXPECT_EQ(run->start(), RunEnd::Refused);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, store->Msg(MsgId::NoChannelSelected));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_TRUE(lockStates.empty());
}

} // namespace

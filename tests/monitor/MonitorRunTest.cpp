// A normal monitor run against the simulated drive in virtual time: the schedule, the values
// each kind of item gives, failed reads, the alarm word and the trip code, RUN and STOP of
// the drive on the wire, and the window lock on every way out of a run.
#include "support/DrivesimSupport.h"
#include "support/MonitorRunFixture.h"

#include "monitor/ChannelValues.h"

#include <stdexcept>

namespace {

using PointKind = SampleStore::PointKind;

// Item indices of HXA1's monitor list.
constexpr int kOutputFrequency = 0;  // FD00, Mul 100
constexpr int kFrequencyCommand = 1; // FD01, follows FA01 whatever the motor does
constexpr int kTorque = 5;           // FD06, 16-bit signed, Mul 10
constexpr int kPower = 7;            // FD10, 32-bit unsigned, Mul 10
constexpr int kTerminalX2 = 9;       // FD07 bit 1

class MonitorRunTest : public MonitorRunFixture {};

TEST_F(MonitorRunTest, SamplesKeepAnAbsoluteScheduleAndALateOneIsCountedNotMadeUp) {
    useChannels({{0, kFrequencyCommand}});
    // 251 ms per division: 50.2 ms per sample, no whole number of milliseconds.
    setTimeBase("0.251");
    // Each exchange costs 7 ms, so a sample costs a share of its period that varies.
    port.responder = [this, inner = port.responder](const FakeSerialPort::Bytes& r) {
        pacer.advance(7000);
        return inner(r);
    };
    EXPECT_EQ(run->start(), RunEnd::Completed);
    EXPECT_EQ(run->periodMicros(), 50200);
    const SampleStore& s = model->samples;
    ASSERT_EQ(s.size(), model->runState().pointsPerChannel + 1);
    for (int k = 0; k < s.size(); ++k)
        ASSERT_EQ(s.sampleTime(k), quint32(k * 502 / 10)) << k;
    EXPECT_EQ(run->lateSamples(), 0);

    // A wait that finds two and a half periods gone: the next sample comes at once and is late;
    // the slot it missed is not made up, the schedule goes on from the slot it fell in.
    setTimeBase("0.3");
    pacer.onWait = [this](int wait) {
        if (wait == 5)
            pacer.advance(150000);
        if (wait == 12)
            run->stop();
    };
    pacer.waits = 0;
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    std::vector<quint32> times;
    for (int k = 0; k < s.size(); ++k)
        times.push_back(s.sampleTime(k));
    EXPECT_EQ(times, (std::vector<quint32>{0, 60, 120, 180, 240, 397, 420, 480, 540, 600, 660, 720}));
    EXPECT_EQ(run->lateSamples(), 1);
}

TEST_F(MonitorRunTest, EveryKindOfItemGivesItsValueAtEverySample) {
    useChannels({{0, kFrequencyCommand}, {1, kPower}, {2, kTerminalX2}, {3, kTorque}});
    setRaw("FA01", 1250);
    setRaw("FD10", 3000000000LL); // above 2^31: a value, not an error
    setRaw("FD07", 0x0002);
    setRaw("FD06", -500);
    model->step(MonitorField::Multiplier, 0, 20);
    model->step(MonitorField::Offset, 0, 10);
    EXPECT_EQ(run->start(), RunEnd::Completed);

    const SampleStore& s = model->samples;
    const int n = model->runState().pointsPerChannel;
    EXPECT_EQ(n, 1250 / 4);
    EXPECT_EQ(model->lastPoint(), n);
    ASSERT_EQ(s.size(), n + 1);
    for (int p : {0, 1, n / 2, n}) {
        EXPECT_DOUBLE_EQ(s.unscaled(0, p), 12.5) << p;
        EXPECT_DOUBLE_EQ(s.plotted(0, p), 12.5 * 2 + 10) << p;
        EXPECT_DOUBLE_EQ(s.unscaled(1, p), 300000000.0) << p;
        EXPECT_DOUBLE_EQ(s.unscaled(2, p), 15.0) << p; // the bit's value of the options
        EXPECT_DOUBLE_EQ(s.unscaled(3, p), -50.0) << p;
        EXPECT_FALSE(s.hasPoint(4, p));
    }
    const RunDisplay& d = run->display();
    EXPECT_EQ(d.readouts[0], QStringLiteral("12.50"));
    EXPECT_EQ(d.readouts[1], QStringLiteral("300000000.0"));
    EXPECT_EQ(d.readouts[2], QStringLiteral("15"));
    EXPECT_EQ(d.readouts[3], QStringLiteral("-50.0"));
    EXPECT_EQ(d.readouts[4], QStringLiteral("0"));
    EXPECT_FALSE(d.errorsShown);
    // The chart followed the first channel: the newest point five samples inside the right.
    EXPECT_EQ(model->sampleWindow.extent(), n + 5);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
}

TEST(ChannelValues, OverModbusOnlyA32BitItemsWholeValueOrHighBitIsCut) {
    const struct {
        int byte;
        const char* bit;
        bool cutOverModbus;
    } cases[] = {
        {4, "", true},  {4, "03", false}, {4, "15", false}, {4, "16", true},
        {4, "x", true}, {2, "", false},   {2, "03", false},
    };
    for (const auto& c : cases) {
        MonChannelRec rec;
        rec.Byte = c.byte;
        rec.BitNo = QString::fromLatin1(c.bit);
        EXPECT_EQ(ChannelValues::cutToLowHalf(rec, Protocol::Modbus), c.cutOverModbus) << c.byte << c.bit;
        EXPECT_FALSE(ChannelValues::cutToLowHalf(rec, Protocol::Inverter)) << c.byte << c.bit;
    }
}

TEST_F(MonitorRunTest, OverModbusA32BitItemRefusesTheStartWithTheReason) {
    SimConfig modbus = sim.config();
    modbus.protocol = SimProtocol::Modbus;
    sim.setConfig(modbus);
    link.updateSettings([](LinkSettings& s) { s.protocol = 1; });
    useChannels({{0, kFrequencyCommand}, {1, kPower}, {2, kTerminalX2}});
    setRaw("FD10", 100000);
    EXPECT_EQ(run->start(), RunEnd::Refused);
    EXPECT_EQ(prompter.texts(), QStringList{store->Msg(MsgId::WideItemsNotMonitored) +
                                            "\nCH2 : " + model->channels[1].itemText});
    EXPECT_TRUE(lockStates.empty());
    EXPECT_EQ(model->samples.size(), 0);

    // Without it the run goes ahead over MODBUS.
    prompter.clear();
    useChannels({{0, kFrequencyCommand}, {2, kTerminalX2}});
    EXPECT_EQ(run->start(), RunEnd::Completed);
    EXPECT_TRUE(prompter.boxes().empty());
}

// The channels are read back to back from a drive that answers one request at a time and in
// order, 5 % or 20 % of its replies late by none to five time-outs in quarters or a few
// seconds: every point is its own channel's value, or the value a failed read holds (0 before
// any good one), never another channel's.
TEST_F(MonitorRunTest, EveryPointIsItsOwnChannelsValueOrHeldAtEveryLateness) {
    useChannels({{0, kFrequencyCommand}, {1, kPower}, {2, kTorque}});
    setRaw("FA01", 1250);
    setRaw("FD10", 3000);
    setRaw("FD06", -500);
    const double values[3] = {12.5, 300.0, -50.0};
    constexpr int kTimeoutMs = 80;
    link.setReplyTimeout(kTimeoutMs);
    simtest::attachInOrder(port, clock, sim);
    const SampleStore& s = model->samples;
    simtest::forEachLateDrive(sim, kTimeoutMs, [&](SimProtocol protocol, int late) {
        link.updateSettings([&](LinkSettings& l) { l.protocol = protocol == SimProtocol::Modbus ? 1 : 0; });
        run->start();
        int wrong = 0;
        for (int k = 0; k < s.size(); ++k)
            for (int ch = 0; ch < 3; ++ch)
                if (s.hasPoint(ch, k) && s.unscaled(ch, k) != values[ch] && s.unscaled(ch, k) != 0.0)
                    ++wrong;
        EXPECT_EQ(wrong, 0);
        clock.advance(2 * late + 1000); // the replies still owed come before the next run
    });
}

TEST_F(MonitorRunTest, StopWhileWaitingKeepsTheSamplesTakenAndAFailedReadIsAlwaysAnError) {
    useChannels({{0, kFrequencyCommand}, {1, kFrequencyCommand}});
    setRaw("FA01", 4000);
    // The drive is silent for the first sample and for sample 5.
    QObject::connect(run.get(), &MonitorRun::runStarted, run.get(), [this] { driveAnswers = false; });
    afterEachSample([this](int taken) { driveAnswers = taken != 5; });
    pacer.onWait = [this](int wait) {
        if (wait == 8)
            run->stop();
    };
    for (bool zeroOnError : {true, false}) {
        SCOPED_TRACE(zeroOnError);
        opts.zeroOnCommError.setChecked(zeroOnError);
        pacer.waits = 0;
        EXPECT_EQ(run->start(), RunEnd::Stopped);
        const SampleStore& s = model->samples;
        EXPECT_EQ(model->lastPoint(), 7);
        EXPECT_EQ(s.size(), 8);
        for (int ch : {0, 1}) {
            // A silent first sample is no value of 0 but an error, plotted at 0.
            EXPECT_NE(s.kind(ch, 0), PointKind::Measured);
            EXPECT_DOUBLE_EQ(s.plotted(ch, 0), 0.0);
            EXPECT_EQ(s.kind(ch, 5), zeroOnError ? PointKind::ZeroOnError : PointKind::RepeatOnError);
            EXPECT_DOUBLE_EQ(s.plotted(ch, 5), zeroOnError ? 0.0 : 40.0);
            EXPECT_DOUBLE_EQ(s.plotted(ch, 6), 40.0);
        }
        EXPECT_EQ(run->display().errorCount, 2); // one per sample, however many channels failed
        EXPECT_TRUE(run->display().errorsShown);
    }
}

TEST_F(MonitorRunTest, StopOnASilentDriveEndsTheRunAfterTheExchangeInProgressAndDropsItsSample) {
    useChannels(
        {{0, kFrequencyCommand}, {1, kFrequencyCommand}, {2, kFrequencyCommand}, {3, kFrequencyCommand}});
    // Three samples, then the drive falls silent; Stop comes while the fourth sample's first
    // read waits for its time-out.
    afterEachSample([this](int taken) { driveAnswers = taken < 3; });
    std::size_t writesAtStop = 0;
    pacer.onServe = [&](int serve) {
        if (serve == 3 * 4 + 1) {
            run->stop();
            writesAtStop = port.writes.size();
        }
    };
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    EXPECT_EQ(port.writes.size(), writesAtStop) << "no exchange after Stop";
    EXPECT_EQ(model->samples.size(), 3);
    EXPECT_EQ(model->lastPoint(), 2);
}

TEST_F(MonitorRunTest, TheAlarmWordAndTheTripCodeAreWatchedAndATripEndsTheRun) {
    useChannels({{0, kFrequencyCommand}}, true, true);
    ASSERT_TRUE(model->runState().watchAlarm && model->runState().watchTrip &&
                model->runState().keepTripData);
    driveModel.raiseAlarm(0b101);
    // A trip section whose first entry is the code, and an alarm section shorter than the word.
    model->lists.tripCodes = {QStringLiteral("5")};
    model->lists.tripNames = {QStringLiteral("Overvoltage")};
    model->lists.alarmNames = {QStringLiteral("A0"), QStringLiteral("A1")};
    RunDisplay seen;
    afterEachSample([this, &seen](int) { seen = run->display(); });
    pacer.onWait = [this](int wait) {
        if (wait == 3)
            driveModel.trip(5);
    };
    EXPECT_EQ(run->start(), RunEnd::Tripped);
    EXPECT_EQ(model->lastPoint(), 3); // the sample that saw the trip is the last
    EXPECT_TRUE(run->tripped());
    EXPECT_EQ(seen.alarm, QStringLiteral("A0,-,"));
    EXPECT_EQ(seen.trip, QStringLiteral("Overvoltage"));
    // The labels are emptied at the end; the window lock is gone.
    EXPECT_TRUE(run->display().trip.isEmpty());
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
}

TEST_F(MonitorRunTest, RunAndStopKeysReachTheDriveBetweenSamplesAndNeverFromAnEarlierRun) {
    useChannels({{0, kFrequencyCommand}});
    opts.monitorRunStopControl.setChecked(true);
    model->connectAndMeasure();
    ASSERT_TRUE(model->runState().runStopEnabled);
    setTimeBase("0.3"); // 60 ms per sample: the key is held 15 x 4 ms
    model->noteSpeed(37, model->runState().minItemTimeMs);

    // No run: the four writes at once, the key held for the measured read time.
    run->driveRun();
    EXPECT_EQ(keyWrites(),
              (std::vector<DriveWrite>{{"FA11", 0, 0}, {"FA10", 1, 0}, {"FA11", 2305, 0}, {"FA10", 0, 0}}));
    EXPECT_TRUE(driveModel.motorRunning());
    writes.clear();

    pacer.onWait = [this](int wait) {
        if (wait == 3)
            run->driveStop();
        if (wait == 8)
            run->driveRun();
        if (wait == 12)
            run->stop();
    };
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    // The key code is cleared at the press; the rest follows between two samples.
    EXPECT_EQ(keyWrites(), (std::vector<DriveWrite>{{"FA11", 0, 3},
                                                    {"FA10", 1, 3},
                                                    {"FA11", 3842, 3},
                                                    {"FA10", 0, 3},
                                                    {"FA11", 0, 7},
                                                    {"FA10", 1, 7},
                                                    {"FA11", 3841, 7},
                                                    {"FA10", 0, 7}}));
    EXPECT_TRUE(driveModel.motorRunning());
    // A 16-bit key code keeps the hold time in its eight bits.
    EXPECT_EQ(MonitorRun::keyCode(1, 6000, false), (255 << 8) + 1);
    EXPECT_EQ(MonitorRun::keyCode(2, 6000, true), (1500 << 8) + 2);
}

TEST_F(MonitorRunTest, TheLockIsReleasedOnEveryWayOutAndARefusedStartTakesNone) {
    useChannels({{0, kFrequencyCommand}});
    struct Way {
        const char* name;
        std::function<void()> arrange;
        RunEnd end;
    };
    const Way ways[] = {
        {"stop",
         [this] {
             pacer.onWait = [this](int w) {
                 if (w == 2)
                     run->stop();
             };
         },
         RunEnd::Stopped},
        {"quit", [this] { pacer.onWait = [this](int w) { pacer.quit = w == 2; }; }, RunEnd::Quit},
        {"trip",
         [this] {
             useChannels({{0, kFrequencyCommand}}, false, true);
             pacer.onWait = [this](int w) {
                 if (w == 2)
                     driveModel.trip(3);
             };
         },
         RunEnd::Tripped},
    };
    for (const Way& w : ways) {
        SCOPED_TRACE(w.name);
        lockStates.clear();
        pacer.waits = 0;
        pacer.quit = false;
        w.arrange();
        EXPECT_EQ(run->start(), w.end);
        EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
        EXPECT_FALSE(runLock.running());
        EXPECT_FALSE(run->running());
    }

    // An exception out of a sample.
    setRaw("FC90", 0);
    lockStates.clear();
    pacer.onWait = {};
    afterEachSample([](int taken) {
        if (taken == 3)
            throw std::runtime_error("broken");
    });
    EXPECT_THROW(run->start(), std::runtime_error);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
    EXPECT_FALSE(run->running());

    // No drive: message 3, nothing locked, nothing sampled.
    lockStates.clear();
    driveAnswers = false;
    EXPECT_EQ(run->start(), RunEnd::Refused);
    EXPECT_TRUE(lockStates.empty());
    ASSERT_FALSE(prompter.boxes().empty());
    EXPECT_EQ(prompter.boxes().back().text, store->Msg(MsgId::CannotConnect));
    EXPECT_EQ(prompter.boxes().back().icon, BoxIcon::Warning);
}

TEST(ChannelValues, ReadingsTakeTheWidthAndSignOfTheirParameter) {
    struct Row {
        int byte, low;
        std::uint32_t raw;
        qint64 reading;
    };
    for (const Row& r : {Row{2, 0, 0xFFFF, 65535}, Row{2, -1, 0xFFFF, -1}, Row{2, 0, 0x12345, 0x2345},
                         Row{4, 0, 0x80000000u, 2147483648LL}, Row{4, -5, 0xFFFFFFFEu, -2}}) {
        MonChannelRec rec;
        rec.Byte = r.byte;
        rec.Low = r.low;
        EXPECT_EQ(ChannelValues::reading(rec, r.raw), r.reading) << r.byte << ' ' << r.low << ' ' << r.raw;
    }
    // A bit of a value above 16 bits or of a negative one is the bit the drive sent.
    EXPECT_TRUE(ChannelValues::bitSet(0x10000, 16));
    EXPECT_TRUE(ChannelValues::bitSet(-1, 15));
    EXPECT_FALSE(ChannelValues::bitSet(0x5, 1));
    EXPECT_FALSE(ChannelValues::bitSet(-1, 32));
    MonChannelRec bit;
    bit.BitNo = QStringLiteral("x1");
    EXPECT_FALSE(ChannelValues::channelValue(bit, 3, 15).has_value());
    bit.BitNo = QStringLiteral("01");
    EXPECT_EQ(ChannelValues::channelValue(bit, 2, 15), 15.0);
    EXPECT_EQ(ChannelValues::channelValue(bit, 1, 15), 0.0);
}

} // namespace

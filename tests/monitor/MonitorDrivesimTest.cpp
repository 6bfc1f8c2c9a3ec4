// The monitor's activation against the simulated drive (the drivesim program) on a
// pseudo-terminal, through the program's own link on the termios port: the speed test, the
// rated current and voltage read on-line or taken from the table, and the status items.
#include "core/StoreCells.h"
#include "support/DrivesimProcess.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/MonitorFixture.h"

#include "platform/SerialPort.h"

#include <QFileInfo>

namespace {

class MonitorDrivesim : public MonitorFixture {
protected:
    void SetUp() override {
        if (!QFileInfo(DrivesimProcess::program()).isExecutable())
            GTEST_SKIP() << "build the drivesim target: " << DrivesimProcess::program().toStdString();
        MonitorFixture::SetUp();
        linkPath = folder->filePath(QStringLiteral("sim-COM1"));
        drive = std::make_unique<DrivesimProcess>(shippedHxa1Arguments(folder->path()), linkPath);
        ASSERT_TRUE(drive->running());
        ptyLink.setPortPathResolver([this](const QString&) { return linkPath; });
        ptyLink.setPortsFound({QStringLiteral("COM1")});
        ptyLink.setReplyTimeout(kLoadedReplyMs);
        model = std::make_unique<MonitorModel>(context, opts, ptyLink);
        ASSERT_TRUE(model->BuildMonitorItemLists());
        model->RestoreMonitorSetup();
    }
    void TearDown() override {
        model.reset();
        drive.reset();
        MonitorFixture::TearDown();
    }
    void setWorking(const char* comNo, const char* value) {
        StoreCells::setWork(context, UP_Value, index(comNo), QString::fromLatin1(value));
    }

    QString linkPath;
    std::unique_ptr<DrivesimProcess> drive;
    TermiosSerialPort termios;
    CommLink ptyLink{context, termios, systemClock(), installedAsker()};
};

TEST_F(MonitorDrivesim, ActivationMeasuresTheLinkReadsTheRatedBasesAndSwitchesTheStatusItems) {
    // The table holds other values than the drive, so the source of each base shows.
    setWorking("FE70", "99");
    setWorking("FE71", "1234");
    const double ratedCurrent = driveModel.parameter(QStringLiteral("FE70"))->raw / 10.0;
    const double ratedVoltage = driveModel.parameter(QStringLiteral("FE71"))->raw / 10.0;
    ASSERT_GT(ratedCurrent, 0);

    opts.onlineCurrentVoltageBase.setChecked(true);
    activateAndWait(*model);
    EXPECT_TRUE(model->portOk());
    EXPECT_TRUE(model->runState().startEnabled);
    EXPECT_FLOAT_EQ(model->conversionBases().ampere, float(ratedCurrent));
    EXPECT_FLOAT_EQ(model->conversionBases().volt, float(ratedVoltage));
    // The speed figure: the measured read plus the margin, rounded down to 50 ms, plus 50.
    EXPECT_GE(model->runState().readTimeMs, 0);
    EXPECT_EQ(model->runState().minItemTimeMs, (model->runState().readTimeMs + 50) / 50 * 50 + 50);
    EXPECT_EQ(model->timeBaseEdit.minimum,
              model->runState().minItemTimeMs * model->runState().activeCount * 5);

    opts.onlineCurrentVoltageBase.setChecked(false);
    activateAndWait(*model);
    EXPECT_FLOAT_EQ(model->conversionBases().ampere, 9.9f);
    EXPECT_FLOAT_EQ(model->conversionBases().volt, 123.4f);

    struct Case {
        bool alarm, trip, tripData;
        bool ch9Shown, ch10Shown;
        int channelSlots, active;
    };
    for (const Case& c :
         {Case{true, true, true, false, false, 8, 7}, Case{true, false, false, true, false, 9, 6},
          Case{false, true, true, true, false, 9, 6}, Case{false, false, false, true, true, 10, 5}}) {
        opts.monitorShowsAlarms.setChecked(c.alarm);
        opts.monitorShowsTrips.setChecked(c.trip);
        opts.monitorShowsTripData.setChecked(true);
        activateAndWait(*model);
        EXPECT_EQ(model->runState().watchAlarm, c.alarm);
        EXPECT_EQ(model->runState().watchTrip, c.trip);
        EXPECT_EQ(model->runState().keepTripData, c.tripData) << c.alarm << c.trip; // only with the trip item
        EXPECT_EQ(model->channels[8].shown, c.ch9Shown);
        EXPECT_EQ(model->channels[9].shown, c.ch10Shown);
        EXPECT_EQ(model->runState().channelSlots, c.channelSlots);
        EXPECT_EQ(model->runState().activeCount, c.active);
    }
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

} // namespace

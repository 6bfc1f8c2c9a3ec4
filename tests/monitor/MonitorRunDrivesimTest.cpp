// Monitor runs against the simulated drive's program on a pseudo-terminal, through the
// program's own link on the termios port, paced in virtual time: RUN from the monitor
// reaches the drive and its output frequency fires a rising trigger; a trip on cue ends a
// run; the drive's record of writes shows the key frames.
#include "support/DrivesimProcess.h"
#include "support/FakeRunPacer.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/MonitorFixture.h"

#include "link/DriveChecks.h"
#include "monitor/MonitorRun.h"
#include "platform/SerialPort.h"
#include "platform/TextFile.h"

#include <QFileInfo>
#include <QThread>

namespace {

class MonitorRunDrivesim : public MonitorFixture {
protected:
    void SetUp() override {
        if (!QFileInfo(DrivesimProcess::program()).isExecutable())
            GTEST_SKIP() << "build the drivesim target: " << DrivesimProcess::program().toStdString();
        MonitorFixture::SetUp();
    }
    void start(const QStringList& extra) {
        linkPath = folder->filePath(QStringLiteral("run-COM1"));
        writeLog = folder->filePath(QStringLiteral("writes.log"));
        QFile::remove(writeLog);
        drive = std::make_unique<DrivesimProcess>(
            shippedHxa1Arguments(folder->path()) + QStringList{"--command", "5000", "--write-log", writeLog} +
                extra,
            linkPath);
        ASSERT_TRUE(drive->running());
        ptyLink.setPortPathResolver([this](const QString&) { return linkPath; });
        ptyLink.setPortsFound({QStringLiteral("COM1")});
        ptyLink.setReplyTimeout(kLoadedReplyMs);
        opts.recordingPointCount.setPosition(1250);
        opts.monitorRunStopControl.setChecked(true);
        model = std::make_unique<MonitorModel>(context, opts, ptyLink);
        ASSERT_TRUE(model->BuildMonitorItemLists());
        model->RestoreMonitorSetup();
        activateAndWait(*model);
        ASSERT_TRUE(model->portOk());
        // CH1 the output frequency; the trip code watched, the alarm word not.
        opts.monitorShowsAlarms.setChecked(false);
        model->SetStatusItems();
        for (int i = 0; i < kMonitorChannels; ++i)
            model->setChannelChecked(i, false);
        model->chooseItem(0, 0);
        model->setChannelChecked(0, true);
        model->noteSpeed(0, model->runState().minItemTimeMs);
        run = std::make_unique<MonitorRun>(*model, pacer);
        runLock.setHandler([this](bool on) { lockStates.push_back(on); });
        model->setRunLock(&runLock);
        link.setMonitorRunLock(&runLock);
    }
    void TearDown() override {
        runLock.setHandler({});
        run.reset();
        model.reset();
        drive.reset();
        MonitorFixture::TearDown();
    }
    QStringList keyWrites() const {
        QStringList lines, out;
        TextFile::readLines(writeLog, lines);
        for (const QString& l : lines)
            if (l.startsWith(QStringLiteral("FA1")))
                out << l.section(u' ', 0, 1);
        return out;
    }

    QString linkPath, writeLog;
    std::unique_ptr<DrivesimProcess> drive;
    TermiosSerialPort termios;
    CommLink ptyLink{context, termios, systemClock(), installedAsker()};
    FakeRunPacer pacer;
    std::unique_ptr<MonitorRun> run;
    std::vector<bool> lockStates;
    MonitorRunLock runLock;
};

TEST_F(MonitorRunDrivesim, RunFromTheMonitorFiresARisingTriggerOnTheOutputFrequency) {
    ASSERT_NO_FATAL_FAILURE(start({}));
    model->setTriggerSourceIndex(0);
    model->setTriggerChecked(true);
    model->setText(MonitorField::TriggerLevel, 0, QStringLiteral("25"));
    ASSERT_TRUE(model->enter(MonitorField::TriggerLevel));
    model->setText(MonitorField::TriggerDelay, 0, QStringLiteral("10"));
    ASSERT_TRUE(model->enter(MonitorField::TriggerDelay));
    const int keyBase = int(model->timeBaseEdit.position * 200 / 1000 / 4) << 8;
    pacer.onWait = [this](int wait) {
        if (wait == 20)
            run->driveRun();
        if (wait == 60)
            run->stop();
    };
    EXPECT_EQ(run->start(), RunEnd::Stopped);
    // Waiting samples 0..19 read 0 Hz and are all kept (fewer than the delay's share); the
    // one after the RUN read 50 Hz and fired.
    ASSERT_GT(model->runState().pointsPerChannel / 10, 20);
    const SampleStore& s = model->samples;
    EXPECT_EQ(model->sampleWindow.triggerRingIndex(), 20);
    EXPECT_DOUBLE_EQ(s.unscaled(0, 19), 0.0);
    EXPECT_DOUBLE_EQ(s.unscaled(0, 20), 50.0);
    EXPECT_DOUBLE_EQ(s.unscaled(0, model->lastPoint()), 50.0);
    EXPECT_EQ(keyWrites(),
              (QStringList{"FA11 0", "FA10 1", QStringLiteral("FA11 %1").arg(keyBase + 1), "FA10 0"}));
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
}

TEST_F(MonitorRunDrivesim, ATripOnCueEndsTheRunAfterTheSampleThatSawIt) {
    ASSERT_NO_FATAL_FAILURE(start({"--trip-after-ms", "400:5"}));
    ASSERT_TRUE(model->runState().watchTrip && model->runState().keepTripData);
    QString tripShown;
    QObject::connect(run.get(), &MonitorRun::sampleTaken, run.get(), [&] {
        if (!run->display().trip.isEmpty())
            tripShown = run->display().trip;
    });
    // Each wait lasts a little real time, so the drive's clock reaches the trip.
    pacer.onWait = [](int) { QThread::msleep(2); };
    EXPECT_EQ(run->start(), RunEnd::Tripped);
    EXPECT_TRUE(run->tripped());
    EXPECT_EQ(tripShown, QStringLiteral("Overvoltage"));
    EXPECT_LT(model->lastPoint(), model->runState().pointsPerChannel);
    EXPECT_EQ(model->samples.size(), model->lastPoint() + 1);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
}

} // namespace

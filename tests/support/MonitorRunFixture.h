#pragma once
// A monitor run over the monitor's model (MonitorFixture: HXA1 with the simulated drive
// behind the fake port) in virtual time: the pacer moves its clock to each deadline, so
// runs of thousands of samples take no time. The window lock's states and the writes the
// drive carries out are recorded, each write with the number of samples taken before it.
#include "link/DriveChecks.h"
#include "monitor/MonitorRun.h"
#include "support/FakeRunPacer.h"
#include "support/MonitorFixture.h"

#include <initializer_list>
#include <memory>
#include <ostream>
#include <utility>

class MonitorRunFixture : public MonitorFixture {
protected:
    struct DriveWrite {
        QString comNo;
        std::int64_t value;
        int samplesBefore;
        bool operator==(const DriveWrite&) const = default;
        friend void PrintTo(const DriveWrite& w, std::ostream* os) {
            *os << w.comNo.toStdString() << "=" << w.value << "@" << w.samplesBefore;
        }
    };

    void SetUp() override {
        MonitorFixture::SetUp();
        opts.recordingPointCount.setPosition(1250);
        create();
        model->connectAndMeasure();
        // The link answers at once: the shortest time base is five samples of 50 ms per item.
        model->noteSpeed(model->runState().readTimeMs, 50);
        model->recount();
        run = std::make_unique<MonitorRun>(*model, pacer);
        runLock.setHandler([this](bool on) { lockStates.push_back(on); });
        model->setRunLock(&runLock);
        link.setMonitorRunLock(&runLock);
        sim.setWriteObserver([this](const SimWrite& w) {
            writes.push_back({w.comNo, w.value, model ? model->samples.size() : 0});
        });
    }
    void TearDown() override {
        runLock.setHandler({});
        run.reset();
        MonitorFixture::TearDown();
    }

    // Only these channels (channel index, item index) are checked; the status items on or off.
    void useChannels(std::initializer_list<std::pair<int, int>> channelItems, bool alarm = false,
                     bool trip = false) {
        opts.monitorShowsAlarms.setChecked(alarm);
        opts.monitorShowsTrips.setChecked(trip);
        model->SetStatusItems();
        for (int i = 0; i < kMonitorChannels; ++i)
            model->setChannelChecked(i, false);
        for (const auto& [channel, item] : channelItems) {
            model->chooseItem(channel, item);
            model->setChannelChecked(channel, true);
        }
    }
    void setTimeBase(const char* secondsPerDivision) {
        model->noteSpeed(model->runState().readTimeMs, 50);
        model->recount();
        model->setText(MonitorField::TimeBase, 0, QString::fromLatin1(secondsPerDivision));
        ASSERT_TRUE(model->enter(MonitorField::TimeBase));
    }
    // A value the simulated drive holds (its readings that follow FA01 excepted).
    void setRaw(const char* comNo, std::int64_t raw) {
        ASSERT_TRUE(driveModel.write(ComNoToRegister(QString::fromLatin1(comNo)), raw)) << comNo;
    }
    // Called after each sample with the number of samples the run has taken so far.
    void afterEachSample(std::function<void(int taken)> f) {
        auto n = std::make_shared<int>(0);
        QObject::connect(run.get(), &MonitorRun::runStarted, run.get(), [n] { *n = 0; });
        QObject::connect(run.get(), &MonitorRun::sampleTaken, run.get(), [f, n] { f(++*n); });
    }
    std::vector<DriveWrite> keyWrites() const {
        std::vector<DriveWrite> out;
        for (const DriveWrite& w : writes)
            if (w.comNo == QStringLiteral("FA10") || w.comNo == QStringLiteral("FA11"))
                out.push_back(w);
        return out;
    }

    FakeRunPacer pacer;
    std::unique_ptr<MonitorRun> run;
    std::vector<bool> lockStates;
    MonitorRunLock runLock;
    std::vector<DriveWrite> writes;
};

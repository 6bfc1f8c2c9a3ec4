// The monitor window around a run, offscreen, paced in virtual time: Start and Stop, the
// set-up locked while it runs, the readouts and the labels over the chart, the curve drawn
// where the samples are, the readout box of a clicked point, the scope, the trigger marker
// and the RUN/STOP keys.
#include "ui/MonitorWindow.h"

#include "link/DriveChecks.h"
#include "monitor/MonitorRun.h"
#include "support/FakeRunPacer.h"
#include "support/MonitorFixture.h"
#include "ui/ChartWidget.h"
#include "ui/UpDownEdit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <set>

namespace {

class MonitorRunWindow : public MonitorFixture {
protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        opts.recordingPointCount.setPosition(1250);
        opts.monitorShowsAlarms.setChecked(true);
        opts.monitorShowsTrips.setChecked(false);
        window = std::make_unique<MonitorWindow>(
            context, opts, link, MonitorWindowHooks{[] { return QRect(0, 0, 639, 51); }, {}, {}, {}}, nullptr,
            &pacer);
        window->placeAndLoadSetup();
        window->resize(700, 420);
        window->show();
        window->applyColoursAndConnect();
        MonitorModel& m = window->model();
        for (int i = 0; i < kMonitorChannels; ++i)
            m.setChannelChecked(i, false);
        m.chooseItem(0, 1); // CH1: the frequency command, which follows FA01
        m.setChannelChecked(0, true);
        m.noteSpeed(m.runState().readTimeMs, 50);
        m.recount();
        m.setText(MonitorField::TimeBase, 0, QStringLiteral("0.5"));
        ASSERT_TRUE(m.enter(MonitorField::TimeBase));
        ASSERT_TRUE(driveModel.write(ComNoToRegister(u"FA01"), 1250));
        driveModel.raiseAlarm(0x0004);
        QApplication::processEvents();
    }
    void TearDown() override {
        window.reset();
        MonitorFixture::TearDown();
    }
    static void click(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
        for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, QPointF(at), w->mapToGlobal(QPointF(at)), b,
                          t == QEvent::MouseButtonPress ? b : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(w, &e);
        }
    }
    void stopAfter(int waits) {
        pacer.onWait = [this, waits](int w) {
            if (w == waits)
                window->stopButton->click();
        };
    }

    FakeRunPacer pacer;
    std::unique_ptr<MonitorWindow> window;
};

TEST_F(MonitorRunWindow, StartLocksTheSetUpShowsTheValuesAndDrawsTheCurveWhereTheSamplesAre) {
    struct During {
        bool start, stop, channelBox, timeBase, chartRunning;
        QString readout, alarm, timeLabel;
    } during{};
    QObject::connect(&window->run(), &MonitorRun::sampleTaken, window.get(), [&] {
        if (window->model().samples.size() != 5)
            return;
        during = {window->startButton->isEnabled(),
                  window->stopButton->isEnabled(),
                  window->rows[0].channelBox->isEnabled(),
                  window->timeEdit->isEnabled(),
                  window->chart->running(),
                  window->rows[0].readout->text(),
                  window->alarmLabel->text(),
                  window->timeBaseLabel->text()};
    });
    stopAfter(150);
    ASSERT_TRUE(window->startButton->isEnabled());
    window->startButton->click();

    EXPECT_FALSE(during.start);
    EXPECT_TRUE(during.stop);
    EXPECT_FALSE(during.channelBox);
    EXPECT_FALSE(during.timeBase);
    EXPECT_TRUE(during.chartRunning);
    EXPECT_EQ(during.readout, QStringLiteral("12.50"));
    EXPECT_EQ(during.alarm, QStringLiteral("Overload pre-alarm,"));
    EXPECT_EQ(during.timeLabel, QStringLiteral("0.5"));
    // Afterwards the set-up can be changed again and the whole record is in view.
    EXPECT_TRUE(window->startButton->isEnabled());
    EXPECT_FALSE(window->stopButton->isEnabled());
    EXPECT_TRUE(window->rows[0].channelBox->isEnabled());
    EXPECT_FALSE(window->chart->running());
    EXPECT_TRUE(window->alarmLabel->text().isEmpty());
    const SampleWindow& sw = window->model().sampleWindow;
    EXPECT_EQ(window->model().lastPoint(), 149);
    EXPECT_EQ(sw.minimum(), 0);
    EXPECT_EQ(sw.extent(), 154);
    EXPECT_EQ(window->scopeEdit->text(), QStringLiteral("100"));

    // The curve runs through the pixel of every sample and nowhere above or below it.
    const QImage picture = window->chart->renderImage(window->chart->size(), false);
    const QColor red(255, 0, 0);
    for (int k : {0, 40, 100, 149}) {
        const QPoint p = window->chart->pointPixel(0, k);
        bool hit = false;
        for (int dy = -1; dy <= 1 && !hit; ++dy)
            hit = picture.pixelColor(p + QPoint(0, dy)) == red;
        EXPECT_TRUE(hit) << k;
        EXPECT_NE(picture.pixelColor(p - QPoint(0, 12)), red) << k;
    }

    // At any window size the time label states the division the grid draws: 0.5 s for five
    // samples, more where the grid is thinned.
    std::set<double> steps;
    for (const int width : {639, 480, 1000}) {
        window->resize(width, 388);
        QApplication::processEvents();
        const double step = window->chart->divisionSamples();
        steps.insert(step);
        EXPECT_EQ(window->timeBaseLabel->text(), QString::number(0.5 * step / 5)) << width;
    }
    EXPECT_GT(steps.size(), 1u);
}

// The drive stalls for 4 s before sample 20: that sample and every later one stand and read
// at their real times (those the files keep), and the curve crosses the stall as one line.
TEST_F(MonitorRunWindow, AClickOnAPointReadsItsRealTimeAfterAStallAndTheScopeNarrowsTheView) {
    pacer.onWait = [this](int w) {
        if (w == 20)
            pacer.advance(4'000'000);
        if (w == 150)
            window->stopButton->click();
    };
    window->startButton->click();
    QApplication::processEvents();
    const SampleStore& store = window->model().samples;
    EXPECT_EQ(store.sampleTime(19), 1900u);
    EXPECT_EQ(store.sampleTime(20), 5900u);

    for (const auto& [index, time] : {std::pair{10, "1.0"}, std::pair{20, "5.9"}, std::pair{149, "18.8"}}) {
        prompter.answer(BoxAnswer::Ok);
        click(window->chart, window->chart->pointPixel(0, index));
        ASSERT_FALSE(prompter.boxes().empty());
        EXPECT_EQ(prompter.boxes().back().text,
                  QStringLiteral("CH1 : Frequency command\n\nValue : 12.50\nMulti. : 1\nOffset : 0\n\n"
                                 "Passed Time : %1 (s) ")
                      .arg(QLatin1String(time)));
        EXPECT_EQ(prompter.boxes().back().icon, BoxIcon::None);
        // Read off the chart: the slot of 0.1 s the point stands at.
        const double x = window->chart->sampleAtPixel(window->chart->pointPixel(0, index).x() + 0.5);
        EXPECT_NEAR(x * 0.1, QString::fromLatin1(time).toDouble(), 0.1) << index;
    }
    const QImage picture = window->chart->renderImage(window->chart->size(), false);
    const QPoint before = window->chart->pointPixel(0, 19), after = window->chart->pointPixel(0, 20);
    ASSERT_GT(after.x() - before.x(), 10);
    EXPECT_EQ(picture.pixelColor((before + after) / 2), QColor(255, 0, 0))
        << "the line joins the samples on either side of the stall";

    UpDownEdit* scope = window->scopeEdit;
    scope->setText(QStringLiteral("50"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(scope, &enter);
    // The record spans 189 slots (150 samples and the 39 slots of the stall), the extent 193.
    EXPECT_EQ(window->model().sampleWindow.minimum(), 0);
    EXPECT_EQ(window->model().sampleWindow.maximum(), 96);
    scope->setText(QStringLiteral("3"));
    QApplication::sendEvent(scope, &enter);
    EXPECT_EQ(scope->text(), QStringLiteral("5"));
    EXPECT_TRUE(window->model().inputError());
    EXPECT_EQ(window->model().sampleWindow.maximum(), 96); // a refused scope changes nothing
}

TEST_F(MonitorRunWindow, TheMarkerPointsAtTheLevelAndADragSetsIt) {
    MonitorModel& m = window->model();
    m.setTriggerSourceIndex(0);
    m.setTriggerChecked(true);
    m.setText(MonitorField::TriggerLevel, 0, QStringLiteral("50"));
    ASSERT_TRUE(m.enter(MonitorField::TriggerLevel));
    QApplication::processEvents();
    TriggerMarker* marker = window->marker;
    ASSERT_TRUE(marker->isVisible());
    const QRect plot = window->chart->plotRect();
    EXPECT_NEAR(marker->y() + kMarkerOffset, plot.center().y(), 1);

    // Dragged far above the plot: held at its top, the level is the Y maximum.
    const QPoint grab(9, 6);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(grab), marker->mapToGlobal(QPointF(grab)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(marker, &press);
    const QPointF far(9, -500);
    QMouseEvent move(QEvent::MouseMove, far, marker->mapToGlobal(far), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(marker, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, far, marker->mapToGlobal(far), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(marker, &release);
    EXPECT_EQ(m.runState().triggerLevel, 100);
    EXPECT_EQ(marker->y(), plot.top() - kMarkerOffset);
}

TEST_F(MonitorRunWindow, TheDriveKeysFollowTheOptionAndWriteAtOnceOutsideARun) {
    EXPECT_FALSE(window->runAction->isEnabled());
    opts.monitorRunStopControl.setChecked(true);
    window->applyColoursAndConnect();
    ASSERT_TRUE(window->runAction->isEnabled());
    EXPECT_EQ(window->runAction->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F9));
    EXPECT_EQ(window->stopAction->shortcut(), QKeySequence(Qt::Key_F9));
    window->runAction->trigger();
    EXPECT_TRUE(driveModel.motorRunning());
    window->stopAction->trigger();
    EXPECT_FALSE(driveModel.motorRunning());
}

} // namespace

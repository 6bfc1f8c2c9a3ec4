// The monitor window, offscreen, over its model: the ten rows made in code, typed values
// checked on Enter and at the close, the arrows, the colour dialog, the status rows and the
// trigger source, the set-up written when the window closes.
#include "ui/MonitorWindow.h"

#include "support/LoadedMachine.h"
#include "support/MonitorFixture.h"
#include "ui/UpDownEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>

namespace {

class MonitorWindowTest : public MonitorFixture {
protected:
    void SetUp() override {
        MonitorFixture::SetUp();
        window = std::make_unique<MonitorWindow>(
            context, opts, link,
            MonitorWindowHooks{[] { return QRect(0, 0, 639, 51); },
                               [this](bool on) { commandStates.push_back(on); },
                               {},
                               {}});
        window->placeAndLoadSetup();
    }
    void TearDown() override {
        window.reset();
        MonitorFixture::TearDown();
    }

    static void enter(UpDownEdit* e, const QString& text) {
        e->setText(text);
        emit e->textEdited(text);
        QKeyEvent k(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(e, &k);
    }
    static void mouse(QWidget* w, QEvent::Type type) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    MonitorModel& m() { return window->model(); }

    std::unique_ptr<MonitorWindow> window;
    std::vector<bool> commandStates;
};

TEST_F(MonitorWindowTest, TenRowsShowTheDriveTypesItemsAndTheSetUp) {
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannelRow& r = window->rows[i];
        EXPECT_EQ(r.channelBox->objectName(), QStringLiteral("AryCheckBox%1").arg(i + 1));
        EXPECT_EQ(r.channelBox->isChecked(), i < 5);
        EXPECT_EQ(r.itemCombo->count(), 13);
        EXPECT_EQ(r.itemCombo->currentIndex(), i);
        EXPECT_EQ(r.itemCombo->isEnabled(), i < 5);
        EXPECT_EQ(r.multiplierEdit->text(), QStringLiteral("1.0"));
    }
    // Only an active item with a changed unit offers the unit change.
    EXPECT_FALSE(window->rows[0].unitBox->isEnabled());
    EXPECT_TRUE(window->rows[2].unitBox->isEnabled());
    EXPECT_FALSE(window->rows[5].unitBox->isEnabled());
    EXPECT_EQ(window->rows[2].sourceLabel->text(), QStringLiteral("Output current"));
    EXPECT_EQ(window->rows[2].unitLabel->text(), QStringLiteral("(%)"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Monitoring"));
    EXPECT_EQ(window->monitorText("LabelA"), QStringLiteral("Passed Time"));
    EXPECT_EQ(commandStates, std::vector<bool>{true});

    // The user's choices reach the model.
    window->rows[2].unitBox->click();
    EXPECT_EQ(window->rows[2].unitLabel->text(), QStringLiteral("(A)"));
    window->rows[6].channelBox->click();
    EXPECT_TRUE(m().channels[6].checked);
    EXPECT_TRUE(window->rows[6].itemCombo->isEnabled());
    emit window->rows[6].itemCombo->activated(2);
    EXPECT_EQ(m().channels[6].code, QStringLiteral("FD03"));
    EXPECT_TRUE(window->rows[6].unitBox->isEnabled());
}

TEST_F(MonitorWindowTest, ARefusedValueKeepsTheWindowOpenUntilItIsPutRight) {
    window->show();
    EXPECT_EQ(commandStates.back(), false); // the command is off while the window is shown
    UpDownEdit* multiplier = window->rows[1].multiplierEdit;
    enter(multiplier, "abc");
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, store->Msg(MsgId::DataIncorrect));
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(prompter.boxes().size(), 2u);

    enter(multiplier, "20");
    EXPECT_EQ(multiplier->text(), QStringLiteral("10.0"));
    enter(multiplier, "0.7");
    EXPECT_FLOAT_EQ(m().channels[1].multiplier, 0.7f);
    EXPECT_EQ(prompter.boxes().size(), 3u);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(monitorKey("Bi2"), QStringLiteral("0.7"));
    EXPECT_EQ(commandStates.back(), true);
}

TEST_F(MonitorWindowTest, ArrowsStepTheSettingsTheTimeBaseFromItsPosition) {
    window->rows[0].multiplierEdit->upButton()->click();
    EXPECT_FLOAT_EQ(m().channels[0].multiplier, 1.1f);
    EXPECT_EQ(window->rows[0].multiplierEdit->text(), QStringLiteral("1.1"));
    window->rows[3].offsetEdit->upButton()->click();
    EXPECT_EQ(m().channels[3].offset, 1);

    const int minimum = m().timeBaseEdit.minimum; // 1250: five channels at 50 ms
    ASSERT_EQ(m().timeBaseEdit.position, minimum);
    window->timeEdit->upButton()->click();
    EXPECT_EQ(m().timeBaseEdit.position, minimum + 500);
    window->timeEdit->upButton()->click();
    EXPECT_EQ(m().timeBaseEdit.position, minimum + 1000);
    EXPECT_EQ(window->timeEdit->text(), QStringLiteral("2.3"));

    window->yMaximumEdit->upButton()->click();
    EXPECT_EQ(m().axisMaximum, 105.0);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(MonitorWindowTest, TheSwatchPicksTheChannelColour) {
    prompter.answerColor(false);
    prompter.answerColor(true, QColor(10, 20, 30));
    mouse(window->rows[4].swatch, QEvent::MouseButtonDblClick);
    EXPECT_EQ(m().channels[4].colour, kDefaultChannelColours[4]);
    mouse(window->rows[4].swatch, QEvent::MouseButtonDblClick);
    EXPECT_EQ(m().channels[4].colour, 0x1E140A);
    EXPECT_EQ(window->rows[4].swatch->colour(), QColor(10, 20, 30));
    EXPECT_EQ(window->rows[4].readout->palette().color(QPalette::Text), QColor(10, 20, 30));
}

TEST_F(MonitorWindowTest, StatusItemsTakeTheLastRowsAndTheTriggerSourceIsMarked) {
    struct Case {
        bool alarm, trip;
        bool ch9, ch10;
    };
    for (const Case& c :
         {Case{true, false, true, false}, Case{true, true, false, false}, Case{false, false, true, true}}) {
        opts.monitorShowsAlarms.setChecked(c.alarm);
        opts.monitorShowsTrips.setChecked(c.trip);
        window->applyColoursAndConnect();
        EXPECT_EQ(!window->rows[8].channelBox->isHidden(), c.ch9) << c.alarm << c.trip;
        EXPECT_EQ(!window->rows[8].readout->isHidden(), c.ch9) << c.alarm << c.trip;
        EXPECT_EQ(!window->rows[9].itemCombo->isHidden(), c.ch10) << c.alarm << c.trip;
    }
    EXPECT_TRUE(window->sourceDisplay->isHidden());
    window->triggerBox->click();
    EXPECT_FALSE(window->sourceDisplay->isHidden());
    mouse(window->rows[2].sourceLabel, QEvent::MouseButtonRelease);
    EXPECT_EQ(window->sourceDisplay->text(), QStringLiteral("CH3"));
    EXPECT_TRUE(window->rows[2].sourceLabel->font().bold());
    EXPECT_FALSE(window->rows[0].sourceLabel->font().bold());
    mouse(window->sourceDisplay, QEvent::MouseButtonDblClick);
    EXPECT_EQ(window->sourceDisplay->text(), QStringLiteral("CH4"));
    mouse(window->slopePicture, QEvent::MouseButtonDblClick);
    EXPECT_EQ(window->slopePicture->slope(), 1);
    EXPECT_EQ(window->slopePicture->toolTip(), QStringLiteral("Down"));
}

TEST_F(MonitorWindowTest, ActivationTalksToTheDriveAndLeavingForAnotherWindowSavesTheSetUp) {
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));
    window->ShowMonitor();
    ASSERT_TRUE(waitUntil([&] { return m().portOk(); })); // the activation's speed test
    // The offscreen platform may deliver the other window's second activation (its show and
    // its request) after the monitor's: the monitor is the active window before it is left.
    ASSERT_TRUE(waitUntil([&] {
        if (QApplication::activeWindow() != window.get())
            window->activateWindow();
        return QApplication::activeWindow() == window.get();
    }));
    EXPECT_EQ(m().runState().minItemTimeMs, 100); // no time on the fake port, plus the margin
    EXPECT_TRUE(m().runState().watchAlarm);
    EXPECT_TRUE(window->rows[9].channelBox->isHidden());

    window->rows[6].channelBox->click();
    EXPECT_EQ(monitorKey("Select7"), QStringLiteral("<none>"));
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &other; }));
    EXPECT_EQ(monitorKey("Select7"), QStringLiteral("1"));
    EXPECT_EQ(IniFile(settingsPath()).keys("Monitor"), MonitorModel::settingsKeys());
}

} // namespace

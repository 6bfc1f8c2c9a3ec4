// The monitor window as the start-up wires it: the main window's "Monitor" item and tool
// button open it, and File > New to another drive type with the window open gives it the new
// type's lists and that type's saved set-up.
#include "shell/StartUpFixture.h"
#include "support/SimulatedDriveProgram.h"

#include "link/CommLink.h"
#include "monitor/MonitorRun.h"
#include "ui/MonitorWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace {

class MonitorWiring : public StartUpTestBase, protected SimulatedDriveProgram {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.copyTree(shippedDataDir() + QStringLiteral("/dat/HXB3(V250)"),
                                    QStringLiteral("dat/HXB3(V250)")));
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n"
                                                        "[Options]\r\nMonKeep=1\r\n");
        ASSERT_TRUE(loadDrive(folder.path()));
        ASSERT_TRUE(startProgram({folder.path(), folder.path(), {}}, [this](MainWindow& m) {
            choose(m.context(), nextType, nextCpu, nextForm);
        }));
        program->showMain();
    }
    void TearDown() override { program.reset(); }

    MainWindow& main() { return *program->main(); }
    MonitorWindow& monitor() { return *program->monitor(); }

    QString nextType = QStringLiteral("HXA1"), nextCpu = QStringLiteral("V110"),
            nextForm = QStringLiteral("-2004");
};

TEST_F(MonitorWiring, TheMonitorCommandOpensTheWindowAndNewGivesItTheNewTypesLists) {
    ASSERT_NE(program->monitor(), nullptr);
    EXPECT_TRUE(main().item(MainCommand::MonitorChart)->isEnabled());
    EXPECT_TRUE(main().button(MainCommand::MonitorChart)->isEnabled());
    main().button(MainCommand::MonitorChart)->trigger();
    ASSERT_TRUE(monitor().isVisible());
    EXPECT_FALSE(main().item(MainCommand::MonitorChart)->isEnabled());
    EXPECT_EQ(monitor().rows[0].itemCombo->count(), 13);
    EXPECT_TRUE(monitor().rows[2].unitBox->isEnabled());
    // A set-up for HXA1, saved as a deactivation saves it.
    monitor().rows[6].channelBox->click();
    monitor().model().WriteMonitorSetup();

    nextType = QStringLiteral("HXB3");
    nextCpu = QStringLiteral("V250");
    nextForm = QStringLiteral("-4015");
    main().item(MainCommand::New)->trigger();
    ASSERT_EQ(program->context().drive.identity.typeName, QStringLiteral("HXB3"));
    EXPECT_TRUE(monitor().isVisible());
    for (const MonitorChannelRow& r : monitor().rows)
        EXPECT_EQ(r.itemCombo->count(), 11);
    EXPECT_EQ(monitor().rows[7].itemCombo->currentText(), QStringLiteral("Terminal X1"));
    EXPECT_FALSE(monitor().rows[6].channelBox->isChecked()); // HXA1's set-up is not HXB3's
    EXPECT_TRUE(monitor().rows[2].unitBox->isEnabled());
    EXPECT_FALSE(main().item(MainCommand::MonitorChart)->isEnabled()); // still shown

    monitor().close();
    EXPECT_TRUE(main().item(MainCommand::MonitorChart)->isEnabled());
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

TEST_F(MonitorWiring, ARunLocksTheMainWindowAndTheTablesMenuUntilItEndsAndTheMonitorStaysOpen) {
    main().button(MainCommand::MonitorChart)->trigger();
    ASSERT_TRUE(monitor().isVisible());
    monitor().applyColoursAndConnect(); // connects and measures the link, as an activation does
    struct During {
        bool mainEnabled = true, popupEnabled = true, closed = true;
    } during;
    QObject::connect(&monitor().run(), &MonitorRun::sampleTaken, &monitor(), [&] {
        during.mainEnabled = main().isEnabled();
        during.popupEnabled = main().tableCommands().popupMenuEnabled();
        // Closing is refused while the run holds the link.
        during.closed = monitor().close();
        monitor().stopMonitoring();
    });
    ASSERT_TRUE(monitor().startButton->isEnabled());
    EXPECT_EQ(monitor().startMonitoring(), RunEnd::Stopped);
    EXPECT_FALSE(during.mainEnabled);
    EXPECT_FALSE(during.popupEnabled);
    EXPECT_FALSE(during.closed);
    EXPECT_TRUE(monitor().isVisible());
    EXPECT_TRUE(main().isEnabled());
    EXPECT_TRUE(main().tableCommands().popupMenuEnabled());
    EXPECT_FALSE(program->monitorLock().running());
}

} // namespace

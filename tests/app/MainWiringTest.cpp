// The main window as the start-up wires it: its transfer and keypad commands reach the
// simulated drive in this process through the fake port, and it stays open while a transfer
// runs.
#include "StartUpFixture.h"

#include "app/Datas.h"
#include "link/CommLink.h"
#include "link/TransferCommands.h"
#include "link/Working.h"
#include "monitor/KVR_RKP.h"
#include "support/FakeSerialPort.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QPushButton>
#include <QTimer>

namespace {

class MainWiring : public StartUpTestBase {
protected:
    void SetUp() override {
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n");
        const QString kvr = folder.writeFile(
            QStringLiteral("p.kvr"),
            "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n");
        QString error;
        ASSERT_TRUE(model.load(
            folder.path(), {QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004")}, &error))
            << error.toStdString();
        port.responder = [this](const FakeSerialPort::Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out;
            for (SimReply& r : sim.respondToWrite(request))
                out.push_back({std::move(r.bytes), qint64((r.delay.count() + 999) / 1000)});
            return out;
        };
        program = std::make_unique<::StartUp::Program>(
            ::StartUp::Environment{QDir::tempPath(), folder.path(), kvr}, &port, &clock);
        ASSERT_TRUE(program->create());
        ASSERT_TRUE(program->link()->PortOpen());
        // The outcome is not shown: the commands end when the transfer window closes.
        options().ParaResult.setChecked(false);
        options().CompResult.setChecked(false);
        program->showMain();
    }
    void TearDown() override {
        program.reset();
        options().ParaResult.setChecked(true);
        options().CompResult.setChecked(true);
    }

    TMain& main() { return *program->main(); }
    qint64 tableValue(const char* comNo) const {
        const TParameters* p = globals().Parameters;
        return p->UPara.cell(UP_Value, p->indexOfComNo(QString::fromLatin1(comNo)) + 1).toLongLong();
    }
    qint64 driveValue(const char* comNo) const {
        return qint64(model.parameter(QString::fromLatin1(comNo))->raw);
    }
    void setDrive(const char* comNo, qint64 v) {
        model.write(ComNoToRegister(QString::fromLatin1(comNo)), v);
    }

    // Triggers a command as the user would and plays the user at its transfer window: tries
    // to close the main window, activates it, presses Start, then OK once the outcome is shown.
    void runTransfer(QAction* command) {
        QTimer user;
        bool started = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            TWorkBar& bar = program->transfers()->workBar();
            if (!bar.isVisible())
                return;
            if (!started) {
                started = true;
                ++transferWindows;
                if (main().close())
                    ++closedDuringTransfer;
                // The activation check would reconnect to the drive.
                const std::size_t writes = port.writes.size();
                main().FormActivate();
                if (port.writes.size() != writes)
                    ++checkedDuringTransfer;
                bar.StBtn->click();
            } else if (bar.Button2->isVisible()) {
                bar.Button2->click();
            }
        });
        user.start(5);
        command->trigger();
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    DriveModel model;
    DriveSimulator sim{model, SimConfig{}};
    std::unique_ptr<::StartUp::Program> program;
    int transferWindows = 0;
    int closedDuringTransfer = 0;
    int checkedDuringTransfer = 0;
};

TEST_F(MainWiring, ImportExportAndComparisonRunFromTheirMenuItemsAndToolButtons) {
    for (QAction* a :
         {main().DownLoad, main().ToolBpr, main().UpLoad, main().ToolBpw, main().PopComp, main().ToolBpcp})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString(); // the drive answered

    setDrive("0002", 123);
    runTransfer(main().DownLoad);
    EXPECT_EQ(TransferMode, std::uint32_t(kModeImport));
    EXPECT_EQ(tableValue("0002"), 123);

    globals().Parameters->UPara.setCell(UP_Value, globals().Parameters->indexOfComNo("0002") + 1, "200");
    runTransfer(main().ToolBpw);
    EXPECT_EQ(TransferMode, std::uint32_t(kModeExport));
    EXPECT_EQ(driveValue("0002"), 200);

    setDrive("0002", 7);
    prompter.answer(BoxAnswer::Ignore);
    runTransfer(main().ToolBpcp);
    EXPECT_EQ(TransferMode, std::uint32_t(kModeComparison));
    EXPECT_EQ(tableValue("0002"), 200); // a comparison changes nothing
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.boxes()[0].text.contains(QStringLiteral("F002"))) // the one difference
        << prompter.texts().join(u'|').toStdString();

    EXPECT_EQ(transferWindows, 3);
    EXPECT_EQ(closedDuringTransfer, 0);
    EXPECT_EQ(checkedDuringTransfer, 0);
    EXPECT_TRUE(main().isVisible());
    EXPECT_EQ(TransferActive, 0);
}

TEST_F(MainWiring, ATransferButtonDoesNothingWhileItsMenuItemIsDisabled) {
    main().DownLoad->setEnabled(false);
    setDrive("0002", 123);
    runTransfer(main().ToolBpr);
    EXPECT_EQ(transferWindows, 0);
    EXPECT_EQ(tableValue("0002"), 75);
}

TEST_F(MainWiring, KeyPadOpensTheKeypadOnTheDriveAndItsButtonObeysTheMenuItem) {
    EXPECT_TRUE(main().InvRun->isEnabled());
    EXPECT_TRUE(main().ToolBpanel->isEnabled());
    int shown = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (RunPRKP && RunPRKP->isVisible()) {
            ++shown;
            RunPRKP->RKPExit->trigger();
        }
    });
    user.start(5);
    main().InvRun->trigger();
    EXPECT_EQ(shown, 1);
    ASSERT_NE(RunPRKP, nullptr);
    EXPECT_FALSE(RunPRKP->isVisible());

    main().InvRun->setEnabled(false);
    main().ToolBpanel->trigger();
    EXPECT_EQ(shown, 1);
    main().InvRun->setEnabled(true);
    main().ToolBpanel->trigger();
    EXPECT_EQ(shown, 2);
}

TEST_F(MainWiring, TheMainWindowClosesAgainOnceNoTransferIsActive) {
    TransferActive = 1;
    EXPECT_FALSE(main().close());
    EXPECT_TRUE(main().isVisible());
    TransferActive = 0;
    EXPECT_TRUE(main().close());
}

} // namespace

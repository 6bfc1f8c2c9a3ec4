// The set-up dialog's scan against the simulated drive behind the fake port: the drive
// answers only at its own line settings, protocol and station.
#include "ui/CommSetupDialog.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"
#include "support/DrivesimSupport.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "ui/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

class TRSsetDriveTest : public testing::Test {
protected:
    TRSsetDriveTest() {
        simtest::writeSmallDriveData(folder);
        context.paths.settingsIni = folder.settingsIniPath();
        EXPECT_TRUE(model.load(folder.path(), simtest::hxa1()));
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
        port.existingPaths = {QStringLiteral("/dev/fake/COM1"), QStringLiteral("/dev/fake/COM3")};
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
    ProgramContext context;
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
    DriveModel model;
};

TEST_F(TRSsetDriveTest, FindsAModbusDriveOnTheSecondPort) {
    SimConfig config;
    config.protocol = SimProtocol::Modbus;
    config.onlyBaud = 19200;
    config.onlyParity = 2;
    DriveSimulator drive(model, config);
    simtest::attachDrive(port, drive, QStringLiteral("/dev/fake/COM3"));

    CommSetupDialog dlg(link);
    dlg.show();
    dlg.scanDriveButton->click();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_TRUE(dlg.ProtocolItems[1]->isChecked());
    EXPECT_EQ(dlg.portCombo->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(dlg.CommSpeed->currentText(), QStringLiteral(" 19,200"));
    EXPECT_EQ(dlg.CommParity->currentText(), QStringLiteral("Odd"));
    EXPECT_EQ(drive.replyCount(), 1);

    // What was found is what the next connect uses.
    dlg.OkBtn->click();
    EXPECT_EQ(link.OpenCommPort(), 0);
    EXPECT_FALSE(link.exchange(link.request(QStringLiteral("0000"), 'R'), link.mainOptions()).error);
    EXPECT_EQ(drive.replyCount(), 2);
}

TEST_F(TRSsetDriveTest, FindsAStationDriveInTheMakersProtocolWithTheNumberSet) {
    SimConfig config;
    config.protocol = SimProtocol::Inverter;
    config.station = 5;
    config.onlyBaud = 38400;
    config.onlyParity = 0;
    DriveSimulator drive(model, config);
    simtest::attachDrive(port, drive, QStringLiteral("/dev/fake/COM1"));

    CommSetupDialog dlg(link);
    dlg.show();
    dlg.AppendNo->click();
    // Another drive's number: nobody answers.
    dlg.IdNmb->setText(QStringLiteral("6"));
    ASSERT_TRUE(dlg.checkInverterNumber());
    prompter.answer(BoxAnswer::Ok);
    dlg.scanDriveButton->click();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    prompter.clear();

    dlg.IdNmb->setText(QStringLiteral("5"));
    ASSERT_TRUE(dlg.checkInverterNumber());
    dlg.scanDriveButton->click();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_TRUE(dlg.ProtocolItems[0]->isChecked());
    EXPECT_EQ(dlg.portCombo->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(dlg.CommSpeed->currentText(), QStringLiteral(" 38,400"));
    EXPECT_EQ(dlg.CommParity->currentText(), QStringLiteral("Non"));
    EXPECT_TRUE(dlg.AppendNo->isChecked());
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("5"));
}

} // namespace

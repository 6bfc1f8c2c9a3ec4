// The communication set-up dialog under the offscreen platform: what it shows, the field
// checks and the refused close, OK and Cancel, the default buttons and the scan.
#include "ui/CommSetupDialog.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "ui/UpDownEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

bool isBlue(const QWidget* w) {
    return w->palette().color(QPalette::WindowText) == QColor(0, 0, 255);
}

class TRSsetTest : public testing::Test {
protected:
    TRSsetTest() {
        context.paths.settingsIni = folder.settingsIniPath();
        context.language.iniPath = shippedDataDir() + QStringLiteral("/lng/English.ini");
        const IniFile lang(context.language.iniPath);
        QStringList messages;
        for (const QString& key : lang.keys(QStringLiteral("General")))
            messages << lang.readString(QStringLiteral("General"), key);
        params.setMessages(messages);
        context.store = &params;
        context.texts.caption = params.Msg(MsgId::Caption);
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
        port.existingPaths = {QStringLiteral("/dev/fake/COM1"), QStringLiteral("/dev/fake/COM3")};
    }

    void writeSettings(const QByteArray& text) { folder.writeFile(QStringLiteral("KVR260X.ini"), text); }
    QString stored(const char* key) {
        const IniFile ini(context.paths.settingsIni);
        return ini.readString(QStringLiteral("Comms"), QLatin1String(key));
    }
    void expectBox(MsgId message, BoxIcon icon) {
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, params.Msg(message));
        EXPECT_EQ(prompter.boxes()[0].icon, icon);
        prompter.clear();
    }

    TempProgramFolder folder;
    ProgramContext context;
    ParameterStore params;
    ScriptedPrompter prompter;
    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
};

TEST_F(TRSsetTest, WithoutStoredSettingsShowsTheDefaultsAndOkStoresThemInOrder) {
    CommSetupDialog dlg(link);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("RS-232C Setup"));
    EXPECT_EQ(dlg.ProtocolItems[1]->text(), QStringLiteral("MODBUS-RTU"));
    EXPECT_TRUE(dlg.ProtocolItems[0]->isChecked());
    EXPECT_EQ(dlg.CommSpeed->currentText(), QStringLiteral("   9,600"));
    EXPECT_EQ(dlg.CommParity->currentText(), QStringLiteral("Even"));
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("0"));
    EXPECT_FALSE(dlg.IdNmb->isEnabled());
    EXPECT_EQ(dlg.timeoutEdit->text(), QStringLiteral("200"));
    EXPECT_EQ(dlg.portCombo->count(), 2);
    EXPECT_EQ(dlg.portCombo->currentText(), QStringLiteral("COM1"));

    dlg.OkBtn->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(prompter.boxes().empty());
    const IniFile ini(context.paths.settingsIni);
    EXPECT_EQ(ini.keys(QStringLiteral("Comms")),
              QStringList({"Prtocol", "Commport", "Baudrate", "Parity", "Stopbits", "Bytesize", "ID",
                           "AppendNo", "Douhou", "Delay"}));
    const char* expected[][2] = {{"Prtocol", "0"},  {"Commport", "0"}, {"Baudrate", "3"}, {"Parity", "1"},
                                 {"Stopbits", "0"}, {"Bytesize", "1"}, {"ID", "0"},       {"AppendNo", "0"},
                                 {"Douhou", "0"},   {"Delay", "200"}};
    for (const auto& kv : expected)
        EXPECT_EQ(stored(kv[0]), QLatin1String(kv[1])) << kv[0];
}

TEST_F(TRSsetTest, StoredPortPositionSelectsAmongThePortsFound) {
    writeSettings("[Comms]\r\nCommport=1\r\nPrtocol=1\r\nID=12\r\nAppendNo=1\r\n");
    CommSetupDialog dlg(link);
    dlg.show();
    EXPECT_EQ(dlg.portCombo->currentText(), QStringLiteral("COM3"));
    EXPECT_TRUE(dlg.ProtocolItems[1]->isChecked());
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("12"));
    EXPECT_TRUE(dlg.IdNmb->isEnabled());
}

TEST_F(TRSsetTest, WrongFieldsShowTheirMessageAndKeepTheDialogOpen) {
    CommSetupDialog dlg(link);
    dlg.show();

    dlg.IdNmb->setText(QStringLiteral("64"));
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(dlg.checkInverterNumber());
    expectBox(MsgId::OutOfRange, BoxIcon::Error);
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("63"));
    EXPECT_TRUE(dlg.FieldError);

    // Enter in the field runs the check (and does not close the dialog).
    dlg.AppendNo->click();
    dlg.IdNmb->setText(QStringLiteral("-1"));
    prompter.answer(BoxAnswer::Ok);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(dlg.IdNmb, &enter);
    expectBox(MsgId::OutOfRange, BoxIcon::Error);
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("0"));
    EXPECT_TRUE(dlg.isVisible());

    dlg.timeoutEdit->setText(QString());
    prompter.answer(BoxAnswer::Ok);
    dlg.OkBtn->click();
    expectBox(MsgId::DataIncorrect, BoxIcon::Error);
    EXPECT_TRUE(dlg.isVisible());

    dlg.timeoutEdit->setText(QStringLiteral("6000"));
    prompter.answer(BoxAnswer::Ok);
    dlg.OkBtn->click();
    expectBox(MsgId::OutOfRange, BoxIcon::Error);
    EXPECT_EQ(dlg.timeoutEdit->text(), QStringLiteral("5000"));
    EXPECT_TRUE(dlg.isVisible());

    // A fraction is taken rounded, and stored as the integer.
    dlg.timeoutEdit->setText(QStringLiteral("449.5"));
    dlg.OkBtn->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(stored("Delay"), QStringLiteral("450"));
    EXPECT_EQ(link.replyTimeoutMs(), 450);
}

TEST_F(TRSsetTest, CancelAndEscRestoreTheStoredSettingsAndOnlyOkClearsTheError) {
    writeSettings("[Comms]\r\nBaudrate=5\r\nDelay=300\r\n");
    CommSetupDialog dlg(link);
    link.noteExchangeFailed(true);

    for (int way = 0; way < 2; ++way) {
        dlg.show();
        dlg.CommSpeed->setCurrentIndex(1);
        emit dlg.CommSpeed->activated(1);
        dlg.timeoutEdit->setText(QStringLiteral("abc")); // wrong, but Cancel restores it first
        if (way == 0)
            dlg.CancelBtn->click();
        else
            dlg.reject();
        EXPECT_FALSE(dlg.isVisible()) << way;
        EXPECT_TRUE(prompter.boxes().empty()) << way;
        EXPECT_EQ(link.settings().baudIndex, 5) << way;
        EXPECT_EQ(dlg.timeoutEdit->text(), QStringLiteral("300")) << way;
        EXPECT_EQ(stored("Baudrate"), QStringLiteral("5")) << way;
        EXPECT_TRUE(link.lastExchangeFailed()) << way;
    }

    dlg.show();
    dlg.OkBtn->click();
    EXPECT_FALSE(link.lastExchangeFailed());
}

TEST_F(TRSsetTest, SetNumberAndBroadcastAreExclusive) {
    CommSetupDialog dlg(link);
    dlg.show();
    dlg.AppendNo->click();
    EXPECT_TRUE(dlg.IdNmb->isEnabled());
    dlg.broadcastCheck->click();
    EXPECT_FALSE(dlg.AppendNo->isChecked());
    EXPECT_FALSE(dlg.IdNmb->isEnabled());
    dlg.AppendNo->click();
    EXPECT_FALSE(dlg.broadcastCheck->isChecked());
    EXPECT_TRUE(link.settings().appendNo);
    EXPECT_FALSE(link.settings().broadcast);

    // The number's arrows wrap, and the requests carry the new number at once.
    dlg.IdNmb->setText(QStringLiteral("63"));
    ASSERT_TRUE(dlg.checkInverterNumber());
    EXPECT_EQ(link.settings().inverterNumber, 63);
    dlg.IdNmb->stepBy(+1);
    EXPECT_EQ(dlg.IdNmb->text(), QStringLiteral("0"));
    EXPECT_EQ(link.settings().inverterNumber, 0);
}

TEST_F(TRSsetTest, DriveDefaultsButtonTurnsTheChangedSettingsBlueUntilShownAgain) {
    context.drive.files.infoIniPath = folder.writeFile(
        QStringLiteral("dat/HXA1(V110)/Info.ini"),
        "[Def Comms]\r\nProtocol=0\r\nBaudrate=4\r\nBaudrate_B=0\r\nParity=1\r\nInvNo=0\r\n");
    CommSetupDialog dlg(link);
    dlg.show();
    EXPECT_TRUE(dlg.driveDefaultsButton->isEnabled());
    EXPECT_FALSE(dlg.tableDefaultsButton->isEnabled());

    dlg.driveDefaultsButton->click();
    EXPECT_EQ(dlg.CommSpeed->currentText(), QStringLiteral(" 19,200"));
    EXPECT_FALSE(dlg.AppendNo->isChecked());
    EXPECT_TRUE(isBlue(dlg.baudRateLabel));
    EXPECT_TRUE(isBlue(dlg.CommSpeed));
    EXPECT_TRUE(isBlue(dlg.LabelBps));
    EXPECT_FALSE(isBlue(dlg.CommParity));
    EXPECT_FALSE(isBlue(dlg.protocolGroup));

    dlg.OkBtn->click();
    dlg.show();
    EXPECT_FALSE(isBlue(dlg.CommSpeed));
    EXPECT_FALSE(isBlue(dlg.baudRateLabel));
    dlg.CancelBtn->click();

    // A drive type without "Def Comms": neither button.
    context.drive.files.infoIniPath = folder.writeFile(QStringLiteral("dat/X/Info.ini"), "[Setup]\r\n");
    dlg.show();
    EXPECT_FALSE(dlg.driveDefaultsButton->isEnabled());
    EXPECT_FALSE(dlg.tableDefaultsButton->isEnabled());
}

TEST_F(TRSsetTest, ScanWithoutAnyPortShowsMessageTwoAndTriesNothing) {
    port.existingPaths = {QStringLiteral("/dev/fake/none")};
    CommSetupDialog dlg(link);
    dlg.show();
    EXPECT_FALSE(dlg.portCombo->isEnabled());
    prompter.answer(BoxAnswer::Ok);
    dlg.scanDriveButton->click();
    expectBox(MsgId::NoUsablePort, BoxIcon::Warning);
    EXPECT_TRUE(port.opens.empty());
    // The disabled port list does not keep the dialog from closing.
    dlg.OkBtn->click();
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(TRSsetTest, ScanShowsTheSettingsOfTheDriveFound) {
    port.responder = [this](const Bytes& req) -> std::vector<FakeSerialPort::Chunk> {
        const FakeSerialPort::Open& o = port.opens.back();
        if (o.path != QStringLiteral("/dev/fake/COM3") || o.baud != 19200 || o.parity != SerialParity::Odd ||
            req.size() != 8 || req[1] != 0x03)
            return {};
        Bytes r = {req[0], 0x03, 0x02, 0x00, 0x00};
        AppendCrc(r);
        return {{r, 15}};
    };
    CommSetupDialog dlg(link);
    dlg.show();
    dlg.scanDriveButton->click();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_TRUE(dlg.ProtocolItems[1]->isChecked());
    EXPECT_EQ(dlg.portCombo->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(dlg.CommSpeed->currentText(), QStringLiteral(" 19,200"));
    EXPECT_EQ(dlg.CommParity->currentText(), QStringLiteral("Odd"));
    EXPECT_TRUE(isBlue(dlg.protocolGroup));
    EXPECT_TRUE(isBlue(dlg.portCombo));
    EXPECT_TRUE(isBlue(dlg.CommParity));
    EXPECT_TRUE(link.PortOpen());

    dlg.OkBtn->click();
    EXPECT_EQ(stored("Prtocol"), QStringLiteral("1"));
    EXPECT_EQ(stored("Commport"), QStringLiteral("1"));
    EXPECT_EQ(stored("Baudrate"), QStringLiteral("4"));
    EXPECT_EQ(stored("Parity"), QStringLiteral("2"));
}

TEST_F(TRSsetTest, ScanWithNoAnswerShowsMessageThreeAndChangesNothing) {
    CommSetupDialog dlg(link);
    dlg.show();
    prompter.answer(BoxAnswer::Ok);
    dlg.scanDriveButton->click();
    expectBox(MsgId::CannotConnect, BoxIcon::Warning);
    EXPECT_EQ(port.opens.size(), 36u);
    EXPECT_TRUE(dlg.ProtocolItems[0]->isChecked());
    EXPECT_EQ(dlg.CommSpeed->currentIndex(), 3);
    EXPECT_EQ(dlg.CommParity->currentIndex(), 1);
    EXPECT_FALSE(isBlue(dlg.CommSpeed));
}

} // namespace

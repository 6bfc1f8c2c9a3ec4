// The communication settings apart from their dialog: the "Comms" section, the station
// choices, the port list and the drive type's default settings.
#include "link/CommSettings.h"
#include "core/ProgramContext.h"

#include "core/ParameterStore.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/TestProgram.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CommSettingsTest : public testing::Test {
protected:
    ManualClock clock;
    FakeSerialPort port{clock};
    ProgramContext context;
    CommLink link{context, port, clock, installedAsker()};
    CommSettings settings{link};
    QTemporaryDir dir;

    QString iniPath(const char* name = "KVR260X.ini") const { return dir.filePath(QLatin1String(name)); }
    void writeFile(const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

TEST_F(CommSettingsTest, MissingSectionGivesTheDefaults) {
    link.updateSettings([&](LinkSettings& s) { s.baudIndex = 0; });
    link.setReplyTimeout(999);
    IniFile ini(iniPath());
    settings.load(ini);
    const LinkSettings& s = link.settings();
    EXPECT_EQ(s.protocol, 0);
    EXPECT_EQ(s.portIndex, 0);
    EXPECT_EQ(s.baudIndex, 3);
    EXPECT_EQ(s.parityIndex, 1);
    EXPECT_EQ(s.stopIndex, 0);
    EXPECT_EQ(s.sizeIndex, 1);
    EXPECT_EQ(s.inverterNumber, 0);
    EXPECT_FALSE(s.appendNo);
    EXPECT_FALSE(s.broadcast);
    EXPECT_EQ(link.replyTimeoutMs(), 200);
    EXPECT_EQ(link.frameGapMs(), 3);
}

TEST_F(CommSettingsTest, GarbageAndOutOfRangeValuesGiveTheDefaults) {
    writeFile(iniPath(), "[Comms]\r\nPrtocol=2\r\nCommport=-1\r\nBaudrate=6\r\nParity=x\r\n"
                         "Stopbits=3\r\nBytesize=2\r\nID=64\r\nAppendNo=yes\r\nDouhou=\r\nDelay=29\r\n");
    IniFile ini(iniPath());
    settings.load(ini);
    const LinkSettings& s = link.settings();
    EXPECT_EQ(s.protocol, 0);
    EXPECT_EQ(s.portIndex, 0);
    EXPECT_EQ(s.baudIndex, 3);
    EXPECT_EQ(s.parityIndex, 1);
    EXPECT_EQ(s.stopIndex, 0);
    EXPECT_EQ(s.sizeIndex, 1);
    EXPECT_EQ(s.inverterNumber, 0);
    EXPECT_FALSE(s.appendNo);
    EXPECT_FALSE(s.broadcast);
    EXPECT_EQ(link.replyTimeoutMs(), 200);

    writeFile(iniPath(), "[Comms]\r\nPrtocol=-5\r\nDelay=5001\r\nID=-1\r\n");
    IniFile again(iniPath());
    settings.load(again);
    EXPECT_EQ(link.settings().protocol, 0);
    EXPECT_EQ(link.replyTimeoutMs(), 200);
    EXPECT_EQ(link.settings().inverterNumber, 0);
}

TEST_F(CommSettingsTest, StoredValuesRoundTripInTheFixedKeyOrder) {
    link.setSettings({1, 2, 5, 2, 2, 0, 17, true, false});
    link.setReplyTimeout(4500);
    {
        writeFile(iniPath(), "[Language]\r\nEnglish=1\r\n");
        IniFile ini(iniPath());
        settings.save(ini);
        ASSERT_TRUE(ini.flush());
    }
    EXPECT_EQ(link.frameGapMs(), 1);
    IniFile ini(iniPath());
    EXPECT_EQ(ini.keys(QStringLiteral("Comms")),
              QStringList({"Prtocol", "Commport", "Baudrate", "Parity", "Stopbits", "Bytesize", "ID",
                           "AppendNo", "Douhou", "Delay"}));
    EXPECT_EQ(ini.readString(QStringLiteral("Comms"), QStringLiteral("AppendNo")), QStringLiteral("1"));
    EXPECT_EQ(ini.readString(QStringLiteral("Comms"), QStringLiteral("Douhou")), QStringLiteral("0"));

    link.setSettings(LinkSettings());
    link.setReplyTimeout(200);
    settings.load(ini);
    EXPECT_TRUE(link.settings() == (LinkSettings{1, 2, 5, 2, 2, 0, 17, true, false}));
    EXPECT_EQ(link.replyTimeoutMs(), 4500);
    EXPECT_EQ(link.frameGapMs(), 1);
}

TEST_F(CommSettingsTest, SetNumberAndBroadcastExcludeEachOther) {
    settings.setAppendNo(true);
    settings.setBroadcast(true);
    EXPECT_TRUE(link.settings().broadcast);
    EXPECT_FALSE(link.settings().appendNo);
    EXPECT_FALSE(settings.inverterNumberEnabled());
    settings.setAppendNo(true);
    EXPECT_FALSE(link.settings().broadcast);
    EXPECT_TRUE(settings.inverterNumberEnabled());
    // Unchecking one leaves the other unchecked: neither choice is allowed too.
    settings.setAppendNo(false);
    EXPECT_FALSE(link.settings().appendNo);
    EXPECT_FALSE(link.settings().broadcast);

    // A file with both set keeps the station number.
    writeFile(iniPath(), "[Comms]\r\nAppendNo=1\r\nDouhou=1\r\n");
    IniFile ini(iniPath());
    settings.load(ini);
    EXPECT_TRUE(link.settings().appendNo);
    EXPECT_FALSE(link.settings().broadcast);
}

TEST_F(CommSettingsTest, PortListKeepsTheSelectedPortByName) {
    link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
    port.existingPaths = {QStringLiteral("/dev/fake/COM1"), QStringLiteral("/dev/fake/COM3")};
    EXPECT_EQ(settings.listSerialPorts(), 2);
    EXPECT_EQ(settings.ports(), QStringList({"COM1", "COM3"}));
    link.updateSettings([&](LinkSettings& s) {
        s.portIndex = 1; // COM3
    });

    port.existingPaths = {QStringLiteral("/dev/fake/COM2"), QStringLiteral("/dev/fake/COM3")};
    ASSERT_EQ(link.openPort(QStringLiteral("COM2"), 3, 1), SerialError::None);
    EXPECT_EQ(settings.listSerialPorts(), 2);
    EXPECT_FALSE(link.PortOpen());
    EXPECT_EQ(settings.selectedPort(), 1);

    port.existingPaths = {QStringLiteral("/dev/fake/COM2"), QStringLiteral("/dev/fake/COM4")};
    settings.listSerialPorts();
    EXPECT_EQ(settings.selectedPort(), 0); // COM3 gone: the first one

    // No port at all: the stored position stays for when the port comes back.
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 1; });
    port.existingPaths = {QStringLiteral("/dev/fake/none")};
    EXPECT_EQ(settings.listSerialPorts(), 0);
    EXPECT_EQ(link.settings().portIndex, 1);
    EXPECT_EQ(settings.selectedPort(), -1);
}

// ---- Default settings of the drive type ----

class DriveDefaults : public CommSettingsTest {
protected:
    IniFile& info(const QByteArray& defComms) {
        writeFile(iniPath("Info.ini"), "[Setup]\r\nQuick=0\r\n[Def Comms]\r\n" + defComms);
        info_ = std::make_unique<IniFile>(iniPath("Info.ini"));
        return *info_;
    }
    std::unique_ptr<IniFile> info_;
};

TEST_F(DriveDefaults, ButtonsNeedAllFourIntegersOrOneParameterSource) {
    struct Case {
        QByteArray keys;
        bool drive, table;
    } cases[] = {
        {"Protocol=0\r\nBaudrate=4\r\nParity=1\r\nInvNo=0\r\n", true, false},
        {"Protocol=0\r\nBaudrate=4\r\nParity=1\r\n", false, false},
        {"Protocol=0\r\nBaudrate=-1\r\nParity=1\r\nInvNo=0\r\n", false, false},
        {"Para_Protocol=-\r\nPara_Baudrate=-\r\nPara_Parity=-\r\nPara_InvNo=-\r\n", false, false},
        {"Para_Parity=Fixed\r\n", false, true},
        {"Para_Baudrate=0F21\r\n", false, true},
        {"", false, false},
    };
    for (const Case& c : cases) {
        const DefaultButtons b = CommSettings::defaultButtons(info(c.keys));
        EXPECT_EQ(b.driveDefaults, c.drive) << c.keys.constData();
        EXPECT_EQ(b.tableDefaults, c.table) << c.keys.constData();
    }
}

TEST_F(DriveDefaults, DriveDefaultsApplyWithOffsetsAndSetNumberFollowsTheNumber) {
    settings.setAppendNo(true);
    link.updateSettings([&](LinkSettings& s) { s.inverterNumber = 9; });
    settings.applyDriveDefaults(info("Protocol=0\r\nBaudrate=4\r\nBaudrate_B=0\r\nParity=1\r\nInvNo=0\r\n"));
    EXPECT_EQ(link.settings().baudIndex, 4);
    EXPECT_EQ(link.settings().inverterNumber, 0);
    EXPECT_FALSE(link.settings().appendNo);

    settings.setBroadcast(true);
    settings.applyDriveDefaults(info("Protocol=0\r\nProtocol_B=1\r\nBaudrate=2\r\nBaudrate_B=1\r\n"
                                     "Parity=0\r\nParity_B=2\r\nInvNo=4\r\nInvNo_B=1\r\n"));
    EXPECT_EQ(link.settings().protocol, 1);
    EXPECT_EQ(link.settings().baudIndex, 3);
    EXPECT_EQ(link.settings().parityIndex, 2);
    EXPECT_EQ(link.settings().inverterNumber, 5);
    EXPECT_TRUE(link.settings().appendNo);
    EXPECT_FALSE(link.settings().broadcast);

    // Missing keys take the button's fall-backs.
    settings.applyDriveDefaults(info(""));
    EXPECT_EQ(link.settings().protocol, 0);
    EXPECT_EQ(link.settings().baudIndex, 4);
    EXPECT_EQ(link.settings().parityIndex, 1);
    EXPECT_EQ(link.settings().inverterNumber, 0);
}

TEST_F(DriveDefaults, ResultsOutsideTheirListsLeaveTheSettingUnchanged) {
    link.setSettings({1, 0, 2, 2, 0, 1, 7, true, false});
    settings.applyDriveDefaults(info("Protocol=1\r\nProtocol_B=1\r\nBaudrate=5\r\nBaudrate_B=1\r\n"
                                     "Parity=3\r\nInvNo=60\r\nInvNo_B=4\r\n"));
    EXPECT_EQ(link.settings().protocol, 1);
    EXPECT_EQ(link.settings().baudIndex, 2);
    EXPECT_EQ(link.settings().parityIndex, 2);
    EXPECT_EQ(link.settings().inverterNumber, 7);
    EXPECT_TRUE(link.settings().appendNo);
}

TEST_F(DriveDefaults, TableDefaultsComeFromTheParameterValues) {
    TestProgram table;
    const char* rows[][2] = {{"0000", "0"}, {"0F21", "2"}, {"0F22", "1.5"}, {"0F23", "h12"}, {"0F24", "9"}};
    table.setParameters({"0000", "0F21", "0F22", "0F23", "0F24"});
    for (int i = 0; i < 5; ++i)
        table.setWork(i, UP_Value, QLatin1String(rows[i][1]));

    link.setSettings({0, 0, 0, 0, 0, 1, 3, false, true});
    settings.applyTableDefaults(info("Para_Protocol=0F22\r\nPara_Baudrate=0F21\r\nBaudrate_B=1\r\n"
                                     "Para_Parity=Fixed\r\nParity=0\r\nParity_B=1\r\n"
                                     "Para_InvNo=0F24\r\n"),
                                table.context);
    EXPECT_EQ(link.settings().protocol, 0);    // "1.5" is no integer: unchanged
    EXPECT_EQ(link.settings().baudIndex, 3);   // 2 + 1
    EXPECT_EQ(link.settings().parityIndex, 0); // a fixed 0 is not taken
    EXPECT_EQ(link.settings().inverterNumber, 9);
    EXPECT_TRUE(link.settings().appendNo);
    EXPECT_FALSE(link.settings().broadcast);

    settings.applyTableDefaults(info("Para_Protocol=0F23\r\nPara_Baudrate=0999\r\nPara_Parity=Fixed\r\n"
                                     "Parity=2\r\nPara_InvNo=0\r\n"),
                                table.context);
    EXPECT_EQ(link.settings().protocol, 0);  // hexadecimal display text: unchanged
    EXPECT_EQ(link.settings().baudIndex, 3); // not in the table: unchanged
    EXPECT_EQ(link.settings().parityIndex, 2);
    EXPECT_EQ(link.settings().inverterNumber, 0); // "0" is "0000", whose value is 0
    EXPECT_FALSE(link.settings().appendNo);

    // All sources "-": nothing at all changes, not even "Set number".
    settings.setAppendNo(true);
    link.updateSettings([&](LinkSettings& s) { s.inverterNumber = 0; });
    settings.applyTableDefaults(info("Para_Protocol=-\r\nProtocol=1\r\n"), table.context);
    EXPECT_TRUE(link.settings().appendNo);
    EXPECT_EQ(link.settings().protocol, 0);
}

} // namespace

// Finding the connected drive at start-up: the ports and combinations tried and in which
// order, what each costs with nothing attached, the frames on the wire, and how the drive's
// identity becomes the start-up form's preselection (or a box naming what it read). On the
// fake port with a fake clock, and against the simulated drive on a pseudo-terminal.
#include "link/DriveDetection.h"

#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/StartupChoice.h"
#include "platform/Clock.h"
#include "support/DrivesimSupport.h"
#include "support/StartupChoiceFixture.h"
#include "tools/drivesim/PtyDriveServer.h"

#include <optional>
#include <utility>
#include <vector>

using namespace simtest;

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kInverterProbe = {0x2F, 0x52, 0x00, 0x00, 0x81};
const Bytes kInverterRepeat = {0x52, 0x00, 0x00, 0x52};
const Bytes kModbusProbe = {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};
const Bytes kModbusRepeat = {0x03, 0x00, 0x00, 0x00, 0x01, 0x01, 0xB8};

const QByteArray kEnglish = "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\n"
                            "[Options]\r\nCheckLang=1\r\n";

// Requests of the maker's protocol as "<kind><number>" ("R0000", "PFB91"); frames that do
// not begin with "/" are left out.
QStringList inverterRequests(const std::vector<FakeSerialPort::Write>& writes) {
    QStringList out;
    for (const auto& w : writes)
        if (w.bytes.size() >= 5 && w.bytes[0] == 0x2F)
            out << QChar(char16_t(w.bytes[1])) +
                       QStringLiteral("%1").arg(w.bytes[2] * 256 + w.bytes[3], 4, 16, QChar(u'0')).toUpper();
    return out;
}

class DriveDetectionTest : public StartupChoiceFixture {
protected:
    void SetUp() override {
        StartupChoiceFixture::SetUp();
        link.portPathResolver = [](const QString& name) { return QStringLiteral("/dev/fake/") + name; };
        port.existingPaths = {QStringLiteral("/dev/fake/COM2"), QStringLiteral("/dev/fake/COM5")};
        link.FrameGap = kFrameGapMs[0]; // the detection must not take the main link's gap
    }

    // A drive holding these parameters (the probe's "0000" and the access parameter always).
    void driveWith(std::initializer_list<std::pair<const char*, int>> values, SimConfig config = {},
                   const QString& path = QString()) {
        model.setParameter(QStringLiteral("0000"), 0);
        model.setParameter(QStringLiteral("FB91"), 0);
        for (const auto& [comNo, value] : values)
            model.setParameter(QString::fromLatin1(comNo), value);
        sim = std::make_unique<DriveSimulator>(model, config);
        attachDrive(port, *sim, path);
    }

    // The choice with detection on the link, created from the settings written before.
    StartupChoice& create() {
        choice =
            std::make_unique<StartupChoice>(context, StartupContext{false, false, nullptr, nullptr, &link});
        EXPECT_TRUE(choice->FormCreate());
        return *choice;
    }
    QString selected(const QStringList& list, int pos) const { return StartupChoice::at(list, pos); }
    void expectSelection(const char* type, const char* cpu, const char* capacity) {
        EXPECT_EQ(selected(choice->I_TypeForm, choice->TypePos), type);
        EXPECT_EQ(selected(choice->I_CpuForm, choice->CpuPos), cpu);
        EXPECT_EQ(selected(choice->I_CapaForm, choice->CapaPos), capacity);
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock};
    DriveModel model;
    std::unique_ptr<DriveSimulator> sim;
    std::unique_ptr<StartupChoice> choice;
};

TEST_F(DriveDetectionTest, ADriveAnsweringAtTheStoredSettingsIsFoundWithOneProbeAndPreselected) {
    writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n");
    driveWith({{"FB07", 41}, {"0099", 1}, {"FE08", 720}, {"FB05", 13}});
    create();

    ASSERT_FALSE(port.writes.empty());
    EXPECT_EQ(port.writes.front().bytes, kInverterProbe);
    // The access value first, then the identity: type, its identifying parameter, CPU, capacity.
    EXPECT_EQ(inverterRequests(port.writes),
              QStringList({"R0000", "PFB91", "RFB07", "R0099", "RFE08", "RFB05"}));
    EXPECT_EQ(port.writes[1].bytes, Bytes({0x2F, 0x50, 0xFB, 0x91, 0x00, 0x64, 0x6F}));
    EXPECT_EQ(port.writes[2].bytes, Bytes({0x2F, 0x52, 0xFB, 0x07, 0x83}));
    EXPECT_EQ(port.opens.size(), 2u); // found, then reopened with what was found
    EXPECT_EQ(port.opens.back().baud, 9600);
    EXPECT_EQ(port.opens.back().parity, SerialParity::Even);
    EXPECT_TRUE(link.PortOpen()); // left open for the program's own connect step
    expectSelection("HXA1", "V720", "-4037");
    EXPECT_TRUE(prompter.boxes().empty());

    choice->FormClose();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n"));
}

TEST_F(DriveDetectionTest, ADriveAtTheLastCombinationOfTheSecondPortIsFoundAfterEveryOtherWithItsRepeat) {
    writeSettings(kEnglish);
    SimConfig modbusAt38400None;
    modbusAt38400None.protocol = SimProtocol::Modbus;
    modbusAt38400None.onlyBaud = 38400;
    modbusAt38400None.onlyParity = 0;
    driveWith({{"FB07", 52}, {"0099", 3}, {"FE08", 250}, {"FB05", 13}}, modbusAt38400None,
              QStringLiteral("/dev/fake/COM5"));
    create();

    // COM2: all 18 combinations, each probe followed by its repeat; COM5 likewise up to the
    // 18th, whose probe is answered.
    ASSERT_GE(port.writes.size(), 36u + 35u);
    for (int n = 0; n < 36 + 35; ++n) {
        const ScanCombination c = ConfigScan::combination((n / 2) % 18);
        const bool repeat = n % 2 == 1;
        const Bytes& expected = c.protocol == 1 ? (repeat ? kModbusRepeat : kModbusProbe)
                                                : (repeat ? kInverterRepeat : kInverterProbe);
        EXPECT_EQ(port.writes[size_t(n)].bytes, expected) << n;
    }
    EXPECT_EQ(port.opens[18].path, QStringLiteral("/dev/fake/COM5"));
    expectSelection("HXB3", "V250", "-4037");
    EXPECT_TRUE(prompter.boxes().empty());

    choice->FormClose();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nCommport=1\r\nPrtocol=1\r\nBaudrate=5\r\nParity=0\r\n"));
}

TEST_F(DriveDetectionTest, WithNothingAttachedAPortCostsItsThirtySixFramesAndTheirReplyTimes) {
    writeSettings(kEnglish + "[Comms]\r\nBaudrate=5\r\nParity=2\r\nPrtocol=1\r\n");
    port.existingPaths = {QStringLiteral("/dev/fake/COM2")};
    const qint64 start = clock.now();
    create();
    const qint64 waited = clock.now() - start;

    EXPECT_EQ(port.writes.size(), 36u);
    // Each frame waits out the 200 ms reply time and the MODBUS frames their silent interval,
    // nothing more: a late answer to a silent frame is refused by the repeat a MODBUS read
    // gets after a failure.
    const int waits = 36;
    EXPECT_GE(waited, waits * DriveDetection::kReplyTimeMs);
    EXPECT_LE(waited, waits * (DriveDetection::kReplyTimeMs + 2) + 9 * 2 * 4);
    EXPECT_TRUE(prompter.boxes().empty());
    expectSelection("HXA1", "V110", "-2004");
    // What the form stores then is the factory setting on the first port.
    choice->FormClose();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\nCommport=0\r\n"));
}

TEST_F(DriveDetectionTest, WithoutAnyPortTheUserIsToldAndTheFactorySettingsAreKept) {
    writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nBaudrate=5\r\nParity=0\r\nPrtocol=1\r\n");
    port.existingPaths = {QStringLiteral("/nowhere")};
    create();
    EXPECT_TRUE(port.writes.empty());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Usable serial port is not found.");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    expectSelection("HXA1", "V110", "-2004");
    choice->FormClose();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n"));
}

TEST_F(DriveDetectionTest, AStoredProtocolTheProgramDoesNotKnowIsNotTried) {
    writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nBaudrate=5\r\nParity=0\r\nPrtocol=2\r\n");
    SimConfig at38400None;
    at38400None.onlyBaud = 38400;
    at38400None.onlyParity = 0;
    driveWith({{"FB07", 41}, {"0099", 1}, {"FE08", 110}, {"FB05", 1}}, at38400None);
    create();
    ASSERT_FALSE(port.opens.empty());
    EXPECT_EQ(port.opens.front().baud, 9600); // the search began with the first combination
    EXPECT_EQ(choice->ProtocolIdx, 0);
    EXPECT_EQ(choice->SpeedIdx, 5);
    EXPECT_EQ(choice->ParityIdx, 0);
    expectSelection("HXA1", "V110", "-2004");
}

// The MODBUS silent interval after a reply is that of the speed the port was opened with,
// from the first exchange at that speed on.
TEST_F(DriveDetectionTest, TheModbusSilenceFollowsTheSpeedBeingTried) {
    for (int speed : {0, 3, 5}) {
        SCOPED_TRACE(speed);
        port.writes.clear();
        writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nParity=1\r\nPrtocol=1\r\nBaudrate=" +
                      QByteArray::number(speed) + "\r\n");
        SimConfig modbus;
        modbus.protocol = SimProtocol::Modbus;
        driveWith({{"FB07", 41}, {"0099", 1}, {"FE08", 110}, {"FB05", 1}}, modbus);
        create();
        ASSERT_GE(port.writes.size(), 2u);
        // The reply comes at once; the access value goes out after the silence of this speed.
        const qint64 silenceMs =
            (modbusSilenceUs(kFrameGapMs[speed], kCommSpeed[speed]) + kSilenceMarginUs) / 1000;
        EXPECT_EQ(port.writes[1].at - port.writes[0].at, silenceMs);
    }
}

// ---- The drive's identity ----------------------------------------------------------------

struct IdentityRow {
    const char* name;
    std::vector<std::pair<const char*, int>> drive;
    const char* type;
    const char* cpu;
    const char* capacity;
    const char* box; // nullptr: none
};

void PrintTo(const IdentityRow& row, std::ostream* os) {
    *os << row.name;
}

class DetectedIdentity : public DriveDetectionTest, public testing::WithParamInterface<IdentityRow> {
protected:
    void SetUp() override {
        DriveDetectionTest::SetUp();
        // A type whose drives report code 65 on "FB05" and keep their capacity in "FB58".
        IniFile catalogue(folder.filePath("dat/Inverter.ini"));
        catalogue.writeString("Type", "HXC5", "65");
        catalogue.writeString("HXC5", "-7500", "7");
        ASSERT_TRUE(catalogue.flush());
        folder.writeFile("dat/HXC5(V300)/HXC5-7500.cap", "0000,Control mode,1\r\n");
        writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n");
    }
};

TEST_P(DetectedIdentity, IsPreselectedOrNamedInABox) {
    const IdentityRow& row = GetParam();
    model.setParameter(QStringLiteral("0000"), 0);
    model.setParameter(QStringLiteral("FB91"), 0);
    for (const auto& [comNo, value] : row.drive)
        model.setParameter(QString::fromLatin1(comNo), value);
    sim = std::make_unique<DriveSimulator>(model, SimConfig{});
    attachDrive(port, *sim);
    create();
    expectSelection(row.type, row.cpu, row.capacity);
    if (row.box) {
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, QString::fromUtf8(row.box));
        EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    } else {
        EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DetectedIdentity,
    testing::Values(IdentityRow{"TypesSharingACodeAreToldApartByTheIdentifyingParameter",
                                {{"FB07", 52}, {"0099", 3}, {"FE08", 250}, {"FB05", 13}},
                                "HXB3",
                                "V250",
                                "-4037",
                                nullptr},
                    IdentityRow{"AnIdentifyingValueTheCatalogueDoesNotNameFallsBackToTheCode",
                                {{"FB07", 41}, {"0099", 9}, {"FE08", 110}, {"FB05", 2}},
                                "HXA1",
                                "V110",
                                "-2007",
                                nullptr},
                    // The CPU position is that of the type found on the second look, not of the first list.
                    IdentityRow{"TypeCodeZeroWithCode65OnTheCapacityReadsTheCapacityFromFB58",
                                {{"FB07", 0}, {"FB05", 65}, {"FE08", 300}, {"FB58", 7}},
                                "HXC5",
                                "V300",
                                "-7500",
                                nullptr},
                    IdentityRow{"ADriveWithoutATypeCodeIsTakenByCode65",
                                {{"FB05", 65}, {"FE08", 300}, {"FB58", 7}},
                                "HXC5",
                                "V300",
                                "-7500",
                                nullptr},
                    IdentityRow{"TypeCodeZeroWithAnotherCapacityCodeTakesTheFirstEntriesSilently",
                                {{"FB07", 0}, {"FB05", 5}, {"FE08", 110}},
                                "HXA1",
                                "V110",
                                "-2004",
                                nullptr},
                    IdentityRow{"AnUnlistedTypeIsNamedWithStars",
                                {{"FB07", 77}, {"FE08", 110}, {"FB05", 1}},
                                "HXA1",
                                "V110",
                                "-2004",
                                "Not found Inverter data file.\n****(V110)-****"},
                    IdentityRow{"AListedTypeWithoutItsCpuVersionIsNamedWithTheNumberRead",
                                {{"FB07", 41}, {"0099", 1}, {"FE08", 999}, {"FB05", 1}},
                                "HXA1",
                                "V110",
                                "-2004",
                                "Not found Inverter data file.\nHXA1(V999)-2004"},
                    // 40000 is -25536: no type, and the names stay the stored ones (none here).
                    IdentityRow{"ValuesFrom32768OnAreNegative",
                                {{"FB07", 40000}, {"FE08", 110}, {"FB05", 1}},
                                "HXA1",
                                "V110",
                                "-2004",
                                "Not found Inverter data file.\n()"}),
    [](const testing::TestParamInfo<IdentityRow>& info) { return std::string(info.param.name); });

TEST_F(DetectedIdentity, TypeCodeZeroReadsTheCpuVersionAgainForTheTypeOfCode65) {
    driveWith({{"FB07", 0}, {"FB05", 65}, {"FE08", 300}, {"FB58", 7}});
    create();
    EXPECT_EQ(inverterRequests(port.writes),
              QStringList({"R0000", "PFB91", "RFB07", "RFE08", "RFB05", "RFB05", "RFE08", "RFB58"}));
}

// ---- Against the simulated drive on a pseudo-terminal --------------------------------------

struct PtyRow {
    const char* name;
    SimProtocol protocol;
    int baud;
    DriveIdentity drive;
    int speedIdx;
    int protocolIdx;
};

void PrintTo(const PtyRow& row, std::ostream* os) {
    *os << row.name;
}

class DriveDetectionOnPty : public StartupChoiceFixture, public testing::WithParamInterface<PtyRow> {};

TEST_P(DriveDetectionOnPty, FindsTheDriveAtItsSpeedAndProtocolAndPreselectsIt) {
    const PtyRow& row = GetParam();
    writeSettings(kEnglish);
    DriveModel drive;
    QString error;
    ASSERT_TRUE(drive.load(shippedDataDir(), row.drive, &error)) << error.toStdString();
    SimConfig config;
    config.protocol = row.protocol;
    config.onlyBaud = row.baud;
    DriveSimulator simulator(drive, config);
    PtyDriveServer server(simulator);
    ASSERT_TRUE(server.open(&error)) << error.toStdString();
    ASSERT_TRUE(server.start());

    TermiosSerialPort serial;
    CommLink link(context, serial, systemClock());
    // Only COM3 leads anywhere.
    link.portPathResolver = [&](const QString& name) {
        return name == QLatin1String("COM3") ? server.slavePath() : QString();
    };
    StartupChoice c(context, {false, false, nullptr, nullptr, &link});
    ASSERT_TRUE(c.FormCreate());
    server.stop();

    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    EXPECT_EQ(c.PortPos, 0);
    EXPECT_EQ(c.SpeedIdx, row.speedIdx);
    EXPECT_EQ(c.ProtocolIdx, row.protocolIdx);
    EXPECT_EQ(StartupChoice::at(c.I_TypeForm, c.TypePos), row.drive.typeName);
    EXPECT_EQ(StartupChoice::at(c.I_CpuForm, c.CpuPos), row.drive.cpuVersion);
    EXPECT_EQ(StartupChoice::at(c.I_CapaForm, c.CapaPos), row.drive.capacityName);
}

INSTANTIATE_TEST_SUITE_P(Rows, DriveDetectionOnPty,
                         testing::Values(PtyRow{"ModbusAt19200", SimProtocol::Modbus, 19200,
                                                DriveIdentity{"HXB3", "V250", "-4037", "Eng"}, 4, 1},
                                         PtyRow{"MakersProtocolAt38400", SimProtocol::Inverter, 38400,
                                                DriveIdentity{"HXA1", "V720", "-4022", "Eng"}, 5, 0}),
                         [](const testing::TestParamInfo<PtyRow>& info) {
                             return std::string(info.param.name);
                         });

} // namespace

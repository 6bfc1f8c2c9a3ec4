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
#include "support/InstalledAsker.h"
#include "support/StartupChoiceFixture.h"
#include "tools/drivesim/PtyDriveServer.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
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

// The port the form stores for the program's connect when it closes, by name.
QString portStoredAtClose(StartupChoice& choice, const QString& settingsIni) {
    choice.takeChoice();
    const int port =
        IniFile(settingsIni).readInteger(QStringLiteral("Comms"), QStringLiteral("Commport"), -1);
    return choice.portsSearched().value(port);
}

class DriveDetectionTest : public StartupChoiceFixture {
protected:
    void SetUp() override {
        StartupChoiceFixture::SetUp();
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
        port.existingPaths = {QStringLiteral("/dev/fake/COM2"), QStringLiteral("/dev/fake/COM5")};
        link.setFrameGap(kFrameGapMs[0]); // the detection must not take the main link's gap
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
        choice = std::make_unique<StartupChoice>(context, installedAsker(),
                                                 StartupContext{false, false, {}, &link});
        EXPECT_TRUE(choice->loadChoices());
        return *choice;
    }
    QString selected(const QStringList& list, int pos) const { return StartupChoice::at(list, pos); }
    void expectSelection(const char* type, const char* cpu, const char* capacity) {
        EXPECT_EQ(selected(choice->typeNames(), choice->selection().type), type);
        EXPECT_EQ(selected(choice->cpuVersions(), choice->selection().cpu), cpu);
        EXPECT_EQ(selected(choice->capacityNames(), choice->selection().capacity), capacity);
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    CommLink link{context, port, clock, installedAsker()};
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
    EXPECT_EQ(port.opens.size(), 3u); // found, reopened for the identity, then on the link
    EXPECT_EQ(port.opens.back().baud, 9600);
    EXPECT_EQ(port.opens.back().parity, SerialParity::Even);
    EXPECT_TRUE(link.PortOpen()); // left open for the program's own connect step
    expectSelection("HXA1", "V720", "-4037");
    EXPECT_TRUE(prompter.boxes().empty());

    choice->takeChoice();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n"));
}

TEST_F(DriveDetectionTest, IdentityReadsBehindALateReplyAreRepeatedNotTakenForAnotherValue) {
    for (const int protocol : {0, 1}) {
        SCOPED_TRACE(protocol);
        writeSettings(kEnglish + "[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=" +
                      QByteArray::number(protocol) + "\r\n");
        SimConfig config;
        config.protocol = protocol == 1 ? SimProtocol::Modbus : SimProtocol::Inverter;
        driveWith({{"FB07", 41}, {"0099", 1}, {"FE08", 720}, {"FB05", 13}}, config);
        // The drive answers in order; the type's reply and the CPU version's come 600 ms late.
        auto inner = port.responder;
        auto count = std::make_shared<int>(0);
        auto freeAt = std::make_shared<qint64>(0);
        port.responder = [this, inner, count, freeAt](const FakeSerialPort::Bytes& request) {
            auto out = inner(request);
            ++*count;
            for (FakeSerialPort::Chunk& c : out) {
                const qint64 late = *count == 3 || *count == 5 ? 600 : 0;
                *freeAt = std::max(clock.now(), *freeAt) + c.delayMs + late;
                c.delayMs = *freeAt - clock.now();
            }
            return out;
        };
        create();
        expectSelection("HXA1", "V720", "-4037");
        EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
        clock.advance(5000);
        link.closePort();
    }
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

    choice->takeChoice();
    EXPECT_TRUE(settingsText().contains("[Comms]\r\nCommport=1\r\nPrtocol=1\r\nBaudrate=5\r\nParity=0\r\n"));
}

TEST_F(DriveDetectionTest, WithNothingAttachedAPortCostsItsThirtySixFramesAndTheirReplyTimes) {
    writeSettings(kEnglish + "[Comms]\r\nBaudrate=5\r\nParity=2\r\nPrtocol=1\r\n");
    port.existingPaths = {QStringLiteral("/dev/fake/COM2")};
    const qint64 start = clock.now();
    create();
    const qint64 waited = clock.now() - start;

    EXPECT_EQ(port.writes.size(), 36u);
    // Each frame waits out the 200 ms reply time and nothing more: a repeat follows its probe
    // after the silent interval alone (any answer here means a drive), MODBUS too.
    EXPECT_GE(waited, 36 * DriveDetection::kReplyTimeMs);
    EXPECT_LE(waited, 36 * (DriveDetection::kReplyTimeMs + 2));
    for (size_t n = 0; n + 1 < port.writes.size(); n += 2)
        EXPECT_LE(port.writes[n + 1].at - port.writes[n].at, DriveDetection::kReplyTimeMs + 2) << n;
    EXPECT_TRUE(prompter.boxes().empty());
    expectSelection("HXA1", "V110", "-2004");
    // What the form stores then is the factory setting on the first port.
    choice->takeChoice();
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
    choice->takeChoice();
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
    EXPECT_EQ(choice->commSettings().protocolIdx, 0);
    EXPECT_EQ(choice->commSettings().speedIdx, 5);
    EXPECT_EQ(choice->commSettings().parityIdx, 0);
    expectSelection("HXA1", "V110", "-2004");
}

// The option that keeps the last drive, with none stored yet: the drive is looked for and
// preselected, but the close leaves "Comms" as it was.
TEST_F(DriveDetectionTest, UnderTheOptionKeepingTheLastDriveTheSettingsFoundAreNotStored) {
    const QByteArray comms = "[Comms]\r\nCommport=1\r\nBaudrate=5\r\nParity=0\r\nPrtocol=1\r\n";
    writeSettings("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\n"
                  "[Options]\r\nCheckLang=1\r\nCheckInv=1\r\n" +
                  comms);
    driveWith({{"FB07", 41}, {"0099", 1}, {"FE08", 720}, {"FB05", 13}});
    create();
    expectSelection("HXA1", "V720", "-4037");
    EXPECT_EQ(choice->commSettings(), (SearchTry{3, 1, 0}));
    choice->takeChoice();
    EXPECT_TRUE(settingsText().contains(comms)) << settingsText().toStdString();
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
        const qint64 silenceMs = modbusSilenceUs(kFrameGapMs[speed], kCommSpeed[speed]) / 1000;
        EXPECT_EQ(port.writes[1].at - port.writes[0].at, silenceMs);
    }
}

// ---- Side by side ------------------------------------------------------------------------

// Drives on some of COM1..COM7, each answering only at its speed, parity and protocol.
struct SearchRow {
    const char* name;
    QByteArray comms; // the stored settings
    struct Drive {
        const char* port;
        int baud;
        int parity;
        SimProtocol protocol;
    };
    std::vector<Drive> drives;
    const char* port; // the port found
    int speedIdx, parityIdx, protocolIdx;
};

void PrintTo(const SearchRow& row, std::ostream* os) {
    *os << row.name;
}

class DetectionSideBySide : public DriveDetectionTest {
protected:
    // A line whose first open waits until every line has opened once (a search one port after
    // another never gets there) and while the test holds the search.
    struct Line : FakeSerialPort {
        Line(ManualClock& c, DetectionSideBySide& t) : FakeSerialPort(c), test(t) {}
        SerialError open(const QString& path, int baud, int dataBits, SerialParity parity,
                         SerialStopBits stopBits) override {
            if (opens.empty() && !test.meetAllPorts())
                test.apart = true;
            return FakeSerialPort::open(path, baud, dataBits, parity, stopBits);
        }
        DetectionSideBySide& test;
    };

    void SetUp() override {
        DriveDetectionTest::SetUp();
        port.existingPaths.clear();
        for (int n = 1; n <= 7; ++n)
            port.existingPaths << QStringLiteral("/dev/fake/COM%1").arg(n);
        model.setParameter(QStringLiteral("0000"), 0);
        model.setParameter(QStringLiteral("FB91"), 0);
        for (const auto& [comNo, value] : {std::pair{"FB07", 41}, {"0099", 1}, {"FE08", 720}, {"FB05", 13}})
            model.setParameter(QString::fromLatin1(comNo), value);
    }

    // Simulated drives behind `line`, each on its own port.
    void attach(FakeSerialPort& line, const std::vector<SearchRow::Drive>& drives) {
        std::map<QString, DriveSimulator*> byPath;
        const std::lock_guard<std::mutex> lock(mutex);
        for (const SearchRow::Drive& d : drives) {
            SimConfig config;
            config.protocol = d.protocol;
            config.onlyBaud = d.baud;
            config.onlyParity = d.parity;
            const auto own = models.find(QLatin1String(d.port));
            sims.push_back(
                std::make_unique<DriveSimulator>(own != models.end() ? *own->second : model, config));
            sims.back()->setWriteObserver([this, name = QString::fromLatin1(d.port)](const SimWrite& w) {
                const std::lock_guard<std::mutex> lock(writesMutex);
                driveWrites[name] << w.comNo + u' ' + QString::number(w.value);
            });
            byPath[QStringLiteral("/dev/fake/") + QLatin1String(d.port)] = sims.back().get();
        }
        line.responder = [this, &line, byPath](const FakeSerialPort::Bytes& request) {
            std::vector<FakeSerialPort::Chunk> out;
            if (beforeReply)
                beforeReply(line.path(), request);
            const auto drive = byPath.find(line.path());
            if (drive == byPath.end() || line.opens.empty())
                return out;
            const SimLine sim{line.opens.back().baud, parityIndex(line.opens.back().parity)};
            for (SimReply& r : drive->second->respondToWrite(request, sim))
                out.push_back({std::move(r.bytes), qint64((r.delay.count() + 999) / 1000)});
            return out;
        };
    }

    // The form whose ports are searched side by side, each on a line and clock of its own.
    StartupChoice& createSideBySide(const std::vector<SearchRow::Drive>& drives, bool later = false) {
        attach(port, drives);
        auto lineFor = [this, drives] {
            auto c = std::make_shared<ManualClock>();
            auto l = std::make_shared<Line>(*c, *this);
            l->existingPaths = port.existingPaths;
            attach(*l, drives);
            lines.push_back(l);
            return SearchLine{l, c};
        };
        choice = std::make_unique<StartupChoice>(context, installedAsker(),
                                                 StartupContext{false, false, {}, &link, lineFor, later});
        EXPECT_TRUE(choice->loadChoices());
        return *choice;
    }

    // The same form searching the ports one after another on the link's own port.
    StartupChoice& createPortByPort(const std::vector<SearchRow::Drive>& drives, bool later = false) {
        attach(port, drives);
        choice = std::make_unique<StartupChoice>(context, installedAsker(),
                                                 StartupContext{false, false, {}, &link, {}, later});
        EXPECT_TRUE(choice->loadChoices());
        return *choice;
    }

    bool meetAllPorts() {
        std::unique_lock<std::mutex> lock(mutex);
        ++opened;
        met.notify_all();
        return met.wait_for(lock, std::chrono::seconds(2),
                            [this] { return opened >= int(lines.size()) && !hold; });
    }
    void release() {
        const std::lock_guard<std::mutex> lock(mutex);
        hold = false;
        met.notify_all();
    }

    // Holds the drive's reply to a read of `comNo` until the form has been followed once more
    // (a progress call); true when it waited in vain, the form then having waited for the drive.
    void holdReplyTo(const Bytes& read, std::atomic<bool>& waitedInVain) {
        beforeReply = [this, read, &waitedInVain](const QString&, const FakeSerialPort::Bytes& request) {
            if (request != read)
                return;
            std::unique_lock<std::mutex> lock(mutex);
            readsHeld = true;
            const int seen = progressCalls;
            if (!met.wait_for(lock, std::chrono::seconds(2), [&] { return progressCalls > seen; }))
                waitedInVain = true;
        };
    }
    // A progress handler that counts its calls; it stops the search once a held read came.
    SearchProgressHandler countingProgress(bool stopAtHeldRead) {
        return [this, stopAtHeldRead](const SearchProgress&) {
            const std::lock_guard<std::mutex> lock(mutex);
            ++progressCalls;
            met.notify_all();
            return !(stopAtHeldRead && readsHeld);
        };
    }

    // The writes each port's drive carried out ("FB91 100"), by port.
    std::map<QString, QStringList> writtenTo() {
        const std::lock_guard<std::mutex> lock(writesMutex);
        return driveWrites;
    }

    std::function<void(const QString& path, const FakeSerialPort::Bytes&)> beforeReply;
    std::map<QString, DriveModel*> models; // a drive of its own on a port (else `model`)
    int progressCalls = 0;
    bool readsHeld = false;
    std::vector<std::unique_ptr<DriveSimulator>> sims;
    std::vector<std::shared_ptr<Line>> lines;
    std::mutex mutex;
    std::condition_variable met;
    int opened = 0;
    bool hold = false;
    std::atomic<bool> apart{false};
    std::mutex writesMutex;
    std::map<QString, QStringList> driveWrites;
};

class DetectionSearchOrder : public DetectionSideBySide, public testing::WithParamInterface<SearchRow> {};

TEST_P(DetectionSearchOrder, FindsWhatTheSearchPortByPortFinds) {
    const SearchRow& row = GetParam();
    for (bool sideBySide : {false, true}) {
        SCOPED_TRACE(sideBySide ? "side by side" : "port by port");
        writeSettings(kEnglish + row.comms);
        {
            const std::lock_guard<std::mutex> lock(writesMutex);
            driveWrites.clear();
        }
        if (sideBySide) {
            createSideBySide(row.drives);
            EXPECT_FALSE(apart) << "the ports were not searched at once";
        } else {
            createPortByPort(row.drives);
        }
        EXPECT_EQ(portStoredAtClose(*choice, context.paths.settingsIni), row.port);
        EXPECT_EQ(choice->commSettings().speedIdx, row.speedIdx);
        EXPECT_EQ(choice->commSettings().parityIdx, row.parityIdx);
        EXPECT_EQ(choice->commSettings().protocolIdx, row.protocolIdx);
        EXPECT_EQ(choice->outcome(), SearchOutcome::Found);
        expectSelection("HXA1", "V720", "-4037");
        // Only the drive found gets the access value; the others are not written to.
        EXPECT_EQ(writtenTo(), (std::map<QString, QStringList>{{row.port, {"FB91 100"}}}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DetectionSearchOrder,
    testing::Values(
        // COM6 answers on its first combination, long before COM3 on its last: COM3 comes first.
        SearchRow{"TheFirstPortInOrderWinsOverOneThatAnswersSooner",
                  "",
                  {{"COM6", 9600, 1, SimProtocol::Inverter}, {"COM3", 38400, 0, SimProtocol::Modbus}},
                  "COM3",
                  5,
                  0,
                  1},
        SearchRow{"TheStoredPortComesBeforeTheFirst",
                  "[Comms]\r\nCommport=4\r\nBaudrate=4\r\nParity=2\r\nPrtocol=1\r\n",
                  {{"COM1", 9600, 1, SimProtocol::Inverter}, {"COM5", 9600, 2, SimProtocol::Modbus}},
                  "COM5",
                  3,
                  2,
                  1},
        SearchRow{"TheStoredSettingsAreTriedFirstOnTheStoredPort",
                  "[Comms]\r\nCommport=1\r\nBaudrate=4\r\nParity=0\r\nPrtocol=0\r\n",
                  {{"COM2", 19200, 0, SimProtocol::Inverter}, {"COM1", 9600, 1, SimProtocol::Inverter}},
                  "COM2",
                  4,
                  0,
                  0},
        SearchRow{"ALaterPortWhenTheStoredOneIsSilent",
                  "[Comms]\r\nCommport=0\r\n",
                  {{"COM7", 19200, 0, SimProtocol::Modbus}, {"COM4", 19200, 2, SimProtocol::Inverter}},
                  "COM4",
                  4,
                  2,
                  0}),
    [](const testing::TestParamInfo<SearchRow>& info) { return std::string(info.param.name); });

TEST_F(DetectionSideBySide, SevenPortsWithoutADriveCostOnePortsTimeAndTheStoredSettingsOnce) {
    writeSettings(kEnglish + "[Comms]\r\nCommport=2\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n");
    createSideBySide({}, true);
    ASSERT_TRUE(choice->detectionDue());
    std::vector<SearchProgress> seen;
    hold = true;
    choice->runDetection([&](const SearchProgress& p) {
        seen.push_back(p);
        release();
        return true;
    });
    EXPECT_FALSE(apart) << "the ports were not searched at once";
    EXPECT_EQ(choice->outcome(), SearchOutcome::NothingAnswered);
    ASSERT_EQ(lines.size(), 7u);
    for (const auto& line : lines) {
        // 18 combinations, each a probe and its repeat; the stored settings are combination 0.
        ASSERT_EQ(line->writes.size(), 36u);
        EXPECT_LE(line->writes.back().at - line->writes.front().at, 35 * (DriveDetection::kReplyTimeMs + 2));
    }
    ASSERT_FALSE(seen.empty());
    ASSERT_EQ(seen.front().ports.size(), 7u);
    EXPECT_EQ(seen.front().ports.front().name, "COM3"); // the stored port first
}

TEST_F(DetectionSideBySide, AStoppedSearchLeavesTheStoredSettings) {
    const QByteArray comms = "[Comms]\r\nCommport=1\r\nBaudrate=5\r\nParity=0\r\nPrtocol=1\r\n";
    writeSettings(kEnglish + comms);
    createSideBySide({{"COM1", 9600, 1, SimProtocol::Inverter}}, true);
    hold = true;
    choice->runDetection([this](const SearchProgress&) {
        release();
        return false;
    });
    EXPECT_EQ(choice->outcome(), SearchOutcome::Stopped);
    choice->takeChoice();
    EXPECT_TRUE(settingsText().contains(comms));
}

TEST_F(DetectionSideBySide, TheFormIsFollowedWhileTheDrivesIdentityIsRead) {
    const QByteArray comms = "[Comms]\r\nCommport=0\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n";
    const Bytes typeRead = {0x2F, 0x52, 0xFB, 0x07, 0x83};
    for (const bool sideBySide : {true, false})
        for (const bool stop : {false, true}) {
            SCOPED_TRACE(sideBySide ? "side by side" : "port by port");
            SCOPED_TRACE(stop ? "stopped during the reads" : "to the end");
            writeSettings(kEnglish + comms);
            std::atomic<bool> waitedInVain{false};
            holdReplyTo(typeRead, waitedInVain);
            readsHeld = false;
            const std::vector<SearchRow::Drive> drive = {{"COM1", 9600, 1, SimProtocol::Inverter}};
            if (sideBySide)
                createSideBySide(drive, true);
            else
                createPortByPort(drive, true);
            choice->runDetection(countingProgress(stop));
            EXPECT_FALSE(waitedInVain) << "the form waited for the drive's identity";
            if (stop) {
                // The user chooses by hand, the stored settings kept.
                EXPECT_EQ(choice->outcome(), SearchOutcome::Stopped);
                choice->takeChoice();
                EXPECT_TRUE(settingsText().contains(comms));
            } else {
                EXPECT_EQ(choice->outcome(), SearchOutcome::Found);
                expectSelection("HXA1", "V720", "-4037");
            }
        }
}

// While the ports before it still search, a port where a drive answered says so; its drive is
// neither read nor written to before every port before it has ended without an answer (a
// port before it may answer yet), and the drive found is that of the first port in order.
struct FoundLineRow {
    const char* name;
    std::vector<SearchRow::Drive> drives;
    const char* heldPort; // its first request waits until `lines` have been shown
    const char* lines;    // the answered port's
    const char* port;     // the port found
};

void PrintTo(const FoundLineRow& row, std::ostream* os) {
    *os << row.name;
}

class DetectionFoundPortLine : public DetectionSideBySide,
                               public testing::WithParamInterface<FoundLineRow> {};

TEST_P(DetectionFoundPortLine, SaysThatADriveAnsweredAndLeavesItAloneWhileThePortsBeforeItSearch) {
    const FoundLineRow& row = GetParam();
    writeSettings(kEnglish);
    // A drive of another type on COM5 (COM3's is the fixture's HXA1).
    DriveModel other;
    for (const auto& [comNo, value] :
         {std::pair{"0000", 0}, {"FB91", 0}, {"FB07", 52}, {"0099", 3}, {"FE08", 250}, {"FB05", 13}})
        other.setParameter(QString::fromLatin1(comNo), value);
    models[QStringLiteral("COM5")] = &other;
    const QString heldPath = QStringLiteral("/dev/fake/") + QLatin1String(row.heldPort);
    bool shown = false;
    std::atomic<bool> held{true}, waitedInVain{false};
    beforeReply = [&](const QString& path, const FakeSerialPort::Bytes&) {
        std::unique_lock<std::mutex> lock(mutex);
        if (path == heldPath && !met.wait_for(lock, std::chrono::seconds(2), [&] { return !held; })) {
            waitedInVain = true;
            held = false;
        }
    };
    QStringList heldLines; // the held port's line when `lines` first showed
    // The drives' writes when the held port goes on, a few looks at the window after that: a
    // drive read as soon as it answered has had the time to be written to.
    std::map<QString, QStringList> writtenMeanwhile;
    int looksSinceShown = 0;
    createSideBySide(row.drives, true);
    choice->runDetection([&](const SearchProgress& p) {
        const QString text = choice->searchText(p);
        if (!shown && text.contains(QLatin1String(row.lines))) {
            shown = true;
            for (const QString& l : text.split(u'\n'))
                if (l.startsWith(QLatin1String(row.heldPort) + u':'))
                    heldLines << l;
        }
        if (!shown || ++looksSinceShown != 3)
            return true;
        writtenMeanwhile = writtenTo();
        const std::lock_guard<std::mutex> lock(mutex);
        held = false;
        met.notify_all();
        return true;
    });
    EXPECT_FALSE(waitedInVain) << row.lines << "\nwas not shown while " << row.heldPort << " searched";
    EXPECT_EQ(heldLines,
              QStringList({QLatin1String(row.heldPort) + ": 9600 baud, parity Even, VELRODI Inverter"}));
    EXPECT_TRUE(writtenMeanwhile.empty());
    EXPECT_EQ(choice->outcome(), SearchOutcome::Found);
    EXPECT_EQ(portStoredAtClose(*choice, context.paths.settingsIni), row.port);
    EXPECT_EQ(choice->commSettings(), (SearchTry{3, 1, 0}));
    expectSelection("HXA1", "V720", "-4037");
    EXPECT_EQ(writtenTo(), (std::map<QString, QStringList>{{row.port, {"FB91 100"}}}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DetectionFoundPortLine,
    testing::Values(FoundLineRow{"TheDriveOnCom3WhileCom1Searches",
                                 {{"COM3", 9600, 1, SimProtocol::Inverter}},
                                 "COM1",
                                 "COM3: the inverter answered\n    9600 baud, parity Even, VELRODI Inverter",
                                 "COM3"},
                    // COM5's drive answers first; COM3's answer then makes its own drive the one.
                    FoundLineRow{
                        "ALaterPortsDriveWhenAPortBeforeItAnswersAfterIt",
                        {{"COM3", 9600, 1, SimProtocol::Inverter}, {"COM5", 9600, 2, SimProtocol::Modbus}},
                        "COM3",
                        "COM5: the inverter answered\n    9600 baud, parity Odd, MODBUS-RTU",
                        "COM3"}),
    [](const testing::TestParamInfo<FoundLineRow>& info) { return std::string(info.param.name); });

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

class DetectionIdentity : public DriveDetectionTest, public testing::WithParamInterface<IdentityRow> {
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

TEST_P(DetectionIdentity, IsPreselectedOrNamedInABox) {
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
    Rows, DetectionIdentity,
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

TEST_F(DetectionIdentity, TypeCodeZeroReadsTheCpuVersionAgainForTheTypeOfCode65) {
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
    SimDriveIdentity drive;
    int speedIdx;
    int protocolIdx;
};

void PrintTo(const PtyRow& row, std::ostream* os) {
    *os << row.name;
}

constexpr int kPtyDetectionReplyMs = 1000;

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
    CommLink link(context, serial, systemClock(), installedAsker());
    // Only COM3 leads anywhere.
    link.setPortPathResolver(
        [&](const QString& name) { return name == QLatin1String("COM3") ? server.slavePath() : QString(); });
    // The drive's answers get room for a loaded machine; each silent try before the right one
    // waits it out twice, so not more than that.
    StartupChoice::Context startup{false, false, {}, &link};
    startup.detectionReplyMs = kPtyDetectionReplyMs;
    StartupChoice c(context, installedAsker(), startup);
    ASSERT_TRUE(c.loadChoices());
    server.stop();

    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    EXPECT_EQ(c.commSettings().speedIdx, row.speedIdx);
    EXPECT_EQ(c.commSettings().protocolIdx, row.protocolIdx);
    EXPECT_EQ(StartupChoice::at(c.typeNames(), c.selection().type), row.drive.typeName);
    EXPECT_EQ(StartupChoice::at(c.cpuVersions(), c.selection().cpu), row.drive.cpuVersion);
    EXPECT_EQ(StartupChoice::at(c.capacityNames(), c.selection().capacity), row.drive.capacityName);
    EXPECT_EQ(portStoredAtClose(c, context.paths.settingsIni), "COM3");
}

INSTANTIATE_TEST_SUITE_P(Rows, DriveDetectionOnPty,
                         testing::Values(PtyRow{"ModbusAt19200", SimProtocol::Modbus, 19200,
                                                SimDriveIdentity{"HXB3", "V250", "-4037", "Eng"}, 4, 1},
                                         PtyRow{"MakersProtocolAt38400", SimProtocol::Inverter, 38400,
                                                SimDriveIdentity{"HXA1", "V720", "-4022", "Eng"}, 5, 0}),
                         [](const testing::TestParamInfo<PtyRow>& info) {
                             return std::string(info.param.name);
                         });

// Two drives on the PC's ports: the MODBUS drive on COM1 answers on its second try, the maker's
// drive on COM3 on its first, long before; COM2 stays silent. COM1's drive is the one found and
// the only one that gets the access value: COM3's drive may be another program's.
class DetectionWithTwoDrivesOnPty : public StartupChoiceFixture {};

TEST_F(DetectionWithTwoDrivesOnPty, OnlyTheOneFoundIsWrittenTo) {
    writeSettings(kEnglish);
    struct PtyDrive {
        PtyDrive(const SimDriveIdentity& identity, SimProtocol protocol, int baud) {
            QString error;
            loaded = model.load(shippedDataDir(), identity, &error);
            EXPECT_TRUE(loaded) << error.toStdString();
            SimConfig config;
            config.protocol = protocol;
            config.onlyBaud = baud;
            simulator = std::make_unique<DriveSimulator>(model, config);
            simulator->setWriteObserver([this](const SimWrite& w) {
                const std::lock_guard<std::mutex> lock(mutex);
                written << w.comNo + u' ' + QString::number(w.value);
            });
            server = std::make_unique<PtyDriveServer>(*simulator);
            EXPECT_TRUE(server->open(&error) && server->start()) << error.toStdString();
        }
        QStringList writes() {
            server->stop();
            const std::lock_guard<std::mutex> lock(mutex);
            return written;
        }
        bool loaded = false;
        DriveModel model;
        std::unique_ptr<DriveSimulator> simulator;
        std::unique_ptr<PtyDriveServer> server;
        std::mutex mutex;
        QStringList written;
    };
    PtyDrive modbusOnCom1(SimDriveIdentity{"HXB3", "V250", "-4037", "Eng"}, SimProtocol::Modbus, 9600);
    PtyDrive silentOnCom2(SimDriveIdentity{"HXB3", "V250", "-4037", "Eng"}, SimProtocol::Modbus, 1200);
    PtyDrive makersOnCom3(SimDriveIdentity{"HXA1", "V720", "-4022", "Eng"}, SimProtocol::Inverter, 9600);
    ASSERT_TRUE(modbusOnCom1.loaded && silentOnCom2.loaded && makersOnCom3.loaded);
    const std::map<QString, QString> paths = {{"COM1", modbusOnCom1.server->slavePath()},
                                              {"COM2", silentOnCom2.server->slavePath()},
                                              {"COM3", makersOnCom3.server->slavePath()}};

    TermiosSerialPort serial;
    CommLink link(context, serial, systemClock(), installedAsker());
    link.setPortPathResolver([&paths](const QString& name) {
        const auto p = paths.find(name);
        return p != paths.end() ? p->second : QString();
    });
    StartupChoice::Context startup{false, false, {}, &link};
    startup.searchLines = [] { return SearchLine{std::make_shared<TermiosSerialPort>(), nullptr}; };
    startup.detectionReplyMs = kPtyDetectionReplyMs;
    StartupChoice c(context, installedAsker(), startup);
    ASSERT_TRUE(c.loadChoices());
    link.closePort();

    EXPECT_EQ(portStoredAtClose(c, context.paths.settingsIni), "COM1");
    EXPECT_EQ(c.commSettings(), (SearchTry{3, 1, 1}));
    EXPECT_EQ(StartupChoice::at(c.typeNames(), c.selection().type), "HXB3");
    EXPECT_EQ(modbusOnCom1.writes(), QStringList({"FB91 100"}));
    EXPECT_EQ(silentOnCom2.writes(), QStringList());
    EXPECT_EQ(makersOnCom3.writes(), QStringList());
}

} // namespace

// The configuration scan on the fake port: which combinations are tried in which order, the
// probe and its repeat, and what counts as found.
#include "link/ConfigScan.h"
#include "core/ProgramContext.h"

#include "link/CommLink.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kInverterProbe = {0x2F, 0x52, 0x00, 0x00, 0x81};
const Bytes kInverterRetry = {0x52, 0x00, 0x00, 0x52};
const Bytes kModbusProbe = {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};

Bytes inverterReply(std::uint16_t value) {
    Bytes r = {0x2F, 0x52, 0x00, 0x00, std::uint8_t(value >> 8), std::uint8_t(value)};
    r.push_back(SumCheck(r, int(r.size()) - 1));
    return r;
}

Bytes modbusReply(std::uint8_t address, std::uint16_t value) {
    Bytes r = {address, 0x03, 0x02, std::uint8_t(value >> 8), std::uint8_t(value)};
    AppendCrc(r);
    return r;
}

class ConfigScanTest : public testing::Test {
protected:
    ConfigScanTest() {
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake/") + name; });
        link.setPortsFound({QStringLiteral("COM1"), QStringLiteral("COM4")});
        link.setReplyTimeout(200);
        link.setFrameGap(3);
    }

    // A drive on `path` that answers a read of "0000" at one line setting and protocol.
    void driveAt(const QString& path, int baud, SerialParity parity, Protocol protocol) {
        port.responder = [=, this](const Bytes& req) -> std::vector<FakeSerialPort::Chunk> {
            const FakeSerialPort::Open& o = port.opens.back();
            if (o.path != path || o.baud != baud || o.parity != parity)
                return {};
            if (protocol == Protocol::Inverter && req == kInverterProbe)
                return {{inverterReply(0x1234), 20}};
            if (protocol == Protocol::Modbus && req == kModbusProbe)
                return {{modbusReply(0xFB, 0x1234), 20}};
            return {};
        };
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    ProgramContext context;
    CommLink link{context, port, clock, installedAsker()};
    ConfigScan scan{link};
};

TEST(ConfigScanTable, TriesBothProtocolsAtEachSpeedForEvenOddAndNoParity) {
    const int bauds[] = {3, 4, 5};
    const int parities[] = {1, 2, 0};
    for (int i = 0; i < ConfigScan::kCombinationCount; ++i) {
        const ScanCombination c = ConfigScan::combination(i);
        EXPECT_EQ(c.protocol, i % 2) << i;
        EXPECT_EQ(c.baudIndex, bauds[(i / 2) % 3]) << i;
        EXPECT_EQ(c.parityIndex, parities[i / 6]) << i;
    }
}

TEST_F(ConfigScanTest, NothingAnsweringTriesEveryCombinationTwiceOnEveryPort) {
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 1; });
    const ScanResult r = scan.ScanDriveConfig();
    EXPECT_FALSE(r.found());
    EXPECT_EQ(r.baudIndex, 99);
    EXPECT_EQ(r.parityIndex, 99);
    EXPECT_EQ(r.protocol, 99);

    ASSERT_EQ(port.opens.size(), 36u);
    ASSERT_EQ(port.writes.size(), 72u);
    for (int n = 0; n < 36; ++n) {
        const ScanCombination c = ConfigScan::combination(n % 18);
        const FakeSerialPort::Open& o = port.opens[size_t(n)];
        // The selected port first, then the others in list order.
        EXPECT_EQ(o.path, n < 18 ? QStringLiteral("/dev/fake/COM4") : QStringLiteral("/dev/fake/COM1"));
        EXPECT_EQ(o.baud, kCommSpeed[c.baudIndex]);
        EXPECT_EQ(o.parity, kCommParity[c.parityIndex]);
        EXPECT_EQ(o.dataBits, 8);
        EXPECT_EQ(o.stopBits, SerialStopBits::One);
        // A failed probe is repeated once; the maker's repeat goes out without "/", and the
        // next combination's probe has it again.
        const Bytes& probe = port.writes[size_t(2 * n)].bytes;
        const Bytes& repeat = port.writes[size_t(2 * n + 1)].bytes;
        EXPECT_EQ(probe, c.protocol == 1 ? kModbusProbe : kInverterProbe) << n;
        EXPECT_EQ(repeat, c.protocol == 1 ? kModbusProbe : kInverterRetry) << n;
    }
    // The port stays open with the last combination, the link icon untouched.
    EXPECT_TRUE(link.PortOpen());
    EXPECT_TRUE(link.lastExchangeFailed());
}

TEST_F(ConfigScanTest, DriveOnTheOtherPortIsFoundAtItsCombination) {
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 0; });
    driveAt(QStringLiteral("/dev/fake/COM4"), 19200, SerialParity::Odd, Protocol::Modbus);
    const ScanResult r = scan.ScanDriveConfig();
    ASSERT_TRUE(r.found());
    EXPECT_EQ(r.portIndex, 1);
    EXPECT_EQ(r.baudIndex, 4);
    EXPECT_EQ(r.parityIndex, 2);
    EXPECT_EQ(r.protocol, 1);
    // 18 combinations on COM1, then nine on COM4 with their repeats and the tenth answered.
    EXPECT_EQ(port.opens.size(), 28u);
    EXPECT_EQ(port.writes.size(), 36u + 18u + 1u);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(port.opens.back().baud, 19200);
    EXPECT_TRUE(link.PortOpen());
}

TEST_F(ConfigScanTest, TheFirstCombinationOfTheSelectedPortNeedsNoRepeat) {
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 1; });
    driveAt(QStringLiteral("/dev/fake/COM4"), 9600, SerialParity::Even, Protocol::Inverter);
    const ScanResult r = scan.ScanDriveConfig();
    ASSERT_TRUE(r.found());
    EXPECT_EQ(r.portIndex, 1);
    EXPECT_EQ(r.protocol, 0);
    EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(ConfigScanTest, ADriveAnsweringOnlyTheRepeatIsNotFound) {
    port.responder = [](const Bytes& req) -> std::vector<FakeSerialPort::Chunk> {
        if (req == kInverterRetry)
            return {{inverterReply(0), 10}};
        return {};
    };
    EXPECT_FALSE(scan.ScanDriveConfig().found());
}

TEST_F(ConfigScanTest, PortsThatDoNotOpenAreSkippedSilently) {
    port.openErrors[QStringLiteral("/dev/fake/COM1")] = SerialError::Busy;
    link.updateSettings([&](LinkSettings& s) { s.portIndex = 0; });
    EXPECT_FALSE(scan.ScanDriveConfig().found());
    EXPECT_EQ(port.writes.size(), 36u); // only COM4 was talked to
    for (const auto& o : port.opens)
        EXPECT_EQ(o.path, QStringLiteral("/dev/fake/COM4"));
}

TEST_F(ConfigScanTest, ScanTransactUsesTheStationAndChecksTheReply) {
    ASSERT_EQ(scan.OpenCommPortWith(0, 3, 1), 0);
    EXPECT_EQ(scan.OpenCommPortWith(2, 3, 1), 1);
    EXPECT_FALSE(link.PortOpen());
    ASSERT_EQ(scan.OpenCommPortWith(0, 3, 1), 0);

    // "Set number" 5: a station byte, eight reply bytes; the value is 16-bit.
    link.updateSettings([&](LinkSettings& s) {
        s.appendNo = true;
        s.inverterNumber = 5;
    });
    Bytes reply = {0x2F, 0x05, 0x52, 0x09, 0x98, 0x00, 0x01};
    reply.push_back(SumCheck(reply, 6));
    port.queueReply(reply);
    ExchangeResult r = scan.ScanTransact(QStringLiteral("0998"), QString(), false, QStringLiteral("R"));
    EXPECT_EQ(r.value, 1u);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(port.writes.back().bytes, Bytes({0x2F, 0x05, 0x52, 0x09, 0x98, 0x27}));

    // A wrong sum is a failure.
    reply.back() ^= 1;
    port.queueReply(reply);
    r = scan.ScanTransact(QStringLiteral("0998"), QString(), false, QStringLiteral("R"));
    EXPECT_EQ(r.value, 0u);
    EXPECT_EQ(r.failure, ExchangeFailure::BadCheck);

    // A MODBUS write waits for its eight-byte echo.
    Bytes echo = {0x05, 0x06, 0xFB, 0x91, 0x00, 0x7B};
    AppendCrc(echo);
    port.queueReply(echo);
    r = scan.ScanTransact(QStringLiteral("FB91"), QStringLiteral("123"), true, QStringLiteral("P"));
    EXPECT_EQ(r.value, 123u);
    EXPECT_FALSE(r.error);

    // Block numbers are read as single values here (after the failure above, twice).
    port.queueReply(modbusReply(5, 0x0102));
    port.queueReply(modbusReply(5, 0x0102));
    EXPECT_EQ(scan.ScanTransact(QStringLiteral("FC10"), QString(), true, QStringLiteral("R")).value, 0x0102u);
    EXPECT_EQ(port.writes.back().bytes[5], 0x01);
}

} // namespace

// The simulated drive: what it loads, how it answers both protocols, its station rules, its
// faults and the pseudo-terminal it serves on.
#include "protocol/FrameCodec.h"
#include "support/DrivesimSupport.h"
#include "support/LoadedMachine.h"
#include "tools/drivesim/DeviceLink.h"
#include "tools/drivesim/DrivesimOptions.h"
#include "tools/drivesim/LineLog.h"
#include "tools/drivesim/PtyDriveServer.h"
#include "tools/drivesim/WriteLog.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace simtest;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes withSum(Bytes b) {
    b.push_back(SumCheck(b, int(b.size()) - 1));
    return b;
}

Bytes withCrc(Bytes b) {
    AppendCrc(b);
    return b;
}

class DrivesimData : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        writeSmallDriveData(folder);
    }
    TempProgramFolder folder;
};

// ---- The drive model ----

TEST_F(DrivesimData, DefaultsComeFromTheTypeFileWithTheCapacityFileOnTop) {
    DriveModel m;
    QString error;
    ASSERT_TRUE(m.load(folder.path(), hxa1(), &error)) << error.toStdString();
    EXPECT_EQ(m.parameter(QStringLiteral("0000"))->raw, 500u);    // capacity default
    EXPECT_EQ(m.parameter(QStringLiteral("0002"))->raw, 500u);    // follows 0000's default
    EXPECT_EQ(m.parameter(QStringLiteral("0001"))->raw, 0xFFCEu); // -50 in 16 bits
    EXPECT_TRUE(m.parameter(QStringLiteral("0001"))->isSigned);
    EXPECT_EQ(m.parameter(QStringLiteral("0103"))->raw, 100000u);
    EXPECT_TRUE(m.parameter(QStringLiteral("0103"))->is32);
    EXPECT_EQ(m.parameter(QStringLiteral("0104"))->raw, 0xFFFFFFFEu);
    EXPECT_TRUE(m.parameter(QStringLiteral("0104"))->isSigned); // lower limit is minus 0103's default
    EXPECT_FALSE(m.parameter(QStringLiteral("0999"))->isSigned);
    EXPECT_FALSE(m.parameter(std::uint16_t(0x1234)));
}

struct IdentityCase {
    const char* name;
    SimDriveIdentity id;
    int typeCode, capacityCode, cpu;
};

class DrivesimIdentity : public DrivesimData, public testing::WithParamInterface<IdentityCase> {};

TEST_P(DrivesimIdentity, ReportsTheCatalogueCodesOfItsTypeCapacityAndCpu) {
    const IdentityCase& c = GetParam();
    DriveModel m;
    ASSERT_TRUE(m.load(folder.path(), c.id));
    EXPECT_EQ(m.parameter(QStringLiteral("FB07"))->raw, std::uint32_t(c.typeCode));
    EXPECT_EQ(m.parameter(QStringLiteral("FB05"))->raw, std::uint32_t(c.capacityCode));
    EXPECT_EQ(m.parameter(QStringLiteral("FE08"))->raw, std::uint32_t(c.cpu));
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, DrivesimIdentity,
    testing::Values(IdentityCase{"BelowCpu700", hxa1("V100"), 12, 3, 100},
                    IdentityCase{"Cpu700UsesTheCustomSections", hxa1("V700"), 112, 33, 700},
                    IdentityCase{"BareCpuNumber", hxa1("100"), 12, 3, 100},
                    IdentityCase{"CapacityNotInCatalogue",
                                 {QStringLiteral("HXB4"), QStringLiteral("V100"), QStringLiteral("-0.75K")},
                                 20,
                                 5,
                                 100}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrivesimData, ATypeSharingItsCodeCarriesTheValueThatNamesIt) {
    DriveModel m;
    ASSERT_TRUE(
        m.load(folder.path(), {QStringLiteral("HXB4"), QStringLiteral("V100"), QStringLiteral("-0.75K")}));
    EXPECT_EQ(m.parameter(QStringLiteral("0F10"))->raw, 1u); // "Typ_1=HXB4"
}

TEST_F(DrivesimData, AMissingTypeFileIsReported) {
    DriveModel m;
    QString error;
    EXPECT_FALSE(m.load(folder.path(),
                        {QStringLiteral("HXA1"), QStringLiteral("V999"), QStringLiteral("-0.75K")}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("HXA1(Eng).inv")));
}

// ---- Answers ----

// A drive model filled by hand, so the frame tables stand on their own.
class DrivesimFrames : public testing::Test {
protected:
    DrivesimFrames() {
        model.setParameter(QStringLiteral("0000"), 500);
        model.setParameter(QStringLiteral("0001"), -50, false, true);
        model.setParameter(QStringLiteral("0103"), 100000, true);
        model.setParameter(QStringLiteral("0104"), -2, true, true);
        model.setParameter(QStringLiteral("FB91"), 0);
    }
    std::optional<Bytes> answer(SimProtocol p, int station, const Bytes& request) {
        SimConfig c;
        c.protocol = p;
        c.station = station;
        DriveSimulator sim(model, c);
        auto r = sim.respond(request);
        if (!r)
            return std::nullopt;
        return r->bytes;
    }
    DriveModel model;
};

struct AnswerCase {
    const char* name;
    SimProtocol protocol;
    int station;
    Bytes request;
    std::optional<Bytes> reply;
};

class DrivesimAnswers : public DrivesimFrames, public testing::WithParamInterface<AnswerCase> {};

TEST_P(DrivesimAnswers, AnswerAsTheDriveDoes) {
    const AnswerCase& c = GetParam();
    EXPECT_EQ(answer(c.protocol, c.station, c.request), c.reply);
}

const SimProtocol kInv = SimProtocol::Inverter;
const SimProtocol kMod = SimProtocol::Modbus;
const std::optional<Bytes> kSilent = std::nullopt;
// The display block: "60.00" twice, monitor and PC lamps.
const Bytes kBlock = {0xBF, 0x7D, 0x3F, 0x3F, 0xBF, 0x7D, 0x3F, 0x3F, 0x48, 0x48};

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    BothProtocols, DrivesimAnswers,
    testing::Values(
        AnswerCase{"InverterReadWithoutStation",
                   kInv,
                   5,
                   {0x2F, 0x52, 0x00, 0x00, 0x81},
                   Bytes{0x2F, 0x52, 0x00, 0x00, 0x01, 0xF4, 0x76}},
        AnswerCase{"InverterReadOwnNumber",
                   kInv,
                   5,
                   {0x2F, 0x05, 0x52, 0x00, 0x00, 0x86},
                   Bytes{0x2F, 0x05, 0x52, 0x00, 0x00, 0x01, 0xF4, 0x7B}},
        AnswerCase{
            "InverterReadAnotherNumberIsIgnored", kInv, 6, {0x2F, 0x05, 0x52, 0x00, 0x00, 0x86}, kSilent},
        AnswerCase{"InverterBroadcastIsAnsweredWithItsStationByte",
                   kInv,
                   6,
                   {0x2F, 0xFF, 0x52, 0x00, 0x00, 0x80},
                   Bytes{0x2F, 0xFF, 0x52, 0x00, 0x00, 0x01, 0xF4, 0x75}},
        AnswerCase{"InverterRead32",
                   kInv,
                   0,
                   {0x2F, 0x4C, 0x52, 0x01, 0x03, 0xD1},
                   withSum({0x2F, 0x4C, 0x52, 0x01, 0x03, 0x00, 0x01, 0x86, 0xA0})},
        AnswerCase{"InverterRead32Negative", kInv, 0, withSum({0x2F, 0x4C, 0x52, 0x01, 0x04}),
                   withSum({0x2F, 0x4C, 0x52, 0x01, 0x04, 0xFF, 0xFF, 0xFF, 0xFE})},
        AnswerCase{"InverterRead16Negative", kInv, 0, withSum({0x2F, 0x52, 0x00, 0x01}),
                   withSum({0x2F, 0x52, 0x00, 0x01, 0xFF, 0xCE})},
        AnswerCase{"InverterWrite32EchoesTheRequest",
                   kInv,
                   5,
                   {0x2F, 0x05, 0x4C, 0x57, 0x01, 0x03, 0x00, 0x01, 0x86, 0xA0, 0x02},
                   Bytes{0x2F, 0x05, 0x4C, 0x57, 0x01, 0x03, 0x00, 0x01, 0x86, 0xA0, 0x02}},
        AnswerCase{"InverterRamWriteEchoes", kInv, 0, withSum({0x2F, 0x50, 0xFB, 0x91, 0x00, 0x7B}),
                   withSum({0x2F, 0x50, 0xFB, 0x91, 0x00, 0x7B})},
        AnswerCase{"InverterBlockRead",
                   kInv,
                   0,
                   {0x2F, 0x52, 0xFC, 0x10, 0x8D},
                   withSum(concat({0x2F, 0x52, 0xFC, 0x10}, kBlock))},
        AnswerCase{"InverterBlockReadWithStationIs16Bytes",
                   kInv,
                   5,
                   {0x2F, 0x05, 0x52, 0xFC, 0x10, 0x92},
                   withSum(concat({0x2F, 0x05, 0x52, 0xFC, 0x10}, kBlock))},
        AnswerCase{"InverterWrongSumIsIgnored", kInv, 0, {0x2F, 0x52, 0x00, 0x00, 0x82}, kSilent},
        AnswerCase{"InverterUnknownNumberIsIgnored", kInv, 0, withSum({0x2F, 0x52, 0x12, 0x34}), kSilent},
        AnswerCase{"InverterRetryWithoutStartByteIsIgnored", kInv, 0, {0x52, 0x00, 0x00, 0x52}, kSilent},
        AnswerCase{"ModbusReadAtTheDefaultAddress",
                   kMod,
                   0,
                   {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50},
                   withCrc({0xFB, 0x03, 0x02, 0x01, 0xF4})},
        AnswerCase{"ModbusReadAtItsOwnAddress",
                   kMod,
                   1,
                   {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
                   withCrc({0x01, 0x03, 0x02, 0x01, 0xF4})},
        AnswerCase{"ModbusAnotherAddressIsIgnored",
                   kMod,
                   2,
                   {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
                   kSilent},
        AnswerCase{"ModbusStationZeroAnswersOnlyTheDefault",
                   kMod,
                   0,
                   {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
                   kSilent},
        AnswerCase{"ModbusBroadcastReadGetsNoReply", kMod, 1, withCrc({0x00, 0x03, 0x00, 0x00, 0x00, 0x01}),
                   kSilent},
        AnswerCase{"ModbusWriteEchoes",
                   kMod,
                   1,
                   {0x01, 0x06, 0xFB, 0x91, 0x00, 0x7B, 0xA9, 0x20},
                   Bytes{0x01, 0x06, 0xFB, 0x91, 0x00, 0x7B, 0xA9, 0x20}},
        AnswerCase{"ModbusReadOf32BitGivesItsLow16Bits", kMod, 1,
                   withCrc({0x01, 0x03, 0x01, 0x03, 0x00, 0x01}), withCrc({0x01, 0x03, 0x02, 0x86, 0xA0})},
        AnswerCase{"ModbusBlockRead", kMod, 1, withCrc({0x01, 0x03, 0xFC, 0x10, 0x00, 0x05}),
                   withCrc(concat({0x01, 0x03, 0x0A}, kBlock))},
        AnswerCase{"ModbusUnknownRegisterIsException2", kMod, 1,
                   withCrc({0x01, 0x03, 0x12, 0x34, 0x00, 0x01}), withCrc({0x01, 0x83, 0x02})},
        AnswerCase{"ModbusWriteOfUnknownRegisterIsException2", kMod, 1,
                   withCrc({0x01, 0x06, 0x12, 0x34, 0x00, 0x01}), withCrc({0x01, 0x86, 0x02})},
        AnswerCase{"ModbusZeroRegistersIsException3", kMod, 1, withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x00}),
                   withCrc({0x01, 0x83, 0x03})},
        AnswerCase{"ModbusOtherFunctionIsException1", kMod, 1,
                   withCrc({0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x07}),
                   withCrc({0x01, 0x90, 0x01})},
        AnswerCase{
            "ModbusWrongCrcIsIgnored", kMod, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0B}, kSilent}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrivesimFrames, WritesAreStoredThroughEveryKindOfRequest) {
    SimConfig c;
    c.station = 1;
    DriveSimulator inverter(model, c);
    ASSERT_TRUE(inverter.respond(withSum({0x2F, 0x57, 0x00, 0x00, 0x00, 0x7B}))); // "W" := 123
    EXPECT_EQ(model.parameter(QStringLiteral("0000"))->raw, 123u);
    ASSERT_TRUE(inverter.respond(withSum({0x2F, 0x50, 0x00, 0x01, 0xFF, 0xFF}))); // "P" := -1
    EXPECT_EQ(model.parameter(QStringLiteral("0001"))->raw, 0xFFFFu);

    c.protocol = SimProtocol::Modbus;
    DriveSimulator modbus(model, c);
    // A broadcast write is carried out without a reply.
    EXPECT_FALSE(modbus.respond(withCrc({0x00, 0x06, 0x00, 0x00, 0x01, 0x2C})));
    EXPECT_EQ(model.parameter(QStringLiteral("0000"))->raw, 300u);
    // One register into a signed 32-bit parameter is sign-extended.
    ASSERT_TRUE(modbus.respond(withCrc({0x01, 0x06, 0x01, 0x04, 0xFF, 0xF0})));
    EXPECT_EQ(model.parameter(QStringLiteral("0104"))->raw, 0xFFFFFFF0u);
    ASSERT_TRUE(modbus.respond(withCrc({0x01, 0x06, 0x01, 0x03, 0xFF, 0xF0})));
    EXPECT_EQ(model.parameter(QStringLiteral("0103"))->raw, 0xFFF0u);
}

// ---- The record of writes ----

struct WriteLogCase {
    const char* name;
    SimProtocol protocol;
    Bytes request;
    std::vector<std::pair<const char*, std::int64_t>> logged;
    std::vector<SimFault> faults = {};
};

class DrivesimWriteLog : public DrivesimFrames, public testing::WithParamInterface<WriteLogCase> {};

TEST_P(DrivesimWriteLog, HoldsExactlyTheWritesCarriedOut) {
    const WriteLogCase& c = GetParam();
    SimConfig config;
    config.protocol = c.protocol;
    config.station = 1;
    config.faults = c.faults;
    DriveSimulator sim(model, config);
    std::vector<SimWrite> writes;
    sim.setWriteObserver([&writes](const SimWrite& w) { writes.push_back(w); });
    const auto before = std::chrono::system_clock::now();
    sim.respondToWrite(c.request);
    ASSERT_EQ(writes.size(), c.logged.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].comNo, QLatin1String(c.logged[i].first));
        EXPECT_EQ(writes[i].value, c.logged[i].second);
        EXPECT_GE(writes[i].time, before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothProtocols, DrivesimWriteLog,
    testing::Values(
        WriteLogCase{"InverterWrite", kInv, withSum({0x2F, 0x57, 0x00, 0x00, 0x00, 0x7B}), {{"0000", 123}}},
        WriteLogCase{"InverterRamWriteOfASignedValue",
                     kInv,
                     withSum({0x2F, 0x50, 0x00, 0x01, 0xFF, 0xFF}),
                     {{"0001", -1}}},
        WriteLogCase{"InverterLongWrite",
                     kInv,
                     withSum({0x2F, 0x4C, 0x57, 0x01, 0x03, 0x00, 0x01, 0x86, 0xA0}),
                     {{"0103", 100000}}},
        WriteLogCase{"InverterLongWriteSigned",
                     kInv,
                     withSum({0x2F, 0x4C, 0x57, 0x01, 0x04, 0xFF, 0xFF, 0xFF, 0xF0}),
                     {{"0104", -16}}},
        WriteLogCase{"InverterTwoFramesInOneWrite",
                     kInv,
                     concat(withSum({0x2F, 0x57, 0x00, 0x00, 0x00, 0x01}),
                            withSum({0x2F, 0x50, 0xFB, 0x91, 0x00, 0x7B})),
                     {{"0000", 1}, {"FB91", 123}}},
        WriteLogCase{"InverterWriteWhoseReplyIsLost",
                     kInv,
                     withSum({0x2F, 0x57, 0x00, 0x00, 0x00, 0x7B}),
                     {{"0000", 123}},
                     {{SimFaultKind::NoReply, 1.0}}},
        WriteLogCase{"InverterUnknownNumber", kInv, withSum({0x2F, 0x57, 0x12, 0x34, 0x00, 0x01}), {}},
        WriteLogCase{"InverterWrongSum", kInv, {0x2F, 0x57, 0x00, 0x00, 0x00, 0x7B, 0x00}, {}},
        WriteLogCase{"InverterAnotherStation", kInv, withSum({0x2F, 0x02, 0x57, 0x00, 0x00, 0x00, 0x7B}), {}},
        WriteLogCase{"InverterRead", kInv, {0x2F, 0x52, 0x00, 0x00, 0x81}, {}},
        WriteLogCase{"ModbusWrite", kMod, withCrc({0x01, 0x06, 0x00, 0x00, 0x01, 0x2C}), {{"0000", 300}}},
        WriteLogCase{
            "ModbusWriteIntoSigned32", kMod, withCrc({0x01, 0x06, 0x01, 0x04, 0xFF, 0xF0}), {{"0104", -16}}},
        WriteLogCase{
            "ModbusBroadcastWrite", kMod, withCrc({0x00, 0x06, 0xFB, 0x91, 0x00, 0x4D}), {{"FB91", 77}}},
        WriteLogCase{"ModbusWriteAnsweredWithGarbage",
                     kMod,
                     withCrc({0x01, 0x06, 0x00, 0x00, 0x01, 0x2C}),
                     {{"0000", 300}},
                     {{SimFaultKind::Garbage, 1.0}}},
        WriteLogCase{"ModbusUnknownRegister", kMod, withCrc({0x01, 0x06, 0x12, 0x34, 0x00, 0x01}), {}},
        WriteLogCase{"ModbusWrongCrc", kMod, {0x01, 0x06, 0x00, 0x00, 0x01, 0x2C, 0x00, 0x00}, {}},
        WriteLogCase{"ModbusAnotherAddress", kMod, withCrc({0x02, 0x06, 0x00, 0x00, 0x01, 0x2C}), {}},
        WriteLogCase{"ModbusRead", kMod, withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrivesimWriteLogFile, AppendsOneLinePerWriteReadableAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("writes.log"));
    const auto t = std::chrono::system_clock::now();
    for (int run = 0; run < 2; ++run) { // a second run appends to the first one's lines
        WriteLogFile log;
        QString error;
        ASSERT_TRUE(log.open(path, &error)) << error.toStdString();
        log.append({QStringLiteral("0000"), 321 + run, t});
        log.append({QStringLiteral("0104"), -16, t});
        QFile f(path); // read while the log is still open: nothing is held back
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2 * (run + 1));
        const QRegularExpression form(
            QStringLiteral("^(\\S+) (-?\\d+) \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
        for (const QString& line : lines)
            EXPECT_TRUE(form.match(line).hasMatch()) << line.toStdString();
        EXPECT_TRUE(lines[2 * run].startsWith(QStringLiteral("0000 %1 ").arg(321 + run)));
        EXPECT_TRUE(lines[2 * run + 1].startsWith(QStringLiteral("0104 -16 ")));
    }
    WriteLogFile bad;
    QString error;
    EXPECT_FALSE(bad.open(dir.filePath(QStringLiteral("missing/writes.log")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/writes.log")));
}

TEST_F(DrivesimFrames, AFrameSplitAtAnyByteGetsOneReply) {
    for (SimProtocol p : {kInv, kMod}) {
        const Bytes request = p == kInv ? Bytes{0x2F, 0x4C, 0x52, 0x01, 0x03, 0xD1}
                                        : Bytes{0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};
        SimConfig c;
        c.protocol = p;
        for (std::size_t cut = 1; cut < request.size(); ++cut) {
            DriveSimulator sim(model, c);
            const auto first = sim.feed(std::span(request).first(cut));
            const auto second = sim.feed(std::span(request).subspan(cut));
            EXPECT_TRUE(first.empty()) << cut;
            ASSERT_EQ(second.size(), 1u) << cut;
            EXPECT_EQ(second[0].bytes, *answer(p, 0, request)) << cut;
            EXPECT_FALSE(sim.hasPartialInput());
        }
    }
}

TEST_F(DrivesimFrames, NoiseBeforeAFrameAndFramesBackToBackAreSortedOut) {
    // The maker's frames start with "/": anything before it is skipped.
    DriveSimulator inverter(model, {});
    const Bytes stream = {0x00, 0x52, 0x00, 0x00, 0x52, 0x2F, 0x52, 0x00,
                          0x00, 0x81, 0x2F, 0x52, 0x00, 0x01, 0x82};
    EXPECT_EQ(inverter.feed(stream).size(), 2u);

    // MODBUS frames end at silence: a stray byte spoils the frame it sticks to, and the
    // line is good again after the silence.
    SimConfig c;
    c.protocol = kMod;
    DriveSimulator modbus(model, c);
    const Bytes read = {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};
    Bytes twice = read;
    twice.insert(twice.end(), read.begin(), read.end());
    EXPECT_EQ(modbus.feed(twice).size(), 2u);
    Bytes stray = {0x55};
    stray.insert(stray.end(), read.begin(), read.end());
    EXPECT_TRUE(modbus.feed(stray).empty());
    EXPECT_TRUE(modbus.silence().empty());
    EXPECT_EQ(modbus.feed(read).size(), 1u);
}

// ---- Faults, line settings and timing ----

struct FaultCase {
    const char* name;
    SimProtocol protocol;
    SimFaultKind kind;
};

class DrivesimFaults : public DrivesimFrames, public testing::WithParamInterface<FaultCase> {};

TEST_P(DrivesimFaults, SpoilTheReplySoThatNoMasterCanTakeIt) {
    const FaultCase& c = GetParam();
    SimConfig config;
    config.protocol = c.protocol;
    config.faults = {{c.kind, 1.0, 250}};
    DriveSimulator sim(model, config);
    const Bytes write = c.protocol == kInv ? withSum({0x2F, 0x57, 0x00, 0x00, 0x00, 0x7B})
                                           : withCrc({0xFB, 0x06, 0x00, 0x00, 0x00, 0x7B});
    const auto good = answer(c.protocol, 0, write);
    model.setParameter(QStringLiteral("0000"), 500);
    const auto r = sim.respond(write);
    EXPECT_EQ(model.parameter(QStringLiteral("0000"))->raw, 123u); // the request was carried out
    switch (c.kind) {
    case SimFaultKind::NoReply:
        EXPECT_FALSE(r);
        break;
    case SimFaultKind::Late:
        ASSERT_TRUE(r);
        EXPECT_EQ(r->bytes, *good);
        EXPECT_EQ(r->delay, std::chrono::milliseconds(250));
        break;
    case SimFaultKind::Exception:
        ASSERT_TRUE(r);
        EXPECT_EQ(r->bytes, withCrc({0xFB, 0x86, 0x04}));
        break;
    default:
        ASSERT_TRUE(r);
        EXPECT_EQ(r->bytes.size(), good->size());
        EXPECT_FALSE(ReplyCheckOk(c.protocol == kInv ? Protocol::Inverter : Protocol::Modbus, r->bytes,
                                  int(r->bytes.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DrivesimFaults,
                         testing::Values(FaultCase{"InverterNoReply", kInv, SimFaultKind::NoReply},
                                         FaultCase{"InverterBadSum", kInv, SimFaultKind::BadCheck},
                                         FaultCase{"InverterLate", kInv, SimFaultKind::Late},
                                         FaultCase{"InverterGarbage", kInv, SimFaultKind::Garbage},
                                         FaultCase{"ModbusNoReply", kMod, SimFaultKind::NoReply},
                                         FaultCase{"ModbusBadCrc", kMod, SimFaultKind::BadCheck},
                                         FaultCase{"ModbusException", kMod, SimFaultKind::Exception},
                                         FaultCase{"ModbusLate", kMod, SimFaultKind::Late},
                                         FaultCase{"ModbusGarbage", kMod, SimFaultKind::Garbage}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DrivesimFrames, GarbageNeverChecksOutWhateverTheNoise) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        for (SimProtocol p : {kInv, kMod}) {
            SimConfig c;
            c.protocol = p;
            c.seed = seed;
            c.faults = {{SimFaultKind::Garbage, 1.0}};
            DriveSimulator sim(model, c);
            const Bytes read = p == kInv ? Bytes{0x2F, 0x52, 0x00, 0x00, 0x81}
                                         : Bytes{0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};
            const auto r = sim.respond(read);
            ASSERT_TRUE(r);
            ASSERT_FALSE(ReplyCheckOk(p == kInv ? Protocol::Inverter : Protocol::Modbus, r->bytes,
                                      int(r->bytes.size())))
                << seed;
        }
    }
}

TEST_F(DrivesimFrames, AFaultRateHitsAboutThatShareOfReplies) {
    SimConfig c;
    c.faults = {{SimFaultKind::NoReply, 0.25}};
    DriveSimulator sim(model, c);
    int answered = 0;
    for (int i = 0; i < 1000; ++i)
        answered += sim.respond(Bytes{0x2F, 0x52, 0x00, 0x00, 0x81}) ? 1 : 0;
    EXPECT_GT(answered, 700);
    EXPECT_LT(answered, 800);

    c.faults = {{SimFaultKind::NoReply, 0.0}};
    sim.setConfig(c);
    EXPECT_TRUE(sim.respond(Bytes{0x2F, 0x52, 0x00, 0x00, 0x81}));
}

TEST_F(DrivesimFrames, AnswersOnlyAtItsOwnSpeedAndParityWhenTold) {
    SimConfig c;
    c.protocol = kMod;
    c.onlyBaud = 19200;
    c.onlyParity = 2;
    DriveSimulator sim(model, c);
    const Bytes read = {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50};
    EXPECT_FALSE(sim.respond(read, {9600, 2}));
    EXPECT_FALSE(sim.respond(read, {19200, 1}));
    EXPECT_TRUE(sim.respond(read, {19200, 2}));
    EXPECT_TRUE(sim.respond(read, {19200, -1})); // a pseudo-terminal cannot tell the parity
}

TEST_F(DrivesimFrames, WireSpeedDelaysEachReplyByTheRequestAndReplyBytes) {
    SimConfig c;
    c.protocol = kMod;
    c.replyDelayMs = 5;
    c.wireBaud = 38400;
    DriveSimulator sim(model, c);
    const auto r = sim.respond(Bytes{0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50});
    ASSERT_TRUE(r);
    // 8 + 7 bytes of 11 bits at 38,400 baud, after the fixed delay.
    EXPECT_EQ(r->delay.count(), 5000 + 15 * 11 * 1000000LL / 38400);
}

// ---- Command line ----

// ---- The pseudo-terminal ----

int openRaw(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

Bytes readFor(int fd, std::size_t want, int timeoutMs) {
    Bytes got;
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        std::uint8_t buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// Writes a read of "0000" to the drive and returns once the drive has taken it.
void sendReadAndWaitUntilTaken(DriveSimulator& sim, int fd) {
    const Bytes read = {0x2F, 0x52, 0x00, 0x00, 0x81};
    ASSERT_EQ(::write(fd, read.data(), read.size()), ssize_t(read.size()));
    while (sim.requestCount() == 0)
        usleep(1000);
}

TEST_F(DrivesimFrames, ServesOnAPseudoTerminalInAThreadAndOnDemand) {
    DriveSimulator sim(model, {});
    PtyDriveServer server(sim);
    QString error;
    ASSERT_TRUE(server.open(&error)) << error.toStdString();
    const int fd = openRaw(server.slavePath());
    ASSERT_GE(fd, 0);
    const Bytes read = {0x2F, 0x52, 0x00, 0x00, 0x81};

    ASSERT_EQ(::write(fd, read.data(), read.size()), ssize_t(read.size()));
    // The terminal passes the request on in its own time: served once, however long that takes.
    int served = 0;
    for (const QDeadlineTimer deadline(kLoadedMachineMs); served == 0 && !deadline.hasExpired();)
        served += server.serveFor(200);
    EXPECT_EQ(served, 1);
    EXPECT_EQ(readFor(fd, 7, kLoadedMachineMs), *answer(kInv, 0, read));

    ASSERT_TRUE(server.start());
    EXPECT_FALSE(server.start());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(::write(fd, read.data(), read.size()), ssize_t(read.size()));
        EXPECT_EQ(readFor(fd, 7, kLoadedMachineMs), *answer(kInv, 0, read));
    }
    server.stop();
    EXPECT_FALSE(server.running());
    EXPECT_EQ(sim.replyCount(), 4);
    ::close(fd);
}

TEST_F(DrivesimFrames, StopDoesNotWaitForADelayedReply) {
    SimConfig c;
    c.replyDelayMs = 600000; // the test would time out if stop() waited for it
    DriveSimulator sim(model, c);
    PtyDriveServer server(sim);
    ASSERT_TRUE(server.open());
    const int fd = openRaw(server.slavePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(server.start());
    sendReadAndWaitUntilTaken(sim, fd);
    server.close();
    EXPECT_FALSE(server.isOpen());
    ::close(fd);
}

// With busy polling the server spins instead of sleeping; it must answer the same, keep the
// pacing of a line's speed, end a frame at silence and still stop at once.
TEST_F(DrivesimFrames, BusyPollingServesBothProtocolsWithTheirPacing) {
    struct Case {
        SimProtocol protocol;
        Bytes request;
        std::size_t replyLength;
    };
    const Case cases[] = {
        {kInv, {0x2F, 0x52, 0x00, 0x00, 0x81}, 7},
        {kMod, {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50}, 7},
        // Ended by silence alone: function 16 is answered by exception 1.
        {kMod, withCrc({0xFB, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x07}), 5},
    };
    for (const Case& c : cases) {
        SimConfig config;
        config.protocol = c.protocol;
        config.wireBaud = 2400;
        DriveSimulator sim(model, config);
        PtyDriveServer server(sim);
        server.setBusyPoll(true);
        ASSERT_TRUE(server.open());
        const int fd = openRaw(server.slavePath());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(server.start());
        for (int i = 0; i < 2; ++i) {
            const auto sent = std::chrono::steady_clock::now();
            ASSERT_EQ(::write(fd, c.request.data(), c.request.size()), ssize_t(c.request.size()));
            const Bytes reply = readFor(fd, c.replyLength, kLoadedMachineMs);
            const auto took = std::chrono::steady_clock::now() - sent;
            ASSERT_EQ(reply.size(), c.replyLength);
            EXPECT_EQ(reply, sim.respond(c.request)->bytes);
            // Never before the request and the reply could have crossed such a line.
            EXPECT_GE(took,
                      std::chrono::microseconds((c.request.size() + c.replyLength) * 11 * 1000000 / 2400));
        }
        server.stop();
        EXPECT_FALSE(server.running());
        ::close(fd);
    }
}

TEST_F(DrivesimFrames, BusyPollingStopsDuringADelayedReplyAndALineThatIsNotRead) {
    SimConfig c;
    c.replyDelayMs = 600000; // the test would time out if stop() waited for it
    DriveSimulator sim(model, c);
    PtyDriveServer server(sim);
    server.setBusyPoll(true);
    ASSERT_TRUE(server.open());
    const int fd = openRaw(server.slavePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(server.start());
    sendReadAndWaitUntilTaken(sim, fd);
    server.stop();
    EXPECT_FALSE(server.running());

    // Without delay, replies to a master that never reads fill the line; stop() still ends it.
    sim.setConfig({});
    ASSERT_TRUE(server.start());
    const Bytes read = {0x2F, 0x52, 0x00, 0x00, 0x81};
    Bytes many;
    for (int i = 0; i < 400; ++i)
        many.insert(many.end(), read.begin(), read.end());
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    int refused = 0; // writes the line no longer takes: the drive has stopped reading
    for (int i = 0; i < 2000 && refused < 20; ++i) {
        if (::write(fd, many.data(), many.size()) < 0)
            ++refused;
        usleep(1000);
    }
    EXPECT_EQ(refused, 20);
    server.close();
    EXPECT_FALSE(server.isOpen());
    ::close(fd);
}

// ---- The line log ----

using LineKind = SimLineEvent::Kind;

TEST(DrivesimLineLog, EachEventIsOneLineThatReadsBackWhileTheLogIsOpen) {
    const auto t = std::chrono::steady_clock::time_point(std::chrono::microseconds(81234567890));
    const std::vector<SimLineEvent> events = {
        {LineKind::Request, 12, {0xFB, 0x03, 0xFC, 0x10, 0x00, 0x05, 0x9C, 0x2B}, t},
        {LineKind::Reply, 12, {0xFB, 0x03, 0x02, 0x00, 0x0A}, t + std::chrono::microseconds(17500)},
        {LineKind::Dropped, 13, {0x01, 0x06}, t + std::chrono::microseconds(20000)},
        {LineKind::Ignored, 14, {}, t + std::chrono::microseconds(21000)},
    };
    EXPECT_EQ(formatLineLogLine(events[0]), QStringLiteral("81234567890 12 rx FB 03 FC 10 00 05 9C 2B"));
    EXPECT_EQ(formatLineLogLine(events[1]), QStringLiteral("81234585390 12 tx FB 03 02 00 0A"));
    EXPECT_EQ(formatLineLogLine(events[2]), QStringLiteral("81234587890 13 drop 01 06"));
    EXPECT_EQ(formatLineLogLine(events[3]), QStringLiteral("81234588890 14 none"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.log"));
    LineLogFile log;
    QString error;
    ASSERT_TRUE(log.open(path, &error)) << error.toStdString();
    for (const SimLineEvent& e : events)
        log.append(e);
    const std::vector<LineLogEntry> back = readLineLog(path); // nothing is held back
    ASSERT_EQ(back.size(), events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(
            back[i].us,
            std::chrono::duration_cast<std::chrono::microseconds>(events[i].time.time_since_epoch()).count());
        EXPECT_EQ(back[i].request, events[i].request);
        EXPECT_EQ(back[i].kind, events[i].kind);
        EXPECT_EQ(back[i].bytes, events[i].kind == LineKind::Ignored ? Bytes{} : events[i].bytes);
    }
    for (const char* other :
         {"", "x 1 rx", "5 0 rx", "5 1 sent FB", "5 1 rx 1G", "5 1 rx FFF", "5 1 none FB"})
        EXPECT_FALSE(parseLineLogLine(QString::fromLatin1(other))) << other;

    LineLogFile bad;
    EXPECT_FALSE(bad.open(dir.filePath(QStringLiteral("missing/line.log")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing/line.log")));
}

// A log as the server writes it: a request that came while a reply was due is logged after that
// reply, with the time it came.
TEST(DrivesimLineLog, ShowsRequestsWhileAReplyWasDueSilencesAndWrites) {
    const Bytes keyWrite = withCrc({0xFB, 0x06, 0xFA, 0x11, 0x01, 0x04});
    const std::vector<LineLogEntry> log = {
        {100, 1, LineKind::Request, {}},       {120, 1, LineKind::Reply, {}},   // answered before the next
        {200, 2, LineKind::Request, {}},       {200, 2, LineKind::Dropped, {}}, // the drive owes nothing
        {300, 3, LineKind::Request, {}},       {900, 3, LineKind::Reply, {}},   // late
        {400, 4, LineKind::Request, {}},       {920, 4, LineKind::Reply, {}},   // came while 3 was due
        {910, 5, LineKind::Request, keyWrite}, {930, 5, LineKind::Reply, {}},   // while 4 was due
        {2000, 6, LineKind::Request, {}},      {2000, 6, LineKind::Ignored, {}},
    };
    EXPECT_EQ(requestsWhileAReplyWasDue(log), (std::vector<long>{4, 5}));

    const std::vector<qint64> times = requestTimes(log);
    EXPECT_EQ(times, (std::vector<qint64>{100, 200, 300, 400, 910, 2000}));
    EXPECT_EQ(longestSilenceUs(times, 0, 2500), 1090);
    EXPECT_EQ(longestSilenceUs(times, 450, 950), 460);   // from the start of the stretch
    EXPECT_EQ(longestSilenceUs(times, 2000, 2600), 600); // to its end

    const std::vector<RegisterWrite> writes = modbusWrites(log);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].request, 5);
    EXPECT_EQ(writes[0].address, 0xFA11);
    EXPECT_EQ(writes[0].value, 0x0104);
}

// Through the pseudo-terminal: what the log says matches what the master saw.
TEST_F(DrivesimFrames, TheLineLogHoldsEveryRequestAndWhatBecameOfItsReply) {
    SimConfig c;
    c.protocol = kMod;
    c.station = 1;
    c.replyDelayMs = 50;
    DriveSimulator sim(model, c);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("line.log"));
    LineLogFile log;
    ASSERT_TRUE(log.open(path));
    sim.setLineObserver([&log](const SimLineEvent& e) { log.append(e); });
    PtyDriveServer server(sim);
    ASSERT_TRUE(server.open());
    const int fd = openRaw(server.slavePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(server.start());

    const Bytes read = withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
    const Bytes twoAtOnce = concat(read, read);
    ASSERT_EQ(::write(fd, twoAtOnce.data(), twoAtOnce.size()), ssize_t(twoAtOnce.size()));
    const Bytes replies = readFor(fd, 14, kLoadedMachineMs);
    ASSERT_EQ(replies.size(), 14u);
    const Bytes other = withCrc({0x02, 0x03, 0x00, 0x00, 0x00, 0x01}); // another station's
    ASSERT_EQ(::write(fd, other.data(), other.size()), ssize_t(other.size()));
    ASSERT_TRUE(waitUntil([&] { return sim.requestCount() == 3; }));
    sim.setFaults({{SimFaultKind::NoReply, 1.0}});
    ASSERT_EQ(::write(fd, read.data(), read.size()), ssize_t(read.size()));
    ASSERT_TRUE(waitUntil([&] { return sim.requestCount() == 4; }));
    server.stop();
    ::close(fd);

    const std::vector<LineLogEntry> entries = readLineLog(path);
    std::vector<std::pair<long, LineKind>> seen;
    for (const LineLogEntry& e : entries)
        seen.push_back({e.request, e.kind});
    EXPECT_EQ(seen, (std::vector<std::pair<long, LineKind>>{{1, LineKind::Request},
                                                            {2, LineKind::Request},
                                                            {1, LineKind::Reply},
                                                            {2, LineKind::Reply},
                                                            {3, LineKind::Request},
                                                            {3, LineKind::Ignored},
                                                            {4, LineKind::Request},
                                                            {4, LineKind::Dropped}}));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[0].bytes, read);
    EXPECT_EQ(concat(entries[2].bytes, entries[3].bytes), replies);
    EXPECT_EQ(entries[5].bytes, Bytes{});
    EXPECT_EQ(entries[7].bytes, Bytes(replies.begin(), replies.begin() + 7)); // kept back
    // The reply went out no sooner than its delay; the second request was on the line with it.
    EXPECT_GE(entries[2].us - entries[0].us, 50000);
    EXPECT_EQ(requestsWhileAReplyWasDue(entries), std::vector<long>{2});
}

// A request that comes while a reply is due is served after that reply, as always, and logged
// with the time it came.
TEST_F(DrivesimFrames, ARequestThatComesWhileAReplyIsDueIsLoggedWhenItCame) {
    SimConfig c;
    c.protocol = kMod;
    c.station = 1;
    c.replyDelayMs = 500;
    DriveSimulator sim(model, c);
    std::mutex lock;
    std::vector<SimLineEvent> events;
    sim.setLineObserver([&](const SimLineEvent& e) {
        const std::lock_guard hold(lock);
        events.push_back(e);
    });
    PtyDriveServer server(sim);
    ASSERT_TRUE(server.open());
    const int fd = openRaw(server.slavePath());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(server.start());
    const Bytes first = withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
    const Bytes second = withCrc({0x01, 0x03, 0x01, 0x03, 0x00, 0x01});
    ASSERT_EQ(::write(fd, first.data(), first.size()), ssize_t(first.size()));
    ASSERT_TRUE(waitUntil([&] { return sim.requestCount() == 1; }));
    const auto secondWritten = std::chrono::steady_clock::now();
    ASSERT_EQ(::write(fd, second.data(), second.size()), ssize_t(second.size()));
    const Bytes replies = readFor(fd, 14, kLoadedMachineMs);
    server.stop();
    ::close(fd);

    EXPECT_EQ(replies, concat(*answer(kMod, 1, first), *answer(kMod, 1, second)));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].kind, LineKind::Reply);
    EXPECT_EQ(events[1].request, 1);
    EXPECT_EQ(events[2].kind, LineKind::Request);
    EXPECT_EQ(events[2].request, 2);
    EXPECT_GE(events[3].time - events[2].time, std::chrono::milliseconds(500)); // its own delay
    // Written well before the first reply went out (a machine that stalled the writer that long
    // proves nothing here), the second request is logged before that reply.
    if (events[1].time - secondWritten > std::chrono::milliseconds(100)) {
        EXPECT_LT(events[2].time, events[1].time);
    }
}

TEST(DrivesimDeviceLink, ReplacesAStaleLinkRefusesAFileAndRemovesOnlyItsOwn) {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM1"));
    ASSERT_TRUE(makeDeviceLink(link, QStringLiteral("/dev/pts/old")));
    ASSERT_TRUE(makeDeviceLink(link, QStringLiteral("/dev/pts/new")));
    EXPECT_EQ(QFile::symLinkTarget(link), QStringLiteral("/dev/pts/new"));

    removeDeviceLink(link, QStringLiteral("/dev/pts/old")); // another run's link stays
    EXPECT_FALSE(QFile::symLinkTarget(link).isEmpty());
    removeDeviceLink(link, QStringLiteral("/dev/pts/new"));
    EXPECT_TRUE(QFile::symLinkTarget(link).isEmpty());

    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    QString error;
    EXPECT_FALSE(makeDeviceLink(file, QStringLiteral("/dev/pts/1"), &error));
    EXPECT_TRUE(QFile::exists(file));
}

} // namespace

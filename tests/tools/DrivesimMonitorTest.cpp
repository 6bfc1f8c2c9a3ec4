// The simulated drive as the monitor sees it: the numbers it reads from every shipped drive
// type, the readings that follow the frequency command, and trips and alarms on cue.
#include "platform/IniFile.h"
#include "protocol/FrameCodec.h"
#include "support/TestPaths.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QDir>
#include <chrono>
#include <gtest/gtest.h>

namespace {

// One request through the simulator in the given protocol; nullopt when the drive does not
// give a good reply.
std::optional<std::uint32_t> exchange(DriveSimulator& sim, DriveModel& model, Protocol p,
                                      const QString& comNo, char kind = 'R', std::int64_t value = 0) {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = value;
    const auto param = model.parameter(comNo);
    r.wide = param && param->is32;
    const auto reply = sim.respond(BuildFrame(p, r));
    if (!reply || !ReplyCheckOk(p, reply->bytes, int(reply->bytes.size())))
        return std::nullopt;
    bool err = false;
    const std::uint32_t v = ParseReply(p, reply->bytes, r, err);
    if (err)
        return std::nullopt;
    return v;
}

// ---- Every shipped drive type ----

struct ShippedCase {
    const char* type;
    const char* cpu;
    const char* capacity;
};

class DrivesimShippedMonitor : public testing::TestWithParam<std::tuple<ShippedCase, Protocol>> {};

// The monitor items of the type, the rated current and voltage, the alarm word and trip code,
// and the inverter information of the language file: each answers, for the whole monitor
// window's life (activation, speed test, run, trip report).
TEST_P(DrivesimShippedMonitor, AnswersEveryNumberTheMonitorReads) {
    const auto& [c, protocol] = GetParam();
    const QString type = QString::fromLatin1(c.type);
    DriveModel model;
    QString error;
    ASSERT_TRUE(model.load(shippedDataDir(),
                           {type, QString::fromLatin1(c.cpu), QString::fromLatin1(c.capacity)}, &error))
        << error.toStdString();
    SimConfig config;
    config.protocol = protocol == Protocol::Modbus ? SimProtocol::Modbus : SimProtocol::Inverter;
    DriveSimulator sim(model, config);

    const IniFile info(
        QDir(shippedDataDir()).filePath(QStringLiteral("dat/%1(%2)/Info.ini").arg(type, c.cpu)));
    const IniFile language(QDir(shippedDataDir()).filePath(QStringLiteral("lng/English.ini")));
    QStringList numbers = {"FE70", "FE71", "FC90", "FC91", "FB91", "FA10", "FA11"};
    for (const QString& item : info.keys(type + QStringLiteral(" Monitor (Eng)")))
        numbers << item.left(4);
    const QStringList infoKeys = language.keys(QStringLiteral("InverterInfo"));
    ASSERT_GE(infoKeys.size(), 3);
    for (const QString& key : infoKeys.mid(2))
        if (!key.startsWith(QStringLiteral("cr")))
            numbers << language.readString(QStringLiteral("InverterInfo"), key);
    ASSERT_GT(numbers.size(), 20);
    for (const QString& n : numbers)
        EXPECT_TRUE(exchange(sim, model, protocol, n)) << c.type << " " << n.toStdString();

    // The bases the readings are scaled by: a zero would make every ampere reading zero.
    EXPECT_GT(exchange(sim, model, protocol, "FE70").value_or(0), 0u);
    EXPECT_GT(exchange(sim, model, protocol, "FE71").value_or(0), 0u);
    EXPECT_EQ(exchange(sim, model, protocol, "FC90"), 0u);
    EXPECT_EQ(exchange(sim, model, protocol, "FC91"), 0u);

    // The monitor's RUN: key code under the handshake, then the output follows the command.
    EXPECT_EQ(exchange(sim, model, protocol, "FA01", 'P', 4500), 4500u);
    EXPECT_EQ(exchange(sim, model, protocol, "FD00"), 0u);
    exchange(sim, model, protocol, "FA10", 'P', 1);
    exchange(sim, model, protocol, "FA11", 'P', (12 << 8) + 1);
    exchange(sim, model, protocol, "FA10", 'P', 0);
    EXPECT_EQ(exchange(sim, model, protocol, "FD00"), 4500u);
    EXPECT_EQ(exchange(sim, model, protocol, "FD03"), 375u);

    model.trip(5);
    EXPECT_EQ(exchange(sim, model, protocol, "FC90"), 5u);
    EXPECT_EQ(exchange(sim, model, protocol, "FE10"), 5u);
    EXPECT_EQ(exchange(sim, model, protocol, "FD00"), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryType, DrivesimShippedMonitor,
                         testing::Combine(testing::Values(ShippedCase{"HXA1", "V110", "-2004"},
                                                          ShippedCase{"HXA1", "V720", "-4037"},
                                                          ShippedCase{"HXB3", "V250", "-4015"}),
                                          testing::Values(Protocol::Inverter, Protocol::Modbus)),
                         [](const auto& info) {
                             const ShippedCase& c = std::get<0>(info.param);
                             return std::string(c.type) + c.cpu +
                                    (std::get<1>(info.param) == Protocol::Modbus ? "Modbus" : "Inverter");
                         });

// ---- Readings ----

class DrivesimReadings : public testing::Test {
protected:
    DrivesimReadings() {
        for (const char* n : {"FA01", "FA10", "FA11", "FD00", "FD01", "FD03", "FD04", "FD11", "FC90", "FC91",
                              "FE10", "FE11", "FE12", "FE13"})
            model.setParameter(QString::fromLatin1(n), 0);
        model.setParameter(QStringLiteral("FE10"), 7);
    }
    void key(int code) {
        model.write(ComNoToRegister(u"FA10"), 1);
        model.write(ComNoToRegister(u"FA11"), code);
        model.write(ComNoToRegister(u"FA10"), 0);
    }
    std::uint32_t read(const char* comNo) const {
        return model.read(ComNoToRegister(QString::fromLatin1(comNo)))->raw;
    }
    std::uint32_t stored(const char* comNo) const { return model.parameter(QString::fromLatin1(comNo))->raw; }

    DriveModel model;
};

struct ReadingCase {
    std::uint32_t command;
    bool running;
    std::uint32_t frequency, commandShown, current, voltage, speed;
};

TEST_F(DrivesimReadings, FollowTheFrequencyCommandWhileTheMotorRuns) {
    const ReadingCase cases[] = {
        {6000, false, 0, 6000, 0, 0, 0},           // stopped: only the command shows
        {6000, true, 6000, 6000, 500, 1000, 1800}, // 60 Hz: half the rated current, full voltage
        {3000, true, 3000, 3000, 250, 500, 900},
        {12000, true, 12000, 12000, 1000, 1000, 3600}, // the voltage stays at its rating above 60 Hz
    };
    for (const ReadingCase& c : cases) {
        model.write(ComNoToRegister(u"FA01"), c.command);
        key(c.running ? 0x01 : 0x02);
        EXPECT_EQ(read("FD00"), c.frequency) << c.command << " " << c.running;
        EXPECT_EQ(read("FD01"), c.commandShown) << c.command;
        EXPECT_EQ(read("FD03"), c.current) << c.command;
        EXPECT_EQ(read("FD04"), c.voltage) << c.command;
        EXPECT_EQ(read("FD11"), c.speed) << c.command;
        EXPECT_EQ(stored("FD00"), 0u); // the readings are not stored values
    }
}

TEST_F(DrivesimReadings, WithARampTheOutputMovesTowardsTheCommandAndBackAtAStop) {
    auto now = std::chrono::steady_clock::time_point{};
    model.setTimeSource([&now] { return now; });
    using std::chrono::milliseconds;
    model.setRampTime(milliseconds(600)); // 60 Hz in 0.6 s
    model.write(ComNoToRegister(u"FA01"), 6000);
    key(0x01);
    EXPECT_EQ(read("FD00"), 0u);
    now += milliseconds(150);
    EXPECT_EQ(read("FD00"), 1500u);
    EXPECT_EQ(read("FD03"), 1500u / 12); // the readings follow the output, not the command
    now += milliseconds(600);
    EXPECT_EQ(read("FD00"), 6000u);
    EXPECT_EQ(read("FD01"), 6000u);
    key(0x02);
    now += milliseconds(150);
    EXPECT_EQ(read("FD00"), 4500u);
    // A trip stops the motor: the output runs down from where it was.
    model.trip(1);
    now += milliseconds(300);
    EXPECT_EQ(read("FD00"), 1500u);
    now += milliseconds(700);
    EXPECT_EQ(read("FD00"), 0u);
}

TEST_F(DrivesimReadings, ATripStopsTheMotorAndEntersTheTripHistory) {
    model.write(ComNoToRegister(u"FA01"), 6000);
    key(0x01);
    model.raiseAlarm(0x0004);
    model.raiseAlarm(0x0100);
    EXPECT_EQ(read("FC91"), 0x0104u);
    model.trip(16);
    EXPECT_FALSE(model.motorRunning());
    EXPECT_EQ(read("FD00"), 0u);
    model.trip(3);
    EXPECT_EQ(read("FC90"), 3u);
    const std::uint32_t history[] = {read("FE10"), read("FE11"), read("FE12"), read("FE13")};
    EXPECT_EQ(std::vector<std::uint32_t>(std::begin(history), std::end(history)),
              (std::vector<std::uint32_t>{3, 16, 7, 0}));
}

TEST_F(DrivesimReadings, ScheduledEventsHappenWhenDueAndInTheirOrder) {
    DriveSimulator sim(model, {});
    model.schedule({SimStatusEvent::Kind::Trip, 9, std::chrono::milliseconds(0)});
    model.schedule({SimStatusEvent::Kind::Trip, 2, std::chrono::hours(1)});
    model.schedule({SimStatusEvent::Kind::Alarm, 0x10, std::chrono::milliseconds(0)});
    EXPECT_EQ(read("FC90"), 0u); // carried out when the drive next answers
    EXPECT_EQ(exchange(sim, model, Protocol::Inverter, "FC90"), 9u);
    EXPECT_EQ(exchange(sim, model, Protocol::Inverter, "FC91"), 0x10u);
    EXPECT_EQ(exchange(sim, model, Protocol::Inverter, "FE11"), 7u);
}

TEST(DrivesimStatusEvents, ParseTheirTimeAndValue) {
    using K = SimStatusEvent::Kind;
    struct Case {
        K kind;
        const char* text;
        bool ok;
        std::uint32_t value;
        int ms;
    };
    const Case cases[] = {
        {K::Trip, "2500", true, 1, 2500}, {K::Trip, "0:16", true, 16, 0},
        {K::Alarm, "100", true, 4, 100},  {K::Alarm, "100:0x8001", true, 0x8001, 100},
        {K::Trip, "-1", false, 0, 0},     {K::Trip, "x", false, 0, 0},
        {K::Trip, "5:0", false, 0, 0},    {K::Alarm, "5:65536", false, 0, 0},
        {K::Trip, "1:2:3", false, 0, 0},
    };
    for (const Case& c : cases) {
        QString error;
        const auto e = parseSimStatusEvent(c.kind, QString::fromLatin1(c.text), &error);
        ASSERT_EQ(bool(e), c.ok) << c.text;
        if (!e) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        EXPECT_EQ(e->kind, c.kind);
        EXPECT_EQ(e->value, c.value) << c.text;
        EXPECT_EQ(e->after.count(), c.ms) << c.text;
    }
}

} // namespace

// The simulated drive's command line: every option taken, and what it cannot serve refused.
#include "tools/drivesim/DrivesimOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(DrivesimOptions, TakesTheWholeCommandLine) {
    DrivesimOptions o;
    QString error;
    ASSERT_TRUE(parseDrivesimArgs({"--protocol",
                                   "modbus",
                                   "--data",
                                   "/p",
                                   "--type",
                                   "HXA1",
                                   "--cpu",
                                   "V110",
                                   "--capacity",
                                   "-2007",
                                   "--language",
                                   "Jap",
                                   "--station",
                                   "5",
                                   "--link",
                                   "/tmp/x",
                                   "--reply-delay-ms",
                                   "7",
                                   "--wire-baud",
                                   "38400",
                                   "--fault",
                                   "late:0.5:900",
                                   "--fault",
                                   "crc:1",
                                   "--busy-poll",
                                   "--write-log",
                                   "/tmp/w.log",
                                   "--line-log",
                                   "/tmp/l.log",
                                   "--seed",
                                   "7",
                                   "--trip-after-ms",
                                   "3000:16",
                                   "--alarm-after-ms",
                                   "1000",
                                   "--ramp-ms",
                                   "5000",
                                   "--command",
                                   "4500"},
                                  o, &error))
        << error.toStdString();
    EXPECT_TRUE(o.busyPoll);
    EXPECT_EQ(o.rampMs, 5000);
    EXPECT_EQ(o.command, 4500);
    EXPECT_EQ(o.writeLogPath, QStringLiteral("/tmp/w.log"));
    EXPECT_EQ(o.lineLogPath, QStringLiteral("/tmp/l.log"));
    EXPECT_EQ(o.sim.seed, 7u);
    ASSERT_EQ(o.statusEvents.size(), 2u);
    EXPECT_EQ(o.statusEvents[0].kind, SimStatusEvent::Kind::Trip);
    EXPECT_EQ(o.statusEvents[0].value, 16u);
    EXPECT_EQ(o.statusEvents[1].kind, SimStatusEvent::Kind::Alarm);
    EXPECT_EQ(o.statusEvents[1].after.count(), 1000);
    EXPECT_EQ(o.sim.protocol, SimProtocol::Modbus);
    EXPECT_EQ(o.dataFolder, QStringLiteral("/p"));
    EXPECT_EQ(o.drive.typeName, QStringLiteral("HXA1"));
    EXPECT_EQ(o.drive.cpuVersion, QStringLiteral("V110"));
    EXPECT_EQ(o.drive.capacityName, QStringLiteral("-2007")); // a value, though it begins with "-"
    EXPECT_EQ(o.drive.language, QStringLiteral("Jap"));
    EXPECT_EQ(o.sim.station, 5);
    EXPECT_EQ(o.linkPath, QStringLiteral("/tmp/x"));
    EXPECT_EQ(o.sim.replyDelayMs, 7);
    EXPECT_EQ(o.sim.wireBaud, 38400);
    ASSERT_EQ(o.sim.faults.size(), 2u);
    EXPECT_EQ(o.sim.faults[0].kind, SimFaultKind::Late);
    EXPECT_EQ(o.sim.faults[0].rate, 0.5);
    EXPECT_EQ(o.sim.faults[0].lateMs, 900);
    EXPECT_EQ(o.sim.faults[1].kind, SimFaultKind::BadCheck);
}

TEST(DrivesimOptions, RefusesWhatItCannotServe) {
    const QStringList base = {"--protocol", "inverter", "--data",     "/p", "--type", "HXA1",
                              "--cpu",      "V1",       "--capacity", "-1", "--link", "/tmp/x"};
    DrivesimOptions o;
    QString error;
    EXPECT_TRUE(parseDrivesimArgs(base, o, &error));
    const QList<QStringList> bad = {
        {"--protocol", "profibus"},
        {"--station", "300"},
        {"--station", "x"},
        {"--fault", "late"},
        {"--fault", "melt:1"},
        {"--fault", "noreply:2"},
        {"--wire-baud", "0"},
        {"--bogus", "1"},
        {"--link"},
        {"--write-log"},
        {"--trip-after-ms", "soon"},
        {"--alarm-after-ms", "5:0"},
        {"--ramp-ms", "-1"},
        {"--command", "70000"},
    };
    for (const QStringList& extra : bad) {
        DrivesimOptions b;
        EXPECT_FALSE(parseDrivesimArgs(base + extra, b, &error)) << extra.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    DrivesimOptions noLink;
    EXPECT_FALSE(parseDrivesimArgs(base.mid(0, base.size() - 2), noLink, &error));
    DrivesimOptions noProtocol;
    EXPECT_FALSE(parseDrivesimArgs(base.mid(2), noProtocol, &error));
}

} // namespace

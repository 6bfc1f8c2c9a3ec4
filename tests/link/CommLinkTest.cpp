// The link's exchange on a fake port: what it waits for, how long, what it accepts, and what
// the main window sees of it.
#include "link/CommLink.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/LinkFixture.h"
#include "support/FakeSerialPort.h"
#include "support/ScriptedPrompter.h"
#include "support/WatchedFakePort.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <optional>

namespace {

using namespace linktest;

// ---- What the exchange waits for ----

struct LengthCase {
    const char* name;
    int protocol;
    int index;
    const char* kind;
    int station; // -1: neither choice
    int expected;
};

class ReplyLength : public Link, public testing::WithParamInterface<LengthCase> {};

TEST_P(ReplyLength, OneByteShortTimesOutAndTheFullLengthIsAccepted) {
    const LengthCase& c = GetParam();
    link.updateSettings([&](LinkSettings& s) {
        s.protocol = c.protocol;
        s.appendNo = c.station >= 0;
        s.inverterNumber = std::max(c.station, 0);
    });
    open();
    // Block replies are not checked, others need a good sum or CRC: make the right tail.
    auto frame = [&](int n) {
        Bytes b(std::size_t(n), 0x11);
        if (c.protocol != 1) {
            // The maker's reply names its request: the request's bytes up to its number.
            const bool wide = c.index == kP0103;
            const Bytes request = BuildFrame(
                Protocol::Inverter,
                link.request(definitionText(program.context.drive.parameters[std::size_t(c.index)], PD_ComNo),
                             c.kind[0], 1, wide));
            std::copy_n(request.begin(), 4 + (c.station >= 0) + wide, b.begin());
        }
        if (c.protocol == 1) {
            // A read's function and byte count, a write's whole echo.
            const Bytes request = BuildFrame(
                Protocol::Modbus,
                link.request(definitionText(program.context.drive.parameters[std::size_t(c.index)], PD_ComNo),
                             c.kind[0], 1));
            std::copy_n(request.begin(), c.kind[0] == 'R' ? 2 : 6, b.begin());
            if (c.kind[0] == 'R')
                b[2] = std::uint8_t(c.expected - 5);
            b.resize(std::size_t(n - 2));
            AppendCrc(b);
        } else {
            b[std::size_t(n - 1)] = SumCheck(b, n - 2);
        }
        return b;
    };
    port.queueReply(frame(c.expected), 5);
    transact(c.index, c.kind, "1");
    EXPECT_FALSE(link.lastExchangeFailed());

    port.queueReply(frame(c.expected - 1), 5);
    transact(c.index, c.kind, "1");
    EXPECT_TRUE(link.lastExchangeFailed());
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, ReplyLength,
                         testing::Values(LengthCase{"InverterRead16", 0, kP0000, "R", -1, 7},
                                         LengthCase{"InverterRead16SetNumber", 0, kP0000, "R", 5, 8},
                                         LengthCase{"InverterRead32", 0, kP0103, "R", -1, 10},
                                         LengthCase{"InverterRead32SetNumber", 0, kP0103, "R", 5, 11},
                                         LengthCase{"InverterWrite16", 0, kP0000, "P", -1, 7},
                                         LengthCase{"InverterWrite32SetNumber", 0, kP0103, "W", 3, 11},
                                         LengthCase{"InverterBlockRead", 0, kPFC10, "R", -1, 15},
                                         LengthCase{"ModbusRead", 1, kP0000, "R", -1, 7},
                                         LengthCase{"ModbusWriteEcho", 1, kP0000, "W", -1, 8},
                                         LengthCase{"ModbusBlockRead", 1, kPFC10, "R", -1, 15}),
                         [](const testing::TestParamInfo<LengthCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(Link, ReplySplitAtEveryByteIsReassembled) {
    for (int protocol : {0, 1}) {
        link.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
        open();
        const Bytes reply = protocol == 1 ? modbusRead(0xFB, {0xBEEF}) : inverterReply('R', 0, 0xBEEF);
        for (std::size_t k = 1; k < reply.size(); ++k) {
            port.queueReply({{Bytes(reply.begin(), reply.begin() + std::ptrdiff_t(k)), 2},
                             {Bytes(reply.begin() + std::ptrdiff_t(k), reply.end()), 7}});
            EXPECT_EQ(transact(kP0000), 0xBEEFu) << protocol << " split at " << k;
            EXPECT_FALSE(link.lastExchangeFailed());
        }
    }
}

TEST_F(Link, ExtraBytesAreReadButTheCheckUsesTheExpectedPositions) {
    open();
    Bytes reply = inverterReply('R', 0, 42);
    reply.insert(reply.end(), 40, 0x55); // far more than the buffer holds
    port.queueReply(reply);
    EXPECT_EQ(transact(kP0000), 42u);
    EXPECT_FALSE(link.lastExchangeFailed());
}

// ---- Time-outs and bad replies ----

// A reply is awaited a second past its time-out only where the drive has answered late within
// the last minute and its last exchange was not silent; the connect's probe always awaits it.
TEST_F(Link, TheLateSecondIsAwaitedOnlyAfterALateReplyWithinAMinuteAndByTheProbeAlways) {
    link.setReplyTimeout(200);
    open();
    InOrderDrive drive(port, clock);
    drive.values = {{0x0000, 11}, {0x0001, 22}};
    struct Step {
        const char* what;
        qint64 lateMs;   // the drive's lateness beyond its turnaround (-1: no reply)
        qint64 forgetMs; // the clock moves on this much first
        bool probe;      // a connect instead of a read of 0001
        bool answered;
        qint64 costMs; // from the request to the answer, within 2 ms
    };
    const Step steps[] = {
        {"lost on a clean line: its time-out", -1, 0, false, false, 200},
        {"late on a clean line: not awaited", 300, 0, false, false, 200},
        {"its late reply read away behind the next", 0, 0, false, true, 104},
        {"late again: awaited, costs only its lateness", 500, 0, false, true, 502},
        {"lost after a late reply: the late second too", -1, 0, false, false, 1200},
        {"silent last time: its time-out", -1, 0, false, false, 200},
        {"a minute on: lost costs its time-out again", -1, 61 * 1000, false, false, 200},
        {"the probe awaits a late reply whatever the line", 700, 0, true, true, 702},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        clock.advance(s.forgetMs);
        drive.lateness = {s.lateMs};
        const qint64 before = clock.now();
        if (s.probe) {
            EXPECT_EQ(link.ConnectDrive(), s.answered);
        } else {
            const ExchangeResult r = link.transactNoted(kP0001, QString(), QStringLiteral("R"));
            EXPECT_EQ(!r.error, s.answered);
            if (s.answered) {
                EXPECT_EQ(r.value, 22u);
            }
        }
        EXPECT_GE(clock.now() - before, s.costMs);
        EXPECT_LE(clock.now() - before, s.costMs + 2);
        EXPECT_FALSE(port.rtsOn());
    }
}

// A drive that only loses replies is never taken for a late one: a reply that could be the
// request's own as well as an owed one's is read away as owed, but shows no lateness. Reads of
// one register again and again, their syncs lost too, as a keypad or a monitor makes them.
TEST_F(Link, ALossyModbusLineNeverAwaitsTheLateSecond) {
    link.updateSettings([](LinkSettings& s) { s.protocol = 1; });
    link.setReplyTimeout(200);
    open();
    InOrderDrive drive(port, clock);
    drive.modbus = true;
    drive.values = {{0x0001, 22}};
    drive.lateness = {-1, -1, -1, 0, -1, -1, 0, 0, -1, 0, -1, -1, -1, 0, 0, 0, -1, 0, 0, 0};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const qint64 before = clock.now();
        const ExchangeResult r = link.transactNoted(kP0001, QString(), QStringLiteral("R"));
        if (!r.error) {
            EXPECT_EQ(r.value, 22u);
        }
        // A sync and the read, each lost at most: two time-outs and their turnarounds.
        EXPECT_LT(clock.now() - before, 2 * 200 + 50);
    }
    EXPECT_EQ(drive.overlaps, 0);
}

// A reply that came in time is taken even when the event loop looks at the line only after
// the time-out (the window's thread busy elsewhere).
TEST_F(Link, AReplyUpToASecondPastItsTimeOutIsTakenAndALaterOneIsNot) {
    link.setReplyTimeout(100);
    open();
    // A reply 50 ms past its time-out, read away before the next request: the drive answers late.
    port.queueReply(inverterReply('R', 0, 5), 150);
    EXPECT_TRUE(link.transactNoted(kP0000, QString(), QStringLiteral("R")).error);
    clock.advance(100);
    port.queueReply(inverterReply('R', 0, 7), 1100);
    EXPECT_EQ(transact(kP0000), 7u);
    EXPECT_FALSE(link.lastExchangeFailed());
    port.queueReply(inverterReply('R', 0, 7), 1150);
    EXPECT_EQ(transact(kP0000), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());

    WatchedFakePort line(clock);
    CommLink watched{context, line, clock, installedAsker()};
    watched.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    watched.setPortsFound({QStringLiteral("COM1")});
    watched.setReplyTimeout(100);
    ASSERT_EQ(watched.OpenCommPort(), 0);
    line.queueReply(inverterReply('R', 0, 9), 50);
    std::optional<ExchangeResult> answer;
    watched.exchangeInBackground(watched.request(QStringLiteral("0000"), 'R'), watched.mainOptions(),
                                 [&](const ExchangeResult& r) { answer = r; });
    clock.advance(400);
    watched.continueBackground();
    QCoreApplication::processEvents();
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->error);
    EXPECT_EQ(answer->value, 9u);
}

// A background request that comes while another is on its way follows it, in the order asked,
// rather than holding the windows while it waits (a click meanwhile is taken at once): an
// exchange behind a connect, a connect behind an exchange.
TEST_F(Link, ABackgroundRequestFollowsTheOneOnItsWayWithoutWaitingForIt) {
    WatchedLink rig(context, clock, installedAsker());
    CommLink& watched = rig.link;
    WatchedFakePort& line = rig.line;
    QStringList ended;
    for (const bool connectFirst : {true, false}) {
        SCOPED_TRACE(connectFirst ? "connect, then exchange" : "exchange, then connect");
        ASSERT_EQ(watched.OpenCommPort(), 0);
        ended.clear();
        const std::size_t writes = line.writes.size();
        for (int i = 0; i < 3; ++i)
            line.queueReply(inverterReply('R', 0, 7), 50);
        auto exchange = [&](const char* name) {
            watched.exchangeInBackground(watched.request(QStringLiteral("0000"), 'R'), watched.mainOptions(),
                                         [&, name](const ExchangeResult& r) {
                                             ended << QString::fromLatin1(name) + (r.error ? "!" : "");
                                         });
        };
        auto connect = [&] {
            watched.ConnectDriveInBackground([&](bool ok) { ended << (ok ? "connect" : "connect!"); });
        };
        connectFirst ? connect() : exchange("first");
        exchange("second");
        connectFirst ? exchange("third") : connect();
        EXPECT_EQ(line.writes.size() - writes, 1u) << "the first alone went out";
        EXPECT_TRUE(ended.isEmpty());
        rig.stepUntil([&] { return ended.size() == 3 && !watched.backgroundPending(); });
        EXPECT_EQ(ended, connectFirst ? QStringList({"connect", "second", "third"})
                                      : QStringList({"first", "second", "connect"}));
        EXPECT_EQ(line.writes.size() - writes, 3u);
    }
}

TEST_F(Link, WrongSumOrCrcFailsWithZero) {
    open();
    Bytes bad = inverterReply('R', 0, 7);
    bad.back() ^= 0x01;
    port.queueReply(bad);
    EXPECT_EQ(transact(kP0000), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());

    modbus();
    Bytes badCrc = modbusRead(0xFB, {7});
    badCrc[5] ^= 0x80;
    port.queueReply(badCrc);
    EXPECT_EQ(transact(kP0000), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());
}

TEST_F(Link, ModbusExceptionReplyIsAFailure) {
    modbus();
    open();
    link.setReplyTimeout(50);
    // A real exception reply is 5 bytes: known by its content, it ends the exchange at once.
    Bytes exc{0xFB, 0x83, 0x02};
    AppendCrc(exc);
    port.queueReply(exc, 5);
    const qint64 before = clock.now();
    ExchangeResult r = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_EQ(r.failure, ExchangeFailure::Exception);
    EXPECT_EQ(r.value, 0u);
    EXPECT_LT(clock.now() - before, 50);
    // Padded to the expected length with a good CRC it is refused by its function.
    Bytes padded{0xFB, 0x83, 0x02, 0x00, 0x00};
    AppendCrc(padded);
    port.queueReply(padded);
    r = link.exchange(link.request("0000", 'R'), link.mainOptions());
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.failure, ExchangeFailure::WrongEcho);
    EXPECT_EQ(r.value, 0u);
}

TEST_F(Link, ModbusKeepsTheSilentIntervalBeforeTheNextRequestButTheMakersProtocolDoesNot) {
    modbus();
    link.setFrameGap(3);
    open();
    // The reply ends the exchange at once; the silence is kept before the next request.
    port.queueReply(modbusRead(0xFB, {1}), 5);
    qint64 t = clock.now();
    transact(kP0000);
    EXPECT_EQ(clock.now() - t, 5);
    port.queueReply(modbusRead(0xFB, {1}), 5);
    transact(kP0000);
    EXPECT_EQ(port.writes[1].at - port.writes[0].at, 5 + 4); // 4.01 ms: 3.5 characters at 9,600

    // The maker's protocol has no gap.
    link.updateSettings([&](LinkSettings& s) { s.protocol = 0; });
    port.queueReply(inverterReply('R', 0, 1), 5);
    t = clock.now();
    transact(kP0000);
    EXPECT_EQ(clock.now() - t, 5);
    port.queueReply(inverterReply('R', 0, 1), 5);
    transact(kP0000);
    EXPECT_EQ(port.writes[3].at - port.writes[2].at, 5);
}

// ---- A reply must answer its request ----

TEST_F(Link, AMakersReplyNamingAnotherRequestFailsTheExchange) {
    open();
    // Another number, another command letter, a missing long mark: each answers another request.
    port.queueReply(inverterReply('R', 0x0103, 7));
    EXPECT_EQ(link.exchange(link.request("0000", 'R'), link.mainOptions()).failure,
              ExchangeFailure::WrongEcho);
    forgetOwed();
    port.queueReply(inverterReply('W', 0x0000, 7));
    EXPECT_EQ(link.exchange(link.request("0000", 'P', 7), link.mainOptions()).failure,
              ExchangeFailure::WrongEcho);
    Bytes shortMark = inverterReply('R', 0x0103, 0x0102);
    shortMark.insert(shortMark.begin() + 5, {0, 0, 0}); // a 32-bit reply's length, no "L"
    shortMark.back() = SumCheck(shortMark, int(shortMark.size()) - 2);
    forgetOwed();
    port.queueReply(shortMark);
    EXPECT_EQ(transact(kP0103), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());
    // The station byte is not compared: a broadcast may be answered by the drive's own number.
    link.updateSettings([&](LinkSettings& s) { s.broadcast = true; });
    forgetOwed();
    port.queueReply(inverterReply('R', 0x0000, 9, false, 12));
    EXPECT_EQ(transact(kP0000), 9u);
    EXPECT_FALSE(link.lastExchangeFailed());
}

// Reads of registers whose values differ from a drive that answers late (one request in five,
// two in a row now and then), through the blocking exchange and the one stepped from the event
// loop by turns, at every lateness from 0 to five time-outs in quarters and a few seconds:
// each value is its own register's or the read fails.

class OwnReplies : public Link {
protected:
    // The pattern of late requests: one in five, and two in a row now and then.
    static std::deque<qint64> pattern(qint64 lateMs, int count) {
        std::deque<qint64> out;
        for (int k = 0; k < count; ++k)
            out.push_back(k % 5 == 2 || k % 17 == 9 || k % 17 == 10 ? lateMs : 0);
        return out;
    }
    // One read of `index` (its number's register), blocking or from the event loop.
    ExchangeResult read(CommLink& l, WatchedFakePort* watched, int index) {
        const FrameRequest r = l.request(context.drive.parameters[std::size_t(index)].comNo, 'R');
        if (!watched)
            return l.exchange(r, l.mainOptions());
        std::optional<ExchangeResult> answer;
        l.exchangeInBackground(r, l.mainOptions(), [&](const ExchangeResult& res) { answer = res; });
        while (l.backgroundExchangePending()) {
            l.continueBackground();
            if (l.backgroundExchangePending())
                clock.advance(1);
        }
        QCoreApplication::processEvents();
        return answer.value_or(ExchangeResult{});
    }
};

TEST_F(OwnReplies, EveryReadIsItsOwnRegistersValueOrFailsAtEveryLateness) {
    constexpr int kTimeout = 100;
    std::vector<qint64> grid;
    for (qint64 ms = 0; ms <= 5 * kTimeout; ms += kTimeout / 4)
        grid.push_back(ms);
    for (qint64 ms : {1000, 1075, 1125, 2500, 6000})
        grid.push_back(ms);
    const int indices[4] = {kP0000, kP0001, kPFB91, kP0000};
    for (const int protocol : {0, 1}) {
        for (const qint64 late : grid) {
            SCOPED_TRACE(testing::Message()
                         << (protocol ? "MODBUS" : "maker's") << ", late " << late << " ms");
            WatchedFakePort line(clock);
            InOrderDrive drive(line, clock);
            drive.modbus = protocol == 1;
            // A drive at 9,600 baud: its reply starts well after the link's silent interval.
            drive.turnaroundMs = 16;
            drive.values = {{0x0000, 11}, {0x0001, 22}, {0xFB91, 33}};
            drive.lateness = pattern(late, 200);
            CommLink l{context, line, clock, installedAsker()};
            l.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
            l.setPortsFound({QStringLiteral("COM1")});
            l.setReplyTimeout(kTimeout);
            l.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
            ASSERT_EQ(l.OpenCommPort(), 0);
            int good = 0;
            for (int k = 0; k < 60; ++k) {
                const int index = indices[k % 4];
                const ExchangeResult r = read(l, k % 3 == 1 ? &line : nullptr, index);
                const std::uint16_t reg = ComNoToRegister(context.drive.parameters[std::size_t(index)].comNo);
                if (!r.error) {
                    ++good;
                    EXPECT_EQ(r.value, drive.values[reg]) << "read " << k;
                }
            }
            EXPECT_GT(good, 0);
            // A reply within its time-out is awaited; one within the second past it once the
            // drive has been seen late: only the requests that time out before the first late
            // reply lands fail, and only they go out while it is due.
            const qint64 lateness = late + drive.turnaroundMs;
            if (lateness <= kTimeout) {
                EXPECT_EQ(drive.overlaps, 0);
                EXPECT_EQ(good, 60);
            } else if (late < kTimeout + 1000) {
                EXPECT_LE(drive.overlaps, 1 + lateness / kTimeout);
                EXPECT_GE(good, 60 - 1 - lateness / kTimeout);
            }
        }
    }
}

TEST_F(Link, AReplyASecondLateIsItsOwnALaterOneMakesAnAlikeReadWaitForASyncAndAGoneDriveCostsOneTimeOut) {
    link.setReplyTimeout(100);
    for (const int protocol : {0, 1}) {
        SCOPED_TRACE(protocol);
        link.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
        forgetOwed();
        open();
        InOrderDrive drive(port, clock);
        drive.modbus = protocol == 1;
        drive.values = {{0x0000, 11}, {0x0001, 22}};
        // A reply 50 ms past its time-out, read away behind the next: the drive answers late.
        drive.lateness = {150};
        EXPECT_TRUE(link.transactNoted(kP0000, QString(), QStringLiteral("R")).error);
        EXPECT_EQ(transact(kP0001), 22u);
        // 900 ms past its time-out: still awaited, and nothing else goes meanwhile.
        drive.lateness = {1000};
        port.writes.clear();
        EXPECT_EQ(transact(kP0000), 11u);
        EXPECT_EQ(port.writes.size(), 1u);

        // Later than that: the next read goes out while the drive still owes 0000's reply. The
        // maker's 0001 cannot be taken for it: it goes at once, 0000's late reply is read away
        // and its own taken. A MODBUS read is preceded by a sync (a read no other request makes),
        // and goes once the sync's reply has come behind 0000's.
        drive.lateness = {1150};
        port.writes.clear();
        EXPECT_TRUE(link.transactNoted(kP0000, QString(), QStringLiteral("R")).error);
        EXPECT_EQ(transact(kP0001), 22u);
        ASSERT_EQ(port.writes.size(), protocol == 1 ? 3u : 2u);
        if (protocol == 1) {
            EXPECT_EQ(port.writes[1].bytes, (Bytes{0xFB, 0x03, 0xFC, 0x10, 0x00, 0x02, 0xE1, 0xC4}));
        }
        const std::size_t clean = port.writes.size();
        EXPECT_EQ(transact(kP0001), 22u);
        EXPECT_EQ(port.writes.size(), clean + 1) << "a clean line pays nothing";

        // A drive that has gone: its first read waits for a late reply; then the sync costs one
        // time-out and the read is not sent.
        drive.lateness = {-1, -1};
        EXPECT_TRUE(link.transactNoted(kP0000, QString(), QStringLiteral("R")).error);
        const qint64 t = clock.now();
        const std::size_t before = port.writes.size();
        EXPECT_EQ(link.transactNoted(kP0000, QString(), QStringLiteral("R")).failure,
                  ExchangeFailure::Unconfirmed);
        EXPECT_EQ(port.writes.size(), before + 1);
        EXPECT_LE(clock.now() - t, 100 + 30);
        // It answers again: a sync's reply shows that nothing alike is owed.
        EXPECT_EQ(transact(kP0001), 22u);
        link.closePort();
    }
}

// The keypad's display reads and a parameter read lost on the line (a drive losing replies):
// the drive may still owe any of them, and any MODBUS read could pass for them. The sync that
// goes before the next read is a read no owed reply can pass for, so its reply shows that the
// drive owes nothing: the connect after them finds the drive.
TEST_F(Link, AfterRepliesLostOfEveryKindTheNextConnectFindsTheDriveThatAnswers) {
    modbus();
    link.setReplyTimeout(100);
    open();
    InOrderDrive drive(port, clock);
    drive.modbus = true;
    drive.values = {{0x0000, 11}, {0xA003, 3}};
    ExchangeOptions keypad = link.mainOptions();
    keypad.checkBlockReply = true;
    keypad.expectedLength = kBlockReplyLength;
    drive.lateness = {-1, -1, -1, -1, -1, -1, -1};
    for (int k = 0; k < 7; ++k) {
        const FrameRequest r = k == 4 ? link.request("A003", 'R') : link.request("FC10", 'R');
        EXPECT_TRUE(link.exchange(r, k == 4 ? link.mainOptions() : keypad).error);
    }
    const std::size_t before = port.writes.size();
    EXPECT_TRUE(link.ConnectDrive());
    ASSERT_EQ(port.writes.size(), before + 2);
    // Syncs of two registers went out before the lost A003: one of three is sent instead.
    EXPECT_EQ(port.writes[before].bytes, (Bytes{0xFB, 0x03, 0xFC, 0x10, 0x00, 0x03, 0x20, 0x04}))
        << "the sync";
    EXPECT_EQ(transact(kP0000), 11u);
    EXPECT_EQ(port.writes.size(), before + 3) << "nothing is owed any more";
}

TEST_F(Link, ModbusClearsItsInputBeforeEveryRequestOnACleanLineAndTheMakersProtocolNever) {
    for (int protocol : {1, 0}) {
        link.updateSettings([&](LinkSettings& s) { s.protocol = protocol; });
        link.setReplyTimeout(50);
        open();
        const Bytes good = protocol == 1 ? modbusRead(0xFB, {1}) : inverterReply('R', 0, 1);
        const int before = port.purgesIn;
        for (int k = 0; k < 3; ++k) {
            port.queueReply(good, 2);
            transact(kP0000);
        }
        EXPECT_EQ(port.purgesIn - before, protocol == 1 ? 3 : 0) << protocol;
        EXPECT_EQ(port.purgesOut, 0) << "nothing was left in the output queue";
    }
}

TEST_F(Link, ThreeSilentExchangesInARowAreCountedAndAnyByteEndsTheCount) {
    link.setReplyTimeout(30);
    open();
    for (int k = 1; k <= kSilentDriveExchanges; ++k) {
        port.queueNoReply();
        transact(kP0000);
        EXPECT_EQ(link.silentExchanges(), k);
    }
    port.queueReply(Bytes{0x2F}, 2); // one byte, then nothing: not silent
    transact(kP0000);
    EXPECT_EQ(link.silentExchanges(), 0);
}

// ---- The MODBUS silent interval ----

TEST_F(Link, TheSilentIntervalRunsFromTheLastByteReadToItsDeadlineAtEverySpeed) {
    modbus();
    for (int b = 0; b < int(std::size(kCommSpeed)); ++b) {
        link.updateSettings([&](LinkSettings& s) { s.baudIndex = b; });
        link.setFrameGap(frameGapForBaudIndex(b));
        open();
        port.queueReply(modbusRead(0xFB, {1}), 7);
        transact(kP0000);
        clock.advanceUs(123); // the caller's own work counts towards the silence
        port.queueReply(modbusRead(0xFB, {2}), 7);
        EXPECT_EQ(transact(kP0000), 2u);
        const qint64 lastByte = port.readsAtUs[port.readsAtUs.size() - 2];
        const qint64 silence = port.writes.back().atUs - lastByte;
        const double charsUs = 3.5 * 11 * 1e6 / kCommSpeed[b];
        EXPECT_GT(silence, link.frameGapMs() * 1000) << kCommSpeed[b];
        EXPECT_GE(double(silence), charsUs) << kCommSpeed[b];
        EXPECT_LE(double(silence), std::max(charsUs, link.frameGapMs() * 1000.0) + 1) << kCommSpeed[b];
    }
    // Silence that has already passed costs nothing.
    port.queueReply(modbusRead(0xFB, {1}), 7);
    transact(kP0000);
    clock.advance(100);
    const int sleeps = clock.deadlineSleeps();
    port.queueReply(modbusRead(0xFB, {1}), 7);
    transact(kP0000);
    EXPECT_EQ(port.writes.back().at, clock.now() - 7);
    EXPECT_LE(clock.deadlineSleeps() - sleeps, 1);
}

// Stepped from the event loop, whose timers tick by the millisecond, the request still goes
// out at the silent interval's end to the microsecond.
TEST_F(Link, InTheBackgroundTooTheSilentIntervalEndsToTheMicrosecondAtEverySpeed) {
    WatchedFakePort line(clock);
    CommLink l{context, line, clock, installedAsker()};
    l.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    l.setPortsFound({QStringLiteral("COM1")});
    l.updateSettings([](LinkSettings& s) { s.protocol = 1; });
    auto exchange = [&](std::uint16_t value) {
        line.queueReply(modbusRead(0xFB, {value}), 7);
        std::optional<ExchangeResult> answer;
        l.exchangeInBackground(l.request(QStringLiteral("0000"), 'R'), l.mainOptions(),
                               [&](const ExchangeResult& r) { answer = r; });
        while (l.backgroundExchangePending()) {
            l.continueBackground();
            if (l.backgroundExchangePending())
                clock.advanceUs(250);
        }
        QCoreApplication::processEvents();
        return answer ? answer->value : 0u;
    };
    for (int b = 0; b < int(std::size(kCommSpeed)); ++b) {
        SCOPED_TRACE(kCommSpeed[b]);
        l.updateSettings([&](LinkSettings& s) { s.baudIndex = b; });
        l.setFrameGap(frameGapForBaudIndex(b));
        ASSERT_EQ(l.OpenCommPort(), 0);
        EXPECT_EQ(exchange(1), 1u);
        const qint64 lastByte = line.readsAtUs.back();
        EXPECT_EQ(exchange(2), 2u);
        EXPECT_EQ(line.writes.back().atUs - lastByte, modbusSilenceUs(l.frameGapMs(), kCommSpeed[b]));
    }
}

TEST_F(Link, TheReplyIsAwaitedInPollBeforeAnyRead) {
    open();
    port.queueReply(inverterReply('R', 0, 1), 3);
    const std::size_t readsBefore = port.readsAtUs.size();
    const std::size_t waitsBefore = port.waits.size();
    transact(kP0000);
    EXPECT_EQ(port.waits.size() - waitsBefore, 1u);
    EXPECT_EQ(port.readsAtUs.size() - readsBefore, 1u);
}

TEST_F(Link, OutputThatNeverDrainsIsAFailedExchangeWithinItsBound) {
    open();
    port.drainMs = -1;
    port.queueReply(inverterReply('R', 0, 1));
    const qint64 t = clock.now();
    EXPECT_EQ(transact(kP0000), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_LT(clock.now() - t, 1000);
    EXPECT_FALSE(port.rtsOn());

    open();
    ExchangeOptions o = link.mainOptions();
    o.drainTimeoutMs = 1000; // the scan's bound
    const ExchangeResult r = link.exchange(link.request("0000", 'R'), o);
    EXPECT_EQ(r.failure, ExchangeFailure::DrainTimeout);
}

TEST_F(Link, DeviceFailingWhileWaitingEndsTheExchangeAtOnce) {
    open();
    link.setReplyTimeout(5000);
    port.failWaits = true;
    const qint64 t = clock.now();
    EXPECT_EQ(link.exchange(link.request("0000", 'R'), link.mainOptions()).failure,
              ExchangeFailure::PortError);
    EXPECT_EQ(clock.now(), t);
    port.failWaits = false;
    open();
    port.failWrites = true;
    EXPECT_EQ(link.exchange(link.request("0000", 'R'), link.mainOptions()).failure,
              ExchangeFailure::WriteFailed);
    EXPECT_FALSE(port.rtsOn());
}

// A device that fails in any way (a write, the drain, a hang-up while waiting) is closed once
// the exchange is over; the drive commands grey with the failed icon, nothing more is written
// to it, the loss is told once, and the next connect opens it again and uses the drive.
TEST_F(Link, APortThatFailsInAnyWayIsClosedToldOnceAndOpenedAgainByTheNextConnect) {
    struct Fault {
        const char* name;
        std::function<void(FakeSerialPort&, bool)> set;
    };
    const Fault faults[] = {
        {"write", [](FakeSerialPort& p, bool on) { p.failWrites = on; }},
        {"drain", [](FakeSerialPort& p, bool on) { p.drainMs = on ? -1 : 0; }},
        {"hang-up", [](FakeSerialPort& p, bool on) { p.failWaits = on; }},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        ScriptedPrompter prompter;
        InOrderDrive drive(port, clock);
        ASSERT_TRUE(link.ConnectDrive());
        const int closes = port.closes;
        f.set(port, true);
        EXPECT_TRUE(link.transactNoted(kP0103, QString(), QStringLiteral("R")).error);
        EXPECT_TRUE(link.portFailed());
        EXPECT_FALSE(link.PortOpen());
        EXPECT_EQ(port.closes, closes + 1);
        EXPECT_FALSE(link.driveCommandsOn());
        for (DriveCommand c : kAllDriveCommands)
            EXPECT_FALSE(view.commands[c]);
        EXPECT_EQ(view.icons.back(), LinkIcon::Failed);

        // Never a loop of failing writes: a closed port takes nothing.
        const std::size_t writes = port.writes.size();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(link.transact(kP0103, QString(), QStringLiteral("R")).failure, ExchangeFailure::NoPort);
        EXPECT_EQ(port.writes.size(), writes);

        // Told once, however many ask.
        prompter.answer(BoxAnswer::Ok);
        link.tellConnectionLost();
        link.tellConnectionLost();
        EXPECT_EQ(prompter.texts(), QStringList{"m3"});

        f.set(port, false);
        EXPECT_TRUE(link.ConnectDrive()) << "the drive back is used within one connect";
        EXPECT_FALSE(link.portFailed());
        EXPECT_TRUE(view.commands[DriveCommand::KeyPad]);
        clock.advance(1000);
        link.idleTimeout();
        EXPECT_EQ(view.icons.back(), LinkIcon::Idle);
    }
}

// The device gone for good: the next connect cannot open it and says so with the port's own
// box, once; that box tells the loss, so no "Cannot connect" follows it.
TEST_F(Link, AFailedPortThatCannotBeOpenedAgainSaysSoOnce) {
    ScriptedPrompter prompter;
    InOrderDrive drive(port, clock);
    ASSERT_TRUE(link.ConnectDrive());
    port.failWrites = true;
    link.transact(kP0103, QString(), QStringLiteral("R"));
    port.failWrites = false;
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::NotFound;
    prompter.answer(BoxAnswer::Ok);
    bool answered = true;
    link.ConnectDriveInBackground([&](bool ok) { answered = ok; });
    EXPECT_FALSE(answered);
    link.ConnectDriveInBackground();
    link.tellConnectionLost();
    EXPECT_EQ(prompter.texts(), (QStringList{"Usable serial port is not found."}));
}

// Greyed drive commands come with the failed icon, whatever ends an exchange afterwards; a
// reply to the program's own request (one arriving late after a failed connect) enables them.
TEST_F(Link, TheDriveCommandsAndTheIconAlwaysAgree) {
    InOrderDrive drive(port, clock);
    drive.lateness = {-1, -1};
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_FALSE(link.driveCommandsOn());
    auto agree = [&] {
        const bool on = view.commands[DriveCommand::KeyPad];
        if (!on)
            EXPECT_EQ(view.icons.back(), LinkIcon::Failed);
        else
            EXPECT_NE(view.icons.back(), LinkIcon::Failed);
        return on;
    };
    EXPECT_FALSE(agree());
    // The idle timer after a busy icon never shows green over greyed commands.
    link.transact(kP0103, QString(), QStringLiteral("W"));
    EXPECT_TRUE(agree());

    drive.lateness = {-1, -1};
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_FALSE(agree());
    clock.advance(1000);
    link.idleTimeout();
    EXPECT_FALSE(agree());

    // A scan's or a detection's exchange is not the link's own: it enables nothing.
    ExchangeOptions quiet = link.mainOptions();
    quiet.icon = IconMode::None;
    EXPECT_FALSE(link.exchange(link.request("0103", 'R'), quiet).error);
    EXPECT_FALSE(agree());
    EXPECT_FALSE(link.transactNoted(kP0103, QString(), QStringLiteral("R")).error);
    EXPECT_TRUE(agree());

    // The probe's reply comes after the connect has given up: read away by the next exchange,
    // whose own reply enables the commands.
    drive.lateness = {1500, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_FALSE(link.ConnectDrive());
    EXPECT_FALSE(agree());
    drive.lateness.clear();
    clock.advance(2000);
    EXPECT_FALSE(link.transactNoted(kP0103, QString(), QStringLiteral("R")).error);
    EXPECT_TRUE(agree());
}

// ---- Refusals ----

TEST_F(Link, IndexOutsideTheTableOrUnknownKindSendsNothing) {
    open();
    for (int index : {-1, int(kCount), 100000}) {
        link.noteExchangeFailed(false);
        EXPECT_EQ(transact(index), 0u);
        EXPECT_TRUE(link.lastExchangeFailed()) << index;
    }
    link.noteExchangeFailed(false);
    transact(kP0000, "X", "1");
    EXPECT_TRUE(link.lastExchangeFailed());
    link.noteExchangeFailed(false);
    transact(kP0000, "", "1");
    EXPECT_TRUE(link.lastExchangeFailed());
    // The refusal travels to the caller; only the noted exchange leaves it in the link's flag.
    link.noteExchangeFailed(false);
    EXPECT_EQ(link.transact(-1, QString(), QStringLiteral("R")).failure, ExchangeFailure::Refused);
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(view.icons.back(), LinkIcon::Failed);
}

TEST_F(Link, WithoutAnOpenPortTheExchangeFailsAtOnce) {
    const qint64 t = clock.now();
    EXPECT_EQ(transact(kP0000), 0u);
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_EQ(clock.now(), t);
    EXPECT_TRUE(port.writes.empty());
}

// ---- Values ----

TEST_F(Link, NegativeAndUnsignedValuesGoOutAsTheirLowBits) {
    open();
    port.queueReply(inverterReply('W', 0x0001, 0xFFFF));
    const std::uint32_t echo = transact(kP0001, "W", "-1");
    ASSERT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x57, 0x00, 0x01, 0xFF, 0xFF, 0x85}));
    EXPECT_EQ(echo, 0xFFFFu);
    EXPECT_EQ(applyParameterSign(context, kP0001, echo), -1);
    EXPECT_EQ(applyParameterSign(context, kP0000, echo), 65535);

    port.queueReply(inverterReply('W', 0x0103, 0xFFFFFFFF, true));
    EXPECT_EQ(transact(kP0103, "W", "4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(port.writes.back().bytes.size(), 10u);
    EXPECT_EQ(applyParameterSign(context, kP0103, 0xFFFFFFFFu), 4294967295LL);

    // "0x0000" has the decimal prefix 0.
    port.queueReply(inverterReply('P', 0, 0));
    transact(kP0000, "P", "0x1234");
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x50, 0x00, 0x00, 0x00, 0x00, 0x7F}));
}

TEST_F(Link, ModbusAddressFollowsTheStationChoice) {
    modbus();
    open();
    port.queueReply(modbusRead(0xFB, {0}));
    transact(kP0000);
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50}));
    link.updateSettings([&](LinkSettings& s) { s.broadcast = true; });
    transact(kP0000);
    EXPECT_EQ(port.writes.back().bytes[0], 0);
    link.updateSettings([&](LinkSettings& s) {
        s.broadcast = false;
        s.appendNo = true;
        s.inverterNumber = 5;
    });
    transact(kP0000);
    EXPECT_EQ(port.writes.back().bytes[0], 5);
}

TEST_F(Link, MainBlockReadIsNotCheckedButTheKeypadsIs) {
    open();
    Bytes block{0x2F, 0x52, 0xFC, 0x10, 0x01, 0x02, 3, 4, 5, 6, 7, 8, 9, 10, 0x00}; // wrong sum
    port.queueReply(block);
    EXPECT_EQ(transact(kPFC10), 0x0102u);
    EXPECT_FALSE(link.lastExchangeFailed());

    ExchangeOptions keypad = link.mainOptions();
    keypad.checkBlockReply = true;
    keypad.replyTimeoutMs = 2 * link.replyTimeoutMs();
    port.queueReply(block);
    ExchangeResult r = link.exchange(link.request("FC10", 'R'), keypad);
    EXPECT_EQ(r.failure, ExchangeFailure::BadCheck);
    forgetOwed();
    block.back() = SumCheck(block, 13);
    port.queueReply(block);
    r = link.exchange(link.request("FC10", 'R'), keypad);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.reply, block);
}

TEST_F(Link, ScanRetryGoesOutWithoutTheStartByte) {
    open();
    ExchangeOptions scan = link.mainOptions();
    scan.icon = IconMode::None;
    scan.drainTimeoutMs = 1000;
    FrameRequest r = link.request("0000", 'R');
    r.allowBlockRead = false;
    r.omitFirstByte = true;
    link.setReplyTimeout(30);
    const std::size_t iconsBefore = view.icons.size();
    EXPECT_TRUE(link.exchange(r, scan).error);
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x52, 0x00, 0x00, 0x52}));
    EXPECT_EQ(view.icons.size(), iconsBefore);
}

// ---- The link icon ----

TEST_F(Link, IconIsBusyDuringAnExchangeAndIdleOnlyAfter300MsWithoutOne) {
    open();
    view.icons.clear();
    port.queueReply(inverterReply('R', 0, 1));
    transact(kP0000);
    EXPECT_EQ(view.icons, std::vector<LinkIcon>{LinkIcon::Busy});
    // Exchanges in quick succession draw nothing and leave the running timer alone.
    clock.advance(200);
    port.queueReply(inverterReply('R', 0, 1));
    transact(kP0000);
    EXPECT_EQ(view.icons, std::vector<LinkIcon>{LinkIcon::Busy});
    // The timer fires 300 ms after the first: the second was 100 ms ago, so it waits on.
    clock.advance(100);
    link.idleTimeout();
    EXPECT_EQ(view.icons, std::vector<LinkIcon>{LinkIcon::Busy});
    clock.advance(200);
    link.idleTimeout();
    EXPECT_EQ(view.icons.back(), LinkIcon::Idle);

    view.icons.clear();
    port.queueNoReply();
    transact(kP0000);
    EXPECT_EQ(view.icons, (std::vector<LinkIcon>{LinkIcon::Busy, LinkIcon::Failed}));
}

} // namespace

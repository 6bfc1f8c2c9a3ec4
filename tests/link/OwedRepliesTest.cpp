// The record of what the drive may still owe, on its own: which reply a stream holds, and what
// a reply found shows to be done with.
#include "link/OwedReplies.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

FrameRequest read(const char* comNo, int registers = 0) {
    FrameRequest r;
    r.comNo = QString::fromLatin1(comNo);
    r.kind = 'R';
    r.registers = registers;
    return r;
}

Bytes modbusReply(std::vector<std::uint8_t> data) {
    Bytes b{kDefaultModbusAddress, kModbusRead, std::uint8_t(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    AppendCrc(b);
    return b;
}

Bytes makersReply(std::uint16_t number, std::uint16_t value) {
    Bytes b{
        kInverterStart,     'R', std::uint8_t(number >> 8), std::uint8_t(number), std::uint8_t(value >> 8),
        std::uint8_t(value)};
    b.push_back(SumCheck(b, int(b.size()) - 1));
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A MODBUS read reply could be any owed read's: it is taken for the oldest, and the request's
// own only behind every owed reply; noise before a reply is skipped.
TEST(OwedReplies, AReplyIsTheOldestOwedOneItCouldBeBeforeItIsTheRequestsOwn) {
    OwedReplies owed(Protocol::Modbus);
    owed.add(read("0001"), 0);
    owed.add(read("FC10"), 1); // a block read: another length
    const FrameRequest current = read("0002");
    const Bytes stream = Bytes{0x00, 0x55} + modbusReply({0, 7}) + modbusReply({0, 9});

    OwedReplies::Found f = owed.find(stream, &current);
    EXPECT_EQ(f.at, 2);
    EXPECT_EQ(f.length, 7);
    EXPECT_FALSE(f.current);
    EXPECT_EQ(f.owedIndex, 0);
    owed.answered(f.owedIndex);
    EXPECT_EQ(owed.size(), 1);

    f = owed.find(std::span(stream).subspan(9), &current);
    EXPECT_TRUE(f.current) << "nothing owed looks like it any more";
    EXPECT_EQ(f.length, 7);
}

TEST(OwedReplies, AMakersReplyNamesItsNumber) {
    OwedReplies owed(Protocol::Inverter);
    owed.add(read("0001"), 0);
    const FrameRequest current = read("0002");
    EXPECT_FALSE(owed.alike(current));
    EXPECT_TRUE(owed.alike(read("0001")));
    const OwedReplies::Found f = owed.find(makersReply(2, 5), &current);
    EXPECT_TRUE(f.current);
    EXPECT_EQ(owed.find(makersReply(3, 5), &current).length, 0) << "a reply to no one";
}

// A reply found for an owed request shows that everything sent before it is done with.
TEST(OwedReplies, AnAnsweredRequestEndsEveryOneBeforeIt) {
    OwedReplies owed(Protocol::Modbus);
    for (const char* n : {"0001", "0002", "FC10", "0003"})
        owed.add(read(n), 0);
    owed.answered(2);
    EXPECT_EQ(owed.size(), 1);
    EXPECT_TRUE(owed.alike(read("0009")));
    EXPECT_FALSE(owed.alike(read("FC10")));
}

TEST(OwedReplies, RequestsOlderThanTheBoundAreTakenForLostAndTheRecordIsBounded) {
    OwedReplies owed(Protocol::Modbus);
    owed.add(read("0001"), 1000);
    owed.add(read("0002"), 5000);
    owed.forgetOlderThan(62000, 60000);
    EXPECT_EQ(owed.size(), 1);
    for (int i = 0; i < 600; ++i)
        owed.add(read("0003"), 6000);
    EXPECT_EQ(owed.size(), 512);
}

// Syncs of another register count are not alike: the count of those that went out before the
// newest request alike the one to be sent says how far a sync's reply would show.
TEST(OwedReplies, SyncsSentBeforeTheNewestAlikeRequestAreCounted) {
    OwedReplies owed(Protocol::Modbus);
    owed.add(read("FC10", 2), 0);
    owed.add(read("0001"), 0);
    owed.add(read("FC10", 2), 0);
    owed.add(read("FC10", 3), 0);
    const FrameRequest next = read("0005");
    EXPECT_EQ(owed.alikeBefore(read("FC10", 2), next), 1);
    EXPECT_EQ(owed.alikeBefore(read("FC10", 3), next), 0);
    EXPECT_EQ(owed.alikeBefore(read("FC10", 4), next), 0);
}

} // namespace

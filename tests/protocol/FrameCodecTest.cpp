// Frames of both protocols against worked examples (CRCs computed independently, bit by bit).
#include "protocol/FrameCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

StationChoice number(int n) {
    return {true, false, n};
}
StationChoice broadcast() {
    return {false, true, 0};
}

FrameRequest req(const char* comNo, char kind, std::int64_t value = 0, bool wide = false,
                 StationChoice st = {}) {
    FrameRequest r;
    r.comNo = QString::fromLatin1(comNo);
    r.kind = kind;
    r.value = value;
    r.wide = wide;
    r.station = st;
    return r;
}

FrameRequest registers(FrameRequest r, int count) {
    r.registers = count;
    return r;
}

struct FrameCase {
    const char* name;
    Protocol protocol;
    FrameRequest request;
    Bytes wire;
    int expectedReply;
};

class FrameLayout : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameLayout, BuildsTheWorkedExampleAndExpectsItsReplyLength) {
    const FrameCase& c = GetParam();
    EXPECT_EQ(BuildFrame(c.protocol, c.request), c.wire);
    EXPECT_EQ(ExpectedReplyLength(c.protocol, c.request), c.expectedReply);
}

const Protocol I = Protocol::Inverter;
const Protocol M = Protocol::Modbus;

INSTANTIATE_TEST_SUITE_P(
    BothProtocols, FrameLayout,
    testing::Values(
        FrameCase{"InverterRead16NoStation", I, req("0000", 'R'), {0x2F, 0x52, 0x00, 0x00, 0x81}, 7},
        FrameCase{"InverterRead16SetNumber",
                  I,
                  req("0000", 'R', 0, false, number(5)),
                  {0x2F, 0x05, 0x52, 0x00, 0x00, 0x86},
                  8},
        FrameCase{"InverterRead16Broadcast",
                  I,
                  req("0000", 'R', 0, false, broadcast()),
                  {0x2F, 0xFF, 0x52, 0x00, 0x00, 0x80},
                  8},
        FrameCase{"InverterRead32NoStation",
                  I,
                  req("0103", 'R', 0, true),
                  {0x2F, 0x4C, 0x52, 0x01, 0x03, 0xD1},
                  10},
        FrameCase{"InverterRead32SetNumber",
                  I,
                  req("0103", 'R', 0, true, number(5)),
                  {0x2F, 0x05, 0x4C, 0x52, 0x01, 0x03, 0xD6},
                  11},
        FrameCase{
            "InverterWrite16", I, req("0001", 'P', 1234), {0x2F, 0x50, 0x00, 0x01, 0x04, 0xD2, 0x56}, 7},
        FrameCase{"InverterWrite16NegativeIsTwosComplement",
                  I,
                  req("0001", 'W', -1, false, number(5)),
                  {0x2F, 0x05, 0x57, 0x00, 0x01, 0xFF, 0xFF, 0x8A},
                  8},
        FrameCase{"InverterWrite32SetNumber",
                  I,
                  req("0103", 'W', 100000, true, number(5)),
                  {0x2F, 0x05, 0x4C, 0x57, 0x01, 0x03, 0x00, 0x01, 0x86, 0xA0, 0x02},
                  11},
        FrameCase{"InverterWrite32Unsigned",
                  I,
                  req("0103", 'W', 4294967295LL, true),
                  {0x2F, 0x4C, 0x57, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xD2},
                  10},
        FrameCase{
            "InverterBlockReadOfKeypadDisplay", I, req("FC10", 'R'), {0x2F, 0x52, 0xFC, 0x10, 0x8D}, 15},
        FrameCase{"InverterBlockReadSetNumber",
                  I,
                  req("FC10", 'R', 0, false, number(5)),
                  {0x2F, 0x05, 0x52, 0xFC, 0x10, 0x92},
                  15},
        FrameCase{
            "InverterNonHexNumberStillGivesBytes", I, req("r300", 'R'), {0x2F, 0x52, 0xF3, 0x00, 0x74}, 15},
        FrameCase{"ModbusReadAddress1",
                  M,
                  req("0000", 'R', 0, false, number(1)),
                  {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A},
                  7},
        FrameCase{"ModbusReadDefaultAddress",
                  M,
                  req("0000", 'R'),
                  {0xFB, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x50},
                  7},
        FrameCase{"ModbusReadBroadcastIsAddress0",
                  M,
                  req("0000", 'R', 0, false, broadcast()),
                  {0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x85, 0xDB},
                  7},
        FrameCase{"ModbusBlockReadAsksFiveRegisters",
                  M,
                  req("FC10", 'R'),
                  {0xFB, 0x03, 0xFC, 0x10, 0x00, 0x05, 0xA0, 0x06},
                  15},
        FrameCase{"ModbusReadOfThreeRegistersExpectsSixDataBytes",
                  M,
                  registers(req("FC10", 'R'), 3),
                  {0xFB, 0x03, 0xFC, 0x10, 0x00, 0x03, 0x20, 0x04},
                  11},
        FrameCase{"ModbusWriteW",
                  M,
                  req("FB91", 'W', 123, false, number(1)),
                  {0x01, 0x06, 0xFB, 0x91, 0x00, 0x7B, 0xA9, 0x20},
                  8},
        FrameCase{"ModbusWriteP",
                  M,
                  req("FB91", 'P', 123, false, number(1)),
                  {0x01, 0x06, 0xFB, 0x91, 0x00, 0x7B, 0xA9, 0x20},
                  8},
        FrameCase{"ModbusWrite32BitParameterSendsLow16",
                  M,
                  req("0103", 'W', 0x1FFFF, true),
                  {0xFB, 0x06, 0x01, 0x03, 0xFF, 0xFF, 0x6D, 0xDC},
                  8},
        FrameCase{"ModbusWriteOfBlockNumberCarriesTheValue",
                  M,
                  req("FC10", 'P', 7, false, number(1)),
                  {0x01, 0x06, 0xFC, 0x10, 0x00, 0x07, 0xF9, 0x9D},
                  8}),
    [](const testing::TestParamInfo<FrameCase>& i) { return std::string(i.param.name); });

TEST(RetryFrame, InverterRetryLeavesOutTheStartByteAndSumsWhatIsSent) {
    FrameRequest r = req("0000", 'R');
    r.omitFirstByte = true;
    EXPECT_EQ(BuildInverterFrame(r), (Bytes{0x52, 0x00, 0x00, 0x52}));
    r.station = number(5);
    EXPECT_EQ(BuildInverterFrame(r), (Bytes{0x05, 0x52, 0x00, 0x00, 0x57}));
}

TEST(RetryFrame, ModbusRetryIsSevenBytesWithTheCrcOverTheShiftedBuffer) {
    FrameRequest r = req("0000", 'R');
    r.omitFirstByte = true;
    // CRC over 03 00 00 00 01 00 = 0xB801.
    EXPECT_EQ(BuildModbusFrame(r), (Bytes{0x03, 0x00, 0x00, 0x00, 0x01, 0x01, 0xB8}));
}

TEST(BlockRead, OnlyReadsOfBlockNumbersAreBlockReads) {
    EXPECT_TRUE(IsBlockRead(req("FC10", 'R')));
    EXPECT_TRUE(IsBlockRead(req("fc10", 'R')));
    EXPECT_TRUE(IsBlockRead(req("R300", 'R')));
    EXPECT_FALSE(IsBlockRead(req("FC10", 'W')));
    EXPECT_FALSE(IsBlockRead(req("FC11", 'R')));
    FrameRequest scan = req("FC10", 'R');
    scan.allowBlockRead = false; // the scan copy knows no block read
    EXPECT_FALSE(IsBlockRead(scan));
    EXPECT_EQ(BuildModbusFrame(scan)[5], 0x01);
}

TEST(Checksums, Crc16ModbusMatchesItsCheckValueAndGoesLowByteFirst) {
    const std::string s = "123456789";
    const Bytes b(s.begin(), s.end());
    EXPECT_EQ(Crc16Modbus(b), 0x4B37);
    Bytes framed = b;
    AppendCrc(framed);
    EXPECT_EQ(framed[9], 0x37);
    EXPECT_EQ(framed[10], 0x4B);
    EXPECT_EQ(Crc16Modbus(Bytes{}), 0xFFFF);
    EXPECT_EQ(Crc16Modbus(Bytes{0x01}), 0x807E);
    // A count beyond the buffer stops at its end.
    EXPECT_EQ(Crc16Modbus(b, 100), 0x4B37);
}

TEST(Checksums, SumCoversBytesUpToTheIndexInclusive) {
    const Bytes b{0x2F, 0x52, 0xFC, 0x10, 0xAA};
    EXPECT_EQ(SumCheck(b, 3), 0x8D);
    EXPECT_EQ(SumCheck(b, 0), 0x2F);
    EXPECT_EQ(SumCheck(b, -1), 0);
    EXPECT_EQ(SumCheck(b, 99), std::uint8_t(0x8D + 0xAA));
}

TEST(HexDigits, CharactersOutsideHexCountAsMinusOne) {
    EXPECT_EQ(HexPairToByte(u'F', u'C'), 0xFC);
    EXPECT_EQ(HexPairToByte(u'f', u'c'), 0xFC);
    EXPECT_EQ(HexPairToByte(u'r', u'3'), 0xF3);
    EXPECT_EQ(HexPairToByte(u'0', u'g'), 0xFF);
    EXPECT_EQ(ComNoToRegister(u"FB91"), 0xFB91);
    EXPECT_EQ(ComNoToRegister(u"r300"), 0xF300);
}

TEST(ValueText, DecimalPrefixIsParsedLikeStrtol) {
    EXPECT_EQ(ParseDecimalPrefix(u"100000"), 100000);
    EXPECT_EQ(ParseDecimalPrefix(u"-1"), -1);
    EXPECT_EQ(ParseDecimalPrefix(u"+7"), 7);
    EXPECT_EQ(ParseDecimalPrefix(u" 12abc"), 12);
    EXPECT_EQ(ParseDecimalPrefix(u"0x0000"), 0);
    EXPECT_EQ(ParseDecimalPrefix(u"12.6"), 12);
    EXPECT_EQ(ParseDecimalPrefix(u""), 0);
    EXPECT_EQ(ParseDecimalPrefix(u"-"), 0);
    EXPECT_EQ(ParseDecimalPrefix(u"4294967295"), 4294967295LL);
    EXPECT_EQ(ParseDecimalPrefix(u"99999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(ParseDecimalPrefix(u"-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
}

TEST(InverterReply, ValueFollowsLetterAndNumberWithStationAndLongMarkSkipped) {
    bool err = false;
    EXPECT_EQ(ParseInverterReply(Bytes{0x2F, 0x52, 0x00, 0x00, 0x12, 0x34, 0xC7}, false, false, err), 4660u);
    EXPECT_FALSE(err);
    EXPECT_EQ(ParseInverterReply(Bytes{0x2F, 0x05, 0x52, 0x00, 0x00, 0xFF, 0xFE, 0x00}, true, false, err),
              0xFFFEu);
    EXPECT_EQ(ParseInverterReply(Bytes{0x2F, 0x05, 0x4C, 0x52, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFE, 0x00},
                                 true, true, err),
              0xFFFFFFFEu);
    EXPECT_FALSE(err);
}

TEST(InverterReply, ShortReplyOrEarlierErrorGivesZeroWithTheFlag) {
    bool err = false;
    EXPECT_EQ(ParseInverterReply(Bytes{0x2F, 0x52, 0x00, 0x00, 0x12}, false, false, err), 0u);
    EXPECT_TRUE(err);
    EXPECT_EQ(ParseInverterReply(Bytes{0x2F, 0x52, 0x00, 0x00, 0x12, 0x34, 0xC7}, false, false, err), 0u);
}

TEST(ModbusReply, ReadEchoBlockAndExceptionReplies) {
    bool err = false;
    EXPECT_EQ(ParseModbusReply(Bytes{0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33}, err), 0x1234u);
    EXPECT_EQ(ParseModbusReply(Bytes{0x01, 0x06, 0xFB, 0x91, 0x00, 0x7B, 0xA9, 0x20}, err), 123u);
    const Bytes block{0x01, 0x03, 0x0A, 0x01, 0x02, 0x03, 0x04, 0x05,
                      0x06, 0x07, 0x08, 0x09, 0x0A, 0xE7, 0x72};
    EXPECT_EQ(ParseModbusReply(block, err), 258u);
    EXPECT_TRUE(ModbusReplyCrcOk(block, 15));
    EXPECT_FALSE(err);

    for (std::uint8_t fn : {0x83, 0x86, 0x00}) {
        bool e = false;
        EXPECT_EQ(ParseModbusReply(Bytes{0x01, fn, 0x02, 0xC0, 0xF1}, e), 0u);
        EXPECT_TRUE(e) << int(fn);
    }
    bool already = true;
    EXPECT_EQ(ParseModbusReply(Bytes{0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33}, already), 0u);
}

TEST(ReplyChecks, SumAndCrcAreTakenAtTheExpectedLengthNotTheBytesRead) {
    // A good 7-byte reply followed by noise still checks at length 7.
    const Bytes inv{0x2F, 0x52, 0x00, 0x00, 0x12, 0x34, 0xC7, 0x99, 0x98};
    EXPECT_TRUE(InverterReplySumOk(inv, 7));
    EXPECT_FALSE(InverterReplySumOk(inv, 8));
    EXPECT_FALSE(InverterReplySumOk(inv, 20));
    const Bytes mb{0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33, 0x00};
    EXPECT_TRUE(ModbusReplyCrcOk(mb, 7));
    Bytes bad = mb;
    bad[6] ^= 1;
    EXPECT_FALSE(ModbusReplyCrcOk(bad, 7));
}

// ---- Judging a reply ----

Bytes sealed(Protocol p, Bytes b) {
    if (p == Protocol::Modbus) {
        AppendCrc(b);
    } else {
        b.push_back(SumCheck(b, int(b.size()) - 1));
    }
    return b;
}
Bytes corrupted(Bytes b) {
    b.back() ^= 0x01;
    return b;
}

struct JudgeCase {
    const char* name;
    Protocol protocol;
    FrameRequest request;
    Bytes bytes;
    bool checkBlock;
    ReplyVerdict verdict;
    int length; // once whole
};

class Judge : public testing::TestWithParam<JudgeCase> {};

TEST_P(Judge, SaysWhereTheReplyStandsAndAStreamTakesOnlyAProvenOne) {
    const JudgeCase& c = GetParam();
    const ReplyJudgement j = JudgeReply(c.protocol, c.request, c.bytes, 0, c.checkBlock);
    EXPECT_EQ(j.verdict, c.verdict);
    if (c.verdict != ReplyVerdict::Incomplete) {
        EXPECT_EQ(j.length, c.length);
    }
    // In a stream every reply is checked, the block's too.
    const ReplyVerdict strict = JudgeReply(c.protocol, c.request, c.bytes).verdict;
    const bool found = strict == ReplyVerdict::Good || strict == ReplyVerdict::Exception;
    EXPECT_EQ(ReplyFrameAt(c.protocol, c.request, c.bytes), found ? c.length : 0);
}

const Bytes kRead0000 = sealed(I, {0x2F, 0x52, 0x00, 0x00, 0x12, 0x34});
const Bytes kBlock = sealed(I, {0x2F, 0x52, 0xFC, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
const Bytes kModbusRead1 = sealed(M, {0xFB, 0x03, 0x02, 0x12, 0x34});

INSTANTIATE_TEST_SUITE_P(
    BothProtocols, Judge,
    testing::Values(
        JudgeCase{"InverterGoodRead", I, req("0000", 'R'), kRead0000, true, ReplyVerdict::Good, 7},
        JudgeCase{"InverterOneByteShort", I, req("0000", 'R'), Bytes(kRead0000.begin(), kRead0000.end() - 1),
                  true, ReplyVerdict::Incomplete, 0},
        JudgeCase{"InverterWrongSum", I, req("0000", 'R'), corrupted(kRead0000), true, ReplyVerdict::BadCheck,
                  7},
        JudgeCase{"InverterAnotherNumbersReply", I, req("0001", 'R'), kRead0000, true,
                  ReplyVerdict::WrongEcho, 7},
        JudgeCase{"InverterBlockWithAWrongSumCountsByItsLength", I, req("FC10", 'R'), corrupted(kBlock),
                  false, ReplyVerdict::Good, 15},
        JudgeCase{"InverterBlockCheckedWhenAsked", I, req("FC10", 'R'), corrupted(kBlock), true,
                  ReplyVerdict::BadCheck, 15},
        JudgeCase{"ModbusGoodRead", M, req("0000", 'R'), kModbusRead1, true, ReplyVerdict::Good, 7},
        JudgeCase{"ModbusExceptionIsKnownAtFiveBytes", M, req("0000", 'R'), sealed(M, {0xFB, 0x83, 0x02}),
                  true, ReplyVerdict::Exception, 5},
        JudgeCase{"ModbusExceptionToAnotherFunctionIsNoAnswer", M, req("0000", 'R'),
                  sealed(M, {0xFB, 0x86, 0x02}), true, ReplyVerdict::Incomplete, 0},
        JudgeCase{"ModbusReadOfAnotherCount", M, req("0000", 'R'), sealed(M, {0xFB, 0x03, 0x04, 0x00, 0x01}),
                  true, ReplyVerdict::WrongEcho, 7},
        JudgeCase{"ModbusWriteEchoOfAnotherValue", M, req("FB91", 'P', 100),
                  sealed(M, {0xFB, 0x06, 0xFB, 0x91, 0x00, 0x65}), true, ReplyVerdict::WrongEcho, 8},
        JudgeCase{"ModbusWrongCrc", M, req("0000", 'R'), corrupted(kModbusRead1), true,
                  ReplyVerdict::BadCheck, 7}),
    [](const testing::TestParamInfo<JudgeCase>& i) { return std::string(i.param.name); });

struct AlikeCase {
    const char* name;
    Protocol protocol;
    FrameRequest a, b;
    bool alike;
};

class Alike : public testing::TestWithParam<AlikeCase> {};

TEST_P(Alike, ReadsWhoseRepliesPassForEachOther) {
    const AlikeCase& c = GetParam();
    EXPECT_EQ(RepliesAlike(c.protocol, c.a, c.b), c.alike);
    EXPECT_EQ(RepliesAlike(c.protocol, c.b, c.a), c.alike);
}

INSTANTIATE_TEST_SUITE_P(
    BothProtocols, Alike,
    testing::Values(AlikeCase{"ModbusReadsOfAnyRegisters", M, req("0000", 'R'), req("A003", 'R'), true},
                    AlikeCase{"ModbusBlockAndSingleRead", M, req("FC10", 'R'), req("0000", 'R'), false},
                    AlikeCase{"ModbusSyncsOfOtherCounts", M, registers(req("FC10", 'R'), 2),
                              registers(req("FC10", 'R'), 3), false},
                    AlikeCase{"ModbusSameWrite", M, req("FB91", 'P', 100), req("FB91", 'P', 100), false},
                    AlikeCase{"InverterSameNumber", I, req("0001", 'R'), req("0001", 'R'), true},
                    AlikeCase{"InverterOtherNumber", I, req("0001", 'R'), req("0002", 'R'), false},
                    AlikeCase{"InverterSameNumberOtherWidth", I, req("0103", 'R', 0, true), req("0103", 'R'),
                              false}),
    [](const testing::TestParamInfo<AlikeCase>& i) { return std::string(i.param.name); });

TEST(WireTime, ElevenBitsAByteRoundedUp) {
    EXPECT_EQ(WireTimeMs(11, 1200), 101);
    EXPECT_EQ(WireTimeMs(8, 38400), 3);
    EXPECT_EQ(WireTimeMs(0, 9600), 0);
}

} // namespace

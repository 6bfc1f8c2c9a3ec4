#include "protocol/FrameCodec.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        std::uint16_t c = std::uint16_t(i);
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? std::uint16_t((c >> 1) ^ 0xA001) : std::uint16_t(c >> 1);
        t[std::size_t(i)] = c;
    }
    return t;
}
constexpr auto kCrcTable = makeCrcTable();

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

// Reads fields of a reply without running past its end.
class Cursor {
public:
    Cursor(std::span<const std::uint8_t> b, std::size_t pos) : b_(b), pos_(pos) {}
    bool readBigEndian(int bytes, std::uint32_t& v) {
        if (pos_ + std::size_t(bytes) > b_.size())
            return false;
        v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | b_[pos_++];
        return true;
    }

private:
    std::span<const std::uint8_t> b_;
    std::size_t pos_;
};

} // namespace

int HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

std::uint8_t HexPairToByte(QChar first, QChar second) {
    // Other characters count as -1 and wrap, so "r3" still gives a byte (0xF3).
    return std::uint8_t((HexDigitValue(first) * 16 + HexDigitValue(second)) & 0xFF);
}

std::uint16_t ComNoToRegister(QStringView comNo) {
    const QChar z(u'0');
    auto at = [&](qsizetype i) { return i < comNo.size() ? comNo[i] : z; };
    return std::uint16_t((HexPairToByte(at(0), at(1)) << 8) | HexPairToByte(at(2), at(3)));
}

bool IsBlockNumber(QStringView comNo) {
    return comNo.compare(u"FC10", Qt::CaseInsensitive) == 0 ||
           comNo.compare(u"r300", Qt::CaseInsensitive) == 0;
}

std::int64_t ParseDecimalPrefix(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate as a negative number so that the int64 minimum fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t v = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int d = text[i].unicode() - '0';
        if (saturated)
            continue;
        if (v < (kMin + d) / 10) {
            saturated = true;
            v = kMin;
            continue;
        }
        v = v * 10 - d;
    }
    if (negative)
        return v;
    return v == kMin ? std::numeric_limits<std::int64_t>::max() : -v;
}

std::uint8_t SumCheck(std::span<const std::uint8_t> buf, int n) {
    unsigned sum = 0;
    for (int i = 0; i <= n && std::size_t(i) < buf.size(); ++i)
        sum += buf[std::size_t(i)];
    return std::uint8_t(sum & 0xFF);
}

std::uint16_t Crc16Modbus(std::span<const std::uint8_t> buf, int n) {
    std::uint16_t crc = 0xFFFF;
    for (int i = 0; i < n && std::size_t(i) < buf.size(); ++i)
        crc = std::uint16_t((crc >> 8) ^ kCrcTable[(crc ^ buf[std::size_t(i)]) & 0xFF]);
    return crc;
}

void AppendCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = Crc16Modbus(frame);
    frame.push_back(std::uint8_t(crc & 0xFF));
    frame.push_back(std::uint8_t(crc >> 8));
}

bool IsBlockRead(const FrameRequest& r) {
    return r.kind == 'R' && r.allowBlockRead && IsBlockNumber(r.comNo);
}

int ModbusReadRegisters(const FrameRequest& r) {
    if (r.registers > 0)
        return r.registers;
    return IsBlockRead(r) ? kBlockRegisters : 1;
}

std::vector<std::uint8_t> BuildInverterFrame(const FrameRequest& r) {
    std::vector<std::uint8_t> f;
    f.reserve(11);
    if (!r.omitFirstByte)
        f.push_back(kInverterStart);
    if (r.station.hasStationByte())
        f.push_back(r.station.inverterStation());
    if (r.wide)
        f.push_back(kInverterLongMark);
    f.push_back(std::uint8_t(r.kind));
    putBigEndian(f, ComNoToRegister(r.comNo), 2);
    if (r.kind != 'R')
        putBigEndian(f, std::uint32_t(r.value), r.wide ? 4 : 2);
    f.push_back(SumCheck(f, int(f.size()) - 1));
    return f;
}

std::vector<std::uint8_t> BuildModbusFrame(const FrameRequest& r) {
    std::vector<std::uint8_t> f;
    f.reserve(8);
    f.push_back(r.station.modbusAddress());
    f.push_back(r.kind == 'R' ? kModbusRead : kModbusWrite);
    putBigEndian(f, ComNoToRegister(r.comNo), 2);
    if (r.kind == 'R')
        putBigEndian(f, std::uint32_t(ModbusReadRegisters(r)), 2);
    else
        putBigEndian(f, std::uint32_t(r.value), 2);
    if (r.omitFirstByte) {
        // The repeated probe: the buffer shifted left by one, the CRC still taken over six
        // bytes (the last of them the zero left behind) and put right after the five.
        f.erase(f.begin());
        f.push_back(0);
        const std::uint16_t crc = Crc16Modbus(f);
        f.back() = std::uint8_t(crc & 0xFF);
        f.push_back(std::uint8_t(crc >> 8));
        return f;
    }
    AppendCrc(f);
    return f;
}

std::vector<std::uint8_t> BuildFrame(Protocol p, const FrameRequest& r) {
    return p == Protocol::Modbus ? BuildModbusFrame(r) : BuildInverterFrame(r);
}

int ExpectedInverterReplyLength(bool wide, bool station, bool blockRead) {
    if (blockRead)
        return kBlockReplyLength;
    return (wide ? 10 : 7) + (station ? 1 : 0);
}

int ExpectedModbusReplyLength(char kind, bool blockRead) {
    if (kind == 'R')
        return blockRead ? kBlockReplyLength : 7;
    return 8;
}

int ExpectedReplyLength(Protocol p, const FrameRequest& r) {
    const bool block = IsBlockRead(r);
    if (p == Protocol::Modbus)
        return r.kind == 'R' ? 5 + 2 * ModbusReadRegisters(r) : ExpectedModbusReplyLength(r.kind, block);
    return ExpectedInverterReplyLength(r.wide, r.station.hasStationByte(), block);
}

bool InverterReplySumOk(std::span<const std::uint8_t> reply, int length) {
    if (length < 2 || std::size_t(length) > reply.size())
        return false;
    return SumCheck(reply, length - 2) == reply[std::size_t(length - 1)];
}

bool ModbusReplyCrcOk(std::span<const std::uint8_t> reply, int length) {
    if (length < 3 || std::size_t(length) > reply.size())
        return false;
    const std::uint16_t crc = Crc16Modbus(reply, length - 2);
    return reply[std::size_t(length - 2)] == (crc & 0xFF) && reply[std::size_t(length - 1)] == (crc >> 8);
}

bool ReplyCheckOk(Protocol p, std::span<const std::uint8_t> reply, int length) {
    return p == Protocol::Modbus ? ModbusReplyCrcOk(reply, length) : InverterReplySumOk(reply, length);
}

bool InverterReplyEchoOk(std::span<const std::uint8_t> reply, const FrameRequest& r) {
    std::size_t at = 1 + (r.station.hasStationByte() ? 1 : 0);
    const bool longMark = r.wide && !IsBlockRead(r);
    if (reply.size() < at + (longMark ? 1 : 0) + 3 || reply[0] != kInverterStart)
        return false;
    if (longMark && reply[at++] != kInverterLongMark)
        return false;
    const std::uint16_t number = ComNoToRegister(r.comNo);
    return reply[at] == std::uint8_t(r.kind) && reply[at + 1] == std::uint8_t(number >> 8) &&
           reply[at + 2] == std::uint8_t(number & 0xFF);
}

bool ModbusReplyEchoOk(std::span<const std::uint8_t> reply, const FrameRequest& r) {
    FrameRequest plain = r;
    plain.omitFirstByte = false;
    const std::vector<std::uint8_t> request = BuildModbusFrame(plain);
    if (r.kind == 'R') {
        const int count = request[4] * 256 + request[5];
        return reply.size() >= 3 && reply[1] == kModbusRead && reply[2] == 2 * count;
    }
    return reply.size() >= 6 && std::equal(request.begin() + 1, request.begin() + 6, reply.begin() + 1);
}

ReplyJudgement JudgeReply(Protocol p, const FrameRequest& r, std::span<const std::uint8_t> bytes, int length,
                          bool checkBlock) {
    constexpr int kExceptionLength = 5;
    const std::uint8_t exception = (r.kind == 'R' ? kModbusRead : kModbusWrite) | 0x80;
    if (p == Protocol::Modbus && bytes.size() >= 2 && bytes[1] == exception) {
        if (bytes.size() < std::size_t(kExceptionLength))
            return {};
        if (ModbusReplyCrcOk(bytes, kExceptionLength))
            return {ReplyVerdict::Exception, kExceptionLength};
    }
    const int expected = length > 0 ? length : ExpectedReplyLength(p, r);
    if (int(bytes.size()) < expected)
        return {};
    const bool checked = checkBlock || !IsBlockRead(r);
    const auto reply = bytes.first(std::size_t(expected));
    if (checked && !ReplyCheckOk(p, reply, expected))
        return {ReplyVerdict::BadCheck, expected};
    const bool echo =
        p == Protocol::Modbus ? !checked || ModbusReplyEchoOk(reply, r) : InverterReplyEchoOk(reply, r);
    return {echo ? ReplyVerdict::Good : ReplyVerdict::WrongEcho, expected};
}

int ReplyFrameAt(Protocol p, const FrameRequest& r, std::span<const std::uint8_t> bytes, int length) {
    const ReplyJudgement j = JudgeReply(p, r, bytes, length);
    return j.verdict == ReplyVerdict::Good || j.verdict == ReplyVerdict::Exception ? j.length : 0;
}

bool RepliesAlike(Protocol p, const FrameRequest& a, const FrameRequest& b) {
    // A write's reply echoes its register and value: one alike says the same of the drive.
    if (a.kind != 'R' || b.kind != 'R' || IsBlockRead(a) != IsBlockRead(b) ||
        ExpectedReplyLength(p, a) != ExpectedReplyLength(p, b))
        return false;
    // A MODBUS read reply names no register; the maker's names its number.
    return p == Protocol::Modbus || (ComNoToRegister(a.comNo) == ComNoToRegister(b.comNo) &&
                                     (a.wide && !IsBlockRead(a)) == (b.wide && !IsBlockRead(b)));
}

std::uint32_t ParseInverterReply(std::span<const std::uint8_t> reply, bool station, bool wide, bool& err) {
    if (err)
        return 0;
    const std::size_t letter = 1 + (station ? 1 : 0) + (wide ? 1 : 0);
    Cursor c(reply, letter + 3);
    std::uint32_t v = 0;
    if (!c.readBigEndian(wide ? 4 : 2, v)) {
        err = true;
        return 0;
    }
    return v;
}

std::uint32_t ParseModbusReply(std::span<const std::uint8_t> reply, bool& err) {
    if (err)
        return 0;
    std::uint32_t v = 0;
    bool ok = false;
    if (reply.size() >= 2 && reply[1] == kModbusRead)
        ok = Cursor(reply, 3).readBigEndian(2, v);
    else if (reply.size() >= 2 && reply[1] == kModbusWrite)
        ok = Cursor(reply, 4).readBigEndian(2, v);
    if (!ok) {
        err = true;
        return 0;
    }
    return v;
}

std::uint32_t ParseReply(Protocol p, std::span<const std::uint8_t> reply, const FrameRequest& r, bool& err) {
    if (p == Protocol::Modbus)
        return ParseModbusReply(reply, err);
    return ParseInverterReply(reply, r.station.hasStationByte(), r.wide, err);
}

int WireTimeMs(int bytes, int baud) {
    if (baud <= 0 || bytes <= 0)
        return 0;
    const long long bits = 11LL * bytes;
    return int((bits * 1000 + baud - 1) / baud);
}

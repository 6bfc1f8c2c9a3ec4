#pragma once
// Wire formats of the two drive protocols: the maker's inverter protocol and MODBUS-RTU.
// Pure functions over bytes; no I/O. Every copy of the exchange builds its frames here.
#include <QString>
#include <QStringView>
#include <cstdint>
#include <span>
#include <vector>

enum class Protocol { Inverter = 0, Modbus = 1 };

// Address of a MODBUS request sent with neither "Set number" nor "Broadcast".
inline constexpr std::uint8_t kDefaultModbusAddress = 0xFB;
// Request and reply buffers of the exchange; a reply is read up to this size.
inline constexpr int kFrameBufferSize = 31;
inline constexpr std::uint8_t kInverterStart = 0x2F;    // "/"
inline constexpr std::uint8_t kInverterLongMark = 0x4C; // "L": a 32-bit parameter
inline constexpr std::uint8_t kInverterBroadcast = 0xFF;
inline constexpr std::uint8_t kModbusRead = 3;
inline constexpr std::uint8_t kModbusWrite = 6;
// Registers asked for by a block read (the keypad's display block).
inline constexpr int kBlockRegisters = 5;
// Reply length of a block read in either protocol (without a maker's station byte).
inline constexpr int kBlockReplyLength = 15;

// "Set number" / "Broadcast" / neither, and the inverter number (0..63).
struct StationChoice {
    bool appendNo = false;
    bool broadcast = false;
    int number = 0;

    // The maker's frame carries a station byte.
    bool hasStationByte() const { return appendNo || broadcast; }
    std::uint8_t inverterStation() const {
        return appendNo ? std::uint8_t(number & 0xFF) : kInverterBroadcast;
    }
    std::uint8_t modbusAddress() const {
        return appendNo ? std::uint8_t(number & 0xFF) : broadcast ? 0 : kDefaultModbusAddress;
    }
};

// One request as the exchange knows it.
struct FrameRequest {
    QString comNo;          // four characters, e.g. "0103", "FC10"
    char kind = 'R';        // 'R' read, 'W' write to EEPROM, 'P' write to RAM
    bool wide = false;      // the parameter is 32-bit (4 bytes wide); maker's protocol only
    std::int64_t value = 0; // value to write; sent as its low 16 or 32 bits
    StationChoice station;
    bool allowBlockRead = true; // a read of "FC10"/"r300" asks for the whole block
    bool omitFirstByte = false; // the repeated probe of the scans (see BuildModbusFrame)
    // A MODBUS read of this many registers (0: the block's five for a block read, else one).
    int registers = 0;
};

// Digit value of a hex character, -1 for any other character.
int HexDigitValue(QChar c);
// (first * 16 + second) modulo 256, digits by HexDigitValue: "r3" -> 0xF3.
std::uint8_t HexPairToByte(QChar first, QChar second);
// The communication number as a register address, high byte from its first two characters.
std::uint16_t ComNoToRegister(QStringView comNo);
// "FC10" or "r300" (letter case ignored).
bool IsBlockNumber(QStringView comNo);
// Optional leading blanks, optional sign, decimal digits; stops at the first other character;
// no digits gives 0; saturates at the int64 limits. "0x10" -> 0, "-1" -> -1.
std::int64_t ParseDecimalPrefix(QStringView text);

// Low 8 bits of the sum of bytes 0..n inclusive (bounded by the buffer); 0 when n < 0.
std::uint8_t SumCheck(std::span<const std::uint8_t> buf, int n);
// CRC-16/MODBUS (init 0xFFFF, reflected 0xA001, no final xor) of the first n bytes; sent low
// byte first.
std::uint16_t Crc16Modbus(std::span<const std::uint8_t> buf, int n);
inline std::uint16_t Crc16Modbus(std::span<const std::uint8_t> buf) {
    return Crc16Modbus(buf, int(buf.size()));
}
// Appends the CRC of everything in frame, low byte first.
void AppendCrc(std::vector<std::uint8_t>& frame);

// Maker's frame: "/" [station] ["L"] command number-hi number-lo [value] sum.
// With omitFirstByte the "/" is left out and the sum covers the bytes sent.
std::vector<std::uint8_t> BuildInverterFrame(const FrameRequest& r);
// MODBUS frame: address function register count-or-value CRC, 8 bytes; a block read asks for
// 5 registers; "W" and "P" are the same request. With omitFirstByte the address is left out
// and the CRC is taken over the first six bytes of the shortened buffer (five request bytes
// and a zero) and put after the five bytes: 7 bytes, as the start-up probe sends it.
std::vector<std::uint8_t> BuildModbusFrame(const FrameRequest& r);
std::vector<std::uint8_t> BuildFrame(Protocol p, const FrameRequest& r);

// The request is a block read (kind 'R', a block number, block reads allowed).
bool IsBlockRead(const FrameRequest& r);
// The registers a MODBUS read asks for.
int ModbusReadRegisters(const FrameRequest& r);

// Reply lengths the exchange waits for. Maker's: 7, 8 with a station byte, 10 / 11 for a
// 32-bit parameter; MODBUS: 7 for a read (5 and two bytes a register), 8 for a write echo; 15
// for a block read in both.
int ExpectedInverterReplyLength(bool wide, bool station, bool blockRead);
int ExpectedModbusReplyLength(char kind, bool blockRead);
int ExpectedReplyLength(Protocol p, const FrameRequest& r);

// The reply's own check over its first `length` bytes: the maker's sum in the last byte, or
// the MODBUS CRC in the last two (low byte first). False when the reply is shorter.
bool InverterReplySumOk(std::span<const std::uint8_t> reply, int length);
bool ModbusReplyCrcOk(std::span<const std::uint8_t> reply, int length);
bool ReplyCheckOk(Protocol p, std::span<const std::uint8_t> reply, int length);

// A maker's reply answers the request: its start byte, long mark (a 32-bit parameter, not a
// block read), command letter and number are those of the request. The station byte is not
// compared (a broadcast may be answered with the drive's own number). False when shorter.
bool InverterReplyEchoOk(std::span<const std::uint8_t> reply, const FrameRequest& r);
// A MODBUS reply fits the request: a read's function and byte count are those of the request
// (a read reply names no register), a write's echo repeats the request's function, register
// and value. The address is not compared. False when shorter, and for an exception reply
// (JudgeReply knows those).
bool ModbusReplyEchoOk(std::span<const std::uint8_t> reply, const FrameRequest& r);

// How the bytes at the start of a reply stand against the request: not all there yet, a whole
// good reply, a MODBUS exception reply to r's function (5 bytes with their CRC: an answer known
// by its content, long before the time-out), or a whole reply with a wrong sum or CRC, or that
// answers another request (the maker's number and letter; a MODBUS function, byte count or write
// echo that is not r's).
enum class ReplyVerdict { Incomplete, Good, Exception, BadCheck, WrongEcho };
struct ReplyJudgement {
    ReplyVerdict verdict = ReplyVerdict::Incomplete;
    int length = 0; // of the reply, once it is whole
};
// The one judge of a reply. `length`: the reply's length when the caller expects another than
// ExpectedReplyLength (0). Without `checkBlock` a block read's reply counts by its length alone
// (and the maker's echo), as the main exchange takes the display block; every other reply is
// checked.
ReplyJudgement JudgeReply(Protocol p, const FrameRequest& r, std::span<const std::uint8_t> bytes,
                          int length = 0, bool checkBlock = true);
// A whole reply to `r` at the start of `bytes`, good or an exception reply, checked whatever it
// is (a reply found in a stream must prove itself): its length, 0 when none stands there.
int ReplyFrameAt(Protocol p, const FrameRequest& r, std::span<const std::uint8_t> bytes, int length = 0);
// A reply to read `a` passes every check of a reply to read `b` and would give b another
// value: the same length and echo. A MODBUS read reply names no register, so all reads of one
// kind are alike; the maker's replies name their number. Writes are never alike: an echo that
// passes says what b's own would (the same register and value written).
bool RepliesAlike(Protocol p, const FrameRequest& a, const FrameRequest& b);

// The value of a maker's reply: after "/", the station byte (when configured) and "L" (when
// wide), the letter and two number bytes, 2 or 4 bytes big-endian, unsigned. Returns 0 at
// once when err is already set; sets err when the reply is too short.
std::uint32_t ParseInverterReply(std::span<const std::uint8_t> reply, bool station, bool wide, bool& err);
// Function 3: the first register; 6: the echoed value; anything else (an exception reply):
// err set, 0. Returns 0 at once when err is already set.
std::uint32_t ParseModbusReply(std::span<const std::uint8_t> reply, bool& err);
std::uint32_t ParseReply(Protocol p, std::span<const std::uint8_t> reply, const FrameRequest& r, bool& err);

// Time the bytes need on the line at the given speed, 11 bits a byte (start, 8 data, parity,
// stop), rounded up to whole milliseconds.
int WireTimeMs(int bytes, int baud);

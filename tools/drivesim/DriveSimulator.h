#pragma once
// The simulated drive's side of the line: takes request frames in the maker's protocol or
// MODBUS-RTU, answers them from a DriveModel as the drive does, and misbehaves on cue.
// No I/O here: PtyDriveServer (or a test's fake port, through respondToWrite) moves the bytes.
#include "tools/drivesim/DriveModel.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <vector>

enum class SimProtocol { Inverter, Modbus };

enum class SimFaultKind {
    NoReply,   // the request is carried out, the reply never comes
    BadCheck,  // the reply's sum or CRC is wrong
    Exception, // MODBUS: exception 04 instead of the reply (the maker's protocol has none)
    Late,      // the reply comes lateMs later than it should
    Garbage,   // the reply's bytes are noise of the same length
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::NoReply;
    double rate = 1.0; // share of replies hit, 0..1
    int lateMs = 600;  // Late only
};

// Parses "kind:rate[:ms]" ("noreply", "checksum" or "crc", "exception", "late", "garbage").
std::optional<SimFault> parseSimFault(const QString& text, QString* error = nullptr);

// What the transport knows of the line the request came on; 0 / -1 when it cannot tell
// (a pseudo-terminal keeps the speed but not the parity).
struct SimLine {
    int baud = 0;
    int parity = -1; // 0 none, 1 even, 2 odd
    // When the bytes being fed came off the line; unset: now.
    std::chrono::steady_clock::time_point arrived{};
};

struct SimConfig {
    SimProtocol protocol = SimProtocol::Inverter;
    // Maker's protocol: the inverter number a station byte must carry (0xFF reaches every
    // drive). MODBUS: the slave address besides the default 0xFB; 0 gives only 0xFB.
    int station = 0;
    int replyDelayMs = 0;
    // When set, each reply also waits for the time the request and the reply would need
    // on a line of this speed.
    int wireBaud = 0;
    int bitsPerByte = 11; // start, 8 data, parity, stop
    // When set, requests on a line of another speed or parity go unanswered.
    std::optional<int> onlyBaud;
    std::optional<int> onlyParity;
    std::vector<SimFault> faults;
    std::uint32_t seed = 1;
};

// A write the drive carried out (whether or not its reply then reached the master).
struct SimWrite {
    QString comNo;      // as the drive-type file spells it
    std::int64_t value; // as stored: 16-bit parameters keep their low 16 bits; signed ones read as such
    std::chrono::system_clock::time_point time;
};

struct SimReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::microseconds delay{0}; // from the end of the request
    long request = 0;                   // the number of the request it answers, from 1
};

// What went over the drive's line, in order: a request frame taken, and what became of its
// reply. Requests are numbered from 1 in the order they came.
struct SimLineEvent {
    enum class Kind {
        Request, // a whole frame came
        Reply,   // its reply was written (its last byte on the line, at the wire's pace)
        Dropped, // a fault kept its reply back: `bytes` is what would have gone
        Ignored, // the drive answers it with nothing (another station, a broadcast, a frame
                 // it does not take)
    };
    Kind kind = Kind::Request;
    long request = 0;
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point time;
};

class DriveSimulator {
public:
    DriveSimulator(DriveModel& model, SimConfig config);

    SimConfig config() const;
    void setConfig(const SimConfig& config);
    void setFaults(std::vector<SimFault> faults);

    // Answers one complete request frame; nothing for a frame the drive ignores (wrong
    // checksum, another station, a MODBUS broadcast, a line setting it does not use).
    std::optional<SimReply> respond(std::span<const std::uint8_t> frame, const SimLine& line = {});

    // Stream input: bytes as they arrive; the replies of the frames they complete.
    std::vector<SimReply> feed(std::span<const std::uint8_t> bytes, const SimLine& line = {});
    // The line fell silent: what is left is one frame (MODBUS ends frames by silence) or noise.
    std::vector<SimReply> silence(const SimLine& line = {});
    bool hasPartialInput() const;
    // One write of an in-process port is one frame: feed followed by silence.
    std::vector<SimReply> respondToWrite(std::span<const std::uint8_t> bytes, const SimLine& line = {});

    // Length of the request at the start of buf: > 0 a frame of that length is complete,
    // 0 more bytes are needed (or silence), -1 the first byte begins no frame.
    int frameLength(std::span<const std::uint8_t> buf) const;

    // Called for every write the drive carries out, in order, before its reply is sent.
    // It runs under the simulator's lock: it must not call back into the simulator.
    void setWriteObserver(std::function<void(const SimWrite&)> observer);
    // Called for every frame taken and for what became of its reply, under the same rules.
    // The transport reports the replies it writes through replySent.
    void setLineObserver(std::function<void(const SimLineEvent&)> observer);
    bool hasLineObserver() const;
    void replySent(const SimReply& reply, std::chrono::steady_clock::time_point when);

    long requestCount() const;
    long replyCount() const;

private:
    int frameLengthLocked(std::span<const std::uint8_t> buf) const;
    std::optional<std::vector<std::uint8_t>> answerInverter(std::span<const std::uint8_t> f);
    std::optional<std::vector<std::uint8_t>> answerModbus(std::span<const std::uint8_t> f);
    std::optional<SimReply> respondLocked(std::span<const std::uint8_t> frame, const SimLine& line);
    std::vector<SimReply> drainLocked(const SimLine& line);
    std::vector<SimReply> silenceLocked(const SimLine& line);
    void noteWriteLocked(std::uint16_t address);
    void noteLineLocked(SimLineEvent::Kind kind, long request, std::vector<std::uint8_t> bytes,
                        std::chrono::steady_clock::time_point time);

    DriveModel& model_;
    mutable std::mutex mutex_;
    SimConfig config_;
    std::mt19937 random_;
    std::vector<std::uint8_t> input_;
    std::function<void(const SimWrite&)> writeObserver_;
    std::function<void(const SimLineEvent&)> lineObserver_;
    long requests_ = 0;
    long replies_ = 0;
};

#pragma once
// The simulated drive's record of its line, as a text file: one line per request frame taken
// and per reply written or kept back, each with its time in microseconds on the monotonic clock
// (CLOCK_MONOTONIC, which std::chrono::steady_clock reads: another process on the machine can
// put its own moments beside them), the request's number (from 1, in the order the requests
// came) and the bytes in hex:
//   "<us> <request> rx <bytes>"     the request came (its last byte read off the line)
//   "<us> <request> tx <bytes>"     its reply went out (the last byte, at the wire's pace)
//   "<us> <request> drop <bytes>"   a fault kept its reply back (at the request's time)
//   "<us> <request> none"           the drive answers it with nothing
// e.g. "81234567890 12 rx FB 03 FC 10 00 05 9C 2B". A request that comes while a reply is due
// is logged with the time it came, after that reply's line. Readers of the log back (tests,
// benchmarks) find here what it shows: requests on the line at once, silent stretches, writes.
#include "tools/drivesim/DriveSimulator.h"
#include "tools/drivesim/LogFile.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <vector>

QString formatLineLogLine(const SimLineEvent& event);

class LineLogFile : private LogFile {
public:
    bool open(const QString& path, QString* error = nullptr) {
        return LogFile::open(path, QStringLiteral("line log"), error);
    }
    void append(const SimLineEvent& event) { appendLine(formatLineLogLine(event).toUtf8()); }
    using LogFile::close;
};

// ---- Reading it back ----------------------------------------------------------------------

struct LineLogEntry {
    qint64 us = 0;
    long request = 0;
    SimLineEvent::Kind kind = SimLineEvent::Kind::Request;
    std::vector<std::uint8_t> bytes;
};

// One line of the log; nothing for a line of another form.
std::optional<LineLogEntry> parseLineLogLine(QStringView line);
// The whole file in its order; lines of another form are left out.
std::vector<LineLogEntry> readLineLog(const QString& path);

// The requests (by number) that came while the drive still owed the reply to an earlier one:
// after that request and before its reply's last byte went out. Each is a second request on
// the line at once.
std::vector<long> requestsWhileAReplyWasDue(const std::vector<LineLogEntry>& log);

// The times of the requests, in the order they came.
std::vector<qint64> requestTimes(const std::vector<LineLogEntry>& log);
// The longest stretch of [fromUs, toUs] in which no request came, in microseconds.
qint64 longestSilenceUs(const std::vector<qint64>& requestTimes, qint64 fromUs, qint64 toUs);

// A MODBUS write of one register (function 6) that came, in the order they came.
struct RegisterWrite {
    qint64 us = 0;
    long request = 0;
    std::uint16_t address = 0;
    std::uint16_t value = 0;
};
std::vector<RegisterWrite> modbusWrites(const std::vector<LineLogEntry>& log);

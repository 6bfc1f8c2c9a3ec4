#pragma once
// A serial port in memory for link tests: replies are scripted (or made by a responder
// function from each request), arrive after given delays on a ManualClock, and everything the
// link does to the port is recorded. Waiting advances the clock instead of sleeping.
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

class FakeSerialPort : public SerialPort {
public:
    using Bytes = std::vector<std::uint8_t>;

    // A piece of a reply: its bytes arrive delayMs after the request was written.
    struct Chunk {
        Bytes bytes;
        qint64 delayMs = 0;
    };
    struct Open {
        QString path;
        int baud = 0;
        int dataBits = 0;
        SerialParity parity = SerialParity::None;
        SerialStopBits stopBits = SerialStopBits::One;
    };
    struct Write {
        qint64 at = 0; // clock time of the write
        Bytes bytes;
        qint64 atUs = 0; // the same in microseconds
    };
    struct RtsChange {
        qint64 at = 0;
        bool on = false;
    };

    explicit FakeSerialPort(ManualClock& clock) : clock_(clock) {}

    // ---- Script ----
    // Only these paths open (all paths when the set is empty); others give NotFound.
    QSet<QString> existingPaths;
    // Paths that fail to open with the given error.
    std::map<QString, SerialError> openErrors;
    // Replies in the order of the writes; a write with no reply queued gets none.
    void queueReply(Bytes bytes, qint64 delayMs = 0) { replies_.push_back({{std::move(bytes), delayMs}}); }
    void queueReply(std::vector<Chunk> chunks) { replies_.push_back(std::move(chunks)); }
    void queueNoReply() { replies_.push_back({}); }
    // Called for each write when no scripted reply is queued.
    std::function<std::vector<Chunk>(const Bytes& request)> responder;
    // Time the output queue needs to empty after a write; negative: it never empties.
    qint64 drainMs = 0;
    // Makes the next writes fail.
    bool failWrites = false;
    // The device fails (unplugged): waits and reads fail until this is cleared.
    bool failWaits = false;

    // ---- Record ----
    std::vector<Open> opens;
    QStringList probes;
    std::vector<Write> writes;
    std::vector<RtsChange> rts;
    // Clock time (us) of every read that took bytes, and the waits the link asked for.
    std::vector<qint64> readsAtUs;
    std::vector<int> waits;
    int purgesIn = 0;
    int purgesOut = 0;
    int closes = 0;
    bool rtsOn() const { return !rts.empty() && rts.back().on; }
    // Bytes still waiting (arrived but unread, and due later).
    int unreadBytes() const;

    // ---- SerialPort ----
    SerialError open(const QString& path, int baud, int dataBits, SerialParity parity,
                     SerialStopBits stopBits) override;
    SerialError probe(const QString& path) override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString path() const override { return path_; }
    void purgeOutput() override { ++purgesOut; }
    void purgeInput() override;
    void setRts(bool on) override { rts.push_back({clock_.now(), on}); }
    int outputQueued() override;
    int inputQueued() override;
    int write(std::span<const std::uint8_t> data) override;
    bool drain(int timeoutMs) override;
    int read(std::span<std::uint8_t> buf) override;
    WaitResult waitReadable(int timeoutMs) override;

private:
    struct Pending {
        qint64 at;
        Bytes bytes;
    };
    SerialError openError(const QString& path) const;
    void deliverDue();

    ManualClock& clock_;
    bool open_ = false;
    QString path_;
    qint64 lastWriteAt_ = 0;
    std::deque<std::vector<Chunk>> replies_;
    std::deque<Pending> pending_; // by arrival time
    std::deque<std::uint8_t> rx_;
};

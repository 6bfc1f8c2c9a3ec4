#pragma once
// A serial port in the same process as the simulated drive: the link writes a request and
// the drive's reply arrives after its delay on the given clock, so a test with a manual
// clock runs time-outs, late replies and the configuration scan without waiting. Several
// device paths can be offered, each with or without a drive behind it; every open and
// every request is logged for tests that check what went on the wire.
#include "platform/SerialPort.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <vector>

class Clock;

class SimSerialPort : public SerialPort {
public:
    struct Event {
        enum Kind { Open, Write } kind;
        QString path;
        int baud = 0;
        SerialParity parity = SerialParity::None;
        std::vector<std::uint8_t> bytes; // Write
    };

    explicit SimSerialPort(Clock& clock);

    // A device that opens; drive may be null (nothing answers there).
    void addDevice(const QString& path, DriveSimulator* drive = nullptr);
    // A device that exists but another program holds.
    void addBusyDevice(const QString& path);

    const std::vector<Event>& events() const { return events_; }
    void clearEvents() { events_.clear(); }
    // Requests written while the port was set to this path (in order).
    std::vector<std::vector<std::uint8_t>> writesTo(const QString& path) const;
    bool rts() const { return rts_; }

    SerialError open(const QString& path, int baud, int dataBits, SerialParity parity,
                     SerialStopBits stopBits) override;
    SerialError probe(const QString& path) override;
    void close() override;
    bool isOpen() const override { return open_; }
    QString path() const override { return open_ ? path_ : QString(); }
    void purgeOutput() override {}
    void purgeInput() override;
    void setRts(bool on) override { rts_ = on; }
    int outputQueued() override { return open_ ? 0 : -1; }
    int inputQueued() override;
    int write(std::span<const std::uint8_t> data) override;
    bool drain(int timeoutMs) override { return open_ && timeoutMs >= 0; }
    int read(std::span<std::uint8_t> buf) override;
    WaitResult waitReadable(int timeoutMs) override;

private:
    struct Pending {
        qint64 dueMs;
        std::vector<std::uint8_t> bytes;
    };
    struct Device {
        DriveSimulator* drive = nullptr;
        bool busy = false;
    };
    void deliverDue();

    Clock& clock_;
    std::map<QString, Device> devices_;
    std::vector<Event> events_;
    bool open_ = false;
    bool rts_ = false;
    QString path_;
    int baud_ = 0;
    SerialParity parity_ = SerialParity::None;
    std::deque<Pending> pending_; // replies still on the line
    std::vector<std::uint8_t> input_;
};

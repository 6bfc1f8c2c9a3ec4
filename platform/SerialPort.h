#pragma once
// The serial port the drive link talks through: one abstract transport (the termios port,
// a fake port in tests) and the mapping of the program's port names "COM1".."COM15" to
// device paths.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

class IniFile;

enum class SerialParity { None, Even, Odd };
enum class SerialStopBits { One, OneAndHalf, Two };

// Every way an open can fail, named once.
enum class SerialError {
    None,
    NotFound,     // no such device
    Busy,         // held exclusively by another program
    AccessDenied, // no permission
    ConfigFailed, // the device refused the speed, frame or line settings
    IoError,      // anything else
};
QString serialErrorText(SerialError e);

enum class WaitResult { Readable, Timeout, Error };

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens exclusively and configures; an open port is closed first. A failed open leaves
    // the port closed (never a half-configured descriptor).
    virtual SerialError open(const QString& path, int baud, int dataBits, SerialParity parity,
                             SerialStopBits stopBits) = 0;
    // Opens exclusively and closes at once, without configuring: "could this port be used?".
    virtual SerialError probe(const QString& path) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString path() const = 0;

    virtual void purgeOutput() = 0;
    virtual void purgeInput() = 0;
    // Errors are ignored: a pseudo-terminal has no modem lines.
    virtual void setRts(bool on) = 0;
    // The descriptor to watch for input (a socket notifier), -1 when there is none.
    virtual int pollHandle() const { return -1; }

    // Bytes waiting in the output and input queues; -1 on error or when closed.
    virtual int outputQueued() = 0;
    virtual int inputQueued() = 0;

    // Bytes accepted (all of them, or -1 on error).
    virtual int write(std::span<const std::uint8_t> data) = 0;
    // Waits until the output queue is empty; false when it is not within timeoutMs or on error.
    // A timeout of 0 only looks.
    virtual bool drain(int timeoutMs) = 0;
    // Takes the bytes waiting, at most buf.size(), without blocking: 0 when none, -1 on error
    // or when the device has gone.
    virtual int read(std::span<std::uint8_t> buf) = 0;
    // Sleeps until input is waiting, the time passes, or the device fails (poll(2)).
    virtual WaitResult waitReadable(int timeoutMs) = 0;
};

// POSIX termios port: O_NOCTTY + TIOCEXCL, raw mode, no flow control, CLOCAL. Parity bits
// are checked on input (a byte with a parity error reads as 0), so a wrong line setting shows
// up as a bad sum rather than a plausible value. A device that refuses the modem lines at the
// open (a pseudo-terminal) is asked for them no more, and has no output queue to wait for:
// what is written is with the other side at once.
class TermiosSerialPort : public SerialPort {
public:
    TermiosSerialPort() = default;
    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    SerialError open(const QString& path, int baud, int dataBits, SerialParity parity,
                     SerialStopBits stopBits) override;
    SerialError probe(const QString& path) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    QString path() const override { return path_; }
    void purgeOutput() override;
    void purgeInput() override;
    void setRts(bool on) override;
    int pollHandle() const override { return fd_; }
    int outputQueued() override;
    int inputQueued() override;
    int write(std::span<const std::uint8_t> data) override;
    bool drain(int timeoutMs) override;
    int read(std::span<std::uint8_t> buf) override;
    WaitResult waitReadable(int timeoutMs) override;

    int fd() const { return fd_; }
    // The device refused the modem lines when it was opened.
    bool noModemLines() const { return noModemLines_; }

private:
    int fd_ = -1;
    bool noModemLines_ = false;
    QString path_;
};

// Real serial devices in the order "COMn" counts them: /dev/ttyS* that have hardware
// behind them, then /dev/ttyUSB*, then /dev/ttyACM*, each by number.
QStringList realSerialDevices();

// "COMn" -> device path: the settings file's section "Ports" key "COMn" when present, else the
// n-th entry of realDevices (empty when there is none). A name that is not "COMn" (an explicit
// path) is returned unchanged.
QString comPortPath(const QString& name, const IniFile& settings, const QStringList& realDevices);
// The same with the settings file at settingsIniPath and the devices of this machine.
QString comPortPath(const QString& name, const QString& settingsIniPath);

#include "platform/SerialPort.h"

#include "platform/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

SerialError errorFromErrno(int e) {
    switch (e) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return SerialError::NotFound;
    case EBUSY:
        return SerialError::Busy;
    case EACCES:
    case EPERM:
        return SerialError::AccessDenied;
    default:
        return SerialError::IoError;
    }
}

bool speedConstant(int baud, speed_t& out) {
    switch (baud) {
    case 1200:
        out = B1200;
        return true;
    case 2400:
        out = B2400;
        return true;
    case 4800:
        out = B4800;
        return true;
    case 9600:
        out = B9600;
        return true;
    case 19200:
        out = B19200;
        return true;
    case 38400:
        out = B38400;
        return true;
    case 57600:
        out = B57600;
        return true;
    case 115200:
        out = B115200;
        return true;
    default:
        return false;
    }
}

int openExclusive(const QString& path, SerialError& error) {
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errorFromErrno(errno);
        return -1;
    }
    if (!isatty(fd)) {
        ::close(fd);
        error = SerialError::NotFound;
        return -1;
    }
    // Another program may hold it exclusively already (then the open above failed with
    // EBUSY); from now on nobody else can open it.
    if (ioctl(fd, TIOCEXCL) < 0) {
        const int e = errno;
        ::close(fd);
        error = errorFromErrno(e);
        return -1;
    }
    error = SerialError::None;
    return fd;
}

// False when the device has no such line (ENOTTY / EINVAL on a pseudo-terminal).
bool modemLine(int fd, int line, bool on) {
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

// tcsetattr() reads the settings back and fails when the parity bit did not stick, which a
// pseudo-terminal never keeps; the kernel's own call has no such check.
bool applyTermios(int fd, const termios& t) {
    struct KernelTermios {
        tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
        cc_t c_line;
        cc_t c_cc[19];
    } k{};
    k.c_iflag = t.c_iflag;
    k.c_oflag = t.c_oflag;
    k.c_cflag = t.c_cflag; // holds the speed bits as cfsetospeed() set them
    k.c_lflag = t.c_lflag;
    k.c_line = t.c_line;
    std::copy_n(t.c_cc, std::min<std::size_t>(sizeof k.c_cc, NCCS), k.c_cc);
    return ioctl(fd, TCSETS, &k) == 0;
}

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

QString serialErrorText(SerialError e) {
    switch (e) {
    case SerialError::None:
        return QStringLiteral("no error");
    case SerialError::NotFound:
        return QStringLiteral("no such serial device");
    case SerialError::Busy:
        return QStringLiteral("the serial device is in use");
    case SerialError::AccessDenied:
        return QStringLiteral("no permission to use the serial device");
    case SerialError::ConfigFailed:
        return QStringLiteral("the serial device refused the settings");
    case SerialError::IoError:
        return QStringLiteral("serial device error");
    }
    return QString();
}

TermiosSerialPort::~TermiosSerialPort() {
    close();
}

SerialError TermiosSerialPort::open(const QString& path, int baud, int dataBits, SerialParity parity,
                                    SerialStopBits stopBits) {
    close();
    speed_t speed = 0;
    if (!speedConstant(baud, speed) || (dataBits != 7 && dataBits != 8) ||
        stopBits == SerialStopBits::OneAndHalf) // POSIX has no 1.5 stop bits
        return SerialError::ConfigFailed;

    SerialError error = SerialError::None;
    const int fd = openExclusive(path, error);
    if (fd < 0)
        return error;

    termios t{};
    if (tcgetattr(fd, &t) < 0) {
        ::close(fd);
        return SerialError::ConfigFailed;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD | (dataBits == 7 ? CS7 : CS8);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | IGNPAR | PARMRK | ISTRIP);
    if (parity != SerialParity::None) {
        t.c_cflag |= PARENB;
        if (parity == SerialParity::Odd)
            t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    } else {
        t.c_iflag &= ~tcflag_t(INPCK);
    }
    if (stopBits == SerialStopBits::Two)
        t.c_cflag |= CSTOPB;
    // With the descriptor non-blocking, a read without data says EAGAIN; VMIN 0 would make it
    // return 0 instead, which reads as a device that hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (!applyTermios(fd, t)) {
        ::close(fd);
        return SerialError::ConfigFailed;
    }
    // The request raises RTS; DTR stays up as the adapter expects.
    const bool rts = modemLine(fd, TIOCM_RTS, false);
    const int e = errno;
    modemLine(fd, TIOCM_DTR, true);
    tcflush(fd, TCIOFLUSH);
    noModemLines_ = !rts && (e == ENOTTY || e == EINVAL);
    fd_ = fd;
    path_ = path;
    return SerialError::None;
}

SerialError TermiosSerialPort::probe(const QString& path) {
    SerialError error = SerialError::None;
    const int fd = openExclusive(path, error);
    if (fd >= 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
    return error;
}

void TermiosSerialPort::close() {
    if (fd_ >= 0) {
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    noModemLines_ = false;
    path_.clear();
}

void TermiosSerialPort::purgeOutput() {
    if (fd_ >= 0)
        tcflush(fd_, TCOFLUSH);
}

void TermiosSerialPort::purgeInput() {
    if (fd_ >= 0)
        tcflush(fd_, TCIFLUSH);
}

void TermiosSerialPort::setRts(bool on) {
    if (fd_ >= 0 && !noModemLines_)
        modemLine(fd_, TIOCM_RTS, on);
}

int TermiosSerialPort::outputQueued() {
    int n = 0;
    if (fd_ < 0 || ioctl(fd_, TIOCOUTQ, &n) < 0)
        return -1;
    return n;
}

int TermiosSerialPort::inputQueued() {
    int n = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) < 0)
        return -1;
    return n;
}

int TermiosSerialPort::write(std::span<const std::uint8_t> data) {
    if (fd_ < 0)
        return -1;
    std::size_t done = 0;
    const qint64 start = monotonicMs();
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return -1;
        // A full output queue: wait for room, but never for ever.
        const qint64 left = 1000 - (monotonicMs() - start);
        if (left <= 0)
            return -1;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, int(left)) < 0 && errno != EINTR)
            return -1;
    }
    return int(done);
}

bool TermiosSerialPort::drain(int timeoutMs) {
    if (fd_ >= 0 && noModemLines_)
        return true;
    const qint64 start = monotonicMs();
    for (;;) {
        const int n = outputQueued();
        if (n == 0)
            return true;
        if (n < 0 || timeoutMs <= 0 || monotonicMs() - start > timeoutMs)
            return false;
        // No event tells when the queue empties; a short sleep keeps the core free.
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

int TermiosSerialPort::read(std::span<std::uint8_t> buf) {
    if (fd_ < 0)
        return -1;
    if (buf.empty())
        return 0;
    for (;;) {
        const ssize_t n = ::read(fd_, buf.data(), buf.size());
        // Without data a non-blocking line says EAGAIN: nothing at all is the end of the line
        // (a pseudo-terminal whose other side closed, a device hung up). Counted as nothing,
        // it would keep every wait that asks the line spinning.
        if (n == 0)
            return -1;
        if (n > 0)
            return int(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN ? 0 : -1;
    }
}

WaitResult TermiosSerialPort::waitReadable(int timeoutMs) {
    if (fd_ < 0)
        return WaitResult::Error;
    const qint64 start = monotonicMs();
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int left = std::max(0, int(timeoutMs - (monotonicMs() - start)));
        const int r = ::poll(&p, 1, left);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Error;
        }
        if (r == 0)
            return WaitResult::Timeout;
        if (p.revents & POLLIN)
            return WaitResult::Readable;
        return WaitResult::Error; // hang-up or error: the device has gone
    }
}

QStringList realSerialDevices() {
    auto byNumber = [](const QString& pattern) {
        QStringList names = QDir(QStringLiteral("/dev")).entryList({pattern}, QDir::System | QDir::Files);
        static const QRegularExpression digits(QStringLiteral("(\\d+)$"));
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            const int na = digits.match(a).captured(1).toInt();
            const int nb = digits.match(b).captured(1).toInt();
            return na != nb ? na < nb : a < b;
        });
        for (QString& n : names)
            n.prepend(QStringLiteral("/dev/"));
        return names;
    };

    QStringList out;
    // Every 8250 port slot has a ttyS node; only those with a UART behind them count.
    for (const QString& dev : byNumber(QStringLiteral("ttyS*"))) {
        const QString name = QFileInfo(dev).fileName();
        if (!QFileInfo::exists(QStringLiteral("/sys/class/tty/") + name + QStringLiteral("/device")))
            continue;
        const int fd = ::open(QFile::encodeName(dev).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        serial_struct ss{};
        const bool known = ioctl(fd, TIOCGSERIAL, &ss) == 0;
        const bool noSerialInfo = !known && errno == ENOTTY;
        ::close(fd);
        if ((known && ss.type != PORT_UNKNOWN) || noSerialInfo)
            out << dev;
    }
    out << byNumber(QStringLiteral("ttyUSB*")) << byNumber(QStringLiteral("ttyACM*"));
    return out;
}

QString comPortPath(const QString& name, const IniFile& settings, const QStringList& realDevices) {
    static const QRegularExpression com(QStringLiteral("^COM(\\d+)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(name.trimmed());
    if (!m.hasMatch())
        return name;
    const QString mapped =
        settings.readString(QStringLiteral("Ports"), QStringLiteral("COM") + m.captured(1));
    if (!mapped.isEmpty())
        return mapped;
    const int n = m.captured(1).toInt();
    return n >= 1 && n <= realDevices.size() ? realDevices.at(n - 1) : QString();
}

QString comPortPath(const QString& name, const QString& settingsIniPath) {
    IniFile ini(settingsIniPath);
    // Listing the real devices opens them; only done when the settings do not name the path.
    const QString mapped = comPortPath(name, ini, {});
    if (!mapped.isEmpty())
        return mapped;
    return comPortPath(name, ini, realSerialDevices());
}

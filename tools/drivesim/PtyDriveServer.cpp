#include "tools/drivesim/PtyDriveServer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

int baudOf(speed_t s) {
    switch (s) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

timespec toTimespec(std::chrono::nanoseconds d) {
    if (d.count() < 0)
        d = std::chrono::nanoseconds(0);
    timespec ts;
    ts.tv_sec = time_t(d.count() / 1000000000);
    ts.tv_nsec = long(d.count() % 1000000000);
    return ts;
}

} // namespace

PtyDriveServer::PtyDriveServer(DriveSimulator& simulator) : simulator_(simulator) {}

PtyDriveServer::~PtyDriveServer() {
    close();
}

bool PtyDriveServer::open(QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    };
    if (master_ >= 0)
        return true;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0)
        return fail("unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        return fail("ptsname");
    slavePath_ = QString::fromLocal8Bit(name);
    slaveKeep_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeep_ < 0)
        return fail("open slave");
    // A fresh terminal echoes and edits lines; the drive's line is raw both ways.
    termios t{};
    if (tcgetattr(slaveKeep_, &t) != 0)
        return fail("tcgetattr");
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(slaveKeep_, TCSANOW, &t) != 0)
        return fail("tcsetattr");
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0)
        return fail("eventfd");
    return true;
}

bool PtyDriveServer::start() {
    if (master_ < 0 || thread_.joinable())
        return false;
    stopping_ = false;
    spinning_ = busyPoll_;
    watchLine_ = simulator_.hasLineObserver();
    thread_ = std::thread([this] {
        if (spinning_) {
            serveBusy();
            return;
        }
        // Replies paced to a line's speed should leave on time, not up to 50 us late.
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
        int replies = 0;
        while (!stopping_ && serveStep(-1, &replies)) {
        }
    });
    return true;
}

void PtyDriveServer::stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
    spinning_ = false;
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t m = ::read(wake_, &drained, sizeof drained);
}

void PtyDriveServer::close() {
    stop();
    for (int* fd : {&master_, &slaveKeep_, &wake_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    slavePath_.clear();
}

int PtyDriveServer::serveFor(int timeoutMs) {
    watchLine_ = simulator_.hasLineObserver();
    int replies = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (!serveStep(int(left.count()), &replies))
            break;
    }
    // A frame still open at the end is cut off by the silence that follows.
    for (const SimReply& r : simulator_.silence(line()))
        if (sendAfter(r, std::chrono::steady_clock::now()))
            ++replies;
    return replies;
}

SimLine PtyDriveServer::line() const {
    SimLine l;
    termios t{};
    if (master_ >= 0 && tcgetattr(master_, &t) == 0)
        l.baud = baudOf(cfgetispeed(&t));
    return l; // a pseudo-terminal does not keep the parity bit
}

int PtyDriveServer::silenceMs() const {
    // 3.5 characters at the line's speed, at least 2 ms for the scheduler's sake.
    const int baud = line().baud > 0 ? line().baud : 9600;
    return std::max(2, (35 * 11 * 1000 / baud + 9) / 10);
}

bool PtyDriveServer::serveStep(int timeoutMs, int* replies) {
    if (!early_.empty()) {
        const auto requestEnd = std::chrono::steady_clock::now();
        for (const SimReply& r : feedEarlyInput(line())) {
            if (!sendAfter(r, requestEnd))
                return false;
            ++*replies;
        }
        return true;
    }
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int wait = timeoutMs;
    const bool partial = simulator_.hasPartialInput();
    if (partial && (wait < 0 || wait > silenceMs()))
        wait = silenceMs();
    const int rc = ::poll(fds, 2, wait);
    if (rc < 0)
        return errno == EINTR;
    if (fds[1].revents)
        return false;
    std::vector<SimReply> out;
    const auto requestEnd = std::chrono::steady_clock::now();
    if (rc == 0) {
        if (partial)
            out = simulator_.silence(line());
        else if (timeoutMs >= 0)
            return true;
    } else if (fds[0].revents & POLLIN) {
        std::uint8_t buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        SimLine l = line();
        l.arrived = requestEnd;
        if (n > 0)
            out = simulator_.feed(std::span<const std::uint8_t>(buf, std::size_t(n)), l);
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
        // Cannot happen while slaveKeep_ is open; do not spin if it does.
        ::poll(fds + 1, 1, 10);
    }
    for (const SimReply& r : out) {
        if (!sendAfter(r, requestEnd))
            return false;
        ++*replies;
    }
    return true;
}

void PtyDriveServer::serveBusy() {
    const int flags = ::fcntl(master_, F_GETFL);
    ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
    SimLine l = line();
    auto silence = std::chrono::milliseconds(silenceMs());
    bool partial = false;
    auto lastByte = std::chrono::steady_clock::now();
    while (!stopping_) {
        std::uint8_t buf[256];
        std::vector<SimReply> out;
        if (!early_.empty()) {
            lastByte = early_.back().at;
            out = feedEarlyInput(l);
            partial = simulator_.hasPartialInput();
            const auto requestEnd = std::chrono::steady_clock::now();
            for (const SimReply& r : out)
                if (!sendAfter(r, requestEnd))
                    break;
            continue;
        }
        const ssize_t n = ::read(master_, buf, sizeof buf);
        auto requestEnd = std::chrono::steady_clock::now();
        if (n > 0) {
            // The master may have changed the line's speed since the last request.
            l = line();
            l.arrived = requestEnd;
            silence = std::chrono::milliseconds(silenceMs());
            out = simulator_.feed(std::span<const std::uint8_t>(buf, std::size_t(n)), l);
            partial = simulator_.hasPartialInput();
            lastByte = requestEnd;
        } else if (partial && requestEnd - lastByte >= silence) {
            out = simulator_.silence(l);
            partial = false;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // Cannot happen while slaveKeep_ is open; do not spin on a broken line if it does.
            pollfd wake{wake_, POLLIN, 0};
            ::poll(&wake, 1, 10);
        }
        for (const SimReply& r : out)
            if (!sendAfter(r, requestEnd))
                break;
    }
    ::fcntl(master_, F_SETFL, flags);
}

bool PtyDriveServer::writeAll(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) { // busy polling: the line is full, the master not reading
                if (stopping_)
                    return false;
                continue;
            }
            return true; // the line is gone; the request still counts as served
        }
        done += std::size_t(n);
    }
    ++sent_;
    return true;
}

void PtyDriveServer::takeEarlyInput() {
    std::uint8_t buf[256];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0)
        early_.push_back({{buf, buf + n}, std::chrono::steady_clock::now()});
}

std::vector<SimReply> PtyDriveServer::feedEarlyInput(SimLine l) {
    std::vector<SimReply> out;
    for (const Arrival& a : std::exchange(early_, {})) {
        l.arrived = a.at;
        for (SimReply& r : simulator_.feed(a.bytes, l))
            out.push_back(std::move(r));
    }
    return out;
}

bool PtyDriveServer::sendAfter(const SimReply& reply, std::chrono::steady_clock::time_point requestEnd) {
    const auto due = requestEnd + reply.delay;
    if (spinning_) {
        while (reply.delay.count() > 0 && std::chrono::steady_clock::now() < due) {
            if (stopping_)
                return false;
            if (watchLine_)
                takeEarlyInput(); // the line is not blocking here
        }
        return sent(reply);
    }
    // Sleep until shortly before the reply is due, then spin: a wake-up from sleep can be
    // late by more than the pacing wants to be accurate to.
    constexpr auto kSpin = std::chrono::microseconds(150);
    for (;;) {
        const auto left = due - std::chrono::steady_clock::now();
        if (left <= kSpin)
            break;
        pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
        const timespec ts = toTimespec(left - kSpin);
        const int rc = ::ppoll(fds, watchLine_ ? 2 : 1, &ts, nullptr);
        if (rc > 0 && fds[0].revents)
            return false; // stop() during the delay
        if (rc > 0 && (fds[1].revents & POLLIN))
            takeEarlyInput();
    }
    while (reply.delay.count() > 0 && std::chrono::steady_clock::now() < due) {
    }
    return sent(reply);
}

bool PtyDriveServer::sent(const SimReply& reply) {
    if (!writeAll(reply.bytes))
        return false;
    if (watchLine_)
        simulator_.replySent(reply, std::chrono::steady_clock::now());
    return true;
}

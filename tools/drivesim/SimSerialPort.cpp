#include "tools/drivesim/SimSerialPort.h"

#include "platform/Clock.h"

#include <algorithm>

namespace {

int parityIndex(SerialParity p)
{
    switch (p) {
    case SerialParity::None: return 0;
    case SerialParity::Even: return 1;
    case SerialParity::Odd: return 2;
    }
    return -1;
}

} // namespace

SimSerialPort::SimSerialPort(Clock& clock) : clock_(clock) {}

void SimSerialPort::addDevice(const QString& path, DriveSimulator* drive)
{
    devices_[path] = Device{drive, false};
}

void SimSerialPort::addBusyDevice(const QString& path)
{
    devices_[path] = Device{nullptr, true};
}

std::vector<std::vector<std::uint8_t>> SimSerialPort::writesTo(const QString& path) const
{
    std::vector<std::vector<std::uint8_t>> out;
    for (const Event& e : events_)
        if (e.kind == Event::Write && e.path == path)
            out.push_back(e.bytes);
    return out;
}

SerialError SimSerialPort::open(const QString& path, int baud, int dataBits, SerialParity parity,
                                SerialStopBits stopBits)
{
    close();
    const auto it = devices_.find(path);
    if (it == devices_.end())
        return SerialError::NotFound;
    if (it->second.busy)
        return SerialError::Busy;
    if (dataBits != 8 && dataBits != 7)
        return SerialError::ConfigFailed;
    if (stopBits == SerialStopBits::OneAndHalf)
        return SerialError::ConfigFailed; // as on a real POSIX port
    open_ = true;
    path_ = path;
    baud_ = baud;
    parity_ = parity;
    events_.push_back({Event::Open, path, baud, parity, {}});
    return SerialError::None;
}

SerialError SimSerialPort::probe(const QString& path)
{
    const auto it = devices_.find(path);
    if (it == devices_.end())
        return SerialError::NotFound;
    return it->second.busy ? SerialError::Busy : SerialError::None;
}

void SimSerialPort::close()
{
    open_ = false;
    rts_ = false;
    pending_.clear();
    input_.clear();
}

void SimSerialPort::purgeInput()
{
    // Replies still on the line arrive after the purge, as on a real cable.
    deliverDue();
    input_.clear();
}

void SimSerialPort::deliverDue()
{
    const qint64 now = clock_.now();
    while (!pending_.empty() && pending_.front().dueMs <= now) {
        input_.insert(input_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
        pending_.pop_front();
    }
}

int SimSerialPort::inputQueued()
{
    if (!open_)
        return -1;
    deliverDue();
    return int(input_.size());
}

int SimSerialPort::write(std::span<const std::uint8_t> data)
{
    if (!open_)
        return -1;
    events_.push_back({Event::Write, path_, baud_, parity_, {data.begin(), data.end()}});
    DriveSimulator* drive = devices_[path_].drive;
    if (!drive)
        return int(data.size());
    // One write is one frame: the silence after it ends a frame the length cannot tell.
    const SimLine line{baud_, parityIndex(parity_)};
    std::vector<SimReply> replies = drive->feed(data, line);
    for (SimReply& r : drive->silence(line))
        replies.push_back(std::move(r));
    qint64 due = clock_.now();
    for (SimReply& r : replies) {
        // Replies are serial on the line: each starts after the one before.
        due = std::max(due, clock_.now() + (r.delay.count() + 999) / 1000);
        pending_.push_back({due, std::move(r.bytes)});
    }
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.dueMs < b.dueMs; });
    return int(data.size());
}

int SimSerialPort::read(std::span<std::uint8_t> buf)
{
    if (!open_)
        return -1;
    deliverDue();
    const std::size_t n = std::min(buf.size(), input_.size());
    std::copy_n(input_.begin(), n, buf.begin());
    input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(n));
    return int(n);
}

WaitResult SimSerialPort::waitReadable(int timeoutMs)
{
    if (!open_)
        return WaitResult::Error;
    deliverDue();
    if (!input_.empty())
        return WaitResult::Readable;
    const qint64 now = clock_.now();
    if (!pending_.empty() && pending_.front().dueMs - now <= timeoutMs) {
        clock_.sleepMs(int(std::max<qint64>(0, pending_.front().dueMs - now)));
        deliverDue();
        return input_.empty() ? WaitResult::Timeout : WaitResult::Readable;
    }
    clock_.sleepMs(std::max(0, timeoutMs));
    return WaitResult::Timeout;
}

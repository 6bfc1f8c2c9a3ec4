#include "FakeSerialPort.h"

#include <algorithm>

SerialError FakeSerialPort::openError(const QString& path) const {
    if (auto it = openErrors.find(path); it != openErrors.end())
        return it->second;
    if (!existingPaths.isEmpty() && !existingPaths.contains(path))
        return SerialError::NotFound;
    return SerialError::None;
}

SerialError FakeSerialPort::open(const QString& path, int baud, int dataBits, SerialParity parity,
                                 SerialStopBits stopBits) {
    close();
    const SerialError e = openError(path);
    if (e != SerialError::None)
        return e;
    if (stopBits == SerialStopBits::OneAndHalf)
        return SerialError::ConfigFailed;
    opens.push_back({path, baud, dataBits, parity, stopBits});
    open_ = true;
    path_ = path;
    return SerialError::None;
}

SerialError FakeSerialPort::probe(const QString& path) {
    probes << path;
    return openError(path);
}

void FakeSerialPort::close() {
    if (open_)
        ++closes;
    open_ = false;
    path_.clear();
}

void FakeSerialPort::deliverDue() {
    while (!pending_.empty() && pending_.front().at <= clock_.now()) {
        rx_.insert(rx_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
        pending_.pop_front();
    }
}

int FakeSerialPort::unreadBytes() const {
    std::size_t n = rx_.size();
    for (const Pending& p : pending_)
        n += p.bytes.size();
    return int(n);
}

void FakeSerialPort::purgeInput() {
    ++purgesIn;
    deliverDue();
    rx_.clear(); // what is still on its way arrives later, as a late reply does
}

int FakeSerialPort::outputQueued() {
    if (!open_)
        return -1;
    return drainMs < 0 || clock_.now() < lastWriteAt_ + drainMs ? 1 : 0;
}

int FakeSerialPort::inputQueued() {
    if (!open_)
        return -1;
    deliverDue();
    return int(rx_.size());
}

int FakeSerialPort::write(std::span<const std::uint8_t> data) {
    if (!open_ || failWrites)
        return -1;
    const Bytes request(data.begin(), data.end());
    lastWriteAt_ = clock_.now();
    writes.push_back({lastWriteAt_, request, clock_.nowUs()});
    std::vector<Chunk> reply;
    if (!replies_.empty()) {
        reply = std::move(replies_.front());
        replies_.pop_front();
    } else if (responder) {
        reply = responder(request);
    }
    for (Chunk& c : reply)
        pending_.push_back({lastWriteAt_ + c.delayMs, std::move(c.bytes)});
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.at < b.at; });
    return int(data.size());
}

bool FakeSerialPort::drain(int timeoutMs) {
    if (!open_)
        return false;
    if (timeoutMs <= 0)
        return outputQueued() == 0;
    if (drainMs < 0 || drainMs > timeoutMs) {
        clock_.advance(timeoutMs + 1);
        return false;
    }
    const qint64 done = lastWriteAt_ + drainMs;
    if (done > clock_.now())
        clock_.advance(done - clock_.now());
    return true;
}

int FakeSerialPort::read(std::span<std::uint8_t> buf) {
    if (!open_ || failWaits)
        return -1;
    deliverDue();
    const std::size_t n = std::min(buf.size(), rx_.size());
    std::copy_n(rx_.begin(), n, buf.begin());
    rx_.erase(rx_.begin(), rx_.begin() + std::ptrdiff_t(n));
    if (n > 0)
        readsAtUs.push_back(clock_.nowUs());
    return int(n);
}

WaitResult FakeSerialPort::waitReadable(int timeoutMs) {
    if (!open_ || failWaits)
        return WaitResult::Error;
    waits.push_back(timeoutMs);
    deliverDue();
    if (!rx_.empty())
        return WaitResult::Readable;
    const qint64 limit = clock_.now() + std::max(0, timeoutMs);
    if (!pending_.empty() && pending_.front().at <= limit) {
        clock_.advance(pending_.front().at - clock_.now());
        deliverDue();
        return WaitResult::Readable;
    }
    clock_.advance(limit - clock_.now());
    return WaitResult::Timeout;
}

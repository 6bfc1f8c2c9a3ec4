#include "tools/drivesim/DriveSimulator.h"

#include "protocol/FrameCodec.h"

#include <QStringList>

namespace {

constexpr std::uint8_t kStart = kInverterStart;
constexpr std::uint8_t kLong = kInverterLongMark;
constexpr std::uint16_t kDisplayBlock = 0xFC10;

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    return SumCheck(bytes, int(bytes.size()) - 1);
}

bool crcOk(std::span<const std::uint8_t> f) {
    return f.size() >= 3 && ModbusReplyCrcOk(f, int(f.size()));
}

bool isCommand(std::uint8_t b) {
    return b == 'R' || b == 'W' || b == 'P';
}

void putBe(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(std::uint8_t(v >> (8 * i)));
}

std::uint32_t getBe(std::span<const std::uint8_t> f, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | f[at + i];
    return v;
}

std::vector<std::uint8_t> modbusException(std::uint8_t address, std::uint8_t function, std::uint8_t code) {
    std::vector<std::uint8_t> out{address, std::uint8_t(function | 0x80), code};
    AppendCrc(out);
    return out;
}

bool checkPasses(SimProtocol protocol, const std::vector<std::uint8_t>& r) {
    if (r.size() < 3)
        return false;
    if (protocol == SimProtocol::Inverter)
        return InverterReplySumOk(r, int(r.size()));
    return crcOk(r);
}

} // namespace

std::optional<SimFault> parseSimFault(const QString& text, QString* error) {
    const QStringList parts = text.split(u':');
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return std::optional<SimFault>();
    };
    if (parts.size() < 2 || parts.size() > 3)
        return fail(QStringLiteral("a fault is <kind>:<rate>, not \"%1\"").arg(text));
    SimFault f;
    const QString kind = parts[0].trimmed().toLower();
    if (kind == QStringLiteral("noreply") || kind == QStringLiteral("none"))
        f.kind = SimFaultKind::NoReply;
    else if (kind == QStringLiteral("checksum") || kind == QStringLiteral("crc") ||
             kind == QStringLiteral("sum"))
        f.kind = SimFaultKind::BadCheck;
    else if (kind == QStringLiteral("exception"))
        f.kind = SimFaultKind::Exception;
    else if (kind == QStringLiteral("late"))
        f.kind = SimFaultKind::Late;
    else if (kind == QStringLiteral("garbage"))
        f.kind = SimFaultKind::Garbage;
    else
        return fail(QStringLiteral("unknown fault kind \"%1\"").arg(parts[0]));
    bool ok = false;
    f.rate = parts[1].trimmed().toDouble(&ok);
    if (!ok || f.rate < 0.0 || f.rate > 1.0)
        return fail(QStringLiteral("the fault rate must be a number from 0 to 1, not \"%1\"").arg(parts[1]));
    if (parts.size() == 3) {
        f.lateMs = parts[2].trimmed().toInt(&ok);
        if (!ok || f.lateMs < 0)
            return fail(QStringLiteral("the delay must be milliseconds, not \"%1\"").arg(parts[2]));
    }
    return f;
}

DriveSimulator::DriveSimulator(DriveModel& model, SimConfig config)
    : model_(model), config_(std::move(config)), random_(config_.seed) {}

SimConfig DriveSimulator::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void DriveSimulator::setConfig(const SimConfig& config) {
    std::lock_guard lock(mutex_);
    config_ = config;
    random_.seed(config.seed);
    input_.clear();
}

void DriveSimulator::setFaults(std::vector<SimFault> faults) {
    std::lock_guard lock(mutex_);
    config_.faults = std::move(faults);
}

void DriveSimulator::setWriteObserver(std::function<void(const SimWrite&)> observer) {
    std::lock_guard lock(mutex_);
    writeObserver_ = std::move(observer);
}

void DriveSimulator::noteWriteLocked(std::uint16_t address) {
    if (!writeObserver_)
        return;
    const auto p = model_.parameter(address);
    if (p)
        writeObserver_({p->comNo, p->value(), std::chrono::system_clock::now()});
}

void DriveSimulator::setLineObserver(std::function<void(const SimLineEvent&)> observer) {
    std::lock_guard lock(mutex_);
    lineObserver_ = std::move(observer);
}

bool DriveSimulator::hasLineObserver() const {
    std::lock_guard lock(mutex_);
    return bool(lineObserver_);
}

void DriveSimulator::replySent(const SimReply& reply, std::chrono::steady_clock::time_point when) {
    std::lock_guard lock(mutex_);
    noteLineLocked(SimLineEvent::Kind::Reply, reply.request, reply.bytes, when);
}

void DriveSimulator::noteLineLocked(SimLineEvent::Kind kind, long request, std::vector<std::uint8_t> bytes,
                                    std::chrono::steady_clock::time_point time) {
    if (lineObserver_)
        lineObserver_({kind, request, std::move(bytes), time});
}

long DriveSimulator::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

long DriveSimulator::replyCount() const {
    std::lock_guard lock(mutex_);
    return replies_;
}

int DriveSimulator::frameLength(std::span<const std::uint8_t> buf) const {
    std::lock_guard lock(mutex_);
    return frameLengthLocked(buf);
}

int DriveSimulator::frameLengthLocked(std::span<const std::uint8_t> buf) const {
    if (buf.empty())
        return 0;
    if (config_.protocol == SimProtocol::Modbus) {
        if (buf.size() < 2)
            return 0;
        // Reads and writes of one register are 8 bytes; any other function ends at silence.
        if (buf[1] == 3 || buf[1] == 6)
            return buf.size() >= 8 ? 8 : 0;
        return 0;
    }
    if (buf[0] != kStart)
        return -1;
    std::size_t at = 1;
    if (buf.size() <= at)
        return 0;
    if (!isCommand(buf[at]) && buf[at] != kLong)
        ++at; // station byte: inverter numbers and 0xFF never look like a letter
    if (buf.size() <= at)
        return 0;
    bool isLong = false;
    if (buf[at] == kLong) {
        isLong = true;
        ++at;
        if (buf.size() <= at)
            return 0;
    }
    if (!isCommand(buf[at]))
        return -1;
    const int valueBytes = buf[at] == 'R' ? 0 : (isLong ? 4 : 2);
    const int length = int(at) + 1 + 2 + valueBytes + 1;
    return int(buf.size()) >= length ? length : 0;
}

std::optional<std::vector<std::uint8_t>> DriveSimulator::answerInverter(std::span<const std::uint8_t> f) {
    const int length = frameLengthLocked(f);
    if (length <= 0 || std::size_t(length) != f.size())
        return std::nullopt;
    if (sum8(f.first(f.size() - 1)) != f.back())
        return std::nullopt; // a garbled request goes unanswered
    std::size_t at = 1;
    const bool hasStation = !isCommand(f[1]) && f[1] != kLong;
    if (hasStation) {
        const int station = f[1];
        if (station != 0xFF && station != config_.station)
            return std::nullopt;
        ++at;
    }
    const bool isLong = f[at] == kLong;
    if (isLong)
        ++at;
    const std::uint8_t command = f[at];
    const std::uint16_t address = std::uint16_t(getBe(f, at + 1, 2));
    const int width = isLong ? 4 : 2;

    std::vector<std::uint8_t> out(f.begin(), f.begin() + std::ptrdiff_t(at + 3));
    if (command == 'R' && address == kDisplayBlock) {
        // The block reply carries no long mark: start, station, letter, number, ten bytes.
        if (isLong)
            out.erase(out.begin() + std::ptrdiff_t(at - 1));
        const auto block = model_.displayBlock();
        out.insert(out.end(), block.begin(), block.end());
    } else if (command == 'R') {
        const auto p = model_.read(address);
        if (!p)
            return std::nullopt;
        putBe(out, width == 4 ? p->raw : (p->raw & 0xFFFF), width);
    } else {
        const std::uint32_t value = getBe(f, at + 3, width);
        const bool stored = width == 4 ? model_.write(address, std::int32_t(value))
                                       : model_.writeRegister(address, std::uint16_t(value));
        if (!stored)
            return std::nullopt;
        noteWriteLocked(address);
        const auto p = model_.parameter(address);
        putBe(out, width == 4 ? p->raw : (p->raw & 0xFFFF), width);
    }
    out.push_back(sum8(out));
    return out;
}

std::optional<std::vector<std::uint8_t>> DriveSimulator::answerModbus(std::span<const std::uint8_t> f) {
    if (f.size() < 4)
        return std::nullopt;
    if (!crcOk(f))
        return std::nullopt;
    const int address = f[0];
    const bool broadcast = address == 0;
    if (!broadcast && address != kDefaultModbusAddress &&
        (config_.station == 0 || address != config_.station))
        return std::nullopt;
    const std::uint8_t function = f[1];

    if (function == 6 && f.size() == 8) {
        const std::uint16_t reg = std::uint16_t(getBe(f, 2, 2));
        const bool stored = model_.writeRegister(reg, std::uint16_t(getBe(f, 4, 2)));
        if (stored)
            noteWriteLocked(reg);
        if (broadcast)
            return std::nullopt;
        if (!stored)
            return modbusException(f[0], function, 0x02);
        return std::vector<std::uint8_t>(f.begin(), f.end());
    }
    if (broadcast)
        return std::nullopt; // a broadcast read has nobody to answer it
    if (function == 3 && f.size() == 8) {
        const std::uint16_t start = std::uint16_t(getBe(f, 2, 2));
        const int count = int(getBe(f, 4, 2));
        if (count < 1 || count > 125)
            return modbusException(f[0], function, 0x03);
        std::vector<std::uint8_t> out{f[0], 3, std::uint8_t(2 * count)};
        if (start == kDisplayBlock) {
            if (count > 5)
                return modbusException(f[0], function, 0x02);
            const auto block = model_.displayBlock();
            out.insert(out.end(), block.begin(), block.begin() + 2 * count);
        } else {
            for (int i = 0; i < count; ++i) {
                const auto p = model_.read(std::uint16_t(start + i));
                if (!p)
                    return modbusException(f[0], function, 0x02);
                putBe(out, p->raw & 0xFFFF, 2);
            }
        }
        AppendCrc(out);
        return out;
    }
    return modbusException(f[0], function, 0x01);
}

std::optional<SimReply> DriveSimulator::respond(std::span<const std::uint8_t> frame, const SimLine& line) {
    std::lock_guard lock(mutex_);
    return respondLocked(frame, line);
}

std::optional<SimReply> DriveSimulator::respondLocked(std::span<const std::uint8_t> frame,
                                                      const SimLine& line) {
    const long request = ++requests_;
    using LineKind = SimLineEvent::Kind;
    std::chrono::steady_clock::time_point arrived = line.arrived;
    if (lineObserver_ && arrived == std::chrono::steady_clock::time_point{})
        arrived = std::chrono::steady_clock::now();
    noteLineLocked(LineKind::Request, request, {frame.begin(), frame.end()}, arrived);
    auto ignored = [&] {
        noteLineLocked(LineKind::Ignored, request, {}, arrived);
        return std::nullopt;
    };
    if (config_.onlyBaud && line.baud > 0 && line.baud != *config_.onlyBaud)
        return ignored();
    if (config_.onlyParity && line.parity >= 0 && line.parity != *config_.onlyParity)
        return ignored();
    model_.applyDueEvents();
    auto bytes = config_.protocol == SimProtocol::Modbus ? answerModbus(frame) : answerInverter(frame);
    if (!bytes)
        return ignored();

    SimReply reply;
    reply.delay = std::chrono::milliseconds(config_.replyDelayMs);
    for (const SimFault& fault : config_.faults) {
        if (fault.rate <= 0.0 || std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= fault.rate)
            continue;
        switch (fault.kind) {
        case SimFaultKind::NoReply:
            noteLineLocked(LineKind::Dropped, request, std::move(*bytes), arrived);
            return std::nullopt;
        case SimFaultKind::BadCheck:
            bytes->back() ^= 0x5A;
            break;
        case SimFaultKind::Exception:
            if (config_.protocol == SimProtocol::Modbus)
                *bytes = modbusException((*bytes)[0], frame[1], 0x04);
            break;
        case SimFaultKind::Late:
            reply.delay += std::chrono::milliseconds(fault.lateMs);
            break;
        case SimFaultKind::Garbage: {
            std::uniform_int_distribution<int> noise(0, 255);
            for (auto& b : *bytes)
                b = std::uint8_t(noise(random_));
            // Noise that happens to check out would be a good reply: spoil it.
            if (checkPasses(config_.protocol, *bytes))
                bytes->back() ^= 0xA5;
            break;
        }
        }
        break; // one fault per reply
    }
    if (config_.wireBaud > 0) {
        const long long bits = (long long)(frame.size() + bytes->size()) * config_.bitsPerByte;
        reply.delay += std::chrono::microseconds(bits * 1000000LL / config_.wireBaud);
    }
    reply.bytes = std::move(*bytes);
    reply.request = request;
    ++replies_;
    return reply;
}

std::vector<SimReply> DriveSimulator::feed(std::span<const std::uint8_t> bytes, const SimLine& line) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    return drainLocked(line);
}

std::vector<SimReply> DriveSimulator::drainLocked(const SimLine& line) {
    std::vector<SimReply> replies;
    std::size_t at = 0;
    while (at < input_.size()) {
        const auto rest = std::span<const std::uint8_t>(input_).subspan(at);
        const int length = frameLengthLocked(rest);
        if (length < 0) {
            ++at; // not a frame start: noise, or the scan's repeat without its start byte
            continue;
        }
        if (length == 0)
            break;
        const auto frame = rest.first(std::size_t(length));
        if (config_.protocol == SimProtocol::Modbus) {
            if (!crcOk(frame)) {
                ++at; // out of step with the frames: look for the next one
                continue;
            }
        }
        if (auto r = respondLocked(frame, line))
            replies.push_back(std::move(*r));
        at += std::size_t(length);
    }
    input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(at));
    return replies;
}

std::vector<SimReply> DriveSimulator::silence(const SimLine& line) {
    std::lock_guard lock(mutex_);
    return silenceLocked(line);
}

std::vector<SimReply> DriveSimulator::silenceLocked(const SimLine& line) {
    std::vector<SimReply> replies;
    if (config_.protocol == SimProtocol::Modbus && input_.size() >= 4) {
        if (auto r = respondLocked(input_, line))
            replies.push_back(std::move(*r));
    }
    input_.clear();
    return replies;
}

bool DriveSimulator::hasPartialInput() const {
    std::lock_guard lock(mutex_);
    return !input_.empty();
}

std::vector<SimReply> DriveSimulator::respondToWrite(std::span<const std::uint8_t> bytes,
                                                     const SimLine& line) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
    std::vector<SimReply> replies = drainLocked(line);
    for (SimReply& r : silenceLocked(line))
        replies.push_back(std::move(r));
    return replies;
}

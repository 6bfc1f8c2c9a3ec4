#include "platform/MemoryStatus.h"

#include <QFile>
#include <QList>
#include <algorithm>
#include <limits>
#include <optional>

#include <sys/sysinfo.h>

namespace {

constexpr quint64 kMaxKb = std::numeric_limits<quint64>::max() / 1024;

// "Name:   123 kB" -> bytes; nothing when the line is not one of that name or not a number.
std::optional<quint64> fieldBytes(const QByteArray& line, const QByteArray& name) {
    if (!line.startsWith(name + ':'))
        return std::nullopt;
    QByteArray value = line.mid(name.size() + 1).trimmed();
    if (value.endsWith("kB"))
        value.chop(2);
    bool ok = false;
    const quint64 kb = value.trimmed().toULongLong(&ok);
    if (!ok || kb > kMaxKb)
        return std::nullopt;
    return kb * 1024;
}

} // namespace

int MemoryStatus::usedPercent() const {
    if (totalBytes == 0)
        return 0;
    const quint64 used = totalBytes - std::min(availableBytes, totalBytes);
    // used * 100 could only overflow beyond 180 petabytes; divide first there.
    if (used > std::numeric_limits<quint64>::max() / 100)
        return int(used / (totalBytes / 100));
    return int(used * 100 / totalBytes);
}

MemoryStatus parseMemInfo(const QByteArray& text) {
    std::optional<quint64> total, available, free, buffers, cached;
    for (const QByteArray& line : text.split('\n')) {
        if (auto v = fieldBytes(line, "MemTotal"))
            total = v;
        else if (auto v = fieldBytes(line, "MemAvailable"))
            available = v;
        else if (auto v = fieldBytes(line, "MemFree"))
            free = v;
        else if (auto v = fieldBytes(line, "Buffers"))
            buffers = v;
        else if (auto v = fieldBytes(line, "Cached"))
            cached = v;
    }
    MemoryStatus s;
    if (!total)
        return s;
    if (!available && free)
        available = *free + buffers.value_or(0) + cached.value_or(0);
    if (!available)
        return s;
    s.totalBytes = *total;
    s.availableBytes = std::min(*available, *total);
    return s;
}

MemoryStatus readMemoryStatus() {
    QFile f(QStringLiteral("/proc/meminfo"));
    if (f.open(QIODevice::ReadOnly)) {
        const MemoryStatus s = parseMemInfo(f.readAll());
        if (s.valid())
            return s;
    }
    struct sysinfo info {};
    MemoryStatus s;
    if (sysinfo(&info) != 0)
        return s;
    const quint64 unit = info.mem_unit ? info.mem_unit : 1;
    s.totalBytes = quint64(info.totalram) * unit;
    s.availableBytes = std::min(quint64(info.freeram + info.bufferram) * unit, s.totalBytes);
    return s;
}

#pragma once
// The PC's physical memory as the about box shows it: total and available bytes, from
// /proc/meminfo (sysinfo(2) where that cannot be read). Every figure is 64-bit: the share in
// use multiplies by 100 first, which overflows 32 bits from a few tens of megabytes on.
#include <QByteArray>
#include <QtGlobal>

struct MemoryStatus {
    quint64 totalBytes = 0;
    quint64 availableBytes = 0;

    bool valid() const { return totalBytes > 0; }
    // (total - available) * 100 / total, truncated; 0 when nothing is known.
    int usedPercent() const;
    quint64 totalKb() const { return totalBytes / 1024; }
    quint64 availableKb() const { return availableBytes / 1024; }
};

// The figures of a /proc/meminfo text: "MemTotal" and "MemAvailable" in kB (a kernel without
// "MemAvailable" gives "MemFree" + "Buffers" + "Cached"). Unreadable or missing figures give
// an invalid status; available memory never exceeds the total.
MemoryStatus parseMemInfo(const QByteArray& text);

// This machine's figures now.
MemoryStatus readMemoryStatus();

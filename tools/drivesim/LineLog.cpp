#include "tools/drivesim/LineLog.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <map>

namespace {

using Kind = SimLineEvent::Kind;

struct KindName {
    Kind kind;
    const char* name;
    bool withBytes;
};
constexpr KindName kKinds[] = {
    {Kind::Request, "rx", true},
    {Kind::Reply, "tx", true},
    {Kind::Dropped, "drop", true},
    {Kind::Ignored, "none", false},
};

const KindName& nameOf(Kind kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k;
    return kKinds[0];
}

// The requests in the order they came (by number), each with its entry.
std::vector<const LineLogEntry*> requestsInOrder(const std::vector<LineLogEntry>& log) {
    std::vector<const LineLogEntry*> out;
    for (const LineLogEntry& e : log)
        if (e.kind == Kind::Request)
            out.push_back(&e);
    std::stable_sort(out.begin(), out.end(),
                     [](const LineLogEntry* a, const LineLogEntry* b) { return a->request < b->request; });
    return out;
}

} // namespace

QString formatLineLogLine(const SimLineEvent& event) {
    const qint64 us =
        std::chrono::duration_cast<std::chrono::microseconds>(event.time.time_since_epoch()).count();
    const KindName& k = nameOf(event.kind);
    QString line = QStringLiteral("%1 %2 %3").arg(us).arg(event.request).arg(QLatin1String(k.name));
    if (k.withBytes)
        for (std::uint8_t b : event.bytes)
            line += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return line;
}

std::optional<LineLogEntry> parseLineLogLine(QStringView line) {
    const QList<QStringView> parts = line.trimmed().split(u' ', Qt::SkipEmptyParts);
    if (parts.size() < 3)
        return std::nullopt;
    LineLogEntry e;
    bool ok = false;
    e.us = parts[0].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    e.request = parts[1].toLong(&ok);
    if (!ok || e.request < 1)
        return std::nullopt;
    const KindName* kind = nullptr;
    for (const KindName& k : kKinds)
        if (parts[2] == QLatin1String(k.name))
            kind = &k;
    if (!kind || (!kind->withBytes && parts.size() > 3))
        return std::nullopt;
    e.kind = kind->kind;
    for (qsizetype i = 3; i < parts.size(); ++i) {
        const uint b = parts[i].toUInt(&ok, 16);
        if (!ok || parts[i].size() != 2)
            return std::nullopt;
        e.bytes.push_back(std::uint8_t(b));
    }
    return e;
}

std::vector<LineLogEntry> readLineLog(const QString& path) {
    std::vector<LineLogEntry> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QStringList lines = QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString& l : lines)
        if (auto e = parseLineLogLine(l))
            out.push_back(std::move(*e));
    return out;
}

std::vector<long> requestsWhileAReplyWasDue(const std::vector<LineLogEntry>& log) {
    const std::vector<const LineLogEntry*> requests = requestsInOrder(log);
    std::map<long, qint64> replyOut;
    for (const LineLogEntry& e : log)
        if (e.kind == Kind::Reply)
            replyOut[e.request] = e.us;
    std::vector<long> out;
    // The drive answers in the order the requests came: a request is early when it comes
    // before the last of the replies still owed to those before it has gone out.
    qint64 owedUntil = 0;
    for (const LineLogEntry* r : requests) {
        if (r->us < owedUntil)
            out.push_back(r->request);
        if (const auto reply = replyOut.find(r->request); reply != replyOut.end())
            owedUntil = std::max(owedUntil, reply->second);
    }
    return out;
}

std::vector<qint64> requestTimes(const std::vector<LineLogEntry>& log) {
    std::vector<qint64> out;
    for (const LineLogEntry* e : requestsInOrder(log))
        out.push_back(e->us);
    return out;
}

qint64 longestSilenceUs(const std::vector<qint64>& times, qint64 fromUs, qint64 toUs) {
    qint64 longest = 0, last = fromUs;
    for (qint64 t : times) {
        if (t < fromUs)
            continue;
        if (t > toUs)
            break;
        longest = std::max(longest, t - last);
        last = t;
    }
    return std::max(longest, toUs - last);
}

std::vector<RegisterWrite> modbusWrites(const std::vector<LineLogEntry>& log) {
    std::vector<RegisterWrite> out;
    for (const LineLogEntry* e : requestsInOrder(log)) {
        const std::vector<std::uint8_t>& b = e->bytes;
        if (b.size() == 8 && b[1] == 6)
            out.push_back(
                {e->us, e->request, std::uint16_t(b[2] << 8 | b[3]), std::uint16_t(b[4] << 8 | b[5])});
    }
    return out;
}

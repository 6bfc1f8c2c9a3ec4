#include "ui/HelpViewerChm.h"

#include <QFile>
#include <QFileInfo>
#include <chm_lib.h>

namespace {
// chmlib wants "/"-rooted paths; pages link with relative ones.
QByteArray objectPath(const QString& inside) {
    QString p = inside;
    p.replace(u'\\', u'/');
    if (!p.startsWith(u'/'))
        p.prepend(u'/');
    return p.toUtf8();
}
} // namespace

std::unique_ptr<HelpArchive> HelpArchive::open(const QString& path) {
    if (!QFileInfo(path).isFile())
        return nullptr;
    chmFile* f = chm_open(QFile::encodeName(path).constData());
    if (!f)
        return nullptr;
    return std::unique_ptr<HelpArchive>(new HelpArchive(f));
}

HelpArchive::~HelpArchive() {
    chm_close(file_);
}

bool HelpArchive::contains(const QString& inside) const {
    chmUnitInfo ui{};
    return chm_resolve_object(file_, objectPath(inside).constData(), &ui) == CHM_RESOLVE_SUCCESS;
}

QByteArray HelpArchive::read(const QString& inside) const {
    chmUnitInfo ui{};
    if (chm_resolve_object(file_, objectPath(inside).constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return {};
    // Help pages are small; anything claiming more than 64 MiB is a damaged file.
    if (ui.length == 0 || ui.length > (64u << 20))
        return {};
    QByteArray bytes(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    const LONGINT64 got = chm_retrieve_object(file_, &ui, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                                              static_cast<LONGINT64>(ui.length));
    if (got <= 0)
        return {};
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}

QString HelpArchive::contentsPage() const {
    // "#SYSTEM": a version word, then records of code (u16), length (u16) and data; code 2
    // holds the default topic as a zero-ended path.
    const QByteArray sys = read(QStringLiteral("/#SYSTEM"));
    const auto u16 = [&](qsizetype at) {
        return static_cast<quint16>(static_cast<quint8>(sys[at]) | (static_cast<quint8>(sys[at + 1]) << 8));
    };
    for (qsizetype at = 4; at + 4 <= sys.size();) {
        const quint16 code = u16(at);
        const quint16 length = u16(at + 2);
        at += 4;
        if (at + length > sys.size())
            break;
        if (code == 2) {
            const QString topic = QString::fromUtf8(sys.mid(at, length)).section(QChar(0), 0, 0);
            if (!topic.isEmpty() && contains(topic))
                return QString::fromUtf8(objectPath(topic));
        }
        at += length;
    }
    for (const char* name : {"/index.htm", "/index.html"})
        if (contains(QLatin1String(name)))
            return QLatin1String(name);
    return QString();
}

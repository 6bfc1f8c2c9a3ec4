#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace Paths {

QString normalize(const QString& stored) {
    QString p = stored;
    p.replace(u'\\', u'/');
    return p;
}

QString join(const QString& folder, const QString& name) {
    const QString f = normalize(folder);
    QString n = normalize(name);
    if (f.isEmpty())
        return n;
    while (n.startsWith(u'/'))
        n.remove(0, 1);
    if (f.endsWith(u'/'))
        return f + n;
    return f + u'/' + n;
}

QString folderOf(const QString& path) {
    const QString p = normalize(path);
    const qsizetype slash = p.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return p.left(slash);
}

QString fileNameOf(const QString& path) {
    const QString p = normalize(path);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

QString resolve(const QString& path) {
    const QString p = normalize(path);
    if (p.isEmpty())
        return QString();
    if (QFileInfo::exists(p))
        return p;

    const bool absolute = p.startsWith(u'/');
    const QStringList parts = p.split(u'/', Qt::SkipEmptyParts);
    QString found = absolute ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        const QString exact = found.isEmpty() ? part : join(found, part);
        if (part == QLatin1String(".") || part == QLatin1String("..") || QFileInfo::exists(exact)) {
            found = exact;
            continue;
        }
        const QDir dir(found.isEmpty() ? QStringLiteral(".") : found);
        // Sorted, so that of several names differing only in case the same one is always taken.
        const QStringList entries =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        QString match;
        for (const QString& e : entries) {
            if (e.compare(part, Qt::CaseInsensitive) == 0) {
                match = e;
                break;
            }
        }
        if (match.isEmpty())
            return QString();
        found = found.isEmpty() ? match : join(found, match);
    }
    return found;
}

bool exists(const QString& path) {
    return !resolve(path).isEmpty();
}

QString resolvedOrAsGiven(const QString& path) {
    const QString found = resolve(path);
    return found.isEmpty() ? path : found;
}

} // namespace Paths

#include "TempProgramFolder.h"

#include "TestPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

TempProgramFolder::TempProgramFolder(bool withShippedData) {
    if (withShippedData)
        copyShippedData();
}

QString TempProgramFolder::settingsIniPath() const {
    return filePath(QStringLiteral("KVR260X.ini"));
}

bool TempProgramFolder::copyShippedData() {
    return copyTree(shippedDataDir());
}

bool TempProgramFolder::copyTree(const QString& from, const QString& to) {
    if (!isValid() || !QFileInfo(from).isDir())
        return false;
    const QDir source(from);
    const QString target = to.isEmpty() ? path() : filePath(to);
    bool ok = QDir().mkpath(target);
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString dest = target + u'/' + source.relativeFilePath(file);
        ok = QDir().mkpath(QFileInfo(dest).path()) && ok;
        QFile::remove(dest);
        ok = QFile::copy(file, dest) && ok;
        // Shipped files may be read-only in the source tree; the test may change its copy.
        QFile::setPermissions(dest, QFile::permissions(dest) | QFile::WriteOwner | QFile::ReadOwner);
    }
    return ok;
}

QString TempProgramFolder::writeFile(const QString& relative, const QByteArray& bytes) {
    const QString dest = filePath(relative);
    QDir().mkpath(QFileInfo(dest).path());
    QFile f(dest);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        return QString();
    return dest;
}

bool TempProgramFolder::removeFile(const QString& relative) {
    return QFile::remove(filePath(relative));
}

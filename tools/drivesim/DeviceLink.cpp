#include "tools/drivesim/DeviceLink.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString linkTarget(const QByteArray& link) {
    char buf[4096];
    const ssize_t n = ::readlink(link.constData(), buf, sizeof buf - 1);
    return n < 0 ? QString() : QString::fromLocal8Bit(buf, int(n));
}

} // namespace

bool makeDeviceLink(const QString& link, const QString& target, QString* error) {
    const QByteArray l = QFile::encodeName(link);
    struct stat st {};
    if (::lstat(l.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            if (error)
                *error = QStringLiteral("%1 exists and is not a symbolic link").arg(link);
            return false;
        }
        ::unlink(l.constData());
    }
    if (::symlink(QFile::encodeName(target).constData(), l.constData()) != 0) {
        if (error)
            *error =
                QStringLiteral("cannot link %1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void removeDeviceLink(const QString& link, const QString& target) {
    const QByteArray l = QFile::encodeName(link);
    if (linkTarget(l) == target)
        ::unlink(l.constData());
}

#include "tools/drivesim/LogFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

LogFile::~LogFile() {
    close();
}

bool LogFile::open(const QString& path, const QString& what, QString* error) {
    close();
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0 && error)
        *error = QStringLiteral("cannot open the %1 %2: %3")
                     .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd_ >= 0;
}

void LogFile::appendLine(const QByteArray& text) {
    if (fd_ < 0)
        return;
    const QByteArray line = text + '\n';
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.constData() + done, std::size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

void LogFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

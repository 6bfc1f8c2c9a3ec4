#include "tools/drivesim/WriteLog.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

QString formatWriteLogLine(const SimWrite& write) {
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(write.time.time_since_epoch()).count();
    return QStringLiteral("%1 %2 %3")
        .arg(write.comNo)
        .arg(write.value)
        .arg(QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODateWithMs));
}

WriteLogFile::~WriteLogFile() {
    close();
}

bool WriteLogFile::open(const QString& path, QString* error) {
    close();
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0 && error)
        *error = QStringLiteral("cannot open the write log %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return fd_ >= 0;
}

void WriteLogFile::append(const SimWrite& write) {
    if (fd_ < 0)
        return;
    const QByteArray line = (formatWriteLogLine(write) + u'\n').toUtf8();
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

void WriteLogFile::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

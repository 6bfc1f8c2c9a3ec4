#include "tools/drivesim/WriteLog.h"

#include <QDateTime>

QString formatWriteLogLine(const SimWrite& write) {
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(write.time.time_since_epoch()).count();
    return QStringLiteral("%1 %2 %3")
        .arg(write.comNo)
        .arg(write.value)
        .arg(QDateTime::fromMSecsSinceEpoch(ms).toString(Qt::ISODateWithMs));
}

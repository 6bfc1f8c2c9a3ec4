#include "DrivesimProcess.h"

#include "TestPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>

DrivesimProcess::DrivesimProcess(const QStringList& arguments, const QString& link, bool forwardErrors) {
    if (forwardErrors)
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program(), arguments + QStringList{QStringLiteral("--link"), link});
    process.waitForStarted(5000);
    for (int i = 0;
         i < 500 && process.state() != QProcess::NotRunning && QFileInfo(link).symLinkTarget().isEmpty(); ++i)
        QThread::msleep(10);
}

DrivesimProcess::~DrivesimProcess() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

QString DrivesimProcess::program() {
    return binaryDir() + QStringLiteral("/tools/drivesim/drivesim");
}

QString DrivesimProcess::stop() {
    process.terminate();
    process.waitForFinished(5000);
    return QString::fromLocal8Bit(process.readAllStandardError());
}

QStringList shippedHxa1Arguments(const QString& programFolder) {
    return {"--protocol", "inverter",   "--data", programFolder, "--type", "HXA1",      "--cpu",
            "V110",       "--capacity", "-2004",  "--language",  "Eng",    "--station", "0"};
}

void DrivesimProcess::pause() {
    const qint64 pid = process.processId();
    ::kill(pid_t(pid), SIGSTOP);
    // The state letter follows the command's name in parentheses.
    for (int i = 0; i < 500; ++i) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        if (close > 0 && text.mid(close + 2, 1) == "T")
            return;
        QThread::msleep(2);
    }
}

void DrivesimProcess::resume() {
    ::kill(pid_t(process.processId()), SIGCONT);
}

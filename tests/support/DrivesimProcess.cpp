#include "DrivesimProcess.h"

#include "LoadedMachine.h"
#include "TestPaths.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>

DrivesimProcess::DrivesimProcess(const QStringList& arguments, const QString& link, bool forwardErrors) {
    if (forwardErrors)
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program(), arguments + QStringList{QStringLiteral("--link"), link});
    process.waitForStarted(kLoadedMachineMs);
    // It serves once it says so (the link is made just before); its errors forwarded, once the
    // link exists. The line stays for stop() to read.
    const QDeadlineTimer deadline(kLoadedMachineMs);
    process.setReadChannel(QProcess::StandardError);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        if (forwardErrors ? !QFileInfo(link).symLinkTarget().isEmpty()
                          : process.peek(process.bytesAvailable()).contains(" linked as "))
            break;
        if (forwardErrors)
            QThread::msleep(10);
        else
            process.waitForReadyRead(100);
    }
    process.setReadChannel(QProcess::StandardOutput);
}

DrivesimProcess::~DrivesimProcess() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kLoadedMachineMs)) {
        process.kill();
        process.waitForFinished(kLoadedMachineMs);
    }
}

QString DrivesimProcess::program() {
    return binaryDir() + QStringLiteral("/tools/drivesim/drivesim");
}

QString DrivesimProcess::stop() {
    process.terminate();
    process.waitForFinished(kLoadedMachineMs);
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

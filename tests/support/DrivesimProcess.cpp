#include "DrivesimProcess.h"

#include "TestPaths.h"

#include <QFileInfo>
#include <QThread>

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

// drivesim: a simulated drive on a pseudo-terminal, for trying the program without a drive
// and for the end-to-end tests and benchmarks.
#include "tools/drivesim/DeviceLink.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"
#include "tools/drivesim/DrivesimOptions.h"
#include "tools/drivesim/LineLog.h"
#include "tools/drivesim/PtyDriveServer.h"
#include "tools/drivesim/WriteLog.h"

#include <QStringList>
#include <csignal>
#include <cstdio>
#include <pthread.h>

namespace {

void say(const QString& text) {
    std::fprintf(stderr, "drivesim: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    DrivesimOptions opt;
    QString error;
    if (!parseDrivesimArgs(args, opt, &error)) {
        say(error);
        std::fputs(qPrintable(drivesimUsage()), stderr);
        return 2;
    }
    if (opt.help) {
        std::fputs(qPrintable(drivesimUsage()), stdout);
        return 0;
    }

    // The signals that end the run are taken by sigwait below, never by a handler, so the
    // serving thread is stopped and the link removed in plain code.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    DriveModel model;
    if (!model.load(opt.dataFolder, opt.drive, &error)) {
        say(error);
        return 1;
    }
    DriveSimulator simulator(model, opt.sim);
    WriteLogFile writeLog;
    if (!opt.writeLogPath.isEmpty()) {
        if (!writeLog.open(opt.writeLogPath, &error)) {
            say(error);
            return 1;
        }
        simulator.setWriteObserver([&writeLog](const SimWrite& w) { writeLog.append(w); });
    }
    LineLogFile lineLog;
    if (!opt.lineLogPath.isEmpty()) {
        if (!lineLog.open(opt.lineLogPath, &error)) {
            say(error);
            return 1;
        }
        simulator.setLineObserver([&lineLog](const SimLineEvent& e) { lineLog.append(e); });
    }
    PtyDriveServer server(simulator);
    server.setBusyPoll(opt.busyPoll);
    if (!server.open(&error)) {
        say(error);
        return 1;
    }
    if (!makeDeviceLink(opt.linkPath, server.slavePath(), &error)) {
        say(error);
        return 1;
    }
    model.setRampTime(std::chrono::milliseconds(opt.rampMs));
    if (opt.command >= 0)
        model.write(ComNoToRegister(u"FA01"), opt.command);
    for (const SimStatusEvent& e : opt.statusEvents)
        model.schedule(e); // counted from here, when the drive starts answering
    server.start();
    say(QStringLiteral("%1 %2(%3)%4 (type %5, capacity %6, CPU %7; %8 parameters) on %9, linked as %10")
            .arg(opt.sim.protocol == SimProtocol::Modbus ? QStringLiteral("MODBUS-RTU")
                                                         : QStringLiteral("inverter"),
                 opt.drive.typeName, opt.drive.cpuVersion, opt.drive.capacityName)
            .arg(model.typeCode())
            .arg(model.capacityCode())
            .arg(model.cpuNumber())
            .arg(model.parameterCount())
            .arg(server.slavePath(), opt.linkPath));

    int signal = 0;
    sigwait(&endSignals, &signal);
    server.stop();
    removeDeviceLink(opt.linkPath, server.slavePath());
    server.close();
    say(QStringLiteral("stopped after %1 requests, %2 replies")
            .arg(simulator.requestCount())
            .arg(simulator.replyCount()));
    return 0;
}

// From exec of the program to its first window answering input, as a user meets it: the
// program is started as a child process on the X display (scripts/bench.sh starts Xvfb with
// openbox when there is none) in a program folder laid out as scripts/run.sh lays it out (the
// shipped data, the settings of a user who has started it before, the drive search on), with
// the drivesim program on COM1 at 9,600 baud (drive:1) or COM1 a port that nothing answers on
// (drive:0), and COM2 to COM7 ports that nothing answers on: the start-up form searches them
// all. A window answers input when it is mapped and its program replies to the window
// manager's ping, which only a running event loop does. The first window is the start-up
// form; Return is pressed in it at once (the first Return ends a search still running, the
// next is its OK: it is pressed again every half second until another window answers) and the
// next window of the program to answer is timed too. The two cases take turns, start by
// start, so that a loaded machine weighs on both alike. Counters per case (10 starts each):
// first_window_ms (median) with first_window_iqr and first_window_max_ms, ok_to_main_ms
// (median, from the first Return to the main or table window answering: the end of the
// search, the drive type's loading and the connect) with ok_to_main_iqr.
//
// BM_PingsDuringTheSearch: the same start, but nothing is pressed: the start-up form is pinged
// from its first answer on for 8 s, one ping after the other's answer (5 ms apart), which covers
// the whole search (36 tries of 200 ms on each silent port, about 7.3 s). The drive is on COM1
// (found at once: the rest of the 8 s the form is idle), on COM3 (answering at once; its
// identity is read once COM1 and COM2 have been searched to their end) or on no port, the three
// cases taking turns (5 starts each). Counters per case: longest_ping_ms (median over the starts of the
// longest wait for an answer in a start) with longest_ping_iqr and longest_ping_max_ms (the longest of all),
// pings (median per start).
#include "BenchSupport.h"
#include "WindowWatch.h"
#include "support/DeafLine.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// A user who has started the program before: English, the last drive type stored, the drive
// search on (CheckInv=0) at the stored 9,600 baud, even parity, maker's protocol; COM1 to COM7
// are `ports`.
QString searchSettings(const QStringList& ports) {
    QString settings =
        QStringLiteral("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\nInvTypeNo=0\r\n"
                       "InvFormNo=0\r\nInvCpuNo=0\r\nInvType=HXA1\r\nInvForm=-2004\r\nInvCpu=V110\r\n"
                       "[Options]\r\nCheckLang=1\r\nCheckInv=0\r\n"
                       "[Comms]\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n[Ports]\r\n");
    for (int n = 0; n < ports.size(); ++n)
        settings += QStringLiteral("COM%1=%2\r\n").arg(n + 1).arg(ports.at(n));
    return settings;
}

// One start of the program in `folder`: exec to the first window answering, and the first
// Return to the next window answering; empty when a window did not answer.
struct Start {
    double firstMs = 0, okToMainMs = 0;
    bool ok = false;
};

Start startOnce(const ShippedProgramFolder& folder, WindowWatch& watch, const QProcessEnvironment& base) {
    QProcessEnvironment env = base;
    // The program's single-instance lock and file association stay inside the folder.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.dir.filePath(QStringLiteral("xdg")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Start r;
    QElapsedTimer t;
    t.start();
    program.start(QStringLiteral(KVR_PROGRAM), {});
    const xcb_window_t form =
        program.waitForStarted(5000) ? watch.waitForAnswer(program.processId(), 20000) : 0;
    r.firstMs = t.nsecsElapsed() / 1e6;
    // Return at once in the start-up form, again until the main window and the table follow.
    xcb_window_t shown = 0;
    t.restart();
    for (int i = 0; form && !shown && i < 40; ++i) {
        watch.pressReturn(form);
        shown = watch.waitForAnswer(program.processId(), 500, {form});
    }
    r.okToMainMs = t.nsecsElapsed() / 1e6;
    r.ok = form && shown;
    program.kill();
    program.waitForFinished(5000);
    return r;
}

// Seven pseudo-terminals with nothing behind them: the ports the search finds silent.
struct SilentPorts {
    SilentPorts() {
        for (const DeafLine& d : lines)
            paths << d.path;
    }
    bool ok() const { return !paths.contains(QString()); }
    DeafLine lines[7];
    QStringList paths;
};

// The simulated drive of the searches (maker's protocol, 9,600 baud) on `link`, serving the
// data of `folder`: false when its link did not appear.
bool startSearchDrive(QProcess& drive, const QString& folder, const QString& link) {
    drive.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    drive.start(QStringLiteral(KVR_DRIVESIM_PROGRAM),
                {"--protocol", "inverter", "--data", folder, "--type", "HXA1", "--cpu", "V110", "--capacity",
                 "-2004", "--language", "Eng", "--station", "1", "--link", link, "--wire-baud", "9600"});
    for (int i = 0; i < 500 && QFileInfo(link).symLinkTarget().isEmpty(); ++i)
        QThread::msleep(10);
    return !QFileInfo(link).symLinkTarget().isEmpty();
}

void BM_ExecToFirstWindowAnswering(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim-COM1"));
    // COM1 with nothing behind it for the case without a drive, COM2 to COM7 for both.
    const SilentPorts silent;
    const QStringList& deafPorts = silent.paths;
    ShippedProgramFolder withDrive(searchSettings(QStringList{link} + deafPorts.mid(1)));
    ShippedProgramFolder without(searchSettings(deafPorts));
    WindowWatch watch;
    if (!withDrive.ok || !without.ok || !watch.ok || !silent.ok()) {
        state.SkipWithError("no program folder, display or pseudo-terminal");
        return;
    }
    QProcess drive;
    if (!startSearchDrive(drive, withDrive.dir.path(), link)) {
        state.SkipWithError("no simulated drive");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    std::vector<double> first[2], next[2];
    int turn = 0;
    for (auto _ : state) {
        // With and without a drive take turns, and so does which of them goes first.
        for (int k = 0; k < 2; ++k) {
            const int c = (turn + k) % 2; // 1: with the drive
            const Start r = startOnce(c == 1 ? withDrive : without, watch, env);
            if (!r.ok) {
                state.SkipWithError(r.firstMs > 0 ? "no window answered after the start-up form"
                                                  : "no window answered");
                break;
            }
            first[c].push_back(r.firstMs);
            next[c].push_back(r.okToMainMs);
            if (c == 1)
                state.SetIterationTime(r.firstMs / 1000);
        }
        ++turn;
    }
    drive.terminate();
    if (!drive.waitForFinished(3000))
        drive.kill();
    for (int c = 0; c < 2; ++c) {
        if (first[c].empty())
            continue;
        const std::string name = c == 1 ? "drive_" : "nodrive_";
        const Spread f = spreadOf(first[c]), n = spreadOf(next[c]);
        state.counters[name + "first_window_ms"] = f.median;
        state.counters[name + "first_window_iqr"] = f.iqr;
        state.counters[name + "first_window_max_ms"] = *std::max_element(first[c].begin(), first[c].end());
        state.counters[name + "ok_to_main_ms"] = n.median;
        state.counters[name + "ok_to_main_iqr"] = n.iqr;
    }
}
BENCHMARK(BM_ExecToFirstWindowAnswering)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// How long the pings of one start waited, from the form's first answer on.
struct Pinged {
    double longestMs = 0;
    int pings = 0;
    bool ok = false;
};

constexpr int kPingForMs = 8000;
constexpr int kPingGapMs = 5;

Pinged pingSearch(const ShippedProgramFolder& folder, WindowWatch& watch, const QProcessEnvironment& base) {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.dir.filePath(QStringLiteral("xdg")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(KVR_PROGRAM), {});
    const xcb_window_t form =
        program.waitForStarted(5000) ? watch.waitForAnswer(program.processId(), 20000) : 0;
    Pinged r;
    if (form) {
        const auto [longest, pings] = watch.longestPing(form, kPingForMs, kPingGapMs, 5000);
        r = {longest, pings, longest >= 0};
    }
    program.kill();
    program.waitForFinished(5000);
    return r;
}

void BM_PingsDuringTheSearch(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim-drive"));
    const SilentPorts silent;
    const QStringList& deafPorts = silent.paths;
    const char* const names[] = {"com1_", "com3_", "nodrive_"};
    QStringList onCom3 = deafPorts;
    onCom3[2] = link;
    const ShippedProgramFolder folders[] = {
        ShippedProgramFolder(searchSettings(QStringList{link} + deafPorts.mid(1))),
        ShippedProgramFolder(searchSettings(onCom3)), ShippedProgramFolder(searchSettings(deafPorts))};
    WindowWatch watch;
    bool ready = watch.ok && silent.ok();
    for (const ShippedProgramFolder& f : folders)
        ready = ready && f.ok;
    if (!ready) {
        state.SkipWithError("no program folder, display or pseudo-terminal");
        return;
    }
    QProcess drive;
    if (!startSearchDrive(drive, folders[0].dir.path(), link)) {
        state.SkipWithError("no simulated drive");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    std::vector<double> longest[3], pings[3];
    int turn = 0;
    for (auto _ : state) {
        // The cases take turns, and so does which of them goes first.
        for (int k = 0; k < 3; ++k) {
            const int c = (turn + k) % 3;
            const Pinged r = pingSearch(folders[c], watch, env);
            if (!r.ok) {
                state.SkipWithError("the start-up form did not answer");
                break;
            }
            longest[c].push_back(r.longestMs);
            pings[c].push_back(r.pings);
            if (c == 1)
                state.SetIterationTime(r.longestMs / 1000);
        }
        ++turn;
    }
    drive.terminate();
    if (!drive.waitForFinished(3000))
        drive.kill();
    for (int c = 0; c < 3; ++c) {
        if (longest[c].empty())
            continue;
        const std::string name = names[c];
        const Spread l = spreadOf(longest[c]);
        state.counters[name + "longest_ping_ms"] = l.median;
        state.counters[name + "longest_ping_iqr"] = l.iqr;
        state.counters[name + "longest_ping_max_ms"] =
            *std::max_element(longest[c].begin(), longest[c].end());
        state.counters[name + "pings"] = spreadOf(pings[c]).median;
    }
}
BENCHMARK(BM_PingsDuringTheSearch)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

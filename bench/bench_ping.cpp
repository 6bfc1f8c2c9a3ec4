// How long the program's windows leave the window manager's ping unanswered while a lossy drive
// is on the line. The program promises that no window waits longer than 100 ms to answer,
// whatever the drive does. It runs in this process as the start-up makes it (started with a
// parameter file, the shipped HXA1 -2004 data), on the X display (scripts/bench.sh starts Xvfb
// with openbox when there is none), with the drivesim program on COM1 in a process of its own:
// MODBUS-RTU at 9,600 baud, 30 % of its replies never sent. The reply time-out (settings "Delay")
// is 200 ms, 1 s or 5 s, the longest the options allow.
//
// A thread with its own connection to the display pings the program's mapped top-level windows
// in turn, one ping after the other's answer (5 ms apart), and keeps the longest wait for an
// answer. Meanwhile, for 2.5 s, the user:
//   keypad:0  opens the monitor window, then activates the main window, the parameter table and
//             the monitor window in turn every 400 ms through the window manager (each
//             activation checks the drive; the monitor's reads the rated values and times the
//             line);
//   keypad:1  opens the keypad (its panel loop reads the drive's display) and enters a
//             frequency by "FC Direct Input" (its menu item, "30" typed, Enter) each time the last
//             entry's confirmation blink has ended.
// Then the keypad is closed (part of the run), and the ping under way is waited for. A ping that
// has waited past the promise and is still unanswered a second after the user's time is cut
// short: the drive's process is stopped, which ends any wait on the line (drive_stopped counts
// those runs; their longest wait is a lower bound).
//
// Counters per case (3 runs): longest_ping_ms (median over the runs of a run's longest wait)
// with longest_ping_iqr and longest_ping_max_ms (the longest of all); per run (median) the pings
// answered, the user's actions (window_switches, counted when the window asked for became the
// active one, or entries) and the message boxes answered (boxes).
#include "BenchSupport.h"
#include "WindowWatch.h"

#include "shell/MainWindow.h"
#include "shell/StartUp.h"
#include "ui/FormActivation.h"
#include "ui/KeypadWindow.h"
#include "ui/MonitorWindow.h"
#include "ui/ParameterTableWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

namespace {

constexpr int kRuns = 3;
constexpr int kUserMs = 2500;
constexpr int kSettleMs = 300; // from the show to the first ping: the windows are mapped and drawn
constexpr int kPingGapMs = 5;
constexpr int kSwitchEveryMs = 400;
constexpr int kEntryCheckMs = 300; // the next entry comes at the first check after the blink
constexpr int kTypeAfterMs = 150;  // from the menu item to the typing
constexpr int kGiveUpMs = 120000;  // a window silent this long is taken for hung
// A ping that has waited longer than the program promises, still unanswered this long after the
// user's time, is cut short: the drive's process is stopped, which ends any wait on the line.
constexpr double kPromiseMs = 100;
constexpr int kStopDriveAfterMs = 1000;

enum UserCase { Switches = 0, Keypad = 1 };

// The settings of a user who has chosen MODBUS at 9,600 baud and the time-out on COM1; the
// other ports name nothing (the machine's own serial devices stay out of it).
QString settingsFor(int timeoutMs, const QString& link, const QString& absent) {
    QString s =
        QStringLiteral("[Language]\r\nJapanese=0\r\nEnglish=0\r\n"
                       "[Comms]\r\nPrtocol=1\r\nBaudrate=3\r\nParity=1\r\nDelay=%1\r\n[Ports]\r\nCOM1=%2\r\n")
            .arg(timeoutMs)
            .arg(link);
    for (int n = 2; n <= 15; ++n)
        s += QStringLiteral("COM%1=%2\r\n").arg(n).arg(absent);
    return s;
}

// A parameter file of the drive type with one value, for the program to start with.
bool writeParameterFile(const QString& path) {
    const QByteArray text =
        "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n";
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// Runs the event loop for ms.
void runEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void postKey(QWidget* w, int key, const QString& text) {
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

// What one run saw.
struct Run {
    WindowWatch::PingRun pings;
    int actions = 0;
    bool driveStopped = false;
};

// The user's part of a run on this thread, the pings on a thread of their own; returns once the
// user is done (the keypad closed) and the ping under way has been answered.
Run runOnce(StartUp::Program& program, WindowWatch& watch, UserCase user, qint64 drivePid) {
    MainWindow& main = *program.main();
    Run run;
    QEventLoop loop;
    std::atomic<bool> stop{false}, driveStopped{false};
    using Clock = std::chrono::steady_clock;
    const Clock::time_point stopDriveAt =
        Clock::now() + std::chrono::milliseconds(kUserMs + kStopDriveAfterMs);
    std::thread pinger([&] {
        run.pings = watch.pingInTurn(
            QCoreApplication::applicationPid(), stop, kPingGapMs,
            [&](double waitedMs) {
                if (!driveStopped && waitedMs > kPromiseMs && Clock::now() > stopDriveAt) {
                    driveStopped = true;
                    ::kill(pid_t(drivePid), SIGTERM);
                }
            },
            kGiveUpMs);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    bool userOver = false;
    QTimer act;
    const std::vector<QWidget*> windows{&main, program.table(), program.monitor()};
    std::size_t next = 0;
    QWidget* asked = nullptr;
    if (user == Switches) {
        QObject::connect(&act, &QTimer::timeout, [&] {
            if (asked && FormActivation::lastActiveForm() == asked)
                ++run.actions;
            if (userOver)
                return;
            asked = windows[next++ % windows.size()];
            asked->raise();
            asked->activateWindow();
        });
        // The monitor window, opened from the main window, comes first (it shows itself active).
        QTimer::singleShot(0, &main, [&] {
            main.monitorChart();
            asked = program.monitor();
        });
        act.start(kSwitchEveryMs);
    } else {
        QObject::connect(&act, &QTimer::timeout, [&] {
            KeypadWindow* keypad = main.keypadWindow();
            if (userOver || !keypad || !keypad->isVisible() || keypad->panel().directInput())
                return;
            keypad->RKPDirectFC->trigger();
            ++run.actions;
            QTimer::singleShot(kTypeAfterMs, keypad, [keypad] {
                postKey(keypad->directInputEdit, Qt::Key_3, QStringLiteral("3"));
                postKey(keypad->directInputEdit, Qt::Key_0, QStringLiteral("0"));
                postKey(keypad->directInputEdit, Qt::Key_Return, QStringLiteral("\r"));
            });
        });
        act.start(kEntryCheckMs);
        // The keypad is modal: the rest of the run happens inside it. A keypad that could not
        // connect closes after its box; the user opens it again. Its close is the user's last
        // action.
        QTimer::singleShot(0, &main, [&] {
            while (!userOver)
                main.keyPad();
            stop = true;
        });
    }
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer); // a coarse one may come early
    QObject::connect(&end, &QTimer::timeout, [&] {
        userOver = true;
        act.stop();
        if (user == Switches)
            stop = true;
        else if (KeypadWindow* keypad = main.keypadWindow(); keypad && keypad->isVisible())
            keypad->panel().closePanel();
    });
    end.start(kUserMs);
    loop.exec();
    pinger.join();
    run.driveStopped = driveStopped;
    return run;
}

void BM_WindowPings(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    const int timeoutMs = int(state.range(0));
    const auto user = UserCase(state.range(1));
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim-COM1"));
    const ShippedProgramFolder folder(
        settingsFor(timeoutMs, link, simDir.filePath(QStringLiteral("absent"))));
    const QString kvr = folder.dir.filePath(QStringLiteral("p.kvr"));
    WindowWatch watch;
    if (!folder.ok || !writeParameterFile(kvr) || !watch.ok) {
        state.SkipWithError("no program folder or display");
        return;
    }
    // The program's own files (association, lock) stay in its folder.
    qputenv("XDG_RUNTIME_DIR", folder.dir.filePath(QStringLiteral("runtime")).toUtf8());
    qputenv("XDG_DATA_HOME", folder.dir.filePath(QStringLiteral("xdg")).toUtf8());
    const QStringList driveArgs{
        "--protocol",  "modbus",     "--data",  folder.dir.path(), "--type", "HXA1",      "--cpu",
        "V110",        "--capacity", "-2004",   "--language",      "Eng",    "--station", "0",
        "--wire-baud", "9600",       "--fault", "noreply:0.3"};
    BenchPrompter prompter;
    std::vector<double> longest, pings, actions, boxes;
    int stopped = 0;
    for (auto _ : state) {
        DriveProcess drive(driveArgs, link);
        if (!drive.ok) {
            state.SkipWithError("no simulated drive");
            return;
        }
        const int boxesBefore = prompter.boxes;
        Run r;
        {
            StartUp::Program program({folder.dir.path(), folder.dir.path(), kvr});
            program.options().setAssociationHandler([](bool) {});
            if (!program.create()) {
                state.SkipWithError("the program did not start");
                return;
            }
            program.showMain();
            runEvents(kSettleMs);
            r = runOnce(program, watch, user, drive.processId());
        }
        drive.stop();
        if (r.pings.unanswered) {
            state.SkipWithError("a window never answered");
            return;
        }
        longest.push_back(r.pings.longestMs);
        pings.push_back(r.pings.pings);
        actions.push_back(r.actions);
        boxes.push_back(prompter.boxes - boxesBefore);
        stopped += r.driveStopped;
        state.SetIterationTime(r.pings.longestMs / 1000);
    }
    if (longest.empty())
        return;
    const Spread l = spreadOf(longest);
    state.counters["longest_ping_ms"] = l.median;
    state.counters["longest_ping_iqr"] = l.iqr;
    state.counters["longest_ping_max_ms"] = *std::max_element(longest.begin(), longest.end());
    state.counters["pings"] = spreadOf(pings).median;
    state.counters[user == Switches ? "window_switches" : "entries"] = spreadOf(actions).median;
    state.counters["boxes"] = spreadOf(boxes).median;
    state.counters["drive_stopped"] = stopped;
}
BENCHMARK(BM_WindowPings)
    ->ArgNames({"reply_timeout_ms", "keypad"})
    ->ArgsProduct({{200, 1000, 5000}, {Switches, Keypad}})
    ->Iterations(kRuns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

// From the start of the program to the first show of its main window with a drive type of
// 2,000 parameters: settings, data store, drive-type tables, every window of the start, the
// connection and the first show with the filled table. The start-up form is answered at
// once (no detection); the drive is the simulated one on a pseudo-terminal named COM1, or
// none at all. The counters tell whether it connected and how many boxes were answered.
#include "BenchSupport.h"
#include "support/DeafLine.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "shell/MainWindow.h"
#include "shell/StartUp.h"
#include "ui/ParameterTableWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// The generated drive type with what a start needs besides it: a language file (messages
// only: the windows take their built-in English texts) and the user's data folder inside
// the program folder, so the file association touches nothing of the user's.
struct StartFolder : GeneratedDriveType {
    StartFolder() {
        if (!ok)
            return;
        QString general = QStringLiteral("[General]\r\n");
        for (int n = 1; n <= 110; ++n)
            general += QStringLiteral("Message%1=msg%1\r\n").arg(n);
        ok = QDir().mkpath(folder.filePath(QStringLiteral("lng"))) &&
             TextFile::writeText(folder.filePath(QStringLiteral("lng/English.ini")), general);
        qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("xdg")).toUtf8());
    }

    // The settings of a user who has started the program before, with COM1 at `port`.
    bool writeSettings(const QString& port) const {
        IniFile ini(folder.filePath(QStringLiteral("KVR260X.ini")));
        ini.eraseSection(QStringLiteral("Ports"));
        ini.writeInteger(QStringLiteral("Language"), QStringLiteral("Japanese"), 0);
        ini.writeInteger(QStringLiteral("Language"), QStringLiteral("English"), 0);
        if (!port.isEmpty())
            ini.writeString(QStringLiteral("Ports"), QStringLiteral("COM1"), port);
        return ini.flush();
    }

    // What the start-up form hands back when the user takes English and the drive type.
    void choose(ProgramContext& context) const {
        context.language.name = QStringLiteral("English");
        context.language.suffix = QStringLiteral("Eng");
        context.language.iniPath = context.language.folder + QStringLiteral("/English.ini");
        nameDriveType(context);
    }

    // A program of this folder whose start-up form answers as above (not yet created).
    std::unique_ptr<StartUp::Program> program() const {
        auto p = std::make_unique<StartUp::Program>(StartUp::Environment{folder.path(), {}, {}});
        p->startupForm = [this](MainWindow& m) { choose(m.context()); };
        return p;
    }
};

StartFolder& folder() {
    static StartFolder f;
    return f;
}

// Lets events through until the link has no exchange on its way (at most 5 s).
void waitForTheLink(CommLink& link) {
    QElapsedTimer t;
    t.start();
    for (int quiet = 0; quiet < 3 && t.elapsed() < 5000;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        quiet = link.backgroundPending() ? 0 : quiet + 1;
    }
}

// Arg 1: the simulated drive answers on COM1. Arg 0: the settings name no port, so the start
// takes the ports the machine has and waits in vain for a drive (real time above CPU time).
void BM_StartToFirstShow(benchmark::State& state) {
    StartFolder& f = folder();
    if (!f.ok) {
        state.SkipWithError("no program folder");
        return;
    }
    const bool withDrive = state.range(0) != 0;
    PtyDrive drive;
    if (withDrive) {
        SimDriveIdentity id{f.options.typeName, f.options.cpuVersion, f.options.capacityName};
        if (!drive.model.load(f.folder.path(), id) || !drive.start({})) {
            state.SkipWithError("no simulated drive");
            return;
        }
    }
    if (!f.writeSettings(withDrive ? drive.server->slavePath() : QString())) {
        state.SkipWithError("settings not written");
        return;
    }
    BenchPrompter prompter;
    int rows = 0;
    bool connected = false;
    for (auto _ : state) {
        state.PauseTiming();
        auto program = f.program();
        state.ResumeTiming();

        if (!program->create()) {
            state.SkipWithError("start-up aborted");
            break;
        }
        program->showMain();
        QCoreApplication::processEvents();

        state.PauseTiming();
        rows = program->table()->rows().size();
        // Connected only once the drive has answered: a probe still on its way is not.
        waitForTheLink(*program->link());
        connected = program->link()->keptConnection() == std::optional<bool>(true);
        program.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["connected"] = connected;
    state.counters["boxes"] = benchmark::Counter(prompter.boxes, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartToFirstShow)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Lets events through for ms; the longest time the event loop went without running a 2 ms
// timer (the window's longest freeze).
double longestStallMs(int ms) {
    QElapsedTimer total, tick;
    total.start();
    tick.start();
    double longest = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, tick.nsecsElapsed() / 1e6);
        tick.restart();
    });
    timer.start(2);
    while (total.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return std::max(longest, tick.nsecsElapsed() / 1e6);
}

void activate(QWidget* w) {
    QEvent e(QEvent::WindowActivate);
    QCoreApplication::sendEvent(w, &e);
    QCoreApplication::processEvents();
}

// COM1 is a port with nothing behind it, and the reply time-out is one second. The time is
// from the start to the moment the shown main window takes its first event; then the
// longest freeze of the next second (the probe's time-out passes in it) and of switching
// between the main and the table window ten times.
void BM_StartWithoutADrive(benchmark::State& state) {
    StartFolder& f = folder();
    DeafLine line;
    if (!f.ok || line.path.isEmpty() || !f.writeSettings(line.path)) {
        state.SkipWithError("no program folder or pseudo-terminal");
        return;
    }
    IniFile settings(f.folder.filePath(QStringLiteral("KVR260X.ini")));
    settings.writeInteger(QStringLiteral("Comms"), QStringLiteral("Delay"), 1000);
    if (!settings.flush()) {
        state.SkipWithError("settings not written");
        return;
    }
    BenchPrompter prompter;
    double stall = 0, switchMs = 0, switchStall = 0;
    int timeout = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto program = f.program();
        state.ResumeTiming();

        if (!program->create()) {
            state.SkipWithError("start-up aborted");
            break;
        }
        program->showMain();
        bool answered = false;
        QTimer::singleShot(0, program->main(), [&] { answered = true; });
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        state.PauseTiming();
        timeout = program->link()->replyTimeoutMs();
        stall = longestStallMs(1200);
        QElapsedTimer t;
        t.start();
        for (int k = 0; k < 10; ++k) {
            activate(program->table());
            activate(program->main());
        }
        switchMs = t.nsecsElapsed() / 1e6 / 20;
        switchStall = longestStallMs(300);
        program.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["reply_timeout_ms"] = timeout;
    state.counters["freeze_after_show_ms"] = stall;
    state.counters["window_switch_ms"] = switchMs;
    state.counters["freeze_after_switches_ms"] = switchStall;
    state.counters["boxes"] = benchmark::Counter(prompter.boxes, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartWithoutADrive)->Unit(benchmark::kMillisecond)->Iterations(3);

// A drive answering at the pace of a 9,600 baud line (the default speed) on COM1; its drive type
// asks for the special-setup check, so every activation of the main or the table window reads
// "0998" and "0999". One switch is the activation of the other window and its repaint, as a
// click makes them; the check's answer is let in before the next switch (and counted: reads
// per switch). Counters: switch_median_ms, switch_max_ms (the target is below 20 ms),
// reads_per_switch, connected.
void BM_WindowSwitchWithADrive(benchmark::State& state) {
    StartFolder& f = folder();
    PtyDrive drive;
    SimConfig config;
    config.wireBaud = 9600;
    SimDriveIdentity id{f.options.typeName, f.options.cpuVersion, f.options.capacityName};
    if (!f.ok || !drive.model.load(f.folder.path(), id) || !drive.start(config) ||
        !f.writeSettings(drive.server->slavePath())) {
        state.SkipWithError("no program folder or simulated drive");
        return;
    }
    BenchPrompter prompter;
    auto program = f.program();
    if (!program->create()) {
        state.SkipWithError("start-up aborted");
        return;
    }
    program->showMain();
    waitForTheLink(*program->link());
    const bool connected = program->link()->keptConnection() == std::optional<bool>(true);
    std::vector<double> ms;
    const long repliesBefore = drive.server->repliesSent();
    QWidget* windows[2] = {program->table(), program->main()};
    for (auto _ : state) {
        QWidget* w = windows[ms.size() % 2];
        QElapsedTimer t;
        t.start();
        activate(w);
        w->repaint();
        const double elapsed = t.nsecsElapsed() / 1e6;
        state.SetIterationTime(elapsed / 1000);
        ms.push_back(elapsed);
        state.PauseTiming();
        waitForTheLink(*program->link());
        state.ResumeTiming();
    }
    const Spread s = spreadOf(ms);
    state.counters["switch_median_ms"] = s.median;
    state.counters["switch_max_ms"] = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    state.counters["reads_per_switch"] =
        ms.empty() ? 0 : double(drive.server->repliesSent() - repliesBefore) / double(ms.size());
    state.counters["connected"] = connected;
    state.counters["boxes"] = prompter.boxes;
    program.reset();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_WindowSwitchWithADrive)->Iterations(40)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

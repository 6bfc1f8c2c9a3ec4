// From the start of the program to the first show of its main window with a drive type of
// 2,000 parameters: settings, data store, drive-type tables, every window of the start, the
// connection and the first show with the filled table. The start-up form is answered at
// once (no detection); the drive is the simulated one on a pseudo-terminal named COM1, or
// none at all. The counters tell whether it connected and how many boxes were answered.
#include "BenchSupport.h"

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
#include <benchmark/benchmark.h>

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
    void choose(ProgramContext& g) const {
        g.LanguageName = QStringLiteral("English");
        g.LanguageSuffix = QStringLiteral("Eng");
        g.LanguageIniPath = g.LanguageFolder + QStringLiteral("/English.ini");
        nameDriveType(g);
    }
};

StartFolder& folder() {
    static StartFolder f;
    return f;
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
        DriveIdentity id{f.options.typeName, f.options.cpuVersion, f.options.capacityName};
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
        auto program = std::make_unique<StartUp::Program>(StartUp::Environment{f.folder.path(), {}, {}});
        program->startupForm = [&f](MainWindow& m) { f.choose(m.context()); };
        state.ResumeTiming();

        if (!program->create()) {
            state.SkipWithError("start-up aborted");
            break;
        }
        program->showMain();
        QCoreApplication::processEvents();

        state.PauseTiming();
        rows = program->table()->rows().size();
        connected = program->link()->PortOpen() && !program->link()->CommError;
        program.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["connected"] = connected;
    state.counters["boxes"] = benchmark::Counter(prompter.boxes, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartToFirstShow)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

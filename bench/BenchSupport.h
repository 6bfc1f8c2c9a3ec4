#pragma once
// Set-ups the benchmarks share: a prompter that never opens a window, a generated drive type
// of 2,000 parameters with a program context of its own pointing at it, the parameter table
// window over it, the simulated drive on a pseudo-terminal with the program's link to it, and a
// program folder of the shipped data. (WindowWatch.h: the program's windows on the X display.)
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "platform/Prompter.h"
#include "support/DriveTypeGenerator.h"
#include "table/TableCommands.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"
#include "tools/drivesim/PtyDriveServer.h"
#include "ui/ParameterTableWindow.h"
#include "ui/PrompterAsker.h"

#include "platform/Clock.h"

#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

class CommLink;

// Installed while it lives. A box would stop the measurement: each one is counted and
// answered with its first button (Yes, else OK); file, colour, font and printer choices are
// cancelled.
class BenchPrompter : public Prompter {
public:
    BenchPrompter();
    ~BenchPrompter() override;
    BoxAnswer message(const QString&, const QString&, BoxIcon, BoxButtons buttons, QWidget*) override;
    QString openFile(const QString&, const QString&, const QString&, int, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int, const QString&, QWidget*) override {
        return {};
    }
    bool chooseColor(QColor&, QWidget*) override { return false; }
    bool chooseFont(QFont&, QWidget*) override { return false; }
    bool choosePrinter(QPrinter&, QWidget*) override { return false; }
    int boxes = 0;
};

// The asker of core's operations in the benchmarks: through the installed prompter.
inline Asker& benchAsker() {
    static PrompterAsker asker;
    return asker;
}

// A drive type of 2,000 parameters written into a temporary program folder; the context
// names its folders, files and names, and holds `store`. Not loaded yet. ok is false (after
// a warning) when the files cannot be written.
struct GeneratedDriveType {
    GeneratedDriveType();
    GeneratedDriveType(const GeneratedDriveType&) = delete;
    GeneratedDriveType& operator=(const GeneratedDriveType&) = delete;

    // The drive-type file, the capacity file and the working values.
    bool load();
    // What names the drive type in a context: its folders, Info.ini, type, capacity and CPU.
    void nameDriveType(ProgramContext& context) const;

    QTemporaryDir folder;
    DriveTypeGenerator::Options options;
    DriveTypeGenerator::Result files;
    ProgramContext context;
    Options programOptions{context};
    ParameterStore store;
    bool ok = false;
};

// The main window's side of the parameter table, reduced to its command states.
class BenchTableHost : public TableWindowHost {
public:
    explicit BenchTableHost(const ProgramContext& context) : context_(context) {}
    TableCommands& tableCommands() override { return commands; }
    QRect mainFrameGeometry() const override { return QRect(0, 0, 639, 51); }
    void setParaTableAct(bool) override {}
    void UpdateCurrentVoltageCommands() override;
    void CheckSpSetup() override {}
    Asker& asker() override { return benchAsker(); }
    TableCommands commands;

private:
    const ProgramContext& context_;
};

// The generated drive type loaded with maintenance unlocked (every parameter is a row),
// rated 10 A and 400 V, and the parameter table window created over it (hidden).
struct BenchParameterTable : GeneratedDriveType {
    BenchParameterTable();
    // Before the application goes: the window must not outlive it.
    void closeWindow() { table.reset(); }

    BenchPrompter prompter;
    BenchTableHost host{context};
    std::unique_ptr<ParameterTableWindow> table;
};

// Runs the registered benchmarks in an application without windows (timers and files need
// one); 1 for an argument the benchmark library does not know.
int runBenchmarks(int argc, char** argv);
// Runs the registered benchmarks in an application that can hold windows (off screen unless
// QT_QPA_PLATFORM says otherwise); `beforeQuit` frees the windows before it goes.
int runWindowBenchmarks(int argc, char** argv, const std::function<void()>& beforeQuit);

// Sets up p so that the process it starts gets `signal` when this process ends, however it
// ends (a benchmark killed or crashed leaves no child behind).
void endWithThisProcess(QProcess& p, int signal);

// The simulated drive serving `model` on a pseudo-terminal from a thread of its own.
struct PtyDrive {
    PtyDrive() = default;
    PtyDrive(const PtyDrive&) = delete;
    PtyDrive& operator=(const PtyDrive&) = delete;
    ~PtyDrive();

    // False when no pseudo-terminal can be opened or served.
    bool start(const SimConfig& config);

    DriveModel model;
    std::unique_ptr<DriveSimulator> sim;
    std::unique_ptr<PtyDriveServer> server;
};

// The drivesim program serving a generated drive type on a pseudo-terminal it links to `link`,
// in a process of its own (its processor time is not the program's); stopped when it goes.
// wireBaud 0: answers at once.
class DriveProcess {
public:
    DriveProcess(const GeneratedDriveType& type, SimProtocol protocol, const QString& link, int wireBaud,
                 bool busyPoll, const QStringList& more = {});
    // The drivesim program with these arguments besides its link.
    DriveProcess(const QStringList& arguments, const QString& link);
    ~DriveProcess();
    DriveProcess(const DriveProcess&) = delete;
    DriveProcess& operator=(const DriveProcess&) = delete;
    void stop();
    qint64 processId() const { return process_.processId(); }
    bool ok = false;

private:
    QProcess process_;
};

// The shipped data (languages, help, drive types) and `settings` as the settings file, in a
// program folder of its own, with a folder "runtime" for the program's XDG_RUNTIME_DIR.
struct ShippedProgramFolder {
    explicit ShippedProgramFolder(const QString& settings);
    QTemporaryDir dir;
    bool ok = false;
};

// The program's link to `drive` as its only port, "COM1", in the given protocol (1 MODBUS-RTU)
// and at the speed of the link's baud table entry, with a reply time-out of one second.
void attachLink(CommLink& link, const PtyDrive& drive, int protocol, int baudIndex);

// A few 16-bit unsigned parameters in a store of a program context of its own, as the
// exchange needs them.
struct SmallParameterTable {
    explicit SmallParameterTable(std::initializer_list<const char*> comNos);
    SmallParameterTable(const SmallParameterTable&) = delete;
    SmallParameterTable& operator=(const SmallParameterTable&) = delete;
    ProgramContext context;
    Options options{context};
    ParameterStore store;
};

// What a client needs and nothing more, the floor the program's exchange is measured against:
// write the request, poll, read until the reply is whole. For MODBUS it keeps the silent
// interval from the last byte read to the next request, to the microsecond, as the program does.
class MinimalClient {
public:
    MinimalClient(int fd, bool modbus, qint64 silenceWaitUs)
        : fd_(fd), modbus_(modbus), silenceWaitUs_(silenceWaitUs) {}
    // False when the line fails or the reply does not come within a second.
    bool exchange(std::span<const std::uint8_t> request, int replyLength);

private:
    int fd_;
    bool modbus_;
    qint64 silenceWaitUs_;
    qint64 quietFrom_ = 0;
    SystemClock clock_;
};

// With `wanted`, while it lives, asks the kernel to keep the processors out of idle states that
// take long to leave (a request of 0 us on /dev/cpu_dma_latency, as latency tests do): on a
// virtual machine leaving a halted processor costs tens of microseconds, and each exchange on a
// pseudo-terminal wakes three (the kernel's worker in each direction and the reader). A user's
// machine is not tuned so: the benchmarks measure with the idle states as they are and hold them
// only when asked (holdIdleRequested), then measure both ways. Needs write access to the device
// (root); `held` says whether the request stands.
class IdleLatencyHold {
public:
    explicit IdleLatencyHold(bool wanted);
    ~IdleLatencyHold();
    IdleLatencyHold(const IdleLatencyHold&) = delete;
    IdleLatencyHold& operator=(const IdleLatencyHold&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
// KVR_BENCH_HOLD_IDLE=1 (scripts/bench.sh --hold-idle): measure a second time with the hold.
bool holdIdleRequested();
// The values of an "idle_held" argument: 0, and 1 when asked.
std::vector<std::int64_t> idleHoldArgs();

// Median and interquartile spread of `values` (sorted here).
struct Spread {
    double median = 0;
    double iqr = 0;
};
Spread spreadOf(std::vector<double> values);

// Whole-table transfers of a 2,000-parameter drive type against the simulated drive, in both
// protocols:
//  - Wire38400: the drive is the drivesim program in a process of its own, as users have it
//    (sleeping on its line, not busy-polling), answering at the pace of a 38,400 baud line.
//    The job runs as the user runs it: in the transfer window shown on the display, started
//    with its Start button, the link's waits serving the windows as the program's do
//    ("NoWindow": the engine alone, waiting in poll). It is judged against a minimal client
//    that sends the same requests on the same line (write, poll, read): a pseudo-terminal alone costs a
//    trivial client 3-10 % beyond the wire, so the absolute ratio says little. Program and client run in
//    interleaved pairs (KVR_BENCH_PAIRS, at least 10), taking turns at going first, so that a loaded machine
//    weighs on both alike. Counters: "beyond_floor_pp" (median over the pairs of the job's time minus the
//    client's, in per cent of wire_ms: the program's own cost) and "beyond_floor_iqr" (its interquartile
//    spread), "pairs" and "pairs_above" (pairs in which the program took longer), "claim_ok" (1 when
//    beyond_floor_iqr is below half a point: only then does the median tell the program from the client to
//    half a point), "cpu_beyond_floor_pp" and "cpu_beyond_floor_iqr" (the same for the processor time of this
//    process: less shaken by other load than the clock), "floor_ratio" and "ratio" (medians of the client's
//    and the job's time over wire_ms + silence_ms), "wire_ms" (the bytes on such a line), "silence_ms"
//    (MODBUS: the silent interval the line requires between frames, counted once per exchange), "idle_held"
//    (see IdleLatencyHold; the held run only with KVR_BENCH_HOLD_IDLE=1);
//  - NoWireModel: the drive in a thread of this process, answering at once: parameters per
//    second and "cpu_ms", the processor time of a job (the program's and the drive's), of the
//    engine alone and in the transfer window ("Window").
#include "BenchSupport.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/TransferEngine.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include "ui/ResultWindow.h"
#include "ui/TransferWindow.h"

#include "tools/drivesim/LineLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>

namespace {

constexpr int kWireBaud = 38400;
constexpr int kBaudIndex = 5; // 38,400 in the link's table

// One request that crossed the line and the length of what came back.
struct Sent {
    std::vector<std::uint8_t> request;
    int replyLength = 0;
};

// Counts the bytes that cross the line and the requests, and keeps the exchanges while
// `log` is set.
class CountingPort : public TermiosSerialPort {
public:
    long long bytesOut = 0, bytesIn = 0, requests = 0;
    std::vector<Sent>* log = nullptr;
    int write(std::span<const std::uint8_t> data) override {
        const int n = TermiosSerialPort::write(data);
        bytesOut += n > 0 ? n : 0;
        ++requests;
        if (log)
            log->push_back({{data.begin(), data.end()}, 0});
        return n;
    }
    int read(std::span<std::uint8_t> buf) override {
        const int n = TermiosSerialPort::read(buf);
        bytesIn += n > 0 ? n : 0;
        if (log && !log->empty() && n > 0)
            log->back().replyLength += n;
        return n;
    }
};

// The generated drive type, loaded.
struct DriveType : GeneratedDriveType {
    DriveType() {
        // The window's status lines are messages of the language file.
        QStringList messages;
        for (int n = 0; n < 110; ++n)
            messages << QStringLiteral("Message %1").arg(n);
        store.setMessages(messages);
        ok = ok && load();
    }
};

DriveType& driveType() {
    static DriveType d;
    return d;
}

// The simulated drive (in this process, or as its own program with the wire model) and the
// program's link to it.
struct Bench {
    PtyDrive drive;
    std::unique_ptr<DriveProcess> process;
    CountingPort port;
    std::unique_ptr<CommLink> link;
    bool ok = false;

    // `driveArguments`: more of the drivesim program's (faults, a line log) with the wire model.
    Bench(SimProtocol protocol, bool wire, const QStringList& driveArguments = {}) {
        DriveType& d = driveType();
        if (!d.ok)
            return;
        link = std::make_unique<CommLink>(d.context, port, systemClock(), benchAsker());
        if (wire) {
            const QString path = d.folder.filePath(QStringLiteral("sim-COM1"));
            process = std::make_unique<DriveProcess>(d, protocol, path, kWireBaud, false, driveArguments);
            if (!process->ok)
                return;
            link->setPortPathResolver([path](const QString&) { return path; });
            link->setPortsFound({QStringLiteral("COM1")});
            link->updateSettings([&](LinkSettings& s) {
                s.protocol = protocol == SimProtocol::Modbus ? 1 : 0;
                s.baudIndex = kBaudIndex;
            });
            link->setFrameGap(frameGapForBaudIndex(kBaudIndex));
            link->setReplyTimeout(1000);
        } else {
            if (!drive.model.load(d.folder.path(),
                                  {d.options.typeName, d.options.cpuVersion, d.options.capacityName}))
                return;
            SimConfig config;
            config.protocol = protocol;
            if (!drive.start(config))
                return;
            attachLink(*link, drive, protocol == SimProtocol::Modbus ? 1 : 0, kBaudIndex);
        }
        ok = link->ConnectDrive();
    }
    // The link goes before the drive it talks to.
    ~Bench() { link.reset(); }
};

// The job a whole-table command prepares, with options that write every parameter and ask
// nothing.
TransferJob wholeTableJob(std::uint32_t mode) {
    DriveType& d = driveType();
    Options& o = d.programOptions;
    o.showTransferErrors.setChecked(false);
    o.exportChangedOnly.setChecked(false); // every parameter is written
    o.exportToEeprom.setChecked(true);
    TransferJob job;
    job.mode = mode;
    job.lastParaIndex = d.context.drive.lastIndex();
    return job;
}

// The processor time of this process (every thread of it; the drive is another process).
double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// One job's time, processor time and failures.
struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    int errors = 0;
};

// The minimal client sending `sent` on the program's line; errors 1 when an exchange failed.
Run replay(Bench& b, const std::vector<Sent>& sent, bool modbus) {
    MinimalClient client(b.port.fd(), modbus, modbus ? modbusSilenceUs(b.link->frameGapMs(), kWireBaud) : 0);
    const double cpu = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    for (const Sent& s : sent)
        if (!client.exchange(s.request, s.replyLength))
            return {0, 0, 1};
    return {t.nsecsElapsed() / 1e9, processCpuSeconds() - cpu, 0};
}

// One job without a window, the engine alone; `log` (when given) receives its exchanges.
Run runEngine(Bench& b, const TransferJob& job, std::vector<Sent>* log = nullptr) {
    DriveType& d = driveType();
    TransferEngine engine(d.context, d.programOptions, *b.link);
    engine.setJob(&job);
    engine.showReady(); // its texts; no window
    b.port.log = log;
    const double cpu = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    engine.start();
    const Run r{t.nsecsElapsed() / 1e9, processCpuSeconds() - cpu, engine.errorCount()};
    b.port.log = nullptr;
    return r;
}

// The transfer window over the bench's link when the job is `shown`, else none (the engine alone).
std::unique_ptr<TransferWindow> transferWindow(Bench& b, const MainWindowLinks& links, bool shown) {
    if (!shown)
        return nullptr;
    return std::make_unique<TransferWindow>(driveType().context, driveType().programOptions, *b.link, links);
}

// One job in the transfer window, shown and started with its Start button as the user does.
Run runInWindow(Bench& b, TransferWindow& window, const TransferJob& job, std::vector<Sent>* log = nullptr) {
    window.engine().setJob(&job);
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && wait.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
    b.port.log = log;
    const double cpu = processCpuSeconds();
    QElapsedTimer t;
    t.start();
    window.startButton->click();
    const Run r{t.nsecsElapsed() / 1e9, processCpuSeconds() - cpu, window.engine().errorCount()};
    b.port.log = nullptr;
    window.hide();
    QApplication::processEvents();
    return r;
}

// One job in the window when there is one, else by the engine alone.
Run runJob(Bench& b, TransferWindow* window, const TransferJob& job, std::vector<Sent>* log = nullptr) {
    return window ? runInWindow(b, *window, job, log) : runEngine(b, job, log);
}

int benchPairs() {
    return std::max(10, qEnvironmentVariableIntValue("KVR_BENCH_PAIRS"));
}

// Program and minimal client in interleaved pairs on the wire model.
void BM_TransferPairs(benchmark::State& state, SimProtocol protocol, std::uint32_t mode, bool shown,
                      bool holdIdle) {
    Bench b(protocol, true);
    if (!b.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    const bool modbus = protocol == SimProtocol::Modbus;
    const TransferJob job = wholeTableJob(mode);
    const MainWindowLinks links;
    const std::unique_ptr<TransferWindow> window = transferWindow(b, links, shown);
    // The program's start-up has the link's waits serve its windows.
    b.link->setServeWindowsWhileWaiting(shown);
    auto program = [&](std::vector<Sent>* log = nullptr) { return runJob(b, window.get(), job, log); };
    const IdleLatencyHold hold(holdIdle);
    // A first run, not counted, records the requests the client sends.
    std::vector<Sent> sent;
    const Run first = program(&sent);
    long long bytes = 0;
    for (const Sent& x : sent)
        bytes += qint64(x.request.size()) + x.replyLength;
    const double wireMs = double(bytes) * 11.0 * 1000.0 / kWireBaud;
    // The silent interval the line requires between frames, once per exchange.
    const double silenceMs =
        modbus ? double(sent.size()) * double(modbusSilenceUs(b.link->frameGapMs(), kWireBaud)) / 1000.0
               : 0.0;
    std::vector<double> beyond, cpuBeyond, ratio, floorRatio;
    int above = 0, errors = first.errors;
    for (auto _ : state) {
        for (int pair = 0; pair < benchPairs(); ++pair) {
            Run r, floor;
            // Taking turns at going first: neither side always meets the line fresh.
            if (pair % 2 == 0) {
                r = program();
                floor = replay(b, sent, modbus);
            } else {
                floor = replay(b, sent, modbus);
                r = program();
            }
            if (floor.errors > 0) {
                state.SkipWithError("the minimal client's exchange failed");
                return;
            }
            errors += r.errors;
            const double ms = r.seconds * 1000.0, floorMs = floor.seconds * 1000.0;
            beyond.push_back((ms - floorMs) * 100.0 / wireMs);
            cpuBeyond.push_back((r.cpuSeconds - floor.cpuSeconds) * 1000.0 * 100.0 / wireMs);
            ratio.push_back(ms / (wireMs + silenceMs));
            floorRatio.push_back(floorMs / (wireMs + silenceMs));
            above += ms > floorMs ? 1 : 0;
        }
        state.SetIterationTime(spreadOf(ratio).median * (wireMs + silenceMs) / 1000.0);
    }
    const Spread d = spreadOf(beyond);
    const Spread c = spreadOf(cpuBeyond);
    state.counters["parameters"] = driveType().context.drive.lastIndex() + 1;
    state.counters["failed"] = errors;
    state.counters["wire_ms"] = wireMs;
    state.counters["silence_ms"] = silenceMs;
    state.counters["ratio"] = spreadOf(ratio).median;
    state.counters["floor_ratio"] = spreadOf(floorRatio).median;
    state.counters["beyond_floor_pp"] = d.median;
    state.counters["beyond_floor_iqr"] = d.iqr;
    state.counters["claim_ok"] = d.iqr < 0.5 ? 1 : 0;
    state.counters["cpu_beyond_floor_pp"] = c.median;
    state.counters["cpu_beyond_floor_iqr"] = c.iqr;
    state.counters["pairs"] = double(beyond.size());
    state.counters["pairs_above"] = above;
    state.counters["idle_held"] = hold.held() ? 1 : 0;
}

// What a faulty reply costs the user: the import of the first kFaultParameters parameters in
// the window, reply time-out 200 ms, with the drive on the wire model keeping 5 % of its replies
// back or sending them 300 ms late (from a fixed seed), against the same import from the drive
// without faults. Counters: "hits" (replies kept back or sent late, from the drive's line log),
// "ms_per_hit" (the import's time beyond the clean one, per hit; a lost MODBUS reply includes the
// sync behind it), "failed" (parameters the import listed as failed) and "boxes".
constexpr int kFaultParameters = 600;
constexpr int kFaultTimeoutMs = 200;

struct FaultRun {
    double seconds = 0;
    int failed = 0;
    int hits = 0;
};

FaultRun importWithFault(SimProtocol protocol, const QString& fault) {
    const QString log = driveType().folder.filePath(QStringLiteral("fault-line.log"));
    QFile::remove(log);
    QStringList arguments{"--line-log", log, "--seed", "7"};
    if (!fault.isEmpty())
        arguments << "--fault" << fault;
    Bench b(protocol, true, arguments);
    if (!b.ok)
        return {-1, 0, 0};
    b.link->setReplyTimeout(kFaultTimeoutMs);
    b.link->setServeWindowsWhileWaiting(true);
    TransferJob job = wholeTableJob(kModeImport);
    job.lastParaIndex = kFaultParameters - 1;
    const MainWindowLinks links;
    TransferWindow window(driveType().context, driveType().programOptions, *b.link, links);
    const Run r = runInWindow(b, window, job);
    b.process->stop();
    FaultRun out{r.seconds, r.errors, 0};
    std::map<long, qint64> asked;
    for (const LineLogEntry& e : readLineLog(log)) {
        if (e.kind == SimLineEvent::Kind::Request)
            asked[e.request] = e.us;
        else if (e.kind == SimLineEvent::Kind::Dropped)
            ++out.hits;
        else if (e.kind == SimLineEvent::Kind::Reply && asked.count(e.request) &&
                 e.us - asked[e.request] > 250 * 1000)
            ++out.hits;
    }
    return out;
}

void BM_FaultCost(benchmark::State& state, SimProtocol protocol, const char* fault) {
    BenchPrompter prompter; // counts the boxes, "Display Communication Error" being off
    FaultRun clean, faulty;
    for (auto _ : state) {
        clean = importWithFault(protocol, QString());
        faulty = importWithFault(protocol, QString::fromLatin1(fault));
        if (clean.seconds < 0 || faulty.seconds < 0) {
            state.SkipWithError("no simulated drive");
            return;
        }
        state.SetIterationTime(faulty.seconds);
    }
    state.counters["hits"] = faulty.hits;
    state.counters["ms_per_hit"] =
        faulty.hits > 0 ? (faulty.seconds - clean.seconds) * 1000.0 / faulty.hits : 0.0;
    state.counters["failed"] = faulty.failed;
    state.counters["clean_failed"] = clean.failed;
    state.counters["boxes"] = prompter.boxes;
}

// How soon the next request follows a reply, seen from the drive (its line log: the reply's
// last byte out to the next request's last byte in): the import of the first kFaultParameters
// parameters in the window against the minimal client sending the same requests, waiting the
// same silent interval (MODBUS), in kTurnaroundPairs interleaved pairs. Counters: "program_us"
// and "client_us" (medians over every exchange of the runs), "beyond_us" (their difference).
constexpr int kTurnaroundPairs = 6;

// The times from each reply to the next request logged within [fromUs, toUs].
std::vector<qint64> turnarounds(const std::vector<LineLogEntry>& log, qint64 fromUs, qint64 toUs) {
    std::vector<qint64> out;
    qint64 replyAt = -1;
    for (const LineLogEntry& e : log) {
        if (e.us < fromUs || e.us > toUs)
            continue;
        if (e.kind == SimLineEvent::Kind::Reply)
            replyAt = e.us;
        else if (e.kind == SimLineEvent::Kind::Request && replyAt >= 0) {
            out.push_back(e.us - replyAt);
            replyAt = -1;
        }
    }
    return out;
}

double medianOf(std::vector<qint64> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[v.size() / 2]);
}

void BM_Turnaround(benchmark::State& state, SimProtocol protocol) {
    const QString logPath = driveType().folder.filePath(QStringLiteral("turnaround-line.log"));
    QFile::remove(logPath);
    Bench b(protocol, true, {"--line-log", logPath});
    if (!b.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    const bool modbus = protocol == SimProtocol::Modbus;
    b.link->setServeWindowsWhileWaiting(true);
    TransferJob job = wholeTableJob(kModeImport);
    job.lastParaIndex = kFaultParameters - 1;
    const MainWindowLinks links;
    TransferWindow window(driveType().context, driveType().programOptions, *b.link, links);
    std::vector<Sent> sent;
    runInWindow(b, window, job, &sent);
    SystemClock clock;
    std::vector<std::pair<qint64, qint64>> programRuns, clientRuns;
    for (auto _ : state) {
        for (int pair = 0; pair < kTurnaroundPairs; ++pair) {
            for (int side = 0; side < 2; ++side) {
                const bool program = (pair + side) % 2 == 0;
                const qint64 from = clock.nowUs();
                if (program)
                    runInWindow(b, window, job);
                else
                    replay(b, sent, modbus);
                (program ? programRuns : clientRuns).push_back({from, clock.nowUs()});
            }
        }
        state.SetIterationTime(0.001);
    }
    b.process->stop();
    const std::vector<LineLogEntry> log = readLineLog(logPath);
    std::vector<qint64> programGaps, clientGaps;
    for (const auto& [from, to] : programRuns)
        for (const qint64 gap : turnarounds(log, from, to))
            programGaps.push_back(gap);
    for (const auto& [from, to] : clientRuns)
        for (const qint64 gap : turnarounds(log, from, to))
            clientGaps.push_back(gap);
    const double programUs = medianOf(programGaps), clientUs = medianOf(clientGaps);
    state.counters["program_us"] = programUs;
    state.counters["client_us"] = clientUs;
    state.counters["beyond_us"] = programUs - clientUs;
    state.counters["exchanges"] = double(programGaps.size());
}

// The engine alone with the drive answering at once: what the program's own work costs.
// With `shown`, in the transfer window: what the window adds to a job besides its wire time.
void BM_Transfer(benchmark::State& state, SimProtocol protocol, std::uint32_t mode, bool shown) {
    Bench b(protocol, false);
    if (!b.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    const TransferJob job = wholeTableJob(mode);
    const MainWindowLinks links;
    const std::unique_ptr<TransferWindow> window = transferWindow(b, links, shown);
    int errors = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const Run r = runJob(b, window.get(), job);
        state.SetIterationTime(r.seconds);
        errors += r.errors;
        cpuSeconds += r.cpuSeconds;
    }
    state.counters["cpu_ms"] = cpuSeconds * 1000.0 / double(state.iterations());
    state.counters["parameters"] = driveType().context.drive.lastIndex() + 1;
    state.counters["failed"] = errors / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * std::int64_t(driveType().context.drive.lastIndex() + 1));
}

// The same reads without the engine: what the link and the line cost by themselves.
void BM_BareReads(benchmark::State& state, SimProtocol protocol, bool wire) {
    Bench b(protocol, wire);
    if (!b.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    const int last = driveType().context.drive.lastIndex();
    long long bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        const long long before = b.port.bytesOut + b.port.bytesIn;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i <= last; ++i)
            b.link->transactNoted(i, QString(), QStringLiteral("R"));
        const double s = t.nsecsElapsed() / 1e9;
        state.SetIterationTime(s);
        seconds += s;
        bytes += b.port.bytesOut + b.port.bytesIn - before;
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(last + 1));
    if (wire) {
        const double n = double(state.iterations());
        const double wireMs = bytes * 11.0 * 1000.0 / kWireBaud / n;
        state.counters["wire_ms"] = wireMs;
        state.counters["overhead_pct"] = (seconds * 1000.0 / n - wireMs) * 100.0 / wireMs;
    }
}

void registerAll() {
    for (SimProtocol p : {SimProtocol::Inverter, SimProtocol::Modbus})
        benchmark::RegisterBenchmark((std::string("BM_Turnaround/") +
                                      (p == SimProtocol::Modbus ? "Modbus" : "Inverter") + "/Wire38400")
                                         .c_str(),
                                     BM_Turnaround, p)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    for (SimProtocol p : {SimProtocol::Inverter, SimProtocol::Modbus})
        for (const char* fault : {"noreply:0.05", "late:0.05:300"})
            benchmark::RegisterBenchmark((std::string("BM_FaultCost/") +
                                          (p == SimProtocol::Modbus ? "Modbus" : "Inverter") + "/" +
                                          (fault[0] == 'n' ? "Lost5" : "Late300At5"))
                                             .c_str(),
                                         BM_FaultCost, p, fault)
                ->UseManualTime()
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_BareReads/Inverter/Wire38400", BM_BareReads, SimProtocol::Inverter, true)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_BareReads/Inverter/NoWireModel", BM_BareReads, SimProtocol::Inverter,
                                 false)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    for (SimProtocol p : {SimProtocol::Inverter, SimProtocol::Modbus}) {
        const std::string name = p == SimProtocol::Modbus ? "Modbus" : "Inverter";
        for (std::uint32_t mode : {std::uint32_t(kModeImport), std::uint32_t(kModeExport)}) {
            const std::string job = mode == kModeImport ? "Import" : "Export";
            // The engine alone beside the window only where the two are told apart.
            for (bool shown : {true, false}) {
                if (!shown && !(p == SimProtocol::Inverter && mode == kModeImport))
                    continue;
                for (std::int64_t held : idleHoldArgs())
                    benchmark::RegisterBenchmark(("BM_" + job + "/" + name + "/Wire38400/" +
                                                  (shown ? "Window" : "NoWindow") +
                                                  (held ? "/idle_held" : ""))
                                                     .c_str(),
                                                 BM_TransferPairs, p, mode, shown, held == 1)
                        ->UseManualTime()
                        ->Iterations(1)
                        ->Unit(benchmark::kMillisecond);
            }
            for (bool shown : {false, true})
                benchmark::RegisterBenchmark(
                    ("BM_" + job + "/" + name + "/NoWireModel" + (shown ? "/Window" : "")).c_str(),
                    BM_Transfer, p, mode, shown)
                    ->UseManualTime()
                    ->Iterations(5)
                    ->Unit(benchmark::kMillisecond);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    // The transfer window on the X display when there is one (as a user sees it), else off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    if (!driveType().ok)
        return EXIT_FAILURE;
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}

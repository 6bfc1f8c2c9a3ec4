// Whole-table transfers of a 2,000-parameter drive type against the simulated drive, in both
// protocols:
//  - Wire38400: the drive is the drivesim program in a process of its own, busy-polling its
//    line as a drive's firmware does (so its wake-up is not charged to the program) and
//    answering at the pace of a 38,400 baud line. The job is judged against a minimal client
//    that sends the same requests on the same line right after it (write, poll, read): a
//    pseudo-terminal alone costs a trivial client 3-10 % beyond the wire, so the absolute ratio
//    says little. Counters: "beyond_floor_pp" (the job's time minus the minimal client's, in
//    per cent of wire_ms: the program's own cost), "floor_ratio" (the minimal client's time
//    over wire_ms + silence_ms), "ratio" (the job's), "wire_ms" (the bytes on such a line),
//    "silence_ms" (MODBUS: the silent interval the line requires between frames, counted once
//    per exchange), "overhead_pct" (ratio beyond 1, in %), "idle_held" (see IdleLatencyHold;
//    the held run only with KVR_BENCH_HOLD_IDLE=1);
//  - NoWireModel: the drive in a thread of this process, answering at once: parameters per
//    second.
#include "BenchSupport.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/TransferEngine.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <cstdlib>
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
    DriveType() { ok = ok && load(); }
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

    Bench(SimProtocol protocol, bool wire) {
        DriveType& d = driveType();
        if (!d.ok)
            return;
        link = std::make_unique<CommLink>(d.context, port, systemClock(), benchAsker());
        if (wire) {
            const QString path = d.folder.filePath(QStringLiteral("sim-COM1"));
            process = std::make_unique<DriveProcess>(d, protocol, path, kWireBaud, true);
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

// One whole-table job; its time, and the bytes and exchanges it took.
struct Run {
    double seconds = 0;
    long long bytes = 0;
    long long exchanges = 0;
    int errors = 0;
    double floorSeconds = 0; // the minimal client, the same requests
};

// The minimal client sending `sent` on the program's line; seconds, or -1 when one failed.
double replay(Bench& b, const std::vector<Sent>& sent, bool modbus) {
    MinimalClient client(b.port.fd(), modbus,
                         modbus ? modbusSilenceUs(b.link->frameGapMs(), kWireBaud) + kSilenceMarginUs : 0);
    QElapsedTimer t;
    t.start();
    for (const Sent& s : sent)
        if (!client.exchange(s.request, s.replyLength))
            return -1;
    return t.nsecsElapsed() / 1e9;
}

Run runJob(Bench& b, std::uint32_t mode, bool withFloor, bool modbus) {
    DriveType& d = driveType();
    Options& o = d.programOptions;
    o.showTransferErrors.setChecked(false);
    o.exportChangedOnly.setChecked(false); // every parameter is written
    o.exportToEeprom.setChecked(true);
    TransferJob job;
    job.mode = mode;
    job.lastParaIndex = d.context.drive.lastIndex();
    TransferEngine engine(d.context, o, *b.link);
    engine.setJob(&job);
    engine.showReady(); // its texts; no window
    const long long before = b.port.bytesOut + b.port.bytesIn;
    const long long requests = b.port.requests;
    std::vector<Sent> sent;
    if (withFloor)
        b.port.log = &sent;
    QElapsedTimer t;
    t.start();
    engine.start();
    Run r;
    r.seconds = t.nsecsElapsed() / 1e9;
    b.port.log = nullptr;
    r.bytes = b.port.bytesOut + b.port.bytesIn - before;
    r.exchanges = b.port.requests - requests;
    r.errors = engine.errorCount();
    if (withFloor)
        r.floorSeconds = replay(b, sent, modbus);
    return r;
}

void BM_Transfer(benchmark::State& state, SimProtocol protocol, std::uint32_t mode, bool wire,
                 bool holdIdle) {
    Bench b(protocol, wire);
    if (!b.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    const IdleLatencyHold hold(holdIdle);
    Run total;
    for (auto _ : state) {
        const Run r = runJob(b, mode, wire, protocol == SimProtocol::Modbus);
        if (r.floorSeconds < 0) {
            state.SkipWithError("the minimal client's exchange failed");
            return;
        }
        state.SetIterationTime(r.seconds);
        total.seconds += r.seconds;
        total.bytes += r.bytes;
        total.exchanges += r.exchanges;
        total.errors += r.errors;
        total.floorSeconds += r.floorSeconds;
    }
    const double n = double(state.iterations());
    state.counters["parameters"] = driveType().context.drive.lastIndex() + 1;
    state.counters["failed"] = total.errors / n;
    state.SetItemsProcessed(state.iterations() * std::int64_t(driveType().context.drive.lastIndex() + 1));
    if (wire) {
        const double wireMs = total.bytes * 11.0 * 1000.0 / kWireBaud / n;
        // The silent interval the line requires between frames, once per exchange.
        const double silenceMs =
            protocol == SimProtocol::Modbus
                ? total.exchanges * modbusSilenceUs(b.link->frameGapMs(), kWireBaud) / 1000.0 / n
                : 0.0;
        const double ms = total.seconds * 1000.0 / n;
        state.counters["wire_ms"] = wireMs;
        state.counters["silence_ms"] = silenceMs;
        state.counters["ratio"] = ms / (wireMs + silenceMs);
        state.counters["overhead_pct"] = (ms - silenceMs - wireMs) * 100.0 / wireMs;
        const double floorMs = total.floorSeconds * 1000.0 / n;
        state.counters["floor_ratio"] = floorMs / (wireMs + silenceMs);
        state.counters["beyond_floor_pp"] = (ms - floorMs) * 100.0 / wireMs;
        state.counters["idle_held"] = hold.held() ? 1 : 0;
    }
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
            for (std::int64_t held : idleHoldArgs())
                benchmark::RegisterBenchmark(
                    ("BM_" + job + "/" + name + "/Wire38400" + (held ? "/idle_held" : "")).c_str(),
                    BM_Transfer, p, mode, true, held == 1)
                    ->UseManualTime()
                    ->Iterations(1)
                    ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("BM_" + job + "/" + name + "/NoWireModel").c_str(), BM_Transfer, p,
                                         mode, false, false)
                ->UseManualTime()
                ->Iterations(3)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!driveType().ok)
        return EXIT_FAILURE;
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}

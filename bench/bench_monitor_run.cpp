// The monitor run:
//   BM_RunSampleBeyondTheExchange  what one sample of four channels costs besides its four
//                                  exchanges (the drive answers in process, at once; the run
//                                  never waits). Counters: sample_us, exchanges_us, beyond_us.
//   BM_RunPacing                   samples paced by the system's clock and event loop against
//                                  the simulated drive on a pseudo-terminal at the pace of a
//                                  38,400 baud line, with the monitor window shown (its chart
//                                  and readouts follow the samples) over the main window (its
//                                  link icon follows the exchanges), with one and with ten
//                                  items, only at periods the window offers for them: its
//                                  activation measures the link, and the shortest period it
//                                  offers is the item time it works out (the read time plus
//                                  the margin option, rounded down to 50 ms, plus 50) times
//                                  the items (the time base, five samples a division, five
//                                  times that). Period 0 is that shortest one; a period asked
//                                  for below it is skipped. How late each
//                                  sample's first request is written against the schedule
//                                  start + k x period. Counters: median_us (the target is 200
//                                  at most), p99_us (of 100 samples the largest but one; of
//                                  fewer, the largest), max_us, last_us (the last sample: no
//                                  drift), late (samples that missed their whole slot),
//                                  period_us (the period run), shortest_ms (the shortest
//                                  period offered), read_ms (the read time measured).
//   BM_RecordingMemory             a continuous recording of 10^6 samples: the resident size
//                                  after 10^4 and after 10^6 samples (flat: the chart keeps
//                                  what it can, the file the rest). Counters: rss_10k_kb,
//                                  rss_1m_kb, growth_kb, file_mb.
#include "BenchSupport.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "monitor/ContinuousRecorder.h"
#include "monitor/MonitorModel.h"
#include "monitor/MonitorRun.h"
#include "monitor/RunPacing.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "shell/MainWindow.h"
#include "ui/MonitorWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// "0000", ten channels' items, and the drive's key flag and key code.
const char* const kNumbers[] = {"0000", "FD00", "FD01", "FD03", "FD04", "FD05", "FD06",
                                "FD07", "FD08", "FD09", "FD0A", "FA10", "FA11"};

// A port whose drive answers in the same call, so an exchange costs only the link's work.
class InstantPort : public SerialPort {
public:
    explicit InstantPort(DriveSimulator& sim) : sim_(sim) {}
    SerialError open(const QString& path, int, int, SerialParity, SerialStopBits) override {
        path_ = path;
        open_ = true;
        return SerialError::None;
    }
    SerialError probe(const QString&) override { return SerialError::None; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    QString path() const override { return path_; }
    void purgeOutput() override {}
    void purgeInput() override { in_.clear(); }
    void setRts(bool) override {}
    int outputQueued() override { return 0; }
    int inputQueued() override { return int(in_.size()); }
    int write(std::span<const std::uint8_t> data) override {
        for (SimReply& r : sim_.respondToWrite(data))
            in_.insert(in_.end(), r.bytes.begin(), r.bytes.end());
        return int(data.size());
    }
    bool drain(int) override { return true; }
    int read(std::span<std::uint8_t> buf) override {
        const std::size_t n = std::min(buf.size(), in_.size());
        std::copy_n(in_.begin(), n, buf.begin());
        in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(n));
        return int(n);
    }
    WaitResult waitReadable(int) override { return in_.empty() ? WaitResult::Timeout : WaitResult::Readable; }

private:
    DriveSimulator& sim_;
    std::deque<std::uint8_t> in_;
    QString path_;
    bool open_ = false;
};

// Never waits: every deadline has come at once.
class NoWaitPacer : public RunPacer {
public:
    qint64 nowMicros() const override { return now_; }
    Wake waitUntil(qint64 deadline) override {
        now_ = std::max(now_, deadline);
        if (onWait)
            onWait();
        return Wake::Deadline;
    }
    void interrupt() override {}
    std::function<void()> onWait;

private:
    qint64 now_ = 0;
};

// The line to the drive, noting when the first request after each due time is written.
class TimedPort : public TermiosSerialPort {
public:
    explicit TimedPort(FineClock& clock) : clock_(clock) {}
    int write(std::span<const std::uint8_t> data) override {
        if (due_) {
            lateness.push_back(clock_.nowMicros() - *due_);
            due_.reset();
        }
        return TermiosSerialPort::write(data);
    }
    void expect(qint64 due) { due_ = due; }
    std::vector<qint64> lateness;

private:
    FineClock& clock_;
    std::optional<qint64> due_;
};

// The system's pacer, telling the port each due time.
class MeasuringPacer : public RunPacer {
public:
    MeasuringPacer(FineClock& clock, TimedPort& port) : clock_(clock), port_(port), inner_(clock) {}
    qint64 nowMicros() const override { return clock_.nowMicros(); }
    Wake waitUntil(qint64 deadline) override {
        const Wake w = inner_.waitUntil(deadline);
        if (w == Wake::Deadline)
            port_.expect(deadline);
        return w;
    }
    void interrupt() override { inner_.interrupt(); }

private:
    FineClock& clock_;
    TimedPort& port_;
    EventLoopPacer inner_;
};

// The monitor's model over the small table: the first `channels` items after "0000", at the
// shortest time base the model offers for them.
void setUpChannels(MonitorModel& m, int channels) {
    for (int i = 0; i < kMonitorChannels; ++i)
        m.channels[std::size_t(i)].checked = i < channels;
    for (int i = 0; i < channels; ++i) {
        MonChannelRec& r = m.ChannelRecs[std::size_t(i)];
        r.ParaIndex = i + 1; // after "0000"
        r.Byte = 2;
        r.Mul = 100;
    }
    m.recount();
    m.setPointsPerChannel(10000);
}

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_RunSampleBeyondTheExchange(benchmark::State& state) {
    BenchPrompter prompter;
    SmallParameterTable table{kNumbers[0],  kNumbers[1],  kNumbers[2], kNumbers[3], kNumbers[4],
                              kNumbers[5],  kNumbers[6],  kNumbers[7], kNumbers[8], kNumbers[9],
                              kNumbers[10], kNumbers[11], kNumbers[12]};
    DriveModel drive;
    for (const char* n : kNumbers)
        drive.setParameter(QString::fromLatin1(n), 1234);
    DriveSimulator sim(drive, SimConfig{});
    InstantPort port(sim);
    ManualClock clock;
    CommLink link(table.context, port, clock, benchAsker());
    link.setPortPathResolver([](const QString&) { return QStringLiteral("/dev/instant"); });
    link.setPortsFound({QStringLiteral("COM1")});
    Options options{table.context};
    MonitorModel model(table.context, options, link);
    constexpr int kChannels = 4;
    setUpChannels(model, kChannels); // the pacer never waits: the period does not count
    NoWaitPacer pacer;
    MonitorRun run(model, pacer);

    constexpr int kSamples = 2000;
    double sampleUs = 0, exchangeUs = 0;
    for (auto _ : state) {
        model.setPointsPerChannel(kSamples - 1);
        const auto t0 = std::chrono::steady_clock::now();
        run.start();
        const auto t1 = std::chrono::steady_clock::now();
        for (int k = 0; k < kSamples; ++k)
            for (int i = 0; i < kChannels; ++i)
                benchmark::DoNotOptimize(link.transact(i + 1, QString(), QStringLiteral("R")).value);
        const auto t2 = std::chrono::steady_clock::now();
        sampleUs += std::chrono::duration<double, std::micro>(t1 - t0).count() / kSamples;
        exchangeUs += std::chrono::duration<double, std::micro>(t2 - t1).count() / kSamples;
    }
    const double n = double(state.iterations());
    state.counters["sample_us"] = sampleUs / n;
    state.counters["exchanges_us"] = exchangeUs / n;
    state.counters["beyond_us"] = (sampleUs - exchangeUs) / n;
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_RunSampleBeyondTheExchange)->Unit(benchmark::kMillisecond);

void BM_RunPacing(benchmark::State& state) {
    const int items = int(state.range(0));
    const int samples = int(state.range(1));
    const int periodMs = int(state.range(2));
    BenchPrompter prompter;
    PtyDrive drive;
    for (const char* n : kNumbers)
        drive.model.setParameter(QString::fromLatin1(n), 1234);
    SimConfig c;
    c.wireBaud = 38400;
    if (!drive.start(c)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SmallParameterTable table{kNumbers[0],  kNumbers[1],  kNumbers[2], kNumbers[3], kNumbers[4],
                              kNumbers[5],  kNumbers[6],  kNumbers[7], kNumbers[8], kNumbers[9],
                              kNumbers[10], kNumbers[11], kNumbers[12]};
    SystemFineClock clock;
    TimedPort port(clock);
    CommLink link(table.context, port, systemClock(), benchAsker());
    attachLink(link, drive, 0, 5);
    Options options{table.context};
    // The main window, whose link icon the exchanges repaint, and the monitor window over it,
    // shown as during a run.
    MainWindow main(table.context, options, benchAsker(), &link);
    link.setView(&main);
    main.show();
    MeasuringPacer pacer(clock, port);
    MonitorWindow monitor(table.context, options, link, MonitorWindowHooks{}, nullptr, &pacer);
    monitor.show();
    QCoreApplication::processEvents();
    MonitorModel& model = monitor.model();
    setUpChannels(model, items);
    // What the window's activation does: the link measured, the time base set to the shortest
    // (the measurement runs from the event loop).
    model.connectAndMeasure();
    while (model.activating())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const int shortestMs = model.timeBaseEdit.minimum / 5; // five samples a division
    if (periodMs == 0) {
        // The shortest, as the activation left it.
    } else if (periodMs < shortestMs) {
        state.SkipWithError(
            ("not offered: the shortest period for these items is " + std::to_string(shortestMs) + " ms")
                .c_str());
        return;
    } else {
        // Typed as the user types it, in seconds a division.
        model.timeBaseEdit.text = QString::number(periodMs * 5 / 1000.0);
        if (!model.enter(MonitorField::TimeBase)) {
            state.SkipWithError("the window refused the time base");
            return;
        }
    }
    MonitorRun& run = monitor.run();
    for (auto _ : state) {
        port.lateness.clear();
        model.setPointsPerChannel(samples - 1);
        run.start();
    }
    link.setView(nullptr);
    std::vector<qint64> l = port.lateness;
    if (l.empty()) {
        state.SkipWithError("no samples");
        return;
    }
    const qint64 last = l.back();
    std::sort(l.begin(), l.end());
    const std::size_t p99 = std::min(l.size() - 1, std::size_t(std::ceil(double(l.size()) * 0.99)) - 1);
    state.counters["median_us"] = double(l[l.size() / 2]);
    state.counters["p99_us"] = double(l[p99]);
    state.counters["max_us"] = double(l.back());
    state.counters["last_us"] = double(last);
    state.counters["late"] = run.lateSamples();
    state.counters["period_us"] = double(run.periodMicros());
    state.counters["shortest_ms"] = shortestMs;
    state.counters["read_ms"] = model.runState().readTimeMs;
    state.counters["samples"] = double(l.size());
}
// Items, samples and period in ms (0: the shortest offered, about 100 ms for one item and a
// second for ten at this speed): about 10 to 36 s each.
BENCHMARK(BM_RunPacing)
    ->ArgNames({"items", "samples", "period_ms"})
    ->Args({1, 101, 0})
    ->Args({10, 31, 0})
    ->Args({1, 101, 300})
    ->Args({1, 30, 1000})
    ->Args({10, 15, 2000})
    ->Args({10, 6, 6000})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_RecordingMemory(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    constexpr int kSamples = 1000000;
    long at10k = 0, at1m = 0;
    for (auto _ : state) {
        SampleStore store;
        ContinuousRecorder r(store, 1, false);
        if (!r.create(path, RecordingHeader())) {
            state.SkipWithError("cannot write the file");
            return;
        }
        const std::array<bool, kMonitorChannels> recorded{true, true, true, true}, gap{};
        ChannelArray v{};
        for (int k = 0; k < kSamples; ++k) {
            for (int i = 0; i < 4; ++i)
                v[std::size_t(i)] = (k * (i + 1)) % 1000 * 0.1;
            r.plot(quint32(k) * 10000u, v, recorded, gap);
            r.write(quint32(k) * 10000u, v);
            if (k == 10000)
                at10k = residentKb();
        }
        at1m = residentKb();
    }
    state.counters["rss_10k_kb"] = double(at10k);
    state.counters["rss_1m_kb"] = double(at1m);
    state.counters["growth_kb"] = double(at1m - at10k);
    state.counters["file_mb"] = double(QFileInfo(path).size()) / (1024 * 1024);
}
BENCHMARK(BM_RecordingMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

// Time of the start-up detection's search with no drive answering, against the time one
// port's tries add up to: 18 combinations, each a probe and its repeat, each waiting out the
// 200 ms reply time. One port (a simulated drive that listens at a speed the search never
// tries), and seven pseudo-terminals nobody reads searched side by side.
// Counters:
//   tries_ms      36 x 200 ms, what the search of a port must take at least
//   overhead_%    wall time beyond tries_ms, in per cent of it (target: below 5 for one port,
//                 and seven ports side by side about the same)
#include "BenchSupport.h"

#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/DriveDetection.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

namespace {

void BM_DetectionWithNothingAnswering(benchmark::State& state) {
    BenchPrompter prompter;
    PtyDrive drive;
    SimConfig deaf;
    deaf.onlyBaud = 1200;
    if (!drive.start(deaf)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    ProgramContext context;
    TermiosSerialPort port;
    CommLink link(context, port, systemClock());
    PtyDriveServer* server = drive.server.get();
    link.portPathResolver = [server](const QString& name) {
        return name == QLatin1String("COM1") ? server->slavePath() : QString();
    };
    DriveDetection detection(link, context);

    const double triesMs = 2.0 * ConfigScan::kCombinationCount * DriveDetection::kReplyTimeMs;
    double lastMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        detection.listSerialPorts(QString());
        const bool found = detection.detectDrive(DriveDetection::kNoStoredPort);
        lastMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (found || detection.PortCount != DriveDetection::kNotFound) {
            state.SkipWithError("something answered");
            break;
        }
        state.SetIterationTime(lastMs / 1000.0);
    }
    state.counters["tries_ms"] = triesMs;
    state.counters["overhead_%"] = (lastMs - triesMs) / triesMs * 100.0;
}

// A pseudo-terminal whose other side is held open and never read.
struct DeafLine {
    DeafLine() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
            ptsname_r(master, name, sizeof name) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~DeafLine() {
        if (master >= 0)
            ::close(master);
    }
    DeafLine(const DeafLine&) = delete;
    DeafLine& operator=(const DeafLine&) = delete;
    int master = -1;
    QString path;
};

void BM_SevenPortsSideBySideWithNothingAnswering(benchmark::State& state) {
    BenchPrompter prompter;
    std::vector<std::unique_ptr<DeafLine>> lines;
    for (int i = 0; i < 7; ++i) {
        lines.push_back(std::make_unique<DeafLine>());
        if (lines.back()->path.isEmpty()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
    }
    ProgramContext context;
    TermiosSerialPort port;
    CommLink link(context, port, systemClock());
    link.portPathResolver = [&lines](const QString& name) {
        const int n = name.mid(3).toInt();
        return n >= 1 && n <= int(lines.size()) ? lines[size_t(n - 1)]->path : QString();
    };
    DriveDetection detection(link, context);
    detection.searchLines = [] { return SearchLine{std::make_shared<TermiosSerialPort>(), nullptr}; };

    const double triesMs = 2.0 * ConfigScan::kCombinationCount * DriveDetection::kReplyTimeMs;
    double lastMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        detection.listSerialPorts(QString());
        const bool found = detection.detectDrive(DriveDetection::kNoStoredPort);
        lastMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (found) {
            state.SkipWithError("something answered");
            break;
        }
        state.SetIterationTime(lastMs / 1000.0);
    }
    state.counters["ports"] = double(lines.size());
    state.counters["tries_ms"] = triesMs;
    state.counters["overhead_%"] = (lastMs - triesMs) / triesMs * 100.0;
}

} // namespace

BENCHMARK(BM_SevenPortsSideBySideWithNothingAnswering)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

BENCHMARK(BM_DetectionWithNothingAnswering)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

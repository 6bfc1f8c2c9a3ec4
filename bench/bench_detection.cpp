// Time of the start-up detection's search with no drive answering, against the time one
// port's tries add up to: 18 combinations, each a probe and its repeat, each waiting out the
// 200 ms reply time. The ports are simulated drives that listen at a speed the search never
// tries: one port searched on the link itself, and seven searched side by side.
// Counters:
//   tries_ms      36 x 200 ms, what the search of a port must take at least
//   overhead_%    wall time beyond tries_ms, in per cent of it (target: below 5, for seven
//                 ports side by side as for one)
#include "BenchSupport.h"

#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/DriveDetection.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

void searchWithNothingAnswering(benchmark::State& state, int ports, bool sideBySide) {
    BenchPrompter prompter;
    std::vector<std::unique_ptr<PtyDrive>> drives;
    SimConfig deaf;
    deaf.onlyBaud = 1200;
    for (int i = 0; i < ports; ++i) {
        drives.push_back(std::make_unique<PtyDrive>());
        if (!drives.back()->start(deaf)) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
    }
    ProgramContext context;
    TermiosSerialPort port;
    CommLink link(context, port, systemClock(), benchAsker());
    link.setPortPathResolver([&drives](const QString& name) {
        const int n = name.mid(3).toInt();
        return n >= 1 && n <= int(drives.size()) ? drives[size_t(n - 1)]->server->slavePath() : QString();
    });
    DriveDetection detection(link, context);
    if (sideBySide)
        detection.setSearchLines([] { return SearchLine{std::make_shared<TermiosSerialPort>(), nullptr}; });

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
    state.counters["ports"] = ports;
    state.counters["tries_ms"] = triesMs;
    state.counters["overhead_%"] = (lastMs - triesMs) / triesMs * 100.0;
}

void BM_DetectionWithNothingAnswering(benchmark::State& state) {
    searchWithNothingAnswering(state, 1, false);
}

void BM_SevenPortsSideBySideWithNothingAnswering(benchmark::State& state) {
    searchWithNothingAnswering(state, 7, true);
}

} // namespace

BENCHMARK(BM_DetectionWithNothingAnswering)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

BENCHMARK(BM_SevenPortsSideBySideWithNothingAnswering)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

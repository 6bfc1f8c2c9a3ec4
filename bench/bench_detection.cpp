// Time of the start-up detection's search over one port with no drive answering (a simulated
// drive that listens at a speed the search never tries), against the time its tries add up
// to: 18 combinations, each a probe and its repeat, each waiting out the 200 ms reply time.
// Counters:
//   tries_ms      36 x 200 ms, what the search must take at least
//   overhead_%    wall time beyond tries_ms, in per cent of it (target: below 5)
#include "BenchSupport.h"

#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/DriveDetection.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <benchmark/benchmark.h>

#include <chrono>

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

} // namespace

BENCHMARK(BM_DetectionWithNothingAnswering)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

// BM_Keypad: the keypad window as the user runs it (its own panel loop and pacing), on the X
// display when there is one (on_x), against the drivesim program in a process of its own (none
// of its processor time is counted), the drive answering at the pace of a 9,600 or 38,400 baud
// line (each reply delayed by the request's and the reply's time on the wire): with no key held,
// with UP held (one key-code write after every display read), and after the drive has fallen
// silent. Each repetition runs the window for a few seconds and measures from the first second
// on; the repetitions give the median and the interquartile spread ("_median", "_iqr").
//   refreshes/s   passes of the panel loop (display refreshes) per second of wall time
//   line_limit/s  the passes the line allows: one display read (5-byte request, 15-byte reply)
//                 a pass and, with UP held, one key-code write (7-byte request, 7-byte echo)
//   cpu_%         processor time of the whole process (every thread: the window system's too)
//                 in per cent of the wall time
#include "BenchSupport.h"

#include "link/CommLink.h"
#include "platform/SerialPort.h"
#include "ui/KeypadWindow.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

constexpr int kBitsPerByte = 11;
constexpr int kRepetitions = 5;
// The loop starts 200 ms after the window shows; it is measured from one second on, for two.
constexpr int kMeasureFromMs = 1000;
constexpr int kMeasureMs = 2000;
const char* const kNumbers[] = {"0000", "FA10", "FA11", "FC10"};

enum KeypadCase { NoKey = 0, UpHeld = 1, DriveGone = 2 };

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double iqrOf(const std::vector<double>& v) {
    return spreadOf(v).iqr;
}

} // namespace

void BM_Keypad(benchmark::State& state) {
    const int baud = int(state.range(0));
    const auto keypadCase = KeypadCase(state.range(1));
    const int baudIndex = baud == 9600 ? 3 : 5;
    GeneratedDriveType type;
    SmallParameterTable table{kNumbers[0], kNumbers[1], kNumbers[2], kNumbers[3]};
    const QString path = type.folder.filePath(QStringLiteral("sim-COM1"));
    double cpu = 0, wall = 0;
    long passes = 0;
    for (auto _ : state) {
        DriveProcess drive(type, SimProtocol::Inverter, path, baud, false);
        if (!type.ok || !drive.ok) {
            state.SkipWithError("no simulated drive");
            return;
        }
        TermiosSerialPort port;
        CommLink link(table.context, port, systemClock(), benchAsker());
        link.setPortPathResolver([path](const QString&) { return path; });
        link.setPortsFound({QStringLiteral("COM1")});
        link.updateSettings([&](LinkSettings& s) { s.baudIndex = baudIndex; });
        link.setFrameGap(frameGapForBaudIndex(baudIndex));
        link.setReplyTimeout(200);

        KeypadWindow window(table.context, table.options, link);
        double cpu0 = 0;
        long passes0 = 0;
        QElapsedTimer t;
        QTimer::singleShot(kMeasureFromMs, &window, [&] {
            if (keypadCase == DriveGone)
                drive.stop();
            if (keypadCase == UpHeld)
                window.panel().pressUp();
            cpu0 = processCpuSeconds();
            passes0 = window.panel().passCount();
            t.start();
        });
        QTimer::singleShot(kMeasureFromMs + kMeasureMs, &window, [&] {
            cpu += processCpuSeconds() - cpu0;
            wall += double(t.nsecsElapsed()) / 1e9;
            passes += window.panel().passCount() - passes0;
            window.panel().releaseUp();
            window.panel().closePanel();
        });
        window.exec();
    }
    const double blockUs = double(5 + 15) * kBitsPerByte * 1e6 / baud;
    const double keyUs = double(7 + 7) * kBitsPerByte * 1e6 / baud;
    state.counters["refreshes/s"] = wall > 0 ? double(passes) / wall : 0.0;
    state.counters["line_limit/s"] =
        keypadCase == DriveGone ? 0.0 : 1e6 / (blockUs + (keypadCase == UpHeld ? keyUs : 0.0));
    state.counters["cpu_%"] = wall > 0 ? cpu / wall * 100.0 : 0.0;
    state.counters["on_x"] = QGuiApplication::platformName() == QLatin1String("xcb");
}

BENCHMARK(BM_Keypad)
    ->ArgNames({"wire_baud", "case"}) // case: 0 no key, 1 UP held, 2 drive gone
    ->Args({9600, NoKey})
    ->Args({9600, UpHeld})
    ->Args({38400, NoKey})
    ->Args({38400, UpHeld})
    ->Args({38400, DriveGone})
    ->Iterations(1)
    ->Repetitions(kRepetitions)
    ->ComputeStatistics("iqr", iqrOf)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

// BM_KeypadCpu: the processor time of the whole process (every thread: the window system's
// too) while the keypad window runs its panel loop, on the X display when there is one (on_x),
// with the drive answering at once and after the drive has gone silent; the drive is the
// drivesim program in a process of its own, so none of its time is counted. "cpu_%" is that
// time in per cent of the wall time, "passes/s" the display refreshes.
//
// BM_KeypadRefresh: display refreshes per second of the keypad's panel loop against the
// simulated drive on a pseudo-terminal, the drive answering at the pace of a 9,600 or 38,400 baud line, with
// no key held and with UP held (one key-code write after every display read). Counters:
//   refreshes/s   passes of the panel loop per second of wall time
//   block_us      line time of one display block read (5-byte request, 15-byte reply)
//   key_us        line time of one key-code write (7-byte request, 7-byte echo)
//   overhead_%    wall time per pass beyond the line time it needs, in per cent of that
#include "BenchSupport.h"

#include "link/CommLink.h"
#include "monitor/KeypadPanel.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "ui/KeypadWindow.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <ctime>

#include <chrono>
#include <memory>

namespace {

constexpr int kBitsPerByte = 11;
const char* const kNumbers[] = {"0000", "FA10", "FA11", "FC10"};

// The loop's window: nothing to show; the benchmark decides when the loop ends.
class BenchView : public KeypadPanelView {
public:
    void showLed(const QString&) override {}
    void showLamps(std::uint8_t) override {}
    void showDirectText(const QString&) override {}
    void setDirectChecked(bool) override {}
    void setKeysVisible(bool) override {}
    void focusKeySink() override {}
    void waitEvents(int) override {
        if (onPass)
            onPass();
    }
    void wake() override {}
    void waitPainting(int) override {}
    bool isShown() const override { return true; }
    void closeWindow() override {}
    std::function<void()> onPass;
};

void BM_KeypadRefresh(benchmark::State& state) {
    const int baud = int(state.range(0));
    const bool upHeld = state.range(1) == 1;
    const int baudIndex = baud == 9600 ? 3 : 5;

    PtyDrive drive;
    for (const char* n : kNumbers)
        drive.model.setParameter(QString::fromLatin1(n), 0);
    SimConfig c;
    c.wireBaud = baud;
    c.bitsPerByte = kBitsPerByte;
    if (!drive.start(c)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SmallParameterTable table{kNumbers[0], kNumbers[1], kNumbers[2], kNumbers[3]};
    TermiosSerialPort port;
    CommLink link(table.context, port, systemClock());
    attachLink(link, drive, 0, baudIndex);

    BenchView view;
    KeypadPanel panel(table.context, table.options, link, view);
    long failures = 0;
    bool started = false;
    long firstPass = 0;
    long timedPasses = 0;
    std::chrono::steady_clock::time_point start, end;
    view.onPass = [&] {
        if (!started) {
            // The first pass follows the connect; time from here.
            started = true;
            if (upHeld) {
                panel.pressUp();
            }
            firstPass = panel.passCount();
            start = std::chrono::steady_clock::now();
        }
        if (link.lastExchangeFailed())
            ++failures;
        if (!state.KeepRunning()) {
            end = std::chrono::steady_clock::now();
            timedPasses = panel.passCount() - firstPass;
            panel.releaseUp();
            panel.PanelRunning = 0;
        }
    };
    panel.RunPanelLoop();
    const auto elapsed = end - start;
    drive.server->stop();
    if (failures > 0) {
        state.SkipWithError("display reads failed");
        return;
    }

    const double perPassUs =
        std::chrono::duration<double, std::micro>(elapsed).count() / double(std::max<long>(timedPasses, 1));
    const double blockUs = double(5 + 15) * kBitsPerByte * 1e6 / baud;
    const double keyUs = double(7 + 7) * kBitsPerByte * 1e6 / baud;
    const double lineUs = blockUs + (upHeld ? keyUs : 0.0);
    state.counters["refreshes/s"] = 1e6 / perPassUs;
    state.counters["block_us"] = blockUs;
    state.counters["key_us"] = keyUs;
    state.counters["overhead_%"] = (perPassUs - lineUs) / lineUs * 100.0;
}

} // namespace

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

void BM_KeypadCpu(benchmark::State& state) {
    const bool driveGone = state.range(0) == 1;
    GeneratedDriveType type;
    const QString path = type.folder.filePath(QStringLiteral("sim-COM1"));
    DriveProcess drive(type, SimProtocol::Inverter, path, 0, false);
    if (!type.ok || !drive.ok) {
        state.SkipWithError("no simulated drive");
        return;
    }
    SmallParameterTable table{kNumbers[0], kNumbers[1], kNumbers[2], kNumbers[3]};
    TermiosSerialPort port;
    CommLink link(table.context, port, systemClock());
    link.setPortPathResolver([path](const QString&) { return path; });
    link.setPortsFound({QStringLiteral("COM1")});
    link.updateSettings([&](LinkSettings& s) { s.baudIndex = 3; });
    link.setFrameGap(frameGapForBaudIndex(3));
    link.setReplyTimeout(200);
    double cpu = 0, wall = 0;
    long passes = 0;
    for (auto _ : state) {
        KeypadWindow window(table.context, table.options, link);
        double cpu0 = 0;
        long passes0 = 0;
        QElapsedTimer t;
        // The loop starts 200 ms after the window shows; measure from one second on.
        QTimer::singleShot(1000, &window, [&] {
            if (driveGone)
                drive.stop();
            cpu0 = processCpuSeconds();
            passes0 = window.panel().passCount();
            t.start();
        });
        QTimer::singleShot(4000, &window, [&] {
            cpu += processCpuSeconds() - cpu0;
            wall += t.nsecsElapsed() / 1e9;
            passes += window.panel().passCount() - passes0;
            window.panel().closePanel();
        });
        window.exec();
    }
    state.counters["cpu_%"] = wall > 0 ? cpu / wall * 100.0 : 0.0;
    state.counters["passes/s"] = wall > 0 ? passes / wall : 0.0;
    state.counters["on_x"] = QGuiApplication::platformName() == QLatin1String("xcb");
}

BENCHMARK(BM_KeypadCpu)
    ->ArgNames({"drive_gone"})
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_KeypadRefresh)
    ->ArgNames({"wire_baud", "up_held"})
    ->Args({9600, 0})
    ->Args({9600, 1})
    ->Args({38400, 0})
    ->Args({38400, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.5);

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, {});
}

// Reads per second and CPU time per read of the program's exchange (CommTransact) against
// the simulated drive on a pseudo-terminal, in both protocols, with the drive answering at
// once and at the pace of a 38,400 baud line; beside them the same reads by libmodbus's own
// client against the same drive. Counters:
//   reads/s       reads per second of wall time
//   cpu_us        CPU time of the reading thread per read (the drive runs in another thread)
//   wire_us       time the request and the reply need on the line (11 bits a byte)
//   gap_us        MODBUS pause the exchange keeps after each reply (more than FrameGap ms on
//                 a millisecond tick); 0 for the maker's protocol and for libmodbus
//   overhead_%    wall time per read beyond wire_us and gap_us, in per cent of wire_us
// Each is run five times; the median is the figure to quote on a machine that is busy.
#include "BenchSupport.h"

#include "link/CommLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <chrono>
#include <memory>

namespace {

constexpr int kBaudIndex = 5; // 38,400 baud
constexpr int kBaud = 38400;
constexpr int kBitsPerByte = 11;

// The simulated drive, answering "0000" with 500.
struct Drive : PtyDrive {
    Drive(SimProtocol protocol, bool wirePaced) {
        model.setParameter(QStringLiteral("0000"), 500);
        SimConfig c;
        c.protocol = protocol;
        c.wireBaud = wirePaced ? kBaud : 0;
        c.bitsPerByte = kBitsPerByte;
        ok = start(c);
    }
    bool ok = false;
};

void report(benchmark::State& state, std::chrono::steady_clock::duration elapsed, int requestBytes,
            int replyBytes, bool wirePaced, double gapUs) {
    const double perReadUs =
        std::chrono::duration<double, std::micro>(elapsed).count() / double(state.iterations());
    state.counters["reads/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    const double wireUs = double(requestBytes + replyBytes) * kBitsPerByte * 1e6 / kBaud;
    state.counters["wire_us"] = wireUs;
    state.counters["gap_us"] = gapUs;
    if (wirePaced)
        state.counters["overhead_%"] = (perReadUs - wireUs - gapUs) / wireUs * 100.0;
}

void BM_CommTransact(benchmark::State& state) {
    const bool modbus = state.range(0) == 1;
    const bool wirePaced = state.range(1) == 1;
    Drive drive(modbus ? SimProtocol::Modbus : SimProtocol::Inverter, wirePaced);
    SmallParameterTable table{"0000"};
    TermiosSerialPort port;
    CommLink link(table.context, port, systemClock());
    attachLink(link, drive, modbus ? 1 : 0, kBaudIndex);
    if (!drive.ok || link.OpenCommPort() != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    bool err = false;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const std::uint32_t v = link.CommTransact(0, QString(), err, QStringLiteral("R"));
        if (err || v != 500) {
            state.SkipWithError("exchange failed");
            break;
        }
        benchmark::DoNotOptimize(v);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // The exchange waits while no more than FrameGap ms have passed on a millisecond tick.
    const double gapUs = modbus ? (link.FrameGap + 1) * 1000.0 : 0.0;
    report(state, elapsed, modbus ? 8 : 5, 7, wirePaced, gapUs);
    link.closePort();
}

void BM_LibmodbusClient(benchmark::State& state) {
    const bool wirePaced = state.range(0) == 1;
    Drive drive(SimProtocol::Modbus, wirePaced);
    modbus_t* ctx =
        drive.ok ? modbus_new_rtu(QFile::encodeName(drive.server->slavePath()).constData(), kBaud, 'E', 8, 1)
                 : nullptr;
    if (!ctx || modbus_set_slave(ctx, 0xF7) != 0 || modbus_connect(ctx) != 0) {
        if (ctx)
            modbus_free(ctx);
        state.SkipWithError("no libmodbus client");
        return;
    }
    // The drive answers its own number as well as the default address; libmodbus allows
    // addresses up to 247 only, so the drive takes 247 as its number here.
    SimConfig c = drive.sim->config();
    c.station = 0xF7;
    drive.sim->setConfig(c);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::uint16_t v = 0;
        if (modbus_read_registers(ctx, 0x0000, 1, &v) != 1 || v != 500) {
            state.SkipWithError(modbus_strerror(errno));
            break;
        }
        benchmark::DoNotOptimize(v);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    report(state, elapsed, 8, 7, wirePaced, 0.0);
    modbus_close(ctx);
    modbus_free(ctx);
}

} // namespace

BENCHMARK(BM_CommTransact)
    ->ArgNames({"modbus", "wire38400"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LibmodbusClient)
    ->ArgNames({"wire38400"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

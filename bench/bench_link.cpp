// The program's exchange (CommTransact) against the simulated drive on a pseudo-terminal, paired
// in one run with a minimal client on the same line (write, poll, read: nothing else) and,
// for MODBUS, with libmodbus's own client. The clients take turns in blocks of reads so that
// a machine that gets busier for a while slows them alike. The drive busy-polls its line, as a
// drive's firmware does, so that its own wake-up is not charged to the client; with the wire
// model it answers at the pace of a 38,400 baud line. Counters (per read, microseconds):
//   program_us, minimal_us, libmodbus_us  wall time of one read by each client
//   wire_us      time the request and the reply need on the line (11 bits a byte)
//   silence_us   MODBUS: the silent interval the line requires between frames at this speed
//                (3.5 characters, more than FrameGap); every client waits it and the
//                program's few microseconds of margin (kSilenceMarginUs), libmodbus too
//   program_%, minimal_%, libmodbus_%  time beyond wire_us + silence_us in per cent of wire_us
//   vs_minimal_pp, vs_libmodbus_pp     the program's figure minus the other's, in points
//   reads_ratio  MODBUS: the program's reads per second over libmodbus's
//   idle_held    1 when the processors were kept out of deep idle states (IdleLatencyHold)
#include "BenchSupport.h"

#include "link/CommLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "protocol/FrameCodec.h"

#include <QFile>
#include <benchmark/benchmark.h>
#include <modbus/modbus.h>

#include <chrono>

namespace {

constexpr int kBaudIndex = 5; // 38,400 baud
constexpr int kBaud = 38400;
constexpr int kBitsPerByte = 11;
constexpr int kBlock = 50;            // reads of one client before the next takes its turn
constexpr int kRounds = 10;           // turns of each client
constexpr int kLibmodbusSlave = 0xF7; // libmodbus addresses 247 at most

using Clk = std::chrono::steady_clock;

// The simulated drive, answering "0000" with 500 and busy-polling its line.
struct Drive : PtyDrive {
    Drive(SimProtocol protocol, bool wirePaced) {
        model.setParameter(QStringLiteral("0000"), 500);
        SimConfig c;
        c.protocol = protocol;
        c.station = protocol == SimProtocol::Modbus ? kLibmodbusSlave : 0;
        c.wireBaud = wirePaced ? kBaud : 0;
        c.bitsPerByte = kBitsPerByte;
        sim = std::make_unique<DriveSimulator>(model, c);
        server = std::make_unique<PtyDriveServer>(*sim);
        server->setBusyPoll(true);
        ok = server->open() && server->start();
    }
    bool ok = false;
};

void BM_LinkPaired(benchmark::State& state) {
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
    const qint64 silenceUs = modbus ? modbusSilenceUs(link.FrameGap, kBaud) : 0;
    const qint64 waitUs = modbus ? silenceUs + kSilenceMarginUs : 0; // what every client waits
    const QByteArray path = QFile::encodeName(drive.server->slavePath());
    FrameRequest r;
    r.comNo = QStringLiteral("0000");
    const Protocol protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    const std::vector<std::uint8_t> request = BuildFrame(protocol, r);
    const int replyLength = ExpectedReplyLength(protocol, r);

    Clk::duration program{}, minimal{}, libmodbus{};
    long reads = 0;
    bool failed = false;
    const IdleLatencyHold hold;
    for (auto _ : state) {
        for (int round = 0; round < kRounds && !failed; ++round) {
            if (!link.PortOpen() && link.OpenCommPort() != 0) {
                failed = true;
                break;
            }
            bool err = false;
            auto t0 = Clk::now();
            for (int i = 0; i < kBlock && !err; ++i)
                err = link.CommTransact(0, QString(), err, QStringLiteral("R")) != 500 || err;
            program += Clk::now() - t0;

            MinimalClient client(port.fd(), modbus, waitUs);
            t0 = Clk::now();
            for (int i = 0; i < kBlock && !err; ++i)
                err = !client.exchange(request, replyLength);
            minimal += Clk::now() - t0;
            failed = err;

            if (modbus && !failed) {
                // libmodbus opens the line itself.
                link.closePort();
                modbus_t* ctx = modbus_new_rtu(path.constData(), kBaud, 'E', 8, 1);
                if (!ctx || modbus_set_slave(ctx, kLibmodbusSlave) != 0 || modbus_connect(ctx) != 0) {
                    if (ctx)
                        modbus_free(ctx);
                    failed = true;
                    break;
                }
                SystemClock clock;
                qint64 quietFrom = 0;
                t0 = Clk::now();
                for (int i = 0; i < kBlock && !failed; ++i) {
                    if (quietFrom > 0)
                        clock.sleepUntilUs(quietFrom + waitUs);
                    std::uint16_t v = 0;
                    failed = modbus_read_registers(ctx, 0x0000, 1, &v) != 1 || v != 500;
                    quietFrom = clock.nowUs();
                }
                libmodbus += Clk::now() - t0;
                modbus_close(ctx);
                modbus_free(ctx);
            }
            reads += kBlock;
        }
    }
    if (failed) {
        state.SkipWithError("a read failed");
        return;
    }
    auto perRead = [&](Clk::duration d) {
        return std::chrono::duration<double, std::micro>(d).count() / reads;
    };
    const double wireUs = double((modbus ? 8 : 5) + 7) * kBitsPerByte * 1e6 / kBaud;
    const double base = wirePaced ? wireUs : 0.0;
    auto beyond = [&](double us) { return (us - base - double(silenceUs)) / wireUs * 100.0; };
    state.counters["program_us"] = perRead(program);
    state.counters["minimal_us"] = perRead(minimal);
    state.counters["wire_us"] = wirePaced ? wireUs : 0.0;
    state.counters["silence_us"] = double(silenceUs);
    if (wirePaced) {
        state.counters["program_%"] = beyond(perRead(program));
        state.counters["minimal_%"] = beyond(perRead(minimal));
        state.counters["vs_minimal_pp"] = beyond(perRead(program)) - beyond(perRead(minimal));
    }
    if (modbus) {
        state.counters["libmodbus_us"] = perRead(libmodbus);
        state.counters["reads_ratio"] = perRead(libmodbus) / perRead(program);
        if (wirePaced) {
            state.counters["libmodbus_%"] = beyond(perRead(libmodbus));
            state.counters["vs_libmodbus_pp"] = beyond(perRead(program)) - beyond(perRead(libmodbus));
        }
    }
    state.counters["idle_held"] = hold.held() ? 1 : 0;
    link.closePort();
}

} // namespace

BENCHMARK(BM_LinkPaired)
    ->ArgNames({"modbus", "wire38400"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

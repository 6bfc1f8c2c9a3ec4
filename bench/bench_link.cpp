// The program's exchange (transact) against the simulated drive on a pseudo-terminal, paired
// in one run with a minimal client on the same line (write, poll, read: nothing else) and, for
// MODBUS, with libmodbus's own client twice: waiting exactly the 3.5 characters the line requires
// before each request (the fair peer), and as shipped, which waits none (it sends as soon as the
// last reply is read: faster than a conforming client can be). The clients take turns in 20
// blocks of 200 reads so that a machine that gets busier for a while slows them alike, and
// which of them goes first moves round by round; each round gives one paired difference. The drive busy-polls
// its line, as a drive's firmware does, so that its own wake-up is not charged to the client; with the wire
// model it answers at the pace of a 38,400 baud line. Counters (per read, microseconds unless named
// otherwise):
//   program_us, minimal_us, libmodbus_us, libmodbus_nowait_us   wall time of one read
//   wire_us      time the request and the reply need on the line (11 bits a byte)
//   silence_us   MODBUS: the silent interval the program and the minimal client keep (3.5
//                characters or FrameGap, whichever is longer); the fair libmodbus keeps 3.5
//                characters exactly, so the program's margin beyond it shows in the comparison
//   program_%, minimal_%, libmodbus_%, libmodbus_nowait_%  time beyond wire_us + silence_us in
//                per cent of wire_us (median of the blocks)
//   vs_minimal_pp, vs_libmodbus_pp, vs_libmodbus_nowait_pp  median over the blocks of the
//                program's figure minus the other's, in points; *_iqr_pp their interquartile
//                spread. A difference is worth quoting to 0.5 points only while its spread is
//                below 0.5 (claim_ok = 1 when every spread is)
//   idle_held    1 when the processors were kept out of deep idle states (IdleLatencyHold;
//                only with KVR_BENCH_HOLD_IDLE=1, which adds that second run)
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
constexpr int kBlock = 200;           // reads of one client before the next takes its turn
constexpr int kRounds = 20;           // turns of each client: one paired difference each
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

// libmodbus on the line at `path`: kBlock reads, waiting `waitUs` from the last reply's end before
// each request (0: as shipped). Seconds, or -1 when a read failed.
double libmodbusBlock(const QByteArray& path, qint64 waitUs) {
    modbus_t* ctx = modbus_new_rtu(path.constData(), kBaud, 'E', 8, 1);
    if (!ctx || modbus_set_slave(ctx, kLibmodbusSlave) != 0 || modbus_connect(ctx) != 0) {
        if (ctx)
            modbus_free(ctx);
        return -1;
    }
    SystemClock clock;
    qint64 quietFrom = 0;
    bool failed = false;
    const auto t0 = Clk::now();
    for (int i = 0; i < kBlock && !failed; ++i) {
        if (waitUs > 0 && quietFrom > 0)
            clock.sleepUntilUs(quietFrom + waitUs);
        std::uint16_t v = 0;
        failed = modbus_read_registers(ctx, 0x0000, 1, &v) != 1 || v != 500;
        quietFrom = clock.nowUs();
    }
    const double s = std::chrono::duration<double>(Clk::now() - t0).count();
    modbus_close(ctx);
    modbus_free(ctx);
    return failed ? -1 : s;
}

void BM_LinkPaired(benchmark::State& state) {
    const bool modbus = state.range(0) == 1;
    const bool wirePaced = state.range(1) == 1;
    Drive drive(modbus ? SimProtocol::Modbus : SimProtocol::Inverter, wirePaced);
    SmallParameterTable table{"0000"};
    TermiosSerialPort port;
    CommLink link(table.context, port, systemClock(), benchAsker());
    attachLink(link, drive, modbus ? 1 : 0, kBaudIndex);
    if (!drive.ok || link.OpenCommPort() != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const qint64 silenceUs = modbus ? modbusSilenceUs(link.frameGapMs(), kBaud) : 0;
    const qint64 waitUs = silenceUs; // what the program waits
    // 3.5 characters of 11 bits, and nothing more: what the line requires.
    const qint64 requiredUs = modbus ? modbusSilenceUs(0, kBaud) : 0;
    const QByteArray path = QFile::encodeName(drive.server->slavePath());
    FrameRequest r;
    r.comNo = QStringLiteral("0000");
    const Protocol protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    const std::vector<std::uint8_t> request = BuildFrame(protocol, r);
    const int replyLength = ExpectedReplyLength(protocol, r);

    enum { Program, Minimal, Libmodbus, LibmodbusNoWait, Clients };
    std::vector<double> seconds[Clients]; // per block
    bool failed = false;
    const IdleLatencyHold hold(state.range(2) == 1);
    auto timed = [](auto&& block) {
        const auto t0 = Clk::now();
        const bool ok = block();
        return ok ? std::chrono::duration<double>(Clk::now() - t0).count() : -1.0;
    };
    // One block of each client; libmodbus opens the line itself, so the program's link lets it
    // go first and takes it back after.
    auto block = [&](int c) -> double {
        if (c == Libmodbus || c == LibmodbusNoWait) {
            link.closePort();
            return libmodbusBlock(path, c == Libmodbus ? requiredUs : 0);
        }
        if (!link.PortOpen() && link.OpenCommPort() != 0)
            return -1;
        if (c == Program)
            return timed([&] {
                bool err = false;
                for (int i = 0; i < kBlock && !err; ++i) {
                    const ExchangeResult r = link.transact(0, QString(), QStringLiteral("R"));
                    err = r.error || r.value != 500;
                }
                return !err;
            });
        MinimalClient client(port.fd(), modbus, waitUs);
        return timed([&] {
            for (int i = 0; i < kBlock; ++i)
                if (!client.exchange(request, replyLength))
                    return false;
            return true;
        });
    };
    const int clients = modbus ? Clients : 2;
    for (auto _ : state) {
        for (int round = 0; round < kRounds && !failed; ++round) {
            // The clients take turns at going first: none always follows the same one.
            for (int k = 0; k < clients && !failed; ++k) {
                const int c = (round + k) % clients;
                const double s = block(c);
                seconds[c].push_back(s);
                failed = s < 0;
            }
        }
    }
    if (failed) {
        state.SkipWithError("a read failed");
        return;
    }
    const double wireUs = double((modbus ? 8 : 5) + 7) * kBitsPerByte * 1e6 / kBaud;
    const double base = wirePaced ? wireUs : 0.0;
    auto perRead = [](double s) { return s * 1e6 / kBlock; };
    auto beyond = [&](double s) { return (perRead(s) - base - double(silenceUs)) / wireUs * 100.0; };
    auto series = [&](int c, auto f) {
        std::vector<double> out;
        for (double s : seconds[c])
            out.push_back(f(s));
        return out;
    };
    auto versus = [&](int other) {
        std::vector<double> d;
        for (std::size_t i = 0; i < seconds[Program].size(); ++i)
            d.push_back(beyond(seconds[Program][i]) - beyond(seconds[other][i]));
        return spreadOf(d);
    };
    const char* names[Clients] = {"program", "minimal", "libmodbus", "libmodbus_nowait"};
    bool claimOk = true;
    for (int c = 0; c < Clients; ++c) {
        if (seconds[c].empty())
            continue;
        state.counters[std::string(names[c]) + "_us"] = spreadOf(series(c, perRead)).median;
        if (wirePaced)
            state.counters[std::string(names[c]) + "_%"] = spreadOf(series(c, beyond)).median;
        if (c != Program && wirePaced) {
            const Spread d = versus(c);
            state.counters["vs_" + std::string(names[c]) + "_pp"] = d.median;
            state.counters["vs_" + std::string(names[c]) + "_iqr_pp"] = d.iqr;
            claimOk = claimOk && d.iqr < 0.5;
        }
    }
    state.counters["wire_us"] = wirePaced ? wireUs : 0.0;
    state.counters["silence_us"] = double(silenceUs);
    if (modbus)
        state.counters["reads_ratio"] =
            spreadOf(series(Libmodbus, perRead)).median / spreadOf(series(Program, perRead)).median;
    if (wirePaced)
        state.counters["claim_ok"] = claimOk ? 1 : 0;
    state.counters["idle_held"] = hold.held() ? 1 : 0;
    link.closePort();
}

void linkArgs(benchmark::internal::Benchmark* b) {
    constexpr std::pair<int, int> kCases[] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}}; // protocol, wire model
    for (std::int64_t held : idleHoldArgs())
        for (auto [modbus, wire] : kCases)
            b->Args({modbus, wire, held});
}

} // namespace

BENCHMARK(BM_LinkPaired)
    ->ArgNames({"modbus", "wire38400", "idle_held"})
    ->Apply(linkArgs)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

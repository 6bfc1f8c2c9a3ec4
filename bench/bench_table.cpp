// Rebuilding the parameter table of a 2,000-parameter drive type: the whole RefreshAll of
// the (hidden) window, the row fill alone and the limits alone.
#include "BenchSupport.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

using Fixture = BenchParameterTable;

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_RefreshAll(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state)
        f.table->RefreshAll();
    state.counters["rows"] = f.table->cells().rowCount() - 1;
}
BENCHMARK(BM_RefreshAll)->Unit(benchmark::kMillisecond);

// The same with the window shown, its grid laid out and painted again.
void BM_RefreshAllShown(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    f.table->Show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        f.table->RefreshAll();
        f.table->repaint();
        QCoreApplication::processEvents();
    }
    f.table->hide();
}
BENCHMARK(BM_RefreshAllShown)->Unit(benchmark::kMillisecond);

// The refill of a view change, in the view of all rows and in the current/voltage display.
void BM_FillRows(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    f.host.commands.setChecked(TableCommand::CVDisp, state.range(0) != 0);
    for (auto _ : state)
        f.table->FillRows();
    f.host.commands.setChecked(TableCommand::CVDisp, false);
}
BENCHMARK(BM_FillRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_UpdateLimits(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state)
        f.table->UpdateLimits();
}
BENCHMARK(BM_UpdateLimits)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runWindowBenchmarks(argc, argv, [] { fixture().closeWindow(); });
}

// The parameter table's view, mark and display commands on a 2,000-parameter drive type,
// each well under a frame (16 ms) is the aim: the clipboard text of every row, the filtered
// views on and off, the current/voltage display, Select and Select Clear over every row,
// Blind and All Parameters, Hex. and Dec. of every row, Shipment of every row, and a Find
// that runs to the end of the find buffer.
#include "BenchSupport.h"

#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"

#include <benchmark/benchmark.h>

namespace {

struct Fixture : BenchParameterTable {
    ParameterTable& core() { return table->core(); }
    int lastRow() { return core().grid().rowCount() - 1; }
    // Every data row highlighted in the value column, the cursor on the first.
    void highlightAll() {
        core().setCurrentCell(TC_Value, 1);
        core().setSelection({TC_Value, 1, TC_Value, lastRow()});
        core().setCursorRow(1);
    }
    // Every tenth parameter changed, so that 'Changed' Only has rows.
    void changeSome() {
        for (int i = 0; i <= context.tableView.lastIndex; i += 10) {
            qint64 v = 0;
            if (ValueRules::parseRawValue(StoreCells::work(context, UP_Value, i), v))
                StoreCells::setWork(context, UP_Value, i, QString::number(v + 1));
        }
        table->FillRows();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

#define NEED_FIXTURE(f)                                                                                      \
    Fixture& f = fixture();                                                                                  \
    if (!f.ok) {                                                                                             \
        state.SkipWithError("no drive type");                                                                \
        return;                                                                                              \
    }

void BM_CopyEveryRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.core().setCurrentCell(TC_ComNo, 1);
    f.core().setSelection({TC_ComNo, 1, TC_Changed, f.lastRow()});
    qsizetype size = 0;
    for (auto _ : state)
        size = f.table->views().copyText().size();
    state.counters["chars"] = double(size);
}
BENCHMARK(BM_CopyEveryRow)->Unit(benchmark::kMillisecond);

// One iteration switches the view on and off: two commands.
void BM_ChangedOnlyOnAndOff(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.changeSome();
    for (auto _ : state) {
        f.table->toggleChangedOnly();
        f.table->toggleChangedOnly();
    }
}
BENCHMARK(BM_ChangedOnlyOnAndOff)->Unit(benchmark::kMillisecond);

void BM_CurrentVoltageOnAndOff(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (auto _ : state) {
        f.table->toggleCurrentVoltage();
        f.table->toggleCurrentVoltage();
    }
}
BENCHMARK(BM_CurrentVoltageOnAndOff)->Unit(benchmark::kMillisecond);

void BM_QuickOnAndOff(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (auto _ : state) {
        f.table->toggleQuickView();
        f.table->toggleQuickView();
    }
}
BENCHMARK(BM_QuickOnAndOff)->Unit(benchmark::kMillisecond);

void BM_SelectEveryRowAndClear(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.highlightAll();
    for (auto _ : state) {
        f.table->toggleSelected();
        f.table->clearSelectedParameters();
    }
}
BENCHMARK(BM_SelectEveryRowAndClear)->Unit(benchmark::kMillisecond);

// Blind hides every other parameter; All Parameters shows them again.
void BM_BlindAndAllParameters(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (int i = 0; i <= f.context.tableView.lastIndex; i += 2)
        StoreCells::setWork(f.context, UP_SelectIndex, i, QStringLiteral("1"));
    for (auto _ : state) {
        f.table->hideSelected();
        f.table->showAllParameters();
    }
    f.table->clearSelectedParameters();
}
BENCHMARK(BM_BlindAndAllParameters)->Unit(benchmark::kMillisecond);

void BM_HexAndDecEveryRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.highlightAll();
    for (auto _ : state) {
        f.table->showHex();
        f.table->showDecimal();
    }
}
BENCHMARK(BM_HexAndDecEveryRow)->Unit(benchmark::kMillisecond);

void BM_ShipmentEveryRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (auto _ : state) {
        state.PauseTiming();
        f.changeSome();
        f.highlightAll();
        state.ResumeTiming();
        f.table->restoreShipmentValues();
    }
}
BENCHMARK(BM_ShipmentEveryRow)->Unit(benchmark::kMillisecond);

// A search whose only match is on the last row: the whole buffer is scanned.
void BM_FindToTheLastRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    const QString last = f.core().findBuffer().last();
    for (auto _ : state) {
        f.table->findSearch().start();
        benchmark::DoNotOptimize(f.table->findSearch().findNext(last, true, false));
    }
}
BENCHMARK(BM_FindToTheLastRow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    int boxes = 0;
    const int rc = runWindowBenchmarks(argc, argv, [&] {
        boxes = fixture().prompter.boxes;
        fixture().closeWindow();
    });
    if (boxes != 0)
        qWarning("%d message boxes came up", boxes);
    return rc;
}

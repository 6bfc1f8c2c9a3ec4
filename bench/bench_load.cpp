// Loading a drive type of 2,000 parameters (drive-type file, capacity file, working
// values) and looking up every communication number of it.
#include "BenchSupport.h"

#include "core/DriveData.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"

#include <benchmark/benchmark.h>

namespace {

using Fixture = GeneratedDriveType;

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_LoadDriveType(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state) {
        if (!f.load()) {
            state.SkipWithError("load failed");
            return;
        }
    }
    state.counters["parameters"] = f.context.drive.lastIndex() + 1;
}
BENCHMARK(BM_LoadDriveType)->Unit(benchmark::kMillisecond);

// The three steps apart, each after a full load, to see where the time goes.
template <bool (*Step)(ProgramContext&, Asker&, const DriveFileDialog&)>
void BM_Step(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok || !f.load()) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(Step(f.context, benchAsker(), {}));
}
bool initValues(ProgramContext& context, Asker& asker, const DriveFileDialog&) {
    return InitValueTable(context, asker);
}
BENCHMARK(BM_Step<LoadTypeTable>)->Name("BM_LoadTypeTable")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<LoadCapacityTable>)->Name("BM_LoadCapacityTable")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<initValues>)->Name("BM_InitValueTable")->Unit(benchmark::kMillisecond);

void BM_LookUpEveryComNo(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok || !f.load()) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state) {
        int sum = 0;
        for (const QString& comNo : f.files.comNos)
            sum += ValueRules::IndexOfComNo(f.context, comNo);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * f.files.comNos.size());
}
BENCHMARK(BM_LookUpEveryComNo)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

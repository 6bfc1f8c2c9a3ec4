// Loading a drive type of 2,000 parameters (drive-type file, capacity file, working
// values) and looking up every communication number of it.
#include "app/Datas.h"
#include "app/DriveData.h"
#include "app/Globals.h"
#include "table/ValueRules.h"

// The generator lives with the test helpers, which the benchmarks do not link.
#include "support/DriveTypeGenerator.cpp"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

struct Fixture {
    QTemporaryDir folder;
    DriveTypeGenerator::Result files;
    TParameters store;
    bool ok = false;

    Fixture() {
        DriveTypeGenerator::Options options;
        options.parameterCount = 2000;
        QString error;
        ok = folder.isValid() && DriveTypeGenerator::write(folder.path(), options, &files, &error);
        if (!ok) {
            qWarning("Cannot write the drive type: %s", qPrintable(error));
            return;
        }
        resetGlobals();
        Globals& g = globals();
        g.Parameters = &store;
        g.TypeFolder = files.typeFolder;
        g.CapacityFolder = files.typeFolder;
        g.InfoIniPath = files.infoIniPath;
        g.DriveTypeName = options.typeName;
        g.DriveFormName = options.capacityName;
        g.LanguageSuffix = QStringLiteral("Eng");
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

bool loadDriveType() {
    return LoadTypeTable() && LoadCapacityTable() && InitValueTable();
}

void BM_LoadDriveType(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state) {
        if (!loadDriveType()) {
            state.SkipWithError("load failed");
            return;
        }
    }
    state.counters["parameters"] = globals().ParaCountAll + 1;
}
BENCHMARK(BM_LoadDriveType)->Unit(benchmark::kMillisecond);

// The three steps apart, each after a full load, to see where the time goes.
template <bool (*Step)(const DriveFileDialog&)> void BM_Step(benchmark::State& state) {
    if (!fixture().ok || !loadDriveType()) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(Step({}));
}
bool initValues(const DriveFileDialog&) {
    return InitValueTable();
}
BENCHMARK(BM_Step<LoadTypeTable>)->Name("BM_LoadTypeTable")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<LoadCapacityTable>)->Name("BM_LoadCapacityTable")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Step<initValues>)->Name("BM_InitValueTable")->Unit(benchmark::kMillisecond);

void BM_LookUpEveryComNo(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok || !loadDriveType()) {
        state.SkipWithError("no drive type");
        return;
    }
    for (auto _ : state) {
        int sum = 0;
        for (const QString& comNo : f.files.comNos)
            sum += ValueRules::IndexOfComNo(comNo);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * f.files.comNos.size());
}
BENCHMARK(BM_LookUpEveryComNo)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}

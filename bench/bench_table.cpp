// Rebuilding the parameter table of a 2,000-parameter drive type: the whole RefreshAll of
// the (hidden) window, the row fill alone and the limits alone.
#include "app/Datas.h"
#include "app/DriveData.h"
#include "app/Globals.h"
#include "table/KVR_ParaTable.h"

// The generator lives with the test helpers, which the benchmarks do not link.
#include "support/DriveTypeGenerator.cpp"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

class BenchHost : public ParaTableHost {
public:
    TableCommands& tableCommands() override { return commands; }
    QRect mainFrameGeometry() const override { return QRect(0, 0, 639, 51); }
    void setParaTableAct(bool) override {}
    void UpdateCurrentVoltageCommands() override {
        commands.setEnabled(TableCommand::CVDisp, !globals().ListBuff.isEmpty());
    }
    void CheckSpSetup() override {}
    TableCommands commands;
};

struct Fixture {
    QTemporaryDir folder;
    DriveTypeGenerator::Result files;
    TParameters store;
    BenchHost host;
    std::unique_ptr<TParameter> table;
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
        for (int n = 0; n < 110; ++n)
            store.Messages << QStringLiteral("msg%1").arg(n);
        g.TypeFolder = files.typeFolder;
        g.CapacityFolder = files.typeFolder;
        g.InfoIniPath = files.infoIniPath;
        g.DriveTypeName = options.typeName;
        g.DriveFormName = options.capacityName;
        g.DriveCpuVersion = options.cpuVersion;
        g.LanguageSuffix = QStringLiteral("Eng");
        ok = LoadTypeTable() && LoadCapacityTable() && InitValueTable();
        // Maintenance unlocked: every parameter is a row.
        g.RowsInUse = g.ParaCountAll;
        g.AmpereBase = 10.0f;
        g.VoltBase = 400.0f;
        table = std::make_unique<TParameter>(host);
        table->FormCreate();
    }
};

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fixture().table.reset();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}

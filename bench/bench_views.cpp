// The parameter table's view, mark and display commands on a 2,000-parameter drive type,
// each well under a frame (16 ms) is the aim: the clipboard text of every row, the filtered
// views on and off, the current/voltage display, Select and Select Clear over every row,
// Blind and All Parameters, Hex. and Dec. of every row, Shipment of every row, and a Find
// that runs to the end of the find buffer.
#include "app/Datas.h"
#include "app/DriveData.h"
#include "app/Globals.h"
#include "platform/Prompter.h"
#include "table/KVR_ParaTable.h"
#include "table/ValueRules.h"

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
    void UpdateCurrentVoltageCommands() override { commands.setEnabled(TableCommand::CVDisp, true); }
    void CheckSpSetup() override {}
    TableCommands commands;
};

// A box would wait for a click; none is expected, and any that comes is counted.
class CountingPrompter : public Prompter {
public:
    CountingPrompter() { Prompter::install(this); }
    ~CountingPrompter() override { Prompter::install(nullptr); }
    BoxAnswer message(const QString&, const QString&, BoxIcon, BoxButtons, QWidget*) override {
        ++boxes;
        return BoxAnswer::Ok;
    }
    QString openFile(const QString&, const QString&, const QString&, int, QWidget*) override { return {}; }
    QString saveFile(const QString&, const QString&, const QString&, int, const QString&, QWidget*) override {
        return {};
    }
    bool chooseColor(QColor&, QWidget*) override { return false; }
    bool chooseFont(QFont&, QWidget*) override { return false; }
    bool choosePrinter(QPrinter&, QWidget*) override { return false; }
    int boxes = 0;
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

    ParaTableCore& core() { return table->core(); }
    int lastRow() { return core().grid().rowCount() - 1; }
    // Every data row highlighted in the value column, the cursor on the first.
    void highlightAll() {
        core().setCurrentCell(TC_Value, 1);
        core().setSelection({TC_Value, 1, TC_Value, lastRow()});
        core().CursorRow = 1;
    }
    // Every tenth parameter changed, so that 'Changed' Only has rows.
    void changeSome() {
        for (int i = 0; i <= globals().RowsInUse; i += 10) {
            qint64 v = 0;
            if (ValueRules::parseRawValue(store.UPara.cell(UP_Value, i + 1), v))
                store.UPara.setCell(UP_Value, i + 1, QString::number(v + 1));
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
        f.table->PopChgDispClick();
        f.table->PopChgDispClick();
    }
}
BENCHMARK(BM_ChangedOnlyOnAndOff)->Unit(benchmark::kMillisecond);

void BM_CurrentVoltageOnAndOff(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (auto _ : state) {
        f.table->PopCVDispClick();
        f.table->PopCVDispClick();
    }
}
BENCHMARK(BM_CurrentVoltageOnAndOff)->Unit(benchmark::kMillisecond);

void BM_QuickOnAndOff(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (auto _ : state) {
        f.table->PopQuickClick();
        f.table->PopQuickClick();
    }
}
BENCHMARK(BM_QuickOnAndOff)->Unit(benchmark::kMillisecond);

void BM_SelectEveryRowAndClear(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.highlightAll();
    for (auto _ : state) {
        f.table->PopSlctClick();
        f.table->PopSlctUnlockClick();
    }
}
BENCHMARK(BM_SelectEveryRowAndClear)->Unit(benchmark::kMillisecond);

// Blind hides every other parameter; All Parameters shows them again.
void BM_BlindAndAllParameters(benchmark::State& state) {
    NEED_FIXTURE(f);
    for (int i = 0; i <= globals().RowsInUse; i += 2)
        f.store.UPara.setCell(UP_SelectIndex, i + 1, QStringLiteral("1"));
    for (auto _ : state) {
        f.table->PopBlindClick();
        f.table->PopDispClick();
    }
    f.table->PopSlctUnlockClick();
}
BENCHMARK(BM_BlindAndAllParameters)->Unit(benchmark::kMillisecond);

void BM_HexAndDecEveryRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    f.highlightAll();
    for (auto _ : state) {
        f.table->PopHexDispClick();
        f.table->PopDecDispClick();
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
        f.table->PopDefClick();
    }
}
BENCHMARK(BM_ShipmentEveryRow)->Unit(benchmark::kMillisecond);

// A search whose only match is on the last row: the whole buffer is scanned.
void BM_FindToTheLastRow(benchmark::State& state) {
    NEED_FIXTURE(f);
    const QString last = f.core().DummyList.last();
    for (auto _ : state) {
        f.table->findSearch().start();
        benchmark::DoNotOptimize(f.table->findSearch().findNext(last, true, false));
    }
}
BENCHMARK(BM_FindToTheLastRow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CountingPrompter prompter;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fixture().table.reset();
    benchmark::Shutdown();
    if (prompter.boxes != 0)
        qWarning("%d message boxes came up", prompter.boxes);
    return EXIT_SUCCESS;
}

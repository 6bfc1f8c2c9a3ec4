// Typing a value into the parameter table of a 2,000-parameter drive type and taking it back:
// the whole Enter road (parse, clamp, store, undo step, limits of every row), one Undo and
// one Redo. The Enter road is measured with the window hidden and shown (painted again).
#include "app/Datas.h"
#include "app/DriveData.h"
#include "app/Globals.h"
#include "app/Options.h"
#include "platform/Prompter.h"
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

// A box would stop the measurement; the values typed here never raise one, and any that
// does is counted and reported.
class CountingPrompter : public Prompter {
public:
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
    CountingPrompter prompter;
    std::unique_ptr<TParameter> table;
    bool ok = false;

    Fixture() {
        Prompter::install(&prompter);
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
        // Enter keeps the cursor on the row, so every round types into the same parameter.
        ::options().ParaEnt.setChecked(false);
        ::options().UndoMaxSet.setPosition(100);
        table->undoRedo().readDepth();
    }

    // The cursor on the value cell of a parameter's row (its maximum frequency: every
    // frequency of the drive type takes its limits from it).
    void goTo(const QString& comNo) {
        const int row = store.indexOfComNo(comNo) + 1;
        table->core().setCurrentCell(TC_Value, row);
        table->entry().Click();
    }
    void type(const QString& text) {
        for (QChar c : text)
            table->entry().KeyPress(c);
        table->entry().KeyDown(ValueEntry::Key::Enter);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_EnterValue(benchmark::State& state) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    const bool shown = state.range(0) != 0;
    if (shown) {
        f.table->Show();
        QCoreApplication::processEvents();
    }
    f.goTo(QStringLiteral("0003"));
    const int boxes = f.prompter.boxes;
    bool odd = false;
    for (auto _ : state) {
        f.type(odd ? QStringLiteral("50") : QStringLiteral("60.25"));
        odd = !odd;
        if (shown) {
            f.table->repaint();
            QCoreApplication::processEvents();
        }
    }
    if (shown)
        f.table->hide();
    state.counters["boxes"] = f.prompter.boxes - boxes;
}
BENCHMARK(BM_EnterValue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One Undo (or one Redo) per round; the other direction refills the history untimed.
void undoOrRedo(benchmark::State& state, bool undo) {
    Fixture& f = fixture();
    if (!f.ok) {
        state.SkipWithError("no drive type");
        return;
    }
    f.goTo(QStringLiteral("0003"));
    for (int k = 0; k < 50; ++k)
        f.type(k % 2 ? QStringLiteral("50") : QStringLiteral("60.25"));
    UndoRedo& h = f.table->undoRedo();
    ParaTableCore& core = f.table->core();
    for (auto _ : state) {
        if ((undo ? core.UndoCount : core.RedoCount) == 0) {
            state.PauseTiming();
            while (undo ? h.PopRedoClick() : h.PopUndoClick()) {
            }
            state.ResumeTiming();
        }
        if (!(undo ? h.PopUndoClick() : h.PopRedoClick())) {
            state.SkipWithError("no step");
            break;
        }
    }
}

void BM_Undo(benchmark::State& state) {
    undoOrRedo(state, true);
}
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond);

void BM_Redo(benchmark::State& state) {
    undoOrRedo(state, false);
}
BENCHMARK(BM_Redo)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    fixture().table.reset();
    Prompter::install(nullptr);
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}

// Typing a value into the parameter table of a 2,000-parameter drive type and taking it back:
// the whole Enter road (parse, clamp, store, undo step, limits of every row), one Undo and
// one Redo. The Enter road is measured with the window hidden and shown (painted again).
#include "BenchSupport.h"

#include "core/Options.h"
#include "core/ProgramContext.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

struct Fixture : BenchParameterTable {
    Fixture() {
        // Enter keeps the cursor on the row, so every round types into the same parameter.
        programOptions.enterMovesToNextCell.setChecked(false);
        programOptions.undoDepth.setPosition(100);
        table->undoRedo().readDepth();
    }

    // The cursor on the value cell of a parameter's row (its maximum frequency: every
    // frequency of the drive type takes its limits from it).
    void goTo(const QString& comNo) {
        const int row = context.drive.indexOfComNo(comNo) + 1;
        table->core().setCurrentCell(TC_Value, row);
        table->entry().cancelForMove();
    }
    void type(const QString& text) {
        for (QChar c : text)
            table->entry().typeCharacter(c);
        table->entry().pressKey(ValueEntry::Key::Enter);
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
    const UndoHistory& history = f.store.history();
    for (auto _ : state) {
        if ((undo ? history.undoCount() : history.redoCount()) == 0) {
            state.PauseTiming();
            while (undo ? h.redoStep() : h.undoStep()) {
            }
            state.ResumeTiming();
        }
        if (!(undo ? h.undoStep() : h.redoStep())) {
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
    return runWindowBenchmarks(argc, argv, [] { fixture().closeWindow(); });
}

// The data-store window: the same row in both tables, and the store as it is while the
// window is on screen (a typed value's undo step, a new parameter set's definitions).
#include "shell/StoreInspector.h"
#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "shell/StartUpFixture.h"
#include "support/SimulatedDriveProgram.h"
#include "ui/ParameterTableWindow.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTableView>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>

namespace {

TEST(StoreInspectorWindow, ShowsTheSameRowInTheOtherTable) {
    ProgramContext context;
    ParameterStore store;
    context.store = &store;
    std::vector<ParameterDefinition> definitions(39);
    definitions[0].comNo = "0001";
    definitions[0].size = 4;
    context.drive.setParameters(std::move(definitions), 0);
    store.resizeWorking(39);
    StoreInspector view(context);
    view.resize(800, 300);
    view.show();

    const QModelIndex cell = view.paraDatView()->model()->index(7, 3);
    emit view.paraDatView()->clicked(cell);
    const QModelIndexList selected = view.uParaView()->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 8);
    for (const QModelIndex& i : selected) {
        EXPECT_EQ(i.row(), 7);
        EXPECT_LT(i.column(), 8);
    }
    EXPECT_EQ(view.uParaView()->rowAt(0), 7) << "scrolled to the top";

    emit view.uParaView()->clicked(view.uParaView()->model()->index(12, 0));
    EXPECT_EQ(view.paraDatView()->selectionModel()->selectedIndexes().size(), 18);
    EXPECT_EQ(view.paraDatView()->rowAt(0), 12);
    EXPECT_EQ(view.paraDatView()->model()->data(view.paraDatView()->model()->index(0, 17)),
              "Current/VoltIndex");
    const QAbstractItemModel* definitionCells = view.paraDatView()->model();
    EXPECT_EQ(definitionCells->rowCount(), 40);
    EXPECT_EQ(definitionCells->data(definitionCells->index(1, PD_ComNo)), "0001");
    EXPECT_EQ(definitionCells->data(definitionCells->index(1, PD_Byte)), "4");

    emit view.paraDatView()->clicked(view.paraDatView()->model()->index(0, 2));
    EXPECT_EQ(view.uParaView()->selectionModel()->selectedIndexes().first().row(), 7)
        << "the names row is no parameter";

    // A cell written while the window is on screen keeps the selection where it was.
    store.setWorkingText(UP_Value, 6, QStringLiteral("12"));
    view.refresh();
    EXPECT_EQ(view.uParaView()->model()->data(view.uParaView()->model()->index(7, UP_Value)), "12");
    EXPECT_EQ(view.uParaView()->selectionModel()->selectedIndexes().size(), 8);

    int closed = 0;
    QObject::connect(&view, &StoreInspector::closed, [&closed] { ++closed; });
    view.close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(view.following()) << "nothing is compared while the window is hidden";
}

// The program on the simulated drive, HXA1 at the start and HXB3 after File > New, with the
// data-store window shown by its option.
class StoreWindow : public StartUpTestBase, protected SimulatedDriveProgram {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.copyTree(shippedDataDir() + QStringLiteral("/dat/HXB3(V250)"),
                                    QStringLiteral("dat/HXB3(V250)")));
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n");
        ASSERT_TRUE(loadDrive(folder.path()));
        ASSERT_TRUE(startProgram({folder.path(), folder.path(), {}}, [this](MainWindow& m) {
            choose(m.context(), nextType, nextCpu, nextForm);
        }));
        program->showMain();
        program->options().showBufferTable.setChecked(true); // its click rule shows the window
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* v = qobject_cast<StoreInspector*>(top); v && v->isVisible())
                view = v;
        ASSERT_TRUE(view);
    }
    void TearDown() override { program.reset(); }

    void key(int k, const QString& text = QString()) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(program->table()->gridView, &down);
        QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(program->table()->gridView, &up);
    }
    QString definitionCell(int row, int col) const {
        const QAbstractItemModel* m = view->paraDatView()->model();
        return m->data(m->index(row, col)).toString();
    }
    QString undoText() const { return view->findChildren<QPlainTextEdit*>().value(0)->toPlainText(); }
    // The window takes a change on its own while on screen: events go through until it shows
    // it (or a bound far beyond its timer's period).
    bool shows(const std::function<bool()>& change) {
        for (int i = 0; i < 500 && !change(); ++i) {
            QThread::msleep(4);
            QCoreApplication::processEvents();
        }
        return change();
    }

    StoreInspector* view = nullptr;
    QString nextType = QStringLiteral("HXA1"), nextCpu = QStringLiteral("V110"),
            nextForm = QStringLiteral("-2004");
};

TEST_F(StoreWindow, ShowsATypedValuesUndoStepAndTheNewParameterSetsDefinitions) {
    const ProgramContext& context = program->context();
    EXPECT_TRUE(view->following());
    ASSERT_EQ(view->paraDatView()->model()->rowCount(), int(context.drive.parameters.size()) + 1);

    ParameterTableWindow& table = *program->table();
    int row = 1;
    while (row < table.cells().rowCount() && table.cells().cell(TC_ComNo, row) != QLatin1String("0001"))
        ++row;
    ASSERT_LT(row, table.cells().rowCount());
    table.core().setCurrentCell(TC_Value, row);
    table.entry().cancelForMove();
    key(Qt::Key_2, QStringLiteral("2"));
    key(Qt::Key_Return);
    ASSERT_EQ(context.store->history().undoCount(), 1);
    ASSERT_EQ(context.store->history().undoSteps().first().comNo, QStringLiteral("0001"));
    EXPECT_TRUE(shows([&] { return undoText().startsWith(QStringLiteral("0001\t")); }))
        << undoText().toStdString();

    const int hxa1 = int(context.drive.parameters.size());
    nextType = QStringLiteral("HXB3");
    nextCpu = QStringLiteral("V250");
    nextForm = QStringLiteral("-4015");
    program->main()->item(MainCommand::New)->trigger();
    ASSERT_EQ(context.drive.identity.typeName, QStringLiteral("HXB3"));
    ASSERT_NE(int(context.drive.parameters.size()), hxa1);
    const int hxb3 = int(context.drive.parameters.size());
    EXPECT_TRUE(shows([&] { return view->paraDatView()->model()->rowCount() == hxb3 + 1; }));
    for (int i : {0, hxb3 - 1})
        EXPECT_EQ(definitionCell(i + 1, PD_ComNo), context.drive.parameters[std::size_t(i)].comNo) << i;
    EXPECT_EQ(undoText().isEmpty(), context.store->history().undoSteps().isEmpty());
    EXPECT_EQ(view->uParaView()->model()->data(view->uParaView()->model()->index(hxb3, UP_Value)),
              context.store->workingText(UP_Value, hxb3 - 1));
}

} // namespace

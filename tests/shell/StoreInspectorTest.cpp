#include "shell/StoreInspector.h"
#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/ScriptedPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString path(const QString& name) const { return tmp.filePath(name); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    ParameterStore store;
};

const QString kClosed = QStringLiteral("KVR260X is closed.");

} // namespace

TEST_F(StoreTest, InspectionWindowShowsTheSameRowInTheOtherTable) {
    LoadedDrive drive;
    std::vector<ParameterDefinition> definitions(39);
    definitions[0].comNo = "0001";
    definitions[0].size = 4;
    drive.setParameters(std::move(definitions), 0);
    store.UPara.setRowCount(40);
    store.UPara.setRow(0, uParaColumnNames());
    store.UndoComNo << "0001";
    store.UndoVal << "5";
    StoreInspector view(drive, &store);
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

    int closed = 0;
    QObject::connect(&view, &StoreInspector::closed, [&closed] { ++closed; });
    view.close();
    EXPECT_EQ(closed, 1);
}

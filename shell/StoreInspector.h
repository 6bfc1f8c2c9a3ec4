#pragma once
// The inspection window of the data store: both tables, the undo, redo and language lists
// and the two maintenance flags, shown while the option "Display the Buffer Table." is on.
// It only shows the store, as it is: while the window is on screen it compares what it shows
// with the program's store and loaded drive a few times a second and takes what changed. The
// store is plain data written from many places (cells, undo lists, a new parameter set, the
// transfers' marks), so no writer has to tell it; the comparison costs a fraction of a
// millisecond and nothing while the window is hidden.
#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "core/LoadedDrive.h"
#include "core/ParameterStore.h"
#include "platform/TextGrid.h"

#include <vector>

struct ProgramContext;
class ParameterStore;
class QTableView;
class QPlainTextEdit;
class QCheckBox;

// A read-only view of a text grid; row 0 of the grid (the column names) is shown as a row,
// as the store holds it.
class TextGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TextGridModel(const TextGrid* grid, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Rows are numbered as the store numbers them, from 0.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // The grid changed: its cells only (the selection stays), or its size too.
    void reload(bool sameSize);

private:
    const TextGrid* grid_;
};

class StoreInspector : public QWidget {
    Q_OBJECT
public:
    // Shows the store and the loaded drive of `context`, whichever store it holds.
    explicit StoreInspector(const ProgramContext& context, QWidget* parent = nullptr);

    // Takes what changed in the store and the definitions since they were last shown (the
    // timer's and a showing's work).
    void refresh();
    // The window compares itself with the store (while on screen).
    bool following() const { return follow_.isActive(); }
    // How often it does.
    static constexpr int kFollowMs = 250;
    // Top at the main window's bottom, left edge at its left edge.
    void placeUnder(const QWidget* mainWindow);

    QTableView* paraDatView() const { return paraDatView_; }
    QTableView* uParaView() const { return uParaView_; }

signals:
    // The window was closed; the options window unchecks "DispBuffer".
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Selects `columns` cells of `row` in `target` and scrolls that row to the top.
    static void showRow(QTableView* target, int row, int columns);

    const ProgramContext& context_;
    QTimer follow_;
    // What the window shows: the store it came from, the definitions and the working table as
    // they were then, and the lists and flags.
    const ParameterStore* shownStore_ = nullptr;
    std::vector<ParameterDefinition> shownDefinitions_;
    TextGrid definitions_; // shownDefinitions_ as text, under their column names
    std::vector<WorkingParameter> shownWorking_;
    TextGrid work_; // shownWorking_ as text, under their column names
    QStringList shownUndo_[2], shownRedo_[2], shownLanguage_[2];
    class UnderMainWindow* placement_ = nullptr;
    TextGridModel* paraDatModel_;
    TextGridModel* uParaModel_;
    QTableView* paraDatView_;
    QTableView* uParaView_;
    QPlainTextEdit* undoList_;
    QPlainTextEdit* redoList_;
    QPlainTextEdit* languageList_;
    QCheckBox* mainteFlag_;
    QCheckBox* sMainteFlag_;
};

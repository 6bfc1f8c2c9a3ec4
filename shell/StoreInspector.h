#pragma once
// The inspection window of the data store: both tables, the undo, redo and language lists
// and the two maintenance flags, shown while the option "Display the Buffer Table." is on.
// It only shows the store; refresh() rereads it.
#include <QAbstractTableModel>
#include <QWidget>

#include "platform/TextGrid.h"

struct LoadedDrive;
class ParameterStore;
class TextGrid;
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
    void reload();

private:
    const TextGrid* grid_;
};

class StoreInspector : public QWidget {
    Q_OBJECT
public:
    StoreInspector(const LoadedDrive& drive, ParameterStore* store, QWidget* parent = nullptr);

    // Rereads the definitions and the store after they changed.
    void refresh();
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

private:
    // Selects `columns` cells of `row` in `target` and scrolls that row to the top.
    static void showRow(QTableView* target, int row, int columns);

    const LoadedDrive& drive_;
    ParameterStore* store_;
    TextGrid definitions_; // the drive's definitions as text, under their column names
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

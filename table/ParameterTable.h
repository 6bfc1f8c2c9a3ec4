#pragma once
// The parameter table without its window: the grid of texts (column, row; row 0 the titles),
// the state fields the table's commands share, the filling of the rows for each view, the
// limits, the find buffer and how each cell is drawn. The views ('Changed' Only, Blind,
// Quick, Current/Voltage) are the checked states of the table's commands.
//
// A Qt item model over the grid (model row = grid row - 1; grid row 0 is the header) and
// its selection live here too, so that all of it runs without a window.
#include "core/ConversionBases.h"
#include "platform/TextGrid.h"
#include "table/PendingEntry.h"
#include "table/TableCommands.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QItemSelectionModel>
#include <QString>
#include <QStringList>
#include <array>

class Asker;
class Options;
class ParameterTable;
struct ProgramContext;

// Table columns.
enum ParaTableCol {
    TC_Title = 0,
    TC_ComNo,
    TC_Name,
    TC_Value,
    TC_Low,
    TC_High,
    TC_Unit,
    TC_Changed,
    TC_Count
};

class ParameterTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ParameterTableModel(ParameterTable& core);
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    friend class ParameterTable;
    ParameterTable& core_;
};

// How one cell is drawn.
struct CellStyle {
    QColor background; // invalid: the grid's own (the fixed column's button colour)
    QColor text;       // invalid: the grid's own
    bool bold = false;
    Qt::Alignment alignment = Qt::AlignHCenter;
};

class ParameterTable : public QObject {
    Q_OBJECT
public:
    // The table of the program the context describes (its store and counts), with its
    // options; its boxes go to `asker`. Nothing is owned.
    ParameterTable(ProgramContext& context, Options& options, TableCommands& commands, Asker& asker);

    ProgramContext& context() { return context_; }
    const ProgramContext& context() const { return context_; }
    Options& options() { return options_; }
    const Options& options() const { return options_; }
    Asker& asker() { return asker_; }

    TableCommands& commands() { return commands_; }
    // The bases of the current/voltage display: the program's, which the monitor shares
    // (none: the table's own).
    void shareConversionBases(ConversionBases* bases) { bases_ = bases ? bases : &ownBases_; }
    ConversionBases& conversionBases() { return *bases_; }
    const ConversionBases& conversionBases() const { return *bases_; }
    const TableCommands& commands() const { return commands_; }
    const TextGrid& grid() const { return grid_; }
    ParameterTableModel* model() { return &model_; }
    QItemSelectionModel* selection() { return &selection_; }

    // ---- Cursor ----------------------------------------------------------------------------
    // The data row the commands act on; 0: no row (its parameter left the view), typing is
    // refused then.
    int cursorRow() const { return cursorRow_; }
    void setCursorRow(int row) { cursorRow_ = row; }

    // ---- The value being typed (the value entry's) --------------------------------------------
    PendingEntry& pendingEntry() { return entry_; }
    const PendingEntry& pendingEntry() const { return entry_; }
    // Whether the last ClampToRange met a value beyond the limits, until cleared.
    bool outOfRange() const { return outOfRange_; }
    void clearOutOfRange() { outOfRange_ = false; }

    // ---- Counts ------------------------------------------------------------------------------
    // Rows left when blind parameters are hidden.
    int blindRowCount() const { return blindRowCount_; }
    void setBlindRowCount(int n) { blindRowCount_ = n; }

    // ---- Row search (GridRowOfIndex) ------------------------------------------------------------
    int lastDataRow() const { return lastDataRow_; }
    int searchStartRow() const { return searchStartRow_; }
    // The next search by index starts at the top.
    void restartRowSearch() { searchStartRow_ = 0; }
    // The rows were rewritten: the last data row is the grid's again and the search starts at the top.
    void recountDataRows();

    // "number,name" per data row, searched by Find.
    const QStringList& findBuffer() const { return findBuffer_; }
    void clearFindBuffer() { findBuffer_.clear(); }
    const std::array<float, TC_Count>& columnRatio() const { return columnRatio_; }

    // ---- Views ------------------------------------------------------------------------------
    bool changedOnly() const { return commands_.checked(TableCommand::ChgDisp); }
    bool blindView() const { return commands_.checked(TableCommand::Blind); }
    bool quickView() const { return commands_.checked(TableCommand::Quick); }
    bool currentVoltage() const { return commands_.checked(TableCommand::CVDisp); }
    // 'Changed' Only, Blind or Quick: rows are packed and found by their numbers.
    bool filtered() const { return changedOnly() || blindView() || quickView(); }

    // ---- Filling ------------------------------------------------------------------------------
    // The data part of a rebuild after the parameter set changed: command states, flags of
    // the working table, undo history (emptied, its depth read from the options), rows, find
    // buffer. False when the refill stopped at a value that is no number: message NotANumber
    // was shown once and the rows filled so far stay.
    bool refreshAll();
    // Rows and header for the current view, then the limits; the cursor row, the current cell
    // and the highlighted block stay on their parameters where the new rows show them. False
    // as above.
    bool FillRows();
    // The limits columns of every shown row. False as above.
    bool UpdateLimits();
    void FillFindBuffer();
    // Message 20 + " " + type + form + " (CPU Ver." + CPU version + ")".
    QString caption() const;
    // The parameter index a data row shows; -1 for a row that shows none.
    int indexOfRow(int row) const;

    // ---- Drawing and layout ------------------------------------------------------------------
    CellStyle cellStyle(int col, int row, bool selected) const;
    // Column widths for a grid client width.
    std::array<int, TC_Count> columnWidths(int clientWidth) const;
    // The same, with each column but the names at least as wide as `needed` says (the widest
    // text it must show whole): what a column lacks is taken from the name column's share,
    // which takes what the limit and value columns have beyond their need until the names
    // fit. The name column keeps at least its share, or what the names need where that is
    // less; the widths then add up to more than the client width.
    std::array<int, TC_Count> columnWidths(int clientWidth, const std::array<int, TC_Count>& needed) const;
    // The least client width at which columnWidths(width, needed) fits and holds the names
    // whole, never below `clientWidth` itself.
    int fittingClientWidth(int clientWidth, const std::array<int, TC_Count>& needed) const;

    // ---- Rules that use the table's own fields -----------------------------------------------
    // The value rules of the same names; a rule that fails is reported here (a warning box
    // with its message) before the result is returned.
    double ClampToRange(const QString& valueText, int index);
    QString DefaultOf(const QString& comNo);
    int UpdateChangedFlag(const QString& comNo, double raw, bool* ok = nullptr);
    int storeValue(int index, const QString& text, double raw, bool* ok = nullptr);
    int GridRowOfIndex(int index);

    // ---- Grid position ---------------------------------------------------------------------
    // A block of cells in grid coordinates (row 0 = titles), edges included.
    struct GridRect {
        int Left = -1, Top = -1, Right = -1, Bottom = -1;
        bool isValid() const { return Left >= 0 && Top >= 0 && Right >= Left && Bottom >= Top; }
        bool operator==(const GridRect&) const = default;
    };
    // The highlighted block; the current cell alone when nothing else is highlighted;
    // invalid without a current cell.
    GridRect Selection() const;
    // Highlights the block, cut to the data rows and to columns 1 to 7; the current cell
    // stays where it is.
    void setSelection(const GridRect& block);
    // The current cell in grid coordinates (row 0 = titles), or (-1, -1).
    int currentCol() const;
    int currentRow() const;
    void setCurrentCell(int col, int row);

    // ---- Cell texts written by the commands ---------------------------------------------------
    // One cell's text; the view repaints it.
    void setCell(int col, int row, const QString& text);
    // Every cell is repainted (marks drawn from the working table changed).
    void repaintAll();
    // A value being typed is given up: the cell shows what it showed before the first key.
    // Commands that move the cursor row or rewrite rows call this first, so that the typed
    // text can never be committed into another parameter.
    void CancelPendingEntry();

signals:
    // The row count or the texts changed.
    void refilled();

private:
    bool updateLimits(bool notify);
    void setRowCount(int rows);
    void clampCursor();
    // The number column of a data row; empty for any other row.
    QString numberOfRow(int row) const;
    // After a refill: the cursor row, the current cell and the block back on their parameters.
    void restorePosition(bool hadRows, const QString& cursorNo, int keepCol, const QString& currentNo,
                         const GridRect& keepBlock, const QStringList& blockNos);

    ProgramContext& context_;
    Options& options_;
    TableCommands& commands_;
    Asker& asker_;
    ConversionBases ownBases_;
    ConversionBases* bases_ = &ownBases_;
    TextGrid grid_{TC_Count, 1};
    ParameterTableModel model_{*this};
    QItemSelectionModel selection_{&model_};
    QStringList numberColumn_; // the numbers of column 1 by grid row, for GridRowOfIndex
    int cursorRow_ = 1;
    PendingEntry entry_;
    bool outOfRange_ = false;
    int blindRowCount_ = 0;
    int lastDataRow_ = 0;
    int searchStartRow_ = 0;
    QStringList findBuffer_;
    std::array<float, TC_Count> columnRatio_{0.0889f, 0.0973f, 0.354f,  0.0889f,
                                             0.0889f, 0.0889f, 0.0889f, 0.095f};
};

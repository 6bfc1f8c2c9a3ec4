#pragma once
// A grid of text cells addressed by (column, row), the program's string grid without a
// view. Reads outside the grid give an empty text and writes outside it are dropped, so a
// stale index can never corrupt another row.
#include <QString>
#include <QStringList>
#include <vector>

class TextGrid {
public:
    TextGrid() = default;
    TextGrid(int colCount, int rowCount) { resize(colCount, rowCount); }

    int colCount() const { return cols_; }
    int rowCount() const { return rows_; }
    void setColCount(int n) { resize(n, rows_); }
    void setRowCount(int n) { resize(cols_, n); }
    void resize(int cols, int rows);

    bool contains(int col, int row) const { return col >= 0 && row >= 0 && col < cols_ && row < rows_; }
    const QString& cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);

    QStringList row(int row) const;
    void setRow(int row, const QStringList& cells);
    void clearRow(int row);
    void clear();

    bool operator==(const TextGrid&) const = default;

private:
    int cols_ = 0;
    int rows_ = 0;
    std::vector<QString> cells_; // row-major
};

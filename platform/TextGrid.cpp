#include "platform/TextGrid.h"

namespace {
const QString kEmpty;
}

void TextGrid::resize(int cols, int rows) {
    cols = std::max(cols, 0);
    rows = std::max(rows, 0);
    if (cols == cols_) {
        cells_.resize(static_cast<size_t>(cols) * static_cast<size_t>(rows));
    } else {
        std::vector<QString> next(static_cast<size_t>(cols) * static_cast<size_t>(rows));
        const int keepRows = std::min(rows, rows_), keepCols = std::min(cols, cols_);
        for (int r = 0; r < keepRows; ++r)
            for (int c = 0; c < keepCols; ++c)
                next[static_cast<size_t>(r) * cols + c] =
                    std::move(cells_[static_cast<size_t>(r) * cols_ + c]);
        cells_ = std::move(next);
    }
    cols_ = cols;
    rows_ = rows;
}

const QString& TextGrid::cell(int col, int row) const {
    if (!contains(col, row))
        return kEmpty;
    return cells_[static_cast<size_t>(row) * cols_ + col];
}

void TextGrid::setCell(int col, int row, const QString& text) {
    if (contains(col, row))
        cells_[static_cast<size_t>(row) * cols_ + col] = text;
}

QStringList TextGrid::row(int r) const {
    QStringList out;
    for (int c = 0; c < cols_; ++c)
        out << cell(c, r);
    return out;
}

void TextGrid::setRow(int r, const QStringList& cells) {
    for (int c = 0; c < cols_; ++c)
        setCell(c, r, c < cells.size() ? cells[c] : QString());
}

void TextGrid::clearRow(int r) {
    for (int c = 0; c < cols_; ++c)
        setCell(c, r, QString());
}

void TextGrid::clear() {
    for (auto& s : cells_)
        s.clear();
}

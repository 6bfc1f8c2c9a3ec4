#include "ui/TableColumnFit.h"

#include <QHeaderView>

#include <algorithm>

namespace TableColumnFit {

std::array<int, TC_Count> neededWidths(const TextGrid& grid, const QFont& font, const QHeaderView* header) {
    std::array<int, TC_Count> need{};
    QFont boldFont = font;
    boldFont.setBold(true);
    const QFontMetrics plain(font), bold(boldFont);
    for (int c = 0; c < TC_Count; ++c) {
        const bool valueColumn = c == TC_Value;
        const QFontMetrics& m = valueColumn ? bold : plain;
        int widest = 0;
        for (int r = 1; r < grid.rowCount(); ++r) {
            // Blanks that pad a number are dropped where the cell is narrow (fittedText).
            widest = std::max(widest, m.horizontalAdvance(grid.cell(c, r).trimmed()));
            if (valueColumn) {
                widest = std::max(widest, m.horizontalAdvance(grid.cell(TC_Low, r).trimmed()));
                widest = std::max(widest, m.horizontalAdvance(grid.cell(TC_High, r).trimmed()));
            }
        }
        need[c] = widest > 0 ? widest + kCellRoom : 0;
    }
    for (int c = 0; c < TC_Count; ++c) {
        const int title =
            header ? header->sectionSizeHint(c) : plain.horizontalAdvance(grid.cell(c, 0)) + kCellRoom;
        need[c] = std::max(need[c], title);
    }
    return need;
}

QString fittedText(const QFontMetrics& metrics, const QString& text, int room) {
    if (metrics.horizontalAdvance(text) <= room)
        return text;
    const QString trimmed = text.trimmed();
    if (metrics.horizontalAdvance(trimmed) <= room)
        return trimmed;
    return metrics.elidedText(trimmed, Qt::ElideRight, std::max(room, 0));
}

} // namespace TableColumnFit

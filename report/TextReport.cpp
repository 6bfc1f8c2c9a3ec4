#include "report/TextReport.h"

#include <algorithm>

namespace report {

ReportDocument layoutTextReport(const QString& title, const QStringList& lines, const FontSpec& font) {
    ReportDocument doc;
    doc.title = title;
    const double width = printableSizeInDesign(doc.format).width();
    const double line = lineHeight(font);
    doc.details.reserve(size_t(lines.size()));
    for (const QString& text : lines) {
        Band band;
        band.height = text.isEmpty() ? line : std::max(line, wrappedHeight(font, text, width));
        TextItem item;
        item.rect = QRectF(0, 0, width, band.height);
        item.text = text;
        item.font = font;
        item.alignment = Qt::AlignLeft | Qt::AlignTop;
        item.wrap = true;
        band.texts.push_back(std::move(item));
        doc.details.push_back(std::move(band));
    }
    return doc;
}

} // namespace report

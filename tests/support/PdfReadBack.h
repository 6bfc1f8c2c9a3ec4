#pragma once
// Reads a PDF back with poppler's command-line tools: the text of each page, the words with
// their boxes in points, and the size of each page in points.
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

namespace PdfReadBack {

// The text of every page, in order (pdftotext in layout mode).
QStringList pageTexts(const QString& pdf);

struct Word {
    QString text;
    QRectF box; // points, from the page's top-left corner
};
// The words of every page, in order.
std::vector<std::vector<Word>> pageWords(const QString& pdf);

// The size of every page in points, in order.
std::vector<QSizeF> pageSizes(const QString& pdf);

// Page `page` (1-based) drawn by pdftoppm at `dpi`; a null image when it could not be.
QImage renderPage(const QString& pdf, int page, int dpi);

// The first word of a page equal to `text`; an empty box when none is.
QRectF boxOf(const std::vector<Word>& words, const QString& text);

} // namespace PdfReadBack

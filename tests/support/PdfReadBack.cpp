#include "PdfReadBack.h"

#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace PdfReadBack {

namespace {

QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

} // namespace

QStringList pageTexts(const QString& pdf) {
    QStringList pages = QString::fromUtf8(run("pdftotext", {"-layout", pdf, "-"})).split(u'\f');
    // pdftotext ends the last page with a form feed too.
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

std::vector<std::vector<Word>> pageWords(const QString& pdf) {
    std::vector<std::vector<Word>> pages;
    QXmlStreamReader xml(run("pdftotext", {"-bbox", pdf, "-"}));
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("page")) {
            pages.emplace_back();
        } else if (xml.name() == QLatin1String("word") && !pages.empty()) {
            const auto a = xml.attributes();
            const double x0 = a.value("xMin").toDouble(), y0 = a.value("yMin").toDouble();
            const double x1 = a.value("xMax").toDouble(), y1 = a.value("yMax").toDouble();
            pages.back().push_back({xml.readElementText(), QRectF(QPointF(x0, y0), QPointF(x1, y1))});
        }
    }
    return pages;
}

std::vector<QSizeF> pageSizes(const QString& pdf) {
    std::vector<QSizeF> sizes;
    const QString info = QString::fromUtf8(run("pdfinfo", {"-f", "1", "-l", "100000", pdf}));
    static const QRegularExpression re(QStringLiteral("Page\\s+\\d+ size:\\s+([0-9.]+) x ([0-9.]+) pts"));
    for (auto it = re.globalMatch(info); it.hasNext();) {
        const auto m = it.next();
        sizes.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

QImage renderPage(const QString& pdf, int page, int dpi) {
    const QString n = QString::number(page);
    QImage image;
    image.loadFromData(
        run("pdftoppm", {"-png", "-r", QString::number(dpi), "-f", n, "-l", n, "-singlefile", pdf}), "PNG");
    return image;
}

QRectF boxOf(const std::vector<Word>& words, const QString& text) {
    for (const Word& w : words)
        if (w.text == text)
            return w.box;
    return QRectF();
}

} // namespace PdfReadBack

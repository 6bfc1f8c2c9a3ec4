#include "report/BandReport.h"

#include "report/PdfTextLayer.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

namespace report {

namespace {

// Text is drawn in a coordinate system this many times finer than the design unit: a pixel
// size is a whole number, and 8 points are 10.67 design units.
constexpr double kTextScale = 16.0;
constexpr double kEpsilon = 1e-6;

QFont fineFont(const FontSpec& spec) {
    QFont f(spec.family);
    f.setPixelSize(std::max(1, int(std::lround(spec.pointSize * kDesignDpi / 72.0 * kTextScale))));
    f.setBold(spec.bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    // A ligature would reach a PDF's text layer as one character ("ﬀ" for "ff").
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

QRectF scaled(const QRectF& r, double k) {
    return QRectF(r.x() * k, r.y() * k, r.width() * k, r.height() * k);
}

double bandsHeight(const std::vector<Band>& bands) {
    double h = 0;
    for (const Band& b : bands)
        h += b.height;
    return h;
}

void drawFrame(QPainter& p, const QRectF& r, int sides, const QColor& color = Qt::black) {
    if (sides & FrameLeft)
        p.fillRect(QRectF(r.left(), r.top(), 1, r.height()), color);
    if (sides & FrameRight)
        p.fillRect(QRectF(r.right() - 1, r.top(), 1, r.height()), color);
    if (sides & FrameTop)
        p.fillRect(QRectF(r.left(), r.top(), r.width(), 1), color);
    if (sides & FrameBottom)
        p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), color);
}

// Every text of the document in the font it is drawn in.
PdfTextLayer textLayerOf(const ReportDocument& doc) {
    PdfTextLayer layer;
    for (const std::vector<Band>* bands :
         {&doc.pageHeader, &doc.columnHeader, &doc.details, &doc.pageFooter}) {
        for (const Band& band : *bands) {
            for (const ImageItem& image : band.images)
                if (image.paint && !image.texts.isEmpty())
                    layer.add(image.textFont, image.texts);
            for (const TextItem& t : band.texts)
                layer.add(fineFont(t.font), t.sys == SysData::None ? t.text
                                                                   : sysDataText(t.sys, doc.printedAt, 1) +
                                                                         QStringLiteral("0123456789"));
        }
    }
    return layer;
}

} // namespace

QPageSize pageSizeOf(Paper paper) {
    switch (paper) {
    case Paper::A3:
        return QPageSize(QPageSize::A3);
    case Paper::A5:
        return QPageSize(QPageSize::A5);
    case Paper::B4:
        return QPageSize(QPageSize::JisB4);
    case Paper::B5:
        return QPageSize(QPageSize::JisB5);
    case Paper::A4:
        break;
    }
    return QPageSize(QPageSize::A4);
}

QPageLayout pageLayoutOf(const PageFormat& format) {
    return QPageLayout(pageSizeOf(format.paper),
                       format.portrait ? QPageLayout::Portrait : QPageLayout::Landscape, format.marginsMm,
                       QPageLayout::Millimeter);
}

QSizeF paperSizeInDesign(const PageFormat& format) {
    const QSizeF mm = pageSizeOf(format.paper).size(QPageSize::Millimeter);
    const QSizeF d(mmToDesign(mm.width()), mmToDesign(mm.height()));
    return format.portrait ? d : d.transposed();
}

QSizeF printableSizeInDesign(const PageFormat& format) {
    const QSizeF paper = paperSizeInDesign(format);
    const QMarginsF& m = format.marginsMm;
    return QSizeF(std::max(0.0, paper.width() - mmToDesign(m.left() + m.right())),
                  std::max(0.0, paper.height() - mmToDesign(m.top() + m.bottom())));
}

QString installedFamily(const QString& family) {
    return QFontInfo(QFont(family)).family();
}

double textWidth(const FontSpec& font, const QString& text) {
    return QFontMetricsF(fineFont(font)).horizontalAdvance(text) / kTextScale;
}

double lineHeight(const FontSpec& font) {
    return QFontMetricsF(fineFont(font)).height() / kTextScale;
}

double wrappedHeight(const FontSpec& font, const QString& text, double width) {
    return wrappedSize(font, text, width).height();
}

QSizeF wrappedSize(const FontSpec& font, const QString& text, double width) {
    const QRectF r = QFontMetricsF(fineFont(font))
                         .boundingRect(QRectF(0, 0, std::max(1.0, width) * kTextScale, 1e9),
                                       Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    return r.size() / kTextScale;
}

QString sysDataText(SysData sys, const QDateTime& printedAt, int pageNumber) {
    switch (sys) {
    case SysData::Date:
        return QLocale().toString(printedAt.date(), QLocale::ShortFormat); // the program's language
    case SysData::Time:
        return printedAt.time().toString(QStringLiteral("HH:mm:ss"));
    case SysData::PageNumber:
        return QString::number(pageNumber);
    case SysData::None:
        break;
    }
    return QString();
}

void keepBetween(TextItem& t, double first, double last, double knownWidth) {
    const double room = last - first;
    if (!(room > 0) || t.text.isEmpty())
        return;
    double need = knownWidth >= 0 ? knownWidth : textWidth(t.font, t.text);
    if (need <= room && t.rect.left() >= first && t.rect.right() <= last && need <= t.rect.width())
        return;
    for (int step = 0; need > room && step < 8; ++step) {
        t.font.pointSize *= room / need * 0.98;
        need = textWidth(t.font, t.text);
    }
    double left = t.rect.left();
    if (t.alignment & Qt::AlignRight)
        left = t.rect.right() - need;
    else if (t.alignment & Qt::AlignHCenter)
        left = t.rect.center().x() - need / 2;
    left = std::clamp(left, first, std::max(first, last - need));
    t.rect = QRectF(left, t.rect.top(), std::min(need, room), t.rect.height());
}

double addDateAndTime(Band& band, const FontSpec& font, const QDateTime& printedAt, double height,
                      double dateLeft, double timeLeft, double w, bool date, bool time) {
    // Measured on the time of printing, or on a date of two-digit day and month before it is known.
    const QDateTime at = printedAt.isValid() ? printedAt : QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59));
    constexpr double kGap = 6;
    auto item = [&](SysData sys, double left, double right) {
        TextItem t;
        const double width = std::ceil(textWidth(font, sysDataText(sys, at, 1)));
        t.rect = QRectF(std::max(0.0, std::min(left, right - width)), 0, std::max(1.0, width), height);
        t.sys = sys;
        t.font = font;
        band.texts.push_back(t);
        return t.rect.left();
    };
    double first = w;
    if (time)
        first = item(SysData::Time, timeLeft, w);
    if (date)
        first = item(SysData::Date, dateLeft, time ? first - kGap : w);
    return first;
}

ReportPages::ReportPages(ReportDocument document) : doc_(std::move(document)) {
    paginate();
}

void ReportPages::paginate() {
    pages_.clear();
    const double height = printableSizeInDesign(doc_.format).height();
    const double top = bandsHeight(doc_.pageHeader) + bandsHeight(doc_.columnHeader);
    footerTop_ = std::max(top, height - bandsHeight(doc_.pageFooter));
    const int n = int(doc_.details.size());
    int i = 0;
    while (i < n) {
        PageRange page{i, 0};
        double y = top;
        while (i < n &&
               (page.detailCount == 0 || y + doc_.details[size_t(i)].height <= footerTop_ + kEpsilon)) {
            y += doc_.details[size_t(i)].height;
            ++i;
            ++page.detailCount;
        }
        pages_.push_back(page);
    }
    if (pages_.empty())
        pages_.push_back(PageRange{});
}

void ReportPages::paintBand(QPainter& p, const Band& band, double top, int pageNumber) const {
    const double width = printableSizeInDesign(doc_.format).width();
    p.save();
    p.translate(0, top);
    for (const ImageItem& img : band.images) {
        if (img.paint) {
            p.save();
            p.setClipRect(img.rect, Qt::IntersectClip);
            p.translate(img.rect.topLeft());
            img.paint(p, img.rect.size());
            p.restore();
        } else if (!img.image.isNull()) {
            p.drawImage(img.rect, img.image);
        }
        if (img.frame)
            drawFrame(p, img.rect, FrameAll);
    }
    for (const RectItem& r : band.rects)
        p.fillRect(r.rect, r.color);
    drawFrame(p, QRectF(0, 0, width, band.height), band.frame);

    for (const TextItem& t : band.texts) {
        const QString text = t.sys == SysData::None ? t.text : sysDataText(t.sys, doc_.printedAt, pageNumber);
        if (text.isEmpty())
            continue;
        p.save();
        if (t.clip)
            p.setClipRect(t.rect, Qt::IntersectClip);
        p.scale(1.0 / kTextScale, 1.0 / kTextScale);
        p.setFont(fineFont(t.font));
        p.setPen(t.color);
        int flags = int(t.alignment);
        if (t.wrap)
            flags |= Qt::TextWordWrap;
        if (!t.clip)
            flags |= Qt::TextDontClip;
        p.drawText(scaled(t.rect, kTextScale), flags, text);
        p.restore();
    }
    p.restore();
}

void ReportPages::paintPage(QPainter& p, int index) const {
    if (index < 0 || index >= pageCount())
        return;
    const PageRange& range = pages_[size_t(index)];
    const int pageNumber = index + 1;
    double y = 0;
    for (const Band& b : doc_.pageHeader) {
        paintBand(p, b, y, pageNumber);
        y += b.height;
    }
    for (const Band& b : doc_.columnHeader) {
        paintBand(p, b, y, pageNumber);
        y += b.height;
    }
    const double width = printableSizeInDesign(doc_.format).width();
    for (int i = range.firstDetail; i < range.firstDetail + range.detailCount; ++i) {
        const Band& b = doc_.details[size_t(i)];
        if (y + b.height > footerTop_ + kEpsilon) {
            // Taller than a page: cut at the footer.
            p.save();
            p.setClipRect(QRectF(0, y, width, std::max(0.0, footerTop_ - y)), Qt::IntersectClip);
            paintBand(p, b, y, pageNumber);
            p.restore();
        } else {
            paintBand(p, b, y, pageNumber);
        }
        y += b.height;
    }
    y = footerTop_;
    for (const Band& b : doc_.pageFooter) {
        paintBand(p, b, y, pageNumber);
        y += b.height;
    }
}

void ReportPages::paintSheet(QPainter& p, int index) const {
    const QSizeF paper = paperSizeInDesign(doc_.format);
    p.save();
    p.fillRect(QRectF(QPointF(0, 0), paper), Qt::white);
    p.translate(mmToDesign(doc_.format.marginsMm.left()), mmToDesign(doc_.format.marginsMm.top()));
    paintPage(p, index);
    p.restore();
}

QImage ReportPages::renderPage(int index, double scale) const {
    const QSizeF paper = paperSizeInDesign(doc_.format) * scale;
    QImage image(std::max(1, int(std::ceil(paper.width()))), std::max(1, int(std::ceil(paper.height()))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    paintSheet(p, index);
    return image;
}

bool ReportPages::print(QPrinter& printer, QString* error) const {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    printer.setDocName(doc_.title);
    // The whole sheet is ours: the margins are placed here to the exact millimetre, whatever
    // the printer would round them to.
    QPageLayout layout = pageLayoutOf(doc_.format);
    layout.setMode(QPageLayout::FullPageMode);
    if (!printer.setPageLayout(layout)) {
        if (!printer.setPageSize(pageSizeOf(doc_.format.paper)))
            return fail(QStringLiteral("The printer does not take the paper size %1.")
                            .arg(pageSizeOf(doc_.format.paper).name()));
        printer.setPageOrientation(doc_.format.portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
    }
    printer.setFullPage(true);
    QPainter p;
    if (!p.begin(&printer))
        return fail(
            printer.outputFileName().isEmpty()
                ? QStringLiteral("The printer \"%1\" could not be opened.").arg(printer.printerName())
                : QStringLiteral("The file \"%1\" could not be written.").arg(printer.outputFileName()));
    // Pictures here are line art (the monitor chart): JPEG would blur its lines and digits.
    p.setRenderHint(QPainter::LosslessImageRendering);
    const double scale = printer.resolution() / kDesignDpi;
    for (int i = 0; i < pageCount(); ++i) {
        if (i > 0 && !printer.newPage()) {
            p.end();
            return fail(QStringLiteral("The printer stopped after page %1.").arg(i));
        }
        p.save();
        p.scale(scale, scale);
        p.translate(mmToDesign(doc_.format.marginsMm.left()), mmToDesign(doc_.format.marginsMm.top()));
        paintPage(p, i);
        p.restore();
    }
    if (!p.end())
        return fail(QStringLiteral("The pages could not be finished."));
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() &&
        !textLayerOf(doc_).applyTo(printer.outputFileName()))
        return fail(QStringLiteral("The file \"%1\" could not be written.").arg(printer.outputFileName()));
    return true;
}

} // namespace report

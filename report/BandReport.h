#pragma once
// A banded report of our own: a page header, a column header repeated on every page, one
// detail band per row and a page footer, laid out in design units of 1/96 inch inside the
// printable area of the paper, and painted with QPainter on any device: a printer (or a
// PDF file through QPrinter) and the preview's page images.
//
// Fonts are given in points but drawn with a pixel size in design units, so that they scale
// with the painter like everything else; otherwise a printer would resolve them at its own
// resolution and the painter would scale them a second time.
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <functional>
#include <vector>

class QPainter;
class QPrinter;

namespace report {

inline constexpr double kDesignDpi = 96.0;

inline double mmToDesign(double mm) {
    return mm / 25.4 * kDesignDpi;
}
inline double designToPoints(double units) {
    return units * 72.0 / kDesignDpi;
}

// The paper sizes the page set-up offers, in its list order. B4 and B5 are the JIS B sizes
// (257 x 364 and 182 x 257 mm) that the platform's paper codes 12 and 13 name.
enum class Paper { A3, A4, A5, B4, B5 };
QPageSize pageSizeOf(Paper paper);

struct PageFormat {
    Paper paper = Paper::A4;
    bool portrait = true;
    QMarginsF marginsMm{10, 10, 10, 10}; // left, top, right, bottom; fractions kept
};
QPageLayout pageLayoutOf(const PageFormat& format);
// The paper in design units, oriented.
QSizeF paperSizeInDesign(const PageFormat& format);
// The area inside the margins in design units (never negative).
QSizeF printableSizeInDesign(const PageFormat& format);

struct FontSpec {
    QString family;
    double pointSize = 8;
    bool bold = false;
};
// The family the machine really uses for `family` (itself when installed).
QString installedFamily(const QString& family);
// Width and line height of a text in design units, as the report measures them.
double textWidth(const FontSpec& font, const QString& text);
double lineHeight(const FontSpec& font);
// Height of a text wrapped at word boundaries into `width`.
double wrappedHeight(const FontSpec& font, const QString& text, double width);
// Its height and the width of its widest line: wider than `width` when a word alone is.
QSizeF wrappedSize(const FontSpec& font, const QString& text, double width);

// Texts filled in at print time.
enum class SysData { None, Date, Time, PageNumber };

// A label. Its rectangle is relative to the band. Alignment is inside the rectangle; a text
// wider than the rectangle runs out of it on the side away from its alignment unless it
// wraps or is clipped.
struct TextItem {
    QRectF rect;
    QString text;
    SysData sys = SysData::None;
    FontSpec font;
    QColor color = Qt::black;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool wrap = false;
    bool clip = false;
};

// The text a system item shows for the time of printing and the page number.
QString sysDataText(SysData sys, const QDateTime& printedAt, int pageNumber);

// Keeps a label's text inside [first, last] horizontally: a text wider than that is drawn
// smaller, and one its alignment would place past either end is moved in. Its rectangle
// then spans the text itself. `knownWidth`, when not negative, is the text's width at the
// label's font, already measured.
void keepBetween(TextItem& t, double first, double last, double knownWidth = -1);

// A filled rectangle: separators, underlines.
struct RectItem {
    QRectF rect;
    QColor color = Qt::black;
};

// A picture stretched into its rectangle, optionally framed. With `paint`, the picture is
// drawn by it instead, straight onto the device at its own resolution: the painter's origin
// at the rectangle's corner, its unit one design unit.
struct ImageItem {
    QRectF rect;
    QImage image;
    std::function<void(QPainter&, const QSizeF&)> paint;
    // What `paint` writes in textFont: a PDF names the glyphs after these characters.
    QFont textFont;
    QString texts;
    bool frame = false;
};

enum FrameSide { FrameNone = 0, FrameLeft = 1, FrameTop = 2, FrameRight = 4, FrameBottom = 8, FrameAll = 15 };

struct Band {
    double height = 0;
    int frame = FrameNone; // FrameSide bits, drawn 1 unit wide inside the band
    std::vector<TextItem> texts;
    std::vector<RectItem> rects;
    std::vector<ImageItem> images;
};

// The date and time of a page header, `height` high: at their designed left edges, moved
// left where they would run into each other or past the printable width `w`. Returns where
// the first of them starts (w when neither prints).
double addDateAndTime(Band& band, const FontSpec& font, const QDateTime& printedAt, double height,
                      double dateLeft, double timeLeft, double w, bool date, bool time);

struct ReportDocument {
    QString title; // the document name a printer or PDF shows
    PageFormat format;
    std::vector<Band> pageHeader;   // top of every page, in order (a band and its children)
    std::vector<Band> columnHeader; // under the page header on every page
    std::vector<Band> details;      // one per row
    std::vector<Band> pageFooter;   // at the foot of the printable area of every page
    QDateTime printedAt;            // the date and time the system texts show
};

// Which details stand on one page.
struct PageRange {
    int firstDetail = 0;
    int detailCount = 0;
};

// The document broken into pages: every page carries the page header, the column header
// and the footer; details follow until the next would reach the footer. A detail taller
// than a whole page gets a page of its own (cut at the footer). A report without details
// still has one page.
class ReportPages {
public:
    ReportPages() = default;
    explicit ReportPages(ReportDocument document);

    const ReportDocument& document() const { return doc_; }
    int pageCount() const { return int(pages_.size()); }
    const PageRange& page(int index) const { return pages_.at(size_t(index)); }

    // Paints page `index` (0-based) with the painter's origin at the top-left corner of the
    // printable area and its unit one design unit.
    void paintPage(QPainter& painter, int index) const;
    // Paints the whole sheet: white paper, the page inside the margins. Origin at the
    // paper's corner, unit one design unit.
    void paintSheet(QPainter& painter, int index) const;
    // The sheet as an image, `scale` pixels per design unit.
    QImage renderPage(int index, double scale = 1.0) const;

    // Sends every page to the printer (a PDF file when it has an output file name): paper,
    // orientation and margins first. False with a reason when nothing could be printed.
    bool print(QPrinter& printer, QString* error = nullptr) const;

private:
    void paginate();
    void paintBand(QPainter& painter, const Band& band, double top, int pageNumber) const;

    ReportDocument doc_;
    std::vector<PageRange> pages_{PageRange{}};
    double footerTop_ = 0;
};

} // namespace report

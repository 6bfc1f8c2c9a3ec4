#include "report/ParamReport.h"

#include <QFontDatabase>
#include <QHash>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace report {

namespace {

const QString kSevenSegmentFace = QStringLiteral("DSEG7 Classic");
const QString kValueSample = QStringLiteral("00000.00");
const QString kUnitSample = QStringLiteral("0000000");

int widthOf(const FontSpec& font, const QString& text) {
    return int(std::ceil(textWidth(font, text) - 1e-9));
}

// A text's width without laying it out, so that the thousands of values that surely fit their
// column are not measured: the sum of its characters' advances plus a unit for kerning; no
// bound for a text with a character outside printable ASCII.
class WidthBound {
public:
    explicit WidthBound(const FontSpec& font) {
        for (int c = kFirst; c <= kLast; ++c)
            advance_[size_t(c - kFirst)] = textWidth(font, QString(QLatin1Char(char(c))));
    }
    double of(const QString& text) const {
        double sum = 1;
        for (const QChar c : text) {
            if (c.unicode() < kFirst || c.unicode() > kLast)
                return std::numeric_limits<double>::infinity();
            sum += advance_[size_t(c.unicode() - kFirst)];
        }
        return sum;
    }

private:
    static constexpr int kFirst = ' ', kLast = '~';
    std::array<double, kLast - kFirst + 1> advance_{};
};

// The widest of what the value columns (shipment, set value, low and high limit, in that
// order) and the names' unbreakable pieces print.
struct WidestTexts {
    std::array<double, 4> values{};
    double nameWord = 0;
};

WidestTexts widestTexts(const std::vector<ParamRowTexts>& rows, const FontSpec& plain, const FontSpec& bold,
                        bool shipment) {
    WidestTexts widest;
    const WidthBound plainBound(plain), boldBound(bold);
    // Measured only where the quick bound says a text may be wider than the widest so far.
    auto take = [](double& widestSoFar, const WidthBound& bound, const FontSpec& font, const QString& text) {
        if (bound.of(text) > widestSoFar + 1)
            widestSoFar = std::max(widestSoFar, textWidth(font, text));
    };
    for (const ParamRowTexts& row : rows) {
        for (int c = shipment ? PC_Shipment : PC_Value; c <= PC_High; ++c)
            take(widest.values[size_t(c - PC_Shipment)], c == PC_Value ? boldBound : plainBound,
                 c == PC_Value ? bold : plain, row[size_t(c)].trimmed());
        const QString& name = row[PC_Name];
        if (plainBound.of(name) <= widest.nameWord + 1)
            continue;
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, name);
        for (int from = 0, to = breaks.toNextBoundary(); to > 0; from = to, to = breaks.toNextBoundary())
            take(widest.nameWord, plainBound, plain, name.mid(from, to - from).trimmed());
    }
    return widest;
}

// Moves the separators of the value columns left, taking from the name column, until the
// widest value of each column fits it at a readable size. First choice: the name column keeps
// its widest word whole (and half its width at least), and values print at `minScale` of the
// size or larger. When that cannot be, values and names give way alike: the values at the
// largest scale at which the name column still holds its widest word at that same scale. The
// name column keeps half its width in any case.
void widenValueColumns(std::array<int, 8>& s, bool shipment, const WidestTexts& widest, double minScale) {
    const int nameWidth = (shipment ? s[2] : s[3]) - 5 - (s[1] + 5);
    if (nameWidth <= 0)
        return;
    // Column k from the right: 0 the high limit [s5, s6], 1 the low limit, 2 the set value,
    // 3 the shipment value [s2, s3].
    const int columns = shipment ? 4 : 3;
    auto growthOf = [&](int k, double scale) {
        const int room = s[size_t(6 - k)] - s[size_t(5 - k)] - 2;
        return std::max(0.0, std::ceil(widest.values[size_t(3 - k)] * scale - 1e-9) - room);
    };
    auto growth = [&](double scale) {
        double g = 0;
        for (int k = 0; k < columns; ++k)
            g += growthOf(k, scale);
        return g;
    };
    if (growth(1) <= 0)
        return;
    // Whether the values fit at `scale` while the name column keeps its word at `wordScale`.
    auto fits = [&](double scale, double wordScale) {
        const double keep =
            std::max(nameWidth / 2.0, std::min(double(nameWidth), widest.nameWord * wordScale));
        return growth(scale) <= nameWidth - keep;
    };
    // The largest scale in [low, 1] that fits; `low` when none does.
    auto largest = [](double low, auto&& fitsAt) {
        if (fitsAt(1.0))
            return 1.0;
        double high = 1;
        for (int step = 0; step < 20 && fitsAt(low); ++step) {
            const double mid = (low + high) / 2;
            (fitsAt(mid) ? low : high) = mid;
        }
        return low;
    };
    double scale = largest(minScale, [&](double v) { return fits(v, 1); });
    if (!fits(scale, 1))
        scale = largest(0.25, [&](double v) { return fits(v, v); });
    std::array<int, 4> grow{};
    int total = 0;
    for (int k = 0; k < columns; ++k)
        total += grow[size_t(k)] = int(growthOf(k, scale));
    const double share = std::min(1.0, (nameWidth - nameWidth / 2) / std::max(1.0, double(total)));
    for (int k = 0, shift = 0; k < columns; ++k) {
        shift += int(grow[size_t(k)] * share);
        s[size_t(5 - k)] -= shift;
    }
}

} // namespace

std::vector<ParamRowTexts> buildParamReportRows(const ParamReportSource& source) {
    std::vector<ParamRowTexts> out;
    const int last = std::min(source.lastIndex, int(source.rows.size()) - 1);
    QHash<QString, int> indexOf;
    for (int i = int(source.rows.size()) - 1; i >= 0; --i)
        indexOf.insert(source.rows[size_t(i)].comNo, i);

    for (int i = 0; i <= last; ++i) {
        const ParamSourceRow& r = source.rows[size_t(i)];
        if (source.changedOnly && !r.changed)
            continue;
        if (source.blindView && r.blind)
            continue;
        if (source.quickView && !r.quick)
            continue;

        const double mul = r.multiplier;
        const bool mulOk = std::isfinite(mul) && mul != 0 && mul == std::trunc(mul);
        auto display = [&](const std::optional<double>& raw) -> QString {
            if (!mulOk || !raw || !source.formatValue)
                return QString();
            return source.formatValue(i, *raw / mul);
        };

        ParamRowTexts t;
        t[PC_Title] = r.title.toLower();
        t[PC_ComNo] = r.comNo;
        t[PC_Name] = r.name;
        // The shipment value follows references among the loaded parameters; more steps
        // than there are parameters means a circle.
        for (size_t step = 0, j = size_t(i); step <= source.rows.size(); ++step) {
            const ParamSourceRow& d = source.rows[j];
            if (!d.shipmentReferred) {
                t[PC_Shipment] = display(d.shipmentRaw);
                break;
            }
            const int next = indexOf.value(d.shipmentFrom, -1);
            if (next < 0)
                break;
            j = size_t(next);
        }
        t[PC_Value] = display(r.value);
        t[PC_Low] = display(r.lowValue);
        t[PC_High] = display(r.highValue);
        t[PC_Unit] = r.unit;
        t[PC_Changed] = r.changed ? source.changedMark : kNoChangeMark;
        out.push_back(std::move(t));
    }
    return out;
}

ParamReportFaces paramReportFaces(const QString& setupFace) {
    ParamReportFaces faces;
    faces.text = printedFace(setupFace);
    const QStringList families = QFontDatabase::families();
    const QString led = QString::fromLatin1(kLedFace);
    if (families.contains(led))
        faces.led = led;
    else if (families.contains(kSevenSegmentFace))
        faces.led = kSevenSegmentFace;
    else
        faces.led = faces.text;
    return faces;
}

ParamColumns paramColumns(int w) {
    static constexpr double kFactors[8] = {0.078, 0.156, 0.4958, 0.585, 0.6741, 0.7632, 0.8524, 0.9304};
    ParamColumns c;
    c.width = w;
    for (int k = 0; k < 8; ++k)
        c.separators[size_t(k)] = int(w * kFactors[k]);
    c.typeFormLeft = int(w * 0.0111);
    c.dateLeft = int(w * 0.86);
    c.timeLeft = int(w * 0.96);
    c.pageNumberLeft = int(w * 0.454);
    return c;
}

ReportDocument layoutParamReport(const ParamReportData& data, const PageSetup& setup,
                                 const ParamReportFaces& faces) {
    ReportDocument doc;
    doc.title = data.title;
    doc.format = setup.pageFormat();
    doc.printedAt = data.printedAt;

    const int w = int(printableSizeInDesign(doc.format).width());
    const ParamColumns cols = paramColumns(w);
    const bool shipment = setup.printShipment;

    const double points = setup.fontPoints();
    const FontSpec plain{faces.text, points, false};
    const FontSpec bold{faces.text, points, true};
    const FontSpec led{faces.led, points, false};

    // Long values (ten digits and a sign) would shrink to an unreadable size in the designed
    // columns of a large font on small paper: their columns widen instead. Readable here is
    // two thirds of the chosen size, but no less than 6 points (nor more than the size).
    const WidestTexts widest = widestTexts(data.rows, plain, bold, shipment);
    std::array<int, 8> s = cols.separators;
    widenValueColumns(s, shipment, widest, std::max(2.0 / 3.0, std::min(1.0, 6.0 / points)));
    const int afterTitle = s[0], afterComNo = s[1], afterName = s[2], beforeValue = s[3], beforeLow = s[4],
              beforeHigh = s[5], beforeUnit = s[6], beforeMark = s[7];
    // A row is never lower than a line of its font, whatever height the set-up asks for.
    const int h =
        std::max(setup.cellHeightValue(),
                 int(std::ceil(std::max({lineHeight(plain), lineHeight(bold), lineHeight(led)}) - 1e-9)));

    auto label = [](const FontSpec& font, double left, double top, double width, double height,
                    const QString& text, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        TextItem t;
        t.rect = QRectF(left, top, std::max(1.0, width), height);
        t.text = text;
        t.font = font;
        t.alignment = align;
        return t;
    };
    // A label as wide as its text, centred in the column [a, b] and kept off its separators.
    auto centred = [&](const FontSpec& font, int a, int b, double height, const QString& text) {
        const int width = widthOf(font, text);
        TextItem t = label(font, centredLeft(a, b, width), 0, width, height, text);
        keepBetween(t, a + 1, b - 1, width);
        return t;
    };

    // ---- Page header: type and form, comment, date, time ------------------------------
    {
        Band band;
        band.height = h;
        const QString typeForm = setup.printTypeForm ? data.typeForm : QString();
        const int typeFormWidth = widthOf(plain, typeForm);
        band.texts.push_back(label(plain, cols.typeFormLeft, 0, typeFormWidth, h, typeForm));
        const double dateTimeLeft = addDateAndTime(band, plain, data.printedAt, h, cols.dateLeft,
                                                   cols.timeLeft, w, setup.printDate, setup.printTime);
        const QString comment = setup.printComment ? setup.comment : QString();
        if (!comment.isEmpty()) {
            // The comment wraps before the date (or at the edge) and the band grows to hold it.
            const int left = cols.typeFormLeft + typeFormWidth + 6;
            const int right = setup.printDate || setup.printTime ? int(dateTimeLeft) - 6 : w;
            const double wrapWidth = std::max(right - left, 1);
            const double top = std::max(0.0, (h - lineHeight(plain)) / 2);
            const double height = wrappedHeight(plain, comment, wrapWidth);
            TextItem t = label(plain, left, top, wrapWidth, height, comment, Qt::AlignLeft | Qt::AlignTop);
            t.wrap = true;
            band.texts.push_back(t);
            band.height = std::max(double(h), top + height);
        }
        doc.pageHeader.push_back(std::move(band));
    }

    // ---- Column header: captions, separators, underline ---------------------------------
    {
        Band band;
        band.height = h + 3;
        band.frame = FrameAll;
        for (int k = 0; k < 8; ++k) {
            if (k == 2 && !shipment)
                continue;
            band.rects.push_back({QRectF(s[size_t(k)], 0, 1, h + 3)});
        }
        band.rects.push_back({QRectF(0, h + 3 - 4, w, 1)});
        const auto& hd = data.headers;
        band.texts.push_back(centred(plain, 0, afterTitle, h, hd[PC_Title]));
        band.texts.push_back(centred(plain, afterTitle, afterComNo, h, hd[PC_ComNo]));
        band.texts.push_back(centred(plain, afterComNo, shipment ? afterName : beforeValue, h, hd[PC_Name]));
        if (shipment)
            band.texts.push_back(centred(plain, afterName, beforeValue, h, hd[PC_Shipment]));
        {
            const int width = widthOf(bold, hd[PC_Value]);
            TextItem t =
                label(bold, half(beforeValue + beforeLow + 2) - half(width), 0, width, h, hd[PC_Value]);
            keepBetween(t, beforeValue + 1, beforeLow - 1, width);
            band.texts.push_back(t);
        }
        band.texts.push_back(centred(plain, beforeLow, beforeHigh, h, hd[PC_Low]));
        band.texts.push_back(centred(plain, beforeHigh, beforeUnit, h, hd[PC_High]));
        band.texts.push_back(centred(plain, beforeUnit, beforeMark, h, hd[PC_Unit]));
        band.texts.push_back(centred(plain, beforeMark, w, h, hd[PC_Changed]));
        doc.columnHeader.push_back(std::move(band));
    }

    // ---- Details ------------------------------------------------------------------------
    {
        const QColor valueColor = colorFromColorRef(setup.valueColor);
        // Every value of a column ends at one right edge: that of the sample, or of the
        // column's widest value when that is wider.
        auto sampleOf = [&](const FontSpec& font, const QString& sample, int column) {
            return std::max(widthOf(font, sample),
                            int(std::ceil(widest.values[size_t(column - PC_Shipment)] - 1e-9)));
        };
        const int shipmentWidth = shipment ? sampleOf(plain, kValueSample, PC_Shipment) : 0;
        const int valueWidth = sampleOf(bold, kValueSample, PC_Value);
        const int lowWidth = sampleOf(plain, kValueSample, PC_Low);
        const int highWidth = sampleOf(plain, kValueSample, PC_High);
        const int unitWidth = widthOf(plain, kUnitSample);
        const int nameLeft = afterComNo + 5;
        const int nameWidth = (shipment ? afterName : beforeValue) - 5 - nameLeft;
        // A name of several lines starts where a single line stands.
        const double nameMargin = std::max(0.0, (h - lineHeight(plain)) / 2);
        const WidthBound plainBound(plain), boldBound(bold);
        auto value = [&](const FontSpec& font, int sampleWidth, int a, int b, const QString& text) {
            const int left = centredLeft(a, b, sampleWidth);
            TextItem t = label(font, left, 0, sampleWidth, h, text, Qt::AlignRight | Qt::AlignVCenter);
            // A value longer than the sample keeps the column's right edge while it fits between
            // the separators; beyond that it takes the whole column, and a smaller size if need
            // be. Drawn unclipped, it would otherwise run over the separator into the next value.
            const double first = a + 1;
            // A sample wider than its column (a large font on narrow paper) gives way to the column.
            if (left + sampleWidth > b - 1)
                t.rect = QRectF(first, 0, std::max(1.0, b - 1 - first), h);
            double right = t.rect.right();
            if ((font.bold ? boldBound : plainBound).of(text) <= right - first)
                return t;
            double need = textWidth(font, text);
            if (need > right - first) {
                right = b - 1;
                const double room = right - first;
                for (int step = 0; need > room && room > 0 && step < 8; ++step) {
                    t.font.pointSize *= room / need * 0.98;
                    need = textWidth(t.font, text);
                }
                t.rect.setLeft(std::max(first, right - need));
                t.rect.setRight(right);
            }
            return t;
        };

        Band pattern;
        pattern.height = h;
        pattern.frame = FrameLeft | FrameRight | FrameBottom;
        for (int k = 0; k < 8; ++k) {
            if (k == 2 && !shipment)
                continue;
            pattern.rects.push_back({QRectF(s[size_t(k)], 0, 1, h)});
        }
        doc.details.reserve(data.rows.size());
        for (const ParamRowTexts& row : data.rows) {
            Band band = pattern;
            band.texts.reserve(9);
            // The name wraps inside its column and the row grows to hold its lines; a word wider
            // than the column makes the name smaller. Nothing of it is drawn outside the row.
            TextItem name = label(plain, nameLeft, 0, nameWidth, h, row[PC_Name]);
            name.wrap = true;
            if (plainBound.of(row[PC_Name]) > nameWidth) {
                QSizeF size = wrappedSize(name.font, name.text, nameWidth);
                for (int step = 0; size.width() > nameWidth && step < 8; ++step) {
                    name.font.pointSize *= nameWidth / size.width() * 0.98;
                    size = wrappedSize(name.font, name.text, nameWidth);
                }
                band.height = std::max(double(h), std::ceil(size.height() + 2 * nameMargin - 1e-9));
                name.rect.setHeight(band.height);
                for (RectItem& r : band.rects)
                    r.rect.setHeight(band.height);
            }
            {
                const int width = widthOf(led, row[PC_Title]);
                TextItem t = label(led, half(afterTitle - 1) - half(width), 0, width, h, row[PC_Title]);
                keepBetween(t, 1, afterTitle - 1, width);
                band.texts.push_back(t);
            }
            band.texts.push_back(centred(plain, afterTitle, afterComNo, h, row[PC_ComNo]));
            band.texts.push_back(name);
            // Values are right-aligned: the blanks that pad them to eight characters take no room.
            if (shipment)
                band.texts.push_back(
                    value(plain, shipmentWidth, afterName, beforeValue, row[PC_Shipment].trimmed()));
            {
                TextItem t = value(bold, valueWidth, beforeValue, beforeLow, row[PC_Value].trimmed());
                t.color = valueColor;
                band.texts.push_back(t);
            }
            band.texts.push_back(value(plain, lowWidth, beforeLow, beforeHigh, row[PC_Low].trimmed()));
            band.texts.push_back(value(plain, highWidth, beforeHigh, beforeUnit, row[PC_High].trimmed()));
            band.texts.push_back(value(plain, unitWidth, beforeUnit, beforeMark, row[PC_Unit]));
            band.texts.push_back(centred(plain, beforeMark, w, h, row[PC_Changed]));
            doc.details.push_back(std::move(band));
        }
    }

    // ---- Page footer: page number -------------------------------------------------------
    {
        Band band;
        band.height = h;
        if (setup.printPageNumber) {
            TextItem t = label(plain, cols.pageNumberLeft, 0, 1, h, QString());
            t.sys = SysData::PageNumber;
            band.texts.push_back(t);
        }
        doc.pageFooter.push_back(std::move(band));
    }
    return doc;
}

} // namespace report

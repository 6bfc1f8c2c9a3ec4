#include "report/MonitorReport.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace report {

namespace {

// The table as designed on A4 with margins of 10 mm: the left edge of each separator.
constexpr int kDesignWidth = 718;
constexpr int kDesignSeparators[8] = {40, 100, 330, 395, 460, 525, 590, 655};

// The band under the page header: the chart picture and the six setting lines.
constexpr double kPictureBandHeight = 438;
constexpr double kPictureLeft = 4;
constexpr double kPictureTop = 8;
constexpr double kSettingTops[6] = {292, 308, 356, 372, 388, 404};
constexpr double kSettingStep = 16; // from one line to the next
constexpr int kValueGap = 5;
constexpr int kItemPadding = 5;

int widthOf(const FontSpec& font, const QString& text) {
    return int(std::ceil(textWidth(font, text) - 1e-9));
}

const QString kColon = QStringLiteral(": ");
const QString kNoSetting = QStringLiteral(": -");

} // namespace

QString timeBaseOfDivision(const TimeBaseText& timeBase, double samplesPerDivision) {
    if (samplesPerDivision == 5 || !(samplesPerDivision > 0) || !(timeBase.seconds > 0))
        return timeBase.text;
    QString scaled = QString::number(timeBase.seconds * samplesPerDivision / 5, 'g', 10);
    if (timeBase.text.contains(u','))
        scaled.replace(u'.', u',');
    return scaled;
}

std::array<MonitorSettingLine, 6> monitorSettingLines(const MonitorReportCaptions& c,
                                                      const MonitorReportSettings& s) {
    const QString timeBase = (s.continuous ? s.continuousTimeBase : s.timeBase).text;
    std::array<MonitorSettingLine, 6> lines{{
        {c.time, kColon + timeBase + c.timeUnit},
        {c.scope, kColon + s.scope + c.scopeUnit},
        {c.triggerSource, kNoSetting},
        {c.triggerLevel, kNoSetting},
        {c.triggerSlope, kNoSetting},
        {c.triggerDelay, kNoSetting},
    }};
    if (s.trigger) {
        lines[2].value = kColon + s.triggerSource;
        lines[3].value = kColon + s.triggerLevel;
        lines[4].value = kColon + s.triggerSlope;
        // The delay shows on the chart only while the whole record is in view.
        if (s.scopePosition == 100)
            lines[5].value = kColon + s.triggerDelay;
    }
    return lines;
}

std::array<int, 8> monitorColumnSeparators(int w) {
    std::array<int, 8> s{};
    for (size_t k = 0; k < s.size(); ++k)
        s[k] = int(qint64(w) * kDesignSeparators[k] / kDesignWidth);
    return s;
}

ReportDocument layoutMonitorReport(const MonitorReportData& data, const PageSetup& setup,
                                   const QString& face) {
    ReportDocument doc;
    doc.title = data.title;
    doc.printedAt = data.printedAt;
    doc.format.paper = Paper::A4;
    doc.format.portrait = true;
    doc.format.marginsMm = setup.pageFormat().marginsMm;

    const int w = int(printableSizeInDesign(doc.format).width());
    const FontSpec font{face, double(setup.fontPoints()), false};
    const int left = int(w * 0.0111);
    const double textHeight = lineHeight(font);
    // A row is never lower than a line of the font, whatever height the set-up asks for.
    const int h = std::max(setup.cellHeightValue(), int(std::ceil(textHeight - 1e-9)));

    auto label = [&](double x, double top, double width, double height, const QString& text,
                     Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
        TextItem t;
        t.rect = QRectF(x, top, std::max(1.0, width), height);
        t.text = text;
        t.font = font;
        t.alignment = align;
        return t;
    };
    // A label as wide as its text, centred in the column [a, b] and kept off its separators.
    auto centred = [&](int a, int b, double height, const QString& text) {
        const int width = widthOf(font, text);
        TextItem t = label((a + b) / 2 - width / 2, 0, width, height, text);
        keepBetween(t, a + 1, b - 1, width);
        return t;
    };

    // ---- Page header: type and form, date, time ------------------------------------------
    {
        Band band;
        band.height = h;
        const QString typeForm = setup.printTypeForm ? data.typeForm : QString();
        band.texts.push_back(label(left, 0, widthOf(font, typeForm), h, typeForm));
        addDateAndTime(band, font, data.printedAt, h, int(w * 0.86), int(w * 0.96), w, setup.printDate,
                       setup.printTime);
        doc.pageHeader.push_back(std::move(band));
    }
    // ---- Its child: the comment, wrapped at the right edge; the band grows to hold it ------
    {
        Band band;
        band.height = h;
        const QString comment = setup.printComment ? setup.comment : QString();
        if (!comment.isEmpty()) {
            const double wrapWidth = std::max(w - left, 1);
            const double top = std::max(0.0, (h - textHeight) / 2);
            const double height = wrappedHeight(font, comment, wrapWidth);
            TextItem t = label(left, top, wrapWidth, height, comment, Qt::AlignLeft | Qt::AlignTop);
            t.wrap = true;
            band.texts.push_back(t);
            band.height = std::max(double(h), top + height);
        }
        doc.pageHeader.push_back(std::move(band));
    }

    // ---- Column header: the chart and the settings under it ------------------------------
    {
        Band band;
        // The designed tops hold lines of up to kSettingStep; a larger font spreads the lines
        // (and the gap between the two groups) in proportion and the band grows to hold them.
        const double step = std::max(kSettingStep, textHeight);
        std::array<double, 6> tops{};
        for (size_t i = 0; i < tops.size(); ++i)
            tops[i] = kSettingTops[0] + (kSettingTops[i] - kSettingTops[0]) / kSettingStep * step;
        band.height = std::max(kPictureBandHeight,
                               tops[5] + step + (kPictureBandHeight - kSettingTops[5] - kSettingStep));
        ImageItem picture;
        // Narrower than designed when wide margins leave less room, so it never runs off the
        // page.
        const double pictureWidth = std::max(1.0, std::min<double>(kChartPictureWidth, w - 2 * kPictureLeft));
        picture.rect = QRectF(kPictureLeft, kPictureTop, pictureWidth, kChartPictureHeight);
        picture.image = data.chart;
        picture.paint = data.drawing.paint;
        picture.textFont = data.drawing.textFont;
        picture.texts = data.drawing.texts;
        picture.frame = true;
        MonitorReportSettings settings = data.settings;
        if (data.drawing.paint && data.drawing.divisionSamples) {
            const double samples = data.drawing.divisionSamples(picture.rect.size());
            settings.timeBase.text = timeBaseOfDivision(settings.timeBase, samples);
            settings.continuousTimeBase.text = timeBaseOfDivision(settings.continuousTimeBase, samples);
        }
        band.images.push_back(std::move(picture));
        const auto lines = monitorSettingLines(data.captions, settings);
        for (size_t i = 0; i < lines.size(); ++i) {
            const int captionWidth = widthOf(font, lines[i].caption);
            band.texts.push_back(label(left, tops[i], captionWidth, textHeight, lines[i].caption));
            band.texts.push_back(label(left + captionWidth + kValueGap, tops[i],
                                       widthOf(font, lines[i].value), textHeight, lines[i].value));
        }
        doc.columnHeader.push_back(std::move(band));
    }

    const std::array<int, 8> s = monitorColumnSeparators(w);
    // Column c (0-based) lies between these edges.
    auto columnLeft = [&](int c) { return c == 0 ? 0 : s[size_t(c - 1)]; };
    auto columnRight = [&](int c) { return c == MC_Count - 1 ? w : s[size_t(c)]; };

    // ---- Its child: the table's captions -----------------------------------------------
    {
        Band band;
        band.height = h + 3;
        band.frame = FrameAll;
        for (int sep : s)
            band.rects.push_back({QRectF(sep, 0, 1, h + 3)});
        band.rects.push_back({QRectF(0, h + 3 - 4, w, 1)});
        for (int c = 0; c < MC_Count; ++c)
            band.texts.push_back(centred(columnLeft(c), columnRight(c), h, data.captions.columns[size_t(c)]));
        doc.columnHeader.push_back(std::move(band));
    }

    // ---- Details: one channel each ----------------------------------------------------
    {
        Band pattern;
        pattern.height = h;
        pattern.frame = FrameLeft | FrameRight | FrameBottom;
        for (int sep : s)
            pattern.rects.push_back({QRectF(sep, 0, 1, h)});
        const int itemLeft = s[1] + kItemPadding;
        const int itemWidth = s[2] - s[1] - 2 * kItemPadding;
        for (const MonitorReportRow& row : data.rows) {
            Band band = pattern;
            for (int c = 0; c < MC_Count; ++c) {
                const QString& text = row.texts[size_t(c)];
                TextItem t;
                if (c == MC_Item) {
                    // Left-aligned in its column, kept off the separators on both sides.
                    t = label(itemLeft, 0, itemWidth, h, text);
                    t.clip = true;
                    keepBetween(t, itemLeft, itemLeft + itemWidth);
                } else {
                    t = centred(columnLeft(c), columnRight(c), h, text);
                }
                t.color = row.color;
                band.texts.push_back(std::move(t));
            }
            doc.details.push_back(std::move(band));
        }
    }
    return doc;
}

} // namespace report

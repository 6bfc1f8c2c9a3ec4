#pragma once
// Pictures read back by the tools a user would open them with: djpeg for JPEG, wmf2svg for
// metafiles. A test skips (with the tool's name) when the tool is not installed.
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QPointF>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <optional>
#include <vector>

namespace picturetest {

// The tool's standard output, or nullopt when the tool is missing. exitCode gets its status.
inline std::optional<QByteArray> runTool(const QString& program, const QStringList& args, int& exitCode) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return std::nullopt;
    QProcess p;
    p.start(exe, args);
    p.waitForFinished(60000);
    exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

// What an SVG drawing holds, as far as the tests look at it.
struct SvgDrawing {
    struct Line {
        QString stroke; // "red", "#ff00ff", ...
        std::vector<QPointF> points;
    };
    std::vector<Line> lines; // polylines and lines
    QStringList texts;
    int rects = 0;
};

inline QString styleValue(const QString& style, const QString& name) {
    for (const QString& part : style.split(u';')) {
        const qsizetype colon = part.indexOf(u':');
        if (colon > 0 && part.left(colon).trimmed() == name)
            return part.mid(colon + 1).trimmed();
    }
    return {};
}

inline SvgDrawing parseSvg(const QByteArray& svg) {
    SvgDrawing d;
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        const auto attrs = xml.attributes();
        if (name == QLatin1String("polyline") || name == QLatin1String("line")) {
            SvgDrawing::Line line;
            const QString style = attrs.value(QStringLiteral("style")).toString();
            line.stroke = styleValue(style, QStringLiteral("stroke"));
            if (line.stroke.isEmpty())
                line.stroke = attrs.value(QStringLiteral("stroke")).toString();
            if (name == QLatin1String("line")) {
                line.points = {{attrs.value(QStringLiteral("x1")).toDouble(),
                                attrs.value(QStringLiteral("y1")).toDouble()},
                               {attrs.value(QStringLiteral("x2")).toDouble(),
                                attrs.value(QStringLiteral("y2")).toDouble()}};
            } else {
                const QStringList pairs = attrs.value(QStringLiteral("points"))
                                              .toString()
                                              .simplified()
                                              .split(u' ', Qt::SkipEmptyParts);
                for (const QString& pair : pairs) {
                    const QStringList xy = pair.split(u',');
                    if (xy.size() == 2)
                        line.points.emplace_back(xy[0].toDouble(), xy[1].toDouble());
                }
            }
            d.lines.push_back(std::move(line));
        } else if (name == QLatin1String("text")) {
            d.texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == QLatin1String("rect")) {
            ++d.rects;
        }
    }
    return d;
}

// The metafile converted by wmf2svg; nullopt when the tool is missing. ok is false when it
// failed on the file.
inline std::optional<SvgDrawing> wmfAsSvg(const QString& wmfPath, const QString& svgPath, bool& ok) {
    int rc = -1;
    const auto out = runTool(QStringLiteral("wmf2svg"), {QStringLiteral("-o"), svgPath, wmfPath}, rc);
    if (!out)
        return std::nullopt;
    QFile f(svgPath);
    ok = rc == 0 && f.open(QIODevice::ReadOnly);
    return ok ? parseSvg(f.readAll()) : SvgDrawing();
}

} // namespace picturetest

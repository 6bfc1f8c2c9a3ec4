#include "platform/WmfWriter.h"

#include "platform/TextFile.h"

#include <QPaintEngine>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

// Record functions of the format.
enum : quint16 {
    kEof = 0x0000,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetPolyFillMode = 0x0106,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDeleteObject = 0x01F0,
    kSetTextColor = 0x0209,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kExtTextOut = 0x0A32,
};

constexpr quint32 kPlaceableKey = 0x9AC6CDD7u;
constexpr quint16 kTransparent = 1;
constexpr quint16 kAnisotropic = 8;
constexpr quint16 kWinding = 2;
constexpr quint16 kAlignBaseline = 24; // left, baseline
constexpr quint16 kPenSolid = 0, kPenDash = 1, kPenDot = 2, kPenDashDot = 3, kPenDashDotDot = 4, kPenNull = 5;
constexpr quint16 kBrushSolid = 0, kBrushNull = 1;
constexpr quint8 kAnsiCharset = 0, kShiftJisCharset = 128;
constexpr int kMaxPoints = 32767;

void putWord(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}
void putDword(QByteArray& out, quint32 v) {
    putWord(out, quint16(v & 0xFFFF));
    putWord(out, quint16(v >> 16));
}

quint32 colorRef(const QColor& c) {
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

// One record: its parameters as 16-bit words.
class Record {
public:
    explicit Record(quint16 function) : function_(function) {}
    Record& word(int v) {
        putWord(params_, quint16(v));
        return *this;
    }
    Record& dword(quint32 v) {
        putDword(params_, v);
        return *this;
    }
    Record& bytes(const QByteArray& b) {
        params_.append(b);
        if (params_.size() % 2)
            params_.append('\0');
        return *this;
    }
    quint16 function() const { return function_; }
    const QByteArray& params() const { return params_; }

private:
    quint16 function_;
    QByteArray params_;
};

struct PenKey {
    quint16 style = kPenSolid;
    int width = 1;
    quint32 color = 0;
    bool operator==(const PenKey&) const = default;
};
struct BrushKey {
    quint16 style = kBrushSolid;
    quint32 color = 0;
    bool operator==(const BrushKey&) const = default;
};
struct FontKey {
    QString family;
    int height = 12;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    quint8 charset = kAnsiCharset;
    bool operator==(const FontKey&) const = default;
};

// The part of the segment a..b inside r (Liang-Barsky); nothing when it misses r.
std::optional<std::pair<QPointF, QPointF>> clipSegment(QPointF a, QPointF b, const QRectF& r) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return std::pair{QPointF(a.x() + t0 * dx, a.y() + t0 * dy), QPointF(a.x() + t1 * dx, a.y() + t1 * dy)};
}

QPoint rounded(const QPointF& p) {
    return {int(std::lround(p.x())), int(std::lround(p.y()))};
}

} // namespace

class WmfPaintEngine : public QPaintEngine {
public:
    explicit WmfPaintEngine(const QSize& size) : QPaintEngine(QPaintEngine::AllFeatures), size_(size) {}

    using QPaintEngine::drawLines;
    using QPaintEngine::drawPoints;
    using QPaintEngine::drawPolygon;
    using QPaintEngine::drawRects;

    bool begin(QPaintDevice*) override {
        if (size_.width() < 1 || size_.height() < 1 || size_.width() > WmfDevice::kMaxSide ||
            size_.height() > WmfDevice::kMaxSide)
            return false;
        if (!started_) {
            started_ = true;
            add(Record(kSetMapMode).word(kAnisotropic));
            add(Record(kSetWindowOrg).word(0).word(0));
            add(Record(kSetWindowExt).word(size_.height()).word(size_.width()));
            add(Record(kSetBkMode).word(kTransparent));
            add(Record(kSetTextAlign).word(kAlignBaseline));
            add(Record(kSetPolyFillMode).word(kWinding));
        }
        transform_ = QTransform();
        clipOn_ = false;
        return true;
    }

    bool end() override {
        ended_ = true;
        return true;
    }

    void updateState(const QPaintEngineState& s) override {
        const DirtyFlags f = s.state();
        if (f & DirtyPen)
            pen_ = s.pen();
        if (f & DirtyBrush)
            brush_ = s.brush();
        if (f & DirtyFont)
            font_ = s.font();
        if (f & DirtyTransform)
            transform_ = s.transform();
        // The clip comes in the coordinates of the transform in force when it was set.
        if (f & DirtyClipRegion)
            clip_ = transform_.mapRect(QRectF(s.clipRegion().boundingRect()));
        if (f & DirtyClipPath)
            clip_ = transform_.map(s.clipPath()).boundingRect();
        if (f & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled))
            clipOn_ = s.isClipEnabled() && s.clipOperation() != Qt::NoClip;
    }

    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i) {
            const QPointF pts[2] = {lines[i].p1(), lines[i].p2()};
            polyline(pts, 2);
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (mode == PolylineMode)
            polyline(points, count);
        else
            polygon(QPolygonF(QList<QPointF>(points, points + count)));
    }

    void drawPoints(const QPointF* points, int count) override {
        if (pen_.style() == Qt::NoPen)
            return;
        const QRectF bounds = limits();
        for (int i = 0; i < count; ++i) {
            const QPoint p = rounded(transform_.map(points[i]));
            if (!bounds.contains(p))
                continue;
            add(Record(kSetPixel).dword(colorRef(pen_.color())).word(p.y()).word(p.x()));
        }
    }

    void drawRects(const QRectF* rects, int count) override {
        if (pen_.style() == Qt::NoPen && brush_.style() == Qt::NoBrush)
            return;
        for (int i = 0; i < count; ++i) {
            // A plain rectangle maps onto the format's own record; anything turned or
            // sheared becomes a polygon.
            if (transform_.type() > QTransform::TxScale) {
                polygon(transform_.map(QPolygonF(rects[i])));
                continue;
            }
            const QRect r = transform_.mapRect(rects[i]).toRect();
            // The format leaves out the right and bottom edge of the pen's outline and one
            // more pixel of the filling: one past Qt's outer edge gives the same pixels.
            QRect out(r.topLeft(), QPoint(r.right() + 2, r.bottom() + 2));
            const QRectF lim = limits();
            out = out.intersected(QRect(QPoint(int(lim.left()), int(lim.top())),
                                        QPoint(int(lim.right()) + 2, int(lim.bottom()) + 2)));
            if (out.isEmpty())
                continue;
            selectPen();
            selectBrush();
            add(Record(kRectangle).word(out.bottom()).word(out.right()).word(out.top()).word(out.left()));
        }
    }

    void drawPath(const QPainterPath& path) override {
        for (const QPolygonF& poly : path.toSubpathPolygons(transform_)) {
            if (brush_.style() != Qt::NoBrush)
                polygonDevice(poly);
            else
                polylineDevice(poly.constData(), int(poly.size()));
        }
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty())
            return;
        const QPoint at = rounded(transform_.map(p));
        if (!limits().contains(at))
            return;
        // In the code page, as every file for others: a character it lacks becomes "?" and is
        // noted, so that the save can ask first as the text files do.
        const TextFile::Encoded encoded = TextFile::encode(text);
        QByteArray bytes = encoded.bytes;
        const QString& lacking = encoded.substituted;
        for (qsizetype i = 0; i < lacking.size();) {
            const qsizetype len = lacking.at(i).isHighSurrogate() && i + 1 < lacking.size() ? 2 : 1;
            if (!substituted_.contains(lacking.mid(i, len)))
                substituted_ += lacking.mid(i, len);
            i += len;
        }
        const quint8 charset =
            TextFile::legacyCodePage() == QLatin1String("CP932") ? kShiftJisCharset : kAnsiCharset;
        if (bytes.size() > kMaxPoints)
            bytes.truncate(kMaxPoints);
        selectFont(item.font(), charset);
        const quint32 color = colorRef(pen_.color());
        if (!textColor_ || *textColor_ != color) {
            add(Record(kSetTextColor).dword(color));
            textColor_ = color;
        }
        add(Record(kExtTextOut).word(at.y()).word(at.x()).word(int(bytes.size())).word(0).bytes(bytes));
    }

    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    Type type() const override { return QPaintEngine::User; }

    const QString& substituted() const { return substituted_; }

    QByteArray file() const {
        if (!started_ || !ended_)
            return {};
        QByteArray body = records_;
        quint32 maxRecord = maxRecordWords_;
        // The end record.
        putDword(body, 3);
        putWord(body, kEof);
        maxRecord = std::max<quint32>(maxRecord, 3);

        QByteArray out;
        // Placeable header: key, handle, bounding box, units per inch, reserved, checksum of
        // the ten words before it.
        QByteArray placeable;
        putDword(placeable, kPlaceableKey);
        putWord(placeable, 0);
        putWord(placeable, 0);
        putWord(placeable, 0);
        putWord(placeable, quint16(size_.width()));
        putWord(placeable, quint16(size_.height()));
        putWord(placeable, WmfDevice::kDpi);
        putDword(placeable, 0);
        quint16 sum = 0;
        for (int i = 0; i < placeable.size(); i += 2)
            sum ^= quint16(quint8(placeable[i]) | (quint8(placeable[i + 1]) << 8));
        putWord(placeable, sum);
        out += placeable;

        // Metafile header: in memory, nine words, version 3, the size in words, the objects
        // alive at most, the largest record, no parameters.
        putWord(out, 1);
        putWord(out, 9);
        putWord(out, 0x0300);
        putDword(out, quint32(9 + body.size() / 2));
        putWord(out, quint16(objectSlots_.size()));
        putDword(out, maxRecord);
        putWord(out, 0);
        out += body;
        return out;
    }

private:
    // Where drawing may land: the picture, narrowed to the clip while clipping is on.
    QRectF limits() const {
        QRectF r(0, 0, size_.width() - 1, size_.height() - 1);
        if (clipOn_)
            r = r.intersected(clip_.adjusted(0, 0, -1, -1));
        return r;
    }

    void add(const Record& r) {
        const quint32 words = 3 + quint32(r.params().size() / 2);
        putDword(records_, words);
        putWord(records_, r.function());
        records_ += r.params();
        maxRecordWords_ = std::max(maxRecordWords_, words);
    }

    // Objects take the lowest free slot of the table, as the reader assigns them.
    int createObject(const Record& r) {
        add(r);
        auto free = std::find(objectSlots_.begin(), objectSlots_.end(), false);
        if (free == objectSlots_.end()) {
            objectSlots_.push_back(true);
            return int(objectSlots_.size()) - 1;
        }
        *free = true;
        return int(free - objectSlots_.begin());
    }
    void replaceSelected(int& selected, int created) {
        add(Record(kSelectObject).word(created));
        if (selected >= 0) {
            add(Record(kDeleteObject).word(selected));
            objectSlots_[selected] = false;
        }
        selected = created;
    }

    void selectPen() {
        PenKey key;
        switch (pen_.style()) {
        case Qt::NoPen:
            key.style = kPenNull;
            break;
        case Qt::DashLine:
            key.style = kPenDash;
            break;
        case Qt::DotLine:
            key.style = kPenDot;
            break;
        case Qt::DashDotLine:
            key.style = kPenDashDot;
            break;
        case Qt::DashDotDotLine:
            key.style = kPenDashDotDot;
            break;
        default:
            key.style = kPenSolid;
            break;
        }
        // A cosmetic pen of width 0 is one pixel wide, as the format's width 0 is.
        key.width = std::max(1, int(std::lround(pen_.widthF())));
        key.color = colorRef(pen_.color());
        if (pen_ == Qt::NoPen)
            key.color = 0;
        if (penSelected_ >= 0 && key == penKey_)
            return;
        const int created =
            createObject(Record(kCreatePenIndirect).word(key.style).word(key.width).word(0).dword(key.color));
        replaceSelected(penSelected_, created);
        penKey_ = key;
    }

    void selectBrush() {
        BrushKey key;
        if (brush_.style() == Qt::NoBrush)
            key = {kBrushNull, 0};
        else
            key = {kBrushSolid, colorRef(brush_.color())};
        if (brushSelected_ >= 0 && key == brushKey_)
            return;
        const int created =
            createObject(Record(kCreateBrushIndirect).word(key.style).dword(key.color).word(0));
        replaceSelected(brushSelected_, created);
        brushKey_ = key;
    }

    void selectFont(const QFont& font, quint8 charset) {
        FontKey key;
        key.family = font.family().left(31);
        key.height = font.pixelSize() > 0 ? font.pixelSize()
                                          : int(std::lround(font.pointSizeF() * WmfDevice::kDpi / 72.0));
        key.weight = std::clamp(int(font.weight()), 0, 1000);
        key.italic = font.italic();
        key.underline = font.underline();
        key.strikeOut = font.strikeOut();
        key.charset = charset;
        if (fontSelected_ >= 0 && key == fontKey_)
            return;
        QByteArray face = key.family.toLatin1();
        face.append('\0');
        Record r(kCreateFontIndirect);
        // A negative height asks for the character height, as a point size does.
        r.word(-key.height).word(0).word(0).word(0).word(key.weight);
        r.word((key.italic ? 1 : 0) | ((key.underline ? 1 : 0) << 8));
        r.word((key.strikeOut ? 1 : 0) | (key.charset << 8));
        r.word(0).word(0); // precisions, quality, pitch and family: the reader's defaults
        r.bytes(face);
        replaceSelected(fontSelected_, createObject(r));
        fontKey_ = key;
    }

    void polyline(const QPointF* points, int count) {
        QPolygonF device;
        device.reserve(count);
        for (int i = 0; i < count; ++i)
            device << transform_.map(points[i]);
        polylineDevice(device.constData(), int(device.size()));
    }

    // The polyline cut to the limits: the pieces inside, each its own record.
    void polylineDevice(const QPointF* points, int count) {
        if (pen_.style() == Qt::NoPen || count < 1)
            return;
        const QRectF bounds = limits();
        if (count == 1) {
            drawPointsDevice(points[0], bounds);
            return;
        }
        QPolygon run;
        auto flush = [&] {
            if (run.size() >= 2)
                emitPolyline(run);
            run.clear();
        };
        for (int i = 0; i + 1 < count; ++i) {
            const auto part = clipSegment(points[i], points[i + 1], bounds);
            if (!part) {
                flush();
                continue;
            }
            const QPoint a = rounded(part->first), b = rounded(part->second);
            if (run.isEmpty() || run.constLast() != a) {
                flush();
                run << a;
            }
            run << b;
        }
        flush();
    }

    void drawPointsDevice(const QPointF& p, const QRectF& bounds) {
        const QPoint at = rounded(p);
        if (bounds.contains(at))
            add(Record(kSetPixel).dword(colorRef(pen_.color())).word(at.y()).word(at.x()));
    }

    void emitPolyline(const QPolygon& run) {
        selectPen();
        // Long runs go in pieces the count field can hold, each starting where the last ended.
        for (int start = 0; start + 1 < run.size(); start += kMaxPoints - 1) {
            const int n = std::min(int(run.size()) - start, kMaxPoints);
            Record r(kPolyline);
            r.word(n);
            for (int i = start; i < start + n; ++i)
                r.word(run[i].x()).word(run[i].y());
            add(r);
        }
    }

    void polygon(const QPolygonF& poly) { polygonDevice(transform_.map(poly)); }

    // A filled shape is held inside the picture point by point; the pieces outside are not
    // visible anyway.
    void polygonDevice(const QPolygonF& poly) {
        if (poly.size() < 2 || (pen_.style() == Qt::NoPen && brush_.style() == Qt::NoBrush))
            return;
        const QRectF bounds = limits();
        selectPen();
        selectBrush();
        const int n = std::min(int(poly.size()), kMaxPoints);
        Record r(kPolygon);
        r.word(n);
        for (int i = 0; i < n; ++i) {
            const QPoint p = rounded(poly[i]);
            r.word(std::clamp(p.x(), int(bounds.left()), int(bounds.right())))
                .word(std::clamp(p.y(), int(bounds.top()), int(bounds.bottom())));
        }
        add(r);
    }

    QSize size_;
    bool started_ = false;
    bool ended_ = false;
    QByteArray records_;
    quint32 maxRecordWords_ = 0;
    std::vector<bool> objectSlots_;

    QPen pen_;
    QBrush brush_;
    QFont font_;
    QTransform transform_;
    QRectF clip_;
    bool clipOn_ = false;

    int penSelected_ = -1, brushSelected_ = -1, fontSelected_ = -1;
    PenKey penKey_;
    BrushKey brushKey_;
    FontKey fontKey_;
    std::optional<quint32> textColor_;
    QString substituted_;
};

WmfDevice::WmfDevice(const QSize& size) : size_(size), engine_(std::make_unique<WmfPaintEngine>(size)) {}

WmfDevice::~WmfDevice() = default;

QPaintEngine* WmfDevice::paintEngine() const {
    return engine_.get();
}

QByteArray WmfDevice::bytes() const {
    return engine_->file();
}

QString WmfDevice::substitutedCharacters() const {
    return engine_->substituted();
}

bool WmfDevice::save(const QString& path, QString* error) const {
    const QByteArray b = bytes();
    if (b.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: nothing was drawn").arg(path);
        return false;
    }
    return TextFile::writeBytes(path, b, error);
}

int WmfDevice::metric(PaintDeviceMetric m) const {
    switch (m) {
    case PdmWidth:
        return size_.width();
    case PdmHeight:
        return size_.height();
    case PdmWidthMM:
        return int(std::lround(size_.width() * 25.4 / kDpi));
    case PdmHeightMM:
        return int(std::lround(size_.height() * 25.4 / kDpi));
    case PdmNumColors:
        return 0x7FFFFFFF;
    case PdmDepth:
        return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kDpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(m);
    }
}

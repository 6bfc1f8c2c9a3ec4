#include "report/PdfTextLayer.h"

#include <QFile>
#include <QGlyphRun>
#include <QRawFont>
#include <QSet>
#include <QTextLayout>

#include <algorithm>

namespace report {

namespace {

// Every character of the plane the writer looks in for a glyph's name, in order.
const QString& everyCharacter() {
    static const QString all = [] {
        QString s;
        s.reserve(0x10000);
        for (char32_t u = 1; u < 0x10000; ++u)
            if (!QChar::isSurrogate(u))
                s.append(QChar(char16_t(u)));
        return s;
    }();
    return all;
}

constexpr qreal kUnbounded = 1e6;

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The offsets of the four hex digits of each destination code in the bfrange lines of a
// ToUnicode map: "<s> <e> <d>" (one glyph when s = e) and "<s> <e> [<d> <d> ...]". A run
// "<s> <e> <d>" over several glyphs names them by counting on from d and is left alone.
QList<qsizetype> destinations(const QByteArray& pdf) {
    QList<qsizetype> out;
    for (qsizetype at = pdf.indexOf("beginbfrange"); at >= 0; at = pdf.indexOf("beginbfrange", at)) {
        const qsizetype end = pdf.indexOf("endbfrange", at);
        if (end < 0)
            break;
        for (qsizetype line = pdf.indexOf('\n', at) + 1; line > 0 && line < end;) {
            qsizetype next = pdf.indexOf('\n', line);
            if (next < 0 || next > end)
                next = end;
            QList<qsizetype> codes; // where the digits of each <...> on the line start
            QList<qsizetype> sizes;
            bool array = false;
            for (qsizetype i = line; i < next; ++i) {
                array = array || pdf[i] == '[';
                const qsizetype close = pdf[i] == '<' ? pdf.indexOf('>', i) : -1;
                if (close < 0 || close > next)
                    continue;
                codes << i + 1;
                sizes << close - i - 1;
                i = close;
            }
            const bool single =
                codes.size() == 3 && pdf.mid(codes[0], sizes[0]) == pdf.mid(codes[1], sizes[1]);
            for (qsizetype k = 2; k < codes.size(); ++k)
                if ((array || single) && sizes[k] == 4)
                    out << codes[k];
            line = next + 1;
        }
        at = end;
    }
    return out;
}

} // namespace

void PdfTextLayer::add(const QFont& font, const QString& text) {
    const QString key =
        font.family() + u'/' + QString::number(font.weight()) + u'/' + QString::number(font.style());
    Drawn& d = fonts_[key];
    d.font = font;
    d.texts.insert(text);
}

QHash<char16_t, char16_t> PdfTextLayer::renames() const {
    // The fonts that drew, by face: each with its glyphs drawn -> the character drawn with each
    // (of two drawn with one glyph, the lower, whatever the order the texts come in).
    struct Face {
        QRawFont raw;
        QHash<quint32, char16_t> drawnWith;
    };
    QHash<QString, Face> faces;
    QSet<char16_t> drawn;
    auto note = [&faces](const QRawFont& raw, quint32 glyph, char16_t c) {
        Face& f = faces[raw.familyName() + u'/' + raw.styleName() + u'/' + QString::number(raw.weight()) +
                        u'/' + QString::number(raw.style())];
        f.raw = raw;
        if (glyph != 0 && f.drawnWith.value(glyph, c) >= c)
            f.drawnWith.insert(glyph, c);
    };
    for (const Drawn& d : fonts_) {
        const QRawFont requested = QRawFont::fromFont(d.font);
        for (const QString& text : d.texts) {
            auto printed = [&text](qsizetype i) { return !text.at(i).isSurrogate() && text.at(i).isPrint(); };
            bool whole = true; // the requested font has every character
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (!printed(i))
                    continue;
                drawn.insert(text.at(i).unicode());
                whole = whole && requested.supportsCharacter(text.at(i));
            }
            if (whole) {
                for (qsizetype i = 0; i < text.size(); ++i)
                    if (printed(i))
                        note(requested, requested.glyphIndexesForString(text.mid(i, 1)).value(0),
                             text.at(i).unicode());
                continue;
            }
            // Qt draws the characters the font lacks from fallback fonts that it picks for the
            // script around them: the text is laid out as drawn to find the font of each.
            // Where a line breaks does not change the fonts.
            QTextLayout layout(QString(text).replace(u'\n', QChar::LineSeparator), d.font);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                line.setLineWidth(kUnbounded);
            layout.endLayout();
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (!printed(i))
                    continue;
                const QList<QGlyphRun> runs = layout.glyphRuns(int(i), 1);
                if (runs.size() == 1 && runs[0].glyphIndexes().size() == 1)
                    note(runs[0].rawFont(), runs[0].glyphIndexes()[0], text.at(i).unicode());
            }
        }
    }
    QHash<char16_t, char16_t> out;
    QSet<char16_t> ambiguous;
    const QString& all = everyCharacter();
    for (const Face& f : std::as_const(faces)) {
        const QList<quint32> glyphs = f.raw.glyphIndexesForString(all);
        QSet<quint32> named;
        for (qsizetype i = 0; i < glyphs.size() && i < all.size(); ++i) {
            const auto it = f.drawnWith.constFind(glyphs[i]);
            if (it == f.drawnWith.cend() || named.contains(glyphs[i]))
                continue;
            named.insert(glyphs[i]);
            const char16_t name = all.at(i).unicode();
            if (name == it.value())
                continue;
            if (out.contains(name) && out.value(name) != it.value())
                ambiguous.insert(name);
            out.insert(name, it.value());
        }
    }
    // A name that is itself drawn names its own glyph rightly.
    for (const QSet<char16_t>& keep : {ambiguous, drawn})
        for (const char16_t name : keep)
            out.remove(name);
    return out;
}

bool PdfTextLayer::applyTo(const QString& path) const {
    const QHash<char16_t, char16_t> names = renames();
    if (names.isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray pdf = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    for (const qsizetype at : destinations(pdf)) {
        const QByteArray digits = pdf.mid(at, 4);
        if (!std::all_of(digits.begin(), digits.end(), isHex))
            continue;
        const auto it = names.constFind(char16_t(digits.toUInt(nullptr, 16)));
        if (it == names.cend())
            continue;
        const QByteArray character = QByteArray::number(it.value(), 16).rightJustified(4, '0').toUpper();
        if (!file.seek(at) || file.write(character) != 4)
            return false;
    }
    return file.flush();
}

} // namespace report

#pragma once
// The text layer of the PDF files the report writes. Qt's PDF writer names each glyph by the
// lowest code point the font that drew it maps to that glyph, and CJK fonts map look-alikes to
// the glyphs of common characters: 方 is named U+2F45 (a Kangxi radical), 高 U+2FBC, ・ U+2027.
// A search for the printed text then finds nothing and a copy gives other characters. The
// names are set back to the characters the report drew, in whichever font drew each: the one
// asked for, or the fallback that Qt drew a character from when that one lacks it.
#include <QFont>
#include <QHash>
#include <QSet>
#include <QString>

namespace report {

class PdfTextLayer {
public:
    // A text drawn in font by one call (the fallback font of a character may depend on the
    // characters around it).
    void add(const QFont& font, const QString& text);
    // Puts the characters drawn into the ToUnicode maps of the PDF file at path. The edits
    // keep every length, so nothing else of the file moves. False when it could not be
    // read or written.
    bool applyTo(const QString& path) const;

private:
    // The name the writer gives a glyph drawn -> the character drawn with it, where the two
    // differ (a name two characters would share is left out).
    QHash<char16_t, char16_t> renames() const;

    struct Drawn {
        QFont font;
        QSet<QString> texts;
    };
    QHash<QString, Drawn> fonts_; // by family and style: the glyphs do not depend on the size
};

} // namespace report

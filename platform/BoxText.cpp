#include "platform/BoxText.h"

namespace BoxText {

QString quoted(const QString& text, int maxChars) {
    maxChars = qMax(maxChars, 1);
    QString out = text.size() > maxChars ? text.left(maxChars - 1) : text;
    // Half of a surrogate pair is no character.
    if (out.size() < text.size() && !out.isEmpty() && out.back().isHighSurrogate())
        out.chop(1);
    for (QChar& c : out)
        if (c.category() == QChar::Other_Control)
            c = QChar(QChar::ReplacementCharacter);
    if (out.size() < text.size())
        out += QChar(0x2026);
    return out;
}

} // namespace BoxText

#include "platform/DialogTitle.h"

#include <QFont>
#include <QFontMetrics>
#include <QRegularExpression>

QString dialogTitle(const QString& caption) {
    // Japanese captions carry the key in brackets after the text, half- or full-width.
    static const QRegularExpression bracketedKey(QStringLiteral("\\s*[(\\x{FF08}]&[^&\\s][)\\x{FF09}]"));
    QString text = caption;
    text.remove(bracketedKey);
    QString title;
    title.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&')
            title += text[i];
        else if (i + 1 < text.size() && text[i + 1] == u'&')
            title += text[++i];
    }
    return title;
}

int titleBarWidth(const QString& title, const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int bar = metrics.height() + 6;
    return metrics.horizontalAdvance(title) + 6 * bar;
}

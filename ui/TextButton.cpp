#include "ui/TextButton.h"

#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

TextButton::TextButton(const QString& text, QSize designed, QWidget* parent)
    : QPushButton(text, parent), designed_(designed) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TextButton::sizeHint() const {
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.rect = QRect(QPoint(0, 0), designed_);
    // What the button's frame and margins take of the designed width.
    const int frame =
        designed_.width() - style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this).width();
    QString shown = text();
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(u'&').replace(u'\x01', u'&');
    int need = fontMetrics().horizontalAdvance(shown) + frame;
    if (!icon().isNull())
        need += iconSize().width() + 4;
    return {std::max(designed_.width(), need), designed_.height()};
}

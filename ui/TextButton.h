#pragma once
// A push button of a designed size that widens when its text (a language file's, say) needs
// more room than the design gave it.
#include <QPushButton>

class TextButton : public QPushButton {
public:
    TextButton(const QString& text, QSize designed, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QSize designed_;
};

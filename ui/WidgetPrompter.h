#pragma once
#include "platform/Prompter.h"

// The real boxes and dialogs (QMessageBox, QFileDialog without the native dialog, ...).
class WidgetPrompter : public Prompter {
public:
    BoxAnswer message(const QString& text, const QString& caption, BoxIcon icon, BoxButtons buttons,
                      QWidget* parent) override;
    QString openFile(const QString& title, const QString& folder, const QString& filter, int filterIndex,
                     QWidget* parent) override;
    QString saveFile(const QString& title, const QString& folder, const QString& filter, int filterIndex,
                     const QString& fileName, QWidget* parent) override;
    bool chooseColor(QColor& color, QWidget* parent) override;
    bool chooseFont(QFont& font, QWidget* parent) override;
    bool choosePrinter(QPrinter& printer, QWidget* parent) override;
};

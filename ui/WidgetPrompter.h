#pragma once
#include "platform/Prompter.h"

// The real boxes and dialogs (QMessageBox, QFileDialog without the native dialog, ...). A box
// or dialog asked for without a parent is centred on the program's active window, as the
// desktop's conventions have it, not on the middle of the screen.
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

    // The window a box asked for without a parent belongs to: the program's active window
    // (the modal one first; a pop-up menu's own window), else its window active last, else none.
    static QWidget* ownerWindow();
    // Centres a dialog on its owner window, whole on the owner's screen, and keeps it above it.
    static void placeOver(QWidget& dialog, const QWidget& owner);
    // placeOver the owner window, for a dialog made without a parent.
    static void placeUnowned(QWidget& dialog, QWidget* parent);
};

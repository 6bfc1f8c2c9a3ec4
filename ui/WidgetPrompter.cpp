#include "ui/WidgetPrompter.h"

#include "ui/FormActivation.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace {

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

QWidget* WidgetPrompter::ownerWindow() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w)
        w = QApplication::activeWindow();
    // A pop-up menu or tip closes under the box: the window it belongs to owns the box.
    while (w && (w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip) && w->parentWidget())
        w = w->parentWidget()->window();
    if (!w) {
        // The program is not the active application: its window that was active last.
        QWidget* last = FormActivation::lastActiveForm();
        if (last && last->isVisible())
            w = last;
    }
    return w && w->isVisible() ? w->window() : nullptr;
}

void WidgetPrompter::placeOver(QWidget& dialog, const QWidget& owner) {
    dialog.adjustSize();
    const QRect over = owner.frameGeometry();
    QRect r(QPoint(), dialog.frameGeometry().size());
    r.moveCenter(over.center());
    // Whole on the owner's screen.
    if (const QScreen* screen = owner.screen()) {
        const QRect room = screen->availableGeometry();
        r.moveLeft(std::clamp(r.left(), room.left(), std::max(room.left(), room.right() - r.width() + 1)));
        r.moveTop(std::clamp(r.top(), room.top(), std::max(room.top(), room.bottom() - r.height() + 1)));
    }
    dialog.move(r.topLeft());
    // The window manager keeps the box above its owner and may place it by it as well.
    dialog.winId();
    if (QWindow* handle = dialog.windowHandle())
        handle->setTransientParent(owner.windowHandle());
}

void WidgetPrompter::placeUnowned(QWidget& dialog, QWidget* parent) {
    // A box with a parent is centred on it by the dialog itself.
    if (parent)
        return;
    if (QWidget* owner = ownerWindow())
        placeOver(dialog, *owner);
}

BoxAnswer WidgetPrompter::message(const QString& text, const QString& caption, BoxIcon icon,
                                  BoxButtons buttons, QWidget* parent) {
    if (!haveWidgets()) {
        // No window system (a command-line use): the text still reaches the user.
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
        return firstButtonAnswer(buttons);
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case BoxIcon::None:
        qicon = QMessageBox::NoIcon;
        break;
    case BoxIcon::Warning:
        qicon = QMessageBox::Warning;
        break;
    case BoxIcon::Error:
    case BoxIcon::Stop:
        qicon = QMessageBox::Critical;
        break;
    case BoxIcon::Information:
        qicon = QMessageBox::Information;
        break;
    case BoxIcon::Question:
        qicon = QMessageBox::Question;
        break;
    }
    QMessageBox::StandardButtons qbuttons;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
    switch (buttons) {
    case BoxButtons::Ok:
        qbuttons = QMessageBox::Ok;
        escape = QMessageBox::Ok;
        break;
    case BoxButtons::OkCancel:
        qbuttons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoDefaultNo:
        qbuttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case BoxButtons::YesNoCancel:
        qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    case BoxButtons::AbortRetryIgnore:
        qbuttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        break;
    }
    QMessageBox box(qicon, caption, text, qbuttons, parent);
    // The first button is the default, as in the system's boxes, unless the caller asks for No.
    switch (buttons) {
    case BoxButtons::Ok:
    case BoxButtons::OkCancel:
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case BoxButtons::YesNo:
    case BoxButtons::YesNoCancel:
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case BoxButtons::AbortRetryIgnore:
        box.setDefaultButton(QMessageBox::Abort);
        break;
    case BoxButtons::YesNoDefaultNo:
        box.setDefaultButton(QMessageBox::No);
        break;
    }
    if (escape != QMessageBox::NoButton)
        box.setEscapeButton(escape);
    placeUnowned(box, parent);
    const int r = box.exec();
    switch (r) {
    case QMessageBox::Ok:
        return BoxAnswer::Ok;
    case QMessageBox::Cancel:
        return BoxAnswer::Cancel;
    case QMessageBox::Yes:
        return BoxAnswer::Yes;
    case QMessageBox::No:
        return BoxAnswer::No;
    case QMessageBox::Abort:
        return BoxAnswer::Abort;
    case QMessageBox::Retry:
        return BoxAnswer::Retry;
    case QMessageBox::Ignore:
        return BoxAnswer::Ignore;
    default:
        break;
    }
    // Closed without a button (only possible where there is an escape button).
    return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

namespace {

QString runFileDialog(QFileDialog& dlg, QWidget* parent, const QString& filter, int filterIndex,
                      int& chosenIndex) {
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    const QString qtFilter = qtFilterFromPipeFilter(filter);
    const QStringList entries = qtFilter.isEmpty() ? QStringList() : qtFilter.split(QStringLiteral(";;"));
    if (!entries.isEmpty()) {
        dlg.setNameFilters(entries);
        dlg.selectNameFilter(qtFilterEntry(filter, filterIndex));
    }
    WidgetPrompter::placeUnowned(dlg, parent);
    if (dlg.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dlg.selectedFiles();
    if (files.isEmpty())
        return QString();
    const qsizetype at = entries.indexOf(dlg.selectedNameFilter());
    chosenIndex = at >= 0 ? static_cast<int>(at) + 1 : filterIndex;
    return files.first();
}

} // namespace

QString WidgetPrompter::openFile(const QString& title, const QString& folder, const QString& filter,
                                 int filterIndex, QWidget* parent) {
    if (!haveWidgets())
        return QString();
    QFileDialog dlg(parent, title, folder);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dlg, parent, filter, filterIndex, lastFilterIndex_);
}

QString WidgetPrompter::saveFile(const QString& title, const QString& folder, const QString& filter,
                                 int filterIndex, const QString& fileName, QWidget* parent) {
    if (!haveWidgets())
        return QString();
    QFileDialog dlg(parent, title, folder);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!fileName.isEmpty())
        dlg.selectFile(fileName);
    QString chosen = runFileDialog(dlg, parent, filter, filterIndex, lastFilterIndex_);
    // A name typed without an extension takes the one of the chosen entry, as the
    // system's save dialog does with a default extension.
    if (!chosen.isEmpty() && !QFileInfo(chosen).fileName().contains(u'.')) {
        const QString suffix = filterEntrySuffix(filter, lastFilterIndex_);
        if (!suffix.isEmpty())
            chosen += u'.' + suffix;
    }
    return chosen;
}

bool WidgetPrompter::chooseColor(QColor& color, QWidget* parent) {
    if (!haveWidgets())
        return false;
    QColorDialog dlg(color, parent);
    dlg.setOption(QColorDialog::DontUseNativeDialog);
    placeUnowned(dlg, parent);
    if (dlg.exec() != QDialog::Accepted || !dlg.selectedColor().isValid())
        return false;
    color = dlg.selectedColor();
    return true;
}

bool WidgetPrompter::chooseFont(QFont& font, QWidget* parent) {
    if (!haveWidgets())
        return false;
    QFontDialog dlg(font, parent);
    dlg.setOption(QFontDialog::DontUseNativeDialog);
    placeUnowned(dlg, parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    font = dlg.selectedFont();
    return true;
}

bool WidgetPrompter::choosePrinter(QPrinter& printer, QWidget* parent) {
    if (!haveWidgets())
        return false;
    QPrintDialog dlg(&printer, parent);
    placeUnowned(dlg, parent);
    return dlg.exec() == QDialog::Accepted;
}

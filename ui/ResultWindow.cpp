#include "ui/ResultWindow.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/TransferEngine.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"
#include "ui/UnderMainWindow.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

ResultWindow* currentResultWindow = nullptr;

MainWindowLinks& mainWindowLinks() {
    static MainWindowLinks links;
    return links;
}

ResultWindow::ResultWindow(QWidget* /*owner*/) : QDialog(nullptr) {
    // The owner (the window whose command made this one, and which releases it) is not the
    // Qt parent: a disabled main window would disable this window too.
    setModal(true);
    setMinimumSize(kMinWidth, kMinHeight);
    auto* top = new QVBoxLayout(this);
    ResultDisp = new QPlainTextEdit(this);
    ResultDisp->setLineWrapMode(QPlainTextEdit::NoWrap);
    ResultDisp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ResultDisp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ResultDisp->setContextMenuPolicy(Qt::CustomContextMenu);
    contextMenu = new QMenu(this);
    PopRepCopy = contextMenu->addAction(QStringLiteral("Copy"));
    PopRepCopy->setShortcut(QKeySequence::Copy);
    connect(PopRepCopy, &QAction::triggered, this, [this] { PopRepCopyClick(); });
    connect(ResultDisp, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { contextMenu->exec(ResultDisp->mapToGlobal(at)); });
    top->addWidget(ResultDisp);
    auto* buttons = new QHBoxLayout;
    printButton = new QPushButton(this);
    saveButton = new QPushButton(this);
    buttons->addStretch();
    buttons->addWidget(printButton);
    buttons->addWidget(saveButton);
    top->addLayout(buttons);
    connect(printButton, &QPushButton::clicked, this, [this] { printText(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { saveText(); });
    resize(560, kMinHeight);
    currentResultWindow = this;
}

ResultWindow::~ResultWindow() {
    if (currentResultWindow == this)
        currentResultWindow = nullptr;
}

void ResultWindow::showText() {
    ResultDisp->setPlainText(text_.ResultDisp.join(u'\n'));
}

void ResultWindow::addLine(const QString& line) {
    text_.addLine(line);
    if (shown_)
        ResultDisp->appendPlainText(line);
}

void ResultWindow::replaceFirstLine(const QString& line) {
    if (shown_)
        text_.ResultDisp = lines();
    text_.replaceFirstLine(line);
    if (shown_)
        showText();
}

QStringList ResultWindow::lines() const {
    if (!shown_)
        return text_.ResultDisp;
    const QString text = ResultDisp->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void ResultWindow::place() {
    if (!placement_) {
        // Under the main window at its own width, 480 pixels less the main window's height
        // tall (no less than its least height), which then becomes its least height.
        // The heights are outer heights, frames included.
        placement_ = new UnderMainWindow(
            *this,
            [] {
                const QWidget* main = mainWindowLinks().window;
                return main ? main->frameGeometry() : QRect();
            },
            [](const QRect& main, const QSize& own) {
                return QRect(main.left(), main.top() + main.height(), own.width(), 480 - main.height());
            });
        placement_->setMinimumHeightFollows(true);
    }
    placement_->place();
}

void ResultWindow::FormShow() {
    place();
    const ResultTexts t = ResultTexts::forMode(int(TransferMode));
    setWindowTitle(t.caption);
    printButton->setText(t.printButton);
    saveButton->setText(t.saveButton);
    printTitle_ = t.printTitle;
    if (!shown_) {
        showText();
        shown_ = true;
    }
    ResultDisp->moveCursor(QTextCursor::Start);
    ResultDisp->setFocus();
    const auto& printEnabled = mainWindowLinks().printEnabled;
    printButton->setEnabled(!printEnabled || printEnabled());
}

void ResultWindow::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

void ResultWindow::FormActivate() {
    if (mainWindowLinks().clearParaTableAct)
        mainWindowLinks().clearParaTableAct();
}

void ResultWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(e);
}

void ResultWindow::printText() {
    if (printTitle_.isEmpty())
        printTitle_ = ResultTexts::forMode(int(TransferMode)).printTitle;
    QPrinter printer(QPrinter::HighResolution);
    QString pdf = printToPdf;
    if (pdf.isEmpty() && QPrinterInfo::defaultPrinter().isNull()) {
        // No printer: a PDF file rather than a print job that silently goes nowhere.
        pdf = Prompter::instance().saveFile(printTitle_, globals().ProgramFolder,
                                            QStringLiteral("PDF (*.pdf)|*.pdf"), 1, QString(), this);
        if (pdf.isEmpty())
            return;
    }
    if (!pdf.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    }
    printer.setDocName(printTitle_);
    WaitCursor wait;
    QTextDocument doc;
    doc.setDefaultFont(ResultDisp->font());
    doc.setPlainText(lines().join(u'\n'));
    doc.print(&printer);
}

void ResultWindow::saveText() {
    SaveResultLines(lines(), int(TransferMode), currentTime ? currentTime() : QDateTime::currentDateTime(),
                    this);
}

void ResultWindow::PopRepCopyClick() {
    ResultDisp->copy();
}

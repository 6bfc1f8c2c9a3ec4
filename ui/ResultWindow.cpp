#include "ui/ResultWindow.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/TransferEngine.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"
#include "report/TextReport.h"
#include "ui/PrintDestination.h"
#include "ui/UnderMainWindow.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>

ResultWindow::ResultWindow(const ProgramContext& context, const Options& options, Asker& asker,
                           const TransferJob& job, const MainWindowLinks& links, QWidget* /*owner*/)
    : QDialog(nullptr), context_(context), options_(options), asker_(asker), job_(job), links_(links) {
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
    connect(PopRepCopy, &QAction::triggered, this, [this] { copySelectedText(); });
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
}

ResultWindow::~ResultWindow() = default;

void ResultWindow::showText() {
    ResultDisp->setPlainText(text_.lines().join(u'\n'));
}

void ResultWindow::addLine(const QString& line) {
    text_.addLine(line);
    if (shown_)
        ResultDisp->appendPlainText(line);
}

void ResultWindow::replaceFirstLine(const QString& line) {
    if (shown_)
        text_.replaceLines(lines());
    text_.replaceFirstLine(line);
    if (shown_)
        showText();
}

QStringList ResultWindow::lines() const {
    if (!shown_)
        return text_.lines();
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
            [&links = links_] {
                const QWidget* main = links.window;
                return main ? main->frameGeometry() : QRect();
            },
            [](const QRect& main, const QSize& own) {
                return QRect(main.left(), main.top() + main.height(), own.width(), 480 - main.height());
            });
        placement_->setMinimumHeightFollows(true);
    }
    placement_->place();
}

void ResultWindow::showResults() {
    place();
    const ResultTexts t = ResultTexts::forMode(context_, int(job_.mode));
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
    const auto& printEnabled = links_.printEnabled;
    printButton->setEnabled(!printEnabled || printEnabled());
}

void ResultWindow::showEvent(QShowEvent* e) {
    showResults();
    QDialog::showEvent(e);
}

void ResultWindow::clearTableActive() {
    if (links_.clearParaTableAct)
        links_.clearParaTableAct();
}

void ResultWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        clearTableActive();
    QDialog::changeEvent(e);
}

bool ResultWindow::printText() {
    if (printTitle_.isEmpty())
        printTitle_ = ResultTexts::forMode(context_, int(job_.mode)).printTitle;
    const PrintDestination::Texts texts = PrintDestination::languageTexts(context_);
    PrintDestination to = PrintDestination::choose(links_.printer, printToPdf, printTitle_, texts, this);
    if (!to)
        return false;
    WaitCursor wait;
    // The lines in the window's own font, laid out as every printed page is.
    const QFont font = ResultDisp->font();
    const report::ReportPages pages(report::layoutTextReport(
        printTitle_, lines(),
        report::FontSpec{font.family(), font.pointSizeF() > 0 ? font.pointSizeF() : 9.0}));
    QString error;
    if (to.finish(pages.print(*to.printer(), &error), &error))
        return true;
    Prompter::instance().message(error, texts.caption, BoxIcon::Error, BoxButtons::Ok, this);
    return false;
}

void ResultWindow::saveText() {
    SaveResultLines(context_, options_, lines(), int(job_.mode),
                    currentTime ? currentTime() : QDateTime::currentDateTime(), asker_);
}

void ResultWindow::copySelectedText() {
    ResultDisp->copy();
}

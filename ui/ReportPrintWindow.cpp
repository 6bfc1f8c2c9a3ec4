#include "ui/ReportPrintWindow.h"

#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "platform/WaitCursor.h"
#include "report/PageSetup.h"
#include "ui/PrintDestination.h"
#include "ui/ReportPreview.h"
#include "ui/UnderMainWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kBarHeight = 37;
} // namespace

// One run that produces pages: the bar is disabled and closing refused until it ends, on
// every way out.
class ReportPrintWindow::Pass {
public:
    explicit Pass(ReportPrintWindow& w) : w_(w) {
        w_.producing_ = true;
        w_.setBarEnabled(false);
    }
    ~Pass() {
        w_.producing_ = false;
        w_.setBarEnabled(true);
    }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

private:
    ReportPrintWindow& w_;
};

ReportPrintWindow::ReportPrintWindow(const ControlNames& names, ReportWindowLinks links, QWidget* parent)
    : QDialog(parent), links_(std::move(links)) {
    setObjectName(QLatin1String(names.window));
    setWindowTitle(QStringLiteral("Preview and Print"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);
    buildControls(names);
}

ReportPrintWindow::~ReportPrintWindow() = default;

void ReportPrintWindow::buildControls(const ControlNames& names) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    preview_ = new ReportPreview(this);
    layout->addWidget(preview_, 1);

    bar_ = new QFrame(this);
    bar_->setObjectName(QStringLiteral("Panel1"));
    bar_->setFixedHeight(kBarHeight);
    layout->addWidget(bar_);
    barRow_ = new QHBoxLayout(bar_);
    barRow_->setContentsMargins(8, 4, 8, 4);
    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, bar_);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, bar_);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    barRow_->addWidget(label("Label1", QStringLiteral("Scale")));
    zoomCombo = new QComboBox(bar_);
    zoomCombo->setObjectName(QStringLiteral("ComboBox1"));
    zoomCombo->setEditable(true);
    zoomCombo->setInsertPolicy(QComboBox::NoInsert);
    zoomCombo->addItems({"25", "50", "75", "100", "150", "200"});
    zoomCombo->lineEdit()->setMaxLength(3);
    zoomCombo->setFixedWidth(64);
    zoomCombo->installEventFilter(this);
    barRow_->addWidget(zoomCombo);
    barRow_->addWidget(label("Label2", QStringLiteral("(%)")));
    barInsertAt_ = barRow_->count();
    barRow_->addSpacing(16);
    printingLabel = label(names.printingLabel, QStringLiteral("Printing..."));
    QFont bold = printingLabel->font();
    bold.setBold(true);
    printingLabel->setFont(bold);
    printingLabel->hide();
    barRow_->addWidget(printingLabel);
    barRow_->addStretch(1);
    printButton = button(names.printButton, QStringLiteral("Print"));
    cancelButton = button(names.cancelButton, QStringLiteral("Cancel"));
    barRow_->addWidget(printButton);
    barRow_->addWidget(cancelButton);

    connect(zoomCombo, &QComboBox::editTextChanged, this,
            [this](const QString& text) { preview_->setZoom(report::zoomOf(text, lastZoom_)); });
    connect(printButton, &QPushButton::clicked, this, [this] { printReport(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { close(); });
}

void ReportPrintWindow::addToBar(QWidget* w) {
    barRow_->insertWidget(barInsertAt_++, w);
}

void ReportPrintWindow::addBarSpacing(int width) {
    barRow_->insertSpacing(barInsertAt_++, width);
}

QString ReportPrintWindow::message(MsgId id) const {
    return links_.message ? links_.message(id) : QString();
}

QString ReportPrintWindow::printText(const char* key, const char* def) const {
    return IniFile(languageIniPath_)
        .readString(QStringLiteral("Print"), QLatin1String(key), QLatin1String(def));
}

void ReportPrintWindow::createWindow(const QString& languageIniPath) {
    languageIniPath_ = languageIniPath;
    if (links_.mainFrame) {
        if (!placement_)
            placement_ = new UnderMainWindow(*this, links_.mainFrame, [](const QRect& main, const QSize&) {
                return QRect(main.left(), main.top() + main.height(), kMinWidth, 480 - main.height());
            });
        placement_->place();
    }
    const IniFile ini(languageIniPath);
    const QString print = QStringLiteral("Print");
    setWindowTitle(ini.readString(print, "Form", "Preview and Print"));
    findChild<QLabel*>(QStringLiteral("Label1"))->setText(ini.readString(print, "Label1", "Scale"));
    printingLabel->setText(ini.readString(print, "Label2", "Printing..."));
    printButton->setText(ini.readString(print, "Button1", "Print"));
    cancelButton->setText(ini.readString(print, "Button2", "Cancel"));
}

void ReportPrintWindow::resetForShowing() {
    setBarEnabled(false);
    inputError_ = false;
}

void ReportPrintWindow::setBarEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(zoomCombo), static_cast<QWidget*>(printButton),
                       static_cast<QWidget*>(cancelButton)})
        w->setEnabled(enabled);
    for (QWidget* w : passControls_)
        w->setEnabled(enabled);
}

void ReportPrintWindow::layOutPages() {
    WaitCursor wait;
    pages_ = std::make_shared<const report::ReportPages>(layOut());
}

void ReportPrintWindow::startPreview() {
    {
        Pass pass(*this);
        passStarted();
        layOutPages();
        preview_->setPages(pages_, 0);
        pagesReady();
    }
    showZoom();
}

void ReportPrintWindow::showZoom() {
    const QSignalBlocker block(zoomCombo);
    zoomCombo->setEditText(QString::number(preview_->zoom()));
    lastZoom_ = preview_->zoom();
}

bool ReportPrintWindow::printReport() {
    Pass pass(*this);
    passStarted();
    printingLabel->show();
    printingLabel->repaint();
    struct HideLabel {
        QLabel* label;
        ~HideLabel() { label->hide(); }
    } hide{printingLabel};
    layOutPages();
    preview_->setPages(pages_, preview_->currentPage());
    pagesReady();
    return sendToPrinter();
}

bool ReportPrintWindow::sendToPrinter() {
    const QString title = pages_->document().title;
    PrintDestination::Texts texts;
    texts.noPrinter = printText("NoPrinter", texts.noPrinter.toUtf8().constData());
    texts.caption = message(MsgId::Caption);
    if (const QString m = message(MsgId::DiskFull); !m.isEmpty())
        texts.diskFull = m;
    if (const QString m = message(MsgId::WriteFailed); !m.isEmpty())
        texts.writeFailed = m;
    PrintDestination to = PrintDestination::choose(links_.printer, printToPdf, title, texts, this);
    if (!to)
        return false;
    QString error;
    if (to.finish(pages_->print(*to.printer(), &error), &error))
        return true;
    Prompter::instance().message(printText("PrintFailed", "The pages could not be printed.") + u'\n' + error,
                                 message(MsgId::Caption), BoxIcon::Error, BoxButtons::Ok, this);
    return false;
}

bool ReportPrintWindow::checkZoom() {
    const report::EntryCheck c = report::checkZoom(zoomCombo->currentText(), lastZoom_);
    if (c.passed()) {
        inputError_ = false;
        return true;
    }
    const bool wasChecking = checking_;
    checking_ = true;
    Prompter::instance().message(message(MsgId::OutOfRange), message(MsgId::Caption), BoxIcon::Error,
                                 BoxButtons::Ok, this);
    // The preview follows the text, so it shows the limit too.
    zoomCombo->setEditText(c.replacement);
    if (isVisible())
        zoomCombo->setFocus();
    checking_ = wasChecking;
    inputError_ = true;
    return false;
}

bool ReportPrintWindow::mayClose() {
    if (producing_)
        return false;
    checking_ = true;
    const bool ok = checkZoom();
    checking_ = false;
    return ok;
}

bool ReportPrintWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == zoomCombo && !checking_ && isVisible()) {
        const bool enter =
            e->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return ||
                                              static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter);
        bool leave = false;
        if (e->type() == QEvent::FocusOut) {
            const Qt::FocusReason r = static_cast<QFocusEvent*>(e)->reason();
            leave = r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason;
        }
        if (enter || leave) {
            checking_ = true;
            checkZoom();
            checking_ = false;
            if (enter)
                return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void ReportPrintWindow::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        resetForShowing();
    QDialog::showEvent(e);
}

void ReportPrintWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && links_.clearParaTableAct)
        links_.clearParaTableAct();
    QDialog::changeEvent(e);
}

void ReportPrintWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (zoomCombo) {
        const QSignalBlocker block(zoomCombo);
        zoomCombo->setEditText(QString::number(preview_->zoom()));
    }
}

void ReportPrintWindow::closeEvent(QCloseEvent* e) {
    if (!mayClose()) {
        e->ignore();
        return;
    }
    reenableCommands();
    e->accept();
    QDialog::reject();
}

void ReportPrintWindow::reject() {
    close();
}

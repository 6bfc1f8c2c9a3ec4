#include "ui/ParameterPrintWindow.h"

#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "platform/WaitCursor.h"
#include "ui/PageSetupWindow.h"
#include "ui/ReportPreview.h"

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
constexpr int kMsgOutOfRange = 41;
} // namespace

// One run that produces pages: the bar is disabled and closing refused until it ends, on
// every way out.
class ParameterPrintWindow::Pass {
public:
    explicit Pass(ParameterPrintWindow& w) : w_(w) {
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
    ParameterPrintWindow& w_;
};

ParameterPrintWindow::ParameterPrintWindow(PageSetupWindow& pageSetup, PrintWindowLinks links,
                                           QWidget* parent)
    : QDialog(parent), pageSetup_(pageSetup), links_(std::move(links)) {
    setObjectName(QStringLiteral("PrintWindow"));
    setWindowTitle(QStringLiteral("Preview and Print"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kMinWidth, kMinHeight);
    buildControls();
}

ParameterPrintWindow::~ParameterPrintWindow() = default;

void ParameterPrintWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    preview_ = new ReportPreview(this);
    layout->addWidget(preview_, 1);

    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("Panel1"));
    bar->setFixedHeight(kBarHeight);
    layout->addWidget(bar);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 4, 8, 4);
    auto label = [bar](const char* name, const QString& text) {
        auto* l = new QLabel(text, bar);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [bar](const char* name, const QString& text) {
        auto* b = new QPushButton(text, bar);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    row->addWidget(label("Label1", QStringLiteral("Scale")));
    zoomCombo = new QComboBox(bar);
    zoomCombo->setObjectName(QStringLiteral("ComboBox1"));
    zoomCombo->setEditable(true);
    zoomCombo->setInsertPolicy(QComboBox::NoInsert);
    zoomCombo->addItems({"25", "50", "75", "100", "150", "200"});
    zoomCombo->lineEdit()->setMaxLength(3);
    zoomCombo->setFixedWidth(64);
    zoomCombo->installEventFilter(this);
    row->addWidget(zoomCombo);
    row->addWidget(label("Label2", QStringLiteral("(%)")));
    row->addSpacing(16);
    backButton = button("Back", QStringLiteral("<"));
    backButton->setFixedWidth(28);
    row->addWidget(backButton);
    pageShownLabel = label("Label4", QStringLiteral("1"));
    pageShownLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pageShownLabel->setMinimumWidth(32);
    row->addWidget(pageShownLabel);
    row->addWidget(label("", QStringLiteral("/")));
    pageCountLabel = label("Label5", QStringLiteral("0"));
    pageCountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pageCountLabel->setMinimumWidth(32);
    row->addWidget(pageCountLabel);
    row->addWidget(label("Label3", QStringLiteral("page")));
    nextButton = button("Next", QStringLiteral(">"));
    nextButton->setFixedWidth(28);
    row->addWidget(nextButton);
    row->addSpacing(16);
    printingLabel = label("Label6", QStringLiteral("Printing..."));
    QFont bold = printingLabel->font();
    bold.setBold(true);
    printingLabel->setFont(bold);
    printingLabel->hide();
    row->addWidget(printingLabel);
    row->addStretch(1);
    printButton = button("Button2", QStringLiteral("Print"));
    cancelButton = button("Button3", QStringLiteral("Cancel"));
    row->addWidget(printButton);
    row->addWidget(cancelButton);

    connect(zoomCombo, &QComboBox::editTextChanged, this,
            [this](const QString& text) { preview_->setZoom(report::zoomOf(text, lastZoom_)); });
    connect(backButton, &QPushButton::clicked, this,
            [this] { preview_->setCurrentPage(preview_->currentPage() - 1); });
    connect(nextButton, &QPushButton::clicked, this,
            [this] { preview_->setCurrentPage(preview_->currentPage() + 1); });
    connect(preview_, &ReportPreview::currentPageChanged, this,
            [this](int page) { pageShownLabel->setText(QString::number(page + 1)); });
    connect(printButton, &QPushButton::clicked, this, [this] { printReport(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { close(); });
}

QString ParameterPrintWindow::message(int n) const {
    return links_.message ? links_.message(n) : QString();
}

QString ParameterPrintWindow::printText(const char* key, const char* def) const {
    return IniFile(languageIniPath_)
        .readString(QStringLiteral("Print"), QLatin1String(key), QLatin1String(def));
}

void ParameterPrintWindow::FormCreate(const QString& languageIniPath) {
    languageIniPath_ = languageIniPath;
    if (links_.mainFrame) {
        const QRect f = links_.mainFrame();
        move(f.left(), f.top() + f.height());
        resize(kMinWidth, std::max(kMinHeight, 480 - f.height()));
    }
    const IniFile ini(languageIniPath);
    const QString print = QStringLiteral("Print");
    setWindowTitle(ini.readString(print, "Form", "Preview and Print"));
    findChild<QLabel*>(QStringLiteral("Label1"))->setText(ini.readString(print, "Label1", "Scale"));
    printingLabel->setText(ini.readString(print, "Label2", "Printing..."));
    findChild<QLabel*>(QStringLiteral("Label3"))->setText(ini.readString(print, "Label3", "page"));
    printButton->setText(ini.readString(print, "Button1", "Print"));
    cancelButton->setText(ini.readString(print, "Button2", "Cancel"));
    const report::ParamRowTexts defaults = report::ParamReportData().headers;
    for (int c = 0; c < report::PC_Count; ++c)
        headers_[size_t(c)] = ini.readString(QStringLiteral("General"),
                                             QStringLiteral("Message%1").arg(22 + c), defaults[size_t(c)]);
}

void ParameterPrintWindow::showAndPreview() {
    show();
    raise();
    startPreview();
}

void ParameterPrintWindow::FormShow() {
    if (links_.setPrintCommandsEnabled)
        links_.setPrintCommandsEnabled(false);
    pageShownLabel->setText(QStringLiteral("1"));
    pageCountLabel->setText(QStringLiteral("0"));
    setBarEnabled(false);
    inputError_ = false;
}

void ParameterPrintWindow::setBarEnabled(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(backButton), static_cast<QWidget*>(nextButton),
                       static_cast<QWidget*>(zoomCombo), static_cast<QWidget*>(printButton),
                       static_cast<QWidget*>(cancelButton)})
        w->setEnabled(enabled);
}

void ParameterPrintWindow::layOut() {
    WaitCursor wait;
    report::ParamReportData data;
    data.title = printText("Title", "KVR260X");
    data.headers = headers_;
    data.typeForm = links_.typeForm ? links_.typeForm() : QString();
    data.printedAt = currentTime ? currentTime() : QDateTime::currentDateTime();
    if (links_.source)
        data.rows = report::buildParamReportRows(links_.source());
    const report::PageSetup setup = pageSetup_.pageSetup();
    // The face is settled before anything is measured, so that the first layout is centred
    // with the face it prints in.
    const report::ParamReportFaces faces = report::paramReportFaces(setup.face);
    pages_ = std::make_shared<const report::ReportPages>(report::layoutParamReport(data, setup, faces));
    pageCountLabel->setText(QString::number(pages_->pageCount()));
}

void ParameterPrintWindow::startPreview() {
    {
        Pass pass(*this);
        pageCountLabel->setText(QStringLiteral("0"));
        layOut();
        preview_->setPages(pages_, 0);
        pageShownLabel->setText(QString::number(preview_->currentPage() + 1));
    }
    showZoom();
}

void ParameterPrintWindow::showZoom() {
    const QSignalBlocker block(zoomCombo);
    zoomCombo->setEditText(QString::number(preview_->zoom()));
    lastZoom_ = preview_->zoom();
}

void ParameterPrintWindow::printReport() {
    Pass pass(*this);
    pageCountLabel->setText(QStringLiteral("0"));
    printingLabel->show();
    printingLabel->repaint();
    struct HideLabel {
        QLabel* label;
        ~HideLabel() { label->hide(); }
    } hide{printingLabel};
    layOut();
    preview_->setPages(pages_, preview_->currentPage());
    sendToPrinter();
}

bool ParameterPrintWindow::sendToPrinter() {
    const QString title = pages_->document().title;
    QString pdf = printToPdf;
    QPrinter* printer = links_.printer;
    const bool toFile = printer && printer->outputFormat() == QPrinter::PdfFormat;
    if (pdf.isEmpty() && !toFile && QPrinterInfo::availablePrinterNames().isEmpty()) {
        // No printer: say so, and offer a PDF file rather than a print that goes nowhere.
        const BoxAnswer a = Prompter::instance().message(
            printText("NoPrinter", "No printer is installed. Save the pages as a PDF file instead?"),
            message(0), BoxIcon::Warning, BoxButtons::YesNo, this);
        if (a != BoxAnswer::Yes)
            return false;
        pdf = Prompter::instance().saveFile(title, QString(), QStringLiteral("PDF (*.pdf)|*.pdf"), 1,
                                            title + QStringLiteral(".pdf"), this);
        if (pdf.isEmpty())
            return false;
    }
    std::unique_ptr<QPrinter> own;
    if (!pdf.isEmpty() || !printer) {
        own = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!pdf.isEmpty()) {
            own->setOutputFormat(QPrinter::PdfFormat);
            own->setOutputFileName(pdf);
        }
        printer = own.get();
    }
    QString error;
    if (pages_->print(*printer, &error))
        return true;
    Prompter::instance().message(printText("PrintFailed", "The pages could not be printed.") + u'\n' + error,
                                 message(0), BoxIcon::Error, BoxButtons::Ok, this);
    return false;
}

bool ParameterPrintWindow::checkZoom() {
    const report::EntryCheck c = report::checkZoom(zoomCombo->currentText(), lastZoom_);
    if (c.passed()) {
        inputError_ = false;
        return true;
    }
    const bool wasChecking = checking_;
    checking_ = true;
    Prompter::instance().message(message(kMsgOutOfRange), message(0), BoxIcon::Error, BoxButtons::Ok, this);
    // The preview follows the text, so it shows the limit too.
    zoomCombo->setEditText(c.replacement);
    if (isVisible())
        zoomCombo->setFocus();
    checking_ = wasChecking;
    inputError_ = true;
    return false;
}

bool ParameterPrintWindow::FormCloseQuery() {
    if (producing_)
        return false;
    checking_ = true;
    const bool ok = checkZoom();
    checking_ = false;
    return ok;
}

void ParameterPrintWindow::FormClose() {
    if (links_.setPrintCommandsEnabled)
        links_.setPrintCommandsEnabled(true);
    preview_->setCurrentPage(0);
}

bool ParameterPrintWindow::eventFilter(QObject* watched, QEvent* e) {
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

void ParameterPrintWindow::showEvent(QShowEvent* e) {
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void ParameterPrintWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && links_.clearParaTableAct)
        links_.clearParaTableAct();
    QDialog::changeEvent(e);
}

void ParameterPrintWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (zoomCombo) {
        const QSignalBlocker block(zoomCombo);
        zoomCombo->setEditText(QString::number(preview_->zoom()));
    }
}

void ParameterPrintWindow::closeEvent(QCloseEvent* e) {
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
    QDialog::reject();
}

void ParameterPrintWindow::reject() {
    close();
}

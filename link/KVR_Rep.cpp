#include "link/KVR_Rep.h"

#include "app/Globals.h"
#include "app/Options.h"
#include "link/Working.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

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

TResultForm1* ResultForm1 = nullptr;

MainWindowLinks& mainWindowLinks() {
    static MainWindowLinks links;
    return links;
}

namespace {

QString languageFile() {
    return Paths::resolvedOrAsGiven(globals().LanguageIniPath);
}

void showCannotCreate(const QString& path) {
    Prompter::instance().message(QStringLiteral("Cannot create file %1.").arg(path),
                                 QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok);
}

} // namespace

void ResultText::replaceFirstLine(const QString& line) {
    if (ResultDisp.isEmpty())
        ResultDisp << line;
    else
        ResultDisp[0] = line;
}

QString automaticResultFileName(const QString& folder, const QDateTime& when) {
    const QString name = QStringLiteral("%1d%2h%3m%4s.txt")
                             .arg(when.date().day())
                             .arg(when.time().hour())
                             .arg(when.time().minute())
                             .arg(when.time().second());
    return Paths::join(folder, name);
}

ResultTexts ResultTexts::forMode(int transferMode) {
    const IniFile lang(languageFile());
    auto rep = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("WorkingRep"), QLatin1String(key), QLatin1String(def));
    };
    ResultTexts t;
    switch (transferMode) {
    case kModeImport:
        t.caption = rep("FormIm", "Import Result");
        break;
    case kModeExport:
        t.caption = rep("FormEx", "Export Result");
        break;
    case kModeComparison:
        t.caption = rep("FormComp", "Comparison Result");
        break;
    case kModeInverterInfo:
        t.caption = rep("FormInfo", "Inverter Infomation");
        break;
    default:
        t.caption = rep("FormTrip", "Trip Information");
        break;
    }
    t.printButton = rep("Button1", "Print");
    t.saveButton = rep("Button2", "Save");
    t.filter = transferMode == kModeInverterInfo ? rep("SaveFile2", "Inverter Infomation (*.txt)|*.txt")
                                                 : rep("SaveFile1", "Communication Result (*.txt)|*.txt");
    t.saveTitle =
        lang.readString(QStringLiteral("Main"), QStringLiteral("Menu14"), QStringLiteral("Save As"));
    t.printTitle = rep("Title", "KVR260X");
    return t;
}

bool SaveResultLines(const QStringList& lines, int transferMode, const QDateTime& now, QWidget* parent) {
    const Globals& g = globals();
    const CheckOption& autoSave = options().ParaSkipSave;
    QString path;
    if (autoSave.enabled() && autoSave.checked() && transferMode != kModeInverterInfo) {
        path = automaticResultFileName(g.ProgramFolder, now);
    } else {
        const ResultTexts t = ResultTexts::forMode(transferMode);
        path = Prompter::instance().saveFile(t.saveTitle, g.ProgramFolder, t.filter, 1, QString(), parent);
        if (path.isEmpty())
            return false;
        if (!QFileInfo(path).fileName().contains(u'.'))
            path += QStringLiteral(".txt");
    }
    WaitCursor wait;
    if (!TextFile::writeLines(path, lines)) {
        // Reported, and the caller (the transfer engine's end of run) goes on.
        showCannotCreate(path);
        return false;
    }
    return true;
}

// ---- Window -------------------------------------------------------------------------------

TResultForm1::TResultForm1(QWidget* /*owner*/) : QDialog(nullptr) {
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
    PopupMenu1 = new QMenu(this);
    PopRepCopy = PopupMenu1->addAction(QStringLiteral("Copy"));
    PopRepCopy->setShortcut(QKeySequence::Copy);
    connect(PopRepCopy, &QAction::triggered, this, [this] { PopRepCopyClick(); });
    connect(ResultDisp, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->exec(ResultDisp->mapToGlobal(at)); });
    top->addWidget(ResultDisp);
    auto* buttons = new QHBoxLayout;
    Button1 = new QPushButton(this);
    Button2 = new QPushButton(this);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    top->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    resize(560, kMinHeight);
    ResultForm1 = this;
}

TResultForm1::~TResultForm1() {
    if (ResultForm1 == this)
        ResultForm1 = nullptr;
}

void TResultForm1::showText() {
    ResultDisp->setPlainText(text_.ResultDisp.join(u'\n'));
}

void TResultForm1::addLine(const QString& line) {
    text_.addLine(line);
    if (shown_)
        ResultDisp->appendPlainText(line);
}

void TResultForm1::replaceFirstLine(const QString& line) {
    if (shown_)
        text_.ResultDisp = lines();
    text_.replaceFirstLine(line);
    if (shown_)
        showText();
}

QStringList TResultForm1::lines() const {
    if (!shown_)
        return text_.ResultDisp;
    const QString text = ResultDisp->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void TResultForm1::place() {
    QWidget* main = mainWindowLinks().window;
    if (!main)
        return;
    const QRect f = main->frameGeometry();
    const int h = std::max(480 - f.height(), kMinHeight);
    move(f.left(), f.top() + f.height());
    setMinimumHeight(h); // first: a taller earlier minimum would stop the resize
    resize(width(), h);
}

void TResultForm1::FormShow() {
    place();
    const ResultTexts t = ResultTexts::forMode(int(TransferMode));
    setWindowTitle(t.caption);
    Button1->setText(t.printButton);
    Button2->setText(t.saveButton);
    printTitle_ = t.printTitle;
    if (!shown_) {
        showText();
        shown_ = true;
    }
    ResultDisp->moveCursor(QTextCursor::Start);
    ResultDisp->setFocus();
    const auto& printEnabled = mainWindowLinks().printEnabled;
    Button1->setEnabled(!printEnabled || printEnabled());
}

void TResultForm1::showEvent(QShowEvent* e) {
    FormShow();
    QDialog::showEvent(e);
}

void TResultForm1::FormActivate() {
    if (mainWindowLinks().clearParaTableAct)
        mainWindowLinks().clearParaTableAct();
}

void TResultForm1::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(e);
}

void TResultForm1::Button1Click() {
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

void TResultForm1::Button2Click() {
    SaveResultLines(lines(), int(TransferMode), currentTime ? currentTime() : QDateTime::currentDateTime(),
                    this);
}

void TResultForm1::PopRepCopyClick() {
    ResultDisp->copy();
}

#include "ui/ParameterPrintWindow.h"

#include "platform/IniFile.h"
#include "ui/PageSetupWindow.h"
#include "ui/ReportPreview.h"

#include <QLabel>
#include <QPushButton>

ParameterPrintWindow::ParameterPrintWindow(PageSetupWindow& pageSetup, PrintWindowLinks links,
                                           QWidget* parent)
    : ReportPrintWindow({"PrintWindow", "Label6", "Button2", "Button3"}, links, parent),
      pageSetup_(pageSetup), links_(std::move(links)) {
    buildPaging();
}

ParameterPrintWindow::~ParameterPrintWindow() = default;

void ParameterPrintWindow::buildPaging() {
    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, bar());
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, bar());
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setFixedWidth(28);
        return b;
    };
    addBarSpacing(16);
    backButton = button("Back", QStringLiteral("<"));
    addToBar(backButton);
    pageShownLabel = label("Label4", QStringLiteral("1"));
    pageShownLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pageShownLabel->setMinimumWidth(32);
    addToBar(pageShownLabel);
    addToBar(label("", QStringLiteral("/")));
    pageCountLabel = label("Label5", QStringLiteral("0"));
    pageCountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pageCountLabel->setMinimumWidth(32);
    addToBar(pageCountLabel);
    addToBar(label("Label3", QStringLiteral("page")));
    nextButton = button("Next", QStringLiteral(">"));
    addToBar(nextButton);
    addPassControl(backButton);
    addPassControl(nextButton);

    connect(backButton, &QPushButton::clicked, this,
            [this] { preview()->setCurrentPage(preview()->currentPage() - 1); });
    connect(nextButton, &QPushButton::clicked, this,
            [this] { preview()->setCurrentPage(preview()->currentPage() + 1); });
    connect(preview(), &ReportPreview::currentPageChanged, this,
            [this](int page) { pageShownLabel->setText(QString::number(page + 1)); });
}

void ParameterPrintWindow::createWithTexts(const QString& languageIniPath) {
    createWindow(languageIniPath);
    const IniFile ini(languageIniPath);
    findChild<QLabel*>(QStringLiteral("Label3"))
        ->setText(ini.readString(QStringLiteral("Print"), "Label3", "page"));
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

void ParameterPrintWindow::resetForShowing() {
    if (links_.setPrintCommandsEnabled)
        links_.setPrintCommandsEnabled(false);
    pageShownLabel->setText(QStringLiteral("1"));
    pageCountLabel->setText(QStringLiteral("0"));
    ReportPrintWindow::resetForShowing();
}

report::ReportDocument ParameterPrintWindow::layOut() {
    report::ParamReportData data;
    data.title = printText("Title", "KVR260X");
    data.headers = headers_;
    data.typeForm = links_.typeForm ? links_.typeForm() : QString();
    data.printedAt = now();
    if (links_.source)
        data.rows = report::buildParamReportRows(links_.source());
    const report::PageSetup setup = pageSetup_.pageSetup();
    // The face is settled before anything is measured, so that the first layout is centred
    // with the face it prints in.
    const report::ParamReportFaces faces = report::paramReportFaces(setup.face);
    return report::layoutParamReport(data, setup, faces);
}

void ParameterPrintWindow::passStarted() {
    pageCountLabel->setText(QStringLiteral("0"));
}

void ParameterPrintWindow::pagesReady() {
    pageCountLabel->setText(QString::number(pages()->pageCount()));
    pageShownLabel->setText(QString::number(preview()->currentPage() + 1));
}

void ParameterPrintWindow::reenableCommands() {
    if (links_.setPrintCommandsEnabled)
        links_.setPrintCommandsEnabled(true);
    preview()->setCurrentPage(0);
}

#pragma once
// The parameter print window: the printed parameter list page by page, with zoom, page
// turning and Print. Every preview and every print lays the report out afresh from the page
// set-up and the table's rows at that moment. While it is shown the main window's print
// commands are disabled.
#include "report/ParamReport.h"
#include "ui/ReportPrintWindow.h"

class PageSetupWindow;

// What the window needs of the rest of the program; empty members are skipped.
struct PrintWindowLinks : ReportWindowLinks {
    // The main window's Page Setup, Printer Setup and Print commands and their tool buttons:
    // disabled while this window is shown.
    std::function<void(bool enabled)> setPrintCommandsEnabled;
    // The parameters as the table holds them now, with its views.
    std::function<report::ParamReportSource()> source;
    // The selected drive type followed by its form.
    std::function<QString()> typeForm;
};

class ParameterPrintWindow : public ReportPrintWindow {
    Q_OBJECT
public:
    ParameterPrintWindow(PageSetupWindow& pageSetup, PrintWindowLinks links, QWidget* parent = nullptr);
    ~ParameterPrintWindow() override;

    // Creation: placement, texts of the window and the column headers of the report.
    void createWithTexts(const QString& languageIniPath);
    // What the main window's Print command does: shows the window, then the preview.
    void showAndPreview();

    void reenableCommands() override;

    // Controls of the bottom bar (object names as the language file and the tests know them):
    // zoomCombo "ComboBox1", printingLabel "Label6", printButton "Button2", cancelButton
    // "Button3", and these.
    QLabel* pageShownLabel = nullptr;  // "Label4"
    QLabel* pageCountLabel = nullptr;  // "Label5"
    QPushButton* backButton = nullptr; // "Back"
    QPushButton* nextButton = nullptr; // "Next"

protected:
    report::ReportDocument layOut() override;
    void passStarted() override;
    void pagesReady() override;
    void resetForShowing() override;

private:
    void buildPaging();

    PageSetupWindow& pageSetup_;
    PrintWindowLinks links_;
    report::ParamRowTexts headers_{report::ParamReportData().headers};
};

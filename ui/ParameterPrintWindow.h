#pragma once
// The parameter print window: the printed parameter list page by page, with zoom, page
// turning and Print. One object for the run, not modal. Every preview and every print lays
// the report out afresh from the page set-up and the table's rows at that moment.
//
// Producing pages is synchronous; while it runs the bottom bar is disabled and the window
// refuses to close, and every way out of a run (also an exception) ends that state.
#include "report/ParamReport.h"

#include <QDateTime>
#include <QDialog>
#include <QRect>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class ReportPreview;
class PageSetupWindow;

// What the window needs of the rest of the program; empty members are skipped.
struct PrintWindowLinks {
    std::function<QRect()> mainFrame;        // placement: under this frame
    std::function<void()> clearParaTableAct; // on activation
    // The main window's Page Setup, Printer Setup and Print commands and their tool buttons:
    // disabled while this window is shown.
    std::function<void(bool enabled)> setPrintCommandsEnabled;
    // Message n of the language file (0 is the caption of every box).
    std::function<QString(int)> message;
    // The parameters as the table holds them now, with its views.
    std::function<report::ParamReportSource()> source;
    // The selected drive type followed by its form.
    std::function<QString()> typeForm;
    // The program's printer (its printer set-up chooses it); null: the default printer.
    QPrinter* printer = nullptr;
};

class ParameterPrintWindow : public QDialog {
    Q_OBJECT
public:
    ParameterPrintWindow(PageSetupWindow& pageSetup, PrintWindowLinks links, QWidget* parent = nullptr);
    ~ParameterPrintWindow() override;

    // Creation: placement, texts of the window and the column headers of the report.
    void FormCreate(const QString& languageIniPath);
    // What the main window's Print command does: shows the window, then the preview.
    void showAndPreview();
    // The report laid out afresh into the preview, from its first page.
    void startPreview();
    // Print: the report once more, to the printer (or a PDF file).
    void printReport();

    // The time the date and time items print; tests replace it.
    std::function<QDateTime()> currentTime = [] { return QDateTime::currentDateTime(); };
    // When set, Print writes this PDF file instead of asking for a printer (tests).
    QString printToPdf;

    bool FormCloseQuery();
    void FormClose();
    // The zoom entry's check; false when it was refused.
    bool checkZoom();

    ReportPreview* preview() const { return preview_; }
    const report::ReportPages* pages() const { return pages_.get(); }
    bool producingPages() const { return producing_; }
    bool inputError() const { return inputError_; }
    int lastZoom() const { return lastZoom_; }

    // Controls of the bottom bar (object names as the language file and the tests know them).
    QComboBox* zoomCombo = nullptr;      // "ComboBox1"
    QLabel* pageShownLabel = nullptr;    // "Label4"
    QLabel* pageCountLabel = nullptr;    // "Label5"
    QLabel* printingLabel = nullptr;     // "Label6"
    QPushButton* backButton = nullptr;   // "Back"
    QPushButton* nextButton = nullptr;   // "Next"
    QPushButton* printButton = nullptr;  // "Button2"
    QPushButton* cancelButton = nullptr; // "Button3"

    static constexpr int kMinWidth = 639, kMinHeight = 403;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void reject() override;

private:
    class Pass;
    void buildControls();
    void FormShow();
    void setBarEnabled(bool enabled);
    // Lays the report out into pages_; false when there was nothing to lay out with.
    void layOut();
    void showZoom();
    bool sendToPrinter();
    QString message(int n) const;
    QString printText(const char* key, const char* def) const;

    PageSetupWindow& pageSetup_;
    PrintWindowLinks links_;
    ReportPreview* preview_ = nullptr;
    std::shared_ptr<const report::ReportPages> pages_;
    QString languageIniPath_;
    report::ParamRowTexts headers_{report::ParamReportData().headers};
    bool producing_ = false;
    bool inputError_ = false;
    bool checking_ = false;
    int lastZoom_ = 100;
};

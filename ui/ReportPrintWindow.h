#pragma once
// What the print windows share: the preview of a report's pages filling the window and a
// bottom bar with the zoom, a "Printing..." label, Print and Cancel. One object for the run,
// not modal. Every preview and every print lays the window's report out afresh.
//
// Producing pages is synchronous; while it runs the bar is disabled and the window refuses
// to close, and every way out of a run (also an exception) ends that state. A print with no
// printer installed says so and offers a PDF file; a print that fails says so.
#include "core/Messages.h"
#include "report/BandReport.h"

#include <QDateTime>
#include <QDialog>
#include <QRect>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPrinter;
class QPushButton;
class ReportPreview;

// What a print window needs of the rest of the program; empty members are skipped.
struct ReportWindowLinks {
    std::function<QRect()> mainFrame;        // placement: under this frame
    std::function<void()> clearParaTableAct; // on activation
    // A message of the language file (Caption is the caption of every box).
    std::function<QString(MsgId)> message;
    // The program's printer (its printer set-up chooses it); null: the default printer.
    QPrinter* printer = nullptr;
};

class ReportPrintWindow : public QDialog {
    Q_OBJECT
public:
    ~ReportPrintWindow() override;

    // The report laid out afresh into the preview, from its first page.
    void startPreview();
    // Print: the report laid out once more, shown and sent to the printer (or a PDF file).
    // False when nothing was printed.
    bool printReport();

    // The time the date and time items print; tests replace it.
    std::function<QDateTime()> currentTime = [] { return QDateTime::currentDateTime(); };
    // When set, Print writes this PDF file instead of asking for a printer (tests).
    QString printToPdf;

    bool mayClose();
    // The zoom entry's check; false when it was refused.
    bool checkZoom();

    ReportPreview* preview() const { return preview_; }
    const report::ReportPages* pages() const { return pages_.get(); }
    bool producingPages() const { return producing_; }
    bool inputError() const { return inputError_; }
    int lastZoom() const { return lastZoom_; }

    QComboBox* zoomCombo = nullptr;      // "ComboBox1"
    QLabel* printingLabel = nullptr;     // shown while printing
    QPushButton* printButton = nullptr;  // "Print"
    QPushButton* cancelButton = nullptr; // "Cancel"

    static constexpr int kMinWidth = 639, kMinHeight = 403;

protected:
    // Object names of the window and of the controls whose names differ between windows.
    struct ControlNames {
        const char* window;
        const char* printingLabel;
        const char* printButton;
        const char* cancelButton;
    };
    ReportPrintWindow(const ControlNames& names, ReportWindowLinks links, QWidget* parent);

    // The window's report with the data and the page set-up of this moment.
    virtual report::ReportDocument layOut() = 0;
    // Hooks around a pass: it has begun; its pages are in the preview.
    virtual void passStarted() {}
    virtual void pagesReady() {}
    // Shown: the bar waits for the pages, the zoom check starts afresh.
    virtual void resetForShowing();
    // Closed (the close was allowed).
    virtual void reenableCommands() {}

    // Creation's shared part: placement under the main window and the texts of the bar from
    // the language file's section "Print".
    void createWindow(const QString& languageIniPath);
    // A window's own controls go into the bar after the zoom, in the order added.
    QWidget* bar() const { return bar_; }
    void addToBar(QWidget* w);
    void addBarSpacing(int width);
    // Controls disabled while pages are produced, besides the zoom and the two buttons.
    void addPassControl(QWidget* w) { passControls_.push_back(w); }

    QString message(MsgId id) const;
    QString printText(const char* key, const char* def) const;
    const QString& languageIniPath() const { return languageIniPath_; }
    QDateTime now() const { return currentTime ? currentTime() : QDateTime::currentDateTime(); }

    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void reject() override;

private:
    class Pass;
    void buildControls(const ControlNames& names);
    void setBarEnabled(bool enabled);
    void layOutPages();
    void showZoom();
    bool sendToPrinter();

    ReportWindowLinks links_;
    class UnderMainWindow* placement_ = nullptr;
    ReportPreview* preview_ = nullptr;
    QWidget* bar_ = nullptr;
    QHBoxLayout* barRow_ = nullptr;
    int barInsertAt_ = 0;
    std::vector<QWidget*> passControls_;
    std::shared_ptr<const report::ReportPages> pages_;
    QString languageIniPath_;
    bool producing_ = false;
    bool inputError_ = false;
    bool checking_ = false;
    int lastZoom_ = 100;
};

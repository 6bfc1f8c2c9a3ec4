#pragma once
// The monitor print window: the printed page of a monitor run, with zoom and Print. The
// monitor window's Print button hands it the run's data (showAndPreview); every preview and
// every print lays the page out afresh from that data and the page set-up of the moment, so
// the two always agree.
#include "report/MonitorReport.h"
#include "ui/ReportPrintWindow.h"

class PageSetupWindow;

class MonitorPrintWindow : public ReportPrintWindow {
    Q_OBJECT
public:
    MonitorPrintWindow(PageSetupWindow& pageSetup, ReportWindowLinks links, QWidget* parent = nullptr);
    ~MonitorPrintWindow() override;

    // Creation: placement, texts of the window and the captions of the report.
    void createWithTexts(const QString& languageIniPath);
    // What the monitor window's Print button does: the window shown (not modal) and the
    // run's page previewed. The caller fills typeForm, settings, rows and chart; title,
    // captions and the time are the window's.
    void showAndPreview(report::MonitorReportData data);

    const report::MonitorReportData& data() const { return data_; }

    // Controls of the bottom bar: zoomCombo "ComboBox1", printingLabel "Label3", printButton
    // "Button1", cancelButton "Button2".

protected:
    report::ReportDocument layOut() override;

private:
    PageSetupWindow& pageSetup_;
    report::MonitorReportData data_;
};

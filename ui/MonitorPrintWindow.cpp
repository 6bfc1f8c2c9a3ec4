#include "ui/MonitorPrintWindow.h"

#include "platform/IniFile.h"
#include "ui/PageSetupWindow.h"

MonitorPrintWindow::MonitorPrintWindow(PageSetupWindow& pageSetup, ReportWindowLinks links, QWidget* parent)
    : ReportPrintWindow({"PrintWindowM", "Label3", "Button1", "Button2"}, std::move(links), parent),
      pageSetup_(pageSetup) {}

MonitorPrintWindow::~MonitorPrintWindow() = default;

void MonitorPrintWindow::createWithTexts(const QString& languageIniPath) {
    createWindow(languageIniPath);
    const IniFile ini(languageIniPath);
    report::MonitorReportCaptions& c = data_.captions;
    const report::MonitorReportCaptions defaults;
    // The first column's caption is fixed; the key of the third is written in lower case.
    static const char* const columnKeys[report::MC_Count] = {nullptr,  "Label2", "label3", "Label4", "Label5",
                                                             "Label6", "Label7", "Label8", "Label9"};
    for (int k = 1; k < report::MC_Count; ++k)
        c.columns[size_t(k)] = ini.readString(QStringLiteral("PrintMon"), QLatin1String(columnKeys[k]),
                                              defaults.columns[size_t(k)]);
    const QString monitor = QStringLiteral("Monitor");
    c.time = ini.readString(monitor, "Label22", defaults.time);
    c.timeUnit = ini.readString(monitor, "Label23", defaults.timeUnit);
    c.scope = ini.readString(monitor, "Label24", defaults.scope);
    c.triggerSource = ini.readString(monitor, "Label81", defaults.triggerSource);
    c.triggerSlope = ini.readString(monitor, "Label82", defaults.triggerSlope);
    c.triggerLevel = ini.readString(monitor, "Label83", defaults.triggerLevel);
    c.triggerDelay = ini.readString(monitor, "Label84", defaults.triggerDelay);
}

void MonitorPrintWindow::showAndPreview(report::MonitorReportData data) {
    data.captions = data_.captions;
    data_ = std::move(data);
    show();
    raise();
    startPreview();
}

report::ReportDocument MonitorPrintWindow::layOut() {
    data_.title = printText("Title", "KVR260X");
    data_.printedAt = now();
    const report::PageSetup setup = pageSetup_.pageSetup();
    // The face is settled before anything is measured.
    return report::layoutMonitorReport(data_, setup, report::printedFace(setup.face));
}

// Printing and the monitor's files as the start-up wires them: Page Setup turns the printer,
// Print previews the parameter list and prints it to PDF while the print commands wait, the
// printer check without a printer turns them off (the monitor's Print too), and a monitor run
// is saved, exported, drawn, read back and printed from the monitor window's buttons.
#include "shell/StartUpFixture.h"
#include "support/SimulatedDriveProgram.h"

#include "core/ParameterStore.h"
#include "link/CommLink.h"
#include "monitor/MonitorRun.h"
#include "platform/TextFile.h"
#include "support/PdfReadBack.h"
#include "ui/ChartWidget.h"
#include "ui/MonitorPrintWindow.h"
#include "ui/MonitorWindow.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterPrintWindow.h"
#include "ui/ReportPreview.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimer>

namespace {

class PrintWiring : public StartUpTestBase, protected SimulatedDriveProgram {
protected:
    void SetUp() override {
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n");
        ASSERT_TRUE(loadDrive(folder.path()));
        ASSERT_TRUE(startProgram({folder.path(), folder.path(), {}}, [](MainWindow& m) {
            choose(m.context(), QStringLiteral("HXA1"), QStringLiteral("V110"), QStringLiteral("-2004"));
        }));
        program->showMain();
    }
    void TearDown() override { program.reset(); }

    MainWindow& main() { return *program->main(); }
    MonitorWindow& monitor() { return *program->monitor(); }
    std::vector<QAction*> printCommands() {
        // Printer Setup's item is never shown, so never enabled either.
        return {main().item(MainCommand::PageSetup), main().button(MainCommand::PageSetup),
                main().item(MainCommand::Print), main().button(MainCommand::Print)};
    }
    static bool havePdfTools() {
        return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
    }
};

TEST_F(PrintWiring, PageSetupTurnsThePrinterAndPrintPreviewsAndPrintsTheParameterList) {
    for (QAction* a : printCommands())
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    PageSetupWindow& setup = *program->pageSetup();
    QTimer::singleShot(0, &setup, [&setup] {
        setup.landscapeRadio->click();
        setup.close();
    });
    main().button(MainCommand::PageSetup)->trigger();
    EXPECT_FALSE(setup.isVisible());
    EXPECT_EQ(program->printer()->pageLayout().orientation(), QPageLayout::Landscape);
    EXPECT_EQ(IniFile(folder.settingsIniPath()).readString(QStringLiteral("Page"), QStringLiteral("PSet1")),
              QStringLiteral("0"));

    main().button(MainCommand::Print)->trigger();
    ParameterPrintWindow& w = *program->printWindow();
    ASSERT_TRUE(w.isVisible());
    ASSERT_NE(w.pages(), nullptr);
    EXPECT_GE(w.pages()->pageCount(), 1);
    EXPECT_FALSE(w.pages()->document().format.portrait);
    // While the window is up the print commands wait for it.
    for (QAction* a : printCommands())
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    main().item(MainCommand::PageSetup)->trigger(); // gated: nothing opens

    w.printToPdf = folder.filePath(QStringLiteral("list.pdf"));
    ASSERT_TRUE(w.printReport());
    if (havePdfTools()) {
        const QStringList pages = PdfReadBack::pageTexts(w.printToPdf);
        ASSERT_EQ(pages.size(), w.pages()->pageCount());
        const QString name = definitionText(program->context().drive.parameters[std::size_t(0)], PD_FName);
        EXPECT_TRUE(pages.value(0).contains(name)) << name.toStdString();
        const std::vector<QSizeF> sizes = PdfReadBack::pageSizes(w.printToPdf);
        ASSERT_FALSE(sizes.empty());
        EXPECT_GT(sizes[0].width(), sizes[0].height());
    }
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();

    // Print with the program's printer on a machine without printers: the user is told and
    // names a PDF file instead of being told the pages could not be printed.
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        w.printToPdf.clear();
        const QString pdf = folder.filePath(QStringLiteral("chosen.pdf"));
        prompter.answer(BoxAnswer::Yes);
        prompter.answerFile(pdf);
        EXPECT_TRUE(w.printReport());
        EXPECT_GT(QFileInfo(pdf).size(), 0);
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    }
    EXPECT_TRUE(w.close());
    for (QAction* a : printCommands())
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(PrintWiring, ThePrinterCheckWithoutAPrinterTurnsPrintingOffAndTheMonitorsPrintToo) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    program->options().checkPrinters.setChecked(true);
    main().FillPrinterList();
    EXPECT_TRUE(main().installedPrinters().isEmpty());
    for (QAction* a : printCommands())
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(monitor().printButton->isEnabled());
    EXPECT_TRUE(monitor().saveAsButton->isEnabled());
    main().button(MainCommand::Print)->trigger();
    EXPECT_FALSE(program->printWindow()->isVisible());
    // The print window's close does not turn them on behind the check's back.
    main().setPrintCommandsEnabled(true);
    EXPECT_FALSE(main().item(MainCommand::Print)->isEnabled());
}

TEST_F(PrintWiring, AMonitorRunIsSavedExportedDrawnReadBackAndPrinted) {
    main().button(MainCommand::MonitorChart)->trigger();
    MonitorWindow& mon = monitor();
    ASSERT_TRUE(mon.isVisible());
    mon.applyColoursAndConnect();
    int taken = 0;
    QObject::connect(&mon.run(), &MonitorRun::sampleTaken, &mon, [&] {
        if (++taken == 5)
            mon.stopMonitoring();
    });
    ASSERT_EQ(mon.startMonitoring(), RunEnd::Stopped);
    MonitorModel& m = mon.model();
    const int held = m.samples.size();
    ASSERT_GE(held, 4);
    EXPECT_TRUE(mon.openButton->isEnabled());
    EXPECT_TRUE(mon.printButton->isEnabled());
    std::vector<double> ch1;
    for (int p = 0; p < held; ++p)
        ch1.push_back(m.samples.unscaled(0, p));

    const QString dir = folder.filePath(QStringLiteral("runs"));
    QDir().mkpath(dir);
    // A name without an extension takes the chosen entry's.
    prompter.answerFile(dir + QStringLiteral("/trend"), 1);
    ASSERT_TRUE(mon.saveMonitorFileAs());
    EXPECT_EQ(program->context().recent.monitorName, QStringLiteral("trend.mon"));
    EXPECT_EQ(program->context().recent.monitorFolder, dir);
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(dir + QStringLiteral("/trend.mon"), lines));
    EXPECT_EQ(lines.size(), 19 + held);
    EXPECT_EQ(lines.value(1), QStringLiteral("HXA1"));
    EXPECT_TRUE(mon.windowTitle().endsWith(QStringLiteral("trend.mon")));

    // The name decides what is written, whatever the entry.
    for (const char* name : {"trend.csv", "trend.jpg", "trend.wmf", "trend.BMP"}) {
        prompter.answerFile(dir + u'/' + QLatin1String(name), 1);
        ASSERT_TRUE(mon.saveMonitorFileAs()) << name;
        EXPECT_GT(QFileInfo(dir + u'/' + QLatin1String(name)).size(), 0) << name;
    }
    ASSERT_TRUE(TextFile::readLines(dir + QStringLiteral("/trend.csv"), lines));
    EXPECT_EQ(lines.size(), 6 + held);
    const QImage jpeg(dir + QStringLiteral("/trend.jpg"));
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_GT(jpeg.width(), mon.chart->width()); // the legend widens the picture
    EXPECT_EQ(jpeg.height(), mon.chart->height());
    EXPECT_EQ(program->context().recent.monitorName, QStringLiteral("trend.BMP"));

    // Another set-up, then the file brings the record back.
    m.setChannelChecked(0, false);
    m.step(MonitorField::Multiplier, 1, 30);
    prompter.answerFile(dir + QStringLiteral("/trend.mon"));
    ASSERT_TRUE(mon.openMonitorFile());
    EXPECT_TRUE(m.channels[0].checked);
    EXPECT_FLOAT_EQ(m.channels[1].multiplier, 1.0f);
    ASSERT_EQ(m.samples.size(), held);
    EXPECT_EQ(m.lastPoint(), held - 1);
    for (int p = 0; p < held; ++p)
        EXPECT_FLOAT_EQ(float(m.samples.unscaled(0, p)), float(ch1[std::size_t(p)])) << p;
    EXPECT_TRUE(mon.windowTitle().endsWith(QStringLiteral("trend.mon (HXA1-2004)")));
    EXPECT_EQ(mon.rows[0].readout->text(), QStringLiteral("0"));

    // A damaged or oversized file says once what of it was left out; a line far too long is
    // refused before any of it is split or shown.
    QFile saved(dir + QStringLiteral("/trend.mon"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray whole = saved.readAll();
    const QByteArray lastRow = whole.mid(whole.lastIndexOf("\r\n", whole.size() - 3) + 2);
    const QByteArray rows = lastRow.repeated(SampleStore::kCapacity);
    const ProgramContext& context = program->context();
    const struct {
        const char* name;
        QByteArray bytes;
        bool opened;
        QString box;
        int held;
    } damaged[] = {
        {"long.mon", whole + QByteArray(100000, '9') + "\r\n", false, Msg(context, MsgId::MonitorLineTooLong),
         held},
        {"cut.mon", whole.chopped(5), true, Msg(context, MsgId::MonitorRowCutShort), held - 1},
        {"big.mon", whole + rows, true,
         Msg(context, MsgId::MonitorRowsLeftOut) + QStringLiteral(" %1").arg(held), SampleStore::kCapacity},
    };
    for (const auto& d : damaged) {
        const QString path = dir + u'/' + QLatin1String(d.name);
        ASSERT_TRUE(TextFile::writeBytes(path, d.bytes));
        prompter.clear();
        prompter.answerFile(path);
        EXPECT_EQ(mon.openMonitorFile(), d.opened) << d.name;
        EXPECT_EQ(prompter.texts(), QStringList{d.opened ? d.box : d.box + u'\n' + path}) << d.name;
        EXPECT_EQ(m.samples.size(), d.held) << d.name;
    }
    prompter.clear();
    prompter.answerFile(dir + QStringLiteral("/trend.mon"));
    ASSERT_TRUE(mon.openMonitorFile());

    // Print: the chart to the clipboard and the run's page to the print window.
    mon.printChart();
    MonitorPrintWindow& pw = *program->monitorPrint();
    ASSERT_TRUE(pw.isVisible());
    EXPECT_EQ(pw.data().typeForm, QStringLiteral("HXA1-2004"));
    EXPECT_EQ(pw.data().rows.size(), std::size_t(kMonitorChannels - (m.runState().watchAlarm ? 1 : 0) -
                                                 (m.runState().watchTrip ? 1 : 0)));
    EXPECT_EQ(pw.data().rows[0].texts[report::MC_State], QStringLiteral("ON"));
    EXPECT_EQ(pw.data().rows[0].texts[report::MC_Item], m.channels[0].itemText);
    EXPECT_EQ(pw.data().chart.size(), mon.chart->size());
    EXPECT_EQ(QApplication::clipboard()->image().size(), mon.chart->size());
    pw.printToPdf = dir + QStringLiteral("/chart.pdf");
    ASSERT_TRUE(pw.printReport());
    if (havePdfTools()) {
        const QString page = PdfReadBack::pageTexts(pw.printToPdf).value(0);
        EXPECT_TRUE(page.contains(QStringLiteral("HXA1-2004"))) << page.toStdString();
        EXPECT_TRUE(page.contains(m.channels[0].itemText)) << page.toStdString();
    }
    EXPECT_TRUE(pw.close());
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join(u'|').toStdString();
}

} // namespace

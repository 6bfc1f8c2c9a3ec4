// The page set-up and print windows offscreen, with the scripted prompter: the record read
// and written through the settings file, the entry checks as the user meets them, the
// sketch, the preview's paging and zoom, printing to PDF with and without a printer, the
// "still producing pages" state on every way out of a run, and the monitor's page with the
// chart as the chart draws it.
#include "ui/ChartWidget.h"
#include "ui/MonitorPrintWindow.h"
#include "ui/PageSetupWindow.h"
#include "ui/ParameterPrintWindow.h"
#include "ui/ReportPreview.h"

#include "monitor/SampleStore.h"
#include "monitor/SampleWindow.h"

#include "platform/IniFile.h"
#include "support/FileSizeLimit.h"
#include "support/PdfReadBack.h"
#include "support/ReportFixtures.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

QString messageText(MsgId id) {
    return QStringLiteral("msg%1").arg(msgNumber(id));
}

void pressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

void type(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

class PrintWindows : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        // The shipped English texts, alone: copying the whole program folder takes long.
        QFile shipped(shippedDataDir() + "/lng/English.ini");
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        language = folder.writeFile("lng/English.ini", shipped.readAll());
        settings = folder.settingsIniPath();
    }

    // The page set-up window as the program's start-up makes it.
    std::unique_ptr<PageSetupWindow> makeSetup(PageSetupLinks links = {}) {
        links.message = messageText;
        auto w = std::make_unique<PageSetupWindow>(std::move(links));
        w->loadTextsAndSettings(language, settings, "English");
        return w;
    }

    std::unique_ptr<ParameterPrintWindow> makePrint(PageSetupWindow& setup) {
        PrintWindowLinks links;
        links.message = messageText;
        links.source = [this] {
            if (duringPass)
                duringPass();
            return source;
        };
        links.typeForm = [] { return QStringLiteral("HXZ9-4037"); };
        links.setPrintCommandsEnabled = [this](bool on) { printCommands.push_back(on); };
        auto w = std::make_unique<ParameterPrintWindow>(setup, std::move(links));
        w->createWithTexts(language);
        w->currentTime = [] { return QDateTime(QDate(2026, 5, 7), QTime(9, 5, 3)); };
        return w;
    }

    std::unique_ptr<MonitorPrintWindow> makeMonitorPrint(PageSetupWindow& setup) {
        ReportWindowLinks links;
        links.message = messageText;
        auto w = std::make_unique<MonitorPrintWindow>(setup, std::move(links));
        w->createWithTexts(language);
        w->currentTime = [this] {
            if (duringPass)
                duringPass();
            return QDateTime(QDate(2026, 5, 7), QTime(9, 5, 3));
        };
        return w;
    }

    QStringList pageSection() const {
        const IniFile ini(settings);
        QStringList out;
        for (const QString& k : ini.keys("Page"))
            out << k + "=" + ini.readString("Page", k);
        return out;
    }

    ScriptedPrompter prompter;
    TempProgramFolder folder;
    QString language;
    QString settings;
    report::ParamReportSource source = ReportFixtures::longSource(150);
    std::function<void()> duringPass;
    std::vector<bool> printCommands;
};

// ---- Page set-up --------------------------------------------------------------------------

TEST_F(PrintWindows, PageSetupStartsWithTheDefaultsAndItsCloseWritesThem) {
    auto w = makeSetup();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(w->windowTitle(), "Page Setup");
    EXPECT_TRUE(w->dateCheck->isChecked());
    EXPECT_FALSE(w->timeCheck->isChecked());
    EXPECT_TRUE(w->typeFormCheck->isChecked());
    EXPECT_TRUE(w->pageNumberCheck->isChecked());
    EXPECT_FALSE(w->commentCheck->isChecked());
    EXPECT_FALSE(w->shipmentCheck->isChecked());
    EXPECT_TRUE(w->portraitRadio->isChecked());
    EXPECT_EQ(w->paperCombo->currentText(), "A4");
    EXPECT_EQ(w->cellHeightEdit->text(), "15");
    EXPECT_EQ(w->fontSizeCombo->currentText(), "8");
    EXPECT_FALSE(w->fontCombo->currentText().isEmpty()) << "the face the machine uses for the default";
    EXPECT_EQ(w->sketchLine(true, PageSetupWindow::Top).top(), 138);
    EXPECT_EQ(w->sketchLine(true, PageSetupWindow::Bottom).top(), 267);

    w->show();
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(prompter.boxes().empty());
    const QString facePos = QString::number(w->fontFamilies().indexOf(w->fontCombo->currentText()));
    EXPECT_EQ(pageSection(), QStringList({"Item1=1", "Item2=0", "Item3=1", "Item4=1", "Item5=0", "Item6=0",
                                          "ValCol=0", "PSet1=1", "PSet2=" + facePos, "PSet3=1", "PSetT=10",
                                          "PSetB=10", "PSetL=10", "PSetR=10", "PSet4=15", "PSet5=3"}));
}

TEST_F(PrintWindows, AStoredMarginOutOfRangeIsReportedAtCreationAndReset) {
    {
        IniFile ini(settings);
        ini.writeString("Page", "PSetT", "45");
        ini.writeInteger("Page", "PSet3", 0);
        ASSERT_TRUE(ini.flush());
    }
    auto w = makeSetup();
    ASSERT_EQ(prompter.texts(), QStringList({"msg41"}));
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(w->marginEdits[PageSetupWindow::Top]->text(), "30");
    EXPECT_EQ(w->pageSetup().pageFormat().paper, report::Paper::A3) << "the stored paper without a touch";
}

TEST_F(PrintWindows, MarginEntriesAsTheUserMeetsThem) {
    auto w = makeSetup();
    w->show();
    w->activateWindow();
    QApplication::processEvents();
    QLineEdit* top = w->marginEdits[PageSetupWindow::Top];

    // Leaving with a number out of range: the limit, the flag, the focus.
    top->setText("30.5");
    EXPECT_FALSE(w->checkMargin(PageSetupWindow::Top));
    EXPECT_EQ(top->text(), "30");
    EXPECT_TRUE(w->inputError());

    top->setText("12.5");
    EXPECT_TRUE(w->checkMargin(PageSetupWindow::Top));
    EXPECT_FALSE(w->inputError());
    EXPECT_EQ(w->sketchLine(true, PageSetupWindow::Top).top(), 128 + 12);

    // Enter with letters: message 67 and nothing thrown; the flag is left as it was.
    w->cellHeightEdit->setFocus();
    top->setFocus();
    top->setText("abc");
    pressEnter(top);
    EXPECT_EQ(prompter.texts(), QStringList({"msg41", "msg67"}));
    EXPECT_FALSE(w->inputError());
    EXPECT_EQ(top->text(), "abc");
    EXPECT_EQ(w->sketchLineColor(true, PageSetupWindow::Top), QColor(255, 0, 0)) << "focused: red";

    // Enter with a number in range moves the lines and keeps them red.
    top->setText("20");
    pressEnter(top);
    EXPECT_EQ(w->sketchLine(true, PageSetupWindow::Top).top(), 148);
    EXPECT_EQ(w->sketchLine(false, PageSetupWindow::Top).top(), 144 + 20);
    EXPECT_EQ(w->sketchLineColor(true, PageSetupWindow::Top), QColor(255, 0, 0));

    QLineEdit* right = w->marginEdits[PageSetupWindow::Right];
    right->setText("0");
    EXPECT_TRUE(w->checkMargin(PageSetupWindow::Right));
    EXPECT_EQ(w->sketchLine(true, PageSetupWindow::Right).left(), 572);
    EXPECT_EQ(w->sketchLine(false, PageSetupWindow::Right).left(), 590);
    EXPECT_EQ(w->sketchLineColor(true, PageSetupWindow::Right), QColor(Qt::black));
}

TEST_F(PrintWindows, PageSetupRefusesToCloseUntilEveryEntryPasses) {
    auto w = makeSetup();
    w->show();
    w->fontCombo->setEditText("");
    w->cellHeightEdit->setText("12.5");
    w->paperCombo->setEditText("A6");
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(prompter.texts(), QStringList({"msg17", "msg67", "msg67"}));
    EXPECT_FALSE(IniFile(settings).sectionExists("Page")) << "nothing written while refused";

    prompter.clear();
    w->fontCombo->setEditText(w->fontFamilies().value(0));
    w->cellHeightEdit->setText("31");
    w->paperCombo->setEditText("B4");
    EXPECT_FALSE(w->close()) << "31 is put back as 30, and this close is refused";
    EXPECT_EQ(prompter.texts(), QStringList({"msg41"}));
    EXPECT_TRUE(w->close());
    EXPECT_EQ(IniFile(settings).readString("Page", "PSet4"), "30");
    EXPECT_EQ(IniFile(settings).readString("Page", "PSet3"), "3");
}

TEST_F(PrintWindows, OrientationColourAndComment) {
    bool waiting = true;
    PageSetupLinks links;
    links.commentWaiting = [&] { return std::exchange(waiting, false); };
    links.waitingComment = [] { return QStringLiteral("Line 3"); };
    auto w = makeSetup(links);

    w->landscapeRadio->click();
    EXPECT_FALSE(w->sketchShowsPortrait());
    EXPECT_FALSE(w->pageSetup().portrait);

    prompter.answerColor(true, QColor(0, 0x80, 0xFF));
    w->valueColorButton->click();
    EXPECT_EQ(w->pageSetup().valueColor, 0xFF8000);

    w->show();
    EXPECT_EQ(w->comment(), "Line 3") << "taken over once";
    w->hide();
    w->setComment("edited");
    w->show();
    EXPECT_EQ(w->comment(), "edited");

    // 90 characters hold for typing; a longer comment from a file stays whole.
    w->commentEdit->setFocus();
    w->setComment(QString(90, u'a'));
    w->commentEdit->end(false);
    type(w->commentEdit, "b");
    EXPECT_EQ(w->comment(), QString(90, u'a'));
    w->setComment(QString(120, u'c'));
    w->commentEdit->end(false);
    type(w->commentEdit, "d");
    EXPECT_EQ(w->comment(), QString(120, u'c'));
    w->setComment("short");
    w->commentEdit->end(false);
    type(w->commentEdit, "er");
    EXPECT_EQ(w->comment(), "shorter");
}

// ---- Print window ---------------------------------------------------------------------------

TEST_F(PrintWindows, PreviewShowsThePagesAndLocksThePrintCommandsWhileOpen) {
    auto setup = makeSetup();
    auto w = makePrint(*setup);
    w->showAndPreview();
    ASSERT_NE(w->pages(), nullptr);
    const int pages = w->preview()->pageCount();
    EXPECT_GT(pages, 1);
    EXPECT_EQ(w->pageCountLabel->text(), QString::number(pages));
    EXPECT_EQ(w->pageShownLabel->text(), "1");
    EXPECT_EQ(printCommands, std::vector<bool>({false}));
    EXPECT_FALSE(w->producingPages());
    for (QWidget* c : {static_cast<QWidget*>(w->backButton), static_cast<QWidget*>(w->nextButton),
                       static_cast<QWidget*>(w->zoomCombo), static_cast<QWidget*>(w->printButton),
                       static_cast<QWidget*>(w->cancelButton)})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    EXPECT_EQ(w->zoomCombo->currentText(), "100");

    w->backButton->click();
    EXPECT_EQ(w->pageShownLabel->text(), "1");
    for (int i = 0; i < pages + 2; ++i)
        w->nextButton->click();
    EXPECT_EQ(w->pageShownLabel->text(), QString::number(pages)) << "the last page stays";

    w->cancelButton->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(printCommands, std::vector<bool>({false, true}));
    EXPECT_EQ(w->preview()->currentPage(), 0);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(PrintWindows, ZoomFollowsTheTextAndABadZoomKeepsTheWindowOpen) {
    auto setup = makeSetup();
    auto w = makePrint(*setup);
    w->showAndPreview();
    w->zoomCombo->setEditText("50");
    EXPECT_EQ(w->preview()->zoom(), 50);
    w->zoomCombo->setEditText("ab");
    EXPECT_EQ(w->preview()->zoom(), 100) << "letters count as the last zoom";
    EXPECT_TRUE(w->checkZoom());

    w->zoomCombo->setEditText("1");
    EXPECT_FALSE(w->close());
    EXPECT_EQ(prompter.texts(), QStringList({"msg41"}));
    EXPECT_EQ(w->zoomCombo->currentText(), "2");
    EXPECT_EQ(w->preview()->zoom(), 2) << "the preview agrees with the box";
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->close());
}

TEST_F(PrintWindows, PrintWritesThePreviewsPagesToPdf) {
    auto setup = makeSetup();
    setup->shipmentCheck->setChecked(true);
    auto w = makePrint(*setup);
    w->showAndPreview();
    w->printToPdf = folder.filePath("list.pdf");
    w->printButton->click();
    EXPECT_TRUE(prompter.boxes().empty());
    const QStringList pages = PdfReadBack::pageTexts(w->printToPdf);
    EXPECT_EQ(pages.size(), w->preview()->pageCount());
    EXPECT_EQ(w->pageCountLabel->text(), QString::number(pages.size()));
    EXPECT_TRUE(pages.value(0).contains("Default"));
    EXPECT_TRUE(pages.value(0).contains("HXZ9-4037"));
    EXPECT_FALSE(w->printingLabel->isVisible());
    EXPECT_TRUE(w->printButton->isEnabled());
}

TEST_F(PrintWindows, WithoutAPrinterPrintSaysSoAndOffersAPdf) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    auto setup = makeSetup();
    auto w = makePrint(*setup);
    w->showAndPreview();

    prompter.answer(BoxAnswer::No);
    w->printButton->click();
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(prompter.fileDialogs(), 0);

    const QString pdf = folder.filePath("saved.pdf");
    prompter.answer(BoxAnswer::Yes);
    prompter.answerFile(pdf);
    w->printButton->click();
    EXPECT_EQ(PdfReadBack::pageSizes(pdf).size(), size_t(w->preview()->pageCount()));
}

// A PDF that cannot be written whole (no folder for it; a file-size limit cutting it part-way,
// as a full disk does) says so, and a PDF of that name from before stays as it was.
TEST_F(PrintWindows, APrintThatFailsSaysSoAndKeepsTheEarlierPdf) {
    auto setup = makeSetup();
    auto w = makePrint(*setup);
    w->showAndPreview();
    w->printToPdf = folder.filePath("no/such/folder/list.pdf");
    w->printButton->click();
    EXPECT_EQ(prompter.texts(), QStringList{"msg113\n" + w->printToPdf});
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_TRUE(w->printButton->isEnabled());
    EXPECT_FALSE(w->producingPages());

    prompter.clear();
    w->printToPdf = folder.filePath("list.pdf");
    QFile old(w->printToPdf);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier");
    old.close();
    {
        FileSizeLimit limit(2000);
        ASSERT_TRUE(limit.active());
        w->printButton->click();
    }
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_TRUE(prompter.texts()[0].endsWith("\nmsg113\n" + w->printToPdf))
        << prompter.texts()[0].toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("earlier"));
    EXPECT_EQ(QDir(folder.path()).entryList({"list.pdf*"}, QDir::Files), QStringList{"list.pdf"});
}

TEST_F(PrintWindows, TheWindowCannotCloseWhileProducingPagesAndEveryWayOutEndsThatState) {
    auto setup = makeSetup();
    auto w = makePrint(*setup);
    bool closedDuringPass = true;
    duringPass = [&] {
        EXPECT_TRUE(w->producingPages());
        EXPECT_FALSE(w->cancelButton->isEnabled());
        closedDuringPass = w->close();
    };
    w->showAndPreview();
    EXPECT_FALSE(closedDuringPass);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->producingPages());

    duringPass = [] { throw std::runtime_error("rows could not be read"); };
    EXPECT_THROW(w->startPreview(), std::runtime_error);
    EXPECT_FALSE(w->producingPages());
    EXPECT_TRUE(w->cancelButton->isEnabled());
    duringPass = nullptr;
    EXPECT_TRUE(w->close());
}

// ---- Monitor print window ------------------------------------------------------------------

// Lines of a page's text with blanks between words made one, a ligature read as its letters.
QStringList linesOf(const QString& page) {
    QStringList out;
    for (const QString& l : page.split(u'\n'))
        if (!l.trimmed().isEmpty())
            out << l.simplified().normalized(QString::NormalizationForm_KC);
    return out;
}

TEST_F(PrintWindows, MonitorPagePreviewsAndPrintsTheSameRowsEveryPass) {
    auto setup = makeSetup();
    // The parameter list's paper is not the monitor page's.
    setup->paperCombo->setEditText("A3");
    setup->landscapeRadio->click();
    auto w = makeMonitorPrint(*setup);
    EXPECT_EQ(w->objectName(), "PrintWindowM");
    EXPECT_EQ(w->windowTitle(), "Preview and Print");
    EXPECT_EQ(w->printingLabel->objectName(), "Label3");
    EXPECT_EQ(w->printButton->objectName(), "Button1");
    EXPECT_EQ(w->cancelButton->objectName(), "Button2");
    EXPECT_EQ(w->data().captions.columns[report::MC_Item], "Monitor Item") << "the key written \"label3\"";

    w->showAndPreview(ReportFixtures::monitorData(8));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->preview()->pageCount(), 1);
    EXPECT_EQ(w->zoomCombo->currentText(), "100");
    EXPECT_FALSE(w->producingPages());
    for (QWidget* c : {static_cast<QWidget*>(w->zoomCombo), static_cast<QWidget*>(w->printButton),
                       static_cast<QWidget*>(w->cancelButton)})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();

    w->startPreview();
    QStringList printed;
    for (const char* name : {"first.pdf", "second.pdf"}) {
        w->printToPdf = folder.filePath(name);
        w->printButton->click();
        EXPECT_FALSE(w->printingLabel->isVisible());
        const auto sizes = PdfReadBack::pageSizes(w->printToPdf);
        ASSERT_EQ(sizes.size(), 1u);
        EXPECT_NEAR(sizes[0].width(), 595.3, 0.6) << "A4 portrait";
        EXPECT_NEAR(sizes[0].height(), 841.9, 0.6);
        printed << PdfReadBack::pageTexts(w->printToPdf).value(0);
    }
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(printed[0], printed[1]);
    const QStringList lines = linesOf(printed[0]);
    EXPECT_TRUE(lines.contains("CH Monitor Monitor Item Multi. Offset Min. Max. Start Stop"));
    EXPECT_TRUE(lines.contains("1 ON Item1 1.5 0 -0.5 100 0.25 50"));
    EXPECT_TRUE(lines.contains("8 OFF Item8 1.5 70 - - - -"));
    EXPECT_FALSE(lines.join(u'\n').contains("Item9"));
    EXPECT_TRUE(lines.contains("Trigger Delay : 30"));

    w->cancelButton->click();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(PrintWindows, MonitorPageShowsTheChartAsTheChartDrawsIt) {
    SampleStore store;
    SampleWindow window;
    for (int p = 0; p < 80; ++p) {
        store.appendSample(quint32(p * 100));
        store.setValue(0, p, 50 + 40 * std::sin(p / 8.0));
        store.setValue(1, p, p);
    }
    ChartWidget chart;
    chart.setSource(&store, &window);
    report::MonitorReportData data = ReportFixtures::monitorData(10);
    data.chart = chart.renderImage(QSize(report::kChartPictureWidth, report::kChartPictureHeight), false);

    auto setup = makeSetup();
    // Margins of a whole number of design units (32 and 48), so that the picture's pixels fall
    // on whole pixels of the page; the picture keeps its full width.
    setup->marginEdits[PageSetupWindow::Left]->setText("8.4666667");
    setup->marginEdits[PageSetupWindow::Right]->setText("8.4666667");
    setup->marginEdits[PageSetupWindow::Top]->setText("12.7");
    auto w = makeMonitorPrint(*setup);
    w->showAndPreview(data);
    w->printToPdf = folder.filePath("chart.pdf");
    ASSERT_TRUE(w->printReport());

    // Drawn at 192 dots per inch each pixel of the picture covers two by two of the page.
    const QImage page = PdfReadBack::renderPage(w->printToPdf, 1, 192);
    ASSERT_FALSE(page.isNull());
    const QPoint origin(32 + 4, 48 + 15 + 15 + 8);
    // An inked pixel of the chart matches when the page has its colour in its square or next
    // to it: the PDF's page box is whole points, so the page may sit a fraction of a pixel off.
    auto near = [](const QColor& a, const QColor& b) {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                         std::abs(a.blue() - b.blue())}) <= 64;
    };
    int differing = 0, inked = 0;
    for (int y = 1; y < data.chart.height() - 1; ++y) {
        for (int x = 1; x < data.chart.width() - 1; ++x) {
            const QColor want = data.chart.pixelColor(x, y);
            if (want == QColor(Qt::white))
                continue;
            ++inked;
            const QPoint square = (origin + QPoint(x, y)) * 2;
            bool found = false;
            for (int dy = -1; dy <= 2 && !found; ++dy)
                for (int dx = -1; dx <= 2 && !found; ++dx)
                    found = near(want, page.pixelColor(square + QPoint(dx, dy)));
            differing += found ? 0 : 1;
        }
    }
    const int pixels = (data.chart.width() - 2) * (data.chart.height() - 2);
    EXPECT_GT(inked, pixels / 50) << "the chart has curves, axes and grid to compare";
    EXPECT_LT(differing, inked / 50) << "of " << inked << " inked pixels";
}

TEST_F(PrintWindows, MonitorPrintZoomNoPrinterAndFailures) {
    auto setup = makeSetup();
    auto w = makeMonitorPrint(*setup);
    w->showAndPreview(ReportFixtures::monitorData());

    // Zoom: the preview follows the text; 1 is refused, and so is closing until it is mended.
    w->zoomCombo->setEditText("150");
    EXPECT_EQ(w->preview()->zoom(), 150);
    w->zoomCombo->setEditText("1");
    EXPECT_FALSE(w->close());
    EXPECT_EQ(prompter.texts(), QStringList({"msg41"}));
    EXPECT_EQ(w->zoomCombo->currentText(), "2");
    EXPECT_TRUE(w->inputError());
    prompter.clear();

    // A print that fails says so, and the window can print again.
    w->printToPdf = folder.filePath("no/such/folder/monitor.pdf");
    EXPECT_FALSE(w->printReport());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_TRUE(w->printButton->isEnabled());
    EXPECT_FALSE(w->producingPages());
    prompter.clear();

    // No printer: said so, a PDF offered.
    w->printToPdf.clear();
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        prompter.answer(BoxAnswer::No);
        EXPECT_FALSE(w->printReport());
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNo);
        const QString pdf = folder.filePath("saved.pdf");
        prompter.answer(BoxAnswer::Yes);
        prompter.answerFile(pdf);
        EXPECT_TRUE(w->printReport());
        EXPECT_TRUE(PdfReadBack::pageTexts(pdf).value(0).contains("HXZ9-4037"));
    }

    // Closing while the page is produced is refused; afterwards it is allowed.
    bool closedDuringPass = true;
    duringPass = [&] {
        EXPECT_TRUE(w->producingPages());
        EXPECT_FALSE(w->printButton->isEnabled());
        closedDuringPass = w->close();
    };
    w->startPreview();
    EXPECT_FALSE(closedDuringPass);
    duringPass = nullptr;
    EXPECT_TRUE(w->close());
}

} // namespace

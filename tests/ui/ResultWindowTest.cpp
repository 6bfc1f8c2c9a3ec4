// The communication result window: captions and filters by job, placement under the main
// window, the automatic and the chosen save, copy, print and the first-line replacement.
#include "ui/ResultWindow.h"
#include "link/TransferEngine.h"

#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/InstalledAsker.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"
#include "support/TestProgram.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace {

class ResultWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        context.paths.programFolder = folder.path();
        context.language.iniPath = folder.writeFile("lng/Empty.ini", "");
        context.drive.files.infoIniPath = folder.filePath("Info.ini");
        form.currentTime = [] { return QDateTime(QDate(2026, 5, 7), QTime(9, 5, 3)); };
        form.addLine("* Communication Error Parameters");
        form.addLine("F01: Bias");
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // "Save Comm./Comp. Result" is offered only while not both result windows are on.
    void automaticSaveOn() {
        options.showComparisonResult.setChecked(false);
        options.saveTransferResult.setChecked(true);
        ASSERT_TRUE(options.saveTransferResult.enabled());
    }

    ScriptedPrompter prompter;
    TempProgramFolder folder;
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    TransferJob job;
    MainWindowLinks links;
    ResultWindow form{context, options, installedAsker(), job, links};
};

TEST_F(ResultWindowTest, CaptionAndFilterFollowTheJobWithDefaultTexts) {
    const struct {
        std::uint32_t mode;
        const char* caption;
        const char* filter;
    } cases[] = {
        {kModeImport, "Import Result", "Communication Result (*.txt)|*.txt"},
        {kModeExport, "Export Result", "Communication Result (*.txt)|*.txt"},
        {kModeComparison, "Comparison Result", "Communication Result (*.txt)|*.txt"},
        {kModeInverterInfo, "Inverter Information", "Inverter Information (*.txt)|*.txt"},
        {kModeTripInfo, "Trip Information", "Communication Result (*.txt)|*.txt"},
    };
    for (const auto& c : cases) {
        job.mode = c.mode;
        const ResultTexts t = ResultTexts::forMode(context, int(c.mode));
        EXPECT_EQ(t.caption, c.caption);
        EXPECT_EQ(t.filter, c.filter);
        EXPECT_EQ(t.saveTitle, "Save As");
        form.show();
        EXPECT_EQ(form.windowTitle(), c.caption);
        EXPECT_EQ(form.printButton->text(), "Print");
        EXPECT_EQ(form.saveButton->text(), "Save");
        form.hide();
    }
}

TEST_F(ResultWindowTest, TheSaveDialogsTitleIsTheMenuCaptionWithoutItsAccessKey) {
    for (const auto& [language, title] :
         {std::pair{"English", "Save As"}, std::pair{"Japanese", "名前を付けて保存"}}) {
        context.language.iniPath =
            shippedDataDir() + QStringLiteral("/lng/%1.ini").arg(QLatin1String(language));
        EXPECT_EQ(ResultTexts::forMode(context, kModeImport).saveTitle, QString::fromUtf8(title));
    }
}

TEST_F(ResultWindowTest, AnAutomaticSaveIsNamedByDayAndTimeAndHoldsTheLinesWithCrLf) {
    automaticSaveOn();
    form.saveText();
    EXPECT_EQ(read(folder.filePath("7d9h5m3s.txt")), "* Communication Error Parameters\r\nF01: Bias\r\n");
    EXPECT_EQ(prompter.fileDialogs(), 0);

    // The same second again replaces the file.
    form.replaceFirstLine("X");
    form.saveText();
    EXPECT_EQ(read(folder.filePath("7d9h5m3s.txt")), "X\r\nF01: Bias\r\n");
    EXPECT_EQ(automaticResultFileName("/p", QDateTime(QDate(2026, 12, 31), QTime(23, 59, 0))),
              "/p/31d23h59m0s.txt");
}

TEST_F(ResultWindowTest, InverterInformationAndTheOptionOffAskForAName) {
    automaticSaveOn();
    job.mode = kModeInverterInfo;
    prompter.answerFile(folder.filePath("info"));
    form.saveText();
    ASSERT_EQ(prompter.fileDialogRecords().size(), 1u);
    const auto& dialog = prompter.fileDialogRecords().front();
    EXPECT_TRUE(dialog.save);
    EXPECT_EQ(dialog.title, "Save As");
    EXPECT_EQ(dialog.folder, folder.path());
    EXPECT_EQ(dialog.filter, "Inverter Information (*.txt)|*.txt");
    EXPECT_EQ(read(folder.filePath("info.txt")), "* Communication Error Parameters\r\nF01: Bias\r\n");
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("7d9h5m3s.txt")));

    options.saveTransferResult.setChecked(false);
    job.mode = kModeImport;
    prompter.answerFile(folder.filePath("res"));
    form.saveText();
    EXPECT_EQ(read(folder.filePath("res.txt")), "* Communication Error Parameters\r\nF01: Bias\r\n")
        << "a new file is accepted";
}

TEST_F(ResultWindowTest, ACancelledDialogSavesNothingAndAFailedWriteIsReported) {
    prompter.answerFile(QString());
    EXPECT_FALSE(SaveResultLines(context, options, {"a"}, kModeImport, QDateTime::currentDateTime(),
                                 installedAsker()));
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList());

    const QString blocked = folder.filePath("missing/folder/out.txt");
    prompter.answerFile(blocked);
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(SaveResultLines(context, options, {"a"}, kModeImport, QDateTime::currentDateTime(),
                                 installedAsker()));
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "The file could not be written:\n" + blocked);
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
}

TEST_F(ResultWindowTest, ItOpensUnderTheMainWindowWithItsHeightAsMinimum) {
    QMainWindow main;
    links.window = &main;
    main.setGeometry(0, 0, 400, 60);
    main.move(0, 0);
    main.show();
    const QRect f = main.frameGeometry();
    form.show();
    EXPECT_EQ(form.pos(), QPoint(f.left(), f.top() + f.height()));
    // Heights of the outer rectangles, frames included.
    EXPECT_EQ(form.frameGeometry().height(), 480 - f.height());
    EXPECT_EQ(form.minimumHeight(), form.height());
    form.hide();

    main.resize(400, 200); // the window's own minimum height holds
    form.show();
    EXPECT_EQ(form.height(), ResultWindow::kMinHeight);
    EXPECT_EQ(form.minimumHeight(), ResultWindow::kMinHeight);
}

TEST_F(ResultWindowTest, PrintFollowsTheMainWindowsPrintItem) {
    bool printItem = false;
    links.printEnabled = [&printItem] { return printItem; };
    form.show();
    EXPECT_FALSE(form.printButton->isEnabled());
    form.hide();
    printItem = true;
    form.show();
    EXPECT_TRUE(form.printButton->isEnabled());
}

TEST_F(ResultWindowTest, PrintPutsTheLinesOnThePage) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    form.printToPdf = folder.filePath("out.pdf");
    form.show();
    form.printText();
    QProcess p;
    p.start("pdftotext", {"-layout", form.printToPdf, "-"});
    ASSERT_TRUE(p.waitForFinished(10000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(text.contains("* Communication Error Parameters")) << text.toStdString();
    EXPECT_TRUE(text.contains("F01: Bias")) << text.toStdString();
}

TEST_F(ResultWindowTest, PrintWithoutAPrinterOffersAPdfAndNeverClaimsAPrintItDidNotMake) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "a printer is installed";
    form.show();
    prompter.answer(BoxAnswer::No); // no PDF either
    EXPECT_FALSE(form.printText());
    prompter.answer(BoxAnswer::Yes);
    prompter.answerFile(QString()); // the file dialog cancelled
    EXPECT_FALSE(form.printText());
    const QString pdf = folder.filePath("result.pdf");
    prompter.answer(BoxAnswer::Yes);
    prompter.answerFile(pdf);
    EXPECT_TRUE(form.printText());
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    ASSERT_EQ(prompter.boxes().size(), 3u);
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    // A file that cannot be written is said so.
    prompter.answer(BoxAnswer::Yes);
    prompter.answerFile(folder.filePath("missing/folder/result.pdf"));
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(form.printText());
    EXPECT_EQ(prompter.boxes().back().icon, BoxIcon::Error);
}

TEST_F(ResultWindowTest, CopyTakesTheSelectionAndJobsMayReplaceTheFirstLine) {
    form.show();
    QTextCursor c = form.ResultDisp->textCursor();
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::Down);
    c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    form.ResultDisp->setTextCursor(c);
    QApplication::clipboard()->setText("before");
    form.copySelectedText();
    EXPECT_EQ(QApplication::clipboard()->text(), "F01: Bias");

    form.replaceFirstLine("Trip 3");
    form.addLine("more");
    EXPECT_EQ(form.lines(), (QStringList{"Trip 3", "F01: Bias", "more"}));
    EXPECT_EQ(form.ResultDisp->toPlainText(), "Trip 3\nF01: Bias\nmore");
}

TEST_F(ResultWindowTest, TheOwnerIsNoQtParentSoADisabledMainWindowLeavesItUsable) {
    QMainWindow main;
    ResultWindow owned(context, options, installedAsker(), job, links, &main);
    EXPECT_EQ(owned.parent(), nullptr);
    main.setEnabled(false);
    EXPECT_TRUE(owned.isEnabled());
}

} // namespace

// The transfer window around the engine: its texts and buttons at each showing, Cancel, Esc
// and the close box while a job runs, and the result window's save after failures.
#include "ui/TransferWindow.h"
#include "support/InstalledAsker.h"
#include "support/TransferFixture.h"
#include "ui/ResultWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

using namespace transfertest;

namespace {

// One job in the transfer window as a command prepares it.
class Job {
public:
    Job(TransferRig& rig, std::uint32_t mode, int last) : bar(rig.context, rig.options, *rig.link, links) {
        transfer.mode = mode;
        transfer.lastParaIndex = last;
        bar.engine().setJob(&transfer);
        bar.engine().setResult(&result);
        bar.noteLabel->hide();
        bar.show();
    }
    void start() { bar.startClicked(); }
    TransferEngine& engine() { return bar.engine(); }

    TransferJob transfer;
    MainWindowLinks links;
    TransferWindow bar;
    ResultText result;
};

TEST_F(TransferRun, WithFailuresTheResultIsSavedUnderTheTimeWhenTheOptionIsOn) {
    rig.options.showComparisonResult.setChecked(false); // the saving option is offered then
    rig.options.saveTransferResult.setChecked(true);
    ASSERT_TRUE(rig.options.saveTransferResult.enabled());
    rig.silent = {{"0001", 0}};
    Job job(rig, kModeImport, kRef);
    ResultWindow form(rig.context, rig.options, installedAsker(), job.transfer, job.links);
    form.currentTime = [] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5, 3)); };
    job.engine().setResult(&form.text());
    job.engine().setResultSaver([&form] { form.saveText(); });
    job.start();

    QFile file(rig.folder.filePath("7d9h5m3s.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "* Communication Error Parameters\r\nF01: Bias\r\n");
    EXPECT_EQ(rig.prompter.fileDialogs(), 0);
}

// A window that tries to close itself the ways a user can while the job runs.
class ImpatientBar : public TransferWindow {
public:
    using TransferWindow::TransferWindow;
    void repaintNow() override {
        reject(); // Esc
        close();  // the close box
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(this, &esc);
        stillVisible = isVisible();
        TransferWindow::repaintNow();
    }
    bool stillVisible = false;
};

TEST_F(TransferRun, EscapeAndTheCloseBoxDoNothingWhileAJobRuns) {
    TransferJob transfer{kModeImport, kRef};
    MainWindowLinks links;
    ImpatientBar bar(rig.context, rig.options, *rig.link, links);
    bar.engine().setJob(&transfer);
    bar.show();
    bar.startClicked();
    EXPECT_TRUE(bar.stillVisible);
    EXPECT_TRUE(bar.isVisible()) << "the outcome is shown";
    EXPECT_EQ(rig.frameTexts(start).size(), 3u) << "the job ran to its end";
    bar.reject();
    EXPECT_FALSE(bar.isVisible()) << "once done, Esc closes it";
}

TEST_F(TransferRun, CancelBeforeStartSendsNothing) {
    Job job(rig, kModeImport, rig.context.drive.lastIndex());
    job.bar.cancelButton->click();
    EXPECT_FALSE(job.bar.isVisible());
    EXPECT_EQ(rig.frameCount(), start);
    EXPECT_FALSE(job.engine().ran());
    EXPECT_TRUE(job.engine().resultWanted());
}

TEST_F(TransferRun, EachShowingStartsReady) {
    Job job(rig, kModeImport, kRef);
    job.start();
    ASSERT_TRUE(job.bar.okButton->isVisible());
    job.bar.okButton->click();
    EXPECT_FALSE(job.bar.isVisible());

    job.transfer.mode = kModeExport;
    rig.options.exportChangedOnly.setChecked(false);
    job.bar.noteLabel->hide();
    job.bar.show();
    EXPECT_EQ(job.bar.windowTitle(), "Parameter Export");
    EXPECT_EQ(job.bar.statusLabel->text(), "m62");
    EXPECT_FALSE(job.bar.noteLabel->isVisible());
    EXPECT_TRUE(job.bar.startButton->isVisible());
    EXPECT_TRUE(job.bar.startButton->isEnabled());
    EXPECT_TRUE(job.bar.cancelButton->isEnabled());
    EXPECT_FALSE(job.bar.okButton->isVisible());
    EXPECT_EQ(job.bar.progressBar->value(), 0);
}

} // namespace

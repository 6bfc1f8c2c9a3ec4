#include "platform/Prompter.h"
#include "platform/DialogTitle.h"

#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {

const QString kMonitorFilter = "Monitor Data (*.mon)|*.mon|Monitor Datas(*.csv)|*.csv|All Files (*.*)|*.*";

TEST(PipeFilter, BecomesQtFilterWithPatternsFromThePipeList) {
    EXPECT_EQ(qtFilterFromPipeFilter(kMonitorFilter),
              "Monitor Data (*.mon);;Monitor Datas (*.csv);;All Files (*)");
    EXPECT_EQ(qtFilterFromPipeFilter("Pictures|*.bmp;*.jpg"), "Pictures (*.bmp *.jpg)");
    EXPECT_EQ(qtFilterFromPipeFilter(""), "");
    // A description without a pattern is dropped.
    EXPECT_EQ(qtFilterFromPipeFilter("A|*.a|Dangling"), "A (*.a)");
}

TEST(PipeFilter, EntriesAreCountedFromOneAndOutOfRangeGivesTheFirst) {
    EXPECT_EQ(qtFilterEntry(kMonitorFilter, 2), "Monitor Datas (*.csv)");
    EXPECT_EQ(qtFilterEntry(kMonitorFilter, 0), "Monitor Data (*.mon)");
    EXPECT_EQ(qtFilterEntry(kMonitorFilter, 9), "Monitor Data (*.mon)");
    EXPECT_EQ(filterEntrySuffix(kMonitorFilter, 2), "csv");
    EXPECT_EQ(filterEntrySuffix(kMonitorFilter, 3), "");
    EXPECT_EQ(filterEntrySuffix("P|*.bmp;*.jpg", 1), "");
}

TEST(DialogTitle, ShowsNoAccessKey) {
    const struct {
        const char* caption;
        const char* title;
    } rows[] = {
        {"Save &As", "Save As"},
        {"名前を付けて保存(&A)", "名前を付けて保存"},
        {"名前を付けて保存 （&A）", "名前を付けて保存"},
        {"Open", "Open"},
        {"Import && Export", "Import & Export"},
        {"&&(&&A)", "&(&A)"},
        {"E&xit&", "Exit"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(dialogTitle(QString::fromUtf8(r.caption)), QString::fromUtf8(r.title)) << r.caption;
}

TEST(ScriptedDialogs, InstallsItselfAndRecordsBoxesAndDialogs) {
    Prompter* const before = &Prompter::instance();
    {
        ScriptedDialogs scripted;
        EXPECT_EQ(&Prompter::instance(), &scripted);
        scripted.answer(BoxAnswer::No);
        EXPECT_EQ(Prompter::instance().message("Sure?", "Cap", BoxIcon::Question, BoxButtons::YesNo),
                  BoxAnswer::No);
        EXPECT_EQ(Prompter::instance().message("Note", "Cap", BoxIcon::Warning), BoxAnswer::Ok);
        ASSERT_EQ(scripted.boxes().size(), 2u);
        EXPECT_EQ(scripted.boxes()[0].caption, "Cap");
        EXPECT_EQ(scripted.boxes()[1].icon, BoxIcon::Warning);

        scripted.answerFile("/tmp/x.csv", 2);
        EXPECT_EQ(Prompter::instance().saveFile("Save", "/tmp", kMonitorFilter, 1, "x"), "/tmp/x.csv");
        EXPECT_EQ(Prompter::instance().lastFilterIndex(), 2);
        ASSERT_EQ(scripted.fileDialogRecords().size(), 1u);
        EXPECT_TRUE(scripted.fileDialogRecords()[0].save);
        EXPECT_EQ(scripted.fileDialogRecords()[0].fileName, "x");
        EXPECT_EQ(scripted.pendingAnswers(), 0u);
    }
    EXPECT_EQ(&Prompter::instance(), before);
}

} // namespace

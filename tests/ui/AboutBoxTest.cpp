// The about box: the product's name and version, the models of the data folder, the memory
// figures of a given reading, and texts of another length that never run under the controls.
#include "ui/AboutBox.h"

#include "core/ProgramContext.h"
#include "support/ScriptedPrompter.h"
#include "support/TempProgramFolder.h"
#include "support/TestPaths.h"

#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

MemoryStatus threeQuartersOf8000000Kb() {
    return parseMemInfo("MemTotal:        8000000 kB\nMemAvailable:    2000000 kB\n");
}

class AboutBoxTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        context.paths.programFolder = folder.path();
        context.paths.settingsIni = folder.settingsIniPath();
        context.language.iniPath = shippedDataDir() + QStringLiteral("/lng/English.ini");
    }
    QStringList treeEntries(const AboutBox& box) const {
        QStringList out;
        for (int i = 0; i < box.folderTree->topLevelItemCount(); ++i)
            out << box.folderTree->topLevelItem(i)->text(0);
        return out;
    }
    QStringList models(const AboutBox& box) const {
        QStringList out;
        for (int i = 0; i < box.modelList->count(); ++i)
            out << box.modelList->itemText(i);
        return out;
    }

    ScriptedPrompter prompter; // any box fails the test
    TempProgramFolder folder;
    ProgramContext context;
};

TEST_F(AboutBoxTest, ShowsTheProductTheDataFolderAndTheMemoryFigures) {
    for (const char* d : {"HXB3(V120)", "Misc", "HXB3(V110)"})
        QDir().mkpath(folder.filePath(QStringLiteral("dat/") + QLatin1String(d)));
    folder.writeFile(QStringLiteral("dat/Inverter.ini"), "[Type]\r\n");

    AboutBox box(context, threeQuartersOf8000000Kb);
    box.show();
    EXPECT_EQ(box.windowTitle(), "Version");
    EXPECT_EQ(box.productNameLabel->text(), "KVR260X");
    EXPECT_LT(QFontMetrics(box.productNameLabel->font()).horizontalAdvance("KVR260X"),
              AboutBox::kProductNameMaxWidth);
    EXPECT_EQ(box.versionLabel->text(), "Ver.1.05");
    EXPECT_EQ(treeEntries(box), QStringList({"HXB3(V110)", "HXB3(V120)", "Inverter.ini", "Misc"}));
    EXPECT_EQ(models(box), QStringList({"HXB3(V110)", "HXB3(V120)"}));
    EXPECT_EQ(box.modelList->currentIndex(), 0);
    EXPECT_EQ(box.loadBar->value(), 75);
    EXPECT_EQ(box.physicalBar->value(), 75);
    EXPECT_EQ(box.physicalTotalLabel->text(), "8000000 KB Total");
    EXPECT_EQ(box.physicalFreeLabel->text(), "2000000 KB Free");
    EXPECT_EQ(box.width(), AboutBox::kWidth);
    EXPECT_GE(box.panel->height(), AboutBox::kPanelHeight);
    EXPECT_EQ(box.pos(), QPoint((640 - box.width()) / 2, 480 - (box.height() + 402) / 2));
    EXPECT_EQ(box.modelsLabel->text(), "Match for");
    EXPECT_EQ(box.loadLabel->text(), "Memory Load");
    EXPECT_EQ(box.physicalLabel->text(), "Locked memory");
}

TEST_F(AboutBoxTest, TheFiguresFollowEveryReading) {
    quint64 available = 2000000;
    AboutBox box(context, [&] {
        MemoryStatus s = threeQuartersOf8000000Kb();
        s.availableBytes = available * 1024;
        return s;
    });
    EXPECT_EQ(box.refreshTimer->interval(), 1000);
    EXPECT_TRUE(box.refreshTimer->isActive());
    available = 6000000;
    box.updateMemoryFigures(); // what each tick does
    EXPECT_EQ(box.physicalBar->value(), 25);
    EXPECT_EQ(box.physicalFreeLabel->text(), "6000000 KB Free");
}

TEST_F(AboutBoxTest, AMissingDataFolderLeavesTheListsEmptyWithoutABox) {
    folder.writeFile(QStringLiteral("KVR260X.ini"), "[Options]\r\nDF=\\gone\r\n");
    AboutBox box(context, threeQuartersOf8000000Kb);
    EXPECT_EQ(box.folderTree->topLevelItemCount(), 0);
    EXPECT_EQ(box.modelList->count(), 0);
    EXPECT_EQ(box.modelList->currentIndex(), -1);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(AboutBoxTest, ALongerTextOfAnotherLanguageNeverRunsUnderTheControls) {
    context.language.iniPath = folder.writeFile(
        QStringLiteral("lng/Long.ini"),
        "[About]\r\nForm=About\r\nLabel1=Suitable for the following drive models\r\nLabel2=Load\r\n"
        "Label3=Physical memory in use\r\n");
    QDir().mkpath(folder.filePath(QStringLiteral("dat/HXA1(V110)")));
    AboutBox box(context, threeQuartersOf8000000Kb);
    box.show();
    EXPECT_EQ(box.modelsLabel->text(), "Suitable for the following drive models");
    EXPECT_LT(box.modelsLabel->geometry().right(), box.modelList->geometry().left());
    EXPECT_LT(box.loadLabel->geometry().right(), box.loadBar->geometry().left());
    EXPECT_LT(box.physicalLabel->geometry().right(), box.physicalBar->geometry().left());
}

TEST(AboutBoxFit, TheProductNameShrinksToFitAndStopsAtTheSmallestSize) {
    QFont f;
    f.setPointSize(20);
    // A name that fits at no size: the loop ends at the floor instead of going on for ever.
    EXPECT_EQ(AboutBox::fittingPointSize(f, QString(400, u'W'), AboutBox::kProductNameMaxWidth,
                                         AboutBox::kMinPointSize),
              AboutBox::kMinPointSize);
    const int size = AboutBox::fittingPointSize(f, QStringLiteral("KVR260X KVR"), 141, 6);
    QFont fitted = f;
    fitted.setPointSize(size);
    EXPECT_LT(QFontMetrics(fitted).horizontalAdvance(QStringLiteral("KVR260X KVR")), 141);
    if (size < 20) {
        fitted.setPointSize(size + 1);
        EXPECT_GE(QFontMetrics(fitted).horizontalAdvance(QStringLiteral("KVR260X KVR")), 141);
    }
    // A short text keeps the size it has.
    EXPECT_EQ(AboutBox::fittingPointSize(f, QStringLiteral("K"), 141, 6), 20);
}

} // namespace

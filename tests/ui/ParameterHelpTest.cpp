// The help page of a table row: which page a row opens, what opens nothing, the boxes about
// missing help, and the ways in (the items, a double click on the grid).
#include "ui/ParameterTableFixture.h"

#include "table/ParameterHelp.h"
#include "ui/HelpViewer.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTextBrowser>

namespace {

using Page = ParameterHelp::Page;

class ParameterHelpTest : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        globals().ParaHelpFilePath = helpFile;
        createTable();
    }
    void TearDown() override {
        HelpViewer::closeAll();
        options().WinHelpSlct.setChecked(false);
        ParaTableFixture::TearDown();
    }
    // A help over the table's rows whose pages are recorded instead of shown.
    ParameterHelp recording(bool pagesExist = true) {
        return ParameterHelp(table->core(), globals(), options(),
                             [this, pagesExist](const QString& f, const QString& p) {
                                 shown << Page{f, p};
                                 return pagesExist;
                             });
    }
    void setTitle(const QString& comNo, const QString& title) {
        table->core().setCell(TC_Title, rowOf(comNo), title);
    }

    const QString helpFile = shippedDataDir() + "/dat/HXA1(V110)/HXA1(Eng).chm";
    QList<Page> shown;
};

TEST_F(ParameterHelpTest, ARowOpensThePageOfItsTitleInLowerCase) {
    const ParameterHelp help = recording();
    ASSERT_EQ(cell(TC_Title, "0001"), "F001");
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), (Page{helpFile, "html/f001.htm"}));
    setTitle("0002", "Ab_C2");
    EXPECT_EQ(help.pageOfRow(rowOf("0002")), (Page{helpFile, "html/ab_c2.htm"}));
}

TEST_F(ParameterHelpTest, NothingOpensForARowOfNoParameterOrATitleLeavingTheHelpFolder) {
    const ParameterHelp help = recording();
    EXPECT_EQ(help.pageOfRow(0), Page{}); // the titles
    EXPECT_EQ(help.pageOfRow(rows()), Page{});
    EXPECT_EQ(help.pageOfRow(rows() + 100), Page{});
    EXPECT_EQ(help.pageOfRow(-1), Page{});
    for (const char* title : {"../../index", "html/f001", "..\\f001", "F..", ""}) {
        SCOPED_TRACE(title);
        setTitle("0002", title);
        EXPECT_EQ(help.pageOfRow(rowOf("0002")), Page{});
    }
    globals().ParaHelpFilePath.clear();
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), Page{});
}

TEST_F(ParameterHelpTest, WinHelpOpensTheContentsOfItsHelp) {
    options().WinHelpSlct.setChecked(true);
    const ParameterHelp help = recording();
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), (Page{helpFile, ""}));
    EXPECT_EQ(help.pageOfRow(rows()), Page{});
}

TEST_F(ParameterHelpTest, TheItemsOpenTheCursorRowAndADoubleClickItsOwnRow) {
    ParameterHelp help = recording();
    table->core().CursorRow = rowOf("0002");
    help.PopParaHelpClick();
    help.openRow(rowOf("0005"));
    EXPECT_EQ(shown, (QList<Page>{{helpFile, "html/f002.htm"}, {helpFile, "html/f005.htm"}}));

    // A disabled command (no help file when its name was built) and a cursor row left past
    // the rows by a view change open nothing.
    shown.clear();
    host.commands.setEnabled(TableCommand::ParaHelp, false);
    help.PopParaHelpClick();
    host.commands.setEnabled(TableCommand::ParaHelp, true);
    table->core().CursorRow = rows() + 3;
    help.PopParaHelpClick();
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(ParameterHelpTest, MissingHelpIsReportedOnceAndABadTitleNotAtAll) {
    // A help folder without the pages.
    const QString empty = folder->filePath("dat/HXA1(V110)/HXA1(Eng).chm");
    folder->writeFile("dat/HXA1(V110)/HXA1(Eng).chm/index.htm", "<html></html>");
    globals().ParaHelpFilePath = empty;
    ParameterHelp help = recording(false);
    help.openRow(rowOf("0001"));
    help.openRow(rowOf("0001"));
    help.openRow(rowOf("0002"));
    setTitle("0003", "../x");
    help.openRow(rowOf("0003"));
    EXPECT_EQ(prompter.texts(), (QStringList{"The help page " + empty + "/html/f001.htm is not found.",
                                             "The help page " + empty + "/html/f002.htm is not found."}));

    // No help folder at all: one box, whichever rows follow.
    prompter.clear();
    globals().ParaHelpFilePath = folder->filePath("dat/HXA1(V110)/HXA1(Jap).chm");
    help.openRow(rowOf("0001"));
    help.openRow(rowOf("0002"));
    EXPECT_EQ(prompter.texts(),
              QStringList{"The parameter help " + globals().ParaHelpFilePath + " is not found."});
    for (const auto& box : prompter.boxes())
        EXPECT_EQ(box.icon, BoxIcon::Warning);
}

// The window's own help shows the page in the help window: from the pop-up item for the
// cursor row, and from a double click on a cell of another row.
TEST_F(ParameterHelpTest, TheWindowShowsThePageInTheHelpWindow) {
    ParameterTableWindow& t = *table;
    t.Show();
    t.core().CursorRow = rowOf("0003");
    t.PopParaHelp->trigger();
    QTextBrowser* view = HelpViewer::currentWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->source().toLocalFile().endsWith("/html/f003.htm"))
        << view->source().toString().toStdString();
    EXPECT_TRUE(view->windowTitle().startsWith("F003 ")) << view->windowTitle().toStdString();

    // Press, release, double click and release on the value cell of another row.
    const QModelIndex at = t.core().model()->index(rowOf("0005") - 1, TC_Value);
    t.StringGrid1->scrollTo(at);
    const QPointF p = t.StringGrid1->visualRect(at).center();
    QWidget* vp = t.StringGrid1->viewport();
    const auto mouse = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent e(type, p, vp->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(HelpViewer::currentWindow(), view); // one window per help folder
    EXPECT_TRUE(view->source().toLocalFile().endsWith("/html/f005.htm"))
        << view->source().toString().toStdString();
    EXPECT_TRUE(prompter.boxes().empty());
}

} // namespace

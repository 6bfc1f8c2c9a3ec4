// The help page of a table row: which page a row opens, what opens nothing, the boxes about
// missing help, and the ways in (the items, a double click on the grid).
#include "ui/ParameterTableFixture.h"

#include "table/ParameterHelp.h"
#include "ui/HelpViewer.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

using Page = ParameterHelp::Page;

class ParameterHelpTest : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        context.ParaHelpFilePath = helpFile;
        createTable();
    }
    void TearDown() override {
        HelpViewer::closeAll();
        ParaTableFixture::TearDown();
    }
    // A help over the table's rows whose pages are recorded instead of shown.
    ParameterHelp recording(bool pagesExist = true) {
        return ParameterHelp(table->core(), context, options,
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

TEST_F(ParameterHelpTest, ARowOpensThePageOfItsTitleAndARowOfNoParameterOrABadTitleNothing) {
    const ParameterHelp help = recording();
    ASSERT_EQ(cell(TC_Title, "0001"), "F001");
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), (Page{helpFile, "html/f001.htm"}));
    for (int row : {0, rows(), rows() + 100, -1})
        EXPECT_EQ(help.pageOfRow(row), Page{}) << row;
    // Titles come from the drive-type files: none may lead out of the help folder.
    const std::pair<const char*, const char*> titles[] = {{"Ab_C2", "html/ab_c2.htm"},
                                                          {"../../index", ""},
                                                          {"html/f001", ""},
                                                          {"..\\f001", ""},
                                                          {"F..", ""},
                                                          {"", ""}};
    for (const auto& [title, page] : titles) {
        setTitle("0002", title);
        EXPECT_EQ(help.pageOfRow(rowOf("0002")).page, page) << title;
    }
    // WinHelp: the contents of its help for every parameter row.
    options.WinHelpSlct.setChecked(true);
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), (Page{helpFile, ""}));
    EXPECT_EQ(help.pageOfRow(rows()), Page{});
}

TEST_F(ParameterHelpTest, TheItemsOpenTheCursorRowAndADoubleClickItsOwnRow) {
    ParameterHelp help = recording();
    table->core().CursorRow = rowOf("0002");
    help.PopParaHelpClick();
    help.openRow(rowOf("0005"));
    EXPECT_EQ(shown, (QList<Page>{{helpFile, "html/f002.htm"}, {helpFile, "html/f005.htm"}}));

    // A disabled command (no help when its name was built) and a cursor row left past the
    // rows by a view change open nothing.
    shown.clear();
    host.commands.setEnabled(TableCommand::ParaHelp, false);
    help.PopParaHelpClick();
    host.commands.setEnabled(TableCommand::ParaHelp, true);
    table->core().CursorRow = rows() + 3;
    help.PopParaHelpClick();
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(ParameterHelpTest, MissingHelpIsReportedOnceAndABadTitleNotAtAll) {
    const QString empty = folder->filePath("dat/HXA1(V110)/HXA1(Eng).chm");
    folder->writeFile("dat/HXA1(V110)/HXA1(Eng).chm/index.htm", "<html></html>");
    context.ParaHelpFilePath = empty;
    ParameterHelp help = recording(false);
    for (const char* comNo : {"0001", "0001", "0002"})
        help.openRow(rowOf(comNo));
    setTitle("0003", "../x");
    help.openRow(rowOf("0003"));
    // No help folder at all: one box, whichever rows follow.
    const QString none = folder->filePath("dat/HXA1(V110)/HXA1(Jap).chm");
    context.ParaHelpFilePath = none;
    for (const char* comNo : {"0001", "0002"})
        help.openRow(rowOf(comNo));
    EXPECT_EQ(prompter.texts(), (QStringList{"The help page " + empty + "/html/f001.htm is not found.",
                                             "The help page " + empty + "/html/f002.htm is not found.",
                                             "The parameter help " + none + " is not found."}));
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
    EXPECT_TRUE(view->source().toLocalFile().endsWith("/html/f003.htm"));
    EXPECT_TRUE(view->windowTitle().startsWith("F003 ")) << view->windowTitle().toStdString();

    const QModelIndex at = t.core().model()->index(rowOf("0005") - 1, TC_Value);
    t.gridView->scrollTo(at);
    const QPointF p = t.gridView->visualRect(at).center();
    QWidget* vp = t.gridView->viewport();
    const auto mouse = [&](QEvent::Type type, Qt::MouseButtons held) {
        QMouseEvent e(type, p, vp->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    };
    mouse(QEvent::MouseButtonPress, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    mouse(QEvent::MouseButtonDblClick, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(HelpViewer::currentWindow(), view); // one window per help folder
    EXPECT_TRUE(view->source().toLocalFile().endsWith("/html/f005.htm"));
    EXPECT_TRUE(prompter.boxes().empty());
}

// A compiled help file in the type folder (made by scripts/make-test-chm.sh): the row's page,
// its picture and its links come from inside it, the title follows the page, Escape closes.
TEST_F(ParameterHelpTest, ACompiledHelpFileIsShownInTheSameWindow) {
    QFile chm(QStringLiteral(KVR_SOURCE_DIR "/tests/ui/data/HXA1(Eng).chm"));
    ASSERT_TRUE(chm.open(QIODevice::ReadOnly));
    context.ParaHelpFilePath = folder->writeFile("dat/compiled/HXA1(Eng).chm", chm.readAll());
    ASSERT_FALSE(context.ParaHelpFilePath.isEmpty());
    ParameterTableWindow& t = *table;
    t.Show();
    t.core().CursorRow = rowOf("0003");
    t.PopParaHelp->trigger();
    QTextBrowser* view = HelpViewer::currentWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->source().path(), "/html/f003.htm");
    EXPECT_EQ(view->windowTitle(), "F003 compiled page");
    const QVariant picture =
        view->document()->resource(QTextDocument::ImageResource, view->source().resolved(QUrl("mark.png")));
    EXPECT_EQ(picture.value<QImage>().size(), QSize(8, 8));

    // The page's one link, "Contents", reached and followed from the keyboard.
    const auto key = [view](Qt::Key k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    };
    key(Qt::Key_Tab);
    key(Qt::Key_Return);
    EXPECT_EQ(view->source().path(), "/index.htm");
    EXPECT_EQ(view->windowTitle(), "HXA1 test help");
    view->backward();
    EXPECT_EQ(view->windowTitle(), "F003 compiled page");

    // A page the file lacks shows nothing and leaves the window as it was.
    EXPECT_FALSE(HelpViewer::displayTopic(context.ParaHelpFilePath, "html/f999.htm"));
    EXPECT_EQ(view->source().path(), "/html/f003.htm");
    EXPECT_TRUE(prompter.boxes().empty());

    key(Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
}

} // namespace

// The help page of a table row in the help window: the ways in from the table window (the
// item, a double click on the grid) and a compiled help file.
#include "ui/ParameterTableFixture.h"

#include "ui/HelpViewer.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextBrowser>
#include <QTextDocument>

namespace {

class ParameterHelpTest : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        context.paths.parameterHelpFile = helpFile;
        createTable();
    }
    void TearDown() override {
        HelpViewer::closeAll();
        ParaTableFixture::TearDown();
    }
    const QString helpFile = shippedDataDir() + "/dat/HXA1(V110)/HXA1(Eng).chm";
};

// The window's own help shows the page in the help window: from the pop-up item for the
// cursor row, and from a double click on a cell of another row.
TEST_F(ParameterHelpTest, TheWindowShowsThePageInTheHelpWindow) {
    ParameterTableWindow& t = *table;
    t.Show();
    t.core().setCursorRow(rowOf("0003"));
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
    context.paths.parameterHelpFile = folder->writeFile("dat/compiled/HXA1(Eng).chm", chm.readAll());
    ASSERT_FALSE(context.paths.parameterHelpFile.isEmpty());
    ParameterTableWindow& t = *table;
    t.Show();
    t.core().setCursorRow(rowOf("0003"));
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
    EXPECT_FALSE(HelpViewer::displayTopic(context.paths.parameterHelpFile, "html/f999.htm"));
    EXPECT_EQ(view->source().path(), "/html/f003.htm");
    EXPECT_TRUE(prompter.boxes().empty());

    key(Qt::Key_Escape);
    EXPECT_FALSE(view->isVisible());
}

} // namespace

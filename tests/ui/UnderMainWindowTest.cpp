// Windows "under the main window" stand below the main window's outer frame, so its tool
// bar and link icon stay uncovered, also when the frames are known only after the show.
#include "ui/UnderMainWindow.h"
#include "link/TransferEngine.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/TestProgram.h"
#include "ui/ParameterTableFixture.h"
#include "ui/ResultWindow.h"

#include <QCoreApplication>
#include <QMainWindow>

namespace {

TEST(UnderMainWindow, TheOuterRectangleStartsBelowTheMainWindowsFrameAndTheClientInsideItsOwn) {
    // A main window whose client is 639 x 42 at (1, 20) in a frame of 1 pixel and a 19 pixel
    // title: its outer rectangle is 641 x 63 at the origin.
    const QRect main(0, 0, 641, 63);
    const QRect outer = UnderMainWindow::underAtMainWidth(main, QSize());
    EXPECT_EQ(outer, QRect(0, 63, 641, 417));
    EXPECT_GT(outer.top(), main.bottom()); // the title bar does not cover the tool bar
    EXPECT_EQ(UnderMainWindow::clientRect(outer, QMargins(1, 20, 1, 1)), QRect(1, 83, 639, 396));
    EXPECT_EQ(UnderMainWindow::underKeepingSize(main, QSize(360, 406)), QRect(0, 63, 360, 406));
    // Placed by the main window's rectangle before its frame is known, the window's title bar
    // would lie over the lower 21 pixels of the main window: the fault this guards against.
    EXPECT_EQ(UnderMainWindow::underAtMainWidth(QRect(0, 0, 639, 42), QSize()).top(), main.bottom() - 20);
}

TEST_F(ParaTableFixture, TheTableMovesUnderTheMainWindowsFrameOnceTheFrameIsKnown) {
    // When the table is made, the main window's frame is not yet known.
    host.frame = QRect(0, 0, 639, 42);
    ParameterTableWindow& t = createTable();
    EXPECT_EQ(t.frameGeometry().topLeft(), QPoint(0, 42));
    t.Show();
    // The window manager has framed the main window by now.
    host.frame = QRect(0, 0, 641, 63);
    EXPECT_TRUE(waitUntil([&] { return t.frameGeometry().topLeft() == QPoint(0, 63); }))
        << t.frameGeometry().top();
    // At least the main window's width (wider where the names and numbers need it).
    const QMargins frame = UnderMainWindow::frameMargins(t);
    EXPECT_GE(t.frameGeometry().width(), std::max(641, 639 + frame.left() + frame.right()));
    EXPECT_EQ(t.frameGeometry().height(), 417);

    // Once settled, the user's own moves stand.
    ASSERT_TRUE(waitUntil([&] { return !t.findChild<UnderMainWindow*>()->settling(); }));
    t.move(200, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.frameGeometry().topLeft(), QPoint(200, 300));
}

TEST(UnderMainWindow, TheResultWindowFollowsAFrameKnownOnlyAfterItsShow) {
    QRect mainFrame(0, 0, 639, 42);
    QWidget mainStandIn;
    TestProgram program;
    TransferJob job;
    MainWindowLinks links;
    links.window = &mainStandIn;
    // The stand-in reports what the window manager would: first no frame, then its frame.
    mainStandIn.setGeometry(mainFrame);
    ResultWindow form(program.context, program.options, installedAsker(), job, links);
    form.show();
    mainStandIn.setGeometry(QRect(10, 30, 639, 42));
    mainStandIn.show();
    const QRect f = mainStandIn.frameGeometry();
    EXPECT_TRUE(waitUntil([&] { return form.frameGeometry().top() == f.top() + f.height(); }))
        << form.frameGeometry().top() << " " << f.top() + f.height();
    EXPECT_EQ(form.frameGeometry().left(), f.left());
    form.hide();
}

// The window system reports sizes late: an earlier size of the placement's own, reported after
// the window widened itself, is still the placement's; a size from anyone else stands.
TEST(UnderMainWindow, ALateReportOfItsOwnEarlierSizeIsNotTakenForSomeoneElses) {
    for (const bool ownEarlierSize : {true, false}) {
        QRect mainFrame(0, 0, 639, 42);
        QWidget window;
        auto* placement = new UnderMainWindow(
            window, [&] { return mainFrame; }, UnderMainWindow::underAtMainWidth);
        placement->place();
        const QSize first = window.size();
        window.show();
        placement->widen(first.width() + 100);
        window.resize(ownEarlierSize ? first : QSize(500, 300));
        mainFrame = QRect(0, 0, 641, 63); // the main window's frame comes
        ASSERT_TRUE(waitUntil([&] { return !placement->settling(); }));
        const QRect placed = UnderMainWindow::clientRect(
            UnderMainWindow::underAtMainWidth(mainFrame, QSize()), UnderMainWindow::frameMargins(window));
        EXPECT_EQ(window.height(), ownEarlierSize ? placed.height() : 300) << ownEarlierSize;
    }
}

} // namespace

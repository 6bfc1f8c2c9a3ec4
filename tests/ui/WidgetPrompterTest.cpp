// A box asked for without a parent opens centred on the program's active window, not in the
// middle of the screen far from the 640-pixel main window at the top left.
#include "ui/WidgetPrompter.h"
#include "support/LoadedMachine.h"

#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

struct SeenBox {
    QRect frame;
    QWindow* transientParent = nullptr;
};

// Shows a box through the real prompter and notes where it stood before answering it.
SeenBox boxSeen(QWidget* parent = nullptr) {
    SeenBox seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.frame = box->frameGeometry();
        seen.transientParent = box->windowHandle() ? box->windowHandle()->transientParent() : nullptr;
        box->done(QMessageBox::Ok);
    });
    WidgetPrompter prompter;
    EXPECT_EQ(prompter.message("Text", "Caption", BoxIcon::Warning, BoxButtons::Ok, parent), BoxAnswer::Ok);
    return seen;
}

TEST(WidgetPrompter, ABoxWithoutParentIsCentredOnTheActiveWindow) {
    QWidget main;
    main.setWindowTitle("main");
    main.setGeometry(20, 10, 640, 60);
    main.show();
    main.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &main; }));
    ASSERT_EQ(WidgetPrompter::ownerWindow(), &main);

    const SeenBox seen = boxSeen();
    ASSERT_TRUE(seen.frame.isValid());
    const QPoint centre = main.frameGeometry().center();
    EXPECT_LE(std::abs(seen.frame.center().x() - centre.x()), 2)
        << seen.frame.center().x() << " " << centre.x();
    // A box taller than the window is still whole on the screen.
    EXPECT_GE(seen.frame.top(), main.screen()->availableGeometry().top());
    EXPECT_LT(seen.frame.top(), main.frameGeometry().bottom());
    EXPECT_EQ(seen.transientParent, main.windowHandle());
}

TEST(WidgetPrompter, TheOwnerIsTheModalDialogOrTheWindowOfAPopupMenu) {
    QWidget main;
    main.setGeometry(300, 200, 640, 60);
    main.show();
    main.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &main; }));
    QMenu menu(&main);
    menu.addAction("item");
    menu.popup(QPoint(320, 230));
    ASSERT_TRUE(waitUntil([&] { return QApplication::activePopupWidget() == &menu; }));
    EXPECT_EQ(WidgetPrompter::ownerWindow(), &main);
    menu.close();

    QDialog dialog(&main);
    dialog.setGeometry(100, 400, 300, 100);
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeModalWidget() == &dialog; }));
    EXPECT_EQ(WidgetPrompter::ownerWindow(), &dialog);
    const SeenBox seen = boxSeen();
    EXPECT_LE(std::abs(seen.frame.center().x() - dialog.frameGeometry().center().x()), 2);
    dialog.hide();
}

} // namespace

// Files dragged from a file manager onto the table window: what the window accepts, and that
// the files are handed on only once the drop event is over.
#include "ui/ParameterTableFixture.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

TEST_F(ParaTableFixture, DroppedFilesAreTakenAsACopyAndHandedOnAfterTheDropEvent) {
    ParameterTableWindow& t = createTable();
    t.Show();
    QList<QStringList> handed;
    quint8 editActive = 0xff;
    t.loadDroppedFiles = [&](const QStringList& paths) {
        handed << paths;
        editActive = t.core().pendingEntry().active();
    };
    // The window is the target wherever the drop lands: the grid takes none of its own.
    EXPECT_TRUE(t.acceptDrops());
    EXPECT_FALSE(t.gridView->viewport()->acceptDrops());

    // A file manager offers a copy and a move; a source offering only a move would delete
    // the file once the drop was accepted.
    const auto enter = [&](const QMimeData& data, Qt::DropActions actions) {
        QDragEnterEvent e(QPoint(100, 100), actions, &data, Qt::LeftButton, Qt::NoModifier);
        e.setAccepted(false);
        QApplication::sendEvent(&t, &e);
        return e.isAccepted() ? e.dropAction() : Qt::IgnoreAction;
    };
    QMimeData files, text;
    files.setUrls({QUrl::fromLocalFile("/data/sets/a.kvr"), QUrl("https://example.com/b.kvr")});
    text.setText("0001,5");
    EXPECT_EQ(enter(files, Qt::CopyAction | Qt::MoveAction), Qt::CopyAction);
    EXPECT_EQ(enter(files, Qt::MoveAction), Qt::IgnoreAction);
    EXPECT_EQ(enter(text, Qt::CopyAction), Qt::IgnoreAction);

    // A value being typed is given up before the files are read.
    t.core().setCurrentCell(TC_Value, rowOf("0002"));
    t.entry().cancelForMove();
    const QString before = cell(TC_Value, "0002");
    t.entry().typeCharacter(QChar(u'7'));
    ASSERT_EQ(t.core().pendingEntry().active(), true);

    QDropEvent drop(QPointF(100, 100), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&t, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(handed.isEmpty()); // not inside the drop event
    QCoreApplication::processEvents();
    // A URL of no local file comes as an empty path, which the name check refuses.
    EXPECT_EQ(handed, (QList<QStringList>{{"/data/sets/a.kvr", ""}}));
    EXPECT_EQ(editActive, 0);
    EXPECT_EQ(cell(TC_Value, "0002"), before);
}

} // namespace

// Files dragged from a file manager onto the table window: what the window accepts, and that
// the files are handed on only once the drop event is over.
#include "ui/ParameterTableFixture.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

class ParameterTableDropTest : public ParaTableFixture {
protected:
    void SetUp() override {
        ParaTableFixture::SetUp();
        createTable().Show();
        table->loadDroppedFiles = [this](const QStringList& paths) {
            handed << paths;
            editActiveWhenHanded = table->core().EditActive;
        };
    }
    // A drag entering the window from a file manager, which offers a copy and a move.
    bool enter(const QMimeData& data, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
        QDragEnterEvent e(QPoint(100, 100), actions, &data, Qt::LeftButton, Qt::NoModifier);
        e.setAccepted(false);
        QApplication::sendEvent(table.get(), &e);
        action = e.dropAction();
        return e.isAccepted();
    }
    bool drop(const QMimeData& data) {
        QDropEvent e(QPointF(100, 100), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                     Qt::NoModifier);
        e.setAccepted(false);
        QApplication::sendEvent(table.get(), &e);
        action = e.dropAction();
        return e.isAccepted();
    }
    static void setFiles(QMimeData& data, const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
    }

    QList<QStringList> handed;
    quint8 editActiveWhenHanded = 0xff;
    Qt::DropAction action = Qt::IgnoreAction;
};

TEST_F(ParameterTableDropTest, FilesAreAcceptedAsACopyAndOtherDataNot) {
    // The window is the target wherever the drop lands: the grid takes none of its own.
    EXPECT_TRUE(table->acceptDrops());
    EXPECT_FALSE(table->StringGrid1->viewport()->acceptDrops());

    QMimeData files;
    setFiles(files, {"/data/sets/param.kvr"});
    EXPECT_TRUE(enter(files));
    EXPECT_EQ(action, Qt::CopyAction);

    QMimeData text;
    text.setText("0001,5");
    EXPECT_FALSE(enter(text));
    // A source offering only a move would delete the file once the drop was accepted.
    EXPECT_FALSE(enter(files, Qt::MoveAction));
    EXPECT_FALSE(drop(text));
    QCoreApplication::processEvents();
    EXPECT_TRUE(handed.isEmpty());
}

TEST_F(ParameterTableDropTest, TheFilesAreHandedOnAfterTheDropEventWithTheTypingCancelled) {
    // A value being typed in the cursor row.
    ParameterTable& core = table->core();
    core.setCurrentCell(TC_Value, rowOf("0002"));
    table->entry().Click();
    const QString shown = cell(TC_Value, "0002");
    table->entry().KeyPress(QChar(u'7'));
    ASSERT_EQ(core.EditActive, 1);

    QMimeData files;
    setFiles(files, {"/data/sets/a.kvr", "/data/sets/b.kvr"});
    ASSERT_TRUE(enter(files));
    EXPECT_TRUE(drop(files));
    EXPECT_EQ(action, Qt::CopyAction);
    EXPECT_TRUE(handed.isEmpty()); // not inside the drop event
    QCoreApplication::processEvents();
    EXPECT_EQ(handed, (QList<QStringList>{{"/data/sets/a.kvr", "/data/sets/b.kvr"}}));
    EXPECT_EQ(editActiveWhenHanded, 0);
    EXPECT_EQ(cell(TC_Value, "0002"), shown);
}

} // namespace

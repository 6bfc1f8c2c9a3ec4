// A tool button bound to a table command shows the command's state, not its own click.
#include "table/TableCommands.h"

#include <QAction>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

using C = TableCommand;

TEST(TableCommands, APressedToolButtonShowsTheStateNotItsOwnClick) {
    TableCommands c;
    QToolBar bar;
    QAction* quick = bar.addAction(QStringLiteral("Quick"));
    quick->setCheckable(true);
    c.setAvailable(C::Quick, true);
    c.bindToolButton(C::Quick, quick);
    auto* button = qobject_cast<QToolButton*>(bar.widgetForAction(quick));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_FALSE(button->isChecked());
    EXPECT_FALSE(quick->isChecked());
    c.setChecked(C::Quick, true);
    EXPECT_TRUE(button->isChecked());
}

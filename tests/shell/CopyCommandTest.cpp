// The main window's Copy (Ctrl+C) copies the table's highlighted rows from either window.
#include "ui/ParameterTableFixture.h"

#include "shell/MainWindow.h"
#include "support/InstalledAsker.h"

#include <QApplication>
#include <QClipboard>

namespace {

using CopyCommand = ParaTableFixture;

TEST_F(CopyCommand, CtrlCOfTheMainWindowCopiesTheHighlightedRowsFromEitherWindow) {
    // The main window as the start-up wires it to the table.
    MainWindow main(context, options, installedAsker(), nullptr);
    ParameterTableWindow t(context, options, nullptr, main);
    t.placeAndFill();
    main.setTable(&t);
    t.Show();
    EXPECT_EQ(main.item(MainCommand::Copy)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(main.item(MainCommand::Copy)->shortcutContext(), Qt::ApplicationShortcut);
    EXPECT_TRUE(main.item(MainCommand::Copy)->isEnabled());
    t.core().setCurrentCell(TC_Name, 3);
    t.core().setSelection({TC_Name, 3, TC_Name, 4});
    QApplication::clipboard()->setText("before");
    main.item(MainCommand::Copy)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "Title\tFunction\r\n" + t.cells().cell(0, 3) + "\t" +
                                                     t.cells().cell(2, 3) + "\r\n" + t.cells().cell(0, 4) +
                                                     "\t" + t.cells().cell(2, 4) + "\r\n");
}

} // namespace

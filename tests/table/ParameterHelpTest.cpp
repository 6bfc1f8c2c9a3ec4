// The help page of a table row: which page a row opens, what opens nothing, the boxes about
// missing help, and the items and the double click that open it.
#include "table/ParameterHelp.h"
#include "support/TableFixture.h"

namespace {

using Page = ParameterHelp::Page;

class ParameterHelpTest : public TableFixture {
protected:
    void SetUp() override {
        TableFixture::SetUp();
        context.paths.parameterHelpFile = helpFile;
    }
    // A help over the table's rows whose pages are recorded instead of shown.
    ParameterHelp recording(bool pagesExist = true) {
        return ParameterHelp(core, context, options, [this, pagesExist](const QString& f, const QString& p) {
            shown << Page{f, p};
            return pagesExist;
        });
    }
    void setTitle(const QString& comNo, const QString& title) { core.setCell(TC_Title, rowOf(comNo), title); }

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
    options.hlpParameterHelp.setChecked(true);
    EXPECT_EQ(help.pageOfRow(rowOf("0001")), (Page{helpFile, ""}));
    EXPECT_EQ(help.pageOfRow(rows()), Page{});
}

TEST_F(ParameterHelpTest, TheItemsOpenTheCursorRowAndADoubleClickItsOwnRow) {
    ParameterHelp help = recording();
    core.setCursorRow(rowOf("0002"));
    help.showParameterHelp();
    help.openRow(rowOf("0005"));
    EXPECT_EQ(shown, (QList<Page>{{helpFile, "html/f002.htm"}, {helpFile, "html/f005.htm"}}));

    // A disabled command (no help when its name was built) and a cursor row left past the
    // rows by a view change open nothing.
    shown.clear();
    commands.setEnabled(TableCommand::ParaHelp, false);
    help.showParameterHelp();
    commands.setEnabled(TableCommand::ParaHelp, true);
    core.setCursorRow(rows() + 3);
    help.showParameterHelp();
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(ParameterHelpTest, MissingHelpIsReportedOnceAndABadTitleNotAtAll) {
    const QString empty = folder->filePath("dat/HXA1(V110)/HXA1(Eng).chm");
    folder->writeFile("dat/HXA1(V110)/HXA1(Eng).chm/index.htm", "<html></html>");
    context.paths.parameterHelpFile = empty;
    ParameterHelp help = recording(false);
    for (const char* comNo : {"0001", "0001", "0002"})
        help.openRow(rowOf(comNo));
    setTitle("0003", "../x");
    help.openRow(rowOf("0003"));
    // No help folder at all: one box, whichever rows follow.
    const QString none = folder->filePath("dat/HXA1(V110)/HXA1(Jap).chm");
    context.paths.parameterHelpFile = none;
    for (const char* comNo : {"0001", "0002"})
        help.openRow(rowOf(comNo));
    EXPECT_EQ(prompter.texts(), (QStringList{"The help page " + empty + "/html/f001.htm is not found.",
                                             "The help page " + empty + "/html/f002.htm is not found.",
                                             "The parameter help " + none + " is not found."}));
}

} // namespace

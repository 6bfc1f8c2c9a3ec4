#include "core/FakeFileCommandHost.h"
#include "core/ParaFileFixture.h"

#include "core/FileCommands.h"
#include "core/ParameterFileDrop.h"

#include <QDir>

namespace {

using Outcome = ParameterFileDrop::Outcome;

class ParameterFileDropTest : public ParaFileFixture {
protected:
    void SetUp() override {
        ParaFileFixture::SetUp();
        setParams({{"0000", "3"}, {"0001", "600"}, {"0002", "5"}});
        ASSERT_TRUE(QDir(dir.path()).mkdir("drop"));
        // A file opened before, elsewhere: what a refused drop must leave as it is.
        context.recent.openedName = "prev.kvr";
        context.recent.openedFolder = path("prev");
        context.recent.openFolder = path("prev");
        main.comment = "previous comment";
        commands.CommentsChk = true;
    }

    // A parameter file of the form the first line names, for the selected type QX100.
    static QByteArray file(const QString& form, const QStringList& data, const QString& capacity = "-4037",
                           const QString& cpu = "V110", const QString& comment = "No Comments.") {
        QStringList lines{form, "QX100", capacity};
        if (form == "###")
            lines << cpu << "English";
        lines << comment;
        if (form != "#")
            lines << "1"
                  << "2";
        return ((lines + data).join("\r\n") + "\r\n").toUtf8();
    }
    QString dropped(const QString& name) const { return path("drop/" + name); }
    Outcome drop(const QString& name) {
        return ParameterFileDrop(commands, main, context, prompter).load({dropped(name)});
    }

    // Nothing of the store, the caption, the opened file or Save changed.
    void expectUnchanged() const {
        EXPECT_EQ(values(), (QStringList{"3", "600", "5"}));
        EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V110)");
        EXPECT_FALSE(main.save);
        EXPECT_EQ(main.comment, "previous comment");
        EXPECT_EQ(context.recent.openedName, "prev.kvr");
        EXPECT_EQ(context.recent.openedFolder, path("prev"));
        EXPECT_FALSE(context.tableView.blindOn);
        EXPECT_TRUE(main.events.isEmpty());
    }

    FakeMain main{context};
    FileCommands commands{context, options, main, prompter};
};

TEST_F(ParameterFileDropTest, OneFileIsLoadedAndSaveThenRewritesItWhereItLies) {
    writeFile("drop/param.kvr", file("###", {"0001,1500,1,0", "0002,7,,"}, "-4037", "V110", "Pump A"));
    EXPECT_EQ(drop("param.kvr"), Outcome::Loaded);
    EXPECT_EQ(values(), (QStringList{"3", "1500", "7"}));
    EXPECT_EQ(cell("0001", UP_SelectIndex), "1");
    EXPECT_EQ(cell("0002", UP_SelectIndex), "0"); // an empty flag reads as 0
    EXPECT_EQ(main.comment, "Pump A");
    EXPECT_FALSE(commands.CommentsChk);
    EXPECT_EQ(context.tableView.blindCount, 2);
    EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V110) M1param.kvr (QX100-4037)");
    EXPECT_TRUE(main.save);
    EXPECT_EQ(context.recent.openedName, "param.kvr");
    EXPECT_EQ(context.recent.openedFolder, path("drop"));
    EXPECT_EQ(context.recent.openFolder, path("drop"));
    EXPECT_EQ(main.events, (QStringList{"refresh", "focus"}));

    setValue("0001", "1600");
    commands.saveParameterFile();
    EXPECT_TRUE(readFile("drop/param.kvr").contains("0001,1600,1,0"));
    EXPECT_FALSE(QFile::exists(path("prev/param.kvr")));
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ParameterFileDropTest, BothExtensionsAreReadInAnyCaseAndInEveryForm) {
    const struct {
        const char* name;
        const char* form;
        const char* value;
    } files[] = {{"param.kvr", "###", "11"}, {"PARAM.KVR", "##", "12"}, {"old.dat", "#", "13"}};
    for (const auto& f : files) {
        writeFile(QStringLiteral("drop/") + f.name, file(f.form, {QStringLiteral("0001,") + f.value}));
        EXPECT_EQ(drop(f.name), Outcome::Loaded) << f.name;
        EXPECT_EQ(value("0001"), f.value) << f.name;
    }
    EXPECT_TRUE(prompter.boxes().empty());
}

// ---- Refusals ---------------------------------------------------------------------------------

struct RefusalCase {
    const char* name;
    QStringList dropped; // file names in the drop folder ("" = a URL of no local file)
    QByteArray bytes;    // of each of them; null: a folder of that name
    std::vector<BoxAnswer> answers;
    QStringList boxes; // "%1" stands for the drop folder
    bool loadPathSet;  // the load folder follows the drop once its name passed
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class ParameterFileDropRefusal : public ParameterFileDropTest,
                                 public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ParameterFileDropRefusal, ShowsItsBoxAndChangesNothing) {
    const RefusalCase& c = GetParam();
    QStringList paths;
    for (const QString& name : c.dropped) {
        paths << (name.isEmpty() ? QString() : dropped(name));
        if (name.isEmpty())
            continue;
        if (c.bytes.isNull())
            ASSERT_TRUE(QDir(dir.path()).mkpath("drop/" + name));
        else
            writeFile("drop/" + name, c.bytes);
    }
    for (BoxAnswer a : c.answers)
        prompter.answer(a);
    EXPECT_EQ(ParameterFileDrop(commands, main, context, prompter).load(paths), Outcome::Refused);
    QStringList boxes;
    for (const QString& b : c.boxes)
        boxes << b.arg(path("drop"));
    EXPECT_EQ(prompter.texts(), boxes);
    int answered = 0; // the drop's own boxes and the reader's let window messages through
    for (const auto& box : prompter.boxes()) {
        EXPECT_EQ(box.caption, box.icon == BoxIcon::Error ? "KVR260X" : "M0");
        answered += box.icon == BoxIcon::Error ? 0 : 1;
    }
    EXPECT_EQ(prompter.eventsLetThrough(), answered);
    expectUnchanged();
    EXPECT_EQ(context.recent.openFolder, c.loadPathSet ? path("drop") : path("prev"));
    EXPECT_EQ(prompter.pendingAnswers(), 0u);
}

const QByteArray kGood = "###\r\nQX100\r\n-4037\r\nV110\r\nEnglish\r\nx\r\n0\r\n0\r\n0001,9\r\n";

INSTANTIATE_TEST_SUITE_P(
    Drops, ParameterFileDropRefusal,
    ::testing::Values(
        RefusalCase{"TwoFiles", {"a.kvr", "b.kvr"}, kGood, {}, {"M79"}, false},
        RefusalCase{"OtherExtension", {"param.txt"}, kGood, {}, {"M67"}, false},
        RefusalCase{"NoLocalFile", {""}, {}, {}, {"M67"}, false},
        RefusalCase{"NotTheOwnFormat", {"p.kvr"}, "Title,No.\r\n0001,5\r\n", {}, {"M67"}, true},
        RefusalCase{"HeaderCutShort", {"p.kvr"}, "###\r\nQX100\r\n-4037\r\n", {}, {"M67"}, true},
        RefusalCase{"OtherDriveType",
                    {"p.kvr"},
                    "##\r\nQX200\r\n-4037\r\nx\r\n0\r\n0\r\n0001,9\r\n",
                    {},
                    {"M9\nQX200-4037 M86"},
                    true},
        RefusalCase{"OtherCapacityCancelled",
                    {"p.kvr"},
                    "##\r\nQX100\r\n-2007\r\nx\r\n0\r\n0\r\n0001,9\r\n",
                    {BoxAnswer::Cancel},
                    {"M10\n* QX100-2007 M87\n\nM11\nM12\nM13"},
                    true},
        RefusalCase{"OtherCpuCancelled",
                    {"p.kvr"},
                    "###\r\nQX100\r\n-4037\r\nV200\r\nEnglish\r\nx\r\n0\r\n0\r\n0001,9\r\n",
                    {BoxAnswer::Cancel},
                    {"M14\n* QX100-4037 (V200) M87"},
                    true},
        RefusalCase{"CancelAtAnUnknownNumber",
                    {"p.kvr"},
                    "###\r\nQX100\r\n-4037\r\nV110\r\nEnglish\r\nx\r\n1\r\n2\r\n0002,9\r\nZZZZ,1\r\n",
                    {BoxAnswer::Cancel},
                    {"M67\nM80 ZZZZ\n\nM81\nM82"},
                    true},
        RefusalCase{"BadValueAfterAGoodOne",
                    {"p.kvr"},
                    "###\r\nQX100\r\n-4037\r\nV110\r\nEnglish\r\nx\r\n1\r\n2\r\n0002,9\r\n0001,nan\r\n",
                    {},
                    {"'nan' is not a valid floating point value."},
                    true},
        RefusalCase{
            "AFolderNamedLikeAFile", {"f.kvr"}, QByteArray(), {}, {"Cannot open file %1/f.kvr."}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Answers and stops --------------------------------------------------------------------------

TEST_F(ParameterFileDropTest, NoToAnotherCapacityKeepsTheCapacityParametersAtTheirDefaults) {
    context.drive.capacityNumbers = QStringList{"0001"};
    context.drive.capacityFollowers = QStringList{"0002"};
    setValue("0001", "601"); // the reset gives every parameter its default first
    writeFile("drop/param.kvr", file("##", {"0000,30", "0001,1500", "0002,50"}, "-2007"));
    prompter.answer(BoxAnswer::No);
    EXPECT_EQ(drop("param.kvr"), Outcome::Loaded);
    EXPECT_EQ(values(), (QStringList{"30", "600", "5"}));
    EXPECT_EQ(main.caption, "KVR260X QX100-4037 (CPU Ver.V110) M1param.kvr (QX100-2007)");
}

// Unlike File > Open, a drop does not refuse a file recording a drive's special set-up.
TEST_F(ParameterFileDropTest, SpecialSetUpMarkersAreNotChecked) {
    setParams({{"0000", "3"}, {"0998", "1"}, {"0999", "2"}});
    writeFile("drop/param.kvr", file("###", {"0000,4", "0998,5"}));
    EXPECT_EQ(drop("param.kvr"), Outcome::Loaded);
    EXPECT_EQ(value("0998"), "5");
    EXPECT_TRUE(prompter.boxes().empty());
}

} // namespace

#include "core/ParaFileFixture.h"
#include "core/StoreCells.h"

#include "platform/BoxText.h"
#include "platform/TextFile.h"

using namespace ParaFile;

namespace {

class ParaFileTest : public ParaFileFixture {
protected:
    void SetUp() override {
        ParaFileFixture::SetUp();
        setParams({{"0000", "3"},
                   {"0001", "600"},
                   {"0002", "0"},
                   {"0998", "1"},
                   {"0999", "2"},
                   {"A012", "0001", "1"}});
    }
    // A "###" file of the selected identity with these data lines.
    static QStringList fullFile(const QStringList& data, const QString& comment = "No Comments.",
                                const QString& blind = "0", const QString& count = "0") {
        return QStringList{"###", "QX100", "-4037", "V110", "English", comment, blind, count} + data;
    }
};

TEST_F(ParaFileTest, WriterLaysOutTheFullFormByteForByte) {
    setParams({{"0000", "3"}, {"0001", "600"}});
    ASSERT_TRUE(WriteParameterFile(context, path("x.kvr"), QString(), false, false, prompter));
    EXPECT_EQ(readFile("x.kvr"),
              QByteArray("###\r\nQX100\r\n-4037\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n"
                         "0000,3,0,0\r\n0001,600,0,0\r\n"));
}

TEST_F(ParaFileTest, WriterKeepsTheCommentOnOneLine) {
    const QStringList lines = buildLines(context, "two\r\nlines\nhere", true, false);
    EXPECT_EQ(lines.at(5), "two lines here");
    EXPECT_EQ(lines.at(6), "1");
}

TEST_F(ParaFileTest, ChangedOnlyWritesChangedAndHiddenParameters) {
    setValue("0001", "700");
    store->setWorkingText(UP_ChangeIndex, 1, "1");
    store->setWorkingText(UP_BlindIndex, 2, "1"); // "0002": hidden, at its default
    const QStringList lines = buildLines(context, QString(), false, true);
    EXPECT_EQ(lines.mid(8), (QStringList{"0001,700,0,0", "0002,0,0,1"}));
}

TEST_F(ParaFileTest, RoundTripOfTwoThousandParametersRestoresEveryValueAndTheBlindState) {
    setSyntheticParams(2000);
    for (int i = 0; i < 2000; i += 3)
        StoreCells::setWork(context, UP_Value, i, QString::number(i * 11 - 5000));
    normalMarkers();
    StoreCells::setWork(context, UP_BlindIndex, 1999, "1");
    store->setWorkingText(UP_SelectIndex, 16, "1");
    context.tableView.blindCount = 1;
    const QStringList written = values();
    ASSERT_TRUE(WriteParameterFile(context, path("big.kvr"), "field set-up", true, false, prompter));

    ParaFile::resetValuesToDefaults(context);
    context.tableView.blindOn = false;
    context.tableView.blindCount = 0;
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(path("big.kvr"), lines));
    const ReadOutcome r = read(context, lines);
    EXPECT_EQ(r.result, ReadResult::Loaded);
    EXPECT_EQ(values(), written);
    EXPECT_EQ(r.comment, "field set-up");
    EXPECT_TRUE(context.tableView.blindOn);
    EXPECT_EQ(context.tableView.blindCount, 1);
    EXPECT_EQ(store->workingText(UP_BlindIndex, 1999), "1");
    EXPECT_EQ(store->workingText(UP_SelectIndex, 16), "1");
    EXPECT_EQ(store->workingText(UP_ChangeIndex, 0), "1"); // -5000 differs from default 0
}

TEST_F(ParaFileTest, DataLinesAreReadWithoutBlanksAndMissingMarksReadAsZero) {
    store->setWorkingText(UP_BlindIndex, 2, "1"); // a stale mark of the previous set
    const ReadOutcome r = read(context, fullFile({" 0000 , 7 ,1, 1", "0001,601", "\"A012\",5,,"}));
    ASSERT_EQ(r.result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "7");
    EXPECT_EQ(cell("0000", UP_SelectIndex), "1");
    EXPECT_EQ(cell("0000", UP_BlindIndex), "1");
    EXPECT_EQ(value("0001"), "601");
    EXPECT_EQ(cell("0001", UP_SelectIndex), "0");
    EXPECT_EQ(value("A012"), "5");
    EXPECT_EQ(cell("0002", UP_BlindIndex), "0");
    EXPECT_EQ(value("0002"), "0");
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ParaFileTest, ValuesAreTakenAsWrittenAndTheDefaultRuleFillsTheRest) {
    setValue("A012", "99");
    ASSERT_EQ(read(context, fullFile({"0000,12.5", "0001,99999"})).result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "12.5");
    EXPECT_EQ(value("0001"), "99999");
    EXPECT_EQ(value("A012"), "600"); // default taken from parameter 0001's default
}

TEST_F(ParaFileTest, AnEmptyLineEndsTheDataAndTheReadSucceeds) {
    ASSERT_EQ(read(context, fullFile({"0000,9", "", "0001,9"})).result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(value("0001"), "600");
}

TEST_F(ParaFileTest, ShorterFormsReadTheirOwnLines) {
    context.tableView.blindOn = true;
    context.tableView.blindCount = 4;
    ReadOutcome r = read(context, {"#", "QX100", "-9999", "old comment", "0000,5"});
    ASSERT_EQ(r.result, ReadResult::Loaded); // the form is never compared in this form
    EXPECT_EQ(r.comment, "old comment");
    EXPECT_EQ(value("0000"), "5");
    EXPECT_TRUE(context.tableView.blindOn); // kept
    EXPECT_EQ(context.tableView.blindCount, 4);

    r = read(context, {"##", "QX100", "-4037", "No Comments.", "0", "0", "0001,8"});
    ASSERT_EQ(r.result, ReadResult::Loaded);
    EXPECT_EQ(r.comment, "");
    EXPECT_FALSE(context.tableView.blindOn);
    EXPECT_EQ(value("0001"), "8");
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ParaFileTest, FirstLineMustBeExactlyAFormMarker) {
    EXPECT_EQ(read(context, {"### ", "QX100"}).result, ReadResult::NotOwnFormat);
    ReadOptions startUp;
    startUp.acceptShortForms = false;
    EXPECT_EQ(read(context, {"##", "QX100", "-4037", "c", "0", "0"}, startUp).result,
              ReadResult::NotOwnFormat);
}

struct MarkerCase {
    const char* name;
    QStringList data;
    QString comment;
    QString box; // "" = accepted
};

class ParaFileMarkerTest : public ParaFileTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(ParaFileMarkerTest, MarkerCheckLooksOnlyAtTheMarkerDataLines) {
    const MarkerCase& c = GetParam();
    const QStringList before = values();
    context.drive.identity.typeName = c.box.isEmpty() ? "QX100" : "OTHER"; // a refusal comes before identity
    if (!c.box.isEmpty()) {
        EXPECT_EQ(read(context, fullFile(c.data, c.comment)).result, ReadResult::Refused);
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, c.box);
        EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::None);
        EXPECT_EQ(values(), before);
    } else {
        EXPECT_EQ(read(context, fullFile(c.data, c.comment)).result, ReadResult::Loaded);
        EXPECT_TRUE(prompter.boxes().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Markers, ParaFileMarkerTest,
    ::testing::Values(MarkerCase{"FirstMarkerNotOne", {"0998,2,0,0"}, "No Comments.", "M103\n\n\nM105"},
                      MarkerCase{"SecondMarkerNotTwo", {"0000,1", "0999,1,0,0"}, "x", "M104\n\n\nM105"},
                      MarkerCase{"LeadingZeroIsNotOne", {"0998,01"}, "x", "M103\n\n\nM105"},
                      MarkerCase{"NormalMarkers", {"0998,1", "0999,2"}, "x", ""},
                      MarkerCase{"CommentMentioningTheNumber", {"0000,1"}, "see 0998", ""},
                      MarkerCase{"ValueContainingTheDigits", {"0000,20999,0,0", "0001,10998"}, "x", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ParaFileTest, OtherDriveTypeIsRefusedWithTheFilesIdentity) {
    const QStringList before = values();
    QStringList f = fullFile({"0000,9"});
    f[1] = "QX200";
    EXPECT_EQ(read(context, f).result, ReadResult::Refused);
    EXPECT_EQ(read(context, {"#", "QX200", "-4037", "c", "0000,9"}).result, ReadResult::Refused);
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, "M9\nQX200-4037 (V110) M86");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(prompter.boxes()[1].text, "M9\nQX200-4037 M86");
    EXPECT_EQ(values(), before);
}

TEST_F(ParaFileTest, OtherCapacityAnswersDecideWhatIsTaken) {
    context.drive.capacityNumbers = QStringList{"0001"};
    context.drive.capacityFollowers = QStringList{"A012"};
    QStringList f = fullFile({"0000,9", "0001,9", "A012,9"});
    f[2] = "-4075";
    const QString question = "M10\n* QX100-4075 (V110) M87\n\nM11\nM12\nM13";
    const QStringList before = values();

    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(read(context, f).result, ReadResult::Refused);
    EXPECT_EQ(values(), before);

    prompter.answer(BoxAnswer::No);
    EXPECT_EQ(read(context, f).result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(value("0001"), "600");
    EXPECT_EQ(value("A012"), "600");

    prompter.answer(BoxAnswer::Yes);
    EXPECT_EQ(read(context, f).result, ReadResult::Loaded);
    EXPECT_EQ(value("0001"), "9");
    EXPECT_EQ(value("A012"), "9");

    ASSERT_EQ(prompter.boxes().size(), 3u);
    EXPECT_EQ(prompter.boxes()[0].text, question);
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::YesNoCancel);
}

TEST_F(ParaFileTest, OtherCpuVersionAsksOkOrCancel) {
    QStringList f = fullFile({"0000,9"});
    f[3] = "V120";
    const QStringList before = values();
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(read(context, f).result, ReadResult::Refused);
    EXPECT_EQ(values(), before);
    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(read(context, f).result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(prompter.boxes()[0].text, "M14\n* QX100-4037 (V120) M87");
    EXPECT_EQ(prompter.boxes()[0].buttons, BoxButtons::OkCancel);
}

TEST_F(ParaFileTest, UnknownNumberOkSkipsTheLineAndCancelStopsPartWay) {
    setValue("0001", "123"); // the previous set
    const QStringList f = fullFile({"0000,9", "ZZZZ,5,0,0", "0001,9", "a012,4"});
    prompter.answer(BoxAnswer::Ok);
    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(read(context, f).result, ReadResult::Loaded);
    EXPECT_EQ(value("0001"), "9");
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, "M67\nM80 ZZZZ\n\nM81\nM82");
    EXPECT_EQ(prompter.boxes()[1].text, "M67\nM80 a012\n\nM81\nM82"); // lower case is another number

    setValue("0000", "77");
    setValue("0001", "123");
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(read(context, f).result, ReadResult::Stopped);
    EXPECT_EQ(value("0000"), "77"); // the line before the stop is not taken either
    EXPECT_EQ(value("0001"), "123");
}

// A stop at any line leaves the previous set and the Blind state whole.
TEST_F(ParaFileTest, ConversionErrorsStopWithTheLibraryTextAndChangeNothing) {
    setValue("0000", "77");
    context.tableView.blindOn = true;
    context.tableView.blindCount = 4;
    const QStringList before = values();
    EXPECT_EQ(read(context, fullFile({"0000,9"}, "c", "abc")).result, ReadResult::Stopped);
    // A bad value, a line cut after its number, "nan", a value beyond a double, a zero byte.
    for (const QString& bad : {QString("0001,x1"), QString("0001"), QString("0001,nan"),
                               QString("0001,1e999"), QString("0001,6") + QChar(0)})
        EXPECT_EQ(read(context, fullFile({"0000,9", bad, "0002,5"}, "c", "0", "1")).result,
                  ReadResult::Stopped)
            << bad.toStdString();
    EXPECT_EQ(values(), before);
    EXPECT_TRUE(context.tableView.blindOn);
    EXPECT_EQ(context.tableView.blindCount, 4);
    ASSERT_EQ(prompter.boxes().size(), 6u);
    EXPECT_EQ(prompter.boxes()[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(prompter.boxes()[1].text, "'x1' is not a valid floating point value.");
    EXPECT_EQ(prompter.boxes()[1].caption, "KVR260X");
    EXPECT_EQ(prompter.boxes()[1].icon, BoxIcon::Error);
    EXPECT_EQ(prompter.boxes()[2].text, "'' is not a valid floating point value.");
}

TEST_F(ParaFileTest, TextsOfTheFileQuotedInBoxesAreCutShort) {
    const QString longText(100000, 'Z');
    const QString cut = QString(BoxText::kQuotedLength - 1, 'Z') + QString::fromUtf8("…");
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(read(context, fullFile({longText + ",1"})).result, ReadResult::Stopped);
    EXPECT_EQ(read(context, fullFile({"0000,9"}, "c", longText)).result, ReadResult::Stopped);
    QStringList f = fullFile({"0000,9"});
    f[1] = longText;
    EXPECT_EQ(read(context, f).result, ReadResult::Refused);
    EXPECT_EQ(prompter.texts(),
              (QStringList{"M67\nM80 " + cut + "\n\nM81\nM82", "'" + cut + "' is not a valid integer value.",
                           "M9\n" + cut + " (V110) M86"}));
}

TEST_F(ParaFileTest, ShortHeaderStopsAtTheMissingBlindLine) {
    const ReadOutcome r = read(context, {"###", "QX100", "-4037", "V110"});
    EXPECT_EQ(r.result, ReadResult::Stopped);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "'' is not a valid integer value.");
}

TEST_F(ParaFileTest, ReadLimitCoversEveryLineTheWriterWritesAndNoMore) {
    setSyntheticParams(2000);
    QStringList data;
    for (int i = 0; i < 2000; ++i)
        data << definitionText(context.drive.parameters[std::size_t(i)], PD_ComNo) + (i == 999 ? ",2" : ",1");
    data << "ZZZZ,1"; // beyond the limit: never looked at
    ASSERT_EQ(read(context, fullFile(data)).result, ReadResult::Loaded);
    EXPECT_EQ(store->workingText(UP_Value, 1999), "1");
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ParaFileTest, StartUpOptionsStopAtAnUnknownNumberWithMessage67) {
    ReadOptions o;
    o.markerCheck = false;
    o.identityChecks = false;
    o.askOnUnknownNumber = false;
    QStringList f = fullFile({"0000,9", "ZZZZ,1", "0001,9"});
    f[1] = "QX900"; // the identity comes from the file on this path
    EXPECT_EQ(read(context, f, o).result, ReadResult::Stopped);
    EXPECT_EQ(value("0000"), "3");
    // The start with a file argument has no set to keep: the values before the stop stay.
    QList<int> taken;
    EXPECT_EQ(loadDataLines(context, f, 8, false, prompter, o, &taken), ReadResult::Stopped);
    EXPECT_EQ(value("0000"), "9");
    EXPECT_EQ(taken, QList<int>{0});
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, "M67");
}

} // namespace

// The page set-up record: the settings section "Page" as written and read back, and the
// checks of its entries.
#include "report/PageSetup.h"

#include "platform/IniFile.h"

#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace report;

namespace {

class PageSetupIni : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path() const { return dir.filePath("KVR260X.ini"); }
    QStringList fileLines() const {
        QFile f(path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    QTemporaryDir dir;
    const QStringList families{"Alpha Sans", "Beta Serif", "Gamma Mono"};
};

TEST_F(PageSetupIni, AFirstStartWritesTheDefaultsInTheSectionsOwnOrder) {
    {
        IniFile ini(path());
        ini.writeString("Other", "Key", "kept");
        ASSERT_TRUE(ini.flush());
    }
    const QStringList machine = QFontDatabase::families();
    PageSetup setup;
    setup.read(IniFile(path()), machine, "English");
    ASSERT_FALSE(setup.face.isEmpty()) << "a face the machine has is chosen even without Arial";
    IniFile ini(path());
    setup.write(ini, machine);
    ASSERT_TRUE(ini.flush());
    const QString facePos = QString::number(machine.indexOf(setup.face));
    EXPECT_EQ(fileLines(),
              QStringList({"[Other]", "Key=kept", "[Page]", "Item1=1", "Item2=0", "Item3=1", "Item4=1",
                           "Item5=0", "Item6=0", "ValCol=0", "PSet1=1", "PSet2=" + facePos, "PSet3=1",
                           "PSetT=10", "PSetB=10", "PSetL=10", "PSetR=10", "PSet4=15", "PSet5=3"}));
}

TEST_F(PageSetupIni, EveryKeyRoundTripsAndAnExistingSectionKeepsItsLines) {
    {
        IniFile ini(path());
        // A hand-edited file: other order and a foreign key, which stay where they are.
        ini.writeString("Page", "PSet5", "0");
        ini.writeString("Page", "Note", "mine");
        ini.writeString("Page", "Item1", "1");
        ASSERT_TRUE(ini.flush());
    }
    PageSetup out;
    out.printDate = false;
    out.printTime = true;
    out.printTypeForm = false;
    out.printPageNumber = false;
    out.printComment = true;
    out.printShipment = true;
    out.valueColor = 0x0000FF; // red
    out.portrait = false;
    out.face = "Gamma Mono";
    out.paperPosition = 4;
    out.topMargin = "12.5";
    out.bottomMargin = "0";
    out.leftMargin = "30";
    out.rightMargin = "7.25";
    out.cellHeight = "22";
    out.fontSize = "13"; // not in the list: stored as the nearest entry below
    out.comment = "not stored";
    {
        IniFile ini(path());
        out.write(ini, families);
        ASSERT_TRUE(ini.flush());
    }
    EXPECT_EQ(fileLines().mid(0, 4), QStringList({"[Page]", "PSet5=7", "Note=mine", "Item1=0"}));

    PageSetup in;
    in.read(IniFile(path()), families, "English");
    PageSetup expected = out;
    expected.fontSize = "12";
    expected.comment.clear();
    EXPECT_EQ(in.printDate, expected.printDate);
    EXPECT_EQ(in.printTime, expected.printTime);
    EXPECT_EQ(in.printTypeForm, expected.printTypeForm);
    EXPECT_EQ(in.printPageNumber, expected.printPageNumber);
    EXPECT_EQ(in.printComment, expected.printComment);
    EXPECT_EQ(in.printShipment, expected.printShipment);
    EXPECT_EQ(in.valueColor, expected.valueColor);
    EXPECT_EQ(in.portrait, expected.portrait);
    EXPECT_EQ(in.face, expected.face);
    EXPECT_EQ(in.paperPosition, expected.paperPosition);
    EXPECT_EQ(QStringList({in.topMargin, in.bottomMargin, in.leftMargin, in.rightMargin, in.cellHeight}),
              QStringList({"12.5", "0", "30", "7.25", "22"}));
    EXPECT_EQ(in.fontSize, expected.fontSize);
    EXPECT_EQ(in.comment, "");
    EXPECT_EQ(in.pageFormat().marginsMm, QMarginsF(30, 12.5, 7.25, 0));
    EXPECT_EQ(in.pageFormat().paper, Paper::B5);
}

TEST_F(PageSetupIni, StoredPositionsOutsideTheirListsLeaveNoChoice) {
    {
        IniFile ini(path());
        ini.writeInteger("Page", "PSet2", 3); // three faces: 0..2
        ini.writeInteger("Page", "PSet5", 13);
        ASSERT_TRUE(ini.flush());
    }
    PageSetup in;
    in.read(IniFile(path()), families, "English");
    EXPECT_EQ(in.face, "");
    EXPECT_EQ(in.fontSize, "");
}

TEST(PageSetupFace, TheDefaultFaceFallsBackToOneTheMachineHas) {
    const QString substitute = installedFamily("Arial");
    const QString japanese = QStringLiteral("\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF");
    EXPECT_EQ(defaultFace("English", {"Zeta", "Arial"}), "Arial");
    EXPECT_EQ(defaultFace("English", {"Zeta", substitute}), substitute);
    EXPECT_EQ(defaultFace("Japanese", {"Arial", japanese}), japanese);
    EXPECT_EQ(defaultFace("English", {"Zeta"}), "") << "nothing to choose from";
}

TEST(PageSetupChecks, EntriesAreCheckedAndOutOfRangeNumbersPutTheLimitBack) {
    const QStringList faces{"Alpha Sans"};
    const struct {
        const char* name;
        EntryCheck check;
        std::optional<EntryFault> fault;
        const char* replacement;
    } cases[] = {
        {"margin 30", checkMargin("30"), std::nullopt, ""},
        {"margin 0", checkMargin("0"), std::nullopt, ""},
        {"margin 10.5", checkMargin("10.5"), std::nullopt, ""},
        {"margin 30.5", checkMargin("30.5"), EntryFault::OutOfRange, "30"},
        {"margin -1", checkMargin("-1"), EntryFault::OutOfRange, "0"},
        {"margin letters", checkMargin("abc"), EntryFault::DataIncorrect, ""},
        {"margin empty", checkMargin(""), EntryFault::DataIncorrect, ""},
        {"margin 1,5", checkMargin("1,5"), EntryFault::DataIncorrect, ""},
        {"cell height 9", checkCellHeight("9"), EntryFault::OutOfRange, "10"},
        {"cell height 31", checkCellHeight("31"), EntryFault::OutOfRange, "30"},
        {"cell height 12.5", checkCellHeight("12.5"), EntryFault::DataIncorrect, ""},
        {"cell height 30", checkCellHeight("30"), std::nullopt, ""},
        {"font size 4", checkFontSize("4"), EntryFault::OutOfRange, "5"},
        {"font size 23", checkFontSize("23"), EntryFault::OutOfRange, "22"},
        {"font size 13", checkFontSize("13"), std::nullopt, ""},
        {"font size empty", checkFontSize(""), EntryFault::DataIncorrect, ""},
        {"paper B5", checkPaper("B5"), std::nullopt, ""},
        {"paper A6", checkPaper("A6"), EntryFault::SelectPaperSize, ""},
        {"paper empty", checkPaper(""), EntryFault::DataIncorrect, ""},
        {"face listed", checkFace("Alpha Sans", faces), std::nullopt, ""},
        {"face not listed", checkFace("Alpha", faces), EntryFault::SelectFont, ""},
        {"face empty", checkFace("", faces), EntryFault::DataIncorrect, ""},
        {"zoom 1", checkZoom("1", 100), EntryFault::OutOfRange, "2"},
        {"zoom 0", checkZoom("0", 100), EntryFault::OutOfRange, "2"},
        {"zoom letters count as the last zoom", checkZoom("ab", 100), std::nullopt, ""},
        {"zoom letters after a bad last zoom", checkZoom("ab", 1), EntryFault::OutOfRange, "2"},
        {"zoom 999", checkZoom("999", 100), std::nullopt, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.check.fault, c.fault) << c.name;
        EXPECT_EQ(c.check.replacement, QLatin1String(c.replacement)) << c.name;
    }
}

TEST(PageSetupChecks, ATypedFontSizeIsStoredAsTheNearestListEntry) {
    const struct {
        const char* text;
        int position;
    } cases[] = {{"8", 3}, {"13", 7}, {"15", 8}, {"17", 9}, {"22", 12}, {"40", 12}, {"1", 0}, {"x", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(fontSizePositionFor(c.text), c.position) << c.text;
}

TEST(PageSetupColor, StoredColoursAreBlueGreenRed) {
    EXPECT_EQ(colorFromColorRef(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(colorFromColorRef(0xFF8000), QColor(0, 0x80, 0xFF));
    EXPECT_EQ(colorRefFromColor(QColor(0, 0x80, 0xFF)), 0xFF8000);
    EXPECT_EQ(colorFromColorRef(int(0xFF000008)), QColor(Qt::black)) << "a system colour prints black";
}

} // namespace

#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <climits>
#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("test.ini")); }

    void writeRaw(const QByteArray& bytes) {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readRaw() const {
        QFile f(path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }
};

const QByteArray kSample = "; settings made by hand\r\n"
                           "[General]\r\n"
                           "Zeta=A\r\n"
                           "Alpha = B \r\n"
                           "mid=\"  C  \"\r\n"
                           "Alpha=second\r\n"
                           "\r\n"
                           "[Options]\r\n"
                           "Hex1=0x1F\r\n"
                           "Hex2=$10\r\n"
                           "Neg=-7\r\n"
                           "Bad=12abc\r\n"
                           "Flag=true\r\n"
                           "On=2\r\n"
                           "; a comment = not a key\r\n"
                           "NoEquals\r\n"
                           "Single='x'\r\n"
                           "\r\n";

TEST_F(IniFileTest, GeneralIsAnOrdinarySectionWithKeysInFileOrder) {
    writeRaw(kSample);
    IniFile ini(path());
    EXPECT_TRUE(ini.fileExists());
    EXPECT_EQ(ini.sections(), (QStringList{"General", "Options"}));
    EXPECT_EQ(ini.keys(QStringLiteral("general")),
              (QStringList{"Zeta", "Alpha", "mid", "Alpha"})); // duplicates kept, file order
    EXPECT_EQ(ini.readString("General", "Zeta"), "A");
}

TEST_F(IniFileTest, NamesMatchIgnoringCaseAndTheFirstOccurrenceWins) {
    writeRaw(kSample);
    IniFile ini(path());
    EXPECT_EQ(ini.readString("GENERAL", "alpha"), "B");
    EXPECT_TRUE(ini.sectionExists("options"));
    EXPECT_TRUE(ini.valueExists("Options", "hex1"));
    EXPECT_FALSE(ini.valueExists("Options", "Zeta"));
    EXPECT_EQ(ini.readString("Missing", "Zeta", "def"), "def");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndOnePairOfQuotesIsDropped) {
    writeRaw(kSample);
    IniFile ini(path());
    EXPECT_EQ(ini.readString("General", "Mid"), "  C  ");
    EXPECT_EQ(ini.readString("Options", "Single"), "x");
    EXPECT_FALSE(ini.valueExists("Options", "; a comment"));
    EXPECT_FALSE(ini.valueExists("Options", "NoEquals"));
}

TEST_F(IniFileTest, IntegersAreDecimalOrHexElseTheDefault) {
    writeRaw(kSample);
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger("Options", "Hex1", -1), 31);
    EXPECT_EQ(ini.readInteger("Options", "Hex2", -1), 16);
    EXPECT_EQ(ini.readInteger("Options", "Neg", -1), -7);
    EXPECT_EQ(ini.readInteger("Options", "Bad", -1), -1);
    EXPECT_EQ(ini.readInteger("Options", "Missing", 42), 42);
    EXPECT_EQ(ini.readInteger("General", "Zeta", 5), 5);
    // Booleans are integers: "true" is not one and gives the default.
    EXPECT_TRUE(ini.readBool("Options", "Flag", true));
    EXPECT_FALSE(ini.readBool("Options", "Flag", false));
    EXPECT_TRUE(ini.readBool("Options", "On", false));
}

TEST_F(IniFileTest, IntegerEdgeCases) {
    writeRaw("[N]\r\nMax=2147483647\r\nMin=-2147483648\r\nOver=2147483648\r\nAllOnes=$FFFFFFFF\r\n"
             "Empty=\r\nSign=-\r\nBlank=1 2\r\nPlus=+3\r\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger("N", "Max", 0), 2147483647);
    EXPECT_EQ(ini.readInteger("N", "Min", 0), INT_MIN);
    EXPECT_EQ(ini.readInteger("N", "Over", 9), 9);
    EXPECT_EQ(ini.readInteger("N", "AllOnes", 9), -1);
    EXPECT_EQ(ini.readInteger("N", "Empty", 9), 9);
    EXPECT_EQ(ini.readInteger("N", "Sign", 9), 9);
    EXPECT_EQ(ini.readInteger("N", "Blank", 9), 9);
    EXPECT_EQ(ini.readInteger("N", "Plus", 9), 3);
}

TEST_F(IniFileTest, WritesChangeOnlyTheirLineAndKeepEveryOtherByte) {
    // A file with LF ends, odd blanks and a comment: untouched lines keep their bytes.
    writeRaw("; top\n[A]\n  x = 1  \ny=2\n\n; about B\n[B]\nz=3\n");
    {
        IniFile ini(path());
        ini.writeString("a", "X", "10");  // in place, key keeps its spelling
        ini.writeInteger("A", "new", 5);  // after the last key of A, before the blank line
        ini.writeBool("C", "flag", true); // new section at the end
        ASSERT_TRUE(ini.flush());
    }
    EXPECT_EQ(readRaw(), QByteArray("; top\r\n[A]\r\nx=10\r\ny=2\r\nnew=5\r\n\r\n; about B\r\n[B]\r\nz=3\r\n"
                                    "\r\n[C]\r\nflag=1\r\n"));
}

TEST_F(IniFileTest, KeyAddedToAnEmptySectionFollowsItsHeader) {
    writeRaw("[A]\r\n[B]\r\nk=v\r\n");
    IniFile ini(path());
    ini.writeString("A", "k", "w");
    ASSERT_TRUE(ini.flush());
    EXPECT_EQ(readRaw(), QByteArray("[A]\r\nk=w\r\n[B]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, WrittenValuesReadBackUnchanged) {
    IniFile ini(path());
    EXPECT_FALSE(ini.fileExists());
    const QStringList values = {"plain", "  lead", "trail  ", "\"quoted\"", "'q'", "", "a=b;c", "\\dat\\x"};
    for (int i = 0; i < values.size(); ++i)
        ini.writeString("S", QStringLiteral("k%1").arg(i), values[i]);
    ini.writeString("S", "broken", "line1\nline2");
    ASSERT_TRUE(ini.flush());
    IniFile again(path());
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.readString("S", QStringLiteral("k%1").arg(i), "?"), values[i]) << i;
    // A line break would split the line; it becomes a blank instead.
    EXPECT_EQ(again.readString("S", "broken"), "line1 line2");
    EXPECT_EQ(again.keys("S").size(), values.size() + 1);
}

TEST_F(IniFileTest, DeleteKeyRemovesEveryOccurrenceAndEraseSectionItsLines) {
    writeRaw("[A]\r\nk=1\r\nk=2\r\nj=3\r\n[B]\r\nk=4\r\n");
    IniFile ini(path());
    ini.deleteKey("A", "K");
    EXPECT_FALSE(ini.valueExists("A", "k"));
    EXPECT_EQ(ini.readString("B", "k"), "4");
    ini.eraseSection("b");
    EXPECT_FALSE(ini.sectionExists("B"));
    ASSERT_TRUE(ini.flush());
    EXPECT_EQ(readRaw(), QByteArray("[A]\r\nj=3\r\n"));
}

TEST_F(IniFileTest, DestructorWritesPendingChanges) {
    {
        IniFile ini(path());
        ini.writeString("S", "k", "v");
        EXPECT_TRUE(ini.dirty());
    }
    EXPECT_EQ(readRaw(), QByteArray("[S]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, UnchangedFileIsNotRewritten) {
    writeRaw("[S]\nk=v\n");
    IniFile ini(path());
    ini.writeString("S", "K", "v"); // same value
    EXPECT_FALSE(ini.dirty());
    EXPECT_TRUE(ini.flush());
    EXPECT_EQ(readRaw(), QByteArray("[S]\nk=v\n"));
}

TEST_F(IniFileTest, FailedWriteIsReportedAndTheValuesStayPending) {
    // Tests run as root, so a read-only folder would not stop the write: use a folder
    // that is a file.
    const QString blocker = dir.filePath(QStringLiteral("notAFolder"));
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    IniFile ini(blocker + QStringLiteral("/x.ini"));
    ini.writeString("S", "k", "v");
    QString error;
    EXPECT_FALSE(ini.flush(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(ini.dirty());
    EXPECT_EQ(ini.readString("S", "k"), "v");
}

TEST_F(IniFileTest, LegacyFileIsReadAndWrittenBackInItsCodePage) {
    TextFile::setLegacyCodePage(QStringLiteral("CP1252"));
    // "Größe" and a euro sign in CP1252.
    writeRaw("[S]\r\nName=Gr\xf6\xdf"
             "e\r\nCur=\x80\r\nk=1\r\n");
    {
        IniFile ini(path());
        EXPECT_EQ(ini.readString("S", "Name"), QString::fromUtf8("Größe"));
        EXPECT_EQ(ini.readString("S", "Cur"), QString::fromUtf8("€"));
        EXPECT_EQ(ini.readBytes("S", "Name"), "Gr\xf6\xdf"
                                              "e");
        ini.writeString("S", "k", QString::fromUtf8(" é"));
        EXPECT_EQ(ini.readBytes("S", "k"), " \xe9"); // in the page before it is written
        ini.writeString("S", "k", QString::fromUtf8("é"));
        ASSERT_TRUE(ini.flush());
    }
    EXPECT_EQ(readRaw(), QByteArray("[S]\r\nName=Gr\xf6\xdf"
                                    "e\r\nCur=\x80\r\nk=\xe9\r\n"));
    {
        // A text the code page cannot hold turns the whole file into UTF-8, losing nothing.
        IniFile ini(path());
        ini.writeString("S", "k", QString::fromUtf8("日本"));
        ASSERT_TRUE(ini.flush());
    }
    IniFile again(path());
    EXPECT_EQ(again.readString("S", "Name"), QString::fromUtf8("Größe"));
    EXPECT_EQ(again.readString("S", "k"), QString::fromUtf8("日本"));
    EXPECT_TRUE(TextFile::isUtf8(readRaw()));
}

TEST_F(IniFileTest, ByteOrderMarkIsKeptAndIgnored) {
    writeRaw("\xEF\xBB\xBF[S]\r\nk=v\r\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString("S", "k"), "v");
    ini.writeString("S", "k", "w");
    ASSERT_TRUE(ini.flush());
    EXPECT_EQ(readRaw(), QByteArray("\xEF\xBB\xBF[S]\r\nk=w\r\n"));
}

TEST_F(IniFileTest, KeysBeforeTheFirstSectionBelongToNone) {
    writeRaw("loose=1\r\n[S]\r\nk=v\r\n");
    IniFile ini(path());
    EXPECT_FALSE(ini.valueExists("", "loose"));
    EXPECT_EQ(ini.sections(), QStringList{"S"});
}

TEST_F(IniFileTest, ReadsAreServedFromMemoryAfterTheOneRead) {
    writeRaw("[S]\r\nk=v\r\n");
    IniFile ini(path());
    writeRaw("[S]\r\nk=changed on disk\r\nnew=1\r\n");
    EXPECT_EQ(ini.readString("S", "k"), "v");
    EXPECT_FALSE(ini.valueExists("S", "new"));
}

// Lines inserted in front of others move what the index knows, and keys of a section are
// only indexed when first looked up: after a few writes and deletes, every look-up must find
// what a fresh read of the written file finds. Many short runs, each from the same file.
TEST_F(IniFileTest, LookUpsAfterWritesAndDeletesMatchAFreshRead) {
    const QByteArray sample =
        "; head\r\n[A]\r\na0=1\r\n\r\n[B]\r\nb0=2\r\nB0=dup\r\n[a]\r\na9=late\r\n[C]\r\n";
    const QStringList sections = {"A", "b", "C", "D"};
    const QStringList keys = {"a0", "B0", "a9", "k1", "K2"};
    QRandomGenerator random(13);
    for (int run = 0; run < 300; ++run) {
        writeRaw(sample);
        IniFile ini(path());
        QStringList done;
        for (int step = random.bounded(1, 6); step > 0; --step) {
            const QString s = sections[random.bounded(int(sections.size()))];
            const QString k = keys[random.bounded(int(keys.size()))];
            switch (random.bounded(8)) {
            case 0:
                ini.deleteKey(s, k);
                done << "delete " + s + "/" + k;
                break;
            case 1:
                ini.eraseSection(s);
                done << "erase " + s;
                break;
            case 2:
                ini.readString(s, k);
                done << "read " + s + "/" + k;
                break;
            default:
                ini.writeInteger(s, k, step);
                done << "write " + s + "/" + k;
                break;
            }
        }
        ASSERT_TRUE(ini.flush());
        IniFile fresh(path());
        for (const QString& section : sections) {
            ASSERT_EQ(ini.sectionExists(section), fresh.sectionExists(section))
                << done.join(", ").toStdString();
            ASSERT_EQ(ini.keys(section), fresh.keys(section)) << done.join(", ").toStdString();
            for (const QString& key : keys)
                ASSERT_EQ(ini.readString(section, key, "-"), fresh.readString(section, key, "-"))
                    << done.join(", ").toStdString() << ": " << section.toStdString() << "/"
                    << key.toStdString();
        }
    }
}

} // namespace

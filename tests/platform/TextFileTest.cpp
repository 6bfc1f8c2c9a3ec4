#include "platform/TextFile.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iconv.h>
#include <sys/stat.h>

namespace {

QByteArray readRaw(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Restores the program's default code page after a test that changes it.
struct CodePageScope {
    QString saved = TextFile::legacyCodePage();
    ~CodePageScope() { TextFile::setLegacyCodePage(saved); }
};

TEST(TextFile, LinesSplitAtCrLfLfAndCr) {
    EXPECT_EQ(TextFile::splitLines("a\r\nb\nc\rd"), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(TextFile::splitLines("a\r\n\r\nb\r\n"), (QStringList{"a", "", "b"}));
    EXPECT_EQ(TextFile::splitLines("a\n\n"), (QStringList{"a", ""}));
    EXPECT_TRUE(TextFile::splitLines("").isEmpty());
    EXPECT_EQ(TextFile::splitLines("\r\n"), QStringList{""});
}

TEST(TextFile, Utf8IsDecodedAsUtf8AndItsByteOrderMarkDropped) {
    EXPECT_EQ(TextFile::decode("\xEF\xBB\xBF"
                               "caf\xC3\xA9"),
              QString::fromUtf8("café"));
    EXPECT_TRUE(TextFile::isUtf8("plain"));
    EXPECT_FALSE(TextFile::isUtf8("caf\xE9"));
    // A multi-byte character cut off at the end is not UTF-8.
    EXPECT_FALSE(TextFile::isUtf8("\xE6\x97"));
}

TEST(TextFile, OtherBytesAreDecodedInTheLanguagesCodePage) {
    CodePageScope scope;
    TextFile::setLegacyCodePage(TextFile::codePageForLanguage("English"));
    EXPECT_EQ(TextFile::legacyCodePage(), "CP1252");
    EXPECT_EQ(TextFile::decode("\x80 caf\xE9 \x93q\x94"), QString::fromUtf8("€ café “q”"));

    TextFile::setLegacyCodePage(TextFile::codePageForLanguage("Japanese"));
    EXPECT_EQ(TextFile::legacyCodePage(), "CP932");
    // "日本語" in Shift-JIS.
    EXPECT_EQ(TextFile::decode("\x93\xFA\x96\x7B\x8C\xEA"), QString::fromUtf8("日本語"));
    QByteArray back;
    ASSERT_TRUE(TextFile::encodeLegacy(QString::fromUtf8("日本語"), back));
    EXPECT_EQ(back, QByteArray("\x93\xFA\x96\x7B\x8C\xEA"));
    EXPECT_FALSE(TextFile::encodeLegacy(QString::fromUtf8("€é"), back));
}

// Whatever bytes a text was read from in either page, it shows without a question when
// written, reads back as shown, and while kept unchanged is written as those bytes.
TEST(TextFile, BytesReadInTheCodePageAreWrittenBackAsTheyWere) {
    CodePageScope scope;
    QByteArray every;
    for (int b = 1; b < 256; ++b)
        every.append(static_cast<char>(b));
    const QByteArray shiftJis("\x83\x65\x83\x58\x83\x67\x90\xdd\x92\xe8"); // "テスト設定"
    const struct {
        const char* page;
        QByteArray bytes;
    } cases[] = {
        {"CP1252", every},
        {"CP1252", shiftJis},
        {"CP932", every},
        {"CP932", shiftJis},
        {"CP932", "caf\xE9 \xE9"},                     // a CP1252 text: a lead byte without its pair
        {"CP932", "\xED\x40\xFA\x5C\x81\xCA\xEE\xF9"}, // duplicate codes of one character
        {"CP932", "\x80\xA0\xFD\xFE\xFF\x85\x40\x82"}, // Windows' own readings, one cut off
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        const TextFile::KeptText kept = TextFile::keepLegacy(c.bytes);
        EXPECT_EQ(TextFile::encodeLines({kept.text}, "", kept).bytes.toHex(' '), c.bytes.toHex(' '))
            << c.page;
        const TextFile::Encoded typed = TextFile::encode(kept.text);
        EXPECT_TRUE(typed.substituted.isEmpty()) << c.page;
        EXPECT_EQ(TextFile::decodeLegacy(typed.bytes), kept.text) << c.page;
    }
    TextFile::setLegacyCodePage("CP932");
    EXPECT_EQ(TextFile::decodeLegacy(shiftJis), QString::fromUtf8("テスト設定"));
}

// Windows' mapping as glibc's converter has it: the character of a code, 0 when none.
class WindowsPage {
public:
    WindowsPage() : cd_(iconv_open("UTF-16LE", "WINDOWS-31J")) {}
    ~WindowsPage() {
        if (cd_ != iconv_t(-1))
            iconv_close(cd_);
    }
    char16_t character(QByteArray code) const {
        char16_t out[4] = {};
        char* ip = code.data();
        char* op = reinterpret_cast<char*>(out);
        size_t inLeft = size_t(code.size()), outLeft = sizeof out;
        if (cd_ == iconv_t(-1))
            return 0;
        const bool ok = iconv(cd_, &ip, &inLeft, &op, &outLeft) != size_t(-1) && inLeft == 0 && outLeft == 6;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return ok ? out[0] : 0;
    }

private:
    iconv_t cd_;
};

// Every code Windows' CP932 holds, the ones it holds twice for one character and the
// extensions included, shows as Windows shows it, nothing invisible beside it; the character
// shown is written with the code Windows writes for it.
TEST(TextFile, Cp932ShowsEveryCodeAsWindowsDoes) {
    CodePageScope scope;
    TextFile::setLegacyCodePage("CP932");
    const struct {
        QByteArray code;
        char16_t shown;
        QByteArray written; // what the character shown gets
    } known[] = {
        {"\x87\x90", 0x2252, "\x81\xE0"}, {"\xFA\x4A", 0x2160, "\x87\x54"}, {"\xFA\x40", 0x2170, "\xFA\x40"},
        {"\xEE\xEF", 0x2170, "\xFA\x40"}, {"\x81\xCA", 0xFFE2, "\x81\xCA"}, {"\xFA\x54", 0xFFE2, "\x81\xCA"},
        {"\xEE\xF9", 0xFFE2, "\x81\xCA"}, {"\xED\x40", 0x7E8A, "\xFA\x5C"}, {"\xFA\x5C", 0x7E8A, "\xFA\x5C"},
        {"\x81\xE6", 0x2235, "\x81\xE6"}, {"\x87\x9A", 0x2235, "\x81\xE6"}, {"\xFA\x5B", 0x2235, "\x81\xE6"},
        {"\x80", 0x0080, "\x80"},         {"\xA0", 0xF8F0, "\xA0"},         {"\xFD", 0xF8F1, "\xFD"},
        {"\xFE", 0xF8F2, "\xFE"},         {"\xFF", 0xF8F3, "\xFF"},         {"\x85\x40", 0x30FB, "\x81\x45"},
        {"\xEB\x40", 0x30FB, "\x81\x45"}, {"\x82", 0x30FB, "\x81\x45"}, // a lead byte cut off
    };
    for (const auto& k : known) {
        const QString text = TextFile::decodeLegacy(k.code);
        EXPECT_EQ(text, QString(QChar(k.shown))) << k.code.toHex().constData();
        EXPECT_EQ(TextFile::encode(text).bytes.toHex(' '), k.written.toHex(' '));
    }
    // A lead byte before a byte that cannot end its pair stands alone.
    EXPECT_EQ(TextFile::decodeLegacy("\x82 J"), QString::fromUtf8("・ J"));

    const WindowsPage windowsPage;
    int compared = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[] = {char(lead), char(trail)};
            const QByteArray code(pair, 2);
            const char16_t windows = windowsPage.character(code);
            compared += windows != 0;
            EXPECT_EQ(TextFile::decodeLegacy(code), QString(QChar(windows ? windows : char16_t(0x30FB))))
                << code.toHex().constData();
        }
    }
    EXPECT_GT(compared, 9000); // glibc's converter knew the page
}

// Japanese input methods on this desktop type these where CP932 holds a look-alike; Windows
// writes the look-alike's code, and so no question is asked.
TEST(TextFile, WhatJapaneseInputMethodsTypeIsWrittenAsWindowsWritesIt) {
    CodePageScope scope;
    TextFile::setLegacyCodePage("CP932");
    const struct {
        char16_t typed;
        QByteArray written;
    } cases[] = {
        {0x301C, "\x81\x60"}, {0x2212, "\x81\x7C"}, {0x2016, "\x81\x61"},
        {0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00AC, "\x81\xCA"},
    };
    for (const auto& c : cases) {
        const TextFile::Encoded e = TextFile::encode(QString(QChar(c.typed)));
        EXPECT_EQ(e.bytes.toHex(' '), c.written.toHex(' ')) << int(c.typed);
        EXPECT_TRUE(e.substituted.isEmpty());
    }
}

// Our own data is UTF-8 where it is valid UTF-8, except half-width katakana in the Japanese
// program; a file for others is UTF-8 only when it says so, for any code-page text may happen
// to be valid UTF-8.
TEST(TextFile, AFileIsReadAsUtf8AsItsOriginAllows) {
    CodePageScope scope;
    using O = TextFile::Origin;
    const struct {
        const char* page;
        O origin;
        QByteArray bytes;
        const char* read;
        bool utf8;
    } cases[] = {
        {"CP932", O::OwnData, "\xC3\xA9\xC3\xA8", "ﾃｩﾃｨ", false},
        {"CP932", O::OwnData, "a \xC3\xA9\xC3\xA8", "a ﾃｩﾃｨ", false},
        {"CP1252", O::OwnData, "\xC3\xA9\xC3\xA8", "éè", true},
        {"CP932", O::OwnData, "\xC3\xA9 \xE6\x97\xA5", "é 日", true},
        {"CP932", O::OwnData, "\xEF\xBB\xBF\xC3\xA9", "é", true},
        {"CP932", O::OwnData, "\xC3\x81", "Á", true}, // the page has no whole reading
        {"CP932", O::OwnData, "plain", "plain", true},
        {"CP1252", O::ForOthers, "\xC3\xA9 \xC2\xB0", "Ã© Â°", false},
        {"CP932", O::ForOthers, "\xE3\x82\xA2", "繧｢", false},
        {"CP932", O::ForOthers, "\xEF\xBB\xBF\xE3\x82\xA2", "ア", true},
        {"CP1252", O::ForOthers, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\xC3\xA9",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\né", true},
        {"CP1252", O::ForOthers, "\xEF\xBB\xBF\xE9", "ï»¿é", false}, // a mark, but no UTF-8
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        EXPECT_EQ(TextFile::decode(c.bytes, c.origin), QString::fromUtf8(c.read))
            << c.bytes.toHex().constData();
        EXPECT_EQ(TextFile::readsAsUtf8(c.bytes, c.origin), c.utf8) << c.bytes.toHex().constData();
    }
}

TEST(TextFile, CharactersThePageLacksAreNamedAndWrittenAsQuestionMarks) {
    CodePageScope scope;
    const struct {
        const char* page;
        const char* text;
        QByteArray bytes;
        const char* substituted;
    } cases[] = {
        {"CP1252", "Café 設定 €設", "Caf\xE9 ?? \x80?", "設定"},
        {"CP932", "設定 é€😀é", "\x90\xdd\x92\xe8 ????", "é€😀"},
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        const TextFile::Encoded e = TextFile::encode(QString::fromUtf8(c.text));
        EXPECT_EQ(e.bytes.toHex(' '), c.bytes.toHex(' ')) << c.page;
        EXPECT_EQ(e.substituted, QString::fromUtf8(c.substituted)) << c.page;
    }
}

TEST(TextFile, WrittenLinesEndInCrLfAndReadBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.txt");
    const QStringList lines = {QString::fromUtf8("Größe"), "", "last"};
    ASSERT_TRUE(TextFile::writeLines(path, lines));
    EXPECT_EQ(readRaw(path), QByteArray("Gr\xF6\xDF"
                                        "e\r\n\r\nlast\r\n"));
    QStringList back;
    ASSERT_TRUE(TextFile::readLines(path, back));
    EXPECT_EQ(back, lines);
    ASSERT_TRUE(TextFile::writeLines(path, {"a"}, nullptr, "\n"));
    EXPECT_EQ(readRaw(path), QByteArray("a\n"));
}

TEST(TextFile, WriteIntoAMissingFolderFailsWithAReason) {
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(TextFile::writeText(dir.filePath("no/such/t.txt"), "new", &error));
    EXPECT_TRUE(error.contains("t.txt"));
}

TEST(TextFile, WriteFailingHalfWayLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.txt");
    ASSERT_TRUE(TextFile::writeText(path, "old"));
    QString error;
    bool ok = false, appended = false;
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.active());
        ok = TextFile::writeBytes(path, QByteArray(100000, 'x'), &error);
        appended = TextFile::appendBytes(path, QByteArray(100000, 'x'));
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.txt"});
    // An append cut part-way is taken back whole; a full device says so.
    EXPECT_FALSE(appended);
    EXPECT_EQ(readRaw(path), QByteArray("old"));
    int code = 0;
    EXPECT_FALSE(TextFile::appendBytes("/dev/full", "row\r\n", nullptr, &code));
    EXPECT_TRUE(TextFile::isDiskFull(code));
    ASSERT_TRUE(TextFile::writeText(path, "new"));
    EXPECT_EQ(readRaw(path), QByteArray("new"));
}

TEST(TextFile, ReadingAMissingFileFailsWithAReason) {
    QString text = "unchanged", error;
    EXPECT_FALSE(TextFile::readText("/nonexistent/folder/x.txt", text, &error));
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(error.contains("x.txt"));
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(TextFile, SaveRemovesLeftoversOfItsOwnEarlierSavesOfThatTargetOnly) {
    QTemporaryDir dir;
    const QString target = dir.filePath("set[1].kvr");
    const QStringList ours = {"set[1].kvr.kvrtmp-AbC123", "set[1].kvr.kvrtmp-zzzzzz"};
    const QStringList others = {"set[1].kvr.kvrtmp-abc",    // not our length
                                "set[1].kvr.kvrtmp-ab_123", // not our characters
                                "set[1].kvr.backup",        // the user's
                                "set1.kvr.kvrtmp-AbC123",   // another target's
                                "xset[1].kvr.kvrtmp-AbC123"};
    for (const QString& name : ours + others)
        writeRaw(dir.filePath(name), "partial");
    EXPECT_EQ(TextFile::leftoverTemporaryFiles(target).size(), ours.size());
    ASSERT_TRUE(TextFile::writeText(target, "whole"));
    QStringList expected = others;
    expected << "set[1].kvr";
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
    EXPECT_EQ(readRaw(target), QByteArray("whole"));
}

TEST(TextFile, TemporaryNamesFollowOnePattern) {
    EXPECT_TRUE(TextFile::isTemporaryNameFor("a.ini", "a.ini.kvrtmp-Z9z9Z9"));
    EXPECT_FALSE(TextFile::isTemporaryNameFor("a.ini", "a.ini.kvrtmp-Z9z9Z"));
    EXPECT_FALSE(TextFile::isTemporaryNameFor("a.ini", "a.ini.kvrtmp-Z9z9Z9a"));
    EXPECT_FALSE(TextFile::isTemporaryNameFor("a.ini", "A.ini.kvrtmp-Z9z9Z9"));
    EXPECT_FALSE(TextFile::isTemporaryNameFor("a.ini", "a.ini.KVRTMP-Z9z9Z9"));
}

TEST(TextFile, SaveKeepsThePermissionsAndLinkOfTheFileItReplaces) {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.ini");
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(TextFile::writeText(real, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(TextFile::writeText(link, "new"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readRaw(real), QByteArray("new"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

struct BoundedReadCase {
    const char* name;
    QByteArray bytes;
    TextFile::ReadFailure failure;
    int line;
};

// Bounds of 64 bytes a file and 8 bytes a line.
class TextFileBoundedRead : public ::testing::TestWithParam<BoundedReadCase> {};

TEST_P(TextFileBoundedRead, StopsAtTheBoundsBeforeAnyLineIsReturned) {
    const BoundedReadCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("f.txt");
    writeRaw(path, c.bytes);
    QStringList lines = {"before"};
    TextFile::ReadProblem problem;
    const bool ok = TextFile::readLines(path, lines, {64, 8}, problem);
    EXPECT_EQ(ok, c.failure == TextFile::ReadFailure::None);
    EXPECT_EQ(problem.failure, c.failure);
    EXPECT_EQ(problem.line, c.line);
    if (ok)
        EXPECT_EQ(lines, TextFile::splitLines(TextFile::decode(c.bytes)));
    else
        EXPECT_EQ(lines, QStringList{"before"});
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, TextFileBoundedRead,
    ::testing::Values(
        BoundedReadCase{"LinesAtTheBoundFit", "12345678\r\n12345678\n12345678\r1",
                        TextFile::ReadFailure::None, 0},
        BoundedReadCase{"EmptyFileFits", "", TextFile::ReadFailure::None, 0},
        BoundedReadCase{"LongLineIsNamed", "a\r\nb\r\n123456789\r\nc", TextFile::ReadFailure::LineTooLong, 3},
        BoundedReadCase{"LongLastLineWithoutEnd", "a\n123456789", TextFile::ReadFailure::LineTooLong, 2},
        BoundedReadCase{"TailOfZeroBytes", QByteArray("a,1\r\n") + QByteArray(40, '\0'),
                        TextFile::ReadFailure::LineTooLong, 2},
        BoundedReadCase{"FileAboveTheBound", QByteArray(65, '\n'), TextFile::ReadFailure::TooLarge, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextFile, BoundedReadNamesAMissingFileAndTheSizeOfALargeOne) {
    QTemporaryDir dir;
    QStringList lines;
    TextFile::ReadProblem problem;
    EXPECT_FALSE(TextFile::readLines(dir.filePath("missing"), lines, {64, 8}, problem));
    EXPECT_EQ(problem.failure, TextFile::ReadFailure::CannotOpen);
    EXPECT_FALSE(problem.error.isEmpty());
    writeRaw(dir.filePath("big"), QByteArray(1000, 'x'));
    EXPECT_FALSE(TextFile::readLines(dir.filePath("big"), lines, {64, 8}, problem));
    EXPECT_EQ(problem.failure, TextFile::ReadFailure::TooLarge);
    EXPECT_EQ(problem.size, 1000);
}

} // namespace

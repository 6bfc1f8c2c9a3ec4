#include "core/ParameterStore.h"
#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "support/ScriptedPrompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGlobals();
        ASSERT_TRUE(tmp.isValid());
        globals().Parameters = &store;
        globals().LanguageFolder = tmp.path();
    }
    void TearDown() override { resetGlobals(); }
    QString path(const QString& name) const { return tmp.filePath(name); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    ParameterStore store;
};

const QString kClosed = QStringLiteral("KVR260X is closed.");

} // namespace

TEST_F(StoreTest, MessageNumbersFollowTheKeyOrderOfTheFile) {
    writeFile(path("English.ini"),
              "[Main]\r\nMessage1=no\r\n[General]\r\nZeta=A\r\nAlpha=B\r\nMid=\"C \"\r\n");
    globals().LanguageIniPath = path("English.ini");
    store.FormCreate();

    EXPECT_FALSE(globals().StartupAbort);
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(store.MsgSec, QStringList({"Zeta", "Alpha", "Mid"}));
    EXPECT_EQ(store.Msg(0), "A");
    EXPECT_EQ(store.Msg(1), "B");
    EXPECT_EQ(store.Msg(2), "C ");
    EXPECT_EQ(store.Msg(3), "");
    EXPECT_EQ(store.Msg(-1), "");
    EXPECT_EQ(store.Msg(67), "");
    EXPECT_EQ(globals().MsgCaption, "A");
    EXPECT_EQ(globals().MsgEmptyInput, "");
    EXPECT_EQ(Msg(1), "B") << "the global accessor reads the program's store";
    EXPECT_EQ(store.ParaDat.rowCount(), 3000);
    EXPECT_EQ(store.UPara.rowCount(), 3000);
}

TEST_F(StoreTest, SeventyMessagesGiveCaptionAndEmptyInputText) {
    QByteArray text = "[General]\n";
    for (int i = 1; i <= 70; ++i)
        text += "Message" + QByteArray::number(i) + "=text " + QByteArray::number(i - 1) + "\n";
    writeFile(path("English.ini"), text);
    globals().LanguageIniPath = path("English.ini");
    store.FormCreate();
    EXPECT_EQ(globals().MsgCaption, "text 0");
    EXPECT_EQ(globals().MsgEmptyInput, "text 67");
    EXPECT_EQ(store.Msg(22), "text 22") << "key Message23";
}

TEST_F(StoreTest, LanguageFileIsAlsoLookedForInTheLanguageFolder) {
    writeFile(path("English.ini"), "[General]\nMessage1=Here\n");
    globals().LanguageIniPath = QStringLiteral("/nowhere/English.ini");
    store.FormCreate();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(store.Msg(0), "Here");
}

TEST_F(StoreTest, MissingLanguageFileOffersTheChooser) {
    writeFile(path("l/Other.ini"), "[General]\nMessage1=Other caption\n");
    globals().LanguageIniPath = path("Missing.ini");
    prompter.answerFile(path("l/Other.ini"));
    store.FormCreate();

    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Not found Language data file.");
    EXPECT_EQ(prompter.boxes()[0].caption, "Confirmation");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(prompter.fileDialogs(), 1);
    EXPECT_FALSE(globals().StartupAbort);
    EXPECT_EQ(globals().LanguageFolder, path("l"));
    EXPECT_EQ(globals().LanguageIniPath, path("l/Other.ini"));
    EXPECT_EQ(store.Msg(0), "Other caption");
}

TEST_F(StoreTest, CancelledOrUnusableLanguageFileEndsTheStart) {
    struct Case {
        const char* name;
        QString languagePath;
        QString chosen;
        QStringList boxes;
    };
    writeFile(path("Empty.ini"), "[General]\n[Main]\nA=1\n");
    writeFile(path("Blank.ini"), "");
    const QString invalid = "Selected Language data file is not valid.\n" + kClosed;
    const Case cases[] = {
        {"cancelled", path("Missing.ini"), "", {"Not found Language data file.", kClosed}},
        {"empty path", "", "", {"Not found Language data file.", kClosed}},
        {"no General keys", path("Empty.ini"), "", {invalid}},
        {"empty file", path("Blank.ini"), "", {invalid}},
        {"chosen file vanished",
         path("Missing.ini"),
         path("Gone.ini"),
         {"Not found Language data file.", invalid}},
    };
    for (const Case& c : cases) {
        resetGlobals();
        prompter.clear();
        ParameterStore fresh;
        globals().Parameters = &fresh;
        globals().LanguageFolder = tmp.path();
        globals().LanguageIniPath = c.languagePath;
        if (!c.boxes.isEmpty() && c.boxes[0].startsWith("Not found"))
            prompter.answerFile(c.chosen);
        fresh.FormCreate();
        EXPECT_TRUE(globals().StartupAbort) << c.name;
        EXPECT_EQ(prompter.texts(), c.boxes) << c.name;
        for (const auto& b : prompter.boxes())
            EXPECT_EQ(b.caption, "Confirmation") << c.name;
        EXPECT_TRUE(fresh.Messages.isEmpty()) << c.name;
        EXPECT_EQ(fresh.Msg(0), "") << c.name;
    }
}

TEST_F(StoreTest, NothingHappensOnceTheStartWasAborted) {
    writeFile(path("English.ini"), "[General]\nMessage1=x\n");
    globals().LanguageIniPath = path("English.ini");
    globals().StartupAbort = true;
    store.FormCreate();
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_TRUE(store.Messages.isEmpty());
    EXPECT_EQ(store.ParaDat.cell(0, 0), "");
    EXPECT_EQ(store.UPara.cell(0, 1), "");
}

TEST_F(StoreTest, ComNoIndexFindsWholeNumbersAndTheFirstOfTwins) {
    const QStringList numbers{"0000", "0001", "FB91", "0001", "12345", "A0"};
    for (int i = 0; i < numbers.size(); ++i)
        store.ParaDat.setCell(PD_ComNo, i + 1, numbers[i]);
    store.rebuildComNoIndex(static_cast<int>(numbers.size()) - 1);
    EXPECT_EQ(store.ComNoList(), "0000,0001,FB91,0001,12345,A0,");
    EXPECT_EQ(store.indexOfComNo("0000"), 0);
    EXPECT_EQ(store.indexOfComNo("0001"), 1);
    EXPECT_EQ(store.indexOfComNo("FB91"), 2);
    EXPECT_EQ(store.indexOfComNo("A0"), -1);
    EXPECT_EQ(store.indexOfComNo("1234"), -1);
    EXPECT_EQ(store.indexOfComNo("0,FB"), -1);
    EXPECT_EQ(store.indexOfComNo(""), -1);

    store.rebuildComNoIndex(-1);
    EXPECT_EQ(store.ComNoList(), "");
    EXPECT_EQ(store.indexOfComNo("0000"), -1);
}

TEST_F(StoreTest, ShippedLanguageFilesHoldEveryMessage) {
    for (const char* name : {"English.ini", "Japanese.ini"}) {
        const QString file = QStringLiteral(KVR_SOURCE_DIR "/data/lng/") + name;
        if (!QFileInfo::exists(file))
            GTEST_SKIP() << "no language files shipped yet";
        resetGlobals();
        ParameterStore shipped;
        globals().Parameters = &shipped;
        globals().LanguageIniPath = file;
        shipped.FormCreate();
        EXPECT_FALSE(globals().StartupAbort) << name;
        EXPECT_EQ(shipped.Messages.size(), 110) << name;
        EXPECT_FALSE(globals().MsgCaption.isEmpty()) << name;
        EXPECT_EQ(globals().MsgEmptyInput, shipped.Msg(67)) << name;
    }
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(StoreTest, BoxesShowTheNumberedMessageUnderTheCaption) {
    store.Messages = QStringList{"Caption", "First", "Second"};
    globals().MsgCaption = "Caption";
    ShowMsg(2, BoxIcon::Error);
    ShowMsg(99);
    globals().Parameters = nullptr;
    EXPECT_EQ(Msg(1), "") << "no store yet";
    ASSERT_EQ(prompter.boxes().size(), 2u);
    EXPECT_EQ(prompter.boxes()[0].text, "Second");
    EXPECT_EQ(prompter.boxes()[0].caption, "Caption");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(prompter.boxes()[1].text, "") << "a number past the last message shows an empty box";
}

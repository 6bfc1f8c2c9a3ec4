#include "core/ParameterStore.h"
#include "core/Messages.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TestProgram.h"

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
        ASSERT_TRUE(tmp.isValid());
        context.store = &store;
        context.language.folder = tmp.path();
    }
    QString path(const QString& name) const { return tmp.filePath(name); }

    QTemporaryDir tmp;
    ScriptedPrompter prompter;
    ProgramContext context;
    ParameterStore store;
};

const QString kClosed = QStringLiteral("KVR260X is closed.");

} // namespace

TEST_F(StoreTest, MessageNumbersFollowTheKeyOrderOfTheFile) {
    writeFile(path("English.ini"),
              "[Main]\r\nMessage1=no\r\n[General]\r\nZeta=A\r\nAlpha=B\r\nMid=\"C \"\r\n");
    context.language.iniPath = path("English.ini");
    store.loadLanguageTexts(context, prompter);

    EXPECT_FALSE(context.startupAborted);
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(store.messageKeys(), QStringList({"Zeta", "Alpha", "Mid"}));
    EXPECT_EQ(store.Msg(0), "A");
    EXPECT_EQ(store.Msg(1), "B");
    EXPECT_EQ(store.Msg(2), "C ");
    EXPECT_EQ(store.Msg(3), "");
    EXPECT_EQ(store.Msg(-1), "");
    EXPECT_EQ(store.Msg(67), "");
    EXPECT_EQ(context.texts.caption, "A");
    EXPECT_EQ(context.texts.dataIncorrect, "");
    EXPECT_EQ(Msg(context, MsgId::FileLabel), "B") << "the accessor reads the context's store";
    EXPECT_EQ(store.workingGrid().rowCount(), 3000);
}

TEST_F(StoreTest, SeventyMessagesGiveCaptionAndEmptyInputText) {
    QByteArray text = "[General]\n";
    for (int i = 1; i <= 70; ++i)
        text += "Message" + QByteArray::number(i) + "=text " + QByteArray::number(i - 1) + "\n";
    writeFile(path("English.ini"), text);
    context.language.iniPath = path("English.ini");
    store.loadLanguageTexts(context, prompter);
    EXPECT_EQ(context.texts.caption, "text 0");
    EXPECT_EQ(context.texts.dataIncorrect, "text 67");
    EXPECT_EQ(store.Msg(22), "text 22") << "key Message23";
}

TEST_F(StoreTest, LanguageFileIsAlsoLookedForInTheLanguageFolder) {
    writeFile(path("English.ini"), "[General]\nMessage1=Here\n");
    context.language.iniPath = QStringLiteral("/nowhere/English.ini");
    store.loadLanguageTexts(context, prompter);
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(store.Msg(0), "Here");
}

TEST_F(StoreTest, MissingLanguageFileOffersTheChooser) {
    writeFile(path("l/Other.ini"), "[General]\nMessage1=Other caption\n");
    context.language.iniPath = path("Missing.ini");
    prompter.answerFile(path("l/Other.ini"));
    store.loadLanguageTexts(context, prompter);

    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "Not found Language data file.");
    EXPECT_EQ(prompter.boxes()[0].caption, "Confirmation");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(prompter.fileDialogs(), 1);
    EXPECT_FALSE(context.startupAborted);
    EXPECT_EQ(context.language.folder, path("l"));
    EXPECT_EQ(context.language.iniPath, path("l/Other.ini"));
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
        context = ProgramContext();
        prompter.clear();
        ParameterStore fresh;
        context.store = &fresh;
        context.language.folder = tmp.path();
        context.language.iniPath = c.languagePath;
        if (!c.boxes.isEmpty() && c.boxes[0].startsWith("Not found"))
            prompter.answerFile(c.chosen);
        fresh.loadLanguageTexts(context, prompter);
        EXPECT_TRUE(context.startupAborted) << c.name;
        EXPECT_EQ(prompter.texts(), c.boxes) << c.name;
        for (const auto& b : prompter.boxes())
            EXPECT_EQ(b.caption, "Confirmation") << c.name;
        EXPECT_TRUE(fresh.messages().isEmpty()) << c.name;
        EXPECT_EQ(fresh.Msg(0), "") << c.name;
    }
}

TEST_F(StoreTest, NothingHappensOnceTheStartWasAborted) {
    writeFile(path("English.ini"), "[General]\nMessage1=x\n");
    context.language.iniPath = path("English.ini");
    context.startupAborted = true;
    store.loadLanguageTexts(context, prompter);
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_TRUE(store.messages().isEmpty());
    EXPECT_EQ(store.workingText(0, 0), "");
}

TEST_F(StoreTest, ComNoIndexFindsWholeNumbersAndTheFirstOfTwins) {
    const QStringList numbers{"0000", "0001", "FB91", "0001", "12345", "A0"};
    context.drive.setParameters(definitionsOf(numbers), 0);
    EXPECT_EQ(context.drive.comNoList(), "0000,0001,FB91,0001,12345,A0,");
    EXPECT_EQ(context.drive.indexOfComNo("0000"), 0);
    EXPECT_EQ(context.drive.indexOfComNo("0001"), 1);
    EXPECT_EQ(context.drive.indexOfComNo("FB91"), 2);
    EXPECT_EQ(context.drive.indexOfComNo("A0"), -1);
    EXPECT_EQ(context.drive.indexOfComNo("1234"), -1);
    EXPECT_EQ(context.drive.indexOfComNo("0,FB"), -1);
    EXPECT_EQ(context.drive.indexOfComNo(""), -1);

    context.drive.clearParameters();
    EXPECT_EQ(context.drive.comNoList(), "");
    EXPECT_EQ(context.drive.indexOfComNo("0000"), -1);
}

TEST_F(StoreTest, ShippedLanguageFilesHoldEveryMessage) {
    for (const char* name : {"English.ini", "Japanese.ini"}) {
        const QString file = QStringLiteral(KVR_SOURCE_DIR "/data/lng/") + name;
        if (!QFileInfo::exists(file))
            GTEST_SKIP() << "no language files shipped yet";
        context = ProgramContext();
        ParameterStore shipped;
        context.store = &shipped;
        context.language.iniPath = file;
        shipped.loadLanguageTexts(context, prompter);
        EXPECT_FALSE(context.startupAborted) << name;
        EXPECT_EQ(shipped.messages().size(), 124) << name;
        EXPECT_FALSE(context.texts.caption.isEmpty()) << name;
        EXPECT_EQ(context.texts.dataIncorrect, shipped.Msg(67)) << name;
    }
    EXPECT_TRUE(prompter.boxes().empty());
}

// The names of the messages say what the shipped English texts say: a wrong number in the
// list would show another message under a right-looking name.
TEST_F(StoreTest, EveryNamedMessageIsTheEnglishTextItsNameSays) {
    const QString file = QStringLiteral(KVR_SOURCE_DIR "/data/lng/English.ini");
    const IniFile lang(file);
    const QStringList keys = lang.keys(QStringLiteral("General"));
    ASSERT_EQ(keys.size(), 124);
    const struct {
        MsgId id;
        const char* begins;
    } rows[] = {
        {MsgId::Caption, "Confirmation"},
        {MsgId::FileLabel, "File:"},
        {MsgId::NoUsablePort, "Usable serial port is not found."},
        {MsgId::CannotConnect, "Cannot connect. Please check the con"},
        {MsgId::TypeFileMissing, "Not found the Inverter Type data fil"},
        {MsgId::CapacityFileMissing, "Not found the Inverter Capacity data"},
        {MsgId::FileTypeDiffers, "The inverter type of the file is dif"},
        {MsgId::FileFormDiffers, "The inverter form (capacity) of the"},
        {MsgId::YesReadAll, "[Yes] : Read all parameters of the f"},
        {MsgId::NoSkipCapacity, "[No] : Do not read the capacity-depe"},
        {MsgId::CancelDoNotRead, "[Cancel] : Do not read the file."},
        {MsgId::FileCpuDiffers, "The CPU version of the file is diffe"},
        {MsgId::NoFileToOverwrite, "There is no file to overwrite. Pleas"},
        {MsgId::TableTitle, "Parameter Table"},
        {MsgId::ColumnTitle, "Title"},
        {MsgId::ColumnComNo, "Comm. No."},
        {MsgId::ColumnFunction, "Function"},
        {MsgId::ColumnValue, "Set Val."},
        {MsgId::ColumnLowLimit, "Low limit."},
        {MsgId::ColumnHighLimit, "Up limit."},
        {MsgId::ColumnUnit, "Unit"},
        {MsgId::ChangedMark, "Change"},
        {MsgId::DefaultNotDefined, "The default value of this parameter"},
        {MsgId::ValueCannotBeSet, "The value cannot be set."},
        {MsgId::OutOfRange, "The value is out of range."},
        {MsgId::NotANumber, "The value is not a valid number."},
        {MsgId::NoChangedParameter, "There is no changed parameter."},
        {MsgId::NoSelectedParameter, "There is no selected parameter."},
        {MsgId::SearchTextNotFound, "The search text was not found."},
        {MsgId::CannotBeWritten, "This parameter cannot be written to"},
        {MsgId::CannotHideAll, "All parameters cannot be hidden."},
        {MsgId::PressStartToImport, "Press [Start] to import all paramete"},
        {MsgId::PressStartToExport, "Press [Start] to export all paramete"},
        {MsgId::PressStartToCompare, "Press [Start] to compare all paramet"},
        {MsgId::Importing, "Importing parameters ..."},
        {MsgId::Exporting, "Exporting parameters ..."},
        {MsgId::Comparing, "Comparing parameters ..."},
        {MsgId::DataIncorrect, "Data is incorrect."},
        {MsgId::CommErrorAtParameter, "Communication error at parameter"},
        {MsgId::AbortStopsJob, "[Abort] : Stop the job."},
        {MsgId::RetryParameter, "[Retry] : Try this parameter again."},
        {MsgId::IgnoreAndGoOn, "[Ignore] : Skip this parameter and g"},
        {MsgId::DifferentValueFound, "A different value was found."},
        {MsgId::DifferentValueAt, "Different value at parameter"},
        {MsgId::DriveTypeDiffers, "The inverter type is different from"},
        {MsgId::DriveFormDiffers, "The inverter form (capacity) is diff"},
        {MsgId::DriveTypeUnknown, "The inverter type cannot be identifi"},
        {MsgId::DriveFormUnknown, "The inverter form (capacity) cannot"},
        {MsgId::ConnectedDrive, "Connected inverter :"},
        {MsgId::NumberNotInDrive, "Communication No. not found in the s"},
        {MsgId::OkSkipLine, "[OK] : Skip this line and go on."},
        {MsgId::CancelStopReading, "[Cancel] : Stop reading the file."},
        {MsgId::OnlyChangedExported, "* Only the changed parameters are ex"},
        {MsgId::ProgramClosed, "KVR260X is closed."},
        {MsgId::FileDriveNotReadable, "is the inverter of the file. The fil"},
        {MsgId::FileDriveIs, "is the inverter of the file."},
        {MsgId::DriveSpecial0998, "The inverter has a special setting ("},
        {MsgId::DriveSpecial0999, "The inverter has a special setting ("},
        {MsgId::SpecialDriveNoTransfer, "Parameters of this inverter cannot b"},
        {MsgId::ContactSupplier, "Please contact your supplier."},
        {MsgId::FileSpecial0998, "The file holds a special setting (09"},
        {MsgId::FileSpecial0999, "The file holds a special setting (09"},
        {MsgId::FileCannotBeOpened, "This file cannot be opened."},
        {MsgId::DriveCpuDiffers, "The CPU version is different from th"},
        {MsgId::DriveCpuUnknown, "The CPU version cannot be identified"},
        {MsgId::SelectionMismatch, "It does not match the selected Inver"},
        {MsgId::OkChangeCheckOrCancel, "[OK] : Change the check in Environme"},
        {MsgId::UnwritableCharacters, "These characters cannot be written i"},
        {MsgId::SaveAnyway, "Do you want to save the file anyway?"},
        {MsgId::WideValueNotRead, "32-bit value: MODBUS-RTU carries onl"},
        {MsgId::WideValueNotWritten, "32-bit value: a MODBUS-RTU register w"},
        {MsgId::WideValueLowHalfShown, "* Inverter: its low 16 bits"},
        {MsgId::WideItemsNotMonitored, "These items are 32-bit values, and M"},
        {MsgId::WideValueNotShown, "- (32-bit value: MODBUS-RTU carries"},
    };
    for (const auto& r : rows) {
        QString text = lang.readString(QStringLiteral("General"), keys.at(msgNumber(r.id)));
        if (text.size() > 1 && text.startsWith(u'"') && text.endsWith(u'"'))
            text = text.mid(1, text.size() - 2);
        EXPECT_TRUE(text.startsWith(QLatin1String(r.begins)))
            << msgNumber(r.id) << ": " << text.toStdString();
    }
}

TEST_F(StoreTest, BoxesShowTheNumberedMessageUnderTheCaption) {
    store.setMessages({"Caption", "First", "Second"});
    context.texts.caption = "Caption";
    const Notice port = MsgNotice(context, MsgId::NoUsablePort, BoxIcon::Error);
    EXPECT_EQ(port.text, "Second");
    EXPECT_EQ(port.caption, "Caption");
    EXPECT_EQ(port.icon, BoxIcon::Error);
    EXPECT_EQ(MsgNotice(context, MsgId::DriveSpecial0998).text, "")
        << "a number past the last message is empty";
    context.store = nullptr;
    EXPECT_EQ(Msg(context, MsgId::FileLabel), "") << "no store yet";
}

// The type file's cells are read once into the definition; these are the rules its readers relied on.
TEST(ParameterDefinitionCells, RulesSizesAndMarksReadAsTheirTextMeant) {
    ParameterDefinition d;
    setDefinitionText(d, PD_Byte, " 4 ");
    EXPECT_TRUE(d.wide());
    setDefinitionText(d, PD_Byte, "");
    EXPECT_FALSE(d.wide());
    setDefinitionText(d, PD_DIndex, "x");
    EXPECT_EQ(d.defaultRule, kUnreadRule) << "reported when the working values are filled";
    setDefinitionText(d, PD_HIndex, "");
    EXPECT_EQ(d.highRule, 1) << "anything but 0 follows the parameter the cell names";
    setDefinitionText(d, PD_LIndex, "-1");
    EXPECT_EQ(d.lowRule, -1);
    setDefinitionText(d, PD_Mul, "abc");
    EXPECT_EQ(d.multiplier, 0.0);
    setDefinitionText(d, PD_Quick, "");
    EXPECT_TRUE(d.quick) << "only \"0\" leaves the Quick view";
    setDefinitionText(d, PD_Memory, " RAM");
    EXPECT_TRUE(d.inRam());
    setDefinitionText(d, PD_Low, "0001");
    EXPECT_EQ(definitionText(d, PD_Low), "0001") << "a limit naming a parameter stays text";
}

#include "core/ParaFileFixture.h"
#include "core/StoreCells.h"

#include "core/CfgFile.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "support/TestPaths.h"

using namespace CfgFile;

namespace {

const QStringList kExampleLines = {
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    R"(<n1:SystemConfigurationFile SystemCfgTransferMode="VLR">)",
    "<SystemConfigurationFilecomment>",
    "Created By KVR260X",
    "</SystemConfigurationFilecomment>",
    R"(<Device DeviceSlot="0" DeviceID="-">)",
    "<DeviceCompatibilityData>",
    "FB070041FB050006FB720000FE080069",
    "</DeviceCompatibilityData>",
    R"(<ConfigurationSlot ConfigurationSlotID="0">)",
    R"(<CfgFile DataSize="16" CfgFileID="0.0.0.1">)",
    "<Data>",
    "0000000300010258</Data>",
    "</CfgFile>",
    R"(<CfgFile DataSize="8" CfgFileID="0.0.0.2">)",
    "<Data>",
    "01051000</Data>",
    "</CfgFile>",
    R"(<CfgFile DataSize="8" CfgFileID="0.0.1.1">)",
    "<Data>",
    "a012000A</Data>",
    "</CfgFile>",
    "</ConfigurationSlot>",
    "</Device>",
    "</n1:SystemConfigurationFile>",
    "<!--ChecksumData::9704-->",
};

QByteArray joined(const QStringList& lines, const char* eol = "\n") {
    QByteArray out;
    for (const QString& l : lines)
        out += l.toUtf8() + eol;
    return out;
}

// A write input over a fixed set of values (null = no such parameter).
WriteInput inputOf(QMap<QString, QString> values) {
    WriteInput in;
    in.deviceId = "-";
    in.typeCode = "65";
    in.formCode = "6";
    in.cpuNumber = "105";
    in.valueText = [values](const QString& n) { return values.value(n, QString()); };
    return in;
}

class CfgFileTest : public ParaFileFixture {
protected:
    void SetUp() override {
        ParaFileFixture::SetUp();
        context.drive.identity.cpuVersion = "V105";
        context.paths.catalogueIni = path("Inverter.ini");
        writeFile("Inverter.ini", "[Type]\nQX100=65\n[Type_Ident_65]\nIdent=0099\nTyp_1=QX100\nTyp_2=QX200\n"
                                  "[QX100]\n-4037=6\n-4075=7\n");
        // Defaults unlike the example's values, so that each value read shows.
        setParams({{"0000", "0"}, {"0001", "1"}, {"0105", "2"}, {"A012", "5"}, {"0200", "7"}});
    }
    ReadOutcome readLines(const QStringList& lines) {
        cnum.clear();
        val.clear();
        return ReadConfigurationXml(context, lines, cnum, val, catalogueNames(context), prompter);
    }
    QStringList cnum, val;
};

TEST(Crc16Ccitt, KnownAnswers) {
    const unsigned char check[] = "123456789";
    EXPECT_EQ(Crc16Ccitt(0xFFFF, check, 9), 0x6F91);
    EXPECT_EQ(Crc16Ccitt(0x1234, check, 0), 0x1234);
    // Two runs chain like one.
    EXPECT_EQ(Crc16Ccitt(Crc16Ccitt(0xFFFF, check, 4), check + 4, 5), 0x6F91);
}

TEST(CfgWriter, ReproducesTheExampleByteForByte) {
    QByteArray out;
    ASSERT_TRUE(build(
        inputOf({{"0000", "3"}, {"0001", "600"}, {"0105", "4096"}, {"A012", "10"}, {"FB72", "0"}}), out));
    EXPECT_EQ(out, joined(kExampleLines) + "\r\n");
    EXPECT_EQ(out.size(), 678);
    EXPECT_TRUE(out.endsWith("\n\r\n"));
}

TEST(CfgWriter, BlocksAndRecordsFollowThePeersLayout) {
    QByteArray out;
    ASSERT_TRUE(build(inputOf({{"0950", "255"}}), out));
    EXPECT_TRUE(out.contains("<CfgFile DataSize=\"8\" CfgFileID=\"0.0.0.16\">\n<Data>\n095000ff</Data>\n"));

    ASSERT_TRUE(build(inputOf({{"A012", "255"}, {"C999", "0"}}), out));
    EXPECT_TRUE(out.contains("a01200FF</Data>"));
    EXPECT_TRUE(out.contains("CfgFileID=\"0.0.2.16\">\n<Data>\nc9990000</Data>"));
}

TEST(CfgWriter, TypeWithoutRecordsClosesRightAfterTheHeader) {
    QByteArray out;
    ASSERT_TRUE(build(inputOf({{"FB72", "0"}}), out));
    const QByteArray head = joined(kExampleLines.mid(0, 10));
    const QByteArray covered = head + "</ConfigurationSlot>\n</Device>\n</n1:SystemConfigurationFile>\n";
    EXPECT_EQ(covered.size(), 410);
    EXPECT_EQ(out, covered + "<!--ChecksumData::CBCE-->\n\r\n");
}

TEST(CfgWriter, ValuesThatDoNotFitGiveNoRecordAndAreListed) {
    QByteArray out;
    QStringList skipped;
    ASSERT_TRUE(build(inputOf({{"0000", "-5"}, {"0001", "65536"}, {"0002", "1.5"}, {"0100", "65535"}}), out,
                      &skipped));
    EXPECT_EQ(skipped, (QStringList{"0000", "0001", "0002"}));
    EXPECT_FALSE(out.contains("0.0.0.1\""));
    EXPECT_TRUE(out.contains("0100ffff</Data>"));
}

TEST(CfgWriter, RefusesIdentityCodesThatAreNotNumbers) {
    QByteArray out;
    WriteInput in = inputOf({});
    in.formCode = "Not_Support_Form";
    EXPECT_FALSE(build(in, out));
    in.formCode = "70000";
    EXPECT_FALSE(build(in, out));
}

TEST(CfgChecksum, MatchesWhatTheWriterWroteAndNothingChangedOrCut) {
    QByteArray out;
    ASSERT_TRUE(build(inputOf({{"0000", "3"}, {"0105", "4096"}, {"FB72", "0"}}), out));
    const QStringList written = TextFile::splitLines(QString::fromUtf8(out));
    const struct {
        const char* name;
        QStringList lines;
        bool matches;
    } cases[] = {
        {"as written", written, true},
        {"the example", kExampleLines, true},
        {"without the blank last line", written.mid(0, written.size() - 1), true},
        {"checksum in lower case",
         kExampleLines.mid(0, 10) + QStringList{"</ConfigurationSlot>", "</Device>",
                                                "</n1:SystemConfigurationFile>", "<!--ChecksumData::cbce-->"},
         true},
        {"one record changed", QStringList(kExampleLines).replaceInStrings("01051000", "01051001"), false},
        {"cut before the checksum", kExampleLines.mid(0, 25), false},
        {"cut inside the records", kExampleLines.mid(0, 14), false},
        {"a line after the checksum", QStringList(kExampleLines) << "x", false},
        {"checksum not hexadecimal", QStringList(kExampleLines.mid(0, 25)) << "<!--ChecksumData::97G4-->",
         false},
        {"empty", QStringList(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checksumMatches(c.lines), c.matches) << c.name;
}

TEST(CfgChecksum, LinesEndedByCrLfMayBeCoveredEitherWay) {
    // The writer covers its lines with "\n"; a file checked over its CR LF line ends passes too.
    QStringList lines = kExampleLines.mid(0, 25);
    std::uint16_t crc = 0xFFFF;
    for (const QString& l : lines) {
        const QByteArray b = l.toUtf8() + "\r\n";
        crc = Crc16Ccitt(crc, reinterpret_cast<const unsigned char*>(b.constData()), int(b.size()));
    }
    lines << "<!--ChecksumData::" + QString::number(crc, 16).toUpper().rightJustified(4, '0') + "-->";
    EXPECT_TRUE(checksumMatches(lines));
}

TEST_F(CfgFileTest, WriterRefusalShowsMessage67AndWritesNothing) {
    context.drive.identity.typeCode = "Not_Support_Type";
    EXPECT_FALSE(WriteConfigurationXml(context, path("x.cfg"), prompter));
    EXPECT_FALSE(QFile::exists(path("x.cfg")));
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M67");
}

TEST_F(CfgFileTest, WriterWarnsOnceAboutParametersItLeftOutInTheProgramsLanguage) {
    setValue("0001", "-1");
    for (const char* language : {"English", "Japanese"}) {
        prompter.clear();
        context.language.iniPath = shippedDataDir() + "/lng/" + language + ".ini";
        const QString text = IniFile(context.language.iniPath).readString("Main", "CfgSkipped", QString());
        EXPECT_FALSE(text.isEmpty()) << language;
        EXPECT_TRUE(WriteConfigurationXml(context, path("x.cfg"), prompter));
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, text + "\n0001");
    }
}

TEST_F(CfgFileTest, ReadingTheExampleTakesItsValuesAndDefaultsForTheRest) {
    setValue("0200", "99");
    const ReadOutcome r = readLines(kExampleLines);
    ASSERT_EQ(r.result, ReadResult::Loaded);
    EXPECT_EQ(cnum, (QStringList{"0000", "0001", "0105", "a012"}));
    EXPECT_EQ(val, (QStringList{"0003", "0258", "1000", "000A"}));
    EXPECT_EQ(values(), (QStringList{"3", "600", "4096", "10", "7"}));
    EXPECT_EQ(cell("0000", UP_ChangeIndex), "1");
    EXPECT_EQ(cell("0200", UP_ChangeIndex), "0");
    EXPECT_EQ(r.typeName, "QX100");
    EXPECT_EQ(r.capacityName, "-4037");
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(CfgFileTest, LineEndsAndLetterCaseOfRecordsDoNotMatter) {
    QByteArray bytes = joined(kExampleLines, "\r\n");
    bytes.replace("a012000A", "A012000a");
    writeFile("crlf.cfg", bytes);
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(path("crlf.cfg"), lines));
    ASSERT_EQ(readLines(lines).result, ReadResult::Loaded);
    EXPECT_EQ(values(), (QStringList{"3", "600", "4096", "10", "7"}));
}

TEST_F(CfgFileTest, FirstRecordOfANumberWins) {
    QStringList lines = kExampleLines;
    lines[20] = "a0120005A0120006</Data>";
    ASSERT_EQ(readLines(lines).result, ReadResult::Loaded);
    EXPECT_EQ(value("A012"), "5");
}

TEST_F(CfgFileTest, OtherCapacityAnswersDecideWhatIsTaken) {
    QStringList lines = kExampleLines;
    lines[7] = "FB070041FB050007FB720000FE080069";
    context.drive.capacityNumbers = QStringList{"0001"};
    context.drive.capacityFollowers = QStringList{"a012"};
    setValue("0000", "55");
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(readLines(lines).result, ReadResult::Refused);
    EXPECT_EQ(value("0000"), "55");
    EXPECT_EQ(cnum.size(), 4); // kept after a refusal for the identity

    prompter.answer(BoxAnswer::No);
    EXPECT_EQ(readLines(lines).result, ReadResult::Loaded);
    EXPECT_EQ(values(), (QStringList{"3", "1", "4096", "5", "7"}));
    EXPECT_EQ(prompter.boxes()[0].text, "M10\n* QX100-4075 (V105) M87\n\nM11\nM12\nM13");
}

TEST_F(CfgFileTest, OtherTypeAndOtherCpuAreRefusedOrAsked) {
    QStringList lines = kExampleLines;
    lines[12] = "0000000300010258009900020100abcd</Data>"; // P0099 = 2 names QX200
    EXPECT_EQ(readLines(lines).result, ReadResult::Refused);
    EXPECT_EQ(prompter.boxes().back().text, "M9\nQX200Err. (V105) M86"); // no capacity of that type

    lines = kExampleLines;
    lines[7] = "FB070041FB050006FB720000FE080007";
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(readLines(lines).result, ReadResult::Refused);
    EXPECT_EQ(prompter.boxes().back().text, "M14\n* QX100-4037 (V007) M87");
    EXPECT_EQ(value("0001"), "1");
}

TEST_F(CfgFileTest, SpecialSetupRecordsRefuseTheFile) {
    QStringList lines = kExampleLines;
    lines[16] = "0105100009980002</Data>";
    EXPECT_EQ(readLines(lines).result, ReadResult::Refused);
    EXPECT_TRUE(cnum.isEmpty());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "M103\n\nM105");
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::None);

    lines[16] = "01051000099800010999000209500998</Data>"; // normal markers; a value with the digits
    EXPECT_EQ(readLines(lines).result, ReadResult::Loaded);
}

TEST_F(CfgFileTest, MalformedIdentityLineIsRefusedWithMessage67) {
    for (const QString& bad : {QString("FB070041FB050006"), QString("FB07zz41FB050006FB720000FE080069")}) {
        QStringList lines = kExampleLines;
        lines[7] = bad;
        prompter.clear();
        EXPECT_EQ(readLines(lines).result, ReadResult::Refused);
        ASSERT_EQ(prompter.boxes().size(), 1u);
        EXPECT_EQ(prompter.boxes()[0].text, "M67");
    }
}

TEST_F(CfgFileTest, RecordsCutShortOrNotHexArePassedOver) {
    QStringList lines = kExampleLines;
    lines[12] = "00000003000100zz0002</Data>";
    ASSERT_EQ(readLines(lines).result, ReadResult::Loaded);
    EXPECT_EQ(value("0000"), "3");
    EXPECT_EQ(value("0001"), "1"); // default
    EXPECT_EQ(LookupCfgValue(cnum, val, "0001"), "Err.");
    EXPECT_EQ(LookupCfgValue(cnum, val, "A012"), "10");
}

TEST_F(CfgFileTest, RoundTripKeepsEveryValueOfTheThreeRanges) {
    setSyntheticParams(2000);
    for (int i = 0; i < 2000; ++i)
        StoreCells::setWork(context, UP_Value, i, QString::number((i * 2654435761u) % 0x10000));
    store->setWorkingText(UP_Value, 0, "65535");
    store->setWorkingText(UP_Value, 1, "0");
    normalMarkers();
    setValue("0099", "1"); // the value that tells the drive type apart
    const QStringList written = values();
    ASSERT_TRUE(WriteConfigurationXml(context, path("big.cfg"), prompter));
    ParaFile::resetValuesToDefaults(context);
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(path("big.cfg"), lines));
    ASSERT_EQ(readLines(lines).result, ReadResult::Loaded);
    EXPECT_EQ(values(), written);
    EXPECT_TRUE(prompter.boxes().empty());
}

} // namespace

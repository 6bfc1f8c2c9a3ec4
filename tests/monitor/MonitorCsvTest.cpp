// The monitor's CSV export, byte for byte, with and without the decimal comma.
#include "monitor/MonitorCsv.h"

#include "monitor/ContinuousRecorder.h"
#include "monitor/MonitorFile.h"
#include "platform/TextFile.h"

#include "support/RecordedRunFixture.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace monitortest;

namespace {

QByteArray readRaw(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString repeat(const char* field, int n, QChar sep) {
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << QString::fromLatin1(field);
    return l.join(sep);
}

// The example run: CH1 on ("Output frequency", 0.7, offset 10), samples 12.5 and 13.0.
MonitorCsvSetup exampleSetup(bool decimalComma) {
    MonitorCsvSetup s;
    s.typeName = "QX100";
    s.formName = "-4037";
    s.itemCaption = "Monitoring";
    s.channelCaption = "msg55";
    s.errorCaption = "msg84";
    s.errorCount = "0";
    s.decimalComma = decimalComma;
    s.channels[0] = {"Output frequency", true, true, 0.7f, 10};
    for (int c = 1; c < 10; ++c)
        s.channels[c].itemText = "Output current";
    return s;
}

class MonitorCsvTest : public testing::Test {
protected:
    MonitorCsvTest() {
        fillRun(store, exampleHeader(), 2, [](int, int p) { return p == 0 ? 12.5 : 13.0; });
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    SampleStore store;
    QTemporaryDir dir;
};

TEST_F(MonitorCsvTest, ExampleRunIsWrittenByteForByte) {
    ASSERT_TRUE(MonitorCsv::write(path("t.csv"), exampleSetup(false), store));
    const QStringList expected = {
        "QX100-4037",
        "Monitoring,Output frequency," + repeat("-", 9, u','),
        "Multi.,0.7," + repeat("1", 9, u','),
        "Offset,10," + repeat("0", 9, u','),
        "msg55,(CH1),(CH2),(CH3),(CH4),(CH5),(CH6),(CH7),(CH8),(CH9),(CH10)",
        "msg840",
        "0,12.500000," + repeat("0.000000", 9, u','),
        "50,13.000000," + repeat("0.000000", 9, u','),
    };
    EXPECT_EQ(readRaw(path("t.csv")), (expected.join("\r\n") + "\r\n").toUtf8());
}

// The monitor's files travel in the code page of the language; a name it lacks is asked
// about before anything is written, and a No writes nothing.
TEST_F(MonitorCsvTest, FilesAreWrittenInTheCodePageOfTheLanguage) {
    const QString savedPage = TextFile::legacyCodePage();
    const struct {
        const char* page;
        const char* name;
        QByteArray bytes;
        const char* lacking;
    } cases[] = {
        {"CP932", "周波数", "\x8e\xfc\x94\x67\x90\x94", ""},
        {"CP1252", "Fréquence", "Fr\xE9quence", ""},
        {"CP1252", "周波数", "???", "周波数"},
    };
    for (const auto& c : cases) {
        TextFile::setLegacyCodePage(c.page);
        const QString name = QString::fromUtf8(c.name);
        MonitorCsvSetup csv = exampleSetup(false);
        csv.channels[0].itemText = name;
        MonitorFileHeader mon = exampleHeader();
        mon.typeName = name;
        RecordingHeader recording;
        recording.items[0] = name;
        QStringList asked;
        const auto accept = [&](const QString& characters) {
            asked << characters;
            return true;
        };
        ASSERT_TRUE(MonitorCsv::write(path("t.csv"), csv, store, nullptr, accept));
        ASSERT_TRUE(MonitorFile::write(path("t.mon"), mon, store, nullptr, accept));
        EXPECT_EQ(readRaw(path("t.csv")).split('\n').value(1).split(',').value(1).toHex(' '),
                  c.bytes.toHex(' '));
        EXPECT_EQ(readRaw(path("t.mon")).split('\n').value(1).trimmed().toHex(' '), c.bytes.toHex(' '));
        EXPECT_TRUE(RecordingFile::header(recording, false).contains(c.bytes)) << c.page;
        const QString lacking = QString::fromUtf8(c.lacking);
        EXPECT_EQ(asked, lacking.isEmpty() ? QStringList() : (QStringList{lacking, lacking}));
        QStringList back;
        ASSERT_TRUE(TextFile::readLines(path("t.mon"), back));
        if (lacking.isEmpty()) {
            EXPECT_EQ(back.value(1), name);
        }
    }
    QFile::remove(path("t.csv"));
    MonitorCsvSetup lacking = exampleSetup(false);
    lacking.channels[0].itemText = QString::fromUtf8("周波数");
    QString error;
    EXPECT_FALSE(
        MonitorCsv::write(path("t.csv"), lacking, store, &error, [](const QString&) { return false; }));
    EXPECT_FALSE(QFile::exists(path("t.csv")));
    EXPECT_TRUE(error.isEmpty());
    TextFile::setLegacyCodePage(savedPage);
}

TEST_F(MonitorCsvTest, DecimalCommaSeparatesWithSemicolonsEverywhere) {
    // The system's locale has no say: the option decides.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English));
    const QStringList lines = MonitorCsv::lines(exampleSetup(true), store);
    QLocale::setDefault(saved);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[1], "Monitoring;Output frequency;" + repeat("-", 9, u';'));
    EXPECT_EQ(lines[2], "Multi.;0,7;" + repeat("1", 9, u';'));
    EXPECT_EQ(lines[3], "Offset;10;" + repeat("0", 9, u';'));
    EXPECT_EQ(lines[4], "msg55;(CH1);(CH2);(CH3);(CH4);(CH5);(CH6);(CH7);(CH8);(CH9);(CH10)");
    EXPECT_EQ(lines[6], "0;12,5;" + repeat("0", 9, u';'));
    EXPECT_EQ(lines[7], "50;13;" + repeat("0", 9, u';'));
}

// A value that rounds to nothing reads back as 0: written with a minus sign, it would not be
// written the same again.
TEST_F(MonitorCsvTest, AValueThatPrintsAsZeroCarriesNoSignInAnyFile) {
    fillRun(store, exampleHeader(), 2, [](int, int p) { return p == 0 ? -0.000000204 : -0.0; });
    const QStringList csv = MonitorCsv::lines(exampleSetup(false), store);
    const QStringList comma = MonitorCsv::lines(exampleSetup(true), store);
    const QStringList mon = MonitorFile::lines(exampleHeader(), store);
    const ChannelArray recorded{-0.000000204, -0.0};
    const struct {
        QString text, expected;
    } rows[] = {
        {csv[6], "0,0.000000,"},
        {csv[7], "50,0.000000,"},
        {mon[mon.size() - 2], "0,0.000000,"},
        {mon.last(), "50,0.000000,"},
        {comma[7], "50;0;"},
        {QString::fromLatin1(RecordingFile::row(0, recorded, false)), "0,0.000000,0.000000,"},
        {QString::fromLatin1(RecordingFile::row(0, recorded, true)), "0;-2,04e-07;0;"},
    };
    for (const auto& r : rows)
        EXPECT_TRUE(r.text.startsWith(r.expected)) << r.text.toStdString();
}

TEST_F(MonitorCsvTest, ItemColumnShowsOnlyChannelsThatAreOnWithTheirItemEnabled) {
    MonitorCsvSetup s = exampleSetup(false);
    s.channels[0].itemEnabled = false; // on, but its item cannot be chosen: "-", values still written
    s.channels[2] = {"Output voltage", false, true, 2.5f, 40};
    const QStringList lines = MonitorCsv::lines(s, store);
    EXPECT_EQ(lines[1], "Monitoring," + repeat("-", 10, u','));
    EXPECT_EQ(lines[2], "Multi.,0.7,1,2.5," + repeat("1", 7, u','));
    EXPECT_EQ(lines[3], "Offset,10,0,40," + repeat("0", 7, u','));
    EXPECT_TRUE(lines[6].startsWith("0,12.500000,0.000000,0.000000,"));
}

TEST_F(MonitorCsvTest, BeforeAnyRunOnlyTheHeaderIsWritten) {
    SampleStore empty;
    EXPECT_EQ(MonitorCsv::lines(exampleSetup(false), empty).size(), 6);
    fillRun(store, exampleHeader(), 240, wave);
    EXPECT_EQ(MonitorCsv::lines(exampleSetup(false), store).size(), 6 + 240);
}

} // namespace

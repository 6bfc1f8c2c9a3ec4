// The monitor data file: its exact bytes, the round trip, the identity checks, the older
// form, broken files (refused or read part-way, never past the store), and Save As names.
#include "monitor/MonitorFile.h"

#include "monitor/SampleWindow.h"
#include "platform/BoxText.h"
#include "platform/TextFile.h"
#include "support/RecordedRunFixture.h"
#include "support/ScriptedPrompter.h"

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

QString zeros(const char* value, int n) {
    QStringList l;
    for (int i = 0; i < n; ++i)
        l << QString::fromLatin1(value);
    return l.join(u',');
}

// The lines of a current-form file with the example set-up and these sample rows.
QStringList exampleFile(const QStringList& rows) {
    QStringList lines = {"###",
                         "QX100",
                         "-4037",
                         "V110",
                         "0",
                         "0",
                         "0",
                         "100",
                         "1.0",
                         "0",
                         "0",
                         "0",
                         "0",
                         "0",
                         "0",
                         "Data1,2," + zeros("0", 9),
                         "Data2,7," + zeros("10", 9),
                         "Data3,10," + zeros("0", 9),
                         "Data4,1," + zeros("0", 9)};
    return lines + rows;
}

class MonitorFileTest : public testing::Test {
protected:
    MonitorFile::ReadResult read(const QStringList& lines, int itemCount = 20, bool lastLineEnded = true) {
        return MonitorFile::read(lines, drive.context, itemCount, prompter, header, store, lastLineEnded);
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    SelectedDrive drive;
    ScriptedPrompter prompter;
    MonitorFileHeader header;
    SampleStore store;
    QTemporaryDir dir;
};

TEST_F(MonitorFileTest, ExampleRunIsWrittenByteForByte) {
    const MonitorFileHeader h = exampleHeader();
    fillRun(store, h, 2, [](int, int p) { return p == 0 ? 12.5 : 13.0; });
    ASSERT_TRUE(MonitorFile::write(path("t.mon"), h, store));
    const QString row0 = "0,12.500000," + zeros("0.000000", 9);
    const QString row1 = "50,13.000000," + zeros("0.000000", 9);
    EXPECT_EQ(readRaw(path("t.mon")), (exampleFile({row0, row1}).join("\r\n") + "\r\n").toLatin1());
}

TEST_F(MonitorFileTest, ExampleRunReadsBackAndSavesToTheSameBytes) {
    const MonitorFileHeader h = exampleHeader();
    fillRun(store, h, 2, [](int, int p) { return p == 0 ? 12.5 : 13.0; });
    ASSERT_TRUE(MonitorFile::write(path("t.mon"), h, store));

    SampleStore back;
    MonitorFileHeader got;
    const auto result = MonitorFile::read(TextFile::splitLines(QString::fromLatin1(readRaw(path("t.mon")))),
                                          drive.context, 20, prompter, got, back);
    ASSERT_EQ(result.outcome, MonitorFile::ReadResult::Outcome::Read);
    EXPECT_EQ(result.form, MonitorFile::Form::Current);
    EXPECT_EQ(back.lastPoint(), 1);
    EXPECT_EQ(got.channels[0].multiplierStep, 7);
    EXPECT_FLOAT_EQ(got.channels[0].multiplier(), 0.7f);
    EXPECT_EQ(got.channels[0].multiplierText(), "0.7"); // what the "Multi." edit shows
    EXPECT_EQ(got.channels[0].offset, "10");
    applyScales(back, got);
    EXPECT_NEAR(back.plotted(0, 0), 18.75, 1e-5);
    EXPECT_NEAR(back.plotted(0, 1), 19.1, 1e-5);
    EXPECT_FALSE(back.hasPoint(1, 0)); // off: no points

    ASSERT_TRUE(MonitorFile::write(path("again.mon"), got, back));
    EXPECT_EQ(readRaw(path("again.mon")), readRaw(path("t.mon")));
}

TEST_F(MonitorFileTest, RoundTripKeepsTheChartAndTheSetUp) {
    MonitorFileHeader h = exampleHeader();
    h.alarmWord = true;
    h.tripData = true;
    h.yMaximum = "250";
    h.timeBase = "0.5";
    h.triggerChannel = 3;
    h.triggerSlope = 2;
    h.triggerLevel = "75";
    h.triggerDelay = "20";
    h.triggerOn = true;
    h.errorCount = 4;
    for (int c = 0; c < 10; ++c)
        h.channels[c] = {c + 1, 1 + c * 11, QString::number(c * 50), c % 3 != 1};
    fillRun(store, h, 240, wave);
    ASSERT_TRUE(MonitorFile::write(path("r.mon"), h, store));

    SampleStore back;
    MonitorFileHeader got;
    ASSERT_TRUE(MonitorFile::read(TextFile::splitLines(QString::fromLatin1(readRaw(path("r.mon")))),
                                  drive.context, 20, prompter, got, back)
                    .accepted());
    applyScales(back, got);
    EXPECT_EQ(MonitorFile::lines(got, back), MonitorFile::lines(h, store));
    ASSERT_EQ(back.lastPoint(), store.lastPoint());
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(got.channels[c].itemIndex, h.channels[c].itemIndex);
        EXPECT_EQ(got.channels[c].multiplierStep, h.channels[c].multiplierStep);
        EXPECT_EQ(got.channels[c].offset, h.channels[c].offset);
        EXPECT_EQ(got.channels[c].on, h.channels[c].on);
        for (int p = 0; p <= store.lastPoint(); ++p) {
            ASSERT_EQ(back.kind(c, p), store.kind(c, p)) << c << " " << p;
            ASSERT_NEAR(back.plotted(c, p), store.plotted(c, p), 1e-4) << c << " " << p;
        }
    }
    for (int p = 0; p <= store.lastPoint(); ++p)
        ASSERT_EQ(back.sampleTime(p), store.sampleTime(p));
    EXPECT_TRUE(got.alarmWord);
    EXPECT_FALSE(got.tripCode);
    EXPECT_TRUE(got.tripData);
    EXPECT_EQ(got.yMaximum, "250");
    EXPECT_EQ(got.timeBase, "0.5");
    EXPECT_EQ(got.triggerChannel, 3);
    EXPECT_EQ(got.triggerSlope, 2);
    EXPECT_EQ(got.triggerLevel, "75");
    EXPECT_EQ(got.triggerDelay, "20");
    EXPECT_TRUE(got.triggerOn);
    EXPECT_EQ(got.errorCount, 4);
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(MonitorFileTest, BeforeAnyRunTheFileHoldsTheSetUpAlone) {
    ASSERT_TRUE(MonitorFile::write(path("e.mon"), exampleHeader(), store));
    const QStringList lines = TextFile::splitLines(QString::fromLatin1(readRaw(path("e.mon"))));
    EXPECT_EQ(lines.size(), 19);
    store.appendSample(5);
    EXPECT_TRUE(read(lines).accepted());
    EXPECT_EQ(store.lastPoint(), -1);
}

TEST_F(MonitorFileTest, AFileOfAnotherTypeIsRefusedAndChangesNothing) {
    fillRun(store, exampleHeader(), 3, wave);
    header.yMaximum = "300";
    QStringList file = exampleFile({"0,1.0," + zeros("0", 9)});
    file[1] = "QX200";
    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(read(file).outcome, MonitorFile::ReadResult::Outcome::Refused);
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "msg9\nQX200-4037 (V110) msg86");
    EXPECT_EQ(prompter.boxes()[0].caption, "Caption");
    EXPECT_EQ(store.lastPoint(), 2);
    EXPECT_EQ(header.yMaximum, "300");
}

TEST_F(MonitorFileTest, AnotherCpuVersionIsReadOnlyAfterOk) {
    fillRun(store, exampleHeader(), 3, wave);
    QStringList file = exampleFile({"0,1.5," + zeros("0", 9)});
    file[3] = "V200";
    prompter.answer(BoxAnswer::Cancel);
    EXPECT_EQ(read(file).outcome, MonitorFile::ReadResult::Outcome::Refused);
    EXPECT_EQ(prompter.boxes().back().text, "msg14\n* QX100-4037 (V200) msg87");
    EXPECT_EQ(prompter.boxes().back().buttons, BoxButtons::OkCancel);
    EXPECT_EQ(store.lastPoint(), 2);

    prompter.answer(BoxAnswer::Ok);
    EXPECT_EQ(read(file).outcome, MonitorFile::ReadResult::Outcome::Read);
    EXPECT_EQ(store.lastPoint(), 0);
    EXPECT_EQ(header.cpuVersion, "V200");
}

TEST_F(MonitorFileTest, OlderFormReadsFiveChannelsAndKeepsTheRest) {
    header.channels[7] = {4, 30, "100", true};
    header.triggerLevel = "55";
    QStringList file = {"QX100", "-4037", "x,3,1,4,1,5", "x,180,20,30,40,50", "x,5,6,7,8,9", "12,1,0,1,0,1"};
    for (int p = 0; p < 600; ++p)
        file << QString("%1,%2.5,9,%3,9,-1").arg(p * 20).arg(p).arg(p * 2);
    const auto result = read(file);
    ASSERT_EQ(result.outcome, MonitorFile::ReadResult::Outcome::Read);
    EXPECT_EQ(result.form, MonitorFile::Form::Older);
    EXPECT_EQ(result.channels, 5);
    EXPECT_EQ(store.lastPoint(), 494); // 495 samples at most
    EXPECT_EQ(header.yMaximum, "180");
    EXPECT_EQ(header.timeBasePosition, 12);
    EXPECT_EQ(header.channels[0].multiplierStep, 10); // CH1 has no multiplier field
    EXPECT_EQ(header.channels[1].multiplierStep, 20);
    EXPECT_EQ(header.channels[4].offset, "9");
    EXPECT_EQ((std::vector<bool>{header.channels[0].on, header.channels[1].on, header.channels[2].on}),
              (std::vector<bool>{true, false, true}));
    EXPECT_EQ(store.unscaled(0, 3), 3.5);
    EXPECT_EQ(store.unscaled(2, 3), 6.0);
    EXPECT_EQ(store.unscaled(4, 3), -1.0);
    EXPECT_FALSE(store.hasPoint(1, 3));
    EXPECT_EQ(store.sampleTime(494), 494u * 20);
    // CH6..CH10 and the trigger keep what they were, and get no points.
    EXPECT_EQ(header.channels[7].multiplierStep, 30);
    EXPECT_TRUE(header.channels[7].on);
    EXPECT_FALSE(store.hasPoint(7, 0));
    EXPECT_EQ(header.triggerLevel, "55");

    file[0] = "QX200";
    prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(read(file).accepted());
    EXPECT_EQ(prompter.boxes().back().text, "msg9\nQX200-4037 msg86");
}

TEST_F(MonitorFileTest, SetUpValuesOutsideTheirListsAreHeldInside) {
    QStringList file = exampleFile({"0,1.0," + zeros("0", 9)});
    file[9] = "12";                               // trigger channel
    file[10] = "-1";                              // slope
    file[15] = "Data1,25,-3,,4," + zeros("0", 6); // items: past the list, negative, empty
    file[16] = "Data2,150,0,," + zeros("10", 7);  // steps: above, below, empty
    ASSERT_TRUE(read(file).accepted());
    EXPECT_EQ(header.triggerChannel, 0);
    EXPECT_EQ(header.triggerSlope, 0);
    EXPECT_EQ((std::vector<int>{header.channels[0].itemIndex, header.channels[1].itemIndex,
                                header.channels[2].itemIndex, header.channels[3].itemIndex}),
              (std::vector<int>{0, 0, 0, 4}));
    EXPECT_EQ((std::vector<int>{header.channels[0].multiplierStep, header.channels[1].multiplierStep,
                                header.channels[2].multiplierStep}),
              (std::vector<int>{100, 1, 10}));
    EXPECT_EQ((QStringList{header.channels[0].multiplierText(), header.channels[1].multiplierText(),
                           header.channels[2].multiplierText()}),
              (QStringList{"10.0", "0.1", "1.0"}));
}

// Broken files: refused as a whole when the set-up is bad, read up to the bad row otherwise.
TEST_F(MonitorFileTest, BrokenFilesAreRefusedOrReadPartWay) {
    using Outcome = MonitorFile::ReadResult::Outcome;
    const QString good = "0,1.0," + zeros("0", 9);
    struct Case {
        const char* name;
        QStringList file;
        Outcome outcome;
        int held; // samples the store holds afterwards (a refused file leaves the three it had)
        QString box;
        bool lastLineEnded = true;
        bool lastRowIncomplete = false;
    };
    auto replaced = [](QStringList l, int index, const QString& text) {
        l[index] = text;
        return l;
    };
    const QStringList base = exampleFile({good, "50,2.0," + zeros("0", 9), "100,3.0," + zeros("0", 9)});
    const Case cases[] = {
        {"bad value in the second row", replaced(base, 20, "50,abc," + zeros("0", 9)), Outcome::ReadPartly, 1,
         "'abc' is not a valid floating point value."},
        {"missing value of a channel that is on", replaced(base, 20, "50"), Outcome::ReadPartly, 1,
         "'' is not a valid floating point value."},
        {"a 100 KB value is quoted cut short", replaced(base, 20, "50," + QString(100000, 'x')),
         Outcome::ReadPartly, 1,
         "'" + QString(BoxText::kQuotedLength - 1, 'x') + QString::fromUtf8("…") +
             "' is not a valid floating point value."},
        {"last row cut after its time", replaced(base, 21, "100"), Outcome::Read, 2, {}, false, true},
        {"last row cut inside a value",
         replaced(base, 21, "100,3.0," + zeros("0", 8) + ",0.00"),
         Outcome::Read,
         2,
         {},
         false,
         true},
        {"last row without its line end", base, Outcome::Read, 2, {}, false, true},
        {"time that is no whole number", replaced(base, 19, "0.5,1.0"), Outcome::ReadPartly, 0,
         "'0.5' is not a valid integer value."},
        {"negative time", replaced(base, 19, "-5,1.0"), Outcome::ReadPartly, 0,
         "'-5' is not a valid integer value."},
        {"value beyond a float", replaced(base, 20, "50,1e40"), Outcome::ReadPartly, 1,
         "'1e40' is not a valid floating point value."},
        {"rows after an empty line", replaced(base, 20, ""), Outcome::Read, 1, {}, false},
        {"empty time ends the samples", replaced(base, 20, ",5"), Outcome::Read, 1, {}},
        {"header flag no number", replaced(base, 4, "x"), Outcome::Refused, 3,
         "'x' is not a valid integer value."},
        {"empty on/off field", replaced(base, 18, "Data4,," + zeros("0", 9)), Outcome::Refused, 3,
         "'' is not a valid integer value."},
        {"item no number", replaced(base, 15, "Data1,two"), Outcome::Refused, 3,
         "'two' is not a valid integer value."},
        {"cut short in the set-up", base.mid(0, 12), Outcome::Refused, 3, "'' is not a valid integer value."},
        {"marker only", QStringList{"###"}, Outcome::Refused, 3, "msg9\n () msg86"},
        {"empty file", QStringList{}, Outcome::Refused, 3, "msg9\n msg86"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompter.clear();
        fillRun(store, exampleHeader(), 3, wave);
        if (!c.box.isEmpty())
            prompter.answer(BoxAnswer::Ok);
        const auto result = read(c.file, 20, c.lastLineEnded);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.lastRowIncomplete, c.lastRowIncomplete);
        EXPECT_EQ(store.size(), c.held);
        EXPECT_EQ(store.lastPoint(), c.held - 1);
        // Every sample held is whole: the channel that is on has its point.
        for (int p = 0; p <= store.lastPoint(); ++p)
            EXPECT_TRUE(store.hasPoint(0, p));
        if (!c.box.isEmpty()) {
            ASSERT_EQ(prompter.boxes().size(), 1u);
            EXPECT_EQ(prompter.boxes()[0].text, c.box);
        } else {
            EXPECT_TRUE(prompter.boxes().empty());
        }
    }
}

TEST_F(MonitorFileTest, MoreRowsThanTheStoreHoldsAreCutAtItsCapacity) {
    QStringList rows;
    for (int p = 0; p < SampleStore::kCapacity + 5; ++p)
        rows << QString("%1,%2,0").arg(p).arg(p % 100);
    const auto result = read(exampleFile(rows));
    EXPECT_EQ(result.outcome, MonitorFile::ReadResult::Outcome::Read);
    EXPECT_EQ(result.rowsLeftOut, 5);
    EXPECT_EQ(store.lastPoint(), SampleStore::kCapacity - 1);
    EXPECT_EQ(store.sampleTime(SampleStore::kCapacity - 1), quint32(SampleStore::kCapacity - 1));
}

TEST_F(MonitorFileTest, NumbersFollowTheFileNotTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    const auto result = read(exampleFile({"0,12.5", "50,12,75", "100, 3 "}));
    QLocale::setDefault(saved);
    ASSERT_EQ(result.outcome, MonitorFile::ReadResult::Outcome::Read);
    EXPECT_EQ(store.unscaled(0, 0), 12.5);
    EXPECT_EQ(store.unscaled(0, 1), 12.0); // "12,75" splits at the comma: the value is 12
    EXPECT_EQ(store.unscaled(0, 2), 3.0);
    // A quoted field keeps its comma, which reads as a decimal comma.
    ASSERT_TRUE(read(exampleFile({"0,\"12,75\""})).accepted());
    EXPECT_EQ(store.unscaled(0, 0), 12.75);
    fillRun(store, exampleHeader(), 1, [](int, int) { return 0.25; });
    QLocale::setDefault(QLocale(QLocale::German));
    const QStringList written = MonitorFile::lines(exampleHeader(), store);
    QLocale::setDefault(saved);
    EXPECT_EQ(written.last(), "0,0.250000," + zeros("0.000000", 9));
}

TEST_F(MonitorFileTest, AFileThatCannotBeWrittenLeavesNothing) {
    QString error;
    EXPECT_FALSE(MonitorFile::write(path("no/folder/t.mon"), exampleHeader(), store, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path("no/folder/t.mon")));
}

TEST_F(MonitorFileTest, TheWholeRecordIsInViewAfterReading) {
    fillRun(store, exampleHeader(), 241, wave);
    SampleWindow w;
    w.setTriggerRingIndex(30);
    w.showFrom(500);
    MonitorFile::showWholeRecord(w, store, 0);
    EXPECT_EQ(w.minimum(), 0);
    EXPECT_EQ(w.maximum(), 245); // five samples past the last point
    EXPECT_EQ(w.extent(), 245);
    EXPECT_EQ(w.scope(), 100);
    EXPECT_EQ(w.triggerRingIndex(), 0);

    MonitorFile::showWholeRecord(w, store, -1); // no channel on
    EXPECT_EQ(w.maximum(), 100);
    EXPECT_EQ(w.extent(), 100);
}

TEST(MonitorSaveNames, ExtensionsFollowTheNameOrTheChosenEntry) {
    using MonitorFile::SaveKind;
    struct Case {
        const char* typed;
        int filter;
        bool pictures;
        const char* written;
        SaveKind kind;
    };
    const Case cases[] = {
        {"trend", 1, false, "trend.mon", SaveKind::Monitor},
        {"trend.txt", 1, false, "trend.txt.mon", SaveKind::Monitor},
        {"A.Mon", 1, false, "A.Mon", SaveKind::Monitor},
        {"b.CSV", 1, false, "b.CSV", SaveKind::Csv},
        {"c", 2, false, "c.csv", SaveKind::Csv},
        {"d", 3, false, "d.bmp", SaveKind::Bmp},
        {"e", 4, false, "e.jpg", SaveKind::Jpeg},
        {"f", 5, false, "f.wmf", SaveKind::Wmf},
        {"g.wmf", 2, false, "g.wmf", SaveKind::Wmf},
        {"chart.JPG", 1, true, "chart.JPG", SaveKind::Jpeg},
        {"chart", 2, true, "chart.jpg", SaveKind::Jpeg},
        {"chart", 3, true, "chart.wmf", SaveKind::Wmf},
        {"chart.mon", 1, true, "chart.mon.bmp", SaveKind::Bmp},
        {"chart.csv", 9, true, "chart.csv.bmp", SaveKind::Bmp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const QString name =
            MonitorFile::nameWithExtension(QString::fromLatin1(c.typed), c.filter, c.pictures);
        EXPECT_EQ(name, QString::fromLatin1(c.written));
        EXPECT_EQ(MonitorFile::saveKindOf(name), c.kind);
    }
    const std::pair<const char*, std::pair<int, int>> presets[] = {
        {"x.wmf", {5, 3}}, {"x.JPG", {4, 2}}, {"x.bmp", {3, 1}},
        {"x.Csv", {2, 1}}, {"x.mon", {1, 1}}, {"", {1, 1}},
    };
    for (const auto& [last, index] : presets) {
        EXPECT_EQ(MonitorFile::saveFilterIndex(QString::fromLatin1(last), false), index.first) << last;
        EXPECT_EQ(MonitorFile::saveFilterIndex(QString::fromLatin1(last), true), index.second) << last;
    }
}

} // namespace

// The continuous recording: the file byte for byte, its name, what Stop, a trip and a lost
// drive leave in it, the thinned chart, and flat memory however long it runs.
#include "monitor/ContinuousRecorder.h"
#include "platform/TextFile.h"
#include "support/FileSizeLimit.h"
#include "support/MonitorRunFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ContinuousRecording : public MonitorRunFixture {
protected:
    void SetUp() override {
        MonitorRunFixture::SetUp();
        ASSERT_TRUE(dir.isValid());
        opts.continuousMonitoring.setChecked(true);
        useChannels({{0, 1}}); // CH1 the frequency command
        setRaw("FA01", 1250);  // 12.50 Hz
        context.recent.monitorFolder = dir.path();
    }
    // Start with the information box answered and `name` chosen in the dialog.
    RunEnd record(const QString& name) {
        prompter.answer(BoxAnswer::Ok);
        prompter.answerFile(name.isEmpty() ? QString() : dir.filePath(name));
        return run->start();
    }
    QStringList lines(const QString& name) const {
        return QString::fromUtf8(readAll(dir.filePath(name)))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    static QString row(int t, const char* ch1) {
        return QStringLiteral("%1,%2,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
                              "0.000000")
            .arg(t)
            .arg(QLatin1String(ch1));
    }

    QTemporaryDir dir;
};

TEST_F(ContinuousRecording, WritesEverySampleForTheSetTimeByteForByte) {
    ASSERT_EQ(opts.continuousRecordMinutes.position(), 120);
    ASSERT_EQ(opts.continuousSampleSeconds.position(), 10);
    EXPECT_EQ(record(QStringLiteral("trend")), RunEnd::Completed);
    EXPECT_EQ(run->periodMicros(), 10'000'000);

    QByteArray expected = "HXA1-2004\r\n120(min)\r\n10(s/point)\r\n"
                          "Time(ms),Frequency command,-,-,-,-,-,-,-,-,-\r\n"
                          " ,(CH1),(CH2),(CH3),(CH4),(CH5),(CH6),(CH7),(CH8),(CH9),(CH10)\r\n";
    for (int k = 0; k <= 720; ++k)
        expected += row(k * 10000, "12.500000").toLatin1() + "\r\n";
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("trend.csv"))), expected);
    EXPECT_EQ(context.recent.monitorName, QStringLiteral("trend.csv"));
    EXPECT_EQ(context.recent.monitorFolder, dir.path());

    // The information box tells the time, the pace and the size.
    ASSERT_FALSE(prompter.boxes().empty());
    const QString info = prompter.boxes()[0].text;
    EXPECT_TRUE(info.startsWith(store->Msg(MsgId::RecordTimeLabel) + QStringLiteral("120(min)\n") +
                                store->Msg(MsgId::SamplingTimeLabel) + QStringLiteral("10(s/point)\n\n")))
        << info.toStdString();
    EXPECT_TRUE(info.endsWith(model->runState().recordSizeText + store->Msg(MsgId::KilobyteUnit)));

    // Every second sample is plotted, as the mean of it and the one before.
    EXPECT_EQ(model->runState().recordStepFactor, 2);
    EXPECT_EQ(model->lastPoint(), 360);
    EXPECT_DOUBLE_EQ(model->samples.plotted(0, 0), 12.5);
    EXPECT_EQ(model->samples.sampleTime(1), 30000u);
    EXPECT_FALSE(model->samples.hasPoint(1, 0)); // a channel that is off gets no points
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
}

TEST_F(ContinuousRecording, ADecimalCommaLanguageWritesSemicolonsAndCommas) {
    context.language.decimalComma = true;
    pacer.onWait = [this](int wait) {
        if (wait == 2)
            run->stop();
    };
    EXPECT_EQ(record(QStringLiteral("komma.csv")), RunEnd::Stopped);
    const QStringList l = lines(QStringLiteral("komma.csv"));
    ASSERT_EQ(l.size(), 7);
    EXPECT_EQ(l[3], QStringLiteral("Time(ms);Frequency command;-;-;-;-;-;-;-;-;-"));
    EXPECT_EQ(l[4], QStringLiteral(" ;(CH1);(CH2);(CH3);(CH4);(CH5);(CH6);(CH7);(CH8);(CH9);(CH10)"));
    EXPECT_EQ(l[6], QStringLiteral("10000;12,5;0;0;0;0;0;0;0;0;0"));
}

TEST_F(ContinuousRecording, StopATripAndALostDriveLoseNothingAlreadySampled) {
    // Stop while waiting after sample 12: its row is in the file.
    pacer.onWait = [this](int wait) {
        if (wait == 13)
            run->stop();
    };
    EXPECT_EQ(record(QStringLiteral("stop.csv")), RunEnd::Stopped);
    QStringList l = lines(QStringLiteral("stop.csv"));
    ASSERT_EQ(l.size(), 5 + 13);
    EXPECT_EQ(l.last(), row(120000, "12.500000"));

    // A trip seen at sample 30 with "Display Data at Trip": that row is the last.
    useChannels({{0, 1}}, false, true);
    pacer.waits = 0;
    pacer.onWait = [this](int wait) {
        if (wait == 30)
            driveModel.trip(7);
    };
    EXPECT_EQ(record(QStringLiteral("trip.csv")), RunEnd::Tripped);
    l = lines(QStringLiteral("trip.csv"));
    ASSERT_EQ(l.size(), 5 + 31);
    EXPECT_EQ(l.last(), row(300000, "12.500000"));
    setRaw("FC90", 0);

    // The drive is silent for the first sample and from sample 5 on: its last value stands
    // in and every such sample counts as an error, the first one too; Stop at sample 9.
    useChannels({{0, 1}});
    pacer.waits = 0;
    QObject::connect(run.get(), &MonitorRun::runStarted, run.get(), [this] { driveAnswers = false; });
    std::vector<int> errorsAfterSample;
    QObject::connect(run.get(), &MonitorRun::sampleTaken, run.get(),
                     [&] { errorsAfterSample.push_back(run->display().errorCount); });
    pacer.onWait = [this](int wait) {
        driveAnswers = wait < 5;
        if (wait == 10)
            run->stop();
    };
    EXPECT_EQ(record(QStringLiteral("lost.csv")), RunEnd::Stopped);
    driveAnswers = true;
    l = lines(QStringLiteral("lost.csv"));
    ASSERT_EQ(l.size(), 5 + 10);
    EXPECT_EQ(l[6], row(10000, "12.500000"));
    EXPECT_EQ(l.last(), row(90000, "12.500000"));
    EXPECT_EQ(errorsAfterSample, (std::vector<int>{1, 1, 1, 1, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(run->display().readouts[0], QStringLiteral("Err."));
}

// A file-size limit cuts the row of sample 4 part-way, as a full disk would: the file keeps
// its whole rows only, and the box says the write failed rather than the file was not made.
TEST_F(ContinuousRecording, ARowTheFileCannotTakeIsTakenBackAndTheFailureNamed) {
    const QString path = dir.filePath(QStringLiteral("full.csv"));
    std::unique_ptr<FileSizeLimit> limit;
    pacer.onWait = [&](int wait) {
        if (wait == 4)
            limit = std::make_unique<FileSizeLimit>(QFileInfo(path).size() + 40);
    };
    const RunEnd end = record(QStringLiteral("full.csv"));
    limit.reset();
    EXPECT_EQ(end, RunEnd::FileFailed);
    EXPECT_TRUE(readAll(path).endsWith(row(30000, "12.500000").toLatin1() + "\r\n"));
    EXPECT_EQ(lines(QStringLiteral("full.csv")).size(), 5 + 4);
    EXPECT_EQ(prompter.boxes().back().text, "The file could not be written:\n" + path);
}

TEST_F(ContinuousRecording, TheNameGetsCsvAndAnotherFileIsNotReplacedUnasked) {
    EXPECT_EQ(RecordingFile::withCsvSuffix(QStringLiteral("trend")), QStringLiteral("trend.csv"));
    EXPECT_EQ(RecordingFile::withCsvSuffix(QStringLiteral("TREND.CsV")), QStringLiteral("TREND.CsV"));
    EXPECT_EQ(RecordingFile::withCsvSuffix(QStringLiteral("trend.txt")), QStringLiteral("trend.txt.csv"));

    // The dialog asked about "data.txt"; "data.txt.csv" exists: No keeps it and nothing runs.
    const QString other = dir.filePath(QStringLiteral("data.txt.csv"));
    ASSERT_TRUE(TextFile::writeBytes(other, "keep me"));
    prompter.answer(BoxAnswer::Ok);
    prompter.answerFile(dir.filePath(QStringLiteral("data.txt")));
    prompter.answer(BoxAnswer::No);
    EXPECT_EQ(run->start(), RunEnd::Cancelled);
    EXPECT_EQ(readAll(other), QByteArray("keep me"));
    EXPECT_EQ(prompter.boxes().back().buttons, BoxButtons::YesNoDefaultNo);

    // A cancelled dialog: no file, and the lock is gone again.
    lockStates.clear();
    EXPECT_EQ(record(QString()), RunEnd::Cancelled);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.txt.csv")});

    // A folder that cannot take the file, a disk that cannot take its header: the box names
    // the file and says why, and nothing runs.
    prompter.answer(BoxAnswer::Ok);
    prompter.answerFile(dir.filePath(QStringLiteral("missing/x.csv")));
    EXPECT_EQ(run->start(), RunEnd::Cancelled);
    EXPECT_EQ(prompter.boxes().back().text, QStringLiteral("Cannot write %1: No such file or directory")
                                                .arg(dir.filePath(QStringLiteral("missing/x.csv"))));
    EXPECT_EQ(prompter.boxes().back().icon, BoxIcon::Error);
    {
        FileSizeLimit limit(20);
        ASSERT_TRUE(limit.active());
        EXPECT_EQ(record(QStringLiteral("small.csv")), RunEnd::Cancelled);
    }
    EXPECT_EQ(
        prompter.boxes().back().text,
        QStringLiteral("Cannot write %1: File too large").arg(dir.filePath(QStringLiteral("small.csv"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("small.csv"))));
}

TEST(ContinuousRecorder, ARecordingLongerThanTheChartRunsAtFlatMemory) {
    QTemporaryDir dir;
    SampleStore store;
    ContinuousRecorder r(store, 1, false);
    const QString path = dir.filePath(QStringLiteral("long.csv"));
    ASSERT_TRUE(r.create(path, RecordingHeader()));
    const std::array<bool, kMonitorChannels> recorded{true}, gap{};
    const int samples = 2 * SampleStore::kCapacity + 17;
    for (int k = 0; k < samples; ++k) {
        ChannelArray v{};
        v[0] = k % 100;
        const int p = r.plot(quint32(k), v, recorded, gap);
        EXPECT_EQ(p, k < SampleStore::kCapacity ? k : -1);
        ASSERT_TRUE(r.write(quint32(k), v));
    }
    // The chart holds what it can; the file has every row.
    EXPECT_TRUE(r.chartFull());
    EXPECT_EQ(store.size(), SampleStore::kCapacity);
    EXPECT_DOUBLE_EQ(store.plotted(0, 0), 0.0);
    EXPECT_DOUBLE_EQ(store.plotted(0, 2), 1.5); // the mean of samples 1 and 2
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(path, lines));
    EXPECT_EQ(lines.size(), 5 + samples);
    EXPECT_EQ(lines.last(),
              QStringLiteral("%1,%2.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
                             "0.000000,0.000000,0.000000")
                  .arg(samples - 1)
                  .arg((samples - 1) % 100));
    // A file that went away is not made again without its header.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(r.write(0, ChannelArray{}));
}

} // namespace

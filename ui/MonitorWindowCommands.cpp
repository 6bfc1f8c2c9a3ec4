// The monitor window's texts and its buttons: Start and Stop, the readout of a clicked point,
// Open and Save As of monitor files, the CSV export and the pictures, and Print.
#include "ui/MonitorWindow.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "monitor/ChannelValues.h"
#include "monitor/ChartReadout.h"
#include "monitor/MonitorCsv.h"
#include "monitor/MonitorFile.h"
#include "monitor/MonitorRecord.h"
#include "monitor/MonitorRun.h"
#include "platform/DialogTitle.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"
#include "ui/ChartPictures.h"
#include "ui/ChartWidget.h"
#include "ui/MonitorReportRows.h"
#include "ui/UpDownEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

QString message(const ProgramContext& context, int n) {
    return context.store ? context.store->Msg(n) : QString();
}

// A file that could not be written or read: the system's reason in a box.
void reportFailure(const ProgramContext& context, const QString& error, QWidget* parent) {
    Prompter::instance().message(error, context.texts.caption, BoxIcon::Error, BoxButtons::Ok, parent);
    PumpEvents();
}

} // namespace

report::TimeBaseText shownTimeBase(const QString& text) {
    return {text, timeBaseSeconds(text)};
}

void MonitorWindow::LoadMonitorTexts() {
    const ProgramContext& context = model_->context();
    std::unique_ptr<IniFile> ini;
    if (!context.language.iniPath.isEmpty())
        ini = std::make_unique<IniFile>(Paths::resolvedOrAsGiven(context.language.iniPath));
    texts_.clear();
    auto text = [&](const char* key, const char* def) {
        const QString k = QString::fromLatin1(key);
        const QString d = QString::fromUtf8(def);
        const QString t = ini ? ini->readString(QStringLiteral("Monitor"), k, d) : d;
        texts_.insert(k, t);
        return t;
    };
    const QString caption = text("Form", "Monitoring");
    // The file dialogs' titles are the main window's "Open" and "Save As".
    auto mainText = [&ini](const char* key, const char* def) {
        const QString d = QString::fromLatin1(def);
        return ini ? ini->readString(QStringLiteral("Main"), QString::fromLatin1(key), d) : d;
    };
    openTitle_ = dialogTitle(mainText("ToolB3", "Open"));
    saveTitle_ = dialogTitle(mainText("ToolB5", "Save As"));
    text("OpenFile1", "Monitor Datas(*.mon)|*.mon");
    // Save As offers every kind it writes, and the picture dialog every picture.
    text("SaveFile1", MonitorFile::kSaveFilterDefault);
    text("SaveFile2", "Monitor Datas(*.csv)|*.csv");
    text("SaveFile3", MonitorFile::kPictureFilterDefault);
    pages->setTabText(pages->indexOf(displayPage), text("Tab2", "Display"));
    triggerHeading->setText(text("Label11", "Trigger"));
    valueHeading->setText(text("Label12", "Value"));
    maxCaption->setText(text("Label21", "Max."));
    timeCaption->setText(text("Label22", "Time"));
    timeUnit->setText(text("Label23", "(s/div)"));
    zoomCaption->setText(text("Label24", "Zoom"));
    timeBaseUnit->setText(texts_.value(QStringLiteral("Label23")));
    zoomBox->setText(text("Check3", "Zoom"));
    triggerBox->setText(text("Check4", "Use Level Trigger"));
    continuousCaption->setText(text("Label41", "Continuous Monitoring"));
    sourceCaption->setText(text("Label42", "Source"));
    slopeCaption->setText(text("Label43", "Slope"));
    startButton->setText(text("Button1", "Start"));
    stopButton->setText(text("Button2", "Stop"));
    openButton->setText(text("Button3", "Open"));
    saveAsButton->setText(text("Button4", "Save As"));
    printButton->setText(text("Button5", "Print"));
    pages->setTabText(pages->indexOf(settingPage), text("Tab1", "Setting"));
    unitHeading->setText(text("Label61", "Unit Chg."));
    multiplierHeading->setText(text("Label62", "Multi."));
    offsetHeading->setText(text("Label63", "Offset"));
    colourHeading->setText(text("Label64", "Color"));
    triggerGroup->setTitle(text("Group7", "Trigger Setting"));
    levelCaption->setText(text("Label71", "Level"));
    delayCaption->setText(text("Label72", "Delay (%)"));
    model_->setLanguageTexts(caption, {text("Item71", "Up"), text("Item72", "Down"), text("Item73", "Both")});
    text("Label81", "Trigger Source");
    text("Label82", "Trigger Slope");
    text("LabelA", "Passed Time");
    waitLabel->setText(text("Label_Wait", "Waiting for Trigger"));
    refresh();
}

RunEnd MonitorWindow::startMonitoring() {
    if (model_->runInProgress() || run_->running())
        return RunEnd::Refused;
    run_->saveTitle = saveTitle_;
    run_->saveFilter = texts_.value(QStringLiteral("SaveFile2"), run_->saveFilter);
    const RunEnd end = run_->start();
    // A trip seen while the trip data are kept: what the drive holds now, before anything
    // else talks to it.
    if (model_->runState().keepTripData && run_->tripped() && hooks_.tripReport)
        hooks_.tripReport();
    return end;
}

void MonitorWindow::stopMonitoring() {
    run_->stop();
}

void MonitorWindow::showReadout(int channel, int index) {
    const MonitorModel& m = *model_;
    if (m.runInProgress() || channel < 0 || channel >= kMonitorChannels ||
        !m.samples.hasPoint(channel, index))
        return;
    const ProgramContext& ctx = m.context();
    const SampleStore::Scale scale = m.samples.scale(channel);
    ReadoutPoint point;
    point.channel = channel;
    point.itemText = m.channels[std::size_t(channel)].itemText;
    point.valueText =
        ChannelValues::formatNumber(ctx.drive, m.ChannelRecs[std::size_t(channel)].ParaIndex,
                                    m.samples.unscaled(channel, index), ctx.language.decimalComma);
    point.multiplier = scale.multiplier;
    point.offset = scale.offset;
    point.elapsedMs = m.samples.sampleTime(index);
    point.decimalComma = ctx.language.decimalComma;
    ReadoutCaptions captions;
    captions.value = texts_.value(QStringLiteral("Label12"), captions.value);
    captions.multiplier = texts_.value(QStringLiteral("Label62"), captions.multiplier);
    captions.offset = texts_.value(QStringLiteral("Label63"), captions.offset);
    captions.passedTime = texts_.value(QStringLiteral("LabelA"), captions.passedTime);
    Prompter::instance().message(chartReadoutText(captions, point), QString::fromLatin1(kProductName),
                                 BoxIcon::None, BoxButtons::Ok, this);
}

// ---- Files -------------------------------------------------------------------------------------

bool MonitorWindow::openMonitorFile() {
    MonitorModel& m = *model_;
    ProgramContext& context = m.context();
    if (model_->runInProgress() || run_->running())
        return false;
    const QString chosen = Prompter::instance().openFile(openTitle_, context.recent.monitorFolder,
                                                         texts_.value(QStringLiteral("OpenFile1")), 1, this);
    if (chosen.isEmpty())
        return false;
    const QFileInfo info(chosen);
    context.recent.monitorFolder = Paths::folderOf(info.absoluteFilePath());
    context.recent.monitorName = info.fileName();
    if (context.recent.monitorName.isEmpty())
        return false;

    QStringList lines;
    TextFile::ReadProblem problem;
    WaitCursor wait;
    if (!TextFile::readLines(chosen, lines, {0, MonitorFile::kMaxLineBytes}, problem)) {
        reportFailure(context,
                      problem.failure == TextFile::ReadFailure::LineTooLong
                          ? Msg(context, MsgId::MonitorLineTooLong) + u'\n' + chosen
                          : (problem.failure == TextFile::ReadFailure::CannotRead
                                 ? QStringLiteral("Cannot read %1: %2")
                                 : QStringLiteral("Cannot open %1: %2"))
                                .arg(chosen, problem.error),
                      this);
        return false;
    }
    // The older form keeps what its file does not carry: start from the set-up as it stands.
    const RunDisplay& shown = run_->display();
    MonitorFileHeader header = monitorFileHeader(m, shown.timeBase, shown.errorCount);
    const MonitorFile::ReadResult result =
        MonitorFile::read(lines, context, m.runState().itemCount, m.link().asker(), header, m.samples,
                          MonitorFile::lastLineEnded(chosen));
    if (!result.accepted())
        return false;
    {
        MonitorBatch batch(m);
        applyMonitorFileHeader(m, header, result);
        m.keepLastPoint();
        // Five samples a division: the file's samples stand at the slots their times fall in.
        m.samples.setPeriodMs(timeBaseSeconds(header.timeBase) * 1000.0 / 5);
        MonitorFile::showWholeRecord(m.sampleWindow, m.samples, scrollingChannelOf(m));
    }
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = m.channels[std::size_t(i)];
        chart->setSeriesActive(i, c.active());
        chart->setSeriesTitle(i, c.itemText);
    }
    run_->showRecord(header.timeBase, header.errorCount);
    fileCaption_ = m.caption() + u' ' + message(context, 1) + context.recent.monitorName +
                   QStringLiteral(" (") + header.typeName + header.formName + u')';
    refresh();
    showRunState();
    // What of the file is not shown is said once, after the record is in view.
    QStringList notes;
    if (result.rowsLeftOut > 0)
        notes << Msg(context, MsgId::MonitorRowsLeftOut) + u' ' + QString::number(result.rowsLeftOut);
    if (result.lastRowIncomplete)
        notes << Msg(context, MsgId::MonitorRowCutShort);
    if (!notes.isEmpty())
        Prompter::instance().message(notes.join(u'\n'), context.texts.caption, BoxIcon::Warning,
                                     BoxButtons::Ok, this);
    return true;
}

bool MonitorWindow::saveMonitorFileAs() {
    MonitorModel& m = *model_;
    ProgramContext& context = m.context();
    if (model_->runInProgress() || run_->running())
        return false;
    // A continuous recording is in its own file: Save As gives pictures of the chart only.
    const bool picturesOnly = m.options().continuousMonitoring.checked();
    Prompter& prompter = Prompter::instance();
    const QString chosen = prompter.saveFile(
        saveTitle_, context.recent.monitorFolder,
        texts_.value(picturesOnly ? QStringLiteral("SaveFile3") : QStringLiteral("SaveFile1")),
        MonitorFile::saveFilterIndex(context.recent.monitorName, picturesOnly), QString(), this);
    if (chosen.isEmpty())
        return false;
    const QFileInfo info(chosen);
    context.recent.monitorFolder = Paths::folderOf(info.absoluteFilePath());
    if (info.fileName().isEmpty())
        return false;
    const QString name =
        MonitorFile::nameWithExtension(info.fileName(), prompter.lastFilterIndex(), picturesOnly);
    if (!picturesOnly)
        context.recent.monitorName = name;
    const QString path = Paths::join(context.recent.monitorFolder, name);

    WaitCursor wait;
    const RunDisplay& shown = run_->display();
    const MonitorFile::SaveKind kind = MonitorFile::saveKindOf(name);
    QString error;
    bool written = false;
    bool declined = false;
    const auto accept = [&](const QString& characters) {
        declined = prompter.message(UnwritableCharactersQuestion(context, characters), context.texts.caption,
                                    BoxIcon::Warning, BoxButtons::YesNo, this) != BoxAnswer::Yes;
        return !declined;
    };
    switch (kind) {
    case MonitorFile::SaveKind::Monitor:
        written = MonitorFile::write(path, monitorFileHeader(m, shown.timeBase, shown.errorCount), m.samples,
                                     &error, accept);
        if (written) {
            fileCaption_ = m.caption() + u' ' + message(context, 1) + name;
            refresh();
        }
        break;
    case MonitorFile::SaveKind::Csv:
        written = MonitorCsv::write(path, monitorCsvSetup(m, shown.errorCount), m.samples, &error, accept);
        break;
    default: {
        std::array<bool, kMonitorChannels> on{};
        std::array<QString, kMonitorChannels> titles;
        for (int i = 0; i < kMonitorChannels; ++i) {
            on[std::size_t(i)] = m.channels[std::size_t(i)].active();
            titles[std::size_t(i)] = m.channels[std::size_t(i)].itemText;
        }
        written = saveChartPicture(chartPicture(*chart, on, titles), kind, path, &error, accept);
        break;
    }
    }
    if (!written && !declined)
        reportFailure(context, error, this);
    return written;
}

// ---- Print -------------------------------------------------------------------------------------

void MonitorWindow::setPrintAllowed(bool on) {
    printAllowed_ = on;
    refresh();
}

void MonitorWindow::printChart() {
    if (model_->runInProgress() || run_->running())
        return;
    // The chart as it stands on screen is the page's picture, and the clipboard's.
    const QImage image = chart->renderImage(chart->size(), false);
    copyImageToClipboard(image);
    if (!hooks_.print)
        return;
    report::MonitorReportData data = reportData(image);
    // The page draws the chart itself at the printer's resolution; the bitmap stays the
    // clipboard's.
    data.drawing = chartDrawing(*chart);
    hooks_.print(data);
}

report::MonitorReportData MonitorWindow::reportData(const QImage& chartImage) const {
    const MonitorModel& m = *model_;
    const ProgramContext& context = m.context();
    report::MonitorReportData data;
    data.typeForm = context.drive.identity.typeName + context.drive.identity.formName;
    report::MonitorReportSettings& s = data.settings;
    s.continuous = m.options().continuousMonitoring.checked();
    s.timeBase = shownTimeBase(run_->display().timeBase);
    s.continuousTimeBase = shownTimeBase(m.runState().recordTimeBaseText);
    s.scope = scopeEdit->text();
    s.scopePosition = m.sampleWindow.scope();
    s.trigger = m.triggerChecked;
    s.triggerSource = QStringLiteral("CH") + QString::number(m.triggerSourceIndex + 1);
    s.triggerLevel = m.triggerLevelEdit.text;
    s.triggerSlope = m.slopeText();
    s.triggerDelay = m.triggerDelayEdit.text;

    std::array<MonitorChannelState, SampleStore::kChannels> channels;
    for (int i = 0; i < kMonitorChannels; ++i) {
        const MonitorChannel& c = m.channels[std::size_t(i)];
        MonitorChannelState& state = channels[std::size_t(i)];
        state.on = c.checked;
        state.item = c.itemText;
        state.multiplier = c.multiplier;
        state.offset = c.offset;
        state.color = ColorOption::fromBgr(c.colour);
    }
    const MonitorValueFormat format = [&m, &context](int channel, double value) {
        return ChannelValues::formatNumber(context.drive, m.ChannelRecs[std::size_t(channel)].ParaIndex,
                                           value, context.language.decimalComma);
    };
    data.rows = monitorReportRows(m.samples, channels, m.runState().watchAlarm, m.runState().watchTrip,
                                  m.samples.lastPoint(), format);
    data.chart = chartImage;
    return data;
}

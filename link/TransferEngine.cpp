#include "link/TransferEngine.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "link/CoreNotices.h"
#include "link/LowHalfRegister.h"
#include "link/ResultText.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PumpEvents.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

QString padLeft(const QString& text, int width) {
    return text.rightJustified(width, u' ');
}

QString languageFile(const ProgramContext& context) {
    return Paths::resolvedOrAsGiven(context.language.iniPath);
}

// A value text the way the frame builder reads it: its leading decimal integer, else 0.
std::int64_t textValue(const QString& text) {
    return ParseDecimalPrefix(text);
}

} // namespace

// ---- Engine -------------------------------------------------------------------------------

TransferEngine::TransferEngine(ProgramContext& context, const Options& options, CommLink& link)
    : context_(context), options_(options), link_(link) {}

const ParameterDefinition& TransferEngine::definition(int index) const {
    return StoreCells::definition(context_, index);
}

const QString& TransferEngine::valueCell(int index) const {
    return StoreCells::value(context_, index);
}

void TransferEngine::loadTexts() {
    const IniFile lang(languageFile(context_));
    auto work = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("Working"), QLatin1String(key), QLatin1String(def));
    };
    auto rep = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("WorkingRep"), QLatin1String(key), QLatin1String(def));
    };
    switch (job_->mode) {
    case kModeImport:
        texts_.caption = work("FormIm", "Parameter Import");
        break;
    case kModeExport:
        texts_.caption = work("FormEx", "Parameter Export");
        break;
    default:
        texts_.caption = work("FormComp", "Parameter Comparison");
        break;
    }
    texts_.start = work("Button1", "Start");
    texts_.cancel = work("Button2", "Cancel");
    texts_.ok = work("Button3", "OK");
    texts_.errorHeading = rep("Info1", "* Communication Error Parameters");
    texts_.differenceHeading = rep("Info2", "* Different Value Parameters");
    texts_.noError = work("NoErrInfo", "Communication was finished without error.");
    texts_.noDifference = work("NoDiffInfo", "No Different Value.");
    texts_.noItem = rep("Info3", "No Item.");
    texts_.maintenanceTitle = rep("Buff", "Maintenance Parameter");
    texts_.driveColumnTitle = padLeft(rep("Result1", "Inverter"), kColumnWidth);
    texts_.programColumnTitle = padLeft(rep("Result2", "KVR260X"), kColumnWidth);
    texts_.titleColumnTitle = rep("Result3", "Title");
}

void TransferEngine::showReady() {
    if (!job_)
        return;
    loadTexts();
    if (!view_)
        return;
    view_->setStatusText(Msg(context_, job_->mode == kModeImport   ? MsgId::PressStartToImport
                                       : job_->mode == kModeExport ? MsgId::PressStartToExport
                                                                   : MsgId::PressStartToCompare));
    if (job_->mode == kModeExport && options_.exportChangedOnly.checked())
        view_->setNoteText(Msg(context_, MsgId::OnlyChangedExported), true);
    view_->showReadyButtons();
    view_->setProgress(0);
}

QString TransferEngine::shownTitle(int index) const {
    const QString& title = definition(index).title;
    return title.isEmpty() ? definition(index).comNo : title;
}

QString TransferEngine::shownName(int index) const {
    const bool maintenance = definition(index).comNo.startsWith(u'F') || definition(index).title.isEmpty();
    if (maintenance && !context_.store->maintenance())
        return texts_.maintenanceTitle;
    return definition(index).name;
}

void TransferEngine::setFlag(int index, int flag) {
    context_.drive.markTransfer(index, flag);
}

void TransferEngine::progress(int nextIndex) {
    percent_ = lastIndex_ <= 0 ? 100 : std::clamp(int(qint64(nextIndex) * 100 / lastIndex_), 0, 100);
    if (!progressThrottle_.due(link_.clock().now()))
        return;
    PumpEvents();
    drawDue_ = true;
}

void TransferEngine::showHeldProgress() {
    if (progressThrottle_.flush(link_.clock().now())) {
        PumpEvents();
        drawDue_ = true;
    }
    drawProgress();
}

void TransferEngine::drawProgress() {
    if (!drawDue_)
        return;
    drawDue_ = false;
    if (view_)
        view_->setProgress(percent_);
}

ParameterAnswer askAbortRetryIgnore(Asker& asker, const ProgramContext& context, MsgId heading, MsgId second,
                                    const QString& title) {
    const QString text = Msg(context, heading) + u'\n' + Msg(context, second) + u' ' + title +
                         QStringLiteral("\n\n") + Msg(context, MsgId::AbortStopsJob) + u'\n' +
                         Msg(context, MsgId::RetryParameter) + u'\n' + Msg(context, MsgId::IgnoreAndGoOn);
    const BoxAnswer a =
        asker.ask({text, context.texts.caption, BoxIcon::Warning, BoxButtons::AbortRetryIgnore});
    PumpEvents();
    if (a == BoxAnswer::Abort)
        return ParameterAnswer::Abort;
    if (a == BoxAnswer::Retry)
        return ParameterAnswer::Retry;
    return ParameterAnswer::Ignore;
}

bool driveHasGone(CommLink& link, int index) {
    if (link.silentExchanges() < kSilentDriveExchanges)
        return false;
    link.readNotedRepeating(index);
    // Any byte of the drive's ended the count; a port that failed left it standing.
    const bool gone = link.silentExchanges() >= kSilentDriveExchanges;
    link.resetSilentExchanges();
    return gone;
}

TransferEngine::Answer TransferEngine::ask(bool enabled, MsgId heading, MsgId second, const QString& title) {
    if (!enabled)
        return Answer::Go;
    switch (askAbortRetryIgnore(link_.asker(), context_, heading, second, title)) {
    case ParameterAnswer::Abort:
        return Answer::Abort;
    case ParameterAnswer::Retry:
        return Answer::Retry;
    case ParameterAnswer::Ignore:
        break;
    }
    return Answer::Go;
}

void TransferEngine::listError(int index, std::optional<MsgId> reason) {
    ++errors_;
    if (!result_ || (definition(index).comNo.startsWith(u'F') && !context_.store->maintenance()))
        return;
    QString line = shownTitle(index) + QStringLiteral(": ") + shownName(index);
    if (reason)
        line += QStringLiteral("  (") + Msg(context_, *reason) + u')';
    result_->addLine(line);
}

TransferEngine::Failure TransferEngine::commError(int index) {
    return Failure{options_.showTransferErrors.checked(), MsgId::DataIncorrect, MsgId::CommErrorAtParameter,
                   [this, index] { listError(index, std::nullopt); }};
}

void TransferEngine::eachParameter(const std::function<std::optional<Failure>(int index)>& request,
                                   const std::function<bool(int index)>& skipped) {
    for (int i = 0; i <= lastIndex_; ++i) {
        if (skipped && skipped(i))
            continue;
        for (;;) {
            const std::optional<Failure> failure = request(i);
            if (!failure)
                break;
            drawProgress(); // the bar as it stands under a box
            // A drive that has gone would hold the user for a time-out per parameter with no way
            // out: the box comes whatever the option says.
            const bool gone = driveHasGone(link_, i);
            const Answer a = ask(failure->asks || gone, failure->heading, failure->second, shownTitle(i));
            if (a == Answer::Abort) {
                aborted_ = true;
                return;
            }
            if (a == Answer::Retry) {
                progress(i);
                continue;
            }
            failure->ignored();
            break;
        }
        progress(i + 1);
    }
    showHeldProgress();
}

void TransferEngine::start() {
    if (running_ || !job_ || !context_.store)
        return;
    running_ = true;
    aborted_ = false;
    if (view_)
        view_->setStartCancelEnabled(false);
    ran_ = true;
    errors_ = 0;
    differences_ = 0;
    autoClose_ = true;
    progressThrottle_.reset();
    drawDue_ = false;
    lastIndex_ = std::min(job_->lastParaIndex, std::min(context_.drive.lastIndex(), kMaxParams - 1));

    // A bar drawn between exchanges would hold up the next request: it is drawn while the drive
    // answers instead, during this run only (the link outlives the engine).
    link_.setWhileAnswering([this] { drawProgress(); });
    switch (job_->mode) {
    case kModeImport:
        runImport();
        break;
    case kModeExport:
        runExport();
        break;
    default:
        runComparison();
        break;
    }
    link_.setWhileAnswering(nullptr);
    if (aborted_) {
        // No second pass, no end-of-run step: the window just goes.
        running_ = false;
        resultWanted_ = false;
        if (view_)
            view_->closeWindow();
        return;
    }
    endOfRun();
}

void TransferEngine::runImport() {
    if (view_) {
        view_->setStatusText(Msg(context_, MsgId::Importing));
        view_->repaintNow();
    }
    if (result_)
        result_->addLine(texts_.errorHeading);

    // Each entry raw as read (or the default's number); its size and sign are applied in the
    // second pass, so that as little as possible stands between a reply and the next request.
    const std::size_t count = std::size_t(std::max(lastIndex_ + 1, 0));
    std::vector<std::int64_t> entries(count, 0);
    // A value the drive's low 16 bits confirmed is left as the table holds it.
    std::vector<char> stands(count, 0);
    // A parameter not read gives the default, so the table never keeps a stale value.
    const auto takeDefault = [&](int i) {
        setFlag(i, 2);
        ValueRules::Failure failure;
        const QString def = definition(i).defaultRule == 0
                                ? definition(i).defaultText
                                : ValueRules::DefaultOf(context_, definition(i).defaultText, &failure);
        if (failure)
            ShowMsg(link_.asker(), context_, *failure, BoxIcon::Warning);
        entries[std::size_t(i)] = textValue(def);
    };
    eachParameter([&](int i) -> std::optional<Failure> {
        const ExchangeResult read = link_.transactNoted(i, valueCell(i), QStringLiteral("R"));
        if (read.error) {
            takeDefault(i);
            return commError(i);
        }
        if (LowHalfRegister::cuts(link_, context_, i)) {
            // Asking again would bring the same 16 bits: listed at once, no box.
            if (!LowHalfRegister::agrees(read.value, textValue(valueCell(i)))) {
                takeDefault(i);
                listError(i, MsgId::WideValueNotRead);
                return std::nullopt;
            }
            stands[std::size_t(i)] = 1;
        }
        setFlag(i, 0);
        entries[std::size_t(i)] = read.value;
        return std::nullopt;
    });
    if (aborted_)
        return;

    for (int i = 0; i <= lastIndex_; ++i) {
        if (stands[std::size_t(i)])
            continue;
        const std::int64_t v =
            normaliseRaw(entries[std::size_t(i)], parameterIs32(context_, i), parameterIsSigned(context_, i));
        ValueRules::Failure failure;
        ValueRules::storeValue(context_, i, QString::number(v), double(v), nullptr, &failure);
        if (failure)
            ShowMsg(link_.asker(), context_, *failure, BoxIcon::Warning);
    }
    importModelStep();
}

// The "HXB3" drives report their CPU version, and before version 300 parameter "0630"
// must be 0.
void TransferEngine::importModelStep() {
    if (context_.drive.identity.typeName != QLatin1String("HXB3"))
        return;
    const int fe08 = context_.drive.indexOfComNo(QStringLiteral("FE08"));
    const int p0630 = context_.drive.indexOfComNo(QStringLiteral("0630"));
    if (fe08 < 0 || fe08 > context_.drive.lastIndex())
        return;
    const ExchangeResult read = link_.transactNoted(fe08, valueCell(fe08), QStringLiteral("R"));
    if (read.error)
        return; // a failed read must not pass for version 0
    const std::int64_t cpu =
        normaliseRaw(read.value, parameterIs32(context_, fe08), parameterIsSigned(context_, fe08));
    StoreCells::setValue(context_, fe08, QString::number(cpu));
    if (cpu < 300 && p0630 >= 0)
        StoreCells::setValue(context_, p0630, QStringLiteral("0"));
}

void TransferEngine::runExport() {
    const Options& o = options_;
    if (view_) {
        view_->setStatusText(Msg(context_, MsgId::Exporting));
        view_->repaintNow();
    }
    if (result_)
        result_->addLine(texts_.errorHeading);

    const auto skipped = [&](int i) {
        return definition(i).flag == 1 ||
               (o.exportChangedOnly.checked() && !StoreCells::at(context_, i).changed);
    };
    eachParameter(
        [&](int i) -> std::optional<Failure> {
            QString kind = o.exportToEeprom.checked() ? QStringLiteral("W") : QStringLiteral("P");
            if (definition(i).inRam())
                kind = QStringLiteral("P");
            const QString value = valueCell(i);
            const bool lowHalf = LowHalfRegister::cuts(link_, context_, i);
            if (lowHalf &&
                !LowHalfRegister::survivesWrite(textValue(value), parameterIsSigned(context_, i))) {
                // Nothing is sent: the drive would hold another value.
                setFlag(i, 2);
                listError(i, MsgId::WideValueNotWritten);
                return std::nullopt;
            }
            const ExchangeResult echo = link_.transactNoted(i, value, kind);
            // The echo by the parameter's size and sign against the value as a number (a cut
            // register by its 16 bits).
            const bool echoed =
                !echo.error && (lowHalf ? LowHalfRegister::agrees(echo.value, textValue(value))
                                        : normaliseRaw(echo.value, parameterIs32(context_, i),
                                                       parameterIsSigned(context_, i)) == textValue(value));
            if (echoed) {
                setFlag(i, 0);
                StoreCells::set(context_, i, &WorkingParameter::toWrite, false);
                StoreCells::set(context_, i, &WorkingParameter::lastTransfer, LastTransfer::Clear);
                return std::nullopt;
            }
            setFlag(i, 2);
            return commError(i);
        },
        skipped);
    if (!aborted_ && view_)
        view_->setProgress(100);
}

QString TransferEngine::comparisonLine(int index, std::int64_t drive, std::int64_t table,
                                       bool lowHalf) const {
    QString title = shownTitle(index);
    if (title.size() == 2)
        title.prepend(QStringLiteral("  "));
    else if (title.size() == 3)
        title.prepend(u' ');
    const double mul = ValueRules::mulOf(context_, index);
    auto shown = [&](std::int64_t v) {
        return padLeft(ValueRules::FormatValue(context_, index, double(v) / mul), kColumnWidth);
    };
    // 16 bits of a 32-bit value are no value of the parameter: shown as read, and said so.
    const QString driveText = lowHalf ? padLeft(QString::number(drive & 0xFFFF), kColumnWidth) : shown(drive);
    QString line = title + QStringLiteral(": ") + driveText + QStringLiteral(" ,") + shown(table) +
                   QStringLiteral("  (") + shownName(index) + u')';
    if (lowHalf)
        line += QStringLiteral("  ") + Msg(context_, MsgId::WideValueLowHalfShown);
    return line;
}

void TransferEngine::runComparison() {
    ParameterStore& store = *context_.store;
    const Options& o = options_;
    if (view_) {
        view_->setStatusText(Msg(context_, MsgId::Comparing));
        view_->repaintNow();
    }
    if (result_) {
        result_->addLine(texts_.differenceHeading);
        result_->addLine(QStringLiteral("      ") + texts_.driveColumnTitle + QStringLiteral("  ") +
                         texts_.programColumnTitle + QStringLiteral("  ") + texts_.titleColumnTitle);
        result_->addBuffLine(texts_.errorHeading);
    }

    eachParameter([&](int i) -> std::optional<Failure> {
        const ExchangeResult read = link_.transactNoted(i, valueCell(i), QStringLiteral("R"));
        if (read.error) {
            setFlag(i, 2);
            // Errors of a comparison are listed after its differences, maintenance ones too.
            return Failure{o.showTransferErrors.checked(), MsgId::DataIncorrect, MsgId::CommErrorAtParameter,
                           [this, i] {
                               ++errors_;
                               if (result_)
                                   result_->addBuffLine(shownTitle(i) + QStringLiteral(": ") + shownName(i));
                           }};
        }
        const bool lowHalf = LowHalfRegister::cuts(link_, context_, i);
        const std::int64_t drive =
            lowHalf ? std::int64_t(read.value & 0xFFFFu)
                    : normaliseRaw(read.value, parameterIs32(context_, i), parameterIsSigned(context_, i));
        const std::int64_t table = textValue(valueCell(i));
        const bool differs = lowHalf ? !LowHalfRegister::agrees(read.value, table) : drive != table;
        if (differs && (i <= context_.drive.normalLastIndex || store.maintenance())) {
            return Failure{o.showComparisonMessage.checked(), MsgId::DifferentValueFound,
                           MsgId::DifferentValueAt, [this, i, drive, table, lowHalf] {
                               ++differences_;
                               if (result_)
                                   result_->addLine(comparisonLine(i, drive, table, lowHalf));
                           }};
        }
        setFlag(i, 0);
        return std::nullopt;
    });
    if (aborted_)
        return;

    if (result_) {
        if (differences_ == 0)
            result_->addLine(texts_.noItem);
        if (errors_ > 0) {
            result_->addLine(QString());
            result_->appendBuffer();
        }
    }
}

void TransferEngine::saveResult() {
    if (saveResult_)
        saveResult_();
    else if (result_)
        SaveResultLines(context_, options_, result_->lines(), int(job_->mode), QDateTime::currentDateTime(),
                        link_.asker());
}

void TransferEngine::endOfRun() {
    const Options& o = options_;
    const bool comparison = job_->mode != kModeImport && job_->mode != kModeExport;
    auto okState = [&](bool keepNote) {
        if (view_) {
            view_->setStatusText(texts_.noError);
            view_->showOkButton(keepNote);
        }
        autoClose_ = false;
    };
    if (!comparison) {
        if (o.showTransferResult.checked() && errors_ == 0) {
            okState(false);
            resultWanted_ = false;
        }
    } else if (differences_ > 0 && errors_ == 0 && o.showTransferResult.checked()) {
        okState(false);
        if (!o.showComparisonResult.checked())
            resultWanted_ = false;
    } else if (differences_ == 0 && errors_ == 0) {
        if (o.showComparisonResult.checked() && view_)
            view_->setNoteText(texts_.noDifference, true);
        okState(o.showComparisonResult.checked());
        resultWanted_ = false;
    }

    const bool somethingToKeep = errors_ > 0 || (comparison && differences_ > 0);
    if (o.saveTransferResult.enabled() && o.saveTransferResult.checked() && somethingToKeep)
        saveResult();
    running_ = false;
    if (view_) {
        view_->setStartCancelEnabled(true);
        if (autoClose_)
            view_->closeWindow();
    }
}

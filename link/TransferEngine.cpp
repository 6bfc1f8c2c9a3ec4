#include "link/TransferEngine.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "link/ResultText.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"

#include <algorithm>
#include <optional>
#include <vector>

std::uint32_t TransferMode = 0;
std::uint8_t TransferGo = 0;
std::uint8_t TransferActive = 0;
int LastParaIndex = 0;

void resetTransferState() {
    TransferMode = 0;
    TransferGo = 0;
    TransferActive = 0;
    LastParaIndex = 0;
}

namespace {

const TextGrid& paraDat() {
    return globals().Parameters->ParaDat;
}
TextGrid& uPara() {
    return globals().Parameters->UPara;
}
const QString& datCell(int col, int index) {
    return paraDat().cell(col, index + 1);
}
const QString& valueCell(int index) {
    return uPara().cell(UP_Value, index + 1);
}

QString padLeft(const QString& text, int width) {
    return text.rightJustified(width, u' ');
}

QString languageFile() {
    return Paths::resolvedOrAsGiven(globals().LanguageIniPath);
}

// A value text the way the frame builder reads it: its leading decimal integer, else 0.
std::int64_t textValue(const QString& text) {
    return ParseDecimalPrefix(text);
}

} // namespace

std::int64_t normaliseRaw(std::int64_t raw, bool is32, bool isSigned) {
    if (is32)
        return isSigned ? std::int64_t(std::int32_t(std::uint32_t(raw))) : std::int64_t(std::uint32_t(raw));
    return isSigned ? std::int64_t(std::int16_t(std::uint16_t(raw))) : std::int64_t(std::uint16_t(raw));
}

bool parameterIs32(int index) {
    bool ok = false;
    return globals().Parameters && datCell(PD_Byte, index).trimmed().toInt(&ok) == 4 && ok;
}

bool parameterIsSigned(int index) {
    if (!globals().Parameters)
        return false;
    double low = 0;
    return ValueRules::parseNumber(uPara().cell(UP_LValue, index + 1), low) && low < 0;
}

// ---- Engine -------------------------------------------------------------------------------

void TransferEngine::loadTexts() {
    const IniFile lang(languageFile());
    auto work = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("Working"), QLatin1String(key), QLatin1String(def));
    };
    auto rep = [&](const char* key, const char* def) {
        return lang.readString(QStringLiteral("WorkingRep"), QLatin1String(key), QLatin1String(def));
    };
    switch (TransferMode) {
    case kModeImport:
        Caption = work("FormIm", "Parameter Import");
        break;
    case kModeExport:
        Caption = work("FormEx", "Parameter Export");
        break;
    default:
        Caption = work("FormComp", "Parameter Comparison");
        break;
    }
    StartText = work("Button1", "Start");
    CancelText = work("Button2", "Cancel");
    OkText = work("Button3", "OK");
    Info1 = rep("Info1", "* Communication Error Parameters");
    Info2 = rep("Info2", "* Different Value Parameters");
    NoErrInfo = work("NoErrInfo", "Communication was finished without error.");
    NoDiffInfo = work("NoDiffInfo", "No Different Value.");
    Info3 = rep("Info3", "No Item.");
    Buff = rep("Buff", "Maintenance Parameter");
    Result1 = padLeft(rep("Result1", "Inverter"), kColumnWidth);
    Result2 = padLeft(rep("Result2", "KVR260X"), kColumnWidth);
    Result3 = rep("Result3", "Title");
}

void TransferEngine::FormShow() {
    loadTexts();
    if (!view_)
        return;
    view_->setLabel1(Msg(globals(), TransferMode == kModeImport   ? MsgId::PressStartToImport
                                    : TransferMode == kModeExport ? MsgId::PressStartToExport
                                                                  : MsgId::PressStartToCompare));
    if (TransferMode == kModeExport && options().WriteNotChgPara.checked())
        view_->setLabel2(Msg(globals(), MsgId::OnlyChangedExported), true);
    view_->showReadyButtons();
    view_->setProgress(0);
}

QString TransferEngine::shownTitle(int index) const {
    const QString& title = datCell(PD_FTitle, index);
    return title.isEmpty() ? datCell(PD_ComNo, index) : title;
}

QString TransferEngine::shownName(int index) const {
    const bool maintenance = datCell(PD_ComNo, index).startsWith(u'F') || datCell(PD_FTitle, index).isEmpty();
    if (maintenance && !globals().Parameters->MainteFlag)
        return Buff;
    return datCell(PD_FName, index);
}

void TransferEngine::setFlag(int index, const char* flag) {
    if (datCell(PD_Flag, index) != QLatin1String("1"))
        globals().Parameters->ParaDat.setCell(PD_Flag, index + 1, QString::fromLatin1(flag));
}

void TransferEngine::progress(int nextIndex) {
    PumpEvents();
    const int percent =
        LastParaIndex <= 0 ? 100 : std::clamp(int(qint64(nextIndex) * 100 / LastParaIndex), 0, 100);
    if (view_)
        view_->setProgress(percent);
}

TransferEngine::Answer TransferEngine::ask(bool enabled, MsgId heading, MsgId second, const QString& title) {
    if (!enabled)
        return Answer::Go;
    const QString text = Msg(globals(), heading) + u'\n' + Msg(globals(), second) + u' ' + title +
                         QStringLiteral("\n\n") + Msg(globals(), MsgId::AbortStopsJob) + u'\n' +
                         Msg(globals(), MsgId::RetryParameter) + u'\n' + Msg(globals(), MsgId::IgnoreAndGoOn);
    const BoxAnswer a = Prompter::instance().message(text, globals().MsgCaption, BoxIcon::Warning,
                                                     BoxButtons::AbortRetryIgnore);
    PumpEvents();
    if (a == BoxAnswer::Abort)
        return Answer::Abort;
    if (a == BoxAnswer::Retry)
        return Answer::Retry;
    return Answer::Go;
}

TransferEngine::Failure TransferEngine::commError(int index) {
    return Failure{
        options().ParaErrDisp.checked(), MsgId::DataIncorrect, MsgId::CommErrorAtParameter, [this, index] {
            ++errors_;
            if (result_ && !(datCell(PD_ComNo, index).startsWith(u'F') && !globals().Parameters->MainteFlag))
                result_->addLine(shownTitle(index) + QStringLiteral(": ") + shownName(index));
        }};
}

void TransferEngine::eachParameter(const std::function<std::optional<Failure>(int index)>& request,
                                   const std::function<bool(int index)>& skipped) {
    for (int i = 0; i <= LastParaIndex; ++i) {
        if (skipped && skipped(i))
            continue;
        for (;;) {
            const std::optional<Failure> failure = request(i);
            if (!failure)
                break;
            const Answer a = ask(failure->asks, failure->heading, failure->second, shownTitle(i));
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
}

void TransferEngine::StBtnClick() {
    if (running_ || !globals().Parameters)
        return;
    running_ = true;
    aborted_ = false;
    if (view_)
        view_->setStartCancelEnabled(false);
    TransferActive = 1;
    errors_ = 0;
    differences_ = 0;
    autoClose_ = true;
    LastParaIndex = std::min(LastParaIndex, std::min(globals().ParaCountAll, kMaxParams - 1));

    switch (TransferMode) {
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
    if (aborted_) {
        // No second pass, no end-of-run step: the window just goes.
        running_ = false;
        TransferGo = 0;
        if (view_)
            view_->closeWindow();
        return;
    }
    endOfRun();
}

void TransferEngine::runImport() {
    ParameterStore& store = *globals().Parameters;
    if (view_) {
        view_->setLabel1(Msg(globals(), MsgId::Importing));
        view_->repaintNow();
    }
    if (result_)
        result_->addLine(Info1);

    std::vector<std::int64_t> entries(std::size_t(std::max(LastParaIndex + 1, 0)), 0);
    eachParameter([&](int i) -> std::optional<Failure> {
        const bool is32 = parameterIs32(i);
        const bool isSigned = parameterIsSigned(i);
        const std::uint32_t raw = link_.CommTransact(i, valueCell(i), link_.CommError, QStringLiteral("R"));
        if (!link_.CommError) {
            setFlag(i, "0");
            entries[std::size_t(i)] = normaliseRaw(raw, is32, isSigned);
            return std::nullopt;
        }
        setFlag(i, "2");
        // A failed read gives the default, so the table never keeps a stale value.
        ValueRules::Failure failure;
        const QString def = datCell(PD_DIndex, i).trimmed() == QLatin1String("0")
                                ? datCell(PD_Default, i)
                                : ValueRules::DefaultOf(globals(), datCell(PD_Default, i), &failure);
        if (failure)
            ShowMsg(globals(), *failure, BoxIcon::Warning);
        entries[std::size_t(i)] = normaliseRaw(textValue(def), is32, isSigned);
        return commError(i);
    });
    if (aborted_)
        return;

    for (int i = 0; i <= LastParaIndex; ++i) {
        const std::int64_t v = entries[std::size_t(i)];
        store.UPara.setCell(UP_Value, i + 1, QString::number(v));
        ValueRules::Failure failure;
        ValueRules::UpdateChangedFlag(globals(), datCell(PD_ComNo, i), double(v), nullptr, &failure);
        if (failure)
            ShowMsg(globals(), *failure, BoxIcon::Warning);
    }
    importModelStep();
}

// The "HXB3" drives report their CPU version, and before version 300 parameter "0630"
// must be 0.
void TransferEngine::importModelStep() {
    if (globals().DriveTypeName != QLatin1String("HXB3"))
        return;
    ParameterStore& store = *globals().Parameters;
    const int fe08 = store.indexOfComNo(QStringLiteral("FE08"));
    const int p0630 = store.indexOfComNo(QStringLiteral("0630"));
    if (fe08 < 0 || fe08 > globals().ParaCountAll)
        return;
    const std::uint32_t raw = link_.CommTransact(fe08, valueCell(fe08), link_.CommError, QStringLiteral("R"));
    if (link_.CommError)
        return; // a failed read must not pass for version 0
    const std::int64_t cpu = normaliseRaw(raw, parameterIs32(fe08), parameterIsSigned(fe08));
    store.UPara.setCell(UP_Value, fe08 + 1, QString::number(cpu));
    if (cpu < 300 && p0630 >= 0)
        store.UPara.setCell(UP_Value, p0630 + 1, QStringLiteral("0"));
}

void TransferEngine::runExport() {
    ParameterStore& store = *globals().Parameters;
    const Options& o = options();
    if (view_) {
        view_->setLabel1(Msg(globals(), MsgId::Exporting));
        view_->repaintNow();
    }
    if (result_)
        result_->addLine(Info1);

    const auto skipped = [&](int i) {
        return datCell(PD_Flag, i) == QLatin1String("1") ||
               (o.WriteNotChgPara.checked() && store.UPara.cell(UP_ChangeIndex, i + 1) == QLatin1String("0"));
    };
    eachParameter(
        [&](int i) -> std::optional<Failure> {
            QString kind = o.EEPWriteEnable.checked() ? QStringLiteral("W") : QStringLiteral("P");
            if (datCell(PD_Memory, i).trimmed() == QLatin1String("RAM"))
                kind = QStringLiteral("P");
            const QString value = valueCell(i);
            const std::uint32_t echo = link_.CommTransact(i, value, link_.CommError, kind);
            // The echo by the parameter's size and sign against the value as a number.
            if (!link_.CommError &&
                normaliseRaw(echo, parameterIs32(i), parameterIsSigned(i)) == textValue(value)) {
                setFlag(i, "0");
                store.UPara.setCell(UP_WriteIndex, i + 1, QStringLiteral("0"));
                store.UPara.setCell(UP_CommErrIndex, i + 1, QStringLiteral("0"));
                return std::nullopt;
            }
            setFlag(i, "2");
            return commError(i);
        },
        skipped);
    if (!aborted_ && view_)
        view_->setProgress(100);
}

QString TransferEngine::comparisonLine(int index, std::int64_t drive, std::int64_t table) const {
    QString title = shownTitle(index);
    if (title.size() == 2)
        title.prepend(QStringLiteral("  "));
    else if (title.size() == 3)
        title.prepend(u' ');
    const double mul = ValueRules::mulOf(globals(), index);
    auto shown = [&](std::int64_t v) {
        return padLeft(ValueRules::FormatValue(globals(), index, double(v) / mul), kColumnWidth);
    };
    return title + QStringLiteral(": ") + shown(drive) + QStringLiteral(" ,") + shown(table) +
           QStringLiteral("  (") + shownName(index) + u')';
}

void TransferEngine::runComparison() {
    ParameterStore& store = *globals().Parameters;
    const Options& o = options();
    if (view_) {
        view_->setLabel1(Msg(globals(), MsgId::Comparing));
        view_->repaintNow();
    }
    if (result_) {
        result_->addLine(Info2);
        result_->addLine(QStringLiteral("      ") + Result1 + QStringLiteral("  ") + Result2 +
                         QStringLiteral("  ") + Result3);
        result_->addBuffLine(Info1);
    }

    eachParameter([&](int i) -> std::optional<Failure> {
        const std::uint32_t raw = link_.CommTransact(i, valueCell(i), link_.CommError, QStringLiteral("R"));
        if (link_.CommError) {
            setFlag(i, "2");
            // Errors of a comparison are listed after its differences, maintenance ones too.
            return Failure{o.ParaErrDisp.checked(), MsgId::DataIncorrect, MsgId::CommErrorAtParameter,
                           [this, i] {
                               ++errors_;
                               if (result_)
                                   result_->addBuffLine(shownTitle(i) + QStringLiteral(": ") + shownName(i));
                           }};
        }
        const std::int64_t drive = normaliseRaw(raw, parameterIs32(i), parameterIsSigned(i));
        const std::int64_t table = textValue(valueCell(i));
        if (drive != table && (i <= globals().ParaCountNormal || store.MainteFlag)) {
            return Failure{o.CompMsgDisp.checked(), MsgId::DifferentValueFound, MsgId::DifferentValueAt,
                           [this, i, drive, table] {
                               ++differences_;
                               if (result_)
                                   result_->addLine(comparisonLine(i, drive, table));
                           }};
        }
        setFlag(i, "0");
        return std::nullopt;
    });
    if (aborted_)
        return;

    if (result_) {
        if (differences_ == 0)
            result_->addLine(Info3);
        if (errors_ > 0) {
            result_->addLine(QString());
            result_->appendBuffer();
        }
    }
}

void TransferEngine::endOfRun() {
    const Options& o = options();
    const bool comparison = TransferMode != kModeImport && TransferMode != kModeExport;
    auto okState = [&](bool label2) {
        if (view_) {
            view_->setLabel1(NoErrInfo);
            view_->showOkButton(label2);
        }
        autoClose_ = false;
    };
    if (!comparison) {
        if (o.ParaResult.checked() && errors_ == 0) {
            okState(false);
            TransferGo = 0;
        }
    } else if (differences_ > 0 && errors_ == 0 && o.ParaResult.checked()) {
        okState(false);
        if (!o.CompResult.checked())
            TransferGo = 0;
    } else if (differences_ == 0 && errors_ == 0) {
        if (o.CompResult.checked() && view_)
            view_->setLabel2(NoDiffInfo, true);
        okState(o.CompResult.checked());
        TransferGo = 0;
    }

    const bool somethingToKeep = errors_ > 0 || (comparison && differences_ > 0);
    if (o.ParaSkipSave.enabled() && o.ParaSkipSave.checked() && somethingToKeep) {
        if (saveResult)
            saveResult();
        else if (result_)
            SaveResultLines(result_->ResultDisp, int(TransferMode), QDateTime::currentDateTime());
    }
    running_ = false;
    if (view_) {
        view_->setStartCancelEnabled(true);
        if (autoClose_)
            view_->closeWindow();
    }
}

#include "core/ParaFile.h"

#include "core/DriveData.h"
#include "core/Messages.h"
#include "core/ParameterStore.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "platform/BoxText.h"
#include "platform/IniFile.h"
#include "platform/TextFile.h"
#include "platform/WaitCursor.h"

#include <climits>

namespace ParaFile {

namespace {

const QString kNoComments = QStringLiteral("No Comments.");

QString lineAt(const QStringList& lines, int i) {
    return i >= 0 && i < lines.size() ? lines.at(i) : QString();
}

BoxAnswer box(Asker& asker, const ProgramContext& context, const QString& text, BoxIcon icon,
              BoxButtons buttons, bool pump) {
    const BoxAnswer a = asker.ask({text, context.texts.caption, icon, buttons});
    if (pump)
        asker.letEventsThrough();
    return a;
}

// The file's identity as the boxes name it: type and capacity run together, then the CPU
// version in parentheses for the full form, a blank for the shorter ones.
QString identityTail(const Header& h) {
    return h.form == Form::Full ? QStringLiteral(" (") + BoxText::quoted(h.cpu) + QStringLiteral(") ")
                                : QStringLiteral(" ");
}

enum class Identity { Refused, LoadAll, KeepCapacityDefaults };

Identity checkIdentity(Asker& asker, const ProgramContext& context, const Header& h, const ReadOptions& o) {
    const QString who = BoxText::quoted(h.type + h.driveForm);
    if (h.type != context.drive.identity.typeName) {
        box(asker, context,
            Msg(context, MsgId::FileTypeDiffers) + "\n" + who + identityTail(h) +
                Msg(context, MsgId::FileDriveNotReadable),
            BoxIcon::Warning, BoxButtons::Ok, o.letEventsThroughAfterBoxes);
        return Identity::Refused;
    }
    Identity result = Identity::LoadAll;
    if (h.form != Form::Oldest && h.driveForm != context.drive.identity.formName) {
        const QString text = Msg(context, MsgId::FileFormDiffers) + "\n* " + who + identityTail(h) +
                             Msg(context, MsgId::FileDriveIs) + "\n\n" + Msg(context, MsgId::YesReadAll) +
                             "\n" + Msg(context, MsgId::NoSkipCapacity) + "\n" +
                             Msg(context, MsgId::CancelDoNotRead);
        switch (box(asker, context, text, BoxIcon::Warning, BoxButtons::YesNoCancel,
                    o.letEventsThroughAfterBoxes)) {
        case BoxAnswer::Yes:
            break;
        case BoxAnswer::No:
            result = Identity::KeepCapacityDefaults;
            break;
        default:
            return Identity::Refused;
        }
    }
    if (h.form == Form::Full && h.cpu != context.drive.identity.cpuVersion) {
        const QString text = Msg(context, MsgId::FileCpuDiffers) + "\n* " + who + identityTail(h) +
                             Msg(context, MsgId::FileDriveIs);
        if (box(asker, context, text, BoxIcon::Warning, BoxButtons::OkCancel, o.letEventsThroughAfterBoxes) !=
            BoxAnswer::Ok)
            return Identity::Refused;
    }
    return result;
}

bool parseIntLine(const QString& text, qint64& v) {
    return ValueRules::parseInteger(text, v);
}

} // namespace

Form formOf(const QString& firstLine) {
    if (firstLine == QLatin1String("###"))
        return Form::Full;
    if (firstLine == QLatin1String("##"))
        return Form::Short;
    if (firstLine == QLatin1String("#"))
        return Form::Oldest;
    return Form::None;
}

Header parseHeader(const QStringList& lines) {
    Header h;
    h.form = formOf(lineAt(lines, 0));
    h.type = lineAt(lines, 1);
    h.driveForm = lineAt(lines, 2);
    switch (h.form) {
    case Form::Full:
        h.cpu = lineAt(lines, 3);
        h.language = lineAt(lines, 4);
        h.commentAt = 5;
        h.blindFlag = lineAt(lines, 6);
        h.blindCount = lineAt(lines, 7);
        h.firstDataLine = 8;
        break;
    case Form::Short:
        h.commentAt = 3;
        h.blindFlag = lineAt(lines, 4);
        h.blindCount = lineAt(lines, 5);
        h.firstDataLine = 6;
        break;
    case Form::Oldest:
        h.commentAt = 3;
        h.firstDataLine = 4;
        break;
    case Form::None:
        break;
    }
    h.commentLine = lineAt(lines, h.commentAt);
    return h;
}

QString commentOfLine(const QString& line) {
    return line == kNoComments ? QString() : line;
}

QStringList splitFields(const QString& line) {
    QStringList fields;
    SplitCsvLine(line, fields);
    if (fields.isEmpty())
        fields << QString();
    for (QString& f : fields) {
        qsizetype b = 0, e = f.size();
        while (b < e && (f.at(b) == u' ' || f.at(b) == u'\t'))
            ++b;
        while (e > b && (f.at(e - 1) == u' ' || f.at(e - 1) == u'\t'))
            --e;
        f = f.mid(b, e - b);
    }
    return fields;
}

int dataEnd(const QStringList& lines, int firstDataLine) {
    const int limit =
        static_cast<int>(qMin<qsizetype>(lines.size(), qsizetype(firstDataLine) + kMaxDataLines));
    int i = firstDataLine;
    while (i < limit && !lines.at(i).isEmpty())
        ++i;
    return qMax(i, firstDataLine);
}

QString markerRefusalText(const ProgramContext& context, const QStringList& lines, const Header& header) {
    const int end = dataEnd(lines, header.firstDataLine);
    for (int i = header.firstDataLine; i < end; ++i) {
        const QString& line = lines.at(i);
        if (!line.contains(QLatin1String("099"))) // cheap pre-test; the fields decide
            continue;
        const QStringList f = splitFields(line);
        const QString value = f.size() > 1 ? f.at(1) : QString();
        QString noted;
        if (f.at(0) == QLatin1String("0998") && value != QLatin1String("1"))
            noted = Msg(context, MsgId::FileSpecial0998) + "\n";
        else if (f.at(0) == QLatin1String("0999") && value != QLatin1String("2"))
            noted = Msg(context, MsgId::FileSpecial0999) + "\n";
        if (!noted.isEmpty())
            return noted + "\n\n" + Msg(context, MsgId::FileCannotBeOpened);
    }
    return QString();
}

void resetValuesToDefaults(const ProgramContext& context) {
    if (!context.store)
        return;
    const int last = context.drive.lastIndex();
    for (int i = 0; i <= last; ++i) {
        const ParameterDefinition& d = context.drive.parameters[std::size_t(i)];
        const int rule = d.defaultRule;
        const QString value =
            rule != 0 && rule != kUnreadRule ? ValueRules::DefaultOf(context, d.defaultText) : d.defaultText;
        if (WorkingParameter* w = StoreCells::editRecord(context, i))
            *w = WorkingParameter{.value = value, .high = w->high, .low = w->low};
    }
}

void takeValue(const ProgramContext& context, int index, const QString& value, double raw,
               const QString& select, const QString& blind) {
    if (!context.store)
        return;
    // The file's select and blind fields are set by "1"; the other flags start clear.
    const QLatin1String one("1");
    if (WorkingParameter* w = StoreCells::editRecord(context, index))
        *w = WorkingParameter{
            .value = value, .high = w->high, .low = w->low, .blind = blind == one, .selected = select == one};
    bool ok = false;
    ValueRules::UpdateChangedFlag(context, StoreCells::definition(context, index).comNo, raw, &ok);
    if (!ok) // a default that is no number: count the value as changed so no save drops it
        StoreCells::set(context, index, &WorkingParameter::changed, true);
}

bool isCapacityParameter(const ProgramContext& context, const QString& comNo, Qt::CaseSensitivity cs) {
    return context.drive.capacityNumbers.contains(comNo, cs) ||
           context.drive.capacityFollowers.contains(comNo, cs);
}

Notice conversionErrorNotice(const QString& text, bool floatingPoint) {
    const QString what = floatingPoint ? QStringLiteral("floating point") : QStringLiteral("integer");
    return {QStringLiteral("'%1' is not a valid %2 value.").arg(BoxText::quoted(text), what),
            QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok};
}

Notice cannotOpenNotice(const QString& path) {
    return {QStringLiteral("Cannot open file %1.").arg(path), QString::fromLatin1(kProductName),
            BoxIcon::Error, BoxButtons::Ok};
}

Notice cannotCreateNotice(const QString& path) {
    return {QStringLiteral("Cannot create file %1.").arg(path), QString::fromLatin1(kProductName),
            BoxIcon::Error, BoxButtons::Ok};
}

Notice writeFailureNotice(const ProgramContext& context, const QString& path, int systemCode) {
    return {WriteFailureText(context, path, TextFile::isDiskFull(systemCode)),
            QString::fromLatin1(kProductName), BoxIcon::Error, BoxButtons::Ok};
}

bool writeForOthers(const ProgramContext& context, const QString& path, const TextFile::Encoded& file,
                    const TextFile::AcceptSubstitutes& accept, Asker& asker) {
    QString error;
    int code = 0;
    if (TextFile::writeEncoded(path, file, accept, &error, &code))
        return true;
    if (!error.isEmpty())
        asker.ask(writeFailureNotice(context, path, code));
    return false;
}

QString mainText(const ProgramContext& context, const QString& key, const QString& def) {
    const QString path = context.language.iniPath;
    if (path.isEmpty())
        return def;
    return IniFile(path).readString(QStringLiteral("Main"), key, def);
}

QString captionBase(const ProgramContext& context) {
    return QString::fromLatin1(kProductName) + " " + context.drive.identity.typeName +
           context.drive.identity.formName + " (CPU Ver." + context.drive.identity.cpuVersion + ")";
}

QString fileCaption(const ProgramContext& context, const QString& fileName, const QString& fileIdentity) {
    QString c = captionBase(context) + " " + Msg(context, MsgId::FileLabel) + fileName;
    if (!fileIdentity.isEmpty())
        c += " (" + fileIdentity + ")";
    return c;
}

bool parseBlindLines(const Header& header, bool& active, int& count, QString* badText) {
    qint64 flag = 0, n = 0;
    if (!parseIntLine(header.blindFlag, flag) || flag < INT_MIN || flag > INT_MAX) {
        if (badText)
            *badText = header.blindFlag;
        return false;
    }
    active = flag != 0;
    if (!parseIntLine(header.blindCount, n) || n < INT_MIN || n > INT_MAX) {
        if (badText)
            *badText = header.blindCount;
        return false;
    }
    count = static_cast<int>(n);
    return true;
}

namespace {

// A value as a data line gives it, kept aside until the whole file has been read.
struct ReadValue {
    int index;
    QString value;
    double raw;
    QString select, blind;
};

ReadResult readDataLines(Asker& asker, const ProgramContext& context, const QStringList& lines,
                         int firstDataLine, bool keepCapacityDefaults, const ReadOptions& options,
                         QList<ReadValue>& values) {
    const int end = dataEnd(lines, firstDataLine);
    for (int i = firstDataLine; i < end; ++i) {
        const QStringList f = splitFields(lines.at(i));
        const QString& number = f.at(0);
        if (keepCapacityDefaults && isCapacityParameter(context, number))
            continue;
        const int index = ValueRules::IndexOfComNo(context, number);
        if (index < 0) {
            if (!options.askOnUnknownNumber) {
                box(asker, context, Msg(context, MsgId::DataIncorrect), BoxIcon::Warning, BoxButtons::Ok,
                    options.letEventsThroughAfterBoxes);
                return ReadResult::Stopped;
            }
            const QString text = Msg(context, MsgId::DataIncorrect) + "\n" +
                                 Msg(context, MsgId::NumberNotInDrive) + " " + BoxText::quoted(number) +
                                 "\n\n" + Msg(context, MsgId::OkSkipLine) + "\n" +
                                 Msg(context, MsgId::CancelStopReading);
            if (box(asker, context, text, BoxIcon::Warning, BoxButtons::OkCancel,
                    options.letEventsThroughAfterBoxes) == BoxAnswer::Ok)
                continue;
            return ReadResult::Stopped;
        }
        const QString value = f.size() > 1 ? f.at(1) : QString();
        double raw = 0;
        if (!ValueRules::parseNumber(value, raw)) {
            asker.ask(conversionErrorNotice(value, true));
            return ReadResult::Stopped;
        }
        values.append(
            {index, value, raw, f.size() > 2 ? f.at(2) : QString(), f.size() > 3 ? f.at(3) : QString()});
    }
    return ReadResult::Loaded;
}

void takeValues(const ProgramContext& context, const QList<ReadValue>& values, QList<int>* taken) {
    for (const ReadValue& v : values) {
        takeValue(context, v.index, v.value, v.raw, v.select, v.blind);
        if (taken)
            taken->append(v.index);
    }
}

} // namespace

ReadResult loadDataLines(ProgramContext& context, const QStringList& lines, int firstDataLine,
                         bool keepCapacityDefaults, Asker& asker, const ReadOptions& options,
                         QList<int>* taken) {
    QList<ReadValue> values;
    const ReadResult result =
        readDataLines(asker, context, lines, firstDataLine, keepCapacityDefaults, options, values);
    takeValues(context, values, taken);
    return result;
}

ReadOutcome read(ProgramContext& context, const QStringList& lines, Asker& asker,
                 const ReadOptions& options) {
    ReadOutcome out;
    out.header = parseHeader(lines);
    const Header& h = out.header;
    if (h.form == Form::None || (h.form != Form::Full && !options.acceptShortForms)) {
        out.result = ReadResult::NotOwnFormat;
        return out;
    }
    out.result = ReadResult::Refused;
    if (options.markerCheck) {
        const QString text = markerRefusalText(context, lines, h);
        if (!text.isEmpty()) {
            box(asker, context, text, BoxIcon::None, BoxButtons::Ok, options.letEventsThroughAfterBoxes);
            return out;
        }
    }
    Identity identity = Identity::LoadAll;
    if (options.identityChecks) {
        identity = checkIdentity(asker, context, h, options);
        if (identity == Identity::Refused)
            return out;
    }

    // Everything of the file is read aside first: a file refused part-way must leave the
    // working set as it was, or a Save would write its defaults over the opened file.
    bool blindActive = context.tableView.blindOn;
    int blindCount = context.tableView.blindCount;
    QString badText;
    if (h.form != Form::Oldest && !parseBlindLines(h, blindActive, blindCount, &badText)) {
        asker.ask(conversionErrorNotice(badText, false));
        out.result = ReadResult::Stopped;
        return out;
    }

    WaitCursor wait;
    QList<ReadValue> values;
    out.result = readDataLines(asker, context, lines, h.firstDataLine,
                               identity == Identity::KeepCapacityDefaults, options, values);
    if (out.result != ReadResult::Loaded)
        return out;
    out.comment = commentOfLine(h.commentLine);
    context.tableView.blindOn = blindActive;
    context.tableView.blindCount = blindCount;
    resetValuesToDefaults(context);
    takeValues(context, values, &out.taken);
    return out;
}

QStringList buildLines(const ProgramContext& context, const QString& comment, bool blindOn,
                       bool changedOnly) {
    QString c = comment;
    // One line per header entry: a line break in the comment would shift every line after it.
    c.replace(QLatin1String("\r\n"), QLatin1String(" "));
    c.replace(u'\r', u' ');
    c.replace(u'\n', u' ');
    QStringList out;
    out.reserve(context.drive.lastIndex() + 10);
    out << QStringLiteral("###") << context.drive.identity.typeName << context.drive.identity.formName
        << context.drive.identity.cpuVersion << context.language.name << (c.isEmpty() ? kNoComments : c)
        << (blindOn ? QStringLiteral("1") : QStringLiteral("0"))
        << QString::number(context.tableView.blindCount);
    const ParameterStore* p = context.store;
    if (!p)
        return out;
    for (int i = 0; i <= context.drive.lastIndex(); ++i) {
        const WorkingParameter& w = StoreCells::at(context, i);
        if (changedOnly && !w.blind && !w.changed)
            continue;
        // The select and blind fields as the store's text edge writes them.
        out << context.drive.parameters[std::size_t(i)].comNo + u',' + w.value + u',' +
                   StoreCells::work(context, UP_SelectIndex, i) + u',' +
                   StoreCells::work(context, UP_BlindIndex, i);
    }
    return out;
}

bool WriteParameterFile(const ProgramContext& context, const QString& path, const QString& comment,
                        bool blindOn, bool changedOnly, Asker& asker,
                        const TextFile::AcceptSubstitutes& accept, const TextFile::KeptText& kept) {
    return writeForOthers(context, path,
                          TextFile::encodeLines(buildLines(context, comment, blindOn, changedOnly),
                                                QStringLiteral("\r\n"), kept),
                          accept, asker);
}

} // namespace ParaFile

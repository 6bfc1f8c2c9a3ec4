#include "ShippedDataChecks.h"

#include "platform/IniFile.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace DataChecks {

bool isComNo(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[0-9A-F]{4}$"));
    return re.match(s).hasMatch();
}

QString where(const QString& path, int line) {
    return QStringLiteral("%1:%2").arg(QFileInfo(path).fileName()).arg(line);
}

namespace {

enum Col {
    ComNo,
    DIndex,
    Default,
    FName,
    FTitle,
    Unit,
    Byte,
    Sign,
    HIndex,
    High,
    LIndex,
    Low,
    TMul,
    Mul,
    Memory,
    Flag,
    Quick
};

std::optional<qint64> integer(const QString& s) {
    bool ok = false;
    const qint64 v = s.toLongLong(&ok);
    if (!ok || s.trimmed() != s)
        return std::nullopt;
    return v;
}

QStringList sectionKeys(const IniFile& ini, const QString& section) {
    return ini.keys(section);
}

// Default, high and low limit of every parameter, references resolved, for one capacity.
struct Table {
    std::vector<QStringList> rows;
    QHash<QString, int> index;

    const QStringList* find(const QString& com) const {
        const auto it = index.find(com);
        return it == index.end() ? nullptr : &rows[size_t(*it)];
    }

    // Follows DIndex "1" chains; nullopt on a loop, a dangling number or a non-number.
    std::optional<qint64> defaultOf(const QString& com) const {
        QString c = com;
        for (size_t steps = 0; steps <= rows.size(); ++steps) {
            const QStringList* r = find(c);
            if (!r)
                return std::nullopt;
            if ((*r)[DIndex] == QLatin1String("0"))
                return integer((*r)[Default]);
            if ((*r)[DIndex] != QLatin1String("1"))
                return std::nullopt;
            c = (*r)[Default];
        }
        return std::nullopt;
    }
};

void checkRows(const QString& path, const Table& t, QStringList& problems) {
    static const QSet<QString> tmuls{QStringLiteral("#"),     QStringLiteral("#.#"),  QStringLiteral("#.##"),
                                     QStringLiteral("#.###"), QStringLiteral("#.x"),  QStringLiteral("#.xx"),
                                     QStringLiteral("#.xxx"), QStringLiteral("#.#x"), QStringLiteral("#.#xx"),
                                     QStringLiteral("#.##x")};
    for (size_t k = 0; k < t.rows.size(); ++k) {
        const QStringList& r = t.rows[k];
        const QString at = where(path, int(k) + 1) + u' ' + r[ComNo];
        if (r[DIndex] != QLatin1String("0") && r[DIndex] != QLatin1String("1"))
            problems << at + QStringLiteral(": DIndex \"%1\" is neither 0 nor 1").arg(r[DIndex]);
        else if (r[DIndex] == QLatin1String("1") && !t.find(r[Default]))
            problems << at + QStringLiteral(": default names %1, which is no parameter").arg(r[Default]);
        else if (!t.defaultOf(r[ComNo]))
            problems << at + QStringLiteral(": default \"%1\" does not resolve to a number (loop?)")
                                 .arg(r[Default]);
        if (r[Byte] != QLatin1String("2") && r[Byte] != QLatin1String("4"))
            problems << at + QStringLiteral(": Byte \"%1\"").arg(r[Byte]);
        if (r[HIndex] == QLatin1String("0") ? !integer(r[High]) : !t.find(r[High]))
            problems << at + QStringLiteral(": high limit \"%1\" (HIndex %2) does not resolve")
                                 .arg(r[High], r[HIndex]);
        if (r[HIndex] != QLatin1String("0") && r[HIndex] != QLatin1String("1"))
            problems << at + QStringLiteral(": HIndex \"%1\"").arg(r[HIndex]);
        if (r[LIndex] != QLatin1String("0") && r[LIndex] != QLatin1String("1") &&
            r[LIndex] != QLatin1String("-1"))
            problems << at + QStringLiteral(": LIndex \"%1\"").arg(r[LIndex]);
        else if (r[LIndex] == QLatin1String("0") ? !integer(r[Low]) : !t.find(r[Low]))
            problems << at + QStringLiteral(": low limit \"%1\" (LIndex %2) does not resolve")
                                 .arg(r[Low], r[LIndex]);
        bool ok = false;
        const double mul = r[Mul].toDouble(&ok);
        if (!ok || !(mul > 0))
            problems << at + QStringLiteral(": Mul \"%1\" is not a positive number").arg(r[Mul]);
        if (!tmuls.contains(r[TMul]))
            problems << at + QStringLiteral(": unknown display format \"%1\"").arg(r[TMul]);
        if (r[Memory] != QLatin1String("-") && r[Memory] != QLatin1String("RAM"))
            problems << at + QStringLiteral(": Memory \"%1\"").arg(r[Memory]);
        if (r[Flag] != QLatin1String("0") && r[Flag] != QLatin1String("1"))
            problems << at + QStringLiteral(": Flag \"%1\"").arg(r[Flag]);
        if (r[FName].isEmpty())
            problems << at + QStringLiteral(": no name");
    }
}

// Defaults of one capacity within the working limits, and within the value's size.
void checkLimits(const QString& what, const Table& t, QStringList& problems) {
    for (const QStringList& r : t.rows) {
        const auto d = t.defaultOf(r[ComNo]);
        const auto hi = r[HIndex] == QLatin1String("0") ? integer(r[High]) : t.defaultOf(r[High]);
        std::optional<qint64> lo = r[LIndex] == QLatin1String("0") ? integer(r[Low]) : t.defaultOf(r[Low]);
        if (lo && r[LIndex] == QLatin1String("-1"))
            lo = -*lo;
        if (!d || !hi || !lo)
            continue; // reported by checkRows
        const QString at = what + u' ' + r[ComNo];
        if (*lo > *hi)
            problems << at + QStringLiteral(": low limit %1 above high limit %2").arg(*lo).arg(*hi);
        if (*d < *lo || *d > *hi)
            problems << at + QStringLiteral(": default %1 outside %2..%3").arg(*d).arg(*lo).arg(*hi);
        const bool wide = r[Byte] == QLatin1String("4");
        const qint64 min = wide ? -2147483648LL : -32768, max = wide ? 4294967295LL : 65535;
        if (*lo < min || *hi > max)
            problems
                << at + QStringLiteral(": limits %1..%2 do not fit %3 bytes").arg(*lo).arg(*hi).arg(r[Byte]);
    }
}

Table tableOf(const std::vector<QStringList>& rows) {
    Table t;
    t.rows = rows;
    for (size_t k = 0; k < rows.size(); ++k)
        t.index.insert(rows[k][ComNo], int(k));
    return t;
}

void checkInfoIni(const QString& folder, const QString& type, const QString& cpu, const Table& t,
                  QStringList& problems) {
    const QString path = folder + QStringLiteral("/Info.ini");
    const IniFile ini(path);
    const QString at = type + u'(' + cpu + QStringLiteral(")/Info.ini");
    if (!ini.fileExists()) {
        problems << at + QStringLiteral(": missing");
        return;
    }
    if (ini.readString(QStringLiteral("Info"), QStringLiteral("Type")) != type ||
        ini.readString(QStringLiteral("Info"), QStringLiteral("Cpu")) != cpu)
        problems << at + QStringLiteral(": [Info] does not name the folder's type and CPU version");

    const QString disp =
        ini.readString(QStringLiteral("Setup"), QStringLiteral("Disp"), QStringLiteral("0*"));
    if (disp.size() != 2)
        problems << at + QStringLiteral(": Disp \"%1\" is not a two-character prefix").arg(disp);
    int lastOrdinary = -1;
    for (size_t k = 0; k < t.rows.size(); ++k) {
        const QString& c = t.rows[k][ComNo];
        if (c.startsWith(u'0') || (disp != QLatin1String("0*") && c.left(2) == disp))
            lastOrdinary = int(k);
    }
    if (lastOrdinary < 0)
        problems << at + QStringLiteral(": no ordinary parameter");
    for (size_t k = 0; int(k) <= lastOrdinary; ++k)
        if (t.rows[k][ComNo].startsWith(u'F'))
            problems << at +
                            QStringLiteral(": %1 stands among the ordinary parameters").arg(t.rows[k][ComNo]);

    int quick = 0;
    for (const QStringList& r : t.rows)
        quick += r[Quick] != QLatin1String("0");
    if (ini.readInteger(QStringLiteral("Setup"), QStringLiteral("Quick"), 0) != quick)
        problems << at + QStringLiteral(": Quick is not the number of Quick parameters (%1)").arg(quick);

    for (const QString& key : sectionKeys(ini, QStringLiteral("Disp CV"))) {
        const QString v = ini.readString(QStringLiteral("Disp CV"), key);
        if (!t.find(key) || (v != QLatin1String("C") && v != QLatin1String("V")))
            problems << at + QStringLiteral(": [Disp CV] %1=%2").arg(key, v);
    }

    // Communication defaults: the values the dialog applies must be valid choices.
    const QString dc = QStringLiteral("Def Comms");
    struct Setting {
        const char* key;
        int max;
    };
    for (const Setting s :
         {Setting{"Protocol", 1}, Setting{"Baudrate", 5}, Setting{"Parity", 2}, Setting{"InvNo", 63}}) {
        const QString key = QLatin1String(s.key);
        const int value = ini.readInteger(dc, key, -1);
        const int offset = ini.readInteger(dc, key + QStringLiteral("_B"), 0);
        if (value < 0 || value + offset > s.max)
            problems << at + QStringLiteral(": [Def Comms] %1 %2 + %3 is no valid choice")
                                 .arg(key)
                                 .arg(value)
                                 .arg(offset);
        const QString source = ini.readString(dc, QStringLiteral("Para_") + key, QStringLiteral("-"));
        if (source == QLatin1String("-") || source.contains(QLatin1String("Fixed")))
            continue;
        const auto d = t.defaultOf(source);
        if (!d)
            problems << at + QStringLiteral(": [Def Comms] Para_%1 names %2, which is no parameter")
                                 .arg(key, source);
        else if (*d + offset < 0 || *d + offset > s.max)
            problems << at + QStringLiteral(": [Def Comms] default of %1 + %2 is no valid choice")
                                 .arg(source)
                                 .arg(offset);
    }

    const QString mon = type + QStringLiteral(" Monitor (Eng)");
    const QStringList items = sectionKeys(ini, mon);
    if (items.isEmpty())
        problems << at + QStringLiteral(": no monitor items");
    if (sectionKeys(ini, type + QStringLiteral(" Monitor (Jap)")) != items)
        problems << at + QStringLiteral(": Japanese monitor items differ from the English ones");
    static const QRegularExpression itemRe(QStringLiteral("^([0-9A-F]{4})(-(\\d\\d))?$"));
    for (const QString& item : items) {
        const auto m = itemRe.match(item);
        if (!m.hasMatch() || !t.find(m.captured(1)) || (m.hasCaptured(3) && m.captured(3).toInt() > 15))
            problems << at + QStringLiteral(": monitor item \"%1\" does not resolve").arg(item);
        for (const QString& suffix : {QStringLiteral("Eng"), QStringLiteral("Jap")})
            if (ini.readString(type + QStringLiteral(" Monitor (") + suffix + u')', item).isEmpty())
                problems << at + QStringLiteral(": monitor item %1 has no %2 name").arg(item, suffix);
    }
    const QString unitSection = type + QStringLiteral(" Monitor Unit");
    const QStringList units = sectionKeys(ini, unitSection);
    if (!units.isEmpty() && units.size() != items.size())
        problems
            << at + QStringLiteral(": %1 unit keys for %2 monitor items").arg(units.size()).arg(items.size());
    for (const QString& u : units)
        if (u.size() < 3 || !ini.readString(unitSection, u).startsWith(u'('))
            problems << at + QStringLiteral(": unit key \"%1\"").arg(u);

    for (const QString& suffix : {QStringLiteral("Eng"), QStringLiteral("Jap")}) {
        const QString alarm = type + QStringLiteral(" Alarm (") + suffix + u')';
        if (sectionKeys(ini, alarm).size() != 16)
            problems << at + QStringLiteral(": [%1] does not hold the 16 alarm bits").arg(alarm);
        const QString trip = type + QStringLiteral(" Trip (") + suffix + u')';
        const QStringList trips = sectionKeys(ini, trip);
        if (trips.value(0) != QLatin1String("0"))
            problems << at + QStringLiteral(": [%1] does not begin with the no-trip code 0").arg(trip);
        if (trips != sectionKeys(ini, type + QStringLiteral(" Trip (Eng)")))
            problems << at + QStringLiteral(": [%1] lists other codes than the English one").arg(trip);
        for (const QString& code : trips)
            if (!integer(code) || *integer(code) < 0 || *integer(code) > 65535)
                problems << at + QStringLiteral(": trip code \"%1\"").arg(code);
    }
}

} // namespace

QStringList splitTypeLine(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
            field += u'\'';
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

std::vector<QStringList> readTypeFile(const QString& path, QStringList& problems) {
    std::vector<QStringList> rows;
    QStringList lines;
    QString error;
    if (!TextFile::readLines(path, lines, &error)) {
        problems << QStringLiteral("%1: cannot be read (%2)").arg(path, error);
        return rows;
    }
    QSet<QString> seen;
    for (int k = 0; k < lines.size() && k < 2000; ++k) {
        if (lines[k].size() < 7) {
            for (int j = k + 1; j < lines.size(); ++j)
                if (!lines[j].isEmpty())
                    problems << where(path, k + 1) +
                                    QStringLiteral(": short line ends the table before line %1").arg(j + 1);
            break;
        }
        QStringList f = splitTypeLine(lines[k]);
        if (f.size() != 16 && f.size() != 17) {
            problems << where(path, k + 1) + QStringLiteral(": %1 fields").arg(f.size());
            continue;
        }
        if (f.size() == 16)
            f << QStringLiteral("0");
        if (f[TMul].isEmpty())
            f[TMul] = QStringLiteral("#");
        if (f[Mul].isEmpty())
            f[Mul] = QStringLiteral("1");
        if (f[Memory].isEmpty())
            f[Memory] = QStringLiteral("-");
        if (!isComNo(f[ComNo]))
            problems << where(path, k + 1) +
                            QStringLiteral(": \"%1\" is not a four-digit communication number").arg(f[ComNo]);
        if (seen.contains(f[ComNo]))
            problems << where(path, k + 1) + QStringLiteral(": %1 listed twice").arg(f[ComNo]);
        seen.insert(f[ComNo]);
        rows.push_back(f);
    }
    if (lines.size() > 2000 && lines[2000].size() >= 7)
        problems << path + QStringLiteral(": more than 2,000 parameters");
    return rows;
}

QStringList checkDriveTypeFolder(const QString& folder, const QString& cataloguePath) {
    QStringList problems;
    const QString dirName = QFileInfo(folder).fileName();
    const qsizetype open = dirName.lastIndexOf(QLatin1String("(V"));
    if (open < 0 || !dirName.endsWith(u')'))
        return {dirName + QStringLiteral(": not named <type>(V<cpu>)")};
    const QString type = dirName.left(open);
    const QString cpu = dirName.mid(open + 1, dirName.size() - open - 2);
    const int cpuNumber = cpu.mid(1).toInt();
    const IniFile catalogue(cataloguePath);

    std::vector<QStringList> rows[2];
    const QString suffix[2] = {QStringLiteral("Eng"), QStringLiteral("Jap")};
    for (int l = 0; l < 2; ++l) {
        const QString path = folder + u'/' + type + u'(' + suffix[l] + QStringLiteral(").inv");
        if (!QFileInfo::exists(path)) {
            problems << dirName + QStringLiteral(": %1(%2).inv missing").arg(type, suffix[l]);
            continue;
        }
        rows[l] = readTypeFile(path, problems);
    }
    if (rows[0].empty())
        return problems << dirName + QStringLiteral(": no parameters");
    bool same = rows[0].size() == rows[1].size();
    for (size_t k = 0; same && k < rows[0].size(); ++k) {
        QStringList a = rows[0][k], b = rows[1][k];
        a[FName].clear();
        b[FName].clear();
        same = a == b;
    }
    if (!same)
        problems << dirName + QStringLiteral(": the two language files differ in more than the names");

    const Table t = tableOf(rows[0]);
    checkRows(folder + u'/' + type + QStringLiteral("(Eng).inv"), t, problems);
    // Parameter help, where shipped: a page for every titled parameter.
    for (const QString& s : suffix) {
        const QString help = folder + u'/' + type + u'(' + s + QStringLiteral(").chm");
        if (!QFileInfo(help).isDir())
            continue;
        if (!QFileInfo::exists(help + QStringLiteral("/index.htm")))
            problems << dirName + QStringLiteral(": %1 has no index.htm").arg(QFileInfo(help).fileName());
        else
            problems << helpFolderProblems(help);
        for (const QStringList& r : t.rows)
            if (!r[FTitle].isEmpty() && !QFileInfo::exists(help + QStringLiteral("/html/") +
                                                           r[FTitle].toLower() + QStringLiteral(".htm")))
                problems << dirName + QStringLiteral(": no help page for %1 in %2")
                                          .arg(r[FTitle], QFileInfo(help).fileName());
    }
    for (const QString& c : requiredComNos())
        if (!t.find(c))
            problems << dirName + QStringLiteral(": parameter %1 missing").arg(c);
    checkInfoIni(folder, type, cpu, t, problems);

    // Identity: the values the drive reports name this folder in the catalogue.
    const QString typeSection = cpuNumber >= 700 ? QStringLiteral("Type_Custom") : QStringLiteral("Type");
    const QString code = catalogue.readString(typeSection, type, QStringLiteral("99"));
    if (t.defaultOf(QStringLiteral("FB07")) != integer(code))
        problems << dirName + QStringLiteral(": FB07 is not the code %1 of [%2]").arg(code, typeSection);
    if (t.defaultOf(QStringLiteral("FE08")) != cpuNumber)
        problems << dirName + QStringLiteral(": FE08 is not the CPU version %1").arg(cpuNumber);
    const QString ident = QStringLiteral("Type_Ident_") + catalogue.readString(QStringLiteral("Type"), type);
    const QString identNo = catalogue.readString(ident, QStringLiteral("Ident"), QStringLiteral("-"));
    if (identNo != QLatin1String("-")) {
        const auto v = t.defaultOf(identNo);
        if (!v || catalogue.readString(ident, QStringLiteral("Typ_%1").arg(*v)) != type)
            problems << dirName + QStringLiteral(": [%1] does not name the type by %2").arg(ident, identNo);
    }
    const QString freq = catalogue.readString(QStringLiteral("Freq Comm No"), type, QStringLiteral("-"));
    if (freq != QLatin1String("-") && !t.find(freq))
        problems << dirName + QStringLiteral(": [Freq Comm No] names %1, which is no parameter").arg(freq);

    const QStringList caps = QDir(folder).entryList({QStringLiteral("*.cap")}, QDir::Files, QDir::Name);
    if (caps.isEmpty())
        problems << dirName + QStringLiteral(": no capacity file");
    const QString capSection = cpuNumber >= 700 ? type + u'(' + cpu + u')' : type;
    QStringList firstList;
    for (const QString& capFile : caps) {
        const QString capName = capFile.mid(type.size(), capFile.size() - type.size() - 4);
        if (!capFile.startsWith(type + u'-'))
            problems << dirName + QStringLiteral(": %1 is not named <type>-<capacity>.cap").arg(capFile);
        const QString capCode = catalogue.readString(capSection, capName, QStringLiteral("0"));
        if (capCode == QLatin1String("0") ||
            catalogue.readString(type, capName, QStringLiteral("0")) == QLatin1String("0"))
            problems << dirName + QStringLiteral(": capacity %1 has no code in the catalogue").arg(capName);
        QStringList lines;
        TextFile::readLines(folder + u'/' + capFile, lines);
        Table withCap = t;
        QStringList listed;
        for (int k = 0; k < lines.size() && !lines[k].isEmpty(); ++k) {
            const QStringList f = splitTypeLine(lines[k]);
            const QStringList* r = withCap.find(f[0]);
            if (f.size() < 2 || !r || !integer(f.last())) {
                problems << where(capFile, k + 1) +
                                QStringLiteral(": \"%1\" sets no parameter").arg(lines[k]);
                continue;
            }
            if ((*r)[DIndex] != QLatin1String("0"))
                problems << where(capFile, k + 1) +
                                QStringLiteral(": %1 takes its default from another parameter").arg(f[0]);
            withCap.rows[size_t(withCap.index[f[0]])][Default] = f.last();
            listed << f[0];
        }
        if (firstList.isEmpty())
            firstList = listed;
        else if (listed != firstList)
            problems << dirName +
                            QStringLiteral(": %1 lists other parameters than %2").arg(capFile, caps.first());
        if (withCap.defaultOf(QStringLiteral("FB05")) != integer(capCode))
            problems << dirName + QStringLiteral(": FB05 of %1 is not its code %2").arg(capFile, capCode);
        checkLimits(dirName + u' ' + capName, withCap, problems);
    }
    return problems;
}

QStringList checkProgramFolder(const QString& programFolder) {
    QStringList problems;
    const QString cataloguePath = programFolder + QStringLiteral("/dat/Inverter.ini");
    const IniFile catalogue(cataloguePath);
    if (!catalogue.fileExists())
        return {QStringLiteral("dat/Inverter.ini missing")};

    QSet<QString> typeNames;
    for (const QString& section : {QStringLiteral("Type"), QStringLiteral("Type_Custom")})
        for (const QString& type : catalogue.keys(section)) {
            const QString code = catalogue.readString(section, type);
            if (section == QLatin1String("Type"))
                typeNames.insert(type);
            else if (!catalogue.valueExists(QStringLiteral("Type"), type))
                problems << QStringLiteral("[Type_Custom] %1 is not in [Type]").arg(type);
            if (!type.startsWith(QLatin1String("HX")) || type.contains(u'-'))
                problems << QStringLiteral("type name %1 does not begin with HX or holds a \"-\"").arg(type);
            if (!integer(code))
                problems << QStringLiteral("[%1] %2=%3 is no code").arg(section, type, code);
            const QString ident = QStringLiteral("Type_Ident_") + code;
            const QString identNo = catalogue.readString(ident, QStringLiteral("Ident"));
            if (identNo.isEmpty())
                problems << QStringLiteral("[%1] missing").arg(ident);
            else if (identNo != QLatin1String("-") && !isComNo(identNo))
                problems << QStringLiteral("[%1] Ident \"%2\"").arg(ident, identNo);
        }

    QSet<QString> typesWithFolder;
    const QDir dat(programFolder + QStringLiteral("/dat"));
    for (const QString& dirName : dat.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (dirName.left(2).toUpper() != QLatin1String("HX"))
            continue;
        const QString type = dirName.left(dirName.lastIndexOf(QLatin1String("(V")));
        typesWithFolder.insert(type);
        if (!typeNames.contains(type))
            problems << dirName + QStringLiteral(": type not in [Type]");
        problems << checkDriveTypeFolder(dat.filePath(dirName), cataloguePath);
    }
    for (const QString& type : typeNames)
        if (!typesWithFolder.contains(type))
            problems << QStringLiteral("%1 has no drive-type folder").arg(type);

    // The program's help, where present: sound links, and the same pages in both languages.
    QStringList helpFiles[2];
    const char* const helpNames[2] = {"KVR260X(Eng).chm", "KVR260X(Jap).chm"};
    for (int l = 0; l < 2; ++l) {
        const QString help = programFolder + u'/' + QLatin1String(helpNames[l]);
        if (!QFileInfo(help).isDir())
            continue;
        problems << helpFolderProblems(help);
        for (QDirIterator it(help, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            helpFiles[l] << QDir(help).relativeFilePath(it.next());
        helpFiles[l].sort();
    }
    if (!helpFiles[0].isEmpty() && !helpFiles[1].isEmpty() && helpFiles[0] != helpFiles[1])
        problems << QStringLiteral("the program's help holds other pages in English than in Japanese");
    return problems;
}

} // namespace DataChecks

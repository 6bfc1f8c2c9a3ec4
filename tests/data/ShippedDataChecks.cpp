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

bool isComNo(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[0-9A-F]{4}$"));
    return re.match(s).hasMatch();
}

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

QString where(const QString& path, int line) {
    return QStringLiteral("%1:%2").arg(QFileInfo(path).fileName()).arg(line);
}

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

namespace {

// The English menu texts of the main window: the key of each and the text it shows.
const std::vector<std::pair<const char*, const char*>>& englishMenuTexts() {
    static const std::vector<std::pair<const char*, const char*>> texts = {
        {"Menu1", "Files"},
        {"Menu11", "New"},
        {"Menu12", "Open"},
        {"Menu13", "Save"},
        {"Menu14", "Save As"},
        {"Menu16", "Page Setup"},
        {"Menu17", "Print"},
        {"Menu18", "RS-232C Setup"},
        {"Menu19", "Exit"},
        {"Menu2", "Parameter"},
        {"Menu21", "Parameter Table"},
        {"Menu22", "Undo"},
        {"Menu23", "Redo"},
        {"Menu24", "Copy"},
        {"Menu25", "Parameter Import"},
        {"Menu26", "Parameter Export"},
        {"Menu27", "Selected Parameter Import"},
        {"Menu28", "Selected Parameter Export"},
        {"Menu2j", "Parameter Comparison"},
        {"Menu29", "'Changed' Only"},
        {"Menu2l", "Current/Voltage"},
        {"Menu2k", "Quick"},
        {"Menu2a", "Select"},
        {"Menu2b", "Select Clear"},
        {"Menu2c", "Blind"},
        {"Menu2d", "All Parameters"},
        {"Menu2e", "Hex."},
        {"Menu2f", "Dec."},
        {"Menu2g", "Shipment"},
        {"Menu2h", "Show Parameter Help"},
        {"Menu2i", "Find"},
        {"Menu3", "Key Pad"},
        {"Menu4", "Monitoring"},
        {"Menu41", "Inverter Info."},
        {"Menu42", "Monitor"},
        {"Menu5", "Tools"},
        {"Menu51", "Environment Options"},
        {"Menu52", "Maintenance Mode"},
        {"Menu6", "Help"},
        {"Menu61", "Contents"},
        {"Menu62", "About"},
    };
    return texts;
}

// The letter a "&" marks in a menu or button text (a "&&" is a plain "&"), upper-cased; empty
// without one. Two marks count as a fault of their own.
QString mnemonicOf(const QString& text, bool* twice = nullptr) {
    QString letter;
    int marks = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        ++marks;
        letter = text[i + 1].toUpper();
    }
    if (twice)
        *twice = marks > 1;
    return letter;
}

// The text as the menu shows it: the "&" taken out, and a Japanese "(&X)" with it.
QString shownText(QString text) {
    static const QRegularExpression suffix(QStringLiteral("\\(&[A-Za-z0-9]\\)$"));
    text.remove(suffix);
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

struct TextGroup {
    QString name;
    QList<std::pair<QString, QString>> keys; // section, key
    bool everyOne;                           // each text must carry a mnemonic (menus)
};

// The texts that show together: the menu bar, each menu, the table's and the keypad's pop-up
// menus, and the buttons of each window.
QList<TextGroup> textGroups(const IniFile& ini) {
    const QString main = QStringLiteral("Main");
    QList<TextGroup> groups;
    TextGroup bar{QStringLiteral("the menu bar"), {}, true};
    for (int m = 1; m <= 6; ++m) {
        const QString menu = QStringLiteral("Menu%1").arg(m);
        bar.keys.append({main, menu});
        TextGroup items{QStringLiteral("menu %1").arg(menu), {}, true};
        for (const QString& key : ini.keys(main))
            if (key.size() == menu.size() + 1 && key.startsWith(menu))
                items.keys.append({main, key});
        if (!items.keys.isEmpty())
            groups.append(items);
    }
    groups.prepend(bar);
    TextGroup popup{QStringLiteral("the table's pop-up menu"), {}, true};
    for (const char* key :
         {"Menu22", "Menu23", "Menu24", "Menu27", "Menu28", "Menu29", "Menu2l", "Menu2k", "Menu2a", "Menu2b",
          "Menu2c", "Menu2d", "Menu2e", "Menu2f", "Menu2g", "Menu2h", "Menu2i"})
        popup.keys.append({main, QLatin1String(key)});
    popup.keys.append({QStringLiteral("Parameter"), QStringLiteral("PopMenu1")});
    groups.append(popup);
    groups.append({QStringLiteral("the keypad's pop-up menu"),
                   {{QStringLiteral("KeyPad"), QStringLiteral("PopMenu1")},
                    {QStringLiteral("KeyPad"), QStringLiteral("PopMenu2")}},
                   true});
    for (const QString& section : ini.sections()) {
        TextGroup buttons{QStringLiteral("the buttons of [%1]").arg(section), {}, false};
        for (const QString& key : ini.keys(section))
            if (key.startsWith(QLatin1String("Button")))
                buttons.keys.append({section, key});
        if (buttons.keys.size() > 1)
            groups.append(buttons);
    }
    return groups;
}

// Alt and a letter opens a menu or presses a button only where one text of the group carries
// that letter.
QStringList mnemonicProblems(const QString& name, const IniFile& ini) {
    QStringList problems;
    for (const TextGroup& g : textGroups(ini)) {
        QHash<QString, QString> taken;
        for (const auto& [section, key] : g.keys) {
            const QString text = ini.readString(section, key);
            bool twice = false;
            const QString letter = mnemonicOf(text, &twice);
            if (twice)
                problems << name + QStringLiteral(": [%1] %2 marks more than one letter").arg(section, key);
            if (letter.isEmpty()) {
                if (g.everyOne)
                    problems << name + QStringLiteral(": [%1] %2 \"%3\" has no mnemonic in %4")
                                           .arg(section, key, text, g.name);
                continue;
            }
            if (taken.contains(letter))
                problems << name + QStringLiteral(": mnemonic %1 of [%2] %3 clashes with %4 in %5")
                                       .arg(letter, section, key, taken.value(letter), g.name);
            else
                taken.insert(letter, key);
        }
    }
    return problems;
}

// A help folder: every link and picture of its pages leads to a file inside it, and every
// page of html/ is reached from the contents page.
QStringList helpFolderProblems(const QString& folder) {
    QStringList problems;
    const QString name = QFileInfo(folder).fileName();
    const QString index = QDir(folder).filePath(QStringLiteral("index.htm"));
    static const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"#]*)"));
    QSet<QString> inContents;
    QDirIterator pages(folder, {QStringLiteral("*.htm")}, QDir::Files, QDirIterator::Subdirectories);
    while (pages.hasNext()) {
        const QString page = pages.next();
        QFile f(page);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = reference.globalMatch(text); m.hasNext();) {
            const QString target = m.next().captured(1);
            // A place on the same page, or an address outside the help.
            if (target.isEmpty() || target.contains(u':'))
                continue;
            const QString path = QDir::cleanPath(QFileInfo(page).dir().filePath(target));
            if (!path.startsWith(folder + u'/') || !QFileInfo::exists(path))
                problems << name + u'/' + QDir(folder).relativeFilePath(page) +
                                QStringLiteral(" links to missing ") + target;
            else if (page == index)
                inContents.insert(path);
        }
    }
    const QDir html(QDir(folder).filePath(QStringLiteral("html")));
    for (const QString& page : html.entryList({QStringLiteral("*.htm")}, QDir::Files, QDir::Name))
        if (!inContents.contains(html.filePath(page)))
            problems << name + QStringLiteral(": ") + page + QStringLiteral(" is not in the contents");
    return problems;
}

} // namespace

QStringList requiredComNos() {
    return {QStringLiteral("0000"), QStringLiteral("0099"), QStringLiteral("0630"), QStringLiteral("0998"),
            QStringLiteral("0999"), QStringLiteral("FA01"), QStringLiteral("FA10"), QStringLiteral("FA11"),
            QStringLiteral("FB05"), QStringLiteral("FB07"), QStringLiteral("FB58"), QStringLiteral("FB72"),
            QStringLiteral("FB91"), QStringLiteral("FC10"), QStringLiteral("FC90"), QStringLiteral("FC91"),
            QStringLiteral("FE08"), QStringLiteral("FE10"), QStringLiteral("FE11"), QStringLiteral("FE12"),
            QStringLiteral("FE13"), QStringLiteral("FE14"), QStringLiteral("FE70"), QStringLiteral("FE71"),
            QStringLiteral("FE73")};
}

QStringList checkLanguageFile(const QString& path) {
    QStringList problems;
    const QString name = QFileInfo(path).fileName();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {name + QStringLiteral(": missing")};
    const QByteArray bytes = f.readAll();
    if (QString::fromUtf8(bytes).toUtf8() != bytes)
        problems << name + QStringLiteral(": not valid UTF-8");
    if (bytes.count('\n') != bytes.count("\r\n") || bytes.count('\r') != bytes.count("\r\n"))
        problems << name + QStringLiteral(": line ends other than CR LF");
    // Blanks at the ends of an unquoted value would be trimmed away on reading.
    const QStringList lines = TextFile::splitLines(QString::fromUtf8(bytes));
    for (int k = 0; k < lines.size(); ++k) {
        const qsizetype eq = lines[k].indexOf(u'=');
        if (eq < 0 || lines[k].startsWith(u';') || lines[k].startsWith(u'['))
            continue;
        const QString v = lines[k].mid(eq + 1);
        if (v != v.trimmed())
            problems << where(path, k + 1) +
                            QStringLiteral(": value with edge blanks written without quotes");
    }

    const IniFile ini(path);
    const QStringList general = ini.keys(QStringLiteral("General"));
    if (general.size() != 119)
        problems << name + QStringLiteral(": [General] holds %1 keys, not 119").arg(general.size());
    for (int i = 0; i < general.size(); ++i)
        if (general[i] != QStringLiteral("Message%1").arg(i + 1)) {
            problems << name + QStringLiteral(": key %1 of [General] is %2").arg(i + 1).arg(general[i]);
            break;
        }
    for (const QString& key : general)
        if (ini.readString(QStringLiteral("General"), key).isEmpty())
            problems << name + QStringLiteral(": %1 is empty (unused numbers hold \"-\")").arg(key);

    for (const char* s :
         {"General", "Main", "Parameter", "RS232C", "Options", "Maintenance", "About", "Working",
          "WorkingRep", "PrintSet", "Print", "Monitor", "PrintMon", "InverterInfo", "KeyPad"})
        if (ini.keys(QLatin1String(s)).isEmpty())
            problems << name + QStringLiteral(": section [%1] missing or empty").arg(QLatin1String(s));

    problems += mnemonicProblems(name, ini);

    const QStringList info = ini.keys(QStringLiteral("InverterInfo"));
    if (info.size() < 2)
        problems << name + QStringLiteral(": [InverterInfo] lacks its two titles");
    if (QSet<QString>(info.begin(), info.end()).size() != info.size())
        problems << name + QStringLiteral(": [InverterInfo] captions are not unique");
    for (int i = 2; i < info.size(); ++i)
        if (!info[i].startsWith(QLatin1String("cr")) &&
            !isComNo(ini.readString(QStringLiteral("InverterInfo"), info[i])))
            problems << name +
                            QStringLiteral(": [InverterInfo] %1 names no communication number").arg(info[i]);
    return problems;
}

QStringList checkLanguagePair(const QString& englishPath, const QString& japanesePath) {
    QStringList problems = checkLanguageFile(englishPath) + checkLanguageFile(japanesePath);
    const IniFile en(englishPath), ja(japanesePath);
    for (int n = 1; n <= 110; ++n) {
        const QString key = QStringLiteral("Message%1").arg(n);
        if ((en.readString(QStringLiteral("General"), key) == QLatin1String("-")) !=
            (ja.readString(QStringLiteral("General"), key) == QLatin1String("-")))
            problems << QStringLiteral("%1 is unused in one language only").arg(key);
    }
    if (en.sections() != ja.sections())
        problems << QStringLiteral("the language files hold different sections");
    // The English menus show the program's own texts; the "&" only marks a letter.
    const QString main = QStringLiteral("Main");
    for (const auto& [key, text] : englishMenuTexts())
        if (shownText(en.readString(main, QLatin1String(key))) != QLatin1String(text))
            problems << QStringLiteral("English [Main] %1 shows \"%2\", not \"%3\"")
                            .arg(QLatin1String(key), shownText(en.readString(main, QLatin1String(key))),
                                 QLatin1String(text));
    // The same letters in both languages, so that a user's habit holds across them.
    for (const QString& s : en.sections())
        for (const QString& key : en.keys(s))
            if (mnemonicOf(en.readString(s, key)) != mnemonicOf(ja.readString(s, key)))
                problems << QStringLiteral("[%1] %2 marks other letters in the two languages").arg(s, key);
    for (const QString& s : en.sections()) {
        if (s.compare(QLatin1String("InverterInfo"), Qt::CaseInsensitive) == 0) {
            const QStringList ek = en.keys(s), jk = ja.keys(s);
            bool same = ek.size() == jk.size();
            for (int i = 2; same && i < ek.size(); ++i)
                same = en.readString(s, ek[i]) == ja.readString(s, jk[i]);
            if (!same)
                problems << QStringLiteral("[InverterInfo] lists other codes in the two languages");
        } else if (en.keys(s) != ja.keys(s)) {
            problems << QStringLiteral("[%1] holds other keys in the two languages").arg(s);
        }
    }
    return problems;
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

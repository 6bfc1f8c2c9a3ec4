// The checks of the language files: menu texts, access keys, help folders, the two languages alike.
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

namespace DataChecks {
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

} // namespace

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
    if (general.size() != 124)
        problems << name + QStringLiteral(": [General] holds %1 keys, not 124").arg(general.size());
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

} // namespace DataChecks

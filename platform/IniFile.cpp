#include "platform/IniFile.h"

#include "platform/TextFile.h"

#include <QDebug>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <climits>

namespace {

QString fold(const QString& s) {
    return s.trimmed().toCaseFolded();
}

// The section named by a "[name]" line, or a null string for any other line.
QString headerName(const QString& text) {
    const QString t = text.trimmed();
    if (!t.startsWith(u'['))
        return QString();
    qsizetype end = t.indexOf(u']');
    if (end < 0)
        end = t.size();
    QString name = t.mid(1, end - 1).trimmed();
    if (name.isNull())
        name = QLatin1String("");
    return name;
}

// The key of a "key=value" line; empty for comments, blank lines and lines without "=".
QString keyOf(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
        return QString();
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0)
        return QString();
    return t.left(eq).trimmed();
}

QString valueOf(const QString& text) {
    const qsizetype eq = text.indexOf(u'=');
    QString v = text.mid(eq + 1).trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

// The value as it must stand in the file to read back unchanged: blanks at either end or
// enclosing quotes would otherwise be lost, so such a value is quoted; a line break would
// split the line, so it becomes a blank.
QString storedValue(QString v) {
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    const bool edgeBlank = !v.isEmpty() && (v.front().isSpace() || v.back().isSpace());
    const bool quoted = v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
    if (edgeBlank || quoted)
        return u'"' + v + u'"';
    return v;
}

// Decimal, or hexadecimal after "0x" or "$", with an optional sign; the whole text must
// be the number.
bool parseInteger(const QString& text, int& out) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.front() == u'-';
        t = t.mid(1);
    }
    if (t.isEmpty())
        return false;
    int base = 10;
    if (t.startsWith(u'$')) {
        base = 16;
        t = t.mid(1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t = t.mid(2);
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const bool digit = c >= u'0' && c <= u'9';
        const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!digit && !(base == 16 && hex))
            return false;
    }
    bool ok = false;
    const qulonglong magnitude = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    qint64 value;
    if (base == 16) {
        // Eight hex digits cover the 32-bit pattern: "$FFFFFFFF" is -1.
        if (magnitude > 0xFFFFFFFFull)
            return false;
        value = static_cast<qint32>(static_cast<quint32>(magnitude));
    } else {
        if (magnitude > 0x80000000ull)
            return false;
        value = static_cast<qint64>(magnitude);
    }
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return false;
    out = static_cast<int>(value);
    return true;
}

// Splits bytes at CR LF, LF or CR, as TextFile::splitLines does with text. The codes of CR
// and LF never occur inside a character of UTF-8, CP1252 or CP932.
QList<QByteArray> splitByteLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines << bytes.mid(start, i - start);
        if (c == '\r' && i + 1 < n && bytes.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << bytes.mid(start);
    return lines;
}

} // namespace

IniFile::IniFile(const QString& path) : path_(path) {
    load();
}

IniFile::~IniFile() {
    if (!dirty_)
        return;
    QString error;
    if (!flush(&error))
        qWarning().noquote() << error;
}

void IniFile::load() {
    QFile f(path_);
    if (!f.exists())
        return;
    if (!f.open(QIODevice::ReadOnly)) {
        loadError_ = QStringLiteral("Cannot open %1: %2").arg(path_, f.errorString());
        return;
    }
    const QByteArray bytes = f.readAll();
    existed_ = true;
    legacy_ = !TextFile::readsAsUtf8(bytes);
    const QList<QByteArray> raws = splitByteLines(bytes);
    QString section;
    lines_.reserve(raws.size());
    for (qsizetype i = 0; i < raws.size(); ++i) {
        QString text = legacy_ ? TextFile::decodeLegacy(raws[i]) : QString::fromUtf8(raws[i]);
        if (i == 0 && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        Line line;
        line.raw = raws[i];
        const QString header = headerName(text);
        if (!header.isNull()) {
            section = fold(header);
            line.header = true;
        } else {
            line.key = keyOf(text);
        }
        line.section = section;
        line.text = text;
        lines_.push_back(std::move(line));
    }
}

QStringList IniFile::sections() const {
    QStringList out;
    QSet<QString> seen;
    for (const Line& l : lines_) {
        if (!l.header || seen.contains(l.section))
            continue;
        seen.insert(l.section);
        out << headerName(l.text);
    }
    return out;
}

IniFile::SectionIndex* IniFile::sectionIndex(const QString& foldedSection) const {
    if (!index_.valid) {
        // Only the headers are looked at, so that a large file costs no more than its read.
        index_.sections.clear();
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].header)
                index_.sections[lines_[i].section].headers.push_back(static_cast<int>(i));
        index_.valid = true;
    }
    const auto it = index_.sections.find(foldedSection);
    if (it == index_.sections.end())
        return nullptr;
    SectionIndex& si = *it;
    if (!si.keysFound) {
        for (int h : si.headers) {
            for (size_t i = static_cast<size_t>(h) + 1; i < lines_.size() && !lines_[i].header; ++i) {
                const QString& key = lines_[i].key;
                if (key.isEmpty())
                    continue;
                const QString folded = key.toCaseFolded();
                if (!si.keys.contains(folded))
                    si.keys.insert(folded, static_cast<int>(i));
            }
        }
        si.keysFound = true;
    }
    return &si;
}

int IniFile::findSectionLine(const QString& section) const {
    const SectionIndex* si = sectionIndex(fold(section));
    return si ? si->headers.front() : -1;
}

bool IniFile::sectionExists(const QString& section) const {
    return findSectionLine(section) >= 0;
}

int IniFile::findKeyLine(const QString& section, const QString& key) const {
    const QString s = fold(section);
    const QString k = fold(key);
    // Lines before the first section belong to none.
    if (s.isEmpty() || k.isEmpty())
        return -1;
    const SectionIndex* si = sectionIndex(s);
    return si ? si->keys.value(k, -1) : -1;
}

QStringList IniFile::keys(const QString& section) const {
    QStringList out;
    if (findSectionLine(section) < 0)
        return out;
    const QString s = fold(section);
    for (const Line& l : lines_)
        if (!l.header && l.section == s && !l.key.isEmpty())
            out << l.key;
    return out;
}

bool IniFile::valueExists(const QString& section, const QString& key) const {
    return findKeyLine(section, key) >= 0;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    const int i = findKeyLine(section, key);
    if (i < 0)
        return def;
    return valueOf(lines_[static_cast<size_t>(i)].text);
}

QByteArray IniFile::readBytes(const QString& section, const QString& key, const QByteArray& def) const {
    const int i = findKeyLine(section, key);
    if (i < 0)
        return def;
    const Line& l = lines_[static_cast<size_t>(i)];
    if (l.changed) {
        const QString v = valueOf(l.text);
        QByteArray bytes;
        return legacy_ && TextFile::encodeLegacy(v, bytes) ? bytes : v.toUtf8();
    }
    // "=", the quotes and the blanks are never part of a character of UTF-8, CP1252 or CP932.
    QByteArray v = l.raw.mid(l.raw.indexOf('=') + 1).trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    const int i = findKeyLine(section, key);
    if (i < 0)
        return def;
    int v = 0;
    return parseInteger(valueOf(lines_[static_cast<size_t>(i)].text), v) ? v : def;
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

int IniFile::sectionEndLine(int sectionLine) const {
    // After the last key line of the section (or its header), so that blank lines and
    // comments before the next section stay where they are.
    const QString s = lines_[static_cast<size_t>(sectionLine)].section;
    int last = sectionLine;
    for (size_t i = static_cast<size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.header)
            break;
        if (l.section == s && !l.key.isEmpty())
            last = static_cast<int>(i);
    }
    return last + 1;
}

void IniFile::setLine(int index, const QString& text, bool header, const QString& section) {
    Line& l = lines_[static_cast<size_t>(index)];
    l.text = text;
    l.header = header;
    l.section = section;
    l.key = header ? QString() : keyOf(text);
    l.raw.clear();
    l.changed = true;
    dirty_ = true;
}

void IniFile::insertLine(int index, const QString& text, bool header, const QString& section) {
    lines_.insert(lines_.begin() + index, Line());
    setLine(index, text, header, section);
    if (!index_.valid)
        return;
    // Lines from here on moved down by one; the new line is the first of its name, as the
    // callers insert only what they did not find.
    for (SectionIndex& si : index_.sections) {
        for (int& h : si.headers)
            if (h >= index)
                ++h;
        for (int& k : si.keys)
            if (k >= index)
                ++k;
    }
    const Line& l = lines_[static_cast<size_t>(index)];
    if (l.header) {
        SectionIndex& si = index_.sections[l.section];
        si.headers.insert(std::upper_bound(si.headers.begin(), si.headers.end(), index), index);
    } else if (!l.key.isEmpty()) {
        const auto it = index_.sections.find(l.section);
        if (it != index_.sections.end() && it->keysFound)
            it->keys.insert(l.key.toCaseFolded(), index);
    }
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    const QString s = fold(section);
    const QString k = key.trimmed();
    if (s.isEmpty() || k.isEmpty())
        return;
    const QString stored = storedValue(value);
    const int at = findKeyLine(section, key);
    if (at >= 0) {
        // The key keeps its spelling in the file.
        const QString text = lines_[static_cast<size_t>(at)].key + u'=' + stored;
        if (text != lines_[static_cast<size_t>(at)].text)
            setLine(at, text, false, s);
        return;
    }
    int header = findSectionLine(section);
    if (header < 0) {
        if (!lines_.empty() && !lines_.back().text.trimmed().isEmpty())
            insertLine(static_cast<int>(lines_.size()), QString(), false, s);
        header = static_cast<int>(lines_.size());
        insertLine(header, u'[' + section.trimmed() + u']', true, s);
    }
    insertLine(sectionEndLine(header), k + u'=' + stored, false, s);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::deleteKey(const QString& section, const QString& key) {
    // Every occurrence goes, so that a later duplicate does not take the deleted key's place.
    const QString s = fold(section);
    const QString k = fold(key);
    if (findKeyLine(section, key) < 0)
        return;
    std::erase_if(lines_, [&](const Line& l) {
        return !l.header && l.section == s && !l.key.isEmpty() && l.key.toCaseFolded() == k;
    });
    index_.valid = false;
    dirty_ = true;
}

void IniFile::eraseSection(const QString& section) {
    if (findSectionLine(section) < 0)
        return;
    const QString s = fold(section);
    std::erase_if(lines_, [&](const Line& l) { return l.section == s; });
    index_.valid = false;
    dirty_ = true;
}

bool IniFile::flush(QString* error) {
    if (!dirty_)
        return true;
    if (!loadError_.isEmpty()) {
        // Writing now would replace a file we could not read with our few lines.
        if (error)
            *error = loadError_;
        return false;
    }
    // A file in the legacy code page stays in it, unless a new text cannot be written in it:
    // then the whole file becomes UTF-8 so that nothing is lost.
    bool legacy = legacy_;
    QList<QByteArray> encoded;
    encoded.reserve(static_cast<qsizetype>(lines_.size()));
    for (const Line& l : lines_) {
        if (!l.changed) {
            encoded << l.raw;
            continue;
        }
        QByteArray bytes;
        if (legacy && !TextFile::encodeLegacy(l.text, bytes)) {
            legacy = false;
            break;
        }
        encoded << (legacy ? bytes : l.text.toUtf8());
    }
    if (legacy_ && !legacy) {
        encoded.clear();
        for (const Line& l : lines_)
            encoded << l.text.toUtf8();
    }
    QByteArray out;
    for (const QByteArray& b : encoded) {
        out += b;
        out += "\r\n";
    }
    if (!TextFile::writeBytes(path_, out, error))
        return false;
    // From now on the file holds these bytes.
    for (size_t i = 0; i < lines_.size(); ++i) {
        lines_[i].raw = encoded[static_cast<qsizetype>(i)];
        lines_[i].changed = false;
    }
    legacy_ = legacy;
    existed_ = true;
    dirty_ = false;
    return true;
}

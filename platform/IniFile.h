#pragma once
// Profile files (settings, language, drive catalogue, drive-type info) with the semantics
// the program's files rely on: section and key names match ignoring case, the first
// occurrence wins, key names are listed in file order, values are trimmed and one pair of
// enclosing quotes is stripped, integers are decimal (or "0x"/"$" hex), booleans are
// integers. Writes change only the line they touch; the file is written (CR LF, through a
// temporary file and a rename) by flush() or, if still dirty, by the destructor.
//
// The file is read once, when the object is made; every read after that is served from
// memory through an index of sections and keys, so a group of reads through one object
// costs one read of the file however large it is.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

class IniFile {
public:
    explicit IniFile(const QString& path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const QString& path() const { return path_; }
    bool fileExists() const { return existed_; }

    QStringList sections() const;
    bool sectionExists(const QString& section) const;
    // Key names of a section in file order (duplicates kept, as the system lists them).
    QStringList keys(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;

    QString readString(const QString& section, const QString& key, const QString& def = QString()) const;
    // The value as the file holds it: its bytes in the file's own encoding (UTF-8, or the code
    // page of a file that is not UTF-8, whatever the language reads that page as), trimmed of
    // ASCII blanks and unquoted as readString does.
    QByteArray readBytes(const QString& section, const QString& key, const QByteArray& def = {}) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);
    void deleteKey(const QString& section, const QString& key);
    void eraseSection(const QString& section);

    // Writes pending changes. False with a reason when the file could not be written.
    bool flush(QString* error = nullptr);
    bool dirty() const { return dirty_; }
    // Why an existing file could not be read ("" when it was read or did not exist).
    const QString& loadError() const { return loadError_; }

private:
    struct Line {
        QString text;    // the line as in the file, without its end
        QString key;     // key of a "key=value" line, else empty
        QString section; // lower-cased section the line belongs to ("" before the first)
        QByteArray raw;  // the bytes as read; empty for a line written since
        bool changed = false;
        bool header = false; // a "[section]" line
    };
    int findKeyLine(const QString& section, const QString& key) const;
    int findSectionLine(const QString& section) const;
    int sectionEndLine(int sectionLine) const;
    void load();
    void setLine(int index, const QString& text, bool header, const QString& section);
    void insertLine(int index, const QString& text, bool header, const QString& section);

    // Where each (folded) section's headers stand, found in one pass over the lines; the
    // first line of each of its keys, found when a key of the section is first looked up.
    // Dropped when lines are removed; an inserted line shifts it in place.
    struct SectionIndex {
        std::vector<int> headers;
        QHash<QString, int> keys; // folded key -> line
        bool keysFound = false;
    };
    struct Index {
        QHash<QString, SectionIndex> sections;
        bool valid = false;
    };
    SectionIndex* sectionIndex(const QString& foldedSection) const;
    mutable Index index_;

    QString loadError_;
    bool legacy_ = false; // the file is in the legacy code page, and is written back in it
    QString path_;
    bool existed_ = false;
    bool dirty_ = false;
    std::vector<Line> lines_;
};

#pragma once
// Text files as the program reads and writes them. Our own data (what we ship, the settings
// we write) is UTF-8 where it is valid UTF-8, else the Windows code page of the language (data
// made on Windows). Files for others are written in that code page, so that programs on
// Windows and spreadsheets read them, and read in it unless they say they are UTF-8. Lines
// split at CR LF, LF or CR; written through a temporary file and a rename.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

namespace TextFile {

// The code page of files for others and of files that are not valid UTF-8: "CP932" for
// Japanese, "CP1252" otherwise. Set when the language is chosen.
void setLegacyCodePage(const QString& name);
QString legacyCodePage();
// The code page for a language name ("Japanese" gives CP932).
QString codePageForLanguage(const QString& languageName);

// Who wrote a file, and so how it is read.
enum class Origin {
    OwnData,   // valid UTF-8 is UTF-8 (in CP932 not when it holds nothing beyond half-width katakana)
    ForOthers, // UTF-8 only when it says so (byte-order mark, XML declaration), else the code page
};
bool readsAsUtf8(const QByteArray& bytes, Origin origin = Origin::OwnData);
// UTF-8 (a leading byte-order mark dropped) when readsAsUtf8, else the legacy code page.
QString decode(const QByteArray& bytes, Origin origin = Origin::OwnData);
bool isUtf8(const QByteArray& bytes);
// The legacy code page both ways, as Windows reads and writes it: every byte shows as some
// character ("・" for a pair CP932 has no character for), and a character typed takes the
// code Windows writes for it.
QString decodeLegacy(const QByteArray& bytes);
struct Encoded {
    QByteArray bytes;
    QString substituted; // characters the page has no code for, each once; written as "?"
};
Encoded encode(const QString& text);

// A text read in the code page and the bytes it was read from. The page reads some codes
// alike (a character's second code, any pair it has no character for), so the text alone does
// not give them back: while it is unchanged it is written as the bytes it came from.
struct KeptText {
    QString text;
    QByteArray bytes;
};
KeptText keepLegacy(const QByteArray& bytes);
// Every line, the last one included, ends with eol; a line that is kept.text is written as
// kept.bytes.
Encoded encodeLines(const QStringList& lines, const QString& eol = QStringLiteral("\r\n"),
                    const KeptText& kept = {});
// False (and out left alone) when a character has no code in the page.
bool encodeLegacy(const QString& text, QByteArray& out);
QStringList splitLines(const QString& text);

// Our own data.
bool readText(const QString& path, QString& text, QString* error = nullptr);
bool readLines(const QString& path, QStringList& lines, QString* error = nullptr);

// Bounds of a reader that knows how large its files can be: a file above maxBytes is refused
// before it is read, and a line above maxLineBytes (counted in the file's bytes, without its
// end) stops the reading there, so that neither ever reaches a box or a parser.
struct ReadBounds {
    qint64 maxBytes = 0;
    qsizetype maxLineBytes = 0;
};
enum class ReadFailure { None, CannotOpen, CannotRead, TooLarge, LineTooLong };
struct ReadProblem {
    ReadFailure failure = ReadFailure::None;
    qint64 size = 0; // of the file, when TooLarge
    int line = 0;    // 1-based, when LineTooLong
    QString error;   // the system's reason, when CannotOpen or CannotRead
};
// A file for others. lineBytes (when given) receives each line's bytes when the file was read
// in the code page, none when it was read as UTF-8.
bool readLines(const QString& path, QStringList& lines, const ReadBounds& bounds, ReadProblem& problem,
               QList<QByteArray>* lineBytes = nullptr);

// Replaces the file atomically; a failure leaves the old file as it was. The bytes go to a
// temporary file beside the target named "<name>.kvrtmp-XXXXXX" first; leftovers of that
// name from an earlier save that was cut off are removed by the next save of the target.
// systemCode: the system's error of a failure (0 when the reason was no system error).
bool writeBytes(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                int* systemCode = nullptr);
// Adds bytes at the end of an existing file (a log or a recording row by row), all of them or
// none: false when the file is missing or cannot take them (systemCode: the system's error).
bool appendBytes(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                 int* systemCode = nullptr);
// The system's error code says the disk (or the user's quota on it) is full.
bool isDiskFull(int systemCode);

// The replacement of a file that another writer fills through a file name (a PDF printer) or
// writeBytes through handle(): a temporary file beside the target, named as writeBytes names
// it (leftovers of earlier cut-off saves are removed). commit() makes it the file once the
// content was checked; until then, and after any failure, the target stays as it was, and
// the temporary file is removed when this object goes.
class ReplacingFile {
public:
    explicit ReplacingFile(const QString& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int handle() const { return fd_; }
    QString temporaryPath() const;
    bool commit();
    // After a failure: "Cannot write <path>: <reason>", and the system's error code (0 when
    // the reason was no system error).
    QString errorText() const;
    int errorCode() const { return code_; }
    // Records the failure of a write through handle() and removes the temporary file.
    void failWith(int systemCode);

private:
    void discard();
    QString path_;
    QByteArray final_, temp_;
    int fd_ = -1;
    int code_ = 0;
    QString reason_;
};
// Asked before a file for others is written whose text holds characters its code page
// lacks (written as "?"), with those characters; false writes nothing.
using AcceptSubstitutes = std::function<bool(const QString& characters)>;
// writeBytes of an encoded file, accept asked first when it substituted characters; false
// with error left alone when declined.
bool writeEncoded(const QString& path, const Encoded& file, const AcceptSubstitutes& accept,
                  QString* error = nullptr, int* systemCode = nullptr);
// The text in the legacy code page, a character it lacks as "?" (see encode for asking first).
bool writeText(const QString& path, const QString& text, QString* error = nullptr);
// Every line, the last one included, ends with eol.
bool writeLines(const QString& path, const QStringList& lines, QString* error = nullptr,
                const QString& eol = QStringLiteral("\r\n"));

// The temporary files a save of path leaves when it is cut off (only names of our own
// pattern), and whether a file name is one of them.
QStringList leftoverTemporaryFiles(const QString& path);
bool isTemporaryNameFor(const QString& targetFileName, const QString& candidate);

} // namespace TextFile

#include "platform/TextFile.h"

#include "platform/Cp932Table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TextFile {

namespace {

QString& legacyName() {
    static QString name = QStringLiteral("CP1252");
    return name;
}

bool isCp1252(const QString& name) {
    return name.compare(QLatin1String("CP1252"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("windows-1252"), Qt::CaseInsensitive) == 0;
}

// Code points of CP1252's 0x80..0x9F; 0 where the page has no character (those bytes
// then stand for the C1 control of the same value, as the system's conversion does).
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Our own CP1252 table, used when the Qt build offers no converter for it.
QString decodeCp1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0)
            out.append(QChar(kCp1252High[b - 0x80]));
        else
            out.append(QChar(b));
    }
    return out;
}

// Our CP1252 table: every byte has a character and every such character one byte.
bool encodeCp1252Char(char32_t u, QByteArray& out) {
    if (u < 0x80 || (u >= 0xA0 && u < 0x100) || (u >= 0x80 && u < 0xA0 && kCp1252High[u - 0x80] == 0)) {
        out.append(char(u));
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == u) {
            out.append(char(0x80 + i));
            return true;
        }
    }
    return false;
}

// A character the page lacks (one code point: a surrogate pair stays whole) goes out as "?"
// and is named once.
qsizetype substitute(Encoded& out, const QString& text, qsizetype i, qsizetype end) {
    const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < end ? 2 : 1;
    const QString one = text.mid(i, len);
    out.bytes.append('?');
    if (!out.substituted.contains(one))
        out.substituted += one;
    return len;
}

// What Windows shows for a pair it has no character for, or a lead byte without its trail.
constexpr char16_t kUnknown = 0x30FB;

// As Windows reads it: a lead byte and a trail byte are one character, never split. whole:
// every byte had a character.
QString decodeCp932(const Cp932Table& page, const QByteArray& bytes, bool* whole = nullptr) {
    QString out;
    out.reserve(bytes.size());
    const qsizetype n = bytes.size();
    auto unknown = [&] {
        out.append(QChar(kUnknown));
        if (whole)
            *whole = false;
    };
    for (qsizetype i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        const auto next = i + 1 < n ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (Cp932Table::isLeadByte(b) && Cp932Table::isTrailByte(next)) {
            if (const char16_t c = page.character(quint16(b << 8 | next)))
                out.append(QChar(c));
            else
                unknown();
            i += 2;
            continue;
        }
        if (const char16_t c = page.character(b))
            out.append(QChar(c));
        else
            unknown();
        ++i;
    }
    return out;
}

Encoded encodeCp932(const Cp932Table& page, const QString& text) {
    Encoded out;
    out.bytes.reserve(text.size() * 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char16_t u = text.at(i).unicode();
        const quint16 code = u < 0x80 ? u : QChar::isSurrogate(u) ? 0 : page.code(u);
        if (code == 0 && u != 0) {
            i += substitute(out, text, i, n);
            continue;
        }
        if (code > 0xFF)
            out.bytes.append(char(code >> 8));
        out.bytes.append(char(code & 0xFF));
        ++i;
    }
    return out;
}

Encoded encodeCp1252(const QString& text) {
    Encoded out;
    out.bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (encodeCp1252Char(text.at(i).unicode(), out.bytes))
            ++i;
        else
            i += substitute(out, text, i, text.size());
    }
    return out;
}

} // namespace

void setLegacyCodePage(const QString& name) {
    legacyName() = name;
}

QString legacyCodePage() {
    return legacyName();
}

QString codePageForLanguage(const QString& languageName) {
    if (languageName.trimmed().compare(QLatin1String("Japanese"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("CP932");
    return QStringLiteral("CP1252");
}

bool isUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString ignored = dec.decode(bytes);
    return !dec.hasError();
}

QString decodeLegacy(const QByteArray& bytes) {
    if (isCp1252(legacyName()))
        return decodeCp1252(bytes);
    const Cp932Table* page = Cp932Table::forConverter(legacyName());
    return page ? decodeCp932(*page, bytes) : decodeCp1252(bytes);
}

Encoded encode(const QString& text) {
    if (isCp1252(legacyName()))
        return encodeCp1252(text);
    const Cp932Table* page = Cp932Table::forConverter(legacyName());
    return page ? encodeCp932(*page, text) : encodeCp1252(text);
}

KeptText keepLegacy(const QByteArray& bytes) {
    return {decodeLegacy(bytes), bytes};
}

Encoded encodeLines(const QStringList& lines, const QString& eol, const KeptText& kept) {
    Encoded out;
    QString pending;
    auto flush = [&] {
        const Encoded e = encode(pending);
        out.bytes += e.bytes;
        for (qsizetype i = 0; i < e.substituted.size();) {
            const qsizetype len = e.substituted.at(i).isHighSurrogate() ? 2 : 1;
            const QString one = e.substituted.mid(i, len);
            if (!out.substituted.contains(one))
                out.substituted += one;
            i += len;
        }
        pending.clear();
    };
    for (const QString& line : lines) {
        if (line == kept.text && !kept.bytes.isEmpty()) {
            flush();
            out.bytes += kept.bytes;
        } else {
            pending += line;
        }
        pending += eol;
    }
    flush();
    return out;
}

bool encodeLegacy(const QString& text, QByteArray& out) {
    Encoded e = encode(text);
    if (!e.substituted.isEmpty())
        return false;
    out = e.bytes;
    return true;
}

namespace {

bool ownDataReadsAsUtf8(const QByteArray& bytes) {
    if (!isUtf8(bytes))
        return false;
    // Half-width katakana in CP932 are often valid UTF-8 as well (ﾃｩ is C3 A9, "é"). Japanese
    // written in UTF-8 needs three-byte sequences (from lead byte E0); UTF-8 without any, which
    // the Japanese page reads whole, is taken for the page.
    const Cp932Table* page = isCp1252(legacyName()) ? nullptr : Cp932Table::forConverter(legacyName());
    if (!page)
        return true;
    bool beyondAscii = false;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xE0)
            return true;
        beyondAscii = beyondAscii || b >= 0x80;
    }
    if (!beyondAscii)
        return true;
    bool whole = true;
    decodeCp932(*page, bytes, &whole);
    return !whole;
}

// Any code-page text may happen to be valid UTF-8 (the English "Ã©" is C3 A9, the Japanese
// 繧｢ E3 82 A2): only a file that says so is read as UTF-8. The configuration file we write
// declares it.
bool othersReadAsUtf8(const QByteArray& bytes) {
    static const QByteArray kByteOrderMark("\xEF\xBB\xBF");
    const QByteArray firstLine = bytes.left(bytes.indexOf('\n')).trimmed().toLower();
    const bool says = bytes.startsWith(kByteOrderMark) ||
                      (firstLine.startsWith("<?xml") &&
                       (firstLine.contains("encoding=\"utf-8\"") || firstLine.contains("encoding='utf-8'")));
    return says && isUtf8(bytes);
}

} // namespace

bool readsAsUtf8(const QByteArray& bytes, Origin origin) {
    return origin == Origin::OwnData ? ownDataReadsAsUtf8(bytes) : othersReadAsUtf8(bytes);
}

QString decode(const QByteArray& bytes, Origin origin) {
    if (readsAsUtf8(bytes, origin)) {
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return dec.decode(bytes); // drops a leading byte-order mark
    }
    return decodeLegacy(bytes);
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

bool readText(const QString& path, QString& text, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    text = decode(bytes);
    return true;
}

bool readLines(const QString& path, QStringList& lines, QString* error) {
    QString text;
    if (!readText(path, text, error))
        return false;
    lines = splitLines(text);
    return true;
}

bool readLines(const QString& path, QStringList& lines, const ReadBounds& bounds, ReadProblem& problem,
               QList<QByteArray>* lineBytes) {
    problem = ReadProblem();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        problem.failure = ReadFailure::CannotOpen;
        problem.error = f.errorString();
        return false;
    }
    auto tooLarge = [&](qint64 size) {
        problem.failure = ReadFailure::TooLarge;
        problem.size = size;
        return false;
    };
    if (bounds.maxBytes > 0 && f.size() > bounds.maxBytes)
        return tooLarge(f.size());
    // One byte more than the bound tells a file that grew (or a device) from one that fits.
    const QByteArray bytes = bounds.maxBytes > 0 ? f.read(bounds.maxBytes + 1) : f.readAll();
    if (f.error() != QFileDevice::NoError) {
        problem.failure = ReadFailure::CannotRead;
        problem.error = f.errorString();
        return false;
    }
    if (bounds.maxBytes > 0 && bytes.size() > bounds.maxBytes)
        return tooLarge(bytes.size());
    if (bounds.maxLineBytes > 0) {
        const char* p = bytes.constData();
        const qsizetype n = bytes.size();
        qsizetype start = 0;
        int line = 1;
        for (qsizetype i = 0; i < n; ++i) {
            const char c = p[i];
            if (c != '\r' && c != '\n') {
                if (i + 1 - start > bounds.maxLineBytes) {
                    problem.failure = ReadFailure::LineTooLong;
                    problem.line = line;
                    return false;
                }
                continue;
            }
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
            start = i + 1;
            ++line;
        }
    }
    const bool utf8 = readsAsUtf8(bytes, Origin::ForOthers);
    lines = splitLines(decode(bytes, Origin::ForOthers));
    if (lineBytes) {
        lineBytes->clear();
        // CR and LF are never part of a pair in the code page: its lines are its bytes' lines.
        if (!utf8)
            for (const QString& line : splitLines(QString::fromLatin1(bytes)))
                *lineBytes << line.toLatin1();
    }
    return true;
}

namespace {

// Recognisable, so that a later save removes exactly our own leftovers and never a file of
// the user's that merely starts with the target's name.
const QLatin1String kTempMark(".kvrtmp-");
constexpr int kTempSuffixLength = 6;

QString systemError(int code) {
    return QString::fromLocal8Bit(strerror(code));
}

QString randomSuffix() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString out;
    for (int i = 0; i < kTempSuffixLength; ++i)
        out += QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars) - 1)]);
    return out;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool isTemporaryNameFor(const QString& targetFileName, const QString& candidate) {
    const qsizetype stem = targetFileName.size() + kTempMark.size();
    if (candidate.size() != stem + kTempSuffixLength || !candidate.startsWith(targetFileName) ||
        QStringView(candidate).mid(targetFileName.size(), kTempMark.size()) != kTempMark)
        return false;
    for (qsizetype i = stem; i < candidate.size(); ++i) {
        const char16_t c = candidate.at(i).unicode();
        if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            return false;
    }
    return true;
}

QStringList leftoverTemporaryFiles(const QString& path) {
    const QFileInfo target(path);
    const QString name = target.fileName();
    QStringList out;
    if (name.isEmpty())
        return out;
    const QDir folder = target.absoluteDir();
    // No name filter: its wildcards would read a "[" in the target's name as a pattern.
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (isTemporaryNameFor(name, entry))
            out << folder.filePath(entry);
    return out;
}

ReplacingFile::ReplacingFile(const QString& path) : path_(path) {
    // A link is followed, so that the file it points at is replaced and the link stays.
    QFileInfo info(path);
    const QString target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : path;
    info = QFileInfo(target);
    if (info.isDir()) {
        reason_ = QStringLiteral("it is a folder");
        return;
    }
    if (info.exists() && !info.isWritable()) {
        reason_ = QStringLiteral("the file is read-only");
        return;
    }

    for (const QString& leftover : leftoverTemporaryFiles(target))
        QFile::remove(leftover);

    final_ = QFile::encodeName(target);
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = final_ + QFile::encodeName(kTempMark + randomSuffix());
        fd_ = ::open(temp_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        const int code = errno;
        temp_.clear(); // not ours: never removed
        failWith(code);
        return;
    }
    // The new file keeps the permissions of the one it replaces.
    struct stat old {};
    if (::stat(final_.constData(), &old) == 0)
        ::fchmod(fd_, old.st_mode & 07777);
}

ReplacingFile::~ReplacingFile() {
    discard();
}

QString ReplacingFile::temporaryPath() const {
    return QFile::decodeName(temp_);
}

QString ReplacingFile::errorText() const {
    return QStringLiteral("Cannot write %1: %2").arg(path_, reason_);
}

void ReplacingFile::failWith(int code) {
    code_ = code;
    reason_ = systemError(code);
    discard();
}

void ReplacingFile::discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.isEmpty())
        ::unlink(temp_.constData());
    temp_.clear();
}

bool ReplacingFile::commit() {
    if (fd_ < 0)
        return false;
    // The data must be on disk before the rename makes it the file.
    if (::fsync(fd_) != 0) {
        failWith(errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temp_.constData(), final_.constData()) != 0) {
        failWith(errno);
        return false;
    }
    temp_.clear();
    return true;
}

bool writeBytes(const QString& path, const QByteArray& bytes, QString* error, int* systemCode) {
    ReplacingFile file(path);
    if (file.isOpen() && !writeAll(file.handle(), bytes))
        file.failWith(errno);
    if (file.isOpen() && file.commit())
        return true;
    if (error)
        *error = file.errorText();
    if (systemCode)
        *systemCode = file.errorCode();
    return false;
}

bool appendBytes(const QString& path, const QByteArray& bytes, QString* error, int* systemCode) {
    auto fail = [&](int code) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, systemError(code));
        if (systemCode)
            *systemCode = code;
        return false;
    };
    // Opened and closed for each piece, so that whatever was appended is in the file whenever
    // the writer stops. A file that has gone is not made again without what stood before.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    // A piece goes in whole or not at all: one cut by a full disk is taken back, so that the
    // file ends with the last whole piece (a row of a recording) rather than half of one.
    struct stat before {};
    const bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    if (!writeAll(fd, bytes)) {
        const int code = errno;
        if (regular)
            (void)::ftruncate(fd, before.st_size);
        ::close(fd);
        return fail(code);
    }
    if (::close(fd) != 0) {
        const int code = errno;
        if (regular)
            (void)::truncate(name.constData(), before.st_size);
        return fail(code);
    }
    return true;
}

bool writeEncoded(const QString& path, const Encoded& file, const AcceptSubstitutes& accept, QString* error,
                  int* systemCode) {
    if (!file.substituted.isEmpty() && accept && !accept(file.substituted))
        return false;
    return writeBytes(path, file.bytes, error, systemCode);
}

bool isDiskFull(int systemCode) {
    return systemCode == ENOSPC || systemCode == EDQUOT;
}

bool writeText(const QString& path, const QString& text, QString* error) {
    return writeBytes(path, encode(text).bytes, error);
}

bool writeLines(const QString& path, const QStringList& lines, QString* error, const QString& eol) {
    return writeBytes(path, encodeLines(lines, eol).bytes, error);
}

} // namespace TextFile

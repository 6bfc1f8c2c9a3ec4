#include "platform/TextFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
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

bool encodeCp1252(const QString& text, QByteArray& out) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u < 0x100) || (u >= 0x80 && u < 0xA0 && kCp1252High[u - 0x80] == 0)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == u)
                found = i;
        if (found < 0)
            return false;
        bytes.append(static_cast<char>(0x80 + found));
    }
    out = bytes;
    return true;
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
    const QString name = legacyName();
    if (isCp1252(name))
        return decodeCp1252(bytes);
    QStringDecoder dec(name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    if (!dec.isValid())
        return decodeCp1252(bytes);
    return dec.decode(bytes);
}

bool encodeLegacy(const QString& text, QByteArray& out) {
    const QString name = legacyName();
    if (isCp1252(name))
        return encodeCp1252(text, out);
    QStringEncoder enc(name.toLatin1().constData(), QStringEncoder::Flag::Stateless);
    if (!enc.isValid())
        return encodeCp1252(text, out);
    QByteArray bytes = enc.encode(text);
    if (enc.hasError())
        return false;
    out = bytes;
    return true;
}

QString decode(const QByteArray& bytes) {
    if (isUtf8(bytes)) {
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

bool writeBytes(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    // Never fall back to writing the file in place: a failure must leave the old file.
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        f.cancelWriting();
        return false;
    }
    // The data must be on disk before the rename makes it the file.
    if (::fsync(f.handle()) != 0) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool writeText(const QString& path, const QString& text, QString* error) {
    return writeBytes(path, text.toUtf8(), error);
}

bool writeLines(const QString& path, const QStringList& lines, QString* error, const QString& eol) {
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += eol;
    }
    return writeText(path, text, error);
}

} // namespace TextFile

// The CSV line splitter of the parameter files, and the table export: cells cut from the
// input and written as one line must read back as the same cells under RFC 4180, but for the
// characters the code page writes as a look-alike's code.
#include "FuzzSupport.h"

#include "core/CsvExport.h"
#include "core/DriveData.h"
#include "platform/TextFile.h"

#include <cstdlib>

namespace {

// A plain RFC 4180 reader of one record (fields may be quoted, quotes doubled inside).
QStringList readRecord(const QString& line, QChar sep) {
    QStringList out;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == sep) {
            out << field;
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    out << field;
    return out;
}

// What Japanese input methods type where CP932 holds a look-alike: the file holds the
// look-alike's code, as Windows writes it, and so reads back as the look-alike (〜 as ～,
// − as －, ‖ as ∥, ¢ £ ¬ as their full-width forms). CP1252 holds ¢ £ ¬ as they are.
constexpr char16_t kReadAsLookAlike[][2] = {{0x301C, 0xFF5E}, {0x2212, 0xFF0D}, {0x2016, 0x2225},
                                            {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2}};

// The cells as a file in CP932 (else CP1252) gives them back. The look-alikes come from the
// list above, not from reading back what the page writes, so that a character written as
// any other code still fails.
QStringList asReadBack(QStringList cells, bool cp932) {
    if (cp932)
        for (QString& cell : cells)
            for (const auto& [typed, shown] : kReadAsLookAlike)
                cell.replace(QChar(typed), QChar(shown));
    return cells;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    QStringList fields;
    SplitCsvLine(text, fields);
    SplitDriveDataLine(text, fields);
    ParaFile::splitFields(text);

    // Eight cells cut at the byte 0x1F, as a table row.
    QStringList cells = text.split(QChar(0x1F));
    while (cells.size() < 8)
        cells << QString();
    cells = cells.mid(0, 8);
    const bool comma = data[0] & 1;
    const bool cp932 = data[0] & 2;
    TextFile::setLegacyCodePage(QString::fromLatin1(cp932 ? "CP932" : "CP1252"));
    const TextFile::Encoded file = CsvExport::build({cells}, comma);
    const QString written = TextFile::decodeLegacy(file.bytes);
    if (!written.endsWith(QLatin1String("\r\n")))
        std::abort();
    if (file.substituted.isEmpty() &&
        readRecord(written.chopped(2), CsvExport::separatorFor(comma)) != asReadBack(cells, cp932))
        std::abort();
    // Whatever bytes a file holds, what either code page shows of them is written without a
    // question and reads back as shown; kept with its bytes, it is written as those bytes.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const char* page : {"CP932", "CP1252"}) {
        TextFile::setLegacyCodePage(QString::fromLatin1(page));
        const QString shown = TextFile::decodeLegacy(bytes);
        const TextFile::Encoded back = TextFile::encode(shown);
        if (!back.substituted.isEmpty() || TextFile::decodeLegacy(back.bytes) != shown)
            std::abort();
        const TextFile::KeptText kept = TextFile::keepLegacy(bytes);
        if (TextFile::encodeLines({kept.text}, QString(), kept).bytes != bytes)
            std::abort();
    }
    return 0;
}

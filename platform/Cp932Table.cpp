#include "platform/Cp932Table.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <map>
#include <memory>

namespace {

// One code at a time. A decoder that has refused a code reports an error for every later one,
// whatever resetState() does, so a refusal costs the decoder.
class CodeReader {
public:
    explicit CodeReader(const QByteArray& converter) : converter_(converter) { renew(); }
    char16_t read(const QByteArray& bytes) {
        const QString s = dec_->decode(bytes);
        if (dec_->hasError()) {
            renew();
            return 0;
        }
        if (s.size() != 1)
            return 0;
        const char16_t c = s.at(0).unicode();
        // Below 0x80 the bytes are ASCII; a surrogate or U+FFFD is no character of the page.
        return c >= 0x80 && !QChar::isSurrogate(c) && c != 0xFFFD ? c : 0;
    }

private:
    void renew() {
        dec_ = std::make_unique<QStringDecoder>(converter_.constData(), QStringDecoder::Flag::Stateless);
    }
    QByteArray converter_;
    std::unique_ptr<QStringDecoder> dec_;
};

// Single bytes the converter refuses that Windows reads as these characters (and writes back).
constexpr struct {
    unsigned char byte;
    char16_t character;
} kWindowsSingles[] = {{0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}};

// What Japanese input methods on this desktop type where the page holds a look-alike: Windows
// writes them with the look-alike's code, which reads back as the look-alike.
constexpr struct {
    char16_t character;
    quint16 code;
} kTypedLookAlikes[] = {{0x301C, 0x8160}, {0x2212, 0x817C}, {0x2016, 0x8161},
                        {0x00A2, 0x8191}, {0x00A3, 0x8192}, {0x00AC, 0x81CA}};

quint16 codeOf(const QByteArray& bytes) {
    if (bytes.size() == 1)
        return static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 2)
        return quint16(static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]));
    return 0;
}

} // namespace

const Cp932Table* Cp932Table::forConverter(const QString& name) {
    static QMutex mutex;
    static std::map<QString, std::unique_ptr<Cp932Table>> tables;
    QMutexLocker lock(&mutex);
    auto it = tables.find(name);
    if (it == tables.end())
        it = tables.emplace(name, std::unique_ptr<Cp932Table>(new Cp932Table(name))).first;
    return it->second->valid_ ? it->second.get() : nullptr;
}

Cp932Table::Cp932Table(const QString& name) : characters_(0x10000, 0), codes_(0x10000, 0) {
    const QByteArray converter = name.toLatin1();
    if (!QStringDecoder(converter.constData()).isValid() || !QStringEncoder(converter.constData()).isValid())
        return;
    valid_ = true;
    QHash<char16_t, std::vector<quint16>> codesOf;
    CodeReader reader(converter);
    auto take = [&](quint16 code, const QByteArray& bytes) {
        if (const char16_t c = reader.read(bytes)) {
            characters_[code] = c;
            codesOf[c].push_back(code);
        }
    };
    for (int b = 0x80; b <= 0xFF; ++b)
        if (!isLeadByte(static_cast<unsigned char>(b)))
            take(quint16(b), QByteArray(1, char(b)));
    for (const auto& single : kWindowsSingles) {
        if (characters_[single.byte] == 0) {
            characters_[single.byte] = single.character;
            codesOf[single.character].push_back(single.byte);
        }
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrailByte(static_cast<unsigned char>(trail)))
                continue;
            const char pair[2] = {char(lead), char(trail)};
            take(quint16(lead << 8 | trail), QByteArray(pair, 2));
        }
    }
    for (auto it = codesOf.cbegin(); it != codesOf.cend(); ++it) {
        const std::vector<quint16>& codes = it.value();
        quint16 preferred = codes.front();
        if (codes.size() > 1) {
            // The code the converter writes is the one Windows writes.
            QStringEncoder enc(converter.constData(), QStringEncoder::Flag::Stateless);
            const QByteArray written = enc.encode(QString(QChar(it.key())));
            const quint16 code = enc.hasError() ? 0 : codeOf(written);
            if (std::find(codes.begin(), codes.end(), code) != codes.end())
                preferred = code;
        }
        codes_[it.key()] = preferred;
    }
    for (const auto& typed : kTypedLookAlikes)
        if (codes_[typed.character] == 0 && characters_[typed.code] != 0)
            codes_[typed.character] = typed.code;
}

#include "platform/Cp932Table.h"

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
        std::vector<quint16> codes = it.value();
        quint16 preferred = codes.front();
        if (codes.size() > 1) {
            // The code the converter writes is the one Windows writes.
            QStringEncoder enc(converter.constData(), QStringEncoder::Flag::Stateless);
            const QByteArray written = enc.encode(QString(QChar(it.key())));
            const quint16 code = enc.hasError() ? 0 : codeOf(written);
            if (std::find(codes.begin(), codes.end(), code) != codes.end())
                preferred = code;
            codes.erase(std::find(codes.begin(), codes.end(), preferred));
            std::array<quint16, kMaxAlternates> others{};
            for (std::size_t i = 0; i < codes.size() && i < others.size(); ++i) {
                others[i] = codes[i];
                alternateOf_.insert(codes[i], int(i) + 1);
            }
            alternates_.insert(it.key(), others);
        }
        codes_[it.key()] = preferred;
    }
}

quint16 Cp932Table::code(char16_t c, int alternate) const {
    if (alternate <= 0)
        return codes_[c];
    if (alternate > kMaxAlternates)
        return 0;
    const auto it = alternates_.constFind(c);
    return it == alternates_.cend() ? 0 : it.value()[std::size_t(alternate - 1)];
}

#include "monitor/KeypadLink.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"

#include <algorithm>

namespace {

struct LedEntry {
    std::uint8_t code;
    char ch;
};

// The characters of the drive's LED font; every other code shows a blank.
constexpr LedEntry kLedTable[] = {
    {0x01, '^'}, {0x04, '}'}, {0x06, '1'}, {0x07, '7'}, {0x08, '_'}, {0x0F, ']'}, {0x10, 'z'}, {0x14, '<'},
    {0x16, '>'}, {0x1C, 'v'}, {0x1E, 'j'}, {0x34, '@'}, {0x36, '?'}, {0x37, 'm'}, {0x38, 'l'}, {0x39, 'c'},
    {0x3D, 'g'}, {0x3E, 'u'}, {0x3F, '0'}, {0x40, '-'}, {0x4F, '3'}, {0x50, 'r'}, {0x54, 'n'}, {0x58, 'w'},
    {0x5B, '2'}, {0x5C, 'x'}, {0x5E, 'd'}, {0x66, '4'}, {0x67, 'q'}, {0x6D, '5'}, {0x6E, 'y'}, {0x6F, '9'},
    {0x71, 'f'}, {0x73, 'p'}, {0x74, 'k'}, {0x76, 'h'}, {0x77, 'a'}, {0x78, 't'}, {0x79, 'e'}, {0x7C, 'b'},
    {0x7D, '6'}, {0x7F, '8'}, {0x86, '!'}, {0x87, '*'}, {0x9C, 'V'}, {0x9E, 'J'}, {0xB7, 'M'}, {0xB8, 'L'},
    {0xB9, 'C'}, {0xBD, 'G'}, {0xBE, 'U'}, {0xBF, '='}, {0xCF, '#'}, {0xD0, 'R'}, {0xD4, 'N'}, {0xD8, 'W'},
    {0xDB, '+'}, {0xDC, 'X'}, {0xDE, 'D'}, {0xE6, '$'}, {0xE7, 'Q'}, {0xEC, 'S'}, {0xED, '%'}, {0xEE, 'Y'},
    {0xEF, ')'}, {0xF1, 'F'}, {0xF3, 'P'}, {0xF4, 'K'}, {0xF6, 'H'}, {0xF7, 'A'}, {0xF8, 'T'}, {0xF9, 'E'},
    {0xFC, 'B'}, {0xFD, '['}, {0xFF, '('},
};

// Letters the font has no table entry for but the program's own texts use.
constexpr LedEntry kLedExtras[] = {{0x5C, 'o'}, {0x10, 'i'}, {0x6D, 's'}};

constexpr char kDotted[] = "=!+#$%[*()";

struct LedMaps {
    std::array<QChar, 256> byCode;
    std::array<int, 128> byChar;
    LedMaps() {
        byCode.fill(QChar(u' '));
        byChar.fill(0);
        for (const LedEntry& e : kLedTable) {
            byCode[e.code] = QChar::fromLatin1(e.ch);
            byChar[std::size_t(e.ch)] = e.code;
        }
        for (const LedEntry& e : kLedExtras)
            byChar[std::size_t(e.ch)] = e.code;
    }
};

const LedMaps& ledMaps() {
    static const LedMaps maps;
    return maps;
}

// How long the panel waits for a reply that it cannot even ask for.
constexpr int kInverterTimeFactor = 2;

} // namespace

QChar LedChar(int code) {
    if (code < 0 || code > 255)
        return QChar(u' ');
    return ledMaps().byCode[std::size_t(code)];
}

int LedSegments(QChar c) {
    const char16_t u = c.unicode();
    return u < 128 ? ledMaps().byChar[u] : 0;
}

QChar DottedDigit(QChar digit) {
    if (digit < u'0' || digit > u'9')
        return digit;
    return QChar::fromLatin1(kDotted[digit.unicode() - u'0']);
}

QChar DigitOfDotted(QChar c) {
    for (int i = 0; i < 10; ++i)
        if (c == QChar::fromLatin1(kDotted[i]))
            return QChar(u'0' + i);
    return QChar();
}

void DecodeDisplayBlock(const DisplayBlock& d, KeypadDisplay& display) {
    auto chars = [&](int first) {
        QString s;
        s += LedChar(d[std::size_t(first + 1)]);
        s += LedChar(d[std::size_t(first)]);
        s += LedChar(d[std::size_t(first + 3)]);
        s += LedChar(d[std::size_t(first + 2)] & 0x7F); // the last digit never shows a point
        return s;
    };
    display.ledText = chars(0);
    display.blinkLedText = chars(4);
    display.lampBits = d[9];
    display.blinkLampBits = d[8];
}

namespace {
// The data bytes of a reply from byte `at` on; nothing when the reply is too short.
std::optional<DisplayBlock> blockAt(std::span<const std::uint8_t> reply, std::size_t at) {
    if (reply.size() < at + 10)
        return std::nullopt;
    DisplayBlock d{};
    std::copy_n(reply.begin() + std::ptrdiff_t(at), 10, d.begin());
    return d;
}
constexpr std::size_t kInverterDataAt = 4;
constexpr std::size_t kModbusDataAt = 3;
} // namespace

ExchangeOptions KeypadLink::options() const {
    ExchangeOptions o = link_.mainOptions();
    // The link icon follows as it does the main exchange's (busy, failed, idle after a quiet
    // spell): switched twice a pass, at the pace of the line, it would flicker faster than
    // anyone sees and cost more than the keypad itself.
    o.checkBlockReply = true;
    if (o.protocol == Protocol::Inverter) {
        o.replyTimeoutMs = kInverterTimeFactor * link_.replyTimeoutMs();
        o.expectedLength = kBlockReplyLength + (link_.settings().station().hasStationByte() ? 1 : 0);
    } else {
        o.expectedLength = kBlockReplyLength;
    }
    // The output drain keeps the link's own bound: a vanished adapter fails the read.
    return o;
}

FrameRequest KeypadLink::request(int index) const {
    const ProgramContext& context = link_.context();
    const QString comNo = context.store ? context.drive.definition(index).comNo.trimmed() : QString();
    FrameRequest r = link_.request(comNo, 'R');
    r.allowBlockRead = true;
    return r;
}

void KeypadLink::PanelTransact(int index, ReadDone done) {
    const ProgramContext& context = link_.context();
    if (!context.store || index < 0 || index > context.drive.lastIndex()) {
        link_.noteExchangeFailed(true);
        done(std::nullopt);
        return;
    }
    const ExchangeOptions o = options();
    const FrameRequest r = request(index);
    const std::size_t at = o.protocol == Protocol::Modbus
                               ? kModbusDataAt
                               : kInverterDataAt + (r.station.hasStationByte() ? 1 : 0);
    CommLink* link = &link_;
    link_.exchangeInBackground(r, o, [link, at, done = std::move(done)](const ExchangeResult& res) {
        link->noteExchangeFailed(res.error);
        done(res.error ? std::nullopt : blockAt(res.reply, at));
    });
}

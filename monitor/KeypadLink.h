#pragma once
// The keypad's read of the drive's display block: the LED character table, the decoders of
// the block's ten data bytes, and PanelTransact, which is the link's one exchange with the
// keypad's options (whole block, reply checked, twice the reply time in the maker's
// protocol). Needs no window.
#include "link/CommLink.h"

#include <QChar>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// ---- LED characters ------------------------------------------------------------------

// Number of items of the LED character table (codes 0..255 and six blank spares).
inline constexpr int kLedTableSize = 262;
// The character the display shows for segment code c (bit 0 segment a .. bit 6 segment g,
// bit 7 the decimal point); a blank for codes without a character and outside the table.
QChar LedChar(int code);
// The segment code of a display character: the inverse of the table, plus the few lower-case
// letters the program's own texts use ("coMe" needs an "o"). 0 (nothing lit) for others.
int LedSegments(QChar c);
// Dotted digit of a digit ("0" -> "=", "1" -> "!", ...); the character itself for others.
QChar DottedDigit(QChar digit);
// Digit of a dotted digit; a null QChar when c is none.
QChar DigitOfDotted(QChar c);

// ---- Display block ----------------------------------------------------------------------

// What the display shows: two images of four characters and their lamp bytes, one for each
// phase of the blink.
struct KeypadDisplay {
    QString ledText = QStringLiteral("    ");
    QString blinkLedText = QStringLiteral("    ");
    std::uint8_t lampBits = 0;
    std::uint8_t blinkLampBits = 0;
};

using DisplayBlock = std::array<std::uint8_t, 10>;

// Image 1 from d1 d0 d3 d2 (d2 without its point), image 2 from d5 d4 d7 d6, lamps d9 and d8.
void DecodeDisplayBlock(const DisplayBlock& d, KeypadDisplay& display);

// ---- The exchange -------------------------------------------------------------------------

class KeypadLink {
public:
    explicit KeypadLink(CommLink& link) : link_(link) {}

    // The keypad's options of the exchange for the current settings.
    ExchangeOptions options() const;
    // The request for parameter index, with the current station choice.
    FrameRequest request(int index) const;

    // What a display read ends with: the block's ten data bytes, nothing after a failure.
    using ReadDone = std::function<void(const std::optional<DisplayBlock>& block)>;
    // Reads the display block of the parameter `index` ("FC10") without waiting for the drive:
    // the request goes out at once and `done` follows from the event loop when the reply is in
    // or its time is up (at once on a port that offers nothing to watch), the outcome noted on
    // the link (lastExchangeFailed). Failure: time-out, wrong sum or CRC, no port. An index
    // outside the table sends nothing (the header row is never a parameter) and fails at once.
    void PanelTransact(int index, ReadDone done);

    CommLink& link() { return link_; }

private:
    CommLink& link_;
};

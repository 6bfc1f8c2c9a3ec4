#pragma once
// Windows' code page 932 as Windows reads and writes it, taken once from the system's
// converter code by code. The converter is not asked about text itself: it refuses, and
// our round trip would split, the codes the page holds twice for one character (NEC row 13,
// the NEC-selected and the IBM extensions), which Windows reads like any other.
#include <QHash>
#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

class Cp932Table {
public:
    // The table of the system's converter of that name, built on first use; null when the
    // system has no such converter.
    static const Cp932Table* forConverter(const QString& name);

    // The character of a code (a byte, or lead << 8 | trail); 0 when Windows has none.
    char16_t character(quint16 code) const { return characters_[code]; }
    // 0 for the code Windows writes for its character, 1 or 2 for the character's other codes.
    int alternate(quint16 code) const { return alternateOf_.value(code, 0); }
    // The code of a character (0 when the page has none): alternate 0 is the one Windows
    // writes; 1 and 2 the others, 0 when the character has no such code.
    quint16 code(char16_t c, int alternate = 0) const;

    static constexpr int kMaxAlternates = 2;

    static bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
    static bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

private:
    explicit Cp932Table(const QString& name);
    bool valid_ = false;
    std::vector<char16_t> characters_;
    std::vector<quint16> codes_;
    QHash<char16_t, std::array<quint16, kMaxAlternates>> alternates_;
    QHash<quint16, int> alternateOf_;
};

#pragma once
// Windows' code page 932 as Windows reads and writes it, taken once from the system's
// converter code by code. The converter is not asked about text itself: it refuses, and
// our round trip would split, the codes the page holds twice for one character (NEC row 13,
// the NEC-selected and the IBM extensions), which Windows reads like any other. Where the
// converter falls short of Windows (single bytes 80, A0, FD-FF; characters typed for a
// look-alike the page holds) the table says what Windows does.
#include <QString>
#include <QtGlobal>

#include <vector>

class Cp932Table {
public:
    // The table of the system's converter of that name, built on first use; null when the
    // system has no such converter.
    static const Cp932Table* forConverter(const QString& name);

    // The character of a code (a byte, or lead << 8 | trail); 0 when Windows has none.
    char16_t character(quint16 code) const { return characters_[code]; }
    // The code Windows writes for a character (for U+301C 〜 that of its look-alike ～,
    // 81 60); 0 when the page has none. A character the page holds twice reads alike from
    // either code: only the bytes a text was read from give the other back.
    quint16 code(char16_t c) const { return codes_[c]; }

    static bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
    static bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

private:
    explicit Cp932Table(const QString& name);
    bool valid_ = false;
    std::vector<char16_t> characters_;
    std::vector<quint16> codes_;
};

// The rule for a 32-bit parameter over MODBUS-RTU, which carries one register of it: when a
// register confirms a value, and which values a register write keeps.
#include "link/LowHalfRegister.h"

#include <gtest/gtest.h>

namespace {

TEST(LowHalfRegister, ARegisterConfirmsAValueWithTheSameLow16Bits) {
    const struct {
        std::uint32_t reg;
        std::int64_t value;
        bool agrees;
    } cases[] = {
        {34464, 100000, true},     // 100000 = 0x186A0
        {10240, 4000000000, true}, // 4000000000 = 0xEE6B2800
        {34465, 100000, false},
        {34464, 100000 + 65536, true}, // the high half is never seen
        {65531, -5, true},             // a signed value's two's complement
        {65531, 65531, true},
        {65530, -5, false},
        {0, 0, true},
        {0, 65536, true},
        {0, -65536, true},
        {1, 0, false},
        {0x1FFFF, -1, true}, // a reply wider than a register counts by its low 16 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(LowHalfRegister::agrees(c.reg, c.value), c.agrees) << c.reg << " " << c.value;
}

TEST(LowHalfRegister, AWriteKeepsWhatTheDrivesExtensionOfTheRegisterGivesBack) {
    const struct {
        std::int64_t value;
        bool isSigned;
        bool survives;
    } cases[] = {
        {0, false, true},     {65535, false, true},       {65536, false, false}, {100000, false, false},
        {-1, false, false},   {4000000000, false, false}, {0, true, true},       {32767, true, true},
        {32768, true, false}, {-32768, true, true},       {-32769, true, false}, {-5, true, true},
        {65531, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LowHalfRegister::survivesWrite(c.value, c.isSigned), c.survives)
            << c.value << (c.isSigned ? " signed" : " unsigned");
}

} // namespace

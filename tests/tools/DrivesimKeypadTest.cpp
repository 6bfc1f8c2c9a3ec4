// The simulated drive's keypad side: key codes under the FA10 handshake, and the display
// block that shows the output frequency.
#include "tools/drivesim/DriveModel.h"

#include <gtest/gtest.h>

namespace {

using Block = std::array<std::uint8_t, 10>;

class DrivesimKeypad : public testing::Test {
protected:
    DrivesimKeypad() {
        for (const char* n : {"FA01", "FA10", "FA11"})
            model.setParameter(QString::fromLatin1(n), 0);
    }
    void key(int code, bool handshake = true) {
        model.writeRegister(ComNoToRegister(u"FA10"), handshake ? 1 : 0);
        model.writeRegister(ComNoToRegister(u"FA11"), std::uint16_t(code));
        model.writeRegister(ComNoToRegister(u"FA10"), 0);
    }
    std::uint32_t freq() const { return model.parameter(QStringLiteral("FA01"))->raw; }

    DriveModel model;
};

TEST_F(DrivesimKeypad, KeyCodesActOnlyUnderTheHandshake) {
    key(0x01, false);
    key(0x04, false);
    EXPECT_FALSE(model.motorRunning());
    EXPECT_EQ(freq(), 0u);

    key(0x01);
    EXPECT_TRUE(model.motorRunning());
    key(0x04);
    key(0x04);
    key(0x104); // the release of a held UP changes nothing
    EXPECT_EQ(freq(), 2u);
    key(0x08);
    key(0x108);
    EXPECT_EQ(freq(), 1u);
    key(0x08);
    key(0x08); // never below zero
    EXPECT_EQ(freq(), 0u);
    key(0x02);
    EXPECT_FALSE(model.motorRunning());
}

TEST_F(DrivesimKeypad, DisplayShowsTheOutputFrequencyAndTheRunLamp) {
    model.write(ComNoToRegister(u"FA01"), 6000);
    // Stopped: " 0.00", monitor and PC lamps. Each image goes out as its 2nd, 1st, 4th, 3rd.
    EXPECT_EQ(model.displayBlock(), (Block{0xBF, 0x00, 0x3F, 0x3F, 0xBF, 0x00, 0x3F, 0x3F, 0x48, 0x48}));
    key(0x01);
    EXPECT_EQ(model.displayBlock(), (Block{0xBF, 0x7D, 0x3F, 0x3F, 0xBF, 0x7D, 0x3F, 0x3F, 0x49, 0x49}));
    // From 100 Hz on one decimal: "120.0".
    model.write(ComNoToRegister(u"FA01"), 12000);
    EXPECT_EQ(model.displayBlock(), (Block{0x5B, 0x06, 0x3F, 0xBF, 0x5B, 0x06, 0x3F, 0xBF, 0x49, 0x49}));
}

TEST(DrivesimKeypadWithoutFrequencyCommand, ShowsAFixedDisplay) {
    DriveModel model;
    model.setParameter(QStringLiteral("0000"), 0);
    EXPECT_EQ(model.displayBlock(), (Block{0xBF, 0x7D, 0x3F, 0x3F, 0xBF, 0x7D, 0x3F, 0x3F, 0x48, 0x48}));
}

} // namespace

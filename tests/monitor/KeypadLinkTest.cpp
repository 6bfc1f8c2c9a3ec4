// The keypad's display block read: requests, reply lengths and checks, time limits, decoding.
#include "support/KeypadFixture.h"

using namespace keypadtest;

namespace {

class IconView : public LinkView {
public:
    void setLinkIcon(LinkIcon icon) override { icons.push_back(icon); }
    void setDriveCommandEnabled(DriveCommand, bool) override {}
    std::vector<LinkIcon> icons;
};

class BlockRead : public KeypadFixture {
protected:
    void SetUp() override {
        KeypadFixture::SetUp();
        port.responder = nullptr; // scripted replies only
        link.setView(&iconView);
        QStringList messages = context.store->messages();
        messages[0] = QString();
        context.store->setMessages(messages);
    }
    void open() { ASSERT_EQ(link.OpenCommPort(), 0); }
    int fc10() const { return context.drive.indexOfComNo(QStringLiteral("FC10")); }
    // The fake line cannot be watched: the read ends before PanelTransact returns.
    void read(int index) {
        bool over = false;
        KeypadLink(link).PanelTransact(index, [&](const std::optional<DisplayBlock>& block) {
            if (block)
                DecodeDisplayBlock(*block, display);
            over = true;
        });
        EXPECT_TRUE(over);
    }
    void read() { read(fc10()); }
    // A read behind a failed one is preceded by a read of 0000 (the drive may still owe the
    // failed one's reply, which would look like its own): that read's reply.

    IconView iconView;
    KeypadDisplay display;
};

const Bytes kInverterReply = {0x2F, 0x52, 0xFC, 0x10, 0xBF, 0x7D, 0x3F, 0x3F,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x48};
const Bytes kModbusReply = {0xFB, 0x03, 0x0A, 0xBF, 0x7D, 0x3F, 0x3F, 0x00,
                            0x00, 0x00, 0x00, 0x00, 0x01, 0x3B, 0xAF};

TEST_F(BlockRead, MakersReplyDecodesToBothImagesAndTheirLamps) {
    open();
    port.queueReply(kInverterReply);
    read();
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x52, 0xFC, 0x10, 0x8D}));
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(display.ledText, QStringLiteral("6=00"));
    EXPECT_EQ(display.lampBits, 0x01);
    EXPECT_EQ(display.blinkLedText, QStringLiteral("    "));
    EXPECT_EQ(display.blinkLampBits, 0x00);
    // Reads back to back keep the icon busy; it goes idle after a quiet spell.
    port.queueReply(kInverterReply);
    read();
    EXPECT_EQ(iconView.icons, (std::vector<LinkIcon>{LinkIcon::Busy}));
    clock.advance(300);
    link.idleTimeout();
    EXPECT_EQ(iconView.icons, (std::vector<LinkIcon>{LinkIcon::Busy, LinkIcon::Idle}));
}

TEST_F(BlockRead, ModbusReplyDecodesTheSame) {
    link.updateSettings([&](LinkSettings& s) { s.protocol = 1; });
    open();
    port.queueReply(kModbusReply);
    read();
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0xFB, 0x03, 0xFC, 0x10, 0x00, 0x05, 0xA0, 0x06}));
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(display.ledText, QStringLiteral("6=00"));
    EXPECT_EQ(display.lampBits, 0x01);
}

namespace {
// The reply to the sync that goes before a read the drive may still owe an alike reply for (a
// garbled reply may have been another request's): the maker's read of "0000", a MODBUS read of
// two registers.
void queueSyncReply(FakeSerialPort& port, bool modbus, int station = -1) {
    Bytes b = modbus ? Bytes{0xFB, kModbusRead, 4, 0, 0, 0, 0} : Bytes{kInverterStart};
    if (modbus) {
        AppendCrc(b);
    } else {
        if (station >= 0)
            b.push_back(std::uint8_t(station));
        b.insert(b.end(), {'R', 0, 0, 0, 0});
        b.push_back(SumCheck(b, int(b.size()) - 1));
    }
    port.queueReply(b);
}
} // namespace

TEST_F(BlockRead, AWrongSumFailsAndKeepsTheDisplay) {
    open();
    port.queueReply(kInverterReply);
    read();
    Bytes bad = kInverterReply;
    bad[5] = 0x06; // "1" instead of "6"
    bad.back() += 1;
    port.queueReply(bad);
    read();
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_EQ(display.ledText, QStringLiteral("6=00"));
    EXPECT_EQ(iconView.icons.back(), LinkIcon::Failed);
    // The next good read clears the flag.
    queueSyncReply(port, false);
    port.queueReply(kInverterReply);
    read();
    EXPECT_FALSE(link.lastExchangeFailed());
}

TEST_F(BlockRead, AWrongCrcFailsAndTheNextReadKeepsTheFrameGap) {
    link.updateSettings([&](LinkSettings& s) { s.protocol = 1; });
    link.setFrameGap(6);
    open();
    Bytes bad = kModbusReply;
    bad.back() ^= 1;
    port.queueReply(bad, 10);
    const qint64 t0 = clock.now();
    read();
    EXPECT_TRUE(link.lastExchangeFailed());
    queueSyncReply(port, true);
    port.queueReply(kModbusReply);
    read();
    EXPECT_FALSE(link.lastExchangeFailed());
    ASSERT_EQ(port.writes.size(), 3u);
    EXPECT_GT(port.writes[1].atUs - t0 * 1000, (10 + 6) * 1000);
}

TEST_F(BlockRead, WithAStationByteTheReplyIs16Bytes) {
    link.updateSettings([&](LinkSettings& s) {
        s.appendNo = true;
        s.inverterNumber = 5;
    });
    open();
    port.queueReply(kInverterReply); // 15 bytes: one short
    read();
    EXPECT_EQ(port.writes.back().bytes, (Bytes{0x2F, 0x05, 0x52, 0xFC, 0x10, 0x92}));
    EXPECT_TRUE(link.lastExchangeFailed());

    Bytes withStation = kInverterReply;
    withStation.insert(withStation.begin() + 1, 0x05);
    withStation.back() = SumCheck(withStation, 14);
    queueSyncReply(port, false, 5);
    port.queueReply(withStation);
    read();
    EXPECT_FALSE(link.lastExchangeFailed());
    EXPECT_EQ(display.ledText, QStringLiteral("6=00"));
}

struct TimeoutCase {
    const char* name;
    int protocol;
    int min;
    int max;
};

class NoReply : public BlockRead, public testing::WithParamInterface<TimeoutCase> {};

TEST_P(NoReply, GivesUpAfterItsLimitWithoutAFrameGap) {
    link.updateSettings([&](LinkSettings& s) { s.protocol = GetParam().protocol; });
    link.setReplyTimeout(200);
    link.setFrameGap(50);
    open();
    port.queueNoReply();
    const qint64 t0 = clock.now();
    read();
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_GT(clock.now() - t0, GetParam().min);
    EXPECT_LE(clock.now() - t0, GetParam().max);
    EXPECT_FALSE(port.rtsOn());
}

INSTANTIATE_TEST_SUITE_P(Protocols, NoReply,
                         // On a line where the drive has not answered late: no late second.
                         testing::Values(TimeoutCase{"MakersWaitsTwiceTheReplyTime", 0, 400, 440},
                                         TimeoutCase{"ModbusWaitsTheReplyTime", 1, 200, 240}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlockRead, NoIndexSendsNothing) {
    open();
    read(-1);
    EXPECT_TRUE(link.lastExchangeFailed());
    EXPECT_TRUE(port.writes.empty());
    read(context.drive.lastIndex() + 1);
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(BlockRead, TheLastCharacterOfAnImageNeverShowsItsPoint) {
    DisplayBlock d{0x7F, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    DecodeDisplayBlock(d, display);
    EXPECT_EQ(display.ledText, QStringLiteral("88(8"));
    EXPECT_EQ(display.blinkLedText, QStringLiteral("(((8"));
}

// ---- LED characters -----------------------------------------------------------------------------

TEST(LedCharacters, EveryCharacterOfTheTableMapsBackToItsCode) {
    int shown = 0;
    for (int c = 0; c < 256; ++c) {
        const QChar ch = LedChar(c);
        if (ch == u' ')
            continue;
        ++shown;
        EXPECT_EQ(LedSegments(ch), c) << char(ch.toLatin1());
    }
    EXPECT_EQ(shown, 75);
    EXPECT_EQ(LedChar(256), u' ');
    EXPECT_EQ(LedChar(kLedTableSize), u' ');
    EXPECT_EQ(LedChar(-1), u' ');
}

TEST(LedCharacters, DottedDigitsAreTheDigitWithItsPoint) {
    for (int d = 0; d < 10; ++d) {
        const QChar digit(u'0' + d);
        const QChar dotted = DottedDigit(digit);
        EXPECT_EQ(LedSegments(dotted), LedSegments(digit) | 0x80) << d;
        EXPECT_EQ(DigitOfDotted(dotted), digit);
    }
    EXPECT_TRUE(DigitOfDotted(u'5').isNull());
    EXPECT_EQ(DottedDigit(u'a'), u'a');
}

TEST(LedCharacters, TheProgramsOwnTextsShow) {
    // "coMe": C, o, M with its point, E.
    EXPECT_EQ(LedSegments(u'c'), 0x39);
    EXPECT_EQ(LedSegments(u'o'), 0x5C);
    EXPECT_EQ(LedSegments(u'M'), 0xB7);
    EXPECT_EQ(LedSegments(u'e'), 0x79);
    EXPECT_EQ(LedSegments(u'f'), 0x71);
    EXPECT_EQ(LedSegments(u' '), 0);
    EXPECT_EQ(LedSegments(QChar(0x3042)), 0);
}

} // namespace

#pragma once
// The link on a fake port for the link's own tests: a little parameter table, a view that
// records the icon and the drive commands, and replies of both protocols.
#include "link/CommLink.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/TestProgram.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace linktest {

using Bytes = std::vector<std::uint8_t>;

class FakeView : public LinkView {
public:
    void setLinkIcon(LinkIcon icon) override { icons.push_back(icon); }
    void setDriveCommandEnabled(DriveCommand c, bool enabled) override { commands[c] = enabled; }
    std::vector<LinkIcon> icons;
    std::map<DriveCommand, bool> commands;
};

// Parameter indices of the little table the tests load.
enum { kP0000 = 0, kP0103 = 1, kPFC10 = 2, kPFB91 = 3, kP0001 = 4, kCount = 5 };

inline Bytes inverterReply(std::uint8_t letter, std::uint16_t comNo, std::uint32_t value, bool wide = false,
                           int station = -1) {
    Bytes b{kInverterStart};
    if (station >= 0)
        b.push_back(std::uint8_t(station));
    if (wide)
        b.push_back(kInverterLongMark);
    b.push_back(letter);
    b.push_back(std::uint8_t(comNo >> 8));
    b.push_back(std::uint8_t(comNo));
    for (int i = wide ? 3 : 1; i >= 0; --i)
        b.push_back(std::uint8_t(value >> (8 * i)));
    b.push_back(SumCheck(b, int(b.size()) - 1));
    return b;
}

inline Bytes modbusRead(std::uint8_t address, std::vector<std::uint16_t> regs) {
    Bytes b{address, kModbusRead, std::uint8_t(regs.size() * 2)};
    for (std::uint16_t r : regs) {
        b.push_back(std::uint8_t(r >> 8));
        b.push_back(std::uint8_t(r));
    }
    AppendCrc(b);
    return b;
}

class Link : public testing::Test {
protected:
    void SetUp() override {
        const char* rows[kCount][3] = {{"0000", "2", "0"},
                                       {"0103", "4", "0"},
                                       {"FC10", "2", "0"},
                                       {"FB91", "2", "0"},
                                       {"0001", "2", "-100"}};
        QStringList numbers;
        for (const auto& r : rows)
            numbers << QString::fromLatin1(r[0]);
        program.setParameters(numbers);
        for (int i = 0; i < kCount; ++i) {
            program.setPara(i, PD_Byte, QString::fromLatin1(rows[i][1]));
            program.setWork(i, UP_LValue, QString::fromLatin1(rows[i][2]));
        }
        program.store.setMessages({"KVR260X", "m1", "Usable serial port is not found.", "m3"});

        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
        link.setView(&view);
    }
    void open() { ASSERT_EQ(link.OpenCommPort(), 0); }
    void modbus(int station = -1) {
        link.updateSettings([&](LinkSettings& s) {
            s.protocol = 1;
            s.appendNo = station >= 0;
            s.inverterNumber = std::max(station, 0);
        });
    }
    std::uint32_t transact(int index, const char* kind = "R", const char* value = "") {
        return link.transactNoted(index, QString::fromLatin1(value), QString::fromLatin1(kind)).value;
    }

    ManualClock clock;
    FakeSerialPort port{clock};
    FakeView view;
    TestProgram program;
    ProgramContext& context = program.context;
    CommLink link{context, port, clock, installedAsker()};
};

} // namespace linktest

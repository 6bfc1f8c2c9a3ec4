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

#include <deque>
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

// A drive behind the fake port that answers as drives do: one request at a time and in order,
// `turnaroundMs` after it is free, later by the lateness given for that request (-1: never). A
// request that comes while the drive is late waits its turn. Registers hold `values`.
class InOrderDrive {
public:
    InOrderDrive(FakeSerialPort& port, ManualClock& clock) : clock_(clock) {
        port.responder = [this](const Bytes& request) { return answer(request); };
    }
    bool modbus = false;
    qint64 turnaroundMs = 2;
    std::deque<qint64> lateness; // per request, in order; when none is left, on time
    std::map<std::uint16_t, std::uint16_t> values;
    // Requests that came while the drive still had a reply to send: two on the line at once.
    int overlaps = 0;

private:
    std::vector<FakeSerialPort::Chunk> answer(const Bytes& rq) {
        if (clock_.now() < freeAt_)
            ++overlaps;
        qint64 late = 0;
        if (!lateness.empty()) {
            late = lateness.front();
            lateness.pop_front();
        }
        if (late < 0 || rq.size() < 5)
            return {};
        Bytes reply;
        if (modbus) {
            const std::uint16_t reg = std::uint16_t(rq[2] << 8 | rq[3]);
            if (rq[1] == kModbusWrite) {
                reply.assign(rq.begin(), rq.begin() + 6);
                AppendCrc(reply);
            } else {
                std::vector<std::uint16_t> regs;
                for (int i = 0; i < rq[5]; ++i)
                    regs.push_back(values[std::uint16_t(reg + i)]);
                reply = modbusRead(rq[0], regs);
            }
        } else {
            const bool wide = rq[1] == kInverterLongMark;
            const std::size_t at = wide ? 2 : 1;
            const std::uint16_t reg = std::uint16_t(rq[at + 1] << 8 | rq[at + 2]);
            if (rq[at] == 'R' && reg == 0xFC10) {
                reply = {kInverterStart, 'R', 0xFC, 0x10};
                for (int i = 0; i < 5; ++i) {
                    reply.push_back(std::uint8_t(values[std::uint16_t(reg + i)] >> 8));
                    reply.push_back(std::uint8_t(values[std::uint16_t(reg + i)]));
                }
                reply.push_back(SumCheck(reply, int(reply.size()) - 1));
            } else {
                reply = inverterReply(rq[at], reg, values[reg], wide);
            }
        }
        const qint64 at = std::max(clock_.now(), freeAt_) + turnaroundMs + late;
        freeAt_ = at;
        return {{reply, at - clock_.now()}};
    }
    ManualClock& clock_;
    qint64 freeAt_ = 0;
};

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
    // Long enough for every reply the drive may still owe to be given up.
    void forgetOwed() { clock.advance(61 * 1000); }
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

#pragma once
// A small drive type of our own for the simulated drive's tests (the shipped data may
// change under them), and the bridge that puts a simulated drive behind the fake port.
#include "support/FakeSerialPort.h"
#include "support/TempProgramFolder.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QByteArray>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace simtest {

// HXA1 / V100 / -0.75K: type code 12, capacity code 3. HXB3 and HXB4 share code 20 and are
// told apart by parameter 0F10. Parameter 0000 defaults to 600, the capacity makes it 500;
// 0002 takes 0000's default; 0001 is 16-bit signed (-50); 0103 and 0104 are 32-bit.
inline void writeSmallDriveData(TempProgramFolder& folder) {
    folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                     "[Type]\r\nHXA1=12\r\nHXB3=20\r\nHXB4=20\r\n"
                     "[Type_Custom]\r\nHXA1=112\r\n"
                     "[Type_Ident_20]\r\nIdent=0F10\r\nTyp_0=HXB3\r\nTyp_1=HXB4\r\n"
                     "[HXA1]\r\n-0.75K=3\r\n-1.5K=4\r\n"
                     "[HXA1(V700)]\r\n-0.75K=33\r\n"
                     "[HXB4]\r\n-0.75K=5\r\n");
    const QByteArray inv = "0000,0,600,Frequency,F00,Hz,2,0,0,4000,0,0,#,1,-,0\r\n"
                           "0001,0,-50,Bias,F01,%,2,1,0,100,0,-100,#,1,-,0\r\n"
                           "0002,1,0000,Reference,F02,Hz,2,0,0,4000,0,0,#,1,-,0\r\n"
                           "0103,0,100000,Position,F03,,4,0,0,2000000,0,0,#,1,-,0\r\n"
                           "0104,0,-2,Offset,F04,,4,1,0,100000,-1,0103,#,1,-,0\r\n"
                           "0998,0,1,Marker 1,F98,,2,0,0,9,0,0,#,1,-,0\r\n"
                           "0999,0,2,Marker 2,F99,,2,0,0,9,0,0,#,1,-,0\r\n"
                           "0F10,0,9,Model,M10,,2,0,0,9,0,0,#,1,-,0\r\n"
                           "FA10,0,0,Key flag,K10,,2,0,0,255,0,0,#,1,-,0\r\n"
                           "FA11,0,0,Key code,K11,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FB07,0,0,Type,I07,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FB05,0,0,Capacity,I05,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FB91,0,0,Access,I91,,2,0,0,999,0,0,#,1,-,0\r\n"
                           "FC10,0,0,Display,D10,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FE08,0,0,CPU,I08,,2,0,0,65535,0,0,#,1,-,0\r\n";
    for (const char* folderName : {"HXA1(V100)", "HXA1(V700)", "HXB4(V100)"}) {
        const QString f = QStringLiteral("dat/%1/").arg(QLatin1String(folderName));
        const QString type = QString::fromLatin1(folderName).left(4);
        folder.writeFile(f + type + QStringLiteral("(Eng).inv"), inv);
        folder.writeFile(f + type + QStringLiteral("-0.75K.cap"), "0000,Frequency,500\r\n");
    }
}

inline SimDriveIdentity hxa1(const char* cpu = "V100") {
    return {QStringLiteral("HXA1"), QString::fromLatin1(cpu), QStringLiteral("-0.75K"),
            QStringLiteral("Eng")};
}

inline SerialParity toSerialParity(int i) {
    return i == 0 ? SerialParity::None : i == 2 ? SerialParity::Odd : SerialParity::Even;
}

inline int parityIndex(SerialParity p) {
    return p == SerialParity::None ? 0 : p == SerialParity::Odd ? 2 : 1;
}

// The simulated drive answers every request written to the fake port while it is open on
// `path` (any path when empty), seeing the line settings the port was opened with.
inline void attachDrive(FakeSerialPort& port, DriveSimulator& drive, const QString& path = QString()) {
    port.responder = [&port, &drive, path](const FakeSerialPort::Bytes& request) {
        std::vector<FakeSerialPort::Chunk> out;
        if (!path.isEmpty() && port.path() != path)
            return out;
        SimLine line;
        if (!port.opens.empty()) {
            line.baud = port.opens.back().baud;
            line.parity = parityIndex(port.opens.back().parity);
        }
        for (SimReply& r : drive.respondToWrite(request, line))
            out.push_back({std::move(r.bytes), qint64((r.delay.count() + 999) / 1000)});
        return out;
    };
}

// Late replies to test at a reply time-out: none to five time-outs in quarters, either side of
// the second past the time-out that a reply is awaited, and seconds.
inline std::vector<int> latenessGrid(int timeoutMs) {
    std::vector<int> grid;
    for (int ms = 0; ms <= 5 * timeoutMs; ms += timeoutMs / 4)
        grid.push_back(ms);
    const int awaited = timeoutMs + 1000;
    grid.insert(grid.end(),
                {awaited - timeoutMs / 4, awaited + timeoutMs / 4, awaited + 3 * timeoutMs, 2500});
    return grid;
}

// The drive at 9,600 baud in `protocol`, a share `rate` of its replies `lateMs` late.
inline void makeLate(DriveSimulator& drive, SimProtocol protocol, double rate, int lateMs) {
    SimConfig c = drive.config();
    c.protocol = protocol;
    c.replyDelayMs = 16; // its reply starts well after the link's silent interval
    c.faults = {{SimFaultKind::Late, rate, lateMs}};
    drive.setConfig(c);
}

// Calls run(protocol, lateMs) with the drive made late for each protocol, share of late
// replies (5 % and 20 %) and lateness of the grid, the case traced.
template <class Run> void forEachLateDrive(DriveSimulator& drive, int timeoutMs, Run run) {
    for (const SimProtocol protocol : {SimProtocol::Inverter, SimProtocol::Modbus})
        for (const double rate : {0.05, 0.2})
            for (const int late : latenessGrid(timeoutMs)) {
                SCOPED_TRACE(testing::Message() << (protocol == SimProtocol::Modbus ? "MODBUS" : "maker's")
                                                << ", " << rate * 100 << " % late by " << late << " ms");
                makeLate(drive, protocol, rate, late);
                run(protocol, late);
            }
}

// The simulated drive behind the fake port as a drive answers: one request at a time and in
// order, each reply its delay after the drive is free (a request that comes while the drive
// is late waits its turn).
inline void attachInOrder(FakeSerialPort& port, ManualClock& clock, DriveSimulator& drive) {
    auto freeAt = std::make_shared<qint64>(0);
    port.responder = [&clock, &drive, freeAt](const FakeSerialPort::Bytes& request) {
        std::vector<FakeSerialPort::Chunk> out;
        for (SimReply& r : drive.respondToWrite(request)) {
            *freeAt = std::max(clock.now(), *freeAt) + std::max<qint64>(1, r.delay.count() / 1000);
            out.push_back({std::move(r.bytes), *freeAt - clock.now()});
        }
        return out;
    };
}

} // namespace simtest

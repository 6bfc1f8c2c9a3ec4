#pragma once
// A drive type of our own for the transfer tests, loaded into a data store as start-up
// does, and the simulated drive behind the link: in process on the fake port (fast, with
// replies that can be dropped or changed per parameter) or on a pseudo-terminal. Every
// request the link writes is recorded and decoded.
#include "core/DriveData.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "link/CommLink.h"
#include "link/CoreNotices.h"
#include "link/DriveChecks.h"
#include "link/TransferEngine.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"
#include "protocol/FrameCodec.h"
#include "support/FakeSerialPort.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/ScriptedPrompter.h"

#include "support/TempProgramFolder.h"
#include "support/TestProgram.h"
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"
#include "tools/drivesim/PtyDriveServer.h"
#include <algorithm>

#include <QSet>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace transfertest {

using Bytes = std::vector<std::uint8_t>;

// Indexes of the drive type below.
enum Index {
    kFreq = 0,    // 0000: 16-bit unsigned, Mul 100, "#.##"
    kBias = 1,    // 0001: 16-bit signed
    kRef = 2,     // 0002: default taken from 0000
    kPos = 3,     // 0103: 32-bit unsigned up to 4,000,000,000
    kOffset = 4,  // 0104: 32-bit signed
    kMonitor = 5, // 0200: lives in RAM only
    kLocked = 6,  // 0201: Flag "1"
    kBrake = 7,   // 0630
    kLast0 = 8,   // 0999: the last ordinary parameter
    kType = 9,    // FB07
    kCapa = 10,   // FB05
    kRev = 11,    // FB72
    kAccess = 12, // FB91
    kCpu = 13,    // FE08
    kCount = 14,
};

// HXA1 (code 12) with capacities -0.75K (3) and -1.5K (4); with CPU 700 and above it is
// code 112 and -0.75K is 33. HXB3 and HXB4 share code 20 and are told apart by 0F10.
inline void writeTransferDriveData(TempProgramFolder& folder, const QByteArray& info = QByteArray()) {
    folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                     "[Type]\r\nHXA1=12\r\nHXA9=12\r\nHXB3=20\r\nHXB4=20\r\n"
                     "[Type_Custom]\r\nHXA1=112\r\n"
                     "[Type_Ident_20]\r\nIdent=0F10\r\nTyp_0=HXB3\r\nTyp_1=HXB4\r\n"
                     "[HXA1]\r\n-0.75K=3\r\n-1.5K=4\r\n"
                     "[HXA1(V700)]\r\n-0.75K=33\r\n"
                     "[HXB4]\r\n-2022=5\r\n");
    const QByteArray inv = "0000,0,600,Frequency,F00,Hz,2,0,0,4000,0,0,#.##,100,-,0\r\n"
                           "0001,0,-50,Bias,F01,%,2,1,0,100,0,-100,#,1,-,0\r\n"
                           "0002,1,0000,Reference,F02,Hz,2,0,0,4000,0,0,#,1,-,0\r\n"
                           "0103,0,100000,Position,F103,,4,0,0,4000000000,0,0,#,1,-,0\r\n"
                           "0104,0,-2,Offset,F104,,4,1,0,100000,0,-100000,#,1,-,0\r\n"
                           "0200,0,7,Monitor,F200,,2,0,0,100,0,0,#,1,RAM,0\r\n"
                           "0201,0,3,Locked,F201,,2,0,0,100,0,0,#,1,-,1\r\n"
                           "0630,0,1,Brake,F630,,2,0,0,2,0,0,#,1,-,0\r\n"
                           "0999,0,2,Marker 2,F999,,2,0,0,9,0,0,#,1,-,0\r\n"
                           "FB07,0,0,Type,,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FB05,0,0,Capacity,,,2,0,0,65535,0,0,#,1,-,0\r\n"
                           "FB72,0,0,Revision,,,2,0,0,255,0,0,#,1,-,0\r\n"
                           "FB91,0,0,Access,,,2,0,0,999,0,0,#,1,-,0\r\n"
                           "FE08,0,0,CPU,,,2,0,0,999,0,0,#,1,-,0\r\n";
    for (const char* folderName : {"HXA1(V100)", "HXA1(V700)"}) {
        const QString f = QStringLiteral("dat/%1/").arg(QLatin1String(folderName));
        folder.writeFile(f + QStringLiteral("HXA1(Eng).inv"), inv);
        folder.writeFile(f + QStringLiteral("HXA1-0.75K.cap"), "0000,Frequency,500\r\n");
        folder.writeFile(f + QStringLiteral("Info.ini"), info);
    }
}

// A request as the link wrote it (no station byte).
struct Frame {
    char kind = 0; // 'R', 'W' or 'P'; MODBUS writes read as 'P'
    QString comNo;
    qint64 value = 0;
    bool operator==(const Frame&) const = default;
};

inline std::optional<Frame> decodeRequest(const Bytes& f, bool modbus) {
    Frame r;
    if (modbus) {
        if (f.size() != 8)
            return std::nullopt;
        r.kind = f[1] == 3 ? 'R' : f[1] == 6 ? 'P' : '?';
        r.comNo = QStringLiteral("%1").arg((f[2] << 8) | f[3], 4, 16, QLatin1Char('0')).toUpper();
        if (r.kind != 'R')
            r.value = (f[4] << 8) | f[5];
        return r;
    }
    if (f.size() < 5 || f[0] != kInverterStart)
        return std::nullopt;
    std::size_t at = 1;
    const bool wide = f[1] == kInverterLongMark;
    if (wide)
        ++at;
    r.kind = char(f[at]);
    r.comNo = QStringLiteral("%1").arg((f[at + 1] << 8) | f[at + 2], 4, 16, QLatin1Char('0')).toUpper();
    if (r.kind != 'R') {
        const int width = wide ? 4 : 2;
        std::uint32_t v = 0;
        for (int k = 0; k < width && at + 3 + std::size_t(k) < f.size(); ++k)
            v = (v << 8) | f[at + 3 + std::size_t(k)];
        r.value = v;
    }
    return r;
}

inline std::string frameText(const Frame& f) {
    return std::string(1, f.kind) + ' ' + f.comNo.toStdString() +
           (f.kind == 'R' ? "" : ' ' + std::to_string(f.value));
}

// A port that passes everything to another and records what was written.
class RecordingPort : public SerialPort {
public:
    explicit RecordingPort(SerialPort& inner) : inner_(inner) {}
    std::vector<Bytes> writes;
    SerialError open(const QString& p, int b, int d, SerialParity pa, SerialStopBits s) override {
        return inner_.open(p, b, d, pa, s);
    }
    SerialError probe(const QString& p) override { return inner_.probe(p); }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    QString path() const override { return inner_.path(); }
    void purgeOutput() override { inner_.purgeOutput(); }
    void purgeInput() override { inner_.purgeInput(); }
    void setRts(bool on) override { inner_.setRts(on); }
    int outputQueued() override { return inner_.outputQueued(); }
    int inputQueued() override { return inner_.inputQueued(); }
    int write(std::span<const std::uint8_t> data) override {
        writes.emplace_back(data.begin(), data.end());
        return inner_.write(data);
    }
    bool drain(int t) override { return inner_.drain(t); }
    int read(std::span<std::uint8_t> buf) override { return inner_.read(buf); }
    WaitResult waitReadable(int t) override { return inner_.waitReadable(t); }
    int pollHandle() const override { return inner_.pollHandle(); }

private:
    SerialPort& inner_;
};

// Puts the check of a changed reply right again (sum or CRC).
inline void reseal(Bytes& reply, bool modbus) {
    if (modbus) {
        reply.resize(reply.size() - 2);
        AppendCrc(reply);
    } else {
        reply.back() = SumCheck(reply, int(reply.size()) - 2);
    }
}

enum class Wire { Fake, Pty };

// Everything a transfer needs: program folder, store, options, simulated drive, link.
class TransferRig {
public:
    explicit TransferRig(SimProtocol protocol, Wire wire = Wire::Fake, const QByteArray& info = QByteArray())
        : protocol_(protocol), wire_(wire) {
        writeTransferDriveData(folder, info);
        context.paths.programFolder = folder.path();
        context.paths.settingsIni = folder.settingsIniPath();
        context.paths.catalogueIni = folder.filePath(QStringLiteral("dat/Inverter.ini"));
        context.language.suffix = QStringLiteral("Eng");
        context.drive.identity.typeName = QStringLiteral("HXA1");
        context.drive.identity.formName = QStringLiteral("-0.75K");
        context.drive.identity.cpuVersion = QStringLiteral("V100");
        context.drive.files.typeFolder = folder.filePath(QStringLiteral("dat/HXA1(V100)"));
        context.drive.files.capacityFolder = context.drive.files.typeFolder;
        context.drive.files.infoIniPath = context.drive.files.typeFolder + QStringLiteral("/Info.ini");
        program.setMessages(QStringLiteral("m"), 130);
        Asker& asker = installedAsker();
        loaded = LoadTypeTable(context, asker) && LoadCapacityTable(context, asker) &&
                 InitValueTable(context, asker);

        loaded = loaded &&
                 model.load(folder.path(), SimDriveIdentity{QStringLiteral("HXA1"), QStringLiteral("V100"),
                                                            QStringLiteral("-0.75K")});
        model.setParameter(QStringLiteral("0998"), 1);
        model.setParameter(QStringLiteral("FB72"), 7);
        SimConfig config;
        config.protocol = protocol;
        sim = std::make_unique<DriveSimulator>(model, config);

        if (wire == Wire::Fake) {
            fake = std::make_unique<FakeSerialPort>(clock);
            fake->responder = [this](const Bytes& request) { return respond(request); };
            recorder = std::make_unique<RecordingPort>(*fake);
            link = std::make_unique<CommLink>(context, *recorder, clock, installedAsker());
            link->setPortPathResolver([](const QString&) { return QStringLiteral("/dev/fake0"); });
        } else {
            server = std::make_unique<PtyDriveServer>(*sim);
            loaded = loaded && server->open() && server->start();
            termios = std::make_unique<TermiosSerialPort>();
            recorder = std::make_unique<RecordingPort>(*termios);
            link = std::make_unique<CommLink>(context, *recorder, systemClock(), installedAsker());
            link->setPortPathResolver([this](const QString&) { return server->slavePath(); });
        }
        link->setPortsFound({QStringLiteral("COM1")});
        link->updateSettings([&](LinkSettings& s) { s.protocol = modbus() ? 1 : 0; });
        link->setReplyTimeout(wire == Wire::Pty ? kLoadedReplyMs : 200);
    }
    ~TransferRig() {
        link.reset();
        if (server)
            server->stop();
    }

    bool modbus() const { return protocol_ == SimProtocol::Modbus; }
    // Replaces the drive type's Info.ini.
    void writeInfo(const QByteArray& text) {
        folder.writeFile(QStringLiteral("dat/HXA1(V100)/Info.ini"), text);
    }
    bool connect() { return link->ConnectDrive(); }

    // Every request written so far, decoded.
    std::vector<Frame> frames() const {
        std::vector<Frame> out;
        for (const Bytes& b : recorder->writes)
            if (auto f = decodeRequest(b, modbus()))
                out.push_back(*f);
        return out;
    }
    std::vector<std::string> frameTexts(std::size_t from = 0) const {
        std::vector<std::string> out;
        const auto all = frames();
        for (std::size_t i = from; i < all.size(); ++i)
            out.push_back(frameText(all[i]));
        return out;
    }
    std::size_t frameCount() const { return recorder->writes.size(); }
    // The writes among the frames from `from` on.
    std::vector<std::string> writesSince(std::size_t from) const {
        std::vector<std::string> out;
        const auto all = frames();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i].kind != 'R')
                out.push_back(frameText(all[i]));
        return out;
    }

    QString comNo(int index) const {
        return definitionText(context.drive.parameters[std::size_t(index)], PD_ComNo);
    }
    QString value(int index) const { return StoreCells::work(context, UP_Value, index); }
    void setValue(int index, const QString& v) { StoreCells::setWork(context, UP_Value, index, v); }
    QString flag(int index) const {
        return definitionText(context.drive.parameters[std::size_t(index)], PD_Flag);
    }
    void setChanged(int index, bool on) {
        StoreCells::setWork(context, UP_ChangeIndex, index, on ? QStringLiteral("1") : QStringLiteral("0"));
    }
    std::uint32_t driveRaw(int index) const { return model.parameter(comNo(index))->raw; }
    void setDrive(int index, std::int64_t v) {
        const auto p = model.parameter(comNo(index));
        model.setParameter(comNo(index), v, p->is32, p->isSigned);
    }
    // Every parameter's raw value in the drive, by number.
    std::map<QString, std::uint32_t> driveSnapshot() const {
        std::map<QString, std::uint32_t> out;
        for (int i = 0; i < kCount; ++i)
            out[comNo(i)] = driveRaw(i);
        return out;
    }

    // Fake port only: requests for these numbers go unanswered (each entry is used up by
    // one request when its count is positive; a count of 0 never runs out).
    std::map<QString, int> silent;
    // Fake port only, with driveTiming: the next reply for these numbers comes this much later.
    std::map<QString, qint64> lateOnce;
    // Fake port only: a reply may be changed before it arrives.
    std::function<void(const Frame&, Bytes&)> tamper;
    // Fake port only: replies arrive after the drive's own delay (a late fault's included),
    // counted from when the drive is free: it answers one request at a time, in order, so a
    // request that comes while it is late waits its turn. Off, each reply comes a millisecond
    // after its request.
    bool driveTiming = false;

    ScriptedPrompter prompter;
    TempProgramFolder folder;
    TestProgram program;
    ProgramContext& context = program.context;
    Options& options = program.options;
    ParameterStore& store = program.store;
    bool loaded = false;
    DriveModel model;
    std::unique_ptr<DriveSimulator> sim;
    ManualClock clock;
    std::unique_ptr<FakeSerialPort> fake;
    std::unique_ptr<PtyDriveServer> server;
    std::unique_ptr<TermiosSerialPort> termios;
    std::unique_ptr<RecordingPort> recorder;
    std::unique_ptr<CommLink> link;

private:
    std::vector<FakeSerialPort::Chunk> respond(const Bytes& request) {
        std::vector<FakeSerialPort::Chunk> out;
        const auto f = decodeRequest(request, modbus());
        if (f) {
            auto it = silent.find(f->comNo);
            if (it != silent.end()) {
                if (it->second > 0 && --it->second == 0)
                    silent.erase(it);
                return out;
            }
        }
        qint64 extraMs = 0;
        if (f)
            if (auto late = lateOnce.find(f->comNo); late != lateOnce.end()) {
                extraMs = late->second;
                lateOnce.erase(late);
            }
        for (SimReply& r : sim->respondToWrite(request)) {
            if (tamper && f)
                tamper(*f, r.bytes);
            r.delay += std::chrono::milliseconds(extraMs);
            qint64 delayMs = 1;
            if (driveTiming) {
                const qint64 at =
                    std::max(clock.now(), lineFreeAt_) + std::max<qint64>(1, qint64(r.delay.count() / 1000));
                lineFreeAt_ = at;
                delayMs = at - clock.now();
            }
            out.push_back({std::move(r.bytes), delayMs});
        }
        return out;
    }
    qint64 lineFreeAt_ = 0; // when the drive's last reply has arrived (driveTiming)

    SimProtocol protocol_;
    Wire wire_;
};

inline std::string protocolName(const testing::TestParamInfo<SimProtocol>& info) {
    return info.param == SimProtocol::Modbus ? "Modbus" : "Inverter";
}

// A connected rig in the maker's protocol, its frame count taken before the test's job.
class TransferRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
        start = rig.frameCount();
    }
    TransferRig rig{SimProtocol::Inverter};
    std::size_t start = 0;
};

} // namespace transfertest

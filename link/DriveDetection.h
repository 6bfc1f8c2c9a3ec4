#pragma once
// Finding the connected drive for the start-up form: which of COM1..COM7 open, on which of
// them and at which speed, parity and protocol a drive answers a read of "0000", then the
// drive's type, capacity and CPU version read and turned into positions of the form's lists.
//
// Every exchange is the link's own (CommLink::exchange) with the detection's options: a
// fixed 200 ms reply time, no station byte, the default MODBUS address, the link icon left
// alone, and the MODBUS silent interval of the speed being tried. Every wait is bounded, so a
// port without a drive costs the 36 frames of its 18 combinations and their time-outs. The
// port is left open with the settings found (or the last ones tried).
#include <QString>
#include <QStringList>
#include <cstdint>

class CommLink;
class StartupChoice;
struct ProgramContext;

class DriveDetection {
public:
    // Speed, parity and protocol (and the port count) after a search that found nothing.
    static constexpr int kNotFound = 99;
    // The reply time of every detection exchange.
    static constexpr int kReplyTimeMs = 200;
    // "Commport" when the settings hold none.
    static constexpr int kNoStoredPort = 256;
    // A drive reporting this type code on "FB05" keeps its capacity code in "FB58".
    static constexpr int kTypeCodeWithCapacityInFB58 = 65;
    // The ports looked at, in order.
    static const QStringList& candidatePorts();

    DriveDetection(CommLink& link, ProgramContext& context);

    // The whole detection as the start-up form runs it: lists the ports, searches, reads the
    // drive's identity, and ends with the form's selection (the positions found, or the first
    // entries). Takes the stored settings from the form and leaves the settings found in its
    // PortPos, SpeedIdx, ParityIdx and ProtocolIdx; marks it DetectionRan. Boxes: the form's
    // "no port" text when no port opens, its "no data" text naming a drive it does not list.
    void run(StartupChoice& form);

    // ---- Steps (public for tests) -----------------------------------------------------------
    // The candidate ports that can be opened now (each closed again); an open port is closed
    // first. Shows noPortText when there is none.
    int listSerialPorts(const QString& noPortText);
    // The stored port, then every port, each with the stored settings (the stored port only)
    // and the 18 combinations; true with PortPos and the settings of the drive that answered,
    // false with kNotFound in PortCount and the settings.
    bool detectDrive(int storedPort);
    // Opens ComboPort[portPos] with 8 data bits, 1 stop bit and the given list positions;
    // false (the port closed) on any failure, a position outside its table included.
    bool openPortAt(int portPos, int speedIdx, int parityIdx);
    // One exchange; sets the link's CommError and returns the value, 0 on failure. After a
    // failed probe the frame goes out without its first byte, once.
    std::uint32_t transact(const QString& comNo, const QString& valueText, bool modbus, char kind);
    // A read in the protocol found, as a signed 16-bit value; 0 when it fails.
    std::int16_t read(const QString& comNo, bool* ok = nullptr);
    // "Commport" of the settings, kNoStoredPort when missing or negative.
    int storedPort() const;

    // ---- State ------------------------------------------------------------------------------
    QStringList ComboPort; // names of the candidate ports that opened
    int PortCount = 0;
    int PortPos = 0;
    int SpeedIdx = 3, ParityIdx = 1, ProtocolIdx = 0;
    bool ProbeFailed = false;
    std::int16_t ReadTypeCode = 0, ReadFormCode = 0, ReadCpuValue = 0;
    bool IdentFound = false;
    QString IdentTypeName;
    // The MODBUS silent interval of the port's current speed.
    int frameGapMs() const { return frameGapMs_; }

private:
    // Opens and probes "0000" once, repeating a failed probe once (its outcome unused).
    bool tryCombination(int portPos, int speedIdx, int parityIdx, int protocolIdx);
    bool probe(bool modbus);
    // Reads the drive's identity into list positions; false when the drive was answered but
    // its capacity could not be named for a type code 0 (the first entries are taken then).
    bool identify(StartupChoice& form, int& typePos, int& capaPos, int& cpuPos);
    int identifyDriveType(StartupChoice& form, const QString& codeText);
    int readCpuIndex(StartupChoice& form, int typePos, const QString& comNo);
    int readCapacityIndex(StartupChoice& form, int typePos, const QString& comNo, int cpuPos);
    // Names what was read from the catalogue and says that the lists do not hold it.
    void warnUnlistedDrive(StartupChoice& form);
    void warn(const QString& text, bool letMessagesThrough);

    CommLink& link_;
    ProgramContext& context_;
    int frameGapMs_;
};

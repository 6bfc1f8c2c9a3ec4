#pragma once
// The identity of the drive the start-up search found, read over the line it answered on:
// the access value first (the drive answers its identity only after it), then its type, CPU
// version and capacity, turned into positions of the start-up form's lists. Only the drive
// the search settles on is read: the access value opens a drive for maintenance, and no other
// drive on the PC's ports may get it.
#include "link/DriveDetection.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>

class CommLink;
class StartupChoice;

// What the identity reads found.
struct FoundIdentity {
    bool opened = false; // the port opened with the settings found
    // The answers named the drive; false for a type code 0 whose capacity code is not the one
    // that moves the capacity to "FB58" (the form's first entries are taken then, without a box).
    bool named = false;
    bool lastReadFailed = false; // how the last read ended, for the link to note
    int typePos = -1, capacityPos = -1, cpuPos = -1;
    QString typeName; // the form's entry at typePos once named, for the search's window
    // What the drive answered, to name a drive the lists lack.
    std::int16_t typeCode = 0, capacityCode = 0, cpuValue = 0;
    std::optional<QString> identifiedType; // named by the type's identifying parameter

    bool listed() const { return typePos >= 0 && capacityPos >= 0 && cpuPos >= 0; }
};

class FoundDriveReader {
public:
    // A drive that reports this type code on "FB05" keeps its capacity code in "FB58".
    static constexpr int kTypeCodeWithCapacityInFB58 = 65;

    // Reads over `line` with the form's lists and the catalogue at `catalogueIni`, each reply
    // waited for `replyTimeMs`. Once `stop` is set, the exchanges left end unsent, as failed.
    FoundDriveReader(CommLink& line, const StartupChoice& form, QString catalogueIni, int replyTimeMs,
                     const std::atomic<bool>& stop);

    // Opens `port` with the settings found (8 data bits, 1 stop bit), writes the access value
    // (a refusal is no reason to stop) and reads the identity; the port is left open.
    FoundIdentity read(const QString& port, const SearchTry& settings);

private:
    // One exchange; notes its outcome on the line and returns the value, 0 on failure.
    std::uint32_t exchange(const QString& comNo, char kind, std::int64_t value = 0);
    // A read as a signed 16-bit value; 0 when it fails.
    std::int16_t readValue(const QString& comNo, bool* ok = nullptr);
    // The list positions of the drive's answers; false when it was not named (FoundIdentity::named).
    bool identify(FoundIdentity& found);
    // The type's identity once "FB07" answered (its code in found.typeCode).
    bool identifyByTypeCode(FoundIdentity& found);
    // A drive whose "FB07" did not answer: known only by code 65 on "FB05".
    void identifyByCapacityCode(FoundIdentity& found);
    int typePosition(FoundIdentity& found, const QString& codeText);
    int cpuPosition(FoundIdentity& found, int typePos);
    int capacityPosition(FoundIdentity& found, int typePos, const QString& comNo, int cpuPos);

    CommLink& line_;
    const StartupChoice& form_;
    QString catalogueIni_;
    int replyTimeMs_;
    const std::atomic<bool>& stop_;
    bool modbus_ = false;
    int frameGapMs_ = 0;
    // The form's CPU versions and capacities as the look-ups refill them for a type.
    NamedCodes cpus_, capacities_;
};

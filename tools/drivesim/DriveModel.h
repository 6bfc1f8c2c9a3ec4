#pragma once
// The simulated drive's memory: its parameters with their wire values, taken from the
// drive-type and capacity files of a program folder, and the identity values the drive
// reports (type, capacity and CPU version codes of the drive catalogue).
#include "protocol/FrameCodec.h"

#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

// Which drive the simulator plays: names as the start-up form offers them.
struct SimDriveIdentity {
    QString typeName;     // "HXA1"
    QString cpuVersion;   // "V100" (a bare "100" is taken as "V100")
    QString capacityName; // "-0.75K", the leading "-" included
    QString language = QStringLiteral("Eng");
};

struct SimParameter {
    QString comNo;             // four characters as the drive-type file spells them
    std::uint16_t address = 0; // the number on the wire
    bool is32 = false;         // "Byte" 4
    bool isSigned = false;     // the lower limit is negative
    std::uint32_t raw = 0;     // the value as the drive holds it (16-bit values masked)

    // raw as a number: negative only for a signed parameter.
    std::int64_t value() const {
        if (!isSigned)
            return raw;
        return is32 ? std::int64_t(std::int32_t(raw)) : std::int64_t(std::int16_t(raw));
    }
};

// A change of the drive's status at a moment after the simulation starts: a trip (value =
// trip code) or alarm bits (value = bits set in the alarm word).
struct SimStatusEvent {
    enum class Kind { Alarm, Trip };
    Kind kind = Kind::Trip;
    std::uint32_t value = 1;
    std::chrono::milliseconds after{0};
};

// Parses "<ms>[:<value>]"; the value defaults to trip code 1 or alarm bit 2 (overload pre-alarm).
std::optional<SimStatusEvent> parseSimStatusEvent(SimStatusEvent::Kind kind, const QString& text,
                                                  QString* error = nullptr);

// The CPU version's number: "V100" and "100" both give 100; 0 when there is none.
int cpuNumberOf(const QString& cpuVersion);

class DriveModel {
public:
    // Loads <programFolder>/dat/<type>(<cpu>)/<type>(<language>).inv and
    // <type><capacity>.cap there, and the identity codes from dat/Inverter.ini.
    // False with a reason when the drive-type file cannot be read.
    bool load(const QString& programFolder, const SimDriveIdentity& id, QString* error = nullptr);

    // Adds or replaces a parameter (tests build small drives this way).
    void setParameter(const QString& comNo, std::int64_t value, bool is32 = false, bool isSigned = false);

    std::size_t parameterCount() const;
    std::optional<SimParameter> parameter(std::uint16_t address) const;
    std::optional<SimParameter> parameter(const QString& comNo) const {
        return parameter(ComNoToRegister(comNo));
    }

    // What a read of the parameter answers: the stored value, except for the drive's own
    // readings (output frequency, frequency command, output current and voltage, motor
    // speed), which follow the frequency command FA01 while the motor runs.
    // With a ramp time the output frequency does not jump to the command (or to 0 at a STOP
    // or a trip) but changes by 60 Hz in that time, and the readings follow it.
    std::optional<SimParameter> read(std::uint16_t address) const;

    // A trip stops the motor, sets the trip code FC90 and pushes it onto the trip history
    // FE10..FE13; an alarm sets bits of the alarm word FC91.
    void trip(std::uint32_t code);
    void raiseAlarm(std::uint32_t bits);
    // Schedules an event counted from now; applyDueEvents() (called before every answer)
    // carries out those whose time has come.
    void schedule(const SimStatusEvent& event);
    void applyDueEvents();

    // The stored value of a write: 16-bit parameters keep the low 16 bits. False when the
    // drive has no such parameter.
    bool write(std::uint16_t address, std::int64_t value);
    // A MODBUS register write carries 16 bits; a 32-bit parameter takes them sign- or
    // zero-extended as its lower limit says.
    bool writeRegister(std::uint16_t address, std::uint16_t value);

    // The keypad display block: two four-character images and two lamp bytes. A drive with
    // the frequency command FA01 shows its output frequency (FA01 while running, 0.00 when
    // stopped) with the RUN lamp; one without it shows a fixed "60.00".
    std::array<std::uint8_t, 10> displayBlock() const;
    // The keypad's RUN and STOP: key codes written to FA11 count only while FA10 is 1.
    bool motorRunning() const;
    // Time the output frequency takes to change by 60 Hz; 0 (the default) makes it jump.
    void setRampTime(std::chrono::milliseconds forSixtyHertz);
    // What the ramp and the events on cue go by: the steady clock, or a test's own time.
    using TimeSource = std::function<std::chrono::steady_clock::time_point()>;
    void setTimeSource(TimeSource now);

    int typeCode() const { return typeCode_; }
    int capacityCode() const { return capacityCode_; }
    int cpuNumber() const { return cpuNumber_; }

private:
    void setIdentity(int typeCode, int capacityCode, int cpuNumber);
    // A write to the key-code parameter acts as the key it names.
    void keyCodeWrittenLocked(std::uint16_t address);
    void tripLocked(std::uint32_t code);
    void raiseAlarmLocked(std::uint32_t bits);
    std::optional<std::uint32_t> liveValueLocked(std::uint16_t address) const;
    // The output frequency now (0.01 Hz), moved along the ramp since it was last taken. Called
    // before anything changes where it heads.
    std::int64_t outputFrequencyLocked() const;

    mutable std::mutex mutex_;
    std::map<std::uint16_t, SimParameter> params_;
    int typeCode_ = 99;
    int capacityCode_ = 0;
    int cpuNumber_ = 0;
    bool running_ = false;
    std::chrono::milliseconds ramp_{0};
    mutable double output_ = 0;
    mutable std::chrono::steady_clock::time_point outputAt_{};
    struct PendingEvent {
        std::chrono::steady_clock::time_point due;
        SimStatusEvent event;
    };
    std::vector<PendingEvent> pending_;
    TimeSource now_ = [] { return std::chrono::steady_clock::now(); };
};

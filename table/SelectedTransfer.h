#pragma once
// Reading and writing chosen parameters from the parameter table, one exchange per
// parameter, without the main window's whole-table transfer. The chosen parameters (the
// "targets" of a table command) are the shown rows that are highlighted, the cursor row, and
// every shown parameter marked with Select; the view and display commands use the same rule.
//
// Export sends the raw value the table holds, never the text it shows: a shown text may be
// rounded (a display format with fewer decimals, amperes and volts), and the drive must get
// the value the engineer sees in bold, not a neighbour of it.
//
// Needs no window; the drive is reached through DriveLink so that tests can put a scripted
// drive behind it.
#include "link/ExchangeResult.h"
#include "protocol/FrameCodec.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class CommLink;
class ParameterTable;
class UndoRedo;
struct ProgramContext;
enum class MsgId : int;

// ---- Targets of a table command --------------------------------------------------------------

namespace CommandTargets {

// Marks (OneSelectIndex "1") the parameters of the highlighted rows and of the cursor row.
// In a filtered view a highlighted row hidden by Blind is not marked; the cursor row always is.
void MarkTargetRows(ParameterTable& core);

// Marks the targets, then calls visit(row, index) for every shown row whose parameter is
// selected or marked, top to bottom; visit returns false to stop. Every mark is cleared
// afterwards, also after a stop, so none outlives the command.
void forEachTarget(ParameterTable& core, const std::function<bool(int row, int index)>& visit);

} // namespace CommandTargets

// ---- The drive ---------------------------------------------------------------------------------

class DriveLink {
public:
    virtual ~DriveLink() = default;
    // Reopens the port and probes the drive; false when it does not answer or a monitor run
    // holds the link.
    virtual bool ConnectDrive() = 0;
    // One request for parameter `index`: kind "R" reads, "W" and "P" write valueText (a
    // decimal integer). The reply's value is unsigned; error and failure say why it failed.
    virtual ExchangeResult transact(int index, const QString& valueText, const QString& kind) = 0;
    // After a failed exchange of parameter `index`: the drive has gone (driveHasGone).
    virtual bool driveGone(int /*index*/) { return false; }
    // A monitor run holds the link: the table's transfers wait for it.
    virtual bool monitorRunning() const { return false; }
    // The protocol the requests go in (a 32-bit value over MODBUS-RTU is cut to 16 bits).
    virtual Protocol protocol() const { return Protocol::Inverter; }
};

// The program's link; without one, nothing connects.
class ProgramDriveLink : public DriveLink {
public:
    explicit ProgramDriveLink(CommLink* link) : link_(link) {}
    bool ConnectDrive() override;
    ExchangeResult transact(int index, const QString& valueText, const QString& kind) override;
    bool driveGone(int index) override;
    bool monitorRunning() const override;
    Protocol protocol() const override;

private:
    CommLink* link_;
};

// ---- The commands ------------------------------------------------------------------------------

class SelectedTransfer {
public:
    SelectedTransfer(ParameterTable& core, DriveLink& link);
    // The drive the commands talk to from now on (not owned).
    void setLink(DriveLink& link) { link_ = &link; }

    // The undo history a committed export records its step in (not owned); without one the
    // value is stored unrecorded.
    void setUndo(UndoRedo& undo) { undo_ = &undo; }

    // F3: reads every target from the drive. Does nothing while its command is disabled or a
    // monitor run is in progress. Between the exchanges of F3 and F2 the windows' events go
    // through (the commands do not start again meanwhile), and a drive that has fallen silent
    // brings the whole transfers' Abort/Retry/Ignore box.
    void ImportSelected();
    // F2: "W" (to the drive's EEPROM) when the option "Export to EEPROM" is checked, else "P";
    // the value being typed is committed and written, or, with nothing typed, every target.
    void exportTargets();
    // Writes the stored value of every target. A parameter whose Flag is "1" is refused
    // (message CannotBeWritten) and the others are written.
    void ExportSelected(const QString& kind);
    // Writes the value typed into the cursor row and commits it. Every refusal before the
    // exchange leaves the typed value pending (or, for a text that is no value, the old text
    // back), so nothing is stored that the drive has not been asked to take.
    void ExportSelectedCommitting(const QString& kind);

    // A reply as parameter `index` reads it: 16 or 32 bits, signed when its low limit is below 0.
    static QString replyText(const ProgramContext& context, int index, std::uint32_t reply);

private:
    // The typing is cancelled and the drive connected; false (after message CannotConnect) when it
    // is not.
    bool startOnTargets();
    // The value cell of a row after its Value changed.
    void redisplay(int row, int index);
    enum class Next { Go, Retry, Abort };
    // After each exchange of a command over the targets: events through; a failure with the
    // drive gone asks Abort/Retry/Ignore.
    Next afterExchange(int index, bool failed);
    // Parameter `index` crosses the line as its low 16 bits only.
    bool cutToLowHalf(int index) const;
    // The parameters a command left as they were for `reason`, in one box after it.
    void showLeftOut(MsgId reason, const QStringList& lines);

    ParameterTable& core_;
    DriveLink* link_;
    UndoRedo* undo_ = nullptr;
};

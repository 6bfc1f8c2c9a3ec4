#pragma once
// The checks run on the connected drive before a transfer: whether it has been specially
// set up (such a drive takes part in no transfer), and whether its type, capacity and CPU
// version are those the user selected.
//
// The special-setup warning asks its host (the main window) whether it is due; the marks go
// to CommLink::markSpecialSetup and the identity's outcome is returned to the caller.
#include "link/DriveNames.h"
#include "link/MonitorRunLock.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class CommLink;
class Options;
struct ProgramContext;

// When the special-setup warning shows: once after it is armed (a start-up, a new parameter
// set), and only while the parameter table is the active window. Its owner (the main window)
// answers whether it is due and is told when it has shown.
class SpecialSetupWarningHost {
public:
    virtual ~SpecialSetupWarningHost() = default;
    virtual bool specialSetupWarningDue() const = 0;
    virtual void specialSetupWarningShown() = 0;
};

// The state that answers it.
struct DriveCheckState : SpecialSetupWarningHost {
    bool tableActive = false;  // the parameter table is the active window
    bool warningDue = false;   // the special-setup warning is armed
    bool warningShown = false; // ... and has been shown since

    bool specialSetupWarningDue() const override { return tableActive && warningDue && !warningShown; }
    void specialSetupWarningShown() override {
        warningDue = false;
        warningShown = true;
    }
};

// What the identity check found.
struct IdentityCheckResult {
    bool typeMatches = false;     // the drive's type is the selected one
    bool capacityMatches = false; // ... and so is its capacity
    bool cancelled = false;       // Cancel in the mismatch warning
};

class DriveChecks {
public:
    // cpuForms/cpuNumbers: the main window's CPU-version lists (not owned).
    // warningHost: the main window (not owned).
    DriveChecks(ProgramContext& context, const Options& options, CommLink& link,
                SpecialSetupWarningHost& warningHost, const QStringList* cpuForms = nullptr,
                const QStringList* cpuNumbers = nullptr);

    // Marks the link specially set up when the drive's "0998"/"0999" do not hold their normal values (for
    // drive types whose Info.ini asks for it); warns once while the warning is due and the
    // table is the active window. A call made while one runs returns at once.
    void CheckSpSetup();
    // The same check at a window's activation, which must never wait for the drive: a
    // connection answered moments ago (or a "no drive" kept since) is taken as it stands;
    // without one the probe runs in the background. The reads go in the background too and
    // their answer is applied as CheckSpSetup applies it when it comes, unless a newer
    // activation or a CheckSpSetup has come since (the newest check is the one that counts)
    // or a monitor run has taken the link.
    void CheckSpSetupOnActivation();
    // Reads the drive's identity and compares it with the selection. transferMode 2
    // (comparison) reports a mismatch without asking, so is never cancelled.
    IdentityCheckResult CheckDriveIdentity(int transferMode);

    // What OK in the identity warning does: opens the environment options window, modal.
    void setOptionsOpener(std::function<void()> open) { openOptions_ = std::move(open); }
    // The CPU version text of the last identity check (the set-up dialog's CpuVerLabel).
    const QString& cpuVersionText() const { return cpuVersionText_; }

    DriveNames& names() { return names_; }

private:
    // The activation's check in the background, from its connect to its last connect.
    void startActivationCheck(int activation);
    void readMarkerInBackground(int activation, int marker, QString text, bool marked);
    // Still the newest check, and the link free for it; runs a check wanted meanwhile when not.
    bool activationCurrent(int activation);
    // The marks of the reads: the special-setup flag, and the warning when it is due.
    // After a connect in the background: a program that was connected and is no longer says so.
    void sayIfDisconnected(bool connected);
    void applyMarks(QString text, bool marked);
    bool specialSetupChecked() const;
    QString readIdentityValue(const char* comNo);

    ProgramContext& context_;
    const Options& options_;
    CommLink& link_;
    SpecialSetupWarningHost& warningHost_;
    DriveNames names_;
    std::function<void()> openOptions_;
    QString cpuVersionText_;
    int activation_ = 0;            // counts the checks: an older one's answer is dropped
    bool activationWanted_ = false; // an activation came while an earlier one's read was on the line
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Writes the access value to "FB91" (request kind "P") when the drive type has that
// parameter; a drive type without it gets no write at all. False when nothing was written
// or the exchange failed.
bool WriteAccessValue(CommLink& link, const QString& value);

// Capacity names match when either contains the other; an empty name matches nothing.
bool capacityNamesMatch(const QString& selected, const QString& drive);

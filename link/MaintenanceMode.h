#pragma once
// Maintenance mode without its window: which level a password opens, the drive's access
// value written for it, the box that says what happened, and the state an unlock changes
// (the "Use Maintenance Mode" option, the rows in use, the data store's flags, the master's
// options tab). The unlock lasts until the program ends or New releases it.
#include <QString>

class CommLink;
class Options;
struct ProgramContext;

enum class MaintenanceLevel {
    None,             // no password of ours
    Service,          // unlocks; the access value is written when the drive is connected
    ServiceConfirmed, // unlocks only once the access value is written
    ServiceOffline,   // unlocks without a word to the drive
    Master,           // like Service, and the master's options besides
};

class MaintenanceMode {
public:
    enum class Outcome {
        Refused,    // empty or wrong password: PasswordIncorrect
        NotWritten, // the confirmed level could not write the access value: CannotConnect
        Unlocked,
    };

    MaintenanceMode(CommLink& link, Options& options, ProgramContext& context);

    // The level a password opens; passwords match exactly, case and blanks included. The
    // master's own word is passed in (the caption the dialog keeps for it).
    static MaintenanceLevel levelOf(const QString& password, const QString& masterWord);

    // The OK of the dialog: the password checked first (a wrong one never touches the drive),
    // then, for the levels that tell the drive, the link connected and the access value
    // written to "FB91"; one box; then the unlock. After an unlock the caller rebuilds the
    // parameter table (unlocked()).
    Outcome check(const QString& password, const QString& masterWord);

    // The access value reached the drive during the last check.
    bool accessValueWritten() const { return written_; }
    // The last check unlocked maintenance mode.
    bool unlocked() const { return unlocked_; }
    // The program the mode unlocks (its language file names the dialog's texts).
    const ProgramContext& context() const { return context_; }

private:
    bool writeAccessValue();
    void unlock(bool master);

    CommLink& link_;
    Options& options_;
    ProgramContext& context_;
    bool written_ = false;
    bool unlocked_ = false;
};

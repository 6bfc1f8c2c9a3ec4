#pragma once
// Start-up and shut-down of the program: the single-instance lock, the windows created in
// their fixed order with the start-up sequence inside the main window's creation, the
// normal start (start-up form, data store, drive-type tables) and the start with a
// parameter file as argument.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Clock;
class CommLink;
class DriveChecks;
class QApplication;
class SerialPort;
class TKVROption;
class TMain;
class TParameter;
class TRSset;
class TransferCommands;
class TransferHostHooks;

namespace StartUp {

// ProgramFolder and the paths built from it (language folder, settings, catalogue).
void setProgramFolder(const QString& folder);
// A first start lists the two shipped languages in the settings file. False, after one
// error box naming the file, when the settings file cannot be written.
bool seedLanguageSection();
// The folders last used, from the settings file (the program folder when missing).
void LoadSavedPaths();
// The same folders back into the settings file on the way out (nothing without a settings
// file; one that cannot be written never holds the program up).
void StoreSavedPaths();
void DetectNewWindows();
// The normal start's steps from the saved folders to the loaded drive type; stops at the
// first step that sets StartupAbort. Drive data whose working values cannot be computed
// sends the user back to the start-up form.
void RunStartupSequence(TMain& main);
void NormalStart(TMain& main);
// The start with a parameter file as argument: language and drive type from the file.
void FileArgumentStart(TMain& main, const QString& path, const QString& programFileFolder);

// The CPU versions of a drive type as the start-up form lists them: the folders of the
// data folder named "<type>(V<number>)", sorted, as names ("V110") and numbers ("110").
void cpuVersionsOf(const QString& dataFolder, const QString& typeName, QStringList& names,
                   QStringList& numbers);

struct Environment {
    QString currentFolder;     // the program folder of a normal start
    QString programFileFolder; // the program folder of a start with a file argument
    QString fileArgument;      // "" for a normal start
};

// The windows and the drive link of one run, created in the program's order; closing
// frees them in reverse order.
class Program {
public:
    // port and clock: null for the real serial port and the system clock.
    explicit Program(const Environment& env, SerialPort* port = nullptr, Clock* clock = nullptr);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Creates every window. False when the start-up was aborted: nothing is shown then and
    // the program ends.
    bool create();
    // The main window's first show (which shows the table).
    void showMain();

    TMain* main() const { return main_.get(); }
    CommLink* link() const { return link_.get(); }
    TRSset* rsset() const { return rsset_.get(); }
    TParameter* table() const { return table_.get(); }
    DriveChecks* driveChecks() const { return checks_.get(); }
    TransferCommands* transfers() const { return transfers_.get(); }

    // Replaces the start-up form (tests); called with the main window, runs modally.
    std::function<void(TMain&)> startupForm;

private:
    Environment env_;
    std::unique_ptr<SerialPort> ownPort_;
    std::unique_ptr<CommLink> link_;
    std::unique_ptr<DriveChecks> checks_;
    std::unique_ptr<TMain> main_;
    std::unique_ptr<TransferHostHooks> transferHost_;
    std::unique_ptr<TransferCommands> transfers_;
    std::unique_ptr<TRSset> rsset_;
    std::unique_ptr<TKVROption> option_;
    std::unique_ptr<TParameter> table_;
    SerialPort* port_ = nullptr;
    Clock* clock_ = nullptr;
};

// The whole run: the lock ("Already running." and 1 when another instance holds it), the
// windows, the message loop. args are the command-line arguments after the program name.
int run(QApplication& app, const QStringList& args);

} // namespace StartUp

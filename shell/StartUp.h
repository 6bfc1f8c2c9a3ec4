#pragma once
// Start-up and shut-down of the program: the single-instance lock, the windows created in
// their fixed order with the start-up sequence inside the main window's creation, the
// normal start (start-up form, data store, drive-type tables) and the start with a
// parameter file as argument.
#include "core/ConversionBases.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/DriveChecks.h"
#include "ui/PrompterAsker.h"
#include "ui/ResultWindow.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Clock;
class CommLink;
class QApplication;
class SerialPort;
class OptionsWindow;
class MainWindow;
class ParameterTableWindow;
class MonitorWindow;
class CommSetupDialog;
class TransferCommands;
class TransferHostHooks;
class QPrinter;
class PageSetupWindow;
class ParameterPrintWindow;
class MonitorPrintWindow;

namespace StartUp {

// The normal start's steps from the saved folders to the loaded drive type; stops at the
// first step that sets startupAborted. Drive data whose working values cannot be computed
// sends the user back to the start-up form.
void RunStartupSequence(MainWindow& main);
void NormalStart(MainWindow& main);
// The start with a parameter file as argument: language and drive type from the file.
void FileArgumentStart(MainWindow& main, const QString& path, const QString& programFileFolder);

struct Environment {
    QString currentFolder;     // the program folder of a normal start
    QString programFileFolder; // the program folder of a start with a file argument
    QString fileArgument;      // "" for a normal start
};

// The program context and options of one run, and its windows and drive link, created in
// the program's order; closing frees them in reverse order. Every object of the run is given
// the context and the options it works on by reference.
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

    ProgramContext& context() { return context_; }
    Options& options() { return options_; }
    MainWindow* main() const { return main_.get(); }
    CommLink* link() const { return link_.get(); }
    CommSetupDialog* rsset() const { return rsset_.get(); }
    ParameterTableWindow* table() const { return table_.get(); }
    DriveChecks* driveChecks() const { return checks_.get(); }
    TransferCommands* transfers() const { return transfers_.get(); }
    // The main window's lock while a monitor run owns the link.
    MonitorRunLock& monitorLock() { return monitorLock_; }
    MonitorWindow* monitor() const { return monitor_.get(); }
    PageSetupWindow* pageSetup() const { return pageSetup_.get(); }
    ParameterPrintWindow* printWindow() const { return printWindow_.get(); }
    MonitorPrintWindow* monitorPrint() const { return monitorPrint_.get(); }
    QPrinter* printer() const { return printer_.get(); }

    // Replaces the start-up form (tests); called with the main window, runs modally.
    std::function<void(MainWindow&)> startupForm;

private:
    // The program's printer, the page set-up and the two print windows.
    void createPrinting();

    Environment env_;
    ProgramContext context_;
    Options options_{context_};
    MonitorRunLock monitorLock_;
    ConversionBases conversionBases_; // the table's and the monitor's
    MainWindowLinks mainLinks_;
    std::unique_ptr<SerialPort> ownPort_;
    // The program's one asker: the link, the windows and what works through them ask the
    // user through it.
    PrompterAsker asker_;
    std::unique_ptr<CommLink> link_;
    std::unique_ptr<DriveChecks> checks_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<TransferHostHooks> transferHost_;
    std::unique_ptr<TransferCommands> transfers_;
    std::unique_ptr<CommSetupDialog> rsset_;
    std::unique_ptr<OptionsWindow> option_;
    std::unique_ptr<ParameterTableWindow> table_;
    std::unique_ptr<MonitorWindow> monitor_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<PageSetupWindow> pageSetup_;
    std::unique_ptr<ParameterPrintWindow> printWindow_;
    std::unique_ptr<MonitorPrintWindow> monitorPrint_;
    SerialPort* port_ = nullptr;
    Clock* clock_ = nullptr;
};

// The whole run: the lock ("Already running." and 1 when another instance holds it), the
// windows, the message loop. args are the command-line arguments after the program name.
int run(QApplication& app, const QStringList& args);

} // namespace StartUp

#pragma once
// The main window's "Inverter Info." command: connects to the drive, reads the inverter
// information into a result window of its own and shows it modally. The monitor's trip
// report after a run reads the same information and the trip data the same way.
#include <QDialog>

#include <functional>

class CommLink;
struct MonitorItemLists;
class DriveNames;
class Options;
class QWidget;
struct MainWindowLinks;
struct ProgramContext;

class InverterInfoCommand {
public:
    // None of the references is owned; links places the result window and gates its Print.
    InverterInfoCommand(CommLink& link, DriveNames& names, ProgramContext& context, const Options& options,
                        const MainWindowLinks& links);

    // A failed connection shows CannotConnect and reads nothing.
    void run(QWidget* owner);
    // After a monitor run that saw a trip: the inverter information and then the trip data of
    // every item in `lists` read into a result window of the trip information, shown
    // modally when `show` ("Display Data at Trip"). The run has left the link connected.
    void tripReport(const MonitorItemLists& lists, bool show, QWidget* owner);

    // Shows the result window and returns when it closes. Tests replace it.
    std::function<int(QDialog&)> showModal = [](QDialog& dialog) { return dialog.exec(); };

private:
    CommLink& link_;
    DriveNames& names_;
    ProgramContext& context_;
    const Options& options_;
    const MainWindowLinks& links_;
};

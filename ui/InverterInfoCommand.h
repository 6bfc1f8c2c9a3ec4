#pragma once
// The main window's "Inverter Info." command: connects to the drive, reads the inverter
// information into a result window of its own and shows it modally.
#include <QDialog>

#include <functional>

class CommLink;
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

    // Shows the result window and returns when it closes. Tests replace it.
    std::function<int(QDialog&)> showModal = [](QDialog& dialog) { return dialog.exec(); };

private:
    CommLink& link_;
    DriveNames& names_;
    ProgramContext& context_;
    const Options& options_;
    const MainWindowLinks& links_;
};

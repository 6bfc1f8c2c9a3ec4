#pragma once
// The main window's "Inverter Info." command: connects to the drive, reads the inverter
// information into a result window of its own and shows it modally.
#include <QDialog>

#include <functional>

class CommLink;
class DriveNames;
class QWidget;
struct ProgramContext;

class InverterInfoCommand {
public:
    InverterInfoCommand(CommLink& link, DriveNames& names, ProgramContext& context);

    // A failed connection shows message 3 and reads nothing.
    void run(QWidget* owner);

    // Shows the result window and returns when it closes. Tests replace it.
    std::function<int(QDialog&)> showModal = [](QDialog& dialog) { return dialog.exec(); };

private:
    CommLink& link_;
    DriveNames& names_;
    ProgramContext& context_;
};

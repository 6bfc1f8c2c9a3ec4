#pragma once
// The drivesim command line.
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <QStringList>

struct DrivesimOptions {
    QString dataFolder; // the program folder holding dat/
    DriveIdentity drive;
    SimConfig sim;
    QString linkPath;     // symbolic link made to the pseudo-terminal's slave side
    QString writeLogPath; // when set, every write carried out is appended there
    bool busyPoll = false;
    std::vector<SimStatusEvent> statusEvents; // trips and alarms on cue
    bool help = false;
};

// Parses the arguments after the program name. False with a reason on a bad or missing
// argument (--help alone is not an error).
bool parseDrivesimArgs(const QStringList& args, DrivesimOptions& out, QString* error);

QString drivesimUsage();

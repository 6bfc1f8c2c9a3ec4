#pragma once
// The drivesim command line.
#include "tools/drivesim/DriveModel.h"
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <QStringList>

struct DrivesimOptions {
    QString dataFolder; // the program folder holding dat/
    SimDriveIdentity drive;
    SimConfig sim;
    QString linkPath;     // symbolic link made to the pseudo-terminal's slave side
    QString writeLogPath; // when set, every write carried out is appended there
    QString lineLogPath;  // when set, every request and reply on the line is appended there
    bool busyPoll = false;
    int rampMs = 0;   // the output frequency's time for 60 Hz; 0: it jumps
    int command = -1; // the frequency command FA01 at start (0.01 Hz); -1: the drive type's default
    std::vector<SimStatusEvent> statusEvents; // trips and alarms on cue
    bool help = false;
};

// Parses the arguments after the program name. False with a reason on a bad or missing
// argument (--help alone is not an error).
bool parseDrivesimArgs(const QStringList& args, DrivesimOptions& out, QString* error);

QString drivesimUsage();

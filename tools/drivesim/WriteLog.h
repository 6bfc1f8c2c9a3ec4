#pragma once
// The simulated drive's record of the writes it carried out, as a text file: one line per
// write, "<number> <value> <local time>", e.g. "0000 321 2024-05-17T09:30:12.345". A reader
// sees each line as soon as the reply has been sent.
#include "tools/drivesim/DriveSimulator.h"
#include "tools/drivesim/LogFile.h"

#include <QString>

QString formatWriteLogLine(const SimWrite& write);

class WriteLogFile : private LogFile {
public:
    // Opens path for appending (made when missing). False with a reason on failure.
    bool open(const QString& path, QString* error = nullptr) {
        return LogFile::open(path, QStringLiteral("write log"), error);
    }
    void append(const SimWrite& write) { appendLine(formatWriteLogLine(write).toUtf8()); }
    using LogFile::close;
};

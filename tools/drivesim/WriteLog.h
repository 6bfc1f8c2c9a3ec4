#pragma once
// The simulated drive's record of the writes it carried out, as a text file: one line per
// write, "<number> <value> <local time>", e.g. "0000 321 2024-05-17T09:30:12.345". Each
// line goes out in one write(2), so a reader sees it as soon as the reply has been sent.
#include "tools/drivesim/DriveSimulator.h"

#include <QString>

QString formatWriteLogLine(const SimWrite& write);

class WriteLogFile {
public:
    WriteLogFile() = default;
    ~WriteLogFile();
    WriteLogFile(const WriteLogFile&) = delete;
    WriteLogFile& operator=(const WriteLogFile&) = delete;

    // Opens path for appending (made when missing). False with a reason on failure.
    bool open(const QString& path, QString* error = nullptr);
    // Appends one line; a failing disk does not stop the drive.
    void append(const SimWrite& write);
    void close();

private:
    int fd_ = -1;
};

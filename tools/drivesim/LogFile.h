#pragma once
// A text file the simulated drive appends its records to, one line at a time: each line goes
// out in one write(2), so a reader sees it at once and lines of two writers never mix.
#include <QByteArray>
#include <QString>

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens path for appending (made when missing). False with a reason naming `what` on failure.
    bool open(const QString& path, const QString& what, QString* error = nullptr);
    // Appends text and a line end; a failing disk does not stop the drive.
    void appendLine(const QByteArray& text);
    void close();

private:
    int fd_ = -1;
};

#pragma once
// The simulated drive's program for end-to-end tests: started with the given arguments and
// "--link <link>", and waited for until it serves there (or has ended), however long a loaded
// machine takes. One that still runs when the object goes is terminated, and killed if it does
// not end.
#include <QProcess>
#include <QString>
#include <QStringList>

class DrivesimProcess {
public:
    // forwardErrors: the program's error channel goes to the test's own; else stop() reads it.
    DrivesimProcess(const QStringList& arguments, const QString& link, bool forwardErrors = false);
    ~DrivesimProcess();
    DrivesimProcess(const DrivesimProcess&) = delete;
    DrivesimProcess& operator=(const DrivesimProcess&) = delete;

    // The built program; a test without it is skipped or fails, as it says.
    static QString program();
    bool running() const { return process.state() == QProcess::Running; }
    // Ends the program; its last words count what it served ("... 1 requests, 1 replies").
    QString stop();
    // Stops the program as a drive that has fallen silent (returns once the kernel says it
    // has stopped), and lets it go on.
    void pause();
    void resume();

    QProcess process;
};

// The arguments that serve the shipped HXA1 (V110, -2004) in the maker's protocol, station 0.
QStringList shippedHxa1Arguments(const QString& programFolder);

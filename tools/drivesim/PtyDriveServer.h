#pragma once
// Serves a DriveSimulator on the master side of a pseudo-terminal: whoever opens the slave
// side (the program, libmodbus, a terminal) talks to the simulated drive as over a cable.
// Runs in its own thread (start/stop) or on demand (serveFor) for single-threaded tests.
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <thread>

class PtyDriveServer {
public:
    explicit PtyDriveServer(DriveSimulator& simulator);
    ~PtyDriveServer();
    PtyDriveServer(const PtyDriveServer&) = delete;
    PtyDriveServer& operator=(const PtyDriveServer&) = delete;

    // Creates the pseudo-terminal pair (raw mode, no echo). False with a reason on failure.
    bool open(QString* error = nullptr);
    bool isOpen() const { return master_ >= 0; }
    // The device the client opens, e.g. "/dev/pts/7".
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Serves in a thread until stop(); false when not open or already running.
    bool start();
    // Ends the thread (a reply being delayed is abandoned) and waits for it. Idempotent.
    void stop();
    bool running() const { return thread_.joinable(); }

    // Without a thread: serves what arrives within timeoutMs (replies included, with their
    // delays). Returns the number of replies written.
    int serveFor(int timeoutMs);

    // Replies written to the line so far (a delayed one counts once it is out).
    long repliesSent() const { return sent_; }

    // Stops and closes both sides.
    void close();

private:
    // One wait for input; false when woken by stop().
    bool serveStep(int timeoutMs, int* replies);
    bool sendAfter(const SimReply& reply, std::chrono::steady_clock::time_point requestEnd);
    SimLine line() const;
    int silenceMs() const;

    DriveSimulator& simulator_;
    int master_ = -1;
    int slaveKeep_ = -1; // keeps the slave side open so the master never sees a hang-up
    int wake_ = -1;      // eventfd that stop() signals
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<long> sent_{0};
};

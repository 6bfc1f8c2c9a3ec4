#pragma once
// Serves a DriveSimulator on the master side of a pseudo-terminal: whoever opens the slave
// side (the program, libmodbus, a terminal) talks to the simulated drive as over a cable.
// Runs in its own thread (start/stop) or on demand (serveFor) for single-threaded tests.
#include "tools/drivesim/DriveSimulator.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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

    // With busy polling the serving thread never sleeps: it spins on non-blocking reads and
    // waits out reply delays by spinning too, as a drive's firmware polls its UART, so that
    // the drive's own wake-up is not part of a measured exchange. It costs a whole core while
    // serving. Takes effect at the next start().
    void setBusyPoll(bool on) { busyPoll_ = on; }
    bool busyPoll() const { return busyPoll_; }

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
    // The thread's loop with busy polling.
    void serveBusy();
    bool sendAfter(const SimReply& reply, std::chrono::steady_clock::time_point requestEnd);
    // While the line is logged: takes what comes while a reply is due, with its time, so that
    // the log shows when it came; it is served after the reply, as it would have been unread.
    void takeEarlyInput();
    std::vector<SimReply> feedEarlyInput(SimLine l);
    // Writes the whole reply; false when stop() came while the line would not take it.
    bool writeAll(const std::vector<std::uint8_t>& bytes);
    // writeAll, and the reply noted on the line when it is logged.
    bool sent(const SimReply& reply);
    SimLine line() const;
    int silenceMs() const;

    DriveSimulator& simulator_;
    int master_ = -1;
    int slaveKeep_ = -1; // keeps the slave side open so the master never sees a hang-up
    int wake_ = -1;      // eventfd that stop() signals
    QString slavePath_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> busyPoll_{false};
    bool spinning_ = false;  // the thread runs serveBusy()
    bool watchLine_ = false; // the simulator's line is logged
    struct Arrival {
        std::vector<std::uint8_t> bytes;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Arrival> early_; // read while a reply was due, not yet fed
    std::atomic<long> sent_{0};
};

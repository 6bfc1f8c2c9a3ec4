#pragma once
// The start-up search's workers and the caller's watch over them. Each port is searched on a
// worker of its own, over a line and link of its own, and hands back an answer of its own.
// The caller follows them (the progress handler), settles on the port a search port by port
// would find (the first in order that answered, once every port before it has ended without
// an answer), stops the others, and only then reads the drive found, on a worker too.
#include "link/DriveDetection.h"
#include "link/FoundDriveReader.h"

#include <QString>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

class CommLink;

// A port's line and the link over it, handed to a worker and back.
struct PortLine {
    SearchLine line;
    std::unique_ptr<CommLink> link;
};

// One port to search: its name, its tries in order and its line.
struct PortToSearch {
    QString name;
    std::vector<SearchTry> tries;
    std::unique_ptr<PortLine> line;
};

// Reads the drive found on `line` at `port` with `settings`; once `stop` is set, the exchanges
// left end unsent. Runs on a worker.
using FoundReader = std::function<FoundIdentity(CommLink& line, const QString& port,
                                                const SearchTry& settings, const std::atomic<bool>& stop)>;

// How a search ended.
struct SearchEnd {
    bool stopped = false;   // the user stopped it
    int found = -1;         // position in the search's order of the port found; -1: nothing answered
    SearchTry settings;     // the try that answered there
    FoundIdentity identity; // what the reader found there
};

class PortSearchRun {
public:
    // Side by side: every port at once. Otherwise one after another (their lines may be one):
    // the next starts once the one before has ended without an answer. Each reply is waited
    // for `replyTimeMs`.
    PortSearchRun(std::vector<PortToSearch> ports, bool sideBySide, int replyTimeMs);
    // Waits for any worker still running.
    ~PortSearchRun();
    PortSearchRun(const PortSearchRun&) = delete;
    PortSearchRun& operator=(const PortSearchRun&) = delete;

    // The drive found is read with `reader` before the search ends (none: it ends once a port
    // is settled on).
    void setFoundReader(FoundReader reader) { reader_ = std::move(reader); }
    // Called on the caller's thread about every kProgressStep until every worker is done;
    // false stops the search.
    void setProgressHandler(SearchProgressHandler progress) { progress_ = std::move(progress); }

    // Runs the search to its end; the found port's line is closed again.
    SearchEnd run();

private:
    // What a port's worker hands back: the position of the try that answered (-1: none, or
    // stopped) and the line.
    struct PortAnswer {
        int answeredTry = -1;
        std::unique_ptr<PortLine> line;
    };
    struct ReadAnswer {
        FoundIdentity identity;
        std::unique_ptr<PortLine> line;
    };
    // What the caller and the workers share, each holding it.
    struct Stops {
        std::atomic<bool> ports{false}; // the ports' searches end (a port settled on, or the user)
        std::atomic<bool> reads{false}; // the identity's exchanges end unsent (the user)
    };
    struct Port {
        QString name;
        std::vector<SearchTry> tries;
        std::unique_ptr<PortLine> line; // while no worker holds it
        std::shared_ptr<std::atomic<int>> current =
            std::make_shared<std::atomic<int>>(0); // the try under way
        bool started = false;
        std::future<PortAnswer> answer;
        std::optional<int> answeredTry; // once its worker is done

        bool searching() const { return started && !answeredTry; }
        bool endedWithoutAnswer() const { return answeredTry == -1; }
    };

    void startDue();
    void start(Port& port);
    // Takes the answers of the workers that are done.
    void collect();
    // Settles on the port found, or on none once every port ended without an answer.
    void settle();
    void startReading(size_t found);
    bool over() const;
    bool workersDone() const;
    // Shows the search to the progress handler; its false stops the search.
    void follow();
    SearchProgress progress() const;
    // Waits one progress step at most, for the worker whose end the search waits on first.
    void waitStep();

    std::vector<Port> ports_;
    bool sideBySide_;
    int replyTimeMs_;
    FoundReader reader_;
    SearchProgressHandler progress_;
    std::shared_ptr<Stops> stops_ = std::make_shared<Stops>();
    bool settled_ = false;
    std::future<ReadAnswer> reading_;
    std::optional<FoundIdentity> identity_; // read to its end
    SearchEnd end_;
};

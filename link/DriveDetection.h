#pragma once
// Finding the connected drive for the start-up form: which of COM1..COM7 open, on which of
// them and at which speed, parity and protocol a drive answers a read of "0000", then the
// drive's type, capacity and CPU version read and turned into positions of the form's lists.
//
// Every exchange is a link's (CommLink::exchange: the program's own, or one over a search line
// of a port's own) with the detection's options (detectionOptions): a 200 ms reply time, no
// station byte, the default MODBUS address, the link icon left alone, the MODBUS silent
// interval of the speed being tried, no late reply awaited and nothing owed (the bytes of a
// broken reply are cleared before the next probe). Given lines of their own (SearchLine), the ports are
// searched side by side, each on a worker over its own link (PortSearchRun); the port found is the one a
// search port by port would find (the stored port first, then the others in order; on each the first
// combination that answers), settled on once every port before it has ended without an
// answer. Seven ports without a drive then cost about one port's time: its 36 frames and their
// time-outs. Without such lines the ports are searched one after another, each on a worker
// over the link's own port. Either way only the drive found is written to: its access value
// and identity reads (FoundDriveReader) go over its port's line once it is the one found, on a
// worker, and the caller's progress handler goes on being called until every line is done
// with: the window that follows the search never waits for a frame.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class Clock;
class CommLink;
class SerialPort;
class StartupChoice;
struct FoundIdentity;
struct PortToSearch;
struct ProgramContext;
struct SearchEnd;

// A list of names with their codes or numbers, position for position.
struct NamedCodes {
    QStringList names, codes;
};

// A line of its own for one port's search: a closed port and the clock its waits run on.
struct SearchLine {
    std::shared_ptr<SerialPort> port;
    std::shared_ptr<Clock> clock;
};
using SearchLineFactory = std::function<SearchLine()>;

// The speed, parity and protocol (list positions) of one try.
struct SearchTry {
    int speedIdx = 3, parityIdx = 1, protocolIdx = 0;
    bool operator==(const SearchTry&) const = default;
};

// What the search is doing, for a window to show: per port, in the order searched,
// the try under way (or the one a drive answered), whether the port's search is over and
// whether a drive answered there, with the type of the drive found once read.
struct SearchProgress {
    struct Port {
        QString name;
        SearchTry current;
        bool over = false;
        bool answered = false;
        QString type; // the port found's, once read; empty when the form's lists do not hold it
    };
    std::vector<Port> ports;
};
// Called on the caller's thread while the search runs (every few tens of milliseconds);
// false stops the search.
using SearchProgressHandler = std::function<bool(const SearchProgress&)>;

// How the last search for the drive ended.
enum class SearchOutcome { NotRun, Found, NothingAnswered, Stopped, NoPort };

// What a detection found, for the start-up form to take: the port's position and settings
// (those of the drive that answered, else the defaults or, after a stop, the stored ones),
// how the search ended, and the positions of the drive in the form's lists.
struct DetectionResult {
    bool ran = true; // false: the stored communication settings stay
    SearchOutcome outcome = SearchOutcome::NotRun;
    QStringList portsSearched; // the ports that opened
    int port = 0;
    SearchTry settings;
    int typePos = 0, capacityPos = 0, cpuPos = 0;
};

class DriveDetection {
public:
    // The reply time of every detection exchange.
    static constexpr int kReplyTimeMs = 200;
    // "Commport" when the settings hold none.
    static constexpr int kNoStoredPort = 256;

    DriveDetection(CommLink& link, ProgramContext& context);

    // Lines for searching the ports side by side (null: one after another on the link's port).
    void setSearchLines(SearchLineFactory lines) { searchLines_ = std::move(lines); }
    // What follows the search and may stop it (null: nothing).
    void setProgressHandler(SearchProgressHandler handler) { progress_ = std::move(handler); }
    // The reply time of every exchange (kReplyTimeMs unless a test on a slow machine needs more).
    void setReplyTime(int ms) { replyTimeMs_ = ms; }

    // The whole detection as the start-up form runs it: lists the ports, searches them from the
    // stored port on with the form's stored settings, reads the identity of the drive found, and
    // returns what the form is to select (the positions found, or the first entries) with the
    // settings found; the port found is left open on the link. Looks the drive up in the form's
    // lists, leaving the form as it is. Boxes: the form's "no port" text when no port opens, its
    // "no data" text naming a drive it does not list.
    DetectionResult run(const StartupChoice& form);

    // ---- The search alone, without the drive's identity (the benchmark times it) ----------
    // The candidate ports that can be opened now (each closed again); an open port is closed
    // first. Shows noPortText when there is none.
    int listSerialPorts(const QString& noPortText);
    // Searches the ports listed, from `storedPort` on (kNoStoredPort: from the first); true when
    // a drive answered.
    bool detectDrive(int storedPort);

private:
    // The ports looked at, in order.
    static const QStringList& candidatePorts();
    // "Commport" of the settings, kNoStoredPort when missing or negative.
    int storedPort() const;
    // Searches the ports listed from `storedPort` on (the stored port first when it is one of
    // them, then the others in order), reading the drive found into the form's positions when
    // there is a form. SearchEnd::found is the port's position in the list.
    SearchEnd search(int storedPort, const StartupChoice* form);
    // The ports of `order` (positions in the list), each with its tries and its line.
    std::vector<PortToSearch> portsToSearch(const std::vector<int>& order, int storedPort);
    // The tries of one port in order: the stored settings first on the stored port.
    std::vector<SearchTry> triesFor(int port, int storedPort) const;
    // The line of the next port's search: one of its own, else the link's port lent.
    SearchLine nextLine();
    // Takes the drive found into the result: the port reopened on the link, and the positions
    // of the identity read, or the first entries (with a box naming a drive the lists lack).
    void selectFound(DetectionResult& result, const StartupChoice& form, const FoundIdentity& identity);
    // Names what was read from the catalogue and says that the lists do not hold it.
    void warnUnlistedDrive(const StartupChoice& form, const FoundIdentity& identity);
    void warn(const QString& text, bool letMessagesThrough);

    CommLink& link_;
    ProgramContext& context_;
    SearchLineFactory searchLines_;
    SearchProgressHandler progress_;
    int replyTimeMs_ = kReplyTimeMs;
    QStringList openPorts_; // names of the candidate ports that opened
    SearchTry stored_;      // the form's stored settings
};

#pragma once
// Finding the connected drive for the start-up form: which of COM1..COM7 open, on which of
// them and at which speed, parity and protocol a drive answers a read of "0000", then the
// drive's type, capacity and CPU version read and turned into positions of the form's lists.
//
// Every exchange is the link's own (CommLink::exchange) with the detection's options: a
// fixed 200 ms reply time, no station byte, the default MODBUS address, the link icon left
// alone, the MODBUS silent interval of the speed being tried, and no wait for a quiet line
// after a failed probe. Given lines of their own (SearchLine), the ports are searched side by
// side, one job per port, each over its own link; the answer is the one a search port by port
// would give (the stored port first, then the others in order; on each the first combination
// that answers). Seven ports without a drive then cost about one port's time: its 36 frames
// and their time-outs. Without such lines the ports are searched one after another, each on a
// worker over the link's own port. Either way the drive's identity is read on a worker over the
// line that answered too, as soon as it answers (the form can name what answered while the ports
// before it finish), and the caller's progress handler goes on being called until every line is
// done with: the window that follows the search never waits for a frame.
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class CommLink;
class SerialPort;
class StartupChoice;
struct ProgramContext;

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
// whether a drive answered there, with its type once read.
struct SearchProgress {
    struct Port {
        QString name;
        SearchTry current;
        bool over = false;
        bool answered = false;
        QString type; // empty until read, and when the form's lists do not hold it
    };
    std::vector<Port> ports;
};
// Called on the caller's thread while the search runs (every few tens of milliseconds);
// false stops the search.
using SearchProgressHandler = std::function<bool(const SearchProgress&)>;

// How the last search for the drive ended.
enum class SearchOutcome { NotRun, Found, NothingAnswered, Stopped, NoPort };

// What a detection found, for the start-up form to take: the port's position and settings
// (those of the drive that answered, else the defaults or, after a stop, what the search
// left), how the search ended, and the positions of the drive in the form's lists.
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
    // Speed, parity and protocol (and the port count) after a search that found nothing.
    static constexpr int kNotFound = 99;
    // The reply time of every detection exchange.
    static constexpr int kReplyTimeMs = 200;
    // "Commport" when the settings hold none.
    static constexpr int kNoStoredPort = 256;
    // A drive reporting this type code on "FB05" keeps its capacity code in "FB58".
    static constexpr int kTypeCodeWithCapacityInFB58 = 65;
    // The ports looked at, in order.
    static const QStringList& candidatePorts();

    DriveDetection(CommLink& link, ProgramContext& context);

    // Lines for searching the ports side by side (null: one after another on the link's port).
    void setSearchLines(SearchLineFactory lines) { searchLines = std::move(lines); }
    // What follows the search and may stop it (null: nothing).
    void setProgressHandler(SearchProgressHandler handler) { progress = std::move(handler); }
    // The reply time of every exchange (kReplyTimeMs unless a test on a slow machine needs more).
    void setReplyTime(int ms) { replyTimeMs_ = ms; }

    // The whole detection as the start-up form runs it: lists the ports, searches, reads the
    // drive's identity, and returns what the form is to select (the positions found, or the
    // first entries) with the settings found. Starts from the form's stored settings and looks
    // the drive up in its lists, leaving the form as it is. Boxes: the form's "no port" text
    // when no port opens, its "no data" text naming a drive it does not list.
    DetectionResult run(const StartupChoice& form);

    // ---- Steps (public for tests) -----------------------------------------------------------
    // The candidate ports that can be opened now (each closed again); an open port is closed
    // first. Shows noPortText when there is none.
    int listSerialPorts(const QString& noPortText);
    // The stored port, then every other port, each with the stored settings (the stored port
    // only) and the 18 combinations (there without the stored one); true with the port and the
    // settings of the drive that answered, false with kNotFound as port count and settings.
    // A stop through `progress` ends it false too, with Stopped set. `found` runs on a worker
    // over the line of the first port in order that has answered so far, at once, while the
    // ports before it go on (the progress handler still called meanwhile); what it returns is
    // shown as that port's type. A port before it that answers later has it run again there;
    // the run cut short is not shown. A stop while it runs ends the search as stopped.
    using FoundHandler = std::function<QString(CommLink& line)>;
    bool detectDrive(int storedPort, const FoundHandler& found = {});
    // The tries of one port in order: the stored settings first on the stored port.
    std::vector<SearchTry> triesFor(int port, int storedPort) const;
    // Opens ComboPort[portPos] with 8 data bits, 1 stop bit and the given list positions on the
    // line of the identity's exchanges (the link, or the found port's line while the identity is
    // read); false (the port closed) on any failure, a position outside its table included.
    bool openPortAt(int portPos, int speedIdx, int parityIdx);
    // One exchange on that line; notes its outcome there (lastExchangeFailed) and returns the
    // value, 0 on failure (and, after a stop, unsent).
    // After a failed probe the frame goes out without its first byte, once.
    std::uint32_t transact(const QString& comNo, const QString& valueText, bool modbus, char kind);
    // A read in the protocol found, as a signed 16-bit value; 0 when it fails.
    std::int16_t read(const QString& comNo, bool* ok = nullptr);
    // "Commport" of the settings, kNoStoredPort when missing or negative.
    int storedPort() const;

    // The candidate ports that opened at the last listing; kNotFound after a search that found
    // nothing.
    int portCount() const { return portCount_; }
    // The MODBUS silent interval of the port's current speed.
    int frameGapMs() const { return frameGapMs_; }

private:
    // ---- The search's state (run hands what it found back) ---------------------------------
    SearchLineFactory searchLines;
    SearchProgressHandler progress;
    QStringList openPorts_; // names of the candidate ports that opened
    int portCount_ = 0;
    int foundPort_ = 0;
    SearchTry settings_; // the stored settings, then those of the drive that answered
    bool probeFailed_ = false;
    bool stopped_ = false; // the user stopped the search
    // What the identity reads found (readIdentity), taken by run: whether the port opened,
    // whether the drive's answers named its capacity (false: the first entries, without a box),
    // and the positions in the form's lists.
    struct Identity {
        bool opened = false;
        bool named = false;
        bool lastReadFailed = false;
        int typePos = -1, capaPos = -1, cpuPos = -1;
    };
    Identity identity_;
    // The line the identity's exchanges go over; the link except while readIdentity runs on
    // the found port's line.
    CommLink* line_;
    // Set when the user stops the search while the identity is read: its exchanges end unsent.
    std::atomic<bool> identityStopped_{false};
    // What the drive answered for its type, capacity and CPU version.
    std::int16_t typeCode_ = 0, capacityCode_ = 0, cpuValue_ = 0;
    // The type named by its identifying parameter, when the catalogue has one.
    std::optional<QString> identifiedType_;
    // The form's CPU versions and capacities as the look-ups refill them for a type.
    NamedCodes cpus_, capacities_;

    // The line of the next port's search: one of its own, else the link's port lent.
    SearchLine nextLine();
    // The ports in `order`, each searched on a worker (side by side when they have lines of
    // their own, else one after another); the window followed meanwhile.
    bool searchPorts(const std::vector<int>& order, int storedPort, const FoundHandler& found);
    // Opens the found port on `line`, writes the access value and reads the identity into
    // identity_; returns the type to show beside the port (empty when the lists lack it).
    QString readIdentity(CommLink& line, const StartupChoice& form);
    // Reads the drive's identity into list positions; false when the drive was answered but
    // its capacity could not be named for a type code 0 (the first entries are taken then).
    bool identify(const StartupChoice& form, int& typePos, int& capaPos, int& cpuPos);
    int identifyDriveType(const StartupChoice& form, const QString& codeText);
    int readCpuIndex(const StartupChoice& form, int typePos, const QString& comNo);
    int readCapacityIndex(const StartupChoice& form, int typePos, const QString& comNo, int cpuPos);
    // Names what was read from the catalogue and says that the lists do not hold it.
    void warnUnlistedDrive(const StartupChoice& form);
    void warn(const QString& text, bool letMessagesThrough);

    CommLink& link_;
    ProgramContext& context_;
    int frameGapMs_;
    int replyTimeMs_ = kReplyTimeMs;
};

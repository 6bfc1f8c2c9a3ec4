#include "link/DriveDetection.h"

#include "core/Asker.h"
#include "core/DriveIdentity.h"
#include "core/ProgramContext.h"
#include "link/AccessValue.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/StartupChoice.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/PumpEvents.h"
#include "platform/SerialPort.h"
#include "platform/WaitCursor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

const QString kProbeNumber = QStringLiteral("0000");
const QString kTypeNumber = QStringLiteral("FB07");
const QString kCapacityNumber = QStringLiteral("FB05");
const QString kCpuNumber = QStringLiteral("FE08");
const QString kWideCapacityNumber = QStringLiteral("FB58");
// Reads of the type code before the drive is taken for one without it.
constexpr int kTypeReadTries = 3;
// Settings of a search that found nothing: 9,600 baud, even parity, the maker's protocol.
constexpr int kDefaultSpeed = 3, kDefaultParity = 1, kDefaultProtocol = 0;

// The outcome of a port's search while it runs.
constexpr int kSearching = -2;
// How often a waiting search reports its progress.
constexpr std::chrono::milliseconds kProgressStep{30};

ExchangeOptions detectionOptions(bool modbus, int frameGapMs, int replyTimeMs) {
    ExchangeOptions o;
    o.protocol = modbus ? Protocol::Modbus : Protocol::Inverter;
    o.replyTimeoutMs = replyTimeMs;
    o.frameGapMs = frameGapMs;
    o.icon = IconMode::None;
    o.searching = true;
    return o;
}

FrameRequest detectionRequest(const QString& comNo, char kind, std::int64_t value, bool omitFirstByte) {
    FrameRequest r;
    r.comNo = comNo;
    r.kind = kind;
    r.value = value;
    r.allowBlockRead = false;
    r.omitFirstByte = omitFirstByte;
    return r;
}

// One port's search over `link`: each try opens the port with its speed and parity and probes
// "0000"; a failed probe goes out again at once without its first byte, its outcome unused. A
// try whose open fails is skipped. Returns the position of the try that answered, -1 when
// none did or `stop` was set (checked before each frame; `next` is asked before each try). `current` follows
// the try under way.
int searchPort(CommLink& link, const QString& name, const std::vector<SearchTry>& tries, int replyTimeMs,
               std::atomic<int>& current, const std::atomic<bool>& stop, const std::function<bool()>& next) {
    for (int i = 0; i < int(tries.size()); ++i) {
        current = i;
        if (stop || (next && !next()))
            return -1;
        const SearchTry& t = tries[size_t(i)];
        if (link.openPort(name, t.speedIdx, t.parityIdx, 0, 1) != SerialError::None)
            continue;
        const ExchangeOptions o =
            detectionOptions(t.protocolIdx == 1, frameGapForBaudIndex(t.speedIdx), replyTimeMs);
        if (!link.exchange(detectionRequest(kProbeNumber, 'R', 0, false), o).error)
            return i;
        if (stop)
            return -1;
        link.exchange(detectionRequest(kProbeNumber, 'R', 0, true), o);
    }
    return -1;
}

// Position of text in a list of codes or names, -1 when absent.
int positionIn(const QStringList& list, const QString& text) {
    return StartupChoice::positionOf(list, text);
}

} // namespace

const QStringList& DriveDetection::candidatePorts() {
    static const QStringList ports = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                                      QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6"),
                                      QStringLiteral("COM7")};
    return ports;
}

DriveDetection::DriveDetection(CommLink& link, ProgramContext& context)
    : line_(&link), link_(link), context_(context), frameGapMs_(frameGapForBaudIndex(kDefaultSpeed)) {}

int DriveDetection::storedPort() const {
    const IniFile settings(context_.paths.settingsIni);
    const int stored =
        settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Commport"), kNoStoredPort);
    // A negative position would pass the range test below and name no port.
    return stored < 0 ? kNoStoredPort : stored;
}

void DriveDetection::warn(const QString& text, bool letMessagesThrough) {
    link_.asker().ask({text, context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    if (letMessagesThrough)
        PumpEvents();
}

int DriveDetection::listSerialPorts(const QString& noPortText) {
    openPorts_ = link_.findPorts(candidatePorts());
    portCount_ = int(openPorts_.size());
    if (portCount_ == 0)
        warn(noPortText, false);
    return portCount_;
}

bool DriveDetection::openPortAt(int portPos, int speedIdx, int parityIdx) {
    // The silent interval follows the speed before anything is sent at it.
    frameGapMs_ = frameGapForBaudIndex(speedIdx);
    if (portPos < 0 || portPos >= openPorts_.size()) {
        line_->closePort();
        return false;
    }
    return line_->openPort(openPorts_.at(portPos), speedIdx, parityIdx, 0, 1) == SerialError::None;
}

std::uint32_t DriveDetection::transact(const QString& comNo, const QString& valueText, bool modbus,
                                       char kind) {
    const FrameRequest r =
        detectionRequest(comNo, kind, kind == 'R' ? 0 : ParseDecimalPrefix(valueText), probeFailed_);
    probeFailed_ = false;
    if (identityStopped_) {
        line_->noteExchangeFailed(true);
        return 0;
    }
    // The drive has answered on this line: a late reply is never taken for another read's, and
    // a read behind one is repeated rather than taken for a value the drive lacks.
    ExchangeOptions o = detectionOptions(modbus, frameGapMs_, replyTimeMs_);
    o.searching = false;
    o.askAgain = kind == 'R';
    const ExchangeResult res = line_->exchange(r, o);
    line_->noteExchangeFailed(res.error);
    return res.value;
}

std::int16_t DriveDetection::read(const QString& comNo, bool* ok) {
    const std::uint32_t v = transact(comNo, QString(), settings_.protocolIdx == 1, 'R');
    if (ok)
        *ok = !line_->lastExchangeFailed();
    return std::int16_t(std::uint16_t(v & 0xFFFF));
}

std::vector<SearchTry> DriveDetection::triesFor(int port, int storedPort) const {
    std::vector<SearchTry> tries;
    const bool stored = port == storedPort;
    // A stored protocol the program does not know is not tried: a drive found with it would be
    // taken for no drive.
    if (stored && (settings_.protocolIdx == 0 || settings_.protocolIdx == 1))
        tries.push_back({settings_.speedIdx, settings_.parityIdx, settings_.protocolIdx});
    for (int i = 0; i < ConfigScan::kCombinationCount; ++i) {
        const ScanCombination c = ConfigScan::combination(i);
        const SearchTry t{c.baudIndex, c.parityIndex, c.protocol};
        // The stored settings are not tried twice.
        if (!stored || tries.empty() || !(t == tries.front()))
            tries.push_back(t);
    }
    return tries;
}

SearchLine DriveDetection::nextLine() {
    if (searchLines)
        return searchLines();
    // The link's own port and clock, lent to one port's search at a time.
    return {std::shared_ptr<SerialPort>(&link_.port(), [](SerialPort*) {}),
            std::shared_ptr<Clock>(&link_.clock(), [](Clock*) {})};
}

bool DriveDetection::searchPorts(const std::vector<int>& order, int storedPort, const FoundHandler& found) {
    struct Job {
        QString name;
        SearchLine line;
        std::unique_ptr<CommLink> link;
        std::vector<SearchTry> tries;
        std::atomic<int> current{0};
        std::atomic<int> outcome{kSearching};
        std::thread thread;
        QString type; // what `found` named here (the caller's thread only)
    };
    std::vector<std::unique_ptr<Job>> jobs;
    for (int p : order) {
        auto job = std::make_unique<Job>();
        job->name = openPorts_.at(p);
        job->line = nextLine();
        if (!job->line.clock)
            job->line.clock = std::shared_ptr<Clock>(&systemClock(), [](Clock*) {});
        job->link = std::make_unique<CommLink>(context_, *job->line.port, *job->line.clock, link_.asker());
        // Resolved here: the resolver may read the settings file, which the jobs leave alone.
        const QString path = link_.portPath(job->name);
        job->link->setPortPathResolver([path](const QString&) { return path; });
        job->tries = triesFor(p, storedPort);
        jobs.push_back(std::move(job));
    }
    // The main link's port may be one of those searched.
    link_.closePort();

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable jobEnded;
    int ends = 0; // lines done with so far (under the mutex): none is missed between two looks
    auto start = [replyTimeMs = replyTimeMs_, &stop, &mutex, &jobEnded, &ends](Job* job) {
        job->thread = std::thread([job, replyTimeMs, &stop, &mutex, &jobEnded, &ends] {
            const int answered =
                searchPort(*job->link, job->name, job->tries, replyTimeMs, job->current, stop, {});
            job->link->closePort();
            {
                const std::lock_guard<std::mutex> lock(mutex);
                job->outcome = answered;
                ++ends;
            }
            jobEnded.notify_all();
        });
    };
    // On the link's port the ports take turns: the next starts when the one before found nothing.
    const bool sideBySide = bool(searchLines);
    size_t started = 0;
    auto startDue = [&] {
        while (started < jobs.size() && !stop &&
               (sideBySide || started == 0 || jobs[started - 1]->outcome == -1)) {
            if (!sideBySide && started > 0)
                jobs[started - 1]->thread.join();
            start(jobs[started++].get());
        }
    };

    // The answer is that of the first port in order that answers, once every port before it
    // has ended without one. The drive's identity is read on the line of the first port that
    // has answered so far as soon as it answers, while the ports before it go on, so that the
    // window can say what answered there; should one of those answer after all, that read is
    // cut short and the identity read again there. The window is followed until every line is
    // done with.
    int winner = -1;
    bool nothingAnswered = false;
    std::thread identity;
    bool identityOver = false; // under the mutex
    QString identityType;      // what the read named, under the mutex
    int reading = -1;          // the job whose identity is being read
    int read = -1;             // the job whose identity was read to its end
    identityStopped_ = false;
    SearchProgress shown;
    int endsSeen = 0;
    for (;;) {
        startDue();
        bool readEnded = false;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            readEnded = identity.joinable() && identityOver;
        }
        if (readEnded) {
            identity.join();
            if (!identityStopped_) {
                read = reading;
                jobs[size_t(reading)]->type = identityType;
            }
            reading = -1;
            if (!stopped_)
                identityStopped_ = false;
        }
        // The first port in order that answered, and whether a port before it is still searching.
        int first = -1;
        bool earlierOpen = false;
        for (size_t k = 0; k < jobs.size() && first < 0; ++k) {
            const int outcome = jobs[k]->outcome;
            if (outcome >= 0)
                first = int(k);
            else if (outcome == kSearching)
                earlierOpen = true;
        }
        if (!stopped_) {
            nothingAnswered = first < 0 && !earlierOpen;
            if (first >= 0 && !earlierOpen && winner < 0) {
                winner = first;
                stop = true;
            }
            if (first >= 0 && reading > first) {
                identityStopped_ = true;
            } else if (found && first >= 0 && reading < 0 && read != first) {
                Job& job = *jobs[size_t(first)];
                if (job.thread.joinable())
                    job.thread.join(); // its line is closed: the identity opens it again
                const SearchTry& t = job.tries[size_t(int(job.outcome))];
                // No read runs now: the next one takes the port and settings from here.
                foundPort_ = order[size_t(first)];
                settings_ = t;
                reading = first;
                identityOver = false;
                identity =
                    std::thread([&found, &job, &identityOver, &identityType, &mutex, &jobEnded, &ends] {
                        const QString type = found(*job.link);
                        job.link->closePort();
                        {
                            const std::lock_guard<std::mutex> lock(mutex);
                            identityType = type;
                            identityOver = true;
                            ++ends;
                        }
                        jobEnded.notify_all();
                    });
            }
        }
        const bool searchOver = stopped_ || nothingAnswered || (winner >= 0 && (!found || read == winner));
        bool linesDone = !identity.joinable();
        for (size_t k = 0; k < started; ++k)
            linesDone = linesDone && jobs[k]->outcome != kSearching;
        if (searchOver && linesDone)
            break;
        if (progress) {
            shown.ports.clear();
            for (const auto& job : jobs) {
                const int outcome = job->outcome;
                SearchProgress::Port port;
                port.name = job->name;
                port.over = outcome != kSearching;
                port.answered = outcome >= 0;
                port.current = job->tries[size_t(port.answered ? outcome : int(job->current))];
                if (port.answered)
                    port.type = job->type;
                shown.ports.push_back(port);
            }
            if (!progress(shown) && !stopped_) {
                stopped_ = true;
                stop = true;
                identityStopped_ = true;
            }
        }
        std::unique_lock<std::mutex> lock(mutex);
        jobEnded.wait_for(lock, kProgressStep, [&] { return ends != endsSeen; });
        endsSeen = ends;
    }
    for (auto& job : jobs)
        if (job->thread.joinable())
            job->thread.join();
    identityStopped_ = false;
    if (winner < 0 || stopped_)
        return false;
    const Job& job = *jobs[size_t(winner)];
    foundPort_ = order[size_t(winner)];
    settings_ = job.tries[size_t(int(job.outcome))];
    return true;
}

bool DriveDetection::detectDrive(int storedPort, const FoundHandler& found) {
    stopped_ = false;
    std::vector<int> order;
    if (storedPort >= 0 && storedPort < kNoStoredPort && storedPort < portCount_)
        order.push_back(storedPort);
    else
        storedPort = -1;
    for (int port = 0; port < portCount_; ++port)
        if (port != storedPort)
            order.push_back(port);
    const bool answered = searchPorts(order, storedPort, found);
    if (!answered)
        portCount_ = settings_.speedIdx = settings_.parityIdx = settings_.protocolIdx = kNotFound;
    return answered;
}

int DriveDetection::identifyDriveType(const StartupChoice& form, const QString& codeText) {
    const IniFile catalogue(context_.paths.catalogueIni);
    const QString section = QStringLiteral("Type_Ident_") + codeText;
    const QString identNumber = catalogue.readString(section, QStringLiteral("Ident"), QStringLiteral("-"));
    if (identNumber != QLatin1String("-")) {
        const std::int16_t value = read(identNumber);
        const QString name = catalogue.readString(section, QStringLiteral("Typ_") + QString::number(value),
                                                  QStringLiteral("-"));
        if (name != QLatin1String("-")) {
            identifiedType_ = name;
            return positionIn(form.typeNames(), name);
        }
    }
    return positionIn(form.typeCodes(), codeText);
}

int DriveDetection::readCpuIndex(const StartupChoice& form, int typePos, const QString& comNo) {
    if (typePos >= 0)
        cpus_ = form.cpuListOf(StartupChoice::at(form.typeNames(), typePos));
    cpuValue_ = read(comNo);
    return positionIn(cpus_.codes, QString::number(cpuValue_));
}

int DriveDetection::readCapacityIndex(const StartupChoice& form, int typePos, const QString& comNo,
                                      int cpuPos) {
    if (typePos >= 0) {
        const QString type = StartupChoice::at(form.typeNames(), typePos);
        cpus_ = form.cpuListOf(type);
        capacities_ = form.capacityListOf(type, StartupChoice::at(cpus_.names, cpuPos));
    }
    capacityCode_ = read(comNo);
    return positionIn(capacities_.codes, QString::number(capacityCode_));
}

bool DriveDetection::identify(const StartupChoice& form, int& typePos, int& capaPos, int& cpuPos) {
    bool typeRead = false;
    for (int i = 0; i < kTypeReadTries && !typeRead; ++i)
        typeCode_ = read(kTypeNumber, &typeRead);
    const QString wideCode = QString::number(kTypeCodeWithCapacityInFB58);

    if (typeRead) {
        typePos = identifyDriveType(form, QString::number(typeCode_));
        cpuPos = readCpuIndex(form, typePos, kCpuNumber);
        capaPos = readCapacityIndex(form, typePos, kCapacityNumber, cpuPos);
        if (capaPos == -1 && typeCode_ == 0) {
            typeCode_ = read(kCapacityNumber);
            if (typeCode_ != kTypeCodeWithCapacityInFB58)
                return false;
            typePos = positionIn(form.typeCodes(), wideCode);
            // The CPU position must be that of this type's list, not of the one read before.
            cpuPos = readCpuIndex(form, typePos, kCpuNumber);
            capaPos = readCapacityIndex(form, typePos, kWideCapacityNumber, cpuPos);
        }
        return true;
    }

    typeCode_ = read(kCapacityNumber);
    typePos = positionIn(form.typeCodes(), QString::number(typeCode_));
    if (typeCode_ == kTypeCodeWithCapacityInFB58) {
        cpuPos = readCpuIndex(form, typePos, kCpuNumber);
        capaPos = readCapacityIndex(form, typePos, kWideCapacityNumber, cpuPos);
    } else {
        typePos = capaPos = cpuPos = -1;
    }
    return true;
}

void DriveDetection::warnUnlistedDrive(const StartupChoice& form) {
    ProgramContext& context = context_;
    DriveIdentity& identity = context.drive.identity;
    if (typeCode_ > 0) {
        const DriveIdentity named =
            namesOfCodes(context.paths.catalogueIni, identifiedType_, typeCode_, capacityCode_, cpuValue_);
        identity.typeName = named.typeName;
        identity.formName = named.formName;
        identity.cpuVersion = named.cpuVersion;
    }
    warn(form.texts().noData + u'\n' + identity.typeName + u'(' + identity.cpuVersion + u')' +
             identity.formName,
         true);
}

QString DriveDetection::readIdentity(CommLink& line, const StartupChoice& form) {
    line_ = &line;
    identity_ = {};
    probeFailed_ = false;
    identifiedType_.reset();
    typeCode_ = capacityCode_ = cpuValue_ = 0;
    // The look-ups start from the form's lists as they stand, whichever port was read before.
    cpus_ = {form.cpuVersions(), form.cpuNumbers()};
    capacities_ = {form.capacityNames(), form.capacityCodes()};
    if (!openPortAt(foundPort_, settings_.speedIdx, settings_.parityIdx))
        return {};
    identity_.opened = true;
    // The drive answers its identity only after the access value; a refusal is no reason to stop.
    transact(QString::fromLatin1(kDriveAccessNumber), driveAccessValueText(), settings_.protocolIdx == 1,
             'P');
    identity_.named = identify(form, identity_.typePos, identity_.capaPos, identity_.cpuPos);
    identity_.lastReadFailed = line.lastExchangeFailed();
    return identity_.named ? StartupChoice::at(form.typeNames(), identity_.typePos) : QString();
}

DetectionResult DriveDetection::run(const StartupChoice& form) {
    DetectionResult result;
    settings_ = form.commSettings();
    foundPort_ = 0;

    auto select = [&](int typePos, int capaPos, int cpuPos) {
        result.port = foundPort_;
        result.settings = settings_;
        result.typePos = typePos;
        result.capacityPos = capaPos;
        result.cpuPos = cpuPos;
        return result;
    };
    auto selectFirstWithDefaultSettings = [&] {
        settings_ = {kDefaultSpeed, kDefaultParity, kDefaultProtocol};
        return select(0, 0, 0);
    };

    const int ports = listSerialPorts(form.texts().noPort);
    result.portsSearched = openPorts_;
    if (ports == 0) {
        result.outcome = SearchOutcome::NoPort;
        return selectFirstWithDefaultSettings();
    }
    // Without a window following the search, the cursor says that the program is busy.
    std::optional<WaitCursor> busy;
    if (!progress)
        busy.emplace();
    identity_ = {};
    const bool answered = detectDrive(storedPort(), [&](CommLink& line) { return readIdentity(line, form); });
    line_ = &link_;
    if (!answered) {
        foundPort_ = 0;
        if (stopped_) {
            // The user chooses by hand: the stored settings stay as they are.
            result.ran = false;
            result.outcome = SearchOutcome::Stopped;
            return select(0, 0, 0);
        }
        result.outcome = SearchOutcome::NothingAnswered;
        return selectFirstWithDefaultSettings();
    }
    result.outcome = SearchOutcome::Found;
    // The port is left open on the link with the settings found, for the program's own connect.
    if (identity_.opened) {
        identity_.opened = openPortAt(foundPort_, settings_.speedIdx, settings_.parityIdx);
        link_.noteExchangeFailed(identity_.lastReadFailed);
    }
    if (!identity_.opened || !identity_.named)
        return select(0, 0, 0);
    const int typePos = identity_.typePos, capaPos = identity_.capaPos, cpuPos = identity_.cpuPos;
    if (typePos >= 0 && capaPos >= 0 && cpuPos >= 0)
        return select(typePos, capaPos, cpuPos);
    warnUnlistedDrive(form);
    return select(0, 0, 0);
}

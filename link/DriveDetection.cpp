#include "link/DriveDetection.h"

#include "core/Asker.h"
#include "core/DriveIdentity.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/ConfigScan.h"
#include "link/FoundDriveReader.h"
#include "link/PortSearch.h"
#include "link/StartupChoice.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/PumpEvents.h"
#include "platform/SerialPort.h"
#include "platform/WaitCursor.h"

#include <optional>

namespace {

// Settings of a search that found nothing: 9,600 baud, even parity, the maker's protocol.
constexpr SearchTry kFactorySettings{3, 1, 0};

DetectionResult& withFactorySettings(DetectionResult& result, SearchOutcome outcome) {
    result.outcome = outcome;
    result.settings = kFactorySettings;
    return result;
}

} // namespace

const QStringList& DriveDetection::candidatePorts() {
    static const QStringList ports = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                                      QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6"),
                                      QStringLiteral("COM7")};
    return ports;
}

DriveDetection::DriveDetection(CommLink& link, ProgramContext& context) : link_(link), context_(context) {}

int DriveDetection::storedPort() const {
    const IniFile settings(context_.paths.settingsIni);
    const int stored =
        settings.readInteger(QStringLiteral("Comms"), QStringLiteral("Commport"), kNoStoredPort);
    // A negative position would pass the range test of the search and name no port.
    return stored < 0 ? kNoStoredPort : stored;
}

void DriveDetection::warn(const QString& text, bool letMessagesThrough) {
    link_.asker().ask({text, context_.texts.caption, BoxIcon::Warning, BoxButtons::Ok});
    if (letMessagesThrough)
        PumpEvents();
}

int DriveDetection::listSerialPorts(const QString& noPortText) {
    openPorts_ = link_.findPorts(candidatePorts());
    if (openPorts_.isEmpty())
        warn(noPortText, false);
    return int(openPorts_.size());
}

std::vector<SearchTry> DriveDetection::triesFor(int port, int storedPort) const {
    std::vector<SearchTry> tries;
    const bool stored = port == storedPort;
    // A stored protocol the program does not know is not tried: a drive found with it would be
    // taken for no drive.
    if (stored && (stored_.protocolIdx == 0 || stored_.protocolIdx == 1))
        tries.push_back(stored_);
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
    SearchLine line;
    if (searchLines_)
        line = searchLines_();
    else // the link's own port and clock, lent to one port's search at a time
        line = {std::shared_ptr<SerialPort>(&link_.port(), [](SerialPort*) {}),
                std::shared_ptr<Clock>(&link_.clock(), [](Clock*) {})};
    if (!line.clock)
        line.clock = std::shared_ptr<Clock>(&systemClock(), [](Clock*) {});
    return line;
}

std::vector<PortToSearch> DriveDetection::portsToSearch(const std::vector<int>& order, int storedPort) {
    std::vector<PortToSearch> ports;
    for (const int p : order) {
        PortToSearch port;
        port.name = openPorts_.at(p);
        port.tries = triesFor(p, storedPort);
        port.line = std::make_unique<PortLine>();
        port.line->line = nextLine();
        port.line->link = std::make_unique<CommLink>(context_, *port.line->line.port, *port.line->line.clock,
                                                     link_.asker());
        // Resolved here: the resolver may read the settings file, which the workers leave alone.
        const QString path = link_.portPath(port.name);
        port.line->link->setPortPathResolver([path](const QString&) { return path; });
        ports.push_back(std::move(port));
    }
    return ports;
}

SearchEnd DriveDetection::search(int storedPort, const StartupChoice* form) {
    const int count = int(openPorts_.size());
    if (storedPort < 0 || storedPort >= count)
        storedPort = -1;
    std::vector<int> order;
    if (storedPort >= 0)
        order.push_back(storedPort);
    for (int port = 0; port < count; ++port)
        if (port != storedPort)
            order.push_back(port);
    std::vector<PortToSearch> ports = portsToSearch(order, storedPort);
    // The main link's port may be one of those searched.
    link_.closePort();

    PortSearchRun run(std::move(ports), bool(searchLines_), replyTimeMs_);
    run.setProgressHandler(progress_);
    if (form)
        run.setFoundReader([form, catalogueIni = context_.paths.catalogueIni, replyTimeMs = replyTimeMs_](
                               CommLink& line, const QString& port, const SearchTry& settings,
                               const std::atomic<bool>& stop) {
            return FoundDriveReader(line, *form, catalogueIni, replyTimeMs, stop).read(port, settings);
        });
    SearchEnd end = run.run();
    if (end.found >= 0)
        end.found = order[size_t(end.found)];
    return end;
}

bool DriveDetection::detectDrive(int storedPort) {
    return search(storedPort, nullptr).found >= 0;
}

void DriveDetection::warnUnlistedDrive(const StartupChoice& form, const FoundIdentity& found) {
    DriveIdentity& identity = context_.drive.identity;
    // A drive without a type code keeps the names the settings gave.
    if (found.typeCode > 0) {
        const DriveIdentity named = namesOfCodes(context_.paths.catalogueIni, found.identifiedType,
                                                 found.typeCode, found.capacityCode, found.cpuValue);
        identity.typeName = named.typeName;
        identity.formName = named.formName;
        identity.cpuVersion = named.cpuVersion;
    }
    warn(form.texts().noData + u'\n' + identity.typeName + u'(' + identity.cpuVersion + u')' +
             identity.formName,
         true);
}

void DriveDetection::selectFound(DetectionResult& result, const StartupChoice& form,
                                 const FoundIdentity& identity) {
    if (!identity.opened)
        return;
    // The port is left open on the link with the settings found, for the program's own connect.
    const bool reopened = link_.openPort(openPorts_.at(result.port), result.settings.speedIdx,
                                         result.settings.parityIdx, 0, 1) == SerialError::None;
    link_.noteExchangeFailed(identity.lastReadFailed);
    if (!reopened || !identity.named)
        return;
    if (!identity.listed()) {
        warnUnlistedDrive(form, identity);
        return;
    }
    result.typePos = identity.typePos;
    result.capacityPos = identity.capacityPos;
    result.cpuPos = identity.cpuPos;
}

DetectionResult DriveDetection::run(const StartupChoice& form) {
    stored_ = form.commSettings();
    DetectionResult result;
    const int ports = listSerialPorts(form.texts().noPort);
    result.portsSearched = openPorts_;
    if (ports == 0)
        return withFactorySettings(result, SearchOutcome::NoPort);
    // Without a window following the search, the cursor says that the program is busy.
    std::optional<WaitCursor> busy;
    if (!progress_)
        busy.emplace();
    const SearchEnd end = search(storedPort(), &form);
    if (end.stopped) {
        // The user chooses by hand: the stored settings stay as they are.
        result.ran = false;
        result.outcome = SearchOutcome::Stopped;
        result.settings = stored_;
        return result;
    }
    if (end.found < 0)
        return withFactorySettings(result, SearchOutcome::NothingAnswered);
    result.outcome = SearchOutcome::Found;
    result.port = end.found;
    result.settings = end.settings;
    selectFound(result, form, end.identity);
    return result;
}

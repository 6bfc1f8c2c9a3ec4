#include "link/PortSearch.h"

#include "link/CommLink.h"
#include "link/DetectionExchange.h"

#include <chrono>
#include <thread>

namespace {

const QString kProbeNumber = QStringLiteral("0000");
// How often a waiting search reports its progress.
constexpr std::chrono::milliseconds kProgressStep{30};

// One port's search over `link`: each try opens the port with its speed and parity and probes
// "0000"; a failed probe goes out again at once without its first byte, its outcome unused. A
// try whose open fails is skipped. Returns the position of the try that answered, -1 when none
// did or `stop` was set (looked at before each frame). `current` follows the try under way.
int searchPort(CommLink& link, const QString& name, const std::vector<SearchTry>& tries, int replyTimeMs,
               std::atomic<int>& current, const std::atomic<bool>& stop) {
    for (int i = 0; i < int(tries.size()) && !stop; ++i) {
        current = i;
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

template <class T> bool ready(const std::future<T>& f) {
    return f.valid() && f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

PortSearchRun::PortSearchRun(std::vector<PortToSearch> ports, bool sideBySide, int replyTimeMs)
    : sideBySide_(sideBySide), replyTimeMs_(replyTimeMs) {
    ports_.reserve(ports.size());
    for (PortToSearch& p : ports) {
        Port port;
        port.name = std::move(p.name);
        port.tries = std::move(p.tries);
        port.line = std::move(p.line);
        ports_.push_back(std::move(port));
    }
}

PortSearchRun::~PortSearchRun() {
    // A search left early (an exception) still ends every worker before their lines go.
    stops_->ports = true;
    stops_->reads = true;
    for (Port& p : ports_)
        if (p.answer.valid())
            p.answer.wait();
    if (reading_.valid())
        reading_.wait();
}

SearchEnd PortSearchRun::run() {
    for (;;) {
        startDue();
        collect();
        if (!end_.stopped)
            settle();
        if (over() && workersDone())
            break;
        follow();
        waitStep();
    }
    if (!end_.stopped && identity_)
        end_.identity = *identity_;
    return end_;
}

void PortSearchRun::startDue() {
    for (size_t k = 0; k < ports_.size() && !stops_->ports; ++k) {
        if (ports_[k].started)
            continue;
        // The ports take turns unless side by side: the next once the one before found nothing.
        if (!sideBySide_ && k > 0 && !ports_[k - 1].endedWithoutAnswer())
            return;
        start(ports_[k]);
    }
}

void PortSearchRun::start(Port& port) {
    port.answer = std::async(std::launch::async, [line = std::move(port.line), name = port.name,
                                                  tries = port.tries, current = port.current, stops = stops_,
                                                  replyTimeMs = replyTimeMs_]() mutable {
        const int answered = searchPort(*line->link, name, tries, replyTimeMs, *current, stops->ports);
        line->link->closePort();
        return PortAnswer{answered, std::move(line)};
    });
    port.started = true;
}

void PortSearchRun::collect() {
    for (Port& p : ports_) {
        if (!p.searching() || !ready(p.answer))
            continue;
        PortAnswer answer = p.answer.get();
        p.answeredTry = answer.answeredTry;
        p.line = std::move(answer.line);
    }
    if (ready(reading_)) {
        ReadAnswer read = reading_.get();
        identity_ = std::move(read.identity);
        ports_[size_t(end_.found)].line = std::move(read.line);
    }
}

void PortSearchRun::settle() {
    if (settled_)
        return;
    for (size_t k = 0; k < ports_.size(); ++k) {
        const Port& p = ports_[k];
        if (p.endedWithoutAnswer())
            continue;
        if (!p.answeredTry)
            return; // a port before any answer is still to end
        settled_ = true;
        end_.found = int(k);
        end_.settings = p.tries[size_t(*p.answeredTry)];
        stops_->ports = true;
        if (reader_)
            startReading(k);
        return;
    }
    settled_ = true; // every port ended without an answer
}

void PortSearchRun::startReading(size_t found) {
    Port& port = ports_[found];
    reading_ = std::async(std::launch::async,
                          [line = std::move(port.line), name = port.name, settings = end_.settings,
                           reader = reader_, stops = stops_]() mutable {
                              FoundIdentity identity = reader(*line->link, name, settings, stops->reads);
                              line->link->closePort();
                              return ReadAnswer{std::move(identity), std::move(line)};
                          });
}

bool PortSearchRun::over() const {
    if (end_.stopped)
        return true;
    if (!settled_)
        return false;
    return end_.found < 0 || !reader_ || identity_.has_value();
}

bool PortSearchRun::workersDone() const {
    if (reading_.valid())
        return false;
    for (const Port& p : ports_)
        if (p.searching())
            return false;
    return true;
}

void PortSearchRun::follow() {
    if (!progress_ || progress_(progress()) || end_.stopped)
        return;
    end_.stopped = true;
    stops_->ports = true;
    stops_->reads = true;
}

SearchProgress PortSearchRun::progress() const {
    SearchProgress shown;
    for (size_t k = 0; k < ports_.size(); ++k) {
        const Port& p = ports_[k];
        SearchProgress::Port port;
        port.name = p.name;
        port.over = p.answeredTry.has_value();
        port.answered = p.answeredTry.value_or(-1) >= 0;
        port.current = p.tries[size_t(port.answered ? *p.answeredTry : int(*p.current))];
        if (port.answered && identity_ && !end_.stopped && int(k) == end_.found)
            port.type = identity_->typeName;
        shown.ports.push_back(port);
    }
    return shown;
}

void PortSearchRun::waitStep() {
    // The drive found's identity first, then the first port in order still searching: the
    // search's next step waits on it, so that it is taken the moment it ends.
    if (reading_.valid()) {
        reading_.wait_for(kProgressStep);
        return;
    }
    for (Port& p : ports_) {
        if (p.searching()) {
            p.answer.wait_for(kProgressStep);
            return;
        }
    }
    std::this_thread::sleep_for(kProgressStep);
}

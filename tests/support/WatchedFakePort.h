#pragma once
// The fake line with a handle to watch, as a real port has: its background exchanges end from
// the event loop, never inside the call that starts them. The handle is never readable: the
// test moves the line itself (CommLink::continueProbe and the manual clock).
#include "link/CommLink.h"
#include "platform/Clock.h"
#include "support/FakeSerialPort.h"

#include <QCoreApplication>
#include <functional>
#include <unistd.h>

class WatchedFakePort : public FakeSerialPort {
public:
    explicit WatchedFakePort(ManualClock& clock) : FakeSerialPort(clock) {
        if (::pipe(fds_) != 0)
            fds_[0] = fds_[1] = -1;
    }
    ~WatchedFakePort() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    WatchedFakePort(const WatchedFakePort&) = delete;
    WatchedFakePort& operator=(const WatchedFakePort&) = delete;
    int pollHandle() const override { return fds_[0]; }

private:
    int fds_[2];
};

// The program's link on a watched fake line at COM1, and the drive's time moved for it.
class WatchedLink {
public:
    WatchedLink(ProgramContext& context, ManualClock& clock, Asker& asker)
        : line(clock), link(context, line, clock, asker), clock_(clock) {
        link.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
        link.setPortsFound({QStringLiteral("COM1")});
    }
    // Moves the time ms by ms, the line and the event loop following, until `done` (at most a
    // minute); true when it came.
    bool stepUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 60000; ++i) {
            if (done())
                return true;
            clock_.advance(1);
            link.continueBackground();
            QCoreApplication::processEvents();
        }
        return done();
    }
    // The same until nothing is on its way in the background.
    void stepAll() {
        stepUntil([this] { return !link.backgroundPending(); });
        QCoreApplication::processEvents();
    }

    WatchedFakePort line;
    CommLink link;

private:
    ManualClock& clock_;
};

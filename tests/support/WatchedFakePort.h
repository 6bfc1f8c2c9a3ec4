#pragma once
// The fake line with a handle to watch, as a real port has: its background exchanges end from
// the event loop, never inside the call that starts them. The handle is never readable: the
// test moves the line itself (CommLink::continueProbe and the manual clock).
#include "support/FakeSerialPort.h"

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

#pragma once
// Whether a monitor run holds the link, and the main window's lock while it does. The start-up
// owns one and hands it to the link (which connects to nothing meanwhile) and to the monitor,
// whose run sets it for as long as it lasts; the rest ask the link or the monitor. The
// handler the start-up installs follows every change (the main window disables itself and
// the table's context menu, not the monitor's windows).
#include <functional>
#include <utility>

class MonitorRunLock {
public:
    bool running() const { return running_; }
    void setRunning(bool on) {
        running_ = on;
        if (handler_)
            handler_(running_);
    }
    void setHandler(std::function<void(bool running)> handler) { handler_ = std::move(handler); }

private:
    bool running_ = false;
    std::function<void(bool running)> handler_;
};

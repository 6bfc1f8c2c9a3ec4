#pragma once
// Watches the X display for the top-level windows of one process and pings them as the window
// manager does (_NET_WM_PING): a window answers only while its program runs its event loop.
// Made before the windows it is to see (it learns of them as they are created). Used from one
// thread at a time.
#include <QtGlobal>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdint>
#include <set>
#include <utility>

class WindowWatch {
public:
    WindowWatch();
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    // Waits until a window of `pid` not in `skip` is mapped and has answered a ping: that window,
    // or 0 after timeoutMs.
    xcb_window_t waitForAnswer(qint64 pid, int timeoutMs, const std::set<xcb_window_t>& skip = {});

    // Pings window w, one ping after the other's answer, until forMs have passed. The longest
    // wait for an answer in ms and the pings answered; -1 as the wait when one was not answered
    // within timeoutMs.
    std::pair<double, int> longestPing(xcb_window_t w, int forMs, int gapMs, int timeoutMs);

    // What pingInTurn saw.
    struct PingRun {
        double longestMs = 0;    // the longest wait for an answer
        int pings = 0;           // pings answered
        double unansweredMs = 0; // the wait of a ping left unanswered (a lower bound); 0: none
    };
    // Pings the mapped windows of `pid` in turn, one ping after the other's answer (gapMs apart),
    // until `stop` is set; the ping under way then has drainMs more to be answered. A ping whose
    // window goes before it answers is not counted. A ping still unanswered then, or after
    // giveUpMs, ends the run with its wait in unansweredMs.
    PingRun pingInTurn(qint64 pid, const std::atomic<bool>& stop, int gapMs, int drainMs, int giveUpMs);

    // Return pressed and released in window w, as the keyboard sends it.
    void pressReturn(xcb_window_t w);
    bool ok = false;

private:
    // An answer to a ping: the window pinged and the ping's serial (0 for none).
    struct Pong {
        xcb_window_t window = 0;
        std::uint32_t serial = 0;
    };
    // Follows the windows created, mapped, unmapped and destroyed; an answered ping is returned.
    Pong take(xcb_generic_event_t* e);
    // Takes the events waiting; the answer among them to `serial` from window w, if any.
    bool takeEvents(xcb_window_t w, std::uint32_t serial);
    xcb_atom_t atom(const char* name);
    bool isViewable(xcb_window_t w);
    qint64 windowPid(xcb_window_t w);
    void sendPing(xcb_window_t w, std::uint32_t serial = XCB_CURRENT_TIME);
    std::uint8_t findReturnKey();

    xcb_connection_t* conn_ = nullptr;
    std::set<xcb_window_t> candidates_, mapped_;
    std::uint8_t returnKey_ = 36;
    xcb_window_t root_ = 0;
    xcb_atom_t pid_ = 0, protocols_ = 0, ping_ = 0;
    std::uint32_t serial_ = 0;
};

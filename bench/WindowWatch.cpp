#include "WindowWatch.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <vector>

namespace {

using EventHold = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

} // namespace

WindowWatch::WindowWatch() {
    conn_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn_))
        return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    // The ping's answer is sent to the root window for its structure's listeners.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &mask);
    pid_ = atom("_NET_WM_PID");
    protocols_ = atom("WM_PROTOCOLS");
    ping_ = atom("_NET_WM_PING");
    returnKey_ = findReturnKey();
    xcb_flush(conn_);
    ok = true;
}

WindowWatch::~WindowWatch() {
    if (conn_)
        xcb_disconnect(conn_);
}

xcb_window_t WindowWatch::waitForAnswer(qint64 pid, int timeoutMs, const std::set<xcb_window_t>& skip) {
    QElapsedTimer t;
    t.start();
    std::set<xcb_window_t> pinged;
    while (t.elapsed() < timeoutMs) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
            const EventHold hold(e, &std::free);
            const Pong pong = take(e);
            if (pong.window && pinged.count(pong.window))
                return pong.window;
        }
        for (xcb_window_t w : mapped_)
            if (!pinged.count(w) && !skip.count(w) && candidates_.count(w) && windowPid(w) == pid) {
                sendPing(w);
                pinged.insert(w);
            }
        xcb_flush(conn_);
        if (xcb_connection_has_error(conn_))
            return 0;
        QThread::usleep(200);
    }
    return 0;
}

std::pair<double, int> WindowWatch::longestPing(xcb_window_t w, int forMs, int gapMs, int timeoutMs) {
    QElapsedTimer total;
    total.start();
    double longest = 0;
    int pings = 0;
    while (total.elapsed() < forMs) {
        const std::uint32_t serial = std::uint32_t(pings + 1);
        sendPing(w, serial);
        xcb_flush(conn_);
        QElapsedTimer t;
        t.start();
        bool answered = false;
        while (!answered && t.elapsed() < timeoutMs) {
            answered = takeEvents(w, serial);
            if (!answered)
                QThread::usleep(100);
        }
        if (!answered)
            return {-1, pings};
        longest = std::max(longest, t.nsecsElapsed() / 1e6);
        ++pings;
        QThread::msleep(gapMs);
    }
    return {longest, pings};
}

WindowWatch::PingRun WindowWatch::pingInTurn(qint64 pid, const std::atomic<bool>& stop, int gapMs,
                                             int drainMs, int giveUpMs) {
    PingRun run;
    xcb_window_t last = 0;
    const int fd = xcb_get_file_descriptor(conn_);
    QElapsedTimer sinceStop;
    while (!stop.load()) {
        takeEvents(0, 0);
        std::vector<xcb_window_t> ours;
        for (xcb_window_t w : mapped_)
            if (candidates_.count(w) && windowPid(w) == pid)
                ours.push_back(w);
        if (ours.empty()) {
            QThread::msleep(gapMs);
            continue;
        }
        // The next of them after the last one pinged (the set keeps them in order).
        const auto next = std::upper_bound(ours.begin(), ours.end(), last);
        const xcb_window_t w = next == ours.end() ? ours.front() : *next;
        last = w;
        const std::uint32_t serial = ++serial_;
        sendPing(w, serial);
        xcb_flush(conn_);
        QElapsedTimer t;
        t.start();
        bool answered = false;
        while (!answered && mapped_.count(w) && !xcb_connection_has_error(conn_)) {
            answered = takeEvents(w, serial);
            if (answered)
                break;
            if (stop.load() && !sinceStop.isValid())
                sinceStop.start();
            if (t.elapsed() > giveUpMs || (sinceStop.isValid() && sinceStop.elapsed() > drainMs)) {
                run.unansweredMs = t.nsecsElapsed() / 1e6;
                return run;
            }
            // Woken by the answer; the millisecond bounds the checks of the time.
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 1);
        }
        if (!answered)
            continue; // the window went before it could answer
        run.longestMs = std::max(run.longestMs, t.nsecsElapsed() / 1e6);
        ++run.pings;
        QThread::msleep(gapMs);
    }
    return run;
}

void WindowWatch::pressReturn(xcb_window_t w) {
    for (const std::uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
        xcb_key_press_event_t k{};
        k.response_type = type;
        k.detail = returnKey_;
        k.time = XCB_CURRENT_TIME;
        k.root = root_;
        k.event = w;
        k.same_screen = 1;
        xcb_send_event(conn_, 0, w,
                       type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                       reinterpret_cast<const char*>(&k));
    }
    xcb_flush(conn_);
}

bool WindowWatch::takeEvents(xcb_window_t w, std::uint32_t serial) {
    bool answered = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
        const EventHold hold(e, &std::free);
        const Pong pong = take(e);
        answered = answered || (w && pong.window == w && pong.serial == serial);
    }
    return answered;
}

WindowWatch::Pong WindowWatch::take(xcb_generic_event_t* e) {
    switch (e->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const xcb_window_t w = reinterpret_cast<xcb_create_notify_event_t*>(e)->window;
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, w, XCB_CW_EVENT_MASK, &mask);
        candidates_.insert(w);
        // It may have been mapped before the mask took.
        if (isViewable(w))
            mapped_.insert(w);
        break;
    }
    case XCB_MAP_NOTIFY:
        mapped_.insert(reinterpret_cast<xcb_map_notify_event_t*>(e)->window);
        break;
    case XCB_UNMAP_NOTIFY:
        mapped_.erase(reinterpret_cast<xcb_unmap_notify_event_t*>(e)->window);
        break;
    case XCB_DESTROY_NOTIFY: {
        // The server may give its id to a window made later.
        const xcb_window_t w = reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window;
        mapped_.erase(w);
        candidates_.erase(w);
        break;
    }
    case XCB_CLIENT_MESSAGE: {
        auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
        if (m->type == protocols_ && m->data.data32[0] == ping_)
            return {m->data.data32[2], m->data.data32[1]};
        break;
    }
    default:
        break;
    }
    return {};
}

xcb_atom_t WindowWatch::atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

bool WindowWatch::isViewable(xcb_window_t w) {
    xcb_get_window_attributes_reply_t* r =
        xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr);
    const bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(r);
    return viewable;
}

qint64 WindowWatch::windowPid(xcb_window_t w) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, w, pid_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    qint64 pid = -1;
    if (r && xcb_get_property_value_length(r) == 4)
        pid = *static_cast<std::uint32_t*>(xcb_get_property_value(r));
    std::free(r);
    return pid;
}

// The serial goes where the window manager puts its time stamp: the answer echoes it.
void WindowWatch::sendPing(xcb_window_t w, std::uint32_t serial) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = w;
    m.type = protocols_;
    m.data.data32[0] = ping_;
    m.data.data32[1] = serial;
    m.data.data32[2] = w;
    xcb_send_event(conn_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&m));
}

// The key code that gives Return in the server's keyboard map.
std::uint8_t WindowWatch::findReturnKey() {
    const xcb_setup_t* setup = xcb_get_setup(conn_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
        conn_, xcb_get_keyboard_mapping(conn_, setup->min_keycode, std::uint8_t(count)), nullptr);
    std::uint8_t code = 36; // the usual one
    if (r) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        for (int i = 0; i < count * r->keysyms_per_keycode; ++i)
            if (syms[i] == 0xff0d) {
                code = std::uint8_t(setup->min_keycode + i / r->keysyms_per_keycode);
                break;
            }
    }
    std::free(r);
    return code;
}

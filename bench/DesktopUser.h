#pragma once
// The user at the X display, as another program sees them: the top-level windows a process
// has on screen, and input through the X server's test extension (XTEST), which the server
// delivers as it delivers a mouse's and a keyboard's: a click goes to the window under the
// pointer, a key to the window in focus. A window is brought to the front and focused through
// the window manager (_NET_ACTIVE_WINDOW), as its task switcher does. Used from one thread.
#include <QPoint>
#include <QRect>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

class DesktopUser {
public:
    // Connects to the display in DISPLAY; ok is false without one or without XTEST.
    DesktopUser();
    ~DesktopUser();
    DesktopUser(const DesktopUser&) = delete;
    DesktopUser& operator=(const DesktopUser&) = delete;

    struct Window {
        xcb_window_t id = 0;
        QString title;
        QRect client; // on the screen, without the frame the window manager adds
    };
    // The windows of process `pid` that the window manager shows (its client list), in the
    // order they were mapped.
    std::vector<Window> windowsOf(qint64 pid);
    // Brings w to the front and gives it the focus.
    void activate(xcb_window_t w);

    void press(QPoint at, int button = 1);
    void release(QPoint at, int button = 1);
    void click(QPoint at, int button = 1);
    // Presses and releases the key that gives this key symbol ('0'..'9', 0xff0d Return).
    void type(std::uint32_t keysym);

    bool ok = false;

private:
    xcb_atom_t atom(const char* name);
    std::vector<std::uint32_t> property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type);
    QString title(xcb_window_t w);
    void fakeInput(std::uint8_t type, std::uint8_t detail, QPoint at = {});
    std::uint8_t keycodeOf(std::uint32_t keysym);

    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clientList_ = 0, pid_ = 0, name_ = 0, utf8_ = 0, active_ = 0;
};

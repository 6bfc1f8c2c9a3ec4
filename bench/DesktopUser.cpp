#include "DesktopUser.h"

#include <QThread>

#include <xcb/xcbext.h>

#include <cstdlib>
#include <cstring>
#include <sys/uio.h>

namespace {

// The test extension's one request used here (XTEST FakeInput), as the protocol lays it out.
xcb_extension_t xtestExtension = {"XTEST", 0};
constexpr std::uint8_t kFakeInput = 2;
struct FakeInputRequest {
    std::uint8_t majorOpcode;
    std::uint8_t minorOpcode;
    std::uint16_t length;
    std::uint8_t type;
    std::uint8_t detail;
    std::uint8_t pad0[2];
    std::uint32_t time;
    xcb_window_t root;
    std::uint8_t pad1[8];
    std::int16_t rootX;
    std::int16_t rootY;
    std::uint8_t pad2[7];
    std::uint8_t deviceId;
};
static_assert(sizeof(FakeInputRequest) == 36);

// Between the events of one click or key, as a hand leaves them.
constexpr int kHandMs = 40;

} // namespace

DesktopUser::DesktopUser() {
    conn_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn_))
        return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    clientList_ = atom("_NET_CLIENT_LIST");
    pid_ = atom("_NET_WM_PID");
    name_ = atom("_NET_WM_NAME");
    utf8_ = atom("UTF8_STRING");
    active_ = atom("_NET_ACTIVE_WINDOW");
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(conn_, &xtestExtension);
    ok = xtest && xtest->present;
}

DesktopUser::~DesktopUser() {
    if (conn_)
        xcb_disconnect(conn_);
}

xcb_atom_t DesktopUser::atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

std::vector<std::uint32_t> DesktopUser::property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, w, name, type, 0, 1024), nullptr);
    std::vector<std::uint32_t> out;
    if (r && r->format == 32) {
        const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
        out.assign(v, v + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return out;
}

QString DesktopUser::title(xcb_window_t w) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, w, name_, utf8_, 0, 1024), nullptr);
    QString t;
    if (r && r->format == 8)
        t = QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r)),
                              xcb_get_property_value_length(r));
    std::free(r);
    return t;
}

std::vector<DesktopUser::Window> DesktopUser::windowsOf(qint64 pid) {
    std::vector<Window> out;
    for (const std::uint32_t w : property(root_, clientList_, XCB_ATOM_WINDOW)) {
        const std::vector<std::uint32_t> p = property(w, pid_, XCB_ATOM_CARDINAL);
        if (p.empty() || p.front() != std::uint32_t(pid))
            continue;
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, w), nullptr);
        xcb_translate_coordinates_reply_t* at =
            xcb_translate_coordinates_reply(conn_, xcb_translate_coordinates(conn_, w, root_, 0, 0), nullptr);
        if (g && at)
            out.push_back({w, title(w), QRect(at->dst_x, at->dst_y, g->width, g->height)});
        std::free(g);
        std::free(at);
    }
    return out;
}

void DesktopUser::activate(xcb_window_t w) {
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = w;
    m.type = active_;
    m.data.data32[0] = 2; // asked for by the user, through a pager or task switcher
    m.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&m));
    xcb_flush(conn_);
}

void DesktopUser::fakeInput(std::uint8_t type, std::uint8_t detail, QPoint at) {
    static const xcb_protocol_request_t request = {2, &xtestExtension, kFakeInput, 1};
    FakeInputRequest out{};
    out.type = type;
    out.detail = detail;
    out.time = XCB_CURRENT_TIME;
    out.root = root_;
    out.rootX = std::int16_t(at.x());
    out.rootY = std::int16_t(at.y());
    iovec parts[4];
    parts[2].iov_base = &out;
    parts[2].iov_len = sizeof out;
    parts[3].iov_base = nullptr;
    parts[3].iov_len = 0;
    xcb_send_request(conn_, 0, parts + 2, &request);
    xcb_flush(conn_);
}

void DesktopUser::press(QPoint at, int button) {
    fakeInput(XCB_MOTION_NOTIFY, 0, at);
    QThread::msleep(kHandMs);
    fakeInput(XCB_BUTTON_PRESS, std::uint8_t(button));
}

void DesktopUser::release(QPoint at, int button) {
    fakeInput(XCB_MOTION_NOTIFY, 0, at);
    fakeInput(XCB_BUTTON_RELEASE, std::uint8_t(button));
}

void DesktopUser::click(QPoint at, int button) {
    press(at, button);
    QThread::msleep(kHandMs);
    release(at, button);
}

void DesktopUser::type(std::uint32_t keysym) {
    const std::uint8_t code = keycodeOf(keysym);
    if (!code)
        return;
    fakeInput(XCB_KEY_PRESS, code);
    QThread::msleep(kHandMs);
    fakeInput(XCB_KEY_RELEASE, code);
}

std::uint8_t DesktopUser::keycodeOf(std::uint32_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(conn_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* r = xcb_get_keyboard_mapping_reply(
        conn_, xcb_get_keyboard_mapping(conn_, setup->min_keycode, std::uint8_t(count)), nullptr);
    std::uint8_t code = 0;
    if (r) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(r);
        // The key's first symbol: typed without a modifier.
        for (int k = 0; k < count && !code; ++k)
            if (syms[k * r->keysyms_per_keycode] == keysym)
                code = std::uint8_t(setup->min_keycode + k);
    }
    std::free(r);
    return code;
}

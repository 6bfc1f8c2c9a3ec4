// From exec of the program to its first window answering input, as a user meets it: the
// program is started as a child process on the X display (scripts/bench.sh starts Xvfb with
// openbox when there is none) in a program folder laid out as scripts/run.sh lays it out (the
// shipped data, the settings of a user who has started it before, the drive search on), with
// the drivesim program on COM1 at 9,600 baud (drive:1) or COM1 a port that nothing answers on
// (drive:0), and COM2 to COM7 ports that nothing answers on: the start-up form searches them
// all. A window answers input when it is mapped and its program replies to the window
// manager's ping, which only a running event loop does. The first window is the start-up
// form; Return is pressed in it at once (the first Return ends a search still running, the
// next is its OK: it is pressed again every half second until another window answers) and the
// next window of the program to answer is timed too. The two cases take turns, start by
// start, so that a loaded machine weighs on both alike. Counters per case (10 starts each):
// first_window_ms (median) with first_window_iqr and first_window_max_ms, ok_to_main_ms
// (median, from the first Return to the main or table window answering: the end of the
// search, the drive type's loading and the connect) with ok_to_main_iqr.
//
// BM_PingsDuringTheSearch: the same start, but nothing is pressed: the start-up form is pinged
// from its first answer on for 8 s, one ping after the other's answer (5 ms apart), which covers
// the whole search (36 tries of 200 ms on each silent port, about 7.3 s). The drive is on COM1
// (found at once: the rest of the 8 s the form is idle), on COM3 (found at once; its identity is
// read while COM1 and COM2 are searched to their end) or on no port, the three cases taking turns
// (5 starts each). Counters per case: longest_ping_ms (median over the starts of the longest
// wait for an answer in a start) with longest_ping_iqr and longest_ping_max_ms (the longest of
// all), pings (median per start).
#include "BenchSupport.h"
#include "support/DeafLine.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <stdlib.h>
#include <unistd.h>
#include <utility>

namespace {

// The shipped data and a settings file naming COM1 to COM7, in a folder of its own.
struct ProgramFolder {
    explicit ProgramFolder(const QStringList& ports) {
        if (!dir.isValid())
            return;
        QDirIterator it(QStringLiteral(KVR_DATA_FOLDER), QDir::Files | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        const QDir source(QStringLiteral(KVR_DATA_FOLDER));
        ok = true;
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = dir.filePath(source.relativeFilePath(from));
            ok = ok && QDir().mkpath(QFileInfo(to).path()) && QFile::copy(from, to);
        }
        QFile ini(dir.filePath(QStringLiteral("KVR260X.ini")));
        // A user who has started the program before: English, the last drive type stored, the
        // drive search on (CheckInv=0) at the stored 9,600 baud, even parity, maker's protocol.
        QString settings =
            QStringLiteral("[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Default]\r\nLangNo=1\r\nInvTypeNo=0\r\n"
                           "InvFormNo=0\r\nInvCpuNo=0\r\nInvType=HXA1\r\nInvForm=-2004\r\nInvCpu=V110\r\n"
                           "[Options]\r\nCheckLang=1\r\nCheckInv=0\r\n"
                           "[Comms]\r\nBaudrate=3\r\nParity=1\r\nPrtocol=0\r\n[Ports]\r\n");
        for (int n = 0; n < ports.size(); ++n)
            settings += QStringLiteral("COM%1=%2\r\n").arg(n + 1).arg(ports.at(n));
        ok = ok && ini.open(QIODevice::WriteOnly) && ini.write(settings.toUtf8()) > 0;
        ok = ok && QDir().mkpath(dir.filePath(QStringLiteral("runtime")));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir dir;
    bool ok = false;
};

// Watches the display for the top-level windows of one process and pings them.
class WindowWatch {
public:
    WindowWatch() {
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
    ~WindowWatch() {
        if (conn_)
            xcb_disconnect(conn_);
    }

    // Waits until a window of `pid` not in `skip` is mapped and has answered a ping: that window,
    // or 0 after timeoutMs.
    xcb_window_t waitForAnswer(qint64 pid, int timeoutMs, const std::set<xcb_window_t>& skip = {}) {
        QElapsedTimer t;
        t.start();
        std::set<xcb_window_t> pinged;
        while (t.elapsed() < timeoutMs) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
                const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> hold(e, &std::free);
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

    // Pings window w, one ping after the other's answer, until forMs have passed. The longest
    // wait for an answer in ms and the pings answered; -1 as the wait when one was not answered
    // within timeoutMs.
    std::pair<double, int> longestPing(xcb_window_t w, int forMs, int gapMs, int timeoutMs) {
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
                while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
                    const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> hold(e, &std::free);
                    const Pong pong = take(e);
                    answered = answered || (pong.window == w && pong.serial == serial);
                }
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

    // Return pressed and released in window w, as the keyboard sends it.
    void pressReturn(xcb_window_t w) {
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
    bool ok = false;

private:
    // An answer to a ping: the window pinged and the ping's serial (0 for none).
    struct Pong {
        xcb_window_t window = 0;
        std::uint32_t serial = 0;
    };
    // Follows the windows created, mapped and unmapped; an answered ping is returned.
    Pong take(xcb_generic_event_t* e) {
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
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            conn_, xcb_intern_atom(conn_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }
    bool isViewable(xcb_window_t w) {
        xcb_get_window_attributes_reply_t* r =
            xcb_get_window_attributes_reply(conn_, xcb_get_window_attributes(conn_, w), nullptr);
        const bool viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(r);
        return viewable;
    }
    qint64 windowPid(xcb_window_t w) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            conn_, xcb_get_property(conn_, 0, w, pid_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        qint64 pid = -1;
        if (r && xcb_get_property_value_length(r) == 4)
            pid = *static_cast<std::uint32_t*>(xcb_get_property_value(r));
        std::free(r);
        return pid;
    }
    // The serial goes where the window manager puts its time stamp: the answer echoes it.
    void sendPing(xcb_window_t w, std::uint32_t serial = XCB_CURRENT_TIME) {
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
    std::uint8_t findReturnKey() {
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

    xcb_connection_t* conn_ = nullptr;
    std::set<xcb_window_t> candidates_, mapped_;
    std::uint8_t returnKey_ = 36;
    xcb_window_t root_ = 0;
    xcb_atom_t pid_ = 0, protocols_ = 0, ping_ = 0;
};

// One start of the program in `folder`: exec to the first window answering, and the first
// Return to the next window answering; empty when a window did not answer.
struct Start {
    double firstMs = 0, okToMainMs = 0;
    bool ok = false;
};

Start startOnce(const ProgramFolder& folder, WindowWatch& watch, const QProcessEnvironment& base) {
    QProcessEnvironment env = base;
    // The program's single-instance lock and file association stay inside the folder.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.dir.filePath(QStringLiteral("xdg")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Start r;
    QElapsedTimer t;
    t.start();
    program.start(QStringLiteral(KVR_PROGRAM), {});
    const xcb_window_t form =
        program.waitForStarted(5000) ? watch.waitForAnswer(program.processId(), 20000) : 0;
    r.firstMs = t.nsecsElapsed() / 1e6;
    // Return at once in the start-up form, again until the main window and the table follow.
    xcb_window_t shown = 0;
    t.restart();
    for (int i = 0; form && !shown && i < 40; ++i) {
        watch.pressReturn(form);
        shown = watch.waitForAnswer(program.processId(), 500, {form});
    }
    r.okToMainMs = t.nsecsElapsed() / 1e6;
    r.ok = form && shown;
    program.kill();
    program.waitForFinished(5000);
    return r;
}

void BM_ExecToFirstWindowAnswering(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim-COM1"));
    // COM1 with nothing behind it for the case without a drive, COM2 to COM7 for both.
    DeafLine deaf[7];
    QStringList deafPorts;
    for (const DeafLine& d : deaf)
        deafPorts << d.path;
    ProgramFolder withDrive(QStringList{link} + deafPorts.mid(1));
    ProgramFolder without(deafPorts);
    WindowWatch watch;
    if (!withDrive.ok || !without.ok || !watch.ok || deafPorts.contains(QString())) {
        state.SkipWithError("no program folder, display or pseudo-terminal");
        return;
    }
    QProcess drive;
    drive.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    drive.start(QStringLiteral(KVR_DRIVESIM_PROGRAM),
                {"--protocol", "inverter", "--data", withDrive.dir.path(), "--type", "HXA1", "--cpu", "V110",
                 "--capacity", "-2004", "--language", "Eng", "--station", "1", "--link", link, "--wire-baud",
                 "9600"});
    for (int i = 0; i < 500 && QFileInfo(link).symLinkTarget().isEmpty(); ++i)
        QThread::msleep(10);
    if (QFileInfo(link).symLinkTarget().isEmpty()) {
        state.SkipWithError("no simulated drive");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    std::vector<double> first[2], next[2];
    int turn = 0;
    for (auto _ : state) {
        // With and without a drive take turns, and so does which of them goes first.
        for (int k = 0; k < 2; ++k) {
            const int c = (turn + k) % 2; // 1: with the drive
            const Start r = startOnce(c == 1 ? withDrive : without, watch, env);
            if (!r.ok) {
                state.SkipWithError(r.firstMs > 0 ? "no window answered after the start-up form"
                                                  : "no window answered");
                break;
            }
            first[c].push_back(r.firstMs);
            next[c].push_back(r.okToMainMs);
            if (c == 1)
                state.SetIterationTime(r.firstMs / 1000);
        }
        ++turn;
    }
    drive.terminate();
    if (!drive.waitForFinished(3000))
        drive.kill();
    for (int c = 0; c < 2; ++c) {
        if (first[c].empty())
            continue;
        const std::string name = c == 1 ? "drive_" : "nodrive_";
        const Spread f = spreadOf(first[c]), n = spreadOf(next[c]);
        state.counters[name + "first_window_ms"] = f.median;
        state.counters[name + "first_window_iqr"] = f.iqr;
        state.counters[name + "first_window_max_ms"] = *std::max_element(first[c].begin(), first[c].end());
        state.counters[name + "ok_to_main_ms"] = n.median;
        state.counters[name + "ok_to_main_iqr"] = n.iqr;
    }
}
BENCHMARK(BM_ExecToFirstWindowAnswering)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// How long the pings of one start waited, from the form's first answer on.
struct Pinged {
    double longestMs = 0;
    int pings = 0;
    bool ok = false;
};

constexpr int kPingForMs = 8000;
constexpr int kPingGapMs = 5;

Pinged pingSearch(const ProgramFolder& folder, WindowWatch& watch, const QProcessEnvironment& base) {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.dir.filePath(QStringLiteral("xdg")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.dir.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(KVR_PROGRAM), {});
    const xcb_window_t form =
        program.waitForStarted(5000) ? watch.waitForAnswer(program.processId(), 20000) : 0;
    Pinged r;
    if (form) {
        const auto [longest, pings] = watch.longestPing(form, kPingForMs, kPingGapMs, 5000);
        r = {longest, pings, longest >= 0};
    }
    program.kill();
    program.waitForFinished(5000);
    return r;
}

void BM_PingsDuringTheSearch(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    QTemporaryDir simDir;
    const QString link = simDir.filePath(QStringLiteral("sim-drive"));
    DeafLine deaf[7];
    QStringList deafPorts;
    for (const DeafLine& d : deaf)
        deafPorts << d.path;
    const char* const names[] = {"com1_", "com3_", "nodrive_"};
    QStringList onCom3 = deafPorts;
    onCom3[2] = link;
    const ProgramFolder folders[] = {ProgramFolder(QStringList{link} + deafPorts.mid(1)),
                                     ProgramFolder(onCom3), ProgramFolder(deafPorts)};
    WindowWatch watch;
    bool ready = watch.ok && !deafPorts.contains(QString());
    for (const ProgramFolder& f : folders)
        ready = ready && f.ok;
    if (!ready) {
        state.SkipWithError("no program folder, display or pseudo-terminal");
        return;
    }
    QProcess drive;
    drive.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    drive.start(QStringLiteral(KVR_DRIVESIM_PROGRAM),
                {"--protocol", "inverter", "--data", folders[0].dir.path(), "--type", "HXA1", "--cpu", "V110",
                 "--capacity", "-2004", "--language", "Eng", "--station", "1", "--link", link, "--wire-baud",
                 "9600"});
    for (int i = 0; i < 500 && QFileInfo(link).symLinkTarget().isEmpty(); ++i)
        QThread::msleep(10);
    if (QFileInfo(link).symLinkTarget().isEmpty()) {
        state.SkipWithError("no simulated drive");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    std::vector<double> longest[3], pings[3];
    int turn = 0;
    for (auto _ : state) {
        // The cases take turns, and so does which of them goes first.
        for (int k = 0; k < 3; ++k) {
            const int c = (turn + k) % 3;
            const Pinged r = pingSearch(folders[c], watch, env);
            if (!r.ok) {
                state.SkipWithError("the start-up form did not answer");
                break;
            }
            longest[c].push_back(r.longestMs);
            pings[c].push_back(r.pings);
            if (c == 1)
                state.SetIterationTime(r.longestMs / 1000);
        }
        ++turn;
    }
    drive.terminate();
    if (!drive.waitForFinished(3000))
        drive.kill();
    for (int c = 0; c < 3; ++c) {
        if (longest[c].empty())
            continue;
        const std::string name = names[c];
        const Spread l = spreadOf(longest[c]);
        state.counters[name + "longest_ping_ms"] = l.median;
        state.counters[name + "longest_ping_iqr"] = l.iqr;
        state.counters[name + "longest_ping_max_ms"] =
            *std::max_element(longest[c].begin(), longest[c].end());
        state.counters[name + "pings"] = spreadOf(pings[c]).median;
    }
}
BENCHMARK(BM_PingsDuringTheSearch)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks(argc, argv);
}

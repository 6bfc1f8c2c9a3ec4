// The program as a user meets it on a lossy line, measured from outside. The program (the
// build's KVR260X) runs in a process of its own on the X display (scripts/bench.sh starts Xvfb
// with openbox when there is none), started with a parameter file of the shipped HXA1 -2004
// data in a program folder of its own, with the drivesim program on COM1: MODBUS-RTU at 9,600
// baud, 30 % of its replies never sent (KVR_BENCH_PING_FAULT sets another fault, e.g.
// "late:0.3:600"; each run draws them from a seed of its own), writing its line log. The reply time-out
// (settings "Delay") is 200 ms, 1 s or 5 s, the longest the options allow.
//
// For KVR_BENCH_PING_SECONDS (60) in each of KVR_BENCH_PING_RUNS (2) runs per time-out, the
// user works the program through the X server's input (XTEST: the pointer and the keyboard)
// and finds the controls as a screen reader does, on the program's accessibility bus (read
// over D-Bus; the program's bridge is switched on for it). Round after round, the user
//   - opens the monitor window with its tool button, once the command is offered;
//   - activates the main window, the parameter table and the monitor window in turn, 400 ms
//     apart, through the window manager (each activation checks the drive; the monitor's reads
//     the rated values);
//   - clicks Key Pad in the menu bar (greyed, it is counted and the round goes on) and, with
//     the keypad open for 8 s, clicks UP (held 150 ms), DOWN and UP again, each only while the
//     keypad shows its keys (its loop runs), enters 30 Hz by "FC Direct Input" (the first item
//     of its pop-up menu, taken with the arrow key and Return; "30" typed, Return), and closes
//     it with its Close.
// A box the program shows is read (title and text) and answered with its first button 300 ms
// later. A thread pings the program's windows all the while as the window manager does
// (_NET_WM_PING), one ping after the other's answer, 5 ms apart. The user's moments and the
// drive's line log are on the same clock (CLOCK_MONOTONIC). A run still going 90 s past its
// time is cut short (the program killed); every process a run starts ends with it, and with
// this program however it ends. KVR_BENCH_PING_TRACE=1 prints the user's steps as they
// happen; KVR_BENCH_PING_KEEP=<folder> keeps each run's line log and the program's error output.
//
// Counters per time-out, over all runs (medians with their interquartile spread, and maxima):
//   longest_ping_ms (a run's longest wait for a ping's answer; median over runs, _iqr, _max_ms)
//     and unanswered_ping_ms (the wait of a ping still unanswered at a run's end, a lower
//     bound; 0: none), pings (per run);
//   keypad_open_ms (the click on Key Pad to the first display read on the line once the
//     keypad's window is there; _iqr, _max_ms) and keypad_window_ms (the click to the
//     keypad's window answering a ping); keypad_clicks, keypad_greyed (wanted while greyed),
//     keypad_shown, keypad_no_read (shown without a display read);
//   keypad_silence_ms (the longest time the line stayed silent while the keypad was open; a
//     run's longest, median over runs, _iqr, _max_ms), line_silence_max_ms (anywhere in a run);
//   stuck_after_ms (silence longer than this while the user works is a stuck link: six reply
//     time-outs and a second, 3 s at least), stuck_sessions (keypad sessions that met one),
//     ended_stuck (runs whose line was silent that long at their end, or in their last keypad
//     session), ended_without_keypad (runs whose last try at the keypad found Key Pad greyed or
//     brought no keypad within the wait: 15 s, or 5 s more than a stuck link's silence);
//   two_requests (requests that came while the drive still owed the reply to an earlier one:
//     two requests on the line at once), requests (per run);
//   key_clicks and key_faults (key writes on the line that do not follow the clicks: presses
//     and releases missing, extra or out of order);
//   boxes (all runs), with their texts in the label; switches and entries (per run).
// Each run's own figures go to the error output as it ends.
#include "AccessBus.h"
#include "BenchSupport.h"
#include "DesktopUser.h"
#include "WindowWatch.h"

#include "tools/drivesim/LineLog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// ---- What a run is ------------------------------------------------------------------------

int environmentNumber(const char* name, int fallback, int least) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? std::max(v, least) : fallback;
}
int runSeconds() {
    return environmentNumber("KVR_BENCH_PING_SECONDS", 60, 10);
}
int runsPerTimeout() {
    return environmentNumber("KVR_BENCH_PING_RUNS", 2, 1);
}
QString driveFault() {
    const QString f = qEnvironmentVariable("KVR_BENCH_PING_FAULT");
    return f.isEmpty() ? QStringLiteral("noreply:0.3") : f;
}

constexpr int kPingGapMs = 5;
constexpr int kSwitchEveryMs = 400;
constexpr int kKeypadOpenMs = 8000;
constexpr int kKeyHeldMs = 150;
constexpr int kBoxReadMs = 300;     // a box is read this long before it is answered
constexpr int kStartWaitMs = 30000; // for the first windows and the accessibility bus
constexpr int kPollMs = 25;         // how often the user looks at the screen while waiting
constexpr int kOverrunMs = 90000;   // past the user's time: the run is cut short
constexpr int kPingDrainMs = 3000;  // the ping under way at the end has this long to be answered
constexpr int kStuckLeastMs = 3000;
constexpr int kWindowWaitLeastMs = 15000;

// Silence on the line longer than this while the user works counts as a stuck link: a few
// seconds, or six reply time-outs and a second (a connect whose reply was lost waits five for
// it, then asks again).
int stuckAfterMs(int timeoutMs) {
    return std::max(kStuckLeastMs, 6 * timeoutMs + 1000);
}

// The keypad not shown this long after its click is not coming (it is taken on should it come
// later): 15 s, or longer than a stuck link's silence.
int windowWaitMs(int timeoutMs) {
    return std::max(kWindowWaitLeastMs, stuckAfterMs(timeoutMs) + 5000);
}

constexpr std::uint16_t kDisplayBlock = 0xFC10;
constexpr std::uint16_t kKeyFlag = 0xFA10;
constexpr std::uint16_t kKeyCode = 0xFA11;
constexpr int kUpBit = 0x04;
constexpr int kDownBit = 0x08;

std::atomic<int> interruptedBy{0};

// KVR_BENCH_PING_TRACE=1: the user's actions and what they saw, as they happen, on stderr.
bool tracing() {
    static const bool on = qEnvironmentVariableIntValue("KVR_BENCH_PING_TRACE") == 1;
    return on;
}

qint64 nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A user who has chosen MODBUS at 9,600 baud and the time-out on COM1; the other ports name
// nothing (the machine's own serial devices stay out of it).
QString settingsFor(int timeoutMs, const QString& link, const QString& absent) {
    QString s =
        QStringLiteral("[Language]\r\nJapanese=0\r\nEnglish=0\r\n"
                       "[Comms]\r\nPrtocol=1\r\nBaudrate=3\r\nParity=1\r\nDelay=%1\r\n[Ports]\r\nCOM1=%2\r\n")
            .arg(timeoutMs)
            .arg(link);
    for (int n = 2; n <= 15; ++n)
        s += QStringLiteral("COM%1=%2\r\n").arg(n).arg(absent);
    return s;
}

// A parameter file of the drive type with one value, for the program to start with.
bool writeParameterFile(const QString& path) {
    const QByteArray text =
        "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n";
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// The program in the folder, as a user's installation has it: its folder is where it lies.
bool placeProgram(const QString& folder) {
    const QString to = folder + QStringLiteral("/KVR260X");
    return ::link(KVR_PROGRAM, QFile::encodeName(to).constData()) == 0 ||
           QFile::copy(QStringLiteral(KVR_PROGRAM), to);
}

// ---- The user -----------------------------------------------------------------------------

// A message box, as AT-SPI calls its role.
bool isAlert(const QString& role) {
    return role == QLatin1String("alert message") || role == QLatin1String("alert");
}

void trace(qint64 startUs, const QString& what) {
    if (tracing())
        std::fprintf(stderr, "bench_ping: %8.3f s  %s\n", (nowUs() - startUs) / 1e6, qPrintable(what));
}

struct KeypadSession {
    qint64 clickUs = 0; // Key Pad clicked (the button released)
    qint64 shownUs = 0; // its window answered a ping; 0: it never did
    qint64 endUs = 0;   // Close clicked, or the keypad went by itself
};

struct SeenBox {
    qint64 us = 0;
    QString title, text;
};

struct KeyClick {
    qint64 us = 0;
    int bit = 0;
};

// How the user's last try to open the keypad went.
enum class Attempt { None, Greyed, NoKeypad, Shown };

// What the user did and saw in one run.
struct UserLog {
    qint64 startUs = 0, endUs = 0;
    std::vector<KeypadSession> sessions;
    std::vector<SeenBox> boxes;
    std::vector<KeyClick> keys;
    int keypadClicks = 0, greyed = 0, switches = 0, entries = 0;
    Attempt lastAttempt = Attempt::None;
    QString failure; // why the user could not go on (empty: they could)
};

class User {
public:
    User(DesktopUser& desk, AccessBus& bus, WindowWatch& watch, qint64 pid, qint64 endUs, int windowWaitMs,
         const std::atomic<bool>& cut)
        : desk_(desk), bus_(bus), watch_(watch), pid_(pid), endUs_(endUs), windowWaitMs_(windowWaitMs),
          cut_(cut) {}

    void run() {
        log.startUs = nowUs();
        if (start()) {
            while (!over()) {
                if (keypadOpen()) {
                    lateKeypad();
                    continue;
                }
                openMonitor();
                switchWindows();
                keypadSession();
            }
        }
        if (keypadOpen())
            closeKeypad();
        log.endUs = nowUs();
    }

    UserLog log;

private:
    enum class Kind { Main, Table, Monitor, Keypad, Box };
    using Node = AccessBus::Node;

    bool over() const { return cut_ || interruptedBy || nowUs() >= endUs_; }
    void note(const QString& what) const { trace(log.startUs, what); }

    // ---- Looking at the screen ----

    std::vector<xcb_window_t> shown() {
        std::vector<xcb_window_t> out;
        for (const DesktopUser::Window& w : desk_.windowsOf(pid_))
            out.push_back(w.id);
        return out;
    }
    bool isShown(xcb_window_t id) {
        const std::vector<xcb_window_t> s = shown();
        return id && std::find(s.begin(), s.end(), id) != s.end();
    }
    QRect placeOf(xcb_window_t id) {
        for (const DesktopUser::Window& w : desk_.windowsOf(pid_))
            if (w.id == id)
                return w.client;
        return {};
    }

    // The accessible top-level object of a window, by its title.
    Node topLevelNamed(const QString& title) {
        for (const Node& n : bus_.children(app_))
            if (bus_.name(n) == title)
                return n;
        return {};
    }
    Node childOf(const Node& parent, const QString& role, const QString& name) {
        for (const Node& n : bus_.children(parent))
            if (bus_.role(n) == role && (name.isEmpty() || bus_.name(n) == name))
                return n;
        return {};
    }

    // Sorts out the windows shown since the last look and answers the boxes among them. The
    // keypad is the dialog with a Close of its own; `expect` is the monitor window when the user
    // has just asked for it. Another window that comes unasked is left with Escape.
    void look(std::optional<Kind> expect = std::nullopt) {
        const std::vector<DesktopUser::Window> windows = desk_.windowsOf(pid_);
        for (const DesktopUser::Window& w : windows) {
            if (kinds_.count(w.id))
                continue;
            const Node node = topLevelNamed(w.title);
            const QString role = node.valid() ? bus_.role(node) : QString();
            Kind kind = Kind::Box;
            if (role == QLatin1String("dialog") &&
                childOf(node, QStringLiteral("label"), QStringLiteral("Close")).valid())
                kind = Kind::Keypad;
            else if (!isAlert(role) && expect)
                kind = *expect;
            kinds_[w.id] = kind;
            if (kind == Kind::Box) {
                answerBox(w.id, w.title, node, isAlert(role));
                continue;
            }
            if (kind == Kind::Keypad) {
                keypad_ = w.id;
                keypadSeenUs_ = nowUs();
            } else {
                monitor_ = w.id;
                expect.reset();
            }
            note(QStringLiteral("the %1 window is \"%2\"")
                     .arg(kind == Kind::Keypad ? QStringLiteral("keypad's") : QStringLiteral("monitor's"),
                          w.title));
        }
        // A box or the keypad shown again (the same window) is looked at again.
        std::erase_if(kinds_, [&](const auto& k) {
            return (k.second == Kind::Box || k.second == Kind::Keypad) &&
                   std::none_of(windows.begin(), windows.end(),
                                [&](const auto& w) { return w.id == k.first; });
        });
    }

    // Waits ms, looking at the screen and answering boxes.
    void idle(int ms, std::optional<Kind> expect = std::nullopt) {
        const qint64 until = nowUs() + qint64(ms) * 1000;
        do {
            look(expect);
            if (expect && monitor_)
                expect.reset();
            const qint64 left = until - nowUs();
            if (left > 0)
                QThread::usleep(std::min<qint64>(left, kPollMs * 1000));
        } while (nowUs() < until && !cut_ && !interruptedBy);
    }

    // A box is read and answered with its first button (Yes, else OK); a window that came
    // unasked and is no box is left with Escape.
    void answerBox(xcb_window_t id, const QString& title, const Node& node, bool alert) {
        SeenBox box{nowUs(), title, {}};
        Node button;
        if (node.valid()) {
            QStringList texts;
            for (const Node& c : bus_.children(node)) {
                const QString role = bus_.role(c);
                if (role == QLatin1String("label"))
                    texts << bus_.name(c).simplified();
                // The buttons sit in a box of their own.
                const std::vector<Node> row =
                    role == QLatin1String("push button") ? std::vector<Node>{c} : bus_.children(c);
                for (const Node& b : row)
                    if (!button.valid() && bus_.role(b) == QLatin1String("push button"))
                        button = b;
            }
            texts.removeAll(QString());
            box.text = texts.join(QStringLiteral(" / "));
        }
        log.boxes.push_back(box);
        note(QStringLiteral("%1 \"%2\": %3")
                 .arg(alert ? QStringLiteral("box") : QStringLiteral("window"), title, box.text));
        QThread::msleep(kBoxReadMs);
        const QRect r = alert && button.valid() ? bus_.extents(button) : QRect();
        if (!r.isEmpty())
            desk_.click(r.center());
        else
            desk_.type(alert ? 0xff0d : 0xff1b); // Return takes the default button; Escape leaves
        for (int i = 0; i < 3000 / kPollMs && isShown(id); ++i)
            QThread::msleep(kPollMs);
        if (isShown(id))
            desk_.type(0xff0d);
    }

    // ---- The program's start ----

    // The main window (the one with the menu bar) and the parameter table, answering the boxes
    // that come first; then where Key Pad and Monitoring are.
    bool start() {
        app_ = bus_.application(pid_, kStartWaitMs);
        if (!app_.valid())
            return fail(QStringLiteral("the program's accessibility bridge did not come"));
        for (const qint64 until = nowUs() + kStartWaitMs * 1000LL; !main_ || !table_; QThread::msleep(50)) {
            if (nowUs() > until || over())
                return fail(QStringLiteral("the main window and the table did not come"));
            for (const DesktopUser::Window& w : desk_.windowsOf(pid_)) {
                if (kinds_.count(w.id))
                    continue;
                const Node n = topLevelNamed(w.title);
                const QString role = n.valid() ? bus_.role(n) : QString();
                if (isAlert(role)) {
                    kinds_[w.id] = Kind::Box;
                    answerBox(w.id, w.title, n, true);
                    continue;
                }
                const Node bar = n.valid() ? childOf(n, QStringLiteral("menu bar"), {}) : Node{};
                if (bar.valid()) {
                    main_ = w.id;
                    kinds_[w.id] = Kind::Main;
                    keyPadItem_ = childOf(bar, QStringLiteral("menu item"), QStringLiteral("Key Pad"));
                    const Node tools = childOf(n, QStringLiteral("tool bar"), {});
                    if (tools.valid())
                        monitorButton_ =
                            childOf(tools, QStringLiteral("push button"), QStringLiteral("Monitoring"));
                } else if (n.valid() && role != QLatin1String("dialog")) {
                    table_ = w.id;
                    kinds_[w.id] = Kind::Table;
                }
            }
        }
        if (keyPadItem_.valid())
            keyPadAt_ = bus_.extents(keyPadItem_);
        if (monitorButton_.valid())
            monitorAt_ = bus_.extents(monitorButton_);
        if (keyPadAt_.isEmpty() || monitorAt_.isEmpty())
            return fail(QStringLiteral("the main window's Key Pad and Monitoring were not found"));
        note(QStringLiteral("started: Key Pad at %1,%2, Monitoring at %3,%4")
                 .arg(keyPadAt_.center().x())
                 .arg(keyPadAt_.center().y())
                 .arg(monitorAt_.center().x())
                 .arg(monitorAt_.center().y()));
        return true;
    }

    bool fail(const QString& why) {
        log.failure = why;
        return false;
    }

    bool offered(const Node& command) { return bus_.states(command) & AccessBus::kEnabled; }

    // ---- The rounds ----

    void openMonitor() {
        if (monitor_ || over() || !offered(monitorButton_))
            return;
        desk_.activate(main_);
        idle(100);
        desk_.click(monitorAt_.center());
        note(QStringLiteral("Monitoring clicked"));
        for (qint64 until = nowUs() + 3000000; !monitor_ && nowUs() < until && !over();)
            idle(kPollMs, Kind::Monitor);
    }

    void switchWindows() {
        for (xcb_window_t w : {main_, table_, monitor_}) {
            if (!w || over())
                continue;
            desk_.activate(w);
            note(QStringLiteral("activates the %1")
                     .arg(w == main_    ? QStringLiteral("main window")
                          : w == table_ ? QStringLiteral("table")
                                        : QStringLiteral("monitor window")));
            ++log.switches;
            idle(kSwitchEveryMs);
        }
    }

    bool keypadOpen() { return keypad_ && isShown(keypad_); }

    void keypadSession() {
        if (over())
            return;
        desk_.activate(main_);
        idle(150);
        if (!offered(keyPadItem_)) {
            note(QStringLiteral("Key Pad is greyed"));
            ++log.greyed;
            log.lastAttempt = Attempt::Greyed;
            idle(1000);
            return;
        }
        ++log.keypadClicks;
        KeypadSession s;
        desk_.click(keyPadAt_.center());
        s.clickUs = lastKeyPadClickUs_ = nowUs();
        note(QStringLiteral("Key Pad clicked"));
        const std::size_t boxesBefore = log.boxes.size();
        // Its window is the new window that answers a ping (a box may come first, and pop-ups
        // and tips are no managed windows: they are passed over).
        std::set<xcb_window_t> skip{main_, table_, monitor_};
        while (!cut_ && !interruptedBy) {
            const qint64 left = (std::min(s.clickUs + windowWaitMs_ * 1000LL, endUs_) - nowUs()) / 1000;
            const xcb_window_t w = left > 0 ? watch_.waitForAnswer(pid_, int(left), skip) : 0;
            if (!w)
                break;
            const qint64 answered = nowUs();
            // The window manager lists it once it has taken it on.
            for (int i = 0; i < 1000 / kPollMs && !isShown(w); ++i)
                QThread::msleep(kPollMs);
            look();
            if (w == keypad_ && keypadOpen()) {
                s.shownUs = answered;
                break;
            }
            skip.insert(w);
        }
        note(s.shownUs ? QStringLiteral("the keypad answers") : QStringLiteral("no keypad"));
        if (s.shownUs)
            log.lastAttempt = Attempt::Shown;
        else if (nowUs() >= s.clickUs + windowWaitMs_ * 1000LL)
            log.lastAttempt = Attempt::NoKeypad; // waited out, not cut off by the run's end
        if (s.shownUs)
            workKeypad();
        endSession(s, boxesBefore);
    }

    // The keypad came after the user had stopped waiting for it: it is the last click's, seen
    // from the moment the user looked.
    void lateKeypad() {
        note(QStringLiteral("the keypad came late"));
        KeypadSession s;
        s.clickUs = lastKeyPadClickUs_;
        s.shownUs = keypadSeenUs_;
        log.lastAttempt = Attempt::Shown;
        const std::size_t boxesBefore = log.boxes.size();
        workKeypad();
        endSession(s, boxesBefore);
    }

    void endSession(KeypadSession& s, std::size_t boxesBefore) {
        s.endUs = nowUs();
        if (keypadOpen())
            s.endUs = closeKeypad();
        // A box ends the keypad's time: it closes after the box.
        if (log.boxes.size() > boxesBefore)
            s.endUs = std::min(s.endUs, std::max(s.shownUs, log.boxes[boxesBefore].us));
        log.sessions.push_back(s);
    }

    // The keypad's Close and display where its picture shows them, relative to its window (it
    // is kept and comes back at its place), and its keys once they show (while its loop runs).
    void findKeypadControls() {
        if (!closeAt_.isEmpty() && up_.first.valid())
            return;
        const QRect at = placeOf(keypad_);
        const Node pad = topLevelNamed(titleOf(keypad_));
        if (!pad.valid() || at.isEmpty())
            return;
        std::vector<std::pair<Node, QRect>> middle;
        for (const Node& c : bus_.children(pad)) {
            const QString role = bus_.role(c);
            const QRect r = bus_.extents(c).translated(-at.topLeft());
            if (role == QLatin1String("label") && bus_.name(c) == QLatin1String("Close"))
                closeAt_ = r;
            else if (role == QLatin1String("filler") && r.width() > 2 * r.height())
                ledAt_ = r;
            else if (role == QLatin1String("text"))
                entry_ = c; // where the keyboard of an entry goes
            // UP and DOWN are the keys of the middle column, UP above.
            else if (role == QLatin1String("filler") && r.width() == r.height() && r.width() > 0 &&
                     std::abs(r.center().x() - at.width() / 2) < r.width() / 2)
                middle.push_back({c, r});
        }
        std::sort(middle.begin(), middle.end(),
                  [](const auto& a, const auto& b) { return a.second.y() < b.second.y(); });
        if (middle.size() == 2) {
            up_ = middle[0];
            down_ = middle[1];
        }
    }

    QString titleOf(xcb_window_t id) {
        for (const DesktopUser::Window& w : desk_.windowsOf(pid_))
            if (w.id == id)
                return w.title;
        return {};
    }

    // 8 s with the keypad: UP, DOWN, UP, an entry; ends early when the keypad goes by itself.
    void workKeypad() {
        findKeypadControls();
        const qint64 opened = nowUs();
        auto until = [&](int ms) {
            while (!cut_ && !interruptedBy && keypadOpen() && nowUs() < opened + ms * 1000LL)
                idle(std::min<qint64>(100, (opened + ms * 1000LL - nowUs()) / 1000 + 1));
            return keypadOpen() && !cut_ && !interruptedBy;
        };
        if (until(1000))
            clickKey(up_, kUpBit);
        if (until(2500))
            clickKey(down_, kDownBit);
        if (until(4000))
            clickKey(up_, kUpBit);
        if (until(5000))
            enterFrequency();
        until(kKeypadOpenMs);
    }

    // A key of the panel; only while the keypad shows its keys (its loop runs).
    void clickKey(const std::pair<Node, QRect>& key, int bit) {
        findKeypadControls();
        if (!key.first.valid() || !(bus_.states(key.first) & AccessBus::kShowing)) {
            note(QStringLiteral("the keypad shows no keys"));
            return;
        }
        const QPoint at = placeOf(keypad_).topLeft() + key.second.center();
        desk_.press(at);
        log.keys.push_back({nowUs(), bit});
        QThread::msleep(kKeyHeldMs);
        desk_.release(at);
        note(bit == kUpBit ? QStringLiteral("UP clicked") : QStringLiteral("DOWN clicked"));
    }

    // "FC Direct Input" from the keypad's pop-up menu (its first item: the arrow key takes it;
    // a pop-up menu is no window the bus lists), then "30" and Return once the entry has the
    // keyboard.
    void enterFrequency() {
        const QRect pad = placeOf(keypad_);
        if (ledAt_.isEmpty() || pad.isEmpty())
            return;
        desk_.click(pad.topLeft() + ledAt_.center(), 3);
        idle(300);
        desk_.type(0xff54); // Down
        desk_.type(0xff0d); // Return
        bool typing = false;
        for (qint64 until = nowUs() + 1000000; !typing && nowUs() < until; QThread::msleep(kPollMs))
            typing = entry_.valid() && (bus_.states(entry_) & AccessBus::kFocused);
        if (!typing) {
            note(QStringLiteral("the keypad takes no entry"));
            desk_.type(0xff1b); // Escape: the menu, or the entry, goes
            return;
        }
        for (std::uint32_t key : {std::uint32_t('3'), std::uint32_t('0'), std::uint32_t(0xff0d)})
            desk_.type(key);
        ++log.entries;
        note(QStringLiteral("30 entered"));
    }

    // Clicks Close until the keypad goes (three tries); the moment of the first click.
    qint64 closeKeypad() {
        qint64 clicked = 0;
        for (int i = 0; i < 3 && keypadOpen(); ++i) {
            const QRect pad = placeOf(keypad_);
            if (pad.isEmpty() || closeAt_.isEmpty())
                break;
            desk_.click(pad.topLeft() + closeAt_.center());
            note(QStringLiteral("Close clicked"));
            if (!clicked)
                clicked = nowUs();
            for (int k = 0; k < 5000 / kPollMs && keypadOpen(); ++k)
                idle(kPollMs);
        }
        return clicked ? clicked : nowUs();
    }

    DesktopUser& desk_;
    AccessBus& bus_;
    WindowWatch& watch_;
    const qint64 pid_;
    const qint64 endUs_;
    const int windowWaitMs_;
    const std::atomic<bool>& cut_;

    Node app_, keyPadItem_, monitorButton_;
    QRect keyPadAt_, monitorAt_;
    xcb_window_t main_ = 0, table_ = 0, monitor_ = 0, keypad_ = 0;
    std::map<xcb_window_t, Kind> kinds_;
    QRect closeAt_, ledAt_; // relative to the keypad's window
    std::pair<Node, QRect> up_, down_;
    Node entry_;
    qint64 lastKeyPadClickUs_ = 0, keypadSeenUs_ = 0;
};

// ---- One run ------------------------------------------------------------------------------

// Kills `pid` when the run goes past its deadline; stops waiting when the run ends in time.
class Deadline {
public:
    Deadline(qint64 pid, qint64 atUs) {
        thread_ = std::thread([this, pid, atUs] {
            std::unique_lock lock(mutex_);
            const auto at = std::chrono::steady_clock::time_point(std::chrono::microseconds(atUs));
            if (!wake_.wait_until(lock, at, [this] { return done_; })) {
                cut = true;
                ::kill(pid_t(pid), SIGKILL);
            }
        });
    }
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    std::atomic<bool> cut{false};

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

struct RunResult {
    WindowWatch::PingRun pings;
    UserLog user;
    std::vector<LineLogEntry> line;
    bool cut = false;
    QString error; // the run could not be made
};

// KVR_BENCH_PING_KEEP=<folder>: each run's line log and the program's error output are kept
// there as <name>-line.log and <name>-program.err.
void keepFiles(const QTemporaryDir& dir, const QString& name) {
    const QString keep = qEnvironmentVariable("KVR_BENCH_PING_KEEP");
    if (keep.isEmpty() || !QDir().mkpath(keep))
        return;
    for (const QString& file : {QStringLiteral("line.log"), QStringLiteral("program.err")}) {
        const QString to = keep + u'/' + name + u'-' + file;
        QFile::remove(to);
        QFile::copy(dir.filePath(file), to);
    }
}

// Run `run` (from 1) at the time-out; its drive loses other replies than another run's, the
// same on every run of the benchmark.
RunResult runOnce(int timeoutMs, int run) {
    RunResult result;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        result.error = QStringLiteral("no temporary folder");
        return result;
    }
    const QString link = dir.filePath(QStringLiteral("sim-COM1"));
    const QString lineLog = dir.filePath(QStringLiteral("line.log"));
    const ShippedProgramFolder folder(settingsFor(timeoutMs, link, dir.filePath(QStringLiteral("absent"))));
    const QString kvr = folder.dir.filePath(QStringLiteral("p.kvr"));
    if (!folder.ok || !writeParameterFile(kvr) || !placeProgram(folder.dir.path())) {
        result.error = QStringLiteral("no program folder");
        return result;
    }
    AccessBus bus(dir.path());
    // Made before the program's windows: they learn of them as they come.
    WindowWatch pingWatch, openWatch;
    DesktopUser desk;
    if (!bus.ok || !pingWatch.ok || !openWatch.ok || !desk.ok) {
        result.error = QStringLiteral("no accessibility bus, display or XTEST");
        return result;
    }
    DriveProcess drive({"--protocol", "modbus",     "--data",      folder.dir.path(),
                        "--type",     "HXA1",       "--cpu",       "V110",
                        "--capacity", "-2004",      "--language",  "Eng",
                        "--station",  "0",          "--wire-baud", "9600",
                        "--fault",    driveFault(), "--seed",      QString::number(run),
                        "--line-log", lineLog},
                       link);
    if (!drive.ok) {
        result.error = QStringLiteral("no simulated drive");
        return result;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    // The program's single-instance lock and file association stay inside the folder.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder.dir.filePath(QStringLiteral("xdg")));
    bus.addTo(env);
    QProcess program;
    endWithThisProcess(program, SIGKILL);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.dir.path());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(dir.filePath(QStringLiteral("program.err")));
    program.start(folder.dir.filePath(QStringLiteral("KVR260X")), {kvr});
    if (!program.waitForStarted(10000)) {
        result.error = QStringLiteral("the program did not start");
        return result;
    }
    const qint64 pid = program.processId();
    const qint64 endUs = nowUs() + qint64(runSeconds()) * 1000000;
    std::atomic<bool> stopPings{false};
    {
        const Deadline deadline(pid, endUs + kOverrunMs * 1000LL);
        std::thread pinger([&] {
            result.pings = pingWatch.pingInTurn(pid, stopPings, kPingGapMs, kPingDrainMs, kOverrunMs);
        });
        User user(desk, bus, openWatch, pid, endUs, windowWaitMs(timeoutMs), deadline.cut);
        user.run();
        stopPings = true;
        pinger.join();
        result.user = user.log;
        result.cut = deadline.cut;
    }
    program.kill();
    program.waitForFinished(5000);
    drive.stop(); // its log is whole once it has gone
    result.line = readLineLog(lineLog);
    keepFiles(dir, QStringLiteral("%1ms-run%2").arg(timeoutMs).arg(run));
    if (!result.user.failure.isEmpty()) {
        QFile err(dir.filePath(QStringLiteral("program.err")));
        if (err.open(QIODevice::ReadOnly))
            std::fprintf(stderr, "bench_ping: the program said:\n%s\n",
                         err.readAll().right(2000).constData());
    }
    return result;
}

// ---- What the line shows ------------------------------------------------------------------

bool isDisplayRead(const LineLogEntry& e) {
    return e.kind == SimLineEvent::Kind::Request && e.bytes.size() == 8 && e.bytes[1] == 3 &&
           (e.bytes[2] << 8 | e.bytes[3]) == kDisplayBlock;
}

// The keypad's key writes on the line as presses and releases of UP and DOWN, repeats merged:
// a code is a release when the key flag goes down right after it (a held key keeps the flag).
struct KeyEvent {
    int bit = 0;
    bool release = false;
    bool operator==(const KeyEvent&) const = default;
};
std::vector<KeyEvent> keyEventsOnTheLine(const std::vector<LineLogEntry>& line) {
    std::vector<RegisterWrite> writes;
    for (const RegisterWrite& w : modbusWrites(line))
        if (w.address == kKeyFlag || w.address == kKeyCode)
            writes.push_back(w);
    std::vector<KeyEvent> out;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const int bit = writes[i].value & 0xFF;
        if (writes[i].address != kKeyCode || (bit != kUpBit && bit != kDownBit))
            continue;
        const bool flagDown =
            i + 1 < writes.size() && writes[i + 1].address == kKeyFlag && writes[i + 1].value == 0;
        const KeyEvent e{bit, (writes[i].value >> 8) == 1 && flagDown};
        if (out.empty() || !(out.back() == e))
            out.push_back(e);
    }
    return out;
}

// Presses and releases missing, extra or out of place: what the longest common order leaves.
int keyFaults(const std::vector<KeyClick>& clicks, const std::vector<KeyEvent>& seen) {
    std::vector<KeyEvent> wanted;
    for (const KeyClick& c : clicks) {
        wanted.push_back({c.bit, false});
        wanted.push_back({c.bit, true});
    }
    std::vector<std::vector<int>> common(wanted.size() + 1, std::vector<int>(seen.size() + 1, 0));
    for (std::size_t i = 1; i <= wanted.size(); ++i)
        for (std::size_t j = 1; j <= seen.size(); ++j)
            common[i][j] = wanted[i - 1] == seen[j - 1] ? common[i - 1][j - 1] + 1
                                                        : std::max(common[i - 1][j], common[i][j - 1]);
    const int matched = common[wanted.size()][seen.size()];
    return int(wanted.size() + seen.size()) - 2 * matched;
}

struct RunFigures {
    std::vector<double> openMs, windowMs;
    int shown = 0, noRead = 0, stuckSessions = 0, overlaps = 0, requests = 0, keyFaults = 0;
    double keypadSilenceMs = 0, lineSilenceMs = 0;
    bool endedStuck = false, endedWithoutKeypad = false;
};

RunFigures figuresOf(const RunResult& r, int timeoutMs) {
    RunFigures f;
    const std::vector<qint64> times = requestTimes(r.line);
    f.requests = int(times.size());
    f.overlaps = int(requestsWhileAReplyWasDue(r.line).size());
    const qint64 stuckUs = stuckAfterMs(timeoutMs) * 1000LL;
    std::vector<const LineLogEntry*> reads;
    for (const LineLogEntry& e : r.line)
        if (isDisplayRead(e))
            reads.push_back(&e);
    bool lastShownStuck = false;
    for (const KeypadSession& s : r.user.sessions) {
        if (!s.shownUs)
            continue;
        // The keypad reads the display once its window is there (the link's own checks read the
        // same block).
        qint64 firstRead = 0;
        for (const LineLogEntry* e : reads)
            if (e->us >= s.shownUs && e->us <= s.endUs && (!firstRead || e->us < firstRead))
                firstRead = e->us;
        if (firstRead)
            f.openMs.push_back((firstRead - s.clickUs) / 1000.0);
        ++f.shown;
        f.windowMs.push_back((s.shownUs - s.clickUs) / 1000.0);
        f.noRead += !firstRead;
        const qint64 silent = longestSilenceUs(times, s.shownUs, s.endUs);
        f.keypadSilenceMs = std::max(f.keypadSilenceMs, silent / 1000.0);
        f.stuckSessions += silent > stuckUs;
        lastShownStuck = silent > stuckUs;
    }
    if (!times.empty())
        f.lineSilenceMs = longestSilenceUs(times, times.front(), r.user.endUs) / 1000.0;
    // Stuck at the end: nothing sent that long before the user stopped, or in the last keypad.
    f.endedStuck = (times.empty() ? r.user.endUs - r.user.startUs : r.user.endUs - times.back()) > stuckUs ||
                   (r.user.lastAttempt == Attempt::Shown && lastShownStuck);
    f.endedWithoutKeypad = r.user.lastAttempt == Attempt::Greyed || r.user.lastAttempt == Attempt::NoKeypad;
    f.keyFaults = keyFaults(r.user.keys, keyEventsOnTheLine(r.line));
    return f;
}

QString boxesSaid(const std::vector<SeenBox>& boxes) {
    std::map<QString, int> count;
    for (const SeenBox& b : boxes)
        ++count[(b.text.isEmpty() ? b.title : b.text).left(60)];
    QStringList parts;
    for (const auto& [text, n] : count)
        parts << QStringLiteral("\"%1\" x%2").arg(text).arg(n);
    return parts.join(QStringLiteral(", "));
}

void sayRun(int timeoutMs, int run, const RunResult& r, const RunFigures& f) {
    QStringList boxes;
    for (const SeenBox& b : r.user.boxes)
        boxes << QStringLiteral("\"%1\" at %2 s")
                     .arg((b.text.isEmpty() ? b.title : b.text).left(60))
                     .arg((b.us - r.user.startUs) / 1e6, 0, 'f', 1);
    std::fprintf(
        stderr,
        "bench_ping: %d ms, run %d: longest ping %.1f ms (%d pings%s); Key Pad %d clicks (%d greyed), "
        "keypad shown %d, %d without a display read; line silent %.1f s at most, %.1f s with the keypad "
        "open%s%s; %d requests, %d while a reply was due; %zu key clicks, %d faults; boxes: %s%s%s\n",
        timeoutMs, run, r.pings.longestMs, r.pings.pings,
        r.pings.unansweredMs > 0
            ? qPrintable(QStringLiteral(", one unanswered after %1 ms").arg(r.pings.unansweredMs, 0, 'f', 0))
            : "",
        r.user.keypadClicks, r.user.greyed, f.shown, f.noRead, f.lineSilenceMs / 1000,
        f.keypadSilenceMs / 1000, f.endedStuck ? ", ended stuck" : "",
        f.endedWithoutKeypad ? ", ended without the keypad" : "", f.requests, f.overlaps, r.user.keys.size(),
        f.keyFaults, boxes.isEmpty() ? "none" : qPrintable(boxes.join(QStringLiteral(", "))),
        r.user.failure.isEmpty() ? "" : qPrintable(QStringLiteral("; the user stopped: ") + r.user.failure),
        r.cut ? "; cut short at the deadline" : "");
}

double maxOf(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

void BM_UserOnALossyLine(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("no X display (scripts/bench.sh starts one)");
        return;
    }
    const int timeoutMs = int(state.range(0));
    std::vector<double> longest, pings, openMs, windowMs, keypadSilence, requests, switches, entries;
    double unanswered = 0, lineSilence = 0;
    int clicks = 0, greyed = 0, shown = 0, noRead = 0, stuckSessions = 0, endedStuck = 0, endedWithout = 0;
    int overlaps = 0;
    int keyClicks = 0, keyFaultCount = 0;
    std::vector<SeenBox> boxes;
    int run = 0;
    for (auto _ : state) {
        if (interruptedBy) {
            state.SkipWithError("interrupted");
            return;
        }
        const RunResult r = runOnce(timeoutMs, run + 1);
        if (interruptedBy) {
            state.SkipWithError("interrupted");
            return;
        }
        if (!r.error.isEmpty() || !r.user.failure.isEmpty()) {
            state.SkipWithError(qPrintable(r.error.isEmpty() ? r.user.failure : r.error));
            return;
        }
        const RunFigures f = figuresOf(r, timeoutMs);
        sayRun(timeoutMs, ++run, r, f);
        longest.push_back(r.pings.longestMs);
        unanswered = std::max(unanswered, r.pings.unansweredMs);
        pings.push_back(r.pings.pings);
        openMs.insert(openMs.end(), f.openMs.begin(), f.openMs.end());
        windowMs.insert(windowMs.end(), f.windowMs.begin(), f.windowMs.end());
        keypadSilence.push_back(f.keypadSilenceMs);
        lineSilence = std::max(lineSilence, f.lineSilenceMs);
        requests.push_back(f.requests);
        switches.push_back(r.user.switches);
        entries.push_back(r.user.entries);
        clicks += r.user.keypadClicks;
        greyed += r.user.greyed;
        shown += f.shown;
        noRead += f.noRead;
        stuckSessions += f.stuckSessions;
        endedStuck += f.endedStuck;
        endedWithout += f.endedWithoutKeypad;
        overlaps += f.overlaps;
        keyClicks += int(r.user.keys.size());
        keyFaultCount += f.keyFaults;
        boxes.insert(boxes.end(), r.user.boxes.begin(), r.user.boxes.end());
        state.SetIterationTime(r.pings.longestMs / 1000);
    }
    if (longest.empty())
        return;
    auto put = [&](const std::string& name, const std::vector<double>& v) {
        const Spread s = spreadOf(v);
        state.counters[name + "_ms"] = s.median;
        state.counters[name + "_iqr"] = s.iqr;
        state.counters[name + "_max_ms"] = maxOf(v);
    };
    put("longest_ping", longest);
    state.counters["unanswered_ping_ms"] = unanswered;
    state.counters["pings"] = spreadOf(pings).median;
    put("keypad_open", openMs);
    put("keypad_window", windowMs);
    state.counters["keypad_clicks"] = clicks;
    state.counters["keypad_greyed"] = greyed;
    state.counters["keypad_shown"] = shown;
    state.counters["keypad_no_read"] = noRead;
    put("keypad_silence", keypadSilence);
    state.counters["line_silence_max_ms"] = lineSilence;
    state.counters["stuck_after_ms"] = stuckAfterMs(timeoutMs);
    state.counters["stuck_sessions"] = stuckSessions;
    state.counters["ended_stuck"] = endedStuck;
    state.counters["ended_without_keypad"] = endedWithout;
    state.counters["two_requests"] = overlaps;
    state.counters["requests"] = spreadOf(requests).median;
    state.counters["key_clicks"] = keyClicks;
    state.counters["key_faults"] = keyFaultCount;
    state.counters["boxes"] = double(boxes.size());
    state.counters["switches"] = spreadOf(switches).median;
    state.counters["entries"] = spreadOf(entries).median;
    state.SetLabel(
        qPrintable(QStringLiteral("%1 s x %2, %3%4")
                       .arg(runSeconds())
                       .arg(run)
                       .arg(driveFault())
                       .arg(boxes.empty() ? QString() : QStringLiteral("; boxes ") + boxesSaid(boxes))));
}
BENCHMARK(BM_UserOnALossyLine)
    ->ArgName("reply_timeout_ms")
    ->Arg(200)
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(runsPerTimeout())
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void noteInterrupt(int signal) {
    interruptedBy = signal;
}

} // namespace

int main(int argc, char** argv) {
    // Interrupted, the run under way ends at once and cleans up; the rest are skipped.
    struct sigaction a {};
    a.sa_handler = noteInterrupt;
    sigemptyset(&a.sa_mask);
    sigaction(SIGINT, &a, nullptr);
    sigaction(SIGTERM, &a, nullptr);
    const int rc = runBenchmarks(argc, argv);
    return interruptedBy ? 128 + interruptedBy : rc;
}

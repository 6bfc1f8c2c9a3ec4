#pragma once
// Steps the line's operations (LineExchanger): a blocking caller's to its end, waiting in poll
// or in an event loop that serves the windows (a wait for bytes after its first
// kUnservedWaitMs in poll; a silent interval slept to the microsecond); one more in the
// background, from the event loop. And the one gate in front of the line: the waiting rule is
// stated here.
//
// While a wait serves the windows (they answer the window manager, repaint and run their timers;
// the user's clicks and keys stay queued) or the background operation is being stepped, the
// line is held by that operation. What the event loop asks of the line meanwhile is put off
// (whenFree) until the line is free, in the order asked; a blocking request that cannot wait
// is refused by its caller (CommLink) without touching the line.
#include "link/LineExchange.h"
#include "platform/SerialPort.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class Clock;
class QSocketNotifier;
class SerialPort;

// The last of a silent interval the background operation sleeps through rather than leave to
// a timer.
inline constexpr qint64 kSleptSilenceUs = 2000;
// How long a wait for bytes that serves the windows first waits without serving them: a reply
// at the usual speeds comes within it, at poll's wake-up rather than the event loop's.
inline constexpr int kUnservedWaitMs = 10;

class LinkDriver {
public:
    LinkDriver(LineExchanger& line, SerialPort& port, Clock& clock);
    ~LinkDriver();
    LinkDriver(const LinkDriver&) = delete;
    LinkDriver& operator=(const LinkDriver&) = delete;

    // Off: the waits hold the thread (a port that cannot be watched is always waited for so).
    void setServeWindows(bool on) { serveWindows_ = on; }

    // ---- The gate ----
    bool held() const { return held_ > 0; }
    // Runs `work` now when the line is free, else from the event loop once it is, after what was
    // put off before it.
    void whenFree(std::function<void()> work);
    // Runs `work` from the event loop once the line is free, after what was put off before it.
    void post(std::function<void()> work);
    // The same once the operation in the background has ended too (its `done` told first): a
    // background request that comes while another is on its way follows it, rather than
    // holding the windows while it waits for it.
    void afterBackground(std::function<void()> work);
    // Holds the line for as long as it lives, as a wait does: the link's own box about the line
    // is part of the operation that shows it, and what the event loop asks meanwhile waits.
    class Hold {
    public:
        explicit Hold(LinkDriver& driver) : driver_(driver) { ++driver_.held_; }
        ~Hold() { driver_.release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        LinkDriver& driver_;
    };

    // ---- Operations ----
    // Runs `op` to its end. The caller has made sure the line is free and nothing runs in the
    // background.
    void run(LineOperation& op);
    using Done = std::function<void(LineOperation& op)>;
    // Starts `op` in the background: its request goes out now and the rest follows from the
    // event loop. `done` is called as soon as it is over (from the event loop, or from the call
    // that waits for it), the line free again; on a port that offers nothing to watch it is run
    // to its end at once and `done` called before this returns.
    void start(std::unique_ptr<LineOperation> op, Done done);
    // The operation in the background, null when there is none.
    const LineOperation* background() const { return pending_ ? pending_->op.get() : nullptr; }
    // Waits for the background operation to end (its `done` is called at the end).
    void finishBackground();
    // Takes what has arrived for the background operation and ends it when it is over (the event
    // loop calls it; tests with a fake clock call it themselves).
    void continueBackground();
    // The background operation ends where it stands, its `done` dropped (the link is going).
    void abandonBackground();
    // The port was closed (nothing runs in the background): its handle is watched no more. Safe
    // from inside the end of a background operation, which may run in the watcher's own signal.
    void portClosed();

private:
    struct Pending {
        std::unique_ptr<LineOperation> op;
        Done done;
    };
    // Advances the background operation; true when it is over.
    bool stepBackground(LineExchanger::Wait& wait);
    // Blocks until the operation's wait is over: in poll, or serving the windows.
    WaitResult waitFor(const LineExchanger::Wait& wait);
    void watch(const LineExchanger::Wait& wait);
    void stopWatching();
    // A wait or step that held the line is over: what was put off may follow.
    void release();
    // The operation is over: its `done` is told.
    void ended(std::unique_ptr<Pending> p);
    void runPutOff();

    LineExchanger& line_;
    SerialPort& port_;
    Clock& clock_;
    bool serveWindows_ = false;
    int held_ = 0;
    std::unique_ptr<Pending> pending_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool inNotifier_ = false; // continueBackground runs from the notifier's signal
    bool stepPutOff_ = false; // a step came while the line was held
    QTimer stepTimer_;
    std::vector<std::function<void()>> putOff_;
    std::vector<std::function<void()>> afterBackground_;
    QTimer putOffTimer_;
};

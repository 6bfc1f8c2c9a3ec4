#pragma once
// Letting pending window messages through from inside a long loop, and the guard that
// keeps a command from starting again from inside its own loop.
#include <QString>

// Processes pending events. Returns false when called from inside another PumpEvents
// (nothing is processed then).
bool PumpEvents();
// Lets the windows repaint from inside a long wait that must not take the user's input
// (clicks and keys stay queued until the wait is over). Nothing inside PumpEvents.
void LetWindowsRepaint();

// Held by a command for as long as it runs; a second guard for the same command while the
// first lives reports busy() and the command returns at once.
class CommandGuard {
public:
    explicit CommandGuard(const char* command);
    ~CommandGuard();
    CommandGuard(const CommandGuard&) = delete;
    CommandGuard& operator=(const CommandGuard&) = delete;
    bool busy() const { return busy_; }
    static bool running(const char* command);

private:
    const char* command_;
    bool busy_;
};

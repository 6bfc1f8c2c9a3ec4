#pragma once
// Letting pending window messages through from inside a long loop.
#include <QString>

// Processes pending events. Returns false when called from inside another PumpEvents
// (nothing is processed then).
bool PumpEvents();

// How a wait that serves the windows ended.
enum class ServedWait {
    Readable, // the descriptor has something to read (or failed: the caller looks)
    TimedOut,
    NotServed, // no event loop could run here (another thread, no application, the program
               // quitting): nothing was waited for
};
// Waits up to timeoutMs for fd to become readable while the windows go on answering the
// window manager, repainting and running their timers; the user's clicks and keys stay queued
// until the wait is over, as they would for a window that waits.
ServedWait WaitReadableServingWindows(int fd, int timeoutMs);

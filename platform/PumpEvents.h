#pragma once
// Letting pending window messages through from inside a long loop.
#include <QString>

// Processes pending events. Returns false when called from inside another PumpEvents
// (nothing is processed then).
bool PumpEvents();
// Lets the windows repaint from inside a long wait that must not take the user's input
// (clicks and keys stay queued until the wait is over). Nothing inside PumpEvents.
void LetWindowsRepaint();

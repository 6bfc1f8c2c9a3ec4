#include "app/Globals.h"

namespace {
Globals g;
}

Globals& globals() { return g; }

void resetGlobals() { g = Globals(); }

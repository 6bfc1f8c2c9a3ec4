#include "core/ProgramContext.h"

namespace {
ProgramContext g;
}

ProgramContext& globals() {
    return g;
}

void resetGlobals() {
    g = ProgramContext();
}

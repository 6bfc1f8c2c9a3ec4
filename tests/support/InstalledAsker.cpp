#include "InstalledAsker.h"

#include "platform/PumpEvents.h"

void InstalledPrompterAsker::letEventsThrough() {
    PumpEvents();
}

Asker& installedAsker() {
    static Asker& asker = installedAsker();
    return asker;
}

#include "InstalledAsker.h"

#include "platform/PumpEvents.h"

void InstalledPrompterAsker::letEventsThrough() {
    PumpEvents();
}

Asker& installedAsker() {
    static InstalledPrompterAsker asker;
    return asker;
}

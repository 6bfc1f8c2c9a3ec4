#include "platform/CommandGuard.h"

#include <cstring>
#include <vector>

namespace {
std::vector<const char*> runningCommands;
} // namespace

CommandGuard::CommandGuard(const char* command) : command_(command), busy_(running(command)) {
    if (!busy_)
        runningCommands.push_back(command_);
}

CommandGuard::~CommandGuard() {
    if (busy_)
        return;
    for (auto it = runningCommands.begin(); it != runningCommands.end(); ++it) {
        if (std::strcmp(*it, command_) == 0) {
            runningCommands.erase(it);
            break;
        }
    }
}

bool CommandGuard::running(const char* command) {
    for (const char* c : runningCommands)
        if (std::strcmp(c, command) == 0)
            return true;
    return false;
}

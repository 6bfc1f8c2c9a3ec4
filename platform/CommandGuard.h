#pragma once
// The guard that keeps a command from starting again while it runs: a command that shows
// boxes or lets window messages through could otherwise be started again from inside itself.

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

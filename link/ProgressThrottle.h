#pragma once
// How often a job that blocks the event loop lets the windows through to show its progress:
// no more often than a person can see. Letting them through costs a whole event-loop pass,
// which after every exchange would cost the job more than its own work; the last state
// is always shown (the caller flushes it when the job's loop ends).
#include <QtGlobal>

#include <optional>

class ProgressThrottle {
public:
    // A person does not see a bar move more often than this.
    static constexpr qint64 kIntervalMs = 100;

    // Forgets the last showing: the next state is shown at once.
    void reset() {
        shownAtMs_.reset();
        held_ = false;
    }
    // A new state at nowMs (the caller's clock): true when it is to be shown now (the first
    // one, or kIntervalMs after the last shown); otherwise it is held for flush().
    bool due(qint64 nowMs) {
        if (shownAtMs_ && nowMs - *shownAtMs_ < kIntervalMs) {
            held_ = true;
            return false;
        }
        shownAtMs_ = nowMs;
        held_ = false;
        return true;
    }
    // At the end of the job: true when a state was held back and is to be shown now.
    bool flush(qint64 nowMs) {
        if (!held_)
            return false;
        shownAtMs_ = nowMs;
        held_ = false;
        return true;
    }

private:
    std::optional<qint64> shownAtMs_;
    bool held_ = false;
};

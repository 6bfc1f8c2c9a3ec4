#pragma once
// The single-instance lock: an flock on a file in the user's runtime folder, released by the
// kernel when the program ends in any way.
#include <QString>

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another process holds the lock of that name.
    bool tryLock(const QString& name);
    void unlock();
    bool locked() const { return fd_ >= 0; }
    static QString lockPath(const QString& name);

private:
    int fd_ = -1;
};

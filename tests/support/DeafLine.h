#pragma once
// A pseudo-terminal whose other side is open but never read: a port with no drive behind it,
// on which every request goes unanswered.
#include <QString>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

class DeafLine {
public:
    DeafLine() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
            ptsname_r(master_, name, sizeof name) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~DeafLine() {
        if (master_ >= 0)
            ::close(master_);
    }
    DeafLine(const DeafLine&) = delete;
    DeafLine& operator=(const DeafLine&) = delete;

    QString path;

private:
    int master_ = -1;
};

#pragma once
// A pseudo-terminal whose other side is open but never read: a port with no drive behind it,
// on which every request goes unanswered.
#include <QString>
#include <cstdint>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

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

    // What was written to the line so far and not yet taken.
    std::vector<std::uint8_t> takeWritten() {
        std::vector<std::uint8_t> out;
        if (master_ < 0)
            return out;
        const int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        std::uint8_t buf[256];
        for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
            out.insert(out.end(), buf, buf + n);
        fcntl(master_, F_SETFL, flags);
        return out;
    }

private:
    int master_ = -1;
};

#include "platform/PumpEvents.h"

#include <QCoreApplication>

namespace {
int pumpDepth = 0;
} // namespace

bool PumpEvents() {
    if (pumpDepth > 0)
        return false;
    if (!QCoreApplication::instance())
        return true;
    ++pumpDepth;
    QCoreApplication::processEvents();
    --pumpDepth;
    return true;
}

void LetWindowsRepaint() {
    if (pumpDepth > 0 || !QCoreApplication::instance())
        return;
    ++pumpDepth;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --pumpDepth;
}
